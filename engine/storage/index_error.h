// Raising engine errors from the index code.
//
// The index file, its pages and the tree algorithms report every failure through this one
// function, so they carry the table (file) name and, where one applies, the index name in the
// engine error's context the same way everywhere.
#pragma once

#include <cstdint>
#include <string_view>

namespace quarry {

// Codes the index code raises (names and messages live with the engine's error table).
constexpr std::uint16_t HeaderCorruptCode = 8961;
constexpr std::uint16_t IndexCorruptCode = 8965;
constexpr std::uint16_t TableFullCode = 9479;
constexpr std::uint16_t IndexLimitCode = 9487;
constexpr std::uint16_t KeyViolationCode = 9729;
constexpr std::uint16_t PrimaryKeyRedefineCode = 9993;
constexpr std::uint16_t IndexNameRequiredCode = 10010;
constexpr std::uint16_t InvalidIndexNameCode = 10022;
constexpr std::uint16_t InvalidKeyCode = 10026;
constexpr std::uint16_t IndexExistsCode = 10027;
constexpr std::uint16_t OldVersionCode = 12035;
constexpr std::uint16_t SearchColumnRequiredCode = 12292;
constexpr std::uint16_t LanguageDriverCode = 15878;

// Raises the engine error `code` with the table name and, where given, index and field names.
[[noreturn]] void RaiseIndexError(std::uint16_t code, std::string_view tableName,
                                  std::string_view indexName = {}, std::string_view fieldName = {});

}  // namespace quarry
