// Raising engine errors from the index code (see index_error.h).
#include "engine/storage/index/index_error.h"

namespace quarry {

void RaiseIndexError(TEngineErrorCode code, std::string_view tableName, std::string_view indexName,
                     std::string_view fieldName) {
  RaiseEngineError(code,
                   {.table = std::string(tableName), .field = std::string(fieldName), .index = std::string(indexName)});
}

}  // namespace quarry
