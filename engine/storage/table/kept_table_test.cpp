// Tables kept open between uses: the last cursor's close keeps the table (files open, no lock
// held), the next open of the name takes it up again when nothing changed, and opens afresh
// when another session changed, re-created or restructured it, when the mode differs or the
// read-only attribute changed; an idle kept table keeps no other session out; the session's
// bound closes the least recently kept; deleting, renaming or creating the name in this
// session closes the kept table first; in-memory and exclusive tables are not kept.
// (Other processes: kept_table_process_test.)
#include <gtest/gtest.h>

#include "engine/platform/memory_environment.h"
#include "engine/storage/cursor/cursor_test_util.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/files/file_list.h"
#include "engine/storage/maintenance/table_maintenance.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/session.h"
#include "engine/storage/table/table.h"

namespace quarry {
namespace {

using testing::CodeOf;
using testing::FilmBuffer;
using testing::FilmOf;
using testing::FilmTable;
using testing::MakeIndex;
using testing::TFilm;

class KeptTables : public ::testing::Test {
 protected:
  KeptTables() : list_(env_), session_(&list_) {
    env_.MakeDirectory("/db");
    env_.MakeDirectory("/tmp");
    session_.Settings().LockRetryCount = 1;
    session_.Settings().LockWaitTime = 1;
    directory_ = &session_.OpenDirectory("Films", "/db");
    Create(*directory_, "FILMS", 3);
  }

  static std::unique_ptr<TDataCursor> Cursor(TDataDirectory& directory, const std::string& name = "FILMS") {
    auto c = std::make_unique<TDataCursor>(directory);
    c->SetTableName(name);
    return c;
  }
  static std::unique_ptr<TDataCursor> Open(TDataDirectory& directory, const std::string& name = "FILMS",
                                           bool exclusive = false) {
    auto c = Cursor(directory, name);
    c->SetExclusive(exclusive);
    c->Open();
    return c;
  }
  static void Create(TDataDirectory& directory, const std::string& name, int rows) {
    Cursor(directory, name)->CreateTable(FilmTable());
    auto c = Open(directory, name);
    for (int i = 0; i < rows; ++i) Insert(*c, "Film " + std::to_string(i));
  }
  static void Insert(TDataCursor& c, const std::string& title) {
    std::vector<std::uint8_t> b = FilmBuffer(c, TFilm{0, 1, title, 2000, "PG"});
    c.InsertRecord(b.data(), false);
  }
  static std::int64_t CountOf(TDataDirectory& directory, const std::string& name = "FILMS") {
    return Open(directory, name)->RecordCount();
  }
  // Reads every record, so that the table's caches hold pages.
  static void Walk(TDataCursor& c) {
    std::vector<std::uint8_t> b(static_cast<std::size_t>(c.RecordBufferSize()));
    for (c.First(); c.Next(b.data()) == 0;) {}
  }
  bool KeptHere(const std::string& name = "FILMS") const { return directory_->Keeps(name, false); }

