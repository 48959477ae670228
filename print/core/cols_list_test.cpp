// The column list of a request: which grid columns become column records, in which order,
// with what widths, and which are printed.
#include "print/core/cols_list.h"

#include "dbaccess/client_data_set.h"
#include "dbaccess/vector_row_source.h"

#include <gtest/gtest.h>

namespace gpr {
namespace {

using quarry::TResultFieldKind;

class ColsListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    source_.AddRow({"1", "Alien", "R"});
    dataSet_.SetSource(&source_);
    dataSet_.Open();
  }

  quarry::TVectorRowSource source_{{{"VideoID", TResultFieldKind::Integer, 0},
                                    {"Title", TResultFieldKind::String, 60},
                                    {"IndustryRating", TResultFieldKind::String, 5}}};
  quarry::TClientDataSet dataSet_;
};

TEST_F(ColsListTest, GridColumnsInGridOrderBehindTheLineNumberColumn) {
  const std::vector<TgprGridColumn> grid = {
      {"IndustryRating", "Rating", 40, true},
      {"NoSuchField", "Ghost", 50, true},
      {"Title", "Title", 101, false},  // the grid column's own visibility is not consulted
  };
  const TColsList list = TColsList::FromGrid(grid, dataSet_, 7, "");
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list[0].Name, kGprLineNumberColumn);
  EXPECT_EQ(list[0].Title, "#");
  EXPECT_TRUE(list[0].IsLineNumber());
  EXPECT_EQ(list[0].Alignment, gaRight);
  EXPECT_EQ(list[1].Name, "IndustryRating");
  EXPECT_EQ(list[1].Title, "Rating");
  EXPECT_EQ(list[1].FieldNo, 2);
  EXPECT_EQ(list[1].FieldSize, 5);
  EXPECT_EQ(list[1].DataClass, dcString);
  EXPECT_EQ(list[1].GridWidthPixels, 40);
  EXPECT_EQ(list[1].GridWidthChars, 6);  // 40 / 7, rounded up
  EXPECT_EQ(list[2].Name, "Title");
  EXPECT_EQ(list[2].GridWidthChars, 15);
  EXPECT_EQ(list.VisibleCount(), 3);
}

TEST_F(ColsListTest, HideColumnsNamesColumnsIgnoringCaseAndBlanks) {
  const std::vector<TgprGridColumn> grid = {{"VideoID", "ID", 30, true}, {"Title", "Title", 100, true}};
  const TColsList list = TColsList::FromGrid(grid, dataSet_, 0, " videoid , ~LINE#,");
  ASSERT_EQ(list.Count(), 3);
  EXPECT_FALSE(list[0].Visible);
  EXPECT_FALSE(list[1].Visible);
  EXPECT_TRUE(list[2].Visible);
  EXPECT_FALSE(list.LineNumberVisible());
  EXPECT_EQ(list[1].DataClass, dcNumeric);
  EXPECT_EQ(list[1].Alignment, gaRight);
  EXPECT_EQ(list[1].GridWidthChars, 30);  // a character width below 1 counts as 1
  EXPECT_EQ(list.Find("TITLE"), &list[2]);
}

TEST_F(ColsListTest, DataSetOnItsOwnGivesItsFieldsInOrder) {
  const TColsList list = TColsList::FromDataSet(dataSet_, "");
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list[1].Name, "VideoID");
  EXPECT_EQ(list[3].Title, "IndustryRating");
}

TEST(FieldTypes, PrintableTypesAndTheirClasses) {
  using quarry::TDataFieldType;
  struct TCase {
    TDataFieldType Type;
    bool Printable;
    TgprDataClass Class;
  };
  for (const TCase& c :
       {TCase{TDataFieldType::ftString, true, dcString}, TCase{TDataFieldType::ftMemo, true, dcMemo},
        TCase{TDataFieldType::ftBoolean, true, dcBoolean}, TCase{TDataFieldType::ftBCD, true, dcNumeric},
        TCase{TDataFieldType::ftDate, true, dcOther}, TCase{TDataFieldType::ftBlob, false, dcOther},
        TCase{TDataFieldType::ftBytes, false, dcOther}, TCase{TDataFieldType::ftGraphic, false, dcOther}}) {
    EXPECT_EQ(IsPrintableFieldType(c.Type), c.Printable) << static_cast<int>(c.Type);
    EXPECT_EQ(DataClassOf(c.Type), c.Class) << static_cast<int>(c.Type);
  }
}

TEST(CommaList, TrimsAndDropsEmptyNames) {
  EXPECT_EQ(SplitCommaList(" a, b ,,c,"), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_TRUE(SplitCommaList("").empty());
}

}  // namespace
}  // namespace gpr
