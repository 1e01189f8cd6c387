#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct st_mysql_field;

// The rows of a prepared statement's result, read from the binary protocol and written as the
// text protocol writes them (servertext.h), so that a result reads the same whichever protocol
// brought it. The client library hands each value of a row over as it reads the row
// (readColumn, registered as the statement's result callback); the row's texts are then ready
// in the shape of a text protocol row: fields() and lengths(), a null field for NULL.
//
// Only results whose every column is of a kind written exactly are read this way: integers of
// every size, signed or not, ZEROFILL or not; FLOAT and DOUBLE (not ZEROFILL); DECIMAL; YEAR
// of four digits; DATE, DATETIME, TIMESTAMP and TIME with up to 6 decimals; NULL; and every
// kind sent as bytes (text, binary strings and blobs, BIT, ENUM, SET, JSON, GEOMETRY).
class BinaryRowText
{
public:
    // Whether every column can be written exactly as the text protocol writes it.
    static bool canWrite(const st_mysql_field *fields, unsigned count);
    // Whether reading the columns this way saves time: the server writes FLOAT and DOUBLE
    // values as text slowly (for a result of such columns, several times what the rest of its
    // work costs), while it writes integers quickly and sends DECIMAL values as text either
    // way, so that for a result without FLOAT or DOUBLE columns the writing moves from the
    // server to the client for little gain.
    static bool savesTime(const st_mysql_field *fields, unsigned count);

    // For columns that canWrite accepts.
    BinaryRowText(const st_mysql_field *fields, unsigned count);

    // The client library's call for each column of a row, in column order: row is null for a
    // NULL value, otherwise it points at the value and is moved past it. self is the
    // BinaryRowText.
    static void readColumn(void *self, unsigned column, unsigned char **row);

    // After the last column of a row: makes fields() and lengths() describe it. They stay
    // valid until the next row is read.
    void finishRow();
    const char *const *fields() const { return pointers.data(); }
    const unsigned long *lengths() const { return sizes.data(); }
    // The row's field texts one after another, in column order; a NULL adds nothing.
    const char *bytes() const { return text.data(); }

private:
    enum class Kind {
        Signed,
        Unsigned,
        Float,
        Double,
        Year,
        Date,
        DateTime,
        Time,
        Bytes,
        Null,
    };
    struct Column
    {
        Kind kind;
        int size; // bytes of a fixed-size number, 0 for values sent with their length
        unsigned zeroFill; // digits to pad to with zeros, 0 for none
        unsigned decimals;
    };

    void read(unsigned column, const unsigned char *&value);

    std::vector<Column> columns;
    std::string text;
    std::vector<std::size_t> ends; // where each field's text ends; npos for NULL
    std::vector<const char *> pointers;
    std::vector<unsigned long> sizes;
};
