#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <deque>
#include <optional>

// The statements run since the program started (by Search or Submit SQL), newest first, in
// memory only. Each keeps the SQL memo's text as it was run, so that bringing it back gives the
// memo its lines as they were.
class StatementHistory
{
public:
    static constexpr int capacity = 100;

    struct Entry
    {
        enum class Outcome { Running, Done, Failed, Cancelled };

        std::uint64_t id = 0;
        QString statement;
        QDateTime started;
        Outcome outcome = Outcome::Running;
        std::int64_t rows = 0;
    };

    // A run has started: its statement goes first, the oldest beyond the capacity is let go,
    // and stepping starts again from the memo's own text. Returns the run's id in the history.
    std::uint64_t started(const QString &statement, const QDateTime &when);
    // How the run ended, and the records it brought. An id no longer held changes nothing; a
    // failed or cancelled run stays so when its end comes.
    void failed(std::uint64_t id);
    void cancelled(std::uint64_t id);
    void finished(std::uint64_t id, std::int64_t rows);

    const std::deque<Entry> &entries() const { return entries_; }

    // Stepping through the statements from the SQL memo: older() gives the statement one older
    // than the one last given (the newest, at the first step, which keeps the memo's text as it
    // was); newer() one newer, and past the newest the memo's text kept at the first step.
    // Nothing at either end.
    std::optional<QString> older(const QString &memoText);
    std::optional<QString> newer();

    // One entry on one line, for the list the user picks from: its time, its outcome, and its
    // statement with line breaks as blanks, cut after 90 characters, e.g.
    // "14:02:11  48 rows  SELECT * FROM surfaceshort WHERE ...".
    static QString entryLine(const Entry &entry);

private:
    Entry *find(std::uint64_t id);

    std::deque<Entry> entries_;
    std::uint64_t lastId = 0;
    // The entry the memo shows while stepping, -1 for the memo's own text.
    int position = -1;
    QString draft;
};
