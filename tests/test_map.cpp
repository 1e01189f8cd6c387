// The map's plain parts: the box drawn between two corners, the projection, the stations inside
// a box, the area the typed ranges select, the stations a result names and the outlines built
// into the program.
#include "finder/geography.h"
#include "finder/stationlist.h"
#include "map/mapgeometry.h"
#include "map/outlines.h"
#include "store/resultstore.h"
#include "tests/resultrows.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

const StationList &stations()
{
    return StationList::builtIn();
}

int indexOf(const char *icao)
{
    return stations().indexOfIcao(QString::fromLatin1(icao));
}

} // namespace

struct DrawnBoxCase
{
    const char *name;
    double lat1, lon1, lat2, lon2;
    double latLo, latHi, lonLo, lonHi;
    bool crosses;
    friend void PrintTo(const DrawnBoxCase &c, std::ostream *out) { *out << c.name; }
};

class DrawnBox : public testing::TestWithParam<DrawnBoxCase>
{
};

TEST_P(DrawnBox, IsClampedAndKeptInOneTurnOfTheWorld)
{
    const DrawnBoxCase &c = GetParam();
    const LatLonBox box = boxBetween(c.lat1, c.lon1, c.lat2, c.lon2);
    EXPECT_EQ(box.problem == LatLonBox::Problem::CrossesDateLine, c.crosses);
    if (c.crosses)
        return;
    EXPECT_EQ(box.problem, LatLonBox::Problem::None);
    EXPECT_NEAR(box.latLo, c.latLo, 1e-9);
    EXPECT_NEAR(box.latHi, c.latHi, 1e-9);
    EXPECT_NEAR(box.lonLo, c.lonLo, 1e-9);
    EXPECT_NEAR(box.lonHi, c.lonHi, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Corners, DrawnBox,
    testing::Values(
        DrawnBoxCase {"north-west to south-east", 38.5, -117, 34.2, -114.5, 34.2, 38.5, -117,
                      -114.5, false},
        DrawnBoxCase {"south-east to north-west", 34.2, -114.5, 38.5, -117, 34.2, 38.5, -117,
                      -114.5, false},
        DrawnBoxCase {"past both poles", 97, 10, -104, 20, -90, 90, 10, 20, false},
        DrawnBoxCase {"in the turn east of the meridian", 10, 190, 20, 200, 10, 20, -170, -160,
                      false},
        DrawnBoxCase {"in the turn west of it", 10, -200, 20, -190, 10, 20, 160, 170, false},
        DrawnBoxCase {"two turns east", 10, 725, 20, 730, 10, 20, 5, 10, false},
        DrawnBoxCase {"up to the meridian", 0, 170, 10, 180, 0, 10, 170, 180, false},
        DrawnBoxCase {"from the meridian east", 0, 180, 10, 190, 0, 10, -180, -170, false},
        DrawnBoxCase {"wider than the world", 0, -200, 10, 200, 0, 10, -180, 180, false},
        DrawnBoxCase {"across the meridian", 10, 170, 20, 190, 0, 0, 0, 0, true},
        DrawnBoxCase {"across it by a fraction of a degree", 10, 175, 20, 180.01, 0, 0, 0, 0, true},
        DrawnBoxCase {"across it from the west", 10, -190, 20, -170, 0, 0, 0, 0, true},
        DrawnBoxCase {"across it two turns west", 10, -550, 20, -530, 0, 0, 0, 0, true}));

TEST(DrawnBox, RefusalSaysWhyAndWhatToDo)
{
    EXPECT_EQ(drawnBoxProblemText(LatLonBox::Problem::CrossesDateLine),
              QStringLiteral("The box drawn would cross the 180th meridian, and the longitude "
                             "Range holds one stretch only, from its low end up to its high end. "
                             "The search constraints are left as they were. Draw the box on one "
                             "side of the meridian, or search each side in turn."));
    EXPECT_EQ(drawnBoxProblemText(LatLonBox::Problem::None), QString());
}

TEST(Projection, ZoomKeepsThePlaceUnderThePointerAndStaysInTheWorld)
{
    MapProjection view = MapProjection::wholeWorld(QSize(800, 400));
    const QPointF pointer(300, 120);
    const QPointF before = view.toGeo(pointer);
    view.zoomAt(pointer, 4);
    const QPointF after = view.toGeo(pointer);
    EXPECT_NEAR(after.x(), before.x(), 1e-9);
    EXPECT_NEAR(after.y(), before.y(), 1e-9);
    EXPECT_DOUBLE_EQ(view.pixelsPerDegree(), 4 * 400.0 / 180);

    // Out further than the whole world, and in further than the closest view, go no further.
    view.zoomAt(pointer, 1e-6);
    EXPECT_EQ(view, MapProjection::wholeWorld(QSize(800, 400)));
    view.zoomAt(pointer, 1e9);
    EXPECT_DOUBLE_EQ(view.pixelsPerDegree(), MapProjection::maxPixelsPerDegree);

    // Panning north stops where the pole reaches the top; a whole turn east is the same view.
    MapProjection north = view;
    north.pan(QPointF(0, 0), QPointF(0, 1e7));
    EXPECT_NEAR(north.north(), 90, 1e-9);
    MapProjection round = view;
    round.pan(QPointF(0, 0), QPointF(-360 * view.pixelsPerDegree(), 0));
    EXPECT_NEAR(round.centreLon(), view.centreLon(), 1e-9);
}

TEST(StationIndex, CountsWhatABruteForceCountFinds)
{
    const StationIndex index(stations());
    std::mt19937 random(20261209);
    std::uniform_real_distribution<double> lat(-90, 90), lon(-180, 180);
    std::uniform_int_distribution<int> pick(0, stations().size() - 1);
    for (int round = 0; round < 400; ++round) {
        SearchArea box;
        box.latitudes = box.longitudes = true;
        if (round % 3 == 0) {
            // Edges on stations' own positions: the search takes the edges in.
            const Station &a = stations().at(pick(random)), &b = stations().at(pick(random));
            box.south = std::min(a.lat, b.lat);
            box.north = std::max(a.lat, b.lat);
            box.west = std::min(a.lon, b.lon);
            box.east = std::max(a.lon, b.lon);
        } else {
            // Any box, reversed ends (an empty search) included.
            box.south = lat(random);
            box.north = lat(random);
            box.west = lon(random);
            box.east = lon(random);
        }
        std::vector<int> expected;
        for (int s = 0; s < stations().size(); ++s) {
            const Station &st = stations().at(s);
            if (st.lat >= box.south && st.lat <= box.north && st.lon >= box.west
                && st.lon <= box.east)
                expected.push_back(s);
        }
        ASSERT_EQ(index.countInside(box), int(expected.size())) << "round " << round;
        ASSERT_EQ(index.inside(box), expected) << "round " << round;
    }
    EXPECT_EQ(index.countInside(SearchArea {}), 5634);
}

struct RangesCase
{
    const char *name;
    RangeTexts texts;
    bool area; // the search selects by an area of numbers
    SearchArea expected; // when it does
    bool typedBox; // all four ends are numbers
    friend void PrintTo(const RangesCase &c, std::ostream *out) { *out << c.name; }
};

class Ranges : public testing::TestWithParam<RangesCase>
{
};

TEST_P(Ranges, SelectWhatTheStatementWould)
{
    const RangesCase &c = GetParam();
    const RangeArea got = areaOfRanges(c.texts);
    ASSERT_EQ(got.area.has_value(), c.area);
    EXPECT_EQ(got.problem.isEmpty(), c.area);
    EXPECT_EQ(got.drawnBox.has_value(), c.typedBox);
    if (!c.area)
        return;
    EXPECT_DOUBLE_EQ(got.area->south, c.expected.south);
    EXPECT_DOUBLE_EQ(got.area->north, c.expected.north);
    EXPECT_DOUBLE_EQ(got.area->west, c.expected.west);
    EXPECT_DOUBLE_EQ(got.area->east, c.expected.east);
    EXPECT_EQ(got.area->limits(), c.expected.limits());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Ranges,
    testing::Values(RangesCase {"both on",
                                {true, QStringLiteral("34.2"), QStringLiteral("38.5"), true,
                                 QStringLiteral("-117.0"), QStringLiteral("-114.5")},
                                true,
                                {34.2, 38.5, -117, -114.5, true, true},
                                true},
                    RangesCase {"latitude only: every longitude",
                                {true, QStringLiteral(" 34.2 "), QStringLiteral("38.5"), false,
                                 QStringLiteral("west"), QStringLiteral("-114.5")},
                                true,
                                {34.2, 38.5, -180, 180, true, false},
                                false},
                    RangesCase {"both off: limits nothing",
                                {false, QStringLiteral("34.2"), QStringLiteral("38.5"), false,
                                 QStringLiteral("-117.0"), QStringLiteral("-114.5")},
                                true,
                                {-90, 90, -180, 180, false, false},
                                true},
                    RangesCase {"an end that is no number",
                                {true, QStringLiteral("34,2"), QStringLiteral("38.5"), true,
                                 QStringLiteral("-117.0"), QStringLiteral("-114.5")},
                                false,
                                {},
                                false},
                    RangesCase {"an empty end",
                                {true, QStringLiteral("34.2"), QStringLiteral("38.5"), true,
                                 QString(), QStringLiteral("-114.5")},
                                false,
                                {},
                                false},
                    RangesCase {"exponent and sign",
                                {true, QStringLiteral("-3.42e1"), QStringLiteral("+38.5"), true,
                                 QStringLiteral("-117"), QStringLiteral("-114.5")},
                                true,
                                {-34.2, 38.5, -117, -114.5, true, true},
                                true}));

struct ResultCase
{
    const char *name;
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> records;
    std::vector<const char *> found; // ICAO ids, in the list's order
    std::vector<QString> columns;
    int outsideList;
    friend void PrintTo(const ResultCase &c, std::ostream *out) { *out << c.name; }
};

class ResultIdentifiers : public testing::TestWithParam<ResultCase>
{
};

TEST_P(ResultIdentifiers, NameTheStationsOfTheList)
{
    const ResultCase &c = GetParam();
    ResultStore store(int(c.header.size()), 1);
    store.setHeader(c.header);
    store.appendRecords(batchOf(int(c.header.size()), c.records));
    const ResultStations got = findResultStations(store, stations());
    std::vector<int> expected;
    for (const char *icao : c.found)
        expected.push_back(indexOf(icao));
    EXPECT_EQ(got.stations, expected);
    EXPECT_EQ(got.columns, c.columns);
    EXPECT_EQ(got.records, int(c.records.size()));
    EXPECT_EQ(got.recordsOutsideList, c.outsideList);
}

INSTANTIATE_TEST_SUITE_P(
    Columns, ResultIdentifiers,
    testing::Values(
        ResultCase {
            "icao",
            {"id", "icao", "temp"},
            {{"1", "KSWF", "70"}, {"2", "KPOU", "71"}, {"3", "KSWF", "72"}, {"4", "QQQQ", "73"}},
            {"KPOU", "KSWF"},
            {QStringLiteral("icao")},
            1},
        ResultCase {"faa",
                    {"faa", "temp"},
                    {{"LAS", "90"}, {"swf", "70"}, {"", "1"}},
                    {"KLAS", "KSWF"},
                    {QStringLiteral("faa")},
                    1},
        ResultCase {"wmo",
                    {"WMO"},
                    {{"69423"}, {"72902"}, {"99999"}},
                    {"KPOU", "KSWF"},
                    {QStringLiteral("wmo")},
                    1},
        // A record whose ICAO id is empty or unknown is found by the next column.
        ResultCase {"icao, then faa, then wmo",
                    {"faa", "icao", "wmo"},
                    {{"SWF", "", ""}, {"", "ZZZZ", "69422"}, {"POU", "KPOU", "69423"}},
                    {"KLAS", "KPOU", "KSWF"},
                    {QStringLiteral("icao"), QStringLiteral("faa"), QStringLiteral("wmo")},
                    0},
        ResultCase {"no identifier column", {"year", "lat"}, {{"1995", "41.5"}}, {}, {}, 0}));

TEST(Outlines, BuiltInAreTheConvertedLevelsWithinTheWorld)
{
    const Outlines &outlines = Outlines::builtIn();
    ASSERT_EQ(outlines.error, QString());
    ASSERT_EQ(outlines.levels.size(), 2u);
    struct Expected
    {
        int scale, lines, borders, points;
        double south, north;
    };
    // As data/convert-outlines.sh printed them when it made the file.
    const Expected expected[] = {{110, 595, 327, 8246, -85.609, 83.645},
                                 {50, 1958, 362, 80355, -85.192, 83.600}};
    for (size_t l = 0; l < 2; ++l) {
        const OutlineLevel &level = outlines.levels[l];
        const Expected &e = expected[l];
        EXPECT_EQ(level.scaleMillions, e.scale);
        EXPECT_EQ(level.lineCount(), e.lines);
        EXPECT_EQ(level.pointCount(), e.points);
        int borders = 0;
        for (const OutlineLevel::Kind kind : level.kinds)
            borders += kind == OutlineLevel::Kind::Border;
        EXPECT_EQ(borders, e.borders);
        double west = 180, east = -180, south = 90, north = -90;
        for (int p = 0; p < level.pointCount(); ++p) {
            west = std::min(west, double(level.points[2 * size_t(p)]));
            east = std::max(east, double(level.points[2 * size_t(p)]));
            south = std::min(south, double(level.points[2 * size_t(p) + 1]));
            north = std::max(north, double(level.points[2 * size_t(p) + 1]));
        }
        // One step of the file's grid is 0.0055 degrees of longitude, 0.0027 of latitude.
        EXPECT_NEAR(west, -180, 0.006);
        EXPECT_NEAR(east, 180, 0.006);
        EXPECT_NEAR(south, e.south, 0.003);
        EXPECT_NEAR(north, e.north, 0.003);
    }
}

namespace {

QByteArray u32(std::uint32_t v)
{
    const char bytes[4] = {char(v & 0xff), char(v >> 8 & 0xff), char(v >> 16 & 0xff),
                           char(v >> 24 & 0xff)};
    return QByteArray(bytes, 4);
}

QByteArray i16(int v)
{
    const char bytes[2] = {char(v & 0xff), char(v >> 8 & 0xff)};
    return QByteArray(bytes, 2);
}

// One level of scale 50 with a border of two points, from the corner at 180 east, 90 north to
// the middle of the world.
QByteArray smallFile()
{
    return QByteArray("OXOL") + u32(1) + u32(1) + u32(50) + u32(1) + u32(2) + u32(2 << 1 | 1)
        + i16(32767) + i16(32767) + i16(0) + i16(-16384);
}

} // namespace

TEST(Outlines, AFileIsReadWholeOrNotAtAll)
{
    const Outlines good = Outlines::fromBytes(smallFile());
    ASSERT_EQ(good.error, QString());
    ASSERT_EQ(good.levels.size(), 1u);
    const OutlineLevel &level = good.levels[0];
    EXPECT_EQ(level.scaleMillions, 50);
    ASSERT_EQ(level.lineCount(), 1);
    EXPECT_EQ(level.kinds[0], OutlineLevel::Kind::Border);
    EXPECT_FLOAT_EQ(level.points[0], 180);
    EXPECT_FLOAT_EQ(level.points[1], 90);
    EXPECT_FLOAT_EQ(level.points[2], 0);
    EXPECT_NEAR(level.points[3], -45, 0.003);
    EXPECT_FLOAT_EQ(level.extents[0], 0); // west
    EXPECT_FLOAT_EQ(level.extents[3], 90); // north

    // Every cut short of the end, a byte too many, another magic or version: nothing is read.
    const QByteArray bytes = smallFile();
    std::vector<QByteArray> broken;
    for (qsizetype n = 0; n < bytes.size(); ++n)
        broken.push_back(bytes.left(n));
    broken.push_back(bytes + '\0');
    broken.push_back(QByteArray(bytes).replace(0, 4, "OXOM"));
    broken.push_back(QByteArray(bytes).replace(4, 4, u32(2)));
    // A line of more points than the level holds.
    broken.push_back(QByteArray(bytes).replace(24, 4, u32(3 << 1)));
    for (const QByteArray &b : broken) {
        const Outlines read = Outlines::fromBytes(b);
        EXPECT_TRUE(read.levels.empty()) << b.size() << " bytes";
        EXPECT_FALSE(read.error.isEmpty()) << b.size() << " bytes";
    }
}
