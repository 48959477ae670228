// TGridColumn: one column of the result grid - which field it shows, its title caption, pixel
// width, visibility, the alignment of its cells and of its title, and optional fonts and text
// colour (none: the grid's own). The grid keeps its columns in display order; the print component reads
// them in that order.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include <optional>

struct TGridColumn {
  QString fieldName;
  QString title;
  int width = 64;
  bool visible = true;
  Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
  Qt::Alignment titleAlignment = Qt::AlignLeft | Qt::AlignVCenter;
  std::optional<QFont> font;
  std::optional<QFont> titleFont;
  std::optional<QColor> textColor;  // colour of the cell text; none: the grid's

  bool operator==(const TGridColumn&) const = default;
};
