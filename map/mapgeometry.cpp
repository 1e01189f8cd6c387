#include "map/mapgeometry.h"

#include "finder/stationlist.h"
#include "store/resultstore.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_map>

MapProjection MapProjection::wholeWorld(QSize size)
{
    MapProjection view;
    view.size_ = size;
    view.scale = 0;
    view.keepInBounds();
    return view;
}

QPointF MapProjection::toScreen(double longitude, double latitude) const
{
    return {size_.width() / 2.0 + (longitude - lon) * scale,
            size_.height() / 2.0 - (latitude - lat) * scale};
}

QPointF MapProjection::toGeo(QPointF screen) const
{
    return {lon + (screen.x() - size_.width() / 2.0) / scale,
            lat - (screen.y() - size_.height() / 2.0) / scale};
}

double MapProjection::west() const
{
    return lon - size_.width() / 2.0 / scale;
}

double MapProjection::east() const
{
    return lon + size_.width() / 2.0 / scale;
}

double MapProjection::south() const
{
    return lat - size_.height() / 2.0 / scale;
}

double MapProjection::north() const
{
    return lat + size_.height() / 2.0 / scale;
}

void MapProjection::resize(QSize size)
{
    size_ = size;
    keepInBounds();
}

void MapProjection::zoomAt(QPointF screen, double factor)
{
    const QPointF place = toGeo(screen);
    scale *= factor;
    keepInBounds();
    lon = place.x() - (screen.x() - size_.width() / 2.0) / scale;
    lat = place.y() + (screen.y() - size_.height() / 2.0) / scale;
    keepInBounds();
}

void MapProjection::pan(QPointF from, QPointF to)
{
    lon -= (to.x() - from.x()) / scale;
    lat += (to.y() - from.y()) / scale;
    keepInBounds();
}

void MapProjection::keepInBounds()
{
    const double width = std::max(1, size_.width());
    const double height = std::max(1, size_.height());
    const double fits = std::min(width / 360, height / 180);
    scale = std::clamp(scale, fits, std::max(fits, maxPixelsPerDegree));
    // North and south the world ends at the poles: a view never shows more beyond them than
    // the whole world's view does.
    const double halfHeight = height / 2 / scale;
    lat = halfHeight >= 90 ? 0 : std::clamp(lat, -90 + halfHeight, 90 - halfHeight);
    // East and west it goes round: the same view, a turn of the world further, is this one.
    lon = std::remainder(lon, 360.0);
    if (lon >= 180)
        lon -= 360;
}

