// TfmGprProgress: the progress window of column scans, print runs, exports and the preview's
// search for the last page. It is the run's TgprRunMonitor: after every page it processes
// pending window messages, refreshes the bar at most every 500 ms, and lets the user suspend
// the run (Escape, Ctrl+Break or "&Cancel") and then abort or resume it. At the end it can
// stay open with the run's statistics until the user presses "&Ok".
#pragma once

#include "print/core/print_run.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QString>

class QEventLoop;
class QFrame;
class QLabel;
class QPushButton;

namespace gpr {

class TfmGprProgress : public QDialog, public TgprRunMonitor {
  Q_OBJECT

 public:
  explicit TfmGprProgress(QWidget* parent = nullptr);
  ~TfmGprProgress() override;

  // Resets the bar and labels, sets the caption, shows the activity's word followed by
  // "...Please Wait!", shows the window without taking the focus and the hourglass.
  void ShowProgress(const QString& title, TgprActivity activity, const QString& abortCaption,
                    const QString& resumeCaption, const QString& countedUnit = QStringLiteral("Rows"));
  // Returns false when the user aborted the run.
  bool UpdateProgress(int done, int expectedTotal, TgprPageId page, bool pageKnown);
  // Closes the window; with pause, shows the statistics and waits for "&Ok".
  void FinishProgress(bool pause, const TgprRunSummary& summary);

  // What Escape does: suspends the run at the next update (unless it is suspended already).
  void AskToSuspend();
  // What the abort button does: ends a suspension, or the run at the next update.
  void Abort() { btnAbortClick(); }

  // TgprRunMonitor.
  bool PageDone(TgprActivity activity, TgprPageId page, int rowsDone, int rowCount) override;
  void RunFinished(const TgprRunSummary& summary) override { FinishProgress(pauseAfter_, summary); }
  void SetPauseAfter(bool pause) { pauseAfter_ = pause; }

  // For the caller and tests: what the window shows.
  QString PageText() const;
  QString BarText() const;
  QString StatusText() const;
  bool IsSuspended() const { return suspended_; }
  bool WasAborted() const { return aborted_; }
  int BarUpdates() const { return barUpdates_; }
  QPushButton* OkButton() const { return btnOk_; }
  QPushButton* CancelButton() const { return btnCancel_; }
  QPushButton* ResumeButton() const { return btnResume_; }
  QPushButton* AbortButton() const { return btnAbort_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void btnCancelClick();
  void btnResumeClick();
  void btnAbortClick();
  void btnOkClick();
  // Waits, modally, until Resume or Abort.
  void Suspend();
  void SetBar(double fraction, const QString& text, const QString& style);
  void SetStatus(const QString& text, const QString& style);
  QString DuringText() const;
  void CloseByButton();

  QLabel* lblPage_;
  QLabel* lblOutput_;
  QFrame* pnlBar_;
  QFrame* pnlBarFill_;
  QLabel* lblBarText_;
  QLabel* lblStatus_;
  QPushButton* btnOk_;
  QPushButton* btnCancel_;
  QPushButton* btnResume_;
  QPushButton* btnAbort_;

  TgprActivity activity_ = acPrinting;
  QString countedUnit_ = QStringLiteral("Rows");
  QElapsedTimer lastUpdate_;
  int expected_ = 0;
  int lastDone_ = 0;
  int barUpdates_ = 0;
  bool suspendAsked_ = false;
  bool suspended_ = false;
  bool aborted_ = false;
  bool closingByButton_ = false;
  bool cursorSet_ = false;
  bool pauseAfter_ = false;
  QEventLoop* wait_ = nullptr;  // the loop of a suspension or of the final pause
};

}  // namespace gpr
