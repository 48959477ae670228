// Pellomar's window over real catalogue tables on the engine: the program's own catalogue
// (catalogue/*.csv) and a slice of the shared one, built by the catalogue builder into a
// temporary folder. Every search is checked against the films worked out directly from the
// CSV rows, so the statements, the engine and the result set are checked together.
#include "app/current_record_panel.h"
#include "app/engine_catalogue.h"
#include "app/font_substitutes.h"
#include "app/main_window.h"
#include "app/record_navigator.h"
#include "dbaccess/quarry_session.h"
#include "dbaccess/session_list.h"
#include "grid/result_grid.h"
#include "tools/common/catalogue_schema.h"
#include "tools/common/csv_loader.h"
#include "tools/common/csv_reader.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <tuple>

namespace {

// The rows of a catalogue folder's five CSV files.
struct TCsvCatalogue {
  struct TVideo {
    std::string title, year, rating, length;
  };
  std::map<int, TVideo> videos;
  std::map<int, std::string> castMembers, directors;
  std::vector<std::pair<int, int>> videoCast, videoDirectors;  // (VideoID, person id)

  static std::vector<quarry::tools::TCsvRecord> Rows(const std::string& folder, const char* file) {
    auto rows = quarry::tools::ReadAllCsv(quarry::tools::ReadWholeFile(folder + "/" + file));
    if (!rows.empty()) rows.erase(rows.begin());  // the header
    return rows;
  }

  static TCsvCatalogue Read(const std::string& folder) {
    TCsvCatalogue c;
    for (const auto& r : Rows(folder, "videos.csv")) {
      c.videos[std::stoi(r.Fields[0])] = {r.Fields[1], r.Fields[2], r.Fields[3], r.Fields[4]};
    }
    for (const auto& r : Rows(folder, "castmembers.csv")) c.castMembers[std::stoi(r.Fields[0])] = r.Fields[1];
    for (const auto& r : Rows(folder, "directors.csv")) c.directors[std::stoi(r.Fields[0])] = r.Fields[1];
    for (const auto& r : Rows(folder, "videos_castmembers.csv")) {
      c.videoCast.emplace_back(std::stoi(r.Fields[0]), std::stoi(r.Fields[1]));
    }
    for (const auto& r : Rows(folder, "videos_directors.csv")) {
      c.videoDirectors.emplace_back(std::stoi(r.Fields[0]), std::stoi(r.Fields[1]));
    }
    return c;
  }

  // The videos linked to the person through the links.
  std::set<int> VideosOf(const std::vector<std::pair<int, int>>& links, int person) const {
    std::set<int> found;
    for (const auto& [video, who] : links) {
      if (who == person && videos.count(video)) found.insert(video);
    }
    return found;
  }

