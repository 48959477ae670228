// TObjInfo: the printed object of one print request - what kind of object it is, its
// dataset, its columns, its row counts - and the event handlers copied from the component
// when the request starts, so that changing them during a request has no effect until the
// next one. TgprFieldInfo describes the cell being printed, for the cell events.
//
// Qt-free: the component (print/grid_printer.h) reads the grid through the grid's interface
// and hands the result over as TgprGridColumn records and record numbers.
//
// The handlers take no sender argument: a handler that needs the component captures it.
#pragma once

#include "print/core/cols_list.h"
#include "print/core/report_settings.h"

#include <functional>
#include <string>
#include <vector>

namespace quarry {
class TClientDataSet;
class TQuarryDataSet;
}  // namespace quarry

namespace gpr {

// A rectangle of a cell on the page, in characters and lines.
struct TgprCellRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  bool operator==(const TgprCellRect&) const = default;
};

// Which part of the report a cell belongs to.
enum TgprCellPart : int { cpTitle = 0, cpData = 1, cpTotal = 2 };

// The cell being printed.
struct TgprFieldInfo {
  const TColInfo* Column = nullptr;  // its column record
  quarry::TDataFieldType DataType = quarry::TDataFieldType::ftUnknown;
  std::string Text;  // the text printed
  double Value = 0;  // its numeric value, when it has one
  bool HasValue = false;
  TgprCellPart Part = cpData;
  int Line = 0;       // the report line number of the row (data cells)
  int Position = -1;  // the row's position in the result set, from 0 (data cells)
};

using TgprAfterOptionsLoaded = std::function<void(TgprReportSettings& reportSettings)>;
using TgprZeroColumnTotals = std::function<void()>;
using TgprFieldEdit = std::function<void(std::string& fldStr, const TgprFieldInfo& fieldInfo)>;
using TgprFieldAlign =
    std::function<void(std::string& fldStr, bool& alignField, TgprAlignment& alignment, TgprCellRect& dataRect,
                       const TgprCellRect& maxRect, const TgprFieldInfo& fieldInfo)>;
using TgprCnvtFldError = std::function<void(const std::string& fldStr, const TgprFieldInfo& fieldInfo)>;
// dataSet: the printed result set (nullptr when an engine dataset is printed).
using TgprFilterRecord =
    std::function<void(quarry::TClientDataSet* dataSet, int gridRow, bool& accept, bool& terminateReport)>;

// The event handlers of the component, as copied into a request.
struct TgprEvents {
  TgprAfterOptionsLoaded AfterOptionsLoaded;
  TgprZeroColumnTotals OnZeroColumnTotals;
  TgprFieldEdit OnFieldEdit;
  TgprFieldAlign OnFieldAlign;
  TgprCnvtFldError OnCnvtFldError;
  TgprFilterRecord OnFilterRecord;
};

struct TObjInfo {
  TgprObjectKind Kind = okNotPrintable;
  std::string ObjectName;     // the printed object's name, for messages
  std::string ComponentName;  // the component's name, or "TGprGridPrinter" when it has none

  // The rows: the grid's result set, or the result set printed on its own.
  quarry::TClientDataSet* DataSet = nullptr;
  // A table or query dataset printed on its own (kinds okTable, okQuery, okDataSet).
  quarry::TQuarryDataSet* EngineDataSet = nullptr;
  std::string DataSetName;

  TColsList Columns;
  int AverageCharWidth = 1;  // the grid font's average character width in pixels

  int RowCount = 0;               // rows to print: the record count or the estimate
  std::vector<int> SelectedRows;  // record numbers of the grid's selected rows, ascending
  int SelectedRowCount() const { return static_cast<int>(SelectedRows.size()); }
  int SavedRecNo = 0;  // the dataset's current record when the request started

  TgprEvents Events;
};

}  // namespace gpr
