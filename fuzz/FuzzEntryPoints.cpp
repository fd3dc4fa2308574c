#include "FuzzEntryPoints.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <array>
#include <exception>
#include <vector>

#include <libheif/heif.h>
#include <tiffio.h>
#include <webp/decode.h>

#include "app/RtfDocument.h"
#include "base/IniFile.h"
#include "base/KelvoError.h"
#include "image/Bitmap32.h"
#include "image/DecoderSupport.h"
#include "image/ImageLoader.h"
#include "info/PropertyReport.h"

namespace {

constexpr std::array kTargets = {TFuzzTarget::Bmp,  TFuzzTarget::Gif,      TFuzzTarget::Png,
                                 TFuzzTarget::Jpeg, TFuzzTarget::Tiff,     TFuzzTarget::Heif,
                                 TFuzzTarget::Webp, TFuzzTarget::Raw,      TFuzzTarget::Help,
                                 TFuzzTarget::Settings, TFuzzTarget::Tags};

// Where a target's seeds lie in the public suites: names with its endings (only inside the
// given folders when there are any), and files without an ending in the folders that keep
// fuzz-found files by number or bug report.
struct TSeedRule {
    TFuzzTarget target;
    const char* name;
    std::vector<const char*> endings;
    std::vector<const char*> onlyWithin;
    std::vector<const char*> undottedWithin;
};

const std::vector<TSeedRule>& SeedRules() {
    static const std::vector<TSeedRule> rules = {
        {TFuzzTarget::Bmp, "bmp", {".bmp"}, {}, {}},
        {TFuzzTarget::Gif, "gif", {".gif"}, {}, {}},
        {TFuzzTarget::Png, "png", {".png"}, {}, {}},
        {TFuzzTarget::Jpeg, "jpeg", {".jpg", ".jpeg"}, {}, {"/jpeg-bug-reports/"}},
        {TFuzzTarget::Tiff, "tiff", {".tif", ".tiff"}, {}, {"/image-tiff-fuzz/"}},
        {TFuzzTarget::Heif, "heif", {".heic", ".heif", ".avif"}, {}, {}},
        {TFuzzTarget::Webp, "webp", {".webp"}, {}, {}},
        {TFuzzTarget::Raw, "raw", {".cr2", ".nef", ".dng", ".arw", ".orf", ".rw2", ".pef"}, {}, {}},
        {TFuzzTarget::Help, "help", {".rtf"}, {}, {}},
        {TFuzzTarget::Settings, "settings", {".ini"}, {}, {}},
        // The tag reader sees every file through Exiv2, whatever its decoder; the camera
        // samples and the damaged files are the ones with tags worth mutating.
        {TFuzzTarget::Tags,
         "tags",
         {".jpg", ".jpeg", ".tif", ".tiff"},
         {"/exif-samples/", "/malformed/"},
         {}},
    };
    return rules;
}

const TSeedRule& RuleOf(TFuzzTarget target) {
    for (const TSeedRule& rule : SeedRules())
        if (rule.target == target) return rule;
    std::terminate();
}

// One folder for the whole process; every input overwrites the same few files in it.
const QTemporaryDir& ScratchFolder() {
    static const QTemporaryDir folder;
    return folder;
}

QString WriteScratchFile(const QString& name, std::span<const std::uint8_t> input) {
    const QString path = ScratchFolder().filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(input.data()), qint64(input.size())) !=
            qint64(input.size()))
        std::terminate();  // the harness itself is broken; no input is to blame
    return path;
}

std::uint32_t Le16(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8;
}
std::uint32_t Le32(std::span<const std::uint8_t> b, std::size_t at) {
    return Le16(b, at) | Le16(b, at + 2) << 16;
}
std::uint32_t Be16(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t(b[at]) << 8 | b[at + 1];
}
std::uint32_t Be32(std::span<const std::uint8_t> b, std::size_t at) {
    return Be16(b, at) << 16 | Be16(b, at + 2);
}

struct TDeclaredSize {
    std::int64_t width = -1;
    std::int64_t height = -1;
};

