// Engine errors: the codes, their names and messages, the process-wide error context and
// the exception that carries them.
//
// Every failure of the storage, expression and SQL engines is a 16-bit code. Operations
// that open or change things raise EQuarryEngineError through RaiseEngineError; cursor
// navigation and BLOB access return the code instead (0 = success). File-level operations
// return a negated code, which their handler raises with the file's path as table name.
//
// The error context is one process-wide record guarded by one mutex. RaiseEngineError
// holds that mutex from clearing the context until the exception has copied it, so two
// threads raising at once never mix their contexts; a thrown exception keeps its own copy.
#pragma once

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quarry {

using TEngineErrorCode = uint16_t;

inline constexpr TEngineErrorCode QUARRY_NONE = 0;
// Navigation
inline constexpr TEngineErrorCode QUARRY_BOF = 8705;
inline constexpr TEngineErrorCode QUARRY_EOF = 8706;
inline constexpr TEngineErrorCode QUARRY_KEYORRECDELETED = 8708;
inline constexpr TEngineErrorCode QUARRY_NOCURRREC = 8709;
inline constexpr TEngineErrorCode QUARRY_RECNOTFOUND = 8710;
inline constexpr TEngineErrorCode QUARRY_ENDOFBLOB = 8711;
// Corruption
inline constexpr TEngineErrorCode QUARRY_HEADERCORRUPT = 8961;
inline constexpr TEngineErrorCode QUARRY_FILECORRUPT = 8962;
inline constexpr TEngineErrorCode QUARRY_MEMOCORRUPT = 8963;
inline constexpr TEngineErrorCode QUARRY_INDEXCORRUPT = 8965;
// Input/output
inline constexpr TEngineErrorCode QUARRY_READERR = 9217;
inline constexpr TEngineErrorCode QUARRY_WRITEERR = 9218;
inline constexpr TEngineErrorCode QUARRY_FILEDELETEFAIL = 9220;
inline constexpr TEngineErrorCode QUARRY_FILENOACCESS = 9221;
// Limits
inline constexpr TEngineErrorCode QUARRY_RECTOOBIG = 9477;
inline constexpr TEngineErrorCode QUARRY_TABLEFULL = 9479;
inline constexpr TEngineErrorCode QUARRY_INTERNALLIMIT = 9482;
inline constexpr TEngineErrorCode QUARRY_INDEXLIMIT = 9487;
inline constexpr TEngineErrorCode QUARRY_FLDLIMIT = 9492;
inline constexpr TEngineErrorCode QUARRY_OPENBLOBLIMIT = 9494;
inline constexpr TEngineErrorCode QUARRY_BLOBLIMIT = 9498;
// Integrity
inline constexpr TEngineErrorCode QUARRY_KEYVIOL = 9729;
inline constexpr TEngineErrorCode QUARRY_MINVALERR = 9730;
inline constexpr TEngineErrorCode QUARRY_MAXVALERR = 9731;
inline constexpr TEngineErrorCode QUARRY_REQDERR = 9732;
// Invalid requests
inline constexpr TEngineErrorCode QUARRY_OUTOFRANGE = 9985;
inline constexpr TEngineErrorCode QUARRY_PRIMARYKEYREDEFINE = 9993;
inline constexpr TEngineErrorCode QUARRY_INVALIDBLOBOFFSET = 9998;
inline constexpr TEngineErrorCode QUARRY_INVALIDFLDTYPE = 10000;
inline constexpr TEngineErrorCode QUARRY_INVALIDVCHKSTRUCT = 10006;
inline constexpr TEngineErrorCode QUARRY_INDEXNAMEREQUIRED = 10010;
inline constexpr TEngineErrorCode QUARRY_INVALIDPASSWORD = 10015;
inline constexpr TEngineErrorCode QUARRY_INVALIDINDEXNAME = 10022;
inline constexpr TEngineErrorCode QUARRY_INVALIDIDXDESC = 10023;
inline constexpr TEngineErrorCode QUARRY_INVALIDKEY = 10026;
inline constexpr TEngineErrorCode QUARRY_INDEXEXISTS = 10027;
inline constexpr TEngineErrorCode QUARRY_INVALIDBLOBLEN = 10029;
inline constexpr TEngineErrorCode QUARRY_INVALIDBLOBHANDLE = 10030;
inline constexpr TEngineErrorCode QUARRY_TABLEOPEN = 10031;
inline constexpr TEngineErrorCode QUARRY_INVALIDFIELDNAME = 10038;
inline constexpr TEngineErrorCode QUARRY_NOSUCHFILTER = 10050;
inline constexpr TEngineErrorCode QUARRY_INVALIDFILTER = 10051;
inline constexpr TEngineErrorCode QUARRY_INVALIDINDEXDELETE = 10055;
// Locking
inline constexpr TEngineErrorCode QUARRY_LOCKED = 10241;
inline constexpr TEngineErrorCode QUARRY_UNLOCKFAILED = 10242;
inline constexpr TEngineErrorCode QUARRY_LOCKTIMEOUT = 10249;
inline constexpr TEngineErrorCode QUARRY_NEEDEXCLACCESS = 10253;
inline constexpr TEngineErrorCode QUARRY_RECLOCKFAILED = 10258;
// Rights
inline constexpr TEngineErrorCode QUARRY_NOTSUFFTABLERIGHTS = 10498;
// BLOBs and initialisation
inline constexpr TEngineErrorCode QUARRY_NOTABLOB = 10753;
inline constexpr TEngineErrorCode QUARRY_NOTINITIALIZED = 10758;
// Operating system
inline constexpr TEngineErrorCode QUARRY_OSENOENT = 11010;
inline constexpr TEngineErrorCode QUARRY_OSEMFILE = 11012;
inline constexpr TEngineErrorCode QUARRY_OSEACCES = 11013;
inline constexpr TEngineErrorCode QUARRY_OSEBADF = 11014;
inline constexpr TEngineErrorCode QUARRY_OSENOMEM = 11016;
inline constexpr TEngineErrorCode QUARRY_OSEINVMEM = 11017;
inline constexpr TEngineErrorCode QUARRY_OSENODEV = 11023;
inline constexpr TEngineErrorCode QUARRY_OSENOTSAM = 11025;
inline constexpr TEngineErrorCode QUARRY_OSUNKNOWN = 11047;
// Remote server
inline constexpr TEngineErrorCode QUARRY_REMOTECOMMLOST = 11276;
inline constexpr TEngineErrorCode QUARRY_REMOTEUNKNOWN = 11279;
inline constexpr TEngineErrorCode QUARRY_REMOTECONNECT = 11280;
inline constexpr TEngineErrorCode QUARRY_REMOTENOLOGIN = 11281;
inline constexpr TEngineErrorCode QUARRY_REMOTEMAXCONNECT = 11282;
inline constexpr TEngineErrorCode QUARRY_REMOTEADDRESSBLOCK = 11283;
inline constexpr TEngineErrorCode QUARRY_REMOTECALLBACK = 11284;
inline constexpr TEngineErrorCode QUARRY_REMOTECALLBACKERR = 11285;
inline constexpr TEngineErrorCode QUARRY_REMOTEVERSION = 11286;
inline constexpr TEngineErrorCode QUARRY_REMOTEINVLOGIN = 11287;
inline constexpr TEngineErrorCode QUARRY_REMOTENOTAUTH = 11288;
inline constexpr TEngineErrorCode QUARRY_REMOTENOTADMIN = 11289;
inline constexpr TEngineErrorCode QUARRY_REMOTEINVUSER = 11290;
inline constexpr TEngineErrorCode QUARRY_REMOTENOUSER = 11291;
inline constexpr TEngineErrorCode QUARRY_REMOTEDUPUSER = 11292;
inline constexpr TEngineErrorCode QUARRY_REMOTEINVDB = 11293;
inline constexpr TEngineErrorCode QUARRY_REMOTENODB = 11294;
inline constexpr TEngineErrorCode QUARRY_REMOTEDUPDB = 11295;
inline constexpr TEngineErrorCode QUARRY_REMOTEINVDBUSER = 11296;
inline constexpr TEngineErrorCode QUARRY_REMOTENODBUSER = 11297;
inline constexpr TEngineErrorCode QUARRY_REMOTEDUPDBUSER = 11298;
inline constexpr TEngineErrorCode QUARRY_REMOTEINVREQUEST = 11299;
inline constexpr TEngineErrorCode QUARRY_IMPORTERROR = 11300;
inline constexpr TEngineErrorCode QUARRY_EXPORTERROR = 11301;
// SQL, version, index field, table exists
inline constexpr TEngineErrorCode QUARRY_SQLPARSE = 11949;
inline constexpr TEngineErrorCode QUARRY_OLDVERSION = 12035;
inline constexpr TEngineErrorCode QUARRY_SEARCHCOLREQD = 12292;
inline constexpr TEngineErrorCode QUARRY_TABLEEXISTS = 13060;
// Compression, language
inline constexpr TEngineErrorCode QUARRY_COMPRESS = 15001;
inline constexpr TEngineErrorCode QUARRY_UNCOMPRESS = 15002;
inline constexpr TEngineErrorCode QUARRY_CANNOTLOADLDDRV = 15878;

// Longest context text kept (longer ones are cut) and longest message text produced.
inline constexpr size_t kErrorContextTextMax = 255;
inline constexpr size_t kErrorMessageMax = 254;

// The context items that travel with an error. Callers pass empty text for items that do
// not apply; the table name is the table's name, or the full path for file-level errors.
// Designated initialisers need this member order:
//   RaiseEngineError(QUARRY_KEYVIOL, {.table = "VIDEOS", .index = "ByTitle"});
struct TEngineErrorContext {
  std::string server{};
  std::string user{};
  std::string database{};
  std::string table{};
  std::string field{};
  std::string index{};
  std::string message{};
  int32_t os_error = 0;
  int32_t socket_error = 0;
};

// The database-error family: every error the database layers raise derives from it, so a
// caller may catch them all in one place.
class EDatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An engine error. Every field is set once at construction. The message is
// "Quarry Engine Error # <code> <message of the code>".
class EQuarryEngineError : public EDatabaseError {
 public:
  // Reads the process-wide error context (under its mutex).
  explicit EQuarryEngineError(TEngineErrorCode code);
  // Uses the given context (texts cut to kErrorContextTextMax).
  EQuarryEngineError(TEngineErrorCode code, const TEngineErrorContext& context);

  TEngineErrorCode Code() const { return code_; }
  int32_t OsError() const { return context_.os_error; }
  int32_t SocketError() const { return context_.socket_error; }
  const std::string& ServerName() const { return context_.server; }
  const std::string& UserName() const { return context_.user; }
  const std::string& DatabaseName() const { return context_.database; }
  const std::string& TableName() const { return context_.table; }
  const std::string& FieldName() const { return context_.field; }
  const std::string& IndexName() const { return context_.index; }
  const std::string& Detail() const { return context_.message; }
  // The message text (same as what()).
  std::string Message() const { return what(); }

 private:
  TEngineErrorCode code_;
  TEngineErrorContext context_;
};

// Clears the process-wide context, stores the code, the thread's last OS and socket errors
// and the texts of the context record (its os_error and socket_error are ignored: the
// thread's last errors are stored), and throws the EQuarryEngineError built from it.
[[noreturn]] void RaiseEngineError(TEngineErrorCode code, const TEngineErrorContext& context = {});

// The message of the code with its placeholders filled from the current process-wide
// context; "An unknown error occurred" for an unknown code. At most kErrorMessageMax bytes.
std::string EngineErrorText(TEngineErrorCode code);
// The same, filled from the given context.
std::string EngineErrorText(TEngineErrorCode code, const TEngineErrorContext& context);

// The symbolic name ("QUARRY_KEYVIOL"); "" for an unknown code.
std::string EngineErrorName(TEngineErrorCode code);

// The code stored by the last raise in the process (read under the context mutex).
TEngineErrorCode LastEngineErrorCode();

// The code of an engine error; QUARRY_OSUNKNOWN for any other exception.
TEngineErrorCode ErrorCodeOf(const std::exception& error);
TEngineErrorCode ErrorCodeOf(std::exception_ptr error);

// The engine code for an OS error number (os_error.h); the no-argument form uses the
// calling thread's last OS error.
TEngineErrorCode MapOsError();
TEngineErrorCode MapOsError(int32_t os_error);

}  // namespace quarry
