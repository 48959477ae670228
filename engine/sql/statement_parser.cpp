// TStatementParser: statement dispatch, the end-of-statement check, and the pieces every
// statement family shares: token helpers, table names and aliases, FROM lists with joins,
// WHERE, COMMIT, LANGUAGE and ENCRYPTED options.
#include "engine/sql/statement_parser.h"

#include <charconv>

#include "engine/sql/expression_error.h"
#include "engine/sql/expression_scanner.h"
#include "engine/storage/index/language_names.h"

namespace quarry {

namespace {

bool IsComparison(const TExpToken& node) {
  return node.NodeClass == nc::Binary && node.OpCode >= op::Equal && node.OpCode <= op::LessEqual;
}

// Collects the qualifiers of the columns a subtree reads; unqualified columns add "".
// Returns false when the subtree reads no column. Bounded by the tree's height, which the
// expression parser limits.
bool CollectQualifiers(const TExpToken* node, std::vector<std::string>& qualifiers) {
  if (node == nullptr) return false;
  if (node->NodeClass == nc::Column) {
    qualifiers.push_back(UpperAscii(node->TableName));
    return true;
  }
  bool any = CollectQualifiers(node->Left, qualifiers);
  any = CollectQualifiers(node->Right, qualifiers) || any;
  for (const TExpToken* arg : node->Args) any = CollectQualifiers(arg, qualifiers) || any;
  return any;
}

// Marks the comparisons of an ON condition that compare columns of two tables with the
// join's kind. A side without a qualifier may belong to either table; the executor sorts
// that out, so such comparisons are marked too unless both sides name the same table.
void MarkJoinComparisons(TExpToken* node, uint8_t joinKind) {
  if (node == nullptr) return;
  if (node->NodeClass == nc::Binary && (node->OpCode == op::And || node->OpCode == op::Or)) {
    MarkJoinComparisons(node->Left, joinKind);
    MarkJoinComparisons(node->Right, joinKind);
    return;
  }
  if (node->NodeClass == nc::Unary && node->OpCode == op::Not) {
    MarkJoinComparisons(node->Left, joinKind);
    return;
  }
  if (!IsComparison(*node)) return;
  std::vector<std::string> left, right;
  if (!CollectQualifiers(node->Left, left) || !CollectQualifiers(node->Right, right)) return;
  const bool sameSingleTable = left.size() == 1 && right.size() == 1 && !left[0].empty() && left[0] == right[0];
  if (!sameSingleTable) node->JoinKind = joinKind;
}

// Marks the AND parts of an outer join's ON condition (see TExpToken::OuterJoinOn).
void MarkOuterJoinParts(TExpToken* node, uint8_t joinKind, const TSourceTable* inner) {
  if (node == nullptr) return;
  if (node->NodeClass == nc::Binary && node->OpCode == op::And) {
    MarkOuterJoinParts(node->Left, joinKind, inner);
    MarkOuterJoinParts(node->Right, joinKind, inner);
    return;
  }
  node->OuterJoinOn = joinKind;
  node->OuterJoinInner = inner;
}

}  // namespace

TStatementParser::TStatementParser(TQueryStatement& statement)
    : Statement(statement), P(statement.ExpressionParser()) {}

// ---- tokens and messages ----

void TStatementParser::Fail(const std::string& stem) const { P.FailMessage(stem + P.TokenText() + "'"); }

void TStatementParser::FailMessage(const std::string& message) const { P.FailMessage(message); }

void TStatementParser::ExpectKeyword(const char* word, const std::string& stem) {
  if (!P.IsKeyword(word)) Fail(stem);
  P.NextToken();
}

void TStatementParser::ExpectSymbol(char symbol, const std::string& stem) {
  if (!P.IsSymbol(symbol)) Fail(stem);
  P.NextToken();
}

bool TStatementParser::AcceptKeyword(const char* word) {
  if (!P.IsKeyword(word)) return false;
  P.NextToken();
  return true;
}

bool TStatementParser::AcceptSymbol(char symbol) {
  if (!P.IsSymbol(symbol)) return false;
  P.NextToken();
  return true;
}

bool TStatementParser::IsAnyKeyword(std::initializer_list<const char*> words) const {
  for (const char* word : words)
    if (P.IsKeyword(word)) return true;
  return false;
}

std::string TStatementParser::ReadName(const std::string& stem) {
  if (!P.IsName()) Fail(stem);
  std::string name = P.TokenText();
  P.NextToken();
  return name;
}

int32_t TStatementParser::ReadInteger(const std::string& stem) {
  if (P.TokenKind() != tk::Integer) Fail(stem);
  const std::string& text = P.TokenText();
  int32_t value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) Fail(stem);
  P.NextToken();
  return value;
}

