#include "db/sqlconnection.h"

#include "db/binaryrow.h"
#include "db/dberror.h"

#include <errmsg.h>
#include <mysql.h>
#include <mysqld_error.h>

#include <utility>

namespace {

// Long enough for a busy server, short enough that an unreachable host does not leave the
// window waiting for minutes.
constexpr unsigned int connectTimeoutSeconds = 10;

DbError connectionError(MYSQL *mysql)
{
    return DbError(mysql_errno(mysql), std::string(mysql_error(mysql)));
}

DbError statementError(MYSQL_STMT *statement)
{
    return DbError(mysql_stmt_errno(statement), std::string(mysql_stmt_error(statement)));
}

// The error of a prepared statement's step: the client library keeps an error that arrives
// while rows are read (a kill, a failure on the server) with the connection, not the statement.
DbError stepError(MYSQL_STMT *statement, MYSQL *mysql)
{
    if (mysql_stmt_errno(statement) != 0)
        return statementError(statement);
    if (mysql && mysql_errno(mysql) != 0)
        return connectionError(mysql);
    return DbError(CR_UNKNOWN_ERROR, std::string("The server ended the rows without a reason."));
}

struct StatementCloser
{
    void operator()(MYSQL_STMT *statement) const { mysql_stmt_close(statement); }
};
using StatementHandle = std::unique_ptr<MYSQL_STMT, StatementCloser>;

// Null for an empty text, so the client library takes its default.
const char *orNull(const QByteArray &text)
{
    return text.isEmpty() ? nullptr : text.constData();
}

} // namespace

// ---- SqlResult ----

SqlResult::SqlResult(SqlConnection *connection, st_mysql_res *result)
    : connection_(connection)
    , result_(result)
    , fields_(mysql_fetch_fields(result))
    , fieldCount_(int(mysql_num_fields(result)))
{
    connection_->openResult_ = this;
}

SqlResult::SqlResult(SqlConnection *connection, st_mysql_stmt *statement, st_mysql_res *description,
                     std::unique_ptr<BinaryRowText> rows)
    : connection_(connection)
    , result_(description)
    , fields_(mysql_fetch_fields(description))
    , statement_(statement)
    , binaryRows_(std::move(rows))
    , fieldCount_(int(mysql_num_fields(description)))
{
    connection_->openResult_ = this;
}

SqlResult::SqlResult() = default;

SqlResult::SqlResult(SqlResult &&other) noexcept
{
    takeFrom(other);
}

SqlResult &SqlResult::operator=(SqlResult &&other) noexcept
{
    if (this != &other) {
        close();
        takeFrom(other);
    }
    return *this;
}

SqlResult::~SqlResult()
{
    close();
}

void SqlResult::takeFrom(SqlResult &other) noexcept
{
    connection_ = std::exchange(other.connection_, nullptr);
    result_ = std::exchange(other.result_, nullptr);
    fields_ = std::exchange(other.fields_, nullptr);
    statement_ = std::exchange(other.statement_, nullptr);
    binaryRows_ = std::move(other.binaryRows_);
    row_ = std::exchange(other.row_, nullptr);
    lengths_ = std::exchange(other.lengths_, nullptr);
    fieldCount_ = std::exchange(other.fieldCount_, 0);
    if (connection_)
        connection_->openResult_ = this;
}

QString SqlResult::fieldName(int field) const
{
    if (unsigned(field) >= unsigned(fieldCount_)) {
        throw DbError(
            0,
            QStringLiteral("The result has no field %1 (it has %2).").arg(field).arg(fieldCount_));
    }
    return QString::fromUtf8(fields_[field].name, qsizetype(fields_[field].name_length));
}

void SqlResult::throwBadField(int field) const
{
    if (!row_)
        throw DbError(0, QStringLiteral("The result has no current row."));
    throw DbError(
        0, QStringLiteral("The result has no field %1 (it has %2).").arg(field).arg(fieldCount_));
}

const char *SqlResult::rowBytes() const
{
    return statement_ && row_ ? binaryRows_->bytes() : nullptr;
}

