// The print component, offscreen: its properties and their defaults, what ObjectToPrint
// accepts, and the print request's start-up sequence driven through a double of the options
// window (loading the settings, the events, the column list, the decisions to display, preview
// or print, and every setup error with its message).
#include "print/grid_printer.h"

#include "dbaccess/vector_row_source.h"
#include "engine/platform/memory_environment.h"
#include "grid/catalogue_grid_columns.h"
#include "grid/result_grid.h"
#include "print/core/gpr_error.h"
#include "print/core/password_test_support.h"
#include "print/core/report_id.h"
#include "print/print_request.h"

#include <QLabel>
#include <QListWidget>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

#include <memory>
#include <vector>

using namespace gpr;
using quarry::TClientDataSet;
using quarry::TResultFieldKind;
using quarry::TVectorRowSource;

namespace {

const std::string kSetup = "GridPrinter! Setup Error: ";

// The options window's double: records what the start-up sequence asked of it.
class TFakeUi : public TgprRequestUi {
 public:
  explicit TFakeUi(TgprPrintRequest& request) : Request(request) {}

  void RunModal(const std::function<void()>& startUp) override { startUp(); }
  bool CtrlShiftHeld() override { return CtrlShift; }
  void SetCaption(const std::string& caption) override { Caption = caption; }
  bool FillAndValidate() override {
    Calls.push_back("FillAndValidate");
    if (OnFill) OnFill(Request);
    return Valid;
  }
  TgprPreviewOutcome PreviewFirst() override {
    Calls.push_back("PreviewFirst");
    return Preview;
  }
  void BringOnScreen() override { Calls.push_back("BringOnScreen"); }
  void StartPrintRun() override {
    Calls.push_back("StartPrintRun");
    RunResult = 1;
  }
  void PostClose() override { Calls.push_back("PostClose"); }
  std::unique_ptr<TgprPasswordEntry> OpenPasswordEntry(const std::string& prompt) override {
    Calls.push_back("OpenPasswordEntry " + prompt);
    return std::make_unique<gpr::testing::TScriptedPasswordEntry>(Passwords);
  }
  void ShowWarning(const std::string& message) override { Warnings.push_back(message); }
  int LastRunResult() override { return RunResult; }
  int PagesPrinted() override { return RunResult == 1 ? 4 : 0; }

  TgprPrintRequest& Request;
  bool CtrlShift = false;
  bool Valid = true;
  TgprPreviewOutcome Preview{};
  gpr::testing::TPasswordScript Passwords;
  std::function<void(TgprPrintRequest&)> OnFill;
  std::string Caption;
  std::vector<std::string> Calls;
  std::vector<std::string> Warnings;
  int RunResult = 0;
  // What the request held when the window was filled.
  TObjInfo Seen;
  TgprReportSettings SeenSettings;
  std::vector<std::string> SeenNotes;
};

// What the request owns: a proxy, so that the double and its record outlive the request.
class TForwardingUi : public TgprRequestUi {
 public:
  explicit TForwardingUi(TFakeUi& ui) : ui_(ui) {}
  void RunModal(const std::function<void()>& startUp) override { ui_.RunModal(startUp); }
  bool CtrlShiftHeld() override { return ui_.CtrlShiftHeld(); }
  void SetCaption(const std::string& caption) override { ui_.SetCaption(caption); }
  bool FillAndValidate() override { return ui_.FillAndValidate(); }
  TgprPreviewOutcome PreviewFirst() override { return ui_.PreviewFirst(); }
  void BringOnScreen() override { ui_.BringOnScreen(); }
  void StartPrintRun() override { ui_.StartPrintRun(); }
  void PostClose() override { ui_.PostClose(); }
  std::unique_ptr<TgprPasswordEntry> OpenPasswordEntry(const std::string& prompt) override {
    return ui_.OpenPasswordEntry(prompt);
  }
  void ShowWarning(const std::string& message) override { ui_.ShowWarning(message); }
  int LastRunResult() override { return ui_.LastRunResult(); }
  int PagesPrinted() override { return ui_.PagesPrinted(); }

