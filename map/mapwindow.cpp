#include "map/mapwindow.h"

#include "common/groupthousands.h"
#include "common/messageseam.h"
#include "finder/geography.h"
#include "finder/stationlist.h"
#include "map/mapview.h"
#include "store/resultstore.h"
#include "widgets/widgethelpers.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>
#include <exception>
#include <memory>

using Widgets::button;

namespace {

// A line of text under the map that can be selected and copied.
QLabel *line(QWidget *parent, const char *name, const QString &accessible)
{
    auto *l = Widgets::named(new QLabel(parent), name, accessible);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    l->setWordWrap(true);
    return l;
}

QString count(qsizetype n)
{
    return GroupThousands(QString::number(n));
}

QString stationsText(qsizetype n)
{
    return count(n) + (n == 1 ? QStringLiteral(" station") : QStringLiteral(" stations"));
}

QString degrees(double value)
{
    return QString::number(value, 'f', 4);
}

} // namespace

MapWindow::MapWindow(const StationList &stations, const Outlines &outlines, MessageSeam &messages,
                     QWidget *parent)
    : QWidget(parent, Qt::Window)
    , stations(stations)
    , messages(messages)
    , index(stations)
{
    setObjectName(QStringLiteral("MapWindow"));
    setWindowTitle(QStringLiteral("Map"));
    setAccessibleName(QStringLiteral("Map"));

    Map = new MapView(stations, outlines, this);
    DrawBoxButton = button(this, "DrawBoxButton", QStringLiteral("&Draw box"),
                           QStringLiteral("Drag on the map to draw the search's latitude and "
                                          "longitude box (Shift-drag does it at any time)"));
    DrawBoxButton->setCheckable(true);
    ViewAsBoxButton = button(this, "ViewAsBoxButton", QStringLiteral("&Box the view"),
                             QStringLiteral("Make the part of the world in view the search's "
                                            "box (Enter on the map)"));
    WholeWorldButton = button(this, "WholeWorldButton", QStringLiteral("&Whole world"),
                              QStringLiteral("Show the whole world (Home on the map)"));
    UseStationButton = button(this, "UseStationButton", QStringLiteral("&Use this station"),
                              QStringLiteral("Search by the picked station's ICAO identifier"));
    UseStationButton->setEnabled(false);
    CloseButton =
        button(this, "CloseButton", QStringLiteral("Close"), QStringLiteral("Close the map"));
    StatusLine = line(this, "StatusLine", QStringLiteral("Box"));
    ResultLine = line(this, "ResultLine", QStringLiteral("Result's stations"));
    StationLine = line(this, "StationLine", QStringLiteral("Picked station"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(DrawBoxButton);
    buttons->addWidget(ViewAsBoxButton);
    buttons->addWidget(WholeWorldButton);
    buttons->addStretch(1);
    buttons->addWidget(UseStationButton);
    buttons->addWidget(CloseButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Map, 1);
    layout->addWidget(StationLine);
    layout->addWidget(ResultLine);
    layout->addWidget(StatusLine);
    layout->addLayout(buttons);

    connect(Map, &MapView::boxDrawn, this, &MapWindow::BoxDrawn);
    connect(Map, &MapView::stationPicked, this, &MapWindow::stationPicked);
    connect(Map, &MapView::viewAsBoxAsked, this, &MapWindow::ViewAsBoxButtonClick);
    connect(Map, &MapView::viewChanged, this, &MapWindow::updateSummary);
    connect(DrawBoxButton, &QPushButton::toggled, Map, &MapView::setDrawing);
    connect(ViewAsBoxButton, &QPushButton::clicked, this, &MapWindow::ViewAsBoxButtonClick);
    connect(WholeWorldButton, &QPushButton::clicked, Map, &MapView::showWholeWorld);
    connect(UseStationButton, &QPushButton::clicked, this, &MapWindow::UseStationButtonClick);
    connect(CloseButton, &QPushButton::clicked, this, &QWidget::close);

    stationPicked(-1);
    ResultLine->setText(QStringLiteral("No result is marked."));
    resize(960, 600);
}

MapWindow::~MapWindow()
{
    jobs.close();
}

void MapWindow::setRanges(const RangeTexts &ranges)
{
    const RangeArea selected = areaOfRanges(ranges);
    Map->setArea(selected.area, selected.drawnBox);
    const QString all = stationsText(stations.size());
    QString text;
    if (!selected.area) {
        text = selected.problem + QStringLiteral(" The map shows no box.");
    } else if (!selected.area->limits()) {
        text = QStringLiteral("No latitude or longitude Range is switched on, so the search "
                              "takes stations anywhere (all ")
            + all
            + QStringLiteral("). Shift-drag on the map, or press Enter on it, to make a box.");
    } else {
        const SearchArea &a = *selected.area;
        const QString lat = a.latitudes
            ? QStringLiteral("latitude ") + ranges.latLo + QStringLiteral(" to ") + ranges.latHi
            : QStringLiteral("every latitude");
        const QString lon = a.longitudes
            ? QStringLiteral("longitude ") + ranges.lonLo + QStringLiteral(" to ") + ranges.lonHi
            : QStringLiteral("every longitude");
        const int inside = index.countInside(a);
        text = QStringLiteral("Box: ") + lat + QStringLiteral(", ") + lon + QStringLiteral(": ")
            + count(inside) + QStringLiteral(" of the list's ") + all
            + (inside == 1 ? QStringLiteral(" lies inside.") : QStringLiteral(" lie inside."));
        if (a.empty())
            text += QStringLiteral(" A low end is above its high end, so the box is empty.");
    }
    StatusLine->setText(text);
    updateSummary();
}

void MapWindow::showRunning()
{
    ++readId;
    Map->setResultStations({});
    ResultLine->setText(QStringLiteral("A query is running; its stations are marked when it "
                                       "has ended."));
    updateSummary();
}

void MapWindow::showResult(const ResultStore &store)
{
    const std::uint64_t id = ++readId;
    // The copy shares the grid's batches, which never change, so the worker reads them while
    // the grid goes on.
    auto copy = std::make_shared<const ResultStore>(store);
    const StationList *list = &stations;
    ResultLine->setText(QStringLiteral("Reading the result's stations..."));
    try {
        jobs.run<ResultStations>([copy, list] { return findResultStations(*copy, *list); },
                                 [this, id](ResultStations found) { resultRead(id, found); });
    } catch (const std::exception &) {
        // No thread to read them on: the window's own thread does, once.
        resultRead(id, findResultStations(*copy, *list));
    }
}

void MapWindow::resultRead(std::uint64_t id, const ResultStations &found)
{
    if (id != readId)
        return;
    Map->setResultStations(found.stations);
    QString text;
    if (found.columns.empty()) {
        text = found.records == 0
            ? QStringLiteral("No result is marked: the grid holds no records.")
            : QStringLiteral("The result has no icao, faa or wmo column, so its stations "
                             "cannot be marked.");
    } else {
        const qsizetype n = qsizetype(found.stations.size());
        text = QStringLiteral("The result: ") + count(found.records)
            + (found.records == 1 ? QStringLiteral(" record of ") : QStringLiteral(" records of "))
            + stationsText(n) + QStringLiteral(" of the list, marked in orange");
        if (n > 0 && n <= 5) {
            QStringList ids;
            for (const int s : found.stations)
                ids << stations.at(s).icao;
            text += QStringLiteral(" (") + ids.join(QStringLiteral(", ")) + QLatin1Char(')');
        }
        text += QLatin1Char('.');
        if (found.recordsOutsideList > 0)
            text += QLatin1Char(' ') + count(found.recordsOutsideList)
                + QStringLiteral(" records name no station of the list.");
    }
    ResultLine->setText(text);
    updateSummary();
    emit resultShown();
}

void MapWindow::BoxDrawn(double lat1, double lon1, double lat2, double lon2)
{
    const LatLonBox box = boxBetween(lat1, lon1, lat2, lon2);
    if (box.problem != LatLonBox::Problem::None) {
        messages.information(drawnBoxProblemText(box.problem));
        return;
    }
    // One box is drawn at a time; drawing with the button on is for that one.
    DrawBoxButton->setChecked(false);
    emit boxChosen(boxEdgeText(box.latLo, true), boxEdgeText(box.latHi, false),
                   boxEdgeText(box.lonLo, true), boxEdgeText(box.lonHi, false));
}

void MapWindow::ViewAsBoxButtonClick()
{
    const MapProjection &view = Map->projection();
    BoxDrawn(view.south(), view.west(), view.north(), view.east());
}

void MapWindow::stationPicked(int station)
{
    UseStationButton->setEnabled(station >= 0);
    if (station < 0) {
        StationLine->setText(QStringLiteral("Click a station on the map to see what it is."));
    } else {
        const Station &s = stations.at(station);
        QString text = s.icao;
        if (!s.faa.isEmpty())
            text += QStringLiteral(" (FAA ") + s.faa + QLatin1Char(')');
        text += QStringLiteral(": ") + s.name;
        if (!s.place.isEmpty())
            text += QStringLiteral(", ") + s.place;
        text += QStringLiteral("; latitude ") + degrees(s.lat) + QStringLiteral(", longitude ")
            + degrees(s.lon);
        StationLine->setText(text);
    }
    updateSummary();
}

void MapWindow::UseStationButtonClick()
{
    const int station = Map->selectedStation();
    if (station >= 0)
        emit stationChosen(stations.at(station).icao);
}

void MapWindow::updateSummary()
{
    const MapProjection &view = Map->projection();
    const int picked = Map->selectedStation();
    const auto longitude = [](double lon) {
        lon = std::remainder(lon, 360.0);
        return QString::number(lon == 0 ? 0.0 : lon, 'f', 1);
    };
    const QString inView =
        (view.east() - view.west() >= 360 ? QStringLiteral("In view: every longitude")
                                          : QStringLiteral("In view: longitude ")
                 + longitude(view.west()) + QStringLiteral(" to ") + longitude(view.east()))
        + QStringLiteral(", latitude ") + QString::number(std::max(-90.0, view.south()), 'f', 1)
        + QStringLiteral(" to ") + QString::number(std::min(90.0, view.north()), 'f', 1)
        + QLatin1Char('.');
    Map->setSummary(StatusLine->text() + QLatin1Char(' ') + ResultLine->text()
                    + (picked >= 0
                           ? QStringLiteral(" Picked: ") + StationLine->text() + QLatin1Char('.')
                           : QStringLiteral(" No station picked."))
                    + QLatin1Char(' ') + inView);
}
