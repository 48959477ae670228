// Helpers shared by the session, table and transaction tests: a small table layout (ID
// primary key, COUNTER, NAME with a secondary index), record images of it, and the engine
// error code an operation raises.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "engine/storage/data/record_buffer.h"
#include "engine/storage/errors/engine_error.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/table.h"
#include "engine/storage/table/table_records.h"

namespace quarry::testing {

// The engine error code f raises; 0 when it returns normally.
template <typename F>
int CodeOf(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return ErrorCodeOf(e);
  }
  return 0;
}

inline TFieldDefinition Field(int number, const char* name, TFieldType type, int size = 0) {
  TFieldDefinition f;
  f.FieldNo = static_cast<std::uint16_t>(number);
  f.Name = name;
  f.DataType = type;
  f.Size = static_cast<std::uint8_t>(size);
  return f;
}

// ID INTEGER (primary key), COUNTER INTEGER, NAME CHAR(20) (secondary index BYNAME).
inline TTableDefinition CounterTable() {
  TTableDefinition d;
  d.Fields = {Field(1, "ID", TFieldType::Integer), Field(2, "COUNTER", TFieldType::Integer),
              Field(3, "NAME", TFieldType::String, 20)};
  d.Primary.FieldCount = 1;
  d.Primary.FieldNumbers[0] = 1;
  d.Primary.Unique = true;
  TIndexDefinition byName;
  byName.Name = "BYNAME";
  byName.FieldCount = 1;
  byName.FieldNumbers[0] = 3;
  d.Secondaries.push_back(byName);
  return d;
}

// A record image of the counter table.
inline TRecordImage CounterRow(TDataTable& table, std::int32_t id, std::int32_t counter,
                               const std::string& name = "row") {
  TRecordImage image(static_cast<std::size_t>(table.Data().RecordSize()), 0);
  SetFieldInteger(image.data(), *table.Data().FieldByNumber(1), id);
  SetFieldInteger(image.data(), *table.Data().FieldByNumber(2), counter);
  table.Data().SetString(image.data(), *table.Data().FieldByNumber(3), name);
  return image;
}

inline std::int32_t IdOf(TDataTable& table, const TRecordImage& image) {
  return GetFieldInteger(image.data(), *table.Data().FieldByNumber(1));
}
inline std::int32_t CounterOf(TDataTable& table, const TRecordImage& image) {
  return GetFieldInteger(image.data(), *table.Data().FieldByNumber(2));
}

// Opens a table of a directory for a scope (the use a cursor would make of it).
class TTableUse {
 public:
  TTableUse(TDataDirectory& directory, const std::string& name, bool exclusive = false, bool readOnly = false)
      : directory_(directory), table_(&directory.OpenTable(name, false, exclusive, readOnly)) {}
  ~TTableUse() {
    if (table_) directory_.CloseTable(*table_);
  }
  TTableUse(const TTableUse&) = delete;
  TTableUse& operator=(const TTableUse&) = delete;
  TDataTable& operator*() const { return *table_; }
  TDataTable* operator->() const { return table_; }
  // Closes now.
  void Close() {
    if (table_) directory_.CloseTable(*table_);
    table_ = nullptr;
  }

 private:
  TDataDirectory& directory_;
  TDataTable* table_;
};

}  // namespace quarry::testing
