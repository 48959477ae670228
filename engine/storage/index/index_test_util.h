// Helpers shared by the index tests: the engine error code an operation raised, and keys.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <vector>

#include "engine/storage/errors/engine_error.h"

namespace quarry::testing {

// The engine error code `f` raises; 0 when it returns normally.
template <typename F>
int RaisedCode(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return ErrorCodeOf(e);
  }
  return 0;
}

// A key whose first bytes are `v` big-endian with the top bit inverted (the integer key
// encoding), followed by a 4-byte identifier and zero padding up to `keyLength`.
inline std::vector<std::uint8_t> IntKey(std::int32_t v, int keyLength, std::uint32_t id = 0) {
  std::vector<std::uint8_t> key(static_cast<std::size_t>(keyLength), 0);
  const auto u = static_cast<std::uint32_t>(v) ^ 0x80000000u;
  for (int i = 0; i < 4 && i < keyLength; ++i) key[i] = static_cast<std::uint8_t>(u >> (24 - 8 * i));
  for (int i = 0; i < 4 && keyLength >= 8; ++i) {
    key[keyLength - 4 + i] = static_cast<std::uint8_t>(id >> (24 - 8 * i));
  }
  return key;
}

}  // namespace quarry::testing
