#include "base/IniFile.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <functional>
#include <optional>

#include "base/KelvoError.h"
#include "base/KelvoUtils.h"
#include "support/ScopedEnv.h"
#include "support/TestFiles.h"

namespace {

using test_files::ReadAll;
using test_files::RunUnprivileged;
using test_files::WriteAll;

class IniFileTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(FDir.isValid()); }
    QString Path(const QString& name = QStringLiteral("KelvoImage.Ini")) const {
        return FDir.filePath(name);
    }
    QTemporaryDir FDir;
};

TEST_F(IniFileTest, MissingFileGivesEveryDefaultAndCreatesNothing) {
    const TIniFile ini(Path());
    EXPECT_EQ(ini.ReadString("JPEG", "Quality", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadInteger("JPEG", "Quality", 95), 95);
    EXPECT_EQ(ini.ReadFloat("ColorCast", "Red", 0.25), 0.25);
    EXPECT_TRUE(ReadYesNo(ini, "Pelly", "Tools", true));
    EXPECT_FALSE(ReadYesNo(ini, "Pelly", "Tools", false));
    EXPECT_FALSE(QFileInfo::exists(Path()));
}

TEST_F(IniFileTest, FlagsAreCaseSensitiveButNamesAreNot) {
    WriteAll(Path(), "[confirmations]\nDelete=y\nSave=Y\n[PELLY]\nTools=yes\n[hsr]\nBars=Yes\n");
    const TIniFile ini(Path());
    EXPECT_EQ(ini.ReadString("Confirmations", "Delete", "Y"), "y");
    EXPECT_NE(ini.ReadString("Confirmations", "Delete", "Y"), "Y");
    EXPECT_EQ(ini.ReadString("CONFIRMATIONS", "save", "N"), "Y");
    EXPECT_FALSE(ReadYesNo(ini, "Pelly", "Tools", true));
    EXPECT_TRUE(ReadYesNo(ini, "HSR", "BARS", false));
}

TEST_F(IniFileTest, IntegerForms) {
    struct Case {
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {"0x20", 32},
        {"0X20", 32},
        {"$20", 32},
        {"$ff", 255},
        {"-12", -12},
        {"+7", 7},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<int>::min()},
        {"abc", 24},
        {"2147483648", 24},
        {"-2147483649", 24},
        {"0x", 24},
        {"$", 24},
        {"0x80000000", 24},
        {"12abc", 24},
        {"1.5", 24},
        {"", 24},
        {"0xg1", 24},
        {"-", 24},
    };
    for (const Case& c : cases) {
        WriteAll(Path(), QByteArray("[Pan]\nSpeed=") + c.text + "\n");
        EXPECT_EQ(TIniFile(Path()).ReadInteger("Pan", "Speed", 24), c.expected) << c.text;
    }
}

TEST_F(IniFileTest, FloatsReadAndRoundTrip) {
    WriteAll(Path(), "[ColorCast]\nRed=\nGreen=abc\nBlue=0.75\nX=nan\nY=inf\n");
    const TIniFile ini(Path());
    EXPECT_EQ(ini.ReadFloat("ColorCast", "Red", 0), 0.0);
    EXPECT_EQ(ini.ReadFloat("ColorCast", "Green", 2), 2.0);
    EXPECT_EQ(ini.ReadFloat("ColorCast", "Blue", 0), 0.75);
    EXPECT_EQ(ini.ReadFloat("ColorCast", "X", 3), 3.0);
    EXPECT_EQ(ini.ReadFloat("ColorCast", "Y", 3), 3.0);

    TIniFile out(Path(QStringLiteral("out.ini")));
    const double values[] = {1.5, 0.75, -2.25, 0.1 + 0.2, 12345678.5, 1e-7, 0.0};
    for (double v : values) {
        out.WriteFloat("ColorCast", "Red", v);
        EXPECT_DOUBLE_EQ(out.ReadFloat("ColorCast", "Red", 99), v) << v;
    }
    out.WriteFloat("ColorCast", "Red", 1.5);
    EXPECT_EQ(out.ReadString("ColorCast", "Red", ""), "1.5");
    out.WriteFloat("ColorCast", "Red", 0.1 + 0.2);
    EXPECT_EQ(out.ReadString("ColorCast", "Red", ""), "0.3");
    // Fifteen significant digits, no more: a third does not come back bit for bit.
    out.WriteFloat("ColorCast", "Red", 1.0 / 3.0);
    EXPECT_EQ(out.ReadString("ColorCast", "Red", ""), "0.333333333333333");
    out.WriteFloat("ColorCast", "Red", 12345678.5);
    EXPECT_EQ(out.ReadString("ColorCast", "Red", ""), "12345678.5");
}

