#include "export/gridtext.h"

#include "export/gridselection.h"
#include "store/largepages.h"
#include "store/resultstore.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
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

// What each byte means for quoting: 1 makes the cell quoted, 3 also counts a double quote to
// be doubled.
using QuotingClasses = std::array<unsigned char, 256>;

// In the CSV file: NUL, the control characters, the space and the comma.
constexpr QuotingClasses csvQuoting = [] {
    QuotingClasses classes {};
    for (int code = 0; code <= ' '; ++code)
        classes[code] = 1;
    classes[','] = 1;
    classes['"'] = 3;
    return classes;
}();

// In the tab-separated text: what would split the cell or end its line.
constexpr QuotingClasses tabQuoting = [] {
    QuotingClasses classes {};
    classes['\t'] = 1;
    classes['\n'] = 1;
    classes['\r'] = 1;
    classes['"'] = 3;
    return classes;
}();

// Bytes that quoting adds to the cell: none for a cell written as it is, otherwise the two
// enclosing quotes and one for each double quote it holds.
std::size_t quotingBytes(std::string_view cell, const QuotingClasses &quotingClass = csvQuoting)
{
    unsigned quoted = 0;
    std::size_t quotes = 0;
    for (const char byte : cell) {
        const unsigned char kind = quotingClass[static_cast<unsigned char>(byte)];
        quoted |= kind;
        quotes += kind >> 1;
    }
    return quoted ? 2 + quotes : 0;
}

// The text under construction: one buffer of the size counted beforehand, filled front to back
// by plain copies. Should a count fall short, the buffer grows rather than overflows.
class TextBuffer
{
public:
    explicit TextBuffer(std::size_t size)
        : bytes(static_cast<qsizetype>(size), Qt::Uninitialized)
        , next(bytes.data())
        , end(next + size)
    {
        // A text of a million records takes some 40,000 pages of 4 KiB.
        preferLargePages(next, size);
    }

    std::size_t size() const { return static_cast<std::size_t>(next - bytes.data()); }

    void append(std::string_view text)
    {
        if (text.empty())
            return;
        reserve(text.size());
        std::memcpy(next, text.data(), text.size());
        next += text.size();
    }
    void append(char byte)
    {
        reserve(1);
        *next++ = byte;
    }
    void appendSpaces(std::size_t count)
    {
        reserve(count);
        std::memset(next, ' ', count);
        next += count;
    }

    // Removes the last character after offset start, all bytes of it. Without a starting byte
    // among the last four (text that is not UTF-8) only the last byte goes.
    void dropLastCharacter(std::size_t start)
    {
        const std::size_t length = size();
        if (length == start)
            return;
        const std::size_t earliest = std::max(start, length >= 4 ? length - 4 : 0);
        std::size_t first = length - 1;
        while (first > earliest && isContinuation(bytes.data()[first]))
            --first;
        next = bytes.data() + (isContinuation(bytes.data()[first]) ? length - 1 : first);
    }

    // Rows are not handed over one by one: the whole text is taken at the end.
    void endRow() { }
    std::string_view view() const { return std::string_view(bytes.constData(), size()); }
    void clear() { next = bytes.data(); }

    QByteArray take()
    {
        bytes.truncate(static_cast<qsizetype>(size()));
        return std::move(bytes);
    }

private:
    void reserve(std::size_t count)
    {
        if (count <= static_cast<std::size_t>(end - next))
            return;
        const std::size_t used = size();
        const std::size_t wanted = std::max(used + count, used + used / 2);
        bytes.resize(static_cast<qsizetype>(wanted));
        next = bytes.data() + used;
        end = bytes.data() + wanted;
    }

    QByteArray bytes;
    char *next;
    char *end;
};

void appendQuotedCell(TextBuffer &out, std::string_view cell,
                      const QuotingClasses &quotingClass = csvQuoting)
{
    if (quotingBytes(cell, quotingClass) == 0) {
        out.append(cell);
        return;
    }
    out.append('"');
    std::size_t from = 0;
    for (std::size_t quote = cell.find('"'); quote != std::string_view::npos;
         quote = cell.find('"', quote + 1)) {
        out.append(cell.substr(from, quote + 1 - from));
        out.append('"');
        from = quote + 1;
    }
    out.append(cell.substr(from));
    out.append('"');
}

