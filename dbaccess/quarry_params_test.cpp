// Query parameters: scanning ":name" marks and packing values into the engine's binding.
#include "dbaccess/quarry_params.h"

#include <gtest/gtest.h>

#include <cstring>

namespace quarry {
namespace {

TEST(QuarryParamsTest, ScanFindsMarksOutsideQuotes) {
  struct TCase {
    const char* text;
    std::vector<std::string> names;
    const char* marked;
  };
  const TCase cases[] = {
      {"SELECT * FROM T WHERE A = :A AND B = :b_2", {"A", "b_2"}, "SELECT * FROM T WHERE A = ? AND B = ?"},
      {"WHERE T = ':notme' OR U = \":nor\" OR [x:y] = :Z", {"Z"}, "WHERE T = ':notme' OR U = \":nor\" OR [x:y] = ?"},
      {"WHERE A = '10::20' AND B = 10::20", {}, "WHERE A = '10::20' AND B = 10:20"},
      {"WHERE A = : B", {}, "WHERE A = : B"},
      {"", {}, ""},
  };
  for (const TCase& c : cases) {
    std::string marked;
    EXPECT_EQ(ScanParameters(c.text, marked), c.names) << c.text;
    EXPECT_EQ(marked, c.marked) << c.text;
  }
}

TEST(QuarryParamsTest, BindPacksFlagThenValue) {
  TQuarryParams params;
  params.Add("Id");
  params.Add("Name");
  params.Add("Blank");
  params.Add("Nothing");
  params.Items(0).SetAsInteger(258);
  params.Items(1).SetAsString("Heat  ");
  params.Items(2).SetAsString("   ");
  params.Items(3).SetDataType(TDataFieldType::ftInteger);
  TQuarryParams::TBinding b = params.Bind();
  ASSERT_EQ(b.Descriptors.size(), 4u);
  const TParameterDescriptor& id = b.Descriptors[0];
  EXPECT_EQ(id.DataType, static_cast<std::uint8_t>(TFieldType::Integer));
  EXPECT_EQ(id.Size, 4);
  EXPECT_EQ(b.Data[id.Offset], 1);
  std::int32_t value = 0;
  std::memcpy(&value, &b.Data[id.Offset + 1], 4);
  EXPECT_EQ(value, 258);
  const TParameterDescriptor& name = b.Descriptors[1];
  EXPECT_EQ(name.DataType, static_cast<std::uint8_t>(TFieldType::String));
  EXPECT_EQ(name.Size, 5) << "trailing blanks go; the size counts the terminator";
  EXPECT_EQ(b.Data[name.Offset], 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b.Data[name.Offset + 1])), "Heat");
  EXPECT_EQ(b.Data[b.Descriptors[2].Offset], 0) << "blank text is null";
  EXPECT_EQ(b.Data[b.Descriptors[3].Offset], 0) << "typed without a value is null";
}

TEST(QuarryParamsTest, LongTextGoesAsMemoAndUntypedParameterFails) {
  TQuarryParams params;
  params.Add("Long");
  params.Items(0).SetAsString(std::string(300, 'x'));
  TQuarryParams::TBinding b = params.Bind();
  EXPECT_EQ(b.Descriptors[0].DataType, static_cast<std::uint8_t>(TFieldType::Blob));
  EXPECT_EQ(b.Descriptors[0].SubType, subtype::Memo);
  EXPECT_EQ(b.Descriptors[0].Size, 8);
  std::uint32_t length = 0;
  std::memcpy(&length, &b.Data[b.Descriptors[0].Offset + 1], 4);
  EXPECT_EQ(length, 300u);
  params.Add("Unset");
  try {
    params.Bind();
    FAIL();
  } catch (const EDatabaseError& error) {
    EXPECT_STREQ(error.what(), "No value for parameter 'Unset'");
  }
}

}  // namespace
}  // namespace quarry
