// The quarry shell end to end through its entry point: options, loading, output formats,
// errors on standard error with a non-zero status.
#include "tools/common/quarry_shell.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tools/common/tool_test_support.h"

namespace quarry::tools {
namespace {

struct TRun {
  int Status = 0;
  std::string Out;
  std::string Err;
};

TRun Shell(const std::vector<std::string>& args, const std::string& input = "") {
  std::istringstream in(input);
  std::ostringstream out, err;
  TRun run;
  run.Status = RunQuarryShell(args, in, out, err);
  run.Out = out.str();
  run.Err = err.str();
  return run;
}

const char* const kFilms =
    "ID,TITLE,YEAR\n"
    "1,The Kid,1921\n"
    "2,\"Charles \"\"Buddy\"\" Rogers, live\",\n"
    "3,Amélie,2001\n";

// A folder with table FILMS loaded through the shell.
class QuarryShell : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string csv = tables_.WriteFile("films.csv", kFilms);
    const TRun load = Shell(
        {tables_.Folder(), "--load-csv", "FILMS", csv, "--type", "ID=INTEGER", "--primary", "ID", "--index", "TITLE"});
    ASSERT_EQ(load.Status, 0) << load.Err;
    EXPECT_EQ(load.Out, "3 rows loaded into FILMS\n");
  }
  TTempTables tables_;
};

TEST_F(QuarryShell, PrintsAnAlignedTable) {
  const TRun run = Shell({tables_.Folder(), "-c", "SELECT ID, TITLE, YEAR FROM FILMS ORDER BY ID"});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out,
            "ID | TITLE                        | YEAR\n"
            "---+------------------------------+-----\n"
            " 1 | The Kid                      | 1921\n"
            " 2 | Charles \"Buddy\" Rogers, live |\n"
            " 3 | Amélie                       | 2001\n"
            "(3 rows)\n");
  EXPECT_EQ(run.Err, "");
}

TEST_F(QuarryShell, PrintsCsvWithQuotingAndNulls) {
  const TRun run = Shell({tables_.Folder(), "--csv", "-c", "SELECT ID, TITLE, YEAR FROM FILMS ORDER BY ID"});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out,
            "ID,TITLE,YEAR\r\n"
            "1,The Kid,1921\r\n"
            "2,\"Charles \"\"Buddy\"\" Rogers, live\",\r\n"
            "3,Amélie,2001\r\n");
}

TEST_F(QuarryShell, ShowsEveryColumnButTheEnginesOwnAvgCounters) {
  // The counter behind AVG stays hidden; a user's column of a look-alike name does not.
  const TRun run =
      Shell({tables_.Folder(), "--csv", "-c", "SELECT AVG(ID) AS MEANID, MIN(ID) AS Sys__Avg__Count9 FROM FILMS"});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, "MEANID,Sys__Avg__Count9\r\n2,1\r\n");
}

TEST_F(QuarryShell, TimeFollowsTheResult) {
  const TRun table = Shell({tables_.Folder(), "--time", "-c", "SELECT ID FROM FILMS"});
  EXPECT_EQ(table.Status, 0) << table.Err;
  EXPECT_NE(table.Out.find("(3 rows)\nTime: "), std::string::npos) << table.Out;
  // In CSV mode standard output stays one CSV document.
  const TRun csv = Shell({tables_.Folder(), "--csv", "--time", "-c", "SELECT ID FROM FILMS"});
  EXPECT_EQ(csv.Out.find("Time"), std::string::npos);
  EXPECT_EQ(csv.Err.rfind("Time: ", 0), 0u) << csv.Err;
}

TEST_F(QuarryShell, ReadsStatementsFromStandardInput) {
  const TRun run = Shell({tables_.Folder(), "--csv"},
                         "SELECT TITLE FROM FILMS\n"
                         "  WHERE ID = 1;\n"
                         "\n"
                         "SELECT NOSUCHCOLUMN FROM FILMS;\n"
                         "SELECT COUNT(*) AS N FROM FILMS;\n");
  EXPECT_EQ(run.Status, 1);  // one statement failed; the others still ran
  EXPECT_EQ(run.Out, "TITLE\r\nThe Kid\r\nN\r\n3\r\n");
  EXPECT_EQ(run.Err.rfind("line 4: ", 0), 0u) << run.Err;
  EXPECT_NE(run.Err.find("NOSUCHCOLUMN"), std::string::npos) << run.Err;
}

TEST_F(QuarryShell, EngineErrorsGoToStandardError) {
  const std::vector<std::string> statements = {"SELECT * FROM NOSUCHTABLE", "SELEC ID FROM FILMS",
                                               "SELECT ID FROM FILMS WHERE"};
  for (const auto& sql : statements) {
    const TRun run = Shell({tables_.Folder(), "-c", sql});
    EXPECT_EQ(run.Status, 1) << sql;
    EXPECT_EQ(run.Out, "") << sql;
    EXPECT_FALSE(run.Err.empty()) << sql;
  }
}

TEST_F(QuarryShell, AMalformedCsvLineIsReportedAndLeavesNoTable) {
  const std::string csv = tables_.WriteFile("bad.csv", "A,B\n1,2\n3,4\n5,\"6\n");
  const TRun run = Shell({tables_.Folder(), "--load-csv", "BAD", csv});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("line 4"), std::string::npos) << run.Err;
  EXPECT_EQ(tables_.FilesStartingWith("BAD."), 0);
  const TRun again = Shell({tables_.Folder(), "--load-csv", "FILMS", tables_.WriteFile("more.csv", kFilms)});
  EXPECT_EQ(again.Status, 1);  // FILMS exists
  EXPECT_FALSE(again.Err.empty());
}

TEST(QuarryShellUsage, WrongCommandLinesAreRefused) {
  TTempTables tables;
  const std::vector<std::vector<std::string>> cases = {
      {},
      {tables.Folder(), "--bogus"},
      {tables.Folder(), "-c"},
      {tables.Folder(), "--load-csv", "T"},
      {tables.Folder(), "--type", "A=INTEGER"},
      {tables.Folder(), "--load-csv", "T", "f.csv", "--type", "AINTEGER"},
      {tables.Folder(), "--load-csv", "T", "f.csv", "-c", "SELECT 1"},
      {tables.Folder() + "/missing"},
      {tables.Folder(), "second"},
      {tables.Folder(), "--verify", "-c", "SELECT 1"},
      {tables.Folder(), "--verify", "--load-csv", "T", "f.csv"},
  };
  for (const auto& args : cases) {
    const TRun run = Shell(args);
    EXPECT_EQ(run.Status, 2) << (args.size() > 1 ? args[1] : "");
    EXPECT_NE(run.Err.find("quarry: "), std::string::npos);
  }
}

TEST(QuarryShellUsage, AMissingCsvFileIsAnError) {
  TTempTables tables;
  const TRun run = Shell({tables.Folder(), "--load-csv", "T", tables.Folder() + "/none.csv"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("none.csv"), std::string::npos) << run.Err;
}

}  // namespace
}  // namespace quarry::tools
