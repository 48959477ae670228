// The report's fixed-pitch font on screen: the family `TextFontName` names when it is
// installed and fixed pitch, else the system's fixed font, at the given point size with the
// report's style. The one place that chooses the font the text report is shown in.
#pragma once

#include "print/core/report_settings.h"

#include <QFont>

namespace gpr {

QFont ReportFont(const TgprReportSettings& settings, int pointSize);

}  // namespace gpr