 private:
  TFakeUi& ui_;
};

TVectorRowSource Videos() {
  TVectorRowSource source({{"VideoID", TResultFieldKind::Integer, 0},
                           {"Title", TResultFieldKind::String, 80},
                           {"IndustryRating", TResultFieldKind::String, 9},
                           {"Length", TResultFieldKind::String, 9},
                           {"Year", TResultFieldKind::String, 10}});
  source.AddRow({"1", "Zelig", "PG", "79", "1983"});
  source.AddRow({"2", "Alien", "R", "117", "1979"});
  source.AddRow({"3", "Brazil", "R", "132", "1985"});
  return source;
}

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no error)";
}

}  // namespace

class GridPrinterTest : public QObject {
  Q_OBJECT

 private:
  TVectorRowSource source_ = Videos();
  std::unique_ptr<quarry::TMemoryEnvironment> env_;
  TgprFileMgrHost fileHost_;
  std::unique_ptr<QWidget> form_;
  TResultGrid* grid_ = nullptr;
  std::unique_ptr<TClientDataSet> cds_;
  TGprGridPrinter* printer_ = nullptr;
  std::unique_ptr<TFakeUi> ui_;
  std::function<void(TFakeUi&)> setUpUi_;

  TgprFileMgrConfig FileConfig() {
    TgprFileMgrConfig config;
    config.ProgramPath = "/prog/Pellomar";
    config.ConfigDirectory = "/config";
    config.MakeDirectories = [this](const std::string& directory, std::string&) {
      env_->MakeDirectory(directory);
      return true;
    };
    return config;
  }
  void WriteSettings(const std::string& text) {
    env_->OpenFile("/prog/Pellomar.PXT", quarry::TOpenOptions{.create = true})->WriteAt(0, text.data(), text.size());
  }
  // Runs Print with a fresh double (ui_), set up by setUpUi_; the double records what the
  // request held when the window was filled.
  int RunPrint() {
    printer_->SetRequestUiFactory([this](TgprPrintRequest& request) {
      ui_ = std::make_unique<TFakeUi>(request);
      ui_->OnFill = [ui = ui_.get()](TgprPrintRequest& r) {
        ui->Seen = r.ObjInfo();
        ui->SeenSettings = r.Settings();
        ui->SeenNotes = r.LoadResult().Notes;
      };
      if (setUpUi_) setUpUi_(*ui_);
      return std::make_unique<TForwardingUi>(*ui_);
    });
    return printer_->Print();
  }

 private slots:
  void init() {
    env_ = std::make_unique<quarry::TMemoryEnvironment>();
    env_->MakeDirectory("/prog");
    env_->MakeDirectory("/config");
    cds_ = std::make_unique<TClientDataSet>();
    cds_->SetSource(&source_);
    cds_->Open();
    form_ = std::make_unique<QWidget>();
    form_->setObjectName("fMain");
    grid_ = new TResultGrid(form_.get());
    grid_->setObjectName("grdcds");
    grid_->SetDataSet(cds_.get());
    grid_->SetColumns(CatalogueGridColumns());
    printer_ = new TGprGridPrinter(form_.get(), *env_, fileHost_, FileConfig());
    printer_->setObjectName("GprGridPrinter1");
    printer_->SetDefaultPrinterCheck([] { return true; });
    printer_->SetReportId("(434.854)");
    setUpUi_ = nullptr;
    ui_.reset();
  }
  void cleanup() {
    form_.reset();
    cds_.reset();
    env_.reset();
  }

