// Names and defaults of the report settings record (report_settings.h).
#include "print/core/report_settings.h"

#include "print/core/settings_keys.h"

namespace gpr {

namespace {

constexpr std::array<std::string_view, kGprIncludeOptionCount> kIncludeCaptions = {
    "Field Format",
    "Horizontal Lines",
    "Group Break Lines",
    "Vertical Lines",
    "Borders",
    "Share Adjacent Borders",
    "Column Titles",
    "Column Totals",
    "",
    "Form Feeds",
    "Boolean Checkmarks",
    "Trim Grid Dimensions",
    "Exception On Empty Grid",
    "Ask to print selected rows",
};

constexpr std::array<std::string_view, kGprTotalKindCount> kTotalKindNames = {
    "None",
    "Text",
    "Sum",
    "Count",
    "Average",
    "Min",
    "Max",
    "StdDev (Sample)",
    "Variance (Sample)",
    "StdDev (Population)",
    "Variance (Population)",
};

constexpr std::array<std::string_view, kGprMemoCount> kMemoNames = {"RptTi", "RptHdr", "PgTi",  "PgHdr",
                                                                    "PgFtr", "PgNum",  "RptFtr"};

}  // namespace

std::string_view IncludeOptionCaption(TgprIncludeOption option) {
  return option >= 0 && option < kGprIncludeOptionCount ? kIncludeCaptions[option] : std::string_view{};
}

std::string_view TotalKindName(TgprTotalKind kind) {
  return kind >= 0 && kind < kGprTotalKindCount ? kTotalKindNames[kind] : std::string_view{};
}

std::string_view MemoName(TgprMemoIndex index) {
  return index >= 0 && index < kGprMemoCount ? kMemoNames[index] : std::string_view{};
}

TgprReportSettings::TgprReportSettings() {
  for (int i = 0; i < kGprMemoCount; ++i) Memos[i].Index = static_cast<TgprMemoIndex>(i);
  Memos[miPgNum].Text = kGprPageNumberMemoText;
  for (TgprIncludeOption on : {ioFieldFormat, ioVerticalLines, ioBorders, ioShareAdjBorders, ioColumnTitles,
                               ioColumnTotals, ioPrtGrpBrkHdrColDesc, ioFormFeeds, ioBoolCheckMark, ioTrimGridDim}) {
    IncludeOptions.Set(on, true);
  }
}

void TgprReportSettings::ApplyDefaults(const TgprSettingsContext& context) { TrsfList(context).ApplyDefaults(*this); }

}  // namespace gpr
