// The report options window: frame, toolbar, menus, status panels, checks and commands
// (options_window.h). The controls of the five pages are built in options_pages.cpp.
#include "print/options_window.h"

#include "print/core/column_totals.h"
#include "print/core/gpr_error.h"
#include "print/core/page_builder.h"
#include "print/core/password_change.h"
#include "print/memo_date_format.h"
#include "print/options_pages.h"
#include "print/password_window.h"
#include "print/preview_window.h"
#include "print/printer_setup_dialog.h"
#include "print/report_font.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPrinterInfo>
#include <QRegularExpressionValidator>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace gpr {

namespace {

constexpr int kValidationSeconds = 5;
constexpr int kSavedSeconds = 2;

QString Plural(int n) { return n == 1 ? QString() : QStringLiteral("s"); }

QString WithExtensionFor(const QString& fileName, TgprOutputDest dest) {
  const QFileInfo info(fileName);
  const QString suffix = info.suffix().toUpper();
  if (suffix != QLatin1String("TXT") && suffix != QLatin1String("ASC") && suffix != QLatin1String("RTF")) {
    return fileName;
  }
  const QString ext = dest == odExport ? QStringLiteral("ASC") : QStringLiteral("TXT");
  return fileName.left(fileName.size() - info.suffix().size()) + ext;
}

}  // namespace

TfmGprMain::TfmGprMain(TgprReportSettings& settings, TObjInfo& objInfo, QWidget* parent)
    : QDialog(parent), settings_(settings), objInfo_(objInfo) {
  setObjectName(QStringLiteral("fmGprMain"));
  setWindowTitle(settings.DialogTitle.empty() ? QString::fromLatin1(kOptionsCaption)
                                              : QString::fromLatin1(kOptionsCaption) + QStringLiteral(": ") +
                                                    QString::fromStdString(settings.DialogTitle));
  BuildWindow();
  resize(760, 560);
}

TfmGprMain::~TfmGprMain() {
  // The children outlive this part of the window; a focus change while they are destroyed
  // must not reach the handlers.
  for (QObject* child : findChildren<QObject*>()) child->disconnect(this);
}

void TfmGprMain::BuildWindow() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  BuildMenus();
  BuildToolbar();
  tabPages_ = new QTabWidget(this);
  tabPages_->setObjectName(QStringLiteral("tabPages"));
  layout->addWidget(tabPages_, 1);
  pages_ = std::make_unique<TgprOptionsPages>(*this);
  pageWidgets_ = pages_->Build();
  BuildStatus();
  RebuildTabs();
  connect(tabPages_, &QTabWidget::currentChanged, this, [this](int index) {
    if (index < 0 || pageWidgets_[opSetup] != tabPages_->widget(index)) return;
    if (hooks_.SetupPassword && !hooks_.SetupPassword()) {
      tabPages_->setCurrentIndex((index + 1) % tabPages_->count() == index ? 0 : (index + 1) % tabPages_->count());
    }
  });
}

