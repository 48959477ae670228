// The file list with memory and disk files: one object per name, opens with their own
// positions, share modes, memory files outliving their last close, locks, copies.
#include "engine/storage/files/file_list.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/platform/fault_environment.h"
#include "engine/platform/posix_environment.h"
#include "engine/storage/errors/engine_error.h"
#include "engine/storage/files/memory_file.h"

namespace quarry {
namespace {

namespace fs = std::filesystem;

// A directory name no other test run (of this or a sibling build) is using.
std::string UniqueName(const std::string& stem) {
  std::random_device random;
  return stem + "-" + std::to_string(random()) + "-" + std::to_string(random());
}

class FileListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / UniqueName("quarry-list");
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(dir_, ignored)) {
      fs::permissions(entry.path(), fs::perms::owner_all, ignored);
    }
    fs::remove_all(dir_, ignored);
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  void MakeDiskFile(const std::string& name, const std::string& bytes) {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }

  // Opens (shared unless exclusive) and returns the open number; file receives the object.
  int32_t OpenFile(const std::string& name, bool in_memory, TAbstractFile*& file, bool exclusive = false) {
    bool read_only = false;
    bool read_only_attribute = false;
    return list_.Open(name, in_memory, false, exclusive, file, read_only, read_only_attribute);
  }

  TPosixEnvironment posix_;
  TFaultInjectingEnvironment env_{posix_};
  TFileList list_{env_};
  fs::path dir_;
};

// Both kinds of file, so that every rule is checked on disk and in memory alike.
class BothKindsTest : public FileListTest, public ::testing::WithParamInterface<bool> {
 protected:
  bool InMemory() const { return GetParam(); }
  std::string Name(const std::string& base) const { return InMemory() ? base : Path(base); }
};

TEST_P(BothKindsTest, OpensShareOneObjectAndKeepTheirOwnPositions) {
  TAbstractFile* created = nullptr;
  const int32_t first = list_.Create(Name("T.DAT"), InMemory(), false, created);
  ASSERT_GT(first, 0);
  EXPECT_EQ(created->Write(first, "0123456789", 10), 10);
  ASSERT_EQ(list_.Close(created, InMemory(), first), 0);

  TAbstractFile* a = nullptr;
  TAbstractFile* b = nullptr;
  const int32_t open_a = OpenFile(Name("T.DAT"), InMemory(), a);
  const int64_t os_opens = env_.Count(TFaultOperation::kOpen);
  const int32_t open_b = OpenFile(Name("t.dat"), InMemory(), b);  // names match ignoring case
  ASSERT_GT(open_a, 0);
  ASSERT_GT(open_b, 0);
  EXPECT_EQ(a, b);
  EXPECT_EQ(open_b, open_a + 1);
  EXPECT_EQ(env_.Count(TFaultOperation::kOpen), os_opens);  // the OS is not asked again
  EXPECT_EQ(list_.FileCount(), 1u);

  char buffer[4] = {};
  EXPECT_EQ(a->Seek(open_a, kSeekFromStart, 6), 6);
  EXPECT_EQ(a->Read(open_a, buffer, 4), 4);
  EXPECT_EQ(std::string(buffer, 4), "6789");
  EXPECT_EQ(b->Read(open_b, buffer, 3), 3);  // b is still at 0
  EXPECT_EQ(std::string(buffer, 3), "012");
  EXPECT_EQ(a->Read(open_a, buffer, 4), 0);  // a is at the end
  EXPECT_EQ(a->Seek(open_a, kSeekFromEnd, 0), 10);
  EXPECT_EQ(a->Seek(open_a, kSeekFromCurrent, -3), 7);
  EXPECT_LT(a->Seek(open_a, kSeekFromStart, -1), 0);
  EXPECT_LT(a->Read(12345, buffer, 1), 0);  // unknown open number

  EXPECT_EQ(list_.Close(a, InMemory(), open_a), 0);
  EXPECT_EQ(list_.Close(b, InMemory(), open_b), 0);
}

