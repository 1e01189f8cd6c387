#pragma once

#include <QString>

class MessageSeam;

// The search constraints as the main window holds them: texts exactly as typed, and the
// switches. The builder puts every text into the statement unchanged.
struct SearchConstraints
{
    bool dateEquals = false;
    QString yearEq, monthEq, dayEq, hourEq;

    bool dateRange = false;
    QString yearLo, yearHi, monthLo, monthHi, dayLo, dayHi, hourLo, hourHi;

    bool stationEquals = false;
    QString station;

    bool stationRange = false;
    QString stationLo, stationHi;

    bool latRange = false;
    QString latLo, latHi;

    bool lonRange = false;
    QString lonLo, lonHi;

    // The column is the text shown in the parameter chooser, typed or picked.
    QString paramColumn;
    bool paramEquals = false;
    QString paramEq;
    bool paramRange = false;
    QString paramLo, paramHi;
    // The column type belonging to the chooser's selected entry; empty when none is selected.
    QString paramType;

    QString table;
    bool orderByDateTime = true;
    bool ascending = true;
};

namespace StatementTexts {
inline const QString multipleDateRanges = QStringLiteral(
    "Orvex Navigator is currently not capable of handling multiple date range changes. This "
    "capability should be available in a future release.  Continue anyway?");
inline const QString tooMuchData =
    QStringLiteral("This search may return too much data.  If extremely large amounts of data are "
                   "generated, this program may lock up.  Continue anyway?");
inline const QString noParameters = QStringLiteral("No search parameters entered!");
} // namespace StatementTexts

// Number of date-range pairs (year, month, day, hour; only pairs with both ends filled take
// part) from the first pair whose ends differ onward. Two or more means the range spans more
// than one date field, which the simple per-field conditions cannot express.
int dateRangeChangeCount(const SearchConstraints &c);

// The quote written around parameter values: an apostrophe for character columns.
QString parameterValueQuote(const QString &columnType);

// Builds the SELECT statement for the constraints, asking its questions through the seam.
// Returns the empty text when a warning was declined or no condition was given.
QString buildStatement(const SearchConstraints &c, MessageSeam &messages);
