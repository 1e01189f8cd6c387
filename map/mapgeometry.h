#pragma once

#include <QPointF>
#include <QSize>
#include <QString>

#include <optional>
#include <vector>

class ResultStore;
class StationList;

// The map's projection: equirectangular, the same number of pixels for a degree of longitude as
// for one of latitude, north up. Longitudes run on past the 180th meridian, so the world can be
// panned round; the centre's longitude is kept in -180..180.
class MapProjection
{
public:
    // The most a view shrinks the world: all of it fits the widget.
    static MapProjection wholeWorld(QSize size);

    QSize size() const { return size_; }
    double centreLon() const { return lon; }
    double centreLat() const { return lat; }
    double pixelsPerDegree() const { return scale; }

    QPointF toScreen(double longitude, double latitude) const;
    // The position under a point of the widget; its longitude may lie outside -180..180.
    QPointF toGeo(QPointF screen) const;
    // The longitudes and latitudes in view: west, east (east may be past 180), south, north.
    double west() const;
    double east() const;
    double south() const;
    double north() const;

    // The same view for a widget of another size: the centre and the scale stay, as long as the
    // whole world still fills it.
    void resize(QSize size);
    // Zooms by factor (above 1 closer), keeping the place under the screen point where it is.
    void zoomAt(QPointF screen, double factor);
    // Moves the view so that what was at screen point from is at point to.
    void pan(QPointF from, QPointF to);

    // How close a view may get: about 2 km a pixel.
    static constexpr double maxPixelsPerDegree = 60;

    bool operator==(const MapProjection &) const = default;

private:
    void keepInBounds();

    QSize size_;
    double lon = 0;
    double lat = 0;
    double scale = 1;
};

// A latitude and longitude range as the search would apply it: lat >= south and lat <= north,
// lon >= west and lon <= east. Without a latitude range every latitude counts; likewise for
// longitude.
struct SearchArea
{
    double south = -90, north = 90, west = -180, east = 180;
    // The Range switches: an area with neither holds every station and limits nothing.
    bool latitudes = false, longitudes = false;
    bool contains(double latitude, double longitude) const
    {
        return latitude >= south && latitude <= north && longitude >= west && longitude <= east;
    }
    bool empty() const { return south > north || west > east; }
    bool limits() const { return latitudes || longitudes; }
};

// The Range boxes of the search, as typed.
struct RangeTexts
{
    bool latOn = false;
    QString latLo, latHi;
    bool lonOn = false;
    QString lonLo, lonHi;
};

// What the typed ranges select. Nothing when a switched-on range has an end that is not a
// number (the statement would then fail or select by something else than a position). The
// ends of a range that is switched off are taken too where they are numbers, in drawnBox, so
// the map can show what switching it on would select.
struct RangeArea
{
    std::optional<SearchArea> area; // what the search selects by position
    std::optional<SearchArea> drawnBox; // the box of the four ends, when all are numbers
    QString problem; // why there is no area, for the user
};
RangeArea areaOfRanges(const RangeTexts &texts);

// A number as the server reads a number in the statement: decimal, optional sign and exponent,
// blanks around it allowed.
std::optional<double> degreesOf(const QString &text);

// The stations of a list sorted by latitude, to count and find those inside an area at once.
class StationIndex
{
public:
    explicit StationIndex(const StationList &list);
    // The stations of the list inside the area, edges included.
    int countInside(const SearchArea &area) const;
    std::vector<int> inside(const SearchArea &area) const;

private:
    struct Entry
    {
        double lat, lon;
        int station;
    };
    std::vector<Entry> byLatitude;
};

// The stations a result names: for each record, its icao, else its faa, else its wmo column's
// identifier, the first that is a station of the list.
struct ResultStations
{
    std::vector<int> stations; // of the list, each once, in the list's order
    std::vector<QString> columns; // the identifier columns the result has, of icao, faa, wmo
    int records = 0;
    int recordsOutsideList = 0; // records none of whose identifiers is a station of the list
};
ResultStations findResultStations(const ResultStore &store, const StationList &list);

// The station of the list drawn nearest to a screen point, in whichever turn of the world the
// view shows it; nothing when none is within radius pixels.
std::optional<int> stationNear(const StationList &list, const MapProjection &view, QPointF point,
                               double radius);
