#pragma once

#include <QString>

#include <vector>

class StationList;

// The earth as a sphere of its mean radius, in km.
inline constexpr double earthRadiusKm = 6371.0088;

// The great-circle distance in km between two positions in decimal degrees (north and east
// positive), by the haversine formula, which stays exact for short distances.
double greatCircleKm(double lat1, double lon1, double lat2, double lon2);

struct Neighbour
{
    int station;
    double km;
};

// The count stations nearest to the station at index (itself left out), nearest first; equal
// distances go by the list's order.
std::vector<Neighbour> nearestStations(const StationList &list, int index, int count);

// The latitude and longitude ranges that hold every position within a radius of a centre, as
// the two Range constraints of the search state them.
struct LatLonBox
{
    enum class Problem {
        None,
        // The radius is not a positive number of km.
        BadRadius,
        // The box would cross the 180th meridian, and a longitude range is one stretch from
        // its low end up to its high end.
        CrossesDateLine,
    };
    Problem problem = Problem::None;
    double latLo = 0;
    double latHi = 0;
    double lonLo = 0;
    double lonHi = 0;
};

// The smallest such box. A circle that holds a pole takes every longitude, from -180 to 180, and
// the latitudes from its edge to the pole. Otherwise the longitudes reach as far east and west as
// the circle does, which is further than at its centre's latitude.
LatLonBox boxAround(double lat, double lon, double radiusKm);

// The box between two corners drawn on a map whose longitudes run on past the 180th meridian
// (a map shows the world again east of 180 and west of -180). Latitudes are clamped to -90..90.
// A box wider than the world takes every longitude, -180 to 180; one that lies wholly in another
// turn of the world is moved into -180..180; one that reaches across the 180th meridian cannot
// be written as one longitude range and has the problem CrossesDateLine. The corners may come
// in any order.
LatLonBox boxBetween(double lat1, double lon1, double lat2, double lon2);

// A box edge as the Range boxes take it: 4 decimals, rounded outwards (down for a low end, up
// for a high end), so the box never loses an edge of the circle.
QString boxEdgeText(double degrees, bool lowEnd);

// Why no box could be made, for the user: names the station and the radius.
QString boxProblemText(LatLonBox::Problem problem, const QString &icao, double radiusKm);
// Why a box drawn on the map could not be used, for the user.
QString drawnBoxProblemText(LatLonBox::Problem problem);
