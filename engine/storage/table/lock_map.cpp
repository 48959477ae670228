// The lock retry loop of the lock map (lock_map.h).
#include "engine/storage/table/lock_map.h"

namespace quarry {

bool RetryLock(TEnvironment& environment, int retries, std::uint32_t waitMs, const std::function<bool()>& attempt) {
  for (int tries = 0;; ++tries) {
    if (attempt()) return true;
    if (tries >= retries) return false;
    environment.Sleep(waitMs);
  }
}

}  // namespace quarry
