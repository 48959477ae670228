// The report settings file: where it is, loading and saving sections, damaged sections,
// read-only files and the lock's wait.
#include "print/core/file_mgr.h"

#include "engine/platform/memory_environment.h"
#include "engine/platform/os_error.h"
#include "print/core/file_mgr_test_support.h"
#include "print/core/gpr_error.h"
#include "print/core/settings_section.h"

#include <sys/stat.h>

namespace gpr {
namespace {

using testing::ReadFileText;
using testing::TRecordingHost;
using testing::TScratchDirectory;
using testing::WriteFileText;

constexpr const char* kReportId = "Films (434.854)";

class FileMgrTest : public ::testing::Test {
 protected:
  TgprFileMgrConfig Config() {
    TgprFileMgrConfig config;
    config.ProgramPath = dir_ / "Pellomar";
    config.ConfigDirectory = dir_ / "config";
    return config;
  }
  std::unique_ptr<TgprFileMgr> MakeMgr(TgprFileMgrConfig config) {
    auto mgr = std::make_unique<TgprFileMgr>(quarry::DefaultEnvironment(), host_, std::move(config));
    return mgr;
  }
  std::unique_ptr<TgprFileMgr> MakeMgr() { return MakeMgr(Config()); }

  // Loads (user, id) with mgr into a fresh record.
  TgprReportSettings LoadInto(TgprFileMgr& mgr, const std::string& user, const std::string& id,
                              TgprLoadResult* result = nullptr) {
    TgprReportSettings settings;
    settings.ReportId = id;
    mgr.BindRequest(&settings, user, okDBGrid);
    const TgprLoadResult loaded = mgr.Load();
    if (result != nullptr) *result = loaded;
    mgr.BindRequest(nullptr, "", okDBGrid);
    return settings;
  }
  void SaveFrom(TgprFileMgr& mgr, TgprReportSettings& settings, const std::string& user) {
    mgr.BindRequest(&settings, user, okDBGrid);
    mgr.Save();
    mgr.BindRequest(nullptr, "", okDBGrid);
  }

