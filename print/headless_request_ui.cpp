// The stand-in for the report options window (headless_request_ui.h).
#include "print/headless_request_ui.h"

#include <QGuiApplication>
#include <QtDebug>

namespace gpr {

bool TgprHeadlessRequestUi::CtrlShiftHeld() {
  const Qt::KeyboardModifiers modifiers = QGuiApplication::queryKeyboardModifiers();
  return modifiers.testFlag(Qt::ControlModifier) && modifiers.testFlag(Qt::ShiftModifier);
}

namespace {

class TUnansweredEntry : public TgprPasswordEntry {
 public:
  std::optional<std::string> Next() override { return std::nullopt; }
  void Incorrect(bool) override {}
};

}  // namespace

std::unique_ptr<TgprPasswordEntry> TgprHeadlessRequestUi::OpenPasswordEntry(const std::string&) {
  return std::make_unique<TUnansweredEntry>();
}

void TgprHeadlessRequestUi::ShowWarning(const std::string& message) {
  qWarning("%s", QString::fromStdString(message).replace('\r', '\n').toLocal8Bit().constData());
}

}  // namespace gpr
