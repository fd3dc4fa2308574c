// The folders' dependency rule, read from the include lines of every file under src/:
//   base <- image <- tone <- the other core folders <- the window folders (*/ui) and the
//   command line. The tone folder's pixel functions are the one pixel arithmetic every
//   correction shares, the hot-spot one included.
// A core file never reaches into a window folder, base reaches nothing outside itself, and
// product code never includes test support.

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <optional>

namespace {

struct TPlace {
    QString Folder;  // first component below src/: "base", "image", "app", "cli", ...
    bool Window;     // below <folder>/ui/
};

TPlace PlaceOf(const QString& path) {
    const QStringList parts = path.split(QLatin1Char('/'));
    return {parts.value(0), parts.size() > 2 && parts[1] == QLatin1String("ui")};
}

// Why `from` (a path below src/) may not include `target` (as written in the include line),
// or nothing when it may.
std::optional<QString> Violation(const QString& from, const QString& target) {
    const TPlace source = PlaceOf(from);
    const TPlace wanted = PlaceOf(target);
    if (!source.Window && wanted.Window)
        return QStringLiteral("core code reaches into a window folder");
    if (source.Window || source.Folder == QLatin1String("cli")) return std::nullopt;
    if (source.Folder == QLatin1String("base")) {
        if (wanted.Folder != QLatin1String("base"))
            return QStringLiteral("base depends on nothing else");
        return std::nullopt;
    }
    if (wanted.Folder == QLatin1String("base") || wanted.Folder == source.Folder)
        return std::nullopt;
    if (wanted.Folder == QLatin1String("image")) return std::nullopt;
    if (wanted.Folder == QLatin1String("tone") && source.Folder != QLatin1String("image"))
        return std::nullopt;
    return QStringLiteral("core folders use only base, image, tone and themselves");
}

TEST(DependencyRule, JudgesIncludeLines) {
    const struct {
        const char* from;
        const char* target;
        bool allowed;
    } cases[] = {
        {"image/JpegDecoder.cpp", "base/KelvoError.h", true},
        {"image/Bitmap32.cpp", "image/QuarterTurns.h", true},
        {"image/Bitmap32.cpp", "transform/QuarterTurns.h", false},
        {"image/JpegDecoder.cpp", "app/KelvoError.h", false},
        {"transform/Resample.h", "image/Bitmap32.h", true},
        {"tone/Levels.cpp", "transform/Resample.h", false},
        {"hotspot/HotSpotRemoval.cpp", "tone/PixelFunctions.h", true},
        {"image/Bitmap32.cpp", "tone/PixelFunctions.h", false},
        {"tone/ToneTables.cpp", "hotspot/HotSpotRemoval.h", false},
        {"info/FileTypes.cpp", "info/ui/FileTypeRegistration.h", false},
        {"view/FitGeometry.cpp", "app/ui/KelvoImageUnit.h", false},
        {"base/IniFile.cpp", "base/KelvoUtils.h", true},
        {"base/IniFile.cpp", "image/Bitmap32.h", false},
        {"base/IniFile.cpp", "app/ui/Dialogs.h", false},
        {"cli/main.cpp", "image/ImageLoader.h", true},
        {"cli/main.cpp", "view/ui/ImageView.h", false},
        {"view/ui/ZoomFit.cpp", "app/ui/KelvoImageUnit.h", true},
        {"app/ui/KelvoImageUnit.cpp", "hotspot/CommandLineCorrection.h", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(
            !Violation(QString::fromLatin1(c.from), QString::fromLatin1(c.target)).has_value(),
            c.allowed)
            << c.from << " -> " << c.target;
}

TEST(DependencyRule, HoldsForEverySourceFile) {
    const QDir source(QStringLiteral(KELVO_SOURCE_DIR));
    ASSERT_TRUE(source.exists()) << KELVO_SOURCE_DIR;
    const QRegularExpression includeLine(QStringLiteral(R"re(^\s*#\s*include\s*"([^"]+)")re"),
                                         QRegularExpression::MultilineOption);
    QStringList faults;
    int files = 0;
    QDirIterator it(source.path(), {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = source.relativeFilePath(it.next());
        QFile file(it.filePath());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        ++files;
        const QString text = QString::fromUtf8(file.readAll());
        for (auto match = includeLine.globalMatch(text); match.hasNext();) {
            const QString target = match.next().captured(1);
            if (!source.exists(target))
                faults.append(path + QStringLiteral(" -> ") + target +
                              QStringLiteral(": not a product header (test support?)"));
            else if (const std::optional<QString> why = Violation(path, target))
                faults.append(path + QStringLiteral(" -> ") + target + QStringLiteral(": ") + *why);
        }
    }
    EXPECT_GT(files, 50);  // the walk really found the tree
    EXPECT_TRUE(faults.isEmpty()) << faults.join(QLatin1Char('\n')).toStdString();
}

}  // namespace