  TScratchDirectory dir_;
  TRecordingHost host_;
};

TEST_F(FileMgrTest, FirstLoadCreatesAnEmptyFileBesideTheProgramAndKeepsTheDefaults) {
  auto mgr = MakeMgr();
  TgprLoadResult result;
  const TgprReportSettings settings = LoadInto(*mgr, "", kReportId, &result);
  EXPECT_EQ(mgr->SettingsFileName(), dir_ / "Pellomar.PXT");
  EXPECT_TRUE(std::filesystem::exists(dir_ / "Pellomar.PXT"));
  EXPECT_EQ(ReadFileText(dir_ / "Pellomar.PXT"), "");
  EXPECT_FALSE(result.SectionFound);
  EXPECT_TRUE(result.Notes.empty());
  EXPECT_EQ(host_.Beeps, 1);  // neither file existed
  EXPECT_EQ(settings.PanelsAcrossPage, 1);
  EXPECT_EQ(settings.Memos[miPgNum].Text, "\r^DL^PC^TR");
  EXPECT_EQ(settings.ReportId, kReportId);
  EXPECT_TRUE(mgr->LocationNote().empty());
}

TEST_F(FileMgrTest, EverySettingSurvivesASaveAndALoad) {
  auto mgr = MakeMgr();
  const TrsfList keys(TgprSettingsContext{okDBGrid, {}, quarry::DefaultEnvironment().CurrentDirectory()});
  TgprReportSettings saved = testing::EverySettingChanged(keys);
  saved.ReportId = kReportId;
  saved.Modified = true;
  SaveFrom(*mgr, saved, "Anna");
  EXPECT_FALSE(saved.Modified);
  EXPECT_FALSE(host_.BusyCursor);

  TgprReportSettings loaded = LoadInto(*MakeMgr(), "Anna", kReportId);
  for (const TgprSettingKey& key : keys.Keys()) {
    EXPECT_EQ(keys.TextOf(key, loaded), keys.TextOf(key, saved)) << key.Key;
  }
  for (int memo = 0; memo < kGprMemoCount; ++memo) EXPECT_EQ(loaded.Memos[memo].Text, saved.Memos[memo].Text);
  EXPECT_EQ(loaded, saved);
  // Another user's section of the same report is another section.
  EXPECT_EQ(LoadInto(*MakeMgr(), "", kReportId).PanelsAcrossPage, 1);
}

TEST_F(FileMgrTest, ANeverChangedReportWritesItsHeaderTheComputedValuesTheDatesAndThePageNumberMemo) {
  auto mgr = MakeMgr();
  TgprReportSettings settings = LoadInto(*mgr, "", kReportId);
  settings.NewRpt = false;
  settings.NumFixedCols = 1;
  SaveFrom(*mgr, settings, "");
  const std::string date = DateTimeText(settings.CreateDate);
  const std::string saveDate = DateTimeText(settings.LastSaveDate);
  EXPECT_EQ(ReadFileText(mgr->SettingsFileName()),
            "\r\n[Films (434.854)]\r\nNewRpt=0\r\nNumFixedCols=1\r\nCreateDate=" + date +
                "\r\nLastSaveDate=" + saveDate + "\r\nMemo,PgNum=START\r\n\r^DL^PC^TR\r\nMemo,PgNum=END\r\n\r\n");
}

TEST_F(FileMgrTest, AValueHoldingAnEqualsSignLosesWhatFollowsIt) {
  auto mgr = MakeMgr();
  TgprReportSettings settings = LoadInto(*mgr, "", kReportId);
  settings.ReportDesc = "a=b";
  SaveFrom(*mgr, settings, "");
  EXPECT_EQ(LoadInto(*mgr, "", kReportId).ReportDesc, "a");
}

TEST_F(FileMgrTest, SavingAgainReplacesTheSectionAndKeepsEveryOtherLineAsItWas) {
  const std::string before =
      "; kept\n[Other (111.222)]\nPanelsAcrossPage=3\nExportFieldDelim= \n\n[Films (434.854)]\r\nPanelsAcrossPage=2\r\n"
      "Memo,RptTi=START\r\n[not a header]\r\nMemo,RptTi=END\r\n\r\n[Last (333.444)]\nTxtCharsPageWid=99";
  WriteFileText(dir_ / "Pellomar.PXT", before);
  auto mgr = MakeMgr();
  TgprReportSettings settings = LoadInto(*mgr, "", kReportId);
  EXPECT_EQ(settings.PanelsAcrossPage, 2);
  EXPECT_EQ(settings.Memos[miRptTi].Text, "[not a header]");
  settings.PanelsAcrossPage = 4;
  SaveFrom(*mgr, settings, "");
  const std::string after = ReadFileText(dir_ / "Pellomar.PXT");
  EXPECT_EQ(after.substr(0, after.find("[Films")), before.substr(0, before.find("[Films")));
  EXPECT_EQ(after.substr(after.find("[Last")), "[Last (333.444)]\nTxtCharsPageWid=99");
  EXPECT_NE(after.find("PanelsAcrossPage=4\r\n"), std::string::npos);
  EXPECT_EQ(after.find("PanelsAcrossPage=2"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "Pellomar.$$$"));
  EXPECT_EQ(LoadInto(*mgr, "", "Last (333.444)").TxtCharsPageWid, 99);
  EXPECT_EQ(LoadInto(*mgr, "", "Other (111.222)").ExportFieldDelim, " ");
}

TEST_F(FileMgrTest, ADamagedSectionLoadsWhatItCanAndTheOtherSectionsStayWhole) {
  const std::string damaged =
      "[Damaged (100.100)]\r\n"
      "this line is no setting\r\n"
      "PanelsAcrossPage=0\r\n"
      "NoSuchKey=1\r\n"
      "TxtCharsPageWid=ninety\r\n"
      "LinesPerpage=70\r\n"
      "Memo,RptTi=START\r\n"
      "title without an end\r\n";
  const std::string good = "[Films (434.854)]\r\nPanelsAcrossPage=2\r\n\r\n";
  const std::string tail = "[Tail (200.200)]\r\nLinesPerpage=40\r\n\r\n";
  WriteFileText(dir_ / "Pellomar.PXT", damaged + good + tail);
  auto mgr = MakeMgr();

  TgprLoadResult result;
  const TgprReportSettings d = LoadInto(*mgr, "", "Damaged (100.100)", &result);
  EXPECT_TRUE(result.SectionFound);
  EXPECT_EQ(d.LinesPerpage, 70);
  EXPECT_EQ(d.PanelsAcrossPage, 1);
  EXPECT_EQ(d.TxtCharsPageWid, 80);
  EXPECT_EQ(d.Memos[miRptTi].Text, "title without an end");
  const std::string where = "Report settings [Damaged (100.100)]: ";
  EXPECT_EQ(result.Notes, (std::vector<std::string>{
                              where + "the line \"this line is no setting\" is not a setting and was skipped",
                              where + "\"PanelsAcrossPage=0\" is out of range (1 to 10); the default \"1\" is used",
                              where + "the unknown key \"NoSuchKey\" was ignored",
                              where + "\"TxtCharsPageWid=ninety\" is not a valid value; the default \"80\" is used",
                              where + "the text of memo \"RptTi\" has no END line; it was read up to the next section",
                          }));

  TgprReportSettings films = LoadInto(*mgr, "", kReportId, &result);
  EXPECT_TRUE(result.Notes.empty());
  EXPECT_EQ(films.PanelsAcrossPage, 2);
  EXPECT_EQ(LoadInto(*mgr, "", "Tail (200.200)").LinesPerpage, 40);

  films.PanelsAcrossPage = 5;
  SaveFrom(*mgr, films, "");
  const std::string after = ReadFileText(dir_ / "Pellomar.PXT");
  EXPECT_EQ(after.substr(0, damaged.size()), damaged);
  EXPECT_EQ(after.substr(after.size() - tail.size()), tail);
  EXPECT_EQ(LoadInto(*mgr, "", kReportId).PanelsAcrossPage, 5);
}

TEST_F(FileMgrTest, OlderSpellingsOfIncludeOptionsAndLineNumbers) {
  WriteFileText(dir_ / "Pellomar.PXT",
                "[Films (434.854)]\r\nsoBorders=0\r\nioLineNumbers=0\r\n\r\n"
                "[Old (555.555)]\r\nHideColumns=Title\r\nioLineNumbers=0\r\n\r\n");
  auto mgr = MakeMgr();
  const TgprReportSettings films = LoadInto(*mgr, "", kReportId);
  EXPECT_FALSE(films.IncludeOptions.Has(ioBorders));
  EXPECT_EQ(films.HideColumns, "~Line#");
  EXPECT_EQ(LoadInto(*mgr, "", "Old (555.555)").HideColumns, "Title,~Line#");
}

TEST_F(FileMgrTest, AReadOnlyFileIsReadButNeverWrittenAndNeverLocked) {
  const std::string text = "[Films (434.854)]\r\nPanelsAcrossPage=2\r\n\r\n";
  WriteFileText(dir_ / "Pellomar.PXT", text);
  chmod((dir_ / "Pellomar.PXT").c_str(), 0444);
  auto mgr = MakeMgr();
  TgprReportSettings settings = LoadInto(*mgr, "", kReportId);
  EXPECT_EQ(settings.PanelsAcrossPage, 2);
  EXPECT_TRUE(mgr->IsReadOnly());
  settings.PanelsAcrossPage = 3;
  settings.Modified = true;
  mgr->BindRequest(&settings, "", okDBGrid);
  EXPECT_FALSE(mgr->Save());
  EXPECT_TRUE(settings.Modified);
  EXPECT_EQ(ReadFileText(dir_ / "Pellomar.PXT"), text);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "Pellomar.~LK"));
}

