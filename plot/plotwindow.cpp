#include "plot/plotwindow.h"

#include "common/groupthousands.h"
#include "widgets/widgethelpers.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolTip>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

using Widgets::named;

namespace {

// About as many points as the plot draws in a frame's time on a software-painted window.
constexpr qint64 drawnPointBudget = 60000;

QString count(std::size_t n)
{
    return GroupThousands(QString::number(n));
}

// Well separated colours for any number of stations: hues a golden angle apart, with two
// levels of saturation and value so neighbours differ in more than hue.
QColor seriesColour(int index)
{
    const int hue = static_cast<int>(std::fmod(index * 137.508, 360.0));
    return QColor::fromHsv(hue, index % 2 ? 160 : 230, index % 3 == 2 ? 150 : 200);
}

QString timeText(double minutes)
{
    return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(minutes) * 60, Qt::UTC)
               .toString(QStringLiteral("yyyy-MM-dd hh:mm"))
        + QStringLiteral(" UTC");
}

} // namespace

PlotWindow::PlotWindow(const ResultStore &result, const QString &resultLabel,
                       const QString &preferredColumn, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , store(std::make_shared<const ResultStore>(result))
    , plotColumns(findPlotColumns(result))
    , plotData(std::make_shared<const PlotData>())
    , resultLabel(resultLabel)
{
    setObjectName(QStringLiteral("PlotWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Plot of %1").arg(resultLabel));
    setAccessibleName(windowTitle());
    resize(1000, 620);

    chooseImagePath = [this] {
        return askImagePath();
    };

    auto *columnLabel = new QLabel(QStringLiteral("&Value:"), this);
    columnChooser = named(new QListWidget(this), "ColumnList", QStringLiteral("Value column"));
    columnLabel->setBuddy(columnChooser);
    request.valueColumn = plotColumns.initialColumn(preferredColumn);
    for (int column : plotColumns.valueColumns()) {
        auto *item = new QListWidgetItem(plotColumns.names[column], columnChooser);
        item->setData(Qt::UserRole, column);
        if (column == request.valueColumn)
            columnChooser->setCurrentItem(item);
    }

    auto *timeLabel = new QLabel(QStringLiteral("&Time:"), this);
    timeChooser = named(new QComboBox(this), "TimeChooser", QStringLiteral("Time axis"));
    timeLabel->setBuddy(timeChooser);
    timeChooser->addItem(QStringLiteral("observation time"));
    if (plotColumns.hasReportTime())
        timeChooser->addItem(QStringLiteral("report time"));
    timeChooser->setEnabled(timeChooser->count() > 1);

    resetButton = named(new QPushButton(QStringLiteral("&Reset view"), this), "ResetViewButton");
    saveButton = named(new QPushButton(QStringLiteral("&Save image..."), this), "SaveImageButton");
    copyButton = named(new QPushButton(QStringLiteral("&Copy image"), this), "CopyImageButton");

    plot = named(new QCustomPlot(this), "Plot", QStringLiteral("Plot"));
    plot->setAccessibleDescription(
        QStringLiteral("Wheel, + and -: zoom. Drag, Left and Right: pan. Shift-drag or "
                       "right-drag: zoom to a rectangle. Home: the whole result."));
    plot->setFocusPolicy(Qt::StrongFocus);
    plot->setMinimumSize(300, 200);
    plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    plot->setNoAntialiasingOnDrag(true);
    plot->setNotAntialiasedElements(QCP::aePlottables);
    // The station list beside the plot is the legend; the plot's own would grow one entry at a
    // time.
    plot->setAutoAddPlottableToLegend(false);
    auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
    ticker->setDateTimeSpec(Qt::UTC);
    ticker->setDateTimeFormat(QStringLiteral("yyyy-MM-dd\nhh:mm"));
    plot->xAxis->setTicker(ticker);
    plot->installEventFilter(this);
    plot->setMouseTracking(true);

    legend = named(new QListWidget(this), "Legend", QStringLiteral("Stations"));
    legend->setToolTip(QStringLiteral("Uncheck a station to hide its line."));
    legend->setFixedWidth(150);
    columnChooser->setFixedWidth(150);

    statusLine = named(new QLabel(this), "PlotStatus");
    hoverLine = named(new QLabel(this), "HoverPoint");
    hoverLine->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *controls = new QHBoxLayout;
    controls->addWidget(timeLabel);
    controls->addWidget(timeChooser);
    controls->addStretch();
    controls->addWidget(resetButton);
    controls->addWidget(saveButton);
    controls->addWidget(copyButton);
    // Beside the plot: the column shown above the stations.
    auto *lists = new QVBoxLayout;
    lists->addWidget(columnLabel);
    lists->addWidget(columnChooser, 1);
    lists->addWidget(new QLabel(QStringLiteral("Stations:"), this));
    lists->addWidget(legend, 2);
    auto *middle = new QHBoxLayout;
    middle->addWidget(plot, 1);
    middle->addLayout(lists);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(statusLine, 1);
    bottom->addWidget(hoverLine);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addLayout(middle, 1);
    layout->addLayout(bottom);

    connect(columnChooser, &QListWidget::currentRowChanged, this, &PlotWindow::columnChosen);
    connect(timeChooser, &QComboBox::activated, this, &PlotWindow::columnChosen);
    connect(resetButton, &QPushButton::clicked, this, &PlotWindow::resetView);
    connect(saveButton, &QPushButton::clicked, this, &PlotWindow::saveImage);
    connect(copyButton, &QPushButton::clicked, this, &PlotWindow::copyImage);
    connect(legend, &QListWidget::itemChanged, this, &PlotWindow::legendChanged);
    connect(plot->xAxis, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), this,
            &PlotWindow::redecimate);
    connect(plot, &QCustomPlot::afterLayout, this, &PlotWindow::redecimate);
    connect(plot, &QCustomPlot::afterReplot, this, [this] {
        if (announcePending) {
            announcePending = false;
            emit plotShown();
        }
    });

    readColumn();
}

