#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// A write to a result's file that failed: the disk is full (or the file has reached the size
// the process may write), or another error; what() holds the system's text.
class RecordFileError : public std::runtime_error
{
public:
    RecordFileError(const std::string &what, bool diskFull)
        : std::runtime_error(what)
        , full(diskFull)
    { }
    bool diskFull() const { return full; }

private:
    bool full;
};

// A file of the program's temporary folder that batches of records are appended to and read
// back from through read-only mappings of it, so their pages are the system's file cache, which
// keeps what is read and gives the rest back under memory pressure, rather than the program's own
// memory. Appended by one thread at a time; the bytes appended may be read from any thread for as
// long as the file lives. The file is removed when the object goes.
class RecordFile
{
public:
    // Creates the file; throws RecordFileError when it cannot be made.
    explicit RecordFile(QString path);
    RecordFile(const RecordFile &) = delete;
    RecordFile &operator=(const RecordFile &) = delete;
    ~RecordFile();

    struct Piece
    {
        const void *data;
        std::size_t size;
    };
    // Writes the pieces one after another at the end of the file and returns where the first
    // one can be read, the others following it without a gap. Throws RecordFileError when the
    // write fails; the file is then as it was before the call.
    const unsigned char *append(const Piece *pieces, int count);

    // The bytes written so far.
    std::uint64_t size() const { return end; }
    const QString &path() const { return filePath; }

    // How much file each mapping covers at least; batches never straddle two.
    static constexpr std::size_t windowBytes = std::size_t(1) << 30;

private:
    struct Window
    {
        unsigned char *data;
        std::uint64_t start;
        std::size_t length;
    };
    // A window that holds [at, at + bytes), mapped for it where the last one does not.
    const Window &windowFor(std::uint64_t &at, std::size_t bytes);
    // Starts the writing out of what was appended, and waits for what was appended earlier.
    void keepFewDirty();
    static constexpr std::uint64_t dirtyBytes = std::uint64_t(256) << 20;
    // The most one call to the system writes, or starts writing out.
    static constexpr std::size_t writeStep = std::size_t(1) << 20;

    QString filePath;
    int descriptor = -1;
    std::uint64_t end = 0;
    std::uint64_t writtenBack = 0;
    std::uint64_t waitedFor = 0;
    std::vector<Window> windows;
};
