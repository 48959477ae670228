// Raising the access layer's fixed texts (see access_messages.h).
#include "dbaccess/access_messages.h"

namespace quarry::msg {

namespace {

// Replaces the first "%s" at or after from; returns where the search goes on.
std::size_t Fill(std::string& out, std::size_t from, std::string_view arg) {
  const auto at = out.find("%s", from);
  if (at == std::string::npos) return out.size();
  out.replace(at, 2, arg);
  return at + arg.size();
}

}  // namespace

std::string Format(std::string_view text, std::string_view arg) {
  std::string out(text);
  Fill(out, 0, arg);
  return out;
}

std::string Format(std::string_view text, std::string_view arg, std::string_view second) {
  std::string out(text);
  Fill(out, Fill(out, 0, arg), second);
  return out;
}

void Raise(std::string_view text) { throw EDataSetError(std::string(text)); }

void Raise(std::string_view text, std::string_view arg) { throw EDataSetError(Format(text, arg)); }

void Raise(std::string_view text, std::string_view arg, std::string_view second) {
  throw EDataSetError(Format(text, arg, second));
}

}  // namespace quarry::msg