  // The person with the most videos (the lowest id among equals).
  static int Busiest(const std::vector<std::pair<int, int>>& links) {
    std::map<int, int> counts;
    for (const auto& link : links) ++counts[link.second];
    return std::max_element(counts.begin(), counts.end(),
                            [](const auto& a, const auto& b) { return a.second < b.second; })
        ->first;
  }
};

// What the search of one case should list, worked out from the CSV rows.
struct TCriteria {
  std::string castMember;          // empty: all cast members
  std::string director;            // empty: all directors
  std::string from, to;            // empty: all years
  std::string ratings = "111111";  // G, PG, PG-13, NR, R, NC-17
};

TCriteria WithCastMember(const std::string& name) {
  TCriteria criteria;
  criteria.castMember = name;
  return criteria;
}

TCriteria WithDirector(const std::string& name) {
  TCriteria criteria;
  criteria.director = name;
  return criteria;
}

const char* const kRatingTexts[] = {"G", "PG", "PG-13", "NR", "R", "NC-17"};

std::set<int> Expected(const TCsvCatalogue& c, const TCriteria& criteria) {
  const auto personId = [](const std::map<int, std::string>& people, const std::string& name) {
    for (const auto& [id, who] : people) {
      if (who == name) return id;
    }
    qFatal("no person %s", name.c_str());
  };
  std::set<int> found;
  for (const auto& [id, video] : c.videos) found.insert(id);
  const auto keep = [&found](const std::set<int>& allowed) {
    std::set<int> both;
    std::set_intersection(found.begin(), found.end(), allowed.begin(), allowed.end(),
                          std::inserter(both, both.begin()));
    found = both;
  };
  if (!criteria.castMember.empty()) keep(c.VideosOf(c.videoCast, personId(c.castMembers, criteria.castMember)));
  if (!criteria.director.empty()) keep(c.VideosOf(c.videoDirectors, personId(c.directors, criteria.director)));
  std::set<int> matching;
  for (int id : found) {
    const auto& video = c.videos.at(id);
    // Years compare as text, as the statement compares them.
    if (!criteria.from.empty() && (video.year < criteria.from || video.year > criteria.to)) continue;
    if (criteria.ratings != "111111") {
      bool rated = false;
      for (int i = 0; i < 6; ++i) rated = rated || (criteria.ratings[i] == '1' && video.rating == kRatingTexts[i]);
      if (!rated) continue;
    }
    matching.insert(id);
  }
  return matching;
}

// Runs the catalogue builder on a folder of CSV files.
void BuildTables(const QString& source, const QString& target) {
  QProcess builder;
  builder.start(QStringLiteral(PELLOMAR_CATALOGUE_BUILDER), {source, target});
  if (!builder.waitForFinished(600000) || builder.exitStatus() != QProcess::NormalExit || builder.exitCode() != 0) {
    qFatal("the catalogue builder failed: %s", builder.readAllStandardError().constData());
  }
}

// A CSV field, quoted, with its quotes doubled.
std::string CsvField(const std::string& text) {
  std::string field = "\"";
  for (char ch : text) {
    if (ch == '"') field += '"';
    field += ch;
  }
  return field + '"';
}

void WriteCsv(const QString& file, const std::string& header, const std::vector<std::vector<std::string>>& rows) {
  std::string text = header + "\r\n";
  for (const auto& row : rows) {
    for (std::size_t i = 0; i < row.size(); ++i) text += (i ? "," : "") + CsvField(row[i]);
    text += "\r\n";
  }
  QFile out(file);
  if (!out.open(QIODevice::WriteOnly) || out.write(text.data(), static_cast<qint64>(text.size())) < 0) {
    qFatal("cannot write %s", qPrintable(file));
  }
}

// The window on the tables of a folder, started as the program is: from that folder.
struct TCatalogueWindow {
  QStringList information;
  QStringList errors;
  std::unique_ptr<TfMain> window;

  TCatalogueWindow(const QString& folder, const QString& settingsFile) {
    // The search reads the engine session's default directory, taken when it starts.
    QDir::setCurrent(folder);
    quarry::DefaultSession().Close();
    TUserNotifier notifier;
    notifier.information = [this](QWidget*, const QString& text) { information << text; };
    notifier.errorReport = [this](QWidget*, const QString& text) { errors << text; };
    notifier.beep = [] {};
    window = std::make_unique<TfMain>(MakeEngineCatalogue(folder.toStdString(), quarry::tools::kCataloguePassword),
                                      notifier, settingsFile.toStdString());
    window->show();
  }

  // Chooses a name in a list as the user does.
  static void Choose(QComboBox* box, const std::string& name) {
    const int index = box->findText(QString::fromStdString(name), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0) qFatal("%s is not in the list", name.c_str());
    box->setCurrentIndex(index);
    emit box->activated(index);
  }

  static void TypeYear(QComboBox* box, const std::string& year) {
    box->lineEdit()->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, QString::fromStdString(year));
  }

