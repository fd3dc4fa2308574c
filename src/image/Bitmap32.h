#pragma once
// TBitmap32: the raster every operation of the program works on.
// Pixels are TColor32 values 0xAARRGGBB, stored little-endian (bytes B, G, R, A), row-major,
// top row first, rows contiguous without padding, so a whole raster can be handed to a codec,
// copied or cleared in one piece.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

class QImage;

using TColor32 = std::uint32_t;

enum class TDrawMode { dmOpaque, dmBlend, dmCustom };
enum class TStretchFilter { sfNearest, sfLinear, sfSpline, sfLanczos, sfMitchell };

// How a decoded picture is turned into raster pixels.
enum class TPictureKind {
    Bitmap32,  // a true 32-bit bitmap (TIFF reader, 32-bit BMP): values and alpha copied as they
               // are
    Drawn,     // anything else: drawn over black at 1:1, then alpha forced to 255
};

class TBitmap32 {
  public:
    // What every failure to obtain a pixel store reports, wherever it is detected.
    static constexpr const char* kAllocationFailure = "Can't allocate the DIB handle";

    // The largest pixel store a raster may ask for. A bigger request is refused before any
    // memory is taken, so a lying header can neither exhaust memory nor wrap an integer.
    static constexpr std::int64_t kMaxPixels = std::int64_t(1) << 30;  // 4 GiB of pixels
    static std::int64_t MaxPixels();  // kMaxPixels, lowered to half the machine's memory

    TBitmap32() = default;
    TBitmap32(const TBitmap32&) = delete;  // copies are made only by Assign
    TBitmap32& operator=(const TBitmap32&) = delete;
    TBitmap32(TBitmap32&& other) noexcept;
    TBitmap32& operator=(TBitmap32&& other) noexcept;
    ~TBitmap32();

    int Width() const noexcept { return FWidth; }
    int Height() const noexcept { return FHeight; }
    bool Empty() const noexcept { return FWidth == 0 || FHeight == 0; }
    std::size_t PixelCount() const noexcept { return std::size_t(FWidth) * std::size_t(FHeight); }
    std::size_t ByteCount() const noexcept { return PixelCount() * sizeof(TColor32); }

    // Values below 1 become 0. The same size keeps the pixels; any other size gives a fresh,
    // all-zero store. Throws KelvoError("Can't allocate the DIB handle") and leaves the
    // raster empty when the store cannot be had.
    void SetSize(int width, int height);
    void SetWidth(int width) { SetSize(width, FHeight); }
    void SetHeight(int height) { SetSize(FWidth, height); }

    void Clear(TColor32 color);

    // The unchecked pair: the caller guarantees 0 <= x < Width and 0 <= y < Height.
    TColor32 GetPixel(int x, int y) const noexcept {
        return FBits[std::size_t(y) * std::size_t(FWidth) + std::size_t(x)];
    }
    void SetPixel(int x, int y, TColor32 color) noexcept {
        FBits[std::size_t(y) * std::size_t(FWidth) + std::size_t(x)] = color;
    }
    // The bounds-tested pair: outside the raster reads give OuterColor, writes do nothing.
    TColor32 GetPixelChecked(int x, int y) const noexcept {
        return Contains(x, y) ? GetPixel(x, y) : OuterColor;
    }
    void SetPixelChecked(int x, int y, TColor32 color) noexcept {
        if (Contains(x, y)) SetPixel(x, y, color);
    }
    bool Contains(int x, int y) const noexcept {
        return unsigned(x) < unsigned(FWidth) && unsigned(y) < unsigned(FHeight);
    }

    TColor32* Bits() noexcept { return FBits; }
    const TColor32* Bits() const noexcept { return FBits; }
    TColor32* ScanLine(int y) noexcept { return FBits + std::size_t(y) * std::size_t(FWidth); }
    const TColor32* ScanLine(int y) const noexcept {
        return FBits + std::size_t(y) * std::size_t(FWidth);
    }

    // Assign from another raster: size, pixels (alpha included) and the drawing properties.
    void Assign(const TBitmap32& source);
    // Assign with the pixels copied by `copy`, which may look at them on the way: a caller that
    // needs both the copy and a pass over the pixels then reads them once.
    using TPixelCopy = std::function<void(const TColor32* from, TColor32* to, std::size_t count)>;
    void Assign(const TBitmap32& source, const TPixelCopy& copy);
    // Takes over the other raster's store without copying; the other raster becomes empty.
    void Assign(TBitmap32&& source) noexcept;
    // Assign from a decoded picture; a null QImage empties the raster.
    void Assign(const QImage& picture, TPictureKind kind);
    // No source: the raster becomes empty.
    void AssignEmpty() { SetSize(0, 0); }

    // A 32-bit picture (QImage::Format_ARGB32) of the same size holding exactly these values.
    QImage Export() const;

    void TurnClockwise();
    void TurnCounterClockwise();

    // Exchanges size, pixels and drawing properties with another raster, without copying.
    void Swap(TBitmap32& other) noexcept;

    // Tells the view that content changed outside the notifying operations (the accessors
    // notify nobody, so a command that edits through them calls this once when done).
    void Changed() const {
        FContentStamp = NewContentStamp();
        if (OnChange) OnChange();
    }

    // A value no other content of any raster had or will have, renewed by every notifying
    // operation, by Changed() and by Swap. Writes through Bits(), ScanLine() and SetPixel()
    // renew it only with the Changed() call that goes with them, so an unchanged stamp proves
    // the pixels unchanged only for a raster nobody writes through its accessors without it
    // (the undo snapshot, a kept source).
    std::uint64_t ContentStamp() const noexcept { return FContentStamp; }

    TColor32 OuterColor = 0;
    TDrawMode DrawMode = TDrawMode::dmOpaque;
    int MasterAlpha = 255;
    TStretchFilter StretchFilter = TStretchFilter::sfNearest;
    // Called after every size or content change made by SetSize, Clear, Assign and the turns.
    std::function<void()> OnChange;

  private:
    void CopyPropertiesFrom(const TBitmap32& source);
    // Replaces the raster by its turn through one of the quarter-turn kernels.
    void TurnWith(void (*kernel)(const TColor32*, int, int, TColor32*));
    void ReleaseStore() noexcept;
    static std::uint64_t NewContentStamp() noexcept;

    int FWidth = 0;
    int FHeight = 0;
    TColor32* FBits = nullptr;
    mutable std::uint64_t FContentStamp = NewContentStamp();
};
