// The host snapshot of a print request (save_orig.h).
#include "print/save_orig.h"

#include "print/core/gpr_error.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>

#include <vector>

namespace gpr {

namespace {

int OverrideCursorDepth() {
  // Qt keeps a stack but shows only its top; count it by taking it apart and rebuilding it.
  std::vector<QCursor> stack;
  while (QGuiApplication::overrideCursor() != nullptr) {
    stack.push_back(*QGuiApplication::overrideCursor());
    QGuiApplication::restoreOverrideCursor();
  }
  for (auto it = stack.rbegin(); it != stack.rend(); ++it) QGuiApplication::setOverrideCursor(*it);
  return static_cast<int>(stack.size());
}

}  // namespace

TSaveOrig::TSaveOrig(bool hasDefaultPrinter) {
  if (!hasDefaultPrinter) throw eGprSUError("The system does not have a Default Printer assigned");
  overrideCursors_ = OverrideCursorDepth();
  toolTipsEnabled_ = QApplication::isEffectEnabled(Qt::UI_AnimateTooltip);
}

TSaveOrig::~TSaveOrig() {
  for (int depth = OverrideCursorDepth(); depth > overrideCursors_; --depth) QGuiApplication::restoreOverrideCursor();
  QApplication::setEffectEnabled(Qt::UI_AnimateTooltip, toolTipsEnabled_);
}

}  // namespace gpr
