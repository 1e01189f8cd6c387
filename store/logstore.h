#pragma once

#include "store/recordbatch.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The log line written for a record: the texts of result columns 1 to min(20, n - 1), each
// followed by ",". Column 0 is left out, so a one-column result gives an empty line. UTF-8 bytes.
std::string BuildEchoLine(const RecordBatch &records, int record);

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
    // The line's length as line(index).size() counts it, UTF-16 units; made without the line's
    // text when its bytes are all ASCII.
    qsizetype lineLength(qsizetype index) const;

    void appendLine(const QString &text);
    void appendLine(std::string_view utf8);
    // One echo line per record of the batch, in record order.
    void appendEchoLines(std::shared_ptr<const RecordBatch> batch);
    void clear();

    // Bytes this log holds of its own: the batches its echo lines refer to are shared with the
    // result grid and not counted.
    std::size_t byteCount() const;

private:
    // A run of consecutive lines of one kind: echo lines of a batch (batch set, one line per
    // record) or plain lines (batch null, starting at plain line firstText).
    struct Segment
    {
        qsizetype firstLine;
        std::shared_ptr<const RecordBatch> batch;
        qsizetype firstText;
    };

    const Segment &segmentOf(qsizetype index) const;

    std::vector<Segment> segments;
    std::string textBytes;
    std::vector<std::uint64_t> textEnds;
    qsizetype lines = 0;
};

// Where each line of a log starts in its text, the lines joined by "\n", in UTF-16 units. The
// starts are kept for every 256th line only, and worked out only as far as asked: the last line
// of a million-line log is found without making its text, and lines appended later extend what
// is known. A log that was cleared needs reset().
class LogOffsets
{
public:
    void reset() { blockStarts.clear(); }

    qint64 lineStart(const LogStore &log, qsizetype line);
    // The length of the whole text.
    qint64 textLength(const LogStore &log);
    // The line that holds the offset, the "\n" after a line counting with it; offsets beyond
    // the text give the last line, -1 for an empty log.
    qsizetype lineAt(const LogStore &log, qint64 offset);

private:
    static constexpr qsizetype blockLines = 256;
    // Works out the starts of the blocks up to the one holding the line.
    void extendTo(const LogStore &log, qsizetype line);

    std::vector<qint64> blockStarts;
};
