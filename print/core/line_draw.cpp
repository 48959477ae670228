// Line-drawing sets and the code page 437 table (line_draw.h).
#include "print/core/line_draw.h"

#include "print/core/utf8_text.h"

#include <algorithm>

namespace gpr {

namespace {

// Code page 437 0xB0 to 0xDF in Unicode: shades, single and double box drawing, blocks.
constexpr char32_t kCp437Boxes[48] = {
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0-B7
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // B8-BF
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0-C7
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // C8-CF
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0-D7
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // D8-DF
};
constexpr unsigned char kFirstBox = 0xB0;

std::u32string RowFromBytes(std::string_view bytes) {
  std::u32string row;
  for (size_t i = 0; i < kGprLineDrawRowLength; ++i) {
    const unsigned char byte = i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : ' ';
    row.push_back(Cp437ToUnicode(byte).value_or(U' '));
  }
  return row;
}

}  // namespace

std::optional<char32_t> Cp437ToUnicode(unsigned char byte) {
  if (byte < 0x80) return byte;
  if (byte >= kFirstBox && byte < kFirstBox + std::size(kCp437Boxes)) return kCp437Boxes[byte - kFirstBox];
  return std::nullopt;
}

std::optional<unsigned char> UnicodeToCp437(char32_t c) {
  if (c < 0x80) return static_cast<unsigned char>(c);
  const auto* end = std::end(kCp437Boxes);
  const auto* found = std::find(std::begin(kCp437Boxes), end, c);
  if (found == end) return std::nullopt;
  return static_cast<unsigned char>(kFirstBox + (found - std::begin(kCp437Boxes)));
}

std::string ToCp437(std::string_view utf8Line, char replacement) {
  std::string out;
  for (const char32_t c : DecodeUtf8(utf8Line)) {
    const auto byte = UnicodeToCp437(c);
    out.push_back(byte ? static_cast<char>(*byte) : replacement);
  }
  return out;
}

TgprLineDrawSet AsciiLineDrawSet() { return {{U"-------", U"| || ||", U"|-||-+|", U"-------"}}; }

TgprLineDrawSet IbmLineDrawSet() {
  return FromCp437Rows({"\xDA\xC4\xC2\xC2\xC4\xC2\xBF", "\xB3\x20\xB3\xB3\x20\xB3\xB3", "\xC3\xC4\xB3\xC3\xC4\xC5\xB4",
                        "\xC0\xC4\xC1\xC1\xC4\xC1\xD9"});
}

TgprLineDrawSet LineDrawSetOf(int outputQuality) { return outputQuality == 0 ? AsciiLineDrawSet() : IbmLineDrawSet(); }

TgprLineDrawSet FromCp437Rows(const std::array<std::string, kGprLineDrawRows>& rows) {
  TgprLineDrawSet set;
  for (int i = 0; i < kGprLineDrawRows; ++i) set.Rows[i] = RowFromBytes(rows[i]);
  return set;
}

}  // namespace gpr
