#pragma once
// What the tone window tests share: a main window with a picture of many intensities, the
// expected pixels and graphs from the core functions, and the points of the graph series.

#include <QAction>
#include <QChartView>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineSeries>
#include <QTimer>
#include <QTimerEvent>
#include <vector>

#include "support/RasterPatterns.h"
#include "support/ui/MainWindowFixture.h"
#include "tone/PixelFunctions.h"
#include "tone/ToneTables.h"
#include "tone/ui/GraphForm.h"

class ToneWindowFixture : public MainWindowFixture {
  protected:
    // A picture whose intensities spread over the whole range, with alpha bytes that differ
    // from the 0 every tone command writes, so an untouched pixel shows.
    static TColor32 Colour(int x, int y) {
        return TColor32((x * 7 + y) & 0xFF) << 24 |
               MakeColor((x * 37 + y * 3) % 256, (y * 53 + x) % 256, ((x + y) * 29) % 256);
    }
    void SetPicture(TBitmap32& image, int width = 24, int height = 16) {
        image.SetSize(width, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.SetPixel(x, y, Colour(x, y));
    }
    TKelvoImageForm& StartWithPicture(const QByteArray& settings = {}) {
        MarkRegistered("[Image]\nOneToOne=Yes\n" + settings);
        TKelvoImageForm& form = Start();
        SetPicture(Bitmap());
        return form;
    }
    TBitmap32 CopyOf(const TBitmap32& image) {
        TBitmap32 copy;
        copy.Assign(image);
        return copy;
    }

    void WriteSliderSettings(const QByteArray& text) {
        const QString name = SliderSettingsFileName();
        ASSERT_TRUE(QDir().mkpath(QFileInfo(name).absolutePath()));
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

    // Hands the timer its own tick, so no test waits for the 100 ms to pass.
    static void Tick(QTimer* timer) {
        ASSERT_TRUE(timer->isActive()) << "no re-apply is pending";
        QTimerEvent tick(timer->timerId());
        QCoreApplication::sendEvent(timer, &tick);
    }

    static std::vector<double> Points(const QLineSeries* series) {
        std::vector<double> values;
        for (const QPointF& point : series->points())
            values.push_back(point.y());
        return values;
    }
    template <typename Table>
    static std::vector<double> Values(const Table& table) {
        return std::vector<double>(table.begin(), table.end());
    }
    static std::vector<double> RunningTotals(const IntensityHistogram& histogram) {
        std::vector<double> totals;
        double total = 0;
        for (std::int32_t count : histogram)
            totals.push_back(total += count);
        return totals;
    }
    static IntensityHistogram HistogramOf(const TBitmap32& image) {
        IntensityHistogram histogram;
        ComputeHistogram(image, histogram);
        return histogram;
    }

    TGraphForm& Graph() { return *Form().GraphForm; }
    // The "before" pair, the transfer series and the "after" pair hold what was published.
    void ExpectBefore(const IntensityHistogram& histogram) {
        EXPECT_EQ(Points(Graph().Series1), Values(histogram));
        EXPECT_EQ(Points(Graph().Series2), RunningTotals(histogram));
    }
    void ExpectAfter(const IntensityHistogram& histogram) {
        EXPECT_EQ(Points(Graph().LineSeries1), Values(histogram));
        EXPECT_EQ(Points(Graph().Series3), RunningTotals(histogram));
    }
};
