// Trimmed, case-blind name comparison (see name_compare.h).
#include "dbaccess/name_compare.h"

#include <algorithm>
#include <cctype>

#include "engine/platform/locale_services.h"

namespace quarry {

bool SameName(std::string_view a, std::string_view b) { return SameTextIgnoringCase(TrimmedView(a), TrimmedView(b)); }

std::string NormalisePath(std::string_view path) {
  std::string out(path);
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

std::vector<std::string> SplitNameList(std::string_view names) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= names.size()) {
    std::size_t end = names.find(';', start);
    if (end == std::string_view::npos) end = names.size();
    std::string_view part = TrimmedView(names.substr(start, end - start));
    if (!part.empty()) out.emplace_back(part);
    start = end + 1;
  }
  return out;
}

}  // namespace quarry
