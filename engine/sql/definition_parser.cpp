// The grammar of the data-definition statements: CREATE TABLE, CREATE INDEX, ALTER TABLE,
// DROP TABLE and DROP INDEX, with column definitions, primary keys, index columns and the
// table options. The target table is the query's first source table.
#include <charconv>

#include "engine/sql/expression_error.h"
#include "engine/sql/expression_scanner.h"
#include "engine/sql/statement_parser.h"
#include "engine/sql/type_checker.h"

namespace quarry {

namespace {

void StringToColumn(TExpToken& node) {
  if (node.NodeClass != nc::Constant || node.IsParam || node.DataType != vt::String || node.IsNull) return;
  node.NodeClass = nc::Column;
  node.ColumnName = node.Text;
  node.TableName.clear();
  node.SetType(vt::Unknown, st::None, 0);
}

// Whether the word just read as a column name was in fact the start of a table option,
// judged by the token now current.
bool StartsTableOption(const std::string& word, const TExpressionParser& p) {
  const bool quoted = p.TokenKind() == tk::SingleQuoted || p.TokenKind() == tk::DoubleQuoted;
  if (word == "DESCRIPTION" || word == "LANGUAGE") return quoted;
  if (word == "TEXT") return p.IsKeyword("INDEX");
  if (word == "BLOB") return p.IsKeyword("BLOCK");
  if (word == "ENCRYPTED") return p.IsKeyword("WITH");
  if (word == "USER") return p.IsKeyword("MAJOR") || p.IsKeyword("MINOR");
  if (word == "LAST") return p.IsKeyword("AUTOINC");
  return false;
}

}  // namespace

TExpTree TStatementParser::ParsePrimaryIn(const char* context, std::string* text) {
  TContextScope scope(P, context);
  P.MarkExpressionStart();
  TExpTree tree = P.ParsePrimary(0);
  if (text) *text = P.ExpressionText();
  return tree;
}

TExpTree TStatementParser::ParseColumnType(bool optional) {
  TExpTree type = NewToken();
  {
    TContextScope scope(P, "table column");
    if (!P.ParseDataType(*type, 0, optional)) return nullptr;
  }
  FinishDataType(*type, kSqlErrorCode, "", "table column");
  return type;
}

bool TStatementParser::AtPrimaryKeyStart() const {
  return IsAnyKeyword({"CONSTRAINT", "UNIQUE", "ASC", "ASCENDING", "DESC", "DESCENDING", "NOCASE", "PRIMARY"});
}

void TStatementParser::ParseCreate(TDataQuery& query) {
  P.NextToken();  // CREATE
  if (P.IsKeyword("TABLE")) {
    ParseCreateTable(query);
  } else if (IsAnyKeyword({"INDEX", "UNIQUE", "ASC", "ASCENDING", "DESC", "DESCENDING", "NOCASE"})) {
    ParseCreateIndex(query);
  } else {
    Fail(
        "TABLE, INDEX, UNIQUE, ASC, ASCENDING, DESC, DESCENDING, or NOCASE keyword expected, "
        "instead found '");
  }
}

void TStatementParser::ParseCreateTable(TDataQuery& query) {
  query.Kind = TStatementKind::CreateTable;
  P.NextToken();  // TABLE
  if (AcceptKeyword("IF")) {
    ExpectKeyword("NOT", "NOT keyword expected after IF keyword, instead found '");
    ExpectKeyword("EXISTS", "EXISTS keyword expected after NOT keyword, instead found '");
    query.IfNotExists = true;
  }
  auto target = std::make_unique<TSourceTable>(query);
  ReadTableName(*target, "Table name expected after CREATE TABLE keywords, instead found '");
  target->CorrelationName = target->TableName;
  AddSourceTable(query, 0, std::move(target));
  ExpectSymbol('(', "Left parentheses expected before list of table columns, instead found '");

  std::string option;  // a table option keyword read in place of a column name
  do {
    if (AtPrimaryKeyStart()) {
      auto index = std::make_unique<TCreateIndex>(query);
      ParsePrimaryKey(*index);
      query.CreateIndexes.push_back(std::move(index));
      AcceptSymbol(',');
      break;
    }
    const bool bare = P.TokenKind() == tk::Name;
    const std::string word = UpperAscii(P.TokenText());
    auto field = std::make_unique<TCreateField>(query);
    std::string text;
    TExpTree column = ParsePrimaryIn("table column", &text);
    if (bare && StartsTableOption(word, P)) {
      option = word;
      break;
    }
    StringToColumn(*column);
    if (column->NodeClass != nc::Column || column->ColumnName == "*" || !column->TableName.empty())
      FailMessage("Column name expected in list of table columns, instead found '" + text + "'");
    field->ColumnName = column->ColumnName;
    ParseColumnDefinition(*field, true);
    query.CreateFields.push_back(std::move(field));
  } while (AcceptSymbol(','));

  // The table options, continuing from a keyword already consumed in place of a column name.
  ParseTableOptionsFrom(query, option);
  ExpectSymbol(')', "Right parentheses expected after CREATE TABLE statement, instead found '");
}

void TStatementParser::ParseColumnDefinition(TCreateField& field, bool typeRequired) {
  {
    TExpTree type = ParseColumnType(!typeRequired);
    if (type) field.DataType = std::move(type);
  }
  if (field.Action != TAlterAction::None && AcceptKeyword("AT"))
    field.AtPosition = ReadInteger("Integer value expected after AT keyword, instead found '");
  ParseColumnOptions(field);
}

void TStatementParser::ParseColumnOptions(TCreateField& field) {
  if (AcceptKeyword("DESCRIPTION")) {
    if (P.TokenKind() != tk::SingleQuoted && P.TokenKind() != tk::DoubleQuoted)
      Fail("Description text expected after DESCRIPTION keyword, instead found '");
    field.Description = P.TokenText();
    field.DescriptionGiven = true;
    P.NextToken();
  }
  if (AcceptKeyword("NOT")) {
    ExpectKeyword("NULL", "NULL keyword expected after NOT keyword, instead found '");
    field.NotNull = true;
  }
  if (AcceptKeyword("DEFAULT")) {
    field.DefaultText = ReadConstantText("DEFAULT");
    field.DefaultGiven = true;
  }
  if (AcceptKeyword("MIN") || AcceptKeyword("MINIMUM")) {
    field.MinimumText = ReadConstantText("MIN");
    field.MinimumGiven = true;
  }
  if (AcceptKeyword("MAX") || AcceptKeyword("MAXIMUM")) {
    field.MaximumText = ReadConstantText("MAX");
    field.MaximumGiven = true;
  }
  if (AcceptKeyword("CHARCASE")) {
    if (AcceptKeyword("UPPER")) {
      field.CharCase = TCharCase::Upper;
    } else if (AcceptKeyword("LOWER")) {
      field.CharCase = TCharCase::Lower;
    } else if (AcceptKeyword("NOCHANGE")) {
      field.CharCase = TCharCase::Unchanged;
    } else {
      Fail("UPPER, LOWER, or NOCHANGE keyword expected after CHARCASE keyword, instead found '");
    }
    field.CharCaseGiven = true;
  }
}

std::string TStatementParser::ReadConstantText(const char* keyword) {
  const std::string stem = std::string("Constant value expected after ") + keyword + " keyword, instead found '";
  std::string sign;
  if (P.IsSymbol('-') || P.IsSymbol('+')) {
    sign = P.TokenText();
    P.NextToken();
    if (P.TokenKind() != tk::Integer && P.TokenKind() != tk::Number) Fail(stem);
  }
  switch (P.TokenKind()) {
  case tk::Name:
  case tk::SingleQuoted:
  case tk::DoubleQuoted:
  case tk::Integer:
  case tk::Number:
  case tk::CharConstant: break;
  default: Fail(stem);
  }
  std::string text = sign + P.TokenText();
  P.NextToken();
  return text;
}

void TStatementParser::ParsePrimaryKey(TCreateIndex& index) {
  index.Primary = true;
  if (AcceptKeyword("CONSTRAINT"))
    index.IndexName = ReadName("Constraint name expected after CONSTRAINT keyword, instead found '");
  for (;;) {
    if (AcceptKeyword("UNIQUE")) index.Unique = true;
    else if (AcceptKeyword("ASC") || AcceptKeyword("ASCENDING")) index.Descending = false;
    else if (AcceptKeyword("DESC") || AcceptKeyword("DESCENDING")) index.Descending = true;
    else if (AcceptKeyword("NOCASE")) index.NoCase = true;
    else break;
  }
  ExpectKeyword("PRIMARY", "PRIMARY keyword expected, instead found '");
  ExpectKeyword("KEY", "KEY keyword expected after PRIMARY keyword, instead found '");
  // Dropping the primary key needs no column list.
  if (index.Action == TAlterAction::Drop && !P.IsSymbol('(')) return;
  ParseIndexColumns(index.Columns, "Left parentheses expected, instead found '",
                    "Right parentheses expected, instead found '");
  ParseCompression(index);
}

void TStatementParser::ParseIndexColumns(std::vector<TExpTree>& columns, const std::string& leftStem,
                                         const std::string& rightStem) {
  ExpectSymbol('(', leftStem);
  do {
    std::string text;
    TExpTree column = ParsePrimaryIn("index column", &text);
    StringToColumn(*column);
    if (column->NodeClass == nc::Column && !column->TableName.empty())
      FailMessage("Invalid use of table correlation name '" + column->TableName + "' specified in indexed columns");
    if (column->NodeClass != nc::Column || column->ColumnName == "*")
      FailMessage("Column name expected in list of indexed columns, instead found '" + text + "'");
    columns.push_back(std::move(column));
  } while (AcceptSymbol(','));
  ExpectSymbol(')', rightStem);
}

void TStatementParser::ParseCompression(TCreateIndex& index) {
  if (!AcceptKeyword("COMPRESS")) return;
  if (AcceptKeyword("FULL")) index.Compression = compression::Full;
  else if (AcceptKeyword("DUPBYTE")) index.Compression = compression::DupByte;
  else if (AcceptKeyword("TRAILBYTE")) index.Compression = compression::TrailByte;
  else if (AcceptKeyword("NONE")) index.Compression = compression::None;
  else Fail("FULL, DUPBYTE, TRAILBYTE, or NONE keyword expected after COMPRESS keyword, instead found '");
}

void TStatementParser::ParseTableOptionsFrom(TDataQuery& query, std::string pending) {
  // Each option may be introduced by a keyword already consumed (pending) or by the
  // current token; a comma may stand between options.
  auto at = [&](const char* word) {
    if (!pending.empty()) {
      if (pending != word) return false;
      pending.clear();
      return true;
    }
    return AcceptKeyword(word);
  };
  auto separator = [&] {
    if (pending.empty()) AcceptSymbol(',');
  };

  if (at("TEXT")) {
    ExpectKeyword("INDEX", "INDEX keyword expected after TEXT keyword, instead found '");
    query.TextIndexGiven = true;
    ParseIndexColumns(query.TextIndexColumns, "Left parentheses expected after TEXTINDEX keyword, instead found '",
                      "Right parentheses expected after TEXT INDEX clause, instead found '");
    if (AcceptKeyword("STOP")) {
      ExpectKeyword("WORDS", "WORDS keyword expected after STOP keyword, instead found '");
      query.StopWords = ParseExpressionIn("stop words", 0, &query.StopWordsText);
    }
    if (AcceptKeyword("SPACE")) {
      ExpectKeyword("CHARS", "CHARS keyword expected after SPACE keyword, instead found '");
      query.SpaceChars = ParseExpressionIn("character set", 0, &query.SpaceCharsText);
    }
    if (AcceptKeyword("INCLUDE")) {
      ExpectKeyword("CHARS", "CHARS keyword expected after INCLUDE keyword, instead found '");
      query.IncludeChars = ParseExpressionIn("character set", 0, &query.IncludeCharsText);
    }
    separator();
  }
  if (at("DESCRIPTION")) {
    if (P.TokenKind() != tk::SingleQuoted && P.TokenKind() != tk::DoubleQuoted)
      Fail("Description text expected after DESCRIPTION keyword, instead found '");
    query.Description = P.TokenText();
    query.DescriptionGiven = true;
    P.NextToken();
    separator();
  }
  if (at("BLOB")) {
    ExpectKeyword("BLOCK", "BLOCK keyword expected after BLOB keyword, instead found '");
    ExpectKeyword("SIZE", "SIZE keyword expected after BLOCK keyword, instead found '");
    query.BlobBlockSize = ReadInteger("Integer value expected after SIZE keyword, instead found '");
    separator();
  }
  if (at("LANGUAGE")) {
    ParseLanguageValue(query);
    separator();
  }
  if (at("ENCRYPTED")) {
    ParseEncryptionValue(query);
    separator();
  }
  for (int i = 0; i < 2 && at("USER"); ++i) {
    bool major = false;
    if (AcceptKeyword("MAJOR")) {
      major = true;
      ExpectKeyword("VERSION", "VERSION keyword expected after MAJOR keyword, instead found '");
    } else if (AcceptKeyword("MINOR")) {
      ExpectKeyword("VERSION", "VERSION keyword expected after MINOR keyword, instead found '");
    } else {
      Fail("MAJOR or MINOR keyword expected after USER keyword, instead found '");
    }
    const int32_t version = ReadInteger("Integer value expected after VERSION keyword, instead found '");
    if (major) {
      query.UserMajorVersion = version;
      query.UserMajorVersionGiven = true;
    } else {
      query.UserMinorVersion = version;
      query.UserMinorVersionGiven = true;
    }
    separator();
  }
  if (at("LAST")) {
    ExpectKeyword("AUTOINC", "AUTOINC keyword expected after LAST keyword, instead found '");
    const std::string stem = "Integer constant expected after AUTOINC keyword, instead found '";
    bool negative = false;
    if (P.IsSymbol('-') || P.IsSymbol('+')) {
      negative = P.IsSymbol('-');
      P.NextToken();
    }
    if (P.TokenKind() != tk::Integer) Fail(stem);
    const std::string& text = P.TokenText();
    int64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) Fail(stem);
    if (negative) value = -value;
    if (value < INT32_MIN || value > INT32_MAX) Fail(stem);
    P.NextToken();
    query.LastAutoInc = static_cast<int32_t>(value);
    query.LastAutoIncGiven = true;
    separator();
  }
  // A table option keyword that was consumed but is out of its place.
  if (!pending.empty()) FailMessage("Column name expected in list of table columns, instead found '" + pending + "'");
}

