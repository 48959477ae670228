// Which parts of a filter the indexes answer, and with which keys (see filter_analysis.h).
#include "engine/storage/cursor/filter_analysis.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/storage/data/record_buffer.h"
#include "engine/values/value_ops.h"

namespace quarry {

namespace {

// The shape of a leaf the optimiser knows: a column (or UPPER of one) tested against
// constants.
struct TLeafShape {
  enum class TKind { Compare, Partial, Between, In };
  TKind Kind = TKind::Compare;
  const TExpToken* Column = nullptr;
  bool Upper = false;
  bool Negated = false;          // NOT BETWEEN, NOT IN
  std::uint8_t Op = 0;           // comparisons, the column on the left
  bool CaseInsensitive = false;  // a partial comparison ignoring case
  std::vector<const TExpToken*> Constants;
};

bool IsConstant(const TExpToken* n) { return n != nullptr && n->NodeClass == nc::Constant; }

// The column a leaf operand reads: a column, or UPPER of one.
const TExpToken* ColumnOperand(const TExpToken* n, bool& upper) {
  upper = false;
  if (n == nullptr) return nullptr;
  if (n->NodeClass == nc::Column && n->FieldNo >= 1) return n;
  if (n->NodeClass == nc::Function && n->OpCode == op::Upper && n->Args.size() == 1 && n->Args[0] != nullptr &&
      n->Args[0]->NodeClass == nc::Column && n->Args[0]->FieldNo >= 1) {
    upper = true;
    return n->Args[0];
  }
  return nullptr;
}

std::uint8_t Reversed(std::uint8_t code) {
  switch (code) {
  case op::Less: return op::Greater;
  case op::Greater: return op::Less;
  case op::LessEqual: return op::GreaterEqual;
  case op::GreaterEqual: return op::LessEqual;
  default: return code;
  }
}

bool ShapeOf(const TExpToken& node, TLeafShape& shape) {
  shape = TLeafShape{};
  if ((node.NodeClass == nc::Binary || node.NodeClass == nc::PartialCompare) && node.OpCode >= op::Equal &&
      node.OpCode <= op::LessEqual) {
    bool upper = false;
    if (const TExpToken* column = ColumnOperand(node.Left, upper); column != nullptr && IsConstant(node.Right)) {
      shape.Column = column;
      shape.Op = node.OpCode;
      shape.Constants = {node.Right};
    } else if (column = ColumnOperand(node.Right, upper);
               column != nullptr && IsConstant(node.Left) && node.NodeClass == nc::Binary) {
      shape.Column = column;
      shape.Op = Reversed(node.OpCode);
      shape.Constants = {node.Left};
    } else {
      return false;
    }
    shape.Upper = upper;
    if (node.NodeClass == nc::PartialCompare) {
      if (node.OpCode != op::Equal && node.OpCode != op::NotEqual) return false;
      shape.Kind = TLeafShape::TKind::Partial;
      shape.CaseInsensitive = node.CaseInsensitive;
    }
    return true;
  }
  if (node.NodeClass != nc::Predicate || node.Args.empty()) return false;
  const bool between = node.OpCode == op::Between || node.OpCode == op::NotBetween;
  const bool in = node.OpCode == op::InList || node.OpCode == op::NotInList;
  if (!between && !in) return false;
  if (between && node.Args.size() != 3) return false;
  if (in && node.Args.size() < 2) return false;
  shape.Column = ColumnOperand(node.Args[0], shape.Upper);
  if (shape.Column == nullptr) return false;
  for (std::size_t i = 1; i < node.Args.size(); ++i) {
    if (!IsConstant(node.Args[i])) return false;
    shape.Constants.push_back(node.Args[i]);
  }
  shape.Kind = between ? TLeafShape::TKind::Between : TLeafShape::TKind::In;
  shape.Negated = node.OpCode == op::NotBetween || node.OpCode == op::NotInList;
  return true;
}

// Types whose keys order exactly as the evaluator compares their values.
bool KeyedType(TFieldType type) {
  switch (type) {
  case TFieldType::String:
  case TFieldType::Date:
  case TFieldType::Boolean:
  case TFieldType::SmallInt:
  case TFieldType::Integer:
  case TFieldType::Float:
  case TFieldType::Time:
  case TFieldType::TimeStamp:
  case TFieldType::Word:
  case TFieldType::LargeInt: return true;
  default: return false;
  }
}

bool HasLowerOrWide(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 0x80 || (b >= 'a' && b <= 'z');
  });
}

