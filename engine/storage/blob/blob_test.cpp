// Tests of BLOB storage: the block chains of the BLOB file as values of every size go in,
// shrink, grow and go away (free-chain reuse), the cursor's BLOB operations and their codes,
// posting and cancelling, other cursors and sessions seeing rewritten BLOBs, encrypted
// tables, and damaged files giving their codes instead of crashing or hanging.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/platform/memory_environment.h"
#include "engine/storage/blob/blob_file.h"
#include "engine/storage/cursor/cursor_test_util.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/files/file_list.h"
#include "engine/storage/files/scramble.h"
#include "engine/storage/maintenance/table_maintenance.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/session.h"
#include "engine/storage/table/table.h"
#include "engine/values/byte_image.h"

namespace quarry {
namespace {

using testing::CodeOf;
using testing::Field;
using testing::MakeIndex;

using TBytes = std::vector<std::uint8_t>;

constexpr int kMemo = 2;
constexpr int kPicture = 3;

TBytes Text(const std::string& s) { return TBytes(s.begin(), s.end()); }

TBytes Pattern(std::size_t size, int seed = 0) {
  TBytes b(size);
  for (std::size_t i = 0; i < size; ++i)
    b[i] = static_cast<std::uint8_t>((i * 7 + static_cast<std::size_t>(seed)) % 251);
  return b;
}

class BlobTest : public ::testing::Test {
 protected:
  BlobTest() : list_(env_), session_(&list_) {
    env_.MakeDirectory("/db");
    env_.MakeDirectory("/tmp");
    session_.Settings().LockRetryCount = 1;
    session_.Settings().LockWaitTime = 1;
    directory_ = &session_.OpenDirectory("Notes", "/db");
  }

  // NOTES: ID auto-increment (primary), MEMO memo, PICTURE graphic.
  void CreateNotes(bool encrypted = false) {
    TCreateTableDefinition d;
    TFieldDefinition id = Field(1, "ID", TFieldType::Integer);
    id.SubType = subtype::AutoInc;
    TFieldDefinition memo = Field(kMemo, "MEMO", TFieldType::Blob);
    memo.SubType = subtype::Memo;
    TFieldDefinition picture = Field(kPicture, "PICTURE", TFieldType::Blob);
    picture.SubType = subtype::Graphic;
    d.Fields = {id, memo, picture};
    d.Primary = MakeIndex("", {1}, true);
    if (encrypted) {
      d.Encrypted = true;
      d.Password = "secret";
      session_.AddPassword("secret");
    }
    TDataCursor c(*directory_);
    c.SetTableName("NOTES");
    c.CreateTable(d);
  }

  std::unique_ptr<TDataCursor> Open(TDataDirectory* directory = nullptr) {
    auto c = std::make_unique<TDataCursor>(directory != nullptr ? *directory : *directory_);
    c->SetTableName("NOTES");
    c->Open();
    return c;
  }

  static TBytes Buffer(TDataCursor& c) {
    TBytes b(static_cast<std::size_t>(c.RecordBufferSize()), 0);
    c.InitRecord(b.data());
    return b;
  }

  // Replaces the field's value in the record buffer (opened for writing, truncated, written).
  static void Put(TDataCursor& c, TBytes& record, int field, const TBytes& value) {
    ASSERT_EQ(c.OpenBlob(field, record.data(), true), 0);
    ASSERT_EQ(c.TruncateBlob(field, record.data(), 0), 0);
    if (!value.empty()) {
      ASSERT_EQ(c.WriteBlob(field, record.data(), 0, static_cast<std::int64_t>(value.size()), value.data()), 0);
    }
  }

  // Inserts a record with the memo value; returns its identifier.
  static std::int32_t Insert(TDataCursor& c, const TBytes& memo) {
    TBytes b = Buffer(c);
    Put(c, b, kMemo, memo);
    c.InsertRecord(b.data());
    EXPECT_EQ(c.CloseBlob(kMemo, b.data()), 0);
    return RecordIdentifier(b.data());
  }

  // The memo of the current record, read whole.
  static TBytes Memo(TDataCursor& c) {
    TBytes b(static_cast<std::size_t>(c.RecordBufferSize()));
    EXPECT_EQ(c.GetCurrentRecord(b.data()), 0);
    TBytes value;
    c.ReadBlobValue(kMemo, b.data(), value);
    return value;
  }

