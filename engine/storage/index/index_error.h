// Raising engine errors from the index code.
//
// The index file, its pages and the tree algorithms report every failure through this one
// function, so they carry the table (file) name and, where one applies, the index and field
// names in the engine error's context the same way everywhere.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/storage/errors/engine_error.h"

namespace quarry {

// Raises the engine error `code` with the table name and, where given, index and field names.
[[noreturn]] void RaiseIndexError(TEngineErrorCode code, std::string_view tableName, std::string_view indexName = {},
                                  std::string_view fieldName = {});

}  // namespace quarry
