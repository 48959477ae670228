// Test helpers for the report settings files: a scratch directory, a host that records what
// it was asked, file reading and writing, and a settings record with every setting changed.
#pragma once

#include "print/core/file_mgr.h"
#include "print/core/settings_keys.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace gpr::testing {

// A fresh directory under the temporary directory, removed with everything in it.
class TScratchDirectory {
 public:
  TScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "gpr-settings-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    path_ = pattern;
  }
  ~TScratchDirectory() {
    std::error_code error;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, error);
    std::filesystem::remove_all(path_, error);
  }
  TScratchDirectory(const TScratchDirectory&) = delete;
  TScratchDirectory& operator=(const TScratchDirectory&) = delete;

  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteFileText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

// Records the questions and errors; answers the busy question with the next answer given
// (Abort when none is left), running an optional action first.
class TRecordingHost : public TgprFileMgrHost {
 public:
  void ProcessMessages() override { ++MessagesProcessed; }
  bool AskRetry(const std::string& message) override {
    Questions.push_back(message);
    if (BeforeAnswer) BeforeAnswer();
    if (Answers.empty()) return false;
    const bool retry = Answers.front();
    Answers.erase(Answers.begin());
    return retry;
  }
  void Beep() override { ++Beeps; }
  void ShowError(const std::string& message) override { Errors.push_back(message); }
  void SetBusyCursor(bool on) override { BusyCursor = on; }

  int MessagesProcessed = 0;
  int Beeps = 0;
  bool BusyCursor = false;
  std::vector<std::string> Questions;
  std::vector<std::string> Errors;
  std::vector<bool> Answers;
  std::function<void()> BeforeAnswer;
};

// A text for the key that differs from its default and is in range.
inline std::string ChangedText(const TgprSettingKey& key) {
  switch (key.Kind) {
  case TgprSettingKind::Integer: {
    const int value = std::stoi(key.DefaultText);
    if (!key.Range) return std::to_string(value + 7);
    return std::to_string(value != key.Range->Min ? key.Range->Min : key.Range->Min + 1);
  }
  case TgprSettingKind::Boolean: return key.DefaultText == "1" ? "0" : "1";
  case TgprSettingKind::String: return "v" + std::to_string(key.Id) + " " + key.Key;
  case TgprSettingKind::ExportChar: return key.Id == 80 ? ";" : "'";
  case TgprSettingKind::Rectangle: return "1,2,3,4";
  case TgprSettingKind::PagePosition: return "3,7";
  case TgprSettingKind::DateTime: return "20010203.040506";
  }
  return {};
}

// Every keyed setting, every include option and every memo changed from its default.
inline TgprReportSettings EverySettingChanged(const TrsfList& keys) {
  TgprReportSettings settings;
  keys.ApplyDefaults(settings);
  for (const TgprSettingKey& key : keys.Keys()) {
    EXPECT_EQ(keys.Decode(key, ChangedText(key), settings), TgprDecodeResult::Taken) << key.Key;
  }
  for (TgprRptMemo& memo : settings.Memos) memo.Text = std::string(memo.Name()) + " first\r\n\r\nthird";
  settings.Memos[miPgHdr].Text = "[looks like a section]\nsecond line\rthird";
  return settings;
}

}  // namespace gpr::testing
