// Reading a real catalogue folder and writing a synthetic one; see synthetic_catalogue.h.
#include "tools/common/synthetic_catalogue.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <numeric>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "tools/common/csv_loader.h"
#include "tools/common/csv_reader.h"

namespace quarry::tools {

namespace {

const std::vector<std::string> kVideoColumns = {"VIDEOID", "TITLE", "YEAR", "INDUSTRYRATING", "LENGTH"};
const std::vector<std::string> kCastColumns = {"CASTMEMBERID", "CASTMEMBER"};
const std::vector<std::string> kDirectorColumns = {"DIRECTORID", "DIRECTOR"};
const std::vector<std::string> kCastLinkColumns = {"VIDEOID", "CASTMEMBERID"};
const std::vector<std::string> kDirectorLinkColumns = {"VIDEOID", "DIRECTORID"};

// SplitMix64: small, fast, and the same numbers on every platform and library.
class TRandom {
 public:
  explicit TRandom(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // A number in [0, n); n > 0. The modulo's bias is far below anything a catalogue shows.
  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }

 private:
  std::uint64_t state_;
};

// The data rows of one CSV file of the folder, after checking its header.
std::vector<TCsvRecord> ReadTable(const std::string& folder, const std::string& name,
                                  const std::vector<std::string>& columns) {
  const std::string path = folder + "/" + name;
  std::string text;
  try {
    text = ReadWholeFile(path);
  } catch (const std::exception&) {
    throw ECatalogueSampleError("cannot read " + path);
  }
  std::vector<TCsvRecord> records;
  try {
    records = ReadAllCsv(text);
  } catch (const ECsvError& error) {
    throw ECsvError(error.Line(), error.Reason(), path);
  }
  if (records.empty() || records.front().Fields != columns)
    throw ECatalogueSampleError(path + ": unexpected header line");
  for (const auto& record : records)
    if (record.Fields.size() != columns.size())
      throw ECsvError(record.Line, "expected " + std::to_string(columns.size()) + " fields", path);
  records.erase(records.begin());
  return records;
}

bool ParseId(const std::string& text, std::int64_t& id) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
  return error == std::errc() && end == text.data() + text.size();
}

// Names by their row's id, and the map from id to the name's index.
std::vector<std::string> ReadPeople(const std::string& folder, const std::string& name,
                                    const std::vector<std::string>& columns,
                                    std::unordered_map<std::int64_t, std::int32_t>& indexOfId) {
  std::vector<std::string> names;
  for (auto& record : ReadTable(folder, name, columns)) {
    std::int64_t id = 0;
    if (!ParseId(record.Fields[0], id) || indexOfId.count(id) != 0) continue;
    indexOfId.emplace(id, static_cast<std::int32_t>(names.size()));
    names.push_back(std::move(record.Fields[1]));
  }
  return names;
}

// Adds each link row to its film's credit list; rows naming an unknown film or person are left out.
void ReadLinks(const std::string& folder, const std::string& name, const std::vector<std::string>& columns,
               const std::unordered_map<std::int64_t, std::int32_t>& filmOfId,
               const std::unordered_map<std::int64_t, std::int32_t>& personOfId, TCatalogueSample& sample,
               std::vector<std::int32_t> TCatalogueSample::TFilm::*credits) {
  for (const auto& record : ReadTable(folder, name, columns)) {
    std::int64_t filmId = 0, personId = 0;
    if (!ParseId(record.Fields[0], filmId) || !ParseId(record.Fields[1], personId)) continue;
    const auto film = filmOfId.find(filmId);
    const auto person = personOfId.find(personId);
    if (film == filmOfId.end() || person == personOfId.end()) continue;
    (sample.Films[static_cast<std::size_t>(film->second)].*credits).push_back(person->second);
  }
}

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) words.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

// The first words of the model's title, then the last words of another title; a title of
// one word stays as it is.
std::string SplicedTitle(const TCatalogueSample& sample, const std::string& model, TRandom& random) {
  const std::string& other = sample.Films[random.Below(sample.Films.size())].Title;
  const auto head = Words(model), tail = Words(other);
  if (head.size() < 2 || tail.size() < 2) return model;
  const std::size_t keep = 1 + random.Below(head.size() - 1);
  const std::size_t from = 1 + random.Below(tail.size() - 1);
  std::string title;
  for (std::size_t w = 0; w < keep; ++w) title.append(head[w]).push_back(' ');
  for (std::size_t w = from; w < tail.size(); ++w) title.append(tail[w]).push_back(' ');
  title.pop_back();
  return title;
}

