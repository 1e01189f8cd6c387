#include "db/clientlibrary.h"

#include "db/dberror.h"

#include <QString>

#include <mysql.h>

#include <cstdlib>

ClientLibraryScope::ClientLibraryScope()
{
    // Connections over the network are encrypted but the server's certificate is not verified
    // (see SqlConnection::open), so the system's store of certificate authorities is never
    // consulted. The TLS library would still read and parse all of that store (some 140
    // certificates, about a tenth of a second of processor time) for every connection it makes,
    // and the program makes one for each progress reading, once a second while a query runs.
    // An empty store costs nothing. Set here, before any thread starts, as the environment may
    // not change while other threads read it.
    ::setenv("SSL_CERT_FILE", "/dev/null", 1);
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
