// Export: a run that writes the grid's data as delimited text instead of pages - one line
// per column title row, one per data row and a line of grand totals - into the output file
// of text-file runs (TgprOutputFile, with its file-exists question and its safe writing).
//
// The file is RFC 4180 text: a quote character inside a quoted cell is doubled, lines end in
// CR LF, the text is UTF-8 (optionally behind a byte-order mark, which spreadsheet programs
// need to recognise it), and "printable only" removes control characters but keeps letters
// outside ASCII.
#pragma once

#include "print/core/cols_list.h"
#include "print/core/print_run.h"
#include "print/core/report_settings.h"
#include "print/core/text_file_output.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gpr {

// How a column's data cells are cut: plain string fields to `ExportMaxStrLng` characters,
// memos at a word boundary before `ExportMaxMemoLng`.
enum TgprExportCut : int { ecNone, ecString, ecMemo };

struct TgprExportColumn {
  bool Quoted = false;  // data and total cells quoted (title cells always are)
  TgprExportCut Cut = ecNone;
};

// Strings, memos, dates and times are quoted; numbers, booleans and the rest are not.
TgprExportColumn ExportColumnOf(const TColInfo& column);
// The visible columns of a column list, in order.
std::vector<TgprExportColumn> ExportColumnsOf(const TColsList& columns);

// `ExportFieldDelim` and `ExportQuote` as characters: only digits and below 256 is that
// character's code, anything else is used as it is.
std::string ResolveExportChars(std::string_view setting);

struct TgprExportOptions {
  std::string Delimiter = "\t";
  std::string Quote = "\"";
  int MaxStrLength = 100;
  int MaxMemoLength = 100;
  bool OnlyPrintable = true;
  bool ByteOrderMark = false;  // write U+FEFF first
  bool ColumnTitles = true;
  bool ColumnTotals = true;

  // From the report's settings (the byte-order mark has no setting and stays off).
  static TgprExportOptions FromSettings(const TgprReportSettings& settings);
};

// The rows of an export, read once from the first to the last.
class TgprExportSource {
 public:
  virtual ~TgprExportSource() = default;
  virtual const std::vector<TgprExportColumn>& Columns() const = 0;
  // The column title rows, each with one text per column.
  virtual std::vector<std::vector<std::string>> TitleRows() = 0;
  // The next data row's cell texts, as printing shows them; false after the last row.
  virtual bool NextRow(std::vector<std::string>& cells) = 0;
  // The grand totals row, when at least one column has a grand total.
  virtual std::optional<std::vector<std::string>> TotalsRow() = 0;
  virtual int RowCount() const = 0;
};

enum class TgprExportRowKind { Title, Data, Total };

// A memo text cut at a word boundary (see export_file.cpp); a string cut to maxLength
// characters. Lengths count characters, not bytes.
std::string CutMemoText(std::string_view text, int maxLength);
std::string CutStringText(std::string_view text, int maxLength);
// Removes control characters (below 32, 127, and U+0080 to U+009F); keeps all else.
std::string PrintableOnly(std::string_view text);

// Appends one line (without its CR LF): the cells, quoted as their kind and column say,
// joined by the delimiter.
void AppendExportLine(std::string& out, const std::vector<std::string>& cells,
                      const std::vector<TgprExportColumn>& columns, TgprExportRowKind kind,
                      const TgprExportOptions& options);

class TgprExporter {
 public:
  explicit TgprExporter(TgprExportOptions options) : options_(std::move(options)) {}

  // Writes the export into file (opened here, committed on success, discarded otherwise) and
  // returns the run result; the monitor counts rows and may abort between two rows.
  TgprRunResult Run(TgprExportSource& source, TgprOutputFile& file, TgprRunMonitor* monitor = nullptr);

  const TgprRunSummary& Summary() const { return summary_; }

 private:
  TgprExportOptions options_;
  TgprRunSummary summary_;
};

}  // namespace gpr
