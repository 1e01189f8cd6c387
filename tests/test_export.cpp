// The result grid as CSV and clipboard text, the CSV file name rule and the file write. Expected
// texts are literals; a line the grid repeats is written once and repeated.
#include "export/csvfile.h"
#include "export/gridselection.h"
#include "export/gridtext.h"
#include "store/resultstore.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::string_literals;

namespace {

using Records = std::vector<std::vector<std::string>>;

std::string repeated(const std::string &line, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i)
        text += line;
    return text;
}

// What a run leaves in the grid: the names in row 0, two empty columns after them, the records
// from row 1 on; rows of an earlier, longer result stay, blank.
void run(ResultStore &grid, const std::vector<std::string> &names, const Records &records)
{
    const int columns = static_cast<int>(names.size());
    grid.blank();
    grid.setColumnCount(columns + 2);
    grid.setHeader(names);
    RecordBatchBuilder builder(columns);
    for (const auto &record : records) {
        for (const std::string &field : record)
            builder.appendField(field);
        builder.endRecord();
    }
    grid.appendRecords(builder.finish());
}

ResultStore afterRun(const std::vector<std::string> &names, const Records &records)
{
    ResultStore grid(15, 20);
    run(grid, names, records);
    return grid;
}

std::string text(const QByteArray &bytes)
{
    return bytes.toStdString();
}

// Test cases are named by their name field.
#define NAMED_BY_NAME(Case)                                                                        \
    void PrintTo(const Case &c, std::ostream *out)                                                 \
    {                                                                                              \
        *out << c.name;                                                                            \
    }

// ---- Whole texts ----

struct GridCase
{
    const char *name;
    std::function<ResultStore()> grid;
    std::string csv, comma, space;
};
NAMED_BY_NAME(GridCase)

class GridTexts : public testing::TestWithParam<GridCase>
{
};

TEST_P(GridTexts, CSVAndBothClipboardTexts)
{
    const ResultStore grid = GetParam().grid();
    EXPECT_EQ(text(BuildCSVText(grid)), GetParam().csv);
    EXPECT_EQ(text(BuildClipboardText(grid, ClipboardMode::CommaDelimited)), GetParam().comma);
    EXPECT_EQ(text(BuildClipboardText(grid, ClipboardMode::SpaceAligned)), GetParam().space);
}

// The CSV text made in pieces: joined, the same text; each piece whole lines, and all but the
// last at least the piece size.
TEST_P(GridTexts, CSVInPiecesJoinsToTheSameText)
{
    const ResultStore grid = GetParam().grid();
    for (const std::size_t pieceBytes : {1, 16, 100, 1 << 20}) {
        std::vector<std::string> pieces;
        WriteCSVPieces(
            grid, [&](std::string_view piece) { pieces.emplace_back(piece); }, pieceBytes);
        std::string joined;
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            joined += pieces[i];
            EXPECT_TRUE(pieces[i].ends_with("\r\n")) << "piece " << i << " of " << pieceBytes;
            if (i + 1 < pieces.size()) {
                EXPECT_GE(pieces[i].size(), pieceBytes) << "piece " << i;
            }
        }
        EXPECT_EQ(joined, GetParam().csv) << "pieces of " << pieceBytes;
    }
}

const std::string pad200(200, ' ');

