// TfMain: building the controls, the window's life cycle, the criteria rules, the search and
// the delayed refresh of the current-record panel.
#include "app/main_window.h"

#include "app/about_splash.h"
#include "app/current_record_panel.h"
#include "app/help_text.h"
#include "app/name_list_model.h"
#include "app/pellomar_utils.h"
#include "app/record_navigator.h"
#include "engine/platform/profile_file.h"
#include "grid/catalogue_grid_columns.h"
#include "grid/result_grid.h"
#include "print/grid_printer.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDate>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#include <cstdio>
#include <exception>
#include <optional>

namespace {

constexpr int kWindowWidth = 560;
constexpr int kWindowHeight = 640;
constexpr int kRatingTag = 5;  // the tag that marks the six rating boxes
constexpr int kRefreshDelayMs = 200;

const QColor kTeal(0, 128, 128);
const QColor kYellow(255, 255, 0);
const QColor kLime(0, 255, 0);

const char* const kPositionSection = "MainForm";

// The hourglass for as long as an action runs, however it ends.
class TWaitCursor {
 public:
  TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;
};

QFrame* MakePanel(QWidget* parent, const char* name, QRect geometry, const QColor& colour, const QColor& text) {
  auto* panel = new QFrame(parent);
  panel->setObjectName(QString::fromLatin1(name));
  panel->setGeometry(geometry);
  panel->setAutoFillBackground(true);
  QPalette palette = panel->palette();
  palette.setColor(QPalette::Window, colour);
  palette.setColor(QPalette::WindowText, text);
  panel->setPalette(palette);
  return panel;
}

QLabel* MakeBoldLabel(QWidget* parent, const char* name, const QString& text, QRect geometry) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(geometry);
  QFont font = label->font();
  font.setPixelSize(13);
  font.setBold(true);
  label->setFont(font);
  return label;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setGeometry(geometry);
  box->setChecked(true);
  return box;
}

QComboBox* MakeComboBox(QWidget* parent, const char* name, QRect geometry, bool editable) {
  auto* box = new QComboBox(parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setGeometry(geometry);
  box->setEditable(editable);
  if (editable) {
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setCompleter(nullptr);  // the text stays as typed: "19" must not become "1912"
    box->lineEdit()->setMaxLength(4);
    box->lineEdit()->setAcceptDrops(false);
  }
  return box;
}

// Appends the names to the list's items in one step, as names converted only when shown: a
// catalogue can have hundreds of thousands of names, and adding them one at a time (a
// QStandardItem each, a model signal each) costs seconds and several times the memory.
void AppendNames(QComboBox* box, std::vector<std::string> names) {
  std::vector<std::string> items;
  items.reserve(static_cast<std::size_t>(box->count()) + names.size());
  for (int i = 0; i < box->count(); ++i) items.push_back(box->itemText(i).toStdString());
  if (items.empty()) {
    items = std::move(names);
  } else {
    for (auto& name : names) items.push_back(std::move(name));
  }
  box->setModel(new TNameListModel(std::move(items), box));  // the old model was the box's own
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(geometry);
  return button;
}

void SetBaseColour(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Base, colour);
  widget->setPalette(palette);
}

// Selects an item of a year box and shows its text even when the box's index already was
// that item but its text had been edited.
void SelectYearItem(QComboBox* box, int index) {
  box->setCurrentIndex(index);
  if (index >= 0 && index < box->count()) box->setEditText(box->itemText(index));
}

std::string Text(const QComboBox* box) { return box->currentText().toStdString(); }

bool IsDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

}  // namespace

TfMain::TfMain(std::unique_ptr<TCatalogueAccess> catalogue, TUserNotifier notifier, TUserFiles files, QWidget* parent)
    : QWidget(parent), catalogue_(std::move(catalogue)), notifier_(std::move(notifier)), files_(std::move(files)) {
  if (files_.SettingsFileName().empty()) {
    files_ = TUserFiles::ForProgram(QCoreApplication::applicationFilePath().toStdString());
  }
  CreateControls();
  ConnectHandlers();
  FormCreate();
  tmr->start();  // enabled at creation: the panel is refreshed once before any search
}

