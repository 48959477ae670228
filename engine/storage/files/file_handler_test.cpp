// TFileHandler: negated codes become engine errors naming the file; failed reads, writes
// and flushes surface as QUARRY_READERR/QUARRY_WRITEERR and leave what was reported written intact.
#include "engine/storage/files/file_handler.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/platform/fault_environment.h"
#include "engine/platform/memory_environment.h"
#include "engine/platform/os_error.h"
#include "engine/platform/posix_environment.h"
#include "engine/storage/errors/engine_error.h"

namespace quarry {
namespace {

namespace fs = std::filesystem;

// A directory name no other test run (of this or a sibling build) is using.
std::string UniqueName(const std::string& stem) {
  std::random_device random;
  return stem + "-" + std::to_string(random()) + "-" + std::to_string(random());
}

class FileHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / UniqueName("quarry-handler");
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // Runs action and gives the engine error it raised (code 0 when none).
  template <typename Action>
  static EQuarryEngineError Caught(Action action) {
    try {
      action();
    } catch (const EQuarryEngineError& e) {
      return e;
    }
    return EQuarryEngineError(QUARRY_NONE, {});
  }

  TPosixEnvironment posix_;
  TFaultInjectingEnvironment env_{posix_};
  TFileList list_{env_};
  fs::path dir_;
};

TEST_F(FileHandlerTest, OpeningAMissingFileRaisesNotFoundWithThePath) {
  TFileHandler handler(Path("MISSING.DAT"), false, &list_);
  const auto e = Caught([&] { handler.Open(); });
  EXPECT_EQ(e.Code(), QUARRY_OSENOENT);
  EXPECT_EQ(e.TableName(), Path("MISSING.DAT"));
  EXPECT_EQ(e.Message(), "Quarry Engine Error # 11010 Table '" + Path("MISSING.DAT") + "' does not exist");
  EXPECT_FALSE(handler.IsOpen());

  TFileHandler memory("NOWHERE", true, &list_);
  EXPECT_EQ(Caught([&] { memory.Open(); }).Code(), QUARRY_OSENOENT);

  // A folder of the file's name is no file either.
  fs::create_directory(Path("FOLDER.DAT"));
  TFileHandler folder(Path("FOLDER.DAT"), false, &list_);
  EXPECT_EQ(Caught([&] { folder.Open(); }).Code(), QUARRY_OSENOENT);
  EXPECT_FALSE(folder.IsOpen());
}

TEST_F(FileHandlerTest, ASharingViolationOfTheOsIsAccessDeniedNamingTheFile) {
  std::ofstream(Path("SHARED.DAT")) << "x";
  // A second list stands for a second process: it has its own handle on the file.
  TFileList other_process(posix_);
  TFileHandler holder(Path("SHARED.DAT"), false, &other_process);
  holder.SetExclusive(true);
  holder.Open();

  TFileHandler handler(Path("SHARED.DAT"), false, &list_);
  const auto e = Caught([&] { handler.Open(); });
  EXPECT_EQ(e.Code(), QUARRY_OSEACCES);
  EXPECT_EQ(e.OsError(), kOsErrorSharingViolation);
  EXPECT_EQ(e.Message(), "Quarry Engine Error # 11013 Access denied to table '" + Path("SHARED.DAT") + "'");
  holder.Close();
  handler.Open();
  EXPECT_FALSE(handler.ReadOnly());  // the refusal did not leave a read-only open behind
}

TEST_F(FileHandlerTest, CreateWriteReadSeekAndSize) {
  TFileHandler handler(Path("T.DAT"), false, &list_);
  handler.Create();
  EXPECT_TRUE(handler.IsOpen());
  EXPECT_TRUE(handler.Exclusive());
  handler.Write("abcdef", 6);
  EXPECT_EQ(handler.Seek(kSeekFromCurrent, -2), 4);
  EXPECT_EQ(handler.Size(), 6);
  EXPECT_EQ(handler.Seek(kSeekFromCurrent, 0), 4);  // Size left the position alone
  char buffer[8] = {};
  EXPECT_EQ(handler.Read(buffer, 2), 2);
  EXPECT_EQ(std::string(buffer, 2), "ef");

  EXPECT_EQ(Caught([&] { handler.Read(buffer, 1); }).Code(), QUARRY_READERR);
  handler.Seek(kSeekFromStart, 3);
  EXPECT_EQ(handler.Read(buffer, 8, /*tolerate_short=*/true), 3);
  EXPECT_EQ(handler.ReadAt(1, buffer, 2), 2);
  EXPECT_EQ(std::string(buffer, 2), "bc");
  handler.WriteAt(6, "gh", 2);
  EXPECT_EQ(handler.Seek(kSeekFromEnd, 0), 8);
  handler.Seek(kSeekFromStart, 2);
  handler.Write(nullptr, 0);
  EXPECT_EQ(handler.Size(), 2);
  handler.Flush();

  handler.Open();  // already open: nothing happens
  EXPECT_EQ(list_.FileCount(), 1u);
  handler.Close();
  EXPECT_FALSE(handler.IsOpen());
  EXPECT_EQ(list_.FileCount(), 0u);
  EXPECT_EQ(Caught([&] { handler.Read(buffer, 1); }).Code(), QUARRY_OSEBADF);
}

TEST_F(FileHandlerTest, TheDestructorClosesAndTwoHandlersShareTheFileAndItsLocks) {
  std::ofstream(Path("L.DAT")) << "x";
  {
    TFileHandler a(Path("L.DAT"), false, &list_);
    TFileHandler b(Path("l.dat"), false, &list_);
    a.Open();
    b.Open();
    EXPECT_EQ(a.File(), b.File());
    EXPECT_NE(a.OpenNumber(), b.OpenNumber());
    EXPECT_TRUE(a.LockRegion(0xFFFFFFFEull, 1, true));
    EXPECT_FALSE(b.LockRegion(0xFFFFFFFEull, 1, true));
    EXPECT_TRUE(a.UnlockRegion(0xFFFFFFFEull, 1));
    EXPECT_TRUE(b.LockRegion(0xFFFFFFFEull, 1, true));
    EXPECT_EQ(list_.FileCount(), 1u);
  }
  EXPECT_EQ(list_.FileCount(), 0u);
  TFileHandler closed(Path("L.DAT"), false, &list_);
  EXPECT_FALSE(closed.LockRegion(0, 1, true));  // a closed handler locks nothing
}

TEST_F(FileHandlerTest, ExclusiveOpenOfAnOpenFileAndChangesToItAreRefused) {
  TFileHandler first(Path("X.DAT"), false, &list_);
  first.Create();
  first.Close();
  first.Open();
  TFileHandler second(Path("X.DAT"), false, &list_);
  second.SetExclusive(true);
  EXPECT_EQ(Caught([&] { second.Open(); }).Code(), QUARRY_OSEACCES);
  EXPECT_EQ(Caught([&] { second.Create(); }).Code(), QUARRY_OSEACCES);
  EXPECT_EQ(Caught([&] { second.Delete(); }).Code(), QUARRY_OSEACCES);
  EXPECT_EQ(Caught([&] { second.Rename(Path("Y.DAT")); }).Code(), QUARRY_OSEACCES);
  first.Close();
  second.Rename(Path("Y.DAT"));
  EXPECT_EQ(second.FileName(), Path("Y.DAT"));
  EXPECT_TRUE(second.Exists());
  second.Delete();
  EXPECT_FALSE(second.Exists());
}

TEST_F(FileHandlerTest, CopiesNeedAnOpenHandler) {
  TFileHandler source("SRC", true, &list_);
  EXPECT_EQ(Caught([&] { source.CopyTo(Path("D.DAT"), false); }).Code(), QUARRY_OSEBADF);
  source.Create();
  source.Write("payload", 7);
  source.CopyTo(Path("D.DAT"), false);
  TFileHandler copy(Path("D.DAT"), false, &list_);
  copy.Open();
  EXPECT_EQ(copy.Size(), 7);
  TFileHandler back("BACK", true, &list_);
  back.Create();
  // The source of CopyFrom is opened exclusively: not while another open holds it.
  EXPECT_EQ(Caught([&] { back.CopyFrom(Path("D.DAT"), false); }).Code(), QUARRY_OSEACCES);
  copy.Close();
  back.CopyFrom(Path("D.DAT"), false);
  EXPECT_EQ(back.Size(), 7);
}

// Appends records of 16 bytes until the armed fault fires; returns how many were reported
// written (Write returned) and the code of the error raised.
struct AppendOutcome {
  int written = 0;
  TEngineErrorCode code = QUARRY_NONE;
};

AppendOutcome AppendUntilFailure(TFileHandler& handler, int records) {
  AppendOutcome outcome;
  try {
    for (int i = 0; i < records; ++i) {
      char record[32];
      std::snprintf(record, sizeof record, "record-%08d", i % 100000000);
      handler.WriteAt(static_cast<int64_t>(i) * 16, record, 16);
      handler.Flush();
      ++outcome.written;
    }
  } catch (const EQuarryEngineError& e) {
    outcome.code = e.Code();
  }
  return outcome;
}

TEST_F(FileHandlerTest, FailedWritesAndFlushesRaiseWriteErrorsAndKeepWhatWasReportedWritten) {
  struct Case {
    const char* name;
    TFaultOperation operation;
    TFaultEffect effect;
  };
  const Case cases[] = {
      {"write fails", TFaultOperation::kWrite, TFaultEffect::kError},
      {"write is short", TFaultOperation::kWrite, TFaultEffect::kShortWrite},
      {"flush fails", TFaultOperation::kFlush, TFaultEffect::kError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Path(std::string("APPEND-") + std::to_string(static_cast<int>(c.effect)) +
                                  std::to_string(static_cast<int>(c.operation)) + ".DAT");
    {
      TFileHandler handler(path, false, &list_);
      handler.Create();
      env_.FailNth(c.operation, 5, c.effect);
      const AppendOutcome outcome = AppendUntilFailure(handler, 10);
      EXPECT_EQ(outcome.code, QUARRY_WRITEERR);
      EXPECT_EQ(outcome.written, 4);
      env_.Clear();
    }
    TFileHandler reopened(path, false, &list_);
    reopened.Open();
    EXPECT_GE(reopened.Size(), 4 * 16);
    for (int i = 0; i < 4; ++i) {
      char record[17] = {};
      reopened.ReadAt(i * 16, record, 16);
      char expected[32];
      std::snprintf(expected, sizeof expected, "record-%08d", i);
      EXPECT_STREQ(record, expected);
    }
  }
}

TEST_F(FileHandlerTest, FailedReadRaisesReadErrorAndFailedLockIsAFalseResult) {
  TFileHandler handler(Path("R.DAT"), false, &list_);
  handler.Create();
  handler.Write("0123456789", 10);
  env_.FailNth(TFaultOperation::kRead, 1);
  char buffer[4];
  const auto e = Caught([&] { handler.ReadAt(0, buffer, 4); });
  EXPECT_EQ(e.Code(), QUARRY_READERR);
  EXPECT_EQ(e.OsError(), kOsErrorIoDevice);
  EXPECT_EQ(handler.ReadAt(0, buffer, 4), 4);

  env_.FailNth(TFaultOperation::kLock, 1);
  EXPECT_FALSE(handler.LockRegion(100, 1, true));
  EXPECT_TRUE(handler.LockRegion(100, 1, true));
}

TEST_F(FileHandlerTest, AReadOnlyFileOpensReadOnlyAndRefusesChangesWithAccessDenied) {
  std::ofstream(Path("RO.DAT")) << "fixed";
  fs::permissions(Path("RO.DAT"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  TFileHandler handler(Path("RO.DAT"), false, &list_);
  handler.Open();
  EXPECT_TRUE(handler.ReadOnly());
  EXPECT_TRUE(handler.ReadOnlyAttribute());
  EXPECT_EQ(Caught([&] { handler.WriteAt(0, "x", 1); }).Code(), QUARRY_OSEACCES);
  EXPECT_EQ(Caught([&] { handler.Write(nullptr, 0); }).Code(), QUARRY_OSEACCES);
  handler.Flush();  // nothing to write: no error
  char buffer[5];
  EXPECT_EQ(handler.ReadAt(0, buffer, 5), 5);
  handler.Close();
  fs::permissions(Path("RO.DAT"), fs::perms::owner_all);
}

TEST_F(FileHandlerTest, AMemoryFileTooLargeRaisesInvalidLength) {
  TFileHandler handler("HUGE", true, &list_);
  handler.Create();
  handler.Seek(kSeekFromStart, int64_t{1} << 40);
  EXPECT_EQ(Caught([&] { handler.Write("x", 1); }).Code(), QUARRY_OSEINVMEM);
}

TEST_F(FileHandlerTest, TheProcessListCanBeReplacedForAScope) {
  {
    TScopedFileList scoped(list_);
    TFileHandler handler("SCOPED", true);
    EXPECT_EQ(&handler.List(), &list_);
  }
  TFileHandler handler("SCOPED", true);
  EXPECT_NE(&handler.List(), &list_);
}

TEST_F(FileHandlerTest, ThreadsOpeningReadingAndWritingOneFileKeepTheirOwnRegions) {
  {
    TFileHandler creator(Path("SHARE.DAT"), false, &list_);
    creator.Create();
  }
  constexpr int kThreads = 4;
  constexpr int kRounds = 200;
  std::vector<std::thread> threads;
  std::vector<int> mismatches(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        TFileHandler handler(Path("SHARE.DAT"), false, &list_);
        handler.Open();
        std::string mine = std::to_string(t) + ":" + std::to_string(round);
        mine.resize(32, '.');
        handler.WriteAt(t * 64, mine.data(), 32);
        char back[32];
        handler.ReadAt(t * 64, back, 32);
        if (std::string(back, 32) != mine) ++mismatches[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int m : mismatches) EXPECT_EQ(m, 0);
  EXPECT_EQ(list_.FileCount(), 0u);
}

TEST(FileHandlerOnMemoryEnvironmentTest, AfterACrashTheFileHoldsWhatWasFlushed) {
  TMemoryEnvironment env;
  env.MakeDirectory("/db");
  TFileList list(env);
  {
    TFileHandler handler("/db/T.DAT", false, &list);
    handler.Create();
    handler.Write("header--", 8);
    handler.Flush();
    handler.Write("unflushed", 9);
  }
  env.DropUnsyncedData();
  TFileHandler reopened("/db/t.dat", false, &list);
  reopened.Open();
  EXPECT_EQ(reopened.Size(), 8);
  char buffer[8];
  reopened.Read(buffer, 8);
  EXPECT_EQ(std::string(buffer, 8), "header--");
}

}  // namespace
}  // namespace quarry
