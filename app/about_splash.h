// TfAboutSplash, the small black window that names the program and its version and tells the
// date of the catalogue data. It serves twice: as the splash window shown while the program
// starts (until the main window is first shown) and as the about window opened modally by the
// main window's "&More" button. In about mode its close button is shown; in splash mode it is
// hidden. While the window is open a timer makes random pixels twinkle on it.
//
// About mode is a process-wide flag: false at start, set by the "&More" button, never cleared.
// The window takes its mode as an argument so that both modes can be made in one process.
#pragma once

#include <QColor>
#include <QDialog>
#include <QPoint>

#include <memory>
#include <optional>

class QFrame;
class QLabel;
class QPushButton;
class QTimer;

void SetAboutMode();
bool AboutMode();

class TfAboutSplash : public QDialog {
  Q_OBJECT
 public:
  // dataDirectory: where "VIDEOS.DAT" is looked up; empty means the current directory.
  explicit TfAboutSplash(bool aboutMode, QString dataDirectory = {}, QWidget* parent = nullptr);
  ~TfAboutSplash() override;

  // Makes the splash window, shows it (not modal) and paints it at once. It lives until the
  // returned pointer is released: the main window does so when it is first shown.
  static std::unique_ptr<TfAboutSplash> ShowSplash();

  // One twinkle: the pixel made coloured and the pixel made black.
  struct TTwinkle {
    QPoint colouredAt;
    QColor colour;
    QPoint blackAt;
  };
  // The last twinkle drawn; nothing before the first tick.
  const std::optional<TTwinkle>& LastTwinkle() const { return twinkle_; }

  // Controls, owned by the window through Qt's parents.
  QFrame* Panel1 = nullptr;
  QLabel* lblBig = nullptr;
  QLabel* lblD8aD8Upd8 = nullptr;
  QPushButton* btnClose = nullptr;
  QTimer* Timer1 = nullptr;

  // Sets one pixel to a random colour and another to black, at random positions of the
  // client area; run by Timer1 every 100 ms.
  void Timer1Timer();

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void FormShow();
  void ShowAboutModeControls();

  QString dataDirectory_;
  bool centred_ = false;
  // The pixels of the last tick. They are painted over whatever the window shows until the
  // next tick; a repaint after that removes them, as it removes every older twinkle.
  std::optional<TTwinkle> twinkle_;
};
