#pragma once

// The MySQL client library's set-up for the whole program: made once in main(), before any
// thread starts, and kept until the program ends. Throws DbError when the library cannot
// initialise.
class ClientLibraryScope
{
public:
    ClientLibraryScope();
    ~ClientLibraryScope();
    ClientLibraryScope(const ClientLibraryScope &) = delete;
    ClientLibraryScope &operator=(const ClientLibraryScope &) = delete;
};

// The client library's per-thread set-up: made at the start of a worker thread that uses a
// connection, and kept until the thread has closed it.
class ClientThreadScope
{
public:
    ClientThreadScope();
    ~ClientThreadScope();
    ClientThreadScope(const ClientThreadScope &) = delete;
    ClientThreadScope &operator=(const ClientThreadScope &) = delete;
};
