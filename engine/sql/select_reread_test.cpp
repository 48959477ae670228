// A join and an IN sub-select run again after another session or another process changed
// their tables. Between statements a table keeps its cached records and index pages (also
// while it is idle, kept open), and a statement lets the caches grow: what another user
// wrote meanwhile must replace them, for a statement prepared once and executed again (its
// tables stay open) as for a new statement (its tables were idle). The tables hold more
// records than the record cache's own limit, and the joined rows are spread over them, so
// that a stale record or page would show in the rows.
//
// Children are forked before the parent opens any table file: an open file description
// shared across fork would share its locks too.
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/sql/query_statement.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/process_test_util.h"
#include "engine/storage/table/session.h"

namespace quarry {
namespace {

using testing::Join;
using testing::Spawn;
using testing::TChannel;

constexpr int kFilms = 600;

// One session on the folder.
struct TFolder {
  explicit TFolder(const std::string& path) : database(session.OpenDirectory("", path)) {
    session.Settings().LockRetryCount = 50;
    session.Settings().LockWaitTime = 20;
  }
  void Run(const std::string& sql) {
    TQueryStatement statement(&database);
    statement.Prepare(sql);
    statement.Execute();
  }
  TDataSession session;
  TDataDirectory& database;
};

// The rows of a result cursor as "ID|TITLE".
std::vector<std::string> Rows(TDataCursor* cursor) {
  std::vector<std::string> rows;
  if (cursor == nullptr) return rows;
  const TFieldDefinition& id = cursor->Fields()[0];
  const TFieldDefinition& title = cursor->Fields()[1];
  std::vector<std::uint8_t> record(static_cast<std::size_t>(cursor->RecordBufferSize()));
  cursor->Home();
  while (cursor->Next(record.data()) == QUARRY_NONE)
    rows.push_back(std::to_string(GetFieldInteger(record.data(), id)) + "|" + GetFieldString(record.data(), title));
  return rows;
}

// What the tables hold, kept beside them: the rows the statements must give.
struct TModel {
  std::map<int, std::string> titles;    // V: ID -> TITLE
  std::set<std::pair<int, int>> links;  // L: (VID, CID)
  std::vector<std::string> Expected() const {
    std::vector<std::pair<std::string, int>> found;
    for (const auto& [id, title] : titles)
      if (links.count({id, 1})) found.emplace_back(title, id);
    std::sort(found.begin(), found.end());
    std::vector<std::string> rows;
    for (const auto& [title, id] : found) rows.push_back(std::to_string(id) + "|" + title);
    return rows;
  }
};

// V's titles run against its ids, so that ORDER BY TITLE reads V's records out of order;
// every third film has CASTMEMBER 1, the others 2.
TModel MakeTables(TFolder& folder) {
  folder.Run("CREATE TABLE V (ID INTEGER, TITLE VARCHAR(60), PRIMARY KEY (ID))");
  folder.Run("CREATE TABLE L (VID INTEGER, CID INTEGER)");
  folder.Run("CREATE INDEX BYCID ON L (CID)");
  TModel model;
  for (int id = 1; id <= kFilms; ++id) {
    const std::string title = "Film " + std::to_string(10000 - id) + " of the catalogue";
    folder.Run("INSERT INTO V VALUES (" + std::to_string(id) + ", '" + title + "')");
    const int cast = id % 3 == 0 ? 1 : 2;
    folder.Run("INSERT INTO L VALUES (" + std::to_string(id) + ", " + std::to_string(cast) + ")");
    model.titles[id] = title;
    model.links.insert({id, cast});
  }
  return model;
}

struct TChange {
  const char* what;
  std::vector<std::string> sql;  // run by the other user
  std::function<void(TModel&)> apply;
};

// Each change leaves a row the statements read through a cached record or index page.
std::vector<TChange> Changes() {
  return {
      {"a title (no index) of a joined film",
       {"UPDATE V SET TITLE = 'AAA renamed' WHERE ID = 300"},
       [](TModel& m) { m.titles[300] = "AAA renamed"; }},
      {"a new link",
       {"INSERT INTO L VALUES (301, 1)"},
       [](TModel& m) {
         m.links.insert({301, 1});
       }},
      {"a joined film deleted", {"DELETE FROM V WHERE ID = 3"}, [](TModel& m) { m.titles.erase(3); }},
      {"a link moved",
       {"UPDATE L SET CID = 2 WHERE VID = 6"},
       [](TModel& m) {
         m.links.erase({6, 1});
         m.links.insert({6, 2});
       }},
      {"a new film with its link",
       {"INSERT INTO V VALUES (1000, 'BBB new')", "INSERT INTO L VALUES (1000, 1)"},
       [](TModel& m) {
         m.titles[1000] = "BBB new";
         m.links.insert({1000, 1});
       }},
  };
}

const char* const kStatements[] = {
    "SELECT DISTINCT V.ID, V.TITLE FROM V, L WHERE V.ID = L.VID AND L.CID = 1 ORDER BY V.TITLE",
    "SELECT V.ID, V.TITLE FROM V WHERE V.ID IN (SELECT VID FROM L WHERE CID = 1) ORDER BY V.TITLE",
};

// Runs both statements, each prepared once and executed again, and each anew, before the
// changes and after each; `change` has the other user make one.
void CheckEveryChange(TFolder& mine, TModel model, const std::function<void(const TChange&)>& change) {
  std::vector<std::unique_ptr<TQueryStatement>> prepared;
  for (const char* sql : kStatements) {
    prepared.push_back(std::make_unique<TQueryStatement>(&mine.database));
    prepared.back()->Prepare(sql);
  }
  auto check = [&](const char* when) {
    SCOPED_TRACE(when);
    const std::vector<std::string> expected = model.Expected();
    for (std::size_t i = 0; i < prepared.size(); ++i) {
      SCOPED_TRACE(kStatements[i]);
      EXPECT_EQ(Rows(prepared[i]->Execute()), expected) << "executed again";
      TQueryStatement fresh(&mine.database);
      fresh.Prepare(kStatements[i]);
      EXPECT_EQ(Rows(fresh.Execute()), expected) << "prepared anew";
    }
  };
  check("first run");
  check("second run");
  for (const TChange& c : Changes()) {
    change(c);
    c.apply(model);
    check(c.what);
  }
}

class SelectReread : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "quarry-reread-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::string dir_;
};

TEST_F(SelectReread, ChangesOfAnotherSessionAreSeen) {
  TFolder mine(dir_);
  const TModel model = MakeTables(mine);
  TFolder other(dir_);
  CheckEveryChange(mine, model, [&](const TChange& c) {
    for (const std::string& sql : c.sql) other.Run(sql);
  });
}

TEST_F(SelectReread, ChangesOfAnotherProcessAreSeen) {
  TChannel toChild;
  TChannel toParent;
  const pid_t child = Spawn([&] {
    TFolder other(dir_);
    for (std::string step = toChild.Receive(); step != "end" && !step.empty(); step = toChild.Receive()) {
      other.Run(step);
      toParent.Send("done");
    }
    return 0;
  });
  {
    TFolder mine(dir_);
    const TModel model = MakeTables(mine);
    CheckEveryChange(mine, model, [&](const TChange& c) {
      for (const std::string& sql : c.sql) {
        toChild.Send(sql);
        ASSERT_EQ(toParent.Receive(), "done") << sql;
      }
    });
  }
  toChild.Send("end");
  EXPECT_EQ(Join(child), 0);
}

}  // namespace
}  // namespace quarry
