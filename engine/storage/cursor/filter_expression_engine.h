// TFilterExpressionEngine: what a cursor's expression filters need from the expression
// engine — a filter text turned into a tree, a tree resolved and typed against the cursor's
// columns, and a checked tree made ready to run on the cursor's records.
//
// The storage layer only declares it, so that cursors carry filters without depending on the
// scanner, parser or evaluator. The SQL layer implements it (engine/sql/sql_filter_engine.h)
// and installs its engine process-wide; whoever starts a session that may filter installs it
// first (the access layer's sessions and every SQL statement do). Callback filters need no
// engine; an expression filter without one is refused with QUARRY_NOTINITIALIZED.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/storage/data/field_definition.h"
#include "engine/values/token_stack.h"

namespace quarry {

class TDataCursor;
struct TFilterOptions;

// A checked filter expression made ready to run on the records of one cursor.
class TFilterEvaluator {
 public:
  virtual ~TFilterEvaluator() = default;
  // True when the record (a cursor-sized image) satisfies the expression.
  virtual bool Accepts(const std::uint8_t* record) = 0;
  // The prepared tree Accepts runs (null when there is none). The filter optimiser leaves
  // its marks on it and may swap the sides of an AND.
  virtual TExpToken* Tree() { return nullptr; }
  // True when one node of Tree() holds for the record.
  virtual bool AcceptsPart(const TExpToken& part, const std::uint8_t* record) {
    (void)part;
    return Accepts(record);
  }
};

// The names a filter's columns resolve against: the cursor's presented names first (a
// field view's), then the table's own; each definition describes the table field it reads.
struct TFilterColumns {
  std::vector<TFieldDefinition> Fields;
  std::string TableName;  // the name a qualified column must carry
};

class TFilterExpressionEngine {
 public:
  virtual ~TFilterExpressionEngine() = default;
  // The unchecked tree of a filter text; a syntax error raises QUARRY_INVALIDFILTER with the
  // context "filter expression".
  virtual TExpTree Parse(std::string_view text, TDataCursor& cursor) const = 0;
  // Resolves the tree's columns against `columns` and types it, in place (QUARRY_INVALIDFILTER).
  virtual void Check(TExpTree& tree, const TFilterColumns& columns, TDataCursor& cursor) const = 0;
  // A checked tree (columns carrying table field numbers) prepared for evaluation on the
  // cursor's records under the filter's options.
  virtual std::unique_ptr<TFilterEvaluator> Prepare(const TExpToken& checked, TDataCursor& cursor,
                                                    const TFilterOptions& options) const = 0;
};

// Installs the engine every cursor's expression filters use, for the whole process (null
// removes it). The engine must outlive every filter prepared by it.
void InstallFilterExpressionEngine(const TFilterExpressionEngine* engine);
// The installed engine, or null.
const TFilterExpressionEngine* InstalledFilterExpressionEngine();

}  // namespace quarry
