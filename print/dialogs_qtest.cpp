// The progress, password and selected-rows windows, driven offscreen: suspend, resume and
// abort of a run, the 500 ms refresh, the statistics at the end; password attempts; the
// preselected row choice and its cancel.
#include "print/ask_selected_rows.h"
#include "print/core/gpr_error.h"
#include "print/password_window.h"
#include "print/progress_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <optional>
#include <set>

namespace gpr {
namespace {

// Runs action on the next pass of the event loop (inside a modal wait).
void Soon(std::function<void()> action, int ms = 0) { QTimer::singleShot(ms, qApp, std::move(action)); }

// Pages that take a moment each, so that the 500 ms refresh happens during the run.
class TSlowPages : public TgprPageSource {
 public:
  TSlowPages(int pages, int msPerPage) : pages_(pages), ms_(msPerPage) {}
  int PagesAcross() const override { return 1; }
  bool BuildPage(TgprPageId page, std::vector<std::string>& lines) override {
    if (page.Page > pages_) return false;
    QTest::qWait(ms_);
    current_ = page.Page;
    lines = {"line"};
    return true;
  }
  bool DataEnded() const override { return current_ >= pages_; }
  int RowsDone() const override { return current_ * 10; }
  int RowCount() const override { return pages_ * 10; }

 private:
  int pages_;
  int ms_;
  int current_ = 0;
};

class TCountingChannel : public TgprOutputChannel {
 public:
  TgprOpenResult Open() override { return TgprOpenResult::Opened; }
  void WritePage(const std::vector<std::string>&, bool) override { ++pages; }
  void Close() override { closed = true; }
  void Abort() noexcept override { aborted = true; }
  int pages = 0;
  bool closed = false, aborted = false;
};

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void ShortRunNeverUpdatesTheBarButCountsAtTheEnd() {
    TfmGprProgress progress;
    progress.ShowProgress("Report:Films", acPrinting, "&Abort Report", "&Resume Report");
    QCOMPARE(progress.StatusText(), QString("Printing...Please Wait!"));
    QVERIFY(progress.CancelButton()->isVisible());
    QVERIFY(!progress.AbortButton()->isVisible());
    progress.SetPauseAfter(true);
    TSlowPages source(3, 0);
    TCountingChannel channel;
    TgprPrintRun run({{0, 1}, {0, 99999}});
    Soon([&] { progress.OkButton()->click(); }, 50);
    QCOMPARE(run.Run(source, channel, &progress), rrCompleted);
    QCOMPARE(progress.BarUpdates(), 0);
    QVERIFY(progress.PageText().startsWith("3 Pages Printed. Elapsed Time: "));
    QCOMPARE(progress.BarText(), QString("30 Rows  (100%)"));
    QCOMPARE(progress.StatusText(), QString(" Completed Normally"));
    QVERIFY(!progress.isVisible());
  }

  void RefreshShowsRowsAndPage() {
    TfmGprProgress progress;
    progress.ShowProgress("Report:Films", acPrinting, "&Abort Report", "&Resume Report");
    TSlowPages source(4, 200);
    TCountingChannel channel;
    TgprPrintRun run({{0, 1}, {0, 99999}});
    QCOMPARE(run.Run(source, channel, &progress), rrCompleted);
    QVERIFY(progress.BarUpdates() >= 1);
    QVERIFY(progress.BarText().contains(" Rows ("));
    QVERIFY(progress.PageText().startsWith("Printing: Page "));
  }

  void EscapeSuspendsResumeContinuesAbortEnds() {
    TfmGprProgress progress;
    progress.ShowProgress("Report:Films", acPrinting, "&Abort Report", "&Resume Report");
    TSlowPages source(200, 20);
    TCountingChannel channel;
    // Escape suspends, Resume continues, Cancel suspends again, Abort ends. Each step waits
    // for the state the last one should have reached, not for a time, so a slow machine
    // changes nothing; whatever is seen, the run is always ended, never left suspended.
    int suspensions = 0;
    bool firstSuspendReads = false;
    bool cancelHiddenWhileSuspended = false;
    QTimer driver;
    driver.setInterval(5);
    QElapsedTimer clock;
    clock.start();
    int step = 0;
    QObject::connect(&driver, &QTimer::timeout, [&] {
      if (clock.elapsed() > 20000) {  // give up, but end the run
        driver.stop();
        progress.AbortButton()->click();
        return;
      }
      if (step == 0) {
        QTest::keyClick(&progress, Qt::Key_Escape);
        step = 1;
      } else if (step == 1 && progress.IsSuspended()) {
        ++suspensions;
        firstSuspendReads = progress.StatusText() == QString("-- User Suspended Printing --") &&
                            progress.ResumeButton()->text() == QString("&Resume Report");
        cancelHiddenWhileSuspended = !progress.CancelButton()->isVisible();
        progress.ResumeButton()->click();
        step = 2;
      } else if (step == 2 && !progress.IsSuspended()) {
        progress.CancelButton()->click();
        step = 3;
      } else if (step == 3 && progress.IsSuspended()) {
        ++suspensions;
        driver.stop();
        progress.AbortButton()->click();
      }
    });
    driver.start();
    TgprPrintRun run({{0, 1}, {0, 99999}});
    QCOMPARE(run.Run(source, channel, &progress), rrTerminated);
    driver.stop();
    QCOMPARE(suspensions, 2);
    QVERIFY(firstSuspendReads);
    QVERIFY(cancelHiddenWhileSuspended);
    QVERIFY(channel.aborted);
    QVERIFY(!channel.closed);
    QVERIFY(channel.pages < 200);
    QCOMPARE(run.Status(), rsTerminatedWithError);
  }

