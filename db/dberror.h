#pragma once

#include <QString>

#include <stdexcept>
#include <string>

// A failure of the database layer. It carries the text and number that the client library
// or the server gave right after the call that failed; number 0 marks a failure that this
// layer found itself before asking the server (an unknown driver, no database name, a bad
// port in the host value, a field index that the result does not have).
class DbError : public std::runtime_error
{
public:
    DbError(unsigned int number, const std::string &message);
    DbError(unsigned int number, const QString &message);

    unsigned int number() const noexcept { return number_; }
    // The message as the program shows it.
    QString text() const;

private:
    unsigned int number_;
};