// Stores the constant in the field of a record image; false when the field would not hold
// it unchanged (cut, case-mapped, blanks dropped, another type), so that a key built from
// the record would not stand for the constant. NULL is stored as NULL.
bool StoreConstant(const TFieldDefinition& field, const TExpToken& constant, bool upper, std::uint8_t* record) {
  if (constant.IsNull) {
    SetFieldNull(record, field);
    return true;
  }
  if (field.DataType == TFieldType::String) {
    if (constant.DataType != vt::String) return false;
    const std::string text = constant.GetString();
    // An empty text is stored as NULL, which compares otherwise than the empty constant.
    if (text.empty() || (upper && HasLowerOrWide(text))) return false;
    SetFieldString(record, field, text);
    return !IsFieldNull(record, field) && GetFieldString(record, field) == text;
  }
  const auto type = static_cast<std::uint8_t>(field.DataType);
  if (IsIntegerType(type) && IsIntegerType(constant.DataType)) {
    TExpToken converted;
    converted.SetType(type, st::None, std::max<std::int32_t>(field.ValueSize, FixedSizeOfType(type)));
    if (!ConvertValue(constant, converted) || ValueAsInt64(converted) != ValueAsInt64(constant)) return false;
    SetFieldData(record, field, converted.Value.data());
    return true;
  }
  if (constant.DataType != type || static_cast<std::int32_t>(constant.Value.size()) < field.ValueSize) return false;
  SetFieldData(record, field, constant.Value.data());
  return true;
}

// Keys of the first field: built from a record holding the value, the rest of the key
// padded to the lowest or the highest key with that start.
class TKeyMaker {
 public:
  TKeyMaker(TIndexFile& index, int slot, const TFieldDefinition& field, int recordSize)
      : index_(index), slot_(slot), field_(field), record_(static_cast<std::size_t>(recordSize), 0) {
    const TKeyFieldLayout& first = index.KeyBuilder(slot).Layout().front();
    fieldStart_ = first.Offset + 1;
    fieldEnd_ = first.Offset + 1 + first.Size;
  }

  std::uint8_t* Record() {
    std::fill(record_.begin(), record_.end(), 0);
    return record_.data();
  }
  // The key of the record as it stands, padded from byte `from` (the first field's end when
  // negative).
  std::vector<std::uint8_t> Key(bool high, int from = -1) const {
    std::vector<std::uint8_t> key = index_.KeyBuilder(slot_).Build(record_.data());
    const bool descending = index_.Definition(slot_).Descending;
    const std::uint8_t fill = high != descending ? 0xFF : 0x00;
    for (std::size_t i = static_cast<std::size_t>(from < 0 ? fieldEnd_ : from); i < key.size(); ++i) key[i] = fill;
    return key;
  }
  int FieldStart() const { return fieldStart_; }
  int FieldEnd() const { return fieldEnd_; }
  const TFieldDefinition& Field() const { return field_; }

 private:
  TIndexFile& index_;
  int slot_;
  const TFieldDefinition& field_;
  std::vector<std::uint8_t> record_;
  int fieldStart_ = 0;
  int fieldEnd_ = 0;
};

