// TClientDataSet: the in-memory, read-only result set that the window, the result grid and the
// print component read (the application's `cds`).
//
// Opening it copies every row of its source (a TRowSource, normally the search query) once;
// after that it never touches the source again. Rows are kept column by column: integers in
// one array, texts packed into one character buffer with an offset per row, and one null flag
// per value, so 36,000 rows cost a few hundred kilobytes and fill in one pass.
//
// Order. Rows keep their arrival order until an index is made current. An index names its
// fields ("Title;Year"), which of them sort descending, and whether texts compare without
// case. Switching to an index sorts a permutation of row numbers; the rows themselves never
// move. Texts compare by the bytes of their UTF-8 form, which is the engine's plain byte
// order; case-insensitive comparison folds ASCII letters. Nulls sort before every value.
// Rows with equal keys keep their arrival order, so a sort is stable.
//
// Position. RecNo counts from 1 in the current order; Bof/Eof follow the usual dataset rules:
// First sets Bof, Next on the last record sets Eof and stays there, Prior on the first sets
// Bof. Every navigation call raises the before-scroll event, moves, then raises the
// after-scroll event; going to the record that is already current raises neither. Switching
// the index keeps the same record current (its RecNo changes) and raises no scroll event.
//
// Observers (the grid's model, later the print component) hear about openings, closings and
// reorderings (DataSetChanged) and moves of the current record (RecordChanged) without taking
// the application's scroll events.
//
// Threads: used on one thread; no locking.
#pragma once

#include "dbaccess/row_source.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quarry {

class TClientDataSet;

// An index of the result set. Field lists are field names separated by ";" (compared trimmed
// and without regard to case).
//  - `descending` with an empty `desc_fields`: every field sorts descending;
//    with `desc_fields` given: exactly those fields sort descending.
//  - `case_insensitive`: every text field compares without case; otherwise only the text
//    fields named in `case_ins_fields` do.
struct TClientIndexDef {
  std::string name{};
  std::string fields{};
  std::string desc_fields{};
  std::string case_ins_fields{};
  bool case_insensitive = false;
  bool descending = false;
};

// Receives the result set's notifications. An observer must be removed (RemoveObserver)
// before it is destroyed; when the result set goes first it calls DataSetDestroying and
// forgets its observers.
class TDataSetObserver {
 public:
  virtual ~TDataSetObserver() = default;
  // Opened, closed, or the order changed: everything shown may be stale.
  virtual void DataSetChanged() = 0;
  // The current record moved.
  virtual void RecordChanged() = 0;
  virtual void DataSetDestroying() {}
};

// A field of the result set, read at the current record. A light handle: copy it freely,
// but not beyond the result set's life or across a reopening.
class TClientField {
 public:
  int FieldNo() const { return field_; }  // from 0
  const std::string& FieldName() const;
  TResultFieldKind Kind() const;
  int Size() const;
  bool IsNull() const;
  std::string AsString() const;
  int32_t AsInteger() const;

 private:
  friend class TClientDataSet;
  TClientField(const TClientDataSet& set, int field) : set_(&set), field_(field) {}
  const TClientDataSet* set_;
  int field_;
};

class TClientDataSet {
 public:
  using TScrollEvent = std::function<void(TClientDataSet&)>;

  TClientDataSet() = default;
  ~TClientDataSet();
  TClientDataSet(const TClientDataSet&) = delete;
  TClientDataSet& operator=(const TClientDataSet&) = delete;

  // --- Source and activation -------------------------------------------------------------
  // The source the next Open copies from; not owned, needed only during Open.
  void SetSource(TRowSource* source) { source_ = source; }
  // Stored field definitions: when given, the result set has exactly these fields, in this
  // order, each copied from the source field of the same name (an integer field takes the
  // source's integer reader, a text field its text reader). Empty: the source's own fields.
  // Changing them closes the result set.
  void SetFieldDefs(std::vector<TResultFieldDef> defs);
  const std::vector<TResultFieldDef>& FieldDefs() const { return fields_; }

  // Copies every row of the source and makes the first record (in the current index's order)
  // current; raises the after-scroll event when there is a record. Throws EDataSetError for
  // no source, a stored field the source lacks, or a current index naming an unknown field;
  // any error of the source passes through. On any error the result set stays closed.
  void Open();
  void Close();
  bool Active() const { return active_; }
  void SetActive(bool active) { active ? Open() : Close(); }

