#include "store/recordbatch.h"

#include "store/largepages.h"
#include "store/recordfile.h"

#include <cassert>
#include <cstdlib>
#include <limits>
#include <new>
#include <stdexcept>

#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr std::size_t largePage = std::size_t(2) << 20;

template<typename End> End readEnd(const unsigned char *at)
{
    End end;
    std::memcpy(&end, at, sizeof end);
    return end;
}

// The record's fields from its field ends, each End wide.
template<typename End>
void splitRecord(const char *record, const unsigned char *ends, int columns, std::string_view *out)
{
    std::uint32_t begin = 0;
    for (int column = 0; column < columns; ++column) {
        const std::uint32_t end = readEnd<End>(ends + column * sizeof(End));
        out[column] = std::string_view(record + begin, end - begin);
        begin = end;
    }
}

// The record's field ends from the client library's lengths, each End wide; NULL fields are
// empty. Returns where the record's ends stop.
template<typename End>
unsigned char *writeEnds(unsigned char *ends, const char *const *fields,
                         const unsigned long *lengths, int columns)
{
    std::uint32_t end = 0;
    for (int i = 0; i < columns; ++i) {
        if (fields[i])
            end += static_cast<std::uint32_t>(lengths[i]);
        const auto narrow = static_cast<End>(end);
        std::memcpy(ends, &narrow, sizeof narrow);
        ends += sizeof narrow;
    }
    return ends;
}

int widthFor(std::uint32_t end)
{
    return end <= std::numeric_limits<std::uint8_t>::max() ? 1
        : end <= std::numeric_limits<std::uint16_t>::max() ? 2
                                                           : 4;
}

// Calls work with a value of the unsigned type that is width bytes wide (1, 2 or 4), so one
// piece of code serves the three widths of field ends.
template<typename Work> decltype(auto) withEndType(int width, Work &&work)
{
    switch (width) {
    case 1:
        return work(std::uint8_t {});
    case 2:
        return work(std::uint16_t {});
    default:
        return work(std::uint32_t {});
    }
}

std::uint32_t readEndOfWidth(const unsigned char *at, int width)
{
    return withEndType(width,
                       [at](auto type) -> std::uint32_t { return readEnd<decltype(type)>(at); });
}

void writeEndOfWidth(unsigned char *at, int width, std::uint32_t end)
{
    withEndType(width, [at, end](auto type) {
        const auto narrow = static_cast<decltype(type)>(end);
        std::memcpy(at, &narrow, sizeof narrow);
    });
}

} // namespace

// ---- BatchMemory ----

BatchMemory::BatchMemory(std::size_t bytes)
    : room(std::max<std::size_t>(bytes, 1))
{
    void *block = nullptr;
    if (room >= largePage) {
        // Aligned, so all but the tail can lie on large pages.
        if (::posix_memalign(&block, largePage, room) != 0)
            block = nullptr;
        if (block)
            preferLargePages(block, room);
    } else {
        block = std::malloc(room);
    }
    if (!block)
        throw std::bad_alloc();
    memory.reset(static_cast<unsigned char *>(block));
}

void BatchMemory::Free::operator()(unsigned char *block) const
{
    std::free(block);
}

void BatchMemory::grow(std::size_t bytes, std::size_t used)
{
    BatchMemory larger(std::max(bytes, room + room / 2));
    if (used > 0)
        std::memcpy(larger.data(), data(), used);
    *this = std::move(larger);
}

void BatchMemory::releaseAfter(std::size_t used)
{
    if (room < largePage)
        return;
    const auto pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(data());
    const std::uintptr_t first = (start + used + pageSize - 1) & ~(pageSize - 1);
    const std::uintptr_t end = (start + room) & ~(pageSize - 1);
    // The pages read as zeros if they are ever used again, which the allocator allows for.
    if (end > first)
        ::madvise(reinterpret_cast<void *>(first), end - first, MADV_DONTNEED);
}

// ---- RecordBatch ----

std::uint32_t RecordBatch::fieldEnd(std::size_t index) const
{
    return readEndOfWidth(endsAt + index * endWidth, endWidth);
}

std::string_view RecordBatch::field(int record, int column) const
{
    assert(record >= 0 && record < records && column >= 0 && column < columns);
    const std::size_t index = static_cast<std::size_t>(record) * columns + column;
    const std::uint32_t begin = column == 0 ? 0 : fieldEnd(index - 1);
    const std::uint32_t end = fieldEnd(index);
    const char *start = reinterpret_cast<const char *>(bytesAt) + recordStart(record);
    return std::string_view(start + begin, end - begin);
}

