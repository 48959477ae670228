// Evaluation of function nodes.
#include "engine/sql/function_evaluator.h"

#include <cmath>

#include "engine/values/date_time_text.h"
#include "engine/values/value_ops.h"

namespace quarry {

namespace {

// Stores a text result; an empty text is NULL, as the empty literal is.
void StoreTextOrNull(TExpToken& result, const std::string& text) {
  if (text.empty()) SetNullValue(result);
  else StoreText(result, text);
}

std::string ReplaceAll(const std::string& s, const std::string& search, const std::string& replacement) {
  if (search.empty() || search == replacement) return s;
  std::string out;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = s.find(search, from);
    if (at == std::string::npos) break;
    out.append(s, from, at - from);
    out += replacement;
    from = at + search.size();
  }
  out.append(s, from, std::string::npos);
  return out;
}

std::size_t CountOccurrences(const std::string& s, const std::string& search) {
  if (search.empty()) return 0;
  std::size_t count = 0;
  for (std::size_t at = s.find(search); at != std::string::npos; at = s.find(search, at + search.size())) ++count;
  return count;
}

std::string Substring(const std::string& s, int64_t start, bool hasCount, int64_t count) {
  const std::vector<std::string> chars = SplitCharacters(s);
  if (start < 1) start = 1;
  if (static_cast<uint64_t>(start) > chars.size()) return std::string();
  const std::size_t first = static_cast<std::size_t>(start - 1);
  std::size_t n = chars.size() - first;
  if (hasCount) n = count < 0 ? 0 : std::min<std::size_t>(n, static_cast<uint64_t>(count));
  std::string out;
  for (std::size_t i = first; i < first + n; ++i) out += chars[i];
  return out;
}

std::string Trim(const std::string& s, const std::string& c, bool leading, bool trailing) {
  if (c.empty()) return s;
  std::size_t a = 0, b = s.size();
  if (leading)
    while (b - a >= c.size() && s.compare(a, c.size(), c) == 0) a += c.size();
  if (trailing)
    while (b - a >= c.size() && s.compare(b - c.size(), c.size(), c) == 0) b -= c.size();
  return s.substr(a, b - a);
}

int64_t ExtractPart(uint8_t code, const TExpToken& v) {
  int64_t day = 0;
  int32_t ms = 0;
  bool hasDate = true, hasTime = true;
  if (v.DataType == vt::Date) {
    day = v.Get<int32_t>();
    hasTime = false;
  } else if (v.DataType == vt::Time) {
    ms = v.Get<int32_t>();
    hasDate = false;
  } else {
    SplitTimestamp(ValueAsDouble(v), day, ms);
  }
  const TCivilDate civil = CivilFromDayNumber(day);
  switch (code) {
  case op::ExtractYear: return hasDate ? civil.Year : 0;
  case op::ExtractMonth: return hasDate ? civil.Month : 0;
  case op::ExtractWeek: return hasDate ? IsoWeek(day) : 0;
  case op::ExtractDay: return hasDate ? civil.Day : 0;
  case op::ExtractDayOfWeek: return hasDate ? DayOfWeek(day) : 0;
  case op::ExtractDayOfYear: return hasDate ? DayOfYear(day) : 0;
  case op::ExtractHour: return hasTime ? ms / 3600000 : 0;
  case op::ExtractMinute: return hasTime ? ms / 60000 % 60 : 0;
  case op::ExtractSecond: return hasTime ? ms / 1000 % 60 : 0;
  default: return 0;
  }
}

double RoundDouble(double v, int64_t places) {
  const double scale = std::pow(10.0, static_cast<double>(places));
  const double scaled = v * scale;
  if (!std::isfinite(scaled)) return v;
  return std::trunc(scaled + (v < 0 ? -0.5 : 0.5)) / scale;
}

int64_t RoundFixed(int64_t fixed, int64_t places) {
  if (places >= 4) return fixed;
  static const int64_t factors[] = {10000, 1000, 100, 10};
  const int64_t f = factors[places];
  const int64_t half = f / 2;
  const __int128 v = fixed;
  const __int128 rounded = (v >= 0 ? (v + half) / f : (v - half) / f) * f;
  return rounded > INT64_MAX ? INT64_MAX : rounded < INT64_MIN ? INT64_MIN : static_cast<int64_t>(rounded);
}

}  // namespace

