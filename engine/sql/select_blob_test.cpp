// SELECT over BLOB columns: canned results copy memo and binary values whole into their own
// BLOB file (plain columns, UNION parts, INTO tables), live results read them through the
// source cursor, and conditions over memos see their text.
#include <gtest/gtest.h>

#include "engine/sql/select_test_support.h"

namespace quarry {
namespace {

using select_testing::Column;
using select_testing::IndexOn;

using TBytes = std::vector<std::uint8_t>;

TBytes Bytes(const std::string& s) { return TBytes(s.begin(), s.end()); }

std::string LongText(std::size_t size) {
  std::string s;
  while (s.size() < size) s += "a long memo line " + std::to_string(s.size()) + "\n";
  s.resize(size);
  return s;
}

class SelectBlobs : public ::testing::Test, public select_testing::TSelectFixture {
 protected:
  SelectBlobs() {
    TFieldDefinition body = Column(3, "BODY", TFieldType::Blob);
    body.SubType = subtype::Memo;
    TFieldDefinition data = Column(4, "DATA", TFieldType::Blob);
    data.SubType = subtype::Binary;
    MakeTable("NOTES", {Column(1, "ID", TFieldType::Integer), Column(2, "TITLE", TFieldType::String, 20), body, data},
              IndexOn("", {1}, true), {}, {});
    Bodies = {"the quick brown fox", "", LongText(5000), "jumps over"};
    TDataCursor cursor(*Database);
    cursor.SetTableName("NOTES");
    cursor.Open();
    TBytes record(static_cast<std::size_t>(cursor.RecordBufferSize()));
    for (std::size_t i = 0; i < Bodies.size(); ++i) {
      cursor.InitRecord(record.data());
      const std::int32_t id = static_cast<std::int32_t>(i + 1);
      cursor.PutField(1, record.data(), reinterpret_cast<const std::uint8_t*>(&id));
      const std::string title = "note " + std::to_string(id);
      cursor.PutField(2, record.data(), reinterpret_cast<const std::uint8_t*>(title.c_str()));
      Write(cursor, record, 3, Bytes(Bodies[i]));
      const TBytes data = {0, static_cast<std::uint8_t>(id), 0, 255};
      Write(cursor, record, 4, data);
      cursor.InsertRecord(record.data(), false);
      cursor.CloseBlob(3, record.data());
      cursor.CloseBlob(4, record.data());
    }
  }

  static void Write(TDataCursor& cursor, TBytes& record, int field, const TBytes& value) {
    ASSERT_EQ(cursor.OpenBlob(field, record.data(), true), 0);
    if (!value.empty()) {
      ASSERT_EQ(cursor.WriteBlob(field, record.data(), 0, static_cast<std::int64_t>(value.size()), value.data()), 0);
    }
  }

  // "id:body" for each row of the statement's result (the body field by name).
  std::vector<std::string> Bodies_Of(const std::string& sql, const char* field = "BODY") {
    TQueryStatement statement(Database);
    statement.Prepare(sql);
    TDataCursor* cursor = statement.Execute();
    std::vector<std::string> rows;
    if (cursor == nullptr) return rows;
    const int bodyNo = cursor->GetFieldDefinition(field).FieldNo;
    const TFieldDefinition& id = cursor->GetFieldDefinition("ID");
    TBytes record(static_cast<std::size_t>(cursor->RecordBufferSize()));
    cursor->Home();
    while (cursor->Next(record.data()) == 0) {
      TBytes value;
      cursor->ReadBlobValue(bodyNo, record.data(), value);
      rows.push_back(std::to_string(GetFieldInteger(record.data(), id)) + ":" +
                     std::string(value.begin(), value.end()));
    }
    return rows;
  }

  std::vector<std::string> Bodies;
};

TEST_F(SelectBlobs, MemoColumnsRoundTripThroughLiveAndCannedResults) {
  const std::vector<std::string> all = {"1:" + Bodies[0], "2:", "3:" + Bodies[2], "4:" + Bodies[3]};
  const std::vector<std::string> reversed(all.rbegin(), all.rend());
  struct Case {
    const char* sql;
    std::vector<std::string> rows;
  };
  const Case cases[] = {
      {"SELECT ID, BODY FROM NOTES", all},                        // live
      {"SELECT ID, BODY FROM NOTES ORDER BY ID DESC", reversed},  // canned, sorted
      {"SELECT ID, TITLE, BODY FROM NOTES WHERE ID > 2 TOP 5", {all[2], all[3]}},
      {"SELECT ID, BODY FROM NOTES WHERE ID = 4 UNION ALL SELECT ID, BODY FROM NOTES WHERE ID < 3",
       {all[3], all[0], all[1]}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(Bodies_Of(c.sql), c.rows);
  }
}

TEST_F(SelectBlobs, BinaryValuesKeepEveryByte) {
  const std::vector<std::string> rows = Bodies_Of("SELECT ID, DATA FROM NOTES ORDER BY ID DESC TOP 2", "DATA");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], std::string("4:") + std::string("\0\4\0\xff", 4));
  EXPECT_EQ(rows[1], std::string("3:") + std::string("\0\3\0\xff", 4));
}

TEST_F(SelectBlobs, ConditionsSeeMemoText) {
  EXPECT_EQ(Bodies_Of("SELECT ID, BODY FROM NOTES WHERE BODY LIKE '%fox%'"),
            (std::vector<std::string>{"1:" + Bodies[0]}));
  EXPECT_EQ(Bodies_Of("SELECT ID, BODY FROM NOTES WHERE BODY LIKE '%over' ORDER BY ID DESC"),
            (std::vector<std::string>{"4:" + Bodies[3]}));
}

TEST_F(SelectBlobs, IntoTablesKeepTheirValues) {
  RunSql("SELECT ID, BODY INTO SAVED FROM NOTES WHERE ID > 1");
  EXPECT_EQ(Bodies_Of("SELECT ID, BODY FROM SAVED"),
            (std::vector<std::string>{"2:", "3:" + Bodies[2], "4:" + Bodies[3]}));
}

}  // namespace
}  // namespace quarry
