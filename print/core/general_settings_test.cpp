// The general settings file "GridPrinter.Ini": defaults, line-drawing rows, window placements.
#include "print/core/general_settings.h"

#include "print/core/file_mgr_test_support.h"

namespace gpr {
namespace {

using testing::ReadFileText;
using testing::TScratchDirectory;
using testing::WriteFileText;

TEST(GeneralSettings, AMissingFileGivesTheDefaults) {
  TScratchDirectory dir;
  const TgprGeneralSettings settings = TgprGeneralSettingsFile(dir / "GridPrinter.Ini").Read();
  EXPECT_TRUE(settings.ShowHint);
  EXPECT_EQ(LineDrawRowText(settings.AsciiLineDraw.Rows[2]), "|-||-+|");
  EXPECT_EQ(LineDrawRowText(settings.IbmLineDraw.Rows[0]), "┌─┬┬─┬┐");
  EXPECT_EQ(LineDrawRowText(settings.IbmLineDraw.Rows[3]), "└─┴┴─┴┘");
}

TEST(GeneralSettings, LineDrawRowsArePaddedOrCutToSevenCharacters) {
  TScratchDirectory dir;
  WriteFileText(dir / "GridPrinter.Ini",
                "[Default]\nShow Hint=0\nReport-Grid ASCII LineDraw1=\"|:\"\nReport-Grid IBM LineDraw2=╠═╬╬═╬╣╣╣\n");
  const TgprGeneralSettings settings = TgprGeneralSettingsFile(dir / "GridPrinter.Ini").Read();
  EXPECT_FALSE(settings.ShowHint);
  EXPECT_EQ(LineDrawRowText(settings.AsciiLineDraw.Rows[1]), "|:     ");
  EXPECT_EQ(LineDrawRowText(settings.AsciiLineDraw.Rows[0]), "-------");  // missing: the default
  EXPECT_EQ(LineDrawRowText(settings.IbmLineDraw.Rows[2]), "╠═╬╬═╬╣");
  EXPECT_EQ(settings.IbmLineDraw.Rows[2][6], "╣");
}

TEST(GeneralSettings, WrittenSettingsReadBack) {
  TScratchDirectory dir;
  TgprGeneralSettingsFile file(dir / "GridPrinter.Ini");
  TgprGeneralSettings settings;
  settings.ShowHint = false;
  settings.AsciiLineDraw.Rows[1] = LineDrawRowFromText(" | | | ");
  file.Write(settings);
  EXPECT_EQ(file.Read(), settings);
  const std::string text = ReadFileText(dir / "GridPrinter.Ini");
  EXPECT_NE(text.find("Report-Tree IBM LineDraw="), std::string::npos);
  EXPECT_NE(text.find("Report-Tree ASCII LineDraw="), std::string::npos);
}

TEST(GeneralSettings, WindowPlacementsPerWindowAndUser) {
  TScratchDirectory dir;
  TgprGeneralSettingsFile file(dir / "GridPrinter.Ini");
  EXPECT_FALSE(file.ReadPlacement("fmGprPrev", "Anna").Found);
  file.WritePlacement("fmGprPrev", "Anna", TgprWindowPlacement{true, 10, 20, 640, 480, false});
  file.WritePlacement("fmGprPrev", "Anna", TgprWindowPlacement{true, 0, 0, 1, 1, true});  // maximised: size kept
  const TgprWindowPlacement placement = file.ReadPlacement("fmGprPrev", "Anna");
  EXPECT_TRUE(placement.Found);
  EXPECT_EQ(placement.Top, 10);
  EXPECT_EQ(placement.Left, 20);
  EXPECT_EQ(placement.Width, 640);
  EXPECT_EQ(placement.Height, 480);
  EXPECT_TRUE(placement.Maximized);
  EXPECT_NE(ReadFileText(dir / "GridPrinter.Ini").find("[Form:fmGprPrev User:Anna]"), std::string::npos);
  EXPECT_FALSE(file.ReadPlacement("fmGprPrev", "").Found);
}

}  // namespace
}  // namespace gpr
