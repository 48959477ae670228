// Test support for the expression tests (header only, used by the *_test.cpp files of
// this folder): a small table with one field of most types and one record, and helpers
// that run text through parse, type check, preparation and evaluation, returning the
// result as text or the error's code and detail.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/sql/expression_error.h"
#include "engine/sql/expression_evaluator.h"
#include "engine/sql/expression_parser.h"
#include "engine/sql/expression_preparer.h"
#include "engine/sql/type_checker.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/errors/engine_error.h"
#include "engine/values/date_time_text.h"
#include "engine/values/value_ops.h"

namespace quarry::testing_support {

// One line per node: the tree as nested calls, e.g. AND(=(col:A,int:1),col:B).
inline std::string Render(const TExpToken* n) {
  if (n == nullptr) return "-";
  auto args = [&]() {
    std::string s;
    for (std::size_t i = 0; i < n->Args.size(); ++i) s += (i ? "," : "") + Render(n->Args[i]);
    return s;
  };
  switch (n->NodeClass) {
  case nc::Column: return "col:" + n->Text;
  case nc::Constant: {
    if (n->IsParam) return "param";
    std::string tag;
    switch (n->DataType) {
    case vt::Unknown: return "null";
    case vt::String: tag = "str"; break;
    case vt::Integer: tag = "int"; break;
    case vt::LargeInt: tag = "big"; break;
    case vt::Float: tag = "float"; break;
    case vt::Boolean: tag = "bool"; break;
    case vt::Date: tag = "date"; break;
    case vt::Time: tag = "time"; break;
    case vt::Timestamp: tag = "ts"; break;
    default: tag = "t" + std::to_string(n->DataType); break;
    }
    return tag + ":" + (n->IsNull ? std::string("NULL") : ValueAsText(*n));
  }
  case nc::Unary: return n->Text + "(" + Render(n->Left) + ")";
  case nc::Binary:
  case nc::PartialCompare:
    return (n->NodeClass == nc::PartialCompare ? "partial" : "") + n->Text + "(" + Render(n->Left) + "," +
           Render(n->Right) + ")";
  case nc::SubSelect: return "subselect";
  case nc::Predicate: return n->Text + "(" + args() + ")";
  case nc::Function: return UpperAscii(n->Text) + "#" + std::to_string(n->OpCode) + "(" + args() + ")";
  default: return "?";
  }
}

struct TField {
  const char* Name;
  TFieldType Type;
  uint8_t SubType;
  uint8_t Size;
  uint8_t Scale;
};

// A table of every value type the expressions handle, and one record of it.
class TExprTable {
 public:
  TExprTable() {
    const TField columns[] = {
        {"NAME", TFieldType::String, 0, 20, 0},
        {"AGE", TFieldType::Integer, 0, 0, 0},
        {"ACTIVE", TFieldType::Boolean, 0, 0, 0},
        {"BORN", TFieldType::Date, 0, 0, 0},
        {"WAKE", TFieldType::Time, 0, 0, 0},
        {"SEEN", TFieldType::TimeStamp, 0, 0, 0},
        {"PRICE", TFieldType::Float, subtype::Money, 0, 0},
        {"AMOUNT", TFieldType::Bcd, 0, 0, 2},
        {"SMALL", TFieldType::SmallInt, 0, 0, 0},
        {"COUNTER", TFieldType::Word, 0, 0, 0},
        {"BIG", TFieldType::LargeInt, 0, 0, 0},
        {"NOTES", TFieldType::Blob, subtype::Memo, 0, 0},
        {"DATA", TFieldType::Bytes, 0, 4, 0},
        {"EMPTY", TFieldType::String, 0, 10, 0},
        {"ID", TFieldType::Integer, subtype::AutoInc, 0, 0},
        {"PICTURE", TFieldType::Blob, subtype::Graphic, 0, 0},
        {"NOTHING", TFieldType::Integer, 0, 0, 0},
        {"FLAG", TFieldType::Boolean, 0, 0, 0},
        {"RATING", TFieldType::String, 0, 5, 0},
    };
    uint16_t no = 1;
    for (const auto& f : columns) {
      TFieldDefinition d;
      d.FieldNo = no++;
      d.Name = f.Name;
      d.DataType = f.Type;
      d.SubType = f.SubType;
      d.Size = f.Size;
      d.Scale = f.Scale;
      d.ScaleCopy = f.Scale;
      Fields.push_back(d);
    }
    const int size = AssignFieldOffsets(Fields.data(), static_cast<int>(Fields.size()));
    Record.assign(static_cast<std::size_t>(size), 0);
    uint8_t* r = Record.data();
    SetRecordLink(r, 1);
    SetFieldString(r, Field("NAME"), "Smith");
    SetFieldInteger(r, Field("AGE"), 42);
    SetFieldBoolean(r, Field("ACTIVE"), true);
    int32_t day = 0;
    ParseDateText("1999-12-31", day);
    SetFieldInteger(r, Field("BORN"), day);
    SetFieldInteger(r, Field("WAKE"), (7 * 3600 + 30 * 60) * 1000);
    double ts = 0;
    ParseTimestampText("2004-01-04 10:15:30", ts);
    SetFieldFloat(r, Field("SEEN"), ts);
    SetFieldFloat(r, Field("PRICE"), 9.5);
    SetFieldBcd(r, Field("AMOUNT"), 123450);  // 12.345 stored with scale 2 -> 12.35
    SetFieldSmallInt(r, Field("SMALL"), -7);
    SetFieldWord(r, Field("COUNTER"), 65535);
    SetFieldLargeInt(r, Field("BIG"), 5000000000LL);
    SetFieldBlob(r, Field("NOTES"), {3, 1});
    SetFieldBytes(r, Field("DATA"), std::string("\x01\x02\x03\x04", 4));
    SetRecordIdentifier(r, 77);
    SetFieldBlob(r, Field("PICTURE"), {9, 1});
    SetFieldBoolean(r, Field("FLAG"), false);
    SetFieldString(r, Field("RATING"), "PG");
    Source = std::make_unique<TRecordColumnSource>(
        Fields, "T", [](const TFieldDefinition& f, const uint8_t*, std::string& contents) {
          contents = f.Name == "NOTES" ? "Memo text" : std::string("\x89PNG", 4);
          return true;
        });
  }

