// ConvertValueBuffer: which pairs of value and column type convert, how, and what fails.
#include "engine/sql/value_buffer_conversion.h"

#include <gtest/gtest.h>

#include "engine/values/value_ops.h"

namespace quarry {
namespace {

// A value of the type, made from its text by CAST's conversion.
TExpToken Value(uint8_t type, const std::string& text, int32_t size = 0) {
  TExpToken source;
  source.SetType(vt::String, st::None, static_cast<int32_t>(text.size()) + 1);
  source.IsNull = false;
  source.PutString(text);
  TExpToken value;
  value.SetType(type, type == vt::Blob ? st::Memo : st::None, size > 0 ? size : FixedSizeOfType(type), 2);
  if (type == vt::String) value.SetValueSize(static_cast<int32_t>(text.size()) + 1);
  EXPECT_TRUE(ConvertValue(source, value)) << text;
  return value;
}

struct TCase {
  const char* Name;
  TExpToken From;
  uint8_t To;
  int32_t ToSize;
  bool Converts;
  std::string Text;  // the converted value as text (when it converts)
};

TEST(ValueBufferConversion, AllowedPairsConvertOthersFail) {
  const std::vector<TCase> cases = {
      {"digits to 32-bit", Value(vt::String, "12"), vt::Integer, 4, true, "12"},
      {"a decimal text to 32-bit truncates", Value(vt::String, "12.7"), vt::Integer, 4, true, "12"},
      {"words to 32-bit", Value(vt::String, "abc"), vt::Integer, 4, false, ""},
      {"a date text", Value(vt::String, "1999-12-31"), vt::Date, 4, true, "1999-12-31"},
      {"not a date", Value(vt::String, "soon"), vt::Date, 4, false, ""},
      {"a boolean text", Value(vt::String, "True"), vt::Boolean, 2, true, "True"},
      {"a text cut to the column", Value(vt::String, "hello world"), vt::String, 6, true, "hello"},
      {"a wide integer keeps its low bits", Value(vt::Integer, "70000"), vt::SmallInt, 2, true, "4464"},
      {"floating point truncates", Value(vt::Float, "-3.99"), vt::Integer, 4, true, "-3"},
      {"floating point to BCD", Value(vt::Float, "12.5"), vt::Bcd, 34, true, "12.50"},
      {"too large for BCD", Value(vt::Float, "1e20"), vt::Bcd, 34, false, ""},
      {"a 64-bit integer too large for BCD", Value(vt::LargeInt, "9000000000000000000"), vt::Bcd, 34, false, ""},
      {"16-bit to boolean", Value(vt::SmallInt, "5"), vt::Boolean, 2, true, "True"},
      {"16-bit zero to boolean", Value(vt::SmallInt, "0"), vt::Boolean, 2, true, "False"},
      {"32-bit to boolean is not a pair", Value(vt::Integer, "5"), vt::Boolean, 2, false, ""},
      {"boolean to floating point is not a pair", Value(vt::Boolean, "True"), vt::Float, 8, false, ""},
      {"boolean to 32-bit", Value(vt::Boolean, "True"), vt::Integer, 4, true, "1"},
      {"date to timestamp", Value(vt::Date, "2004-01-04"), vt::Timestamp, 8, true, "2004-01-04 00:00"},
      {"date to 32-bit is not a pair", Value(vt::Date, "2004-01-04"), vt::Integer, 4, false, ""},
      {"timestamp to date", Value(vt::Timestamp, "2004-01-04 10:30"), vt::Date, 4, true, "2004-01-04"},
      {"time to date is not a pair", Value(vt::Time, "10:30"), vt::Date, 4, false, ""},
      {"32-bit to text", Value(vt::Integer, "-42"), vt::String, 11, true, "-42"},
      {"a memo's text into a string column", Value(vt::Blob, "memo text", 10), vt::String, 21, true, "memo text"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TExpToken target;
    target.SetType(c.To, st::None, c.ToSize, 2);
    EXPECT_EQ(ConvertValueBuffer(c.From, target), c.Converts);
    if (c.Converts) {
      EXPECT_FALSE(target.IsNull);
      EXPECT_EQ(ValueAsText(target), c.Text);
    }
  }
}

TEST(ValueBufferConversion, BytesAreCopiedCutToTheColumn) {
  TExpToken bytes;
  bytes.SetType(vt::Bytes, st::None, 6);
  bytes.IsNull = false;
  const uint8_t image[6] = {0x01, 0x02, 0x00, 0x00, 0x7F, 0x7F};
  std::copy(image, image + 6, bytes.Value.begin());
  TExpToken target;
  target.SetType(vt::Integer, st::None, 4);
  EXPECT_TRUE(ConvertValueBuffer(bytes, target));
  EXPECT_EQ(ValueAsInt64(target), 0x0201);
}

TEST(ValueBufferConversion, NullStaysNull) {
  TExpToken null;
  null.SetType(vt::Integer, st::None, 4);
  null.IsNull = true;
  TExpToken target;
  target.SetType(vt::Date, st::None, 4);
  EXPECT_TRUE(ConvertValueBuffer(null, target));
  EXPECT_TRUE(target.IsNull);
}

}  // namespace
}  // namespace quarry
