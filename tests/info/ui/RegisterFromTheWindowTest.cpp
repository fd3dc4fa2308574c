// "Register File Types" from the main window, answered Yes four times: run from an installed
// prefix it leaves the installed desktop entry alone and makes it the default; run from a build
// folder it writes an entry of its own that the desktop accepts.

#include <QAction>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>

#include "info/FileTypes.h"
#include "support/TestFiles.h"
#include "support/ui/MainWindowFixture.h"

namespace {

using test_files::ReadAll;
using test_files::WriteAll;

class RegisterFromTheWindow : public MainWindowFixture {
  protected:
    void RegisterEverything(const QString& exeDir) {
        MarkRegistered();
        FForm = std::make_unique<TKelvoImageForm>(exeDir, QStringList());
        FForm->CreateToolWindows();
        FForm->show();
        for (int i = 0; i < 4; ++i)
            FDialogs.AnswerYes();
        FForm->RegisterFileTypes1->trigger();
        EXPECT_EQ(FDialogs.Prompts().size(), 4);
        EXPECT_EQ(FDialogs.Messages().size(), 6) << "one confirmation per extension";
        EXPECT_TRUE(FDialogs.Errors().isEmpty()) << FDialogs.Errors().join('\n').toStdString();
    }
    QByteArray MimeApps() const { return ReadAll(PathOf("config/mimeapps.list")); }
};

TEST_F(RegisterFromTheWindow, AnInstalledProgramLeavesItsEntryAsInstalled) {
    if (QStandardPaths::findExecutable("xdg-mime").isEmpty())
        GTEST_SKIP() << "xdg-mime (xdg-utils) is not installed";
    const QString entry = PathOf("prefix/share/applications/org.kelvoimage.viewer.desktop");
    ASSERT_TRUE(QDir().mkpath(PathOf("prefix/bin")));
    ASSERT_TRUE(QDir().mkpath(PathOf("prefix/share/applications")));
    const QByteArray installed = ReadAll(KELVO_DATA_DIR "/org.kelvoimage.viewer.desktop");
    WriteAll(entry, installed);

    RegisterEverything(PathOf("prefix/bin/"));
    EXPECT_EQ(ReadAll(entry), installed);
    EXPECT_FALSE(QFileInfo::exists(PathOf("data"))) << "an entry of its own was written";
    EXPECT_TRUE(QDir(PathOf("prefix/bin")).isEmpty()) << "nothing beside the program";
    for (const char* type : {"image/jpeg", "image/bmp", "image/gif", "image/png"})
        EXPECT_TRUE(MimeApps().contains(QByteArray(type) + "=org.kelvoimage.viewer.desktop"))
            << type << "\n" << MimeApps().toStdString();
}

TEST_F(RegisterFromTheWindow, ABuildFolderCopyWritesAValidEntryOfItsOwn) {
    RegisterEverything(ExeDir());
    const QString entry = PathOf("data/applications/kelvoimage-portable.desktop");
    ASSERT_TRUE(QFileInfo::exists(entry));
    EXPECT_TRUE(MimeApps().contains("image/jpeg=kelvoimage-portable.desktop;"))
        << MimeApps().toStdString();
    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (validator.isEmpty()) GTEST_SKIP() << "desktop-file-validate is not installed";
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(validator, {entry});
    ASSERT_TRUE(validate.waitForFinished(-1));
    const QByteArray said = validate.readAll();
    EXPECT_EQ(validate.exitCode(), 0) << said.toStdString();
    EXPECT_TRUE(said.isEmpty()) << said.toStdString() << ReadAll(entry).toStdString();
}

}  // namespace
