// The error that the in-memory result set and the row sources beside it raise: an unknown
// field or index, a text that is not an integer, a duplicate index name, an operation that
// needs an open result set. Its message is the whole user-visible text. It is a database
// error like the engine's own, so callers can catch both as one kind.
#pragma once

#include "engine/storage/errors/engine_error.h"

namespace quarry {

class EDataSetError : public EDatabaseError {
 public:
  using EDatabaseError::EDatabaseError;
};

}  // namespace quarry