TfMain::~TfMain() {
  FormDestroy();
  // The controls outlive cds (they are freed with the window's children): unbind them now.
  cds.SetBeforeScroll({});
  cds.SetAfterScroll({});
  grdcds->SetDataSet(nullptr);
  dbnav->SetDataSet(nullptr);
}

void TfMain::SetSplash(std::unique_ptr<TfAboutSplash> splash) { splash_ = std::move(splash); }

// ---------------------------------------------------------------------------------------
// Controls

void TfMain::CreateControls() {
  setObjectName(QStringLiteral("fMain"));
  setWindowTitle(QStringLiteral("Pellomar"));
  resize(kWindowWidth, kWindowHeight);
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(11);
  setFont(font);

  CreateQueryPanel();
  CreateResultPanel();
  pnlCurrentRecord = new TCurrentRecordPanel(
      *catalogue_, files_, notifier_,
      [this]() -> std::optional<int> {
        if (cds.RecNo() == 0) return std::nullopt;
        return CurrentVideoId();
      },
      this);
  pnlCurrentRecord->setGeometry(0, 410, kWindowWidth, 190);
  CreateButtons();

  tmr = new QTimer(this);
  tmr->setObjectName(QStringLiteral("tmr"));
  tmr->setInterval(kRefreshDelayMs);

  SetTabOrder();
  cmbxCastMembers->setFocus();
}

void TfMain::CreateQueryPanel() {
  pnlQuery = MakePanel(this, "pnlQuery", QRect(0, 0, kWindowWidth, 196), kTeal, Qt::white);

  MakeBoldLabel(pnlQuery, "lblCastMembers", QStringLiteral("Actor or Actress"), QRect(10, 6, 262, 17));
  cmbxCastMembers = MakeComboBox(pnlQuery, "cmbxCastMembers", QRect(10, 24, 262, 22), false);
  ckbxAllCastMembers = MakeCheckBox(pnlQuery, "ckbxAllCastMembers", QStringLiteral("Show All &Actors/Actresses"),
                                    QRect(10, 50, 262, 18));

  MakeBoldLabel(pnlQuery, "lblDirectors", QStringLiteral("Director"), QRect(288, 6, 262, 17));
  cmbxDirectors = MakeComboBox(pnlQuery, "cmbxDirectors", QRect(288, 24, 262, 22), false);
  ckbxAllDirectors =
      MakeCheckBox(pnlQuery, "ckbxAllDirectors", QStringLiteral("Show All &Directors"), QRect(288, 50, 262, 18));

  MakeBoldLabel(pnlQuery, "lblBetween", QStringLiteral("Between"), QRect(10, 89, 66, 17));
  cmbxFrom = MakeComboBox(pnlQuery, "cmbxFrom", QRect(78, 87, 64, 22), true);
  MakeBoldLabel(pnlQuery, "lblAnd", QStringLiteral("and"), QRect(150, 89, 30, 17));
  cmbxTo = MakeComboBox(pnlQuery, "cmbxTo", QRect(182, 87, 64, 22), true);
  ckbxAllYears = MakeCheckBox(pnlQuery, "ckbxAllYears", QStringLiteral("Show All &Years"), QRect(10, 114, 200, 18));

  MakeBoldLabel(pnlQuery, "lblRatings", QStringLiteral("Ratings"), QRect(288, 89, 100, 17));
  struct RatingBox {
    const char* name;
    const char* caption;
    int left;
    int width;
  };
  static constexpr RatingBox kRatingBoxes[] = {
      {"ckbxG", "G", 288, 36},   {"ckbxPG", "PG", 324, 40}, {"ckbxPG13", "PG-13", 364, 54},
      {"ckbxNR", "NR", 418, 40}, {"ckbxR", "R", 458, 34},   {"ckbxNC17", "NC17", 492, 54},
  };
  for (std::size_t i = 0; i < ratingBoxes.size(); ++i) {
    const RatingBox& r = kRatingBoxes[i];
    ratingBoxes[i] = MakeCheckBox(pnlQuery, r.name, QString::fromLatin1(r.caption), QRect(r.left, 110, r.width, 18));
    ratingBoxes[i]->setProperty("tag", kRatingTag);
  }
  ckbxAllRatings =
      MakeCheckBox(pnlQuery, "ckbxAllRatings", QStringLiteral("Show All &Ratings"), QRect(288, 134, 200, 18));

  btnShowResults = MakeButton(pnlQuery, "btnShowResults", QStringLiteral("&Search"), QRect(235, 160, 90, 27));
}

