// Memo codes and lines (memo_codes.h).
#include "print/core/memo_codes.h"

#include "print/core/utf8_text.h"
#include "print/core/word_wrap.h"

#include <algorithm>
#include <cctype>

namespace gpr {

namespace {

struct TPlaced {
  std::u32string Left, Centre, Right;
  bool Any = false;
};

const std::string* CodeText(char letter, const TgprMemoCodes& codes) {
  switch (std::toupper(static_cast<unsigned char>(letter))) {
  case 'D': return &codes.Date;
  case 'T': return &codes.Time;
  case 'P': return &codes.Page;
  case 'N': return &codes.PageCount;
  default: return nullptr;
  }
}

// Splits one source line into its inline text and its placed parts.
std::u32string ExpandLine(std::string_view line, const TgprMemoCodes& codes, TPlaced& placed) {
  std::string inlineText;
  for (size_t i = 0; i < line.size(); ++i) {
    const std::string* text = line[i] == '^' && i + 1 < line.size() ? CodeText(line[i + 1], codes) : nullptr;
    if (text == nullptr) {
      inlineText.push_back(line[i]);
      continue;
    }
    i += 1;
    const char where =
        i + 1 < line.size() ? static_cast<char>(std::toupper(static_cast<unsigned char>(line[i + 1]))) : 0;
    if (where == 'L' || where == 'C' || where == 'R') {
      std::u32string& part = where == 'L' ? placed.Left : where == 'C' ? placed.Centre : placed.Right;
      part += DecodeUtf8(*text);
      placed.Any = true;
      i += 1;
    } else {
      inlineText += *text;
    }
  }
  return DecodeUtf8(inlineText);
}

std::u32string Aligned(std::u32string text, int width, TgprAlignment alignment) {
  if (text.empty()) return text;
  text.resize(std::min(text.size(), static_cast<size_t>(width)));
  const int free = width - static_cast<int>(text.size());
  const int left = alignment == gaRight ? free : alignment == gaCenter ? free / 2 : 0;
  return std::u32string(static_cast<size_t>(left), U' ') + text;
}

void Overlay(std::u32string& line, size_t at, std::u32string_view part) {
  if (line.size() < at + part.size()) line.resize(at + part.size(), U' ');
  line.replace(at, part.size(), part);
}

}  // namespace

std::string PageNumberText(const TgprReportSettings& settings, int pageNo, int across, int pagesAcross) {
  std::string text = std::to_string(pageNo);
  if (pagesAcross >= 2) text += "-" + std::to_string(across);
  if (!settings.MemoPageFormatStr.empty()) text = settings.MemoPageFormatStr + " " + text;
  return text;
}

TgprMemoBox MemoBoxOf(const TgprRptMemo& memo, const TgprPrintSettings& print, const TgprReportSettings& settings) {
  const int rightMargin = std::max(0, settings.PageMarginTxt.Right);
  const int span = std::max(1, print.CharsPerLine - print.LeftMargin - rightMargin);
  TgprMemoBox box;
  box.Left = print.LeftMargin + std::clamp(memo.MemoXPosPer, 0, 100) * span / 100;
  box.Width = std::max(1, std::clamp(memo.MemoWidPer, 0, 100) * span / 100);
  return box;
}

bool MemoPrints(const TgprRptMemo& memo) { return memo.MemoVisible && !memo.Text.empty(); }

std::vector<std::u32string> MemoLines(const TgprRptMemo& memo, int boxWidth, const TgprMemoCodes& codes) {
  std::vector<std::u32string> lines;
  if (!MemoPrints(memo)) return lines;
  boxWidth = std::max(1, boxWidth);
  lines.resize(static_cast<size_t>(std::clamp(memo.MemoMarginTxt.Top, 0, 100)));
  std::string_view text = memo.Text;
  for (;;) {
    const size_t end = text.find('\r');
    std::string source(text.substr(0, end));
    source.erase(std::remove(source.begin(), source.end(), '\n'), source.end());
    TPlaced placed;
    const std::u32string inlineText = ExpandLine(source, codes, placed);
    if (!placed.Any) {
      for (std::u32string& line : WrapText(inlineText, boxWidth, 1 << 20).Lines)
        lines.push_back(Aligned(std::move(line), boxWidth, memo.MemoAlignment));
    } else {
      std::u32string line = Aligned(inlineText, boxWidth, memo.MemoAlignment);
      const size_t w = static_cast<size_t>(boxWidth);
      const auto cut = [&](std::u32string part) { return part.substr(0, std::min(part.size(), w)); };
      Overlay(line, 0, cut(placed.Left));
      const std::u32string centre = cut(placed.Centre);
      Overlay(line, (w - centre.size()) / 2, centre);
      const std::u32string right = cut(placed.Right);
      Overlay(line, w - right.size(), right);
      line.resize(std::min(line.size(), w));
      lines.push_back(std::move(line));
    }
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  lines.resize(lines.size() + static_cast<size_t>(std::clamp(memo.MemoMarginTxt.Bottom, 0, 100)));
  return lines;
}

}  // namespace gpr
