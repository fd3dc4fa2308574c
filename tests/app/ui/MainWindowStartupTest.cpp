// Start-up: creation with its settings and first-start questions, the first show with the
// command line, and the start-up timer.

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <QTimerEvent>
#include <QWidget>
#include <algorithm>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

#include "app/ui/ImageHelpForm.h"
#include "app/ui/MenuTable.h"
#include "base/IniFile.h"
#include "browse/ui/DirSelForm.h"
#include "hotspot/ui/BrennForm.h"
#include "support/ui/MainWindowFixture.h"
#include "tone/ui/GraphForm.h"
#include "tone/ui/TrackBarForms.h"
#include "transform/ui/RotationTrackBarForm.h"

namespace {

using MainWindowStartup = MainWindowFixture;

// Looks at the settings file at the moment each question is asked.
class TSettingsWatchingDialogs : public ScriptedDialogs {
  public:
    explicit TSettingsWatchingDialogs(QString settingsFile) : FFile(std::move(settingsFile)) {}
    int ChooseButton(const QString& prompt, const QStringList& captions, int help) override {
        RegisterValuesSeen.append(
            TIniFile(FFile).ReadInteger(QStringLiteral("Asked"), QStringLiteral("Register"), -1));
        return ScriptedDialogs::ChooseButton(prompt, captions, help);
    }
    QList<int> RegisterValuesSeen;

