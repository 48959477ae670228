// Filling a filter's bitmap from indexes and record tests (see filter_bitmap.h).
#include "engine/storage/cursor/filter_bitmap.h"

#include "engine/storage/index/btree.h"

namespace quarry {

namespace {

bool IsAnd(const TExpToken& n) { return n.NodeClass == nc::Binary && n.OpCode == op::And; }
bool IsOr(const TExpToken& n) { return n.NodeClass == nc::Binary && n.OpCode == op::Or; }
bool IsNot(const TExpToken& n) { return n.NodeClass == nc::Unary && n.OpCode == op::Not; }

// result = candidates without the bits of bits.
void AndNot(const TRecordsBitmap& candidates, const TRecordsBitmap& bits, TRecordsBitmap& result) {
  result.Assign(bits);
  result.Invert();
  result.AndWith(candidates);
}

// The candidates whose records the walked keys found, or with `invert` those they did not.
void KeepMatched(const TRecordsBitmap& candidates, const TRecordsBitmap& bits, bool invert, TRecordsBitmap& result) {
  if (invert) {
    AndNot(candidates, bits, result);
  } else {
    result.Assign(bits);
    result.AndWith(candidates);
  }
}

}  // namespace

void TFilterBitmapBuilder::Build(const TExpToken& root, const TRecordsBitmap& candidates, TRecordsBitmap& result) {
  BuildNode(root, candidates, result, true);
}

void TFilterBitmapBuilder::Scan(const TExpToken* part, const TRecordsBitmap& candidates, TRecordsBitmap& result) {
  result.Assign(candidates);
  for (std::int32_t n = candidates.First(); n != 0; n = candidates.FindNext(n)) {
    ++statistics_.RecordsRead;
    if (!test_(part, n)) result.Exclude(n);
  }
}

void TFilterBitmapBuilder::BuildNode(const TExpToken& node, const TRecordsBitmap& candidates, TRecordsBitmap& result,
                                     bool top) {
  // The whole filter unserved: the filter's own test (expression or callback).
  const TExpToken* part = top ? nullptr : &node;
  if (node.OptimizeLevel == 0) {
    Scan(part, candidates, result);
    return;
  }
  if (IsAnd(node) && node.Left != nullptr && node.Right != nullptr) {
    // The better side (first after the analysis) narrows what the other side reads.
    TRecordsBitmap kept;
    BuildNode(*node.Left, candidates, kept, false);
    BuildNode(*node.Right, kept, result, false);
    return;
  }
  // OR and NOT are served only whole: their parts never give NULL, so sets combine exactly.
  if (IsOr(node) && node.OptimizeLevel == 2 && node.Left != nullptr && node.Right != nullptr) {
    TRecordsBitmap right;
    BuildNode(*node.Left, candidates, result, false);
    BuildNode(*node.Right, candidates, right, false);
    result.OrWith(right);
    return;
  }
  if (IsNot(node) && node.OptimizeLevel == 2 && node.Left != nullptr) {
    TRecordsBitmap operand;
    BuildNode(*node.Left, candidates, operand, false);
    AndNot(candidates, operand, result);
    return;
  }
  if (!BuildText(node, part, candidates, result) && !BuildLeaf(node, candidates, result))
    Scan(part, candidates, result);
}

bool TFilterBitmapBuilder::CheaperToScan(const TExpToken& node, const TRecordsBitmap& candidates) const {
  // Reading the candidates costs their records; the index costs its keys.
  return node.EstimatedCost >= 0 &&
         static_cast<std::int64_t>(candidates.CountSet()) * table_.RecordSize < node.EstimatedCost;
}

bool TFilterBitmapBuilder::BuildText(const TExpToken& node, const TExpToken* part, const TRecordsBitmap& candidates,
                                     TRecordsBitmap& result) {
  TTextLookup lookup;
  if (node.OptimizeLevel == 0) return false;
  if (analyser_.TextLookup(node, lookup) == nullptr || CheaperToScan(node, candidates)) return false;
  result.Assign(candidates);
  if (lookup.Everything) return true;
  if (lookup.Words.empty()) return false;
  TRecordsBitmap found(table_.PhysicalRecords);
  for (const TTextWordKeys& word : lookup.Words) {
    found.ClearAll();
    statistics_.KeysRead += WalkTextWord(*table_.Index, word, &found);
    result.AndWith(found);
  }
  if (lookup.RecordTest) {
    // What the words left is tested whole.
    TRecordsBitmap kept;
    kept.Assign(result);
    Scan(part, kept, result);
  }
  return true;
}

bool TFilterBitmapBuilder::BuildLeaf(const TExpToken& node, const TRecordsBitmap& candidates, TRecordsBitmap& result) {
  if (node.OptimizeLevel != 2 || IsAnd(node) || IsOr(node) || IsNot(node)) return false;
  TLeafRanges ranges;
  if (!analyser_.LeafRanges(node, ranges) || CheaperToScan(node, candidates)) return false;

  TRecordsBitmap bits(table_.PhysicalRecords);
  bits.ClearAll();
  const bool comparison = node.NodeClass == nc::Binary || node.NodeClass == nc::PartialCompare;
  if (countRanges_ && table_.Binary && comparison && ranges.Intervals.size() == 1) {
    // A range over more than half the table is cheaper read from the keys outside it.
    TLeafRanges inside = ranges;
    inside.Invert = false;
    const std::int64_t total = table_.Index->Tree(ranges.Slot).KeyCount();
    if (analyser_.CountKeys(inside) * 2 > total) {
      const TKeyInterval& range = ranges.Intervals.front();
      if (!range.FromStart) {
        TKeyInterval before;
        before.FromStart = true;
        before.To = range.From;
        before.ToOpen = !range.FromOpen;
        Walk(ranges.Slot, before, bits);
      }
      if (!range.ToEnd) {
        TKeyInterval after;
        after.From = range.To;
        after.FromOpen = !range.ToOpen;
        after.ToEnd = true;
        Walk(ranges.Slot, after, bits);
      }
      ranges.Invert = !ranges.Invert;
      KeepMatched(candidates, bits, ranges.Invert, result);
      return true;
    }
  }
  for (const TKeyInterval& interval : ranges.Intervals) Walk(ranges.Slot, interval, bits);
  KeepMatched(candidates, bits, ranges.Invert, result);
  return true;
}

void TFilterBitmapBuilder::Walk(int slot, const TKeyInterval& interval, TRecordsBitmap& bits) {
  TBTree tree = table_.Index->Tree(slot);
  const TKeyComparator& comparator = table_.Index->Comparator(slot);
  std::vector<std::uint8_t> key(static_cast<std::size_t>(comparator.KeyLength()), 0);
  TIndexPath path;
  bool on = interval.FromStart ? tree.First(path) : (tree.Find(interval.From.data(), path), tree.OnEntry(path));
  for (; on; on = tree.Next(path)) {
    const std::int32_t recordNo = tree.EntryAt(path, key.data());
    ++statistics_.KeysRead;
    if (!interval.FromStart && interval.FromOpen && comparator.Compare(key.data(), interval.From.data()) == 0) continue;
    if (!interval.ToEnd) {
      const int c = comparator.Compare(key.data(), interval.To.data());
      if (c > 0 || (c == 0 && interval.ToOpen)) {
        --statistics_.KeysRead;  // the key past the end only tells where the walk stops
        break;
      }
    }
    bits.Include(recordNo);
  }
}

}  // namespace quarry
