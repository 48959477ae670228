// Export: the delimiter and quote settings, quoting by column type with quotes doubled,
// cutting of strings and memos, printable-only text, titles and totals lines, the file
// handling shared with text files, and a whole catalogue read back by Python's csv module.
#include "print/core/export_file.h"

#include "tools/common/csv_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace gpr {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Rows held in memory.
class TRowsSource : public TgprExportSource {
 public:
  TRowsSource(std::vector<TgprExportColumn> columns, std::vector<std::vector<std::string>> titles,
              std::vector<std::vector<std::string>> rows, std::optional<std::vector<std::string>> totals = {})
      : columns_(std::move(columns)), titles_(std::move(titles)), rows_(std::move(rows)), totals_(std::move(totals)) {}
  const std::vector<TgprExportColumn>& Columns() const override { return columns_; }
  std::vector<std::vector<std::string>> TitleRows() override { return titles_; }
  bool NextRow(std::vector<std::string>& cells) override {
    if (next_ >= rows_.size()) return false;
    cells = rows_[next_++];
    return true;
  }
  std::optional<std::vector<std::string>> TotalsRow() override { return totals_; }
  int RowCount() const override { return static_cast<int>(rows_.size()); }

 private:
  std::vector<TgprExportColumn> columns_;
  std::vector<std::vector<std::string>> titles_;
  std::vector<std::vector<std::string>> rows_;
  std::optional<std::vector<std::string>> totals_;
  std::size_t next_ = 0;
};

constexpr TgprExportColumn kNumber{false, ecNone};
constexpr TgprExportColumn kString{true, ecString};
constexpr TgprExportColumn kMemo{true, ecMemo};

std::string Line(const std::vector<std::string>& cells, const std::vector<TgprExportColumn>& columns,
                 const TgprExportOptions& options, TgprExportRowKind kind = TgprExportRowKind::Data) {
  std::string out;
  AppendExportLine(out, cells, columns, kind, options);
  return out;
}

TEST(ExportLineTest, DelimiterAndQuoteSettings) {
  struct TCase {
    const char* Setting;
    std::string Chars;
  };
  const TCase cases[] = {{"\t", "\t"},   {",", ","}, {"59", ";"},  {"9", "\t"}, {"255", "\xFF"},
                         {"256", "256"}, {"'", "'"}, {"ab", "ab"}, {"", ""}};
  for (const TCase& c : cases) EXPECT_EQ(ResolveExportChars(c.Setting), c.Chars) << c.Setting;
}

TEST(ExportLineTest, DefaultsQuoteStringsAndDoubleQuotesInside) {
  TgprExportOptions options;  // tab, double quote
  const std::vector<TgprExportColumn> columns{kNumber, kNumber, kString, kString};
  EXPECT_EQ(Line({"1", "42", "Casablanca", "PG"}, columns, options), "1\t42\t\"Casablanca\"\t\"PG\"");
  EXPECT_EQ(Line({"2", "7", "Cry \"Havoc\"", ""}, columns, options), "2\t7\t\"Cry \"\"Havoc\"\"\"\t\"\"");
  EXPECT_EQ(Line({"#", "VideoID", "Title", "Rating"}, columns, options, TgprExportRowKind::Title),
            "\"#\"\t\"VideoID\"\t\"Title\"\t\"Rating\"");
  options.Delimiter = ResolveExportChars("59");
  options.Quote = "'";
  EXPECT_EQ(Line({"1", "2", "it's", "x"}, columns, options), "1;2;'it''s';'x'");
}

TEST(ExportLineTest, PrintableOnlyDropsControlsKeepsLetters) {
  TgprExportOptions options;
  const std::vector<TgprExportColumn> columns{kString};
  EXPECT_EQ(Line({"Am\xC3\xA9lie\r\n\tTwo\x7F\xC2\x85"}, columns, options), "\"Am\xC3\xA9lieTwo\"");
  options.OnlyPrintable = false;
  EXPECT_EQ(Line({"a\r\nb"}, columns, options), "\"a\r\nb\"");
}

