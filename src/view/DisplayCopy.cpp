#include "view/DisplayCopy.h"

#include <lcms2.h>

#include <QHash>
#include <algorithm>
#include <cmath>
#include <cstring>
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

// The smooth reduction's triangle reaches this many output pixels either side: at 1 (the usual
// "bilinear" reduction) lines 6 pixels apart shown 4.5 times smaller keep a std of 6 grey levels
// and the worst alias of a sine passes at 0.20 of its contrast; at 1.25, 0.5 and 0.06, for a
// tenth less contrast at half the screen's resolution.
constexpr double kTriangleRadius = 1.25;

// The input pixels one output pixel reads and their weights (summing to 1).
struct TTaps {
    int First = 0;
    std::vector<float> Weights;
};

// The triangle for each output pixel of count out of length input pixels.
std::vector<TTaps> TriangleTaps(int length, int count) {
    std::vector<TTaps> all(std::size_t(count > 0 ? count : 0));
    const double scale = double(length) / count;
    const double radius = kTriangleRadius * scale;
    for (int x = 0; x < count; ++x) {
        const double centre = (x + 0.5) * scale;
        const int first = std::max(0, int(std::ceil(centre - radius - 0.5)));
        const int last = std::min(length - 1, int(std::floor(centre + radius - 0.5)));
        TTaps& taps = all[std::size_t(x)];
        double total = 0;
        std::vector<double> weights;
        for (int i = first; i <= last; ++i) {
            const double weight = std::max(0.0, 1 - std::abs(i + 0.5 - centre) / radius);
            // A tap of weight 0 (on the triangle's ends) is left out rather than read.
            if (weights.empty() && weight == 0) continue;
            if (weights.empty()) taps.First = i;
            weights.push_back(weight);
            total += weight;
        }
        while (!weights.empty() && weights.back() == 0)
            weights.pop_back();
        for (const double weight : weights)
            taps.Weights.push_back(float(weight / total));
    }
    return all;
}

// The sums of the rows [top, bottom) of source, byte by byte, into sums (a source row's bytes
// long). Rows go in pairs, and the first ones set the sums: the sums' row is written once per
// pair, never cleared.
template <class ColumnSum>
void ColumnSums(const TBitmap32& source, int top, int bottom, ColumnSum* sums) {
    const std::size_t values = std::size_t(source.Width()) * 4;
    const auto row = [&source](int y) {
        return reinterpret_cast<const std::uint8_t*>(source.ScanLine(y));
    };
    int y = top;
    if (bottom - top >= 2) {
        const std::uint8_t* a = row(y);
        const std::uint8_t* b = row(y + 1);
        for (std::size_t i = 0; i < values; ++i)
            sums[i] = ColumnSum(ColumnSum(a[i]) + b[i]);
        y += 2;
    } else {
        const std::uint8_t* a = row(y);
        for (std::size_t i = 0; i < values; ++i)
            sums[i] = ColumnSum(a[i]);
        y += 1;
    }
    for (; y + 1 < bottom; y += 2) {
        const std::uint8_t* a = row(y);
        const std::uint8_t* b = row(y + 1);
        for (std::size_t i = 0; i < values; ++i)
            sums[i] = ColumnSum(sums[i] + a[i] + b[i]);
    }
    if (y < bottom) {
        const std::uint8_t* a = row(y);
        for (std::size_t i = 0; i < values; ++i)
            sums[i] = ColumnSum(sums[i] + a[i]);
    }
}

// A pixel's 4 channels in one vector register: the compiler leaves the loop over a pixel's taps
// scalar otherwise.
typedef float TFloat4 __attribute__((vector_size(16)));

// The sums of boxes of k columns across a row of column sums (4 channels a pixel) of width
// pixels, the last box shorter when k does not divide the width. With 16-bit sums the 4
// channels of a pixel add as one 64-bit word: no lane reaches 65536, so none carries into the
// next.
template <class ColumnSum, class BoxSum>
void AddBoxes(const ColumnSum* sums, int width, int k, BoxSum* boxes) {
    const std::size_t whole = std::size_t(width / k);
    const std::size_t K = std::size_t(k);
    if constexpr (sizeof(ColumnSum) == 2 && sizeof(BoxSum) == 2) {
        const auto word = [sums](std::size_t x) {
            std::uint64_t value;
            std::memcpy(&value, sums + x * 4, sizeof value);
            return value;
        };
        const auto put = [boxes](std::size_t i, std::uint64_t value) {
            std::memcpy(boxes + i * 4, &value, sizeof value);
        };
        if (K == 2) {
            for (std::size_t i = 0; i < whole; ++i)
                put(i, word(2 * i) + word(2 * i + 1));
        } else {
            for (std::size_t i = 0; i < whole; ++i) {
                std::uint64_t box = 0;
                for (std::size_t t = 0; t < K; ++t)
                    box += word(i * K + t);
                put(i, box);
            }
        }
        if (whole * K < std::size_t(width)) {
            std::uint64_t box = 0;
            for (std::size_t x = whole * K; x < std::size_t(width); ++x)
                box += word(x);
            put(whole, box);
        }
    } else {
        const std::size_t count = (std::size_t(width) + K - 1) / K;
        for (std::size_t i = 0; i < count; ++i) {
            BoxSum box[4] = {};
            for (std::size_t x = i * K; x < std::min(std::size_t(width), i * K + K); ++x)
                for (std::size_t c = 0; c < 4; ++c)
                    box[c] += BoxSum(sums[x * 4 + c]);
            std::copy(box, box + 4, boxes + i * 4);
        }
    }
}