TExpTree TStatementParser::ParseExpressionIn(const char* context, uint8_t flags, std::string* text) {
  TContextScope scope(P, context);
  P.MarkExpressionStart();
  TExpTree tree = P.ParseExpression(flags);
  if (text) *text = P.ExpressionText();
  return tree;
}

// ---- dispatch ----

void TStatementParser::ParseMaster(TDataQuery& query) {
  if (P.IsSymbol('(')) {
    P.NextToken();
    if (!P.IsKeyword("SELECT")) Fail("SELECT keyword expected, instead found '");
    query.Parenthesized = true;
    ParseSelect(query, true, TAliasRule::Select);
    ExpectSymbol(')', "Right parentheses expected after SELECT statement, instead found '");
  } else if (P.IsKeyword("SELECT")) {
    ParseSelect(query, true, TAliasRule::Select);
  } else if (P.IsKeyword("INSERT")) {
    ParseInsert(query);
  } else if (P.IsKeyword("UPDATE")) {
    ParseUpdate(query);
  } else if (P.IsKeyword("DELETE")) {
    ParseDelete(query);
  } else if (P.IsKeyword("CREATE")) {
    ParseCreate(query);
  } else if (P.IsKeyword("ALTER")) {
    ParseAlterTable(query);
  } else if (P.IsKeyword("DROP")) {
    ParseDrop(query);
  } else if (P.IsKeyword("START")) {
    P.NextToken();
    ExpectKeyword("TRANSACTION", "TRANSACTION keyword expected, instead found '");
    query.Kind = TStatementKind::StartTransaction;
  } else if (P.IsKeyword("ROLLBACK")) {
    P.NextToken();
    query.Kind = TStatementKind::Rollback;
    AcceptKeyword("WORK");
  } else if (P.IsKeyword("COMMIT")) {
    P.NextToken();
    query.Kind = TStatementKind::Commit;
    AcceptKeyword("WORK");
    if (AcceptKeyword("FLUSH")) query.CommitFlush = true;
  } else {
    Fail("SELECT, INSERT, UPDATE, DELETE, CREATE, ALTER, or DROP keyword expected, instead found '");
  }
  // A `;` ends the statement; what follows is the next statement of a script.
  if (AcceptSymbol(';')) return;
  if (P.TokenKind() != tk::End)
    FailMessage(std::string("End of ") + StatementName(query.Kind) + " statement expected, instead found '" +
                P.TokenText() + "'");
}

void TStatementParser::ParseNestedSelect(TDataQuery& query) {
  query.Nested = true;
  TContextScope scope(P, "SQL statement");
  ParseSelect(query, false, TAliasRule::Select);
}

// ---- tables ----

void TStatementParser::ReadTableName(TSourceTable& table, const std::string& stem) {
  if (AcceptKeyword("MEMORY")) table.InMemory = true;
  std::string first = ReadName(stem);
  if (AcceptSymbol('\\')) {
    // database\table: a table of another database.
    table.DatabasePath = first;
    first = ReadName(stem);
  } else {
    const std::size_t cut = first.find_last_of("\\/:");
    if (cut != std::string::npos) table.DatabasePath = first.substr(0, cut + 1);
  }
  table.TableName = QualifierTableName(first);
  if (table.TableName.empty()) FailMessage(stem + first + "'");
  if (table.DatabasePath.empty() && !table.InMemory) table.Database = Statement.Database();
}

void TStatementParser::ReadTableAlias(TSourceTable& table, TAliasRule rule) {
  table.CorrelationName = table.TableName;
  if (AcceptKeyword("AS")) {
    table.CorrelationName = ReadName("Symbol or string expected after AS keyword, instead found '");
    table.AliasGiven = true;
    return;
  }
  if (!P.IsName()) return;
  // Words that continue the statement are never taken for an alias. FULL and OUTER are
  // among them so that FULL [OUTER] JOIN reaches its own message.
  if (IsAnyKeyword({"LEFT", "RIGHT", "INNER", "JOIN", "WHERE", "ORDER", "GROUP", "HAVING", "TOP", "RANGE", "WITH",
                    "ENCRYPTED", "LANGUAGE", "NOJOINOPTIMIZE", "UNION", "FULL", "OUTER", "ON"}))
    return;
  if (rule != TAliasRule::Select && IsAnyKeyword({"NOAUTOINC", "COMMIT"})) return;
  if (rule == TAliasRule::Change && IsAnyKeyword({"SET", "FROM"})) return;
  table.CorrelationName = P.TokenText();
  table.AliasGiven = true;
  P.NextToken();
}

