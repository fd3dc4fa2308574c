#include "view/DisplayCopy.h"

#include <lcms2.h>

#include <QHash>
#include <algorithm>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "base/ParallelRuns.h"

namespace {

// A thread of its own for every this many pixels, at most one per core: starting one costs as
// much as a few hundred thousand pixels of work.
constexpr std::size_t kPixelsPerRun = std::size_t(1) << 20;
constexpr std::size_t kConvertedPixelsPerRun = std::size_t(1) << 17;

struct TSpan {
    int First;
    int End;
};

// The source pixels [first, end) that output pixel i of count covers out of length.
std::vector<TSpan> Spans(int length, int count) {
    std::vector<TSpan> spans(std::size_t(count > 0 ? count : 0));
    for (int i = 0; i < count; ++i)
        spans[std::size_t(i)] = {int(std::int64_t(i) * length / count),
                                 int(std::int64_t(i + 1) * length / count)};
    return spans;
}

// One output row: first the source rows of its span added byte by byte into one row of sums
// (a loop the compiler turns into wide vector adds, so this pass runs near the memory's speed),
// then each output pixel's columns of those sums added and divided. ColumnSum holds a column of
// the span (16 bits while at most 257 rows of 255s), BoxSum a whole box.
template <class ColumnSum, class BoxSum>
void ReduceRow(const TBitmap32& source, const std::vector<TSpan>& columns, TSpan rows,
               ColumnSum* sums, TColor32* out) {
    const std::size_t values = std::size_t(source.Width()) * 4;
    std::fill(sums, sums + values, ColumnSum(0));
    for (int y = rows.First; y < rows.End; ++y) {
        const auto* in = reinterpret_cast<const std::uint8_t*>(source.ScanLine(y));
        for (std::size_t i = 0; i < values; ++i)
            sums[i] = ColumnSum(sums[i] + in[i]);
    }
    const BoxSum height = BoxSum(rows.End - rows.First);
    TColor32* pixel = out;
    for (const TSpan& span : columns) {
        BoxSum b = 0;
        BoxSum g = 0;
        BoxSum r = 0;
        // The bytes of a TColor32 are B, G, R, A in memory.
        for (const ColumnSum* s = sums + std::size_t(span.First) * 4;
             s < sums + std::size_t(span.End) * 4; s += 4) {
            b += s[0];
            g += s[1];
            r += s[2];
        }
        const BoxSum area = BoxSum(span.End - span.First) * height;
        const BoxSum half = area / 2;
        *pixel++ = 0xFF000000u | TColor32((r + half) / area) << 16 |
                   TColor32((g + half) / area) << 8 | TColor32((b + half) / area);
    }
}

template <class ColumnSum, class BoxSum>
void ReduceInto(const TBitmap32& source, QImage& image) {
    const std::vector<TSpan> columns = Spans(source.Width(), image.width());
    const std::vector<TSpan> rows = Spans(source.Height(), image.height());
    const std::size_t count = rows.size();
    const int runs = std::min<int>(ParallelRunCount(source.PixelCount(), kPixelsPerRun), int(count));
    // Row addresses taken here: QImage's own accessors count detaches, which threads must not.
    uchar* const bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    ForEachRun(count, runs, 1, [&](std::size_t begin, std::size_t end, int) {
        std::vector<ColumnSum> sums(std::size_t(source.Width()) * 4);
        for (std::size_t y = begin; y < end; ++y)
            ReduceRow<ColumnSum, BoxSum>(source, columns, rows[y], sums.data(),
                                         reinterpret_cast<TColor32*>(bits + qsizetype(y) * stride));
    });
}

cmsHPROFILE SrgbProfile() {
    static const cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    return srgb;
}

bool DescribesSrgb(cmsHPROFILE profile) {
    char description[256] = {};
    cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", description,
                           sizeof description);
    return QByteArray(description).contains("sRGB");
}

std::mutex gTransformsLock;
std::unordered_map<QByteArray, std::shared_ptr<const TDisplayColor>> gTransforms;

}  // namespace

QImage BoxReduce(const TBitmap32& source, int width, int height) {
    if (source.Empty() || width <= 0 || height <= 0 || width > source.Width() ||
        height > source.Height())
        return {};
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) return {};
    // The tallest and the largest box, to choose sums that cannot overflow.
    const std::int64_t tallest = source.Height() / height + 1;
    const std::int64_t largest = std::int64_t(source.Width() / width + 1) * tallest;
    const bool boxFits32 = largest * 255 < (std::int64_t(1) << 32);
    if (tallest * 255 <= 0xFFFF && boxFits32)
        ReduceInto<std::uint16_t, std::uint32_t>(source, image);
    else if (boxFits32)
        ReduceInto<std::uint32_t, std::uint32_t>(source, image);
    else
        ReduceInto<std::uint64_t, std::uint64_t>(source, image);
    return image;
}

std::shared_ptr<const TDisplayColor> TDisplayColor::ForProfile(const QByteArray& iccProfile) {
    if (iccProfile.isEmpty()) return nullptr;
    const std::lock_guard<std::mutex> lock(gTransformsLock);
    const auto known = gTransforms.find(iccProfile);
    if (known != gTransforms.end()) return known->second;

    std::shared_ptr<const TDisplayColor> color;
    if (cmsHPROFILE profile = cmsOpenProfileFromMem(iccProfile.constData(),
                                                    cmsUInt32Number(iccProfile.size()))) {
        if (cmsGetColorSpace(profile) == cmsSigRgbData && !DescribesSrgb(profile)) {
            // No one-pixel cache: the same transform runs on several threads at once.
            cmsHTRANSFORM transform = cmsCreateTransform(
                profile, TYPE_BGRA_8, SrgbProfile(), TYPE_BGRA_8, INTENT_PERCEPTUAL,
                cmsFLAGS_NOCACHE | cmsFLAGS_COPY_ALPHA);
            if (transform) color.reset(new TDisplayColor(transform));
        }
        cmsCloseProfile(profile);
    }
    gTransforms.emplace(iccProfile, color);
    return color;
}

TDisplayColor::~TDisplayColor() {
    cmsDeleteTransform(static_cast<cmsHTRANSFORM>(FTransform));
}

void TDisplayColor::Convert(TColor32* pixels, std::size_t count) const {
    // TColor32 0xAARRGGBB is stored B, G, R, A: LittleCMS's BGRA_8.
    cmsDoTransform(static_cast<cmsHTRANSFORM>(FTransform), pixels, pixels,
                   cmsUInt32Number(count));
}

void TDisplayColor::Convert(QImage& image) const {
    if (image.isNull()) return;
    const std::size_t rows = std::size_t(image.height());
    const std::size_t width = std::size_t(image.width());
    uchar* const bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    const int runs = std::min<int>(ParallelRunCount(rows * width, kConvertedPixelsPerRun), int(rows));
    ForEachRun(rows, runs, 1, [&](std::size_t begin, std::size_t end, int) {
        for (std::size_t y = begin; y < end; ++y)
            Convert(reinterpret_cast<TColor32*>(bits + qsizetype(y) * stride), width);
    });
}
