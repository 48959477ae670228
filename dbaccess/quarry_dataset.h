// TQuarryDataSet and TQuarryDBDataSet: the rows-and-fields face of an engine cursor.
//
// A dataset drives one engine cursor (TDataCursor): the table dataset opens a table, the
// query dataset reads the cursor its statement returns. It offers the dataset contract the
// application, the in-memory result set and the print component rely on: open and close,
// fields by number and name, First/Next/Prior/Last with Bof/Eof, record count and number,
// before- and after-scroll events, filters, locate and lookup, bookmarks, editing, and BLOB
// streams.
//
// Position model: the dataset shows one current record (its image in `record_`). Next on the
// last record sets Eof and keeps that record current; Prior on the first sets Bof. An open
// dataset without records has Bof and Eof set, and its fields read as null (empty text, 0).
// The engine cursor is kept on the current record, so the next move starts from it.
//
// Every engine call runs under the session's engine lock (TSessionLock). Navigation codes
// QUARRY_BOF/QUARRY_EOF end a walk quietly; any other engine code is raised as EQuarryEngineError.
//
// Threads: a dataset and its cursor are used by one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "dbaccess/access_component.h"
#include "engine/storage/cursor/data_cursor.h"

namespace quarry {

class TQuarryDatabase;
class TQuarryDataSet;
class TQuarrySession;
class TQuarryBlobStream;
class TRecordSearch;

enum class TDataSetState {
  dsInactive,
  dsBrowse,
  dsEdit,
  dsInsert,
  dsSetKey,
  dsCalcFields,
  dsFilter,
  dsNewValue,
  dsBlockRead
};

// Field types of the dataset contract (mapped from engine type codes when a cursor opens).
enum class TDataFieldType {
  ftUnknown,
  ftString,
  ftFixedChar,
  ftDate,
  ftMemo,
  ftBlob,
  ftFmtMemo,
  ftGraphic,
  ftTypedBinary,
  ftBoolean,
  ftSmallint,
  ftInteger,
  ftAutoInc,
  ftFloat,
  ftCurrency,
  ftBCD,
  ftBytes,
  ftTime,
  ftDateTime,
  ftWord,
  ftVarBytes,
  ftLargeint,
  ftADT,
  ftArray,
  ftReference,
  ftDataSet
};

// Memo, binary and graphic types: their values live in the table's BLOB file.
bool IsBlobType(TDataFieldType type);

// A value handed to or returned by locate, lookup, parameters and field writes.
// monostate is null.
using TDataValue = std::variant<std::monostate, std::int64_t, double, bool, std::string>;
bool IsNullValue(const TDataValue& value);
std::string ValueText(const TDataValue& value);

struct TQuarryFieldDef {
  std::string Name;
  TDataFieldType DataType = TDataFieldType::ftUnknown;
  int Size = 0;
  int Precision = 0;
  bool Required = false;
  int FieldNo = 0;       // the engine field number (from 1)
  std::string Origin{};  // the engine field's description of where it came from
  std::string DisplayLabel{};
};

// A field's value in a record image (record_buffer.h encoding), and the value stored there.
TDataValue DecodeFieldValue(const std::uint8_t* record, const TFieldDefinition& def);
void EncodeFieldValue(std::uint8_t* record, const TFieldDefinition& def, const TDataValue& value);

// The field type for an engine type code and subtype; ftUnknown means "no field".
TDataFieldType MapEngineFieldType(std::uint8_t type, std::uint8_t subType);

// A field of an open dataset, read and written at the current record. Owned by the dataset
// from open to close.
class TQuarryField {
 public:
  TQuarryField(TQuarryDataSet& dataSet, TQuarryFieldDef def, int index);

