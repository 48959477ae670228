// A synthetic catalogue of any number of films, recombined from a real catalogue folder, for
// benchmarks on catalogues far larger than the real one.
//
// The output has the real catalogue's layout: the same five CSV files with the same header
// lines, RFC 4180 quoting only where a field needs it, LF line ends, films numbered from 1
// in order of year, people numbered from 1 in order of their first credit, link rows in film
// order with each film's credits in their credited order.
//
// How the rows are made. The films come in "generations": each generation copies every real
// film once, in an order of its own (the last generation, when the count is not a multiple
// of the real one, copies the first films of its order). A copy keeps its model's year,
// rating and running time, so their joint distribution is the real one, and its cast and
// director credits, and gets a title spliced from the first words of its model's title and
// the last words of another's. People are cloned per generation: a copy credits the clones of
// its model's people in its own generation, so how many films a person has and who works with
// whom follow the real catalogue. The first generation keeps the real names; later ones pair
// a real person's given names with another's family name, kept unique. A person that no film
// credits is left out, as in the real catalogue.
//
// Everything is drawn from one seeded generator of our own (not the standard library's
// distributions, whose results differ between libraries): the same source, film count and
// seed give byte-identical files.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace quarry::tools {

class ECatalogueSampleError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The rows of a real catalogue folder that the generator recombines.
struct TCatalogueSample {
  struct TFilm {
    std::string Title, Year, Rating, Length;
    std::vector<std::int32_t> Cast;       // indexes into CastNames, in credited order
    std::vector<std::int32_t> Directors;  // indexes into DirectorNames
  };
  std::vector<TFilm> Films;
  std::vector<std::string> CastNames;
  std::vector<std::string> DirectorNames;
};

// Reads the five CSV files of folder. Links that name a film or person the folder does not
// have are left out. Raises ECatalogueSampleError (a file missing, no films, a wrong header)
// or ECsvError (a malformed line).
TCatalogueSample ReadCatalogueSample(const std::string& folder);

struct TSyntheticCounts {
  std::int64_t Films = 0, CastMembers = 0, Directors = 0, CastLinks = 0, DirectorLinks = 0;
};

// Writes the five CSV files of a catalogue of `films` films into targetFolder (which must
// exist); files of those names are replaced. Raises ECatalogueSampleError when a file cannot
// be written.
TSyntheticCounts WriteSyntheticCatalogue(const TCatalogueSample& sample, std::int64_t films, std::uint64_t seed,
                                         const std::string& targetFolder);

}  // namespace quarry::tools
