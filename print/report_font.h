// The report font "Gridline Mono": a free fixed-pitch font with the box-drawing characters
// (DejaVu Sans Mono, from fonts-dejavu-core), made available to this program only.
//
// The font file is added to the application's font database and "Gridline Mono" mapped to
// its family through a font substitution: a TrueType family name cannot be renamed when it
// is loaded, and the substitution makes every QFont asking for "Gridline Mono" - on screen,
// on a printer, in a PDF - get DejaVu Sans Mono. Nothing is installed system-wide.
#pragma once

#include "print/core/report_settings.h"

#include <QFont>
#include <QString>

#include <string>

namespace gpr {

inline constexpr const char* kGprReportFontFamily = "Gridline Mono";

class TgprLineDrawFont {
 public:
  // Loads the font once per process (needs a QGuiApplication); false when the font file is
  // missing, and then "Gridline Mono" falls back to the system's fixed-pitch font.
  static bool Load();
  // The family that "Gridline Mono" stands for.
  static QString Family();
};

// The report's text font from its settings (`TextFontName`, `TextFontSize`, `TextFontStyle`
// bits 8 bold, 4 italic, 2 underline, 1 strike-out); loads the line-drawing font first.
QFont ReportFont(const std::string& name, int pointSize, int style);
// The same from a request's settings, at the given point size (the preview's zoom).
QFont ReportFont(const TgprReportSettings& settings, int pointSize);

}  // namespace gpr