TEST_F(FileMgrTest, LoadingOrSavingWithoutARequestIsAnInternalError) {
  auto mgr = MakeMgr();
  try {
    mgr->Load();
    FAIL() << "no error";
  } catch (const eGprIntError& e) {
    EXPECT_STREQ(e.what(),
                 "GridPrinter! Internal Error: Attempt to load report settings before running TGprGridPrinter.Print "
                 "method");
  }
  EXPECT_THROW(mgr->Save(), eGprIntError);
}

TEST_F(FileMgrTest, TheLocationOrderOfTheSettingsFile) {
  {  // ReportSettingsFileName wins.
    auto mgr = MakeMgr();
    mgr->SetReportSettingsFileName(dir_ / "own.txt");
    EXPECT_EQ(mgr->SettingsFileName(), dir_ / "own.txt");
    EXPECT_EQ(mgr->LockFileName(), dir_ / "own.~LK");
    EXPECT_EQ(mgr->TempFileName(), dir_ / "own.$$$");
  }
  {  // The program's entry in GPRDirs.Ini; a directory gets RptSet.Txt and is made.
    std::filesystem::create_directories(dir_ / "config");
    WriteFileText(dir_ / "config/GPRDirs.Ini", "[GridPrinter! Data Directories]\n" + (dir_ / "Pellomar") + "=" +
                                                   (dir_ / "data/sub/") + ",ignored\n");
    auto mgr = MakeMgr();
    EXPECT_EQ(mgr->SettingsFileName(), dir_ / "data/sub/RptSet.Txt");
    EXPECT_TRUE(std::filesystem::is_directory(dir_ / "data/sub"));
    std::filesystem::remove(dir_ / "config/GPRDirs.Ini");
  }
  {  // A .PDT directory holding RptSet.Txt comes before the .PXT file.
    std::filesystem::create_directories(dir_ / "Pellomar.PDT");
    WriteFileText(dir_ / "Pellomar.PDT/RptSet.Txt", "");
    WriteFileText(dir_ / "Pellomar.PXT", "");
    EXPECT_EQ(MakeMgr()->SettingsFileName(), dir_ / "Pellomar.PDT/RptSet.Txt");
    std::filesystem::remove_all(dir_ / "Pellomar.PDT");
    EXPECT_EQ(MakeMgr()->SettingsFileName(), dir_ / "Pellomar.PXT");
    EXPECT_EQ(host_.Beeps, 0);
  }
}

