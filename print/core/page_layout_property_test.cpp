// Properties of the laid-out report over the large shared catalogue (36,243 videos) under
// random settings: every page has the configured number of lines, page numbers run without
// gaps up to the count the page-count code prints, and each row's cells, read back from the
// pages across and joined, give the row's values again - apart from truncations the report
// marks (the truncation symbol, or a number printed as "*").
//
// A handful of random cases run by default; PELLOMAR_SOAK=1 runs many more. Skipped when the
// shared catalogue is absent.
#include "print/core/page_builder.h"

#include "dbaccess/name_compare.h"
#include "print/core/layout_test_support.h"
#include "print/core/utf8_text.h"

#include <gtest/gtest.h>

#include <random>

using namespace gpr;
using namespace gpr::testing;

namespace {

std::string SharedCatalogue() {
  const char* dir = std::getenv("PELLOMAR_SHARED_CATALOGUE");
  return dir ? dir : "../shared/catalogue";
}

bool Soak() {
  const char* soak = std::getenv("PELLOMAR_SOAK");
  return soak && std::string(soak) == "1";
}

int Pick(std::mt19937& random, int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }
bool Coin(std::mt19937& random) { return Pick(random, 0, 1) == 1; }

TgprReportSettings RandomSettings(std::mt19937& random) {
  TgprReportSettings s;
  s.OutputDest = odTextFile;
  s.TxtCharsPageWid = Pick(random, 30, 140);
  s.LinesPerpage = Pick(random, 20, 90);
  s.PageMarginTxt = {Pick(random, 0, 4), Pick(random, 0, 3), Pick(random, 0, 4), Pick(random, 0, 3)};
  s.CellMarginTxt = {Pick(random, 0, 2), Pick(random, 0, 1), Pick(random, 0, 2), Pick(random, 0, 1)};
  s.MaxStringColWidTxt = Pick(random, 3, 40);
  s.MaxStringLines = Pick(random, 1, 4);
  const char* symbols[] = {"...", "~", ">>"};
  s.TextTruncSymbol = symbols[Pick(random, 0, 2)];
  s.AutoSizze = Coin(random) ? asAllRows : asSomeRows;
  s.MaxRowsToAutoSizze = Pick(random, 1, 300);
  s.NumFixedCols = Coin(random) ? 1 : 3;
  s.PanelsAcrossPage = Pick(random, 1, 3);
  s.StartingReportLineId = Pick(random, 1, 2000);
  s.ReportAlignment = static_cast<TgprAlignment>(Pick(random, 0, 2));
  s.IncludeOptions.Set(ioVerticalLines, Coin(random));
  s.IncludeOptions.Set(ioHorizontalLines, Coin(random));
  s.HorizLineFreq = Pick(random, 1, 5);
  s.IncludeOptions.Set(ioShareAdjBorders, Coin(random));
  s.IncludeOptions.Set(ioColumnTitles, Coin(random));
  std::string hide;
  for (const char* column : {"VideoID", "Year", "IndustryRating", "Length"})
    if (Coin(random)) hide += std::string(column) + ",";
  s.HideColumns = hide;
  if (Coin(random)) s.Memo(miPgTi).Text = "Films ^DL";
  s.Memo(miPgFtr).Text = "Page ^P of ^N";
  s.Memo(miPgFtr).MemoWidPer = 100;
  s.Memo(miPgFtr).MemoXPosPer = 0;
  return s;
}

std::u32string WithoutBlanks(std::u32string_view text) {
  std::u32string out;
  for (const char32_t c : text)
    if (c != U' ') out.push_back(c);
  return out;
}

// The line number a line-number cell shows, or -1.
long long LineNumberIn(std::u32string_view cell) {
  const std::u32string digits = WithoutBlanks(cell);
  if (digits.empty()) return -1;
  long long n = 0;
  for (const char32_t c : digits) {
    if (c == U',') continue;
    if (c < U'0' || c > U'9') return -1;
    n = n * 10 + (c - U'0');
  }
  return n;
}

// Cells read back from the pages, blanks removed and lines joined: [row][column index].
struct TReadBack {
  long long FirstLine = 1;
  std::vector<std::vector<std::u32string>> Cells;
  std::vector<int> Seen;  // how often each row's number line was read, per page across
  long long Stray = 0;    // line numbers outside the report
};

void ReadPage(const TgprPage& page, const TgprReportSettings& settings, const TgprPrintSettings& print,
              const TColsList& columns, const std::vector<int>& pageColumns, TReadBack& back) {
  const int ml = std::max(0, settings.CellMarginTxt.Left);
  for (int panel = 0; panel < print.Panels; ++panel) {
    const int x0 = print.ReportOffset + panel * print.PanelWidth;  // the left border
    const auto cellOf = [&](const std::u32string& line, const TColInfo& column) {
      const int x = x0 + column.XPos + SeparatorWidth(print, column.FirstOnPage) + ml;
      return x < static_cast<int>(line.size()) ? std::u32string_view(line).substr(static_cast<size_t>(x), column.Width)
                                               : std::u32string_view();
    };
    bool inGrid = false;
    long long row = -1;
    for (const std::string& utf8 : page.Lines) {
      const std::u32string line = DecodeUtf8(utf8);
      const char32_t border = x0 < static_cast<int>(line.size()) ? line[static_cast<size_t>(x0)] : U' ';
      if (border == U'┌' || border == U'└' || border == U'├') {
        inGrid = border != U'└';
        row = -1;
        continue;
      }
      if (!inGrid) continue;
      if (const long long n = LineNumberIn(cellOf(line, columns[0])); n >= 0) {
        row = n - back.FirstLine;
        if (row < 0 || row >= static_cast<long long>(back.Cells.size())) {
          ++back.Stray;
          row = -1;
          continue;
        }
        ++back.Seen[static_cast<size_t>(row)];
      }
      if (row < 0) continue;
      for (const int c : pageColumns) {
        if (c == 0 || (columns[c].Fixed && page.Across > 1)) continue;
        back.Cells[static_cast<size_t>(row)][static_cast<size_t>(c)] += WithoutBlanks(cellOf(line, columns[c]));
      }
    }
  }
}

// Returns whether the case could be checked.
bool CheckReport(uint32_t seed, TCatalogueResult& result) {
  std::mt19937 random(seed);
  TgprReportSettings settings = RandomSettings(random);
  TObjInfo info = result.ObjInfo(settings);
  TgprPrintSettings print;
  print.MemoDate = "10/12/2026";
  print.MemoTime = "14:05";
  TgprPageBuilder builder(settings, info, print);
  const TColsList& columns = info.Columns;
  // The read-back finds rows by their line numbers: the line-number column must be on every
  // horizontal page, which it is when it stays fixed.
  if (builder.PagesAcross() > 1 && !columns[0].Fixed) return false;

  const int count = builder.PageCount();
  EXPECT_GE(count, 1);
  EXPECT_FALSE(builder.HasPage(count + 1));
  const quarry::TClientDataSet& cds = result.DataSet();
  TReadBack back;
  back.FirstLine = settings.StartingReportLineId;
  back.Cells.assign(static_cast<size_t>(cds.RecordCount()), std::vector<std::u32string>(columns.Count()));
  back.Seen.assign(static_cast<size_t>(cds.RecordCount()), 0);
  for (int page = 1; page <= count; ++page) {
    for (int across = 1; across <= builder.PagesAcross(); ++across) {
      const TgprPage& built = builder.Page(across, page);
      EXPECT_EQ(static_cast<int>(built.Lines.size()), print.LinesPerPage) << "page " << page << "-" << across;
      for (const std::string& line : built.Lines) EXPECT_LE(CharCount(line), print.CharsPerLine);
      const std::string number =
          builder.PagesAcross() > 1 ? std::to_string(page) + "-" + std::to_string(across) : std::to_string(page);
      EXPECT_NE(built.Text().find("Page " + number + " of " + std::to_string(count)), std::string::npos)
          << "page " << number << " does not say so:\n"
          << built.Text();
      if (::testing::Test::HasFailure()) return true;
      ReadPage(built, settings, print, columns, builder.Across().Columns[static_cast<size_t>(across - 1)], back);
    }
  }

  EXPECT_EQ(back.Stray, 0);
  const std::u32string symbol = WithoutBlanks(DecodeUtf8(settings.TextTruncSymbol));
  int failures = 0, truncated = 0;
  for (int position = 0; position < cds.RecordCount() && failures < 5; ++position) {
    const long long line = settings.StartingReportLineId + position;
    if (back.Seen[static_cast<size_t>(position)] != builder.PagesAcross()) {
      ADD_FAILURE() << "line " << line << " is on " << back.Seen[static_cast<size_t>(position)] << " pages across";
      return true;
    }
    for (int c = 1; c < columns.Count(); ++c) {
      if (!columns[c].Visible) continue;
      const std::u32string& joined = back.Cells[static_cast<size_t>(position)][static_cast<size_t>(c)];
      const std::u32string expected =
          WithoutBlanks(DecodeUtf8(quarry::TrimmedView(cds.AsStringAt(position, columns[c].FieldNo))));
      if (joined == expected) continue;
      const bool marked =
          joined.size() >= symbol.size() && joined.compare(joined.size() - symbol.size(), symbol.size(), symbol) == 0 &&
          expected.compare(0, joined.size() - symbol.size(), joined, 0, joined.size() - symbol.size()) == 0;
      const bool stars = !joined.empty() && joined.find_first_not_of(U'*') == std::u32string::npos;
      if (marked || stars) {
        ++truncated;
        continue;
      }
      ++failures;
      ADD_FAILURE() << "seed " << seed << ": line " << line << " column " << columns[c].Name << " reads back as \""
                    << EncodeUtf8(joined) << "\", expected \"" << EncodeUtf8(expected) << "\"";
    }
  }
  ::testing::Test::RecordProperty("truncated_cells_" + std::to_string(seed), truncated);
  return true;
}

TEST(PageLayoutProperties, RandomSettingsOverTheSharedCatalogue) {
  auto rows = VideoRows(SharedCatalogue());
  if (rows == nullptr) GTEST_SKIP() << "no shared catalogue at " << SharedCatalogue();
  TCatalogueResult result(std::move(rows), "Title");
  ASSERT_GT(result.DataSet().RecordCount(), 30000);
  const int cases = Soak() ? 40 : 2;
  int checked = 0;
  for (uint32_t seed = 1000; checked < cases && seed < 1000 + 10 * static_cast<uint32_t>(cases); ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    if (CheckReport(seed, result)) ++checked;
    if (HasFatalFailure()) return;
  }
  EXPECT_EQ(checked, cases);
}

}  // namespace
