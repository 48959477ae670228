// Test support for the page layout: the shipped catalogue's videos as the main window's
// result set, with the grid's columns described the way the component reads them.
#pragma once

#include "dbaccess/client_data_set.h"
#include "dbaccess/vector_row_source.h"
#include "print/core/obj_info.h"
#include "tools/common/csv_reader.h"

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace gpr::testing {

// The fields of the search's result set, in the main window's order.
inline std::vector<quarry::TResultFieldDef> VideoFieldDefs() {
  using quarry::TResultFieldKind;
  return {{"VideoID", TResultFieldKind::Integer, 0},
          {"Title", TResultFieldKind::String, 80},
          {"IndustryRating", TResultFieldKind::String, 9},
          {"Length", TResultFieldKind::String, 9},
          {"Year", TResultFieldKind::String, 10}};
}

// The main window's grid columns: field, title, width in pixels.
inline std::vector<TgprGridColumn> CatalogueGridColumns() {
  return {{"VideoID", "VideoID", 64, false},
          {"Title", "Title", 340, true},
          {"Year", "Year", 40, true},
          {"IndustryRating", "Rating", 40, true},
          {"Length", "Running time", 80, true}};
}
// The grid font's average character width the fixture assumes.
inline constexpr int kGridCharWidth = 6;

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline std::string SourceDir() {
  const char* dir = std::getenv("PELLOMAR_SOURCE_DIR");
  return dir ? dir : ".";
}

// The rows of a catalogue folder's videos.csv in the result set's field order; empty when the
// file is missing.
inline std::unique_ptr<quarry::TVectorRowSource> VideoRows(const std::string& folder) {
  const std::string text = ReadFile(folder + "/videos.csv");
  if (text.empty()) return nullptr;
  auto source = std::make_unique<quarry::TVectorRowSource>(VideoFieldDefs());
  const std::vector<quarry::tools::TCsvRecord> records = quarry::tools::ReadAllCsv(text);
  // videos.csv: VIDEOID,TITLE,YEAR,INDUSTRYRATING,LENGTH
  for (size_t i = 1; i < records.size(); ++i) {
    const std::vector<std::string>& f = records[i].Fields;
    if (f.size() != 5) continue;
    source->AddRow({f[0], f[1], f[3], f[4], f[2]});
  }
  return source;
}

// A result set over a row source, ordered by an index over `order` (";"-separated fields)
// when one is given.
class TCatalogueResult {
 public:
  explicit TCatalogueResult(std::unique_ptr<quarry::TVectorRowSource> source, const std::string& order = {})
      : source_(std::move(source)) {
    cds_.SetFieldDefs(VideoFieldDefs());
    cds_.SetSource(source_.get());
    if (!order.empty()) {
      cds_.AddIndex({"order", order});
      cds_.SetIndexName("order");
    }
    cds_.Open();
  }
  quarry::TClientDataSet& DataSet() { return cds_; }

  // The printed object for settings, as the component hands it over.
  TObjInfo ObjInfo(const TgprReportSettings& settings) {
    TObjInfo info;
    info.Kind = okDBGrid;
    info.ObjectName = "grdcds";
    info.ComponentName = "GprGridPrinter1";
    info.DataSet = &cds_;
    info.Columns = TColsList::FromGrid(CatalogueGridColumns(), cds_, kGridCharWidth, settings.HideColumns);
    info.RowCount = cds_.RecordCount();
    return info;
  }

 private:
  std::unique_ptr<quarry::TVectorRowSource> source_;
  quarry::TClientDataSet cds_;
};

}  // namespace gpr::testing
