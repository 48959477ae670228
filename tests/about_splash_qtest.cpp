// The about and splash window: its layout and texts, the data date read from the VIDEOS data
// file, the close button of each mode, the splash freed when the main window first shows, the
// about window opened by "&More", and the twinkle.
#include "app/about_splash.h"
#include "app/font_substitutes.h"
#include "app/main_window.h"
#include "tests/fake_catalogue.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

QDateTime At(int year, int month, int day, int hour = 0, int minute = 0) {
  return QDateTime(QDate(year, month, day), QTime(hour, minute));
}

QString ShortDate(const QDateTime& when) { return QLocale::system().toString(when.date(), QLocale::ShortFormat); }

// A folder holding a VIDEOS data file with the given modification time (none when invalid).
std::unique_ptr<QTemporaryDir> DataFolder(const QDateTime& modified) {
  auto dir = std::make_unique<QTemporaryDir>();
  if (!dir->isValid()) qFatal("no temporary folder");
  if (modified.isValid()) {
    QFile file(dir->filePath(QStringLiteral("VIDEOS.DAT")));
    if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write VIDEOS.DAT");
    file.write("table");
    file.flush();
    if (!file.setFileTime(modified, QFileDevice::FileModificationTime)) qFatal("cannot set the file time");
  }
  return dir;
}

std::unique_ptr<TfMain> MakeMainWindow() {
  auto catalogue = std::make_unique<TFakeCatalogue>();
  catalogue->answers["SELECT YEAR FROM VIDEOS ORDER BY YEAR"] = {"1985"};
  catalogue->answers["SELECT YEAR FROM VIDEOS ORDER BY YEAR DESC"] = {"1988"};
  TUserNotifier quiet;
  quiet.information = [](QWidget*, const QString&) {};
  quiet.errorReport = [](QWidget*, const QString&) {};
  quiet.beep = [] {};
  static QTemporaryDir settings;
  return std::make_unique<TfMain>(std::move(catalogue), quiet,
                                  settings.filePath(QStringLiteral("Pellomar.INI")).toStdString());
}

}  // namespace

class AboutSplashTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { InstallFontSubstitutions(); }

  // The splash tests come first: about mode, once set by "&More", stays set.
  void splashLifeCycle();
  void layout();
  void dataDate_data();
  void dataDate();
  void closeButtonByMode();
  void moreOpensTheAboutWindow();
  void twinkle();
  void picture();
};

void AboutSplashTest::splashLifeCycle() {
  QVERIFY(!AboutMode());
  std::unique_ptr<TfAboutSplash> splash = TfAboutSplash::ShowSplash();
  QPointer<TfAboutSplash> watch(splash.get());
  QVERIFY(splash->isVisible());
  QVERIFY(!splash->isModal());
  QVERIFY(!splash->btnClose->isVisible());
  QVERIFY(!splash->lblD8aD8Upd8->text().isEmpty());  // filled when shown

  auto window = MakeMainWindow();
  window->SetSplash(std::move(splash));
  QVERIFY(watch);  // kept while the main window is made
  window->show();
  QVERIFY(!watch);  // freed when the main window is first shown
  window->hide();
  window->show();  // showing again changes nothing
  QVERIFY(!AboutMode());
}