  const std::string& FieldName() const { return def_.Name; }
  int Index() const { return index_; }  // from 0, in dataset order
  int FieldNo() const { return def_.FieldNo; }
  TDataFieldType DataType() const { return def_.DataType; }
  int Size() const { return def_.Size; }
  bool Required() const { return def_.Required; }
  const std::string& Origin() const { return def_.Origin; }
  const std::string& DisplayLabel() const { return def_.DisplayLabel.empty() ? def_.Name : def_.DisplayLabel; }
  void SetDisplayLabel(std::string label) { def_.DisplayLabel = std::move(label); }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
  bool IsBlob() const;
  const TQuarryFieldDef& Def() const { return def_; }

  // Reading: a null field gives no value (empty text, 0, false).
  bool IsNull() const;
  std::string AsString() const;
  std::int32_t AsInteger() const;
  std::int64_t AsLargeInt() const;
  double AsFloat() const;
  bool AsBoolean() const;
  TDataValue Value() const;

  // Writing: only in edit or insert state ("Table is not in edit or insert mode."), not to a
  // read-only field ("Field %s cannot be modified.").
  void SetAsString(std::string_view text);
  void SetAsInteger(std::int64_t value);
  void SetAsFloat(double value);
  void SetAsBoolean(bool value);
  void SetValue(const TDataValue& value);
  void Clear();

 private:
  friend class TQuarryDataSet;
  friend class TQuarryBlobStream;
  const TFieldDefinition& Engine() const;
  TQuarryDataSet& dataSet_;
  TQuarryFieldDef def_;
  int index_;
  bool readOnly_ = false;
};

struct TLocateOptions {
  bool CaseInsensitive = false;
  bool PartialKey = false;
};

struct TFilterSettings {
  bool CaseInsensitive = false;
  bool NoPartialCompare = false;
};

class TQuarryDataSet : public TQuarryComponent {
 public:
  using TDataSetEvent = std::function<void(TQuarryDataSet&)>;
  using TFilterRecordEvent = std::function<void(TQuarryDataSet&, bool& accept)>;

  explicit TQuarryDataSet(TQuarryOwner* owner = nullptr, std::string componentName = "");
  ~TQuarryDataSet() override;

  // ---- activation ----
  bool Active() const { return state_ != TDataSetState::dsInactive; }
  void SetActive(bool active) { active ? Open() : Close(); }
  void Open();
  void Close();
  TDataSetState State() const { return state_; }

  bool AutoDisplayLabels() const { return autoDisplayLabels_; }
  void SetAutoDisplayLabels(bool on) { autoDisplayLabels_ = on; }
  bool CopyOnAppend() const { return copyOnAppend_; }
  void SetCopyOnAppend(bool on) { copyOnAppend_ = on; }

  // ---- fields ----
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  // "Field index out of range." outside 0..FieldCount()-1.
  TQuarryField& Fields(int index);
  // Appends Fields(index).AsString() to out; the string field of a browsed record is
  // appended straight from the record image, without a string of its own.
  void AppendFieldText(int index, std::string& out) const;
  // "Field '%s' not found".
  TQuarryField& FieldByName(std::string_view name);
  TQuarryField* FindField(std::string_view name);
  std::vector<TQuarryFieldDef> FieldDefList() const;

  // ---- navigation ----
  void First();
  void Last();
  void Next();
  void Prior();
  // Moves by distance records; returns how many it moved.
  int MoveBy(int distance);
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  bool IsEmpty() const { return !hasRecord_; }
  std::int32_t RecordCount();
  // 1-based position of the current record (0 when none).
  std::int32_t RecNo();
  void SetRecNo(std::int32_t recNo);
  void SetBeforeScroll(TDataSetEvent handler) { beforeScroll_ = std::move(handler); }
  void SetAfterScroll(TDataSetEvent handler) { afterScroll_ = std::move(handler); }
  void SetAfterOpen(TDataSetEvent handler) { afterOpen_ = std::move(handler); }
  // Re-reads the current record (the cursor's Refresh).
  void Refresh();

  // ---- bookmarks ----
  TBookmark GetBookmark();
  void GotoBookmark(const TBookmark& bookmark);
  bool BookmarkValid(const TBookmark& bookmark);
  // An absent (empty) bookmark orders after a present one; two absent ones are equal.
  int CompareBookmarks(const TBookmark& a, const TBookmark& b);

