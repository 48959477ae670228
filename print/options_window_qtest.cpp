// The report options window and the preview, offscreen, over the shipped catalogue: Print
// opens the window with the stored settings; edits change their settings and a layout edit
// updates the status panels; checks block printing; the preview shows, moves, zooms, copies
// and prints pages to a text file exactly as the page builder makes them; saved settings are
// found again by another process.
//
// With PELLOMAR_SCREENSHOT_DIR set, pictures of every options page, of the preview and of its
// search and password windows are saved there.
#include "print/options_window.h"

#include "engine/platform/posix_environment.h"
#include "grid/catalogue_grid_columns.h"
#include "grid/result_grid.h"
#include "print/columns_grid.h"
#include "print/core/layout_test_support.h"
#include "print/core/page_builder.h"
#include "print/grid_printer.h"
#include "print/memo_date_format.h"
#include "print/options_request_ui.h"
#include "print/password_window.h"
#include "print/preview_window.h"
#include "print/print_request.h"
#include "print/printer_setup_dialog.h"
#include "print/progress_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFontDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>

using namespace gpr;
using gpr::testing::TCatalogueResult;

namespace {

std::unique_ptr<TCatalogueResult> ShippedCatalogue() {
  auto rows = gpr::testing::VideoRows(gpr::testing::SourceDir() + "/catalogue");
  return rows ? std::make_unique<TCatalogueResult>(std::move(rows), "Title") : nullptr;
}

void SaveScreenshot(QWidget& window, const QString& name) {
  const QString dir = qEnvironmentVariable("PELLOMAR_SCREENSHOT_DIR");
  if (dir.isEmpty()) return;
  QDir().mkpath(dir);
  window.grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

std::string ReadAll(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Types text into a line edit as the user would, replacing what it held, and leaves it.
void TypeInto(QLineEdit* edit, const QString& text) {
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, text);
  QMetaObject::invokeMethod(edit, "editingFinished");
}

// Calls step whenever the event loop runs until it returns true (polling every 10 ms).
void WhenReady(QObject* context, std::function<bool()> step) {
  auto* timer = new QTimer(context);
  QObject::connect(timer, &QTimer::timeout, context, [timer, step = std::move(step)] {
    if (step()) timer->deleteLater();
  });
  timer->start(10);
}

// Print Grid as the main window starts it: the component over a grid of the catalogue, with
// its settings file in a scratch program folder holding the report's section ("{dir}" in it
// stands for that folder).
struct TPrintGrid {
  QTemporaryDir ProgramDir;
  quarry::TPosixEnvironment Environment;
  TgprFileMgrHost Host;
  QWidget Form;
  TGprGridPrinter* Printer = nullptr;

  TPrintGrid(quarry::TClientDataSet& dataSet, QString section) {
    const std::string program = ProgramDir.filePath(QStringLiteral("Pellomar")).toStdString();
    section.replace(QStringLiteral("{dir}"), ProgramDir.path());
    std::ofstream(program + ".PXT", std::ios::binary) << "[(434.854)]\r\n" << section.toStdString();
    TgprFileMgrConfig config;
    config.ProgramPath = program;
    config.ConfigDirectory = ProgramDir.path().toStdString();
    auto* grid = new TResultGrid(&Form);
    grid->setObjectName(QStringLiteral("grdcds"));
    grid->SetDataSet(&dataSet);
    grid->SetColumns(CatalogueGridColumns());
    Printer = new TGprGridPrinter(&Form, Environment, Host, config);
    Printer->setObjectName(QStringLiteral("GprGridPrinter1"));
    Printer->SetDefaultPrinterCheck([] { return true; });
    Printer->SetReportId("(434.854)");
  }

  // Runs Print; once the request's options window is up, calls withWindow and closes it.
  int WithWindow(const std::function<void(TfmGprMain&)>& withWindow) {
    QTimer::singleShot(0, [&] {
      // The start-up sequence runs first, queued behind this.
      QTimer::singleShot(0, [&] {
        TfmGprMain* window = TgprOptionsRequestUi::Current();
        QVERIFY(window != nullptr);
        withWindow(*window);
        window->done(QDialog::Rejected);
      });
    });
    return Printer->Print();
  }
};

}  // namespace

class OptionsWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TCatalogueResult> catalogue_;
  TgprReportSettings settings_;
  TObjInfo objInfo_;
  QTemporaryDir scratch_;

  // A fresh window over the catalogue, destination a text file in the scratch folder.
  std::unique_ptr<TfmGprMain> MakeWindow() {
    settings_ = TgprReportSettings();
    settings_.OutputDest = odTextFile;
    settings_.OutputFileName = scratch_.filePath(QStringLiteral("Rpt.Txt")).toStdString();
    settings_.PauseAfterPrinting = false;
    objInfo_ = catalogue_->ObjInfo(settings_);
    auto window = std::make_unique<TfmGprMain>(settings_, objInfo_);
    window->FillControls();
    window->RecomputeLayout();
    window->show();
    return window;
  }

 private slots:
  void initTestCase() {
    catalogue_ = ShippedCatalogue();
    // Every run and every expected page carry the same date and time.
    SetMemoClock([] { return QDateTime(QDate(2026, 12, 10), QTime(9, 30)); });
    if (!catalogue_) QSKIP("the shipped catalogue's videos.csv is missing");
    QVERIFY(scratch_.isValid());
  }

