// Tests of TRecordsBitmap against a plain vector<bool> model: set/test/count, word-wise
// combination, inversion with bits beyond the size, moving by set bits in both directions
// across empty and full words, resizing, and the pool.
#include "engine/values/records_bitmap.h"

#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace quarry {
namespace {

// Model: index n holds record n (index 0 unused).
using TModel = std::vector<bool>;

TModel ModelOf(const TRecordsBitmap& b) {
  TModel m(static_cast<std::size_t>(b.Size()) + 1, false);
  for (std::int32_t n = 1; n <= b.Size(); ++n) m[static_cast<std::size_t>(n)] = b.Test(n);
  return m;
}

std::int32_t ModelNext(const TModel& m, std::int32_t position, std::int32_t steps) {
  for (std::int32_t n = position + 1; n < static_cast<std::int32_t>(m.size()); ++n) {
    if (m[static_cast<std::size_t>(n)] && --steps == 0) return n;
  }
  return 0;
}

std::int32_t ModelPrior(const TModel& m, std::int32_t position, std::int32_t steps) {
  for (std::int32_t n = std::min<std::int32_t>(position - 1, static_cast<std::int32_t>(m.size()) - 1); n >= 1; --n) {
    if (m[static_cast<std::size_t>(n)] && --steps == 0) return n;
  }
  return 0;
}

// Bit patterns that exercise whole-word skipping: sparse, dense, runs of full and empty words.
TRecordsBitmap Pattern(std::int32_t size, int kind, std::uint32_t seed) {
  TRecordsBitmap b(size);
  std::mt19937 random(seed);
  for (std::int32_t n = 1; n <= size; ++n) {
    bool on = false;
    switch (kind) {
    case 0: on = random() % 50 == 0; break;       // sparse
    case 1: on = random() % 50 != 0; break;       // dense
    case 2: on = ((n - 1) / 96) % 2 == 0; break;  // runs of three words
    default: on = random() % 2 == 0; break;
    }
    if (on) b.Include(n);
  }
  return b;
}

TEST(RecordsBitmap, MovingAndCountingAgreeWithTheModel) {
  for (const std::int32_t size : {1, 31, 32, 33, 64, 95, 1000, 4099}) {
    for (int kind = 0; kind < 4; ++kind) {
      SCOPED_TRACE("size " + std::to_string(size) + " kind " + std::to_string(kind));
      const TRecordsBitmap b = Pattern(size, kind, static_cast<std::uint32_t>(size * 7 + kind));
      const TModel m = ModelOf(b);
      std::int32_t count = 0;
      for (std::int32_t n = 1; n <= size + 1; ++n) {
        EXPECT_EQ(b.CountSetBelow(n), count) << n;
        if (n <= size && m[static_cast<std::size_t>(n)]) ++count;
      }
      EXPECT_EQ(b.CountSet(), count);
      for (const std::int32_t steps : {1, 2, 33, 100}) {
        for (std::int32_t from = 0; from <= size + 1; from += std::max(1, size / 37)) {
          EXPECT_EQ(b.FindNext(from, steps), ModelNext(m, from, steps)) << from << " +" << steps;
          EXPECT_EQ(b.FindPrior(from, steps), ModelPrior(m, from, steps)) << from << " -" << steps;
        }
      }
      EXPECT_EQ(b.First(), ModelNext(m, 0, 1));
      EXPECT_EQ(b.Last(), ModelPrior(m, size + 1, 1));
      if (count > 0) {
        EXPECT_EQ(b.Nth(count), b.Last());
      }
      EXPECT_EQ(b.Nth(count + 1), 0);
    }
  }
}

TEST(RecordsBitmap, InvertedBitsBeyondTheSizeAreNeverSeen) {
  TRecordsBitmap b(40);
  b.Invert();  // sets bits 41..64 of the last word too
  EXPECT_EQ(b.CountSet(), 40);
  EXPECT_EQ(b.FindNext(0, 100), 0);
  EXPECT_EQ(b.FindNext(32, 8), 40);
  EXPECT_EQ(b.FindNext(32, 9), 0);
  EXPECT_EQ(b.Last(), 40);
  EXPECT_FALSE(b.Test(41));
  // Growing must not reveal them.
  b.SetSize(70);
  EXPECT_EQ(b.CountSet(), 40);
  EXPECT_FALSE(b.Test(41));
  EXPECT_FALSE(b.Test(70));
}

TEST(RecordsBitmap, CombiningWorksWordByWord) {
  const TRecordsBitmap a = Pattern(1000, 3, 1);
  const TRecordsBitmap b = Pattern(1000, 3, 2);
  TRecordsBitmap both;
  both.Assign(a);
  both.AndWith(b);
  TRecordsBitmap either;
  either.Assign(a);
  either.OrWith(b);
  TRecordsBitmap inverse;
  inverse.Assign(a);
  inverse.Invert();
  for (std::int32_t n = 1; n <= 1000; ++n) {
    EXPECT_EQ(both.Test(n), a.Test(n) && b.Test(n));
    EXPECT_EQ(either.Test(n), a.Test(n) || b.Test(n));
    EXPECT_EQ(inverse.Test(n), !a.Test(n));
  }
  EXPECT_EQ(a.CountSet() + inverse.CountSet(), 1000);
  // A shorter right side counts as zeros beyond its end.
  TRecordsBitmap shortOne(100);
  shortOne.SetAll();
  TRecordsBitmap cut;
  cut.Assign(a);
  cut.AndWith(shortOne);
  EXPECT_EQ(cut.CountSet(), a.CountSetBelow(101));
}

TEST(RecordsBitmap, OutOfRangeNumbersAreIgnored) {
  TRecordsBitmap b(10);
  b.Include(0);
  b.Include(-5);
  b.Include(11);
  EXPECT_EQ(b.CountSet(), 0);
  EXPECT_FALSE(b.Test(0));
  EXPECT_FALSE(b.Test(11));
  TRecordsBitmap empty;
  EXPECT_EQ(empty.First(), 0);
  EXPECT_EQ(empty.Last(), 0);
  EXPECT_EQ(empty.CountSet(), 0);
}

TEST(RecordsBitmap, ResizingKeepsTheBitsThatRemain) {
  TRecordsBitmap b(100);
  b.Include(3);
  b.Include(99);
  b.SetSize(50);
  EXPECT_TRUE(b.Test(3));
  EXPECT_FALSE(b.Test(99));
  b.SetSize(200);
  EXPECT_TRUE(b.Test(3));
  EXPECT_FALSE(b.Test(99));  // cut off by the shrink, and not revived
  EXPECT_EQ(b.CountSet(), 1);
}

TEST(RecordsBitmap, ThePoolHandsOutClearedBitmapsAndKeepsAtMostItsCapacity) {
  TRecordsBitmapStack& pool = TRecordsBitmapStack::Instance();
  auto first = pool.Take();
  first->SetSize(64);
  first->SetAll();
  pool.Return(std::move(first));
  auto again = pool.Take();
  EXPECT_EQ(again->CountSet(), 0);
  std::vector<std::unique_ptr<TRecordsBitmap>> many;
  for (std::size_t i = 0; i < TRecordsBitmapStack::kCapacity + 5; ++i)
    many.push_back(std::make_unique<TRecordsBitmap>());
  for (auto& b : many) pool.Return(std::move(b));
  EXPECT_EQ(pool.FreeCount(), TRecordsBitmapStack::kCapacity);
}

}  // namespace
}  // namespace quarry
