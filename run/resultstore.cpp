#include "resultstore.h"

#include <algorithm>
#include <cassert>

ResultStore::ResultStore(int columns, int rows)
    : columns(columns)
    , rows(rows)
{ }

std::string_view ResultStore::cell(int column, int row) const
{
    if (column < 0 || column >= columns || row < 0 || row >= rows)
        return {};
    if (row == 0) {
        if (static_cast<std::size_t>(column) < header.size())
            return header[column];
        return {};
    }
    if (row > records)
        return {};

    // The batch holding the row: the last one that starts at or before it.
    const auto after = std::upper_bound(batches.begin(), batches.end(), row,
                                        [](int r, const Batch &b) { return r < b.firstRow; });
    const Batch &batch = *(after - 1);
    if (column >= batch.chunk->columnCount())
        return {};
    return batch.chunk->field(batch.firstRecord + row - batch.firstRow, column);
}

QString ResultStore::cellText(int column, int row) const
{
    const std::string_view bytes = cell(column, row);
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

void ResultStore::blank()
{
    header.clear();
    header.shrink_to_fit();
    batches.clear();
    batches.shrink_to_fit();
    records = 0;
}

void ResultStore::setColumnCount(int count)
{
    columns = count;
}

void ResultStore::setHeader(std::vector<std::string> names)
{
    header = std::move(names);
}

void ResultStore::appendRecords(std::shared_ptr<const ResultChunk> batch)
{
    if (batch) {
        const int count = batch->recordCount();
        appendRecords(std::move(batch), 0, count);
    }
}

void ResultStore::appendRecords(std::shared_ptr<const ResultChunk> batch, int first, int count)
{
    if (!batch || count <= 0)
        return;
    assert(first >= 0 && count <= batch->recordCount() - first);
    const int firstRow = records + 1;
    records += count;
    rows = std::max(rows, records + 1);
    batches.push_back({firstRow, first, std::move(batch)});
}

std::size_t ResultStore::byteCount() const
{
    std::size_t total = sizeof(*this) + header.capacity() * sizeof(std::string)
        + batches.capacity() * sizeof(Batch);
    for (const std::string &name : header)
        total += name.capacity();
    for (const Batch &batch : batches)
        total += batch.chunk->byteCount();
    return total;
}
