// The current-record panel inside the main window, against a fake catalogue: the directors and
// cast lists, the stars and the settings file, the notes files in the current directory, and
// what a failure leaves on screen.
#include "app/current_record_panel.h"
#include "app/font_substitutes.h"
#include "app/main_window.h"
#include "app/record_navigator.h"
#include "engine/platform/profile_file.h"
#include "grid/result_grid.h"
#include "tests/fake_catalogue.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

const QColor kLit(255, 255, 0);
const QColor kUnlit(128, 128, 128);

// Videos 100 to 102. Video 100 has two directors and a cast member linked twice; video 101
// has directors with ids 9 and 10; video 102 has no links at all.
std::unique_ptr<TFakeCatalogue> PanelCatalogue() {
  auto catalogue = std::make_unique<TFakeCatalogue>();
  catalogue->answers["SELECT YEAR FROM VIDEOS ORDER BY YEAR"] = {"1985"};
  catalogue->answers["SELECT YEAR FROM VIDEOS ORDER BY YEAR DESC"] = {"1988"};
  const std::pair<const char*, const char*> directors[] = {
      {"9", "Nina Nine"}, {"10", "Ted Ten"}, {"21", "Cy"}, {"22", "Di"}};
  for (const auto& [id, name] : directors) {
    catalogue->answers[std::string("SELECT DIRECTOR FROM DIRECTORS WHERE DIRECTORID = ") + id] = {name};
  }
  const std::pair<const char*, const char*> cast[] = {{"11", "Ann"}, {"12", "Bob"}, {"13", "Cat"}};
  for (const auto& [id, name] : cast) {
    catalogue->answers[std::string("SELECT CASTMEMBER FROM CASTMEMBERS WHERE CASTMEMBERID = ") + id] = {name};
  }
  catalogue->answers["SELECT DIRECTORID FROM VIDEOS_DIRECTORS WHERE VIDEOID = 100"] = {"22", "21"};
  catalogue->answers["SELECT CASTMEMBERID FROM VIDEOS_CASTMEMBERS WHERE VIDEOID = 100"] = {"13", "11", "13"};
  catalogue->answers["SELECT DIRECTORID FROM VIDEOS_DIRECTORS WHERE VIDEOID = 101"] = {"9", "10"};
  catalogue->answers["SELECT CASTMEMBERID FROM VIDEOS_CASTMEMBERS WHERE VIDEOID = 101"] = {"12"};
  catalogue->searchRows = {{100, "Able", "PG", "95", "1986"},
                           {101, "Baker's Dozen: The Long Night Of The Thirteen", "R", "121", "1987"},
                           {102, "Charlie", "G", "80", "1988"}};
  return catalogue;
}

// A shown, active main window over the fake catalogue, with a temporary folder as the current
// directory (where the notes files go) and as the home of the settings file.
struct TPanelWindow {
  TFakeCatalogue* catalogue = nullptr;  // owned by the window
  QStringList information;
  QStringList errors;
  QTemporaryDir dir;
  QString previousDirectory = QDir::currentPath();
  std::unique_ptr<TfMain> window;

  TPanelWindow(std::unique_ptr<TFakeCatalogue> fake, const QByteArray& settings) {
    if (!dir.isValid() || !QDir::setCurrent(dir.path())) qFatal("no temporary folder");
    if (!settings.isEmpty()) WriteFile(SettingsFile(), settings);
    catalogue = fake.get();
    TUserNotifier notifier;
    notifier.information = [this](QWidget*, const QString& text) { information << text; };
    notifier.errorReport = [this](QWidget*, const QString& text) { errors << text; };
    notifier.beep = [] {};
    window = std::make_unique<TfMain>(std::move(fake), notifier, SettingsFile().toStdString());
    window->show();
    QApplication::setActiveWindow(window.get());
    if (!QTest::qWaitForWindowActive(window.get())) qFatal("window not active");
  }
  ~TPanelWindow() {
    window.reset();
    QDir::setCurrent(previousDirectory);
  }

  QString SettingsFile() const { return dir.filePath(QStringLiteral("Pellomar.INI")); }
  TCurrentRecordPanel& Panel() const { return *window->pnlCurrentRecord; }

