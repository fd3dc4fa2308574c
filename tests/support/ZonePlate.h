#pragma once
// A 6000 x 4000 zone plate, the picture that shows whether a reduction aliases: its rings reach
// half a cycle per pixel at the far corner, finer than the screen's pixels once fitted. Two bands
// hold 1-pixel black lines 6 pixels apart on white (fabric, a fence): rows [400, 1000) of
// vertical lines across the whole width, and columns [400, 1000) of horizontal lines from row
// 1200 down. Made once per test program.

#include <QImage>
#include <QRect>
#include <algorithm>
#include <cmath>
#include <vector>

#include "image/Bitmap32.h"

inline const TBitmap32& ZonePlateWithLines() {
    static TBitmap32 plate;
    if (!plate.Empty()) return plate;
    plate.SetSize(6000, 4000);
    // Phase k r^2: the local frequency is k r / pi cycles per pixel, half at the far corner.
    const double k = 3.14159265358979 * 0.5 / std::hypot(6000.0, 4000.0);
    for (int y = 0; y < 4000; ++y) {
        TColor32* row = plate.ScanLine(y);
        for (int x = 0; x < 6000; ++x) {
            int v = int(127.5 + 127.5 * std::cos(k * (double(x) * x + double(y) * y)));
            if (y >= 400 && y < 1000) v = x % 6 == 0 ? 0 : 255;
            if (x >= 400 && x < 1000 && y >= 1200) v = y % 6 == 0 ? 0 : 255;
            row[x] = 0xFF000000u | TColor32(v) * 0x010101u;
        }
    }
    return plate;
}

// The regions of the plate shown at shown's size where its detail is finer than the screen, in
// screen pixels, a few pixels in from the bands' edges.
struct TZonePlateRegion {
    const char* Name;
    QRect Area;
    double Mean;  // the grey a correct reduction shows there: the rings' half, the lines' 5/6
};
inline std::vector<TZonePlateRegion> ZonePlateRegions(QSize shown) {
    const auto x = [shown](int plateX) { return plateX * shown.width() / 6000; };
    const auto y = [shown](int plateY) { return plateY * shown.height() / 4000; };
    const int margin = 4;
    const int corner = shown.width() / 13;
    return {{"outer corner", QRect(shown.width() - corner, shown.height() - corner, corner, corner),
             127.5},
            {"vertical lines",
             QRect(QPoint(margin, y(400) + margin),
                   QPoint(shown.width() - 1 - margin, y(1000) - 1 - margin)),
             212.5},
            {"horizontal lines",
             QRect(QPoint(x(400) + margin, y(1200) + margin),
                   QPoint(x(1000) - 1 - margin, shown.height() - 1 - margin)),
             212.5}};
}

// The mean and the standard deviation of the grey levels in area.
inline double MeanGrey(const QImage& image, const QRect& area) {
    double sum = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            sum += qGray(image.pixel(x, y));
    return sum / (double(area.width()) * area.height());
}
inline double StandardDeviation(const QImage& image, const QRect& area) {
    double sum = 0;
    double squares = 0;
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const double v = qGray(image.pixel(x, y));
            sum += v;
            squares += v * v;
            ++count;
        }
    const double mean = sum / count;
    return std::sqrt(std::max(0.0, squares / count - mean * mean));
}
