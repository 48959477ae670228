// TProfileFile: lookups by the profile-file rules, and rewrites that keep every other line.
#include "engine/platform/profile_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace quarry {
namespace {

namespace fs = std::filesystem;

class ProfileFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / (std::string("pellomar_profile_") + info->name() + "_" +
                                        std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "Pellomar.INI").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Put(const std::string& content) {
    std::ofstream out(path_, std::ios::binary);
    out << content;
  }
  std::string Get() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  fs::path dir_;
  std::string path_;
};

TEST_F(ProfileFileTest, MissingFileGivesDefaultsAndIsNotCreatedByReading) {
  TProfileFile ini(path_);
  EXPECT_EQ(ini.ReadString("MainForm", "Left", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadInteger("MainForm", "Left", 123), 123);
  EXPECT_TRUE(ini.ReadBool("MainForm", "Flag", true));
  EXPECT_FALSE(ini.SectionExists("MainForm"));
  EXPECT_FALSE(ini.ValueExists("MainForm", "Left"));
  EXPECT_TRUE(ini.ReadSection("MainForm").empty());
  EXPECT_TRUE(ini.ReadSections().empty());
  ini.DeleteKey("MainForm", "Left");
  ini.EraseSection("MainForm");
  EXPECT_FALSE(fs::exists(path_));
}

TEST_F(ProfileFileTest, LookupRules) {
  Put("stray=before any section\r\n"
      "; a comment = not a key\r\n"
      "[MainForm]\r\n"
      "Left=17\r\n"
      "  Top  =  -4  \r\n"
      "\tSpaced Key\t=\tsome text \r\n"
      "Empty=\r\n"
      "Quoted=\"  padded  \"\r\n"
      "Single=' x '\r\n"
      "Lopsided=\"abc'\r\n"
      "Eq=a=b=c\r\n"
      "just text\r\n"
      "Left=99\r\n"
      "[ Rating ]\r\n"
      "1=3\r\n"
      "[mainform]\r\n"
      "Hidden=in the second copy\r\n"
      "[Last]\n"
      "NoNewline=end");
  TProfileFile ini(path_);

  struct Case {
    const char* section;
    const char* key;
    const char* expected;
  };
  const Case cases[] = {
      {"MainForm", "Left", "17"},     // the first of two equal keys counts
      {"MAINFORM", "left", "17"},     // sections and keys ignore case
      {"MainForm", "Top", "-4"},      // key and value trimmed
      {" MainForm ", " Top ", "-4"},  // so are the names asked for
      {"MainForm", "Spaced Key", "some text"},
      {"MainForm", "Empty", ""},
      {"MainForm", "Quoted", "  padded  "},  // matching outer quotes are removed
      {"MainForm", "Single", " x "},
      {"MainForm", "Lopsided", "\"abc'"},   // unmatched quotes stay
      {"MainForm", "Eq", "a=b=c"},          // the first "=" splits
      {"MainForm", "just text", "<none>"},  // a line without "=" is no key
      {"MainForm", "; a comment", "<none>"},
      {"MainForm", "stray", "<none>"},
      {"MainForm", "Hidden", "<none>"},  // only the first section of a name counts
      {"Rating", "1", "3"},              // section name trimmed inside the brackets
      {"Last", "NoNewline", "end"},
      {"Nowhere", "Left", "<none>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    EXPECT_EQ(ini.ReadString(c.section, c.key, "<none>"), c.expected);
  }
  EXPECT_EQ(ini.ReadSection("mainform"),
            (std::vector<std::string>{"Left", "Top", "Spaced Key", "Empty", "Quoted", "Single", "Lopsided", "Eq"}));
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"MainForm", "Rating", "Last"}));
}

TEST_F(ProfileFileTest, ByteOrderMarkBeforeFirstSection) {
  Put("\xEF\xBB\xBF[MainForm]\nLeft=5\n");
  TProfileFile ini(path_);
  EXPECT_EQ(ini.ReadInteger("MainForm", "Left", 0), 5);
  ini.WriteInteger("MainForm", "Left", 6);
  EXPECT_EQ(Get(), "\xEF\xBB\xBF[MainForm]\nLeft=6\n");
}

