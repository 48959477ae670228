// TgprPrintedObject: what a component's ObjectToPrint refers to - a window (the result grid,
// another grid, list or table widget) or a dataset (the in-memory result set or an engine
// table or query) - and the object kinds and ranks GridPrinter sorts such objects into.
//
// A window reference is a QPointer, so it reads as unassigned once the window is destroyed;
// the component clears a result set reference itself when the result set goes (it observes
// it). An engine dataset must stay alive while it is bound.
//
// Kinds, tested in this order, the first match winning: table dataset 15, query dataset 16,
// DB grid 5 (the result grid), other data-aware grid 6 (any other table view), list box 12
// (QListWidget), string grid 14 (QTableWidget), list view 13 (other list and tree views),
// decision grid 18 (none exists here), other dataset 17 (the result set, any other engine
// dataset). Only the DB grid and the datasets are printed by this system.
#pragma once

#include "print/core/report_settings.h"

#include <QObject>
#include <QPointer>

#include <string>

namespace quarry {
class TClientDataSet;
class TQuarryDataSet;
}  // namespace quarry

namespace gpr {

class TgprPrintedObject {
 public:
  void Clear();
  void SetWindow(QObject* window);
  void SetResultSet(quarry::TClientDataSet* dataSet, std::string name);
  void SetEngineDataSet(quarry::TQuarryDataSet* dataSet);

  bool IsAssigned() const { return window_ != nullptr || resultSet_ != nullptr || engineDataSet_ != nullptr; }
  QObject* Window() const { return window_.data(); }
  quarry::TClientDataSet* ResultSet() const { return resultSet_; }
  quarry::TQuarryDataSet* EngineDataSet() const { return engineDataSet_; }

  TgprObjectKind Kind() const;
  // The object's name (its class name when it has none), and its owner's name.
  std::string Name() const;
  std::string OwnerName() const;

 private:
  QPointer<QObject> window_;
  quarry::TClientDataSet* resultSet_ = nullptr;
  std::string resultSetName_;
  quarry::TQuarryDataSet* engineDataSet_ = nullptr;
};

// Kind of a window (okNotPrintable for any other object).
TgprObjectKind WindowKind(const QObject* window);
// Rank of a kind when the component picks its default object: decision grid 16, DB grid 9,
// other data-aware grid 8, list view 7, string grid 6, list box 5, query 3, table 1, other
// dataset 0; -1 for an object that cannot be printed.
int KindRank(TgprObjectKind kind);

}  // namespace gpr
