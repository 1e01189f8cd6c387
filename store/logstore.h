#pragma once

#include "resultchunk.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The log line written for a record: the texts of result columns 1 to min(20, n - 1), each
// followed by ",". Column 0 is left out, so a one-column result gives an empty line. UTF-8 bytes.
std::string BuildEchoLine(const ResultChunk &records, int record);

// The log memo's lines, compact enough for one line per record of a result of millions of
// records. Plain lines are kept as UTF-8 text in one buffer; the echo lines of a batch are kept
// as a reference to the batch itself and formatted only when a line is read. The batch is shared,
// so the lines stay as they were when the grid is blanked and refilled by a later run.
class LogStore
{
public:
    qsizetype lineCount() const { return lines; }
    // The line's text; requires 0 <= index < lineCount().
    QString line(qsizetype index) const;
    std::string lineBytes(qsizetype index) const;

    void appendLine(const QString &text);
    void appendLine(std::string_view utf8);
    // One echo line per record of the batch, in record order.
    void appendEchoLines(std::shared_ptr<const ResultChunk> batch);
    void clear();

    // Bytes this log holds of its own: the batches its echo lines refer to are shared with the
    // result grid and not counted.
    std::size_t byteCount() const;

private:
    // A run of consecutive lines of one kind: echo lines of a batch (chunk set, one line per
    // record) or plain lines (chunk null, starting at plain line firstText).
    struct Segment
    {
        qsizetype firstLine;
        std::shared_ptr<const ResultChunk> chunk;
        qsizetype firstText;
    };

    std::vector<Segment> segments;
    std::string textBytes;
    std::vector<std::uint64_t> textEnds;
    qsizetype lines = 0;
};
