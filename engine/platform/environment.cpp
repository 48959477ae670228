// Shared parts of the environment: case-insensitive name resolution and the process's
// default (POSIX) environment.
#include "engine/platform/environment.h"

#include <algorithm>

#include "engine/platform/locale_services.h"
#include "engine/platform/posix_environment.h"

namespace quarry {

std::string TEnvironment::ResolveIgnoringCase(const std::string& path) {
  TFileInfo info;
  if (path.empty() || GetFileInfo(path, info)) return path;
  const size_t slash = path.find_last_of('/');
  const std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty()) return path;
  std::vector<std::string> entries;
  if (!ListDirectory(directory.empty() ? std::string(".") : directory, entries)) return path;
  // Sorted so that the choice among several case variants does not depend on the
  // directory order.
  std::sort(entries.begin(), entries.end());
  for (const std::string& entry : entries) {
    if (SameTextIgnoringCase(entry, name)) return directory + entry;
  }
  return path;
}

bool TEnvironment::FindIgnoringCase(const std::string& path, std::string& found, TFileInfo& info) {
  found = path;
  if (GetFileInfo(path, info)) return true;
  std::string resolved = ResolveIgnoringCase(path);
  if (resolved != path && GetFileInfo(resolved, info)) {
    found = std::move(resolved);
    return true;
  }
  GetFileInfo(path, info);
  return false;
}

TEnvironment& DefaultEnvironment() {
  static TPosixEnvironment environment;
  return environment;
}

}  // namespace quarry