TEST_F(IniFileTest, FloatsUseTheUsersDecimalSeparator) {
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    TIniFile ini(Path());
    ini.WriteFloat("ColorCast", "Red", 1.5);
    ini.WriteFloat("ColorCast", "Green", 1234.5);
    const QString red = ini.ReadString("ColorCast", "Red", "");
    const QString green = ini.ReadString("ColorCast", "Green", "");
    const double redBack = ini.ReadFloat("ColorCast", "Red", 0);
    QLocale::setDefault(previous);
    EXPECT_EQ(red, "1,5");
    EXPECT_EQ(green, "1234,5");
    EXPECT_EQ(redBack, 1.5);
}

TEST_F(IniFileTest, WriteInTheMiddleKeepsEveryOtherByte) {
    const QByteArray before =
        "; hand written\r\n"
        "\r\n"
        "[JPEG]\r\n"
        "  quality = 80   \r\n"
        "Unknown=keep me\r\n"
        "\r\n"
        "[Pan]\r\n"
        "Speed=24\r\n"
        "\r\n"
        "[Other]\r\n"
        "Quality=1\r\n"
        "last line without ending";
    WriteAll(Path(), before);
    TIniFile ini(Path());
    ini.WriteInteger("jpeg", "QUALITY", 90);
    QByteArray expected = before;
    expected.replace("  quality = 80   \r\n", "  quality = 90\r\n");
    EXPECT_EQ(ReadAll(Path()), expected);
    EXPECT_EQ(ini.ReadInteger("JPEG", "Quality", 0), 90);
    EXPECT_EQ(ini.ReadInteger("Other", "Quality", 0), 1);
}

TEST_F(IniFileTest, NewKeysAndSectionsAreAddedWithTheFilesLineEnding) {
    WriteAll(Path(), "[A]\r\nx=1\r\n\r\n[B]\r\ny=2");
    TIniFile ini(Path());
    ini.WriteString("a", "z", "3");
    ini.WriteString("B", "w", "4");
    ini.WriteString("C", "v", "5");
    EXPECT_EQ(ReadAll(Path()), "[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=2\r\nw=4\r\n[C]\r\nv=5\r\n");

    TIniFile fresh(Path(QStringLiteral("new.ini")));
    WriteYesNo(fresh, "HSR", "Bars", true);
    WriteYesNo(fresh, "HSR", "Mask", false);
    EXPECT_EQ(ReadAll(fresh.FileName()), "[HSR]\nBars=Yes\nMask=No\n");
    EXPECT_TRUE(ReadYesNo(fresh, "HSR", "Bars", false));
    EXPECT_FALSE(ReadYesNo(fresh, "HSR", "Mask", true));
}

TEST_F(IniFileTest, FirstSectionAndFirstKeyWinAndKeysOutsideSectionsAreIgnored) {
    WriteAll(Path(), "Speed=1\n[Pan]\nSpeed=2\nSpeed=3\n[pan]\nSpeed=4\n");
    TIniFile ini(Path());
    EXPECT_EQ(ini.ReadInteger("Pan", "Speed", 0), 2);
    ini.WriteInteger("Pan", "Speed", 5);
    EXPECT_EQ(ReadAll(Path()), "Speed=1\n[Pan]\nSpeed=5\nSpeed=3\n[pan]\nSpeed=4\n");
}