void RecordBatch::fields(int record, std::string_view *out) const
{
    assert(record >= 0 && record < records);
    const char *start = reinterpret_cast<const char *>(bytesAt) + recordStart(record);
    const unsigned char *ends = endsAt + static_cast<std::size_t>(record) * columns * endWidth;
    withEndType(endWidth,
                [&](auto type) { splitRecord<decltype(type)>(start, ends, columns, out); });
}

std::size_t RecordBatch::byteCount() const
{
    if (file)
        return sizeof(*this);
    return sizeof(*this) + byteSize
        + (static_cast<std::size_t>(records) + 1) * sizeof(std::uint32_t)
        + static_cast<std::size_t>(records) * columns * endWidth;
}

// ---- RecordBatchBuilder ----

RecordBatchBuilder::RecordBatchBuilder(int columns)
    : columns(columns)
{
    startBatch();
}

void RecordBatchBuilder::startBatch()
{
    bytes = BatchMemory();
    starts = BatchMemory();
    fieldEnds = BatchMemory();
    restartBatch();
}

void RecordBatchBuilder::restartBatch()
{
    records = 0;
    fieldsInRecord = 0;
    endWidth = 1;
    byteSize = 0;
    endCount = 0;
    const std::size_t expected = static_cast<std::size_t>(std::max(expectedRecords, 16));
    const auto atLeast = [](BatchMemory &memory, std::size_t size) {
        if (memory.capacity() < size)
            memory = BatchMemory(size);
    };
    atLeast(bytes, std::max<std::size_t>(expectedBytes, 1024));
    atLeast(starts, (expected + 1) * sizeof(std::uint32_t));
    atLeast(fieldEnds, expected * static_cast<std::size_t>(std::max(columns, 1)));
    const std::uint32_t first = 0;
    std::memcpy(starts.data(), &first, sizeof first);
}

void RecordBatchBuilder::expect(int expectedCount, std::size_t expectedSize)
{
    expectedRecords = std::max(expectedCount, 0);
    expectedBytes = expectedSize;
    // An empty batch takes the new size at once; one under way keeps growing as it needs.
    if (records == 0 && fieldsInRecord == 0 && byteSize == 0)
        startBatch();
}

char *RecordBatchBuilder::startRecord(std::size_t length)
{
    // Field ends are 32-bit offsets; the worker hands batches over long before this.
    if (length > std::numeric_limits<std::uint32_t>::max() - byteSize)
        throw std::length_error("result batch exceeds 4 GiB");
    // A record given field by field has its first fields written already.
    const std::size_t written = fieldsInRecord == 0 ? 0 : pendingBytes;
    if (byteSize + length > bytes.capacity())
        bytes.grow(byteSize + length, byteSize + written);
    const std::size_t endBytes = (endCount + static_cast<std::size_t>(columns)) * 4;
    if (endBytes > fieldEnds.capacity())
        fieldEnds.grow(endBytes, endCount * endWidth);
    const std::size_t startBytes = (static_cast<std::size_t>(records) + 2) * sizeof(std::uint32_t);
    if (startBytes > starts.capacity())
        starts.grow(startBytes, (static_cast<std::size_t>(records) + 1) * sizeof(std::uint32_t));
    return reinterpret_cast<char *>(bytes.data()) + byteSize;
}

void RecordBatchBuilder::widenEnds(int width)
{
    // Rare: a record longer than the ends written so far allow. They are rewritten wider, in
    // place, from the last to the first, so none is overwritten before it is read.
    unsigned char *ends = fieldEnds.data();
    for (std::size_t i = endCount; i-- > 0;)
        writeEndOfWidth(ends + i * width, width, readEndOfWidth(ends + i * endWidth, endWidth));
    endWidth = width;
}

void RecordBatchBuilder::writeEnd(std::uint32_t end)
{
    if (widthFor(end) > endWidth)
        widenEnds(widthFor(end));
    writeEndOfWidth(fieldEnds.data() + endCount * endWidth, endWidth, end);
    ++endCount;
}

void RecordBatchBuilder::endRecordOf(std::uint32_t length)
{
    byteSize += length;
    ++records;
    const auto start = static_cast<std::uint32_t>(byteSize);
    std::memcpy(starts.data() + static_cast<std::size_t>(records) * sizeof start, &start,
                sizeof start);
}