  void WindowRefusesToCloseItself() {
    TfmGprProgress progress;
    progress.ShowProgress("Report:Films", acExporting, "&Abort Report", "&Resume Report");
    progress.close();
    QVERIFY(progress.isVisible());
    TgprRunSummary summary;
    summary.Status = rsCompleted;
    progress.FinishProgress(false, summary);
    QVERIFY(!progress.isVisible());
  }

  void NothingPrintedShowsOnRed() {
    TfmGprProgress progress;
    progress.ShowProgress("Report:Films", acPrinting, "&Abort Report", "&Resume Report");
    TgprRunSummary summary;
    summary.Status = rsCompleted;
    summary.PageRange = true;
    Soon([&] { progress.OkButton()->click(); }, 20);
    progress.FinishProgress(true, summary);
    QCOMPARE(progress.BarText(), QString("No pages found for page range"));
  }

  // Check mode: one window for all attempts, told of each wrong entry; the third wrong one
  // ends the attempt with "Too many password violations" and no fourth is asked.
  void PasswordAttemptsInOneWindow() {
    struct TCase {
      const char* Name;
      QStringList Typed;
      std::optional<std::string> Given;
      QStringList StatusBeforeEach;
      QString Said;
    };
    const TCase cases[] = {
        {"right after a wrong one, any case", {"wrong", "SeCrEt"}, "SeCrEt", {"", "Password is Incorrect"}, ""},
        {"three wrong",
         {"a", "b", "c", "secret"},
         std::nullopt,
         {"", "Password is Incorrect", "Password is Incorrect"},
         "Too many password violations"},
    };
    for (const TCase& c : cases) {
      TgprPasswordWindows windows("Films");
      QStringList typed = c.Typed;
      QStringList statuses;
      QString said;
      std::set<QWidget*> windowsSeen;
      QTimer answer;
      connect(&answer, &QTimer::timeout, this, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
          said = box->text();
          box->reject();
        } else if (auto* window = qobject_cast<TfmGprPassword*>(modal); window && !typed.isEmpty()) {
          QCOMPARE(window->windowTitle(), QString("Report: Films"));
          QCOMPARE(window->PromptText(), QString("Enter Report Password:"));
          QCOMPARE(window->PasswordEdit()->echoMode(), QLineEdit::Password);
          windowsSeen.insert(window);
          statuses << window->StatusText();
          window->PasswordEdit()->setText(typed.takeFirst());
          window->OkButton()->click();
        }
      });
      answer.start(10);
      const std::unique_ptr<TgprPasswordEntry> entry = windows.OpenEntry("Enter Report Password:");
      const std::optional<std::string> given = AskForPassword(*entry, "secret");
      answer.stop();
      QVERIFY2(given == c.Given, c.Name);
      QCOMPARE(statuses, c.StatusBeforeEach);
      QCOMPARE(said, c.Said);
      QCOMPARE(windowsSeen.size(), size_t(1));
      if (!c.Given) QVERIFY(!static_cast<TfmGprPassword*>(entry.get())->isVisible());
    }
  }

  void CancelAndNewMode() {
    TfmGprPassword window("Films", "", false);
    window.show();
    Soon([&] { window.CancelButton()->click(); });
    QCOMPARE(window.Next(), std::nullopt);
    QVERIFY(!window.isVisible());

    TfmGprPassword fresh("Films", "Enter  New Report Password:", true);
    QCOMPARE(fresh.StatusText(), QString("Leave blank to remove password"));
    fresh.show();
    fresh.OkButton()->click();
    QCOMPARE(fresh.result(), int(QDialog::Accepted));
  }

  void SelectedRowsChoice() {
    TfmgprAskSelectedRows none(0);
    QCOMPARE(none.windowTitle(), QString("Print which rows?"));
    QVERIFY(none.AllButton()->isChecked());
    QCOMPARE(none.Choice(), TgprSelectedRowsChoice::AllRows);
    TfmgprAskSelectedRows some(7);
    QVERIFY(some.SelectedButton()->isChecked());
    QCOMPARE(some.SelectedButton()->text(), QString("Print 7 selected rows"));

    Soon([] {
      auto* window = qobject_cast<TfmgprAskSelectedRows*>(QApplication::activeModalWidget());
      QVERIFY(window);
      window->OkButton()->click();
    });
    QCOMPARE(TfmgprAskSelectedRows::Ask(3), TgprSelectedRowsChoice::SelectedOnly);
    Soon([] {
      auto* window = qobject_cast<TfmgprAskSelectedRows*>(QApplication::activeModalWidget());
      QVERIFY(window);
      window->CancelButton()->click();
    });
    bool stopped = false;
    try {
      TfmgprAskSelectedRows::Ask(3);
    } catch (const eGprUserTermRpt& error) {
      stopped = std::string(error.what()) == "GridPrinter! User Terminated Report";
    }
    QVERIFY(stopped);
  }
};

}  // namespace gpr

QTEST_MAIN(gpr::DialogsTest)
#include "dialogs_qtest.moc"
