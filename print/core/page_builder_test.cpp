// The page builder over the shipped catalogue: golden pages for a table of settings, and the
// behaviours around them - lazy building, page counts, group breaks, bad input.
//
// The golden pages live in tests/gpr_pages/<case>.txt, every page of the report behind a
// "=== page <number>-<across> ===" line. PELLOMAR_UPDATE_GOLDENS=1 rewrites them; read the
// changed pages before committing them.
#include "print/core/page_builder.h"

#include "print/core/gpr_error.h"
#include "print/core/layout_test_support.h"
#include "print/core/utf8_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

using namespace gpr;
using namespace gpr::testing;

namespace {

const std::string kCatalogue = SourceDir() + "/catalogue";
const std::string kGoldenDir = SourceDir() + "/tests/gpr_pages";

// Settings every case starts from: text-file output, the grid's hidden id column not printed.
TgprReportSettings BaseSettings() {
  TgprReportSettings settings;
  settings.OutputDest = odTextFile;
  settings.HideColumns = "VideoID";
  return settings;
}

TgprPrintSettings RunState() {
  TgprPrintSettings print;
  print.MemoDate = "10/12/2026";
  print.MemoTime = "14:05";
  return print;
}

struct TGoldenCase {
  const char* Name;
  std::function<void(TgprReportSettings&)> Adjust;
  const char* Order = "";                                          // index fields of the result set
  std::function<void(std::vector<TgprGridColumn>&)> Columns = {};  // the grid's columns rearranged
  std::function<void(TObjInfo&)> Request = {};                     // events, selected rows
};

void MoveColumnFirst(std::vector<TgprGridColumn>& columns, const std::string& field) {
  auto it = std::find_if(columns.begin(), columns.end(), [&](const TgprGridColumn& c) { return c.FieldName == field; });
  std::rotate(columns.begin(), it, it + 1);
}

const std::vector<TGoldenCase>& GoldenCases() {
  static const std::vector<TGoldenCase> cases = {
      {"defaults", [](TgprReportSettings&) {}},
      {"ascii_line_draw", [](TgprReportSettings& s) { s.OutputQuality = oqAsciiLineDraw; }},
      {"no_rules",
       [](TgprReportSettings& s) {
         s.IncludeOptions.Set(ioBorders, false);
         s.IncludeOptions.Set(ioVerticalLines, false);
       }},
      {"own_title_rule", [](TgprReportSettings& s) { s.IncludeOptions.Set(ioShareAdjBorders, false); }, "Title"},
      {"horizontal_lines_every_2",
       [](TgprReportSettings& s) {
         s.IncludeOptions.Set(ioHorizontalLines, true);
         s.HorizLineFreq = 2;
         s.OutputQuality = oqAsciiLineDraw;
       },
       "Year;Title"},
      {"group_break_rating",
       [](TgprReportSettings& s) {
         s.NumGrpBrkCols = 1;
         s.IncludeOptions.Set(ioGrpBrkLines, true);
         s.HideColumns = "VideoID,~Line#";
       },
       "IndustryRating;Year", [](std::vector<TgprGridColumn>& c) { MoveColumnFirst(c, "IndustryRating"); }},
      {"group_break_two_levels",
       [](TgprReportSettings& s) {
         s.NumGrpBrkCols = 2;
         s.GrpBrkSameValue = "\"";
         s.AdjGrpBrkLines = 1;
         s.IncludeOptions.Set(ioGrpBrkLines, true);
       },
       "IndustryRating;Year;Title",
       [](std::vector<TgprGridColumn>& c) {
         MoveColumnFirst(c, "Year");
         MoveColumnFirst(c, "IndustryRating");
       }},
      {"wrap_three_lines_truncated",
       [](TgprReportSettings& s) {
         s.MaxStringColWidTxt = 12;
         s.MaxStringLines = 3;
         s.TextTruncSymbol = "~>";
       },
       "Title"},
      {"one_line_cut",
       [](TgprReportSettings& s) {
         s.MaxStringLines = 1;
         s.TextTruncSymbol = "...";
       },
       "Length;Title"},
      {"pages_across_fixed_title",
       [](TgprReportSettings& s) {
         s.TxtCharsPageWid = 40;
         s.NumFixedCols = 3;  // "~Line#", the hidden VideoID and Title
       }},
      {"pages_across_no_fixed",
       [](TgprReportSettings& s) {
         s.TxtCharsPageWid = 30;
         s.NumFixedCols = 0;
         s.HideColumns = "~Line#";
       },
       "VideoID"},
      {"wide_column_narrowed",
       [](TgprReportSettings& s) {
         s.TxtCharsPageWid = 32;
         s.MaxStringColWidTxt = 60;
         s.MaxStringLines = 1;
         s.NumFixedCols = 0;
         s.TextTruncSymbol = "*";
       },
       "Title"},
      {"totals",
       [](TgprReportSettings& s) {
         s.ColumnTotals =
             "Title,,Text,\"Totals|all films\";Year,,Average,\"%6.1F\";IndustryRating,,Count,\"\";"
             "Length,,Sum,\"%8.0F min\";Length,Rating,Max,\"%d\";";
         s.GroupColumns = "Rating";
       }},
      {"totals_field_format_off",
       [](TgprReportSettings& s) {
         s.IncludeOptions.Set(ioFieldFormat, false);
         s.ColumnTotals = "Year,,Min,\"first %d\";Length,,StdDev (Sample),\"sd %8.2F\";";
       }},
      {"titles_and_memos",
       [](TgprReportSettings& s) {
         s.Memo(miRptTi).Text = "Pellomar Catalogue";
         s.Memo(miRptTi).MemoMarginTxt = {0, 1, 0, 1};
         s.Memo(miRptHdr).Text = "Every film of the catalogue,\rby title";
         s.Memo(miRptHdr).MemoAlignment = gaLeft;
         s.Memo(miPgTi).Text = "^DL Films ^TR";
         s.Memo(miPgHdr).Text = "Printed for the lead";
         s.Memo(miPgHdr).MemoAlignment = gaRight;
         s.Memo(miPgFtr).Text = "Page ^P of ^N";
         s.Memo(miRptFtr).Text = "End of report";
         s.MemoPageFormatStr = "No.";
       },
       "Title"},
      {"newspaper_panels",
       [](TgprReportSettings& s) {
         s.PanelsAcrossPage = 2;
         s.InterPanelGapTxt = 2;
         s.HideColumns = "VideoID,Title";
       },
       "Year;IndustryRating"},
      {"selected_rows",
       [](TgprReportSettings& s) {
         s.PrintWhat = pwSelectedRows;
         s.StartingReportLineId = 9995;
       },
       "",
       {},
       [](TObjInfo& info) { info.SelectedRows = {3, 17, 42, 99, 100, 101, 250, 394, 395, 9999}; }},
      {"filtered_then_terminated",
       [](TgprReportSettings&) {},
       "",
       {},
       [](TObjInfo& info) {
         quarry::TClientDataSet* cds = info.DataSet;
         info.Events.OnFilterRecord = [cds](quarry::TClientDataSet*, int row, bool& accept, bool& terminate) {
           accept = cds->AsStringAt(row - 1, 2) == "R";
           terminate = row > 300;
         };
       }},
      {"cell_margins",
       [](TgprReportSettings& s) {
         s.CellMarginTxt = {2, 1, 1, 1};
         s.LinesPerpage = 40;
       },
       "Title"},
      {"left_report_right_titles",
       [](TgprReportSettings& s) {
         s.ReportAlignment = gaLeft;
         s.ColTitleAlignment = gaRight;
         s.PageMarginTxt = {3, 2, 3, 2};
         s.IncludeOptions.Set(ioColumnTotals, true);
         s.ColumnTotals = "~Line#,,Count,\"%d\";";
       }},
      {"grid_widths",
       [](TgprReportSettings& s) {
         s.AutoSizze = asGridWidths;
         s.TxtCharsPageWid = 100;
         s.ShrinkToPage = false;
       }},
      {"no_column_titles",
       [](TgprReportSettings& s) {
         s.IncludeOptions.Set(ioColumnTitles, false);
         s.LinesPerpage = 20;
         s.Memo(miPgNum).Text = "^PR";
       },
       "Length"},
  };
  return cases;
}

std::string GoldenText(TgprPageBuilder& builder) {
  std::string text;
  for (int page = 1; builder.HasPage(page); ++page) {
    for (int across = 1; across <= builder.PagesAcross(); ++across) {
      text += "=== page " + std::to_string(page) + "-" + std::to_string(across) + " ===\n";
      text += builder.Page(across, page).Text();
    }
  }
  return text;
}

std::map<std::string, std::string> SplitPages(const std::string& text) {
  std::map<std::string, std::string> pages;
  std::string current;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    if (line.rfind("=== page ", 0) == 0) {
      current = line;
      pages[current];
    } else {
      pages[current] += line + "\n";
    }
    pos = end + 1;
  }
  return pages;
}

