// The line-drawing sets of the text report, and the one table that maps the box-drawing
// characters between Unicode and the 8-bit code page 437 of the "IBM LineDraw" set.
//
// Pages are built with Unicode characters, which every channel that takes Unicode (the
// preview, the printer through the text font, a UTF-8 text file) shows as they are. The raw
// spooler channel sends bytes: it turns a page line into code page 437 with ToCp437. Sets
// read from the general settings file are 8-bit rows; FromCp437 turns them into Unicode.
//
// A set has four rows of seven characters: row 0 the top border, row 1 the inside of a row,
// row 2 a separator rule, row 3 the bottom border. Positions within a row: 0 left border, 1
// fill of the group-break outdent area, 2 column junction inside the outdent area, 3 start of
// a rule that begins after the outdent, 4 fill of the data area, 5 junction between columns,
// 6 right border.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace gpr {

enum TgprLineRow : int { lrTop = 0, lrInside = 1, lrRule = 2, lrBottom = 3 };
enum TgprLinePos : int {
  lpLeftBorder = 0,
  lpOutdentFill = 1,
  lpOutdentJunction = 2,
  lpRuleStart = 3,
  lpFill = 4,
  lpJunction = 5,
  lpRightBorder = 6,
};

inline constexpr int kGprLineDrawRows = 4;
inline constexpr int kGprLineDrawRowLength = 7;

struct TgprLineDrawSet {
  std::array<std::u32string, kGprLineDrawRows> Rows;
  char32_t At(TgprLineRow row, TgprLinePos pos) const { return Rows[row][pos]; }
};

// "ASCII LineDraw" (index 0) and "IBM LineDraw" (index 1, as Unicode box drawing).
TgprLineDrawSet AsciiLineDrawSet();
TgprLineDrawSet IbmLineDrawSet();
// The set of `OutputQuality`: 0 the ASCII set, anything else the IBM set.
TgprLineDrawSet LineDrawSetOf(int outputQuality);

// A set from four 8-bit rows as the general settings file keeps them: each padded with blanks
// or cut to seven characters, code page 437 bytes turned into Unicode.
TgprLineDrawSet FromCp437Rows(const std::array<std::string, kGprLineDrawRows>& rows);

// Code page 437 <-> Unicode for the box-drawing and block characters (0xB0-0xDF); ASCII maps
// to itself. A byte outside both has no Unicode form here and a character outside both no
// byte.
std::optional<char32_t> Cp437ToUnicode(unsigned char byte);
std::optional<unsigned char> UnicodeToCp437(char32_t c);
// A UTF-8 page line as code page 437 bytes for the raw channel; a character without a byte
// becomes `replacement`.
std::string ToCp437(std::string_view utf8Line, char replacement = '?');

}  // namespace gpr
