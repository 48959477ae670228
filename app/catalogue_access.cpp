// The catalogue lookups of the main window and the access of a build without an engine.
#include "app/catalogue_access.h"

#include "app/pellomar_utils.h"

namespace {

class TUnavailableCatalogue final : public TCatalogueAccess {
 public:
  std::string LookupFirst(const std::string&) override { Fail(); }
  std::vector<std::string> LookupAll(const std::string&) override { Fail(); }
  std::unique_ptr<quarry::TRowSource> Search(const std::string&) override { Fail(); }

 private:
  [[noreturn]] static void Fail() {
    throw ECatalogueUnavailable("The catalogue database engine is not available in this build");
  }
};

// An id field read as an integer; no row reads as 0.
int IdOf(const std::string& field) {
  const std::string text = TrimText(field);
  return text.empty() ? 0 : StrToInt(text);
}

}  // namespace

std::unique_ptr<TCatalogueAccess> MakeUnavailableCatalogue() { return std::make_unique<TUnavailableCatalogue>(); }

std::vector<quarry::TResultFieldDef> VideoFieldDefs() {
  using quarry::TResultFieldKind;
  return {{"VideoID", TResultFieldKind::Integer, 0},
          {"Title", TResultFieldKind::String, 80},
          {"IndustryRating", TResultFieldKind::String, 9},
          {"Length", TResultFieldKind::String, 9},
          {"Year", TResultFieldKind::String, 10}};
}

std::unique_ptr<quarry::TVectorRowSource> VideoRowSource(const std::vector<TVideoRow>& rows) {
  auto source = std::make_unique<quarry::TVectorRowSource>(VideoFieldDefs());
  for (const TVideoRow& row : rows) {
    source->AddRow({std::to_string(row.videoId), row.title, row.industryRating, row.length, row.year});
  }
  return source;
}

std::vector<std::string> FillYears(TCatalogueAccess& catalogue) {
  const int earliest = StrToInt(catalogue.LookupFirst("SELECT YEAR FROM VIDEOS ORDER BY YEAR"));
  const int latest = StrToInt(catalogue.LookupFirst("SELECT YEAR FROM VIDEOS ORDER BY YEAR DESC"));
  // A damaged year could ask for billions of items; no real catalogue spans that many.
  constexpr long long kMostYears = 10000;
  if (static_cast<long long>(latest) - earliest >= kMostYears) {
    throw EConvertError("The years " + std::to_string(earliest) + " to " + std::to_string(latest) +
                        " are too many to list");
  }
  std::vector<std::string> years;
  // Counted in a wider type so that a latest year of INT_MAX still ends the loop.
  for (long long year = earliest; year <= latest; ++year) years.push_back(std::to_string(year));
  return years;
}

std::vector<std::string> FillCastMembers(TCatalogueAccess& catalogue) {
  return catalogue.LookupAll("SELECT CASTMEMBER FROM CASTMEMBERS ORDER BY CASTMEMBER");
}

std::vector<std::string> FillDirectors(TCatalogueAccess& catalogue) {
  return catalogue.LookupAll("SELECT DIRECTOR FROM DIRECTORS ORDER BY DIRECTOR");
}

std::string CastMemberIdStatement(const std::string& name) {
  return "SELECT CASTMEMBERID FROM CASTMEMBERS WHERE CASTMEMBER = " + QuotedLiteral(name);
}

std::string DirectorIdStatement(const std::string& name) {
  return "SELECT DIRECTORID FROM DIRECTORS WHERE DIRECTOR = " + QuotedLiteral(name);
}

bool CastMemberExists(TCatalogueAccess& catalogue, const std::string& name) {
  return !TrimText(catalogue.LookupFirst(CastMemberIdStatement(name))).empty();
}

int GetCastMemberId(TCatalogueAccess& catalogue, const std::string& name) {
  return IdOf(catalogue.LookupFirst(CastMemberIdStatement(name)));
}

bool DirectorExists(TCatalogueAccess& catalogue, const std::string& name) {
  return !TrimText(catalogue.LookupFirst(DirectorIdStatement(name))).empty();
}

int GetDirectorId(TCatalogueAccess& catalogue, const std::string& name) {
  return IdOf(catalogue.LookupFirst(DirectorIdStatement(name)));
}
