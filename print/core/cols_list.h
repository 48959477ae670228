// TColsList: the printed columns of a request, in grid order - one TColInfo per grid column
// whose field is printable, behind the line-number pseudo column "~Line#" - and the total
// accumulators kept per column (TColTotList).
//
// A column list is built once per request from Qt-free inputs: the grid's columns as
// TgprGridColumn records (field name, title, pixel width) and the dataset that holds the
// fields. Columns of a dataset printed on its own are its fields, in field order. The grid
// column's own visibility is not consulted; a column is left out when its field is missing or
// of a type that cannot be printed, and it is printed unless `HideColumns` names it.
//
// The layout fills in the measured widths and the horizontal paging; the builder leaves them
// at zero.
#pragma once

#include "dbaccess/quarry_dataset.h"
#include "print/core/report_settings.h"

#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace quarry {
class TClientDataSet;
}

namespace gpr {

// Name of the line-number pseudo column.
inline constexpr const char* kGprLineNumberColumn = "~Line#";

// The data type class of a column.
enum TgprDataClass : int { dcString = 0, dcMemo = 1, dcBoolean = 2, dcNumeric = 3, dcOther = 4 };

// Whether a field of this type becomes a column record: strings, integers, booleans, floats,
// currency, BCD, dates and times, memos and formatted memos.
bool IsPrintableFieldType(quarry::TDataFieldType type);
TgprDataClass DataClassOf(quarry::TDataFieldType type);
// Alignment a field of this type has: numbers right, everything else left.
TgprAlignment FieldAlignmentOf(quarry::TDataFieldType type);

// A column of the grid as the component reads it (Qt-free copy of the grid's column).
struct TgprGridColumn {
  std::string FieldName;
  std::string Title;     // the title caption
  int WidthPixels = 64;  // the column's width on screen
  bool Visible = true;   // the grid column's own visibility (not consulted for printing)
};

// A field of a dataset printed on its own.
struct TgprFieldDesc {
  std::string Name;
  quarry::TDataFieldType Type = quarry::TDataFieldType::ftUnknown;
  int Size = 0;
};

// One total accumulator of a column, at one break level (0 the grand total).
struct TColTotal {
  TgprTotalKind Kind = tkNone;
  int Level = 0;
  long Count = 0;
  long double Sum = 0;
  long double SumSquares = 0;
  double Min = std::numeric_limits<double>::infinity();
  double Max = std::numeric_limits<double>::lowest();
};
using TColTotList = std::vector<TColTotal>;

// One column record.
struct TColInfo {
  std::string Name;   // the field name; kGprLineNumberColumn for the line-number column
  std::string Title;  // title text ("#" for the line-number column)
  int FieldNo = -1;   // field number in the dataset (from 0); -1 for the line-number column
  quarry::TDataFieldType FieldType = quarry::TDataFieldType::ftUnknown;
  TgprDataClass DataClass = dcOther;
  int FieldSize = 0;  // declared size of a string field, in bytes
  TgprAlignment Alignment = gaLeft;
  bool Visible = true;  // printed: not named in HideColumns
  int GridWidthPixels = 0;
  int GridWidthChars = 0;  // GridWidthPixels in the grid font's average characters, rounded up

  // Filled by the column scan and the horizontal paging.
  int TitleWidth = 0;
  std::string TitleWidthText;
  int DataWidth = 0;
  std::string DataWidthText;
  int TotalWidth = 0;
  std::string TotalWidthText;
  int Width = 0;        // final width in characters
  int AcrossIndex = 0;  // horizontal page, from 1
  int XPos = 0;         // position on that page
  int FreeLeft = 0;
  int FreeRight = 0;
  bool FirstOnPage = false;
  bool LastOnPage = false;
  bool Fixed = false;  // repeated on every horizontal page

  std::string TotalFormat;  // one format string for all the column's totals
  TColTotList Totals;

  bool IsLineNumber() const { return FieldNo < 0; }
};

class TColsList {
 public:
  TColsList() = default;

  // Builds the list for a grid: the line-number column, then one record per grid column
  // whose field the dataset has and can print. averageCharWidth is the grid font's average
  // character width in pixels (at least 1 is used).
  static TColsList FromGrid(const std::vector<TgprGridColumn>& gridColumns, const quarry::TClientDataSet& dataSet,
                            int averageCharWidth, std::string_view hideColumns);
  // Builds the list for a dataset printed on its own: its fields in order.
  static TColsList FromDataSet(const quarry::TClientDataSet& dataSet, std::string_view hideColumns);
  // Builds the list from field descriptions (an engine dataset): the printable ones in order.
  static TColsList FromFields(const std::vector<TgprFieldDesc>& fields, std::string_view hideColumns);

  std::vector<TColInfo>& Items() { return items_; }
  const std::vector<TColInfo>& Items() const { return items_; }
  int Count() const { return static_cast<int>(items_.size()); }
  TColInfo& operator[](int index) { return items_[index]; }
  const TColInfo& operator[](int index) const { return items_[index]; }

  // The column of that name (ignoring case), or nullptr.
  const TColInfo* Find(std::string_view name) const;
  TColInfo* Find(std::string_view name);
  // Columns printed (Visible), the line-number column included when it is.
  int VisibleCount() const;
  bool LineNumberVisible() const;

  // Marks each column visible unless `HideColumns` (a comma list, names compared ignoring
  // case) names it.
  void ApplyHideColumns(std::string_view hideColumns);

 private:
  std::vector<TColInfo> items_;
};

// The names of a comma list, trimmed, empty ones left out.
std::vector<std::string> SplitCommaList(std::string_view list);

}  // namespace gpr