// A range of non-NULL values (null bound: unbounded), mapped onto index order. withNulls
// adds the NULL keys, which lie beyond the low end of the values.
TKeyInterval ValueInterval(TKeyMaker& maker, bool descending, const TExpToken* low, bool lowClosed,
                           const TExpToken* high, bool highClosed, bool withNulls, bool upper) {
  TKeyInterval interval;
  auto keyOf = [&](const TExpToken* value, bool padHigh) {
    std::uint8_t* record = maker.Record();
    if (value == nullptr) SetFieldNull(record, maker.Field());
    else StoreConstant(maker.Field(), *value, upper, record);
    return maker.Key(padHigh);
  };
  // In index order the NULL keys come first, unless the index runs descending. An open end
  // leaves out the keys of its bound: at the start of the walk it lies after the last of
  // them, at the end before the first.
  auto bound = [&](const TExpToken* value, bool closed, bool lowEnd, bool atFrom, std::vector<std::uint8_t>& key,
                   bool& open, bool& unbounded) {
    if (value != nullptr) {
      open = !closed;
      key = keyOf(value, atFrom == open);
    } else if (!lowEnd || withNulls) {
      unbounded = true;
    } else {
      open = true;
      key = keyOf(nullptr, atFrom);
    }
  };
  if (!descending) {
    bound(low, lowClosed, true, true, interval.From, interval.FromOpen, interval.FromStart);
    bound(high, highClosed, false, false, interval.To, interval.ToOpen, interval.ToEnd);
  } else {
    bound(high, highClosed, false, true, interval.From, interval.FromOpen, interval.FromStart);
    bound(low, lowClosed, true, false, interval.To, interval.ToOpen, interval.ToEnd);
  }
  return interval;
}

TKeyInterval NullInterval(TKeyMaker& maker) {
  TKeyInterval interval;
  SetFieldNull(maker.Record(), maker.Field());
  interval.From = maker.Key(false);
  SetFieldNull(maker.Record(), maker.Field());
  interval.To = maker.Key(true);
  return interval;
}

}  // namespace

int TFilterAnalyser::ServingSlot(int fieldNo, bool upper, bool caseInsensitive) const {
  const TFieldDefinition& field = (*table_.Fields)[static_cast<std::size_t>(fieldNo - 1)];
  const bool string = field.DataType == TFieldType::String;
  if (upper && !string) return -1;
  for (int slot = 0; slot <= MaxSecondaryIndexes; ++slot) {
    const TIndexDefinition& index = table_.Index->Definition(slot);
    if (!index.Defined() || index.FieldCount == 0 || index.FieldNumbers[0] != fieldNo) continue;
    if (string && index.CaseInsensitive != (upper || caseInsensitive)) continue;
    return slot;
  }
  return -1;
}

bool TFilterAnalyser::LeafRanges(const TExpToken& leaf, TLeafRanges& ranges) const {
  ranges = TLeafRanges{};
  if (!table_.Binary || leaf.OptimizeHint2 == 0) return false;
  TLeafShape shape;
  if (!ShapeOf(leaf, shape)) return false;
  const int slot = leaf.OptimizeHint2 - 1;
  const TIndexDefinition& index = table_.Index->Definition(slot);
  const TFieldDefinition& field = (*table_.Fields)[static_cast<std::size_t>(shape.Column->FieldNo - 1)];
  const bool descending = index.Descending || index.FieldDescending[0];
  const bool string = field.DataType == TFieldType::String;
  TKeyMaker maker(*table_.Index, slot, field, table_.RecordSize);
  ranges.Slot = slot;
  const TExpToken* c = shape.Constants.front();
  switch (shape.Kind) {
  case TLeafShape::TKind::Compare:
    switch (shape.Op) {
    case op::Equal:
    case op::NotEqual:
      ranges.Intervals.push_back(c->IsNull ? NullInterval(maker)
                                           : ValueInterval(maker, descending, c, true, c, true, false, shape.Upper));
      ranges.Invert = shape.Op == op::NotEqual;
      return true;
    // A NULL string orders as the empty text: it lies below every constant.
    case op::Less:
      ranges.Intervals.push_back(ValueInterval(maker, descending, nullptr, false, c, false, string, shape.Upper));
      return true;
    case op::LessEqual:
      ranges.Intervals.push_back(ValueInterval(maker, descending, nullptr, false, c, true, string, shape.Upper));
      return true;
    case op::Greater:
      ranges.Intervals.push_back(ValueInterval(maker, descending, c, false, nullptr, false, false, shape.Upper));
      return true;
    case op::GreaterEqual:
      ranges.Intervals.push_back(ValueInterval(maker, descending, c, true, nullptr, false, false, shape.Upper));
      return true;
    default: return false;
    }
  case TLeafShape::TKind::Partial: {
    ranges.Invert = shape.Op == op::NotEqual;
    if (leaf.PartialLength < 0) {
      ranges.Intervals.push_back(ValueInterval(maker, descending, nullptr, false, nullptr, false, false, false));
      return true;
    }
    if (leaf.PartialLength == 0) {
      ranges.Intervals.push_back(ValueInterval(maker, descending, c, true, c, true, false, false));
      return true;
    }
    // The keys that start with the prefix: the prefix padded low, and padded high from
    // its last byte on.
    std::uint8_t* record = maker.Record();
    SetFieldString(record, field, c->GetString());
    TKeyInterval interval;
    interval.From = maker.Key(false);
    const std::uint8_t* text = interval.From.data() + maker.FieldStart();
    const int bytes = static_cast<int>(
        strnlen(reinterpret_cast<const char*>(text), static_cast<std::size_t>(maker.FieldEnd() - maker.FieldStart())));
    interval.To = maker.Key(true, maker.FieldStart() + bytes);
    ranges.Intervals.push_back(std::move(interval));
    return true;
  }
  case TLeafShape::TKind::Between:
    ranges.Intervals.push_back(ValueInterval(maker, descending, c, true, shape.Constants[1], true, false, shape.Upper));
    ranges.Invert = shape.Negated;
    return true;
  case TLeafShape::TKind::In:
    for (const TExpToken* value : shape.Constants)
      ranges.Intervals.push_back(value->IsNull
                                     ? NullInterval(maker)
                                     : ValueInterval(maker, descending, value, true, value, true, false, shape.Upper));
    ranges.Invert = shape.Negated;
    return true;
  }
  return false;
}

