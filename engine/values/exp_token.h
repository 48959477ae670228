// The expression node, TExpToken, and the codes that classify it.
//
// One type serves both as a node of a parsed expression tree (filters and every
// expression of an SQL statement) and as the carrier of one value while a tree is
// evaluated. The scanner/parser build trees of these nodes, the type checker fills in
// types and resolved columns, the preparer folds constants, the evaluator returns
// fresh value nodes. Every node comes from, and goes back to, TExpTokenStack.
//
// Ownership: a tree's root owns its subtree (Left, Right, Args). Parent, SourceTable
// and SubQuery are plain references; the nested query of a sub-select belongs to the
// SQL statement that created it, never to the node.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/values/byte_image.h"
#include "engine/values/field_types.h"

namespace quarry {

class TDataQuery;    // a query block of an SQL statement (owned by the statement)
class TSourceTable;  // a source table of a query (owned by its query)

// Node classes (NodeClass).
namespace nc {
inline constexpr uint8_t Unary = 1;
inline constexpr uint8_t Binary = 2;
inline constexpr uint8_t PartialCompare = 3;  // made from =, <>, LIKE by preparation only
inline constexpr uint8_t Column = 4;
inline constexpr uint8_t Constant = 5;  // also a ? parameter
inline constexpr uint8_t SubSelect = 6;
inline constexpr uint8_t Function = 10;   // functions and aggregates
inline constexpr uint8_t Predicate = 12;  // BETWEEN, LIKE, IN
}  // namespace nc

// Operator, function and predicate codes (OpCode).
namespace op {
inline constexpr uint8_t Equal = 3;
inline constexpr uint8_t NotEqual = 4;
inline constexpr uint8_t Greater = 5;
inline constexpr uint8_t Less = 6;
inline constexpr uint8_t GreaterEqual = 7;
inline constexpr uint8_t LessEqual = 8;
inline constexpr uint8_t Not = 9;
inline constexpr uint8_t And = 10;
inline constexpr uint8_t Or = 11;
inline constexpr uint8_t Negate = 15;
inline constexpr uint8_t Plus = 16;  // unary plus
inline constexpr uint8_t Add = 17;   // + and ||
inline constexpr uint8_t Subtract = 18;
inline constexpr uint8_t Multiply = 19;
inline constexpr uint8_t Divide = 20;

// Aggregates.
inline constexpr uint8_t Sum = 23;
inline constexpr uint8_t RunSum = 24;
inline constexpr uint8_t Count = 25;
inline constexpr uint8_t Min = 26;
inline constexpr uint8_t Max = 27;
inline constexpr uint8_t Avg = 28;

// Predicates (class 12).
inline constexpr uint8_t Like = 32;
inline constexpr uint8_t InList = 33;
inline constexpr uint8_t InSelect = 34;
inline constexpr uint8_t Between = 41;
inline constexpr uint8_t NotBetween = 42;
inline constexpr uint8_t NotLike = 43;
inline constexpr uint8_t NotInList = 44;
inline constexpr uint8_t NotInSelect = 45;

// Functions (class 10).
inline constexpr uint8_t Upper = 36;
inline constexpr uint8_t Lower = 37;
inline constexpr uint8_t Substring = 46;
inline constexpr uint8_t Replace = 47;
inline constexpr uint8_t Pos = 48;
inline constexpr uint8_t Occurs = 49;
inline constexpr uint8_t TrimLeading = 50;
inline constexpr uint8_t TrimTrailing = 51;
inline constexpr uint8_t TrimBoth = 52;
inline constexpr uint8_t Length = 53;
inline constexpr uint8_t Cast = 54;
inline constexpr uint8_t ExtractYear = 55;
inline constexpr uint8_t ExtractMonth = 56;
inline constexpr uint8_t ExtractWeek = 57;
inline constexpr uint8_t ExtractDay = 58;
inline constexpr uint8_t ExtractDayOfWeek = 59;
inline constexpr uint8_t ExtractDayOfYear = 60;
inline constexpr uint8_t ExtractHour = 61;
inline constexpr uint8_t ExtractMinute = 62;
inline constexpr uint8_t ExtractSecond = 63;
inline constexpr uint8_t If = 64;
inline constexpr uint8_t Coalesce = 65;
inline constexpr uint8_t IfNull = 66;
inline constexpr uint8_t Abs = 67;
inline constexpr uint8_t Round = 68;
inline constexpr uint8_t TextSearch = 69;
inline constexpr uint8_t TextOccurs = 70;
inline constexpr uint8_t LastAutoInc = 71;
inline constexpr uint8_t IdentCurrent = 72;
}  // namespace op

// Data type codes of node values: the field type numbers of the table format.
namespace vt {
inline constexpr uint8_t Unknown = 0;  // a bare NULL
inline constexpr uint8_t String = 1;
inline constexpr uint8_t Date = 2;
inline constexpr uint8_t Blob = 3;
inline constexpr uint8_t Boolean = 4;
inline constexpr uint8_t SmallInt = 5;
inline constexpr uint8_t Integer = 6;
inline constexpr uint8_t Float = 7;
inline constexpr uint8_t Bcd = 8;
inline constexpr uint8_t Bytes = 9;
inline constexpr uint8_t Time = 10;
inline constexpr uint8_t Timestamp = 11;
inline constexpr uint8_t Word = 12;
inline constexpr uint8_t VarBytes = 15;
inline constexpr uint8_t LargeInt = 18;
static_assert(String == static_cast<uint8_t>(TFieldType::String) &&
              Timestamp == static_cast<uint8_t>(TFieldType::TimeStamp) &&
              VarBytes == static_cast<uint8_t>(TFieldType::VarBytes) &&
              LargeInt == static_cast<uint8_t>(TFieldType::LargeInt));
}  // namespace vt

// Subtype codes.
namespace st {
inline constexpr uint8_t None = 0;
inline constexpr uint8_t Money = 21;
inline constexpr uint8_t Memo = 22;
inline constexpr uint8_t Binary = 23;
inline constexpr uint8_t FormattedMemo = 24;
inline constexpr uint8_t Graphic = 26;
inline constexpr uint8_t TypedBinary = 28;
inline constexpr uint8_t AutoInc = 29;
static_assert(Memo == subtype::Memo && AutoInc == subtype::AutoInc && Money == subtype::Money);
}  // namespace st

// Parse flags, passed down through every grammar level.
namespace pf {
inline constexpr uint8_t Aggregates = 1;
inline constexpr uint8_t AllColumns = 2;
inline constexpr uint8_t Predicates = 4;
inline constexpr uint8_t Parameters = 8;
inline constexpr uint8_t SubSelects = 16;
}  // namespace pf

// Invariants: Value.size() is a multiple of kBufferGranule, at least one granule and at least
// ValueSize; bytes beyond ValueSize are zero after Clear. Boolean results of
// operators are stored as 1 or 0.
class TExpToken {
 public:
  // Value buffers grow in steps of this many bytes: enough for every fixed-size value
  // and short texts, small enough that clearing a node stays cheap.
  static constexpr std::size_t kBufferGranule = 64;

