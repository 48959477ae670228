// The names of a list box, converted for display one by one. See name_list_model.h.
#include "app/name_list_model.h"

int TNameListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(names_.size());
}

QVariant TNameListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() < 0 || index.row() >= rowCount()) return {};
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  return QString::fromStdString(names_[static_cast<std::size_t>(index.row())]);
}

Qt::ItemFlags TNameListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
