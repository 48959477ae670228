// TRecordNavigator: four tool buttons with painted glyphs (bar and triangles).
#include "app/record_navigator.h"

#include <QAbstractItemView>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QPainter>
#include <QPolygon>
#include <QToolButton>

namespace {

enum class TGlyph { First, Prior, Next, Last };

QIcon GlyphIcon(TGlyph glyph)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    const bool left = glyph == TGlyph::First || glyph == TGlyph::Prior;
    const QPolygon triangle = left ? QPolygon({QPoint(11, 3), QPoint(11, 13), QPoint(6, 8)})
                                   : QPolygon({QPoint(5, 3), QPoint(5, 13), QPoint(10, 8)});
    painter.drawPolygon(triangle);
    if (glyph == TGlyph::First) painter.drawRect(3, 3, 2, 11);
    if (glyph == TGlyph::Last) painter.drawRect(11, 3, 2, 11);
    return QIcon(pixmap);
}

QToolButton* MakeButton(QWidget* parent, const char* name, TGlyph glyph, const char* hint)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setIcon(GlyphIcon(glyph));
    button->setToolTip(QString::fromLatin1(hint));
    button->setFixedSize(25, 25);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

}  // namespace

TRecordNavigator::TRecordNavigator(QWidget* parent)
    : QWidget(parent),
      nbFirst_(MakeButton(this, "nbFirst", TGlyph::First, "First record")),
      nbPrior_(MakeButton(this, "nbPrior", TGlyph::Prior, "Prior record")),
      nbNext_(MakeButton(this, "nbNext", TGlyph::Next, "Next record")),
      nbLast_(MakeButton(this, "nbLast", TGlyph::Last, "Last record"))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QToolButton* button : {nbFirst_, nbPrior_, nbNext_, nbLast_}) layout->addWidget(button);
    connect(nbFirst_, &QToolButton::clicked, this, &TRecordNavigator::First);
    connect(nbPrior_, &QToolButton::clicked, this, &TRecordNavigator::Prior);
    connect(nbNext_, &QToolButton::clicked, this, &TRecordNavigator::Next);
    connect(nbLast_, &QToolButton::clicked, this, &TRecordNavigator::Last);
    UpdateButtons();
}

void TRecordNavigator::SetView(QAbstractItemView* view)
{
    view_ = view;
    QAbstractItemModel* model = view->model();
    connect(model, &QAbstractItemModel::modelReset, this, &TRecordNavigator::UpdateButtons);
    connect(model, &QAbstractItemModel::rowsInserted, this, &TRecordNavigator::UpdateButtons);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &TRecordNavigator::UpdateButtons);
    connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this, &TRecordNavigator::UpdateButtons);
    UpdateButtons();
}

void TRecordNavigator::First() { MoveTo(0); }

void TRecordNavigator::Prior()
{
    if (view_) MoveTo(view_->currentIndex().row() - 1);
}

void TRecordNavigator::Next()
{
    if (view_) MoveTo(view_->currentIndex().row() + 1);
}

void TRecordNavigator::Last()
{
    if (view_) MoveTo(view_->model()->rowCount() - 1);
}

void TRecordNavigator::MoveTo(int row)
{
    if (!view_) return;
    QAbstractItemModel* model = view_->model();
    if (row < 0 || row >= model->rowCount()) return;
    const int column = view_->currentIndex().isValid() ? view_->currentIndex().column() : 1;
    view_->setCurrentIndex(model->index(row, qMin(column, model->columnCount() - 1)));
}

void TRecordNavigator::UpdateButtons()
{
    const int rows = view_ ? view_->model()->rowCount() : 0;
    const int row = view_ ? view_->currentIndex().row() : -1;
    nbFirst_->setEnabled(rows > 0 && row != 0);
    nbPrior_->setEnabled(rows > 0 && row != 0);
    nbNext_->setEnabled(rows > 0 && row != rows - 1);
    nbLast_->setEnabled(rows > 0 && row != rows - 1);
}
