// The progress window (progress_window.h).
#include "print/progress_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace gpr {

namespace {

constexpr int kUpdateIntervalMs = 500;
const char* const kNormalStatus = "";
const char* const kSuspendedStatus = "color: white; background: black;";
const char* const kErrorStyle = "color: white; background: red;";
const char* const kDoneStyle = "color: white; background: green;";

}  // namespace

TfmGprProgress::TfmGprProgress(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Processing..."));
  setAttribute(Qt::WA_ShowWithoutActivating);
  lblPage_ = new QLabel(this);
  lblOutput_ = new QLabel(this);
  pnlBar_ = new QFrame(this);
  pnlBar_->setFrameShape(QFrame::Panel);
  pnlBar_->setFrameShadow(QFrame::Sunken);
  pnlBar_->setFixedSize(300, 22);
  pnlBarFill_ = new QFrame(pnlBar_);
  pnlBarFill_->setStyleSheet(QStringLiteral("background: navy;"));
  pnlBarFill_->setGeometry(0, 0, 0, 22);
  lblBarText_ = new QLabel(pnlBar_);
  lblBarText_->setAlignment(Qt::AlignCenter);
  lblBarText_->setGeometry(0, 0, 300, 22);
  lblStatus_ = new QLabel(this);
  lblStatus_->setAutoFillBackground(true);
  btnOk_ = new QPushButton(QStringLiteral("&Ok"), this);
  btnCancel_ = new QPushButton(QStringLiteral("&Cancel"), this);
  btnResume_ = new QPushButton(QStringLiteral("&Resume Print Job"), this);
  btnAbort_ = new QPushButton(QStringLiteral("&Abort Print Job"), this);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* button : {btnOk_, btnCancel_, btnResume_, btnAbort_}) {
    button->setAutoDefault(false);
    buttons->addWidget(button);
  }
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblPage_);
  layout->addWidget(lblOutput_);
  layout->addWidget(pnlBar_);
  layout->addLayout(buttons);
  layout->addWidget(lblStatus_);
  setFixedSize(sizeHint());
  connect(btnCancel_, &QPushButton::clicked, this, [this] { btnCancelClick(); });
  connect(btnResume_, &QPushButton::clicked, this, [this] { btnResumeClick(); });
  connect(btnAbort_, &QPushButton::clicked, this, [this] { btnAbortClick(); });
  connect(btnOk_, &QPushButton::clicked, this, [this] { btnOkClick(); });
}

TfmGprProgress::~TfmGprProgress() {
  if (cursorSet_) QApplication::restoreOverrideCursor();
}

QString TfmGprProgress::DuringText() const {
  return QString::fromUtf8(ActivityWord(activity_, true).data()) + QStringLiteral("...Please Wait!");
}

void TfmGprProgress::ShowProgress(const QString& title, TgprActivity activity, const QString& abortCaption,
                                  const QString& resumeCaption, const QString& countedUnit) {
  activity_ = activity;
  countedUnit_ = countedUnit;
  expected_ = 0;
  lastDone_ = 0;
  barUpdates_ = 0;
  suspendAsked_ = suspended_ = aborted_ = false;
  setWindowTitle(title);
  lblPage_->clear();
  lblOutput_->clear();
  SetBar(0, QString(), QStringLiteral("background: navy;"));
  SetStatus(DuringText(), kNormalStatus);
  btnAbort_->setText(abortCaption);
  btnResume_->setText(resumeCaption);
  btnAbort_->hide();
  btnResume_->hide();
  btnOk_->hide();
  btnCancel_->show();
  show();
  if (!cursorSet_) QApplication::setOverrideCursor(Qt::WaitCursor);
  cursorSet_ = true;
  lastUpdate_.start();
}

bool TfmGprProgress::PageDone(TgprActivity activity, TgprPageId page, int rowsDone, int rowCount) {
  if (!isVisible()) return true;
  if (activity != activity_) {
    activity_ = activity;
    if (!suspended_) SetStatus(DuringText(), kNormalStatus);
  }
  return UpdateProgress(rowsDone, rowCount, page, activity != acExporting);
}

bool TfmGprProgress::UpdateProgress(int done, int expectedTotal, TgprPageId page, bool pageKnown) {
  lastDone_ = done;
  if (expected_ <= 0 || expectedTotal > expected_) expected_ = expectedTotal;
  if (lastUpdate_.elapsed() >= kUpdateIntervalMs) {
    if (expected_ > 0 && done > expected_) expected_ *= 2;
    const double fraction = expected_ > 0 ? static_cast<double>(done) / expected_ : 0;
    SetBar(fraction, QString::asprintf("%d %s (%3.0f%%)", done, qPrintable(countedUnit_), fraction * 100),
           QStringLiteral("background: navy;"));
    if (pageKnown) {
      lblPage_->setText(QString::fromUtf8(ActivityWord(activity_, true).data()) +
                        QString::asprintf(": Page %d-%d", page.Page, page.Across));
    }
    ++barUpdates_;
    lastUpdate_.restart();
  }
  QCoreApplication::processEvents();
  if (suspendAsked_ && !aborted_) Suspend();
  return !aborted_;
}