// Everything but the last word, and the last word.
std::pair<std::string_view, std::string_view> GivenAndFamily(std::string_view name) {
  const std::size_t space = name.rfind(' ');
  if (space == std::string_view::npos) return {std::string_view(), name};
  return {name.substr(0, space), name.substr(space + 1)};
}

// The clones of one kind of person (cast members or directors): a clone is a real person in
// a generation, numbered when it is first credited.
class TClones {
 public:
  TClones(const std::vector<std::string>& realNames, std::size_t generations)
      : realNames_(realNames), idOfClone_(realNames.size() * generations, 0) {}

  // The clone's id, given on its first credit.
  std::int64_t IdOf(std::size_t generation, std::int32_t person) {
    const std::size_t clone = generation * realNames_.size() + static_cast<std::size_t>(person);
    std::int64_t& id = idOfClone_[clone];
    if (id == 0) {
      clonesInIdOrder_.push_back(clone);
      id = static_cast<std::int64_t>(clonesInIdOrder_.size());
    }
    return id;
  }

  std::size_t Count() const { return clonesInIdOrder_.size(); }

  // The names in id order: the real name in the first generation, else the person's given
  // names with another's family name, different from every real name and every name before.
  std::vector<std::string> Names(TRandom& random) const {
    std::unordered_set<std::string> taken(realNames_.begin(), realNames_.end());
    std::vector<std::string> names;
    names.reserve(clonesInIdOrder_.size());
    static const char* const kSuffixes[] = {" Jr.", " Sr.", " II", " III", " IV"};
    for (const std::size_t clone : clonesInIdOrder_) {
      const std::size_t person = clone % realNames_.size();
      if (clone < realNames_.size()) {
        names.push_back(realNames_[person]);
        continue;
      }
      const std::string_view given = GivenAndFamily(realNames_[person]).first;
      std::string name;
      for (int attempt = 0; attempt < 8; ++attempt) {
        const std::string_view family = GivenAndFamily(realNames_[random.Below(realNames_.size())]).second;
        name = given.empty() ? std::string(family) : std::string(given) + " " + std::string(family);
        if (taken.count(name) == 0) break;
      }
      if (taken.count(name) != 0) {
        const std::string base = name;
        for (std::size_t suffix = 0; taken.count(name) != 0; ++suffix)
          name = base + (suffix < std::size(kSuffixes) ? kSuffixes[suffix] : " " + std::to_string(suffix + 1));
      }
      taken.insert(name);
      names.push_back(std::move(name));
    }
    return names;
  }

 private:
  const std::vector<std::string>& realNames_;
  std::vector<std::int64_t> idOfClone_;  // 0: not credited yet
  std::vector<std::size_t> clonesInIdOrder_;
};

// A field as the real files write it: quoted only when it holds a comma, quote or line end.
void AppendField(std::string& out, std::string_view field) {
  if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
    out.append(field);
    return;
  }
  out.push_back('"');
  for (const char c : field) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

void AppendRow(std::string& out, std::initializer_list<std::string_view> fields) {
  bool first = true;
  for (const std::string_view field : fields) {
    if (!first) out.push_back(',');
    first = false;
    AppendField(out, field);
  }
  out.push_back('\n');
}

std::string HeaderLine(const std::vector<std::string>& columns) {
  std::string line;
  for (const auto& column : columns) line += (line.empty() ? "" : ",") + column;
  return line + "\n";
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out) throw ECatalogueSampleError("cannot write " + path);
}

void WritePeople(const std::string& path, const std::vector<std::string>& columns,
                 const std::vector<std::string>& names) {
  std::string text = HeaderLine(columns);
  for (std::size_t i = 0; i < names.size(); ++i) AppendRow(text, {std::to_string(i + 1), names[i]});
  WriteFile(path, text);
}

}  // namespace

