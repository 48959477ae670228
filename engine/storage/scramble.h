// Scrambling of encrypted tables: records and field definitions use one fixed seed pair, the
// password and the description another. Each byte is XORed with (low seed XOR high seed), then
// the low seed is incremented and the high seed decremented (modulo 256). The operation is its
// own inverse and restarts from the seeds for every record, every block of field definitions
// and every text. The index file scrambles its header and pages with the record seeds.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quarry {

struct TScrambleSeeds {
  std::uint8_t Low;
  std::uint8_t High;
};

// Seeds for records, field definitions and index pages.
constexpr TScrambleSeeds RecordScrambleSeeds{0x5A, 0xC3};
// Seeds for the table password and description.
constexpr TScrambleSeeds TextScrambleSeeds{0x3D, 0x96};

// Scrambles (or unscrambles) count bytes in place.
inline void Scramble(std::uint8_t* data, std::size_t count, TScrambleSeeds seeds) {
  std::uint8_t low = seeds.Low;
  std::uint8_t high = seeds.High;
  if (count < 256) {
    for (std::size_t i = 0; i < count; ++i) {
      data[i] ^= static_cast<std::uint8_t>(low ^ high);
      ++low;
      --high;
    }
    return;
  }
  // The key stream repeats every 256 bytes: XOR whole periods from a pad (index pages and
  // read batches are thousands of bytes).
  std::uint8_t pad[256];
  for (std::size_t i = 0; i < 256; ++i) {
    pad[i] = static_cast<std::uint8_t>(low ^ high);
    ++low;
    --high;
  }
  std::size_t i = 0;
  for (; i + 256 <= count; i += 256)
    for (std::size_t j = 0; j < 256; ++j) data[i + j] ^= pad[j];
  for (; i < count; ++i) data[i] ^= pad[i & 255];
}

}  // namespace quarry
