// The report's screen font (report_font.h).
#include "print/report_font.h"

#include <QFontDatabase>
#include <QFontInfo>

namespace gpr {

QFont ReportFont(const TgprReportSettings& settings, int pointSize) {
  QFont font(QString::fromStdString(settings.TextFontName));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  if (!QFontDatabase::hasFamily(font.family()) || !QFontInfo(font).fixedPitch()) {
    font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  }
  font.setPointSize(std::max(1, pointSize));
  font.setBold((settings.TextFontStyle & kGprFontBold) != 0);
  font.setItalic((settings.TextFontStyle & kGprFontItalic) != 0);
  font.setUnderline((settings.TextFontStyle & kGprFontUnderline) != 0);
  font.setStrikeOut((settings.TextFontStyle & kGprFontStrikeOut) != 0);
  return font;
}

}  // namespace gpr
