// TFirstError: runs a series of clean-up or shutdown steps to the end even when some of them
// fail, and rethrows the first failure afterwards, so that one failed close does not leave the
// later files open.
#pragma once

#include <exception>
#include <utility>

namespace quarry {

class TFirstError {
 public:
  template <typename F>
  void Run(F&& step) {
    try {
      std::forward<F>(step)();
    } catch (...) {
      if (!first_) first_ = std::current_exception();
    }
  }
  void Rethrow() {
    if (first_) std::rethrow_exception(first_);
  }

 private:
  std::exception_ptr first_;
};

}  // namespace quarry