INSTANTIATE_TEST_SUITE_P(
    Grids, GridTexts,
    testing::Values(
        GridCase {"before any query", [] { return ResultStore(15, 20); },
                  repeated(",,,,,,,,,,,,,,\r\n", 20), repeated(",,,,,,,,,,,,,\r\n", 20),
                  repeated("             \r\n", 20)},
        GridCase {
            "the CSV worked example",
            [] {
                return afterRun({"id", "stamp"}, {{"7", "1985-03-01"}, {"8", "1985-03-02 12:00"}});
            },
            "id,stamp,,\r\n7,1985-03-01,,\r\n8,\"1985-03-02 12:00\",,\r\n"
                + repeated(",,,\r\n", 17),
            "id,stamp,\r\n7,1985-03-01,\r\n8,1985-03-02 12:00,\r\n" + repeated(",,\r\n", 17),
            "id stamp            \r\n7  1985-03-01       \r\n8  1985-03-02 12:00 \r\n"
                + repeated("                    \r\n", 17)},
        GridCase {"the clipboard worked example",
                  [] {
                      return afterRun({"id", "value"}, {{"7", "12.5"}, {"123", "x"}});
                  },
                  "id,value,,\r\n7,12.5,,\r\n123,x,,\r\n" + repeated(",,,\r\n", 17),
                  "id,value,\r\n7,12.5,\r\n123,x,\r\n" + repeated(",,\r\n", 17),
                  "id  value \r\n7   12.5  \r\n123 x     \r\n" + repeated("          \r\n", 17)},
        GridCase {
            "30 records, then 5: the rows stay",
            [] {
                ResultStore grid(15, 20);
                Records first;
                for (int i = 1; i <= 30; ++i)
                    first.push_back({"earlier record " + std::to_string(i), "wider"});
                run(grid, {"n", "v"}, first);
                run(grid, {"n", "v"},
                    {{"1", "v1"}, {"2", "v2"}, {"3", "v3"}, {"4", "v4"}, {"5", "v5"}});
                return grid;
            },
            "n,v,,\r\n1,v1,,\r\n2,v2,,\r\n3,v3,,\r\n4,v4,,\r\n5,v5,,\r\n" + repeated(",,,\r\n", 25),
            "n,v,\r\n1,v1,\r\n2,v2,\r\n3,v3,\r\n4,v4,\r\n5,v5,\r\n" + repeated(",,\r\n", 25),
            "n v  \r\n1 v1 \r\n2 v2 \r\n3 v3 \r\n4 v4 \r\n5 v5 \r\n" + repeated("     \r\n", 25)},
        GridCase {
            "a 250-character column: pads stop at 200",
            [] {
                return afterRun({"long", "b"}, {{std::string(250, 'w'), "x"}, {"0123456789", "y"}});
            },
            "long,b,,\r\n" + std::string(250, 'w') + ",x,,\r\n0123456789,y,,\r\n"
                + repeated(",,,\r\n", 17),
            "long,b,\r\n" + std::string(250, 'w') + ",x,\r\n0123456789,y,\r\n"
                + repeated(",,\r\n", 17),
            "long" + pad200 + "b \r\n" + std::string(250, 'w') + " x \r\n0123456789" + pad200
                + "y \r\n" + repeated(pad200 + "  \r\n", 17)},
        GridCase {"columns narrower than their names",
                  [] {
                      return afterRun({"temperature", "id"}, {{"7", "1"}, {"12.5", "22"}});
                  },
                  "temperature,id,,\r\n7,1,,\r\n12.5,22,,\r\n" + repeated(",,,\r\n", 17),
                  "temperature,id,\r\n7,1,\r\n12.5,22,\r\n" + repeated(",,\r\n", 17),
                  "temperature id \r\n7           1  \r\n12.5        22 \r\n"
                      + repeated("               \r\n", 17)},
        GridCase {"widths in characters, not bytes",
                  [] {
                      return afterRun(
                          {"city", "n"},
                          {{"Z\xc3\xbcrich", "1"}, {"Gen\xc3\xa8ve", "2"}, {"K\xc3\xb6ln", "3"}});
                  },
                  "city,n,,\r\nZ\xc3\xbcrich,1,,\r\nGen\xc3\xa8ve,2,,\r\nK\xc3\xb6ln,3,,\r\n"
                      + repeated(",,,\r\n", 16),
                  "city,n,\r\nZ\xc3\xbcrich,1,\r\nGen\xc3\xa8ve,2,\r\nK\xc3\xb6ln,3,\r\n"
                      + repeated(",,\r\n", 16),
                  "city   n \r\nZ\xc3\xbcrich 1 \r\nGen\xc3\xa8ve 2 \r\nK\xc3\xb6ln   3 \r\n"
                      + repeated("         \r\n", 16)},
        GridCase {"last character removed whole when it takes two bytes",
                  [] {
                      ResultStore grid(2, 1);
                      grid.setHeader({"a", "\xc3\xa9"});
                      return grid;
                  },
                  "a,\xc3\xa9\r\n", "a,\r\n", "a \r\n"},
        GridCase {"more than 101 columns",
                  [] {
                      std::vector<std::string> names(103, "x");
                      std::vector<std::string> record(103, "y");
                      record[102] = "abc";
                      return afterRun(names, {record});
                  },
                  repeated("x,", 103) + ",\r\n" + repeated("y,", 102) + "abc,,\r\n"
                      + repeated(repeated(",", 104) + "\r\n", 18),
                  repeated("x,", 103) + "\r\n" + repeated("y,", 102) + "abc,\r\n"
                      + repeated(repeated(",", 103) + "\r\n", 18),
                  repeated("x ", 102) + "x   \r\n" + repeated("y ", 102) + "abc \r\n"
                      + repeated(repeated(" ", 208) + "\r\n", 18)}));

