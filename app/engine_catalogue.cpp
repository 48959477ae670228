// The engine-backed catalogue access (see engine_catalogue.h).
#include "app/engine_catalogue.h"

#include <algorithm>

#include "dbaccess/dataset_row_source.h"
#include "dbaccess/quarry_database.h"
#include "dbaccess/quarry_query.h"
#include "dbaccess/quarry_session.h"
#include "dbaccess/session_list.h"

namespace {

using quarry::TQuarryQuery;

// The statement's lines: the window joins its lines with CR LF; the query joins them again.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      return lines;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
}

// The open search query as a row source; the query stays owned by the catalogue.
class TSearchRows final : public quarry::TRowSource {
 public:
  explicit TSearchRows(TQuarryQuery& query) : rows_(query) {}
  std::vector<quarry::TResultFieldDef> FieldDefs() const override { return rows_.FieldDefs(); }
  void First() override { rows_.First(); }
  void Next() override { rows_.Next(); }
  bool Eof() const override { return rows_.Eof(); }
  bool IsNull(int field) const override { return rows_.IsNull(field); }
  std::string AsString(int field) const override { return rows_.AsString(field); }
  void AppendString(int field, std::string& out) const override { rows_.AppendString(field, out); }
  int32_t AsInteger(int field) const override { return rows_.AsInteger(field); }
  int64_t RowCountHint() const override { return rows_.RowCountHint(); }

 private:
  quarry::TDataSetRowSource rows_;
};

class TEngineCatalogue final : public TCatalogueAccess {
 public:
  TEngineCatalogue(const std::string& directory, const std::string& password) {
    std::string dir = directory;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    QuarryDB.SetDatabaseName("Video");
    QuarryDB.SetSessionName("Default");
    QuarryDB.SetBeforeConnect([dir, password](quarry::TQuarryDatabase& database) {
      quarry::DefaultSession().AddPassword(password);
      database.SetDirectory(dir);
    });
    qryQuarryStatic.SetParamCheck(false);
    qryQuarryStatic.SetMaxRowCount(-1);
    qryQuarryStatic.SetSQL({"Select * from Videos"});
  }

  ~TEngineCatalogue() override {
    try {
      qryQuarryStatic.Close();
      qryQuarryStatic.Unprepare();
      QuarryDB.Close();
    } catch (...) {}
  }

  std::string LookupFirst(const std::string& statement) override {
    Connect();
    auto query = std::make_unique<TQuarryQuery>();
    query->SetDatabaseName(QuarryDB.DatabaseName());
    query->AddSQL(statement);
    query->Open();
    return query->Fields(0).AsString();
  }

  std::vector<std::string> LookupAll(const std::string& statement) override {
    Connect();
    auto query = std::make_unique<TQuarryQuery>();
    query->SetDatabaseName(QuarryDB.DatabaseName());
    query->AddSQL(statement);
    query->Prepare();
    query->Open();
    // Room for every row at once: a name list can hold hundreds of thousands of names, and
    // growing the vector step by step copies them over and over.
    std::vector<std::string> values;
    values.reserve(static_cast<std::size_t>(std::max(0, query->RecordCount())));
    while (!query->Eof()) {
      values.push_back(query->Fields(0).AsString());
      query->Next();
    }
    query->Close();
    query->Unprepare();
    return values;
  }

  std::unique_ptr<quarry::TRowSource> Search(const std::string& statement) override {
    qryQuarryStatic.Close();
    qryQuarryStatic.SetSQL(SplitLines(statement));
    if (!qryQuarryStatic.Prepared()) qryQuarryStatic.Prepare();
    qryQuarryStatic.Open();
    return std::make_unique<TSearchRows>(qryQuarryStatic);
  }

 private:
  // QuarryDB connects on the first lookup rather than on creation: a catalogue that cannot
  // be reached then fails that statement, which the window reports, instead of failing
  // the window's creation.
  void Connect() {
    if (!QuarryDB.Connected()) QuarryDB.Open();
  }

  quarry::TQuarryDatabase QuarryDB;
  TQuarryQuery qryQuarryStatic;
};

}  // namespace

std::unique_ptr<TCatalogueAccess> MakeEngineCatalogue(const std::string& directory, const std::string& password) {
  return std::make_unique<TEngineCatalogue>(directory, password);
}