TEST_F(IniFileTest, BlanksAroundNamesAndValuesAreIgnoredOnRead) {
    WriteAll(Path(), "  [ HSR ]  \n\t Offset \t=  1.5 \t\nEmpty=\n");
    const TIniFile ini(Path());
    EXPECT_EQ(ini.ReadString("HSR", "Offset", "x"), "1.5");
    // Present but empty is not absent: the stored empty text is returned.
    EXPECT_EQ(ini.ReadString("HSR", "Empty", "x"), "");
}

TEST_F(IniFileTest, ReadsAreLimitedTo2047Characters) {
    const QByteArray exact(2047, 'a');
    const QByteArray longer = QByteArray(2047, 'b') + "cdef";
    WriteAll(Path(), "[S]\nexact=" + exact + "\nlonger=" + longer + "\n");
    const TIniFile ini(Path());
    EXPECT_EQ(ini.ReadString("S", "exact", ""), QString::fromLatin1(exact));
    EXPECT_EQ(ini.ReadString("S", "longer", ""), QString(2047, QLatin1Char('b')));
}

TEST_F(IniFileTest, TextIsUtf8AndRoundTrips) {
    TIniFile ini(Path());
    const QString path = QString::fromUtf8("/home/jürgen/Bilder/größe €.jpg");
    ini.WriteString("HSR", "Image", path);
    EXPECT_EQ(ini.ReadString("HSR", "Image", ""), path);
    EXPECT_EQ(ReadAll(Path()), "[HSR]\nImage=" + path.toUtf8() + "\n");
}

TEST_F(IniFileTest, LineBreaksCannotInjectLines) {
    WriteAll(Path(), "[HSR]\nImage=a.jpg\n");
    TIniFile ini(Path());
    const struct {
        const char* section;
        const char* key;
        const char* value;
    } cases[] = {
        {"HSR", "Image", "x.jpg\n[Pan]\nSpeed=0"},
        {"HSR", "Image", "x.jpg\rSpeed=0"},
        {"HSR\n[Pan]", "Speed", "0"},
        {"HSR", "Image\nSpeed", "0"},
        {"Pan]x", "Speed", "0"},
        {"HSR", "Im=age", "0"},
    };
    for (const auto& c : cases) {
        try {
            ini.WriteString(c.section, c.key, c.value);
            ADD_FAILURE() << "accepted " << c.section << "/" << c.key << "/" << c.value;
        } catch (const KelvoError& e) {
            EXPECT_EQ(e.Message(), "Unable to write to " + QFileInfo(Path()).absoluteFilePath());
        }
        EXPECT_EQ(ReadAll(Path()), "[HSR]\nImage=a.jpg\n");
    }
}

TEST_F(IniFileTest, ByteOrderMarkIsSkippedAndKept) {
    WriteAll(Path(), "\xEF\xBB\xBF[JPEG]\nQuality=70\n");
    TIniFile ini(Path());
    EXPECT_EQ(ini.ReadInteger("JPEG", "Quality", 0), 70);
    ini.WriteInteger("JPEG", "Quality", 71);
    EXPECT_EQ(ReadAll(Path()), "\xEF\xBB\xBF[JPEG]\nQuality=71\n");
}

TEST_F(IniFileTest, SymlinkedFileIsWrittenThroughAndStaysALink) {
    const QString target = Path(QStringLiteral("real.ini"));
    WriteAll(target, "[Pan]\nSpeed=1\n");
    ASSERT_TRUE(QFile::link(target, Path()));
    TIniFile ini(Path());
    ini.WriteInteger("Pan", "Speed", 9);
    EXPECT_TRUE(QFileInfo(Path()).isSymLink());
    EXPECT_EQ(ReadAll(target), "[Pan]\nSpeed=9\n");

    // A dangling link creates its target.
    const QString missing = Path(QStringLiteral("missing.ini"));
    const QString link = Path(QStringLiteral("dangling.ini"));
    ASSERT_TRUE(QFile::link(missing, link));
    TIniFile(link).WriteInteger("Pan", "Speed", 3);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(ReadAll(missing), "[Pan]\nSpeed=3\n");

    // Each relative link of a chain leading nowhere is read from its own folder.
    ASSERT_TRUE(QDir(FDir.path()).mkpath(QStringLiteral("conf")));
    ASSERT_TRUE(QDir(FDir.path()).mkpath(QStringLiteral("real")));
    ASSERT_TRUE(
        QFile::link(QStringLiteral("../real/later.ini"), Path(QStringLiteral("conf/middle.ini"))));
    ASSERT_TRUE(
        QFile::link(QStringLiteral("conf/middle.ini"), Path(QStringLiteral("chained.ini"))));
    TIniFile(Path(QStringLiteral("chained.ini"))).WriteInteger("Pan", "Speed", 4);
    EXPECT_TRUE(QFileInfo(Path(QStringLiteral("chained.ini"))).isSymLink());
    EXPECT_TRUE(QFileInfo(Path(QStringLiteral("conf/middle.ini"))).isSymLink());
    EXPECT_EQ(ReadAll(Path(QStringLiteral("real/later.ini"))), "[Pan]\nSpeed=4\n");
}