// ---- One cell between two others ----

struct CellCase
{
    const char *name;
    std::string cell;
    std::string csvField;
};
NAMED_BY_NAME(CellCase)

class CellTexts : public testing::TestWithParam<CellCase>
{
};

// The CSV quotes by the quoting rule; the comma-delimited copy takes the cell as it is.
TEST_P(CellTexts, QuotedInTheFileAndCopiedUnchanged)
{
    const CellCase &c = GetParam();
    const ResultStore grid = afterRun({"a", "b", "c"}, {{"left", c.cell, "right"}});
    EXPECT_EQ(text(BuildCSVText(grid)),
              "a,b,c,,\r\nleft," + c.csvField + ",right,,\r\n" + repeated(",,,,\r\n", 18));
    EXPECT_EQ(text(BuildClipboardText(grid, ClipboardMode::CommaDelimited)),
              "a,b,c,\r\nleft," + c.cell + ",right,\r\n" + repeated(",,,\r\n", 18));
}

INSTANTIATE_TEST_SUITE_P(
    Cells, CellTexts,
    testing::Values(
        CellCase {"empty", "", ""}, CellCase {"letters digits periods minus", "-12.5e3", "-12.5e3"},
        CellCase {"space", "1985-03-02 12:00", "\"1985-03-02 12:00\""},
        CellCase {"comma", "12,5", "\"12,5\""}, CellCase {"one double quote", "\"", "\"\"\"\""},
        CellCase {"quotes inside", "say \"hi\"", "\"say \"\"hi\"\"\""},
        CellCase {"tab", "a\tb", "\"a\tb\""}, CellCase {"line break kept", "a\r\nb", "\"a\r\nb\""},
        CellCase {"code 1", "a\x01", "\"a\x01\""}, CellCase {"code 31", "\x1f", "\"\x1f\""},
        CellCase {"code 33 is no reason", "!", "!"},
        CellCase {"code 127 is no reason", "a\x7f", "a\x7f"},
        CellCase {"non-ASCII",
                  "93 \xc2\xb0"
                  "F",
                  "\"93 \xc2\xb0"
                  "F\""},
        CellCase {"non-ASCII alone", "Z\xc3\xbcrich", "Z\xc3\xbcrich"},
        CellCase {"NUL", "a\0b"s, "\"a\0b\""s}));

// ---- Selected cells ----

struct SelectionCase
{
    const char *name;
    std::vector<CellRange> blocks;
    bool withNames;
    std::string text;
};
NAMED_BY_NAME(SelectionCase)

class SelectionText : public testing::TestWithParam<SelectionCase>
{
};

