// Result column names and aggregate result types; see result_columns.h.
#include "engine/sql/result_columns.h"

#include <optional>

#include "engine/platform/locale_services.h"
#include "engine/values/exp_token.h"
#include "engine/values/value_ops.h"

namespace quarry {

namespace {

bool SameName(const std::string& a, const std::string& b) { return SameTextIgnoringCase(a, b); }

// The first bytes of text, at most limit of them, never ending inside a UTF-8 character.
std::string LeftBytes(const std::string& text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut);
}

// The last bytes of text, at most limit of them, never starting inside a UTF-8 character.
std::string RightBytes(const std::string& text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t start = text.size() - limit;
  while (start < text.size() && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) ++start;
  return text.substr(start);
}

const char* AggregatePrefix(uint8_t aggregate) {
  switch (aggregate) {
  case agg::Sum: return "Sum Of ";
  case agg::RunSum: return "Running Sum Of ";
  case agg::Min: return "Min Of ";
  case agg::Max: return "Max Of ";
  case agg::Avg: return "Average Of ";
  case agg::Count: return "Count Of ";
  default: return "";
  }
}

}  // namespace

std::string BaseResultName(const TResultNameInput& column) {
  if (!column.Alias.empty()) return RightBytes(column.Alias, kMaxResultNameLength);
  if (column.Aggregate != agg::None) {
    const std::string argument = column.ColumnName.empty() ? std::string("Expr") : column.ColumnName;
    return LeftBytes(AggregatePrefix(column.Aggregate) + argument, kMaxResultNameLength);
  }
  if (column.Plain) return LeftBytes(column.ColumnName, kMaxResultNameLength);
  return "Expression";
}

std::vector<std::string> AssignResultNames(const std::vector<TResultNameInput>& columns) {
  const std::size_t count = columns.size();
  std::vector<std::optional<std::string>> borne(count);
  for (std::size_t i = 0; i < count; ++i) {
    const TResultNameInput& c = columns[i];
    if (!c.Alias.empty()) borne[i] = RightBytes(c.Alias, kMaxResultNameLength);
    else if (c.Plain && !c.FromStar && c.Aggregate == agg::None) borne[i] = c.ColumnName;
  }

  auto taken = [&](std::size_t self, const std::string& name) {
    for (std::size_t j = 0; j < count; ++j)
      if (j != self && borne[j] && SameName(*borne[j], name)) return true;
    return false;
  };

  std::vector<std::string> names(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::string base = BaseResultName(columns[i]);
    std::string name = base;
    // Every other column bears at most one name, so at most count tries are needed.
    for (std::size_t n = 1; taken(i, name) && n <= count + 1; ++n) {
      const std::string suffix = "_" + std::to_string(n);
      name = LeftBytes(base, kMaxResultNameLength - suffix.size()) + suffix;
    }
    borne[i] = name;
    names[i] = name;
  }
  return names;
}

uint8_t AggregateResultType(uint8_t aggregate, uint8_t argType) {
  switch (aggregate) {
  case agg::Sum:
  case agg::RunSum:
    if (argType == vt::SmallInt || argType == vt::Word) return vt::Integer;
    if (argType == vt::Integer) return vt::LargeInt;
    return argType;
  case agg::Avg: return IsIntegerType(argType) ? vt::Float : argType;
  case agg::Count: return vt::Integer;
  default: return argType;
  }
}

std::string AvgCounterName(int fieldNo) { return "Sys__Avg__Count" + std::to_string(fieldNo); }

}  // namespace quarry
