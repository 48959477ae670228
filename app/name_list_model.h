// TNameListModel: the items of a name list box (actors and actresses, directors) kept as the
// catalogue's own UTF-8 texts. A catalogue can have hundreds of thousands of names; a list
// of strings made for the box would convert and allocate every one of them before the window
// shows, while the box only ever shows a page of them. Here each name becomes a display text
// when the box asks for it.
#pragma once

#include <QAbstractListModel>

#include <string>
#include <vector>

class TNameListModel final : public QAbstractListModel {
 public:
  TNameListModel(std::vector<std::string> names, QObject* parent)
      : QAbstractListModel(parent), names_(std::move(names)) {}

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  std::vector<std::string> names_;
};
