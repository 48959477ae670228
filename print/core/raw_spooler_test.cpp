// Fast printer text: printer strings, the code page 437 narrowing, and raw jobs through a
// private CUPS scheduler - their bytes, an aborted run, a queue removed during a run and a
// missing printer.
#include "print/core/raw_spooler.h"

#include "print/core/cups_test_fixture.h"
#include "print/core/page_source_test_support.h"
#include "print/core/text_file_output.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace gpr {
namespace {

namespace fs = std::filesystem;

TEST(PrinterStringTest, DecodesCodesAndHashes) {
  struct TCase {
    const char* Text;
    std::string Bytes;
  };
  const TCase cases[] = {{"#12", "\f"},
                         {"#27E",
                          "\x1B"
                          "E"},
                         {"##", "#"},
                         {"a##b", "a#b"},
                         {"#0", std::string(1, '\0')},
                         {"#2551",
                          "\xFF"
                          "1"},
                         {"#", "#"},
                         {"x#y", "x#y"},
                         {"", ""},
                         {"#027#013", "\x1B\r"}};
  for (const TCase& c : cases) EXPECT_EQ(DecodePrinterString(c.Text), c.Bytes) << c.Text;
  try {
    DecodePrinterString("A#256");
    FAIL() << "a code above 255 was accepted";
  } catch (const eGprPrtError& error) {
    EXPECT_STREQ(error.what(),
                 "GridPrinter! Printing Error: Fast Printer Text Printer String:\rA#256\rhas invalid ASCII "
                 "character:256. ASCII numbers must be between 0 and 255.");
  }
}

TEST(PrinterStringTest, NarrowsBoxDrawingToCodePage437) {
  EXPECT_EQ(ToCodePage437("┌─┬┐│├┼┤└┴┘"), "\xDA\xC4\xC2\xBF\xB3\xC3\xC5\xB4\xC0\xC1\xD9");
  EXPECT_EQ(ToCodePage437("═║╔╗╚╝░█"), "\xCD\xBA\xC9\xBB\xC8\xBC\xB0\xDB");
  EXPECT_EQ(ToCodePage437("Plain ASCII\r\n\f"), "Plain ASCII\r\n\f");
  EXPECT_EQ(ToCodePage437("Am\xC3\xA9lie \xE2\x82\xAC \xF0\x9F\x8E\xAC"), "Am?lie ? ?");  // one stand-in each
  EXPECT_EQ(ToCodePage437("\xC3"), "?");                                                  // a cut sequence
}

class RawSpoolerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new testing::TCupsTestServer;
    started_ = server_->Start();
    if (started_) started_ = server_->AddQueue("rawq", true) && server_->AddQueue("other");
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    if (!started_) GTEST_SKIP() << "no private cupsd: " << server_->Reason();
    char pattern[] = "/tmp/gprraw.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  static testing::TTablePageSource Report(int rows, bool ascii) {
    std::vector<std::vector<std::string>> data;
    for (int i = 1; i <= rows; ++i) data.push_back({std::to_string(i), "Film number " + std::to_string(i), "PG"});
    return testing::TTablePageSource({"Id", "Title", "Rating"}, {6, 30, 6}, std::move(data), 20, 80, ascii);
  }

  std::string TextFileOf(int rows, bool ascii) {
    auto source = Report(rows, ascii);
    TgprTextFileOutput output((dir_ / "Rpt.Txt").string(), feOverwrite, true);
    TgprPrintRun run({{0, 1}, {0, 99999}});
    EXPECT_EQ(run.Run(source, output), rrCompleted);
    return testing::TCupsTestServer::ReadFile((dir_ / "Rpt.Txt").string());
  }

  static inline testing::TCupsTestServer* server_ = nullptr;
  static inline bool started_ = false;
  fs::path dir_;
};