void SqlResult::next()
{
    if (row_)
        fetch();
}

void SqlResult::fetch()
{
    if (statement_) {
        const int status = mysql_stmt_fetch(statement_);
        if (status == 0 || status == MYSQL_DATA_TRUNCATED) {
            binaryRows_->finishRow();
            row_ = binaryRows_->fields();
            lengths_ = binaryRows_->lengths();
            return;
        }
        row_ = nullptr;
        lengths_ = nullptr;
        // As for plain statements, an error ends the rows too; a kill on the server, a lost
        // connection, is never taken for their end.
        if (status != MYSQL_NO_DATA)
            throw stepError(statement_, connection_ ? connection_->mysql_.get() : nullptr);
        return;
    }
    row_ = mysql_fetch_row(result_);
    if (row_) {
        lengths_ = mysql_fetch_lengths(result_);
        return;
    }
    lengths_ = nullptr;
    // The library ends the stream on an error as on the last row; only the connection's
    // error number tells them apart.
    MYSQL *mysql = connection_->mysql_.get();
    if (mysql_errno(mysql) != 0)
        throw connectionError(mysql);
    connection_->endStatement(true);
}

void SqlResult::close()
{
    release(true);
}

void SqlResult::release(bool drain)
{
    if (!result_)
        return;
    if (statement_) {
        mysql_free_result(result_); // the description only
        if (drain) {
            // Reads the rows not delivered yet, then frees the statement on the server too.
            mysql_stmt_close(statement_);
        } else if (connection_) {
            // The connection is about to be closed, which the statement does not outlive on
            // the server; it is freed here once the connection is gone.
            connection_->abandonedStatement_ = statement_;
        }
        statement_ = nullptr;
        binaryRows_.reset();
        forget();
        return;
    }
    if (!drain) {
        // The library reads every remaining row before it frees an unfinished streamed
        // result. The connection is about to be closed, so the result is cut loose from it
        // instead; the server stops the query when the connection goes.
        result_->handle = nullptr;
    }
    mysql_free_result(result_);
    if (drain && connection_ && connection_->mysql_)
        connection_->endStatement(false);
    forget();
}

void SqlResult::forget()
{
    if (connection_ && connection_->openResult_ == this)
        connection_->openResult_ = nullptr;
    connection_ = nullptr;
    result_ = nullptr;
    fields_ = nullptr;
    row_ = nullptr;
    lengths_ = nullptr;
    fieldCount_ = 0;
}

// ---- SqlConnection ----

void SqlConnection::Closer::operator()(st_mysql *mysql) const
{
    mysql_close(mysql);
}

SqlConnection::SqlConnection() = default;

SqlConnection::~SqlConnection()
{
    close();
}