  static void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(path));
    file.write(bytes);
  }
  QByteArray NotesFile(int videoId) const {
    QFile file(dir.filePath(QString::number(videoId) + ".vid"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
  }
  int StoredRating(int videoId) const {
    return quarry::TProfileFile(SettingsFile().toStdString()).ReadInteger("Rating", std::to_string(videoId), -99);
  }

  // Searches, then lets the refresh for the first row happen.
  void Search() {
    QSignalSpy refreshed(window.get(), &TfMain::CurrentRecordRefreshed);
    window->btnShowResults->click();
    QTRY_VERIFY_WITH_TIMEOUT(!refreshed.isEmpty() && refreshed.last().at(0).toInt() == 100, 3000);
  }
  // Clicks a row's title cell: the grid takes the focus and the panel is refreshed at once.
  void ClickRow(int row) {
    const QModelIndex cell = window->grdcds->model()->index(row, 1);  // the Title column
    QTest::mouseClick(window->grdcds->viewport(), Qt::LeftButton, {}, window->grdcds->visualRect(cell).center());
  }
  // Moves to the next row with the navigator, which leaves the focus where it is, and waits
  // for the delayed refresh.
  void NextRowByNavigator() {
    QSignalSpy refreshed(window.get(), &TfMain::CurrentRecordRefreshed);
    window->dbnav->Next();
    QTRY_VERIFY_WITH_TIMEOUT(!refreshed.isEmpty(), 3000);
  }
  void TypeNotes(const QString& text) {
    QPlainTextEdit* edit = Panel().mmoUserComments;
    edit->setFocus(Qt::MouseFocusReason);
    const QStringList lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
      if (i > 0) QTest::keyClick(edit, Qt::Key_Return);
      QTest::keyClicks(edit, lines[i]);
    }
  }
  void LeaveNotes() { QTest::keyClick(Panel().mmoUserComments, Qt::Key_Tab); }

  QString Stars() const {
    QString stars;
    for (const QLabel* star : Panel().lblStars) {
      const QColor colour = star->palette().color(QPalette::WindowText);
      stars += colour == kLit ? '*' : colour == kUnlit ? '.' : '?';
    }
    return stars;
  }
};

QStringList Items(const QListWidget* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
  return items;
}

}  // namespace

class CurrentRecordPanelTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { InstallFontSubstitutions(); }

  void layout();
  void directorsAndCast();
  void failedLookupKeepsWhatWasFilled();
  void starClick_data();
  void starClick();
  void noCurrentVideoShowsNothing_data();
  void noCurrentVideoShowsNothing();
  void storedRatings_data();
  void storedRatings();
  void unwritableSettingsFile();
  void aBoxShownByTheDelayedRefreshDoesNotRepeatIt();
  void notesWrittenOnLeavingTheEdit();
  void notesReadOnRefresh();
  void typingSurvivesAScrollWithTheFocusInTheNotes();
  void notesSavedOnClose();
  void unreadableNotes();
  void picture();
};

void CurrentRecordPanelTest::layout() {
  TPanelWindow w(PanelCatalogue(), {});
  TCurrentRecordPanel& panel = w.Panel();
  QCOMPARE(panel.palette().color(QPalette::Window), QColor(Qt::black));
  QCOMPARE(panel.findChild<QLabel*>("lblDirectors")->text(), QStringLiteral("Director(s)"));
  QCOMPARE(panel.findChild<QLabel*>("lblCastMembers")->text(), QStringLiteral("Cast Member(s)"));
  QCOMPARE(panel.findChild<QLabel*>("lblUserRating")->text(), QStringLiteral("Your Rating"));
  QCOMPARE(panel.findChild<QLabel*>("lblYourNotes")->text(), QStringLiteral("Your Notes/Comments/Synopsis/Critique"));
  QCOMPARE(panel.findChild<QLabel*>("lblMinutes")->text(), QStringLiteral("minutes"));
  QCOMPARE(panel.lstbxDirectors->size(), QSize(159, 35));
  QCOMPARE(panel.lstbxCastMembers->size(), QSize(159, 69));
  QCOMPARE(panel.lstbxDirectors->focusPolicy(), Qt::NoFocus);
  QCOMPARE(panel.mmoUserComments->size(), QSize(261, 135));
  for (int i = 0; i < 5; ++i) {
    QLabel* star = panel.lblStars[static_cast<std::size_t>(i)];
    QCOMPARE(star->objectName(), QStringLiteral("lblStar%1").arg(i + 1));
    QCOMPARE(star->property("tag").toInt(), i + 1);
    QCOMPARE(star->size(), QSize(19, 21));
    QCOMPARE(star->x(), panel.lblStars[0]->x() + 20 * i);
  }
  QCOMPARE(w.Stars(), QStringLiteral("*****"));  // yellow until the first refresh
  // Refreshed once before any search: no current video, no star lit.
  QTRY_COMPARE_WITH_TIMEOUT(w.Stars(), QStringLiteral("....."), 3000);
  QCOMPARE(w.Panel().NotesVideoId(), 0);
}