TEST(ProfileTextToInt, Table) {
  struct Case {
    const char* text;
    int expected;
  };
  const Case cases[] = {
      {"0", 0},
      {"42", 42},
      {"-42", -42},
      {"+7", 7},
      {" 12 ", 12},
      {"0x1F", 31},
      {"$ff", 255},
      {"-$10", -16},
      {"2147483647", INT_MAX},
      {"-2147483648", INT_MIN},
      {"2147483648", -1},
      {"-2147483649", -1},
      {"99999999999999999999", -1},
      {"", -1},
      {"-", -1},
      {"0x", -1},
      {"12abc", -1},
      {"1 2", -1},
      {"true", -1},
      {"1.5", -1},
      {"0xG", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ProfileTextToInt(c.text, -1), c.expected);
  }
}

TEST_F(ProfileFileTest, IntegersAndBooleans) {
  Put("[S]\nNum=  31 \nBad=x1\nOn=1\nOff=0\nTwo=2\nWord=true\n");
  TProfileFile ini(path_);
  EXPECT_EQ(ini.ReadInteger("S", "Num", 0), 31);
  EXPECT_EQ(ini.ReadInteger("S", "Bad", 8), 8);  // found but not an integer: the default
  EXPECT_EQ(ini.ReadInteger("S", "Missing", 8), 8);
  EXPECT_TRUE(ini.ReadBool("S", "On", false));
  EXPECT_FALSE(ini.ReadBool("S", "Off", true));
  EXPECT_TRUE(ini.ReadBool("S", "Two", false));
  EXPECT_TRUE(ini.ReadBool("S", "Word", true));  // not an integer: the default
  EXPECT_FALSE(ini.ReadBool("S", "Word", false));

  ini.WriteBool("S", "On", false);
  ini.WriteBool("S", "New", true);
  ini.WriteInteger("S", "Num", INT_MIN);
  EXPECT_EQ(Get(), "[S]\nNum=-2147483648\nBad=x1\nOn=0\nOff=0\nTwo=2\nWord=true\nNew=1\n");
}

TEST_F(ProfileFileTest, FirstWriteCreatesTheFile) {
  TProfileFile ini(path_);
  ini.WriteInteger("MainForm", "Left", 140);
  ini.WriteInteger("MainForm", "Top", 60);
  ini.WriteInteger("Rating", "12", 4);
  EXPECT_EQ(Get(), "[MainForm]\nLeft=140\nTop=60\n\n[Rating]\n12=4\n");
  EXPECT_EQ(ini.ReadInteger("mainform", "TOP", 0), 60);
  EXPECT_FALSE(fs::exists(path_ + ".~tmp"));
}