void TStatementParser::ParseCreateIndex(TDataQuery& query) {
  query.Kind = TStatementKind::CreateIndex;
  auto index = std::make_unique<TCreateIndex>(query);
  for (;;) {
    if (AcceptKeyword("UNIQUE")) index->Unique = true;
    else if (AcceptKeyword("ASC") || AcceptKeyword("ASCENDING")) index->Descending = false;
    else if (AcceptKeyword("DESC") || AcceptKeyword("DESCENDING")) index->Descending = true;
    else if (AcceptKeyword("NOCASE")) index->NoCase = true;
    else break;
  }
  ExpectKeyword("INDEX", "INDEX keyword expected, instead found '");
  if (AcceptKeyword("IF")) {
    ExpectKeyword("NOT", "NOT keyword expected after IF keyword, instead found '");
    ExpectKeyword("EXISTS", "EXISTS keyword expected after NOT keyword, instead found '");
    query.IfNotExists = true;
  }
  index->IndexName = ReadName("Index name expected after INDEX keyword, instead found '");
  ExpectKeyword("ON", "ON keyword expected after index name, instead found '");
  auto target = std::make_unique<TSourceTable>(query);
  ReadTableName(*target, "Table name expected after ON keyword, instead found '");
  target->CorrelationName = target->TableName;
  AddSourceTable(query, 0, std::move(target));
  ParseIndexColumns(index->Columns, "Left parentheses expected, instead found '",
                    "Right parentheses expected, instead found '");
  ParseCompression(*index);
  query.CreateIndexes.push_back(std::move(index));
}

