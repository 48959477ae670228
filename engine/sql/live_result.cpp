// A SELECT result that is the source table's own cursor. See live_result.h.
#include "engine/sql/live_result.h"

#include "engine/sql/expression_preparer.h"
#include "engine/sql/result_row.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/values/token_stack.h"

namespace quarry {

void TLiveResult::Attach(TSelectBlock& block, int slot) {
  block_ = &block;
  TDataCursor& cursor = Cursor();
  values_ = std::make_unique<TRecordColumnSource>(cursor.TableFields(), block.Sources.front()->Correlation,
                                                  cursor.BlobValueReader());
  cursor.ReplaceFieldDefinitions(PresentedColumns());
  for (std::size_t i = 0; i < block.Columns.size(); ++i) block.Columns[i].Definition = cursor.Fields()[i];
  cursor.SetComputedFieldCalculator([this](uint8_t* record) { CalculateColumns(record); });
  if (slot >= 0) cursor.SetIndexSlot(slot);
}

std::vector<TFieldDefinition> TLiveResult::PresentedColumns() const {
  std::vector<TFieldDefinition> fields;
  fields.reserve(block_->Columns.size());
  for (const TResultColumn& c : block_->Columns) {
    TFieldDefinition f = c.Definition;
    if (c.Plain) {
      // The table's own field (auto-increment and checks included) under the result name.
      f = c.Source->Cursor->TableFields()[static_cast<std::size_t>(c.SourceFieldNo - 1)];
      f.Name = c.Name;
      f.Origin = c.Origin;
      f.OriginDatabase = c.OriginDatabase;
    } else {
      f.Computed = true;
      f.ValueSize = 0;
    }
    fields.push_back(std::move(f));
  }
  return fields;
}

void TLiveResult::CalculateColumns(uint8_t* record) {
  TEvalContext context = block_->Context();
  context.Provider = values_.get();
  context.Record = record;
  for (TResultColumn& column : block_->Columns) {
    if (column.Plain) continue;
    if (!column.Prepared) {
      SetFieldNull(record, column.Definition);
      continue;
    }
    // A live result has no computed BLOB column: nothing goes to a BLOB file.
    TExpTree value = Evaluate(*column.Prepared, context);
    StoreColumnValue(record, column, *value, nullptr);
  }
}

int32_t TLiveResult::Run() {
  TDataCursor& cursor = Cursor();
  if (filter_ != nullptr) {
    // The previous execution's filter, unless a user of the cursor removed it already.
    TFilter* previous = filter_;
    filter_ = nullptr;
    bool present = false;
    for (int i = 0; i < cursor.FilterCount() && !present; ++i) present = cursor.FilterAt(i) == previous;
    if (present) cursor.RemoveFilter(previous);
  }
  cursor.Refresh();
  // This execution's parameter values go into the computed columns and the filter.
  TPrepareOptions options;
  options.Owner = &block_->Hooks;
  options.Provider = values_.get();
  options.Language = block_->Language;
  options.Sort = block_->Sort;
  for (TResultColumn& column : block_->Columns) {
    column.Prepared.reset();
    if (!column.Plain && column.Expression != nullptr) column.Prepared = PrepareExpression(*column.Expression, options);
  }
  if (block_->Query.Condition) filter_ = cursor.AddResolvedFilter(CopyTree(block_->Query.Condition.get()));
  cursor.Home();
  return cursor.RecordCount();
}

}  // namespace quarry
