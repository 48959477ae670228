// Word wrap of cell and memo texts to a width in characters.
//
// A line breaks before a word that would overflow; a word is a run of letters, digits and
// "/" (any character beyond ASCII counts as a letter, so accented words stay whole). A word
// longer than the width is cut. A carriage return forces a new line; line feeds are ignored.
// Blanks that a break leaves at the start of the next line are dropped, and lines carry no
// trailing blanks.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace gpr {

struct TgprWrapped {
  std::vector<std::u32string> Lines;  // at least one line (an empty text gives one empty line)
  bool Truncated = false;             // text was left over after the last allowed line
};

// Wraps text to width (at least 1) and keeps at most maxLines (at least 1) lines. When text
// is left over and truncSymbol is not empty, the last line ends with the symbol: its final
// characters give way to it so that the line still fits the width.
TgprWrapped WrapText(std::u32string_view text, int width, int maxLines, std::u32string_view truncSymbol = {});

// Lines text needs at width, counting no further than limit.
int WrappedLineCount(std::u32string_view text, int width, int limit);

// Cuts a one-line text to width, ending it with truncSymbol when it was cut; returns whether
// it was cut.
bool FitToWidth(std::u32string& text, int width, std::u32string_view truncSymbol);

}  // namespace gpr
