// Tests of how a cursor reaches the expression engine of its filters: without an installed
// engine an expression filter is refused with QUARRY_NOTINITIALIZED and the cursor stays as it
// was (callback filters need no engine); with one, the cursor hands the filter text, the
// columns to check against and the checked tree to it, refuses a tree the check leaves
// non-boolean, and shows exactly the records the engine's evaluator accepts.
#include "engine/storage/cursor/filter_expression_engine.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/storage/cursor/cursor_filter.h"
#include "engine/storage/cursor/cursor_test_util.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/errors/engine_error.h"
#include "engine/values/exp_token.h"

namespace quarry {
namespace {

using testing::CodeOf;
using testing::TFilm;

// An engine for texts of the form "YEAR<n": the evaluator accepts records whose YEAR (field 4)
// is below n. A text "NUMBER" is checked to an integer, not a boolean.
class TYearBelowEngine : public TFilterExpressionEngine {
 public:
  TExpTree Parse(std::string_view text, TDataCursor& /*cursor*/) const override {
    ++Parsed;
    TExpTree tree = NewToken();
    tree->Text = std::string(text);
    return tree;
  }

  void Check(TExpTree& tree, const TFilterColumns& columns, TDataCursor& /*cursor*/) const override {
    CheckedNames.clear();
    for (const TFieldDefinition& f : columns.Fields) CheckedNames.push_back(f.Name);
    CheckedTable = columns.TableName;
    tree->DataType = tree->Text == "NUMBER" ? vt::Integer : vt::Boolean;
  }

  std::unique_ptr<TFilterEvaluator> Prepare(const TExpToken& checked, TDataCursor& cursor,
                                            const TFilterOptions& /*options*/) const override {
    ++Prepared;
    const std::size_t at = checked.Text.find('<');
    const int limit = at == std::string::npos ? 0 : std::stoi(checked.Text.substr(at + 1));
    return std::make_unique<TYearBelow>(cursor, limit);
  }

  mutable int Parsed = 0;
  mutable int Prepared = 0;
  mutable std::vector<std::string> CheckedNames;
  mutable std::string CheckedTable;

 private:
  class TYearBelow : public TFilterEvaluator {
   public:
    TYearBelow(TDataCursor& cursor, int limit) : cursor_(cursor), limit_(limit) {}
    bool Accepts(const std::uint8_t* record) override {
      bool isNull = false;
      std::int16_t year = 0;
      cursor_.GetField(4, record, isNull, reinterpret_cast<std::uint8_t*>(&year));
      return !isNull && year < limit_;
    }

   private:
    TDataCursor& cursor_;
    int limit_;
  };
};

class FilterEngineTest : public testing::TCursorFixture {
 protected:
  ~FilterEngineTest() override { InstallFilterExpressionEngine(nullptr); }

  static std::int32_t CountBelow(const std::vector<TFilm>& model, int year) {
    return static_cast<std::int32_t>(
        std::count_if(model.begin(), model.end(), [&](const TFilm& f) { return f.Year < year; }));
  }
};

TEST_F(FilterEngineTest, WithoutAnEngineExpressionFiltersAreRefusedAndCallbacksStillWork) {
  InstallFilterExpressionEngine(nullptr);
  CreateFilms();
  auto c = OpenFilms();
  const std::vector<TFilm> model = FillFilms(*c, 300, 3);
  EXPECT_EQ(CodeOf([&] { c->AddFilter("YEAR < 1970"); }), QUARRY_NOTINITIALIZED);
  EXPECT_EQ(CodeOf([&] { c->AddFilter(NewToken()); }), QUARRY_NOTINITIALIZED);
  EXPECT_EQ(CodeOf([&] { c->AddResolvedFilter(NewToken()); }), QUARRY_NOTINITIALIZED);
  EXPECT_EQ(c->FilterCount(), 0);
  EXPECT_EQ(c->RecordCount(), static_cast<std::int32_t>(model.size()));

  c->AddFilter(
      [](TDataCursor& cursor, const std::uint8_t* record) {
        bool isNull = false;
        std::int16_t year = 0;
        cursor.GetField(4, record, isNull, reinterpret_cast<std::uint8_t*>(&year));
        return year < 1970;
      },
      nullptr);
  EXPECT_EQ(c->RecordCount(), CountBelow(model, 1970));
}

TEST_F(FilterEngineTest, TheCursorParsesChecksAndEvaluatesThroughTheInstalledEngine) {
  const TYearBelowEngine engine;
  InstallFilterExpressionEngine(&engine);
  ASSERT_EQ(InstalledFilterExpressionEngine(), &engine);
  CreateFilms();
  auto c = OpenFilms();
  const std::vector<TFilm> model = FillFilms(*c, 300, 7);

  TFilter* filter = c->AddFilter("YEAR<1975");
  EXPECT_EQ(engine.Parsed, 1);
  EXPECT_EQ(engine.Prepared, 1);
  EXPECT_EQ(engine.CheckedTable, "FILMS");
  EXPECT_EQ(engine.CheckedNames, (std::vector<std::string>{"ID", "GENRE", "TITLE", "YEAR", "RATING"}));
  EXPECT_EQ(c->RecordCount(), CountBelow(model, 1975));

  // A replaced expression is prepared anew; a resolved tree skips parsing and checking.
  TExpTree replacement = NewToken();
  replacement->Text = "YEAR<1960";
  c->SetFilterExpression(filter, std::move(replacement));
  EXPECT_EQ(engine.Prepared, 2);
  EXPECT_EQ(c->RecordCount(), CountBelow(model, 1960));
  TExpTree resolved = NewToken();
  resolved->Text = "YEAR<1955";
  c->AddResolvedFilter(std::move(resolved));
  EXPECT_EQ(engine.Parsed, 1);
  EXPECT_EQ(c->RecordCount(), CountBelow(model, 1955));

  // A check that leaves the tree non-boolean refuses the filter.
  EXPECT_EQ(CodeOf([&] { c->AddFilter("NUMBER"); }), QUARRY_INVALIDFILTER);
  EXPECT_EQ(c->FilterCount(), 2);
  c->RemoveFilter();
  EXPECT_EQ(c->RecordCount(), static_cast<std::int32_t>(model.size()));
}

}  // namespace
}  // namespace quarry