void TStatementParser::ParseAlterTable(TDataQuery& query) {
  query.Kind = TStatementKind::AlterTable;
  P.NextToken();  // ALTER
  ExpectKeyword("TABLE", "TABLE keyword expected, instead found '");
  auto target = std::make_unique<TSourceTable>(query);
  ReadTableName(*target, "Table name expected after ALTER TABLE keywords, instead found '");
  target->CorrelationName = target->TableName;
  AddSourceTable(query, 0, std::move(target));

  do {
    TAlterAction action = TAlterAction::None;
    if (AcceptKeyword("ADD")) action = TAlterAction::Add;
    else if (AcceptKeyword("REDEFINE")) action = TAlterAction::Redefine;
    else if (AcceptKeyword("DROP")) action = TAlterAction::Drop;
    else Fail("ADD, DROP, or REDEFINE keyword expected, instead found '");

    if (AtPrimaryKeyStart()) {
      auto index = std::make_unique<TCreateIndex>(query);
      index->Action = action;
      ParsePrimaryKey(*index);
      query.CreateIndexes.push_back(std::move(index));
      continue;
    }
    AcceptKeyword("COLUMN");
    auto field = std::make_unique<TCreateField>(query);
    field->Action = action;
    std::string text;
    TExpTree column = ParsePrimaryIn("table column", &text);
    StringToColumn(*column);
    if (column->NodeClass != nc::Column || column->ColumnName == "*" || !column->TableName.empty())
      FailMessage("Column name expected in list of table columns, instead found '" + text + "'");
    field->ColumnName = column->ColumnName;
    if (action == TAlterAction::Add) {
      ParseColumnDefinition(*field, true);
    } else if (action == TAlterAction::Redefine) {
      // A second name renames the column. A bare data type name is the new type rather than
      // a new name (write [DATE] to rename a column to DATE).
      const bool candidate = P.IsName() && !IsAnyKeyword({"AT", "DESCRIPTION", "NOT", "DEFAULT", "MIN", "MINIMUM",
                                                          "MAX", "MAXIMUM", "CHARCASE", "TEXT", "BLOB", "LANGUAGE",
                                                          "ENCRYPTED", "USER", "LAST", "NOBACKUP"});
      if (candidate && P.TokenKind() != tk::Name) {
        field->NewName = P.TokenText();
        P.NextToken();
      } else if (candidate) {
        if (TExpTree type = ParseColumnType(true)) {
          field->DataType = std::move(type);
          if (AcceptKeyword("AT"))
            field->AtPosition = ReadInteger("Integer value expected after AT keyword, instead found '");
          ParseColumnOptions(*field);
          query.CreateFields.push_back(std::move(field));
          continue;
        }
        field->NewName = P.TokenText();
        P.NextToken();
      }
      ParseColumnDefinition(*field, false);
    }
    query.CreateFields.push_back(std::move(field));
  } while (AcceptSymbol(','));

  ParseTableOptionsFrom(query, "");
  if (AcceptKeyword("NOBACKUP")) query.NoBackup = true;
}

