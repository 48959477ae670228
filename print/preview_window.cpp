// The print preview (preview_window.h).
#include "print/preview_window.h"

#include "dbaccess/client_data_set.h"
#include "print/core/gpr_error.h"
#include "print/core/memo_codes.h"
#include "print/memo_date_format.h"
#include "print/printer_setup_dialog.h"
#include "print/progress_window.h"
#include "print/report_font.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextBlock>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace gpr {

namespace {

constexpr int kMinZoom = 25;
constexpr int kMaxZoom = 500;
constexpr int kMinFontSize = 2;
constexpr int kMaxFontSize = 30;
constexpr int kProgressRowThreshold = 100;

const char* const kZoomSteps[] = {"500%", "400%", "350%", "300%", "250%", "200%", "150%", "125%",
                                  "100%", "75%",  "60%",  "50%",  "40%",  "30%",  "25%",  "10%"};

QString DestinationText(TgprOutputDest dest) {
  switch (dest) {
  case odTextFile: return QStringLiteral("Text File");
  case odExport: return QStringLiteral("Export Data");
  default: return QStringLiteral("Printer");
  }
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoDefault(false);
  return button;
}

QAction* AddShortcut(QWidget* window, const QKeySequence& keys, std::function<void()> run) {
  auto* action = new QAction(window);
  action->setShortcut(keys);
  action->setShortcutContext(Qt::WindowShortcut);
  QObject::connect(action, &QAction::triggered, window, [run = std::move(run)] { run(); });
  window->addAction(action);
  return action;
}

}  // namespace

TfmGprPreview::TfmGprPreview(TgprReportSettings& settings, TObjInfo& objInfo, QWidget* parent)
    : QDialog(parent), settings_(settings), objInfo_(objInfo) {
  setObjectName(QStringLiteral("fmGprPreview"));
  setWindowTitle(settings.DialogTitle.empty() ? QString::fromLatin1(kPreviewCaption)
                                              : QString::fromLatin1(kPreviewCaption) + QStringLiteral(": ") +
                                                    QString::fromStdString(settings.DialogTitle));
  baseSize_ = fontSize_ = std::clamp(settings.TextFontSize, kMinFontSize, kMaxFontSize);
  if (objInfo_.DataSet != nullptr) savedRecNo_ = objInfo_.DataSet->RecNo();
  BuildWindow();
  // An export is previewed as the printer would print it, without marking a change.
  if (settings_.OutputDest == odExport) {
    const bool modified = settings_.Modified;
    settings_.OutputDest = odPrinter;
    settings_.Modified = modified;
  }
  lblDest_->setText(QStringLiteral(" ") + DestinationText(settings_.OutputDest));
  // Lines per page and page width are the text file's own; the printer's follow the paper.
  const bool textFile = settings_.OutputDest == odTextFile;
  for (QWidget* w : std::initializer_list<QWidget*>{lblSize_, edtLines_, edtWidth_}) w->setVisible(textFile);
  edtLines_->setText(QString::number(settings_.LinesPerpage));
  edtWidth_->setText(QString::number(settings_.TxtCharsPageWid));
  if (settings_.PrintWhat == pwEntireGrid) {
    cmbxPrintWhat_->setCurrentText(QString::fromLatin1(kPrintAllPages));
  } else if (settings_.PrintWhat == pwPageRange) {
    cmbxPrintWhat_->setCurrentText(QString::fromLatin1(kPrintPageRange));
  } else {
    cmbxPrintWhat_->setCurrentText(QString::fromLatin1(kPrintCurrentPage));
  }
  const auto pageText = [](TgprPagePos pos) {
    return QString::number(pos.Page) + (pos.Across > 0 ? QStringLiteral("-") + QString::number(pos.Across) : QString());
  };
  edtFrom_->setText(pageText(settings_.PageRangeFrom));
  edtTo_->setText(pageText(settings_.PageRangeTo));
}

