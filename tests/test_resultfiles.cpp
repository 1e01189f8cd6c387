// The records of results in files of the program's temporary folder: a result larger than the
// memory budget costs the budget at most and reads back exactly through the grid's store, the
// log and the CSV text; a write that fails keeps what was written before; the folders of
// programs that were killed go at the next start, those of running programs stay; the clipboard
// refuses texts larger than free memory. Expected texts are literals or built here from the
// records' rule, never by the code under test.
#include "export/gridtext.h"
#include "store/logstore.h"
#include "store/memorybudget.h"
#include "store/recordbatch.h"
#include "store/recordfile.h"
#include "store/resultfolder.h"
#include "store/resultstore.h"
#include "tests/processlimits.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int columns = 25;

// The record's field: "<record>:<column>" and a tail whose length varies with both, so batches
// have records of different lengths and a field that moves shows in its neighbours.
std::string fieldOf(long long record, int column)
{
    return std::to_string(record) + ':' + std::to_string(column)
        + std::string(static_cast<std::size_t>((record + column) % 7), 'x');
}

void appendRecord(RecordBatchBuilder &builder, long long record)
{
    for (int column = 0; column < columns; ++column)
        builder.appendField(fieldOf(record, column));
    builder.endRecord();
}

std::string csvLineOf(long long record)
{
    std::string line;
    for (int column = 0; column < columns; ++column) {
        if (column > 0)
            line += ',';
        line += fieldOf(record, column);
    }
    return line + "\r\n";
}

// A folder of the test's own for result folders, so nothing of the user's is touched.
class ResultFiles : public testing::Test
{
protected:
    QTemporaryDir base;
    std::unique_ptr<ResultFolder> folder = ResultFolder::create(base.path());
};

