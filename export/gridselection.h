#pragma once

#include <climits>
#include <cstdint>
#include <vector>

// A block of cells of the result grid: rows top to bottom and columns left to right, both ends
// included. Rows are the table's rows, counted from 0 for the first row under the column
// names. A block whose bottom is toLastRow reaches the last row whatever the row count, so a
// whole column or the whole grid stays selected while rows stream in.
struct CellRange
{
    static constexpr int toLastRow = INT_MAX;

    int top = 0;
    int left = 0;
    int bottom = 0;
    int right = 0;

    // The block between two corner cells, in either order.
    static CellRange between(int row1, int column1, int row2, int column2);

    bool contains(int row, int column) const
    {
        return row >= top && row <= bottom && column >= left && column <= right;
    }
    bool operator==(const CellRange &) const = default;
};

// A run of rows or of columns, both ends included.
struct IndexSpan
{
    int first;
    int last;
    bool operator==(const IndexSpan &) const = default;
};

// The cells a user has selected in the grid: a few blocks, never a list of cells or rows, so
// selecting ten million rows costs what selecting one does. Plain data: the view changes it
// and paints from it, the copy reads it.
class GridSelection
{
public:
    bool isEmpty() const { return blocks.empty(); }
    const std::vector<CellRange> &ranges() const { return blocks; }

    void clear() { blocks.clear(); }
    // The selection becomes the one block.
    void select(const CellRange &range);
    // Adds the block to those selected.
    void add(const CellRange &range);
    // Takes the block's cells out, cutting the blocks it overlaps into the parts outside it.
    void remove(const CellRange &range);
    // Replaces the last block (the one a Shift+click or Shift+arrow extends), or adds it to an
    // empty selection.
    void replaceLast(const CellRange &range);

    bool contains(int row, int column) const;
    // The number of selected cells of a grid of the given size (blocks may overlap; cells in
    // more than one block count once).
    std::int64_t cellCount(int rows, int columns) const;

    // The rows that hold a selected cell, and the columns, of a grid of the given size: sorted
    // spans that neither overlap nor touch.
    std::vector<IndexSpan> rowSpans(int rows) const;
    std::vector<IndexSpan> columnSpans(int columns) const;

private:
    std::vector<CellRange> blocks;
};