void TfMain::CreateResultPanel() {
  pnlGrid = MakePanel(this, "pnlGrid", QRect(0, 196, kWindowWidth, 214), Qt::black, Qt::white);

  dbnav = new TRecordNavigator(pnlGrid);
  dbnav->setObjectName(QStringLiteral("dbnav"));
  dbnav->setGeometry(8, 6, 100, 25);

  lblResultsCount =
      MakeBoldLabel(pnlGrid, "lblResultsCount", QStringLiteral("0 records (Select criteria above and Search)"),
                    QRect(120, 10, 432, 18));
  QPalette countPalette = lblResultsCount->palette();
  countPalette.setColor(QPalette::WindowText, kYellow);
  lblResultsCount->setPalette(countPalette);

  cds.SetFieldDefs(VideoFieldDefs());
  grdcds = new TResultGrid(pnlGrid);
  grdcds->setObjectName(QStringLiteral("grdcds"));
  grdcds->setGeometry(8, 36, 544, 172);
  grdcds->SetDataSet(&cds);
  grdcds->SetColumns(CatalogueGridColumns());
  grdcds->setFocusPolicy(Qt::ClickFocus);  // not a tab stop
  grdcds->setAutoFillBackground(true);
  QPalette gridPalette = grdcds->palette();
  gridPalette.setColor(QPalette::Window, QApplication::palette().color(QPalette::Window));
  gridPalette.setColor(QPalette::WindowText, Qt::black);
  grdcds->setPalette(gridPalette);
  grdcds->verticalHeader()->setFixedWidth(12);  // the row indicator column
  grdcds->verticalHeader()->setDefaultSectionSize(17);

  GprGridPrinter1 = new gpr::TGprGridPrinter(this);
  GprGridPrinter1->setObjectName(QStringLiteral("GprGridPrinter1"));
  GprGridPrinter1->SetObjectToPrint(grdcds);
  GprGridPrinter1->SetReportId("(434.854)");
  // A report can always be previewed, written to a file or printed to PDF; a machine without
  // a printer queue still has those, so the request does not refuse to start without one.
  GprGridPrinter1->SetDefaultPrinterCheck([] { return true; });
  grdcds->horizontalHeader()->setHighlightSections(false);
  dbnav->SetDataSet(&cds);
}

void TfMain::CreateButtons() {
  btnHelp = MakeButton(this, "btnHelp", QStringLiteral("&Help"), QRect(40, 606, 90, 27));
  btnHelp->setIcon(style()->standardIcon(QStyle::SP_DialogHelpButton));
  btnAbout = MakeButton(this, "btnAbout", QStringLiteral("&More"), QRect(170, 606, 90, 27));
  btnPrint = MakeButton(this, "btnPrint", QStringLiteral("&Print Grid"), QRect(300, 606, 90, 27));
  btnClose = MakeButton(this, "btnClose", QStringLiteral("&Close"), QRect(430, 606, 90, 27));
  btnClose->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
}