TEST_P(BothKindsTest, WritingZeroBytesSetsTheEndAtThePosition) {
  TAbstractFile* file = nullptr;
  const int32_t open = list_.Create(Name("Z.DAT"), InMemory(), false, file);
  ASSERT_GT(open, 0);
  const std::vector<char> hundred(100, 'x');
  EXPECT_EQ(file->Write(open, hundred.data(), 100), 100);
  EXPECT_EQ(file->Seek(open, kSeekFromStart, 10), 10);
  EXPECT_EQ(file->Write(open, nullptr, 0), 0);
  EXPECT_EQ(file->Size(), 10);
  // Extending again reads zeros where the old bytes were.
  EXPECT_EQ(file->Seek(open, kSeekFromStart, 50), 50);
  EXPECT_EQ(file->Write(open, nullptr, 0), 0);
  EXPECT_EQ(file->Size(), 50);
  char byte = 'x';
  EXPECT_EQ(file->Seek(open, kSeekFromStart, 20), 20);
  EXPECT_EQ(file->Read(open, &byte, 1), 1);
  EXPECT_EQ(byte, 0);
  // So does a write beyond the end, in the gap before it, over bytes once written.
  EXPECT_EQ(file->Seek(open, kSeekFromStart, 5), 5);
  EXPECT_EQ(file->Write(open, nullptr, 0), 0);
  EXPECT_EQ(file->Seek(open, kSeekFromStart, 90), 90);
  EXPECT_EQ(file->Write(open, "y", 1), 1);
  std::vector<char> back(91, 'x');
  EXPECT_EQ(file->Seek(open, kSeekFromStart, 0), 0);
  ASSERT_EQ(file->Read(open, back.data(), 91), 91);
  EXPECT_EQ(std::string(back.data(), 5), "xxxxx");
  EXPECT_EQ(std::count(back.begin() + 5, back.begin() + 90, 0), 85);
  EXPECT_EQ(back[90], 'y');
  list_.Close(file, InMemory(), open);
}

TEST_P(BothKindsTest, ShareModesAndChangesOfOpenFilesAreRefused) {
  TAbstractFile* file = nullptr;
  const int32_t created = list_.Create(Name("S.DAT"), InMemory(), false, file);
  ASSERT_GT(created, 0);
  list_.Close(file, InMemory(), created);

  TAbstractFile* shared = nullptr;
  const int32_t open = OpenFile(Name("S.DAT"), InMemory(), shared);
  ASSERT_GT(open, 0);
  TAbstractFile* other = nullptr;
  EXPECT_EQ(OpenFile(Name("S.DAT"), InMemory(), other, /*exclusive=*/true), -QUARRY_OSEACCES);
  EXPECT_EQ(list_.Create(Name("S.DAT"), InMemory(), false, other), -QUARRY_OSEACCES);
  EXPECT_EQ(list_.Rename(Name("S.DAT"), InMemory(), Name("R.DAT")), -QUARRY_OSEACCES);
  EXPECT_EQ(list_.Delete(Name("S.DAT"), InMemory()), -QUARRY_OSEACCES);
  list_.Close(shared, InMemory(), open);

  TAbstractFile* exclusive = nullptr;
  const int32_t held = OpenFile(Name("S.DAT"), InMemory(), exclusive, true);
  ASSERT_GT(held, 0);
  EXPECT_EQ(OpenFile(Name("S.DAT"), InMemory(), other), -QUARRY_OSEACCES);
  list_.Close(exclusive, InMemory(), held);

  EXPECT_EQ(list_.Rename(Name("S.DAT"), InMemory(), Name("R.DAT")), 0);
  EXPECT_FALSE(list_.Exists(Name("S.DAT"), InMemory()));
  EXPECT_TRUE(list_.Exists(Name("R.DAT"), InMemory()));
  EXPECT_EQ(list_.Delete(Name("R.DAT"), InMemory()), 0);
  EXPECT_FALSE(list_.Exists(Name("R.DAT"), InMemory()));
  EXPECT_EQ(list_.Delete(Name("R.DAT"), InMemory()), InMemory() ? -QUARRY_OSENOENT : -QUARRY_OSENOENT);
  EXPECT_EQ(OpenFile(Name("R.DAT"), InMemory(), other), -QUARRY_OSENOENT);
}

