#pragma once
// What the screen shows of the picture, as opposed to the picture itself: a reduction that
// averages the pixels each screen pixel covers (a fitted photo otherwise aliases into moiré and
// staircases), and the colours of an embedded ICC profile converted to sRGB for the screen. The
// raster the commands work on is never touched: the readout, every edit and every save keep the
// file's own values.

#include <QByteArray>
#include <QImage>
#include <cstdint>
#include <memory>

#include "image/Bitmap32.h"

// The box reduction of source to width x height (each no larger than the source's): output
// pixel (x, y) is the rounded mean of the source pixels [x*W/w, (x+1)*W/w) x [y*H/h, (y+1)*H/h)
// (integer division), every channel alike; alpha is forced to 255. Split over the cores for a
// large source.
QImage BoxReduce(const TBitmap32& source, int width, int height);

// The reduction the screen shows, per axis: boxes of k whole pixels, k = max(1, floor(source /
// (2 output))), from the top-left corner (the last one shorter where k does not divide the
// length) give an intermediate of ceil(source / k) means; a triangle of 1.25 output pixels'
// radius takes it to the output: output pixel x is the mean of intermediate pixels i weighted by
// max(0, 1 - |(i + 1/2) - (x + 1/2) s| / (1.25 s)), s = intermediate / output length, the weights
// of the pixels inside normalised to 1. Alpha is forced to 255. Split over the cores.
//
// A box alone passes detail finer than the screen when the ratio is not an integer: its boxes
// of 4 and 5 pixels (6000 on 1280) show 1-pixel lines 6 pixels apart at a quarter of their
// contrast, moiré on fabric. The triangle stops them; the boxes of whole pixels first keep the
// cost to one pass over the source, the triangle working on rows 2 to 4 times the output's
// size.
QImage SmoothReduce(const TBitmap32& source, int width, int height);

// A conversion from an embedded ICC profile to sRGB, on 32-bit pixels in place (alpha kept).
// Transforms are cached per profile for the session: stepping through a folder of one camera's
// photos builds one.
class TDisplayColor {
  public:
    // Null for an empty profile, one that LittleCMS cannot read, one that is not an RGB profile
    // for display, or one that is sRGB already (nothing to convert).
    static std::shared_ptr<const TDisplayColor> ForProfile(const QByteArray& iccProfile);

    ~TDisplayColor();
    TDisplayColor(const TDisplayColor&) = delete;
    TDisplayColor& operator=(const TDisplayColor&) = delete;

    // Converts count 0xAARRGGBB pixels.
    void Convert(TColor32* pixels, std::size_t count) const;
    // Every pixel of a Format_RGB32/ARGB32 image, split over the cores when it is large.
    void Convert(QImage& image) const;

  private:
    explicit TDisplayColor(void* transform) : FTransform(transform) {}
    void* FTransform;  // cmsHTRANSFORM, kept opaque so that only this file sees LittleCMS
};
