// TgprPrintRequest: one print request, from Print to the end of the options window's modal
// loop. It holds the request-scoped objects - the printed object (TObjInfo), the report
// settings (TgprReportSettings), the general settings read at start-up, the remembered
// passwords and the host snapshot (TSaveOrig) - and runs the start-up sequence that the options
// window calls once it is shown:
//
//   1. read the line-drawing sets and the hint choice from the general settings file;
//   2. note whether Ctrl and Shift are both held (the window is then displayed in any case);
//   3. classify and validate the printed object, and remember the result set's position;
//   4. load the report settings, then call AfterOptionsLoaded (the report id is kept);
//   5. copy the other event handlers, build the column list, count the selected rows;
//   6. with NewRpt set and NumFixedCols negative, fix the columns repeated on every page;
//   7. count the rows; refuse the graphic styles this system does not have;
//   8. set the caption, fill and validate the controls;
//   9. display the window (after the options password), or preview or print at once;
//  10. clear NewRpt.
// An error in the sequence is shown (followed, unless the user stopped the report, by the
// "Due to errors, the report ... cannot be printed" message) and closes the window.
//
// Destroying the request puts the result set back on the record it was on and unbinds the
// settings from the file manager.
#pragma once

#include "print/core/file_mgr.h"
#include "print/core/general_settings.h"
#include "print/core/obj_info.h"
#include "print/core/report_settings.h"
#include "print/request_ui.h"
#include "print/save_orig.h"

#include <memory>
#include <string>

namespace gpr {

class TGprGridPrinter;

class TgprPrintRequest {
 public:
  // Creates the request-scoped objects and hands the request over from the component (the
  // printed object, its name, AfterOptionsLoaded, the report id and the dialog title). Throws
  // eGprSUError when the host has no default printer (TSaveOrig).
  TgprPrintRequest(TGprGridPrinter& component, bool hasDefaultPrinter);
  ~TgprPrintRequest();
  TgprPrintRequest(const TgprPrintRequest&) = delete;
  TgprPrintRequest& operator=(const TgprPrintRequest&) = delete;

  TGprGridPrinter& Component() { return component_; }
  TObjInfo& ObjInfo() { return objInfo_; }
  TgprReportSettings& Settings() { return settings_; }
  const TgprGeneralSettings& General() const { return general_; }
  const TgprLoadResult& LoadResult() const { return loadResult_; }
  // "PD_USER.HLP" found in the current directory, the program's directory or on the PATH;
  // empty when there is none.
  const std::string& HelpFile() const { return helpFile_; }
  bool CtrlShiftHeld() const { return ctrlShift_; }
  bool WindowDisplayed() const { return displayed_; }

  // The start-up sequence (above). Never throws.
  void StartUp(TgprRequestUi& ui);

  // The prompts of the request; the remembered passwords live as long as the request.
  bool PromptReportPassword(TgprRequestUi& ui);
  bool PromptOptionsPassword(TgprRequestUi& ui);
  bool PromptSetupPassword(TgprRequestUi& ui);
  // The remembered report and options passwords (a password the user changes becomes the
  // remembered one); the setup password is asked every time and has none.
  std::string* RememberedReportPassword() { return &rememberedReportPassword_; }
  std::string* RememberedOptionsPassword() { return &rememberedOptionsPassword_; }

 private:
  void RunStartUp(TgprRequestUi& ui);
  void ValidateObject();
  void BuildColumns();
  void CountRows();
  bool IsExportOrSnapshot() const;

  TGprGridPrinter& component_;
  TSaveOrig saveOrig_;
  TObjInfo objInfo_;
  TgprReportSettings settings_;
  TgprGeneralSettings general_;
  TgprLoadResult loadResult_;
  std::string helpFile_;
  std::string rememberedReportPassword_;
  std::string rememberedOptionsPassword_;
  bool ctrlShift_ = false;
  bool displayed_ = false;
  bool positionSaved_ = false;
};

// The "Due to errors" message that follows a failed start-up.
std::string DueToErrorsMessage(const std::string& dialogTitle);

}  // namespace gpr
