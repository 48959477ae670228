// The report options' checks (options_checks.h).
#include "print/core/options_checks.h"

#include "dbaccess/name_compare.h"
#include "print/core/cols_list.h"
#include "print/core/gpr_error.h"
#include "print/core/print_run.h"

#include <algorithm>
#include <filesystem>

namespace gpr {

namespace {

template <int TgprReportSettings::*Member>
int& Plain(TgprReportSettings& s, TgprMemoIndex) {
  return s.*Member;
}
template <int TgprRect::*Side>
int& PageMargin(TgprReportSettings& s, TgprMemoIndex) {
  return s.PageMarginTxt.*Side;
}
template <int TgprRect::*Side>
int& CellMargin(TgprReportSettings& s, TgprMemoIndex) {
  return s.CellMarginTxt.*Side;
}
int& MemoLeft(TgprReportSettings& s, TgprMemoIndex m) { return s.Memo(m).MemoXPosPer; }
int& MemoWidth(TgprReportSettings& s, TgprMemoIndex m) { return s.Memo(m).MemoWidPer; }
int& MemoAbove(TgprReportSettings& s, TgprMemoIndex m) { return s.Memo(m).MemoMarginTxt.Top; }
int& MemoBelow(TgprReportSettings& s, TgprMemoIndex m) { return s.Memo(m).MemoMarginTxt.Bottom; }

using S = TgprReportSettings;
using R = TgprRect;

const std::vector<TgprNumericField> kFields = {
    {"PanelsAcrossPage", opGeneral, "Formatting Options", "Panels &Across Page:", "Panels Across Page", 1, 10, "", true,
     fsAlways, &Plain<&S::PanelsAcrossPage>},
    {"InterPanelGapTxt", opGeneral, "Formatting Options", "&Inter-Panel Gap:", "Space Between Panels", 0, 10,
     "text characters", true, fsAlways, &Plain<&S::InterPanelGapTxt>},
    {"HorizLineFreq", opGeneral, "Formatting Options", "Horiz. Line Frequency:", "Horizontal Line Frequency", 1, 255,
     "", false, fsAlways, &Plain<&S::HorizLineFreq>},
    {"MaxStringColWidTxt", opGeneral, "Formatting Options", "Max String &Column Width:", "Max String Column Width", 3,
     999, "characters", true, fsAlways, &Plain<&S::MaxStringColWidTxt>},
    {"MaxMemoColWidTxt", opGeneral, "Formatting Options", "Max Memo Column &Width:", "Max Memo Column Width", 3, 999,
     "characters", true, fsAlways, &Plain<&S::MaxMemoColWidTxt>},
    {"MaxStringLines", opGeneral, "Formatting Options", "Max # of String &Lines:", "Max # of String Lines", 1, -1,
     "lines", true, fsAlways, &Plain<&S::MaxStringLines>},
    {"MaxMemoLines", opGeneral, "Formatting Options", "Max # of Memo &Lines:", "Max # of Memo Lines", 1, -1, "lines",
     true, fsAlways, &Plain<&S::MaxMemoLines>},
    {"StartingReportLineId", opGeneral, "Formatting Options", "Starting &Line#:", "", 0, -1, "", false, fsAlways,
     &Plain<&S::StartingReportLineId>},
    {"NumFixedCols", opGeneral, "Formatting Options", "# of Fixed Columns:", "", 0, -1, "", true, fsAlways,
     &Plain<&S::NumFixedCols>},
    {"RcdEstimate", opGeneral, "Dataset Record Counting", "&Record Estimate:", "Record Estimate", 9, 2147483647,
     "records", false, fsEstimate, &Plain<&S::RcdEstimate>},
    {"MaxRowsToAutoSizze", opGeneral, "AutoSizzing(TM)", "AutoSizze Row Limit", "", 0, -1, "", true, fsSomeRowsAutoSize,
     &Plain<&S::MaxRowsToAutoSizze>},
    {"MaxGrpBrkLines", opGeneral, "Group Breaks", "Max # of Break Title Lines:", "Max # of Break Title", 1, 5, "lines",
     true, fsGroupBreaks, &Plain<&S::MaxGrpBrkLines>},
    {"GrpBrkOutdentChars", opGeneral, "Group Breaks", "Group Break Outdent:", "Group Break Outdent", 0, 5, "chars",
     true, fsGroupBreaks, &Plain<&S::GrpBrkOutdentChars>},
    {"VertHtAdjPer", opGeneral, "Printer", "Vert. Height Adj.:", "Vertical Height Adjustment", 50, 200, "%", true,
     fsPrinterOnly, &Plain<&S::VertHtAdjPer>},
    {"SmallestFontSize", opOutput, "Output Options", "&Smallest Font:", "", 0, -1, "", true, fsPrinterOnly,
     &Plain<&S::SmallestFontSize>},
    {"LargestFontSize", opOutput, "Output Options", "&Largest Font:", "", 0, -1, "", true, fsPrinterOnly,
     &Plain<&S::LargestFontSize>},
    {"LinesPerpage", opOutput, "Output Options", "&Lines per Page:", "Lines Per Page", 10, 999, "characters", true,
     fsAlways, &Plain<&S::LinesPerpage>},
    {"TxtCharsPageWid", opOutput, "Output Options", "Page &Width:", "Text Page Width is invalid", 10, 9999,
     "text characters", true, fsAlways, &Plain<&S::TxtCharsPageWid>},
    {"PageTop", opOutput, "Margins", "Page Top", "Page Top Margin", 0, 100, "lines", true, fsAlways,
     &PageMargin<&R::Top>},
    {"PageBottom", opOutput, "Margins", "Page Bottom", "Page Bottom Margin", 0, 100, "lines", true, fsAlways,
     &PageMargin<&R::Bottom>},
    {"PageLeft", opOutput, "Margins", "Page Left", "Page Left Margin", 0, 100, "characters", true, fsAlways,
     &PageMargin<&R::Left>},
    {"PageRight", opOutput, "Margins", "Page Right", "Page Right Margin", 0, 100, "characters", true, fsAlways,
     &PageMargin<&R::Right>},
    {"CellTop", opOutput, "Margins", "Cell Top", "Cell Top Margin", 0, 10, "lines", true, fsAlways,
     &CellMargin<&R::Top>},
    {"CellBottom", opOutput, "Margins", "Cell Bottom", "Cell Bottom Margin", 0, 10, "lines", true, fsAlways,
     &CellMargin<&R::Bottom>},
    {"CellLeft", opOutput, "Margins", "Cell Left", "Cell Left Margin", 0, 25, "characters", true, fsAlways,
     &CellMargin<&R::Left>},
    {"CellRight", opOutput, "Margins", "Cell Right", "Cell Right Margin", 0, 25, "characters", true, fsAlways,
     &CellMargin<&R::Right>},
    {"ExportMaxStrLng", opOutput, "Export Options", "St&ring:", "", 0, -1, "", false, fsExportOnly,
     &Plain<&S::ExportMaxStrLng>},
    {"ExportMaxMemoLng", opOutput, "Export Options", "M&emo:", "", 0, -1, "", false, fsExportOnly,
     &Plain<&S::ExportMaxMemoLng>},
    {"TextFontSize", opStyle, "", "Font Si&ze:", "Text Font Size", 2, 72, "Points", true, fsAlways,
     &Plain<&S::TextFontSize>},
    {"NumGrpBrkCols", opStyle, "", "# Group &Break Columns:", "Number of Group Break Columns", 0, kGprMaxIsColumnCount,
     "columns", true, fsAlways, &Plain<&S::NumGrpBrkCols>},
    {"AdjGrpBrkLines", opStyle, "", "Adjacent Group Break Lines:", "", 0, -1, "", true, fsAlways,
     &Plain<&S::AdjGrpBrkLines>},
    {"MemoXPosPer", opTitles, "Horizontal Margins", "Left Mar&gin:", "Report Memo Left Margin", 0, 90, "%", true,
     fsAlways, &MemoLeft},
    {"MemoWidPer", opTitles, "Horizontal Margins", "Memo W&idth:", "Report Memo Width", 10, 100, "%", true, fsAlways,
     &MemoWidth},
    {"MemoAbove", opTitles, "Vertical Margins", "Space Above Memo:", "Space Above Memo", 0, 10, "text lines", true,
     fsAlways, &MemoAbove},
    {"MemoBelow", opTitles, "Vertical Margins", "Space Below Memo:", "Space Below Memo", 0, 10, "text lines", true,
     fsAlways, &MemoBelow},
};

TgprCheckIssue Issue(std::string message, std::string focus, bool note = false) {
  return {std::move(message), std::move(focus), note};
}

}  // namespace

const char* OptionsPageName(TgprOptionsPage page) {
  static const char* const kNames[] = {"General", "Output", "Style", "Titles", "Setup"};
  return kNames[page];
}

bool PageHidden(const std::string& hidePages, TgprOptionsPage page) {
  const std::vector<std::string> names = SplitCommaList(hidePages);
  return std::any_of(names.begin(), names.end(),
                     [page](const std::string& name) { return quarry::SameName(name, OptionsPageName(page)); });
}

std::string WithPageHidden(const std::string& hidePages, TgprOptionsPage page, bool hidden) {
  std::string list;
  for (const std::string& name : SplitCommaList(hidePages)) {
    if (!quarry::SameName(name, OptionsPageName(page))) list += (list.empty() ? "" : ",") + name;
  }
  if (hidden) list += (list.empty() ? "" : ",") + std::string(OptionsPageName(page));
  return list;
}

const std::vector<TgprNumericField>& NumericFields() { return kFields; }

const TgprNumericField* FindNumericField(const std::string& key) {
  for (const TgprNumericField& field : kFields) {
    if (key == field.Key) return &field;
  }
  return nullptr;
}

bool FieldShown(const TgprNumericField& field, const TgprReportSettings& settings, const TObjInfo& objInfo) {
  switch (field.Shown) {
  case fsPrinterOnly: return settings.OutputDest == odPrinter;
  case fsEstimate: return !settings.CountNumRcds && (objInfo.DataSet != nullptr || objInfo.EngineDataSet != nullptr);
  case fsGroupBreaks: return !settings.GroupColumns.empty();
  case fsSomeRowsAutoSize: return settings.AutoSizze == asSomeRows;
  case fsExportOnly: return settings.OutputDest == odExport;
  default: return true;
  }
}

std::optional<std::string> CheckRange(const TgprNumericField& field, long long value, int columnCount) {
  if (field.Name[0] == '\0') return std::nullopt;
  const long long max = field.Max == kGprMaxIsColumnCount ? columnCount : field.Max;
  const bool bounded = max >= field.Min;
  if (value >= field.Min && (!bounded || value <= max)) return std::nullopt;
  if (!bounded) return std::string(field.Name) + " must be at least " + std::to_string(field.Min) + " " + field.Unit;
  return std::string(field.Name) + " must be between " + std::to_string(field.Min) + " and " + std::to_string(max) +
         " " + field.Unit;
}

std::vector<TgprCheckIssue> CheckAcrossFields(TgprReportSettings& settings, const TObjInfo& objInfo,
                                              const TgprCheckContext& context) {
  std::vector<TgprCheckIssue> issues;
  const auto fail = [&](std::string message, std::string focus) {
    issues.push_back(Issue(std::move(message), std::move(focus)));
    return issues;
  };
  if (settings.LinesPerpage - 5 < settings.PageMarginTxt.Top + settings.PageMarginTxt.Bottom) {
    return fail("Page Top Margin + Bottom Margin are too large for page length", "PageTop");
  }
  if (settings.TxtCharsPageWid > 255 && settings.ReportAlignment != gaLeft) {
    issues.push_back(Issue("Note: Page Width may be too wide for Report Alignment", "TxtCharsPageWid", true));
  }
  if (settings.TextTruncSymbol.size() > kGprMaxTruncSymbolLength) {
    return fail("Text Truncation Symbol cannot exceed 3 characters", "TextTruncSymbol");
  }
  if (settings.TextFontName.empty()) return fail("Font Name is missing", "TextFontName");
  const int columns = objInfo.Columns.Count();
  if (columns > 0 && objInfo.Columns.VisibleCount() == 0) return fail("No columns are visible.", "Columns");
  if (columns > 0 && (settings.NumFixedCols < 0 || settings.NumFixedCols > columns - 1)) {
    settings.NumFixedCols = columns - 1;
  }
  if (settings.PrintWhat == pwPageRange && PageRangeReversed(settings.PageRangeFrom, settings.PageRangeTo)) {
    return fail(FromAfterToMessage(), "PageRangeFrom");
  }
  if (settings.OutputQuality >= 2 && settings.OutputDest != odPrinter) {
    return fail("Output Quality " + Quoted(std::to_string(settings.OutputQuality)) + " only valid when using printer",
                "OutputQuality");
  }
  if (settings.OutputDest == odPrinter && !settings.DefaultPrinter &&
      (settings.PrinterName.empty() ||
       std::find(context.Printers.begin(), context.Printers.end(), settings.PrinterName) == context.Printers.end())) {
    return fail("Printer Name is invalid. Please choose a different printer.", "PrinterName");
  }
  for (const TgprRptMemo& memo : settings.Memos) {
    if (memo.MemoXPosPer + memo.MemoWidPer > 100) {
      return fail("Report memo's " + Quoted("Left Margin") + " + " + Quoted("Memo Width") + " must be <= 100%",
                  "MemoXPosPer");
    }
  }
  if (settings.OutputDest == odTextFile && !context.DirectoryExists) {
    return fail("Directory does not exist for output file. Use Browse button to create directory.", "OutputFileName");
  }
  if (settings.OutputDest == odExport && settings.ExportFieldDelim == settings.ExportQuote) {
    return fail("Export Field Delimeter and Export Quote fields cannot have the same value", "ExportQuote");
  }
  return issues;
}

std::vector<TgprCheckIssue> CheckAllOptions(TgprReportSettings& settings, const TObjInfo& objInfo,
                                            const TgprCheckContext& context) {
  for (const TgprNumericField& field : kFields) {
    if (!FieldShown(field, settings, objInfo)) continue;
    if (auto message = CheckRange(field, field.Ref(settings, context.Memo), objInfo.Columns.Count())) {
      return {Issue(*message, field.Key)};
    }
  }
  return CheckAcrossFields(settings, objInfo, context);
}

bool HasError(const std::vector<TgprCheckIssue>& issues) {
  return std::any_of(issues.begin(), issues.end(), [](const TgprCheckIssue& issue) { return !issue.Note; });
}

}  // namespace gpr
