// Trimmed, case-blind name comparison (see name_compare.h).
#include "dbaccess/name_compare.h"

#include <algorithm>
#include <cctype>

namespace quarry {

std::string_view TrimName(std::string_view name) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!name.empty() && blank(name.front())) name.remove_prefix(1);
  while (!name.empty() && blank(name.back())) name.remove_suffix(1);
  return name;
}

bool SameName(std::string_view a, std::string_view b) {
  a = TrimName(a);
  b = TrimName(b);
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

std::string NormalisePath(std::string_view path) {
  std::string out(path);
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

}  // namespace quarry
