#include "export/csvfile.h"

#include "export/gridtext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A reason as the message gives it: without the trailing blanks, control characters and full
// stops some systems end their descriptions with, so the message reads as one sentence.
QString trimmedReason(QString reason)
{
    qsizetype end = reason.size();
    while (end > 0 && (reason.at(end - 1).unicode() <= ' ' || reason.at(end - 1) == u'.'))
        --end;
    reason.truncate(end);
    return reason;
}

// The system's description of an error number.
QString systemReason(int errorNumber)
{
    return trimmedReason(QString::fromLocal8Bit(std::generic_category().message(errorNumber)));
}

[[noreturn]] void cannotCreate(const QString &path, const QString &reason)
{
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    throw ExportError(CSVFileTexts::cannotCreateFile.arg(absolute, trimmedReason(reason)));
}

[[noreturn]] void cannotCreate(const QString &path, int errorNumber)
{
    cannotCreate(path, systemReason(errorNumber));
}

[[noreturn]] void streamWriteError()
{
    throw ExportError(CSVFileTexts::streamWriteError);
}

} // namespace

ExportError::ExportError(const QString &message)
    : std::runtime_error(message.toStdString())
{ }

QString ExportError::text() const
{
    return QString::fromUtf8(what());
}

QString CSVFilePath(const QString &chosenPath)
{
    // Letter case is compared for ASCII letters only, so no other character passes for one.
    static constexpr char16_t extension[] = u".csv";
    const QStringView name = QStringView(chosenPath).mid(chosenPath.lastIndexOf(u'/') + 1);
    bool matches = name.size() >= 4;
    for (qsizetype i = 0; matches && i < 4; ++i) {
        const char16_t unit = name.at(name.size() - 4 + i).unicode();
        const char16_t lower = unit >= u'A' && unit <= u'Z' ? unit + (u'a' - u'A') : unit;
        matches = lower == extension[i];
    }
    return matches ? chosenPath : chosenPath + QStringLiteral(".csv");
}

void WriteCSVFile(const QString &path, std::string_view text)
{
    WriteCSVFile(path, [text](const CSVTextSink &write) { write(text); });
}

void WriteCSVFile(const QString &path, const CSVTextProducer &produce)
{
    QByteArray target = QFile::encodeName(path);
    struct stat existing
    {
    };
    bool exists = ::lstat(target.constData(), &existing) == 0;
    if (exists && S_ISLNK(existing.st_mode)) {
        // Replace the file the link names, so the link stays.
        char resolved[PATH_MAX];
        if (::realpath(target.constData(), resolved)) {
            target = QByteArray(resolved);
            exists = ::stat(target.constData(), &existing) == 0;
        }
    }
    // The usual reasons a file cannot be made are found here, before anything is opened, so the
    // message gives the system's own description of each; the saving file would describe a
    // folder or a read-only file in words of its own.
    if (exists && S_ISDIR(existing.st_mode))
        cannotCreate(path, EISDIR);
    // The new file replaces the old one by a rename, which a read-only file would not stop.
    if (exists && ::access(target.constData(), W_OK) != 0)
        cannotCreate(path, errno);
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : target.left(slash == 0 ? 1 : slash);
    struct stat folderStatus
    {
    };
    if (::stat(folder.constData(), &folderStatus) != 0)
        cannotCreate(path, errno);
    if (!S_ISDIR(folderStatus.st_mode))
        cannotCreate(path, ENOTDIR);
    // A folder that takes no new file still lets an existing file be written in place.
    if (::access(folder.constData(), W_OK | X_OK) != 0 && !(exists && errno == EACCES))
        cannotCreate(path, errno);

    // The text goes to a new file in the same folder, renamed over the path once complete; where
    // the folder takes no new file, the existing file is written in place.
    QSaveFile file(QFile::decodeName(target));
    file.setDirectWriteFallback(true);
    // What fails only now, in the opening or the rename, is reported in the file library's
    // description of the system error.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        cannotCreate(path, file.errorString());
    const int fd = file.handle();
    // The new file takes the old one's bits exactly: the saving file would copy only the read,
    // write and execute bits, and give the owner those the writer has.
    if (exists)
        ::fchmod(fd, existing.st_mode & 07777);
    off_t offset = 0;
    produce([&file, fd, &offset](std::string_view piece) {
        const auto size = static_cast<qint64>(piece.size());
        // A full disk shows as a short count: the part that fitted is written without an error.
        if (file.write(piece.data(), size) != size)
            streamWriteError();
#ifdef SYNC_FILE_RANGE_WRITE
        // Start putting the piece on the disk at once, so the flush at the end waits only for
        // the last of a large text.
        if (size > 0)
            ::sync_file_range(fd, offset, size, SYNC_FILE_RANGE_WRITE);
#endif
        offset += size;
    });
    // Flushed to the disk before the rename; a full disk may only show here.
    if (::fsync(fd) != 0)
        streamWriteError();
    if (!file.commit())
        cannotCreate(path, file.errorString());
}

QString SaveCSVFile(const ResultStore &grid, const QString &chosenPath)
{
    const QString path = CSVFilePath(chosenPath);
    // The text goes to the file as it is made, a piece at a time.
    WriteCSVFile(path, [&grid](const CSVTextSink &write) { WriteCSVPieces(grid, write); });
    return path;
}
