// Test helper for the password rules: a password window that answers from a script and
// records what it was asked and told.
#pragma once

#include "print/core/password_prompt.h"

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace gpr::testing {

// The record one scripted window shares with the test: its entries (nothing stands for
// Cancel; an empty script cancels) and what happened, as "ask", "incorrect", "too many".
struct TPasswordScript {
  std::deque<std::optional<std::string>> Entries;
  std::vector<std::string> Events;
};

class TScriptedPasswordEntry : public TgprPasswordEntry {
 public:
  explicit TScriptedPasswordEntry(TPasswordScript& script) : script_(script) {}
  std::optional<std::string> Next() override {
    script_.Events.push_back("ask");
    if (script_.Entries.empty()) return std::nullopt;
    std::optional<std::string> entry = script_.Entries.front();
    script_.Entries.pop_front();
    return entry;
  }
  void Incorrect(bool last) override { script_.Events.push_back(last ? "too many" : "incorrect"); }

 private:
  TPasswordScript& script_;
};

// Opens scripted windows over one script, recording each prompt.
inline TgprOpenPasswordEntry ScriptedOpener(TPasswordScript& script, std::vector<std::string>& prompts) {
  return [&script, &prompts](const std::string& prompt) -> std::unique_ptr<TgprPasswordEntry> {
    prompts.push_back(prompt);
    return std::make_unique<TScriptedPasswordEntry>(script);
  };
}

}  // namespace gpr::testing