void TfmGprMain::BuildMenus() {
  auto* menu = new QMenuBar(this);
  layout()->setMenuBar(menu);
  QMenu* file = menu->addMenu(QStringLiteral("&File"));
  actPreview_ = file->addAction(QStringLiteral("Pre&view"), this, [this] { PreviewClick(); });
  actPreview_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
  file->addAction(QStringLiteral("Output Destination"), QKeySequence(Qt::CTRL | Qt::Key_O), this, [this] {
    cmbxOutputDest_->setFocus();
    cmbxOutputDest_->showPopup();
  });
  file->addAction(QStringLiteral("&Print"), QKeySequence(Qt::CTRL | Qt::Key_P), this, [this] { PrintClick(); });
  actPrinterSetup_ = file->addAction(QStringLiteral("Printer Set&up"), QKeySequence(Qt::CTRL | Qt::Key_U), this,
                                     [this] { PrinterSetup(); });
  actSave_ = file->addAction(QStringLiteral("&Save Options"), QKeySequence(Qt::CTRL | Qt::Key_S), this,
                             [this] { SaveClick(); });
  file->addAction(QStringLiteral("Size Column Widths"), this, [this] { RecomputeLayout(); });
  file->addAction(QStringLiteral("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_Q), this, [this] { close(); });
  QMenu* view = menu->addMenu(QStringLiteral("&View"));
  const char* const captions[] = {"&General", "O&utput", "&Styles", "&Titles", "Set&up"};
  for (int page = 0; page < kGprOptionsPageCount; ++page) {
    view->addAction(QString::fromLatin1(captions[page]), this, [this, page] {
      const int index = tabPages_->indexOf(pageWidgets_[page]);
      if (index >= 0) tabPages_->setCurrentIndex(index);
    });
  }
  view->addAction(QStringLiteral("&Widths"), this, [this] { RecomputeLayout(); });
  auto* toggle = view->addAction(QStringLiteral("Toggle Pages Visibility"), this, [this] { TogglePagesVisibility(); });
  toggle->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F10));
  addAction(toggle);
  menu->addAction(QStringLiteral("Help"), this,
                  [this] { ShowMessage(QStringLiteral("No help file is installed"), 0, kValidationSeconds); });
}

void TfmGprMain::BuildToolbar() {
  auto* bar = new QToolBar(this);
  bar->setObjectName(QStringLiteral("tbMain"));
  layout()->addWidget(bar);
  bar->addAction(QStringLiteral("Close"), this, [this] { close(); });
  bar->addAction(QStringLiteral("Print"), this, [this] { PrintClick(); });
  bar->addAction(actPrinterSetup_);
  bar->addAction(actSave_);
  bar->addAction(actPreview_);
  // The destination and its file on a row of their own, so that none of them is folded away.
  bar = new QToolBar(this);
  bar->setObjectName(QStringLiteral("tbOutput"));
  layout()->addWidget(bar);
  bar->addWidget(new QLabel(QStringLiteral(" Output: "), bar));
  cmbxOutputDest_ = new QComboBox(bar);
  cmbxOutputDest_->setObjectName(QStringLiteral("cmbxOutputDest"));
  cmbxOutputDest_->addItems({QStringLiteral("Printer"), QStringLiteral("Text File"), QStringLiteral("Export Data")});
  bar->addWidget(cmbxOutputDest_);
  edtOutputFile_ = new QLineEdit(bar);
  edtOutputFile_->setObjectName(QStringLiteral("OutputFileName"));
  edtOutputFile_->setMinimumWidth(360);
  bar->addWidget(edtOutputFile_);
  btnBrowse_ = new QToolButton(bar);
  btnBrowse_->setText(QStringLiteral("..."));
  bar->addWidget(btnBrowse_);
  cmbxFileExists_ = new QComboBox(bar);
  cmbxFileExists_->setObjectName(QStringLiteral("cmbxFileExists"));
  cmbxFileExists_->addItems({QStringLiteral("Overwrite"), QStringLiteral("Append"), QStringLiteral("Ask User")});
  bar->addWidget(cmbxFileExists_);

  connect(cmbxOutputDest_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (!filling_) OutputDestChanged(index);
  });
  connect(edtOutputFile_, &QLineEdit::textEdited, this, [this](const QString& text) {
    settings_.OutputFileName = text.toStdString();
    Edited(false);
  });
  connect(btnBrowse_, &QToolButton::clicked, this, &TfmGprMain::BrowseOutputFile);
  connect(cmbxFileExists_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (filling_) return;
    settings_.IfOutputFileExists = static_cast<TgprIfFileExists>(index);
    Edited(false);
  });
  bindings_.push_back({[this] {
    cmbxOutputDest_->setCurrentIndex(settings_.OutputDest);
    edtOutputFile_->setText(QString::fromStdString(settings_.OutputFileName));
    cmbxFileExists_->setCurrentIndex(settings_.IfOutputFileExists);
  }});
}