TSourceTable& TStatementParser::AddSourceTable(TDataQuery& query, std::size_t at, std::unique_ptr<TSourceTable> table) {
  auto& names = Correlations[&query];
  if (names.size() != query.SourceTables.size()) {
    // The list was changed behind this parser's back (UPDATE ... FROM restarts it).
    names.clear();
    for (const auto& t : query.SourceTables) names.insert(UpperAscii(t->CorrelationName));
  }
  if (!names.insert(UpperAscii(table->CorrelationName)).second)
    FailMessage("Duplicate table correlation name '" + table->CorrelationName + "' found in source tables");
  if (at >= query.SourceTables.size()) {
    table->Position = static_cast<int>(query.SourceTables.size()) + 1;
    query.SourceTables.push_back(std::move(table));
    return *query.SourceTables.back();
  }
  auto it = query.SourceTables.insert(query.SourceTables.begin() + static_cast<std::ptrdiff_t>(at), std::move(table));
  for (std::size_t i = at; i < query.SourceTables.size(); ++i)
    query.SourceTables[i]->Position = static_cast<int>(i) + 1;
  return **it;
}

TSourceTable& TStatementParser::ParseTableReference(TDataQuery& query, const std::string& stem, TAliasRule rule) {
  const std::size_t blockStart = query.SourceTables.size();
  int open = 0;
  auto readTable = [&](const std::string& tableStem, bool first) {
    while (AcceptSymbol('(')) {
      if (++open > TExpressionParser::kMaxNesting) FailMessage("Mismatched join parentheses");
    }
    auto table = std::make_unique<TSourceTable>(query);
    ReadTableName(*table, tableStem);
    ReadTableAlias(*table, rule);
    return first ? &AddSourceTable(query, query.SourceTables.size(), std::move(table)) : nullptr;
  };
  TSourceTable& first = *readTable(stem, true);
  for (;;) {
    uint8_t kind = 0;
    if (P.IsKeyword("INNER")) {
      P.NextToken();
      ExpectKeyword("JOIN", "JOIN keyword expected after INNER keyword, instead found '");
      kind = 1;
    } else if (P.IsKeyword("JOIN")) {
      P.NextToken();
      kind = 1;
    } else if (P.IsKeyword("LEFT")) {
      P.NextToken();
      AcceptKeyword("OUTER");
      ExpectKeyword("JOIN", "JOIN keyword expected after LEFT or OUTER keyword, instead found '");
      kind = 2;
    } else if (P.IsKeyword("RIGHT")) {
      P.NextToken();
      AcceptKeyword("OUTER");
      ExpectKeyword("JOIN", "JOIN keyword expected after RIGHT or OUTER keyword, instead found '");
      kind = 3;
    } else if (P.IsKeyword("FULL")) {
      FailMessage("Full outer joins are currently not supported in Quarry SQL SELECT statements");
    } else if (open > 0 && P.IsSymbol(')')) {
      P.NextToken();
      --open;
      continue;
    } else {
      break;
    }
    while (AcceptSymbol('(')) {
      if (++open > TExpressionParser::kMaxNesting) FailMessage("Mismatched join parentheses");
    }
    auto table = std::make_unique<TSourceTable>(query);
    ReadTableName(*table, "Table name expected after JOIN keyword, instead found '");
    ReadTableAlias(*table, rule);
    // A right join is run as a left join with the sides exchanged: its table goes first, and
    // the inner side is what stood before it (named when that is one table).
    const std::size_t before = query.SourceTables.size() - blockStart;
    TSourceTable& added = AddSourceTable(query, kind == 3 ? blockStart : query.SourceTables.size(), std::move(table));
    const TSourceTable* inner =
        kind == 2 ? &added : (kind == 3 && before == 1 ? query.SourceTables[blockStart + 1].get() : nullptr);
    query.HasJoin = true;
    ExpectKeyword("ON", "ON keyword expected in JOIN clause, instead found '");
    TExpTree condition = ParseExpressionIn("WHERE or JOIN clause", pf::Predicates | pf::Parameters);
    MarkJoinComparisons(condition.get(), kind);
    if (kind == 2 || kind == 3) MarkOuterJoinParts(condition.get(), kind, inner);
    AddCondition(query, std::move(condition));
  }
  if (open != 0) FailMessage("Mismatched join parentheses");
  return first;
}