  void SetCriteria(const TCriteria& criteria) {
    TfMain& w = *window;
    if (!w.ckbxAllCastMembers->isChecked()) w.ckbxAllCastMembers->click();
    if (!w.ckbxAllDirectors->isChecked()) w.ckbxAllDirectors->click();
    if (!w.ckbxAllYears->isChecked()) w.ckbxAllYears->click();
    if (!w.ckbxAllRatings->isChecked()) w.ckbxAllRatings->click();
    if (!criteria.castMember.empty()) Choose(w.cmbxCastMembers, criteria.castMember);
    if (!criteria.director.empty()) Choose(w.cmbxDirectors, criteria.director);
    if (!criteria.from.empty()) {
      TypeYear(w.cmbxFrom, criteria.from);
      TypeYear(w.cmbxTo, criteria.to);
    }
    for (int i = 0; i < 6; ++i) {
      if (w.ratingBoxes[i]->isChecked() != (criteria.ratings[i] == '1')) w.ratingBoxes[i]->click();
    }
  }

  // The result's VideoIDs in result order, each checked to stand in title order.
  std::vector<int> ResultInTitleOrder() const {
    const TfMain& w = *window;
    std::vector<int> ids;
    std::string previous;
    for (int position = 0; position < w.cds.RecordCount(); ++position) {
      ids.push_back(w.cds.AsIntegerAt(position, 0));
      const std::string title = w.cds.AsStringAt(position, w.cds.FindField("Title"));
      if (title < previous) qWarning("\"%s\" listed after \"%s\"", title.c_str(), previous.c_str());
      if (title < previous) return {};
      previous = title;
    }
    return ids;
  }
};

std::vector<int> Sorted(std::vector<int> ids) {
  std::sort(ids.begin(), ids.end());
  return ids;
}

std::vector<int> AsVector(const std::set<int>& ids) { return {ids.begin(), ids.end()}; }

}  // namespace

class CatalogueWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void initialCriteriaListEveryFilmOnce();
  void searches_data();
  void searches();
  void currentRecordPanelShowsTheCredits();
  void missingCatalogueIsReported();
  void unreadableCatalogueIsReported();
  void quotedNamesAreFound();

 private:
  QTemporaryDir work_;
  QString own_;  // the program's catalogue, built
  TCsvCatalogue csv_;
  std::unique_ptr<TCatalogueWindow> w_;

  QString Settings() const { return work_.filePath(QStringLiteral("Pellomar.INI")); }
  TCatalogueWindow& OwnWindow() {
    if (!w_) w_ = std::make_unique<TCatalogueWindow>(own_, Settings());
    return *w_;
  }
};

void CatalogueWindowTest::initTestCase() {
  InstallFontSubstitutions();
  QVERIFY(work_.isValid());
  const char* source = std::getenv("PELLOMAR_SOURCE_DIR");
  QVERIFY2(source != nullptr, "PELLOMAR_SOURCE_DIR is not set");
  const QString csvFolder = QString::fromUtf8(source) + QStringLiteral("/catalogue");
  own_ = work_.filePath(QStringLiteral("own"));
  BuildTables(csvFolder, own_);
  csv_ = TCsvCatalogue::Read(csvFolder.toStdString());
  QVERIFY(csv_.videos.size() > 100);
}

