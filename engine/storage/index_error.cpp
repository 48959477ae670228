// Raising engine errors from the index code (see index_error.h).
#include "engine/storage/index_error.h"

#include <stdexcept>
#include <string>

namespace quarry {

void RaiseIndexError(std::uint16_t code, std::string_view tableName, std::string_view indexName,
                     std::string_view fieldName) {
  throw std::runtime_error(std::to_string(code) + " " + std::string(tableName) + " " +
                           std::string(indexName) + " " + std::string(fieldName));
}

}  // namespace quarry
