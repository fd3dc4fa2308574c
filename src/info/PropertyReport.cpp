#include "info/PropertyReport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QHash>
#include <QLocale>
#include <QStringDecoder>
#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <exiv2/exiv2.hpp>
#include <mutex>
#include <string>

#include "base/KelvoError.h"
#include "base/WholeFile.h"
#include "image/ContentType.h"

namespace {

// The tag reader's view of a file opened through the one opener, so that a FIFO or a device is
// refused at once instead of waiting for a writer: a read-only stream over the descriptor.
// Reading through it costs what the tag reader's own file access costs (a few small reads of
// a photograph's first segments); mapping the file cost more than the whole report.
class TOpenedFileIo : public Exiv2::BasicIo {
  public:
    TOpenedFileIo(const QString& fileName, int descriptor)
        : FPath(QFile::encodeName(fileName).toStdString()) {
        struct stat status {};
        if (::fstat(descriptor, &status) == 0) FSize = std::size_t(status.st_size);
        FStream = ::fdopen(descriptor, "rb");
        if (!FStream) {
            const int error = errno;
            ::close(descriptor);
            throw KelvoError(CannotOpenFileMessage(fileName, error));
        }
    }
    ~TOpenedFileIo() override { std::fclose(FStream); }
    TOpenedFileIo(const TOpenedFileIo&) = delete;
    TOpenedFileIo& operator=(const TOpenedFileIo&) = delete;

    int Descriptor() const { return ::fileno(FStream); }

    int open() override { return seek(0, beg); }
    int close() override { return 0; }  // the stream lives as long as this object
    long write(const Exiv2::byte*, long) override { return 0; }
    long write(Exiv2::BasicIo&) override { return 0; }
    int putb(Exiv2::byte) override { return EOF; }
    void transfer(Exiv2::BasicIo&) override {
        throw Exiv2::Error(Exiv2::kerFunctionNotSupported, "transfer");
    }
    Exiv2::DataBuf read(long count) override {
        // A count taken from a damaged file must not become an allocation first.
        if (count < 0 || std::size_t(count) > FSize) throw Exiv2::Error(Exiv2::kerInvalidMalloc);
        Exiv2::DataBuf buffer(count);
        buffer.size_ = read(buffer.pData_, count);
        return buffer;
    }
    long read(Exiv2::byte* target, long count) override {
        if (count <= 0) return 0;
        return long(std::fread(target, 1, std::size_t(count), FStream));
    }
    int getb() override { return std::fgetc(FStream); }
    int seek(long offset, Position position) override {
        const int whence = position == beg ? SEEK_SET : position == cur ? SEEK_CUR : SEEK_END;
        return ::fseeko(FStream, off_t(offset), whence) == 0 ? 0 : 1;
    }
    // The TIFF reader works on the whole file at once.
    Exiv2::byte* mmap(bool writeable) override {
        if (writeable) throw Exiv2::Error(Exiv2::kerFunctionNotSupported, "mmap");
        if (FWhole.empty() && FSize > 0) {
            const long at = tell();
            FWhole.resize(FSize);
            if (seek(0, beg) != 0 || read(FWhole.data(), long(FSize)) != long(FSize)) {
                FWhole.clear();
                throw Exiv2::Error(Exiv2::kerFailedToReadImageData);
            }
            seek(at, beg);
        }
        return FWhole.data();
    }
    int munmap() override {
        std::vector<Exiv2::byte>().swap(FWhole);
        return 0;
    }
    long tell() const override { return long(::ftello(FStream)); }
    size_t size() const override { return FSize; }
    bool isopen() const override { return true; }
    int error() const override { return std::ferror(FStream); }
    bool eof() const override { return std::feof(FStream) != 0; }
    std::string path() const override { return FPath; }

