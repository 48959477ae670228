// The POSIX environment: share modes, byte-range locks between processes and inside one,
// delete/rename refusals, case-insensitive lookup, errno classification, host facts.
#include "engine/platform/posix_environment.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <utility>

#include "engine/platform/os_error.h"

namespace quarry {
namespace {

namespace fs = std::filesystem;

class PosixEnvironmentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quarry-env-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/TABLE.DAT";
    std::ofstream(path_) << "0123456789";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, ignored);
    fs::remove_all(dir_, ignored);
  }

  std::unique_ptr<TOsFile> Open(bool exclusive, bool read_only = false) {
    TOpenOptions options;
    options.exclusive = exclusive;
    options.read_only = read_only;
    return env_.OpenFile(path_, options);
  }

  TPosixEnvironment env_;
  std::string dir_;
  std::string path_;
};

TEST_F(PosixEnvironmentTest, ShareModesAdmitSharedOpensAndRefuseAnyOpenBesideAnExclusiveOne) {
  struct Case {
    bool first_exclusive;
    bool second_exclusive;
    bool second_admitted;
  };
  const Case cases[] = {
      {false, false, true},
      {false, true, false},
      {true, false, false},
      {true, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.first_exclusive << "/" << c.second_exclusive);
    auto first = Open(c.first_exclusive);
    ASSERT_TRUE(first);
    SetLastOsError(0);
    auto second = Open(c.second_exclusive);
    EXPECT_EQ(static_cast<bool>(second), c.second_admitted);
    if (!c.second_admitted) {
      EXPECT_EQ(LastOsError(), kOsErrorSharingViolation);
    }
  }
  // Once the exclusive holder is gone the file opens again.
  {
    auto exclusive = Open(true);
    ASSERT_TRUE(exclusive);
  }
  EXPECT_TRUE(Open(true));
}

TEST_F(PosixEnvironmentTest, CreateRefusedWhileOpenDoesNotTruncate) {
  auto holder = Open(false);
  ASSERT_TRUE(holder);
  TOpenOptions create;
  create.create = true;
  create.exclusive = true;
  EXPECT_FALSE(env_.OpenFile(path_, create));
  EXPECT_EQ(LastOsError(), kOsErrorSharingViolation);
  EXPECT_EQ(holder->Size(), 10);
}

TEST_F(PosixEnvironmentTest, PositionedReadWriteSizeAndFlush) {
  auto file = Open(true);
  ASSERT_TRUE(file);
  char buffer[8] = {};
  EXPECT_EQ(file->ReadAt(8, buffer, 8), 2);  // short only at end of file
  EXPECT_EQ(std::string(buffer, 2), "89");
  EXPECT_EQ(file->WriteAt(20, "xy", 2), 2);  // beyond the end: the gap reads as zeros
  EXPECT_EQ(file->Size(), 22);
  EXPECT_EQ(file->ReadAt(10, buffer, 2), 2);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_TRUE(file->SetSize(5));
  EXPECT_EQ(file->Size(), 5);
  EXPECT_TRUE(file->Flush());
}

TEST_F(PosixEnvironmentTest, LocksThroughOneHandleExcludeEachOther) {
  auto file = Open(false);
  ASSERT_TRUE(file);
  EXPECT_TRUE(file->LockRange(100, 100));
  EXPECT_FALSE(file->LockRange(150, 100));  // overlaps, same handle
  EXPECT_FALSE(file->LockRange(50, 60));    // reaches into it from before
  EXPECT_TRUE(file->LockRange(50, 50));     // ends where it starts
  EXPECT_TRUE(file->UnlockRange(50, 50));
  EXPECT_FALSE(file->LockRange(199, 1));
  EXPECT_TRUE(file->LockRange(200, 100));    // adjacent is fine
  EXPECT_FALSE(file->UnlockRange(100, 50));  // not the held range
  EXPECT_TRUE(file->UnlockRange(100, 100));
  EXPECT_FALSE(file->UnlockRange(100, 100));
  EXPECT_TRUE(file->LockRange(150, 10));
}

