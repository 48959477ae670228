// UTF-8 decoding and encoding for the page layout (utf8_text.h).
#include "print/core/utf8_text.h"

namespace gpr {

namespace {

char32_t FoldAscii(char32_t c) { return c >= U'a' && c <= U'z' ? c - 32 : c; }

// Length of the well-formed sequence at text[pos] and its character, or 0 when malformed.
int DecodeAt(std::string_view text, size_t pos, char32_t& out) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  int length = 0;
  char32_t c = 0;
  if (lead < 0x80) {
    out = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, c = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, c = lead & 0x07;
  } else {
    return 0;
  }
  if (pos + length > text.size()) return 0;
  for (int i = 1; i < length; ++i) {
    const unsigned char next = byte(pos + i);
    if ((next & 0xC0) != 0x80) return 0;
    c = (c << 6) | (next & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are malformed.
  if ((length == 3 && c < 0x800) || (length == 4 && (c < 0x10000 || c > 0x10FFFF)) || (c >= 0xD800 && c <= 0xDFFF))
    return 0;
  out = c;
  return length;
}

}  // namespace

std::u32string DecodeUtf8(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    char32_t c = 0;
    const int length = DecodeAt(text, pos, c);
    if (length == 0) {
      out.push_back(static_cast<unsigned char>(text[pos]));
      ++pos;
    } else {
      out.push_back(c);
      pos += length;
    }
  }
  return out;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string EncodeUtf8(std::u32string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char32_t c : text) AppendUtf8(out, c);
  return out;
}

int CharCount(std::string_view text) {
  int count = 0;
  for (size_t pos = 0; pos < text.size(); ++count) {
    char32_t c = 0;
    const int length = DecodeAt(text, pos, c);
    pos += length == 0 ? 1 : length;
  }
  return count;
}

bool SameTextNoCase(std::u32string_view a, std::u32string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

std::u32string_view TrimBlanks(std::u32string_view text) {
  const auto blank = [](char32_t c) { return c == U' ' || c == U'\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace gpr
