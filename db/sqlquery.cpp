#include "db/sqlquery.h"

#include "db/dberror.h"

void SqlQuery::setConnection(SqlConnection *connection)
{
    result_.close();
    connection_ = connection;
}

SqlConnection &SqlQuery::boundConnection() const
{
    if (!connection_)
        throw DbError(0, QStringLiteral("The statement is not bound to a connection."));
    return *connection_;
}

void SqlQuery::open()
{
    SqlConnection &connection = boundConnection();
    result_.close();
    result_ = connection.query(sql_);
}

std::uint64_t SqlQuery::execSql()
{
    SqlConnection &connection = boundConnection();
    result_.close();
    return connection.execute(sql_);
}
