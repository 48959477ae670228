// Tests of the B+-tree algorithms over the in-memory page store: randomised inserts and
// deletes checked against a sorted reference, the split / merge / redistribution rules, the
// free chain, and refusal of damaged pages.
#include "engine/storage/index/btree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <set>
#include <vector>

#include "engine/storage/index/index_error.h"
#include "engine/storage/index/index_test_util.h"
#include "engine/storage/index/memory_page_store.h"

namespace quarry {
namespace {

using testing::IntKey;
using testing::RaisedCode;
using Key = std::vector<std::uint8_t>;

struct TTreeFixture {
  explicit TTreeFixture(TPageFormat f, bool packed = false)
      : format(f),
        store(f, packed),
        compare(TKeyComparator::Bytewise(f.KeyLength)),
        tree(store, 0, format, compare, "IDX") {}
  TPageFormat format;
  TMemoryPageStore store;
  TKeyComparator compare;
  TBTree tree;
};

std::vector<Key> Walk(TBTree& tree, int keyLength) {
  std::vector<Key> keys;
  TIndexPath path;
  for (bool more = tree.First(path); more; more = tree.Next(path)) {
    Key k(static_cast<std::size_t>(keyLength));
    tree.EntryAt(path, k.data());
    keys.push_back(k);
  }
  return keys;
}

struct TRandomCase {
  const char* Name;
  TPageFormat Format;
  bool Packed;
  int Operations;
};

class BTreeRandomTest : public ::testing::TestWithParam<TRandomCase> {};

// Random inserts and deletes (with duplicates of the leading value told apart by the
// identifier suffix) keep the tree equal to a sorted reference, with true counts, positions
// and range sizes; FindNear from a stale path agrees with Find throughout.
TEST_P(BTreeRandomTest, MatchesSortedReference) {
  const TRandomCase& c = GetParam();
  TTreeFixture fx(c.Format, c.Packed);
  const int k = c.Format.KeyLength;
  std::set<Key> reference;
  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> value(-3000, 3000);
  std::uniform_int_distribution<std::uint32_t> id(1, 40);
  const int ops = std::getenv("PELLOMAR_SOAK") != nullptr ? c.Operations * 10 : c.Operations;
  TIndexPath path;
  TIndexPath near;
  int probeValue = -3000;
  for (int i = 0; i < ops; ++i) {
    Key key = IntKey(value(rng), k, c.Format.Unique ? 0 : id(rng));
    const bool insert = reference.size() < 50 || (rng() % 100) < (i < ops / 2 ? 65 : 35);
    if (insert) {
      if (reference.count(key) != 0) {
        EXPECT_EQ(RaisedCode([&] { fx.tree.Insert(key.data(), i + 1, path); }), QUARRY_KEYVIOL);
        continue;
      }
      fx.tree.Insert(key.data(), i + 1, path);
      reference.insert(key);
      Key at(static_cast<std::size_t>(k));
      ASSERT_EQ(fx.tree.EntryAt(path, at.data()), i + 1);
      ASSERT_EQ(at, key);
    } else {
      auto it = reference.lower_bound(key);
      if (it == reference.end()) it = reference.begin();
      const Key victim = *it;
      ASSERT_TRUE(fx.tree.Delete(victim.data(), path));
      reference.erase(victim);
      ASSERT_FALSE(fx.tree.Delete(victim.data(), path));
    }
    // A lookup that starts from the path of the one before (stale after the change above)
    // lands where a descent from the root does; the probes mostly climb, as a join's do.
    const Key probe = IntKey(i % 3 == 0 ? value(rng) : probeValue++ % 3000, k, c.Format.Unique ? 0 : id(rng));
    TIndexPath fresh;
    const bool found = fx.tree.Find(probe.data(), fresh);
    ASSERT_EQ(fx.tree.FindNear(probe.data(), near), found);
    ASSERT_EQ(near.Depth, fresh.Depth);
    if (fresh.Depth > 0) {
      ASSERT_EQ(near.Leaf().Page, fresh.Leaf().Page);
      ASSERT_EQ(near.Leaf().Pos, fresh.Leaf().Pos);
      if (i % 7 == 0) {
        ASSERT_EQ(fx.tree.Ordinal(near), fx.tree.Ordinal(fresh));
      }
    }
    ASSERT_EQ(fx.store.PinnedPages(), 0);
    if (i % 997 == 0) {
      ASSERT_EQ(fx.tree.Verify(), static_cast<std::int64_t>(reference.size()));
    }
  }
  ASSERT_EQ(fx.tree.Verify(), static_cast<std::int64_t>(reference.size()));
  ASSERT_EQ(fx.tree.KeyCount(), static_cast<std::int64_t>(reference.size()));

  const std::vector<Key> sorted(reference.begin(), reference.end());
  ASSERT_EQ(Walk(fx.tree, k), sorted);
  // Backwards as well.
  std::vector<Key> backwards;
  for (bool more = fx.tree.Last(path); more; more = fx.tree.Prior(path)) {
    Key key(static_cast<std::size_t>(k));
    fx.tree.EntryAt(path, key.data());
    backwards.push_back(key);
  }
  std::reverse(backwards.begin(), backwards.end());
  ASSERT_EQ(backwards, sorted);

  const auto n = static_cast<std::int64_t>(sorted.size());
  for (std::int64_t i = 0; i < n; i += std::max<std::int64_t>(1, n / 300)) {
    ASSERT_TRUE(fx.tree.Find(sorted[i].data(), path));
    ASSERT_EQ(fx.tree.Ordinal(path), i + 1);
    ASSERT_TRUE(fx.tree.Seek(i + 1, path));
    Key at(static_cast<std::size_t>(k));
    fx.tree.EntryAt(path, at.data());
    ASSERT_EQ(at, sorted[i]);
  }
  EXPECT_FALSE(fx.tree.Seek(n + 1, path));
  for (int i = 0; i < 200; ++i) {
    Key lo = IntKey(value(rng), k, 0);
    Key hi = IntKey(value(rng), k, 0xFFFFFFFF);
    if (!c.Format.Unique) std::fill(hi.begin() + 4, hi.end(), 0xFF);
    const auto expected =
        std::count_if(sorted.begin(), sorted.end(), [&](const Key& key) { return key >= lo && key <= hi; });
    ASSERT_EQ(fx.tree.RangeCount(lo.data(), hi.data()), expected);
  }
}

TPageFormat Fmt(int k, TKeyCompression c, bool unique, bool counts = true) {
  TPageFormat f;
  f.KeyLength = static_cast<std::uint16_t>(k);
  f.Compression = c;
  f.Unique = unique;
  f.Counts = counts;
  return f;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, BTreeRandomTest,
    ::testing::Values(TRandomCase{"SmallUnique", Fmt(4, TKeyCompression::None, true), false, 12000},
                      TRandomCase{"PlainNonUnique", Fmt(40, TKeyCompression::None, false), false, 12000},
                      TRandomCase{"WideKeys", Fmt(200, TKeyCompression::None, false), false, 8000},
                      TRandomCase{"LongestKeys", Fmt(522, TKeyCompression::None, false), false, 4000},
                      TRandomCase{"Duplicates", Fmt(40, TKeyCompression::Duplicates, false), false, 8000},
                      TRandomCase{"Trailing", Fmt(100, TKeyCompression::Trailing, true), false, 8000},
                      TRandomCase{"TrailingNonUnique", Fmt(100, TKeyCompression::Trailing, false), false, 8000},
                      TRandomCase{"Both", Fmt(300, TKeyCompression::Both, false), false, 8000},
                      TRandomCase{"BothUnique", Fmt(9, TKeyCompression::Both, true), false, 8000},
                      // Every change packed and unpacked again: the page format round-trips.
                      TRandomCase{"PackedPlain", Fmt(150, TKeyCompression::None, false), true, 6000},
                      TRandomCase{"PackedDuplicates", Fmt(12, TKeyCompression::Duplicates, false), true, 1500},
                      TRandomCase{"PackedTrailing", Fmt(30, TKeyCompression::Trailing, false), true, 1500},
                      TRandomCase{"PackedBoth", Fmt(30, TKeyCompression::Both, false), true, 1500},
                      TRandomCase{"NoCounts", Fmt(40, TKeyCompression::None, false, false), false, 4000}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(BTree, FirstOverflowSplitsRootLeafIntoTwoLeavesUnderARootBranch) {
  TTreeFixture fx(Fmt(20, TKeyCompression::None, true), true);
  const int capacity = fx.format.LeafCapacity();  // 4,083 / 24 = 170
  TIndexPath path;
  for (int i = 0; i < capacity; ++i) fx.tree.Insert(IntKey(i, 20).data(), i + 1, path);
  {
    TPageRef root(fx.store, fx.store.FetchPage(0, fx.store.Root(0)));
    EXPECT_EQ(root->Type, TPageType::RootLeaf);
    EXPECT_EQ(root->Count(), capacity);
  }
  fx.tree.Insert(IntKey(capacity, 20).data(), capacity + 1, path);
  TPageRef root(fx.store, fx.store.FetchPage(0, fx.store.Root(0)));
  ASSERT_EQ(root->Type, TPageType::RootBranch);
  ASSERT_EQ(root->Count(), 2);
  EXPECT_EQ(root->KeyCount(0) + root->KeyCount(1), capacity + 1);
  EXPECT_EQ(root->KeyCount(1), (capacity + 1) / 2);
  TPageRef left(fx.store, fx.store.FetchPage(0, root->Value(0)));
  TPageRef right(fx.store, fx.store.FetchPage(0, root->Value(1)));
  EXPECT_EQ(left->Type, TPageType::Leaf);
  EXPECT_EQ(right->Type, TPageType::Leaf);
  EXPECT_EQ(left->Next, right->PageNo);
  EXPECT_EQ(right->Prev, left->PageNo);
}

// Two leaves under one root; the second loses keys until it is underfull.
struct TRebalanceCase {
  int ExtraInFirst;   // keys added to the first leaf after the split (negative: removed)
  int ExpectedFirst;  // entries afterwards (0: the leaves merged into a root leaf)
  int ExpectedSecond;
};

class BTreeRebalanceTest : public ::testing::TestWithParam<TRebalanceCase> {};

TEST_P(BTreeRebalanceTest, UnderfullLeafBorrowsOrMerges) {
  // Key length 36: leaves hold 4,083 / 40 = 102 entries; underfull below 51.
  TTreeFixture fx(Fmt(36, TKeyCompression::None, true), true);
  const int capacity = fx.format.LeafCapacity();
  ASSERT_EQ(capacity, 102);
  TIndexPath path;
  for (int i = 0; i <= capacity; ++i) fx.tree.Insert(IntKey(1000 + i, 36).data(), i + 1, path);
  // Split: 52 stay, 51 move. Grow the first leaf with smaller keys.
  for (int i = 0; i < GetParam().ExtraInFirst; ++i) fx.tree.Insert(IntKey(i, 36).data(), 500 + i, path);
  for (int i = 0; i < -GetParam().ExtraInFirst; ++i) ASSERT_TRUE(fx.tree.Delete(IntKey(1000 + i, 36).data(), path));
  ASSERT_TRUE(fx.tree.Delete(IntKey(1000 + capacity, 36).data(), path));
  TPageRef root(fx.store, fx.store.FetchPage(0, fx.store.Root(0)));
  if (GetParam().ExpectedFirst == 0) {
    EXPECT_EQ(root->Type, TPageType::RootLeaf);
    EXPECT_EQ(root->Count(), GetParam().ExpectedSecond);
  } else {
    ASSERT_EQ(root->Type, TPageType::RootBranch);
    ASSERT_EQ(root->Count(), 2);
    EXPECT_EQ(root->KeyCount(0), GetParam().ExpectedFirst);
    EXPECT_EQ(root->KeyCount(1), GetParam().ExpectedSecond);
  }
  root.Reset();
  EXPECT_EQ(fx.tree.Verify(), 52 + 50 + GetParam().ExtraInFirst);
}

INSTANTIATE_TEST_SUITE_P(Cases, BTreeRebalanceTest,
                         ::testing::Values(TRebalanceCase{8, 55, 55},     // 60 + 50: share
                                           TRebalanceCase{0, 51, 51},     // 52 + 50: share
                                           TRebalanceCase{-1, 0, 101}));  // 51 + 50: merge

TEST(BTree, DeletingEverythingFreesEveryPageAndReusesTheLastFreed) {
  TTreeFixture fx(Fmt(200, TKeyCompression::None, false), true);
  TIndexPath path;
  std::vector<Key> keys;
  for (int i = 0; i < 2000; ++i) keys.push_back(IntKey(i * 7 % 2000, 200, static_cast<std::uint32_t>(i)));
  for (std::size_t i = 0; i < keys.size(); ++i) fx.tree.Insert(keys[i].data(), static_cast<std::int32_t>(i), path);
  ASSERT_GT(fx.store.PageCount(), 100);
  for (const Key& key : keys) ASSERT_TRUE(fx.tree.Delete(key.data(), path));
  EXPECT_EQ(fx.store.Root(0), 0);
  EXPECT_EQ(fx.tree.KeyCount(), 0);
  EXPECT_FALSE(fx.tree.First(path));
  // Every page is on the free chain.
  int chained = 0;
  for (std::int32_t p = fx.store.FirstFree(); p != 0; ++chained) {
    ASSERT_LE(chained, fx.store.PageCount());
    TPageRef page(fx.store, fx.store.FetchPage(0, p));
    p = page->Next;
  }
  EXPECT_EQ(chained, fx.store.PageCount());
  const std::int32_t lastFreed = fx.store.FirstFree();
  fx.tree.Insert(keys[0].data(), 1, path);
  EXPECT_EQ(fx.store.Root(0), lastFreed);
}

TEST(BTree, BothCompressionHoldsFarMoreKeysPerPage) {
  TTreeFixture fx(Fmt(100, TKeyCompression::Both, false), true);
  TIndexPath path;
  // Keys sharing a long prefix: the same value, told apart by the identifier.
  for (int i = 0; i < 500; ++i) fx.tree.Insert(IntKey(42, 100, static_cast<std::uint32_t>(i)).data(), i, path);
  TPageRef root(fx.store, fx.store.FetchPage(0, fx.store.Root(0)));
  EXPECT_EQ(root->Type, TPageType::RootLeaf);
  EXPECT_GT(root->Count(), 4 * fx.format.LeafCapacity());
}

// Damaged images are refused with QUARRY_INDEXCORRUPT and never followed into a loop.
TEST(BTree, DamagedPagesRaiseIndexCorrupt) {
  struct TDamage {
    const char* What;
    void (*Apply)(TMemoryPageStore&, std::int32_t root, std::int32_t leaf);
  };
  const TDamage damages[] = {
      {"bad level: a leaf that claims to be a root",
       [](TMemoryPageStore& s, std::int32_t, std::int32_t leaf) { s.Image(leaf)[0] = 3; }},
      {"unknown page type", [](TMemoryPageStore& s, std::int32_t, std::int32_t leaf) { s.Image(leaf)[0] = 9; }},
      {"wrong count in the root",
       [](TMemoryPageStore& s, std::int32_t root, std::int32_t) {
         // Count of the first branch entry (after key 8 and child 4 bytes).
         s.Image(root)[13 + 8 + 4] ^= 0x01;
       }},
      {"entry count beyond capacity",
       [](TMemoryPageStore& s, std::int32_t, std::int32_t leaf) { s.Image(leaf)[2] = 0x7F; }},
      {"child pointing back at the root",
       [](TMemoryPageStore& s, std::int32_t root, std::int32_t) {
         auto& img = s.Image(root);
         for (int i = 0; i < 4; ++i) img[13 + 8 + i] = static_cast<std::uint8_t>(root >> (8 * i));
       }},
      {"looped level link",
       [](TMemoryPageStore& s, std::int32_t, std::int32_t leaf) {
         auto& img = s.Image(leaf);
         for (int i = 0; i < 4; ++i) img[7 + i] = static_cast<std::uint8_t>(leaf >> (8 * i));
       }},
      {"empty page where entries belong",
       [](TMemoryPageStore& s, std::int32_t, std::int32_t leaf) { s.Image(leaf)[1] = s.Image(leaf)[2] = 0; }},
      {"child beyond the file",
       [](TMemoryPageStore& s, std::int32_t root, std::int32_t) { s.Image(root)[13 + 8 + 3] = 0x70; }},
  };
  for (const TDamage& d : damages) {
    SCOPED_TRACE(d.What);
    TTreeFixture fx(Fmt(8, TKeyCompression::None, true), true);
    TIndexPath path;
    for (int i = 0; i < 3000; ++i) fx.tree.Insert(IntKey(i, 8).data(), i, path);
    const std::int32_t root = fx.store.Root(0);
    ASSERT_TRUE(fx.tree.First(path));
    ASSERT_EQ(path.Depth, 2);
    const std::int32_t firstLeaf = path.Leaf().Page;
    d.Apply(fx.store, root, firstLeaf);
    const int verify = RaisedCode([&] { fx.tree.Verify(); });
    const int walk = RaisedCode([&] {
      TIndexPath p;
      std::int64_t steps = 0;
      for (bool more = fx.tree.First(p); more && steps < 10000; more = fx.tree.Next(p)) ++steps;
      if (steps >= 10000) throw std::runtime_error("0 loop");
      fx.tree.Find(IntKey(5, 8).data(), p);
      fx.tree.Seek(2, p);
    });
    EXPECT_EQ(verify, QUARRY_INDEXCORRUPT);
    EXPECT_EQ(walk, QUARRY_INDEXCORRUPT);
  }
}

}  // namespace
}  // namespace quarry