  private:
    QString FFile;
};

const QString kFollowUp =
    QStringLiteral("This facility is also available under Files, Register File Types");

TEST_F(MainWindowStartup, FirstStartAsksTheRegistrationQuestionsAfterMarkingThemAsked) {
    TSettingsWatchingDialogs dialogs(SettingsFile());
    for (int i = 0; i < 4; ++i)
        dialogs.AnswerNo();
    Start();
    EXPECT_EQ(dialogs.Prompts().size(), 4);
    EXPECT_EQ(dialogs.RegisterValuesSeen, QList<int>({1, 1, 1, 1}));
    EXPECT_EQ(dialogs.Messages(), QStringList{kFollowUp});
    ASSERT_FALSE(dialogs.Log().isEmpty());
    EXPECT_EQ(dialogs.Log().last(), QStringLiteral("Message: ") + kFollowUp);
    EXPECT_EQ(Setting("Asked", "Register"), QStringLiteral("1"));
    EXPECT_TRUE(dialogs.Errors().isEmpty());
}

TEST_F(MainWindowStartup, LaterStartsAskNothing) {
    struct Case {
        const char* name;
        QByteArray settings;
    };
    const Case cases[] = {
        {"second start", "[Asked]\nRegister=1\n"},
        {"any value but 0", "[Asked]\nRegister=5\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteSettings(c.settings);
        Start();
        EXPECT_TRUE(FDialogs.Log().isEmpty())
            << FDialogs.Log().join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(Setting("Asked", "Register"), QStringLiteral("1"));
        FForm.reset();
    }
}

TEST_F(MainWindowStartup, DefaultsWithoutASettingsFile) {
    for (int i = 0; i < 4; ++i)
        FDialogs.AnswerNo();
    TKelvoImageForm& form = Start();
    EXPECT_EQ(form.JPEGQuality1->text(), QStringLiteral("JPEG Quality (95)"));
    EXPECT_EQ(form.PanSpeed1->text(), QStringLiteral("Pan Speed (24)"));
    EXPECT_EQ(form.MovieSpeedms1->text(), QStringLiteral("Movie Speed(ms) [100]"));
    EXPECT_EQ(form.FPanSpeed, 24);
    EXPECT_FALSE(form.FOneToOne);
    EXPECT_FALSE(form.PellsTools1->isChecked());
    EXPECT_FALSE(form.Panel1->isVisible());
    EXPECT_FALSE(form.RemoveColorCastAgain1->isEnabled());
    for (QAction* item : {form.DeleteConfirm1, form.SaveConfirm1, form.ShowPixelValues1,
                          form.ShowLineLengths1, form.ShowHistogram1})
        EXPECT_TRUE(item->isChecked()) << item->text().toStdString();
    EXPECT_EQ(form.FSelRight, -1);
    EXPECT_EQ(form.FSelBottom, -1);
    EXPECT_EQ(form.FPressButton, Qt::MiddleButton);
    EXPECT_TRUE(form.FFileList.isEmpty());
    EXPECT_EQ(form.FExeDir, ExeDir());
}

TEST_F(MainWindowStartup, StoredValuesAreReadExactly) {
    MarkRegistered(
        "[JPEG]\nQuality=80\n[Pan]\nSpeed=0x20\n[Movie]\nSpeed=250\n[Pelly]\nTools=Yes\n"
        "[Image]\nOneToOne=yes\n[ColorCast]\nRed=0\nGreen=1.5\n"
        "[Confirmations]\nDelete=y\nSave=N\nShowPixels=Y\nShowLineLengths=N\n"
        "[Histogram]\nShow=N\n");
    TKelvoImageForm& form = Start();
    EXPECT_EQ(form.JPEGQuality1->text(), QStringLiteral("JPEG Quality (80)"));
    EXPECT_EQ(form.PanSpeed1->text(), QStringLiteral("Pan Speed (32)"));
    EXPECT_EQ(form.FPanSpeed, 32);
    EXPECT_EQ(form.MovieSpeedms1->text(), QStringLiteral("Movie Speed(ms) [250]"));
    EXPECT_TRUE(form.PellsTools1->isChecked());
    EXPECT_TRUE(form.Panel1->isVisible());
    EXPECT_FALSE(form.FOneToOne) << "\"yes\" is not \"Yes\"";
    EXPECT_DOUBLE_EQ(form.FColorCastGreen, 1.5);
    // The item stays greyed until its command is built; its enabling rule sees the factors.
    const TMenuRow* again = FindMenuRow(form, form.RemoveColorCastAgain1);
    ASSERT_TRUE(again != nullptr && again->Enabled != nullptr);
    EXPECT_TRUE(again->Enabled(form));
    EXPECT_EQ(form.RemoveColorCastAgain1->isEnabled(), again->Handler != nullptr);
    EXPECT_FALSE(form.DeleteConfirm1->isChecked()) << "\"y\" is not \"Y\"";
    EXPECT_FALSE(form.SaveConfirm1->isChecked());
    EXPECT_TRUE(form.ShowPixelValues1->isChecked());
    EXPECT_FALSE(form.ShowLineLengths1->isChecked());
    EXPECT_FALSE(form.ShowHistogram1->isChecked());
}

TEST_F(MainWindowStartup, UnwritableSettingsAreReportedAndCreationCompletes) {
    // A folder in the settings file's place cannot be written, whoever runs the test.
    ASSERT_TRUE(QDir(FDir.path()).mkdir(QStringLiteral("KelvoImage.Ini")));
    for (int i = 0; i < 4; ++i)
        FDialogs.AnswerNo();
    TKelvoImageForm& form = Start();
    ASSERT_FALSE(FDialogs.Errors().isEmpty());
    EXPECT_TRUE(FDialogs.Errors().first().startsWith(QStringLiteral("Unable to write to ")))
        << FDialogs.Errors().first().toStdString();
    // The remaining steps ran: questions, follow-up, captions.
    EXPECT_EQ(FDialogs.Prompts().size(), 4);
    EXPECT_EQ(FDialogs.Messages(), QStringList{kFollowUp});
    EXPECT_EQ(form.PanSpeed1->text(), QStringLiteral("Pan Speed (24)"));
}

TEST_F(MainWindowStartup, WindowsAreCreatedInTheirOrderWithTheirCaptions) {
    MarkRegistered();
    TKelvoImageForm& form = Start();
    const QList<QPair<QWidget*, QString>> windows = {
        {form.GraphForm.get(), QStringLiteral("GraphForm")},
        {form.DirSelForm.get(), QStringLiteral("Select Directory")},
        {form.ContrastTrackBarForm.get(), QStringLiteral("ContrastTrackBarForm")},
        {form.BWTrackBarForm.get(), QStringLiteral("Black/WhiteTrackBarForm")},
        {form.RotationTrackBarForm.get(), QStringLiteral("RotationTrackBarForm")},
        {form.BrightnessTrackBarForm.get(), QStringLiteral("BrightnessTrackBarForm")},
        {form.BrennForm.get(), QStringLiteral("Brenn's Hot Spot Removal Tool")},
    };
    for (const auto& [window, caption] : windows) {
        ASSERT_NE(window, nullptr) << caption.toStdString();
        EXPECT_EQ(window->windowTitle(), caption);
        EXPECT_FALSE(window->isVisible()) << caption.toStdString();
    }
    ASSERT_NE(form.ImageHelpForm.get(), nullptr);
    EXPECT_FALSE(form.ImageHelpForm->isVisible());
    EXPECT_TRUE(form.isVisible());
}

// The tool windows are made on their first use, not at start: a start with a picture and loads
// make none (the load's ending of slider adjustments included), and a slider made late reads
// the settings written since the start, as one made at start read them when shown.
TEST_F(MainWindowStartup, ToolWindowsAreMadeOnFirstUseAndReadTheirSettingsThen) {
    MarkRegistered();
    const QString photo = MakeFilledImage(QStringLiteral("photo.png"), 64, 48, qRgb(90, 90, 90));
    TKelvoImageForm& form = Start({photo});
    ASSERT_EQ(Bitmap().Width(), 64);
    form.ReOpenButtonClick();
    const auto made = [&form] {
        return QList<const QWidget*>{form.GraphForm.IfMade(),
                                     form.ImageHelpForm.IfMade(),
                                     form.DirSelForm.IfMade(),
                                     form.ContrastTrackBarForm.IfMade(),
                                     form.BWTrackBarForm.IfMade(),
                                     form.RotationTrackBarForm.IfMade(),
                                     form.BrightnessTrackBarForm.IfMade(),
                                     form.BrennForm.IfMade()}
            .count(nullptr);
    };
    EXPECT_EQ(made(), 8) << "windows made before their first use";

    ASSERT_TRUE(QDir().mkpath(QFileInfo(SliderSettingsFileName()).path()));
    TIniFile(SliderSettingsFileName())
        .WriteInteger(QStringLiteral("Brightness"), QStringLiteral("Value"), 30);
    form.Brightness1->trigger();
    TBrightnessTrackBarForm* const slider = form.BrightnessTrackBarForm.IfMade();
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(made(), 7);
    EXPECT_TRUE(slider->isVisible());
    EXPECT_EQ(slider->TrackBar1->value(), 30);
    // Once made, a load ends its adjustment as it always did.
    form.ReOpenButtonClick();
    EXPECT_FALSE(slider->isVisible());
}

TEST_F(MainWindowStartup, QuestionMarkOpensTheHelpWindowAndTheMainWindowStaysUsable) {
    MarkRegistered();
    TKelvoImageForm& form = Start();
    // The temporary program folder holds no help file: reported, and the window opens anyway.
    form.N1->trigger();
    EXPECT_TRUE(form.ImageHelpForm->isVisible());
    ASSERT_EQ(FDialogs.Errors().size(), 1);
    EXPECT_TRUE(FDialogs.Errors().first().startsWith(QStringLiteral("Cannot open file \"")));
    EXPECT_FALSE(form.ImageHelpForm->isModal());
    form.ImageHelpForm->hide();
}

TEST_F(MainWindowStartup, NoArgumentsAndAnEmptyClipboardShowNothing) {
    MarkRegistered();
    TKelvoImageForm& form = Start();
    EXPECT_TRUE(Bitmap().Empty());
    EXPECT_EQ(form.windowTitle(), QStringLiteral("KelvoImageForm"));
    EXPECT_TRUE(form.CurrentFileName().isEmpty());
    // No display mode applied: unscaled, all five display items enabled.
    EXPECT_EQ(form.Image->ScaleMode(), TScaleMode::smNormal);
    for (QAction* item :
         {form.DoubleButton, form.HalfButton, form.QuarterButton, form.OneToOne1, form.Fit1})
        EXPECT_TRUE(item->isEnabled()) << item->text().toStdString();
    EXPECT_TRUE(FDialogs.Log().isEmpty());
}

TEST_F(MainWindowStartup, NoArgumentsPasteTheClipboardPicture) {
    MarkRegistered();
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(qRgb(10, 200, 30));
    QGuiApplication::clipboard()->setImage(picture);
    TKelvoImageForm& form = Start();
    ASSERT_EQ(Bitmap().Width(), 40);
    ASSERT_EQ(Bitmap().Height(), 30);
    EXPECT_EQ(Bitmap().GetPixel(5, 5), 0xFF0AC81Eu);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("KelvoImageForm"));
    EXPECT_TRUE(form.CurrentFileName().isEmpty());
}

TEST_F(MainWindowStartup, OneArgumentInFitModeFillsTheWorkAreaThenHugsTheFittedImage) {
    MarkRegistered();
    const QString photo =
        MakeFilledImage(QStringLiteral("photo.jpg"), 1600, 1000, qRgb(90, 90, 90));
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();

    TKelvoImageForm form(ExeDir(), {photo});
    form.CreateToolWindows();
    QList<QSize> outerSizes;
    struct TSizeRecorder : QObject {
        QList<QSize>* Sizes;
        QWidget* Window;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Resize) Sizes->append(Window->frameGeometry().size());
            return false;
        }
    } recorder;
    recorder.Sizes = &outerSizes;
    recorder.Window = &form;
    form.installEventFilter(&recorder);
    form.show();

    EXPECT_TRUE(outerSizes.contains(work.size()));
    EXPECT_EQ(form.CurrentFileName(), photo);
    EXPECT_EQ(form.Caption(), QStringLiteral("KelvoImage: ") + photo);
    EXPECT_EQ(form.Image->ScaleMode(), TScaleMode::smResize);
    const QSize shown = form.Image->DisplayedSize();
    EXPECT_LT(shown.width(), 1600);
    EXPECT_EQ(form.ClientWidth(), std::max(shown.width(), 365));
    EXPECT_EQ(form.ClientHeight(), shown.height());
    EXPECT_LE(form.frameGeometry().height(), work.height());
    EXPECT_TRUE(form.OneToOne1->isEnabled());
    EXPECT_FALSE(form.Fit1->isEnabled());
    EXPECT_FALSE(form.Timer1->isActive());
    EXPECT_EQ(Setting("Image", "OneToOne"), QStringLiteral("No"));
}