// Three records whose cells hold a tab, double quotes, a line break and nothing; the grid is
// 20 rows long, so blank rows follow them.
TEST_P(SelectionText, TabSeparatedAsSpreadsheetsPasteIt)
{
    const ResultStore grid = afterRun(
        {"a", "b", "c"}, {{"1", "x\ty", "q"}, {"2", "say \"hi\"", "line\nbreak"}, {"3", "", "z"}});
    GridSelection selection;
    for (const CellRange &block : GetParam().blocks)
        selection.add(block);
    EXPECT_EQ(text(BuildSelectionText(grid, selection, GetParam().withNames)), GetParam().text);
}

constexpr int toLast = CellRange::toLastRow;
INSTANTIATE_TEST_SUITE_P(
    Blocks, SelectionText,
    testing::Values(
        SelectionCase {"ThreeRowsTwoColumns",
                       {{0, 1, 2, 2}},
                       false,
                       "\"x\ty\"\tq\n\"say \"\"hi\"\"\"\t\"line\nbreak\"\n\tz\n"},
        SelectionCase {"WithNames",
                       {{0, 1, 2, 2}},
                       true,
                       "b\tc\n\"x\ty\"\tq\n\"say \"\"hi\"\"\"\t\"line\nbreak\"\n\tz\n"},
        SelectionCase {"TwoCellsApart", {{0, 0, 0, 0}, {2, 2, 2, 2}}, false, "1\t\n\tz\n"},
        SelectionCase {"OverlappingBlocks", {{0, 0, 1, 0}, {1, 0, 2, 0}}, false, "1\n2\n3\n"},
        // A whole column runs to the grid's last row, blank rows included.
        SelectionCase {
            "WholeColumn", {{0, 0, toLast, 0}}, true, "a\n1\n2\n3\n" + repeated("\n", 16)},
        // The grid has 5 columns (two empty after the names) and 19 rows under the names.
        SelectionCase {"BeyondTheGridIsCut", {{18, 4, 40, 30}}, false, "\n"},
        SelectionCase {"Nothing", {}, true, ""}),
    testing::PrintToStringParamName());

// Random blocks added and cut out, against a table of booleans changed cell by cell: every
// cell, the cell count and the rows that hold a selected cell.
TEST(GridSelectionBlocks, AgreeWithCellByCellReference)
{
    constexpr int rows = 9, columns = 7;
    std::mt19937 random(20261208);
    const auto pick = [&](int below) {
        return static_cast<int>(random() % below);
    };
    for (int round = 0; round < 300; ++round) {
        GridSelection selection;
        std::vector<std::vector<bool>> reference(rows, std::vector<bool>(columns, false));
        for (int step = 0; step < 6; ++step) {
            CellRange block = CellRange::between(pick(rows + 2) - 1, pick(columns),
                                                 pick(rows + 2) - 1, pick(columns));
            if (pick(4) == 0)
                block.bottom = CellRange::toLastRow;
            const bool cut = pick(3) == 0;
            if (cut)
                selection.remove(block);
            else
                selection.add(block);
            for (int row = 0; row < rows; ++row) {
                for (int column = 0; column < columns; ++column) {
                    if (block.contains(row, column))
                        reference[row][column] = !cut;
                }
            }
        }
        std::int64_t count = 0;
        std::vector<bool> anyInRow(rows, false);
        for (int row = 0; row < rows; ++row) {
            for (int column = 0; column < columns; ++column) {
                ASSERT_EQ(selection.contains(row, column), reference[row][column])
                    << "round " << round << " cell " << row << "," << column;
                count += reference[row][column];
                anyInRow[row] = anyInRow[row] || reference[row][column];
            }
        }
        EXPECT_EQ(selection.cellCount(rows, columns), count) << "round " << round;
        std::vector<bool> spanned(rows, false);
        for (const IndexSpan &span : selection.rowSpans(rows)) {
            for (int row = span.first; row <= span.last; ++row)
                spanned[row] = true;
        }
        EXPECT_EQ(spanned, anyInRow) << "round " << round;
    }
}