void TStatementParser::ParseDrop(TDataQuery& query) {
  P.NextToken();  // DROP
  const bool table = P.IsKeyword("TABLE");
  if (!table && !P.IsKeyword("INDEX")) Fail("TABLE or INDEX keyword expected, instead found '");
  P.NextToken();
  query.Kind = table ? TStatementKind::DropTable : TStatementKind::DropIndex;
  if (AcceptKeyword("IF")) {
    ExpectKeyword("EXISTS", "EXISTS keyword expected after IF keyword, instead found '");
    query.IfExists = true;
  }
  auto target = std::make_unique<TSourceTable>(query);
  if (table) {
    ReadTableName(*target, "Table name expected after DROP TABLE keywords, instead found '");
  } else {
    // [MEMORY] [database\]table.index, the index also accepted inside one quoted name.
    const std::string stem = "Table name expected after DROP INDEX keywords, instead found '";
    if (AcceptKeyword("MEMORY")) target->InMemory = true;
    std::string name = ReadName(stem);
    if (AcceptSymbol('\\')) {
      target->DatabasePath = name;
      name = ReadName(stem);
    }
    if (AcceptSymbol('.')) {
      query.IndexName = ReadName("Index name expected after table name, instead found '");
    } else {
      const std::size_t start = name.find_last_of("\\/:");
      const std::size_t dot = name.rfind('.');
      if (dot == std::string::npos || (start != std::string::npos && dot < start))
        Fail("Index name expected after table name, instead found '");
      query.IndexName = name.substr(dot + 1);
      name.erase(dot);
    }
    const std::size_t cut = name.find_last_of("\\/:");
    if (cut != std::string::npos && target->DatabasePath.empty()) target->DatabasePath = name.substr(0, cut + 1);
    target->TableName = cut == std::string::npos ? name : name.substr(cut + 1);
    if (target->TableName.empty() || query.IndexName.empty()) FailMessage(stem + name + "'");
    if (target->DatabasePath.empty() && !target->InMemory) target->Database = Statement.Database();
  }
  target->CorrelationName = target->TableName;
  AddSourceTable(query, 0, std::move(target));
}

}  // namespace quarry
