#pragma once

#include <QByteArray>
#include <QString>

#include <string>
#include <vector>

// One station of the program's station list. The list's WMO numbers are made up from the ICAO
// id, so they are never shown: a user would take them for real station numbers. They are kept
// only to find the stations of a result that names its stations by its wmo column.
struct Station
{
    QString icao;
    QString faa; // empty when the station has none
    QString wmo; // the made-up number; see above
    QString name; // the description up to its first comma
    QString place; // the rest of the description, empty when it has no comma
    double lat = 0; // decimal degrees, north positive
    double lon = 0; // decimal degrees, east positive

    // The texts as the search compares them (see foldForSearch).
    std::string foldedIcao;
    std::string foldedFaa;
    std::string foldedName;
    std::string foldedPlace;
};

// A text as the station search compares it: letters without their accents and in lower case
// ("Dübendorf" gives "dubendorf", "Ísafjörður" gives "isafjordur"), as UTF-8.
std::string foldForSearch(const QString &text);

// The stations, in the order of the list (by ICAO id).
class StationList
{
public:
    // Reads the tab-separated list: a header line, then icao, faa, wmo, lat, lon and
    // description on each line. Lines that do not have them are passed over.
    static StationList fromTsv(const QByteArray &tsv);
    // The list built into the program, read once on first use.
    static const StationList &builtIn();

    const std::vector<Station> &stations() const { return stations_; }
    int size() const { return int(stations_.size()); }
    const Station &at(int index) const { return stations_.at(size_t(index)); }
    // The index of the station with this ICAO id (any letter case), -1 when none has it.
    int indexOfIcao(const QString &icao) const;

private:
    std::vector<Station> stations_;
};
