// TgprPageBuilder: turns the printed grid into the pages of the text report.
//
// Constructing a builder lays the report out: the column totals are read, the columns
// scanned, the page set up (font size, panels, page size) and the columns paged across.
// Pages are then built on demand. Asking for page n lays out the pages before it without
// drawing them - only to find where each one starts - and draws page n alone; where every
// page starts is kept, so a page is rebuilt cheaply, and the most recent pages are kept
// whole. Every horizontal part of a page number starts from the same row and so prints the
// same rows on the same lines.
//
// A page is a list of exactly `LinesPerPage` lines of UTF-8 text, trailing blanks removed,
// its rules drawn from the line-drawing set (Unicode box drawing for the IBM set).
//
// Rows are read from the result set by position; `OnFilterRecord` is asked once per row and
// its answer kept, so repeated layouts agree with each other.
#pragma once

#include "print/core/cell_text.h"
#include "print/core/horizontal_paging.h"
#include "print/core/line_draw.h"
#include "print/core/obj_info.h"
#include "print/core/page_setup.h"
#include "print/core/print_settings.h"
#include "print/core/report_settings.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace gpr {

struct TgprPage {
  int Across = 1;
  int PageNo = 1;
  std::vector<std::string> Lines;
  // The lines joined with line feeds, one after each line.
  std::string Text() const;
};

class TgprPageBuilder {
 public:
  // printer: the printable area and font measurement, needed for printer output only.
  // lineDraw: the set to draw with; by default the one `OutputQuality` chooses.
  // Throws eGprSUError for a report that cannot be laid out: no result set, no printed
  // column, a page too narrow for a column, or memos that leave fewer than 5 data lines.
  TgprPageBuilder(TgprReportSettings& settings, TObjInfo& objInfo, TgprPrintSettings& print,
                  const TgprPrinterPage* printer = nullptr, std::optional<TgprLineDrawSet> lineDraw = std::nullopt);

  int PagesAcross() const { return across_.Count(); }
  const TgprAcrossPages& Across() const { return across_; }
  // Whether page number pageNo exists (lays out the pages before it when needed).
  bool HasPage(int pageNo);
  // The number of page numbers of the report: one layout pass over the rows, no drawing.
  int PageCount();
  // Page (across, pageNo), both from 1. Throws eGprIntError for a page that does not exist.
  const TgprPage& Page(int across, int pageNo);
  // Rows placed on the pages laid out so far (for a progress display).
  int RowsLaidOut() const { return starts_.back().Next; }

 private:
  // Where a page starts (and, after laying it out, where the next one does).
  struct TState {
    int Next = 0;                             // next row (index into rows_)
    long long LineNumber = 1;                 // report line number of that row
    std::vector<std::u32string> BreakValues;  // last value printed per break column
    std::vector<bool> BreakKnown;
    bool DataDone = false;    // every row is placed
    bool TotalsDone = false;  // totals and report footer are placed: the report is complete
  };
  struct TRow;
  class TCanvas;

  int NextAccepted(int from);
  TRow PrepareRow(int index, const TState& state, bool firstInPanel, bool measuring) const;
  int RowHeight(const TRow& row) const;
  int TotalRowHeight();
  void EnsureTotals();
  void EnsureLaidOut(int pageNo);  // lays out (without drawing) pages up to pageNo
  std::vector<std::u32string> MemoLinesFor(TgprMemoIndex memo, int pageNo, int across, bool measuring);
  void LayOut(int pageNo, int across, const TState& start, TState& end, TCanvas* canvas);

  void DrawRule(TCanvas& canvas, int line, int x0, int across, TgprLineRow row, int changeLevel) const;
  void DrawCell(TCanvas& canvas, int line, int x0, const TColInfo& column, std::u32string_view text, bool numberLike,
                bool centred) const;
  // A data cell placed as `OnFieldAlign` says.
  void DrawCellByEvent(TCanvas& canvas, int line, int x0, const TColInfo& column, std::u32string_view text,
                       bool centred, TgprCellPart part, int position, long long lineNumber) const;
  void DrawMemo(TCanvas& canvas, int line, int lastLine, TgprMemoIndex memo,
                const std::vector<std::u32string>& lines) const;

  TgprReportSettings& settings_;
  TObjInfo& objInfo_;
  TgprPrintSettings& print_;
  TgprLineDrawSet lineDraw_;
  TgprReportRows rows_;
  TgprCellTexts texts_;
  TgprAcrossPages across_;
  std::vector<int> printed_;    // printed column indices, list order
  std::vector<int> breakCols_;  // break column indices, list order
  std::u32string sameValue_;    // GrpBrkSameValue
  std::u32string truncSymbol_;  // TextTruncSymbol
  int titleRows_ = 0;
  bool totalsPrint_ = false;
  bool usesPageCount_ = false;

  std::vector<int8_t> filter_;  // per row: -1 unknown, 0 skipped, 1 accepted, 2 report ended
  int terminatedAt_ = -1;
  bool totalsReady_ = false;
  std::vector<TState> starts_;   // starts_[n - 1]: where page n starts
  int laidOut_ = 0;              // pages laid out so far
  int pageCount_ = 0;            // 0 until the last page is known
  std::deque<TgprPage> recent_;  // the pages built last
};

}  // namespace gpr
