#include "view/FitGeometry.h"

#include <cmath>

namespace {

// rint rounds in the current rounding mode, which is to-nearest-even unless someone changed
// it; nothing in the program does.
int RoundedSide(double value) {
    const double rounded = std::rint(value);
    return rounded < 1.0 ? 0 : int(rounded);
}

}  // namespace

QSize FittedImageSize(int imageWidth, int imageHeight, int viewWidth, int viewHeight) {
    if (imageWidth <= 0 || imageHeight <= 0 || viewWidth <= 0 || viewHeight <= 0) return {0, 0};
    // The ratios are deliberately single precision: the displayed size must match the
    // window-hugging rule pixel for pixel, and that rule works with these ratios.
    const float rx = float(viewWidth) / float(imageWidth);
    const float ry = float(viewHeight) / float(imageHeight);
    if (rx >= ry) return {RoundedSide(double(imageWidth) * double(ry)), viewHeight};
    return {viewWidth, RoundedSide(double(imageHeight) * double(rx))};
}
