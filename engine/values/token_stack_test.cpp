// Expression nodes and their pool: clearing, copying, value buffers, pool capacity,
// whole-tree release and deep copies.
#include "engine/values/token_stack.h"

#include <thread>

#include <gtest/gtest.h>

namespace quarry {
namespace {

TEST(ExpToken, ClearResetsEveryFieldAndTheBuffer) {
  TExpToken node;
  node.Text = "x";
  node.NodeClass = nc::Binary;
  node.EstimatedCount = 5;
  node.IsNull = true;
  node.SetValueSize(1000);
  node.Value[999] = 7;
  node.Args.push_back(nullptr);
  node.Clear();
  EXPECT_TRUE(node.Text.empty());
  EXPECT_EQ(node.NodeClass, 0);
  EXPECT_EQ(node.EstimatedCount, -1);
  EXPECT_EQ(node.EstimatedCost, -1);
  EXPECT_FALSE(node.IsNull);
  EXPECT_EQ(node.Value.size(), TExpToken::kBufferGranule);
  EXPECT_EQ(node.ValueSize, 0);
  EXPECT_TRUE(node.Args.empty());
}

TEST(ExpToken, ValueBufferGrowsInGranulesAndNeverShrinks) {
  constexpr std::size_t g = TExpToken::kBufferGranule;
  TExpToken node;
  EXPECT_EQ(node.Value.size(), g);
  node.SetValueSize(static_cast<int32_t>(g + 1));
  EXPECT_EQ(node.Value.size(), 2 * g);
  node.Value[g + 3] = 9;
  node.SetValueSize(4);
  EXPECT_EQ(node.Value.size(), 2 * g);
  EXPECT_EQ(node.ValueSize, 4);
  EXPECT_EQ(node.Value[g + 3], 9);
  node.SetValueSize(2000);
  EXPECT_EQ(node.Value.size() % g, 0u);
  EXPECT_GE(node.Value.size(), 2000u);
  EXPECT_EQ(node.Value[1999], 0);
}

TEST(ExpToken, AssignCopiesValuesAndSharesArguments) {
  TExpToken arg;
  TExpToken a;
  a.Text = "f";
  a.PutString("hello");
  a.Args.push_back(&arg);
  TExpToken b;
  b.Assign(a);
  EXPECT_EQ(b.GetString(), "hello");
  ASSERT_EQ(b.Args.size(), 1u);
  EXPECT_EQ(b.Args[0], &arg);
  EXPECT_EQ(a.Arg(5), nullptr);
  a.SetArg(3, &arg);
  EXPECT_EQ(a.Args.size(), 4u);
  EXPECT_EQ(a.Arg(2), nullptr);
}

TEST(TokenStack, KeepsAtMostItsCapacity) {
  auto& pool = TExpTokenStack::Instance();
  std::vector<TExpToken*> nodes;
  for (std::size_t i = 0; i < TExpTokenStack::kCapacity + 50; ++i) nodes.push_back(pool.Acquire());
  for (TExpToken*& n : nodes) {
    n->Text = "dirty";
    pool.Release(n);
    EXPECT_EQ(n, nullptr);
  }
  EXPECT_EQ(pool.FreeCount(), TExpTokenStack::kCapacity);
  TExpToken* reused = pool.Acquire();
  EXPECT_TRUE(reused->Text.empty());  // cleared on the way out
  TExpToken* none = nullptr;
  pool.Release(none);
  pool.Release(reused);
}

TEST(TokenStack, TreesReleaseAndCopyDeeply) {
  TExpTree root = NewToken();
  root->Text = "AND";
  TExpTree left = NewToken();
  left->Text = "L";
  TExpTree arg = NewToken();
  arg->Text = "A";
  left->SetArg(2, arg.release());
  root->Left = left.release();
  TExpTree copy = CopyTree(root.get());
  EXPECT_NE(copy->Left, root->Left);
  EXPECT_EQ(copy->Left->Text, "L");
  EXPECT_EQ(copy->Left->Parent, copy.get());
  ASSERT_EQ(copy->Left->Args.size(), 3u);
  EXPECT_EQ(copy->Left->Args[0], nullptr);
  EXPECT_EQ(copy->Left->Args[2]->Text, "A");
  EXPECT_NE(copy->Left->Args[2], root->Left->Args[2]);
}

TEST(TokenStack, SharedByThreads) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([] {
      for (int i = 0; i < 2000; ++i) {
        TExpTree a = NewToken();
        TExpTree b = NewToken();
        a->Left = b.release();
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_LE(TExpTokenStack::Instance().FreeCount(), TExpTokenStack::kCapacity);
}

}  // namespace
}  // namespace quarry
