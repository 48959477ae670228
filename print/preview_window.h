// TfmGprPreview: the print preview. It shows the text report one page at a time, exactly as
// the page builder makes it, and lets the user move between pages, zoom, copy a page and
// print all pages, the current page or a page range.
//
// Only the page on screen is drawn. The builder keeps where every page it has laid out
// starts, so going back rebuilds just that page; going ahead lays out the pages in between
// without drawing them. "Last" walks forward page by page with a progress window the user
// can abort, after which the last page is known and reached at once.
//
// The window works on the request's settings and printed object (not owned; they outlive it).
// Printing goes through the print handler the opener gives, which runs the report for a page
// range. Lives on the user-interface thread, for one request.
#pragma once

#include "print/core/general_settings.h"
#include "print/core/obj_info.h"
#include "print/core/page_builder.h"
#include "print/core/print_settings.h"
#include "print/core/report_settings.h"
#include "print/report_run.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace gpr {

class TfmGprProgress;

inline constexpr const char* kPreviewCaption = "Report Preview";
inline constexpr const char* kPrintAllPages = "Print All Pages";
inline constexpr const char* kPrintCurrentPage = "Print Current Page";
inline constexpr const char* kPrintPageRange = "Print Page Range";

class TfmGprPreview : public QDialog {
  Q_OBJECT
 public:
  // Closing stores the zoom and puts the result set back on its record.
  void done(int result) override;
  using TPrintHandler = std::function<TgprRunOutcome(TgprPageRange range)>;

  TfmGprPreview(TgprReportSettings& settings, TObjInfo& objInfo, QWidget* parent = nullptr);
  ~TfmGprPreview() override;

  void SetPrintHandler(TPrintHandler handler) { printHandler_ = std::move(handler); }
  // The printer setup the preview's runs use and its Printer Setup changes: the options
  // window's own, shared (not owned; it outlives the preview). Without it the preview keeps
  // one of its own.
  void SharePrinterSetup(TgprPrinterSetup& setup) { printerSetup_ = &setup; }
  const TgprPrinterSetup& PrinterSetupChoice() const { return *printerSetup_; }
  // Where the window keeps its size and position (section "Form:" + window name + " User:" +
  // userName of the general settings file); without it the window opens at its default place.
  void SetPlacementStore(TgprGeneralSettingsFile file, std::string userName);
  // Whether the user closed the preview asking for the report options.
  bool OptionsRequested() const { return optionsRequested_; }

  // Lays the report out afresh (after a page-size change, or when first shown) and shows
  // page 1, part 1. Throws eGprSUError when the report cannot be laid out.
  void Restart();
  void ShowPage(int across, int pageNo);
  void NextPage();
  void PrevPage();
  void FirstPage();
  // Searches forward for the last page; false when the user aborted the search (the page
  // reached is then shown). While it runs, the other page commands only beep.
  bool LastPage();
  bool Searching() const { return search_ != nullptr; }
  // The progress window of the search while it runs (else nullptr).
  TfmGprProgress* SearchProgress() const { return search_; }
  // A zoom as typed: only its digits count; outside 25 to 500 only beeps. False then.
  bool ApplyZoom(const QString& typed);
  void FitWidth();
  void FitPage();
  void CopyPage();
  // Prints by the print choice; the page shown stays the same.
  TgprRunOutcome PrintPages();
  // Destination page size in the preview: a change restarts the preview at page 1.
  void SetPageSize(int linesPerPage, int charsPerLine);
  // The system's printer dialog (Ctrl+U): its printer, orientation, paper, copies and duplex
  // are used by the preview's print runs; the printer page is laid out again.
  void PrinterSetup();

  int CurrentPage() const { return page_; }
  int CurrentAcross() const { return across_; }
  int PagesAcross() const;
  int KnownLastPage() const { return lastPage_; }
  QString PageText() const;
  QString PageNumberText() const;
  QString Message() const;
  int FontSize() const { return fontSize_; }
  int BaseFontSize() const { return baseSize_; }
  QComboBox* PrintChoiceBox() const { return cmbxPrintWhat_; }
  QLineEdit* FromEdit() const { return edtFrom_; }
  QLineEdit* ToEdit() const { return edtTo_; }

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildWindow();
  void UpdateButtons();
  void SetFontSize(int size);
  void ShowMessage(const QString& text);
  void UpdateCaret();
  bool IsLastPart() const;
  void RestorePlacement();
  void SavePlacement();
  void PageSizeEdited();

  TgprReportSettings& settings_;
  TObjInfo& objInfo_;
  TgprPrintSettings print_;
  std::unique_ptr<TgprPageBuilder> builder_;
  TPrintHandler printHandler_;
  TgprPrinterSetup ownPrinterSetup_;
  TgprPrinterSetup* printerSetup_ = &ownPrinterSetup_;
  int page_ = 1;
  int across_ = 1;
  int lastPage_ = 0;  // 0 until a page ended with the end of the data
  int baseSize_ = 10;
  int fontSize_ = 10;
  bool started_ = false;
  bool optionsRequested_ = false;
  TfmGprProgress* search_ = nullptr;  // the progress window of a running search for the last page
  int savedRecNo_ = 0;
  std::optional<TgprGeneralSettingsFile> placementFile_;
  std::string userName_;

  QPlainTextEdit* mmoPage_ = nullptr;
  QPushButton* btnFirst_ = nullptr;
  QPushButton* btnPrev_ = nullptr;
  QPushButton* btnNext_ = nullptr;
  QPushButton* btnLast_ = nullptr;
  QComboBox* cmbxZoom_ = nullptr;
  QComboBox* cmbxPrintWhat_ = nullptr;
  QLineEdit* edtFrom_ = nullptr;
  QLineEdit* edtTo_ = nullptr;
  QLineEdit* edtLines_ = nullptr;  // lines per page and page width, for a text file
  QLineEdit* edtWidth_ = nullptr;
  QLabel* lblSize_ = nullptr;
  QLabel* lblDest_ = nullptr;
  QLabel* lblCaret_ = nullptr;
  QLabel* lblPage_ = nullptr;
  QLabel* lblMessage_ = nullptr;
};

}  // namespace gpr
