#include "resultchunk.h"

#include <cassert>
#include <cstring>
#include <limits>
#include <stdexcept>

std::uint32_t ResultChunk::fieldEnd(std::size_t index) const
{
    const unsigned char *at = fieldEnds.data() + index * endWidth;
    switch (endWidth) {
    case 1:
        return *at;
    case 2: {
        std::uint16_t end;
        std::memcpy(&end, at, sizeof end);
        return end;
    }
    default: {
        std::uint32_t end;
        std::memcpy(&end, at, sizeof end);
        return end;
    }
    }
}

std::string_view ResultChunk::field(int record, int column) const
{
    assert(record >= 0 && record < records && column >= 0 && column < columns);
    const std::size_t index = static_cast<std::size_t>(record) * columns + column;
    const std::uint32_t begin = column == 0 ? 0 : fieldEnd(index - 1);
    const std::uint32_t end = fieldEnd(index);
    return std::string_view(bytes.data() + recordStarts[record] + begin, end - begin);
}

namespace {

// The record's fields from its field ends, each End wide.
template<typename End>
void splitRecord(const char *record, const unsigned char *ends, int columns, std::string_view *out)
{
    std::uint32_t begin = 0;
    for (int column = 0; column < columns; ++column) {
        End end;
        std::memcpy(&end, ends + column * sizeof(End), sizeof(End));
        out[column] = std::string_view(record + begin, end - begin);
        begin = end;
    }
}

} // namespace

void ResultChunk::fields(int record, std::string_view *out) const
{
    assert(record >= 0 && record < records);
    const char *start = bytes.data() + recordStarts[record];
    const unsigned char *ends =
        fieldEnds.data() + static_cast<std::size_t>(record) * columns * endWidth;
    switch (endWidth) {
    case 1:
        splitRecord<std::uint8_t>(start, ends, columns, out);
        break;
    case 2:
        splitRecord<std::uint16_t>(start, ends, columns, out);
        break;
    default:
        splitRecord<std::uint32_t>(start, ends, columns, out);
        break;
    }
}

std::size_t ResultChunk::byteCount() const
{
    return sizeof(*this) + bytes.capacity() + recordStarts.capacity() * sizeof(std::uint32_t)
        + fieldEnds.capacity();
}

ResultChunkBuilder::ResultChunkBuilder(int columns)
    : columns(columns)
{ }

void ResultChunkBuilder::appendBytes(const char *data, std::size_t length)
{
    // Field ends are 32-bit offsets; the worker hands batches over long before this.
    if (length > std::numeric_limits<std::uint32_t>::max() - bytes.size())
        throw std::length_error("result batch exceeds 4 GiB");
    bytes.append(data, length);
}

void ResultChunkBuilder::appendField(std::string_view value)
{
    if (fieldsInRecord == columns)
        throw std::logic_error("more fields than result columns");
    appendBytes(value.data(), value.size());
    fieldEnds.push_back(static_cast<std::uint32_t>(bytes.size()) - recordStarts.back());
    ++fieldsInRecord;
}

void ResultChunkBuilder::endRecord()
{
    const std::uint32_t start = recordStarts.back();
    const std::uint32_t length = static_cast<std::uint32_t>(bytes.size()) - start;
    for (; fieldsInRecord < columns; ++fieldsInRecord)
        fieldEnds.push_back(length);
    fieldsInRecord = 0;
    if (length > longestRecord)
        longestRecord = length;
    recordStarts.push_back(static_cast<std::uint32_t>(bytes.size()));
}

void ResultChunkBuilder::appendRecord(const char *const *fields, const unsigned long *lengths)
{
    if (fieldsInRecord != 0)
        throw std::logic_error("a record is already in progress");
    // The record's room is made once, then each field copied into it: this runs for every
    // record of a result, at the client library's pace.
    std::size_t length = 0;
    for (int i = 0; i < columns; ++i)
        length += fields[i] ? lengths[i] : 0;
    const std::size_t start = bytes.size();
    if (length > std::numeric_limits<std::uint32_t>::max() - start)
        throw std::length_error("result batch exceeds 4 GiB");
    bytes.resize(start + length);
    char *out = bytes.data() + start;
    const std::size_t firstEnd = fieldEnds.size();
    fieldEnds.resize(firstEnd + static_cast<std::size_t>(columns));
    std::uint32_t *ends = fieldEnds.data() + firstEnd;
    std::uint32_t end = 0;
    for (int i = 0; i < columns; ++i) {
        if (fields[i]) {
            std::memcpy(out + end, fields[i], lengths[i]);
            end += static_cast<std::uint32_t>(lengths[i]);
        }
        ends[i] = end;
    }
    if (end > longestRecord)
        longestRecord = end;
    recordStarts.push_back(static_cast<std::uint32_t>(bytes.size()));
}

std::shared_ptr<const ResultChunk> ResultChunkBuilder::finish()
{
    auto chunk = std::make_shared<ResultChunk>();
    chunk->columns = columns;
    chunk->records = recordCount();
    chunk->endWidth = longestRecord <= std::numeric_limits<std::uint8_t>::max() ? 1
        : longestRecord <= std::numeric_limits<std::uint16_t>::max()            ? 2
                                                                                : 4;

    chunk->fieldEnds.resize(fieldEnds.size() * chunk->endWidth);
    unsigned char *out = chunk->fieldEnds.data();
    for (const std::uint32_t end : fieldEnds) {
        if (chunk->endWidth == 1) {
            *out = static_cast<unsigned char>(end);
        } else if (chunk->endWidth == 2) {
            const auto narrow = static_cast<std::uint16_t>(end);
            std::memcpy(out, &narrow, sizeof narrow);
        } else {
            std::memcpy(out, &end, sizeof end);
        }
        out += chunk->endWidth;
    }

    // The next batch is likely about as large as this one: keep its sizes as a reservation.
    const std::size_t byteReserve = bytes.size();
    const std::size_t recordReserve = recordStarts.size();
    const std::size_t fieldReserve = fieldEnds.size();

    chunk->bytes = std::move(bytes);
    chunk->bytes.shrink_to_fit();
    chunk->recordStarts = std::move(recordStarts);
    chunk->recordStarts.shrink_to_fit();

    bytes = std::string();
    bytes.reserve(byteReserve);
    recordStarts = std::vector<std::uint32_t>();
    recordStarts.reserve(recordReserve);
    recordStarts.push_back(0);
    fieldEnds.clear();
    fieldEnds.reserve(fieldReserve);
    fieldsInRecord = 0;
    longestRecord = 0;
    return chunk;
}