void TfmGprMain::BuildStatus() {
  auto* status = new QStatusBar(this);
  status->setSizeGripEnabled(false);
  const char* const names[] = {"pnlWidth", "pnlDestination", "pnlMessage", "pnlPagesAcross", "pnlPageSize"};
  for (int i = 0; i < 5; ++i) {
    auto* label = new QLabel(status);
    label->setObjectName(QString::fromLatin1(names[i]));
    label->setFrameShape(QFrame::Panel);
    label->setFrameShadow(QFrame::Sunken);
    label->setAutoFillBackground(true);
    status->addWidget(label, i == spMessage ? 1 : 0);
    panels_.push_back(label);
  }
  layout()->addWidget(status);
  tmrMessage_ = new QTimer(this);
  tmrMessage_->setSingleShot(true);
  connect(tmrMessage_, &QTimer::timeout, this, &TfmGprMain::HintTimeout);
}

void TfmGprMain::RebuildTabs() {
  // Rebuilding takes the pages off the screen and the focus with them: only when they change.
  std::vector<QWidget*> wanted;
  for (int page = 0; page < kGprOptionsPageCount; ++page) {
    if (!PageHidden(settings_.HidePages, static_cast<TgprOptionsPage>(page)) || showHiddenPages_) {
      wanted.push_back(pageWidgets_[page]);
    }
  }
  std::vector<QWidget*> shown;
  for (int i = 0; i < tabPages_->count(); ++i) shown.push_back(tabPages_->widget(i));
  if (shown == wanted) return;
  const int current = tabPages_->currentIndex();
  QWidget* currentPage = current >= 0 ? tabPages_->widget(current) : nullptr;
  const QSignalBlocker block(tabPages_);
  while (tabPages_->count() > 0) tabPages_->removeTab(0);
  for (int page = 0; page < kGprOptionsPageCount; ++page) {
    const auto which = static_cast<TgprOptionsPage>(page);
    if (PageHidden(settings_.HidePages, which) && !showHiddenPages_) continue;
    tabPages_->addTab(pageWidgets_[page], QString::fromLatin1(OptionsPageName(which)));
  }
  const int again = tabPages_->indexOf(currentPage);
  tabPages_->setCurrentIndex(again >= 0 ? again : 0);
}

void TfmGprMain::TogglePagesVisibility() {
  showHiddenPages_ = !showHiddenPages_;
  RebuildTabs();
}

QString TfmGprMain::StatusText(TgprStatusPanel panel) const { return panels_[panel]->text().trimmed(); }

void TfmGprMain::ShowMessage(const QString& text, int kind, int seconds) {
  QLabel* label = panels_[spMessage];
  label->setText(QStringLiteral("  ") + QString(text).replace('\r', ' ').replace('\n', ' '));
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, kind == 2 ? QColor(Qt::red) : kind == 1 ? QColor(Qt::yellow) : QColor(Qt::white));
  palette.setColor(QPalette::WindowText, Qt::black);
  label->setPalette(palette);
  QFont font = label->font();
  font.setBold(kind != 0);
  label->setFont(font);
  if (kind != 0) QApplication::beep();
  tmrMessage_->start(seconds * 1000);
}

void TfmGprMain::HintTimeout() {
  QLabel* label = panels_[spMessage];
  label->setText(QString());
  label->setPalette(QPalette());
  QFont font = label->font();
  font.setBold(false);
  label->setFont(font);
}

void TfmGprMain::FillControls() {
  filling_ = true;
  for (const TBinding& binding : bindings_) binding.Fill();
  filling_ = false;
  FillSamples();
  UpdateDestinationControls();
  RebuildTabs();
}

