#include "logstore.h"

#include <algorithm>
#include <cassert>

namespace {
// Echo lines hold the record's columns from the second up to the twenty-first.
constexpr int lastEchoColumn = 20;
} // namespace

std::string BuildEchoLine(const ResultChunk &records, int record)
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

std::string LogStore::lineBytes(qsizetype index) const
{
    assert(index >= 0 && index < lines);
    const auto after =
        std::upper_bound(segments.begin(), segments.end(), index,
                         [](qsizetype i, const Segment &s) { return i < s.firstLine; });
    const Segment &segment = *(after - 1);
    const qsizetype offset = index - segment.firstLine;
    if (segment.chunk)
        return BuildEchoLine(*segment.chunk, static_cast<int>(offset));

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
    if (segments.empty() || segments.back().chunk)
        segments.push_back({lines, nullptr, static_cast<qsizetype>(textEnds.size())});
    textBytes.append(utf8);
    textEnds.push_back(textBytes.size());
    ++lines;
}

void LogStore::appendEchoLines(std::shared_ptr<const ResultChunk> batch)
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