TEST_F(MainWindowStartup, OneArgumentIn1To1ModeShowsTheImageUnscaled) {
    MarkRegistered("[Image]\nOneToOne=Yes\n");
    const QString photo = MakeFilledImage(QStringLiteral("small.png"), 400, 200, qRgb(1, 2, 3));
    TKelvoImageForm& form = Start({photo});
    EXPECT_EQ(form.Image->ScaleMode(), TScaleMode::smNormal);
    EXPECT_EQ(form.ClientWidth(), 400);
    EXPECT_EQ(form.ClientHeight(), 200);
    EXPECT_FALSE(form.OneToOne1->isEnabled());
    EXPECT_TRUE(form.Fit1->isEnabled());
}

TEST_F(MainWindowStartup, AnArgumentThatCannotBeLoadedIsReportedAndNothingElseHappens) {
    MarkRegistered();
    const QString missing = PathOf(QStringLiteral("missing.jpg"));
    TKelvoImageForm& form = Start({missing});
    ASSERT_EQ(FDialogs.Errors().size(), 1);
    EXPECT_TRUE(FDialogs.Errors().first().startsWith(QStringLiteral("Cannot open file \"")));
    EXPECT_TRUE(Bitmap().Empty());
    EXPECT_EQ(form.CurrentFileName(), missing);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("KelvoImageForm"));
    EXPECT_EQ(form.Image->ScaleMode(), TScaleMode::smNormal);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// The timer is driven by handing it its own tick, so no test waits for real time to pass.
