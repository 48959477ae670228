// Finding, locking, loading and saving the report settings file (file_mgr.h).
#include "print/core/file_mgr.h"

#include "dbaccess/name_compare.h"
#include "engine/platform/os_error.h"
#include "engine/platform/profile_file.h"
#include "print/core/gpr_error.h"
#include "print/core/report_id.h"
#include "print/core/settings_keys.h"
#include "print/core/settings_section.h"

#include <cstdlib>
#include <random>

namespace gpr {

namespace {

using quarry::LastOsError;
using quarry::TFileInfo;
using quarry::TOpenOptions;

bool IsBusy(int32_t osError) {
  return osError == quarry::kOsErrorSharingViolation || osError == quarry::kOsErrorLockViolation;
}

std::string ReadWhole(quarry::TOsFile& file) {
  const int64_t size = file.Size();
  if (size <= 0) return {};
  std::string content(static_cast<size_t>(size), '\0');
  const int64_t read = file.ReadAt(0, content.data(), content.size());
  content.resize(read > 0 ? static_cast<size_t>(read) : 0);
  return content;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Raised inside a save to end it; turned into the save's own error.
struct TSaveAbandoned {};

}  // namespace

std::string ReplaceExtension(std::string_view path, std::string_view ext) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  const bool hasExt = dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash);
  return std::string(hasExt ? path.substr(0, dot) : path) + std::string(ext);
}

std::string DefaultConfigDirectory() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != '\0') {
    return std::string(xdg) + "/pellomar";
  }
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.config/pellomar";
}

TgprFileMgr::TgprFileMgr(quarry::TEnvironment& environment, TgprFileMgrHost& host, TgprFileMgrConfig config)
    : environment_(environment), host_(host), config_(std::move(config)) {}

void TgprFileMgr::SetReportSettingsFileName(std::string fileName) {
  reportSettingsFileName_ = quarry::NormalisePath(fileName);
  settingsFileName_.clear();
  locationNote_.clear();
}

void TgprFileMgr::EnsureDirectory(const std::string& directory) {
  TFileInfo info;
  if (directory.empty() || (environment_.GetFileInfo(directory, info) && info.is_directory)) return;
  std::string reason;
  if (!config_.MakeDirectories(directory, reason)) {
    host_.ShowError("Error when making directory: \r    " + directory + "\r\r" + reason);
  }
  if (!environment_.GetFileInfo(directory, info) || !info.is_directory) {
    throw eGprSUError("Unable to create directory for ReportSettings\rDirectory:" + directory);
  }
}

std::string TgprFileMgr::ResolveDefaultLocation() {
  const std::string pdt = ReplaceExtension(config_.ProgramPath, ".PDT") + "/" + kGprDefaultSettingsName;
  const std::string pxt = ReplaceExtension(config_.ProgramPath, ".PXT");
  TFileInfo info;
  if (environment_.GetFileInfo(pdt, info) && !info.is_directory) return pdt;
  if (environment_.GetFileInfo(pxt, info) && !info.is_directory) return pxt;
  const std::string programDirectory = DirectoryOf(config_.ProgramPath);
  TFileInfo directoryInfo;
  const bool writable = environment_.GetFileInfo(programDirectory.empty() ? "." : programDirectory, directoryInfo) &&
                        !directoryInfo.read_only;
  if (!writable && !config_.ConfigDirectory.empty()) {
    const std::string inConfig = config_.ConfigDirectory + "/" + BaseName(pxt);
    locationNote_ = "The report settings file is kept in " + config_.ConfigDirectory + " because the program's " +
                    "directory " + programDirectory + " cannot be written.";
    if (!(environment_.GetFileInfo(inConfig, info) && !info.is_directory)) host_.Beep();
    EnsureDirectory(config_.ConfigDirectory);
    return inConfig;
  }
  host_.Beep();
  return pxt;
}

const std::string& TgprFileMgr::SettingsFileName() {
  if (!settingsFileName_.empty()) return settingsFileName_;
  if (!reportSettingsFileName_.empty()) {
    settingsFileName_ = reportSettingsFileName_;
    return settingsFileName_;
  }
  const quarry::TProfileFile dirs(config_.ConfigDirectory + "/" + kGprDirsFileName);
  const std::string value = dirs.ReadString(kGprDirsSection, config_.ProgramPath, "");
  std::string name = std::string(quarry::TrimmedView(std::string_view(value).substr(0, value.find(','))));
  if (!name.empty()) {
    name = quarry::NormalisePath(name);
    if (name.back() == '/') name += kGprDefaultSettingsName;
    EnsureDirectory(DirectoryOf(name));
    settingsFileName_ = name;
    return settingsFileName_;
  }
  settingsFileName_ = ResolveDefaultLocation();
  return settingsFileName_;
}

