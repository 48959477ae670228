// Test support for SELECT execution (header only): an in-memory environment with a session
// and a database directory, small tables made and filled through the cursor, and a helper
// that runs a statement and returns its rows as text ("a|b|NULL") plus its column names.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "engine/platform/memory_environment.h"
#include "engine/sql/query_statement.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/errors/engine_error.h"
#include "engine/storage/files/file_list.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/session.h"

namespace quarry::select_testing {

inline TFieldDefinition Column(int number, const char* name, TFieldType type, int size = 0) {
  TFieldDefinition f;
  f.FieldNo = static_cast<std::uint16_t>(number);
  f.Name = name;
  f.DataType = type;
  f.Size = static_cast<std::uint8_t>(size);
  return f;
}

inline TIndexDefinition IndexOn(const char* name, std::initializer_list<int> fields, bool unique = false) {
  TIndexDefinition index;
  index.Name = name;
  index.Unique = unique;
  for (int f : fields) index.FieldNumbers[index.FieldCount++] = static_cast<std::uint16_t>(f);
  return index;
}

// A value of a row to insert: text for strings, numbers as text for numeric fields; "NULL"
// leaves the field NULL.
using TRowValues = std::vector<std::string>;

// The text of a field value in a record, as the tests compare it.
inline std::string FieldText(const std::uint8_t* record, const TFieldDefinition& f) {
  if (IsFieldNull(record, f)) return "NULL";
  char buffer[64];
  switch (f.DataType) {
  case TFieldType::String: return GetFieldString(record, f);
  case TFieldType::SmallInt: return std::to_string(GetFieldSmallInt(record, f));
  case TFieldType::Word: return std::to_string(GetFieldWord(record, f));
  case TFieldType::Integer:
  case TFieldType::Date:
  case TFieldType::Time: return std::to_string(GetFieldInteger(record, f));
  case TFieldType::LargeInt: return std::to_string(GetFieldLargeInt(record, f));
  case TFieldType::Boolean: return GetFieldBoolean(record, f) ? "True" : "False";
  case TFieldType::Float:
  case TFieldType::TimeStamp: std::snprintf(buffer, sizeof buffer, "%g", GetFieldFloat(record, f)); return buffer;
  default: return "?";
  }
}

class TSelectFixture {
 public:
  TSelectFixture() : List(Env), Session(&List) {
    Env.MakeDirectory("/db");
    Env.MakeDirectory("/tmp");
    Env.MakeDirectory("/work");
    Env.SetCurrentDirectory("/work");
    Database = &Session.OpenDirectory("", "/db");
  }
  ~TSelectFixture() { Session.CloseDirectory(*Database); }

  // Creates a table and inserts the rows (one text per field, in field order); text: the
  // fields of the full-text index, if any.
  void MakeTable(const std::string& name, std::vector<TFieldDefinition> fields, const TIndexDefinition& primary,
                 std::vector<TIndexDefinition> secondaries, const std::vector<TRowValues>& rows,
                 const TIndexDefinition& text = {}) {
    TCreateTableDefinition definition;
    definition.Fields = std::move(fields);
    definition.Primary = primary;
    definition.Secondaries = std::move(secondaries);
    definition.Text = text;
    TDataCursor cursor(*Database);
    cursor.SetTableName(name);
    cursor.CreateTable(definition);
    cursor.Open();
    std::vector<std::uint8_t> record(static_cast<std::size_t>(cursor.RecordBufferSize()));
    for (const TRowValues& row : rows) {
      cursor.InitRecord(record.data());
      for (std::size_t i = 0; i < row.size() && i < cursor.Fields().size(); ++i) {
        const TFieldDefinition& f = cursor.Fields()[i];
        if (row[i] == "NULL") continue;
        std::vector<std::uint8_t> value(256, 0);
        switch (f.DataType) {
        case TFieldType::String: std::copy(row[i].begin(), row[i].end(), value.begin()); break;
        case TFieldType::SmallInt: {
          const auto v = static_cast<std::int16_t>(std::stoi(row[i]));
          std::memcpy(value.data(), &v, sizeof v);
          break;
        }
        case TFieldType::Float: {
          const double v = std::stod(row[i]);
          std::memcpy(value.data(), &v, sizeof v);
          break;
        }
        default: {
          const auto v = static_cast<std::int32_t>(std::stol(row[i]));
          std::memcpy(value.data(), &v, sizeof v);
          break;
        }
        }
        cursor.PutField(static_cast<int>(i + 1), record.data(), value.data());
      }
      cursor.InsertRecord(record.data(), false);
    }
  }

  struct TResult {
    std::vector<std::string> Names;
    std::vector<std::string> Rows;
    std::int32_t RowsAffected = 0;
  };

  // Runs sql and reads every row of its result cursor.
  TResult RunSql(const std::string& sql, std::int32_t maxRows = -1) {
    TQueryStatement statement(Database);
    statement.SetMaxRowCount(maxRows);
    statement.Prepare(sql);
    TDataCursor* cursor = statement.Execute();
    TResult result;
    result.RowsAffected = statement.RowsAffected();
    if (cursor == nullptr) return result;
    for (const TFieldDefinition& f : cursor->Fields())
      if (!f.Internal) result.Names.push_back(f.Name);
    std::vector<std::uint8_t> record(static_cast<std::size_t>(cursor->RecordBufferSize()));
    cursor->Home();
    for (int guard = 0; guard < 1000000 && cursor->Next(record.data()) == 0; ++guard) {
      std::string text;
      for (std::size_t i = 0; i < result.Names.size(); ++i) {
        if (i) text += "|";
        text += FieldText(record.data(), cursor->Fields()[i]);
      }
      result.Rows.push_back(text);
    }
    return result;
  }

  // The message a statement fails with (prepare or execute); empty when it runs.
  std::string FailureOf(const std::string& sql) {
    try {
      RunSql(sql);
    } catch (const EQuarryEngineError& e) {
      return e.what();
    }
    return "";
  }

  TMemoryEnvironment Env;
  TFileList List;
  TDataSession Session;
  TDataDirectory* Database = nullptr;
};

}  // namespace quarry::select_testing