// The picture size each format's header declares, read here independently of the decoders.
// A JPEG's size sits in its first start-of-frame segment, after whatever segments precede it.
TDeclaredSize JpegDeclaredSize(std::span<const std::uint8_t> b) {
    if (b.size() < 4 || b[0] != 0xFF || b[1] != 0xD8) return {};
    std::size_t at = 2;
    for (;;) {
        while (at < b.size() && b[at] != 0xFF)
            ++at;  // stray bytes before a marker
        while (at < b.size() && b[at] == 0xFF)
            ++at;  // fill bytes
        if (at >= b.size()) return {};
        const std::uint8_t marker = b[at++];
        if (marker == 0x00) continue;  // a stuffed FF 00 is no marker: keep looking
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (at + 7 > b.size()) return {};
            return {Be16(b, at + 5), Be16(b, at + 3)};
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;  // no length
        if (at + 2 > b.size()) return {};
        at += Be16(b, at);
    }
}

// A TIFF's size is what its first directory says, as libtiff reads it.
TDeclaredSize TiffDeclaredSize(const QString& path) {
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!tiff) return {};
    std::uint32_t width = 0, height = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFClose(tiff);
    return {width, height};
}

// A HEIF picture's size is its primary picture's after the file's turn and crop, as libheif
// reports it before decoding.
TDeclaredSize HeifDeclaredSize(std::span<const std::uint8_t> b) {
    heif_context* context = heif_context_alloc();
    TDeclaredSize size;
    heif_image_handle* handle = nullptr;
    if (heif_context_read_from_memory_without_copy(context, b.data(), b.size(), nullptr).code ==
            heif_error_Ok &&
        heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok) {
        size = {heif_image_handle_get_width(handle), heif_image_handle_get_height(handle)};
        heif_image_handle_release(handle);
    }
    heif_context_free(context);
    return size;
}

TDeclaredSize DeclaredSize(TFuzzTarget target, std::span<const std::uint8_t> b,
                           const QString& path) {
    switch (target) {
        case TFuzzTarget::Bmp:
            if (b.size() < 26) return {};
            if (Le32(b, 14) == 12) return {Le16(b, 18), Le16(b, 20)};  // OS/2 1.x header
            {
                const auto height = std::int64_t(std::int32_t(Le32(b, 22)));
                return {std::int32_t(Le32(b, 18)), height < 0 ? -height : height};
            }
        case TFuzzTarget::Gif:  // the logical screen, which the first frame is drawn onto
            if (b.size() < 10) return {};
            return {Le16(b, 6), Le16(b, 8)};
        case TFuzzTarget::Png:
            if (b.size() < 24 || b[12] != 'I' || b[13] != 'H' || b[14] != 'D' || b[15] != 'R')
                return {};
            return {Be32(b, 16), Be32(b, 20)};
        case TFuzzTarget::Jpeg:
            return JpegDeclaredSize(b);
        case TFuzzTarget::Tiff:
            return TiffDeclaredSize(path);
        case TFuzzTarget::Webp: {
            int width = 0, height = 0;
            if (!WebPGetInfo(b.data(), b.size(), &width, &height)) return {};
            return {width, height};
        }
        case TFuzzTarget::Heif:
            return HeifDeclaredSize(b);
        default:
            return {};
    }
}

QString Describe(const char* what, const QString& detail) {
    return QString::fromLatin1(what) + QStringLiteral(": ") + detail;
}

TImageFileType DecoderOfTarget(TFuzzTarget target) {
    switch (target) {
        case TFuzzTarget::Bmp: return TImageFileType::Bmp;
        case TFuzzTarget::Gif: return TImageFileType::Gif;
        case TFuzzTarget::Png: return TImageFileType::Png;
        case TFuzzTarget::Tiff: return TImageFileType::Tiff;
        case TFuzzTarget::Heif: return TImageFileType::Heif;
        case TFuzzTarget::Webp: return TImageFileType::Webp;
        case TFuzzTarget::Raw: return TImageFileType::Raw;
        default: return TImageFileType::Jpeg;
    }
}

