// String comparison of the expression engine under a table's collation (language and
// sort identifiers): whole strings, prefixes of n characters, LIKE patterns, and the
// locale case mapping of UPPER and LOWER.
//
// Language 0 means byte order (case-insensitive comparisons upper-case both sides with
// U.S. English first); any other language compares through the platform locale service,
// ignoring non-spacing marks. Texts are UTF-8; "characters" are code points.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarry {

struct TExpressionCollation {
  uint16_t Language = 0;
  uint16_t Sort = 0;

  // -1, 0 or 1.
  int Compare(const std::string& a, const std::string& b, bool ignoreCase = false) const;
  // Compares the first `characters` characters of both texts.
  int ComparePrefix(const std::string& a, const std::string& b, std::size_t characters, bool ignoreCase) const;
  // LIKE: % any run of characters, _ exactly one, others equal under the collation; the
  // pattern must cover the whole value. No escape character.
  bool Like(const std::string& value, const std::string& pattern) const;
  std::string Upper(const std::string& text) const;
  std::string Lower(const std::string& text) const;

 private:
  bool SameCharacter(const std::string& a, const std::string& b) const;
};

// The characters of a UTF-8 text, one string each (a stray byte counts as one).
std::vector<std::string> SplitCharacters(const std::string& text);

}  // namespace quarry