  void printGridOpensTheWindowWithTheStoredSettings() {
    TPrintGrid print(catalogue_->DataSet(),
                     "NewRpt=0\r\nOutputDest=1\r\nLinesPerpage=44\r\nTxtCharsPageWid=100\r\n"
                     "GroupColumns=Year\r\n");
    print.Printer->SetDialogTitle(" cds (10/12/2026)");

    QString caption, lines, width, across, dest;
    bool shown = false;
    bool countingShown = false;
    bool breaksShown = false;
    const int result = print.WithWindow([&](TfmGprMain& window) {
      shown = window.isVisible() && window.y() > -1000;
      // Groups that depend on the printed object and the loaded settings.
      countingShown = window.findChild<QWidget*>(QStringLiteral("grpRecordCounting"))->isVisibleTo(&window);
      breaksShown = window.findChild<QWidget*>(QStringLiteral("grpGroupBreaks"))->isVisibleTo(&window);
      caption = window.windowTitle();
      lines = window.findChild<QLineEdit*>(QStringLiteral("LinesPerpage"))->text();
      width = window.findChild<QLineEdit*>(QStringLiteral("TxtCharsPageWid"))->text();
      across = window.StatusText(spPagesAcross);
      dest = window.StatusText(spDestination);
    });
    QCOMPARE(result, 0);
    QVERIFY(shown);
    QCOMPARE(caption, QStringLiteral("Report Options:  cds (10/12/2026)"));
    QCOMPARE(lines, QStringLiteral("44"));
    QCOMPARE(width, QStringLiteral("100"));
    QCOMPARE(dest, QStringLiteral("Text File"));
    QCOMPARE(across, QStringLiteral("1 Page Across"));
    QVERIFY(countingShown);  // the grid prints its result set's rows
    QVERIFY(breaksShown);
  }

