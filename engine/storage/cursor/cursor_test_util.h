// Helpers of the cursor tests: a film table created through a cursor (ID auto-increment
// primary key, GENRE, TITLE, YEAR, RATING with secondary indexes), rows of it kept in a plain
// in-memory model, and record buffers written and read through the cursor.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <tuple>
#include <vector>

#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/table/table_test_util.h"

namespace quarry::testing {

inline TIndexDefinition MakeIndex(const char* name, std::initializer_list<int> fields, bool unique = false,
                                  bool caseInsensitive = false, bool descending = false) {
  TIndexDefinition index;
  index.Name = name;
  index.Unique = unique;
  index.CaseInsensitive = caseInsensitive;
  index.Descending = descending;
  for (int f : fields) index.FieldNumbers[index.FieldCount++] = static_cast<std::uint16_t>(f);
  return index;
}

// FILMS: ID autoinc (primary), GENRE INTEGER, TITLE CHAR(30), YEAR SMALLINT, RATING CHAR(5).
// Indexes BYGENRE (GENRE, YEAR), BYTITLE (TITLE, case-insensitive), BYYEAR (YEAR desc).
inline TCreateTableDefinition FilmTable() {
  TCreateTableDefinition d;
  TFieldDefinition id = Field(1, "ID", TFieldType::Integer);
  id.SubType = subtype::AutoInc;
  d.Fields = {id, Field(2, "GENRE", TFieldType::Integer), Field(3, "TITLE", TFieldType::String, 30),
              Field(4, "YEAR", TFieldType::SmallInt), Field(5, "RATING", TFieldType::String, 5)};
  d.Primary = MakeIndex("", {1}, true);
  d.Secondaries = {MakeIndex("BYGENRE", {2, 4}), MakeIndex("BYTITLE", {3}, false, true),
                   MakeIndex("BYYEAR", {4}, false, false, true)};
  return d;
}

struct TFilm {
  std::int32_t Id = 0;  // 0 until inserted
  std::int32_t Genre = 0;
  std::string Title;
  std::int16_t Year = 0;
  std::string Rating;
  bool NullGenre = false;
};

inline std::vector<std::uint8_t> FilmBuffer(TDataCursor& c, const TFilm& film) {
  std::vector<std::uint8_t> b(static_cast<std::size_t>(c.RecordBufferSize()), 0);
  c.InitRecord(b.data());
  if (film.Id != 0) SetRecordIdentifier(b.data(), film.Id);
  if (!film.NullGenre) c.PutField(2, b.data(), reinterpret_cast<const std::uint8_t*>(&film.Genre));
  std::string title = film.Title;
  title.push_back('\0');
  c.PutField(3, b.data(), reinterpret_cast<const std::uint8_t*>(title.c_str()));
  c.PutField(4, b.data(), reinterpret_cast<const std::uint8_t*>(&film.Year));
  std::string rating = film.Rating;
  rating.push_back('\0');
  c.PutField(5, b.data(), reinterpret_cast<const std::uint8_t*>(rating.c_str()));
  return b;
}

inline TFilm FilmOf(TDataCursor& c, const std::uint8_t* b) {
  TFilm f;
  f.Id = RecordIdentifier(b);
  bool isNull = false;
  c.GetField(2, b, isNull, reinterpret_cast<std::uint8_t*>(&f.Genre));
  f.NullGenre = isNull;
  f.Title = GetFieldString(b, c.GetFieldDefinition(3));
  c.GetField(4, b, isNull, reinterpret_cast<std::uint8_t*>(&f.Year));
  f.Rating = GetFieldString(b, c.GetFieldDefinition(5));
  return f;
}

inline std::string Upper(std::string s) {
  for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return s;
}

// The orders of the film table's indexes, as comparisons of model rows (ties broken by the
// identifier, as non-unique keys are).
enum class TFilmOrder { Primary, ByGenre, ByTitle, ByYear };

inline bool FilmBefore(TFilmOrder order, const TFilm& a, const TFilm& b) {
  switch (order) {
  case TFilmOrder::Primary: return a.Id < b.Id;
  case TFilmOrder::ByGenre: {
    // A null genre sorts first.
    const auto ka = std::make_tuple(!a.NullGenre, a.NullGenre ? 0 : a.Genre, a.Year, a.Id);
    const auto kb = std::make_tuple(!b.NullGenre, b.NullGenre ? 0 : b.Genre, b.Year, b.Id);
    return ka < kb;
  }
  case TFilmOrder::ByTitle: return std::make_tuple(Upper(a.Title), a.Id) < std::make_tuple(Upper(b.Title), b.Id);
  case TFilmOrder::ByYear:
    // Descending index: the whole key reversed, identifier included.
    return std::make_tuple(a.Year, a.Id) > std::make_tuple(b.Year, b.Id);
  }
  return false;
}

}  // namespace quarry::testing
