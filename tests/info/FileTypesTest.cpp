#include "info/FileTypes.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <functional>
#include <optional>

#include "base/IniFile.h"
#include "base/KelvoError.h"
#include "support/ScopedEnv.h"
#include "support/TestFiles.h"

namespace {

using test_files::ReadAll;
using test_files::RunUnprivileged;
using test_files::WriteAll;
// Runs the body in a child process without root's power to ignore file permissions and returns
// its exit status; nothing when no unprivileged identity can be taken.
// The Exec value read back by the Desktop Entry rules, written independently of the code under
// test: string escapes first, then the argument quoting, then "%%".
QStringList ParseExec(const QString& value) {
    QString unescaped;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == QLatin1Char('\\') && i + 1 < value.size()) {
            const QChar next = value[++i];
            if (next == QLatin1Char('s'))
                unescaped += QLatin1Char(' ');
            else if (next == QLatin1Char('n'))
                unescaped += QLatin1Char('\n');
            else if (next == QLatin1Char('t'))
                unescaped += QLatin1Char('\t');
            else if (next == QLatin1Char('r'))
                unescaped += QLatin1Char('\r');
            else if (next == QLatin1Char('\\'))
                unescaped += QLatin1Char('\\');
            else
                return {QStringLiteral("<bad string escape>")};
        } else {
            unescaped += value[i];
        }
    }
    QStringList args;
    QString current;
    bool inArg = false;
    for (qsizetype i = 0; i < unescaped.size(); ++i) {
        const QChar c = unescaped[i];
        if (c == QLatin1Char(' ')) {
            if (inArg) args.append(current);
            current.clear();
            inArg = false;
        } else if (c == QLatin1Char('"')) {
            inArg = true;
            for (++i; i < unescaped.size() && unescaped[i] != QLatin1Char('"'); ++i) {
                if (unescaped[i] == QLatin1Char('\\')) {
                    if (i + 1 >= unescaped.size()) return {QStringLiteral("<bad quote escape>")};
                    const QChar escaped = unescaped[++i];
                    if (!QStringLiteral("\"`$\\").contains(escaped))
                        return {QStringLiteral("<bad quote escape>")};
                    current += escaped;
                } else if (QStringLiteral("\"`$").contains(unescaped[i])) {
                    return {QStringLiteral("<unescaped reserved character>")};
                } else {
                    current += unescaped[i];
                }
            }
            if (i >= unescaped.size()) return {QStringLiteral("<unterminated quote>")};
        } else {
            inArg = true;
            current += c;
        }
    }
    if (inArg) args.append(current);
    for (QString& arg : args) {
        QString out;
        for (qsizetype i = 0; i < arg.size(); ++i) {
            if (arg[i] == QLatin1Char('%') && i + 1 < arg.size() && arg[i + 1] == QLatin1Char('%'))
                ++i;
            else if (arg[i] == QLatin1Char('%') && arg != QLatin1String("%f"))
                return {QStringLiteral("<stray percent>")};
            out += arg[i];
        }
        arg = out;
    }
    return args;
}

QString EntryValue(const QString& key) {
    // The desktop entry is read line by line here, not through the settings-file code.
    const QList<QByteArray> lines = ReadAll(DesktopEntryFileName()).split('\n');
    for (const QByteArray& line : lines)
        if (line.startsWith(key.toUtf8() + '=')) return QString::fromUtf8(line.mid(key.size() + 1));
    return QStringLiteral("<missing>");
}

class FileTypesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(FHome.isValid());
        FDataHome = FHome.filePath(QStringLiteral("data"));
        FConfigHome = FHome.filePath(QStringLiteral("config"));
        FDataEnv.emplace("XDG_DATA_HOME", FDataHome.toUtf8());
        FConfigEnv.emplace("XDG_CONFIG_HOME", FConfigHome.toUtf8());
    }
    // Put back in TearDown, so that a test that points the variables elsewhere on its own is
    // undone as well.
    void TearDown() override {
        FConfigEnv.reset();
        FDataEnv.reset();
    }
    std::optional<TScopedEnv> FDataEnv;
    std::optional<TScopedEnv> FConfigEnv;
    QTemporaryDir FHome;
    QString FDataHome;
    QString FConfigHome;
};

