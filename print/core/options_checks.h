// The checks of the report options: the numeric fields of the options window with their
// ranges and units, and the checks across fields that run after them. Qt-free, so the rules
// are tested without a window; the options window (print/options_window.h) builds its edit
// boxes from the field table and shows the messages these checks give.
//
// A range failure reads: field name, " must be between ", minimum, " and ", maximum, a
// blank and the unit. A field whose maximum is below its minimum is checked only against
// the minimum (fields without an upper limit carry the maximum -1).
#pragma once

#include "print/core/obj_info.h"
#include "print/core/report_settings.h"

#include <optional>
#include <string>
#include <vector>

namespace gpr {

// The pages of the options window, in their order.
enum TgprOptionsPage : int { opGeneral = 0, opOutput, opStyle, opTitles, opSetup };
inline constexpr int kGprOptionsPageCount = 5;
// "General", "Output", "Style", "Titles", "Setup": the names `HidePages` lists.
const char* OptionsPageName(TgprOptionsPage page);
// Whether `HidePages` names the page (names compare without regard to case).
bool PageHidden(const std::string& hidePages, TgprOptionsPage page);
// `HidePages` with the page added (hidden) or removed (shown), the other names kept.
std::string WithPageHidden(const std::string& hidePages, TgprOptionsPage page, bool hidden);

// When a field is shown (and so checked).
enum TgprFieldShown : int {
  fsAlways = 0,
  fsPrinterOnly,       // the printer destination
  fsEstimate,          // record estimate: a dataset that is not counted
  fsGroupBreaks,       // `GroupColumns` not empty
  fsSomeRowsAutoSize,  // AutoSizze "Limit Rows to AutoSize"
  fsExportOnly,
};

struct TgprNumericField {
  const char* Key;  // a stable name for the window's edit box
  TgprOptionsPage Page;
  const char* Group;    // the group box caption ("" for none)
  const char* Caption;  // the label beside the edit box
  const char* Name;     // the field's name in the range message ("" for no range check)
  long long Min;
  long long Max;  // -1: no upper limit; kGprMaxIsColumnCount: the number of columns
  const char* Unit;
  bool AffectsLayout;
  TgprFieldShown Shown;
  // The setting edited; memo fields edit the memo given.
  int& (*Ref)(TgprReportSettings& settings, TgprMemoIndex memo);
};
inline constexpr long long kGprMaxIsColumnCount = -2;

// Every numeric field of the window, in the order of the checks.
const std::vector<TgprNumericField>& NumericFields();
const TgprNumericField* FindNumericField(const std::string& key);

bool FieldShown(const TgprNumericField& field, const TgprReportSettings& settings, const TObjInfo& objInfo);
// "<name> must be between <min> and <max> <unit>", or " must be at least" when there is
// no upper limit; nullopt when the value is in range.
std::optional<std::string> CheckRange(const TgprNumericField& field, long long value, int columnCount);

// One failed check: its message, the field to focus (a numeric field's key, or a control's
// name) and whether it is only a note (shown, but not blocking).
struct TgprCheckIssue {
  std::string Message;
  std::string Focus;
  bool Note = false;
};

struct TgprCheckContext {
  std::vector<std::string> Printers;  // installed printers
  bool DirectoryExists = true;        // the output file's directory
  TgprMemoIndex Memo = miRptTi;       // the memo shown on the Titles page
};

// The checks across fields, in order, after the range checks; they may set NumFixedCols
// (silently) into range. Stops at the first error; notes before it are kept.
std::vector<TgprCheckIssue> CheckAcrossFields(TgprReportSettings& settings, const TObjInfo& objInfo,
                                              const TgprCheckContext& context);

// All checks: every shown numeric field, then those across fields. Empty when all pass.
std::vector<TgprCheckIssue> CheckAllOptions(TgprReportSettings& settings, const TObjInfo& objInfo,
                                            const TgprCheckContext& context);
// Whether issues hold an error (not only notes).
bool HasError(const std::vector<TgprCheckIssue>& issues);

}  // namespace gpr