void TfMain::SetTabOrder() {
  QWidget* order[] = {cmbxCastMembers, ckbxAllCastMembers,
                      cmbxDirectors,   ckbxAllDirectors,
                      cmbxFrom,        cmbxTo,
                      ckbxAllYears,    ratingBoxes[0],
                      ratingBoxes[1],  ratingBoxes[2],
                      ratingBoxes[3],  ratingBoxes[4],
                      ratingBoxes[5],  ckbxAllRatings,
                      btnShowResults,  pnlCurrentRecord->mmoUserComments,
                      btnHelp,         btnAbout,
                      btnPrint,        btnClose};
  for (std::size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

void TfMain::ConnectHandlers() {
  connect(ckbxAllCastMembers, &QCheckBox::toggled, this, &TfMain::ckbxAllCastMembersClick);
  connect(ckbxAllDirectors, &QCheckBox::toggled, this, &TfMain::ckbxAllDirectorsClick);
  connect(ckbxAllYears, &QCheckBox::toggled, this, &TfMain::ckbxAllYearsClick);
  connect(ckbxAllRatings, &QCheckBox::toggled, this, &TfMain::ckbxAllRatingsClick);
  for (QCheckBox* box : ratingBoxes) {
    connect(box, &QCheckBox::toggled, this, [this, box] { ckbxGClick(box); });
  }

  // The lists react to the user's choices only, not to the window setting them.
  connect(cmbxCastMembers, &QComboBox::activated, this, &TfMain::cmbxCastMembersChange);
  connect(cmbxDirectors, &QComboBox::activated, this, &TfMain::cmbxDirectorsChange);
  for (QComboBox* box : {cmbxFrom, cmbxTo}) {
    connect(box, &QComboBox::activated, this, &TfMain::cmbxFromChange);
    connect(box->lineEdit(), &QLineEdit::textEdited, this, &TfMain::cmbxFromChange);
    box->installEventFilter(this);
    box->lineEdit()->installEventFilter(this);
  }

  connect(btnShowResults, &QPushButton::clicked, this, &TfMain::btnShowResultsClick);

  cds.SetBeforeScroll([this](quarry::TClientDataSet&) { cdsBeforeScroll(); });
  cds.SetAfterScroll([this](quarry::TClientDataSet&) { cdsAfterScroll(); });
  connect(grdcds, &QAbstractItemView::clicked, this, &TfMain::grdcdsCellClick);
  connect(tmr, &QTimer::timeout, this, &TfMain::tmrTimer);

  connect(btnHelp, &QPushButton::clicked, this, &TfMain::btnHelpClick);
  connect(btnAbout, &QPushButton::clicked, this, &TfMain::btnAboutClick);
  connect(btnPrint, &QPushButton::clicked, this, &TfMain::btnPrintClick);
  connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
}

// ---------------------------------------------------------------------------------------
// Life cycle

void TfMain::FormCreate() { InitializeWindow(); }

void TfMain::InitializeWindow() {
  setFixedSize(width(), height());
  LoadWindowPosition();
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  FillYears();
}

void TfMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shown_) return;
  shown_ = true;
  // The window always opens centred on the screen, whatever position was stored.
  if (const QScreen* screen = this->screen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
  }
  FormShow();
}

void TfMain::FormShow() {
  splash_.reset();
  Guarded([this] {
    QPalette palette = this->palette();
    auto* random = QRandomGenerator::global();
    palette.setColor(QPalette::Window,
                     QColor(static_cast<int>(random->bounded(255)), static_cast<int>(random->bounded(255)),
                            static_cast<int>(random->bounded(255))));
    setPalette(palette);
    setAutoFillBackground(true);
    FillCastMembers();
    FillDirectors();
  });
}

void TfMain::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
}

void TfMain::FormClose() {
  // Notes typed into the edit that still has the focus are saved like on leaving it.
  Guarded([this] { CloseResultSet(); });
  cds.Close();  // also when the notes could not be saved: they stay in the edit
}

void TfMain::FormDestroy() {
  tmr->stop();
  try {
    SaveWindowPosition();
  } catch (const std::exception& e) {
    // Too late for a message box: the window is going away.
    std::fprintf(stderr, "Pellomar: %s\n", e.what());
  }
}

void TfMain::LoadWindowPosition() {
  const quarry::TProfileFile settings(files_.SettingsFileName());
  QRect screen(0, 0, kWindowWidth, kWindowHeight);
  if (const QScreen* primary = QGuiApplication::primaryScreen()) screen = primary->geometry();
  const int left = settings.ReadInteger(kPositionSection, "Left", screen.width() / 2 - width() / 2);
  const int top = settings.ReadInteger(kPositionSection, "Top", screen.height() / 2 - height() / 2);
  move(left, top);
}

