// TSelectFilters: the single-table conditions of one SELECT execution that become filters
// on their tables' cursors, where the filter optimiser can answer them from indexes, and
// the plan text that tells how each table is read.
//
// How SELECT divides the work: the access path (access_path.h) keeps the condition it
// builds its index range from (an equality, an interval or IN's sub-select values on an
// index's leading field, with constants or with the outer row's values); every other AND part that reads one table
// alone, and that the optimiser rates partial or full, is installed as a filter on that
// table's cursor, so its rows are counted and walked through the cursor's visible records
// and never tested again per row. Parts it cannot serve stay per-row tests, as do the
// parts whose index keys cost more bytes to read than the records of the table's index
// range (by the optimiser's cost rule their filters would read those records anyway), and
// the parts of a table that is the inner side of a left outer join, the parts of an outer
// join's ON condition, and parts that read a sub-select, another query's columns or a
// function that needs the statement.
//
// Each execution starts by removing the filters the previous one installed.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "engine/sql/expression_preparer.h"
#include "engine/sql/select_sources.h"

namespace quarry {

class TFilter;

struct TInstalledFilter {
  TSelectSource* Source = nullptr;
  TFilter* Filter = nullptr;
  const TExpToken* Part = nullptr;  // the condition it answers
};

class TSelectFilters {
 public:
  // Removes every filter installed by the last execution.
  void Reset();
  // Installs as filters the parts of `parts` (AND parts reading `source` alone) that the
  // optimiser serves, all but those in `keep`. Their bitmaps are built at the cursor's next use:
  // inside the index range the table is read through, whose records are then the
  // candidates, unless the caller asks the cursor to build them whole (PrepareFilters).
  // rangeRecords tells the records of that range (-1 without one), asked only when a part
  // may become a filter, before the first is installed. A part whose index keys cost more to read than those records is left to the per-row
  // test: its filter would only read the same records once more.
  void Install(TSelectSource& source, const std::vector<const TExpToken*>& parts,
               const std::vector<const TExpToken*>& keep, const TPrepareOptions& options,
               const std::function<std::int64_t()>& rangeRecords);
  bool Installed(const TExpToken* part) const { return parts_.count(part) != 0; }
  const std::vector<TInstalledFilter>& Filters() const { return filters_; }

 private:
  std::vector<TInstalledFilter> filters_;
  std::set<const TExpToken*> parts_;
};

// A condition tree as text (for the plan text): columns with their correlation, constants
// as written, operators between their operands.
std::string ConditionText(const TExpToken& n);

}  // namespace quarry
