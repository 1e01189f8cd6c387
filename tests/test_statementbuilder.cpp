// Statement builder: every condition row, both warnings, the date-range count, the value
// quote, the order clauses and the final tidy-up. Expected statements are literals.
#include "query/statementbuilder.h"
#include "tests/scriptedmessages.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const QString tooMuch = QStringLiteral(
    "This search may return too much data.  If extremely large amounts of data are generated, "
    "this program may lock up.  Continue anyway?");
const QString multiple = QStringLiteral(
    "Orvex Navigator is currently not capable of handling multiple date range changes. This "
    "capability should be available in a future release.  Continue anyway?");
const QString noParams = QStringLiteral("No search parameters entered!");

// The main window's initial values.
SearchConstraints initialWindow()
{
    SearchConstraints c;
    c.yearEq = QStringLiteral("2012");
    c.monthEq = QStringLiteral("11");
    c.dayEq = QStringLiteral("01");
    c.hourEq = QStringLiteral("12");
    c.dateRange = true;
    c.yearLo = QStringLiteral("1995");
    c.yearHi = QStringLiteral("1995");
    c.monthLo = QStringLiteral("07");
    c.monthHi = QStringLiteral("07");
    c.dayLo = QStringLiteral("15");
    c.dayHi = QStringLiteral("16");
    c.stationEquals = true;
    c.station = QStringLiteral("KSWF");
    c.stationLo = QStringLiteral("KLAA");
    c.stationHi = QStringLiteral("KLZZ");
    c.latLo = QStringLiteral("34.2");
    c.latHi = QStringLiteral("38.5");
    c.lonLo = QStringLiteral("-117.0");
    c.lonHi = QStringLiteral("-114.5");
    c.paramColumn = QStringLiteral("select a table first");
    c.paramEq = QStringLiteral("1/1/2012");
    c.paramLo = QStringLiteral("85");
    c.paramHi = QStringLiteral("93");
    c.table = QStringLiteral("surfaceshort");
    return c;
}

// Initial values with every constraint switch off and no ordering: one switch at a time
// shows its own condition alone. DateEq is switched on (with empty boxes, so it adds nothing)
// to keep the too-much-data warning out of the way.
SearchConstraints quiet()
{
    SearchConstraints c = initialWindow();
    c.dateRange = false;
    c.stationEquals = false;
    c.dateEquals = true;
    c.yearEq.clear();
    c.monthEq.clear();
    c.dayEq.clear();
    c.hourEq.clear();
    c.orderByDateTime = false;
    return c;
}

struct Outcome
{
    QString statement;
    QStringList messages;
};

Outcome build(const SearchConstraints &c, QList<bool> answers = {})
{
    ScriptedMessages seam;
    seam.answers = answers;
    Outcome o {buildStatement(c, seam), seam.texts()};
    EXPECT_EQ(seam.unscripted, 0) << "a warning came that the case did not expect";
    EXPECT_TRUE(seam.answers.isEmpty()) << "a scripted answer was never asked for";
    return o;
}

std::string s(const QString &q)
{
    return q.toStdString();
}

struct ConditionCase
{
    const char *name;
    std::function<void(SearchConstraints &)> set;
    const char *statement;
};

void PrintTo(const ConditionCase &c, std::ostream *os)
{
    *os << c.name;
}

class ConditionRows : public testing::TestWithParam<ConditionCase>
{
};

TEST_P(ConditionRows, ProduceTheirConditionText)
{
    SearchConstraints c = quiet();
    GetParam().set(c);
    const Outcome o = build(c);
    EXPECT_EQ(s(o.statement), GetParam().statement);
    EXPECT_TRUE(o.messages.isEmpty()) << s(o.messages.join(QLatin1Char('|')));
}

