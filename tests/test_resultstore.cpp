// Result batches, the result grid's store and the log's line store: bytes kept exactly, batch
// boundaries invisible, the grid's counts through blanking and new results, echo lines, and the
// memory they take. Expected texts are literals.
#include "store/logstore.h"
#include "store/resultstore.h"
#include "tests/resultrows.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

using namespace std::string_literals;
using namespace std::string_view_literals;

namespace {

// One record whose field i holds "c<i>", as a one-record batch.
std::shared_ptr<const RecordBatch> numberedRecord(int columns)
{
    std::vector<std::string> fields;
    for (int i = 0; i < columns; ++i)
        fields.push_back("c" + std::to_string(i));
    return batchOf(columns, {fields});
}

// ---- Building a batch ----

struct FieldCase
{
    const char *name;
    const char *data; // null pointer: a NULL field
    unsigned long length;
    std::string_view expected;
};

void PrintTo(const FieldCase &c, std::ostream *out)
{
    *out << c.name;
}

class BatchFieldBytes : public testing::TestWithParam<FieldCase>
{
};

// Each case sits between two other fields in two records, through both ways of appending, so
// a field that loses or gains a byte shows up in its neighbours too.
TEST_P(BatchFieldBytes, KeptExactlyBetweenNeighbours)
{
    const FieldCase &c = GetParam();
    const char *fields[] = {"left", c.data, "right"};
    const unsigned long lengths[] = {4, c.length, 5};

    RecordBatchBuilder builder(3);
    builder.appendRecord(fields, lengths);
    builder.appendField("left"sv);
    if (c.data)
        builder.appendField(std::string_view(c.data, c.length));
    else
        builder.appendField({});
    builder.appendField("right"sv);
    builder.endRecord();
    const auto batch = builder.finish();

    ASSERT_EQ(batch->recordCount(), 2);
    ASSERT_EQ(batch->columnCount(), 3);
    for (int record = 0; record < 2; ++record) {
        EXPECT_EQ(batch->field(record, 0), "left"sv) << record;
        EXPECT_EQ(batch->field(record, 1), c.expected) << record;
        EXPECT_EQ(batch->field(record, 2), "right"sv) << record;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, BatchFieldBytes,
    testing::Values(FieldCase {"null", nullptr, 0, ""sv}, FieldCase {"empty", "", 0, ""sv},
                    FieldCase {"digits", "85.1", 4, "85.1"sv},
                    FieldCase {"umlaut", "Z\xc3\xbcrich", 7, "Z\xc3\xbcrich"sv},
                    FieldCase {"degrees",
                               "93 \xc2\xb0"
                               "F",
                               6,
                               "93 \xc2\xb0"
                               "F"sv},
                    FieldCase {"invalid_utf8", "\xff\xfe", 2, "\xff\xfe"sv},
                    FieldCase {"embedded_nul", "a\0b", 3, "a\0b"sv},
                    FieldCase {"commas_quotes", "1,\"2\",3", 7, "1,\"2\",3"sv},
                    FieldCase {"line_break", "METAR\r\nKSWF", 11, "METAR\r\nKSWF"sv}),
    [](const testing::TestParamInfo<FieldCase> &info) { return std::string(info.param.name); });

// Records of different lengths select different widths for the stored field ends; fields on
// either side of each boundary must come back whole.
class BatchLongFields : public testing::TestWithParam<std::size_t>
{
};

TEST_P(BatchLongFields, LengthsAroundOffsetWidths)
{
    const std::string longField(GetParam(), 'x');
    RecordBatchBuilder builder(3);
    builder.appendField("a"sv);
    builder.appendField(longField);
    builder.appendField("z"sv);
    builder.endRecord();
    builder.appendField("b"sv);
    builder.appendField("y"sv);
    builder.appendField(""sv);
    builder.endRecord();
    const auto batch = builder.finish();

    EXPECT_EQ(batch->field(0, 0), "a"sv);
    EXPECT_EQ(batch->field(0, 1).size(), GetParam());
    EXPECT_EQ(batch->field(0, 1), longField);
    EXPECT_EQ(batch->field(0, 2), "z"sv);
    EXPECT_EQ(batch->field(1, 0), "b"sv);
    EXPECT_EQ(batch->field(1, 1), "y"sv);
    EXPECT_EQ(batch->field(1, 2), ""sv);
}

INSTANTIATE_TEST_SUITE_P(Lengths, BatchLongFields,
                         testing::Values(0u, 1u, 252u, 253u, 254u, 65532u, 65533u, 65534u, 70000u));

TEST(BatchBuilder, MissingFieldsAreEmptyAndExtraFieldsRefused)
{
    RecordBatchBuilder builder(3);
    builder.appendField("only"sv);
    builder.endRecord();
    builder.appendField("1"sv);
    builder.appendField("2"sv);
    builder.appendField("3"sv);
    EXPECT_THROW(builder.appendField("4"sv), std::logic_error);
    builder.endRecord();
    const auto batch = builder.finish();

    ASSERT_EQ(batch->recordCount(), 2);
    EXPECT_EQ(batch->field(0, 0), "only"sv);
    EXPECT_EQ(batch->field(0, 1), ""sv);
    EXPECT_EQ(batch->field(0, 2), ""sv);
    EXPECT_EQ(batch->field(1, 2), "3"sv);
}

// The builder is reused for the next batch after handing one over; the batch handed over must
// not change with it.
TEST(BatchBuilder, NextBatchLeavesTheFinishedOneAlone)
{
    RecordBatchBuilder builder(2);
    builder.appendField("KSWF"sv);
    builder.appendField("1995"sv);
    builder.endRecord();
    const auto first = builder.finish();
    EXPECT_EQ(builder.recordCount(), 0);

    builder.appendField("KLAS"sv);
    builder.appendField("2012"sv);
    builder.endRecord();
    builder.appendField("KVGT"sv);
    builder.appendField("2013"sv);
    builder.endRecord();
    const auto second = builder.finish();

    ASSERT_EQ(first->recordCount(), 1);
    EXPECT_EQ(first->field(0, 0), "KSWF"sv);
    EXPECT_EQ(first->field(0, 1), "1995"sv);
    ASSERT_EQ(second->recordCount(), 2);
    EXPECT_EQ(second->field(0, 0), "KLAS"sv);
    EXPECT_EQ(second->field(1, 1), "2013"sv);
}

// How a batch's room was told in advance and how its records came: none of it may show in the
// fields. Records go whole, whole in one piece and field by field by turns; their lengths cross the
// widths of the stored field ends (255 and 65,535 bytes) both ways, within a batch and from batch
// to batch.
struct RoomCase
{
    const char *name;
    int expectedRecords; // negative: nothing told
    std::size_t expectedBytes;
    int recordsPerBatch;
};

void PrintTo(const RoomCase &c, std::ostream *out)
{
    *out << c.name;
}

class BatchRoom : public testing::TestWithParam<RoomCase>
{
};

TEST_P(BatchRoom, FieldsKeptWhateverTheRoom)
{
    const RoomCase &c = GetParam();
    const std::size_t lengths[] = {0, 3, 255, 256, 7, 65535, 65536, 1, 300, 0, 70000, 2};
    std::vector<std::vector<std::string>> records;
    for (int r = 0; r < 48; ++r) {
        const std::size_t length = lengths[static_cast<std::size_t>(r) % std::size(lengths)];
        records.push_back({"r" + std::to_string(r),
                           std::string(length, static_cast<char>('a' + r % 26)),
                           r % 3 == 0 ? ""s : "end"s});
    }

    RecordBatchBuilder builder(3);
    if (c.expectedRecords >= 0)
        builder.expect(c.expectedRecords, c.expectedBytes);
    std::vector<std::shared_ptr<const RecordBatch>> batches;
    for (std::size_t r = 0; r < records.size(); ++r) {
        const auto &record = records[r];
        if (r % 3 == 0) {
            const char *fields[] = {record[0].data(), record[1].data(),
                                    record[2].empty() ? nullptr : record[2].data()};
            const unsigned long sizes[] = {record[0].size(), record[1].size(), record[2].size()};
            builder.appendRecord(fields, sizes);
        } else if (r % 3 == 1) {
            // The fields in one piece, as a prepared statement's rows come.
            const std::string joined = record[0] + record[1] + record[2];
            const char *fields[] = {
                joined.data(), joined.data() + record[0].size(),
                record[2].empty() ? nullptr : joined.data() + record[0].size() + record[1].size()};
            const unsigned long sizes[] = {record[0].size(), record[1].size(), record[2].size()};
            builder.appendRecord(joined.data(), fields, sizes);
        } else {
            for (const std::string &field : record)
                builder.appendField(field);
            builder.endRecord();
        }
        if (builder.recordCount() == c.recordsPerBatch) {
            batches.push_back(builder.finish());
            if (c.expectedRecords >= 0)
                builder.expect(c.expectedRecords, c.expectedBytes);
        }
    }
    batches.push_back(builder.finish());

    std::size_t r = 0;
    for (const auto &batch : batches) {
        std::size_t bytes = 0;
        for (int i = 0; i < batch->recordCount(); ++i, ++r) {
            ASSERT_LT(r, records.size());
            for (int column = 0; column < 3; ++column) {
                ASSERT_EQ(batch->field(i, column), records[r][column]) << "record " << r;
                bytes += records[r][column].size();
            }
        }
        EXPECT_EQ(batch->fieldBytes(0, batch->recordCount()), bytes);
    }
    EXPECT_EQ(r, records.size());
}

INSTANTIATE_TEST_SUITE_P(
    Rooms, BatchRoom,
    testing::Values(RoomCase {"nothing_told_one_batch", -1, 0, 0},
                    RoomCase {"nothing_told_batches_of_5", -1, 0, 5},
                    RoomCase {"too_little_told", 1, 1, 7},
                    RoomCase {"far_more_told", 100000, std::size_t(16) << 20, 11},
                    RoomCase {"records_without_bytes", 1000, 0, 13},
                    RoomCase {"single_record_batches", 2, 64, 1}),
    [](const testing::TestParamInfo<RoomCase> &info) { return std::string(info.param.name); });

// ---- The grid's store ----

TEST(ResultStore, StartsEmptyAtItsSize)
{
    const ResultStore store(15, 20);
    EXPECT_EQ(store.columnCount(), 15);
    EXPECT_EQ(store.rowCount(), 20);
    EXPECT_EQ(store.recordCount(), 0);
    for (int row = 0; row < 20; ++row) {
        for (int column = 0; column < 15; ++column)
            EXPECT_EQ(store.cell(column, row), ""sv) << column << "," << row;
    }
}

TEST(ResultStore, HeaderIsRowZeroAndTheTwoLastColumnsStayEmpty)
{
    ResultStore store(15, 20);
    store.setColumnCount(5);
    store.setHeader({"id", "year", "faa"});
    store.appendRecords(batchOf(3, {{"7", "1995", "SWF"}}));

    EXPECT_EQ(store.cell(0, 0), "id"sv);
    EXPECT_EQ(store.cell(1, 0), "year"sv);
    EXPECT_EQ(store.cell(2, 0), "faa"sv);
    EXPECT_EQ(store.cell(3, 0), ""sv);
    EXPECT_EQ(store.cell(4, 0), ""sv);
    EXPECT_EQ(store.cell(0, 1), "7"sv);
    EXPECT_EQ(store.cell(2, 1), "SWF"sv);
    EXPECT_EQ(store.cell(3, 1), ""sv);
    EXPECT_EQ(store.cell(4, 1), ""sv);
    EXPECT_EQ(store.cellText(2, 1), QStringLiteral("SWF"));
    // Outside the grid.
    EXPECT_EQ(store.cell(5, 1), ""sv);
    EXPECT_EQ(store.cell(-1, 1), ""sv);
    EXPECT_EQ(store.cell(0, 20), ""sv);
}

TEST(ResultStore, NonAsciiCellTextDecodesFromUtf8)
{
    ResultStore store(3, 2);
    store.appendRecords(batchOf(1, {{"Z\xc3\xbcrich 93\xc2\xb0"}}));
    EXPECT_EQ(store.cellText(0, 1), QStringLiteral("Zürich 93°"));
}

// Rows filled from one batch of N records and from N batches of one are the same rows.
class BatchBoundaries : public testing::TestWithParam<int>
{
};

TEST_P(BatchBoundaries, OneBatchEqualsSingleRecordBatches)
{
    const int records = GetParam();
    std::vector<std::vector<std::string>> rows;
    for (int r = 0; r < records; ++r) {
        rows.push_back({std::to_string(1000 + r), r % 3 == 0 ? "" : "K" + std::to_string(r),
                        std::string(static_cast<std::size_t>(r % 300), 'w')});
    }

    ResultStore whole(15, 20);
    whole.setColumnCount(5);
    whole.appendRecords(batchOf(3, rows));

    ResultStore pieces(15, 20);
    pieces.setColumnCount(5);
    for (const auto &row : rows)
        pieces.appendRecords(batchOf(3, {row}));

    ASSERT_EQ(whole.rowCount(), pieces.rowCount());
    ASSERT_EQ(whole.recordCount(), records);
    ASSERT_EQ(pieces.recordCount(), records);
    for (int row = 0; row < whole.rowCount(); ++row) {
        for (int column = 0; column < 5; ++column)
            ASSERT_EQ(whole.cell(column, row), pieces.cell(column, row)) << column << "," << row;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, BatchBoundaries, testing::Values(1, 2, 19, 20, 301));

TEST(ResultStore, BatchesFillConsecutiveRows)
{
    ResultStore store(15, 20);
    store.setColumnCount(3);
    store.appendRecords(batchOf(1, {{"a"}, {"b"}}));
    store.appendRecords(batchOf(1, {}));
    store.appendRecords(batchOf(1, {{"c"}}));
    store.appendRecords(batchOf(1, {{"d"}, {"e"}, {"f"}}));

    EXPECT_EQ(store.recordCount(), 6);
    EXPECT_EQ(store.rowCount(), 20);
    const std::string_view expected[] = {"", "a", "b", "c", "d", "e", "f", "", ""};
    for (int row = 0; row < 9; ++row)
        EXPECT_EQ(store.cell(0, row), expected[row]) << row;
}

// A batch written in parts (as the grid does when it refills existing rows and then adds rows)
// gives the rows of the whole batch.
TEST(ResultStore, PartsOfABatch)
{
    const auto batch = batchOf(2, {{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}, {"e", "5"}});
    ResultStore store(4, 3);
    store.appendRecords(batch, 0, 2);
    EXPECT_EQ(store.rowCount(), 3);
    store.appendRecords(batch, 2, 0);
    store.appendRecords(batch, 2, 3);

    EXPECT_EQ(store.recordCount(), 5);
    EXPECT_EQ(store.rowCount(), 6);
    const std::string_view first[] = {"", "a", "b", "c", "d", "e"};
    const std::string_view second[] = {"", "1", "2", "3", "4", "5"};
    for (int row = 0; row < 6; ++row) {
        EXPECT_EQ(store.cell(0, row), first[row]) << row;
        EXPECT_EQ(store.cell(1, row), second[row]) << row;
    }
}

TEST(ResultStore, ColumnCountShrinksAndGrowsWithTheResult)
{
    ResultStore store(15, 20);
    store.setColumnCount(32);
    EXPECT_EQ(store.columnCount(), 32);
    store.blank();
    EXPECT_EQ(store.columnCount(), 32);
    store.setColumnCount(24);
    EXPECT_EQ(store.columnCount(), 24);
    store.setColumnCount(3);
    EXPECT_EQ(store.columnCount(), 3);
    store.setColumnCount(40);
    EXPECT_EQ(store.columnCount(), 40);
    EXPECT_EQ(store.rowCount(), 20);
}

TEST(ResultStore, BlankingEmptiesEveryCellAndKeepsTheCounts)
{
    ResultStore store(15, 20);
    store.setColumnCount(4);
    store.setHeader({"a", "b"});
    std::vector<std::vector<std::string>> rows(30, {"x", "y"});
    store.appendRecords(batchOf(2, rows));
    ASSERT_EQ(store.rowCount(), 31);

    store.blank();
    EXPECT_EQ(store.columnCount(), 4);
    EXPECT_EQ(store.rowCount(), 31);
    EXPECT_EQ(store.recordCount(), 0);
    for (int row = 0; row < 31; ++row) {
        for (int column = 0; column < 4; ++column)
            EXPECT_EQ(store.cell(column, row), ""sv) << column << "," << row;
    }
}

// A run of 100 records, then a run of 5: the grid keeps its 101 rows, the new records in rows
// 1 to 5 and rows 6 to 100 blank.
TEST(ResultStore, RowCountOnlyGrows)
{
    ResultStore store(15, 20);
    store.setColumnCount(3);
    store.setHeader({"first"});
    std::vector<std::vector<std::string>> first;
    for (int r = 1; r <= 100; ++r)
        first.push_back({"a" + std::to_string(r)});
    store.appendRecords(batchOf(1, first));
    ASSERT_EQ(store.rowCount(), 101);
    ASSERT_EQ(store.cell(0, 100), "a100"sv);

    store.blank();
    store.setColumnCount(3);
    store.setHeader({"second"});
    store.appendRecords(batchOf(1, {{"b1"}, {"b2"}, {"b3"}, {"b4"}, {"b5"}}));

    EXPECT_EQ(store.rowCount(), 101);
    EXPECT_EQ(store.recordCount(), 5);
    EXPECT_EQ(store.cell(0, 0), "second"sv);
    EXPECT_EQ(store.cell(0, 1), "b1"sv);
    EXPECT_EQ(store.cell(0, 5), "b5"sv);
    EXPECT_EQ(store.cell(0, 6), ""sv);
    EXPECT_EQ(store.cell(0, 50), ""sv);
    EXPECT_EQ(store.cell(0, 100), ""sv);
}

// 10,000 records of 25 three-byte fields are 750,000 bytes of text; the store may add a few
// bytes per field and record, never a heap object per field.
TEST(ResultStore, MemoryStaysCloseToTheTextSize)
{
    ResultStore store(15, 20);
    store.setColumnCount(27);
    RecordBatchBuilder builder(25);
    for (int batch = 0; batch < 10; ++batch) {
        for (int r = 0; r < 1000; ++r) {
            for (int column = 0; column < 25; ++column)
                builder.appendField("7.5"sv);
            builder.endRecord();
        }
        store.appendRecords(builder.finish());
    }
    ASSERT_EQ(store.recordCount(), 10000);
    EXPECT_GE(store.byteCount(), 750000u);
    EXPECT_LE(store.byteCount(), 1100000u);

    store.blank();
    EXPECT_LE(store.byteCount(), 1000u);
}

// ---- Reading the grid row by row ----

// A grid in some state a run can leave it in, built step by step.
struct ShapeCase
{
    const char *name;
    std::function<void(ResultStore &)> build;
};

void PrintTo(const ShapeCase &c, std::ostream *out)
{
    *out << c.name;
}

// Records whose fields name their place, r<record>c<column>, with an empty field in every
// fifth place and one of 300 bytes in every 17th (so a batch needs wider field ends).
std::shared_ptr<const RecordBatch> placedRecords(int columns, int first, int count)
{
    std::vector<std::vector<std::string>> rows;
    for (int r = first; r < first + count; ++r) {
        std::vector<std::string> fields;
        for (int c = 0; c < columns; ++c) {
            const int place = r * columns + c;
            fields.push_back(place % 5 == 0 ? ""s
                                 : place % 17 == 0
                                 ? std::string(300, 'w')
                                 : "r" + std::to_string(r) + "c" + std::to_string(c));
        }
        rows.push_back(fields);
    }
    return batchOf(columns, rows);
}

class RowByRow : public testing::TestWithParam<ShapeCase>
{
};

// The row reader gives every row of the grid, each cell as cell() gives it, and the cell bytes
// counted from the batches are the sum of all cells' bytes.
TEST_P(RowByRow, SameCellsAsOneByOne)
{
    ResultStore store(15, 20);
    GetParam().build(store);

    ResultStore::RowReader reader(store);
    std::size_t bytes = 0;
    for (int row = 0; row < store.rowCount(); ++row) {
        const std::string_view *cells = reader.next();
        ASSERT_NE(cells, nullptr) << "row " << row;
        for (int column = 0; column < store.columnCount(); ++column) {
            ASSERT_EQ(cells[column], store.cell(column, row)) << column << "," << row;
            bytes += cells[column].size();
        }
    }
    EXPECT_EQ(reader.next(), nullptr);
    EXPECT_EQ(reader.next(), nullptr);
    EXPECT_EQ(store.cellBytes(), bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, RowByRow,
    testing::Values(ShapeCase {"before any query",
                               [](ResultStore &) {
                               }},
                    ShapeCase {"header only",
                               [](ResultStore &s) {
                                   s.setColumnCount(5);
                                   s.setHeader({"id", "icao", "temp"});
                               }},
                    ShapeCase {"one batch, fewer records than rows",
                               [](ResultStore &s) {
                                   s.setColumnCount(5);
                                   s.setHeader({"id", "icao", "temp"});
                                   s.appendRecords(placedRecords(3, 0, 7));
                               }},
                    ShapeCase {"many batches, more records than rows",
                               [](ResultStore &s) {
                                   s.setColumnCount(6);
                                   s.setHeader({"a", "b", "c", "d"});
                                   for (int b = 0; b < 9; ++b)
                                       s.appendRecords(placedRecords(4, b * 11, 11));
                               }},
                    ShapeCase {"a batch in parts and empty batches",
                               [](ResultStore &s) {
                                   s.setColumnCount(4);
                                   s.setHeader({"x", "y"});
                                   const auto batch = placedRecords(2, 0, 40);
                                   s.appendRecords(batch, 0, 19);
                                   s.appendRecords(batchOf(2, {}));
                                   s.appendRecords(batch, 19, 0);
                                   s.appendRecords(batch, 19, 21);
                               }},
                    ShapeCase {"wide fields between narrow ones",
                               [](ResultStore &s) {
                                   s.setColumnCount(3);
                                   s.setHeader({"only"});
                                   s.appendRecords(placedRecords(1, 0, 3));
                                   s.appendRecords(batchOf(1, {{std::string(70000, 'l')}, {"s"}}));
                                   s.appendRecords(placedRecords(1, 3, 3));
                               }},
                    ShapeCase {"a longer result blanked, then a shorter one",
                               [](ResultStore &s) {
                                   s.setColumnCount(5);
                                   s.setHeader({"a", "b", "c"});
                                   s.appendRecords(placedRecords(3, 0, 60));
                                   s.blank();
                                   s.setColumnCount(4);
                                   s.setHeader({"p", "q"});
                                   s.appendRecords(placedRecords(2, 100, 5));
                               }},
                    ShapeCase {"fewer grid columns than the batch has",
                               [](ResultStore &s) {
                                   s.setColumnCount(6);
                                   s.setHeader({"a", "b", "c", "d", "e", "f"});
                                   s.appendRecords(placedRecords(6, 0, 25));
                                   s.setColumnCount(3);
                               }},
                    ShapeCase {"more header names than grid columns",
                               [](ResultStore &s) {
                                   s.setColumnCount(2);
                                   s.setHeader({"a", "b", "c", "d"});
                                   s.appendRecords(placedRecords(1, 0, 4));
                               }},
                    ShapeCase {"no columns", [](ResultStore &s) {
                                   s.setColumnCount(0);
                                   s.appendRecords(placedRecords(1, 0, 4));
                               }}));

// ---- Echo lines and the log ----

struct EchoCase
{
    int columns;
    std::string_view expected;
};

void PrintTo(const EchoCase &c, std::ostream *out)
{
    *out << c.columns << " columns";
}

class EchoLine : public testing::TestWithParam<EchoCase>
{
};

TEST_P(EchoLine, ColumnsOneToTwentyEachWithAComma)
{
    const EchoCase &c = GetParam();
    const auto record = numberedRecord(c.columns);
    EXPECT_EQ(BuildEchoLine(*record, 0), c.expected);

    LogStore log;
    log.appendEchoLines(record);
    ASSERT_EQ(log.lineCount(), 1);
    EXPECT_EQ(log.lineBytes(0), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, EchoLine,
    testing::Values(
        EchoCase {1, ""}, EchoCase {2, "c1,"},
        EchoCase {20, "c1,c2,c3,c4,c5,c6,c7,c8,c9,c10,c11,c12,c13,c14,c15,c16,c17,c18,c19,"},
        EchoCase {21, "c1,c2,c3,c4,c5,c6,c7,c8,c9,c10,c11,c12,c13,c14,c15,c16,c17,c18,c19,c20,"},
        EchoCase {22, "c1,c2,c3,c4,c5,c6,c7,c8,c9,c10,c11,c12,c13,c14,c15,c16,c17,c18,c19,c20,"},
        EchoCase {30, "c1,c2,c3,c4,c5,c6,c7,c8,c9,c10,c11,c12,c13,c14,c15,c16,c17,c18,c19,c20,"}),
    [](const testing::TestParamInfo<EchoCase> &info) {
        return "columns" + std::to_string(info.param.columns);
    });

TEST(EchoLine, NullAndNonAsciiFieldsUnquoted)
{
    const char *fields[] = {"1", nullptr, "Z\xc3\xbcrich", "", "a,b"};
    const unsigned long lengths[] = {1, 0, 7, 0, 3};
    RecordBatchBuilder builder(5);
    builder.appendRecord(fields, lengths);
    const auto batch = builder.finish();

    EXPECT_EQ(BuildEchoLine(*batch, 0), ",Z\xc3\xbcrich,,a,b,"s);
    LogStore log;
    log.appendEchoLines(batch);
    EXPECT_EQ(log.line(0), QStringLiteral(",Zürich,,a,b,"));
}

TEST(LogStore, PlainAndEchoLinesInOrder)
{
    LogStore log;
    log.appendLine(QStringLiteral("Starting..."));
    log.appendEchoLines(batchOf(3, {{"1", "KSWF", "85"}, {"2", "KLAS", "93"}}));
    log.appendEchoLines(batchOf(3, {}));
    log.appendEchoLines(batchOf(3, {{"3", "KVGT", ""}}));
    log.appendLine(QStringLiteral("All done!"));
    log.appendLine("Killing query 12..."sv);
    log.appendLine(QStringLiteral("Temperature 93 °F"));

    const QString expected[] = {
        QStringLiteral("Starting..."),       QStringLiteral("KSWF,85,"),
        QStringLiteral("KLAS,93,"),          QStringLiteral("KVGT,,"),
        QStringLiteral("All done!"),         QStringLiteral("Killing query 12..."),
        QStringLiteral("Temperature 93 °F"),
    };
    ASSERT_EQ(log.lineCount(), 7);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(log.line(i), expected[i]) << i;

    log.clear();
    EXPECT_EQ(log.lineCount(), 0);
    log.appendLine(QStringLiteral("Starting..."));
    ASSERT_EQ(log.lineCount(), 1);
    EXPECT_EQ(log.line(0), QStringLiteral("Starting..."));
}

// Submit SQL keeps the log of an earlier run while the grid is blanked and refilled: the earlier
// run's echo lines still show that run's records.
TEST(LogStore, EchoLinesOutliveTheGridContent)
{
    ResultStore grid(15, 20);
    LogStore log;

    {
        auto first = batchOf(3, {{"1", "KSWF", "85"}, {"2", "KSWF", "86"}});
        grid.setColumnCount(5);
        grid.appendRecords(first);
        log.appendLine(QStringLiteral("Starting..."));
        log.appendEchoLines(first);
        log.appendLine(QStringLiteral("All done!"));
    }

    grid.blank();
    auto second = batchOf(2, {{"9", "other"}, {"8", "rows"}, {"7", "here"}});
    grid.setColumnCount(4);
    grid.appendRecords(second);
    log.appendLine(QStringLiteral("Starting..."));
    log.appendEchoLines(second);
    log.appendLine(QStringLiteral("All done!"));
    grid.blank();

    const QString expected[] = {
        QStringLiteral("Starting..."), QStringLiteral("KSWF,85,"),    QStringLiteral("KSWF,86,"),
        QStringLiteral("All done!"),   QStringLiteral("Starting..."), QStringLiteral("other,"),
        QStringLiteral("rows,"),       QStringLiteral("here,"),       QStringLiteral("All done!"),
    };
    ASSERT_EQ(log.lineCount(), 9);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(log.line(i), expected[i]) << i;
}

TEST(LogStore, MemoryPerLine)
{
    // Echo lines cost nothing per line: the batch is shared with the grid.
    RecordBatchBuilder builder(25);
    for (int r = 0; r < 10000; ++r) {
        for (int column = 0; column < 25; ++column)
            builder.appendField("7.5"sv);
        builder.endRecord();
    }
    LogStore echoes;
    echoes.appendEchoLines(builder.finish());
    EXPECT_EQ(echoes.lineCount(), 10000);
    EXPECT_LE(echoes.byteCount(), 1000u);

    // Plain lines cost their text and an offset, with the buffers' spare room.
    LogStore plain;
    for (int i = 0; i < 10000; ++i)
        plain.appendLine("Killing query 12...."sv);
    EXPECT_EQ(plain.lineCount(), 10000);
    EXPECT_GE(plain.byteCount(), 200000u);
    EXPECT_LE(plain.byteCount(), 420000u);
}

} // namespace
