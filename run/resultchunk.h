#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// A batch of records as the worker read them: the bytes of every field one after another in a
// single buffer, and for each field where it ends. Built once on the worker thread and never
// changed afterwards, so the result grid and the log memo can share it across threads through
// std::shared_ptr<const ResultChunk> without copying a field.
//
// Field ends are kept relative to the start of their record, in 1, 2 or 4 bytes each, the
// narrowest that holds the batch's longest record: typical weather records are well under 256
// bytes, so a field costs its own bytes plus one.
class ResultChunk
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
        return recordStarts[static_cast<std::size_t>(first) + count] - recordStarts[first];
    }

    // Heap and object bytes this batch holds, for memory accounting.
    std::size_t byteCount() const;

private:
    friend class ResultChunkBuilder;

    std::uint32_t fieldEnd(std::size_t index) const;

    int columns = 0;
    int records = 0;
    int endWidth = 1;
    std::string bytes;
    std::vector<std::uint32_t> recordStarts; // records + 1 entries
    std::vector<unsigned char> fieldEnds; // records * columns ends of endWidth bytes each
};

// Gathers records into a ResultChunk on the worker thread. Plain bytes only: nothing here
// allocates per field, so it keeps up with the client library's row fetching.
class ResultChunkBuilder
{
public:
    explicit ResultChunkBuilder(int columns);

    int columnCount() const { return columns; }
    int recordCount() const { return static_cast<int>(recordStarts.size()) - 1; }
    // Field bytes gathered so far; a batch can be handed over early when this grows large.
    std::size_t byteCount() const { return bytes.size(); }

    // One record as the client library delivers it: fields[i] points at lengths[i] bytes, a
    // null pointer is a NULL field.
    void appendRecord(const char *const *fields, const unsigned long *lengths);

    // Field by field: appendField once per column, then endRecord. Columns not given before
    // endRecord are empty. Throws std::logic_error for more fields than columns.
    void appendField(std::string_view value);
    void endRecord();

    // Hands over the records gathered so far and starts an empty batch with the same columns.
    std::shared_ptr<const ResultChunk> finish();

private:
    void appendBytes(const char *data, std::size_t length);

    int columns;
    int fieldsInRecord = 0;
    std::uint32_t longestRecord = 0;
    std::string bytes;
    std::vector<std::uint32_t> recordStarts {0};
    std::vector<std::uint32_t> fieldEnds; // relative to the record's start
};