void CatalogueWindowTest::initialCriteriaListEveryFilmOnce() {
  TfMain& window = *OwnWindow().window;
  std::set<std::string> years;
  for (const auto& [id, video] : csv_.videos) years.insert(video.year);
  QCOMPARE(window.cmbxFrom->currentText().toStdString(), *years.begin());
  QCOMPARE(window.cmbxTo->currentText().toStdString(), *years.rbegin());
  QCOMPARE(window.cmbxFrom->count(), std::stoi(*years.rbegin()) - std::stoi(*years.begin()) + 1);
  QCOMPARE(window.cmbxCastMembers->count(), static_cast<int>(csv_.castMembers.size()));
  QCOMPARE(window.cmbxDirectors->count(), static_cast<int>(csv_.directors.size()));

  window.btnShowResults->click();
  QVERIFY2(OwnWindow().errors.isEmpty(), qPrintable(OwnWindow().errors.join('\n')));
  QCOMPARE(QString::fromStdString(window.SearchStatement()),
           QStringLiteral("SELECT DISTINCT V.VIDEOID, V.TITLE, V.YEAR, V.INDUSTRYRATING, V.LENGTH\r\n"
                          "FROM VIDEOS V\r\n ORDER BY V.TITLE"));
  const std::vector<int> ids = OwnWindow().ResultInTitleOrder();
  QCOMPARE(static_cast<std::size_t>(window.cds.RecordCount()), csv_.videos.size());
  QCOMPARE(Sorted(ids), AsVector(Expected(csv_, {})));
  QCOMPARE(window.lblResultsCount->text(), QStringLiteral("%1 videos found").arg(csv_.videos.size()));
  // The grid shows every row, with the fields in place.
  QCOMPARE(window.grdcds->model()->rowCount(), static_cast<int>(csv_.videos.size()));
  const int first = ids.front();
  QCOMPARE(window.cds.FieldByName("Year").AsString(), csv_.videos.at(first).year);
  QCOMPARE(window.cds.FieldByName("IndustryRating").AsString(), csv_.videos.at(first).rating);
}

void CatalogueWindowTest::searches_data() {
  QTest::addColumn<int>("kind");  // which criteria, made from the rows below
  QTest::newRow("cast member") << 0;
  QTest::newRow("director") << 1;
  QTest::newRow("cast member and director") << 2;
  QTest::newRow("year span") << 3;
  QTest::newRow("two-digit years") << 4;
  QTest::newRow("rating subset") << 5;
  QTest::newRow("only NC-17") << 6;
  QTest::newRow("cast member, years and ratings") << 7;
}

void CatalogueWindowTest::searches() {
  QFETCH(int, kind);
  const std::string actor = csv_.castMembers.at(TCsvCatalogue::Busiest(csv_.videoCast));
  const std::string director = csv_.directors.at(TCsvCatalogue::Busiest(csv_.videoDirectors));
  // A director who worked with the busiest actor.
  std::string partner;
  const std::set<int> actorFilms = Expected(csv_, WithCastMember(actor));
  for (const auto& [video, who] : csv_.videoDirectors) {
    if (actorFilms.count(video)) {
      partner = csv_.directors.at(who);
      break;
    }
  }
  QVERIFY(!partner.empty());

  TCriteria criteria;
  switch (kind) {
  case 0: criteria.castMember = actor; break;
  case 1: criteria.director = director; break;
  case 2:
    criteria.castMember = actor;
    criteria.director = partner;
    break;
  case 3:
    criteria.from = "1950";
    criteria.to = "1959";
    break;
  case 4:
    criteria.from = "85";
    criteria.to = "03";
    break;
  case 5: criteria.ratings = "110101"; break;  // no PG-13, no R
  case 6: criteria.ratings = "000001"; break;
  case 7: {
    // The actor's earlier half of films, less the rating of the last of them.
    std::vector<std::pair<std::string, std::string>> yearRatings;
    for (int video : actorFilms) yearRatings.emplace_back(csv_.videos.at(video).year, csv_.videos.at(video).rating);
    std::sort(yearRatings.begin(), yearRatings.end());
    criteria.castMember = actor;
    criteria.from = yearRatings.front().first;
    criteria.to = yearRatings[yearRatings.size() / 2].first;
    for (int i = 0; i < 6; ++i) {
      if (yearRatings.front().second != yearRatings[yearRatings.size() / 2].second &&
          yearRatings[yearRatings.size() / 2].second == kRatingTexts[i]) {
        criteria.ratings[static_cast<std::size_t>(i)] = '0';
      }
    }
    break;
  }
  }
  TCatalogueWindow& w = OwnWindow();
  w.SetCriteria(criteria);
  w.window->btnShowResults->click();
  QVERIFY2(w.errors.isEmpty(), qPrintable(w.errors.join('\n')));
  QVERIFY2(w.information.isEmpty(), qPrintable(w.information.join('\n')));

  if (kind == 4) criteria.from = "1985", criteria.to = "2003";
  const std::vector<int> expected = AsVector(Expected(csv_, criteria));
  QVERIFY(!expected.empty());
  QVERIFY(expected.size() < csv_.videos.size());
  const std::vector<int> ids = w.ResultInTitleOrder();
  QCOMPARE(ids.size(), expected.size());
  QCOMPARE(Sorted(ids), expected);
  QCOMPARE(w.window->grdcds->model()->rowCount(), static_cast<int>(expected.size()));
}