TExpTree EvaluateFunction(const TExpToken& node, const TEvalContext& ctx) {
  TExpTree result = NewResultNode(node);
  const auto eval = [&](std::size_t i) -> TExpTree {
    const TExpToken* a = node.Arg(i);
    return a ? Evaluate(*a, ctx) : nullptr;
  };
  const auto isNull = [](const TExpTree& v) { return v == nullptr || v->IsNull; };
  switch (node.OpCode) {
  case op::Sum:
  case op::RunSum:
  case op::Min:
  case op::Max:
  case op::Avg: {
    TExpTree v = eval(0);
    if (!isNull(v)) ConvertValue(*v, *result);
    return result;
  }
  case op::Count: {
    const TExpToken* a = node.Arg(0);
    if (a && a->NodeClass == nc::Column && a->ColumnName == "*") {
      StoreInt64(*result, 1);
    } else {
      TExpTree v = eval(0);
      if (!isNull(v)) StoreInt64(*result, 1);
    }
    return result;
  }
  case op::Upper:
  case op::Lower: {
    TExpTree v = eval(0);
    if (isNull(v)) return result;
    const std::string text = ValueAsText(*v);
    StoreText(*result, node.OpCode == op::Upper ? ctx.Collation.Upper(text) : ctx.Collation.Lower(text));
    return result;
  }
  case op::Length: {
    TExpTree v = eval(0);
    if (!isNull(v)) StoreInt64(*result, static_cast<int64_t>(Utf8Length(ValueAsText(*v))));
    return result;
  }
  case op::Substring: {
    TExpTree s = eval(0), start = eval(1), count = eval(2);
    if (isNull(s) || isNull(start)) return result;
    const bool hasCount = node.Arg(2) != nullptr;
    if (hasCount && isNull(count)) return result;
    StoreTextOrNull(*result,
                    Substring(ValueAsText(*s), ValueAsInt64(*start), hasCount, hasCount ? ValueAsInt64(*count) : 0));
    return result;
  }
  case op::Replace: {
    TExpTree search = eval(0), replacement = eval(1), s = eval(2);
    if (isNull(s)) return result;
    const std::string text = ValueAsText(*s);
    const std::string what = isNull(search) ? std::string() : ValueAsText(*search);
    const std::string with = isNull(replacement) ? std::string() : ValueAsText(*replacement);
    StoreTextOrNull(*result, ReplaceAll(text, what, with));
    return result;
  }
  case op::Pos:
  case op::Occurs: {
    TExpTree search = eval(0), s = eval(1);
    if (isNull(s) || isNull(search)) return result;
    const std::string text = ValueAsText(*s), what = ValueAsText(*search);
    if (node.OpCode == op::Occurs) {
      StoreInt64(*result, static_cast<int64_t>(CountOccurrences(text, what)));
    } else {
      const std::size_t at = what.empty() ? std::string::npos : text.find(what);
      StoreInt64(*result, at == std::string::npos ? 0 : static_cast<int64_t>(Utf8Length(text.substr(0, at))) + 1);
    }
    return result;
  }
  case op::TrimLeading:
  case op::TrimTrailing:
  case op::TrimBoth: {
    TExpTree c = eval(0), s = eval(1);
    if (isNull(s)) return result;
    const std::string ch = isNull(c) ? std::string(" ") : ValueAsText(*c);
    StoreTextOrNull(*result,
                    Trim(ValueAsText(*s), ch, node.OpCode != op::TrimTrailing, node.OpCode != op::TrimLeading));
    return result;
  }
  case op::Cast: {
    TExpTree v = eval(0);
    if (!isNull(v)) ConvertValue(*v, *result);
    return result;
  }
  case op::If:
  case op::IfNull: {
    TExpTree first = eval(0);
    bool takeThen;
    if (node.OpCode == op::If) takeThen = ValueAsBoolean(*first);
    else takeThen = first->IsNull;
    TExpTree chosen = eval(takeThen ? 1 : 2);
    if (!isNull(chosen)) ConvertValue(*chosen, *result);
    return result;
  }
  case op::Coalesce:
    for (std::size_t i = 0; i < node.Args.size(); ++i) {
      TExpTree v = eval(i);
      if (!isNull(v)) {
        ConvertValue(*v, *result);
        break;
      }
    }
    return result;
  case op::Abs: {
    TExpTree v = eval(0);
    if (isNull(v)) return result;
    switch (result->DataType) {
    case vt::Float: StoreDouble(*result, std::fabs(ValueAsDouble(*v))); break;
    case vt::Bcd: {
      const int64_t f = ValueAsFixed(*v);
      StoreFixed(*result, f < 0 ? static_cast<int64_t>(0 - static_cast<uint64_t>(f)) : f);
      break;
    }
    default: {
      const int64_t i = ValueAsInt64(*v);
      StoreInt64(*result, i < 0 ? static_cast<int64_t>(0 - static_cast<uint64_t>(i)) : i);
      break;
    }
    }
    return result;
  }
  case op::Round: {
    TExpTree v = eval(0), places = eval(1);
    if (isNull(v)) return result;
    int64_t p = isNull(places) ? 0 : ValueAsInt64(*places);
    p = std::clamp<int64_t>(p, 0, 32);
    if (result->DataType == vt::Bcd) StoreFixed(*result, RoundFixed(ValueAsFixed(*v), p));
    else StoreDouble(*result, RoundDouble(ValueAsDouble(*v), p));
    return result;
  }
  case op::ExtractYear:
  case op::ExtractMonth:
  case op::ExtractWeek:
  case op::ExtractDay:
  case op::ExtractDayOfWeek:
  case op::ExtractDayOfYear:
  case op::ExtractHour:
  case op::ExtractMinute:
  case op::ExtractSecond: {
    TExpTree v = eval(0);
    if (!isNull(v)) StoreInt64(*result, ExtractPart(node.OpCode, *v));
    return result;
  }
  case op::TextSearch:
  case op::TextOccurs: {
    TExpTree words = eval(0);
    bool found = false;
    int32_t occurrences = 0;
    const TExpToken* column = node.Arg(1);
    if (!(ctx.Owner && column && words && !words->IsNull &&
          ctx.Owner->TextSearch(*column, ValueAsText(*words), found, occurrences))) {
      found = false;
      occurrences = 0;
    }
    if (node.OpCode == op::TextSearch) StoreBoolean(*result, found);
    else StoreInt64(*result, occurrences);
    return result;
  }
  case op::LastAutoInc:
  case op::IdentCurrent: {
    TExpTree name = eval(0);
    const std::string table = isNull(name) ? std::string() : ValueAsText(*name);
    StoreInt64(*result, ctx.Owner ? ctx.Owner->LastAutoIncValue(node.SourceTable, table) : 0);
    return result;
  }
  default: return result;
  }
}

}  // namespace quarry