PlotWindow::~PlotWindow()
{
    jobs.close();
}

void PlotWindow::columnChosen()
{
    const QListWidgetItem *item = columnChooser->currentItem();
    if (!item)
        return;
    const int column = item->data(Qt::UserRole).toInt();
    const bool reportTime = timeChooser->currentIndex() == 1;
    if (column == request.valueColumn && reportTime == request.reportTime)
        return;
    request = {column, reportTime};
    readColumn();
}

void PlotWindow::readColumn()
{
    const std::uint64_t id = ++readId;
    if (request.valueColumn < 0) {
        statusLine->setText(plotColumns.whyNot());
        return;
    }
    statusLine->setText(
        QStringLiteral("Reading %1...").arg(plotColumns.names[request.valueColumn]));
    jobs.run<std::shared_ptr<const PlotData>>(
        [store = store, columns = plotColumns, request = request] {
            return std::make_shared<const PlotData>(readPlotData(*store, columns, request));
        },
        [this, id](std::shared_ptr<const PlotData> data) { showData(id, std::move(data)); });
}

void PlotWindow::showData(std::uint64_t id, std::shared_ptr<const PlotData> data)
{
    // A column chosen after this one was asked for wins.
    if (id != readId)
        return;
    plotData = std::move(data);
    plot->clearGraphs();
    graphs.clear();
    picked = {};
    legend->clear();
    const QSignalBlocker quiet(legend);
    for (std::size_t s = 0; s < plotData->series.size(); ++s) {
        const PlotSeries &series = plotData->series[s];
        QCPGraph *graph = plot->addGraph();
        const QString name = series.name.isEmpty() ? QStringLiteral("(no station)") : series.name;
        graph->setName(name);
        graph->setPen(QPen(seriesColour(static_cast<int>(s)), 1));
        graph->setLineStyle(QCPGraph::lsLine);
        graph->setAdaptiveSampling(false);
        graphs.push_back(graph);

        auto *item = new QListWidgetItem(name, legend);
        // The list paints a colour given as decoration as a swatch; no pixmap per station.
        item->setData(Qt::DecorationRole, seriesColour(static_cast<int>(s)));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }

    const QString column = plotColumns.names[request.valueColumn];
    const QString unit = columnUnit(column, plotColumns.sounding);
    plot->yAxis->setLabel(unit.isEmpty() ? column : QStringLiteral("%1 (%2)").arg(column, unit));
    plot->xAxis->setLabel(request.reportTime ? QStringLiteral("Report time (UTC)")
                                             : QStringLiteral("Observation time (UTC)"));
    plot->setAccessibleName(QStringLiteral("Plot of %1 against time").arg(column));

    QString status = QStringLiteral("%1 points of %2 in %3 series")
                         .arg(count(plotData->points), column, count(plotData->series.size()));
    if (plotData->notNumbers == 1)
        status += QStringLiteral("; 1 cell that is not a number skipped");
    else if (plotData->notNumbers > 1)
        status += QStringLiteral("; %1 cells that are not numbers skipped")
                      .arg(count(plotData->notNumbers));
    if (plotData->badTimes == 1)
        status += QStringLiteral("; 1 record without a valid time skipped");
    else if (plotData->badTimes > 1)
        status += QStringLiteral("; %1 records without a valid time skipped")
                      .arg(count(plotData->badTimes));
    statusLine->setText(status + QLatin1Char('.'));

    // The lines are painted in an event of their own, so making the series and painting them
    // are two shorter pauses of the window rather than one long one.
    announcePending = true;
    showWholeRange();
    plot->replot(QCustomPlot::rpQueuedReplot);
}

