// The "Bright" menu's whole-image commands: "&Linear", "Contrast Stretch", the "Brightness",
// "Contrast" and "Make Black and White" slider adjustments, the fixed effects, "&HistoGram",
// "Subtract" as its click mode serves it, and what each of them shows in the graph window.

#include <QAction>
#include <QSlider>
#include <QString>

#include "app/ui/BusyCursor.h"
#include "app/ui/KelvoImageUnit.h"
#include "tone/ToneCorrections.h"
#include "tone/ToneTables.h"
#include "tone/ui/GraphForm.h"
#include "tone/ui/TrackBarForms.h"
#include "transform/ui/RotationTrackBarForm.h"
#include "view/ui/ImageView.h"

namespace {

// The frame of the commands that change the whole image at once: the edit step, the edit
// (the snapshot and the change, which publishes its graphs), the graphs shown, the repaint and
// the buttons back.
template <typename Edit>
void RunWithGraphs(TKelvoImageForm& form, Edit edit) {
    const TEndBusyOnFailure onFailure(form);
    form.FPanned = false;
    form.EnableButtons(false);
    TToneGraphs graphs;
    edit(graphs);
    form.PlotToneGraphs(graphs);
    form.Image->Bitmap().Changed();
    form.EnableButtons(true);
}

// A change of the image in place. The snapshot is a copy of the image as the command finds it:
// the histogram before is counted on the way rather than in a pass of its own.
template <typename Change>
void EditWithGraphs(TKelvoImageForm& form, Change change) {
    RunWithGraphs(form, [&](TToneGraphs& graphs) {
        form.SaveUndoSnapshot(CountingCopy(graphs.Before));
        graphs.BeforeCounted = true;
        change(form.Image->Bitmap(), graphs);
    });
}

// For the commands that write every pixel of the image from a table built on the picture as it
// was: they read the snapshot and write the image, so the snapshot needs no copy of the pixels
// (its histogram, the graph "before", is counted by the command).
template <typename Change>
void EditFromSnapshot(TKelvoImageForm& form, Change change) {
    RunWithGraphs(form, [&](TToneGraphs& graphs) {
        const TOnFailure pixelsBack = form.ExchangeUndoSnapshot();
        change(form.FUndoImage, form.Image->Bitmap(), graphs);
    });
}

// A slider command run while its window is hidden starts the adjustment: the image as it is
// now becomes both the undo snapshot (without the window bounds) and the kept source, and the
// window, once shown, calls the command back at each move. The source's histogram is dropped
// whenever anything assigns the source, since another slider window may share it.
void StartSliderAdjustment(TKelvoImageForm& form, TTrackBarToolForm& window, TBitmap32& source,
                           TToneGraphs& sourceGraphs, void (TKelvoImageForm::*command)()) {
    source.OnChange = [&sourceGraphs] { sourceGraphs.HasBefore = false; };
    const TBitmap32& image = form.Image->Bitmap();
    form.FUndoImage.Assign(image);
    form.FUndoMetadata = form.FMetadata;
    source.Assign(image);
    sourceGraphs.HasBefore = false;
    window.OnApply = [&form, command] { (form.*command)(); };
    window.show();
}

// The effects whose result's histogram follows from the one they started from, so that the
// result need not be counted again: a negative turns intensity s into 765 - s, the bands that
// "IsoBrightness" blackens move to 0, and a threshold leaves only 0 and 765.
void MirroredHistogram(const IntensityHistogram& before, TToneGraphs& graphs) {
    graphs.After.fill(0);
    for (int s = 0; s <= 765; ++s)
        graphs.After[765 - s] = before[s];
    graphs.HasAfter = true;
}

void BandedHistogram(const IntensityHistogram& before, int step, TToneGraphs& graphs) {
    graphs.After.fill(0);
    for (int s = 0; s < kToneTableSize; ++s) {
        if ((s / step) % 2 == 1)
            graphs.After[s] += before[s];
        else
            graphs.After[0] += before[s];
    }
    graphs.HasAfter = true;
}

void ThresholdedHistogram(const IntensityHistogram& before, int threshold, TToneGraphs& graphs) {
    graphs.After.fill(0);
    for (int s = 0; s < kToneTableSize; ++s)
        graphs.After[threshold < s ? 765 : 0] += before[s];
    graphs.HasAfter = true;
}

void EnsureSourceHistogram(const TBitmap32& source, TToneGraphs& graphs) {
    if (graphs.HasBefore) return;
    ComputeHistogram(source, graphs.Before);
    graphs.HasBefore = true;
}

}  // namespace