TEST_F(FileMgrTest, ADirectoryThatCannotBeMadeIsReportedAndStopsTheRequest) {
  std::filesystem::create_directories(dir_ / "config");
  WriteFileText(dir_ / "config/GPRDirs.Ini",
                "[GridPrinter! Data Directories]\n" + (dir_ / "Pellomar") + "=" + (dir_ / "nowhere/RptSet.Txt") + "\n");
  TgprFileMgrConfig config = Config();
  config.MakeDirectories = [](const std::string&, std::string& reason) {
    reason = "Permission denied";
    return false;
  };
  auto mgr = MakeMgr(config);
  try {
    mgr->SettingsFileName();
    FAIL() << "no error";
  } catch (const eGprSUError& e) {
    EXPECT_EQ(std::string(e.what()),
              "GridPrinter! Setup Error: Unable to create directory for ReportSettings\r"
              "Directory:" +
                  (dir_ / "nowhere"));
  }
  EXPECT_EQ(host_.Errors, (std::vector<std::string>{"Error when making directory: \r    " + (dir_ / "nowhere") +
                                                    "\r\rPermission denied"}));
}

TEST_F(FileMgrTest, AnInterruptedSaveLosesNothing) {
  // The settings file was deleted and the temporary file not yet renamed.
  WriteFileText(dir_ / "Pellomar.$$$",
                "[Films (434.854)]\r\nPanelsAcrossPage=2\r\n\r\n[Other (111.222)]\r\nLinesPerpage=44\r\n");
  auto mgr = MakeMgr();
  TgprReportSettings settings = LoadInto(*mgr, "", kReportId);
  EXPECT_EQ(settings.PanelsAcrossPage, 2);
  settings.PanelsAcrossPage = 6;
  SaveFrom(*mgr, settings, "");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "Pellomar.$$$"));
  EXPECT_EQ(LoadInto(*mgr, "", "Other (111.222)").LinesPerpage, 44);
  EXPECT_EQ(LoadInto(*mgr, "", kReportId).PanelsAcrossPage, 6);
}

