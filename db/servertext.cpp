#include "db/servertext.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace {

// Field widths the server writes these values into: a FLOAT into 70 bytes, a DOUBLE into
// 342, each less its terminating zero byte. They decide between plain and exponent form only
// for the smallest and largest magnitudes.
constexpr int floatWidth = 69;
constexpr int doubleWidth = 341;
// A plain decimal number is written while the decimal point lies at most this many places
// from the first digit (DBL_DIG).
constexpr int plainPlaces = 15;

// A value's significant decimal digits: value = 0.d1d2d3... * 10^point, no trailing zeros
// (zero is the single digit 0 with point 1).
struct Digits
{
    char digit[40];
    int length = 0;
    int point = 0;
};

// From the scientific form "[-]d[.ddd]e[+-]xx" that std::to_chars writes.
Digits fromScientific(const char *begin, const char *end)
{
    Digits digits;
    const char *at = begin;
    if (at < end && *at == '-')
        ++at;
    for (; at < end && *at != 'e'; ++at) {
        if (*at != '.')
            digits.digit[digits.length++] = *at;
    }
    int exponent = 0;
    if (at < end) {
        ++at; // 'e'
        const bool negative = at < end && *at == '-';
        if (at < end && (*at == '-' || *at == '+'))
            ++at;
        std::from_chars(at, end, exponent);
        if (negative)
            exponent = -exponent;
    }
    while (digits.length > 1 && digits.digit[digits.length - 1] == '0')
        --digits.length;
    digits.point = digits.digit[0] == '0' ? 1 : exponent + 1;
    return digits;
}

// The fewest digits that read back as the value.
Digits shortestDigits(double value)
{
    char text[64];
    const auto written =
        std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
    return fromScientific(text, written.ptr);
}

// The value rounded to the given number of significant digits (ties to even).
Digits roundedDigits(double value, int significant)
{
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, value,
                                       std::chars_format::scientific, significant - 1);
    return fromScientific(text, written.ptr);
}

void appendExponent(std::string &out, int exponent)
{
    if (exponent < 0) {
        out += '-';
        exponent = -exponent;
    }
    char text[8];
    const auto written = std::to_chars(text, text + sizeof text, exponent);
    out.append(text, written.ptr);
}

// The general form of a FLOAT or DOUBLE without fixed decimals (see servertext.h).
void appendGeneral(std::string &out, double value, bool isFloat)
{
    // Zero, of either sign, is written "0".
    if (value == 0) {
        out += '0';
        return;
    }
    int width = isFloat ? floatWidth : doubleWidth;
    if (value < 0)
        --width;
    const Digits digits = isFloat ? roundedDigits(value, 6) : shortestDigits(value);
    const int length = digits.length;
    const int point = digits.point;

    const int exponentLength =
        1 + (point >= 101 || point <= -99 ? 1 : 0) + (point >= 11 || point <= -9 ? 1 : 0);
    const int plainLength = point <= 0 ? length - point + 2 : point < length ? length + 1 : point;
    const bool plainFits = plainLength <= width;
    const bool exponentOnly = point <= 0 && width <= 2 - point && width >= 3 + exponentLength;
    const bool plain =
        (plainFits
         || (point <= width && (point >= -1 || (point == -2 && (length > 1 || !exponentOnly)))
             && !exponentOnly))
        && (!plainFits || (point >= -plainPlaces + 1 && (point <= plainPlaces || length > point)));

    // Written into a buffer of its own first: these run for every value of a result.
    char text[400];
    char *at = text;
    if (value < 0)
        *at++ = '-';
    if (plain) {
        if (point <= 0) {
            *at++ = '0';
            *at++ = '.';
            at = std::fill_n(at, -point, '0');
        }
        for (int i = 1; i <= length; ++i) {
            *at++ = digits.digit[i - 1];
            if (i == point && i < length)
                *at++ = '.';
        }
        if (point > length)
            at = std::fill_n(at, point - length, '0');
        out.append(text, at);
        return;
    }
    *at++ = digits.digit[0];
    if (length > 1) {
        *at++ = '.';
        at = std::copy(digits.digit + 1, digits.digit + length, at);
    }
    *at++ = 'e';
    out.append(text, at);
    appendExponent(out, point - 1);
}

