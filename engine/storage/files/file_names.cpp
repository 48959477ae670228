// Table file names, directory paths and file facts (see file_names.h).
#include "engine/storage/files/file_names.h"

#include "engine/platform/locale_services.h"

namespace quarry {

std::string IncludeTrailingDelimiter(std::string_view directory) {
  std::string result = TrimText(directory);
  if (!result.empty() && result.back() != kPathDelimiter) result += kPathDelimiter;
  return result;
}

std::string TableFileName(std::string_view directory, std::string_view table, std::string_view extension) {
  std::string name = TrimText(table);
  // "VIDEOS.DAT" names the same table as "VIDEOS": its data extension is replaced.
  const size_t dot = name.find_last_of('.');
  const size_t slash = name.find_last_of(kPathDelimiter);
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash) &&
      SameTextIgnoringCase(std::string_view(name).substr(dot), kDataExtension)) {
    name.resize(dot);
  }
  return IncludeTrailingDelimiter(directory) + name + std::string(extension);
}

int32_t PackDosDateTime(const TLocalTime& time) {
  if (time.year < 1980 || time.year > 2107 || time.month < 1 || time.month > 12 || time.day < 1 || time.day > 31 ||
      time.hour < 0 || time.hour > 23 || time.minute < 0 || time.minute > 59 || time.second < 0 || time.second > 60) {
    return -1;
  }
  const int second = time.second > 59 ? 59 : time.second;
  const uint32_t date = (static_cast<uint32_t>(time.year - 1980) << 9) | (static_cast<uint32_t>(time.month) << 5) |
                        static_cast<uint32_t>(time.day);
  const uint32_t clock = (static_cast<uint32_t>(time.hour) << 11) | (static_cast<uint32_t>(time.minute) << 5) |
                         static_cast<uint32_t>(second / 2);
  return static_cast<int32_t>((date << 16) | clock);
}

int32_t FileDateTime(const std::string& file_name, TEnvironment& environment) {
  TFileInfo info;
  if (!environment.GetFileInfo(environment.ResolveIgnoringCase(TrimText(file_name)), info) || info.is_directory) {
    return -1;
  }
  TLocalTime local;
  if (!environment.ToLocalTime(info.modified_unix, local)) return -1;
  return PackDosDateTime(local);
}

std::string CurrentDirectory(TEnvironment& environment) {
  return std::string(Utf8Prefix(environment.CurrentDirectory(), kMaxPathLength));
}

std::string TemporaryDirectory(TEnvironment& environment) {
  return std::string(Utf8Prefix(environment.TemporaryDirectory(), kMaxPathLength));
}

std::string ComputerName(TEnvironment& environment) {
  return std::string(Utf8Prefix(environment.ComputerName(), kMaxComputerNameLength));
}

}  // namespace quarry