  TMemoryEnvironment env_;
  TFileList list_;
  TDataSession session_;
  TDataDirectory* directory_ = nullptr;
};

TEST_F(KeptTables, TheLastCloseKeepsTheTableAndTheNextOpenTakesItUp) {
  // Pages the index file was asked for since the files were opened: a table taken up again
  // keeps counting, a table opened afresh starts again.
  std::int64_t requests = 0;
  {
    auto c = Open(*directory_);
    Walk(*c);
    requests = c->Table().Index().PageRequests();
    EXPECT_GT(requests, 0);
  }
  ASSERT_TRUE(KeptHere());
  EXPECT_EQ(directory_->FindTable("FILMS", false), nullptr);  // kept, not open
  EXPECT_EQ(directory_->TableCount(), 0);
  EXPECT_EQ(session_.KeptCount(), 1);
  EXPECT_EQ(list_.FileCount(), 0u);  // no open of the files stands in anyone's way
  {
    auto c = Open(*directory_);
    EXPECT_FALSE(KeptHere());
    EXPECT_GE(c->Table().Index().PageRequests(), requests);  // the same files, caches and all
    EXPECT_EQ(c->RecordCount(), 3);
    Insert(*c, "Added");
  }
  EXPECT_EQ(CountOf(*directory_), 4);
}

TEST_F(KeptTables, AnIdleKeptTableKeepsNoOtherSessionOut) {
  { auto c = Open(*directory_); }
  ASSERT_TRUE(KeptHere());
  TDataSession other(&list_);
  TDataDirectory& elsewhere = other.OpenDirectory("Films", "/db");
  {
    auto exclusive = Open(elsewhere, "FILMS", true);
    EXPECT_EQ(exclusive->RecordCount(), 3);
    // While the other session holds it exclusively, this session's open is refused as
    // any open would be, and the kept table is gone.
    EXPECT_EQ(CodeOf([&] { Open(*directory_); }), QUARRY_OSEACCES);
  }
  EXPECT_EQ(CountOf(*directory_), 3);
  // In use here, the other session's exclusive open is refused again.
  auto mine = Open(*directory_);
  EXPECT_EQ(CodeOf([&] { Open(elsewhere, "FILMS", true); }), QUARRY_OSEACCES);
}

TEST_F(KeptTables, ChangesOfAnotherSessionAreSeen) {
  {
    auto c = Open(*directory_);
    Walk(*c);
  }
  TDataSession other(&list_);
  TDataDirectory& elsewhere = other.OpenDirectory("Films", "/db");
  struct TCase {
    const char* what;
    std::function<void(TDataCursor&)> change;
    std::int64_t count;
    std::string firstTitle;
  };
  const TCase cases[] = {
      {"insert", [](TDataCursor& c) { Insert(c, "Another"); }, 4, "Another"},
      {"update",
       [](TDataCursor& c) {
         std::vector<std::uint8_t> b(static_cast<std::size_t>(c.RecordBufferSize()));
         c.SetIndex("BYTITLE");
         ASSERT_EQ(c.First(), 0);
         ASSERT_EQ(c.GetCurrentRecord(b.data(), true), 0);
         std::string title = "AAA first";
         title.push_back('\0');
         c.PutField(3, b.data(), reinterpret_cast<const std::uint8_t*>(title.c_str()));
         c.UpdateRecord(b.data());
       },
       4, "AAA first"},
      {"delete",
       [](TDataCursor& c) {
         c.SetIndex("BYTITLE");
         ASSERT_EQ(c.First(), 0);
         c.DeleteRecord();
       },
       3, "Film 0"},
  };
  for (const TCase& k : cases) {
    SCOPED_TRACE(k.what);
    k.change(*Open(elsewhere));
    ASSERT_TRUE(KeptHere());
    auto c = Open(*directory_);
    EXPECT_EQ(c->RecordCount(), k.count);
    c->SetIndex("BYTITLE");
    ASSERT_EQ(c->First(), 0);
    EXPECT_EQ(FilmOf(*c, c->CurrentRecord()).Title, k.firstTitle);
    EXPECT_EQ(c->Verify(), "");
  }
}

TEST_F(KeptTables, AChangeRightAfterTheTakeUpIsFoundByTheNextLock) {
  // The take-up compares the headers with the files and the open takes that as its change
  // check: what another session changes after it is the next lock's to find.
  {
    auto c = Open(*directory_);
    Walk(*c);
  }
  TDataSession other(&list_);
  TDataDirectory& elsewhere = other.OpenDirectory("Films", "/db");
  for (int round = 1; round <= 3; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(KeptHere());
    auto c = Open(*directory_);
    std::string title = "AA " + std::to_string(round);
    Insert(*Open(elsewhere), title);
    c->Refresh();  // what an open cursor does to see other users' changes
    EXPECT_EQ(c->RecordCount(), 3 + round);
    c->SetIndex("BYTITLE");
    ASSERT_EQ(c->First(), 0);
    EXPECT_EQ(FilmOf(*c, c->CurrentRecord()).Title, "AA 1");
    std::vector<std::uint8_t> b(static_cast<std::size_t>(c->RecordBufferSize()));
    int seen = 0;
    for (c->First(); c->Next(b.data()) == 0;) ++seen;
    EXPECT_EQ(seen, 3 + round - 1);  // Next moves past the first record before reading
  }
}

TEST_F(KeptTables, ARestructureOrReCreationElsewhereIsSeen) {
  { auto c = Open(*directory_); }
  TDataSession other(&list_);
  TDataDirectory& elsewhere = other.OpenDirectory("Films", "/db");
  {
    // A new index, made in place under an exclusive open.
    auto c = Open(elsewhere, "FILMS", true);
    TTableMaintenance(elsewhere, "FILMS", false).AddIndex(c->Table(), MakeIndex("BYRATING", {5}));
  }
  {
    auto c = Open(*directory_);
    EXPECT_EQ(c->IndexCount(), 5);
    c->SetIndex("BYRATING");
    EXPECT_EQ(c->RecordCount(), 3);
  }
  // Deleted and made again with another layout.
  elsewhere.DeleteTable("FILMS", false);
  TCreateTableDefinition narrow;
  narrow.Fields = {testing::Field(1, "CODE", TFieldType::Integer), testing::Field(2, "NAME", TFieldType::String, 8)};
  narrow.Primary = MakeIndex("", {1}, true);
  Cursor(elsewhere)->CreateTable(narrow);
  {
    auto c = Open(*directory_);
    EXPECT_EQ(c->FieldCount(), 2);
    EXPECT_EQ(c->GetFieldDefinition(2).Name, "NAME");
    EXPECT_EQ(c->RecordCount(), 0);
    EXPECT_EQ(c->IndexCount(), 1);
  }
}

TEST_F(KeptTables, AnotherModeOpensAfresh) {
  {
    auto c = Open(*directory_);
    Walk(*c);
  }
  {
    auto c = Open(*directory_, "FILMS", true);
    EXPECT_TRUE(c->Table().Exclusive());
    EXPECT_EQ(c->Table().Index().PageRequests(), 0);
  }
  EXPECT_FALSE(KeptHere());  // exclusive tables are not kept
  { auto c = Open(*directory_); }
  EXPECT_TRUE(KeptHere());
  // The read-only attribute set meanwhile: the files are opened afresh, reading only.
  for (const char* file : {"/db/FILMS.DAT", "/db/FILMS.IDX"}) env_.SetReadOnly(file, true);
  auto c = Open(*directory_);
  EXPECT_TRUE(c->Table().ReadOnlyAttribute());
  EXPECT_EQ(CodeOf([&] { Insert(*c, "Refused"); }), QUARRY_OSEACCES);
}

TEST_F(KeptTables, TheSessionKeepsAtMostItsBoundLeastRecentlyUsedClosedFirst) {
  session_.Settings().KeptTables = 2;
  for (const char* name : {"B", "C", "D"}) Create(*directory_, name, 1);
  { auto a = Open(*directory_, "FILMS"); }
  { auto b = Open(*directory_, "B"); }
  { auto c = Open(*directory_, "C"); }
  EXPECT_FALSE(KeptHere("FILMS"));
  EXPECT_TRUE(KeptHere("B"));
  EXPECT_TRUE(KeptHere("C"));
  { auto b = Open(*directory_, "B"); }  // B is now the most recent
  { auto d = Open(*directory_, "D"); }
  EXPECT_TRUE(KeptHere("B"));
  EXPECT_FALSE(KeptHere("C"));
  EXPECT_TRUE(KeptHere("D"));
  EXPECT_EQ(session_.KeptCount(), 2);
  EXPECT_EQ(directory_->KeptCount(), 2);

  session_.Settings().KeptTables = 0;
  { auto b = Open(*directory_, "B"); }
  EXPECT_FALSE(KeptHere("B"));
  EXPECT_EQ(session_.KeptCount(), 1);
}

TEST_F(KeptTables, DeletingRenamingOrCreatingTheNameClosesTheKeptTable) {
  { auto c = Open(*directory_); }
  ASSERT_TRUE(KeptHere());
  directory_->RenameTable("FILMS", false, "MOVIES");
  EXPECT_FALSE(KeptHere());
  EXPECT_EQ(CodeOf([&] { Open(*directory_); }), QUARRY_OSENOENT);
  EXPECT_EQ(CountOf(*directory_, "MOVIES"), 3);
  ASSERT_TRUE(KeptHere("MOVIES"));

  TTableMaintenance(*directory_, "MOVIES", false).RenameTable("FILMS");
  EXPECT_FALSE(KeptHere("MOVIES"));
  EXPECT_EQ(CountOf(*directory_), 3);
  ASSERT_TRUE(KeptHere());

  TTableMaintenance(*directory_, "FILMS", false).DeleteTable();
  EXPECT_FALSE(KeptHere());
  EXPECT_FALSE(env_.Contents("/db/FILMS.DAT").size() > 0);
  EXPECT_EQ(session_.KeptCount(), 0);

  // Another session deletes the files under a kept table; making the name again here
  // replaces the kept table.
  Create(*directory_, "FILMS", 2);
  ASSERT_TRUE(KeptHere());
  {
    TDataSession other(&list_);
    other.OpenDirectory("Films", "/db").DeleteTable("FILMS", false);
  }
  Create(*directory_, "FILMS", 1);
  EXPECT_EQ(CountOf(*directory_), 1);
}

TEST_F(KeptTables, ClosingTheDirectoryOrSessionClosesKeptTables) {
  { auto c = Open(*directory_); }
  ASSERT_EQ(session_.KeptCount(), 1);
  TDataDirectory& again = session_.OpenDirectory("Films", "/db");
  session_.CloseDirectory(again);
  EXPECT_EQ(session_.KeptCount(), 1);  // still in use once
  session_.CloseDirectory(*directory_);
  EXPECT_EQ(session_.KeptCount(), 0);
  EXPECT_EQ(session_.DirectoryCount(), 0);
  // Nothing is held: another session deletes the table.
  TDataSession other(&list_);
  other.OpenDirectory("Films", "/db").DeleteTable("FILMS", false);
}

TEST_F(KeptTables, AKeptTableJoinsATransactionOnlyWhenTakenUp) {
  for (const bool commit : {false, true}) {
    SCOPED_TRACE(commit ? "commit" : "rollback");
    { auto c = Open(*directory_); }
    ASSERT_TRUE(KeptHere());
    directory_->StartTransaction();
    EXPECT_TRUE(KeptHere());  // idle, it takes no table lock
    {
      auto c = Open(*directory_);
      EXPECT_TRUE(c->Table().InTransaction());
      Insert(*c, "In the transaction");
    }
    EXPECT_FALSE(KeptHere());  // the transaction holds it
    if (commit) {
      directory_->Commit();
    } else {
      directory_->Rollback();
    }
    EXPECT_TRUE(KeptHere());
    EXPECT_EQ(CountOf(*directory_), commit ? 4 : 3);
  }
}

TEST_F(KeptTables, InMemoryTablesAreNotKept) {
  TDataDirectory& memory = session_.OpenDirectory("Memory", "");
  Create(memory, "SCRATCH", 2);
  EXPECT_FALSE(memory.Keeps("SCRATCH", true));
  EXPECT_EQ(CountOf(memory, "SCRATCH"), 2);  // the contents stay with the memory file
  EXPECT_EQ(memory.KeptCount(), 0);
}

TEST_F(KeptTables, AnEncryptedTableAsksForItsPasswordAtEveryOpen) {
  TCreateTableDefinition secret = FilmTable();
  secret.Encrypted = true;
  secret.Password = "Open sesame";
  Cursor(*directory_, "SECRET")->CreateTable(secret);
  session_.AddPassword("Open sesame");
  { auto c = Open(*directory_, "SECRET"); }
  ASSERT_TRUE(KeptHere("SECRET"));
  session_.RemovePassword("Open sesame");
  int asked = 0;
  auto c = Cursor(*directory_, "SECRET");
  c->SetPasswordCallback([&](const std::string&, std::string&) {
    ++asked;
    return false;
  });
  EXPECT_EQ(CodeOf([&] { c->Open(); }), QUARRY_NOTSUFFTABLERIGHTS);
  EXPECT_EQ(asked, 1);
}

}  // namespace
}  // namespace quarry
