// The SELECT grammar: result columns with aliases, INTO, FROM with joins, WHERE, GROUP BY,
// HAVING, ORDER BY, TOP, WITH LOCKS, LANGUAGE, ENCRYPTED, NOJOINOPTIMIZE and UNION chains.
// The clauses are read in that fixed order; a clause out of place ends the statement and
// is reported by the end-of-statement check.
#include <charconv>

#include "engine/sql/expression_scanner.h"
#include "engine/sql/statement_parser.h"

namespace quarry {

namespace {

TAggregateKind AggregateOf(const TExpToken& node) {
  if (node.NodeClass != nc::Function) return TAggregateKind::None;
  switch (node.OpCode) {
  case op::Sum: return TAggregateKind::Sum;
  case op::RunSum: return TAggregateKind::RunSum;
  case op::Min: return TAggregateKind::Min;
  case op::Max: return TAggregateKind::Max;
  case op::Avg: return TAggregateKind::Avg;
  case op::Count: return TAggregateKind::Count;
  default: return TAggregateKind::None;
  }
}

// Whether the subtree holds an aggregate; allStar reports a `*` column found anywhere.
// Bounded by the tree height the expression parser enforces.
bool ContainsAggregate(const TExpToken* node, bool& allStar) {
  if (node == nullptr) return false;
  if (node->NodeClass == nc::Column && node->ColumnName == "*") allStar = true;
  bool found = AggregateOf(*node) != TAggregateKind::None;
  found = ContainsAggregate(node->Left, allStar) || found;
  found = ContainsAggregate(node->Right, allStar) || found;
  for (const TExpToken* arg : node->Args) found = ContainsAggregate(arg, allStar) || found;
  return found;
}

// Whether a `*` column stands anywhere but as the argument of COUNT.
bool StrayStar(const TExpToken* node, bool countArgument) {
  if (node == nullptr) return false;
  if (node->NodeClass == nc::Column) return node->ColumnName == "*" && !countArgument;
  const bool count = node->NodeClass == nc::Function && node->OpCode == op::Count;
  if (StrayStar(node->Left, false) || StrayStar(node->Right, false)) return true;
  for (const TExpToken* arg : node->Args)
    if (StrayStar(arg, count)) return true;
  return false;
}

bool IsPlainColumn(const TExpToken* node) { return node != nullptr && node->NodeClass == nc::Column; }

}  // namespace

void TStatementParser::ParseSelect(TDataQuery& query, bool master, TAliasRule rule) {
  // A UNION chain is read part by part, iteratively, so that a long chain cannot exhaust
  // the stack. ORDER BY written after the last part belongs to the head of the chain.
  TDataQuery* part = &query;
  for (;;) {
    const bool orderByHere = ParseSelectBlock(*part, query, master && part == &query, rule);
    if (!P.IsKeyword("UNION")) return;
    if (orderByHere) FailMessage("You cannot use an ORDER BY clause within a UNIONed query");
    P.NextToken();
    part->UnionFollows = true;
    part->UnionAll = AcceptKeyword("ALL");
    if (!P.IsKeyword("SELECT")) Fail("SELECT keyword expected, instead found '");
    TDataQuery& next = Statement.NewQuery();
    next.UnionPart = true;
    next.UnionOf = part;
    next.Nested = query.Nested;
    part->UnionQuery = &next;
    part = &next;
  }
}

bool TStatementParser::ParseSelectBlock(TDataQuery& query, TDataQuery& head, bool master, TAliasRule rule) {
  query.Kind = TStatementKind::Select;
  P.NextToken();  // SELECT
  AcceptKeyword("ALL");
  if (AcceptKeyword("DISTINCT")) query.Distinct = true;
  ParseResultColumns(query);
  ParseInto(query, master);
  ExpectKeyword("FROM", "FROM keyword expected, instead found '");
  ParseSourceList(query, "Table name expected after FROM keyword, instead found '", rule);
  ParseWhere(query);

  if (AcceptKeyword("GROUP")) {
    ExpectKeyword("BY", "BY keyword expected after GROUP keyword, instead found '");
    query.GroupByPresent = true;
    do {
      auto field = std::make_unique<TGroupByField>(query);
      ReadColumnItem(*field, "Column name or column number expected in GROUP BY clause, instead found '");
      query.GroupByFields.push_back(std::move(field));
    } while (AcceptSymbol(','));
  }

  if (AcceptKeyword("HAVING")) {
    query.HavingPresent = true;
    std::string text;
    // COUNT(*) is accepted here as in the result columns, which it must match.
    query.Having = ParseExpressionIn("HAVING clause", pf::Aggregates | pf::AllColumns, &text);
    if (StrayStar(query.Having.get(), false)) FailMessage("* (all columns) symbol is not allowed in HAVING clause");
  }

  bool orderByHere = false;
  if (AcceptKeyword("ORDER")) {
    ExpectKeyword("BY", "BY keyword expected after ORDER keyword, instead found '");
    orderByHere = true;
    // After the last part of a UNION chain the ORDER BY sorts the combined result.
    TDataQuery& target = query.UnionPart ? head : query;
    target.OrderByPresent = true;
    do {
      auto field = std::make_unique<TOrderByField>(target);
      ReadColumnItem(*field, "Column name or column number expected in ORDER BY clause, instead found '");
      if (AcceptKeyword("ASC") || AcceptKeyword("ASCENDING")) {
        field->Descending = false;
      } else if (AcceptKeyword("DESC") || AcceptKeyword("DESCENDING")) {
        field->Descending = true;
      }
      target.OrderByFields.push_back(std::move(field));
    } while (AcceptSymbol(','));
    if (AcceptKeyword("NOCASE")) target.OrderByNoCase = true;
  }

  if (AcceptKeyword("TOP")) {
    query.Top = ReadInteger("Integer value expected after TOP keyword, instead found '");
    if (query.Top < 0) query.Top = -1;
  }
  if (AcceptKeyword("WITH")) {
    ExpectKeyword("LOCKS", "LOCKS keyword expected after WITH keyword, instead found '");
    query.WithLocks = true;
  }
  ParseLanguage(query);
  ParseEncryption(query);
  if (AcceptKeyword("NOJOINOPTIMIZE")) query.NoJoinOptimize = true;
  return orderByHere;
}

void TStatementParser::ParseResultColumns(TDataQuery& query) {
  do {
    auto field = std::make_unique<TResultField>(query);
    field->Expression = ParseExpressionIn("source column expression", pf::Aggregates | pf::AllColumns | pf::Predicates,
                                          &field->ExpressionText);
    // Alias: AS name, or a name directly (not INTO or FROM); a.b keeps b.
    bool alias = false;
    if (AcceptKeyword("AS")) {
      field->ResultName = ReadName("Symbol or string expected after AS keyword, instead found '");
      alias = true;
    } else if (P.IsName() && !P.IsKeyword("INTO") && !P.IsKeyword("FROM")) {
      field->ResultName = P.TokenText();
      P.NextToken();
      alias = true;
    }
    if (alias && AcceptSymbol('.'))
      field->ResultName = ReadName("Symbol or string expected after table correlation name, instead found '");
    field->AliasGiven = alias;

    TExpToken* root = field->Expression.get();
    bool star = false;
    if (IsPlainColumn(root)) {
      field->SourceColumnName = root->ColumnName;
      field->SourceCorrelationName = root->TableName;
      if (!alias && root->ColumnName != "*") field->ResultName = root->ColumnName;
    } else if (const TAggregateKind kind = AggregateOf(*root); kind != TAggregateKind::None) {
      const TExpToken* argument = root->Arg(0);
      if (ContainsAggregate(argument, star)) FailMessage("Aggregate functions cannot be nested");
      field->Aggregate = kind;
      if (kind == TAggregateKind::Avg) query.HasAvg = true;
      if (IsPlainColumn(argument)) {
        field->SourceColumnName = argument->ColumnName;
        field->SourceCorrelationName = argument->TableName;
        if (argument->ColumnName == "*" && kind != TAggregateKind::Count)
          FailMessage("* (all columns) symbol is not allowed in source column expression");
      } else {
        // The per-row value of an aggregate over an expression is computed.
        if (star) FailMessage("* (all columns) symbol is not allowed in source column expression");
        field->Computed = true;
        query.HasComputed = true;
      }
    } else {
      if (ContainsAggregate(root, star)) FailMessage("Aggregate functions cannot be used within expressions");
      if (star) FailMessage("* (all columns) symbol is not allowed in source column expression");
      field->Computed = true;
      query.HasComputed = true;
    }
    query.ResultFields.push_back(std::move(field));
  } while (AcceptSymbol(','));

  const TResultField& first = *query.ResultFields.front();
  query.SelectStar = query.ResultFields.size() == 1 && first.Aggregate == TAggregateKind::None &&
                     first.SourceColumnName == "*" && first.SourceCorrelationName.empty();
}

void TStatementParser::ParseInto(TDataQuery& query, bool master) {
  if (!P.IsKeyword("INTO")) return;
  if (!master) FailMessage("The INTO clause can only be used with the master query");
  P.NextToken();
  const std::string stem = "Result table name expected in INTO clause, instead found '";
  if (AcceptKeyword("MEMORY")) {
    query.IntoMemory = true;
    if (!P.IsName() || P.IsKeyword("FROM")) return;
  }
  if (P.IsKeyword("FROM")) Fail(stem);
  std::string name = ReadName(stem);
  if (AcceptSymbol('\\')) {
    query.IntoDatabasePath = name;
    name = ReadName(stem);
  } else {
    const std::size_t cut = name.find_last_of("\\/:");
    if (cut != std::string::npos) query.IntoDatabasePath = name.substr(0, cut + 1);
  }
  query.IntoTableName = QualifierTableName(name);
  if (query.IntoTableName.empty()) FailMessage(stem + name + "'");
}

template <typename TField>
void TStatementParser::ReadColumnItem(TField& field, const std::string& stem) {
  if (P.TokenKind() == tk::Integer) {
    const std::string& text = P.TokenText();
    int32_t number = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), number);
    // A number too large for any column is kept as such; preparation rejects it.
    field.ColumnNumber = result.ec == std::errc() ? number : INT32_MAX;
    P.NextToken();
    return;
  }
  if (!P.IsName()) Fail(stem);
  std::string name = P.TokenText();
  P.NextToken();
  if (AcceptSymbol('.')) {
    field.CorrelationName = QualifierTableName(name);
    name = ReadName(stem);
  }
  field.ColumnName = name;
}

template void TStatementParser::ReadColumnItem<TOrderByField>(TOrderByField&, const std::string&);
template void TStatementParser::ReadColumnItem<TGroupByField>(TGroupByField&, const std::string&);

}  // namespace quarry
