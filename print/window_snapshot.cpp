// The window snapshot (window_snapshot.h).
#include "print/window_snapshot.h"

#include "print/core/gpr_error.h"
#include "print/page_painter.h"

#include <QApplication>
#include <QWidget>

#include <cctype>

namespace gpr {

namespace {

constexpr const char* kSnapshotSetupError = "TGprGridPrinter Setup Error\r\r";

}  // namespace

void CheckSnapshotSetup(const TgprReportSettings& settings, const QWidget* form, const std::string& componentName) {
  const TgprDestination dest = settings.OutputDest == odExport ? TgprDestination::Export : DestinationOf(settings);
  if (dest != TgprDestination::Printer && dest != TgprDestination::PdfFile) {
    throw eGprSUError::WholeText(std::string(kSnapshotSetupError) +
                                 "Attempted to print snapshot without using printer as Output Destination");
  }
  if (form == nullptr) {
    throw eGprSUError::WholeText(std::string(kSnapshotSetupError) + componentName + " does not have a form");
  }
}

QImage GrabWindow(QWidget& form, const std::string& snapShotSize) {
  const bool wasVisible = form.isVisible();
  const Qt::WindowStates wasState = form.windowState();
  const bool maximise = !snapShotSize.empty() && std::toupper(static_cast<unsigned char>(snapShotSize[0])) == 'M';
  if (maximise) form.setWindowState(wasState | Qt::WindowMaximized);
  if (!wasVisible) form.show();
  // Let the window take its new size and paint before it is grabbed.
  QApplication::processEvents();
  const QImage picture = form.grab().toImage();
  if (maximise) form.setWindowState(wasState);
  if (!wasVisible) form.hide();
  QApplication::processEvents();
  return picture;
}

TgprRunResult PrintWindowSnapshot(TgprOutputChannel& channel, QWidget& form, const std::string& snapShotSize) {
  auto* pictures = dynamic_cast<TgprPictureChannel*>(&channel);
  if (pictures == nullptr) {
    throw eGprSUError::WholeText(std::string(kSnapshotSetupError) +
                                 "Attempted to print snapshot without using printer as Output Destination");
  }
  const QImage picture = GrabWindow(form, snapShotSize);
  try {
    if (channel.Open() == TgprOpenResult::Cancelled) return rrFileCancelled;
    pictures->WritePicture(picture, PictureScaleOf(snapShotSize));
    channel.Close();
  } catch (...) {
    channel.Abort();
    throw;
  }
  return rrCompleted;
}

}  // namespace gpr