// The bytes of the grid's text besides quoting and padding: every cell, a separator between
// neighbours and a line end per row. Counted from the batches, not cell by cell.
std::size_t plainTextBytes(const ResultStore &grid, int columns, int rows)
{
    return grid.cellBytes()
        + static_cast<std::size_t>(rows) * (std::max(columns - 1, 0) + lineEnd.size());
}

// Writes the CSV text's rows from the row reader's position on; after each row, out.endRow()
// may hand over what has been written so far.
template<typename Out> void writeCSVRows(const ResultStore &grid, int columns, Out &out)
{
    ResultStore::RowReader reader(grid);
    while (const std::string_view *cells = reader.next()) {
        for (int column = 0; column < columns; ++column) {
            if (column > 0)
                out.append(',');
            appendQuotedCell(out, cells[column]);
        }
        out.append(lineEnd);
        out.endRow();
    }
}

QByteArray commaDelimitedText(const ResultStore &grid, int columns, int rows)
{
    // No cell is quoted, so the size is known from the batches alone: an upper bound, as each
    // line loses its last character.
    TextBuffer out(plainTextBytes(grid, columns, rows));
    ResultStore::RowReader reader(grid);
    while (const std::string_view *cells = reader.next()) {
        const std::size_t lineStart = out.size();
        for (int column = 0; column < columns; ++column) {
            out.append(cells[column]);
            if (column < columns - 1)
                out.append(',');
        }
        out.dropLastCharacter(lineStart);
        out.append(lineEnd);
    }
    return out.take();
}

QByteArray spaceAlignedText(const ResultStore &grid, int columns, int rows)
{
    // The widths in characters, and for the buffer's size the characters per column.
    std::vector<std::size_t> widths(columns, 0);
    std::vector<std::size_t> characters(columns, 0);
    {
        ResultStore::RowReader reader(grid);
        while (const std::string_view *cells = reader.next()) {
            for (int column = 0; column < columns; ++column) {
                const std::size_t length = characterCount(cells[column]);
                widths[column] = std::max(widths[column], length);
                characters[column] += length;
            }
        }
    }

    constexpr std::size_t pad = GridText::padLength;
    // Spaces after a cell: up to its column's width plus one, at most a pad's worth. The
    // column's total is exact unless the pad cuts some of them short.
    std::size_t size = grid.cellBytes() + static_cast<std::size_t>(rows) * lineEnd.size();
    for (int column = 0; column < columns - 1; ++column) {
        size += std::min(static_cast<std::size_t>(rows) * (widths[column] + 1) - characters[column],
                         static_cast<std::size_t>(rows) * pad);
    }

    TextBuffer out(size);
    ResultStore::RowReader reader(grid);
    while (const std::string_view *cells = reader.next()) {
        const std::size_t lineStart = out.size();
        for (int column = 0; column < columns; ++column) {
            const std::string_view cell = cells[column];
            out.append(cell);
            if (column < columns - 1)
                out.appendSpaces(std::min(widths[column] - characterCount(cell) + 1, pad));
        }
        out.dropLastCharacter(lineStart);
        out.append(lineEnd);
    }
    return out.take();
}

// Output in pieces: what has been written goes to the sink once it reaches the piece size, at
// the end of a row, and the buffer starts over.
class PieceBuffer : public TextBuffer
{
public:
    PieceBuffer(const std::function<void(std::string_view)> &sink, std::size_t pieceBytes)
        : TextBuffer(pieceBytes + pieceBytes / 4)
        , sink(sink)
        , pieceBytes(pieceBytes)
    { }

    void endRow()
    {
        if (size() >= pieceBytes)
            flush();
    }
    void flush()
    {
        if (size() > 0)
            sink(view());
        clear();
    }

private:
    const std::function<void(std::string_view)> &sink;
    std::size_t pieceBytes;
};

} // namespace

QByteArray BuildCSVText(const ResultStore &grid)
{
    const int columns = std::max(grid.columnCount(), 0);
    const int rows = std::max(grid.rowCount(), 0);
    // Room for the text without quoting and some quoted cells; it grows if that falls short.
    const std::size_t size = plainTextBytes(grid, columns, rows);
    TextBuffer out(size + size / 16);
    writeCSVRows(grid, columns, out);
    return out.take();
}

void WriteCSVPieces(const ResultStore &grid, const std::function<void(std::string_view)> &sink,
                    std::size_t pieceBytes)
{
    const int columns = std::max(grid.columnCount(), 0);
    PieceBuffer out(sink, std::max<std::size_t>(pieceBytes, 1));
    writeCSVRows(grid, columns, out);
    out.flush();
}

