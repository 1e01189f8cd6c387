#include "db/binaryrow.h"

#include "db/servertext.h"

#include <mysql.h>

#include <cstdint>
#include <cstring>

namespace {

constexpr std::size_t nullEnd = static_cast<std::size_t>(-1);

std::uint64_t readLittleEndian(const unsigned char *at, int size)
{
    std::uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | at[i];
    return value;
}

// A length as the protocol writes one before a value: one byte below 251, else a marker byte
// and 2, 3 or 8 bytes.
std::uint64_t readLength(const unsigned char *&at)
{
    const unsigned char first = *at++;
    int size = 0;
    switch (first) {
    case 252:
        size = 2;
        break;
    case 253:
        size = 3;
        break;
    case 254:
        size = 8;
        break;
    default:
        return first;
    }
    const std::uint64_t length = readLittleEndian(at, size);
    at += size;
    return length;
}

// The sign of a fixed-size integer of the given size, widened to 64 bits.
std::int64_t signExtend(std::uint64_t value, int size)
{
    const int shift = 64 - 8 * size;
    return static_cast<std::int64_t>(value << shift) >> shift;
}

} // namespace

bool BinaryRowText::canWrite(const st_mysql_field *fields, unsigned count)
{
    for (unsigned i = 0; i < count; ++i) {
        const MYSQL_FIELD &field = fields[i];
        switch (field.type) {
        case MYSQL_TYPE_TINY:
        case MYSQL_TYPE_SHORT:
        case MYSQL_TYPE_INT24:
        case MYSQL_TYPE_LONG:
        case MYSQL_TYPE_LONGLONG:
        case MYSQL_TYPE_NULL:
        case MYSQL_TYPE_DECIMAL:
        case MYSQL_TYPE_NEWDECIMAL:
        case MYSQL_TYPE_VARCHAR:
        case MYSQL_TYPE_VAR_STRING:
        case MYSQL_TYPE_STRING:
        case MYSQL_TYPE_TINY_BLOB:
        case MYSQL_TYPE_MEDIUM_BLOB:
        case MYSQL_TYPE_LONG_BLOB:
        case MYSQL_TYPE_BLOB:
        case MYSQL_TYPE_BIT:
        case MYSQL_TYPE_ENUM:
        case MYSQL_TYPE_SET:
        case MYSQL_TYPE_JSON:
        case MYSQL_TYPE_GEOMETRY:
            break;
        case MYSQL_TYPE_FLOAT:
        case MYSQL_TYPE_DOUBLE:
            // The text protocol pads these with zeros in a form of its own.
            if (field.flags & ZEROFILL_FLAG)
                return false;
            break;
        case MYSQL_TYPE_YEAR:
            // Two-digit years are written as the server stores them, not as sent.
            if (field.length != 4)
                return false;
            break;
        case MYSQL_TYPE_DATE:
        case MYSQL_TYPE_DATETIME:
        case MYSQL_TYPE_TIMESTAMP:
        case MYSQL_TYPE_TIME:
            if (field.decimals > ServerText::maxSecondDecimals)
                return false;
            break;
        default:
            return false;
        }
    }
    return true;
}

bool BinaryRowText::savesTime(const st_mysql_field *fields, unsigned count)
{
    for (unsigned i = 0; i < count; ++i) {
        if (fields[i].type == MYSQL_TYPE_FLOAT || fields[i].type == MYSQL_TYPE_DOUBLE)
            return true;
    }
    return false;
}

BinaryRowText::BinaryRowText(const st_mysql_field *fields, unsigned count)
    : ends(count, nullEnd)
    , pointers(count, nullptr)
    , sizes(count, 0)
{
    columns.reserve(count);
    text.reserve(4096);
    for (unsigned i = 0; i < count; ++i) {
        const MYSQL_FIELD &field = fields[i];
        const bool isUnsigned = (field.flags & UNSIGNED_FLAG) != 0;
        const unsigned zeroFill =
            (field.flags & ZEROFILL_FLAG) ? static_cast<unsigned>(field.length) : 0;
        Column column {Kind::Bytes, 0, zeroFill, field.decimals};
        switch (field.type) {
        case MYSQL_TYPE_TINY:
            column.kind = isUnsigned ? Kind::Unsigned : Kind::Signed;
            column.size = 1;
            break;
        case MYSQL_TYPE_SHORT:
            column.kind = isUnsigned ? Kind::Unsigned : Kind::Signed;
            column.size = 2;
            break;
        case MYSQL_TYPE_INT24:
        case MYSQL_TYPE_LONG:
            column.kind = isUnsigned ? Kind::Unsigned : Kind::Signed;
            column.size = 4;
            break;
        case MYSQL_TYPE_LONGLONG:
            column.kind = isUnsigned ? Kind::Unsigned : Kind::Signed;
            column.size = 8;
            break;
        case MYSQL_TYPE_YEAR:
            column.kind = Kind::Year;
            column.size = 2;
            break;
        case MYSQL_TYPE_FLOAT:
            column.kind = Kind::Float;
            column.size = 4;
            break;
        case MYSQL_TYPE_DOUBLE:
            column.kind = Kind::Double;
            column.size = 8;
            break;
        case MYSQL_TYPE_DATE:
            column.kind = Kind::Date;
            break;
        case MYSQL_TYPE_DATETIME:
        case MYSQL_TYPE_TIMESTAMP:
            column.kind = Kind::DateTime;
            break;
        case MYSQL_TYPE_TIME:
            column.kind = Kind::Time;
            break;
        case MYSQL_TYPE_NULL:
            column.kind = Kind::Null;
            break;
        default:
            column.kind = Kind::Bytes;
            break;
        }
        columns.push_back(column);
    }
}

