// One print request and its start-up sequence (print_request.h).
#include "print/print_request.h"

#include "dbaccess/client_data_set.h"
#include "dbaccess/quarry_dataset.h"
#include "grid/result_grid.h"
#include "print/core/gpr_error.h"
#include "print/core/password_prompt.h"
#include "print/grid_printer.h"
#include "print/hourglass.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QProcessEnvironment>

#include <algorithm>

namespace gpr {

namespace {

constexpr const char* kHelpFileName = "PD_USER.HLP";

std::string FindHelpFile() {
  QStringList directories = {QDir::currentPath(), QCoreApplication::applicationDirPath()};
  directories += QProcessEnvironment::systemEnvironment().value("PATH").split(':', Qt::SkipEmptyParts);
  for (const QString& directory : directories) {
    const QFileInfo file(QDir(directory), kHelpFileName);
    if (file.isFile()) return file.absoluteFilePath().toStdString();
  }
  return {};
}

std::vector<TgprGridColumn> GridColumnsOf(const TResultGrid& grid) {
  std::vector<TgprGridColumn> columns;
  for (const TGridColumn& column : grid.Columns()) {
    columns.push_back({column.fieldName.toStdString(), column.title.toStdString(), column.width, column.visible});
  }
  return columns;
}

std::string KindName(TgprObjectKind kind) {
  switch (kind) {
  case okDataAwareGrid: return "data-aware grid";
  case okListBox: return "list box";
  case okListView: return "list view";
  case okStringGrid: return "string grid";
  case okDecisionGrid: return "decision grid";
  default: return "object";
  }
}

// The request's password prompts open the password window of its user interface.
TgprOpenPasswordEntry OpenerOf(TgprRequestUi& ui) {
  return [&ui](const std::string& prompt) { return ui.OpenPasswordEntry(prompt); };
}

}  // namespace

std::string DueToErrorsMessage(const std::string& dialogTitle) {
  return eGprSUError("Due to errors, the report" + (dialogTitle.empty() ? std::string() : ": " + Quoted(dialogTitle)) +
                     " cannot be printed")
      .what();
}

TgprPrintRequest::TgprPrintRequest(TGprGridPrinter& component, bool hasDefaultPrinter)
    : component_(component), saveOrig_(hasDefaultPrinter) {
  objInfo_.ComponentName = component.ComponentName();
  objInfo_.Kind = component.ObjectToPrint().Kind();
  objInfo_.ObjectName = component.ObjectToPrint().Name();
  objInfo_.Events.AfterOptionsLoaded = component.Events().AfterOptionsLoaded;
  settings_.ReportId = component.ReportId();
  settings_.DialogTitle = component.DialogTitle();
}

TgprPrintRequest::~TgprPrintRequest() {
  component_.FileMgr().BindRequest(nullptr, "", okDBGrid);
  if (positionSaved_ && objInfo_.DataSet != nullptr && objInfo_.DataSet->Active() && objInfo_.SavedRecNo > 0) {
    objInfo_.DataSet->SetRecNo(objInfo_.SavedRecNo);
  }
}

bool TgprPrintRequest::IsExportOrSnapshot() const {
  return settings_.OutputDest == odExport || settings_.PrintWhat == pwWindowSnapshot;
}

void TgprPrintRequest::StartUp(TgprRequestUi& ui) {
  try {
    THourglass hourglass;
    RunStartUp(ui);
  } catch (const std::exception& e) {
    const std::string message = e.what();
    ui.ShowWarning(message);
    if (message != kGprUserTerminatedMessage) ui.ShowWarning(DueToErrorsMessage(settings_.DialogTitle));
    ui.PostClose();
  }
  settings_.NewRpt = false;
}

void TgprPrintRequest::RunStartUp(TgprRequestUi& ui) {
  general_ = component_.FileMgr().GeneralSettings().Read();
  helpFile_ = FindHelpFile();
  ctrlShift_ = ui.CtrlShiftHeld();

  ValidateObject();

  component_.FileMgr().BindRequest(&settings_, component_.UserName(), objInfo_.Kind);
  loadResult_ = component_.FileMgr().Load();
  if (objInfo_.Events.AfterOptionsLoaded) {
    const std::string reportId = settings_.ReportId;
    objInfo_.Events.AfterOptionsLoaded(settings_);
    settings_.ReportId = reportId;
  }

  const TgprEvents& events = component_.Events();
  objInfo_.Events.OnZeroColumnTotals = events.OnZeroColumnTotals;
  objInfo_.Events.OnFieldEdit = events.OnFieldEdit;
  objInfo_.Events.OnFieldAlign = events.OnFieldAlign;
  objInfo_.Events.OnCnvtFldError = events.OnCnvtFldError;
  objInfo_.Events.OnFilterRecord = events.OnFilterRecord;
  BuildColumns();

  if ((settings_.NewRpt || objInfo_.Kind == okDecisionGrid) && settings_.NumFixedCols < 0) {
    settings_.NumFixedCols = settings_.NumGrpBrkCols + (objInfo_.Columns.LineNumberVisible() ? 1 : 0);
    if (settings_.NumFixedCols < 0) settings_.NumFixedCols = 0;
  }

  CountRows();
  if (settings_.OutputQuality >= 2 && !IsExportOrSnapshot()) throw eGprSUError("Cannot Load GridPrinter! Styles");

  ui.SetCaption(settings_.DialogTitle.empty() ? std::string("Report Options")
                                              : "Report Options: " + settings_.DialogTitle);
  const bool valid = ui.FillAndValidate();

  bool display = settings_.DisplayReportOptionsWin || ctrlShift_ || !valid;
  bool printed = false;
  if (!display && settings_.PreviewFirst && !IsExportOrSnapshot()) {
    const TgprPreviewOutcome outcome = ui.PreviewFirst();
    display = outcome.DisplayWindow;
    printed = outcome.Printed;
  }
  if (display) {
    if (!PromptOptionsPassword(ui)) throw eGprSUError("Report Options Password Violation");
    displayed_ = true;
    ui.BringOnScreen();
  } else {
    if (!printed) ui.StartPrintRun();
    ui.PostClose();
  }
}

void TgprPrintRequest::ValidateObject() {
  const TgprPrintedObject& object = component_.ObjectToPrint();
  objInfo_.Kind = object.Kind();
  objInfo_.ObjectName = object.Name();
  if (!object.IsAssigned()) throw eGprSUError("ObjectToPrint not assigned");
  if (!IsPrintableKind(objInfo_.Kind)) {
    throw eGprSUError(
        "\r\rObjectToPrint is invalid. It must be one of:\rTStringGrid, TDBGrid, TDataSet, TTable, TQuery");
  }
  const auto requireActive = [&](bool active) {
    if (!active) {
      throw eGprSUError(objInfo_.ObjectName + " uses dataset " + objInfo_.DataSetName +
                        "  and this dataset is InActive. The dataset must be active.");
    }
  };
  if (objInfo_.Kind == okDBGrid) {
    auto* grid = qobject_cast<TResultGrid*>(object.Window());
    objInfo_.DataSet = grid->DataSet();
    if (objInfo_.DataSet == nullptr) {
      throw eGprSUError("Object:" + objInfo_.ObjectName + "\r\rDataSource property is missing");
    }
    objInfo_.DataSetName = "TClientDataSet";
    objInfo_.AverageCharWidth = std::max(1, QFontMetrics(grid->font()).averageCharWidth());
    requireActive(objInfo_.DataSet->Active());
  } else if (object.ResultSet() != nullptr) {
    objInfo_.DataSet = object.ResultSet();
    objInfo_.DataSetName = objInfo_.ObjectName;
    requireActive(objInfo_.DataSet->Active());
  } else if (object.EngineDataSet() != nullptr) {
    objInfo_.EngineDataSet = object.EngineDataSet();
    objInfo_.DataSetName = objInfo_.ObjectName;
    requireActive(objInfo_.EngineDataSet->Active());
  } else {
    throw eGprSUError(objInfo_.ObjectName + " is a " + KindName(objInfo_.Kind) +
                      ", which this version of GridPrinter does not print. Print a result grid or a dataset instead.");
  }
  if (objInfo_.DataSet != nullptr) {
    objInfo_.SavedRecNo = objInfo_.DataSet->RecNo();
    positionSaved_ = true;
  }
}

void TgprPrintRequest::BuildColumns() {
  const TgprPrintedObject& object = component_.ObjectToPrint();
  if (objInfo_.Kind == okDBGrid) {
    const auto* grid = qobject_cast<const TResultGrid*>(object.Window());
    objInfo_.Columns =
        TColsList::FromGrid(GridColumnsOf(*grid), *objInfo_.DataSet, objInfo_.AverageCharWidth, settings_.HideColumns);
    objInfo_.SelectedRows = grid->SelectedRows();
  } else if (objInfo_.DataSet != nullptr) {
    objInfo_.Columns = TColsList::FromDataSet(*objInfo_.DataSet, settings_.HideColumns);
  } else if (objInfo_.EngineDataSet != nullptr) {
    std::vector<TgprFieldDesc> fields;
    for (int i = 0; i < objInfo_.EngineDataSet->FieldCount(); ++i) {
      const quarry::TQuarryField& field = objInfo_.EngineDataSet->Fields(i);
      fields.push_back({field.FieldName(), field.DataType(), field.Size()});
    }
    objInfo_.Columns = TColsList::FromFields(fields, settings_.HideColumns);
  }
}

void TgprPrintRequest::CountRows() {
  if (settings_.CountNumRcds) {
    objInfo_.RowCount =
        objInfo_.DataSet != nullptr ? objInfo_.DataSet->RecordCount() : objInfo_.EngineDataSet->RecordCount();
  } else {
    objInfo_.RowCount = std::max(settings_.RcdEstimate, 9);
  }
  if (objInfo_.RowCount < 1 && settings_.IncludeOptions.Has(ioExceptionOnEmpty)) {
    throw eGprSUError(objInfo_.ObjectName + " is empty and " + objInfo_.ComponentName + " has nothing to print.");
  }
}

bool TgprPrintRequest::PromptReportPassword(TgprRequestUi& ui) {
  return PromptPassword(OpenerOf(ui), kGprReportPasswordPrompt, settings_.RptPW, rememberedReportPassword_);
}

bool TgprPrintRequest::PromptOptionsPassword(TgprRequestUi& ui) {
  return PromptPassword(OpenerOf(ui), kGprOptionsPasswordPrompt, settings_.RptOptPW, rememberedOptionsPassword_);
}

bool TgprPrintRequest::PromptSetupPassword(TgprRequestUi& ui) {
  std::string notRemembered;  // the setup password is asked every time
  return PromptPassword(OpenerOf(ui), kGprSetupPasswordPrompt, settings_.RptSetUpPW, notRemembered);
}

}  // namespace gpr
