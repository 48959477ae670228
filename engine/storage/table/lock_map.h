// The byte-range lock map every process follows on a table's three files, and the retry
// loop that takes one of those locks.
//
// All offsets lie near 4 GB, above any data a table file can hold (data files end before
// 4,000,000,000 bytes). Every lock is a non-blocking exclusive byte-range lock on the shared
// file object (file_handler.h), so two sessions of one process exclude each other exactly as
// two processes do; locks of a process that dies go with its handles.
//
//   file   offset                      length   lock
//   data   0xFFFFFFFF                  1        table-write byte (table lock and write lock)
//   data   0xFFFFFFFF - r              1        record r (record 1 lies directly below the
//                                               table-write byte, each further number one lower)
//   index  0xFFFEFFFF                  65,536   write region: covers every read slot
//   index  0xFFFFFFFF - s              1        read slot s (1..65,535)
//   BLOB   0xFFFEFFFF                  65,536   write region (tables with BLOB fields)
//   BLOB   0xFFFFFFFF - s              1        read slot s
#pragma once

#include <cstdint>
#include <functional>

#include "engine/platform/environment.h"

namespace quarry {

inline constexpr std::uint64_t TableWriteByte = 0xFFFFFFFFull;
inline constexpr std::uint64_t WriteRegionOffset = 0xFFFEFFFFull;
inline constexpr std::uint64_t WriteRegionLength = 65536;
inline constexpr int ReadSlotCount = 65535;  // slots 1..65,535

// Retries after a failed table-write byte, write region or read slot attempt, and the
// pause between them.
inline constexpr int FileLockRetries = 32766;
inline constexpr std::uint32_t FileLockWaitMs = 3;

// Offset of the record lock byte of record number recordNo (>= 1).
constexpr std::uint64_t RecordLockOffset(std::int32_t recordNo) {
  return TableWriteByte - static_cast<std::uint64_t>(static_cast<std::uint32_t>(recordNo));
}

// Offset of read slot s (1..ReadSlotCount).
constexpr std::uint64_t ReadSlotOffset(int slot) { return TableWriteByte - static_cast<std::uint64_t>(slot); }

// Calls attempt() until it answers true, at most 1 + retries times, sleeping waitMs between
// attempts through the environment (a virtual clock in tests). True when an attempt succeeded.
bool RetryLock(TEnvironment& environment, int retries, std::uint32_t waitMs, const std::function<bool()>& attempt);

}  // namespace quarry
