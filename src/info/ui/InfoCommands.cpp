// "Extended Info" and "&Print an 8x10" of the "Files" menu.

#include <QPrinter>

#include "app/ui/BusyCursor.h"
#include "app/ui/Dialogs.h"
#include "app/ui/KelvoImageUnit.h"
#include "info/PrintPage.h"
#include "info/PropertyReport.h"
#include "view/ui/ImageView.h"

// The tags of the file on disk, not of the image in memory: unsaved edits do not show. A file
// that cannot be read shows an empty box, like a file without tags.
void TKelvoImageForm::ExtendedInfo1Click() {
    CurrentDialogs().ShowMessage(PropertyReport(CurrentFileName()));
}

// The image in memory, unsaved edits included, on one page. The printing works on a copy, so
// the image stays as it is even when the printer fails half-way.
void TKelvoImageForm::Print1Click() {
    const TBitmap32& image = Image->Bitmap();
    if (image.Empty()) return;
    QPrinter printer(QPrinter::HighResolution);
    if (!CurrentDialogs().ConfigurePrinter(printer)) return;
    const TBusyCursor busy;
    // A page printed to a file is written as every file is, so an old file stays whole until
    // the new one is complete, and a pipe under the name is refused instead of waited on.
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty()) {
        WritePdfPage(printer.outputFileName(), image, printer.pageLayout(), printer.resolution());
        return;
    }
    PrintImage(printer, image);
}
