// The rows of the last search as a Qt table model, shown by the main window's grid until the
// sortable result grid over the in-memory result set takes its place. Columns in grid order:
// VideoID (the window hides it), Title, Year, IndustryRating ("Rating"), Length ("Running
// time"); every column title is centred.
#pragma once

#include "app/catalogue_access.h"

#include <QAbstractTableModel>

#include <vector>

class TVideoRowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColVideoId, ColTitle, ColYear, ColIndustryRating, ColLength, ColumnCount };

    explicit TVideoRowsModel(QObject* parent = nullptr);

    // Replaces every row (a fresh result) or removes them all (the result set closed).
    void SetRows(std::vector<TVideoRow> rows);
    void Clear();
    // The row, or nullptr when there is none at that index.
    const TVideoRow* Row(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<TVideoRow> rows_;
};