TEST_F(FileMgrTest, AnUnusableLockFileIsAnInternalError) {
  std::filesystem::create_directories(dir_ / "Pellomar.~LK");  // a directory cannot be opened as the lock
  auto mgr = MakeMgr();
  TgprReportSettings settings;
  settings.ReportId = kReportId;
  mgr->BindRequest(&settings, "", okDBGrid);
  try {
    mgr->Load();
    FAIL() << "no error";
  } catch (const eGprIntError& e) {
    EXPECT_EQ(std::string(e.what()),
              "GridPrinter! Internal Error: Locking file: \"" + (dir_ / "Pellomar.~LK") + "\"\rUnexpected I/O Error=5");
  }
  try {
    mgr->Save();
    FAIL() << "no error";
  } catch (const eGprError& e) {
    EXPECT_STREQ(e.what(), "GridPrinter! Error: Unable to save Report Settings for ReportId:Films (434.854)");
  }
}

TEST_F(FileMgrTest, NewReportIdsGetAnEmptySectionOfTheirOwn) {
  auto mgr = MakeMgr();
  const std::string first = mgr->CreateReportId("");
  const std::string second = mgr->CreateReportId("Anna");
  EXPECT_TRUE(first.size() == 9 && first[0] == '(' && first[4] == '.' && first[8] == ')') << first;
  const std::vector<TgprTextLine> lines = SplitTextLines(ReadFileText(mgr->SettingsFileName()));
  EXPECT_TRUE(FindSection(lines, "[" + first + "]").has_value());
  EXPECT_TRUE(FindSection(lines, "[Anna:" + second + "]").has_value());
}

TEST_F(FileMgrTest, RenamingASectionRefusesAnExistingTarget) {
  WriteFileText(dir_ / "Pellomar.PXT", "[A (001.001)]\r\nLinesPerpage=11\r\n\r\n[B (002.002)]\r\n\r\n");
  auto mgr = MakeMgr();
  try {
    mgr->RenameSection("", "A (001.001)", "", "B (002.002)");
    FAIL() << "no error";
  } catch (const eGprSUError& e) {
    EXPECT_EQ(std::string(e.what()),
              "GridPrinter! Setup Error: ReportId \"B (002.002)\" already exists in file:" + (dir_ / "Pellomar.PXT"));
  }
  EXPECT_TRUE(mgr->RenameSection("", "A (001.001)", "Anna", "C (003.003)"));
  EXPECT_EQ(LoadInto(*mgr, "Anna", "C (003.003)").LinesPerpage, 11);
  EXPECT_FALSE(mgr->RenameSection("", "A (001.001)", "", "D (004.004)"));
}

// --- The lock's wait, on the in-memory environment's virtual clock ---------------------

class FileMgrLockTest : public ::testing::Test {
 protected:
  FileMgrLockTest() {
    env_.MakeDirectory("/prog");
    env_.MakeDirectory("/config");
  }
  TgprFileMgr MakeMgr() {
    TgprFileMgrConfig config;
    config.ProgramPath = "/prog/Pellomar";
    config.ConfigDirectory = "/config";
    config.MakeDirectories = [this](const std::string& directory, std::string&) {
      env_.MakeDirectory(directory);
      return true;
    };
    return TgprFileMgr(env_, host_, config);  // the real waits: the clock is virtual
  }
  void WriteSettings(const std::string& text) {
    env_.OpenFile("/prog/Pellomar.PXT", quarry::TOpenOptions{.create = true})->WriteAt(0, text.data(), text.size());
  }
  // Another program's lock: the lock file held exclusively.
  std::unique_ptr<quarry::TOsFile> HoldLock() {
    quarry::TOpenOptions options;
    options.create = true;
    options.exclusive = true;
    return env_.OpenFile("/prog/Pellomar.~LK", options);
  }

  quarry::TMemoryEnvironment env_;
  TRecordingHost host_;
};

constexpr const char* kBusyQuestion =
    "ReportSettings Lock File \"/prog/Pellomar.~LK\" is busy.\r Do you want to retry?";