std::int64_t TFilterAnalyser::CountKeys(const TLeafRanges& ranges) const {
  TBTree tree = table_.Index->Tree(ranges.Slot);
  const std::int64_t total = tree.KeyCount();
  std::int64_t inside = 0;
  for (const TKeyInterval& interval : ranges.Intervals) {
    // Ordinals of the first and the last key inside the interval.
    std::int64_t first = 1;
    if (!interval.FromStart) {
      if (interval.FromOpen) {
        first = tree.OrdinalNotGreater(interval.From.data()) + 1;
      } else {
        first = tree.OrdinalNotSmaller(interval.From.data());
        if (first == 0) first = total + 1;
      }
    }
    std::int64_t last = total;
    if (!interval.ToEnd) {
      if (interval.ToOpen) {
        const std::int64_t notSmaller = tree.OrdinalNotSmaller(interval.To.data());
        last = notSmaller == 0 ? total : notSmaller - 1;
      } else {
        last = tree.OrdinalNotGreater(interval.To.data());
      }
    }
    inside += std::max<std::int64_t>(0, last - first + 1);
  }
  return ranges.Invert ? std::max<std::int64_t>(0, total - inside) : inside;
}

std::uint8_t TFilterAnalyser::Analyse(TExpToken& root) { return AnalyseNode(root); }