void TfmGprMain::UpdateDestinationControls() {
  const bool file = settings_.OutputDest != odPrinter;
  edtOutputFile_->setEnabled(file);
  btnBrowse_->setEnabled(file);
  cmbxFileExists_->setEnabled(file);
  actPrinterSetup_->setEnabled(settings_.OutputDest == odPrinter);
  actPreview_->setEnabled(settings_.OutputDest != odExport && settings_.PrintWhat != pwWindowSnapshot);
  const bool readOnly = settings_.SettingsReadOnly || (hooks_.SettingsFileReadOnly && hooks_.SettingsFileReadOnly());
  actSave_->setEnabled(!readOnly);
  if (grpExport_ != nullptr) grpExport_->setVisible(settings_.OutputDest == odExport);
  if (grpFastPrinter_ != nullptr) grpFastPrinter_->setVisible(settings_.AllowFastPrinterText);
  for (const TgprNumericField& field : NumericFields()) {
    if (auto* edit = findChild<QLineEdit*>(QString::fromLatin1(field.Key))) {
      edit->setEnabled(FieldShown(field, settings_, objInfo_));
    }
  }
  panels_[spDestination]->setText(QStringLiteral(" ") + cmbxOutputDest_->itemText(settings_.OutputDest));
}

void TfmGprMain::OutputDestChanged(int dest) {
  settings_.OutputDest = static_cast<TgprOutputDest>(std::clamp(dest, 0, 2));
  if (settings_.OutputDest != odPrinter) {
    const QString renamed = WithExtensionFor(QString::fromStdString(settings_.OutputFileName), settings_.OutputDest);
    settings_.OutputFileName = renamed.toStdString();
    edtOutputFile_->setText(renamed);
  }
  UpdateDestinationControls();
  Edited(true);
}

void TfmGprMain::PrinterSetup() {
  bool defaultPrinterLeft = false;
  if (!RunPrinterSetup(this, settings_, printerSetup_, defaultPrinterLeft)) return;
  FillControls();
  Edited(true);
  if (defaultPrinterLeft) ShowMessage(QString::fromLatin1(kNoLongerDefaultPrinter), 0, kValidationSeconds);
}

void TfmGprMain::BrowseOutputFile() {
  const bool exporting = settings_.OutputDest == odExport;
  const QString name = QFileDialog::getSaveFileName(
      this, exporting ? QStringLiteral("Export Report As") : QStringLiteral("Save Report As"),
      QString::fromStdString(settings_.OutputFileName),
      exporting ? QStringLiteral("ASCII Files (*.ASC)") : QStringLiteral("Text Files (*.TXT)"));
  if (name.isEmpty()) return;
  const QDir directory = QFileInfo(name).absoluteDir();
  if (!directory.exists()) {
    const auto answer = QMessageBox::question(this, QStringLiteral("Confirm"),
                                              QStringLiteral("The directory does NOT EXIST:\n") + directory.path() +
                                                  QStringLiteral("\nCreate this directory?"));
    if (answer != QMessageBox::Yes || !QDir().mkpath(directory.path())) return;
  }
  settings_.OutputFileName = name.toStdString();
  edtOutputFile_->setText(name);
  Edited(false);
}

TgprCheckContext TfmGprMain::CheckContext() const {
  TgprCheckContext context;
  for (const QString& name : QPrinterInfo::availablePrinterNames()) context.Printers.push_back(name.toStdString());
  const QFileInfo file(QString::fromStdString(settings_.OutputFileName));
  context.DirectoryExists = file.absoluteDir().exists();
  context.Memo = memo_;
  return context;
}

void TfmGprMain::Edited(bool affectsLayout) {
  if (filling_) return;
  settings_.Modified = true;
  FillSamples();
  UpdateDestinationControls();
  if (affectsLayout) RecomputeLayout();
}

bool TfmGprMain::CheckNumeric(const TgprNumericField& field, bool showFailure) {
  if (!FieldShown(field, settings_, objInfo_)) return true;
  const auto message = CheckRange(field, field.Ref(settings_, memo_), objInfo_.Columns.Count());
  if (!message) return true;
  if (showFailure) ShowIssue({*message, field.Key, false});
  return false;
}

bool TfmGprMain::ShowIssue(const TgprCheckIssue& issue) {
  if (!issue.Note && hooks_.OptionsPassword && !hooks_.OptionsPassword()) return false;
  ShowMessage(QString::fromStdString(issue.Message), issue.Note ? 0 : 2, kValidationSeconds);
  if (!issue.Note) FocusControl(issue.Focus);
  return true;
}

