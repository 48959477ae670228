// The general settings file "GridPrinter.Ini" (general_settings.h).
#include "print/core/general_settings.h"

#include "engine/platform/profile_file.h"

#include <algorithm>

namespace gpr {

namespace {

constexpr const char* kDefaultSection = "Default";
constexpr const char* kShowHint = "Show Hint";
constexpr const char* kGridIbm = "Report-Grid IBM LineDraw";
constexpr const char* kGridAscii = "Report-Grid ASCII LineDraw";
constexpr const char* kTreeIbm = "Report-Tree IBM LineDraw";
constexpr const char* kTreeAscii = "Report-Tree ASCII LineDraw";
constexpr const char* kTreeIbmDefault = "│├└─";
constexpr const char* kTreeAsciiDefault = "|+\\-";

// The length of the UTF-8 character that starts with byte c.
size_t CharLength(unsigned char c) {
  if (c >= 0xF0) return 4;
  if (c >= 0xE0) return 3;
  if (c >= 0xC0) return 2;
  return 1;
}

TgprLineDrawTexts SetFromTexts(const std::array<std::string_view, 4>& rows) {
  TgprLineDrawTexts set;
  for (size_t i = 0; i < rows.size(); ++i) set.Rows[i] = LineDrawRowFromText(rows[i]);
  return set;
}

std::string SectionOf(std::string_view windowName, std::string_view userName) {
  return "Form:" + std::string(windowName) + " User:" + std::string(userName);
}

TgprLineDrawTexts ReadSet(const quarry::TProfileFile& file, const char* key, const TgprLineDrawTexts& defaults) {
  TgprLineDrawTexts set = defaults;
  for (int row = 0; row < 4; ++row) {
    const std::string name = key + std::to_string(row);
    if (file.ValueExists(kDefaultSection, name)) {
      set.Rows[row] = LineDrawRowFromText(file.ReadString(kDefaultSection, name, ""));
    }
  }
  return set;
}

void WriteSet(quarry::TProfileFile& file, const char* key, const TgprLineDrawTexts& set) {
  for (int row = 0; row < 4; ++row) {
    file.WriteString(kDefaultSection, key + std::to_string(row), LineDrawRowText(set.Rows[row]));
  }
}

}  // namespace

TgprLineDrawTexts DefaultAsciiLineDraw() { return SetFromTexts({"-------", "| || ||", "|-||-+|", "-------"}); }

TgprLineDrawTexts DefaultIbmLineDraw() { return SetFromTexts({"┌─┬┬─┬┐", "│ ││ ││", "├─│├─┼┤", "└─┴┴─┴┘"}); }

TgprLineDrawRow LineDrawRowFromText(std::string_view text) {
  TgprLineDrawRow row;
  size_t at = 0;
  for (std::string& c : row) {
    if (at >= text.size()) {
      c = " ";
      continue;
    }
    const size_t length = std::min(CharLength(static_cast<unsigned char>(text[at])), text.size() - at);
    c = std::string(text.substr(at, length));
    at += length;
  }
  return row;
}

std::string LineDrawRowText(const TgprLineDrawRow& row) {
  std::string text;
  for (const std::string& c : row) text += c;
  return text;
}

TgprGeneralSettings TgprGeneralSettingsFile::Read() const {
  const quarry::TProfileFile file(fileName_);
  TgprGeneralSettings settings;
  settings.ShowHint = file.ReadBool(kDefaultSection, kShowHint, true);
  settings.IbmLineDraw = ReadSet(file, kGridIbm, DefaultIbmLineDraw());
  settings.AsciiLineDraw = ReadSet(file, kGridAscii, DefaultAsciiLineDraw());
  return settings;
}

void TgprGeneralSettingsFile::Write(const TgprGeneralSettings& settings) {
  quarry::TProfileFile file(fileName_);
  file.WriteBool(kDefaultSection, kShowHint, settings.ShowHint);
  WriteSet(file, kGridIbm, settings.IbmLineDraw);
  WriteSet(file, kGridAscii, settings.AsciiLineDraw);
  file.WriteString(kDefaultSection, kTreeIbm, kTreeIbmDefault);
  file.WriteString(kDefaultSection, kTreeAscii, kTreeAsciiDefault);
}

TgprWindowPlacement TgprGeneralSettingsFile::ReadPlacement(std::string_view windowName,
                                                           std::string_view userName) const {
  const quarry::TProfileFile file(fileName_);
  const std::string section = SectionOf(windowName, userName);
  TgprWindowPlacement placement;
  placement.Found = file.SectionExists(section);
  placement.Top = file.ReadInteger(section, "Window Top", 0);
  placement.Left = file.ReadInteger(section, "Window Left", 0);
  placement.Width = file.ReadInteger(section, "Window Width", 0);
  placement.Height = file.ReadInteger(section, "Window Height", 0);
  placement.Maximized = file.ReadBool(section, "Window Maximized", false);
  return placement;
}

void TgprGeneralSettingsFile::WritePlacement(std::string_view windowName, std::string_view userName,
                                             const TgprWindowPlacement& placement) {
  quarry::TProfileFile file(fileName_);
  const std::string section = SectionOf(windowName, userName);
  if (!placement.Maximized) {
    file.WriteInteger(section, "Window Top", placement.Top);
    file.WriteInteger(section, "Window Left", placement.Left);
    file.WriteInteger(section, "Window Width", placement.Width);
    file.WriteInteger(section, "Window Height", placement.Height);
  }
  file.WriteBool(section, "Window Maximized", placement.Maximized);
}

}  // namespace gpr