void CurrentRecordPanelTest::directorsAndCast() {
  TPanelWindow w(PanelCatalogue(), {});
  w.Search();
  // The cast member linked twice to video 100 appears once; names follow their id texts.
  QCOMPARE(Items(w.Panel().lstbxDirectors), (QStringList{"Cy", "Di"}));
  QCOMPARE(Items(w.Panel().lstbxCastMembers), (QStringList{"Ann", "Cat"}));

  w.NextRowByNavigator();  // video 101: director 10 comes before director 9
  QCOMPARE(Items(w.Panel().lstbxDirectors), (QStringList{"Ted Ten", "Nina Nine"}));
  QCOMPARE(Items(w.Panel().lstbxCastMembers), (QStringList{"Bob"}));

  w.ClickRow(2);  // video 102 has no links
  QCOMPARE(w.window->CurrentVideoId(), 102);
  QVERIFY(Items(w.Panel().lstbxDirectors).isEmpty());
  QVERIFY(Items(w.Panel().lstbxCastMembers).isEmpty());

  // Once per distinct id: video 100's cast sent one walk and two name lookups.
  const auto& sent = w.catalogue->lookups;
  QCOMPARE(std::count(sent.begin(), sent.end(), "SELECT CASTMEMBER FROM CASTMEMBERS WHERE CASTMEMBERID = 13"),
           std::ptrdiff_t(1));
  QVERIFY(w.errors.isEmpty());
}

void CurrentRecordPanelTest::failedLookupKeepsWhatWasFilled() {
  auto catalogue = PanelCatalogue();
  catalogue->answers["SELECT DIRECTORID FROM VIDEOS_DIRECTORS WHERE VIDEOID = 101"] = {"10", "x9"};
  TPanelWindow w(std::move(catalogue), "[Rating]\n100=2\n101=4\n");
  w.Search();
  QCOMPARE(w.Stars(), QStringLiteral("**..."));

  w.ClickRow(1);
  QCOMPARE(w.errors, QStringList{QStringLiteral("'x9' is not a valid integer value")});
  // The directors filled before the bad id stay; the rest of the panel is not reached.
  QCOMPARE(Items(w.Panel().lstbxDirectors), QStringList{"Ted Ten"});
  QCOMPARE(Items(w.Panel().lstbxCastMembers), (QStringList{"Ann", "Cat"}));
  QCOMPARE(w.Stars(), QStringLiteral("**..."));
  QCOMPARE(w.Panel().NotesVideoId(), 100);
}

void CurrentRecordPanelTest::starClick_data() {
  QTest::addColumn<int>("star");
  QTest::addColumn<int>("videoId");
  QTest::addColumn<QString>("stars");
  QTest::newRow("third star") << 3 << 100 << "***..";
  QTest::newRow("first star") << 1 << 100 << "*....";
  QTest::newRow("fifth star") << 5 << 100 << "*****";
}

