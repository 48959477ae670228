// Tests of the engine session and its directories: settings, passwords, directory reuse and
// the in-memory database, private directory, temporary names, and the table life cycle a
// directory keeps (sharing, exclusive opens, create, delete, rename, missing index file).
#include "engine/storage/table/session.h"

#include <gtest/gtest.h>

#include "engine/platform/memory_environment.h"
#include "engine/storage/files/file_list.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/table.h"
#include "engine/storage/table/table_records.h"
#include "engine/storage/table/table_test_util.h"

namespace quarry {
namespace {

using testing::CodeOf;
using testing::CounterRow;
using testing::CounterTable;
using testing::TTableUse;

class SessionTest : public ::testing::Test {
 protected:
  SessionTest() : list_(env_) {
    env_.MakeDirectory("/db");
    env_.MakeDirectory("/tmp");
    env_.SetCurrentDirectory("/work");
    env_.MakeDirectory("/work");
  }
  TMemoryEnvironment env_;
  TFileList list_;
};

TEST_F(SessionTest, DefaultsAreThoseTheAccessLayerExpects) {
  TDataSession session(&list_);
  const TSessionSettings& s = session.Settings();
  EXPECT_EQ(s.ProgressSteps, 20);
  EXPECT_FALSE(s.ForceBufferFlush);
  EXPECT_FALSE(s.StrictChangeDetection);
  EXPECT_EQ(s.LockRetryCount, 15);
  EXPECT_EQ(s.LockWaitTime, 100);
  EXPECT_EQ(s.LockProtocol, TLockProtocol::lpPessimistic);
  EXPECT_EQ(s.RecordBufferBytes, 16384);
  EXPECT_EQ(s.RecordBufferCount, 8192);
  EXPECT_EQ(s.BlobBufferBytes, 32768);
  EXPECT_EQ(s.BlobBufferCount, 8192);
  EXPECT_EQ(session.DefaultDirectory(), "/work/");
  EXPECT_EQ(session.PrivateDir(), env_.TemporaryDirectory());
}

TEST_F(SessionTest, PasswordListMatchesExactly) {
  TDataSession session(&list_);
  session.AddPassword("");
  session.AddPassword("Secret");
  session.AddPassword("Secret");
  EXPECT_TRUE(session.HasPassword("Secret"));
  EXPECT_FALSE(session.HasPassword("secret"));
  EXPECT_FALSE(session.HasPassword(""));
  session.RemovePassword("SECRET");
  EXPECT_TRUE(session.HasPassword("Secret"));
  session.RemovePassword("Secret");
  EXPECT_FALSE(session.HasPassword("Secret"));
  session.AddPassword("a");
  session.AddPassword("b");
  session.RemoveAllPasswords();
  EXPECT_FALSE(session.HasPassword("a"));
  EXPECT_FALSE(session.HasPassword("b"));
}

TEST_F(SessionTest, DirectoriesAreReusedByPathAndFreedWithTheirLastUse) {
  TDataSession session(&list_);
  TDataDirectory& a = session.OpenDirectory("Video", "/db");
  TDataDirectory& b = session.OpenDirectory("Other", " /DB/ ");
  EXPECT_EQ(&a, &b);
  EXPECT_EQ(a.Path(), "/db/");
  EXPECT_EQ(a.UseCount(), 2);
  TDataDirectory& def = session.OpenDirectory("", "");
  EXPECT_EQ(def.Path(), "/work/");
  EXPECT_NE(&def, &a);
  TDataDirectory& memory = session.OpenDirectory(" mEmOrY ", "/db");
  EXPECT_TRUE(memory.InMemory());
  EXPECT_EQ(memory.Path(), "");
  EXPECT_EQ(session.DirectoryCount(), 3);
  session.CloseDirectory(a);
  EXPECT_EQ(session.DirectoryCount(), 3);
  session.CloseDirectory(b);
  EXPECT_EQ(session.DirectoryCount(), 2);
  session.CloseDirectory(memory);
  session.CloseDirectory(def);
  EXPECT_EQ(session.DirectoryCount(), 0);
}

TEST_F(SessionTest, PrivateDirectoryFallsBackToTheDefaultDirectory) {
  TDataSession session(&list_);
  EXPECT_EQ(session.PrivateDirectory(), env_.TemporaryDirectory() + "/");
  session.SetPrivateDir("  ");
  EXPECT_EQ(session.PrivateDirectory(), "/work/");
  session.SetPrivateDir("/scratch");
  EXPECT_EQ(session.PrivateDirectory(), "/scratch/");
}

TEST_F(SessionTest, TemporaryNamesSkipNamesInUseOfTheSameKind) {
  TDataSession session(&list_);
  session.SetPrivateDir("/tmp");
  const std::string id = std::to_string(env_.ThreadId()).substr(0, 5);
  const std::string first = session.TemporaryFileName(".DAT", false);
  EXPECT_EQ(first, "/tmp/" + id + "0.DAT");
  {
    TFileHandler file(first, false, &list_);
    file.Create();
  }
  EXPECT_EQ(session.TemporaryFileName(".DAT", false), "/tmp/" + id + "1.DAT");
  // A disk file does not take a memory name.
  EXPECT_EQ(session.TemporaryFileName(".DAT", true), "/tmp/" + id + "0.DAT");
  EXPECT_EQ(session.TemporaryFileName(".IDX", false), "/tmp/" + id + "0.IDX");
}

class DirectoryTest : public SessionTest {
 protected:
  DirectoryTest() : session_(&list_), dir_(session_.OpenDirectory("Video", "/db")) {
    dir_.CreateTable("Films", false, CounterTable());
  }
  TDataSession session_;
  TDataDirectory& dir_;
};

TEST_F(DirectoryTest, CreatedTableHasItsFilesAndRefusesASecondCreate) {
  EXPECT_TRUE(dir_.TableExists("FILMS", false));
  EXPECT_TRUE(list_.Exists("/db/Films.IDX", false));
  EXPECT_FALSE(list_.Exists("/db/Films.BLB", false));
  EXPECT_EQ(CodeOf([&] { dir_.CreateTable("films", false, CounterTable()); }), QUARRY_TABLEEXISTS);
  TTableUse t(dir_, "Films");
  EXPECT_EQ(CodeOf([&] { dir_.CreateTable("films", false, CounterTable()); }), QUARRY_OSEACCES);
}

TEST_F(DirectoryTest, CursorsShareOneTableObjectByTrimmedNameIgnoringCase) {
  TTableUse a(dir_, "Films");
  TTableUse b(dir_, " FILMS ");
  EXPECT_EQ(&*a, &*b);
  EXPECT_EQ(a->UseCount(), 2);
  EXPECT_EQ(dir_.TableCount(), 1);
  b.Close();
  EXPECT_EQ(dir_.TableCount(), 1);
  a.Close();
  EXPECT_EQ(dir_.TableCount(), 0);
}

TEST_F(DirectoryTest, ExclusiveUseConflictsWithAnyOtherUse) {
  {
    TTableUse shared(dir_, "Films");
    EXPECT_EQ(CodeOf([&] { dir_.OpenTable("Films", false, true, false); }), QUARRY_OSEACCES);
  }
  TTableUse exclusive(dir_, "Films", true);
  EXPECT_TRUE(exclusive->Exclusive());
  EXPECT_EQ(CodeOf([&] { dir_.OpenTable("Films", false, false, false); }), QUARRY_OSEACCES);
  // Another session meets the file's share mode.
  TDataSession other(&list_);
  TDataDirectory& otherDir = other.OpenDirectory("Video", "/db");
  EXPECT_EQ(CodeOf([&] { otherDir.OpenTable("Films", false, false, false); }), QUARRY_OSEACCES);
}

TEST_F(DirectoryTest, DeleteAndRenameAreRefusedWhileTheTableIsInUse) {
  {
    TTableUse t(dir_, "Films");
    EXPECT_EQ(CodeOf([&] { dir_.DeleteTable("Films", false); }), QUARRY_OSEACCES);
    EXPECT_EQ(CodeOf([&] { dir_.RenameTable("Films", false, "Movies"); }), QUARRY_OSEACCES);
  }
  dir_.RenameTable("Films", false, "Movies");
  EXPECT_FALSE(dir_.TableExists("Films", false));
  EXPECT_TRUE(dir_.TableExists("Movies", false));
  EXPECT_TRUE(list_.Exists("/db/Movies.IDX", false));
  dir_.DeleteTable("Movies", false);
  EXPECT_FALSE(dir_.TableExists("Movies", false));
  EXPECT_FALSE(list_.Exists("/db/Movies.IDX", false));
  EXPECT_EQ(CodeOf([&] { dir_.DeleteTable("Movies", false); }), QUARRY_OSENOENT);
}

TEST_F(DirectoryTest, MissingIndexFileIsReplacedByAnEmptyOne) {
  {
    TTableUse t(dir_, "Films");
    TTableRecords(*t).Insert(CounterRow(*t, 1, 0));
  }
  ASSERT_TRUE(env_.DeleteFile("/db/Films.IDX"));
  TTableUse t(dir_, "Films");
  EXPECT_TRUE(t->IndexMissing());
  EXPECT_EQ(t->Index().RecordCount(), 0);
}

TEST_F(DirectoryTest, InMemoryTablesLiveInTheMemoryDatabase) {
  TDataDirectory& memory = session_.OpenDirectory("Memory", "");
  memory.CreateTable("Scratch", false, CounterTable());
  EXPECT_TRUE(list_.Exists("Scratch.DAT", true));
  EXPECT_FALSE(dir_.TableExists("Scratch", false));
  {
    TTableUse t(memory, "Scratch");
    EXPECT_TRUE(t->InMemory());
    TTableRecords(*t).Insert(CounterRow(*t, 7, 0));
  }
  TTableUse again(memory, "Scratch");
  EXPECT_EQ(TTableRecords(*again).RecordCount(), 1);
}

TEST_F(DirectoryTest, ReadOnlyAttributeOpensReadOnlyAndTakesNoLocks) {
  env_.SetReadOnly("/db/Films.DAT", true);
  TTableUse t(dir_, "Films");
  EXPECT_TRUE(t->ReadOnly());
  EXPECT_TRUE(t->ReadOnlyAttribute());
  t->ReadLockB();
  EXPECT_EQ(t->ReadSlotB(), 0);
  t->ReleaseReadLockB();
  t->WriteLock();
  EXPECT_FALSE(t->HoldsWriteLock());
  EXPECT_FALSE(t->LockRecord(1));
  EXPECT_TRUE(t->LockedRecords().empty());
  EXPECT_EQ(CodeOf([&] { TTableRecords(*t).Insert(CounterRow(*t, 1, 0)); }), QUARRY_OSEACCES);
}

TEST_F(DirectoryTest, EmptyTableNeedsExclusiveUseAndClearsEverything) {
  {
    TTableUse t(dir_, "Films");
    TTableRecords(*t).Insert(CounterRow(*t, 1, 0));
    EXPECT_EQ(CodeOf([&] { dir_.EmptyTable(*t); }), QUARRY_NEEDEXCLACCESS);
  }
  TTableUse t(dir_, "Films", true);
  dir_.EmptyTable(*t);
  TTableRecords records(*t);
  EXPECT_EQ(records.RecordCount(), 0);
  EXPECT_EQ(records.Verify(), "");
  records.Insert(CounterRow(*t, 1, 0));
  EXPECT_EQ(records.Verify(), "");
}

}  // namespace
}  // namespace quarry
