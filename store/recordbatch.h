#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class RecordFile;

// Memory for a batch's arrays: allocated without being cleared, large ones on whole large pages
// (see largepages.h), so the system clears each once and in few steps. The builder fills it and
// hands it to the batch as it is.
class BatchMemory
{
public:
    BatchMemory() = default;
    // Room for at least bytes bytes, none of them written yet.
    explicit BatchMemory(std::size_t bytes);

    unsigned char *data() { return memory.get(); }
    const unsigned char *data() const { return memory.get(); }
    std::size_t capacity() const { return room; }

    // The first used bytes move to a larger block of at least bytes bytes.
    void grow(std::size_t bytes, std::size_t used);
    // Gives the system back the pages after the first used bytes, for memory whose use is
    // complete: of a large page only partly used, the rest would otherwise stay in memory.
    void releaseAfter(std::size_t used);

private:
    struct Free
    {
        void operator()(unsigned char *block) const;
    };
    std::unique_ptr<unsigned char[], Free> memory;
    std::size_t room = 0;
};

// A batch of records as the worker read them: the bytes of every field one after another in a
// single buffer, and for each field where it ends. Built once on the worker thread and never
// changed afterwards, so the result grid and the log memo can share it across threads through
// std::shared_ptr<const RecordBatch> without copying a field.
//
// Field ends are kept relative to the start of their record, in 1, 2 or 4 bytes each, the
// narrowest that holds the batch's longest record: typical weather records are well under 256
// bytes, so a field costs its own bytes plus one.
class RecordBatch
{
public:
    int columnCount() const { return columns; }
    int recordCount() const { return records; }

    // The field's bytes exactly as received; a NULL field reads as empty text.
    // Requires 0 <= record < recordCount() and 0 <= column < columnCount().
    std::string_view field(int record, int column) const;
    // All fields of the record at once, in column order: columnCount() views written to out.
    // For readers that go through every field, without working out each field's place anew.
    void fields(int record, std::string_view *out) const;
    // The field bytes of count records from record first on, together.
    std::size_t fieldBytes(int first, int count) const
    {
        return recordStart(static_cast<std::size_t>(first) + count) - recordStart(first);
    }

    // Bytes this batch holds in the program's memory, for memory accounting: what it uses of
    // its memory, which is what the system has given it pages for; room never written costs
    // none. A batch kept in a file holds next to nothing.
    std::size_t byteCount() const;
    // Whether the batch's records lie in a file of the program's temporary folder.
    bool inFile() const { return file != nullptr; }

private:
    friend class RecordBatchBuilder;

    std::uint32_t recordStart(std::size_t record) const
    {
        std::uint32_t start;
        std::memcpy(&start, startsAt + record * sizeof start, sizeof start);
        return start;
    }
    std::uint32_t fieldEnd(std::size_t index) const;

    int columns = 0;
    int records = 0;
    int endWidth = 1;
    std::size_t byteSize = 0;
    // The three arrays: the field bytes, records + 1 starts of 4 bytes each, and records *
    // columns field ends of endWidth bytes each. They lie in the memory below, or one after
    // another in a read-only mapping of the file.
    const unsigned char *bytesAt = nullptr;
    const unsigned char *startsAt = nullptr;
    const unsigned char *endsAt = nullptr;
    BatchMemory bytes;
    BatchMemory starts;
    BatchMemory fieldEnds;
    std::shared_ptr<const RecordFile> file;
};

// Gathers records into a RecordBatch on the worker thread. Plain bytes only: nothing here
// allocates per field, so it keeps up with the client library's row fetching. Handing a batch
// over moves the memory it was built in to it; the next batch is built in new memory, which the
// system supplies as it is written, a large page at a time, rather than all at once.
class RecordBatchBuilder
{
public:
    explicit RecordBatchBuilder(int columns);

    int columnCount() const { return columns; }
    int recordCount() const { return records; }
    // Field bytes gathered so far; a batch can be handed over early when this grows large.
    std::size_t byteCount() const { return byteSize; }

    // Room for the next batch, when its size can be told in advance: records of about bytes
    // bytes in all. Room not written costs no memory.
    void expect(int records, std::size_t bytes);

    // One record as the client library delivers it: fields[i] points at lengths[i] bytes, a
    // null pointer is a NULL field.
    void appendRecord(const char *const *fields, const unsigned long *lengths);
    // The same for a record whose field bytes lie one after another at bytes, in column order
    // (a NULL field adding none): taken with one copy.
    void appendRecord(const char *bytes, const char *const *fields, const unsigned long *lengths);

    // Field by field: appendField once per column, then endRecord. Columns not given before
    // endRecord are empty. Throws std::logic_error for more fields than columns.
    void appendField(std::string_view value);
    void endRecord();

    // Hands over the records gathered so far and starts an empty batch with the same columns.
    std::shared_ptr<const RecordBatch> finish();
    // The same, with the records written to the end of the file and read from there: the
    // builder keeps its memory for the next batch. Throws RecordFileError when the write
    // fails, with the records still here, so finish() can hand them over from memory.
    std::shared_ptr<const RecordBatch> finish(const std::shared_ptr<RecordFile> &file);

private:
    // Makes room for a record of length field bytes (those given so far included), its field
    // ends and its start, and returns where its bytes go.
    char *startRecord(std::size_t length);
    void writeEnd(std::uint32_t end);
    void widenEnds(int width);
    void writeRecordEnds(const char *const *fields, const unsigned long *lengths,
                         std::size_t length);
    void endRecordOf(std::uint32_t length);
    void startBatch();
    // An empty batch in the memory there is, grown where the next one is expected larger.
    void restartBatch();

    int columns;
    int records = 0;
    int fieldsInRecord = 0;
    int endWidth = 1;
    std::size_t byteSize = 0;
    // Bytes of the record being given field by field, written after byteSize.
    std::size_t pendingBytes = 0;
    std::size_t endCount = 0;
    int expectedRecords = 0;
    std::size_t expectedBytes = 0;
    BatchMemory bytes;
    BatchMemory starts;
    BatchMemory fieldEnds;
};
