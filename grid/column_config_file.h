// The result grid's column configuration file: the column collection written as text, read
// back by the grid that names it.
//
// UTF-8 text in sections of key=value lines, one section per column in display order:
//
//   [Grid Columns]
//   Count=<number of column sections that follow>
//
//   [Column <n>]             n = 1..Count, in display order
//   FieldName=<field shown>
//   Title=<title caption>
//   Width=<pixels, 0..32767>
//   Visible=<1|0>
//   Alignment=<Left|Right|Center>        cell text
//   TitleAlignment=<Left|Right|Center>   title caption
//   Font=<QFont::toString() form>        optional; absent = the grid's font
//   TitleFont=<QFont::toString() form>   optional; absent = the grid's title font
//   TextColor=<#rrggbb>                  optional; absent = the grid's text colour
//
// Values run to the end of the line; a backslash, a carriage return and a line feed inside
// a value are written "\\", "\r" and "\n". Blank lines and lines starting with ";" are
// ignored, as are keys this version does not know. Everything else that does not fit (a
// missing or wrong count, a bad number, a column without a field name) makes the file
// invalid: reading it throws EGridColumnsError and nothing is changed.
#pragma once

#include "grid/grid_column.h"

#include <QString>

#include <stdexcept>
#include <vector>

class EGridColumnsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the columns from the file. Throws EGridColumnsError when it cannot be read or is
// not a valid column configuration.
std::vector<TGridColumn> ReadColumnFile(const QString& fileName);

// Writes the columns to the file, replacing it as a whole (a failed write leaves the old
// file). Throws EGridColumnsError when it cannot be written.
void WriteColumnFile(const QString& fileName, const std::vector<TGridColumn>& columns);
