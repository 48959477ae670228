// Line-drawing sets and the code page 437 table.
#include "print/core/line_draw.h"

#include "print/core/report_settings.h"

#include "print/core/utf8_text.h"

#include <gtest/gtest.h>

using namespace gpr;

namespace {

TEST(LineDraw, IbmSetIsTheDesignedBytesAsBoxDrawing) {
  const TgprLineDrawSet set = IbmLineDrawSet();
  const char* bytes[] = {"\xDA\xC4\xC2\xC2\xC4\xC2\xBF", "\xB3\x20\xB3\xB3\x20\xB3\xB3", "\xC3\xC4\xB3\xC3\xC4\xC5\xB4",
                         "\xC0\xC4\xC1\xC1\xC4\xC1\xD9"};
  for (int row = 0; row < kGprLineDrawRows; ++row) EXPECT_EQ(ToCp437(EncodeUtf8(set.Rows[row])), bytes[row]);
  EXPECT_EQ(EncodeUtf8(set.Rows[lrTop]), "┌─┬┬─┬┐");
  EXPECT_EQ(EncodeUtf8(set.Rows[lrRule]), "├─│├─┼┤");
  EXPECT_EQ(EncodeUtf8(set.Rows[lrBottom]), "└─┴┴─┴┘");
}

TEST(LineDraw, AsciiSetAndSelection) {
  EXPECT_EQ(EncodeUtf8(LineDrawSetOf(oqAsciiLineDraw).Rows[lrRule]), "|-||-+|");
  EXPECT_EQ(LineDrawSetOf(oqIbmLineDraw).Rows[lrInside], IbmLineDrawSet().Rows[lrInside]);
}

TEST(LineDraw, Cp437TableRoundTrips) {
  for (int byte = 0; byte < 256; ++byte) {
    const auto c = Cp437ToUnicode(static_cast<unsigned char>(byte));
    if (byte < 0x80 || (byte >= 0xB0 && byte <= 0xDF)) {
      ASSERT_TRUE(c.has_value()) << byte;
      EXPECT_EQ(UnicodeToCp437(*c), static_cast<unsigned char>(byte));
    } else {
      EXPECT_FALSE(c.has_value()) << byte;
    }
  }
  EXPECT_EQ(ToCp437("│ Tár │"), "\xB3 T?r \xB3");
}

TEST(LineDraw, SetsFromTheSettingsFileArePaddedOrCut) {
  const TgprLineDrawSet set = FromCp437Rows({"+-", "|", "\xC3\xC4\xB3\xC3\xC4\xC5\xB4xyz", ""});
  EXPECT_EQ(set.Rows[0], U"+-     ");
  EXPECT_EQ(set.Rows[2], U"├─│├─┼┤");
  EXPECT_EQ(set.Rows[3], U"       ");
}

}  // namespace
