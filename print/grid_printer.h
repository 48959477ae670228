// TGprGridPrinter: the non-visual component through which the program prints its result grid.
//
// Properties (defaults in brackets): ObjectToPrint [on a form: the printable child of highest
// rank], DialogTitle [""], ReportId ["", syntax "OptionalText (nnn.mmm)"],
// ReportSettingsFileName ["": the default location], UserName [""], Version ["1.58g CS",
// read-only in effect], and the events AfterOptionsLoaded, OnZeroColumnTotals, OnFieldEdit,
// OnFieldAlign, OnCnvtFldError and OnFilterRecord [none].
//
// One Print call is one print request (print_request.h): it loads the report's settings,
// opens the report options window and lets it preview or print. The windows are reached
// through TgprRequestUi, made for each request by the factory set with SetRequestUiFactory
// (the real options window by default, options_request_ui.h).
//
// The component owns its TgprFileMgr for its whole life. Like every window, it lives on the
// user-interface thread.
#pragma once

#include "dbaccess/client_data_set.h"
#include "print/core/file_mgr.h"
#include "print/core/gpr_error.h"
#include "print/core/obj_info.h"
#include "print/printed_object.h"
#include "print/request_ui.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string>

namespace quarry {
class TQuarryDataSet;
}

namespace gpr {

class TGprGridPrinter : public QObject, private quarry::TDataSetObserver {
  Q_OBJECT
 public:
  // parent: the form that owns the component. When it is a window, ObjectToPrint defaults to
  // its printable child of highest rank (the first found on equal rank) among those with a name.
  explicit TGprGridPrinter(QObject* parent = nullptr);
  // For tests and programs that keep their files elsewhere: the environment, the UI of the
  // file manager and its configuration.
  TGprGridPrinter(QObject* parent, quarry::TEnvironment& environment, TgprFileMgrHost& fileHost,
                  TgprFileMgrConfig fileConfig);
  ~TGprGridPrinter() override;

  // --- ObjectToPrint ---
  // A window to print: the result grid, or another kind the component recognises. Throws
  // eGprSUError "GridPrinter! Setup Error: \r\rThe TGprGridPrinter.ObjectToPrint property is
  // set to a component:"<owner>.<name>" that cannot be printed by GridPrinter! Version 1.58g CS"
  // for any other object. nullptr clears it.
  void SetObjectToPrint(QObject* window);
  // A result set printed on its own (not owned; cleared when it is destroyed).
  void SetObjectToPrint(quarry::TClientDataSet* resultSet, std::string name = {});
  // An engine table or query printed on its own (not owned; must outlive the binding).
  void SetObjectToPrint(quarry::TQuarryDataSet* dataSet);
  const TgprPrintedObject& ObjectToPrint() const { return object_; }

  const std::string& DialogTitle() const { return dialogTitle_; }
  void SetDialogTitle(std::string title) { dialogTitle_ = std::move(title); }

  // Reading an empty id outside of streaming makes a new one, with an empty section in the
  // settings file. Setting one outside of streaming checks its syntax (eGprSUError).
  std::string ReportId();
  void SetReportId(std::string reportId);
  // While streaming (loading the component's stored properties) ids are taken as they are.
  void SetStreaming(bool streaming) { streaming_ = streaming; }

  const std::string& ReportSettingsFileName() const { return reportSettingsFileName_; }
  void SetReportSettingsFileName(std::string fileName);

  // Setting it keeps only the letters A-Z and a-z.
  const std::string& UserName() const { return userName_; }
  void SetUserName(std::string_view userName);

  std::string Version() const { return kGprVersion; }
  void SetVersion(std::string_view) {}  // ignored

  // --- Events (copied into each request when it starts) ---
  TgprEvents& Events() { return events_; }
  void SetAfterOptionsLoaded(TgprAfterOptionsLoaded handler) { events_.AfterOptionsLoaded = std::move(handler); }
  void SetOnZeroColumnTotals(TgprZeroColumnTotals handler) { events_.OnZeroColumnTotals = std::move(handler); }
  void SetOnFieldEdit(TgprFieldEdit handler) { events_.OnFieldEdit = std::move(handler); }
  void SetOnFieldAlign(TgprFieldAlign handler) { events_.OnFieldAlign = std::move(handler); }
  void SetOnCnvtFldError(TgprCnvtFldError handler) { events_.OnCnvtFldError = std::move(handler); }
  void SetOnFilterRecord(TgprFilterRecord handler) { events_.OnFilterRecord = std::move(handler); }

  // --- The print request ---
  // Runs one print request: 0 the options window closed without a print run, 1 the last run
  // completed, 2 it was cancelled at the file-exists question, 3 it failed or was stopped.
  // Throws eGprSUError "GridPrinter! Setup Error: <name>.ObjectToPrint not assigned. Report
  // cannot continue" or "... <name>.ReportId is blank. Report cannot continue" before any
  // window exists; later errors are shown to the user and give 0.
  int Print();
  int PagesPrinted() const { return pagesPrinted_; }

  void SetRequestUiFactory(TgprRequestUiFactory factory) { uiFactory_ = std::move(factory); }
  // Whether the host has a default printer; by default asked of the printer subsystem.
  void SetDefaultPrinterCheck(std::function<bool()> check) { hasDefaultPrinter_ = std::move(check); }
  TgprFileMgr& FileMgr() { return *fileMgr_; }
  // The component's name, or "TGprGridPrinter" when it has none.
  std::string ComponentName() const;

 private:
  void DataSetChanged() override {}
  void RecordChanged() override {}
  void DataSetDestroying() override;
  void ObserveResultSet(quarry::TClientDataSet* dataSet);
  void PickDefaultObject();

  TgprPrintedObject object_;
  quarry::TClientDataSet* observed_ = nullptr;
  std::string dialogTitle_;
  std::string reportId_;
  std::string reportSettingsFileName_;
  std::string userName_;
  bool streaming_ = false;
  TgprEvents events_;
  int pagesPrinted_ = 0;
  TgprRequestUiFactory uiFactory_;
  std::function<bool()> hasDefaultPrinter_;
  std::unique_ptr<TgprFileMgrHost> ownHost_;
  std::unique_ptr<TgprFileMgr> fileMgr_;
};

}  // namespace gpr
