// Tests of the record cache: eviction order, pins and dirty records, discarding while pinned,
// and a randomised run against a simple model that checks the invariants after every step.
#include "engine/storage/data/record_cache.h"

#include <gtest/gtest.h>

#include <list>
#include <map>
#include <random>

namespace quarry {
namespace {

TEST(RecordCache, EvictsTheLeastRecentlyUsedCleanUnpinnedRecord) {
  TRecordCache cache(16);
  for (int n = 1; n <= 5; ++n) cache.Insert(n);
  cache.Find(1);                // 1 becomes the most recent: 2 is now the oldest
  cache.Find(2)->Dirty = true;  // dirty: skipped
  cache.Pin(cache.Find(3));     // pinned: skipped (and now most recent)
  ASSERT_TRUE(cache.EvictOne());
  EXPECT_FALSE(cache.Contains(4));
  EXPECT_TRUE(cache.EvictOne());
  EXPECT_FALSE(cache.Contains(5));
  EXPECT_TRUE(cache.EvictOne());
  EXPECT_FALSE(cache.Contains(1));
  EXPECT_FALSE(cache.EvictOne()) << "only a dirty and a pinned record are left";
  EXPECT_EQ(cache.Count(), 2);
  EXPECT_TRUE(cache.CheckInvariants());
}

TEST(RecordCache, DiscardingKeepsPinnedImagesUntilTheirLastUnpin) {
  TRecordCache cache(8);
  TRecord* held = cache.Insert(7);
  held->Data[3] = 42;
  cache.Pin(held);
  cache.Pin(held);
  cache.Insert(8);
  cache.Clear();
  EXPECT_EQ(cache.Count(), 0);
  EXPECT_EQ(held->Data[3], 42);
  cache.Unpin(held);
  EXPECT_EQ(held->Data[3], 42);
  cache.Unpin(held);  // back to the pool
  EXPECT_TRUE(cache.CheckInvariants());
  TRecord* fresh = cache.Insert(7);
  EXPECT_EQ(fresh->Data[3], 0) << "a reused object starts zeroed";
}

TEST(RecordCache, RandomisedAgainstAModel) {
  std::mt19937 random(2024);
  TRecordCache cache(4);
  std::list<std::int32_t> mru;                         // model: most recent first
  std::map<std::int32_t, std::pair<bool, int>> state;  // number -> dirty, pins
  auto touch = [&](std::int32_t n) {
    mru.remove(n);
    mru.push_front(n);
  };
  for (int step = 0; step < 20000; ++step) {
    const std::int32_t n = 1 + static_cast<std::int32_t>(random() % 200);
    switch (random() % 6) {
    case 0:
    case 1:
      if (!cache.Contains(n)) {
        cache.Insert(n);
        state[n] = {false, 0};
        touch(n);
      } else {
        ASSERT_EQ(cache.Find(n)->RecordNo, n);
        touch(n);
      }
      break;
    case 2:
      if (TRecord* r = cache.Find(n)) {
        touch(n);
        r->Dirty = !r->Dirty;
        state[n].first = r->Dirty;
      }
      break;
    case 3:
      if (TRecord* r = cache.Find(n)) {
        touch(n);
        if (state[n].second > 0 && random() % 2) {
          cache.Unpin(r);
          --state[n].second;
        } else if (state[n].second < 3) {
          cache.Pin(r);
          ++state[n].second;
        }
      }
      break;
    case 4: {
      // The model's choice: the oldest record that is neither dirty nor pinned.
      std::int32_t victim = 0;
      for (auto it = mru.rbegin(); it != mru.rend(); ++it)
        if (!state[*it].first && state[*it].second == 0) {
          victim = *it;
          break;
        }
      ASSERT_EQ(cache.EvictOne(), victim != 0);
      if (victim) {
        EXPECT_FALSE(cache.Contains(victim));
        mru.remove(victim);
        state.erase(victim);
      }
      break;
    }
    default:
      if (random() % 50 == 0) {
        cache.TrimTo(20);
        for (auto it = state.begin(); it != state.end();) {
          if (!cache.Contains(it->first)) {
            mru.remove(it->first);
            it = state.erase(it);
          } else {
            ++it;
          }
        }
      }
      break;
    }
    ASSERT_EQ(cache.Count(), static_cast<int>(state.size()));
    if (step % 97 == 0) {
      ASSERT_TRUE(cache.CheckInvariants()) << step;
    }
  }
  EXPECT_TRUE(cache.CheckInvariants());
}

}  // namespace
}  // namespace quarry
