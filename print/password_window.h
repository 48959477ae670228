// TfmGprPassword: the window that asks for a report password, and TgprPasswordWindows, the Qt
// side of the password rules of print/core/password_change.h.
//
// The window has two modes. Check mode: it stays open while the caller judges each entry it
// hands out (TgprPasswordEntry; AskForPassword counts the failures), shows "Password is
// Incorrect" after a wrong one and closes after the last. New mode: whatever is typed is
// accepted ("Leave blank to remove password").
#pragma once

#include "print/core/password_change.h"

#include <QDialog>
#include <QString>

#include <memory>
#include <optional>
#include <string>

class QEventLoop;
class QLabel;
class QLineEdit;
class QPushButton;

namespace gpr {

class TfmGprPassword : public QDialog, public TgprPasswordEntry {
  Q_OBJECT

 public:
  // title: the report title (caption "Report: " + title); prompt: empty for "Enter Report
  // Password:".
  TfmGprPassword(const QString& title, const QString& prompt, bool newMode, QWidget* parent = nullptr);
  ~TfmGprPassword() override;

  // Check mode (TgprPasswordEntry): shows the window modally if it is not shown yet and waits
  // for "&Ok" (the entry) or "&Cancel", Escape or closing (nothing). The window stays open.
  std::optional<std::string> Next() override;
  // Turns the status panel red with "Password is Incorrect" and beeps; after the last attempt
  // says "Too many password violations" and closes.
  void Incorrect(bool last) override;

  std::string Entry() const;
  QLineEdit* PasswordEdit() const { return edtPassword_; }
  QPushButton* OkButton() const { return btnOk_; }
  QPushButton* CancelButton() const { return btnCancel_; }
  QString PromptText() const;
  QString StatusText() const;

 public slots:
  void reject() override;

 private:
  void btnOkClick();
  void ShowCentred();

  QLabel* lblPrompt_;
  QLineEdit* edtPassword_;
  QPushButton* btnOk_;
  QPushButton* btnCancel_;
  QLabel* pnlStatus_;
  bool newMode_;
  QEventLoop* wait_ = nullptr;  // the wait of Next, while it runs
};

// The password rules' windows: TfmGprPassword, information boxes and an OK/Cancel question,
// all captioned "Report: " + the report title.
class TgprPasswordWindows : public TgprPasswordDialogs {
 public:
  explicit TgprPasswordWindows(QString reportTitle, QWidget* parent = nullptr)
      : reportTitle_(std::move(reportTitle)), parent_(parent) {}
  std::unique_ptr<TgprPasswordEntry> OpenEntry(const std::string& prompt) override;
  TgprPasswordAnswer AskNew(const std::string& prompt) override;
  void Inform(const std::string& text) override;
  bool OkCancel(const std::string& text) override;

 private:
  QString reportTitle_;
  QWidget* parent_;
};

}  // namespace gpr
