// The built quarry program run as a process, as a user runs it: scripts of several
// statements from -c and from standard input, the rows affected, --verify on clean and on
// damaged tables, --load-csv, several shells changing one table at once, and a shell killed
// in the middle of its inserts.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/session.h"

namespace quarry::tools {
namespace {

namespace fs = std::filesystem;

struct TRun {
  int Status = -1;
  std::string Out;
  std::string Err;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

const char* const kFilms =
    "ID,TITLE,YEAR\n"
    "1,The Kid,1921\n"
    "2,Ninotchka,1939\n"
    "3,Amélie,2001\n";

// A folder for tables and the quarry processes started on it. Each process reads its
// standard input from a file and writes its output to files, so that any number can run
// at once without pipes to serve.
class QuarryProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quarry-process-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    tables_ = root_ / "tables";
    fs::create_directory(tables_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  // Starts quarry with the arguments after the program name; returns its process id.
  pid_t Start(const std::vector<std::string>& args, const std::string& input = "") {
    const int n = ++started_;
    const fs::path in = root_ / ("in" + std::to_string(n));
    WriteFile(in, input);
    const pid_t pid = fork();
    if (pid == 0) {
      const auto redirect = [](const fs::path& path, int flags, int to) {
        const int fd = open(path.c_str(), flags, 0600);
        if (fd < 0 || dup2(fd, to) < 0) _exit(120);
        close(fd);
      };
      redirect(in, O_RDONLY, 0);
      redirect(OutFile(getpid()), O_WRONLY | O_CREAT | O_TRUNC, 1);
      redirect(ErrFile(getpid()), O_WRONLY | O_CREAT | O_TRUNC, 2);
      std::vector<char*> argv;
      std::string program = QUARRY_PROGRAM;
      argv.push_back(program.data());
      std::vector<std::string> copies = args;
      for (std::string& a : copies) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(121);
    }
    return pid;
  }
  // Waits for a started process (at most two minutes) and collects what it wrote.
  TRun Finish(pid_t pid) {
    TRun run;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    for (;;) {
      const pid_t done = waitpid(pid, &status, WNOHANG);
      if (done == pid) break;
      if (done < 0 || std::chrono::steady_clock::now() > deadline) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        ADD_FAILURE() << "quarry did not end";
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.Out = ReadFile(OutFile(pid));
    run.Err = ReadFile(ErrFile(pid));
    return run;
  }
  TRun Quarry(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), tables_.string());
    return Finish(Start(args, input));
  }
  // Runs -c and expects it to succeed; returns standard output.
  std::string Sql(const std::string& sql) {
    const TRun run = Quarry({"--csv", "-c", sql});
    EXPECT_EQ(run.Status, 0) << sql << "\n" << run.Err;
    return run.Out;
  }
  // True when INSERT runs in this build (checked once on a scratch table).
  bool InsertsRun() {
    const TRun run = Quarry({"-c", "CREATE TABLE PROBE (A INTEGER); INSERT INTO PROBE VALUES (1); DROP TABLE PROBE"});
    if (run.Err.find("INSERT statements are not supported") != std::string::npos) return false;
    EXPECT_EQ(run.Status, 0) << run.Err;
    return true;
  }
  // A copy of the tables folder, to damage.
  fs::path CopyOfTables(const std::string& name) {
    const fs::path copy = root_ / name;
    fs::copy(tables_, copy);
    return copy;
  }

  // FILMS: ID (primary key), TITLE (index), YEAR, loaded through the shell.
  void LoadFilms() {
    WriteFile(root_ / "films.csv", kFilms);
    const TRun load = Quarry({"--load-csv", "FILMS", (root_ / "films.csv").string(), "--type", "ID=INTEGER", "--type",
                              "YEAR=INTEGER", "--primary", "ID", "--index", "TITLE"});
    ASSERT_EQ(load.Status, 0) << load.Err;
    ASSERT_EQ(load.Out, "3 rows loaded into FILMS\n");
  }

  fs::path OutFile(pid_t pid) const { return root_ / ("out" + std::to_string(pid)); }
  fs::path ErrFile(pid_t pid) const { return root_ / ("err" + std::to_string(pid)); }

