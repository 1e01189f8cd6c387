#include "gridtext.h"

#include "resultstore.h"

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view lineEnd = "\r\n";

// A byte that continues a multi-byte UTF-8 character rather than starting one.
bool isContinuation(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

std::size_t characterCount(std::string_view text)
{
    std::size_t count = 0;
    for (const char byte : text)
        count += !isContinuation(byte);
    return count;
}

// Bytes that quoting adds to the cell: none for a cell written as it is, otherwise the two
// enclosing quotes and one for each double quote it holds.
std::size_t quotingBytes(std::string_view cell)
{
    bool quoted = false;
    std::size_t quotes = 0;
    for (const char byte : cell) {
        const auto code = static_cast<unsigned char>(byte);
        quoted |= code <= ' ' || code == ',';
        quotes += code == '"';
    }
    return quoted || quotes ? 2 + quotes : 0;
}

void appendCSVCell(std::string &out, std::string_view cell)
{
    if (quotingBytes(cell) == 0) {
        out.append(cell);
        return;
    }
    out += '"';
    std::size_t from = 0;
    for (std::size_t quote = cell.find('"'); quote != std::string_view::npos;
         quote = cell.find('"', quote + 1)) {
        out.append(cell.substr(from, quote + 1 - from));
        out += '"';
        from = quote + 1;
    }
    out.append(cell.substr(from));
    out += '"';
}

// Removes the line's last character, all bytes of it; an empty line stays empty. Without a
// starting byte among the last four (text that is not UTF-8) only the last byte goes.
void dropLastCharacter(std::string &out, std::size_t lineStart)
{
    if (out.size() == lineStart)
        return;
    const std::size_t last = out.size() - 1;
    const std::size_t earliest = std::max(lineStart, out.size() >= 4 ? out.size() - 4 : 0);
    std::size_t start = last;
    while (start > earliest && isContinuation(out[start]))
        --start;
    out.resize(isContinuation(out[start]) ? last : start);
}

std::string commaDelimitedText(const ResultStore &grid, int columns, int rows)
{
    std::size_t size = static_cast<std::size_t>(rows) * (std::max(columns - 1, 0) + lineEnd.size());
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column)
            size += grid.cell(column, row).size();
    }

    std::string out;
    out.reserve(size);
    for (int row = 0; row < rows; ++row) {
        const std::size_t lineStart = out.size();
        for (int column = 0; column < columns; ++column) {
            out.append(grid.cell(column, row));
            if (column < columns - 1)
                out += ',';
        }
        dropLastCharacter(out, lineStart);
        out.append(lineEnd);
    }
    return out;
}

std::string spaceAlignedText(const ResultStore &grid, int columns, int rows)
{
    // The widths in characters, and for the buffer's size the bytes and characters per column.
    std::vector<std::size_t> widths(columns, 0);
    std::vector<std::size_t> characters(columns, 0);
    std::size_t bytes = 0;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const std::string_view cell = grid.cell(column, row);
            const std::size_t length = characterCount(cell);
            widths[column] = std::max(widths[column], length);
            characters[column] += length;
            bytes += cell.size();
        }
    }

    constexpr std::size_t pad = GridText::padLength;
    // Spaces after a cell: up to its column's width plus one, at most a pad's worth. The
    // column's total is exact unless the pad cuts some of them short.
    std::size_t size = bytes + static_cast<std::size_t>(rows) * lineEnd.size();
    for (int column = 0; column < columns - 1; ++column) {
        size += std::min(static_cast<std::size_t>(rows) * (widths[column] + 1) - characters[column],
                         static_cast<std::size_t>(rows) * pad);
    }

    std::string out;
    out.reserve(size);
    for (int row = 0; row < rows; ++row) {
        const std::size_t lineStart = out.size();
        for (int column = 0; column < columns; ++column) {
            const std::string_view cell = grid.cell(column, row);
            out.append(cell);
            if (column < columns - 1)
                out.append(std::min(widths[column] - characterCount(cell) + 1, pad), ' ');
        }
        dropLastCharacter(out, lineStart);
        out.append(lineEnd);
    }
    return out;
}

} // namespace

std::string BuildCSVText(const ResultStore &grid)
{
    const int columns = std::max(grid.columnCount(), 0);
    const int rows = std::max(grid.rowCount(), 0);

    std::size_t size = static_cast<std::size_t>(rows) * (std::max(columns - 1, 0) + lineEnd.size());
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const std::string_view cell = grid.cell(column, row);
            size += cell.size() + quotingBytes(cell);
        }
    }

    std::string out;
    out.reserve(size);
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            if (column > 0)
                out += ',';
            appendCSVCell(out, grid.cell(column, row));
        }
        out.append(lineEnd);
    }
    return out;
}

std::string BuildClipboardText(const ResultStore &grid, ClipboardMode mode)
{
    const int columns = std::max(grid.columnCount(), 0);
    const int rows = std::max(grid.rowCount(), 0);
    if (mode == ClipboardMode::SpaceAligned)
        return spaceAlignedText(grid, columns, rows);
    return commaDelimitedText(grid, columns, rows);
}
