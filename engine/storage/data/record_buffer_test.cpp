// Tests of the field value storage rules on record images: layout of offsets, null flags,
// string cutting and case, every typed accessor, BCD packing and the 80-bit float conversion.
#include "engine/storage/data/record_buffer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "engine/values/bcd.h"
#include "engine/values/byte_image.h"

namespace quarry {
namespace {

TFieldDefinition Field(const char* name, TFieldType type, int size = 0, std::uint8_t sub = 0) {
  TFieldDefinition f;
  f.Name = name;
  f.DataType = type;
  f.Size = static_cast<std::uint8_t>(size);
  f.SubType = sub;
  return f;
}

TEST(FieldLayout, OffsetsFollowTheRecordRule) {
  std::vector<TFieldDefinition> fields{Field("A", TFieldType::Integer), Field("B", TFieldType::String, 10),
                                       Field("C", TFieldType::Integer, 0, subtype::AutoInc),
                                       Field("D", TFieldType::Blob)};
  const int size = AssignFieldOffsets(fields.data(), static_cast<int>(fields.size()));
  EXPECT_EQ(fields[0].Offset, 9);
  EXPECT_EQ(fields[1].Offset, 14);
  EXPECT_EQ(fields[2].Offset, 5);
  EXPECT_EQ(fields[3].Offset, 26);
  EXPECT_EQ(size, 35);
}

TEST(FieldLayout, StorageSizes) {
  struct Case {
    TFieldType type;
    int declared;
    int storage;
  };
  const Case cases[] = {{TFieldType::String, 10, 11}, {TFieldType::Date, 0, 4},           {TFieldType::Blob, 0, 8},
                        {TFieldType::Boolean, 0, 2},  {TFieldType::SmallInt, 0, 2},       {TFieldType::Integer, 0, 4},
                        {TFieldType::Float, 0, 8},    {TFieldType::Bcd, 0, 34},           {TFieldType::Bytes, 7, 7},
                        {TFieldType::Time, 0, 4},     {TFieldType::TimeStamp, 0, 8},      {TFieldType::Word, 0, 2},
                        {TFieldType::Cardinal, 0, 4}, {TFieldType::Extended, 0, 10},      {TFieldType::VarBytes, 5, 5},
                        {TFieldType::LargeInt, 0, 8}, {static_cast<TFieldType>(17), 0, 0}};
  for (const Case& c : cases) EXPECT_EQ(StorageSizeOf(c.type, c.declared), c.storage) << static_cast<int>(c.type);
  EXPECT_FALSE(IsValidFieldType(0));
  EXPECT_FALSE(IsValidFieldType(16));
  EXPECT_FALSE(IsValidFieldType(19));
  EXPECT_TRUE(IsValidFieldType(18));
  EXPECT_FALSE(IsValidFieldType(24));
}

TEST(FieldDefinitionImage, RoundTripsAndCutsTexts) {
  TFieldDefinition f = Field("Title", TFieldType::Bcd);
  f.FieldNo = 3;
  f.Description = std::string(60, 'd');
  f.Scale = 2;
  f.ScaleCopy = 2;
  f.ValueSize = 34;
  f.Offset = 300;
  f.Required = true;
  f.CharCase = TCharCase::Upper;
  f.MinValue = "1.5";
  f.MaxValue = "99";
  f.DefaultValue = "7";
  f.Reserved[5] = 0xAB;
  f.Descending = true;
  std::uint8_t image[FieldDefinitionSize];
  f.Encode(image);
  EXPECT_EQ(image[0], 3);
  EXPECT_EQ(image[2], 5);
  EXPECT_EQ(image[33], 50);  // description cut to 50
  EXPECT_EQ(image[84], 8);
  EXPECT_EQ(image[90], 300 & 0xFF);
  EXPECT_EQ(image[91], 300 >> 8);
  EXPECT_EQ(image[253], 0) << "the descending flag is never stored";
  const TFieldDefinition back = TFieldDefinition::Decode(image);
  EXPECT_EQ(back.Name, "Title");
  EXPECT_EQ(back.Description, std::string(50, 'd'));
  EXPECT_EQ(back.Offset, 300);
  EXPECT_TRUE(back.Required);
  EXPECT_EQ(back.CharCase, TCharCase::Upper);
  EXPECT_EQ(back.MinValue, "1.5");
  EXPECT_EQ(back.MaxValue, "99");
  EXPECT_EQ(back.DefaultValue, "7");
  EXPECT_EQ(back.Reserved[5], 0xAB);
  // A hostile length byte never reads beyond the text's capacity.
  image[2] = 200;
  EXPECT_EQ(TFieldDefinition::Decode(image).Name.size(), 30u);
}

class RecordFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    fields = {Field("S", TFieldType::String, 6),
              Field("I", TFieldType::Integer),
              Field("N", TFieldType::Integer, 0, subtype::AutoInc),
              Field("B", TFieldType::Boolean),
              Field("M", TFieldType::Bcd),
              Field("X", TFieldType::Extended),
              Field("Y", TFieldType::Bytes, 4),
              Field("L", TFieldType::Blob)};
    fields[4].Scale = 2;
    const int size = AssignFieldOffsets(fields.data(), static_cast<int>(fields.size()));
    record.assign(static_cast<std::size_t>(size), 0);
  }
  const TFieldDefinition& F(const char* name) {
    for (auto& f : fields)
      if (f.Name == name) return f;
    throw std::logic_error(name);
  }
  std::vector<TFieldDefinition> fields;
  std::vector<std::uint8_t> record;
};

