// TgprReportSettings: the settings of one report, keyed in the report settings file by
// (user name, report id), with its seven report memos (TgprRptMemo), its fourteen include
// options (TgprIncludeOptions) and the enumerations its settings take.
//
// The record is plain data. Each keyed setting is a public field named exactly as its key in
// the settings file; settings_keys.h holds the key table that gives every key its id, kind,
// default and range and reads and writes the fields by key. A default-constructed record
// holds the defaults that depend on nothing; ApplyDefaults sets every default, including the
// ones that depend on the printed object, the clock and the current directory.
//
// Ranges are those the options window enforces; a value read from a file is not clamped
// here (see TrsfList for what the reader does with an out-of-range value).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace gpr {

// A rectangle of margins: written "Left,Top,Right,Bottom".
struct TgprRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  bool operator==(const TgprRect&) const = default;
};

// A page of a report: (across-index, page number); across-index 0 means the whole page.
struct TgprPagePos {
  int Across = 0;
  int Page = 0;
  bool operator==(const TgprPagePos&) const = default;
};

// A local date and time to the second, as the settings file keeps it.
struct TgprDateTime {
  int Year = 0;
  int Month = 0;
  int Day = 0;
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  bool operator==(const TgprDateTime&) const = default;
};

// The object kinds a print request classifies its object into; 3 to 18 are printable.
enum TgprObjectKind : int {
  okNotPrintable = 0,
  okDBGrid = 5,
  okDataAwareGrid = 6,
  okListBox = 12,
  okListView = 13,
  okStringGrid = 14,
  okTable = 15,
  okQuery = 16,
  okDataSet = 17,
  okDecisionGrid = 18,
};
inline bool IsPrintableKind(TgprObjectKind kind) { return kind >= 3 && kind <= 18; }
inline bool IsDataSetKind(TgprObjectKind kind) { return kind == okTable || kind == okQuery || kind == okDataSet; }

// `OutputDest`.
enum TgprOutputDest : int { odPrinter = 0, odTextFile = 1, odExport = 2 };

// `PrintWhat`. The branch choices apply to tree-shaped objects only.
enum TgprPrintWhat : int {
  pwEntireGrid = 0,
  pwCurrentPage = 1,
  pwBranchAll = 2,
  pwBranchDown = 3,
  pwTestPage = 4,
  pwWindowSnapshot = 5,
  pwPageRange = 6,
  pwSelectedRows = 7,
  pwCompleteBranches = 8,
};

// `OutputQuality`: the line-drawing set; 2 and above would be the graphic qualities, which
// this system does not have (their choice is refused when the styles are loaded).
enum TgprOutputQuality : int { oqAsciiLineDraw = 0, oqIbmLineDraw = 1 };

// `IfOutputFileExists`.
enum TgprIfFileExists : int { feOverwrite = 0, feAppend = 1, feAsk = 2 };

// `Orientation`.
enum TgprOrientation : int { orPortrait = 0, orLandscape = 1, orPrinterDefault = 2 };

// `ReportAlignment`, `ColTitleAlignment`, `MemoAlignment`, and the alignment of a column.
enum TgprAlignment : int { gaLeft = 0, gaRight = 1, gaCenter = 2 };

// `AutoSizze`: how column widths are found.
enum TgprAutoSize : int { asAllRows = 0, asSomeRows = 1, asGridWidths = 2 };

// Style bits of `TextFontStyle`, `ReplFontStyle` and `MemoFontStyle`.
inline constexpr int kGprFontStrikeOut = 1;
inline constexpr int kGprFontUnderline = 2;
inline constexpr int kGprFontItalic = 4;
inline constexpr int kGprFontBold = 8;

// The include options, numbered by their bit in the option set.
enum TgprIncludeOption : int {
  ioFieldFormat = 0,
  ioHorizontalLines = 1,
  ioGrpBrkLines = 2,
  ioVerticalLines = 3,
  ioBorders = 4,
  ioShareAdjBorders = 5,
  ioColumnTitles = 6,
  ioColumnTotals = 7,
  ioPrtGrpBrkHdrColDesc = 8,
  ioFormFeeds = 9,
  ioBoolCheckMark = 10,
  ioTrimGridDim = 11,
  ioExceptionOnEmpty = 12,
  ioAskToPrintSelectedRows = 13,
};
inline constexpr int kGprIncludeOptionCount = 14;

// Caption of an include option on the Style page; empty for ioPrtGrpBrkHdrColDesc, which
// has none.
std::string_view IncludeOptionCaption(TgprIncludeOption option);

// A set of include options.
class TgprIncludeOptions {
 public:
  bool Has(TgprIncludeOption option) const { return (bits_ >> option) & 1u; }
  void Set(TgprIncludeOption option, bool on) {
    if (on) {
      bits_ |= static_cast<uint16_t>(1u << option);
    } else {
      bits_ &= static_cast<uint16_t>(~(1u << option));
    }
  }
  void Clear() { bits_ = 0; }
  uint16_t Bits() const { return bits_; }
  bool operator==(const TgprIncludeOptions&) const = default;

 private:
  uint16_t bits_ = 0;
};

