// TUserFiles: the writability test of the program's folder and the XDG base folders.
#include "app/user_files.h"

#include "app/notes_file.h"
#include "app/pellomar_utils.h"

#include <QDir>

#include <cstdlib>

namespace {

// A base folder of the XDG layout: the variable when it is set, else home + fallback. Empty
// when neither can be found.
std::string BaseFolder(const TUserFiles::TGetVariable& getVariable, const char* variable, const char* fallback) {
  std::string value = getVariable(variable);
  if (!value.empty()) return value;
  const std::string home = getVariable("HOME");
  if (home.empty()) return {};
  return home + fallback;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

TUserFiles TUserFiles::Choose(const std::string& programFile, quarry::TEnvironment& environment,
                              const TGetVariable& getVariable) {
  const std::string besideProgram = ChangeFileExt(programFile, ".INI");
  quarry::TFileInfo info;
  const bool writable = environment.GetFileInfo(DirectoryOf(programFile), info) && !info.read_only;
  if (writable) return TUserFiles(besideProgram);

  const std::string config = BaseFolder(getVariable, "XDG_CONFIG_HOME", "/.config");
  const std::string data = BaseFolder(getVariable, "XDG_DATA_HOME", "/.local/share");
  // Without a home there is nowhere better: the writes beside the program then fail with
  // their own errors.
  if (config.empty() || data.empty()) return TUserFiles(besideProgram);

  const std::string configFolder = config + "/pellomar";
  const std::string notesFolder = data + "/pellomar/notes";
  QDir().mkpath(QString::fromStdString(configFolder));
  QDir().mkpath(QString::fromStdString(notesFolder));
  return TUserFiles(configFolder + "/" + FileNameOf(besideProgram), notesFolder);
}

TUserFiles TUserFiles::ForProgram(const std::string& programFile) {
  return Choose(programFile, quarry::DefaultEnvironment(), [](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value != nullptr ? value : "");
  });
}

QString TUserFiles::NotesFileName(int videoId) const {
  const QString name = ::NotesFileName(videoId);
  if (notesDirectory_.empty()) return name;
  return QString::fromStdString(notesDirectory_) + QLatin1Char('/') + name;
}
