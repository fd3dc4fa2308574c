// The extended information report: line formatting from single items, and whole reports read
// from JPEG files written here with Exiv2 and, when the public suites are there, from their
// camera files.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <bit>
#include <cstring>
#include <exiv2/exiv2.hpp>
#include <ostream>

#include "base/KelvoError.h"
#include "image/ImageSaver.h"
#include "info/PropertyReport.h"
#include "support/TaggedJpeg.h"
#include "support/TestCorpus.h"

static void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
static void PrintTo(const QStringList& texts, std::ostream* out) {
    *out << '{';
    for (const QString& text : texts)
        *out << "\n  \"" << text.toStdString() << '"';
    *out << " }";
}

namespace {

using tagged_jpeg::Ascii;
using tagged_jpeg::Bytes;
using tagged_jpeg::Long;
using tagged_jpeg::Rational;
using tagged_jpeg::Short;
using tagged_jpeg::TTag;

// Shows a report's line ends in failure messages.
std::string Visible(const QString& text) {
    QString shown = text;
    return shown.replace(QStringLiteral("\r\n"), QStringLiteral("\\r\\n\n")).toStdString();
}

// Sets the default locale for one test.
class LocaleScope {
  public:
    explicit LocaleScope(const QLocale& locale) : FPrevious(QLocale()) {
        QLocale::setDefault(locale);
    }
    ~LocaleScope() { QLocale::setDefault(FPrevious); }

  private:
    QLocale FPrevious;
};

}  // namespace

TEST(RatioTextTest, RoundsToTwoSignificantDigitsOrTheDecimalsWhicheverIsCoarser) {
    const LocaleScope english(QLocale(QLocale::English, QLocale::UnitedStates));
    const struct {
        double Value;
        int Decimals;
        const char* Text;
    } cases[] = {
        {28.0 / 10, 1, "2.8"},
        {1.0 / 60, 3, "0.017"},
        {1.0 / 250, 3, "0.004"},
        {1.0 / 8000, 3, "0.000"},
        {1.0 / 3, 3, "0.330"},
        {55.0 / 1, 1, "55.0"},
        {185.0 / 10, 1, "19.0"},  // an exact half goes up, where printf would keep 18
        {105.0 / 1, 1, "1.1E2"},
        {300.0 / 1, 1, "3E2"},
        {72.0 / 1, 1, "72.0"},
        {0.0 / 1, 1, "0.0"},
        {-1.0 / 3, 1, "-0.3"},
        {120.0, 3, "1.2E002"},
        {120.0, 1, "1.2E2"},
        // Halves away from zero on both sides, and carries into a new digit.
        {-18.5, 1, "-19.0"},
        {0.125, 3, "0.130"},  // two significant digits bind before the three decimals
        {0.0005, 3, "0.001"},
        {2.5, 1, "2.5"},
        {0.25, 1, "0.3"},
        {0.96, 1, "1.0"},
        {9.96, 1, "10.0"},
        {99.5, 1, "1E2"},
        {995.0, 1, "1E3"},
        {-105.0, 1, "-1.1E2"},
        {1234567.0, 1, "1.2E6"},
        {150.0, 3, "1.5E002"},
        {4294967295.0, 1, "4.3E9"},
        {-2147483648.0, 1, "-2.1E9"},
        // A value just below a half must not be pushed over it by the formatting.
        {0.0165, 3, "0.017"},   // the double lies a hair above 0.0165
        {0.0155, 3, "0.015"},   // and this one a hair below 0.0155
        {29.0 / 20, 1, "1.4"},  // 1.45 is not a double either: the quotient lies below it
    };
    for (const auto& c : cases)
        EXPECT_EQ(RatioText(c.Value, c.Decimals), QLatin1String(c.Text))
            << c.Value << " with " << c.Decimals << " decimals";
}

