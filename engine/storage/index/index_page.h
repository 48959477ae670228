// One 4,096-byte page of an index B+-tree, unpacked for work in memory.
//
// Page image on disk (little-endian):
//
// | offset | size  | meaning |
// |--------|-------|---------|
// |   0    | 1     | page type: 0 root branch, 1 branch, 2 leaf, 3 root leaf, 4 text parameters |
// |   1    | 2     | number of entries (0 for a free page) |
// |   3    | 4     | previous page at the same level (0 = none) |
// |   7    | 4     | next page at the same level (0 = none); on a free page the next free page |
// |  11    | 2     | bytes used by the entries |
// |  13    | 4,083 | entries |
//
// Entries, with K the index's key length:
//   branch:            key (K) | child page (int32) | keys in the child's subtree (int32, omitted
//                      for indexes without counts)
//   leaf, plain:       key (K) | record number (int32)
//   leaf, compressed:  [d] [t] key bytes | record number (int32), where
//     d = leading bytes shared with the previous entry's key (0..254, 0 on the first entry),
//     t = trailing zero bytes dropped (0..255). "Duplicates" stores only d, "trailing" only t,
//     "both" stores both. Trailing zeros of a non-unique key are counted before its 4-byte
//     record-identifier suffix, which is always stored ("both": unless fewer than 5 bytes
//     remain after the shared prefix, when the zeros are counted to the key's end).
//
// In memory every entry is unpacked to a fixed stride of K + 10 bytes:
//   key (K) | first int32 (record number or child page) | second int32 (key count) | d | t
// so searching and moving entries never decode. A compressed leaf keeps d and t of every
// entry current and the sum of the packed sizes in UsedBytes(), which is what decides overflow.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace quarry {

constexpr int IndexPageSize = 4096;
constexpr int IndexPageHeaderSize = 13;
constexpr int IndexPageEntryBytes = IndexPageSize - IndexPageHeaderSize;  // 4,083
// Where a page image holds its previous and next page links; the next link of a free page
// (and of a text-parameter page) is the next page of its chain.
constexpr int IndexPagePrevOffset = 3;
constexpr int IndexPageNextOffset = 7;
// Longest key of any index (and so the longest index bookmark).
constexpr int MaxIndexKeyLength = 522;

enum class TPageType : std::uint8_t {
  RootBranch = 0,
  Branch = 1,
  Leaf = 2,
  RootLeaf = 3,
  TextParameters = 4,
};

enum class TKeyCompression : std::uint8_t { None = 0, Duplicates = 1, Trailing = 2, Both = 3 };

// What a page needs to know about its index to lay out its entries.
struct TPageFormat {
  std::uint16_t KeyLength = 0;
  TKeyCompression Compression = TKeyCompression::None;
  bool Unique = true;
  bool Counts = true;  // branch entries carry the key count of their subtree

  int Stride() const { return KeyLength + 10; }
  int BranchEntrySize() const { return KeyLength + (Counts ? 8 : 4); }
  int BranchCapacity() const { return IndexPageEntryBytes / BranchEntrySize(); }
  int LeafCapacity() const { return IndexPageEntryBytes / (KeyLength + 4); }
};

// A page in memory.
//
// Invariants: Count() entries of Stride() bytes are held; UsedBytes() equals the packed size of
// those entries; on a compressed leaf every entry's d and t bytes match its predecessor.
// Pins and Dirty are managed by the page store that owns the page; the tree code only reads
// and changes entries while it holds a pin.
class TPage {
 public:
  TPage(const TPageFormat& format, std::int32_t pageNo, std::uint8_t slot);

  // Reuses the object for another page (page pool): clears entries and flags.
  void Reset(const TPageFormat& format, std::int32_t pageNo, std::uint8_t slot);

  std::int32_t PageNo = 0;
  std::uint8_t Slot = 0;
  TPageType Type = TPageType::RootLeaf;
  std::int32_t Prev = 0;
  std::int32_t Next = 0;
  bool Dirty = false;
  int Pins = 0;
  bool Free = false;
  // Most-recently-used chain of the cache that holds the page.
  TPage* MruPrev = nullptr;
  TPage* MruNext = nullptr;

  const TPageFormat& Format() const { return format_; }
  int Count() const { return count_; }
  int UsedBytes() const { return used_; }
  bool IsLeaf() const { return Type == TPageType::Leaf || Type == TPageType::RootLeaf; }
  bool IsBranch() const { return Type == TPageType::Branch || Type == TPageType::RootBranch; }
  bool IsRoot() const { return Type == TPageType::RootBranch || Type == TPageType::RootLeaf; }
  bool Compressed() const { return IsLeaf() && format_.Compression != TKeyCompression::None; }
  // Entries a plain page may hold (0 for compressed leaves, which are bounded by bytes).
  int Capacity() const;
  bool Overflows() const;

  const std::uint8_t* Key(int i) const { return At(i); }
  // Record number on a leaf, child page on a branch.
  std::int32_t Value(int i) const { return LoadInt(At(i) + format_.KeyLength); }
  std::int32_t KeyCount(int i) const { return LoadInt(At(i) + format_.KeyLength + 4); }
  void SetValue(int i, std::int32_t v) { StoreInt(At(i) + format_.KeyLength, v); }
  void SetKeyCount(int i, std::int32_t n) { StoreInt(At(i) + format_.KeyLength + 4, n); }
  // Replaces the key of entry i (branch pages: the copy of a child's first key).
  void SetKey(int i, const std::uint8_t* key);

  // Inserts an entry before entry i (0 <= i <= Count()).
  void Insert(int i, const std::uint8_t* key, std::int32_t value, std::int32_t keyCount = 0);
  void Remove(int i);
  // Moves entries [from, Count()) to the end of dest.
  void MoveTailTo(int from, TPage& dest);
  // Moves entries [0, n) to the end of dest.
  void MoveHeadTo(int n, TPage& dest);
  // Moves entries [from, Count()) to the front of dest.
  void MoveTailToFront(int from, TPage& dest);
  void Clear();

  // Keys in this page's subtree: the entry count of a leaf, the sum of the counts of a branch.
  std::int64_t SubtreeCount() const;

  // Writes the 4,096-byte image. A free page is written with no entries.
  void Pack(std::uint8_t* out) const;
  // Reads a 4,096-byte image; false when it cannot be a valid index page of this format
  // (unknown type, too many entries, entries running past the page, bad compression bytes).
  bool Unpack(const std::uint8_t* in);

 private:
  std::uint8_t* At(int i) { return entries_.data() + static_cast<std::size_t>(i) * format_.Stride(); }
  const std::uint8_t* At(int i) const { return entries_.data() + static_cast<std::size_t>(i) * format_.Stride(); }
  static std::int32_t LoadInt(const std::uint8_t* p) {
    std::int32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }
  static void StoreInt(std::uint8_t* p, std::int32_t v) { std::memcpy(p, &v, 4); }

  int PlainEntrySize() const;
  // Recomputes d and t of entry i from its predecessor and returns its packed size.
  int CompressEntry(int i);
  // Recomputes entries [from, to] (clipped to the page) and keeps UsedBytes() in step.
  void RecompressRange(int from, int to);
  void RecomputeUsed();
  int EntrySize(int i) const;
  bool SuffixKept(int d) const;

  TPageFormat format_;
  int count_ = 0;
  int used_ = 0;
  std::vector<std::uint8_t> entries_;
};

}  // namespace quarry