void AboutSplashTest::layout() {
  TfAboutSplash window(true);
  window.show();
  QCOMPARE(window.windowTitle(), QStringLiteral("Pellomar 1.1"));
  QCOMPARE(window.size(), QSize(437, 218));
  QCOMPARE(window.minimumSize(), QSize(437, 218));
  QCOMPARE(window.maximumSize(), QSize(437, 218));
  QVERIFY(!(window.windowFlags() & Qt::WindowMinimizeButtonHint));
  QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
  QVERIFY(window.windowFlags() & Qt::WindowSystemMenuHint);
  QCOMPARE(window.palette().color(QPalette::Window), QColor(Qt::black));
  QCOMPARE(window.font().family(), QStringLiteral("MS Sans Serif"));
  const QRect screen = window.screen()->geometry();
  QCOMPARE(window.pos(), QPoint(screen.x() + (screen.width() - 437) / 2, screen.y() + (screen.height() - 218) / 2));

  QCOMPARE(window.Panel1->geometry(), QRect(18, 18, 391, 154));
  QCOMPARE(window.lblBig->text(), QStringLiteral("Pellomar 1.1"));
  QCOMPARE(window.lblBig->palette().color(QPalette::WindowText), QColor(128, 0, 128));
  QCOMPARE(window.lblBig->font().family(), QStringLiteral("Bookman Old Style"));
  QVERIFY(window.lblBig->font().bold());
  QCOMPARE(window.lblBig->font().pixelSize(), 37);
  QVERIFY(window.Panel1->rect().contains(window.lblBig->geometry()));  // the whole caption shows

  QCOMPARE(window.lblD8aD8Upd8->geometry(), QRect(12, 86, 380, 24));
  QCOMPARE(window.lblD8aD8Upd8->palette().color(QPalette::WindowText), QColor(Qt::white));
  QCOMPARE(window.lblD8aD8Upd8->font().family(), QStringLiteral("Courier New"));
  QCOMPARE(window.lblD8aD8Upd8->font().pixelSize(), 16);
  QVERIFY(window.lblD8aD8Upd8->font().bold());
  QVERIFY(window.lblD8aD8Upd8->wordWrap());

  QCOMPARE(window.Timer1->interval(), 100);
  QVERIFY(window.Timer1->isActive());
}

void AboutSplashTest::dataDate_data() {
  QTest::addColumn<QDateTime>("modified");
  QTest::addColumn<QString>("text");
  QTest::newRow("no data file") << QDateTime() << "No Data";
  const QDateTime release = At(2002, 1, 1);
  QTest::newRow("1 January 2002") << release << "Data date = " + ShortDate(release) + " (Release 1)";
  const QDateTime firstBoundary = At(2002, 8, 12);
  QTest::newRow("12 August 2002 at midnight")
      << firstBoundary << "Data date = " + ShortDate(firstBoundary) + " (Release 1)";
  const std::pair<QDateTime, int> updates[] = {
      {At(2002, 8, 12, 0, 1), 1},    {At(2003, 3, 31, 23, 59), 1}, {At(2003, 4, 1), 2},
      {At(2003, 12, 30, 23, 59), 4}, {At(2003, 12, 31), 5},        {At(2005, 5, 15, 12), 10},
      {At(2007, 6, 30, 23, 59), 18}, {At(2007, 7, 1), 19},         {At(2026, 12, 9), 19}};
  for (const auto& [when, update] : updates) {
    QTest::newRow(qPrintable(when.toString(Qt::ISODate)))
        << when << QStringLiteral("Data date = %1 (Update %2)").arg(ShortDate(when)).arg(update);
  }
}

void AboutSplashTest::dataDate() {
  QFETCH(QDateTime, modified);
  const auto folder = DataFolder(modified);

  // Looked up in the given folder...
  {
    TfAboutSplash window(false, folder->path());
    window.show();
    QTEST(window.lblD8aD8Upd8->text(), "text");
  }
  // ...or, by default, in the current directory.
  const QString previous = QDir::currentPath();
  QVERIFY(QDir::setCurrent(folder->path()));
  {
    TfAboutSplash window(false);
    window.show();
    QTEST(window.lblD8aD8Upd8->text(), "text");
  }
  QVERIFY(QDir::setCurrent(previous));
}

void AboutSplashTest::closeButtonByMode() {
  const auto folder = DataFolder({});
  for (const bool aboutMode : {false, true}) {
    for (const bool byEscape : {false, true}) {
      const QByteArray what = QByteArray(aboutMode ? "about" : "splash") + (byEscape ? " / Escape" : " / click");
      TfAboutSplash window(aboutMode, folder->path());
      window.show();
      QVERIFY2(window.btnClose->isVisible() == aboutMode, what);
      if (byEscape) {
        QTest::keyClick(&window, Qt::Key_Escape);
      } else if (aboutMode) {
        QTest::mouseClick(window.btnClose, Qt::LeftButton);
      } else {
        continue;  // a hidden button cannot be clicked
      }
      QVERIFY2(!window.isVisible(), what);
    }
  }
}