  // The report password is asked in the password window before a run: wrong entries are told
  // there, the third ends the run before anything is written, and an accepted one is not
  // asked again within the request.
  void theReportPasswordIsAskedBeforeARun() {
    struct TCase {
      const char* Name;
      QStringList Typed;
      int FirstResult;  // of the first of two Print clicks; the second one completes
      int Asked;
      QString FirstMessage;  // how the message panel ends after the first click
    };
    const TCase cases[] = {
        {"second try, then remembered", {"wrong", "sEcReT"}, rrCompleted, 2, " Pages Printed"},
        {"three wrong, then asked afresh",
         {"a", "b", "c", "secret"},
         rrTerminated,
         4,
         "GridPrinter! Setup Error: Report Password Violation"},
    };
    for (const TCase& c : cases) {
      TPrintGrid print(catalogue_->DataSet(),
                       "NewRpt=0\r\nOutputDest=1\r\nOutputFileName={dir}/Out.Txt\r\n"
                       "PauseAfterPrinting=0\r\nDisplayProgressWin=0\r\nRptPW=Secret\r\n");
      print.Printer->SetDialogTitle("Films");
      const QString output = print.ProgramDir.filePath(QStringLiteral("Out.Txt"));
      QStringList typed = c.Typed;
      QStringList asked;
      QString tooMany;
      QTimer answer;
      connect(&answer, &QTimer::timeout, this, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
          tooMany = box->text();
          box->reject();
        } else if (auto* window = qobject_cast<TfmGprPassword*>(modal); window && !typed.isEmpty()) {
          asked << window->windowTitle() + " / " + window->PromptText();
          window->PasswordEdit()->setText(typed.takeFirst());
          window->OkButton()->click();
        }
      });
      answer.start(10);
      int first = -1;
      int second = -1;
      QString firstMessage;
      bool writtenAfterFirst = false;
      print.WithWindow([&](TfmGprMain& window) {
        first = window.PrintClick().Result;
        firstMessage = window.StatusText(spMessage);
        writtenAfterFirst = QFile::exists(output);
        second = window.PrintClick().Result;
      });
      answer.stop();
      QVERIFY2(first == c.FirstResult, c.Name);
      QCOMPARE(second, int(rrCompleted));
      QCOMPARE(asked.size(), c.Asked);
      QCOMPARE(asked.first(), QStringLiteral("Report: Films / Enter Report Password:"));
      QVERIFY2(firstMessage.endsWith(c.FirstMessage), qPrintable(firstMessage));
      QCOMPARE(writtenAfterFirst, c.FirstResult == rrCompleted);
      QCOMPARE(tooMany, c.FirstResult == rrCompleted ? QString() : QStringLiteral("Too many password violations"));
    }
  }

  void eachEditChangesItsSetting_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("setting");
    QTest::addColumn<int>("expected");
    QTest::newRow("lines per page") << "LinesPerpage"
                                    << "72"
                                    << "LinesPerpage" << 72;
    QTest::newRow("page width") << "TxtCharsPageWid"
                                << "132"
                                << "TxtCharsPageWid" << 132;
    QTest::newRow("panels") << "PanelsAcrossPage"
                            << "2"
                            << "PanelsAcrossPage" << 2;
    QTest::newRow("line frequency") << "HorizLineFreq"
                                    << "7"
                                    << "HorizLineFreq" << 7;
    QTest::newRow("string width") << "MaxStringColWidTxt"
                                  << "30"
                                  << "MaxStringColWidTxt" << 30;
    QTest::newRow("page top margin") << "PageTop"
                                     << "3"
                                     << "PageTop" << 3;
    QTest::newRow("cell left margin") << "CellLeft"
                                      << "2"
                                      << "CellLeft" << 2;
    QTest::newRow("font size") << "TextFontSize"
                               << "12"
                               << "TextFontSize" << 12;
    QTest::newRow("memo width") << "MemoWidPer"
                                << "50"
                                << "MemoWidPer" << 50;
    QTest::newRow("starting line") << "StartingReportLineId"
                                   << "10"
                                   << "StartingReportLineId" << 10;
  }
  void eachEditChangesItsSetting() {
    QFETCH(QString, control);
    QFETCH(QString, typed);
    QFETCH(QString, setting);
    QFETCH(int, expected);
    auto window = MakeWindow();
    QVERIFY(!settings_.Modified);
    auto* edit = window->findChild<QLineEdit*>(control);
    QVERIFY(edit != nullptr);
    TypeInto(edit, typed);
    const TgprNumericField* field = FindNumericField(setting.toStdString());
    QCOMPARE(field->Ref(settings_, miRptTi), expected);
    QVERIFY(settings_.Modified);
  }

  void checkBoxesAndListsChangeTheirSettings() {
    auto window = MakeWindow();
    window->findChild<QCheckBox*>(QStringLiteral("PreviewFirst"))->click();
    QVERIFY(!settings_.PreviewFirst);
    window->findChild<QComboBox*>(QStringLiteral("ReportAlignment"))->setCurrentIndex(gaLeft);
    QCOMPARE(settings_.ReportAlignment, gaLeft);
    window->findChild<QComboBox*>(QStringLiteral("cmbxFileExists"))->setCurrentIndex(feAsk);
    QCOMPARE(settings_.IfOutputFileExists, feAsk);
    window->findChild<QCheckBox*>(QStringLiteral("ckbxPageSetup"))->click();
    QCOMPARE(settings_.HidePages, std::string("Setup"));
    QVERIFY(settings_.Modified);
  }

  void aLayoutEditUpdatesTheStatusPanels() {
    auto window = MakeWindow();
    QCOMPARE(window->StatusText(spPagesAcross), QStringLiteral("1 Page Across"));
    QCOMPARE(window->StatusText(spPageSize), QStringLiteral("60 lines h x 80 chars w"));
    TypeInto(window->findChild<QLineEdit*>(QStringLiteral("TxtCharsPageWid")), QStringLiteral("40"));
    QCOMPARE(window->StatusText(spPagesAcross), QStringLiteral("2 Pages Across"));
    QCOMPARE(window->StatusText(spPageSize), QStringLiteral("60 lines h x 40 chars w"));
    QVERIFY(window->StatusText(spWidth).startsWith(QStringLiteral("Total Report Width: ")));
  }

  void aValueOutOfRangeIsShownAndKeepsTheFocus() {
    auto window = MakeWindow();
    QApplication::setActiveWindow(window.get());
    auto* lines = window->findChild<QLineEdit*>(QStringLiteral("LinesPerpage"));
    window->Pages()->setCurrentIndex(opOutput);
    TypeInto(lines, QStringLiteral("5"));
    QCOMPARE(window->StatusText(spMessage), QStringLiteral("Lines Per Page must be between 10 and 999 characters"));
    QVERIFY(lines->hasFocus());
    QVERIFY(!window->ValidateAll());
    QCOMPARE(window->PrintClick().Result, rrTerminated);
    QVERIFY(!QFile::exists(QString::fromStdString(settings_.OutputFileName)));
  }

  void hidingEveryColumnBlocksPrinting() {
    auto window = MakeWindow();
    for (TColInfo& column : objInfo_.Columns.Items()) column.Visible = false;
    QVERIFY(!window->ValidateAll());
    QCOMPARE(window->StatusText(spMessage), QStringLiteral("No columns are visible."));
  }

  // The columns grid: Space prints or hides the current column, the pop-up menu hides,
  // shows or toggles every column and names them by field; each change is written to
  // HideColumns, and with every column hidden printing is blocked.
  void theColumnsGridShowsAndHidesColumns() {
    auto window = MakeWindow();
    auto* grid = window->findChild<TgprColumnsGrid*>(QStringLiteral("Columns"));
    QVERIFY(grid != nullptr);
    const TColsList& columns = objInfo_.Columns;
    const TColInfo* titleColumn = columns.Find("Title");
    QVERIFY(titleColumn != nullptr);
    const int title = static_cast<int>(titleColumn - columns.Items().data());
    const auto namesExcept = [&](const std::string& except) {
      std::string names;
      for (const TColInfo& c : columns.Items()) {
        if (c.Name == except) continue;
        names += (names.empty() ? "" : ",") + c.Name;
      }
      return names;
    };
    const auto menuAction = [&](const QString& text) -> QAction* {
      for (QAction* action : grid->PopupMenu()->actions()) {
        if (action->text() == text) return action;
      }
      return nullptr;
    };

    grid->setFocus();
    grid->setCurrentCell(cgrName, title);
    QTest::keyClick(grid, Qt::Key_Space);
    QCOMPARE(settings_.HideColumns, std::string("Title"));
    QCOMPARE(grid->item(cgrVisible, title)->text(), QStringLiteral("No"));
    QVERIFY(settings_.Modified);
    QCOMPARE(grid->currentColumn(), title);  // the place in the grid stays

    const struct {
      const char* Action;
      std::string Hidden;
    } steps[] = {
        {"&Toggle Column Visibility", namesExcept("Title")},
        {"&Show all Columns", ""},
        {"&Hide all Columns", namesExcept("")},
    };
    for (const auto& step : steps) {
      QAction* action = menuAction(QString::fromLatin1(step.Action));
      QVERIFY2(action != nullptr, step.Action);
      action->trigger();
      QCOMPARE(settings_.HideColumns, step.Hidden);
    }
    QVERIFY(!window->ValidateAll());
    QCOMPARE(window->StatusText(spMessage), QStringLiteral("No columns are visible."));
    QCOMPARE(window->PrintClick().Result, rrTerminated);

    const TColInfo* lengthColumn = columns.Find("Length");
    const int length = static_cast<int>(lengthColumn - columns.Items().data());
    QCOMPARE(grid->item(cgrName, length)->text(), QStringLiteral("Running time"));  // the title
    menuAction(QStringLiteral("&Display Field Names"))->trigger();
    QVERIFY(grid->ShowFieldNames());
    for (int c = 0; c < columns.Count(); ++c) {
      QCOMPARE(grid->item(cgrName, c)->text(), QString::fromStdString(columns[c].Name));
    }
  }

  void exportRenamesATextFileOnly() {
    auto window = MakeWindow();
    auto* dest = window->findChild<QComboBox*>(QStringLiteral("cmbxOutputDest"));
    dest->setCurrentIndex(odExport);
    QVERIFY(QString::fromStdString(settings_.OutputFileName).endsWith(QStringLiteral("Rpt.ASC")));
    QCOMPARE(window->StatusText(spPagesAcross), QStringLiteral("Export"));
    dest->setCurrentIndex(odTextFile);
    settings_.OutputFileName = "report.lst";
    dest->setCurrentIndex(odExport);
    QCOMPARE(settings_.OutputFileName, std::string("report.lst"));
  }

  void hiddenPagesComeBackWithCtrlF10() {
    settings_ = TgprReportSettings();
    settings_.HidePages = "Setup";
    objInfo_ = catalogue_->ObjInfo(settings_);
    TfmGprMain window(settings_, objInfo_);
    window.FillControls();
    QCOMPARE(window.Pages()->count(), 4);
    window.TogglePagesVisibility();
    QCOMPARE(window.Pages()->count(), 5);
  }

  void printingWritesTheBuildersPages() {
    auto window = MakeWindow();
    const TgprRunOutcome outcome = window->PrintClick();
    QCOMPARE(outcome.Result, rrCompleted);
    QCOMPARE(window->LastRunResult(), 1);
    TgprReportSettings settings = settings_;
    TObjInfo objInfo = catalogue_->ObjInfo(settings);
    TgprPrintSettings print;
    SetMemoDateTime(settings, print);
    TgprPageBuilder builder(settings, objInfo, print);
    const std::string file = ReadAll(QString::fromStdString(settings_.OutputFileName));
    std::string first;
    for (const std::string& line : builder.Page(1, 1).Lines) first += line + "\r\n";
    QVERIFY(file.rfind(first, 0) == 0);
    QCOMPARE(outcome.PagesPrinted, builder.PageCount());
  }

  void savedSettingsAreFoundByAnotherProcess() {
    QTemporaryDir programDir;
    const std::string program = programDir.filePath(QStringLiteral("Pellomar")).toStdString();
    quarry::TPosixEnvironment environment;
    TgprFileMgrHost host;
    const auto config = [&] {
      TgprFileMgrConfig c;
      c.ProgramPath = program;
      c.ConfigDirectory = programDir.path().toStdString();
      return c;
    };
    TgprFileMgr files(environment, host, config());
    auto window = MakeWindow();
    settings_.ReportId = "(434.854)";
    files.BindRequest(&settings_, "", okDBGrid);
    TfmGprMain::TRequestHooks hooks;
    hooks.Save = [&] { return files.Save(); };
    window->SetHooks(hooks);
    TypeInto(window->findChild<QLineEdit*>(QStringLiteral("LinesPerpage")), QStringLiteral("55"));
    QVERIFY(window->SaveClick());
    QVERIFY(!settings_.Modified);
    QCOMPARE(window->StatusText(spMessage), QStringLiteral("Saved"));
    files.BindRequest(nullptr, "", okDBGrid);

    const pid_t child = fork();
    if (child == 0) {
      quarry::TPosixEnvironment childEnvironment;
      TgprFileMgrHost childHost;
      TgprFileMgr childFiles(childEnvironment, childHost, config());
      TgprReportSettings loaded;
      loaded.ReportId = "(434.854)";
      childFiles.BindRequest(&loaded, "", okDBGrid);
      const bool found = childFiles.Load().SectionFound && loaded.LinesPerpage == 55;
      _exit(found ? 0 : 1);
    }
    int status = -1;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
  }

  void previewShowsMovesZoomsAndCopies() {
    settings_ = TgprReportSettings();
    settings_.OutputDest = odTextFile;
    settings_.TxtCharsPageWid = 40;  // two pages across
    objInfo_ = catalogue_->ObjInfo(settings_);
    TfmGprPreview preview(settings_, objInfo_);
    preview.show();
    QCOMPARE(preview.PagesAcross(), 2);
    QCOMPARE(preview.CurrentPage(), 1);
    QCOMPARE(preview.PageNumberText(), QStringLiteral("1-1"));

    TgprReportSettings settings = settings_;
    TObjInfo objInfo = catalogue_->ObjInfo(settings);
    TgprPrintSettings print;
    SetMemoDateTime(settings, print);
    TgprPageBuilder builder(settings, objInfo, print);
    QCOMPARE(preview.PageText().toStdString(), builder.Page(1, 1).Text());

    preview.NextPage();
    preview.NextPage();  // past the last part of page 1: page 2, part 1
    QCOMPARE(preview.CurrentPage(), 2);
    QCOMPARE(preview.CurrentAcross(), 1);
    QCOMPARE(preview.PageNumberText(), QStringLiteral("2-1"));
    QCOMPARE(preview.PageText().toStdString(), builder.Page(1, 2).Text());
    preview.PrevPage();
    QCOMPARE(preview.CurrentPage(), 1);
    QCOMPARE(preview.CurrentAcross(), 2);
    QCOMPARE(preview.PageText().toStdString(), builder.Page(2, 1).Text());

    const int base = preview.BaseFontSize();
    QVERIFY(!preview.ApplyZoom(QStringLiteral("600%")));
    QVERIFY(!preview.ApplyZoom(QStringLiteral("20")));
    QVERIFY(preview.ApplyZoom(QStringLiteral("200%")));
    QCOMPARE(preview.FontSize(), std::min(30, base * 2));
    preview.FitWidth();
    QVERIFY(preview.FontSize() >= 2 && preview.FontSize() <= 30);

    preview.CopyPage();
    QCOMPARE(QApplication::clipboard()->text(), preview.PageText());
    QCOMPARE(preview.Message(), QStringLiteral("Page has been copied to the clipboard"));

    QVERIFY(preview.LastPage());
    QCOMPARE(preview.CurrentPage(), builder.PageCount());
    QCOMPARE(preview.CurrentAcross(), 2);
    QCOMPARE(preview.KnownLastPage(), builder.PageCount());
    preview.FirstPage();
    QCOMPARE(preview.CurrentPage(), 1);
  }

  void changingThePageWidthRestartsThePreview() {
    settings_ = TgprReportSettings();
    settings_.OutputDest = odTextFile;
    objInfo_ = catalogue_->ObjInfo(settings_);
    TfmGprPreview preview(settings_, objInfo_);
    preview.show();
    preview.NextPage();
    preview.NextPage();
    QCOMPARE(preview.CurrentPage(), 3);
    TypeInto(preview.findChild<QLineEdit*>(QStringLiteral("edtPageWidth")), QStringLiteral("132"));
    QCOMPARE(settings_.TxtCharsPageWid, 132);
    QCOMPARE(preview.CurrentPage(), 1);
    QCOMPARE(preview.PageText().split('\n').first().size() <= 132, true);
    QVERIFY(settings_.Modified);
  }

  void thePreviewOpensWhereItWasClosed() {
    settings_ = TgprReportSettings();
    settings_.OutputDest = odTextFile;
    objInfo_ = catalogue_->ObjInfo(settings_);
    const TgprGeneralSettingsFile store(scratch_.filePath(QStringLiteral("GridPrinter.Ini")).toStdString());
    QRect closedAt;
    {
      TfmGprPreview preview(settings_, objInfo_);
      preview.SetPlacementStore(store, "Ann");
      preview.show();
      preview.setGeometry(40, 50, 620, 410);
      preview.ApplyZoom(QStringLiteral("150"));
      closedAt = preview.geometry();
      preview.reject();
      QCOMPARE(settings_.PreviewZoomLevel, 150);
    }
    TfmGprPreview again(settings_, objInfo_);
    again.SetPlacementStore(store, "Ann");
    again.show();
    QCOMPARE(again.geometry(), closedAt);
  }

  // Escape in the preview suspends the search for the last page in its progress window;
  // Abort stops it on the page reached, Resume goes on to the end, and closing the preview
  // ends the search before the window closes.
  void theSearchForTheLastPageCanBeSuspended_data() {
    QTest::addColumn<QString>("then");
    QTest::addColumn<bool>("found");
    QTest::newRow("abort") << "abort" << false;
    QTest::newRow("resume") << "resume" << true;
    QTest::newRow("close the preview") << "close" << false;
  }
  void theSearchForTheLastPageCanBeSuspended() {
    QFETCH(QString, then);
    QFETCH(bool, found);
    settings_ = TgprReportSettings();
    settings_.OutputDest = odTextFile;
    objInfo_ = catalogue_->ObjInfo(settings_);
    if (objInfo_.RowCount <= 100) QSKIP("the catalogue is too small for the progress window");
    TfmGprPreview preview(settings_, objInfo_);
    preview.show();
    QString title, suspended, abortCaption, resumeCaption;
    bool escaped = false;
    WhenReady(&preview, [&] {
      TfmGprProgress* progress = preview.SearchProgress();
      if (progress == nullptr) return false;
      if (!escaped) {
        title = progress->windowTitle();
        QTest::keyClick(preview.findChild<QPlainTextEdit*>(QStringLiteral("mmoPage")), Qt::Key_Escape);
        escaped = true;
        return false;
      }
      if (!progress->IsSuspended()) return false;
      suspended = progress->StatusText();
      abortCaption = progress->AbortButton()->text();
      resumeCaption = progress->ResumeButton()->text();
      if (then == QLatin1String("abort")) progress->AbortButton()->click();
      if (then == QLatin1String("resume")) progress->ResumeButton()->click();
      if (then == QLatin1String("close")) preview.reject();
      return true;
    });
    QCOMPARE(preview.LastPage(), found);
    QCOMPARE(title, QStringLiteral("Searching for last report page"));
    QCOMPARE(suspended, QStringLiteral("-- User Suspended Previewing --"));
    QCOMPARE(abortCaption, QStringLiteral("&Abort Search"));
    QCOMPARE(resumeCaption, QStringLiteral("&Resume Search"));
    QVERIFY(!preview.Searching());
    QVERIFY(preview.isVisible());  // still open: Escape during the search does not close it
    if (found) {
      TgprReportSettings settings = settings_;
      TObjInfo objInfo = catalogue_->ObjInfo(settings);
      TgprPrintSettings print;
      TgprPageBuilder builder(settings, objInfo, print);
      QCOMPARE(preview.KnownLastPage(), builder.PageCount());
      QCOMPARE(preview.CurrentPage(), builder.PageCount());
    } else {
      QCOMPARE(preview.KnownLastPage(), 0);
      QVERIFY(preview.CurrentPage() > 1);
    }
    if (then == QLatin1String("close")) {
      QTRY_VERIFY(!preview.isVisible());
    }
  }

  // Printer Setup in the preview: the printer, orientation, paper, copies and duplex
  // it chose reach the preview's printer run, and the options window keeps them.
  void thePreviewsPrinterSetupReachesItsRun() {
    struct TCapture : TgprOutputChannel {
      int* Pages;
      explicit TCapture(int* pages) : Pages(pages) {}
      TgprOpenResult Open() override { return TgprOpenResult::Opened; }
      void WritePage(const std::vector<std::string>&, bool) override { ++*Pages; }
      void Close() override {}
      void Abort() noexcept override {}
    };
    struct TRestore {
      ~TRestore() {
        SetPrinterDialogRunner(nullptr);
        SetPrinterChannelFactory(nullptr);
      }
    } restore;
    SetPrinterDialogRunner([](QWidget*, TgprPrinterChoice& choice) {
      choice.PrinterName = "Films-Queue";
      choice.Setup.Copies = 3;
      choice.Setup.Duplex = QPrinter::DuplexLongSide;
      choice.Setup.PaperSize = QPageSize(QPageSize::A5);
      choice.Setup.Orientation = QPageLayout::Landscape;
      return true;
    });
    TgprPrinterSetup seen;
    std::string seenPrinter;
    int pages = 0;
    SetPrinterChannelFactory([&](const TgprReportSettings& settings, const TgprRunContext& context) {
      seen = context.PrinterSetup;
      seenPrinter = settings.PrinterName;
      return std::make_unique<TCapture>(&pages);
    });
    auto window = MakeWindow();
    window->findChild<QComboBox*>(QStringLiteral("cmbxOutputDest"))->setCurrentIndex(odPrinter);
    settings_.DisplayProgressWin = false;
    QString message;
    WhenReady(window.get(), [&] {
      auto* preview = qobject_cast<TfmGprPreview*>(QApplication::activeModalWidget());
      if (preview == nullptr) return false;
      preview->findChild<QPushButton*>(QStringLiteral("btnPrinterSetup"))->click();
      message = preview->Message();
      preview->PrintChoiceBox()->setCurrentText(QString::fromLatin1(kPrintCurrentPage));
      preview->PrintPages();
      preview->reject();
      return true;
    });
    QVERIFY(window->PreviewClick());
    QCOMPARE(pages, 1);
    QCOMPARE(seenPrinter, std::string("Films-Queue"));
    QCOMPARE(seen.Copies, 3);
    QCOMPARE(seen.Duplex, QPrinter::DuplexLongSide);
    QVERIFY(seen.PaperSize.isEquivalentTo(QPageSize(QPageSize::A5)));
    QCOMPARE(settings_.Orientation, orLandscape);
    QVERIFY(!settings_.DefaultPrinter);
    QCOMPARE(message, QStringLiteral("Note: The report is no longer using the Default Printer."));
    QCOMPARE(window->PrinterSetupChoice().Copies, 3);
  }

  void printingTheCurrentPageFromThePreview() {
    settings_ = TgprReportSettings();
    settings_.OutputDest = odTextFile;
    settings_.OutputFileName = scratch_.filePath(QStringLiteral("Current.Txt")).toStdString();
    settings_.PauseAfterPrinting = false;
    objInfo_ = catalogue_->ObjInfo(settings_);
    TfmGprPreview preview(settings_, objInfo_);
    preview.show();
    preview.NextPage();
    preview.NextPage();
    preview.PrintChoiceBox()->setCurrentText(QString::fromLatin1(kPrintCurrentPage));
    const TgprRunOutcome outcome = preview.PrintPages();
    QCOMPARE(outcome.Result, rrCompleted);
    QCOMPARE(outcome.PagesPrinted, 1);
    QCOMPARE(preview.CurrentPage(), 3);
    QCOMPARE(settings_.PrintWhat, pwEntireGrid);
    TgprReportSettings settings = settings_;
    TObjInfo objInfo = catalogue_->ObjInfo(settings);
    TgprPrintSettings print;
    SetMemoDateTime(settings, print);
    TgprPageBuilder builder(settings, objInfo, print);
    std::string expected;
    for (const std::string& line : builder.Page(1, 3).Lines) expected += line + "\r\n";
    const std::string file = ReadAll(QString::fromStdString(settings_.OutputFileName));
    QVERIFY(file.rfind(expected, 0) == 0);
    // Nothing but the closing form feed follows the page.
    const std::string rest = file.substr(expected.size());
    QVERIFY2(rest.empty() || rest == "\f\r\n", rest.c_str());

    preview.PrintChoiceBox()->setCurrentText(QString::fromLatin1(kPrintPageRange));
    preview.FromEdit()->setText(QStringLiteral("2"));
    preview.ToEdit()->setText(QStringLiteral("1"));
    QCOMPARE(preview.PrintPages().Result, rrTerminated);
    QVERIFY(preview.Message().contains(QStringLiteral("must be less than or equal")));
  }

  void columnTotalsAndFormatsAreEditedInTheGrid() {
    auto window = MakeWindow();
    const TColInfo* lengthColumn = objInfo_.Columns.Find("Length");
    QVERIFY(lengthColumn != nullptr);
    const int length = static_cast<int>(lengthColumn - objInfo_.Columns.Items().data());
    QVERIFY(window->SetColumnTotal(length, tkSum));
    QCOMPARE(settings_.ColumnTotals, std::string("Length,,Sum,\"\";"));
    QVERIFY(settings_.Modified);
    auto* grid = window->findChild<QTableWidget*>(QStringLiteral("Columns"));
    QCOMPARE(grid->item(3, length)->text(), QStringLiteral("Sum"));

    QVERIFY(window->SetColumnFormat(length, "%8.0F min"));
    QCOMPARE(settings_.ColumnTotals, std::string("Length,,Sum,\"%8.0F min\";"));
    // A format that cannot be used is refused and the old one stays.
    for (const char* bad : {"%q", "%5", "1,000 %F"}) {
      QVERIFY(!window->SetColumnFormat(length, bad));
      QVERIFY2(
          window->StatusText(spMessage).startsWith(QStringLiteral("Formatting string \"%1\" is invalid.").arg(bad)),
          qPrintable(window->StatusText(spMessage)));
      QCOMPARE(settings_.ColumnTotals, std::string("Length,,Sum,\"%8.0F min\";"));
    }

    // Through the grid: the total's list.
    WhenReady(window.get(), [] {
      auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return false;
      dialog->setTextValue(QStringLiteral("Average"));
      dialog->accept();
      return true;
    });
    emit grid->cellActivated(3, length);
    QCOMPARE(settings_.ColumnTotals, std::string("Length,,Average,\"%8.0F min\";"));
    QVERIFY(window->SetColumnTotal(length, tkNone));
    QCOMPARE(settings_.ColumnTotals, std::string());
  }

  void ctrlUpAndDownStepThroughTheMemos() {
    auto window = MakeWindow();
    QApplication::setActiveWindow(window.get());
    window->Pages()->setCurrentIndex(window->Pages()->indexOf(window->findChild<QWidget*>(QStringLiteral("pgTitles"))));
    auto* memo = window->findChild<QPlainTextEdit*>(QStringLiteral("mmoMemo"));
    auto* list = window->findChild<QListWidget*>(QStringLiteral("lstbxMemos"));
    memo->setFocus();
    QCOMPARE(list->currentRow(), 0);
    QTest::keyClick(memo, Qt::Key_Up, Qt::ControlModifier);  // the first memo: a beep only
    QCOMPARE(list->currentRow(), 0);
    QTest::keyClick(memo, Qt::Key_Down, Qt::ControlModifier);
    QTest::keyClick(memo, Qt::Key_Down, Qt::ControlModifier);
    QCOMPARE(list->currentRow(), static_cast<int>(miPgTi));
    QCOMPARE(memo->toPlainText().toStdString(), settings_.Memo(miPgTi).Text);
  }

  void theFontButtonsSetTheirFonts() {
    auto window = MakeWindow();
    WhenReady(window.get(), [] {
      auto* dialog = qobject_cast<QFontDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return false;
      QFont font(QStringLiteral("DejaVu Sans"), 14);
      font.setBold(true);
      dialog->setCurrentFont(font);
      dialog->accept();
      return true;
    });
    window->findChild<QToolButton*>(QStringLiteral("btnReplFont"))->click();
    QCOMPARE(settings_.ReplFontName, std::string("DejaVu Sans"));
    QCOMPARE(settings_.ReplFontSize, 14);
    QCOMPARE(settings_.ReplFontStyle, kGprFontBold);
    QVERIFY(settings_.Modified);

    QFont report(QStringLiteral("DejaVu Sans Mono"), 12);
    report.setItalic(true);
    window->ApplyFont(TgprFontTarget::Report, report);
    QCOMPARE(settings_.TextFontSize, 12);
    QCOMPARE(settings_.TextFontStyle, kGprFontItalic);
    QCOMPARE(window->findChild<QLineEdit*>(QStringLiteral("TextFontSize"))->text(), QStringLiteral("12"));
  }

  void aSecurityBoxChangesItsPassword() {
    auto window = MakeWindow();
    std::string remembered;
    TfmGprMain::TRequestHooks hooks;
    hooks.RememberedPassword = [&remembered](TgprPasswordKind kind) {
      return kind == TgprPasswordKind::Report ? &remembered : nullptr;
    };
    window->SetHooks(hooks);
    QStringList prompts;
    QString said;
    WhenReady(window.get(), [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* password = qobject_cast<TfmGprPassword*>(modal)) {
        prompts << password->findChild<QLabel*>()->text();
        password->PasswordEdit()->setText(QStringLiteral("abc"));
        password->OkButton()->click();
      } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        said = box->text();
        box->accept();
        return true;
      }
      return false;
    });
    auto* box = window->findChild<QCheckBox*>(QStringLiteral("ckbxRptPW"));
    QVERIFY(!box->isChecked());
    box->click();
    QCOMPARE(said, QStringLiteral("New Report Password is now active"));
    QCOMPARE(prompts.size(), 2);
    QCOMPARE(settings_.RptPW, std::string("abc"));
    QCOMPARE(remembered, std::string("abc"));
    QVERIFY(box->isChecked());
    QVERIFY(settings_.Modified);
  }

  void theMemoFormatSamplesFollowTheirFormats() {
    auto window = MakeWindow();
    auto* sample = window->findChild<QLabel*>(QStringLiteral("lblSampleDate"));
    TypeInto(window->findChild<QLineEdit*>(QStringLiteral("MemoDateFormatStr")), QStringLiteral("yyyy"));
    QCOMPARE(settings_.MemoDateFormatStr, std::string("yyyy"));
    QCOMPARE(sample->text(), QStringLiteral("Sample Date Format: %1").arg(QDate::currentDate().year()));
    TypeInto(window->findChild<QLineEdit*>(QStringLiteral("MemoTimeFormatStr")), QStringLiteral("'at' hh"));
    QCOMPARE(window->findChild<QLabel*>(QStringLiteral("lblSampleTime"))->text(),
             QStringLiteral("Sample Time Format: at %1").arg(QTime::currentTime().hour(), 2, 10, QLatin1Char('0')));
  }

  void choosingTheWindowSnapshot() {
    auto window = MakeWindow();
    window->findChild<QRadioButton*>(QStringLiteral("rbPrintWhat%1").arg(pwWindowSnapshot))->click();
    QCOMPARE(settings_.PrintWhat, pwWindowSnapshot);
    QCOMPARE(window->StatusText(spPagesAcross), QStringLiteral("Snapshot"));
    window->findChild<QComboBox*>(QStringLiteral("SnapShotSize"))->setCurrentIndex(4);
    QCOMPARE(settings_.SnapShotSize, std::string("MP"));
  }

  void screenshotsOfEveryPage() {
    if (qEnvironmentVariable("PELLOMAR_SCREENSHOT_DIR").isEmpty()) QSKIP("PELLOMAR_SCREENSHOT_DIR is not set");
    {
      settings_ = TgprReportSettings();
      settings_.OutputDest = odTextFile;
      objInfo_ = catalogue_->ObjInfo(settings_);
      TfmGprPreview preview(settings_, objInfo_);
      preview.show();
      preview.resize(900, 640);
      QApplication::processEvents();
      preview.FitWidth();
      SaveScreenshot(preview, QStringLiteral("preview"));
    }
    {
      // The small windows of a preview: the search for the last page, suspended, and the
      // password window after a wrong entry.
      TfmGprProgress progress;
      progress.ShowProgress(QStringLiteral("Searching for last report page"), acPreviewing,
                            QStringLiteral("&Abort Search"), QStringLiteral("&Resume Search"));
      WhenReady(&progress, [&progress] {
        if (!progress.IsSuspended()) return false;
        SaveScreenshot(progress, QStringLiteral("search_progress_suspended"));
        progress.Abort();
        return true;
      });
      QTest::qWait(550);  // past the first refresh of the bar
      progress.AskToSuspend();
      progress.UpdateProgress(1200, 36243, {1, 21}, true);
      TfmGprPassword password(QStringLiteral("Films"), QString(), false);
      password.show();
      password.Incorrect(false);
      QApplication::processEvents();
      SaveScreenshot(password, QStringLiteral("password_incorrect"));
    }
    auto window = MakeWindow();
    window->resize(900, 600);
    for (int page = 0; page < window->Pages()->count(); ++page) {
      window->Pages()->setCurrentIndex(page);
      QApplication::processEvents();
      SaveScreenshot(*window, QStringLiteral("options_") + window->Pages()->tabText(page).toLower());
    }
  }
};

QTEST_MAIN(OptionsWindowTest)
#include "options_window_qtest.moc"
