// The in-memory environment: the same share and lock rules as the POSIX one, crash
// simulation by dropping unflushed data, a virtual clock.
#include "engine/platform/memory_environment.h"

#include <gtest/gtest.h>

#include "engine/platform/os_error.h"

namespace quarry {
namespace {

class MemoryEnvironmentTest : public ::testing::Test {
 protected:
  void SetUp() override { env_.MakeDirectory("/db"); }

  std::unique_ptr<TOsFile> Open(const std::string& path, bool exclusive = false, bool create = false) {
    TOpenOptions options;
    options.exclusive = exclusive;
    options.create = create;
    return env_.OpenFile(path, options);
  }

  TMemoryEnvironment env_;
};

TEST_F(MemoryEnvironmentTest, ShareModesAndLocksActLikeSeparateHandles) {
  ASSERT_TRUE(Open("/db/T.DAT", true, true));
  auto a = Open("/db/T.DAT");
  auto b = Open("/db/T.DAT");
  ASSERT_TRUE(a && b);
  EXPECT_FALSE(Open("/db/T.DAT", true));
  EXPECT_EQ(LastOsError(), kOsErrorSharingViolation);
  EXPECT_FALSE(env_.DeleteFile("/db/T.DAT"));
  EXPECT_FALSE(env_.RenameFile("/db/T.DAT", "/db/U.DAT"));

  EXPECT_TRUE(a->LockRange(10, 5));
  EXPECT_FALSE(a->LockRange(12, 1));
  EXPECT_FALSE(b->LockRange(14, 10));
  EXPECT_FALSE(b->UnlockRange(10, 5));  // not b's lock
  a.reset();                            // closing drops a's locks and share
  EXPECT_TRUE(b->LockRange(14, 10));
  b.reset();
  EXPECT_TRUE(Open("/db/T.DAT", true));
  EXPECT_TRUE(env_.RenameFile("/db/T.DAT", "/db/U.DAT"));
  EXPECT_TRUE(env_.DeleteFile("/db/U.DAT"));
  EXPECT_FALSE(Open("/db/U.DAT"));
  EXPECT_EQ(LastOsError(), kOsErrorFileNotFound);
  EXPECT_FALSE(Open("/nodir/X.DAT", false, true));
  EXPECT_EQ(LastOsError(), kOsErrorPathNotFound);
}

TEST_F(MemoryEnvironmentTest, AHandleWithoutShareModeKeepsNothingOutAndTellsItsFileApart) {
  ASSERT_TRUE(Open("/db/T.DAT", false, true));
  auto kept = Open("/db/T.DAT");
  ASSERT_TRUE(kept);
  TFileIdentity identity;
  ASSERT_TRUE(kept->Identity(identity));
  ASSERT_TRUE(kept->ReleaseShareMode());
  {
    auto exclusive = Open("/db/T.DAT", true);
    ASSERT_TRUE(exclusive);
    EXPECT_FALSE(kept->TakeShareMode(false));
    EXPECT_EQ(LastOsError(), kOsErrorSharingViolation);
  }
  ASSERT_TRUE(kept->TakeShareMode(false));
  EXPECT_FALSE(Open("/db/T.DAT", true));
  ASSERT_TRUE(kept->ReleaseShareMode());
  EXPECT_TRUE(env_.DeleteFile("/db/T.DAT"));
  ASSERT_TRUE(Open("/db/T.DAT", false, true));
  TFileInfo info;
  ASSERT_TRUE(env_.GetFileInfo("/db/T.DAT", info));
  EXPECT_NE(info.identity, identity);
  kept.reset();  // closing a handle without share mode gives back nothing it does not hold
  EXPECT_TRUE(Open("/db/T.DAT", true));
}

TEST_F(MemoryEnvironmentTest, ACrashKeepsOnlyFlushedData) {
  auto file = Open("/db/D.DAT", true, true);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->WriteAt(0, "flushed", 7), 7);
  EXPECT_TRUE(file->Flush());
  EXPECT_EQ(file->WriteAt(7, "-lost", 5), 5);
  EXPECT_EQ(env_.Contents("/db/D.DAT"), "flushed-lost");
  env_.DropUnsyncedData();
  EXPECT_EQ(env_.Contents("/db/D.DAT"), "flushed");
  EXPECT_EQ(file->Size(), 7);
}

TEST_F(MemoryEnvironmentTest, ReadOnlyFilesDirectoriesAndCaseInsensitiveNames) {
  ASSERT_TRUE(Open("/db/VIDEOS.DAT", false, true));
  env_.SetReadOnly("/db/VIDEOS.DAT", true);
  TFileInfo info;
  ASSERT_TRUE(env_.GetFileInfo("/db/VIDEOS.DAT", info));
  EXPECT_TRUE(info.read_only);
  EXPECT_FALSE(Open("/db/VIDEOS.DAT"));
  TOpenOptions reading;
  reading.read_only = true;
  auto reader = env_.OpenFile("/db/VIDEOS.DAT", reading);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->WriteAt(0, "x", 1), -1);

  ASSERT_TRUE(env_.GetFileInfo("/db", info));
  EXPECT_TRUE(info.is_directory);
  EXPECT_EQ(env_.ResolveIgnoringCase("/db/videos.dat"), "/db/VIDEOS.DAT");
  std::vector<std::string> names;
  ASSERT_TRUE(env_.ListDirectory("/db", names));
  EXPECT_EQ(names, std::vector<std::string>{"VIDEOS.DAT"});
}

TEST_F(MemoryEnvironmentTest, SleepAdvancesTheVirtualClockAtOnce) {
  const uint64_t before = env_.TickCount();
  const TLocalTime start = env_.LocalTime();
  for (int i = 0; i < 16; ++i) env_.Sleep(100);
  EXPECT_EQ(env_.TickCount() - before, 1600u);
  const TLocalTime later = env_.LocalTime();
  EXPECT_EQ((later.second - start.second + 60) % 60, 1);
}

}  // namespace
}  // namespace quarry
