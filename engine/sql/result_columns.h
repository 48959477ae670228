// The layout rules of a SELECT's result table that need no open table: the unique result
// column names and the stored type of an aggregate column.
//
// Naming runs over the columns in order. Each column has a base name (its alias, its column
// name, or a generated "Sum Of X" / "Expression" text); while another column already bears
// the same name (case ignored) a counter n is tried from 1 and the name becomes base + "_n",
// the base cut so the whole stays within 30 characters. A column not yet named bears its
// alias, or its column name when it is a plain column written out; aggregates, computed
// columns and columns produced by `*` bear nothing until their turn. So `SELECT A, A` names
// A_1 and A, while `SELECT SUM(B), SUM(B)` names Sum Of B and Sum Of B_1.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarry {

inline constexpr std::size_t kMaxResultNameLength = 30;

// Aggregate kinds of a result column.
namespace agg {
inline constexpr uint8_t None = 0;
inline constexpr uint8_t Sum = 1;
inline constexpr uint8_t RunSum = 2;
inline constexpr uint8_t Min = 3;
inline constexpr uint8_t Max = 4;
inline constexpr uint8_t Avg = 5;
inline constexpr uint8_t Count = 6;
}  // namespace agg

// What naming needs to know about one result column.
struct TResultNameInput {
  std::string Alias;       // explicit alias; empty when none was written
  std::string ColumnName;  // plain column, or the plain column an aggregate reads ("*" for COUNT(*))
  bool Plain = false;      // a plain column reference
  bool FromStar = false;   // produced by expanding `*` or T.*
  uint8_t Aggregate = agg::None;
};

// The result names, one per input, in order.
std::vector<std::string> AssignResultNames(const std::vector<TResultNameInput>& columns);

// The name a column starts from before uniqueness is enforced.
std::string BaseResultName(const TResultNameInput& column);

// The stored field type (field_types.h number) of an aggregate over a value of argType.
uint8_t AggregateResultType(uint8_t aggregate, uint8_t argType);

// The name of the hidden counter column of the AVG column with the given field number.
std::string AvgCounterName(int fieldNo);

}  // namespace quarry
