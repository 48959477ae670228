// Window tests of the result grid, offscreen: title clicks sort both ways and by several keys,
// the triangles' states and pixels, the title-click event, column configuration files, and the
// current row following the result set and back.
#include "grid/result_grid.h"

#include "dbaccess/client_data_set.h"
#include "dbaccess/vector_row_source.h"
#include "grid/catalogue_grid_columns.h"
#include "grid/column_config_file.h"

#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

using namespace quarry;

namespace {

constexpr int kTitle = 1;  // data columns of CatalogueGridColumns()
constexpr int kYear = 2;
constexpr int kRating = 3;

TVectorRowSource VideoRows() {
  TVectorRowSource source({{"VideoID", TResultFieldKind::Integer, 0},
                           {"Title", TResultFieldKind::String, 80},
                           {"IndustryRating", TResultFieldKind::String, 9},
                           {"Length", TResultFieldKind::String, 9},
                           {"Year", TResultFieldKind::String, 10}});
  source.AddRow({"1", "Zelig", "PG", "79", "1983"});
  source.AddRow({"2", "alien", "R", "117", "1979"});
  source.AddRow({"3", "Brazil", "R", "132", "1985"});
  source.AddRow({"4", "Heat", "R", "170", "1995"});
  source.AddRow({"5", "Amadeus", "PG", "160", "1984"});
  source.AddRow({"6", "Heat", "pg", "100", "1986"});
  return source;
}

std::vector<int> Ids(const TClientDataSet& cds) {
  std::vector<int> ids;
  for (int i = 0; i < cds.RecordCount(); ++i) ids.push_back(cds.AsIntegerAt(i, 0));
  return ids;
}

}  // namespace

class ResultGridTest : public QObject {
  Q_OBJECT

 private:
  TVectorRowSource source_ = VideoRows();
  std::unique_ptr<TClientDataSet> cds_;
  std::unique_ptr<TResultGrid> grid_;

  void ClickTitle(int column, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QHeaderView* title = grid_->horizontalHeader();
    const QPoint at(title->sectionViewportPosition(column) + title->sectionSize(column) / 2, title->height() / 2);
    QTest::mouseClick(title->viewport(), Qt::LeftButton, modifiers, at);
  }
  TArrowType ArrowOf(int column) const { return grid_->Arrow(grid_->GridColumnOf(column)); }
  const TClientIndexDef& SortIndex() const {
    const TClientIndexDef* def = cds_->FindIndex("SortGrid");
    if (def == nullptr) qFatal("no SortGrid index");
    return *def;
  }

 private slots:
  void init() {
    cds_ = std::make_unique<TClientDataSet>();
    cds_->SetSource(&source_);
    cds_->Open();
    grid_ = std::make_unique<TResultGrid>();
    grid_->resize(600, 200);
    grid_->SetDataSet(cds_.get());
    grid_->SetColumns(CatalogueGridColumns());
    grid_->show();
    QVERIFY(QTest::qWaitForWindowExposed(grid_.get()));
  }
  void cleanup() {
    grid_.reset();
    cds_.reset();
  }

