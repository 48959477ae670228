// The password window (password_window.h).
#include "print/password_window.h"

#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace gpr {

namespace {

enum TWaitResult { wrCancelled = 0, wrEntered = 1 };

}  // namespace

TfmGprPassword::TfmGprPassword(const QString& title, const QString& prompt, bool newMode, QWidget* parent)
    : QDialog(parent), newMode_(newMode) {
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
  // Wide enough for the status panel's longest text, so that it never changes the size.
  pnlStatus_->setMinimumWidth(pnlStatus_->fontMetrics().horizontalAdvance(QStringLiteral("Password is Incorrect")) + 8);
  setFixedSize(sizeHint());
  connect(btnOk_, &QPushButton::clicked, this, [this] { btnOkClick(); });
  connect(btnCancel_, &QPushButton::clicked, this, &TfmGprPassword::reject);
}

TfmGprPassword::~TfmGprPassword() = default;

std::string TfmGprPassword::Entry() const { return edtPassword_->text().toStdString(); }
QString TfmGprPassword::PromptText() const { return lblPrompt_->text(); }
QString TfmGprPassword::StatusText() const { return pnlStatus_->text(); }

void TfmGprPassword::ShowCentred() {
  // The options window waits off-screen while the request starts, so a window centred on it
  // would not be seen: centre on the parent only when it is on a screen.
  QRect area(0, 0, 1024, 768);
  if (const QScreen* primary = QGuiApplication::primaryScreen()) area = primary->availableGeometry();
  const QWidget* owner = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
  if (owner != nullptr && QGuiApplication::screenAt(owner->geometry().center()) != nullptr) area = owner->geometry();
  move(area.center() - QPoint(width() / 2, height() / 2));
  setWindowModality(Qt::ApplicationModal);
  show();
  raise();
  activateWindow();
}

std::optional<std::string> TfmGprPassword::Next() {
  if (!isVisible()) ShowCentred();
  edtPassword_->setFocus();
  QEventLoop loop;
  wait_ = &loop;
  const int result = loop.exec();
  wait_ = nullptr;
  if (result != wrEntered) return std::nullopt;
  return Entry();
}

void TfmGprPassword::Incorrect(bool last) {
  pnlStatus_->setText(QStringLiteral("Password is Incorrect"));
  pnlStatus_->setStyleSheet(QStringLiteral("color: white; background: red;"));
  QApplication::beep();
  if (last) {
    QMessageBox::warning(this, windowTitle(), QStringLiteral("Too many password violations"), QMessageBox::Cancel);
    QDialog::reject();
    return;
  }
  edtPassword_->selectAll();
  edtPassword_->setFocus();
}

void TfmGprPassword::btnOkClick() {
  if (newMode_) {
    accept();
  } else if (wait_ != nullptr) {
    wait_->exit(wrEntered);
  }
}

void TfmGprPassword::reject() {
  QDialog::reject();
  if (wait_ != nullptr) wait_->exit(wrCancelled);
}

std::unique_ptr<TgprPasswordEntry> TgprPasswordWindows::OpenEntry(const std::string& prompt) {
  return std::make_unique<TfmGprPassword>(reportTitle_, QString::fromStdString(prompt), false, parent_);
}

TgprPasswordAnswer TgprPasswordWindows::AskNew(const std::string& prompt) {
  TfmGprPassword window(reportTitle_, QString::fromStdString(prompt), true, parent_);
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
