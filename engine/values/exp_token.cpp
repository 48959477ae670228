// TExpToken: clearing, copying and the value buffer of an expression node.
#include "engine/values/exp_token.h"

#include <algorithm>

namespace quarry {

TExpToken::TExpToken() : Value(kBufferGranule, 0) {}

void TExpToken::Clear() {
  Text.clear();
  NodeClass = OpCode = 0;
  OptimizeLevel = OptimizeHint1 = OptimizeHint2 = 0;
  EstimatedCount = EstimatedCost = -1;
  JoinKind = 0;
  OuterJoinOn = 0;
  OuterJoinInner = nullptr;
  JoinExamined = false;
  ColumnName.clear();
  FieldNo = 0;
  TableName.clear();
  SourceTable = nullptr;
  SubQuery = nullptr;
  Value.assign(kBufferGranule, 0);
  IsNull = IsParam = false;
  PartialLength = 0;
  CaseInsensitive = false;
  DataType = SubType = 0;
  ValueSize = 0;
  Scale = 0;
  FromString = false;
  SavedType = SavedSubType = 0;
  SavedSize = 0;
  SavedScale = 0;
  Parent = Left = Right = nullptr;
  Args.clear();
}

void TExpToken::Assign(const TExpToken& other) {
  if (this != &other) *this = other;
}

void TExpToken::AssignValue(const TExpToken& other) {
  if (this == &other) return;
  NodeClass = other.NodeClass;
  OpCode = other.OpCode;
  ColumnName = other.ColumnName;
  FieldNo = other.FieldNo;
  TableName = other.TableName;
  SourceTable = other.SourceTable;
  SubQuery = other.SubQuery;
  IsNull = other.IsNull;
  IsParam = other.IsParam;
  DataType = other.DataType;
  SubType = other.SubType;
  Scale = other.Scale;
  FromString = other.FromString;
  SavedType = other.SavedType;
  SavedSubType = other.SavedSubType;
  SavedSize = other.SavedSize;
  SavedScale = other.SavedScale;
  if (Value.size() < other.Value.size()) Value.resize(other.Value.size(), 0);
  // Bytes past the other's value are zero there; copying its used part keeps that true here
  // as long as this buffer was zero beyond it, which a cleared node is.
  const std::size_t used =
      std::min(other.Value.size(), std::max<std::size_t>(static_cast<std::size_t>(std::max(other.ValueSize, 0)), 64));
  std::copy(other.Value.begin(), other.Value.begin() + static_cast<std::ptrdiff_t>(used), Value.begin());
  ValueSize = other.ValueSize;
}

void TExpToken::SetValueSize(int32_t size) {
  if (size < 0) size = 0;
  ValueSize = size;
  const std::size_t need = static_cast<std::size_t>(size);
  if (need > Value.size()) {
    const std::size_t granules = (need + kBufferGranule - 1) / kBufferGranule;
    Value.resize(granules * kBufferGranule, 0);
  }
}

void TExpToken::SetArg(std::size_t i, TExpToken* node) {
  if (i >= Args.size()) Args.resize(i + 1, nullptr);
  Args[i] = node;
}

std::string TExpToken::GetString() const {
  const auto end = std::find(Value.begin(), Value.end(), uint8_t{0});
  return std::string(Value.begin(), end);
}

void TExpToken::PutString(const std::string& text) {
  const int32_t need = static_cast<int32_t>(text.size()) + 1;
  const int32_t keep = std::max(ValueSize, need);
  SetValueSize(need);
  std::fill(Value.begin(), Value.end(), uint8_t{0});
  std::memcpy(Value.data(), text.data(), text.size());
  ValueSize = keep;
}

void TExpToken::SetType(uint8_t type, uint8_t subType, int32_t size, uint8_t scale) {
  DataType = type;
  SubType = subType;
  Scale = scale;
  SetValueSize(size);
}

void TExpToken::ZeroValue() { std::fill(Value.begin(), Value.end(), uint8_t{0}); }

}  // namespace quarry
