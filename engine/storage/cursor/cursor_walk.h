// TCursorWalk: a cursor's place in its order and the record it stands on. In index order
// the place is a path in the current index (kept across calls; it never holds a page pinned)
// with the current record's key; in natural order it is a record number walked through the
// visible set's bitmap. The walk moves (first, last, next, prior), lands on a key or a
// record number, counts ordinal positions from the index's branch counts, makes and follows
// bookmarks, and reads the record it lands on into its current image (through the data
// file's cache with read-ahead in the direction of travel, or, in key-only reading, by
// decoding the index key).
//
// Every tree change (the cursor's own or another's) makes the path stale, so after a change
// the cursor calls Reposition, which finds the current key again. A record read that finds
// the table changed under it throws TReadRestart (read_restart.h).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/storage/data/data_file.h"
#include "engine/storage/errors/engine_error.h"
#include "engine/storage/index/btree.h"
#include "engine/storage/index/index_file.h"
#include "engine/values/records_bitmap.h"

namespace quarry {

class TDataTable;
class TVisibleSet;

// Slot number meaning "no index": natural (record-number) order.
constexpr int NaturalOrderSlot = 255;

// A bookmark: the full key of the current record in the current index, or the 4-byte record
// number in natural order. Only meaningful to the cursor (and index) that made it.
using TBookmark = std::vector<std::uint8_t>;

class TCursorWalk {
 public:
  // reader is asked about changes and read-ahead by the data file; visible and calculator
  // are the cursor's (they outlive the walk).
  TCursorWalk(TRecordReader& reader, TVisibleSet& visible, const std::function<void(std::uint8_t*)>& calculator);

  // The table walked (null while the cursor is closed).
  void Attach(TDataTable* table) { table_ = table; }
  // Sizes of the stored record and of the cursor's record buffers; fresh clears the images
  // (a new open), otherwise they keep what they hold (a view laid over the open table).
  void SetRecordShape(int recordSize, int bufferSize, bool fresh);
  // Selects the order (no checks: the cursor validated the slot); cancels the range, turns
  // key-only reading off and goes before the first record.
  void Choose(int slot);

  // ---- the order ----
  int Slot() const { return slot_; }
  bool Natural() const { return natural_; }
  int KeyLength() const { return keyLength_; }
  // -1, 0, 1 by the current index's key comparison.
  int CompareKeys(const std::uint8_t* a, const std::uint8_t* b) const;
  // Fills key bytes from `from` on as the lowest (or highest) possible continuation.
  void PadKey(std::uint8_t* key, int from, bool high) const;
  // How many leading bytes of key the given fields (0 = all) and partial characters cover.
  int GivenKeyBytes(const std::uint8_t* key, int fieldCount, int partialLength) const;
  // The key of record in the current index, in a buffer the walk reuses.
  std::uint8_t* BuildKey(const std::uint8_t* record);

  // ---- the position ----
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  std::int32_t RecordNo() const { return recordNo_; }
  void SetBof();
  void SetEof();
  void SetEmpty();
  // Drops the index path (off the ends, after other users' changes).
  void ForgetPath() { path_ = TIndexPath{}; }
  // The current record's image (buffer size) and the stored image as the caller last read it.
  std::vector<std::uint8_t>& Current() { return current_; }
  const std::vector<std::uint8_t>& Current() const { return current_; }
  std::vector<std::uint8_t>& Seen() { return seen_; }
  const std::uint8_t* CurrentKey() const { return currentKey_.data(); }
  bool KeysOnly() const { return keysOnly_; }
  void SetKeysOnly(bool on) { keysOnly_ = on; }
  // Read-ahead is off while a search jumps to a record (no direction of travel).
  bool& ReadAhead() { return readAhead_; }

  // ---- moves (result codes as the cursor's navigation) ----
  TEngineErrorCode First();
  TEngineErrorCode Last();
  TEngineErrorCode Next();
  TEngineErrorCode Prior();
  // Finds the current record again after a change: its key (nearest) in index order, its
  // record number or the next visible one in natural order.
  void Reposition();
  // Index order: positions on key (first visible key not smaller; the last record when none
  // follows). Returns whether the landing key equals key; exact does not move otherwise.
  bool PositionOnKey(const std::uint8_t* key, bool exact);
  // QUARRY_RECNOTFOUND when the record is not visible (with nearest: the next visible record instead).
  TEngineErrorCode PositionOnRecord(std::int32_t recordNo, bool nearest);
  // A search with a key of keyLength bytes given (see TDataCursor::FindRawKey).
  bool FindKey(const std::uint8_t* key, int keyLength, bool nearest);
  // Reads record recordNo into the current image (TReadRestart when the table changed).
  void LoadCurrent(std::int32_t recordNo, TReadDirection direction);

  // ---- counts and positions ----
  std::int32_t RecordCount();
  std::int32_t RecNo();
  bool SeekRecNo(std::int32_t n);

  // ---- bookmarks ----
  int BookmarkSize() const { return natural_ ? 4 : keyLength_; }
  TBookmark Bookmark() const;
  TEngineErrorCode GotoBookmark(const TBookmark& bookmark, bool nearest);
  int CompareBookmarks(const TBookmark& a, const TBookmark& b) const;

  // The data file's read-ahead question (TRecordReader::ConsecutiveRecords).
  int ConsecutiveRecords(std::int32_t recordNo, bool forward, int limit);

 private:
  TDataFile& Data() const;
  TIndexFile& Index() const;
  const TRecordsBitmap& NaturalSet();
  // Positions on the first visible entry at or after (before) path_, within the range;
  // tree is the current index's, which the caller has made for its own move.
  TEngineErrorCode SettleForward(TBTree& tree, bool on);
  TEngineErrorCode SettleBackward(TBTree& tree, bool on);
  // The current record rebuilt from its key in the current index (key-only reading).
  void LoadFromKey(std::int32_t recordNo, const std::uint8_t* key);
  std::int64_t RangeFirstOrdinal();
  std::int64_t RangeLastOrdinal();
  // The range start's path (or the first entry's without a range); whether it is on an entry.
  bool StartOfRange(TBTree& tree, TIndexPath& path);

  TRecordReader& reader_;
  TVisibleSet& visible_;
  const std::function<void(std::uint8_t*)>& calculator_;
  TDataTable* table_ = nullptr;
  int recordSize_ = 0;
  int bufferSize_ = 0;

  int slot_ = NaturalOrderSlot;
  bool natural_ = true;
  int keyLength_ = 0;
  bool readAhead_ = true;
  bool keysOnly_ = false;
  TIndexPath path_;
  std::int32_t recordNo_ = 0;
  bool bof_ = true;
  bool eof_ = true;
  std::vector<std::uint8_t> current_;
  std::vector<std::uint8_t> seen_;
  std::vector<std::uint8_t> currentKey_;  // the current record's key in the current index
  std::vector<std::uint8_t> scratchKey_;
  std::vector<std::uint8_t> readAheadKey_;  // ConsecutiveRecords' key image
  std::vector<std::uint8_t> builtKey_;      // a key built from a record
  std::vector<std::uint8_t> searchKey_;     // the padded key a search runs with
  std::vector<std::uint8_t> wantedKey_;     // PositionOnKey's copy of the key it looks for
  std::vector<std::uint8_t> record_;        // a record image read to build its key
};

}  // namespace quarry
