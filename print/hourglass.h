// THourglass: shows the hourglass (the wait cursor) for as long as it lives.
#pragma once

#include <QCursor>
#include <QGuiApplication>

namespace gpr {

class THourglass {
 public:
  THourglass() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~THourglass() { QGuiApplication::restoreOverrideCursor(); }
  THourglass(const THourglass&) = delete;
  THourglass& operator=(const THourglass&) = delete;
};

}  // namespace gpr
