// Scrambling of encrypted tables: records and field definitions use one fixed seed pair, the
// password and the description another. Each byte is XORed with (low seed XOR high seed), then
// the low seed is incremented and the high seed decremented (modulo 256). The operation is its
// own inverse and restarts from the seeds for every record, every block of field definitions
// and every text. The index file scrambles its header and pages with the record seeds.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quarry {

struct TScrambleSeeds {
  std::uint8_t Low;
  std::uint8_t High;
};

// Seeds for records, field definitions and index pages.
constexpr TScrambleSeeds RecordScrambleSeeds{0x5A, 0xC3};
// Seeds for the table password and description.
constexpr TScrambleSeeds TextScrambleSeeds{0x3D, 0x96};

// The key stream of a seed pair repeats every 256 bytes.
constexpr std::array<std::uint8_t, 256> ScramblePad(TScrambleSeeds seeds) {
  std::array<std::uint8_t, 256> pad{};
  std::uint8_t low = seeds.Low;
  std::uint8_t high = seeds.High;
  for (std::size_t i = 0; i < 256; ++i) {
    pad[i] = static_cast<std::uint8_t>(low ^ high);
    ++low;
    --high;
  }
  return pad;
}

inline constexpr std::array<std::uint8_t, 256> RecordScramblePad = ScramblePad(RecordScrambleSeeds);
inline constexpr std::array<std::uint8_t, 256> TextScramblePad = ScramblePad(TextScrambleSeeds);

// Scrambles (or unscrambles) count bytes in place: whole periods and the rest XORed with the
// pad (records are read and written by the thousand, so this must be quick for short runs too).
inline void Scramble(std::uint8_t* data, std::size_t count, TScrambleSeeds seeds) {
  const bool record = seeds.Low == RecordScrambleSeeds.Low && seeds.High == RecordScrambleSeeds.High;
  const bool text = seeds.Low == TextScrambleSeeds.Low && seeds.High == TextScrambleSeeds.High;
  std::array<std::uint8_t, 256> other{};
  const std::uint8_t* pad = RecordScramblePad.data();
  if (text) {
    pad = TextScramblePad.data();
  } else if (!record) {
    other = ScramblePad(seeds);
    pad = other.data();
  }
  // Eight bytes at a time (the pad is 256 bytes, a multiple of eight).
  for (std::size_t i = 0; i < count; i += 256) {
    const std::size_t n = std::min<std::size_t>(256, count - i);
    std::uint8_t* period = data + i;
    std::size_t j = 0;
    for (; j + 8 <= n; j += 8) {
      std::uint64_t word;
      std::uint64_t key;
      std::memcpy(&word, period + j, 8);
      std::memcpy(&key, pad + j, 8);
      word ^= key;
      std::memcpy(period + j, &word, 8);
    }
    for (; j < n; ++j) period[j] ^= pad[j];
  }
}

}  // namespace quarry
