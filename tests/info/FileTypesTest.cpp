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

TEST_F(FileTypesTest, JpegWritesTheEntryAndTheDefaultsOfItsThreeExtensions) {
    EXPECT_EQ(DesktopEntryFileName(), FDataHome + "/applications/kelvoimage.desktop");
    EXPECT_EQ(MimeAppsFileName(), FConfigHome + "/mimeapps.list");
    RegisterKind(0, "/opt/kelvo/kelvoimage");
    EXPECT_EQ(EntryValue("Type"), "Application");
    EXPECT_EQ(EntryValue("Name"), "KelvoImage");
    EXPECT_EQ(EntryValue("Comment"), "JPEG Image");
    EXPECT_EQ(EntryValue("MimeType"), "image/jpeg;");
    EXPECT_EQ(ParseExec(EntryValue("Exec")), QStringList({"/opt/kelvo/kelvoimage", "%f"}));
    EXPECT_EQ(ReadAll(MimeAppsFileName()),
              "[Default Applications]\nimage/jpeg=kelvoimage.desktop;\n");

    // A second kind adds to the entry; registering again changes nothing.
    RegisterKind(3, "/opt/kelvo/kelvoimage");
    const QByteArray once = ReadAll(DesktopEntryFileName());
    RegisterKind(3, "/opt/kelvo/kelvoimage");
    EXPECT_EQ(ReadAll(DesktopEntryFileName()), once);
    EXPECT_EQ(EntryValue("MimeType"), "image/jpeg;image/png;");
    EXPECT_EQ(EntryValue("Comment"), "JPEG Image, PNG Image");
    EXPECT_EQ(ReadAll(MimeAppsFileName()),
              "[Default Applications]\nimage/jpeg=kelvoimage.desktop;\n"
              "image/png=kelvoimage.desktop;\n");
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
                     "image/jpeg=kelvoimage.desktop;eog.desktop;gimp.desktop;\n");
    expected.replace("image/gif=other.desktop\n",
                     "image/gif=other.desktop\nimage/bmp=kelvoimage.desktop;\n");
    EXPECT_EQ(ReadAll(MimeAppsFileName()), expected);
}

TEST_F(FileTypesTest, XdgMimeNamesOurEntryAsDefault) {
    const QString xdgMime = QStandardPaths::findExecutable("xdg-mime");
    if (xdgMime.isEmpty()) GTEST_SKIP() << "xdg-mime (xdg-utils) is not installed";
    RegisterKind(0, "/opt/kelvo/kelvoimage");
    RegisterKind(2, "/opt/kelvo/kelvoimage");
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
                  "kelvoimage.desktop")
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
        {Denied::Applications, "Failed to create key %1/applications/kelvoimage.desktop", false},
        {Denied::DesktopEntry, "Failed to set data for '%1/applications/kelvoimage.desktop'",
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