  // Rewrites the current record's memo through the cursor.
  static void UpdateMemo(TDataCursor& c, const TBytes& memo) {
    TBytes b(static_cast<std::size_t>(c.RecordBufferSize()));
    ASSERT_EQ(c.GetCurrentRecord(b.data()), 0);
    Put(c, b, kMemo, memo);
    c.UpdateRecord(b.data());
    EXPECT_EQ(c.CloseBlob(kMemo, b.data()), 0);
  }

  static const TBlobFileHeader& BlobHeader(TDataCursor& c) { return c.Table().Blob()->Header(); }

  // Patches bytes of the (unencrypted) BLOB file while no cursor has the table open.
  // Damages the BLOB file behind the engine's back: a table kept open between uses would not
  // notice (nothing moved a change counter), so the kept table is closed first.
  void Patch(std::int64_t offset, const TBytes& bytes) {
    directory_->DropKept("NOTES", false);
    TFileHandler file("/db/NOTES.BLB", false, &list_);
    file.Open();
    file.WriteAt(offset, bytes.data(), static_cast<std::int64_t>(bytes.size()));
    file.Close();
  }
  static TBytes Int32(std::int32_t v) {
    TBytes b(4);
    bytes::Store<std::int32_t>(b.data(), v);
    return b;
  }
  static std::int64_t BlockAt(int n) { return 512 + static_cast<std::int64_t>(n - 1) * 512; }

