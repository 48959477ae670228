// TUserFiles: where the program keeps the files the user's work goes into, decided once at
// start from the program's own path.
//
// Run from a folder the user may write (the build tree), everything lies where it always
// has: the settings file (ratings and window position) beside the program, named like it
// with ".INI", and the notes files "<VideoID>.vid" in the current directory. An installed
// program lives in a folder the user cannot write; then the settings file goes to
// $XDG_CONFIG_HOME/pellomar/ (else ~/.config/pellomar/), where GridPrinter keeps its files
// too, and the notes to $XDG_DATA_HOME/pellomar/notes/ (else ~/.local/share/pellomar/notes/).
// The two folders are made when they are chosen.
#pragma once

#include "engine/platform/environment.h"

#include <QString>

#include <functional>
#include <string>

class TUserFiles {
 public:
  // The value of an environment variable; empty when it is not set.
  using TGetVariable = std::function<std::string(const char* name)>;

  TUserFiles() = default;
  // A settings file given as it is, with the notes in notesDirectory (empty: the current
  // directory). Deliberately implicit: a settings file name alone, as windows tests hand in,
  // keeps the notes in the current directory.
  TUserFiles(std::string settingsFileName, std::string notesDirectory = {})  // NOLINT(google-explicit-constructor)
      : settingsFileName_(std::move(settingsFileName)), notesDirectory_(std::move(notesDirectory)) {}

  // Decides for the program at programFile. The folder counts as writable as the file layer
  // sees it (a superuser's folder without any write permission bit does not).
  static TUserFiles Choose(const std::string& programFile, quarry::TEnvironment& environment,
                           const TGetVariable& getVariable);
  // Choose with the real file system and environment.
  static TUserFiles ForProgram(const std::string& programFile);

  // The settings file of ratings and the window position.
  const std::string& SettingsFileName() const { return settingsFileName_; }
  // Where the notes files lie; empty for the current directory.
  const std::string& NotesDirectory() const { return notesDirectory_; }
  // Whether the files went to the user's folders because the program's cannot be written.
  bool InUserFolders() const { return !notesDirectory_.empty(); }

  // The notes file of a video: "<VideoID>.vid" in NotesDirectory.
  QString NotesFileName(int videoId) const;

 private:
  std::string settingsFileName_;
  std::string notesDirectory_;
};
