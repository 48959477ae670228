// The password dialog (see quarry_password_dialog.h).
#include "dbaccess/quarry_password_dialog.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "dbaccess/quarry_session.h"

namespace quarry {

TQuarryPasswordDialog::TQuarryPasswordDialog(TQuarrySession& session, QWidget* parent)
    : QDialog(parent), session_(session) {
  setWindowTitle("Enter password");
  setModal(true);

  auto* group = new QGroupBox("Password", this);
  edtPassword = new QLineEdit(group);
  edtPassword->setEchoMode(QLineEdit::Password);
  // The mask character is "*" whatever the style would draw.
  edtPassword->setStyleSheet("lineedit-password-character: 42");
  btnAdd = new QPushButton("&Add", group);
  btnRemove = new QPushButton("&Remove", group);
  btnRemoveAll = new QPushButton("Re&move all", group);
  auto* groupButtons = new QHBoxLayout;
  groupButtons->addWidget(btnAdd);
  groupButtons->addWidget(btnRemove);
  groupButtons->addWidget(btnRemoveAll);
  auto* groupLayout = new QVBoxLayout(group);
  groupLayout->addWidget(edtPassword);
  groupLayout->addLayout(groupButtons);

  btnOK = new QPushButton("&OK", this);
  btnOK->setDefault(true);
  btnCancel = new QPushButton("Cancel", this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnOK);
  buttons->addWidget(btnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(edtPassword, &QLineEdit::textChanged, this, [this] { edtPasswordChange(); });
  connect(btnAdd, &QPushButton::clicked, this, [this] { btnAddClick(); });
  connect(btnRemove, &QPushButton::clicked, this, [this] { btnRemoveClick(); });
  connect(btnRemoveAll, &QPushButton::clicked, this, [this] { btnRemoveAllClick(); });
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  edtPasswordChange();
}

void TQuarryPasswordDialog::edtPasswordChange() {
  const bool hasText = !edtPassword->text().isEmpty();
  btnAdd->setEnabled(hasText);
  btnRemove->setEnabled(hasText);
  btnOK->setEnabled(hasText || added_);
  btnRemoveAll->setEnabled(true);
}

void TQuarryPasswordDialog::btnAddClick() {
  session_.AddPassword(edtPassword->text().toStdString());
  added_ = true;
  edtPassword->clear();
  edtPassword->setFocus();
  edtPasswordChange();
}

void TQuarryPasswordDialog::btnRemoveClick() {
  session_.RemovePassword(edtPassword->text().toStdString());
  edtPassword->clear();
  edtPassword->setFocus();
  edtPasswordChange();
}

void TQuarryPasswordDialog::btnRemoveAllClick() {
  session_.RemoveAllPasswords();
  edtPassword->setFocus();
}

void TQuarryPasswordDialog::btnOKClick() {
  session_.AddPassword(edtPassword->text().toStdString());
  accept();
}

bool ShowQuarryPasswordDialog(TQuarrySession& session) {
  TQuarryPasswordDialog dialog(session);
  return dialog.exec() == QDialog::Accepted;
}

void InstallQuarryPasswordDialog() { TQuarrySession::SetPasswordPrompt(&ShowQuarryPasswordDialog); }

}  // namespace quarry
