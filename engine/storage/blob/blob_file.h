// TBlobFile: a table's BLOB file (".BLB"). Values of BLOB fields live here as chains of
// fixed-size blocks; the record holds only a reference (first block, change number). The
// file object is shared by every cursor of a session that opens the table (TDataTable owns
// it) and caches blocks the way the data file caches records.
//
// Header (512 bytes at offset 0; scrambled as a whole in encrypted tables):
//
//   offset  type     meaning
//   0       int32    change counter, incremented at every header write
//   4       4 bytes  reserved, 0
//   8       byte     format version, always 5
//   9       int32    first free block (head of the free chain; 0 = none)
//   13      int32    next block number (blocks in the file + 1)
//   17      byte     modified flag as written
//   18      494      reserved, 0
//
// Block n (from 1) at 512 + (n - 1) * block size; the block size comes from the data file
// header (512 when 0). In encrypted tables the 18-byte block header and the data part are
// scrambled separately, each from the record seeds.
//
//   offset  type     meaning
//   0       int32    previous block of the same BLOB (0 for the first)
//   4       int32    next block of the same BLOB (0 for the last); next free block when free
//   8       uint16   data bytes used in this block
//   10      int32    BLOB change number, the same in every block of one BLOB
//   14      int32    total BLOB length (first block only)
//   18      ...      data
//
// Errors raise EQuarryEngineError naming the table: QUARRY_MEMOCORRUPT broken chains and block numbers
// outside the file, QUARRY_ENDOFBLOB a chain that ends before its length, QUARRY_KEYORRECDELETED blocks stamped with
// another change number than the reference (the record was rewritten since it was read),
// QUARRY_TABLEFULL a full file, QUARRY_INVALIDBLOBLEN a block transfer larger than a block's data part, QUARRY_OLDVERSION and QUARRY_HEADERCORRUPT
// from the header checks.
//
// Not thread-safe: used by the thread of its session, under the table's locks.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/storage/errors/engine_error.h"
#include "engine/storage/files/file_handler.h"

namespace quarry {

constexpr int BlobHeaderSize = 512;
constexpr int BlobBlockHeaderSize = 18;
constexpr std::uint8_t BlobFileVersion = 5;
constexpr std::int32_t MaxBlobBlocks = 2'000'000'000;
constexpr std::int64_t MaxBlobFileSize = 4'000'000'000;
// Block sizes: the used count of a block is 16 bits wide, so the data part stays below 64 KB.
constexpr std::int32_t MinBlobBlockSize = 64;
constexpr std::int32_t MaxBlobBlockSize = 65536;

// One cached block: its header fields unpacked and its data part.
struct TBlock {
  std::int32_t Number = 0;
  std::int32_t Previous = 0;
  std::int32_t Next = 0;
  std::uint16_t Used = 0;
  std::int32_t ChangeNumber = 0;
  std::int32_t TotalLength = 0;
  std::vector<std::uint8_t> Data;  // block size - 18 bytes
  bool Dirty = false;
  int Pins = 0;
  std::list<std::int32_t>::iterator Recent;  // place in the most-recently-used chain
};

struct TBlobFileHeader {
  std::int32_t ChangeCounter = 0;
  std::uint8_t Version = BlobFileVersion;
  std::int32_t FirstFree = 0;
  std::int32_t NextBlock = 1;
  std::uint8_t Modified = 0;
};

class TBlobFile : public TFileHandler {
 public:
  using TFileHandler::TFileHandler;
  ~TBlobFile() override;

  // ---- set up before Open/CreateFile ----
  void SetTableName(std::string name) { tableName_ = std::move(name); }
  // 0 means 512. Values below 64 are refused when the table is created.
  void SetBlockSize(std::int32_t blockSize);
  void SetEncrypted(bool encrypted) { encrypted_ = encrypted; }
  // Cache limit: min(bytes / block size, count) blocks, at least 1.
  void SetCacheLimits(int bytes, int count);

  // ---- file ----
  // Creates the file with an empty header (the handler stays open).
  void CreateFile();
  void Open() override;
  void Close() override;
  // Version 5 (QUARRY_OLDVERSION), free-chain head within the file and 0 in an empty file (QUARRY_HEADERCORRUPT).
  void VerifyHeader() const;
  void CheckVersion() const;
  // Rereads the change counter; when it moved, takes the new header and drops the cached
  // blocks. True when it did.
  bool HeaderChanged();
  // Writes the header with the next counter when changed or forced; true when it wrote.
  bool WriteHeader(bool force);
  void TouchHeader() { headerDirty_ = true; }
  // Drops cached blocks (changes too) and rereads the header.
  void Reload();
  // Truncates after the header: no blocks, no free chain.
  void Empty();
  const TBlobFileHeader& Header() const { return header_; }
  std::int32_t ChangeCounter() const { return header_.ChangeCounter; }
  // The change counter in the file now (nothing in memory changes).
  std::int32_t StoredChangeCounter() { return ReadCounter(); }