  fs::path root_;
  fs::path tables_;
  int started_ = 0;
};

// ---- scripts ----

TEST_F(QuarryProcess, RunsScriptsOfDefinitionStatementsFromTheCommandLineAndStandardInput) {
  ASSERT_NO_FATAL_FAILURE(LoadFilms());
  const std::string script =
      "CREATE TABLE SEEN (ID INTEGER, FILM INTEGER NOT NULL, NOTE VARCHAR(40), PRIMARY KEY (ID));\n"
      "CREATE INDEX BYFILM ON SEEN (FILM); ALTER TABLE SEEN ADD WHEN_SEEN DATE AT 2;\n"
      "SELECT * FROM SEEN;\n"
      "ALTER TABLE FILMS REDEFINE YEAR RELEASED SMALLINT; SELECT ID, RELEASED FROM FILMS ORDER BY ID;\n"
      "DROP INDEX SEEN.BYFILM; DROP TABLE SEEN; SELECT COUNT(*) AS N FROM FILMS";
  const std::string expected =
      "ID,WHEN_SEEN,FILM,NOTE\r\n"
      "ID,RELEASED\r\n1,1921\r\n2,1939\r\n3,2001\r\n"
      "N\r\n3\r\n";
  const TRun command = Quarry({"--csv", "-c", script});
  EXPECT_EQ(command.Status, 0) << command.Err;
  EXPECT_EQ(command.Out, expected);
  EXPECT_EQ(command.Err, "");

  // The same from standard input, against the table as the first run left it.
  EXPECT_EQ(Quarry({"-c", "ALTER TABLE FILMS REDEFINE RELEASED YEAR INTEGER"}).Status, 0);
  const TRun input = Quarry({"--csv"}, script + ";\n");
  EXPECT_EQ(input.Status, 0) << input.Err;
  EXPECT_EQ(input.Out, expected);
  EXPECT_FALSE(fs::exists(tables_ / "SEEN.DAT"));
}

TEST_F(QuarryProcess, AFailingStatementStopsTheCommandLineButNotStandardInput) {
  ASSERT_NO_FATAL_FAILURE(LoadFilms());
  const std::string script =
      "CREATE TABLE A (X INTEGER);\n"
      "CREATE TABLE A (X INTEGER);\n"
      "CREATE TABLE B (X INTEGER);\n";
  const TRun command = Quarry({"-c", script});
  EXPECT_EQ(command.Status, 1);
  EXPECT_EQ(command.Err.rfind("line 2: ", 0), 0u) << command.Err;
  EXPECT_NE(command.Err.find("The table 'A' already exists"), std::string::npos) << command.Err;
  EXPECT_FALSE(fs::exists(tables_ / "B.DAT"));

  const TRun input = Quarry({}, "DROP TABLE A;\n" + script);
  EXPECT_EQ(input.Status, 1);
  EXPECT_EQ(input.Err.rfind("line 3: ", 0), 0u) << input.Err;
  EXPECT_TRUE(fs::exists(tables_ / "B.DAT"));
}

TEST_F(QuarryProcess, PrintsTheRowsAffectedByEachDataChangingStatement) {
  ASSERT_NO_FATAL_FAILURE(LoadFilms());
  if (!InsertsRun()) GTEST_SKIP() << "INSERT statements are not supported by this build";
  const std::string script =
      "INSERT INTO FILMS (ID, TITLE, YEAR) VALUES (4, 'Metropolis', 1927);\n"
      "UPDATE FILMS SET YEAR = YEAR + 1 WHERE YEAR < 1940;\n"
      "DELETE FROM FILMS WHERE ID = 99;\n"
      "CREATE INDEX BYYEAR ON FILMS (YEAR);\n"
      "SELECT COUNT(*) AS N FROM FILMS;\n";
  const TRun aligned = Quarry({}, script);
  EXPECT_EQ(aligned.Status, 0) << aligned.Err;
  EXPECT_EQ(aligned.Out,
            "1 row affected\n"
            "3 rows affected\n"
            "0 rows affected\n"
            "N\n-\n4\n(1 row)\n");
  // Under --csv they go to standard error, which keeps standard output one CSV document.
  const TRun csv = Quarry({"--csv", "-c", "DELETE FROM FILMS WHERE ID = 4; SELECT COUNT(*) AS N FROM FILMS"});
  EXPECT_EQ(csv.Status, 0) << csv.Err;
  EXPECT_EQ(csv.Out, "N\r\n3\r\n");
  EXPECT_EQ(csv.Err, "1 row affected\n");
}

// ---- --verify ----

// Replaces the first occurrence of `from` in a file by `to` (same length).
void Patch(const fs::path& file, const std::string& from, const std::string& to) {
  std::string bytes = ReadFile(file);
  const std::size_t at = bytes.find(from);
  ASSERT_NE(at, std::string::npos) << from << " not in " << file;
  bytes.replace(at, from.size(), to);
  WriteFile(file, bytes);
}

// NOTES: a table with a memo column whose values live in the BLOB file.
void MakeNotes(const fs::path& folder) {
  TDataSession session;
  TDataDirectory& directory = session.OpenDirectory("", folder.string());
  {
    TCreateTableDefinition definition;
    TFieldDefinition id;
    id.FieldNo = 1;
    id.Name = "ID";
    id.DataType = TFieldType::Integer;
    TFieldDefinition text = id;
    text.FieldNo = 2;
    text.Name = "TEXT";
    text.DataType = TFieldType::Blob;
    text.SubType = subtype::Memo;
    definition.Fields = {id, text};
    definition.Primary.FieldCount = 1;
    definition.Primary.FieldNumbers[0] = 1;
    TDataCursor cursor(directory);
    cursor.SetTableName("NOTES");
    cursor.CreateTable(definition);
    cursor.Open();
    std::vector<std::uint8_t> record(static_cast<std::size_t>(cursor.RecordBufferSize()));
    for (std::int32_t i = 1; i <= 2; ++i) {
      cursor.InitRecord(record.data());
      cursor.PutField(1, record.data(), reinterpret_cast<const std::uint8_t*>(&i));
      const std::string note(3000, static_cast<char>('a' + i));
      cursor.OpenBlob(2, record.data(), true);
      cursor.WriteBlob(2, record.data(), 0, static_cast<std::int64_t>(note.size()),
                       reinterpret_cast<const std::uint8_t*>(note.data()));
      cursor.InsertRecord(record.data(), false);
      cursor.CloseBlobs(record.data());
    }
    cursor.Close();
  }
  session.CloseDirectory(directory);
}

TEST_F(QuarryProcess, VerifyFindsCleanTablesClean) {
  ASSERT_NO_FATAL_FAILURE(LoadFilms());
  MakeNotes(tables_);
  const TRun all = Quarry({"--verify"});
  EXPECT_EQ(all.Status, 0) << all.Err;
  EXPECT_EQ(all.Out, "FILMS: ok (3 records)\nNOTES: ok (2 records)\n");
  const TRun one = Quarry({"--verify", "notes"});
  EXPECT_EQ(one.Status, 0) << one.Err;
  EXPECT_EQ(one.Out, "notes: ok (2 records)\n");
}

TEST_F(QuarryProcess, VerifyReportsADamagedTableAndExitsWithOne) {
  ASSERT_NO_FATAL_FAILURE(LoadFilms());
  MakeNotes(tables_);
  struct TDamage {
    const char* Name;
    std::function<void(const fs::path& folder)> Damage;
    const char* Table;
    const char* Finding;  // part of the line after "TABLE: damaged: "
  };
  const TDamage damages[] = {
      // A record's title no longer matches its key in the TITLE index (slot 1).
      {"a data byte", [](const fs::path& f) { Patch(f / "FILMS.DAT", "Ninotchka", "Ninotchkb"); }, "FILMS",
       "index 1 key differs from record 2"},
      // The index file keeps its header but loses its pages.
      {"index pages", [](const fs::path& f) { fs::resize_file(f / "FILMS.IDX", 4096); }, "FILMS", ""},
      // The second note's blocks are gone from the BLOB file.
      {"BLOB blocks",
       [](const fs::path& f) { fs::resize_file(f / "NOTES.BLB", fs::file_size(f / "NOTES.BLB") - 2048); }, "NOTES",
       "record 2: the BLOB of TEXT cannot be read"},
  };
  for (const TDamage& d : damages) {
    SCOPED_TRACE(d.Name);
    const fs::path copy = CopyOfTables(std::string("damaged-") + std::to_string(&d - damages));
    d.Damage(copy);
    const TRun run = Finish(Start({copy.string(), "--verify"}));
    EXPECT_EQ(run.Status, 1) << run.Out << run.Err;
    const std::string line = std::string(d.Table) + ": damaged: ";
    const std::size_t at = run.Out.find(line);
    ASSERT_NE(at, std::string::npos) << run.Out << run.Err;
    EXPECT_NE(run.Out.find(d.Finding, at), std::string::npos) << run.Out;
    // The other table is still reported clean.
    EXPECT_NE(run.Out.find(": ok ("), std::string::npos) << run.Out;
  }
  // The originals were never touched.
  EXPECT_EQ(Quarry({"--verify"}).Status, 0);
}

TEST_F(QuarryProcess, VerifyUsesThePasswordAndSaysWhatItCouldNotCheck) {
  WriteFile(root_ / "films.csv", kFilms);
  ASSERT_EQ(Quarry({"--load-csv", "SECRET", (root_ / "films.csv").string(), "--password", "pw"}).Status, 0);
  const TRun without = Quarry({"--verify"});
  EXPECT_EQ(without.Status, 1);
  EXPECT_EQ(without.Out, "");
  EXPECT_NE(without.Err.find("SECRET not checked"), std::string::npos) << without.Err;
  const TRun with = Quarry({"--verify", "--password", "pw"});
  EXPECT_EQ(with.Status, 0) << with.Err;
  EXPECT_EQ(with.Out, "SECRET: ok (3 records)\n");
  const TRun missing = Quarry({"--verify", "NOSUCH"});
  EXPECT_EQ(missing.Status, 1);
  EXPECT_NE(missing.Err.find("NOSUCH not checked"), std::string::npos) << missing.Err;
}

TEST_F(QuarryProcess, LoadCsvStillMakesATable) {
  ASSERT_NO_FATAL_FAILURE(LoadFilms());
  EXPECT_EQ(Sql("SELECT TITLE FROM FILMS WHERE ID = 3"), "TITLE\r\nAmélie\r\n");
  EXPECT_EQ(Quarry({"--verify", "FILMS"}).Out, "FILMS: ok (3 records)\n");
}

// ---- several shells at once ----

TEST_F(QuarryProcess, ShellsInsertingAndUpdatingAtOnceLoseNothing) {
  WriteFile(root_ / "counter.csv", "ID,QTY\n1,0\n");
  ASSERT_EQ(Quarry({"--load-csv", "T", (root_ / "counter.csv").string(), "--type", "ID=INTEGER", "--type",
                    "QTY=INTEGER", "--primary", "ID"})
                .Status,
            0);
  if (!InsertsRun()) GTEST_SKIP() << "INSERT statements are not supported by this build";
  ASSERT_EQ(Quarry({"-c", "CREATE INDEX BYQTY ON T (QTY)"}).Status, 0);
  constexpr int kShells = 4;
  constexpr int kRounds = 60;
  std::vector<pid_t> shells;
  for (int s = 1; s <= kShells; ++s) {
    std::string script;
    for (int i = 0; i < kRounds; ++i) {
      script += "INSERT INTO T (ID, QTY) VALUES (" + std::to_string(s * 10000 + i) + ", " + std::to_string(i) + ");\n";
      script += "UPDATE T SET QTY = QTY + 1 WHERE ID = 1;\n";
    }
    shells.push_back(Start({tables_.string()}, script));
  }
  for (const pid_t shell : shells) {
    const TRun run = Finish(shell);
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Err, "");
  }
  EXPECT_EQ(Sql("SELECT COUNT(*) AS N FROM T"), "N\r\n" + std::to_string(1 + kShells * kRounds) + "\r\n");
  EXPECT_EQ(Sql("SELECT QTY FROM T WHERE ID = 1"), "QTY\r\n" + std::to_string(kShells * kRounds) + "\r\n");
  for (int s = 1; s <= kShells; ++s) {
    const std::string range = "ID BETWEEN " + std::to_string(s * 10000) + " AND " + std::to_string(s * 10000 + 9999);
    EXPECT_EQ(Sql("SELECT COUNT(*) AS N, SUM(QTY) AS Q FROM T WHERE " + range),
              "N,Q\r\n" + std::to_string(kRounds) + "," + std::to_string(kRounds * (kRounds - 1) / 2) + "\r\n");
  }
  const TRun verify = Quarry({"--verify"});
  EXPECT_EQ(verify.Status, 0) << verify.Out << verify.Err;
  EXPECT_EQ(verify.Out, "T: ok (" + std::to_string(1 + kShells * kRounds) + " records)\n");
}

// The number of records the table shows in each order: natural, primary and BYNAME.
std::vector<std::int32_t> CountsByIndex(const fs::path& folder) {
  TDataSession session;
  TDataDirectory& directory = session.OpenDirectory("", folder.string());
  std::vector<std::int32_t> counts;
  {
    TDataCursor cursor(directory);
    cursor.SetTableName("LOG");
    cursor.Open();
    for (const int slot : {NaturalOrderSlot, static_cast<int>(PrimarySlot), 1}) {
      cursor.SetIndexSlot(slot);
      std::int32_t n = 0;
      for (cursor.Home(); cursor.Next(nullptr) == QUARRY_NONE;) ++n;
      counts.push_back(n);
    }
  }
  session.CloseDirectory(directory);
  return counts;
}

TEST_F(QuarryProcess, AShellKilledDuringItsInsertsLeavesATableThatOpensAndTakesChanges) {
  ASSERT_EQ(Quarry({"-c", "CREATE TABLE LOG (ID INTEGER, NAME VARCHAR(30), PRIMARY KEY (ID))"}).Status, 0);
  ASSERT_EQ(Quarry({"-c", "CREATE INDEX BYNAME ON LOG (NAME)"}).Status, 0);
  if (!InsertsRun()) GTEST_SKIP() << "INSERT statements are not supported by this build";
  std::string script;
  for (int i = 1; i <= 20000; ++i)
    script += "INSERT INTO LOG (ID, NAME) VALUES (" + std::to_string(i) + ", 'name " + std::to_string(i) + "');\n";
  const pid_t shell = Start({tables_.string()}, script);
  // Kill it once some rows are in, in the middle of its run.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (fs::file_size(tables_ / "LOG.DAT") < 40000 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_EQ(kill(shell, SIGKILL), 0);
  EXPECT_EQ(Finish(shell).Status, 128 + SIGKILL);

  // The table opens; --verify says whether the last insert was cut off half-way, and when it
  // finds the table clean every order shows the same records.
  const TRun verify = Quarry({"--verify", "LOG"});
  const std::vector<std::int32_t> counts = CountsByIndex(tables_);
  if (verify.Status == 0) {
    EXPECT_EQ(verify.Out, "LOG: ok (" + std::to_string(counts[0]) + " records)\n");
    EXPECT_EQ(counts[1], counts[0]);
    EXPECT_EQ(counts[2], counts[0]);
  } else {
    EXPECT_EQ(verify.Out.rfind("LOG: damaged: ", 0), 0u) << verify.Out << verify.Err;
    RecordProperty("after_kill", verify.Out);
  }
  EXPECT_GT(counts[0], 0);
  // New changes are taken.
  const TRun more = Quarry({"-c", "INSERT INTO LOG (ID, NAME) VALUES (100000, 'after'); DELETE FROM LOG WHERE ID = 1"});
  EXPECT_EQ(more.Status, 0) << more.Err;
  EXPECT_EQ(Sql("SELECT NAME FROM LOG WHERE ID = 100000"), "NAME\r\nafter\r\n");
}

}  // namespace
}  // namespace quarry::tools
