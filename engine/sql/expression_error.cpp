// Raising expression errors through the engine's error mechanism.
#include "engine/sql/expression_error.h"

#include "engine/storage/errors/engine_error.h"

namespace quarry {

std::string CutUtf8(const std::string& text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t cut = limit;
  // Step back over continuation bytes so the cut lands on a character boundary.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut);
}

void RaiseExpressionError(uint16_t code, const std::string& tableName, const std::string& message) {
  RaiseEngineError(code, {.table = tableName, .message = CutUtf8(message, kMaxMessageLength)});
}

void RaiseSqlError(const std::string& message) { RaiseExpressionError(kSqlErrorCode, "", message); }

}  // namespace quarry
