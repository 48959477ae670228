// The print component (grid_printer.h).
#include "print/grid_printer.h"

#include "dbaccess/name_compare.h"
#include "print/core/gpr_error.h"
#include "print/core/report_id.h"
#include "print/hourglass.h"
#include "print/options_request_ui.h"
#include "print/print_request.h"
#include "print/qt_file_host.h"

#include <QCoreApplication>
#include <QPrinterInfo>
#include <QWidget>

#include <optional>

namespace gpr {

namespace {

TgprFileMgrConfig DefaultFileConfig() {
  TgprFileMgrConfig config;
  config.ProgramPath = QCoreApplication::applicationFilePath().toStdString();
  config.ConfigDirectory = DefaultConfigDirectory();
  return config;
}

}  // namespace

TGprGridPrinter::TGprGridPrinter(QObject* parent) : QObject(parent) {
  ownHost_ = std::make_unique<TgprQtFileMgrHost>();
  fileMgr_ = std::make_unique<TgprFileMgr>(quarry::DefaultEnvironment(), *ownHost_, DefaultFileConfig());
  PickDefaultObject();
}

TGprGridPrinter::TGprGridPrinter(QObject* parent, quarry::TEnvironment& environment, TgprFileMgrHost& fileHost,
                                 TgprFileMgrConfig fileConfig)
    : QObject(parent), fileMgr_(std::make_unique<TgprFileMgr>(environment, fileHost, std::move(fileConfig))) {
  PickDefaultObject();
}

TGprGridPrinter::~TGprGridPrinter() { ObserveResultSet(nullptr); }

void TGprGridPrinter::PickDefaultObject() {
  auto* form = qobject_cast<QWidget*>(parent());
  if (form == nullptr) return;
  QObject* best = nullptr;
  int bestRank = -1;
  for (QObject* child : form->findChildren<QObject*>()) {
    // Qt's own parts of a window carry names beginning with "qt_".
    if (child->objectName().isEmpty() || child->objectName().startsWith("qt_")) continue;
    const int rank = KindRank(WindowKind(child));
    if (rank > bestRank) {
      best = child;
      bestRank = rank;
    }
  }
  if (best != nullptr) object_.SetWindow(best);
}

void TGprGridPrinter::ObserveResultSet(quarry::TClientDataSet* dataSet) {
  if (observed_ == dataSet) return;
  if (observed_ != nullptr) observed_->RemoveObserver(this);
  observed_ = dataSet;
  if (observed_ != nullptr) observed_->AddObserver(this);
}

void TGprGridPrinter::DataSetDestroying() {
  observed_ = nullptr;
  object_.Clear();
}

void TGprGridPrinter::SetObjectToPrint(QObject* window) {
  if (window == nullptr) {
    ObserveResultSet(nullptr);
    object_.Clear();
    return;
  }
  if (WindowKind(window) == okNotPrintable) {
    const std::string owner = window->parent() != nullptr ? window->parent()->objectName().toStdString() : "";
    throw eGprSUError("\r\rThe TGprGridPrinter.ObjectToPrint property is set to a component:\"" + owner + "." +
                      window->objectName().toStdString() + "\" that cannot be printed by GridPrinter! Version " +
                      kGprVersion);
  }
  ObserveResultSet(nullptr);
  object_.SetWindow(window);
}

void TGprGridPrinter::SetObjectToPrint(quarry::TClientDataSet* resultSet, std::string name) {
  ObserveResultSet(resultSet);
  if (resultSet == nullptr) {
    object_.Clear();
  } else {
    object_.SetResultSet(resultSet, std::move(name));
  }
}

void TGprGridPrinter::SetObjectToPrint(quarry::TQuarryDataSet* dataSet) {
  ObserveResultSet(nullptr);
  if (dataSet == nullptr) {
    object_.Clear();
  } else {
    object_.SetEngineDataSet(dataSet);
  }
}

std::string TGprGridPrinter::ReportId() {
  if (reportId_.empty() && !streaming_) reportId_ = fileMgr_->CreateReportId(userName_);
  return reportId_;
}

void TGprGridPrinter::SetReportId(std::string reportId) {
  if (!streaming_) CheckReportId(reportId);
  reportId_ = std::move(reportId);
}

void TGprGridPrinter::SetReportSettingsFileName(std::string fileName) {
  reportSettingsFileName_ = fileName;
  fileMgr_->SetReportSettingsFileName(std::move(fileName));
}

void TGprGridPrinter::SetUserName(std::string_view userName) { userName_ = CleanUserName(userName); }

std::string TGprGridPrinter::ComponentName() const {
  return objectName().isEmpty() ? std::string("TGprGridPrinter") : objectName().toStdString();
}

int TGprGridPrinter::Print() {
  if (!object_.IsAssigned()) {
    throw eGprSUError(ComponentName() + ".ObjectToPrint not assigned. Report cannot continue");
  }
  if (quarry::TrimmedView(reportId_).empty()) {
    throw eGprSUError(ComponentName() + ".ReportId is blank. Report cannot continue");
  }
  // The hourglass shows while the request and its windows are made; the start-up sequence
  // shows its own, and the window then runs with the cursor as it was.
  auto hourglass = std::make_optional<THourglass>();
  const bool hasPrinter = hasDefaultPrinter_ ? hasDefaultPrinter_() : !QPrinterInfo::defaultPrinter().isNull();
  TgprPrintRequest request(*this, hasPrinter);
  std::unique_ptr<TgprRequestUi> ui = uiFactory_ ? uiFactory_(request) : MakeOptionsRequestUi(request);
  hourglass.reset();
  ui->RunModal([&] { request.StartUp(*ui); });
  pagesPrinted_ = ui->PagesPrinted();
  return ui->LastRunResult();
}

}  // namespace gpr
