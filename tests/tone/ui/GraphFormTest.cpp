// The graph window on its own: the charts' layout, titles and colours, that nothing on them
// zooms, and axes that follow what was plotted.

#include <gtest/gtest.h>

#include <QChart>
#include <QChartView>
#include <QLegend>
#include <QLineSeries>
#include <QValueAxis>

#include "tone/ui/GraphForm.h"

namespace {

QValueAxis* Axis(QLineSeries* series, Qt::Orientation orientation) {
    for (QAbstractAxis* axis : series->attachedAxes())
        if (axis->orientation() == orientation) return qobject_cast<QValueAxis*>(axis);
    return nullptr;
}

TEST(GraphForm, ChartsSeriesAndColoursAsDesigned) {
    TGraphForm form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("GraphForm"));
    const struct {
        QChartView* view;
        const char* title;
        QRect geometry;
        std::vector<std::pair<QLineSeries*, QColor>> series;
    } charts[] = {
        {form.Chart1,
         "Histogram",
         {0, 0, 400, 201},
         {{form.Series1, Qt::red}, {form.Series2, Qt::blue}}},
        {form.Chart2, "Transfer", {0, 200, 400, 321}, {{form.BarSeries1, Qt::red}}},
        {form.Chart3,
         "Histogram",
         {0, 520, 400, 210},
         {{form.LineSeries1, Qt::red}, {form.Series3, Qt::blue}}},
    };
    for (const auto& c : charts) {
        SCOPED_TRACE(c.view->objectName().toStdString());
        QChart* chart = c.view->chart();
        EXPECT_EQ(chart->title(), QLatin1String(c.title));
        EXPECT_EQ(c.view->geometry(), c.geometry);
        EXPECT_FALSE(chart->legend()->isVisible());
        EXPECT_EQ(c.view->rubberBand(), QChartView::NoRubberBand);
        EXPECT_FALSE(c.view->isInteractive());
        ASSERT_EQ(chart->series().size(), qsizetype(c.series.size()));
        for (std::size_t i = 0; i < c.series.size(); ++i) {
            EXPECT_EQ(chart->series()[qsizetype(i)], c.series[i].first);
            EXPECT_EQ(c.series[i].first->color(), c.series[i].second);
            EXPECT_FALSE(c.series[i].first->pointsVisible());
            QValueAxis* vertical = Axis(c.series[i].first, Qt::Vertical);
            ASSERT_NE(vertical, nullptr);
            EXPECT_FALSE(vertical->isVisible());
        }
    }
}

TEST(GraphForm, AxesFollowThePlottedValuesFromFixedMinimums) {
    TGraphForm form;
    IntensityHistogram histogram{};
    histogram[10] = 5;
    histogram[700] = 42;
    form.PlotHistogram(histogram, form.LineSeries1, form.Series3);
    ASSERT_EQ(form.LineSeries1->count(), kToneTableSize);
    EXPECT_EQ(form.Series3->at(9).y(), 0);
    EXPECT_EQ(form.Series3->at(10).y(), 5);
    EXPECT_EQ(form.Series3->at(768).y(), 47);
    EXPECT_EQ(Axis(form.LineSeries1, Qt::Vertical)->min(), 0);
    EXPECT_EQ(Axis(form.LineSeries1, Qt::Vertical)->max(), 42);
    EXPECT_EQ(Axis(form.LineSeries1, Qt::Horizontal)->min(), 0);
    EXPECT_EQ(Axis(form.LineSeries1, Qt::Horizontal)->max(), 768);
    EXPECT_EQ(Axis(form.Series3, Qt::Vertical)->max(), 47);
    // The "before" pair has axes of its own.
    EXPECT_NE(Axis(form.Series1, Qt::Vertical), Axis(form.LineSeries1, Qt::Vertical));

    TransferTable table;
    for (int s = 0; s < kToneTableSize; ++s)
        table[s] = 2 * s - 300;  // negative at the bottom, above 768 at the top
    form.PlotTransfer(table);
    ASSERT_EQ(form.BarSeries1->count(), kToneTableSize);
    EXPECT_EQ(form.BarSeries1->at(0).y(), -300);
    EXPECT_EQ(Axis(form.BarSeries1, Qt::Vertical)->min(), 0);
    EXPECT_EQ(Axis(form.BarSeries1, Qt::Vertical)->max(), 2 * 768 - 300);
    EXPECT_EQ(Axis(form.BarSeries1, Qt::Horizontal)->min(), 0);
    EXPECT_EQ(Axis(form.BarSeries1, Qt::Horizontal)->max(), 768);
}

}  // namespace
