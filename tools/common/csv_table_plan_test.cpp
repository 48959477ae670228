// Planning a table from CSV records: types given and guessed, string sizes, options that
// name no column, and converting texts to typed values.
#include "tools/common/csv_table_plan.h"

#include <gtest/gtest.h>

#include "engine/values/value_ops.h"

namespace quarry::tools {
namespace {

TEST(CsvTablePlan, TypeTextsBecomeFieldDefinitions) {
  struct TCase {
    const char* Text;
    TFieldType Type;
    std::uint8_t SubType;
    int Size;
    int Scale;
  };
  const TCase cases[] = {
      {"INTEGER", TFieldType::Integer, 0, 0, 0},          {"int", TFieldType::Integer, 0, 0, 0},
      {"SMALLINT", TFieldType::SmallInt, 0, 0, 0},        {"FLOAT", TFieldType::Float, 0, 0, 0},
      {"MONEY", TFieldType::Float, subtype::Money, 0, 0}, {"CHAR(20)", TFieldType::String, 0, 20, 0},
      {"VARCHAR(250)", TFieldType::String, 0, 250, 0},    {"DATE", TFieldType::Date, 0, 0, 0},
      {"BOOLEAN", TFieldType::Boolean, 0, 0, 0},          {"DECIMAL(10,2)", TFieldType::Bcd, 0, 0, 2},
      {"TIMESTAMP", TFieldType::TimeStamp, 0, 0, 0},      {"LARGEINT", TFieldType::LargeInt, 0, 0, 0},
      {"BYTES(4)", TFieldType::Bytes, 0, 4, 0},
  };
  for (const auto& c : cases) {
    const TFieldDefinition field = FieldFromTypeText("F", c.Text);
    EXPECT_EQ(field.DataType, c.Type) << c.Text;
    EXPECT_EQ(field.SubType, c.SubType) << c.Text;
    EXPECT_EQ(field.Size, c.Size) << c.Text;
    EXPECT_EQ(field.Scale, c.Scale) << c.Text;
  }
}

TEST(CsvTablePlan, BadTypeTextsAreRefused) {
  for (const char* text : {"NOTATYPE", "CHAR", "CHAR(300)", "CHAR(0)", "INTEGER junk", "BLOB", "MEMO", "AUTOINC", ""}) {
    EXPECT_THROW(FieldFromTypeText("F", text), ECsvLoadError) << text;
  }
}

std::vector<TCsvRecord> Records(std::string_view text) { return ReadAllCsv(text); }

TEST(CsvTablePlan, UntypedColumnsAreStringsAsLongAsTheirLongestValue) {
  const std::string longText(300, 'x');
  const auto records = Records("ID,NAME,EMPTY,LONG\n1,Amélie,,a\n2,Bo,," + longText + "\n");
  TCsvLoadOptions options;
  options.Types = {{"id", "INTEGER"}};
  const TCsvTablePlan plan = PlanCsvTable(records, options);
  ASSERT_EQ(plan.Fields.size(), 4u);
  EXPECT_EQ(plan.Fields[0].DataType, TFieldType::Integer);
  EXPECT_EQ(plan.Fields[0].Name, "ID");
  EXPECT_EQ(plan.Fields[1].DataType, TFieldType::String);
  EXPECT_EQ(plan.Fields[1].Size, 7);  // "Amélie" is 7 bytes
  EXPECT_EQ(plan.Fields[2].Size, 1);  // never below 1
  EXPECT_EQ(plan.Fields[3].Size, 250);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(plan.Fields[i].FieldNo, i + 1);
}

TEST(CsvTablePlan, IndexesNameColumns) {
  const auto records = Records("A,B,C\n1,2,3\n");
  TCsvLoadOptions options;
  options.Primary = "b";
  options.Indexes = {"C", "a"};
  const TCsvTablePlan plan = PlanCsvTable(records, options);
  EXPECT_EQ(plan.PrimaryField, 2);
  EXPECT_EQ(plan.IndexFields, (std::vector<int>{3, 1}));
}

TEST(CsvTablePlan, FaultsAreFoundBeforeAnythingIsCreated) {
  struct TCase {
    const char* Name;
    std::string Text;
    TCsvLoadOptions Options;
    int Line;  // 0: an option error
  };
  TCsvLoadOptions unknownType;
  unknownType.Types = {{"NOPE", "INTEGER"}};
  TCsvLoadOptions unknownPrimary;
  unknownPrimary.Primary = "NOPE";
  TCsvLoadOptions unknownIndex;
  unknownIndex.Indexes = {"NOPE"};
  TCsvLoadOptions twice;
  twice.Indexes = {"A", "a"};
  const TCase cases[] = {
      {"short row", "A,B\n1,2\n3\n", {}, 3},
      {"long row", "A,B\n1,2,3\n", {}, 2},
      {"blank line", "A,B\n1,2\n\n3,4\n", {}, 3},
      {"type for no column", "A,B\n1,2\n", unknownType, 0},
      {"primary on no column", "A,B\n1,2\n", unknownPrimary, 0},
      {"index on no column", "A,B\n1,2\n", unknownIndex, 0},
      {"index twice", "A,B\n1,2\n", twice, 0},
      {"no header", "", {}, 0},
  };
  for (const auto& c : cases) {
    const auto records = Records(c.Text);
    if (c.Line == 0) {
      EXPECT_THROW(PlanCsvTable(records, c.Options), ECsvLoadError) << c.Name;
      continue;
    }
    try {
      PlanCsvTable(records, c.Options);
      ADD_FAILURE() << c.Name;
    } catch (const ECsvError& error) {
      EXPECT_EQ(error.Line(), c.Line) << c.Name;
    }
  }
}

TEST(CsvTablePlan, TextsConvertToTheirColumnsTypes) {
  struct TCase {
    const char* Type;
    const char* Text;
    bool Ok;
    const char* AsText;  // the value read back as text when Ok
  };
  const TCase cases[] = {
      {"INTEGER", "42", true, "42"},
      {"INTEGER", "-2147483648", true, "-2147483648"},
      {"INTEGER", "2147483648", false, ""},
      {"INTEGER", "4x", false, ""},
      {"INTEGER", "1.5", false, ""},
      {"SMALLINT", "32767", true, "32767"},
      {"SMALLINT", "40000", false, ""},
      {"WORD", "-1", false, ""},
      {"LARGEINT", "9000000000", true, "9000000000"},
      {"FLOAT", "2.5", true, "2.5"},
      {"FLOAT", "two", false, ""},
      {"BOOLEAN", "TRUE", true, "True"},
      {"BOOLEAN", "perhaps", false, ""},
      {"DATE", "2001-09-11", true, "2001-09-11"},
      {"DATE", "2001-13-40", false, ""},
      {"CHAR(3)", "longer than three", true, "longer than three"},  // cut when stored, not here
  };
  for (const auto& c : cases) {
    const TFieldDefinition field = FieldFromTypeText("F", c.Type);
    TExpToken value;
    std::string reason;
    const bool ok = ConvertCsvValue(field, c.Text, value, reason);
    EXPECT_EQ(ok, c.Ok) << c.Type << " " << c.Text;
    if (ok && c.Ok) {
      EXPECT_EQ(field.DataType == TFieldType::String ? value.GetString() : ValueAsText(value), c.AsText)
          << c.Type << " " << c.Text;
    } else if (!ok) {
      EXPECT_NE(reason.find(c.Text), std::string::npos) << reason;
    }
  }
}

}  // namespace
}  // namespace quarry::tools
