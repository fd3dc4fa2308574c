// Sorting a folder while stepping through it: "Del", "Del + Next", "Rename + Next" and
// "Save + Next".
//
// A running slideshow goes on loading behind every question asked here, moving FFileIndex and
// the current file name as it goes. So each command copies the file it is about to act on
// before it asks, acts on that copy, and re-checks the index against the list afterwards.

#include <QDir>
#include <QToolButton>

#include "base/KelvoUtils.h"
#include "app/ui/KelvoImageUnit.h"
#include "app/ui/KelvoPrompts.h"
#include "browse/FileOperations.h"

namespace {

QString FileNamePart(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// From the last "." of the file name to the end, the dot included; empty without one.
QString ExtensionOf(const QString& path) {
    const QString name = FileNamePart(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot);
}

bool AskToDelete(const QString& name) {
    return AskYesNo(QStringLiteral("Delete \"") + name + QStringLiteral("\"?"));
}

}  // namespace

void TKelvoImageForm::Delete1Click() {
    const QString name = CurrentFileName();
    if (DeleteConfirm1->isChecked() && !AskToDelete(name)) return;
    // To the trash rather than gone for good: one click too many must not cost a photograph.
    // The outcome is not reported; the list and the display stay as they are.
    MoveToTrashOrDelete(name);
}

void TKelvoImageForm::DeleteandNext1Click() {
    if (FFileIndex >= FFileList.size()) return;
    const QString entry = FFileList[FFileIndex];
    if (DeleteConfirm1->isChecked() && !AskToDelete(entry)) return;
    MoveToTrashOrDelete(entry);
    if (FFileIndex < FFileList.size()) ++FFileIndex;
    if (FFileIndex >= FFileList.size()) return;
    LoadImageFile(FFileList[FFileIndex]);
    CenterCursorOnButton(DelNextSB);
}

void TKelvoImageForm::RenameAndNextSBClick() {
    if (FFileIndex >= FFileList.size()) return;
    const int position = FFileIndex;
    const QString entry = FFileList[position];
    QString answer = AskText(QStringLiteral("Rename File"),
                             QStringLiteral("Rename file (empty avoids rename):"), entry);
    if (!IsBlank(answer) && answer != entry) {
        if (!FileNamePart(answer).contains(QLatin1Char('.'))) answer += ExtensionOf(entry);
        // A bare name lands in the working folder, the one the folder chooser showed last. The
        // list keeps full paths, so the entry stays loadable wherever the working folder goes.
        const QString target = QDir::current().absoluteFilePath(answer);
        // The rename never replaces a file that is already there. The entry follows the file
        // only when it moved, so the list never names a file lost to a failed rename; and only
        // while the list still holds the entry at its place.
        if (RenameWithoutReplacing(entry, target) && position < FFileList.size() &&
            FFileList[position] == entry)
            FFileList[position] = target;
    }
    if (FFileIndex + 1 >= FFileList.size()) return;
    ++FFileIndex;
    LoadImageFile(FFileList[FFileIndex]);
    CenterCursorOnButton(RenameAndNextSB);
}

void TKelvoImageForm::SaveandNext1Click() {
    if (FFileIndex >= FFileList.size()) return;
    // The save goes through a temporary file that replaces the entry's file only when it is
    // complete; a failure is reported and ends the command here, before the index moves.
    SaveImageFile(FFileList[FFileIndex]);
    if (FFileIndex < FFileList.size()) ++FFileIndex;
    if (FFileIndex >= FFileList.size()) return;
    LoadImageFile(FFileList[FFileIndex]);
    CenterCursorOnButton(SaveNextSB);
}
