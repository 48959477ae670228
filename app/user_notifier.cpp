// The standard notifier: message boxes titled like the boxes of the system, and the beep.
#include "app/user_notifier.h"

#include <QApplication>
#include <QMessageBox>

TUserNotifier TUserNotifier::Standard() {
  TUserNotifier notifier;
  notifier.information = [](QWidget* parent, const QString& text) {
    QMessageBox::information(parent, QStringLiteral("Information"), text, QMessageBox::Ok);
  };
  notifier.errorReport = [](QWidget* parent, const QString& message) {
    QMessageBox::critical(parent, QApplication::applicationName(), message, QMessageBox::Ok);
  };
  notifier.beep = [] { QApplication::beep(); };
  return notifier;
}
