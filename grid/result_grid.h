// TResultGrid: the grid that shows the search results - a table view over an in-memory result
// set (TClientDataSet) through TResultGridModel - and TResultGridTitle, its title row.
//
// What it adds to a plain table view:
//  - Title-click sorting. A click on a column title raises TitleClick(column) and then, when
//    TitleSort is on, sorts the result set through its index "SortGrid": a plain click makes
//    that column the only sort key, ascending, and each further plain click reverses it; a
//    Shift-click adds the column as a further ascending key, makes it descending on the next
//    Shift-click and takes it out of the sort on the third. The title of each sorted column
//    shows a small two-tone triangle, apex up for ascending and down for descending, at its
//    right end; the caption of such a title is laid out clear of the triangle.
//  - Column configuration files. ConfigFile names a file the columns are loaded from when it
//    is set (if it exists) and saved to when the grid is destroyed; LoadColumns/SaveColumns do
//    the same on demand. Format: column_config_file.h.
//  - The current row follows the result set's current record, and selecting a row makes that
//    record current (raising the result set's scroll events).
// The grid is read-only.
//
// Grid columns. Arrow states are kept per grid column, where grid column 0 is the row
// indicator column when it is shown (the vertical header) and the data columns follow; only
// grid columns 0..255 keep an arrow.
//
// Columns are either the defaults - one per field of the result set, rebuilt whenever its
// fields change - or a collection set by the application or loaded from a file
// ("customised"). Only a customised collection is saved; saving default columns deletes the
// file instead, so that the next load starts from the defaults again.
//
// Like every window, the grid lives on the user-interface thread; so must its result set.
#pragma once

#include "dbaccess/client_data_set.h"
#include "grid/grid_column.h"

#include <QColor>
#include <QHeaderView>
#include <QString>
#include <QTableView>

#include <array>
#include <optional>
#include <vector>

class TResultGrid;
class TResultGridModel;

enum TArrowType { atNone = 0, atDown = 1, atUp = 2 };

// The triangle's default tones for a title row drawn with this palette: on a light button
// face the shadow and dark tones, on a dark face the light and midlight tones, each replaced
// by a mix of the face and its text colour when it is too close to the face to be seen.
struct TArrowTones {
  QColor shade;      // the left edge
  QColor highlight;  // the right edge and the base
};
TArrowTones ArrowTones(const QPalette& palette);

// The title row: draws each title as the base header does, then the sort triangle; remembers
// the keyboard modifiers of the mouse click that it turns into a title click.
class TResultGridTitle : public QHeaderView {
  Q_OBJECT
 public:
  // A sorted column's title needs its caption's width plus this much, the triangle's room.
  static constexpr int kArrowRoom = 15;
  // The caption ends this far left of the cell's right edge, a pixel clear of the triangle.
  static constexpr int kCaptionGap = 11;

  explicit TResultGridTitle(TResultGrid* grid);

  // The modifiers of the click being handled, if the click came from the mouse; cleared.
  std::optional<Qt::KeyboardModifiers> TakeClickModifiers();

  // The palette the style draws the title cells with.
  QPalette FacePalette() const;

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  TResultGrid* grid_;
  std::optional<Qt::KeyboardModifiers> clickModifiers_;
};

class TResultGrid : public QTableView {
  Q_OBJECT
 public:
  static constexpr int kArrowColumns = 256;
  static constexpr const char* kSortIndexName = "SortGrid";

  explicit TResultGrid(QWidget* parent = nullptr);
  // Saves the columns to ConfigFile when one is named (a failure is only logged).
  ~TResultGrid() override;

  // The result set shown (not owned; it may be destroyed first).
  void SetDataSet(quarry::TClientDataSet* dataSet);
  quarry::TClientDataSet* DataSet() const;

  bool TitleSort() const { return titleSort_; }
  void SetTitleSort(bool on) { titleSort_ = on; }
  // The triangle's two tones: the colour set, else one taken from the palette the title row
  // is drawn with, standing out on its button face, light or dark (see ArrowTones).
  QColor ArrowShade() const;
  void SetArrowShade(const QColor& color);
  QColor ArrowHighlight() const;
  void SetArrowHighlight(const QColor& color);
  // Both tones for title cells drawn with this palette.
  TArrowTones ArrowTonesOn(const QPalette& palette) const;

  const QString& ConfigFile() const { return configFile_; }
  // Stores the name and loads the columns from that file if it exists; a missing file
  // leaves the columns as they are. Throws EGridColumnsError for an invalid file (the name
  // is kept, the columns are not changed).
  void SetConfigFile(const QString& fileName);
  // Loads the columns from the file (ConfigFile when empty) if it exists, else resets them
  // to the defaults. Throws EGridColumnsError for an invalid file.
  void LoadColumns(const QString& fileName = {});
  // Writes customised columns to the file (ConfigFile when empty); with default columns, or
  // no column at all, deletes the file instead. Does nothing without any name. Throws
  // EGridColumnsError when the file cannot be written.
  void SaveColumns(const QString& fileName = {});

  // The columns in display order, with their current widths.
  const std::vector<TGridColumn>& Columns() const;
  void SetColumns(std::vector<TGridColumn> columns);  // customised from now on
  void ResetColumns();                                // defaults from now on
  bool ColumnsCustomized() const { return customized_; }

  bool IndicatorShown() const;
  // Grid column of a data column: its number, plus 1 when the indicator column is shown.
  int GridColumnOf(int column) const;
  // Arrow of a grid column; atNone outside 0..255.
  TArrowType Arrow(int gridColumn) const;

  // Sorts by a data column as a title click does (extend: as with Shift held). Errors of the
  // result set pass to the caller.
  void SortByColumn(int column, bool extend);

  // Record numbers of the rows selected as whole rows, in ascending order.
  std::vector<int> SelectedRows() const;

 signals:
  // The grid's own title-click event, raised before any sorting.
  void TitleClick(int column);

 protected:
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

 private:
  friend class TResultGridTitle;

  void TitleClicked(int column);
  void ModelReset();
  void FollowDataSet();
  void ApplyColumnLayout();
  void ColumnResized(int column, int oldSize, int newSize);
  std::vector<TGridColumn> DefaultColumns() const;

  TResultGridModel* model_;  // owned through Qt parenting
  TResultGridTitle* title_;  // owned through Qt parenting
  bool titleSort_ = true;
  std::optional<QColor> arrowShade_;  // none: from the title row's palette
  std::optional<QColor> arrowHighlight_;
  QString configFile_;
  bool customized_ = false;
  std::array<TArrowType, kArrowColumns> arrows_{};
  // Set while the grid itself moves the view's current row or lays out its columns, so that
  // the resulting view notifications are not taken for the user's.
  bool following_ = false;
  bool layingOut_ = false;
};