TEST_F(IniFileTest, WriteKeepsTheFilesPermissions) {
    WriteAll(Path(), "[Pan]\nSpeed=1\n");
    const auto permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    ASSERT_TRUE(QFile::setPermissions(Path(), permissions));
    TIniFile(Path()).WriteInteger("Pan", "Speed", 2);
    EXPECT_EQ(QFile::permissions(Path()) & QFile::Permissions(0x7077), permissions);
}

TEST_F(IniFileTest, RefusedWritesReportTheFullNameAndKeepTheFile) {
    enum class Denied { File, FileBehindLink, Folder };
    for (const Denied denied : {Denied::File, Denied::FileBehindLink, Denied::Folder}) {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("KelvoImage.Ini"));
        const QString file =
            denied == Denied::FileBehindLink ? dir.filePath(QStringLiteral("real.ini")) : path;
        const QByteArray before = "; mine\n[Pan]\nSpeed=24\n";
        WriteAll(file, before);
        if (file != path) {
            ASSERT_TRUE(QFile::link(file, path));
        }
        if (denied != Denied::Folder) {
            QFile::setPermissions(dir.path(), QFile::Permissions(0x7777));
            QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        } else {
            QFile::setPermissions(path, QFile::Permissions(0x6666));
            QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner |
                                                  QFile::ReadOther | QFile::ExeOther |
                                                  QFile::ReadGroup | QFile::ExeGroup);
        }
        const QString expected = "Unable to write to " + QFileInfo(path).absoluteFilePath();
        const std::optional<int> status = RunUnprivileged([&] {
            try {
                TIniFile ini(path);
                ini.WriteInteger("Pan", "Speed", 48);
            } catch (const KelvoError& e) {
                return e.Message() == expected ? 0 : 2;
            }
            return 1;
        });
        QFile::setPermissions(dir.path(), QFile::Permissions(0x7700));
        if (!status) GTEST_SKIP() << "cannot run as an unprivileged user; permission case skipped";
        const char* const what[] = {"read-only file", "read-only file behind a link",
                                    "read-only folder"};
        EXPECT_EQ(*status, 0) << what[int(denied)] << " (1: no error, 2: wrong message)";
        EXPECT_EQ(ReadAll(file), before) << what[int(denied)];
        EXPECT_EQ(QFileInfo(path).isSymLink(), file != path) << what[int(denied)];
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(),
                  file != path ? 2 : 1)
            << what[int(denied)];
    }
}

// A home of the test's own, so that no case reaches into the real ~/.config.
class SettingsFileNames : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(FDir.isValid()); }
    QString In(const QString& relative) const { return FDir.filePath(relative); }
    QTemporaryDir FDir;
    TScopedEnv FHome{"HOME", FDir.filePath(QStringLiteral("home")).toUtf8()};
    TScopedEnv FConfig{"XDG_CONFIG_HOME", FDir.filePath(QStringLiteral("config")).toUtf8()};
    TScopedEnv FChosen{"KELVO_EXE_DIR", QByteArray()};
};