std::string TgprFileMgr::LockFileName() { return ReplaceExtension(SettingsFileName(), ".~LK"); }
std::string TgprFileMgr::TempFileName() { return ReplaceExtension(SettingsFileName(), ".$$$"); }

bool TgprFileMgr::IsReadOnly() {
  TFileInfo info;
  return environment_.GetFileInfo(SettingsFileName(), info) && info.read_only;
}

void TgprFileMgr::BindRequest(TgprReportSettings* settings, std::string userName, TgprObjectKind kind) {
  request_ = settings;
  userName_ = std::move(userName);
  kind_ = kind;
}

TgprSettingsContext TgprFileMgr::Context() {
  const quarry::TLocalTime now = environment_.LocalTime();
  TgprSettingsContext context;
  context.ObjectKind = kind_;
  context.Now = TgprDateTime{now.year, now.month, now.day, now.hour, now.minute, now.second};
  context.CurrentDirectory = environment_.CurrentDirectory();
  return context;
}

std::string TgprFileMgr::ReadSettingsFile(bool create) {
  const std::string& name = SettingsFileName();
  int32_t error = 0;
  for (int attempt = 0; attempt < std::max(1, config_.Timing.OpenAttempts); ++attempt) {
    if (attempt > 0) environment_.Sleep(config_.Timing.OpenRetryMs);
    TOpenOptions options;
    options.read_only = true;
    if (auto file = environment_.OpenFile(name, options)) return ReadWhole(*file);
    error = LastOsError();
    if (error == quarry::kOsErrorFileNotFound) {
      // An interrupted save left the whole file under the temporary name.
      if (auto temp = environment_.OpenFile(TempFileName(), options)) return ReadWhole(*temp);
      if (!create) return {};
      TOpenOptions creating;
      creating.create = true;
      if (environment_.OpenFile(name, creating)) return {};
      throw eGprSUError("I/O Error: " + std::to_string(LastOsError()) + " creating file \"" + name);
    }
    if (IsBusy(error)) break;
  }
  throw eGprSUError("Unable to open file: " + name + "\rbecause it is " +
                    "locked by another application. Close the other application and try again." + "\r\r" +
                    "I/O Error:" + std::to_string(error));
}

TgprLoadResult TgprFileMgr::Load() {
  if (request_ == nullptr) {
    throw eGprIntError("Attempt to load report settings before running TGprGridPrinter.Print method");
  }
  TgprLoadResult result;
  const TrsfList keys(Context());
  keys.ApplyDefaults(*request_);
  std::optional<TgprSettingsLock> lock;
  if (!IsReadOnly()) {
    lock = TgprSettingsLock::Acquire(environment_, LockFileName(), TgprLockMode::Load, config_.Timing, host_,
                                     config_.MakeDirectories);
    if (!lock) {
      result.GaveUp = true;
      return result;
    }
  }
  const std::vector<TgprTextLine> lines = SplitTextLines(ReadSettingsFile(true));
  const std::optional<TgprSectionSpan> span = FindSection(lines, SectionHeader(userName_, request_->ReportId));
  if (span) {
    result.SectionFound = true;
    result.Notes = ReadSection(lines, *span, keys, *request_);
  }
  return result;
}

void TgprFileMgr::RecoverInterruptedSave() {
  TFileInfo info;
  if (environment_.GetFileInfo(SettingsFileName(), info)) return;
  if (!environment_.GetFileInfo(TempFileName(), info)) return;
  if (!environment_.RenameFile(TempFileName(), SettingsFileName())) throw TSaveAbandoned{};
}

void TgprFileMgr::WriteWholeFile(const std::string& content) {
  const std::string temp = TempFileName();
  {
    TOpenOptions options;
    options.create = true;
    options.exclusive = true;
    auto file = environment_.OpenFile(temp, options);
    if (!file) throw TSaveAbandoned{};
    if (file->WriteAt(0, content.data(), content.size()) != static_cast<int64_t>(content.size()) || !file->Flush()) {
      file.reset();
      environment_.DeleteFile(temp);
      throw TSaveAbandoned{};
    }
  }
  TFileInfo info;
  if (environment_.GetFileInfo(SettingsFileName(), info) && !environment_.DeleteFile(SettingsFileName())) {
    environment_.DeleteFile(temp);
    throw TSaveAbandoned{};
  }
  if (!environment_.RenameFile(temp, SettingsFileName())) throw TSaveAbandoned{};
}