const ConditionCase conditionCases[] = {
    {"YearEquals", [](SearchConstraints &c) { c.yearEq = QStringLiteral("2012"); },
     "SELECT * FROM surfaceshort WHERE (year = 2012);"},
    {"MonthEqualsAlone", [](SearchConstraints &c) { c.monthEq = QStringLiteral("11"); },
     "SELECT * FROM surfaceshort WHERE (month = 11);"},
    {"DayEquals", [](SearchConstraints &c) { c.dayEq = QStringLiteral("01"); },
     "SELECT * FROM surfaceshort WHERE (day = 01);"},
    {"HourEquals", [](SearchConstraints &c) { c.hourEq = QStringLiteral("12"); },
     "SELECT * FROM surfaceshort WHERE (hour = 12);"},
    {"AllFourDateEquals",
     [](SearchConstraints &c) {
         c.yearEq = QStringLiteral("2012");
         c.monthEq = QStringLiteral("11");
         c.dayEq = QStringLiteral("01");
         c.hourEq = QStringLiteral("12");
     },
     "SELECT * FROM surfaceshort WHERE (year = 2012) AND (month = 11) AND (day = 01) AND "
     "(hour = 12);"},
    {"BlankIsNotEmpty", [](SearchConstraints &c) { c.yearEq = QStringLiteral(" "); },
     "SELECT * FROM surfaceshort WHERE (year =  );"},
    {"YearRange",
     [](SearchConstraints &c) {
         c.dateRange = true;
         c.monthLo.clear();
         c.dayLo.clear();
     },
     "SELECT * FROM surfaceshort WHERE ((year >= 1995) and (year <= 1995));"},
    {"RangeNeedsBothEnds",
     [](SearchConstraints &c) {
         c.dateRange = true;
         c.yearHi.clear();
         c.monthHi.clear();
         c.dayLo.clear();
         c.hourLo = QStringLiteral("00");
         c.hourHi = QStringLiteral("00");
     },
     "SELECT * FROM surfaceshort WHERE ((hour >= 00) and (hour <= 00));"},
    {"AllFourDateRanges",
     [](SearchConstraints &c) {
         c.dateRange = true;
         c.dayHi = QStringLiteral("15");
         c.hourLo = QStringLiteral("06");
         c.hourHi = QStringLiteral("18");
     },
     "SELECT * FROM surfaceshort WHERE ((year >= 1995) and (year <= 1995)) AND ((month >= 07) "
     "and (month <= 07)) AND ((day >= 15) and (day <= 15)) AND ((hour >= 06) and (hour <= "
     "18));"},
    {"FaaStation",
     [](SearchConstraints &c) {
         c.stationEquals = true;
         c.station = QStringLiteral("SWF");
     },
     "SELECT * FROM surfaceshort WHERE (faa = 'SWF');"},
    {"IcaoStation", [](SearchConstraints &c) { c.stationEquals = true; },
     "SELECT * FROM surfaceshort WHERE (icao = 'KSWF');"},
    {"WmoStation",
     [](SearchConstraints &c) {
         c.stationEquals = true;
         c.station = QStringLiteral("72503");
     },
     "SELECT * FROM surfaceshort WHERE (wmo = '72503');"},
    {"StationLengthCountsCharactersNotBytes",
     [](SearchConstraints &c) {
         c.stationEquals = true;
         c.station = QStringLiteral("Öst");
     },
     "SELECT * FROM surfaceshort WHERE (faa = 'Öst');"},
    {"IcaoStationRangeIgnoresHighLength",
     [](SearchConstraints &c) {
         c.stationRange = true;
         c.stationHi = QStringLiteral("KLZZZ");
     },
     "SELECT * FROM surfaceshort WHERE ((icao >= 'KLAA') AND (icao <= 'KLZZZ'));"},
    {"FaaStationRange",
     [](SearchConstraints &c) {
         c.stationRange = true;
         c.stationLo = QStringLiteral("KLA");
     },
     "SELECT * FROM surfaceshort WHERE ((faa >= 'KLA') AND (faa <= 'KLZZ'));"},
    {"WmoStationRangeWithEmptyHigh",
     [](SearchConstraints &c) {
         c.stationRange = true;
         c.stationLo = QStringLiteral("72000");
         c.stationHi.clear();
     },
     "SELECT * FROM surfaceshort WHERE ((wmo >= '72000') AND (wmo <= ''));"},
    {"Latitude", [](SearchConstraints &c) { c.latRange = true; },
     "SELECT * FROM surfaceshort WHERE ((lat >= 34.2) and (lat <= 38.5));"},
    {"LatitudeWithEmptyBoxes",
     [](SearchConstraints &c) {
         c.latRange = true;
         c.latLo.clear();
         c.latHi.clear();
     },
     "SELECT * FROM surfaceshort WHERE ((lat >= ) and (lat <= ));"},
    {"Longitude", [](SearchConstraints &c) { c.lonRange = true; },
     "SELECT * FROM surfaceshort WHERE ((lon >= -117.0) and (lon <= -114.5));"},
    {"ParamEqualsBeforeAnyTableChange", [](SearchConstraints &c) { c.paramEquals = true; },
     "SELECT * FROM surfaceshort WHERE (select a table first = 1/1/2012);"},
    {"ParamRangeNumeric",
     [](SearchConstraints &c) {
         c.paramRange = true;
         c.paramColumn = QStringLiteral("temp");
         c.paramType = QStringLiteral("float");
     },
     "SELECT * FROM surfaceshort WHERE (temp >= 85) AND (temp <= 93);"},
    {"ParamRangeCharColumnIsQuoted",
     [](SearchConstraints &c) {
         c.paramRange = true;
         c.paramColumn = QStringLiteral("skyc");
         c.paramType = QStringLiteral("char(3)");
     },
     "SELECT * FROM surfaceshort WHERE (skyc >= '85') AND (skyc <= '93');"},
    {"ParamEqualsVarcharIsQuoted",
     [](SearchConstraints &c) {
         c.paramEquals = true;
         c.paramColumn = QStringLiteral("wxcodes");
         c.paramType = QStringLiteral("varchar(16)");
     },
     "SELECT * FROM surfaceshort WHERE (wxcodes = '1/1/2012');"},
    {"QuoteTestIsCaseSensitive",
     [](SearchConstraints &c) {
         c.paramEquals = true;
         c.paramColumn = QStringLiteral("x");
         c.paramType = QStringLiteral("CHAR(3)");
     },
     "SELECT * FROM surfaceshort WHERE (x = 1/1/2012);"},
    {"ParamEqualsThenRange",
     [](SearchConstraints &c) {
         c.paramEquals = true;
         c.paramRange = true;
         c.paramColumn = QStringLiteral("temp");
         c.paramEq = QStringLiteral("88");
     },
     "SELECT * FROM surfaceshort WHERE (temp = 88) AND (temp >= 85) AND (temp <= 93);"},
    {"ValuesGoInUnchanged",
     [](SearchConstraints &c) {
         c.stationEquals = true;
         c.station = QStringLiteral("O'HA");
     },
     "SELECT * FROM surfaceshort WHERE (icao = 'O'HA');"},
};

