// The read-only face of an open dataset that the in-memory result set copies from.
//
// A source describes its fields (name, integer or text, declared size) and is walked once
// from its first row to end of data; at each row every field is read as text, as an
// integer, or tested for null. The engine's query dataset implements it; TVectorRowSource
// is a small implementation over rows held in memory, for tests, benchmarks and callers that
// already have their rows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarry {

// What a column of a result holds. Text is UTF-8; its declared size counts bytes.
enum class TResultFieldKind : uint8_t { Integer, String };

struct TResultFieldDef {
  std::string name;
  TResultFieldKind kind = TResultFieldKind::String;
  int size = 0;  // declared size in bytes for String, 0 for Integer
};

// A dataset positioned on rows. The walk is First(), then Next() until Eof(); the readers
// are valid only while !Eof(). Field numbers count from 0 in the order of FieldDefs().
class TRowSource {
 public:
  virtual ~TRowSource() = default;

  virtual std::vector<TResultFieldDef> FieldDefs() const = 0;
  virtual void First() = 0;
  virtual void Next() = 0;
  virtual bool Eof() const = 0;

  virtual bool IsNull(int field) const = 0;
  // Text of the field (an integer as decimal text); empty for null.
  virtual std::string AsString(int field) const = 0;
  // Appends AsString(field) to out; a source that holds its texts can do so without making
  // a string per value (the result set copies a million titles this way).
  virtual void AppendString(int field, std::string& out) const { out += AsString(field); }
  // Integer value of the field; 0 for null. A text that is not an integer may throw.
  virtual int32_t AsInteger(int field) const = 0;
  // How many rows the walk will give, when the source knows it beforehand (-1 otherwise): a
  // reader may make room for them at once. Only a hint; the walk decides.
  virtual int64_t RowCountHint() const { return -1; }
};

}  // namespace quarry
