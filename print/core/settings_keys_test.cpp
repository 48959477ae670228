// Reading setting values from their text: each kind, its fallback to the default, and the
// ranges that keep a damaged value out.
#include "print/core/settings_keys.h"

#include <gtest/gtest.h>

namespace gpr {
namespace {

TgprSettingsContext Context() {
  TgprSettingsContext context;
  context.Now = TgprDateTime{2026, 12, 10, 8, 9, 10};
  context.CurrentDirectory = "/tmp";
  return context;
}

struct TDecodeCase {
  const char* Key;
  const char* Text;
  const char* Stored;  // TextOf after decoding
  TgprDecodeResult Result;
};

TEST(SettingsKeysDecode, EachKindAndItsFallback) {
  using R = TgprDecodeResult;
  const TDecodeCase cases[] = {
      {"PanelsAcrossPage", "4", "4", R::Taken},
      {"PanelsAcrossPage", " 4 ", "4", R::Taken},
      {"PanelsAcrossPage", "four", "1", R::NotValid},
      {"PanelsAcrossPage", "", "1", R::NotValid},
      {"PanelsAcrossPage", "0", "1", R::OutOfRange},
      {"PanelsAcrossPage", "11", "1", R::OutOfRange},
      {"PanelsAcrossPage", "99999999999", "1", R::NotValid},
      {"NumFixedCols", "-7", "-7", R::Taken},
      {"RcdEstimate", "8", "100000", R::OutOfRange},
      {"RcdEstimate", "2147483647", "2147483647", R::Taken},
      {"OutputDest", "3", "0", R::OutOfRange},
      {"OutputQuality", "2", "2", R::Taken},  // a graphic quality is kept, to be refused later
      {"NewRpt", "0", "0", R::Taken},
      {"NewRpt", "2", "1", R::NotValid},
      {"NewRpt", "yes", "1", R::NotValid},
      {"ioBorders", "0", "0", R::Taken},
      {"ReportDesc", "", "", R::Taken},
      {"ReportDesc", " Films ", " Films ", R::Taken},
      {"TextFontName", "", "Gridline Mono", R::Taken},
      {"HideColumns", "", "", R::Taken},
      {"OutputFileName", "", "/tmp/Rpt.Txt", R::Taken},
      {"FinishPrinterStr", "", "#12", R::Taken},
      {"PageMarginTxt", "1,2,3,4", "1,2,3,4", R::Taken},
      {"PageMarginTxt", "1,2,3", "0,1,0,0", R::NotValid},
      {"PageMarginTxt", "1,2,x,4", "0,1,0,0", R::NotValid},
      {"PageMarginTxt", "1,2,3,4,5", "0,1,0,0", R::NotValid},
      {"PageMarginTxt", "1,101,3,4", "0,1,0,0", R::OutOfRange},
      {"CellMarginTxt", "25,10,25,10", "25,10,25,10", R::Taken},
      {"CellMarginTxt", "25,11,25,10", "1,0,0,0", R::OutOfRange},
      {"PageMarginThous", "10000,5000,0,0", "10000,5000,0,0", R::Taken},
      {"PageMarginThous", "0,5001,0,0", "250,250,250,250", R::OutOfRange},
      {"PageRangeTo", "2,17", "2,17", R::Taken},
      {"PageRangeTo", "17", "0,99999", R::NotValid},
      {"CreateDate", "19991231.235958", "19991231.235958", R::Taken},
      {"CreateDate", "", "20261210.080910", R::Taken},
      {"CreateDate", "12/31/1999", "20261210.080910", R::Taken},
      {"CreateDate", "1999-12-31 23:59:58", "19991231.235958", R::Taken},
      {"CreateDate", "19991331.235958", "20261210.080910", R::NotValid},
      {"CreateDate", "garbage", "20261210.080910", R::NotValid},
      {"ExportFieldDelim", ";", ";", R::Taken},
      {"ExportFieldDelim", "124", "124", R::Taken},
      {"ExportFieldDelim", "1234", "123", R::Taken},
      {"ExportFieldDelim", "", "\t", R::Taken},
      {"ExportQuote", "'", "'", R::Taken},
      {"Memo,PgTi,MemoWidPer", "100", "100", R::Taken},
      {"Memo,PgTi,MemoWidPer", "9", "80", R::OutOfRange},
      {"Memo,PgTi,MemoFontName", "", "Arial", R::Taken},
      {"Memo,RptFtr,MemoVisible", "0", "0", R::Taken},
  };
  const TrsfList list(Context());
  for (const TDecodeCase& c : cases) {
    SCOPED_TRACE(std::string(c.Key) + "=" + c.Text);
    TgprReportSettings settings;
    list.ApplyDefaults(settings);
    const TgprSettingKey* key = list.Find(c.Key);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(list.Decode(*key, c.Text, settings), c.Result);
    EXPECT_EQ(list.TextOf(*key, settings), c.Stored);
  }
}

TEST(SettingsKeysDecode, MemoKeysReachTheirOwnMemoOnly) {
  const TrsfList list(Context());
  TgprReportSettings settings;
  list.ApplyDefaults(settings);
  list.Decode(*list.Find("Memo,PgFtr,MemoFontSize"), "30", settings);
  list.Decode(*list.Find("ioExceptionOnEmpty"), "1", settings);
  EXPECT_EQ(settings.Memos[miPgFtr].MemoFontSize, 30);
  EXPECT_EQ(settings.Memos[miPgHdr].MemoFontSize, 12);
  EXPECT_TRUE(settings.IncludeOptions.Has(ioExceptionOnEmpty));
  EXPECT_TRUE(settings.IncludeOptions.Has(ioBorders));
}

TEST(SettingsKeysEncode, LineBreaksNeverReachAWrittenValue) {
  const TrsfList list(Context());
  TgprReportSettings settings;
  settings.ReportDesc = "two\r\nlines";
  EXPECT_EQ(list.TextOf(*list.Find("ReportDesc"), settings), "two  lines");
}

TEST(SettingsKeysEncode, DateTimeText) {
  EXPECT_EQ(DateTimeText(TgprDateTime{2001, 2, 3, 4, 5, 6}), "20010203.040506");
  EXPECT_EQ(ParseDateTimeText("20010203.040506"), (TgprDateTime{2001, 2, 3, 4, 5, 6}));
  EXPECT_FALSE(ParseDateTimeText("20010203040506").has_value());
}

}  // namespace
}  // namespace gpr
