// What a prepared SELECT query block is. See select_block.h.
#include "engine/sql/select_block.h"

namespace quarry {

TEvalContext TSelectBlock::Context() const {
  TEvalContext context;
  context.Owner = &Hooks;
  context.Provider = const_cast<TSelectColumnSource*>(&ColumnSource);
  context.Collation.Language = Language;
  context.Collation.Sort = Sort;
  return context;
}

std::vector<TFieldDefinition> TSelectBlock::ColumnDefinitions() const {
  std::vector<TFieldDefinition> fields;
  fields.reserve(Columns.size());
  for (const TResultColumn& c : Columns) fields.push_back(c.Definition);
  return fields;
}

std::vector<TFieldDefinition> TSelectBlock::KeyFields(const std::vector<int>& columns,
                                                      const std::vector<bool>& descending) const {
  std::vector<TFieldDefinition> keys;
  keys.reserve(columns.size());
  for (std::size_t i = 0; i < columns.size(); ++i) {
    TFieldDefinition key = Columns[static_cast<std::size_t>(columns[i])].Definition;
    key.Descending = i < descending.size() && descending[i];
    keys.push_back(key);
  }
  return keys;
}

bool TSelectBlock::OrderKeysOf(const TSelectSource& source, TOrderByKeys& keys) const {
  keys = {};
  for (std::size_t i = 0; i < OrderColumns.size(); ++i) {
    const TResultColumn& c = Columns[static_cast<std::size_t>(OrderColumns[i])];
    if (!c.Plain || c.Source != &source) return false;
    keys.FieldNumbers.push_back(c.SourceFieldNo);
    keys.Descending.push_back(OrderDescending[i]);
  }
  keys.NoCase = Query.OrderByNoCase;
  // Fixed while the table is open (changing them needs it alone): no read lock needed.
  keys.SameCollation = source.Cursor->LanguageId() == Language && source.Cursor->SortId() == Sort;
  return true;
}

}  // namespace quarry
