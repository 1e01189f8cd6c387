#include "db/processlist.h"
#include "run/canceltexts.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

// One row of "SHOW PROCESSLIST;": Id, User, Host, db, Command, Time, State, Info, Progress.
QStringList processRow(const char *id, const char *command, const char *info)
{
    return {QString::fromLatin1(id),
            QStringLiteral("root"),
            QStringLiteral("localhost"),
            QStringLiteral("orvex"),
            QString::fromLatin1(command),
            QStringLiteral("3"),
            QString(),
            QString::fromLatin1(info),
            QStringLiteral("0.000")};
}

// The status connection's own listing, always present while the list is read.
const QStringList statusRow = processRow("5", "Query", "SHOW PROCESSLIST");

struct ListCase
{
    const char *name;
    QList<QStringList> rows;
    std::uint64_t workerServerId;
    const char *processId;
    friend void PrintTo(const ListCase &c, std::ostream *out) { *out << c.name; }
};

class WorkerProcess : public testing::TestWithParam<ListCase>
{
};

TEST_P(WorkerProcess, IsFoundByTheWorkersServerId)
{
    EXPECT_EQ(workerProcessId(GetParam().rows, GetParam().workerServerId).toStdString(),
              GetParam().processId);
}

const char *const workerSelect = "SELECT * FROM surfaceshort WHERE year = 1995";

INSTANTIATE_TEST_SUITE_P(
    Cancel, WorkerProcess,
    testing::Values(
        ListCase {"WorkersRow", {statusRow, processRow("7", "Query", workerSelect)}, 7, "7"},
        ListCase {
            "WorkersRowListedFirst", {processRow("7", "Query", workerSelect), statusRow}, 7, "7"},
        // Another client's select, listed later, is not the worker's query.
        ListCase {"AnotherClientsSelectListedLater",
                  {statusRow, processRow("7", "Query", workerSelect),
                   processRow("9", "Query", "select * from upper")},
                  7,
                  "7"},
        ListCase {"OnlyAnotherClientRunsASelect",
                  {statusRow, processRow("7", "Sleep", ""),
                   processRow("9", "Query", "select * from upper")},
                  7,
                  ""},
        // The worker's connection is idle: the server has finished the query.
        ListCase {"WorkersRowWithoutStatement", {statusRow, processRow("7", "Sleep", "")}, 7, ""},
        // Any statement of the worker's counts, not only one with "select" in it.
        ListCase {"WorkersStatementWithoutSelect",
                  {statusRow, processRow("7", "Query", "CALL refresh_stations()")},
                  7,
                  "7"},
        ListCase {"NoRows", {}, 7, ""},
        ListCase {
            "WorkerNotConnectedYet", {statusRow, processRow("0", "Query", workerSelect)}, 0, ""},
        // The id is compared as a whole, not as a part of a longer one.
        ListCase {"LongerIdEndingInTheWorkers", {processRow("17", "Query", workerSelect)}, 7, ""},
        ListCase {
            "LongerIdBeginningWithTheWorkers", {processRow("71", "Query", workerSelect)}, 7, ""},
        ListCase {"ShorterIdThanTheWorkers", {processRow("7", "Query", workerSelect)}, 17, ""},
        // 2^32 + 7: cut to 32 bits it would be taken for process 7.
        ListCase {"IdBeyond32Bits",
                  {statusRow, processRow("4294967303", "Query", workerSelect),
                   processRow("7", "Query", "select * from upper")},
                  4294967303ULL,
                  "4294967303"},
        ListCase {"RowWithoutStatementColumn",
                  {QStringList {QStringLiteral("7"), QStringLiteral("root"),
                                QStringLiteral("localhost"), QStringLiteral("orvex"),
                                QStringLiteral("Query"), QStringLiteral("3"), QString()}},
                  7,
                  ""}),
    [](const testing::TestParamInfo<ListCase> &info) { return std::string(info.param.name); });

struct RowCase
{
    const char *id;
    const char *statement;
    std::uint64_t workerServerId;
    bool matches;
    friend void PrintTo(const RowCase &c, std::ostream *out)
    {
        *out << '"' << c.id << "\" \"" << c.statement << "\" " << c.workerServerId;
    }
};

class ProcessRow : public testing::TestWithParam<RowCase>
{
};

TEST_P(ProcessRow, MatchesTheWorkersRunningStatementOnly)
{
    EXPECT_EQ(isWorkerProcess(QString::fromLatin1(GetParam().id),
                              QString::fromLatin1(GetParam().statement), GetParam().workerServerId),
              GetParam().matches)
        << GetParam().id << " \"" << GetParam().statement << "\" " << GetParam().workerServerId;
}

INSTANTIATE_TEST_SUITE_P(
    Cancel, ProcessRow,
    testing::Values(RowCase {"7", "SELECT 1", 7, true}, RowCase {"7", "", 7, false},
                    RowCase {"8", "SELECT 1", 7, false}, RowCase {"07", "SELECT 1", 7, false},
                    RowCase {" 7", "SELECT 1", 7, false}, RowCase {"", "SELECT 1", 0, false},
                    RowCase {"0", "SELECT 1", 0, false},
                    RowCase {"18446744073709551615", "SELECT 1", 18446744073709551615ULL, true}));

struct TextCase
{
    QString text;
    const char *expected;
    friend void PrintTo(const TextCase &c, std::ostream *out) { *out << c.expected; }
};

class CancelText : public testing::TestWithParam<TextCase>
{
};

TEST_P(CancelText, IsWrittenExactly)
{
    EXPECT_EQ(GetParam().text.toStdString(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cancel, CancelText,
    testing::Values(
        TextCase {killStatement(QStringLiteral("7")), "KILL QUERY 7;"},
        TextCase {killStatement(QStringLiteral("4000000000")), "KILL QUERY 4000000000;"},
        TextCase {killingQueryLine(QStringLiteral("7")), "Killing query 7..."},
        TextCase {killedQueryLine(QStringLiteral("7")), "Killed query 7."},
        TextCase {killingQueryLine(QStringLiteral("4000000000")), "Killing query 4000000000..."},
        TextCase {killedQueryLine(QStringLiteral("4000000000")), "Killed query 4000000000."}));

} // namespace
