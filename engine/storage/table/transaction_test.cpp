// Tests of transactions on a directory: changes stay invisible to another session until
// commit, vanish with rollback (record counts included), commit without the end flag keeps
// the transaction and its table locks, tables opened or closed during a transaction, and a
// transaction that cannot start leaves nothing locked.
#include <gtest/gtest.h>

#include "engine/platform/memory_environment.h"
#include "engine/storage/files/file_list.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/session.h"
#include "engine/storage/table/table.h"
#include "engine/storage/table/table_records.h"
#include "engine/storage/table/table_test_util.h"

namespace quarry {
namespace {

using testing::CodeOf;
using testing::CounterOf;
using testing::CounterRow;
using testing::CounterTable;
using testing::TTableUse;

class Transactions : public ::testing::Test {
 protected:
  Transactions() : list_(env_), one_(&list_), two_(&list_) {
    env_.MakeDirectory("/db");
    dirOne_ = &one_.OpenDirectory("Video", "/db");
    dirTwo_ = &two_.OpenDirectory("Video", "/db");
    dirOne_->CreateTable("Films", false, CounterTable());
    dirOne_->CreateTable("People", false, CounterTable());
    a_ = std::make_unique<TTableUse>(*dirOne_, "Films");
    b_ = std::make_unique<TTableUse>(*dirTwo_, "Films");
    TTableRecords(A()).Insert(CounterRow(A(), 1, 100));
  }
  ~Transactions() override {
    a_.reset();
    b_.reset();
  }
  TDataTable& A() { return **a_; }
  TDataTable& B() { return **b_; }
  std::int32_t CountSeenByB() { return TTableRecords(B()).RecordCount(); }

