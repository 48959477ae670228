// TDataSetRowSource: an open dataset (normally the search query) seen as the TRowSource the
// in-memory result set copies from. Integer-typed fields are integer columns; every other
// field is a text column with its declared size.
//
// The adapter does not own the dataset; the dataset must stay open while the result set
// copies from it. The walk uses the dataset's own First/Next, so its scroll events fire.
#pragma once

#include "dbaccess/quarry_dataset.h"
#include "dbaccess/row_source.h"

namespace quarry {

class TDataSetRowSource : public TRowSource {
 public:
  explicit TDataSetRowSource(TQuarryDataSet& dataSet) : dataSet_(dataSet) {}

  std::vector<TResultFieldDef> FieldDefs() const override;
  void First() override { dataSet_.First(); }
  void Next() override { dataSet_.Next(); }
  bool Eof() const override { return dataSet_.Eof(); }
  bool IsNull(int field) const override { return dataSet_.Fields(field).IsNull(); }
  std::string AsString(int field) const override { return dataSet_.Fields(field).AsString(); }
  void AppendString(int field, std::string& out) const override { dataSet_.AppendFieldText(field, out); }
  std::int32_t AsInteger(int field) const override { return dataSet_.Fields(field).AsInteger(); }
  std::int64_t RowCountHint() const override { return dataSet_.RecordCount(); }

 private:
  TQuarryDataSet& dataSet_;
};

}  // namespace quarry