TEST_F(RecordFixture, StringsAreCutTrimmedAndCased) {
  struct Case {
    const char* in;
    TCharCase cs;
    const char* stored;
    bool null;
  };
  const Case cases[] = {
      {"abc   ", TCharCase::Unchanged, "abc", false},
      {"    ", TCharCase::Unchanged, "", true},
      {"", TCharCase::Unchanged, "", true},
      {"abcdefgh", TCharCase::Unchanged, "abcdef", false},
      {"abcde  x", TCharCase::Unchanged, "abcde", false},
      {"MiXed", TCharCase::Lower, "mixed", false},
      {"MiXed", TCharCase::Upper, "MIXED", false},
      {"abcd\xC3\xA9", TCharCase::Unchanged, "abcd\xC3\xA9", false},
      {"abcde\xC3\xA9", TCharCase::Unchanged, "abcde", false},  // never split a character
  };
  for (const Case& c : cases) {
    TFieldDefinition f = F("S");
    f.CharCase = c.cs;
    SetFieldString(record.data(), f, "zzzzzz");  // a previous value must not leak through
    SetFieldString(record.data(), f, c.in);
    EXPECT_EQ(IsFieldNull(record.data(), f), c.null) << c.in;
    EXPECT_EQ(GetFieldString(record.data(), f), c.stored) << c.in;
    if (c.null) {
      for (int i = 0; i <= f.ValueSize; ++i) EXPECT_EQ(record[f.Offset + static_cast<std::size_t>(i)], 0);
    }
  }
}

TEST_F(RecordFixture, TypedValuesAndNulls) {
  std::uint8_t* r = record.data();
  SetFieldInteger(r, F("I"), -42);
  SetFieldInteger(r, F("N"), 77);
  SetFieldBoolean(r, F("B"), true);
  SetFieldBcd(r, F("M"), -123456);  // -12.3456 stored with scale 2: -12.35
  SetFieldFloat(r, F("X"), 3.25);
  SetFieldBytes(r, F("Y"), std::string("\x01\x02", 2));
  EXPECT_EQ(GetFieldInteger(r, F("I")), -42);
  EXPECT_EQ(RecordIdentifier(r), 77);
  EXPECT_FALSE(IsFieldNull(r, F("N")));
  EXPECT_EQ(bytes::Load<std::uint16_t>(FieldData(r, F("B"))), 1);
  EXPECT_EQ(GetFieldBcd(r, F("M")), -123500);
  EXPECT_DOUBLE_EQ(GetFieldFloat(r, F("X")), 3.25);
  EXPECT_EQ(GetFieldBytes(r, F("Y")), std::string("\x01\x02\x00\x00", 4));
  SetFieldNull(r, F("I"));
  EXPECT_TRUE(IsFieldNull(r, F("I")));
  EXPECT_EQ(GetFieldInteger(r, F("I")), 0);
  SetFieldBlob(r, F("L"), {5, 9});
  EXPECT_FALSE(IsFieldNull(r, F("L")));
  EXPECT_EQ(GetFieldBlob(r, F("L")).ChangeNumber, 9);
  SetFieldBlob(r, F("L"), {0, 9});
  EXPECT_TRUE(IsFieldNull(r, F("L")));
}

TEST(Bcd, PackingMatchesTheLayout) {
  // 12.34 with scale 2: digits 1234 right-aligned in 32 digits -> bytes 14 and 15 of the digits.
  const TBcd bcd = FixedToBcd(123400, 2);
  EXPECT_EQ(bcd.Precision, 32);
  EXPECT_EQ(bcd.SignSpecialPlaces, 2);
  EXPECT_EQ(bcd.Fraction[14], 0x12);
  EXPECT_EQ(bcd.Fraction[15], 0x34);
  EXPECT_EQ(FixedToBcd(-5, 4).SignSpecialPlaces, 0x84);
  struct Case {
    std::int64_t fixed;
    int scale;
    std::int64_t back;
  };
  const Case cases[] = {
      {0, 0, 0},
      {15000, 0, 20000},
      {-15000, 0, -20000},
      {14999, 0, 10000},
      {123456, 6, 123456},
      {1, 4, 1},
      {-1, 1, 0},
      {std::numeric_limits<std::int64_t>::max(), 4, std::numeric_limits<std::int64_t>::max()},
      {std::numeric_limits<std::int64_t>::min() + 1, 4, std::numeric_limits<std::int64_t>::min() + 1}};
  for (const Case& c : cases) EXPECT_EQ(BcdToFixed(FixedToBcd(c.fixed, c.scale)), c.back) << c.fixed << "/" << c.scale;
  TBcd zeroPrecision = FixedToBcd(5, 2);
  zeroPrecision.Precision = 0;
  EXPECT_EQ(BcdToFixed(zeroPrecision), 0);
  TBcd huge{};
  huge.Precision = 64;
  huge.Fraction.fill(0x99);
  EXPECT_EQ(BcdToFixed(huge), std::numeric_limits<std::int64_t>::max());  // saturates, no overflow
}

TEST(Extended, ConvertsBothWays) {
  const double values[] = {0.0, 1.0, -2.5, 1e300, -1e-300, 4.9e-324, 123456789.125};
  for (double v : values) {
    std::uint8_t ten[10];
    DoubleToExtended(v, ten);
    EXPECT_EQ(ExtendedToDouble(ten), v);
  }
  std::uint8_t one[10];
  DoubleToExtended(1.0, one);
  EXPECT_EQ(bytes::Load<std::uint64_t>(one), 0x8000000000000000ULL);
  EXPECT_EQ(bytes::Load<std::uint16_t>(one + 8), 16383);
  std::uint8_t inf[10];
  DoubleToExtended(INFINITY, inf);
  EXPECT_TRUE(std::isinf(ExtendedToDouble(inf)));
}

}  // namespace
}  // namespace quarry
