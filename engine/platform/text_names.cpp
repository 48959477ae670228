// Trimming and ASCII upper-casing of names and value texts (see text_names.h).
#include "engine/platform/text_names.h"

namespace quarry {

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

}  // namespace

std::string_view TrimmedView(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string TrimText(std::string_view text) { return std::string(TrimmedView(text)); }

std::string UpperAsciiText(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool IsNameStartByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || (c >= 128 && c <= 254);
}

bool IsNameByte(unsigned char c) {
  return IsNameStartByte(c) || (c >= '0' && c <= '9') || c == '!' || c == '$' || c == '@';
}

}  // namespace quarry
