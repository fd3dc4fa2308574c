#include "image/Bitmap32.h"

#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "base/KelvoError.h"
#include "base/LargeBlock.h"
#include "image/QuarterTurns.h"

namespace {

// Stores of a photo's size take huge pages: first-touch faults otherwise dominate every new
// raster (a turn, a load, "X2"), costing more than the pixel work itself.
TColor32* AllocateZeroedStore(std::size_t pixels) {
    if (pixels > SIZE_MAX / sizeof(TColor32)) return nullptr;
    return static_cast<TColor32*>(AllocateLargeBlock(pixels * sizeof(TColor32)));
}

void ReleaseZeroedStore(TColor32* store, std::size_t pixels) {
    ReleaseLargeBlock(store, pixels * sizeof(TColor32));
}

}  // namespace

std::int64_t TBitmap32::MaxPixels() {
    static const std::int64_t limit = [] {
        const long pages = sysconf(_SC_PHYS_PAGES);
        const long pageSize = sysconf(_SC_PAGE_SIZE);
        std::int64_t byMemory = kMaxPixels;
        if (pages > 0 && pageSize > 0)
            byMemory = std::int64_t(pages) * pageSize / 2 / std::int64_t(sizeof(TColor32));
        return std::min(kMaxPixels, byMemory);
    }();
    return limit;
}

TBitmap32::TBitmap32(TBitmap32&& other) noexcept {
    Swap(other);
}

TBitmap32& TBitmap32::operator=(TBitmap32&& other) noexcept {
    if (this != &other) {
        ReleaseStore();
        Swap(other);
    }
    return *this;
}

TBitmap32::~TBitmap32() {
    ReleaseStore();
}

void TBitmap32::ReleaseStore() noexcept {
    ReleaseZeroedStore(FBits, PixelCount());
    FBits = nullptr;
    FWidth = 0;
    FHeight = 0;
}

std::uint64_t TBitmap32::NewContentStamp() noexcept {
    static std::atomic<std::uint64_t> last{0};
    return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

void TBitmap32::Swap(TBitmap32& other) noexcept {
    FContentStamp = NewContentStamp();
    other.FContentStamp = NewContentStamp();
    std::swap(FWidth, other.FWidth);
    std::swap(FHeight, other.FHeight);
    std::swap(FBits, other.FBits);
    std::swap(OuterColor, other.OuterColor);
    std::swap(DrawMode, other.DrawMode);
    std::swap(MasterAlpha, other.MasterAlpha);
    std::swap(StretchFilter, other.StretchFilter);
}

void TBitmap32::SetSize(int width, int height) {
    if (width < 1) width = 0;
    if (height < 1) height = 0;
    if (width == FWidth && height == FHeight) return;
    ReleaseStore();
    if (width != 0 && height != 0) {
        const std::int64_t pixels = std::int64_t(width) * std::int64_t(height);
        TColor32* store =
            pixels <= MaxPixels() ? AllocateZeroedStore(std::size_t(pixels)) : nullptr;
        if (!store) {
            Changed();
            throw KelvoError(QString::fromLatin1(TBitmap32::kAllocationFailure));
        }
        FBits = store;
    }
    FWidth = width;
    FHeight = height;
    Changed();
}

void TBitmap32::Clear(TColor32 color) {
    if (Empty()) return;
    std::fill_n(FBits, PixelCount(), color);
    Changed();
}

void TBitmap32::CopyPropertiesFrom(const TBitmap32& source) {
    OuterColor = source.OuterColor;
    DrawMode = source.DrawMode;
    MasterAlpha = source.MasterAlpha;
    StretchFilter = source.StretchFilter;
}

void TBitmap32::Assign(const TBitmap32& source) {
    Assign(source, [](const TColor32* from, TColor32* to, std::size_t count) {
        std::memcpy(to, from, count * sizeof(TColor32));
    });
}

void TBitmap32::Assign(const TBitmap32& source, const TPixelCopy& copy) {
    if (&source == this) return;
    SetSize(source.FWidth, source.FHeight);
    if (!Empty()) copy(source.FBits, FBits, PixelCount());
    CopyPropertiesFrom(source);
    Changed();
}

void TBitmap32::Assign(TBitmap32&& source) noexcept {
    if (&source == this) return;
    ReleaseStore();
    std::swap(FWidth, source.FWidth);
    std::swap(FHeight, source.FHeight);
    std::swap(FBits, source.FBits);
    CopyPropertiesFrom(source);
    Changed();
}

void TBitmap32::TurnWith(void (*kernel)(const TColor32*, int, int, TColor32*)) {
    TBitmap32 turned;
    turned.SetSize(FHeight, FWidth);
    if (!Empty()) kernel(FBits, FWidth, FHeight, turned.FBits);
    turned.CopyPropertiesFrom(*this);
    Assign(std::move(turned));
}

void TBitmap32::TurnClockwise() {
    TurnWith(RotateClockwise);
}

void TBitmap32::TurnCounterClockwise() {
    TurnWith(RotateCounterClockwise);
}
