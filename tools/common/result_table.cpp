// Printing result tables; see result_table.h.
#include "tools/common/result_table.h"

#include <algorithm>

namespace quarry::tools {

std::size_t DisplayWidth(std::string_view text) {
  // Continuation bytes (10xxxxxx) do not start a character.
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string CsvField(const TResultValue& value) {
  if (!value) return {};
  if (value->empty()) return "\"\"";
  if (value->find_first_of(",\"\r\n") == std::string::npos) return *value;
  std::string quoted = "\"";
  for (char c : *value) {
    if (c == '"') quoted.push_back('"');
    quoted.push_back(c);
  }
  quoted.push_back('"');
  return quoted;
}

void PrintCsvHeader(std::ostream& out, const std::vector<TResultColumn>& columns) {
  for (std::size_t c = 0; c < columns.size(); ++c) {
    if (c > 0) out << ',';
    out << CsvField(columns[c].Name);
  }
  out << "\r\n";
}

void PrintCsvRow(std::ostream& out, const std::vector<TResultValue>& row) {
  for (std::size_t c = 0; c < row.size(); ++c) {
    if (c > 0) out << ',';
    const TResultValue& value = row[c];
    // The common case, a text that needs no quotes, goes out without a copy.
    if (value && !value->empty() && value->find_first_of(",\"\r\n") == std::string::npos) out << *value;
    else out << CsvField(value);
  }
  out << "\r\n";
}

void PrintCsv(std::ostream& out, const TResultTable& table) {
  PrintCsvHeader(out, table.Columns);
  for (const auto& row : table.Rows) PrintCsvRow(out, row);
}

namespace {

std::string OneLine(const TResultValue& value) {
  if (!value) return {};
  std::string text = *value;
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n' || c == '\t'; }, ' ');
  return text;
}

void Pad(std::string& line, std::size_t count) { line.append(count, ' '); }

// Lines carry no trailing blanks (a NULL in the last column would leave some).
void EndLine(std::ostream& out, std::string& line) {
  const auto end = line.find_last_not_of(' ');
  line.erase(end == std::string::npos ? 0 : end + 1);
  out << line << '\n';
  line.clear();
}

}  // namespace

void PrintAligned(std::ostream& out, const TResultTable& table) {
  const std::size_t columns = table.Columns.size();
  std::vector<std::size_t> widths(columns);
  for (std::size_t c = 0; c < columns; ++c) widths[c] = DisplayWidth(table.Columns[c].Name);
  for (const auto& row : table.Rows)
    for (std::size_t c = 0; c < columns && c < row.size(); ++c)
      widths[c] = std::max(widths[c], DisplayWidth(OneLine(row[c])));

  std::string line;
  auto addCell = [&](std::size_t c, const std::string& text, bool right) {
    if (c > 0) line += " | ";
    const std::size_t gap = widths[c] - DisplayWidth(text);
    if (right) Pad(line, gap);
    line += text;
    if (!right) Pad(line, gap);
  };
  for (std::size_t c = 0; c < columns; ++c) addCell(c, table.Columns[c].Name, false);
  EndLine(out, line);
  for (std::size_t c = 0; c < columns; ++c) {
    if (c > 0) line += "-+-";
    line.append(widths[c], '-');
  }
  EndLine(out, line);
  for (const auto& row : table.Rows) {
    for (std::size_t c = 0; c < columns; ++c)
      addCell(c, c < row.size() ? OneLine(row[c]) : std::string(), table.Columns[c].Numeric);
    EndLine(out, line);
  }
  out << '(' << table.Rows.size() << (table.Rows.size() == 1 ? " row)" : " rows)") << '\n';
}

}  // namespace quarry::tools
