#include "clientlibrary.h"

#include "dberror.h"

#include <QString>

#include <mysql.h>

ClientLibraryScope::ClientLibraryScope()
{
    if (mysql_library_init(0, nullptr, nullptr) != 0)
        throw DbError(0, QStringLiteral("The MySQL client library could not be initialised."));
}

ClientLibraryScope::~ClientLibraryScope()
{
    mysql_library_end();
}

ClientThreadScope::ClientThreadScope()
{
    mysql_thread_init();
}

ClientThreadScope::~ClientThreadScope()
{
    mysql_thread_end();
}
