// The single-table conditions of a SELECT installed as cursor filters; see select_filters.h.
#include "engine/sql/select_filters.h"

#include <algorithm>

#include "engine/storage/cursor/data_cursor.h"

namespace quarry {

namespace {

// Whether a filter on this source's cursor evaluates the part as the statement would: it
// reads only columns of the source, no sub-select, and no function that asks the statement.
bool FilterCanEvaluate(const TExpToken* n, const TSourceTable* source) {
  if (n == nullptr) return true;
  if (n->NodeClass == nc::SubSelect) return false;
  if (n->NodeClass == nc::Column && (n->SourceTable != source || n->FieldNo < 1 || n->DataType == vt::Blob))
    return false;
  if (n->NodeClass == nc::Function && (n->OpCode == op::LastAutoInc || n->OpCode == op::IdentCurrent)) return false;
  if (!FilterCanEvaluate(n->Left, source) || !FilterCanEvaluate(n->Right, source)) return false;
  for (const TExpToken* a : n->Args)
    if (!FilterCanEvaluate(a, source)) return false;
  return true;
}

}  // namespace

void TSelectFilters::Reset() {
  for (const TInstalledFilter& f : filters_) {
    if (f.Source->Cursor && f.Source->Cursor->IsOpen()) f.Source->Cursor->UninstallFilter(f.Filter);
  }
  filters_.clear();
  parts_.clear();
}

void TSelectFilters::Install(TSelectSource& source, const std::vector<const TExpToken*>& parts,
                             const std::vector<const TExpToken*>& keep, const TPrepareOptions& options,
                             const std::function<std::int64_t()>& rangeRecords) {
  TDataCursor& cursor = *source.Cursor;
  // The filter compares strings by the table's collation; the statement by its own.
  if (cursor.LanguageId() != options.Language || cursor.SortId() != options.Sort) return;
  for (const TExpToken* part : parts) {
    if (std::find(keep.begin(), keep.end(), part) != keep.end() || part->OuterJoinOn != 0 ||
        !FilterCanEvaluate(part, source.Source))
      continue;
    if (cursor.FilterCount() >= MaxCursorFilters) break;
    // Counted while the cursor shows the range alone.
    const std::int64_t records = rangeRecords();
    TFilter* filter = cursor.InstallResolvedFilter(PrepareExpression(*part, options));
    const TExpToken* tree = filter->PreparedTree();
    // The range's records are the filter's candidates: when reading them costs less than the
    // keys the filter's index part reads, the filter would read them itself.
    const bool cheaperPerRow = records >= 0 && tree != nullptr && tree->EstimatedCost >= 0 &&
                               records * cursor.RecordSize() < tree->EstimatedCost;
    if (filter->OptimizeLevel() == 0 || cheaperPerRow) {
      // Read record by record either way: the row test does that without a bitmap.
      cursor.UninstallFilter(filter);
      continue;
    }
    filters_.push_back({&source, filter, part});
    parts_.insert(part);
  }
}

std::string ConditionText(const TExpToken& n) {
  const auto text = [](const TExpToken* child) { return child ? ConditionText(*child) : std::string("?"); };
  switch (n.NodeClass) {
  case nc::Column: return n.TableName.empty() ? n.ColumnName : n.TableName + "." + n.ColumnName;
  case nc::Constant:
    if (n.IsNull) return "NULL";
    return n.DataType == vt::String ? "'" + n.GetString() + "'" : n.Text;
  case nc::Unary: return n.OpCode == op::Not ? "NOT " + text(n.Left) : n.Text + text(n.Left);
  case nc::Binary:
  case nc::PartialCompare: {
    static const char* const comparisons[] = {"=", "<>", ">", "<", ">=", "<="};
    const bool comparison = n.OpCode >= op::Equal && n.OpCode <= op::LessEqual;
    std::string name = comparison ? comparisons[n.OpCode - op::Equal] : n.Text;
    // A prefix comparison (LIKE 'x%' or 'x*' in a filter) shows its prefix.
    if (n.NodeClass == nc::PartialCompare && n.PartialLength != 0)
      name = n.OpCode == op::Equal ? "STARTS" : "NOT STARTS";
    const std::string inner = text(n.Left) + " " + name + " " + text(n.Right);
    return n.OpCode == op::And || n.OpCode == op::Or ? "(" + inner + ")" : inner;
  }
  case nc::Predicate: {
    if (n.Args.empty()) return n.Text;
    std::string out = text(n.Args[0]) + " " + n.Text;
    if ((n.OpCode == op::Between || n.OpCode == op::NotBetween) && n.Args.size() == 3)
      return out + " " + text(n.Args[1]) + " AND " + text(n.Args[2]);
    if (n.OpCode == op::Like || n.OpCode == op::NotLike) return out + " " + text(n.Arg(1));
    out += " (";
    for (std::size_t i = 1; i < n.Args.size(); ++i) out += (i > 1 ? ", " : "") + text(n.Args[i]);
    return out + ")";
  }
  case nc::Function: {
    if (n.OpCode == op::TextSearch && n.Args.size() == 2)
      return n.Text + "(" + text(n.Args[0]) + " IN " + text(n.Args[1]) + ")";
    std::string out = n.Text + "(";
    for (std::size_t i = 0; i < n.Args.size(); ++i) out += (i > 0 ? ", " : "") + text(n.Args[i]);
    return out + ")";
  }
  default: return n.Text;
  }
}

}  // namespace quarry
