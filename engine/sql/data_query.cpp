// TDataQuery: lookups over the parsed clauses of one query block.
#include "engine/sql/data_query.h"

#include "engine/sql/expression_scanner.h"

namespace quarry {

std::vector<std::string> TDataQuery::TextIndexColumnNames() const {
  std::vector<std::string> names;
  names.reserve(TextIndexColumns.size());
  for (const auto& column : TextIndexColumns) names.push_back(column ? column->ColumnName : std::string());
  return names;
}

TSourceTable* TDataQuery::FindSourceTable(const std::string& correlationName) const {
  for (const auto& table : SourceTables)
    if (SameText(table->CorrelationName, correlationName)) return table.get();
  return nullptr;
}

}  // namespace quarry