// ---- File name ----

struct NameCase
{
    const char *name; // the path chosen
    const char *written;
};
NAMED_BY_NAME(NameCase)

class FileName : public testing::TestWithParam<NameCase>
{
};

TEST_P(FileName, CSVAppendedUnlessTheNameEndsInIt)
{
    EXPECT_EQ(CSVFilePath(QString::fromUtf8(GetParam().name)).toStdString(), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FileName,
    testing::Values(NameCase {"/data/obs", "/data/obs.csv"},
                    NameCase {"/data/obs.csv", "/data/obs.csv"},
                    NameCase {"/data/obs.CSV", "/data/obs.CSV"},
                    NameCase {"/data/obs.cSv", "/data/obs.cSv"},
                    NameCase {"/data/obs.txt", "/data/obs.txt.csv"},
                    NameCase {"/data/obs.2012.csv", "/data/obs.2012.csv"},
                    NameCase {"/data/obscsv", "/data/obscsv.csv"},
                    NameCase {"/my.data/obs.csv", "/my.data/obs.csv"},
                    NameCase {"/my.data/obs", "/my.data/obs.csv"},
                    NameCase {"/my.csv/obs", "/my.csv/obs.csv"}, NameCase {"obs", "obs.csv"},
                    NameCase {"/data/\xc3\xa9t\xc3\xa9.csv", "/data/\xc3\xa9t\xc3\xa9.csv"},
                    // The long s folds to "s" in Unicode's letter case, but is no "s".
                    NameCase {"/data/obs.c\xc5\xbfv", "/data/obs.c\xc5\xbfv.csv"}));

// ---- File write ----

std::string contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "(unreadable)"s;
}

void writeFile(const QString &path, const std::string &content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content.data(), static_cast<qint64>(content.size()));
}

// Every entry under the folder, hidden ones too, with each file's content and permission bits:
// equal snapshots mean nothing was changed, added or left behind.
std::map<std::string, std::string> snapshot(const QString &folder)
{
    std::map<std::string, std::string> entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const std::string name = QDir(folder).relativeFilePath(path).toStdString();
        struct stat status
        {
        };
        ::lstat(QFile::encodeName(path).constData(), &status);
        const std::string mode = std::to_string(status.st_mode & 07777) + " ";
        entries[name] = mode + (it.fileInfo().isFile() ? contentOf(path) : "(folder)"s);
    }
    return entries;
}

enum class Child {
    None, // in this process
    Unprivileged, // in a child process without the administrator's rights
    SmallFiles, // in a child process whose files cannot grow past 4096 bytes
    UnprivilegedSmallFiles, // both
};

struct WriteOutcome
{
    std::optional<std::string> skipped;
    std::string error; // empty when the write succeeded
};

// Writes the text, in a child process where a limit must not outlast the write; whole, or in
// pieces of the given size one after another.
WriteOutcome write(const QString &path, const std::string &content, Child how,
                   std::size_t pieceBytes = 0)
{
    const auto attempt = [&]() -> std::string {
        try {
            if (pieceBytes == 0) {
                WriteCSVFile(path, content);
            } else {
                WriteCSVFile(path, [&](const CSVTextSink &sink) {
                    for (std::size_t at = 0; at < content.size(); at += pieceBytes)
                        sink(std::string_view(content).substr(at, pieceBytes));
                });
            }
            return {};
        } catch (const ExportError &error) {
            return error.what();
        }
    };
    if (how == Child::None)
        return {std::nullopt, attempt()};

    int channel[2];
    if (::pipe(channel) != 0)
        return {"no pipe"s, {}};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        std::string report = "+";
        const bool unprivileged =
            how == Child::Unprivileged || how == Child::UnprivilegedSmallFiles;
        const bool smallFiles = how == Child::SmallFiles || how == Child::UnprivilegedSmallFiles;
        if (unprivileged && ::geteuid() == 0) {
            // The administrator writes in read-only folders; nobody does not.
            if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                report = "!this process cannot give up the administrator's rights";
        }
        if (smallFiles && report == "+") {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit {};
            ::getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = 4096;
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                report = "!this process cannot limit its file sizes";
        }
        if (report == "+")
            report += attempt();
        ssize_t ignored = ::write(channel[1], report.data(), report.size());
        (void)ignored;
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string report;
    char buffer[512];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, static_cast<std::size_t>(n));
    ::close(channel[0]);
    ::waitpid(child, nullptr, 0);
    if (report.empty())
        return {"the child process reported nothing"s, {}};
    if (report[0] == '!')
        return {report.substr(1), {}};
    return {std::nullopt, report.substr(1)};
}

