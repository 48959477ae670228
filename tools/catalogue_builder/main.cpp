// pellomar-catalogue SOURCE_DIR TARGET_DIR: builds the catalogue's five tables from the CSV
// files of SOURCE_DIR (videos.csv, castmembers.csv, directors.csv, videos_castmembers.csv,
// videos_directors.csv) into TARGET_DIR, encrypted with the catalogue password.
//
// The tables are built in a fresh folder inside TARGET_DIR and moved into place only when
// all five loaded, so a failed build leaves the previous catalogue as it was.
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include "engine/storage/errors/engine_error.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/session.h"
#include "tools/common/catalogue_schema.h"
#include "tools/common/csv_reader.h"

namespace fs = std::filesystem;
using namespace quarry;
using namespace quarry::tools;

namespace {

bool IsFileOfTable(const fs::path& file, const std::string& table) {
  std::string stem = file.stem().string(), extension = file.extension().string();
  for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (char& c : extension) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return stem == table && (extension == ".DAT" || extension == ".IDX" || extension == ".BLB");
}

// Replaces the files of every built table in target by those in staging.
void MoveIntoPlace(const fs::path& staging, const fs::path& target, const std::vector<TCatalogueTableCount>& tables) {
  for (const auto& table : tables) {
    for (const auto& entry : fs::directory_iterator(target))
      if (entry.is_regular_file() && IsFileOfTable(entry.path(), table.Table)) fs::remove(entry.path());
  }
  for (const auto& entry : fs::directory_iterator(staging)) fs::rename(entry.path(), target / entry.path().filename());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: pellomar-catalogue SOURCE_DIR TARGET_DIR\n";
    return 2;
  }
  const fs::path source = argv[1];
  const fs::path target = argv[2];
  const fs::path staging = target / (".catalogue-build-" + std::to_string(::getpid()));
  const auto started = std::chrono::steady_clock::now();
  int status = 0;
  try {
    fs::create_directories(target);
    fs::remove_all(staging);
    fs::create_directories(staging);
    std::vector<TCatalogueTableCount> tables;
    {
      TDataSession session;
      TDataDirectory& directory = session.OpenDirectory("", staging.string());
      tables = LoadCatalogue(directory, source.string(), kCataloguePassword);
      session.CloseDirectory(directory);
    }
    MoveIntoPlace(staging, target, tables);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    for (const auto& table : tables) std::cout << table.Table << ": " << table.Rows << " rows\n";
    std::printf("catalogue built in %s in %.2f s\n", target.string().c_str(), seconds);
  } catch (const ECsvError& error) {
    std::cerr << "pellomar-catalogue: " << error.what() << '\n';
    status = 1;
  } catch (const std::exception& error) {
    std::cerr << "pellomar-catalogue: " << error.what() << '\n';
    status = 1;
  }
  std::error_code ignored;
  fs::remove_all(staging, ignored);
  return status;
}