void RegisterKind(int index, const QString& program) {
    const TFileTypeKind& kind = FileTypeKinds().at(index);
    for (const QString& extension : kind.Extensions)
        AssociateExtension(extension, kind.FileTypeName, kind.Description, program);
}

TEST(FileTypeKinds, TableMatchesTheQuestionsAsked) {
    const QList<TFileTypeKind>& kinds = FileTypeKinds();
    ASSERT_EQ(kinds.size(), 4);
    const struct {
        const char* question;
        QStringList extensions;
        const char* name;
        const char* mimeType;
    } expected[] = {
        {"Do you wish to use this program to Open all JPG files?",
         {".jpg", ".jpeg", ".jpe"},
         "JPEG Image",
         "image/jpeg"},
        {"Do you wish to use this program to Open all BMP files?",
         {".bmp"},
         "BMP Image",
         "image/bmp"},
        {"Do you wish to use this program to Open all GIF files?",
         {".gif"},
         "GIF Image",
         "image/gif"},
        {"Do you wish to use this program to Open all PNG files?",
         {".png"},
         "PNG Image",
         "image/png"},
    };
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(kinds[i].Question, expected[i].question);
        EXPECT_EQ(kinds[i].Extensions, expected[i].extensions);
        EXPECT_EQ(kinds[i].FileTypeName, expected[i].name);
        EXPECT_EQ(kinds[i].Description, expected[i].name);
        for (const QString& extension : kinds[i].Extensions)
            EXPECT_EQ(MimeTypeForExtension(extension), expected[i].mimeType)
                << extension.toStdString();
    }
    EXPECT_EQ(MimeTypeForExtension(".JPG"), "image/jpeg");
    EXPECT_EQ(AssociationConfirmation(".jpg", "/opt/kelvo/kelvoimage"),
              "File-Type .jpg associated with\r\n/opt/kelvo/kelvoimage\r\n");
}

// The installed entry as the build ships it.
QByteArray InstalledEntry() {
    return ReadAll(QStringLiteral(KELVO_DATA_DIR "/org.kelvoimage.viewer.desktop"));
}

QString DesktopFileValidate() {
    return QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
}

TEST_F(FileTypesTest, ACopyNotInstalledWritesTheInstalledEntryWithItsOwnPaths) {
    EXPECT_EQ(DesktopEntryFileName(), FDataHome + "/applications/kelvoimage-portable.desktop");
    EXPECT_EQ(MimeAppsFileName(), FConfigHome + "/mimeapps.list");
    const QString program = "/opt/kelvo/kelvoimage";
    RegisterKind(0, program);
    EXPECT_EQ(ParseExec(EntryValue("Exec")), QStringList({program, "%f"}));
    EXPECT_EQ(EntryValue("TryExec"), program);
    EXPECT_EQ(EntryValue("Icon"), "org.kelvoimage.viewer") << "no icon file beside the program";
    // Every other line as installed, in the installed order.
    QList<QByteArray> expected = InstalledEntry().split('\n');
    QList<QByteArray> written = ReadAll(DesktopEntryFileName()).split('\n');
    const auto withoutPaths = [](QList<QByteArray>& lines) {
        lines.removeIf([](const QByteArray& line) {
            return line.startsWith("Exec=") || line.startsWith("TryExec=") ||
                   line.startsWith("Icon=");
        });
    };
    withoutPaths(expected);
    withoutPaths(written);
    EXPECT_EQ(written, expected);
    EXPECT_EQ(EntryValue("Version"), "1.0");
    EXPECT_EQ(ReadAll(MimeAppsFileName()),
              "[Default Applications]\nimage/jpeg=kelvoimage-portable.desktop;\n");

    // A second kind only adds its default; the entry, naming every type, stays as it was.
    const QByteArray once = ReadAll(DesktopEntryFileName());
    RegisterKind(3, program);
    EXPECT_EQ(ReadAll(DesktopEntryFileName()), once);
    EXPECT_EQ(ReadAll(MimeAppsFileName()),
              "[Default Applications]\nimage/jpeg=kelvoimage-portable.desktop;\n"
              "image/png=kelvoimage-portable.desktop;\n");
}