  TMemoryEnvironment env_;
  TFileList list_;
  TDataSession session_;
  TDataDirectory* directory_ = nullptr;
};

TEST_F(BlobTest, ValuesTakeTheBlocksTheirSizeNeedsAndReadBackWhole) {
  struct Case {
    std::size_t size;
    std::int32_t blocks;
  };
  // 494 data bytes fit a 512-byte block.
  const Case cases[] = {{0, 0}, {1, 1}, {494, 1}, {495, 2}, {988, 2}, {989, 3}, {20000, 41}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.size);
    CreateNotes();
    {
      auto c = Open();
      const TBytes value = Pattern(k.size, static_cast<int>(k.size));
      Insert(*c, value);
      EXPECT_EQ(c->Table().Blob()->BlockCount(), k.blocks);
      ASSERT_EQ(c->First(), 0);
      EXPECT_EQ(Memo(*c), value);
      bool isNull = false;
      c->GetField(kMemo, c->CurrentRecord(), isNull, nullptr);
      EXPECT_EQ(isNull, k.size == 0);
    }
    // Read again from the file by a fresh table object.
    {
      auto c = Open();
      ASSERT_EQ(c->First(), 0);
      EXPECT_EQ(Memo(*c), Pattern(k.size, static_cast<int>(k.size)));
      c->Close();
    }
    directory_->DeleteTable("NOTES", false);
  }
}

TEST_F(BlobTest, ShrinkingFreesBlocksThatTheNextGrowingBlobReusesFirst) {
  CreateNotes();
  auto c = Open();
  Insert(*c, Pattern(1200));  // blocks 1..3
  ASSERT_EQ(c->First(), 0);
  UpdateMemo(*c, Pattern(10, 3));
  EXPECT_EQ(Memo(*c), Pattern(10, 3));
  EXPECT_EQ(c->Table().Blob()->BlockCount(), 3);
  const std::int32_t freed = BlobHeader(*c).FirstFree;
  EXPECT_TRUE(freed == 2 || freed == 3) << freed;

  Insert(*c, Pattern(900, 5));  // two blocks: both come from the free chain
  EXPECT_EQ(c->Table().Blob()->BlockCount(), 3);
  EXPECT_EQ(BlobHeader(*c).FirstFree, 0);
  ASSERT_EQ(c->Last(), 0);
  EXPECT_EQ(Memo(*c), Pattern(900, 5));
  ASSERT_EQ(c->First(), 0);
  EXPECT_EQ(Memo(*c), Pattern(10, 3));

  // Growing reuses the record's own chain and appends.
  UpdateMemo(*c, Pattern(1000, 9));
  EXPECT_EQ(c->Table().Blob()->BlockCount(), 5);
  EXPECT_EQ(Memo(*c), Pattern(1000, 9));
  EXPECT_EQ(c->Verify(), "");
}

TEST_F(BlobTest, EmptyValuesAndDeletedRecordsGiveTheirBlocksBack) {
  CreateNotes();
  auto c = Open();
  Insert(*c, Pattern(600));
  Insert(*c, Pattern(100));
  ASSERT_EQ(c->First(), 0);
  UpdateMemo(*c, {});
  bool isNull = false;
  c->GetField(kMemo, c->CurrentRecord(), isNull, nullptr);
  EXPECT_TRUE(isNull);
  EXPECT_EQ(GetFieldBlob(c->CurrentRecord(), c->GetFieldDefinition(kMemo)).FirstBlock, 0);
  EXPECT_NE(BlobHeader(*c).FirstFree, 0);

  ASSERT_EQ(c->Last(), 0);
  const std::int32_t block = GetFieldBlob(c->CurrentRecord(), c->GetFieldDefinition(kMemo)).FirstBlock;
  c->DeleteRecord();
  EXPECT_EQ(BlobHeader(*c).FirstFree, block);
  // Three freed blocks serve a three-block value without growing the file.
  Insert(*c, Pattern(1400));
  EXPECT_EQ(c->Table().Blob()->BlockCount(), 3);
  EXPECT_EQ(BlobHeader(*c).FirstFree, 0);
}

TEST_F(BlobTest, OperationCodes) {
  CreateNotes();
  auto c = Open();
  Insert(*c, Text("hello world"));
  ASSERT_EQ(c->First(), 0);
  TBytes b(static_cast<std::size_t>(c->RecordBufferSize()));
  ASSERT_EQ(c->GetCurrentRecord(b.data()), 0);
  std::uint8_t out[32] = {};
  std::int64_t read = 0;
  std::int64_t size = 0;

  EXPECT_EQ(c->OpenBlob(1, b.data(), false), QUARRY_NOTABLOB);
  EXPECT_EQ(c->OpenBlob(9, b.data(), false), QUARRY_NOTABLOB);
  EXPECT_EQ(c->ReadBlob(kMemo, b.data(), 0, 5, out, read), QUARRY_INVALIDBLOBHANDLE);
  EXPECT_EQ(c->CloseBlob(kMemo, b.data()), QUARRY_INVALIDBLOBHANDLE);

  ASSERT_EQ(c->OpenBlob(kMemo, b.data(), false, &size), 0);
  EXPECT_EQ(size, 11);
  EXPECT_LT(GetFieldBlob(b.data(), c->GetFieldDefinition(kMemo)).FirstBlock, 0);
  EXPECT_EQ(c->ReadBlob(kMemo, b.data(), 6, 100, out, read), 0);  // shortened to the end
  EXPECT_EQ(read, 5);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 5), "world");
  EXPECT_EQ(c->ReadBlob(kMemo, b.data(), 11, 1, out, read), QUARRY_ENDOFBLOB);
  EXPECT_EQ(c->ReadBlob(kMemo, b.data(), -1, 1, out, read), QUARRY_INVALIDBLOBOFFSET);
  EXPECT_EQ(c->WriteBlob(kMemo, b.data(), 0, 1, out), QUARRY_OSEACCES);  // opened for reading

  // A second open through the same buffer shares it; the first close keeps it.
  const std::int32_t handle = GetFieldBlob(b.data(), c->GetFieldDefinition(kMemo)).FirstBlock;
  ASSERT_EQ(c->OpenBlob(kMemo, b.data(), true), 0);
  EXPECT_EQ(GetFieldBlob(b.data(), c->GetFieldDefinition(kMemo)).FirstBlock, handle);
  EXPECT_EQ(c->OpenBlobCount(), 1);
  EXPECT_EQ(c->WriteBlob(kMemo, b.data(), 20, 2, Text("!!").data()), 0);  // grows, zero-filled
  EXPECT_EQ(c->BlobSize(kMemo, b.data(), size), 0);
  EXPECT_EQ(size, 22);
  EXPECT_EQ(c->CloseBlob(kMemo, b.data()), 0);
  EXPECT_EQ(c->BlobSize(kMemo, b.data(), size), 0);
  // The last close drops unposted changes and gives the record its reference back.
  EXPECT_EQ(c->CloseBlob(kMemo, b.data()), 0);
  EXPECT_EQ(c->OpenBlobCount(), 0);
  EXPECT_GT(GetFieldBlob(b.data(), c->GetFieldDefinition(kMemo)).FirstBlock, 0);
  EXPECT_EQ(Memo(*c), Text("hello world"));
  // A stale handle left in a buffer is refused at post.
  ASSERT_EQ(c->OpenBlob(kMemo, b.data(), true), 0);
  TBytes stale = b;
  EXPECT_EQ(c->CloseBlob(kMemo, b.data()), 0);
  EXPECT_EQ(CodeOf([&] { c->UpdateRecord(stale.data()); }), QUARRY_INVALIDBLOBHANDLE);
  EXPECT_EQ(Memo(*c), Text("hello world"));
}