void FireTimer(QTimer* timer) {
    QTimerEvent tick(timer->timerId());
    QCoreApplication::sendEvent(timer, &tick);
}

// The sum of R + G + B over the whole image.
qint64 IntensitySum(const TBitmap32& image) {
    qint64 sum = 0;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
            const TColor32 c = image.GetPixel(x, y);
            sum += ((c >> 16) & 0xFF) + ((c >> 8) & 0xFF) + (c & 0xFF);
        }
    return sum;
}

TEST_F(MainWindowStartup, ThreeArgumentsStartTheOneShotTimer) {
    const QString photo =
        MakeImage(QStringLiteral("dark.png"), 64, 48, [](int x, int) { return qRgb(x, x, x); });
    MarkRegistered();
    // Anything but "HB" only loads: the tick leaves the image as it was.
    TKelvoImageForm& form = Start({photo, QStringLiteral("HBX"), QStringLiteral("x")});
    EXPECT_EQ(form.CurrentFileName(), photo);
    ASSERT_TRUE(form.Timer1->isActive());
    EXPECT_TRUE(form.Timer1->isSingleShot());
    EXPECT_EQ(form.Timer1->interval(), 100);
    TBitmap32 loaded;
    loaded.Assign(Bitmap());
    FireTimer(form.Timer1);
    EXPECT_FALSE(form.Timer1->isActive());
    ASSERT_EQ(Bitmap().Width(), loaded.Width());
    ASSERT_EQ(Bitmap().Height(), loaded.Height());
    EXPECT_TRUE(std::equal(loaded.Bits(), loaded.Bits() + loaded.Width() * loaded.Height(),
                           Bitmap().Bits()));
    EXPECT_TRUE(FDialogs.Errors().isEmpty());
}