  // ---- filters ----
  const std::string& Filter() const { return filterText_; }
  void SetFilter(std::string_view text);
  bool Filtered() const { return filtered_; }
  void SetFiltered(bool on);
  const TFilterSettings& FilterOptions() const { return filterOptions_; }
  void SetFilterOptions(TFilterSettings options);
  void SetOnFilterRecord(TFilterRecordEvent handler);
  // Position with the filters in force even when not filtered.
  bool FindFirst();
  bool FindLast();
  bool FindNext();
  bool FindPrior();

  // ---- locate and lookup ----
  // keyFields: names separated by ";"; one value per field.
  bool Locate(std::string_view keyFields, const std::vector<TDataValue>& values, TLocateOptions options = {});
  // The resultFields (";"-separated) of the first matching record, or an empty vector when
  // none matches; the position does not change.
  std::vector<TDataValue> Lookup(std::string_view keyFields, const std::vector<TDataValue>& values,
                                 std::string_view resultFields);

  // ---- editing ----
  bool CanModify() const { return canModify_; }
  void Edit();
  void Insert();
  void Append() { Insert(); }
  void Post();
  void Cancel();
  void Delete();

  // ---- links ----
  // Datasets (details, queries) to tell when this one moves, opens or closes. The link must
  // be removed before it is destroyed.
  void AddLink(std::function<void()>* link);
  void RemoveLink(std::function<void()>* link);

  // ---- engine access ----
  // The open cursor (null while closed).
  TDataCursor* Cursor() const { return cursor_; }
  TQuarrySession& Session();
  // The record image the fields read (RecordBufferSize bytes while open).
  const std::vector<std::uint8_t>& RecordImage() const { return record_; }

 protected:
  // Makes and opens the engine cursor; null is "Error creating table handle.". The dataset
  // owns it unless OwnsCursor() is false (a query's result belongs to its statement).
  virtual TDataCursor* CreateCursor() = 0;
  virtual void DestroyCursor();
  virtual bool OwnsCursor() const { return true; }
  virtual void DropLookupCursor() {}
  // A second cursor on an index whose leading fields are these dataset fields (tables only);
  // owned by the dataset until DropLookupCursor.
  virtual TDataCursor* GetLookupCursor(const std::vector<int>& /*fields*/, bool /*caseInsensitive*/) { return nullptr; }
  virtual void AfterCursorOpen() {}
  // Runs once the dataset is open and positioned, before the after-open event.
  virtual void OpenedHook() {}
  virtual void ApplyDisplayLabels();
  virtual void ApplyFieldOrigins();
  // Closing at the request of the database (a query also unprepares).
  virtual void CloseByDatabase() { Close(); }
  virtual void SetDatabaseUse(bool /*on*/) {}
  virtual TQuarrySession& LockSession() = 0;
  // Hook for subclasses: a new record's fields (master values for a detail table).
  virtual void InitNewRecord() {}
  // Key-setting state: the record image field writes go to, and reads come from (tables).
  virtual std::uint8_t* KeyRecord() { return nullptr; }
  virtual void KeyFieldWritten(TQuarryField& /*field*/) {}
  // The dataset this one follows (master source or data source), for cycle checks.
  virtual TQuarryDataSet* LinkSource() const { return nullptr; }
  // Fails with "Circular data links are not allowed." when following source would loop.
  void CheckLinkCycle(TQuarryDataSet* source) const;
  // Stores a value into a record image in the storage form of the field at index.
  void EncodeInto(std::uint8_t* record, int index, const TDataValue& value);
  TDataValue DecodeFrom(const std::uint8_t* record, int index) const;
  const TFieldDefinition& EngineField(int index) const;
  // Moves to the first record and raises the scroll events (after order or range changes).
  void Resync() { First(); }
  // A dataset whose records moved (masters notify their details and queries).
  void NotifyLinks();
  // Rebuilds field definitions and fields from the cursor.
  void BindFields();
  void ReadCurrent();
  void RequireActive() const;
  void RequireBrowse();
  void SetState(TDataSetState state) { state_ = state; }
  std::unique_ptr<TDataCursor>& OwnedCursor() { return ownedCursor_; }
  void SetCanModify(bool on) { canModify_ = on; }