  private:
    std::string FPath;
    std::FILE* FStream = nullptr;
    std::size_t FSize = 0;
    std::vector<Exiv2::byte> FWhole;
};

const char* const kProgramList =
    "Unk|Manual|Normal|Aperture Priority|Shutter Priority|Depth of Field|Fast Shutter|Portrait|"
    "Landscape";
const char* const kMeterList =
    "Unk|Average|Center Weighted Average|Spot|Multi Spot|Pattern|Partial";
const char* const kLightList = "Unk|Daylight|Fluorescent|Tungsten";
const char* const kFlashList = "No Flash|Flash";

const TPropertyTag kPropertyTable[] = {
    {0x0100, "Width: ", nullptr, 1},
    {0x0101, "Height: ", nullptr, 1},
    {0x0102, "Bits/Pixel: ", nullptr, 1},
    {0x010F, "Manufacturer: ", nullptr, 1},
    {0x0110, "Model: ", nullptr, 1},
    {0x011A, "Horiz Res (dpi): ", nullptr, 1},
    {0x011B, "Vert Res (dpi): ", nullptr, 1},
    {0x0131, "Software: ", nullptr, 1},
    {0x0132, "Image Creation Date: ", nullptr, 1},
    {0x013B, "Artist: ", nullptr, 1},
    {0x8298, "Copyright: ", nullptr, 1},
    {0x829A, "Exposure (sec): ", nullptr, 3},
    {0x829D, "F Num: ", nullptr, 1},
    {0x8822, "Exposure Program: ", kProgramList, 1},
    {0x8827, "ISO Speed: ", nullptr, 1},
    {0x9003, "Image Creation Date: ", nullptr, 1},
    {0x9204, "Exposure Compensation: ", nullptr, 1},
    {0x9205, "Aperture: ", nullptr, 1},
    {0x9206, "Distance (M): ", nullptr, 1},
    {0x9207, "Meter Mode: ", kMeterList, 1},
    {0x9208, "Light Source: ", kLightList, 1},
    {0x9209, "Flash: ", kFlashList, 1},
    {0x920A, "Focal Length (mm): ", nullptr, 1},
    {0xA002, "Width: ", nullptr, 1},
    {0xA003, "Height: ", nullptr, 1},
};

// Exiv2 writes its warnings to standard error; a damaged tag is the report's business, not
// the terminal's.
void SilenceTagReader() {
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        // HEIC, AVIF and CR3 files are ISO media files, which the tag reader leaves alone
        // unless asked.
        Exiv2::enableBMFF(true);
    });
}

constexpr Exiv2::ByteOrder kMachineOrder =
    std::endian::native == std::endian::little ? Exiv2::littleEndian : Exiv2::bigEndian;

template <class T>
T FirstValue(const QByteArray& value) {
    T result;
    std::memcpy(&result, value.constData(), sizeof result);
    return result;
}

// Text from the bytes of an ASCII value with every NUL left out. Cameras and editors write
// UTF-8 or a single-byte code page there; bytes that are not valid UTF-8 are taken as Latin-1.
QString AsciiText(const QByteArray& value) {
    QByteArray bytes;
    bytes.reserve(value.size());
    bool plainAscii = true;
    for (const char c : value) {
        if (c == '\0') continue;
        bytes.append(c);
        plainAscii = plainAscii && static_cast<unsigned char>(c) < 0x80;
    }
    if (plainAscii) return QString::fromLatin1(bytes);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (utf8.hasError()) text = QString::fromLatin1(bytes);
    return text;
}

}  // namespace

std::span<const TPropertyTag> PropertyTable() {
    return kPropertyTable;
}

const TPropertyTag* FindPropertyTag(std::uint32_t id) {
    for (const TPropertyTag& tag : kPropertyTable)
        if (tag.Id == id) return &tag;
    return nullptr;
}

