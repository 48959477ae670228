// The statement interface around the parser: prepare and unprepare, parameter binding,
// scripts of several statements in one Execute, rows affected across transactions, the
// callbacks, and the executor hand-off. Executors are stand-ins that record what the
// statement asked of them.
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/sql/expression_error.h"
#include "engine/sql/query_statement.h"
#include "engine/sql/statement_execution.h"
#include "engine/storage/errors/engine_error.h"
#include "engine/values/value_ops.h"

namespace quarry {
namespace {

// What the stand-in executors saw, in order.
std::vector<std::string> Log;
bool FailPrepare = false;

std::string ParameterText(const TExpToken& p) {
  if (p.IsNull) return "NULL";
  switch (p.DataType) {
  case vt::Integer: return std::to_string(p.Get<int32_t>());
  case vt::String: return "'" + p.GetString() + "'";
  case vt::Blob: return "blob" + std::to_string(p.ValueSize) + ":" + p.GetString();
  default: return "t" + std::to_string(p.DataType);
  }
}

class TRecordingExecutor : public TStatementExecutor {
 public:
  explicit TRecordingExecutor(TQueryStatement& statement) : Statement(statement) {}
  void Prepare() override {
    if (FailPrepare) RaiseExpressionError(kSqlErrorCode, "", "prepare failed");
    Log.push_back(std::string("prepare ") + StatementName(Statement.Kind()));
  }
  void Execute() override {
    std::string line = std::string("execute ") + StatementName(Statement.Kind());
    for (const TExpToken* p : Statement.Parameters()) line += " " + ParameterText(*p);
    Log.push_back(line);
  }
  TDataCursor* ResultCursor() override { return nullptr; }
  // Each data-changing statement reports a different count, so sums show which ran.
  int32_t RowsAffected() const override {
    switch (Statement.Kind()) {
    case TStatementKind::Insert: return 1;
    case TStatementKind::Update: return 10;
    case TStatementKind::Delete: return 100;
    default: return 0;
    }
  }

 private:
  TQueryStatement& Statement;
};

std::unique_ptr<TStatementExecutor> MakeRecording(TQueryStatement& statement) {
  return std::make_unique<TRecordingExecutor>(statement);
}

class QueryStatementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Log.clear();
    FailPrepare = false;
    Statement.SetExecutorFactory(&MakeRecording);
  }
  TQueryStatement Statement{nullptr};
};

TEST_F(QueryStatementTest, ScriptRunsEveryStatementAndSumsRows) {
  Statement.Prepare("INSERT INTO T VALUES (1, 'x'); DELETE FROM T WHERE A = 1");
  EXPECT_EQ(Statement.Kind(), TStatementKind::Insert);
  Statement.Execute();
  EXPECT_EQ(Log, (std::vector<std::string>{"prepare INSERT", "execute INSERT", "prepare DELETE", "execute DELETE"}));
  EXPECT_EQ(Statement.RowsAffected(), 101);
  // After the script the statement holds its last statement.
  EXPECT_EQ(Statement.Kind(), TStatementKind::Delete);
}

TEST_F(QueryStatementTest, RollbackReturnsToTheCountAtTransactionStart) {
  const struct {
    const char* Script;
    int32_t Rows;
  } cases[] = {
      {"INSERT INTO T VALUES (1); START TRANSACTION; UPDATE T SET A = 2; ROLLBACK", 1},
      {"INSERT INTO T VALUES (1); START TRANSACTION; UPDATE T SET A = 2; COMMIT", 11},
      {"START TRANSACTION; DELETE FROM T; ROLLBACK WORK; INSERT INTO T VALUES (1);", 1},
      {"UPDATE T SET A = 1; ROLLBACK", 0},
  };
  for (const auto& c : cases) {
    Statement.Prepare(c.Script);
    Statement.Execute();
    EXPECT_EQ(Statement.RowsAffected(), c.Rows) << c.Script;
  }
}

// A script whose later statement is malformed runs the statements before it, then raises.
TEST_F(QueryStatementTest, ScriptStopsAtAMalformedStatement) {
  Statement.Prepare("DELETE FROM T; DELETE T");
  try {
    Statement.Execute();
    ADD_FAILURE() << "no error";
  } catch (const EQuarryEngineError& e) {
    EXPECT_EQ(e.Detail(), "FROM keyword expected, instead found 'T'");
  }
  EXPECT_EQ(Log, (std::vector<std::string>{"prepare DELETE", "execute DELETE"}));
  EXPECT_FALSE(Statement.Prepared());
}

// One block of parameter slots: a presence byte followed by the value.
class TParameterBlock {
 public:
  TParameterDescriptor Add(uint8_t type, uint8_t subType, int32_t size, const void* value) {
    TParameterDescriptor d;
    d.DataType = type;
    d.SubType = subType;
    d.Size = size;
    d.Offset = static_cast<uint32_t>(Data.size());
    Data.push_back(value ? 1 : 0);
    const std::size_t at = Data.size();
    Data.resize(at + static_cast<std::size_t>(size), 0);
    if (value) std::memcpy(Data.data() + at, value, static_cast<std::size_t>(size));
    Descriptors.push_back(d);
    return d;
  }
  TParameterDescriptor AddBlob(uint8_t subType, const std::string& bytes) {
    Keep.push_back(bytes);
    const int32_t length = static_cast<int32_t>(Keep.back().size());
    const uint8_t* pointer = reinterpret_cast<const uint8_t*>(Keep.back().data());
    uint8_t slot[sizeof(int32_t) + sizeof(pointer)];
    std::memcpy(slot, &length, sizeof length);
    std::memcpy(slot + sizeof length, &pointer, sizeof pointer);
    return Add(vt::Blob, subType, sizeof slot, slot);
  }
  std::vector<uint8_t> Data;
  std::vector<TParameterDescriptor> Descriptors;
  std::vector<std::string> Keep;
};

