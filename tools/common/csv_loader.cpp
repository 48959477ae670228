// Loading CSV files into tables; see csv_loader.h.
#include "tools/common/csv_loader.h"

#include <fstream>
#include <sstream>

#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/errors/engine_error.h"
#include "engine/storage/table/session.h"

namespace quarry::tools {

namespace {

TIndexDefinition OneFieldIndex(const std::string& name, int fieldNo, bool unique) {
  TIndexDefinition index;
  index.Name = name;
  index.Unique = unique;
  index.FieldCount = 1;
  index.FieldNumbers[0] = static_cast<std::uint16_t>(fieldNo);
  return index;
}

TCreateTableDefinition TableDefinition(const TCsvTablePlan& plan, const TCsvLoadOptions& options) {
  TCreateTableDefinition definition;
  definition.Fields = plan.Fields;
  if (plan.PrimaryField != 0) definition.Primary = OneFieldIndex("", plan.PrimaryField, true);
  for (int fieldNo : plan.IndexFields)
    definition.Secondaries.push_back(OneFieldIndex(plan.Fields[fieldNo - 1].Name, fieldNo, false));
  if (!options.Password.empty()) {
    definition.Encrypted = true;
    definition.Password = options.Password;
  }
  return definition;
}

std::string FieldContext(const TFieldDefinition& field) {
  return "field " + std::to_string(field.FieldNo) + " (" + field.Name + "): ";
}

// Checks every value before anything is created, so a bad one leaves no table behind.
void CheckValues(const std::vector<TCsvRecord>& records, const TCsvTablePlan& plan) {
  TExpToken value;
  std::string reason;
  for (std::size_t r = 1; r < records.size(); ++r) {
    for (const auto& field : plan.Fields) {
      const std::string& text = records[r].Fields[field.FieldNo - 1];
      if (!text.empty() && !ConvertCsvValue(field, text, value, reason))
        throw ECsvError(records[r].Line, FieldContext(field) + reason);
    }
  }
}

// Drops the table when the load does not finish.
class TUnfinishedTable {
 public:
  TUnfinishedTable(TDataDirectory& directory, std::string name, bool inMemory)
      : directory_(directory), name_(std::move(name)), inMemory_(inMemory) {}
  ~TUnfinishedTable() {
    if (finished_) return;
    try {
      directory_.DeleteTable(name_, inMemory_);
    } catch (const std::exception&) {
      // The load's own error is the one to report.
    }
  }
  void Finish() { finished_ = true; }

 private:
  TDataDirectory& directory_;
  std::string name_;
  bool inMemory_;
  bool finished_ = false;
};

// Holds the directory's transaction for the load: inserts stay in the table's caches and a
// commit every kRowsPerCommit rows writes the pages touched, instead of writing them after
// every row. (Batches stay small because the caches keep dirty records until a commit.) A
// load inside the caller's own transaction joins it and leaves the commits to the caller.
constexpr int kRowsPerCommit = 1000;

class TLoadTransaction {
 public:
  explicit TLoadTransaction(TDataDirectory& directory) : directory_(directory), own_(!directory.InTransaction()) {
    if (own_) directory_.StartTransaction();
  }
  ~TLoadTransaction() {
    if (!own_ || committed_) return;
    try {
      directory_.Rollback();
    } catch (const std::exception&) {
      // The load's own error is the one to report.
    }
  }
  // Writes what the rows so far changed and stays in the transaction.
  void RowDone() {
    if (own_ && ++rows_ % kRowsPerCommit == 0) directory_.Commit(false);
  }
  void Commit() {
    if (own_) directory_.Commit();
    committed_ = true;
  }

 private:
  TDataDirectory& directory_;
  bool own_;
  bool committed_ = false;
  std::int64_t rows_ = 0;
};

}  // namespace

std::int64_t LoadCsvText(TDataDirectory& directory, const TCsvLoadOptions& options, std::string_view csvText) {
  const std::vector<TCsvRecord> records = ReadAllCsv(csvText);
  const TCsvTablePlan plan = PlanCsvTable(records, options);
  CheckValues(records, plan);

  {
    TDataCursor creator(directory);
    creator.SetTableName(options.Table);
    creator.SetInMemory(directory.InMemory());
    creator.CreateTable(TableDefinition(plan, options));
  }
  TUnfinishedTable unfinished(directory, options.Table, directory.InMemory());

  std::int64_t loaded = 0;
  {
    TDataCursor cursor(directory);
    cursor.SetTableName(options.Table);
    cursor.SetInMemory(directory.InMemory());
    cursor.SetExclusive(true);
    if (!options.Password.empty()) directory.Session().AddPassword(options.Password);
    cursor.Open();
    TLoadTransaction transaction(directory);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(cursor.RecordBufferSize()));
    TExpToken value;
    std::string reason;
    for (std::size_t r = 1; r < records.size(); ++r) {
      cursor.InitRecord(buffer.data());
      for (const auto& field : plan.Fields) {
        const std::string& text = records[r].Fields[field.FieldNo - 1];
        if (text.empty()) continue;  // InitRecord left it null
        ConvertCsvValue(field, text, value, reason);
        cursor.PutField(field.FieldNo, buffer.data(), value.Value.data());
      }
      try {
        cursor.InsertRecord(buffer.data(), false);
      } catch (const EDatabaseError& error) {
        throw ECsvError(records[r].Line, error.what());
      }
      ++loaded;
      transaction.RowDone();
    }
    transaction.Commit();
    cursor.Close();
  }
  unfinished.Finish();
  return loaded;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ECsvLoadError("cannot read " + path);
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw ECsvLoadError("cannot read " + path);
  return text.str();
}

std::int64_t LoadCsvFile(TDataDirectory& directory, const TCsvLoadOptions& options, const std::string& path) {
  const std::string text = ReadWholeFile(path);
  try {
    return LoadCsvText(directory, options, text);
  } catch (const ECsvError& error) {
    throw ECsvError(error.Line(), error.Reason(), path);
  }
}

}  // namespace quarry::tools
