// The station finder's plain parts: the built-in station list, the search, great-circle
// distances, the nearest stations and the box around a station.
#include "finder/geography.h"
#include "finder/stationcheck.h"
#include "finder/stationlist.h"
#include "finder/stationsearch.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

const StationList &stations()
{
    return StationList::builtIn();
}

std::vector<std::string> icaos(const std::vector<int> &found, size_t count)
{
    std::vector<std::string> ids;
    for (size_t i = 0; i < std::min(count, found.size()); ++i)
        ids.push_back(stations().at(found[i]).icao.toStdString());
    return ids;
}

} // namespace

TEST(StationList, IsBuiltIntoTheProgramWithNamesAndPlacesApart)
{
    ASSERT_EQ(stations().size(), 5634);
    const Station &kswf = stations().at(stations().indexOfIcao(QStringLiteral("kswf")));
    EXPECT_EQ(kswf.icao, QStringLiteral("KSWF"));
    EXPECT_EQ(kswf.faa, QStringLiteral("SWF"));
    EXPECT_EQ(kswf.name, QStringLiteral("Newburgh / Stewart"));
    EXPECT_EQ(kswf.place, QStringLiteral("NY, United States"));
    EXPECT_DOUBLE_EQ(kswf.lat, 41.5);
    EXPECT_DOUBLE_EQ(kswf.lon, -74.1);
    const Station &grimsey = stations().at(stations().indexOfIcao(QStringLiteral("BIGR")));
    EXPECT_EQ(grimsey.faa, QString());
    EXPECT_EQ(stations().indexOfIcao(QStringLiteral("ZZZZ")), -1);
}

struct SearchCase
{
    const char *name;
    const char *text;
    std::vector<std::string> first; // the best matches, in order
    size_t count; // how many match in all; 0: not checked
    friend void PrintTo(const SearchCase &c, std::ostream *out) { *out << c.name; }
};

class Search : public testing::TestWithParam<SearchCase>
{
};