// A decoded raster has the size its header declared; a failed load leaves an empty raster and
// a message, and nothing but the program's own error escapes.
QString CheckImageLoad(TFuzzTarget target, std::span<const std::uint8_t> input) {
    const auto name = [target] {
        switch (target) {
            case TFuzzTarget::Bmp: return "input.bmp";
            case TFuzzTarget::Gif: return "input.gif";
            case TFuzzTarget::Png: return "input.png";
            case TFuzzTarget::Tiff: return "input.tif";
            case TFuzzTarget::Heif: return "input.heic";
            case TFuzzTarget::Webp: return "input.webp";
            case TFuzzTarget::Raw: return "input.dng";
            default: return "input.jpg";
        }
    };
    const QString path = WriteScratchFile(QString::fromLatin1(name()), input);
    TBitmap32 image;
    try {
        // As the window and the command line load: a JPEG's metadata segments are read too.
        // Kept as stored (not turned upright), so the raster has the declared size.
        LoadPhotoFromFile(path, image, false);
    } catch (const KelvoError& error) {
        if (error.Message().isEmpty()) return QStringLiteral("a failed load gave no message");
        if (!image.Empty()) return Describe("a failed load left a raster behind", error.Message());
        return {};
    } catch (const std::exception& error) {
        return Describe("the load threw a foreign exception", QString::fromUtf8(error.what()));
    }
    // The content decides the decoder, so the header to compare with is the one the loader read.
    if (ImageDecoderOf(path) != DecoderOfTarget(target)) {
        if (image.Empty()) return QStringLiteral("a load that succeeded gave no picture");
        return {};
    }
    // A RAW file's preview is whichever picture LibRaw finds largest: no header declares it, but
    // it is held to the bound of a picture of its file's size. So is a HEIF picture whose file
    // leaves out the size box, which libheif reads from the coded picture instead.
    const TDeclaredSize heifSize =
        target == TFuzzTarget::Heif ? DeclaredSize(target, input, path) : TDeclaredSize{};
    const bool undeclared =
        target == TFuzzTarget::Heif && heifSize.width == 0 && heifSize.height == 0;
    if (target == TFuzzTarget::Raw || undeclared) {
        if (image.Empty()) return QStringLiteral("a load that succeeded gave no picture");
        if (std::int64_t(image.Width()) * image.Height() * 4 >
            DecodeMemoryBound(std::int64_t(input.size())))
            return QStringLiteral("the preview is larger than its file's bound");
        return {};
    }
    const TDeclaredSize declared = DeclaredSize(target, input, path);
    if (image.Width() != declared.width || image.Height() != declared.height)
        return QStringLiteral("decoded %1 x %2, the header declares %3 x %4")
            .arg(image.Width())
            .arg(image.Height())
            .arg(declared.width)
            .arg(declared.height);
    return {};
}

// The help reader turns any bytes into a document the help window can show: one HTML body
// whose tags nest properly, with every character of the text escaped.
QString CheckHelpDocument(std::span<const std::uint8_t> input) {
    const QString html = RtfToHtml(QByteArray::fromRawData(
        reinterpret_cast<const char*>(input.data()), qsizetype(input.size())));
    const QString head = QStringLiteral("<html><body>"), tail = QStringLiteral("</body></html>");
    if (!html.startsWith(head) || !html.endsWith(tail))
        return Describe("the document is not one HTML body", html.left(200));
    std::vector<QString> open;
    const QString body = html.mid(head.size(), html.size() - head.size() - tail.size());
    for (qsizetype at = 0; at < body.size(); ++at) {
        const QChar c = body[at];
        if (c.isSurrogate()) {
            if (c.isHighSurrogate() && at + 1 < body.size() && body[at + 1].isLowSurrogate()) {
                ++at;
                continue;
            }
            return QStringLiteral("a lone surrogate at %1").arg(at);
        }
        if (c == u'>') return QStringLiteral("an unescaped '>' at %1").arg(at);
        if (c != u'<') continue;
        const qsizetype end = body.indexOf(u'>', at);
        if (end < 0) return QStringLiteral("an unclosed tag at %1").arg(at);
        const QString tag = body.mid(at + 1, end - at - 1);
        at = end;
        if (tag == QStringLiteral("br /")) continue;
        if (tag.startsWith(u'/')) {
            if (open.empty() || open.back() != tag.mid(1))
                return Describe("a closing tag that closes nothing open", tag);
            open.pop_back();
            continue;
        }
        const QString name = tag.section(u' ', 0, 0);
        static const QStringList kKnown = {
            QStringLiteral("p"),  QStringLiteral("span"), QStringLiteral("b"),
            QStringLiteral("i"),  QStringLiteral("u"),    QStringLiteral("s"),
            QStringLiteral("ul"), QStringLiteral("ol"),   QStringLiteral("li")};
        if (!kKnown.contains(name)) return Describe("a tag the writer never makes", tag);
        open.push_back(name);
    }
    if (!open.empty()) return Describe("tags left open", open.back());
    return {};
}

// A section and key as the settings file spells them, found by a plain reading of its lines.
struct TIniKey {
    QString section;
    QString key;
};

