// TJoinPlan: how the tables of a SELECT are joined: the join edges (outer table, inner table,
// kind and comparisons), the table that drives the nested loops, and the order in which the
// loops nest.
//
// Tables are numbered 0..n-1 in FROM order. Each comparison between two tables is added with
// the table each side reads; the plan decides the edge's direction (a table already nearer
// the root stays outer; a left outer join keeps its preserved, earlier table outer; otherwise
// the later table becomes the inner side unless it already is one), and records whether the
// comparison must be turned round to put the inner table's side on the left. Finish adds a
// condition-less edge (a cross product) into every table that has no join condition from
// the table before it in FROM order, orders the tables by join level and builds the walk
// order. ChooseDriver may then reverse the chain of inner joins down to a table that shows
// fewer rows than the driving one.
//
// Invariant after Finish: every table but the driver has exactly one incoming edge, the
// driver none, and Order() lists each table after its outer table.
//
// The plan never changes the comparison nodes; it only says which side is inner.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarry {

class TExpToken;

// Join kinds of an edge.
namespace jk {
inline constexpr uint8_t Cross = 0;
inline constexpr uint8_t Inner = 1;
inline constexpr uint8_t LeftOuter = 2;
}  // namespace jk

struct TJoinComparison {
  TExpToken* Node = nullptr;  // a comparison (=, <>, <, >, <=, >=)
  bool InnerOnLeft = true;    // false: Node's right side reads the inner table
};

struct TJoinEdge {
  int Outer = -1;
  int Inner = -1;
  uint8_t Kind = jk::Cross;
  std::vector<TJoinComparison> Comparisons;
};

class TJoinPlan {
 public:
  explicit TJoinPlan(int tableCount = 0);

  // A comparison between leftTable (read by the node's left side) and rightTable; kind is
  // the mark of a JOIN ... ON comparison (0 or 1 inner, 2 left outer, 3 right outer, which
  // the parser already turned into a left outer join of the earlier table).
  void AddComparison(TExpToken* node, int leftTable, int rightTable, uint8_t kind);

  // Completes the edges and the order. Returns -1, or the table that is the inner side of
  // join conditions from two different outer tables (the caller raises the error). Raises
  // nothing itself; an order that does not reach every table returns -2.
  int Finish();

  // rows[t]: the rows table t shows through its own conditions. Among the inner sides of
  // inner joins whose outer table is not the inner side of a left outer join, and whose
  // chain from the driver consists of inner joins only, the one with the fewest rows (first
  // in walk order on ties) becomes the driver when it has fewer rows than the driver.
  // Returns true when the driver changed.
  bool ChooseDriver(const std::vector<int64_t>& rows);

  int TableCount() const { return Count; }
  int Driver() const { return Order_.empty() ? 0 : Order_.front(); }
  // Tables in loop order: each after its outer table.
  const std::vector<int>& Order() const { return Order_; }
  // The edge into table t, or null for the driver.
  const TJoinEdge* EdgeInto(int t) const;
  const std::vector<TJoinEdge>& Edges() const { return Edges_; }
  int Level(int t) const { return Levels.at(static_cast<std::size_t>(t)); }

 private:
  int Count;
  std::vector<TJoinEdge> Edges_;
  std::vector<int> Levels;
  std::vector<int> Order_;

  TJoinEdge* FindEdge(int a, int b);
  bool IsInnerOfJoin(int t) const;
  // Raises the levels below t so that each inner table lies below its outer one.
  void Propagate(int t, int depth);
  // Rebuilds Order_ from the driver; false when some table is not reached.
  bool BuildOrder(int driver);
};

}  // namespace quarry