// Column total kinds, numbered as in `ColumnTotals`.
enum TgprTotalKind : int {
  tkNone = 0,
  tkText = 1,
  tkSum = 2,
  tkCount = 3,
  tkAverage = 4,
  tkMin = 5,
  tkMax = 6,
  tkStdDevSample = 7,
  tkVarianceSample = 8,
  tkStdDevPopulation = 9,
  tkVariancePopulation = 10,
};
inline constexpr int kGprTotalKindCount = 11;
// "None", "Text", "Sum", ..., "Variance (Population)".
std::string_view TotalKindName(TgprTotalKind kind);

// The seven report memos, by index.
enum TgprMemoIndex : int {
  miRptTi = 0,   // report title
  miRptHdr = 1,  // report header memo
  miPgTi = 2,    // page title
  miPgHdr = 3,   // page header memo
  miPgFtr = 4,   // page footer memo
  miPgNum = 5,   // page number memo
  miRptFtr = 6,  // report footer memo
};
inline constexpr int kGprMemoCount = 7;
// "RptTi", "RptHdr", "PgTi", "PgHdr", "PgFtr", "PgNum", "RptFtr".
std::string_view MemoName(TgprMemoIndex index);

// Default text of the page number memo: an empty line, then date left, page number centre
// and time right.
inline constexpr const char* kGprPageNumberMemoText = "\r^DL^PC^TR";

// One report memo: a title or free-text block with its placement and font. Its ten settings
// are keyed "Memo," + name + "," + setting in the settings file; its text is kept apart
// (between "Memo,<name>=START" and "Memo,<name>=END" lines) with its own line breaks.
struct TgprRptMemo {
  TgprMemoIndex Index = miRptTi;
  int MemoXPosPer = 10;        // left edge, % of page width, 0 to 90
  int MemoWidPer = 80;         // width, % of page width, 10 to 100
  TgprRect MemoMarginThous{};  // thousandths of an inch; 0 to 3000 each
  TgprRect MemoMarginTxt{};    // text units; Top/Bottom blank lines, 0 to 10
  TgprAlignment MemoAlignment = gaCenter;
  bool MemoVisible = true;
  std::string MemoFontName = "Arial";
  int MemoFontSize = 12;
  int MemoFontStyle = 0;
  int MemoFontColor = 0;
  std::string Text;

  std::string_view Name() const { return MemoName(Index); }
  bool operator==(const TgprRptMemo&) const = default;
};

// What the defaults that are not fixed depend on.
struct TgprSettingsContext {
  TgprObjectKind ObjectKind = okDBGrid;  // CountNumRcds is off for a query, ioGrpBrkLines on for a decision grid
  TgprDateTime Now{};                    // CreateDate, LastSaveDate
  std::string CurrentDirectory;          // OutputFileName is <CurrentDirectory>/Rpt.Txt
};

// The report settings of one request. Field comments give the range the options window
// enforces where there is one.
struct TgprReportSettings {
  TgprReportSettings();

  // Sets every setting, the include options and the memos (with the page number memo's
  // text) to their defaults for the context. Leaves ReportId, DialogTitle and Modified.
  void ApplyDefaults(const TgprSettingsContext& context);

  // --- Not stored as keys ---
  std::string ReportId;     // "OptionalText (nnn.mmm)"
  std::string DialogTitle;  // the request's title
  bool Modified = false;    // set by every edit in the options window

