// Word wrap of cells and memos.
#include "print/core/word_wrap.h"

#include "print/core/utf8_text.h"

#include <gtest/gtest.h>

using namespace gpr;

namespace {

struct TWrapCase {
  const char* Text;
  int Width;
  int MaxLines;
  const char* Symbol;
  std::vector<std::string> Lines;
  bool Truncated;
};

std::vector<std::string> Utf8Lines(const TgprWrapped& wrapped) {
  std::vector<std::string> lines;
  for (const auto& line : wrapped.Lines) lines.push_back(EncodeUtf8(line));
  return lines;
}

TEST(WrapText, BreaksBeforeWordsAndCutsLongOnes) {
  const TWrapCase cases[] = {
      {"", 5, 2, "", {""}, false},
      {"Toy Story", 20, 2, "", {"Toy Story"}, false},
      {"2001: A Space Odyssey", 12, 3, "", {"2001: A", "Space", "Odyssey"}, false},
      {"2001: A Space Odyssey", 12, 2, "", {"2001: A", "Space"}, true},
      {"2001: A Space Odyssey", 12, 2, "~>", {"2001: A", "Space~>"}, true},
      // The symbol replaces the last characters of a full line.
      {"abcdefghij klmnopqrst uvw", 10, 2, "...", {"abcdefghij", "klmnopq..."}, true},
      // A word longer than the width is cut; "/" belongs to the word.
      {"and/or/either", 5, 3, "", {"and/o", "r/eit", "her"}, false},
      // A carriage return forces a line, a line feed is ignored.
      {"one\r\ntwo", 10, 3, "", {"one", "two"}, false},
      // Letters beyond ASCII stay in their word.
      {"À bout de souffle", 8, 3, "", {"À bout", "de", "souffle"}, false},
      // Blanks a break leaves are dropped.
      {"ab    cd", 3, 3, "", {"ab", "cd"}, false},
      {"word", 1, 10, "", {"w", "o", "r", "d"}, false},
  };
  for (const TWrapCase& c : cases) {
    SCOPED_TRACE(c.Text);
    const TgprWrapped wrapped = WrapText(DecodeUtf8(c.Text), c.Width, c.MaxLines, DecodeUtf8(c.Symbol));
    EXPECT_EQ(Utf8Lines(wrapped), c.Lines);
    EXPECT_EQ(wrapped.Truncated, c.Truncated);
    for (const auto& line : wrapped.Lines) EXPECT_LE(static_cast<int>(line.size()), c.Width);
  }
}

TEST(WrapText, LineCountStopsAtTheLimit) {
  EXPECT_EQ(WrappedLineCount(U"a b c d e f", 1, 3), 3);
  EXPECT_EQ(WrappedLineCount(U"a b c d e f", 20, 3), 1);
  EXPECT_EQ(WrappedLineCount(U"Snow White and the Seven Dwarfs", 20, 5), 2);
}

TEST(FitToWidth, CutsWithTheSymbolThatFits) {
  std::u32string text = U"The Grand Budapest Hotel";
  EXPECT_TRUE(FitToWidth(text, 10, U"..."));
  EXPECT_EQ(text, U"The Gra...");
  text = U"Greed";
  EXPECT_FALSE(FitToWidth(text, 10, U"..."));
  EXPECT_EQ(text, U"Greed");
  text = U"Greed";
  EXPECT_TRUE(FitToWidth(text, 2, U"..."));
  EXPECT_EQ(text, U"..");
}

}  // namespace