TfmGprPreview::~TfmGprPreview() = default;

void TfmGprPreview::BuildWindow() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 0);
  auto* bar = new QHBoxLayout;
  layout->addLayout(bar);
  auto* btnClose = MakeButton(this, "btnClose", QStringLiteral("Close"));
  btnFirst_ = MakeButton(this, "btnFirst", QStringLiteral("First"));
  btnPrev_ = MakeButton(this, "btnPrev", QStringLiteral("Prev"));
  btnNext_ = MakeButton(this, "btnNext", QStringLiteral("Next"));
  btnLast_ = MakeButton(this, "btnLast", QStringLiteral("Last"));
  auto* btnFitWidth = MakeButton(this, "btnFitWidth", QStringLiteral("Fit Width"));
  auto* btnFitPage = MakeButton(this, "btnFitPage", QStringLiteral("Fit Page"));
  auto* btnCopy = MakeButton(this, "btnCopy", QStringLiteral("Copy"));
  btnCopy->setToolTip(QStringLiteral("Copy page to Clipboard"));
  auto* btnPrint = MakeButton(this, "btnPrint", QStringLiteral("Print"));
  auto* btnPrinterSetup = MakeButton(this, "btnPrinterSetup", QStringLiteral("Printer Setup"));
  auto* btnOptions = MakeButton(this, "btnOptions", QStringLiteral("Options"));
  btnOptions->setToolTip(QStringLiteral("Report Options"));
  cmbxZoom_ = new QComboBox(this);
  cmbxZoom_->setObjectName(QStringLiteral("cmbxZoom"));
  cmbxZoom_->setEditable(true);
  cmbxZoom_->setInsertPolicy(QComboBox::NoInsert);
  for (const char* step : kZoomSteps) cmbxZoom_->addItem(QString::fromLatin1(step));
  cmbxZoom_->setCurrentText(QStringLiteral("100%"));
  cmbxPrintWhat_ = new QComboBox(this);
  cmbxPrintWhat_->setObjectName(QStringLiteral("cmbxPrintWhat"));
  cmbxPrintWhat_->addItems({kPrintAllPages, kPrintCurrentPage, kPrintPageRange});
  edtFrom_ = new QLineEdit(this);
  edtFrom_->setObjectName(QStringLiteral("edtFrom"));
  edtTo_ = new QLineEdit(this);
  edtTo_->setObjectName(QStringLiteral("edtTo"));
  edtFrom_->setMinimumWidth(60);
  edtFrom_->setMaximumWidth(70);
  edtTo_->setMinimumWidth(60);
  edtTo_->setMaximumWidth(70);
  for (QWidget* w : std::initializer_list<QWidget*>{btnClose, btnFirst_, btnPrev_, btnNext_, btnLast_, cmbxZoom_,
                                                    btnFitWidth, btnFitPage, btnCopy}) {
    bar->addWidget(w);
  }
  bar->addStretch();
  // The printing controls on a second row, so that the window fits a small screen.
  bar = new QHBoxLayout;
  layout->addLayout(bar);
  bar->addWidget(btnPrint);
  bar->addWidget(cmbxPrintWhat_);
  bar->addWidget(new QLabel(QStringLiteral("From:"), this));
  bar->addWidget(edtFrom_);
  bar->addWidget(new QLabel(QStringLiteral("To:"), this));
  bar->addWidget(edtTo_);
  bar->addWidget(btnPrinterSetup);
  bar->addWidget(btnOptions);
  bar->addStretch();
  lblSize_ = new QLabel(QStringLiteral("Lines/Width:"), this);
  edtLines_ = new QLineEdit(this);
  edtLines_->setObjectName(QStringLiteral("edtLinesPerPage"));
  edtWidth_ = new QLineEdit(this);
  edtWidth_->setObjectName(QStringLiteral("edtPageWidth"));
  for (QLineEdit* edit : {edtLines_, edtWidth_}) {
    edit->setMinimumWidth(50);
    edit->setMaximumWidth(60);
    connect(edit, &QLineEdit::editingFinished, this, &TfmGprPreview::PageSizeEdited);
  }
  bar->addWidget(lblSize_);
  bar->addWidget(edtLines_);
  bar->addWidget(edtWidth_);

  mmoPage_ = new QPlainTextEdit(this);
  mmoPage_->setObjectName(QStringLiteral("mmoPage"));
  mmoPage_->setReadOnly(true);
  mmoPage_->setLineWrapMode(QPlainTextEdit::NoWrap);
  mmoPage_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mmoPage_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mmoPage_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  mmoPage_->installEventFilter(this);
  QPalette palette = mmoPage_->palette();
  palette.setColor(QPalette::Text,
                   QColor::fromRgb((settings_.TextFontColor >> 16) & 0xff, (settings_.TextFontColor >> 8) & 0xff,
                                   settings_.TextFontColor & 0xff));  // 0xRRGGBB, as the printer draws it
  mmoPage_->setPalette(palette);
  mmoPage_->setFont(ReportFont(settings_, fontSize_));
  layout->addWidget(mmoPage_, 1);

  auto* status = new QStatusBar(this);
  lblDest_ = new QLabel(status);
  lblCaret_ = new QLabel(status);
  lblPage_ = new QLabel(status);
  lblMessage_ = new QLabel(status);
  lblPage_->setObjectName(QStringLiteral("lblPage"));
  lblMessage_->setObjectName(QStringLiteral("lblMessage"));
  lblDest_->setMinimumWidth(90);
  lblCaret_->setMinimumWidth(90);
  lblPage_->setMinimumWidth(70);
  status->addWidget(lblDest_);
  status->addWidget(lblCaret_);
  status->addWidget(lblPage_);
  status->addWidget(lblMessage_, 1);
  layout->addWidget(status);

  connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
  connect(btnFirst_, &QPushButton::clicked, this, &TfmGprPreview::FirstPage);
  connect(btnPrev_, &QPushButton::clicked, this, &TfmGprPreview::PrevPage);
  connect(btnNext_, &QPushButton::clicked, this, &TfmGprPreview::NextPage);
  connect(btnLast_, &QPushButton::clicked, this, [this] { LastPage(); });
  connect(btnFitWidth, &QPushButton::clicked, this, &TfmGprPreview::FitWidth);
  connect(btnFitPage, &QPushButton::clicked, this, &TfmGprPreview::FitPage);
  connect(btnCopy, &QPushButton::clicked, this, &TfmGprPreview::CopyPage);
  connect(btnPrint, &QPushButton::clicked, this, [this] { PrintPages(); });
  connect(btnPrinterSetup, &QPushButton::clicked, this, &TfmGprPreview::PrinterSetup);
  connect(btnOptions, &QPushButton::clicked, this, [this] {
    optionsRequested_ = true;
    reject();
  });
  connect(cmbxZoom_, &QComboBox::textActivated, this, [this](const QString& text) { ApplyZoom(text); });
  connect(cmbxZoom_->lineEdit(), &QLineEdit::returnPressed, this, [this] { ApplyZoom(cmbxZoom_->currentText()); });
  connect(cmbxZoom_->lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
    if (text.size() > 2) ApplyZoom(text);
  });
  connect(mmoPage_, &QPlainTextEdit::cursorPositionChanged, this, &TfmGprPreview::UpdateCaret);

  AddShortcut(this, QKeySequence(Qt::CTRL | Qt::Key_F), [this] { FirstPage(); });
  AddShortcut(this, QKeySequence(Qt::CTRL | Qt::Key_L), [this] { LastPage(); });
  AddShortcut(this, QKeySequence(Qt::CTRL | Qt::Key_P), [this] { PrintPages(); });
  AddShortcut(this, QKeySequence(Qt::CTRL | Qt::Key_U), [this] { PrinterSetup(); });
  AddShortcut(this, QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { reject(); });
  AddShortcut(this, QKeySequence(Qt::CTRL | Qt::Key_O), [this] {
    optionsRequested_ = true;
    reject();
  });
}