TEST_F(BlobTest, TheHundredTwentyNinthOpenBlobIsRefused) {
  CreateNotes();
  auto c = Open();
  std::vector<TBytes> buffers(129, Buffer(*c));
  for (int i = 0; i < 128; ++i) ASSERT_EQ(c->OpenBlob(kMemo, buffers[static_cast<std::size_t>(i)].data(), false), 0);
  EXPECT_EQ(c->OpenBlob(kMemo, buffers[128].data(), false), QUARRY_OPENBLOBLIMIT);
  EXPECT_EQ(c->OpenBlob(kMemo, buffers[0].data(), false), 0);  // shared, not new
  EXPECT_EQ(c->CloseBlob(kMemo, buffers[5].data()), 0);
  EXPECT_EQ(c->OpenBlob(kMemo, buffers[128].data(), false), 0);
  c->Close();  // closing drops every buffer
  c->Open();
  EXPECT_EQ(c->OpenBlobCount(), 0);
}

TEST_F(BlobTest, InsertCopiesAnotherRecordsBlobInsteadOfSharingItsChain) {
  CreateNotes();
  auto c = Open();
  Insert(*c, Pattern(700));
  ASSERT_EQ(c->First(), 0);
  TBytes copy(static_cast<std::size_t>(c->RecordBufferSize()));
  ASSERT_EQ(c->GetCurrentRecord(copy.data()), 0);
  c->InsertRecord(copy.data());
  ASSERT_EQ(c->First(), 0);
  c->DeleteRecord();
  ASSERT_EQ(c->First(), 0);
  EXPECT_EQ(Memo(*c), Pattern(700));
}

TEST_F(BlobTest, OtherCursorsAndSessionsSeeRewrittenBlobs) {
  CreateNotes();
  auto writer = Open();
  Insert(*writer, Text("first"));
  auto reader = Open();
  ASSERT_EQ(reader->First(), 0);
  TBytes stale(static_cast<std::size_t>(reader->RecordBufferSize()));
  ASSERT_EQ(reader->GetCurrentRecord(stale.data()), 0);

  TDataSession other(&list_);
  other.Settings().LockRetryCount = 1;
  other.Settings().LockWaitTime = 1;
  auto distant = Open(&other.OpenDirectory("Notes", "/db"));
  ASSERT_EQ(distant->First(), 0);
  EXPECT_EQ(Memo(*distant), Text("first"));

  ASSERT_EQ(writer->First(), 0);
  UpdateMemo(*writer, Text("second, a little longer"));
  // The reader's copy of the record names the old change number: the blocks were rewritten.
  EXPECT_EQ(reader->OpenBlob(kMemo, stale.data(), false), QUARRY_KEYORRECDELETED);
  ASSERT_EQ(reader->First(), 0);
  EXPECT_EQ(Memo(*reader), Text("second, a little longer"));
  distant->Refresh();
  ASSERT_EQ(distant->First(), 0);
  EXPECT_EQ(Memo(*distant), Text("second, a little longer"));

  // And the other way round, from the other session.
  UpdateMemo(*distant, Pattern(3000));
  writer->Refresh();
  ASSERT_EQ(writer->First(), 0);
  EXPECT_EQ(Memo(*writer), Pattern(3000));
}