void CurrentRecordPanelTest::starClick() {
  QFETCH(int, star);
  QFETCH(int, videoId);
  QFETCH(QString, stars);
  TPanelWindow w(PanelCatalogue(), "[MainForm]\nLeft=1\n[Rating]\n101=2\n");
  w.Search();
  QTest::mouseClick(w.Panel().lblStars[static_cast<std::size_t>(star - 1)], Qt::LeftButton);
  QCOMPARE(w.Stars(), stars);
  QCOMPARE(w.StoredRating(videoId), star);
  QCOMPARE(w.StoredRating(101), 2);  // other keys and sections are kept
  QCOMPARE(quarry::TProfileFile(w.SettingsFile().toStdString()).ReadInteger("MainForm", "Left", 0), 1);
  QVERIFY(w.errors.isEmpty());
  QVERIFY(w.information.isEmpty());

  // Another video shows its own rating; coming back lights the same stars again.
  w.NextRowByNavigator();
  QCOMPARE(w.Stars(), QStringLiteral("**..."));
  w.ClickRow(0);
  QCOMPARE(w.Stars(), stars);
}

void CurrentRecordPanelTest::noCurrentVideoShowsNothing_data() {
  QTest::addColumn<bool>("searched");  // a search with matches came first
  QTest::newRow("before any search") << false;
  QTest::newRow("a search without matches") << true;
}

// With no current video the panel is blank and its stars and notes take no input: a star
// click writes no rating (no key for video 0), and notes still being typed go to their video.
void CurrentRecordPanelTest::noCurrentVideoShowsNothing() {
  QFETCH(bool, searched);
  const QByteArray settings = "[Rating]\n100=2\n";
  TPanelWindow w(PanelCatalogue(), settings);
  TCurrentRecordPanel& panel = w.Panel();
  if (searched) {
    TPanelWindow::WriteFile(w.dir.filePath("100.vid"), "Seen twice\r\n");
    w.Search();
    QCOMPARE(Items(panel.lstbxDirectors), (QStringList{"Cy", "Di"}));
    QCOMPARE(w.Stars(), QStringLiteral("**..."));
    panel.mmoUserComments->moveCursor(QTextCursor::End);
    w.TypeNotes(QStringLiteral("and again"));
    w.catalogue->searchRows.clear();
    QSignalSpy refreshed(w.window.get(), &TfMain::CurrentRecordRefreshed);
    w.window->btnShowResults->click();  // the focus stays in the notes
    QCOMPARE(w.window->lblResultsCount->text(), QStringLiteral("No matches found"));
    QCOMPARE(w.NotesFile(100), QByteArray("Seen twice\r\nand again\r\n"));
    QTest::qWait(300);  // a delayed refresh, if one comes, keeps the panel blank
  } else {
    QTRY_COMPARE_WITH_TIMEOUT(w.Stars(), QStringLiteral("....."), 3000);
  }

  for (QLabel* label : {panel.dbtxtTitle, panel.dbtxtRating, panel.dbtxtYear, panel.dbtxtLength}) {
    QCOMPARE(label->text(), QString());
  }
  QVERIFY(Items(panel.lstbxDirectors).isEmpty());
  QVERIFY(Items(panel.lstbxCastMembers).isEmpty());
  QCOMPARE(w.Stars(), QStringLiteral("....."));
  QCOMPARE(panel.mmoUserComments->toPlainText(), QString());
  QVERIFY(!panel.mmoUserComments->isEnabled());
  QCOMPARE(panel.NotesVideoId(), 0);

  QTest::mouseClick(panel.lblStars[3], Qt::LeftButton);
  QCOMPARE(w.Stars(), QStringLiteral("....."));
  QCOMPARE(w.StoredRating(0), -99);
  QFile file(w.SettingsFile());
  QVERIFY(file.open(QIODevice::ReadOnly));
  QCOMPARE(file.readAll(), settings);
  QVERIFY(!QFile::exists(w.dir.filePath("0.vid")));
  QVERIFY(w.errors.isEmpty());

  // The next video to be current brings the panel back.
  w.catalogue->searchRows = PanelCatalogue()->searchRows;
  w.Search();
  QCOMPARE(Items(panel.lstbxDirectors), (QStringList{"Cy", "Di"}));
  QCOMPARE(w.Stars(), QStringLiteral("**..."));
  QVERIFY(panel.mmoUserComments->isEnabled());
  QTest::mouseClick(panel.lblStars[3], Qt::LeftButton);
  QCOMPARE(w.StoredRating(100), 4);
}

