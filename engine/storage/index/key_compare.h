// Ordering of index keys.
//
// Every search, insert and delete in an index compares keys through one TKeyComparator, built
// once per index from its definition and the table's collation:
//   - "Sys Deleted" and indexes of tables without a language identifier: unsigned bytes over
//     the whole key (negated for an index descending as a whole; descending fields were
//     already inverted when the key was built);
//   - tables with a language identifier: field by field, strings by the locale, everything
//     else bytewise, each field negated when it or the index is descending; the record
//     identifier suffix of non-unique keys last, bytewise;
//   - "Sys Text": the flag byte and field number bytewise, the word by the locale (case
//     respected; words are upper-cased already), then the identifier bytewise.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/storage/index/collation.h"

namespace quarry {

// Where one field lies in a key: its flag byte at Offset, its value in the Size bytes after.
struct TKeyFieldLayout {
  int Offset = 0;
  int Size = 0;
  bool IsString = false;
  bool Descending = false;  // per-field flag
};

class TKeyComparator {
 public:
  // Bytewise over `keyLength` bytes.
  static TKeyComparator Bytewise(int keyLength, bool descending = false);
  // Field by field with the collation (used when the table has a language identifier).
  static TKeyComparator ByFields(int keyLength, std::vector<TKeyFieldLayout> fields, bool descending, bool ignoreCase,
                                 std::shared_ptr<const TCollation> collation);
  // The full-text index's keys (text_index.h).
  static TKeyComparator FullText(std::shared_ptr<const TCollation> collation);

  int KeyLength() const { return keyLength_; }
  // -1, 0 or 1 for key a against key b (both KeyLength() bytes).
  int Compare(const std::uint8_t* a, const std::uint8_t* b) const;

 private:
  enum class TMode : std::uint8_t { Bytewise, Fields, FullText };
  int CompareFields(const std::uint8_t* a, const std::uint8_t* b) const;
  int CompareFullText(const std::uint8_t* a, const std::uint8_t* b) const;

  TMode mode_ = TMode::Bytewise;
  int keyLength_ = 0;
  bool descending_ = false;
  bool ignoreCase_ = false;
  std::vector<TKeyFieldLayout> fields_;
  std::shared_ptr<const TCollation> collation_;
};

}  // namespace quarry