// The fixed form with the given number of decimals (see servertext.h).
void appendFixed(std::string &out, double value, unsigned decimals)
{
    if (value == 0) {
        out += '0';
        if (decimals > 0) {
            out += '.';
            out.append(decimals, '0');
        }
        return;
    }
    const Digits digits = shortestDigits(value);
    const int fraction = std::max(0, digits.length - digits.point);
    if (fraction > static_cast<int>(decimals)) {
        // More digits than decimals: the value rounded to the decimals.
        char text[400];
        const auto written = std::to_chars(text, text + sizeof text, value,
                                           std::chars_format::fixed, static_cast<int>(decimals));
        if (written.ec == std::errc())
            out.append(text, written.ptr);
        return;
    }
    const int length = digits.length;
    const int point = digits.point;
    if (value < 0)
        out += '-';
    if (point <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-point), '0');
    }
    for (int i = 1; i <= length; ++i) {
        out += digits.digit[i - 1];
        if (i == point && i < length)
            out += '.';
    }
    if (point > length)
        out.append(static_cast<std::size_t>(point - length), '0');
    if (decimals > 0) {
        if (length <= point)
            out += '.';
        out.append(decimals - static_cast<unsigned>(fraction), '0');
    }
}

void appendPadded(std::string &out, unsigned value, int width)
{
    char text[12];
    const auto written = std::to_chars(text, text + sizeof text, value);
    const auto length = static_cast<int>(written.ptr - text);
    if (length < width)
        out.append(static_cast<std::size_t>(width - length), '0');
    out.append(text, written.ptr);
}

void appendFraction(std::string &out, unsigned long microsecond, unsigned decimals)
{
    if (decimals == 0)
        return;
    decimals = std::min(decimals, ServerText::maxSecondDecimals);
    unsigned long scaled = microsecond;
    for (unsigned i = decimals; i < ServerText::maxSecondDecimals; ++i)
        scaled /= 10;
    out += '.';
    appendPadded(out, static_cast<unsigned>(scaled), static_cast<int>(decimals));
}

} // namespace

namespace ServerText {

void appendFloat(std::string &out, float value, unsigned decimals)
{
    if (decimals >= notFixedDecimals)
        appendGeneral(out, static_cast<double>(value), true);
    else
        appendFixed(out, static_cast<double>(value), decimals);
}

void appendDouble(std::string &out, double value, unsigned decimals)
{
    if (decimals >= notFixedDecimals)
        appendGeneral(out, value, false);
    else
        appendFixed(out, value, decimals);
}

void appendSigned(std::string &out, std::int64_t value, unsigned zeroFillWidth)
{
    char text[24];
    const auto written = std::to_chars(text, text + sizeof text, value);
    const auto length = static_cast<unsigned>(written.ptr - text);
    if (length < zeroFillWidth)
        out.append(zeroFillWidth - length, '0');
    out.append(text, written.ptr);
}

void appendUnsigned(std::string &out, std::uint64_t value, unsigned zeroFillWidth)
{
    char text[24];
    const auto written = std::to_chars(text, text + sizeof text, value);
    const auto length = static_cast<unsigned>(written.ptr - text);
    if (length < zeroFillWidth)
        out.append(zeroFillWidth - length, '0');
    out.append(text, written.ptr);
}

void appendDate(std::string &out, unsigned year, unsigned month, unsigned day)
{
    appendPadded(out, year, 4);
    out += '-';
    appendPadded(out, month, 2);
    out += '-';
    appendPadded(out, day, 2);
}

void appendDateTime(std::string &out, unsigned year, unsigned month, unsigned day, unsigned hour,
                    unsigned minute, unsigned second, unsigned long microsecond, unsigned decimals)
{
    appendDate(out, year, month, day);
    out += ' ';
    appendPadded(out, hour, 2);
    out += ':';
    appendPadded(out, minute, 2);
    out += ':';
    appendPadded(out, second, 2);
    appendFraction(out, microsecond, decimals);
}

void appendTime(std::string &out, bool negative, unsigned long hours, unsigned minute,
                unsigned second, unsigned long microsecond, unsigned decimals)
{
    if (negative)
        out += '-';
    appendPadded(out, static_cast<unsigned>(hours), 2);
    out += ':';
    appendPadded(out, minute, 2);
    out += ':';
    appendPadded(out, second, 2);
    appendFraction(out, microsecond, decimals);
}

} // namespace ServerText
