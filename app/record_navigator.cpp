// TRecordNavigator: four tool buttons with painted glyphs (bar and triangles).
#include "app/record_navigator.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPolygon>
#include <QToolButton>

namespace {

enum class TGlyph { First, Prior, Next, Last };

QIcon GlyphIcon(TGlyph glyph) {
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

QToolButton* MakeButton(QWidget* parent, const char* name, TGlyph glyph, const char* hint) {
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
      nbLast_(MakeButton(this, "nbLast", TGlyph::Last, "Last record")) {
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

TRecordNavigator::~TRecordNavigator() {
  if (dataSet_) dataSet_->RemoveObserver(this);
}

void TRecordNavigator::SetDataSet(quarry::TClientDataSet* dataSet) {
  if (dataSet_) dataSet_->RemoveObserver(this);
  dataSet_ = dataSet;
  if (dataSet_) dataSet_->AddObserver(this);
  UpdateButtons();
}

void TRecordNavigator::DataSetDestroying() {
  dataSet_ = nullptr;
  UpdateButtons();
}

void TRecordNavigator::First() {
  if (dataSet_ && dataSet_->Active()) dataSet_->First();
}

void TRecordNavigator::Prior() {
  if (dataSet_ && dataSet_->Active()) dataSet_->Prior();
}

void TRecordNavigator::Next() {
  if (dataSet_ && dataSet_->Active()) dataSet_->Next();
}

void TRecordNavigator::Last() {
  if (dataSet_ && dataSet_->Active()) dataSet_->Last();
}

void TRecordNavigator::UpdateButtons() {
  const int records = dataSet_ ? dataSet_->RecordCount() : 0;
  const int recNo = dataSet_ ? dataSet_->RecNo() : 0;
  nbFirst_->setEnabled(records > 0 && recNo != 1);
  nbPrior_->setEnabled(records > 0 && recNo != 1);
  nbNext_->setEnabled(records > 0 && recNo != records);
  nbLast_->setEnabled(records > 0 && recNo != records);
}
