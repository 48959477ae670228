// Pellomar as the package installs it: the real windows over an unpacked copy of the package
// whose program folder cannot be written. tests/package_test.sh unpacks the package, makes
// the folder read-only, points HOME at a scratch folder and names the program folder in
// PELLOMAR_INSTALLED_DIR; without it the test is skipped.
//
// A search lists the films; a star rating and a note go to the XDG folders under HOME and
// are shown again by a second window, as by a second start of the program.
#include "app/current_record_panel.h"
#include "app/engine_catalogue.h"
#include "app/main_window.h"
#include "app/user_files.h"
#include "dbaccess/quarry_session.h"
#include "dbaccess/session_list.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

constexpr const char* kCataloguePassword = "kqpwzra5";
const QColor kLit(255, 255, 0);

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return "<missing>";
  return file.readAll();
}

}  // namespace

class InstalledProgramTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void ratingAndNotesAreKeptInTheUserFolders();

 private:
  // Starts the window as the launcher starts the program: from the program folder, with the
  // user files chosen for the installed program.
  std::unique_ptr<TfMain> Start();
  // Searches with the initial criteria and waits for the panel to show the first row.
  int Search(TfMain& window);

  QString programFolder_;
  QString home_;
  QStringList errors_;
};

void InstalledProgramTest::initTestCase() {
  programFolder_ = qEnvironmentVariable("PELLOMAR_INSTALLED_DIR");
  if (programFolder_.isEmpty()) QSKIP("PELLOMAR_INSTALLED_DIR is not set: run through tests/package_test.sh");
  home_ = qEnvironmentVariable("HOME");
  QVERIFY(QFile::exists(programFolder_ + QStringLiteral("/Pellomar")));
  // The search reads the engine session's default directory, taken when it starts.
  QVERIFY(QDir::setCurrent(programFolder_));
}

std::unique_ptr<TfMain> InstalledProgramTest::Start() {
  quarry::DefaultSession().Close();
  TUserNotifier notifier;
  notifier.information = [this](QWidget*, const QString& text) { errors_ << text; };
  notifier.errorReport = [this](QWidget*, const QString& text) { errors_ << text; };
  notifier.beep = [] {};
  auto window =
      std::make_unique<TfMain>(MakeEngineCatalogue(programFolder_.toStdString(), kCataloguePassword), notifier,
                               TUserFiles::ForProgram((programFolder_ + "/Pellomar").toStdString()));
  window->show();
  return window;
}

int InstalledProgramTest::Search(TfMain& window) {
  QSignalSpy refreshed(&window, &TfMain::CurrentRecordRefreshed);
  window.btnShowResults->click();
  [&] { QTRY_VERIFY_WITH_TIMEOUT(!refreshed.isEmpty() && refreshed.last().at(0).toInt() != 0, 5000); }();
  return window.CurrentVideoId();
}

void InstalledProgramTest::ratingAndNotesAreKeptInTheUserFolders() {
  const QString settingsFile = home_ + QStringLiteral("/.config/pellomar/Pellomar.INI");
  const QString notesFolder = home_ + QStringLiteral("/.local/share/pellomar/notes");
  int videoId = 0;
  {
    std::unique_ptr<TfMain> window = Start();
    QCOMPARE(QString::fromStdString(window->SettingsFileName()), settingsFile);
    videoId = Search(*window);
    QVERIFY(window->cds.RecordCount() > 0);
    QVERIFY(window->lblResultsCount->text().startsWith(QString::number(window->cds.RecordCount())));

    TCurrentRecordPanel& panel = *window->pnlCurrentRecord;
    QTest::mouseClick(panel.lblStars[3], Qt::LeftButton);
    panel.mmoUserComments->setFocus(Qt::MouseFocusReason);
    QTest::keyClicks(panel.mmoUserComments, QStringLiteral("Seen twice"));
    QTest::keyClick(panel.mmoUserComments, Qt::Key_Tab);
    window->close();
  }
  QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join('\n')));
  QVERIFY(ReadAll(settingsFile).contains(QByteArray::number(videoId) + "=4"));
  QCOMPARE(ReadAll(notesFolder + QStringLiteral("/%1.vid").arg(videoId)), QByteArray("Seen twice\r\n"));

  std::unique_ptr<TfMain> second = Start();
  QCOMPARE(Search(*second), videoId);
  TCurrentRecordPanel& panel = *second->pnlCurrentRecord;
  QCOMPARE(panel.mmoUserComments->toPlainText(), QStringLiteral("Seen twice\n"));
  QCOMPARE(panel.lblStars[3]->palette().color(QPalette::WindowText), kLit);
  QVERIFY(panel.lblStars[4]->palette().color(QPalette::WindowText) != kLit);
  QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join('\n')));
}

QTEST_MAIN(InstalledProgramTest)
#include "installed_program_qtest.moc"