TEST_F(FileMgrLockTest, AHeldLockAsksAfterTenSecondsAndAbortKeepsTheDefaults) {
  WriteSettings("[Films (434.854)]\r\nPanelsAcrossPage=2\r\n");
  auto held = HoldLock();
  ASSERT_NE(held, nullptr);
  TgprFileMgr mgr = MakeMgr();
  TgprReportSettings settings;
  settings.ReportId = kReportId;
  settings.PanelsAcrossPage = 9;
  mgr.BindRequest(&settings, "", okDBGrid);
  const uint64_t start = env_.TickCount();
  const TgprLoadResult result = mgr.Load();
  const uint64_t waited = env_.TickCount() - start;
  EXPECT_TRUE(result.GaveUp);
  EXPECT_EQ(settings.PanelsAcrossPage, 1);  // the defaults
  EXPECT_EQ(host_.Questions, (std::vector<std::string>{kBusyQuestion}));
  EXPECT_GE(waited, 10000u);
  EXPECT_LT(waited, 10200u);
  EXPECT_GE(host_.MessagesProcessed, 99);  // every 100 ms
}

TEST_F(FileMgrLockTest, RetryWaitsAgainAndSucceedsOnceTheLockIsReleased) {
  WriteSettings("[Films (434.854)]\r\nPanelsAcrossPage=2\r\n");
  auto held = HoldLock();
  host_.Answers = {true, true};
  host_.BeforeAnswer = [&] {
    if (host_.Questions.size() == 2) held.reset();
  };
  TgprFileMgr mgr = MakeMgr();
  TgprReportSettings settings;
  settings.ReportId = kReportId;
  mgr.BindRequest(&settings, "", okDBGrid);
  EXPECT_FALSE(mgr.Load().GaveUp);
  EXPECT_EQ(host_.Questions.size(), 2u);
  EXPECT_EQ(settings.PanelsAcrossPage, 2);
}

TEST_F(FileMgrLockTest, ASaveThatCannotGetTheLockFailsAndChangesNothing) {
  auto held = HoldLock();
  TgprFileMgr mgr = MakeMgr();
  TgprReportSettings settings;
  settings.ReportId = kReportId;
  settings.Modified = true;
  mgr.BindRequest(&settings, "", okDBGrid);
  const uint64_t start = env_.TickCount();
  try {
    mgr.Save();
    FAIL() << "no error";
  } catch (const eGprError& e) {
    EXPECT_STREQ(e.what(), "GridPrinter! Error: Unable to save Report Settings for ReportId:Films (434.854)");
  }
  EXPECT_GE(env_.TickCount() - start, 10000u);
  EXPECT_GE(host_.MessagesProcessed, 399);  // every 25 ms
  EXPECT_TRUE(settings.Modified);
  EXPECT_EQ(env_.Contents("/prog/Pellomar.PXT"), "");
  EXPECT_FALSE(host_.BusyCursor);
}

TEST_F(FileMgrLockTest, LoadsShareTheLockButASaveWaitsForThem) {
  TgprFileMgr reader = MakeMgr();
  TgprFileMgr writer = MakeMgr();
  quarry::TOpenOptions shared;
  shared.create = true;
  auto otherReader = env_.OpenFile("/prog/Pellomar.~LK", shared);  // another program loading
  TgprReportSettings settings;
  settings.ReportId = kReportId;
  reader.BindRequest(&settings, "", okDBGrid);
  EXPECT_FALSE(reader.Load().GaveUp);
  EXPECT_TRUE(host_.Questions.empty());
  writer.BindRequest(&settings, "", okDBGrid);
  EXPECT_THROW(writer.Save(), eGprError);
  EXPECT_EQ(host_.Questions.size(), 1u);
}

TEST_F(FileMgrLockTest, AProgramDirectoryThatCannotBeWrittenSendsTheFileToTheConfigurationDirectory) {
  class TReadOnlyProgramDirectory : public quarry::TMemoryEnvironment {
   public:
    bool GetFileInfo(const std::string& path, quarry::TFileInfo& info) override {
      const bool found = TMemoryEnvironment::GetFileInfo(path, info);
      if (found && path == "/prog") info.read_only = true;
      return found;
    }
  } env;
  env.MakeDirectory("/prog");
  TgprFileMgrConfig config;
  config.ProgramPath = "/prog/Pellomar";
  config.ConfigDirectory = "/home/u/.config/pellomar";
  config.MakeDirectories = [&env](const std::string& directory, std::string&) {
    env.MakeDirectory(directory);
    return true;
  };
  TgprFileMgr mgr(env, host_, config);
  EXPECT_EQ(mgr.SettingsFileName(), "/home/u/.config/pellomar/Pellomar.PXT");
  EXPECT_EQ(mgr.LocationNote(),
            "The report settings file is kept in /home/u/.config/pellomar because the program's directory /prog "
            "cannot be written.");
  TgprReportSettings settings;
  settings.ReportId = kReportId;
  settings.PanelsAcrossPage = 3;
  mgr.BindRequest(&settings, "", okDBGrid);
  EXPECT_TRUE(mgr.Save());
  EXPECT_NE(env.Contents("/home/u/.config/pellomar/Pellomar.PXT").find("PanelsAcrossPage=3"), std::string::npos);
}

