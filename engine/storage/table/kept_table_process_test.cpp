// Tables kept open between uses, with another process on the same files on disk: a table
// this process keeps sees the other's inserts, updates and deletes, a new index, and the
// table deleted and made again with another layout; and an idle kept table keeps no
// exclusive open of the other process out, while a table in use does.
//
// Children are forked before the parent opens any table file: an open file description
// shared across fork would share its locks too.
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/storage/cursor/cursor_test_util.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/maintenance/table_maintenance.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/process_test_util.h"
#include "engine/storage/table/session.h"
#include "engine/storage/table/table.h"

namespace quarry {
namespace {

using testing::CodeOf;
using testing::FilmBuffer;
using testing::FilmOf;
using testing::FilmTable;
using testing::Join;
using testing::MakeIndex;
using testing::Spawn;
using testing::TChannel;
using testing::TFilm;

// One process's session on the films directory.
struct TFilms {
  explicit TFilms(const std::string& dir) : directory(session.OpenDirectory("Films", dir)) {
    session.Settings().LockRetryCount = 3;
    session.Settings().LockWaitTime = 20;
  }
  std::unique_ptr<TDataCursor> Open(bool exclusive = false) {
    auto c = std::make_unique<TDataCursor>(directory);
    c->SetTableName("FILMS");
    c->SetExclusive(exclusive);
    c->Open();
    return c;
  }
  bool Kept() const { return directory.Keeps("FILMS", false); }
  TDataSession session;
  TDataDirectory& directory;
};

void Insert(TDataCursor& c, const std::string& title) {
  std::vector<std::uint8_t> b = FilmBuffer(c, TFilm{0, 1, title, 2000, "PG"});
  c.InsertRecord(b.data(), false);
}

std::string FirstTitle(TDataCursor& c) {
  c.SetIndex("BYTITLE");
  if (c.First() != 0) return {};
  return FilmOf(c, c.CurrentRecord()).Title;
}

class KeptTableProcesses : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "quarry-kept-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  // Made after the children are forked, by a session that is gone before the test starts.
  void CreateFilms() {
    TFilms creator(dir_);
    auto c = std::make_unique<TDataCursor>(creator.directory);
    c->SetTableName("FILMS");
    c->CreateTable(FilmTable());
    c = creator.Open();
    for (int i = 0; i < 10; ++i) Insert(*c, "Film " + std::to_string(i));
  }
  std::string dir_;
};

TEST_F(KeptTableProcesses, AKeptTableSeesTheOtherProcessesChanges) {
  TChannel toChild;
  TChannel toParent;
  const pid_t child = Spawn([&] {
    TFilms other(dir_);
    for (std::string step = toChild.Receive(); step != "end" && !step.empty(); step = toChild.Receive()) {
      if (step == "change") {
        auto c = other.Open();
        Insert(*c, "AAA from the child");
        c->SetIndex("BYTITLE");
        std::vector<std::uint8_t> b(static_cast<std::size_t>(c->RecordBufferSize()));
        if (c->Last() != 0 || c->GetCurrentRecord(b.data(), true) != 0) return 2;
        std::string title = "BBB updated";
        title.push_back('\0');
        c->PutField(3, b.data(), reinterpret_cast<const std::uint8_t*>(title.c_str()));
        c->UpdateRecord(b.data());
        if (c->Last() != 0) return 4;
        c->DeleteRecord();  // "Film 8", the last title once "Film 9" was renamed
      } else if (step == "index") {
        auto c = other.Open(true);
        TTableMaintenance(other.directory, "FILMS", false).AddIndex(c->Table(), MakeIndex("BYRATING", {5}));
      } else if (step == "recreate") {
        other.directory.DeleteTable("FILMS", false);
        TCreateTableDefinition narrow;
        narrow.Fields = {testing::Field(1, "CODE", TFieldType::Integer),
                         testing::Field(2, "NAME", TFieldType::String, 8)};
        narrow.Primary = MakeIndex("", {1}, true);
        auto c = std::make_unique<TDataCursor>(other.directory);
        c->SetTableName("FILMS");
        c->CreateTable(narrow);
      }
      toParent.Send(step + " done");
    }
    return 0;
  });
  CreateFilms();
  TFilms mine(dir_);
  {
    auto c = mine.Open();
    EXPECT_EQ(c->RecordCount(), 10);
    EXPECT_EQ(FirstTitle(*c), "Film 0");
  }
  ASSERT_TRUE(mine.Kept());

  toChild.Send("change");
  ASSERT_EQ(toParent.Receive(), "change done");
  {
    auto c = mine.Open();
    EXPECT_EQ(c->RecordCount(), 10);  // one in, one out
    EXPECT_EQ(FirstTitle(*c), "AAA from the child");
    c->SetIndex("BYTITLE");
    ASSERT_EQ(c->Last(), 0);
    EXPECT_EQ(FilmOf(*c, c->CurrentRecord()).Title, "Film 7");
    EXPECT_EQ(c->Verify(), "");
  }
  ASSERT_TRUE(mine.Kept());

  toChild.Send("index");
  ASSERT_EQ(toParent.Receive(), "index done");
  {
    auto c = mine.Open();
    EXPECT_EQ(c->IndexCount(), 5);
    c->SetIndex("BYRATING");
    EXPECT_EQ(c->RecordCount(), 10);
  }

  toChild.Send("recreate");
  ASSERT_EQ(toParent.Receive(), "recreate done");
  {
    auto c = mine.Open();
    EXPECT_EQ(c->FieldCount(), 2);
    EXPECT_EQ(c->GetFieldDefinition(2).Name, "NAME");
    EXPECT_EQ(c->RecordCount(), 0);
  }
  toChild.Send("end");
  EXPECT_EQ(Join(child), 0);
}

TEST_F(KeptTableProcesses, AnIdleKeptTableKeepsNoExclusiveOpenOut) {
  TChannel toChild;
  TChannel toParent;
  const pid_t child = Spawn([&] {
    TFilms other(dir_);
    for (std::string step = toChild.Receive(); step != "end" && !step.empty(); step = toChild.Receive()) {
      if (step == "try") {
        // The parent's table is in use: refused.
        toParent.Send(std::to_string(CodeOf([&] { other.Open(true); })));
      } else if (step == "hold") {
        auto c = other.Open(true);
        Insert(*c, "Exclusive");
        toParent.Send("held");
        if (toChild.Receive() != "release") return 2;
        c.reset();
        toParent.Send("released");
      }
    }
    return 0;
  });
  CreateFilms();
  TFilms mine(dir_);
  {
    auto c = mine.Open();
    toChild.Send("try");
    EXPECT_EQ(toParent.Receive(), std::to_string(QUARRY_OSEACCES));
  }
  ASSERT_TRUE(mine.Kept());
  toChild.Send("hold");
  ASSERT_EQ(toParent.Receive(), "held");
  EXPECT_EQ(CodeOf([&] { mine.Open(); }), QUARRY_OSEACCES);
  toChild.Send("release");
  ASSERT_EQ(toParent.Receive(), "released");
  EXPECT_EQ(mine.Open()->RecordCount(), 11);
  toChild.Send("end");
  EXPECT_EQ(Join(child), 0);
}

}  // namespace
}  // namespace quarry