void PlotWindow::resetView()
{
    showWholeRange();
    plot->replot();
}

void PlotWindow::showWholeRange()
{
    const PlotData &data = *plotData;
    if (data.first <= data.last) {
        // A single time gets an hour either side, so it is not a range of nothing.
        const double pad = data.first == data.last ? 60 : 0;
        plot->xAxis->setRange((data.first - pad) * 60, (data.last + pad) * 60);
    }
    if (data.low <= data.high) {
        const double pad = data.high > data.low ? (data.high - data.low) * 0.05 : 1;
        plot->yAxis->setRange(data.low - pad, data.high + pad);
    }
    redecimate();
}

void PlotWindow::redecimate()
{
    if (graphs.size() != plotData->series.size())
        return;
    const QCPRange range = plot->xAxis->range();
    const int width = std::max(1, plot->axisRect()->width());
    // A pixel column each while the lines of all visible stations together stay within what
    // can be drawn in a frame; beyond that, with hundreds of stations on top of each other,
    // each station gets wider columns, still keeping every column's extremes.
    const auto visible = std::count_if(graphs.begin(), graphs.end(),
                                       [](const QCPGraph *graph) { return graph->visible(); });
    const int columns = static_cast<int>(
        std::clamp<qint64>(drawnPointBudget / (4 * std::max<qint64>(1, visible)), 8, width));
    // Every replot lays the plot out and asks again; the points stay while nothing changed.
    const PickedView view {plotData.get(), range.lower, range.upper, columns, visible};
    if (view == picked)
        return;
    picked = view;
    QVector<QCPGraphData> points;
    for (std::size_t s = 0; s < graphs.size(); ++s) {
        if (!graphs[s]->visible())
            continue;
        const PlotSeries &series = plotData->series[s];
        decimate(series.minutes.data(), series.values.data(), series.minutes.size(),
                 range.lower / 60, range.upper / 60, columns, scratch, &series.blocks);
        points.resize(static_cast<qsizetype>(scratch.minutes.size()));
        for (std::size_t i = 0; i < scratch.minutes.size(); ++i)
            points[static_cast<qsizetype>(i)] = {scratch.minutes[i] * 60, scratch.values[i]};
        graphs[s]->data()->set(points, true);
    }
}

