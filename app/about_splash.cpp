// TfAboutSplash: layout, the data-date label, the twinkle, and the splash's start.
#include "app/about_splash.h"

#include "app/data_date.h"

#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QStyle>
#include <QTimer>

namespace {

constexpr int kWindowWidth = 437;
constexpr int kWindowHeight = 218;
constexpr int kTwinkleIntervalMs = 100;

const QColor kPurple(128, 0, 128);

// Set by the "&More" button; read when a window is made. Only the user-interface thread
// touches it.
bool aboutMode = false;

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const char* family, int pixelSize,
                  const QColor& colour) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  QFont font(QString::fromLatin1(family));
  font.setPixelSize(pixelSize);
  font.setBold(true);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, colour);
  label->setPalette(palette);
  label->setAutoFillBackground(false);  // transparent: the panel shows through
  return label;
}

}  // namespace

void SetAboutMode() { aboutMode = true; }

bool AboutMode() { return aboutMode; }

TfAboutSplash::TfAboutSplash(bool aboutMode, QString dataDirectory, QWidget* parent)
    : QDialog(parent), dataDirectory_(std::move(dataDirectory)) {
  setObjectName(QStringLiteral("fAboutSplash"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(kWindowWidth, kWindowHeight);
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(11);
  setFont(font);
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, Qt::black);
  setPalette(palette);

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setGeometry(18, 18, 391, 154);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setLineWidth(1);
  Panel1->setAutoFillBackground(true);  // opaque: the twinkle shows on the window around it only

  lblBig = MakeLabel(Panel1, "lblBig", QStringLiteral("Pellomar 1.1"), "Bookman Old Style", 37, kPurple);
  lblBig->move(12, 18);
  lblBig->adjustSize();

  lblD8aD8Upd8 = MakeLabel(Panel1, "lblD8aD8Upd8", {}, "Courier New", 16, Qt::white);
  lblD8aD8Upd8->setWordWrap(true);
  lblD8aD8Upd8->setGeometry(12, 86, 380, 24);

  btnClose = new QPushButton(QStringLiteral("&Close"), this);
  btnClose->setObjectName(QStringLiteral("btnClose"));
  btnClose->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
  btnClose->setGeometry((kWindowWidth - 90) / 2, 182, 90, 27);
  btnClose->setVisible(false);
  connect(btnClose, &QPushButton::clicked, this, &QWidget::close);

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(kTwinkleIntervalMs);
  connect(Timer1, &QTimer::timeout, this, &TfAboutSplash::Timer1Timer);

  setWindowTitle(lblBig->text());
  if (aboutMode) ShowAboutModeControls();
  Timer1->start();
}

TfAboutSplash::~TfAboutSplash() = default;

std::unique_ptr<TfAboutSplash> TfAboutSplash::ShowSplash() {
  auto splash = std::make_unique<TfAboutSplash>(AboutMode());
  splash->show();
  // Painted now: the main window is made next and the event loop does not run until then.
  splash->repaint();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  return splash;
}

void TfAboutSplash::ShowAboutModeControls() { btnClose->setVisible(true); }

void TfAboutSplash::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!centred_) {
    centred_ = true;
    if (const QScreen* screen = this->screen()) {
      const QRect area = screen->geometry();
      move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
  }
  FormShow();
}

void TfAboutSplash::FormShow() {
  const QString directory = dataDirectory_.isEmpty() ? QDir::currentPath() : dataDirectory_;
  lblD8aD8Upd8->setText(DataDateText(DataFileTime(directory)));
}

void TfAboutSplash::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    btnClose->click();  // a hidden button clicks too: Escape also closes the splash
    return;
  }
  QDialog::keyPressEvent(event);
}

void TfAboutSplash::Timer1Timer() {
  if (width() <= 0 || height() <= 0) return;
  auto* random = QRandomGenerator::global();
  TTwinkle twinkle;
  twinkle.colouredAt = QPoint(random->bounded(width()), random->bounded(height()));
  twinkle.colour = QColor(random->bounded(255), random->bounded(255), random->bounded(255));
  twinkle.blackAt = QPoint(random->bounded(width()), random->bounded(height()));
  twinkle_ = twinkle;
  update(QRect(twinkle.colouredAt, QSize(1, 1)));
  update(QRect(twinkle.blackAt, QSize(1, 1)));
}

void TfAboutSplash::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  if (!twinkle_) return;
  QPainter painter(this);
  painter.setPen(twinkle_->colour);
  painter.drawPoint(twinkle_->colouredAt);
  painter.setPen(Qt::black);
  painter.drawPoint(twinkle_->blackAt);
}