TEST_F(MainWindowStartup, HbBrightensTheImageOnTheTimersTick) {
    const QString photo =
        MakeImage(QStringLiteral("dark.png"), 64, 48, [](int x, int) { return qRgb(x, x, x); });
    for (const QString& option : {QStringLiteral("HB"), QStringLiteral("hb")}) {
        SCOPED_TRACE(option.toStdString());
        MarkRegistered();
        TKelvoImageForm& form = Start({photo, option, QStringLiteral("x")});
        ASSERT_TRUE(form.LinearBrighten1->isEnabled());
        const qint64 before = IntensitySum(Bitmap());
        FireTimer(form.Timer1);
        EXPECT_EQ(Bitmap().Width(), 64);
        EXPECT_GT(IntensitySum(Bitmap()), before);
        EXPECT_TRUE(FDialogs.Errors().isEmpty());
        FForm.reset();
    }
}

TEST_F(MainWindowStartup, TwoArgumentsWithAMissingTargetReportTheFailure) {
    MarkRegistered();
    const QString photo = MakeFilledImage(QStringLiteral("photo.jpg"), 32, 16, qRgb(50, 60, 70));
    TKelvoImageForm& form = Start({photo, QStringLiteral("HB")});
    ASSERT_EQ(FDialogs.Errors().size(), 1);
    EXPECT_TRUE(FDialogs.Errors().first().startsWith(QStringLiteral("Cannot open file \"")));
    EXPECT_TRUE(FDialogs.Errors().first().contains(QStringLiteral("HB\"")));
    EXPECT_TRUE(Bitmap().Empty());
    EXPECT_EQ(form.CurrentFileName(), QDir::current().absoluteFilePath(QStringLiteral("HB")));
    EXPECT_FALSE(form.Timer1->isActive());
}

