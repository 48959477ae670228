// TfmGprMain: the report options window. The user edits the request's report settings on its
// five pages (General, Output, Style, Titles, Setup), starts a preview or a print run and
// saves the settings.
//
// Every edit writes its setting at once, marks the settings modified and is checked; an edit
// that affects the layout lays the report out again (page setup, column widths, pages across)
// and shows the result in the status panels. Checks never raise: a failure shows its message
// in the message panel, brings the field's page to the front, focuses it and blocks printing,
// previewing and saving until it is corrected.
//
// The window works on the request's settings and printed object (not owned; they outlive it).
// What it needs of the request - saving, the password prompts, whether the settings file may
// be written - it gets through TRequestHooks. The page controls are built in options_pages.cpp.
#pragma once

#include "print/core/obj_info.h"
#include "print/core/options_checks.h"
#include "print/core/print_settings.h"
#include "print/core/report_settings.h"
#include "print/report_run.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QFont;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QTabWidget;
class QTimer;
class QToolButton;
class QFormLayout;

namespace gpr {

class TfmGprPreview;
class TgprColumnsGrid;
class TgprOptionsPages;

inline constexpr const char* kOptionsCaption = "Report Options";

// The three report passwords, in the order of the Security check boxes.
enum class TgprPasswordKind { Report, Options, Setup };
// What a font button edits: the report font, the replacement font, the selected memo's font.
enum class TgprFontTarget { Report, Replacement, Memo };

// The status panels at the bottom, left to right.
enum TgprStatusPanel : int { spWidth = 0, spDestination, spMessage, spPagesAcross, spPageSize };

class TfmGprMain : public QDialog {
  Q_OBJECT
 public:
  struct TRequestHooks {
    std::function<bool()> Save;                          // saves the section; false when it could not
    std::function<bool()> ReportPassword;                // before every print or preview
    std::function<bool()> OptionsPassword;               // before a validation message
    std::function<bool()> SetupPassword;                 // before showing the Setup page
    std::function<bool()> SettingsFileReadOnly;          // the settings file may not be written
    std::function<void(TfmGprPreview&)> PreparePreview;  // e.g. wire the preview's print handler
    // The remembered password of a kind (a changed password becomes it); nullptr for none.
    std::function<std::string*(TgprPasswordKind)> RememberedPassword;
  };

  TfmGprMain(TgprReportSettings& settings, TObjInfo& objInfo, QWidget* parent = nullptr);
  ~TfmGprMain() override;

  void SetHooks(TRequestHooks hooks) { hooks_ = std::move(hooks); }
  // The host's window a window snapshot prints, and the component's name for its message.
  void SetSnapshotForm(QWidget* form, std::string componentName);
  // What the printer setup dialog left: paper, copies, duplex and collation of printer runs.
  const TgprPrinterSetup& PrinterSetupChoice() const { return printerSetup_; }
  void SetPrinterSetupChoice(TgprPrinterSetup setup) { printerSetup_ = std::move(setup); }
  // The context of this window's runs; parent asks the questions and owns the progress window.
  TgprRunContext RunContext(QWidget* parent);
  // Gives a preview of this request what the window's own runs use: its print handler runs
  // the report with this window's run context and printer setup (which a Printer Setup in the
  // preview changes too), and the request's PreparePreview hook.
  void ConnectPreview(TfmGprPreview& preview);

  // Fills every control from the settings (marks nothing modified).
  void FillControls();
  // Checks every shown field and then the checks across fields; shows the first failure.
  bool ValidateAll();
  // Lays the report out again and shows it in the status panels; false when it cannot be laid
  // out (the reason is in the message panel).
  bool RecomputeLayout();

  // The toolbar's commands.
  TgprRunOutcome PrintClick();
  // Opens the preview modally; false when the options did not pass their checks.
  bool PreviewClick();
  bool SaveClick();

  int LastRunResult() const { return lastRunResult_; }
  int PagesPrinted() const { return pagesPrinted_; }
  QString StatusText(TgprStatusPanel panel) const;
  QTabWidget* Pages() const { return tabPages_; }
  // Shows or hides again the pages `HidePages` names (Ctrl+F10).
  void TogglePagesVisibility();
  // Shows a message for the given time; kind: 0 note, 1 warning, 2 error.
  void ShowMessage(const QString& text, int kind, int seconds);