TEST_F(FileTypesTest, TheEntryOfACopyInAnAwkwardFolderValidatesAndNamesItsIcon) {
    QTemporaryDir programs;
    const QString folder = programs.filePath("My \"Kelvo\" $copy 100%");
    ASSERT_TRUE(QDir().mkpath(folder));
    WriteAll(folder + "/org.kelvoimage.viewer.svg", "<svg/>");
    const QString program = folder + "/kelvoimage";
    AssociateExtension(".png", "PNG Image", "PNG Image", program);
    EXPECT_EQ(ParseExec(EntryValue("Exec")), QStringList({program, "%f"}));
    EXPECT_EQ(EntryValue("Icon"), folder + "/org.kelvoimage.viewer.svg");
    if (DesktopFileValidate().isEmpty()) GTEST_SKIP() << "desktop-file-validate is not installed";
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(DesktopFileValidate(), {DesktopEntryFileName()});
    ASSERT_TRUE(validate.waitForFinished(-1));
    const QByteArray said = validate.readAll();
    EXPECT_EQ(validate.exitCode(), 0) << said.toStdString();
    EXPECT_TRUE(said.isEmpty()) << "hints count too: " << said.toStdString();
}

// An installed program: <prefix>/bin/kelvoimage beside <prefix>/share/applications/.
class InstalledFileTypesTest : public FileTypesTest {
  protected:
    void SetUp() override {
        FileTypesTest::SetUp();
        ASSERT_TRUE(FPrefix.isValid());
        ASSERT_TRUE(QDir().mkpath(FPrefix.filePath("bin")));
        ASSERT_TRUE(QDir().mkpath(FPrefix.filePath("share/applications")));
        WriteAll(Entry(), InstalledEntry());
    }
    QString Program() const { return FPrefix.filePath("bin/kelvoimage"); }
    QString Entry() const { return FPrefix.filePath("share/applications/org.kelvoimage.viewer.desktop"); }
    QTemporaryDir FPrefix;
};

TEST_F(InstalledFileTypesTest, TheInstalledEntryIsFoundFromTheProgramsFolderOnly) {
    EXPECT_EQ(InstalledDesktopEntryFor(Program()), Entry());
    EXPECT_EQ(InstalledDesktopEntryFor(FPrefix.filePath("lib/kelvo/kelvoimage")), QString());
    EXPECT_EQ(InstalledDesktopEntryFor("/opt/kelvo/kelvoimage"), QString());
}

TEST_F(InstalledFileTypesTest, XdgMimeMakesTheInstalledEntryTheDefaultAndNothingIsWritten) {
    if (QStandardPaths::findExecutable("xdg-mime").isEmpty())
        GTEST_SKIP() << "xdg-mime (xdg-utils) is not installed";
    RegisterKind(0, Program());
    RegisterKind(2, Program());
    EXPECT_EQ(ReadAll(Entry()), InstalledEntry());
    EXPECT_FALSE(QFileInfo::exists(FDataHome)) << "no entry of its own";
    const QByteArray mimeApps = ReadAll(MimeAppsFileName());
    for (const char* line : {"image/jpeg=org.kelvoimage.viewer.desktop",
                             "image/gif=org.kelvoimage.viewer.desktop"})
        EXPECT_TRUE(mimeApps.contains(line)) << mimeApps.toStdString();
}

TEST_F(InstalledFileTypesTest, WithoutXdgMimeTheCommandEndsWithAMessage) {
    QTemporaryDir emptyPath;
    const TScopedEnv path("PATH", emptyPath.path().toUtf8());
    try {
        RegisterKind(0, Program());
        ADD_FAILURE() << "no error";
    } catch (const KelvoError& e) {
        EXPECT_EQ(e.Message(),
                  "Cannot make org.kelvoimage.viewer.desktop the default for image/jpeg: "
                  "xdg-mime (from xdg-utils) is not installed");
    }
    EXPECT_FALSE(QFileInfo::exists(MimeAppsFileName()));
    EXPECT_EQ(ReadAll(Entry()), InstalledEntry());
}

