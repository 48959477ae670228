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

namespace {

// A small result set of given titles (the rest of each row fixed), for behaviours that need
// no catalogue.
std::unique_ptr<quarry::TVectorRowSource> TitleRows(const std::vector<std::string>& titles) {
  auto source = std::make_unique<quarry::TVectorRowSource>(VideoFieldDefs());
  int id = 1;
  for (const std::string& title : titles) source->AddRow({std::to_string(id++), title, "PG", "90", "1999"});
  return source;
}

struct TReport {
  TCatalogueResult Result;
  TgprReportSettings Settings = BaseSettings();
  TObjInfo Info;
  TgprPrintSettings Print = RunState();

  explicit TReport(std::unique_ptr<quarry::TVectorRowSource> rows, const char* order = "")
      : Result(std::move(rows), order) {}
  TgprPageBuilder Build() {
    Info = Result.ObjInfo(Settings);
    return TgprPageBuilder(Settings, Info, Print);
  }
};

TEST(PageBuilder, AskingForAPageReadsOnlyTheRowsItNeeds) {
  TReport report(VideoRows(kCatalogue));
  report.Info = report.Result.ObjInfo(report.Settings);
  int asked = 0;
  report.Info.Events.OnFilterRecord = [&](quarry::TClientDataSet*, int, bool&, bool&) { ++asked; };
  TgprPageBuilder builder(report.Settings, report.Info, report.Print);
  const std::string first = builder.Page(1, 1).Text();
  EXPECT_GT(asked, 40);
  EXPECT_LT(asked, 60);  // page 1 and the look-ahead row, not the 394 rows of the report

  const std::string third = builder.Page(1, 3).Text();
  const int askedForThree = asked;
  EXPECT_LT(askedForThree, 200);
  // Pages already laid out are built again from where they start, without asking again.
  for (int i = 0; i < 20; ++i) builder.Page(1, 1 + i % 3);
  EXPECT_EQ(builder.Page(1, 1).Text(), first);
  EXPECT_EQ(builder.Page(1, 3).Text(), third);
  EXPECT_EQ(asked, askedForThree);

  EXPECT_EQ(builder.PageCount(), 9);
  EXPECT_EQ(asked, 394);  // every row asked exactly once
}

TEST(PageBuilder, PageCountCodePrintsTheNumberOfPages) {
  TReport report(VideoRows(kCatalogue));
  report.Settings.Memo(miPgFtr).Text = "Page ^P of ^N";
  report.Settings.TxtCharsPageWid = 40;  // 3 pages across
  report.Settings.NumFixedCols = 3;
  TgprPageBuilder builder = report.Build();
  const int count = builder.PageCount();
  ASSERT_EQ(builder.PagesAcross(), 3);
  for (int page = 1; page <= count; ++page) {
    for (int across = 1; across <= 3; ++across) {
      const std::string expected =
          "Page " + std::to_string(page) + "-" + std::to_string(across) + " of " + std::to_string(count);
      EXPECT_THAT(builder.Page(across, page).Text(), ::testing::HasSubstr(expected));
      EXPECT_EQ(builder.Page(across, page).Lines.size(), 60u);
    }
  }
  EXPECT_FALSE(builder.HasPage(count + 1));
  EXPECT_FALSE(builder.HasPage(0));
  EXPECT_THROW(builder.Page(1, count + 1), eGprIntError);
  EXPECT_THROW(builder.Page(4, 1), eGprIntError);
}

TEST(PageBuilder, AcrossPagesPrintTheSameRowsOnTheSameLines) {
  TReport report(VideoRows(kCatalogue));
  report.Settings.TxtCharsPageWid = 40;
  report.Settings.NumFixedCols = 3;
  TgprPageBuilder builder = report.Build();
  for (int page = 1; page <= builder.PageCount(); ++page) {
    const auto& left = builder.Page(1, page).Lines;
    const std::vector<std::string> leftLines(left.begin(), left.end());
    for (int across = 2; across <= builder.PagesAcross(); ++across) {
      const auto& right = builder.Page(across, page).Lines;
      // The repeated "#" and Title columns are the first 28 characters of every part.
      for (size_t line = 0; line + 3 < leftLines.size(); ++line) {
        const std::u32string l = DecodeUtf8(leftLines[line]), r = DecodeUtf8(right[line]);
        EXPECT_EQ(l.substr(0, 27), r.substr(0, 27)) << "page " << page << "-" << across << " line " << line;
      }
    }
  }
}

TEST(PageBuilder, EmptyResultPrintsOnePageWithTitlesAndTotals) {
  TReport report(TitleRows({}));
  report.Settings.ColumnTotals = "Length,,Average,\"%F\";Year,,StdDev (Sample),\"%F\";";
  report.Settings.Memo(miPgFtr).Text = "Page ^P of ^N";
  TgprPageBuilder builder = report.Build();
  EXPECT_EQ(builder.PageCount(), 1);
  const std::string text = builder.Page(1, 1).Text();
  EXPECT_THAT(text, ::testing::HasSubstr("Title"));
  EXPECT_THAT(text, ::testing::HasSubstr("0.00"));  // an average over no values
  EXPECT_THAT(text, ::testing::HasSubstr("n/a"));   // no sample deviation
  EXPECT_THAT(text, ::testing::HasSubstr("Page 1 of 1"));
}

TEST(PageBuilder, BadLayoutsFailWithClearErrors) {
  struct TCase {
    const char* Name;
    std::function<void(TgprReportSettings&)> Adjust;
    const char* Message;
  };
  const TCase cases[] = {
      {"no visible column", [](TgprReportSettings& s) { s.HideColumns = "VideoID,Title,Year,IndustryRating,Length"; },
       "GridPrinter! Setup Error: grdcds has no visible column to print"},
      {"page narrower than a column",
       [](TgprReportSettings& s) {
         s.TxtCharsPageWid = 10;
         s.CellMarginTxt = {5, 0, 5, 0};
       },
       "GridPrinter! Setup Error: The page is too narrow for the report: 10 characters between the page margins"},
      {"page titles taller than the page",
       [](TgprReportSettings& s) {
         s.LinesPerpage = 20;
         s.Memo(miPgTi).Text = "1\r2\r3\r4\r5\r6\r7\r8\r9\r10\r11";
       },
       "GridPrinter! Setup Error: *WARNING* Report Memos are too large for page size. \r\rDecrease size of Titles & "
       "Memos or select a larger paper size.\rAnother 2 lines required."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TReport report(TitleRows({"Greed", "Wings"}));
    c.Adjust(report.Settings);
    try {
      report.Build();
      ADD_FAILURE() << "no error";
    } catch (const eGprSUError& e) {
      EXPECT_EQ(std::string(e.what()), c.Message);
    }
  }
}

TEST(PageBuilder, ClosedResultSetIsRefused) {
  TReport report(TitleRows({"Greed"}));
  report.Result.DataSet().Close();
  EXPECT_THROW(report.Build(), eGprSUError);
}

TEST(PageBuilder, RowsAndTitlesTallerThanThePageAreCutNotLoopedOn) {
  // A title that wraps onto more lines than a page has room for.
  TReport report(TitleRows({std::string(400, 'x'), "Greed", std::string(400, 'y')}));
  report.Settings.LinesPerpage = 12;
  report.Settings.MaxStringLines = 50;
  report.Settings.MaxStringColWidTxt = 5;
  report.Settings.TextTruncSymbol = ">";
  report.Settings.Memo(miRptTi).Text = std::string(30, '\r');  // taller than the first page
  TgprPageBuilder builder = report.Build();
  const int count = builder.PageCount();
  EXPECT_GE(count, 3);
  EXPECT_LE(count, 5);
  for (int page = 1; page <= count; ++page) EXPECT_EQ(builder.Page(1, page).Lines.size(), 12u);
  std::string all;
  for (int page = 1; page <= count; ++page) all += builder.Page(1, page).Text();
  EXPECT_THAT(all, ::testing::HasSubstr("Greed"));
}

TEST(PageBuilder, GroupBreakValueRepeatsWithAStarOnANewPage) {
  std::vector<std::string> titles(70, "Same");
  TReport report(TitleRows(titles));
  report.Settings.NumGrpBrkCols = 1;
  report.Settings.HideColumns = "VideoID,~Line#";
  report.Settings.GrpBrkSameValue = "=";
  std::vector<TgprGridColumn> columns = CatalogueGridColumns();
  MoveColumnFirst(columns, "Title");
  report.Info = report.Result.ObjInfo(report.Settings);
  report.Info.Columns =
      TColsList::FromGrid(columns, report.Result.DataSet(), kGridCharWidth, report.Settings.HideColumns);
  TgprPageBuilder builder(report.Settings, report.Info, report.Print);
  ASSERT_GE(builder.PageCount(), 2);
  const std::string first = builder.Page(1, 1).Text(), second = builder.Page(1, 2).Text();
  EXPECT_THAT(first, ::testing::HasSubstr("│ Same "));
  EXPECT_THAT(first, ::testing::HasSubstr("=")) << first;
  EXPECT_THAT(second, ::testing::HasSubstr("│ *Same"));
}

TEST(PageBuilder, NumbersTooWideForTheirColumnPrintStars) {
  TReport report(TitleRows({"A", "B"}));
  report.Settings.HideColumns = "Title,Year,IndustryRating,Length";
  report.Settings.AutoSizze = asGridWidths;
  report.Settings.IncludeOptions.Set(ioColumnTitles, false);
  TgprPageBuilder builder = [&] {
    report.Info = report.Result.ObjInfo(report.Settings);
    report.Info.Columns.Find("VideoID")->GridWidthChars = 1;
    report.Info.Events.OnFieldEdit = [](std::string& text, const TgprFieldInfo& info) {
      if (info.Column->Name == "VideoID") text = "123456";
    };
    return TgprPageBuilder(report.Settings, report.Info, report.Print);
  }();
  EXPECT_THAT(builder.Page(1, 1).Text(), ::testing::HasSubstr("│ 1│ *│"));
}

TEST(PageBuilder, PrinterPageShrinksTheFontUntilTheReportFits) {
  TReport report(VideoRows(kCatalogue));
  report.Settings.OutputDest = odPrinter;
  TgprPrinterPage printer;
  printer.PrintableWidth = 4400;
  printer.PrintableHeight = 6000;
  printer.MeasureFont = [](int size) { return TgprCharMetrics{size * 8, size * 10}; };
  report.Info = report.Result.ObjInfo(report.Settings);
  TgprPageBuilder builder(report.Settings, report.Info, report.Print, &printer);
  // The report is 56 characters wide: the page holds 55 at 10 points, 61 at 9.
  EXPECT_EQ(report.Print.FontSize, 9);
  EXPECT_EQ(report.Print.CharsPerLine, 61);
  EXPECT_EQ(report.Print.LinesPerPage, 66);
  EXPECT_EQ(report.Settings.LinesPerpage, 66);
  EXPECT_EQ(builder.PagesAcross(), 1);

  report.Settings.ShrinkToPage = false;
  report.Settings.ExpandToPage = true;
  report.Settings.TxtCharsPageWid = 80;
  report.Settings.HideColumns = "VideoID,Title";
  report.Info = report.Result.ObjInfo(report.Settings);
  TgprPageBuilder expanded(report.Settings, report.Info, report.Print, &printer);
  EXPECT_GT(report.Print.FontSize, 10);
  EXPECT_LE(report.Print.ReportWidth, report.Print.CharsPerLine);
}

}  // namespace
