// Conversion between 64-bit fixed-point numbers and the packed TBcd layout of BCD fields.
#include "engine/values/bcd.h"

#include <cstring>
#include <limits>

namespace quarry {

TBcd TBcd::FromBytes(const std::uint8_t* p) {
  TBcd bcd;
  bcd.Precision = p[0];
  bcd.SignSpecialPlaces = p[1];
  std::memcpy(bcd.Fraction.data(), p + 2, bcd.Fraction.size());
  return bcd;
}

void TBcd::ToBytes(std::uint8_t* p) const {
  p[0] = Precision;
  p[1] = SignSpecialPlaces;
  std::memcpy(p + 2, Fraction.data(), Fraction.size());
}

TBcd FixedToBcd(std::int64_t fixed, int scale) {
  if (scale < 0) scale = 0;
  if (scale > 63) scale = 63;
  TBcd bcd;
  bcd.Precision = 32;
  const bool negative = fixed < 0;
  // Work on the magnitude as unsigned so that INT64_MIN has no overflow.
  std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(fixed) : static_cast<std::uint64_t>(fixed);
  // Digits of the magnitude scaled to `scale` places, least significant first.
  std::array<std::uint8_t, 32> digits{};
  int lowZeros = 0;  // digits below the fourth decimal place (scale > 4)
  if (scale < 4) {
    std::uint64_t divisor = 1;
    for (int i = scale; i < 4; ++i) divisor *= 10;
    std::uint64_t quotient = magnitude / divisor;
    if ((magnitude % divisor) * 2 >= divisor) ++quotient;
    magnitude = quotient;
  } else {
    lowZeros = scale - 4;
  }
  int pos = 0;
  for (; pos < lowZeros && pos < 32; ++pos) digits[pos] = 0;
  for (; pos < 32 && magnitude != 0; ++pos) {
    digits[pos] = static_cast<std::uint8_t>(magnitude % 10);
    magnitude /= 10;
  }
  // Pack right-aligned in 32 digits: digit i (from the least significant) is digit 31 - i
  // counted from the first nibble.
  for (int i = 0; i < 32; ++i) {
    const int nibble = 31 - i;
    const std::uint8_t d = digits[i];
    if (nibble % 2 == 0) bcd.Fraction[nibble / 2] |= static_cast<std::uint8_t>(d << 4);
    else bcd.Fraction[nibble / 2] |= d;
  }
  bool zero = true;
  for (auto d : digits) zero = zero && d == 0;
  bcd.SignSpecialPlaces = static_cast<std::uint8_t>(scale | ((negative && !zero) ? 0x80 : 0));
  return bcd;
}

std::int64_t BcdToFixed(const TBcd& bcd) {
  const int precision = bcd.Precision > 64 ? 64 : bcd.Precision;
  if (precision == 0) return 0;
  const int scale = bcd.Scale();
  // Accumulate the whole number of digits, then shift to four decimal places.
  constexpr std::uint64_t limit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  std::uint64_t whole = 0;
  bool overflow = false;
  const int keep = precision - (scale > 4 ? scale - 4 : 0);  // digits that survive the cut
  for (int n = 0; n < keep; ++n) {
    const std::uint8_t byte = bcd.Fraction[static_cast<std::size_t>(n / 2)];
    const std::uint8_t d = static_cast<std::uint8_t>((n % 2 == 0) ? (byte >> 4) : (byte & 0x0F));
    if (whole > (limit - d) / 10) overflow = true;
    if (!overflow) whole = whole * 10 + (d > 9 ? 9 : d);
  }
  for (int i = scale; i < 4 && !overflow; ++i) {
    if (whole > limit / 10) overflow = true;
    else whole *= 10;
  }
  if (overflow) whole = limit;
  const auto value = static_cast<std::int64_t>(whole);
  return bcd.IsNegative() ? -value : value;
}

}  // namespace quarry