TEST_F(BlobTest, TransactionsKeepBlobChangesUntilCommitAndRollbackDropsThem) {
  CreateNotes();
  auto c = Open();
  Insert(*c, Text("before"));
  TDataSession other(&list_);
  auto reader = Open(&other.OpenDirectory("Notes", "/db"));

  directory_->StartTransaction();
  ASSERT_EQ(c->First(), 0);
  UpdateMemo(*c, Pattern(1500));
  Insert(*c, Pattern(800, 4));
  EXPECT_EQ(Memo(*c), Pattern(800, 4));  // our own changes are seen from the cache
  directory_->Rollback();
  c->Refresh();
  ASSERT_EQ(c->First(), 0);
  EXPECT_EQ(Memo(*c), Text("before"));
  EXPECT_EQ(c->RecordCount(), 1);
  EXPECT_EQ(c->Table().Blob()->BlockCount(), 1);

  directory_->StartTransaction();
  UpdateMemo(*c, Pattern(1500));
  directory_->Commit();
  reader->Refresh();
  ASSERT_EQ(reader->First(), 0);
  EXPECT_EQ(Memo(*reader), Pattern(1500));
}

TEST_F(BlobTest, EncryptedTablesScrambleHeaderAndBlocks) {
  CreateNotes(true);
  const std::string secret = "a memo nobody should read in the file";
  {
    auto c = Open();
    Insert(*c, Text(secret));
  }
  TFileHandler file("/db/NOTES.BLB", false, &list_);
  file.Open();
  std::string raw(static_cast<std::size_t>(file.Size()), '\0');
  file.ReadAt(0, raw.data(), static_cast<std::int64_t>(raw.size()));
  file.Close();
  EXPECT_EQ(raw.find("nobody"), std::string::npos);
  EXPECT_NE(raw[8], 5);  // the version byte is scrambled too
  auto c = Open();
  ASSERT_EQ(c->First(), 0);
  EXPECT_EQ(Memo(*c), Text(secret));
  EXPECT_EQ(c->Table().Blob()->Header().Version, 5);
}

TEST_F(BlobTest, RestructureKeepsBlobValues) {
  struct Case {
    const char* name;
    std::int32_t blockSize;
    bool encrypt;
  };
  // The same block size carries the file itself; another size or scrambling copies values.
  const Case cases[] = {{"same file", 512, false}, {"bigger blocks", 1024, false}, {"encrypted", 512, true}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    CreateNotes();
    std::vector<TBytes> values = {Pattern(10), {}, Pattern(3000, 1), Text("memo")};
    {
      auto c = Open();
      for (const TBytes& v : values) Insert(*c, v);
      ASSERT_EQ(c->First(), 0);
      UpdateMemo(*c, Pattern(700, 2));  // a rewritten value with a later change number
      values[0] = Pattern(700, 2);
    }
    TRestructureRequest r;
    {
      auto c = Open();
      r.Table.Fields = c->TableFields();
      c->Close();
    }
    TFieldDefinition seen = Field(0, "SEEN", TFieldType::Boolean);
    r.Table.Fields.push_back(seen);
    r.Table.Primary = MakeIndex("", {1}, true);
    r.Table.BlobBlockSize = k.blockSize;
    if (k.encrypt) {
      r.Table.Encrypted = true;
      r.Table.Password = "secret";
      session_.AddPassword("secret");
    }
    TTableMaintenance maintenance(*directory_, "NOTES", false);
    ASSERT_EQ(maintenance.RestructureTable(r, false, true, false), TRestructureOutcome::DataRebuilt);
    auto c = Open();
    EXPECT_EQ(c->TableInfo().BlobBlockSize, k.blockSize);
    std::size_t i = 0;
    for (TEngineErrorCode code = c->First(); code == 0; code = c->Next(nullptr), ++i) {
      ASSERT_LT(i, values.size());
      EXPECT_EQ(Memo(*c), values[i]) << i;
    }
    EXPECT_EQ(i, values.size());
    // New values never reuse a change number the carried references hold.
    ASSERT_EQ(c->First(), 0);
    const std::int32_t kept = GetFieldBlob(c->CurrentRecord(), c->GetFieldDefinition(kMemo)).ChangeNumber;
    Insert(*c, Text("after"));
    ASSERT_EQ(c->Last(), 0);
    EXPECT_GT(GetFieldBlob(c->CurrentRecord(), c->GetFieldDefinition(kMemo)).ChangeNumber, kept);
    c->Close();
    directory_->DeleteTable("NOTES", false);
  }
}

