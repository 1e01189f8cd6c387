#pragma once

#include <QLatin1String>
#include <QString>

// The texts of a run's cancel, which finds the worker's query in the server's process list and
// kills it from the status connection.
namespace CancelTexts {
inline constexpr QLatin1String done("Done...");
inline constexpr QLatin1String noConnection("No database connection!");
} // namespace CancelTexts

// The log lines before and after the kill: "Killing query <id>..." and "Killed query <id>.".
QString killingQueryLine(const QString &processId);
QString killedQueryLine(const QString &processId);
