// The page builder as a print run's page source (builder_page_source.h).
#include "print/core/builder_page_source.h"

#include <algorithm>

namespace gpr {

bool TgprBuilderPageSource::BuildPage(TgprPageId page, std::vector<std::string>& lines) {
  lines.clear();
  if (!builder_.HasPage(page.Page)) {
    dataEnded_ = true;
    return false;
  }
  lines = builder_.Page(page.Across, page.Page).Lines;
  dataEnded_ = !builder_.HasPage(page.Page + 1);
  // Whole pages done, as a share of the rows, never past the count until the data ends.
  rowsDone_ = dataEnded_ ? rowCount_ : std::min(rowCount_ - 1, std::max(rowsDone_, page.Page * 40));
  return true;
}

}  // namespace gpr