void TStatementParser::ParseSourceList(TDataQuery& query, const std::string& stem, TAliasRule rule) {
  ParseTableReference(query, stem, rule);
  while (AcceptSymbol(',')) {
    query.HasJoin = true;
    ParseTableReference(query, stem, rule);
  }
}

void TStatementParser::AddCondition(TDataQuery& query, TExpTree condition) {
  if (!condition) return;
  // Each condition adds one AND above the others: keep the whole tree within the height the
  // recursive passes over trees are built for.
  if (++ConditionCount[&query] > TExpressionParser::kMaxTreeHeight)
    FailMessage("Expression is nested more than " + std::to_string(TExpressionParser::kMaxNesting) + " levels or " +
                std::to_string(TExpressionParser::kMaxTreeHeight) + " operators deep in " + P.ContextName);
  if (!query.Condition) {
    query.Condition = std::move(condition);
    return;
  }
  TExpTree both = MakeNode(nc::Binary, op::And, "AND");
  both->SetType(vt::Boolean, st::None, 2);
  both->Left = query.Condition.release();
  both->Left->Parent = both.get();
  both->Right = condition.release();
  both->Right->Parent = both.get();
  query.Condition = std::move(both);
}

void TStatementParser::ParseWhere(TDataQuery& query) {
  if (!AcceptKeyword("WHERE")) return;
  AddCondition(query, ParseExpressionIn("WHERE or JOIN clause", pf::Predicates | pf::Parameters | pf::SubSelects));
}

void TStatementParser::ParseCommitOption(TDataQuery& query) {
  if (!AcceptKeyword("COMMIT")) return;
  query.CommitGiven = true;
  bool any = false;
  if (AcceptKeyword("INTERVAL")) {
    query.CommitInterval = ReadInteger("Integer value expected after INTERVAL keyword, instead found '");
    any = true;
  }
  if (AcceptKeyword("FLUSH")) {
    query.CommitFlush = true;
    any = true;
  }
  if (!any) Fail("INTERVAL and/or FLUSH keywords expected after COMMIT keyword, instead found '");
}

void TStatementParser::ParseLanguage(TDataQuery& query) {
  if (AcceptKeyword("LANGUAGE")) ParseLanguageValue(query);
}

void TStatementParser::ParseLanguageValue(TDataQuery& query) {
  const std::string language = P.TokenText();
  const auto id =
      (P.TokenKind() == tk::SingleQuoted || P.TokenKind() == tk::DoubleQuoted) ? LanguageIdOf(language) : std::nullopt;
  if (!id) FailMessage("Invalid language constant '" + language + "' specified after LANGUAGE keyword");
  P.NextToken();
  query.LanguageId = *id;
  query.LanguageGiven = true;
  if (!AcceptKeyword("SORT")) return;
  const std::string sort = P.TokenText();
  const auto sortId =
      (P.TokenKind() == tk::SingleQuoted || P.TokenKind() == tk::DoubleQuoted) ? SortIdOf(*id, sort) : std::nullopt;
  if (!sortId) FailMessage("Invalid sort constant '" + sort + "' specified after SORT keyword");
  P.NextToken();
  query.SortId = *sortId;
  query.SortGiven = true;
}

void TStatementParser::ParseEncryption(TDataQuery& query) {
  if (AcceptKeyword("ENCRYPTED")) ParseEncryptionValue(query);
}

void TStatementParser::ParseEncryptionValue(TDataQuery& query) {
  ExpectKeyword("WITH", "WITH keyword expected after ENCRYPTED keyword, instead found '");
  if (P.TokenKind() != tk::SingleQuoted && P.TokenKind() != tk::DoubleQuoted)
    Fail("Password expected after ENCRYPTED WITH keywords, instead found '");
  query.Password = P.TokenText();
  query.EncryptionGiven = true;
  P.NextToken();
}

}  // namespace quarry
