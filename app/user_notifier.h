// How the application speaks to the user outside its windows' own controls: information
// boxes, the default error report and the system beep. Windows take a TUserNotifier so that
// tests can record what would be shown instead of opening modal boxes.
#pragma once

#include <QString>

#include <functional>

class QWidget;

struct TUserNotifier {
  // An information box with one OK button.
  std::function<void(QWidget* parent, const QString& text)> information;
  // The application's default error report: a failure that ended an action.
  std::function<void(QWidget* parent, const QString& message)> errorReport;
  std::function<void()> beep;

  // Message boxes and the system beep.
  static TUserNotifier Standard();
};
