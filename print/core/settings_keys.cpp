// The key table of the report settings and the text encoding of each kind (settings_keys.h).
#include "print/core/settings_keys.h"

#include "dbaccess/name_compare.h"

#include <charconv>
#include <cstdio>
#include <type_traits>

namespace gpr {

namespace {

using S = TgprReportSettings;
using M = TgprRptMemo;
using K = TgprSettingKind;

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::optional<int> ParseInt(std::string_view text) {
  text = TrimBlanks(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Comma-separated integers, exactly count of them.
std::optional<std::vector<int>> ParseInts(std::string_view text, size_t count) {
  std::vector<int> values;
  for (;;) {
    const size_t comma = text.find(',');
    const std::optional<int> value = ParseInt(text.substr(0, comma));
    if (!value) return std::nullopt;
    values.push_back(*value);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  if (values.size() != count) return std::nullopt;
  return values;
}

std::optional<TgprRect> ParseRect(std::string_view text) {
  const auto v = ParseInts(text, 4);
  if (!v) return std::nullopt;
  return TgprRect{(*v)[0], (*v)[1], (*v)[2], (*v)[3]};
}

std::optional<TgprPagePos> ParsePagePos(std::string_view text) {
  const auto v = ParseInts(text, 2);
  if (!v) return std::nullopt;
  return TgprPagePos{(*v)[0], (*v)[1]};
}

// Fixed-width unsigned digits.
std::optional<int> Digits(std::string_view text, size_t from, size_t count) {
  if (from + count > text.size()) return std::nullopt;
  int value = 0;
  for (size_t i = from; i < from + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

bool PlausibleDateTime(const TgprDateTime& t) {
  return t.Year >= 1 && t.Month >= 1 && t.Month <= 12 && t.Day >= 1 && t.Day <= 31 && t.Hour <= 23 && t.Minute <= 59 &&
         t.Second <= 59;
}

// "yyyy-mm-dd hh:nn:ss": the local form a value may have been written in by hand.
std::optional<TgprDateTime> ParseIsoDateTime(std::string_view text) {
  text = TrimBlanks(text);
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' || (text[10] != ' ' && text[10] != 'T') ||
      text[13] != ':' || text[16] != ':') {
    return std::nullopt;
  }
  const auto y = Digits(text, 0, 4), mo = Digits(text, 5, 2), d = Digits(text, 8, 2), h = Digits(text, 11, 2),
             mi = Digits(text, 14, 2), s = Digits(text, 17, 2);
  if (!y || !mo || !d || !h || !mi || !s) return std::nullopt;
  const TgprDateTime t{*y, *mo, *d, *h, *mi, *s};
  if (!PlausibleDateTime(t)) return std::nullopt;
  return t;
}

// --- Canonical texts of field types -----------------------------------------------------

template <typename T>
std::string ToText(const T& value) {
  if constexpr (std::is_same_v<T, bool>) {
    return value ? "1" : "0";
  } else if constexpr (std::is_enum_v<T>) {
    return std::to_string(static_cast<int>(value));
  } else if constexpr (std::is_same_v<T, int>) {
    return std::to_string(value);
  } else if constexpr (std::is_same_v<T, std::string>) {
    return value;
  } else if constexpr (std::is_same_v<T, TgprRect>) {
    return RectText(value);
  } else if constexpr (std::is_same_v<T, TgprPagePos>) {
    return PagePosText(value);
  } else {
    static_assert(std::is_same_v<T, TgprDateTime>);
    return DateTimeText(value);
  }
}

// Stores a canonical text (one that Decode has checked).
template <typename T>
void FromText(std::string_view text, T& value) {
  if constexpr (std::is_same_v<T, bool>) {
    value = text == "1";
  } else if constexpr (std::is_enum_v<T>) {
    value = static_cast<T>(ParseInt(text).value_or(0));
  } else if constexpr (std::is_same_v<T, int>) {
    value = ParseInt(text).value_or(0);
  } else if constexpr (std::is_same_v<T, std::string>) {
    value = std::string(text);
  } else if constexpr (std::is_same_v<T, TgprRect>) {
    value = ParseRect(text).value_or(TgprRect{});
  } else if constexpr (std::is_same_v<T, TgprPagePos>) {
    value = ParsePagePos(text).value_or(TgprPagePos{});
  } else {
    static_assert(std::is_same_v<T, TgprDateTime>);
    value = ParseDateTimeText(text).value_or(TgprDateTime{});
  }
}

template <typename T>
constexpr K KindOf() {
  if constexpr (std::is_same_v<T, bool>) return K::Boolean;
  if constexpr (std::is_same_v<T, int> || std::is_enum_v<T>) return K::Integer;
  if constexpr (std::is_same_v<T, std::string>) return K::String;
  if constexpr (std::is_same_v<T, TgprRect>) return K::Rectangle;
  if constexpr (std::is_same_v<T, TgprPagePos>) return K::PagePosition;
  return K::DateTime;
}

template <auto Member>
using TMainField = std::remove_cvref_t<decltype(std::declval<S&>().*Member)>;
template <auto Member>
using TMemoField = std::remove_cvref_t<decltype(std::declval<M&>().*Member)>;

template <auto Member>
std::string GetMain(const S& s, int) {
  return ToText(s.*Member);
}
template <auto Member>
void SetMain(S& s, int, std::string_view text) {
  FromText(text, s.*Member);
}
template <auto Member>
std::string GetMemo(const S& s, int memo) {
  return ToText(s.Memos[memo].*Member);
}
template <auto Member>
void SetMemo(S& s, int memo, std::string_view text) {
  FromText(text, s.Memos[memo].*Member);
}
std::string GetOption(const S& s, int bit) {
  return s.IncludeOptions.Has(static_cast<TgprIncludeOption>(bit)) ? "1" : "0";
}
void SetOption(S& s, int bit, std::string_view text) {
  s.IncludeOptions.Set(static_cast<TgprIncludeOption>(bit), text == "1");
}

struct TKeyOptions {
  std::optional<TgprRange> Range{};
  std::optional<TgprRange> RangeTopBottom{};
  bool EmptyGivesDefault = false;
  bool ExportChar = false;
};

template <auto Member>
TgprSettingKey Main(int id, const char* key, std::string defaultText, TKeyOptions options = {}) {
  using T = TMainField<Member>;
  TgprSettingKey k;
  k.Id = id;
  k.Key = key;
  k.Kind = options.ExportChar ? K::ExportChar : KindOf<T>();
  k.DefaultText = std::move(defaultText);
  k.Range = options.Range;
  k.RangeTopBottom = options.RangeTopBottom;
  k.EmptyGivesDefault = options.EmptyGivesDefault || options.ExportChar;
  k.Get = &GetMain<Member>;
  k.Set = &SetMain<Member>;
  return k;
}

template <auto Member>
TgprSettingKey Memo(int id, const char* setting, std::string defaultText, TKeyOptions options = {}) {
  using T = TMemoField<Member>;
  TgprSettingKey k;
  k.Id = id;
  k.Key = setting;  // completed with the memo's name by the caller
  k.Kind = KindOf<T>();
  k.DefaultText = std::move(defaultText);
  k.Range = options.Range;
  k.RangeTopBottom = options.RangeTopBottom;
  k.EmptyGivesDefault = options.EmptyGivesDefault;
  k.Get = &GetMemo<Member>;
  k.Set = &SetMemo<Member>;
  return k;
}

TgprSettingKey Option(int id, const char* key, TgprIncludeOption bit, bool on) {
  TgprSettingKey k;
  k.Id = id;
  k.Key = key;
  k.Kind = K::Boolean;
  k.DefaultText = on ? "1" : "0";
  k.Arg = bit;
  k.Get = &GetOption;
  k.Set = &SetOption;
  return k;
}

constexpr TgprRange R(int min, int max) { return TgprRange{min, max}; }
constexpr int kIntMax = 2147483647;

std::string NoLineBreaks(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

}  // namespace

std::string DateTimeText(const TgprDateTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4d%.2d%.2d.%.2d%.2d%.2d", t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second);
  return text;
}

std::optional<TgprDateTime> ParseDateTimeText(std::string_view text) {
  text = TrimBlanks(text);
  if (text.size() != 15 || text[8] != '.') return std::nullopt;
  const auto y = Digits(text, 0, 4), mo = Digits(text, 4, 2), d = Digits(text, 6, 2), h = Digits(text, 9, 2),
             mi = Digits(text, 11, 2), s = Digits(text, 13, 2);
  if (!y || !mo || !d || !h || !mi || !s) return std::nullopt;
  const TgprDateTime t{*y, *mo, *d, *h, *mi, *s};
  if (!PlausibleDateTime(t)) return std::nullopt;
  return t;
}

std::string RectText(const TgprRect& r) {
  return std::to_string(r.Left) + "," + std::to_string(r.Top) + "," + std::to_string(r.Right) + "," +
         std::to_string(r.Bottom);
}

std::string PagePosText(const TgprPagePos& p) { return std::to_string(p.Across) + "," + std::to_string(p.Page); }

TrsfList::TrsfList(const TgprSettingsContext& context) : context_(context) {
  const TKeyOptions emptyDefault{.EmptyGivesDefault = true};
  const std::string now = DateTimeText(context.Now);
  std::string outputFile = context.CurrentDirectory;
  if (!outputFile.empty() && outputFile.back() != '/') outputFile += '/';
  outputFile += "Rpt.Txt";
  keys_ = {
      Main<&S::CreatedAtRuntime>(0, "CreatedAtRuntime", "0"),
      Main<&S::NewRpt>(1, "NewRpt", "1"),
      Main<&S::ComponentDeleted>(2, "ComponentDeleted", "0"),
      Main<&S::StyleName>(3, "StyleName", ""),
      Main<&S::OutputDest>(4, "OutputDest", "0", {.Range = R(0, 2)}),
      Main<&S::PrintWhat>(5, "PrintWhat", "0", {.Range = R(0, 8)}),
      Main<&S::SnapShotSize>(6, "SnapShotSize", "CT"),
      Main<&S::StartingReportLineId>(7, "StartingReportLineId", "1"),
      Main<&S::PageRangeFrom>(8, "PageRangeFrom", "0,1"),
      Main<&S::PageRangeTo>(9, "PageRangeTo", "0,99999"),
      Main<&S::SettingsReadOnly>(10, "SettingsReadOnly", "0"),
      Main<&S::PreviewFirst>(11, "PreviewFirst", "1"),
      Main<&S::CountNumRcds>(27, "CountNumRcds", context.ObjectKind == okQuery ? "0" : "1"),
      Main<&S::RcdEstimate>(26, "RcdEstimate", "100000", {.Range = R(9, kIntMax)}),
      Main<&S::UseReportViewer>(12, "UseReportViewer", "0"),
      Main<&S::AppendToFile>(13, "AppendToFile", "0"),
      Main<&S::ShrinkToPage>(14, "ShrinkToPage", "1"),
      Main<&S::ExpandToPage>(15, "ExpandToPage", "0"),
      Main<&S::ShowHint>(16, "ShowHint", "1"),
      Main<&S::ExportOnlyPrintableChrs>(17, "ExportOnlyPrintableChrs", "1"),
      Main<&S::DefaultPrinter>(18, "DefaultPrinter", "1"),
      Main<&S::PrinterName>(19, "PrinterName", ""),
      Main<&S::PauseAfterPrinting>(20, "PauseAfterPrinting", "1"),
      Main<&S::DisplayProgressWin>(21, "DisplayProgressWin", "1"),
      Main<&S::HidePages>(22, "HidePages", "", emptyDefault),
      Main<&S::ColumnTotals>(23, "ColumnTotals", "", emptyDefault),
      Main<&S::HideColumns>(24, "HideColumns", "", emptyDefault),
      Main<&S::GroupColumns>(25, "GroupColumns", "", emptyDefault),
      Main<&S::DisplayReportOptionsWin>(29, "DisplayReportOptionsWin", "1"),
      Main<&S::CloseWinAfterPrinting>(30, "CloseWinAfterPrinting", "0"),
      Main<&S::PanelsAcrossPage>(31, "PanelsAcrossPage", "1", {.Range = R(1, 10)}),
      Main<&S::NumFixedCols>(32, "NumFixedCols", "-1"),
      Main<&S::TextTruncSymbol>(28, "TextTruncSymbol", ""),
      Main<&S::InterPanelGapThous>(33, "InterPanelGapThous", "250", {.Range = R(0, 3000)}),
      Main<&S::InterPanelGapTxt>(34, "InterPanelGapTxt", "1", {.Range = R(0, 10)}),
      Main<&S::HorizLineFreq>(35, "HorizLineFreq", "3", {.Range = R(1, 255)}),
      Main<&S::VertHtAdjPer>(36, "VertHtAdjPer", "100", {.Range = R(50, 200)}),
      Main<&S::LinesPerpage>(37, "LinesPerpage", "60", {.Range = R(10, 999)}),
      Main<&S::TxtCharsPageWid>(38, "TxtCharsPageWid", "80", {.Range = R(10, 9999)}),
      Main<&S::PageMarginThous>(39, "PageMarginThous", "250,250,250,250",
                                {.Range = R(0, 10000), .RangeTopBottom = R(0, 5000)}),
      Main<&S::CellMarginThous>(40, "CellMarginThous", "0,0,0,0", {.Range = R(0, 5000), .RangeTopBottom = R(0, 5000)}),
      Main<&S::PageMarginTxt>(41, "PageMarginTxt", "0,1,0,0", {.Range = R(0, 100), .RangeTopBottom = R(0, 100)}),
      Main<&S::CellMarginTxt>(42, "CellMarginTxt", "1,0,0,0", {.Range = R(0, 25), .RangeTopBottom = R(0, 10)}),
      Main<&S::MaxStringColWidThous>(43, "MaxStringColWidThous", "2000"),
      Main<&S::MaxMemoColWidThous>(44, "MaxMemoColWidThous", "2000"),
      Main<&S::MaxStringColWidTxt>(45, "MaxStringColWidTxt", "20", {.Range = R(3, 999)}),
      Main<&S::MaxMemoColWidTxt>(46, "MaxMemoColWidTxt", "20", {.Range = R(3, 999)}),
      Main<&S::MaxStringLines>(47, "MaxStringLines", "2"),
      Main<&S::MaxMemoLines>(48, "MaxMemoLines", "2"),
      Main<&S::MaxGrpBrkLines>(49, "MaxGrpBrkLines", "2", {.Range = R(1, 5)}),
      Main<&S::GrpBrkOutdentChars>(50, "GrpBrkOutdentChars", "2", {.Range = R(0, 5)}),
      Main<&S::NumGrpBrkCols>(51, "NumGrpBrkCols", "0"),
      Main<&S::GrpBrkSameValue>(52, "GrpBrkSameValue", ""),
      Main<&S::AdjGrpBrkLines>(53, "AdjGrpBrkLines", "0"),
      Main<&S::ExportMaxStrLng>(54, "ExportMaxStrLng", "100"),
      Main<&S::ExportMaxMemoLng>(55, "ExportMaxMemoLng", "100"),
      Main<&S::AutoSizze>(56, "AutoSizze", "1", {.Range = R(0, 2)}),
      Main<&S::MaxRowsToAutoSizze>(57, "MaxRowsToAutoSizze", "100"),
      Main<&S::LargestFontSize>(58, "LargestFontSize", "20"),
      Main<&S::SmallestFontSize>(59, "SmallestFontSize", "6"),
      Main<&S::PreviewZoomLevel>(60, "PreviewZoomLevel", "100"),
      Main<&S::FastPrinterText>(61, "FastPrinterText", "0"),
      Main<&S::AllowFastPrinterText>(62, "AllowFastPrinterText", "0"),
      Main<&S::OutputQuality>(63, "OutputQuality", "1"),
      Main<&S::IfOutputFileExists>(64, "IfOutputFileExists", "0", {.Range = R(0, 2)}),
      Main<&S::Orientation>(65, "Orientation", "0", {.Range = R(0, 2)}),
      Main<&S::ReportAlignment>(66, "ReportAlignment", "2", {.Range = R(0, 2)}),
      Main<&S::ColTitleAlignment>(67, "ColTitleAlignment", "2", {.Range = R(0, 2)}),
      Main<&S::DMPaperSize>(68, "DMPaperSize", "0"),
      Main<&S::DMCopies>(69, "DMCopies", "0"),
      Main<&S::DMDuplex>(70, "DMDuplex", "0"),
      Main<&S::DMCollate>(71, "DMCollate", "0"),
      Main<&S::TextFontName>(72, "TextFontName", "Gridline Mono", emptyDefault),
      Main<&S::TextFontSize>(73, "TextFontSize", "10", {.Range = R(2, 72)}),
      Main<&S::TextFontStyle>(74, "TextFontStyle", "0"),
      Main<&S::TextFontColor>(75, "TextFontColor", "0"),
      Main<&S::ReplFontName>(76, "ReplFontName", "Arial", emptyDefault),
      Main<&S::ReplFontSize>(77, "ReplFontSize", "10"),
      Main<&S::ReplFontStyle>(78, "ReplFontStyle", "0"),
      Main<&S::ReplFontColor>(79, "ReplFontColor", "0"),
      Main<&S::ExportFieldDelim>(80, "ExportFieldDelim", "\t", {.ExportChar = true}),
      Main<&S::ExportQuote>(81, "ExportQuote", "\"", {.ExportChar = true}),
      Main<&S::CreateDate>(82, "CreateDate", now),
      Main<&S::LastSaveDate>(83, "LastSaveDate", now),
      Main<&S::ReportDesc>(84, "ReportDesc", ""),
      Main<&S::RptPW>(85, "RptPW", ""),
      Main<&S::RptOptPW>(86, "RptOptPW", ""),
      Main<&S::RptSetUpPW>(87, "RptSetUpPW", ""),
      Main<&S::OutputFileName>(88, "OutputFileName", outputFile, emptyDefault),
      Main<&S::MemoDateFormatStr>(89, "MemoDateFormatStr", "", emptyDefault),
      Main<&S::MemoTimeFormatStr>(90, "MemoTimeFormatStr", "", emptyDefault),
      Main<&S::MemoPageFormatStr>(91, "MemoPageFormatStr", "", emptyDefault),
      Main<&S::InitPrinterStr>(92, "InitPrinterStr", "", emptyDefault),
      Main<&S::FinishPrinterStr>(93, "FinishPrinterStr", "#12", emptyDefault),
      Option(94, "ioFieldFormat", ioFieldFormat, true),
      Option(95, "ioVerticalLines", ioVerticalLines, true),
      Option(96, "ioHorizontalLines", ioHorizontalLines, false),
      Option(97, "ioBorders", ioBorders, true),
      Option(98, "ioShareAdjBorders", ioShareAdjBorders, true),
      Option(99, "ioColumnTitles", ioColumnTitles, true),
      Option(100, "ioColumnTotals", ioColumnTotals, true),
      Option(101, "ioPrtGrpBrkHdrColDesc", ioPrtGrpBrkHdrColDesc, true),
      Option(104, "ioFormFeeds", ioFormFeeds, true),
      Option(111, "ioAskToPrintSelectedRows", ioAskToPrintSelectedRows, false),
      Option(107, "ioBoolCheckMark", ioBoolCheckMark, true),
      Option(105, "ioTrimGridDim", ioTrimGridDim, true),
      Option(109, "ioGrpBrkLines", ioGrpBrkLines, context.ObjectKind == okDecisionGrid),
      Option(110, "ioExceptionOnEmpty", ioExceptionOnEmpty, false),
  };
  const std::vector<TgprSettingKey> memoKeys = {
      Memo<&M::MemoXPosPer>(112, "MemoXPosPer", "10", {.Range = R(0, 90)}),
      Memo<&M::MemoWidPer>(113, "MemoWidPer", "80", {.Range = R(10, 100)}),
      Memo<&M::MemoMarginThous>(114, "MemoMarginThous", "0,0,0,0", {.Range = R(0, 3000), .RangeTopBottom = R(0, 3000)}),
      Memo<&M::MemoMarginTxt>(115, "MemoMarginTxt", "0,0,0,0", {.Range = R(0, 10), .RangeTopBottom = R(0, 10)}),
      Memo<&M::MemoAlignment>(116, "MemoAlignment", "2", {.Range = R(0, 2)}),
      Memo<&M::MemoVisible>(117, "MemoVisible", "1"),
      Memo<&M::MemoFontName>(118, "MemoFontName", "Arial", emptyDefault),
      Memo<&M::MemoFontSize>(119, "MemoFontSize", "12"),
      Memo<&M::MemoFontStyle>(120, "MemoFontStyle", "0"),
      Memo<&M::MemoFontColor>(121, "MemoFontColor", "0"),
  };
  for (int memo = 0; memo < kGprMemoCount; ++memo) {
    for (TgprSettingKey key : memoKeys) {
      key.Key = "Memo," + std::string(MemoName(static_cast<TgprMemoIndex>(memo))) + "," + key.Key;
      key.Arg = memo;
      keys_.push_back(std::move(key));
    }
  }
}

const TgprSettingKey* TrsfList::Find(std::string_view key) const {
  for (const TgprSettingKey& k : keys_) {
    if (quarry::SameName(k.Key, key)) return &k;
  }
  return nullptr;
}

const TgprSettingKey* TrsfList::FindId(int id, TgprMemoIndex memo) const {
  for (const TgprSettingKey& k : keys_) {
    if (k.Id == id && (id < 112 || k.Arg == memo)) return &k;
  }
  return nullptr;
}

std::string TrsfList::TextOf(const TgprSettingKey& key, const TgprReportSettings& settings) const {
  return NoLineBreaks(key.Get(settings, key.Arg));
}

TgprDecodeResult TrsfList::Decode(const TgprSettingKey& key, std::string_view text,
                                  TgprReportSettings& settings) const {
  const auto store = [&](std::string_view canonical, TgprDecodeResult result) {
    key.Set(settings, key.Arg, canonical);
    return result;
  };
  const auto useDefault = [&](TgprDecodeResult result) { return store(key.DefaultText, result); };
  const auto inRange = [](const std::optional<TgprRange>& range, int value) {
    return !range || range->Contains(value);
  };
  switch (key.Kind) {
  case K::Integer: {
    const std::optional<int> value = ParseInt(text);
    if (!value) return useDefault(TgprDecodeResult::NotValid);
    if (!inRange(key.Range, *value)) return useDefault(TgprDecodeResult::OutOfRange);
    return store(std::to_string(*value), TgprDecodeResult::Taken);
  }
  case K::Boolean: {
    const std::string_view t = TrimBlanks(text);
    if (t != "0" && t != "1") return useDefault(TgprDecodeResult::NotValid);
    return store(t, TgprDecodeResult::Taken);
  }
  case K::String:
    if (text.empty() && key.EmptyGivesDefault) return useDefault(TgprDecodeResult::Taken);
    return store(text, TgprDecodeResult::Taken);
  case K::ExportChar:
    if (text.empty()) return useDefault(TgprDecodeResult::Taken);
    return store(text.substr(0, kGprMaxExportCharLength), TgprDecodeResult::Taken);
  case K::Rectangle: {
    const std::optional<TgprRect> r = ParseRect(text);
    if (!r) return useDefault(TgprDecodeResult::NotValid);
    const std::optional<TgprRange>& vertical = key.RangeTopBottom ? key.RangeTopBottom : key.Range;
    if (!inRange(key.Range, r->Left) || !inRange(key.Range, r->Right) || !inRange(vertical, r->Top) ||
        !inRange(vertical, r->Bottom)) {
      return useDefault(TgprDecodeResult::OutOfRange);
    }
    return store(RectText(*r), TgprDecodeResult::Taken);
  }
  case K::PagePosition: {
    const std::optional<TgprPagePos> p = ParsePagePos(text);
    if (!p) return useDefault(TgprDecodeResult::NotValid);
    return store(PagePosText(*p), TgprDecodeResult::Taken);
  }
  case K::DateTime: {
    const std::string nowText = DateTimeText(context_.Now);
    if (TrimBlanks(text).empty() || text.find('/') != std::string_view::npos) {
      return store(nowText, TgprDecodeResult::Taken);
    }
    std::optional<TgprDateTime> t = ParseDateTimeText(text);
    if (!t) t = ParseIsoDateTime(text);
    if (!t) return store(nowText, TgprDecodeResult::NotValid);
    return store(DateTimeText(*t), TgprDecodeResult::Taken);
  }
  }
  return TgprDecodeResult::NotValid;
}

void TrsfList::ApplyDefaults(TgprReportSettings& settings) const {
  settings.IncludeOptions.Clear();
  for (const TgprSettingKey& key : keys_) key.Set(settings, key.Arg, key.DefaultText);
  for (TgprRptMemo& memo : settings.Memos) memo.Text.clear();
  settings.Memos[miPgNum].Text = kGprPageNumberMemoText;
}

}  // namespace gpr