std::vector<TPropertyItem> ReadPropertyItems(const QString& fileName) {
    SilenceTagReader();
    std::vector<TPropertyItem> imageItems;
    std::vector<TPropertyItem> exifItems;
    // The tag reader takes the stream over (and closes it when it turns the file down).
    Exiv2::BasicIo::AutoPtr io(new TOpenedFileIo(fileName, OpenForReading(fileName)));
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(io);
        if (!image.get())
            throw Exiv2::Error(Exiv2::kerFileContainsUnknownImageType, fileName.toStdString());
        image->readMetadata();
        // The tag reader's numbers of the two directories, taken from tags that live there.
        static const int imageDirectory = Exiv2::ExifKey("Exif.Image.Make").ifdId();
        static const int exifDirectory = Exiv2::ExifKey("Exif.Photo.FNumber").ifdId();
        for (const Exiv2::Exifdatum& datum : image->exifData()) {
            // A damaged item is left out; it never costs the report its other lines.
            try {
                const int directory = datum.ifdId();
                std::vector<TPropertyItem>* items = directory == imageDirectory  ? &imageItems
                                                    : directory == exifDirectory ? &exifItems
                                                                                 : nullptr;
                if (!items || !FindPropertyTag(datum.tag())) continue;
                TPropertyItem item;
                item.Id = datum.tag();
                item.Type = std::uint16_t(datum.typeId());
                const long size = datum.size();
                if (size > 0) {
                    item.Value.resize(size);
                    const long copied = datum.copy(
                        reinterpret_cast<Exiv2::byte*>(item.Value.data()), kMachineOrder);
                    item.Value.resize(std::clamp(copied, 0L, size));
                }
                items->push_back(std::move(item));
            } catch (const Exiv2::AnyError&) {
            } catch (const std::exception&) {
            }
        }
    } catch (const Exiv2::AnyError& error) {
        // The tag reader turns down some pictures that simply have no tags, a BMP of a few
        // pixels among them; a file whose header makes a picture the loader reads gives an
        // empty report.
        if (ImageFileTypeOfFile(fileName)) return {};
        throw KelvoError(QStringLiteral("Cannot read the tags of \"%1\". %2")
                             .arg(fileName, QString::fromLocal8Bit(error.what())));
    }
    // The EXIF directory is reached through a pointer in the first one, so the tag reader
    // lists its items in the middle of the first directory's; the file keeps the directories
    // one after the other.
    imageItems.insert(imageItems.end(), std::make_move_iterator(exifItems.begin()),
                      std::make_move_iterator(exifItems.end()));
    return imageItems;
}

QString PickListItem(const QString& list, int index) {
    if (index < 0) return QString();
    qsizetype start = 0;
    for (int item = 0; item < index; ++item) {
        start = list.indexOf(QLatin1Char('|'), start);
        if (start < 0) return QString();
        ++start;
    }
    const qsizetype end = list.indexOf(QLatin1Char('|'), start);
    return list.mid(start, end < 0 ? -1 : end - start);
}

QString RatioText(double value, int decimals) {
    if (!std::isfinite(value)) return QString();
    // The exact decimal expansion of the magnitude (60 places reach far below any digit kept),
    // rounded by hand: printf-style formatting sends exact halves to the even neighbour.
    char buffer[400];
    const auto converted = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                         std::chars_format::fixed, 60);
    std::string digits;
    int integerDigits = 0;
    for (const char* c = buffer; c != converted.ptr; ++c) {
        if (*c == '.')
            integerDigits = int(digits.size());
        else
            digits.push_back(*c);
    }
    const auto firstSignificant = digits.find_first_not_of('0');
    const QString separator = QLocale().decimalPoint();
    const QString sign = value < 0 ? QStringLiteral("-") : QString();

    std::string integerPart;  // without leading zeros; empty for a magnitude below 1
    std::string fraction;
    if (firstSignificant != std::string::npos) {
        // Decimal places kept: two significant digits or `decimals`, whichever keeps fewer.
        const int magnitudeDigits = integerDigits - int(firstSignificant);
        const int places = std::min(decimals, 2 - magnitudeDigits);
        const int kept = integerDigits + places;  // >= 1: at least the first significant digit
        std::string rounded = digits.substr(0, std::size_t(kept));
        int roundedIntegerDigits = integerDigits;
        if (std::size_t(kept) < digits.size() && digits[std::size_t(kept)] >= '5') {
            int i = kept - 1;
            while (i >= 0 && rounded[std::size_t(i)] == '9')
                rounded[std::size_t(i--)] = '0';
            if (i >= 0) {
                ++rounded[std::size_t(i)];
            } else {
                rounded.insert(rounded.begin(), '1');
                ++roundedIntegerDigits;
            }
        }
        if (places >= 0) {
            integerPart = rounded.substr(0, std::size_t(roundedIntegerDigits));
            fraction = rounded.substr(std::size_t(roundedIntegerDigits));
        } else {
            integerPart = rounded + std::string(std::size_t(-places), '0');
        }
        integerPart.erase(0, std::min(integerPart.find_first_not_of('0'), integerPart.size()));
    }

    const int exponent10 = int(integerPart.size());
    if (exponent10 > 2) {
        QString text = sign + QLatin1Char(integerPart[0]);
        if (integerPart[1] != '0') text += separator + QLatin1Char(integerPart[1]);
        return text + QLatin1Char('E') +
               QStringLiteral("%1").arg(exponent10 - 1, std::max(decimals, 1), 10,
                                        QLatin1Char('0'));
    }
    QString text =
        sign + (integerPart.empty() ? QStringLiteral("0") : QString::fromLatin1(integerPart));
    if (decimals > 0) {
        fraction.resize(std::size_t(decimals), '0');
        text += separator + QString::fromLatin1(fraction);
    }
    return text;
}