// An environment whose opens of one file fail with a chosen error.
class TFailingOpens : public quarry::TMemoryEnvironment {
 public:
  std::unique_ptr<quarry::TOsFile> OpenFile(const std::string& path, const quarry::TOpenOptions& options) override {
    if (path == FailPath && (!FailOnlyCreate || options.create)) {
      ++Failures;
      quarry::SetLastOsError(Error);
      return nullptr;
    }
    return TMemoryEnvironment::OpenFile(path, options);
  }
  std::string FailPath;
  bool FailOnlyCreate = false;
  int32_t Error = quarry::kOsErrorAccessDenied;
  int Failures = 0;
};

TEST(FileMgrOpenErrors, EachFailureGivesItsMessage) {
  struct TCase {
    const char* Path;
    bool OnlyCreate;
    int32_t Error;
    int Attempts;  // opens of that path before the error
    std::string Message;
  };
  const TCase cases[] = {
      {"/prog/Pellomar.~LK", true, quarry::kOsErrorAccessDenied, 1,
       "GridPrinter! Setup Error: Unable to create file \"/prog/Pellomar.~LK\" . I/O Error:5"},
      {"/prog/Pellomar.PXT", true, quarry::kOsErrorAccessDenied, 1,
       "GridPrinter! Setup Error: I/O Error: 5 creating file \"/prog/Pellomar.PXT"},
      {"/prog/Pellomar.PXT", false, quarry::kOsErrorSharingViolation, 1,
       "GridPrinter! Setup Error: Unable to open file: /prog/Pellomar.PXT\rbecause it is locked by another "
       "application. Close the other application and try again.\r\rI/O Error:32"},
      {"/prog/Pellomar.PXT", false, quarry::kOsErrorIoDevice, 10,
       "GridPrinter! Setup Error: Unable to open file: /prog/Pellomar.PXT\rbecause it is locked by another "
       "application. Close the other application and try again.\r\rI/O Error:1117"},
  };
  for (const TCase& c : cases) {
    TFailingOpens env;
    env.MakeDirectory("/prog");
    env.FailPath = c.Path;
    env.FailOnlyCreate = c.OnlyCreate;
    env.Error = c.Error;
    TgprFileMgrHost host;
    TgprFileMgrConfig config;
    config.ProgramPath = "/prog/Pellomar";
    config.ConfigDirectory = "/config";
    TgprFileMgr mgr(env, host, config);
    TgprReportSettings settings;
    settings.ReportId = kReportId;
    mgr.BindRequest(&settings, "", okDBGrid);
    try {
      mgr.Load();
      ADD_FAILURE() << "no error for " << c.Path;
    } catch (const eGprSUError& e) {
      EXPECT_EQ(std::string(e.what()), c.Message);
    }
    EXPECT_EQ(env.Failures, c.Attempts) << c.Message;
  }
}

TEST(DefaultConfigDirectory, FollowsXdgConfigHomeElseHome) {
  const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
  const std::string xdg = savedXdg != nullptr ? savedXdg : "";
  setenv("XDG_CONFIG_HOME", "/x/cfg", 1);
  EXPECT_EQ(DefaultConfigDirectory(), "/x/cfg/pellomar");
  unsetenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  EXPECT_EQ(DefaultConfigDirectory(), std::string(home != nullptr ? home : "") + "/.config/pellomar");
  if (savedXdg != nullptr) setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
}

}  // namespace
}  // namespace gpr
