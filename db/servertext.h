#pragma once

#include <cstdint>
#include <string>

// Values written as the server writes them in the rows of a plain (text protocol) statement,
// for values that arrive as numbers, dates and times from a prepared statement (binary
// protocol). Each function appends the text to out. The forms are the server's own:
//
// - FLOAT and DOUBLE without a fixed number of decimals: the fewest significant digits that
//   read back as the same value (for FLOAT at most 6, rounded), written as a plain decimal
//   number when the decimal point falls within 15 places of the first digit and the number is
//   not an integer of more than 15 digits, otherwise as digits with an exponent without "+"
//   or leading zeros: 0.00001, 1e-15, 1e15, 1.2345678901234568e17, 3.40282e38.
// - FLOAT and DOUBLE with a fixed number of decimals: exactly that many decimals; the digits
//   are the shortest that read back as the value when they fit, otherwise the value rounded.
// - Dates "YYYY-MM-DD", date and time "YYYY-MM-DD HH:MM:SS" and times "[-]HH:MM:SS" (hours
//   counting on past 24, at least two digits), with as many digits of the second's fraction
//   as the column has decimals (none for 0).
namespace ServerText {

// The decimals a result column reports when its value has no fixed number of them.
inline constexpr unsigned notFixedDecimals = 31;
// The most decimals of a second a column can have.
inline constexpr unsigned maxSecondDecimals = 6;

void appendFloat(std::string &out, float value, unsigned decimals);
void appendDouble(std::string &out, double value, unsigned decimals);

// An integer in decimal; with zeroFillWidth, padded with leading zeros to that many digits,
// as for a ZEROFILL column of that display width.
void appendSigned(std::string &out, std::int64_t value, unsigned zeroFillWidth = 0);
void appendUnsigned(std::string &out, std::uint64_t value, unsigned zeroFillWidth = 0);

void appendDate(std::string &out, unsigned year, unsigned month, unsigned day);
void appendDateTime(std::string &out, unsigned year, unsigned month, unsigned day, unsigned hour,
                    unsigned minute, unsigned second, unsigned long microsecond, unsigned decimals);
void appendTime(std::string &out, bool negative, unsigned long hours, unsigned minute,
                unsigned second, unsigned long microsecond, unsigned decimals);

} // namespace ServerText
