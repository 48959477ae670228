// Report memos on the page: their box, their codes and their lines.
//
// Codes in a memo's text: "^D" the run's date, "^T" the run's time, "^P" the page number,
// and "^N" the number of pages of the report (so a footer can read "Page ^P of ^N"). A code
// followed by "L", "C" or "R" (either case) places its text at the left end, centre or right
// end of the line instead of inline; the letter is not printed. Any other "^" is printed as
// it is. A line without placed codes is word-wrapped to the box and aligned by
// `MemoAlignment`; a line with placed codes is one line.
#pragma once

#include "print/core/print_settings.h"
#include "print/core/report_settings.h"

#include <string>
#include <vector>

namespace gpr {

// What the codes print on one page.
struct TgprMemoCodes {
  std::string Date;
  std::string Time;
  std::string Page;       // "3", "3-2" with pages across, with `MemoPageFormatStr` in front
  std::string PageCount;  // "41"
};

// The page number text of ^P.
std::string PageNumberText(const TgprReportSettings& settings, int pageNo, int across, int pagesAcross);

struct TgprMemoBox {
  int Left = 0;
  int Width = 1;
};
TgprMemoBox MemoBoxOf(const TgprRptMemo& memo, const TgprPrintSettings& print, const TgprReportSettings& settings);

// Whether the memo prints at all: visible with a text.
bool MemoPrints(const TgprRptMemo& memo);

// The memo's lines within its box, blank margin lines included; empty when it does not print.
std::vector<std::u32string> MemoLines(const TgprRptMemo& memo, int boxWidth, const TgprMemoCodes& codes);

}  // namespace gpr