TEST_F(SettingsFileNames, BothFilesLiveApartInTheUsersConfigurationFolder) {
    const QString bin = In("bin/");
    ASSERT_TRUE(QDir().mkpath(bin));
    const struct {
        QByteArray configHome;
        QString folder;
    } cases[] = {
        {In("config").toUtf8(), In("config/KelvoImage")},
        {"", In("home/.config/KelvoImage")},
        {"relative/dir", In("home/.config/KelvoImage")},
    };
    for (const auto& c : cases) {
        const TScopedEnv configHome("XDG_CONFIG_HOME", c.configHome);
        EXPECT_EQ(MainSettingsFileName(bin), c.folder + "/KelvoImage.Ini") << c.configHome.data();
        EXPECT_EQ(SliderSettingsFileName(), c.folder + "/Sliders.Ini") << c.configHome.data();
        // Made on the way, so that the first write of a fresh account succeeds.
        EXPECT_TRUE(QFileInfo(c.folder).isDir()) << c.configHome.data();
    }
    EXPECT_TRUE(QDir(bin).isEmpty());
}

TEST_F(SettingsFileNames, AFileBesideTheProgramOrTheChosenFolderWins) {
    const QString bin = In("bin/");
    ASSERT_TRUE(QDir().mkpath(bin));
    const QString own = In("config/KelvoImage/KelvoImage.Ini");
    EXPECT_EQ(MainSettingsFileName(bin), own);
    // A portable copy: its file beside it, or a link there (even one leading nowhere yet).
    WriteAll(bin + "KelvoImage.Ini", "[Asked]\nRegister=1\n");
    EXPECT_EQ(MainSettingsFileName(bin), bin + "KelvoImage.Ini");
    EXPECT_NE(SliderSettingsFileName(), MainSettingsFileName(bin));
    ASSERT_TRUE(QFile::remove(bin + "KelvoImage.Ini"));
    ASSERT_TRUE(QFile::link(In("elsewhere.ini"), bin + "KelvoImage.Ini"));
    EXPECT_EQ(MainSettingsFileName(bin), bin + "KelvoImage.Ini");
    ASSERT_TRUE(QFile::remove(bin + "KelvoImage.Ini"));
    EXPECT_EQ(MainSettingsFileName(bin), own);

    const TScopedEnv chosen("KELVO_EXE_DIR", In("chosen").toUtf8());
    WriteAll(bin + "KelvoImage.Ini", "[Asked]\nRegister=1\n");
    EXPECT_EQ(MainSettingsFileName(bin), In("chosen/KelvoImage.Ini"));
}

// The places an earlier version used: the main file of an installed program and the slider
// file directly in the configuration folder. Their values come along once and stay put there.
TEST_F(SettingsFileNames, EarlierFilesAreCopiedOnceAndNeverOverwriteNewerOnes) {
    const QString bin = In("bin/");
    ASSERT_TRUE(QDir().mkpath(bin));
    ASSERT_TRUE(QDir().mkpath(In("config/kelvoimage")));
    const QByteArray oldMain = "[JPEG]\nQuality=80\n";
    const QByteArray oldSliders = "[Brightness]\nValue=40\n";
    WriteAll(In("config/kelvoimage/KelvoImage.Ini"), oldMain);
    WriteAll(In("config/KelvoImage.Ini"), oldSliders);

    EXPECT_EQ(ReadAll(MainSettingsFileName(bin)), oldMain);
    EXPECT_EQ(ReadAll(SliderSettingsFileName()), oldSliders);
    EXPECT_EQ(ReadAll(In("config/kelvoimage/KelvoImage.Ini")), oldMain);
    EXPECT_EQ(ReadAll(In("config/KelvoImage.Ini")), oldSliders);

    TIniFile(SliderSettingsFileName()).WriteInteger("Brightness", "Value", -5);
    TIniFile(MainSettingsFileName(bin)).WriteInteger("JPEG", "Quality", 70);
    EXPECT_EQ(TIniFile(SliderSettingsFileName()).ReadInteger("Brightness", "Value", 0), -5);
    EXPECT_EQ(TIniFile(MainSettingsFileName(bin)).ReadInteger("JPEG", "Quality", 0), 70);
}

}  // namespace