  TExpToken();

  std::string Text;
  uint8_t NodeClass = 0;
  uint8_t OpCode = 0;
  uint8_t OptimizeLevel = 0;
  uint8_t OptimizeHint1 = 0;
  uint8_t OptimizeHint2 = 0;
  int32_t EstimatedCount = -1;
  int32_t EstimatedCost = -1;
  uint8_t JoinKind = 0;
  // An AND part of the ON condition of a LEFT or RIGHT JOIN (2 or 3), 0 elsewhere, and the
  // join's inner table when the parser can name it: a part that reads the inner table or
  // the tables it is joined to decides which inner rows match, not which rows are kept.
  uint8_t OuterJoinOn = 0;
  const TSourceTable* OuterJoinInner = nullptr;
  bool JoinExamined = false;
  std::string ColumnName;
  int16_t FieldNo = 0;
  std::string TableName;
  TSourceTable* SourceTable = nullptr;
  TDataQuery* SubQuery = nullptr;
  std::vector<uint8_t> Value;
  bool IsNull = false;
  bool IsParam = false;
  int32_t PartialLength = 0;
  bool CaseInsensitive = false;
  uint8_t DataType = 0;
  uint8_t SubType = 0;
  int32_t ValueSize = 0;
  uint8_t Scale = 0;
  bool FromString = false;
  uint8_t SavedType = 0;
  uint8_t SavedSubType = 0;
  int32_t SavedSize = 0;
  uint8_t SavedScale = 0;
  TExpToken* Parent = nullptr;
  TExpToken* Left = nullptr;
  TExpToken* Right = nullptr;
  std::vector<TExpToken*> Args;

  // Back to the state of a fresh node (does not release children: the caller owns them).
  void Clear();
  // Copies every field; the argument list is a shallow copy of the same references.
  void Assign(const TExpToken& other);
  // Copies what a value carries (type, size, scale, NULL flag, the value bytes, and the
  // column identity a value provider needs), but not the source text or the tree links.
  void AssignValue(const TExpToken& other);
  // Sets ValueSize, growing the buffer (zero-filled) when it does not fit; never shrinks.
  void SetValueSize(int32_t size);
  TExpToken* Arg(std::size_t i) const { return i < Args.size() ? Args[i] : nullptr; }
  void SetArg(std::size_t i, TExpToken* node);

  // Typed access (little-endian) to the first bytes of the value buffer.
  template <typename T>
  T Get() const {
    return bytes::Load<T>(Value.data());
  }
  template <typename T>
  void Put(T v) {
    bytes::Store<T>(Value.data(), v);
  }
  // The zero-terminated text held in the buffer (string and memo values).
  std::string GetString() const;
  // Stores a string value; ValueSize becomes at least text length + 1.
  void PutString(const std::string& text);
  // Sets the node's type, subtype and size together.
  void SetType(uint8_t type, uint8_t subType, int32_t size, uint8_t scale = 0);
  // Zeroes the value bytes (NULL values hold zeroes).
  void ZeroValue();
};

}  // namespace quarry
