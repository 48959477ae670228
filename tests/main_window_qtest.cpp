// The main window against a fake catalogue: layout and initial state, the rules that couple
// the criteria controls, the statements a search sends, validation that leaves the previous
// result alone, the count label, the delayed panel refresh and the stored window position.
#include "app/catalogue_access.h"
#include "app/current_record_panel.h"
#include "app/font_substitutes.h"
#include "app/main_window.h"
#include "app/record_navigator.h"
#include "app/search_statement.h"
#include "engine/platform/profile_file.h"
#include "grid/result_grid.h"
#include "print/options_request_ui.h"
#include "print/options_window.h"
#include "tests/fake_catalogue.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <stdexcept>

namespace {

// The grid's columns, in display order.
enum TGridCol { ColVideoId, ColTitle, ColYear, ColIndustryRating, ColLength };

const std::string kDwayne = "Dwayne \"The Rock\" Johnson";

// A catalogue of the years 1985 to 1988, three cast members and two directors.
std::unique_ptr<TFakeCatalogue> SmallCatalogue() {
  auto catalogue = std::make_unique<TFakeCatalogue>();
  catalogue->answers["SELECT YEAR FROM VIDEOS ORDER BY YEAR"] = {"1985"};
  catalogue->answers["SELECT YEAR FROM VIDEOS ORDER BY YEAR DESC"] = {"1988"};
  catalogue->answers["SELECT CASTMEMBER FROM CASTMEMBERS ORDER BY CASTMEMBER"] = {"Ann", "Bob", kDwayne};
  catalogue->answers["SELECT DIRECTOR FROM DIRECTORS ORDER BY DIRECTOR"] = {"Cy", "Di"};
  catalogue->answers[CastMemberIdStatement("Ann")] = {"11"};
  catalogue->answers[CastMemberIdStatement("Bob")] = {"12"};
  catalogue->answers[CastMemberIdStatement(kDwayne)] = {"13"};
  catalogue->answers[DirectorIdStatement("Cy")] = {"21"};
  catalogue->answers[DirectorIdStatement("Di")] = {"22"};
  for (int i = 0; i < 10; ++i) {
    catalogue->searchRows.push_back({100 + i, "Title " + std::to_string(i), "PG", "90", "1986"});
  }
  return catalogue;
}

// A window over a fake catalogue, with what it told the user.
struct TWindowUnderTest {
  TFakeCatalogue* catalogue = nullptr;  // owned by the window
  QStringList information;
  int busyAtInformation = 0;  // information boxes shown with the busy cursor still on
  QStringList errors;
  int beeps = 0;
  std::unique_ptr<QTemporaryDir> dir;
  std::unique_ptr<TfMain> window;

  QString SettingsFile() const { return dir->filePath(QStringLiteral("Pellomar.INI")); }