TEST(RatioTextTest, WritesTheLocalesDecimalSeparator) {
    const LocaleScope german(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(RatioText(28.0 / 10, 1), QStringLiteral("2,8"));
    EXPECT_EQ(RatioText(1.0 / 60, 3), QStringLiteral("0,017"));
    EXPECT_EQ(RatioText(110.0, 1), QStringLiteral("1,1E2"));
    EXPECT_EQ(RatioText(300.0, 1), QStringLiteral("3E2"));
}

TEST(PickListItemTest, CountsFromZeroAndGivesNothingBeyondTheLast) {
    const QString list = QStringLiteral("No Flash|Flash");
    EXPECT_EQ(PickListItem(list, 0), QStringLiteral("No Flash"));
    EXPECT_EQ(PickListItem(list, 1), QStringLiteral("Flash"));
    EXPECT_EQ(PickListItem(list, 2), QString());
    EXPECT_EQ(PickListItem(list, 65535), QString());
    EXPECT_EQ(PickListItem(QStringLiteral("a||c"), 1), QString());
    EXPECT_EQ(PickListItem(QStringLiteral("a||c"), 2), QStringLiteral("c"));
}

TEST(PropertyLineTest, FormatsEachValueTypeAndList) {
    const LocaleScope english(QLocale(QLocale::English, QLocale::UnitedStates));
    const struct {
        std::uint32_t Id;
        std::uint16_t Type;
        QByteArray Value;
        const char* Line;  // without the CR LF
    } cases[] = {
        {0x9207, ptShort, Short(5), "Meter Mode: Pattern"},
        {0x9207, ptShort, Short(255), "Meter Mode: "},
        {0x9207, ptShort, Short(0), "Meter Mode: Unk"},
        {0x9209, ptShort, Short(0), "Flash: No Flash"},
        {0x9209, ptShort, Short(1), "Flash: Flash"},
        {0x9209, ptShort, Short(16), "Flash: "},
        {0x9209, ptShort, Short(25), "Flash: "},
        {0x8822, ptShort, Short(2), "Exposure Program: Normal"},
        {0x8822, ptShort, Short(8), "Exposure Program: Landscape"},
        {0x9208, ptShort, Short(3), "Light Source: Tungsten"},
        {0x9208, ptShort, Short(4), "Light Source: "},
        {0x8827, ptShort, Short(400), "ISO Speed: 400"},
        {0x8827, ptShort, Short(65535), "ISO Speed: 65535"},
        // Only the first of several values.
        {0x8827, ptShort, Bytes<std::uint16_t>({200, 400}), "ISO Speed: 200"},
        {0x0102, ptShort, Bytes<std::uint16_t>({8, 8, 8}), "Bits/Pixel: 8"},
        {0x0100, ptLong, Long(4000), "Width: 4000"},
        {0xA002, ptLong, Long(4294967295u), "Width: -1"},
        {0xA003, ptSLong, Long(std::uint32_t(-7)), "Height: -7"},
        {0xA003, ptByte, QByteArray("\xC8\x01", 2), "Height: 200"},
        {0x011A, ptRational, Rational(300, 1), "Horiz Res (dpi): 3E2"},
        {0x011B, ptRational, Rational(72, 1), "Vert Res (dpi): 72.0"},
        {0x829A, ptRational, Rational(1, 60), "Exposure (sec): 0.017"},
        {0x829A, ptRational, Rational(120, 1), "Exposure (sec): 1.2E002"},
        {0x829D, ptRational, Rational(28, 10), "F Num: 2.8"},
        {0x920A, ptRational, Rational(185, 10), "Focal Length (mm): 19.0"},
        {0x9206, ptRational, Rational(4294967295u, 1), "Distance (M): -1.0"},
        {0x9204, ptSRational, Rational(std::uint32_t(-1), 3), "Exposure Compensation: -0.3"},
        {0x9205, ptRational, Rational(28, 0), "Aperture: "},
        {0x9204, ptSRational, Rational(0, 0), "Exposure Compensation: "},
        {0x010F, ptAscii, QByteArray("Canon\0", 6), "Manufacturer: Canon"},
        {0x0110, ptAscii, QByteArray("EOS\0 40D\0", 9), "Model: EOS 40D"},
        {0x013B, ptAscii, QByteArray("Jos\xC3\xA9\0", 6), "Artist: Jos\xC3\xA9"},
        {0x8298, ptAscii, QByteArray("\0", 1), "Copyright: "},
        // Types that carry no value text.
        {0x9209, ptUndefined, QByteArray("\x01\x00", 2), "Flash: "},
        {0x8827, 8, Short(400), "ISO Speed: "},
        {0x829D, 11, QByteArray(4, '\0'), "F Num: "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PropertyLine({c.Id, c.Type, c.Value}), QString::fromUtf8(c.Line) + "\r\n")
            << std::hex << "tag 0x" << c.Id << " type " << std::dec << c.Type;
}

TEST(PropertyLineTest, UnknownTagsAndItemsWithoutValuesGiveNothing) {
    const struct {
        std::uint32_t Id;
        std::uint16_t Type;
        QByteArray Value;
    } cases[] = {
        {0x9286, ptUndefined, QByteArray("ASCII\0\0\0hello", 13)},  // user comment
        {0x0112, ptShort, Short(1)},                                // orientation
        {0x8769, ptLong, Long(214)},                                // the EXIF pointer
        {0x829D, ptRational, QByteArray()},
        {0x829D, ptRational, Long(28)},  // half a rational
        {0x8827, ptShort, QByteArray("\x01", 1)},
        {0xA002, ptLong, Short(100)},
        {0x010F, ptAscii, QByteArray()},
        {0x9209, ptUndefined, QByteArray()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PropertyLine({c.Id, c.Type, c.Value}), QString())
            << std::hex << "tag 0x" << c.Id << " type " << std::dec << c.Type;
}

namespace {

class TaggedFileTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(FFolder.isValid()); }

    // A small JPEG carrying exactly these tags.
    QString WriteJpeg(const QString& name, const std::vector<TTag>& tags) {
        const QString path = FFolder.filePath(name);
        tagged_jpeg::Write(path, tags);
        return path;
    }

    QTemporaryDir FFolder;
    const LocaleScope FEnglish{QLocale(QLocale::English, QLocale::UnitedStates)};
};

}  // namespace

TEST_F(TaggedFileTest, ReportsTheKnownTagsOfAPhotographInTheFilesOrder) {
    const QString path =
        WriteJpeg(QStringLiteral("photo.jpg"),
                  {
                      {"Exif.Image.Make", ptAscii, Ascii("Canon")},
                      {"Exif.Image.Model", ptAscii, Ascii("Canon EOS 40D")},
                      {"Exif.Image.Orientation", ptShort, Short(1)},
                      {"Exif.Image.DateTime", ptAscii, Ascii("2008:07:31 10:38:11")},
                      {"Exif.Photo.ExposureTime", ptRational, Rational(1, 60)},
                      {"Exif.Photo.FNumber", ptRational, Rational(28, 10)},
                      {"Exif.Photo.ISOSpeedRatings", ptShort, Short(200)},
                      {"Exif.Photo.DateTimeOriginal", ptAscii, Ascii("2008:05:30 15:56:01")},
                      {"Exif.Photo.UserComment", ptUndefined, QByteArray("ASCII\0\0\0Nice", 12)},
                  });
    const QString expected =
        "Manufacturer: Canon\r\n"
        "Model: Canon EOS 40D\r\n"
        "Image Creation Date: 2008:07:31 10:38:11\r\n"
        "Exposure (sec): 0.017\r\n"
        "F Num: 2.8\r\n"
        "ISO Speed: 200\r\n"
        "Image Creation Date: 2008:05:30 15:56:01\r\n";
    const QString report = PropertyReport(path);
    EXPECT_EQ(report, expected) << Visible(report);
    EXPECT_EQ(ReadPropertyReport(path), expected);
}

TEST_F(TaggedFileTest, ValuesSurviveTheFileAsWritten) {
    const QString path =
        WriteJpeg(QStringLiteral("values.jpg"),
                  {
                      {"Exif.Image.Artist", ptAscii, QByteArray("Ann\0Lee\0", 8)},
                      {"Exif.Image.XResolution", ptRational, Rational(300, 1)},
                      {"Exif.Photo.SubjectDistance", ptRational, Rational(4294967295u, 1)},
                      {"Exif.Photo.MaxApertureValue", ptRational, Rational(5, 0)},
                      {"Exif.Photo.PixelXDimension", ptLong, Long(4294967295u)},
                      {"Exif.Photo.Flash", ptShort, Short(16)},
                  });
    const QString report = PropertyReport(path);
    EXPECT_EQ(report,
              "Horiz Res (dpi): 3E2\r\n"
              "Artist: AnnLee\r\n"
              "Aperture: \r\n"
              "Distance (M): -1.0\r\n"
              "Flash: \r\n"
              "Width: -1\r\n")
        << Visible(report);
}

TEST_F(TaggedFileTest, OnlyTheFirstDirectoryAndTheExifDirectoryCount) {
    // The thumbnail's directory and the GPS directory hold tags with the numbers of table tags.
    const QString path =
        WriteJpeg(QStringLiteral("directories.jpg"),
                  {
                      {"Exif.Image.XResolution", ptRational, Rational(72, 1)},
                      {"Exif.Thumbnail.XResolution", ptRational, Rational(300, 1)},
                      {"Exif.Thumbnail.ImageWidth", ptLong, Long(160)},
                      {"Exif.Image.DateTimeOriginal", ptAscii, Ascii("2001:01:01 00:00:00")},
                      {"Exif.Photo.ISOSpeedRatings", ptShort, Short(400)},
                      {"Exif.GPSInfo.GPSLatitudeRef", ptAscii, Ascii("N")},
                  });
    // The first directory's own date sits after its EXIF pointer and still comes before
    // every EXIF item.
    const QString report = PropertyReport(path);
    EXPECT_EQ(report,
              "Horiz Res (dpi): 72.0\r\n"
              "Image Creation Date: 2001:01:01 00:00:00\r\n"
              "ISO Speed: 400\r\n")
        << Visible(report);
}

TEST_F(TaggedFileTest, FilesWithoutTagsGiveAnEmptyReport) {
    const QString jpeg = WriteJpeg(QStringLiteral("bare.jpg"), {});
    EXPECT_EQ(ReadPropertyReport(jpeg), QString());
    // A 3 x 2 BMP is too small for the tag reader to recognise, yet it is a picture.
    TBitmap32 picture;
    for (const int width : {4, 3}) {
        picture.SetSize(width, width - 1);
        picture.Clear(0xFF102030u);
        for (const char* type : {"bmp", "png", "gif"}) {
            const QString path = FFolder.filePath(QStringLiteral("%1.%2").arg(width).arg(type));
            WriteImageFile(path, picture, 90);
            EXPECT_EQ(ReadPropertyReport(path), QString()) << path.toStdString();
        }
    }
}

TEST_F(TaggedFileTest, UnreadableFilesGiveAnEmptyReportOrAnError) {
    const QString text = FFolder.filePath(QStringLiteral("notes.jpg"));
    {
        QFile file(text);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a picture at all");
    }
    const QString cases[] = {QString(), FFolder.filePath(QStringLiteral("missing.jpg")), text,
                             FFolder.path()};
    for (const QString& name : cases) {
        EXPECT_EQ(PropertyReport(name), QString()) << name.toStdString();
        EXPECT_THROW(ReadPropertyReport(name), KelvoError) << name.toStdString();
    }
}

namespace {

// What an independent tag dumper (the corpus's dump.txt) says about one file, as the lines
// this report must hold for the tags whose value the dump writes plainly. The dump writes
// rationals reduced, which divide to the same double.
const QMap<QString, QPair<const char*, int>> kPlainTags = {
    {"Image ImageWidth", {"Width: ", 0}},
    {"Image ImageLength", {"Height: ", 0}},
    {"Image Make", {"Manufacturer: ", 0}},
    {"Image Model", {"Model: ", 0}},
    {"Image XResolution", {"Horiz Res (dpi): ", 1}},
    {"Image YResolution", {"Vert Res (dpi): ", 1}},
    {"Image Software", {"Software: ", 0}},
    {"Image DateTime", {"Image Creation Date: ", 0}},
    {"Image Artist", {"Artist: ", 0}},
    {"EXIF ExposureTime", {"Exposure (sec): ", 3}},
    {"EXIF FNumber", {"F Num: ", 1}},
    {"EXIF ISOSpeedRatings", {"ISO Speed: ", 0}},
    {"EXIF DateTimeOriginal", {"Image Creation Date: ", 0}},
    {"EXIF ExposureBiasValue", {"Exposure Compensation: ", 1}},
    {"EXIF MaxApertureValue", {"Aperture: ", 1}},
    {"EXIF SubjectDistance", {"Distance (M): ", 1}},
    {"EXIF FocalLength", {"Focal Length (mm): ", 1}},
    {"EXIF ExifImageWidth", {"Width: ", 0}},
    {"EXIF ExifImageLength", {"Height: ", 0}},
};

QStringList ExpectedLinesFromDump(const QStringList& dumpLines) {
    static const QRegularExpression line(
        QStringLiteral("^(Image|EXIF) (\\w+) \\(([\\w ]+)\\): ?(.*)$"));
    static const QRegularExpression ratio(QStringLiteral("^(-?\\d+)(?:/(-?\\d+))?$"));
    QStringList expected;
    for (const QString& dumpLine : dumpLines) {
        const auto match = line.match(dumpLine);
        if (!match.hasMatch()) continue;
        const auto row = kPlainTags.find(match.captured(1) + ' ' + match.captured(2));
        if (row == kPlainTags.end()) continue;
        const QString type = match.captured(3);
        QString value = match.captured(4);
        if (value.startsWith('[')) value = value.mid(1).section(',', 0, 0).trimmed();
        QString text;
        if (type == QLatin1String("ASCII")) {
            text = value + QStringLiteral("...");
        } else if (type.contains(QLatin1String("Ratio"))) {
            const auto parts = ratio.match(value);
            if (!parts.hasMatch()) continue;
            const double denominator =
                parts.captured(2).isEmpty() ? 1 : parts.captured(2).toDouble();
            if (denominator != 0)
                text = RatioText(parts.captured(1).toDouble() / denominator, row->second);
        } else if (type == QLatin1String("Short") || type == QLatin1String("Long")) {
            text = value;
        } else {
            continue;
        }
        expected.append(QLatin1String(row->first) + text);
    }
    return expected;
}

}  // namespace

TEST(PropertyReportCorpusTest, CameraFilesAgreeWithAnIndependentTagDump) {
    SKIP_WITHOUT_CORPUS();
    const QString corpus = test_corpus::Folder();
    QFile dump(corpus + QStringLiteral("/exif-samples/dump.txt"));
    ASSERT_TRUE(dump.open(QIODevice::ReadOnly | QIODevice::Text))
        << "the camera samples' tag dump is missing from " << corpus.toStdString();
    QMap<QString, QStringList> dumped;
    QString current;
    QTextStream in(&dump);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (line.startsWith(QLatin1String("Opening: exif-samples-master/")))
            current = line.mid(int(std::strlen("Opening: exif-samples-master/")));
        else if (!current.isEmpty())
            dumped[current].append(line);
    }
    QSet<QString> comparable;
    for (const auto& row : kPlainTags)
        comparable.insert(QString::fromLatin1(row.first).trimmed());
    const QStringList folders = {QStringLiteral("jpg"), QStringLiteral("jpg/exif-org")};
    int compared = 0;
    for (const QString& folder : folders) {
        const QStringList names =
            QDir(corpus + "/exif-samples/" + folder).entryList({"*.jpg"}, QDir::Files, QDir::Name);
        for (const QString& name : names) {
            const QString key = folder + '/' + name;
            if (!dumped.contains(key)) continue;
            const QStringList expected = ExpectedLinesFromDump(dumped[key]);
            if (expected.isEmpty()) continue;
            // Only the lines whose tags the dump writes plainly can be compared.
            QStringList reported;
            const QString report = ReadPropertyReport(corpus + "/exif-samples/" + key);
            for (const QString& line : report.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
                if (comparable.contains(line.section(QLatin1Char(':'), 0, 0) + ':'))
                    reported.append(line.trimmed());
            // Each expected line takes one reported line; none may be left on either side.
            QStringList missing;
            for (const QString& wanted : expected) {
                const bool text = wanted.endsWith(QLatin1String("..."));
                const QString start = wanted.chopped(text ? 3 : 0).trimmed();
                const auto found =
                    std::find_if(reported.begin(), reported.end(), [&](const QString& line) {
                        return text ? line.startsWith(start) : line == start;
                    });
                if (found == reported.end())
                    missing.append(wanted);
                else
                    reported.erase(found);
            }
            EXPECT_EQ(missing, QStringList()) << key.toStdString() << " lacks these lines";
            EXPECT_EQ(reported, QStringList()) << key.toStdString() << " has these lines besides";
            ++compared;
        }
    }
    EXPECT_GT(compared, 20) << "the dump no longer matches the corpus's camera files";
}
