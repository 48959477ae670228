// Test and benchmark support (header only): the film catalogue's five CSV files read into
// memory and loaded into tables of a directory, with the indexes a real catalogue has (ids
// as primary keys, names, YEAR, TITLE and both link columns).
//
// The CSV files live outside the project (../shared/catalogue from the worktree); callers
// skip when CatalogueFolder() finds none. Fields follow RFC 4180 (quotes doubled inside
// quoted fields); the first row names the columns.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/sql/select_test_support.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/table/directory.h"

namespace quarry::catalogue_testing {

using TCsvRow = std::vector<std::string>;

struct TCsvTable {
  TCsvRow Header;
  std::vector<TCsvRow> Rows;
};

// The folder with the catalogue's CSV files (PELLOMAR_CATALOGUE, or ../shared/catalogue
// seen from the source tree or the build tree); empty when there is none.
inline std::string CatalogueFolder() {
  std::vector<std::string> candidates;
  if (const char* env = std::getenv("PELLOMAR_CATALOGUE")) candidates.push_back(env);
  for (const char* c :
       {"../shared/catalogue", "../../shared/catalogue", "../../../shared/catalogue", "/work/shared/catalogue"})
    candidates.push_back(c);
  for (const std::string& c : candidates) {
    std::ifstream probe(c + "/videos.csv");
    if (probe) return c;
  }
  return {};
}

inline TCsvTable ReadCsv(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string text = buffer.str();
  TCsvTable table;
  TCsvRow row;
  std::string field;
  bool quoted = false;
  bool any = false;
  auto endRow = [&] {
    row.push_back(field);
    field.clear();
    if (table.Header.empty()) table.Header = row;
    else table.Rows.push_back(row);
    row.clear();
    any = false;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
      continue;
    }
    if (c == '"') {
      quoted = true;
      any = true;
    } else if (c == ',') {
      row.push_back(field);
      field.clear();
      any = true;
    } else if (c == '\n') {
      endRow();
    } else if (c != '\r') {
      field += c;
      any = true;
    }
  }
  if (any || !field.empty()) endRow();
  return table;
}

struct TCatalogue {
  TCsvTable Videos, CastMembers, Directors, VideoCast, VideoDirectors;
};

inline TCatalogue ReadCatalogue(const std::string& folder) {
  TCatalogue c;
  c.Videos = ReadCsv(folder + "/videos.csv");
  c.CastMembers = ReadCsv(folder + "/castmembers.csv");
  c.Directors = ReadCsv(folder + "/directors.csv");
  c.VideoCast = ReadCsv(folder + "/videos_castmembers.csv");
  c.VideoDirectors = ReadCsv(folder + "/videos_directors.csv");
  return c;
}

using select_testing::Column;
using select_testing::IndexOn;

// Creates the table and inserts the rows (integers and strings only).
inline void LoadTable(TDataDirectory& directory, const std::string& name, TCreateTableDefinition definition,
                      const TCsvTable& rows) {
  TDataCursor cursor(directory);
  cursor.SetTableName(name);
  cursor.CreateTable(definition);
  cursor.Open();
  std::vector<std::uint8_t> record(static_cast<std::size_t>(cursor.RecordBufferSize()));
  std::vector<std::uint8_t> value(512);
  for (const TCsvRow& row : rows.Rows) {
    cursor.InitRecord(record.data());
    for (std::size_t i = 0; i < row.size() && i < cursor.Fields().size(); ++i) {
      const TFieldDefinition& f = cursor.Fields()[i];
      if (row[i].empty()) continue;
      std::fill(value.begin(), value.end(), 0);
      if (f.DataType == TFieldType::String) {
        std::memcpy(value.data(), row[i].data(), std::min<std::size_t>(row[i].size(), value.size() - 1));
      } else {
        const auto v = static_cast<std::int32_t>(std::stol(row[i]));
        std::memcpy(value.data(), &v, sizeof v);
      }
      cursor.PutField(static_cast<int>(i + 1), record.data(), value.data());
    }
    cursor.InsertRecord(record.data(), false);
  }
}

inline void LoadCatalogue(TDataDirectory& directory, const TCatalogue& c) {
  {
    TCreateTableDefinition d;
    d.Fields = {Column(1, "VIDEOID", TFieldType::Integer), Column(2, "TITLE", TFieldType::String, 80),
                Column(3, "YEAR", TFieldType::String, 10), Column(4, "INDUSTRYRATING", TFieldType::String, 9),
                Column(5, "LENGTH", TFieldType::String, 9)};
    d.Primary = IndexOn("", {1}, true);
    d.Secondaries = {IndexOn("BYTITLE", {2}), IndexOn("BYYEAR", {3})};
    LoadTable(directory, "VIDEOS", d, c.Videos);
  }
  {
    TCreateTableDefinition d;
    d.Fields = {Column(1, "CASTMEMBERID", TFieldType::Integer), Column(2, "CASTMEMBER", TFieldType::String, 80)};
    d.Primary = IndexOn("", {1}, true);
    d.Secondaries = {IndexOn("BYCASTMEMBER", {2})};
    LoadTable(directory, "CASTMEMBERS", d, c.CastMembers);
  }
  {
    TCreateTableDefinition d;
    d.Fields = {Column(1, "DIRECTORID", TFieldType::Integer), Column(2, "DIRECTOR", TFieldType::String, 80)};
    d.Primary = IndexOn("", {1}, true);
    d.Secondaries = {IndexOn("BYDIRECTOR", {2})};
    LoadTable(directory, "DIRECTORS", d, c.Directors);
  }
  {
    TCreateTableDefinition d;
    d.Fields = {Column(1, "VIDEOID", TFieldType::Integer), Column(2, "CASTMEMBERID", TFieldType::Integer)};
    d.Secondaries = {IndexOn("BYVIDEO", {1}), IndexOn("BYCASTMEMBER", {2})};
    LoadTable(directory, "VIDEOS_CASTMEMBERS", d, c.VideoCast);
  }
  {
    TCreateTableDefinition d;
    d.Fields = {Column(1, "VIDEOID", TFieldType::Integer), Column(2, "DIRECTORID", TFieldType::Integer)};
    d.Secondaries = {IndexOn("BYVIDEO", {1}), IndexOn("BYDIRECTOR", {2})};
    LoadTable(directory, "VIDEOS_DIRECTORS", d, c.VideoDirectors);
  }
}

}  // namespace quarry::catalogue_testing
