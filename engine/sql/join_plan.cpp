// Join edges, driving table and loop order of a SELECT; see join_plan.h.
#include "engine/sql/join_plan.h"

#include <algorithm>
#include <numeric>

namespace quarry {

TJoinPlan::TJoinPlan(int tableCount) : Count(tableCount), Levels(static_cast<std::size_t>(tableCount), 0) {}

TJoinEdge* TJoinPlan::FindEdge(int a, int b) {
  for (TJoinEdge& e : Edges_)
    if ((e.Outer == a && e.Inner == b) || (e.Outer == b && e.Inner == a)) return &e;
  return nullptr;
}

bool TJoinPlan::IsInnerOfJoin(int t) const {
  return std::any_of(Edges_.begin(), Edges_.end(), [t](const TJoinEdge& e) { return e.Inner == t; });
}

void TJoinPlan::Propagate(int t, int depth) {
  // Levels only grow along edges, so a chain longer than the table count means a cycle;
  // stop there and let BuildOrder report the table it cannot reach.
  if (depth > Count) return;
  for (const TJoinEdge& e : Edges_) {
    if (e.Outer != t) continue;
    int& inner = Levels[static_cast<std::size_t>(e.Inner)];
    if (inner < Levels[static_cast<std::size_t>(t)] + 1) {
      inner = Levels[static_cast<std::size_t>(t)] + 1;
      Propagate(e.Inner, depth + 1);
    }
  }
}

void TJoinPlan::AddComparison(TExpToken* node, int leftTable, int rightTable, uint8_t kind) {
  const uint8_t edgeKind = kind >= 2 ? jk::LeftOuter : jk::Inner;
  if (TJoinEdge* existing = FindEdge(leftTable, rightTable)) {
    existing->Comparisons.push_back({node, existing->Inner == leftTable});
    if (edgeKind == jk::LeftOuter) existing->Kind = jk::LeftOuter;
    return;
  }
  auto level = [this](int t) { return Levels[static_cast<std::size_t>(t)]; };
  int outer = 0;
  int inner = 0;
  const int earlier = std::min(leftTable, rightTable);
  const int later = std::max(leftTable, rightTable);
  if (edgeKind == jk::LeftOuter) {
    outer = earlier;
    inner = later;
  } else if (level(leftTable) != 0 && level(rightTable) != 0) {
    const bool leftNearer =
        level(leftTable) < level(rightTable) || (level(leftTable) == level(rightTable) && leftTable < rightTable);
    outer = leftNearer ? leftTable : rightTable;
    inner = leftNearer ? rightTable : leftTable;
  } else if (level(leftTable) != 0 || level(rightTable) != 0) {
    outer = level(leftTable) != 0 ? leftTable : rightTable;
    inner = outer == leftTable ? rightTable : leftTable;
  } else {
    // Neither is placed yet: the table that is not yet the inner side of a join becomes it.
    inner = !IsInnerOfJoin(later) ? later : (!IsInnerOfJoin(earlier) ? earlier : later);
    outer = inner == later ? earlier : later;
  }
  if (level(outer) == 0) Levels[static_cast<std::size_t>(outer)] = 1;
  TJoinEdge edge;
  edge.Outer = outer;
  edge.Inner = inner;
  edge.Kind = edgeKind;
  edge.Comparisons.push_back({node, inner == leftTable});
  Edges_.push_back(std::move(edge));
  Propagate(outer, 0);
}

int TJoinPlan::Finish() {
  if (Count == 0) return -1;
  // Every table with at least one incoming join condition: more than one outer table is an
  // error the caller names.
  for (int t = 0; t < Count; ++t) {
    int outer = -1;
    for (const TJoinEdge& e : Edges_) {
      if (e.Inner != t) continue;
      if (outer >= 0 && outer != e.Outer) return t;
      outer = e.Outer;
    }
  }
  // Tables no join condition placed continue the level of the table before them.
  for (int t = 0; t < Count; ++t) {
    int& level = Levels[static_cast<std::size_t>(t)];
    if (level == 0) level = t == 0 ? 1 : Levels[static_cast<std::size_t>(t - 1)] + 1;
  }
  std::vector<int> byLevel(static_cast<std::size_t>(Count));
  std::iota(byLevel.begin(), byLevel.end(), 0);
  std::stable_sort(byLevel.begin(), byLevel.end(), [this](int a, int b) { return Level(a) < Level(b); });
  int driver = byLevel.front();
  // A join condition into the first table by level makes the nearest table without one
  // drive instead.
  for (int t : byLevel) {
    if (!IsInnerOfJoin(t)) {
      driver = t;
      break;
    }
  }
  for (int t = 1; t < Count; ++t) {
    if (t == driver || IsInnerOfJoin(t)) continue;
    TJoinEdge edge;
    edge.Outer = t - 1;
    edge.Inner = t;
    edge.Kind = jk::Cross;
    Edges_.push_back(std::move(edge));
  }
  // The first table, when it is neither driver nor joined, hangs off the driver.
  if (driver != 0 && !IsInnerOfJoin(0)) {
    TJoinEdge edge;
    edge.Outer = driver;
    edge.Inner = 0;
    edge.Kind = jk::Cross;
    Edges_.push_back(std::move(edge));
  }
  return BuildOrder(driver) ? -1 : -2;
}

bool TJoinPlan::BuildOrder(int driver) {
  Order_.clear();
  std::vector<bool> seen(static_cast<std::size_t>(Count), false);
  // Depth first from the driver, edges in the order they were made.
  std::vector<int> stack{driver};
  while (!stack.empty()) {
    const int t = stack.back();
    stack.pop_back();
    if (seen[static_cast<std::size_t>(t)]) return false;
    seen[static_cast<std::size_t>(t)] = true;
    Order_.push_back(t);
    std::vector<int> children;
    for (const TJoinEdge& e : Edges_)
      if (e.Outer == t) children.push_back(e.Inner);
    for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(*it);
  }
  return static_cast<int>(Order_.size()) == Count;
}

const TJoinEdge* TJoinPlan::EdgeInto(int t) const {
  for (const TJoinEdge& e : Edges_)
    if (e.Inner == t) return &e;
  return nullptr;
}

bool TJoinPlan::ChooseDriver(const std::vector<int64_t>& rows) {
  if (Order_.empty()) return false;
  const int driver = Order_.front();
  // The chain of edges from the driver down to t, innermost first; empty when it is not
  // made of inner joins only.
  auto innerChain = [this, driver](int t) {
    std::vector<TJoinEdge*> chain;
    for (int step = 0; t != driver && step < Count; ++step) {
      TJoinEdge* edge = nullptr;
      for (TJoinEdge& e : Edges_)
        if (e.Inner == t) edge = &e;
      if (edge == nullptr || edge->Kind != jk::Inner) return std::vector<TJoinEdge*>{};
      chain.push_back(edge);
      t = edge->Outer;
    }
    if (t != driver) chain.clear();
    return chain;
  };
  int chosen = -1;
  std::vector<TJoinEdge*> chosenChain;
  for (int t : Order_) {
    if (t == driver) continue;
    std::vector<TJoinEdge*> chain = innerChain(t);
    if (chain.empty()) continue;
    if (chosen < 0 || rows[static_cast<std::size_t>(t)] < rows[static_cast<std::size_t>(chosen)]) {
      chosen = t;
      chosenChain = std::move(chain);
    }
  }
  if (chosen < 0 || rows[static_cast<std::size_t>(chosen)] >= rows[static_cast<std::size_t>(driver)]) return false;
  for (TJoinEdge* e : chosenChain) {
    std::swap(e->Outer, e->Inner);
    for (TJoinComparison& c : e->Comparisons) c.InnerOnLeft = !c.InnerOnLeft;
  }
  // Cross products into the new driver (none along an inner chain) stay as they are.
  BuildOrder(chosen);
  for (std::size_t i = 0; i < Order_.size(); ++i) Levels[static_cast<std::size_t>(Order_[i])] = static_cast<int>(i) + 1;
  return true;
}

}  // namespace quarry
