// String comparison under a table's collation, through the platform locale service.
#include "engine/values/expression_collation.h"

#include "engine/platform/locale_services.h"
#include "engine/values/value_ops.h"

namespace quarry {

std::vector<std::string> SplitCharacters(const std::string& text) {
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t j = i + 1;
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0xC0)
      while (j < text.size() && (static_cast<unsigned char>(text[j]) & 0xC0) == 0x80) ++j;
    out.push_back(text.substr(i, j - i));
    i = j;
  }
  return out;
}

int TExpressionCollation::Compare(const std::string& a, const std::string& b, bool ignoreCase) const {
  return LocaleCompare(a, b, ignoreCase, Language, Sort);
}

int TExpressionCollation::ComparePrefix(const std::string& a, const std::string& b, std::size_t characters,
                                        bool ignoreCase) const {
  return Compare(Utf8Left(a, characters), Utf8Left(b, characters), ignoreCase);
}

bool TExpressionCollation::SameCharacter(const std::string& a, const std::string& b) const {
  if (a == b) return true;
  if (Language == 0) return false;
  return LocaleCompare(a, b, false, Language, Sort) == 0;
}

bool TExpressionCollation::Like(const std::string& value, const std::string& pattern) const {
  const std::vector<std::string> v = SplitCharacters(value);
  const std::vector<std::string> p = SplitCharacters(pattern);
  // Greedy match with backtracking to the last %: linear in practice, O(n*m) at worst.
  std::size_t vi = 0, pi = 0;
  std::size_t starP = std::string::npos, starV = 0;
  while (vi < v.size()) {
    if (pi < p.size() && p[pi] == "%") {
      starP = pi++;
      starV = vi;
    } else if (pi < p.size() && (p[pi] == "_" || SameCharacter(p[pi], v[vi]))) {
      ++pi;
      ++vi;
    } else if (starP != std::string::npos) {
      pi = starP + 1;
      vi = ++starV;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == "%") ++pi;
  return pi == p.size();
}

std::string TExpressionCollation::Upper(const std::string& text) const { return LocaleUpperCase(text, Language, Sort); }
std::string TExpressionCollation::Lower(const std::string& text) const { return LocaleLowerCase(text, Language, Sort); }

}  // namespace quarry
