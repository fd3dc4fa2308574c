#include "tone/ui/GraphForm.h"

#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QList>
#include <QPointF>
#include <QShowEvent>
#include <QTimer>
#include <QValueAxis>
#include <QWindow>
#include <algorithm>
#include <cstdint>

namespace {

QLineSeries* MakeSeries(const char* name, Qt::GlobalColor color, QObject* parent) {
    auto* series = new QLineSeries(parent);
    series->setObjectName(QLatin1String(name));
    series->setColor(color);
    series->setPointsVisible(false);
    return series;
}

QValueAxis* MakeAxis(QChart* chart, Qt::Alignment alignment, bool visible) {
    auto* axis = new QValueAxis(chart);
    axis->setVisible(visible);
    chart->addAxis(axis, alignment);
    return axis;
}

// A range with room in it: an axis whose ends meet draws nothing at all.
void SetRange(QValueAxis* axis, double minimum, double maximum) {
    if (!(maximum > minimum)) maximum = minimum + 1;
    axis->setRange(minimum, maximum);
}

}  // namespace

TGraphForm::TGraphForm(QWidget* parent) : QWidget(parent, Qt::Tool) {
    // A tool window of the main window (its parent): the window manager keeps it above the
    // main window, and showing or re-plotting it never takes the keyboard away from the window
    // the user types in (the main window or a slider window).
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    setObjectName(QStringLiteral("GraphForm"));
    setWindowTitle(QStringLiteral("GraphForm"));
    resize(416, 763);

    Chart1 = MakeChart("Chart1", QStringLiteral("Histogram"), Chart1Top, Chart1Height);
    Chart2 = MakeChart("Chart2", QStringLiteral("Transfer"), Chart2Top, Chart2Height);
    Chart3 = MakeChart("Chart3", QStringLiteral("Histogram"), Chart3Top, Chart3Height);

    Series1 = MakeSeries("Series1", Qt::red, this);
    Series2 = MakeSeries("Series2", Qt::blue, this);
    FBeforeAxes = AddHistogramSeries(Chart1, Series1, Series2);

    BarSeries1 = MakeSeries("BarSeries1", Qt::red, this);
    QChart* transfer = Chart2->chart();
    transfer->addSeries(BarSeries1);
    FTransferAxes.Bottom = MakeAxis(transfer, Qt::AlignBottom, true);
    FTransferAxes.Left = MakeAxis(transfer, Qt::AlignLeft, false);
    BarSeries1->attachAxis(FTransferAxes.Bottom);
    BarSeries1->attachAxis(FTransferAxes.Left);
    FTransferAxes.Bottom->setRange(0, kToneTableSize - 1);
    SetRange(FTransferAxes.Left, 0, 0);

    LineSeries1 = MakeSeries("LineSeries1", Qt::red, this);
    Series3 = MakeSeries("Series3", Qt::blue, this);
    FAfterAxes = AddHistogramSeries(Chart3, LineSeries1, Series3);
}

QChartView* TGraphForm::MakeChart(const char* name, const QString& title, int top, int height) {
    auto* chart = new QChart;
    chart->setTitle(title);
    chart->legend()->hide();
    auto* view = new QChartView(chart, this);
    view->setObjectName(QLatin1String(name));
    // The charts are for looking at: no rubber band, no wheel or key zoom.
    view->setRubberBand(QChartView::NoRubberBand);
    view->setInteractive(false);
    view->setGeometry(0, top, ChartWidth, height);
    return view;
}

TGraphForm::TChartAxes TGraphForm::AddHistogramSeries(QChartView* view, QLineSeries* counts,
                                                      QLineSeries* totals) {
    QChart* chart = view->chart();
    chart->addSeries(counts);
    chart->addSeries(totals);
    TChartAxes axes;
    axes.Bottom = MakeAxis(chart, Qt::AlignBottom, true);
    axes.Left = MakeAxis(chart, Qt::AlignLeft, false);
    axes.Right = MakeAxis(chart, Qt::AlignRight, false);
    counts->attachAxis(axes.Bottom);
    counts->attachAxis(axes.Left);
    totals->attachAxis(axes.Bottom);
    totals->attachAxis(axes.Right);
    SetRange(axes.Bottom, 0, 0);
    SetRange(axes.Left, 0, 0);
    SetRange(axes.Right, 0, 0);
    return axes;
}