bool SameName(const QString& a, const QString& b) {
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

std::vector<TIniKey> KeysOf(const QByteArray& data) {
    std::vector<TIniKey> keys;
    QString section;
    bool inSection = false;
    for (const QByteArray& raw : data.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'[') && line.contains(u']')) {
            section = line.mid(1, line.indexOf(u']') - 1).trimmed();
            inSection = true;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inSection || equals < 0) continue;
        const QString key = line.left(equals).trimmed();
        // Names a write refuses (line breaks, a key that looks like a section) are only read.
        keys.push_back({section, key});
        if (keys.size() == 32) break;
    }
    return keys;
}

bool Writable(const TIniKey& name) {
    const auto hasBreak = [](const QString& s) { return s.contains(u'\r') || s.contains(u'\n'); };
    return !hasBreak(name.section) && !hasBreak(name.key) && !name.section.contains(u']') &&
           !name.key.contains(u'=') && !name.key.startsWith(u'[');
}

// The lines of a file with their terminators, so that lines compare byte for byte.
QList<QByteArray> LinesOf(const QByteArray& data) {
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < data.size()) {
        const qsizetype newline = data.indexOf('\n', start);
        const qsizetype end = newline < 0 ? data.size() : newline + 1;
        lines.append(data.mid(start, end - start));
        start = end;
    }
    return lines;
}

QByteArray WithoutEnding(QByteArray line) {
    if (line.endsWith('\n')) line.chop(1);
    if (line.endsWith('\r')) line.chop(1);
    return line;
}

// Reads every key, writes one (an existing key picked by the first byte, or a new one in an
// existing or a new section) and reads again: the written key reads back, every other key
// reads as before, and every line but the written one (and the terminator an unterminated last
// line gets) is kept byte for byte.
QString CheckSettingsRoundTrip(std::span<const std::uint8_t> input) {
    const QByteArray before(reinterpret_cast<const char*>(input.data()), qsizetype(input.size()));
    const QString path = WriteScratchFile(QStringLiteral("Settings.ini"), input);
    const std::vector<TIniKey> keys = KeysOf(before);
    TIniFile ini(path);
    const QString absent = QStringLiteral("\x01absent");
    std::vector<QString> valuesBefore;
    for (const TIniKey& k : keys)
        valuesBefore.push_back(ini.ReadString(k.section, k.key, absent));

    const unsigned pick = input.empty() ? 0 : input[0];
    TIniKey target{QStringLiteral("Fuzz Section"), QStringLiteral("FuzzKey")};
    if (!keys.empty() && pick % 3 != 0) {
        target = keys[pick % keys.size()];
        if (pick % 3 == 2) target.key = QStringLiteral("FuzzKey");  // new key, known section
    }
    if (!Writable(target)) return {};
    const QString value = QStringLiteral("written %1").arg(input.size());
    try {
        ini.WriteString(target.section, target.key, value);
    } catch (const KelvoError& error) {
        return Describe("a valid write was refused", error.Message());
    }
    const QString readBack = ini.ReadString(target.section, target.key, absent);
    if (readBack != value) return Describe("the written key reads back as", readBack);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (SameName(keys[i].section, target.section) && SameName(keys[i].key, target.key))
            continue;
        const QString now = ini.ReadString(keys[i].section, keys[i].key, absent);
        if (now != valuesBefore[i])
            return Describe("another key changed", keys[i].section + u'/' + keys[i].key);
    }

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("the settings file is gone");
    // A byte-order mark belongs to the file, not to its first line: it must stay in front.
    QByteArray oldData = before, newData = file.readAll();
    const QByteArray bom("\xEF\xBB\xBF");
    if (oldData.startsWith(bom)) {
        if (!newData.startsWith(bom)) return QStringLiteral("the byte-order mark was lost");
        oldData.remove(0, bom.size());
        newData.remove(0, bom.size());
    }
    const QList<QByteArray> oldLines = LinesOf(oldData), newLines = LinesOf(newData);
    qsizetype head = 0;
    while (head < oldLines.size() && head < newLines.size() && oldLines[head] == newLines[head])
        ++head;
    qsizetype tail = 0;
    while (tail < oldLines.size() - head && tail < newLines.size() - head &&
           oldLines[oldLines.size() - 1 - tail] == newLines[newLines.size() - 1 - tail])
        ++tail;
    const QList<QByteArray> removed = oldLines.mid(head, oldLines.size() - head - tail);
    QList<QByteArray> added = newLines.mid(head, newLines.size() - head - tail);
    // An unterminated last line may only gain its terminator.
    if (removed.size() == 1 && !removed[0].endsWith('\n') && !added.isEmpty() &&
        (added[0] == removed[0] + '\n' || added[0] == removed[0] + "\r\n")) {
        added.removeFirst();
    } else if (removed.size() == 1) {
        // The written key's own line: its name and the blanks before the value are kept.
        const qsizetype equals = removed[0].indexOf('=');
        if (added.size() != 1 || equals < 0 || !added[0].startsWith(removed[0].left(equals + 1)))
            return QStringLiteral("lines other than the written key's changed");
        return {};
    } else if (!removed.isEmpty()) {
        return QStringLiteral("%1 lines were removed or changed").arg(removed.size());
    }
    // The file held the key with this very value already (under a name the scan above did not
    // list): nothing needed to change.
    if (removed.isEmpty() && added.isEmpty()) return {};
    // A new key: its line, after its section's header when the section is new too.
    const QByteArray keyLine = target.key.trimmed().toUtf8() + '=' + value.toUtf8();
    const QByteArray sectionLine = '[' + target.section.trimmed().toUtf8() + ']';
    if (added.isEmpty() || WithoutEnding(added.last()) != keyLine ||
        (added.size() == 2 && WithoutEnding(added[0]) != sectionLine) || added.size() > 2)
        return QStringLiteral("the file gained lines other than the written key's");
    return {};
}