void TfmGprMain::FocusControl(const std::string& key) {
  QWidget* control = findChild<QWidget*>(QString::fromStdString(key));
  if (control == nullptr) return;
  for (int page = 0; page < kGprOptionsPageCount; ++page) {
    if (pageWidgets_[page]->isAncestorOf(control)) {
      const int index = tabPages_->indexOf(pageWidgets_[page]);
      if (index >= 0) tabPages_->setCurrentIndex(index);
    }
  }
  control->setFocus(Qt::OtherFocusReason);
}

bool TfmGprMain::ValidateAll() {
  const std::vector<TgprCheckIssue> issues = CheckAllOptions(settings_, objInfo_, CheckContext());
  for (const TgprCheckIssue& issue : issues) {
    ShowIssue(issue);
    if (!issue.Note) return false;
  }
  return true;
}

bool TfmGprMain::RecomputeLayout() {
  // Laid out on copies: the window's check must not change what the request prints.
  TgprReportSettings settings = settings_;
  TObjInfo objInfo = objInfo_;
  TgprPrintSettings print;
  try {
    const TgprPrinterPage printer = PrinterPageFor(settings, printerSetup_);
    TgprPageBuilder builder(settings, objInfo, print, settings.OutputDest == odPrinter ? &printer : nullptr);
  } catch (const std::exception& e) {
    ShowMessage(QString::fromUtf8(e.what()), 2, kValidationSeconds);
    return false;
  }
  QString width = QStringLiteral("Total Report Width: %1%2")
                      .arg(print.PanelWidth > 0 ? print.PanelWidth : print.ReportWidth)
                      .arg(QStringLiteral(" chars"));
  if (settings.PanelsAcrossPage > 1) {
    width +=
        QStringLiteral(" x %1 Panel%2 = %3 chars").arg(print.Panels).arg(Plural(print.Panels)).arg(print.ReportWidth);
  }
  panels_[spWidth]->setText(QStringLiteral(" ") + width);
  QLabel* across = panels_[spPagesAcross];
  QPalette palette = across->palette();
  if (settings.OutputDest == odExport) {
    across->setText(QStringLiteral(" Export"));
    palette.setColor(QPalette::Window, Qt::white);
  } else if (settings.PrintWhat == pwWindowSnapshot) {
    across->setText(QStringLiteral(" Snapshot"));
    palette.setColor(QPalette::Window, QColor(255, 165, 0));
  } else {
    across->setText(print.PagesAcross == 1 ? QStringLiteral(" 1 Page Across")
                                           : QStringLiteral(" %1 Pages Across").arg(print.PagesAcross));
    palette = QPalette();
  }
  across->setPalette(palette);
  panels_[spPageSize]->setText(QStringLiteral(" %1%2 h x %3%4 w")
                                   .arg(print.LinesPerPage)
                                   .arg(QStringLiteral(" lines"))
                                   .arg(print.CharsPerLine)
                                   .arg(QStringLiteral(" chars")));
  if (grpOutputOptions_ != nullptr) {
    grpOutputOptions_->setTitle(QStringLiteral("Output Options (Font Size: %1)").arg(print.FontSize));
  }
  return true;
}

void TfmGprMain::SetSnapshotForm(QWidget* form, std::string componentName) {
  snapshotForm_ = form;
  componentName_ = std::move(componentName);
}

TgprRunContext TfmGprMain::RunContext(QWidget* parent) {
  TgprRunContext context;
  context.Parent = parent;
  context.PrinterSetup = printerSetup_;
  context.SnapshotForm = snapshotForm_;
  context.ComponentName = componentName_;
  return context;
}

void TfmGprMain::ConnectPreview(TfmGprPreview& preview) {
  preview.SharePrinterSetup(printerSetup_);
  preview.SetPrintHandler([this, &preview](TgprPageRange range) {
    TgprRunOutcome outcome = RunReport(settings_, objInfo_, range, RunContext(&preview));
    lastRunResult_ = outcome.Result;
    pagesPrinted_ = outcome.PagesPrinted;
    return outcome;
  });
  if (hooks_.PreparePreview) hooks_.PreparePreview(preview);
}

