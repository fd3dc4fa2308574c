// The registration questions answered by script, with the desktop's folders redirected to a
// temporary home.

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <optional>
#include <ostream>

#include "app/ui/CommandDispatch.h"
#include "info/FileTypes.h"
#include "info/ui/FileTypeRegistration.h"
#include "support/ScopedEnv.h"
#include "support/ui/ScriptedDialogs.h"

static void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
static void PrintTo(const QStringList& texts, std::ostream* out) {
    *out << '{';
    for (const QString& text : texts)
        *out << " \"" << text.toStdString() << '"';
    *out << " }";
}

namespace {

const QString JpegQuestion = "Do you wish to use this program to Open all JPG files?";
const QString BmpQuestion = "Do you wish to use this program to Open all BMP files?";
const QString GifQuestion = "Do you wish to use this program to Open all GIF files?";
const QString PngQuestion = "Do you wish to use this program to Open all PNG files?";

// Points the XDG data and config folders into a temporary home for one test.
class XdgHome {
  public:
    XdgHome() {
        QDir(FHome.path()).mkpath("data");
        QDir(FHome.path()).mkpath("config");
        FDataHome.emplace("XDG_DATA_HOME", DataFolder().toLocal8Bit());
        FConfigHome.emplace("XDG_CONFIG_HOME", ConfigFolder().toLocal8Bit());
    }
    QString DataFolder() const { return FHome.filePath("data"); }
    QString ConfigFolder() const { return FHome.filePath("config"); }
    // Every file below the temporary home.
    QStringList Files() const {
        QStringList files;
        QDirIterator it(FHome.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(it.next());
        return files;
    }

  private:
    QTemporaryDir FHome;
    std::optional<TScopedEnv> FDataHome;
    std::optional<TScopedEnv> FConfigHome;
};

QString ReadAll(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return QString();
    return QString::fromUtf8(file.readAll());
}

const QString ProgramPath = "/opt/Kelvo Image/kelvoimage";

QString Confirmation(const QString& extension) {
    return "File-Type " + extension + " associated with\r\n" + ProgramPath + "\r\n";
}

}  // namespace

TEST(OfferFileTypes, NoOrCancelToEveryQuestionWritesNothing) {
    for (int answer : {2, 0}) {
        SCOPED_TRACE(answer);
        XdgHome home;
        ScriptedDialogs dialogs;
        for (int i = 0; i < 4; ++i)
            dialogs.AnswerChoice(answer);
        EXPECT_TRUE(RunCommand([] { OfferFileTypes(ProgramPath); }));
        EXPECT_EQ(dialogs.Prompts(),
                  (QStringList{JpegQuestion, BmpQuestion, GifQuestion, PngQuestion}));
        for (const auto& shown : dialogs.Shown())
            EXPECT_EQ(shown.Captions, (QStringList{"&Yes", "&No"}));
        EXPECT_TRUE(dialogs.Messages().isEmpty());
        EXPECT_TRUE(home.Files().isEmpty()) << home.Files().join(", ").toStdString();
    }
}

TEST(OfferFileTypes, YesToJpegOnlyRegistersItsThreeExtensionsInOrder) {
    XdgHome home;
    ScriptedDialogs dialogs;
    dialogs.AnswerYes();
    dialogs.AnswerNo();
    dialogs.AnswerNo();
    dialogs.AnswerNo();
    EXPECT_TRUE(RunCommand([] { OfferFileTypes(ProgramPath); }));
    EXPECT_EQ(dialogs.Log(), (QStringList{
                                 "Choice: " + JpegQuestion + " [&Yes|&No]",
                                 "Message: " + Confirmation(".jpg"),
                                 "Message: " + Confirmation(".jpeg"),
                                 "Message: " + Confirmation(".jpe"),
                                 "Choice: " + BmpQuestion + " [&Yes|&No]",
                                 "Choice: " + GifQuestion + " [&Yes|&No]",
                                 "Choice: " + PngQuestion + " [&Yes|&No]",
                             }));
    const QString mimeApps = ReadAll(MimeAppsFileName());
    EXPECT_TRUE(mimeApps.contains("image/jpeg=kelvoimage-portable.desktop"))
        << mimeApps.toStdString();
    EXPECT_FALSE(mimeApps.contains("image/png")) << mimeApps.toStdString();
    EXPECT_TRUE(ReadAll(DesktopEntryFileName()).contains("Exec=")) << "no entry of its own";
}

TEST(OfferFileTypes, YesToEveryKindConfirmsEachExtensionAfterItsQuestion) {
    XdgHome home;
    ScriptedDialogs dialogs;
    for (int i = 0; i < 4; ++i)
        dialogs.AnswerYes();
    EXPECT_TRUE(RunCommand([] { OfferFileTypes(ProgramPath); }));
    EXPECT_EQ(dialogs.Log(), (QStringList{
                                 "Choice: " + JpegQuestion + " [&Yes|&No]",
                                 "Message: " + Confirmation(".jpg"),
                                 "Message: " + Confirmation(".jpeg"),
                                 "Message: " + Confirmation(".jpe"),
                                 "Choice: " + BmpQuestion + " [&Yes|&No]",
                                 "Message: " + Confirmation(".bmp"),
                                 "Choice: " + GifQuestion + " [&Yes|&No]",
                                 "Message: " + Confirmation(".gif"),
                                 "Choice: " + PngQuestion + " [&Yes|&No]",
                                 "Message: " + Confirmation(".png"),
                             }));
    const QString mimeApps = ReadAll(MimeAppsFileName());
    for (const char* type : {"image/jpeg", "image/bmp", "image/gif", "image/png"})
        EXPECT_TRUE(mimeApps.contains(QString(type) + "=kelvoimage-portable.desktop")) << type;
}

TEST(OfferFileTypes, AFailedAssociationEndsTheWholeFlow) {
    XdgHome home;
    // A plain file where the data folder should be: the desktop entry cannot be created.
    ASSERT_TRUE(QDir(home.DataFolder()).removeRecursively());
    {
        QFile blocker(home.DataFolder());
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    ScriptedDialogs dialogs;
    dialogs.AnswerNo();
    dialogs.AnswerYes();  // BMP: fails; GIF and PNG are not asked
    EXPECT_FALSE(RunCommand([] { OfferFileTypes(ProgramPath); }));
    EXPECT_EQ(dialogs.Prompts(), (QStringList{JpegQuestion, BmpQuestion}));
    EXPECT_TRUE(dialogs.Messages().isEmpty());
    ASSERT_EQ(dialogs.Errors().size(), 1);
    EXPECT_TRUE(dialogs.Errors()[0].startsWith("Failed to create key "))
        << dialogs.Errors()[0].toStdString();
}

TEST(OfferFileTypes, TheProgramIsNamedByItsFolderAndFixedName) {
    EXPECT_EQ(RegistrationProgramPath("/opt/Kelvo Image/"), "/opt/Kelvo Image/kelvoimage");
}