std::uint8_t TFilterAnalyser::AnalyseLeaf(TExpToken& node) {
  node.OptimizeLevel = 0;
  node.OptimizeHint1 = 0;
  node.OptimizeHint2 = 0;
  node.EstimatedCount = -1;
  node.EstimatedCost = -1;
  int textField = 0;
  std::string searchText;
  if (TextSearchOf(node, textField, searchText) != nullptr) return AnalyseTextSearch(node);
  TLeafShape shape;
  if (!table_.Binary || !ShapeOf(node, shape)) return 0;
  if (shape.Column->FieldNo > static_cast<int>(table_.Fields->size())) return 0;
  const TFieldDefinition& field = (*table_.Fields)[static_cast<std::size_t>(shape.Column->FieldNo - 1)];
  if (!KeyedType(field.DataType)) return 0;
  const int slot = ServingSlot(shape.Column->FieldNo, shape.Upper, shape.CaseInsensitive);
  if (slot < 0) return 0;
  const TIndexDefinition& index = table_.Index->Definition(slot);
  // Ordering comparisons with NULL follow rules of their own (two NULLs compare their zero
  // bytes): they are evaluated per record, as are prefixes over descending keys, whose
  // stored bytes run inverted.
  if (shape.Kind == TLeafShape::TKind::Partial && (index.Descending || index.FieldDescending[0])) return 0;
  std::vector<std::uint8_t> scratch(static_cast<std::size_t>(table_.RecordSize), 0);
  for (const TExpToken* c : shape.Constants) {
    const bool nullAllowed =
        (shape.Kind == TLeafShape::TKind::Compare && (shape.Op == op::Equal || shape.Op == op::NotEqual)) ||
        shape.Kind == TLeafShape::TKind::In;
    if (c->IsNull && !nullAllowed) return 0;
    if (shape.Kind == TLeafShape::TKind::Partial) {
      if (c->IsNull || c->DataType != vt::String) return 0;
      continue;
    }
    std::fill(scratch.begin(), scratch.end(), 0);
    if (!StoreConstant(field, *c, shape.Upper, scratch.data())) return 0;
  }
  node.OptimizeHint2 = static_cast<std::uint8_t>(slot + 1);
  node.OptimizeLevel = 2;
  if (!options_.Estimate) return 2;

  TLeafRanges ranges;
  if (!LeafRanges(node, ranges)) {
    node.OptimizeLevel = 0;
    node.OptimizeHint2 = 0;
    return 0;
  }
  std::int64_t count = 0;
  if (shape.Kind == TLeafShape::TKind::In && !ranges.Invert) {
    // The smallest count over the values.
    count = -1;
    for (const TKeyInterval& interval : ranges.Intervals) {
      TLeafRanges one{ranges.Slot, {interval}, false};
      const std::int64_t n = CountKeys(one);
      count = count < 0 ? n : std::min(count, n);
    }
  } else if (shape.Kind == TLeafShape::TKind::Between && !ranges.Invert) {
    // The smaller of the two one-sided counts.
    TLeafRanges from = ranges;
    TLeafRanges to = ranges;
    const bool descending = index.Descending || index.FieldDescending[0];
    if (!descending) {
      from.Intervals.front().ToEnd = true;
      to.Intervals.front().FromStart = true;
    } else {
      from.Intervals.front().FromStart = true;
      to.Intervals.front().ToEnd = true;
    }
    count = std::min(CountKeys(from), CountKeys(to));
  } else {
    count = CountKeys(ranges);
  }
  const int keyLength = table_.Index->Comparator(slot).KeyLength();
  node.EstimatedCount = static_cast<std::int32_t>(count);
  node.EstimatedCost = static_cast<std::int32_t>(std::min<std::int64_t>(count * keyLength, INT32_MAX));
  if (count > static_cast<std::int64_t>(table_.PhysicalRecords) * 9 / 10) return Demote(node, 2);
  return 2;
}

std::uint8_t TFilterAnalyser::Demote(TExpToken& node, std::uint8_t level) const {
  // Nine records in ten or more: reading the records is cheaper than the index.
  node.OptimizeLevel = 0;
  node.OptimizeHint1 = level;
  return 0;
}

const TExpToken* TFilterAnalyser::TextLookup(const TExpToken& leaf, TTextLookup& lookup) const {
  int fieldNo = 0;
  std::string searchText;
  const TExpToken* search = TextSearchOf(leaf, fieldNo, searchText);
  if (search == nullptr || leaf.OptimizeHint2 != TextSlot + 1 || table_.Text == nullptr) return nullptr;
  lookup = LookUpText(fieldNo, searchText, *table_.Text, *BinaryCollation());
  return search;
}

