#pragma once

#include "db/connectionrecipe.h"

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <memory>

struct st_mysql;
struct st_mysql_res;
struct st_mysql_field;
struct st_mysql_stmt;

class BinaryRowText;
class SqlConnection;

// How the rows of a result came from the server: as the server's texts (a plain statement), or
// as numbers, dates and times that the driver writes as the server would (a prepared
// statement). The field values read the same either way.
enum class RowProtocol {
    Text,
    Binary,
};

// The rows of one statement, streamed from the server as they are read: only the current
// row is held. A new result stands on its first row; eof() is true past the last row, at
// once when there are none. Field values are the server's text, byte for byte (UTF-8 for
// text columns); an absent (NULL) value reads as empty, and isNull() tells it from an
// empty text. The views that value() returns stay valid until the next call of next() or
// close().
//
// While a result is open, its connection can run nothing else: closing the result reads
// the rows it has not delivered yet. Closing the connection ends the result without
// reading them.
class SqlResult
{
public:
    SqlResult();
    SqlResult(SqlResult &&other) noexcept;
    SqlResult &operator=(SqlResult &&other) noexcept;
    SqlResult(const SqlResult &) = delete;
    SqlResult &operator=(const SqlResult &) = delete;
    ~SqlResult();

    // True from the statement until close(), also after the last row.
    bool isOpen() const { return result_ != nullptr; }
    // How the rows come from the server; Text for a closed result.
    RowProtocol protocol() const { return statement_ ? RowProtocol::Binary : RowProtocol::Text; }
    // The fields of an open result; none once it is closed.
    int fieldCount() const { return fieldCount_; }
    QString fieldName(int field) const;

    bool eof() const { return row_ == nullptr; }
    // Moves to the next row. A failure while reading (a lost connection, a query killed on
    // the server) throws DbError; it is never taken for the end of the rows.
    void next();

    // The current row's field as raw bytes: empty for NULL. Throws DbError for a field the
    // result does not have, or at the end of the rows.
    QByteArrayView value(int field) const
    {
        checkField(field);
        return QByteArrayView(row_[field], qsizetype(lengths_[field]));
    }
    bool isNull(int field) const
    {
        checkField(field);
        return row_[field] == nullptr;
    }
    // The current row as the client library holds it, for readers of every field of millions
    // of rows: field i is rowFields()[i], rowLengths()[i] bytes long, a null pointer for NULL;
    // fieldCount() of each. Both are null at the end of the rows and stay valid as value()'s
    // views do.
    const char *const *rowFields() const { return row_; }
    const unsigned long *rowLengths() const { return lengths_; }
    // Where the current row's field bytes lie one after another in column order (a NULL
    // adding none), when the result holds them so, as it does for the rows of a prepared
    // statement; null otherwise, and at the end of the rows. A reader can then take a row
    // with one copy.
    const char *rowBytes() const;
    // The field decoded from UTF-8, for callers that read a few fields, not millions.
    QString text(int field) const { return QString::fromUtf8(value(field)); }

    // Frees the result, reading the rows not yet delivered. Nothing if closed.
    void close();

private:
    friend class SqlConnection;
    SqlResult(SqlConnection *connection, st_mysql_res *result);
    // A prepared statement's rows: its result's description and the reader of its rows.
    SqlResult(SqlConnection *connection, st_mysql_stmt *statement, st_mysql_res *description,
              std::unique_ptr<BinaryRowText> rows);

    void checkField(int field) const
    {
        if (unsigned(field) >= unsigned(fieldCount_) || !row_)
            throwBadField(field);
    }
    [[noreturn]] void throwBadField(int field) const;
    void fetch();
    void release(bool drain);
    // Clears every handle and lets go of the connection, once the result is freed.
    void forget();
    void takeFrom(SqlResult &other) noexcept;

