// The "&Files" menu: opening, saving, the clipboard, the stored options, the slideshow, the
// report and printing.

#include "app/ui/KelvoImageUnit.h"
#include "app/ui/MenuTable.h"

using F = TKelvoImageForm;

namespace {

constexpr TCheckMark On = TCheckMark::On;
constexpr TCheckMark Off = TCheckMark::Off;

// JPEG Quality, Pan Speed and Movie Speed get their values appended once the settings are read.
constexpr TMenuRow kRows[] = {
    {"&Open", "OpenButton", &F::OpenButton, &F::OpenButtonClick},
    {"&ReOpen", "ReOpenButton", &F::ReOpenButton, &F::ReOpenButtonClick},
    {"&Save", "Save1", &F::Save1, &F::Save1Click, TCheckMark::None, "Ctrl+S"},
    {"Save &As", "SaveAs1", &F::SaveAs1, &F::SaveAs1Click},
    {"Save As &Transparent GIF", "SaveAsTransparentGIF1", &F::SaveAsTransparentGIF1,
     &F::SaveAsTransparentGIF1Click},
    {"Convert &To", "ConvertTo1", &F::ConvertTo1, &F::ConvertTo1Click},
    {"Save As &Unique JPG", "SaveUnique1", &F::SaveUnique1, &F::SaveUnique1Click},
    {"JPEG Quality", "JPEGQuality1", &F::JPEGQuality1, &F::JPEGQuality1Click},
    {"Pan Speed", "PanSpeed1", &F::PanSpeed1, &F::PanSpeed1Click},
    {"&Paste", "Paste1", &F::Paste1, &F::Paste1Click},
    {"&Copy", "Copy1", &F::Copy1, &F::Copy1Click},
    {"Pell's Tools", "PellsTools1", &F::PellsTools1, &F::PellsTools1Click, Off},
    {"Register File Types", "RegisterFileTypes1", &F::RegisterFileTypes1,
     &F::RegisterFileTypes1Click},
    {"Delete Confirm", "DeleteConfirm1", &F::DeleteConfirm1, &F::DeleteConfirm1Click, On},
    {"Save Confirm", "SaveConfirm1", &F::SaveConfirm1, &F::SaveConfirm1Click, On},
    {"Show Pixel Values", "ShowPixelValues1", &F::ShowPixelValues1, &F::ShowPixelValues1Click, On},
    {"Show Line Lengths", "ShowLineLengths1", &F::ShowLineLengths1, &F::ShowLineLengths1Click, On},
    {"Auto Rotate", "AutoRotate1", &F::AutoRotate1, &F::AutoRotate1Click, On},
    {"Date Taken Order", "DateTakenOrder1", &F::DateTakenOrder1, &F::DateTakenOrder1Click, On},
    {"Movie", "Movie1", &F::Movie1, &F::Movie1Click},
    {"Movie Speed (ms)", "MovieSpeedms1", &F::MovieSpeedms1, &F::MovieSpeedms1Click},
    {"Extended Info", "ExtendedInfo1", &F::ExtendedInfo1, &F::ExtendedInfo1Click},
    {"&Print an 8x10", "Print1", &F::Print1, &F::Print1Click},
};

}  // namespace

constexpr TMenuTable kFilesMenu{"&Files", "Files1", &F::Files1, kRows};