void BinaryRowText::readColumn(void *self, unsigned column, unsigned char **row)
{
    auto *rows = static_cast<BinaryRowText *>(self);
    if (column == 0)
        rows->text.clear();
    if (column >= rows->columns.size()) {
        // Not a column of this result: nothing is read, which the caller's check of the
        // result's shape rules out.
        return;
    }
    if (!row) {
        rows->ends[column] = nullEnd;
        return;
    }
    const unsigned char *value = *row;
    rows->read(column, value);
    *row = const_cast<unsigned char *>(value);
    rows->ends[column] = rows->text.size();
}

void BinaryRowText::read(unsigned index, const unsigned char *&value)
{
    const Column &column = columns[index];
    switch (column.kind) {
    case Kind::Signed:
        ServerText::appendSigned(
            text, signExtend(readLittleEndian(value, column.size), column.size), column.zeroFill);
        value += column.size;
        return;
    case Kind::Unsigned:
        ServerText::appendUnsigned(text, readLittleEndian(value, column.size), column.zeroFill);
        value += column.size;
        return;
    case Kind::Year:
        ServerText::appendUnsigned(text, readLittleEndian(value, 2), 4);
        value += 2;
        return;
    case Kind::Float: {
        const auto bits = static_cast<std::uint32_t>(readLittleEndian(value, 4));
        float number;
        std::memcpy(&number, &bits, sizeof number);
        ServerText::appendFloat(text, number, column.decimals);
        value += 4;
        return;
    }
    case Kind::Double: {
        const std::uint64_t bits = readLittleEndian(value, 8);
        double number;
        std::memcpy(&number, &bits, sizeof number);
        ServerText::appendDouble(text, number, column.decimals);
        value += 8;
        return;
    }
    case Kind::Date:
    case Kind::DateTime: {
        // 0, 4, 7 or 11 bytes: year, month, day, then hour, minute, second, then microsecond.
        const auto length = static_cast<std::size_t>(readLength(value));
        unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
        unsigned long microsecond = 0;
        if (length >= 4) {
            year = static_cast<unsigned>(readLittleEndian(value, 2));
            month = value[2];
            day = value[3];
        }
        if (length >= 7) {
            hour = value[4];
            minute = value[5];
            second = value[6];
        }
        if (length >= 11)
            microsecond = static_cast<unsigned long>(readLittleEndian(value + 7, 4));
        value += length;
        if (column.kind == Kind::Date) {
            ServerText::appendDate(text, year, month, day);
        } else {
            ServerText::appendDateTime(text, year, month, day, hour, minute, second, microsecond,
                                       column.decimals);
        }
        return;
    }
    case Kind::Time: {
        // 0, 8 or 12 bytes: sign, days, hour, minute, second, then microsecond.
        const auto length = static_cast<std::size_t>(readLength(value));
        bool negative = false;
        unsigned long hours = 0;
        unsigned minute = 0, second = 0;
        unsigned long microsecond = 0;
        if (length >= 8) {
            negative = value[0] != 0;
            hours = static_cast<unsigned long>(readLittleEndian(value + 1, 4)) * 24 + value[5];
            minute = value[6];
            second = value[7];
        }
        if (length >= 12)
            microsecond = static_cast<unsigned long>(readLittleEndian(value + 8, 4));
        value += length;
        ServerText::appendTime(text, negative, hours, minute, second, microsecond, column.decimals);
        return;
    }
    case Kind::Null:
        return;
    case Kind::Bytes: {
        const auto length = static_cast<std::size_t>(readLength(value));
        text.append(reinterpret_cast<const char *>(value), length);
        value += length;
        return;
    }
    }
}

void BinaryRowText::finishRow()
{
    // The texts were appended one after another; pointers are taken only now, as the buffer
    // may have moved while the row was read.
    std::size_t begin = 0;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (ends[i] == nullEnd || columns[i].kind == Kind::Null) {
            pointers[i] = nullptr;
            sizes[i] = 0;
            continue;
        }
        pointers[i] = text.data() + begin;
        sizes[i] = static_cast<unsigned long>(ends[i] - begin);
        begin = ends[i];
    }
}
