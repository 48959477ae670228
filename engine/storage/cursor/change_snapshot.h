// TChangeSnapshot: the data, index and BLOB file header change counters of a table as a
// cursor last synchronised with it. Other users' changes show up as counters that moved
// (the table object rereads the headers under its locks, or on a read from disk).
#pragma once

#include <cstdint>

#include "engine/storage/table/table.h"

namespace quarry {

class TChangeSnapshot {
 public:
  void Take(TDataTable& table) {
    data_ = table.Data().ChangeCounter();
    index_ = table.Index().Header().ChangeCounter;
    blob_ = BlobCounter(table);
  }
  bool Stale(TDataTable& table) const {
    return data_ != table.Data().ChangeCounter() || index_ != table.Index().Header().ChangeCounter ||
           blob_ != BlobCounter(table);
  }

 private:
  static std::int32_t BlobCounter(TDataTable& table) {
    return table.Blob() != nullptr ? table.Blob()->ChangeCounter() : 0;
  }

  std::int32_t data_ = 0;
  std::int32_t index_ = 0;
  std::int32_t blob_ = 0;
};

}  // namespace quarry
