#include "finder/geography.h"

#include "finder/stationlist.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

double radians(double degrees)
{
    return degrees * std::numbers::pi / 180.0;
}

double degrees(double radians)
{
    return radians * 180.0 / std::numbers::pi;
}

// What every refusal of a box across the 180th meridian tells, however the box was made.
QString dateLineReason()
{
    return QStringLiteral("would cross the 180th meridian, and the longitude Range holds one "
                          "stretch only, from its low end up to its high end.");
}

} // namespace

double greatCircleKm(double lat1, double lon1, double lat2, double lon2)
{
    const double dLat = radians(lat2 - lat1);
    const double dLon = radians(lon2 - lon1);
    const double a = std::sin(dLat / 2) * std::sin(dLat / 2)
        + std::cos(radians(lat1)) * std::cos(radians(lat2)) * std::sin(dLon / 2)
            * std::sin(dLon / 2);
    return 2 * earthRadiusKm * std::asin(std::min(1.0, std::sqrt(a)));
}

std::vector<Neighbour> nearestStations(const StationList &list, int index, int count)
{
    const Station &centre = list.at(index);
    std::vector<Neighbour> all;
    all.reserve(size_t(list.size()));
    for (int i = 0; i < list.size(); ++i) {
        if (i == index)
            continue;
        const Station &s = list.at(i);
        all.push_back({i, greatCircleKm(centre.lat, centre.lon, s.lat, s.lon)});
    }
    const size_t kept = std::min(all.size(), size_t(std::max(0, count)));
    std::partial_sort(all.begin(), all.begin() + ptrdiff_t(kept), all.end(),
                      [](const Neighbour &a, const Neighbour &b) {
                          return a.km != b.km ? a.km < b.km : a.station < b.station;
                      });
    all.resize(kept);
    return all;
}

LatLonBox boxAround(double lat, double lon, double radiusKm)
{
    LatLonBox box;
    if (!(radiusKm > 0) || !std::isfinite(radiusKm)) {
        box.problem = LatLonBox::Problem::BadRadius;
        return box;
    }
    // The radius as an angle at the earth's centre.
    const double reach = degrees(radiusKm / earthRadiusKm);
    box.latLo = lat - reach;
    box.latHi = lat + reach;
    if (box.latLo <= -90 || box.latHi >= 90) {
        box.latLo = std::max(box.latLo, -90.0);
        box.latHi = std::min(box.latHi, 90.0);
        box.lonLo = -180;
        box.lonHi = 180;
        return box;
    }
    // The meridians that touch the circle: their points of contact lie nearer the pole than
    // the centre, so the circle is wider there than along its centre's parallel.
    const double halfWidth = degrees(std::asin(std::sin(radians(reach)) / std::cos(radians(lat))));
    box.lonLo = lon - halfWidth;
    box.lonHi = lon + halfWidth;
    if (box.lonLo < -180 || box.lonHi > 180)
        box.problem = LatLonBox::Problem::CrossesDateLine;
    return box;
}

LatLonBox boxBetween(double lat1, double lon1, double lat2, double lon2)
{
    LatLonBox box;
    box.latLo = std::clamp(std::min(lat1, lat2), -90.0, 90.0);
    box.latHi = std::clamp(std::max(lat1, lat2), -90.0, 90.0);
    double west = std::min(lon1, lon2);
    double east = std::max(lon1, lon2);
    if (east - west >= 360) {
        box.lonLo = -180;
        box.lonHi = 180;
        return box;
    }
    // The turn of the world the western edge lies in, counted from -180 up to (not taking in)
    // 180, so that a box whose western edge is the meridian itself lies east of it.
    const double turns = std::floor((west + 180) / 360);
    west -= turns * 360;
    east -= turns * 360;
    box.lonLo = west;
    box.lonHi = east;
    if (east > 180)
        box.problem = LatLonBox::Problem::CrossesDateLine;
    return box;
}

QString boxEdgeText(double degrees, bool lowEnd)
{
    // The small allowance keeps an edge that is already a 4-decimal number from moving a step
    // outwards through the binary error of the multiplication.
    const double scaled = degrees * 10000.0;
    const double rounded = lowEnd ? std::floor(scaled + 1e-6) : std::ceil(scaled - 1e-6);
    const double value = rounded / 10000.0;
    return QString::number(value == 0 ? 0.0 : value, 'f', 4);
}

QString boxProblemText(LatLonBox::Problem problem, const QString &icao, double radiusKm)
{
    const QString radius = QString::number(radiusKm, 'g', 10);
    switch (problem) {
    case LatLonBox::Problem::None:
        return {};
    case LatLonBox::Problem::BadRadius:
        return QStringLiteral("The radius must be a number of km greater than 0.");
    case LatLonBox::Problem::CrossesDateLine:
        return QStringLiteral("A box of ") + radius + QStringLiteral(" km around ") + icao
            + QLatin1Char(' ') + dateLineReason()
            + QStringLiteral(" Choose a smaller radius, or use the station itself.");
    }
    return {};
}

QString drawnBoxProblemText(LatLonBox::Problem problem)
{
    switch (problem) {
    case LatLonBox::Problem::None:
    case LatLonBox::Problem::BadRadius:
        return {};
    case LatLonBox::Problem::CrossesDateLine:
        return QStringLiteral("The box drawn ") + dateLineReason()
            + QStringLiteral(" The search constraints are left as they were. Draw the box on one "
                             "side of the meridian, or search each side in turn.");
    }
    return {};
}
