#include "csvfile.h"

#include "gridtext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The system's description of an error number, without the trailing blanks, control
// characters and full stops some systems end it with, so the message reads as one sentence.
QString systemReason(int errorNumber)
{
    QString reason = QString::fromLocal8Bit(std::generic_category().message(errorNumber));
    qsizetype end = reason.size();
    while (end > 0 && (reason.at(end - 1).unicode() <= ' ' || reason.at(end - 1) == u'.'))
        --end;
    reason.truncate(end);
    return reason;
}

[[noreturn]] void cannotCreate(const QString &path, int errorNumber)
{
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    throw ExportError(CSVFileTexts::cannotCreateFile.arg(absolute, systemReason(errorNumber)));
}

[[noreturn]] void streamWriteError()
{
    throw ExportError(CSVFileTexts::streamWriteError);
}

// The new file while it is written; removed unless it was renamed to its place.
class TemporaryFile
{
public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;
    ~TemporaryFile()
    {
        closeFile();
        if (!name.isEmpty())
            ::unlink(name.constData());
    }

    // Creates a file of a new name in the folder; false, with errno set, when it cannot.
    bool create(const QByteArray &folder)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QByteArray candidate = folder + "/.orvex-"
                + QByteArray::number(QRandomGenerator::global()->generate(), 16) + ".tmp";
            fd = ::open(candidate.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                name = candidate;
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }

    // Writes the text after what is written already and has the system start putting it on
    // the disk at once, so the flush at the end waits only for the last of a large text.
    bool writeAll(std::string_view text)
    {
        if (!writeBytes(text))
            return false;
#ifdef SYNC_FILE_RANGE_WRITE
        if (!text.empty())
            ::sync_file_range(fd, offset, static_cast<off_t>(text.size()), SYNC_FILE_RANGE_WRITE);
#endif
        offset += static_cast<off_t>(text.size());
        return true;
    }

    bool writeBytes(std::string_view text)
    {
        const char *next = text.data();
        std::size_t left = text.size();
        while (left > 0) {
            const ssize_t written = ::write(fd, next, left);
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            next += written;
            left -= static_cast<std::size_t>(written);
        }
        return true;
    }

    // Flushes the content to the disk and closes the file; false when either fails, as a
    // full disk may only show here.
    bool finish()
    {
        return ::fsync(fd) == 0 && closeFile();
    }

    void keepPermissionsOf(const struct stat &existing)
    {
        ::fchmod(fd, existing.st_mode & 07777);
    }

    // Moves the file over the target; false, with errno set, when it cannot.
    bool renameTo(const QByteArray &target)
    {
        if (::rename(name.constData(), target.constData()) != 0)
            return false;
        name.clear();
        return true;
    }

private:
    bool closeFile()
    {
        if (fd < 0)
            return true;
        const int result = ::close(fd);
        fd = -1;
        return result == 0;
    }

    QByteArray name;
    int fd = -1;
    off_t offset = 0;
};

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
    if (exists && S_ISDIR(existing.st_mode))
        cannotCreate(path, EISDIR);
    // The new file replaces the old one by a rename, which a read-only file would not stop.
    if (exists && ::access(target.constData(), W_OK) != 0)
        cannotCreate(path, errno);

    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : target.left(slash == 0 ? 1 : slash);

    TemporaryFile file;
    if (!file.create(folder))
        cannotCreate(path, errno);
    if (exists)
        file.keepPermissionsOf(existing);
    produce([&file](std::string_view piece) {
        if (!file.writeAll(piece))
            streamWriteError();
    });
    if (!file.finish())
        streamWriteError();
    if (!file.renameTo(target))
        cannotCreate(path, errno);
}

QString SaveCSVFile(const ResultStore &grid, const QString &chosenPath)
{
    const QString path = CSVFilePath(chosenPath);
    // The text goes to the file as it is made, a piece at a time.
    WriteCSVFile(path, [&grid](const CSVTextSink &write) { WriteCSVPieces(grid, write); });
    return path;
}
