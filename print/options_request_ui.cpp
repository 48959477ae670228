// The print request's real windows (options_request_ui.h).
#include "print/options_request_ui.h"

#include "print/grid_printer.h"
#include "print/options_window.h"
#include "print/password_window.h"
#include "print/preview_window.h"
#include "print/print_request.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

namespace gpr {

namespace {

// Off-screen while the start-up sequence runs, so that nothing flickers before it decides.
constexpr int kOffScreenTop = -5000;
TfmGprMain* currentWindow = nullptr;

// The host's window a snapshot prints: the active window when Print was called, else the
// window the component sits on.
QWidget* SnapshotFormOf(const TGprGridPrinter& component) {
  if (QWidget* active = QApplication::activeWindow()) return active;
  if (auto* owner = qobject_cast<QWidget*>(component.parent())) return owner->window();
  return nullptr;
}

}  // namespace

TgprOptionsRequestUi::TgprOptionsRequestUi(TgprPrintRequest& request) : request_(request) {
  window_ = std::make_unique<TfmGprMain>(request.Settings(), request.ObjInfo(), QApplication::activeWindow());
  TfmGprMain::TRequestHooks hooks;
  hooks.Save = [this] { return request_.Component().FileMgr().Save(); };
  hooks.ReportPassword = [this] { return request_.PromptReportPassword(*this); };
  hooks.OptionsPassword = [this] { return request_.PromptOptionsPassword(*this); };
  hooks.SetupPassword = [this] { return request_.PromptSetupPassword(*this); };
  hooks.SettingsFileReadOnly = [this] { return request_.Component().FileMgr().IsReadOnly(); };
  hooks.RememberedPassword = [this](TgprPasswordKind kind) -> std::string* {
    if (kind == TgprPasswordKind::Report) return request_.RememberedReportPassword();
    if (kind == TgprPasswordKind::Options) return request_.RememberedOptionsPassword();
    return nullptr;
  };
  hooks.PreparePreview = [this](TfmGprPreview& preview) {
    preview.SetPlacementStore(request_.Component().FileMgr().GeneralSettings(), request_.Component().UserName());
  };
  window_->SetHooks(std::move(hooks));
  window_->SetSnapshotForm(SnapshotFormOf(request.Component()), request.Component().ComponentName());
  currentWindow = window_.get();
}

TgprOptionsRequestUi::~TgprOptionsRequestUi() {
  if (currentWindow == window_.get()) currentWindow = nullptr;
}

TfmGprMain* TgprOptionsRequestUi::Current() { return currentWindow; }

void TgprOptionsRequestUi::RunModal(const std::function<void()>& startUp) {
  window_->move(window_->x(), kOffScreenTop);
  QTimer::singleShot(0, window_.get(), [startUp] { startUp(); });
  window_->exec();
}

bool TgprOptionsRequestUi::CtrlShiftHeld() {
  const Qt::KeyboardModifiers modifiers = QGuiApplication::queryKeyboardModifiers();
  return modifiers.testFlag(Qt::ControlModifier) && modifiers.testFlag(Qt::ShiftModifier);
}

void TgprOptionsRequestUi::SetCaption(const std::string& caption) {
  window_->setWindowTitle(QString::fromStdString(caption));
}

bool TgprOptionsRequestUi::FillAndValidate() {
  window_->FillControls();
  const bool valid = window_->ValidateAll();
  window_->RecomputeLayout();
  return valid;
}

TgprPreviewOutcome TgprOptionsRequestUi::PreviewFirst() {
  TgprPreviewOutcome outcome;
  TfmGprPreview preview(request_.Settings(), request_.ObjInfo(), window_.get());
  window_->ConnectPreview(preview);
  preview.exec();
  outcome.DisplayWindow = preview.OptionsRequested();
  // Printing from the preview ran the report (its result is the window's last one); closing
  // it without asking for the options ends the request without a run.
  outcome.Printed = window_->LastRunResult() != 0 || !outcome.DisplayWindow;
  return outcome;
}

void TgprOptionsRequestUi::BringOnScreen() {
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  const QSize size = window_->size();
  window_->move(screen.left() + (screen.width() - size.width()) / 2,
                screen.top() + (screen.height() - size.height()) / 2);
  window_->raise();
  window_->activateWindow();
}

void TgprOptionsRequestUi::StartPrintRun() { window_->PrintClick(); }

void TgprOptionsRequestUi::PostClose() {
  QTimer::singleShot(0, window_.get(), [window = window_.get()] { window->done(QDialog::Rejected); });
}

std::unique_ptr<TgprPasswordEntry> TgprOptionsRequestUi::OpenPasswordEntry(const std::string& prompt) {
  return TgprPasswordWindows(QString::fromStdString(request_.Settings().DialogTitle), window_.get()).OpenEntry(prompt);
}

void TgprOptionsRequestUi::ShowWarning(const std::string& message) {
  QMessageBox::warning(window_.get(), QStringLiteral("Warning"), QString::fromStdString(message).replace('\r', '\n'));
}

int TgprOptionsRequestUi::LastRunResult() { return window_->LastRunResult(); }
int TgprOptionsRequestUi::PagesPrinted() { return window_->PagesPrinted(); }

std::unique_ptr<TgprRequestUi> MakeOptionsRequestUi(TgprPrintRequest& request) {
  return std::make_unique<TgprOptionsRequestUi>(request);
}

}  // namespace gpr