 private:
  friend class TQuarryField;
  friend class TQuarryBlobStream;
  void ResetPosition();
  // Takes a record the cursor just read (or none); keeps the position flags.
  void TakeRecord(bool found);
  TEngineErrorCode CheckCode(TEngineErrorCode code);
  void Scroll(const std::function<void()>& move);
  void ResyncCursor();
  void InstallFilters();
  void RemoveFilters();
  std::vector<int> FieldIndexes(std::string_view names);
  TDataValue ReadField(int index) const;
  // Whether ReadField(index) would give no value; for the plain fields of a browsed record
  // it reads the null flag alone, without making the value.
  bool FieldIsNull(int index) const;
  void WriteField(int index, const TDataValue& value);
  // The search of Locate and Lookup over this dataset's cursor (record_search.h).
  TRecordSearch RecordSearch();

  TDataSetState state_ = TDataSetState::dsInactive;
  bool autoDisplayLabels_ = false;
  bool copyOnAppend_ = false;
  bool canModify_ = false;

  TDataCursor* cursor_ = nullptr;
  std::unique_ptr<TDataCursor> ownedCursor_;
  std::vector<TQuarryFieldDef> fieldDefs_;
  std::vector<std::unique_ptr<TQuarryField>> fields_;
  std::vector<int> engineIndex_;  // dataset field index -> position in cursor->Fields()

  std::vector<std::uint8_t> record_;
  std::vector<std::uint8_t> editCopy_;
  std::vector<std::uint8_t> scratch_;  // the record a move reads before it is taken
  TBookmark bookmark_;
  bool hasRecord_ = false;
  bool bof_ = true;
  bool eof_ = true;

  std::string filterText_;
  bool filtered_ = false;
  TFilterSettings filterOptions_;
  TFilterRecordEvent onFilterRecord_;
  TFilter* textFilter_ = nullptr;
  TFilter* recordFilter_ = nullptr;

  TDataSetEvent beforeScroll_;
  TDataSetEvent afterScroll_;
  TDataSetEvent afterOpen_;
  std::vector<std::function<void()>*> links_;
  bool FindMove(int move);
};

// A dataset tied to a database of a session by name.
class TQuarryDBDataSet : public TQuarryDataSet {
 public:
  explicit TQuarryDBDataSet(TQuarryOwner* owner = nullptr, std::string componentName = "");
  ~TQuarryDBDataSet() override;

  const std::string& DatabaseName() const { return databaseName_; }
  // "Cannot perform this operation on an open database." while the database use is open.
  virtual void SetDatabaseName(std::string_view name);
  const std::string& SessionName() const { return sessionName_; }
  void SetSessionName(std::string_view name);
  // The database in use (null while the dataset holds none).
  TQuarryDatabase* Database() const { return database_; }
  TQuarrySession& DBSession();

  void OwnerSessionNamed(const std::string& sessionName) override;

 protected:
  friend class TQuarryDatabase;
  // Marks the use of the database (open, prepared): the first mark opens it through the
  // session, clearing the last one closes it there.
  enum TDatabaseUse : int { duOpen = 1, duPrepared = 2 };
  void SetDatabaseUse(bool on) override { SetDatabaseFlag(duOpen, on); }
  void SetDatabaseFlag(int flag, bool on);
  TQuarrySession& LockSession() override { return DBSession(); }
  // The engine directory of the database in use (opening it when needed).
  TDataDirectory& Directory();
  // The password callback handed to every cursor and statement this dataset opens.
  TPasswordCallback PasswordCallback();

 private:
  std::string databaseName_;
  std::string sessionName_;
  TQuarryDatabase* database_ = nullptr;
  int databaseFlags_ = 0;
};

}  // namespace quarry
