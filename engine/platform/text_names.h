// The text helpers every layer uses for names and value texts: one trim and one ASCII
// upper-casing. Names of tables, fields and indexes are compared with SameTextIgnoringCase
// (locale_services.h), the locale-aware comparison.
#pragma once

#include <string>
#include <string_view>

namespace quarry {

// The text without leading and trailing blanks: spaces and control characters (bytes up
// to 32).
std::string TrimText(std::string_view text);
// The same without copying: a view into text.
std::string_view TrimmedView(std::string_view text);
// The text with ASCII letters upper-cased; other bytes (UTF-8 sequences) unchanged.
std::string UpperAsciiText(std::string_view text);

// A byte that may begin a name (of a table, field, index or expression column): an ASCII
// letter, '_' or a byte of a character outside ASCII.
bool IsNameStartByte(unsigned char c);
// A byte that may follow it: those, digits and '!', '$', '@'.
bool IsNameByte(unsigned char c);

}  // namespace quarry
