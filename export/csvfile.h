#pragma once

#include <QString>

#include <functional>
#include <stdexcept>
#include <string_view>

class ResultStore;

// A failed CSV save. what() is the message in UTF-8 as the event loop's error box shows it; the
// box adds the final full stop.
class ExportError : public std::runtime_error
{
public:
    explicit ExportError(const QString &message);

    QString text() const;
};

namespace CSVFileTexts {
// The file cannot be made or replaced: the absolute path and the system's reason.
inline const QString cannotCreateFile = QStringLiteral("Cannot create file \"%1\". %2");
// The text could not be written in full.
inline const QString streamWriteError = QStringLiteral("Stream write error");
} // namespace CSVFileTexts

// The path written for the path chosen in the save dialog: ".csv" is appended unless the file's
// own name (its folders do not count) already ends in ".csv" in any letter case.
QString CSVFilePath(const QString &chosenPath);

// Makes the file at path hold exactly text, replacing a file of that name. The text goes to a
// new file in the same folder, which is flushed to the disk and then renamed over the path, so
// readers see either the old file or the whole new one. An existing file keeps its permission
// bits; a link is followed and the file it names is replaced.
//
// Where the folder takes no new file but the file in it may be written, the file is written in
// place instead.
//
// Throws ExportError: "Cannot create file ..." when the file cannot be made or replaced (no such
// folder, no permission, a folder of that name), "Stream write error" when the text cannot be
// written in full (the disk is full). Either way an existing file is left as it was and nothing
// of the new text is left behind, except in a file written in place, which keeps the part
// written.
void WriteCSVFile(const QString &path, std::string_view text);

// The same for a text made in pieces: produce calls its argument once per piece, in order, and
// the file holds the pieces joined. An exception from produce leaves the file as a failed write
// does.
using CSVTextSink = std::function<void(std::string_view)>;
using CSVTextProducer = std::function<void(const CSVTextSink &write)>;
void WriteCSVFile(const QString &path, const CSVTextProducer &produce);

// Everything of a save after the dialog: the path by the extension rule, the grid's CSV text and
// the write. Returns the path written.
QString SaveCSVFile(const ResultStore &grid, const QString &chosenPath);