std::uint8_t TFilterAnalyser::AnalyseTextSearch(TExpToken& node) {
  int fieldNo = 0;
  std::string searchText;
  TextSearchOf(node, fieldNo, searchText);
  if (!table_.Binary || table_.Text == nullptr || fieldNo > static_cast<int>(table_.Fields->size())) return 0;
  // The index holds the words of string columns only.
  if ((*table_.Fields)[static_cast<std::size_t>(fieldNo - 1)].DataType != TFieldType::String) return 0;
  const TIndexDefinition& text = table_.Index->Definition(TextSlot);
  const auto end = text.FieldNumbers.begin() + text.FieldCount;
  if (std::find(text.FieldNumbers.begin(), end, fieldNo) == end) return 0;
  node.OptimizeHint2 = TextSlot + 1;
  TTextLookup lookup;
  TextLookup(node, lookup);
  if (lookup.Everything) {
    // True for every record, and nothing to read.
    node.EstimatedCount = static_cast<std::int32_t>(table_.Index->RecordCount());
    node.EstimatedCost = 0;
    return node.OptimizeLevel = 2;
  }
  if (lookup.Words.empty()) {
    node.OptimizeHint2 = 0;
    return 0;
  }
  const std::uint8_t level = lookup.RecordTest ? 1 : 2;
  node.OptimizeLevel = level;
  if (!options_.Estimate) return level;
  // An AND of its words: the smallest count, and every word's keys to read.
  std::int64_t count = -1;
  std::int64_t keys = 0;
  for (const TTextWordKeys& word : lookup.Words) {
    const std::int64_t n = WalkTextWord(*table_.Index, word, nullptr);
    count = count < 0 ? n : std::min(count, n);
    keys += n;
  }
  node.EstimatedCount = static_cast<std::int32_t>(count);
  node.EstimatedCost = static_cast<std::int32_t>(std::min<std::int64_t>(keys * TextKeyLength, INT32_MAX));
  if (count > static_cast<std::int64_t>(table_.PhysicalRecords) * 9 / 10) return Demote(node, level);
  return level;
}

std::uint8_t TFilterAnalyser::AnalyseNode(TExpToken& node) {
  const bool andNode = node.NodeClass == nc::Binary && node.OpCode == op::And;
  const bool orNode = node.NodeClass == nc::Binary && node.OpCode == op::Or;
  const bool notNode = node.NodeClass == nc::Unary && node.OpCode == op::Not;
  if ((andNode || orNode) && node.Left != nullptr && node.Right != nullptr) {
    const std::uint8_t left = AnalyseNode(*node.Left);
    const std::uint8_t right = AnalyseNode(*node.Right);
    node.OptimizeHint1 = node.OptimizeHint2 = 0;
    const auto count = [](std::int32_t a, std::int32_t b, bool smaller) {
      if (a < 0 || b < 0) return std::max(a, b) < 0 ? -1 : std::max(a, b);
      return smaller ? std::min(a, b) : std::max(a, b);
    };
    const std::int32_t costL = node.Left->EstimatedCost, costR = node.Right->EstimatedCost;
    node.EstimatedCost = costL < 0 && costR < 0 ? -1 : std::max(costL, 0) + std::max(costR, 0);
    if (orNode) {
      node.EstimatedCount = count(node.Left->EstimatedCount, node.Right->EstimatedCount, false);
      node.OptimizeLevel = left == 2 && right == 2 ? 2 : 0;
      return node.OptimizeLevel;
    }
    std::uint8_t l = left, r = right;
    // A side demoted only for matching too many records comes back beside a full side.
    if (l == 2 && r == 0 && node.Right->OptimizeHint1 != 0) {
      node.Right->OptimizeLevel = r = node.Right->OptimizeHint1;
      node.Right->OptimizeHint1 = 0;
    } else if (r == 2 && l == 0 && node.Left->OptimizeHint1 != 0) {
      node.Left->OptimizeLevel = l = node.Left->OptimizeHint1;
      node.Left->OptimizeHint1 = 0;
    }
    node.EstimatedCount = count(node.Left->EstimatedCount, node.Right->EstimatedCount, true);
    node.OptimizeLevel = l == 2 && r == 2 ? 2 : (l > 0 || r > 0 ? 1 : 0);
    if (r > l) std::swap(node.Left, node.Right);
    return node.OptimizeLevel;
  }
  if (notNode && node.Left != nullptr) {
    node.OptimizeLevel = AnalyseNode(*node.Left);
    node.OptimizeHint1 = node.OptimizeHint2 = 0;
    node.EstimatedCount = node.Left->EstimatedCount < 0
                              ? -1
                              : std::max<std::int32_t>(0, static_cast<std::int32_t>(table_.Index->RecordCount()) -
                                                              node.Left->EstimatedCount);
    node.EstimatedCost = node.Left->EstimatedCost;
    return node.OptimizeLevel;
  }
  return AnalyseLeaf(node);
}

}  // namespace quarry
