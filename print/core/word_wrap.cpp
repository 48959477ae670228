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

// The line being filled. Counting keeps only its lengths, so measuring allocates nothing.
template <bool kKeep>
struct TLineBuilder {
  std::u32string Text;
  size_t Length = 0;
  size_t Filled = 0;  // length without trailing blanks
  void Append(std::u32string_view part) {
    if constexpr (kKeep) Text.append(part);
    Length += part.size();
    for (size_t i = part.size(); i > 0; --i) {
      if (part[i - 1] != U' ') {
        Filled = Length - (part.size() - i);
        break;
      }
    }
  }
  void Clear() {
    if constexpr (kKeep) Text.clear();
    Length = Filled = 0;
  }
};

// Wraps until stopAfter lines exist (so the caller sees whether text is left over); keeps the
// lines in `lines` when kKeep, and returns how many there are.
template <bool kKeep>
size_t Wrap(std::u32string_view text, int width, size_t stopAfter, std::vector<std::u32string>* lines) {
  width = std::max(1, width);
  const size_t w = static_cast<size_t>(width);
  size_t count = 0;
  TLineBuilder<kKeep> cur;
  bool wrapped = false;  // cur starts a line made by a break, where blanks are dropped
  const auto emit = [&](bool byBreak) {
    if constexpr (kKeep) {
      TrimRight(cur.Text);
      lines->push_back(std::move(cur.Text));
    }
    ++count;
    cur.Clear();
    wrapped = byBreak;
  };
  size_t i = 0;
  while (i < text.size() && count < stopAfter) {
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
      if (cur.Length + length <= w) {
        cur.Append(text.substr(i, length));
        i = end;
      } else if (cur.Length > 0) {
        emit(true);
      } else {
        cur.Append(text.substr(i, w));
        i += w;
        emit(true);
      }
    } else if (c == U' ' && cur.Length == 0 && wrapped) {
      ++i;
    } else if (cur.Length < w) {
      const char32_t shown = c == U'\t' ? U' ' : c;
      cur.Append(std::u32string_view(&shown, 1));
      ++i;
    } else {
      emit(true);
    }
  }
  // A text that ends in a break leaves no extra empty line; one that ends in a carriage
  // return does, as it asked for one.
  if (count < stopAfter && (cur.Filled > 0 || count == 0)) emit(false);
  return count;
}

}  // namespace

TgprWrapped WrapText(std::u32string_view text, int width, int maxLines, std::u32string_view truncSymbol) {
  maxLines = std::max(1, maxLines);
  TgprWrapped result;
  Wrap<true>(text, width, static_cast<size_t>(maxLines) + 1, &result.Lines);
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
  return static_cast<int>(Wrap<false>(text, width, static_cast<size_t>(limit), nullptr));
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
