// Little-endian loads and stores on byte images of on-disk structures (data file header,
// field definitions, records). Every file format of the engine is little-endian whatever the
// host; these helpers keep the conversion in one place and never make unaligned accesses.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace quarry::bytes {

// Reads a little-endian integer or IEEE double at p.
template <typename T>
T Load(const std::uint8_t* p) {
  static_assert(std::is_arithmetic_v<T>);
  if constexpr (std::is_floating_point_v<T>) {
    static_assert(sizeof(T) == 8);
    std::uint64_t bits = Load<std::uint64_t>(p);
    T value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  } else {
    using U = std::make_unsigned_t<T>;
    U value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) value |= static_cast<U>(static_cast<U>(p[i]) << (8 * i));
    return static_cast<T>(value);
  }
}

// Writes value at p as a little-endian integer or IEEE double.
template <typename T>
void Store(std::uint8_t* p, T value) {
  static_assert(std::is_arithmetic_v<T>);
  if constexpr (std::is_floating_point_v<T>) {
    static_assert(sizeof(T) == 8);
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    Store<std::uint64_t>(p, bits);
  } else {
    using U = std::make_unsigned_t<T>;
    U v = static_cast<U>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
  }
}

}  // namespace quarry::bytes
