// How the main window reaches the catalogue: one small interface for the statements it sends,
// and the lookups built on it with the catalogue's statement texts. The window never talks to
// the database objects itself, so its rules can be tested against a fake catalogue, and the
// engine-backed implementation (database "Video", the search query and the in-memory result
// set) slots in behind TCatalogueAccess.
#pragma once

#include "dbaccess/row_source.h"
#include "dbaccess/vector_row_source.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// One row of the search result, in the field order of the result set:
// VideoID, Title, IndustryRating, Length, Year. The current-record panel shows one; fakes and
// callers that already hold rows hand them over through VideoRowSource.
struct TVideoRow {
  int videoId = 0;
  std::string title;
  std::string industryRating;
  std::string length;
  std::string year;

  bool operator==(const TVideoRow&) const = default;
};

// The statements the window sends. Each lookup runs one statement through a query object
// made for it and freed afterwards, whatever happens; failures (a missing table, a bad
// statement, no engine) are raised as exceptions and reported by the window.
class TCatalogueAccess {
 public:
  virtual ~TCatalogueAccess() = default;

  // Field 0 of the first row as text; the empty text when there is no row.
  virtual std::string LookupFirst(const std::string& statement) = 0;
  // Field 0 of every row as text, in the order of the rows.
  virtual std::vector<std::string> LookupAll(const std::string& statement) = 0;
  // Runs the search statement and returns its open result, positioned for one walk; the
  // window's result set copies it at once and then frees it.
  virtual std::unique_ptr<quarry::TRowSource> Search(const std::string& statement) = 0;
};

// The fields the window's result set keeps, whatever else the search statement selects:
// VideoID (integer), Title (text 80), IndustryRating (text 9), Length (text 9), Year (text 10).
std::vector<quarry::TResultFieldDef> VideoFieldDefs();
// A row source over rows held in memory, with the fields of VideoFieldDefs.
std::unique_ptr<quarry::TVectorRowSource> VideoRowSource(const std::vector<TVideoRow>& rows);

// Raised by the catalogue access of a build that has no database engine.
class ECatalogueUnavailable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The catalogue access of a build without the database engine: every call raises
// ECatalogueUnavailable.
std::unique_ptr<TCatalogueAccess> MakeUnavailableCatalogue();

// The items of both year lists: every year from the earliest to the latest in VIDEOS, as
// decimal text. Raises EConvertError when a year is not an integer (an empty catalogue
// included) or when the span is too wide to list (10,000 years or more).
std::vector<std::string> FillYears(TCatalogueAccess& catalogue);
// Every cast member's name, in name order.
std::vector<std::string> FillCastMembers(TCatalogueAccess& catalogue);
// Every director's name, in name order.
std::vector<std::string> FillDirectors(TCatalogueAccess& catalogue);

// Whether a row of CASTMEMBERS / DIRECTORS has exactly this name, and its id (0 when none).
// The name is sent as a literal, so quotes in it are matched like any other character.
bool CastMemberExists(TCatalogueAccess& catalogue, const std::string& name);
int GetCastMemberId(TCatalogueAccess& catalogue, const std::string& name);
bool DirectorExists(TCatalogueAccess& catalogue, const std::string& name);
int GetDirectorId(TCatalogueAccess& catalogue, const std::string& name);

// The lookup statements, as sent.
std::string CastMemberIdStatement(const std::string& name);
std::string DirectorIdStatement(const std::string& name);
