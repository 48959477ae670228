// Classifying the object a component prints (printed_object.h).
#include "print/printed_object.h"

#include "dbaccess/quarry_query.h"
#include "dbaccess/quarry_table.h"
#include "grid/result_grid.h"

#include <QListView>
#include <QListWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTreeView>

namespace gpr {

void TgprPrintedObject::Clear() {
  window_ = nullptr;
  resultSet_ = nullptr;
  resultSetName_.clear();
  engineDataSet_ = nullptr;
}

void TgprPrintedObject::SetWindow(QObject* window) {
  Clear();
  window_ = window;
}

void TgprPrintedObject::SetResultSet(quarry::TClientDataSet* dataSet, std::string name) {
  Clear();
  resultSet_ = dataSet;
  resultSetName_ = std::move(name);
}

void TgprPrintedObject::SetEngineDataSet(quarry::TQuarryDataSet* dataSet) {
  Clear();
  engineDataSet_ = dataSet;
}

TgprObjectKind TgprPrintedObject::Kind() const {
  if (engineDataSet_ != nullptr) {
    if (dynamic_cast<quarry::TQuarryTable*>(engineDataSet_) != nullptr) return okTable;
    if (dynamic_cast<quarry::TQuarryQuery*>(engineDataSet_) != nullptr) return okQuery;
    return okDataSet;
  }
  if (window_ != nullptr) return WindowKind(window_.data());
  if (resultSet_ != nullptr) return okDataSet;
  return okNotPrintable;
}

std::string TgprPrintedObject::Name() const {
  if (window_ != nullptr) {
    const QString name = window_->objectName();
    return name.isEmpty() ? window_->metaObject()->className() : name.toStdString();
  }
  if (resultSet_ != nullptr) return resultSetName_.empty() ? "TClientDataSet" : resultSetName_;
  if (engineDataSet_ != nullptr) return engineDataSet_->Name();
  return {};
}

std::string TgprPrintedObject::OwnerName() const {
  if (window_ != nullptr && window_->parent() != nullptr) return window_->parent()->objectName().toStdString();
  return {};
}

TgprObjectKind WindowKind(const QObject* window) {
  if (qobject_cast<const TResultGrid*>(window) != nullptr) return okDBGrid;
  if (qobject_cast<const QTableWidget*>(window) != nullptr) return okStringGrid;
  if (qobject_cast<const QListWidget*>(window) != nullptr) return okListBox;
  if (qobject_cast<const QTableView*>(window) != nullptr) return okDataAwareGrid;
  if (qobject_cast<const QListView*>(window) != nullptr || qobject_cast<const QTreeView*>(window) != nullptr) {
    return okListView;
  }
  return okNotPrintable;
}

int KindRank(TgprObjectKind kind) {
  switch (kind) {
  case okDecisionGrid: return 16;
  case okDBGrid: return 9;
  case okDataAwareGrid: return 8;
  case okListView: return 7;
  case okStringGrid: return 6;
  case okListBox: return 5;
  case okQuery: return 3;
  case okTable: return 1;
  case okDataSet: return 0;
  default: return -1;
  }
}

}  // namespace gpr