QString PropertyLine(const TPropertyItem& item) {
    const TPropertyTag* tag = FindPropertyTag(item.Id);
    const QByteArray& value = item.Value;
    // An item without a value contributes nothing, whatever its tag and type.
    if (!tag || value.isEmpty()) return QString();
    QString text;
    switch (item.Type) {
        case ptByte:
            text = QString::number(FirstValue<std::uint8_t>(value));
            break;
        case ptAscii:
            text = AsciiText(value);
            break;
        case ptShort: {
            if (value.size() < 2) return QString();
            const std::uint16_t number = FirstValue<std::uint16_t>(value);
            text = tag->ValueList ? PickListItem(QLatin1String(tag->ValueList), number)
                                  : QString::number(number);
            break;
        }
        case ptLong:
        case ptSLong:
            if (value.size() < 4) return QString();
            text = QString::number(FirstValue<std::int32_t>(value));
            break;
        case ptRational:
        case ptSRational: {
            if (value.size() < 8) return QString();
            const std::int32_t numerator = FirstValue<std::int32_t>(value);
            const std::int32_t denominator = FirstValue<std::int32_t>(value.mid(4, 4));
            // No number to show: the label stands alone.
            if (denominator != 0)
                text = RatioText(double(numerator) / double(denominator), tag->Decimals);
            break;
        }
        default:
            break;
    }
    const QLatin1String label(tag->Label);
    QString line;
    line.reserve(label.size() + text.size() + 2);
    line.append(label).append(text).append(QLatin1String("\r\n"));
    return line;
}

QString ReadPropertyReport(const QString& fileName) {
    if (fileName.isEmpty()) throw KelvoError(QStringLiteral("No file name given"));
    QString report;
    for (const TPropertyItem& item : ReadPropertyItems(fileName))
        report += PropertyLine(item);
    return report;
}

QString PropertyReport(const QString& fileName) {
    try {
        return ReadPropertyReport(fileName);
    } catch (const KelvoError&) {
        return QString();
    }
}

namespace {

void AddTag(TTagListing& listing, QHash<QString, std::size_t>& seen, const std::string& key,
            const std::string& value) {
    const QString name = QString::fromStdString(key);
    const QString text = QString::fromUtf8(value.data(), qsizetype(value.size()));
    const auto found = seen.constFind(name);
    if (found != seen.cend()) {
        QString& earlier = listing.Tags[*found].second;
        earlier += QStringLiteral(", ") + text;
        return;
    }
    seen.insert(name, listing.Tags.size());
    listing.Tags.emplace_back(name, text);
}

// A tag whose value the tag reader cannot interpret is left out; it never costs the listing
// the other tags.
template <typename Data, typename Print>
void AddAll(TTagListing& listing, QHash<QString, std::size_t>& seen, const Data& data,
            Print print) {
    for (const auto& datum : data) {
        try {
            AddTag(listing, seen, datum.key(), print(datum));
        } catch (const Exiv2::AnyError&) {
        } catch (const std::exception&) {
        }
    }
}

}  // namespace

TTagListing ReadTagListing(const QString& fileName) {
    SilenceTagReader();
    TTagListing listing;
    Exiv2::BasicIo::AutoPtr io(new TOpenedFileIo(fileName, OpenForReading(fileName)));
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(io);
        if (!image.get()) return listing;
        image->readMetadata();
        listing.Width = image->pixelWidth();
        listing.Height = image->pixelHeight();
        QHash<QString, std::size_t> seen;
        const Exiv2::ExifData& exif = image->exifData();
        AddAll(listing, seen, exif,
               [&exif](const Exiv2::Exifdatum& datum) { return datum.print(&exif); });
        AddAll(listing, seen, image->iptcData(),
               [](const Exiv2::Iptcdatum& datum) { return datum.print(); });
        AddAll(listing, seen, image->xmpData(),
               [](const Exiv2::Xmpdatum& datum) { return datum.print(); });
    } catch (const Exiv2::AnyError&) {
        // Not a file the tag reader knows, or one it cannot read to the end: what was read
        // stands, the size may be missing.
    }
    return listing;
}

void PrepareTagReaderForThreads() {
    SilenceTagReader();
    Exiv2::XmpParser::initialize();
}
