// Text-file output: form feeds, overwrite, append and the file question, and the failures
// that must leave no half-written file behind (a folder that cannot be written, a full disk,
// a file locked by another program).
#include "print/core/text_file_output.h"

#include "engine/platform/os_error.h"
#include "print/core/page_source_test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace gpr {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteAll(const fs::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
}

// Pages "p1", "p2", ... of two lines each.
class TLinesSource : public TgprPageSource {
 public:
  explicit TLinesSource(int pages, int linesPerPage = 2) : pages_(pages), lines_(linesPerPage) {}
  int PagesAcross() const override { return 1; }
  bool BuildPage(TgprPageId page, std::vector<std::string>& lines) override {
    lines.clear();
    if (page.Page > pages_) return false;
    current_ = page.Page;
    for (int i = 0; i < lines_; ++i) lines.push_back("p" + std::to_string(page.Page) + " line " + std::to_string(i));
    return true;
  }
  bool DataEnded() const override { return current_ >= pages_; }
  int RowsDone() const override { return current_; }
  int RowCount() const override { return pages_; }

 private:
  int pages_;
  int lines_;
  int current_ = 0;
};

class TextFileOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/gprtext.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    for (const fs::path& mount : mounts_) ::umount2(mount.c_str(), MNT_DETACH);
    fs::remove_all(dir_);
  }

  TgprRunResult RunPages(const fs::path& file, int pages, TgprIfFileExists ifExists, bool formFeeds = true,
                         TgprAskFileExists ask = {}, std::string* message = nullptr) {
    TLinesSource source(pages);
    TgprTextFileOutput output(file.string(), ifExists, formFeeds, std::move(ask));
    TgprPrintRun run({{0, 1}, {0, 99999}});
    const TgprRunResult result = run.Run(source, output);
    if (message) *message = run.ErrorMessage();
    return result;
  }

  // A small tmpfs of its own (needs root); false when it cannot be mounted here.
  bool MountTmpfs(const fs::path& where, const char* options) {
    fs::create_directories(where);
    if (::mount("tmpfs", where.c_str(), "tmpfs", 0, options) != 0) return false;
    mounts_.push_back(where);
    return true;
  }

  // Files in folder other than those named.
  static int FileCount(const fs::path& folder) {
    int count = 0;
    for (auto it = fs::directory_iterator(folder); it != fs::directory_iterator(); ++it) ++count;
    return count;
  }

  fs::path dir_;
  std::vector<fs::path> mounts_;
};

TEST_F(TextFileOutputTest, FormFeedsSeparatePagesAndEndTheFile) {
  const fs::path file = dir_ / "Rpt.Txt";
  ASSERT_EQ(RunPages(file, 3, feOverwrite), rrCompleted);
  EXPECT_EQ(ReadAll(file),
            "p1 line 0\r\np1 line 1\r\n"
            "\fp2 line 0\r\np2 line 1\r\n"
            "\fp3 line 0\r\np3 line 1\r\n"
            "\f\r\n");
  ASSERT_EQ(RunPages(file, 2, feOverwrite, /*formFeeds=*/false), rrCompleted);
  EXPECT_EQ(ReadAll(file), "p1 line 0\r\np1 line 1\r\np2 line 0\r\np2 line 1\r\n");
}

TEST_F(TextFileOutputTest, OverwriteAppendAndTheQuestion) {
  const fs::path file = dir_ / "Rpt.Txt";
  WriteAll(file, "old\r\n");
  ASSERT_EQ(RunPages(file, 1, feAppend, false), rrCompleted);
  EXPECT_EQ(ReadAll(file), "old\r\np1 line 0\r\np1 line 1\r\n");
  ASSERT_EQ(RunPages(file, 1, feOverwrite, false), rrCompleted);
  EXPECT_EQ(ReadAll(file), "p1 line 0\r\np1 line 1\r\n");

  std::string asked;
  auto answer = [&](TgprFileAnswer a) {
    return [&asked, a](const std::string& question) {
      asked = question;
      return a;
    };
  };
  WriteAll(file, "keep\r\n");
  ASSERT_EQ(RunPages(file, 1, feAsk, false, answer(TgprFileAnswer::Cancel)), rrFileCancelled);
  EXPECT_EQ(ReadAll(file), "keep\r\n");
  EXPECT_EQ(asked, "File \"" + file.string() +
                       "\" already exists\rOverwrite this file?\r\r  Yes   : Overwrites\r  No    : Appends to "
                       "file\r  Cancel: Terminates Report");
  ASSERT_EQ(RunPages(file, 1, feAsk, false, answer(TgprFileAnswer::No)), rrCompleted);
  EXPECT_EQ(ReadAll(file), "keep\r\np1 line 0\r\np1 line 1\r\n");
  ASSERT_EQ(RunPages(file, 1, feAsk, false, answer(TgprFileAnswer::Yes)), rrCompleted);
  EXPECT_EQ(ReadAll(file), "p1 line 0\r\np1 line 1\r\n");

  // A new file is not asked about.
  asked.clear();
  ASSERT_EQ(RunPages(dir_ / "new.txt", 1, feAsk, false, answer(TgprFileAnswer::Cancel)), rrCompleted);
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(FileCount(dir_), 2);  // no temporary file left beside them
}