  // ---- blocks ----
  std::int32_t BlockSize() const { return blockSize_; }
  int DataPerBlock() const { return blockSize_ - BlobBlockHeaderSize; }
  std::int32_t BlockCount() const { return header_.NextBlock - 1; }
  int BlocksPerRead() const { return blocksPerRead_; }
  // The cached block, read (with up to readAhead - 1 following blocks) when missing. isNew
  // gives a zeroed block without reading; the next block number appends to the file.
  TBlock& GetBlock(std::int32_t blockNo, bool isNew = false, int readAhead = 1);
  void MarkDirty(TBlock& block) {
    block.Dirty = true;
    dirty_.insert(block.Number);
  }
  // The head of the free chain (its link becomes the head) or a new block at the end.
  std::int32_t AllocateBlock();
  void FreeBlock(std::int32_t blockNo);
  // Frees the chain of a BLOB from firstBlock on. Blocks are freed only when the whole chain
  // is sound (links inside the file, every block stamped with changeNumber, no loop): a
  // damaged chain is left where it is rather than freeing blocks that may belong to
  // another BLOB.
  void FreeChain(std::int32_t firstBlock, std::int32_t changeNumber);
  // Writes dirty blocks in runs of consecutive numbers. True when it wrote.
  bool FlushBlocks();
  void DiscardBlocks();
  void TrimCache();
  int CachedBlocks() const { return static_cast<int>(blocks_.size()); }
  bool IsCached(std::int32_t blockNo) const { return blocks_.count(blockNo) != 0; }

  // ---- whole BLOBs ----
  // Reads the BLOB of a reference (first block non-zero) into content.
  void ReadBlob(std::int32_t firstBlock, std::int32_t changeNumber, std::vector<std::uint8_t>& content);
  // Writes content as the BLOB stamped changeNumber, reusing the chain from oldFirstBlock
  // (stamped oldChangeNumber; 0 = none) and freeing what it no longer needs. Returns the
  // first block, 0 for empty content (the old chain is then freed).
  std::int32_t WriteBlob(std::int32_t oldFirstBlock, std::int32_t oldChangeNumber, std::int32_t changeNumber,
                         const std::uint8_t* content, std::int64_t size);

 private:
  [[noreturn]] void Raise(TEngineErrorCode code) const;
  void ReadHeaderImage(bool tolerateShort);
  std::int32_t ReadCounter();
  std::int64_t BlockOffset(std::int32_t blockNo) const {
    return BlobHeaderSize + static_cast<std::int64_t>(blockNo - 1) * blockSize_;
  }
  TBlock& Insert(std::int32_t blockNo);
  void Touch(TBlock& block);
  void Decode(const std::uint8_t* image, TBlock& block) const;
  void Encode(const TBlock& block, std::uint8_t* image) const;
  // The blocks of a sound chain (see FreeChain); empty when it is not sound.
  std::vector<std::int32_t> SoundChain(std::int32_t firstBlock, std::int32_t changeNumber);
  void RequireLink(std::int32_t blockNo) const;

  std::string tableName_;
  std::int32_t blockSize_ = 512;
  bool encrypted_ = false;
  int blocksPerRead_ = 32;
  int cacheLimit_ = 64;
  TBlobFileHeader header_;
  bool headerShort_ = false;
  bool headerDirty_ = false;
  std::map<std::int32_t, std::unique_ptr<TBlock>> blocks_;
  std::list<std::int32_t> recent_;  // most recently used first
  std::set<std::int32_t> dirty_;    // numbers of the dirty blocks, for writing in order
  std::vector<std::unique_ptr<TBlock>> spare_;
  std::vector<std::uint8_t> io_;
};

class TDataCursor;

// One BLOB a cursor has open: the whole value in memory, read when opened and written back
// only when the record is posted. The record buffer's first-block slot holds the buffer's
// handle (a negative number) while it is open.
struct TBlobBuffer {
  const TDataCursor* Owner = nullptr;
  int FieldNo = 0;              // the table's field number
  std::int32_t FirstBlock = 0;  // the reference the value was read from (0: none)
  std::int32_t ChangeNumber = 0;
  std::int32_t RecordNo = 0;  // the record's own number (0 for a new record)
  bool Writable = false;
  int OpenCount = 0;
  std::vector<std::uint8_t> Content;
  bool Modified = false;
};

// Keeps a block from being evicted for a scope.
class TBlockPin {
 public:
  explicit TBlockPin(TBlock& block) : block_(block) { ++block_.Pins; }
  ~TBlockPin() { --block_.Pins; }
  TBlockPin(const TBlockPin&) = delete;
  TBlockPin& operator=(const TBlockPin&) = delete;
  TBlock& operator*() const { return block_; }
  TBlock* operator->() const { return &block_; }

 private:
  TBlock& block_;
};

}  // namespace quarry
