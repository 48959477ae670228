// TQuarryParam and TQuarryParams: the parameters of a query, found in its SQL lines as
// ":name" marks, and the packing of their values into the block the engine's statement binds.
//
// A parameter has a name, a data type (unknown until a value or a type is given) and a value.
// Values given by hand are marked bound; a query with a data source fills the others from the
// master's fields of the same name before each open.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dbaccess/quarry_dataset.h"
#include "engine/sql/query_statement.h"

namespace quarry {

class TQuarryParam {
 public:
  explicit TQuarryParam(std::string name) : name_(std::move(name)) {}

  const std::string& Name() const { return name_; }
  TDataFieldType DataType() const { return dataType_; }
  void SetDataType(TDataFieldType type) { dataType_ = type; }
  const TDataValue& Value() const { return value_; }
  bool IsNull() const { return IsNullValue(value_); }
  bool Bound() const { return bound_; }
  void SetBound(bool bound) { bound_ = bound; }

  // Setting a value marks the parameter bound and, when its type is unknown, types it.
  void SetValue(const TDataValue& value);
  void SetAsString(std::string_view text) { SetValue(std::string(text)); }
  void SetAsInteger(std::int64_t value) { SetValue(value); }
  void SetAsFloat(double value) { SetValue(value); }
  void SetAsBoolean(bool value) { SetValue(value); }
  void Clear() { value_ = std::monostate{}; }
  // Takes a value from a master field without marking the parameter bound.
  void AssignFromField(const TQuarryField& field);

 private:
  std::string name_;
  TDataFieldType dataType_ = TDataFieldType::ftUnknown;
  TDataValue value_;
  bool bound_ = false;
};

class TQuarryParams {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  TQuarryParam& Items(int index);
  TQuarryParam* FindParam(std::string_view name);
  // "Parameter '%s' not found".
  TQuarryParam& ParamByName(std::string_view name);
  void Clear() { items_.clear(); }
  void Add(std::string name) { items_.emplace_back(std::move(name)); }
  // Takes over the type and value of parameters of the same name from old.
  void AssignValues(const TQuarryParams& old);

  // The engine's binding of every parameter, in order: a descriptor per parameter and one
  // data block. Fails with "No value for parameter '%s'" for a parameter of unknown type.
  struct TBinding {
    std::vector<TParameterDescriptor> Descriptors;
    std::vector<std::uint8_t> Data;
    std::vector<std::string> Blobs;  // bytes that the data block points to
  };
  TBinding Bind() const;

 private:
  std::vector<TQuarryParam> items_;
};

// Scans SQL text for ":name" parameter marks outside quotes (a doubled "::" stands for ":").
// Returns the parameter names in order of appearance and gives the text with each mark
// replaced by "?".
std::vector<std::string> ScanParameters(std::string_view text, std::string& marked);

}  // namespace quarry