void TfMain::SaveWindowPosition() {
  quarry::TProfileFile settings(files_.SettingsFileName());
  settings.WriteInteger(kPositionSection, "Left", x());
  settings.WriteInteger(kPositionSection, "Top", y());
}

void TfMain::FillYears() {
  Guarded([this] {
    const std::vector<std::string> years = ::FillYears(*catalogue_);
    QStringList items;
    for (const auto& year : years) items << QString::fromStdString(year);
    for (QComboBox* box : {cmbxFrom, cmbxTo}) {
      box->clear();
      box->addItems(items);
    }
    SelectYearItem(cmbxFrom, 0);
    SelectYearItem(cmbxTo, cmbxTo->count() - 1);
  });
}

void TfMain::FillCastMembers() {
  AppendNames(cmbxCastMembers, ::FillCastMembers(*catalogue_));
  cmbxCastMembers->setCurrentIndex(-1);  // the list starts with no name chosen
}

void TfMain::FillDirectors() {
  AppendNames(cmbxDirectors, ::FillDirectors(*catalogue_));
  cmbxDirectors->setCurrentIndex(-1);
}

// ---------------------------------------------------------------------------------------
// Criteria coupling

void TfMain::ckbxAllCastMembersClick(bool checked) {
  if (checked) cmbxCastMembers->setCurrentIndex(-1);
}

void TfMain::ckbxAllDirectorsClick(bool checked) {
  if (checked) cmbxDirectors->setCurrentIndex(-1);
}

void TfMain::cmbxCastMembersChange() { ckbxAllCastMembers->setChecked(cmbxCastMembers->currentText().isEmpty()); }

void TfMain::cmbxDirectorsChange() { ckbxAllDirectors->setChecked(cmbxDirectors->currentText().isEmpty()); }

void TfMain::ckbxAllYearsClick(bool checked) {
  if (!checked) return;
  SelectYearItem(cmbxFrom, 0);
  SelectYearItem(cmbxTo, cmbxTo->count() - 1);
}

void TfMain::cmbxFromChange() {
  // A box "has its first item selected" when it shows that item's text, chosen or typed.
  const bool fromFirst = cmbxFrom->count() > 0 && cmbxFrom->currentText() == cmbxFrom->itemText(0);
  const bool toLast = cmbxTo->count() > 0 && cmbxTo->currentText() == cmbxTo->itemText(cmbxTo->count() - 1);
  ckbxAllYears->setChecked(fromFirst && toLast);
}

bool TfMain::cmbxFromKeyPress(QComboBox* box, QKeyEvent* key) {
  if (key->matches(QKeySequence::Paste)) {
    PasteYear(box);
    return true;
  }
  switch (key->key()) {
  case Qt::Key_Return:
  case Qt::Key_Enter: return true;  // a year box has nothing to do on Enter
  default: break;
  }
  // Commands (Ctrl+A, Ctrl+C, Ctrl+X, Ctrl+Z, ...) and keys that type nothing printable
  // (cursor keys, Backspace, Delete, Tab) edit or move as in any edit.
  if (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) return false;
  const QString text = key->text();
  if (text.isEmpty() || !text.at(0).isPrint()) return false;
  if (text.size() == 1 && IsDigit(text.at(0))) return false;
  if (notifier_.beep) notifier_.beep();
  return true;
}

// Pasted text is held to the rule for typing: its digits go in, as if typed one by one, and
// anything else is dropped with the beep. Blanks around the text (a copied line's end) are
// dropped silently.
void TfMain::PasteYear(QComboBox* box) {
  const QString pasted = QGuiApplication::clipboard()->text().trimmed();
  QString digits;
  for (const QChar c : pasted) {
    if (IsDigit(c)) digits += c;
  }
  if (digits.size() != pasted.size() && notifier_.beep) notifier_.beep();
  if (!digits.isEmpty()) box->lineEdit()->insert(digits);
}

