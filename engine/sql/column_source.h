// Where expressions find their columns: the resolver used by type checking and the value
// provider used by evaluation, plus TRecordColumnSource, both over the field definitions
// of one table and a record image.
//
// Cursors (filters) and the SQL engine (source tables, result records) supply their own
// implementations; TRecordColumnSource serves simple cases and tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/storage/data/field_definition.h"
#include "engine/values/exp_token.h"

namespace quarry {

// A column or table name without its leading and trailing blanks and control characters, as
// names are compared.
std::string TrimBlanks(const std::string& s);

class TColumnResolver {
 public:
  virtual ~TColumnResolver() = default;
  // Looks the column up by TableName (empty: unqualified) and ColumnName and fills FieldNo,
  // DataType, SubType, ValueSize and Scale. False when there is no such column.
  virtual bool ResolveColumn(TExpToken& column) = 0;
};

class TColumnValueProvider {
 public:
  virtual ~TColumnValueProvider() = default;
  // Fills the value and IsNull of a resolved column node from the record. String and memo
  // values are zero-terminated texts; other BLOBs carry their bytes (ValueSize = length).
  virtual void ProvideColumnValue(TExpToken& column, const uint8_t* record) = 0;
};

// Field values read straight from a record image laid out by the field definitions.
// BLOB contents come from the optional reader (none: a BLOB reads as NULL).
class TRecordColumnSource : public TColumnResolver, public TColumnValueProvider {
 public:
  using TBlobReader = std::function<bool(const TFieldDefinition& field, const uint8_t* record, std::string& contents)>;

  // tableName: the name (or correlation name) a qualified column must carry to match.
  explicit TRecordColumnSource(std::vector<TFieldDefinition> fields, std::string tableName = "",
                               TBlobReader blobReader = {});

  bool ResolveColumn(TExpToken& column) override;
  void ProvideColumnValue(TExpToken& column, const uint8_t* record) override;

  const std::vector<TFieldDefinition>& Fields() const { return FieldList; }
  // The field of a name (trimmed, without regard to case), or null.
  const TFieldDefinition* FindField(const std::string& name) const;

 private:
  std::vector<TFieldDefinition> FieldList;
  std::string TableName;
  TBlobReader BlobReader;
};

}  // namespace quarry