  void propertiesAndTheirDefaults() {
    TGprGridPrinter bare(nullptr, *env_, fileHost_, FileConfig());
    QVERIFY(!bare.ObjectToPrint().IsAssigned());
    QCOMPARE(bare.DialogTitle(), std::string());
    QCOMPARE(bare.UserName(), std::string());
    QCOMPARE(bare.ReportSettingsFileName(), std::string());
    QCOMPARE(bare.Version(), std::string("1.58g CS"));
    bare.SetVersion("2.0");
    QCOMPARE(bare.Version(), std::string("1.58g CS"));
    QVERIFY(!bare.Events().AfterOptionsLoaded && !bare.Events().OnFilterRecord && !bare.Events().OnFieldEdit);
    QCOMPARE(bare.ComponentName(), std::string("TGprGridPrinter"));
    bare.SetStreaming(true);
    QCOMPARE(bare.ReportId(), std::string());  // no new id while streaming
    bare.SetUserName("Anna-Lena 2");
    QCOMPARE(bare.UserName(), std::string("AnnaLena"));
  }

  void reportIdSyntax() {
    QCOMPARE(ErrorOf([&] { printer_->SetReportId("Films (43.854)"); }),
             kSetup +
                 "TGprGridPrinter.ReportId \"Films (43.854)\" is invalid.\rReportId syntax must be of "
                 "\"OptionalText (nnn.mmm)\" where n and m are 0..9");
    QCOMPARE(ErrorOf([&] { printer_->SetReportId("434.854"); }).substr(0, 50),
             (kSetup + "TGprGridPrinter.ReportId \"434.854\" is invalid.").substr(0, 50));
    QCOMPARE(printer_->ReportId(), std::string("(434.854)"));  // unchanged
    printer_->SetReportId("Films by year (001.002)");
    QCOMPARE(printer_->ReportId(), std::string("Films by year (001.002)"));
    printer_->SetStreaming(true);
    printer_->SetReportId("anything");
    QCOMPARE(printer_->ReportId(), std::string("anything"));
  }

  void readingAnEmptyReportIdMakesANewOneWithItsSection() {
    TGprGridPrinter fresh(nullptr, *env_, fileHost_, FileConfig());
    const std::string id = fresh.ReportId();
    QVERIFY(IsValidReportId(id));
    QCOMPARE(fresh.ReportId(), id);
    QVERIFY(env_->Contents("/prog/Pellomar.PXT").find("[" + id + "]") != std::string::npos);
  }

  void objectToPrintDefaultsToTheHighestRankedNamedChild() {
    QWidget form;
    auto* list = new QListWidget(&form);
    list->setObjectName("lstbx");
    new TResultGrid(&form);  // no name: not considered
    auto* strings = new QTableWidget(&form);
    strings->setObjectName("sg");
    auto* grid = new TResultGrid(&form);
    grid->setObjectName("grd");
    auto* second = new TResultGrid(&form);
    second->setObjectName("grd2");
    TGprGridPrinter printer(&form, *env_, fileHost_, FileConfig());
    QCOMPARE(printer.ObjectToPrint().Window(), static_cast<QObject*>(grid));  // first of equal rank
    QCOMPARE(printer.ObjectToPrint().Kind(), okDBGrid);
    QCOMPARE(printer_->ObjectToPrint().Window(), static_cast<QObject*>(grid_));
  }

  void objectKinds() {
    QWidget form;
    struct TCase {
      QObject* Object;
      TgprObjectKind Kind;
    };
    const TCase cases[] = {{new TResultGrid(&form), okDBGrid},   {new QTableView(&form), okDataAwareGrid},
                           {new QListWidget(&form), okListBox},  {new QTableWidget(&form), okStringGrid},
                           {new QTreeWidget(&form), okListView}, {new QListView(&form), okListView},
                           {new QLabel(&form), okNotPrintable}};
    for (const TCase& c : cases) QCOMPARE(WindowKind(c.Object), c.Kind);
    TgprPrintedObject object;
    object.SetResultSet(cds_.get(), "");
    QCOMPARE(object.Kind(), okDataSet);
    QCOMPARE(object.Name(), std::string("TClientDataSet"));
  }