void CurrentRecordPanelTest::storedRatings_data() {
  QTest::addColumn<QByteArray>("value");
  QTest::addColumn<QString>("stars");
  QTest::addColumn<QStringList>("information");
  const QStringList none;
  const QStringList error{QStringLiteral("Error in EnableStars Procedure")};
  QTest::newRow("no key") << QByteArray() << "....." << none;
  QTest::newRow("zero") << QByteArray("0") << "....." << none;
  QTest::newRow("five") << QByteArray("5") << "*****" << none;
  QTest::newRow("no integer reads as 0") << QByteArray("lots") << "....." << none;
  QTest::newRow("six") << QByteArray("6") << "....." << error;
  QTest::newRow("negative") << QByteArray("-1") << "....." << error;
}

void CurrentRecordPanelTest::storedRatings() {
  QFETCH(QByteArray, value);
  QFETCH(QString, stars);
  QFETCH(QStringList, information);
  const QByteArray settings = value.isNull() ? QByteArray("[Rating]\n") : "[Rating]\n100=" + value + "\n";
  TPanelWindow w(PanelCatalogue(), settings);
  w.Search();
  w.ClickRow(0);  // settle: one more refresh of video 100 after the delayed one
  QCOMPARE(w.Stars(), stars);
  if (information.isEmpty()) {
    QVERIFY(w.information.isEmpty());
  } else {
    QVERIFY(!w.information.isEmpty());
    for (const QString& text : w.information) QCOMPARE(text, information.front());
  }
}

void CurrentRecordPanelTest::unwritableSettingsFile() {
  auto catalogue = PanelCatalogue();
  auto* fake = catalogue.get();
  QTemporaryDir cwd;
  const QString previous = QDir::currentPath();
  QVERIFY(QDir::setCurrent(cwd.path()));
  TUserNotifier notifier;
  QStringList errors;
  notifier.errorReport = [&](QWidget*, const QString& text) { errors << text; };
  notifier.information = [](QWidget*, const QString&) {};
  {
    // The settings file's folder does not exist, so it cannot be written.
    TfMain window(std::move(catalogue), notifier, cwd.filePath("missing/Pellomar.INI").toStdString());
    window.show();
    QSignalSpy refreshed(&window, &TfMain::CurrentRecordRefreshed);
    window.btnShowResults->click();
    QCOMPARE(fake->searches.size(), std::size_t(1));
    QTRY_VERIFY_WITH_TIMEOUT(!refreshed.isEmpty() && refreshed.last().at(0).toInt() == 100, 3000);
    window.pnlCurrentRecord->EnableStars(1);
    QTest::mouseClick(window.pnlCurrentRecord->lblStars[3], Qt::LeftButton);
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors[0].contains("Pellomar.INI"), qPrintable(errors[0]));
    // The stars show what is stored, not the click that could not be kept.
    QCOMPARE(window.pnlCurrentRecord->lblStars[1]->palette().color(QPalette::WindowText), kUnlit);
    QCOMPARE(window.pnlCurrentRecord->lblStars[0]->palette().color(QPalette::WindowText), kLit);
  }
  QDir::setCurrent(previous);
}

void CurrentRecordPanelTest::aBoxShownByTheDelayedRefreshDoesNotRepeatIt() {
  auto catalogue = PanelCatalogue();
  QTemporaryDir folder;
  const QString previous = QDir::currentPath();
  QVERIFY(QDir::setCurrent(folder.path()));
  const QString settings = folder.filePath("Pellomar.INI");
  TPanelWindow::WriteFile(settings, "[Rating]\n100=9\n");
  // The information box is modal: events, timers among them, run while it is open.
  int boxes = 0;
  int deepest = 0;
  int open = 0;
  TUserNotifier notifier;
  notifier.information = [&](QWidget*, const QString&) {
    ++boxes;
    deepest = std::max(deepest, ++open);
    QTest::qWait(700);
    --open;
  };
  notifier.errorReport = [](QWidget*, const QString&) {};
  {
    TfMain window(std::move(catalogue), notifier, settings.toStdString());
    window.show();
    window.btnShowResults->click();
    QTRY_VERIFY_WITH_TIMEOUT(boxes > 0, 3000);  // the refresh for video 100 finds 9 stars
    QTest::qWait(300);
    QCOMPARE(deepest, 1);
    QCOMPARE(boxes, 1);
    QVERIFY(!window.tmr->isActive());
  }
  QDir::setCurrent(previous);
}

