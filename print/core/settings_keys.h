// TrsfList: the key table of the report settings - every key of TgprReportSettings with its
// id, kind, default text and range - and the encoding of each kind as text in the report
// settings file.
//
// Order of the table, which is also the order in which a section's settings are written:
//   1. the main keys in the id order 0-11, 27, 26, 12-25, 29-32, 28, 33-93;
//   2. the include options ioFieldFormat, ioVerticalLines, ioHorizontalLines, ioBorders,
//      ioShareAdjBorders, ioColumnTitles, ioColumnTotals, ioPrtGrpBrkHdrColDesc, ioFormFeeds,
//      ioAskToPrintSelectedRows, ioBoolCheckMark, ioTrimGridDim, ioGrpBrkLines,
//      ioExceptionOnEmpty (ids 94-111);
//   3. for each memo RptTi, RptHdr, PgTi, PgHdr, PgFtr, PgNum, RptFtr its ten settings
//      "Memo,<name>,<setting>" (ids 112-121).
//
// Encodings (the text after the first "=" of a line):
//   kind          | written as                      | read as
//   --------------+---------------------------------+------------------------------------------
//   Integer       | decimal                         | a decimal number, else the default
//   Boolean       | "0" or "1"                      | 0 or 1, anything else the default
//   String        | the text                        | the text; keys marked EmptyGivesDefault
//                 |                                 | read an empty text as the default
//   Rectangle     | "left,top,right,bottom"         | four decimals, else all four from the
//                 |                                 | default
//   PagePosition  | "across,page"                   | two decimals, else the default
//   DateTime      | yyyymmdd.hhnnss                 | that form; empty or with "/": now; an ISO
//                 |                                 | "yyyy-mm-dd hh:nn:ss" is understood too
//   ExportChar    | the character(s)                | at most the first 3 characters
//
// Line breaks can never be part of a written value (they would end the line and start
// another key); TextOf replaces each by a blank.
//
// A value that is well formed but outside the key's range is not taken: the key keeps its
// default and Decode says so, so a damaged or hand-edited file cannot hand the layout a
// panel count of 0 or a negative font size. Keys without a range in the table take any value.
//
// A TrsfList is built for one load or one save (its defaults depend on the context) and
// dropped afterwards. Key lookup ignores case.
#pragma once

#include "print/core/report_settings.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gpr {

enum class TgprSettingKind { Integer, Boolean, String, Rectangle, PagePosition, DateTime, ExportChar };

// An inclusive range of an integer, or of each side of a rectangle.
struct TgprRange {
  int Min = 0;
  int Max = 0;
  bool Contains(int value) const { return value >= Min && value <= Max; }
};

// One key of the table.
struct TgprSettingKey {
  using TGetter = std::string (*)(const TgprReportSettings&, int arg);
  using TSetter = void (*)(TgprReportSettings&, int arg, std::string_view text);

  int Id = 0;
  std::string Key;  // as written, e.g. "PanelsAcrossPage", "ioBorders", "Memo,PgNum,MemoWidPer"
  TgprSettingKind Kind = TgprSettingKind::Integer;
  std::string DefaultText;
  // Integer: the value's range. Rectangle: Range for left and right, RangeTopBottom for top
  // and bottom. None: any value.
  std::optional<TgprRange> Range;
  std::optional<TgprRange> RangeTopBottom;
  bool EmptyGivesDefault = false;  // String keys only
  int Arg = -1;                    // memo index or include option bit; -1 for a main key
  // Read and write the field as canonical text (the setter gets text already checked).
  TGetter Get = nullptr;
  TSetter Set = nullptr;
};

// What Decode made of a text.
enum class TgprDecodeResult {
  Taken,       // the value was stored
  NotValid,    // not a value of the key's kind: the default was stored
  OutOfRange,  // well formed but outside the range: the default was stored
};

class TrsfList {
 public:
  explicit TrsfList(const TgprSettingsContext& context);

  const std::vector<TgprSettingKey>& Keys() const { return keys_; }
  // The key of that name (ignoring case), or nullptr.
  const TgprSettingKey* Find(std::string_view key) const;
  // The key of that id; the memo keys (ids 112-121) for the memo given.
  const TgprSettingKey* FindId(int id, TgprMemoIndex memo = miRptTi) const;

  // The text the setting is written as.
  std::string TextOf(const TgprSettingKey& key, const TgprReportSettings& settings) const;
  // Reads the text of a line into the setting by the key's kind and stores it; a text that
  // does not convert, or is out of range, stores the default instead.
  TgprDecodeResult Decode(const TgprSettingKey& key, std::string_view text, TgprReportSettings& settings) const;
  // Every setting, option and memo setting to its default; the memo texts empty except the
  // page number memo's. Leaves ReportId, DialogTitle and Modified.
  void ApplyDefaults(TgprReportSettings& settings) const;

  const TgprSettingsContext& Context() const { return context_; }

 private:
  TgprSettingsContext context_;
  std::vector<TgprSettingKey> keys_;
};

// Text forms shared with the rest of the component.
std::string DateTimeText(const TgprDateTime& value);  // "yyyymmdd.hhnnss"
std::optional<TgprDateTime> ParseDateTimeText(std::string_view text);
std::string RectText(const TgprRect& value);
std::string PagePosText(const TgprPagePos& value);

}  // namespace gpr
