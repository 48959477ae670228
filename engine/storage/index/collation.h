// A table's collation: how its string keys are cased and ordered.
//
// A table's language and sort identifiers select a locale; language 0 means plain byte order
// and U.S. English case mapping. Index keys and sort keys go through a TCollation for both
// upper-casing (case-insensitive indexes, full-text words) and comparing texts. The locale
// work itself is done by the platform layer's locale service; this class only adapts it to the
// key code and keeps one object per table so the locale is opened once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace quarry {

class TCollation {
 public:
  virtual ~TCollation() = default;

  // True when texts are ordered by their bytes (no language identifier).
  virtual bool IsBinary() const = 0;
  // Orders two texts (each ends at its length or at its first zero byte): -1, 0 or 1. With a
  // locale: string-sort ordering, non-spacing marks ignored, case ignored only when asked.
  virtual int Compare(std::string_view a, std::string_view b, bool ignoreCase) const = 0;
  // The text upper-cased by the locale (U.S. English rules without one).
  virtual std::string Upper(std::string_view text) const = 0;
};

// The collation for a table's language and sort identifiers; language 0 gives the binary one.
// A language the platform does not know raises QUARRY_CANNOTLOADLDDRV.
std::shared_ptr<const TCollation> CollationFor(std::uint16_t languageId, std::uint16_t sortId,
                                               std::string_view tableName = {});
std::shared_ptr<const TCollation> BinaryCollation();

// Length of a zero-terminated text held in a fixed field of `size` bytes.
inline std::size_t FieldTextLength(const std::uint8_t* p, std::size_t size) {
  std::size_t n = 0;
  while (n < size && p[n] != 0) ++n;
  return n;
}

}  // namespace quarry
