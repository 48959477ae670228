// Column totals (column_totals.h).
#include "print/core/column_totals.h"

#include "dbaccess/name_compare.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace gpr {

namespace {

std::optional<TgprTotalKind> TotalKindByName(std::string_view name) {
  for (int kind = 0; kind < kGprTotalKindCount; ++kind) {
    if (quarry::SameName(TotalKindName(static_cast<TgprTotalKind>(kind)), name))
      return static_cast<TgprTotalKind>(kind);
  }
  return std::nullopt;
}

std::vector<std::string_view> SplitFields(std::string_view entry) {
  std::vector<std::string_view> fields;
  for (;;) {
    const size_t comma = entry.find(',');
    fields.push_back(entry.substr(0, comma));
    if (comma == std::string_view::npos) break;
    entry.remove_prefix(comma + 1);
  }
  return fields;
}

std::string WithoutQuotes(std::string_view text) {
  std::string out;
  for (const char c : text)
    if (c != '"') out.push_back(c);
  return out;
}

// Digits of an integer text with "," every three digits from the right.
std::string GroupThousands(std::string digits) {
  const bool negative = !digits.empty() && digits[0] == '-';
  std::string body = negative ? digits.substr(1) : digits;
  std::string out;
  for (size_t i = 0; i < body.size(); ++i) {
    if (i > 0 && (body.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(body[i]);
  }
  return negative ? "-" + out : out;
}

std::string Fixed(double value, int precision) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%.*f", precision, value);
  return buffer;
}

// value with thousands separators and precision decimals.
std::string Grouped(double value, int precision) {
  std::string text = Fixed(value, precision);
  const size_t point = text.find('.');
  const std::string whole = text.substr(0, point);
  return GroupThousands(whole) + (point == std::string::npos ? "" : text.substr(point));
}

}  // namespace

void ApplyColumnTotals(TColsList& columns, std::string_view columnTotals, std::string_view groupColumns) {
  for (TColInfo& column : columns.Items()) {
    column.Totals.clear();
    column.TotalFormat.clear();
  }
  const std::vector<std::string> levels = SplitCommaList(groupColumns);
  std::string_view rest = columnTotals;
  while (!rest.empty()) {
    const size_t end = rest.find("\";");
    std::string_view entry = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 2);
    const std::vector<std::string_view> fields = SplitFields(entry);
    if (fields.size() < 3) continue;
    TColInfo* column = columns.Find(quarry::TrimmedView(fields[0]));
    const std::optional<TgprTotalKind> kind = TotalKindByName(quarry::TrimmedView(fields[2]));
    if (column == nullptr || quarry::TrimmedView(fields[0]).empty() || !kind || *kind == tkNone) continue;
    int level = 0;
    for (size_t i = 0; i < levels.size(); ++i) {
      if (!quarry::TrimmedView(fields[1]).empty() && quarry::SameName(levels[i], fields[1]))
        level = static_cast<int>(i) + 1;
    }
    if (fields.size() > 3) column->TotalFormat = WithoutQuotes(fields[3]);
    TColTotal total;
    total.Kind = *kind;
    total.Level = level;
    bool replaced = false;
    for (TColTotal& existing : column->Totals) {
      if (existing.Level == level) existing = total, replaced = true;
    }
    if (!replaced) column->Totals.push_back(total);
  }
}

const TColTotal* GrandTotal(const TColInfo& column) {
  for (const TColTotal& total : column.Totals)
    if (total.Level == 0) return &total;
  return nullptr;
}

bool HasGrandTotals(const TColsList& columns) {
  for (const TColInfo& column : columns.Items())
    if (column.Visible && GrandTotal(column) != nullptr) return true;
  return false;
}

std::string ColumnTotalsText(const TColsList& columns, std::string_view groupColumns) {
  const std::vector<std::string> levels = SplitCommaList(groupColumns);
  std::string text;
  for (const TColInfo& column : columns.Items()) {
    for (const TColTotal& total : column.Totals) {
      if (total.Kind == tkNone) continue;
      const bool named = total.Level >= 1 && total.Level <= static_cast<int>(levels.size());
      text += column.Name + "," + (named ? levels[static_cast<size_t>(total.Level - 1)] : std::string()) + "," +
              std::string(TotalKindName(total.Kind)) + ",\"" + column.TotalFormat + "\";";
    }
  }
  return text;
}

void SetGrandTotal(TColInfo& column, TgprTotalKind kind) {
  std::erase_if(column.Totals, [](const TColTotal& total) { return total.Level == 0; });
  if (kind == tkNone) return;
  TColTotal total;
  total.Kind = kind;
  column.Totals.insert(column.Totals.begin(), total);
}

std::optional<std::string> FormatStringProblem(std::string_view format) {
  if (format.find(',') != std::string_view::npos || format.find('"') != std::string_view::npos) {
    return "A format string cannot hold a comma or a double quote";
  }
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    if (i + 1 < format.size() && format[i + 1] == '%') {
      ++i;
      continue;
    }
    size_t j = i + 1;
    if (j < format.size() && format[j] == '-') ++j;
    while (j < format.size() && (std::isdigit(static_cast<unsigned char>(format[j])) || format[j] == '.')) ++j;
    const char letter = j < format.size() ? static_cast<char>(std::toupper(static_cast<unsigned char>(format[j]))) : 0;
    if (std::string_view("FEGNMD").find(letter) == std::string_view::npos || letter == 0) {
      return "Format \"" + std::string(format.substr(i, j - i + 1)) + "\" is invalid or incompatible with argument";
    }
    i = j;
  }
  return std::nullopt;
}

