// TSqlFilterEngine: the expression engine of cursor filters (filter_expression_engine.h)
// built from the SQL layer's scanner, parser, type checker, preparer and evaluator, and
// UseSqlFilterEngine, which installs it for the process.
#pragma once

#include "engine/storage/cursor/filter_expression_engine.h"

namespace quarry {

class TSqlFilterEngine : public TFilterExpressionEngine {
 public:
  TExpTree Parse(std::string_view text, TDataCursor& cursor) const override;
  void Check(TExpTree& tree, const TFilterColumns& columns, TDataCursor& cursor) const override;
  std::unique_ptr<TFilterEvaluator> Prepare(const TExpToken& checked, TDataCursor& cursor,
                                            const TFilterOptions& options) const override;
};

// Installs the process's one TSqlFilterEngine as the filter expression engine. Cheap and
// idempotent: sessions and statements call it when they start.
void UseSqlFilterEngine();

}  // namespace quarry
