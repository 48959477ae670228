// Field and index definitions from the clauses of the data-definition statements; see
// definition_clauses.h.
#include "engine/sql/definition_clauses.h"

#include <algorithm>

#include "engine/platform/locale_services.h"
#include "engine/platform/text_names.h"
#include "engine/sql/data_query.h"
#include "engine/sql/expression_error.h"
#include "engine/sql/expression_evaluator.h"
#include "engine/sql/expression_preparer.h"
#include "engine/sql/query_statement.h"
#include "engine/sql/type_checker.h"
#include "engine/storage/errors/engine_error.h"

namespace quarry {

namespace {

// Texts longer than their place in the stored definition would be cut there: a value text
// cut short would be another value, so it is refused instead.
void CheckValueText(const std::string& text, const std::string& field, const std::string& table) {
  if (text.size() > static_cast<std::size_t>(MaxFieldValueTextLength))
    RaiseEngineError(QUARRY_INVALIDVCHKSTRUCT, {.table = table, .field = field});
}

void ApplyDataType(const TExpToken& type, TFieldDefinition& field) {
  field.DataType = static_cast<TFieldType>(type.DataType);
  field.SubType = type.SubType;
  field.Scale = 0;
  switch (field.DataType) {
  // The type node's value size counts the terminator of a string.
  case TFieldType::String: field.Size = static_cast<std::uint8_t>(std::max(type.ValueSize - 1, 0)); break;
  case TFieldType::Bytes:
  case TFieldType::VarBytes: field.Size = static_cast<std::uint8_t>(type.ValueSize); break;
  case TFieldType::Bcd:
    field.Size = 0;
    field.Scale = type.Scale;
    break;
  default: field.Size = 0; break;
  }
}

void ApplyOptions(const TCreateField& column, TFieldDefinition& field, const std::string& table) {
  if (column.DescriptionGiven)
    field.Description = std::string(Utf8Prefix(column.Description, MaxFieldDescriptionLength));
  if (column.NotNull) field.Required = true;
  if (column.CharCaseGiven) field.CharCase = column.CharCase;
  const std::string& name = field.Name;
  if (column.DefaultGiven) {
    CheckValueText(column.DefaultText, name, table);
    field.DefaultValue = column.DefaultText;
  }
  if (column.MinimumGiven) {
    CheckValueText(column.MinimumText, name, table);
    field.MinValue = column.MinimumText;
  }
  if (column.MaximumGiven) {
    CheckValueText(column.MaximumText, name, table);
    field.MaxValue = column.MaximumText;
  }
}

void SetKeyFields(TIndexDefinition& index, const std::vector<std::string>& names,
                  const std::vector<TFieldDefinition>& columns, const std::string& missingTail,
                  const std::string& table) {
  if (names.size() > static_cast<std::size_t>(MaxKeyFields))
    RaiseEngineError(QUARRY_INDEXLIMIT, {.table = table, .index = index.Name});
  index.FieldCount = static_cast<std::uint8_t>(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    const int position = ColumnPosition(columns, names[i]);
    if (position == 0) RaiseSqlError("Invalid field name '" + names[i] + "'" + missingTail);
    index.FieldNumbers[i] = static_cast<std::uint16_t>(position);
  }
}

}  // namespace

int ColumnPosition(const std::vector<TFieldDefinition>& columns, const std::string& name) {
  const std::string_view wanted = TrimmedView(name);
  for (std::size_t i = 0; i < columns.size(); ++i)
    if (SameTextIgnoringCase(TrimmedView(columns[i].Name), wanted)) return static_cast<int>(i + 1);
  return 0;
}

TFieldDefinition FieldDefinitionOf(const TCreateField& column, std::uint16_t fieldNo, const std::string& table) {
  TFieldDefinition field;
  field.FieldNo = fieldNo;
  field.Name = column.ColumnName;
  if (column.DataType) ApplyDataType(*column.DataType, field);
  ApplyOptions(column, field, table);
  return field;
}

void ApplyRedefinition(const TCreateField& column, TFieldDefinition& field, const std::string& table) {
  if (column.DataType) ApplyDataType(*column.DataType, field);
  if (!column.NewName.empty()) field.Name = column.NewName;
  ApplyOptions(column, field, table);
}

TIndexDefinition IndexDefinitionOf(const TCreateIndex& clause, const std::vector<TFieldDefinition>& columns,
                                   const std::string& table) {
  TIndexDefinition index;
  index.Name = clause.IndexName;
  index.Descending = clause.Descending;
  index.FieldDescending.fill(clause.Descending);
  index.CaseInsensitive = clause.NoCase;
  index.Unique = clause.Unique;
  index.Compression = static_cast<TKeyCompression>(clause.Compression);
  SetKeyFields(index, clause.ColumnNames(), columns, " specified for index '" + clause.IndexName + "'", table);
  return index;
}

TIndexDefinition TextIndexDefinitionOf(const std::vector<std::string>& columnNames,
                                       const std::vector<TFieldDefinition>& columns, const std::string& table) {
  TIndexDefinition index;
  index.Name = TextIndexName;
  index.Compression = TKeyCompression::Both;
  SetKeyFields(index, columnNames, columns, " specified for text index", table);
  return index;
}

std::uint16_t UserVersion(std::int32_t value) {
  if (value < 0 || value > 65535)
    RaiseSqlError("Integer value from 0 to 65535 expected after VERSION keyword, instead found '" +
                  std::to_string(value) + "'");
  return static_cast<std::uint16_t>(value);
}

// ---- TEXT INDEX options ----

namespace {

// Checks one option's expression: a string computed without any column.
const TExpToken* CheckedOption(TExpTree& tree, const std::string& text, const char* context,
                               TQueryStatement& statement) {
  if (!tree) return nullptr;
  TCheckOptions options;
  options.Owner = &statement;
  options.Context = context;
  CheckExpression(options, tree);
  const bool textLike = tree->DataType == vt::String || (tree->DataType == vt::Blob && tree->SubType == st::Memo) ||
                        (tree->DataType == vt::Unknown && tree->IsNull);
  if (!textLike || ReadsColumn(tree.get()))
    RaiseSqlError("Constant string expression expected, instead found '" + text + "' in " + context);
  return tree.get();
}

std::string OptionValue(const TExpToken& option, TQueryStatement& statement) {
  const TExpTree prepared = PrepareExpression(option, {.Owner = &statement});
  const TExpTree value = EvaluateExpression(*prepared, nullptr, &statement, 0, 0, nullptr);
  return value->IsNull ? std::string() : value->GetString();
}

std::bitset<256> CharacterSet(const std::string& value) {
  std::bitset<256> set;
  for (const char c : value) set[static_cast<unsigned char>(c)] = true;
  return set;
}

std::vector<std::string> SplitAtBlanks(const std::string& value) {
  std::vector<std::string> words;
  std::string word;
  for (const char c : value) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

}  // namespace

void TTextIndexOptions::Prepare(TDataQuery& query, TQueryStatement& statement) {
  StopWords = CheckedOption(query.StopWords, query.StopWordsText, "stop words", statement);
  SpaceChars = CheckedOption(query.SpaceChars, query.SpaceCharsText, "character set", statement);
  IncludeChars = CheckedOption(query.IncludeChars, query.IncludeCharsText, "character set", statement);
}

TTextParameters TTextIndexOptions::Apply(TTextParameters base, TQueryStatement& statement) const {
  if (StopWords) base.StopWords = SplitAtBlanks(OptionValue(*StopWords, statement));
  if (SpaceChars) base.SpaceCharacters = CharacterSet(OptionValue(*SpaceChars, statement));
  if (IncludeChars) base.IncludeCharacters = CharacterSet(OptionValue(*IncludeChars, statement));
  return base;
}

}  // namespace quarry
