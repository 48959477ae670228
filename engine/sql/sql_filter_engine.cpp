// TSqlFilterEngine: cursor filters run by the SQL expression engine (see sql_filter_engine.h).
#include "engine/sql/sql_filter_engine.h"

#include "engine/sql/column_source.h"
#include "engine/sql/expression_evaluator.h"
#include "engine/sql/expression_owner.h"
#include "engine/sql/expression_parser.h"
#include "engine/sql/expression_preparer.h"
#include "engine/sql/type_checker.h"
#include "engine/storage/cursor/data_cursor.h"

namespace quarry {

namespace {

constexpr const char* kFilterContext = "filter expression";

// The cursor as the owner of its filter expressions: TEXTSEARCH and TEXTOCCURS ask it about
// the record being evaluated; every other hook keeps its neutral default.
class TCursorHooks : public TExpressionOwner {
 public:
  explicit TCursorHooks(TDataCursor& cursor) : cursor_(cursor) {}
  bool TextSearch(const TExpToken& column, const std::string& words, bool& found, std::int32_t& occurrences) override {
    return cursor_.TextSearch(column, words, found, occurrences);
  }

 private:
  TDataCursor& cursor_;
};

class TPreparedFilter : public TFilterEvaluator {
 public:
  TPreparedFilter(const TExpToken& checked, TDataCursor& cursor, const TFilterOptions& options)
      : cursor_(cursor), hooks_(cursor), source_(cursor.TableFields(), cursor.TableName(), cursor.BlobValueReader()) {
    prepared_ = PrepareExpression(checked, {.Owner = &hooks_,
                                            .Provider = &source_,
                                            .NoPartialCompare = !options.PartialCompare,
                                            .CaseInsensitive = options.CaseInsensitive,
                                            .Language = cursor.LanguageId(),
                                            .Sort = cursor.SortId()});
  }

  bool Accepts(const std::uint8_t* record) override {
    if (!prepared_) return true;
    return AcceptsPart(*prepared_, record);
  }
  TExpToken* Tree() override { return prepared_.get(); }
  bool AcceptsPart(const TExpToken& part, const std::uint8_t* record) override {
    TExpTree value = EvaluateExpression(part, record, &hooks_, cursor_.LanguageId(), cursor_.SortId(), &source_);
    return value && ConditionHolds(*value);
  }

 private:
  TDataCursor& cursor_;
  TCursorHooks hooks_;
  TRecordColumnSource source_;  // field values for the expression
  TExpTree prepared_;
};

}  // namespace

TExpTree TSqlFilterEngine::Parse(std::string_view text, TDataCursor& cursor) const {
  TCursorHooks hooks(cursor);
  TExpressionParser parser(&hooks);
  parser.ErrorCode = QUARRY_INVALIDFILTER;
  parser.ErrorTableName = cursor.TableName();
  parser.ContextName = kFilterContext;
  parser.SetText(text);
  parser.NextToken();
  TExpTree tree = parser.ParseExpression(pf::Predicates);
  if (parser.TokenKind() != tk::End) parser.Fail("Expected end of filter expression, instead found '");
  return tree;
}

void TSqlFilterEngine::Check(TExpTree& tree, const TFilterColumns& columns, TDataCursor& cursor) const {
  TCursorHooks hooks(cursor);
  TRecordColumnSource resolver(columns.Fields, columns.TableName);
  TCheckOptions check;
  check.ErrorCode = QUARRY_INVALIDFILTER;
  check.TableName = cursor.TableName();
  check.Resolver = &resolver;
  check.Owner = &hooks;
  check.Context = kFilterContext;
  CheckExpression(check, tree);
}

std::unique_ptr<TFilterEvaluator> TSqlFilterEngine::Prepare(const TExpToken& checked, TDataCursor& cursor,
                                                            const TFilterOptions& options) const {
  return std::make_unique<TPreparedFilter>(checked, cursor, options);
}

void UseSqlFilterEngine() {
  static const TSqlFilterEngine engine;
  InstallFilterExpressionEngine(&engine);
}

}  // namespace quarry
