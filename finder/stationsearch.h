#pragma once

#include <QString>

#include <vector>

class StationList;

// The stations that match a search text, best first, as indexes into the list.
//
// The text is split into words at blanks and commas; a station matches when every word is found
// in it: as the start of its ICAO id or FAA code, or anywhere in its name or place, letter case
// and accents aside ("dubendorf" finds "Dübendorf"). Each word counts as much as its best
// finding, from most to least: the whole ICAO id, the whole FAA code, the start of the ICAO id,
// the start of the FAA code, the start of the name, the start of a word of the name, anywhere in
// the name, the start of a word of the place, anywhere in the place. A name that begins with the
// whole text counts a little more. Ties go by name, then by ICAO id. An empty text matches every
// station, in the list's order.
std::vector<int> searchStations(const StationList &list, const QString &text);
