#include "store/resultfolder.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

const char folderPrefix[] = "orvex-navigator-";
const char ownerFile[] = "owner";

std::mutex instanceMutex;
std::shared_ptr<ResultFolder> theFolder;
bool instanceTried = false;
QString instanceError;

std::atomic<std::uint64_t> floorOverride {0};

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// Opens the folder's owner file and takes its lock without waiting; -1 when another process
// holds it, or when the file cannot be opened.
int lockOwnerFile(const QString &folder, int flags)
{
    const QByteArray path = QFile::encodeName(folder + QLatin1Char('/') + QLatin1String(ownerFile));
    const int descriptor = ::open(path.constData(), flags | O_RDWR | O_CLOEXEC, 0600);
    if (descriptor < 0)
        return -1;
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        ::close(descriptor);
        return -1;
    }
    return descriptor;
}

} // namespace

std::shared_ptr<ResultFolder> ResultFolder::instance()
{
    const std::lock_guard<std::mutex> lock(instanceMutex);
    if (!instanceTried) {
        instanceTried = true;
        const QString base = baseFolder();
        removeLeftovers(base);
        theFolder = create(base, &instanceError);
    }
    return theFolder;
}

void ResultFolder::removeNow()
{
    const std::lock_guard<std::mutex> lock(instanceMutex);
    instanceTried = true;
    // Others (a worker still running) may hold the folder; it goes all the same.
    if (theFolder)
        theFolder->made->remove();
    theFolder.reset();
}

QString ResultFolder::lastError()
{
    const std::lock_guard<std::mutex> lock(instanceMutex);
    return instanceError;
}

QString ResultFolder::baseFolder()
{
    const QByteArray tmp = qgetenv("TMPDIR");
    if (!tmp.isEmpty())
        return QFile::decodeName(tmp);
    QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty())
        return QDir::tempPath();
    return cache;
}

int ResultFolder::removeLeftovers(const QString &base)
{
    const QDir dir(base);
    const QFileInfoList entries = dir.entryInfoList(
        {QLatin1String(folderPrefix) + QLatin1Char('*')}, QDir::Dirs | QDir::NoDotAndDotDot);
    int removed = 0;
    for (const QFileInfo &entry : entries) {
        if (entry.isSymLink())
            continue;
        const QString folder = entry.absoluteFilePath();
        if (!QFileInfo::exists(folder + QLatin1Char('/') + QLatin1String(ownerFile))) {
            if (entry.lastModified().secsTo(QDateTime::currentDateTime()) < 60)
                continue;
        } else {
            const int descriptor = lockOwnerFile(folder, 0);
            if (descriptor < 0)
                continue; // its program still runs
            ::close(descriptor);
        }
        if (QDir(folder).removeRecursively())
            ++removed;
    }
    return removed;
}

std::unique_ptr<ResultFolder> ResultFolder::create(const QString &base, QString *error)
{
    QDir().mkpath(base);
    auto made = std::make_unique<QTemporaryDir>(
        base + QLatin1Char('/') + QLatin1String(folderPrefix) + QStringLiteral("XXXXXX"));
    if (!made->isValid()) {
        if (error)
            *error = made->errorString();
        return nullptr;
    }
    const int descriptor = lockOwnerFile(made->path(), O_CREAT);
    if (descriptor < 0) {
        if (error)
            *error = systemError(errno);
        return nullptr;
    }
    return std::unique_ptr<ResultFolder>(new ResultFolder(std::move(made), descriptor));
}

ResultFolder::ResultFolder(std::unique_ptr<QTemporaryDir> madeDir, int lockDescriptor)
    : made(std::move(madeDir))
    , folder(made->path())
    , lock(lockDescriptor)
{ }

ResultFolder::~ResultFolder()
{
    // The folder goes first, its lock after it, so no other program finds it unlocked.
    made.reset();
    if (lock >= 0)
        ::close(lock);
}

QString ResultFolder::newFilePath(const char *stem)
{
    const std::uint64_t number = ++fileCount;
    return folder + QLatin1Char('/') + QLatin1String(stem) + QLatin1Char('-')
        + QString::number(number) + QStringLiteral(".bin");
}

ResultFolder::Space ResultFolder::space() const
{
    struct statvfs disk
    {
    };
    Space space;
    if (::statvfs(QFile::encodeName(folder).constData(), &disk) != 0)
        return space;
    space.available = static_cast<std::uint64_t>(disk.f_bavail) * disk.f_frsize;
    space.total = static_cast<std::uint64_t>(disk.f_blocks) * disk.f_frsize;
    space.known = true;
    return space;
}

std::uint64_t ResultFolder::floorFor(std::uint64_t total)
{
    return std::min<std::uint64_t>(std::uint64_t(1) << 30, total / 20);
}

std::uint64_t ResultFolder::floor(const Space &space)
{
    const std::uint64_t set = floorOverride.load();
    return set != 0 ? set : floorFor(space.total);
}

void ResultFolder::setFloor(std::uint64_t bytes)
{
    floorOverride.store(bytes);
}