  // --- Keyed settings (id in brackets) ---
  bool CreatedAtRuntime = false;                      // [0]
  bool NewRpt = true;                                 // [1]
  bool ComponentDeleted = false;                      // [2]
  std::string StyleName;                              // [3]
  TgprOutputDest OutputDest = odPrinter;              // [4]
  TgprPrintWhat PrintWhat = pwEntireGrid;             // [5]
  std::string SnapShotSize = "CT";                    // [6] C/M then P/T/S
  int StartingReportLineId = 1;                       // [7]
  TgprPagePos PageRangeFrom{0, 1};                    // [8]
  TgprPagePos PageRangeTo{0, 99999};                  // [9]
  bool SettingsReadOnly = false;                      // [10]
  bool PreviewFirst = true;                           // [11]
  bool UseReportViewer = false;                       // [12]
  bool AppendToFile = false;                          // [13]
  bool ShrinkToPage = true;                           // [14]
  bool ExpandToPage = false;                          // [15]
  bool ShowHint = true;                               // [16]
  bool ExportOnlyPrintableChrs = true;                // [17]
  bool DefaultPrinter = true;                         // [18]
  std::string PrinterName;                            // [19]
  bool PauseAfterPrinting = true;                     // [20]
  bool DisplayProgressWin = true;                     // [21]
  std::string HidePages;                              // [22] from "General,Output,Style,Titles,Setup"
  std::string ColumnTotals;                           // [23]
  std::string HideColumns;                            // [24] "~Line#" names the line-number column
  std::string GroupColumns;                           // [25]
  int RcdEstimate = 100000;                           // [26] 9 to 2147483647
  bool CountNumRcds = true;                           // [27] default off for a query
  std::string TextTruncSymbol;                        // [28] at most 3 characters
  bool DisplayReportOptionsWin = true;                // [29]
  bool CloseWinAfterPrinting = false;                 // [30]
  int PanelsAcrossPage = 1;                           // [31] 1 to 10
  int NumFixedCols = -1;                              // [32] -1: not yet computed
  int InterPanelGapThous = 250;                       // [33] 0 to 3000
  int InterPanelGapTxt = 1;                           // [34] 0 to 10
  int HorizLineFreq = 3;                              // [35] 1 to 255
  int VertHtAdjPer = 100;                             // [36] 50 to 200
  int LinesPerpage = 60;                              // [37] 10 to 999
  int TxtCharsPageWid = 80;                           // [38] 10 to 9999
  TgprRect PageMarginThous{250, 250, 250, 250};       // [39] top/bottom 0-5000, left/right 0-10000
  TgprRect CellMarginThous{0, 0, 0, 0};               // [40] 0 to 5000 each
  TgprRect PageMarginTxt{0, 1, 0, 0};                 // [41] 0 to 100 each
  TgprRect CellMarginTxt{1, 0, 0, 0};                 // [42] top/bottom 0-10, left/right 0-25
  int MaxStringColWidThous = 2000;                    // [43]
  int MaxMemoColWidThous = 2000;                      // [44]
  int MaxStringColWidTxt = 20;                        // [45] 3 to 999
  int MaxMemoColWidTxt = 20;                          // [46] 3 to 999
  int MaxStringLines = 2;                             // [47]
  int MaxMemoLines = 2;                               // [48]
  int MaxGrpBrkLines = 2;                             // [49] 1 to 5
  int GrpBrkOutdentChars = 2;                         // [50] 0 to 5
  int NumGrpBrkCols = 0;                              // [51] 0 to the number of columns
  std::string GrpBrkSameValue;                        // [52]
  int AdjGrpBrkLines = 0;                             // [53]
  int ExportMaxStrLng = 100;                          // [54]
  int ExportMaxMemoLng = 100;                         // [55]
  TgprAutoSize AutoSizze = asSomeRows;                // [56]
  int MaxRowsToAutoSizze = 100;                       // [57]
  int LargestFontSize = 20;                           // [58]
  int SmallestFontSize = 6;                           // [59]
  int PreviewZoomLevel = 100;                         // [60]
  bool FastPrinterText = false;                       // [61]
  bool AllowFastPrinterText = false;                  // [62]
  TgprOutputQuality OutputQuality = oqIbmLineDraw;    // [63]
  TgprIfFileExists IfOutputFileExists = feOverwrite;  // [64]
  TgprOrientation Orientation = orPortrait;           // [65]
  TgprAlignment ReportAlignment = gaCenter;           // [66]
  TgprAlignment ColTitleAlignment = gaCenter;         // [67]
  int DMPaperSize = 0;                                // [68]
  int DMCopies = 0;                                   // [69]
  int DMDuplex = 0;                                   // [70]
  int DMCollate = 0;                                  // [71]
  std::string TextFontName = "Gridline Mono";         // [72] must not be empty
  int TextFontSize = 10;                              // [73] 2 to 72
  int TextFontStyle = 0;                              // [74]
  int TextFontColor = 0;                              // [75] 24-bit RGB
  std::string ReplFontName = "Arial";                 // [76]
  int ReplFontSize = 10;                              // [77]
  int ReplFontStyle = 0;                              // [78]
  int ReplFontColor = 0;                              // [79]
  std::string ExportFieldDelim = "\t";                // [80] the character, or its decimal code; up to 3
  std::string ExportQuote = "\"";                     // [81] the same way
  TgprDateTime CreateDate{};                          // [82]
  TgprDateTime LastSaveDate{};                        // [83]
  std::string ReportDesc;                             // [84]
  std::string RptPW;                                  // [85] at most 10 characters, any case
  std::string RptOptPW;                               // [86]
  std::string RptSetUpPW;                             // [87]
  std::string OutputFileName = "Rpt.Txt";             // [88] default <current directory>/Rpt.Txt
  std::string MemoDateFormatStr;                      // [89]
  std::string MemoTimeFormatStr;                      // [90]
  std::string MemoPageFormatStr;                      // [91]
  std::string InitPrinterStr;                         // [92]
  std::string FinishPrinterStr = "#12";               // [93]

  // Include options [94-111]; defaults set by the constructor and ApplyDefaults.
  TgprIncludeOptions IncludeOptions;

  // The memos, by TgprMemoIndex.
  std::array<TgprRptMemo, kGprMemoCount> Memos;

  TgprRptMemo& Memo(TgprMemoIndex index) { return Memos[index]; }
  const TgprRptMemo& Memo(TgprMemoIndex index) const { return Memos[index]; }

  bool operator==(const TgprReportSettings&) const = default;
};

// Longest password of RptPW, RptOptPW and RptSetUpPW, and of TextTruncSymbol and the export
// characters.
inline constexpr std::size_t kGprMaxPasswordLength = 10;
inline constexpr std::size_t kGprMaxTruncSymbolLength = 3;
inline constexpr std::size_t kGprMaxExportCharLength = 3;

}  // namespace gpr
