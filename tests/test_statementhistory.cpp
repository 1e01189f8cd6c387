// The statements run since the program started: order, capacity, outcomes, their lines in the
// list, and stepping through them from the SQL memo.
#include "run/statementhistory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const QDateTime at(QDate(2026, 12, 8), QTime(14, 2, 11));

std::vector<std::string> statements(const StatementHistory &history)
{
    std::vector<std::string> texts;
    for (const StatementHistory::Entry &entry : history.entries())
        texts.push_back(entry.statement.toStdString());
    return texts;
}

} // namespace

TEST(StatementHistory, KeepsTheNewestHundredNewestFirst)
{
    StatementHistory history;
    std::uint64_t first = 0;
    for (int run = 1; run <= 101; ++run) {
        const std::uint64_t id = history.started(QString::number(run), at);
        if (run == 1)
            first = id;
    }
    ASSERT_EQ(history.entries().size(), 100u);
    EXPECT_EQ(history.entries().front().statement, QStringLiteral("101"));
    EXPECT_EQ(history.entries().back().statement, QStringLiteral("2"));
    // The end of a run no longer held changes nothing.
    history.finished(first, 5);
    for (const StatementHistory::Entry &entry : history.entries())
        EXPECT_EQ(entry.outcome, StatementHistory::Entry::Outcome::Running);
}

TEST(StatementHistory, LinesTellTimeOutcomeAndStatement)
{
    using Outcome = StatementHistory::Entry::Outcome;
    struct Case
    {
        Outcome outcome;
        std::int64_t rows;
        const char *statement;
        const char *line;
    };
    const QString long100 = QString(100, QLatin1Char('x'));
    const Case cases[] = {
        {Outcome::Running, 0, "SELECT 1;", "14:02:11  running  SELECT 1;"},
        {Outcome::Done, 48, "SELECT *\nFROM  surfaceshort;",
         "14:02:11  48 rows  SELECT * FROM surfaceshort;"},
        {Outcome::Done, 1, "SELECT 1;", "14:02:11  1 row  SELECT 1;"},
        {Outcome::Done, 1234567, "SELECT 1;", "14:02:11  1,234,567 rows  SELECT 1;"},
        {Outcome::Failed, 0, "SELEC 1;", "14:02:11  failed  SELEC 1;"},
        {Outcome::Failed, 3, "SELECT 1;", "14:02:11  failed, 3 rows  SELECT 1;"},
        {Outcome::Cancelled, 12, "SELECT 1;", "14:02:11  cancelled, 12 rows  SELECT 1;"},
        {Outcome::Cancelled, 0, "SELECT 1;", "14:02:11  cancelled  SELECT 1;"},
    };
    for (const Case &c : cases) {
        StatementHistory::Entry entry;
        entry.statement = QString::fromLatin1(c.statement);
        entry.started = at;
        entry.outcome = c.outcome;
        entry.rows = c.rows;
        EXPECT_EQ(StatementHistory::entryLine(entry).toStdString(), c.line);
    }
    StatementHistory::Entry longOne;
    longOne.statement = long100;
    longOne.started = at;
    EXPECT_EQ(StatementHistory::entryLine(longOne),
              QStringLiteral("14:02:11  running  ") + long100.left(90) + QStringLiteral("..."));
}

TEST(StatementHistory, FailedOrCancelledStaysSoAtTheEnd)
{
    using Outcome = StatementHistory::Entry::Outcome;
    StatementHistory history;
    const std::uint64_t failed = history.started(QStringLiteral("a"), at);
    const std::uint64_t cancelled = history.started(QStringLiteral("b"), at);
    const std::uint64_t done = history.started(QStringLiteral("c"), at);
    history.failed(failed);
    history.cancelled(cancelled);
    history.finished(failed, 0);
    history.finished(cancelled, 7);
    history.finished(done, 48);
    EXPECT_EQ(statements(history), (std::vector<std::string> {"c", "b", "a"}));
    EXPECT_EQ(history.entries()[0].outcome, Outcome::Done);
    EXPECT_EQ(history.entries()[0].rows, 48);
    EXPECT_EQ(history.entries()[1].outcome, Outcome::Cancelled);
    EXPECT_EQ(history.entries()[1].rows, 7);
    EXPECT_EQ(history.entries()[2].outcome, Outcome::Failed);
}

TEST(StatementHistory, SteppingGoesOlderAndBackToTheMemosText)
{
    StatementHistory history;
    EXPECT_EQ(history.older(QStringLiteral("draft")), std::nullopt);
    history.started(QStringLiteral("first"), at);
    history.started(QStringLiteral("second"), at);

    struct Step
    {
        bool older;
        std::optional<QString> memo;
    };
    const Step steps[] = {
        {false, std::nullopt}, {true, QStringLiteral("second")},  {true, QStringLiteral("first")},
        {true, std::nullopt},  {false, QStringLiteral("second")}, {false, QStringLiteral("draft")},
        {false, std::nullopt}, {true, QStringLiteral("second")}};
    int n = 0;
    for (const Step &step : steps) {
        EXPECT_EQ(step.older ? history.older(QStringLiteral("draft")) : history.newer(), step.memo)
            << "step " << n;
        ++n;
    }
    // A new run starts the stepping again from the memo's text.
    history.started(QStringLiteral("third"), at);
    EXPECT_EQ(history.newer(), std::nullopt);
    EXPECT_EQ(history.older(QStringLiteral("now")), QStringLiteral("third"));
    EXPECT_EQ(history.newer(), QStringLiteral("now"));
}
