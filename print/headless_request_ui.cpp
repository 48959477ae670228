// The stand-in for the report options window (headless_request_ui.h).
#include "print/headless_request_ui.h"

#include <QGuiApplication>
#include <QtDebug>

namespace gpr {

bool TgprHeadlessRequestUi::CtrlShiftHeld() {
  const Qt::KeyboardModifiers modifiers = QGuiApplication::queryKeyboardModifiers();
  return modifiers.testFlag(Qt::ControlModifier) && modifiers.testFlag(Qt::ShiftModifier);
}

void TgprHeadlessRequestUi::ShowWarning(const std::string& message) {
  qWarning("%s", QString::fromStdString(message).replace('\r', '\n').toLocal8Bit().constData());
}

}  // namespace gpr
