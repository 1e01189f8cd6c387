// The statement a run executes, taken from the SQL memo's text.
#include "run/queryworker.h"

#include <gtest/gtest.h>

namespace {

struct MemoCase
{
    const char *name;
    const char *memo;
    const char *statement;
};

class StatementText : public testing::TestWithParam<MemoCase>
{
};

TEST_P(StatementText, JoinsTypedLinesWithOneBlank)
{
    EXPECT_EQ(statementFromMemoText(QString::fromUtf8(GetParam().memo)).toStdString(),
              GetParam().statement);
}

INSTANTIATE_TEST_SUITE_P(
    Memo, StatementText,
    testing::Values(MemoCase {"one_line", "SELECT 1;", "SELECT 1;"},
                    MemoCase {"two_lines", "SELECT *\nFROM upper;", "SELECT * FROM upper;"},
                    // A blank a line already ends or begins with stays besides the one added.
                    MemoCase {"blanks_kept_inside", "SELECT * \n FROM upper;",
                              "SELECT *   FROM upper;"},
                    MemoCase {"ends_trimmed", "\n\t SELECT 1; \r\n\n", "SELECT 1;"},
                    // A literal typed on one line stays whole, however the memo wraps it on screen.
                    MemoCase {"long_literal",
                              "SELECT * FROM surface WHERE metar = "
                              "'KSWF 150053Z 00000KT 10SM FEW032 25/18 A2989 RMK AO2 SLP121';",
                              "SELECT * FROM surface WHERE metar = "
                              "'KSWF 150053Z 00000KT 10SM FEW032 25/18 A2989 RMK AO2 SLP121';"},
                    MemoCase {"empty_lines_between", "SELECT 1\n\n;", "SELECT 1  ;"},
                    MemoCase {"only_blanks", " \n \n", ""}, MemoCase {"empty", "", ""},
                    MemoCase {"non_ascii", "SELECT 'Été'\nAS x;", "SELECT 'Été' AS x;"}),
    [](const testing::TestParamInfo<MemoCase> &info) { return std::string(info.param.name); });

} // namespace
