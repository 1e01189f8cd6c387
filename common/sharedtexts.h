#pragma once

// Texts that more than one part of the program shows.
namespace SharedTexts {
// A connection to the server could not be opened: by a run's worker or its readings, by the
// column lookup, or by the station finder's check.
inline constexpr const char *notRunning =
    "The MYSQL service is not running, or the connection settings are incorrect.";
} // namespace SharedTexts