  // --- Fields --------------------------------------------------------------------------
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  // Field by number (from 0); throws EDataSetError "Field index out of range." otherwise.
  TClientField Fields(int field) const;
  // Throws EDataSetError "Field '<name>' not found" when there is none.
  TClientField FieldByName(std::string_view name) const;
  // The field's number, or -1.
  int FindField(std::string_view name) const;

  // --- Records and navigation ------------------------------------------------------------
  int RecordCount() const { return active_ ? static_cast<int>(order_.size()) : 0; }
  bool IsEmpty() const { return RecordCount() == 0; }
  // Current record number from 1 in the current order; 0 when there is no record.
  int RecNo() const { return position_ + 1; }
  // Goes to the record numbered `rec_no` (clamped to 1..RecordCount()).
  void SetRecNo(int rec_no);
  void First();
  void Last();
  void Next();
  void Prior();
  // Moves by `distance` records (clamped); returns how many records it moved (signed).
  int MoveBy(int distance);
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }

  void SetBeforeScroll(TScrollEvent handler) { before_scroll_ = std::move(handler); }
  void SetAfterScroll(TScrollEvent handler) { after_scroll_ = std::move(handler); }

  // --- Values at any position, without moving (for views and printing) -------------------
  // `position` counts from 0 in the current order and must be below RecordCount();
  // `field` must be a valid field number. Both are checked (EDataSetError).
  bool IsNullAt(int position, int field) const;
  std::string AsStringAt(int position, int field) const;
  int32_t AsIntegerAt(int position, int field) const;

  // --- Indexes -------------------------------------------------------------------------
  // Adds an index definition. Throws EDataSetError for an empty or duplicate name, an empty
  // field list, or (when open) a field it does not know.
  void AddIndex(const TClientIndexDef& def);
  // Removes the named index; when it was current, the arrival order becomes current.
  // Throws EDataSetError "Index '<name>' not found".
  void DeleteIndex(std::string_view name);
  const std::vector<TClientIndexDef>& IndexDefs() const { return indexes_; }
  // The named index definition, or nullptr.
  const TClientIndexDef* FindIndex(std::string_view name) const;
  // Makes the named index current (empty name: arrival order), keeping the current record.
  // Throws EDataSetError "Index '<name>' not found".
  void SetIndexName(std::string_view name);
  const std::string& IndexName() const { return index_name_; }

  // --- Observers -----------------------------------------------------------------------
  void AddObserver(TDataSetObserver* observer);
  void RemoveObserver(TDataSetObserver* observer);

 private:
  friend class TClientField;

  // One field's values for every row (row = arrival number from 0).
  // Invariant while open: ints.size() == row count for Integer fields; offsets.size() ==
  // row count + 1 for String fields; nulls.size() == row count for both.
  struct TColumn {
    std::vector<int32_t> ints;
    std::vector<uint32_t> offsets;
    std::string chars;
    std::vector<bool> nulls;
  };
  // A row with the first twelve bytes of its leading text key, for sorting (see BuildOrder).
  struct TPrefixedRow {
    uint64_t high;
    uint32_t low;
    uint32_t row;
  };
  struct TSortKey {
    int field;
    bool descending;
    bool no_case;
  };

  uint32_t RowAt(int position, int field) const;  // checks both, returns the row
  std::string_view TextOf(uint32_t row, int field) const;
  std::vector<TSortKey> KeysOf(const TClientIndexDef& def) const;
  void BuildOrder();                              // order_ for the current index over the rows held
  void MoveTo(int position, bool bof, bool eof);  // raises the scroll events
  void NotifyChanged();
  void NotifyRecord();

  TRowSource* source_ = nullptr;
  std::vector<TResultFieldDef> stored_fields_;
  std::vector<TResultFieldDef> fields_;
  std::vector<TColumn> columns_;
  uint32_t row_count_ = 0;
  // order_[position] = row; a permutation of 0..row_count_-1 in the current index's order.
  std::vector<uint32_t> order_;
  // -1 exactly when there is no record (closed or empty).
  int position_ = -1;
  bool bof_ = true;
  bool eof_ = true;
  bool active_ = false;

  std::vector<TClientIndexDef> indexes_;
  std::string index_name_;

  TScrollEvent before_scroll_;
  TScrollEvent after_scroll_;
  std::vector<TDataSetObserver*> observers_;
};

}  // namespace quarry