void CatalogueWindowTest::currentRecordPanelShowsTheCredits() {
  TCatalogueWindow& w = OwnWindow();
  const std::string director = csv_.directors.at(TCsvCatalogue::Busiest(csv_.videoDirectors));
  w.SetCriteria(WithDirector(director));
  w.window->btnShowResults->click();
  QVERIFY(w.window->cds.RecordCount() > 1);
  w.window->dbnav->Next();
  QSignalSpy refreshed(w.window.get(), &TfMain::CurrentRecordRefreshed);
  QVERIFY(refreshed.wait(3000));
  const int video = w.window->CurrentVideoId();
  QCOMPARE(refreshed.takeLast().at(0).toInt(), video);

  // The panel's lists: every name linked to the video, once each.
  const auto names = [](const QListWidget* list) {
    std::multiset<std::string> all;
    for (int i = 0; i < list->count(); ++i) all.insert(list->item(i)->text().toStdString());
    return all;
  };
  const auto expected = [&](const std::vector<std::pair<int, int>>& links, const std::map<int, std::string>& people) {
    std::set<int> ids;
    for (const auto& [v, who] : links) {
      if (v == video) ids.insert(who);
    }
    std::multiset<std::string> all;
    for (int id : ids) all.insert(people.at(id));
    return all;
  };
  auto* panel = w.window->pnlCurrentRecord;
  QCOMPARE(names(panel->findChild<QListWidget*>(QStringLiteral("lstbxDirectors"))),
           expected(csv_.videoDirectors, csv_.directors));
  QCOMPARE(names(panel->findChild<QListWidget*>(QStringLiteral("lstbxCastMembers"))),
           expected(csv_.videoCast, csv_.castMembers));
  QVERIFY(w.errors.isEmpty());
}

void CatalogueWindowTest::missingCatalogueIsReported() {
  w_.reset();
  QTemporaryDir empty;
  TCatalogueWindow w(empty.path(), Settings());
  // The year lists stay empty and the window still opens; the engine says what is missing.
  QVERIFY(w.window->isVisible());
  QCOMPARE(w.window->cmbxFrom->count(), 0);
  QVERIFY(!w.errors.isEmpty());
  QVERIFY2(w.errors.front().contains(QStringLiteral("VIDEOS")), qPrintable(w.errors.front()));
  w.errors.clear();
  w.window->btnShowResults->click();
  QVERIFY(!w.errors.isEmpty());
  QVERIFY(!w.window->cds.Active());
  QCOMPARE(w.window->lblResultsCount->text(), QStringLiteral("0 records (Select criteria above and Search)"));
}

void CatalogueWindowTest::unreadableCatalogueIsReported() {
  w_.reset();
  QTemporaryDir damaged;
  QVERIFY(QDir(own_).entryList(QDir::Files).size() >= 10);
  for (const QString& file : QDir(own_).entryList(QDir::Files)) {
    QVERIFY(QFile::copy(own_ + '/' + file, damaged.filePath(file)));
  }
  // The data file's header overwritten with rubbish.
  QFile videos(damaged.filePath(QStringLiteral("VIDEOS.DAT")));
  QVERIFY(videos.open(QIODevice::ReadWrite));
  QVERIFY(videos.write(QByteArray(256, '\x5a')) == 256);
  videos.close();

  TCatalogueWindow w(damaged.path(), Settings());
  QVERIFY(w.window->isVisible());
  QCOMPARE(w.window->cmbxFrom->count(), 0);
  QVERIFY(!w.errors.isEmpty());
  w.errors.clear();
  w.window->btnShowResults->click();
  QVERIFY(!w.errors.isEmpty());
  QVERIFY(!w.window->cds.Active());
}