TEST_F(QueryStatementTest, ParametersAreBoundInOrderAcrossTheScript) {
  TParameterBlock block;
  const int32_t seven = 7;
  const char name[8] = "Kelly  ";
  block.Add(vt::Integer, 0, 4, &seven);
  block.Add(vt::String, 0, 8, name);
  block.Add(vt::Integer, 0, 4, nullptr);
  block.AddBlob(st::Memo, "notes");
  Statement.Prepare("UPDATE T SET A = ?, B = ? WHERE C = ?; INSERT INTO T (N) VALUES (?)");
  Statement.Execute(4, block.Descriptors.data(), block.Data.data(), block.Data.size());
  EXPECT_EQ(Log, (std::vector<std::string>{"prepare UPDATE", "execute UPDATE 7 'Kelly  ' NULL", "prepare INSERT",
                                           "execute INSERT blob6:notes"}));
  // Executing again binds the new values into the same nodes.
  Log.clear();
  TParameterBlock second;
  const int32_t eight = 8;
  second.Add(vt::Integer, 0, 4, &eight);
  Statement.Execute(1, second.Descriptors.data(), second.Data.data(), second.Data.size());
  EXPECT_EQ(Log, (std::vector<std::string>{"execute INSERT 8"}));
}

TEST_F(QueryStatementTest, ParameterSlotsOutsideTheBlockAreRefused) {
  Statement.Prepare("SELECT A FROM T WHERE B = ?");
  const struct {
    uint32_t Offset;
    int32_t Size;
    std::size_t BlockSize;
  } cases[] = {
      {0, 4, 4},            // the value runs one byte past the end
      {10, 4, 8},           // the slot starts beyond the end
      {0, -1, 64},          // negative size
      {0xFFFFFFFFu, 4, 8},  // offset at the top of the range
  };
  std::vector<uint8_t> data(64, 1);
  for (const auto& c : cases) {
    TParameterDescriptor d;
    d.DataType = vt::Integer;
    d.Size = c.Size;
    d.Offset = c.Offset;
    try {
      Statement.Execute(1, &d, data.data(), c.BlockSize);
      ADD_FAILURE() << "accepted offset " << c.Offset << " size " << c.Size;
    } catch (const EQuarryEngineError& e) {
      EXPECT_EQ(e.Detail(), "Invalid value for parameter 1");
    }
  }
  // A BLOB slot with a negative length.
  TParameterBlock block;
  block.AddBlob(st::Memo, "x");
  const int32_t negative = -3;
  std::memcpy(block.Data.data() + 1, &negative, sizeof negative);
  EXPECT_THROW(Statement.Execute(1, block.Descriptors.data(), block.Data.data(), block.Data.size()),
               EQuarryEngineError);
}

TEST_F(QueryStatementTest, FailedPrepareLeavesTheStatementUnprepared) {
  FailPrepare = true;
  EXPECT_THROW(Statement.Prepare("SELECT A FROM T"), EQuarryEngineError);
  EXPECT_FALSE(Statement.Prepared());
  EXPECT_EQ(Statement.Master(), nullptr);
  try {
    Statement.Execute();
    ADD_FAILURE() << "executed without a prepared statement";
  } catch (const EQuarryEngineError& e) {
    EXPECT_EQ(e.Detail(), "No SQL statement has been prepared");
  }
  FailPrepare = false;
  Statement.Prepare("SELECT A FROM T");
  EXPECT_TRUE(Statement.Prepared());
  Statement.Unprepare();
  EXPECT_FALSE(Statement.Prepared());
  EXPECT_TRUE(Statement.Queries().empty());
}

TEST_F(QueryStatementTest, CallbacksReachTheirHandlers) {
  struct TSeen {
    int Percent = -1;
    int PasswordCalls = 0;
  } seen;
  Statement.SetProgressHandler(&seen, [](void* data, TQueryStatement&, int percent, bool& abort) {
    static_cast<TSeen*>(data)->Percent = percent;
    abort = percent >= 50;
  });
  EXPECT_FALSE(Statement.ReportProgress(20));
  EXPECT_TRUE(Statement.ReportProgress(50));
  EXPECT_EQ(seen.Percent, 50);
  EXPECT_FALSE(Statement.AskPassword());
  Statement.SetPasswordCallback(
      &seen, [](void* data, TQueryStatement&) { return ++static_cast<TSeen*>(data)->PasswordCalls < 2; });
  EXPECT_TRUE(Statement.AskPassword());
  EXPECT_FALSE(Statement.AskPassword());
}

}  // namespace
}  // namespace quarry
