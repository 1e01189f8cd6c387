#include "run/statementhistory.h"

#include "common/groupthousands.h"

std::uint64_t StatementHistory::started(const QString &statement, const QDateTime &when)
{
    Entry entry;
    entry.id = ++lastId;
    entry.statement = statement;
    entry.started = when;
    entries_.push_front(std::move(entry));
    while (entries_.size() > size_t(capacity))
        entries_.pop_back();
    position = -1;
    return lastId;
}

StatementHistory::Entry *StatementHistory::find(std::uint64_t id)
{
    for (Entry &entry : entries_) {
        if (entry.id == id)
            return &entry;
    }
    return nullptr;
}

void StatementHistory::failed(std::uint64_t id)
{
    if (Entry *entry = find(id))
        entry->outcome = Entry::Outcome::Failed;
}

void StatementHistory::cancelled(std::uint64_t id)
{
    if (Entry *entry = find(id))
        entry->outcome = Entry::Outcome::Cancelled;
}

void StatementHistory::finished(std::uint64_t id, std::int64_t rows)
{
    Entry *entry = find(id);
    if (!entry)
        return;
    entry->rows = rows;
    if (entry->outcome == Entry::Outcome::Running)
        entry->outcome = Entry::Outcome::Done;
}

std::optional<QString> StatementHistory::older(const QString &memoText)
{
    if (position + 1 >= int(entries_.size()))
        return std::nullopt;
    if (position < 0)
        draft = memoText;
    ++position;
    return entries_[size_t(position)].statement;
}

std::optional<QString> StatementHistory::newer()
{
    if (position < 0)
        return std::nullopt;
    --position;
    return position < 0 ? draft : entries_[size_t(position)].statement;
}

QString StatementHistory::entryLine(const Entry &entry)
{
    const QString rows = GroupThousands(QString::number(entry.rows))
        + (entry.rows == 1 ? QStringLiteral(" row") : QStringLiteral(" rows"));
    QString outcome;
    switch (entry.outcome) {
    case Entry::Outcome::Running:
        outcome = QStringLiteral("running");
        break;
    case Entry::Outcome::Done:
        outcome = rows;
        break;
    case Entry::Outcome::Failed:
        outcome = QStringLiteral("failed");
        break;
    case Entry::Outcome::Cancelled:
        outcome = QStringLiteral("cancelled");
        break;
    }
    // What a failed or cancelled run brought before it ended.
    if (entry.outcome != Entry::Outcome::Done && entry.rows > 0)
        outcome += QStringLiteral(", ") + rows;
    constexpr qsizetype shown = 90;
    QString statement = entry.statement.simplified();
    if (statement.size() > shown)
        statement = statement.left(shown) + QStringLiteral("...");
    return entry.started.toString(QStringLiteral("HH:mm:ss")) + QStringLiteral("  ") + outcome
        + QStringLiteral("  ") + statement;
}