void TGraphForm::PlotHistogram(const IntensityHistogram& histogram, QLineSeries* counts,
                               QLineSeries* totals) {
    const bool after = totals == Series3;
    TPlotted& plotted = after ? FAfterPlotted : FBeforePlotted;
    if (plotted.Valid && plotted.Histogram == histogram && counts->count() == kToneTableSize &&
        totals->count() == kToneTableSize)
        return;
    plotted.Histogram = histogram;
    plotted.Valid = true;
    QList<QPointF> countPoints;
    QList<QPointF> totalPoints;
    countPoints.reserve(kToneTableSize);
    totalPoints.reserve(kToneTableSize);
    std::int64_t total = 0;
    std::int32_t highest = 0;
    for (int s = 0; s < kToneTableSize; ++s) {
        countPoints.append(QPointF(s, histogram[s]));
        total += histogram[s];
        totalPoints.append(QPointF(s, double(total)));
        highest = std::max(highest, histogram[s]);
    }
    // One replace per series: appending point by point re-lays the chart out at every point.
    counts->replace(countPoints);
    totals->replace(totalPoints);

    const TChartAxes& axes = after ? FAfterAxes : FBeforeAxes;
    SetRange(axes.Bottom, 0, kToneTableSize - 1);
    SetRange(axes.Left, 0, highest);
    // The running total's axis follows the data at both ends.
    SetRange(axes.Right, totalPoints.first().y(), double(total));
}

void TGraphForm::PlotTransfer(const TransferTable& table) {
    QList<QPointF> points;
    points.reserve(kToneTableSize);
    std::int32_t highest = 0;
    for (int s = 0; s < kToneTableSize; ++s) {
        points.append(QPointF(s, table[s]));
        highest = std::max(highest, table[s]);
    }
    BarSeries1->replace(points);
    SetRange(FTransferAxes.Left, 0, highest);
}

void TGraphForm::ShowBeforeOnly() {
    resize(width(), Chart1Top + Chart1Height + BottomMargin);
    Chart2->hide();
    Chart3->hide();
    show();
}

void TGraphForm::ShowAllCharts() {
    resize(width(), Chart3Top + Chart3Height + BottomMargin);
    Chart2->show();
    Chart3->show();
    show();
}

void TGraphForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous()) return;
    PlaceFrameAtCorner(kFrameChecks);
}

// The frame, title bar included, goes to the screen's top-left corner. A window manager frames a
// window only after it is mapped and says nothing when it has: until the frame is known the
// client goes to the corner, and once it is known (looked for every 50 ms for a few seconds)
// the client is moved in by the frame's width.
// The window manager's own placement of a newly mapped window, which comes with the frame, is
// overruled by the same correction. On a window shown again the frame of its last showing is
// known at once, while the window manager may still place the new mapping some time later on a
// busy machine: the checks go on until the frame has stood at the corner for a while.
void TGraphForm::PlaceFrameAtCorner(int checksLeft, int settledChecks) {
    if (!isVisible()) return;
    const QWindow* window = windowHandle();
    const QMargins frame = window ? window->frameMargins() : QMargins();
    const QPoint client(frame.left(), frame.top());
    const bool placed = geometry().topLeft() == client;
    if (!placed) setGeometry(QRect(client, size()));
    settledChecks = placed && !frame.isNull() ? settledChecks + 1 : 0;
    constexpr int kSettledChecks = 6;
    if (checksLeft > 1 && settledChecks < kSettledChecks)
        QTimer::singleShot(50, this, [this, checksLeft, settledChecks] {
            PlaceFrameAtCorner(checksLeft - 1, settledChecks);
        });
}
