// TMemoryFile: a file held in memory, for in-memory tables and temporary results.
//
// The contents live in a block that grows in 4,096-byte steps (new bytes zero) and is
// freed when the size drops to 0. A non-temporary memory file stays in the file list after
// its last close, so an in-memory table keeps its rows between opens. Locks follow the
// overlap rule of TAbstractFile (the region list), per object.
// Invariant: block_.size() is a multiple of 4,096 and >= size_. Guarded by section_.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/storage/files/abstract_file.h"

namespace quarry {

inline constexpr int64_t kMemoryFileBlockStep = 4096;

class TMemoryFile : public TAbstractFile {
 public:
  explicit TMemoryFile(std::string file_name);

  int32_t Create() override;
  int64_t Read(int32_t open_number, void* buffer, int64_t count) override;
  int64_t Write(int32_t open_number, const void* buffer, int64_t count) override;
  bool InMemory() const override { return true; }

  // Bytes allocated for the block.
  int64_t AllocatedLength() const;

 private:
  // Sets size_ and resizes the block to match; false when memory runs out.
  bool Resize(int64_t new_size);

  std::vector<uint8_t> block_;
};

}  // namespace quarry