// The smooth reduction in one pass over the source. Each thread makes the box rows its output
// rows come to need (the sums of k x k boxes, 4 channels) and takes each at once through the
// triangle across, keeping the few rows the triangle down spans in a ring; an output row weights
// those. Across first: the rows are then output-wide, so the pass down, the one that reads every
// row several times, works on a narrow row. The box's area is folded into the triangle's weights.
// ColumnSum holds a column of a box, BoxSum a whole box (16 bits while at most 257 pixels of
// 255s; the 4 channels then add as one 64-bit word, no lane carrying into the next).
template <class ColumnSum, class BoxSum>
void SmoothInto(const TBitmap32& source, int boxX, int boxY, QImage& image) {
    const int boxWidth = (source.Width() + boxX - 1) / boxX;
    const int boxHeight = (source.Height() + boxY - 1) / boxY;
    std::vector<TTaps> columns = TriangleTaps(boxWidth, image.width());
    std::vector<TTaps> rows = TriangleTaps(boxHeight, image.height());
    const auto divideByBox = [](std::vector<TTaps>& all, int box, int length) {
        for (TTaps& taps : all)
            for (std::size_t t = 0; t < taps.Weights.size(); ++t) {
                const int first = (taps.First + int(t)) * box;
                taps.Weights[t] /= float(std::min(length, first + box) - first);
            }
    };
    divideByBox(columns, boxX, source.Width());
    divideByBox(rows, boxY, source.Height());
    std::size_t ringSize = 1;
    for (const TTaps& taps : rows)
        ringSize = std::max(ringSize, taps.Weights.size() + 1);
    const std::size_t count = rows.size();
    const int runs =
        std::min<int>(ParallelRunCount(source.PixelCount(), kPixelsPerRun), int(count));
    uchar* const bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    const std::size_t sourceValues = std::size_t(source.Width()) * 4;
    const std::size_t outputValues = std::size_t(image.width()) * 4;
    const std::size_t boxValues = std::size_t(boxWidth) * 4;

    ForEachRun(count, runs, 1, [&](std::size_t begin, std::size_t end, int) {
        std::vector<ColumnSum> sums(sourceValues);
        std::vector<BoxSum> boxes(boxValues);
        std::vector<float> boxesAsFloat(boxValues);
        std::vector<float> ring(ringSize * outputValues);
        std::vector<int> ringRow(ringSize, -1);  // the box row each slot holds
        std::vector<float> blend(outputValues);
        const auto acrossRow = [&](int j) -> const float* {
            float* const slot = ring.data() + std::size_t(j) % ringSize * outputValues;
            if (ringRow[std::size_t(j) % ringSize] == j) return slot;
            ringRow[std::size_t(j) % ringSize] = j;
            const int top = j * boxY;
            const int bottom = std::min(source.Height(), top + boxY);
            ColumnSums(source, top, bottom, sums.data());
            AddBoxes<ColumnSum, BoxSum>(sums.data(), source.Width(), boxX, boxes.data());
            for (std::size_t i = 0; i < boxValues; ++i)
                boxesAsFloat[i] = float(boxes[i]);
            float* out = slot;
            for (const TTaps& column : columns) {
                TFloat4 pixel = {0, 0, 0, 0};
                const float* b = boxesAsFloat.data() + std::size_t(column.First) * 4;
                for (const float weight : column.Weights) {
                    TFloat4 box;
                    std::memcpy(&box, b, sizeof box);
                    pixel += weight * box;
                    b += 4;
                }
                std::memcpy(out, &pixel, sizeof pixel);
                out += 4;
            }
            return slot;
        };
        for (std::size_t y = begin; y < end; ++y) {
            const TTaps& taps = rows[y];
            std::fill(blend.begin(), blend.end(), 0.0f);
            for (std::size_t t = 0; t < taps.Weights.size(); ++t) {
                const float* in = acrossRow(taps.First + int(t));
                const float weight = taps.Weights[t];
                float* sum = blend.data();
                for (std::size_t i = 0; i < outputValues; ++i)
                    sum[i] += weight * in[i];
            }
            const auto channel = [](float v) {
                return std::min<TColor32>(255, TColor32(v + 0.5f));
            };
            auto* out = reinterpret_cast<TColor32*>(bits + qsizetype(y) * stride);
            // The bytes of a TColor32 are B, G, R, A in memory.
            for (std::size_t x = 0; x < outputValues; x += 4)
                *out++ = 0xFF000000u | channel(blend[x + 2]) << 16 | channel(blend[x + 1]) << 8 |
                         channel(blend[x]);
        }
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

QImage SmoothReduce(const TBitmap32& source, int width, int height) {
    if (source.Empty() || width <= 0 || height <= 0 || width > source.Width() ||
        height > source.Height())
        return {};
    // Boxes of a whole number of pixels, the same on the whole axis: boxes of 4 and 5 pixels
    // mixed (what a box straight to a size 4.69 times smaller takes) jitter the samples, and
    // lines finer than the screen come through as moiré.
    const int boxX = std::max(1, int(source.Width() / (2 * std::int64_t(width))));
    const int boxY = std::max(1, int(source.Height() / (2 * std::int64_t(height))));
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) return {};
    const std::int64_t box = std::int64_t(boxX) * boxY;
    if (box * 255 <= 0xFFFF)
        SmoothInto<std::uint16_t, std::uint16_t>(source, boxX, boxY, image);
    else if (boxY * 255 <= 0xFFFF && box * 255 < (std::int64_t(1) << 32))
        SmoothInto<std::uint16_t, std::uint32_t>(source, boxX, boxY, image);
    else if (box * 255 < (std::int64_t(1) << 32))
        SmoothInto<std::uint32_t, std::uint32_t>(source, boxX, boxY, image);
    else
        SmoothInto<std::uint64_t, std::uint64_t>(source, boxX, boxY, image);
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
