#pragma once

#include "common/backgroundthread.h"
#include "plot/plotdata.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QCPGraph;
class QComboBox;
class QCustomPlot;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

// A window that draws one numeric column of a result against the observation time, one line per
// station. It keeps its own copy of the result's store (the copy shares the grid's batches), so
// it goes on showing the result it was opened for while the next query fills the grid. Reading
// the numbers happens on a worker thread; the window shows only as many points as its pixels
// can, picked anew on every zoom and pan.
class PlotWindow : public QWidget
{
    Q_OBJECT

public:
    // resultLabel names the result in the title; preferredColumn is the column to start with
    // when the result has it.
    PlotWindow(const ResultStore &store, const QString &resultLabel, const QString &preferredColumn,
               QWidget *parent = nullptr);
    ~PlotWindow() override;

    const PlotColumns &columns() const { return plotColumns; }
    // The points read for the column shown; empty while they are being read.
    const PlotData &data() const { return *plotData; }
    // The column shown, as a column of the result.
    int valueColumn() const { return request.valueColumn; }
    QCustomPlot *plotWidget() const { return plot; }

    // Where "Save image..." writes; by default the user is asked with a save dialog. Tests put
    // their own in place of the dialog. An empty path means the user cancelled.
    std::function<QString()> chooseImagePath;

    void resetView();
    void saveImage();
    void copyImage();

signals:
    // The points of the chosen column are on screen.
    void plotShown();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void readColumn();
    void showData(std::uint64_t id, std::shared_ptr<const PlotData> data);
    void columnChosen();
    // Sets the axes to all times and values of the data, with the points for that range.
    void showWholeRange();
    // Picks the points each visible series shows in the current time range.
    void redecimate();
    void showNearestPoint(const QPoint &position);
    // Zoom and pan from the keyboard; false for keys that do neither.
    bool zoomByKey(int key);
    void legendChanged(QListWidgetItem *item);
    QString askImagePath();

    std::shared_ptr<const ResultStore> store;
    PlotColumns plotColumns;
    PlotRequest request;
    std::shared_ptr<const PlotData> plotData;
    std::uint64_t readId = 0;
    // plotShown is due once the points just read have been painted.
    bool announcePending = false;
    QString resultLabel;

    QCustomPlot *plot = nullptr;
    QListWidget *columnChooser = nullptr;
    QComboBox *timeChooser = nullptr;
    QListWidget *legend = nullptr;
    QPushButton *resetButton = nullptr;
    QPushButton *saveButton = nullptr;
    QPushButton *copyButton = nullptr;
    QLabel *statusLine = nullptr;
    QLabel *hoverLine = nullptr;
    std::vector<QCPGraph *> graphs;
    DecimatedPoints scratch;
    // What the points in the graphs were picked for.
    struct PickedView
    {
        const PlotData *data = nullptr;
        double lower = 0, upper = 0;
        int columns = 0;
        qint64 visible = 0;
        bool operator==(const PickedView &) const = default;
    };
    PickedView picked;

    JobRunner jobs {this};
};