TEST_P(BothKindsTest, LocksOfTheSharedObjectExcludeEveryOpen) {
  TAbstractFile* file = nullptr;
  const int32_t created = list_.Create(Name("L.DAT"), InMemory(), false, file);
  ASSERT_GT(created, 0);
  list_.Close(file, InMemory(), created);
  TAbstractFile* a = nullptr;
  TAbstractFile* b = nullptr;
  const int32_t open_a = OpenFile(Name("L.DAT"), InMemory(), a);
  const int32_t open_b = OpenFile(Name("L.DAT"), InMemory(), b);

  EXPECT_TRUE(a->LockRegion(100, 100));
  EXPECT_FALSE(b->LockRegion(150, 100));  // a listed range starts inside... or the new one does
  EXPECT_FALSE(b->LockRegion(50, 51));
  EXPECT_TRUE(b->LockRegion(200, 100));
  EXPECT_FALSE(a->UnlockRegion(100, 50));  // unlock needs the same start and length
  EXPECT_TRUE(a->UnlockRegion(100, 100));
  EXPECT_TRUE(a->LockRegion(150, 50));
  EXPECT_FALSE(a->LockRegion(0, 0));
  // The lock map's top bytes.
  EXPECT_TRUE(a->LockRegion(0xFFFFFFFFull, 1));
  EXPECT_FALSE(b->LockRegion(0xFFFFFFFFull, 1));
  EXPECT_TRUE(b->LockRegion(0xFFFFFFFEull, 1));

  list_.Close(a, InMemory(), open_a);
  list_.Close(b, InMemory(), open_b);
}

