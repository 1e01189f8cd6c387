#pragma once

#include <QByteArray>

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

class GridSelection;
class ResultStore;

// The result grid as text, for the CSV file and the clipboard. Both read every row and every
// column of the grid as it is at the call: the header row, the two empty columns after the
// result's own and the blank rows below the last record. Each line ends in carriage return and
// line feed, the last line too. Cell bytes are copied unchanged (UTF-8 as received); the whole
// text is built in one buffer, sized before the first byte is written.

// The CSV file's text. Cells are separated by ","; a cell holding a byte from 0 to 32 (NUL,
// the control characters, the space), a double quote or a comma is written between double
// quotes with each of its double quotes doubled; any other cell, the empty one included, is
// written as it is.
QByteArray BuildCSVText(const ResultStore &grid);

// The same text in consecutive pieces of about pieceBytes each (whole lines, a piece ends where
// a line does once it has that many bytes), handed to the sink in order, so a large grid can be
// written out without its whole text in memory. The sink may throw; writing stops there.
void WriteCSVPieces(const ResultStore &grid, const std::function<void(std::string_view)> &sink,
                    std::size_t pieceBytes = std::size_t(1) << 20);

enum class ClipboardMode {
    // Every cell followed by ",", none quoted.
    CommaDelimited,
    // Every cell padded with spaces to its column's width (its widest cell, in characters)
    // plus one; a pad never exceeds 200 spaces.
    SpaceAligned,
};

// The clipboard's text. Each line is the row's cells, each followed by its separator except the
// last column's, and then loses its last character (with the grid's two empty columns at the
// end, the separator after the first of them), so a line after a query ends in one comma, or
// in the spaces that fill out the last result column.
QByteArray BuildClipboardText(const ResultStore &grid, ClipboardMode mode);

// The selected cells as tab-separated lines, the text spreadsheets paste as cells: a line for
// each row that holds a selected cell, with a cell for each column that holds one (cells of
// those rows and columns that are not selected are left empty), in the grid's order; with
// names, the columns' names first. Rows are the table's, row 0 under the names. Every line ends
// in "\n". A cell holding a tab, a line break or a double quote is written between double
// quotes with each of its double quotes doubled; the bytes are otherwise unchanged.
QByteArray BuildSelectionText(const ResultStore &grid, const GridSelection &selection,
                              bool withNames);

// The least number of bytes of the clipboard text of the grid in the mode, and of the text of the
// selection, worked out from the store without making the text.
std::size_t ClipboardTextBytes(const ResultStore &grid, ClipboardMode mode);
std::size_t SelectionTextBytes(const ResultStore &grid, const GridSelection &selection,
                               bool withNames);

// Why a clipboard text of that many bytes is not made, empty when it can be: the text is held
// three times over while it is on the clipboard (its bytes, and the UTF-16 text that a program
// pasting it is given), and that must fit in the memory the system can still give the program.
QString ClipboardRefusal(std::size_t textBytes, std::uint64_t availableMemory);

namespace GridText {
// The longest run of spaces that separates two columns of the space-aligned text.
inline constexpr int padLength = 200;
} // namespace GridText
