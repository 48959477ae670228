// The quarry shell; see quarry_shell.h.
#include "tools/common/quarry_shell.h"

#include <filesystem>
#include <iomanip>
#include <iostream>
#include <optional>

#include "engine/sql/query_statement.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/errors/engine_error.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/session.h"
#include "tools/common/csv_loader.h"
#include "tools/common/result_reader.h"
#include "tools/common/statement_reader.h"
#include "tools/common/statement_splitter.h"
#include "tools/common/table_check.h"

namespace quarry::tools {

namespace {

constexpr const char* kUsage =
    "usage: quarry DIR [--csv] [--time] [--plan] [--password TEXT] [-c SQL]\n"
    "       quarry DIR --load-csv TABLE FILE [--type COLUMN=TYPE]... [--primary COLUMN] [--index COLUMN]...\n"
    "       quarry DIR --verify [--password TEXT] [TABLE]...\n";

struct TShellOptions {
  std::string Directory;
  std::optional<std::string> Command;
  bool Csv = false;
  bool Time = false;
  bool Plan = false;
  std::vector<std::string> Passwords;
  bool Load = false;
  TCsvLoadOptions LoadOptions;
  std::string LoadFile;
  bool Verify = false;
  std::vector<std::string> VerifyTables;
};

class EUsage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

TShellOptions ParseArguments(const std::vector<std::string>& args) {
  TShellOptions options;
  std::vector<std::string> extra;  // positional arguments after the directory
  auto value = [&](std::size_t& i, const std::string& option) -> const std::string& {
    if (i + 1 >= args.size()) throw EUsage(option + " needs a value");
    return args[++i];
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-c") {
      options.Command = value(i, arg);
    } else if (arg == "--csv") {
      options.Csv = true;
    } else if (arg == "--time") {
      options.Time = true;
    } else if (arg == "--plan") {
      options.Plan = true;
    } else if (arg == "--password") {
      options.Passwords.push_back(value(i, arg));
    } else if (arg == "--verify") {
      options.Verify = true;
    } else if (arg == "--load-csv") {
      options.Load = true;
      options.LoadOptions.Table = value(i, arg);
      options.LoadFile = value(i, arg);
    } else if (arg == "--type") {
      const std::string& typeArg = value(i, arg);
      const auto equals = typeArg.find('=');
      if (equals == std::string::npos || equals == 0 || equals + 1 == typeArg.size())
        throw EUsage("--type wants COLUMN=TYPE, not " + typeArg);
      options.LoadOptions.Types.emplace_back(typeArg.substr(0, equals), typeArg.substr(equals + 1));
    } else if (arg == "--primary") {
      options.LoadOptions.Primary = value(i, arg);
    } else if (arg == "--index") {
      options.LoadOptions.Indexes.push_back(value(i, arg));
    } else if (!arg.empty() && arg[0] == '-') {
      throw EUsage("unknown option " + arg);
    } else if (options.Directory.empty()) {
      options.Directory = arg;
    } else {
      extra.push_back(arg);
    }
  }
  if (options.Directory.empty()) throw EUsage("no directory given");
  if (options.Verify) options.VerifyTables = std::move(extra);
  else if (!extra.empty()) throw EUsage("unexpected argument " + extra.front());
  const bool loadOptionsGiven = !options.LoadOptions.Types.empty() || !options.LoadOptions.Primary.empty() ||
                                !options.LoadOptions.Indexes.empty();
  if (loadOptionsGiven && !options.Load) throw EUsage("--type, --primary and --index go with --load-csv");
  if (options.Load && options.Command) throw EUsage("--load-csv and -c cannot be combined");
  if (options.Verify && (options.Load || options.Command)) throw EUsage("--verify goes with neither -c nor --load-csv");
  if (options.Load && !options.Passwords.empty()) options.LoadOptions.Password = options.Passwords.front();
  return options;
}

bool ChangesRows(TStatementKind kind) {
  return kind == TStatementKind::Insert || kind == TStatementKind::Update || kind == TStatementKind::Delete;
}

// Runs one statement and prints its result: the rows of a SELECT, the rows affected by a
// data-changing statement (to err in CSV mode, so that out stays one CSV document), nothing
// for the others. False when it failed (message on err, after `where`).
bool RunStatement(TDataDirectory& directory, const std::string& text, const std::string& where,
                  const TShellOptions& options, std::ostream& out, std::ostream& err) {
  try {
    TQueryStatement statement(&directory);
    statement.Prepare(text);
    TDataCursor* result = statement.Execute();
    std::ostream& notes = options.Csv ? err : out;
    if (result != nullptr) {
      if (options.Csv) {
        // CSV rows go out as they are read; the aligned table needs every row for its widths.
        PrintCsvHeader(out, ResultColumns(*result));
        WalkResult(*result, [&out](const std::vector<TResultValue>& row) { PrintCsvRow(out, row); });
      } else {
        PrintAligned(out, ReadResult(*result));
      }
    } else if (ChangesRows(statement.Kind())) {
      const auto rows = statement.RowsAffected();
      out.flush();
      notes << rows << (rows == 1 ? " row affected\n" : " rows affected\n");
    }
    if (options.Time) {
      notes << "Time: " << std::fixed << std::setprecision(3) << statement.ExecutionTime() << " s\n";
      notes.unsetf(std::ios::floatfield);
    }
    if (options.Plan) notes << "Plan:\n" << statement.PlanText();
    out.flush();
    return true;
  } catch (const std::exception& error) {
    out.flush();
    err << where << error.what() << '\n';
    return false;
  }
}

// The statements of -c in turn, up to the first that fails.
int RunCommand(TDataDirectory& directory, const TShellOptions& options, std::ostream& out, std::ostream& err) {
  std::vector<TStatementText> statements = SplitStatements(*options.Command);
  // A text without any statement goes to the engine as it is, which says what it expected.
  if (statements.empty()) statements.push_back({*options.Command, 1});
  for (const TStatementText& statement : statements) {
    const std::string where = statements.size() > 1 ? "line " + std::to_string(statement.Line) + ": " : "";
    if (!RunStatement(directory, statement.Text, where, options, out, err)) return 1;
  }
  return 0;
}

// Standard input statement by statement; a failure does not stop the ones after it.
int RunInput(TDataDirectory& directory, const TShellOptions& options, std::istream& in, std::ostream& out,
             std::ostream& err) {
  int status = 0;
  TStatementReader reader(in);
  TStatementText statement;
  while (reader.Next(statement)) {
    const std::string where = "line " + std::to_string(statement.Line) + ": ";
    if (!RunStatement(directory, statement.Text, where, options, out, err)) status = 1;
  }
  return status;
}

int Load(TDataDirectory& directory, const TShellOptions& options, std::ostream& out, std::ostream& err) {
  try {
    const std::int64_t rows = LoadCsvFile(directory, options.LoadOptions, options.LoadFile);
    out << rows << (rows == 1 ? " row loaded into " : " rows loaded into ") << options.LoadOptions.Table << '\n';
    return 0;
  } catch (const std::exception& error) {
    err << "quarry: " << error.what() << '\n';
    return 1;
  }
}

// Checks the tables named (all of the folder when none is): a line per table on out, "ok"
// or what is damaged; a table that cannot be checked goes to err. 1 unless all are clean.
int Verify(TDataDirectory& directory, const TShellOptions& options, std::ostream& out, std::ostream& err) {
  const std::vector<std::string> tables =
      options.VerifyTables.empty() ? TablesInFolder(options.Directory) : options.VerifyTables;
  int status = 0;
  for (const std::string& table : tables) {
    const TTableCheck check = CheckTable(directory, table);
    switch (check.Outcome) {
    case TTableCheck::TOutcome::Clean:
      out << table << ": ok (" << check.Records << (check.Records == 1 ? " record)\n" : " records)\n");
      break;
    case TTableCheck::TOutcome::Damaged:
      out << table << ": damaged: " << check.Finding << '\n';
      status = 1;
      break;
    case TTableCheck::TOutcome::NotChecked:
      out.flush();
      err << "quarry: " << table << " not checked: " << check.Finding << '\n';
      status = 1;
      break;
    }
  }
  out.flush();
  return status;
}

}  // namespace

int RunQuarryShell(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
  TShellOptions options;
  try {
    options = ParseArguments(args);
  } catch (const EUsage& error) {
    err << "quarry: " << error.what() << '\n' << kUsage;
    return 2;
  }
  std::error_code ec;
  if (!std::filesystem::is_directory(options.Directory, ec)) {
    err << "quarry: no such directory: " << options.Directory << '\n';
    return 2;
  }

  TDataSession session;
  for (const auto& password : options.Passwords) session.AddPassword(password);
  TDataDirectory& directory = session.OpenDirectory("", options.Directory);
  int status = 0;
  if (options.Verify) status = Verify(directory, options, out, err);
  else if (options.Load) status = Load(directory, options, out, err);
  else if (options.Command) status = RunCommand(directory, options, out, err);
  else status = RunInput(directory, options, in, out, err);
  session.CloseDirectory(directory);
  return status;
}

}  // namespace quarry::tools
