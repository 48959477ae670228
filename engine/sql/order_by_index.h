// Whether an index gives rows in the order an ORDER BY asks for. One rule serves both users:
// a live result, whose cursor is ordered by the index itself, and a single table walked in
// index order so that the result needs no sort.
//
// An index serves an ORDER BY when its leading fields are the ORDER BY's fields in the same
// order, it folds case exactly when NOCASE is given, and its keys compare by the collation
// the query orders by. Read forward, each field's direction (the index's own descending flag
// or the field's) must be the ORDER BY's; read backward, every one must be the reverse.
//
// The two users differ in what they can take: a live cursor presents the index as it is
// (forward only, and the index's fields must be exactly the ORDER BY, as when the ORDER BY
// is taken as an index definition), while a walk reads the index in either direction and
// an index with further fields still orders the rows by the leading ones.
#pragma once

#include <functional>
#include <vector>

#include "engine/storage/index/index_definition.h"

namespace quarry {

enum class TOrderUse {
  LiveCursor,  // the index orders the result cursor itself
  TableWalk,   // the rows are read through the index, forward or backward
};

// An ORDER BY over the fields of one table.
struct TOrderByKeys {
  std::vector<int> FieldNumbers;  // from 1, in ORDER BY order
  std::vector<bool> Descending;   // one per field
  bool NoCase = false;
  bool SameCollation = true;  // the query orders by the table's language and sort
};

// The index that serves an ORDER BY, and the direction to read it in.
struct TIndexOrder {
  int Slot = -1;  // -1: none serves
  bool Backward = false;
  bool Served() const { return Slot >= 0; }
};

// Whether the index in slot serves the ORDER BY for the given use.
TIndexOrder IndexServesOrder(const TIndexDefinition& index, int slot, const TOrderByKeys& order, TOrderUse use);

// The first slot from the primary to the last secondary whose index serves the ORDER BY and
// that accept (when given) takes; indexAt gives a slot's definition.
TIndexOrder FindOrderIndex(const std::function<const TIndexDefinition&(int slot)>& indexAt, const TOrderByKeys& order,
                           TOrderUse use, const std::function<bool(int slot)>& accept = nullptr);

}  // namespace quarry
