#include "store/resultstore.h"

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
                                        [](int r, const Placement &b) { return r < b.firstRow; });
    const Placement &placed = *(after - 1);
    if (column >= placed.batch->columnCount())
        return {};
    return placed.batch->field(placed.firstRecord + row - placed.firstRow, column);
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

void ResultStore::appendRecords(std::shared_ptr<const RecordBatch> batch)
{
    if (batch) {
        const int count = batch->recordCount();
        appendRecords(std::move(batch), 0, count);
    }
}

void ResultStore::appendRecords(std::shared_ptr<const RecordBatch> batch, int first, int count)
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
        + batches.capacity() * sizeof(Placement);
    for (const std::string &name : header)
        total += name.capacity();
    for (const Placement &placed : batches)
        total += placed.batch->byteCount();
    return total;
}

std::size_t ResultStore::cellBytes() const
{
    std::size_t total = 0;
    for (int column = 0; column < columns && static_cast<std::size_t>(column) < header.size();
         ++column) {
        total += header[column].size();
    }
    for (const Placement &placed : batches) {
        const RecordBatch &batch = *placed.batch;
        const int count = nextFirstRow(placed) - placed.firstRow;
        if (batch.columnCount() <= columns) {
            total += batch.fieldBytes(placed.firstRecord, count);
            continue;
        }
        // The grid shows fewer columns than the batch has: only theirs count.
        for (int record = placed.firstRecord; record < placed.firstRecord + count; ++record) {
            for (int column = 0; column < columns; ++column)
                total += batch.field(record, column).size();
        }
    }
    return total;
}

int ResultStore::nextFirstRow(const Placement &placed) const
{
    const auto index = static_cast<std::size_t>(&placed - batches.data());
    return index + 1 < batches.size() ? batches[index + 1].firstRow : records + 1;
}

ResultStore::RowReader::RowReader(const ResultStore &store)
    : store(store)
{
    std::size_t width = static_cast<std::size_t>(std::max(store.columns, 0));
    for (const Placement &placed : store.batches)
        width = std::max(width, static_cast<std::size_t>(placed.batch->columnCount()));
    cells.resize(width);
}

void ResultStore::RowReader::seek(int to)
{
    row = std::max(to, 0);
    if (batch >= store.batches.size() || store.batches[batch].firstRow > row)
        batch = 0;
    // Rows after the records are blank, and next() blanks the cells at the first of them only.
    if (row > store.records)
        std::fill(cells.begin(), cells.end(), std::string_view());
}

const std::string_view *ResultStore::RowReader::next()
{
    if (row >= store.rows)
        return nullptr;
    const int columns = store.columns;
    if (row == 0) {
        for (int column = 0; column < columns; ++column)
            cells[column] = static_cast<std::size_t>(column) < store.header.size()
                ? std::string_view(store.header[column])
                : std::string_view();
    } else if (row <= store.records) {
        while (batch + 1 < store.batches.size() && store.batches[batch + 1].firstRow <= row)
            ++batch;
        const Placement &current = store.batches[batch];
        current.batch->fields(current.firstRecord + row - current.firstRow, cells.data());
        for (int column = current.batch->columnCount(); column < columns; ++column)
            cells[column] = {};
    } else if (row == store.records + 1) {
        std::fill(cells.begin(), cells.end(), std::string_view());
    }
    ++row;
    return cells.data();
}
