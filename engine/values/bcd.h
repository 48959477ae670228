// Packed decimal values of BCD fields, in the 34-byte TBcd layout stored in records:
//
// | offset | size | meaning |
// |--------|------|---------|
// | 0      | 1    | precision: number of decimal digits held (written as 32; 0 reads as the value 0) |
// | 1      | 1    | bits 0..5 scale (decimal places), bit 6 always 0, bit 7 set for a negative value |
// | 2      | 32   | digits packed two per byte, high nibble first: |value| * 10^scale as a whole number, right-aligned in `precision` digits |
//
// The engine computes with BCD as 64-bit fixed-point numbers with four decimal places (an
// int64 counting ten-thousandths); these routines convert between the two.
#pragma once

#include <array>
#include <cstdint>

namespace quarry {

struct TBcd {
  std::uint8_t Precision = 0;
  std::uint8_t SignSpecialPlaces = 0;  // scale in bits 0..5, sign in bit 7
  std::array<std::uint8_t, 32> Fraction{};

  // Reads the 34-byte image at p.
  static TBcd FromBytes(const std::uint8_t* p);
  // Writes the 34-byte image at p.
  void ToBytes(std::uint8_t* p) const;

  int Scale() const { return SignSpecialPlaces & 0x3F; }
  bool IsNegative() const { return (SignSpecialPlaces & 0x80) != 0; }
};

// Fixed-point value (ten-thousandths) -> BCD with precision 32 and the given scale (0..63).
// A scale below 4 rounds to the nearest (half away from zero); above 4 the extra digits are 0.
TBcd FixedToBcd(std::int64_t fixed, int scale);

// BCD -> fixed-point value (ten-thousandths). Digits beyond the fourth decimal place are
// dropped; a value too large for the fixed-point range saturates. Precision 0 gives 0.
std::int64_t BcdToFixed(const TBcd& bcd);

}  // namespace quarry
