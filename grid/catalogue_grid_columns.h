// The columns of the main window's result grid: VideoID (hidden), Title, Year, IndustryRating
// shown as "Rating", Length shown as "Running time"; every title centred, the Title column's
// cells in black text. The window hands them to its TResultGrid with SetColumns.
#pragma once

#include "grid/grid_column.h"

#include <vector>

std::vector<TGridColumn> CatalogueGridColumns();
