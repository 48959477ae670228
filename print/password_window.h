// TfmGprPassword: the window that asks for a report password, in check mode (the entry must
// match the stored password, three tries) or new mode (whatever is typed is accepted), and
// TgprPasswordWindows, the Qt side of the password rules of print/core/password_change.h.
#pragma once

#include "print/core/password_change.h"

#include <QDialog>
#include <QString>

#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace gpr {

class TfmGprPassword : public QDialog {
  Q_OBJECT

 public:
  // title: the report title (caption "Report: " + title); stored: the password to match in
  // check mode.
  TfmGprPassword(const QString& title, const QString& prompt, const std::string& stored, bool newMode,
                 QWidget* parent = nullptr);

  std::string Entry() const;
  int Failures() const { return failures_; }
  QLineEdit* PasswordEdit() const { return edtPassword_; }
  QPushButton* OkButton() const { return btnOk_; }
  QPushButton* CancelButton() const { return btnCancel_; }
  QString StatusText() const;

 private:
  void btnOkClick();

  QLabel* lblPrompt_;
  QLineEdit* edtPassword_;
  QPushButton* btnOk_;
  QPushButton* btnCancel_;
  QLabel* pnlStatus_;
  std::string stored_;
  bool newMode_;
  int failures_ = 0;
};

// Maximum failed entries in check mode before the window gives up.
inline constexpr int kGprMaxPasswordFailures = 3;

// The password rules' windows: TfmGprPassword, information boxes and an OK/Cancel question.
class TgprPasswordWindows : public TgprPasswordDialogs {
 public:
  TgprPasswordWindows(QString reportTitle, QWidget* parent = nullptr)
      : reportTitle_(std::move(reportTitle)), parent_(parent) {}
  TgprPasswordAnswer Ask(const std::string& prompt, const std::string& stored, bool newMode) override;
  void Inform(const std::string& text) override;
  bool OkCancel(const std::string& text) override;

 private:
  QString reportTitle_;
  QWidget* parent_;
};

}  // namespace gpr
