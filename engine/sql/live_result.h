// TLiveResult: a SELECT whose result is its single source table's own cursor (see
// ChooseLive for when). The cursor presents the result columns as its field view: plain
// columns are the table's fields under their result names, computed columns are calculated
// for each record it reads. It is ordered by the index that gives the ORDER BY and carries
// the WHERE condition as a filter, installed afresh with each execution's parameter values.
// Changes through the cursor go to the table.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/sql/column_source.h"
#include "engine/sql/select_block.h"

namespace quarry {

class TLiveResult {
 public:
  // Makes the block's source cursor the result, ordered by the index in slot (-1: the
  // table's primary order). The block's column definitions become the cursor's.
  void Attach(TSelectBlock& block, int slot);
  // One execution: the computed columns and the WHERE filter with this execution's
  // parameter values; the cursor is left before its first record. Returns its row count.
  int32_t Run();

 private:
  TSelectBlock* block_ = nullptr;
  TFilter* filter_ = nullptr;  // this execution's WHERE filter on the cursor
  // The column values computed columns read from a record of the table.
  std::unique_ptr<TRecordColumnSource> values_;

  TDataCursor& Cursor() const { return *block_->Sources.front()->Cursor; }
  // The cursor's field definitions for the result columns, with their origins.
  std::vector<TFieldDefinition> PresentedColumns() const;
  void CalculateColumns(uint8_t* record);
};

}  // namespace quarry
