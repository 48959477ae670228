// The in-memory result set; see client_data_set.h for its rules.
#include "dbaccess/client_data_set.h"

#include "dbaccess/access_messages.h"
#include "dbaccess/dataset_error.h"
#include "dbaccess/name_compare.h"
#include "dbaccess/vector_row_source.h"

#include <algorithm>
#include <limits>
#include <numeric>

namespace quarry {

namespace {

// Sort keys of case-insensitive indexes compare ASCII-folded text.
char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Compares two texts as their ASCII-folded bytes (unsigned, as std::string_view compares).
int CompareFolded(std::string_view a, std::string_view b) {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    const auto x = static_cast<unsigned char>(FoldAscii(a[i])), y = static_cast<unsigned char>(FoldAscii(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return (a.size() > b.size()) - (a.size() < b.size());
}

// The names of a ";"-separated list, trimmed; empty items are dropped.
std::vector<std::string_view> SplitNames(std::string_view list) {
  std::vector<std::string_view> names;
  while (!list.empty()) {
    size_t semi = list.find(';');
    std::string_view item = TrimmedView(list.substr(0, semi));
    if (!item.empty()) names.push_back(item);
    if (semi == std::string_view::npos) break;
    list.remove_prefix(semi + 1);
  }
  return names;
}

bool ListHas(const std::vector<std::string_view>& names, std::string_view name) {
  return std::any_of(names.begin(), names.end(), [&](std::string_view n) { return SameName(n, name); });
}

}  // namespace

// --- TClientField --------------------------------------------------------------------------

const std::string& TClientField::FieldName() const { return set_->fields_[field_].name; }
TResultFieldKind TClientField::Kind() const { return set_->fields_[field_].kind; }
int TClientField::Size() const { return set_->fields_[field_].size; }

// A field read with no current record gives no value, as on an empty result.
bool TClientField::IsNull() const { return set_->position_ < 0 || set_->IsNullAt(set_->position_, field_); }

std::string TClientField::AsString() const {
  return set_->position_ < 0 ? std::string() : set_->AsStringAt(set_->position_, field_);
}

int32_t TClientField::AsInteger() const { return set_->position_ < 0 ? 0 : set_->AsIntegerAt(set_->position_, field_); }

// --- Life and activation ------------------------------------------------------------------

TClientDataSet::~TClientDataSet() {
  std::vector<TDataSetObserver*> observers;
  observers.swap(observers_);
  for (TDataSetObserver* observer : observers) observer->DataSetDestroying();
}

void TClientDataSet::SetFieldDefs(std::vector<TResultFieldDef> defs) {
  Close();
  stored_fields_ = std::move(defs);
  fields_ = stored_fields_;
}

void TClientDataSet::Open() {
  if (active_) Close();
  if (source_ == nullptr) msg::Raise(msg::NoDataProvider);

  const std::vector<TResultFieldDef> source_fields = source_->FieldDefs();
  std::vector<TResultFieldDef> fields = stored_fields_.empty() ? source_fields : stored_fields_;
  // source_of[i]: the source field that field i copies from.
  std::vector<int> source_of(fields.size());
  for (size_t i = 0; i < fields.size(); ++i) {
    if (stored_fields_.empty()) {
      source_of[i] = static_cast<int>(i);
      continue;
    }
    auto found = std::find_if(source_fields.begin(), source_fields.end(),
                              [&](const TResultFieldDef& f) { return SameName(f.name, fields[i].name); });
    if (found == source_fields.end()) msg::Raise(msg::FieldNotFound, fields[i].name);
    source_of[i] = static_cast<int>(found - source_fields.begin());
  }

  // Fill fresh columns first so that a failing source leaves nothing half made.
  std::vector<TColumn> columns(fields.size());
  for (size_t i = 0; i < fields.size(); ++i)
    if (fields[i].kind == TResultFieldKind::String) columns[i].offsets.push_back(0);
  // Room for the rows the source announces, so that a million rows are not copied again
  // each time a column outgrows its memory; the texts get room once their average length
  // is known from the first rows.
  const int64_t hint = source_->RowCountHint();
  const int64_t expected = hint > 0 ? std::min<int64_t>(hint, std::numeric_limits<int32_t>::max()) : 0;
  constexpr uint32_t kSampleRows = 1024;
  for (TColumn& column : columns) {
    column.nulls.reserve(static_cast<size_t>(expected));
    column.ints.reserve(column.offsets.empty() ? static_cast<size_t>(expected) : 0);
    column.offsets.reserve(column.offsets.empty() ? 0 : static_cast<size_t>(expected) + 1);
  }
  uint32_t rows = 0;
  for (source_->First(); !source_->Eof(); source_->Next()) {
    if (rows == std::numeric_limits<uint32_t>::max()) msg::Raise(msg::TooManyRecords);
    if (rows == kSampleRows && expected > kSampleRows) {
      for (TColumn& column : columns) {
        const double perRow = static_cast<double>(column.chars.size()) / kSampleRows;
        column.chars.reserve(static_cast<size_t>(perRow * 1.125 * static_cast<double>(expected)));
      }
    }
    for (size_t i = 0; i < fields.size(); ++i) {
      TColumn& column = columns[i];
      const int from = source_of[i];
      const bool null = source_->IsNull(from);
      column.nulls.push_back(null);
      if (fields[i].kind == TResultFieldKind::Integer) {
        column.ints.push_back(null ? 0 : source_->AsInteger(from));
      } else {
        if (!null) source_->AppendString(from, column.chars);
        if (column.chars.size() > std::numeric_limits<uint32_t>::max()) msg::Raise(msg::ResultSetTooLarge);
        column.offsets.push_back(static_cast<uint32_t>(column.chars.size()));
      }
    }
    ++rows;
  }

  fields_ = std::move(fields);
  columns_ = std::move(columns);
  row_count_ = rows;
  active_ = true;
  try {
    BuildOrder();
  } catch (...) {
    Close();
    throw;
  }
  position_ = row_count_ > 0 ? 0 : -1;
  bof_ = true;
  eof_ = row_count_ == 0;
  NotifyChanged();
  if (position_ >= 0 && after_scroll_) after_scroll_(*this);
}

void TClientDataSet::Close() {
  if (!active_) return;
  active_ = false;
  columns_.clear();
  order_.clear();
  row_count_ = 0;
  position_ = -1;
  bof_ = eof_ = true;
  if (!stored_fields_.empty()) fields_ = stored_fields_;
  NotifyChanged();
}

// --- Fields ---------------------------------------------------------------------------------

TClientField TClientDataSet::Fields(int field) const {
  if (field < 0 || field >= FieldCount()) msg::Raise(msg::FieldIndexRange);
  return TClientField(*this, field);
}

int TClientDataSet::FindField(std::string_view name) const {
  for (size_t i = 0; i < fields_.size(); ++i)
    if (SameName(fields_[i].name, name)) return static_cast<int>(i);
  return -1;
}

TClientField TClientDataSet::FieldByName(std::string_view name) const {
  int field = FindField(name);
  if (field < 0) msg::Raise(msg::FieldNotFound, name);
  return TClientField(*this, field);
}

// --- Values --------------------------------------------------------------------------------

uint32_t TClientDataSet::RowAt(int position, int field) const {
  if (!active_) msg::Raise(msg::DataSetClosed);
  if (field < 0 || field >= FieldCount()) msg::Raise(msg::FieldIndexRange);
  if (position < 0 || static_cast<size_t>(position) >= order_.size()) msg::Raise(msg::RecordPositionRange);
  return order_[static_cast<size_t>(position)];
}

std::string_view TClientDataSet::TextOf(uint32_t row, int field) const {
  const TColumn& column = columns_[static_cast<size_t>(field)];
  return std::string_view(column.chars).substr(column.offsets[row], column.offsets[row + 1] - column.offsets[row]);
}

bool TClientDataSet::IsNullAt(int position, int field) const {
  return columns_[static_cast<size_t>(field)].nulls[RowAt(position, field)];
}

std::string TClientDataSet::AsStringAt(int position, int field) const {
  uint32_t row = RowAt(position, field);
  if (fields_[static_cast<size_t>(field)].kind == TResultFieldKind::Integer) {
    const TColumn& column = columns_[static_cast<size_t>(field)];
    return column.nulls[row] ? std::string() : std::to_string(column.ints[row]);
  }
  return std::string(TextOf(row, field));
}

int32_t TClientDataSet::AsIntegerAt(int position, int field) const {
  uint32_t row = RowAt(position, field);
  const TColumn& column = columns_[static_cast<size_t>(field)];
  if (column.nulls[row]) return 0;
  if (fields_[static_cast<size_t>(field)].kind == TResultFieldKind::Integer) return column.ints[row];
  return ParseIntegerText(std::string(TextOf(row, field)));
}

// --- Navigation -------------------------------------------------------------------------------

void TClientDataSet::MoveTo(int position, bool bof, bool eof) {
  if (before_scroll_) before_scroll_(*this);
  const bool moved = position != position_;
  position_ = position;
  bof_ = bof;
  eof_ = eof;
  if (moved) NotifyRecord();
  if (after_scroll_) after_scroll_(*this);
}

void TClientDataSet::First() {
  if (!active_) msg::Raise(msg::DataSetClosed);
  MoveTo(row_count_ > 0 ? 0 : -1, true, row_count_ == 0);
}

void TClientDataSet::Last() {
  if (!active_) msg::Raise(msg::DataSetClosed);
  MoveTo(static_cast<int>(row_count_) - 1, row_count_ == 0, true);
}

int TClientDataSet::MoveBy(int distance) {
  if (!active_) msg::Raise(msg::DataSetClosed);
  const int count = static_cast<int>(row_count_);
  if (count == 0) {
    MoveTo(-1, true, true);
    return 0;
  }
  // Widen before adding so that a huge distance cannot overflow.
  const long long wanted = static_cast<long long>(position_) + distance;
  const int target = static_cast<int>(std::clamp<long long>(wanted, 0, count - 1));
  const int moved = target - position_;
  MoveTo(target, distance < 0 && wanted<0, distance> 0 && wanted > count - 1);
  return moved;
}

void TClientDataSet::Next() { MoveBy(1); }
void TClientDataSet::Prior() { MoveBy(-1); }

void TClientDataSet::SetRecNo(int rec_no) {
  if (!active_) msg::Raise(msg::DataSetClosed);
  if (row_count_ == 0) return;
  const int target = std::clamp(rec_no, 1, static_cast<int>(row_count_)) - 1;
  if (target == position_) return;
  MoveTo(target, false, false);
}

// --- Indexes -----------------------------------------------------------------------------------

const TClientIndexDef* TClientDataSet::FindIndex(std::string_view name) const {
  for (const TClientIndexDef& def : indexes_)
    if (SameName(def.name, name)) return &def;
  return nullptr;
}

std::vector<TClientDataSet::TSortKey> TClientDataSet::KeysOf(const TClientIndexDef& def) const {
  const std::vector<std::string_view> names = SplitNames(def.fields);
  const std::vector<std::string_view> desc = SplitNames(def.desc_fields);
  const std::vector<std::string_view> no_case = SplitNames(def.case_ins_fields);
  if (names.empty()) msg::Raise(msg::IndexWithoutFields, def.name);
  // Every name given must be a field, including those of the descending and case lists.
  for (const auto* list : {&names, &desc, &no_case})
    for (std::string_view name : *list)
      if (FindField(name) < 0) msg::Raise(msg::FieldNotFound, name);

  std::vector<TSortKey> keys;
  for (std::string_view name : names) {
    TSortKey key;
    key.field = FindField(name);
    key.descending = desc.empty() ? def.descending : ListHas(desc, name);
    key.no_case = def.case_insensitive || ListHas(no_case, name);
    keys.push_back(key);
  }
  return keys;
}

void TClientDataSet::AddIndex(const TClientIndexDef& def) {
  if (TrimmedView(def.name).empty()) msg::Raise(msg::IndexNameMissing);
  if (FindIndex(def.name) != nullptr) msg::Raise(msg::IndexExists, def.name);
  if (SplitNames(def.fields).empty()) msg::Raise(msg::IndexWithoutFields, def.name);
  if (active_ || !fields_.empty()) KeysOf(def);  // checks the field names
  indexes_.push_back(def);
}

void TClientDataSet::DeleteIndex(std::string_view name) {
  auto found = std::find_if(indexes_.begin(), indexes_.end(),
                            [&](const TClientIndexDef& def) { return SameName(def.name, name); });
  if (found == indexes_.end()) msg::Raise(msg::IndexNotFound, name);
  const bool current = SameName(index_name_, found->name);
  indexes_.erase(found);
  if (current) SetIndexName("");
}

void TClientDataSet::SetIndexName(std::string_view name) {
  if (!TrimmedView(name).empty() && FindIndex(name) == nullptr) msg::Raise(msg::IndexNotFound, name);
  const std::string previous = index_name_;
  index_name_ = std::string(TrimmedView(name));
  if (!active_) return;
  const int row = position_ >= 0 ? static_cast<int>(order_[static_cast<size_t>(position_)]) : -1;
  try {
    BuildOrder();
  } catch (...) {
    index_name_ = previous;
    BuildOrder();
    throw;
  }
  if (row >= 0) {
    // The same record stays current at its new place.
    auto at = std::find(order_.begin(), order_.end(), static_cast<uint32_t>(row));
    position_ = static_cast<int>(at - order_.begin());
  }
  NotifyChanged();
}

void TClientDataSet::BuildOrder() {
  order_.resize(row_count_);
  std::iota(order_.begin(), order_.end(), 0u);
  if (index_name_.empty()) return;

  // Each key reads its column directly; a case-insensitive text key folds as it compares
  // (a folded copy of a million titles would cost more in fresh memory than it saves).
  struct TPreparedKey {
    const TColumn* column;
    bool integer;
    bool descending;
    bool has_nulls;
    bool no_case;
  };
  std::vector<TPreparedKey> keys;
  for (const TSortKey& key : KeysOf(*FindIndex(index_name_))) {
    const TColumn& column = columns_[static_cast<size_t>(key.field)];
    const bool integer = fields_[static_cast<size_t>(key.field)].kind == TResultFieldKind::Integer;
    keys.push_back({&column, integer, key.descending,
                    std::find(column.nulls.begin(), column.nulls.end(), true) != column.nulls.end(),
                    !integer && key.no_case});
  }

  auto compare = [&keys](uint32_t a, uint32_t b) {
    for (const TPreparedKey& key : keys) {
      const TColumn& column = *key.column;
      int c;
      const bool null_a = key.has_nulls && column.nulls[a];
      const bool null_b = key.has_nulls && column.nulls[b];
      if (null_a || null_b) {
        c = static_cast<int>(null_b) - static_cast<int>(null_a);  // null first
      } else if (key.integer) {
        c = (column.ints[a] > column.ints[b]) - (column.ints[a] < column.ints[b]);
      } else {
        const char* chars = column.chars.data();
        const std::string_view text_a(chars + column.offsets[a], column.offsets[a + 1] - column.offsets[a]);
        const std::string_view text_b(chars + column.offsets[b], column.offsets[b + 1] - column.offsets[b]);
        c = key.no_case ? CompareFolded(text_a, text_b) : text_a.compare(text_b);
      }
      if (c != 0) return key.descending ? c > 0 : c < 0;
    }
    return a < b;  // arrival order breaks ties: a total order, and a stable sort
  };
  const TPreparedKey& lead = keys.front();
  if (lead.integer) {
    std::sort(order_.begin(), order_.end(), compare);
    return;
  }
  // A text key: the first twelve bytes of each row's text (folded when the key ignores case),
  // big-endian in two integers, settle most comparisons, so the sort mostly compares integers
  // held beside the row numbers instead of reaching into two texts far apart per comparison
  // (titles share their first eight bytes, "the man ", too often for one integer). The bytes
  // order as the texts do (a text that ends pads with 0, which no UTF-8 character contains);
  // equal prefixes go to the full comparison. A null gets 0, before or equal to every text,
  // as nulls sort first; a descending key inverts the prefix, as it inverts the comparison.
  std::vector<TPrefixedRow> prefixed(row_count_);
  const TColumn& column = *lead.column;
  for (uint32_t row = 0; row < row_count_; ++row) {
    uint64_t high = 0;
    uint32_t low = 0;
    if (!(lead.has_nulls && column.nulls[row])) {
      const char* text = column.chars.data() + column.offsets[row];
      const uint32_t length = column.offsets[row + 1] - column.offsets[row];
      auto byte = [&](uint32_t k) -> unsigned {
        if (k >= length) return 0u;
        return static_cast<unsigned char>(lead.no_case ? FoldAscii(text[k]) : text[k]);
      };
      for (uint32_t k = 0; k < 8; ++k) high = (high << 8) | byte(k);
      for (uint32_t k = 8; k < 12; ++k) low = (low << 8) | byte(k);
    }
    prefixed[row] = lead.descending ? TPrefixedRow{~high, ~low, row} : TPrefixedRow{high, low, row};
  }
  std::sort(prefixed.begin(), prefixed.end(), [&compare](const TPrefixedRow& a, const TPrefixedRow& b) {
    if (a.high != b.high) return a.high < b.high;
    if (a.low != b.low) return a.low < b.low;
    return compare(a.row, b.row);
  });
  for (uint32_t position = 0; position < row_count_; ++position) order_[position] = prefixed[position].row;
}

// --- Observers -----------------------------------------------------------------------------------

void TClientDataSet::AddObserver(TDataSetObserver* observer) {
  if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) observers_.push_back(observer);
}

void TClientDataSet::RemoveObserver(TDataSetObserver* observer) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

// Observers may remove themselves while notified, so walk a copy.
void TClientDataSet::NotifyChanged() {
  const std::vector<TDataSetObserver*> observers = observers_;
  for (TDataSetObserver* observer : observers) observer->DataSetChanged();
}

void TClientDataSet::NotifyRecord() {
  const std::vector<TDataSetObserver*> observers = observers_;
  for (TDataSetObserver* observer : observers) observer->RecordChanged();
}

}  // namespace quarry
