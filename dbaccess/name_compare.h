// Name comparison of the access layer: names of sessions, databases, tables, fields and
// parameters are compared trimmed and ignoring case, by the engine's one name comparison
// (SameTextIgnoringCase) after its one trim (TrimmedView).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/platform/text_names.h"

namespace quarry {

bool SameName(std::string_view a, std::string_view b);
// "\" and "/" both become "/", the engine's path separator.
std::string NormalisePath(std::string_view path);
// The names of a ";"-separated list, trimmed, empty ones left out.
std::vector<std::string> SplitNameList(std::string_view names);

}  // namespace quarry
