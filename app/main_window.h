// TfMain, Pellomar's one window: the query panel with the search criteria and the rules that
// couple them, the result panel (navigator, count label, grid), the current-record panel and
// the row of buttons. The window is kept thin: the criteria checks and the statement come from
// search_statement.h, the lookups go through TCatalogueAccess, and everything the user is told
// goes through a TUserNotifier.
//
// Control names are those of the window's design and double as Qt object names, so tests and
// later parts find them with findChild.
#pragma once

#include "app/catalogue_access.h"
#include "app/search_statement.h"
#include "app/user_files.h"
#include "app/user_notifier.h"
#include "dbaccess/client_data_set.h"

#include <QWidget>

#include <array>
#include <memory>
#include <string>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QTimer;
class TCurrentRecordPanel;
class TfAboutSplash;
class TRecordNavigator;
namespace gpr {
class TGprGridPrinter;
}
class TResultGrid;

class TfMain : public QWidget {
  Q_OBJECT
 public:
  // catalogue: where statements go (owned). files: the settings file of the window position
  // and the ratings, and the folder of the notes; without a settings file, what
  // TUserFiles::ForProgram chooses for the running program.
  explicit TfMain(std::unique_ptr<TCatalogueAccess> catalogue, TUserNotifier notifier = TUserNotifier::Standard(),
                  TUserFiles files = {}, QWidget* parent = nullptr);
  ~TfMain() override;

  const std::string& SettingsFileName() const { return files_.SettingsFileName(); }
  const TUserFiles& UserFiles() const { return files_; }
  // The text of the last search statement sent (empty before the first search).
  const std::string& SearchStatement() const { return searchStatement_; }
  // VideoID of the result's current row; 0 when no result is open or it has no rows.
  int CurrentVideoId() const;

  // The result of the last search: an in-memory, read-only copy of the rows the search
  // delivered, with the fields VideoID, Title, IndustryRating, Length and Year. The grid,
  // the navigator and the current-record panel read it; its scroll events drive the
  // delayed panel refresh. The window unbinds the grid and navigator before it goes.
  quarry::TClientDataSet cds;

  // Hands over the splash window shown while the program starts; the window frees it when
  // it is first shown.
  void SetSplash(std::unique_ptr<TfAboutSplash> splash);

  // The controls, made by the constructor and owned by the window through Qt's parents.
  // The coupling handlers keep one invariant the statement relies on: while a name is
  // chosen in a list, its show-all box is unchecked.

  // Query panel, in tab order.
  QFrame* pnlQuery = nullptr;
  QComboBox* cmbxCastMembers = nullptr;
  QCheckBox* ckbxAllCastMembers = nullptr;
  QComboBox* cmbxDirectors = nullptr;
  QCheckBox* ckbxAllDirectors = nullptr;
  QComboBox* cmbxFrom = nullptr;
  QComboBox* cmbxTo = nullptr;
  QCheckBox* ckbxAllYears = nullptr;
  std::array<QCheckBox*, 6> ratingBoxes{};  // ckbxG, ckbxPG, ckbxPG13, ckbxNR, ckbxR, ckbxNC17
  QCheckBox* ckbxAllRatings = nullptr;
  QPushButton* btnShowResults = nullptr;

  // Result panel: the navigator and the sortable grid, both bound to cds.
  QFrame* pnlGrid = nullptr;
  TRecordNavigator* dbnav = nullptr;
  QLabel* lblResultsCount = nullptr;
  TResultGrid* grdcds = nullptr;

  TCurrentRecordPanel* pnlCurrentRecord = nullptr;

  QPushButton* btnHelp = nullptr;
  QPushButton* btnAbout = nullptr;
  QPushButton* btnPrint = nullptr;
  QPushButton* btnClose = nullptr;

  // Prints, previews or exports grdcds (owned by the window as its child).
  gpr::TGprGridPrinter* GprGridPrinter1 = nullptr;

  // Refreshes the current-record panel once, 200 ms after the last of a run of scrolls.
  QTimer* tmr = nullptr;

 signals:
  // The current-record panel was refreshed for this video.
  void CurrentRecordRefreshed(int videoId);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Window life cycle.
  void FormCreate();
  void FormShow();
  void FormClose();
  void FormDestroy();
  void InitializeWindow();
  void LoadWindowPosition();
  void SaveWindowPosition();
  void FillYears();
  void FillCastMembers();
  void FillDirectors();

  // Criteria coupling.
  void ckbxAllCastMembersClick(bool checked);
  void ckbxAllDirectorsClick(bool checked);
  void ckbxAllYearsClick(bool checked);
  void ckbxAllRatingsClick(bool checked);
  void cmbxCastMembersChange();
  void cmbxDirectorsChange();
  void cmbxFromChange();
  void cmbxFromEnter(QComboBox* box);
  void cmbxFromExit(QComboBox* box);
  // Whether the key is discarded: only digits type; editing keys and commands work.
  bool cmbxFromKeyPress(QComboBox* box, QKeyEvent* key);
  void PasteYear(QComboBox* box);
  void ShowYearMenu(QComboBox* box, const QPoint& globalPos);
  void ckbxGClick(QCheckBox* box);
  TRatingBoxes ReadRatingBoxes() const;

  // Search and result.
  void btnShowResultsClick();
  void CloseResultSet();
  void ShowResultsCount();
  void cdsBeforeScroll();
  void cdsAfterScroll();
  void tmrTimer();
  void grdcdsCellClick();
  void RefreshCurrentRecord();
  // Shows the current record's fields in the panel's labels (blank without a record).
  void ShowCurrentRow();

  // Bottom buttons.
  void btnHelpClick();
  void btnAboutClick();
  void btnPrintClick();

  // Runs an action the way every event handler runs: a failure ends it and goes to the
  // default error report.
  template <typename Action>
  void Guarded(Action&& action);
  void ShowInformation(const std::string& text);

  void CreateControls();
  void CreateQueryPanel();
  void CreateResultPanel();
  void CreateButtons();
  void ConnectHandlers();
  void SetTabOrder();

  std::unique_ptr<TCatalogueAccess> catalogue_;
  TUserNotifier notifier_;
  TUserFiles files_;
  std::string searchStatement_;
  bool shown_ = false;
  std::unique_ptr<TfAboutSplash> splash_;
};