void AboutSplashTest::moreOpensTheAboutWindow() {
  auto window = MakeMainWindow();
  window->show();
  QString caption;
  bool closeShown = false;
  bool modal = false;
  QTimer::singleShot(0, this, [&] {
    auto* about = qobject_cast<TfAboutSplash*>(QApplication::activeModalWidget());
    QVERIFY(about);
    caption = about->windowTitle();
    closeShown = about->btnClose->isVisible();
    modal = about->isModal();
    QVERIFY(!about->parentWidget());  // made without owner
    about->btnClose->click();
  });
  window->btnAbout->click();  // returns when the modal window is closed
  QCOMPARE(caption, QStringLiteral("Pellomar 1.1"));
  QVERIFY(closeShown);
  QVERIFY(modal);
  QVERIFY(AboutMode());
  // Freed when closed.
  for (QWidget* top : QApplication::topLevelWidgets()) QVERIFY(!qobject_cast<TfAboutSplash*>(top));
}

void AboutSplashTest::twinkle() {
  TfAboutSplash window(true);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  QVERIFY(!window.LastTwinkle());

  // Ticks by itself every 100 ms.
  QSignalSpy ticks(window.Timer1, &QTimer::timeout);
  QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= 2, 3000);
  QVERIFY(window.LastTwinkle());

  // Every pixel lies in the client area, every colour part is at most 254; pixels on the
  // window itself (not under the panel or the button) are drawn.
  bool seenDrawn = false;
  for (int i = 0; i < 400; ++i) {
    window.Timer1Timer();
    const TfAboutSplash::TTwinkle& t = *window.LastTwinkle();
    QVERIFY(window.rect().contains(t.colouredAt));
    QVERIFY(window.rect().contains(t.blackAt));
    QVERIFY(t.colour.red() <= 254 && t.colour.green() <= 254 && t.colour.blue() <= 254);
    const bool bothOnTheWindow = !window.childAt(t.colouredAt) && !window.childAt(t.blackAt);
    if (!seenDrawn && bothOnTheWindow && t.colouredAt != t.blackAt && t.colour != QColor(Qt::black)) {
      const QImage image = window.grab().toImage();
      QCOMPARE(image.pixelColor(t.colouredAt), t.colour);
      QCOMPARE(image.pixelColor(t.blackAt), QColor(Qt::black));
      seenDrawn = true;
    }
  }
  QVERIFY(seenDrawn);
}

// The about window, drawn offscreen; saved as about_splash.png into the folder named by
// PELLOMAR_SCREENSHOT_DIR when it is set.
void AboutSplashTest::picture() {
  const auto folder = DataFolder(At(2005, 5, 15, 12));
  TfAboutSplash window(true, folder->path());
  window.show();
  for (int i = 0; i < 200; ++i) window.Timer1Timer();
  const QImage image = window.grab().toImage();
  QCOMPARE(image.size(), QSize(437, 218));
  // The caption is drawn in purple on the black panel.
  const QRect caption = window.lblBig->geometry().translated(window.Panel1->pos());
  int purple = 0;
  for (int y = caption.top(); y <= caption.bottom(); ++y) {
    for (int x = caption.left(); x <= caption.right(); ++x) purple += image.pixelColor(x, y) == QColor(128, 0, 128);
  }
  QVERIFY(purple > 100);
  QCOMPARE(image.pixelColor(window.Panel1->geometry().center() + QPoint(0, 40)), QColor(Qt::black));
  const QByteArray dir = qgetenv("PELLOMAR_SCREENSHOT_DIR");
  if (!dir.isEmpty()) QVERIFY(image.save(QString::fromLocal8Bit(dir) + "/about_splash.png"));
}

QTEST_MAIN(AboutSplashTest)
#include "about_splash_qtest.moc"
