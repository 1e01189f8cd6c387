#pragma once

#include "common/backgroundthread.h"
#include "map/mapgeometry.h"

#include <QWidget>

#include <cstdint>

class MapView;
class MessageSeam;
class QLabel;
class QPushButton;
class ResultStore;
class StationList;
struct Outlines;

// The map window beside the main window, never modal: where the stations of the list are, the
// stations of the result in the grid, and the search's latitude and longitude box, which follows
// the Range boxes as they are typed in and can be drawn anew on the map. A station picked on the
// map can be used for the search as the finder's are.
class MapWindow : public QWidget
{
    Q_OBJECT

public:
    // The seam shows the window's messages; it must outlive the window.
    MapWindow(const StationList &stations, const Outlines &outlines, MessageSeam &messages,
              QWidget *parent = nullptr);
    ~MapWindow() override;

    // The search's Range boxes and switches, as they stand now.
    void setRanges(const RangeTexts &ranges);
    // Marks the stations the result names, read away from the window from a copy of the store.
    void showResult(const ResultStore &store);
    // A run is filling the grid: no result is marked until it ends.
    void showRunning();

    MapView *Map = nullptr;
    QPushButton *DrawBoxButton = nullptr;
    QPushButton *ViewAsBoxButton = nullptr;
    QPushButton *WholeWorldButton = nullptr;
    QPushButton *UseStationButton = nullptr;
    QPushButton *CloseButton = nullptr;
    // The status line: the box and the stations of the list inside it.
    QLabel *StatusLine = nullptr;
    QLabel *ResultLine = nullptr;
    QLabel *StationLine = nullptr;

signals:
    // A box for the Range boxes, their texts as the finder gives them.
    void boxChosen(const QString &latLo, const QString &latHi, const QString &lonLo,
                   const QString &lonHi);
    // "Use this station": the station's ICAO id.
    void stationChosen(const QString &icao);
    // The stations of a result are marked.
    void resultShown();

public slots:
    void BoxDrawn(double lat1, double lon1, double lat2, double lon2);
    void ViewAsBoxButtonClick();
    void UseStationButtonClick();

private:
    void stationPicked(int station);
    void resultRead(std::uint64_t id, const ResultStations &found);
    void updateSummary();

    const StationList &stations;
    MessageSeam &messages;
    StationIndex index;
    JobRunner jobs {this};
    std::uint64_t readId = 0;
};