TCatalogueSample ReadCatalogueSample(const std::string& folder) {
  TCatalogueSample sample;
  std::unordered_map<std::int64_t, std::int32_t> filmOfId, castOfId, directorOfId;
  for (auto& record : ReadTable(folder, "videos.csv", kVideoColumns)) {
    std::int64_t id = 0;
    if (!ParseId(record.Fields[0], id) || filmOfId.count(id) != 0) continue;
    filmOfId.emplace(id, static_cast<std::int32_t>(sample.Films.size()));
    TCatalogueSample::TFilm film;
    film.Title = std::move(record.Fields[1]);
    film.Year = std::move(record.Fields[2]);
    film.Rating = std::move(record.Fields[3]);
    film.Length = std::move(record.Fields[4]);
    sample.Films.push_back(std::move(film));
  }
  if (sample.Films.empty()) throw ECatalogueSampleError(folder + "/videos.csv: no films");
  sample.CastNames = ReadPeople(folder, "castmembers.csv", kCastColumns, castOfId);
  sample.DirectorNames = ReadPeople(folder, "directors.csv", kDirectorColumns, directorOfId);
  ReadLinks(folder, "videos_castmembers.csv", kCastLinkColumns, filmOfId, castOfId, sample,
            &TCatalogueSample::TFilm::Cast);
  ReadLinks(folder, "videos_directors.csv", kDirectorLinkColumns, filmOfId, directorOfId, sample,
            &TCatalogueSample::TFilm::Directors);
  return sample;
}

TSyntheticCounts WriteSyntheticCatalogue(const TCatalogueSample& sample, std::int64_t films, std::uint64_t seed,
                                         const std::string& targetFolder) {
  if (sample.Films.empty()) throw ECatalogueSampleError("no films to recombine");
  TRandom random(seed);
  const std::size_t count = static_cast<std::size_t>(std::max<std::int64_t>(films, 0));
  // Each generation uses every real film once, in an order of its own; the last one, when
  // films is not a multiple of the real count, takes the first films of its order.
  const std::size_t real = sample.Films.size();
  const std::size_t generations = std::max<std::size_t>(1, (count + real - 1) / real);

  struct TNewFilm {
    std::int32_t Model;
    std::int32_t Generation;
    std::string Title;
  };
  std::vector<TNewFilm> made;
  made.reserve(count);
  std::vector<std::int32_t> models(real);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t generation = i / real;
    if (i % real == 0) {
      std::iota(models.begin(), models.end(), 0);
      for (std::size_t k = real - 1; k > 0; --k) std::swap(models[k], models[random.Below(k + 1)]);
    }
    const std::int32_t model = models[i % real];
    made.push_back({model, static_cast<std::int32_t>(generation),
                    SplicedTitle(sample, sample.Films[static_cast<std::size_t>(model)].Title, random)});
  }
  // Films are numbered in order of year, as in the real files.
  std::vector<std::size_t> order(count);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return sample.Films[static_cast<std::size_t>(made[a].Model)].Year <
           sample.Films[static_cast<std::size_t>(made[b].Model)].Year;
  });

  TSyntheticCounts counts;
  counts.Films = static_cast<std::int64_t>(count);
  TClones cast(sample.CastNames, generations), directors(sample.DirectorNames, generations);
  std::string videosText = HeaderLine(kVideoColumns), castLinks = HeaderLine(kCastLinkColumns),
              directorLinks = HeaderLine(kDirectorLinkColumns);
  videosText.reserve(count * 48);
  for (std::size_t n = 0; n < count; ++n) {
    const TNewFilm& film = made[order[n]];
    const auto& model = sample.Films[static_cast<std::size_t>(film.Model)];
    const std::string id = std::to_string(n + 1);
    const auto generation = static_cast<std::size_t>(film.Generation);
    AppendRow(videosText, {id, film.Title, model.Year, model.Rating, model.Length});
    for (const std::int32_t person : model.Cast)
      AppendRow(castLinks, {id, std::to_string(cast.IdOf(generation, person))});
    for (const std::int32_t person : model.Directors)
      AppendRow(directorLinks, {id, std::to_string(directors.IdOf(generation, person))});
    counts.CastLinks += static_cast<std::int64_t>(model.Cast.size());
    counts.DirectorLinks += static_cast<std::int64_t>(model.Directors.size());
  }
  counts.CastMembers = static_cast<std::int64_t>(cast.Count());
  counts.Directors = static_cast<std::int64_t>(directors.Count());

  WriteFile(targetFolder + "/videos.csv", videosText);
  WriteFile(targetFolder + "/videos_castmembers.csv", castLinks);
  WriteFile(targetFolder + "/videos_directors.csv", directorLinks);
  WritePeople(targetFolder + "/castmembers.csv", kCastColumns, cast.Names(random));
  WritePeople(targetFolder + "/directors.csv", kDirectorColumns, directors.Names(random));
  return counts;
}

}  // namespace quarry::tools
