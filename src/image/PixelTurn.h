#pragma once
// The eight ways a picture can lie on its pixel grid: as it is, mirrored, turned a half, flipped,
// transposed, turned a quarter clockwise, transversed, turned a quarter anticlockwise. They are
// what EXIF orientations 1 to 8 ask of the stored pixels, in that order, and what the quarter
// turns, flips and mirrors of the editor make of a picture; any number of them in a row is again
// one of the eight, so a picture's whole history of such steps is one value. A JPEG's DCT blocks
// can be laid each of these ways without decoding a pixel.

class TPixelTurn {
  public:
    enum TKind { None, Mirror, HalfTurn, Flip, Transpose, Clockwise, Transverse, CounterClockwise };

    constexpr TPixelTurn() = default;
    constexpr TPixelTurn(TKind kind) : FKind(kind) {}

    // What turns a picture stored with this EXIF orientation upright; None for 1 and for
    // anything outside 1..8.
    static constexpr TPixelTurn ForExifOrientation(int orientation) {
        return orientation >= 1 && orientation <= 8 ? TPixelTurn(TKind(orientation - 1))
                                                    : TPixelTurn();
    }

    constexpr TKind Kind() const { return FKind; }
    constexpr bool IsNone() const { return FKind == None; }
    // Width and height trade places.
    constexpr bool SwapsSides() const { return FKind >= Transpose; }

    // This turn, then `next`.
    constexpr TPixelTurn Then(TPixelTurn next) const {
        const TMatrix a = MatrixOf(FKind);
        const TMatrix b = MatrixOf(next.FKind);
        const TMatrix product{b.xx * a.xx + b.xy * a.yx, b.xx * a.xy + b.xy * a.yy,
                              b.yx * a.xx + b.yy * a.yx, b.yx * a.xy + b.yy * a.yy};
        for (int kind = None; kind <= CounterClockwise; ++kind)
            if (MatrixOf(TKind(kind)) == product) return TPixelTurn(TKind(kind));
        return TPixelTurn();
    }

    constexpr bool operator==(const TPixelTurn&) const = default;

  private:
    // Where a point goes, with the picture's centre at the origin and y growing downwards:
    // x' = xx * x + xy * y, y' = yx * x + yy * y.
    struct TMatrix {
        int xx, xy, yx, yy;
        constexpr bool operator==(const TMatrix&) const = default;
    };
    static constexpr TMatrix MatrixOf(TKind kind) {
        switch (kind) {
            case Mirror: return {-1, 0, 0, 1};
            case HalfTurn: return {-1, 0, 0, -1};
            case Flip: return {1, 0, 0, -1};
            case Transpose: return {0, 1, 1, 0};
            case Clockwise: return {0, -1, 1, 0};
            case Transverse: return {0, -1, -1, 0};
            case CounterClockwise: return {0, 1, -1, 0};
            case None: break;
        }
        return {1, 0, 0, 1};
    }

    TKind FKind = None;
};

static_assert(TPixelTurn(TPixelTurn::Clockwise).Then(TPixelTurn::Mirror) ==
              TPixelTurn(TPixelTurn::Transpose));
static_assert(TPixelTurn(TPixelTurn::Clockwise).Then(TPixelTurn::Flip) ==
              TPixelTurn(TPixelTurn::Transverse));
static_assert(TPixelTurn(TPixelTurn::Clockwise).Then(TPixelTurn::CounterClockwise).IsNone());
