// The result grid's model: the grid's counts through runs, the header row, batch boundaries,
// the signals a view relies on (checked by QAbstractItemModelTester throughout), and output of
// runs that are no longer current.
#include "app/gridmodel.h"
#include "tests/resultrows.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<std::string> names(int count)
{
    std::vector<std::string> result;
    for (int i = 0; i < count; ++i)
        result.push_back("col" + std::to_string(i));
    return result;
}

// Records "r<k>", "<k * 10>", with a NULL third field every third record.
std::vector<std::vector<std::string>> numberedRecords(int first, int count)
{
    std::vector<std::vector<std::string>> records;
    for (int k = first; k < first + count; ++k)
        records.push_back({"r" + std::to_string(k), std::to_string(k * 10),
                           k % 3 == 0 ? std::string() : std::string("x")});
    return records;
}

// count records of the given width, field i of record k holding "<k>.<i>".
std::vector<std::vector<std::string>> recordsOfWidth(int columns, int count)
{
    std::vector<std::vector<std::string>> records;
    for (int k = 1; k <= count; ++k) {
        std::vector<std::string> record;
        for (int i = 0; i < columns; ++i)
            record.push_back(std::to_string(k) + "." + std::to_string(i));
        records.push_back(record);
    }
    return records;
}

QString text(const GridModel &model, int row, int column)
{
    return model.data(model.index(row, column), Qt::DisplayRole).toString();
}

QString header(const GridModel &model, int section)
{
    return model.headerData(section, Qt::Horizontal, Qt::DisplayRole).toString();
}

} // namespace

class TestGridModel : public QObject
{
    Q_OBJECT

private slots:
    void initialGridIsEmpty();
    void headerIsRowZero();
    void cellTexts();
    void batchesEqualOneBatch_data();
    void batchesEqualOneBatch();
    void rowCountOnlyGrows();
    void batchAcrossTheLastRow();
    void columnCountFollowsTheResult_data();
    void columnCountFollowsTheResult();
    void startRunBlanksAndKeepsCounts();
};

void TestGridModel::initialGridIsEmpty()
{
    GridModel model(15, 20);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);

    QCOMPARE(model.gridColumnCount(), 15);
    QCOMPARE(model.gridRowCount(), 20);
    QCOMPARE(model.columnCount(), 15);
    QCOMPARE(model.rowCount(), 19);
    for (int column = 0; column < 15; ++column) {
        QCOMPARE(header(model, column), QString());
        for (int row = 0; row < 19; ++row)
            QCOMPARE(text(model, row, column), QString());
    }
}

void TestGridModel::headerIsRowZero()
{
    GridModel model(15, 20);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy headerChanged(&model, &QAbstractItemModel::headerDataChanged);

    model.startRun();
    model.setResultColumns({"id", "year", "faa",
                            "temp \xc2\xb0"
                            "F"});

    QCOMPARE(model.columnCount(), 6);
    QCOMPARE(header(model, 0), QStringLiteral("id"));
    QCOMPARE(header(model, 1), QStringLiteral("year"));
    QCOMPARE(header(model, 2), QStringLiteral("faa"));
    QCOMPARE(header(model, 3), QStringLiteral("temp °F"));
    QCOMPARE(header(model, 4), QString());
    QCOMPARE(header(model, 5), QString());
    QVERIFY(!model.headerData(6, Qt::Horizontal, Qt::DisplayRole).isValid());
    QVERIFY(!headerChanged.isEmpty());
    // The records start below the header: table row 0 is grid row 1, still blank.
    QCOMPARE(text(model, 0, 0), QString());
}

void TestGridModel::cellTexts()
{
    GridModel model(15, 20);
    model.startRun();
    model.setResultColumns(names(4));
    const char *fields[] = {"Z\xc3\xbcrich", nullptr, "", "1,\"2\""};
    const unsigned long lengths[] = {7, 0, 0, 5};
    RecordBatchBuilder builder(4);
    builder.appendRecord(fields, lengths);
    model.appendRecords(builder.finish());

    QCOMPARE(text(model, 0, 0), QStringLiteral("Zürich"));
    QCOMPARE(text(model, 0, 1), QString());
    QCOMPARE(text(model, 0, 2), QString());
    QCOMPARE(text(model, 0, 3), QStringLiteral("1,\"2\""));
    QCOMPARE(text(model, 0, 4), QString());
    QCOMPARE(text(model, 0, 5), QString());
    QVERIFY(!model.data(model.index(0, 0), Qt::EditRole).isValid());
    QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
}