// ---- the graphs ----

void TKelvoImageForm::PlotToneGraphs(const TToneGraphs& graphs) {
    if (!GraphForm) return;
    const bool histograms = ShowHistogram1->isChecked();
    if (graphs.HasBefore && histograms)
        GraphForm->PlotHistogram(graphs.Before, GraphForm->Series1, GraphForm->Series2);
    if (graphs.HasTransfer) GraphForm->PlotTransfer(graphs.Transfer);
    if (graphs.HasAfter && histograms) {
        GraphForm->PlotHistogram(graphs.After, GraphForm->LineSeries1, GraphForm->Series3);
        // A tool window of this one that never takes the focus: the keys stay where they were.
        GraphForm->ShowAllCharts();
    }
}

void TKelvoImageForm::HistoGram1Click() {
    if (!ShowHistogram1->isChecked()) {
        ShowHistogram1->setChecked(true);
        ShowHistogram1Click();
    }
    const TEndBusyOnFailure onFailure(*this);
    EnableButtons(false);
    IntensityHistogram histogram;
    ComputeHistogram(Image->Bitmap(), histogram);
    if (GraphForm) {
        GraphForm->PlotHistogram(histogram, GraphForm->Series1, GraphForm->Series2);
        GraphForm->ShowBeforeOnly();
    }
    EnableButtons(true);
}

// ---- tables built from the histogram ----

void TKelvoImageForm::SubtractAt(TColor32 reference) {
    EditFromSnapshot(*this,
                     [reference](const TBitmap32& snapshot, TBitmap32& image, TToneGraphs& graphs) {
                         ::EqualizeSubtracted(snapshot, image, reference, &graphs);
                     });
}

void TKelvoImageForm::LinearBrighten1Click() {
    EditFromSnapshot(*this, [](const TBitmap32& snapshot, TBitmap32& image, TToneGraphs& graphs) {
        ::EqualizeHistogram(snapshot, image, &graphs);
    });
}

void TKelvoImageForm::ContrastStretch1Click() {
    EditFromSnapshot(*this, [](const TBitmap32& snapshot, TBitmap32& image, TToneGraphs& graphs) {
        ::ContrastStretch(snapshot, image, &graphs);
    });
}

// ---- the fixed effects ----

void TKelvoImageForm::Negative1Click() {
    EditWithGraphs(*this, [](TBitmap32& image, TToneGraphs& graphs) {
        FillBefore(image, &graphs);
        ::Negative(image);
        MirroredHistogram(graphs.Before, graphs);
    });
}

namespace {

void IsoBrightnessCommand(TKelvoImageForm& form, int step) {
    EditWithGraphs(form, [step](TBitmap32& image, TToneGraphs& graphs) {
        FillBefore(image, &graphs);
        ::IsoBrightness(image, step);
        BandedHistogram(graphs.Before, step, graphs);
    });
}

}  // namespace

void TKelvoImageForm::IsoBrightness32Click() {
    IsoBrightnessCommand(*this, 32);
}

void TKelvoImageForm::IsoBrightness64Click() {
    IsoBrightnessCommand(*this, 64);
}

void TKelvoImageForm::IsoBrightness128Click() {
    IsoBrightnessCommand(*this, 128);
}

void TKelvoImageForm::Washout1Click() {
    EditWithGraphs(*this, [](TBitmap32& image, TToneGraphs& graphs) { ::Washout(image, &graphs); });
}

// ---- the slider adjustments ----
// Each re-apply starts again from the kept source, so the adjustments never accumulate; the
// undo snapshot stays the image as it was when the window opened ("Contrast" retakes it from
// its own source), and the window bounds are recorded at every re-apply.

namespace {

// The steps every re-apply shares before its own work ...
void BeginSliderReapply(TKelvoImageForm& form) {
    form.FPanned = false;
    form.EnableButtons(false);
    const QRect frame = form.OuterGeometry();
    form.FUndoBounds = {frame.top(), frame.left(), frame.height(), frame.width()};
}

// ... and after it: the graphs and the repaint. The slider window keeps the keyboard: nothing
// here moves the focus, since a window manager hands it over late and keys typed meanwhile
// would go astray.
void EndSliderReapply(TKelvoImageForm& form, const TToneGraphs& graphs, TTrackBarToolForm& window) {
    form.PlotToneGraphs(graphs);
    form.Image->Bitmap().Changed();
    form.EnableButtons(true);
    window.TrackBar1->setFocus();
}

}  // namespace