int TfmGprPreview::PagesAcross() const { return builder_ ? builder_->PagesAcross() : 1; }

QString TfmGprPreview::PageText() const { return mmoPage_->toPlainText(); }
QString TfmGprPreview::PageNumberText() const { return lblPage_->text().trimmed(); }
QString TfmGprPreview::Message() const { return lblMessage_->text().trimmed(); }

void TfmGprPreview::ShowMessage(const QString& text) { lblMessage_->setText(QStringLiteral("  ") + text); }

void TfmGprPreview::SetPlacementStore(TgprGeneralSettingsFile file, std::string userName) {
  placementFile_ = std::move(file);
  userName_ = std::move(userName);
}

void TfmGprPreview::RestorePlacement() {
  const QRect area = screen() != nullptr ? screen()->availableGeometry() : QRect(0, 0, 1024, 768);
  QRect place(area.left() + area.width() / 4, area.top() + area.height() / 4, area.width() / 2, area.height() / 2);
  bool maximized = false;
  if (placementFile_) {
    const TgprWindowPlacement stored = placementFile_->ReadPlacement(objectName().toStdString(), userName_);
    const QRect storedPlace(stored.Left, stored.Top, stored.Width, stored.Height);
    if (stored.Found && stored.Width > 0 && stored.Height > 0 && area.intersects(storedPlace)) place = storedPlace;
    maximized = stored.Found && stored.Maximized;
  }
  setGeometry(place);
  if (maximized) setWindowState(windowState() | Qt::WindowMaximized);
}

