// Planning a table for a CSV file; see csv_table_plan.h.
#include "tools/common/csv_table_plan.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>

#include "engine/platform/locale_services.h"
#include "engine/platform/text_names.h"
#include "engine/sql/expression_parser.h"
#include "engine/sql/type_checker.h"
#include "engine/storage/errors/engine_error.h"
#include "engine/values/date_time_text.h"
#include "engine/values/value_ops.h"

namespace quarry::tools {

namespace {

constexpr std::uint16_t kTypeErrorCode = QUARRY_SQLPARSE;

// Field number (from 1) of the header column called name; 0 when none.
int ColumnNumber(const std::vector<std::string>& header, std::string_view name) {
  for (std::size_t i = 0; i < header.size(); ++i)
    if (SameTextIgnoringCase(TrimText(header[i]), TrimText(name))) return static_cast<int>(i) + 1;
  return 0;
}

int RequireColumn(const std::vector<std::string>& header, const std::string& name, const char* option) {
  const int number = ColumnNumber(header, name);
  if (number == 0) throw ECsvLoadError(std::string(option) + " names no column of the CSV header: " + name);
  return number;
}

}  // namespace

TFieldDefinition FieldFromTypeText(const std::string& name, const std::string& typeText) {
  TExpTree node = NewToken();
  try {
    TExpressionParser parser;
    parser.ErrorCode = kTypeErrorCode;
    parser.ContextName = "table column";
    parser.SetText(typeText);
    parser.NextToken();
    parser.ParseDataType(*node, 0, false);
    if (parser.TokenKind() != tk::End) throw ECsvLoadError("unexpected text after the type: " + typeText);
    FinishDataType(*node, kTypeErrorCode, "", "table column");
  } catch (const EDatabaseError& error) {
    throw ECsvLoadError("type of column " + name + ": " + error.what());
  }
  const auto type = static_cast<TFieldType>(node->DataType);
  if (type == TFieldType::Blob) throw ECsvLoadError("column " + name + ": BLOB columns cannot be loaded from CSV");
  if (node->SubType == subtype::AutoInc)
    throw ECsvLoadError("column " + name + ": AUTOINC columns number themselves and cannot be loaded");
  TFieldDefinition field;
  field.Name = TrimText(name);
  field.DataType = type;
  field.SubType = node->SubType;
  if (type == TFieldType::String) field.Size = static_cast<std::uint8_t>(node->ValueSize - 1);
  else if (HasDeclaredSize(type)) field.Size = static_cast<std::uint8_t>(node->ValueSize);
  field.Scale = type == TFieldType::Bcd ? node->Scale : 0;
  return field;
}

TCsvTablePlan PlanCsvTable(const std::vector<TCsvRecord>& records, const TCsvLoadOptions& options) {
  if (records.empty()) throw ECsvLoadError("the CSV file is empty: a header row naming the columns is needed");
  const std::vector<std::string>& header = records.front().Fields;
  for (const auto& record : records) {
    if (record.Fields.size() != header.size())
      throw ECsvError(record.Line, "expected " + std::to_string(header.size()) + " fields, found " +
                                       std::to_string(record.Fields.size()));
  }

  TCsvTablePlan plan;
  std::vector<bool> typed(header.size(), false);
  plan.Fields.resize(header.size());
  for (const auto& [column, typeText] : options.Types) {
    const int number = RequireColumn(header, column, "--type");
    plan.Fields[number - 1] = FieldFromTypeText(TrimText(header[number - 1]), typeText);
    typed[number - 1] = true;
  }
  for (std::size_t i = 0; i < header.size(); ++i) {
    if (typed[i]) continue;
    std::size_t longest = 1;
    for (std::size_t r = 1; r < records.size(); ++r) longest = std::max(longest, records[r].Fields[i].size());
    TFieldDefinition& field = plan.Fields[i];
    field.Name = TrimText(header[i]);
    field.DataType = TFieldType::String;
    field.Size = static_cast<std::uint8_t>(std::min<std::size_t>(longest, MaxDeclaredSize));
  }
  for (std::size_t i = 0; i < plan.Fields.size(); ++i) plan.Fields[i].FieldNo = static_cast<std::uint16_t>(i + 1);

  if (!options.Primary.empty()) plan.PrimaryField = RequireColumn(header, options.Primary, "--primary");
  for (const auto& column : options.Indexes) {
    const int number = RequireColumn(header, column, "--index");
    if (std::find(plan.IndexFields.begin(), plan.IndexFields.end(), number) != plan.IndexFields.end())
      throw ECsvLoadError("--index names column " + column + " twice");
    plan.IndexFields.push_back(number);
  }
  return plan;
}

bool ConvertCsvValue(const TFieldDefinition& field, std::string_view text, TExpToken& value, std::string& reason) {
  const auto type = static_cast<std::uint8_t>(field.DataType);
  value.SetType(type, field.SubType, StorageSizeOf(field.DataType, field.Size), field.Scale);
  value.ZeroValue();
  value.IsNull = false;
  if (field.DataType == TFieldType::String) {
    StoreText(value, std::string(text));
    return true;
  }
  auto fail = [&] {
    reason = "'" + std::string(text) + "' is not a valid " + TypeText(field);
    return false;
  };
  if (IsIntegerType(type)) {
    std::int64_t number = 0;
    if (!ParseInt64Text(text, number)) return fail();
    std::int64_t low = std::numeric_limits<std::int64_t>::min(), high = std::numeric_limits<std::int64_t>::max();
    switch (field.DataType) {
    case TFieldType::SmallInt:
      low = INT16_MIN;
      high = INT16_MAX;
      break;
    case TFieldType::Integer:
      low = INT32_MIN;
      high = INT32_MAX;
      break;
    case TFieldType::Word:
      low = 0;
      high = UINT16_MAX;
      break;
    default: break;
    }
    if (number < low || number > high) {
      reason = "'" + std::string(text) + "' is out of the range of " + TypeText(field);
      return false;
    }
    StoreInt64(value, number);
    return true;
  }
  TExpToken source;
  source.SetType(vt::String, 0, static_cast<std::int32_t>(text.size()) + 1);
  StoreText(source, std::string(text));
  if (!ConvertValue(source, value)) return fail();
  return true;
}

std::string TypeText(const TFieldDefinition& field) {
  switch (field.DataType) {
  case TFieldType::String: return "CHAR(" + std::to_string(field.Size) + ")";
  case TFieldType::Date: return "DATE";
  case TFieldType::Boolean: return "BOOLEAN";
  case TFieldType::SmallInt: return "SMALLINT";
  case TFieldType::Integer: return "INTEGER";
  case TFieldType::Float: return field.SubType == subtype::Money ? "MONEY" : "FLOAT";
  case TFieldType::Bcd: return "DECIMAL";
  case TFieldType::Bytes: return "BYTES(" + std::to_string(field.Size) + ")";
  case TFieldType::Time: return "TIME";
  case TFieldType::TimeStamp: return "TIMESTAMP";
  case TFieldType::Word: return "WORD";
  case TFieldType::VarBytes: return "VARBYTES(" + std::to_string(field.Size) + ")";
  case TFieldType::LargeInt: return "LARGEINT";
  default: return "type " + std::to_string(static_cast<int>(field.DataType));
  }
}

}  // namespace quarry::tools
