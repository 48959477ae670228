// Test helpers for the tool library: a temporary folder of tables with its own session.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "engine/storage/table/directory.h"
#include "engine/storage/table/session.h"

namespace quarry::tools {

class TTempTables {
 public:
  TTempTables() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quarry-tools-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder");
    folder_ = pattern;
    directory_ = &session_.OpenDirectory("", folder_);
  }
  ~TTempTables() {
    session_.CloseDirectory(*directory_);
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  TTempTables(const TTempTables&) = delete;
  TTempTables& operator=(const TTempTables&) = delete;

  TDataSession& Session() { return session_; }
  TDataDirectory& Directory() { return *directory_; }
  const std::string& Folder() const { return folder_; }

  // Writes a file into the folder; returns its path.
  std::string WriteFile(const std::string& name, const std::string& text) const {
    const std::string path = folder_ + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  // Number of files in the folder whose name starts with prefix.
  int FilesStartingWith(const std::string& prefix) const {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder_))
      if (entry.path().filename().string().rfind(prefix, 0) == 0) ++count;
    return count;
  }

 private:
  std::string folder_;
  TDataSession session_;
  TDataDirectory* directory_ = nullptr;
};

}  // namespace quarry::tools
