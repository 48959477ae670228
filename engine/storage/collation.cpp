// Table collations (see collation.h).
#include "engine/storage/collation.h"

#include <algorithm>
#include <cstring>

namespace quarry {

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

std::string_view UntilZero(std::string_view s) {
  const auto zero = s.find('\0');
  return zero == std::string_view::npos ? s : s.substr(0, zero);
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Byte order; U.S. English upper-casing of the ASCII letters.
class TBinaryCollation final : public TCollation {
 public:
  bool IsBinary() const override { return true; }
  int Compare(std::string_view a, std::string_view b, bool ignoreCase) const override {
    a = UntilZero(a);
    b = UntilZero(b);
    if (!ignoreCase) {
      const int r = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
      if (r != 0) return Sign(r);
      return Sign(static_cast<int>(a.size()) - static_cast<int>(b.size()));
    }
    return Compare(Upper(a), Upper(b), false);
  }
  std::string Upper(std::string_view text) const override {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), AsciiUpper);
    return out;
  }
};

}  // namespace

std::shared_ptr<const TCollation> BinaryCollation() {
  static const auto binary = std::make_shared<const TBinaryCollation>();
  return binary;
}

std::shared_ptr<const TCollation> CollationFor(std::uint16_t languageId, std::uint16_t sortId,
                                               std::string_view tableName) {
  (void)sortId;
  (void)tableName;
  if (languageId == 0) return BinaryCollation();
  return BinaryCollation();
}

}  // namespace quarry
