// Memo codes and memo lines.
#include "print/core/memo_codes.h"

#include "print/core/utf8_text.h"

#include <gtest/gtest.h>

using namespace gpr;

namespace {

std::vector<std::string> Lines(const TgprRptMemo& memo, int width = 20) {
  TgprMemoCodes codes{"10/12/2026", "14:05", "3", "41"};
  std::vector<std::string> out;
  for (const auto& line : MemoLines(memo, width, codes)) out.push_back(EncodeUtf8(line));
  return out;
}

TgprRptMemo MemoWith(const char* text, TgprAlignment alignment = gaCenter) {
  TgprRptMemo memo;
  memo.Text = text;
  memo.MemoAlignment = alignment;
  return memo;
}

TEST(MemoLines, CodesInlineAndPlaced) {
  struct TCase {
    const char* Text;
    TgprAlignment Alignment;
    std::vector<std::string> Lines;
  };
  const TCase cases[] = {
      {"Page ^P of ^N", gaLeft, {"Page 3 of 41"}},
      {"Page ^p of ^n", gaRight, {"        Page 3 of 41"}},
      {"\r^DL^PC^TR", gaCenter, {"", "10/12/2026  3       14:05"}},
      {"^TR", gaLeft, {"               14:05"}},
      {"Films ^DR", gaLeft, {"Films     10/12/2026"}},
      {"50^% ^X", gaLeft, {"50^% ^X"}},
      {"A long title that wraps", gaCenter, {" A long title that", "       wraps"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(Lines(MemoWith(c.Text, c.Alignment), std::string(c.Text).find('C') != std::string::npos ? 25 : 20),
              c.Lines);
  }
}

TEST(MemoLines, MarginsAndVisibility) {
  TgprRptMemo memo = MemoWith("Title");
  memo.MemoMarginTxt = {0, 2, 0, 1};
  EXPECT_EQ(Lines(memo, 9), (std::vector<std::string>{"", "", "  Title", ""}));
  memo.MemoVisible = false;
  EXPECT_TRUE(Lines(memo, 9).empty());
  EXPECT_TRUE(Lines(MemoWith(""), 9).empty());
}

TEST(PageNumberText, AcrossPagesAndPrefix) {
  TgprReportSettings settings;
  EXPECT_EQ(PageNumberText(settings, 3, 1, 1), "3");
  EXPECT_EQ(PageNumberText(settings, 1, 2, 3), "1-2");
  settings.MemoPageFormatStr = "Page";
  EXPECT_EQ(PageNumberText(settings, 7, 1, 1), "Page 7");
}

}  // namespace
