// The B+-tree algorithms of an index: search, insert, delete with split, merge and
// redistribution, moving along the keys, and ordinal positions from the key counts that
// branch entries carry.
//
// A TBTree is a light view over one index of a TPageStore; it holds no pages between calls.
// Positions are kept by the caller in a TIndexPath (the cursor owns one per index), which
// records the page and entry at every level from the root down.
//
// Tree shape: every page of one level is linked to its neighbours (Prev/Next); a branch entry
// holds a copy of its child's first key, the child's page number and, unless the index has
// no counts, the number of keys in the child's subtree. The ordinal position of a key is the
// sum of the counts left of its path plus its place in its leaf, so positions and range sizes
// never read the leaves.
//
// Damage found on the way (a page of the wrong level, a count that does not match its child,
// a broken level link, a path deeper than 64) raises QUARRY_INDEXCORRUPT instead of looping or crashing.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "engine/storage/index/index_page.h"
#include "engine/storage/index/key_compare.h"
#include "engine/storage/index/page_store.h"

namespace quarry {

constexpr int MaxIndexDepth = 64;

// A position in an index: the page and entry at each level, root first.
//
// Depth 0 means no position (empty index). On the leaf level Pos may equal the leaf's entry
// count, which means "after the last key".
struct TIndexPath {
  struct TLevel {
    std::int32_t Page = 0;
    int Pos = 0;
  };
  int Depth = 0;
  std::array<TLevel, MaxIndexDepth> Levels{};

  TLevel& Leaf() { return Levels[Depth - 1]; }
  const TLevel& Leaf() const { return Levels[Depth - 1]; }
};

class TBTree {
 public:
  // The comparator's key length must equal the format's. The comparator and the index name
  // (used in error messages) must outlive the tree.
  TBTree(TPageStore& store, std::uint8_t slot, const TPageFormat& format, const TKeyComparator& compare,
         std::string_view indexName = {});

  const TPageFormat& Format() const { return format_; }

  // Positions `path` on the first key not smaller than `key` (after the last key when there is
  // none). Returns true when that key equals `key`.
  bool Find(const std::uint8_t* key, TIndexPath& path);
  // Find for a walk that looks up ascending or nearby keys: when `path` (from an earlier
  // move) still leads from the root, through the child entries it names, to a leaf whose
  // keys enclose `key` (first < key <= last), only that leaf is searched; otherwise, or when
  // the tree changed under the path, it is Find. The result is Find's either way.
  bool FindNear(const std::uint8_t* key, TIndexPath& path);
  // Inserts `key` with `recordNo` and leaves `path` on it. An equal key already in the index
  // raises QUARRY_KEYVIOL.
  void Insert(const std::uint8_t* key, std::int32_t recordNo, TIndexPath& path);
  // Removes the entry whose key equals `key` and leaves `path` on the key that followed it.
  // Returns false (changing nothing) when there is no such entry.
  bool Delete(const std::uint8_t* key, TIndexPath& path);

  // Moves to the first / last key; false for an empty index.
  bool First(TIndexPath& path);
  bool Last(TIndexPath& path);
  // Moves one key on / back; false at the end / start (the path then stays where it was).
  bool Next(TIndexPath& path);
  bool Prior(TIndexPath& path);
  // True when `path` is on a key (not empty, not after the last key).
  bool OnEntry(const TIndexPath& path);
  // Key and record number of the entry at `path`, which must be on a key. `key` may be null.
  std::int32_t EntryAt(const TIndexPath& path, std::uint8_t* key);

  // Keys in the index.
  std::int64_t KeyCount();
  // 1-based position of the entry at `path`; KeyCount() + 1 after the last key; 0 when empty.
  std::int64_t Ordinal(const TIndexPath& path);
  // Positions `path` on the n-th key (1-based); false when there is no such key.
  bool Seek(std::int64_t n, TIndexPath& path);
  // Position of the first key not smaller than `key` (0 when there is none) and of the last
  // key not greater than `key` (0 when there is none); a range holds last - first + 1 keys.
  std::int64_t OrdinalNotSmaller(const std::uint8_t* key);
  std::int64_t OrdinalNotGreater(const std::uint8_t* key);
  // Number of keys k with low <= k <= high.
  std::int64_t RangeCount(const std::uint8_t* low, const std::uint8_t* high);

  // Walks every page and checks the tree's invariants (key order, first-key copies, counts,
  // level links, equal leaf depth); raises QUARRY_INDEXCORRUPT at the first violation. Returns the key count.
  std::int64_t Verify();
  // Frees every page of the index; the index becomes empty.
  void Clear();

 private:
  using TPins = std::array<TPageRef, MaxIndexDepth>;

  [[noreturn]] void Corrupt() const;
  // Fetches a page reached at `level` of the tree and checks that it can be there. With
  // `expectedCount` >= 0 (the parent's count for it) the page's own count must match.
  TPageRef FetchAt(std::int32_t pageNo, int level, std::int64_t expectedCount);
  // Descends to the leaf for `key` without moving past the leaf's end.
  bool Descend(const std::uint8_t* key, TIndexPath& path);
  // Re-pins the pages of a freshly descended path.
  void PinPath(const TIndexPath& path, TPins& pins);
  // Descends from `level` (whose position is set) along first (or last) entries.
  void DescendEdge(TIndexPath& path, int level, TPageRef page, bool last);
  // Copies the first key of the page at `level` into its ancestors' entries, as far up as
  // the page is a first child.
  void PropagateFirstKey(TPins& pins, const TIndexPath& path, int level);
  void Split(TPins& pins, TIndexPath& path, int level);
  void Fixup(TPins& pins, TIndexPath& path, int level);
  void Unlink(TPage& page);
  int Lower(const TPage& page, const std::uint8_t* key) const;
  // True when path leads from the root to a leaf whose first key is below `key` and whose
  // last key is not; checks only, raises nothing.
  bool LeafEncloses(const TIndexPath& path, const std::uint8_t* key);
  int BranchChild(const TPage& page, const std::uint8_t* key) const;
  struct TVerifyState;
  std::int64_t VerifyPage(std::int32_t pageNo, int level, TVerifyState& state);

  TPageStore& store_;
  std::uint8_t slot_;
  TPageFormat format_;
  const TKeyComparator& compare_;
  std::string_view indexName_;
};

}  // namespace quarry