  TMemoryEnvironment env_;
  TFileList list_;
  TDataSession one_;
  TDataSession two_;
  TDataDirectory* dirOne_ = nullptr;
  TDataDirectory* dirTwo_ = nullptr;
  std::unique_ptr<TTableUse> a_;
  std::unique_ptr<TTableUse> b_;
};

TEST_F(Transactions, ChangesAreInvisibleUntilCommit) {
  dirOne_->StartTransaction();
  EXPECT_TRUE(dirOne_->InTransaction());
  EXPECT_TRUE(A().InTransaction());
  EXPECT_TRUE(A().HoldsTableLock());
  TTableRecords ra(A());
  ra.Insert(CounterRow(A(), 2, 200));
  ra.Insert(CounterRow(A(), 3, 300));
  ra.Update(1, CounterRow(A(), 1, 101));
  EXPECT_EQ(ra.RecordCount(), 3);
  EXPECT_EQ(CountSeenByB(), 1);
  EXPECT_EQ(TTableRecords(B()).FindPrimary(CounterRow(B(), 2, 0)), 0);
  EXPECT_EQ(CounterOf(B(), TTableRecords(B()).Read(1)), 100);
  // The other session cannot write meanwhile.
  EXPECT_EQ(CodeOf([&] { TTableRecords(B()).Insert(CounterRow(B(), 9, 0)); }), QUARRY_LOCKTIMEOUT);
  dirOne_->Commit();
  EXPECT_FALSE(dirOne_->InTransaction());
  EXPECT_FALSE(A().InTransaction());
  EXPECT_FALSE(A().HoldsTableLock());
  EXPECT_EQ(CountSeenByB(), 3);
  EXPECT_EQ(CounterOf(B(), TTableRecords(B()).Read(1)), 101);
  EXPECT_EQ(TTableRecords(B()).Verify(), "");
  TTableRecords(B()).Insert(CounterRow(B(), 9, 0));
}

TEST_F(Transactions, RollbackBringsBackRecordsAndCounts) {
  dirOne_->StartTransaction();
  TTableRecords ra(A());
  ra.Insert(CounterRow(A(), 2, 200));
  ra.Update(1, CounterRow(A(), 1, 101));
  ra.Delete(1);
  EXPECT_EQ(ra.RecordCount(), 1);
  dirOne_->Rollback();
  EXPECT_FALSE(dirOne_->InTransaction());
  EXPECT_FALSE(A().HoldsTableLock());
  EXPECT_EQ(ra.RecordCount(), 1);
  EXPECT_EQ(CounterOf(A(), ra.Read(1)), 100);
  EXPECT_EQ(ra.FindPrimary(CounterRow(A(), 2, 0)), 0);
  EXPECT_EQ(ra.Verify(), "");
  EXPECT_EQ(CountSeenByB(), 1);
  // Both sessions go on writing normally.
  ra.Insert(CounterRow(A(), 2, 200));
  TTableRecords(B()).Insert(CounterRow(B(), 3, 300));
  EXPECT_EQ(ra.RecordCount(), 3);
  EXPECT_EQ(TTableRecords(B()).Verify(), "");
}

TEST_F(Transactions, RecordUnlocksWaitForTheEndOfTheTransaction) {
  dirOne_->StartTransaction();
  TTableRecords(A()).Update(1, CounterRow(A(), 1, 101));
  EXPECT_TRUE(A().RecordLocked(1));
  two_.Settings().LockRetryCount = 0;
  EXPECT_EQ(CodeOf([&] { B().LockRecord(1); }), QUARRY_RECLOCKFAILED);
  dirOne_->Commit();
  EXPECT_FALSE(A().RecordLocked(1));
  B().LockRecord(1);
}

TEST_F(Transactions, CommitWithoutTheEndFlagKeepsTheTransaction) {
  dirOne_->StartTransaction();
  TTableRecords ra(A());
  ra.Insert(CounterRow(A(), 2, 200));
  dirOne_->Commit(false);
  EXPECT_TRUE(dirOne_->InTransaction());
  EXPECT_TRUE(A().InTransaction());
  EXPECT_TRUE(A().HoldsTableLock());
  EXPECT_FALSE(A().HoldsWriteLock());
  EXPECT_FALSE(A().RecordLocked(2));  // the deferred unlocks were done
  EXPECT_EQ(CountSeenByB(), 2);
  EXPECT_EQ(CodeOf([&] { B().WriteLock(); }), QUARRY_LOCKTIMEOUT);
  // A rollback now only undoes what came after the first commit.
  ra.Insert(CounterRow(A(), 3, 300));
  dirOne_->Rollback();
  EXPECT_EQ(ra.RecordCount(), 2);
  EXPECT_EQ(ra.FindPrimary(CounterRow(A(), 2, 0)), 2);
  EXPECT_EQ(ra.FindPrimary(CounterRow(A(), 3, 0)), 0);
  EXPECT_EQ(ra.Verify(), "");
  EXPECT_EQ(CountSeenByB(), 2);
  B().WriteLock();
  B().ReleaseWriteLock();
}

TEST_F(Transactions, TablesOpenedDuringATransactionJoinItAndStayUntilItEnds) {
  dirOne_->StartTransaction();
  {
    TTableUse people(*dirOne_, "People");
    EXPECT_TRUE(people->InTransaction());
    TTableRecords(*people).Insert(CounterRow(*people, 1, 0));
  }
  // Closed by its last cursor, kept by the transaction.
  ASSERT_NE(dirOne_->FindTable("People", false), nullptr);
  TTableUse peopleTwo(*dirTwo_, "People");
  EXPECT_EQ(TTableRecords(*peopleTwo).RecordCount(), 0);
  dirOne_->Commit();
  EXPECT_EQ(dirOne_->FindTable("People", false), nullptr);
  EXPECT_EQ(TTableRecords(*peopleTwo).RecordCount(), 1);
}

TEST_F(Transactions, RollbackClosesTablesNoLongerUsed) {
  dirOne_->StartTransaction();
  {
    TTableUse people(*dirOne_, "People");
    TTableRecords(*people).Insert(CounterRow(*people, 1, 0));
  }
  dirOne_->Rollback();
  EXPECT_EQ(dirOne_->FindTable("People", false), nullptr);
  TTableUse people(*dirOne_, "People");
  EXPECT_EQ(TTableRecords(*people).RecordCount(), 0);
  EXPECT_EQ(TTableRecords(*people).Verify(), "");
}

TEST_F(Transactions, AFailedStartRollsBackEveryTable) {
  TTableUse peopleOne(*dirOne_, "People");
  TTableUse peopleTwo(*dirTwo_, "People");
  peopleTwo->LockTable();
  EXPECT_EQ(CodeOf([&] { dirOne_->StartTransaction(); }), QUARRY_LOCKTIMEOUT);
  EXPECT_FALSE(dirOne_->InTransaction());
  EXPECT_FALSE(A().InTransaction());
  EXPECT_FALSE(A().HoldsTableLock());
  EXPECT_FALSE(peopleOne->InTransaction());
  // Films is free for the other session again.
  B().WriteLock();
  B().ReleaseWriteLock();
  peopleTwo->UnlockTable();
}

TEST_F(Transactions, StartingTwiceDoesNothing) {
  dirOne_->StartTransaction();
  TTableRecords(A()).Insert(CounterRow(A(), 2, 200));
  dirOne_->StartTransaction();
  EXPECT_EQ(TTableRecords(A()).RecordCount(), 2);
  dirOne_->Rollback();
  EXPECT_EQ(TTableRecords(A()).RecordCount(), 1);
  // Commit and rollback outside a transaction do nothing.
  dirOne_->Commit();
  dirOne_->Rollback();
  EXPECT_EQ(TTableRecords(A()).RecordCount(), 1);
}

TEST_F(Transactions, ManyChangesStayInTheCachesUntilCommit) {
  one_.Settings().RecordBufferBytes = 1024;  // a small cache that must grow
  dirOne_->StartTransaction();
  TTableRecords ra(A());
  for (int id = 2; id <= 600; ++id) ra.Insert(CounterRow(A(), id, id));
  EXPECT_EQ(CountSeenByB(), 1);
  dirOne_->Commit();
  EXPECT_EQ(CountSeenByB(), 600);
  EXPECT_EQ(TTableRecords(B()).Verify(), "");
}

}  // namespace
}  // namespace quarry