void ZeroTotals(TColsList& columns) {
  for (TColInfo& column : columns.Items()) {
    for (TColTotal& total : column.Totals) {
      const TgprTotalKind kind = total.Kind;
      const int level = total.Level;
      total = TColTotal{};
      total.Kind = kind;
      total.Level = level;
    }
  }
}

void AddTotalValue(TColTotal& total, double value) {
  if (total.Kind == tkText) return;
  ++total.Count;
  total.Sum += value;
  total.SumSquares += static_cast<long double>(value) * value;
  if (value < total.Min) total.Min = value;
  if (value > total.Max) total.Max = value;
}

void AddRowToTotals(TColsList& columns, int position, long long lineNumber, const TgprCnvtFldError& onError,
                    const std::function<std::string(const TColInfo& column)>& valueText) {
  for (TColInfo& column : columns.Items()) {
    if (column.Totals.empty()) continue;
    const std::string text = column.IsLineNumber() ? std::to_string(lineNumber) : valueText(column);
    const auto value = TotalNumberOf(text, column.DataClass);
    if (!value) {
      if (onError) {
        TgprFieldInfo info;
        info.Column = &column;
        info.DataType = column.FieldType;
        info.Text = text;
        info.Part = cpData;
        info.Position = position;
        onError(text, info);
      }
      continue;
    }
    for (TColTotal& total : column.Totals) AddTotalValue(total, *value);
  }
}

std::optional<double> TotalResult(const TColTotal& total) {
  const long double count = static_cast<long double>(total.Count);
  const auto variance = [&](long double divisor) -> std::optional<double> {
    if (divisor <= 0) return std::nullopt;
    const long double v = (total.SumSquares - total.Sum * total.Sum / count) / divisor;
    return static_cast<double>(v < 0 ? 0 : v);
  };
  switch (total.Kind) {
  case tkSum: return static_cast<double>(total.Sum);
  case tkCount: return static_cast<double>(total.Count);
  case tkAverage: return total.Count == 0 ? 0.0 : static_cast<double>(total.Sum / count);
  case tkMin: return total.Count == 0 ? std::nullopt : std::optional<double>(total.Min);
  case tkMax: return total.Count == 0 ? std::nullopt : std::optional<double>(total.Max);
  case tkVarianceSample: return total.Count == 0 ? std::nullopt : variance(count - 1);
  case tkVariancePopulation: return total.Count == 0 ? std::nullopt : variance(count);
  case tkStdDevSample:
  case tkStdDevPopulation: {
    if (total.Count == 0) return std::nullopt;
    const auto v = variance(total.Kind == tkStdDevSample ? count - 1 : count);
    return v ? std::optional<double>(std::sqrt(*v)) : std::nullopt;
  }
  default: return std::nullopt;
  }
}

std::optional<double> TotalNumberOf(std::string_view text, TgprDataClass dataClass) {
  std::string kept;
  if (dataClass == dcString || dataClass == dcMemo) {
    for (const char c : text)
      if (c == '-' || c == '.' || (c >= '0' && c <= '9')) kept.push_back(c);
    if (kept.empty()) return 0.0;
  } else {
    kept = std::string(quarry::TrimmedView(text));
    if (kept.empty()) return std::nullopt;
  }
  char* end = nullptr;
  const double value = std::strtod(kept.c_str(), &end);
  if (end != kept.c_str() + kept.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string PlainNumber(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string FormatTotal(std::string_view format, double value) {
  std::string out;
  bool converted = false;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out.push_back(format[i]);
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out.push_back('%');
      ++i;
      continue;
    }
    size_t j = i + 1;
    const bool leftJustify = j < format.size() && format[j] == '-';
    if (leftJustify) ++j;
    int width = 0, precision = -1;
    // Width and precision are bounded so that a format cannot ask for a huge text.
    while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j])))
      width = std::min(200, width * 10 + (format[j++] - '0'));
    if (j < format.size() && format[j] == '.') {
      precision = 0;
      ++j;
      while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j])))
        precision = std::min(30, precision * 10 + (format[j++] - '0'));
    }
    if (j >= format.size() || converted) {
      out.append(format.substr(i, j - i));
      i = j - 1;
      continue;
    }
    std::string text;
    switch (std::toupper(static_cast<unsigned char>(format[j]))) {
    case 'F': text = Fixed(value, precision < 0 ? 2 : precision); break;
    case 'N': text = Grouped(value, precision < 0 ? 2 : precision); break;
    case 'M': text = (value < 0 ? "-$" : "$") + Grouped(std::fabs(value), precision < 0 ? 2 : precision); break;
    case 'D': text = Fixed(std::round(value), 0); break;
    case 'E': {
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "%.*E", precision < 0 ? 6 : precision, value);
      text = buffer;
      break;
    }
    case 'G': text = PlainNumber(value); break;
    default: text = format.substr(i, j - i + 1); break;
    }
    if (static_cast<int>(text.size()) < width) {
      const std::string pad(static_cast<size_t>(width) - text.size(), ' ');
      text = leftJustify ? text + pad : pad + text;
    }
    out += text;
    converted = true;
    i = j;
  }
  return out;
}

std::string GrandTotalText(const TColInfo& column, bool fieldFormat) {
  const TColTotal* total = GrandTotal(column);
  if (total == nullptr) return {};
  const std::string& format = column.TotalFormat;
  if (total->Kind == tkText) return format;
  const std::optional<double> result = TotalResult(*total);
  if (!result) return "n/a";
  if (fieldFormat) {
    if (format.find('%') != std::string::npos) return FormatTotal(format, *result);
    return format + PlainNumber(*result);
  }
  const size_t percent = format.find('%');
  return (percent == std::string::npos ? std::string() : format.substr(0, percent)) + PlainNumber(*result);
}

}  // namespace gpr