  void objectToPrintRefusesWhatItCannotPrintAndForgetsWhatIsDestroyed() {
    auto* label = new QLabel(form_.get());
    label->setObjectName("lblCount");
    QCOMPARE(ErrorOf([&] { printer_->SetObjectToPrint(label); }),
             kSetup +
                 "\r\rThe TGprGridPrinter.ObjectToPrint property is set to a component:\"fMain.lblCount\" that "
                 "cannot be printed by GridPrinter! Version 1.58g CS");
    QCOMPARE(printer_->ObjectToPrint().Window(), static_cast<QObject*>(grid_));
    delete grid_;
    grid_ = nullptr;
    QVERIFY(!printer_->ObjectToPrint().IsAssigned());

    auto other = std::make_unique<TClientDataSet>();
    printer_->SetObjectToPrint(other.get(), "cdsOther");
    QCOMPARE(printer_->ObjectToPrint().Kind(), okDataSet);
    other.reset();
    QVERIFY(!printer_->ObjectToPrint().IsAssigned());
  }

  void printRefusesAtOnceWithoutObjectOrReportId() {
    bool windowMade = false;
    printer_->SetRequestUiFactory([&](TgprPrintRequest& r) {
      windowMade = true;
      return std::make_unique<TFakeUi>(r);
    });
    printer_->SetObjectToPrint(static_cast<QObject*>(nullptr));
    QCOMPARE(ErrorOf([&] { printer_->Print(); }),
             kSetup + "GprGridPrinter1.ObjectToPrint not assigned. Report cannot continue");
    printer_->SetObjectToPrint(grid_);
    printer_->SetStreaming(true);
    printer_->SetReportId("   ");
    QCOMPARE(ErrorOf([&] { printer_->Print(); }), kSetup + "GprGridPrinter1.ReportId is blank. Report cannot continue");
    printer_->SetReportId("(434.854)");
    printer_->SetDefaultPrinterCheck([] { return false; });
    QCOMPARE(ErrorOf([&] { printer_->Print(); }), kSetup + "The system does not have a Default Printer assigned");
    QVERIFY(!windowMade);
  }

