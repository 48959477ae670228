// Test support for the SQL statement tests (header only): a compact one-line description
// of every query of a parsed statement, so that tables of statements can state the tree
// they expect, and a helper that returns the code and message a statement fails with.
//
// Description of a query: [nested] [unionpart] [parenthesized] KIND, then flags, then the
// clause lists, e.g.
//   SELECT distinct join cols[TITLE=col:V.TITLE] from[VIDEOS V,...] where[...] order[V.TITLE]
// Queries are separated by " | " in creation order (master first). Column names without a
// result name show as "?"; comparisons of JOIN ... ON carry "j" and their join kind.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "engine/sql/expression_test_support.h"
#include "engine/sql/query_statement.h"
#include "engine/storage/errors/engine_error.h"

namespace quarry::testing_support {

inline std::string RenderWithJoins(const TExpToken* n) {
  if (n == nullptr) return "-";
  std::string text;
  if (n->NodeClass == nc::Binary) {
    text = n->Text + "(" + RenderWithJoins(n->Left) + "," + RenderWithJoins(n->Right) + ")";
  } else if (n->NodeClass == nc::Unary) {
    text = n->Text + "(" + RenderWithJoins(n->Left) + ")";
  } else {
    text = Render(n);
  }
  if (n->JoinKind != 0) text += "j" + std::to_string(n->JoinKind);
  return text;
}

template <typename TItem>
std::string JoinItems(const std::vector<TItem>& items, std::string (*one)(const typename TItem::element_type&)) {
  std::string s;
  for (std::size_t i = 0; i < items.size(); ++i) s += (i ? "," : "") + one(*items[i]);
  return s;
}

inline std::string DescribeSource(const TSourceTable& t) {
  std::string s = t.TableName;
  if (t.CorrelationName != t.TableName) s += " " + t.CorrelationName;
  if (!t.DatabasePath.empty()) s += " db=" + t.DatabasePath;
  if (t.InMemory) s += " mem";
  return s;
}

inline std::string DescribeResult(const TResultField& f) {
  std::string s = (f.ResultName.empty() ? "?" : f.ResultName) + "=" + Render(f.Expression.get());
  if (f.AliasGiven) s += " alias";
  if (f.Aggregate != TAggregateKind::None) s += " agg" + std::to_string(static_cast<int>(f.Aggregate));
  if (f.Computed) s += " computed";
  return s;
}

template <typename TField>
std::string DescribeColumnItem(const TField& f) {
  if (f.ColumnName.empty()) return "#" + std::to_string(f.ColumnNumber);
  return (f.CorrelationName.empty() ? "" : f.CorrelationName + ".") + f.ColumnName;
}

inline std::string DescribeOrder(const TOrderByField& f) {
  return DescribeColumnItem(f) + (f.Descending ? " desc" : "");
}

inline std::string DescribeGroup(const TGroupByField& f) { return DescribeColumnItem(f); }

inline std::string DescribeUpdateField(const TUpdateField& f) {
  return (f.CorrelationName.empty() ? "" : f.CorrelationName + ".") + f.ColumnName;
}

inline std::string DescribeValue(const TUpdateValue& v) { return Render(v.Value.get()); }

inline std::string ActionWord(TAlterAction action) {
  switch (action) {
  case TAlterAction::Add: return "add";
  case TAlterAction::Drop: return "drop";
  case TAlterAction::Redefine: return "redefine";
  default: return "";
  }
}

inline std::string DescribeField(const TCreateField& f) {
  std::string s = ActionWord(f.Action);
  if (!s.empty()) s += " ";
  s += f.ColumnName;
  if (!f.NewName.empty()) s += "->" + f.NewName;
  if (const TExpToken* t = f.DataType.get()) {
    s += " t" + std::to_string(t->DataType);
    if (t->SubType) s += "/" + std::to_string(t->SubType);
    if (t->DataType == vt::String || t->DataType == vt::Bytes || t->DataType == vt::Bcd)
      s += ":" + std::to_string(t->ValueSize);
    if (t->DataType == vt::Bcd) s += "." + std::to_string(t->Scale);
  }
  if (f.AtPosition) s += " at" + std::to_string(f.AtPosition);
  if (f.DescriptionGiven) s += " desc=" + f.Description;
  if (f.NotNull) s += " notnull";
  if (f.DefaultGiven) s += " default=" + f.DefaultText;
  if (f.MinimumGiven) s += " min=" + f.MinimumText;
  if (f.MaximumGiven) s += " max=" + f.MaximumText;
  if (f.CharCaseGiven)
    s += f.CharCase == TCharCase::Upper ? " upper" : f.CharCase == TCharCase::Lower ? " lower" : " nochange";
  return s;
}

inline std::string ColumnList(const std::vector<TExpTree>& columns) {
  std::string s;
  for (std::size_t i = 0; i < columns.size(); ++i) s += (i ? "," : "") + columns[i]->ColumnName;
  return s;
}

inline std::string DescribeIndex(const TCreateIndex& x) {
  std::vector<std::string> words;
  if (x.Action != TAlterAction::None) words.push_back(ActionWord(x.Action));
  if (x.Primary) words.push_back("primary");
  if (!x.IndexName.empty()) words.push_back(x.IndexName);
  if (x.Unique) words.push_back("unique");
  if (x.Descending) words.push_back("desc");
  if (x.NoCase) words.push_back("nocase");
  std::string s;
  for (std::size_t i = 0; i < words.size(); ++i) s += (i ? " " : "") + words[i];
  s += "(" + ColumnList(x.Columns) + ")";
  if (!x.Columns.empty()) s += " c" + std::to_string(x.Compression);
  return s;
}

inline std::string DescribeQuery(const TDataQuery& q) {
  std::vector<std::string> parts;
  if (q.Nested) parts.push_back("nested");
  if (q.UnionPart) parts.push_back("unionpart");
  if (q.Parenthesized) parts.push_back("parenthesized");
  parts.push_back(StatementName(q.Kind));
  const bool select = q.Kind == TStatementKind::Select;
  if (q.Distinct) parts.push_back("distinct");
  if (q.SelectStar) parts.push_back("star");
  if (q.UnionFollows) parts.push_back(q.UnionAll ? "union all" : "union");
  if (q.HasAvg) parts.push_back("avg");
  if (q.HasComputed) parts.push_back("computed");
  if (q.HasJoin) parts.push_back("join");
  if (q.IfExists) parts.push_back("ifexists");
  if (q.IfNotExists) parts.push_back("ifnotexists");
  if (q.NoBackup) parts.push_back("nobackup");
  if (q.NoAutoInc) parts.push_back("noautoinc");
  if (!select && q.NoJoinOptimize) parts.push_back("nojoinoptimize");
  if (q.CommitGiven) parts.push_back(q.CommitInterval >= 0 ? "commit=" + std::to_string(q.CommitInterval) : "commit");
  if (q.CommitFlush) parts.push_back("flush");
  if (!q.IndexName.empty()) parts.push_back("index=" + q.IndexName);
  if (!q.ResultFields.empty()) parts.push_back("cols[" + JoinItems(q.ResultFields, &DescribeResult) + "]");
  if (!q.IntoTableName.empty() || q.IntoMemory) {
    std::vector<std::string> into;
    if (q.IntoMemory) into.push_back("memory");
    if (!q.IntoDatabasePath.empty()) into.push_back(q.IntoDatabasePath);
    if (!q.IntoTableName.empty()) into.push_back(q.IntoTableName);
    std::string s;
    for (std::size_t i = 0; i < into.size(); ++i) s += (i ? " " : "") + into[i];
    parts.push_back("into[" + s + "]");
  }
  if (!q.SourceTables.empty())
    parts.push_back((select ? "from[" : "target[") + JoinItems(q.SourceTables, &DescribeSource) + "]");
  if (!q.UpdateFields.empty()) parts.push_back("set[" + JoinItems(q.UpdateFields, &DescribeUpdateField) + "]");
  if (!q.UpdateValues.empty()) parts.push_back("values[" + JoinItems(q.UpdateValues, &DescribeValue) + "]");
  if (q.Condition) parts.push_back("where[" + RenderWithJoins(q.Condition.get()) + "]");
  if (!q.GroupByFields.empty()) parts.push_back("group[" + JoinItems(q.GroupByFields, &DescribeGroup) + "]");
  if (q.Having) parts.push_back("having[" + Render(q.Having.get()) + "]");
  if (!q.OrderByFields.empty()) parts.push_back("order[" + JoinItems(q.OrderByFields, &DescribeOrder) + "]");
  if (q.OrderByNoCase) parts.push_back("nocase");
  if (!q.CreateFields.empty()) parts.push_back("fields[" + JoinItems(q.CreateFields, &DescribeField) + "]");
  if (!q.CreateIndexes.empty()) parts.push_back("indexes[" + JoinItems(q.CreateIndexes, &DescribeIndex) + "]");
  if (q.TextIndexGiven) {
    std::string s = "textindex(" + ColumnList(q.TextIndexColumns) + ")";
    if (q.StopWords) s += " stop=" + q.StopWordsText;
    if (q.SpaceChars) s += " space=" + q.SpaceCharsText;
    if (q.IncludeChars) s += " include=" + q.IncludeCharsText;
    parts.push_back(s);
  }
  if (q.DescriptionGiven) parts.push_back("desc=" + q.Description);
  if (q.BlobBlockSize) parts.push_back("blocksize=" + std::to_string(q.BlobBlockSize));
  if (q.Top >= 0) parts.push_back("top=" + std::to_string(q.Top));
  if (q.WithLocks) parts.push_back("locks");
  if (q.LanguageGiven) parts.push_back("language=" + std::to_string(q.LanguageId) + "/" + std::to_string(q.SortId));
  if (q.EncryptionGiven) parts.push_back("password=" + q.Password);
  if (q.UserMajorVersionGiven) parts.push_back("major=" + std::to_string(q.UserMajorVersion));
  if (q.UserMinorVersionGiven) parts.push_back("minor=" + std::to_string(q.UserMinorVersion));
  if (q.LastAutoIncGiven) parts.push_back("lastautoinc=" + std::to_string(q.LastAutoInc));
  if (select && q.NoJoinOptimize) parts.push_back("nojoinoptimize");
  std::string s;
  for (std::size_t i = 0; i < parts.size(); ++i) s += (i ? " " : "") + parts[i];
  return s;
}

inline std::string DescribeStatement(const TQueryStatement& statement) {
  std::string s;
  for (std::size_t i = 0; i < statement.Queries().size(); ++i)
    s += (i ? " | " : "") + DescribeQuery(*statement.Queries()[i]);
  return s;
}

// The code and detail message the text fails to parse with; {0, ""} when it parses.
inline std::pair<int, std::string> ParseError(const std::string& sql) {
  TQueryStatement statement(nullptr);
  try {
    statement.Parse(sql);
  } catch (const EQuarryEngineError& e) {
    return {e.Code(), e.Detail()};
  }
  return {0, ""};
}

}  // namespace quarry::testing_support
