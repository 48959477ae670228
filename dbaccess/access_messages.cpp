// Raising the access layer's fixed texts (see access_messages.h).
#include "dbaccess/access_messages.h"

namespace quarry::msg {

std::string Format(std::string_view text, std::string_view arg) {
  std::string out(text);
  auto at = out.find("%s");
  if (at != std::string::npos) out.replace(at, 2, arg);
  return out;
}

void Raise(std::string_view text) { throw EDataSetError(std::string(text)); }

void Raise(std::string_view text, std::string_view arg) { throw EDataSetError(Format(text, arg)); }

}  // namespace quarry::msg
