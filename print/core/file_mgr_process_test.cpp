// Several programs on one report settings file: saves of different reports from two
// processes at once lose neither, and a lock held by another process gives the busy question
// after the wait.
#include "print/core/file_mgr.h"

#include "print/core/file_mgr_test_support.h"
#include "print/core/gpr_error.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace gpr {
namespace {

using testing::TRecordingHost;
using testing::TScratchDirectory;

// A one-way channel of one-letter messages between processes.
class TPipe {
 public:
  TPipe() {
    if (pipe(fds_) != 0) ADD_FAILURE() << "pipe failed";
  }
  ~TPipe() {
    close(fds_[0]);
    close(fds_[1]);
  }
  TPipe(const TPipe&) = delete;
  TPipe& operator=(const TPipe&) = delete;

  void Send(char message) { (void)!write(fds_[1], &message, 1); }
  // The next message, or 0 when none came within timeoutMs.
  char Receive(int timeoutMs = 30000) {
    pollfd p{fds_[0], POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return 0;
    char c = 0;
    return read(fds_[0], &c, 1) == 1 ? c : 0;
  }

 private:
  int fds_[2] = {-1, -1};
};

// Runs body in a child process; the child's exit status is its result (3 for an exception).
pid_t Spawn(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    int status = 3;
    try {
      status = body();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "child failed: %s\n", e.what());
    } catch (...) {}
    _exit(status);
  }
  return pid;
}

// The child's exit status, or -1 when it did not end within timeoutMs (it is then killed).
int WaitFor(pid_t pid, int timeoutMs = 60000) {
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(timeoutMs)) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    usleep(2000);
  }
}

TgprFileMgrConfig ConfigIn(const TScratchDirectory& dir) {
  TgprFileMgrConfig config;
  config.ProgramPath = dir / "Pellomar";
  config.ConfigDirectory = dir / "config";
  return config;
}

int Rounds() { return std::getenv("PELLOMAR_SOAK") != nullptr ? 400 : 25; }

// Saves its own report Rounds() times, each time after loading it afresh.
int SaveRepeatedly(const TScratchDirectory& dir, TPipe& go, const std::string& reportId) {
  if (go.Receive() != 'g') return 4;
  TgprFileMgrHost host;
  TgprFileMgr mgr(quarry::DefaultEnvironment(), host, ConfigIn(dir));
  for (int round = 1; round <= Rounds(); ++round) {
    TgprReportSettings settings;
    settings.ReportId = reportId;
    mgr.BindRequest(&settings, "", okDBGrid);
    if (mgr.Load().GaveUp) return 5;
    if (round > 1 && settings.StartingReportLineId != round - 1) return 6;  // its own last save
    settings.StartingReportLineId = round;
    settings.ReportDesc = reportId + " round " + std::to_string(round);
    mgr.Save();
  }
  return 0;
}

TEST(FileMgrProcesses, TwoProcessesSavingDifferentReportsAtOnceLoseNeither) {
  TScratchDirectory dir;
  TPipe go;
  const pid_t first = Spawn([&] { return SaveRepeatedly(dir, go, "First (111.111)"); });
  const pid_t second = Spawn([&] { return SaveRepeatedly(dir, go, "Second (222.222)"); });
  go.Send('g');
  go.Send('g');
  EXPECT_EQ(WaitFor(first), 0);
  EXPECT_EQ(WaitFor(second), 0);

  TgprFileMgrHost host;
  TgprFileMgr mgr(quarry::DefaultEnvironment(), host, ConfigIn(dir));
  for (const std::string id : {"First (111.111)", "Second (222.222)"}) {
    TgprReportSettings settings;
    settings.ReportId = id;
    mgr.BindRequest(&settings, "", okDBGrid);
    EXPECT_TRUE(mgr.Load().SectionFound) << id;
    EXPECT_EQ(settings.StartingReportLineId, Rounds()) << id;
    EXPECT_EQ(settings.ReportDesc, id + " round " + std::to_string(Rounds()));
  }
  const std::string text = testing::ReadFileText(mgr.SettingsFileName());
  EXPECT_EQ(text.find("[First (111.111)]"), text.rfind("[First (111.111)]"));
  EXPECT_EQ(text.find("[Second (222.222)]"), text.rfind("[Second (222.222)]"));
}

TEST(FileMgrProcesses, ALockHeldByAnotherProcessGivesTheBusyQuestionAfterTheWait) {
  TScratchDirectory dir;
  TPipe locked, release;
  const std::string lockFile = ReplaceExtension(dir / "Pellomar", ".~LK");
  const pid_t holder = Spawn([&] {
    TgprFileMgrHost host;
    auto lock = TgprSettingsLock::Acquire(quarry::DefaultEnvironment(), lockFile, TgprLockMode::Save, TgprLockTiming{},
                                          host, MakeDirectoriesOnDisk);
    if (!lock) return 4;
    locked.Send('l');
    return release.Receive() == 'r' ? 0 : 5;
  });
  ASSERT_EQ(locked.Receive(), 'l');

  TgprFileMgrConfig config = ConfigIn(dir);
  config.Timing.WaitMs = 300;
  TRecordingHost host;
  host.Answers = {true};
  host.BeforeAnswer = [&] {
    release.Send('r');
    WaitFor(holder);  // the lock is free once the holder has gone
  };
  TgprFileMgr mgr(quarry::DefaultEnvironment(), host, config);
  TgprReportSettings settings;
  settings.ReportId = "Films (434.854)";
  mgr.BindRequest(&settings, "", okDBGrid);
  const auto start = std::chrono::steady_clock::now();
  const TgprLoadResult result = mgr.Load();
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  EXPECT_FALSE(result.GaveUp);
  EXPECT_EQ(host.Questions, (std::vector<std::string>{"ReportSettings Lock File \"" + lockFile +
                                                      "\" is busy.\r Do you want to retry?"}));
}

}  // namespace
}  // namespace gpr
