#include "store/logstore.h"

#include <algorithm>
#include <cassert>

namespace {
// Echo lines hold the record's columns from the second up to the twenty-first.
constexpr int lastEchoColumn = 20;
} // namespace

std::string BuildEchoLine(const RecordBatch &records, int record)
{
    const int last = std::min(lastEchoColumn, records.columnCount() - 1);
    std::size_t length = 0;
    for (int column = 1; column <= last; ++column)
        length += records.field(record, column).size() + 1;

    std::string line;
    line.reserve(length);
    for (int column = 1; column <= last; ++column) {
        line += records.field(record, column);
        line += ',';
    }
    return line;
}

const LogStore::Segment &LogStore::segmentOf(qsizetype index) const
{
    assert(index >= 0 && index < lines);
    const auto after =
        std::upper_bound(segments.begin(), segments.end(), index,
                         [](qsizetype i, const Segment &s) { return i < s.firstLine; });
    return *(after - 1);
}

qsizetype LogStore::lineLength(qsizetype index) const
{
    const Segment &segment = segmentOf(index);
    const qsizetype offset = index - segment.firstLine;
    const auto ascii = [](std::string_view bytes) {
        return std::all_of(bytes.begin(), bytes.end(),
                           [](char byte) { return static_cast<unsigned char>(byte) < 0x80; });
    };
    if (segment.batch) {
        const RecordBatch &batch = *segment.batch;
        const int last = std::min(lastEchoColumn, batch.columnCount() - 1);
        qsizetype length = 0;
        for (int column = 1; column <= last; ++column) {
            const std::string_view field = batch.field(static_cast<int>(offset), column);
            if (!ascii(field))
                return line(index).size();
            length += static_cast<qsizetype>(field.size()) + 1;
        }
        return length;
    }
    const auto textIndex = static_cast<std::size_t>(segment.firstText + offset);
    const std::uint64_t begin = textIndex == 0 ? 0 : textEnds[textIndex - 1];
    const std::string_view bytes(textBytes.data() + begin, textEnds[textIndex] - begin);
    return ascii(bytes) ? static_cast<qsizetype>(bytes.size()) : line(index).size();
}

std::string LogStore::lineBytes(qsizetype index) const
{
    const Segment &segment = segmentOf(index);
    const qsizetype offset = index - segment.firstLine;
    if (segment.batch)
        return BuildEchoLine(*segment.batch, static_cast<int>(offset));

    const auto textIndex = static_cast<std::size_t>(segment.firstText + offset);
    const std::uint64_t begin = textIndex == 0 ? 0 : textEnds[textIndex - 1];
    return textBytes.substr(begin, textEnds[textIndex] - begin);
}

QString LogStore::line(qsizetype index) const
{
    const std::string bytes = lineBytes(index);
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

void LogStore::appendLine(const QString &value)
{
    const QByteArray bytes = value.toUtf8();
    appendLine(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

void LogStore::appendLine(std::string_view utf8)
{
    if (segments.empty() || segments.back().batch)
        segments.push_back({lines, nullptr, static_cast<qsizetype>(textEnds.size())});
    textBytes.append(utf8);
    textEnds.push_back(textBytes.size());
    ++lines;
}

void LogStore::appendEchoLines(std::shared_ptr<const RecordBatch> batch)
{
    if (!batch || batch->recordCount() == 0)
        return;
    const qsizetype count = batch->recordCount();
    segments.push_back({lines, std::move(batch), 0});
    lines += count;
}

void LogStore::clear()
{
    segments = {};
    textBytes = {};
    textEnds = {};
    lines = 0;
}

std::size_t LogStore::byteCount() const
{
    return sizeof(*this) + segments.capacity() * sizeof(Segment) + textBytes.capacity()
        + textEnds.capacity() * sizeof(std::uint64_t);
}

void LogOffsets::extendTo(const LogStore &log, qsizetype line)
{
    if (blockStarts.empty())
        blockStarts.push_back(0);
    const auto wanted = static_cast<std::size_t>(line / blockLines);
    while (blockStarts.size() <= wanted) {
        const qsizetype first = static_cast<qsizetype>(blockStarts.size() - 1) * blockLines;
        qint64 start = blockStarts.back();
        for (qsizetype i = first; i < first + blockLines; ++i)
            start += log.lineLength(i) + 1;
        blockStarts.push_back(start);
    }
}

qint64 LogOffsets::lineStart(const LogStore &log, qsizetype line)
{
    line = std::clamp<qsizetype>(line, 0, log.lineCount());
    if (line == 0)
        return 0;
    // The start of a line past the last is where a next line would start.
    const qsizetype known = std::min(line, log.lineCount() - 1);
    extendTo(log, known);
    const qsizetype block = known / blockLines;
    qint64 start = blockStarts[static_cast<std::size_t>(block)];
    for (qsizetype i = block * blockLines; i < line; ++i)
        start += log.lineLength(i) + 1;
    return start;
}

qint64 LogOffsets::textLength(const LogStore &log)
{
    const qsizetype lines = log.lineCount();
    if (lines == 0)
        return 0;
    return lineStart(log, lines - 1) + log.lineLength(lines - 1);
}

qsizetype LogOffsets::lineAt(const LogStore &log, qint64 offset)
{
    const qsizetype lines = log.lineCount();
    if (lines == 0)
        return -1;
    extendTo(log, lines - 1);
    const auto after = std::upper_bound(blockStarts.begin(), blockStarts.end(), offset);
    const qsizetype block = std::max<qsizetype>(after - blockStarts.begin() - 1, 0);
    qint64 start = blockStarts[static_cast<std::size_t>(block)];
    for (qsizetype i = block * blockLines; i < lines; ++i) {
        start += log.lineLength(i) + 1;
        if (offset < start)
            return i;
    }
    return lines - 1;
}
