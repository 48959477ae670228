// TTablePageSource: a stand-in page builder for the output channel tests and benchmarks.
//
// It lays rows of cell texts out as a framed text table: columns of fixed widths, grouped
// into horizontal pages no wider than the page width, a title row and a rule on every page,
// a bottom border, and the rows of a page on every one of its horizontal parts. The frame is
// drawn with the Unicode box-drawing characters (or "+-|" when ascii is set). Cells are cut
// to their column's width in characters.
#pragma once

#include "print/core/page_source.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace gpr::testing {

class TTablePageSource : public TgprPageSource {
 public:
  TTablePageSource(std::vector<std::string> titles, std::vector<int> widths, std::vector<std::vector<std::string>> rows,
                   int linesPerPage = 60, int pageWidth = 80, bool ascii = false)
      : titles_(std::move(titles)), widths_(std::move(widths)), rows_(std::move(rows)), ascii_(ascii) {
    rowsPerPage_ = std::max(1, linesPerPage - 4);
    // Columns go on the current horizontal page while the frame still fits.
    int used = 1;
    groups_.emplace_back();
    for (int c = 0; c < static_cast<int>(widths_.size()); ++c) {
      if (!groups_.back().empty() && used + widths_[c] + 1 > pageWidth) {
        groups_.emplace_back();
        used = 1;
      }
      groups_.back().push_back(c);
      used += widths_[c] + 1;
    }
  }

  int PagesAcross() const override { return static_cast<int>(groups_.size()); }
  int PageCount() const { return std::max<int>(1, (static_cast<int>(rows_.size()) + rowsPerPage_ - 1) / rowsPerPage_); }

  bool BuildPage(TgprPageId page, std::vector<std::string>& lines) override {
    lines.clear();
    const int first = (page.Page - 1) * rowsPerPage_;
    if (first >= static_cast<int>(rows_.size()) && !(page.Page == 1 && rows_.empty())) return false;
    if (page.Across < 1 || page.Across > PagesAcross()) return false;
    const std::vector<int>& columns = groups_[page.Across - 1];
    const int last = std::min<int>(first + rowsPerPage_, static_cast<int>(rows_.size()));
    lines.push_back(Rule(columns, 0));
    lines.push_back(Row(columns, titles_));
    lines.push_back(Rule(columns, 1));
    for (int r = first; r < last; ++r) lines.push_back(Row(columns, rows_[r]));
    lines.push_back(Rule(columns, 2));
    rowsDone_ = std::max(rowsDone_, last);
    dataEnded_ = last >= static_cast<int>(rows_.size());
    return true;
  }
  bool DataEnded() const override { return dataEnded_; }
  int RowsDone() const override { return rowsDone_; }
  int RowCount() const override { return static_cast<int>(rows_.size()); }

 private:
  // kind 0 top border, 1 rule under the titles, 2 bottom border.
  std::string Rule(const std::vector<int>& columns, int kind) const {
    static constexpr const char* kLeft[] = {"┌", "├", "└"};
    static constexpr const char* kJoin[] = {"┬", "┼", "┴"};
    static constexpr const char* kRight[] = {"┐", "┤", "┘"};
    std::string line = ascii_ ? "+" : kLeft[kind];
    for (std::size_t i = 0; i < columns.size(); ++i) {
      for (int k = 0; k < widths_[columns[i]]; ++k) line += ascii_ ? "-" : "─";
      line += ascii_ ? "+" : (i + 1 == columns.size() ? kRight[kind] : kJoin[kind]);
    }
    return line;
  }

  std::string Row(const std::vector<int>& columns, const std::vector<std::string>& cells) const {
    const char* bar = ascii_ ? "|" : "│";
    std::string line = bar;
    for (int c : columns) {
      const std::string_view cell = c < static_cast<int>(cells.size()) ? std::string_view(cells[c]) : "";
      int shown = 0;
      std::size_t i = 0;
      while (i < cell.size() && shown < widths_[c]) {
        std::size_t next = i + 1;
        while (next < cell.size() && (static_cast<unsigned char>(cell[next]) & 0xC0) == 0x80) ++next;
        line.append(cell.substr(i, next - i));
        i = next;
        ++shown;
      }
      line.append(static_cast<std::size_t>(widths_[c] - shown), ' ');
      line += bar;
    }
    return line;
  }

  std::vector<std::string> titles_;
  std::vector<int> widths_;
  std::vector<std::vector<std::string>> rows_;
  bool ascii_;
  int rowsPerPage_ = 56;
  std::vector<std::vector<int>> groups_;
  int rowsDone_ = 0;
  bool dataEnded_ = false;
};

}  // namespace gpr::testing
