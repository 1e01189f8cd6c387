#include "map/outlines.h"

#include <QFile>

#include <algorithm>

namespace {

// Reads little-endian numbers from the front of the bytes, remembering when it ran past the end.
class Reader
{
public:
    // Reads from offset on; the bytes must outlive the reader.
    Reader(const QByteArray &bytes, std::size_t offset)
        : data(reinterpret_cast<const unsigned char *>(bytes.constData()))
        , size(std::size_t(bytes.size()))
        , at(offset)
    { }

    bool has(std::size_t count) const { return size - at >= count; }
    std::uint32_t u32()
    {
        if (!has(4)) {
            short_ = true;
            return 0;
        }
        const std::uint32_t v = std::uint32_t(data[at]) | std::uint32_t(data[at + 1]) << 8
            | std::uint32_t(data[at + 2]) << 16 | std::uint32_t(data[at + 3]) << 24;
        at += 4;
        return v;
    }
    std::int16_t i16()
    {
        const auto v = std::uint16_t(data[at] | data[at + 1] << 8);
        at += 2;
        return std::int16_t(v);
    }
    bool shortRead() const { return short_; }
    bool atEnd() const { return at == size; }

private:
    const unsigned char *data;
    std::size_t size;
    std::size_t at;
    bool short_ = false;
};

Outlines failure(const QString &why)
{
    Outlines outlines;
    outlines.error = why;
    return outlines;
}

} // namespace

Outlines Outlines::fromBytes(const QByteArray &bytes)
{
    if (!bytes.startsWith("OXOL"))
        return failure(QStringLiteral("not an outline file"));
    Reader in(bytes, 4);
    const std::uint32_t version = in.u32();
    const std::uint32_t levelCount = in.u32();
    if (in.shortRead() || version != 1)
        return failure(QStringLiteral("unknown outline file version"));
    if (levelCount == 0 || levelCount > 16)
        return failure(QStringLiteral("bad number of levels"));
    Outlines outlines;
    for (std::uint32_t l = 0; l < levelCount; ++l) {
        OutlineLevel level;
        level.scaleMillions = int(in.u32());
        const std::uint32_t lines = in.u32();
        const std::uint32_t points = in.u32();
        if (in.shortRead() || !in.has(std::size_t(lines) * 4 + std::size_t(points) * 4))
            return failure(QStringLiteral("the file ends too soon"));
        level.starts.reserve(lines + 1);
        level.kinds.reserve(lines);
        std::uint64_t total = 0;
        level.starts.push_back(0);
        for (std::uint32_t i = 0; i < lines; ++i) {
            const std::uint32_t word = in.u32();
            total += word >> 1;
            if (total > points || (word >> 1) < 2)
                return failure(QStringLiteral("a line's point count does not fit"));
            level.starts.push_back(std::uint32_t(total));
            level.kinds.push_back(OutlineLevel::Kind(word & 1));
        }
        if (total != points)
            return failure(QStringLiteral("the lines do not take all the points"));
        level.points.resize(std::size_t(points) * 2);
        for (std::size_t p = 0; p < points; ++p) {
            level.points[2 * p] = float(in.i16() * (180.0 / 32767));
            level.points[2 * p + 1] = float(in.i16() * (90.0 / 32767));
        }
        level.extents.resize(std::size_t(lines) * 4);
        for (std::uint32_t i = 0; i < lines; ++i) {
            float west = 180, south = 90, east = -180, north = -90;
            for (std::uint32_t p = level.starts[i]; p < level.starts[i + 1]; ++p) {
                west = std::min(west, level.points[2 * p]);
                east = std::max(east, level.points[2 * p]);
                south = std::min(south, level.points[2 * p + 1]);
                north = std::max(north, level.points[2 * p + 1]);
            }
            float *extent = &level.extents[4 * std::size_t(i)];
            extent[0] = west;
            extent[1] = south;
            extent[2] = east;
            extent[3] = north;
        }
        outlines.levels.push_back(std::move(level));
    }
    if (!in.atEnd())
        return failure(QStringLiteral("bytes after the last level"));
    return outlines;
}

const Outlines &Outlines::builtIn()
{
    static const Outlines outlines = [] {
        QFile file(QStringLiteral(":/map/outlines.bin"));
        if (!file.open(QIODevice::ReadOnly))
            return failure(QStringLiteral("the built-in outlines are missing"));
        return fromBytes(file.readAll());
    }();
    return outlines;
}

std::size_t Outlines::byteCount() const
{
    std::size_t bytes = 0;
    for (const OutlineLevel &level : levels)
        bytes += level.starts.size() * sizeof(std::uint32_t) + level.kinds.size()
            + (level.points.size() + level.extents.size()) * sizeof(float);
    return bytes;
}
