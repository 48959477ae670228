// TGroupAggregator: folds the aggregate columns of a SELECT's result records into one record
// per group. SortRecords calls it for GROUP BY (accumulate per record, finalise per group);
// the row walk calls it directly for a whole-table group (aggregates without GROUP BY).
//
// Every result record arrives with its per-row aggregate values already stored in the
// aggregate's type: SUM/RUNSUM/MIN/MAX the value (NULL when the argument is NULL), COUNT 1
// (NULL when its argument is NULL), AVG the value as the AVG type plus 1 in its hidden
// counter column (0 when NULL). Accumulation then combines: SUM adds, MIN/MAX keep, COUNT and
// the AVG counters add, and RUNSUM carries its total from one group to the next, so only the
// first group of an execution starts from its own first value. Finalise turns each AVG sum
// into the mean (a counter of 0 gives 0) and a NULL COUNT into 0.
//
// Not thread-safe; one aggregator per executing query.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/storage/data/field_definition.h"

namespace quarry {

struct TAggregateColumn {
  uint8_t Kind = 0;         // agg:: codes of result_columns.h
  TFieldDefinition Field;   // the result field holding the aggregate
  bool HasCounter = false;  // AVG: the hidden counter field below is used
  TFieldDefinition Counter;
};

class TGroupAggregator {
 public:
  TGroupAggregator() = default;
  explicit TGroupAggregator(std::vector<TAggregateColumn> columns);

  // A new execution: the running sums start again.
  void Reset();
  // start: groupRow holds the group's first record; otherwise record is added into groupRow.
  void Accumulate(uint8_t* groupRow, const uint8_t* record, bool start);
  void Finalise(uint8_t* groupRow) const;
  // The empty group of a whole-table aggregate over no rows: every aggregate NULL, then
  // finalised (COUNT 0, AVG 0).
  void MakeEmptyGroup(uint8_t* groupRow) const;

  bool Empty() const { return Columns.empty(); }
  const std::vector<TAggregateColumn>& Aggregates() const { return Columns; }

 private:
  struct TRunning {
    bool Valid = false;  // a previous group left a total
    bool Null = true;
    int64_t Integer = 0;
    double Real = 0;
  };
  std::vector<TAggregateColumn> Columns;
  std::vector<TRunning> RunningTotals;
};

// TGroupCollector: folds the rows of a GROUP BY as the row walk produces them, so that the
// result table receives one row per group instead of one per joined row, and its sort
// has that much less to do. Rows whose key fields hold the same bytes share a group; the
// sort afterwards still merges groups its collation finds equal (accumulation is
// associative: SUM, COUNT and the AVG parts add, MIN and MAX keep), then finalises them and
// applies HAVING as before. Groups keep the order of their first rows, so a column that is
// neither grouped nor aggregated still shows its group's first row. RUNSUM depends on the
// order of the groups and is not collected.
class TGroupCollector {
 public:
  void Begin(std::vector<TFieldDefinition> keyFields, int recordSize, TGroupAggregator& aggregator);
  void Add(const uint8_t* row);
  // The groups in order of their first rows.
  std::size_t Count() const { return RecordSize == 0 ? 0 : Rows.size() / RecordSize; }
  const uint8_t* Group(std::size_t i) const { return Rows.data() + i * RecordSize; }
  void Clear();
  bool Full() const { return Rows.size() >= MaxBytes; }

 private:
  static constexpr std::size_t MaxBytes = std::size_t{64} << 20;
  std::vector<TFieldDefinition> KeyFields;
  std::size_t RecordSize = 0;
  TGroupAggregator* Aggregator = nullptr;
  std::vector<uint8_t> Rows;                           // one record per group
  std::unordered_map<std::string, std::size_t> Index;  // key bytes -> group
  std::string Key;
};

}  // namespace quarry
