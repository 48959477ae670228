// Column totals of the text report: reading `ColumnTotals` into the columns' accumulators,
// adding values, and the text a total prints.
//
// `ColumnTotals` is a run of entries, each ended by a double quote and a semicolon:
// column name, break-level name, total kind name, format string in double quotes. Fields are
// split at commas (so a format ends at the next comma) and the quotes removed. The level is
// the position (from 1) of the break-level name in `GroupColumns`; an empty or unknown name
// is level 0, the grand total. Only grand totals print; the others accumulate.
//
// Format strings are the user's: they are never handed to printf. One conversion
// (%[-][width][.precision]letter, letters F E G N M D, either case; %% a percent sign) is
// understood, the text around it is printed as it is.
#pragma once

#include "print/core/cols_list.h"
#include "print/core/obj_info.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace gpr {

// Fills each column's Totals and TotalFormat from the settings; entries naming an unknown
// column or total kind are ignored.
void ApplyColumnTotals(TColsList& columns, std::string_view columnTotals, std::string_view groupColumns);
bool HasGrandTotals(const TColsList& columns);
// The columns' totals written back as `ColumnTotals` (the reverse of ApplyColumnTotals).
std::string ColumnTotalsText(const TColsList& columns, std::string_view groupColumns);
// Sets (or with tkNone removes) a column's grand total, keeping its other totals.
void SetGrandTotal(TColInfo& column, TgprTotalKind kind);
// Why a total's format string cannot be used, or nullopt when it can: a conversion must end
// in one of F E G N M D, and the text may hold no comma or double quote (they end an entry
// of `ColumnTotals`).
std::optional<std::string> FormatStringProblem(std::string_view format);
const TColTotal* GrandTotal(const TColInfo& column);

void ZeroTotals(TColsList& columns);
void AddTotalValue(TColTotal& total, double value);
// Adds one row's values to the totals of every column that has any. `valueText` gives a
// column's text in the row (line-number columns count `lineNumber`); a text that is not a
// number is left out and reported through `onError` when it is set.
void AddRowToTotals(TColsList& columns, int position, long long lineNumber, const TgprCnvtFldError& onError,
                    const std::function<std::string(const TColInfo& column)>& valueText);
// The result of a total; nullopt when it does not exist ("n/a").
std::optional<double> TotalResult(const TColTotal& total);

// A cell value as a number for the totals: string and memo texts keep only "-", digits and
// the decimal point (an empty rest is 0); other columns must read as a number. nullopt when
// the text does not convert.
std::optional<double> TotalNumberOf(std::string_view text, TgprDataClass dataClass);

// The text a column's grand total prints (empty when it has none).
std::string GrandTotalText(const TColInfo& column, bool fieldFormat);

// The shortest general form of a number ("12.5", "3", "1e+20").
std::string PlainNumber(double value);
// format applied to value as described above.
std::string FormatTotal(std::string_view format, double value);

}  // namespace gpr