  void columnSettings() {
    QCOMPARE(grid_->model()->columnCount(), 5);
    QVERIFY(grid_->isColumnHidden(0));
    QCOMPARE(grid_->columnWidth(kTitle), 340);
    QCOMPARE(grid_->columnWidth(kYear), 40);
    QCOMPARE(grid_->model()->headerData(kRating, Qt::Horizontal).toString(), QStringLiteral("Rating"));
    QCOMPARE(grid_->model()->headerData(4, Qt::Horizontal).toString(), QStringLiteral("Running time"));
    QCOMPARE(grid_->model()->headerData(kYear, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>(),
             Qt::AlignHCenter | Qt::AlignVCenter);
    // Columns bind by field name, whatever the result set's field order.
    QCOMPARE(grid_->model()->index(0, kYear).data().toString(), QStringLiteral("1983"));
    QCOMPARE(grid_->model()->index(1, kRating).data().toString(), QStringLiteral("R"));
    QVERIFY(grid_->editTriggers() == QAbstractItemView::NoEditTriggers);
    QVERIFY(!(grid_->model()->flags(grid_->model()->index(0, 1)) & Qt::ItemIsEditable));
  }

  void titleClickSortsBothWays() {
    ClickTitle(kTitle);
    QCOMPARE(cds_->IndexName(), std::string("SortGrid"));
    QCOMPARE(SortIndex().fields, std::string("Title"));
    QVERIFY(SortIndex().case_insensitive);
    QVERIFY(!SortIndex().descending);
    QCOMPARE(Ids(*cds_), (std::vector<int>{2, 5, 3, 4, 6, 1}));
    QCOMPARE(ArrowOf(kTitle), atUp);
    QCOMPARE(grid_->model()->index(0, kTitle).data().toString(), QStringLiteral("alien"));

    ClickTitle(kTitle);
    QVERIFY(SortIndex().descending);
    QCOMPARE(Ids(*cds_), (std::vector<int>{1, 4, 6, 3, 5, 2}));
    QCOMPARE(ArrowOf(kTitle), atDown);

    ClickTitle(kTitle);
    QVERIFY(!SortIndex().descending);
    QCOMPARE(Ids(*cds_), (std::vector<int>{2, 5, 3, 4, 6, 1}));
    QCOMPARE(ArrowOf(kTitle), atUp);
  }

  void plainClickReplacesTheSort() {
    ClickTitle(kTitle);
    ClickTitle(kYear);
    QCOMPARE(SortIndex().fields, std::string("Year"));
    QCOMPARE(ArrowOf(kTitle), atNone);
    QCOMPARE(ArrowOf(kYear), atUp);
    QCOMPARE(Ids(*cds_), (std::vector<int>{2, 1, 5, 3, 6, 4}));
  }

  void shiftClickAddsAndRemovesKeys() {
    ClickTitle(kTitle);
    ClickTitle(kYear, Qt::ShiftModifier);
    QCOMPARE(SortIndex().fields, std::string("Title;Year"));
    QVERIFY(!SortIndex().descending);
    QCOMPARE(ArrowOf(kTitle), atUp);
    QCOMPARE(ArrowOf(kYear), atUp);
    QCOMPARE(Ids(*cds_), (std::vector<int>{2, 5, 3, 6, 4, 1}));  // Heat 1986 before Heat 1995

    ClickTitle(kYear, Qt::ShiftModifier);
    QCOMPARE(SortIndex().desc_fields, std::string("Year"));
    QCOMPARE(ArrowOf(kTitle), atUp);
    QCOMPARE(ArrowOf(kYear), atDown);
    QCOMPARE(Ids(*cds_), (std::vector<int>{2, 5, 3, 4, 6, 1}));

    // Year leaves the sort; Title stays ascending with its triangle.
    ClickTitle(kYear, Qt::ShiftModifier);
    QCOMPARE(SortIndex().fields, std::string("Title"));
    QVERIFY(!SortIndex().descending);
    QCOMPARE(ArrowOf(kTitle), atUp);
    QCOMPARE(ArrowOf(kYear), atNone);
    QCOMPARE(Ids(*cds_), (std::vector<int>{2, 5, 3, 4, 6, 1}));

    // A plain click after a multi-key sort keeps only the clicked column, reversed.
    ClickTitle(kTitle, Qt::ShiftModifier);
    ClickTitle(kRating, Qt::ShiftModifier);
    ClickTitle(kTitle);
    QCOMPARE(SortIndex().fields, std::string("Title"));
    QCOMPARE(ArrowOf(kRating), atNone);
  }

  void shiftClickOnTheOnlyKeyEndsTheSort() {
    ClickTitle(kRating, Qt::ShiftModifier);
    QCOMPARE(ArrowOf(kRating), atUp);
    ClickTitle(kRating, Qt::ShiftModifier);
    QCOMPARE(ArrowOf(kRating), atDown);
    ClickTitle(kRating, Qt::ShiftModifier);  // no key left: arrival order, no error
    QCOMPARE(ArrowOf(kRating), atNone);
    QVERIFY(cds_->FindIndex("SortGrid") == nullptr);
    QCOMPARE(cds_->IndexName(), std::string());
    QCOMPARE(Ids(*cds_), (std::vector<int>{1, 2, 3, 4, 5, 6}));
  }

  void ratingSortsWithoutCase() {
    ClickTitle(kRating);
    QCOMPARE(SortIndex().fields, std::string("IndustryRating"));
    QCOMPARE(Ids(*cds_), (std::vector<int>{1, 5, 6, 2, 3, 4}));  // "pg" among "PG"
  }

  void titleSortOffRaisesOnlyTheEvent() {
    QSignalSpy spy(grid_.get(), &TResultGrid::TitleClick);
    grid_->SetTitleSort(false);
    ClickTitle(kYear);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), kYear);
    QVERIFY(cds_->FindIndex("SortGrid") == nullptr);
    QCOMPARE(ArrowOf(kYear), atNone);
    grid_->SetTitleSort(true);
    ClickTitle(kYear);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(ArrowOf(kYear), atUp);
  }

  void arrowsFollowTheIndicatorColumn() {
    ClickTitle(kTitle);
    QCOMPARE(grid_->Arrow(kTitle + 1), atUp);  // indicator shown: grid column 0 is the indicator
    grid_->verticalHeader()->hide();
    QCOMPARE(grid_->GridColumnOf(kTitle), kTitle);
    grid_->SortByColumn(kRating, false);
    QCOMPARE(grid_->Arrow(kRating), atUp);
    QCOMPARE(grid_->Arrow(kTitle + 1), atNone);  // a plain sort cleared every arrow
    QCOMPARE(grid_->Arrow(-1), atNone);
    QCOMPARE(grid_->Arrow(TResultGrid::kArrowColumns), atNone);
  }

  void triangleIsDrawnInTwoTones_data() {
    QTest::addColumn<int>("clicks");
    QTest::addColumn<bool>("up");
    QTest::newRow("ascending") << 1 << true;
    QTest::newRow("descending") << 2 << false;
  }
  void triangleIsDrawnInTwoTones() {
    QFETCH(int, clicks);
    QFETCH(bool, up);
    const QColor shade(255, 0, 0);
    const QColor highlight(0, 0, 255);
    grid_->SetArrowShade(shade);
    grid_->SetArrowHighlight(highlight);
    for (int i = 0; i < clicks; ++i) ClickTitle(kYear);
    QHeaderView* title = grid_->horizontalHeader();
    const QImage image = title->grab().toImage();
    QCOMPARE(image.devicePixelRatio(), 1.0);
    const int right = title->sectionViewportPosition(kYear) + title->sectionSize(kYear);
    const int m = title->height() / 2 - 7;
    const int base = up ? m + 10 : m + 4;
    const int apex = up ? m + 4 : m + 10;
    // The base runs in the highlight colour from R-10 to R-4.
    for (int x = right - 10; x <= right - 4; ++x) QCOMPARE(image.pixelColor(x, base), highlight);
    // Halfway between base and apex: the left edge in the shade, the right edge in the highlight.
    const int mid = (base + apex) / 2;
    bool leftShade = false, rightHighlight = false;
    for (int x = right - 10; x <= right - 7; ++x) leftShade |= image.pixelColor(x, mid) == shade;
    for (int x = right - 7; x <= right - 4; ++x) rightHighlight |= image.pixelColor(x, mid) == highlight;
    QVERIFY(leftShade);
    QVERIFY(rightHighlight);
    QVERIFY(image.pixelColor(right - 7, apex) == highlight || image.pixelColor(right - 7, apex) == shade);
  }

  void narrowColumnIsWidenedByItsTriangle() {
    grid_->setColumnWidth(4, 20);  // "Running time"
    const int caption =
        QFontMetrics(grid_->horizontalHeader()->font()).horizontalAdvance(QStringLiteral("Running time"));
    ClickTitle(4);
    grid_->horizontalHeader()->grab();  // draws the triangle
    QTRY_COMPARE(grid_->columnWidth(4), caption + 15);
    QCOMPARE(grid_->Columns()[4].width, caption + 15);
  }

  void currentRowFollowsTheResultSetAndBack() {
    QCOMPARE(grid_->currentIndex().row(), 0);
    cds_->SetRecNo(4);
    QCOMPARE(grid_->currentIndex().row(), 3);
    cds_->Last();
    QCOMPARE(grid_->currentIndex().row(), 5);

    std::vector<int> scrolls;
    cds_->SetAfterScroll([&](TClientDataSet& c) { scrolls.push_back(c.RecNo()); });
    grid_->setCurrentIndex(grid_->model()->index(2, kTitle));
    QCOMPARE(cds_->RecNo(), 3);
    QCOMPARE(scrolls, std::vector<int>{3});
    QTest::keyClick(grid_.get(), Qt::Key_Down);
    QCOMPARE(cds_->RecNo(), 4);

    // Sorting keeps the same video current and the grid shows it at its new row.
    const int video = cds_->Fields(0).AsInteger();
    ClickTitle(kTitle);
    QCOMPARE(cds_->Fields(0).AsInteger(), video);
    QCOMPARE(grid_->currentIndex().row(), cds_->RecNo() - 1);
    QCOMPARE(grid_->currentIndex().column(), kTitle);
  }

  void reopeningKeepsSortAndArrows() {
    ClickTitle(kYear);
    ClickTitle(kYear);
    cds_->Close();
    QCOMPARE(grid_->model()->rowCount(), 0);
    cds_->Open();
    QCOMPARE(grid_->model()->rowCount(), 6);
    QCOMPARE(Ids(*cds_), (std::vector<int>{4, 6, 3, 5, 1, 2}));
    QCOMPARE(ArrowOf(kYear), atDown);
    QCOMPARE(grid_->currentIndex().row(), 0);
  }

  void resultSetMayGoFirst() {
    cds_.reset();
    QCOMPARE(grid_->model()->rowCount(), 0);
    ClickTitle(kTitle);  // nothing to sort, nothing breaks
    QVERIFY(grid_->DataSet() == nullptr);
  }

  void defaultColumnsFollowTheFields() {
    grid_->ResetColumns();
    QCOMPARE(grid_->Columns().size(), size_t(5));
    QCOMPARE(grid_->Columns()[4].fieldName, QStringLiteral("Year"));
    QCOMPARE(grid_->model()->index(0, 0).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight,
             Qt::AlignRight);
    cds_->SetFieldDefs({{"Title", TResultFieldKind::String, 80}});
    cds_->Open();
    QCOMPARE(grid_->Columns().size(), size_t(1));
    QCOMPARE(grid_->model()->index(0, 0).data().toString(), QStringLiteral("Zelig"));
  }

  void columnFileRoundTrip() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("grid.cfg"));
    std::vector<TGridColumn> columns = CatalogueGridColumns();
    columns[2].font = QFont(QStringLiteral("Courier New"), 9, QFont::Bold);
    columns[3].title = QStringLiteral("Odd = title \\ with\nline break");
    columns[4].alignment = Qt::AlignRight | Qt::AlignVCenter;
    grid_->SetColumns(columns);
    grid_->SaveColumns(file);
    QVERIFY(QFile::exists(file));

    TResultGrid other;
    other.SetDataSet(cds_.get());
    other.SetConfigFile(file);
    QVERIFY(other.ColumnsCustomized());
    QVERIFY(other.Columns() == grid_->Columns());
    QVERIFY(other.isColumnHidden(0));
    QCOMPARE(other.columnWidth(kTitle), 340);

    // Default columns are not saved: the file goes.
    other.ResetColumns();
    other.SaveColumns();
    QVERIFY(!QFile::exists(file));
    // A missing file leaves the columns when named, and gives the defaults when loaded.
    other.SetColumns(columns);
    other.SetConfigFile(file);
    QVERIFY(other.Columns() == columns);
    other.LoadColumns();
    QVERIFY(!other.ColumnsCustomized());
    QCOMPARE(other.Columns()[1].fieldName, QStringLiteral("Title"));
  }

  void destructionSavesToTheConfigFile() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("grid.cfg"));
    {
      TResultGrid grid;
      grid.SetDataSet(cds_.get());
      grid.SetConfigFile(file);
      grid.SetColumns(CatalogueGridColumns());
      grid.setColumnWidth(kTitle, 250);  // the user's resize is kept
    }
    const std::vector<TGridColumn> saved = ReadColumnFile(file);
    QCOMPARE(saved.size(), size_t(5));
    QCOMPARE(saved[kTitle].width, 250);
    QVERIFY(!saved[0].visible);
  }

  void invalidColumnFiles_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("no count") << QByteArray("[Grid Columns]\n");
    QTest::newRow("bad count") << QByteArray("[Grid Columns]\nCount=x\n");
    QTest::newRow("negative count") << QByteArray("[Grid Columns]\nCount=-1\n");
    QTest::newRow("missing column") << QByteArray("[Grid Columns]\nCount=2\n[Column 1]\nFieldName=Title\n");
    QTest::newRow("no field") << QByteArray("[Grid Columns]\nCount=1\n[Column 1]\nTitle=T\n");
    QTest::newRow("bad width") << QByteArray("[Grid Columns]\nCount=1\n[Column 1]\nFieldName=Title\nWidth=99999\n");
    QTest::newRow("bad alignment") << QByteArray("[Grid Columns]\nCount=1\n[Column 1]\nFieldName=T\nAlignment=Up\n");
    QTest::newRow("bad colour") << QByteArray("[Grid Columns]\nCount=1\n[Column 1]\nFieldName=T\nTextColor=zz\n");
    QTest::newRow("stray line") << QByteArray("garbage\n[Grid Columns]\nCount=0\n");
    QTest::newRow("binary") << QByteArray("\x00\xff\xfe[\x01", 5);
  }
  void invalidColumnFiles() {
    QFETCH(QByteArray, text);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bad.cfg"));
    {
      QFile out(file);
      QVERIFY(out.open(QIODevice::WriteOnly));
      out.write(text);
    }
    const std::vector<TGridColumn> before = grid_->Columns();
    bool thrown = false;
    try {
      grid_->SetConfigFile(file);
    } catch (const EGridColumnsError& e) {
      thrown = true;
      QVERIFY(QString::fromUtf8(e.what()).contains(file));
    }
    QVERIFY(thrown);
    QVERIFY(grid_->Columns() == before);
    grid_->SetConfigFile(QString());  // nothing to save over the bad file at the end
  }

  void columnFileToleratesCommentsAndUnknownKeys() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("ok.cfg"));
    {
      QFile out(file);
      QVERIFY(out.open(QIODevice::WriteOnly));
      out.write("; written by hand\r\n[grid columns]\r\ncount=1\r\n\r\n[COLUMN 1]\r\nfieldname=Year\r\nFuture=1\r\n");
    }
    const std::vector<TGridColumn> columns = ReadColumnFile(file);
    QCOMPARE(columns.size(), size_t(1));
    QCOMPARE(columns[0].fieldName, QStringLiteral("Year"));
    QCOMPARE(columns[0].title, QStringLiteral("Year"));
  }

  void unwritableColumnFileIsAnError() {
    bool thrown = false;
    try {
      WriteColumnFile(QStringLiteral("/nonexistent-dir/grid.cfg"), CatalogueGridColumns());
    } catch (const EGridColumnsError&) {
      thrown = true;
    }
    QVERIFY(thrown);
  }
};

QTEST_MAIN(ResultGridTest)
#include "result_grid_qtest.moc"
