// The page builder (page_builder.h).
#include "print/core/page_builder.h"

#include "print/core/column_scan.h"
#include "print/core/column_totals.h"
#include "print/core/gpr_error.h"
#include "print/core/memo_codes.h"
#include "print/core/utf8_text.h"
#include "print/core/word_wrap.h"

#include <algorithm>
#include <limits>

namespace gpr {

namespace {

constexpr int kMinDataLines = 5;
constexpr size_t kRecentPages = 8;

int Margin(int value) { return std::max(0, value); }

// Values placed inside the content width so that a column of them lines up.
bool IsNumberLike(const TColInfo& column) {
  using quarry::TDataFieldType;
  return column.DataClass == dcNumeric || column.DataClass == dcBoolean || column.FieldType == TDataFieldType::ftDate ||
         column.FieldType == TDataFieldType::ftTime || column.FieldType == TDataFieldType::ftDateTime;
}

// A total reads as a number when it is not blank and holds no letter.
bool ReadsAsNumber(std::u32string_view text) {
  if (TrimBlanks(text).empty()) return false;
  return std::none_of(text.begin(), text.end(),
                      [](char32_t c) { return (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z'); });
}

std::u32string AlignIn(std::u32string_view text, int width, TgprAlignment alignment, int& offset) {
  const int free = std::max(0, width - static_cast<int>(text.size()));
  offset = alignment == gaRight ? free : alignment == gaCenter ? free / 2 : 0;
  return std::u32string(text.substr(0, static_cast<size_t>(std::max(0, width))));
}

}  // namespace

std::string TgprPage::Text() const {
  std::string text;
  for (const std::string& line : Lines) text += line + "\n";
  return text;
}

// The lines of a page being drawn, at most CharsPerLine characters each. Lines grow as they
// are written, so a wide page costs only what is printed on it.
class TgprPageBuilder::TCanvas {
 public:
  TCanvas(int lines, int width) : width_(width), lines_(static_cast<size_t>(std::max(0, lines))) {}
  int Lines() const { return static_cast<int>(lines_.size()); }
  void Put(int line, int x, std::u32string_view text) {
    if (line < 0 || line >= Lines()) return;
    const int first = std::max(x, 0);
    const int last = std::min(x + static_cast<int>(text.size()), width_);  // exclusive
    if (first >= last) return;
    std::u32string& target = lines_[static_cast<size_t>(line)];
    if (static_cast<int>(target.size()) < last) target.resize(static_cast<size_t>(last), U' ');
    target.replace(static_cast<size_t>(first), static_cast<size_t>(last - first), text.substr(first - x, last - first));
  }
  void Put(int line, int x, char32_t c) { Put(line, x, std::u32string_view(&c, 1)); }
  std::vector<std::string> Finish() const {
    std::vector<std::string> out;
    out.reserve(lines_.size());
    for (std::u32string_view line : lines_) {
      while (!line.empty() && line.back() == U' ') line.remove_suffix(1);
      out.push_back(EncodeUtf8(line));
    }
    return out;
  }

 private:
  int width_;
  std::vector<std::u32string> lines_;
};

// One data row as it prints at a place in the report.
struct TgprPageBuilder::TRow {
  std::vector<std::u32string> Texts;  // by column index; printed columns and break columns
  std::vector<bool> Centred;          // a value replaced by GrpBrkSameValue
  int ChangeLevel = 0;
  std::vector<std::u32string> BreakValues;
  std::vector<bool> BreakKnown;
};

TgprPageBuilder::TgprPageBuilder(TgprReportSettings& settings, TObjInfo& objInfo, TgprPrintSettings& print,
                                 const TgprPrinterPage* printer, std::optional<TgprLineDrawSet> lineDraw)
    : settings_(settings),
      objInfo_(objInfo),
      print_(print),
      lineDraw_(lineDraw ? *lineDraw : LineDrawSetOf(settings.OutputQuality)),
      rows_(settings, objInfo),
      texts_(settings, objInfo) {
  TColsList& columns = objInfo_.Columns;
  ApplyColumnTotals(columns, settings_.ColumnTotals, settings_.GroupColumns);
  print_.Activity = acCalcColWidths;
  ScanColumns(settings_, objInfo_, rows_);
  SetDestination(settings_, print_);
  SetUpPage(settings_, print_, printer, PanelColumnsWidth(settings_, print_, columns));
  across_ = PageColumns(settings_, print_, columns, objInfo_.ObjectName);
  print_.PagesAcross = across_.Count();
  print_.Activity = acNone;

  for (int i = 0; i < columns.Count(); ++i) {
    if (columns[i].Visible) printed_.push_back(i);
  }
  for (int i = 1; i <= std::min(settings_.NumGrpBrkCols, columns.Count() - 1); ++i) breakCols_.push_back(i);
  sameValue_ = DecodeUtf8(settings_.GrpBrkSameValue);
  truncSymbol_ = DecodeUtf8(settings_.TextTruncSymbol.substr(0, kGprMaxTruncSymbolLength));
  if (settings_.IncludeOptions.Has(ioColumnTitles)) {
    for (const int index : printed_)
      titleRows_ = std::max(titleRows_, static_cast<int>(TitleLines(columns[index]).size()));
  }
  totalsPrint_ = settings_.IncludeOptions.Has(ioColumnTotals) && HasGrandTotals(columns);
  for (const TgprRptMemo& memo : settings_.Memos) {
    usesPageCount_ =
        usesPageCount_ ||
        (MemoPrints(memo) && (memo.Text.find("^N") != std::string::npos || memo.Text.find("^n") != std::string::npos));
  }
  filter_.assign(static_cast<size_t>(rows_.Count()), -1);

  // The data area of an ordinary page must hold a few lines.
  const int borders = print_.Borders ? 1 : 0;
  const int header =
      Margin(settings_.PageMarginTxt.Top) +
      static_cast<int>(MemoLinesFor(miPgTi, 1, 1, true).size() + MemoLinesFor(miPgHdr, 1, 1, true).size()) + borders +
      titleRows_ + (print_.Borders && !print_.ShareAdjBorders ? 1 : 0);
  const int footer =
      static_cast<int>(MemoLinesFor(miPgFtr, 1, 1, true).size() + MemoLinesFor(miPgNum, 1, 1, true).size()) +
      Margin(settings_.PageMarginTxt.Bottom) + borders;
  const int dataLines = print_.LinesPerPage - header - footer;
  if (dataLines < kMinDataLines) {
    throw eGprSUError(
        "*WARNING* Report Memos are too large for page size. \r\rDecrease size of Titles & Memos or select a larger "
        "paper size.\rAnother " +
        std::to_string(kMinDataLines - dataLines) + " lines required.");
  }

  TState first;
  first.LineNumber = settings_.StartingReportLineId;
  first.BreakValues.resize(breakCols_.size());
  first.BreakKnown.assign(breakCols_.size(), false);
  starts_.push_back(std::move(first));
}

int TgprPageBuilder::NextAccepted(int from) {
  for (int i = from; i < rows_.Count(); ++i) {
    if (terminatedAt_ >= 0 && i >= terminatedAt_) return -1;
    int8_t& verdict = filter_[static_cast<size_t>(i)];
    if (verdict < 0) {
      bool accept = true, terminate = false;
      if (objInfo_.Events.OnFilterRecord)
        objInfo_.Events.OnFilterRecord(objInfo_.DataSet, rows_.Position(i) + 1, accept, terminate);
      verdict = terminate ? 2 : accept ? 1 : 0;
    }
    if (verdict == 2) {
      terminatedAt_ = i;
      return -1;
    }
    if (verdict == 1) return i;
  }
  return -1;
}

TgprPageBuilder::TRow TgprPageBuilder::PrepareRow(int index, const TState& state, bool firstInPanel,
                                                  bool measuring) const {
  const TColsList& columns = objInfo_.Columns;
  const int position = rows_.Position(index);
  TRow row;
  row.Texts.resize(static_cast<size_t>(columns.Count()));
  row.Centred.assign(static_cast<size_t>(columns.Count()), false);
  // Laying out without drawing needs only the texts that can take several lines, the break
  // columns, and for group-break rules the texts that decide the change level.
  const bool wraps = settings_.MaxStringLines > 1;
  for (const int c : printed_) {
    const TColInfo& column = columns[c];
    if (measuring && !print_.GrpBrkLines && !(wraps && (column.DataClass == dcString || column.DataClass == dcMemo)) &&
        !(c >= 1 && c <= static_cast<int>(breakCols_.size())))
      continue;
    row.Texts[c] = DecodeUtf8(texts_.DataText(column, position, state.LineNumber));
  }

  // Group breaks: a value equal to the one printed above is replaced, from the first break
  // column that changed on every value prints again.
  row.BreakValues = state.BreakValues;
  row.BreakKnown = state.BreakKnown;
  bool changed = false;
  for (size_t b = 0; b < breakCols_.size(); ++b) {
    const int c = breakCols_[b];
    std::u32string value = columns[c].Visible ? row.Texts[c] : DecodeUtf8(texts_.DataText(columns[c], position, 0));
    changed = changed || !row.BreakKnown[b] || !SameTextNoCase(value, row.BreakValues[b]);
    if (changed) {
      row.BreakValues[b] = value;
      row.BreakKnown[b] = true;
    } else if (firstInPanel) {
      row.Texts[c] = U"*" + value;
    } else {
      row.Texts[c] = sameValue_;
      row.Centred[c] = true;
    }
  }
  row.ChangeLevel = columns.Count();
  for (const int c : printed_) {
    if (!columns[c].IsLineNumber() && !SameTextNoCase(row.Texts[c], sameValue_)) {
      row.ChangeLevel = c;
      break;
    }
  }
  return row;
}

int TgprPageBuilder::RowHeight(const TRow& row) const {
  if (settings_.MaxStringLines <= 1) return 1;
  const int stringLines = std::max(1, settings_.MaxStringLines);
  const int memoLines = std::max(1, settings_.MaxMemoLines);
  const int most = std::max(stringLines, memoLines);
  int height = 1;
  for (const int c : printed_) {
    const TColInfo& column = objInfo_.Columns[c];
    if (column.DataClass != dcString && column.DataClass != dcMemo) continue;
    const int limit = column.DataClass == dcString ? stringLines : memoLines;
    height = std::max(height, WrappedLineCount(row.Texts[c], column.Width, limit));
    if (height >= most) break;
  }
  return height;
}

void TgprPageBuilder::EnsureTotals() {
  if (totalsReady_) return;
  TColsList& columns = objInfo_.Columns;
  ZeroTotals(columns);
  if (objInfo_.Events.OnZeroColumnTotals) objInfo_.Events.OnZeroColumnTotals();
  long long lineNumber = settings_.StartingReportLineId;
  for (int i = NextAccepted(0); i >= 0; i = NextAccepted(i + 1), ++lineNumber) {
    const int position = rows_.Position(i);
    AddRowToTotals(columns, position, lineNumber, objInfo_.Events.OnCnvtFldError,
                   [&](const TColInfo& column) { return texts_.ValueText(column, position); });
  }
  totalsReady_ = true;
}

int TgprPageBuilder::TotalRowHeight() {
  if (!totalsPrint_) return 0;
  EnsureTotals();
  const bool fieldFormat = settings_.IncludeOptions.Has(ioFieldFormat);
  int height = 1;
  for (const int c : printed_) {
    std::u32string text = DecodeUtf8(GrandTotalText(objInfo_.Columns[c], fieldFormat));
    std::replace(text.begin(), text.end(), U'|', U'\r');
    height = std::max(height, WrappedLineCount(text, objInfo_.Columns[c].Width, std::max(1, settings_.MaxStringLines)));
  }
  return height;
}

std::vector<std::u32string> TgprPageBuilder::MemoLinesFor(TgprMemoIndex memo, int pageNo, int across, bool measuring) {
  const TgprRptMemo& m = settings_.Memo(memo);
  if (!MemoPrints(m)) return {};
  TgprMemoCodes codes;
  codes.Date = print_.MemoDate;
  codes.Time = print_.MemoTime;
  codes.Page = PageNumberText(settings_, pageNo, across, PagesAcross());
  if (usesPageCount_) {
    // While pages are being counted the count is not known: room is kept for the largest it
    // can be, one page per row and one more.
    codes.PageCount =
        measuring ? std::string(std::to_string(rows_.Count() + 1).size(), '9') : std::to_string(PageCount());
  }
  return MemoLines(m, MemoBoxOf(m, print_, settings_).Width, codes);
}

void TgprPageBuilder::DrawMemo(TCanvas& canvas, int line, int lastLine, TgprMemoIndex memo,
                               const std::vector<std::u32string>& lines) const {
  const int left = MemoBoxOf(settings_.Memo(memo), print_, settings_).Left;
  for (size_t i = 0; i < lines.size() && line + static_cast<int>(i) < lastLine; ++i)
    canvas.Put(line + static_cast<int>(i), left, lines[i]);
}

void TgprPageBuilder::DrawRule(TCanvas& canvas, int line, int x0, int across, TgprLineRow row, int changeLevel) const {
  const std::vector<int>& cols = across_.Columns[static_cast<size_t>(across - 1)];
  const int margins = Margin(settings_.CellMarginTxt.Left) + Margin(settings_.CellMarginTxt.Right);
  bool ruleStarted = false;
  for (const int c : cols) {
    const TColInfo& column = objInfo_.Columns[c];
    const bool outdent = changeLevel >= 0 && c < changeLevel;
    const int sepX = x0 + column.XPos;
    const int sepW = SeparatorWidth(print_, column.FirstOnPage);
    if (sepW > 0) {
      TgprLinePos pos = lpJunction;
      if (column.FirstOnPage) {
        pos = lpLeftBorder;
      } else if (outdent) {
        pos = lpOutdentJunction;
      } else if (changeLevel >= 0 && !ruleStarted) {
        pos = lpRuleStart;
      }
      canvas.Put(line, sepX, lineDraw_.At(row, pos));
    }
    ruleStarted = ruleStarted || !outdent;
    const char32_t fill = lineDraw_.At(row, outdent ? lpOutdentFill : lpFill);
    canvas.Put(line, sepX + sepW, std::u32string(static_cast<size_t>(margins + column.Width), fill));
  }
  if (print_.Borders)
    canvas.Put(line, x0 + across_.Widths[static_cast<size_t>(across - 1)] - 1, lineDraw_.At(row, lpRightBorder));
}

void TgprPageBuilder::DrawCellByEvent(TCanvas& canvas, int line, int x0, const TColInfo& column,
                                      std::u32string_view text, bool centred, TgprCellPart part, int position,
                                      long long lineNumber) const {
  const int ml = Margin(settings_.CellMarginTxt.Left);
  const int mr = Margin(settings_.CellMarginTxt.Right);
  const int cellX = x0 + column.XPos + SeparatorWidth(print_, column.FirstOnPage);
  std::string fldStr = EncodeUtf8(text);
  bool alignField = true;
  TgprAlignment alignment = centred ? gaCenter : column.Alignment;
  TgprCellRect dataRect{cellX + ml, line, cellX + ml + column.Width, line + 1};
  const TgprCellRect maxRect{cellX, line, cellX + ml + column.Width + mr, line + 1};
  TgprFieldInfo info;
  info.Column = &column;
  info.DataType = column.FieldType;
  info.Text = fldStr;
  info.Part = part;
  info.Line = static_cast<int>(lineNumber);
  info.Position = position;
  objInfo_.Events.OnFieldAlign(fldStr, alignField, alignment, dataRect, maxRect, info);
  // The cell may move and grow, but not beyond its margins.
  const int left = std::clamp(dataRect.Left, maxRect.Left, maxRect.Right);
  const int right = std::clamp(dataRect.Right, left, maxRect.Right);
  int offset = 0;
  const std::u32string shown = AlignIn(DecodeUtf8(fldStr), right - left, alignField ? alignment : gaLeft, offset);
  canvas.Put(line, left + offset, shown);
}

void TgprPageBuilder::DrawCell(TCanvas& canvas, int line, int x0, const TColInfo& column, std::u32string_view text,
                               bool numberLike, bool centred) const {
  const int ml = Margin(settings_.CellMarginTxt.Left);
  const int mr = Margin(settings_.CellMarginTxt.Right);
  const int cellX = x0 + column.XPos + SeparatorWidth(print_, column.FirstOnPage);
  const int width = column.Width;
  const int length = static_cast<int>(text.size());
  int offset = 0;
  if (centred) {
    const std::u32string shown = AlignIn(text, width, gaCenter, offset);
    canvas.Put(line, cellX + ml + offset, shown);
  } else if (numberLike) {
    const int content = width - column.FreeLeft - column.FreeRight;
    if (length <= content) {
      const std::u32string shown = AlignIn(text, content, column.Alignment, offset);
      canvas.Put(line, cellX + ml + column.FreeLeft + offset, shown);
    } else if (length <= width) {
      const std::u32string shown = AlignIn(text, width, column.Alignment, offset);
      canvas.Put(line, cellX + ml + offset, shown);
    } else if (length <= ml + width + mr) {
      const std::u32string shown = AlignIn(text, ml + width + mr, column.Alignment, offset);
      canvas.Put(line, cellX + offset, shown);
    } else {
      canvas.Put(line, cellX + ml, std::u32string(static_cast<size_t>(width), U'*'));
    }
  } else {
    std::u32string shown(text);
    FitToWidth(shown, width, truncSymbol_);
    const std::u32string placed = AlignIn(shown, width, column.Alignment, offset);
    canvas.Put(line, cellX + ml + offset, placed);
  }
}

void TgprPageBuilder::LayOut(int pageNo, int across, const TState& start, TState& end, TCanvas* canvas) {
  const TColsList& columns = objInfo_.Columns;
  const int linesPerPage = print_.LinesPerPage;
  const bool measuring = canvas == nullptr;
  const int borderLines = print_.Borders ? 1 : 0;
  const int cellTop = Margin(settings_.CellMarginTxt.Top);
  const int cellBottom = Margin(settings_.CellMarginTxt.Bottom);
  const std::vector<int>& pageCols = across_.Columns[static_cast<size_t>(across - 1)];
  end = start;
  TState& st = end;

  // Footer area first: it always gets its room.
  const std::vector<std::u32string> pageFooter = MemoLinesFor(miPgFtr, pageNo, across, measuring);
  const std::vector<std::u32string> pageNumber = MemoLinesFor(miPgNum, pageNo, across, measuring);
  const int footerTop = std::max(0, linesPerPage - static_cast<int>(pageFooter.size() + pageNumber.size()) -
                                        Margin(settings_.PageMarginTxt.Bottom));

  int line = std::min(Margin(settings_.PageMarginTxt.Top), footerTop);
  int reportTitleLines = 0;
  std::vector<TgprMemoIndex> headers;
  if (pageNo == 1) headers = {miRptTi, miRptHdr};
  headers.push_back(miPgTi);
  headers.push_back(miPgHdr);
  for (const TgprMemoIndex memo : headers) {
    const std::vector<std::u32string> lines = MemoLinesFor(memo, pageNo, across, measuring);
    const int used = std::min(static_cast<int>(lines.size()), footerTop - line);
    if (canvas) DrawMemo(*canvas, line, footerTop, memo, lines);
    if (memo == miRptTi || memo == miRptHdr) reportTitleLines += used;
    line += used;
  }
  const int headerBottom = line;
  // A row or the totals that do not fit on an empty page of their own are cut rather than
  // moved on for ever; the first page, shortened by the report titles, moves them on once.
  const bool freshPage = pageNo > 1 || reportTitleLines == 0;

  // Report titles may leave no room for the grid on the first page: it starts on the next.
  const int gridFrame = 2 * borderLines + titleRows_ + (print_.Borders && !print_.ShareAdjBorders ? 1 : 0);
  const bool gridFits = headerBottom + gridFrame < footerTop;

  for (int panel = 0; gridFits && panel < print_.Panels && !st.TotalsDone; ++panel) {
    const int x0 = print_.ReportOffset + panel * print_.PanelWidth;
    line = headerBottom;
    const int limit = footerTop - borderLines;
    if (print_.Borders) {
      if (canvas) DrawRule(*canvas, line, x0, across, lrTop, -1);
      ++line;
    }
    if (titleRows_ > 0) {
      for (int r = 0; r < titleRows_ && canvas; ++r) DrawRule(*canvas, line + r, x0, across, lrInside, -1);
      if (canvas) {
        for (const int c : pageCols) {
          const std::vector<std::u32string> title = TitleLines(columns[c]);
          const int first = titleRows_ - static_cast<int>(title.size());
          for (size_t r = 0; r < title.size(); ++r) {
            std::u32string text = title[r];
            FitToWidth(text, columns[c].Width, {});
            TColInfo placed = columns[c];
            placed.Alignment = settings_.ColTitleAlignment;
            DrawCell(*canvas, line + first + static_cast<int>(r), x0, placed, text, false, false);
          }
        }
      }
      line += titleRows_;
    }
    if (print_.Borders && !print_.ShareAdjBorders) {
      if (canvas) DrawRule(*canvas, line, x0, across, lrRule, -1);
      ++line;
    }

    int rowsInPanel = 0;
    int previousLevel = columns.Count();
    while (!st.DataDone) {
      const int index = NextAccepted(st.Next);
      if (index < 0) {
        st.DataDone = true;
        break;
      }
      TRow row = PrepareRow(index, st, rowsInPanel == 0, measuring);
      bool rule = false;
      int ruleLevel = -1;
      if (print_.HorizontalLines) {
        rule = rowsInPanel % std::max(1, settings_.HorizLineFreq) == 0;
      } else if (print_.GrpBrkLines && rowsInPanel > 0) {
        rule = row.ChangeLevel <= settings_.NumGrpBrkCols &&
               (row.ChangeLevel < previousLevel || row.ChangeLevel <= settings_.AdjGrpBrkLines);
        ruleLevel = row.ChangeLevel;
      }
      const int height = RowHeight(row);
      const int extent = (rule ? 1 : 0) + cellTop + height + cellBottom;
      if (line + extent > limit && !(rowsInPanel == 0 && freshPage && line < limit)) break;

      if (rule) {
        if (canvas) DrawRule(*canvas, line, x0, across, lrRule, ruleLevel);
        ++line;
      }
      const int rowTop = line;
      const int rowEnd = std::min(limit, line + cellTop + height + cellBottom);
      if (canvas) {
        for (int l = rowTop; l < rowEnd; ++l) DrawRule(*canvas, l, x0, across, lrInside, -1);
        const bool wrap = settings_.MaxStringLines > 1;
        for (const int c : pageCols) {
          const TColInfo& column = columns[c];
          const int textTop = rowTop + cellTop;
          if ((column.DataClass == dcString || column.DataClass == dcMemo) && wrap && !row.Centred[c]) {
            const int limitLines =
                std::max(1, column.DataClass == dcString ? settings_.MaxStringLines : settings_.MaxMemoLines);
            const TgprWrapped wrapped = WrapText(row.Texts[c], column.Width, limitLines, truncSymbol_);
            for (size_t l = 0; l < wrapped.Lines.size() && textTop + static_cast<int>(l) < rowEnd; ++l) {
              if (objInfo_.Events.OnFieldAlign) {
                DrawCellByEvent(*canvas, textTop + static_cast<int>(l), x0, column, wrapped.Lines[l], false, cpData,
                                rows_.Position(index), st.LineNumber);
              } else {
                DrawCell(*canvas, textTop + static_cast<int>(l), x0, column, wrapped.Lines[l], false, false);
              }
            }
          } else if (textTop < rowEnd) {
            if (objInfo_.Events.OnFieldAlign) {
              DrawCellByEvent(*canvas, textTop, x0, column, row.Texts[c], row.Centred[c], cpData, rows_.Position(index),
                              st.LineNumber);
            } else {
              DrawCell(*canvas, textTop, x0, column, row.Texts[c], IsNumberLike(column), row.Centred[c]);
            }
          }
        }
      }
      line = rowEnd;
      st.Next = index + 1;
      ++st.LineNumber;
      st.BreakValues = std::move(row.BreakValues);
      st.BreakKnown = std::move(row.BreakKnown);
      previousLevel = row.ChangeLevel;
      ++rowsInPanel;
      if (NextAccepted(st.Next) < 0) st.DataDone = true;
    }

    if (st.DataDone) {
      const int totalLines = TotalRowHeight();
      const std::vector<std::u32string> footer = MemoLinesFor(miRptFtr, pageNo, across, measuring);
      const int totalsBlock = totalLines > 0 ? totalLines + borderLines : 0;
      const int need = totalsBlock + borderLines + static_cast<int>(footer.size());
      if (line + need <= footerTop || (rowsInPanel == 0 && freshPage)) {
        if (totalLines > 0) {
          if (print_.Borders) {
            if (canvas) DrawRule(*canvas, line, x0, across, lrRule, -1);
            ++line;
          }
          const int totalsEnd = std::min(limit, line + totalLines);
          if (canvas) {
            for (int l = line; l < totalsEnd; ++l) DrawRule(*canvas, l, x0, across, lrInside, -1);
            const bool fieldFormat = settings_.IncludeOptions.Has(ioFieldFormat);
            for (const int c : pageCols) {
              const TColInfo& column = columns[c];
              std::u32string text = DecodeUtf8(GrandTotalText(column, fieldFormat));
              const bool number = ReadsAsNumber(text);
              std::replace(text.begin(), text.end(), U'|', U'\r');
              const TgprWrapped wrapped =
                  WrapText(text, column.Width, std::max(1, settings_.MaxStringLines), truncSymbol_);
              for (size_t l = 0; l < wrapped.Lines.size() && line + static_cast<int>(l) < totalsEnd; ++l)
                DrawCell(*canvas, line + static_cast<int>(l), x0, column, wrapped.Lines[l], number, false);
            }
          }
          line = totalsEnd;
        }
        if (print_.Borders) {
          if (canvas) DrawRule(*canvas, line, x0, across, lrBottom, -1);
          ++line;
        }
        if (canvas) DrawMemo(*canvas, line, footerTop, miRptFtr, footer);
        st.TotalsDone = true;
        continue;
      }
    }
    if (print_.Borders) {
      if (canvas) DrawRule(*canvas, line, x0, across, lrBottom, -1);
      ++line;
    }
  }

  if (canvas) {
    DrawMemo(*canvas, footerTop, linesPerPage, miPgFtr, pageFooter);
    DrawMemo(*canvas, footerTop + static_cast<int>(pageFooter.size()), linesPerPage, miPgNum, pageNumber);
  }
}

void TgprPageBuilder::EnsureLaidOut(int pageNo) {
  while (laidOut_ < pageNo && pageCount_ == 0) {
    const int n = laidOut_ + 1;
    const TState& start = starts_[static_cast<size_t>(laidOut_)];
    TState end;
    LayOut(n, 1, start, end, nullptr);
    if (end.TotalsDone) {
      pageCount_ = n;
    } else if (n > 1 && end.Next == start.Next && end.DataDone == start.DataDone) {
      // Only the first page, shortened by the report titles, may hold no row.
      throw eGprIntError("[PageBuilder] **\rPage " + std::to_string(n) + " holds nothing of the report");
    } else {
      starts_.push_back(std::move(end));
    }
    laidOut_ = n;
  }
}

bool TgprPageBuilder::HasPage(int pageNo) {
  if (pageNo < 1) return false;
  // Page n exists unless an earlier page is the last.
  EnsureLaidOut(pageNo - 1);
  return pageCount_ == 0 || pageNo <= pageCount_;
}

int TgprPageBuilder::PageCount() {
  EnsureLaidOut(std::numeric_limits<int>::max());
  return pageCount_;
}

const TgprPage& TgprPageBuilder::Page(int across, int pageNo) {
  if (across < 1 || across > PagesAcross() || !HasPage(pageNo)) {
    throw eGprIntError("[PageBuilder] **\rPage " + std::to_string(pageNo) + "-" + std::to_string(across) +
                       " is out of range");
  }
  for (const TgprPage& page : recent_) {
    if (page.Across == across && page.PageNo == pageNo) return page;
  }
  TCanvas canvas(print_.LinesPerPage, print_.CharsPerLine);
  TState end;
  LayOut(pageNo, across, starts_[static_cast<size_t>(pageNo - 1)], end, &canvas);
  if (pageCount_ == 0 && laidOut_ == pageNo - 1) {
    // Drawing a page lays it out too: keep what it found.
    if (end.TotalsDone) {
      pageCount_ = pageNo;
    } else {
      starts_.push_back(std::move(end));
    }
    laidOut_ = pageNo;
  }
  TgprPage page;
  page.Across = across;
  page.PageNo = pageNo;
  page.Lines = canvas.Finish();
  if (recent_.size() >= kRecentPages) recent_.pop_front();
  recent_.push_back(std::move(page));
  return recent_.back();
}

}  // namespace gpr
