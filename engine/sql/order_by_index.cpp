// Whether an index serves an ORDER BY. See order_by_index.h.
#include "engine/sql/order_by_index.h"

namespace quarry {

TIndexOrder IndexServesOrder(const TIndexDefinition& index, int slot, const TOrderByKeys& order, TOrderUse use) {
  const std::size_t count = order.FieldNumbers.size();
  if (count == 0 || order.Descending.size() != count || !order.SameCollation || !index.Defined()) return {};
  if (index.CaseInsensitive != order.NoCase) return {};
  const std::size_t indexFields = index.FieldCount;
  if (indexFields < count || (use == TOrderUse::LiveCursor && indexFields != count)) return {};
  bool forward = true;
  bool backward = use == TOrderUse::TableWalk;
  for (std::size_t i = 0; i < count; ++i) {
    if (index.FieldNumbers[i] != order.FieldNumbers[i]) return {};
    const bool descending = index.Descending || index.FieldDescending[i];
    forward = forward && descending == order.Descending[i];
    backward = backward && descending != order.Descending[i];
  }
  if (!forward && !backward) return {};
  return {slot, !forward};
}

TIndexOrder FindOrderIndex(const std::function<const TIndexDefinition&(int slot)>& indexAt, const TOrderByKeys& order,
                           TOrderUse use, const std::function<bool(int slot)>& accept) {
  for (int slot = PrimarySlot; slot <= MaxSecondaryIndexes; ++slot) {
    const TIndexOrder found = IndexServesOrder(indexAt(slot), slot, order, use);
    if (found.Served() && (!accept || accept(slot))) return found;
  }
  return {};
}

}  // namespace quarry
