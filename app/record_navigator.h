// The record navigator of the result panel: First, Prior, Next and Last buttons, with hints,
// that move the current row of a table view. A button is disabled where it could not move
// (all of them when there are no rows).
#pragma once

#include <QWidget>

class QAbstractItemView;
class QToolButton;

class TRecordNavigator : public QWidget {
    Q_OBJECT
public:
    explicit TRecordNavigator(QWidget* parent = nullptr);

    // The view whose current row the buttons move; its model may be replaced or reset.
    void SetView(QAbstractItemView* view);

    void First();
    void Prior();
    void Next();
    void Last();

private:
    void MoveTo(int row);
    void UpdateButtons();

    QAbstractItemView* view_ = nullptr;
    QToolButton* nbFirst_;
    QToolButton* nbPrior_;
    QToolButton* nbNext_;
    QToolButton* nbLast_;
};
