#include "db/dberror.h"

DbError::DbError(unsigned int number, const std::string &message)
    : std::runtime_error(message)
    , number_(number)
{ }

DbError::DbError(unsigned int number, const QString &message)
    : DbError(number, message.toStdString())
{ }

QString DbError::text() const
{
    return QString::fromUtf8(what());
}
