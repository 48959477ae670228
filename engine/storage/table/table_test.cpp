// Tests of the table lock protocol and change detection between two sessions of one process
// (which must exclude each other exactly as two processes do). The in-memory environment's
// virtual clock lets the lock retry loops run to their end at once and shows how long they
// would have waited.
#include "engine/storage/table/table.h"

#include <gtest/gtest.h>

#include "engine/platform/fault_environment.h"
#include "engine/platform/memory_environment.h"
#include "engine/storage/files/file_list.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/lock_map.h"
#include "engine/storage/table/session.h"
#include "engine/storage/table/table_records.h"
#include "engine/storage/table/table_test_util.h"

namespace quarry {
namespace {

using testing::CodeOf;
using testing::CounterOf;
using testing::CounterRow;
using testing::CounterTable;
using testing::TTableUse;

TEST(LockMap, OffsetsLieAboveTheDataAndApart) {
  struct Case {
    std::uint64_t offset;
    std::uint64_t expected;
  };
  const Case cases[] = {
      {TableWriteByte, 0xFFFFFFFFull},
      {RecordLockOffset(1), 0xFFFFFFFEull},  // directly below the table-write byte
      {RecordLockOffset(2), 0xFFFFFFFDull},
      {RecordLockOffset(200'000'000), 0xFFFFFFFFull - 200'000'000},
      {ReadSlotOffset(1), 0xFFFFFFFEull},
      {ReadSlotOffset(ReadSlotCount), 0xFFFF0000ull},
  };
  for (const Case& c : cases) EXPECT_EQ(c.offset, c.expected);
  // The write region covers every read slot and stops below the table-write byte.
  EXPECT_LE(WriteRegionOffset, ReadSlotOffset(ReadSlotCount));
  EXPECT_GE(WriteRegionOffset + WriteRegionLength - 1, ReadSlotOffset(1));
  EXPECT_LT(WriteRegionOffset + WriteRegionLength - 1, TableWriteByte);
  // The last record lock byte stays above the largest data file.
  EXPECT_GT(RecordLockOffset(200'000'000), 4'000'000'000ull);
}

// Two sessions of one process over one table, with the table open in both.
class TwoSessions : public ::testing::Test {
 protected:
  TwoSessions() : list_(env_), one_(&list_), two_(&list_) {
    env_.MakeDirectory("/db");
    dirOne_ = &one_.OpenDirectory("Video", "/db");
    dirTwo_ = &two_.OpenDirectory("Video", "/db");
    dirOne_->CreateTable("Films", false, CounterTable());
    a_ = std::make_unique<TTableUse>(*dirOne_, "Films");
    b_ = std::make_unique<TTableUse>(*dirTwo_, "Films");
  }
  ~TwoSessions() override {
    a_.reset();
    b_.reset();
  }
  TDataTable& A() { return **a_; }
  TDataTable& B() { return **b_; }
  std::uint64_t Elapsed(std::uint64_t since) { return env_.TickCount() - since; }

  TMemoryEnvironment env_;
  TFileList list_;
  TDataSession one_;
  TDataSession two_;
  TDataDirectory* dirOne_ = nullptr;
  TDataDirectory* dirTwo_ = nullptr;
  std::unique_ptr<TTableUse> a_;
  std::unique_ptr<TTableUse> b_;
};

TEST_F(TwoSessions, RecordLockedByOneSessionIsRefusedToTheOtherAfterItsRetries) {
  TTableRecords(A()).Insert(CounterRow(A(), 1, 0));
  A().LockRecord(1);
  const std::uint64_t start = env_.TickCount();
  EXPECT_EQ(CodeOf([&] { B().LockRecord(1); }), QUARRY_RECLOCKFAILED);
  EXPECT_EQ(Elapsed(start), 1500u);  // 16 attempts, 15 pauses of 100 ms
  EXPECT_FALSE(B().RecordLocked(1));
  EXPECT_FALSE(B().HoldsReadLockB());  // no read slot left behind
  EXPECT_EQ(CodeOf([&] { TTableRecords(B()).Update(1, CounterRow(B(), 1, 5)); }), QUARRY_RECLOCKFAILED);
  B().LockRecord(2);  // other records stay free
  A().UnlockRecord(1);
  B().LockRecord(1);
  EXPECT_TRUE(B().RecordLocked(1));
}

TEST_F(TwoSessions, RetrySettingsOfTheSessionApply) {
  two_.Settings().LockRetryCount = 3;
  two_.Settings().LockWaitTime = 40;
  A().LockRecord(9);
  const std::uint64_t start = env_.TickCount();
  EXPECT_EQ(CodeOf([&] { B().LockRecord(9); }), QUARRY_RECLOCKFAILED);
  EXPECT_EQ(Elapsed(start), 120u);
}

TEST_F(TwoSessions, AReaderKeepsTheWriterOutUntilItLetsGo) {
  A().ReadLockB();
  EXPECT_NE(A().ReadSlotB(), 0);
  EXPECT_EQ(CodeOf([&] { B().WriteLock(); }), QUARRY_LOCKTIMEOUT);
  EXPECT_FALSE(B().HoldsWriteLock());
  // The failed attempt gave back the table-write byte it had taken.
  A().ReleaseReadLockB();
  A().WriteLock();
  A().ReleaseWriteLock();
  B().WriteLock();
  EXPECT_TRUE(B().HoldsWriteLock());
  B().ReleaseWriteLock();
}

TEST_F(TwoSessions, AWriterKeepsReadersAndOtherWritersOut) {
  A().WriteLock();
  EXPECT_EQ(CodeOf([&] { B().ReadLockB(); }), QUARRY_LOCKTIMEOUT);
  EXPECT_FALSE(B().HoldsReadLockB());
  EXPECT_EQ(CodeOf([&] { B().WriteLock(); }), QUARRY_LOCKTIMEOUT);
  EXPECT_EQ(CodeOf([&] { B().LockTable(); }), QUARRY_LOCKTIMEOUT);
  A().ReleaseWriteLock();
  B().ReadLockA();
  B().ReleaseReadLockA();
}

TEST_F(TwoSessions, ReadersDoNotBlockEachOther) {
  A().ReadLockA();
  B().ReadLockA();
  B().ReadLockB();  // nothing more while A is held
  EXPECT_FALSE(B().HoldsReadLockB());
  EXPECT_EQ(B().ReadSlotB(), 0);
  A().ReleaseReadLockA();
  B().ReleaseReadLockA();
}

TEST_F(TwoSessions, TableLockKeepsWritersOutButNotReaders) {
  A().LockTable();
  B().ReadLockB();
  B().ReleaseReadLockB();
  EXPECT_EQ(CodeOf([&] { B().WriteLock(); }), QUARRY_LOCKTIMEOUT);
  // The table lock holder's own write lock does not take the byte again.
  A().WriteLock();
  A().ReleaseWriteLock();
  A().UnlockTable();
  B().WriteLock();
  B().ReleaseWriteLock();
}

TEST_F(TwoSessions, RecordUnlocksWaitForTheTableLock) {
  TTableRecords(A()).Insert(CounterRow(A(), 1, 0));
  A().LockTable();
  A().LockRecord(1);
  A().UnlockRecord(1);
  EXPECT_TRUE(A().RecordLocked(1));
  EXPECT_EQ(A().DeferredUnlocks().count(1), 1u);
  two_.Settings().LockRetryCount = 0;
  EXPECT_EQ(CodeOf([&] { B().LockRecord(1); }), QUARRY_RECLOCKFAILED);
  A().UnlockTable();
  EXPECT_FALSE(A().RecordLocked(1));
  B().LockRecord(1);
}

TEST_F(TwoSessions, AChangeIsSeenThroughTheHeaderCounters) {
  TTableRecords ra(A());
  TTableRecords rb(B());
  ra.Insert(CounterRow(A(), 1, 10));
  // B reads and caches the row.
  EXPECT_EQ(CounterOf(B(), rb.Read(1)), 10);
  EXPECT_FALSE(B().CheckForChanges());
  ra.Update(1, CounterRow(A(), 1, 11));
  EXPECT_TRUE(B().ReadLockB());  // the read lock found the change and dropped the caches
  B().ReleaseReadLockB();
  EXPECT_EQ(CounterOf(B(), rb.Read(1)), 11);
  EXPECT_FALSE(B().CheckForChanges());
  ra.Insert(CounterRow(A(), 2, 20));
  EXPECT_EQ(rb.RecordCount(), 2);
  EXPECT_EQ(rb.FindPrimary(CounterRow(B(), 2, 0)), 2);
  ra.Delete(1);
  EXPECT_EQ(rb.RecordCount(), 1);
  EXPECT_EQ(rb.FindPrimary(CounterRow(B(), 1, 0)), 0);
  EXPECT_EQ(rb.Verify(), "");
  // B's insert reuses the slot A freed.
  EXPECT_EQ(rb.Insert(CounterRow(B(), 3, 30)), 1);
  EXPECT_EQ(ra.Verify(), "");
  EXPECT_EQ(ra.RecordCount(), 2);
}

TEST_F(TwoSessions, ARecordLockReportsThatTheCachesWereRefreshed) {
  TTableRecords(A()).Insert(CounterRow(A(), 1, 0));
  (void)TTableRecords(B()).Read(1);
  TTableRecords(A()).Update(1, CounterRow(A(), 1, 1));
  EXPECT_TRUE(B().LockRecord(1));
  B().UnlockRecord(1);
  EXPECT_FALSE(B().LockRecord(1));
}

TEST_F(TwoSessions, KeyViolationChangesNothing) {
  TTableRecords ra(A());
  ra.Insert(CounterRow(A(), 1, 0));
  const std::int32_t autoInc = A().Data().LastAutoIncValue();
  EXPECT_EQ(CodeOf([&] { TTableRecords(B()).Insert(CounterRow(B(), 1, 0)); }), QUARRY_KEYVIOL);
  EXPECT_EQ(TTableRecords(B()).RecordCount(), 1);
  EXPECT_EQ(B().Data().LastAutoIncValue(), autoInc);
  EXPECT_FALSE(B().HoldsWriteLock());
  EXPECT_TRUE(B().LockedRecords().empty());
  EXPECT_EQ(ra.Verify(), "");
}

TEST_F(TwoSessions, StrictChangeDetectionLeavesTheReadLockToTheCaller) {
  two_.Settings().StrictChangeDetection = true;
  TTableRecords(A()).Insert(CounterRow(A(), 1, 0));
  EXPECT_FALSE(B().LockRecord(1));
  EXPECT_FALSE(B().HoldsReadLockB());
  B().UnlockRecord(1);
}

TEST_F(TwoSessions, ClosingATableGivesBackEveryLock) {
  TTableRecords(A()).Insert(CounterRow(A(), 1, 0));
  A().LockRecord(1);
  A().ReadLockA();
  a_.reset();
  B().LockRecord(1);
  B().WriteLock();
  B().ReleaseWriteLock();
}

TEST_F(TwoSessions, ForcedFlushAsksTheSystemToWriteItsBuffers) {
  one_.Settings().ForceBufferFlush = true;
  TTableRecords(A()).Insert(CounterRow(A(), 1, 0));
  // What was flushed survives a crash of the machine.
  a_.reset();
  b_.reset();
  env_.DropUnsyncedData();
  TDataSession fresh(&list_);
  TDataDirectory& dir = fresh.OpenDirectory("Video", "/db");
  TTableUse t(dir, "Films");
  EXPECT_EQ(TTableRecords(*t).RecordCount(), 1);
  EXPECT_EQ(TTableRecords(*t).Verify(), "");
}

// A table with BLOB fields takes its read slot and write region on the BLOB file too, and a
// change of the BLOB file's header counter alone is noticed.
TEST(BlobTable, LocksAndChangeDetectionCoverTheBlobFile) {
  TMemoryEnvironment memory;
  memory.MakeDirectory("/db");
  TFileList list(memory);
  TDataSession one(&list);
  TDataSession two(&list);
  TDataDirectory& dirOne = one.OpenDirectory("Video", "/db");
  TDataDirectory& dirTwo = two.OpenDirectory("Video", "/db");
  TTableDefinition definition = CounterTable();
  definition.Fields.push_back(testing::Field(4, "NOTES", TFieldType::Blob));
  dirOne.CreateTable("Notes", false, definition);
  EXPECT_TRUE(list.Exists("/db/Notes.BLB", false));
  TTableUse a(dirOne, "Notes");
  TTableUse b(dirTwo, "Notes");
  ASSERT_TRUE(a->HasBlobFile());

  a->ReadLockB();
  EXPECT_FALSE(b->Blob()->LockRegion(WriteRegionOffset, WriteRegionLength, true));
  a->ReleaseReadLockB();
  a->WriteLock();
  EXPECT_FALSE(b->Blob()->LockRegion(ReadSlotOffset(1), 1, true));
  a->ReleaseWriteLock();
  EXPECT_TRUE(b->Blob()->LockRegion(WriteRegionOffset, WriteRegionLength, true));
  EXPECT_TRUE(b->Blob()->UnlockRegion(WriteRegionOffset, WriteRegionLength));

  EXPECT_FALSE(b->CheckForChanges());
  a->WriteLock();
  a->Blob()->TouchHeader();
  a->Flush(false, false, false);
  a->ReleaseWriteLock();
  EXPECT_TRUE(b->CheckForChanges());
  EXPECT_EQ(b->Blob()->ChangeCounter(), a->Blob()->ChangeCounter());
}

// A write that fails in the middle of a change raises the write error, gives back every lock
// and leaves nothing of the change in the caches to be written later.
TEST(FailedChange, LeavesTablesConsistentAndUnlocked) {
  for (const int failingWrite : {1, 2}) {
    SCOPED_TRACE(failingWrite);
    TMemoryEnvironment memory;
    TFaultInjectingEnvironment faults(memory);
    memory.MakeDirectory("/db");
    TFileList list(faults);
    TDataSession session(&list);
    TDataDirectory& dir = session.OpenDirectory("Video", "/db");
    dir.CreateTable("Films", false, CounterTable());
    {
      TTableUse t(dir, "Films");
      TTableRecords records(*t);
      records.Insert(CounterRow(*t, 1, 10));
      faults.FailNth(TFaultOperation::kWrite, failingWrite);
      EXPECT_EQ(CodeOf([&] { records.Insert(CounterRow(*t, 2, 20)); }), QUARRY_WRITEERR);
      faults.Clear();
      EXPECT_FALSE(t->HoldsWriteLock());
      EXPECT_TRUE(t->LockedRecords().empty());
      EXPECT_EQ(records.RecordCount(), 1);
      EXPECT_EQ(records.FindPrimary(CounterRow(*t, 2, 0)), 0);
      EXPECT_EQ(records.Verify(), "");
      records.Insert(CounterRow(*t, 3, 30));
      records.Update(1, CounterRow(*t, 1, 11));
      EXPECT_EQ(records.Verify(), "");
    }
    TDataSession fresh(&list);
    TTableUse again(fresh.OpenDirectory("Video", "/db"), "Films");
    TTableRecords records(*again);
    EXPECT_EQ(records.RecordCount(), 2);
    EXPECT_EQ(CounterOf(*again, records.Read(records.FindPrimary(CounterRow(*again, 1, 0)))), 11);
    EXPECT_EQ(records.Verify(), "");
  }
}

}  // namespace
}  // namespace quarry
