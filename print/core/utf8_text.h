// Texts of the page layout: cells are measured and placed by characters, so the layout works
// on UTF-32 strings and turns them back into UTF-8 when a page is finished.
//
// Decoding is forgiving: a byte that does not start a well-formed UTF-8 sequence is taken as
// the Latin-1 character of that byte, so a value from an older 8-bit table still prints and
// still has one character per byte.
#pragma once

#include <string>
#include <string_view>

namespace gpr {

std::u32string DecodeUtf8(std::string_view text);
std::string EncodeUtf8(std::u32string_view text);
void AppendUtf8(std::string& out, char32_t c);
// Characters in a UTF-8 text, counted as DecodeUtf8 counts them.
int CharCount(std::string_view text);

// Letters A-Z compared without case; other characters as they are.
bool SameTextNoCase(std::u32string_view a, std::u32string_view b);
// The text without leading and trailing blanks.
std::u32string_view TrimBlanks(std::u32string_view text);

}  // namespace gpr
