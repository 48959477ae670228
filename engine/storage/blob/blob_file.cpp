// TBlobFile: header, block cache, the free chain and whole-BLOB reads and writes (see
// blob_file.h for the layout).
#include "engine/storage/blob/blob_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <set>

#include "engine/storage/files/scramble.h"
#include "engine/values/byte_image.h"

namespace quarry {

TBlobFile::~TBlobFile() {
  try {
    Close();
  } catch (...) {}
}

void TBlobFile::Raise(TEngineErrorCode code) const {
  RaiseEngineError(code, {.table = tableName_.empty() ? FileName() : tableName_});
}

void TBlobFile::SetBlockSize(std::int32_t blockSize) {
  blockSize_ = blockSize == 0 ? 512 : blockSize;
  if (blockSize_ < MinBlobBlockSize || blockSize_ > MaxBlobBlockSize) Raise(QUARRY_BLOBLIMIT);
  blocksPerRead_ = std::max(1, 16384 / blockSize_);
  io_.assign(static_cast<std::size_t>(blockSize_) * static_cast<std::size_t>(blocksPerRead_), 0);
}

void TBlobFile::SetCacheLimits(int bytes, int count) { cacheLimit_ = std::max(1, std::min(bytes / blockSize_, count)); }

// ---------------------------------------------------------------------------------------
// Header

void TBlobFile::CreateFile() {
  Create();
  header_ = TBlobFileHeader{};
  headerShort_ = false;
  DiscardBlocks();
  WriteHeader(true);
}

void TBlobFile::Open() {
  if (IsOpen()) return;
  TFileHandler::Open();
  try {
    ReadHeaderImage(true);
  } catch (...) {
    TFileHandler::Close();
    throw;
  }
}

void TBlobFile::Close() {
  DiscardBlocks();
  headerDirty_ = false;
  TFileHandler::Close();
}

void TBlobFile::ReadHeaderImage(bool tolerateShort) {
  std::array<std::uint8_t, BlobHeaderSize> image{};
  const std::int64_t got = ReadAt(0, image.data(), BlobHeaderSize, true);
  headerShort_ = got < BlobHeaderSize;
  if (headerShort_ && !tolerateShort) Raise(QUARRY_HEADERCORRUPT);
  if (encrypted_ && !headerShort_) Scramble(image.data(), image.size(), RecordScrambleSeeds);
  header_.ChangeCounter = bytes::Load<std::int32_t>(&image[0]);
  header_.Version = image[8];
  header_.FirstFree = bytes::Load<std::int32_t>(&image[9]);
  header_.NextBlock = bytes::Load<std::int32_t>(&image[13]);
  header_.Modified = image[17];
  headerDirty_ = false;
}

std::int32_t TBlobFile::ReadCounter() {
  std::array<std::uint8_t, 4> image{};
  if (ReadAt(0, image.data(), 4, true) < 4) return header_.ChangeCounter;
  if (encrypted_) Scramble(image.data(), image.size(), RecordScrambleSeeds);
  return bytes::Load<std::int32_t>(image.data());
}

void TBlobFile::CheckVersion() const {
  if (header_.Version != BlobFileVersion) Raise(QUARRY_OLDVERSION);
}

void TBlobFile::VerifyHeader() const {
  if (headerShort_) Raise(QUARRY_HEADERCORRUPT);
  CheckVersion();
  const std::int32_t count = BlockCount();
  if (count < 0 || count >= MaxBlobBlocks) Raise(QUARRY_HEADERCORRUPT);
  if (header_.FirstFree < 0 || header_.FirstFree > count || (count == 0 && header_.FirstFree != 0)) {
    Raise(QUARRY_HEADERCORRUPT);
  }
}

bool TBlobFile::HeaderChanged() {
  if (ReadCounter() == header_.ChangeCounter) return false;
  Reload();
  return true;
}

bool TBlobFile::WriteHeader(bool force) {
  if (!headerDirty_ && !force) return false;
  std::array<std::uint8_t, BlobHeaderSize> image{};
  const std::int32_t counter = header_.ChangeCounter == INT32_MAX ? 1 : header_.ChangeCounter + 1;
  bytes::Store<std::int32_t>(&image[0], counter);
  image[8] = BlobFileVersion;
  bytes::Store<std::int32_t>(&image[9], header_.FirstFree);
  bytes::Store<std::int32_t>(&image[13], header_.NextBlock);
  image[17] = 0;
  if (encrypted_) Scramble(image.data(), image.size(), RecordScrambleSeeds);
  WriteAt(0, image.data(), BlobHeaderSize);
  header_.ChangeCounter = counter;
  header_.Version = BlobFileVersion;
  headerShort_ = false;
  headerDirty_ = false;
  return true;
}

void TBlobFile::Reload() {
  DiscardBlocks();
  ReadHeaderImage(true);
}

void TBlobFile::Empty() {
  DiscardBlocks();
  {
    TFileSection section(*this);
    Seek(kSeekFromStart, BlobHeaderSize);
    Write(nullptr, 0);
  }
  header_.FirstFree = 0;
  header_.NextBlock = 1;
  WriteHeader(true);
}

// ---------------------------------------------------------------------------------------
// Block cache

void TBlobFile::Decode(const std::uint8_t* image, TBlock& block) const {
  std::array<std::uint8_t, BlobBlockHeaderSize> head{};
  std::memcpy(head.data(), image, head.size());
  block.Data.assign(image + BlobBlockHeaderSize, image + blockSize_);
  if (encrypted_) {
    Scramble(head.data(), head.size(), RecordScrambleSeeds);
    Scramble(block.Data.data(), block.Data.size(), RecordScrambleSeeds);
  }
  block.Previous = bytes::Load<std::int32_t>(&head[0]);
  block.Next = bytes::Load<std::int32_t>(&head[4]);
  block.Used = bytes::Load<std::uint16_t>(&head[8]);
  block.ChangeNumber = bytes::Load<std::int32_t>(&head[10]);
  block.TotalLength = bytes::Load<std::int32_t>(&head[14]);
}

void TBlobFile::Encode(const TBlock& block, std::uint8_t* image) const {
  bytes::Store<std::int32_t>(image + 0, block.Previous);
  bytes::Store<std::int32_t>(image + 4, block.Next);
  bytes::Store<std::uint16_t>(image + 8, block.Used);
  bytes::Store<std::int32_t>(image + 10, block.ChangeNumber);
  bytes::Store<std::int32_t>(image + 14, block.TotalLength);
  std::memcpy(image + BlobBlockHeaderSize, block.Data.data(), static_cast<std::size_t>(DataPerBlock()));
  if (encrypted_) {
    Scramble(image, BlobBlockHeaderSize, RecordScrambleSeeds);
    Scramble(image + BlobBlockHeaderSize, static_cast<std::size_t>(DataPerBlock()), RecordScrambleSeeds);
  }
}

void TBlobFile::Touch(TBlock& block) { recent_.splice(recent_.begin(), recent_, block.Recent); }

TBlock& TBlobFile::Insert(std::int32_t blockNo) {
  std::unique_ptr<TBlock> block;
  if (!spare_.empty()) {
    block = std::move(spare_.back());
    spare_.pop_back();
    *block = TBlock{};
  } else {
    block = std::make_unique<TBlock>();
  }
  block->Number = blockNo;
  block->Data.assign(static_cast<std::size_t>(DataPerBlock()), 0);
  recent_.push_front(blockNo);
  block->Recent = recent_.begin();
  TBlock& result = *block;
  blocks_[blockNo] = std::move(block);
  return result;
}

TBlock& TBlobFile::GetBlock(std::int32_t blockNo, bool isNew, int readAhead) {
  if (blockNo < 1) Raise(QUARRY_MEMOCORRUPT);
  if (isNew && blockNo == header_.NextBlock) {
    if (blockNo > MaxBlobBlocks || BlockOffset(blockNo) + blockSize_ > MaxBlobFileSize) Raise(QUARRY_TABLEFULL);
    auto existing = blocks_.find(blockNo);
    if (existing != blocks_.end()) {
      // A block cached past the end belongs to nothing (the file was emptied elsewhere).
      recent_.erase(existing->second->Recent);
      blocks_.erase(existing);
    }
    ++header_.NextBlock;
    headerDirty_ = true;
    if (static_cast<int>(blocks_.size()) >= cacheLimit_) TrimCache();
    TBlock& block = Insert(blockNo);
    MarkDirty(block);
    return block;
  }
  if (blockNo > BlockCount()) Raise(QUARRY_MEMOCORRUPT);
  auto found = blocks_.find(blockNo);
  if (found != blocks_.end()) {
    TBlock& block = *found->second;
    Touch(block);
    if (isNew) {
      std::fill(block.Data.begin(), block.Data.end(), 0);
      block.Previous = block.Next = block.ChangeNumber = block.TotalLength = 0;
      block.Used = 0;
      MarkDirty(block);
    }
    return block;
  }
  if (static_cast<int>(blocks_.size()) >= cacheLimit_) TrimCache();
  if (isNew) {
    TBlock& block = Insert(blockNo);
    MarkDirty(block);
    return block;
  }
  // A batch of consecutive blocks not yet cached, within the file.
  int count = 1;
  const int wanted = std::clamp(readAhead, 1, blocksPerRead_);
  while (count < wanted && blockNo + count <= BlockCount() && blocks_.count(blockNo + count) == 0) ++count;
  const std::int64_t bytesWanted = static_cast<std::int64_t>(count) * blockSize_;
  const std::int64_t got = ReadAt(BlockOffset(blockNo), io_.data(), bytesWanted, true);
  if (got < blockSize_) Raise(QUARRY_MEMOCORRUPT);  // the file ends before a block it counts
  count = static_cast<int>(got / blockSize_);
  TBlock* first = nullptr;
  for (int i = count - 1; i >= 0; --i) {
    TBlock& block = Insert(blockNo + i);
    Decode(io_.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(blockSize_), block);
    if (i == 0) first = &block;
  }
  return *first;
}

std::int32_t TBlobFile::AllocateBlock() {
  if (header_.FirstFree != 0) {
    const std::int32_t blockNo = header_.FirstFree;
    TBlock& block = GetBlock(blockNo);
    const std::int32_t next = block.Next;
    if (next < 0 || next > BlockCount() || next == blockNo) Raise(QUARRY_MEMOCORRUPT);
    header_.FirstFree = next;
    headerDirty_ = true;
    GetBlock(blockNo, true);  // cleared
    return blockNo;
  }
  const std::int32_t blockNo = header_.NextBlock;
  GetBlock(blockNo, true);
  return blockNo;
}

void TBlobFile::FreeBlock(std::int32_t blockNo) {
  TBlock& block = GetBlock(blockNo, true);
  block.Next = header_.FirstFree;
  header_.FirstFree = blockNo;
  headerDirty_ = true;
}

void TBlobFile::RequireLink(std::int32_t blockNo) const {
  if (blockNo < 0 || blockNo > BlockCount()) Raise(QUARRY_MEMOCORRUPT);
}

std::vector<std::int32_t> TBlobFile::SoundChain(std::int32_t firstBlock, std::int32_t changeNumber) {
  std::vector<std::int32_t> chain;
  std::set<std::int32_t> seen;
  std::int32_t blockNo = firstBlock;
  std::int32_t previous = 0;
  while (blockNo != 0) {
    if (blockNo < 0 || blockNo > BlockCount() || !seen.insert(blockNo).second) return {};
    const TBlock& block = GetBlock(blockNo, false, blocksPerRead_);
    if (block.ChangeNumber != changeNumber || block.Previous != previous) return {};
    previous = blockNo;
    chain.push_back(blockNo);
    blockNo = block.Next;
  }
  return chain;
}

void TBlobFile::FreeChain(std::int32_t firstBlock, std::int32_t changeNumber) {
  if (firstBlock == 0) return;
  for (const std::int32_t blockNo : SoundChain(firstBlock, changeNumber)) FreeBlock(blockNo);
}

bool TBlobFile::FlushBlocks() {
  bool wrote = false;
  std::vector<std::uint8_t> run;
  std::int32_t runStart = 0;
  std::int32_t runNext = 0;
  auto writeRun = [&] {
    if (run.empty()) return;
    WriteAt(BlockOffset(runStart), run.data(), static_cast<std::int64_t>(run.size()));
    run.clear();
    wrote = true;
  };
  for (const std::int32_t number : dirty_) {
    auto found = blocks_.find(number);
    if (found == blocks_.end() || !found->second->Dirty) continue;
    TBlock* block = found->second.get();
    if (run.empty() || number != runNext) {
      writeRun();
      runStart = number;
    }
    const std::size_t at = run.size();
    run.resize(at + static_cast<std::size_t>(blockSize_));
    Encode(*block, run.data() + at);
    block->Dirty = false;
    runNext = number + 1;
    // Runs stay bounded so that a huge BLOB is not copied into one more buffer.
    if (run.size() >= io_.size()) writeRun();
  }
  writeRun();
  dirty_.clear();
  if (wrote) headerDirty_ = true;
  return wrote;
}

void TBlobFile::DiscardBlocks() {
  for (auto& [number, block] : blocks_) spare_.push_back(std::move(block));
  blocks_.clear();
  recent_.clear();
  dirty_.clear();
  if (spare_.size() > static_cast<std::size_t>(cacheLimit_)) spare_.resize(static_cast<std::size_t>(cacheLimit_));
}

void TBlobFile::TrimCache() {
  // Least recently used first; pinned and dirty blocks stay.
  auto it = recent_.end();
  while (static_cast<int>(blocks_.size()) > cacheLimit_ / 2 && it != recent_.begin()) {
    --it;
    auto found = blocks_.find(*it);
    TBlock& block = *found->second;
    if (block.Dirty || block.Pins > 0) continue;
    it = recent_.erase(it);
    if (spare_.size() < static_cast<std::size_t>(cacheLimit_)) spare_.push_back(std::move(found->second));
    blocks_.erase(found);
  }
}

// ---------------------------------------------------------------------------------------
// Whole BLOBs

void TBlobFile::ReadBlob(std::int32_t firstBlock, std::int32_t changeNumber, std::vector<std::uint8_t>& content) {
  content.clear();
  RequireLink(firstBlock);
  if (firstBlock == 0) return;
  const std::int64_t perBlock = DataPerBlock();
  // Values written one after another lie in consecutive blocks: a miss reads a batch.
  TBlock* block = &GetBlock(firstBlock, false, blocksPerRead_);
  if (block->ChangeNumber != changeNumber) Raise(QUARRY_KEYORRECDELETED);
  const std::int32_t total = block->TotalLength;
  // A length no chain in this file could hold is a damaged block, not a reason to allocate.
  if (total < 0 || total > static_cast<std::int64_t>(BlockCount()) * perBlock) Raise(QUARRY_MEMOCORRUPT);
  content.resize(static_cast<std::size_t>(total));
  std::int64_t done = 0;
  std::int32_t blocksRead = 0;
  for (;;) {
    const std::int64_t take = std::min<std::int64_t>(perBlock, total - done);
    std::memcpy(content.data() + done, block->Data.data(), static_cast<std::size_t>(take));
    done += take;
    if (done >= total) break;
    const std::int32_t next = block->Next;
    RequireLink(next);
    if (next == 0) Raise(QUARRY_ENDOFBLOB);
    // A chain longer than the file has blocks is a loop.
    if (++blocksRead >= BlockCount()) Raise(QUARRY_MEMOCORRUPT);
    const std::int64_t rest = (total - done + perBlock - 1) / perBlock;
    const std::int32_t current = block->Number;
    block = &GetBlock(next, false, static_cast<int>(std::min<std::int64_t>(rest, blocksPerRead_)));
    if (block->ChangeNumber != changeNumber) Raise(QUARRY_KEYORRECDELETED);
    // Each block names the one before it: a link back into the chain is caught here.
    if (block->Previous != current) Raise(QUARRY_MEMOCORRUPT);
  }
}

std::int32_t TBlobFile::WriteBlob(std::int32_t oldFirstBlock, std::int32_t oldChangeNumber, std::int32_t changeNumber,
                                  const std::uint8_t* content, std::int64_t size) {
  // The old chain is reused only when it is sound; a damaged one is left alone.
  std::vector<std::int32_t> old =
      oldFirstBlock != 0 ? SoundChain(oldFirstBlock, oldChangeNumber) : std::vector<std::int32_t>{};
  if (size == 0) {
    for (const std::int32_t blockNo : old) FreeBlock(blockNo);
    return 0;
  }
  const std::int64_t perBlock = DataPerBlock();
  if (size > static_cast<std::int64_t>(INT32_MAX)) Raise(QUARRY_INVALIDBLOBLEN);
  std::size_t reused = 0;
  auto nextBlockNo = [&]() -> std::int32_t {
    if (reused < old.size()) return old[reused++];
    return AllocateBlock();
  };
  std::int32_t firstBlock = 0;
  std::int32_t previous = 0;
  std::int64_t done = 0;
  while (done < size) {
    const std::int32_t blockNo = nextBlockNo();
    TBlock& block = GetBlock(blockNo, true);
    TBlockPin pin(block);
    if (previous != 0) {
      TBlock& before = GetBlock(previous);
      before.Next = blockNo;
      MarkDirty(before);
    } else {
      firstBlock = blockNo;
    }
    const std::int64_t take = std::min<std::int64_t>(perBlock, size - done);
    if (take > perBlock) Raise(QUARRY_INVALIDBLOBLEN);
    block.Previous = previous;
    block.Next = 0;
    block.Used = static_cast<std::uint16_t>(take);
    block.ChangeNumber = changeNumber;
    block.TotalLength = previous == 0 ? static_cast<std::int32_t>(size) : 0;
    std::memcpy(block.Data.data(), content + done, static_cast<std::size_t>(take));
    MarkDirty(block);
    done += take;
    previous = blockNo;
  }
  while (reused < old.size()) FreeBlock(old[reused++]);
  return firstBlock;
}

}  // namespace quarry
