// The synthetic catalogue: same seed, same bytes; the real files' layout (headers, quoting,
// numbering, every link naming a film and a person that exist); and the catalogue builder's
// loader takes it.
#include "tools/common/synthetic_catalogue.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>

#include "tools/common/catalogue_schema.h"
#include "tools/common/csv_loader.h"
#include "tools/common/csv_reader.h"
#include "tools/common/tool_test_support.h"

namespace quarry::tools {
namespace {

using TRows = std::vector<std::vector<std::string>>;

std::string OwnCatalogue() {
  const char* source = std::getenv("PELLOMAR_SOURCE_DIR");
  return std::string(source != nullptr ? source : ".") + "/catalogue";
}

// Rows of a written file, header first.
TRows ReadRows(const std::string& folder, const std::string& name) {
  TRows rows;
  for (auto& record : ReadAllCsv(ReadWholeFile(folder + "/" + name))) rows.push_back(std::move(record.Fields));
  return rows;
}

const char* const kFiles[] = {"videos.csv", "castmembers.csv", "directors.csv", "videos_castmembers.csv",
                              "videos_directors.csv"};

// A small source with the real files' quirks: quoted titles and names, a film without links,
// a one-word title, a link to a film that does not exist.
void WriteSmallSource(const TTempTables& folder) {
  folder.WriteFile("videos.csv",
                   "VIDEOID,TITLE,YEAR,INDUSTRYRATING,LENGTH\n"
                   "1,The Night of the Hunter,1955,NR,93\n"
                   "2,\"Paris, Texas\",1984,R,\n"
                   "3,Zelig,1983,PG,79\n"
                   "4,\"The \"\"Great\"\" Escape\",1963,NR,172\n"
                   "5,A Man Without Links,1990,G,\n");
  folder.WriteFile("castmembers.csv",
                   "CASTMEMBERID,CASTMEMBER\n1,Robert Mitchum\n2,Harry Dean Stanton\n3,Woody Allen\n"
                   "4,\"Charles \"\"Buddy\"\" Rogers\"\n5,Cher\n");
  folder.WriteFile("directors.csv", "DIRECTORID,DIRECTOR\n1,Charles Laughton\n2,Wim Wenders\n3,John Sturges\n");
  folder.WriteFile("videos_castmembers.csv", "VIDEOID,CASTMEMBERID\n1,1\n2,2\n3,3\n3,5\n4,4\n4,1\n99,3\n");
  folder.WriteFile("videos_directors.csv", "VIDEOID,DIRECTORID\n1,1\n2,2\n4,3\n3,2\n");
}

TEST(SyntheticCatalogue, SameSeedGivesTheSameBytes) {
  const TCatalogueSample sample = ReadCatalogueSample(OwnCatalogue());
  TTempTables first, second, other;
  WriteSyntheticCatalogue(sample, 700, 7, first.Folder());
  WriteSyntheticCatalogue(sample, 700, 7, second.Folder());
  WriteSyntheticCatalogue(sample, 700, 8, other.Folder());
  for (const char* file : kFiles)
    EXPECT_EQ(ReadWholeFile(first.Folder() + "/" + file), ReadWholeFile(second.Folder() + "/" + file)) << file;
  EXPECT_NE(ReadWholeFile(first.Folder() + "/videos.csv"), ReadWholeFile(other.Folder() + "/videos.csv"));
}

// Checks one written catalogue against the rules of the real files.
void ExpectRealLayout(const std::string& folder, const TCatalogueSample& sample, std::int64_t films,
                      const TSyntheticCounts& counts) {
  const TRows videos = ReadRows(folder, "videos.csv");
  ASSERT_EQ(videos[0], (std::vector<std::string>{"VIDEOID", "TITLE", "YEAR", "INDUSTRYRATING", "LENGTH"}));
  ASSERT_EQ(static_cast<std::int64_t>(videos.size()) - 1, films);
  EXPECT_EQ(counts.Films, films);
  std::set<std::string> years, ratings, lengths;
  for (const auto& film : sample.Films) {
    years.insert(film.Year);
    ratings.insert(film.Rating);
    lengths.insert(film.Length);
  }
  for (std::size_t r = 1; r < videos.size(); ++r) {
    const auto& row = videos[r];
    ASSERT_EQ(row.size(), 5u) << "videos line " << r + 1;
    EXPECT_EQ(row[0], std::to_string(r)) << "films are numbered from 1 without gaps";
    EXPECT_FALSE(row[1].empty());
    EXPECT_TRUE(years.count(row[2]) == 1 && ratings.count(row[3]) == 1 && lengths.count(row[4]) == 1) << row[0];
    if (r > 1) {
      EXPECT_LE(videos[r - 1][2], row[2]) << "films are in order of year";
    }
  }

  struct TKind {
    const char* People;
    const char* IdColumn;
    std::int64_t Count;
  };
  const TKind kinds[] = {{"castmembers.csv", "CASTMEMBERID", counts.CastMembers},
                         {"directors.csv", "DIRECTORID", counts.Directors}};
  for (const TKind& kind : kinds) {
    SCOPED_TRACE(kind.People);
    const TRows people = ReadRows(folder, kind.People);
    ASSERT_EQ(people[0][0], kind.IdColumn);
    ASSERT_EQ(static_cast<std::int64_t>(people.size()) - 1, kind.Count);
    std::set<std::string> names;
    for (std::size_t r = 1; r < people.size(); ++r) {
      ASSERT_EQ(people[r].size(), 2u);
      EXPECT_EQ(people[r][0], std::to_string(r));
      EXPECT_FALSE(people[r][1].empty());
      EXPECT_TRUE(names.insert(people[r][1]).second) << "a name given twice: " << people[r][1];
    }
  }
  const std::pair<const char*, std::int64_t> links[] = {{"videos_castmembers.csv", counts.CastMembers},
                                                        {"videos_directors.csv", counts.Directors}};
  for (const auto& [file, people] : links) {
    SCOPED_TRACE(file);
    const TRows rows = ReadRows(folder, file);
    ASSERT_EQ(rows[0].size(), 2u);
    EXPECT_EQ(rows[0][0], "VIDEOID");
    std::int64_t lastFilm = 0, highestPerson = 0;
    for (std::size_t r = 1; r < rows.size(); ++r) {
      ASSERT_EQ(rows[r].size(), 2u);
      const std::int64_t film = std::stoll(rows[r][0]), person = std::stoll(rows[r][1]);
      EXPECT_TRUE(film >= 1 && film <= films) << "line " << r + 1;
      EXPECT_TRUE(person >= 1 && person <= people) << "line " << r + 1;
      EXPECT_GE(film, lastFilm) << "links are in film order";
      EXPECT_LE(person, highestPerson + 1) << "people are numbered by their first credit";
      lastFilm = film;
      highestPerson = std::max(highestPerson, person);
    }
    EXPECT_EQ(highestPerson, people) << "everyone listed has a credit";
  }
  EXPECT_EQ(static_cast<std::int64_t>(ReadRows(folder, "videos_castmembers.csv").size()) - 1, counts.CastLinks);
  EXPECT_EQ(static_cast<std::int64_t>(ReadRows(folder, "videos_directors.csv").size()) - 1, counts.DirectorLinks);
  for (const char* file : kFiles)
    EXPECT_EQ(ReadWholeFile(folder + "/" + file).find('\r'), std::string::npos) << file << " has LF line ends";
}

TEST(SyntheticCatalogue, HasTheRealLayoutAtEverySize) {
  const TCatalogueSample sample = ReadCatalogueSample(OwnCatalogue());
  const std::int64_t real = static_cast<std::int64_t>(sample.Films.size());
  for (const std::int64_t films : {std::int64_t{0}, std::int64_t{1}, real / 2, real * 3 + 17}) {
    SCOPED_TRACE(films);
    TTempTables folder;
    const TSyntheticCounts counts = WriteSyntheticCatalogue(sample, films, 42, folder.Folder());
    ExpectRealLayout(folder.Folder(), sample, films, counts);
    if (films > real * 2) {
      // Three generations of people: about three times the real catalogue's credited people.
      std::set<std::int32_t> credited;
      for (const auto& film : sample.Films) credited.insert(film.Cast.begin(), film.Cast.end());
      EXPECT_GT(counts.CastMembers, static_cast<std::int64_t>(credited.size()) * 2);
      EXPECT_LT(counts.CastMembers, static_cast<std::int64_t>(credited.size()) * 4);
    }
  }
}

TEST(SyntheticCatalogue, RecombinesTheSourcesWordsAndNames) {
  TTempTables source, target;
  WriteSmallSource(source);
  const TCatalogueSample sample = ReadCatalogueSample(source.Folder());
  ASSERT_EQ(sample.Films.size(), 5u);
  EXPECT_EQ(sample.Films[2].Cast, (std::vector<std::int32_t>{2, 4})) << "credits in their order";
  EXPECT_TRUE(sample.Films[4].Cast.empty());
  EXPECT_EQ(sample.Films[1].Title, "Paris, Texas");

  const TSyntheticCounts counts = WriteSyntheticCatalogue(sample, 40, 3, target.Folder());
  ExpectRealLayout(target.Folder(), sample, 40, counts);
  std::set<std::string> words, families;
  for (const char* title :
       {"The Night of the Hunter", "Paris, Texas", "Zelig", "The \"Great\" Escape", "A Man Without Links"}) {
    std::string text = title;
    for (std::size_t start = 0, end; start <= text.size(); start = end + 1) {
      end = std::min(text.find(' ', start), text.size());
      words.insert(text.substr(start, end - start));
    }
  }
  for (const auto& row : ReadRows(target.Folder(), "videos.csv")) {
    if (row[0] == "VIDEOID") continue;
    std::string text = row[1];
    for (std::size_t start = 0, end; start <= text.size(); start = end + 1) {
      end = std::min(text.find(' ', start), text.size());
      EXPECT_EQ(words.count(text.substr(start, end - start)), 1u) << row[1];
    }
  }
  // 40 films from 5 give several generations; their names are the source's given names with
  // a source family name, and the first generation keeps the real ones.
  const TRows cast = ReadRows(target.Folder(), "castmembers.csv");
  EXPECT_GT(cast.size() - 1, 5u);
  bool realNameKept = false;
  for (const auto& row : cast) realNameKept = realNameKept || row[1] == "Charles \"Buddy\" Rogers";
  EXPECT_TRUE(realNameKept);
  const std::set<std::string> knownFamilies = {"Mitchum", "Stanton", "Allen", "Rogers", "Cher"};
  for (std::size_t r = 1; r < cast.size(); ++r) {
    const std::string& name = cast[r][1];
    const std::string last = name.substr(name.rfind(' ') + 1);
    EXPECT_TRUE(knownFamilies.count(last) == 1 || last == "Jr." || last == "Sr." || last.find('I') == 0 ||
                std::isdigit(static_cast<unsigned char>(last[0])))
        << name;
  }
}

TEST(SyntheticCatalogue, TheBuildersLoaderTakesIt) {
  TTempTables csv, tables;
  const TSyntheticCounts counts = WriteSyntheticCatalogue(ReadCatalogueSample(OwnCatalogue()), 600, 11, csv.Folder());
  const auto loaded = LoadCatalogue(tables.Directory(), csv.Folder(), kCataloguePassword);
  std::map<std::string, std::int64_t> rows;
  for (const auto& table : loaded) rows[table.Table] = table.Rows;
  EXPECT_EQ(rows["VIDEOS"], counts.Films);
  EXPECT_EQ(rows["CASTMEMBERS"], counts.CastMembers);
  EXPECT_EQ(rows["DIRECTORS"], counts.Directors);
  EXPECT_EQ(rows["VIDEOS_CASTMEMBERS"], counts.CastLinks);
  EXPECT_EQ(rows["VIDEOS_DIRECTORS"], counts.DirectorLinks);
}

TEST(SyntheticCatalogue, ReportsABadSource) {
  EXPECT_THROW(ReadCatalogueSample("/nonexistent/catalogue"), ECatalogueSampleError);

  TTempTables wrongHeader;
  WriteSmallSource(wrongHeader);
  wrongHeader.WriteFile("directors.csv", "ID,NAME\n1,Wim Wenders\n");
  EXPECT_THROW(ReadCatalogueSample(wrongHeader.Folder()), ECatalogueSampleError);

  TTempTables malformed;
  WriteSmallSource(malformed);
  malformed.WriteFile("castmembers.csv", "CASTMEMBERID,CASTMEMBER\n1,Robert Mitchum\n2,\"Harry\n");
  try {
    ReadCatalogueSample(malformed.Folder());
    FAIL() << "a malformed line was read";
  } catch (const ECsvError& error) {
    EXPECT_EQ(error.Line(), 3);
    EXPECT_NE(std::string(error.what()).find("castmembers.csv"), std::string::npos);
  }

  TTempTables empty;
  empty.WriteFile("videos.csv", "VIDEOID,TITLE,YEAR,INDUSTRYRATING,LENGTH\n");
  EXPECT_THROW(ReadCatalogueSample(empty.Folder()), ECatalogueSampleError);
}

}  // namespace
}  // namespace quarry::tools
