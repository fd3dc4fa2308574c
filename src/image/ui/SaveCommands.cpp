// Writing the current image: "&Save", "Save &As", "Save As &Transparent GIF", "Convert &To",
// "Save As &Unique JPG" and "JPEG Quality".

#include <sys/stat.h>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <optional>

#include "app/ui/BusyCursor.h"
#include "app/ui/Dialogs.h"
#include "app/ui/KelvoImageUnit.h"
#include "app/ui/KelvoPrompts.h"
#include "base/IniFile.h"
#include "base/KelvoError.h"
#include "base/KelvoUtils.h"
#include "image/ImageFileTypes.h"
#include "image/ImageSaver.h"
#include "image/LosslessJpeg.h"
#include "view/ui/ImageView.h"

namespace {

const QStringList& SaveFilters() {
    // "BMP " keeps the blank it has always been shown with.
    static const QStringList filters = {
        QStringLiteral("JPEG|*.JPG"),
        QStringLiteral("GIF|*.GIF"),
        QStringLiteral("BMP |*.BMP"),
        QStringLiteral("PNG|*.PNG"),
        QStringLiteral("All Files|*.JPG;*.GIF;*.BMP;*.PNG"),
    };
    return filters;
}

// Only a dot in the file-name part starts an extension; one in a folder name does not.
QString WithoutExtension(const QString& fileName) {
    const qsizetype slash = fileName.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot > slash ? fileName.left(dot) : fileName;
}

// The Save dialog, proposing this name; the request keeps the filter entry the user picks. A
// name typed without an ending gets defaultSuffix.
std::optional<QString> AskSaveName(TKelvoImageForm& form, const QString& proposed,
                                   const QString& defaultSuffix = QStringLiteral("JPG")) {
    FileDialogRequest& dialog = form.SaveDialog1;
    dialog.FileName = proposed;
    dialog.Filters = SaveFilters();
    dialog.DefaultSuffix = defaultSuffix;
    dialog.ConfirmOverwrite = form.SaveConfirm1->isChecked();
    return CurrentDialogs().SaveFile(dialog);
}

// The file a name leads to (links followed), or nothing when there is none.
struct TFileIdentity {
    dev_t Device;
    ino_t Inode;
    bool operator==(const TFileIdentity&) const = default;
};

std::optional<TFileIdentity> IdentityOf(const QString& fileName) {
    struct stat info {};
    if (fileName.isEmpty() || ::stat(QFile::encodeName(fileName).constData(), &info) != 0)
        return std::nullopt;
    return TFileIdentity{info.st_dev, info.st_ino};
}

bool SameFile(const std::optional<TFileIdentity>& a, const std::optional<TFileIdentity>& b) {
    return a && b && *a == *b;
}

// A name is taken by anything on disk, a link that leads nowhere included.
bool NameTaken(const QString& fileName) {
    const QFileInfo info(fileName);
    return info.exists() || info.isSymLink();
}

}  // namespace

void TKelvoImageForm::SaveImageFile(const QString& fileName) {
    const TSaveFileType type = SaveFileTypeOf(fileName);
    // Writing nothing without a word would pass for a save, and "Save + Next" would move on and
    // drop the edits.
    if (type == TSaveFileType::None) {
        if (fileName.isEmpty())
            throw KelvoError(QStringLiteral(
                "Nothing written: the picture shown has no file name; choose one with Save As"));
        throw KelvoError(NoSaveTypeMessage(fileName));
    }
    // Read for every save, so a quality changed by hand or by another window counts at once.
    const int quality =
        type == TSaveFileType::Jpeg
            ? TIniFile(MainSettingsFile())
                  .ReadInteger(QStringLiteral("JPEG"), QStringLiteral("Quality"), 95)
            : 95;
    const bool replacesOrigin = FMetadata.Origin && NamesOrigin(fileName, *FMetadata.Origin);
    TSaveOutcome outcome;
    {
        const TBusyCursor busy;
        // A picture only turned since its load loses nothing: "JPEG Quality" is for encoding.
        outcome = WriteImageFile(fileName, Image->Bitmap(), quality, FMetadata,
                                 {TChromaSampling::Yuv420, true});
    }
    // The file the pixels came from is gone; the one just written in its place holds the
    // picture's coefficients as they now lie, and later turns start from it.
    if (outcome.Lossless && replacesOrigin) {
        FMetadata.Origin = JpegOriginOf(fileName);
        FMetadata.Turn = TPixelTurn();
        if (!FMetadata.Origin) FMetadata.TurnedStamp = 0;
    }
    if (outcome.ExifLeftOut) CurrentDialogs().ShowMessage(ExifLeftOutMessage(fileName));
}

