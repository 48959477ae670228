// The columns grid of the report options window (columns_grid.h).
#include "print/columns_grid.h"

#include "print/core/column_totals.h"

#include <QAction>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>

namespace gpr {

namespace {

QString Q(const char* text) { return QString::fromUtf8(text); }

// The hint of each row, shown over its cells.
QString RowHint(int row) {
  switch (row) {
  case cgrVisible: return Q("Double click or use SPACE to toggle column visibility.");
  case cgrTotal: return Q("Select a total for the column.");
  case cgrFormat: return Q("Press ENTER or double click to enter formatting string for total. Press F1 for more info.");
  default: return {};
  }
}

}  // namespace

TgprColumnsGrid::TgprColumnsGrid(TColsList& columns, TgprReportSettings& settings, QWidget* parent)
    : QTableWidget(cgrRowCount, 0, parent), columns_(columns), settings_(settings) {
  setObjectName(QStringLiteral("Columns"));
  setVerticalHeaderLabels({Q("Column Name"), Q("Visible"), Q("Break"), Q("Column Total"), Q("Format String")});
  horizontalHeader()->hide();
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setToolTip(RowHint(cgrVisible));

  mnuPopup_ = new QMenu(this);
  actFieldNames_ = mnuPopup_->addAction(Q("&Display Field Names"), this, [this](bool on) { SetShowFieldNames(on); });
  actFieldNames_->setCheckable(true);
  mnuPopup_->addSeparator();
  mnuPopup_->addAction(Q("&Hide all Columns"), this, [this] { SetAllVisible(false); });
  mnuPopup_->addAction(Q("&Show all Columns"), this, [this] { SetAllVisible(true); });
  mnuPopup_->addAction(Q("&Toggle Column Visibility"), this, [this] { ToggleAll(); });
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { mnuPopup_->popup(viewport()->mapToGlobal(at)); });

  connect(this, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) {
    if (row == cgrVisible) ToggleColumn(column);
  });
  connect(this, &QTableWidget::cellActivated, this, [this](int row, int column) {
    if ((row == cgrTotal || row == cgrFormat) && column >= 0 && column < columns_.Count() && OnTotalActivated) {
      OnTotalActivated(static_cast<TgprColumnsGridRow>(row), column);
    }
  });
}

void TgprColumnsGrid::Fill() {
  ApplyColumnTotals(columns_, settings_.ColumnTotals, settings_.GroupColumns);
  setColumnCount(columns_.Count());
  for (int c = 0; c < columns_.Count(); ++c) {
    const TColInfo& info = columns_[c];
    const TColTotal* grand = GrandTotal(info);
    const bool byFieldName = showFieldNames_ || info.Title.empty();
    const QString texts[cgrRowCount] = {
        QString::fromStdString(byFieldName ? info.Name : info.Title),
        info.Visible ? Q("Yes") : Q("No"),
        c >= 1 && c <= settings_.NumGrpBrkCols ? Q("Yes") : QString(),
        grand == nullptr ? QString() : QString::fromUtf8(TotalKindName(grand->Kind).data()),
        QString::fromStdString(info.TotalFormat),
    };
    for (int r = 0; r < cgrRowCount; ++r) {
      auto* item = new QTableWidgetItem(texts[r]);
      item->setToolTip(RowHint(r));
      setItem(r, c, item);
    }
  }
}

void TgprColumnsGrid::ToggleColumn(int column) {
  if (column < 0 || column >= columns_.Count()) return;
  columns_[column].Visible = !columns_[column].Visible;
  VisibilityChanged();
}

void TgprColumnsGrid::SetAllVisible(bool visible) {
  for (TColInfo& column : columns_.Items()) column.Visible = visible;
  VisibilityChanged();
}

void TgprColumnsGrid::ToggleAll() {
  for (TColInfo& column : columns_.Items()) column.Visible = !column.Visible;
  VisibilityChanged();
}

void TgprColumnsGrid::SetShowFieldNames(bool on) {
  showFieldNames_ = on;
  actFieldNames_->setChecked(on);
  Fill();
}

void TgprColumnsGrid::VisibilityChanged() {
  std::string hidden;
  for (const TColInfo& column : columns_.Items()) {
    if (column.Visible) continue;
    if (!hidden.empty()) hidden += ",";
    hidden += column.Name;
  }
  const int row = currentRow();
  const int column = currentColumn();
  if (hidden != settings_.HideColumns) {
    settings_.HideColumns = hidden;
    if (OnVisibilityEdited) OnVisibilityEdited();
  }
  Fill();
  setCurrentCell(row, column);
}

void TgprColumnsGrid::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
    ToggleColumn(currentColumn());
    return;
  }
  QTableWidget::keyPressEvent(event);
}

}  // namespace gpr
