// TExpressionParser: the recursive-descent grammar of expressions, over the scanner.
//
// Precedence, lowest first: OR, AND, NOT, comparison (one comparison or predicate, not
// chained), additive (+ - ||), multiplicative (* /), unary sign, primary. The parser
// builds the tree and presets the types the syntax alone fixes; names are resolved and
// types checked later (type_checker.h). Parse flags (pf:: in exp_token.h) say what the
// caller's clause allows.
//
// Hostile input is bounded: parentheses and function calls nest at most kMaxNesting
// deep and a finished tree is at most kMaxTreeHeight nodes high, so that the recursive
// passes over a tree (type checking, preparation, evaluation) stay well within the stack.
//
// A parser belongs to one owner (SQL statement or cursor) and is used by one thread at a
// time. Trees it returns belong to the caller; a failed parse leaves no tree behind.
#pragma once

#include <cstdint>
#include <string>

#include "engine/sql/expression_owner.h"
#include "engine/sql/expression_scanner.h"
#include "engine/values/exp_token.h"
#include "engine/values/token_stack.h"

namespace quarry {

class TExpressionParser : public TExpressionScanner {
 public:
  static constexpr int kMaxNesting = 200;
  static constexpr int kMaxTreeHeight = 1000;

  explicit TExpressionParser(TExpressionOwner* owner = nullptr) : Owner(owner) {}

  TExpressionOwner* Owner;

  // One expression at OR level; stops at the first token that cannot continue it and
  // leaves that token current (the end of the text is not checked).
  TExpTree ParseExpression(uint8_t flags);
  TExpTree ParsePrimary(uint8_t flags);
  TExpTree ParseAdditive(uint8_t flags);

  // Reads an SQL data type name and its arguments (slots 1 and 2 of node) and stores the
  // type and subtype in node. With optional set, a token that is no type name is left
  // current and false is returned.
  bool ParseDataType(TExpToken& node, uint8_t flags, bool optional);

 private:
  int Nesting = 0;  // ParsePrimary calls in progress

  // Raises when the tree is higher than kMaxTreeHeight (the tree is released).
  void CheckHeight(TExpTree& tree);
  [[noreturn]] void FailTooComplex();
  TExpTree ParseOr(uint8_t flags);
  TExpTree ParseAnd(uint8_t flags);
  TExpTree ParseNot(uint8_t flags);
  TExpTree ParseComparison(uint8_t flags);
  TExpTree ParsePredicate(TExpTree left, uint8_t flags, bool negated);
  TExpTree ParseAdditiveChain(uint8_t flags);
  TExpTree ParsePrimaryNode(uint8_t flags);
  TExpTree ParseMultiplicative(uint8_t flags);
  TExpTree ParseUnary(uint8_t flags);
  TExpTree ParseColumnAfterQualifier(const std::string& qualifier, uint8_t flags);
  TExpTree ParseNumber();
  TExpTree ParseCharConstant();
  TExpTree ParseString(uint8_t flags);
  TExpTree ParseCurrentDateTime(uint8_t type, const char* name);
  // Reserved words of the primary; null when the current name is not one.
  TExpTree ParseReservedWord(uint8_t flags);
  TExpTree ParseAggregate(uint8_t code, const char* name, uint8_t flags);
  TExpTree ParseFunction(uint8_t code, const char* name, uint8_t flags);

  // Requires the current token to be ch, consumes it; otherwise raises with stem.
  void Expect(char ch, const std::string& stem);
  void ExpectKeyword(const char* word, const std::string& stem);
  // Requires a keyword or a comma (IF and IFNULL accept both).
  void ExpectKeywordOrComma(const char* word, const std::string& stem);
};

// A node of the given class, code and text from the pool.
TExpTree MakeNode(uint8_t nodeClass, uint8_t opCode, const std::string& text);
// The file-name part of a qualifier, without path and extension (D:\DATA\VIDEOS.DAT -> VIDEOS).
std::string QualifierTableName(const std::string& qualifier);

}  // namespace quarry