void CurrentRecordPanelTest::notesWrittenOnLeavingTheEdit() {
  TPanelWindow w(PanelCatalogue(), {});
  w.Search();

  // Entering and leaving without typing writes nothing.
  QTest::mouseClick(w.Panel().mmoUserComments, Qt::LeftButton);
  QTest::mouseClick(w.Panel().mmoUserComments->viewport(), Qt::LeftButton);
  QCOMPARE(QApplication::focusWidget(), w.Panel().mmoUserComments);
  w.LeaveNotes();
  QCOMPARE(w.NotesFile(100), QByteArray("<none>"));

  w.TypeNotes(QStringLiteral("Great chase.\nSee again"));
  QCOMPARE(w.NotesFile(100), QByteArray("<none>"));  // written only when the edit is left
  w.LeaveNotes();
  QCOMPARE(QApplication::focusWidget(), w.window->btnHelp);
  QCOMPARE(w.NotesFile(100), QByteArray("Great chase.\r\nSee again\r\n"));
  QVERIFY(!w.Panel().mmoUserComments->document()->isModified());

  // Leaving again without typing does not write: a file changed meanwhile stays as it is.
  TPanelWindow::WriteFile(w.dir.filePath("100.vid"), "changed elsewhere\r\n");
  w.Panel().mmoUserComments->setFocus(Qt::MouseFocusReason);
  w.LeaveNotes();
  QCOMPARE(w.NotesFile(100), QByteArray("changed elsewhere\r\n"));

  // Clicking into the grid leaves the edit too, before the click moves the row; what is
  // saved is the edit's text.
  w.TypeNotes(QStringLiteral(" more"));
  w.ClickRow(2);
  QCOMPARE(w.NotesFile(100), QByteArray("Great chase.\r\nSee again more\r\n"));
  QCOMPARE(w.NotesFile(102), QByteArray("<none>"));
  QVERIFY(w.errors.isEmpty());
}

void CurrentRecordPanelTest::notesReadOnRefresh() {
  TPanelWindow w(PanelCatalogue(), {});
  TPanelWindow::WriteFile(w.dir.filePath("100.vid"), "First line\r\nSecond line\r\n");
  TPanelWindow::WriteFile(w.dir.filePath("101.vid"), "");
  w.Search();
  QCOMPARE(w.Panel().mmoUserComments->toPlainText(), QStringLiteral("First line\nSecond line\n"));
  QVERIFY(!w.Panel().mmoUserComments->document()->isModified());

  w.NextRowByNavigator();  // a notes file of zero bytes is empty notes
  QCOMPARE(w.Panel().mmoUserComments->toPlainText(), QString());
  w.ClickRow(2);  // no file: no notes
  QCOMPARE(w.Panel().mmoUserComments->toPlainText(), QString());
  QCOMPARE(w.Panel().NotesVideoId(), 102);

  // What was typed and saved is read back on returning.
  w.TypeNotes(QStringLiteral("Short"));
  w.ClickRow(0);
  w.ClickRow(2);
  QCOMPARE(w.Panel().mmoUserComments->toPlainText(), QStringLiteral("Short\n"));
  QVERIFY(w.errors.isEmpty());
}