  template <typename T>
  T* Find(const char* name) const {
    T* child = window->findChild<T*>(QString::fromLatin1(name));
    if (!child) qFatal("no control %s", name);
    return child;
  }
};

std::unique_ptr<TWindowUnderTest> MakeWindow(std::unique_ptr<TCatalogueAccess> catalogue,
                                             const QByteArray& settings = {}) {
  auto w = std::make_unique<TWindowUnderTest>();
  w->dir = std::make_unique<QTemporaryDir>();
  if (!settings.isEmpty()) {
    QFile file(w->SettingsFile());
    if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write settings");
    file.write(settings);
  }
  w->catalogue = dynamic_cast<TFakeCatalogue*>(catalogue.get());
  TUserNotifier notifier;
  auto* raw = w.get();
  notifier.information = [raw](QWidget*, const QString& text) {
    raw->information << text;
    if (QApplication::overrideCursor() != nullptr) ++raw->busyAtInformation;
  };
  notifier.errorReport = [raw](QWidget*, const QString& text) { raw->errors << text; };
  notifier.beep = [raw] { ++raw->beeps; };
  w->window = std::make_unique<TfMain>(std::move(catalogue), notifier, w->SettingsFile().toStdString());
  return w;
}

std::unique_ptr<TWindowUnderTest> MakeShownWindow() {
  auto w = MakeWindow(SmallCatalogue());
  w->window->show();
  return w;
}

// Rows delivered out of title order, with two videos of the same title.
std::vector<TVideoRow> UnsortedRows() {
  return {{301, "Zulu", "R", "138", "1964"},
          {302, "alien", "R", "117", "1979"},
          {303, "Heat", "R", "170", "1995"},
          {304, "Heat", "NR", "92", "1972"},
          {305, "Mad Max", "R", "88", "1979"}};
}

// The cells of the grid's visible columns, row by row, as "Title|Year|Rating|Running time".
QStringList GridRows(const TfMain& window) {
  const QAbstractItemModel* model = window.grdcds->model();
  QStringList rows;
  for (int row = 0; row < model->rowCount(); ++row) {
    QStringList cells;
    for (int column : {ColTitle, ColYear, ColIndustryRating, ColLength}) {
      cells << model->index(row, column).data().toString();
    }
    rows << cells.join('|');
  }
  return rows;
}

// The VideoIDs of the result set in its current order.
std::vector<int> ResultIds(const TfMain& window) {
  std::vector<int> ids;
  for (int position = 0; position < window.cds.RecordCount(); ++position) {
    ids.push_back(window.cds.AsIntegerAt(position, 0));
  }
  return ids;
}

void ClickTitle(TfMain& window, int column, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QHeaderView* title = window.grdcds->horizontalHeader();
  const QPoint at(title->sectionViewportPosition(column) + title->sectionSize(column) / 2, title->height() / 2);
  QTest::mouseClick(title->viewport(), Qt::LeftButton, modifiers, at);
}

void SetChecked(QCheckBox* box, bool checked) {
  if (box->isChecked() != checked) box->click();
}

void TypeInto(QComboBox* box, const QString& text) {
  box->lineEdit()->selectAll();
  QTest::keyClick(box, Qt::Key_Backspace);
  QTest::keyClicks(box, text);
}

// Puts the text into a year box as the user would, the coupling rules run, and selects it.
void SelectYearText(QComboBox* box, const QString& text) {
  TypeInto(box, text);
  box->lineEdit()->selectAll();
}

// Runs one user step of a small script: "cast" / "director" pick the next name of the list;
// "from+", "from-", "to+", "to-" move a year box one item; "from=TEXT", "to=TEXT" type a
// year; "allCast+", "allCast-" and the like set a show-all box by clicking it; "rating3-"
// unchecks the fourth rating box (counted from 0).
void RunStep(TfMain& window, const QString& step) {
  if (step == "cast") return QTest::keyClick(window.cmbxCastMembers, Qt::Key_Down);
  if (step == "director") return QTest::keyClick(window.cmbxDirectors, Qt::Key_Down);
  if (step == "from+") return QTest::keyClick(window.cmbxFrom, Qt::Key_Down);
  if (step == "from-") return QTest::keyClick(window.cmbxFrom, Qt::Key_Up);
  if (step == "to+") return QTest::keyClick(window.cmbxTo, Qt::Key_Down);
  if (step == "to-") return QTest::keyClick(window.cmbxTo, Qt::Key_Up);
  if (step.startsWith("from=")) return TypeInto(window.cmbxFrom, step.mid(5));
  if (step.startsWith("to=")) return TypeInto(window.cmbxTo, step.mid(3));
  const bool on = step.endsWith('+');
  const QString name = step.left(step.size() - 1);
  if (name == "allCast") return SetChecked(window.ckbxAllCastMembers, on);
  if (name == "allDirectors") return SetChecked(window.ckbxAllDirectors, on);
  if (name == "allYears") return SetChecked(window.ckbxAllYears, on);
  if (name == "allRatings") return SetChecked(window.ckbxAllRatings, on);
  if (name.startsWith("rating")) return SetChecked(window.ratingBoxes[name.mid(6).toUInt()], on);
  qFatal("unknown step %s", qPrintable(step));
}

QString Flags(std::initializer_list<const QCheckBox*> boxes) {
  QString flags;
  for (const QCheckBox* box : boxes) flags += box->isChecked() ? '1' : '0';
  return flags;
}

QString RatingFlags(const TfMain& window) {
  QString flags;
  for (const QCheckBox* box : window.ratingBoxes) flags += box->isChecked() ? '1' : '0';
  return flags;
}

// The widget the Tab key moves to from w: the next in the focus chain that takes Tab focus
// itself (parts of a compound control pass it to the control).
QWidget* NextTabStop(QWidget* w) {
  for (QWidget* next = w->nextInFocusChain(); next != w; next = next->nextInFocusChain()) {
    if ((next->focusPolicy() & Qt::TabFocus) && !next->focusProxy() && next->isVisibleTo(w->window())) {
      return next;
    }
  }
  return nullptr;
}

QString Crlf(std::initializer_list<const char*> lines) {
  QStringList all;
  for (const char* line : lines) all << QString::fromUtf8(line);
  return all.join("\r\n");
}

// How far apart two colours are: the largest difference of their channels.
int ColourDistance(const QColor& a, const QColor& b) {
  return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

// Where a title cell's triangle lies, as drawn: R the cell's right edge, m from its height.
struct TTriangleBox {
  int right;
  int base;
  int apex;
  int left() const { return right - 10; }
};

TTriangleBox TriangleOf(const QHeaderView* title, int column, TArrowType arrow) {
  const int right = title->sectionViewportPosition(column) + title->sectionSize(column);
  const int m = title->height() / 2 - 7;
  return {right, arrow == atDown ? m + 4 : m + 10, arrow == atDown ? m + 10 : m + 4};
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { InstallFontSubstitutions(); }

  void layoutAndInitialState();
  void windowsFontsAreSubstituted();
  void catalogueUnavailable();
  void listsAreFilled();
  void couplingRules_data();
  void couplingRules();
  void yearKeys();
  void yearPaste_data();
  void yearPaste();
  void enteredYearBoxIsLime();
  void searchStatements_data();
  void searchStatements();
  void failedChecksKeepThePreviousResult_data();
  void failedChecksKeepThePreviousResult();
  void failedSearchIsReported();
  void unreadableResultIsReported();
  void countLabel_data();
  void countLabel();
  void panelRefreshWaitsForTheLastScroll();
  void searchShowsTheRowsAsDelivered();
  void titleClicksSortTheResult();
  void sortTrianglesReadOnTheTitleRow_data();
  void sortTrianglesReadOnTheTitleRow();
  void navigatorButtonsScrollTheResult();
  void windowPosition();
  void bottomButtons();
  void printGridOpensTheReportOptions();
  void picture();
};

void MainWindowTest::layoutAndInitialState() {
  auto w = MakeShownWindow();
  TfMain& window = *w->window;
  QCOMPARE(window.windowTitle(), QStringLiteral("Pellomar"));
  QCOMPARE(window.size(), QSize(560, 640));
  QCOMPARE(window.minimumSize(), QSize(560, 640));
  QCOMPARE(window.maximumSize(), QSize(560, 640));
  QVERIFY(!(window.windowFlags() & Qt::WindowMinimizeButtonHint));
  QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
  QVERIFY(window.windowFlags() & Qt::WindowSystemMenuHint);

  const std::pair<const char*, const char*> captions[] = {
      {"ckbxAllCastMembers", "Show All &Actors/Actresses"},
      {"ckbxAllDirectors", "Show All &Directors"},
      {"ckbxAllYears", "Show All &Years"},
      {"ckbxG", "G"},
      {"ckbxPG", "PG"},
      {"ckbxPG13", "PG-13"},
      {"ckbxNR", "NR"},
      {"ckbxR", "R"},
      {"ckbxNC17", "NC17"},
      {"ckbxAllRatings", "Show All &Ratings"},
  };
  for (const auto& [name, caption] : captions) {
    auto* box = w->Find<QCheckBox>(name);
    QCOMPARE(box->text(), QString::fromUtf8(caption));
    QVERIFY2(box->isChecked(), name);
  }
  // Tag 5 marks exactly the six rating boxes.
  int tagged = 0;
  for (QCheckBox* box : window.findChildren<QCheckBox*>()) tagged += box->property("tag").toInt() == 5;
  QCOMPARE(tagged, 6);
  for (QCheckBox* box : window.ratingBoxes) QCOMPARE(box->property("tag").toInt(), 5);

  for (const char* name : {"lblCastMembers", "lblDirectors", "lblBetween", "lblAnd", "lblRatings"}) {
    auto* label = w->Find<QLabel>(name);
    QVERIFY(label->font().bold());
    QCOMPARE(label->font().pixelSize(), 13);
    QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::white));
  }
  QCOMPARE(w->Find<QLabel>("lblCastMembers")->text(), QStringLiteral("Actor or Actress"));
  QCOMPARE(w->Find<QLabel>("lblRatings")->text(), QStringLiteral("Ratings"));
  QCOMPARE(window.pnlQuery->palette().color(QPalette::Window), QColor(0, 128, 128));
  QCOMPARE(window.pnlGrid->palette().color(QPalette::Window), QColor(Qt::black));
  QCOMPARE(window.btnShowResults->text(), QStringLiteral("&Search"));
  QCOMPARE(window.btnAbout->text(), QStringLiteral("&More"));
  QCOMPARE(window.btnPrint->text(), QStringLiteral("&Print Grid"));
  QVERIFY(!window.cmbxCastMembers->isEditable());
  QVERIFY(!window.cmbxDirectors->isEditable());
  QCOMPARE(window.cmbxFrom->lineEdit()->maxLength(), 4);
  QCOMPARE(window.cmbxTo->lineEdit()->maxLength(), 4);

  QCOMPARE(window.lblResultsCount->text(), QStringLiteral("0 records (Select criteria above and Search)"));
  QCOMPARE(window.lblResultsCount->palette().color(QPalette::WindowText), QColor(255, 255, 0));