TEST(ExportLineTest, StringsAndMemosAreCut) {
  const std::string letters(150, 'a');
  EXPECT_EQ(CutMemoText(letters, 100), letters);  // one long word stays whole
  std::string words;
  while (words.size() < 150) words += "word ";
  EXPECT_EQ(CutMemoText(words, 100), words.substr(0, 100));  // ends after the blank at 100
  EXPECT_EQ(CutMemoText("abc defgh", 6), "abc ");
  EXPECT_EQ(CutMemoText("abc, defgh", 7), "abc, ");
  EXPECT_EQ(CutMemoText("abc,defgh", 6), "abc,");
  EXPECT_EQ(CutMemoText("short", 100), "short");
  EXPECT_EQ(CutStringText("\xC3\xA9t\xC3\xA9s", 2), "\xC3\xA9t");  // characters, not bytes
  EXPECT_EQ(CutStringText("abc", 3), "abc");

  TgprExportOptions options;
  options.MaxStrLength = 3;
  options.MaxMemoLength = 6;
  const std::vector<TgprExportColumn> columns{kString, kMemo, {true, ecNone}};
  EXPECT_EQ(Line({"abcdef", "abc defgh", "abcdef"}, columns, options), "\"abc\"\t\"abc \"\t\"abcdef\"");
  // Titles are never cut.
  EXPECT_EQ(Line({"abcdef", "abc defgh", "x"}, columns, options, TgprExportRowKind::Title),
            "\"abcdef\"\t\"abc defgh\"\t\"x\"");
}

TEST(ExportLineTest, ColumnTypesDecideQuoting) {
  using quarry::TDataFieldType;
  struct TCase {
    TDataFieldType Type;
    bool Quoted;
    TgprExportCut Cut;
  };
  const TCase cases[] = {{TDataFieldType::ftString, true, ecString}, {TDataFieldType::ftFixedChar, true, ecNone},
                         {TDataFieldType::ftMemo, true, ecMemo},     {TDataFieldType::ftFmtMemo, true, ecMemo},
                         {TDataFieldType::ftDate, true, ecNone},     {TDataFieldType::ftDateTime, true, ecNone},
                         {TDataFieldType::ftInteger, false, ecNone}, {TDataFieldType::ftBoolean, false, ecNone},
                         {TDataFieldType::ftFloat, false, ecNone}};
  for (const TCase& c : cases) {
    TColInfo column;
    column.FieldType = c.Type;
    const TgprExportColumn result = ExportColumnOf(column);
    EXPECT_EQ(result.Quoted, c.Quoted) << static_cast<int>(c.Type);
    EXPECT_EQ(result.Cut, c.Cut) << static_cast<int>(c.Type);
  }
}

class ExportRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/gprexport.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(ExportRunTest, TitlesRowsAndTotalsWithCrLf) {
  TRowsSource source({kNumber, kString, kNumber}, {{"", "Film", "Minutes"}, {"#", "Title", "Length"}},
                     {{"1", "Ran", "162"}, {"2", "Ikiru", "143"}}, std::vector<std::string>{"", "Total", "305"});
  TgprExportOptions options;
  options.Delimiter = ",";
  TgprOutputFile file((dir_ / "out.csv").string(), feOverwrite);
  TgprExporter exporter(options);
  ASSERT_EQ(exporter.Run(source, file), rrCompleted);
  EXPECT_EQ(ReadAll(dir_ / "out.csv"),
            "\"\",\"Film\",\"Minutes\"\r\n\"#\",\"Title\",\"Length\"\r\n1,\"Ran\",162\r\n2,\"Ikiru\",143\r\n"
            ",\"Total\",305\r\n");
  EXPECT_EQ(exporter.Summary().PagesPrinted, 2);
  EXPECT_EQ(exporter.Summary().Status, rsCompleted);
}

TEST_F(ExportRunTest, TitlesOffByteOrderMarkAndCancelledQuestion) {
  TgprExportOptions options;
  options.ColumnTitles = false;
  options.ColumnTotals = false;
  options.ByteOrderMark = true;
  TRowsSource source({kString}, {{"Title"}}, {{"Ran"}}, std::vector<std::string>{"x"});
  const fs::path name = dir_ / "out.txt";
  TgprOutputFile file(name.string(), feAsk, [](const std::string&) { return TgprFileAnswer::Cancel; });
  ASSERT_EQ(TgprExporter(options).Run(source, file), rrCompleted);
  EXPECT_EQ(ReadAll(name), "\xEF\xBB\xBF\"Ran\"\r\n");  // new file: no question

  TRowsSource again({kString}, {{"Title"}}, {{"Other"}});
  TgprOutputFile asked(name.string(), feAsk, [](const std::string&) { return TgprFileAnswer::Cancel; });
  EXPECT_EQ(TgprExporter(options).Run(again, asked), rrFileCancelled);
  EXPECT_EQ(ReadAll(name), "\xEF\xBB\xBF\"Ran\"\r\n");
}

