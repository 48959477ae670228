// TQuarryPasswordDialog: the dialog a session shows when a table needs a password it does not
// know ("Enter password"). The user can add, remove or remove all session passwords, and OK
// adds the edit's text and closes the dialog with OK.
//
// Button rules, applied at every change of the edit: "&Add" and "&Remove" are enabled
// exactly when the edit is not empty; "&OK" when the edit is not empty or a password was
// already added in this dialog (it starts disabled); "Re&move all" is always enabled.
//
// InstallQuarryPasswordDialog makes the dialog the process-wide password prompt of the
// access layer (sessions without their own OnPassword handler use it).
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace quarry {

class TQuarrySession;

class TQuarryPasswordDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TQuarryPasswordDialog(TQuarrySession& session, QWidget* parent = nullptr);

  QLineEdit* PasswordEdit() const { return edtPassword; }
  QPushButton* AddButton() const { return btnAdd; }
  QPushButton* RemoveButton() const { return btnRemove; }
  QPushButton* RemoveAllButton() const { return btnRemoveAll; }
  QPushButton* OkButton() const { return btnOK; }
  QPushButton* CancelButton() const { return btnCancel; }

 private:
  void edtPasswordChange();
  void btnAddClick();
  void btnRemoveClick();
  void btnRemoveAllClick();
  void btnOKClick();

  TQuarrySession& session_;
  bool added_ = false;
  QLineEdit* edtPassword;
  QPushButton* btnAdd;
  QPushButton* btnRemove;
  QPushButton* btnRemoveAll;
  QPushButton* btnOK;
  QPushButton* btnCancel;
};

// Shows the dialog modally for the session; true when it closed with OK.
bool ShowQuarryPasswordDialog(TQuarrySession& session);
// Makes ShowQuarryPasswordDialog the prompt of every session without an OnPassword handler.
void InstallQuarryPasswordDialog();

}  // namespace quarry
