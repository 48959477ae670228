// catalogue_generator SOURCE_DIR FILMS TARGET_DIR [--seed N]: writes the five CSV files of a
// synthetic catalogue of FILMS films into TARGET_DIR, recombined from the real catalogue in
// SOURCE_DIR (see tools/common/synthetic_catalogue.h). The same source, FILMS and seed give
// byte-identical files. pellomar-catalogue then builds the tables from them.
#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include "tools/common/csv_reader.h"
#include "tools/common/synthetic_catalogue.h"

namespace {

template <typename T>
bool ParseNumber(const std::string& text, T& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

int Usage() {
  std::cerr << "usage: catalogue_generator SOURCE_DIR FILMS TARGET_DIR [--seed N]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quarry::tools;
  if (argc != 4 && argc != 6) return Usage();
  std::int64_t films = 0;
  std::uint64_t seed = 1;
  // A billion films would need far more memory than any benchmark has; refuse it plainly.
  constexpr std::int64_t kMostFilms = 100'000'000;
  if (!ParseNumber(argv[2], films) || films < 0 || films > kMostFilms) {
    std::cerr << "catalogue_generator: FILMS must be a whole number from 0 to " << kMostFilms << '\n';
    return 2;
  }
  if (argc == 6 && (std::string(argv[4]) != "--seed" || !ParseNumber(argv[5], seed))) return Usage();
  try {
    const auto started = std::chrono::steady_clock::now();
    const TCatalogueSample sample = ReadCatalogueSample(argv[1]);
    std::filesystem::create_directories(argv[3]);
    const TSyntheticCounts counts = WriteSyntheticCatalogue(sample, films, seed, argv[3]);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("%lld films, %lld cast members, %lld directors, %lld cast links, %lld director links in %s (%.1f s)\n",
                static_cast<long long>(counts.Films), static_cast<long long>(counts.CastMembers),
                static_cast<long long>(counts.Directors), static_cast<long long>(counts.CastLinks),
                static_cast<long long>(counts.DirectorLinks), argv[3], seconds);
  } catch (const std::exception& error) {
    std::cerr << "catalogue_generator: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