TEST_F(FileTypesTest, ExecLineSurvivesAwkwardFolderNames) {
    const QString programs[] = {
        "/opt/My Programs/kelvoimage",     "/home/a\"b/kelvoimage",
        "/home/$HOME/`id`/kelvoimage",     "/odd\\dir/100%/%f/kelvoimage",
        "/tab\there/new\nline/kelvoimage", "/it's;a|b&c<d>e(f)*?#~/kelvoimage",
    };
    for (const QString& program : programs) {
        EXPECT_EQ(ParseExec(DesktopExecLine(program)), QStringList({program, "%f"}))
            << DesktopExecLine(program).toStdString();
        AssociateExtension(".gif", "GIF Image", "GIF Image", program);
        EXPECT_EQ(ParseExec(EntryValue("Exec")), QStringList({program, "%f"}))
            << EntryValue("Exec").toStdString();
    }
    EXPECT_EQ(DesktopExecLine("/a\\b/k"), "\"/a\\\\\\\\b/k\" %f");
    // Quotes only where needed: xdg-mime's check of a default takes the first word literally.
    EXPECT_EQ(DesktopExecLine("/opt/kelvo-0.1/bin/kelvoimage"), "/opt/kelvo-0.1/bin/kelvoimage %f");
}

TEST_F(FileTypesTest, ExistingMimeAppsListKeepsItsOtherLines) {
    ASSERT_TRUE(QDir().mkpath(FConfigHome));
    const QByteArray before =
        "# mine\n"
        "[Added Associations]\n"
        "image/jpeg=gimp.desktop;\n"
        "\n"
        "[Default Applications]\n"
        "text/plain=vim.desktop;\n"
        "image/jpeg=eog.desktop;gimp.desktop;\n"
        "image/gif=other.desktop\n"
        "\n"
        "[Removed Associations]\n"
        "image/png=foo.desktop;\n";
    WriteAll(MimeAppsFileName(), before);
    RegisterKind(0, "/opt/kelvo/kelvoimage");
    RegisterKind(1, "/opt/kelvo/kelvoimage");
    QByteArray expected = before;
    expected.replace("image/jpeg=eog.desktop;gimp.desktop;\n",
                     "image/jpeg=kelvoimage-portable.desktop;eog.desktop;gimp.desktop;\n");
    expected.replace("image/gif=other.desktop\n",
                     "image/gif=other.desktop\nimage/bmp=kelvoimage-portable.desktop;\n");
    EXPECT_EQ(ReadAll(MimeAppsFileName()), expected);
}

TEST_F(FileTypesTest, XdgMimeNamesOurEntryAsDefault) {
    const QString xdgMime = QStandardPaths::findExecutable("xdg-mime");
    if (xdgMime.isEmpty()) GTEST_SKIP() << "xdg-mime (xdg-utils) is not installed";
    // The entry's TryExec must name a program that is there, or the desktop passes it over.
    const QString program = FHome.filePath("bin/kelvoimage");
    ASSERT_TRUE(QDir().mkpath(FHome.filePath("bin")));
    WriteAll(program, "#!/bin/sh\n");
    ASSERT_TRUE(QFile::setPermissions(program, QFile::Permissions(0x7755)));
    RegisterKind(0, program);
    RegisterKind(2, program);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", FDataHome);
    environment.insert("XDG_CONFIG_HOME", FConfigHome);
    environment.insert("HOME", FHome.path());
    environment.remove("XDG_CURRENT_DESKTOP");
    environment.remove("DESKTOP_SESSION");
    environment.remove("KDE_FULL_SESSION");
    environment.remove("GNOME_DESKTOP_SESSION_ID");
    for (const char* mimeType : {"image/jpeg", "image/gif"}) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(xdgMime, {"query", "default", mimeType});
        ASSERT_TRUE(process.waitForFinished(-1));
        EXPECT_EQ(QString::fromUtf8(process.readAllStandardOutput()).trimmed(),
                  "kelvoimage-portable.desktop")
            << mimeType << ": " << process.readAllStandardError().toStdString();
    }
}

