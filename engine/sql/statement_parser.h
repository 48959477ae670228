// TStatementParser: the recursive-descent grammar of SQL statements over the expression
// parser's scanner. It reads one statement from the current token into a query of the
// statement and leaves the token after it current.
//
// The grammar is split by statement family: the dispatch, source tables and joins and the
// shared token helpers in statement_parser.cpp, SELECT in select_parser.cpp, INSERT/UPDATE/
// DELETE in change_parser.cpp, CREATE/ALTER/DROP and transactions in definition_parser.cpp.
//
// Statement-level messages are a stem, the offending token and a closing quote, without a
// context suffix; messages from inside expressions carry the clause's context name.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "engine/sql/data_query.h"
#include "engine/sql/expression_parser.h"
#include "engine/sql/query_statement.h"

namespace quarry {

// Sets the parser's context name for one clause and puts back the previous one.
class TContextScope {
 public:
  TContextScope(TExpressionParser& parser, const char* context) : Parser(parser), Saved(parser.ContextName) {
    Parser.ContextName = context;
  }
  ~TContextScope() { Parser.ContextName = Saved; }
  TContextScope(const TContextScope&) = delete;
  TContextScope& operator=(const TContextScope&) = delete;

 private:
  TExpressionParser& Parser;
  std::string Saved;
};

class TStatementParser {
 public:
  explicit TStatementParser(TQueryStatement& statement);

  // A master statement at the current token, with the end-of-statement check (an optional
  // `;`, else the end of the text).
  void ParseMaster(TDataQuery& query);
  // A nested SELECT (sub-select) from its SELECT keyword; stops at the token closing it.
  void ParseNestedSelect(TDataQuery& query);

 private:
  TQueryStatement& Statement;
  TExpressionParser& P;
  // Per query: the correlation names in use (upper case), so that a long FROM list is
  // checked for duplicates in linear time, and the number of conditions joined by AND,
  // which bounds the height of the combined condition tree.
  std::unordered_map<const TDataQuery*, std::unordered_set<std::string>> Correlations;
  std::unordered_map<const TDataQuery*, int> ConditionCount;

  // ---- tokens and messages ----
  // stem + current token + "'".
  [[noreturn]] void Fail(const std::string& stem) const;
  [[noreturn]] void FailMessage(const std::string& message) const;
  void ExpectKeyword(const char* word, const std::string& stem);
  void ExpectSymbol(char symbol, const std::string& stem);
  // Consumes the keyword when it is current.
  bool AcceptKeyword(const char* word);
  bool AcceptSymbol(char symbol);
  bool IsAnyKeyword(std::initializer_list<const char*> words) const;
  // A name, bracketed name or string: its text; raises with stem otherwise.
  std::string ReadName(const std::string& stem);
  // An integer token as a 32-bit value; raises with stem when absent or out of range.
  int32_t ReadInteger(const std::string& stem);
  // An expression in the given context; text receives its source text when asked for.
  TExpTree ParseExpressionIn(const char* context, uint8_t flags, std::string* text = nullptr);
  // A primary with no flags (column names of DDL, UPDATE targets, index columns).
  TExpTree ParsePrimaryIn(const char* context, std::string* text = nullptr);

  // ---- shared clauses ----
  enum class TAliasRule { Select, InsertSelect, Change };
  // [MEMORY] name [\ name] into table; raises with stem when the name is missing.
  void ReadTableName(TSourceTable& table, const std::string& stem);
  // [AS] alias per the rule's stop words; the correlation name defaults to the table name.
  void ReadTableAlias(TSourceTable& table, TAliasRule rule);
  TSourceTable& AddSourceTable(TDataQuery& query, std::size_t at, std::unique_ptr<TSourceTable> table);
  // One FROM item with its joins and parentheses.
  // Returns the table written first (a RIGHT JOIN may put another before it in the list).
  TSourceTable& ParseTableReference(TDataQuery& query, const std::string& stem, TAliasRule rule);
  // FROM items separated by commas.
  void ParseSourceList(TDataQuery& query, const std::string& stem, TAliasRule rule);
  void AddCondition(TDataQuery& query, TExpTree condition);
  void ParseWhere(TDataQuery& query);
  // COMMIT [INTERVAL n] [FLUSH] of data-changing statements, when current.
  void ParseCommitOption(TDataQuery& query);
  // LANGUAGE 'name' [SORT 'name'], when current; the Value forms start after the keyword.
  void ParseLanguage(TDataQuery& query);
  void ParseLanguageValue(TDataQuery& query);
  // ENCRYPTED WITH 'password', when current.
  void ParseEncryption(TDataQuery& query);
  void ParseEncryptionValue(TDataQuery& query);

  // ---- SELECT ----
  void ParseSelect(TDataQuery& query, bool master, TAliasRule rule);
  // One SELECT block up to (not including) UNION; returns true when ORDER BY was read in it.
  bool ParseSelectBlock(TDataQuery& query, TDataQuery& head, bool master, TAliasRule rule);
  void ParseResultColumns(TDataQuery& query);
  void ParseInto(TDataQuery& query, bool master);
  template <typename TField>
  void ReadColumnItem(TField& field, const std::string& stem);

  // ---- data-changing ----
  void ParseInsert(TDataQuery& query);
  void ParseUpdate(TDataQuery& query);
  void ParseDelete(TDataQuery& query);

  // ---- data definition ----
  void ParseCreate(TDataQuery& query);
  void ParseCreateTable(TDataQuery& query);
  void ParseCreateIndex(TDataQuery& query);
  void ParseAlterTable(TDataQuery& query);
  void ParseDrop(TDataQuery& query);
  // A column definition's type and options (the name already read).
  void ParseColumnOptions(TCreateField& field);
  void ParseColumnDefinition(TCreateField& field, bool typeRequired);
  // An SQL data type completed for a table column; null when optional and absent.
  TExpTree ParseColumnType(bool optional);
  // A constant value of DEFAULT/MIN/MAX as its text.
  std::string ReadConstantText(const char* keyword);
  // [CONSTRAINT name] options PRIMARY KEY (columns) [COMPRESS ...].
  void ParsePrimaryKey(TCreateIndex& index);
  bool AtPrimaryKeyStart() const;
  // Reads ( columns ) into columns (plain names only).
  void ParseIndexColumns(std::vector<TExpTree>& columns, const std::string& leftStem, const std::string& rightStem);
  void ParseCompression(TCreateIndex& index);
  // The table options of CREATE/ALTER TABLE, in their fixed order; pending is an option
  // keyword already consumed (upper case), or empty.
  void ParseTableOptionsFrom(TDataQuery& query, std::string pending);
};

}  // namespace quarry
