// TQuarryTable: a dataset over one table opened directly through an engine cursor, with
// index selection, key searches and ranges over six key buffers, master-detail linking,
// and table creation from field and index definitions.
//
// Key buffers: SetKey / SetRangeStart / SetRangeEnd (and their Edit forms) put the table in
// key-setting state, where field writes go to the chosen buffer instead of the record; only
// fields of the current index may be written ("Field %s is not in the current index.").
// GotoKey / ApplyRange then turn the buffer into an engine search or range.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "dbaccess/quarry_dataset.h"

namespace quarry {

// An index as the table describes it. Fields are names separated by ";".
struct TQuarryIndexDef {
  std::string Name;
  std::string Fields;
  bool Primary = false;
  bool Unique = false;
  bool Descending = false;
  bool CaseInsensitive = false;
};

class TQuarryTable : public TQuarryDBDataSet {
 public:
  explicit TQuarryTable(TQuarryOwner* owner = nullptr, std::string componentName = "");
  ~TQuarryTable() override;

  std::string EngineVersion() const;
  void SetEngineVersion(std::string_view) {}
  const std::string& TableName() const { return tableName_; }
  void SetTableName(std::string_view name);
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool on);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool on);
  // Whether the table exists in the database (asked of the engine directory).
  bool Exists();

  // ---- indexes ----
  const std::string& IndexName() const { return indexName_; }
  void SetIndexName(std::string_view name);
  const std::string& IndexFieldNames() const { return indexFieldNames_; }
  void SetIndexFieldNames(std::string_view names);
  // The table's indexes (read from the open cursor, or as given for CreateTable).
  std::vector<TQuarryIndexDef> IndexDefs();
  // Field numbers (dataset field indexes) of the current index's key fields.
  std::vector<int> IndexFields();

  // ---- key searches and ranges ----
  void SetKey();
  void EditKey();
  bool GotoKey();
  void GotoNearest();
  bool FindKey(const std::vector<TDataValue>& values);
  void FindNearest(const std::vector<TDataValue>& values);
  void SetRangeStart();
  void SetRangeEnd();
  void EditRangeStart();
  void EditRangeEnd();
  void ApplyRange();
  void CancelRange();
  void SetRange(const std::vector<TDataValue>& start, const std::vector<TDataValue>& end);
  // Number of leading key fields the current key buffer has been given.
  int KeyFieldCount() const;
  void SetKeyFieldCount(int count);

  // ---- master-detail ----
  TQuarryDataSet* MasterSource() const { return master_; }
  // "Circular data links are not allowed." when the master follows this table.
  void SetMasterSource(TQuarryDataSet* master);
  const std::string& MasterFields() const { return masterFields_; }
  void SetMasterFields(std::string_view fields);

  // ---- creation ----
  std::vector<TQuarryFieldDef>& FieldDefs() { return createFields_; }
  std::vector<TQuarryIndexDef>& CreateIndexDefs() { return createIndexes_; }
  // Creates the table from FieldDefs() and CreateIndexDefs() (the index flagged Primary, or
  // none, is the primary index). The table must be closed.
  void CreateTable();

 protected:
  TDataCursor* CreateCursor() override;
  void DestroyCursor() override;
  TDataCursor* GetLookupCursor(const std::vector<int>& fieldNos, bool caseInsensitive) override;
  void DropLookupCursor() override;
  std::uint8_t* KeyRecord() override;
  void KeyFieldWritten(TQuarryField& field) override;
  TQuarryDataSet* LinkSource() const override { return master_; }
  void InitNewRecord() override;
  void OpenedHook() override { MasterChanged(); }

 private:
  enum TKeyIndex { kiLookup, kiRangeStart, kiRangeEnd, kiCurRangeStart, kiCurRangeEnd, kiSave, kiCount };
  struct TKeyBuffer {
    bool Modified = false;
    int FieldCount = 0;
    std::vector<std::uint8_t> Record;
  };
  void RequireClosed() const;
  void BeginKey(TKeyIndex which, bool clear);
  void EndKey();
  void ClearKeys();
  void SwitchIndex();
  void SelectIndex(TDataCursor& cursor);
  void MasterChanged();
  void FillKey(TKeyBuffer& buffer, const std::vector<TDataValue>& values);
  bool SearchKey(bool nearest);
  // Makes the engine index definition for an index definition (at most 16 fields).
  TIndexDefinition EngineIndex(const TQuarryIndexDef& def, const std::vector<TFieldDefinition>& fields) const;

  std::string tableName_;
  bool exclusive_ = false;
  bool readOnly_ = false;
  std::string indexName_;
  std::string indexFieldNames_;
  std::array<TKeyBuffer, kiCount> keys_;
  TKeyIndex keyIndex_ = kiLookup;
  TDataSetState keyReturnState_ = TDataSetState::dsBrowse;
  bool rangeApplied_ = false;
  std::unique_ptr<TDataCursor> lookupCursor_;

  TQuarryDataSet* master_ = nullptr;
  std::string masterFields_;
  std::function<void()> masterLink_;

  std::vector<TQuarryFieldDef> createFields_;
  std::vector<TQuarryIndexDef> createIndexes_;
};

}  // namespace quarry
