// File names and file facts of the engine: how a table's files are named, directory paths,
// and the OS facts the engine asks for (file times, directories, computer name).
//
// A table T in directory D uses D + T with the extension replaced when T already ends in
// the data extension (any case), appended otherwise. New files get the upper-case
// extensions below; existing ones are found without regard to case (file_list.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/platform/environment.h"
#include "engine/platform/text_names.h"

namespace quarry {

inline constexpr std::string_view kDataExtension = ".DAT";
inline constexpr std::string_view kIndexExtension = ".IDX";
inline constexpr std::string_view kBlobExtension = ".BLB";
inline constexpr std::string_view kDataBackupExtension = ".DBK";
inline constexpr std::string_view kIndexBackupExtension = ".IBK";
inline constexpr std::string_view kBlobBackupExtension = ".BBK";

inline constexpr char kPathDelimiter = '/';
inline constexpr size_t kMaxPathLength = 260;
inline constexpr size_t kMaxComputerNameLength = 15;

// Trims blanks; appends "/" unless empty or already there.
std::string IncludeTrailingDelimiter(std::string_view directory);

// directory (with a trailing delimiter added) + table with extension.
std::string TableFileName(std::string_view directory, std::string_view table, std::string_view extension);

// Last-write time of a file as a packed local date and time (date in the high 16 bits:
// (year-1980)<<9 | month<<5 | day; time in the low: hour<<11 | minute<<5 | second/2);
// -1 when the file does not exist, is a directory, or the time cannot be packed.
int32_t FileDateTime(const std::string& file_name, TEnvironment& environment = DefaultEnvironment());

// Packs a local time as above; -1 outside 1980..2107.
int32_t PackDosDateTime(const TLocalTime& time);

// Current and temporary directories (each cut to kMaxPathLength), computer name.
std::string CurrentDirectory(TEnvironment& environment = DefaultEnvironment());
std::string TemporaryDirectory(TEnvironment& environment = DefaultEnvironment());
std::string ComputerName(TEnvironment& environment = DefaultEnvironment());

}  // namespace quarry