class GoldenPages : public ::testing::TestWithParam<TGoldenCase> {};

TEST_P(GoldenPages, EveryPageMatchesItsGolden) {
  const TGoldenCase& c = GetParam();
  auto rows = VideoRows(kCatalogue);
  ASSERT_NE(rows, nullptr) << "the shipped catalogue is missing under " << kCatalogue;
  TCatalogueResult result(std::move(rows), c.Order);
  TgprReportSettings settings = BaseSettings();
  c.Adjust(settings);
  std::vector<TgprGridColumn> gridColumns = CatalogueGridColumns();
  if (c.Columns) c.Columns(gridColumns);
  TObjInfo info = result.ObjInfo(settings);
  info.Columns = TColsList::FromGrid(gridColumns, result.DataSet(), kGridCharWidth, settings.HideColumns);
  if (c.Request) c.Request(info);
  TgprPrintSettings print = RunState();
  TgprPageBuilder builder(settings, info, print);
  const std::string actual = GoldenText(builder);

  const std::string path = kGoldenDir + "/" + c.Name + ".txt";
  if (const char* update = std::getenv("PELLOMAR_UPDATE_GOLDENS"); update && std::string(update) == "1") {
    std::filesystem::create_directories(kGoldenDir);
    std::ofstream(path, std::ios::binary) << actual;
  }
  const std::string expected = ReadFile(path);
  ASSERT_FALSE(expected.empty()) << "no golden pages at " << path;
  const auto expectedPages = SplitPages(expected);
  const auto actualPages = SplitPages(actual);
  for (const auto& [page, text] : expectedPages) {
    const auto found = actualPages.find(page);
    ASSERT_NE(found, actualPages.end()) << page << " is missing";
    EXPECT_EQ(found->second, text) << c.Name << ": " << page;
  }
  EXPECT_EQ(actualPages.size(), expectedPages.size()) << c.Name << ": page count";
}

INSTANTIATE_TEST_SUITE_P(Catalogue, GoldenPages, ::testing::ValuesIn(GoldenCases()),
                         [](const ::testing::TestParamInfo<TGoldenCase>& info) {
                           return std::string(info.param.Name);
                         });

}  // namespace
