// TVectorRowSource: a row source over rows held in memory. Each value is a text or null;
// integer fields hold decimal text and are parsed when read as integers. Used by tests and
// benchmarks in place of an engine query, and by callers that already hold their rows.
#pragma once

#include "dbaccess/row_source.h"

#include <optional>
#include <string>
#include <vector>

namespace quarry {

using TSourceValue = std::optional<std::string>;  // nullopt = null
using TSourceRow = std::vector<TSourceValue>;

// Invariant: every row has exactly FieldDefs().size() values (checked by AddRow).
class TVectorRowSource : public TRowSource {
 public:
  explicit TVectorRowSource(std::vector<TResultFieldDef> fields);

  // Appends a row; throws EDataSetError when its value count differs from the field count.
  void AddRow(TSourceRow row);
  size_t RowCount() const { return rows_.size(); }
  // Makes the walk throw EDataSetError when it reaches the row at this position (0-based),
  // as a failing engine read would; -1 (the default) never fails.
  void FailAtRow(long row) { fail_at_ = row; }

  std::vector<TResultFieldDef> FieldDefs() const override { return fields_; }
  void First() override;
  void Next() override;
  bool Eof() const override { return pos_ >= rows_.size(); }
  bool IsNull(int field) const override;
  std::string AsString(int field) const override;
  int32_t AsInteger(int field) const override;

 private:
  const TSourceValue& Value(int field) const;
  void CheckFailure() const;

  std::vector<TResultFieldDef> fields_;
  std::vector<TSourceRow> rows_;
  size_t pos_ = 0;
  long fail_at_ = -1;
};

// Parses a whole decimal integer text (surrounding blanks allowed) into 32 bits; throws
// EDataSetError "'<text>' is not a valid integer value" otherwise.
int32_t ParseIntegerText(const std::string& text);

}  // namespace quarry