void TKelvoImageForm::Brightness1Click() {
    TBrightnessTrackBarForm& window = *BrightnessTrackBarForm;
    if (!window.isVisible()) {
        StartSliderAdjustment(*this, window, FSliderSource, FSliderGraphs,
                              &TKelvoImageForm::Brightness1Click);
        return;
    }
    const TEndBusyOnFailure onFailure(*this);
    const int position = window.TrackBar1->value();
    window.setWindowTitle(QString::asprintf("Brightness (%.2f)", SliderFactor(position)));
    BeginSliderReapply(*this);
    // The copy from the source and the scaling are one pass.
    AdjustBrightness(FSliderSource, Image->Bitmap(), position, &FSliderGraphs);
    EndSliderReapply(*this, FSliderGraphs, window);
}

void TKelvoImageForm::Contrast1Click() {
    TContrastTrackBarForm& window = *ContrastTrackBarForm;
    if (!window.isVisible()) {
        StartSliderAdjustment(*this, window, FContrastSource, FContrastGraphs,
                              &TKelvoImageForm::Contrast1Click);
        return;
    }
    const TEndBusyOnFailure onFailure(*this);
    const int position = window.TrackBar1->value();
    const double slope = SliderFactor(position);
    window.setWindowTitle(QString::asprintf("Contrast (%.2f)", slope));
    BeginSliderReapply(*this);
    // The snapshot is retaken from the source, since "&Undo" or another command may have
    // replaced it since the last move; a snapshot still holding the source is not copied again.
    if (FUndoImage.ContentStamp() != FContrastUndoStamp ||
        FContrastSource.ContentStamp() != FContrastSourceStamp) {
        FUndoImage.Assign(FContrastSource);
        FContrastUndoStamp = FUndoImage.ContentStamp();
        FContrastSourceStamp = FContrastSource.ContentStamp();
    }
    FUndoMetadata = FMetadata;
    // Each move starts from the source, so the histogram before is the source's, counted once;
    // the source is read straight into the image, and the result counted in the same pass.
    EnsureSourceHistogram(FContrastSource, FContrastGraphs);
    BuildContrastTable(FContrastGraphs.Before, slope, FContrastGraphs.Transfer);
    FContrastGraphs.HasTransfer = true;
    ApplyTransfer(FContrastSource, Image->Bitmap(), FContrastGraphs.Transfer,
                  &FContrastGraphs.After);
    FContrastGraphs.HasAfter = true;
    EndSliderReapply(*this, FContrastGraphs, window);
}

void TKelvoImageForm::MakeBlackandWhite1Click() {
    TBWTrackBarForm& window = *BWTrackBarForm;
    if (!window.isVisible()) {
        StartSliderAdjustment(*this, window, FSliderSource, FSliderGraphs,
                              &TKelvoImageForm::MakeBlackandWhite1Click);
        return;
    }
    const TEndBusyOnFailure onFailure(*this);
    TBitmap32& image = Image->Bitmap();
    image.Assign(FSliderSource);
    const int cutoff = window.TrackBar1->value();
    window.setWindowTitle(QStringLiteral("B/W cutoff (%1)").arg(cutoff));
    BeginSliderReapply(*this);
    EnsureSourceHistogram(FSliderSource, FSliderGraphs);
    BlackAndWhite(image, cutoff);
    ThresholdedHistogram(FSliderGraphs.Before, 3 * cutoff, FSliderGraphs);
    EndSliderReapply(*this, FSliderGraphs, window);
}

void TKelvoImageForm::EndSliderAdjustments() {
    // A slider never made was never opened: nothing to end, and nothing to make.
    TTrackBarToolForm* const windows[] = {BrightnessTrackBarForm.IfMade(),
                                          ContrastTrackBarForm.IfMade(), BWTrackBarForm.IfMade(),
                                          RotationTrackBarForm.IfMade()};
    for (TTrackBarToolForm* window : windows)
        if (window && window->isVisible()) window->hide();
}
