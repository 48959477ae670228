// TIndexFile: the index file (".IDX") of one open table in this process.
//
// The file is a 4,096-byte header (layout in index_definition.h) followed by 4,096-byte pages
// (layout in index_page.h); page n lives at offset n × 4,096. It holds every index of the
// table: the primary index (slot 0), up to 30 secondary indexes (slots 1..30), "Sys Deleted"
// (31) and "Sys Text" (32). When the table is encrypted the header and every page are
// scrambled as a whole with the record seeds.
//
// TIndexFile owns the header image, a page cache per index slot and the key builders and
// comparators of the table's indexes. It is the TPageStore the tree algorithms (btree.h) run
// on; callers (the cursor) keep their position in each index as a TIndexPath.
//
// Page cache, per slot: the pages sorted by page number plus a most-recently-used chain.
// Pinned and dirty pages are never evicted. Once trimmed a slot keeps at most
// max(1, record buffer bytes / 8,192) pages; when every cached page is pinned or dirty, the
// slot's dirty pages are written first (not while the table lock is held, as in a
// transaction) and otherwise the cache grows by 4.
//
// Concurrency: no lock of its own. Every call runs while the caller holds the table's
// engine-level mutual exclusion and the file locks the operation needs; each page or header
// transfer is one positioned read or write under the file's section.
//
// Invariants (between calls): no page is pinned; every cached page's number is below the
// header's next page number; a page is in exactly one slot's cache.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/data/field_definition.h"
#include "engine/storage/files/file_handler.h"
#include "engine/storage/index/btree.h"
#include "engine/storage/index/collation.h"
#include "engine/storage/index/index_definition.h"
#include "engine/storage/index/index_key.h"
#include "engine/storage/index/page_store.h"

namespace quarry {

class TDataFile;

// Most pages an index file may hold, and the largest file size.
constexpr std::int64_t MaxIndexPages = 2'000'000'000;
constexpr std::int64_t MaxIndexFileBytes = 4'000'000'000;

struct TIndexFileSettings {
  int RecordBufferBytes = 16384;  // the session setting; pages kept per slot = this / 8,192
  bool TableLockHeld = false;     // during transactions: dirty pages are not written early
};

class TIndexFile : public TFileHandler, public TPageStore {
 public:
  explicit TIndexFile(std::string fileName = {}, bool inMemory = false, TFileList* list = nullptr);
  ~TIndexFile() override;

  // ---- file and header ----
  // Creates the file with the header of a new table and writes that header at once.
  void CreateFile(bool encrypted = false);
  // Opens the file and reads its header (QUARRY_HEADERCORRUPT when unreadable or holding more than 32
  // indexes).
  void Open() override;
  // Drops every cached page (dirty pages must have been flushed by the table layer).
  void Close() override;
  // Full check of the header against the table's field definitions: QUARRY_OLDVERSION for a wrong
  // version, QUARRY_HEADERCORRUPT for any inconsistent definition.
  void VerifyHeader(const std::vector<TFieldDefinition>& fields);
  void CheckVersion();
  // Rereads the header; true (with caches dropped and the new image kept) when another
  // writer changed it.
  bool HeaderChanged();
  // The change counter in the file now (nothing in memory changes).
  std::int32_t StoredChangeCounter();
  // Writes the header when modified or forced; true when it wrote.
  bool WriteHeader(bool force = false);
  // Marks the header changed without writing it (inside transactions).
  void TouchHeader();
  // Cuts the file after the header: every index empty, record count 0.
  void Empty();

  void SetEncrypted(bool encrypted) { encrypted_ = encrypted; }
  // Directory (with its trailing separator) where the pages of temporary indexes go, in a
  // file of their own; empty keeps them in memory.
  void SetTemporaryDirectory(std::string directory) { temporaryDirectory_ = std::move(directory); }
  void SetSettings(const TIndexFileSettings& settings);
  const TIndexHeader& Header() const { return header_; }

  // ---- index definitions ----
  // `fields` are the table's field definitions (field number - 1 = position).
  void DefinePrimaryIndex(TIndexDefinition index, const std::vector<TFieldDefinition>& fields);
  // Returns the slot the index was given. A temporary index (its Temporary flag set) exists
  // only in this process: its pages live in a temporary file, it is never written to the
  // header on disk and it goes away at Close.
  int AddSecondaryIndex(TIndexDefinition index, const std::vector<TFieldDefinition>& fields);
  void DefineTextIndex(TIndexDefinition index, const std::vector<TFieldDefinition>& fields);
  // Frees the index's pages and closes the gap in the slots (secondary) or clears the slot.
  void RemoveIndex(int slot);
  const TIndexDefinition& Definition(int slot) const { return header_.Slots.at(slot); }
  int SecondaryCount() const { return header_.SecondaryCount; }
  // Slot of the index named `name` among the primary and secondary ones (trimmed, case
  // ignored; the primary's name is empty); -1 when there is none.
  int FindIndex(std::string_view name) const;

  // ---- keys ----
  // Builds the key builders and comparators for the table's fields and collation; needed
  // before any key operation and again after the definitions change.
  void BindTable(const std::vector<TFieldDefinition>& fields, std::shared_ptr<const TCollation> collation);
  const TKeyBuilder& KeyBuilder(int slot) const;
  const TKeyComparator& Comparator(int slot) const { return comparators_.at(slot); }
  // The tree of one index (a light view; valid while this object is).
  TBTree Tree(int slot);
  void InsertKey(int slot, TIndexPath& path, const std::uint8_t* key, std::int32_t recordNo);
  bool DeleteKey(int slot, TIndexPath& path, const std::uint8_t* key);
  bool FindKey(int slot, TIndexPath& path, const std::uint8_t* key);

