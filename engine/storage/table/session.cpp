// TDataSession: settings, passwords, directories and temporary names (see session.h).
#include "engine/storage/table/session.h"

#include <algorithm>
#include <cstdlib>

#include "engine/platform/locale_services.h"
#include "engine/storage/files/file_names.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/table.h"

namespace quarry {

TDataSession::TDataSession(TFileList* list) : list_(list != nullptr ? list : &TFileList::Process()) {
  privateDir_ = TemporaryDirectory(Environment());
  defaultDirectory_ = IncludeTrailingDelimiter(CurrentDirectory(Environment()));
}

TDataSession::~TDataSession() {
  for (auto it = directories_.rbegin(); it != directories_.rend(); ++it) (*it)->CloseAll();
  directories_.clear();
}

std::string TDataSession::PrivateDirectory() const {
  const std::string trimmed = TrimText(privateDir_);
  return trimmed.empty() ? defaultDirectory_ : IncludeTrailingDelimiter(trimmed);
}

void TDataSession::AddPassword(std::string_view password) {
  if (password.empty() || HasPassword(password)) return;
  passwords_.emplace_back(password);
}

void TDataSession::RemovePassword(std::string_view password) {
  auto it = std::find(passwords_.begin(), passwords_.end(), password);
  if (it != passwords_.end()) passwords_.erase(it);
}

bool TDataSession::HasPassword(std::string_view password) const {
  return std::find(passwords_.begin(), passwords_.end(), password) != passwords_.end();
}

TDataDirectory& TDataSession::OpenDirectory(std::string_view databaseName, std::string_view path) {
  const bool inMemory = SameTextIgnoringCase(TrimText(databaseName), "Memory");
  std::string wanted;
  if (!inMemory) {
    const std::string trimmed = TrimText(path);
    wanted = trimmed.empty() ? defaultDirectory_ : IncludeTrailingDelimiter(trimmed);
  }
  for (const auto& directory : directories_) {
    if (directory->InMemory() == inMemory && SameTextIgnoringCase(directory->Path(), wanted)) {
      directory->AddUse();
      return *directory;
    }
  }
  directories_.push_back(std::make_unique<TDataDirectory>(*this, wanted, inMemory));
  directories_.back()->AddUse();
  return *directories_.back();
}

void TDataSession::CloseDirectory(TDataDirectory& directory) {
  auto it =
      std::find_if(directories_.begin(), directories_.end(), [&](const auto& d) { return d.get() == &directory; });
  if (it == directories_.end()) return;
  if (directory.ReleaseUse() > 0) return;
  directory.CloseAll();
  directories_.erase(it);
}

void TDataSession::NoteKept(TDataTable& table) {
  ForgetKept(table);
  kept_.push_front(&table);
  const std::size_t limit = static_cast<std::size_t>(std::max(0, settings_.KeptTables));
  while (kept_.size() > limit) {
    TDataTable* oldest = kept_.back();
    kept_.pop_back();
    oldest->Directory().CloseKept(*oldest);
  }
}

void TDataSession::ForgetKept(TDataTable& table) { kept_.remove(&table); }

std::string TDataSession::TemporaryFileName(std::string_view extension, bool inMemory) const {
  const long long id = std::llabs(static_cast<long long>(static_cast<std::int32_t>(Environment().ThreadId())));
  const std::string prefix = PrivateDirectory() + std::to_string(id).substr(0, 5);
  for (std::uint64_t n = 0;; ++n) {
    std::string name = prefix + std::to_string(n) + std::string(extension);
    if (!list_->Exists(name, inMemory)) return name;
  }
}

}  // namespace quarry