TEST_F(ProfileFileTest, RewriteKeepsEveryOtherLine) {
  const std::string before =
      "; settings\r\n"
      "[MainForm]\r\n"
      "  LEFT = 1   \r\n"
      "Top=2\r\n"
      "\r\n"
      "[Rating]\r\n"
      "7=5\r\n"
      "odd line\r\n"
      "\r\n"
      "\r\n"
      "[Other]\r\n"
      "x=y";

  struct Case {
    const char* name;
    const char* section;
    const char* key;
    const char* value;
    std::string after;
  };
  const Case cases[] = {
      {"existing key keeps its spelling and place", "mainform", "Left", "300",
       "; settings\r\n[MainForm]\r\nLEFT=300\r\nTop=2\r\n\r\n[Rating]\r\n7=5\r\nodd line\r\n\r\n\r\n[Other]\r\nx=y"},
      {"new key after the section's last non-blank line", "Rating", "9", "1",
       "; settings\r\n[MainForm]\r\n  LEFT = 1   \r\nTop=2\r\n\r\n[Rating]\r\n7=5\r\nodd "
       "line\r\n9=1\r\n\r\n\r\n[Other]\r\nx=y"},
      {"new key in the last section, which lacked a line end", "Other", "z", "w",
       "; settings\r\n[MainForm]\r\n  LEFT = 1   \r\nTop=2\r\n\r\n[Rating]\r\n7=5\r\nodd "
       "line\r\n\r\n\r\n[Other]\r\nx=y\r\nz=w\r\n"},
      {"last key of the file replaced", "OTHER", "X", "v",
       "; settings\r\n[MainForm]\r\n  LEFT = 1   \r\nTop=2\r\n\r\n[Rating]\r\n7=5\r\nodd "
       "line\r\n\r\n\r\n[Other]\r\nx=v\r\n"},
      {"new section appended", "Fresh", "k", "",
       "; settings\r\n[MainForm]\r\n  LEFT = 1   \r\nTop=2\r\n\r\n[Rating]\r\n7=5\r\nodd "
       "line\r\n\r\n\r\n[Other]\r\nx=y\r\n\r\n[Fresh]\r\nk=\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Put(before);
    TProfileFile(path_).WriteString(c.section, c.key, c.value);
    EXPECT_EQ(Get(), c.after);
  }
}

TEST_F(ProfileFileTest, ValuesReadBackAsWritten) {
  const char* values[] = {"",
                          "plain",
                          " lead",
                          "trail ",
                          "\tboth\t",
                          "\"quoted\"",
                          "'single'",
                          "\"",
                          "a \"middle\" quote",
                          "x=y",
                          "; not a comment",
                          "[not a section]",
                          "caf\xC3\xA9"};
  TProfileFile ini(path_);
  for (const char* v : values) {
    SCOPED_TRACE(v);
    ini.WriteString("Values", "k", v);
    EXPECT_EQ(ini.ReadString("Values", "k", "<none>"), v);
  }
}

TEST_F(ProfileFileTest, DuplicatesWriteTheFirstOccurrence) {
  Put("[A]\nk=1\nk=2\n[a]\nk=3\n");
  TProfileFile ini(path_);
  ini.WriteString("a", "K", "9");
  EXPECT_EQ(Get(), "[A]\nk=9\nk=2\n[a]\nk=3\n");
}

TEST_F(ProfileFileTest, DeleteKeyAndEraseSection) {
  Put("[A]\nk=1\nm=2\n[B]\nn=3\n[C]\no=4\n");
  TProfileFile ini(path_);
  ini.DeleteKey("a", "K");
  EXPECT_EQ(Get(), "[A]\nm=2\n[B]\nn=3\n[C]\no=4\n");
  ini.EraseSection("b");
  EXPECT_EQ(Get(), "[A]\nm=2\n[C]\no=4\n");
  ini.DeleteKey("A", "missing");
  ini.EraseSection("missing");
  EXPECT_EQ(Get(), "[A]\nm=2\n[C]\no=4\n");
}

TEST_F(ProfileFileTest, NamesAndValuesThatCannotBeStoredAreRefused) {
  Put("[A]\nk=1\n");
  TProfileFile ini(path_);
  struct Case {
    const char* section;
    const char* key;
    const char* value;
  };
  const Case cases[] = {
      {"", "k", "v"},    {"  ", "k", "v"},         {"a]b", "k", "v"},  {"a\nb", "k", "v"},
      {"A", "", "v"},    {"A", "k=x", "v"},        {"A", "[k", "v"},   {"A", ";k", "v"},
      {"A", "k\r", "v"}, {"A", "k", "two\nlines"}, {"A", "k", "cr\r"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key + "/" + c.value);
    EXPECT_THROW(ini.WriteString(c.section, c.key, c.value), EProfileFileError);
  }
  EXPECT_EQ(Get(), "[A]\nk=1\n");
}

TEST_F(ProfileFileTest, UnwritableFileRaisesAndKeepsTheOldContent) {
  TProfileFile inMissingDir((dir_ / "no such dir" / "x.INI").string());
  try {
    inMissingDir.WriteInteger("MainForm", "Left", 1);
    FAIL() << "expected EProfileFileError";
  } catch (const EProfileFileError& e) {
    EXPECT_NE(std::string(e.what()).find("Unable to write to "), std::string::npos);
  }

  // A directory standing where the file should be cannot be replaced.
  const fs::path blocked = dir_ / "blocked.INI";
  fs::create_directories(blocked / "inside");
  EXPECT_THROW(TProfileFile(blocked.string()).WriteString("A", "k", "v"), EProfileFileError);
  EXPECT_TRUE(fs::is_directory(blocked / "inside"));
}

}  // namespace
}  // namespace quarry
