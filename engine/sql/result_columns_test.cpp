// Result column naming and aggregate result types.
#include "engine/sql/result_columns.h"

#include <gtest/gtest.h>

#include "engine/values/exp_token.h"

namespace quarry {
namespace {

TResultNameInput Plain(const std::string& name, bool star = false) {
  TResultNameInput c;
  c.ColumnName = name;
  c.Plain = true;
  c.FromStar = star;
  return c;
}
TResultNameInput Aggregate(uint8_t kind, const std::string& column) {
  TResultNameInput c;
  c.Aggregate = kind;
  c.ColumnName = column;
  return c;
}
TResultNameInput Computed(const std::string& alias = "") {
  TResultNameInput c;
  c.Alias = alias;
  return c;
}
TResultNameInput Aliased(TResultNameInput c, const std::string& alias) {
  c.Alias = alias;
  return c;
}

struct TNamingCase {
  const char* What;
  std::vector<TResultNameInput> Columns;
  std::vector<std::string> Names;
};

TEST(ResultColumnNames, FollowTheNamingRules) {
  const std::string long30(30, 'L');
  const std::vector<TNamingCase> cases = {
      {"two written plain columns: the first gets the suffix", {Plain("A"), Plain("A")}, {"A_1", "A"}},
      {"names differ only in case", {Plain("a"), Plain("A")}, {"a_1", "A"}},
      {"two equal aggregates: the second gets the suffix",
       {Aggregate(agg::Sum, "B"), Aggregate(agg::Sum, "B")},
       {"Sum Of B", "Sum Of B_1"}},
      {"star columns: the later one gets the suffix",
       {Plain("VIDEOID", true), Plain("TITLE", true), Plain("VIDEOID", true)},
       {"VIDEOID", "TITLE", "VIDEOID_1"}},
      {"the search's extra link column",
       {Plain("VIDEOID"), Plain("TITLE"), Plain("VIDEOID")},
       {"VIDEOID_1", "TITLE", "VIDEOID"}},
      {"aggregate prefixes",
       {Aggregate(agg::RunSum, "X"), Aggregate(agg::Min, "X"), Aggregate(agg::Max, "X"), Aggregate(agg::Avg, "X"),
        Aggregate(agg::Count, "*"), Aggregate(agg::Count, "")},
       {"Running Sum Of X", "Min Of X", "Max Of X", "Average Of X", "Count Of *", "Count Of Expr"}},
      {"computed columns", {Computed(), Computed()}, {"Expression", "Expression_1"}},
      {"an alias wins and keeps its name", {Plain("A"), Aliased(Plain("B"), "A")}, {"A_1", "A"}},
      {"an alias is cut to its last 30 characters", {Computed("xy" + long30)}, {long30}},
      {"a suffix keeps the name within 30",
       {Aliased(Plain("A"), long30), Aliased(Plain("B"), long30)},
       {std::string(28, 'L') + "_1", long30}},
      {"a suffix already taken moves on", {Plain("A"), Plain("A_1"), Plain("A")}, {"A_2", "A_1", "A"}},
  };
  for (const TNamingCase& c : cases) {
    EXPECT_EQ(AssignResultNames(c.Columns), c.Names) << c.What;
  }
}

TEST(ResultColumnNames, EveryNameIsUniqueWhateverTheMix) {
  std::vector<TResultNameInput> columns;
  for (int i = 0; i < 40; ++i) {
    switch (i % 4) {
    case 0: columns.push_back(Plain("A")); break;
    case 1: columns.push_back(Plain("A", true)); break;
    case 2: columns.push_back(Aggregate(agg::Sum, "A")); break;
    default: columns.push_back(Computed("A")); break;
    }
  }
  const auto names = AssignResultNames(columns);
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_LE(names[i].size(), kMaxResultNameLength);
    for (std::size_t j = i + 1; j < names.size(); ++j) EXPECT_NE(names[i], names[j]);
  }
}

TEST(AggregateResultTypes, WidenAsStored) {
  struct TCase {
    uint8_t Kind, Arg, Result;
  };
  const TCase cases[] = {
      {agg::Sum, vt::SmallInt, vt::Integer},  {agg::Sum, vt::Word, vt::Integer},
      {agg::Sum, vt::Integer, vt::LargeInt},  {agg::RunSum, vt::Integer, vt::LargeInt},
      {agg::Sum, vt::Float, vt::Float},       {agg::Sum, vt::Bcd, vt::Bcd},
      {agg::Avg, vt::SmallInt, vt::Float},    {agg::Avg, vt::LargeInt, vt::Float},
      {agg::Avg, vt::Date, vt::Date},         {agg::Count, vt::String, vt::Integer},
      {agg::Min, vt::SmallInt, vt::SmallInt}, {agg::Max, vt::Timestamp, vt::Timestamp},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(AggregateResultType(c.Kind, c.Arg), c.Result) << int(c.Kind) << " " << int(c.Arg);
}

}  // namespace
}  // namespace quarry