// The edit's own menu, its Paste going through PasteYear.
void TfMain::ShowYearMenu(QComboBox* box, const QPoint& globalPos) {
  QLineEdit* edit = box->lineEdit();
  const std::unique_ptr<QMenu> menu(edit->createStandardContextMenu());
  for (QAction* action : menu->actions()) {
    // Found by name where Qt names the menu's actions, else by its caption (without the
    // shortcut after the tab), translated as the edit translates it.
    const bool paste = action->objectName() == QLatin1String("edit-paste") ||
                       action->text().section(QLatin1Char('\t'), 0, 0) == QLineEdit::tr("&Paste");
    if (!paste) continue;
    QObject::disconnect(action, &QAction::triggered, edit, nullptr);
    connect(action, &QAction::triggered, this, [this, box] { PasteYear(box); });
  }
  menu->exec(globalPos);
}

void TfMain::cmbxFromEnter(QComboBox* box) {
  SetBaseColour(box, kLime);
  SetBaseColour(box->lineEdit(), kLime);
}

void TfMain::cmbxFromExit(QComboBox* box) {
  const QColor window = QApplication::palette().color(QPalette::Base);
  SetBaseColour(box, window);
  SetBaseColour(box->lineEdit(), window);
}

bool TfMain::eventFilter(QObject* watched, QEvent* event) {
  QComboBox* box = nullptr;
  if (watched == cmbxFrom || watched == cmbxFrom->lineEdit()) box = cmbxFrom;
  if (watched == cmbxTo || watched == cmbxTo->lineEdit()) box = cmbxTo;
  if (!box) return QWidget::eventFilter(watched, event);

  switch (event->type()) {
  case QEvent::KeyPress: return cmbxFromKeyPress(box, static_cast<QKeyEvent*>(event));
  case QEvent::ContextMenu:
    if (watched != box->lineEdit()) break;
    ShowYearMenu(box, static_cast<QContextMenuEvent*>(event)->globalPos());
    return true;
  case QEvent::MouseButtonPress:
  case QEvent::MouseButtonRelease:
    // The middle button pastes the selection; years are typed.
    return static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton;
  case QEvent::FocusIn:
    if (watched == box) cmbxFromEnter(box);
    break;
  case QEvent::FocusOut: {
    // Opening the drop-down list or leaving the application does not leave the box.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (watched == box && reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) {
      cmbxFromExit(box);
    }
    break;
  }
  default: break;
  }
  return QWidget::eventFilter(watched, event);
}

void TfMain::ckbxAllRatingsClick(bool checked) {
  if (!checked) return;
  for (QCheckBox* box : findChildren<QCheckBox*>()) {
    if (box->property("tag").toInt() == kRatingTag) box->setChecked(true);
  }
}

void TfMain::ckbxGClick(QCheckBox* box) {
  if (!box->isChecked() && ckbxAllRatings->isChecked()) ckbxAllRatings->setChecked(false);
}

TRatingBoxes TfMain::ReadRatingBoxes() const {
  TRatingBoxes ratings{};
  for (std::size_t i = 0; i < ratingBoxes.size(); ++i) ratings[i] = ratingBoxes[i]->isChecked();
  return ratings;
}

// ---------------------------------------------------------------------------------------
// Search and result

