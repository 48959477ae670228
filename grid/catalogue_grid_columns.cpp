// The main window's grid columns; see catalogue_grid_columns.h.
#include "grid/catalogue_grid_columns.h"

std::vector<TGridColumn> CatalogueGridColumns() {
  auto column = [](const char* field, const char* title, int width, bool visible = true) {
    TGridColumn c;
    c.fieldName = QString::fromLatin1(field);
    c.title = QString::fromLatin1(title);
    c.width = width;
    c.visible = visible;
    c.titleAlignment = Qt::AlignHCenter | Qt::AlignVCenter;
    return c;
  };
  std::vector<TGridColumn> columns = {
      column("VideoID", "VideoID", 64, false), column("Title", "Title", 340),        column("Year", "Year", 40),
      column("IndustryRating", "Rating", 40),  column("Length", "Running time", 80),
  };
  columns[1].textColor = QColor(Qt::black);
  return columns;
}