TEST_P(Search, FindsTheBestMatchesFirst)
{
    const SearchCase &c = GetParam();
    const std::vector<int> found = searchStations(stations(), QString::fromUtf8(c.text));
    EXPECT_EQ(icaos(found, c.first.size()), c.first);
    if (c.count) {
        EXPECT_EQ(found.size(), c.count);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Finder, Search,
    testing::Values(SearchCase {"NameAnyCase", "NEWBURGH", {"KSWF"}, 1},
                    SearchCase {"AccentsIgnored", "dubendorf", {"LSMD"}, 1},
                    SearchCase {"AccentsInTheTextToo", "Dübendorf", {"LSMD"}, 1},
                    SearchCase {"LettersOfTheirOwnSpeltPlain", "isafjordur", {"BIIS"}, 1},
                    SearchCase {"IcaoId", "kswf", {"KSWF"}, 1},
                    // The whole FAA code comes before the ICAO ids and names that begin with it.
                    SearchCase {"FaaCode", "swf", {"KSWF"}, 0},
                    SearchCase {"IcaoPrefixBeforeNames", "ksw", {"KSWF", "KSWO"}, 0},
                    // A name that begins with the word before a place that holds it: Zurich-Kloten,
                    // then the air base in Zurich.
                    SearchCase {"NameBeforePlace", "zurich", {"LSZH", "LSMD"}, 2},
                    SearchCase {"EveryWordMustBeFound", "newburgh ny", {"KSWF"}, 1},
                    SearchCase {"WordsInAnyOrder", "stewart newburgh", {"KSWF"}, 1},
                    SearchCase {"NothingMatches", "qqxqq", {}, 0},
                    SearchCase {"EmptyTextListsAll", "  ", {"AGGH", "ANYN"}, 5634}));

TEST(Distance, MatchesKnownGreatCircleValues)
{
    struct Case
    {
        double lat1, lon1, lat2, lon2, km;
    };
    // A quarter and a half of a great circle of the mean radius; one degree of the equator
    // across the 180th meridian; Nashville to Los Angeles (the usual haversine example, 2887.26
    // km on a sphere of 6372.8 km, scaled to the mean radius).
    const Case cases[] = {{0, 0, 0, 90, 10007.5572},
                          {0, 0, 90, 0, 10007.5572},
                          {0, 0, 0, 180, 20015.1144},
                          {0, 179.5, 0, -179.5, 111.1951},
                          {36.12, -86.67, 33.94, -118.40, 2886.4484},
                          {41.5, -74.1, 41.5, -74.1, 0}};
    for (const Case &c : cases)
        EXPECT_NEAR(greatCircleKm(c.lat1, c.lon1, c.lat2, c.lon2), c.km, 0.0005)
            << c.lat1 << "," << c.lon1 << " to " << c.lat2 << "," << c.lon2;
}

TEST(Nearest, ListsTheNearestStationsWithTheirDistances)
{
    struct Case
    {
        const char *centre;
        std::vector<std::pair<std::string, double>> nearest;
    };
    // Distances from the station list's positions, worked out on the sphere from the positions'
    // unit vectors (another formula than the program's). Matei lies east of the 180th meridian,
    // its two nearest stations west of it.
    const Case cases[] = {
        {"KSWF", {{"KMGJ", 14.005}, {"KPOU", 23.339}, {"KDXR", 53.506}, {"KFWN", 55.628}}},
        {"NFNM", {{"NFNS", 84.248}, {"NFNL", 87.081}, {"NFNA", 223.887}, {"NFFN", 307.364}}},
        {"LSMD", {{"LSZH", 12.782}, {"LSME", 42.774}, {"LSZC", 50.848}, {"LSMA", 57.562}}}};
    for (const Case &c : cases) {
        const int centre = stations().indexOfIcao(QString::fromLatin1(c.centre));
        const std::vector<Neighbour> found = nearestStations(stations(), centre, 4);
        ASSERT_EQ(found.size(), c.nearest.size()) << c.centre;
        for (size_t i = 0; i < found.size(); ++i) {
            EXPECT_EQ(stations().at(found[i].station).icao.toStdString(), c.nearest[i].first)
                << c.centre << " #" << i;
            EXPECT_NEAR(found[i].km, c.nearest[i].second, 0.001) << c.centre << " #" << i;
        }
    }
}

struct BoxCase
{
    const char *name;
    double lat, lon, km;
    LatLonBox::Problem problem;
    const char *latLo = "";
    const char *latHi = "";
    const char *lonLo = "";
    const char *lonHi = "";
    friend void PrintTo(const BoxCase &c, std::ostream *out) { *out << c.name; }
};

class Box : public testing::TestWithParam<BoxCase>
{
};

TEST_P(Box, HoldsTheCircleOrSaysWhyNot)
{
    const BoxCase &c = GetParam();
    const LatLonBox box = boxAround(c.lat, c.lon, c.km);
    ASSERT_EQ(box.problem, c.problem);
    if (c.problem != LatLonBox::Problem::None)
        return;
    EXPECT_EQ(boxEdgeText(box.latLo, true).toStdString(), c.latLo);
    EXPECT_EQ(boxEdgeText(box.latHi, false).toStdString(), c.latHi);
    EXPECT_EQ(boxEdgeText(box.lonLo, true).toStdString(), c.lonLo);
    EXPECT_EQ(boxEdgeText(box.lonHi, false).toStdString(), c.lonHi);
}

using P = LatLonBox::Problem;
// Edges worked out from the circle's angular radius (km / 6371.0088 km) and, for the longitudes,
// the meridians that touch the circle: asin(sin(radius) / cos(latitude)).
INSTANTIATE_TEST_SUITE_P(
    Finder, Box,
    testing::Values(
        BoxCase {"Kswf50", 41.5, -74.1, 50, P::None, "41.0503", "41.9497", "-74.7004", "-73.4996"},
        BoxCase {"EquatorOneDegree", 0, 0, 111.19508, P::None, "-1.0000", "1.0000", "-1.0000",
                 "1.0000"},
        // Near the pole the box is much wider than at the centre's latitude.
        BoxCase {"Alert500", 82.5167, -62.2833, 500, P::None, "78.0200", "87.0134", "-99.2951",
                 "-25.2715"},
        // A circle that holds the pole takes every longitude.
        BoxCase {"Alert1000HoldsThePole", 82.5167, -62.2833, 1000, P::None, "73.5234", "90.0000",
                 "-180.0000", "180.0000"},
        BoxCase {"SouthPole", -90, 0, 50, P::None, "-90.0000", "-89.5503", "-180.0000", "180.0000"},
        BoxCase {"LabasaStaysWest", -16.4667, 179.34, 50, P::None, "-16.9164", "-16.0170",
                 "178.8711", "179.8089"},
        BoxCase {"LabasaCrossesEastwards", -16.4667, 179.34, 100, P::CrossesDateLine},
        BoxCase {"MateiCrossesWestwards", -16.6906, -179.877, 50, P::CrossesDateLine},
        BoxCase {"NoRadius", 41.5, -74.1, 0, P::BadRadius}));

TEST(StationCheck, StatementQuotesTheTableAndTheId)
{
    EXPECT_EQ(stationCheckStatement(QStringLiteral("surfaceshort"), QStringLiteral("KSWF")),
              QStringLiteral("SELECT COUNT(*), MIN(((year * 100 + month) * 100 + day) * 100 + "
                             "hour), MAX(((year * 100 + month) * 100 + day) * 100 + hour) FROM "
                             "`surfaceshort` WHERE icao = 'KSWF';"));
    EXPECT_TRUE(stationCheckStatement(QStringLiteral("a`b; DROP TABLE x"), QStringLiteral("O'K"))
                    .endsWith(QStringLiteral("FROM `a``b; DROP TABLE x` WHERE icao = 'O''K';")));
}
