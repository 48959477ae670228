// TgprPagePainter: draws the lines of report pages with QPainter - on a printer, or into a
// PDF - each line at the left edge of the printable area, one line advance apart, in the
// report font; and a window's picture on a page of its own. Shared by the printer and the
// PDF channels.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>

#include <string>
#include <vector>

namespace gpr {

// The report font and line spacing of a run.
struct TgprTextStyle {
  std::string FontName = "Gridline Mono";  // `TextFontName`
  int FontSize = 10;                       // `TextFontSize`
  int FontStyle = 0;                       // `TextFontStyle`
  int FontColor = 0;                       // `TextFontColor`, 0xRRGGBB
  int LineHeightPercent = 100;             // `VertHtAdjPer`
};

class TgprPagePainter {
 public:
  explicit TgprPagePainter(const TgprTextStyle& style) : style_(style) {}

  // Sets the painter up for pages (after QPainter::begin on the device).
  void Begin(QPainter& painter);
  void DrawPage(QPainter& painter, const std::vector<std::string>& lines) const;

 private:
  TgprTextStyle style_;
  double ascent_ = 0;
  double advance_ = 0;
};

// How a window snapshot is scaled onto its page (the second letter of `SnapShotSize`):
// "P" proportional, "S" the screen's own scale, anything else stretched to fit the page.
enum class TgprPictureScale { FitPage, Proportional, SameScale };
TgprPictureScale PictureScaleOf(const std::string& snapShotSize);

// Draws picture inside the page of the painter's device, from its top left corner.
void DrawPicture(QPainter& painter, const QImage& picture, TgprPictureScale scale);

// An output channel that can also print a picture as a page (the printer and PDF channels).
class TgprPictureChannel {
 public:
  virtual ~TgprPictureChannel() = default;
  virtual void WritePicture(const QImage& picture, TgprPictureScale scale) = 0;
};

}  // namespace gpr