TEST_F(ResultFiles, LargerThanTheBudgetCostsDiskAndReadsBackExactly)
{
    ASSERT_TRUE(folder);
    // 40 MB of field bytes against a budget of 16 MB: kept in memory, they would not fit.
    const std::size_t budget = std::size_t(16) << 20;
    constexpr long long records = 320000;
    constexpr int batchRecords = 20000;

    const std::uint64_t before = AnonymousMemoryBytes();
    auto file = std::make_shared<RecordFile>(folder->newFilePath("records"));
    ResultStore grid(columns, 20);
    LogStore log;
    {
        RecordBatchBuilder builder(columns);
        builder.expect(batchRecords, std::size_t(batchRecords) * 160);
        for (long long record = 0; record < records; ++record) {
            appendRecord(builder, record);
            if (builder.recordCount() == batchRecords || record == records - 1) {
                std::shared_ptr<const RecordBatch> batch = builder.finish(file);
                ASSERT_TRUE(batch->inFile());
                grid.appendRecords(batch);
                log.appendEchoLines(std::move(batch));
            }
        }
    }
    const std::uint64_t after = AnonymousMemoryBytes();
    EXPECT_GT(file->size(), std::uint64_t(40) << 20);
    // AddressSanitizer's own bookkeeping grows with what it watches.
    if (!addressSanitizer && before > 0) {
        EXPECT_LT(after - std::min(after, before), budget) << "anonymous memory grew";
    }
    EXPECT_LT(grid.byteCount(), std::size_t(64) << 10);

    ASSERT_EQ(grid.recordCount(), records);
    for (const long long record : {0LL, records / 2, records - 1}) {
        const int row = static_cast<int>(record) + 1;
        for (int column : {0, 12, columns - 1})
            EXPECT_EQ(grid.cell(column, row), fieldOf(record, column)) << record << " " << column;
    }
    std::string echo;
    for (int column = 1; column <= 20; ++column)
        echo += fieldOf(records / 2, column) + ',';
    EXPECT_EQ(log.lineBytes(records / 2), echo);

    // The CSV text, piece by piece as Save to CSV... writes it: every byte counted, the last
    // line kept.
    std::size_t bytes = 0;
    std::string lastPiece;
    WriteCSVPieces(grid, [&](std::string_view piece) {
        bytes += piece.size();
        lastPiece.assign(piece);
    });
    // The header row has no names here: its commas and line end.
    std::size_t expected = columns - 1 + 2;
    for (long long record = 0; record < records; ++record)
        expected += csvLineOf(record).size();
    EXPECT_EQ(bytes, expected);
    const std::string last = csvLineOf(records - 1);
    ASSERT_GE(lastPiece.size(), last.size());
    EXPECT_EQ(lastPiece.substr(lastPiece.size() - last.size()), last);

    // The file goes with the last batch that reads it.
    const QString path = file->path();
    file.reset();
    EXPECT_TRUE(QFile::exists(path));
    grid.blank();
    log.clear();
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(ResultFiles, AFailedWriteKeepsTheRecordsAndWhatWasWrittenBefore)
{
    ASSERT_TRUE(folder);
    auto file = std::make_shared<RecordFile>(folder->newFilePath("records"));
    RecordBatchBuilder builder(columns);
    for (long long record = 0; record < 1000; ++record)
        appendRecord(builder, record);
    const std::shared_ptr<const RecordBatch> first = builder.finish(file);
    const std::uint64_t written = file->size();

    for (long long record = 1000; record < 3000; ++record)
        appendRecord(builder, record);
    {
        // The disk "full" just past what is written: the next batch does not fit.
        const FileSizeLimit limit(static_cast<rlim_t>(written + 4096));
        try {
            builder.finish(file);
            FAIL() << "the write past the limit succeeded";
        } catch (const RecordFileError &error) {
            EXPECT_TRUE(error.diskFull()) << error.what();
        }
    }
    EXPECT_EQ(file->size(), written);
    EXPECT_EQ(QFileInfo(file->path()).size(), static_cast<qint64>(written));
    // The records of the batch that failed are still in the builder, and go over from memory.
    ASSERT_EQ(builder.recordCount(), 2000);
    const std::shared_ptr<const RecordBatch> kept = builder.finish();
    EXPECT_FALSE(kept->inFile());
    EXPECT_EQ(kept->field(1999, 3), fieldOf(2999, 3));
    EXPECT_EQ(first->field(999, 24), fieldOf(999, 24));

    // A folder removed from under the program: no new file, an error that is not "full".
    QDir(folder->path()).removeRecursively();
    try {
        RecordFile lost(folder->newFilePath("records"));
        FAIL() << "a file was made in a folder that is gone";
    } catch (const RecordFileError &error) {
        EXPECT_FALSE(error.diskFull()) << error.what();
    }
    EXPECT_EQ(first->field(0, 0), fieldOf(0, 0));
}

// ---- Leftover folders ----

// Holds a folder's owner file locked from another process, as a running program does.
class OtherProgram
{
public:
    explicit OtherProgram(const QString &folder)
    {
        // The shell takes the lock on a descriptor of its own and becomes the sleep that keeps
        // it, so the lock goes when that one process is killed, as with a program.
        holder.start(QStringLiteral("sh"),
                     {QStringLiteral("-c"),
                      QStringLiteral("exec 9>>\"$1\"; flock -x 9 && exec sleep 60"),
                      QStringLiteral("sh"), folder + QStringLiteral("/owner")});
        holder.waitForStarted();
        // Until the lock is taken.
        const QByteArray path = QFile::encodeName(folder + QStringLiteral("/owner"));
        for (int i = 0; i < 500 && !held; ++i) {
            const int descriptor = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
            held = descriptor >= 0 && ::flock(descriptor, LOCK_EX | LOCK_NB) != 0;
            if (descriptor >= 0)
                ::close(descriptor);
            if (!held)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~OtherProgram()
    {
        holder.kill();
        holder.waitForFinished();
    }
    bool held = false;

private:
    QProcess holder;
};

TEST(LeftoverFolders, OnlyThoseOfProgramsThatAreGoneAreRemoved)
{
    QTemporaryDir base;
    const auto makeFolder = [&](const char *name, bool withOwner, bool oldEnough) {
        const QString path = base.path() + QLatin1Char('/') + QLatin1String(name);
        QDir().mkpath(path);
        QFile(path + QStringLiteral("/records-1.bin")).open(QIODevice::WriteOnly);
        if (withOwner)
            QFile(path + QStringLiteral("/owner")).open(QIODevice::WriteOnly);
        if (oldEnough) {
            const timespec hourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
            ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), hourAgo, 0);
        }
        return path;
    };
    const QString killed = makeFolder("orvex-navigator-killed", true, false);
    const QString running = makeFolder("orvex-navigator-runnin", true, false);
    const QString beingMade = makeFolder("orvex-navigator-making", false, false);
    const QString oldWithoutOwner = makeFolder("orvex-navigator-oldone", false, true);
    const QString notOurs = makeFolder("another-program-folder", true, true);
    std::unique_ptr<ResultFolder> ours = ResultFolder::create(base.path());
    ASSERT_TRUE(ours);

    std::optional<OtherProgram> other(std::in_place, running);
    ASSERT_TRUE(other->held) << "the flock command could not hold the lock";

    EXPECT_EQ(ResultFolder::removeLeftovers(base.path()), 2);
    EXPECT_FALSE(QFileInfo::exists(killed));
    EXPECT_FALSE(QFileInfo::exists(oldWithoutOwner));
    EXPECT_TRUE(QFileInfo::exists(running + QStringLiteral("/records-1.bin")));
    EXPECT_TRUE(QFileInfo::exists(beingMade));
    EXPECT_TRUE(QFileInfo::exists(notOurs));
    EXPECT_TRUE(QFileInfo::exists(ours->path() + QStringLiteral("/owner")));

    // Once the other program is gone, its folder goes at the next start.
    other.reset();
    EXPECT_EQ(ResultFolder::removeLeftovers(base.path()), 1);
    EXPECT_FALSE(QFileInfo::exists(running));

    // The program's own folder goes when it ends.
    const QString own = ours->path();
    ours.reset();
    EXPECT_FALSE(QFileInfo::exists(own));
}

TEST(DiskFloor, OneGibibyteOrFivePercentOfTheDisk)
{
    const std::uint64_t gib = std::uint64_t(1) << 30;
    const struct
    {
        std::uint64_t total;
        std::uint64_t floor;
    } cases[] = {
        {0, 0}, {100ULL << 20, 5ULL << 20}, {10 * gib, gib / 2}, {20 * gib, gib}, {2000 * gib, gib},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ResultFolder::floorFor(c.total), c.floor) << c.total;
}

// ---- The clipboard's limit ----

TEST(ClipboardRefusal, AboveAThirdOfTheFreeMemory)
{
    const std::uint64_t mib = std::uint64_t(1) << 20;
    const struct
    {
        std::size_t text;
        std::uint64_t available;
        const char *expected; // empty: no refusal
    } cases[] = {
        {100 * mib, 300 * mib, ""},
        {100 * mib, 300 * mib - 1,
         "The text for the clipboard would take 100 MB, and the "
         "clipboard holds it three times over (300 MB), more than the "
         "300 MB of memory free. Use \"Save to CSV...\" to write the "
         "grid to a file instead."},
        {5000 * mib, 8000 * mib,
         "The text for the clipboard would take 5000 MB, and the "
         "clipboard holds it three times over (15000 MB), more than the "
         "8000 MB of memory free. Use \"Save to CSV...\" to write the "
         "grid to a file instead."},
        // Where the system does not tell its free memory, nothing is refused.
        {5000 * mib, 0, ""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(ClipboardRefusal(c.text, c.available).toStdString(), c.expected)
            << c.text << " " << c.available;
    }
}

} // namespace
