#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

// The coastlines and country borders the map draws, at the scales the program has built in
// (data/outlines.bin, made by data/convert-outlines.sh from Natural Earth): a coarse level for
// the whole world and a finer one for a closer view.
struct OutlineLevel
{
    enum class Kind : std::uint8_t { Coastline = 0, Border = 1 };

    // The scale's denominator in millions: 110 for 1:110 million.
    int scaleMillions = 0;
    // Line i is the points starts[i] to starts[i + 1] - 1; starts has one entry more than
    // there are lines.
    std::vector<std::uint32_t> starts;
    std::vector<Kind> kinds;
    // Longitude and latitude of each point, in degrees, one after the other.
    std::vector<float> points;
    // Each line's extent, west, south, east, north, so a view can pass over the lines outside it.
    std::vector<float> extents;

    int lineCount() const { return int(kinds.size()); }
    int pointCount() const { return int(points.size() / 2); }
};

struct Outlines
{
    // Coarsest first.
    std::vector<OutlineLevel> levels;
    // Why the data could not be read; empty when it was.
    QString error;

    // Reads the file's layout (see data/convert-outlines.sh); anything that does not match it
    // gives no levels and the reason, never a partial read.
    static Outlines fromBytes(const QByteArray &bytes);
    // The outlines built into the program, read once on first use.
    static const Outlines &builtIn();

    std::size_t byteCount() const;
};
