#pragma once

#include <QString>

class QTemporaryDir;

#include <atomic>
#include <cstdint>
#include <memory>

// The program's own temporary folder, where the records of results are kept in files while the
// program runs, so that a result of any size costs disk rather than memory. It lies under TMPDIR
// where that is set, else under the user's cache folder, is named "orvex-navigator-" and six
// random characters, and is removed with everything in it when the program ends.
//
// A program that was killed leaves its folder behind; the next one to start removes it. Each
// folder holds a file "owner" that its program keeps locked (flock) for as long as it runs, so a
// folder is known to be left over when its lock can be taken, and the folder of a program still
// running is never touched. The lock goes with the process however it ends.
class ResultFolder
{
public:
    // The process's folder, made on first use: leftovers are removed then. Thread-safe. Returns
    // null when no folder could be made; the reason is in lastError().
    static std::shared_ptr<ResultFolder> instance();
    static QString lastError();
    // Removes the process's folder now, with the files in it; for the program's end, which may
    // not run static destructors. Files still open stay readable until they are let go.
    static void removeNow();

    // Removes the folders under base left by programs that are no longer running; returns how
    // many it removed. A folder without an owner file is left alone while it is younger than a
    // minute: its program may be making it right now.
    static int removeLeftovers(const QString &base);
    // Where the folders are made: TMPDIR when set, else the user's cache folder.
    static QString baseFolder();

    // Makes a folder under base; null on failure, with the reason in *error.
    static std::unique_ptr<ResultFolder> create(const QString &base, QString *error = nullptr);

    ResultFolder(const ResultFolder &) = delete;
    ResultFolder &operator=(const ResultFolder &) = delete;
    ~ResultFolder();

    const QString &path() const { return folder; }
    // A new file name in the folder, unique within the process.
    QString newFilePath(const char *stem);

    // Space left on the disk that holds the folder, and the floor below which a run stops.
    struct Space
    {
        std::uint64_t available = 0;
        std::uint64_t total = 0;
        bool known = false;
    };
    Space space() const;
    // 1 GiB, or 5% of the disk where that is less, so a small disk can still be used.
    static std::uint64_t floorFor(std::uint64_t total);
    // The floor this process uses for a disk of that space: floorFor() unless set otherwise (0
    // goes back to it); for a test that needs a disk "full" at a size of its choosing.
    static std::uint64_t floor(const Space &space);
    static void setFloor(std::uint64_t bytes);

private:
    ResultFolder(std::unique_ptr<QTemporaryDir> made, int lockDescriptor);

    std::unique_ptr<QTemporaryDir> made;
    QString folder;
    int lock = -1;
    std::atomic<std::uint64_t> fileCount {0};
};