void TfmGprPreview::SavePlacement() {
  if (!placementFile_) return;
  TgprWindowPlacement placement;
  placement.Found = true;
  placement.Maximized = isMaximized();
  if (!placement.Maximized) {
    placement.Left = geometry().left();
    placement.Top = geometry().top();
    placement.Width = width();
    placement.Height = height();
  }
  try {
    placementFile_->WritePlacement(objectName().toStdString(), userName_, placement);
  } catch (const std::exception&) {
    // A settings file that cannot be written only loses the window's place.
  }
}

void TfmGprPreview::PageSizeEdited() {
  bool linesOk = false;
  bool widthOk = false;
  const int lines = edtLines_->text().toInt(&linesOk);
  const int width = edtWidth_->text().toInt(&widthOk);
  if (!linesOk || lines < 10 || lines > 999) {
    ShowMessage(QStringLiteral("Lines Per Page must be between 10 and 999 characters"));
    QApplication::beep();
    return;
  }
  if (!widthOk || width < 10 || width > 9999) {
    ShowMessage(QStringLiteral("Text Page Width is invalid must be between 10 and 9999 text characters"));
    QApplication::beep();
    return;
  }
  SetPageSize(lines, width);
}

void TfmGprPreview::showEvent(QShowEvent* event) {
  if (!started_) RestorePlacement();
  QDialog::showEvent(event);
  if (started_) return;
  started_ = true;
  try {
    Restart();
    FitWidth();
  } catch (const eGprSUError& e) {
    ShowMessage(QString::fromUtf8(e.what()));
    QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
  }
}

void TfmGprPreview::Restart() {
  if (Searching()) {
    QApplication::beep();
    return;
  }
  builder_.reset();
  print_ = TgprPrintSettings{};
  SetMemoDateTime(settings_, print_);
  print_.Activity = acPreviewing;
  const TgprPrinterPage printer = PrinterPageFor(settings_, *printerSetup_);
  builder_ = std::make_unique<TgprPageBuilder>(settings_, objInfo_, print_,
                                               settings_.OutputDest == odPrinter ? &printer : nullptr);
  lastPage_ = 0;
  started_ = true;
  ShowPage(1, 1);
}