  void startUpLoadsTheSettingsBuildsTheColumnsAndDisplaysTheWindow() {
    WriteSettings("[(434.854)]\r\nPanelsAcrossPage=2\r\nHideColumns=Length\r\nBogus\r\n");
    printer_->SetDialogTitle("Films");
    int afterLoaded = 0;
    printer_->SetAfterOptionsLoaded([&](TgprReportSettings& s) {
      ++afterLoaded;
      QCOMPARE(s.PanelsAcrossPage, 2);
      s.ReportId = "changed (000.000)";  // put back afterwards
      s.LinesPerpage = 50;
      printer_->SetOnFilterRecord([](quarry::TClientDataSet*, int, bool&, bool&) {});  // copied after this
    });
    cds_->SetRecNo(3);
    grid_->selectionModel()->select(grid_->model()->index(1, 1),
                                    QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QCOMPARE(RunPrint(), 0);
    QCOMPARE(afterLoaded, 1);
    QCOMPARE(ui_->SeenSettings.ReportId, std::string("(434.854)"));
    QCOMPARE(ui_->SeenSettings.DialogTitle, std::string("Films"));
    QCOMPARE(ui_->SeenSettings.PanelsAcrossPage, 2);
    QCOMPARE(ui_->SeenSettings.LinesPerpage, 50);
    QCOMPARE(ui_->SeenSettings.NumFixedCols, 1);  // the line-number column
    QVERIFY(ui_->SeenSettings.NewRpt);            // cleared only at the end
    QCOMPARE(ui_->Seen.Kind, okDBGrid);
    QCOMPARE(ui_->Seen.ObjectName, std::string("grdcds"));
    QCOMPARE(ui_->Seen.ComponentName, std::string("GprGridPrinter1"));
    QCOMPARE(ui_->Seen.DataSet, cds_.get());
    QCOMPARE(ui_->Seen.RowCount, 3);
    QCOMPARE(ui_->Seen.SelectedRows, std::vector<int>{2});
    QCOMPARE(ui_->Seen.SavedRecNo, 3);
    QCOMPARE(ui_->SeenNotes.size(), size_t{1});  // the line "Bogus"
    QVERIFY(static_cast<bool>(ui_->Seen.Events.OnFilterRecord));
    const TColsList& columns = ui_->Seen.Columns;
    QCOMPARE(columns.Count(), 6);  // ~Line# and the five grid columns
    QCOMPARE(columns[0].Name, std::string("~Line#"));
    QCOMPARE(columns[2].Name, std::string("Title"));
    QCOMPARE(columns[2].GridWidthPixels, 340);
    QVERIFY(columns[2].GridWidthChars > 0);
    QCOMPARE(columns[1].Name, std::string("VideoID"));  // hidden in the grid, printed all the same
    QCOMPARE(columns[4].Title, std::string("Rating"));
    QVERIFY(!columns.Find("Length")->Visible);
  }

  void startUpDecidesBetweenWindowPreviewAndPrinting() {
    struct TCase {
      const char* Settings;
      bool CtrlShift;
      bool Valid;
      TgprPreviewOutcome Preview;
      std::vector<std::string> Calls;
      int Result;
    };
    const TCase cases[] = {
        {"", false, true, {}, {"FillAndValidate", "BringOnScreen"}, 0},
        {"DisplayReportOptionsWin=0\r\nPreviewFirst=0\r\n",
         false,
         true,
         {},
         {"FillAndValidate", "StartPrintRun", "PostClose"},
         1},
        {"DisplayReportOptionsWin=0\r\nPreviewFirst=0\r\n", true, true, {}, {"FillAndValidate", "BringOnScreen"}, 0},
        {"DisplayReportOptionsWin=0\r\nPreviewFirst=0\r\n", false, false, {}, {"FillAndValidate", "BringOnScreen"}, 0},
        {"DisplayReportOptionsWin=0\r\n",
         false,
         true,
         {false, true},
         {"FillAndValidate", "PreviewFirst", "PostClose"},
         0},
        {"DisplayReportOptionsWin=0\r\n",
         false,
         true,
         {false, false},
         {"FillAndValidate", "PreviewFirst", "StartPrintRun", "PostClose"},
         1},
        {"DisplayReportOptionsWin=0\r\n",
         false,
         true,
         {true, false},
         {"FillAndValidate", "PreviewFirst", "BringOnScreen"},
         0},
        {"DisplayReportOptionsWin=0\r\nOutputDest=2\r\n",
         false,
         true,
         {},
         {"FillAndValidate", "StartPrintRun", "PostClose"},
         1},
    };
    for (const TCase& c : cases) {
      WriteSettings(std::string("[(434.854)]\r\n") + c.Settings);
      setUpUi_ = [&](TFakeUi& ui) {
        ui.CtrlShift = c.CtrlShift;
        ui.Valid = c.Valid;
        ui.Preview = c.Preview;
      };
      const int result = RunPrint();
      QCOMPARE(ui_->Calls, c.Calls);
      QCOMPARE(result, c.Result);
      QVERIFY(ui_->Warnings.empty());
    }
    QCOMPARE(printer_->PagesPrinted(), 4);
  }

  void theOptionsPasswordGuardsTheWindow() {
    WriteSettings("[(434.854)]\r\nRptOptPW=Secret\r\n");
    printer_->SetDialogTitle("Films");
    setUpUi_ = [](TFakeUi& ui) { ui.Passwords.Entries = {"x", "SECRET"}; };
    RunPrint();
    QCOMPARE(ui_->Calls.back(), std::string("BringOnScreen"));
    QCOMPARE(ui_->Calls[1], std::string("OpenPasswordEntry Enter Report Options Password:"));
    QCOMPARE(ui_->Passwords.Events, (std::vector<std::string>{"ask", "incorrect", "ask"}));

    setUpUi_ = [](TFakeUi& ui) { ui.Passwords.Entries = {"a", "b", "c", "secret"}; };
    QCOMPARE(RunPrint(), 0);
    QCOMPARE(ui_->Passwords.Events,
             (std::vector<std::string>{"ask", "incorrect", "ask", "incorrect", "ask", "too many"}));
    QCOMPARE(ui_->Warnings,
             (std::vector<std::string>{kSetup + "Report Options Password Violation",
                                       kSetup + "Due to errors, the report: \"Films\" cannot be printed"}));
    QCOMPARE(ui_->Calls.back(), std::string("PostClose"));
  }

  void setupErrorsOfTheStartUpAreShownAndEndTheRequest() {
    struct TCase {
      const char* Name;
      std::function<void()> Arrange;
      std::string Message;
    };
    auto listBox = new QListWidget(form_.get());
    listBox->setObjectName("lstbxNames");
    auto empty = std::make_shared<TVectorRowSource>(Videos().FieldDefs());
    const TCase cases[] = {
        {"closed dataset", [&] { cds_->Close(); },
         kSetup + "grdcds uses dataset TClientDataSet  and this dataset is InActive. The dataset must be active."},
        {"no dataset", [&] { grid_->SetDataSet(nullptr); }, kSetup + "Object:grdcds\r\rDataSource property is missing"},
        {"list box", [&] { printer_->SetObjectToPrint(listBox); },
         kSetup + "lstbxNames is a list box, which this version of GridPrinter does not print. Print a result grid or "
                  "a dataset instead."},
        {"graphic style", [&] { WriteSettings("[(434.854)]\r\nOutputQuality=2\r\n"); },
         kSetup + "Cannot Load GridPrinter! Styles"},
        {"empty grid",
         [&] {
           WriteSettings("[(434.854)]\r\nioExceptionOnEmpty=1\r\n");
           cds_->Close();
           cds_->SetSource(empty.get());
           cds_->Open();
         },
         kSetup + "grdcds is empty and GprGridPrinter1 has nothing to print."},
    };
    for (const TCase& c : cases) {
      init();
      listBox = new QListWidget(form_.get());
      listBox->setObjectName("lstbxNames");
      c.Arrange();
      QCOMPARE(RunPrint(), 0);
      QCOMPARE(ui_->Warnings,
               (std::vector<std::string>{c.Message, kSetup + "Due to errors, the report cannot be printed"}));
      QCOMPARE(ui_->Calls.back(), std::string("PostClose"));
    }
  }

  void anEmptyGridWithoutTheOptionIsNoError() {
    TVectorRowSource empty(Videos().FieldDefs());
    cds_->Close();
    cds_->SetSource(&empty);
    cds_->Open();
    RunPrint();
    QVERIFY(ui_->Warnings.empty());
  }

  void aUserTerminatedReportIsShownAlone() {
    setUpUi_ = [](TFakeUi& ui) { ui.OnFill = [](TgprPrintRequest&) { throw eGprUserTermRpt(); }; };
    QCOMPARE(RunPrint(), 0);
    QCOMPARE(ui_->Warnings, std::vector<std::string>{"GridPrinter! User Terminated Report"});
  }

  void theResultSetReturnsToItsRecordWhenTheRequestEnds() {
    cds_->SetRecNo(3);
    setUpUi_ = [this](TFakeUi& ui) { ui.OnFill = [this](TgprPrintRequest&) { cds_->First(); }; };
    RunPrint();
    QCOMPARE(cds_->RecNo(), 3);
  }

  void aResultSetPrintedOnItsOwn() {
    printer_->SetObjectToPrint(cds_.get(), "cds");
    WriteSettings("[(434.854)]\r\nCountNumRcds=0\r\nRcdEstimate=5\r\n");  // 5 is out of range: the default
    RunPrint();
    QCOMPARE(ui_->Seen.Kind, okDataSet);
    QCOMPARE(ui_->Seen.Columns.Count(), 6);
    QCOMPARE(ui_->Seen.RowCount, 100000);
    QCOMPARE(ui_->SeenNotes.size(), size_t{1});
  }
};

QTEST_MAIN(GridPrinterTest)
#include "grid_printer_qtest.moc"
