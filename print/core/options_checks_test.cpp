// The report options' checks: the range message of each kind of field, fields checked only
// when shown, and the checks across fields in their order.
#include "print/core/options_checks.h"

#include <gtest/gtest.h>

namespace gpr {
namespace {

TObjInfo TwoColumns() {
  TObjInfo info;
  info.Columns = TColsList::FromFields(
      {{"Title", quarry::TDataFieldType::ftString, 40}, {"Year", quarry::TDataFieldType::ftString, 4}}, "");
  return info;
}

struct TRangeCase {
  const char* Key;
  long long Value;
  const char* Message;  // "" when in range
};

class RangeMessages : public ::testing::TestWithParam<TRangeCase> {};

TEST_P(RangeMessages, SayNameBoundsAndUnit) {
  const TRangeCase& c = GetParam();
  const TgprNumericField* field = FindNumericField(c.Key);
  ASSERT_NE(field, nullptr);
  const auto message = CheckRange(*field, c.Value, 3);
  EXPECT_EQ(message.value_or(""), c.Message);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, RangeMessages,
    ::testing::Values(TRangeCase{"LinesPerpage", 5, "Lines Per Page must be between 10 and 999 characters"},
                      TRangeCase{"LinesPerpage", 10, ""}, TRangeCase{"LinesPerpage", 999, ""},
                      TRangeCase{"LinesPerpage", 1000, "Lines Per Page must be between 10 and 999 characters"},
                      TRangeCase{"TxtCharsPageWid", 9,
                                 "Text Page Width is invalid must be between 10 and 9999 text characters"},
                      TRangeCase{"PanelsAcrossPage", 11, "Panels Across Page must be between 1 and 10 "},
                      TRangeCase{"VertHtAdjPer", 49, "Vertical Height Adjustment must be between 50 and 200 %"},
                      TRangeCase{"RcdEstimate", 8, "Record Estimate must be between 9 and 2147483647 records"},
                      TRangeCase{"CellLeft", 26, "Cell Left Margin must be between 0 and 25 characters"},
                      TRangeCase{"MemoWidPer", 9, "Report Memo Width must be between 10 and 100 %"},
                      // The maximum is the number of columns.
                      TRangeCase{"NumGrpBrkCols", 4, "Number of Group Break Columns must be between 0 and 3 columns"},
                      TRangeCase{"NumGrpBrkCols", 3, ""},
                      // No upper limit: only the minimum counts.
                      TRangeCase{"MaxStringLines", 5000, ""},
                      TRangeCase{"MaxStringLines", 0, "Max # of String Lines must be at least 1 lines"},
                      // No range at all.
                      TRangeCase{"StartingReportLineId", 123456, ""}));

TEST(OptionsChecks, HiddenFieldsAreNotChecked) {
  TgprReportSettings settings;
  const TObjInfo info = TwoColumns();
  settings.OutputDest = odTextFile;
  settings.VertHtAdjPer = 10;       // printer only
  settings.GrpBrkOutdentChars = 9;  // group breaks only
  EXPECT_TRUE(CheckAllOptions(settings, info, {}).empty());
  settings.OutputDest = odPrinter;
  const auto issues = CheckAllOptions(settings, info, {});
  ASSERT_EQ(issues.size(), 1u);
  EXPECT_EQ(issues[0].Focus, "VertHtAdjPer");
}

struct TAcrossCase {
  const char* Name;
  std::function<void(TgprReportSettings&, TObjInfo&, TgprCheckContext&)> Change;
  const char* Message;
  bool Note;
};

TEST(OptionsChecks, AcrossFields) {
  const TAcrossCase cases[] = {
      {"margins too large",
       [](auto& s, auto&, auto&) { s.LinesPerpage = 10, s.PageMarginTxt.Top = 3, s.PageMarginTxt.Bottom = 3; },
       "Page Top Margin + Bottom Margin are too large for page length", false},
      {"truncation symbol", [](auto& s, auto&, auto&) { s.TextTruncSymbol = "...."; },
       "Text Truncation Symbol cannot exceed 3 characters", false},
      {"font name", [](auto& s, auto&, auto&) { s.TextFontName.clear(); }, "Font Name is missing", false},
      {"no column",
       [](auto&, auto& o, auto&) {
         for (auto& c : o.Columns.Items()) c.Visible = false;
       },
       "No columns are visible.", false},
      {"reversed range",
       [](auto& s, auto&, auto&) {
         s.PrintWhat = pwPageRange, s.PageRangeFrom = {0, 2}, s.PageRangeTo = {0, 1};
       },
       "\"From Page#\" must be less than or equal \"To Page#\"", false},
      {"printer name",
       [](auto& s, auto&, auto& c) { s.DefaultPrinter = false, s.PrinterName = "Gone", c.Printers = {"Laser"}; },
       "Printer Name is invalid. Please choose a different printer.", false},
      {"memo too wide", [](auto& s, auto&, auto&) { s.Memo(miPgTi).MemoXPosPer = 30, s.Memo(miPgTi).MemoWidPer = 80; },
       "Report memo's \"Left Margin\" + \"Memo Width\" must be <= 100%", false},
      {"missing directory", [](auto& s, auto&, auto& c) { s.OutputDest = odTextFile, c.DirectoryExists = false; },
       "Directory does not exist for output file. Use Browse button to create directory.", false},
      {"delimiter is the quote",
       [](auto& s, auto&, auto&) { s.OutputDest = odExport, s.ExportFieldDelim = s.ExportQuote; },
       "Export Field Delimeter and Export Quote fields cannot have the same value", false},
      {"wide page, centred", [](auto& s, auto&, auto&) { s.TxtCharsPageWid = 300, s.ReportAlignment = gaCenter; },
       "Note: Page Width may be too wide for Report Alignment", true},
  };
  for (const TAcrossCase& c : cases) {
    TgprReportSettings settings;
    TObjInfo info = TwoColumns();
    TgprCheckContext context;
    c.Change(settings, info, context);
    const auto issues = CheckAllOptions(settings, info, context);
    ASSERT_FALSE(issues.empty()) << c.Name;
    EXPECT_EQ(issues.back().Message, c.Message) << c.Name;
    EXPECT_EQ(issues.back().Note, c.Note) << c.Name;
    EXPECT_EQ(HasError(issues), !c.Note) << c.Name;
  }
}

TEST(OptionsChecks, FixedColumnsOutOfRangeAreSetSilently) {
  TgprReportSettings settings;
  const TObjInfo info = TwoColumns();
  for (const int fixed : {-1, 7}) {
    settings.NumFixedCols = fixed;
    EXPECT_TRUE(CheckAllOptions(settings, info, {}).empty());
    EXPECT_EQ(settings.NumFixedCols, info.Columns.Count() - 1);
  }
}

}  // namespace
}  // namespace gpr
