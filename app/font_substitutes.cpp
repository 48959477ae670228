// Font substitutions: Liberation has the metrics of the common Windows core fonts; DejaVu
// is the fallback when Liberation is missing and the nearest match for the wide faces.
#include "app/font_substitutes.h"

#include <QFont>
#include <QStringList>

void InstallFontSubstitutions() {
  struct Substitution {
    const char* family;
    QStringList substitutes;
  };
  const Substitution substitutions[] = {
      {"MS Sans Serif", {"Liberation Sans", "DejaVu Sans"}},
      {"Microsoft Sans Serif", {"Liberation Sans", "DejaVu Sans"}},
      {"MS Shell Dlg", {"Liberation Sans", "DejaVu Sans"}},
      {"MS Shell Dlg 2", {"Liberation Sans", "DejaVu Sans"}},
      {"Arial", {"Liberation Sans", "DejaVu Sans"}},
      {"Helvetica", {"Liberation Sans", "DejaVu Sans"}},
      {"Tahoma", {"DejaVu Sans", "Liberation Sans"}},
      {"Verdana", {"DejaVu Sans", "Liberation Sans"}},
      {"MS Serif", {"Liberation Serif", "DejaVu Serif"}},
      {"Times New Roman", {"Liberation Serif", "DejaVu Serif"}},
      {"Bookman Old Style", {"DejaVu Serif", "Liberation Serif"}},
      {"Courier New", {"Liberation Mono", "DejaVu Sans Mono"}},
      {"Courier", {"Liberation Mono", "DejaVu Sans Mono"}},
      {"Lucida Console", {"DejaVu Sans Mono", "Liberation Mono"}},
      {"Fixedsys", {"DejaVu Sans Mono", "Liberation Mono"}},
      {"Terminal", {"DejaVu Sans Mono", "Liberation Mono"}},
  };
  for (const auto& s : substitutions) {
    QFont::insertSubstitutions(QString::fromLatin1(s.family), s.substitutes);
  }
}