void TfmGprPreview::ShowPage(int across, int pageNo) {
  if (Searching()) {
    QApplication::beep();
    return;
  }
  if (!builder_) Restart();
  across = std::clamp(across, 1, builder_->PagesAcross());
  if (pageNo < 1) {
    pageNo = 1;
    across = 1;
  }
  if (!builder_->HasPage(pageNo)) {
    pageNo = builder_->PageCount();
    across = builder_->PagesAcross();
  }
  const TgprPage& page = builder_->Page(across, pageNo);
  page_ = pageNo;
  across_ = across;
  if (lastPage_ == 0 && !builder_->HasPage(pageNo + 1)) lastPage_ = pageNo;
  mmoPage_->setPlainText(QString::fromStdString(page.Text()));
  lblPage_->setText(QStringLiteral(" ") +
                    QString::fromStdString(gpr::PageNumberText(settings_, pageNo, across, builder_->PagesAcross())));
  UpdateButtons();
  UpdateCaret();
}

bool TfmGprPreview::IsLastPart() const { return lastPage_ == page_ && across_ == PagesAcross(); }

void TfmGprPreview::UpdateButtons() {
  const bool first = page_ == 1 && across_ == 1;
  btnFirst_->setEnabled(!first);
  btnPrev_->setEnabled(!first);
  btnNext_->setEnabled(!IsLastPart());
  btnLast_->setEnabled(!IsLastPart());
}

void TfmGprPreview::UpdateCaret() {
  const QTextCursor cursor = mmoPage_->textCursor();
  lblCaret_->setText(QString::asprintf("%5d:%4d", cursor.blockNumber() + 1, cursor.positionInBlock() + 1));
}

void TfmGprPreview::NextPage() {
  if (IsLastPart()) {
    QApplication::beep();
    return;
  }
  if (across_ < PagesAcross()) {
    ShowPage(across_ + 1, page_);
  } else {
    ShowPage(1, page_ + 1);
  }
}

void TfmGprPreview::PrevPage() {
  if (page_ == 1 && across_ == 1) {
    QApplication::beep();
    return;
  }
  if (across_ > 1) {
    ShowPage(across_ - 1, page_);
  } else {
    ShowPage(PagesAcross(), page_ - 1);
  }
}

void TfmGprPreview::FirstPage() { ShowPage(1, 1); }

bool TfmGprPreview::LastPage() {
  if (Searching()) return false;
  if (!builder_) Restart();
  if (lastPage_ > 0) {
    ShowPage(PagesAcross(), lastPage_);
    return true;
  }
  ShowMessage(QStringLiteral("Searching for last page - Press Escape to Stop"));
  int pageNo = page_;
  bool aborted = false;
  {
    // The progress window processes the window messages between pages: the user can suspend
    // the search (Escape, here or there) and abort or resume it.
    std::unique_ptr<TfmGprProgress> progress;
    if (objInfo_.RowCount > kProgressRowThreshold) {
      progress = std::make_unique<TfmGprProgress>(this);
      progress->setObjectName(QStringLiteral("fmGprSearchProgress"));
      progress->ShowProgress(QStringLiteral("Searching for last report page"), acPreviewing,
                             QStringLiteral("&Abort Search"), QStringLiteral("&Resume Search"));
    }
    search_ = progress.get();
    // The search ends with this block, however it is left (a failing layout included).
    struct TSearchEnd {
      TfmGprProgress*& Search;
      ~TSearchEnd() { Search = nullptr; }
    } searchEnd{search_};
    // Laying out page n tells whether page n + 1 exists; no page is drawn on the way.
    while (builder_->HasPage(pageNo + 1)) {
      ++pageNo;
      if (progress && !progress->UpdateProgress(builder_->RowsLaidOut(), objInfo_.RowCount, {1, pageNo}, true)) {
        aborted = true;
        break;
      }
    }
  }
  if (aborted) {
    ShowPage(1, pageNo);
    ShowMessage(QStringLiteral("Search stopped at page %1").arg(pageNo));
    return false;
  }
  lastPage_ = pageNo;
  ShowPage(PagesAcross(), pageNo);
  ShowMessage(QString());
  return true;
}