TEST_F(RawSpoolerTest, JobBytesAreTheTextFileWithPrinterStrings) {
  for (bool ascii : {true, false}) {
    const std::string text = TextFileOf(50, ascii);
    const std::size_t before = server_->Captured("rawq").size();
    auto source = Report(50, ascii);
    const std::string printer = ResolvePrinterName(true, "");
    ASSERT_EQ(printer, "rawq");
    TgprRawSpooler spooler(printer, "Film list", "#27E##", "#12", true);
    TgprPrintRun run({{0, 1}, {0, 99999}});
    ASSERT_EQ(run.Run(source, spooler), rrCompleted) << run.ErrorMessage();
    ASSERT_TRUE(server_->WaitIdle());
    const auto captured = server_->Captured("rawq");
    ASSERT_EQ(captured.size(), before + 1);
    // The text file ends with a form-feed line; the job with its closing string instead.
    const std::string body = text.substr(0, text.size() - 3);
    EXPECT_EQ(captured.back(),
              "\x1B"
              "E#" +
                  ToCodePage437(body) + "\f");
    if (ascii) {
      EXPECT_EQ(ToCodePage437(body), body);
    }
  }
}

TEST_F(RawSpoolerTest, PrinterChosenByNameOrLeadingPart) {
  EXPECT_EQ(ResolvePrinterName(false, "other"), "other");
  EXPECT_EQ(ResolvePrinterName(false, "oth"), "other");
  EXPECT_EQ(ResolvePrinterName(false, "nosuch"), "");
  EXPECT_EQ(ResolvePrinterName(false, ""), "rawq");
}

TEST_F(RawSpoolerTest, AbortCancelsTheJobAndNothingIsPrinted) {
  struct TAbortAtThree : TgprRunMonitor {
    bool PageDone(TgprActivity, TgprPageId page, int, int) override { return page.Page < 3; }
  } monitor;
  const std::size_t before = server_->Captured("other").size();
  auto source = Report(200, true);
  TgprRawSpooler spooler("other", "Aborted", "", "#12", true);
  TgprPrintRun run({{0, 1}, {0, 99999}});
  EXPECT_EQ(run.Run(source, spooler, &monitor), rrTerminated);
  EXPECT_EQ(run.PagesPrinted(), 3);
  ASSERT_TRUE(server_->WaitIdle());
  EXPECT_EQ(server_->Captured("other").size(), before);
}

TEST_F(RawSpoolerTest, MissingPrinterAndBadStringsFailBeforeAnyJob) {
  auto source = Report(5, true);
  TgprRawSpooler missing("nosuch", "x", "", "#12", true);
  TgprPrintRun run({{0, 1}, {0, 99999}});
  EXPECT_EQ(run.Run(source, missing), rrTerminated);
  EXPECT_TRUE(run.ErrorMessage().starts_with(
      "GridPrinter! Printing Error: Print Spooler Error **\rUnable to get printer for spooling (OpenPrinter)"))
      << run.ErrorMessage();

  const std::size_t before = server_->Captured("rawq").size();
  auto again = Report(5, true);
  TgprRawSpooler badFinish("rawq", "x", "", "#999", true);
  EXPECT_EQ(run.Run(again, badFinish), rrTerminated);
  EXPECT_TRUE(run.ErrorMessage().find("has invalid ASCII character:999") != std::string::npos);
  ASSERT_TRUE(server_->WaitIdle());
  EXPECT_EQ(server_->Captured("rawq").size(), before);
}

TEST_F(RawSpoolerTest, QueueRemovedDuringTheRun) {
  ASSERT_TRUE(server_->AddQueue("vanishing"));
  struct TRemoveAtTwo : TgprRunMonitor {
    testing::TCupsTestServer* Server;
    bool PageDone(TgprActivity, TgprPageId page, int, int) override {
      if (page.Page == 2) Server->RemoveQueue("vanishing");
      return true;
    }
  } monitor;
  monitor.Server = server_;
  auto source = Report(100, true);
  TgprRawSpooler spooler("vanishing", "Gone", "", "#12", true);
  TgprPrintRun run({{0, 1}, {0, 99999}});
  EXPECT_EQ(run.Run(source, spooler, &monitor), rrTerminated);
  EXPECT_EQ(run.Status(), rsTerminatedWithError);
  EXPECT_TRUE(run.ErrorMessage().starts_with("GridPrinter! Printing Error: ")) << run.ErrorMessage();
  EXPECT_TRUE(server_->Captured("vanishing").empty());
}

}  // namespace
}  // namespace gpr