void TfmGprProgress::Suspend() {
  suspendAsked_ = false;
  suspended_ = true;
  SetStatus(QStringLiteral("-- User Suspended ") + QString::fromUtf8(ActivityWord(activity_, true).data()) +
                QStringLiteral(" --"),
            kSuspendedStatus);
  btnCancel_->hide();
  btnAbort_->show();
  btnResume_->show();
  QEventLoop loop;
  wait_ = &loop;
  loop.exec();
  wait_ = nullptr;
  suspended_ = false;
}

void TfmGprProgress::btnCancelClick() { suspendAsked_ = true; }

void TfmGprProgress::AskToSuspend() {
  if (btnCancel_->isVisible()) btnCancelClick();
}

void TfmGprProgress::btnResumeClick() {
  SetStatus(DuringText(), kNormalStatus);
  btnAbort_->hide();
  btnResume_->hide();
  btnCancel_->show();
  if (wait_) wait_->quit();
}

void TfmGprProgress::btnAbortClick() {
  aborted_ = true;
  if (wait_) wait_->quit();
  CloseByButton();
}

void TfmGprProgress::btnOkClick() {
  if (wait_) wait_->quit();
  CloseByButton();
}

void TfmGprProgress::CloseByButton() {
  closingByButton_ = true;
  hide();
  closingByButton_ = false;
}

void TfmGprProgress::FinishProgress(bool pause, const TgprRunSummary& summary) {
  if (cursorSet_) QApplication::restoreOverrideCursor();
  cursorSet_ = false;
  CloseByButton();
  if (!pause) return;
  const bool isExport = summary.Activity == acExporting;
  lblPage_->setText(QString::fromStdString(StatisticsText(summary.PagesPrinted, summary.Elapsed, isExport)));
  btnCancel_->hide();
  btnAbort_->hide();
  btnResume_->hide();
  btnOk_->show();
  if (summary.Status == rsCompleted) {
    if (summary.PagesPrinted == 0) {
      SetBar(1,
             summary.PageRange ? QStringLiteral("No pages found for page range") : QStringLiteral("No pages printed"),
             kErrorStyle);
    } else {
      const double fraction = expected_ > 0 ? std::min(1.0, static_cast<double>(lastDone_) / expected_) : 1.0;
      SetBar(fraction, QString::asprintf("%d %s  (%3.0f%%)", lastDone_, qPrintable(countedUnit_), fraction * 100),
             kDoneStyle);
    }
    SetStatus(QString::fromUtf8(RunStatusWords(summary.Status).data()), kNormalStatus);
  } else {
    SetStatus(QString::fromUtf8(RunStatusWords(summary.Status).data()), kErrorStyle);
  }
  show();
  raise();
  QApplication::beep();
  QEventLoop loop;
  wait_ = &loop;
  loop.exec();
  wait_ = nullptr;
}

void TfmGprProgress::SetBar(double fraction, const QString& text, const QString& style) {
  fraction = std::clamp(fraction, 0.0, 1.0);
  pnlBarFill_->setGeometry(0, 0, static_cast<int>(pnlBar_->width() * fraction), pnlBar_->height());
  pnlBarFill_->setStyleSheet(style);
  // The text stands on the bar: white on the coloured bars of the final state, as they say.
  lblBarText_->setStyleSheet(style.contains(QLatin1String("color: white")) ? QStringLiteral("color: white;")
                                                                           : QString());
  lblBarText_->setText(text);
}

void TfmGprProgress::SetStatus(const QString& text, const QString& style) {
  lblStatus_->setText(text);
  lblStatus_->setStyleSheet(style);
}

QString TfmGprProgress::PageText() const { return lblPage_->text(); }
QString TfmGprProgress::BarText() const { return lblBarText_->text(); }
QString TfmGprProgress::StatusText() const { return lblStatus_->text(); }

void TfmGprProgress::keyPressEvent(QKeyEvent* event) {
  const bool ctrlBreak = event->key() == Qt::Key_Pause && (event->modifiers() & Qt::ControlModifier);
  if (event->key() == Qt::Key_Escape || ctrlBreak || event->key() == Qt::Key_Cancel) {
    AskToSuspend();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TfmGprProgress::closeEvent(QCloseEvent* event) {
  if (closingByButton_) {
    event->accept();
    return;
  }
  QApplication::beep();
  event->ignore();
}

void TfmGprProgress::reject() {
  // Escape reaches here on some platforms; it suspends, it never closes.
  AskToSuspend();
}

}  // namespace gpr