std::optional<double> degreesOf(const QString &text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

RangeArea areaOfRanges(const RangeTexts &texts)
{
    RangeArea result;
    const std::optional<double> latLo = degreesOf(texts.latLo), latHi = degreesOf(texts.latHi);
    const std::optional<double> lonLo = degreesOf(texts.lonLo), lonHi = degreesOf(texts.lonHi);
    if (latLo && latHi && lonLo && lonHi)
        result.drawnBox = SearchArea {*latLo, *latHi, *lonLo, *lonHi, true, true};
    SearchArea area;
    area.latitudes = texts.latOn;
    area.longitudes = texts.lonOn;
    if (texts.latOn) {
        if (!latLo || !latHi) {
            result.problem = QStringLiteral("The latitude Range has an end that is not a number.");
            return result;
        }
        area.south = *latLo;
        area.north = *latHi;
    }
    if (texts.lonOn) {
        if (!lonLo || !lonHi) {
            result.problem = QStringLiteral("The longitude Range has an end that is not a number.");
            return result;
        }
        area.west = *lonLo;
        area.east = *lonHi;
    }
    result.area = area;
    return result;
}

StationIndex::StationIndex(const StationList &list)
{
    byLatitude.reserve(size_t(list.size()));
    for (int i = 0; i < list.size(); ++i)
        byLatitude.push_back({list.at(i).lat, list.at(i).lon, i});
    std::sort(byLatitude.begin(), byLatitude.end(),
              [](const Entry &a, const Entry &b) { return a.lat < b.lat; });
}

int StationIndex::countInside(const SearchArea &area) const
{
    if (area.empty())
        return 0;
    const auto first = std::lower_bound(byLatitude.begin(), byLatitude.end(), area.south,
                                        [](const Entry &e, double lat) { return e.lat < lat; });
    int count = 0;
    for (auto e = first; e != byLatitude.end() && e->lat <= area.north; ++e)
        count += e->lon >= area.west && e->lon <= area.east;
    return count;
}

std::vector<int> StationIndex::inside(const SearchArea &area) const
{
    std::vector<int> found;
    if (area.empty())
        return found;
    const auto first = std::lower_bound(byLatitude.begin(), byLatitude.end(), area.south,
                                        [](const Entry &e, double lat) { return e.lat < lat; });
    for (auto e = first; e != byLatitude.end() && e->lat <= area.north; ++e) {
        if (e->lon >= area.west && e->lon <= area.east)
            found.push_back(e->station);
    }
    std::sort(found.begin(), found.end());
    return found;
}

ResultStations findResultStations(const ResultStore &store, const StationList &list)
{
    ResultStations result;
    // The identifier columns in the order a record's station is looked for.
    static const char *const names[] = {"icao", "faa", "wmo"};
    struct Column
    {
        int index;
        std::unordered_map<std::string, int> stations;
    };
    std::vector<Column> columns;
    for (const char *name : names) {
        for (int c = 0; c < store.columnCount(); ++c) {
            if (store.cellText(c, 0).compare(QLatin1String(name), Qt::CaseInsensitive) != 0)
                continue;
            Column column {c, {}};
            for (int s = 0; s < list.size(); ++s) {
                const Station &station = list.at(s);
                const QString &id = name[0] == 'i' ? station.icao
                    : name[0] == 'f'               ? station.faa
                                                   : station.wmo;
                if (!id.isEmpty())
                    column.stations.emplace(id.toUpper().toStdString(), s);
            }
            columns.push_back(std::move(column));
            result.columns.push_back(QString::fromLatin1(name));
            break;
        }
    }
    result.records = store.recordCount();
    if (columns.empty())
        return result;

    std::vector<bool> named(size_t(list.size()), false);
    ResultStore::RowReader rows(store);
    rows.seek(1);
    std::string upper;
    for (int r = 0; r < store.recordCount(); ++r) {
        const std::string_view *cells = rows.next();
        if (!cells)
            break;
        bool found = false;
        for (const Column &column : columns) {
            const std::string_view cell = cells[column.index];
            if (cell.empty())
                continue;
            upper.assign(cell);
            for (char &c : upper)
                c = char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
            const auto hit = column.stations.find(upper);
            if (hit != column.stations.end()) {
                named[size_t(hit->second)] = true;
                found = true;
                break;
            }
        }
        result.recordsOutsideList += !found;
    }
    for (int s = 0; s < list.size(); ++s) {
        if (named[size_t(s)])
            result.stations.push_back(s);
    }
    return result;
}

std::optional<int> stationNear(const StationList &list, const MapProjection &view, QPointF point,
                               double radius)
{
    const QPointF place = view.toGeo(point);
    std::optional<int> nearest;
    double best = radius * radius;
    for (int i = 0; i < list.size(); ++i) {
        const Station &s = list.at(i);
        // The station's copy in the turn of the world nearest to the point.
        const double lon = s.lon + 360 * std::round((place.x() - s.lon) / 360);
        const QPointF at = view.toScreen(lon, s.lat);
        const double dx = at.x() - point.x(), dy = at.y() - point.y();
        if (dx * dx + dy * dy <= best) {
            best = dx * dx + dy * dy;
            nearest = i;
        }
    }
    return nearest;
}