  // The columns grid's edits of column (an index into the column list): its grand total, and
  // the format string of its totals (refused with a warning when it cannot be used; the old
  // one stays). Both write `ColumnTotals` back; false when nothing changed.
  bool SetColumnTotal(int column, TgprTotalKind kind);
  bool SetColumnFormat(int column, const std::string& format);
  // Selects the memo step places before or after the current one, beeping at the ends.
  void SelectMemo(int step);
  // The font a font button chose, put into the settings it edits.
  void ApplyFont(TgprFontTarget target, const QFont& font);
  // Runs the password change of the Setup page's Security check box for kind.
  void ChangePasswordClick(TgprPasswordKind kind);

 protected:
  void reject() override;

 private:
  friend class TgprOptionsPages;
  struct TBinding {
    std::function<void()> Fill;  // control from setting
  };

  void BuildWindow();
  void BuildMenus();
  void BuildToolbar();
  void BuildStatus();
  void RebuildTabs();
  void OutputDestChanged(int dest);
  void BrowseOutputFile();
  // The system's printer dialog; its printer and orientation become the report's.
  void PrinterSetup();
  void UpdateDestinationControls();
  // After any edit: modified, the field's check, the layout when it affects it.
  void Edited(bool affectsLayout);
  bool CheckNumeric(const TgprNumericField& field, bool showFailure);
  bool ShowIssue(const TgprCheckIssue& issue);
  void FocusControl(const std::string& key);
  TgprCheckContext CheckContext() const;
  void HintTimeout();
  void ChooseFont(TgprFontTarget target);
  void FillSamples();
  bool AskSaveOnClose();

  // Control factories used by the pages (options_pages.cpp).
  QLineEdit* AddNumeric(QFormLayout* form, const char* key);
  QCheckBox* AddCheck(QWidget* parent, const QString& caption, bool& setting, bool affectsLayout,
                      const QString& name = {});
  QComboBox* AddCombo(QWidget* parent, const QStringList& items, std::function<int()> get, std::function<void(int)> set,
                      bool affectsLayout, const QString& name);
  QLineEdit* AddText(QWidget* parent, std::string& setting, bool affectsLayout, const QString& name);

  TgprReportSettings& settings_;
  TObjInfo& objInfo_;
  TRequestHooks hooks_;
  std::unique_ptr<TgprOptionsPages> pages_;  // builds the pages; its bindings refer to it
  std::vector<TBinding> bindings_;
  TgprMemoIndex memo_ = miRptTi;
  TgprPrinterSetup printerSetup_;
  QWidget* snapshotForm_ = nullptr;
  std::string componentName_ = "TGprGridPrinter";
  int lastRunResult_ = 0;
  int pagesPrinted_ = 0;
  bool filling_ = false;
  bool showHiddenPages_ = false;

  QTabWidget* tabPages_ = nullptr;
  std::vector<QWidget*> pageWidgets_;
  QComboBox* cmbxOutputDest_ = nullptr;
  QLineEdit* edtOutputFile_ = nullptr;
  QToolButton* btnBrowse_ = nullptr;
  QComboBox* cmbxFileExists_ = nullptr;
  QAction* actPrinterSetup_ = nullptr;
  QAction* actSave_ = nullptr;
  QAction* actPreview_ = nullptr;
  QWidget* grpExport_ = nullptr;
  QWidget* grpFastPrinter_ = nullptr;
  QGroupBox* grpOutputOptions_ = nullptr;
  TgprColumnsGrid* grdColumns_ = nullptr;
  QListWidget* lstbxMemos_ = nullptr;
  QPlainTextEdit* mmoMemo_ = nullptr;
  QLabel* lblMemoLeft_ = nullptr;
  QLabel* lblMemoRight_ = nullptr;
  QLabel* lblSampleDate_ = nullptr;
  QLabel* lblSampleTime_ = nullptr;
  std::vector<QCheckBox*> ckbxPasswords_;
  std::vector<QLabel*> panels_;
  QTimer* tmrMessage_ = nullptr;
};

}  // namespace gpr
