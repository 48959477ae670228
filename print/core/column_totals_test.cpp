// Column totals: reading `ColumnTotals`, the kinds' results and the printed texts.
#include "print/core/column_totals.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace gpr;

namespace {

TColTotal TotalOver(TgprTotalKind kind, std::initializer_list<double> values) {
  TColTotal total;
  total.Kind = kind;
  for (const double v : values) AddTotalValue(total, v);
  return total;
}

TEST(TotalResult, EveryKind) {
  struct TCase {
    TgprTotalKind Kind;
    std::initializer_list<double> Values;
    std::optional<double> Result;
  };
  const TCase cases[] = {
      {tkSum, {1, 2, 3.5}, 6.5},
      {tkSum, {}, 0},
      {tkCount, {5, 5, 5}, 3},
      {tkAverage, {2, 4}, 3},
      {tkAverage, {}, 0},  // an average over no values prints 0
      {tkMin, {3, -1, 2}, -1},
      {tkMax, {3, -1, 2}, 3},
      {tkMin, {}, std::nullopt},
      {tkVarianceSample, {2, 4, 4, 4, 5, 5, 7, 9}, 32.0 / 7},
      {tkVariancePopulation, {2, 4, 4, 4, 5, 5, 7, 9}, 4},
      {tkStdDevPopulation, {2, 4, 4, 4, 5, 5, 7, 9}, 2},
      {tkStdDevSample, {7}, std::nullopt},  // one value: no sample deviation
      {tkVariancePopulation, {}, std::nullopt},
      {tkText, {1, 2}, std::nullopt},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(TotalKindName(c.Kind));
    const auto result = TotalResult(TotalOver(c.Kind, c.Values));
    ASSERT_EQ(result.has_value(), c.Result.has_value());
    if (result) {
      EXPECT_NEAR(*result, *c.Result, 1e-9);
    }
  }
}

TEST(ApplyColumnTotals, ReadsEntriesLevelsAndIgnoresUnknownOnes) {
  TColsList columns;
  TColInfo length;
  length.Name = "Length";
  length.FieldNo = 3;
  columns.Items().push_back(length);
  TColInfo title;
  title.Name = "Title";
  title.FieldNo = 1;
  columns.Items().push_back(title);
  ApplyColumnTotals(columns,
                    "length,,sum,\"%8.2F\";Length,Rating,Max,\"%d\";Nope,,Sum,\"\";Title,,Median,\"\";"
                    "Title,,Text,\"Total\";",
                    "Year,Rating");
  ASSERT_EQ(columns[0].Totals.size(), 2u);
  EXPECT_EQ(columns[0].Totals[0].Kind, tkSum);
  EXPECT_EQ(columns[0].Totals[0].Level, 0);
  EXPECT_EQ(columns[0].Totals[1].Kind, tkMax);
  EXPECT_EQ(columns[0].Totals[1].Level, 2);
  EXPECT_EQ(columns[0].TotalFormat, "%d");  // one format for all of a column's totals: the last read
  ASSERT_EQ(columns[1].Totals.size(), 1u);
  EXPECT_EQ(columns[1].Totals[0].Kind, tkText);
  EXPECT_EQ(GrandTotalText(columns[1], true), "Total");
}

TEST(GrandTotalText, FormatsWithAndWithoutFieldFormat) {
  struct TCase {
    const char* Format;
    bool FieldFormat;
    const char* Text;
  };
  const TCase cases[] = {
      {"%8.2F", true, " 1234.50"},     {"Sum: %.1F", true, "Sum: 1234.5"}, {"Sum: ", true, "Sum: 1234.5"},
      {"%m", true, "$1,234.50"},       {"%n", true, "1,234.50"},           {"Sum: %8.2F", false, "Sum: 1234.5"},
      {"no percent", false, "1234.5"}, {"%d films", true, "1235 films"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Format);
    TColInfo column;
    column.Totals.push_back(TotalOver(tkSum, {1000, 234.5}));
    column.TotalFormat = c.Format;
    EXPECT_EQ(GrandTotalText(column, c.FieldFormat), c.Text);
  }
  TColInfo none;
  none.Totals.push_back(TotalOver(tkStdDevSample, {1}));
  EXPECT_EQ(GrandTotalText(none, true), "n/a");
}

TEST(FormatTotal, UserFormatsNeverReachPrintf) {
  // Conversions printf would read arguments for are printed as they stand.
  EXPECT_EQ(FormatTotal("%s%n%x", 1), "%s%n%x");
  EXPECT_EQ(FormatTotal("100%% of %F", 2), "100% of 2.00");
  EXPECT_EQ(FormatTotal("%F and %F", 2), "2.00 and %F");
  EXPECT_EQ(FormatTotal("%999999999.999999999F", 1).size(), 200u);  // width and precision are bounded
  EXPECT_EQ(FormatTotal("%", 1), "%");
}

TEST(TotalNumberOf, StringsKeepDigitsOthersMustBeNumbers) {
  EXPECT_EQ(TotalNumberOf("1 h 45", dcString), 145);
  EXPECT_EQ(TotalNumberOf("PG-13", dcString), -13);
  EXPECT_EQ(TotalNumberOf("none", dcString), 0);
  EXPECT_EQ(TotalNumberOf("Mr. Smith", dcString), std::nullopt);  // "." alone is no number
  EXPECT_EQ(TotalNumberOf(" 42 ", dcNumeric), 42);
  EXPECT_EQ(TotalNumberOf("4x2", dcNumeric), std::nullopt);
  EXPECT_EQ(TotalNumberOf("", dcNumeric), std::nullopt);
}

}  // namespace

TEST(ColumnTotalsText, WritesBackWhatApplyColumnTotalsReads) {
  TColsList columns;
  for (const char* name : {"Year", "Length"}) {
    TColInfo column;
    column.Name = name;
    column.FieldNo = static_cast<int>(columns.Items().size());
    columns.Items().push_back(column);
  }
  const std::string text = "Length,,Sum,\"%8.2F\";Length,Rating,Max,\"%8.2F\";Year,,Count,\"\";";
  ApplyColumnTotals(columns, text, "Rating");
  EXPECT_EQ(ColumnTotalsText(columns, "Rating"), "Year,,Count,\"\";Length,,Sum,\"%8.2F\";Length,Rating,Max,\"%8.2F\";");
  SetGrandTotal(columns[1], tkAverage);
  SetGrandTotal(columns[0], tkNone);
  EXPECT_EQ(ColumnTotalsText(columns, "Rating"), "Length,,Average,\"%8.2F\";Length,Rating,Max,\"%8.2F\";");
}

TEST(FormatStringProblem, RefusesWhatCannotFormatOrBeStored) {
  for (const char* good : {"", "Total", "%F", "%-8.2n", "%% %d", "$%m"}) {
    EXPECT_FALSE(FormatStringProblem(good).has_value()) << good;
  }
  for (const char* bad : {"%", "%5", "%q", "1,000 %F", "say \"%F\""}) {
    EXPECT_TRUE(FormatStringProblem(bad).has_value()) << bad;
  }
}
