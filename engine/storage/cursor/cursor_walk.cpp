// TCursorWalk: moves, landings, ordinal positions and bookmarks of a cursor (see
// cursor_walk.h).
#include "engine/storage/cursor/cursor_walk.h"

#include <algorithm>
#include <cstring>

#include "engine/storage/cursor/read_restart.h"
#include "engine/storage/cursor/visible_set.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/table/table.h"

namespace quarry {

namespace {

std::uint8_t* Sized(std::vector<std::uint8_t>& buffer, int length) {
  if (buffer.size() < static_cast<std::size_t>(length)) buffer.resize(static_cast<std::size_t>(length), 0);
  return buffer.data();
}

}  // namespace

TCursorWalk::TCursorWalk(TRecordReader& reader, TVisibleSet& visible,
                         const std::function<void(std::uint8_t*)>& calculator)
    : reader_(reader), visible_(visible), calculator_(calculator) {}

TDataFile& TCursorWalk::Data() const { return table_->Data(); }
TIndexFile& TCursorWalk::Index() const { return table_->Index(); }

void TCursorWalk::SetRecordShape(int recordSize, int bufferSize, bool fresh) {
  recordSize_ = recordSize;
  bufferSize_ = bufferSize;
  if (fresh) {
    current_.assign(static_cast<std::size_t>(bufferSize), 0);
    seen_.assign(static_cast<std::size_t>(recordSize), 0);
  } else {
    current_.resize(static_cast<std::size_t>(bufferSize), 0);
  }
}

void TCursorWalk::Choose(int slot) {
  slot_ = slot;
  natural_ = slot == NaturalOrderSlot || (slot == PrimarySlot && !Index().Definition(PrimarySlot).Defined());
  keyLength_ = natural_ ? 0 : Index().Definition(slot).KeyLength;
  const std::size_t keyBytes = static_cast<std::size_t>(std::max(keyLength_, 4));
  currentKey_.assign(keyBytes, 0);
  scratchKey_.assign(keyBytes, 0);
  visible_.ResetRange(keyBytes);
  keysOnly_ = false;
  path_ = TIndexPath{};
  SetBof();
}

const TRecordsBitmap& TCursorWalk::NaturalSet() { return visible_.NaturalSet(natural_, slot_); }

// ---------------------------------------------------------------------------------------
// Keys

int TCursorWalk::CompareKeys(const std::uint8_t* a, const std::uint8_t* b) const {
  return Index().Comparator(slot_).Compare(a, b);
}

std::uint8_t* TCursorWalk::BuildKey(const std::uint8_t* record) {
  std::uint8_t* key = Sized(builtKey_, keyLength_);
  Index().KeyBuilder(slot_).Build(record, key);
  return key;
}

void TCursorWalk::PadKey(std::uint8_t* key, int from, bool high) const {
  if (from >= keyLength_) return;
  const TIndexDefinition& index = Index().Definition(slot_);
  const bool binary = Data().LanguageId() == 0;
  const auto fill = [&](int begin, int end, bool descending) {
    const std::uint8_t value = high != descending ? 0xFF : 0x00;
    for (int i = std::max(begin, from); i < end && i < keyLength_; ++i) key[i] = value;
  };
  int end = 0;
  if (slot_ <= MaxSecondaryIndexes) {
    for (const TKeyFieldLayout& f : Index().KeyBuilder(slot_).Layout()) {
      // Descending fields of byte-ordered keys are stored inverted, so bytes keep their
      // order there; the field-wise comparison negates them instead.
      fill(f.Offset, f.Offset + 1 + f.Size, index.Descending || (!binary && f.Descending));
      end = std::max(end, f.Offset + 1 + f.Size);
    }
  }
  fill(end, keyLength_, index.Descending);
}

int TCursorWalk::GivenKeyBytes(const std::uint8_t* key, int fieldCount, int partialLength) const {
  if (slot_ > MaxSecondaryIndexes) return keyLength_;
  const std::vector<TKeyFieldLayout>& layout = Index().KeyBuilder(slot_).Layout();
  const int count = static_cast<int>(layout.size());
  // With a partial string the field count is literal: 0 means the partial field is the first.
  const int given =
      partialLength > 0 ? std::clamp(fieldCount, 0, count) : (fieldCount <= 0 ? count : std::min(fieldCount, count));
  int end = given > 0 ? layout[static_cast<std::size_t>(given - 1)].Offset + 1 +
                            layout[static_cast<std::size_t>(given - 1)].Size
                      : 0;
  if (partialLength > 0 && given < count && layout[static_cast<std::size_t>(given)].IsString) {
    const TKeyFieldLayout& f = layout[static_cast<std::size_t>(given)];
    const TIndexDefinition& index = Index().Definition(slot_);
    // Byte-ordered keys hold descending fields inverted.
    const std::uint8_t flip = (f.Descending && !index.Descending && Data().LanguageId() == 0) ? 0xFF : 0x00;
    const std::uint8_t* text = key + f.Offset + 1;
    int bytes = 0;
    for (int chars = 0; chars < partialLength && bytes < f.Size && (text[bytes] ^ flip) != 0; ++chars) {
      ++bytes;
      while (bytes < f.Size && ((text[bytes] ^ flip) & 0xC0) == 0x80) ++bytes;
    }
    end = f.Offset + 1 + bytes;
  }
  return std::min(end, keyLength_);
}

// ---------------------------------------------------------------------------------------
// Position primitives

void TCursorWalk::SetEmpty() {
  bof_ = eof_ = true;
  recordNo_ = 0;
}

void TCursorWalk::SetBof() {
  bof_ = true;
  eof_ = false;
  recordNo_ = 0;
}

void TCursorWalk::SetEof() {
  bof_ = false;
  eof_ = true;
  recordNo_ = 0;
}

void TCursorWalk::LoadCurrent(std::int32_t recordNo, TReadDirection direction) {
  // A record number at or beyond the end means the index was read before another user grew
  // the table (or is damaged): reading it would create a slot.
  if (recordNo < 1 || recordNo >= Data().NextRecordNo()) {
    reader_.CheckForChanges();
    throw TReadRestart{};
  }
  recordNo_ = recordNo;  // read-ahead asks ConsecutiveRecords about this record
  TPinnedRecord pinned = Data().GetRecord(&reader_, recordNo, direction, readAhead_);
  if (!pinned) throw TReadRestart{};
  if (RecordStatus(pinned.Data()) != RecordActive && slot_ != DeletedSlot) {
    pinned.Reset();
    reader_.CheckForChanges();
    throw TReadRestart{};
  }
  std::memcpy(current_.data(), pinned.Data(), static_cast<std::size_t>(recordSize_));
  std::memcpy(seen_.data(), pinned.Data(), static_cast<std::size_t>(recordSize_));
  pinned.Reset();
  if (calculator_) calculator_(current_.data());
  bof_ = eof_ = false;
}

void TCursorWalk::LoadFromKey(std::int32_t recordNo, const std::uint8_t* key) {
  std::uint8_t* record = current_.data();
  // A zero-filled image has every field NULL (flag 0, value zero).
  std::fill(current_.begin(), current_.end(), 0);
  SetRecordStatus(record, RecordActive);
  SetRecordLink(record, recordNo);
  Index().KeyBuilder(slot_).Decode(key, record);
  std::memcpy(seen_.data(), record, std::min(seen_.size(), current_.size()));
  recordNo_ = recordNo;
  bof_ = eof_ = false;
}

int TCursorWalk::ConsecutiveRecords(std::int32_t recordNo, bool forward, int limit) {
  if (visible_.Scanning() || table_ == nullptr || recordNo != recordNo_) return -1;
  const int step = forward ? 1 : -1;
  // The walk skips the records the filters hide: a batch reads on through a few of them to
  // the next record shown, but ends before a run longer than a quarter of a batch, which
  // costs more to copy than a read of its own.
  const int bridged = std::max(1, limit / 4);
  if (natural_) {
    if (!visible_.FiltersActive()) return -1;
    const TRecordsBitmap& shown = NaturalSet();
    int count = 1;
    for (int span = 1, hidden = 0; span < limit && hidden < bridged; ++span) {
      if (shown.Test(recordNo + step * span)) {
        count = span + 1;
        hidden = 0;
      } else {
        ++hidden;
      }
    }
    return count;
  }
  TBTree tree = Index().Tree(static_cast<std::uint8_t>(slot_));
  TIndexPath path = path_;
  if (!tree.OnEntry(path) || tree.EntryAt(path, nullptr) != recordNo) return 1;
  int count = 1;
  int span = 1;
  int hidden = 0;
  std::int32_t expected = recordNo;
  // Records beyond the cursor's range are not wanted: a lookup of one key reads one record.
  const bool ranged = visible_.RangeActive();
  std::vector<std::uint8_t>& key = readAheadKey_;
  key.resize(scratchKey_.size());
  while (span < limit && hidden < bridged && (forward ? tree.Next(path) : tree.Prior(path))) {
    expected += step;
    if (tree.EntryAt(path, ranged ? key.data() : nullptr) != expected) break;
    if (ranged && (forward ? CompareKeys(key.data(), visible_.RangeEnd()) > 0
                           : CompareKeys(key.data(), visible_.RangeStart()) < 0))
      break;
    ++span;
    if (visible_.Visible(expected)) {
      count = span;
      hidden = 0;
    } else {
      ++hidden;
    }
  }
  return count;
}

// ---------------------------------------------------------------------------------------
// Moves

TEngineErrorCode TCursorWalk::SettleForward(TBTree& tree, bool on) {
  while (on) {
    const std::int32_t recordNo = tree.EntryAt(path_, scratchKey_.data());
    if (visible_.RangeActive() && CompareKeys(scratchKey_.data(), visible_.RangeEnd()) > 0) break;
    if (visible_.Visible(recordNo)) {
      if (keysOnly_) LoadFromKey(recordNo, scratchKey_.data());
      else LoadCurrent(recordNo, TReadDirection::Forward);
      currentKey_.swap(scratchKey_);
      return QUARRY_NONE;
    }
    on = tree.Next(path_);
  }
  return QUARRY_EOF;
}

TEngineErrorCode TCursorWalk::SettleBackward(TBTree& tree, bool on) {
  while (on) {
    const std::int32_t recordNo = tree.EntryAt(path_, scratchKey_.data());
    if (visible_.RangeActive() && CompareKeys(scratchKey_.data(), visible_.RangeStart()) < 0) break;
    if (visible_.Visible(recordNo)) {
      if (keysOnly_) LoadFromKey(recordNo, scratchKey_.data());
      else LoadCurrent(recordNo, TReadDirection::Backward);
      currentKey_.swap(scratchKey_);
      return QUARRY_NONE;
    }
    on = tree.Prior(path_);
  }
  return QUARRY_BOF;
}

TEngineErrorCode TCursorWalk::First() {
  if (natural_) {
    const std::int32_t n = NaturalSet().First();
    if (n == 0) {
      SetEmpty();
      return QUARRY_EOF;
    }
    LoadCurrent(n, TReadDirection::Forward);
    return QUARRY_NONE;
  }
  TBTree tree = Index().Tree(static_cast<std::uint8_t>(slot_));
  if (SettleForward(tree, StartOfRange(tree, path_)) != QUARRY_NONE) {
    SetEmpty();
    return QUARRY_EOF;
  }
  return QUARRY_NONE;
}

TEngineErrorCode TCursorWalk::Last() {
  if (natural_) {
    const std::int32_t n = NaturalSet().Last();
    if (n == 0) {
      SetEmpty();
      return QUARRY_EOF;
    }
    LoadCurrent(n, TReadDirection::Backward);
    return QUARRY_NONE;
  }
  TBTree tree = Index().Tree(static_cast<std::uint8_t>(slot_));
  bool on;
  if (visible_.RangeActive()) {
    tree.Find(visible_.RangeEnd(), path_);
    if (!tree.OnEntry(path_)) {
      on = tree.Last(path_);
    } else {
      tree.EntryAt(path_, scratchKey_.data());
      on = CompareKeys(scratchKey_.data(), visible_.RangeEnd()) > 0 ? tree.Prior(path_) : true;
    }
  } else {
    on = tree.Last(path_);
  }
  if (SettleBackward(tree, on) != QUARRY_NONE) {
    SetEmpty();
    return QUARRY_EOF;
  }
  return QUARRY_NONE;
}

TEngineErrorCode TCursorWalk::Next() {
  if (bof_) return First();
  if (eof_) return QUARRY_EOF;
  if (natural_) {
    const std::int32_t n = NaturalSet().FindNext(recordNo_);
    if (n == 0) {
      SetEof();
      return QUARRY_EOF;
    }
    LoadCurrent(n, TReadDirection::Forward);
    return QUARRY_NONE;
  }
  TBTree tree = Index().Tree(static_cast<std::uint8_t>(slot_));
  if (SettleForward(tree, tree.Next(path_)) != QUARRY_NONE) {
    SetEof();
    return QUARRY_EOF;
  }
  return QUARRY_NONE;
}

TEngineErrorCode TCursorWalk::Prior() {
  if (eof_) {
    const TEngineErrorCode code = Last();
    return code == QUARRY_NONE ? code : QUARRY_BOF;
  }
  if (bof_) return QUARRY_BOF;
  if (natural_) {
    const std::int32_t n = NaturalSet().FindPrior(recordNo_);
    if (n == 0) {
      SetBof();
      return QUARRY_BOF;
    }
    LoadCurrent(n, TReadDirection::Backward);
    return QUARRY_NONE;
  }
  TBTree tree = Index().Tree(static_cast<std::uint8_t>(slot_));
  if (SettleBackward(tree, tree.Prior(path_)) != QUARRY_NONE) {
    SetBof();
    return QUARRY_BOF;
  }
  return QUARRY_NONE;
}

// ---------------------------------------------------------------------------------------
// Landings

void TCursorWalk::Reposition() {
  if (natural_) {
    const TRecordsBitmap& set = NaturalSet();
    std::int32_t n = set.Test(recordNo_) ? recordNo_ : set.FindNext(recordNo_);
    if (n == 0) n = set.FindPrior(recordNo_);
    if (n == 0) {
      SetEmpty();
      return;
    }
    LoadCurrent(n, TReadDirection::Forward);
    return;
  }
  PositionOnKey(currentKey_.data(), false);
}

bool TCursorWalk::PositionOnKey(const std::uint8_t* key, bool exact) {
  TBTree tree = Index().Tree(static_cast<std::uint8_t>(slot_));
  const std::uint8_t* target = key;
  if (visible_.RangeActive() && CompareKeys(key, visible_.RangeStart()) < 0) target = visible_.RangeStart();
  TIndexPath path;
  tree.Find(target, path);
  bool on = tree.OnEntry(path);
  if (exact) {
    if (!on) return false;
    const std::int32_t recordNo = tree.EntryAt(path, scratchKey_.data());
    if (CompareKeys(scratchKey_.data(), key) != 0 || !visible_.InRange(scratchKey_.data(), slot_) ||
        !visible_.Visible(recordNo))
      return false;
    path_ = path;
    LoadCurrent(recordNo, TReadDirection::Forward);
    currentKey_.swap(scratchKey_);
    return true;
  }
  // Keep the key: currentKey_ may be what we are looking for and settling overwrites it.
  wantedKey_.assign(key, key + keyLength_);
  path_ = path;
  if (SettleForward(tree, on) != QUARRY_NONE) {
    Last();
    return false;
  }
  return std::memcmp(currentKey_.data(), wantedKey_.data(), static_cast<std::size_t>(keyLength_)) == 0;
}

TEngineErrorCode TCursorWalk::PositionOnRecord(std::int32_t recordNo, bool nearest) {
  if (natural_ && !visible_.FiltersActive() && !visible_.ActiveValid() && recordNo >= 1 &&
      recordNo < Data().NextRecordNo()) {
    // Without filters a record is visible when its slot is active: no bitmap needed.
    bool active = false;
    {
      TPinnedRecord pinned = Data().GetRecord(&reader_, recordNo);
      if (!pinned) throw TReadRestart{};
      active = RecordStatus(pinned.Data()) == RecordActive;
    }
    if (active) {
      LoadCurrent(recordNo, TReadDirection::Forward);
      return QUARRY_NONE;
    }
  }
  if (natural_) {
    const TRecordsBitmap& set = NaturalSet();
    if (set.Test(recordNo)) {
      LoadCurrent(recordNo, TReadDirection::Forward);
      return QUARRY_NONE;
    }
    if (!nearest) return QUARRY_RECNOTFOUND;
    const std::int32_t n = set.FindNext(std::max(recordNo, 0));
    if (n == 0) {
      if (Last() != QUARRY_NONE) return QUARRY_EOF;
      return QUARRY_NONE;
    }
    LoadCurrent(n, TReadDirection::Forward);
    return QUARRY_NONE;
  }
  if (recordNo < 1 || recordNo >= Data().NextRecordNo() || slot_ > MaxSecondaryIndexes) return QUARRY_RECNOTFOUND;
  std::uint8_t* record = Sized(record_, bufferSize_);
  {
    TPinnedRecord pinned = Data().GetRecord(&reader_, recordNo);
    if (!pinned) throw TReadRestart{};
    if (RecordStatus(pinned.Data()) != RecordActive) return QUARRY_RECNOTFOUND;
    std::memcpy(record, pinned.Data(), static_cast<std::size_t>(recordSize_));
  }
  return PositionOnKey(BuildKey(record), true) ? QUARRY_NONE : QUARRY_RECNOTFOUND;
}

bool TCursorWalk::FindKey(const std::uint8_t* key, int keyLength, bool nearest) {
  if (natural_ || keyLength_ == 0) return false;
  const int given = std::clamp(keyLength, 0, keyLength_);
  std::uint8_t* search = Sized(searchKey_, keyLength_);
  std::memmove(search, key, static_cast<std::size_t>(given));
  std::memset(search + given, 0, static_cast<std::size_t>(keyLength_ - given));
  if (given == keyLength_ && Index().Definition(slot_).Unique) {
    if (PositionOnKey(search, true)) return true;
    if (nearest) PositionOnKey(search, false);
    return false;
  }
  PadKey(search, given, false);
  PositionOnKey(search, false);
  if (bof_ || eof_) return false;
  return std::memcmp(currentKey_.data(), search, static_cast<std::size_t>(given)) == 0;
}

// ---------------------------------------------------------------------------------------
// Counts and positions

bool TCursorWalk::StartOfRange(TBTree& tree, TIndexPath& path) {
  if (!visible_.RangeActive()) return tree.First(path);
  // A walk probing one key after another (a join's inner table, an IN's values) mostly
  // finds the next key on the leaf it already stands on.
  tree.FindNear(visible_.RangeStart(), path);
  return tree.OnEntry(path);
}

std::int64_t TCursorWalk::RangeFirstOrdinal() {
  TBTree tree = Index().Tree(static_cast<std::uint8_t>(slot_));
  if (visible_.RangeActive()) return tree.OrdinalNotSmaller(visible_.RangeStart());
  return tree.KeyCount() > 0 ? 1 : 0;
}

std::int64_t TCursorWalk::RangeLastOrdinal() {
  TBTree tree = Index().Tree(static_cast<std::uint8_t>(slot_));
  if (visible_.RangeActive()) return tree.OrdinalNotGreater(visible_.RangeEnd());
  return tree.KeyCount();
}

std::int32_t TCursorWalk::RecordCount() {
  if (visible_.FiltersActive()) return visible_.Count();
  if (natural_) return Index().RecordCount();
  const std::int64_t first = RangeFirstOrdinal();
  const std::int64_t last = RangeLastOrdinal();
  if (first == 0 || last == 0 || last < first) return 0;
  return static_cast<std::int32_t>(last - first + 1);
}

std::int32_t TCursorWalk::RecNo() {
  if (bof_ || eof_) return 0;
  if (natural_) return NaturalSet().CountSetBelow(recordNo_) + 1;
  TBTree tree = Index().Tree(static_cast<std::uint8_t>(slot_));
  if (!visible_.FiltersActive()) return static_cast<std::int32_t>(tree.Ordinal(path_) - RangeFirstOrdinal() + 1);
  // Filtered index order: count the visible entries from the range start.
  TIndexPath path;
  std::int32_t position = 0;
  for (bool on = StartOfRange(tree, path); on; on = tree.Next(path)) {
    const std::int32_t recordNo = tree.EntryAt(path, scratchKey_.data());
    if (visible_.Records().Test(recordNo)) ++position;
    if (recordNo == recordNo_ && CompareKeys(scratchKey_.data(), currentKey_.data()) == 0) return position;
  }
  return 0;
}

bool TCursorWalk::SeekRecNo(std::int32_t n) {
  if (n < 1) return false;
  if (natural_) {
    const std::int32_t recordNo = NaturalSet().Nth(n);
    if (recordNo == 0) return false;
    LoadCurrent(recordNo, TReadDirection::Forward);
    return true;
  }
  TBTree tree = Index().Tree(static_cast<std::uint8_t>(slot_));
  TIndexPath path;
  if (!visible_.FiltersActive()) {
    const std::int64_t first = RangeFirstOrdinal();
    const std::int64_t last = RangeLastOrdinal();
    if (first == 0 || first + n - 1 > last || !tree.Seek(first + n - 1, path)) return false;
  } else {
    if (n > visible_.Count()) return false;
    bool on = StartOfRange(tree, path);
    std::int32_t seen = 0;
    for (; on; on = tree.Next(path)) {
      if (visible_.Records().Test(tree.EntryAt(path, nullptr)) && ++seen == n) break;
    }
    if (!on) return false;
  }
  path_ = path;
  const std::int32_t recordNo = tree.EntryAt(path_, scratchKey_.data());
  LoadCurrent(recordNo, TReadDirection::Forward);
  currentKey_.swap(scratchKey_);
  return true;
}

// ---------------------------------------------------------------------------------------
// Bookmarks

TBookmark TCursorWalk::Bookmark() const {
  if (bof_ || eof_) return {};
  if (natural_) {
    TBookmark bookmark(4);
    std::memcpy(bookmark.data(), &recordNo_, 4);
    return bookmark;
  }
  return TBookmark(currentKey_.begin(), currentKey_.begin() + keyLength_);
}

TEngineErrorCode TCursorWalk::GotoBookmark(const TBookmark& bookmark, bool nearest) {
  if (static_cast<int>(bookmark.size()) != BookmarkSize()) return QUARRY_RECNOTFOUND;
  if (natural_) {
    std::int32_t recordNo = 0;
    std::memcpy(&recordNo, bookmark.data(), 4);
    return PositionOnRecord(recordNo, nearest);
  }
  if (PositionOnKey(bookmark.data(), true)) return QUARRY_NONE;
  if (!nearest) return QUARRY_RECNOTFOUND;
  PositionOnKey(bookmark.data(), false);
  return bof_ || eof_ ? QUARRY_EOF : QUARRY_NONE;
}

int TCursorWalk::CompareBookmarks(const TBookmark& a, const TBookmark& b) const {
  const int size = BookmarkSize();
  const bool aValid = static_cast<int>(a.size()) == size;
  const bool bValid = static_cast<int>(b.size()) == size;
  if (!aValid || !bValid) return aValid == bValid ? 0 : (aValid ? 1 : -1);
  if (natural_) {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::memcpy(&x, a.data(), 4);
    std::memcpy(&y, b.data(), 4);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  return CompareKeys(a.data(), b.data());
}

}  // namespace quarry