void PlotWindow::legendChanged(QListWidgetItem *item)
{
    const int row = legend->row(item);
    if (row < 0 || static_cast<std::size_t>(row) >= graphs.size())
        return;
    graphs[row]->setVisible(item->checkState() == Qt::Checked);
    redecimate();
    plot->replot();
}

bool PlotWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == plot) {
        if (event->type() == QEvent::MouseButtonPress) {
            // Dragging pans; with Shift or the right button it draws the rectangle to zoom to.
            const auto *mouse = static_cast<QMouseEvent *>(event);
            const bool band = mouse->button() == Qt::RightButton
                || mouse->modifiers().testFlag(Qt::ShiftModifier);
            plot->setSelectionRectMode(band ? QCP::srmZoom : QCP::srmNone);
        } else if (event->type() == QEvent::MouseMove) {
            showNearestPoint(static_cast<QMouseEvent *>(event)->position().toPoint());
        } else if (event->type() == QEvent::KeyPress) {
            return zoomByKey(static_cast<QKeyEvent *>(event)->key());
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool PlotWindow::zoomByKey(int key)
{
    QCPAxis *const time = plot->xAxis;
    switch (key) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        time->scaleRange(0.8);
        break;
    case Qt::Key_Minus:
        time->scaleRange(1 / 0.8);
        break;
    case Qt::Key_Left:
        time->moveRange(-time->range().size() * 0.1);
        break;
    case Qt::Key_Right:
        time->moveRange(time->range().size() * 0.1);
        break;
    case Qt::Key_Home:
        resetView();
        return true;
    default:
        return false;
    }
    plot->replot();
    return true;
}

void PlotWindow::showNearestPoint(const QPoint &position)
{
    double best = std::numeric_limits<double>::max();
    int bestGraph = -1;
    double key = 0, value = 0;
    for (std::size_t s = 0; s < graphs.size(); ++s) {
        if (!graphs[s]->visible())
            continue;
        for (const QCPGraphData &point : *graphs[s]->data()) {
            if (std::isnan(point.value))
                continue;
            const double dx = plot->xAxis->coordToPixel(point.key) - position.x();
            const double dy = plot->yAxis->coordToPixel(point.value) - position.y();
            const double distance = dx * dx + dy * dy;
            if (distance < best) {
                best = distance;
                bestGraph = static_cast<int>(s);
                key = point.key;
                value = point.value;
            }
        }
    }
    // Only points within reach of the pointer are named.
    if (bestGraph < 0 || best > 30 * 30) {
        hoverLine->clear();
        QToolTip::hideText();
        return;
    }
    const QString column = plotColumns.names[request.valueColumn];
    const QString unit = columnUnit(column, plotColumns.sounding);
    const QString text =
        QStringLiteral("%1  %2  %3%4")
            .arg(graphs[bestGraph]->name(), timeText(key / 60), QString::number(value, 'g', 6),
                 unit.isEmpty() ? QString() : QLatin1Char(' ') + unit);
    hoverLine->setText(text);
    QToolTip::showText(plot->mapToGlobal(position), text, plot);
}

QString PlotWindow::askImagePath()
{
    return QFileDialog::getSaveFileName(this, QStringLiteral("Save image"), QString(),
                                        QStringLiteral("PNG image (*.png)"));
}

void PlotWindow::saveImage()
{
    QString path = chooseImagePath();
    if (path.isEmpty())
        return;
    if (!path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive))
        path += QLatin1String(".png");
    if (!plot->savePng(path, plot->width(), plot->height()))
        statusLine->setText(QStringLiteral("The image could not be written to %1.").arg(path));
}

void PlotWindow::copyImage()
{
    QApplication::clipboard()->setImage(plot->toPixmap(plot->width(), plot->height()).toImage());
}