TEST_F(FileTypesTest, UnwritableFoldersAndFilesEndTheCommandWithTheirMessage) {
    enum class Denied { DataHome, Applications, DesktopEntry, ConfigHome, MimeApps };
    const struct {
        Denied denied;
        const char* message;  // with %1 for the data home and %2 for the config home
        bool entryWritten;
    } cases[] = {
        {Denied::DataHome, "Failed to create key %1/applications", false},
        {Denied::Applications, "Failed to create key %1/applications/kelvoimage-portable.desktop", false},
        {Denied::DesktopEntry, "Failed to set data for '%1/applications/kelvoimage-portable.desktop'",
         false},
        {Denied::ConfigHome, "Failed to create key %2/mimeapps.list", true},
        {Denied::MimeApps, "Failed to set data for '%2/mimeapps.list'", true},
    };
    const auto open = QFile::Permissions(0x7777);
    const auto readOnlyFolder = QFile::Permissions(0x5555);
    const auto readOnlyFile = QFile::Permissions(0x4444);
    for (const auto& c : cases) {
        QTemporaryDir home;
        ASSERT_TRUE(home.isValid());
        const QString dataHome = home.filePath("data");
        const QString configHome = home.filePath("config");
        const QString applications = dataHome + "/applications";
        qputenv("XDG_DATA_HOME", dataHome.toUtf8());
        qputenv("XDG_CONFIG_HOME", configHome.toUtf8());
        ASSERT_TRUE(QDir().mkpath(applications));
        ASSERT_TRUE(QDir().mkpath(configHome));
        for (const QString& folder : {home.path(), dataHome, applications, configHome})
            QFile::setPermissions(folder, open);
        QByteArray entryBefore;
        QByteArray listBefore;
        switch (c.denied) {
            case Denied::DataHome:
                ASSERT_TRUE(QDir(dataHome).removeRecursively());
                QFile::setPermissions(home.path(), readOnlyFolder);
                break;
            case Denied::Applications:
                QFile::setPermissions(applications, readOnlyFolder);
                break;
            case Denied::DesktopEntry:
                entryBefore = "[Desktop Entry]\nName=Old\n";
                WriteAll(DesktopEntryFileName(), entryBefore);
                QFile::setPermissions(DesktopEntryFileName(), readOnlyFile);
                break;
            case Denied::ConfigHome:
                QFile::setPermissions(configHome, readOnlyFolder);
                break;
            case Denied::MimeApps:
                listBefore = "[Default Applications]\nimage/jpeg=eog.desktop;\n";
                WriteAll(MimeAppsFileName(), listBefore);
                QFile::setPermissions(MimeAppsFileName(), readOnlyFile);
                break;
        }
        const QString expected = QString::fromLatin1(c.message)
                                     .replace(QLatin1String("%1"), dataHome)
                                     .replace(QLatin1String("%2"), configHome);
        const std::optional<int> status = RunUnprivileged([&] {
            try {
                AssociateExtension(".jpg", "JPEG Image", "JPEG Image", "/opt/kelvo/kelvoimage");
            } catch (const KelvoError& e) {
                return e.Message() == expected ? 0 : 2;
            }
            return 1;
        });
        for (const QString& folder : {home.path(), dataHome, applications, configHome})
            QFile::setPermissions(folder, QFile::Permissions(0x7700));
        if (!status) GTEST_SKIP() << "cannot run as an unprivileged user; permission cases skipped";
        EXPECT_EQ(*status, 0) << expected.toStdString() << " (1: no error, 2: other message)";
        if (c.denied == Denied::DesktopEntry) {
            EXPECT_EQ(ReadAll(DesktopEntryFileName()), entryBefore);
        } else {
            EXPECT_EQ(QFileInfo::exists(DesktopEntryFileName()), c.entryWritten)
                << expected.toStdString();
        }
        if (c.denied == Denied::MimeApps) {
            EXPECT_EQ(ReadAll(MimeAppsFileName()), listBefore);
        } else {
            EXPECT_FALSE(QFileInfo::exists(MimeAppsFileName()));
        }
    }
}

}  // namespace