TEST_F(BlobTest, EmptyTableEmptiesTheBlobFile) {
  CreateNotes();
  auto c = std::make_unique<TDataCursor>(*directory_);
  c->SetTableName("NOTES");
  c->SetExclusive(true);
  c->Open();
  Insert(*c, Pattern(2000));
  c->EmptyTable();
  EXPECT_EQ(c->Table().Blob()->BlockCount(), 0);
  EXPECT_EQ(c->Table().Blob()->Size(), 512);
  Insert(*c, Pattern(30));
  ASSERT_EQ(c->First(), 0);
  EXPECT_EQ(Memo(*c), Pattern(30));
  EXPECT_EQ(c->Table().Blob()->BlockCount(), 1);
}

TEST_F(BlobTest, DamagedFilesGiveTheirCodes) {
  struct Case {
    const char* name;
    std::int64_t offset;
    TBytes bytes;
    bool atOpen;  // the table's open fails, otherwise opening the BLOB
    int code;
  };
  // Three records: a 3-block memo in blocks 1..3, then one-block memos in 4 and 5.
  const Case cases[] = {
      {"version", 8, {4}, true, QUARRY_OLDVERSION},
      {"free head past the end", 9, Int32(6), true, QUARRY_HEADERCORRUPT},
      {"free head in an empty file", 9, {1, 0, 0, 0, 1, 0, 0, 0}, true, QUARRY_HEADERCORRUPT},
      {"link past the end", BlockAt(1) + 4, Int32(99), false, QUARRY_MEMOCORRUPT},
      {"negative link", BlockAt(1) + 4, Int32(-3), false, QUARRY_MEMOCORRUPT},
      {"chain cut short", BlockAt(2) + 4, Int32(0), false, QUARRY_ENDOFBLOB},
      {"loop", BlockAt(2) + 4, Int32(1), false, QUARRY_MEMOCORRUPT},
      {"foreign change number", BlockAt(2) + 10, Int32(77), false, QUARRY_KEYORRECDELETED},
      {"absurd length", BlockAt(1) + 14, Int32(INT32_MAX), false, QUARRY_MEMOCORRUPT},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    CreateNotes();
    {
      auto c = Open();
      Insert(*c, Pattern(1200));
      Insert(*c, Pattern(10));
      Insert(*c, Pattern(20));
    }
    Patch(k.offset, k.bytes);
    auto c = std::make_unique<TDataCursor>(*directory_);
    c->SetTableName("NOTES");
    if (k.atOpen) {
      EXPECT_EQ(CodeOf([&] { c->Open(); }), k.code);
    } else {
      c->Open();
      ASSERT_EQ(c->First(), 0);
      TBytes b(static_cast<std::size_t>(c->RecordBufferSize()));
      ASSERT_EQ(c->GetCurrentRecord(b.data()), 0);
      EXPECT_EQ(c->OpenBlob(kMemo, b.data(), false), k.code);
      EXPECT_EQ(CodeOf([&] {
                  TBytes v;
                  c->ReadBlobValue(kMemo, b.data(), v);
                }),
                k.code);
      // Deleting the record leaves a damaged chain where it is instead of freeing blocks of
      // other values; the others still read.
      c->DeleteRecord();
      ASSERT_EQ(c->First(), 0);
      EXPECT_EQ(Memo(*c), Pattern(10));
      Insert(*c, Pattern(2000));
      ASSERT_EQ(c->Last(), 0);
      EXPECT_EQ(Memo(*c), Pattern(2000));
      ASSERT_EQ(c->First(), 0);
      EXPECT_EQ(Memo(*c), Pattern(10));
    }
    c->Close();
    directory_->DeleteTable("NOTES", false);
  }
}

}  // namespace
}  // namespace quarry
