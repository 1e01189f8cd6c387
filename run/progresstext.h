#pragma once

#include <QDate>
#include <QString>
#include <QTime>

#include <cstdint>
#include <optional>

// Rounds to the nearest integer, a tie going to the even neighbour (12.5 gives 12, 13.5 gives
// 14, -0.5 gives 0). Nothing when the result lies outside the signed 64-bit range.
std::optional<std::int64_t> roundHalfEven(long double value);

// A local date and time as a count of days, the time of day being the fraction: day 0 is
// 30 December 1899, so 1 January 2024 at 06:00 is 45292.25. Run start times and progress ticks
// are taken in these units, so an elapsed time is the difference of two of them.
double localDays(QDate date, QTime time);
// The local clock now, in the units of localDays, to the millisecond.
double currentLocalDays();

// One tick of the progress display: the status line's text and the progress bar's position.
struct ProgressTick
{
    QString status;
    int bar = 0; // within the bar's range 0 to 100
};

// The tick for rowsRead rows read (the row-read counter since the run's start) against the
// total-row estimate, startDays and nowDays in the units of localDays:
//   "Read 1,234,567 of 9,876,536 observations... (12%)  (5 minutes elapsed, 35 minutes to go)"
// The fraction done is rowsRead / estimate; the minutes to go are those elapsed scaled by
// (1 / fraction - 1). All of it is worked in extended precision and rounded half to even.
// Where a zero divisor leaves a figure without a value (no rows read yet: the minutes to go;
// an estimate of 0: the percentage and the minutes to go) the text shows "?" in its place and
// the bar stands at 0; a figure beyond the 64-bit range shows "?" too. A percentage beyond the
// bar's range shows as an empty or a full bar.
ProgressTick progressTick(std::int64_t rowsRead, std::int64_t estimate, double startDays,
                          double nowDays);