void RecordBatchBuilder::appendField(std::string_view value)
{
    if (fieldsInRecord == columns)
        throw std::logic_error("more fields than result columns");
    // The record's bytes so far lie after byteSize until the record ends.
    const std::size_t written = fieldsInRecord == 0 ? 0 : pendingBytes;
    char *out = startRecord(written + value.size()) + written;
    if (!value.empty())
        std::memcpy(out, value.data(), value.size());
    pendingBytes = written + value.size();
    writeEnd(static_cast<std::uint32_t>(pendingBytes));
    ++fieldsInRecord;
}

void RecordBatchBuilder::endRecord()
{
    const std::size_t length = fieldsInRecord == 0 ? 0 : pendingBytes;
    if (fieldsInRecord == 0)
        startRecord(0);
    for (; fieldsInRecord < columns; ++fieldsInRecord)
        writeEnd(static_cast<std::uint32_t>(length));
    fieldsInRecord = 0;
    pendingBytes = 0;
    endRecordOf(static_cast<std::uint32_t>(length));
}

void RecordBatchBuilder::appendRecord(const char *const *fields, const unsigned long *lengths)
{
    if (fieldsInRecord != 0)
        throw std::logic_error("a record is already in progress");
    // Room for the whole record is made once, then each field copied into it: this runs for
    // every record of a result, at the client library's pace.
    std::size_t length = 0;
    for (int i = 0; i < columns; ++i)
        length += fields[i] ? lengths[i] : 0;
    char *out = startRecord(length);
    if (length > 0) {
        for (int i = 0; i < columns; ++i) {
            if (fields[i] && lengths[i] > 0) {
                std::memcpy(out, fields[i], lengths[i]);
                out += lengths[i];
            }
        }
    }
    writeRecordEnds(fields, lengths, length);
}

void RecordBatchBuilder::appendRecord(const char *bytes, const char *const *fields,
                                      const unsigned long *lengths)
{
    if (fieldsInRecord != 0)
        throw std::logic_error("a record is already in progress");
    std::size_t length = 0;
    for (int i = 0; i < columns; ++i)
        length += fields[i] ? lengths[i] : 0;
    char *out = startRecord(length);
    if (length > 0)
        std::memcpy(out, bytes, length);
    writeRecordEnds(fields, lengths, length);
}

void RecordBatchBuilder::writeRecordEnds(const char *const *fields, const unsigned long *lengths,
                                         std::size_t length)
{
    const int width = widthFor(static_cast<std::uint32_t>(length));
    if (width > endWidth)
        widenEnds(width);
    unsigned char *ends = fieldEnds.data() + endCount * endWidth;
    withEndType(endWidth,
                [&](auto type) { writeEnds<decltype(type)>(ends, fields, lengths, columns); });
    endCount += static_cast<std::size_t>(columns);
    endRecordOf(static_cast<std::uint32_t>(length));
}

std::shared_ptr<const RecordBatch> RecordBatchBuilder::finish()
{
    auto batch = std::make_shared<RecordBatch>();
    batch->columns = columns;
    batch->records = records;
    batch->endWidth = endWidth;
    batch->byteSize = byteSize;
    batch->bytes = std::move(bytes);
    batch->starts = std::move(starts);
    batch->fieldEnds = std::move(fieldEnds);
    batch->bytesAt = batch->bytes.data();
    batch->startsAt = batch->starts.data();
    batch->endsAt = batch->fieldEnds.data();
    batch->bytes.releaseAfter(byteSize);
    batch->starts.releaseAfter((static_cast<std::size_t>(records) + 1) * sizeof(std::uint32_t));
    batch->fieldEnds.releaseAfter(endCount * endWidth);
    startBatch();
    return batch;
}

std::shared_ptr<const RecordBatch>
RecordBatchBuilder::finish(const std::shared_ptr<RecordFile> &file)
{
    const std::size_t startBytes = (static_cast<std::size_t>(records) + 1) * sizeof(std::uint32_t);
    const std::size_t endBytes = endCount * endWidth;
    const RecordFile::Piece pieces[] = {
        {bytes.data(), byteSize}, {starts.data(), startBytes}, {fieldEnds.data(), endBytes}};
    const unsigned char *at = file->append(pieces, 3);

    auto batch = std::make_shared<RecordBatch>();
    batch->columns = columns;
    batch->records = records;
    batch->endWidth = endWidth;
    batch->byteSize = byteSize;
    batch->bytesAt = at;
    batch->startsAt = at + byteSize;
    batch->endsAt = at + byteSize + startBytes;
    batch->file = file;
    restartBatch();
    return batch;
}
