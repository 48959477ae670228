// Table file names, directory paths, packed file times.
#include "engine/storage/files/file_names.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace quarry {
namespace {

TEST(FileNamesTest, TableFilesGetTheirExtensions) {
  struct Case {
    const char* directory;
    const char* table;
    std::string_view extension;
    const char* expected;
  };
  const Case cases[] = {
      {"/data", "VIDEOS", kDataExtension, "/data/VIDEOS.DAT"},
      {" /data/ ", "Videos", kIndexExtension, "/data/Videos.IDX"},
      {"/data/", "videos.dat", kBlobExtension, "/data/videos.BLB"},    // the data extension is replaced
      {"/data/", "notes.txt", kDataExtension, "/data/notes.txt.DAT"},  // any other is kept
      {"", "T", kDataBackupExtension, "T.DBK"},
      {"/d", " T ", kIndexBackupExtension, "/d/T.IBK"},
      {"/d", "T", kBlobBackupExtension, "/d/T.BBK"},
  };
  for (const Case& c : cases) EXPECT_EQ(TableFileName(c.directory, c.table, c.extension), c.expected) << c.table;
  EXPECT_EQ(IncludeTrailingDelimiter("  /a/b  "), "/a/b/");
  EXPECT_EQ(IncludeTrailingDelimiter(""), "");
}

TEST(FileNamesTest, LocalTimesPackIntoDateAndTimeWords) {
  TLocalTime t;
  t.year = 2024;
  t.month = 3;
  t.day = 15;
  t.hour = 13;
  t.minute = 45;
  t.second = 31;
  const int32_t packed = PackDosDateTime(t);
  EXPECT_EQ(static_cast<uint32_t>(packed) >> 16, (44u << 9) | (3u << 5) | 15u);
  EXPECT_EQ(static_cast<uint32_t>(packed) & 0xFFFF, (13u << 11) | (45u << 5) | 15u);
  t.year = 1979;
  EXPECT_EQ(PackDosDateTime(t), -1);
  t.year = 2108;
  EXPECT_EQ(PackDosDateTime(t), -1);
}

TEST(FileNamesTest, FileTimesOfFilesOnly) {
  std::random_device random;
  const auto dir = std::filesystem::temp_directory_path() / ("quarry-file-names-" + std::to_string(random()));
  std::filesystem::create_directories(dir);
  const auto file = dir / "AGE.DAT";
  std::ofstream(file) << "x";
  const int32_t age = FileDateTime((dir / "age.dat").string());
  EXPECT_GT(age, 0);
  EXPECT_GE((static_cast<uint32_t>(age) >> 25) + 1980, 2020u);
  EXPECT_EQ(FileDateTime((dir / "NONE.DAT").string()), -1);
  EXPECT_EQ(FileDateTime(dir.string()), -1);
  std::filesystem::remove_all(dir);
  EXPECT_FALSE(ComputerName().empty());
  EXPECT_LE(ComputerName().size(), kMaxComputerNameLength);
  EXPECT_FALSE(TemporaryDirectory().empty());
  EXPECT_FALSE(CurrentDirectory().empty());
}

}  // namespace
}  // namespace quarry