TEST_F(ExportRunTest, WriteErrorAndAbortEndTheRunWithResultThree) {
  std::vector<std::vector<std::string>> rows(20000, {"1", std::string(200, 'x')});
  TRowsSource source({kNumber, kString}, {}, rows);
  TgprOutputFile full("/dev/full", feAppend);
  TgprExporter exporter({});
  EXPECT_EQ(exporter.Run(source, full), rrTerminated);
  EXPECT_EQ(exporter.Summary().ErrorMessage, CannotWriteMessage("/dev/full", 112));

  struct TAbortAt : TgprRunMonitor {
    bool PageDone(TgprActivity activity, TgprPageId, int rows, int) override {
      return activity == acExporting && rows < 5;
    }
  } monitor;
  TRowsSource more({kNumber, kString}, {}, rows);
  TgprOutputFile file((dir_ / "out.txt").string(), feOverwrite);
  EXPECT_EQ(TgprExporter({}).Run(more, file, &monitor), rrTerminated);
  EXPECT_TRUE(fs::is_empty(dir_));
}

// The shared catalogue's films exported as CSV and read back with Python's csv module, field
// for field against the catalogue's own CSV file.
TEST_F(ExportRunTest, CatalogueReadsBackWithAStandardCsvReader) {
  const char* shared = std::getenv("PELLOMAR_SHARED_CATALOGUE");
  const fs::path videos = shared ? fs::path(shared) / "videos.csv" : fs::path();
  if (!shared || !fs::exists(videos)) GTEST_SKIP() << "no shared catalogue (PELLOMAR_SHARED_CATALOGUE)";
  if (std::system("python3 -c 'import csv' >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";

  const std::string text = ReadAll(videos);
  std::vector<quarry::tools::TCsvRecord> records = quarry::tools::ReadAllCsv(text);
  ASSERT_GT(records.size(), 1u);
  // VIDEOID, TITLE, YEAR, INDUSTRYRATING, LENGTH, behind the line-number column.
  std::vector<std::string> titles{"#"};
  for (const std::string& name : records[0].Fields) titles.push_back(name);
  std::vector<std::vector<std::string>> rows;
  for (std::size_t i = 1; i < records.size(); ++i) {
    std::vector<std::string> row{std::to_string(i)};
    for (const std::string& field : records[i].Fields) row.push_back(field);
    rows.push_back(std::move(row));
  }
  TRowsSource source({kNumber, kNumber, kString, kNumber, kString, kNumber}, {titles}, rows);
  TgprExportOptions options;
  options.Delimiter = ",";
  options.MaxStrLength = 1000;  // three titles are longer than the default 100 characters
  options.ByteOrderMark = true;
  const fs::path out = dir_ / "videos-export.csv";
  TgprOutputFile file(out.string(), feOverwrite);
  ASSERT_EQ(TgprExporter(options).Run(source, file), rrCompleted);

  const std::string exported = ReadAll(out);
  std::size_t lineFeeds = 0, crLfs = 0;
  for (std::size_t i = 0; i < exported.size(); ++i) {
    if (exported[i] == '\n') {
      ++lineFeeds;
      if (i > 0 && exported[i - 1] == '\r') ++crLfs;
    }
  }
  EXPECT_EQ(lineFeeds, crLfs);

  const fs::path script = dir_ / "check.py";
  std::ofstream(script) << R"(import csv, sys
src = list(csv.reader(open(sys.argv[1], newline='', encoding='utf-8')))
out = list(csv.reader(open(sys.argv[2], newline='', encoding='utf-8-sig')))
assert out[0] == ['#'] + src[0], out[0]
assert len(out) == len(src), (len(out), len(src))
for i in range(1, len(src)):
    assert out[i] == [str(i)] + src[i], (i, out[i], src[i])
titles = [row[2] for row in out[1:]]
print(len(titles), sum(',' in t for t in titles), sum(any(ord(c) > 127 for c in t) for t in titles),
      int('Cry "Havoc"' in titles))
)";
  const std::string command = "python3 " + script.string() + " " + videos.string() + " " + out.string();
  std::FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char buffer[256] = {};
  const std::string answer = std::fgets(buffer, sizeof buffer, pipe) ? buffer : "";
  ASSERT_EQ(::pclose(pipe), 0) << answer;
  int count = 0, commas = 0, nonAscii = 0, havoc = 0;
  ASSERT_EQ(std::sscanf(answer.c_str(), "%d %d %d %d", &count, &commas, &nonAscii, &havoc), 4) << answer;
  EXPECT_EQ(count, static_cast<int>(rows.size()));
  EXPECT_EQ(commas, 725);
  EXPECT_EQ(nonAscii, 85);
  EXPECT_EQ(havoc, 1);
}

}  // namespace
}  // namespace gpr