void TfMain::btnShowResultsClick() {
  Guarded([this] {
    std::optional<TWaitCursor> hourglass(std::in_place);
    TSearchCriteria criteria;
    criteria.ratings = ReadRatingBoxes();
    // A message stops the search: the hourglass goes before the box shows.
    const auto show = [this, &hourglass](const std::string& text) {
      hourglass.reset();
      ShowInformation(text);
    };
    if (!NormaliseAndCheck(Text(cmbxFrom), Text(cmbxTo), QDate::currentDate().year(), criteria, show)) return;

    CloseResultSet();
    searchStatement_.clear();

    const std::string castMember = TrimText(Text(cmbxCastMembers));
    const std::string director = TrimText(Text(cmbxDirectors));
    criteria.castChosen = CastMemberExists(*catalogue_, castMember);
    criteria.directorChosen = DirectorExists(*catalogue_, director);
    criteria.allCastMembers = ckbxAllCastMembers->isChecked();
    criteria.allDirectors = ckbxAllDirectors->isChecked();
    criteria.allYears = ckbxAllYears->isChecked();
    if (!criteria.allCastMembers && criteria.castChosen) {
      criteria.castMemberId = GetCastMemberId(*catalogue_, castMember);
    }
    if (!criteria.allDirectors && criteria.directorChosen) {
      criteria.directorId = GetDirectorId(*catalogue_, director);
    }
    searchStatement_ = JoinStatementLines(BuildSearchStatementLines(criteria));

    // The result set copies every row when it opens; the source is not needed afterwards.
    const std::unique_ptr<quarry::TRowSource> source = catalogue_->Search(searchStatement_);
    cds.SetSource(source.get());
    try {
      cds.Open();
    } catch (...) {
      cds.SetSource(nullptr);
      throw;
    }
    cds.SetSource(nullptr);
    ShowResultsCount();
  });
}

void TfMain::CloseResultSet() {
  // First, as it may fail: notes still being typed are saved before their video goes.
  pnlCurrentRecord->ShowNoVideo();
  cds.Close();
  ShowCurrentRow();
}

void TfMain::ShowResultsCount() {
  lblResultsCount->setText(QString::fromStdString(ResultsCountText(cds.RecordCount())));
}

int TfMain::CurrentVideoId() const { return cds.RecNo() > 0 ? cds.Fields(0).AsInteger() : 0; }

void TfMain::ShowCurrentRow() {
  if (cds.RecNo() == 0) {
    pnlCurrentRecord->ShowRow(nullptr);
    return;
  }
  const auto text = [this](const char* field) { return cds.FieldByName(field).AsString(); };
  const TVideoRow row{CurrentVideoId(), text("Title"), text("IndustryRating"), text("Length"), text("Year")};
  pnlCurrentRecord->ShowRow(&row);
}

void TfMain::cdsBeforeScroll() { tmr->stop(); }

void TfMain::cdsAfterScroll() {
  // The panel's labels follow the current record at once; its lists, stars and notes wait.
  ShowCurrentRow();
  tmr->start();  // (re)starts the interval
}

void TfMain::tmrTimer() {
  grdcds->viewport()->update();
  Guarded([this] { RefreshCurrentRecord(); });
  tmr->stop();
}

void TfMain::grdcdsCellClick() {
  Guarded([this] { RefreshCurrentRecord(); });
}

void TfMain::RefreshCurrentRecord() {
  const int videoId = CurrentVideoId();
  ShowCurrentRow();
  if (cds.RecNo() == 0) {
    pnlCurrentRecord->ShowNoVideo();
  } else {
    pnlCurrentRecord->RefreshCurrentRecord(videoId);
  }
  emit CurrentRecordRefreshed(videoId);
}

// ---------------------------------------------------------------------------------------
// Bottom buttons

void TfMain::btnHelpClick() { ShowInformation(HelpText()); }

void TfMain::btnAboutClick() {
  SetAboutMode();
  TfAboutSplash about(AboutMode());
  about.exec();
}

void TfMain::btnPrintClick() {
  Guarded([this] {
    const QString today = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
    GprGridPrinter1->SetDialogTitle(QStringLiteral(" %1 (%2)").arg(QStringLiteral("cds"), today).toStdString());
    GprGridPrinter1->Print();  // the outcome is the options window's business
  });
}

// ---------------------------------------------------------------------------------------
// Reporting

template <typename Action>
void TfMain::Guarded(Action&& action) {
  try {
    action();
  } catch (const std::exception& e) {
    if (notifier_.errorReport) notifier_.errorReport(this, QString::fromUtf8(e.what()));
  }
}

void TfMain::ShowInformation(const std::string& text) {
  if (notifier_.information) notifier_.information(this, QString::fromStdString(text));
}