  // Record numbers of the deleted slots, in identifier order: the "Sys Deleted" entries
  // whose status byte is 1.
  std::vector<std::int32_t> DeletedRecordNumbers();

  // ---- records ----
  void IncrementRecordCount();
  void DecrementRecordCount();
  // Sets the count outright (a table whose records were rewritten in place, e.g. sorted).
  void SetRecordCount(std::int32_t count);
  std::int32_t RecordCount() const { return header_.ActiveRecords; }
  // False for tables created without a primary index: they never reuse deleted slots.
  bool ReusesDeletedSlots() const { return !header_.NoPrimaryIndex; }
  // Tells the data file whether it may reuse deleted record slots.
  void ReportSlotReuse(TDataFile& data) const;

  // ---- pages (TPageStore) ----
  TPage* FetchPage(std::uint8_t slot, std::int32_t pageNo) override;
  TPage* NewPage(std::uint8_t slot) override;
  void ReleasePage(TPage* page) override;
  void FreePage(TPage* page) override;
  std::int32_t Root(std::uint8_t slot) const override { return header_.Slots[slot].Root; }
  void SetRoot(std::uint8_t slot, std::int32_t pageNo) override;
  const std::string& TableName() const override { return FileName(); }

  // Writes every dirty page, then the header when modified.
  void FlushPages();
  // Drops every cached page without writing (after another writer changed the file).
  void DiscardPages();
  // Evicts clean unpinned pages down to the trimmed size of each slot's cache, or down to
  // keepPages when that is larger (pages worth keeping for the table's next use).
  void TrimCache(int keepPages = 0);
  // Lets each slot's cache hold at least `pages` pages until the next trim (a long read
  // under one lock, whose descents would otherwise read the same upper pages again).
  void WidenCache(int pages);
  // Pages the trees asked for, and pages read from the file.
  std::int64_t PageRequests() const { return requests_; }
  std::int64_t PageReads() const { return reads_; }
  int CachedPages(int slot) const { return static_cast<int>(caches_.at(slot).Sorted.size()); }

  // ---- text-index parameters ----
  // Raw access to a text-parameter page (type 4): its 4,083 entry bytes and its chain link.
  void ReadParameterPage(std::int32_t pageNo, std::uint8_t* entries, std::int32_t& next);
  void WriteParameterPage(std::int32_t pageNo, const std::uint8_t* entries, std::int32_t next);
  // A new page number for the text-parameter chain (from the text index's free chain or the
  // end of the file).
  std::int32_t AllocateParameterPage();
  // Puts a text-parameter page no longer needed on the text index's free chain.
  void FreeParameterPage(std::int32_t pageNo);
  void SetTextParameterChain(std::int32_t firstPage);

 private:
  struct TSlotCache {
    std::vector<TPage*> Sorted;  // by page number
    TPage* MruHead = nullptr;
    TPage* MruTail = nullptr;
    int Limit = 2;
  };

  TPageFormat FormatOf(int slot) const;
  bool IsTemporary(int slot) const { return slot >= 0 && header_.Slots[slot].Temporary; }
  // The file that holds a slot's pages: this one, or the temporary-index file.
  TFileHandler& PageFile(int slot);
  void DropTemporaryIndexes();
  int TrimmedLimit() const;
  void CheckPageNumber(std::int32_t pageNo, int slot = -1) const;
  std::int32_t AppendPageNumber(int slot = -1);
  TPage* CachedPage(TSlotCache& cache, std::int32_t pageNo);
  TPage* TakePageObject(int slot);
  void AddToCache(int slot, TPage* page);
  void RemoveFromCache(TSlotCache& cache, TPage* page);
  void MoveToFront(TSlotCache& cache, TPage* page);
  void WritePage(TPage& page);
  void FlushSlot(int slot, bool onlyUnpinned);
  void ReadImage(std::int32_t pageNo, std::uint8_t* image, int slot = -1);
  void WriteImage(std::int32_t pageNo, std::uint8_t* image, int slot = -1);
  void MarkModified() { modified_ = true; }
  void CheckDefinitionName(const std::string& name, int skipSlot) const;
  void RebuildBindings();
  [[noreturn]] void Corrupt() const;

  TIndexHeader header_;
  bool modified_ = false;
  std::string temporaryDirectory_;
  std::unique_ptr<TFileHandler> temporaryFile_;  // pages of temporary indexes
  std::int32_t temporaryNextPage_ = 1;
  bool encrypted_ = false;
  TIndexFileSettings settings_;
  std::array<TSlotCache, IndexSlotCount> caches_{};
  std::vector<std::unique_ptr<TPage>> pages_;  // every page object, cached or spare
  std::vector<TPage*> spare_;
  std::int64_t requests_ = 0;
  std::int64_t reads_ = 0;

  // Key handling, rebuilt by BindTable.
  std::vector<TFieldDefinition> fields_;
  std::shared_ptr<const TCollation> collation_;
  std::array<std::unique_ptr<TKeyBuilder>, IndexSlotCount> builders_{};
  std::array<TKeyComparator, IndexSlotCount> comparators_{};
};

}  // namespace quarry
