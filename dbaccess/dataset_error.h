// The error that the in-memory result set and the row sources beside it raise: an unknown
// field or index, a text that is not an integer, a duplicate index name, an operation that
// needs an open result set. Its message is the whole user-visible text.
#pragma once

#include <stdexcept>

namespace quarry {

class EDataSetError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace quarry
