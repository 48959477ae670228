// TUserFiles: a program folder the user may write keeps everything beside the program and
// the notes in the current directory; one that cannot be written sends the settings file and
// the notes to the XDG folders (or their defaults under HOME), which are made.
#include "app/user_files.h"

#include "engine/platform/environment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

struct TCase {
  const char* Name;
  bool ProgramFolderWritable;
  bool XdgSet;
  // Expected, relative to the scratch folder ("" for notes in the current directory).
  const char* SettingsFile;
  const char* NotesDirectory;
};

const TCase kCases[] = {
    {"build tree", true, false, "bin/Pellomar.INI", ""},
    {"build tree, XDG set", true, true, "bin/Pellomar.INI", ""},
    {"installed", false, false, "home/.config/pellomar/Pellomar.INI", "home/.local/share/pellomar/notes"},
    {"installed, XDG set", false, true, "xdg-config/pellomar/Pellomar.INI", "xdg-data/pellomar/notes"},
};

class UserFilesTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scratch_.isValid());
    ASSERT_TRUE(QDir(scratch_.path()).mkpath(QStringLiteral("bin")));
  }
  void TearDown() override { MakeProgramFolderWritable(true); }

  std::string Path(const std::string& relative) const { return scratch_.path().toStdString() + "/" + relative; }

  void MakeProgramFolderWritable(bool writable) {
    const QString bin = scratch_.filePath(QStringLiteral("bin"));
    QFile::Permissions permissions = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup;
    if (writable) permissions |= QFile::WriteOwner;
    ASSERT_TRUE(QFile::setPermissions(bin, permissions));
  }

  TUserFiles Choose(const std::map<std::string, std::string>& variables) {
    return TUserFiles::Choose(Path("bin/Pellomar"), quarry::DefaultEnvironment(), [&](const char* name) {
      const auto found = variables.find(name);
      return found == variables.end() ? std::string() : found->second;
    });
  }

  QTemporaryDir scratch_;
};

TEST_F(UserFilesTest, ProgramFolderDecidesWhereTheFilesGo) {
  for (const TCase& c : kCases) {
    SCOPED_TRACE(c.Name);
    MakeProgramFolderWritable(c.ProgramFolderWritable);
    std::map<std::string, std::string> variables{{"HOME", Path("home")}};
    if (c.XdgSet) {
      variables["XDG_CONFIG_HOME"] = Path("xdg-config");
      variables["XDG_DATA_HOME"] = Path("xdg-data");
    }
    const TUserFiles files = Choose(variables);
    EXPECT_EQ(files.SettingsFileName(), Path(c.SettingsFile));
    const std::string notes = *c.NotesDirectory == '\0' ? "" : Path(c.NotesDirectory);
    EXPECT_EQ(files.NotesDirectory(), notes);
    EXPECT_EQ(files.InUserFolders(), !c.ProgramFolderWritable);
    if (!c.ProgramFolderWritable) {
      // Both folders are there for the first write.
      EXPECT_TRUE(QFileInfo(QString::fromStdString(files.SettingsFileName())).dir().exists());
      EXPECT_TRUE(QFileInfo(QString::fromStdString(notes)).isDir());
      EXPECT_EQ(files.NotesFileName(42), QString::fromStdString(notes + "/42.vid"));
    } else {
      EXPECT_EQ(files.NotesFileName(42), QStringLiteral("42.vid"));
    }
  }
}

TEST_F(UserFilesTest, EmptyXdgVariablesCountAsUnset) {
  MakeProgramFolderWritable(false);
  const TUserFiles files = Choose({{"HOME", Path("home")}, {"XDG_CONFIG_HOME", ""}, {"XDG_DATA_HOME", ""}});
  EXPECT_EQ(files.SettingsFileName(), Path("home/.config/pellomar/Pellomar.INI"));
  EXPECT_EQ(files.NotesDirectory(), Path("home/.local/share/pellomar/notes"));
}

TEST_F(UserFilesTest, WithoutAHomeTheFilesStayBesideTheProgram) {
  MakeProgramFolderWritable(false);
  const TUserFiles files = Choose({});
  EXPECT_EQ(files.SettingsFileName(), Path("bin/Pellomar.INI"));
  EXPECT_FALSE(files.InUserFolders());
}

TEST_F(UserFilesTest, AMissingProgramFolderCountsAsNotWritable) {
  const TUserFiles files =
      TUserFiles::Choose(Path("gone/Pellomar"), quarry::DefaultEnvironment(),
                         [&](const char* name) { return std::string(name) == "HOME" ? Path("home") : ""; });
  EXPECT_EQ(files.SettingsFileName(), Path("home/.config/pellomar/Pellomar.INI"));
}

TEST(UserFiles, ASettingsFileAloneKeepsTheNotesInTheCurrentDirectory) {
  const TUserFiles files(std::string("/some/where/Pellomar.INI"));
  EXPECT_EQ(files.SettingsFileName(), "/some/where/Pellomar.INI");
  EXPECT_EQ(files.NotesFileName(7), QStringLiteral("7.vid"));
  EXPECT_FALSE(files.InUserFolders());
}

}  // namespace