// The two-file correction reads two pictures: the error box says which one is not a picture.
TEST_F(MainWindowStartup, TwoArgumentsNameTheFileThatIsNoPicture) {
    MarkRegistered();
    const QString photo = MakeFilledImage(QStringLiteral("photo.jpg"), 32, 16, qRgb(50, 60, 70));
    const QString notes = PathOf(QStringLiteral("notes.jpg"));
    {
        QFile file(notes);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("no picture\n");
    }
    for (const QStringList& arguments : {QStringList{notes, photo}, QStringList{photo, notes}}) {
        SCOPED_TRACE(arguments.join(QLatin1Char(' ')).toStdString());
        ScriptedDialogs dialogs;
        Start(arguments);
        EXPECT_EQ(dialogs.Errors(),
                  QStringList({QDir::toNativeSeparators(notes) +
                               QStringLiteral(": JPEG error #%1.").arg(JERR_NO_SOI)}));
        FForm.reset();
    }
}

TEST_F(MainWindowStartup, ARelativeArgumentKeepsNamingItsFileAfterTheWorkingFolderMoves) {
    MarkRegistered();
    const QString photo = MakeFilledImage(QStringLiteral("photo.jpg"), 32, 16, qRgb(50, 60, 70));
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QFileInfo(photo).absolutePath()));
    TKelvoImageForm& form = Start({QStringLiteral("photo.jpg")});
    // The folder chooser moves the working folder; a file of the same name waits there.
    QTemporaryDir elsewhere;
    ASSERT_TRUE(QDir::setCurrent(elsewhere.path()));
    QImage decoy(8, 8, QImage::Format_RGB32);
    decoy.fill(Qt::white);
    ASSERT_TRUE(decoy.save(elsewhere.filePath(QStringLiteral("photo.jpg"))));
    form.ReOpenButtonClick();
    QDir::setCurrent(before);
    EXPECT_EQ(form.CurrentFileName(), QFileInfo(photo).absoluteFilePath());
    EXPECT_EQ(Bitmap().Width(), 32);
    EXPECT_TRUE(FDialogs.Errors().isEmpty());
}

TEST_F(MainWindowStartup, TwoArgumentsCorrectTheTargetWithTheHotSpotImage) {
    struct Case {
        const char* name;
        QRgb hotSpot;
        int expectedRed;  // target red is 200
    };
    const Case cases[] = {
        {"black hot-spot image leaves the target as it was", qRgb(0, 0, 0), 200},
        {"mid-grey hot-spot image halves it", qRgb(128, 128, 128), 100},
    };
    const QString target = MakeImage(QStringLiteral("target.png"), 6, 4,
                                     [](int x, int y) { return qRgb(200, 10 * x, 20 * y); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MarkRegistered();
        const QString hot = MakeFilledImage(QStringLiteral("hot.png"), 6, 4, c.hotSpot);
        TKelvoImageForm& form = Start({hot, target});
        EXPECT_TRUE(FDialogs.Errors().isEmpty());
        EXPECT_EQ(form.CurrentFileName(), target);
        ASSERT_EQ(Bitmap().Width(), 6);
        ASSERT_EQ(Bitmap().Height(), 4);
        const double factor = c.expectedRed / 200.0;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) {
                const TColor32 p = Bitmap().GetPixel(x, y);
                EXPECT_EQ(int((p >> 16) & 0xFF), c.expectedRed);
                EXPECT_EQ(int((p >> 8) & 0xFF), int(std::rint(10 * x * factor)));
                EXPECT_EQ(int(p & 0xFF), int(std::rint(20 * y * factor)));
            }
        EXPECT_FALSE(form.Timer1->isActive());
        FForm.reset();
    }
}

TEST_F(MainWindowStartup, ClosingStopsTheSlideshowAndSaysSo) {
    MarkRegistered();
    TKelvoImageForm& form = Start();
    form.FMoviePlaying = true;
    QSignalSpy closed(&form, &TKelvoImageForm::FormClosed);
    form.ExitButton->trigger();
    EXPECT_FALSE(form.FMoviePlaying);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(closed.count(), 1);
}

}  // namespace