// The tag report reads any file or fails with the program's error; it holds known tags only and
// ends with CR LF, and the quiet form gives the same text. (A text tag's own line breaks are
// shown as stored, so the report's lines are not counted.)
QString CheckTagReport(std::span<const std::uint8_t> input) {
    const bool tiff =
        input.size() >= 2 && (input[0] == 'I' || input[0] == 'M') && input[1] == input[0];
    const QString path =
        WriteScratchFile(tiff ? QStringLiteral("input.tif") : QStringLiteral("input.jpg"), input);
    QString report;
    try {
        for (const TPropertyItem& item : ReadPropertyItems(path))
            if (!FindPropertyTag(item.Id))
                return QStringLiteral("an item of unknown tag %1 was read").arg(item.Id);
        report = ReadPropertyReport(path);
    } catch (const KelvoError& error) {
        if (error.Message().isEmpty()) return QStringLiteral("a failed report gave no message");
        if (!PropertyReport(path).isEmpty())
            return QStringLiteral("the quiet report has text where the report failed");
        return {};
    } catch (const std::exception& error) {
        return Describe("the report threw a foreign exception", QString::fromUtf8(error.what()));
    }
    if (!report.isEmpty() && !report.endsWith(QStringLiteral("\r\n")))
        return QStringLiteral("the report does not end with a line break");
    if (PropertyReport(path) != report)
        return QStringLiteral("the quiet report differs from the report");
    return {};
}

}  // namespace

std::span<const TFuzzTarget> FuzzTargets() {
    return kTargets;
}

QString FuzzTargetName(TFuzzTarget target) {
    return QString::fromLatin1(RuleOf(target).name);
}

std::optional<TFuzzTarget> FuzzTargetNamed(const QString& name) {
    for (const TSeedRule& rule : SeedRules())
        if (name == QLatin1String(rule.name)) return rule.target;
    return std::nullopt;
}

QString RunFuzzInput(TFuzzTarget target, std::span<const std::uint8_t> input) {
    switch (target) {
        case TFuzzTarget::Help:
            return CheckHelpDocument(input);
        case TFuzzTarget::Settings:
            return CheckSettingsRoundTrip(input);
        case TFuzzTarget::Tags:
            return CheckTagReport(input);
        default:
            return CheckImageLoad(target, input);
    }
}

QStringList FuzzSeedFiles(TFuzzTarget target, const QString& corpusDir) {
    const TSeedRule& rule = RuleOf(target);
    const auto within = [](const QString& path, const std::vector<const char*>& folders) {
        for (const char* folder : folders)
            if (path.contains(QLatin1String(folder))) return true;
        return false;
    };
    QStringList seeds;
    // An empty name would walk the current folder.
    if (corpusDir.isEmpty()) return seeds;
    QDirIterator it(corpusDir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        if (info.size() > kMaxFuzzInput) continue;
        bool chosen = within(path, rule.undottedWithin) && !info.fileName().contains(u'.');
        if (rule.onlyWithin.empty() || within(path, rule.onlyWithin))
            for (const char* ending : rule.endings)
                chosen = chosen || path.endsWith(QLatin1String(ending), Qt::CaseInsensitive);
        if (chosen) seeds.append(path);
    }
    seeds.sort();
    return seeds;
}