TgprRunOutcome TfmGprMain::PrintClick() {
  TgprRunOutcome outcome;
  outcome.Result = rrTerminated;
  if (hooks_.ReportPassword && !hooks_.ReportPassword()) {
    ShowMessage(QString::fromUtf8(eGprSUError("Report Password Violation").what()), 2, kValidationSeconds);
    return outcome;
  }
  if (!ValidateAll()) return outcome;
  const TgprPageRange range = PageRangeFor(settings_);
  outcome = RunReport(settings_, objInfo_, range, RunContext(this));
  lastRunResult_ = outcome.Result;
  pagesPrinted_ = outcome.PagesPrinted;
  if (!outcome.ErrorMessage.empty()) {
    QMessageBox::warning(this, QStringLiteral("Warning"),
                         QString::fromStdString(outcome.ErrorMessage).replace('\r', '\n'));
  } else if (outcome.Result == rrCompleted) {
    ShowMessage(QStringLiteral("%1 Pages Printed").arg(outcome.PagesPrinted), 0, kValidationSeconds);
  }
  if (settings_.CloseWinAfterPrinting && outcome.Result == rrCompleted) close();
  return outcome;
}

bool TfmGprMain::PreviewClick() {
  if (hooks_.ReportPassword && !hooks_.ReportPassword()) {
    ShowMessage(QString::fromUtf8(eGprSUError("Report Password Violation").what()), 2, kValidationSeconds);
    return false;
  }
  if (!ValidateAll()) return false;
  TfmGprPreview preview(settings_, objInfo_, this);
  ConnectPreview(preview);
  preview.exec();
  FillControls();
  RecomputeLayout();
  return true;
}

bool TfmGprMain::SaveClick() {
  if (!actSave_->isEnabled() || !ValidateAll()) return false;
  bool saved = false;
  try {
    saved = hooks_.Save ? hooks_.Save() : false;
  } catch (const std::exception& e) {
    ShowMessage(QString::fromUtf8(e.what()), 2, kValidationSeconds);
    return false;
  }
  if (saved) ShowMessage(QStringLiteral(" Saved "), 0, kSavedSeconds);
  return saved;
}

bool TfmGprMain::SetColumnTotal(int column, TgprTotalKind kind) {
  if (column < 0 || column >= objInfo_.Columns.Count()) return false;
  ApplyColumnTotals(objInfo_.Columns, settings_.ColumnTotals, settings_.GroupColumns);
  SetGrandTotal(objInfo_.Columns[column], kind);
  const std::string text = ColumnTotalsText(objInfo_.Columns, settings_.GroupColumns);
  if (text == settings_.ColumnTotals) return false;
  settings_.ColumnTotals = text;
  FillControls();
  Edited(true);
  return true;
}

bool TfmGprMain::SetColumnFormat(int column, const std::string& format) {
  if (column < 0 || column >= objInfo_.Columns.Count()) return false;
  if (const auto problem = FormatStringProblem(format)) {
    ShowMessage(QStringLiteral("Formatting string ") + QString::fromStdString(Quoted(format)) +
                    QStringLiteral(" is invalid.\r") + QString::fromStdString(*problem),
                1, kValidationSeconds);
    return false;
  }
  ApplyColumnTotals(objInfo_.Columns, settings_.ColumnTotals, settings_.GroupColumns);
  objInfo_.Columns[column].TotalFormat = format;
  const std::string text = ColumnTotalsText(objInfo_.Columns, settings_.GroupColumns);
  if (text == settings_.ColumnTotals) {
    FillControls();
    return false;
  }
  settings_.ColumnTotals = text;
  FillControls();
  Edited(true);
  return true;
}

void TfmGprMain::SelectMemo(int step) {
  const int next = memo_ + step;
  if (next < 0 || next >= kGprMemoCount) {
    QApplication::beep();
    return;
  }
  lstbxMemos_->setCurrentRow(next);
}