void CurrentRecordPanelTest::typingSurvivesAScrollWithTheFocusInTheNotes() {
  TPanelWindow w(PanelCatalogue(), {});
  TPanelWindow::WriteFile(w.dir.filePath("101.vid"), "Notes of 101\r\n");
  w.Search();
  w.TypeNotes(QStringLiteral("About 100"));

  // The navigator does not take the focus: the notes are still being edited when the
  // panel is refreshed for the next video. They go to the video they were typed for.
  w.NextRowByNavigator();
  QCOMPARE(w.window->CurrentVideoId(), 101);
  QCOMPARE(QApplication::focusWidget(), w.Panel().mmoUserComments);
  QCOMPARE(w.NotesFile(100), QByteArray("About 100\r\n"));
  QCOMPARE(w.NotesFile(101), QByteArray("Notes of 101\r\n"));
  QCOMPARE(w.Panel().mmoUserComments->toPlainText(), QStringLiteral("Notes of 101\n"));

  // Typing right after a scroll, before the refresh, still belongs to the video shown.
  w.Panel().mmoUserComments->moveCursor(QTextCursor::End);
  QTest::keyClicks(w.Panel().mmoUserComments, QStringLiteral("and more"));
  w.window->dbnav->Next();
  w.LeaveNotes();
  QCOMPARE(w.window->CurrentVideoId(), 102);
  QCOMPARE(w.NotesFile(101), QByteArray("Notes of 101\r\nand more\r\n"));
  QCOMPARE(w.NotesFile(102), QByteArray("<none>"));
  QVERIFY(w.errors.isEmpty());
}

void CurrentRecordPanelTest::notesSavedOnClose() {
  TPanelWindow w(PanelCatalogue(), {});
  w.Search();
  w.TypeNotes(QStringLiteral("Closing now"));
  w.window->close();
  QCOMPARE(w.NotesFile(100), QByteArray("Closing now\r\n"));
}

void CurrentRecordPanelTest::unreadableNotes() {
  TPanelWindow w(PanelCatalogue(), "[Rating]\n101=3\n");
  QVERIFY(QDir(w.dir.path()).mkdir("101.vid"));  // exists, but is no file
  w.Search();
  w.TypeNotes(QStringLiteral("Kept"));
  w.ClickRow(1);
  QCOMPARE(w.errors.size(), 1);
  QVERIFY2(w.errors[0].startsWith("Cannot open file \"101.vid\"."), qPrintable(w.errors[0]));
  // Lists and stars were filled before the notes; the edit keeps video 100's notes.
  QCOMPARE(Items(w.Panel().lstbxDirectors), (QStringList{"Ted Ten", "Nina Nine"}));
  QCOMPARE(w.Stars(), QStringLiteral("***.."));
  QCOMPARE(w.Panel().mmoUserComments->toPlainText(), QStringLiteral("Kept"));
  QCOMPARE(w.Panel().NotesVideoId(), 100);
  QCOMPARE(w.NotesFile(100), QByteArray("Kept\r\n"));

  // Notes that cannot be written stay in the edit, marked as changed.
  w.ClickRow(0);
  QVERIFY(QFile::remove(w.dir.filePath("100.vid")));
  QVERIFY(QDir(w.dir.path()).mkdir("100.vid"));
  w.TypeNotes(QStringLiteral("!"));
  w.LeaveNotes();
  QCOMPARE(w.errors.size(), 2);
  QVERIFY2(w.errors[1].startsWith("Cannot create file \"100.vid\"."), qPrintable(w.errors[1]));
  QVERIFY(w.Panel().mmoUserComments->document()->isModified());
}

// The window with a rated, annotated video, drawn offscreen; saved as
// current_record_panel.png into the folder named by PELLOMAR_SCREENSHOT_DIR when it is set.
void CurrentRecordPanelTest::picture() {
  TPanelWindow w(PanelCatalogue(), "[Rating]\n101=3\n");
  TPanelWindow::WriteFile(w.dir.filePath("101.vid"), "A long night.\r\nWatch with friends.\r\n");
  w.Search();
  w.NextRowByNavigator();
  const QImage image = w.window->grab().toImage();
  const QPoint star3 = w.Panel().lblStars[2]->geometry().center() + w.Panel().pos();
  const QPoint star5 = w.Panel().lblStars[4]->geometry().center() + w.Panel().pos();
  QCOMPARE(image.pixelColor(star3), kLit);  // the glyph's centre is drawn in the star colour
  QCOMPARE(image.pixelColor(star5), kUnlit);
  const QByteArray dir = qgetenv("PELLOMAR_SCREENSHOT_DIR");
  if (!dir.isEmpty()) QVERIFY(image.save(QString::fromLocal8Bit(dir) + "/current_record_panel.png"));
}

QTEST_MAIN(CurrentRecordPanelTest)
#include "current_record_panel_qtest.moc"
