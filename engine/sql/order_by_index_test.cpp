// Which index serves an ORDER BY, for a live cursor and for a table walk: fields, their
// directions, NOCASE and the collation against the index's definition, and which slot wins.
#include "engine/sql/order_by_index.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace quarry {
namespace {

// An index over fields; a negative number marks that field descending.
TIndexDefinition Index(std::vector<int> fields, bool descending = false, bool caseInsensitive = false) {
  TIndexDefinition index;
  index.KeyLength = 8;
  index.Descending = descending;
  index.CaseInsensitive = caseInsensitive;
  index.FieldCount = static_cast<uint8_t>(fields.size());
  for (std::size_t i = 0; i < fields.size(); ++i) {
    index.FieldNumbers[i] = static_cast<uint16_t>(fields[i] < 0 ? -fields[i] : fields[i]);
    index.FieldDescending[i] = fields[i] < 0;
  }
  return index;
}

// An ORDER BY over fields; a negative number is DESC.
TOrderByKeys Order(std::vector<int> fields, bool noCase = false, bool sameCollation = true) {
  TOrderByKeys order;
  for (int f : fields) {
    order.FieldNumbers.push_back(f < 0 ? -f : f);
    order.Descending.push_back(f < 0);
  }
  order.NoCase = noCase;
  order.SameCollation = sameCollation;
  return order;
}

// What the rule says: "no", "forward" or "backward".
std::string Verdict(const TIndexOrder& found) {
  if (!found.Served()) return "no";
  return found.Backward ? "backward" : "forward";
}

struct TServeCase {
  const char* Name;
  TIndexDefinition Index;
  TOrderByKeys Order;
  const char* Live;
  const char* Walk;
};

TEST(OrderByIndex, IndexAgainstOrderBy) {
  const TServeCase cases[] = {
      {"the same single field", Index({2}), Order({2}), "forward", "forward"},
      {"another field", Index({3}), Order({2}), "no", "no"},
      {"DESC over an ascending index", Index({2}), Order({-2}), "no", "backward"},
      {"DESC over a descending index", Index({2}, true), Order({-2}), "forward", "forward"},
      {"ascending over a descending index", Index({2}, true), Order({2}), "no", "backward"},
      {"DESC over a descending field", Index({-2}), Order({-2}), "forward", "forward"},
      {"two fields in the index's order", Index({2, 3}), Order({2, 3}), "forward", "forward"},
      {"two fields the other way round", Index({2, 3}), Order({3, 2}), "no", "no"},
      {"the ORDER BY a prefix of the index", Index({2, 3}), Order({2}), "no", "forward"},
      {"the index a prefix of the ORDER BY", Index({2}), Order({2, 3}), "no", "no"},
      {"mixed directions as the index's", Index({2, -3}), Order({2, -3}), "forward", "forward"},
      {"mixed directions all reversed", Index({2, -3}), Order({-2, 3}), "no", "backward"},
      {"mixed directions half reversed", Index({2, -3}), Order({2, 3}), "no", "no"},
      {"both DESC over an ascending index", Index({2, 3}), Order({-2, -3}), "no", "backward"},
      {"one DESC over an ascending index", Index({2, 3}), Order({2, -3}), "no", "no"},
      {"NOCASE over a case-insensitive index", Index({2}, false, true), Order({2}, true), "forward", "forward"},
      {"NOCASE over a case-sensitive index", Index({2}), Order({2}, true), "no", "no"},
      {"case-sensitive over a case-insensitive index", Index({2}, false, true), Order({2}), "no", "no"},
      {"another collation", Index({2}), Order({2}, false, false), "no", "no"},
      {"no ORDER BY", Index({2}), Order({}), "no", "no"},
      {"an empty slot", TIndexDefinition{}, Order({2}), "no", "no"},
  };
  for (const TServeCase& c : cases) {
    EXPECT_EQ(Verdict(IndexServesOrder(c.Index, 4, c.Order, TOrderUse::LiveCursor)), c.Live) << c.Name;
    EXPECT_EQ(Verdict(IndexServesOrder(c.Index, 4, c.Order, TOrderUse::TableWalk)), c.Walk) << c.Name;
  }
}

// A table's index slots: 0 primary, then secondaries; unset slots hold no index.
struct TSlots {
  std::array<TIndexDefinition, IndexSlotCount> Slots{};
  const TIndexDefinition& operator()(int slot) const { return Slots.at(static_cast<std::size_t>(slot)); }
};

TEST(OrderByIndex, FirstServingSlotWins) {
  TSlots table;
  table.Slots[0] = Index({1});
  table.Slots[2] = Index({2, 1});
  table.Slots[5] = Index({2});
  table.Slots[MaxSecondaryIndexes] = Index({3});
  struct TCase {
    TOrderByKeys Order;
    TOrderUse Use;
    int Slot;
    bool Backward;
  } cases[] = {
      {Order({1}), TOrderUse::LiveCursor, 0, false},
      {Order({2}), TOrderUse::LiveCursor, 5, false},  // slot 2 has a second field
      {Order({2}), TOrderUse::TableWalk, 2, false},
      {Order({-2}), TOrderUse::TableWalk, 2, true},
      {Order({-2}), TOrderUse::LiveCursor, -1, false},
      {Order({3}), TOrderUse::LiveCursor, MaxSecondaryIndexes, false},
      {Order({4}), TOrderUse::TableWalk, -1, false},
  };
  for (const TCase& c : cases) {
    const TIndexOrder found = FindOrderIndex(table, c.Order, c.Use);
    EXPECT_EQ(found.Slot, c.Slot) << c.Order.FieldNumbers.front();
    EXPECT_EQ(found.Backward, c.Backward) << c.Order.FieldNumbers.front();
  }
}

TEST(OrderByIndex, AcceptPassesOverServingSlots) {
  TSlots table;
  table.Slots[1] = Index({2});
  table.Slots[3] = Index({2, 4});
  const TIndexOrder found = FindOrderIndex(table, Order({2}), TOrderUse::TableWalk, [](int slot) { return slot != 1; });
  EXPECT_EQ(found.Slot, 3);
  EXPECT_FALSE(FindOrderIndex(table, Order({2}), TOrderUse::TableWalk, [](int) { return false; }).Served());
}

}  // namespace
}  // namespace quarry
