// Table collations (see collation.h).
#include "engine/storage/index/collation.h"

#include <algorithm>
#include <cstring>

#include "engine/platform/locale_services.h"
#include "engine/storage/index/index_error.h"

namespace quarry {

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

std::string_view UntilZero(std::string_view s) {
  const auto zero = s.find('\0');
  return zero == std::string_view::npos ? s : s.substr(0, zero);
}

// Byte order; U.S. English upper-casing.
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
    // U.S. English upper-casing, without copies for ASCII texts.
    return LocaleCompare(a, b, true, 0);
  }
  std::string Upper(std::string_view text) const override { return LocaleUpperCase(text); }
};

// Ordering and casing by a locale, through the platform's locale services.
class TLocaleCollation final : public TCollation {
 public:
  TLocaleCollation(std::uint16_t language, std::uint16_t sort) : language_(language), sort_(sort) {}
  bool IsBinary() const override { return false; }
  int Compare(std::string_view a, std::string_view b, bool ignoreCase) const override {
    return LocaleCompare(UntilZero(a), UntilZero(b), ignoreCase, language_, sort_);
  }
  std::string Upper(std::string_view text) const override { return LocaleUpperCase(text, language_, sort_); }

 private:
  std::uint16_t language_;
  std::uint16_t sort_;
};

}  // namespace

std::shared_ptr<const TCollation> BinaryCollation() {
  static const auto binary = std::make_shared<const TBinaryCollation>();
  return binary;
}

std::shared_ptr<const TCollation> CollationFor(std::uint16_t languageId, std::uint16_t sortId,
                                               std::string_view tableName) {
  if (languageId == 0) return BinaryCollation();
  if (!IsValidLocale(MakeLocaleId(languageId, sortId))) {
    RaiseIndexError(QUARRY_CANNOTLOADLDDRV, tableName);
  }
  return std::make_shared<const TLocaleCollation>(languageId, sortId);
}

}  // namespace quarry
