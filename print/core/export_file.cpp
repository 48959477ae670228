// Delimited export of a grid's rows (export_file.h).
#include "print/core/export_file.h"

#include <charconv>
#include <chrono>
#include <exception>

namespace gpr {

namespace {

struct TExportAborted {};

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Byte offsets at which the characters of a UTF-8 text start.
std::vector<std::size_t> CharacterStarts(std::string_view text) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
  }
  return starts;
}

void AppendQuoted(std::string& out, std::string_view text, std::string_view quote) {
  out += quote;
  if (quote.empty()) {
    out += text;
  } else {
    // A quote inside the value is doubled, so a reader finds the value's end.
    std::size_t from = 0;
    for (std::size_t at = text.find(quote); at != std::string_view::npos; at = text.find(quote, from)) {
      out.append(text.substr(from, at - from));
      out += quote;
      out += quote;
      from = at + quote.size();
    }
    out.append(text.substr(from));
  }
  out += quote;
}

}  // namespace

TgprExportColumn ExportColumnOf(const TColInfo& column) {
  using quarry::TDataFieldType;
  TgprExportColumn result;
  switch (column.FieldType) {
  case TDataFieldType::ftString: result = {true, ecString}; break;
  case TDataFieldType::ftFixedChar: result = {true, ecNone}; break;
  case TDataFieldType::ftMemo:
  case TDataFieldType::ftFmtMemo: result = {true, ecMemo}; break;
  case TDataFieldType::ftDate:
  case TDataFieldType::ftTime:
  case TDataFieldType::ftDateTime: result = {true, ecNone}; break;
  default: break;
  }
  return result;
}

std::vector<TgprExportColumn> ExportColumnsOf(const TColsList& columns) {
  std::vector<TgprExportColumn> result;
  for (const TColInfo& column : columns.Items()) {
    if (column.Visible) result.push_back(ExportColumnOf(column));
  }
  return result;
}

std::string ResolveExportChars(std::string_view setting) {
  if (!setting.empty() && setting.find_first_not_of("0123456789") == std::string_view::npos) {
    int code = 0;
    auto [end, error] = std::from_chars(setting.data(), setting.data() + setting.size(), code);
    if (error == std::errc() && end == setting.data() + setting.size() && code < 256) {
      return std::string(1, static_cast<char>(code));
    }
  }
  return std::string(setting);
}

TgprExportOptions TgprExportOptions::FromSettings(const TgprReportSettings& settings) {
  TgprExportOptions options;
  options.Delimiter = ResolveExportChars(settings.ExportFieldDelim);
  options.Quote = ResolveExportChars(settings.ExportQuote);
  options.MaxStrLength = settings.ExportMaxStrLng;
  options.MaxMemoLength = settings.ExportMaxMemoLng;
  options.OnlyPrintable = settings.ExportOnlyPrintableChrs;
  options.ColumnTitles = settings.IncludeOptions.Has(ioColumnTitles);
  options.ColumnTotals = settings.IncludeOptions.Has(ioColumnTotals);
  return options;
}

std::string CutMemoText(std::string_view text, int maxLength) {
  const std::vector<std::size_t> starts = CharacterStarts(text);
  if (maxLength < 0 || static_cast<int>(starts.size()) <= maxLength) return std::string(text);
  // Back from the character at maxLength over letters; cut after the first non-letter.
  for (int i = maxLength - 1; i >= 0; --i) {
    const char c = text[starts[i]];
    const bool multiByte = (static_cast<unsigned char>(c) & 0x80) != 0;
    if (multiByte || !IsAsciiLetter(c)) {
      const std::size_t end = static_cast<std::size_t>(i) + 1 < starts.size() ? starts[i + 1] : text.size();
      return std::string(text.substr(0, end));
    }
  }
  return std::string(text);  // one long word: left whole
}

std::string CutStringText(std::string_view text, int maxLength) {
  const std::vector<std::size_t> starts = CharacterStarts(text);
  if (maxLength < 0 || static_cast<int>(starts.size()) <= maxLength) return std::string(text);
  return std::string(text.substr(0, starts[maxLength]));
}

std::string PrintableOnly(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 32 || c == 127) continue;
    // U+0080 to U+009F, the C1 controls: C2 80 to C2 9F.
    if (c == 0xC2 && i + 1 < text.size()) {
      const auto next = static_cast<unsigned char>(text[i + 1]);
      if (next >= 0x80 && next <= 0x9F) {
        ++i;
        continue;
      }
    }
    out += static_cast<char>(c);
  }
  return out;
}

void AppendExportLine(std::string& out, const std::vector<std::string>& cells,
                      const std::vector<TgprExportColumn>& columns, TgprExportRowKind kind,
                      const TgprExportOptions& options) {
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const TgprExportColumn column = i < columns.size() ? columns[i] : TgprExportColumn{};
    std::string text = cells[i];
    if (kind == TgprExportRowKind::Data) {
      if (column.Cut == ecMemo) text = CutMemoText(text, options.MaxMemoLength);
      if (column.Cut == ecString) text = CutStringText(text, options.MaxStrLength);
    }
    if (options.OnlyPrintable) text = PrintableOnly(text);
    if (i > 0) out += options.Delimiter;
    if (kind == TgprExportRowKind::Title || column.Quoted) {
      AppendQuoted(out, text, options.Quote);
    } else {
      out += text;
    }
  }
}

TgprRunResult TgprExporter::Run(TgprExportSource& source, TgprOutputFile& file, TgprRunMonitor* monitor) {
  using TClock = std::chrono::steady_clock;
  const TClock::time_point start = TClock::now();
  summary_ = {};
  summary_.Activity = acExporting;
  summary_.Status = rsActive;
  if (monitor) monitor->RunStarted(acExporting);

  TgprRunResult result = rrCompleted;
  try {
    if (file.Open() == TgprOpenResult::Cancelled) {
      summary_.Status = rsUserCancelled;
      result = rrFileCancelled;
    } else {
      const std::vector<TgprExportColumn>& columns = source.Columns();
      std::string line;
      if (options_.ByteOrderMark) file.Write("\xEF\xBB\xBF");
      auto writeLine = [&](const std::vector<std::string>& cells, TgprExportRowKind kind) {
        line.clear();
        AppendExportLine(line, cells, columns, kind, options_);
        line += "\r\n";
        file.Write(line);
      };
      if (options_.ColumnTitles) {
        for (const auto& row : source.TitleRows()) writeLine(row, TgprExportRowKind::Title);
      }
      std::vector<std::string> cells;
      while (source.NextRow(cells)) {
        writeLine(cells, TgprExportRowKind::Data);
        ++summary_.PagesPrinted;
        if (monitor && !monitor->PageDone(acExporting, {1, 1}, summary_.PagesPrinted, source.RowCount())) {
          throw TExportAborted{};
        }
      }
      if (options_.ColumnTotals) {
        if (auto totals = source.TotalsRow()) writeLine(*totals, TgprExportRowKind::Total);
      }
      file.Commit();
      summary_.Status = rsCompleted;
    }
  } catch (const TExportAborted&) {
    summary_.Status = rsTerminatedWithError;
    result = rrTerminated;
  } catch (const std::exception& error) {
    summary_.Status = rsTerminatedWithError;
    summary_.ErrorMessage = error.what();
    result = rrTerminated;
  }
  if (result == rrTerminated) file.Discard();
  summary_.Elapsed = TClock::now() - start;
  if (monitor) monitor->RunFinished(summary_);
  return result;
}

}  // namespace gpr
