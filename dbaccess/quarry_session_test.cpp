// Sessions and databases: the layer's rule messages, settings handed to the engine session,
// temporary databases, connecting and closing, passwords, automatic session names and the
// re-entrant engine lock.
#include "dbaccess/quarry_session.h"

#include <gtest/gtest.h>

#include <memory>

#include "dbaccess/access_test_support.h"
#include "dbaccess/quarry_database.h"
#include "dbaccess/session_list.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/session.h"

namespace quarry {
namespace {

using testing::AccessFixture;
using testing::ErrorOf;

class SessionTest : public AccessFixture {};

// Every rule of sessions and databases with its exact message.
TEST_F(SessionTest, RulesGiveTheirMessages) {
  struct TCase {
    const char* rule;
    std::function<void()> breakIt;
    const char* message;
  };
  TQuarryOwner form;
  TQuarryDatabase video(&form, "QuarryDB");
  video.SetDatabaseName("Video");
  video.SetDirectory("/db");
  TQuarrySession other(nullptr, "Other");
  other.SetSessionName("Other");

  const TCase cases[] = {
      {"directory of a connected database",
       [&] {
         video.Open();
         video.SetDirectory("/work");
       },
       "Cannot perform this operation on an open database."},
      {"name of a connected database", [&] { video.SetDatabaseName("Films"); },
       "Cannot perform this operation on an open database."},
      {"session of a connected database", [&] { video.SetSessionName("Other"); },
       "Cannot perform this operation on an open database."},
      {"transaction twice",
       [&] {
         video.StartTransaction();
         video.StartTransaction();
       },
       "Database Video already has an active transaction."},
      {"commit without a transaction",
       [&] {
         video.Rollback();
         video.Commit();
       },
       "Database Video has no active transaction."},
      {"rollback without a transaction", [&] { video.Rollback(); }, "Database Video has no active transaction."},
      {"transaction on a closed database",
       [&] {
         video.Close();
         video.StartTransaction();
       },
       "Cannot perform this operation on a closed database."},
      {"empty database name",
       [&] {
         TQuarryDatabase unnamed;
         unnamed.Open();
       },
       "Database name is missing."},
      {"colon in a database name",
       [&] {
         TQuarryDatabase bad;
         bad.SetDatabaseName("C:Films");
       },
       "Database name C:Films is not valid."},
      {"backslash in a database name",
       [&] {
         TQuarryDatabase bad;
         bad.SetDatabaseName("db\\films");
       },
       "Database name db\\films is not valid."},
      {"database name taken",
       [&] {
         TQuarryDatabase twin;
         twin.SetDatabaseName("VIDEO");
         video.Open();
         twin.Open();
       },
       "Database name Video already exists."},
      {"unknown session",
       [&] {
         TQuarryDatabase lost;
         lost.SetDatabaseName("Lost");
         lost.SetSessionName("Nowhere");
         lost.Open();
       },
       "Session name Nowhere is not valid."},
      {"session name taken", [&] { other.SetSessionName("default"); }, "Session name default already exists."},
      {"empty session name at activation",
       [&] {
         TQuarrySession nameless;
         nameless.Open();
       },
       "Session name is missing."},
      {"session type of an active session",
       [&] {
         other.Open();
         other.SetSessionType(TSessionType::stRemote);
       },
       "Cannot perform this operation on an active session."},
      {"remote port of an active session", [&] { other.SetRemotePort(1); },
       "Cannot perform this operation on an active session."},
      {"renaming an automatic-name session",
       [&] {
         TQuarryOwner module;
         TQuarrySession automatic(&module, "Session1");
         automatic.SetAutoSessionName(true);
         automatic.SetSessionName("Mine");
       },
       "Cannot perform this operation on the active auto-session."},
      {"second session under an auto-session's owner",
       [&] {
         TQuarryOwner module;
         TQuarrySession automatic(&module, "Session1");
         automatic.SetAutoSessionName(true);
         TQuarrySession second(&module, "Session2");
       },
       "This auto-session already exists."},
      {"automatic name beside another session",
       [&] {
         TQuarryOwner module;
         TQuarrySession first(&module, "Session1");
         TQuarrySession second(&module, "Session2");
         second.SetAutoSessionName(true);
       },
       "The active auto-session can be the only active session."},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(ErrorOf(c.breakIt), c.message) << c.rule;
  }
  EXPECT_EQ(video.Directory(), "/db") << "a refused change leaves the directory";
}

TEST_F(SessionTest, DefaultSessionIsFoundByEmptyNameAndCaseBlindName) {
  TQuarrySession& def = DefaultSession();
  EXPECT_TRUE(def.IsDefault());
  EXPECT_EQ(def.SessionName(), "Default");
  EXPECT_EQ(Sessions().Find(""), &def);
  EXPECT_EQ(Sessions().Find(" default "), &def);
  EXPECT_EQ(Sessions().Find("none"), nullptr);
  EXPECT_EQ(Sessions().Sessions().front(), &def);
}

TEST_F(SessionTest, PropertyRulesAndEngineVersion) {
  TQuarrySession session(nullptr, "S");
  session.SetSessionName("S1");
  session.SetProgressSteps(50);
  session.SetProgressSteps(101);
  EXPECT_EQ(session.ProgressSteps(), 50);
  session.SetEngineVersion("9.9");
  EXPECT_EQ(session.EngineVersion(), "3.24");
  TQuarryDatabase database;
  database.SetEngineVersion("1.0");
  EXPECT_EQ(database.EngineVersion(), "3.24");
  EXPECT_EQ(session.RemoteAddress(), "127.0.0.1");
  EXPECT_EQ(session.RemotePort(), 12005);
  EXPECT_TRUE(session.KeepConnections());
}

TEST_F(SessionTest, ActivationCopiesSettingsAndLaterChangesReachTheEngine) {
  TQuarrySession session;
  session.SetSessionName("Worker");
  session.SetLockRetryCount(3);
  session.SetLockWaitTime(7);
  session.SetLockProtocol(TLockProtocol::lpOptimistic);
  session.SetStrictChangeDetection(true);
  session.SetPrivateDir("\\tmp\\private");
  session.Open();
  TDataSession& engine = session.EngineSession();
  EXPECT_NE(&engine, &DefaultSession().EngineSession()) << "a session of its own gets its own engine session";
  const TSessionSettings& s = engine.Settings();
  EXPECT_EQ(s.LockRetryCount, 3);
  EXPECT_EQ(s.LockWaitTime, 7);
  EXPECT_EQ(s.LockProtocol, TLockProtocol::lpOptimistic);
  EXPECT_TRUE(s.StrictChangeDetection);
  EXPECT_EQ(engine.PrivateDir(), "/tmp/private");
  EXPECT_EQ(s.RecordBufferBytes, 16384);
  EXPECT_EQ(s.RecordBufferCount, 8192);
  EXPECT_EQ(s.ThirdBufferBytes, 16384);
  EXPECT_EQ(s.BlobBufferBytes, 32768);
  EXPECT_EQ(s.BlobBufferCount, 8192);
  session.SetForceBufferFlush(true);
  session.SetProgressSteps(5);
  EXPECT_TRUE(engine.Settings().ForceBufferFlush);
  EXPECT_EQ(engine.Settings().ProgressSteps, 5);
  EXPECT_TRUE(DefaultSession().Active()) << "activating a session activates the default one first";
}

TEST_F(SessionTest, StartupEventRunsBeforeTheNameCheck) {
  TQuarrySession session;
  int startups = 0;
  session.SetOnStartup([&](TQuarrySession& s) {
    ++startups;
    s.SetSessionName("Named");
  });
  session.Open();
  EXPECT_EQ(startups, 1);
  EXPECT_TRUE(session.Active());
}

TEST_F(SessionTest, RemoteSessionFailsToActivateAndStaysInactive) {
  TQuarrySession session;
  session.SetSessionName("Remote");
  session.SetSessionType(TSessionType::stRemote);
  EXPECT_THROW(session.Open(), EQuarryEngineError);
  EXPECT_FALSE(session.Active());
  // A temporary database made for it is not left behind.
  EXPECT_THROW(session.OpenDatabase("x"), EQuarryEngineError);
  EXPECT_TRUE(session.Databases().empty());
}

TEST_F(SessionTest, EmptyDatabaseNameMakesOneTemporaryDatabaseOnTheDefaultDirectory) {
  TQuarrySession& session = DefaultSession();
  TQuarryDatabase& first = session.OpenDatabase("");
  EXPECT_TRUE(first.Temporary());
  EXPECT_TRUE(first.Connected());
  EXPECT_EQ(first.Handle().Path(), "/work/");
  TQuarryDatabase& second = session.OpenDatabase("");
  EXPECT_EQ(&first, &second);
  EXPECT_EQ(first.ReferenceCount(), 2);
  session.CloseDatabase(first);
  session.CloseDatabase(first);
  EXPECT_EQ(first.ReferenceCount(), 0);
  EXPECT_TRUE(first.Connected()) << "KeepConnections keeps an unused temporary database";
}

TEST_F(SessionTest, PathGivenToOpenDatabaseBecomesATemporaryDatabaseOnThatDirectory) {
  TQuarrySession& session = DefaultSession();
  TQuarryDatabase& database = session.OpenDatabase("\\db");
  EXPECT_TRUE(database.Temporary());
  EXPECT_EQ(database.Directory(), "/db");
  EXPECT_EQ(database.Handle().Path(), "/db/");
  TQuarryDatabase& memory = session.OpenDatabase("memory");
  EXPECT_TRUE(memory.Handle().InMemory());
  EXPECT_EQ(memory.Directory(), "");
}

TEST_F(SessionTest, WithoutKeepConnectionsTheLastCloseFreesATemporaryDatabase) {
  TQuarrySession session;
  session.SetSessionName("Short");
  session.SetKeepConnections(false);
  TQuarryDatabase& database = session.OpenDatabase("/db");
  EXPECT_EQ(session.Databases().size(), 1u);
  session.CloseDatabase(database);
  EXPECT_TRUE(session.Databases().empty());
}

TEST_F(SessionTest, NamedDatabaseIsFoundBeforeATemporaryIsMade) {
  TQuarryDatabase video;
  video.SetDatabaseName("Video");
  video.SetDirectory("/db");
  int connects = 0;
  video.SetBeforeConnect([&](TQuarryDatabase& d) {
    ++connects;
    d.Session();  // the application adds its password and sets the directory here
  });
  TQuarryDatabase& found = DefaultSession().OpenDatabase("video");
  EXPECT_EQ(&found, &video);
  EXPECT_FALSE(found.Temporary());
  EXPECT_EQ(found.Handle().Path(), "/db/");
  EXPECT_EQ(connects, 1);
  DefaultSession().CloseDatabase(found);
  EXPECT_TRUE(video.Connected()) << "KeepConnection";
}

TEST_F(SessionTest, BeforeConnectMaySetTheDirectory) {
  TQuarryDatabase video;
  video.SetDatabaseName("Video");
  video.SetBeforeConnect([](TQuarryDatabase& d) {
    d.Session();
    DefaultSession().AddPassword("kqpwzra5");
    d.SetDirectory("/db/");
  });
  video.Open();
  EXPECT_EQ(video.Handle().Path(), "/db/");
  EXPECT_TRUE(DefaultSession().EngineSession().HasPassword("kqpwzra5"));
}

TEST_F(SessionTest, DeactivationFreesTemporariesAndDisconnectsTheRest) {
  TQuarryDatabase video;
  video.SetDatabaseName("Video");
  video.SetDirectory("/db");
  video.Open();
  DefaultSession().OpenDatabase("/work");
  EXPECT_EQ(DefaultSession().Databases().size(), 2u);
  DefaultSession().Close();
  EXPECT_FALSE(video.Connected());
  ASSERT_EQ(DefaultSession().Databases().size(), 1u);
  EXPECT_EQ(DefaultSession().Databases().front(), &video);
  video.Open();  // reactivates the session
  EXPECT_TRUE(DefaultSession().Active());
}

TEST_F(SessionTest, DatabaseOutlivingItsSessionIsClosedAndLosesTheSessionName) {
  TQuarryDatabase database;
  database.SetDatabaseName("Films");
  database.SetDirectory("/db");
  {
    TQuarrySession session;
    session.SetSessionName("Short");
    database.SetSessionName("Short");
    database.Open();
    EXPECT_EQ(database.Session(), &session);
  }
  EXPECT_FALSE(database.Connected());
  EXPECT_EQ(database.Session(), nullptr);
  EXPECT_EQ(database.SessionName(), "");
}

TEST_F(SessionTest, DatabasesOnOneDirectoryShareTheEngineDirectory) {
  TQuarryDatabase films;
  TQuarryDatabase archive;
  films.SetDatabaseName("Films");
  archive.SetDatabaseName("Archive");
  for (TQuarryDatabase* d : {&films, &archive}) {
    d->SetDirectory("/db");
    d->Open();
  }
  EXPECT_EQ(&films.Handle(), &archive.Handle());
  EXPECT_EQ(films.Handle().UseCount(), 2);
  films.Close();
  EXPECT_TRUE(archive.Connected());
  EXPECT_EQ(archive.Handle().UseCount(), 1);
  EXPECT_EQ(ErrorOf([&] { films.Handle(); }), "Cannot perform this operation on a closed database.");
}

TEST_F(SessionTest, PasswordsReachTheEngineSessionCutTo255Characters) {
  TQuarrySession& session = DefaultSession();
  const std::string longPassword(300, 'p');
  session.AddPassword("secret");
  session.AddPassword(longPassword);
  TDataSession& engine = session.EngineSession();
  EXPECT_TRUE(engine.HasPassword("secret"));
  EXPECT_TRUE(engine.HasPassword(longPassword.substr(0, 255)));
  session.RemovePassword("secret");
  EXPECT_FALSE(engine.HasPassword("secret"));
  session.RemoveAllPasswords();
  EXPECT_FALSE(engine.HasPassword(longPassword.substr(0, 255)));
}

TEST_F(SessionTest, PasswordRequestAsksTheEventThenThePrompt) {
  TQuarrySession& session = DefaultSession();
  EXPECT_FALSE(session.PasswordRequest()) << "no event and no prompt declines";
  int prompts = 0;
  TQuarrySession::SetPasswordPrompt([&](TQuarrySession&) {
    ++prompts;
    return true;
  });
  EXPECT_TRUE(session.PasswordRequest());
  EXPECT_EQ(prompts, 1);
  bool startValue = true;
  session.SetOnPassword([&](TQuarrySession& s, bool& go) {
    startValue = go;
    s.AddPassword("abc");
    go = false;
  });
  EXPECT_FALSE(session.PasswordRequest());
  EXPECT_FALSE(startValue) << "continue starts false";
  EXPECT_EQ(prompts, 1) << "the event replaces the prompt";
  EXPECT_TRUE(session.EngineSession().HasPassword("abc"));
  session.SetOnPassword(nullptr);
}

TEST_F(SessionTest, AutomaticSessionNameTakesTheLowestFreeNumberAndReachesTheOwnersComponents) {
  TQuarryOwner module;
  TQuarryDatabase database(&module, "Db");
  TQuarrySession automatic(&module, "Session");
  // The owner holds another component (the database) but no other session.
  automatic.SetAutoSessionName(true);
  EXPECT_EQ(automatic.SessionName(), "Session_1");
  EXPECT_EQ(database.SessionName(), "Session_1");
  TQuarryOwner module2;
  TQuarrySession automatic2(&module2, "Session");
  automatic2.SetAutoSessionName(true);
  EXPECT_EQ(automatic2.SessionName(), "Session_2");
  automatic.SetAutoSessionName(false);
  TQuarryOwner module3;
  TQuarrySession automatic3(&module3, "Other");
  automatic3.SetAutoSessionName(true);
  EXPECT_EQ(automatic3.SessionName(), "Other_1") << "the released number is reused";
}

TEST_F(SessionTest, EngineLockIsReentrantAndSetsTheCurrentEngineSession) {
  TQuarrySession session;
  session.SetSessionName("Locker");
  EXPECT_EQ(session.LockDepth(), 0);
  {
    TSessionLock outer(session);
    EXPECT_TRUE(session.Active()) << "the first lock activates";
    EXPECT_EQ(Sessions().CurrentEngineSession(), &session.EngineSession());
    {
      TSessionLock inner(session);
      EXPECT_EQ(session.LockDepth(), 2);
      TSessionLock otherSession(DefaultSession());
      EXPECT_EQ(Sessions().CurrentEngineSession(), &DefaultSession().EngineSession());
    }
    EXPECT_EQ(Sessions().CurrentEngineSession(), &session.EngineSession());
    EXPECT_EQ(session.LockDepth(), 1);
  }
  EXPECT_EQ(session.LockDepth(), 0);
}

TEST_F(SessionTest, DatabaseNameWithPathIsRefusedUnlessTemporaryAndSeparatorsAreNormalised) {
  TQuarryDatabase database;
  database.SetDirectory("\\db\\films\\");
  EXPECT_EQ(database.Directory(), "/db/films/");
  EXPECT_EQ(ErrorOf([&] { database.SetDatabaseName("/db"); }), "Database name /db is not valid.");
  EXPECT_EQ(database.DatabaseName(), "");
}

TEST_F(SessionTest, StoredConnectedDatabaseConnectsWhenLoaded) {
  TQuarryDatabase database;
  database.SetDatabaseName("Video");
  database.SetDirectory("/db");
  database.Loaded(false);
  EXPECT_FALSE(database.Connected());
  EXPECT_EQ(database.Session(), &DefaultSession());
  database.Loaded(true);
  EXPECT_TRUE(database.Connected());
}

}  // namespace
}  // namespace quarry
