#pragma once

#include "db/sqlconnection.h"

#include <QString>

#include <cstdint>

// A statement object bound to a connection: its text is set, then it is run either as a
// statement that returns rows (open) or as one that does not (execSql). Running it opens
// the connection when it is closed. The connection must outlive the binding.
class SqlQuery
{
public:
    explicit SqlQuery(SqlConnection *connection = nullptr)
        : connection_(connection)
    { }

    // Binds the statement to a connection, closing any result of the previous binding.
    void setConnection(SqlConnection *connection);
    SqlConnection *connection() const { return connection_; }

    void setSql(const QString &sql) { sql_ = sql; }
    const QString &sql() const { return sql_; }

    // Runs the text as a statement that returns rows; the result stands on its first row.
    void open();
    // Runs the text as a statement without rows (see SqlConnection::execute).
    std::uint64_t execSql();
    // Closes the result; nothing if there is none.
    void close() { result_.close(); }

    bool active() const { return result_.isOpen(); }
    SqlResult &result() { return result_; }
    const SqlResult &result() const { return result_; }

    int fieldCount() const { return result_.fieldCount(); }
    QString fieldName(int field) const { return result_.fieldName(field); }
    bool eof() const { return result_.eof(); }
    void next() { result_.next(); }
    QByteArrayView value(int field) const { return result_.value(field); }
    bool isNull(int field) const { return result_.isNull(field); }
    QString text(int field) const { return result_.text(field); }

private:
    SqlConnection &boundConnection() const;

    SqlConnection *connection_;
    QString sql_;
    SqlResult result_;
};
