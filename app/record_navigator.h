// The record navigator of the result panel: First, Prior, Next and Last buttons, with hints,
// that move the current record of an in-memory result set (which raises its scroll events). A
// button is disabled where it could not move: First and Prior on the first record, Next and
// Last on the last, all four when the result set is closed or empty. The navigator observes
// the result set, so the buttons follow moves made by the grid or the program as well.
#pragma once

#include "dbaccess/client_data_set.h"

#include <QWidget>

class QToolButton;

class TRecordNavigator : public QWidget, private quarry::TDataSetObserver {
  Q_OBJECT
 public:
  explicit TRecordNavigator(QWidget* parent = nullptr);
  ~TRecordNavigator() override;

  // The result set the buttons move (not owned; it may be destroyed first); nullptr: none.
  void SetDataSet(quarry::TClientDataSet* dataSet);
  quarry::TClientDataSet* DataSet() const { return dataSet_; }

  void First();
  void Prior();
  void Next();
  void Last();

 private:
  void DataSetChanged() override { UpdateButtons(); }
  void RecordChanged() override { UpdateButtons(); }
  void DataSetDestroying() override;
  void UpdateButtons();

  quarry::TClientDataSet* dataSet_ = nullptr;
  QToolButton* nbFirst_;
  QToolButton* nbPrior_;
  QToolButton* nbNext_;
  QToolButton* nbLast_;
};