TEST_F(TextFileOutputTest, AbortedRunLeavesTheOldFileAsItWas) {
  struct TAbortAtTwo : TgprRunMonitor {
    bool PageDone(TgprActivity, TgprPageId page, int, int) override { return page.Page < 2; }
  } monitor;
  for (TgprIfFileExists mode : {feOverwrite, feAppend}) {
    const fs::path file = dir_ / "Rpt.Txt";
    WriteAll(file, "earlier report\r\n");
    TLinesSource source(5);
    TgprTextFileOutput output(file.string(), mode, true);
    TgprPrintRun run({{0, 1}, {0, 99999}});
    EXPECT_EQ(run.Run(source, output, &monitor), rrTerminated);
    EXPECT_EQ(ReadAll(file), "earlier report\r\n") << mode;
    EXPECT_EQ(FileCount(dir_), 1) << mode;
  }
}

TEST_F(TextFileOutputTest, FolderThatCannotBeWritten) {
  fs::path folder = dir_ / "readonly";
  if (::geteuid() == 0) {
    // Root writes through permissions; a read-only mount refuses it too.
    if (!MountTmpfs(folder, "size=64k")) GTEST_SKIP() << "cannot mount a read-only folder here";
    ASSERT_EQ(::mount("tmpfs", folder.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=64k"), 0);
  } else {
    fs::create_directories(folder);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
  }
  std::string message;
  EXPECT_EQ(RunPages(folder / "Rpt.Txt", 2, feOverwrite, true, {}, &message), rrTerminated);
  EXPECT_TRUE(message.starts_with("Cannot open output file \"" + (folder / "Rpt.Txt").string() + "\"\r\nI/O Error="))
      << message;
  EXPECT_FALSE(fs::exists(folder / "Rpt.Txt"));

  EXPECT_EQ(RunPages(dir_ / "missing" / "Rpt.Txt", 2, feOverwrite, true, {}, &message), rrTerminated);
  EXPECT_EQ(message, CannotOpenMessage((dir_ / "missing" / "Rpt.Txt").string(), quarry::kOsErrorFileNotFound));
  if (::geteuid() != 0) fs::permissions(folder, fs::perms::owner_all);
}

TEST_F(TextFileOutputTest, FullDiskEndsTheRunWithoutAHalfFile) {
  // /dev/full refuses every write: appending to it fails at the first flush.
  std::string message;
  TLinesSource big(2000, 40);
  {
    TgprTextFileOutput output("/dev/full", feAppend, true);
    TgprPrintRun run({{0, 1}, {0, 99999}});
    EXPECT_EQ(run.Run(big, output), rrTerminated);
    EXPECT_EQ(run.ErrorMessage(), CannotWriteMessage("/dev/full", quarry::kOsErrorDiskFull));
  }

  const fs::path small = dir_ / "small";
  if (!MountTmpfs(small, "size=64k")) GTEST_SKIP() << "cannot mount a small tmpfs here (not root?)";
  const fs::path file = small / "Rpt.Txt";
  for (TgprIfFileExists mode : {feOverwrite, feAppend}) {
    WriteAll(file, "earlier report\r\n");
    EXPECT_EQ(RunPages(file, 3000, mode, true, {}, &message), rrTerminated) << mode;
    EXPECT_EQ(message, CannotWriteMessage(file.string(), quarry::kOsErrorDiskFull)) << mode;
    EXPECT_EQ(ReadAll(file), "earlier report\r\n") << mode;
    EXPECT_EQ(FileCount(small), 1) << mode;
  }
}

TEST_F(TextFileOutputTest, FileLockedByAnotherProgram) {
  const fs::path file = dir_ / "Rpt.Txt";
  WriteAll(file, "theirs\r\n");
  const int other = ::open(file.c_str(), O_RDWR);
  ASSERT_GE(other, 0);
  struct flock lock {};
  lock.l_type = F_WRLCK;
  ASSERT_EQ(::fcntl(other, F_OFD_SETLK, &lock), 0);
  for (TgprIfFileExists mode : {feOverwrite, feAppend}) {
    std::string message;
    EXPECT_EQ(RunPages(file, 1, mode, true, {}, &message), rrTerminated);
    EXPECT_EQ(message, "Output file \"" + file.string() +
                           "\" is locked by another application\r\nI/O Error=32\r\n\r\nSolution: Have the other "
                           "application close the file or use a different output file name");
  }
  ::close(other);
  EXPECT_EQ(ReadAll(file), "theirs\r\n");
}

TEST_F(TextFileOutputTest, FramedPagesComeOutAsBuilt) {
  testing::TTablePageSource source({"Id", "Title"}, {4, 10}, {{"1", "Été"}, {"2", "Cry \"Havoc\""}}, 10, 80);
  const fs::path file = dir_ / "Rpt.Txt";
  TgprTextFileOutput output(file.string(), feOverwrite, true);
  TgprPrintRun run({{0, 1}, {0, 99999}});
  ASSERT_EQ(run.Run(source, output), rrCompleted);
  EXPECT_EQ(ReadAll(file),
            "┌────┬──────────┐\r\n│Id  │Title     │\r\n├────┼──────────┤\r\n│1   │Été       │\r\n"
            "│2   │Cry \"Havoc│\r\n└────┴──────────┘\r\n\f\r\n");
}

}  // namespace
}  // namespace gpr
