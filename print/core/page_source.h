// TgprPageSource: the pages of one print run, as the output channels and the run see them.
//
// The page builder of the layout implements it; the run (print_run.h) asks for pages in
// report order - page 1 across-index 1, page 1 across-index 2, ..., page 2 across-index 1 -
// and never goes back. Pages before the run's range are built only at across-index 1, which
// is enough to move through their rows. Lines are UTF-8 without line ends; box-drawing
// characters are the Unicode ones (U+2500 block), whatever the channel later makes of them.
#pragma once

#include <string>
#include <vector>

namespace gpr {

// A page of a report: (across-index, page number), both from 1.
struct TgprPageId {
  int Across = 1;
  int Page = 1;
  bool operator==(const TgprPageId&) const = default;
};

class TgprPageSource {
 public:
  virtual ~TgprPageSource() = default;

  // Horizontal pages the columns need (at least 1).
  virtual int PagesAcross() const = 0;
  // Builds the page into lines (replacing their content). Returns false, leaving lines
  // empty, when the data ended before the page: there is no such page. Pages are asked for
  // in report order; each across-index of a page covers the same rows.
  virtual bool BuildPage(TgprPageId page, std::vector<std::string>& lines) = 0;
  // After a page was built: whether its rows were the last ones, so no page follows it.
  virtual bool DataEnded() const = 0;
  // Rows read so far and the row count expected, for the progress display.
  virtual int RowsDone() const = 0;
  virtual int RowCount() const = 0;
};

}  // namespace gpr