void CatalogueWindowTest::quotedNamesAreFound() {
  const char* shared = std::getenv("PELLOMAR_SHARED_CATALOGUE");
  if (shared == nullptr || !QFile::exists(QString::fromUtf8(shared) + QStringLiteral("/videos.csv"))) {
    QSKIP("the shared catalogue is absent (PELLOMAR_SHARED_CATALOGUE)");
  }
  w_.reset();
  const TCsvCatalogue large = TCsvCatalogue::Read(shared);

  // A slice of the shared catalogue: every name, and the films of the names with a double
  // quote in them with all their credits.
  std::set<int> quoted;
  for (const auto& [id, name] : large.castMembers) {
    if (name.find('"') != std::string::npos) quoted.insert(id);
  }
  QVERIFY(!quoted.empty());
  std::set<int> films;
  for (const auto& [video, who] : large.videoCast) {
    if (quoted.count(who) && large.videos.count(video)) films.insert(video);
  }
  const QString slice = work_.filePath(QStringLiteral("slice-csv"));
  QVERIFY(QDir().mkpath(slice));
  std::vector<std::vector<std::string>> rows;
  for (int video : films) {
    const auto& v = large.videos.at(video);
    rows.push_back({std::to_string(video), v.title, v.year, v.rating, v.length});
  }
  WriteCsv(slice + "/videos.csv", "VIDEOID,TITLE,YEAR,INDUSTRYRATING,LENGTH", rows);
  for (const auto& [file, header, people] :
       {std::tuple{"castmembers.csv", "CASTMEMBERID,CASTMEMBER", &large.castMembers},
        std::tuple{"directors.csv", "DIRECTORID,DIRECTOR", &large.directors}}) {
    rows.clear();
    for (const auto& [id, name] : *people) rows.push_back({std::to_string(id), name});
    WriteCsv(slice + '/' + file, header, rows);
  }
  for (const auto& [file, header, links] :
       {std::tuple{"videos_castmembers.csv", "VIDEOID,CASTMEMBERID", &large.videoCast},
        std::tuple{"videos_directors.csv", "VIDEOID,DIRECTORID", &large.videoDirectors}}) {
    rows.clear();
    for (const auto& [video, who] : *links) {
      if (films.count(video)) rows.push_back({std::to_string(video), std::to_string(who)});
    }
    WriteCsv(slice + '/' + file, header, rows);
  }
  const QString tables = work_.filePath(QStringLiteral("slice"));
  BuildTables(slice, tables);
  const TCsvCatalogue sliced = TCsvCatalogue::Read(slice.toStdString());

  TCatalogueWindow w(tables, Settings());
  QCOMPARE(w.window->cmbxCastMembers->count(), static_cast<int>(large.castMembers.size()));
  for (int id : quoted) {
    const std::string& name = large.castMembers.at(id);
    w.SetCriteria(WithCastMember(name));
    w.window->btnShowResults->click();
    QVERIFY2(w.errors.isEmpty(), qPrintable(w.errors.join('\n')));
    QVERIFY2(
        QString::fromStdString(w.window->SearchStatement()).contains(QStringLiteral("(C.CASTMEMBERID = %1)").arg(id)),
        name.c_str());
    QCOMPARE(Sorted(w.ResultInTitleOrder()), AsVector(Expected(sliced, WithCastMember(name))));
  }
}

QTEST_MAIN(CatalogueWindowTest)
#include "catalogue_window_qtest.moc"
