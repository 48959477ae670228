// Raising the errors of the expression engine: parse and type errors of filters and SQL.
//
// Every such error is the engine error of the caller's code (SQL QUARRY_SQLPARSE, filters QUARRY_INVALIDFILTER)
// with the caller's table name and a detail message of at most 255 characters.
#pragma once

#include <cstdint>
#include <string>

#include "engine/storage/errors/engine_error.h"

namespace quarry {

inline constexpr uint16_t kSqlErrorCode = QUARRY_SQLPARSE;
inline constexpr uint16_t kFilterErrorCode = QUARRY_INVALIDFILTER;
inline constexpr std::size_t kMaxMessageLength = 255;

// Cuts the message to 255 bytes (never inside a UTF-8 character) and raises the engine
// error with it as the detail and tableName as the table.
[[noreturn]] void RaiseExpressionError(uint16_t code, const std::string& tableName, const std::string& message);
// An SQL statement's error that names no table.
[[noreturn]] void RaiseSqlError(const std::string& message);

// The first `limit` bytes of text, shortened so that no UTF-8 character is split.
std::string CutUtf8(const std::string& text, std::size_t limit);

}  // namespace quarry
