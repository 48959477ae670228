// TResultGridModel: the Qt table model through which the result grid shows an in-memory result
// set. Rows are the result set's records in its current order; columns are the grid's column
// collection, each bound by name to a field (a column whose field the result set lacks shows
// empty cells). The model only reads: it never moves the result set's current record.
//
// It observes the result set: an opening, closing or reordering resets the model; a move of
// the current record emits CurrentRecordChanged() and refreshes the row indicator. If the
// result set is destroyed first, the model lets go of it and shows nothing.
#pragma once

#include "dbaccess/client_data_set.h"
#include "grid/grid_column.h"

#include <QAbstractTableModel>

#include <vector>

class TResultGridModel : public QAbstractTableModel, private quarry::TDataSetObserver {
  Q_OBJECT
 public:
  explicit TResultGridModel(QObject* parent = nullptr);
  ~TResultGridModel() override;

  // The result set shown (not owned); nullptr shows nothing.
  void SetDataSet(quarry::TClientDataSet* dataSet);
  quarry::TClientDataSet* DataSet() const { return dataSet_; }

  void SetColumns(std::vector<TGridColumn> columns);
  const std::vector<TGridColumn>& Columns() const { return columns_; }
  // Changes one column's width without resetting the model (the view already shows it).
  void SetColumnWidth(int column, int width);
  // The result set's field number of the column, or -1 (no such column or field).
  int FieldOf(int column) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 signals:
  void CurrentRecordChanged();

 private:
  void DataSetChanged() override;
  void RecordChanged() override;
  void DataSetDestroying() override;
  void BindFields();

  quarry::TClientDataSet* dataSet_ = nullptr;
  std::vector<TGridColumn> columns_;
  // fieldOf_[column]: the column's field number in dataSet_, or -1; same size as columns_.
  std::vector<int> fieldOf_;
  int indicatorRow_ = -1;  // the row showing the current-record mark, -1 none
};
