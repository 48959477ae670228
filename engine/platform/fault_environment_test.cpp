// The fault-injecting environment fails exactly the armed call and nothing else.
#include "engine/platform/fault_environment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "engine/platform/posix_environment.h"

namespace quarry {
namespace {

namespace fs = std::filesystem;

// A directory name no other test run (of this or a sibling build) is using.
std::string UniqueName(const std::string& stem) {
  std::random_device random;
  return stem + "-" + std::to_string(random()) + "-" + std::to_string(random());
}

class FaultEnvironmentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / UniqueName("quarry-fault");
    fs::create_directories(dir_);
    TOpenOptions options;
    options.create = true;
    file_ = env_.OpenFile((dir_ / "F.DAT").string(), options);
    ASSERT_TRUE(file_);
  }
  void TearDown() override {
    file_.reset();
    fs::remove_all(dir_);
  }

  TPosixEnvironment base_;
  TFaultInjectingEnvironment env_{base_};
  fs::path dir_;
  std::unique_ptr<TOsFile> file_;
};

TEST_F(FaultEnvironmentTest, TheNthCallOfTheArmedKindFailsOnce) {
  env_.FailNth(TFaultOperation::kWrite, 3);
  EXPECT_EQ(file_->WriteAt(0, "ab", 2), 2);
  EXPECT_EQ(file_->WriteAt(2, "cd", 2), 2);
  EXPECT_TRUE(file_->Flush());  // other kinds are not counted against the write fault
  SetLastOsError(0);
  EXPECT_EQ(file_->WriteAt(4, "ef", 2), -1);
  EXPECT_EQ(LastOsError(), kOsErrorIoDevice);
  EXPECT_EQ(file_->WriteAt(4, "gh", 2), 2);  // one-shot
  EXPECT_EQ(file_->Size(), 6);
  EXPECT_EQ(env_.Count(TFaultOperation::kWrite), 4);
  EXPECT_EQ(env_.FaultsFired(), 1);
}

TEST_F(FaultEnvironmentTest, EachKindCanBeFailed) {
  char buffer[4];
  EXPECT_EQ(file_->WriteAt(0, "abcd", 4), 4);
  env_.FailNth(TFaultOperation::kRead, 1);
  EXPECT_EQ(file_->ReadAt(0, buffer, 4), -1);
  EXPECT_EQ(file_->ReadAt(0, buffer, 4), 4);
  env_.FailNth(TFaultOperation::kFlush, 1);
  EXPECT_FALSE(file_->Flush());
  EXPECT_TRUE(file_->Flush());
  env_.FailNth(TFaultOperation::kLock, 1);
  EXPECT_FALSE(file_->LockRange(10, 1));
  EXPECT_TRUE(file_->LockRange(10, 1));
  env_.FailNth(TFaultOperation::kSetSize, 1);
  EXPECT_FALSE(file_->SetSize(0));
  EXPECT_EQ(file_->Size(), 4);
  env_.FailNth(TFaultOperation::kOpen, 1, TFaultEffect::kError, false, kOsErrorTooManyOpenFiles);
  EXPECT_FALSE(env_.OpenFile((dir_ / "F.DAT").string(), TOpenOptions{}));
  EXPECT_EQ(LastOsError(), kOsErrorTooManyOpenFiles);
}

TEST_F(FaultEnvironmentTest, ShortWriteDeliversHalfAndStickyFaultsKeepFailing) {
  env_.FailNth(TFaultOperation::kWrite, 1, TFaultEffect::kShortWrite);
  EXPECT_EQ(file_->WriteAt(0, "abcdefgh", 8), 4);
  EXPECT_EQ(file_->Size(), 4);
  EXPECT_EQ(LastOsError(), kOsErrorIoDevice);

  env_.FailNth(TFaultOperation::kFlush, 2, TFaultEffect::kError, /*sticky=*/true);
  EXPECT_TRUE(file_->Flush());
  EXPECT_FALSE(file_->Flush());
  EXPECT_FALSE(file_->Flush());
  env_.Clear();
  EXPECT_TRUE(file_->Flush());
}

}  // namespace
}  // namespace quarry