void TKelvoImageForm::Save1Click() {
    SaveImageFile(CurrentFileName());
}

namespace {

// A phone's or camera's picture cannot be written back in its own format: it is proposed as the
// JPEG it will be saved as.
QString ProposedSaveName(const QString& current) {
    const std::optional<TImageFileType> type = ImageFileTypeOfEnding(current);
    const bool readOnlyFormat = type == TImageFileType::Heif || type == TImageFileType::Webp ||
                                type == TImageFileType::Raw;
    return WithoutExtension(current) + (readOnlyFormat ? QStringLiteral(".JPG") : QString());
}

}  // namespace

void TKelvoImageForm::SaveAs1Click() {
    const std::optional<QString> chosen = AskSaveName(*this, ProposedSaveName(CurrentFileName()));
    if (!chosen) return;
    OpenDialog1.FileName = *chosen;
    SaveImageFile(*chosen);
}

void TKelvoImageForm::ConvertTo1Click() {
    const QString oldName = CurrentFileName();
    const std::optional<QString> chosen = AskSaveName(*this, WithoutExtension(oldName));
    if (!chosen) return;
    OpenDialog1.FileName = *chosen;
    // Taken before the save: writing replaces the new name's file, which would hide that it
    // was the old file under another name (a hard link, or a link to it).
    const bool sameBefore = SameFile(IdentityOf(oldName), IdentityOf(*chosen));
    SaveImageFile(*chosen);
    // The old file goes only when the picture demonstrably lives on in another file (a save
    // that wrote nothing has thrown): a file is never deleted in favour of itself.
    const std::optional<TFileIdentity> written = IdentityOf(*chosen);
    if (!written || sameBefore || SameFile(IdentityOf(oldName), written)) return;
    if (!QFile::remove(oldName)) return;
    // The file lives on under its new name: stepping through the folder reaches it there.
    for (QString& entry : FFileList)
        if (entry == oldName) entry = *chosen;
}

void TKelvoImageForm::SaveAsTransparentGIF1Click() {
    SaveDialog1.FilterIndex = 2;
    // The file is GIF whatever its name, so a name typed without an ending gets ".GIF".
    const std::optional<QString> chosen = AskSaveName(
        *this, WithoutExtension(CurrentFileName()) + QStringLiteral(".GIF"), QStringLiteral("GIF"));
    SaveDialog1.FilterIndex = 1;
    if (!chosen) return;
    OpenDialog1.FileName = *chosen;
    const TBusyCursor busy;
    WriteTransparentGif(*chosen, Image->Bitmap());
}

void TKelvoImageForm::SaveUnique1Click() {
    const QString& current = CurrentFileName();
    const QString folder = current.left(current.lastIndexOf(QLatin1Char('/')) + 1);
    for (int i = 1; i <= 999; ++i) {
        const QString name = folder + QStringLiteral("Unique") +
                             PadLeft(QString::number(i), 3, QLatin1Char('0')) +
                             QStringLiteral(".JPG");
        if (!NameTaken(name)) {
            SaveImageFile(name);
            return;
        }
    }
    throw KelvoError(
        QStringLiteral("Nothing written: Unique001.JPG to Unique999.JPG all exist in \"%1\"")
            .arg(QDir(folder).absolutePath()));
}

void TKelvoImageForm::JPEGQuality1Click() {
    PromptIntegerSetting(MainSettingsFile(), JpegQualitySetting, JPEGQuality1);
}
