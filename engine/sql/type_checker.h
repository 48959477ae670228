// Type checking of expression trees: resolves column names, turns string constants into
// columns or dates where the other side asks for it, gives every node its data type,
// subtype, value size and scale, and rejects mismatches with messages that name the
// offending part. Runs once per tree, in place, before the tree is prepared.
#pragma once

#include <cstdint>
#include <string>

#include "engine/sql/column_source.h"
#include "engine/sql/expression_error.h"
#include "engine/sql/expression_owner.h"
#include "engine/values/token_stack.h"

namespace quarry {

struct TCheckOptions {
  uint16_t ErrorCode = kSqlErrorCode;  // kSqlErrorCode SQL, kFilterErrorCode filters
  std::string TableName;               // filters: the table's name
  bool StringsMayBeColumns = true;     // a string constant naming a column denotes it
  bool RewriteBooleanColumns = true;   // a lone boolean column means column = True
  TColumnResolver* Resolver = nullptr;
  TExpressionOwner* Owner = nullptr;
  std::string Context = "SQL statement";
};

// Type-checks the subtree at node (whose parent is given) in place. The node itself may
// be replaced (a boolean column rewritten into a comparison), hence the reference.
// Raises the engine error of options.ErrorCode on any mismatch; the caller then discards
// the tree.
void CheckExpression(const TCheckOptions& options, TExpToken* parent, TExpToken*& node);
void CheckExpression(const TCheckOptions& options, TExpTree& tree);
// The same with the options spelled out, in the order callers know them by.
void CheckExpression(uint16_t errorCode, const std::string& tableName, bool stringsMayBeColumns,
                     bool rewriteBooleanColumns, TColumnResolver* resolver, TExpressionOwner* owner, TExpToken* parent,
                     TExpToken*& node, const std::string& context);

// Completes a type node read by ParseDataType (CAST target or column definition): checks
// its arguments (slots 1 and 2) and sets ValueSize and Scale. For a CAST node without a
// string length the size of the value cast (argument 0) is taken.
void FinishDataType(TExpToken& node, uint16_t errorCode, const std::string& tableName, const std::string& context);

// Operand compatibility of a binary operator (also used for predicates and the result
// values of IF, IFNULL and COALESCE under the = rules).
bool OperandsCompatible(uint8_t opCode, const TExpToken& left, const TExpToken& right);
// CAST: may a value of the source's type become the target type.
bool CastAllowed(uint8_t targetType, const TExpToken& source);

}  // namespace quarry