void TestGridModel::batchesEqualOneBatch_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("gridRows");

    QTest::newRow("one record") << 1 << 20;
    QTest::newRow("within the initial rows") << 12 << 20;
    QTest::newRow("exactly the initial rows") << 19 << 20;
    QTest::newRow("one beyond") << 20 << 20;
    QTest::newRow("many beyond") << 150 << 20;
    QTest::newRow("tiny grid") << 30 << 1;
}

void TestGridModel::batchesEqualOneBatch()
{
    QFETCH(int, records);
    QFETCH(int, gridRows);
    const auto rows = numberedRecords(1, records);

    GridModel whole(15, gridRows);
    QAbstractItemModelTester wholeTester(&whole,
                                         QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy wholeInserted(&whole, &QAbstractItemModel::rowsInserted);
    whole.startRun();
    whole.setResultColumns(names(3));
    whole.appendRecords(batchOf(3, rows));

    GridModel pieces(15, gridRows);
    QAbstractItemModelTester piecesTester(&pieces,
                                          QAbstractItemModelTester::FailureReportingMode::QtTest);
    pieces.startRun();
    pieces.setResultColumns(names(3));
    for (const auto &row : rows)
        pieces.appendRecords(batchOf(3, {row}));

    const int expectedRows = std::max(gridRows - 1, records);
    QCOMPARE(whole.rowCount(), expectedRows);
    QCOMPARE(pieces.rowCount(), expectedRows);
    QCOMPARE(whole.columnCount(), 5);
    QCOMPARE(pieces.columnCount(), 5);
    for (int column = 0; column < 5; ++column) {
        QCOMPARE(header(pieces, column), header(whole, column));
        for (int row = 0; row < expectedRows; ++row)
            QCOMPARE(text(pieces, row, column), text(whole, row, column));
    }
    // One insertion for the whole batch, when it needed rows at all.
    QCOMPARE(wholeInserted.count(), records > gridRows - 1 ? 1 : 0);

    // Spot checks against literals.
    QCOMPARE(text(whole, 0, 0), QStringLiteral("r1"));
    QCOMPARE(text(whole, 0, 1), QStringLiteral("10"));
    QCOMPARE(text(whole, 0, 2), QStringLiteral("x"));
    QCOMPARE(text(pieces, 0, 0), QStringLiteral("r1"));
    if (records >= 12) {
        QCOMPARE(text(pieces, 11, 0), QStringLiteral("r12"));
        QCOMPARE(text(pieces, 11, 1), QStringLiteral("120"));
        QCOMPARE(text(pieces, 11, 2), QString());
    }
}

// A run of 100 records, then one of 5: the grid keeps 101 rows (100 below the header), the new
// records in the first 5 and blank rows after them. The second run's rows already exist, so
// they are announced as changed, not inserted.
void TestGridModel::rowCountOnlyGrows()
{
    GridModel model(15, 20);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);

    model.startRun();
    model.setResultColumns(names(3));
    model.appendRecords(batchOf(3, numberedRecords(1, 60)));
    model.appendRecords(batchOf(3, numberedRecords(61, 40)));
    QCOMPARE(model.gridRowCount(), 101);
    QCOMPARE(text(model, 99, 0), QStringLiteral("r100"));

    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.startRun();
    model.setResultColumns(names(2));
    changed.clear();
    model.appendRecords(batchOf(2, {{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}, {"e", "5"}}));

    QCOMPARE(model.gridRowCount(), 101);
    QCOMPARE(model.rowCount(), 100);
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).value<QModelIndex>().row(), 0);
    QCOMPARE(changed.at(0).at(1).value<QModelIndex>().row(), 4);

    QCOMPARE(text(model, 0, 0), QStringLiteral("a"));
    QCOMPARE(text(model, 4, 0), QStringLiteral("e"));
    QCOMPARE(text(model, 4, 1), QStringLiteral("5"));
    for (int row = 5; row < 100; ++row) {
        for (int column = 0; column < 4; ++column)
            QCOMPARE(text(model, row, column), QString());
    }
}