void TfmGprMain::ChooseFont(TgprFontTarget target) {
  QFont current;
  switch (target) {
  case TgprFontTarget::Report: current = ReportFont(settings_, settings_.TextFontSize); break;
  case TgprFontTarget::Replacement:
    current = ReportFont(settings_.ReplFontName, settings_.ReplFontSize, settings_.ReplFontStyle);
    break;
  case TgprFontTarget::Memo: {
    const TgprRptMemo& memo = settings_.Memo(memo_);
    current = ReportFont(memo.MemoFontName, memo.MemoFontSize, memo.MemoFontStyle);
    break;
  }
  }
  bool ok = false;
  const QFont chosen = QFontDialog::getFont(&ok, current, this);
  if (ok) ApplyFont(target, chosen);
}

void TfmGprMain::ApplyFont(TgprFontTarget target, const QFont& font) {
  const int style = (font.bold() ? kGprFontBold : 0) | (font.italic() ? kGprFontItalic : 0) |
                    (font.underline() ? kGprFontUnderline : 0) | (font.strikeOut() ? kGprFontStrikeOut : 0);
  const std::string family = font.family().toStdString();
  const int size = std::max(1, font.pointSize());
  switch (target) {
  case TgprFontTarget::Report:
    settings_.TextFontName = family;
    settings_.TextFontSize = size;
    settings_.TextFontStyle = style;
    break;
  case TgprFontTarget::Replacement:
    settings_.ReplFontName = family;
    settings_.ReplFontSize = size;
    settings_.ReplFontStyle = style;
    break;
  case TgprFontTarget::Memo: {
    TgprRptMemo& memo = settings_.Memo(memo_);
    memo.MemoFontName = family;
    memo.MemoFontSize = size;
    memo.MemoFontStyle = style;
    break;
  }
  }
  FillControls();
  Edited(target == TgprFontTarget::Report);
}

void TfmGprMain::ChangePasswordClick(TgprPasswordKind kind) {
  static const char* const kNames[] = {"Report Password", "Report Options Password", "Setup Page Password"};
  std::string* stored = kind == TgprPasswordKind::Report    ? &settings_.RptPW
                        : kind == TgprPasswordKind::Options ? &settings_.RptOptPW
                                                            : &settings_.RptSetUpPW;
  std::string scratch;
  std::string* remembered = hooks_.RememberedPassword ? hooks_.RememberedPassword(kind) : nullptr;
  TgprPasswordWindows dialogs(QString::fromStdString(settings_.DialogTitle), this);
  bool modified = false;
  ChangePassword(dialogs, kNames[static_cast<int>(kind)], *stored, remembered ? *remembered : scratch, modified);
  FillControls();
  if (modified) Edited(false);
}

void TfmGprMain::FillSamples() {
  if (lblSampleDate_ == nullptr) return;
  const QDateTime now = QDateTime::currentDateTime();
  const auto sample = [&now](const std::string& format, const char* fallback) {
    return FormatMemoDateTime(format.empty() ? fallback : format, now);
  };
  lblSampleDate_->setText(QStringLiteral("Sample Date Format: ") + sample(settings_.MemoDateFormatStr, "ddddd"));
  lblSampleTime_->setText(QStringLiteral("Sample Time Format: ") + sample(settings_.MemoTimeFormatStr, "t"));
}

bool TfmGprMain::AskSaveOnClose() {
  const bool readOnly = settings_.SettingsReadOnly || (hooks_.SettingsFileReadOnly && hooks_.SettingsFileReadOnly());
  if (readOnly || !settings_.Modified || !hooks_.Save) return true;
  QApplication::beep();
  const auto answer = QMessageBox::question(
      this, windowTitle(), QStringLiteral("Report Settings have been modified.\n\nSave New Report Settings?"),
      QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  if (answer == QMessageBox::Cancel) return false;
  if (answer == QMessageBox::No) return true;
  SaveClick();
  if (settings_.Modified) {
    QMessageBox::warning(this, windowTitle(), QStringLiteral("Unable to save report settings"));
    return false;
  }
  return true;
}

// Close, Exit, Escape and the title bar all come here: the save question may keep the window.
void TfmGprMain::reject() {
  if (AskSaveOnClose()) QDialog::reject();
}

}  // namespace gpr
