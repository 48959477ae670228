// The key table of the report settings: every key's id, kind, default and order, and the
// defaults a fresh record carries.
#include "print/core/report_settings.h"
#include "print/core/settings_keys.h"

#include <gtest/gtest.h>

#include <set>

namespace gpr {
namespace {

using K = TgprSettingKind;

struct TExpectedKey {
  int Id;
  const char* Key;
  K Kind;
  const char* Default;
};

// In the order the keys are written. Context: a DB grid, now 2026-12-10 08:09:10, current
// directory "/home/u".
const TExpectedKey kExpected[] = {
    {0, "CreatedAtRuntime", K::Boolean, "0"},
    {1, "NewRpt", K::Boolean, "1"},
    {2, "ComponentDeleted", K::Boolean, "0"},
    {3, "StyleName", K::String, ""},
    {4, "OutputDest", K::Integer, "0"},
    {5, "PrintWhat", K::Integer, "0"},
    {6, "SnapShotSize", K::String, "CT"},
    {7, "StartingReportLineId", K::Integer, "1"},
    {8, "PageRangeFrom", K::PagePosition, "0,1"},
    {9, "PageRangeTo", K::PagePosition, "0,99999"},
    {10, "SettingsReadOnly", K::Boolean, "0"},
    {11, "PreviewFirst", K::Boolean, "1"},
    {27, "CountNumRcds", K::Boolean, "1"},
    {26, "RcdEstimate", K::Integer, "100000"},
    {12, "UseReportViewer", K::Boolean, "0"},
    {13, "AppendToFile", K::Boolean, "0"},
    {14, "ShrinkToPage", K::Boolean, "1"},
    {15, "ExpandToPage", K::Boolean, "0"},
    {16, "ShowHint", K::Boolean, "1"},
    {17, "ExportOnlyPrintableChrs", K::Boolean, "1"},
    {18, "DefaultPrinter", K::Boolean, "1"},
    {19, "PrinterName", K::String, ""},
    {20, "PauseAfterPrinting", K::Boolean, "1"},
    {21, "DisplayProgressWin", K::Boolean, "1"},
    {22, "HidePages", K::String, ""},
    {23, "ColumnTotals", K::String, ""},
    {24, "HideColumns", K::String, ""},
    {25, "GroupColumns", K::String, ""},
    {29, "DisplayReportOptionsWin", K::Boolean, "1"},
    {30, "CloseWinAfterPrinting", K::Boolean, "0"},
    {31, "PanelsAcrossPage", K::Integer, "1"},
    {32, "NumFixedCols", K::Integer, "-1"},
    {28, "TextTruncSymbol", K::String, ""},
    {33, "InterPanelGapThous", K::Integer, "250"},
    {34, "InterPanelGapTxt", K::Integer, "1"},
    {35, "HorizLineFreq", K::Integer, "3"},
    {36, "VertHtAdjPer", K::Integer, "100"},
    {37, "LinesPerpage", K::Integer, "60"},
    {38, "TxtCharsPageWid", K::Integer, "80"},
    {39, "PageMarginThous", K::Rectangle, "250,250,250,250"},
    {40, "CellMarginThous", K::Rectangle, "0,0,0,0"},
    {41, "PageMarginTxt", K::Rectangle, "0,1,0,0"},
    {42, "CellMarginTxt", K::Rectangle, "1,0,0,0"},
    {43, "MaxStringColWidThous", K::Integer, "2000"},
    {44, "MaxMemoColWidThous", K::Integer, "2000"},
    {45, "MaxStringColWidTxt", K::Integer, "20"},
    {46, "MaxMemoColWidTxt", K::Integer, "20"},
    {47, "MaxStringLines", K::Integer, "2"},
    {48, "MaxMemoLines", K::Integer, "2"},
    {49, "MaxGrpBrkLines", K::Integer, "2"},
    {50, "GrpBrkOutdentChars", K::Integer, "2"},
    {51, "NumGrpBrkCols", K::Integer, "0"},
    {52, "GrpBrkSameValue", K::String, ""},
    {53, "AdjGrpBrkLines", K::Integer, "0"},
    {54, "ExportMaxStrLng", K::Integer, "100"},
    {55, "ExportMaxMemoLng", K::Integer, "100"},
    {56, "AutoSizze", K::Integer, "1"},
    {57, "MaxRowsToAutoSizze", K::Integer, "100"},
    {58, "LargestFontSize", K::Integer, "20"},
    {59, "SmallestFontSize", K::Integer, "6"},
    {60, "PreviewZoomLevel", K::Integer, "100"},
    {61, "FastPrinterText", K::Boolean, "0"},
    {62, "AllowFastPrinterText", K::Boolean, "0"},
    {63, "OutputQuality", K::Integer, "1"},
    {64, "IfOutputFileExists", K::Integer, "0"},
    {65, "Orientation", K::Integer, "0"},
    {66, "ReportAlignment", K::Integer, "2"},
    {67, "ColTitleAlignment", K::Integer, "2"},
    {68, "DMPaperSize", K::Integer, "0"},
    {69, "DMCopies", K::Integer, "0"},
    {70, "DMDuplex", K::Integer, "0"},
    {71, "DMCollate", K::Integer, "0"},
    {72, "TextFontName", K::String, "Gridline Mono"},
    {73, "TextFontSize", K::Integer, "10"},
    {74, "TextFontStyle", K::Integer, "0"},
    {75, "TextFontColor", K::Integer, "0"},
    {76, "ReplFontName", K::String, "Arial"},
    {77, "ReplFontSize", K::Integer, "10"},
    {78, "ReplFontStyle", K::Integer, "0"},
    {79, "ReplFontColor", K::Integer, "0"},
    {80, "ExportFieldDelim", K::ExportChar, "\t"},
    {81, "ExportQuote", K::ExportChar, "\""},
    {82, "CreateDate", K::DateTime, "20261210.080910"},
    {83, "LastSaveDate", K::DateTime, "20261210.080910"},
    {84, "ReportDesc", K::String, ""},
    {85, "RptPW", K::String, ""},
    {86, "RptOptPW", K::String, ""},
    {87, "RptSetUpPW", K::String, ""},
    {88, "OutputFileName", K::String, "/home/u/Rpt.Txt"},
    {89, "MemoDateFormatStr", K::String, ""},
    {90, "MemoTimeFormatStr", K::String, ""},
    {91, "MemoPageFormatStr", K::String, ""},
    {92, "InitPrinterStr", K::String, ""},
    {93, "FinishPrinterStr", K::String, "#12"},
    {94, "ioFieldFormat", K::Boolean, "1"},
    {95, "ioVerticalLines", K::Boolean, "1"},
    {96, "ioHorizontalLines", K::Boolean, "0"},
    {97, "ioBorders", K::Boolean, "1"},
    {98, "ioShareAdjBorders", K::Boolean, "1"},
    {99, "ioColumnTitles", K::Boolean, "1"},
    {100, "ioColumnTotals", K::Boolean, "1"},
    {101, "ioPrtGrpBrkHdrColDesc", K::Boolean, "1"},
    {104, "ioFormFeeds", K::Boolean, "1"},
    {111, "ioAskToPrintSelectedRows", K::Boolean, "0"},
    {107, "ioBoolCheckMark", K::Boolean, "1"},
    {105, "ioTrimGridDim", K::Boolean, "1"},
    {109, "ioGrpBrkLines", K::Boolean, "0"},
    {110, "ioExceptionOnEmpty", K::Boolean, "0"},
};

const TExpectedKey kExpectedMemoKeys[] = {
    {112, "MemoXPosPer", K::Integer, "10"},
    {113, "MemoWidPer", K::Integer, "80"},
    {114, "MemoMarginThous", K::Rectangle, "0,0,0,0"},
    {115, "MemoMarginTxt", K::Rectangle, "0,0,0,0"},
    {116, "MemoAlignment", K::Integer, "2"},
    {117, "MemoVisible", K::Boolean, "1"},
    {118, "MemoFontName", K::String, "Arial"},
    {119, "MemoFontSize", K::Integer, "12"},
    {120, "MemoFontStyle", K::Integer, "0"},
    {121, "MemoFontColor", K::Integer, "0"},
};

TgprSettingsContext GridContext() {
  TgprSettingsContext context;
  context.ObjectKind = okDBGrid;
  context.Now = TgprDateTime{2026, 12, 10, 8, 9, 10};
  context.CurrentDirectory = "/home/u";
  return context;
}

TEST(ReportSettingsKeys, TableHoldsEveryKeyInWritingOrderWithItsIdKindAndDefault) {
  const TrsfList list(GridContext());
  const size_t mainCount = std::size(kExpected);
  ASSERT_EQ(list.Keys().size(), mainCount + kGprMemoCount * std::size(kExpectedMemoKeys));
  for (size_t i = 0; i < mainCount; ++i) {
    const TgprSettingKey& key = list.Keys()[i];
    SCOPED_TRACE(kExpected[i].Key);
    EXPECT_EQ(key.Key, kExpected[i].Key);
    EXPECT_EQ(key.Id, kExpected[i].Id);
    EXPECT_EQ(key.Kind, kExpected[i].Kind);
    EXPECT_EQ(key.DefaultText, kExpected[i].Default);
  }
  const char* memoOrder[] = {"RptTi", "RptHdr", "PgTi", "PgHdr", "PgFtr", "PgNum", "RptFtr"};
  size_t at = mainCount;
  for (int memo = 0; memo < kGprMemoCount; ++memo) {
    for (const TExpectedKey& expected : kExpectedMemoKeys) {
      const TgprSettingKey& key = list.Keys()[at++];
      const std::string name = std::string("Memo,") + memoOrder[memo] + "," + expected.Key;
      SCOPED_TRACE(name);
      EXPECT_EQ(key.Key, name);
      EXPECT_EQ(key.Id, expected.Id);
      EXPECT_EQ(key.Kind, expected.Kind);
      EXPECT_EQ(key.DefaultText, expected.Default);
      EXPECT_EQ(key.Arg, memo);
    }
  }
}

TEST(ReportSettingsKeys, EveryIdAndKeyIsUniqueAndFoundIgnoringCase) {
  const TrsfList list(GridContext());
  std::set<std::pair<int, int>> ids;
  for (const TgprSettingKey& key : list.Keys()) {
    EXPECT_TRUE(ids.insert({key.Id, key.Id >= 112 ? key.Arg : -1}).second) << key.Key;
    std::string upper = key.Key;
    for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(list.Find(upper), &key) << key.Key;
  }
  EXPECT_EQ(list.Find("NoSuchKey"), nullptr);
  EXPECT_EQ(list.FindId(113, miPgNum)->Key, "Memo,PgNum,MemoWidPer");
}

TEST(ReportSettingsKeys, AppliedDefaultsReadBackAsEachKeysDefaultText) {
  const TrsfList list(GridContext());
  TgprReportSettings settings;
  settings.PanelsAcrossPage = 7;
  settings.IncludeOptions.Set(ioExceptionOnEmpty, true);
  settings.Memos[miRptTi].Text = "Title";
  list.ApplyDefaults(settings);
  for (const TgprSettingKey& key : list.Keys()) EXPECT_EQ(list.TextOf(key, settings), key.DefaultText) << key.Key;
  EXPECT_EQ(settings.Memos[miRptTi].Text, "");
  EXPECT_EQ(settings.Memos[miPgNum].Text, "\r^DL^PC^TR");
  EXPECT_EQ(settings.OutputFileName, "/home/u/Rpt.Txt");
  EXPECT_EQ(settings.CreateDate, (TgprDateTime{2026, 12, 10, 8, 9, 10}));
}

// A fresh record and the key table agree on every default that does not depend on the
// context, so the record's field initialisers and the table cannot drift apart.
TEST(ReportSettingsKeys, FreshRecordHoldsTheTablesContextFreeDefaults) {
  const TrsfList list(GridContext());
  const TgprReportSettings fresh;
  for (const TgprSettingKey& key : list.Keys()) {
    if (key.Key == "CreateDate" || key.Key == "LastSaveDate" || key.Key == "OutputFileName") continue;
    EXPECT_EQ(list.TextOf(key, fresh), key.DefaultText) << key.Key;
  }
  for (int memo = 0; memo < kGprMemoCount; ++memo) EXPECT_EQ(fresh.Memos[memo].Index, memo);
  EXPECT_EQ(fresh.Memos[miPgNum].Text, kGprPageNumberMemoText);
}

TEST(ReportSettingsKeys, ContextDependentDefaults) {
  struct TCase {
    TgprObjectKind Kind;
    const char* CountNumRcds;
    const char* GrpBrkLines;
  };
  for (const TCase& c : {TCase{okDBGrid, "1", "0"}, TCase{okQuery, "0", "0"}, TCase{okTable, "1", "0"},
                         TCase{okDecisionGrid, "1", "1"}}) {
    TgprSettingsContext context = GridContext();
    context.ObjectKind = c.Kind;
    const TrsfList list(context);
    EXPECT_EQ(list.Find("CountNumRcds")->DefaultText, c.CountNumRcds) << c.Kind;
    EXPECT_EQ(list.Find("ioGrpBrkLines")->DefaultText, c.GrpBrkLines) << c.Kind;
  }
  TgprSettingsContext noDirectory = GridContext();
  noDirectory.CurrentDirectory.clear();
  EXPECT_EQ(TrsfList(noDirectory).Find("OutputFileName")->DefaultText, "Rpt.Txt");
}

TEST(ReportSettingsKeys, RangesOfTheCheckedKeys) {
  const TrsfList list(GridContext());
  struct TCase {
    const char* Key;
    int Min, Max;
  };
  for (const TCase& c :
       {TCase{"RcdEstimate", 9, 2147483647}, TCase{"PanelsAcrossPage", 1, 10}, TCase{"InterPanelGapThous", 0, 3000},
        TCase{"InterPanelGapTxt", 0, 10}, TCase{"HorizLineFreq", 1, 255}, TCase{"VertHtAdjPer", 50, 200},
        TCase{"LinesPerpage", 10, 999}, TCase{"TxtCharsPageWid", 10, 9999}, TCase{"MaxStringColWidTxt", 3, 999},
        TCase{"MaxMemoColWidTxt", 3, 999}, TCase{"MaxGrpBrkLines", 1, 5}, TCase{"GrpBrkOutdentChars", 0, 5},
        TCase{"TextFontSize", 2, 72}, TCase{"Memo,PgTi,MemoXPosPer", 0, 90}, TCase{"Memo,PgTi,MemoWidPer", 10, 100}}) {
    const TgprSettingKey* key = list.Find(c.Key);
    ASSERT_NE(key, nullptr) << c.Key;
    ASSERT_TRUE(key->Range.has_value()) << c.Key;
    EXPECT_EQ(key->Range->Min, c.Min) << c.Key;
    EXPECT_EQ(key->Range->Max, c.Max) << c.Key;
  }
  const TgprSettingKey* page = list.Find("PageMarginThous");
  EXPECT_EQ(page->Range->Max, 10000);
  EXPECT_EQ(page->RangeTopBottom->Max, 5000);
  const TgprSettingKey* cell = list.Find("CellMarginTxt");
  EXPECT_EQ(cell->Range->Max, 25);
  EXPECT_EQ(cell->RangeTopBottom->Max, 10);
}

TEST(ReportSettingsNames, MemoIncludeOptionAndTotalKindNames) {
  EXPECT_EQ(MemoName(miRptTi), "RptTi");
  EXPECT_EQ(MemoName(miRptFtr), "RptFtr");
  EXPECT_EQ(IncludeOptionCaption(ioAskToPrintSelectedRows), "Ask to print selected rows");
  EXPECT_EQ(IncludeOptionCaption(ioPrtGrpBrkHdrColDesc), "");
  EXPECT_EQ(TotalKindName(tkVariancePopulation), "Variance (Population)");
  EXPECT_EQ(TotalKindName(tkStdDevSample), "StdDev (Sample)");
}

}  // namespace
}  // namespace gpr
