#include "browse/PhotoRating.h"

#include <unistd.h>

#include <QFileInfo>
#include <exiv2/exiv2.hpp>
#include <mutex>
#include <optional>
#include <string>

#include "base/KelvoError.h"
#include "base/WholeFile.h"

namespace {

const char* const kRatingKey = "Xmp.xmp.Rating";
const char* const kPickKey = "Xmp.xmpDM.good";

// A JPEG's XMP segment: APP1 opened by this signature, its NUL included.
const QByteArray kXmpSignature("http://ns.adobe.com/xap/1.0/\0", 29);
constexpr int kApp0 = 0xE0;
constexpr int kApp1 = 0xE1;
constexpr int kMaxSegmentLength = 0xFFFF;  // the length field counts itself

void MuteExiv2() {
    static std::once_flag once;
    std::call_once(once, [] { Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute); });
}

[[noreturn]] void CannotRate(const QString& fileName, const QString& reason) {
    throw KelvoError(QStringLiteral("Cannot write the rating of \"") + fileName +
                     QStringLiteral("\": ") + reason + QLatin1Char('.'));
}

bool DecodeXmp(const QByteArray& packet, Exiv2::XmpData& xmp) {
    if (packet.isEmpty()) return true;
    MuteExiv2();
    try {
        return Exiv2::XmpParser::decode(xmp, std::string(packet.constData(), packet.size())) == 0;
    } catch (const std::exception&) {
        return false;
    }
}

bool IsJpegStart(const QByteArray& head) {
    return head.size() >= 3 && static_cast<unsigned char>(head[0]) == 0xFF &&
           static_cast<unsigned char>(head[1]) == 0xD8 &&
           static_cast<unsigned char>(head[2]) == 0xFF;
}

// Where the XMP segment goes in a JPEG: the span of the present one (to be replaced), or an
// empty span after the leading APP0 and APP1 segments, where readers look for it.
struct TXmpPlace {
    qsizetype Begin = 0;
    qsizetype End = 0;
    QByteArray Packet;
};

std::optional<TXmpPlace> FindXmpPlace(const QByteArray& file) {
    const auto byte = [&](qsizetype at) { return static_cast<unsigned char>(file[at]); };
    qsizetype at = 2;
    std::optional<qsizetype> afterLeading = at;
    for (;;) {
        if (at + 4 > file.size() || byte(at) != 0xFF) return std::nullopt;
        const int marker = byte(at + 1);
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        // Past the last metadata segment: the XMP segment was not there.
        if (marker == 0xDA || marker == 0xD9)
            return TXmpPlace{*afterLeading, *afterLeading, {}};
        const qsizetype length = qsizetype(byte(at + 2)) << 8 | byte(at + 3);
        if (length < 2 || at + 2 + length > file.size()) return std::nullopt;
        const qsizetype next = at + 2 + length;
        if (marker == kApp1 && file.mid(at + 4, kXmpSignature.size()) == kXmpSignature)
            return TXmpPlace{at, next, file.mid(at + 4 + kXmpSignature.size(),
                                                length - 2 - kXmpSignature.size())};
        if (afterLeading && *afterLeading == at && (marker == kApp0 || marker == kApp1))
            afterLeading = next;
        at = next;
    }
}

QByteArray WriteIntoJpeg(const QString& fileName, TPhotoRating rating) {
    const QByteArray file = ReadWholeFile(fileName);
    const std::optional<TXmpPlace> place = FindXmpPlace(file);
    if (!place) CannotRate(fileName, QStringLiteral("its JPEG structure cannot be read"));
    const QByteArray packet = XmpWithRating(place->Packet, rating);
    const qsizetype length = 2 + kXmpSignature.size() + packet.size();
    if (length > kMaxSegmentLength)
        CannotRate(fileName, QStringLiteral("its XMP data would not fit in one JPEG segment"));
    QByteArray segment;
    segment.reserve(2 + length);
    segment.append(char(0xFF)).append(char(kApp1));
    segment.append(char(length >> 8)).append(char(length & 0xFF));
    segment.append(kXmpSignature).append(packet);
    // Everything but the XMP segment goes back byte for byte: the picture's data is untouched.
    QByteArray rewritten;
    rewritten.reserve(file.size() - (place->End - place->Begin) + segment.size());
    rewritten.append(file.constData(), place->Begin);
    rewritten.append(segment);
    rewritten.append(file.constData() + place->End, file.size() - place->End);
    ReplaceWholeFile(fileName, rewritten);
    return packet;
}

