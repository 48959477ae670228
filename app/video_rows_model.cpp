// TVideoRowsModel: a read-only table over a vector of result rows.
#include "app/video_rows_model.h"

#include <QColor>

TVideoRowsModel::TVideoRowsModel(QObject* parent) : QAbstractTableModel(parent) {}

void TVideoRowsModel::SetRows(std::vector<TVideoRow> rows)
{
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

void TVideoRowsModel::Clear()
{
    SetRows({});
}

const TVideoRow* TVideoRowsModel::Row(int row) const
{
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return nullptr;
    return &rows_[static_cast<std::size_t>(row)];
}

int TVideoRowsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TVideoRowsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TVideoRowsModel::data(const QModelIndex& index, int role) const
{
    const TVideoRow* row = index.isValid() ? Row(index.row()) : nullptr;
    if (!row) return {};
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case ColVideoId: return row->videoId;
        case ColTitle: return QString::fromStdString(row->title);
        case ColYear: return QString::fromStdString(row->year);
        case ColIndustryRating: return QString::fromStdString(row->industryRating);
        case ColLength: return QString::fromStdString(row->length);
        default: return {};
        }
    }
    if (role == Qt::ForegroundRole && index.column() == ColTitle) return QColor(Qt::black);
    return {};
}

QVariant TVideoRowsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole) return {};
    switch (section) {
    case ColVideoId: return QStringLiteral("VideoID");
    case ColTitle: return QStringLiteral("Title");
    case ColYear: return QStringLiteral("Year");
    case ColIndustryRating: return QStringLiteral("Rating");
    case ColLength: return QStringLiteral("Running time");
    default: return {};
    }
}
