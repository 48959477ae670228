// B+-tree algorithms over a TPageStore (see btree.h).
#include "engine/storage/index/btree.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/storage/index/index_error.h"

namespace quarry {

TBTree::TBTree(TPageStore& store, std::uint8_t slot, const TPageFormat& format, const TKeyComparator& compare,
               std::string_view indexName)
    : store_(store), slot_(slot), format_(format), compare_(compare), indexName_(indexName) {}

void TBTree::Corrupt() const { RaiseIndexError(QUARRY_INDEXCORRUPT, store_.TableName(), indexName_); }

TPageRef TBTree::FetchAt(std::int32_t pageNo, int level, std::int64_t expectedCount) {
  if (level >= MaxIndexDepth) Corrupt();
  TPageRef page(store_, store_.FetchPage(slot_, pageNo));
  const bool typeOk = level == 0 ? page->IsRoot() : (page->Type == TPageType::Branch || page->Type == TPageType::Leaf);
  if (!typeOk || page->Free || page->Count() == 0) Corrupt();
  if (expectedCount >= 0 && format_.Counts && page->SubtreeCount() != expectedCount) Corrupt();
  return page;
}

int TBTree::Lower(const TPage& page, const std::uint8_t* key) const {
  int lo = 0;
  int hi = page.Count();
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    if (compare_.Compare(page.Key(mid), key) < 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

int TBTree::BranchChild(const TPage& page, const std::uint8_t* key) const {
  // Last entry whose key is not greater than `key`; the first when all are greater.
  int lo = 0;
  int hi = page.Count();
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    if (compare_.Compare(page.Key(mid), key) <= 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo > 0 ? lo - 1 : 0;
}

bool TBTree::Descend(const std::uint8_t* key, TIndexPath& path) {
  path.Depth = 0;
  std::int32_t pageNo = store_.Root(slot_);
  if (pageNo == 0) return false;
  std::int64_t expected = -1;
  for (int level = 0;; ++level) {
    TPageRef page = FetchAt(pageNo, level, expected);
    path.Depth = level + 1;
    auto& at = path.Levels[level];
    at.Page = pageNo;
    if (page->IsLeaf()) {
      at.Pos = Lower(*page, key);
      return at.Pos < page->Count() && compare_.Compare(page->Key(at.Pos), key) == 0;
    }
    at.Pos = BranchChild(*page, key);
    pageNo = page->Value(at.Pos);
    expected = page->KeyCount(at.Pos);
  }
}

bool TBTree::Find(const std::uint8_t* key, TIndexPath& path) {
  const bool found = Descend(key, path);
  if (path.Depth == 0 || found) return found;
  TPageRef leaf(store_, store_.FetchPage(slot_, path.Leaf().Page));
  if (path.Leaf().Pos == leaf->Count()) {
    // Past this leaf's last key: the next key, if any, starts the next leaf.
    leaf.Reset();
    path.Leaf().Pos -= 1;
    if (!Next(path)) path.Leaf().Pos += 1;
  }
  return false;
}

bool TBTree::LeafEncloses(const TIndexPath& path, const std::uint8_t* key) {
  if (path.Depth < 1 || path.Depth > MaxIndexDepth || path.Levels[0].Page != store_.Root(slot_)) return false;
  // Only pages the root leads to are fetched: a stale path may name freed or reused pages.
  for (int level = 0; level < path.Depth; ++level) {
    TPageRef page(store_, store_.FetchPage(slot_, path.Levels[level].Page));
    const bool last = level == path.Depth - 1;
    if (page->Free || page->Count() == 0 || page->IsLeaf() != last) return false;
    if (last)
      return compare_.Compare(page->Key(0), key) < 0 && compare_.Compare(page->Key(page->Count() - 1), key) >= 0;
    const int pos = path.Levels[level].Pos;
    if (pos < 0 || pos >= page->Count() || page->Value(pos) != path.Levels[level + 1].Page) return false;
  }
  return false;
}

bool TBTree::FindNear(const std::uint8_t* key, TIndexPath& path) {
  if (!LeafEncloses(path, key)) return Find(key, path);
  // Every key before this leaf is below its first key, so below `key`; the last key is not:
  // the first key not smaller than `key` is in this leaf, where Find's descent ends too.
  TPageRef leaf(store_, store_.FetchPage(slot_, path.Leaf().Page));
  path.Leaf().Pos = Lower(*leaf, key);
  return compare_.Compare(leaf->Key(path.Leaf().Pos), key) == 0;
}

void TBTree::PinPath(const TIndexPath& path, TPins& pins) {
  for (int level = 0; level < path.Depth; ++level) {
    pins[level] = TPageRef(store_, store_.FetchPage(slot_, path.Levels[level].Page));
  }
}

void TBTree::DescendEdge(TIndexPath& path, int level, TPageRef page, bool last) {
  for (;;) {
    if (page->IsLeaf()) {
      path.Depth = level + 1;
      return;
    }
    const int pos = path.Levels[level].Pos;
    const std::int32_t child = page->Value(pos);
    const std::int64_t expected = page->KeyCount(pos);
    page = FetchAt(child, level + 1, expected);
    ++level;
    path.Levels[level].Page = child;
    path.Levels[level].Pos = last ? page->Count() - 1 : 0;
  }
}

bool TBTree::First(TIndexPath& path) {
  path.Depth = 0;
  const std::int32_t root = store_.Root(slot_);
  if (root == 0) return false;
  TPageRef page = FetchAt(root, 0, -1);
  path.Levels[0] = {root, 0};
  DescendEdge(path, 0, std::move(page), false);
  return true;
}

bool TBTree::Last(TIndexPath& path) {
  path.Depth = 0;
  const std::int32_t root = store_.Root(slot_);
  if (root == 0) return false;
  TPageRef page = FetchAt(root, 0, -1);
  path.Levels[0] = {root, page->Count() - 1};
  DescendEdge(path, 0, std::move(page), true);
  return true;
}

bool TBTree::Next(TIndexPath& path) {
  if (path.Depth == 0) return false;
  const int leafLevel = path.Depth - 1;
  std::int32_t linkedNext = 0;
  {
    TPageRef leaf(store_, store_.FetchPage(slot_, path.Leaf().Page));
    if (path.Leaf().Pos + 1 < leaf->Count()) {
      ++path.Leaf().Pos;
      return true;
    }
    linkedNext = leaf->Next;
  }
  for (int level = leafLevel - 1; level >= 0; --level) {
    TPageRef page(store_, store_.FetchPage(slot_, path.Levels[level].Page));
    if (path.Levels[level].Pos + 1 < page->Count()) {
      TIndexPath moved = path;
      ++moved.Levels[level].Pos;
      DescendEdge(moved, level, std::move(page), false);
      // The tree and the level links must agree on who comes next.
      if (moved.Depth != path.Depth || moved.Leaf().Page != linkedNext) Corrupt();
      path = moved;
      return true;
    }
  }
  if (linkedNext != 0) Corrupt();
  return false;
}

bool TBTree::Prior(TIndexPath& path) {
  if (path.Depth == 0) return false;
  const int leafLevel = path.Depth - 1;
  std::int32_t linkedPrev = 0;
  {
    TPageRef leaf(store_, store_.FetchPage(slot_, path.Leaf().Page));
    if (path.Leaf().Pos > 0) {
      // From "after the last key" this lands on the last key of the leaf.
      path.Leaf().Pos = std::min(path.Leaf().Pos, leaf->Count()) - 1;
      return true;
    }
    linkedPrev = leaf->Prev;
  }
  for (int level = leafLevel - 1; level >= 0; --level) {
    TPageRef page(store_, store_.FetchPage(slot_, path.Levels[level].Page));
    if (path.Levels[level].Pos > 0) {
      TIndexPath moved = path;
      --moved.Levels[level].Pos;
      DescendEdge(moved, level, std::move(page), true);
      if (moved.Depth != path.Depth || moved.Leaf().Page != linkedPrev) Corrupt();
      path = moved;
      return true;
    }
  }
  if (linkedPrev != 0) Corrupt();
  return false;
}

bool TBTree::OnEntry(const TIndexPath& path) {
  if (path.Depth == 0) return false;
  TPageRef leaf(store_, store_.FetchPage(slot_, path.Leaf().Page));
  return path.Leaf().Pos >= 0 && path.Leaf().Pos < leaf->Count();
}

std::int32_t TBTree::EntryAt(const TIndexPath& path, std::uint8_t* key) {
  if (path.Depth == 0) Corrupt();
  TPageRef leaf(store_, store_.FetchPage(slot_, path.Leaf().Page));
  const int pos = path.Leaf().Pos;
  if (pos < 0 || pos >= leaf->Count()) Corrupt();
  if (key != nullptr) std::memcpy(key, leaf->Key(pos), format_.KeyLength);
  return leaf->Value(pos);
}

void TBTree::PropagateFirstKey(TPins& pins, const TIndexPath& path, int level) {
  const std::uint8_t* first = pins[level]->Key(0);
  for (int l = level; l > 0; --l) {
    TPage& parent = *pins[l - 1];
    const int pos = path.Levels[l - 1].Pos;
    parent.SetKey(pos, first);
    parent.Dirty = true;
    if (pos != 0) break;
  }
}

void TBTree::Insert(const std::uint8_t* key, std::int32_t recordNo, TIndexPath& path) {
  if (store_.Root(slot_) == 0) {
    TPageRef page(store_, store_.NewPage(slot_));
    page->Type = TPageType::RootLeaf;
    page->Insert(0, key, recordNo);
    page->Dirty = true;
    store_.SetRoot(slot_, page->PageNo);
    path.Depth = 1;
    path.Levels[0] = {page->PageNo, 0};
    return;
  }
  if (Descend(key, path)) RaiseIndexError(QUARRY_KEYVIOL, store_.TableName(), indexName_);
  TPins pins;
  PinPath(path, pins);
  const int leafLevel = path.Depth - 1;
  TPage& leaf = *pins[leafLevel];
  const int pos = path.Leaf().Pos;
  leaf.Insert(pos, key, recordNo);
  leaf.Dirty = true;
  if (format_.Counts) {
    for (int level = 0; level < leafLevel; ++level) {
      TPage& page = *pins[level];
      const int at = path.Levels[level].Pos;
      page.SetKeyCount(at, page.KeyCount(at) + 1);
      page.Dirty = true;
    }
  }
  if (pos == 0) PropagateFirstKey(pins, path, leafLevel);
  bool split = false;
  for (int level = leafLevel; level >= 0 && pins[level]->Overflows(); --level) {
    Split(pins, path, level);
    split = true;
  }
  if (split) {
    for (auto& pin : pins) pin.Reset();
    Descend(key, path);
  }
}

void TBTree::Split(TPins& pins, TIndexPath& path, int level) {
  TPage& page = *pins[level];
  TPageRef fresh(store_, store_.NewPage(slot_));
  const bool branch = page.IsBranch();
  const bool wasRoot = page.IsRoot();
  page.Type = branch ? TPageType::Branch : TPageType::Leaf;
  fresh->Type = page.Type;
  page.MoveTailTo(page.Count() - page.Count() / 2, *fresh);
  if (page.Compressed()) {
    // Halves by count need not fit by bytes: shift entries until both do.
    while (page.UsedBytes() > IndexPageEntryBytes && page.Count() > 1) {
      page.MoveTailToFront(page.Count() - 1, *fresh);
    }
    while (fresh->UsedBytes() > IndexPageEntryBytes && fresh->Count() > 1) {
      fresh->MoveHeadTo(1, page);
    }
    if (page.Overflows() || fresh->Overflows()) Corrupt();
  }
  fresh->Prev = page.PageNo;
  fresh->Next = page.Next;
  if (page.Next != 0) {
    TPageRef successor(store_, store_.FetchPage(slot_, page.Next));
    successor->Prev = fresh->PageNo;
    successor->Dirty = true;
  }
  page.Next = fresh->PageNo;
  page.Dirty = true;
  fresh->Dirty = true;
  if (wasRoot) {
    TPageRef root(store_, store_.NewPage(slot_));
    root->Type = TPageType::RootBranch;
    root->Insert(0, page.Key(0), page.PageNo, static_cast<std::int32_t>(page.SubtreeCount()));
    root->Insert(1, fresh->Key(0), fresh->PageNo, static_cast<std::int32_t>(fresh->SubtreeCount()));
    root->Dirty = true;
    store_.SetRoot(slot_, root->PageNo);
    return;
  }
  TPage& parent = *pins[level - 1];
  const int at = path.Levels[level - 1].Pos;
  parent.SetKeyCount(at, static_cast<std::int32_t>(page.SubtreeCount()));
  parent.Insert(at + 1, fresh->Key(0), fresh->PageNo, static_cast<std::int32_t>(fresh->SubtreeCount()));
  parent.Dirty = true;
}

bool TBTree::Delete(const std::uint8_t* key, TIndexPath& path) {
  if (!Descend(key, path)) return false;
  {
    TPins pins;
    PinPath(path, pins);
    const int leafLevel = path.Depth - 1;
    TPage& leaf = *pins[leafLevel];
    const int pos = path.Leaf().Pos;
    leaf.Remove(pos);
    leaf.Dirty = true;
    if (format_.Counts) {
      for (int level = 0; level < leafLevel; ++level) {
        TPage& page = *pins[level];
        const int at = path.Levels[level].Pos;
        page.SetKeyCount(at, page.KeyCount(at) - 1);
        page.Dirty = true;
      }
    }
    if (pos == 0 && leaf.Count() > 0) PropagateFirstKey(pins, path, leafLevel);
    Fixup(pins, path, leafLevel);
  }
  Find(key, path);
  return true;
}

void TBTree::Unlink(TPage& page) {
  if (page.Prev != 0) {
    TPageRef prev(store_, store_.FetchPage(slot_, page.Prev));
    if (prev->Next != page.PageNo) Corrupt();
    prev->Next = page.Next;
    prev->Dirty = true;
  }
  if (page.Next != 0) {
    TPageRef next(store_, store_.FetchPage(slot_, page.Next));
    if (next->Prev != page.PageNo) Corrupt();
    next->Prev = page.Prev;
    next->Dirty = true;
  }
}

void TBTree::Fixup(TPins& pins, TIndexPath& path, int level) {
  for (;; --level) {
    TPage& page = *pins[level];
    if (level == 0) {
      if (page.IsLeaf() && page.Count() == 0) {
        store_.FreePage(&page);
        store_.SetRoot(slot_, 0);
      } else if (page.IsBranch() && page.Count() == 1) {
        TPageRef child(store_, store_.FetchPage(slot_, page.Value(0)));
        child->Type = child->IsBranch() ? TPageType::RootBranch : TPageType::RootLeaf;
        child->Dirty = true;
        store_.SetRoot(slot_, child->PageNo);
        store_.FreePage(&page);
      } else if (page.Count() == 0) {
        Corrupt();
      }
      return;
    }
    TPage& parent = *pins[level - 1];
    const int at = path.Levels[level - 1].Pos;
    if (page.Compressed()) {
      if (page.Count() > 0) return;
      Unlink(page);
      store_.FreePage(&page);
      parent.Remove(at);
      parent.Dirty = true;
      if (at == 0 && parent.Count() > 0) PropagateFirstKey(pins, path, level - 1);
      continue;
    }
    const int capacity = page.Capacity();
    if (page.Count() >= capacity / 2) return;

    const bool usePrev = at > 0;
    if (!usePrev && parent.Count() < 2) Corrupt();
    const int nbAt = usePrev ? at - 1 : at + 1;
    TPageRef nb(store_, store_.FetchPage(slot_, parent.Value(nbAt)));
    if (nb->Free || nb->IsBranch() != page.IsBranch() || nb->IsRoot()) Corrupt();
    if (usePrev ? nb->Next != page.PageNo : page.Next != nb->PageNo) Corrupt();

    const int total = nb->Count() + page.Count();
    if (total < capacity) {
      // Merge the page into its neighbour and drop it.
      if (usePrev) {
        page.MoveHeadTo(page.Count(), *nb);
      } else {
        page.MoveTailToFront(0, *nb);
      }
      nb->Dirty = true;
      Unlink(page);
      store_.FreePage(&page);
      parent.Remove(at);
      const int nbIndex = usePrev ? at - 1 : at;
      parent.SetKey(nbIndex, nb->Key(0));
      parent.SetKeyCount(nbIndex, static_cast<std::int32_t>(nb->SubtreeCount()));
      parent.Dirty = true;
      if (nbIndex == 0) PropagateFirstKey(pins, path, level - 1);
      continue;
    }
    // Share the keys: the neighbour keeps the larger half.
    const int nbTarget = (total + 1) / 2;
    if (usePrev) {
      if (nb->Count() > nbTarget) {
        nb->MoveTailToFront(nbTarget, page);
      } else {
        page.MoveHeadTo(nbTarget - nb->Count(), *nb);
      }
    } else {
      const int pageTarget = total / 2;
      if (page.Count() < pageTarget) {
        nb->MoveHeadTo(pageTarget - page.Count(), page);
      } else {
        page.MoveTailToFront(pageTarget, *nb);
      }
    }
    page.Dirty = true;
    nb->Dirty = true;
    parent.SetKey(at, page.Key(0));
    parent.SetKeyCount(at, static_cast<std::int32_t>(page.SubtreeCount()));
    parent.SetKey(nbAt, nb->Key(0));
    parent.SetKeyCount(nbAt, static_cast<std::int32_t>(nb->SubtreeCount()));
    parent.Dirty = true;
    if (at == 0 || nbAt == 0) PropagateFirstKey(pins, path, level - 1);
    return;
  }
}

std::int64_t TBTree::KeyCount() {
  const std::int32_t root = store_.Root(slot_);
  if (root == 0) return 0;
  if (!format_.Counts) {
    TIndexPath path;
    std::int64_t n = 0;
    for (bool more = First(path); more; more = Next(path)) ++n;
    return n;
  }
  TPageRef page = FetchAt(root, 0, -1);
  return page->SubtreeCount();
}

std::int64_t TBTree::Ordinal(const TIndexPath& path) {
  if (path.Depth == 0) return 0;
  if (!format_.Counts) {
    // Without counts the position is found by walking from the first key.
    TIndexPath walk;
    std::int64_t n = 1;
    for (bool more = First(walk); more; more = Next(walk), ++n) {
      if (walk.Leaf().Page == path.Leaf().Page && walk.Leaf().Pos == path.Leaf().Pos) return n;
    }
    return n;
  }
  std::int64_t n = 0;
  for (int level = 0; level < path.Depth; ++level) {
    TPageRef page(store_, store_.FetchPage(slot_, path.Levels[level].Page));
    const int pos = path.Levels[level].Pos;
    if (page->IsLeaf()) {
      n += pos;
    } else {
      for (int i = 0; i < pos; ++i) n += page->KeyCount(i);
    }
  }
  return n + 1;
}

bool TBTree::Seek(std::int64_t n, TIndexPath& path) {
  path.Depth = 0;
  if (n < 1) return false;
  if (!format_.Counts) {
    bool more = First(path);
    for (std::int64_t i = 1; more && i < n; ++i) more = Next(path);
    return more;
  }
  std::int32_t pageNo = store_.Root(slot_);
  if (pageNo == 0) return false;
  std::int64_t expected = -1;
  for (int level = 0;; ++level) {
    TPageRef page = FetchAt(pageNo, level, expected);
    auto& at = path.Levels[level];
    at.Page = pageNo;
    path.Depth = level + 1;
    if (page->IsLeaf()) {
      if (n > page->Count()) {
        if (level == 0) {
          path.Depth = 0;
          return false;
        }
        Corrupt();
      }
      at.Pos = static_cast<int>(n - 1);
      return true;
    }
    int i = 0;
    while (i < page->Count() && n > page->KeyCount(i)) {
      n -= page->KeyCount(i);
      ++i;
    }
    if (i == page->Count()) {
      if (level == 0) {
        path.Depth = 0;
        return false;
      }
      Corrupt();
    }
    at.Pos = i;
    pageNo = page->Value(i);
    expected = page->KeyCount(i);
  }
}

std::int64_t TBTree::OrdinalNotSmaller(const std::uint8_t* key) {
  TIndexPath path;
  Find(key, path);
  if (!OnEntry(path)) return 0;
  return Ordinal(path);
}

std::int64_t TBTree::OrdinalNotGreater(const std::uint8_t* key) {
  TIndexPath path;
  const bool found = Find(key, path);
  if (path.Depth == 0) return 0;
  if (found) return Ordinal(path);
  // The first greater key's position minus one (after the last key: the last position).
  return Ordinal(path) - 1;
}

std::int64_t TBTree::RangeCount(const std::uint8_t* low, const std::uint8_t* high) {
  const std::int64_t first = OrdinalNotSmaller(low);
  const std::int64_t last = OrdinalNotGreater(high);
  if (first == 0 || last == 0 || last < first) return 0;
  return last - first + 1;
}

struct TBTree::TVerifyState {
  int LeafDepth = -1;
  std::array<std::int32_t, MaxIndexDepth> LastAtLevel{};
  std::vector<std::uint8_t> LastKey;
  std::vector<std::uint8_t> FirstKey;  // first key of the page just verified
};

std::int64_t TBTree::Verify() {
  const std::int32_t root = store_.Root(slot_);
  if (root == 0) return 0;
  TVerifyState state;
  const std::int64_t n = VerifyPage(root, 0, state);
  for (int level = 0; level < MaxIndexDepth && state.LastAtLevel[level] != 0; ++level) {
    TPageRef last(store_, store_.FetchPage(slot_, state.LastAtLevel[level]));
    if (last->Next != 0) Corrupt();
  }
  return n;
}

std::int64_t TBTree::VerifyPage(std::int32_t pageNo, int level, TVerifyState& state) {
  TPageRef page = FetchAt(pageNo, level, -1);
  if (page->Prev != state.LastAtLevel[level]) Corrupt();
  if (state.LastAtLevel[level] != 0) {
    TPageRef prev(store_, store_.FetchPage(slot_, state.LastAtLevel[level]));
    if (prev->Next != pageNo) Corrupt();
  }
  state.LastAtLevel[level] = pageNo;
  if (page->Overflows()) Corrupt();
  if (level > 0 && !page->Compressed() && page->Count() < page->Capacity() / 2) {
    // Underfull pages are allowed only as the last of their level's merges cannot reach; a
    // tree built by this code never leaves one.
    Corrupt();
  }
  for (int i = 1; i < page->Count(); ++i) {
    if (compare_.Compare(page->Key(i - 1), page->Key(i)) >= 0) Corrupt();
  }
  state.FirstKey.assign(page->Key(0), page->Key(0) + format_.KeyLength);
  if (page->IsLeaf()) {
    if (state.LeafDepth == -1) state.LeafDepth = level;
    if (state.LeafDepth != level) Corrupt();
    if (!state.LastKey.empty() && compare_.Compare(state.LastKey.data(), page->Key(0)) >= 0) Corrupt();
    const std::uint8_t* last = page->Key(page->Count() - 1);
    state.LastKey.assign(last, last + format_.KeyLength);
    return page->Count();
  }
  std::int64_t total = 0;
  for (int i = 0; i < page->Count(); ++i) {
    const std::int64_t below = VerifyPage(page->Value(i), level + 1, state);
    if (std::memcmp(state.FirstKey.data(), page->Key(i), format_.KeyLength) != 0) Corrupt();
    if (format_.Counts && below != page->KeyCount(i)) Corrupt();
    total += below;
  }
  state.FirstKey.assign(page->Key(0), page->Key(0) + format_.KeyLength);
  return total;
}

void TBTree::Clear() {
  const std::int32_t root = store_.Root(slot_);
  if (root == 0) return;
  // Free level by level, following the leftmost child and the level links.
  std::int32_t levelStart = root;
  for (int level = 0; levelStart != 0; ++level) {
    if (level >= MaxIndexDepth) Corrupt();
    std::int32_t nextLevel = 0;
    std::int32_t pageNo = levelStart;
    while (pageNo != 0) {
      // A looped level link comes back to a page already freed, which FetchAt refuses.
      TPageRef page = FetchAt(pageNo, level, -1);
      if (nextLevel == 0 && page->IsBranch()) nextLevel = page->Value(0);
      pageNo = page->Next;
      store_.FreePage(page.get());
    }
    levelStart = nextLevel;
  }
  store_.SetRoot(slot_, 0);
}

}  // namespace quarry
