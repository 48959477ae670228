// TgprColumnsGrid: the Style page's columns grid of the report options window. One grid
// column per report column; the rows show its name, whether it is printed, whether it is a
// group-break column, its grand total and the format string of its totals.
//
// Double click on "Visible" or Space anywhere in a column prints or hides that column; the
// pop-up menu hides, shows or toggles every column and switches the names between the column
// titles and the field names ("&Display Field Names"). Each change of visibility writes
// `HideColumns` back at once. Enter or double click on a total or a format string is the
// window's to answer (OnTotalActivated).
#pragma once

#include "print/core/cols_list.h"
#include "print/core/report_settings.h"

#include <QTableWidget>

#include <functional>

class QAction;
class QMenu;

namespace gpr {

enum TgprColumnsGridRow : int { cgrName = 0, cgrVisible, cgrBreak, cgrTotal, cgrFormat, cgrRowCount };

class TgprColumnsGrid : public QTableWidget {
  Q_OBJECT

 public:
  // columns and settings: the request's (not owned; they outlive the grid).
  TgprColumnsGrid(TColsList& columns, TgprReportSettings& settings, QWidget* parent);

  // After a change of visibility, once `HideColumns` holds it.
  std::function<void()> OnVisibilityEdited;
  // Enter or double click on the total (cgrTotal) or format string (cgrFormat) of a column.
  std::function<void(TgprColumnsGridRow row, int column)> OnTotalActivated;

  // Shows the columns as they are now.
  void Fill();
  void ToggleColumn(int column);
  void SetAllVisible(bool visible);
  // Prints every hidden column and hides every printed one.
  void ToggleAll();
  void SetShowFieldNames(bool on);
  bool ShowFieldNames() const { return showFieldNames_; }
  QMenu* PopupMenu() const { return mnuPopup_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void VisibilityChanged();

  TColsList& columns_;
  TgprReportSettings& settings_;
  bool showFieldNames_ = false;
  QMenu* mnuPopup_;
  QAction* actFieldNames_;
};

}  // namespace gpr