void WriteIntoSidecar(const QString& fileName, TPhotoRating rating) {
    const QString sidecar = RatingSidecarPath(fileName);
    QByteArray packet;
    if (QFileInfo::exists(sidecar)) packet = ReadWholeFile(sidecar);
    ReplaceWholeFile(sidecar, XmpWithRating(packet, rating));
}

}  // namespace

TPhotoRating RatingFromXmp(const QByteArray& packet) {
    Exiv2::XmpData xmp;
    if (packet.isEmpty() || !DecodeXmp(packet, xmp)) return {};
    TPhotoRating rating;
    try {
        const auto stars = xmp.findKey(Exiv2::XmpKey(kRatingKey));
        if (stars != xmp.end()) {
            bool ok = false;
            // Some tools write the rating as a decimal ("3.0").
            const double value = QString::fromStdString(stars->toString()).trimmed().toDouble(&ok);
            if (ok && value >= -1 && value <= 5) rating.Rating = value < 0 ? -1 : int(value + 0.5);
        }
        const auto pick = xmp.findKey(Exiv2::XmpKey(kPickKey));
        if (pick != xmp.end())
            rating.Picked = QString::fromStdString(pick->toString()).trimmed().compare(
                                QStringLiteral("True"), Qt::CaseInsensitive) == 0;
    } catch (const std::exception&) {
        return {};
    }
    return rating;
}

QByteArray XmpWithRating(const QByteArray& packet, TPhotoRating rating) {
    Exiv2::XmpData xmp;
    if (!DecodeXmp(packet, xmp))
        throw KelvoError(QStringLiteral("The XMP data held there cannot be read"));
    std::string encoded;
    try {
        xmp[kRatingKey] = std::to_string(rating.Rating);
        if (rating.Picked) {
            xmp[kPickKey] = std::string("True");
        } else {
            const auto pick = xmp.findKey(Exiv2::XmpKey(kPickKey));
            if (pick != xmp.end()) xmp.erase(pick);
        }
        if (Exiv2::XmpParser::encode(encoded, xmp) != 0)
            throw KelvoError(QStringLiteral("The XMP data cannot be written"));
    } catch (const KelvoError&) {
        throw;
    } catch (const std::exception& error) {
        throw KelvoError(QString::fromLocal8Bit(error.what()));
    }
    return QByteArray(encoded.data(), qsizetype(encoded.size()));
}

bool RatingGoesInFile(const QString& fileName) {
    const int fd = OpenRegularFileForReading(fileName);
    if (fd < 0) return false;
    char head[3] = {};
    const ssize_t got = pread(fd, head, sizeof head, 0);
    close(fd);
    return got == 3 && IsJpegStart(QByteArray(head, 3));
}

QString RatingSidecarPath(const QString& fileName) {
    const qsizetype slash = fileName.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    // A dot in the folder's name, or one that starts a hidden file's name, opens no ending.
    const bool hasEnding = dot > slash + 1;
    return (hasEnding ? fileName.left(dot) : fileName) + QStringLiteral(".xmp");
}

TPhotoRating ReadPhotoRating(const QString& fileName, const QByteArray& loadedXmp) {
    if (RatingGoesInFile(fileName)) return RatingFromXmp(loadedXmp);
    const QString sidecar = RatingSidecarPath(fileName);
    if (!QFileInfo::exists(sidecar)) return {};
    try {
        return RatingFromXmp(ReadWholeFile(sidecar));
    } catch (const KelvoError&) {
        return {};
    }
}

QByteArray WritePhotoRating(const QString& fileName, TPhotoRating rating) {
    try {
        if (RatingGoesInFile(fileName)) return WriteIntoJpeg(fileName, rating);
        // A file that is gone is not given a sidecar of its own.
        close(OpenForReading(fileName));
        WriteIntoSidecar(fileName, rating);
        return {};
    } catch (const KelvoError& error) {
        if (error.Message().startsWith(QStringLiteral("Cannot "))) throw;
        CannotRate(fileName, error.Message());
    }
}

QString RatingCaptionText(TPhotoRating rating) {
    QString text;
    if (rating.Rating < 0) {
        text = QStringLiteral("rejected");
    } else if (rating.Rating > 0) {
        for (int star = 1; star <= 5; ++star)
            text += star <= rating.Rating ? QChar(0x2605) : QChar(0x2606);
    }
    if (rating.Picked) text += text.isEmpty() ? QStringLiteral("picked") : QStringLiteral(" picked");
    return text;
}
