// Drawing page lines in the report font (page_painter.h).
#include "print/page_painter.h"

#include "print/report_font.h"

#include <QFontMetricsF>
#include <QString>

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

}  // namespace gpr