class FileWrite : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(scratch.isValid());
        // Reachable by the unprivileged child too.
        QFile::setPermissions(scratch.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                  | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
                                  | QFile::ExeOther);
        folder = scratch.path();
    }

    QString at(const char *name) const { return folder + u'/' + QString::fromUtf8(name); }

    QTemporaryDir scratch;
    QString folder;
};

TEST_F(FileWrite, NewFileHoldsTheTextAndNothingElseIsLeft)
{
    ASSERT_EQ(write(at("obs.csv"), "id,stamp,,\r\n", Child::None).error, "");
    EXPECT_EQ(snapshot(folder),
              (std::map<std::string, std::string> {{"obs.csv", "420 id,stamp,,\r\n"}}));
}

// A longer old file: nothing of its tail may remain. Its permission bits stay.
TEST_F(FileWrite, ReplacesAnExistingFileWhole)
{
    writeFile(at("obs.csv"), "an older and much longer content\r\n");
    QFile::setPermissions(at("obs.csv"), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    ASSERT_EQ(write(at("obs.csv"), "7,12.5,,\r\n", Child::None).error, "");
    EXPECT_EQ(snapshot(folder),
              (std::map<std::string, std::string> {{"obs.csv", "416 7,12.5,,\r\n"}}));
}

// All of the old file's bits, the set-group-id bit too.
TEST_F(FileWrite, ReplacedFileKeepsAllItsBits)
{
    writeFile(at("obs.csv"), "old\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(at("obs.csv")).constData(), 02640), 0);
    ASSERT_EQ(write(at("obs.csv"), "new\r\n", Child::None).error, "");
    EXPECT_EQ(snapshot(folder), (std::map<std::string, std::string> {{"obs.csv", "1440 new\r\n"}}));
}

TEST_F(FileWrite, ThroughALinkTheFileItNamesIsReplaced)
{
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("real")));
    writeFile(at("real/obs.csv"), "old\r\n");
    ASSERT_TRUE(QFile::link(at("real/obs.csv"), at("link.csv")));
    ASSERT_EQ(write(at("link.csv"), "new\r\n", Child::None).error, "");
    EXPECT_TRUE(QFileInfo(at("link.csv")).isSymLink());
    EXPECT_EQ(contentOf(at("real/obs.csv")), "new\r\n");
    EXPECT_EQ(snapshot(folder).size(), 3u);
}

struct FailureCase
{
    const char *name;
    // Makes the folder's state before the write, in order: names ending in "/" are folders; each
    // gets the permission bits given.
    std::vector<std::pair<std::string, int>> entries;
    const char *target;
    Child how;
    const char *message; // %1 stands for the scratch folder
};
NAMED_BY_NAME(FailureCase)

class WriteFailure : public FileWrite, public testing::WithParamInterface<FailureCase>
{
};