QByteArray BuildClipboardText(const ResultStore &grid, ClipboardMode mode)
{
    const int columns = std::max(grid.columnCount(), 0);
    const int rows = std::max(grid.rowCount(), 0);
    if (mode == ClipboardMode::SpaceAligned)
        return spaceAlignedText(grid, columns, rows);
    return commaDelimitedText(grid, columns, rows);
}

namespace {

// What the selection's text covers: its rows, the columns shown, and about how many bytes.
struct SelectionShape
{
    std::vector<IndexSpan> rowSpans;
    std::vector<int> shown;
    std::size_t size = 0;
};

SelectionShape selectionShape(const ResultStore &grid, const GridSelection &selection,
                              bool withNames)
{
    const int columns = std::max(grid.columnCount(), 0);
    const int rows = std::max(grid.rowCount() - 1, 0);
    SelectionShape shape;
    shape.rowSpans = selection.rowSpans(rows);
    for (const IndexSpan &span : selection.columnSpans(columns)) {
        for (int column = span.first; column <= span.last; ++column)
            shape.shown.push_back(column);
    }
    if (shape.rowSpans.empty() || shape.shown.empty())
        return shape;

    std::size_t lines = withNames ? 1 : 0;
    for (const IndexSpan &span : shape.rowSpans)
        lines += static_cast<std::size_t>(span.last - span.first + 1);
    // The cells' share of the grid's bytes, and a separator or line end per cell.
    const double share = static_cast<double>(lines) / std::max(rows, 1)
        * static_cast<double>(shape.shown.size()) / std::max(columns, 1);
    shape.size = static_cast<std::size_t>(static_cast<double>(grid.cellBytes()) * share)
        + lines * shape.shown.size();
    return shape;
}

} // namespace

std::size_t ClipboardTextBytes(const ResultStore &grid, ClipboardMode)
{
    // The padding of the space-aligned text only adds to this.
    return plainTextBytes(grid, std::max(grid.columnCount(), 0), std::max(grid.rowCount(), 0));
}

std::size_t SelectionTextBytes(const ResultStore &grid, const GridSelection &selection,
                               bool withNames)
{
    return selectionShape(grid, selection, withNames).size;
}

QString ClipboardRefusal(std::size_t textBytes, std::uint64_t availableMemory)
{
    const std::uint64_t needed = static_cast<std::uint64_t>(textBytes) * 3;
    if (availableMemory == 0 || needed <= availableMemory)
        return {};
    const auto megabytes = [](std::uint64_t bytes) {
        return QString::number((bytes + (std::uint64_t(1) << 20) - 1) >> 20);
    };
    return QStringLiteral("The text for the clipboard would take %1 MB, and the clipboard holds it "
                          "three times over (%2 MB), more than the %3 MB of memory free. Use "
                          "\"Save to CSV...\" to write the grid to a file instead.")
        .arg(megabytes(textBytes), megabytes(needed), megabytes(availableMemory));
}

QByteArray BuildSelectionText(const ResultStore &grid, const GridSelection &selection,
                              bool withNames)
{
    const SelectionShape shape = selectionShape(grid, selection, withNames);
    const std::vector<IndexSpan> &rowSpans = shape.rowSpans;
    const std::vector<int> &shown = shape.shown;
    if (rowSpans.empty() || shown.empty())
        return {};
    // Room for some quoting besides.
    TextBuffer out(shape.size + shape.size / 16);

    // With one block every cell of its rows and columns is selected.
    const bool oneBlock = selection.ranges().size() == 1;
    ResultStore::RowReader reader(grid);
    const auto writeLine = [&](const std::string_view *cells, int row) {
        for (std::size_t i = 0; i < shown.size(); ++i) {
            if (i > 0)
                out.append('\t');
            if (row < 0 || oneBlock || selection.contains(row, shown[i]))
                appendQuotedCell(out, cells[shown[i]], tabQuoting);
        }
        out.append('\n');
    };
    if (withNames)
        writeLine(reader.next(), -1);
    for (const IndexSpan &span : rowSpans) {
        reader.seek(span.first + 1);
        for (int row = span.first; row <= span.last; ++row)
            writeLine(reader.next(), row);
    }
    return out.take();
}
