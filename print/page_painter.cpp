// Drawing page lines in the report font (page_painter.h).
#include "print/page_painter.h"

#include "print/report_font.h"

#include <QFontMetricsF>
#include <QString>

#include <cctype>

namespace gpr {

void TgprPagePainter::Begin(QPainter& painter) {
  painter.setFont(ReportFont(style_.FontName, style_.FontSize, style_.FontStyle));
  painter.setPen(QColor((style_.FontColor >> 16) & 0xFF, (style_.FontColor >> 8) & 0xFF, style_.FontColor & 0xFF));
  // Metrics on the device itself: printer and PDF resolutions differ from the screen's.
  const QFontMetricsF metrics(painter.font(), painter.device());
  ascent_ = metrics.ascent();
  advance_ = metrics.lineSpacing() * style_.LineHeightPercent / 100.0;
}

void TgprPagePainter::DrawPage(QPainter& painter, const std::vector<std::string>& lines) const {
  double y = ascent_;
  for (const std::string& line : lines) {
    painter.drawText(QPointF(0, y), QString::fromStdString(line));
    y += advance_;
  }
}

TgprPictureScale PictureScaleOf(const std::string& snapShotSize) {
  const char letter =
      snapShotSize.size() >= 2 ? static_cast<char>(std::toupper(static_cast<unsigned char>(snapShotSize[1]))) : 'T';
  if (letter == 'P') return TgprPictureScale::Proportional;
  if (letter == 'S') return TgprPictureScale::SameScale;
  return TgprPictureScale::FitPage;
}

void DrawPicture(QPainter& painter, const QImage& picture, TgprPictureScale scale) {
  const QPaintDevice* device = painter.device();
  const QSizeF page(device->width(), device->height());
  if (picture.isNull() || page.isEmpty()) return;
  QSizeF size;
  switch (scale) {
  case TgprPictureScale::FitPage: size = page; break;
  case TgprPictureScale::Proportional: size = QSizeF(picture.size()).scaled(page, Qt::KeepAspectRatio); break;
  case TgprPictureScale::SameScale: {
    // The picture's pixels at the size they have on the screen, cut at the page's edges.
    const double screenDpi = 96.0 * picture.devicePixelRatio();
    size = QSizeF(picture.width() * device->logicalDpiX() / screenDpi,
                  picture.height() * device->logicalDpiY() / screenDpi);
    break;
  }
  }
  painter.save();
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.setClipRect(QRectF(QPointF(0, 0), page));
  painter.drawImage(QRectF(QPointF(0, 0), size), picture);
  painter.restore();
}

}  // namespace gpr
