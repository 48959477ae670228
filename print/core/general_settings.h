// The general settings file "GridPrinter.Ini": the hint choice, the line-drawing sets of the
// text report, and the placements of GridPrinter's windows. A profile file (TProfileFile).
//
//   section                          | key                                 | value
//   ---------------------------------+-------------------------------------+------------------------------
//   "Default"                        | "Show Hint"                         | boolean
//   "Default"                        | "Report-Grid IBM LineDraw" 0..3     | a row of the IBM set, 7 characters
//   "Default"                        | "Report-Grid ASCII LineDraw" 0..3   | a row of the ASCII set
//   "Default"                        | "Report-Tree IBM LineDraw",         | the tree sets, 4 characters
//                                    | "Report-Tree ASCII LineDraw"        | (written only)
//   "Form:" + window + " User:" + u  | "Window Top", "Window Left",        | integers, written only when the
//                                    | "Window Width", "Window Height"     | window is not maximised
//   same                             | "Window Maximized"                  | boolean
//
// Line-drawing characters are UTF-8 characters (the IBM set is code page 437's box-drawing
// characters). A row read shorter than 7 characters is padded with blanks, a longer one cut
// to 7; a missing key gives the default row.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace gpr {

// A row of a line-drawing set: left border, outdent fill, outdent junction, rule start, data
// fill, column junction, right border; each one UTF-8 character.
using TgprLineDrawRow = std::array<std::string, 7>;

// Rows: 0 top border, 1 inside of a row, 2 separator rule, 3 bottom border.
struct TgprLineDrawTexts {
  std::array<TgprLineDrawRow, 4> Rows;
  bool operator==(const TgprLineDrawTexts&) const = default;
};

TgprLineDrawTexts DefaultAsciiLineDraw();  // "-------", "| || ||", "|-||-+|", "-------"
TgprLineDrawTexts DefaultIbmLineDraw();  // "┌─┬┬─┬┐", "│ ││ ││", "├─│├─┼┤", "└─┴┴─┴┘"
// A row from its text: padded with blanks or cut to 7 characters.
TgprLineDrawRow LineDrawRowFromText(std::string_view text);
std::string LineDrawRowText(const TgprLineDrawRow& row);

struct TgprGeneralSettings {
  bool ShowHint = true;
  TgprLineDrawTexts AsciiLineDraw = DefaultAsciiLineDraw();
  TgprLineDrawTexts IbmLineDraw = DefaultIbmLineDraw();
  bool operator==(const TgprGeneralSettings&) const = default;
};

struct TgprWindowPlacement {
  bool Found = false;  // the file had the window's section
  int Top = 0;
  int Left = 0;
  int Width = 0;
  int Height = 0;
  bool Maximized = false;
};

class TgprGeneralSettingsFile {
 public:
  explicit TgprGeneralSettingsFile(std::string fileName) : fileName_(std::move(fileName)) {}
  const std::string& FileName() const { return fileName_; }

  // A missing or unreadable file gives the defaults.
  TgprGeneralSettings Read() const;
  // Throws quarry::EProfileFileError when the file cannot be written.
  void Write(const TgprGeneralSettings& settings);

  TgprWindowPlacement ReadPlacement(std::string_view windowName, std::string_view userName) const;
  void WritePlacement(std::string_view windowName, std::string_view userName, const TgprWindowPlacement& placement);

 private:
  std::string fileName_;
};

}  // namespace gpr
