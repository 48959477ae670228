// The join plan: edge directions, cross products, the error of a table joined from two
// outer tables, and the driving table chosen by row counts.
#include "engine/sql/join_plan.h"

#include <gtest/gtest.h>

#include "engine/values/exp_token.h"

namespace quarry {
namespace {

struct TEdgeText {
  int Outer, Inner;
  uint8_t Kind;
  bool operator==(const TEdgeText&) const = default;
};

std::vector<TEdgeText> EdgesOf(const TJoinPlan& plan) {
  std::vector<TEdgeText> edges;
  for (int t : plan.Order())
    if (const TJoinEdge* e = plan.EdgeInto(t)) edges.push_back({e->Outer, e->Inner, e->Kind});
  return edges;
}

TEST(JoinPlan, ThreeTablesJoinedThroughTheFirst) {
  TExpToken vc, vd;
  TJoinPlan plan(3);                 // V, C, D
  plan.AddComparison(&vc, 0, 1, 0);  // V.VIDEOID = C.VIDEOID
  plan.AddComparison(&vd, 0, 2, 0);  // V.VIDEOID = D.VIDEOID
  ASSERT_EQ(plan.Finish(), -1);
  EXPECT_EQ(plan.Order(), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(EdgesOf(plan), (std::vector<TEdgeText>{{0, 1, jk::Inner}, {0, 2, jk::Inner}}));
  EXPECT_TRUE(plan.EdgeInto(1)->Comparisons.front().InnerOnLeft == false);

  // C shows fewer rows than V: the chain V->C turns round and C drives.
  EXPECT_TRUE(plan.ChooseDriver({100, 5, 50}));
  EXPECT_EQ(plan.Order(), (std::vector<int>{1, 0, 2}));
  EXPECT_EQ(EdgesOf(plan), (std::vector<TEdgeText>{{1, 0, jk::Inner}, {0, 2, jk::Inner}}));
  EXPECT_TRUE(plan.EdgeInto(0)->Comparisons.front().InnerOnLeft);
}

TEST(JoinPlan, DriverStaysWhenNoInnerTableIsSmaller) {
  TExpToken c;
  TJoinPlan plan(2);
  plan.AddComparison(&c, 1, 0, 0);  // written the other way round: B.x = A.x
  ASSERT_EQ(plan.Finish(), -1);
  EXPECT_EQ(plan.Order(), (std::vector<int>{0, 1}));
  EXPECT_TRUE(plan.EdgeInto(1)->Comparisons.front().InnerOnLeft);
  EXPECT_FALSE(plan.ChooseDriver({10, 10}));
  EXPECT_EQ(plan.Order(), (std::vector<int>{0, 1}));
}

TEST(JoinPlan, LeftOuterJoinsKeepTheirPreservedTableOuterAndAreNeverReversed) {
  TExpToken c;
  TJoinPlan plan(2);
  plan.AddComparison(&c, 1, 0, 2);
  ASSERT_EQ(plan.Finish(), -1);
  EXPECT_EQ(EdgesOf(plan), (std::vector<TEdgeText>{{0, 1, jk::LeftOuter}}));
  EXPECT_FALSE(plan.ChooseDriver({1000, 1}));
  EXPECT_EQ(plan.Driver(), 0);
}

TEST(JoinPlan, TablesWithoutJoinConditionsBecomeCrossProducts) {
  struct TCase {
    const char* What;
    int Tables;
    std::vector<std::pair<int, int>> Comparisons;
    std::vector<int> Order;
    std::vector<TEdgeText> Edges;
  };
  const std::vector<TCase> cases = {
      {"no condition", 2, {}, {0, 1}, {{0, 1, jk::Cross}}},
      {"the later pair joined", 3, {{1, 2}}, {0, 1, 2}, {{0, 1, jk::Cross}, {1, 2, jk::Inner}}},
      {"the first and last joined", 3, {{0, 2}}, {0, 2, 1}, {{0, 2, jk::Inner}, {0, 1, jk::Cross}}},
      {"a chain through the middle", 3, {{0, 2}, {1, 2}}, {0, 2, 1}, {{0, 2, jk::Inner}, {2, 1, jk::Inner}}},
  };
  for (const TCase& c : cases) {
    std::vector<TExpToken> nodes(c.Comparisons.size());
    TJoinPlan plan(c.Tables);
    for (std::size_t i = 0; i < c.Comparisons.size(); ++i)
      plan.AddComparison(&nodes[i], c.Comparisons[i].first, c.Comparisons[i].second, 0);
    ASSERT_EQ(plan.Finish(), -1) << c.What;
    EXPECT_EQ(plan.Order(), c.Order) << c.What;
    EXPECT_EQ(EdgesOf(plan), c.Edges) << c.What;
  }
}

TEST(JoinPlan, ATableJoinedFromTwoOuterTablesIsReported) {
  TExpToken ab, ac, bc;
  TJoinPlan plan(3);
  plan.AddComparison(&ab, 0, 1, 0);
  plan.AddComparison(&ac, 0, 2, 0);
  plan.AddComparison(&bc, 1, 2, 0);
  EXPECT_EQ(plan.Finish(), 2);
}

TEST(JoinPlan, FurtherConditionsBetweenTwoTablesJoinTheirEdge) {
  TExpToken first, second;
  TJoinPlan plan(2);
  plan.AddComparison(&first, 0, 1, 0);
  plan.AddComparison(&second, 1, 0, 0);
  ASSERT_EQ(plan.Finish(), -1);
  ASSERT_EQ(plan.EdgeInto(1)->Comparisons.size(), 2u);
  EXPECT_FALSE(plan.EdgeInto(1)->Comparisons[0].InnerOnLeft);
  EXPECT_TRUE(plan.EdgeInto(1)->Comparisons[1].InnerOnLeft);
}

}  // namespace
}  // namespace quarry