// The message names the file and the reason, and the folder is as it was: an old file unchanged,
// no new file, nothing half-written.
TEST_P(WriteFailure, ReportsAndChangesNothing)
{
    const FailureCase &c = GetParam();
    for (const auto &[name, mode] : c.entries) {
        const QString path = at(name.c_str());
        if (name.back() == '/')
            ASSERT_TRUE(QDir().mkpath(path)); // again later only to change its permissions
        else
            writeFile(path, "old " + name + "\r\n");
        ::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode));
    }
    const auto before = snapshot(folder);

    // Whole, and in pieces: the disk fills up at the second of them.
    for (const std::size_t pieceBytes : {std::size_t(0), std::size_t(3000)}) {
        const WriteOutcome outcome =
            write(at(c.target), std::string(10000, 'x'), c.how, pieceBytes);
        if (outcome.skipped)
            GTEST_SKIP() << *outcome.skipped;
        EXPECT_EQ(outcome.error, QString::fromUtf8(c.message).arg(folder).toStdString())
            << "pieces of " << pieceBytes;
        EXPECT_EQ(snapshot(folder), before) << "pieces of " << pieceBytes;
    }
}

// A text made in pieces whose making fails part-way leaves the folder as it was.
TEST_F(FileWrite, FailureWhileMakingThePiecesChangesNothing)
{
    writeFile(at("obs.csv"), "old\r\n");
    const auto before = snapshot(folder);
    try {
        WriteCSVFile(at("obs.csv"), [](const CSVTextSink &sink) {
            sink(std::string(5000, 'a'));
            sink(std::string(5000, 'b'));
            throw ExportError(QStringLiteral("out of records"));
        });
        ADD_FAILURE() << "no error";
    } catch (const ExportError &error) {
        EXPECT_STREQ(error.what(), "out of records");
    }
    EXPECT_EQ(snapshot(folder), before);
}

// A grid whose text is many pieces long is saved whole, byte for byte the CSV text.
TEST_F(FileWrite, LargeGridIsSavedWhole)
{
    Records records;
    for (int r = 0; r < 100000; ++r) {
        records.push_back({std::to_string(r), r % 7 == 0 ? "-RA BR" : "KSWF", "",
                           r % 11 == 0 ? "say \"hi\"" : "12.5"});
    }
    const ResultStore grid = afterRun({"id", "icao", "gust", "wxcodes"}, records);
    const std::string expected = text(BuildCSVText(grid));
    ASSERT_GT(expected.size(), 2u << 20); // pieces of 1 MiB
    EXPECT_EQ(SaveCSVFile(grid, at("big")), at("big.csv"));
    EXPECT_EQ(contentOf(at("big.csv")), expected);
    EXPECT_EQ(snapshot(folder).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteFailure,
    testing::Values(
        FailureCase {"missing folder",
                     {},
                     "missing/obs.csv",
                     Child::None,
                     "Cannot create file \"%1/missing/obs.csv\". No such file or directory"},
        FailureCase {"folder is a file",
                     {{"plain", 0644}},
                     "plain/obs.csv",
                     Child::None,
                     "Cannot create file \"%1/plain/obs.csv\". Not a directory"},
        FailureCase {"a folder of that name",
                     {{"obs.csv/", 0755}},
                     "obs.csv",
                     Child::None,
                     "Cannot create file \"%1/obs.csv\". Is a directory"},
        FailureCase {"read-only folder",
                     {{"ro/", 0555}},
                     "ro/obs.csv",
                     Child::Unprivileged,
                     "Cannot create file \"%1/ro/obs.csv\". Permission denied"},
        FailureCase {"read-only folder, old file",
                     {{"ro/", 0755}, {"ro/obs.csv", 0644}, {"ro/", 0555}},
                     "ro/obs.csv",
                     Child::Unprivileged,
                     "Cannot create file \"%1/ro/obs.csv\". Permission denied"},
        FailureCase {"read-only old file",
                     {{"rw/", 0777}, {"rw/obs.csv", 0444}},
                     "rw/obs.csv",
                     Child::Unprivileged,
                     "Cannot create file \"%1/rw/obs.csv\". Permission denied"},
        // A new file can be made beside it, but not renamed over another's file.
        FailureCase {"shared folder, another's file",
                     {{"shared/", 01777}, {"shared/obs.csv", 0666}},
                     "shared/obs.csv",
                     Child::Unprivileged,
                     "Cannot create file \"%1/shared/obs.csv\". Operation not permitted"},
        FailureCase {"disk full part-way", {}, "obs.csv", Child::SmallFiles, "Stream write error"},
        FailureCase {"disk full part-way, old file",
                     {{"obs.csv", 0644}},
                     "obs.csv",
                     Child::SmallFiles,
                     "Stream write error"}));

// The message gives the path made absolute.
TEST_F(FileWrite, RelativePathIsReportedAbsolute)
{
    const QString working = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder));
    const WriteOutcome outcome =
        write(QStringLiteral("missing/../missing/obs.csv"), "x", Child::None);
    QDir::setCurrent(working);
    EXPECT_EQ(outcome.error,
              QStringLiteral("Cannot create file \"%1/missing/obs.csv\". No such file or directory")
                  .arg(folder)
                  .toStdString());
}

