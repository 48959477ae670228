// Name comparison of the access layer: names of sessions, databases, tables, fields and
// parameters are compared trimmed and without regard to (ASCII) case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quarry {

std::string_view TrimName(std::string_view name);
bool SameName(std::string_view a, std::string_view b);
// "\" and "/" both become "/", the engine's path separator.
std::string NormalisePath(std::string_view path);
// The names of a ";"-separated list, trimmed, empty ones left out.
std::vector<std::string> SplitNameList(std::string_view names);

}  // namespace quarry
