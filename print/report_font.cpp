// Loading the line-drawing font and building the report font (report_font.h).
#include "print/report_font.h"

#include "print/core/report_settings.h"

#include <QFontDatabase>
#include <QStringList>

namespace gpr {

namespace {

constexpr const char* kFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
constexpr const char* kFontFamily = "DejaVu Sans Mono";

}  // namespace

namespace {

// The family "Gridline Mono" was mapped to.
QString& MappedFamily() {
  static QString family = QString::fromLatin1(kFontFamily);
  return family;
}

}  // namespace

bool TgprLineDrawFont::Load() {
  static const bool loaded = [] {
    const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(kFontFile));
    QString family = QString::fromLatin1(kFontFamily);
    if (id >= 0) {
      const QStringList families = QFontDatabase::applicationFontFamilies(id);
      if (!families.isEmpty()) family = families.front();
    }
    QFont::insertSubstitution(QString::fromLatin1(kGprReportFontFamily), family);
    MappedFamily() = family;
    return id >= 0;
  }();
  return loaded;
}

QString TgprLineDrawFont::Family() {
  Load();
  return MappedFamily();
}

QFont ReportFont(const std::string& name, int pointSize, int style) {
  TgprLineDrawFont::Load();
  QFont font(QString::fromStdString(name.empty() ? std::string(kGprReportFontFamily) : name));
  font.setPointSize(pointSize > 0 ? pointSize : 10);
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setBold((style & kGprFontBold) != 0);
  font.setItalic((style & kGprFontItalic) != 0);
  font.setUnderline((style & kGprFontUnderline) != 0);
  font.setStrikeOut((style & kGprFontStrikeOut) != 0);
  // Box-drawing lines must join: no kerning, no hinting that moves glyphs off the cells.
  font.setKerning(false);
  font.setHintingPreference(QFont::PreferNoHinting);
  return font;
}

QFont ReportFont(const TgprReportSettings& settings, int pointSize) {
  return ReportFont(settings.TextFontName, pointSize, settings.TextFontStyle);
}

}  // namespace gpr