  const TFieldDefinition& Field(const std::string& name) const {
    for (const auto& f : Fields)
      if (f.Name == name) return f;
    throw std::runtime_error("no field " + name);
  }

  std::vector<TFieldDefinition> Fields;
  std::vector<uint8_t> Record;
  std::unique_ptr<TRecordColumnSource> Source;
};

struct TRunOptions {
  bool Filter = true;  // code QUARRY_INVALIDFILTER, "filter expression", flags 4
  uint8_t Flags = pf::Predicates;
  bool StringsMayBeColumns = true;
  bool RewriteBooleanColumns = true;
  bool NoPartialCompare = false;
  bool CaseInsensitive = false;
  uint16_t Language = 0;
};

inline TRunOptions SqlWhere() {
  TRunOptions o;
  o.Filter = false;
  o.Flags = pf::Predicates | pf::Parameters;
  o.NoPartialCompare = true;
  return o;
}

inline TExpTree ParseText(const std::string& text, const TRunOptions& o, TExpressionOwner* owner = nullptr) {
  TExpressionParser parser(owner);
  parser.ErrorCode = o.Filter ? kFilterErrorCode : kSqlErrorCode;
  parser.ErrorTableName = o.Filter ? "T" : "";
  parser.ContextName = o.Filter ? "filter expression" : "WHERE or JOIN clause";
  parser.SetText(text);
  parser.NextToken();
  return parser.ParseExpression(o.Flags);
}

inline TExpTree CheckText(TExprTable& table, const std::string& text, const TRunOptions& o) {
  TExpTree tree = ParseText(text, o);
  TCheckOptions check;
  check.ErrorCode = o.Filter ? kFilterErrorCode : kSqlErrorCode;
  check.TableName = o.Filter ? "T" : "";
  check.StringsMayBeColumns = o.StringsMayBeColumns;
  check.RewriteBooleanColumns = o.RewriteBooleanColumns;
  check.Resolver = table.Source.get();
  check.Context = o.Filter ? "filter expression" : "WHERE or JOIN clause";
  CheckExpression(check, tree);
  return tree;
}

inline TExpTree PrepareText(TExprTable& table, const std::string& text, const TRunOptions& o) {
  TExpTree checked = CheckText(table, text, o);
  return PrepareExpression(*checked, {.Provider = table.Source.get(),
                                      .NoPartialCompare = o.NoPartialCompare,
                                      .CaseInsensitive = o.CaseInsensitive,
                                      .Language = o.Language});
}

inline TExpTree EvalNode(TExprTable& table, const std::string& text, const TRunOptions& o) {
  TExpTree prepared = PrepareText(table, text, o);
  return EvaluateExpression(*prepared, table.Record.data(), nullptr, o.Language, 0, table.Source.get());
}

// The value as text, "NULL", or "error <code>: <detail>".
inline std::string EvalText(TExprTable& table, const std::string& text, const TRunOptions& o) {
  try {
    TExpTree v = EvalNode(table, text, o);
    return v->IsNull ? "NULL" : ValueAsText(*v);
  } catch (const EQuarryEngineError& e) {
    return "error " + std::to_string(e.Code()) + ": " + e.Detail();
  }
}

// The detail of the error raised while parsing and checking, or "" when none is raised.
inline std::string CheckError(TExprTable& table, const std::string& text, const TRunOptions& o, int* code = nullptr) {
  try {
    CheckText(table, text, o);
  } catch (const EQuarryEngineError& e) {
    if (code) *code = e.Code();
    return e.Detail();
  }
  return "";
}

}  // namespace quarry::testing_support
