// Several programs on one report settings file: saves of different reports from two
// processes at once lose neither, and a lock held by another process gives the busy question
// after the wait.
#include "print/core/file_mgr.h"

#include "engine/storage/table/process_test_util.h"
#include "print/core/file_mgr_test_support.h"
#include "print/core/gpr_error.h"

#include <chrono>
#include <cstdlib>

namespace gpr {
namespace {

using quarry::testing::Join;
using quarry::testing::Spawn;
using quarry::testing::TChannel;
using testing::TRecordingHost;
using testing::TScratchDirectory;

TgprFileMgrConfig ConfigIn(const TScratchDirectory& dir) {
  TgprFileMgrConfig config;
  config.ProgramPath = dir / "Pellomar";
  config.ConfigDirectory = dir / "config";
  return config;
}

int Rounds() { return std::getenv("PELLOMAR_SOAK") != nullptr ? 400 : 25; }

// Saves its own report Rounds() times, each time after loading it afresh.
int SaveRepeatedly(const TScratchDirectory& dir, TChannel& go, const std::string& reportId) {
  if (go.Receive() != "go") return 4;
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
  TChannel goFirst, goSecond;  // one each: two readers of one channel could split a line
  const pid_t first = Spawn([&] { return SaveRepeatedly(dir, goFirst, "First (111.111)"); });
  const pid_t second = Spawn([&] { return SaveRepeatedly(dir, goSecond, "Second (222.222)"); });
  goFirst.Send("go");
  goSecond.Send("go");
  EXPECT_EQ(Join(first), 0);
  EXPECT_EQ(Join(second), 0);

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
  TChannel locked, release;
  const std::string lockFile = ReplaceExtension(dir / "Pellomar", ".~LK");
  const pid_t holder = Spawn([&] {
    TgprFileMgrHost host;
    auto lock = TgprSettingsLock::Acquire(quarry::DefaultEnvironment(), lockFile, TgprLockMode::Save, TgprLockTiming{},
                                          host, MakeDirectoriesOnDisk);
    if (!lock) return 4;
    locked.Send("locked");
    return release.Receive() == "release" ? 0 : 5;
  });
  ASSERT_EQ(locked.Receive(), "locked");

  TgprFileMgrConfig config = ConfigIn(dir);
  config.Timing.WaitMs = 300;
  TRecordingHost host;
  host.Answers = {true};
  host.BeforeAnswer = [&] {
    release.Send("release");
    Join(holder);  // the lock is free once the holder has gone
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
