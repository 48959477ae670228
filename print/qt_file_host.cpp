// The file manager's user interface in windows (qt_file_host.h).
#include "print/qt_file_host.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>

namespace gpr {

namespace {

// The design's texts break lines with a carriage return.
QString ShownText(const std::string& message) {
  QString text = QString::fromStdString(message);
  text.replace("\r\n", "\n").replace('\r', '\n');
  return text;
}

}  // namespace

void TgprQtFileMgrHost::ProcessMessages() { QCoreApplication::processEvents(); }

bool TgprQtFileMgrHost::AskRetry(const std::string& message) {
  const auto answer =
      QMessageBox::warning(QApplication::activeWindow(), QCoreApplication::applicationName(), ShownText(message),
                           QMessageBox::Abort | QMessageBox::Retry, QMessageBox::Retry);
  return answer == QMessageBox::Retry;
}

void TgprQtFileMgrHost::Beep() { QApplication::beep(); }

void TgprQtFileMgrHost::ShowError(const std::string& message) {
  QMessageBox::warning(QApplication::activeWindow(), QCoreApplication::applicationName(), ShownText(message));
}

void TgprQtFileMgrHost::SetBusyCursor(bool on) {
  if (on) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QGuiApplication::restoreOverrideCursor();
  }
}

}  // namespace gpr
