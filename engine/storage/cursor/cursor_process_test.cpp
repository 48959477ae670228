// Cursors of several processes on one table on disk: changes made through a cursor in one
// process are seen by a cursor in another (after Refresh, or at once under strict change
// detection), a record held for an edit in one process is refused to the other, and
// processes inserting and updating through cursors at the same time lose nothing and leave
// every index consistent.
//
// Children are forked before the parent opens any table file: an open file description
// shared across fork would share its locks too.
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/storage/cursor/cursor_test_util.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/process_test_util.h"
#include "engine/storage/table/session.h"

namespace quarry {
namespace {

using testing::CodeOf;
using testing::FilmBuffer;
using testing::FilmOf;
using testing::FilmTable;
using testing::TFilm;
using Clock = std::chrono::steady_clock;
using testing::Join;
using testing::MillisecondsSince;
using testing::Spawn;
using testing::TChannel;

// One process's session with the film table open through a cursor.
struct TFilmsOpen {
  explicit TFilmsOpen(const std::string& dir) : directory(session.OpenDirectory("Films", dir)), cursor(directory) {
    session.Settings().LockRetryCount = 3;
    session.Settings().LockWaitTime = 20;
    cursor.SetTableName("FILMS");
    cursor.Open();
  }
  void Insert(TFilm film) {
    std::vector<std::uint8_t> b = FilmBuffer(cursor, film);
    cursor.InsertRecord(b.data(), false);
  }
  TDataSession session;
  TDataDirectory& directory;
  TDataCursor cursor;
};

class CursorProcesses : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "quarry-cursors-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    TDataSession session;
    TDataCursor creator(session.OpenDirectory("Films", dir_));
    creator.SetTableName("FILMS");
    creator.CreateTable(FilmTable());
    creator.Open();
    for (int i = 0; i < 20; ++i) {
      TFilm f{0, i % 4, "Film " + std::to_string(i), static_cast<std::int16_t>(1980 + i), "PG"};
      std::vector<std::uint8_t> b = FilmBuffer(creator, f);
      creator.InsertRecord(b.data(), false);
    }
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::string dir_;
};

TEST_F(CursorProcesses, ChangesOfOneProcessAreSeenByTheOther) {
  TChannel go;
  TChannel done;
  const pid_t child = Spawn([&] {
    if (go.Receive() != "go") return 1;
    TFilmsOpen c(dir_);
    c.Insert(TFilm{0, 9, "From the child", 2020, "R"});
    c.cursor.SetIndex("BYTITLE");
    TFilm key;
    key.Title = "Film 3";
    std::vector<std::uint8_t> b(static_cast<std::size_t>(c.cursor.RecordBufferSize()));
    if (!c.cursor.FindKey(FilmBuffer(c.cursor, key).data(), 0, 0, false, b.data())) return 2;
    const std::int16_t year = 1801;
    c.cursor.PutField(4, b.data(), reinterpret_cast<const std::uint8_t*>(&year));
    c.cursor.UpdateRecord(b.data());
    key.Title = "Film 7";
    if (!c.cursor.FindKey(FilmBuffer(c.cursor, key).data(), 0, 0, false, nullptr)) return 4;
    c.cursor.DeleteRecord();
    done.Send("done");
    return 0;
  });
  TFilmsOpen t(dir_);
  t.cursor.SetIndex("BYYEAR");
  ASSERT_EQ(t.cursor.RecordCount(), 20);
  ASSERT_EQ(t.cursor.Last(), 0);  // the oldest film
  EXPECT_EQ(FilmOf(t.cursor, t.cursor.CurrentRecord()).Year, 1980);
  go.Send("go");
  ASSERT_EQ(done.Receive(), "done");
  EXPECT_EQ(Join(child), 0);

  t.cursor.Refresh();
  EXPECT_EQ(t.cursor.RecordCount(), 20);  // one in, one out
  ASSERT_EQ(t.cursor.Last(), 0);
  EXPECT_EQ(FilmOf(t.cursor, t.cursor.CurrentRecord()).Title, "Film 3");
  ASSERT_EQ(t.cursor.First(), 0);
  EXPECT_EQ(FilmOf(t.cursor, t.cursor.CurrentRecord()).Title, "From the child");
  EXPECT_EQ(t.cursor.Verify(), "");
}

TEST_F(CursorProcesses, StrictChangeDetectionSeesChangesWithoutRefresh) {
  TChannel go;
  TChannel done;
  const pid_t child = Spawn([&] {
    if (go.Receive() != "go") return 1;
    TFilmsOpen c(dir_);
    for (int i = 0; i < 5; ++i) c.Insert(TFilm{0, 1, "Late " + std::to_string(i), 2021, "G"});
    done.Send("done");
    return 0;
  });
  TFilmsOpen t(dir_);
  t.session.Settings().StrictChangeDetection = true;
  ASSERT_EQ(t.cursor.RecordCount(), 20);
  std::vector<std::uint8_t> b(static_cast<std::size_t>(t.cursor.RecordBufferSize()));
  ASSERT_EQ(t.cursor.First(), 0);
  go.Send("go");
  ASSERT_EQ(done.Receive(), "done");
  EXPECT_EQ(Join(child), 0);
  int walked = 1;
  for (int guard = 0; guard < 100 && t.cursor.Next(b.data()) == 0; ++guard) ++walked;
  EXPECT_EQ(walked, 25);
  EXPECT_EQ(t.cursor.RecordCount(), 25);
}

TEST_F(CursorProcesses, ARecordHeldForAnEditIsRefusedToTheOtherProcess) {
  TChannel locked;
  TChannel finished;
  const pid_t child = Spawn([&] {
    TFilmsOpen c(dir_);
    std::vector<std::uint8_t> b(static_cast<std::size_t>(c.cursor.RecordBufferSize()));
    if (c.cursor.First() != 0 || c.cursor.GetCurrentRecord(b.data(), true) != 0) return 1;
    locked.Send("locked");
    if (finished.Receive() != "done") return 2;
    c.cursor.CancelEdit();
    return 0;
  });
  ASSERT_EQ(locked.Receive(), "locked");
  TFilmsOpen t(dir_);
  std::vector<std::uint8_t> b(static_cast<std::size_t>(t.cursor.RecordBufferSize()));
  ASSERT_EQ(t.cursor.First(), 0);
  EXPECT_EQ(CodeOf([&] { t.cursor.GetCurrentRecord(b.data(), true); }), QUARRY_RECLOCKFAILED);
  EXPECT_EQ(CodeOf([&] { t.cursor.DeleteRecord(); }), QUARRY_RECLOCKFAILED);
  EXPECT_EQ(t.cursor.RecordCount(), 20);
  finished.Send("done");
  EXPECT_EQ(Join(child), 0);
  ASSERT_EQ(t.cursor.GetCurrentRecord(b.data(), true), 0);
  t.cursor.CancelEdit();
}

TEST_F(CursorProcesses, ProcessesChangingAtOnceLoseNothing) {
  constexpr int kChildren = 3;
  constexpr int kEach = 60;
  // One channel each: children reading one pipe byte by byte would split each other's lines.
  TChannel start[kChildren];
  std::vector<pid_t> children;
  for (int k = 0; k < kChildren; ++k) {
    children.push_back(Spawn([&, k] {
      if (start[k].Receive() != "go") return 1;
      TFilmsOpen c(dir_);
      c.session.Settings().LockRetryCount = 200;
      c.session.Settings().LockWaitTime = 5;
      for (int i = 0; i < kEach; ++i) {
        c.Insert(TFilm{0, 10 + k, "Child " + std::to_string(k) + " " + std::to_string(i), 1999, "NR"});
        if (i % 10 == 0) {
          // Touch one of the shared films too: read it fresh, change its rating.
          c.cursor.SetIndex("BYTITLE");
          TFilm key;
          key.Title = "Film " + std::to_string(i % 20);
          std::vector<std::uint8_t> b(static_cast<std::size_t>(c.cursor.RecordBufferSize()));
          for (int attempt = 0; attempt < 50; ++attempt) {
            try {
              c.cursor.Refresh();
              if (!c.cursor.FindKey(FilmBuffer(c.cursor, key).data(), 0, 0, false, b.data())) return 2;
              const std::string rating = std::string(k % 2 ? "R" : "G") + '\0';
              c.cursor.PutField(5, b.data(), reinterpret_cast<const std::uint8_t*>(rating.c_str()));
              c.cursor.UpdateRecord(b.data());
              break;
            } catch (const EQuarryEngineError& e) {
              if (e.Code() != QUARRY_KEYORRECDELETED && e.Code() != QUARRY_RECLOCKFAILED) throw;
              c.cursor.CancelEdit();
            }
          }
          c.cursor.SetIndex("");
        }
      }
      return 0;
    }));
  }
  for (int k = 0; k < kChildren; ++k) start[k].Send("go");
  for (const pid_t child : children) EXPECT_EQ(Join(child), 0);
  TFilmsOpen t(dir_);
  EXPECT_EQ(t.cursor.RecordCount(), 20 + kChildren * kEach);
  EXPECT_EQ(t.cursor.Verify(), "");
}

}  // namespace
}  // namespace quarry
