// TGroupCollector and TGroupAggregator together: rows folded per key in the order of their
// first rows, and partial groups (a collector that was flushed part-way) merging into the
// same totals as one pass over all rows.
#include "engine/sql/group_aggregates.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "engine/sql/result_columns.h"
#include "engine/storage/data/record_buffer.h"

namespace quarry {
namespace {

// KEY, COUNT(X), SUM(X), MIN(X), AVG(X) with its counter.
class GroupCollection : public ::testing::Test {
 protected:
  GroupCollection() {
    auto field = [](int no, const char* name, TFieldType type) {
      TFieldDefinition f;
      f.FieldNo = static_cast<std::uint16_t>(no);
      f.Name = name;
      f.DataType = type;
      return f;
    };
    Fields = {field(1, "KEY", TFieldType::Integer),    field(2, "CNT", TFieldType::Integer),
              field(3, "TOTAL", TFieldType::LargeInt), field(4, "LOW", TFieldType::Integer),
              field(5, "MEAN", TFieldType::Float),     field(6, "Sys__Avg__Count5", TFieldType::Integer)};
    RecordSize = AssignFieldOffsets(Fields.data(), static_cast<int>(Fields.size()));
    std::vector<TAggregateColumn> aggregates(4);
    const uint8_t kinds[] = {agg::Count, agg::Sum, agg::Min, agg::Avg};
    for (std::size_t i = 0; i < aggregates.size(); ++i) {
      aggregates[i].Kind = kinds[i];
      aggregates[i].Field = Fields[i + 1];
    }
    aggregates[3].HasCounter = true;
    aggregates[3].Counter = Fields[5];
    Aggregator = TGroupAggregator(std::move(aggregates));
  }

  // A joined row as the walk writes it: per-row aggregate values (NULL x gives NULLs and a
  // counter of 0).
  std::vector<uint8_t> Row(std::optional<int32_t> key, std::optional<int32_t> x) const {
    std::vector<uint8_t> row(static_cast<std::size_t>(RecordSize), 0);
    if (key) SetFieldInteger(row.data(), Fields[0], *key);
    else SetFieldNull(row.data(), Fields[0]);
    if (x) {
      SetFieldInteger(row.data(), Fields[1], 1);
      SetFieldLargeInt(row.data(), Fields[2], *x);
      SetFieldInteger(row.data(), Fields[3], *x);
      SetFieldFloat(row.data(), Fields[4], *x);
      SetFieldInteger(row.data(), Fields[5], 1);
    } else {
      for (std::size_t i = 1; i < 5; ++i) SetFieldNull(row.data(), Fields[i]);
      SetFieldInteger(row.data(), Fields[5], 0);
    }
    return row;
  }

  // KEY|CNT|TOTAL|LOW|MEAN of a finalised group.
  std::string Text(std::vector<uint8_t> group) const {
    Aggregator.Finalise(group.data());
    auto integer = [&](std::size_t i) {
      return IsFieldNull(group.data(), Fields[i]) ? std::string("NULL")
                                                  : std::to_string(GetFieldInteger(group.data(), Fields[i]));
    };
    const std::string total =
        IsFieldNull(group.data(), Fields[2]) ? "NULL" : std::to_string(GetFieldLargeInt(group.data(), Fields[2]));
    return integer(0) + "|" + integer(1) + "|" + total + "|" + integer(3) + "|" +
           std::to_string(GetFieldFloat(group.data(), Fields[4]));
  }

  std::vector<TFieldDefinition> Fields;
  int RecordSize = 0;
  TGroupAggregator Aggregator;
};

TEST_F(GroupCollection, FoldsRowsPerKeyInTheOrderOfTheirFirstRows) {
  TGroupCollector groups;
  groups.Begin({Fields[0]}, RecordSize, Aggregator);
  const std::vector<std::pair<std::optional<int32_t>, std::optional<int32_t>>> rows = {
      {2, 10}, {1, 5}, {1, std::nullopt}, {2, 4}, {std::nullopt, 7}, {1, 9}, {std::nullopt, std::nullopt}};
  for (const auto& [key, x] : rows) groups.Add(Row(key, x).data());
  ASSERT_EQ(groups.Count(), 3u);
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < groups.Count(); ++i)
    texts.push_back(Text(std::vector<uint8_t>(groups.Group(i), groups.Group(i) + RecordSize)));
  EXPECT_EQ(texts, (std::vector<std::string>{"2|2|14|4|7.000000", "1|2|14|5|7.000000", "NULL|1|7|7|7.000000"}));
}

TEST_F(GroupCollection, PartialGroupsMergeIntoTheTotalsOfOnePass) {
  // Rows of one key, split at every point: the second part's group added into the first's
  // (as the grouping sort merges two rows of one key) equals folding all rows at once.
  const std::vector<std::optional<int32_t>> values = {std::nullopt, 8, 3, std::nullopt, 12, 5};
  TGroupCollector whole;
  whole.Begin({Fields[0]}, RecordSize, Aggregator);
  for (const auto& x : values) whole.Add(Row(1, x).data());
  const std::string expected = Text(std::vector<uint8_t>(whole.Group(0), whole.Group(0) + RecordSize));
  for (std::size_t split = 1; split < values.size(); ++split) {
    SCOPED_TRACE(split);
    TGroupCollector first, second;
    first.Begin({Fields[0]}, RecordSize, Aggregator);
    second.Begin({Fields[0]}, RecordSize, Aggregator);
    for (std::size_t i = 0; i < values.size(); ++i) (i < split ? first : second).Add(Row(1, values[i]).data());
    std::vector<uint8_t> merged(first.Group(0), first.Group(0) + RecordSize);
    Aggregator.Accumulate(merged.data(), second.Group(0), false);
    EXPECT_EQ(Text(merged), expected);
  }
}

}  // namespace
}  // namespace quarry
