// TgprFileMgr: one per component. Finds the report settings file, locks it against other
// programs, loads one section into the request's TgprReportSettings, saves it back through the
// temporary file, makes new report ids, and gives access to the general settings file.
//
// Files:
//   report settings file  where TgprFileMgr::SettingsFileName says (below); sections as in
//                         settings_section.h
//   lock file             settings file name with ".~LK" (settings_lock.h)
//   temporary file        settings file name with ".$$$"; a save writes the whole new file
//                         there, deletes the settings file and renames the temporary file to it
//   "GPRDirs.Ini"         in the configuration directory: section "GridPrinter! Data
//                         Directories", key the program's full path, value the settings file
//                         (a directory when it ends with "/" or "\": "RptSet.Txt" in it),
//                         optionally followed by "," and text that is ignored. Only read.
//   "GridPrinter.Ini"     in the configuration directory (general_settings.h)
//
// The configuration directory stands in for the system's directory of profile files: it is
// $XDG_CONFIG_HOME/pellomar, else ~/.config/pellomar.
//
// A settings file the user may not write (the "read-only attribute") is read without a lock
// and never written. A save that was interrupted between deleting the settings file and
// renaming the temporary file leaves the whole new file as the temporary file: a load then
// reads it, and the next save puts it in place first, so no section is lost.
//
// Threads: the user-interface thread only.
#pragma once

#include "engine/platform/environment.h"
#include "print/core/general_settings.h"
#include "print/core/report_settings.h"
#include "print/core/settings_lock.h"

#include <string>
#include <vector>

namespace gpr {

struct TgprFileMgrConfig {
  std::string ProgramPath;      // the program's full file name
  std::string ConfigDirectory;  // where "GPRDirs.Ini" and "GridPrinter.Ini" live
  TgprLockTiming Timing;
  TgprMakeDirectories MakeDirectories = MakeDirectoriesOnDisk;
};

// $XDG_CONFIG_HOME/pellomar, else $HOME/.config/pellomar.
std::string DefaultConfigDirectory();

// What a load found.
struct TgprLoadResult {
  bool SectionFound = false;
  bool GaveUp = false;             // the user chose Abort at the busy lock: the defaults stand
  std::vector<std::string> Notes;  // lines of the section that could not be taken as they stand
};

inline constexpr const char* kGprDirsFileName = "GPRDirs.Ini";
inline constexpr const char* kGprGeneralFileName = "GridPrinter.Ini";
inline constexpr const char* kGprDirsSection = "GridPrinter! Data Directories";
inline constexpr const char* kGprDefaultSettingsName = "RptSet.Txt";

class TgprFileMgr {
 public:
  TgprFileMgr(quarry::TEnvironment& environment, TgprFileMgrHost& host, TgprFileMgrConfig config);

  // The component's `ReportSettingsFileName`; empty chooses the default location. Changing it
  // forgets the file found before.
  void SetReportSettingsFileName(std::string fileName);

  // The report settings file, found in this order:
  //  1. `ReportSettingsFileName`, when set;
  //  2. the program's entry in "GPRDirs.Ini"; its directory is made when missing (a failure is
  //     shown as "Error when making directory: \r    <dir>\r\r<reason>" and raises eGprSUError
  //     "GridPrinter! Setup Error: Unable to create directory for ReportSettings\rDirectory:<dir>");
  //  3. "RptSet.Txt" in the directory named like the program with the extension ".PDT", when it
  //     exists; else the program's name with ".PXT" (the host beeps when that does not exist
  //     either). When the program's directory cannot be written and neither file exists there,
  //     the ".PXT" file goes into the configuration directory instead (see LocationNote).
  // Found once and kept.
  const std::string& SettingsFileName();
  std::string LockFileName();
  std::string TempFileName();
  // Why the settings file is not where the program's name would put it; empty when it is.
  const std::string& LocationNote() const { return locationNote_; }
  // The settings file exists and this user may not write it.
  bool IsReadOnly();

  // Binds the settings of the request that is starting (not owned); nullptr ends it.
  // userName is the component's `UserName`; kind the printed object's.
  void BindRequest(TgprReportSettings* settings, std::string userName, TgprObjectKind kind);
  bool HasRequest() const { return request_ != nullptr; }

  // Loads the request's section: every setting to its default, the page number memo's text to
  // its default, then the section's lines, if the section exists. Creates an empty settings
  // file when there is none. Throws eGprIntError "GridPrinter! Internal Error: Attempt to load
  // report settings before running TGprGridPrinter.Print method" without a request, and the
  // open errors of the settings file (eGprSUError).
  TgprLoadResult Load();

  // Saves the request's section (`LastSaveDate` set to now first) and clears the modified
  // flag. False, writing nothing, when the settings file is read-only. Throws eGprError
  // "GridPrinter! Error: Unable to save Report Settings for ReportId:<id>" when the save
  // fails, the busy-lock Abort included; the file is then as it was.
  bool Save();

  // A new report id for the user, with an empty section for it in the settings file.
  std::string CreateReportId(std::string_view userName);

  // Moves a section to a new (user, id); refuses an existing target with eGprSUError
  // "GridPrinter! Setup Error: ReportId "<id>" already exists in file:<file>". False when the
  // section does not exist or the file is read-only.
  bool RenameSection(std::string_view oldUser, std::string_view oldId, std::string_view newUser,
                     std::string_view newId);

  TgprGeneralSettingsFile GeneralSettings() const;

 private:
  TgprSettingsContext Context();
  // The whole settings file; an empty one is created first when create is set. Empty content
  // when it is missing and create is not set.
  std::string ReadSettingsFile(bool create);
  void WriteWholeFile(const std::string& content);
  void AppendToFile(const std::string& text);
  void RecoverInterruptedSave();
  std::string ResolveDefaultLocation();
  void EnsureDirectory(const std::string& directory);

  quarry::TEnvironment& environment_;
  TgprFileMgrHost& host_;
  TgprFileMgrConfig config_;
  std::string reportSettingsFileName_;
  std::string settingsFileName_;  // empty until found
  std::string locationNote_;

  TgprReportSettings* request_ = nullptr;
  std::string userName_;
  TgprObjectKind kind_ = okDBGrid;
};

// path with the extension of its file name replaced by ext (which includes its dot).
std::string ReplaceExtension(std::string_view path, std::string_view ext);

}  // namespace gpr