void SqlConnection::open()
{
    if (mysql_)
        return;
    if (config_.driverName != ConnectionRecipe::driverName) {
        throw DbError(0,
                      QStringLiteral("Unknown database driver \"%1\"; the connection needs "
                                     "driver \"%2\".")
                          .arg(config_.driverName, ConnectionRecipe::driverName));
    }
    const QByteArray database = params_.value(ConnectionRecipe::databaseParam).toUtf8();
    if (database.isEmpty())
        throw DbError(0, QStringLiteral("No database name is set for the connection."));
    const HostAddress address = parseHostValue(params_.value(ConnectionRecipe::hostNameParam));
    const QByteArray host = address.host.toUtf8();
    const QByteArray socket = address.socket.toUtf8();
    const QByteArray user = params_.value(ConnectionRecipe::userNameParam).toUtf8();
    const QByteArray password = params_.value(ConnectionRecipe::passwordParam).toUtf8();

    std::unique_ptr<st_mysql, Closer> mysql(mysql_init(nullptr));
    if (!mysql)
        throw DbError(CR_OUT_OF_MEMORY, QStringLiteral("Out of memory for a new connection."));
    MYSQL *m = mysql.get();
    mysql_options(m, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    mysql_options(m, MYSQL_OPT_CONNECT_TIMEOUT, &connectTimeoutSeconds);
    // Statements typed by the user must not make the client library send local files.
    const unsigned int localInfile = 0;
    mysql_options(m, MYSQL_OPT_LOCAL_INFILE, &localInfile);
    if (address.port != 0) {
        const unsigned int protocol = MYSQL_PROTOCOL_TCP;
        mysql_options(m, MYSQL_OPT_PROTOCOL, &protocol);
    } else if (!socket.isEmpty()) {
        const unsigned int protocol = MYSQL_PROTOCOL_SOCKET;
        mysql_options(m, MYSQL_OPT_PROTOCOL, &protocol);
    }
    // Over the network the connection is encrypted whenever the server offers TLS, and stays
    // plain with a server that does not. The server's certificate is not verified, as there is
    // no setting to name an authority to verify it against: this keeps the data from those who
    // listen on the way, not from one who poses as the server. A Unix socket never leaves the
    // machine and stays plain.
    const bool overSocket = address.port == 0
        && (!socket.isEmpty() || host.isEmpty() || address.host == QLatin1String("localhost"));
    if (!overSocket) {
        mysql_ssl_set(m, nullptr, nullptr, nullptr, nullptr, nullptr);
        const my_bool verify = 0;
        mysql_optionsv(m, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &verify);
    }
    // User name and password go as empty texts, not null: a null user name would make the
    // library log in as the operating-system user.
    if (!mysql_real_connect(m, orNull(host), user.constData(), password.constData(),
                            database.constData(), address.port, orNull(socket), 0)) {
        throw connectionError(m);
    }
    mysql_ = std::move(mysql);
}

void SqlConnection::close()
{
    if (openResult_)
        openResult_->release(false);
    mysql_.reset();
    // Closing the connection cut the statement loose from it; freeing it now reads nothing.
    if (abandonedStatement_)
        mysql_stmt_close(std::exchange(abandonedStatement_, nullptr));
}

std::uint64_t SqlConnection::serverId() const
{
    return mysql_ ? mysql_thread_id(mysql_.get()) : 0;
}

void SqlConnection::interrupt()
{
    if (mysql_)
        mariadb_cancel(mysql_.get());
}

st_mysql *SqlConnection::handleForStatement()
{
    open();
    // The protocol allows one statement at a time: an unfinished result goes first.
    if (openResult_)
        openResult_->close();
    return mysql_.get();
}

void SqlConnection::endStatement(bool reportErrors)
{
    // A procedure call answers with several results, and the connection takes no new
    // statement until all are read. Only the first result's rows are delivered; an error
    // further on is still the statement's error.
    MYSQL *mysql = mysql_.get();
    while (mysql_more_results(mysql)) {
        const int status = mysql_next_result(mysql);
        if (status > 0 && reportErrors)
            throw connectionError(mysql);
        if (status != 0)
            return;
        if (MYSQL_RES *rest = mysql_use_result(mysql))
            mysql_free_result(rest);
    }
}

SqlResult SqlConnection::query(const QString &sql)
{
    return query(QByteArrayView(sql.toUtf8()));
}

SqlResult SqlConnection::query(QByteArrayView sql)
{
    MYSQL *mysql = handleForStatement();
    if (mysql_real_query(mysql, sql.data(), static_cast<unsigned long>(sql.size())) != 0)
        throw connectionError(mysql);
    MYSQL_RES *rows = mysql_use_result(mysql);
    if (!rows) {
        if (mysql_field_count(mysql) != 0 || mysql_errno(mysql) != 0)
            throw connectionError(mysql);
        endStatement(true);
        return SqlResult();
    }
    SqlResult result(this, rows);
    result.fetch();
    return result;
}

SqlResult SqlConnection::queryRows(QByteArrayView sql, Prepare prepare)
{
    MYSQL *mysql = handleForStatement();
    StatementHandle statement(mysql_stmt_init(mysql));
    if (!statement)
        throw connectionError(mysql);
    const auto length = static_cast<unsigned long>(sql.size());
    // A statement the server cannot prepare, or one that takes parameters (a "?" that a plain
    // statement reports as an error) or returns no rows, runs as a plain statement.
    if (mysql_stmt_prepare(statement.get(), sql.data(), length) != 0
        || mysql_stmt_param_count(statement.get()) != 0
        || mysql_stmt_field_count(statement.get()) == 0) {
        statement.reset();
        return query(sql);
    }
    MYSQL_RES *prepared = mysql_stmt_result_metadata(statement.get());
    bool wanted = false;
    if (prepared) {
        const MYSQL_FIELD *fields = mysql_fetch_fields(prepared);
        const unsigned count = mysql_num_fields(prepared);
        wanted = BinaryRowText::canWrite(fields, count)
            && (prepare == Prepare::WherePossible || BinaryRowText::savesTime(fields, count));
        mysql_free_result(prepared);
    }
    if (!wanted) {
        statement.reset();
        return query(sql);
    }

    if (mysql_stmt_execute(statement.get()) != 0)
        throw stepError(statement.get(), mysql);
    // The rows are read by the columns the server described when it ran the statement.
    MYSQL_RES *description = mysql_stmt_result_metadata(statement.get());
    if (!description)
        throw stepError(statement.get(), mysql);
    MYSQL_FIELD *fields = mysql_fetch_fields(description);
    const unsigned count = mysql_num_fields(description);
    if (!BinaryRowText::canWrite(fields, count)) {
        mysql_free_result(description);
        throw DbError(0,
                      QStringLiteral("The result's columns changed between the statement's "
                                     "preparation and its run."));
    }
    auto rows = std::make_unique<BinaryRowText>(fields, count);
    mysql_stmt_attr_set(statement.get(), STMT_ATTR_CB_USER_DATA, rows.get());
    mysql_stmt_attr_set(statement.get(), STMT_ATTR_CB_RESULT,
                        reinterpret_cast<const void *>(&BinaryRowText::readColumn));
    SqlResult result(this, statement.release(), description, std::move(rows));
    result.fetch();
    return result;
}

std::uint64_t SqlConnection::execute(const QString &sql)
{
    return execute(QByteArrayView(sql.toUtf8()));
}

std::uint64_t SqlConnection::execute(QByteArrayView sql)
{
    MYSQL *mysql = handleForStatement();
    StatementHandle statement(mysql_stmt_init(mysql));
    if (!statement)
        throw connectionError(mysql);
    if (mysql_stmt_prepare(statement.get(), sql.data(), static_cast<unsigned long>(sql.size()))
        != 0) {
        if (mysql_stmt_errno(statement.get()) != ER_UNSUPPORTED_PS)
            throw statementError(statement.get());
        statement.reset();
        return executeDirect(sql);
    }
    if (mysql_stmt_execute(statement.get()) != 0)
        throw statementError(statement.get());
    // Rows that a statement returns here are not wanted. Every result is passed over,
    // so that a procedure call leaves the connection ready and reports a later error.
    std::uint64_t changed = 0;
    for (;;) {
        if (mysql_stmt_field_count(statement.get()) != 0)
            mysql_stmt_free_result(statement.get());
        else
            changed = mysql_stmt_affected_rows(statement.get());
        const int status = mysql_stmt_next_result(statement.get());
        if (status > 0)
            throw statementError(statement.get());
        if (status != 0)
            return changed;
    }
}

std::uint64_t SqlConnection::executeDirect(QByteArrayView sql)
{
    MYSQL *mysql = mysql_.get();
    if (mysql_real_query(mysql, sql.data(), static_cast<unsigned long>(sql.size())) != 0)
        throw connectionError(mysql);
    std::uint64_t changed = 0;
    if (mysql_field_count(mysql) == 0) {
        changed = mysql_affected_rows(mysql);
    } else {
        MYSQL_RES *rows = mysql_use_result(mysql);
        if (!rows)
            throw connectionError(mysql);
        mysql_free_result(rows);
    }
    endStatement(true);
    return changed;
}