bool TfmGprPreview::ApplyZoom(const QString& typed) {
  QString digits;
  for (const QChar c : typed) {
    if (c.isDigit()) digits += c;
  }
  bool ok = false;
  const int zoom = digits.toInt(&ok);
  if (!ok || zoom < kMinZoom || zoom > kMaxZoom) {
    QApplication::beep();
    return false;
  }
  SetFontSize(static_cast<int>(std::lround(baseSize_ * zoom / 100.0)));
  return true;
}

void TfmGprPreview::SetFontSize(int size) {
  if (size < kMinFontSize || size > kMaxFontSize) QApplication::beep();
  fontSize_ = std::clamp(size, kMinFontSize, kMaxFontSize);
  const QFont font = ReportFont(settings_, fontSize_);
  mmoPage_->setFont(font);
  ShowMessage(QStringLiteral(" Font: ") + font.family() + QStringLiteral(", Font Size:") + QString::number(fontSize_) +
              QStringLiteral(" points"));
  const QSignalBlocker block(cmbxZoom_);
  cmbxZoom_->setCurrentText(QString::number(std::lround(fontSize_ * 100.0 / baseSize_)) + QStringLiteral("%"));
}

void TfmGprPreview::FitWidth() {
  const int chars = std::max(1, print_.CharsPerLine);
  const double boxWidth = mmoPage_->viewport()->width() - 4;
  double size = fontSize_;
  for (int round = 0; round < 3; ++round) {
    const QFontMetricsF metrics(ReportFont(settings_, std::max(1, static_cast<int>(std::lround(size)))));
    const double next = size * boxWidth / (metrics.horizontalAdvance(QLatin1Char('x')) * chars);
    size = round == 0 ? next : std::round((size + next) / 2);
  }
  SetFontSize(static_cast<int>(std::floor(size)));
}

void TfmGprPreview::FitPage() {
  const int lines = std::max(1, print_.LinesPerPage);
  const QFontMetricsF metrics(ReportFont(settings_, fontSize_));
  const double height = metrics.lineSpacing();
  const double boxHeight = mmoPage_->viewport()->height();
  const double newHeight = height * (boxHeight / height / (lines + 1));
  SetFontSize(static_cast<int>(std::lround(fontSize_ * newHeight / height)));
}

void TfmGprPreview::CopyPage() {
  mmoPage_->selectAll();
  QApplication::clipboard()->setText(mmoPage_->toPlainText());
  ShowMessage(QStringLiteral("Page has been copied to the clipboard"));
}

TgprRunOutcome TfmGprPreview::PrintPages() {
  TgprRunOutcome outcome;
  if (Searching()) {
    QApplication::beep();
    return outcome;
  }
  const QString choice = cmbxPrintWhat_->currentText();
  const TgprPrintWhat savedWhat = settings_.PrintWhat;
  const TgprPagePos savedFrom = settings_.PageRangeFrom;
  const TgprPagePos savedTo = settings_.PageRangeTo;
  TgprPageRange range;
  if (choice == QLatin1String(kPrintAllPages)) {
    settings_.PrintWhat = pwEntireGrid;
    range = PageRangeFor(settings_);
  } else {
    TgprPagePos from{0, page_};
    TgprPagePos to{0, page_};
    if (choice == QLatin1String(kPrintPageRange)) {
      const auto typedFrom = ParsePageNumber(edtFrom_->text().toStdString());
      const auto typedTo = ParsePageNumber(edtTo_->text().toStdString());
      if (!typedFrom || !typedTo) {
        ShowMessage(QString::fromStdString(InvalidPageNumberMessage(PagesAcross())).replace('\r', ' '));
        QApplication::beep();
        outcome.Result = rrTerminated;
        return outcome;
      }
      if (PageRangeReversed(*typedFrom, *typedTo)) {
        ShowMessage(QString::fromStdString(FromAfterToMessage()));
        QApplication::beep();
        outcome.Result = rrTerminated;
        return outcome;
      }
      from = *typedFrom;
      to = *typedTo;
    }
    settings_.PrintWhat = pwPageRange;
    settings_.PageRangeFrom = from;
    settings_.PageRangeTo = to;
    range = PageRangeFor(settings_);
  }
  if (printHandler_) {
    outcome = printHandler_(range);
  } else {
    TgprRunContext context;
    context.Parent = this;
    context.PrinterSetup = *printerSetup_;
    outcome = RunReport(settings_, objInfo_, range, context);
  }
  settings_.PrintWhat = savedWhat;
  settings_.PageRangeFrom = savedFrom;
  settings_.PageRangeTo = savedTo;
  if (!outcome.ErrorMessage.empty()) ShowMessage(QString::fromStdString(outcome.ErrorMessage).replace('\r', ' '));
  // The run laid the report out on its own; the preview's pages still stand.
  ShowPage(across_, page_);
  return outcome;
}

