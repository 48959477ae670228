// The selected-rows question (ask_selected_rows.h).
#include "print/ask_selected_rows.h"

#include "print/core/gpr_error.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

namespace gpr {

TfmgprAskSelectedRows::TfmgprAskSelectedRows(int selectedCount, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Print which rows?"));
  rbSelected_ = new QRadioButton(QStringLiteral("Print &Selected Rows Only"), this);
  if (selectedCount > 0) rbSelected_->setText(QStringLiteral("Print %1 selected rows").arg(selectedCount));
  rbAll_ = new QRadioButton(QStringLiteral("Print &All Rows"), this);
  (selectedCount > 0 ? rbSelected_ : rbAll_)->setChecked(true);
  btnOk_ = new QPushButton(QStringLiteral("&Ok"), this);
  btnOk_->setDefault(true);
  btnCancel_ = new QPushButton(QStringLiteral("&Cancel Report"), this);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnOk_);
  buttons->addWidget(btnCancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(rbSelected_);
  layout->addWidget(rbAll_);
  layout->addLayout(buttons);
  setFixedSize(sizeHint());
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  connect(btnOk_, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel_, &QPushButton::clicked, this, &QDialog::reject);
}

TgprSelectedRowsChoice TfmgprAskSelectedRows::Choice() const {
  return rbSelected_->isChecked() ? TgprSelectedRowsChoice::SelectedOnly : TgprSelectedRowsChoice::AllRows;
}

TgprSelectedRowsChoice TfmgprAskSelectedRows::Ask(int selectedCount, QWidget* parent) {
  TfmgprAskSelectedRows window(selectedCount, parent);
  if (window.exec() != QDialog::Accepted) throw eGprUserTermRpt();
  return window.Choice();
}

}  // namespace gpr