// A folder that takes no new file, holding a file that anybody may write: the file is written in
// place, as no new file can take its place.
class InPlaceWrite : public FileWrite
{
protected:
    void SetUp() override
    {
        FileWrite::SetUp();
        ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("ro")));
        writeFile(at("ro/obs.csv"), "an older and much longer content\r\n");
        ::chmod(QFile::encodeName(at("ro/obs.csv")).constData(), 0666);
        ::chmod(QFile::encodeName(at("ro")).constData(), 0555);
    }

    // The folder's entries afterwards: the file with its bits kept and the content given.
    std::map<std::string, std::string> withFile(const std::string &content) const
    {
        return {{"ro", "365 (folder)"}, {"ro/obs.csv", "438 " + content}};
    }
};

TEST_F(InPlaceWrite, TheFileHoldsTheNewTextWhole)
{
    for (const std::size_t pieceBytes : {std::size_t(0), std::size_t(3)}) {
        const WriteOutcome outcome =
            write(at("ro/obs.csv"), "7,12.5,,\r\n", Child::Unprivileged, pieceBytes);
        if (outcome.skipped)
            GTEST_SKIP() << *outcome.skipped;
        EXPECT_EQ(outcome.error, "") << "pieces of " << pieceBytes;
        EXPECT_EQ(snapshot(folder), withFile("7,12.5,,\r\n")) << "pieces of " << pieceBytes;
    }
}

// Written in place, the file has no old version to keep: a full disk leaves in it what was
// written before the disk filled up.
TEST_F(InPlaceWrite, DiskFullPartWayLeavesThePartWritten)
{
    for (const std::size_t pieceBytes : {std::size_t(0), std::size_t(3000)}) {
        const WriteOutcome outcome = write(at("ro/obs.csv"), std::string(10000, 'x'),
                                           Child::UnprivilegedSmallFiles, pieceBytes);
        if (outcome.skipped)
            GTEST_SKIP() << *outcome.skipped;
        EXPECT_EQ(outcome.error, "Stream write error") << "pieces of " << pieceBytes;
        EXPECT_EQ(snapshot(folder), withFile(std::string(4096, 'x'))) << "pieces of " << pieceBytes;
    }
}

// The chosen name without ".csv" gets it; a file of the chosen name is left alone.
TEST_F(FileWrite, SaveWritesTheGridUnderTheNameByTheRule)
{
    writeFile(at("obs"), "keep\r\n");
    const ResultStore grid = afterRun({"id"}, {{"7"}});
    EXPECT_EQ(SaveCSVFile(grid, at("obs")), at("obs.csv"));
    EXPECT_EQ(contentOf(at("obs.csv")), "id,,\r\n7,,\r\n" + repeated(",,\r\n", 18));
    EXPECT_EQ(contentOf(at("obs")), "keep\r\n");
}

} // namespace
