// Engine errors: every code's name and message, the context that fills them, the
// exception's fields, OS error mapping, and raises from several threads at once.
#include "engine/storage/errors/engine_error.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "engine/platform/os_error.h"

namespace quarry {
namespace {

// A context whose every item is recognisable in a message.
TEngineErrorContext Sample() {
  TEngineErrorContext c;
  c.server = "SRV";
  c.user = "USR";
  c.database = "DB";
  c.table = "TBL";
  c.field = "FLD";
  c.index = "IDX";
  c.message = "MSG";
  c.os_error = 77;
  return c;
}

struct TextCase {
  TEngineErrorCode code;
  const char* name;
  const char* text;  // filled from Sample()
};

const TextCase kTextCases[] = {
    {QUARRY_BOF, "QUARRY_BOF", "Beginning of table 'TBL' unexpectedly encountered"},
    {QUARRY_EOF, "QUARRY_EOF", "End of table 'TBL' unexpectedly encountered"},
    {QUARRY_KEYORRECDELETED, "QUARRY_KEYORRECDELETED",
     "Record has been changed or deleted by another user, session, or table cursor in the table 'TBL'"},
    {QUARRY_NOCURRREC, "QUARRY_NOCURRREC", "No current record in the table 'TBL'"},
    {QUARRY_RECNOTFOUND, "QUARRY_RECNOTFOUND", "Record not found in the table 'TBL'"},
    {QUARRY_ENDOFBLOB, "QUARRY_ENDOFBLOB", "End of blob data in the table 'TBL' reached prematurely"},
    {QUARRY_HEADERCORRUPT, "QUARRY_HEADERCORRUPT", "Header information corrupt in the table 'TBL'"},
    {QUARRY_FILECORRUPT, "QUARRY_FILECORRUPT", "Data record buffers corrupt in the table 'TBL'"},
    {QUARRY_MEMOCORRUPT, "QUARRY_MEMOCORRUPT", "BLOB block buffers corrupt in the table 'TBL'"},
    {QUARRY_INDEXCORRUPT, "QUARRY_INDEXCORRUPT", "Index page buffers corrupt in the table 'TBL'"},
    {QUARRY_READERR, "QUARRY_READERR", "Error reading from the table 'TBL'"},
    {QUARRY_WRITEERR, "QUARRY_WRITEERR", "Error writing to the table 'TBL'"},
    {QUARRY_FILEDELETEFAIL, "QUARRY_FILEDELETEFAIL", "Cannot delete the table 'TBL'"},
    {QUARRY_FILENOACCESS, "QUARRY_FILENOACCESS", "Error accessing header information for the table 'TBL'"},
    {QUARRY_RECTOOBIG, "QUARRY_RECTOOBIG", "Maximum record size exceeded in the table 'TBL'"},
    {QUARRY_TABLEFULL, "QUARRY_TABLEFULL", "The table 'TBL' is full and cannot contain any more data"},
    {QUARRY_INTERNALLIMIT, "QUARRY_INTERNALLIMIT", "Too many filters defined for the table 'TBL'"},
    {QUARRY_INDEXLIMIT, "QUARRY_INDEXLIMIT",
     "Maximum or minimum limits on number of indexes or fields in an index exceeded in the table 'TBL'"},
    {QUARRY_FLDLIMIT, "QUARRY_FLDLIMIT",
     "Maximum or minimum limits on number of fields, auto-increment field value, or field size exceeded in the "
     "table 'TBL'"},
    {QUARRY_OPENBLOBLIMIT, "QUARRY_OPENBLOBLIMIT", "Too many blobs opened in the table 'TBL'"},
    {QUARRY_BLOBLIMIT, "QUARRY_BLOBLIMIT",
     "Too many blob fields or invalid blob block size specified for the table 'TBL'"},
    {QUARRY_KEYVIOL, "QUARRY_KEYVIOL", "Duplicate key found in the index 'IDX' of the table 'TBL'"},
    {QUARRY_MINVALERR, "QUARRY_MINVALERR",
     "The value for the field 'FLD' in the table 'TBL' is below the minimum allowable value"},
    {QUARRY_MAXVALERR, "QUARRY_MAXVALERR",
     "The value for the field 'FLD' in the table 'TBL' is above the maximum allowable value"},
    {QUARRY_REQDERR, "QUARRY_REQDERR", "A value must be provided for the field 'FLD' in the table 'TBL'"},
    {QUARRY_OUTOFRANGE, "QUARRY_OUTOFRANGE", "Invalid field number or name 'FLD' specified for the table 'TBL'"},
    {QUARRY_PRIMARYKEYREDEFINE, "QUARRY_PRIMARYKEYREDEFINE",
     "A primary index is already defined for the table 'TBL' and cannot be added again"},
    {QUARRY_INVALIDBLOBOFFSET, "QUARRY_INVALIDBLOBOFFSET", "Invalid blob offset into the table 'TBL' specified"},
    {QUARRY_INVALIDFLDTYPE, "QUARRY_INVALIDFLDTYPE",
     "Invalid field definition specified for the field 'FLD' in the table 'TBL'"},
    {QUARRY_INVALIDVCHKSTRUCT, "QUARRY_INVALIDVCHKSTRUCT",
     "Invalid default, min or max validity check, or expression specified for the field 'FLD' in the table 'TBL'"},
    {QUARRY_INDEXNAMEREQUIRED, "QUARRY_INDEXNAMEREQUIRED",
     "The secondary index name is missing or not specified for the table 'TBL'"},
    {QUARRY_INVALIDPASSWORD, "QUARRY_INVALIDPASSWORD", "Password provided for the table 'TBL' is invalid"},
    {QUARRY_INVALIDINDEXNAME, "QUARRY_INVALIDINDEXNAME",
     "Invalid secondary index name 'IDX' specified for the table 'TBL'"},
    {QUARRY_INVALIDIDXDESC, "QUARRY_INVALIDIDXDESC",
     "Invalid field number 'FLD' specified in the index 'IDX' for the table 'TBL'"},
    {QUARRY_INVALIDKEY, "QUARRY_INVALIDKEY", "Invalid key size specified in the index 'IDX' for the table 'TBL'"},
    {QUARRY_INDEXEXISTS, "QUARRY_INDEXEXISTS", "The secondary index 'IDX' already exists for the table 'TBL'"},
    {QUARRY_INVALIDBLOBLEN, "QUARRY_INVALIDBLOBLEN", "Invalid blob length in the table 'TBL'"},
    {QUARRY_INVALIDBLOBHANDLE, "QUARRY_INVALIDBLOBHANDLE", "Invalid blob handle for the table 'TBL' specified"},
    {QUARRY_TABLEOPEN, "QUARRY_TABLEOPEN", "The table 'TBL' is already in use"},
    {QUARRY_INVALIDFIELDNAME, "QUARRY_INVALIDFIELDNAME",
     "Invalid or duplicate field name 'FLD' specified for the table 'TBL'"},
    {QUARRY_NOSUCHFILTER, "QUARRY_NOSUCHFILTER", "Invalid filter handle specified for the table 'TBL'"},
    {QUARRY_INVALIDFILTER, "QUARRY_INVALIDFILTER", "Filter error for the table 'TBL' - MSG"},
    {QUARRY_INVALIDINDEXDELETE, "QUARRY_INVALIDINDEXDELETE",
     "The primary index cannot be removed from the table 'TBL'"},
    {QUARRY_LOCKED, "QUARRY_LOCKED", "The table 'TBL' is already locked by another user"},
    {QUARRY_UNLOCKFAILED, "QUARRY_UNLOCKFAILED", "Cannot unlock table or record in the table 'TBL'"},
    {QUARRY_LOCKTIMEOUT, "QUARRY_LOCKTIMEOUT", "General lock failure with the table 'TBL'"},
    {QUARRY_NEEDEXCLACCESS, "QUARRY_NEEDEXCLACCESS", "The table 'TBL' must be opened exclusively"},
    {QUARRY_RECLOCKFAILED, "QUARRY_RECLOCKFAILED", "Record in the table 'TBL' is in use by another user"},
    {QUARRY_NOTSUFFTABLERIGHTS, "QUARRY_NOTSUFFTABLERIGHTS",
     "Insufficient rights to the table 'TBL', a password is required"},
    {QUARRY_NOTABLOB, "QUARRY_NOTABLOB", "Invalid blob field 'FLD' specified for the table 'TBL'"},
    {QUARRY_NOTINITIALIZED, "QUARRY_NOTINITIALIZED", "The database engine is not initialized"},
    {QUARRY_OSENOENT, "QUARRY_OSENOENT", "Table 'TBL' does not exist"},
    {QUARRY_OSEMFILE, "QUARRY_OSEMFILE",
     "Too many operating system files open while attempting to open the table 'TBL'"},
    {QUARRY_OSEACCES, "QUARRY_OSEACCES", "Access denied to table 'TBL'"},
    {QUARRY_OSEBADF, "QUARRY_OSEBADF", "Invalid operating system file handle for the table 'TBL'"},
    {QUARRY_OSENOMEM, "QUARRY_OSENOMEM",
     "There is insufficient operating system memory available for the current operation"},
    {QUARRY_OSEINVMEM, "QUARRY_OSEINVMEM", "Invalid length for the in-memory table 'TBL'"},
    {QUARRY_OSENODEV, "QUARRY_OSENODEV", "Access denied to logical operating system device for the table 'TBL'"},
    {QUARRY_OSENOTSAM, "QUARRY_OSENOTSAM", "The table 'TBL' has been moved"},
    {QUARRY_OSUNKNOWN, "QUARRY_OSUNKNOWN", "An unknown operating system error 77 occurred with the table 'TBL'"},
    {QUARRY_REMOTECOMMLOST, "QUARRY_REMOTECOMMLOST", "The connection to the database server at 'SRV' has been lost"},
    {QUARRY_REMOTEUNKNOWN, "QUARRY_REMOTEUNKNOWN",
     "An unknown error ('MSG') occurred with the connection to the database server at 'SRV', please check the server "
     "log"},
    {QUARRY_REMOTECONNECT, "QUARRY_REMOTECONNECT",
     "A connection to the database server at 'SRV' cannot be established"},
    {QUARRY_REMOTENOLOGIN, "QUARRY_REMOTENOLOGIN",
     "A connection to the database server at 'SRV' cannot be established, the server is not accepting new logins"},
    {QUARRY_REMOTEMAXCONNECT, "QUARRY_REMOTEMAXCONNECT",
     "A connection to the database server at 'SRV' cannot be established, the maximum number of connections has been "
     "reached"},
    {QUARRY_REMOTEADDRESSBLOCK, "QUARRY_REMOTEADDRESSBLOCK",
     "A connection to the database server at 'SRV' cannot be established, the client address is blocked"},
    {QUARRY_REMOTECALLBACK, "QUARRY_REMOTECALLBACK", "An unknown error occurred"},
    {QUARRY_REMOTECALLBACKERR, "QUARRY_REMOTECALLBACKERR",
     "A server callback error occurred for the database server at 'SRV'"},
    {QUARRY_REMOTEVERSION, "QUARRY_REMOTEVERSION",
     "A call to the database server at 'SRV' failed, the client engine version does not match the server"},
    {QUARRY_REMOTEINVLOGIN, "QUARRY_REMOTEINVLOGIN",
     "A connection to the database server at 'SRV' cannot be established, the login information provided is invalid"},
    {QUARRY_REMOTENOTAUTH, "QUARRY_REMOTENOTAUTH",
     "The user 'USR' is not authorized to perform this operation with the database 'DB' on the database server at "
     "'SRV'"},
    {QUARRY_REMOTENOTADMIN, "QUARRY_REMOTENOTADMIN",
     "The user 'USR' is not authorized to perform administration functions on the database server at 'SRV'"},
    {QUARRY_REMOTEINVUSER, "QUARRY_REMOTEINVUSER", "The user name is either invalid or blank"},
    {QUARRY_REMOTENOUSER, "QUARRY_REMOTENOUSER", "The user 'USR' does not exist on the database server at 'SRV'"},
    {QUARRY_REMOTEDUPUSER, "QUARRY_REMOTEDUPUSER", "The user 'USR' already exists on the database server at 'SRV'"},
    {QUARRY_REMOTEINVDB, "QUARRY_REMOTEINVDB", "The database name or directory is either invalid or blank"},
    {QUARRY_REMOTENODB, "QUARRY_REMOTENODB", "The database 'DB' does not exist on the database server at 'SRV'"},
    {QUARRY_REMOTEDUPDB, "QUARRY_REMOTEDUPDB", "The database 'DB' already exists on the database server at 'SRV'"},
    {QUARRY_REMOTEINVDBUSER, "QUARRY_REMOTEINVDBUSER", "The database user name is either invalid or blank"},
    {QUARRY_REMOTENODBUSER, "QUARRY_REMOTENODBUSER",
     "The database user 'USR' does not exist for the database 'DB' on the database server at 'SRV'"},
    {QUARRY_REMOTEDUPDBUSER, "QUARRY_REMOTEDUPDBUSER",
     "The database user 'USR' already exists for the database 'DB' on the database server at 'SRV'"},
    {QUARRY_REMOTEINVREQUEST, "QUARRY_REMOTEINVREQUEST",
     "An invalid or unknown request was made to the database server at 'SRV'"},
    {QUARRY_IMPORTERROR, "QUARRY_IMPORTERROR", "An error occurred during the import into the table 'TBL' - MSG"},
    {QUARRY_EXPORTERROR, "QUARRY_EXPORTERROR", "An error occurred during the export from the table 'TBL' - MSG"},
    {QUARRY_SQLPARSE, "QUARRY_SQLPARSE", "SQL error - MSG"},
    {QUARRY_OLDVERSION, "QUARRY_OLDVERSION", "The table 'TBL' is not the correct version"},
    {QUARRY_SEARCHCOLREQD, "QUARRY_SEARCHCOLREQD",
     "Invalid field 'FLD' specified for the index 'IDX' in the table 'TBL'"},
    {QUARRY_TABLEEXISTS, "QUARRY_TABLEEXISTS", "The table 'TBL' already exists"},
    {QUARRY_COMPRESS, "QUARRY_COMPRESS", "Error compressing data"},
    {QUARRY_UNCOMPRESS, "QUARRY_UNCOMPRESS", "Error uncompressing data"},
    {QUARRY_CANNOTLOADLDDRV, "QUARRY_CANNOTLOADLDDRV",
     "The language driver for the table 'TBL' is not available or installed"},
};

TEST(EngineErrorTest, EveryCodeHasItsNameAndMessage) {
  for (const TextCase& c : kTextCases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(EngineErrorName(c.code), c.name);
    EXPECT_EQ(EngineErrorText(c.code, Sample()), c.text);
    const EQuarryEngineError error(c.code, Sample());
    EXPECT_EQ(std::string(error.what()), "Quarry Engine Error # " + std::to_string(c.code) + " " + c.text);
  }
  EXPECT_EQ(EngineErrorName(QUARRY_NONE), "QUARRY_NONE");
}

TEST(EngineErrorTest, UnknownCodesStillMakeAnError) {
  for (TEngineErrorCode code : {TEngineErrorCode{1}, TEngineErrorCode{8707}, TEngineErrorCode{65535}}) {
    EXPECT_EQ(EngineErrorText(code, Sample()), "An unknown error occurred");
    EXPECT_EQ(EngineErrorName(code), "");
    try {
      RaiseEngineError(code, Sample());
      FAIL() << "no exception";
    } catch (const EQuarryEngineError& e) {
      EXPECT_EQ(e.Code(), code);
      EXPECT_EQ(std::string(e.what()), "Quarry Engine Error # " + std::to_string(code) + " An unknown error occurred");
    }
  }
}

TEST(EngineErrorTest, RaiseFillsTheFieldsAndTheMessageFromTheContext) {
  SetLastOsError(kOsErrorSharingViolation);
  SetLastSocketError(10054);
  try {
    RaiseEngineError(QUARRY_KEYVIOL, {.server = "srv",
                                      .user = "usr",
                                      .database = "/data/",
                                      .table = "VIDEOS",
                                      .field = "Title",
                                      .index = "ByTitle",
                                      .message = "detail"});
    FAIL() << "no exception";
  } catch (const EDatabaseError& base) {
    const auto& e = dynamic_cast<const EQuarryEngineError&>(base);
    EXPECT_EQ(e.Message(),
              "Quarry Engine Error # 9729 Duplicate key found in the index 'ByTitle' of the table 'VIDEOS'");
    EXPECT_EQ(e.Code(), QUARRY_KEYVIOL);
    EXPECT_EQ(e.OsError(), kOsErrorSharingViolation);
    EXPECT_EQ(e.SocketError(), 10054);
    EXPECT_EQ(e.ServerName(), "srv");
    EXPECT_EQ(e.UserName(), "usr");
    EXPECT_EQ(e.DatabaseName(), "/data/");
    EXPECT_EQ(e.TableName(), "VIDEOS");
    EXPECT_EQ(e.FieldName(), "Title");
    EXPECT_EQ(e.IndexName(), "ByTitle");
    EXPECT_EQ(e.Detail(), "detail");
  }
  SetLastSocketError(0);
  EXPECT_EQ(LastEngineErrorCode(), QUARRY_KEYVIOL);
  // The context stays until the next raise.
  EXPECT_EQ(EngineErrorText(QUARRY_TABLEOPEN), "The table 'VIDEOS' is already in use");
}

TEST(EngineErrorTest, OsUnknownShowsTheOsErrorAndNoTextCodeIgnoresTheContext) {
  SetLastOsError(1234);
  try {
    RaiseEngineError(QUARRY_OSUNKNOWN, {.table = "/data/VIDEOS.DAT"});
  } catch (const EQuarryEngineError& e) {
    EXPECT_EQ(e.OsError(), 1234);
    EXPECT_EQ(e.Message(),
              "Quarry Engine Error # 11047 An unknown operating system error 1234 occurred with the table "
              "'/data/VIDEOS.DAT'");
  }
  try {
    RaiseEngineError(QUARRY_OSENOMEM, Sample());
  } catch (const EQuarryEngineError& e) {
    EXPECT_EQ(e.Message(),
              "Quarry Engine Error # 11016 There is insufficient operating system memory available for the current "
              "operation");
  }
  SetLastOsError(0);
}

TEST(EngineErrorTest, RaiseClearsWhatThePreviousRaiseLeft) {
  try {
    RaiseEngineError(QUARRY_KEYVIOL, Sample());
  } catch (const EQuarryEngineError&) {}
  try {
    RaiseEngineError(QUARRY_SEARCHCOLREQD, {.table = "T"});
  } catch (const EQuarryEngineError& e) {
    EXPECT_EQ(e.FieldName(), "");
    EXPECT_EQ(e.IndexName(), "");
    EXPECT_EQ(e.Message(), "Quarry Engine Error # 12292 Invalid field '' specified for the index '' in the table 'T'");
  }
}

TEST(EngineErrorTest, LongTextsAreCutWithoutSplittingCharacters) {
  TEngineErrorContext context;
  context.table = std::string(300, 'x');
  const EQuarryEngineError e(QUARRY_OSENOENT, context);
  EXPECT_EQ(e.TableName().size(), kErrorContextTextMax);
  // The message of the code is cut to 254 bytes.
  EXPECT_EQ(EngineErrorText(QUARRY_OSENOENT, context).size(), kErrorMessageMax);
  EXPECT_EQ(e.Message(), "Quarry Engine Error # 11010 " + EngineErrorText(QUARRY_OSENOENT, context));

  std::string accented;
  for (int i = 0; i < 200; ++i) accented += "\xC3\xA9";  // 400 bytes of é
  context.table = accented;
  const std::string text = EngineErrorText(QUARRY_OSENOENT, context);
  EXPECT_LE(text.size(), kErrorMessageMax);
  const EQuarryEngineError cut(QUARRY_OSENOENT, context);
  EXPECT_EQ(cut.TableName().size(), 254u);  // 255 would split the 128th é
}

TEST(EngineErrorTest, ErrorCodeOfTellsEngineErrorsFromOthers) {
  EXPECT_EQ(ErrorCodeOf(EQuarryEngineError(QUARRY_EOF, {})), QUARRY_EOF);
  EXPECT_EQ(ErrorCodeOf(std::runtime_error("x")), QUARRY_OSUNKNOWN);
  EXPECT_EQ(ErrorCodeOf(EDatabaseError("x")), QUARRY_OSUNKNOWN);
  EXPECT_EQ(ErrorCodeOf(std::make_exception_ptr(EQuarryEngineError(QUARRY_KEYORRECDELETED, {}))),
            QUARRY_KEYORRECDELETED);
  EXPECT_EQ(ErrorCodeOf(std::make_exception_ptr(42)), QUARRY_OSUNKNOWN);
}

TEST(EngineErrorTest, OsErrorsMapToTheirEngineCodes) {
  const std::pair<int32_t, TEngineErrorCode> cases[] = {
      {kOsErrorFileNotFound, QUARRY_OSENOENT},
      {kOsErrorPathNotFound, QUARRY_OSENOENT},
      {kOsErrorTooManyOpenFiles, QUARRY_OSEMFILE},
      {kOsErrorAccessDenied, QUARRY_OSEACCES},
      {kOsErrorSharingViolation, QUARRY_OSEACCES},
      {kOsErrorNetworkAccessDenied, QUARRY_OSEACCES},
      {kOsErrorInvalidHandle, QUARRY_OSEBADF},
      {kOsErrorNotEnoughMemory, QUARRY_OSENOMEM},
      {kOsErrorInvalidDrive, QUARRY_OSENODEV},
      {kOsErrorNotSameDevice, QUARRY_OSENOTSAM},
      {kOsErrorDiskFull, QUARRY_OSUNKNOWN},
      {kOsErrorIoDevice, QUARRY_OSUNKNOWN},
      {0, QUARRY_OSUNKNOWN},
      {1234, QUARRY_OSUNKNOWN},
  };
  for (const auto& [os_error, code] : cases) {
    EXPECT_EQ(MapOsError(os_error), code) << os_error;
    SetLastOsError(os_error);
    EXPECT_EQ(MapOsError(), code) << os_error;
  }
  // Through errno classification, as the environment records it.
  const std::pair<int, TEngineErrorCode> errno_cases[] = {
      {ENOENT, QUARRY_OSENOENT}, {EMFILE, QUARRY_OSEMFILE}, {EACCES, QUARRY_OSEACCES},  {EPERM, QUARRY_OSEACCES},
      {EAGAIN, QUARRY_OSEACCES}, {EBADF, QUARRY_OSEBADF},   {ENOMEM, QUARRY_OSENOMEM},  {ENODEV, QUARRY_OSENODEV},
      {EXDEV, QUARRY_OSENOTSAM}, {EIO, QUARRY_OSUNKNOWN},   {EEXIST, QUARRY_OSUNKNOWN}, {ESRCH, QUARRY_OSUNKNOWN},
  };
  for (const auto& [errno_value, code] : errno_cases)
    EXPECT_EQ(MapOsError(ClassifyErrno(errno_value)), code) << errno_value;
  SetLastOsError(0);
}

TEST(EngineErrorTest, ThreadsRaisingAtOnceKeepTheirOwnContexts) {
  std::atomic<int> mixed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &mixed] {
      const std::string table = "T" + std::to_string(t);
      SetLastOsError(100 + t);
      for (int i = 0; i < 500; ++i) {
        try {
          RaiseEngineError(QUARRY_KEYVIOL, {.table = table, .index = table});
        } catch (const EQuarryEngineError& e) {
          const std::string expected = "Quarry Engine Error # 9729 Duplicate key found in the index '" + table +
                                       "' of the table '" + table + "'";
          if (e.TableName() != table || e.IndexName() != table || e.OsError() != 100 + t || e.Message() != expected) {
            ++mixed;
          }
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mixed.load(), 0);
}

}  // namespace
}  // namespace quarry