INSTANTIATE_TEST_SUITE_P(DiskAndMemory, BothKindsTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Memory" : "Disk"; });

TEST_F(FileListTest, MemoryFilesOutliveTheirLastCloseUnlessTemporary) {
  TAbstractFile* file = nullptr;
  EXPECT_EQ(OpenFile("NEVER.DAT", true, file), -QUARRY_OSENOENT);
  EXPECT_FALSE(list_.Exists("NEVER.DAT", true));

  const int32_t open = list_.Create("KEEP.DAT", true, false, file);
  ASSERT_GT(open, 0);
  EXPECT_EQ(file->Write(open, "kept", 4), 4);
  EXPECT_EQ(list_.Close(file, true, open), 0);
  EXPECT_EQ(list_.FileCount(), 1u);
  EXPECT_TRUE(list_.Exists("keep.dat", true));
  EXPECT_FALSE(list_.Exists("KEEP.DAT", false));  // a memory name is no disk name

  TAbstractFile* again = nullptr;
  const int32_t reopened = OpenFile("KEEP.DAT", true, again);
  ASSERT_GT(reopened, open);  // open numbers are never reused
  EXPECT_EQ(again, file);
  char buffer[4] = {};
  EXPECT_EQ(again->Read(reopened, buffer, 4), 4);
  EXPECT_EQ(std::string(buffer, 4), "kept");
  list_.Close(again, true, reopened);

  const int32_t temporary = list_.Create("TEMP.DAT", true, true, file);
  ASSERT_GT(temporary, 0);
  EXPECT_EQ(list_.Close(file, true, temporary), 0);
  EXPECT_FALSE(list_.Exists("TEMP.DAT", true));
  EXPECT_EQ(list_.Close(file, true, temporary), -QUARRY_OSENOENT);  // object gone
}

TEST_F(FileListTest, MemoryFileBlockGrowsInStepsAndRefusesAbsurdSizes) {
  TMemoryFile file("M");
  const int32_t open = file.Create();
  EXPECT_EQ(file.AllocatedLength(), 0);
  EXPECT_EQ(file.Write(open, "a", 1), 1);
  EXPECT_EQ(file.AllocatedLength(), kMemoryFileBlockStep);
  std::vector<char> big(10000, 'b');
  EXPECT_EQ(file.Write(open, big.data(), static_cast<int64_t>(big.size())), 10000);
  EXPECT_EQ(file.AllocatedLength() % kMemoryFileBlockStep, 0);
  EXPECT_GE(file.AllocatedLength(), 10001);
  // Appending within the headroom neither shrinks nor moves the block.
  const int64_t allocated = file.AllocatedLength();
  EXPECT_EQ(file.Write(open, "c", 1), 1);
  EXPECT_EQ(file.AllocatedLength(), allocated);
  EXPECT_EQ(file.Seek(open, kSeekFromStart, 0), 0);
  EXPECT_EQ(file.Write(open, nullptr, 0), 0);  // size 0 frees the block
  EXPECT_EQ(file.AllocatedLength(), 0);
  char byte;
  EXPECT_EQ(file.Seek(open, kSeekFromStart, 500), 500);
  EXPECT_EQ(file.Read(open, &byte, 1), 0);  // beyond the size

  EXPECT_EQ(file.Seek(open, kSeekFromStart, int64_t{1} << 40), int64_t{1} << 40);
  EXPECT_EQ(file.Write(open, "x", 1), -QUARRY_OSEINVMEM);
  EXPECT_EQ(file.Size(), 0);
}

TEST_F(FileListTest, DiskNamesAreFoundWithoutRegardToCase) {
  MakeDiskFile("VIDEOS.DAT", "data");
  EXPECT_TRUE(list_.Exists(Path("Videos.dat"), false));
  EXPECT_TRUE(list_.Exists("  " + Path("videos.DAT") + " ", false));
  EXPECT_FALSE(list_.Exists(Path("Videos.idx"), false));
  EXPECT_FALSE(list_.Exists(dir_.string(), false));  // a directory is no file

  TAbstractFile* file = nullptr;
  const int32_t open = OpenFile(Path("videos.dat"), false, file);
  ASSERT_GT(open, 0);
  EXPECT_EQ(file->Size(), 4);
  list_.Close(file, false, open);
  EXPECT_EQ(list_.FileCount(), 0u);  // disk objects leave with their last close

  // Creating under another case replaces the existing file rather than adding a second.
  const int32_t created = list_.Create(Path("Videos.Dat"), false, false, file);
  ASSERT_GT(created, 0);
  list_.Close(file, false, created);
  EXPECT_EQ(fs::file_size(Path("VIDEOS.DAT")), 0u);
  EXPECT_FALSE(fs::exists(Path("Videos.Dat")));
}

TEST_F(FileListTest, ReadOnlyAttributeOpensReadOnlyAndRefusesWrites) {
  MakeDiskFile("RO.DAT", "fixed");
  fs::permissions(Path("RO.DAT"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  TAbstractFile* file = nullptr;
  bool read_only = false;
  bool read_only_attribute = false;
  const int32_t open = list_.Open(Path("RO.DAT"), false, false, false, file, read_only, read_only_attribute);
  ASSERT_GT(open, 0);
  EXPECT_TRUE(read_only);
  EXPECT_TRUE(read_only_attribute);
  EXPECT_EQ(file->Write(open, "x", 1), -QUARRY_OSEACCES);
  char buffer[5];
  EXPECT_EQ(file->Read(open, buffer, 5), 5);
  list_.Close(file, false, open);
}

TEST_F(FileListTest, TemporaryDiskFilesVanishWithTheirLastClose) {
  MakeDiskFile("TMP.DAT", "scratch");
  TAbstractFile* file = nullptr;
  bool read_only = false;
  bool read_only_attribute = false;
  const int32_t open = list_.Open(Path("TMP.DAT"), false, true, false, file, read_only, read_only_attribute);
  ASSERT_GT(open, 0);
  // Still reachable through the list while open.
  TAbstractFile* second = nullptr;
  const int32_t again = list_.Open(Path("TMP.DAT"), false, true, false, second, read_only, read_only_attribute);
  ASSERT_GT(again, 0);
  char buffer[7];
  EXPECT_EQ(second->Read(again, buffer, 7), 7);
  list_.Close(file, false, open);
  list_.Close(second, false, again);
  EXPECT_FALSE(fs::exists(Path("TMP.DAT")));
}

TEST_F(FileListTest, AParkedHandleLeavesTheListAndResumesOnlyOnItsOwnFile) {
  struct TCase {
    const char* what;
    std::function<void()> meanwhile;  // done while the handle is parked
    bool exclusive;                   // the mode asked for on resuming
    bool resumes;
  };
  const TCase cases[] = {
      {"nothing happened", [] {}, false, true},
      {"nothing happened, exclusive now", [] {}, true, true},
      {"deleted and made again",
       [&] {
         fs::remove(Path("K.DAT"));
         MakeDiskFile("K.DAT", "other");
       },
       false, false},
      {"renamed away", [&] { fs::rename(Path("K.DAT"), Path("GONE.DAT")); }, false, false},
      {"made read-only",
       [&] { fs::permissions(Path("K.DAT"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read); },
       false, false},
  };
  for (const TCase& k : cases) {
    SCOPED_TRACE(k.what);
    fs::remove(Path("GONE.DAT"));
    fs::remove(Path("K.DAT"));
    MakeDiskFile("K.DAT", "kept bytes");
    TAbstractFile* file = nullptr;
    const int32_t open = OpenFile(Path("K.DAT"), false, file);
    ASSERT_GT(open, 0);
    std::unique_ptr<TOsFile> handle = list_.Park(file, false, open);
    ASSERT_TRUE(handle);
    EXPECT_EQ(list_.FileCount(), 0u);
    // Parked, it keeps no exclusive open out (of this process or another).
    TAbstractFile* other = nullptr;
    const int32_t exclusive = OpenFile(Path("K.DAT"), false, other, true);
    ASSERT_GT(exclusive, 0);
    list_.Close(other, false, exclusive);
    k.meanwhile();

    bool read_only = false;
    bool read_only_attribute = false;
    const int32_t resumed =
        list_.Resume(Path("K.DAT"), std::move(handle), k.exclusive, file, read_only, read_only_attribute);
    EXPECT_EQ(resumed > 0, k.resumes);
    if (resumed <= 0) continue;
    char buffer[4] = {};
    EXPECT_EQ(file->Read(resumed, buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "kept");
    EXPECT_EQ(file->Exclusive(), k.exclusive);
    // Resumed, it holds its share mode again.
    EXPECT_LT(OpenFile(Path("K.DAT"), false, other, true), 0);
    list_.Close(file, false, resumed);
  }
}

TEST_F(FileListTest, ResumingJoinsAnOpenOfTheSameFileAndMemoryOrTemporaryFilesAreNotParked) {
  MakeDiskFile("J.DAT", "joined");
  TAbstractFile* file = nullptr;
  const int32_t open = OpenFile(Path("J.DAT"), false, file);
  std::unique_ptr<TOsFile> handle = list_.Park(file, false, open);
  ASSERT_TRUE(handle);
  TAbstractFile* held = nullptr;
  const int32_t holding = OpenFile(Path("J.DAT"), false, held);
  bool read_only = false;
  bool read_only_attribute = false;
  const int32_t joined = list_.Resume(Path("J.DAT"), std::move(handle), false, file, read_only, read_only_attribute);
  ASSERT_GT(joined, 0);
  EXPECT_EQ(file, held);
  EXPECT_EQ(held->OpenCount(), 2);
  // A second open stands: parking one of two closes it instead.
  EXPECT_FALSE(list_.Park(file, false, joined));
  EXPECT_EQ(held->OpenCount(), 1);
  list_.Close(held, false, holding);

  TAbstractFile* memory = nullptr;
  const int32_t created = list_.Create("M.DAT", true, false, memory);
  EXPECT_FALSE(list_.Park(memory, true, created));
  EXPECT_EQ(memory->OpenCount(), 0);
  MakeDiskFile("TMP.DAT", "scratch");
  const int32_t temporary = list_.Open(Path("TMP.DAT"), false, true, false, file, read_only, read_only_attribute);
  ASSERT_GT(temporary, 0);
  EXPECT_FALSE(list_.Park(file, false, temporary));
  EXPECT_FALSE(fs::exists(Path("TMP.DAT")));
}

TEST_F(FileListTest, CopyReadsInChunksAndReportsProgressBySteps) {
  const std::string payload(131072, 'p');
  MakeDiskFile("SRC.DAT", payload);
  TAbstractFile* source = nullptr;
  const int32_t open = OpenFile(Path("SRC.DAT"), false, source);
  ASSERT_GT(open, 0);

  std::vector<int> reports;
  const int64_t reads_before = env_.Count(TFaultOperation::kRead);
  ASSERT_EQ(list_.CopyTo(
                source, open, 20, [&](int percent) { reports.push_back(percent); }, "COPY.DAT", true),
            0);
  EXPECT_EQ(env_.Count(TFaultOperation::kRead) - reads_before, 3);  // the last read is empty
  EXPECT_EQ(reports, (std::vector<int>{50, 100}));

  // The copy is a closed, non-temporary memory file holding the bytes.
  TAbstractFile* copy = nullptr;
  const int32_t copy_open = OpenFile("COPY.DAT", true, copy);
  ASSERT_GT(copy_open, 0);
  EXPECT_EQ(copy->Size(), 131072);

  // Copying back over a longer file leaves no old tail behind.
  MakeDiskFile("LONG.DAT", std::string(200000, 'l'));
  TAbstractFile* destination = nullptr;
  const int32_t destination_open = OpenFile(Path("LONG.DAT"), false, destination, true);
  ASSERT_GT(destination_open, 0);
  reports.clear();
  list_.Close(copy, true, copy_open);
  ASSERT_EQ(list_.CopyFrom(
                destination, destination_open, 100, [&](int percent) { reports.push_back(percent); }, "COPY.DAT", true),
            0);
  EXPECT_EQ(reports, (std::vector<int>{100}));
  EXPECT_EQ(destination->Size(), 131072);
  list_.Close(destination, false, destination_open);
  list_.Close(source, false, open);
  EXPECT_EQ(fs::file_size(Path("LONG.DAT")), 131072u);

  // A missing source, or a destination in use, is refused.
  EXPECT_EQ(list_.CopyFrom(destination, destination_open, 20, {}, "NONE.DAT", true), -QUARRY_OSENOENT);
}

TEST_F(FileListTest, CopyOfAnEmptyFileReportsCompletion) {
  TAbstractFile* empty = nullptr;
  const int32_t open = list_.Create("EMPTY", true, false, empty);
  std::vector<int> reports;
  ASSERT_EQ(list_.CopyTo(
                empty, open, 20, [&](int percent) { reports.push_back(percent); }, Path("E.DAT"), false),
            0);
  EXPECT_EQ(reports, (std::vector<int>{100}));
  EXPECT_EQ(fs::file_size(Path("E.DAT")), 0u);
  list_.Close(empty, true, open);
}

TEST_F(FileListTest, FailedDiskOpenLeavesNothingInTheListAndARefusedWriteOpenDegradesToReading) {
  MakeDiskFile("F.DAT", "x");
  env_.FailNth(TFaultOperation::kOpen, 1, TFaultEffect::kError, /*sticky=*/true, kOsErrorTooManyOpenFiles);
  TAbstractFile* file = nullptr;
  EXPECT_EQ(OpenFile(Path("F.DAT"), false, file), -QUARRY_OSEMFILE);
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(list_.FileCount(), 0u);
  env_.Clear();

  // Only the read/write attempt fails: the open goes on for reading only.
  env_.FailNth(TFaultOperation::kOpen, 1, TFaultEffect::kError, false, kOsErrorAccessDenied);
  bool read_only = false;
  bool read_only_attribute = true;
  const int32_t open = list_.Open(Path("F.DAT"), false, false, false, file, read_only, read_only_attribute);
  ASSERT_GT(open, 0);
  EXPECT_TRUE(read_only);
  EXPECT_FALSE(read_only_attribute);
  list_.Close(file, false, open);
}

TEST_F(FileListTest, RenamingAMemoryFileOntoAnotherNameInUseIsRefused) {
  TAbstractFile* a = nullptr;
  TAbstractFile* b = nullptr;
  list_.Close(a, true, list_.Create("A", true, false, a));
  list_.Close(b, true, list_.Create("B", true, false, b));
  EXPECT_LT(list_.Rename("A", true, "b"), 0);
  EXPECT_EQ(list_.Rename("A", true, "C"), 0);
  EXPECT_TRUE(list_.Exists("C", true));
  EXPECT_EQ(list_.Rename("X", true, "Y"), -QUARRY_OSENOENT);
}

}  // namespace
}  // namespace quarry