INSTANTIATE_TEST_SUITE_P(Builder, ConditionRows, testing::ValuesIn(conditionCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Builder, InitialWindowGivesTheWorkedExample)
{
    const Outcome o = build(initialWindow());
    EXPECT_EQ(s(o.statement),
              "SELECT * FROM surfaceshort WHERE ((year >= 1995) and (year <= 1995)) AND ((month >= "
              "07) and (month <= 07)) AND ((day >= 15) and (day <= 16)) AND (icao = 'KSWF') ORDER "
              "BY year,month,day,hour ASC;");
    EXPECT_TRUE(o.messages.isEmpty());
}

TEST(Builder, AllFourteenConditionsInTableOrder)
{
    SearchConstraints c = initialWindow();
    c.dateEquals = true;
    c.dayHi = QStringLiteral("15");
    c.hourLo = QStringLiteral("00");
    c.hourHi = QStringLiteral("23");
    c.stationRange = true;
    c.latRange = true;
    c.lonRange = true;
    c.paramColumn = QStringLiteral("temp");
    c.paramEquals = true;
    c.paramRange = true;
    c.orderByDateTime = false;
    const Outcome o = build(c);
    EXPECT_EQ(
        s(o.statement),
        "SELECT * FROM surfaceshort WHERE (year = 2012) AND (month = 11) AND (day = 01) AND "
        "(hour = 12) AND ((year >= 1995) and (year <= 1995)) AND ((month >= 07) and (month <= "
        "07)) AND ((day >= 15) and (day <= 15)) AND ((hour >= 00) and (hour <= 23)) AND "
        "(icao = 'KSWF') AND ((icao >= 'KLAA') AND (icao <= 'KLZZ')) AND ((lat >= 34.2) and "
        "(lat <= 38.5)) AND ((lon >= -117.0) and (lon <= -114.5)) AND (temp = 1/1/2012) AND "
        "(temp >= 85) AND (temp <= 93);");
    EXPECT_TRUE(o.messages.isEmpty());
}

struct OrderCase
{
    const char *table;
    bool order;
    bool ascending;
    const char *statement;
};

void PrintTo(const OrderCase &c, std::ostream *os)
{
    *os << c.statement;
}

class OrderClauses : public testing::TestWithParam<OrderCase>
{
};

TEST_P(OrderClauses, FollowTableAndDirection)
{
    SearchConstraints c = quiet();
    c.yearEq = QStringLiteral("1995");
    c.table = QString::fromUtf8(GetParam().table);
    c.orderByDateTime = GetParam().order;
    c.ascending = GetParam().ascending;
    EXPECT_EQ(s(build(c).statement), GetParam().statement);
}

INSTANTIATE_TEST_SUITE_P(
    Builder, OrderClauses,
    testing::Values(
        OrderCase {"surfaceshort", true, true,
                   "SELECT * FROM surfaceshort WHERE (year = 1995) ORDER BY "
                   "year,month,day,hour ASC;"},
        OrderCase {"surfaceshort", true, false,
                   "SELECT * FROM surfaceshort WHERE (year = 1995) ORDER BY "
                   "year DESC,month DESC,day DESC,hour DESC;"},
        OrderCase {"surface", true, true,
                   "SELECT * FROM surface WHERE (year = 1995) ORDER BY "
                   "exactyear,exactmonth,exactday,exacthour,exactminute ASC;"},
        OrderCase {"surface", true, false,
                   "SELECT * FROM surface WHERE (year = 1995) ORDER BY "
                   "exactyear DESC,exactmonth DESC,exactday DESC,exacthour DESC,"
                   "exactminute DESC;"},
        OrderCase {"Surface", true, false,
                   "SELECT * FROM Surface WHERE (year = 1995) ORDER BY "
                   "year DESC,month DESC,day DESC,hour DESC;"},
        OrderCase {"surface ", true, true,
                   "SELECT * FROM surface  WHERE (year = 1995) ORDER BY "
                   "year,month,day,hour ASC;"},
        OrderCase {"upper", true, true,
                   "SELECT * FROM upper WHERE (year = 1995) ORDER BY year,month,day,hour "
                   "ASC;"},
        OrderCase {"upper", false, false, "SELECT * FROM upper WHERE (year = 1995);"},
        OrderCase {"surface", false, true, "SELECT * FROM surface WHERE (year = 1995);"}),
    [](const auto &info) { return "Case" + std::to_string(info.index); });

struct CountCase
{
    const char *yearLo, *yearHi, *monthLo, *monthHi, *dayLo, *dayHi, *hourLo, *hourHi;
    int count;
};

void PrintTo(const CountCase &c, std::ostream *os)
{
    *os << c.yearLo << '-' << c.yearHi << ' ' << c.monthLo << '-' << c.monthHi << ' ' << c.dayLo
        << '-' << c.dayHi << ' ' << c.hourLo << '-' << c.hourHi;
}

class DateRangeCount : public testing::TestWithParam<CountCase>
{
};

TEST_P(DateRangeCount, WarnsFromTwoChangesOn)
{
    const CountCase &p = GetParam();
    SearchConstraints c = quiet();
    c.dateEquals = false;
    c.dateRange = true;
    c.yearLo = QString::fromUtf8(p.yearLo);
    c.yearHi = QString::fromUtf8(p.yearHi);
    c.monthLo = QString::fromUtf8(p.monthLo);
    c.monthHi = QString::fromUtf8(p.monthHi);
    c.dayLo = QString::fromUtf8(p.dayLo);
    c.dayHi = QString::fromUtf8(p.dayHi);
    c.hourLo = QString::fromUtf8(p.hourLo);
    c.hourHi = QString::fromUtf8(p.hourHi);
    EXPECT_EQ(dateRangeChangeCount(c), p.count);

    const bool warns = p.count >= 2;
    const Outcome o = build(c, warns ? QList<bool> {true} : QList<bool> {});
    EXPECT_EQ(o.messages, warns ? QStringList {multiple} : QStringList {});
    EXPECT_FALSE(o.statement.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Builder, DateRangeCount,
    testing::Values(CountCase {"1995", "1995", "07", "07", "15", "16", "", "", 1},
                    CountCase {"2003", "2004", "12", "01", "", "", "", "", 2},
                    CountCase {"1995", "1995", "07", "08", "15", "15", "", "", 2},
                    CountCase {"1995", "1996", "", "", "", "", "", "", 1},
                    CountCase {"", "", "", "", "15", "16", "00", "06", 2},
                    CountCase {"1995", "1995", "07", "07", "15", "15", "00", "06", 1},
                    // Compared as typed: "7" and "07" differ, so do "1995" and "1995 ".
                    CountCase {"1995", "1995", "7", "07", "15", "15", "", "", 2},
                    CountCase {"1995", "1995 ", "07", "07", "", "", "", "", 2},
                    // A pair with one empty end takes no part, also after a change.
                    CountCase {"1995", "1996", "07", "", "", "", "", "", 1},
                    CountCase {"1995", "1995", "07", "07", "15", "15", "", "", 0}),
    [](const auto &info) { return "Row" + std::to_string(info.index); });

TEST(Builder, MultipleDateRangeCancelGivesEmptyText)
{
    SearchConstraints c = quiet();
    c.dateEquals = false;
    c.dateRange = true;
    c.monthHi = QStringLiteral("08");
    const Outcome o = build(c, {false});
    EXPECT_EQ(o.statement, QString());
    EXPECT_EQ(o.messages, QStringList {multiple});
}

TEST(Builder, MultipleDateRangeOkKeepsStatement)
{
    SearchConstraints c = quiet();
    c.dateEquals = false;
    c.dateRange = true;
    c.monthLo = QStringLiteral("7");
    c.dayHi = QStringLiteral("15");
    const Outcome o = build(c, {true});
    EXPECT_EQ(s(o.statement),
              "SELECT * FROM surfaceshort WHERE ((year >= 1995) and (year <= 1995)) AND ((month >= "
              "7) and (month <= 07)) AND ((day >= 15) and (day <= 15));");
}

TEST(Builder, NoCountWithoutDateRangeSwitch)
{
    SearchConstraints c = quiet();
    c.monthHi = QStringLiteral("08"); // the range boxes differ, but the range is off
    c.yearEq = QStringLiteral("1995");
    EXPECT_TRUE(build(c).messages.isEmpty());
}

struct TooMuchCase
{
    const char *name;
    std::function<void(SearchConstraints &)> set;
    bool answer;
    const char *statement;
    bool alsoNoParameters;
};

void PrintTo(const TooMuchCase &c, std::ostream *os)
{
    *os << c.name;
}

class TooMuchData : public testing::TestWithParam<TooMuchCase>
{
};

TEST_P(TooMuchData, WarnsWhenNoDateOrParameterSwitch)
{
    SearchConstraints c = initialWindow();
    c.dateRange = false;
    c.stationEquals = false;
    GetParam().set(c);
    const Outcome o = build(c, {GetParam().answer});
    EXPECT_EQ(s(o.statement), GetParam().statement);
    QStringList expected {tooMuch};
    if (GetParam().alsoNoParameters)
        expected << noParams;
    EXPECT_EQ(o.messages, expected);
}

const TooMuchCase tooMuchCases[] = {
    {"StationOnlyOk", [](SearchConstraints &c) { c.stationEquals = true; }, true,
     "SELECT * FROM surfaceshort WHERE (icao = 'KSWF') ORDER BY year,month,day,hour ASC;", false},
    {"StationOnlyCancel", [](SearchConstraints &c) { c.stationEquals = true; }, false, "", false},
    {"LatLonDoNotPrevent",
     [](SearchConstraints &c) {
         c.latRange = true;
         c.lonRange = true;
     },
     true,
     "SELECT * FROM surfaceshort WHERE ((lat >= 34.2) and (lat <= 38.5)) AND ((lon >= -117.0) "
     "and (lon <= -114.5)) ORDER BY year,month,day,hour ASC;",
     false},
    {"NothingOk", [](SearchConstraints &) {}, true, "", true},
    {"NothingCancel", [](SearchConstraints &) {}, false, "", true},
    {"TwoCharacterStation",
     [](SearchConstraints &c) {
         c.stationEquals = true;
         c.station = QStringLiteral("KS");
     },
     true, "", true},
    {"SixCharacterStation",
     [](SearchConstraints &c) {
         c.stationEquals = true;
         c.station = QStringLiteral("KSWFXX");
     },
     true, "", true},
};

INSTANTIATE_TEST_SUITE_P(Builder, TooMuchData, testing::ValuesIn(tooMuchCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Builder, CheckedDateSwitchWithEmptyBoxesPreventsWarningButGivesNoCondition)
{
    SearchConstraints c = quiet(); // DateEqCheck on, all four boxes empty
    const Outcome o = build(c);
    EXPECT_EQ(o.statement, QString());
    EXPECT_EQ(o.messages, QStringList {noParams});
}

TEST(Builder, QuoteFollowsTypeText)
{
    EXPECT_EQ(parameterValueQuote(QStringLiteral("char(4)")), QStringLiteral("'"));
    EXPECT_EQ(parameterValueQuote(QStringLiteral("varchar(255)")), QStringLiteral("'"));
    EXPECT_EQ(parameterValueQuote(QStringLiteral("float")), QString());
    EXPECT_EQ(parameterValueQuote(QString()), QString());
    EXPECT_EQ(parameterValueQuote(QStringLiteral("Char")), QString());
}

TEST(Builder, KeepsBlanksInsideTheStatement)
{
    SearchConstraints c = quiet();
    c.yearEq = QStringLiteral("1995");
    c.table = QStringLiteral("t");
    c.orderByDateTime = false;
    c.paramRange = true;
    c.paramColumn = QStringLiteral("v");
    c.paramHi = QStringLiteral("9\t\n ");
    // A value ending in blanks is not at the end of the statement: the closing parenthesis
    // follows it, so nothing of it is trimmed.
    EXPECT_EQ(s(build(c).statement),
              "SELECT * FROM t WHERE (year = 1995) AND (v >= 85) AND (v <= 9\t\n );");
}

} // namespace