TEST_F(PosixEnvironmentTest, LocksOfTwoOpensInOneProcessExcludeEachOther) {
  auto a = Open(false);
  auto b = Open(false);
  ASSERT_TRUE(a && b);
  const uint64_t top = 0xFFFFFFFFull;
  EXPECT_TRUE(a->LockRange(top, 1));
  EXPECT_FALSE(b->LockRange(top, 1));
  EXPECT_EQ(LastOsError(), kOsErrorAccessDenied);
  EXPECT_FALSE(b->UnlockRange(top, 1));  // b does not hold it
  EXPECT_TRUE(a->UnlockRange(top, 1));
  EXPECT_TRUE(b->LockRange(top, 1));
  // Closing a handle drops its locks.
  b.reset();
  EXPECT_TRUE(a->LockRange(top, 1));
}

TEST_F(PosixEnvironmentTest, LockRangesMustBeNonEmptyAndBelowTheShareByte) {
  auto file = Open(false);
  ASSERT_TRUE(file);
  struct Case {
    uint64_t offset;
    uint64_t length;
    bool accepted;
  };
  const Case cases[] = {
      {0, 0, false},
      {0xFFFFFFFFull, 1, true},
      {0xFFFFFFFFull, 2, false},
      {kLockableLimit, 1, false},
      {0xFFFEFFFFull, 65536, true},
      {UINT64_MAX, 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    EXPECT_EQ(file->LockRange(c.offset, c.length), c.accepted);
    if (c.accepted) {
      EXPECT_TRUE(file->UnlockRange(c.offset, c.length));
    }
  }
}

// Runs body in a child process that reports one byte through a pipe and then waits to be
// killed; gives the child's pid after its report.
pid_t ForkHolder(const std::function<bool()>& body) {
  int fds[2];
  if (::pipe(fds) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    const char ok = body() ? 'y' : 'n';
    (void)::write(fds[1], &ok, 1);
    for (;;) ::pause();
  }
  ::close(fds[1]);
  char report = 0;
  const ssize_t n = ::read(fds[0], &report, 1);
  ::close(fds[0]);
  if (n != 1 || report != 'y') {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
  }
  return pid;
}

void KillAndReap(pid_t pid) {
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
}

TEST_F(PosixEnvironmentTest, LockHeldByAnotherProcessIsRefusedAndReleasedWhenItDies) {
  const pid_t child = ForkHolder([this] {
    static std::unique_ptr<TOsFile> held;  // kept open until the child is killed
    held = Open(false);
    return held && held->LockRange(0xFFFFFFFEull, 1);
  });
  ASSERT_GT(child, 0);
  auto file = Open(false);
  ASSERT_TRUE(file);
  EXPECT_FALSE(file->LockRange(0xFFFFFFFEull, 1));
  EXPECT_FALSE(file->LockRange(0xFFFFFF00ull, 0x100));  // overlapping range
  EXPECT_TRUE(file->LockRange(0xFFFFFFFFull, 1));       // a neighbour is free
  KillAndReap(child);
  EXPECT_TRUE(file->LockRange(0xFFFFFFFEull, 1));
}

TEST_F(PosixEnvironmentTest, ExclusiveOpenOfAnotherProcessRefusesOpensHereUntilItDies) {
  const pid_t child = ForkHolder([this] {
    static std::unique_ptr<TOsFile> held;
    held = Open(true);
    return static_cast<bool>(held);
  });
  ASSERT_GT(child, 0);
  EXPECT_FALSE(Open(false));
  EXPECT_EQ(LastOsError(), kOsErrorSharingViolation);
  EXPECT_FALSE(env_.DeleteFile(path_));
  EXPECT_EQ(LastOsError(), kOsErrorSharingViolation);
  KillAndReap(child);
  EXPECT_TRUE(Open(false));
}

TEST_F(PosixEnvironmentTest, TheReadOnlyAttributeFollowsEveryPermissionChange) {
  // Asked again and again, as a kept table asks before each statement: each answer is the
  // file's permissions at that moment, however quickly they change.
  const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  const auto writable = readOnly | fs::perms::owner_write;
  for (int round = 0; round < 3; ++round) {
    for (const auto& [perms, expected] : {std::pair{readOnly, true}, std::pair{writable, false}}) {
      fs::permissions(path_, perms);
      TFileInfo info;
      ASSERT_TRUE(env_.GetFileInfo(path_, info));
      EXPECT_EQ(info.read_only, expected) << "round " << round;
    }
  }
}

TEST_F(PosixEnvironmentTest, ReadOnlyFileReportsTheAttributeAndItsLocksStillKeepWritersOut) {
  fs::permissions(path_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  TFileInfo info;
  ASSERT_TRUE(env_.GetFileInfo(path_, info));
  EXPECT_TRUE(info.read_only);
  EXPECT_FALSE(info.is_directory);
  EXPECT_EQ(info.size, 10u);

  auto reader = Open(false, /*read_only=*/true);
  ASSERT_TRUE(reader);
  EXPECT_TRUE(reader->ReadOnly());
  EXPECT_TRUE(reader->LockRange(0xFFFFFFF0ull, 1));
  EXPECT_FALSE(reader->LockRange(0xFFFFFFF0ull, 1));
  // A writer (this user may still open it for writing only as superuser).
  TOpenOptions writable;
  if (auto writer = env_.OpenFile(path_, writable)) {
    EXPECT_FALSE(writer->LockRange(0xFFFFFF00ull, 0x100));
  }
}

TEST_F(PosixEnvironmentTest, DeleteAndRenameRefuseOpenFilesAndExistingDestinations) {
  {
    auto open = Open(false);
    ASSERT_TRUE(open);
    EXPECT_FALSE(env_.DeleteFile(path_));
    EXPECT_EQ(LastOsError(), kOsErrorSharingViolation);
    EXPECT_FALSE(env_.RenameFile(path_, dir_ + "/OTHER.DAT"));
    EXPECT_EQ(LastOsError(), kOsErrorSharingViolation);
  }
  std::ofstream(dir_ + "/TAKEN.DAT") << "x";
  EXPECT_FALSE(env_.RenameFile(path_, dir_ + "/TAKEN.DAT"));
  EXPECT_EQ(LastOsError(), kOsErrorAlreadyExists);
  EXPECT_TRUE(env_.RenameFile(path_, dir_ + "/NEW.DAT"));
  EXPECT_TRUE(env_.DeleteFile(dir_ + "/NEW.DAT"));
  EXPECT_FALSE(env_.DeleteFile(dir_ + "/NEW.DAT"));
  EXPECT_EQ(LastOsError(), kOsErrorFileNotFound);
  EXPECT_FALSE(env_.DeleteFile(dir_));  // a directory is no file
}

TEST_F(PosixEnvironmentTest, AHandleWithoutShareModeKeepsNothingOutAndTellsItsFileApart) {
  auto kept = Open(false);
  ASSERT_TRUE(kept);
  TFileIdentity identity;
  ASSERT_TRUE(kept->Identity(identity));
  TFileInfo info;
  ASSERT_TRUE(env_.GetFileInfo(path_, info));
  EXPECT_EQ(info.identity, identity);

  ASSERT_TRUE(kept->ReleaseShareMode());
  {
    auto exclusive = Open(true);
    ASSERT_TRUE(exclusive);
    EXPECT_FALSE(kept->TakeShareMode(false));
    EXPECT_EQ(LastOsError(), kOsErrorSharingViolation);
  }
  ASSERT_TRUE(kept->TakeShareMode(false));
  EXPECT_FALSE(Open(true));
  EXPECT_TRUE(Open(false));
  ASSERT_TRUE(kept->ReleaseShareMode());
  ASSERT_TRUE(kept->TakeShareMode(true));
  EXPECT_FALSE(Open(false));
  ASSERT_TRUE(kept->ReleaseShareMode());

  // Deleted and made again: the name leads to another file, while the handle still reads
  // the old one.
  EXPECT_TRUE(env_.DeleteFile(path_));
  std::ofstream(path_) << "new";
  ASSERT_TRUE(env_.GetFileInfo(path_, info));
  EXPECT_NE(info.identity, identity);
  char buffer[4] = {};
  EXPECT_EQ(kept->ReadAt(0, buffer, 4), 4);
  EXPECT_EQ(std::string(buffer, 4), "0123");
}

TEST_F(PosixEnvironmentTest, OpenErrorsAreClassified) {
  TOpenOptions options;
  EXPECT_FALSE(env_.OpenFile(dir_ + "/MISSING.DAT", options));
  EXPECT_EQ(LastOsError(), kOsErrorFileNotFound);
  EXPECT_FALSE(env_.OpenFile(dir_ + "/NO/SUCH.DAT", options));
  EXPECT_EQ(LastOsError(), kOsErrorFileNotFound);
  EXPECT_FALSE(env_.OpenFile(dir_, options));
  EXPECT_EQ(LastOsError(), kOsErrorAccessDenied);
}

TEST_F(PosixEnvironmentTest, DeleteOnCloseRemovesTheNameButKeepsTheData) {
  TOpenOptions options;
  options.delete_on_close = true;
  auto file = env_.OpenFile(path_, options);
  ASSERT_TRUE(file);
  EXPECT_FALSE(fs::exists(path_));
  char buffer[4] = {};
  EXPECT_EQ(file->ReadAt(0, buffer, 4), 4);
  EXPECT_EQ(std::string(buffer, 4), "0123");
}

TEST_F(PosixEnvironmentTest, NamesResolveIgnoringCasePreferringTheExactOne) {
  EXPECT_EQ(env_.ResolveIgnoringCase(dir_ + "/table.dat"), path_);
  EXPECT_EQ(env_.ResolveIgnoringCase(dir_ + "/Table.Dat"), path_);
  EXPECT_EQ(env_.ResolveIgnoringCase(path_), path_);
  std::ofstream(dir_ + "/table.dat") << "";
  EXPECT_EQ(env_.ResolveIgnoringCase(dir_ + "/table.dat"), dir_ + "/table.dat");
  EXPECT_EQ(env_.ResolveIgnoringCase(dir_ + "/missing.dat"), dir_ + "/missing.dat");
}

TEST(OsErrorTest, ErrnoValuesFallIntoTheirClasses) {
  const std::pair<int, int32_t> cases[] = {
      {ENOENT, kOsErrorFileNotFound},
      {ENOTDIR, kOsErrorPathNotFound},
      {EMFILE, kOsErrorTooManyOpenFiles},
      {ENFILE, kOsErrorTooManyOpenFiles},
      {EACCES, kOsErrorAccessDenied},
      {EPERM, kOsErrorAccessDenied},
      {EAGAIN, kOsErrorAccessDenied},
      {EROFS, kOsErrorAccessDenied},
      {EBADF, kOsErrorInvalidHandle},
      {ENOMEM, kOsErrorNotEnoughMemory},
      {ENODEV, kOsErrorInvalidDrive},
      {EXDEV, kOsErrorNotSameDevice},
      {ENOSPC, kOsErrorDiskFull},
      {EIO, kOsErrorIoDevice},
      {0, kOsErrorNone},
      // Unknown errno values keep their number, marked so that none reads as a known class.
      {EPIPE, kOsErrorErrnoBase | EPIPE},
      {ESRCH, kOsErrorErrnoBase | ESRCH},
  };
  for (const auto& [errno_value, expected] : cases) {
    EXPECT_EQ(ClassifyErrno(errno_value), expected) << errno_value;
  }
}

TEST(OsErrorTest, LastErrorIsPerThread) {
  SetLastOsError(1234);
  std::thread([] {
    EXPECT_EQ(LastOsError(), 0);
    SetLastOsError(5);
  }).join();
  EXPECT_EQ(LastOsError(), 1234);
}

TEST(HostFactsTest, NamesDirectoriesAndClock) {
  TPosixEnvironment env;
  const std::string name = env.ComputerName();
  EXPECT_FALSE(name.empty());
  EXPECT_LE(name.size(), 15u);
  EXPECT_FALSE(env.CurrentDirectory().empty());
  EXPECT_NE(env.ThreadId(), 0u);

  const char* saved = std::getenv("TMPDIR");
  const std::string saved_value = saved != nullptr ? saved : "";
  ::setenv("TMPDIR", "/var/tmp/", 1);
  EXPECT_EQ(env.TemporaryDirectory(), "/var/tmp");
  ::unsetenv("TMPDIR");
  EXPECT_EQ(env.TemporaryDirectory(), "/tmp");
  if (saved != nullptr) ::setenv("TMPDIR", saved_value.c_str(), 1);

  const uint64_t before = env.TickCount();
  env.Sleep(5);
  EXPECT_GE(env.TickCount() - before, 4u);
  const TLocalTime now = env.LocalTime();
  EXPECT_GE(now.year, 2020);
  TLocalTime epoch_day;
  ASSERT_TRUE(env.ToLocalTime(86400 * 365, epoch_day));
  EXPECT_TRUE(epoch_day.year == 1970 || epoch_day.year == 1971);
}

}  // namespace
}  // namespace quarry
