#include "run/progresstext.h"

#include "common/groupthousands.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

std::optional<std::int64_t> roundHalfEven(long double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    // Worked out here rather than left to the floating-point rounding mode, which other code
    // in the process could change.
    const long double below = std::floor(value);
    const long double part = value - below; // exact: its bits are the low bits of value
    long double rounded = below;
    if (part > 0.5L || (part == 0.5L && std::fmod(below, 2.0L) != 0))
        rounded = below + 1;
    constexpr long double limit = 9223372036854775808.0L; // 2^63
    if (rounded < -limit || rounded >= limit)
        return std::nullopt;
    return static_cast<std::int64_t>(rounded);
}

double localDays(QDate date, QTime time)
{
    constexpr qint64 dayZero = 2415019; // the Julian day of 30 December 1899
    return double(date.toJulianDay() - dayZero) + time.msecsSinceStartOfDay() / 86400000.0;
}

double currentLocalDays()
{
    const QDateTime now = QDateTime::currentDateTime();
    return localDays(now.date(), now.time());
}

namespace {

QString figureText(std::optional<std::int64_t> figure)
{
    return figure ? QString::number(*figure) : QStringLiteral("?");
}

} // namespace

ProgressTick progressTick(std::int64_t rowsRead, std::int64_t estimate, double startDays,
                          double nowDays)
{
    // Every 64-bit count converts exactly to long double, whose mantissa is 64 bits wide.
    const long double rows = rowsRead;
    const long double total = estimate;
    const long double elapsed = static_cast<long double>(nowDays) - startDays;

    const std::optional<std::int64_t> elapsedMinutes = roundHalfEven(elapsed * 24 * 60);
    std::optional<std::int64_t> percent;
    std::optional<std::int64_t> minutesToGo;
    int bar = 0;
    if (estimate != 0) {
        const long double fraction = rows / total;
        const long double percentage = rows / total * 100;
        percent = roundHalfEven(percentage);
        if (percent)
            bar = int(std::clamp<std::int64_t>(*percent, 0, 100));
        else
            bar = percentage > 0 ? 100 : 0;
        // No rows read yet leaves the fraction at 0, and no time to go can be told from it.
        if (fraction != 0) {
            const long double remaining = 1 / fraction * elapsed - elapsed;
            minutesToGo = roundHalfEven(remaining * 24 * 60);
        }
    }

    ProgressTick tick;
    tick.status = QStringLiteral("Read ") + GroupThousands(QString::number(rowsRead))
        + QStringLiteral(" of ") + GroupThousands(QString::number(estimate))
        + QStringLiteral(" observations... (") + figureText(percent) + QStringLiteral("%)  (")
        + figureText(elapsedMinutes) + QStringLiteral(" minutes elapsed, ")
        + figureText(minutesToGo) + QStringLiteral(" minutes to go)");
    tick.bar = bar;
    return tick;
}
