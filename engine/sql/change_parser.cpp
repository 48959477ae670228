// The grammar of the data-changing statements: INSERT (VALUES or SELECT), UPDATE and
// DELETE, with their NOAUTOINC, COMMIT and NOJOINOPTIMIZE options. The target table is
// always the query's first source table.
#include "engine/sql/expression_scanner.h"
#include "engine/sql/statement_parser.h"

namespace quarry {

namespace {

// A column named by a quoted string is a column reference like a plain name.
void StringToColumn(TExpToken& node) {
  if (node.NodeClass != nc::Constant || node.IsParam || node.DataType != vt::String) return;
  if (node.IsNull) return;  // an empty string names no column
  node.NodeClass = nc::Column;
  node.ColumnName = node.Text;
  node.TableName.clear();
  node.SetType(vt::Unknown, st::None, 0);
}

}  // namespace

void TStatementParser::ParseInsert(TDataQuery& query) {
  query.Kind = TStatementKind::Insert;
  P.NextToken();
  ExpectKeyword("INTO", "INTO keyword expected, instead found '");
  auto target = std::make_unique<TSourceTable>(query);
  ReadTableName(*target, "Table name expected after INTO keyword, instead found '");
  target->CorrelationName = target->TableName;
  if (P.IsName() && !P.IsKeyword("VALUES") && !P.IsKeyword("SELECT")) {
    target->CorrelationName = P.TokenText();
    target->AliasGiven = true;
    P.NextToken();
  }
  query.Target = &AddSourceTable(query, 0, std::move(target));

  if (AcceptSymbol('(')) {
    if (P.IsKeyword("SELECT")) {
      // INSERT INTO T (SELECT ...): a parenthesised SELECT without a column list.
      auto all = std::make_unique<TUpdateField>(query);
      all->Column = MakeNode(nc::Column, 0, "*");
      all->Column->ColumnName = "*";
      all->ColumnName = "*";
      all->Text = "*";
      query.UpdateFields.push_back(std::move(all));
      TDataQuery& select = Statement.NewQuery();
      select.Nested = true;
      select.Parenthesized = true;
      query.InsertSelect = &select;
      ParseSelect(select, false, TAliasRule::InsertSelect);
      ExpectSymbol(')', "Right parentheses expected after SELECT statement, instead found '");
    } else {
      do {
        auto field = std::make_unique<TUpdateField>(query);
        field->Column = ParseExpressionIn("table column", 0, &field->Text);
        StringToColumn(*field->Column);
        if (field->Column->NodeClass != nc::Column || field->Column->ColumnName == "*")
          FailMessage("Column name expected in list of table columns, instead found '" + field->Text + "'");
        field->ColumnName = field->Column->ColumnName;
        field->CorrelationName = field->Column->TableName;
        query.UpdateFields.push_back(std::move(field));
      } while (AcceptSymbol(','));
      ExpectSymbol(')', "Right parentheses expected after list of table columns, instead found '");
    }
  }
  if (query.InsertSelect == nullptr) {
    if (query.UpdateFields.empty()) {
      auto all = std::make_unique<TUpdateField>(query);
      all->Column = MakeNode(nc::Column, 0, "*");
      all->Column->ColumnName = "*";
      all->ColumnName = "*";
      all->Text = "*";
      query.UpdateFields.push_back(std::move(all));
    }
    if (AcceptKeyword("VALUES")) {
      ExpectSymbol('(', "Left parentheses expected after VALUES keyword, instead found '");
      do {
        auto value = std::make_unique<TUpdateValue>(query);
        value->Value = ParseExpressionIn("value expression", pf::Parameters, &value->Text);
        query.UpdateValues.push_back(std::move(value));
      } while (AcceptSymbol(','));
      ExpectSymbol(')', "Right parentheses expected after list of values, instead found '");
    } else if (P.IsKeyword("SELECT") || P.IsSymbol('(')) {
      const bool parenthesized = AcceptSymbol('(');
      if (!P.IsKeyword("SELECT")) Fail("SELECT keyword expected, instead found '");
      TDataQuery& select = Statement.NewQuery();
      select.Nested = true;
      select.Parenthesized = parenthesized;
      query.InsertSelect = &select;
      ParseSelect(select, false, TAliasRule::InsertSelect);
      if (parenthesized) ExpectSymbol(')', "Right parentheses expected after SELECT statement, instead found '");
    } else {
      Fail("VALUES or SELECT  keyword expected, instead found '");
    }
  }
  if (AcceptKeyword("NOAUTOINC")) query.NoAutoInc = true;
  ParseCommitOption(query);
}

void TStatementParser::ParseUpdate(TDataQuery& query) {
  query.Kind = TStatementKind::Update;
  P.NextToken();
  auto target = std::make_unique<TSourceTable>(query);
  ReadTableName(*target, "Table name expected, instead found '");
  ReadTableAlias(*target, TAliasRule::Change);
  query.Target = &AddSourceTable(query, 0, std::move(target));
  ExpectKeyword("SET", "SET keyword expected, instead found '");
  do {
    auto field = std::make_unique<TUpdateField>(query);
    field->Column = ParsePrimaryIn("SQL statement", &field->Text);
    StringToColumn(*field->Column);
    if (field->Column->NodeClass != nc::Column || field->Column->ColumnName == "*")
      FailMessage("Column name expected before assignment (=) operator, instead found '" + field->Text + "'");
    field->ColumnName = field->Column->ColumnName;
    field->CorrelationName = field->Column->TableName;
    ExpectSymbol('=', "Assignment (=) operator expected after column name, instead found '");
    auto value = std::make_unique<TUpdateValue>(query);
    value->Value = ParseExpressionIn("value expression", pf::Parameters, &value->Text);
    query.UpdateFields.push_back(std::move(field));
    query.UpdateValues.push_back(std::move(value));
  } while (AcceptSymbol(','));

  if (AcceptKeyword("FROM")) {
    // The FROM list restates the updated table first, under the same name and alias.
    std::unique_ptr<TSourceTable> updated = std::move(query.SourceTables.front());
    query.SourceTables.clear();
    ParseSourceList(query, "Table name expected after FROM keyword, instead found '", TAliasRule::Change);
    const TSourceTable& first = *query.SourceTables.front();
    if (!SameText(first.TableName, updated->TableName) || !SameText(first.CorrelationName, updated->CorrelationName) ||
        !SameText(first.DatabasePath, updated->DatabasePath) || first.InMemory != updated->InMemory)
      FailMessage(
          "The first source table specified in FROM clause must match the table being "
          "updated in the UPDATE statement");
    query.Target = query.SourceTables.front().get();
  }
  ParseWhere(query);
  if (AcceptKeyword("NOAUTOINC")) query.NoAutoInc = true;
  ParseCommitOption(query);
  if (AcceptKeyword("NOJOINOPTIMIZE")) query.NoJoinOptimize = true;
}

void TStatementParser::ParseDelete(TDataQuery& query) {
  query.Kind = TStatementKind::Delete;
  P.NextToken();
  ExpectKeyword("FROM", "FROM keyword expected, instead found '");
  query.Target =
      &ParseTableReference(query, "Table name expected after FROM keyword, instead found '", TAliasRule::Change);
  ParseWhere(query);
  ParseCommitOption(query);
  if (AcceptKeyword("NOJOINOPTIMIZE")) query.NoJoinOptimize = true;
}

}  // namespace quarry