    SqlConnection *connection_ = nullptr;
    st_mysql_res *result_ = nullptr;
    st_mysql_field *fields_ = nullptr;
    // Set for a prepared statement's rows; result_ then only describes them.
    st_mysql_stmt *statement_ = nullptr;
    std::unique_ptr<BinaryRowText> binaryRows_;
    const char *const *row_ = nullptr;
    const unsigned long *lengths_ = nullptr;
    int fieldCount_ = 0;
};

// One connection to the server, used by one thread at a time. It is configured by its
// driver settings and parameter list (see applyRecipe) and connects on open(); statements
// open it first when it is closed.
//
// The "HostName" parameter is read by parseHostValue; "Database" must not be empty;
// "User_Name" and "Password" are passed as they are, empty when absent. The connection
// talks UTF-8 (utf8mb4) with the server.
class SqlConnection
{
public:
    SqlConnection();
    ~SqlConnection();
    SqlConnection(const SqlConnection &) = delete;
    SqlConnection &operator=(const SqlConnection &) = delete;

    DriverConfig &config() { return config_; }
    const DriverConfig &config() const { return config_; }
    ConnectionParams &params() { return params_; }
    const ConnectionParams &params() const { return params_; }

    // Connects with the current configuration, or throws DbError. Nothing if open.
    void open();
    bool connected() const { return mysql_ != nullptr; }
    // Ends any result still open on the connection, without reading its remaining rows,
    // and disconnects. Nothing if closed.
    void close();
    // The server's id of this connection (the Id of "SHOW PROCESSLIST;", the number that
    // "KILL QUERY" takes); 0 when closed.
    std::uint64_t serverId() const;
    // Shuts the connection's socket down, from any thread: whatever the connection's own thread
    // waits for from the server (a statement's answer, the next rows) ends at once with a
    // lost-connection error, and the server ends the statement once it finds its client gone.
    // The connection must not be opened or closed meanwhile, and is closed as usual afterwards.
    void interrupt();

    // Runs a statement that returns rows; the result stands on its first row. A result
    // still open on this connection is closed first. A statement that returns no rows
    // gives a result without fields, at its end.
    SqlResult query(const QString &sql);
    SqlResult query(QByteArrayView sql);

    // Which statements queryRows runs as prepared statements.
    enum class Prepare {
        // Those whose rows come faster so: with FLOAT or DOUBLE columns (see
        // BinaryRowText::savesTime).
        WhereFaster,
        // Every one it can.
        WherePossible,
    };

    // Runs a statement as query() does, through a prepared statement where that reads the same
    // rows faster: the server then sends numbers, dates and times as such instead of writing
    // them as text, and the driver writes them exactly as the server would have (see
    // binaryrow.h). That is done when the server prepares the statement, it takes no
    // parameters, it returns rows, every column of them is of a kind written exactly and
    // prepare asks for it; anything else runs as query() runs it. Either way the statement runs
    // once, and the field values are the texts that query() would give.
    SqlResult queryRows(QByteArrayView sql, Prepare prepare = Prepare::WhereFaster);

    // Runs a statement that returns no rows, prepared and then executed; a statement that
    // the server cannot prepare is sent as it is. Returns the number of rows it changed.
    std::uint64_t execute(const QString &sql);
    std::uint64_t execute(QByteArrayView sql);

private:
    friend class SqlResult;
    struct Closer
    {
        void operator()(st_mysql *mysql) const;
    };

    st_mysql *handleForStatement();
    void endStatement(bool reportErrors);
    std::uint64_t executeDirect(QByteArrayView sql);

    DriverConfig config_;
    ConnectionParams params_;
    std::unique_ptr<st_mysql, Closer> mysql_;
    // The result that the connection is streaming, so close() can end it.
    SqlResult *openResult_ = nullptr;
    // A prepared statement whose rows were not all read when the connection was closed: it
    // is freed after the connection is gone, so its remaining rows are not read first.
    st_mysql_stmt *abandonedStatement_ = nullptr;
};
