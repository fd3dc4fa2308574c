#pragma once
// The size at which the view shows an image in Fit mode. Kept apart from the window so that
// the rounding can be checked without one.

#include <QSize>

// The largest size of one common scale that fits a view of viewWidth x viewHeight, small
// images enlarged as well as large ones shrunk. The two ratios are single-precision values and
// the scaled side is rounded to the nearest integer, halves to the even neighbour. An empty
// image or a view without area gives 0 x 0.
QSize FittedImageSize(int imageWidth, int imageHeight, int viewWidth, int viewHeight);