// A batch that starts on existing rows and runs past the last one: the existing rows are
// announced as changed, the rest inserted, each once.
void TestGridModel::batchAcrossTheLastRow()
{
    GridModel model(15, 20);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.startRun();
    model.setResultColumns(names(3));
    model.appendRecords(batchOf(3, numberedRecords(1, 4)));

    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.appendRecords(batchOf(3, numberedRecords(5, 20)));

    QCOMPARE(model.rowCount(), 24);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).value<QModelIndex>(), model.index(4, 0));
    QCOMPARE(changed.at(0).at(1).value<QModelIndex>(), model.index(18, 4));
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(1).toInt(), 19);
    QCOMPARE(inserted.at(0).at(2).toInt(), 23);
    QCOMPARE(text(model, 3, 0), QStringLiteral("r4"));
    QCOMPARE(text(model, 4, 0), QStringLiteral("r5"));
    QCOMPARE(text(model, 18, 0), QStringLiteral("r19"));
    QCOMPARE(text(model, 19, 0), QStringLiteral("r20"));
    QCOMPARE(text(model, 23, 0), QStringLiteral("r24"));
    QCOMPARE(text(model, 23, 1), QStringLiteral("240"));
}

void TestGridModel::columnCountFollowsTheResult_data()
{
    QTest::addColumn<QList<int>>("resultColumns");
    QTest::addColumn<QList<int>>("gridColumns");

    QTest::newRow("30 then 22") << QList<int> {30, 22} << QList<int> {32, 24};
    QTest::newRow("grow from initial") << QList<int> {25} << QList<int> {27};
    QTest::newRow("shrink from initial") << QList<int> {1} << QList<int> {3};
    QTest::newRow("same as initial") << QList<int> {13, 13} << QList<int> {15, 15};
    QTest::newRow("up and down") << QList<int> {2, 40, 5} << QList<int> {4, 42, 7};
}

void TestGridModel::columnCountFollowsTheResult()
{
    QFETCH(QList<int>, resultColumns);
    QFETCH(QList<int>, gridColumns);

    GridModel model(15, 20);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (int i = 0; i < resultColumns.size(); ++i) {
        model.startRun();
        model.setResultColumns(names(resultColumns[i]));
        model.appendRecords(batchOf(resultColumns[i], recordsOfWidth(resultColumns[i], 3)));
        QCOMPARE(model.columnCount(), gridColumns[i]);
        QCOMPARE(model.gridColumnCount(), gridColumns[i]);
        QCOMPARE(header(model, 0), QStringLiteral("col0"));
        QCOMPARE(header(model, gridColumns[i] - 3),
                 QStringLiteral("col%1").arg(gridColumns[i] - 3));
        QCOMPARE(header(model, gridColumns[i] - 2), QString());
        QCOMPARE(text(model, 2, 0), QStringLiteral("3.0"));
        QCOMPARE(text(model, 2, gridColumns[i] - 3),
                 QStringLiteral("3.%1").arg(gridColumns[i] - 3));
        QCOMPARE(text(model, 2, gridColumns[i] - 2), QString());
        QCOMPARE(text(model, 2, gridColumns[i] - 1), QString());
    }
    QCOMPARE(model.gridRowCount(), 20);
}

void TestGridModel::startRunBlanksAndKeepsCounts()
{
    GridModel model(15, 20);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.startRun();
    model.setResultColumns(names(3));
    model.appendRecords(batchOf(3, numberedRecords(1, 25)));
    QCOMPARE(model.rowCount(), 25);

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy headerChanged(&model, &QAbstractItemModel::headerDataChanged);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    model.startRun();

    QCOMPARE(model.columnCount(), 5);
    QCOMPARE(model.rowCount(), 25);
    QCOMPARE(removed.count(), 0);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).value<QModelIndex>(), model.index(0, 0));
    QCOMPARE(changed.at(0).at(1).value<QModelIndex>(), model.index(24, 4));
    QCOMPARE(headerChanged.count(), 1);
    for (int column = 0; column < 5; ++column) {
        QCOMPARE(header(model, column), QString());
        for (int row = 0; row < 25; ++row)
            QCOMPARE(text(model, row, column), QString());
    }
}

QTEST_GUILESS_MAIN(TestGridModel)
#include "tst_gridmodel.moc"
