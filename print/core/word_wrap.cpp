// Word wrap (word_wrap.h).
#include "print/core/word_wrap.h"

#include <algorithm>

namespace gpr {

namespace {

bool IsWordChar(char32_t c) {
  return (c >= U'0' && c <= U'9') || (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z') || c == U'/' || c >= 0x80;
}

void TrimRight(std::u32string& line) {
  while (!line.empty() && line.back() == U' ') line.pop_back();
}

// Wraps until stopAfter lines exist (so the caller sees whether text is left over).
std::vector<std::u32string> Wrap(std::u32string_view text, int width, size_t stopAfter) {
  width = std::max(1, width);
  const size_t w = static_cast<size_t>(width);
  std::vector<std::u32string> lines;
  std::u32string cur;
  bool wrapped = false;  // cur starts a line made by a break, where blanks are dropped
  const auto emit = [&](bool byBreak) {
    TrimRight(cur);
    lines.push_back(std::move(cur));
    cur.clear();
    wrapped = byBreak;
  };
  size_t i = 0;
  while (i < text.size() && lines.size() < stopAfter) {
    const char32_t c = text[i];
    if (c == U'\n') {
      ++i;
    } else if (c == U'\r') {
      emit(false);
      ++i;
    } else if (IsWordChar(c)) {
      size_t end = i;
      while (end < text.size() && IsWordChar(text[end])) ++end;
      const size_t length = end - i;
      if (cur.size() + length <= w) {
        cur.append(text.substr(i, length));
        i = end;
      } else if (!cur.empty()) {
        emit(true);
      } else {
        cur.append(text.substr(i, w));
        i += w;
        emit(true);
      }
    } else if (c == U' ' && cur.empty() && wrapped) {
      ++i;
    } else if (cur.size() < w) {
      cur.push_back(c == U'\t' ? U' ' : c);
      ++i;
    } else {
      emit(true);
    }
  }
  TrimRight(cur);
  if (lines.size() < stopAfter && (!cur.empty() || lines.empty())) lines.push_back(std::move(cur));
  // A text that ends in a break leaves no extra empty line; one that ends in a carriage
  // return does, as it asked for one.
  return lines;
}

}  // namespace

TgprWrapped WrapText(std::u32string_view text, int width, int maxLines, std::u32string_view truncSymbol) {
  maxLines = std::max(1, maxLines);
  TgprWrapped result;
  result.Lines = Wrap(text, width, static_cast<size_t>(maxLines) + 1);
  if (result.Lines.size() > static_cast<size_t>(maxLines)) {
    result.Truncated = true;
    result.Lines.resize(static_cast<size_t>(maxLines));
    if (!truncSymbol.empty()) {
      std::u32string& last = result.Lines.back();
      const size_t keep = std::max(0, std::max(1, width) - static_cast<int>(truncSymbol.size()));
      if (last.size() > keep) last.resize(keep);
      last.append(truncSymbol);
      if (last.size() > static_cast<size_t>(std::max(1, width))) last.resize(static_cast<size_t>(std::max(1, width)));
    }
  }
  return result;
}

int WrappedLineCount(std::u32string_view text, int width, int limit) {
  limit = std::max(1, limit);
  return static_cast<int>(Wrap(text, width, static_cast<size_t>(limit)).size());
}

bool FitToWidth(std::u32string& text, int width, std::u32string_view truncSymbol) {
  const size_t w = static_cast<size_t>(std::max(0, width));
  if (text.size() <= w) return false;
  const size_t keep = truncSymbol.size() >= w ? 0 : w - truncSymbol.size();
  text.resize(keep);
  text.append(truncSymbol.substr(0, w - keep));
  return true;
}

}  // namespace gpr