void TgprFileMgr::AppendToFile(const std::string& text) {
  TOpenOptions options;
  auto file = environment_.OpenFile(SettingsFileName(), options);
  if (!file && LastOsError() == quarry::kOsErrorFileNotFound) {
    options.create = true;
    file = environment_.OpenFile(SettingsFileName(), options);
  }
  if (!file) throw TSaveAbandoned{};
  const int64_t size = file->Size();
  if (size < 0) throw TSaveAbandoned{};
  if (file->WriteAt(static_cast<uint64_t>(size), text.data(), text.size()) != static_cast<int64_t>(text.size())) {
    file->SetSize(static_cast<uint64_t>(size));
    throw TSaveAbandoned{};
  }
  if (!file->Flush()) throw TSaveAbandoned{};
}

bool TgprFileMgr::Save() {
  if (request_ == nullptr) {
    throw eGprIntError("Attempt to save report settings before running TGprGridPrinter.Print method");
  }
  if (IsReadOnly()) return false;
  struct TBusyCursor {
    TgprFileMgrHost& Host;
    explicit TBusyCursor(TgprFileMgrHost& host) : Host(host) { Host.SetBusyCursor(true); }
    ~TBusyCursor() { Host.SetBusyCursor(false); }
  } busy(host_);
  const std::string reportId = request_->ReportId;
  try {
    const TrsfList keys(Context());
    request_->LastSaveDate = keys.Context().Now;
    std::optional<TgprSettingsLock> lock = TgprSettingsLock::Acquire(environment_, LockFileName(), TgprLockMode::Save,
                                                                     config_.Timing, host_, config_.MakeDirectories);
    if (!lock) throw TSaveAbandoned{};
    RecoverInterruptedSave();
    const std::string content = ReadSettingsFile(false);
    const std::string header = SectionHeader(userName_, reportId);
    const std::string section = SectionText(header, keys, *request_);
    if (FindSection(SplitTextLines(content), header)) {
      WriteWholeFile(ReplaceSection(content, header, section));
    } else {
      std::string text = !content.empty() && content.back() != '\n' ? "\r\n" : "";
      AppendToFile(text + "\r\n" + section);
    }
  } catch (const TSaveAbandoned&) {
    throw eGprError("Unable to save Report Settings for ReportId:" + reportId);
  } catch (const std::exception&) {
    throw eGprError("Unable to save Report Settings for ReportId:" + reportId);
  }
  request_->Modified = false;
  return true;
}

std::string TgprFileMgr::CreateReportId(std::string_view userName) {
  static std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<int> number(1, 999);
  const bool readOnly = IsReadOnly();
  std::optional<TgprSettingsLock> lock;
  if (!readOnly) {
    lock = TgprSettingsLock::Acquire(environment_, LockFileName(), TgprLockMode::Save, config_.Timing, host_,
                                     config_.MakeDirectories);
  }
  const std::string content = ReadSettingsFile(false);
  const std::vector<TgprTextLine> lines = SplitTextLines(content);
  std::string id;
  for (int attempt = 0; attempt < 100; ++attempt) {
    id = NewReportId(number(random), environment_.TickCount() + static_cast<uint64_t>(attempt));
    if (!FindSection(lines, SectionHeader(userName, id))) break;
  }
  if (lock) {
    const std::string header = SectionHeader(userName, id);
    try {
      AppendToFile((!content.empty() && content.back() != '\n' ? "\r\n" : "") + std::string("\r\n") + header +
                   "\r\n\r\n");
    } catch (const TSaveAbandoned&) {
      throw eGprError("Unable to save Report Settings for ReportId:" + id);
    }
  }
  return id;
}

bool TgprFileMgr::RenameSection(std::string_view oldUser, std::string_view oldId, std::string_view newUser,
                                std::string_view newId) {
  if (IsReadOnly()) return false;
  std::optional<TgprSettingsLock> lock = TgprSettingsLock::Acquire(environment_, LockFileName(), TgprLockMode::Save,
                                                                   config_.Timing, host_, config_.MakeDirectories);
  if (!lock) return false;
  try {
    RecoverInterruptedSave();
  } catch (const TSaveAbandoned&) {
    return false;
  }
  std::vector<TgprTextLine> lines = SplitTextLines(ReadSettingsFile(false));
  const std::optional<TgprSectionSpan> span = FindSection(lines, SectionHeader(oldUser, oldId));
  if (!span) return false;
  if (FindSection(lines, SectionHeader(newUser, newId))) {
    throw eGprSUError("ReportId " + Quoted(newId) + " already exists in file:" + SettingsFileName());
  }
  lines[span->Header].Text = SectionHeader(newUser, newId);
  try {
    WriteWholeFile(JoinTextLines(lines, 0, lines.size()));
  } catch (const TSaveAbandoned&) {
    throw eGprError("Unable to save Report Settings for ReportId:" + std::string(newId));
  }
  return true;
}

TgprGeneralSettingsFile TgprFileMgr::GeneralSettings() const {
  return TgprGeneralSettingsFile(config_.ConfigDirectory + "/" + kGprGeneralFileName);
}

}  // namespace gpr
