// The password window (password_window.h).
#include "print/password_window.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace gpr {

TfmGprPassword::TfmGprPassword(const QString& title, const QString& prompt, const std::string& stored, bool newMode,
                               QWidget* parent)
    : QDialog(parent), stored_(stored), newMode_(newMode || stored.empty()) {
  setWindowTitle(QStringLiteral("Report: ") + title);
  lblPrompt_ = new QLabel(prompt.isEmpty() ? QStringLiteral("Enter Report Password:") : prompt, this);
  edtPassword_ = new QLineEdit(this);
  // Every character shows as "X".
  edtPassword_->setEchoMode(QLineEdit::Password);
  edtPassword_->setStyleSheet(QStringLiteral("lineedit-password-character: 88;"));
  btnOk_ = new QPushButton(QStringLiteral("&Ok"), this);
  btnOk_->setDefault(true);
  btnCancel_ = new QPushButton(QStringLiteral("&Cancel"), this);
  pnlStatus_ = new QLabel(this);
  pnlStatus_->setAutoFillBackground(true);
  if (newMode_) pnlStatus_->setText(QStringLiteral("Leave blank to remove password"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnOk_);
  buttons->addWidget(btnCancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblPrompt_);
  layout->addWidget(edtPassword_);
  layout->addLayout(buttons);
  layout->addWidget(pnlStatus_);
  setFixedSize(sizeHint());
  connect(btnOk_, &QPushButton::clicked, this, [this] { btnOkClick(); });
  connect(btnCancel_, &QPushButton::clicked, this, &QDialog::reject);
}

std::string TfmGprPassword::Entry() const { return edtPassword_->text().toStdString(); }
QString TfmGprPassword::StatusText() const { return pnlStatus_->text(); }

void TfmGprPassword::btnOkClick() {
  if (newMode_ || SamePassword(Entry(), stored_)) {
    accept();
    return;
  }
  ++failures_;
  pnlStatus_->setText(QStringLiteral("Password is Incorrect"));
  pnlStatus_->setStyleSheet(QStringLiteral("color: white; background: red;"));
  QApplication::beep();
  if (failures_ >= kGprMaxPasswordFailures) {
    QMessageBox::warning(this, windowTitle(), QStringLiteral("Too many password violations"), QMessageBox::Cancel);
    reject();
    return;
  }
  edtPassword_->selectAll();
  edtPassword_->setFocus();
}

TgprPasswordAnswer TgprPasswordWindows::Ask(const std::string& prompt, const std::string& stored, bool newMode) {
  TfmGprPassword window(reportTitle_, QString::fromStdString(prompt), stored, newMode, parent_);
  const bool accepted = window.exec() == QDialog::Accepted;
  return {accepted, accepted ? window.Entry() : std::string()};
}

void TgprPasswordWindows::Inform(const std::string& text) {
  QMessageBox::information(parent_, QStringLiteral("Report: ") + reportTitle_, QString::fromStdString(text));
}

bool TgprPasswordWindows::OkCancel(const std::string& text) {
  return QMessageBox::warning(parent_, QStringLiteral("Report: ") + reportTitle_, QString::fromStdString(text),
                              QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

}  // namespace gpr
