// The result grid's table model; see result_grid_model.h.
#include "grid/result_grid_model.h"

#include <QBrush>

using quarry::TClientDataSet;

namespace {
// Mark of the current record in the row indicator column.
const QString kCurrentMark = QStringLiteral("\u25B6");
}  // namespace

TResultGridModel::TResultGridModel(QObject* parent) : QAbstractTableModel(parent) {}

TResultGridModel::~TResultGridModel() {
  if (dataSet_ != nullptr) dataSet_->RemoveObserver(this);
}

void TResultGridModel::SetDataSet(TClientDataSet* dataSet) {
  if (dataSet == dataSet_) return;
  beginResetModel();
  if (dataSet_ != nullptr) dataSet_->RemoveObserver(this);
  dataSet_ = dataSet;
  if (dataSet_ != nullptr) dataSet_->AddObserver(this);
  BindFields();
  endResetModel();
}

void TResultGridModel::SetColumns(std::vector<TGridColumn> columns) {
  beginResetModel();
  columns_ = std::move(columns);
  BindFields();
  endResetModel();
}

void TResultGridModel::SetColumnWidth(int column, int width) {
  if (column >= 0 && column < static_cast<int>(columns_.size())) columns_[static_cast<size_t>(column)].width = width;
}

void TResultGridModel::BindFields() {
  fieldOf_.assign(columns_.size(), -1);
  indicatorRow_ = -1;
  if (dataSet_ == nullptr) return;
  for (size_t i = 0; i < columns_.size(); ++i) fieldOf_[i] = dataSet_->FindField(columns_[i].fieldName.toStdString());
  indicatorRow_ = dataSet_->RecNo() - 1;
}

int TResultGridModel::FieldOf(int column) const {
  return column >= 0 && column < static_cast<int>(fieldOf_.size()) ? fieldOf_[static_cast<size_t>(column)] : -1;
}

int TResultGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || dataSet_ == nullptr ? 0 : dataSet_->RecordCount();
}

int TResultGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant TResultGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || dataSet_ == nullptr || index.row() >= dataSet_->RecordCount()) return {};
  const TGridColumn& column = columns_[static_cast<size_t>(index.column())];
  const int field = FieldOf(index.column());
  switch (role) {
  case Qt::DisplayRole: return field < 0 ? QString() : QString::fromStdString(dataSet_->AsStringAt(index.row(), field));
  case Qt::TextAlignmentRole: return QVariant::fromValue(column.alignment);
  case Qt::FontRole: return column.font ? QVariant(*column.font) : QVariant();
  case Qt::ForegroundRole: return column.textColor ? QVariant(QBrush(*column.textColor)) : QVariant();
  default: return {};
  }
}

QVariant TResultGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Vertical) {
    if (role == Qt::DisplayRole) return section == indicatorRow_ ? kCurrentMark : QString();
    return {};
  }
  if (section < 0 || section >= static_cast<int>(columns_.size())) return {};
  const TGridColumn& column = columns_[static_cast<size_t>(section)];
  switch (role) {
  case Qt::DisplayRole: return column.title;
  case Qt::TextAlignmentRole: return QVariant::fromValue(column.titleAlignment);
  case Qt::FontRole: return column.titleFont ? QVariant(*column.titleFont) : QVariant();
  default: return {};
  }
}

Qt::ItemFlags TResultGridModel::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void TResultGridModel::DataSetChanged() {
  beginResetModel();
  BindFields();
  endResetModel();
}

void TResultGridModel::RecordChanged() {
  const int previous = indicatorRow_;
  indicatorRow_ = dataSet_->RecNo() - 1;
  if (previous >= 0) emit headerDataChanged(Qt::Vertical, previous, previous);
  if (indicatorRow_ >= 0) emit headerDataChanged(Qt::Vertical, indicatorRow_, indicatorRow_);
  emit CurrentRecordChanged();
}

void TResultGridModel::DataSetDestroying() {
  beginResetModel();
  dataSet_ = nullptr;
  BindFields();
  endResetModel();
}