void TfmGprPreview::PrinterSetup() {
  if (Searching()) {
    QApplication::beep();
    return;
  }
  bool defaultPrinterLeft = false;
  if (!RunPrinterSetup(this, settings_, *printerSetup_, defaultPrinterLeft)) return;
  // The printer's page follows the chosen printer and orientation.
  if (settings_.OutputDest == odPrinter) Restart();
  if (defaultPrinterLeft) ShowMessage(QString::fromLatin1(kNoLongerDefaultPrinter));
}

void TfmGprPreview::SetPageSize(int linesPerPage, int charsPerLine) {
  if (linesPerPage == settings_.LinesPerpage && charsPerLine == settings_.TxtCharsPageWid) return;
  settings_.LinesPerpage = linesPerPage;
  settings_.TxtCharsPageWid = charsPerLine;
  settings_.Modified = true;
  Restart();
}

bool TfmGprPreview::eventFilter(QObject* watched, QEvent* event) {
  if (watched == mmoPage_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool shift = key->modifiers().testFlag(Qt::ShiftModifier);
    const bool ctrl = key->modifiers().testFlag(Qt::ControlModifier);
    const QScrollBar* bar = mmoPage_->verticalScrollBar();
    if (key->key() == Qt::Key_PageDown && (shift || bar->value() == bar->maximum())) {
      NextPage();
      return true;
    }
    if (key->key() == Qt::Key_PageUp && (shift || bar->value() == bar->minimum())) {
      PrevPage();
      return true;
    }
    if (ctrl && (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up)) {
      QScrollBar* scroll = mmoPage_->verticalScrollBar();
      const int step = key->key() == Qt::Key_Down ? 1 : -1;
      if ((step > 0 && scroll->value() == scroll->maximum()) || (step < 0 && scroll->value() == scroll->minimum())) {
        QApplication::beep();
      }
      scroll->setValue(scroll->value() + step);
      return true;
    }
    if (key->key() == Qt::Key_Escape) {
      if (Searching()) {
        search_->AskToSuspend();
      } else {
        reject();
      }
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfmGprPreview::done(int result) {
  if (Searching()) {
    // Closing during the search for the last page: end the search first, then close.
    search_->Abort();
    QMetaObject::invokeMethod(
        this, [this, result] { done(result); }, Qt::QueuedConnection);
    return;
  }
  SavePlacement();
  settings_.PreviewZoomLevel = static_cast<int>(std::lround(fontSize_ * 100.0 / baseSize_));
  if (objInfo_.DataSet != nullptr && objInfo_.DataSet->Active() && savedRecNo_ > 0) {
    objInfo_.DataSet->SetRecNo(savedRecNo_);
  }
  QDialog::done(result);
}

}  // namespace gpr
