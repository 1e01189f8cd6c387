#pragma once

#include "store/recordbatch.h"

#include <QString>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The content of the result grid, in the grid's own coordinates: row 0 holds the column names,
// rows 1.. the records; (column, row) as the grid counts them. The row count only grows: rows
// left over from an earlier, longer result stay, blank. Records are kept in the batches the
// worker built, so the store holds each field's bytes once, plus a few bytes per field.
//
// Used on the main thread only: the grid's model, both exports and the run's hand-over read and
// change it there.
class ResultStore
{
public:
    // An empty grid of the given size (rows counting the header row).
    ResultStore(int columns, int rows);

    int columnCount() const { return columns; }
    int rowCount() const { return rows; }
    // Records written since the grid was last blanked; they fill rows 1 to recordCount().
    int recordCount() const { return records; }

    // The cell's text as UTF-8 bytes exactly as received; empty outside the grid, for blank
    // rows and for the two columns after the result's own.
    std::string_view cell(int column, int row) const;
    QString cellText(int column, int row) const;

    // Empties every cell, the header row included; the column and row counts stay.
    void blank();
    void setColumnCount(int count);
    // The column names for row 0, one per result column.
    void setHeader(std::vector<std::string> names);
    // Writes the batch's records to the rows after the last record written, one row each,
    // adding rows where the grid is too short.
    void appendRecords(std::shared_ptr<const RecordBatch> batch);
    // The same for count records of the batch from its record first on, so a batch can be
    // written in parts (the part that refills existing rows, then the part that adds rows).
    void appendRecords(std::shared_ptr<const RecordBatch> batch, int first, int count);

    // Bytes held for the content, the batches' included, for memory accounting.
    std::size_t byteCount() const;
    // The bytes of all cells together, header row included: what a text of the whole grid
    // holds besides its separators.
    std::size_t cellBytes() const;

    // Reads the grid row by row, front to back from row 0, each row's cells at once: for the
    // exports, which read every cell, without a search for each cell's batch. The store must
    // not change while a reader is in use.
    class RowReader
    {
    public:
        explicit RowReader(const ResultStore &store);
        // The cells of the next row, columnCount() of them, valid until the next call; null
        // past the last row.
        const std::string_view *next();
        // The next call of next() reads the given row.
        void seek(int row);

    private:
        const ResultStore &store;
        int row = 0;
        std::size_t batch = 0;
        std::vector<std::string_view> cells;
    };

private:
    // Where a batch lies in the grid: rows firstRow on hold its records from firstRecord on.
    struct Placement
    {
        int firstRow;
        int firstRecord;
        std::shared_ptr<const RecordBatch> batch;
    };

    // The first row after the batch's records.
    int nextFirstRow(const Placement &placed) const;

    int columns;
    int rows;
    int records = 0;
    std::vector<std::string> header;
    std::vector<Placement> batches;
};
