// The scrambling key stream: the whole-period fast path must give the same bytes as the
// byte-by-byte rule, at every length around the 256-byte period, and undo itself.
#include <gtest/gtest.h>

#include <vector>

#include "engine/storage/files/scramble.h"

namespace quarry {
namespace {

std::vector<std::uint8_t> ByTheRule(std::vector<std::uint8_t> data, TScrambleSeeds seeds) {
  std::uint8_t low = seeds.Low, high = seeds.High;
  for (std::uint8_t& b : data) {
    b ^= static_cast<std::uint8_t>(low ^ high);
    ++low;
    --high;
  }
  return data;
}

TEST(Scramble, MatchesTheByteRuleAtEveryLengthAndIsItsOwnInverse) {
  for (TScrambleSeeds seeds : {RecordScrambleSeeds, TextScrambleSeeds}) {
    for (std::size_t length : {0u, 1u, 100u, 255u, 256u, 257u, 511u, 512u, 4096u, 8164u}) {
      SCOPED_TRACE(length);
      std::vector<std::uint8_t> data(length);
      for (std::size_t i = 0; i < length; ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 3);
      const std::vector<std::uint8_t> plain = data;
      Scramble(data.data(), data.size(), seeds);
      EXPECT_EQ(data, ByTheRule(plain, seeds));
      Scramble(data.data(), data.size(), seeds);
      EXPECT_EQ(data, plain);
    }
  }
}

}  // namespace
}  // namespace quarry
