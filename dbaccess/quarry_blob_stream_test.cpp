// Blob streams over table and query datasets: writing a memo in insert and edit state and
// reading it back after the post, cancel dropping what was written, a second dataset reading
// a rewritten memo after its one refresh, canned and live query results, the access
// messages, and many posts not exhausting the cursor's open-BLOB limit.
#include "dbaccess/quarry_blob_stream.h"

#include <gtest/gtest.h>

#include "dbaccess/access_test_support.h"
#include "dbaccess/quarry_database.h"
#include "dbaccess/quarry_query.h"
#include "dbaccess/quarry_table.h"

namespace quarry {
namespace {

using testing::AccessFixture;
using testing::ErrorOf;

class BlobStreamTest : public AccessFixture {
 protected:
  void SetUp() override {
    video_.SetDatabaseName("Video");
    video_.SetDirectory("/db");
    TQuarryTable table;
    table.SetDatabaseName("Video");
    table.SetTableName("NOTES");
    table.FieldDefs() = {{"ID", TDataFieldType::ftInteger, 0, 0, true}, {"BODY", TDataFieldType::ftMemo}};
    table.CreateIndexDefs() = {{"", "ID", true, true}};
    table.CreateTable();
  }

  std::unique_ptr<TQuarryTable> Notes() {
    auto table = std::make_unique<TQuarryTable>();
    table->SetDatabaseName("Video");
    table->SetTableName("NOTES");
    table->Open();
    return table;
  }

  static void WriteBody(TQuarryDataSet& set, const std::string& text) {
    TQuarryBlobStream stream(set.FieldByName("BODY"), TBlobStreamMode::bmWrite);
    // Two writes, the second one past a seek back, to show positioning.
    stream.Write(text.data(), static_cast<std::int32_t>(text.size()));
    if (!text.empty()) {
      stream.Seek(0, TSeekOrigin::soBeginning);
      stream.Write(text.data(), 1);
      EXPECT_EQ(stream.Position(), 1);
    }
  }

  static void Add(TQuarryDataSet& set, int id, const std::string& text) {
    set.Insert();
    set.FieldByName("ID").SetAsInteger(id);
    WriteBody(set, text);
    set.Post();
  }

  static std::string Body(TQuarryDataSet& set) {
    TQuarryBlobStream stream(set.FieldByName("BODY"), TBlobStreamMode::bmRead);
    return stream.ReadAll();
  }

  TQuarryDatabase video_;
};

TEST_F(BlobStreamTest, WrittenMemosReadBackAfterPostAndCancelDropsChanges) {
  auto notes = Notes();
  const std::string long_text(3000, 'm');
  Add(*notes, 1, "first note");
  Add(*notes, 2, long_text);
  Add(*notes, 3, "");
  notes->First();
  EXPECT_EQ(Body(*notes), "first note");
  EXPECT_FALSE(notes->FieldByName("BODY").IsNull());
  EXPECT_EQ(notes->FieldByName("BODY").AsString(), "first note");
  notes->Next();
  EXPECT_EQ(Body(*notes), long_text);
  notes->Next();
  EXPECT_EQ(Body(*notes), "");
  EXPECT_TRUE(notes->FieldByName("BODY").IsNull());

  notes->First();
  notes->Edit();
  WriteBody(*notes, "rewritten");
  notes->Post();
  EXPECT_EQ(Body(*notes), "rewritten");

  notes->Edit();
  WriteBody(*notes, "never posted");
  notes->Cancel();
  EXPECT_EQ(Body(*notes), "rewritten");
  notes->Refresh();
  EXPECT_EQ(Body(*notes), "rewritten");

  // Reading in pieces and seeking from the end.
  TQuarryBlobStream stream(notes->FieldByName("BODY"), TBlobStreamMode::bmRead);
  EXPECT_EQ(stream.Size(), 9);
  EXPECT_EQ(stream.Seek(-3, TSeekOrigin::soEnd), 6);
  char tail[8] = {};
  EXPECT_EQ(stream.Read(tail, 8), 3);
  EXPECT_EQ(std::string(tail), "ten");
  EXPECT_EQ(stream.Read(tail, 8), 0);  // the end is no error
  EXPECT_EQ(stream.Write("x", 1), 0);  // nor is writing allowed
}

TEST_F(BlobStreamTest, ASecondDatasetReadsTheRewrittenMemo) {
  auto writer = Notes();
  Add(*writer, 1, "old text");
  auto reader = Notes();
  reader->First();
  EXPECT_EQ(Body(*reader), "old text");
  writer->First();
  writer->Edit();
  WriteBody(*writer, "new text, longer than before");
  writer->Post();
  // The reader's record names the old BLOB: the stream refreshes once and reads the new one.
  EXPECT_EQ(Body(*reader), "new text, longer than before");
}

TEST_F(BlobStreamTest, QueryResultsReadMemosAndLiveResultsWriteThem) {
  {
    auto notes = Notes();
    Add(*notes, 1, "alpha");
    Add(*notes, 2, "beta");
  }
  TQuarryQuery canned;
  canned.SetDatabaseName("Video");
  canned.AddSQL("SELECT ID, BODY FROM NOTES ORDER BY ID DESC");
  canned.Open();
  EXPECT_EQ(Body(canned), "beta");
  canned.Next();
  EXPECT_EQ(Body(canned), "alpha");
  canned.Close();

  TQuarryQuery live;
  live.SetDatabaseName("Video");
  live.SetRequestLive(true);
  live.AddSQL("SELECT ID, BODY FROM NOTES");
  live.Open();
  live.Edit();
  WriteBody(live, "gamma");
  live.Post();
  live.Close();
  auto notes = Notes();
  notes->First();
  EXPECT_EQ(Body(*notes), "gamma");
}

TEST_F(BlobStreamTest, AccessRulesAndEngineCodes) {
  auto notes = Notes();
  Add(*notes, 1, "text");
  notes->First();
  EXPECT_EQ(ErrorOf([&] { TQuarryBlobStream s(notes->FieldByName("BODY"), TBlobStreamMode::bmWrite); }),
            "Table is not in edit or insert mode.");
  notes->Edit();
  notes->FieldByName("BODY").SetReadOnly(true);
  EXPECT_EQ(ErrorOf([&] { TQuarryBlobStream s(notes->FieldByName("BODY"), TBlobStreamMode::bmWrite); }),
            "Field BODY cannot be modified.");
  notes->FieldByName("BODY").SetReadOnly(false);
  notes->Cancel();
  EXPECT_NE(ErrorOf([&] { TQuarryBlobStream s(notes->FieldByName("ID"), TBlobStreamMode::bmRead); }).find("10753"),
            std::string::npos);
}

TEST_F(BlobStreamTest, ManyPostsDoNotUseUpTheOpenBlobs) {
  auto notes = Notes();
  for (int id = 1; id <= 200; ++id) Add(*notes, id, "note " + std::to_string(id));
  notes->Last();
  EXPECT_EQ(Body(*notes), "note 200");
  EXPECT_EQ(notes->Cursor()->OpenBlobCount(), 0);
}

}  // namespace
}  // namespace quarry
