#include "store/recordfile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

bool meansFull(int code)
{
    return code == ENOSPC || code == EDQUOT || code == EFBIG;
}

[[noreturn]] void fail(const char *doing, const QString &path, int code)
{
    const std::string text = std::string(doing) + " " + QFile::encodeName(path).toStdString() + ": "
        + std::strerror(code);
    throw RecordFileError(text, meansFull(code));
}

std::size_t pageSize()
{
    static const auto size = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return size;
}

} // namespace

RecordFile::RecordFile(QString path)
    : filePath(std::move(path))
{
    // A write past a file size limit set for the process then fails with an error that is
    // reported, instead of ending the program.
    static std::once_flag ignoreSizeSignal;
    std::call_once(ignoreSizeSignal, [] { std::signal(SIGXFSZ, SIG_IGN); });
    descriptor = ::open(QFile::encodeName(filePath).constData(),
                        O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor < 0)
        fail("cannot create", filePath, errno);
}

RecordFile::~RecordFile()
{
    for (const Window &window : windows)
        ::munmap(window.data, window.length);
    ::close(descriptor);
    // Gone already when the program's folder was removed first.
    ::unlink(QFile::encodeName(filePath).constData());
}

const RecordFile::Window &RecordFile::windowFor(std::uint64_t &at, std::size_t bytes)
{
    if (!windows.empty()) {
        const Window &last = windows.back();
        if (at >= last.start && at + bytes <= last.start + last.length)
            return last;
    }
    // A new mapping starts at the next page and covers at least a window's worth; the file
    // grows into it as it is written (pages not yet written are never read).
    const std::size_t page = pageSize();
    at = (at + page - 1) / page * page;
    const std::size_t length = std::max(windowBytes, (bytes + page - 1) / page * page);
    void *data = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, descriptor, static_cast<off_t>(at));
    if (data == MAP_FAILED)
        fail("cannot map", filePath, errno);
    windows.push_back({static_cast<unsigned char *>(data), at, length});
    return windows.back();
}

const unsigned char *RecordFile::append(const Piece *pieces, int count)
{
    std::size_t bytes = 0;
    for (int i = 0; i < count; ++i)
        bytes += pieces[i].size;
    std::uint64_t at = end;
    const Window &window = windowFor(at, bytes);

    std::vector<iovec> parts;
    parts.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        if (pieces[i].size > 0)
            parts.push_back({const_cast<void *>(pieces[i].data), pieces[i].size});
    }
    std::size_t written = 0;
    std::size_t part = 0;
    std::vector<iovec> step;
    while (part < parts.size()) {
        // At most a step's worth a call: a kernel built without preemption does not take the
        // processor from a thread in the middle of a call, and copying a whole batch (up to
        // 16 MB) into the file's pages in one kept the window's thread waiting that long.
        step.clear();
        std::size_t stepBytes = 0;
        for (std::size_t i = part; i < parts.size() && stepBytes < writeStep; ++i) {
            iovec piece = parts[i];
            piece.iov_len = std::min(piece.iov_len, writeStep - stepBytes);
            stepBytes += piece.iov_len;
            step.push_back(piece);
        }
        const ssize_t done = ::pwritev(descriptor, step.data(), static_cast<int>(step.size()),
                                       static_cast<off_t>(at + written));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            const int code = done < 0 ? errno : ENOSPC;
            // What was written of this append goes again, so the file holds whole batches.
            [[maybe_unused]] const int cut = ::ftruncate(descriptor, static_cast<off_t>(end));
            fail("cannot write", filePath, code);
        }
        written += static_cast<std::size_t>(done);
        // Past the parts written whole; the one written in part goes on from where it stopped.
        auto rest = static_cast<std::size_t>(done);
        while (part < parts.size() && rest >= parts[part].iov_len) {
            rest -= parts[part].iov_len;
            ++part;
        }
        if (part < parts.size()) {
            parts[part].iov_base = static_cast<char *>(parts[part].iov_base) + rest;
            parts[part].iov_len -= rest;
        }
    }
    end = at + bytes;
    keepFewDirty();
    return window.data + (at - window.start);
}

void RecordFile::keepFewDirty()
{
    // The pages just written go to the disk from now on, and those written some megabytes
    // earlier are waited for. So few of the file's pages are ever dirty: pages the disk holds
    // can be dropped at once when memory is short, where dirty ones must be written out first,
    // and a program held to a memory limit would wait on that, the window's thread included.
    // Started a step at a time, for the same reason as the writes.
    for (std::uint64_t from = writtenBack; from < end; from += writeStep) {
        ::sync_file_range(descriptor, static_cast<off_t>(from),
                          static_cast<off_t>(std::min<std::uint64_t>(writeStep, end - from)),
                          SYNC_FILE_RANGE_WRITE);
    }
    if (end - waitedFor > dirtyBytes) {
        const std::uint64_t upTo = end - dirtyBytes / 2;
        ::sync_file_range(
            descriptor, static_cast<off_t>(waitedFor), static_cast<off_t>(upTo - waitedFor),
            SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
        waitedFor = upTo;
    }
    writtenBack = end;
}
