// Field data types shared by the table format, the expression engine and SQL.
//
// The type and subtype numbers are stored in the data file's field definitions and exchanged
// with the dataset and SQL layers, so their values never change. Storage size is the number of
// data bytes a value takes in a record (after its one null-flag byte):
//
// | type | name       | subtypes                                   | storage size      | stored value |
// |------|------------|--------------------------------------------|-------------------|--------------|
// |  0   | Null       | (type of a bare NULL; invalid in a table)   | -                 | -            |
// |  1   | String     | 0; 31 fixed length; 32 wide                | declared size + 1 | zero-terminated text, trailing blanks removed |
// |  2   | Date       | 0                                          | 4                 | int32 day number, 0001-01-01 = 1 |
// |  3   | Blob       | 0; 22 memo; 23 binary; 24 formatted memo; 26 graphic; 28 typed binary | 8 | int32 first block, int32 change number |
// |  4   | Boolean    | 0                                          | 2                 | uint16 0 or 1 |
// |  5   | SmallInt   | 0                                          | 2                 | int16 |
// |  6   | Integer    | 0; 29 auto-increment                       | 4                 | int32 |
// |  7   | Float      | 0; 21 money                                | 8                 | IEEE double |
// |  8   | Bcd        | 0                                          | 34                | TBcd (bcd.h) |
// |  9   | Bytes      | 0                                          | declared size     | raw bytes |
// | 10   | Time       | 0                                          | 4                 | int32 ms since midnight |
// | 11   | TimeStamp  | 0                                          | 8                 | double: day number * 86,400,000 + ms |
// | 12   | Word       | 0                                          | 2                 | uint16 |
// | 13   | Cardinal   | 0                                          | 4                 | uint32 |
// | 14   | Extended   | 0                                          | 10                | 80-bit float |
// | 15   | VarBytes   | 0                                          | declared size     | raw bytes |
// | 18   | LargeInt   | 0                                          | 8                 | int64 |
//
// Types 17 and 20..23 are accepted from the dataset layer with storage size 0; every other
// number (and 0) is not a valid field type.
#pragma once

#include <cstdint>

namespace quarry {

enum class TFieldType : std::uint8_t {
  Null = 0,
  String = 1,
  Date = 2,
  Blob = 3,
  Boolean = 4,
  SmallInt = 5,
  Integer = 6,
  Float = 7,
  Bcd = 8,
  Bytes = 9,
  Time = 10,
  TimeStamp = 11,
  Word = 12,
  Cardinal = 13,
  Extended = 14,
  VarBytes = 15,
  LargeInt = 18,
};

// Subtype numbers (stored beside the type).
namespace subtype {
constexpr std::uint8_t None = 0;
constexpr std::uint8_t Money = 21;          // Float
constexpr std::uint8_t Memo = 22;           // Blob
constexpr std::uint8_t Binary = 23;         // Blob
constexpr std::uint8_t FormattedMemo = 24;  // Blob
constexpr std::uint8_t Graphic = 26;        // Blob
constexpr std::uint8_t TypedBinary = 28;    // Blob
constexpr std::uint8_t AutoInc = 29;        // Integer
constexpr std::uint8_t FixedLength = 31;    // String
constexpr std::uint8_t Wide = 32;           // String
}  // namespace subtype

// Character case applied to string values when they are stored (field definition byte 93).
enum class TCharCase : std::uint8_t { Unchanged = 0, Lower = 1, Upper = 2 };

// Largest declared size of a string, bytes or variable-bytes field.
constexpr int MaxDeclaredSize = 250;
// Storage size of a BCD value (the TBcd layout) and of its index/sort key value.
constexpr int BcdStorageSize = 34;
constexpr int BcdKeySize = 8;

// True for the type numbers a table may hold (1..15 and 18, plus the storage-less 17, 20..23).
constexpr bool IsValidFieldType(std::uint8_t type) {
  return (type >= 1 && type <= 15) || type == 17 || type == 18 || (type >= 20 && type <= 23);
}

// True for the types whose declared size is given by the user (string, bytes, variable bytes);
// all other types must declare size 0.
constexpr bool HasDeclaredSize(TFieldType type) {
  return type == TFieldType::String || type == TFieldType::Bytes || type == TFieldType::VarBytes;
}

// Storage size of a value of the type with the given declared size (see the table above);
// 0 for the storage-less types and for invalid ones.
constexpr int StorageSizeOf(TFieldType type, int declaredSize) {
  switch (type) {
  case TFieldType::String: return declaredSize + 1;
  case TFieldType::Date: return 4;
  case TFieldType::Blob: return 8;
  case TFieldType::Boolean: return 2;
  case TFieldType::SmallInt: return 2;
  case TFieldType::Integer: return 4;
  case TFieldType::Float: return 8;
  case TFieldType::Bcd: return BcdStorageSize;
  case TFieldType::Bytes: return declaredSize;
  case TFieldType::Time: return 4;
  case TFieldType::TimeStamp: return 8;
  case TFieldType::Word: return 2;
  case TFieldType::Cardinal: return 4;
  case TFieldType::Extended: return 10;
  case TFieldType::VarBytes: return declaredSize;
  case TFieldType::LargeInt: return 8;
  default: return 0;
  }
}

// Size of the key value of a field in index and sort keys: the storage size, except BCD (8).
constexpr int KeySizeOf(TFieldType type, int storageSize) { return type == TFieldType::Bcd ? BcdKeySize : storageSize; }

}  // namespace quarry