  QVERIFY(window.grdcds->isColumnHidden(ColVideoId));
  const std::pair<int, int> widths[] = {{ColTitle, 340}, {ColYear, 40}, {ColIndustryRating, 40}, {ColLength, 80}};
  for (const auto& [column, width] : widths) QCOMPARE(window.grdcds->columnWidth(column), width);
  QCOMPARE(window.grdcds->model()->headerData(ColIndustryRating, Qt::Horizontal).toString(), QStringLiteral("Rating"));
  QCOMPARE(window.grdcds->model()->headerData(ColLength, Qt::Horizontal).toString(), QStringLiteral("Running time"));
  for (int column : {ColTitle, ColYear, ColIndustryRating, ColLength}) {
    const auto alignment =
        window.grdcds->model()->headerData(column, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>();
    QVERIFY(alignment & Qt::AlignHCenter);
  }
  QCOMPARE(window.grdcds->model()->headerData(ColTitle, Qt::Horizontal).toString(), QStringLiteral("Title"));
  QVERIFY(window.grdcds->TitleSort());
  QVERIFY(window.grdcds->IndicatorShown());
  QCOMPARE(window.cds.FieldDefs().size(), std::size_t(5));
  QVERIFY(!window.cds.Active());  // no result before the first search
  QCOMPARE(window.grdcds->focusPolicy() & Qt::TabFocus, 0);
  QCOMPARE(window.grdcds->editTriggers(), QAbstractItemView::NoEditTriggers);
  for (const char* name : {"nbFirst", "nbPrior", "nbNext", "nbLast"}) {
    QVERIFY2(!w->Find<QWidget>(name)->toolTip().isEmpty(), name);
  }

  // Tab order follows the criteria table, then the notes and the buttons.
  QWidget* expected[] = {window.cmbxCastMembers, window.ckbxAllCastMembers,
                         window.cmbxDirectors,   window.ckbxAllDirectors,
                         window.cmbxFrom,        window.cmbxTo,
                         window.ckbxAllYears,    window.ratingBoxes[0],
                         window.ratingBoxes[1],  window.ratingBoxes[2],
                         window.ratingBoxes[3],  window.ratingBoxes[4],
                         window.ratingBoxes[5],  window.ckbxAllRatings,
                         window.btnShowResults,  window.pnlCurrentRecord->mmoUserComments,
                         window.btnHelp,         window.btnAbout,
                         window.btnPrint,        window.btnClose};
  for (std::size_t i = 1; i < std::size(expected); ++i) {
    QCOMPARE(NextTabStop(expected[i - 1]), expected[i]);
  }
  QCOMPARE(window.focusWidget(), window.cmbxCastMembers);
}

void MainWindowTest::windowsFontsAreSubstituted() {
  if (!QFontDatabase::families().contains(QStringLiteral("Liberation Sans"))) {
    QSKIP("Liberation fonts are not installed");
  }
  auto w = MakeWindow(SmallCatalogue());
  QCOMPARE(w->window->font().family(), QStringLiteral("MS Sans Serif"));
  QCOMPARE(w->window->font().pixelSize(), 11);
  QCOMPARE(QFontInfo(w->window->font()).family(), QStringLiteral("Liberation Sans"));
  QCOMPARE(QFontInfo(QFont(QStringLiteral("Courier New"))).family(), QStringLiteral("Liberation Mono"));
  QCOMPARE(QFontInfo(QFont(QStringLiteral("Arial"))).family(), QStringLiteral("Liberation Sans"));
}

void MainWindowTest::catalogueUnavailable() {
  auto w = MakeWindow(MakeUnavailableCatalogue());
  QCOMPARE(w->errors.size(), 1);  // FillYears at creation
  QVERIFY(w->errors[0].contains("not available"));
  w->window->show();
  QVERIFY(w->window->isVisible());
  QCOMPARE(w->errors.size(), 2);  // the name lists when shown
  QCOMPARE(w->window->cmbxFrom->count(), 0);
  QCOMPARE(w->window->cmbxTo->count(), 0);
  QCOMPARE(w->window->cmbxCastMembers->count(), 0);

  w->window->btnShowResults->click();
  QCOMPARE(w->errors.size(), 3);
  QVERIFY(w->information.isEmpty());
  QCOMPARE(w->window->lblResultsCount->text(), QStringLiteral("0 records (Select criteria above and Search)"));

  // Checking "Show All Years" with empty year lists keeps it checked.
  SetChecked(w->window->ckbxAllYears, false);
  SetChecked(w->window->ckbxAllYears, true);
  QVERIFY(w->window->ckbxAllYears->isChecked());
}

void MainWindowTest::listsAreFilled() {
  auto w = MakeWindow(SmallCatalogue());
  TfMain& window = *w->window;
  QCOMPARE(window.cmbxFrom->count(), 4);
  QCOMPARE(window.cmbxFrom->itemText(0), QStringLiteral("1985"));
  QCOMPARE(window.cmbxFrom->itemText(3), QStringLiteral("1988"));
  QCOMPARE(window.cmbxFrom->currentText(), QStringLiteral("1985"));
  QCOMPARE(window.cmbxTo->currentText(), QStringLiteral("1988"));
  QCOMPARE(window.cmbxCastMembers->count(), 0);  // names come when the window is shown

  window.show();
  QCOMPARE(window.cmbxCastMembers->count(), 3);
  QCOMPARE(window.cmbxDirectors->count(), 2);
  QCOMPARE(window.cmbxCastMembers->currentText(), QString());
  QCOMPARE(window.cmbxDirectors->currentText(), QString());
  QVERIFY(window.ckbxAllCastMembers->isChecked());
  QVERIFY(w->errors.isEmpty());

  const QColor colour = window.palette().color(QPalette::Window);
  QVERIFY(colour.red() <= 254 && colour.green() <= 254 && colour.blue() <= 254);
}

void MainWindowTest::couplingRules_data() {
  QTest::addColumn<QStringList>("steps");
  QTest::addColumn<QString>("showAll");  // cast, directors, years, ratings
  QTest::addColumn<QString>("castText");
  QTest::addColumn<QString>("directorText");
  QTest::addColumn<QString>("years");  // from-to
  QTest::addColumn<QString>("ratings");

  QTest::newRow("initial") << QStringList{} << "1111"
                           << ""
                           << ""
                           << "1985-1988"
                           << "111111";
  QTest::newRow("choosing a cast member unchecks its box") << QStringList{"cast"} << "0111"
                                                           << "Ann"
                                                           << ""
                                                           << "1985-1988"
                                                           << "111111";
  QTest::newRow("checking the box clears the name") << QStringList{"cast", "cast", "allCast+"} << "1111"
                                                    << ""
                                                    << ""
                                                    << "1985-1988"
                                                    << "111111";
  QTest::newRow("unchecking the box keeps the name empty") << QStringList{"allCast-"} << "0111"
                                                           << ""
                                                           << ""
                                                           << "1985-1988"
                                                           << "111111";
  QTest::newRow("choosing a director unchecks its box") << QStringList{"director", "director"} << "1011"
                                                        << ""
                                                        << "Di"
                                                        << "1985-1988"
                                                        << "111111";
  QTest::newRow("director box checked again") << QStringList{"director", "allDirectors+"} << "1111"
                                              << ""
                                              << ""
                                              << "1985-1988"
                                              << "111111";
  QTest::newRow("from year moved") << QStringList{"from+"} << "1101"
                                   << ""
                                   << ""
                                   << "1986-1988"
                                   << "111111";
  QTest::newRow("to year moved") << QStringList{"to-"} << "1101"
                                 << ""
                                 << ""
                                 << "1985-1987"
                                 << "111111";
  QTest::newRow("years moved back to the full span") << QStringList{"from+", "to-", "from-", "to+"} << "1111"
                                                     << ""
                                                     << ""
                                                     << "1985-1988"
                                                     << "111111";
  QTest::newRow("a typed year unchecks") << QStringList{"from=19"} << "1101"
                                         << ""
                                         << ""
                                         << "19-1988"
                                         << "111111";
  QTest::newRow("typing the first year again checks") << QStringList{"from=19", "from=1985"} << "1111"
                                                      << ""
                                                      << ""
                                                      << "1985-1988"
                                                      << "111111";
  QTest::newRow("checking show-all years restores both") << QStringList{"from=85", "to-", "allYears+"} << "1111"
                                                         << ""
                                                         << ""
                                                         << "1985-1988"
                                                         << "111111";
  QTest::newRow("unchecking show-all years keeps the years") << QStringList{"allYears-"} << "1101"
                                                             << ""
                                                             << ""
                                                             << "1985-1988"
                                                             << "111111";
  QTest::newRow("unchecking a rating unchecks show-all ratings") << QStringList{"rating2-"} << "1110"
                                                                 << ""
                                                                 << ""
                                                                 << "1985-1988"
                                                                 << "110111";
  QTest::newRow("checking the rating again does not check show-all") << QStringList{"rating2-", "rating2+"} << "1110"
                                                                     << ""
                                                                     << ""
                                                                     << "1985-1988"
                                                                     << "111111";
  QTest::newRow("show-all ratings checks all six") << QStringList{"rating0-", "rating5-", "allRatings+"} << "1111"
                                                   << ""
                                                   << ""
                                                   << "1985-1988"
                                                   << "111111";
  QTest::newRow("unchecking show-all ratings leaves the six")
      << QStringList{"rating1-", "allRatings+", "allRatings-"} << "1110"
      << ""
      << ""
      << "1985-1988"
      << "111111";
}

void MainWindowTest::couplingRules() {
  QFETCH(QStringList, steps);
  auto w = MakeShownWindow();
  TfMain& window = *w->window;
  for (const QString& step : steps) RunStep(window, step);

  QTEST(Flags({window.ckbxAllCastMembers, window.ckbxAllDirectors, window.ckbxAllYears, window.ckbxAllRatings}),
        "showAll");
  QTEST(window.cmbxCastMembers->currentText(), "castText");
  QTEST(window.cmbxDirectors->currentText(), "directorText");
  QTEST(window.cmbxFrom->currentText() + "-" + window.cmbxTo->currentText(), "years");
  QTEST(RatingFlags(window), "ratings");
  QCOMPARE(w->beeps, 0);
}

void MainWindowTest::yearKeys() {
  auto w = MakeShownWindow();
  QComboBox* from = w->window->cmbxFrom;
  QLineEdit* edit = from->lineEdit();
  QCOMPARE(from->currentText(), QStringLiteral("1985"));

  // Anything but a digit is refused with a beep.
  const std::pair<Qt::Key, Qt::KeyboardModifiers> refused[] = {
      {Qt::Key_A, Qt::NoModifier},
      {Qt::Key_Minus, Qt::NoModifier},
      {Qt::Key_Space, Qt::NoModifier},
      {Qt::Key_QuoteDbl, Qt::ShiftModifier},
  };
  int beeps = 0;
  for (const auto& [key, modifiers] : refused) {
    QTest::keyClick(from, key, modifiers);
    QCOMPARE(w->beeps, ++beeps);
    QCOMPARE(from->currentText(), QStringLiteral("1985"));
  }

  // Enter does nothing; the editing commands work as in any edit; neither beeps.
  QTest::keyClick(from, Qt::Key_Return);
  QTest::keyClick(from, Qt::Key_Enter, Qt::KeypadModifier);
  QCOMPARE(from->currentText(), QStringLiteral("1985"));
  edit->deselect();
  QTest::keyClick(from, Qt::Key_A, Qt::ControlModifier);
  QCOMPARE(edit->selectedText(), QStringLiteral("1985"));
  QGuiApplication::clipboard()->clear();
  QTest::keyClick(from, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("1985"));
  QTest::keyClick(from, Qt::Key_X, Qt::ControlModifier);
  QCOMPARE(from->currentText(), QString());
  QTest::keyClick(from, Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(from->currentText(), QStringLiteral("1985"));
  QTest::keyClick(from, Qt::Key_Q, Qt::ControlModifier);  // no command of the edit: nothing
  QCOMPARE(from->currentText(), QStringLiteral("1985"));
  QCOMPARE(w->beeps, beeps);

  // Digits, backspace, delete and cursor keys type or edit without a beep.
  QTest::keyClick(from, Qt::Key_End);
  QTest::keyClick(from, Qt::Key_Backspace);
  QTest::keyClick(from, Qt::Key_Backspace);
  QTest::keyClicks(from, "79");
  QCOMPARE(from->currentText(), QStringLiteral("1979"));
  QTest::keyClick(from, Qt::Key_Home);
  QTest::keyClick(from, Qt::Key_Delete);
  QCOMPARE(from->currentText(), QStringLiteral("979"));
  QCOMPARE(w->beeps, beeps);
  QVERIFY(!w->window->ckbxAllYears->isChecked());
}

void MainWindowTest::yearPaste_data() {
  QTest::addColumn<QString>("clipboard");
  QTest::addColumn<QString>("text");  // the box's text after pasting over "1985"
  QTest::addColumn<bool>("beep");
  QTest::newRow("a year") << "1979"
                          << "1979" << false;
  QTest::newRow("a copied line") << " 1979\n"
                                 << "1979" << false;
  QTest::newRow("more digits than fit") << "198612"
                                        << "1986" << false;
  QTest::newRow("letters among digits") << "12ab3"
                                        << "123" << true;
  QTest::newRow("no digit") << "\"; x"
                            << "1985" << true;
}

// Pasting, by either key or from the edit's menu, is held to the digits-only rule.
void MainWindowTest::yearPaste() {
  QFETCH(QString, clipboard);
  QFETCH(QString, text);
  QFETCH(bool, beep);
  auto w = MakeShownWindow();
  QComboBox* from = w->window->cmbxFrom;
  QLineEdit* edit = from->lineEdit();
  QGuiApplication::clipboard()->setText(clipboard);

  const std::function<void()> pastes[] = {
      [from] { QTest::keyClick(from, Qt::Key_V, Qt::ControlModifier); },
      [from] { QTest::keyClick(from, Qt::Key_Insert, Qt::ShiftModifier); },
      [edit] {
        bool found = false;
        // The menu runs its own loop: its Paste is chosen once it is open.
        QTimer::singleShot(0, [&found] {
          auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
          if (menu == nullptr) return;
          for (QAction* action : menu->actions()) {
            if (action->text().startsWith(QLatin1String("&Paste")) && action->isEnabled()) {
              found = true;
              action->trigger();
            }
          }
          menu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(4, 4), edit->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(edit, &event);
        QVERIFY(found);
      },
  };
  int beeps = 0;
  for (const auto& paste : pastes) {
    SelectYearText(from, QStringLiteral("1985"));
    paste();
    QCOMPARE(from->currentText(), text);
    if (beep) ++beeps;
    QCOMPARE(w->beeps, beeps);
    QCOMPARE(w->window->ckbxAllYears->isChecked(), text == QStringLiteral("1985"));
  }
  if (text == QStringLiteral("1985")) return;
  // What was pasted is undone like typing.
  QTest::keyClick(from, Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(from->currentText(), QStringLiteral("1985"));
}

void MainWindowTest::enteredYearBoxIsLime() {
  auto w = MakeShownWindow();
  const QColor lime(0, 255, 0);
  const QColor window = QApplication::palette().color(QPalette::Base);
  for (QComboBox* box : {w->window->cmbxFrom, w->window->cmbxTo}) {
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(box, &in);
    QCOMPARE(box->lineEdit()->palette().color(QPalette::Base), lime);

    QFocusEvent popup(QEvent::FocusOut, Qt::PopupFocusReason);  // the list drops down
    QApplication::sendEvent(box, &popup);
    QCOMPARE(box->lineEdit()->palette().color(QPalette::Base), lime);

    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(box, &out);
    QCOMPARE(box->lineEdit()->palette().color(QPalette::Base), window);
  }
}

void MainWindowTest::searchStatements_data() {
  QTest::addColumn<QStringList>("steps");
  QTest::addColumn<QString>("statement");

  const char* select = "SELECT DISTINCT V.VIDEOID, V.TITLE, V.YEAR, V.INDUSTRYRATING, V.LENGTH";
  QTest::newRow("initial criteria") << QStringList{} << Crlf({select, "FROM VIDEOS V", " ORDER BY V.TITLE"});
  QTest::newRow("cast member chosen") << QStringList{"cast", "cast"}
                                      << Crlf({select, ", C.VIDEOID", "FROM VIDEOS V, VIDEOS_CASTMEMBERS C",
                                               " WHERE (V.VIDEOID = C.VIDEOID) ", " AND (C.CASTMEMBERID = 12)",
                                               " ORDER BY V.TITLE"});
  QTest::newRow("director chosen") << QStringList{"director"}
                                   << Crlf({select, ", D.VIDEOID", "FROM VIDEOS V, VIDEOS_DIRECTORS D",
                                            " WHERE (V.VIDEOID = D.VIDEOID)", " AND (D.DIRECTORID = 21)",
                                            " ORDER BY V.TITLE"});
  QTest::newRow("both chosen") << QStringList{"cast", "director", "director"}
                               << Crlf({select, ", C.VIDEOID, D.VIDEOID ",
                                        "FROM VIDEOS V, VIDEOS_CASTMEMBERS C, VIDEOS_DIRECTORS D",
                                        " WHERE (V.VIDEOID = C.VIDEOID) AND (V.VIDEOID = D.VIDEOID) ",
                                        " AND (C.CASTMEMBERID = 11)", " AND (D.DIRECTORID = 22)", " ORDER BY V.TITLE"});
  QTest::newRow("cast box unchecked without a name")
      << QStringList{"allCast-"}
      << Crlf({select, ", C.VIDEOID", "FROM VIDEOS V, VIDEOS_CASTMEMBERS C", " WHERE (V.VIDEOID = C.VIDEOID) ",
               " ORDER BY V.TITLE"});
  QTest::newRow("a name with quotes") << QStringList{"cast", "cast", "cast"}
                                      << Crlf({select, ", C.VIDEOID", "FROM VIDEOS V, VIDEOS_CASTMEMBERS C",
                                               " WHERE (V.VIDEOID = C.VIDEOID) ", " AND (C.CASTMEMBERID = 13)",
                                               " ORDER BY V.TITLE"});
  QTest::newRow("two-digit years") << QStringList{"from=85", "to=03"}
                                   << Crlf({select, "FROM VIDEOS V", " WHERE ",
                                            " (V.YEAR BETWEEN \"1985\" AND \"2003\")", " ORDER BY V.TITLE"});
  QTest::newRow("empty years")
      << QStringList{"from=", "to="}
      << Crlf({select, "FROM VIDEOS V", " WHERE ",
               qPrintable(QStringLiteral(" (V.YEAR BETWEEN \"1912\" AND \"%1\")").arg(QDate::currentDate().year())),
               " ORDER BY V.TITLE"});
  QTest::newRow("years after a join") << QStringList{"director", "to-"}
                                      << Crlf({select, ", D.VIDEOID", "FROM VIDEOS V, VIDEOS_DIRECTORS D",
                                               " WHERE (V.VIDEOID = D.VIDEOID)", " AND (D.DIRECTORID = 21)", " AND ",
                                               " (V.YEAR BETWEEN \"1985\" AND \"1987\")", " ORDER BY V.TITLE"});
  QTest::newRow("all ratings but PG-13") << QStringList{"rating2-"}
                                         << Crlf({select, "FROM VIDEOS V", " WHERE (", "(V.INDUSTRYRATING = \"G\")",
                                                  " OR ", " (V.INDUSTRYRATING = \"PG\")", " OR ",
                                                  " (V.INDUSTRYRATING = \"NR\")", " OR ", " (V.INDUSTRYRATING = \"R\")",
                                                  " OR ", " (V.INDUSTRYRATING = \"NC-17\")", ")", " ORDER BY V.TITLE"});
  QTest::newRow("ratings after years") << QStringList{"from+", "rating0-", "rating1-", "rating2-", "rating3-"}
                                       << Crlf({select, "FROM VIDEOS V", " WHERE ",
                                                " (V.YEAR BETWEEN \"1986\" AND \"1988\")", " AND (",
                                                " (V.INDUSTRYRATING = \"R\")", " OR ",
                                                " (V.INDUSTRYRATING = \"NC-17\")", ")", " ORDER BY V.TITLE"});
}

void MainWindowTest::searchStatements() {
  QFETCH(QStringList, steps);
  QFETCH(QString, statement);
  auto w = MakeShownWindow();
  for (const QString& step : steps) RunStep(*w->window, step);
  w->window->btnShowResults->click();

  QVERIFY2(w->errors.isEmpty(), qPrintable(w->errors.join("; ")));
  QVERIFY2(w->information.isEmpty(), qPrintable(w->information.join("; ")));
  QCOMPARE(w->catalogue->searches.size(), std::size_t(1));
  QCOMPARE(QString::fromStdString(w->catalogue->searches[0]), statement);
  QCOMPARE(QString::fromStdString(w->window->SearchStatement()), statement);
  // The name is looked up as a literal, quotes doubled.
  if (QTest::currentDataTag() == QByteArray("a name with quotes")) {
    const std::string lookup =
        "SELECT CASTMEMBERID FROM CASTMEMBERS WHERE CASTMEMBER = \"Dwayne \"\"The Rock\"\" Johnson\"";
    QVERIFY(std::find(w->catalogue->lookups.begin(), w->catalogue->lookups.end(), lookup) !=
            w->catalogue->lookups.end());
  }
}

void MainWindowTest::failedChecksKeepThePreviousResult_data() {
  QTest::addColumn<QStringList>("steps");
  QTest::addColumn<QStringList>("messages");

  const QString lengths = QString::fromUtf8(kYearLengthMessage.data(), kYearLengthMessage.size());
  const QString order = QString::fromUtf8(kYearOrderMessage.data(), kYearOrderMessage.size());
  const QString rating = QString::fromUtf8(kNoRatingMessage.data(), kNoRatingMessage.size());
  QTest::newRow("three-digit year") << QStringList{"from=198"} << QStringList{lengths};
  QTest::newRow("one-digit to-year") << QStringList{"to=7"} << QStringList{lengths};
  QTest::newRow("to before from") << QStringList{"from=1988", "to=1986"} << QStringList{order};
  QTest::newRow("two-digit years out of order") << QStringList{"from=10", "to=11"} << QStringList{order};
  QTest::newRow("no rating") << QStringList{"rating0-", "rating1-", "rating2-", "rating3-", "rating4-", "rating5-"}
                             << QStringList{rating};
}

void MainWindowTest::failedChecksKeepThePreviousResult() {
  QFETCH(QStringList, steps);
  QFETCH(QStringList, messages);
  auto w = MakeShownWindow();
  TfMain& window = *w->window;
  window.btnShowResults->click();
  QCOMPARE(window.lblResultsCount->text(), QStringLiteral("10 videos found"));
  window.dbnav->Next();
  const std::string statement = window.SearchStatement();

  for (const QString& step : steps) RunStep(window, step);
  window.btnShowResults->click();
  QCOMPARE(w->information, messages);
  QCOMPARE(w->busyAtInformation, 0);  // the hourglass went before the message
  QVERIFY(!QApplication::overrideCursor());
  QCOMPARE(w->catalogue->searches.size(), std::size_t(1));
  QCOMPARE(window.SearchStatement(), statement);
  QCOMPARE(window.cds.RecordCount(), 10);
  QCOMPARE(window.CurrentVideoId(), 101);
  QCOMPARE(window.lblResultsCount->text(), QStringLiteral("10 videos found"));
  QVERIFY(w->errors.isEmpty());
}

void MainWindowTest::failedSearchIsReported() {
  auto w = MakeShownWindow();
  w->catalogue->failing = true;
  w->window->btnShowResults->click();
  QCOMPARE(w->errors, QStringList{QStringLiteral("lookup failed")});
  QVERIFY(!QApplication::overrideCursor());  // the hourglass is gone however the search ended
}

// A result that fails while it is copied is reported and leaves no half-filled result behind;
// the next search works again.
void MainWindowTest::unreadableResultIsReported() {
  auto w = MakeShownWindow();
  TfMain& window = *w->window;
  window.btnShowResults->click();
  window.dbnav->Next();
  w->catalogue->failAtRow = 4;
  window.btnShowResults->click();
  QCOMPARE(w->errors.size(), 1);
  QVERIFY(!window.cds.Active());
  QCOMPARE(window.grdcds->model()->rowCount(), 0);
  QCOMPARE(window.CurrentVideoId(), 0);
  QCOMPARE(window.pnlCurrentRecord->dbtxtTitle->text(), QString());
  QVERIFY(!QApplication::overrideCursor());

  w->catalogue->failAtRow = -1;
  window.btnShowResults->click();
  QCOMPARE(window.cds.RecordCount(), 10);
  QCOMPARE(window.CurrentVideoId(), 100);
  QCOMPARE(w->errors.size(), 1);
}

void MainWindowTest::countLabel_data() {
  QTest::addColumn<int>("rows");
  QTest::addColumn<QString>("label");
  QTest::newRow("none") << 0 << "No matches found";
  QTest::newRow("one") << 1 << "1 matching record found";
  QTest::newRow("two") << 2 << "2 videos found";
  QTest::newRow("999") << 999 << "999 videos found";
  QTest::newRow("1,234") << 1234 << "1,234 videos found";
}

void MainWindowTest::countLabel() {
  QFETCH(int, rows);
  auto w = MakeShownWindow();
  w->catalogue->searchRows.resize(static_cast<std::size_t>(rows));
  w->window->btnShowResults->click();
  QTEST(w->window->lblResultsCount->text(), "label");
  QCOMPARE(w->window->CurrentVideoId(), rows > 0 ? 100 : 0);
}

void MainWindowTest::panelRefreshWaitsForTheLastScroll() {
  auto w = MakeShownWindow();
  TfMain& window = *w->window;
  QSignalSpy refreshed(&window, &TfMain::CurrentRecordRefreshed);

  // Enabled at creation: one refresh, for video 0, before any search.
  QTRY_COMPARE_WITH_TIMEOUT(refreshed.size(), 1, 3000);
  QCOMPARE(refreshed.takeFirst().at(0).toInt(), 0);
  QVERIFY(!window.tmr->isActive());

  window.btnShowResults->click();
  for (int i = 0; i < 9; ++i) {
    window.dbnav->Next();
    QCoreApplication::processEvents();  // no real wait: a stalled machine must not fire the timer
  }
  QCOMPARE(refreshed.size(), 0);
  QCOMPARE(window.pnlCurrentRecord->dbtxtTitle->text(), QStringLiteral("Title 9"));  // bound labels follow at once
  QTRY_COMPARE_WITH_TIMEOUT(refreshed.size(), 1, 3000);
  QCOMPARE(refreshed.takeFirst().at(0).toInt(), 109);
  QTest::qWait(400);
  QCOMPARE(refreshed.size(), 0);
  QVERIFY(!window.tmr->isActive());

  // A click on a cell refreshes at once.
  const QModelIndex cell = window.grdcds->model()->index(2, ColTitle);
  QTest::mouseClick(window.grdcds->viewport(), Qt::LeftButton, {}, window.grdcds->visualRect(cell).center());
  QVERIFY(refreshed.size() >= 1);
  QCOMPARE(refreshed.at(0).at(0).toInt(), 102);
}

void MainWindowTest::searchShowsTheRowsAsDelivered() {
  auto w = MakeShownWindow();
  TfMain& window = *w->window;
  QCOMPARE(window.grdcds->model()->rowCount(), 0);  // nothing before the first search
  w->catalogue->searchRows = UnsortedRows();
  window.btnShowResults->click();

  QVERIFY(w->errors.isEmpty());
  QCOMPARE(window.grdcds->DataSet(), &window.cds);
  QCOMPARE(window.cds.RecordCount(), 5);
  QCOMPARE(window.lblResultsCount->text(), QStringLiteral("5 videos found"));
  const QStringList expected = {"Zulu|1964|R|138", "alien|1979|R|117", "Heat|1995|R|170", "Heat|1972|NR|92",
                                "Mad Max|1979|R|88"};
  QCOMPARE(GridRows(window), expected);
  QCOMPARE(window.grdcds->model()->index(1, ColVideoId).data().toInt(), 302);  // there, but hidden
  // The first record is current, in the grid and in the panel's labels.
  QCOMPARE(window.CurrentVideoId(), 301);
  QCOMPARE(window.grdcds->currentIndex().row(), 0);
  QCOMPARE(window.pnlCurrentRecord->dbtxtTitle->text(), QStringLiteral("Zulu"));
  QCOMPARE(window.pnlCurrentRecord->dbtxtRating->text(), QStringLiteral("R"));
  QCOMPARE(window.pnlCurrentRecord->dbtxtYear->text(), QStringLiteral("1964"));
  QCOMPARE(window.pnlCurrentRecord->dbtxtLength->text(), QStringLiteral("138"));

  // A second search replaces the whole result; a search with no rows leaves nothing current.
  w->catalogue->searchRows.resize(2);
  window.btnShowResults->click();
  QCOMPARE(GridRows(window), expected.mid(0, 2));
  w->catalogue->searchRows.clear();
  window.btnShowResults->click();
  QCOMPARE(window.grdcds->model()->rowCount(), 0);
  QCOMPARE(window.CurrentVideoId(), 0);
  QCOMPARE(window.pnlCurrentRecord->dbtxtTitle->text(), QString());
  QCOMPARE(window.lblResultsCount->text(), QStringLiteral("No matches found"));
}

void MainWindowTest::titleClicksSortTheResult() {
  auto w = MakeShownWindow();
  TfMain& window = *w->window;
  w->catalogue->searchRows = UnsortedRows();
  window.btnShowResults->click();
  window.dbnav->Next();  // video 302 current
  QSignalSpy refreshed(&window, &TfMain::CurrentRecordRefreshed);
  QTRY_COMPARE_WITH_TIMEOUT(refreshed.size(), 1, 3000);

  // Titles compare without case; equal titles keep their arrival order.
  ClickTitle(window, ColTitle);
  QCOMPARE(window.cds.IndexName(), std::string("SortGrid"));
  QCOMPARE(ResultIds(window), (std::vector<int>{302, 303, 304, 305, 301}));
  QCOMPARE(window.grdcds->Arrow(window.grdcds->GridColumnOf(ColTitle)), atUp);
  QCOMPARE(window.grdcds->model()->index(0, ColTitle).data().toString(), QStringLiteral("alien"));
  // Sorting keeps the current video and is no scroll: no refresh follows.
  QCOMPARE(window.CurrentVideoId(), 302);
  QCOMPARE(window.grdcds->currentIndex().row(), 0);
  QVERIFY(!window.tmr->isActive());

  ClickTitle(window, ColTitle);
  QCOMPARE(ResultIds(window), (std::vector<int>{301, 305, 303, 304, 302}));
  QCOMPARE(window.grdcds->Arrow(window.grdcds->GridColumnOf(ColTitle)), atDown);
  QCOMPARE(window.CurrentVideoId(), 302);

  // Shift-click on Year: a second key behind the title, both triangles shown.
  ClickTitle(window, ColTitle);
  ClickTitle(window, ColYear, Qt::ShiftModifier);
  QCOMPARE(window.cds.FindIndex("SortGrid")->fields, std::string("Title;Year"));
  QCOMPARE(ResultIds(window), (std::vector<int>{302, 304, 303, 305, 301}));
  QCOMPARE(window.grdcds->Arrow(window.grdcds->GridColumnOf(ColTitle)), atUp);
  QCOMPARE(window.grdcds->Arrow(window.grdcds->GridColumnOf(ColYear)), atUp);
  ClickTitle(window, ColYear, Qt::ShiftModifier);
  QCOMPARE(ResultIds(window), (std::vector<int>{302, 303, 304, 305, 301}));
  QCOMPARE(window.grdcds->Arrow(window.grdcds->GridColumnOf(ColYear)), atDown);

  // The sort stays in force for the next search.
  window.btnShowResults->click();
  QCOMPARE(ResultIds(window), (std::vector<int>{302, 303, 304, 305, 301}));
  QCOMPARE(window.CurrentVideoId(), 302);
  QCOMPARE(refreshed.size(), 1);
  QVERIFY(w->errors.isEmpty());
}

void MainWindowTest::sortTrianglesReadOnTheTitleRow_data() {
  QTest::addColumn<bool>("dark");  // a dark title row instead of the style's own colours
  QTest::newRow("style's title colours") << false;
  QTest::newRow("dark title row") << true;
}

// Every sorted title shows its triangle in tones that stand out on the title row, and its
// caption stays clear of the triangle, in the narrow centred columns too.
void MainWindowTest::sortTrianglesReadOnTheTitleRow() {
  QFETCH(bool, dark);
  auto w = MakeShownWindow();
  TfMain& window = *w->window;
  TResultGrid* grid = window.grdcds;
  QHeaderView* title = grid->horizontalHeader();
  const QPalette applicationPalette = QApplication::palette();
  const auto restorePalette = qScopeGuard([&] { QApplication::setPalette(applicationPalette); });
  if (dark) QApplication::setPalette(QPalette(QColor(53, 53, 53)));
  window.btnShowResults->click();
  ClickTitle(window, ColTitle);
  ClickTitle(window, ColTitle);
  for (int column : {ColYear, ColIndustryRating, ColLength}) ClickTitle(window, column, Qt::ShiftModifier);
  title->grab();
  QCoreApplication::processEvents();  // a column too narrow for caption and triangle is widened
  const int columns[] = {ColTitle, ColYear, ColIndustryRating, ColLength};

  const QImage image = title->grab().toImage();
  const QByteArray dir = qgetenv("PELLOMAR_SCREENSHOT_DIR");
  if (!dir.isEmpty()) {
    const QString name = dark ? QStringLiteral("/grid_title_dark.png") : QStringLiteral("/grid_title.png");
    QVERIFY(image.scaled(image.size() * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                .save(QString::fromLocal8Bit(dir) + name));
  }
  for (int column : columns) {
    const TArrowType arrow = grid->Arrow(grid->GridColumnOf(column));
    QCOMPARE(arrow, column == ColTitle ? atDown : atUp);
    const TTriangleBox box = TriangleOf(title, column, arrow);
    // Beside the apex, inside the triangle's box but off its edges: the title row itself.
    const QColor background = image.pixelColor(box.left(), box.apex);
    QCOMPARE(ColourDistance(image.pixelColor(box.right - 4, box.apex), background), 0);
    const QColor base = image.pixelColor(box.right - 7, box.base);
    int shade = 0;  // the left edge halfway between base and apex
    for (int x = box.left(); x <= box.right - 7; ++x) {
      shade = std::max(shade, ColourDistance(image.pixelColor(x, (box.base + box.apex) / 2), background));
    }
    const QByteArray where = "column " + QByteArray::number(column);
    QVERIFY2(ColourDistance(base, background) >= 64, where);
    QVERIFY2(shade >= 64, where);
  }

  // The captions, with the triangles drawn in a colour of their own: no caption pixel lies
  // in or next to a triangle's box.
  const QColor marker(255, 0, 255);
  grid->SetArrowShade(marker);
  grid->SetArrowHighlight(marker);
  const QImage captions = title->grab().toImage();
  for (int column : columns) {
    const TTriangleBox box = TriangleOf(title, column, grid->Arrow(grid->GridColumnOf(column)));
    const int left = title->sectionViewportPosition(column);
    int ink = 0;
    int rightmostInk = -1;
    for (int y = 1; y < captions.height() - 2; ++y) {
      const QColor background = captions.pixelColor(left + 2, y);
      for (int x = left + 1; x < box.right - 2; ++x) {
        const QColor pixel = captions.pixelColor(x, y);
        if (pixel == marker || ColourDistance(pixel, background) < 48) continue;
        ++ink;
        rightmostInk = std::max(rightmostInk, x);
      }
    }
    const QByteArray where = "column " + QByteArray::number(column);
    QVERIFY2(ink > 0, where);
    QVERIFY2(rightmostInk < box.left() - 1, where + " ink up to x " + QByteArray::number(rightmostInk));
  }
}

void MainWindowTest::navigatorButtonsScrollTheResult() {
  auto w = MakeShownWindow();
  TfMain& window = *w->window;
  const auto button = [&window](const char* name) { return window.dbnav->findChild<QToolButton*>(name); };
  const auto enabled = [&] {
    QString states;
    for (const char* name : {"nbFirst", "nbPrior", "nbNext", "nbLast"}) states += button(name)->isEnabled() ? '1' : '0';
    return states;
  };
  QCOMPARE(window.dbnav->DataSet(), &window.cds);
  QCOMPARE(enabled(), QStringLiteral("0000"));  // no result yet
  window.btnShowResults->click();
  QCOMPARE(enabled(), QStringLiteral("0011"));
  QSignalSpy refreshed(&window, &TfMain::CurrentRecordRefreshed);
  QTRY_COMPARE_WITH_TIMEOUT(refreshed.size(), 1, 3000);
  refreshed.clear();

  // A run of button clicks: the labels and the grid follow each move, the panel's lists
  // are refreshed once, no sooner than 200 ms after the last click.
  QElapsedTimer sinceLastMove;
  for (const char* name : {"nbNext", "nbNext", "nbLast", "nbPrior"}) {
    QTest::mouseClick(button(name), Qt::LeftButton);
    sinceLastMove.start();
    QCoreApplication::processEvents();
  }
  QCOMPARE(window.CurrentVideoId(), 108);
  QCOMPARE(window.grdcds->currentIndex().row(), 8);
  QCOMPARE(window.pnlCurrentRecord->dbtxtTitle->text(), QStringLiteral("Title 8"));
  QCOMPARE(enabled(), QStringLiteral("1111"));
  QCOMPARE(refreshed.size(), 0);
  QTRY_COMPARE_WITH_TIMEOUT(refreshed.size(), 1, 3000);
  QVERIFY(sinceLastMove.elapsed() >= 190);  // timer granularity
  QCOMPARE(refreshed.at(0).at(0).toInt(), 108);
  QTest::qWait(300);
  QCOMPARE(refreshed.size(), 1);

  QTest::mouseClick(button("nbLast"), Qt::LeftButton);
  QCOMPARE(enabled(), QStringLiteral("1100"));
  QTest::mouseClick(button("nbFirst"), Qt::LeftButton);
  QCOMPARE(enabled(), QStringLiteral("0011"));
  QCOMPARE(window.grdcds->currentIndex().row(), 0);
  // Moving in the grid moves the result set, and the navigator follows.
  window.grdcds->setCurrentIndex(window.grdcds->model()->index(9, ColTitle));
  QCOMPARE(window.CurrentVideoId(), 109);
  QCOMPARE(enabled(), QStringLiteral("1100"));
}

void MainWindowTest::windowPosition() {
  {
    auto w = MakeWindow(SmallCatalogue(), "; kept\n[Rating]\n101=4\n[mainform]\nleft=33\nTop=44\n");
    QCOMPARE(w->window->pos(), QPoint(33, 44));  // read at creation
    w->window->show();
    const QRect screen = w->window->screen()->geometry();
    QCOMPARE(w->window->pos(), QPoint(screen.x() + (screen.width() - 560) / 2,
                                      screen.y() + (screen.height() - 640) / 2));  // opens centred
    w->window->move(70, 80);
    const QString file = w->SettingsFile();
    w->window.reset();
    QFile written(file);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), QByteArray("; kept\n[Rating]\n101=4\n[mainform]\nleft=70\nTop=80\n"));
  }
  {
    auto w = MakeWindow(SmallCatalogue());
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCOMPARE(w->window->pos(), QPoint(screen.width() / 2 - 280, screen.height() / 2 - 320));
    QVERIFY(!QFile::exists(w->SettingsFile()));
    const QString file = w->SettingsFile();
    w->window->move(5, 6);
    w->window.reset();
    const quarry::TProfileFile settings(file.toStdString());
    QCOMPARE(settings.ReadInteger("MainForm", "Left", -1), 5);
    QCOMPARE(settings.ReadInteger("MainForm", "Top", -1), 6);
  }
}

void MainWindowTest::bottomButtons() {
  auto w = MakeShownWindow();
  w->window->btnHelp->click();
  QCOMPARE(w->information.size(), 1);
  QVERIFY(w->information[0].startsWith("PELLOMAR is an easy-to-use tool for\n"));
  QVERIFY(w->information[0].contains("\nyou selected. Click on any of the column titles in\n"));
  QVERIFY(w->information[0].endsWith("bottom right of the form."));
  w->window->btnClose->click();
  QVERIFY(!w->window->isVisible());
}

// Print Grid hands the result grid to GprGridPrinter1, titled " cds (<today>)", and its
// report options window opens.
void MainWindowTest::printGridOpensTheReportOptions() {
  auto w = MakeShownWindow();
  w->window->btnShowResults->click();
  QString caption;
  QTimer::singleShot(0, [&] {
    // Queued behind the request's start-up sequence.
    QTimer::singleShot(0, [&] {
      if (gpr::TfmGprMain* options = gpr::TgprOptionsRequestUi::Current()) {
        caption = options->windowTitle();
        options->done(QDialog::Rejected);
      } else if (QWidget* modal = QApplication::activeModalWidget()) {
        caption = QStringLiteral("(a message instead: ") + modal->windowTitle() + ")";
        modal->close();
      }
    });
  });
  w->window->btnPrint->click();
  const QString today = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
  QCOMPARE(caption, QStringLiteral("Report Options:  cds (") + today + ")");
  QVERIFY(w->errors.isEmpty());
}

// The window with a result, drawn offscreen; saved as main_window.png into the folder named by
// PELLOMAR_SCREENSHOT_DIR when it is set, for a person to look at.
void MainWindowTest::picture() {
  auto w = MakeShownWindow();
  RunStep(*w->window, "cast");
  w->window->btnShowResults->click();
  ClickTitle(*w->window, ColTitle, Qt::NoModifier);  // shows the sort triangle
  ClickTitle(*w->window, ColTitle, Qt::NoModifier);
  w->window->dbnav->Next();
  const QImage image = w->window->grab().toImage();
  QCOMPARE(image.size(), QSize(560, 640));
  // The query panel is teal, the result panel black.
  QCOMPARE(image.pixelColor(2, 2), QColor(0, 128, 128));
  QCOMPARE(image.pixelColor(2, 200), QColor(Qt::black));
  const QByteArray dir = qgetenv("PELLOMAR_SCREENSHOT_DIR");
  if (!dir.isEmpty()) QVERIFY(image.save(QString::fromLocal8Bit(dir) + "/main_window.png"));
}

QTEST_MAIN(MainWindowTest)
#include "main_window_qtest.moc"
