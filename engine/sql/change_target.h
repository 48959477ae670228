// TTargetColumns: the columns an INSERT or UPDATE writes, their values, and how one value is
// put into the target's record.
//
// Preparation resolves each target column in the target table (a `*` of INSERT without a
// column list stands for every column), checks that there are as many values as columns,
// type-checks the values and turns a constant of another type than its column into the
// column's type where the rules allow (a date text for a date column), refusing the rest.
// Storing a value: NULL makes the field NULL; a BLOB column gets the value's bytes through an
// open BLOB of the record buffer (posted with the record); any other value is converted to
// the column's type when its type differs (ConvertValueBuffer) and put into the field. A value
// that does not convert raises "Type mismatch between column C and constant value V in INSERT
// statement" (UPDATE statement for UPDATE).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/sql/column_source.h"
#include "engine/sql/data_query.h"
#include "engine/sql/expression_owner.h"
#include "engine/storage/data/field_definition.h"

namespace quarry {

class TDataCursor;

struct TTargetColumn {
  TFieldDefinition Field;         // the target's field (its number is the cursor's)
  TUpdateValue* Value = nullptr;  // the value written, null for INSERT ... SELECT
  std::string ValueText;          // the value's source text, for messages
  TExpTree Prepared;              // this execution's value tree (UPDATE)
};

class TTargetColumns {
 public:
  // Resolves the query's target columns (steps over TUpdateField) in the target table;
  // correlation is the target's correlation name. Raises "Invalid column name ..." for a
  // column the table does not have.
  void Resolve(const TDataQuery& query, const TDataCursor& target, const std::string& correlation);
  // "The number of values must match the number of table columns" unless count is right.
  void CheckCount(std::size_t values) const;
  // Type-checks every value in context ("insert values" or "update values"); the resolver
  // (null: no column may be named) and whether string constants may name columns.
  void CheckValues(const std::string& context, TColumnResolver* resolver, TExpressionOwner* owner,
                   bool stringsMayBeColumns);

  std::vector<TTargetColumn>& Columns() { return columns_; }
  const std::vector<TTargetColumn>& Columns() const { return columns_; }
  // Field numbers of the BLOB columns written.
  std::vector<int> BlobFields() const;

  // Puts value into the column's field of record (a buffer of the cursor). statement names
  // the statement in the conversion message; truncateBlob empties the BLOB first (UPDATE).
  static void Store(TDataCursor& cursor, std::uint8_t* record, const TTargetColumn& column, const TExpToken& value,
                    const char* statement, bool truncateBlob);

 private:
  std::vector<TTargetColumn> columns_;

  void CheckConstant(TExpToken& value, const TFieldDefinition& field, const std::string& context) const;
};

// A value node holding a field's value from a record of the cursor (BLOBs read whole).
TExpTree RecordFieldValue(TDataCursor& cursor, const TFieldDefinition& field, const std::uint8_t* record);

}  // namespace quarry
