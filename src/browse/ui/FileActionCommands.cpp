// Sorting a folder while stepping through it: "Del", "Del + Next", "Rename + Next" and
// "Save + Next", and the rating keys.
//
// A running slideshow goes on loading behind every question asked here, moving FFileIndex and
// the current file name as it goes. So each command copies the file it is about to act on
// before it asks, acts on that copy, and re-checks the index against the list afterwards.
// Stepping on passes over entries whose files are gone, as "Next" does.

#include <QDir>
#include <QToolButton>

#include "app/ui/CommandDispatch.h"
#include "app/ui/KelvoImageUnit.h"
#include "app/ui/KelvoPrompts.h"
#include "base/KelvoError.h"
#include "base/KelvoUtils.h"
#include "browse/CompanionFiles.h"
#include "browse/FileOperations.h"
#include "browse/FolderList.h"
#include "browse/PhotoRating.h"
#include "image/LosslessJpeg.h"
#include "view/ui/ImageView.h"

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

// The question names every file that goes: the picture, and its RAW partner and sidecars.
bool AskToDelete(const QString& name, const QStringList& companions) {
    return AskYesNo(QStringLiteral("Delete \"") + name + QStringLiteral("\"") +
                    CompanionClause(companions) + QStringLiteral("?"));
}

// The companions follow only a picture that went: a JPEG that stays keeps its RAW. Each one that
// cannot go is reported; the ones already in the trash stay there, where the user can fetch them.
void TrashCompanionsReporting(const QStringList& companions) {
    for (const QString& failure : TrashCompanions(companions))
        ReportError(failure);
}

}  // namespace

void TKelvoImageForm::Delete1Click() {
    const QString name = CurrentFileName();
    const QStringList companions = CompanionFiles(name);
    if (DeleteConfirm1->isChecked() && !AskToDelete(name, companions)) return;
    // To the trash rather than gone for good: one click too many must not cost a photograph.
    // The list and the display stay as they are.
    int error = 0;
    if (!MoveToTrashOrDelete(name, &error)) throw KelvoError(CannotDeleteFileMessage(name, error));
    TrashCompanionsReporting(companions);
}

void TKelvoImageForm::DeleteandNext1Click() {
    if (FFileIndex >= FFileList.size()) return;
    const QString entry = FFileList[FFileIndex];
    const QStringList companions = CompanionFiles(entry);
    // The entry may not be the picture on screen (a stopped show has moved on, a file was
    // opened from elsewhere): then the user is told so, whatever "Delete Confirm" says.
    if (!SameFile(CurrentFileName(), entry)) {
        if (!AskYesNo(QStringLiteral("Delete \"") + entry + QStringLiteral("\"") +
                      CompanionClause(companions) +
                      QStringLiteral(", which is not the picture shown?")))
            return;
    } else if (DeleteConfirm1->isChecked() && !AskToDelete(entry, companions)) {
        return;
    }
    int error = 0;
    if (MoveToTrashOrDelete(entry, &error))
        TrashCompanionsReporting(companions);
    else
        ReportError(CannotDeleteFileMessage(entry, error));
    if (FFileIndex < FFileList.size()) ++FFileIndex;
    FFileIndex = int(FirstPresentFrom(FFileList, FFileIndex));
    if (FFileIndex >= FFileList.size()) return;
    LoadImageFile(FFileList[FFileIndex]);
    CenterCursorOnButton(DelNextSB);
    ReadAheadEntry(FirstPresentFrom(FFileList, qsizetype(FFileIndex) + 1));
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
        // The rename never replaces a file that is already there, and a RAW partner and
        // sidecars are renamed alike or not at all. The entry follows the file only when it
        // moved, so the list never names a file lost to a failed rename; and only while the
        // list still holds the entry at its place.
        if (const auto failure = RenameWithCompanions(entry, target, CompanionFiles(entry))) {
            ReportError(*failure);
        } else if (position < FFileList.size() && FFileList[position] == entry) {
            FFileList[position] = target;
        }
    }
    // At the last entry that is still there, the index stays where it is.
    const qsizetype next = FirstPresentFrom(FFileList, qsizetype(FFileIndex) + 1);
    if (next >= FFileList.size()) return;
    FFileIndex = int(next);
    LoadImageFile(FFileList[FFileIndex]);
    CenterCursorOnButton(RenameAndNextSB);
    ReadAheadEntry(FirstPresentFrom(FFileList, qsizetype(FFileIndex) + 1));
}

void TKelvoImageForm::SaveandNext1Click() {
    if (FFileIndex >= FFileList.size()) return;
    const QString entry = FFileList[FFileIndex];
    if (!SameFile(CurrentFileName(), entry)) {
        const QString question =
            FileIsGone(entry)
                ? QStringLiteral("Save the picture shown as \"") + entry + QStringLiteral("\"?")
                : QStringLiteral("Replace \"") + entry +
                      QStringLiteral("\" with the picture shown?");
        if (!AskYesNo(question)) return;
    }
    // The save goes through a new file that replaces the entry's file only when it is
    // complete; a failure, or a name that is no save type, is reported and ends the command
    // here, before the index moves, so the edits are still on screen.
    SaveImageFile(entry);
    if (FFileIndex < FFileList.size()) ++FFileIndex;
    FFileIndex = int(FirstPresentFrom(FFileList, FFileIndex));
    if (FFileIndex >= FFileList.size()) return;
    LoadImageFile(FFileList[FFileIndex]);
    CenterCursorOnButton(SaveNextSB);
    ReadAheadEntry(FirstPresentFrom(FFileList, qsizetype(FFileIndex) + 1));
}

void TKelvoImageForm::RateCurrentPhoto(TPhotoRating rating) {
    const QString file = CurrentFileName();
    if (file.isEmpty() || Image->Bitmap().Empty()) return;
    const bool ratesOrigin = FMetadata.Origin && NamesOrigin(file, *FMetadata.Origin);
    const bool ratesUndoOrigin = FUndoMetadata.Origin && NamesOrigin(file, *FUndoMetadata.Origin);
    const QByteArray packet = WritePhotoRating(file, rating);
    FRating = rating;
    // The file's XMP changed under the picture on screen: a later save of the picture writes the
    // new packet, or it would take the rating back.
    if (!packet.isEmpty()) {
        FMetadata.Source = TPhotoMetadata::WithXmp(FMetadata.Source, packet);
        if (!FUndoImage.Empty())
            FUndoMetadata.Source = TPhotoMetadata::WithXmp(FUndoMetadata.Source, packet);
        // The rewritten file holds the very coefficients the picture was decoded from, so a
        // turn made before or after the rating still saves without loss.
        if (ratesOrigin) FMetadata.Origin = JpegOriginOf(file);
        if (ratesUndoOrigin) FUndoMetadata.Origin = JpegOriginOf(file);
    }
    UpdateCaption();
}
