// The printed grid as an export source: the rows, titles and totals the export reads agree
// with what printing shows - filtered, selected, group breaks replaced, totals summed.
#include "print/core/grid_export_source.h"

#include "print/core/gpr_error.h"
#include "print/core/layout_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace gpr {
namespace {

using testing::TCatalogueResult;

class GridExportSourceTest : public ::testing::Test {
 protected:
  GridExportSourceTest() : catalogue_(Rows()) {}

  // Five films; two share a year, so a break on Year repeats.
  static std::unique_ptr<quarry::TVectorRowSource> Rows() {
    auto rows = std::make_unique<quarry::TVectorRowSource>(testing::VideoFieldDefs());
    // VideoID, Title, IndustryRating, Length, Year
    rows->AddRow({"1", "Alien", "R", "117", "1979"});
    rows->AddRow({"2", "Apocalypse Now", "R", "147", "1979"});
    rows->AddRow({"3", "Amadeus", "PG", "160", "1984"});
    rows->AddRow({"4", "Heat, Again", "R", "170", "1995"});
    rows->AddRow({"5", "Brazil", "R", "142", "1985"});
    return rows;
  }

  std::vector<std::vector<std::string>> AllRows(TgprGridExportSource& source) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> cells;
    while (source.NextRow(cells)) rows.push_back(cells);
    return rows;
  }

  // The index of the visible column titled title in an exported row.
  int Column(TgprGridExportSource& source, const std::string& title) {
    const auto titles = source.TitleRows().back();
    for (size_t i = 0; i < titles.size(); ++i) {
      if (titles[i] == title) return static_cast<int>(i);
    }
    return -1;
  }

  TCatalogueResult catalogue_;
  TgprReportSettings settings_;
};

TEST_F(GridExportSourceTest, RowsAreTheGridsRowsAsPrinted) {
  TObjInfo info = catalogue_.ObjInfo(settings_);
  TgprGridExportSource source(settings_, info);
  const int title = Column(source, "Title");
  ASSERT_GE(title, 0);
  EXPECT_EQ(source.Columns().size(), source.TitleRows().back().size());
  EXPECT_TRUE(source.Columns()[static_cast<size_t>(title)].Quoted);
  const auto rows = AllRows(source);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[3][static_cast<size_t>(title)], "Heat, Again");
  EXPECT_EQ(source.RowCount(), 5);
  EXPECT_FALSE(source.TotalsRow().has_value());
}

TEST_F(GridExportSourceTest, FilterSelectionAndTermination) {
  struct TCase {
    const char* Name;
    TgprPrintWhat What;
    std::vector<int> Selected;
    int SkipRecNo;       // OnFilterRecord refuses this record (0: none)
    int TerminateRecNo;  // and ends the report at this one (0: never)
    std::vector<std::string> Titles;
  };
  const TCase cases[] = {
      {"all", pwEntireGrid, {}, 0, 0, {"Alien", "Apocalypse Now", "Amadeus", "Heat, Again", "Brazil"}},
      {"filtered", pwEntireGrid, {}, 2, 0, {"Alien", "Amadeus", "Heat, Again", "Brazil"}},
      {"terminated", pwEntireGrid, {}, 0, 4, {"Alien", "Apocalypse Now", "Amadeus"}},
      {"selected", pwSelectedRows, {2, 5}, 0, 0, {"Apocalypse Now", "Brazil"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    settings_.PrintWhat = c.What;
    TObjInfo info = catalogue_.ObjInfo(settings_);
    info.SelectedRows = c.Selected;
    info.Events.OnFilterRecord = [&c](quarry::TClientDataSet*, int recNo, bool& accept, bool& terminate) {
      accept = recNo != c.SkipRecNo;
      terminate = recNo == c.TerminateRecNo;
    };
    TgprGridExportSource source(settings_, info);
    const int title = Column(source, "Title");
    std::vector<std::string> titles;
    for (const auto& row : AllRows(source)) titles.push_back(row[static_cast<size_t>(title)]);
    EXPECT_EQ(titles, c.Titles);
  }
}

TEST_F(GridExportSourceTest, GroupBreakValuesAreReplacedAsPrinted) {
  catalogue_.DataSet().AddIndex({"year", "Year"});
  catalogue_.DataSet().SetIndexName("year");
  TgprReportSettings settings;
  settings.NumGrpBrkCols = 1;
  settings.GrpBrkSameValue = "\"";
  TObjInfo info = catalogue_.ObjInfo(settings);
  // The break columns are the first ones after the line number: move Year there.
  auto& columns = info.Columns.Items();
  const auto year = std::find_if(columns.begin(), columns.end(), [](const TColInfo& c) { return c.Name == "Year"; });
  ASSERT_NE(year, columns.end());
  std::iter_swap(columns.begin() + 1, year);
  TgprGridExportSource source(settings, info);
  const int yearColumn = Column(source, "Year");
  std::vector<std::string> years;
  for (const auto& row : AllRows(source)) years.push_back(row[static_cast<size_t>(yearColumn)]);
  EXPECT_EQ(years, (std::vector<std::string>{"1979", "\"", "1984", "1985", "1995"}));
}

TEST_F(GridExportSourceTest, GrandTotalsFollowTheRowsRead) {
  settings_.ColumnTotals = "Length,,Sum,\"\";";
  TObjInfo info = catalogue_.ObjInfo(settings_);
  TgprGridExportSource source(settings_, info);
  const int length = Column(source, "Running time");
  ASSERT_GE(length, 0);
  AllRows(source);
  const auto totals = source.TotalsRow();
  ASSERT_TRUE(totals.has_value());
  EXPECT_EQ((*totals)[static_cast<size_t>(length)], "736");
}

TEST_F(GridExportSourceTest, NoVisibleColumnIsRefused) {
  TObjInfo info = catalogue_.ObjInfo(settings_);
  for (TColInfo& column : info.Columns.Items()) column.Visible = false;
  EXPECT_THROW(TgprGridExportSource(settings_, info), eGprSUError);
}

}  // namespace
}  // namespace gpr
