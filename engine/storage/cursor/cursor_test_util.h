// Helpers of the cursor tests: a film table created through a cursor (ID auto-increment
// primary key, GENRE, TITLE, YEAR, RATING with secondary indexes), rows of it kept in a plain
// in-memory model, record buffers written and read through the cursor, and the fixture of the
// cursor tests (a session over an in-memory file system holding that table).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "engine/platform/memory_environment.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/files/file_list.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/session.h"
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

inline const char* const kRatings[] = {"G", "PG", "PG-13", "NR", "R"};

// A session over an in-memory file system with the directory "Films" at /db, lock retries
// cut short, and the film table made, opened and filled through cursors.
class TCursorFixture : public ::testing::Test {
 protected:
  TCursorFixture() : list_(env_), session_(&list_) {
    env_.MakeDirectory("/db");
    env_.MakeDirectory("/tmp");
    session_.Settings().LockRetryCount = 1;
    session_.Settings().LockWaitTime = 1;
    directory_ = &session_.OpenDirectory("Films", "/db");
  }

  std::unique_ptr<TDataCursor> NewCursor(const std::string& name = "FILMS") {
    auto c = std::make_unique<TDataCursor>(*directory_);
    c->SetTableName(name);
    return c;
  }

  void CreateFilms() {
    auto c = NewCursor();
    c->CreateTable(FilmTable());
  }

  std::unique_ptr<TDataCursor> OpenFilms() {
    auto c = NewCursor();
    c->Open();
    return c;
  }

  // Inserts the film and notes its identifier.
  void Insert(TDataCursor& c, TFilm& film) {
    std::vector<std::uint8_t> b = FilmBuffer(c, film);
    c.InsertRecord(b.data(), false);
    film.Id = RecordIdentifier(b.data());
  }

  // A table of n films with repeated genres, years and titles in mixed case, some of them
  // deleted and updated afterwards, so that slots are reused and keys move.
  std::vector<TFilm> FillFilms(TDataCursor& c, int n, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<TFilm> model;
    for (int i = 0; i < n; ++i) {
      TFilm f;
      f.Genre = static_cast<std::int32_t>(random() % 12);
      f.NullGenre = random() % 40 == 0;
      std::string title;
      const int words = 1 + static_cast<int>(random() % 3);
      for (int w = 0; w < words; ++w) {
        if (w) title += ' ';
        const int letters = 2 + static_cast<int>(random() % 5);
        for (int k = 0; k < letters; ++k) {
          const char base = random() % 3 == 0 ? 'a' : 'A';
          title += static_cast<char>(base + random() % 6);
        }
      }
      f.Title = title;
      f.Year = static_cast<std::int16_t>(1950 + random() % 60);
      f.Rating = kRatings[random() % 5];
      Insert(c, f);
      model.push_back(f);
    }
    // Delete every seventh, update every eleventh.
    std::vector<TFilm> kept;
    for (std::size_t i = 0; i < model.size(); ++i) {
      TFilm& f = model[i];
      if (i % 7 == 3) {
        c.SetIndex("");
        TFilm key;
        key.Id = f.Id;
        std::vector<std::uint8_t> b = FilmBuffer(c, key);
        EXPECT_TRUE(c.FindKey(b.data(), 0, 0, false, nullptr));
        c.DeleteRecord();
        continue;
      }
      if (i % 11 == 5) {
        c.SetIndex("");
        TFilm key;
        key.Id = f.Id;
        std::vector<std::uint8_t> b = FilmBuffer(c, key);
        EXPECT_TRUE(c.FindKey(b.data(), 0, 0, false, b.data()));
        f.Year = static_cast<std::int16_t>(f.Year + 1);
        f.Genre = (f.Genre + 5) % 12;
        f.NullGenre = false;
        c.PutField(2, b.data(), reinterpret_cast<const std::uint8_t*>(&f.Genre));
        c.PutField(4, b.data(), reinterpret_cast<const std::uint8_t*>(&f.Year));
        c.UpdateRecord(b.data());
      }
      kept.push_back(f);
    }
    return kept;
  }

  static std::vector<std::int32_t> Ids(const std::vector<TFilm>& films) {
    std::vector<std::int32_t> ids;
    for (const TFilm& f : films) ids.push_back(f.Id);
    return ids;
  }

  // Walks the whole cursor forward (First + Next) and backward (Last + Prior).
  static std::vector<std::int32_t> WalkForward(TDataCursor& c) {
    std::vector<std::int32_t> ids;
    std::vector<std::uint8_t> b(static_cast<std::size_t>(c.RecordBufferSize()));
    c.Home();
    for (int guard = 0; guard < 100000 && c.Next(b.data()) == 0; ++guard) ids.push_back(RecordIdentifier(b.data()));
    return ids;
  }
  static std::vector<std::int32_t> WalkBackward(TDataCursor& c) {
    std::vector<std::int32_t> ids;
    std::vector<std::uint8_t> b(static_cast<std::size_t>(c.RecordBufferSize()));
    c.End();
    for (int guard = 0; guard < 100000 && c.Prior(b.data()) == 0; ++guard) ids.push_back(RecordIdentifier(b.data()));
    std::reverse(ids.begin(), ids.end());
    return ids;
  }

  TMemoryEnvironment env_;
  TFileList list_;
  TDataSession session_;
  TDataDirectory* directory_ = nullptr;
};

struct TOrderCase {
  const char* index;
  TFilmOrder order;
};

inline const TOrderCase kOrders[] = {
    {"", TFilmOrder::Primary},
    {"BYGENRE", TFilmOrder::ByGenre},
    {"bytitle", TFilmOrder::ByTitle},
    {"ByYear", TFilmOrder::ByYear},
};

}  // namespace quarry::testing
