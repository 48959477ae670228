// Engine error codes, names and messages; the process-wide error context; the exception.
#include "engine/storage/errors/engine_error.h"

#include <algorithm>
#include <array>
#include <mutex>

#include "engine/platform/locale_services.h"
#include "engine/platform/os_error.h"

namespace quarry {

namespace {

// The context item that fills a placeholder.
enum class TFill : uint8_t { kNone, kServer, kUser, kDatabase, kTable, kField, kIndex, kMessage, kOsError };

struct TErrorEntry {
  TEngineErrorCode code;
  const char* name;
  const char* message;
  std::array<TFill, 3> fills;  // in placeholder order
};

using F = TFill;
constexpr F T = F::kTable;
constexpr F I = F::kIndex;
constexpr F D = F::kField;  // "D" for the field (F is the enum)
constexpr F S = F::kServer;
constexpr F U = F::kUser;
constexpr F B = F::kDatabase;
constexpr F M = F::kMessage;
constexpr F O = F::kOsError;
constexpr F N = F::kNone;

constexpr const char* kUnknownErrorText = "An unknown error occurred";

// Sorted by code (looked up by binary search).
constexpr TErrorEntry kErrors[] = {
    {QUARRY_NONE, "QUARRY_NONE", "", {N, N, N}},
    {QUARRY_BOF, "QUARRY_BOF", "Beginning of table '%s' unexpectedly encountered", {T, N, N}},
    {QUARRY_EOF, "QUARRY_EOF", "End of table '%s' unexpectedly encountered", {T, N, N}},
    {QUARRY_KEYORRECDELETED,
     "QUARRY_KEYORRECDELETED",
     "Record has been changed or deleted by another user, session, or table cursor in the table '%s'",
     {T, N, N}},
    {QUARRY_NOCURRREC, "QUARRY_NOCURRREC", "No current record in the table '%s'", {T, N, N}},
    {QUARRY_RECNOTFOUND, "QUARRY_RECNOTFOUND", "Record not found in the table '%s'", {T, N, N}},
    {QUARRY_ENDOFBLOB, "QUARRY_ENDOFBLOB", "End of blob data in the table '%s' reached prematurely", {T, N, N}},
    {QUARRY_HEADERCORRUPT, "QUARRY_HEADERCORRUPT", "Header information corrupt in the table '%s'", {T, N, N}},
    {QUARRY_FILECORRUPT, "QUARRY_FILECORRUPT", "Data record buffers corrupt in the table '%s'", {T, N, N}},
    {QUARRY_MEMOCORRUPT, "QUARRY_MEMOCORRUPT", "BLOB block buffers corrupt in the table '%s'", {T, N, N}},
    {QUARRY_INDEXCORRUPT, "QUARRY_INDEXCORRUPT", "Index page buffers corrupt in the table '%s'", {T, N, N}},
    {QUARRY_READERR, "QUARRY_READERR", "Error reading from the table '%s'", {T, N, N}},
    {QUARRY_WRITEERR, "QUARRY_WRITEERR", "Error writing to the table '%s'", {T, N, N}},
    {QUARRY_FILEDELETEFAIL, "QUARRY_FILEDELETEFAIL", "Cannot delete the table '%s'", {T, N, N}},
    {QUARRY_FILENOACCESS, "QUARRY_FILENOACCESS", "Error accessing header information for the table '%s'", {T, N, N}},
    {QUARRY_RECTOOBIG, "QUARRY_RECTOOBIG", "Maximum record size exceeded in the table '%s'", {T, N, N}},
    {QUARRY_TABLEFULL, "QUARRY_TABLEFULL", "The table '%s' is full and cannot contain any more data", {T, N, N}},
    {QUARRY_INTERNALLIMIT, "QUARRY_INTERNALLIMIT", "Too many filters defined for the table '%s'", {T, N, N}},
    {QUARRY_INDEXLIMIT,
     "QUARRY_INDEXLIMIT",
     "Maximum or minimum limits on number of indexes or fields in an index exceeded in the table '%s'",
     {T, N, N}},
    {QUARRY_FLDLIMIT,
     "QUARRY_FLDLIMIT",
     "Maximum or minimum limits on number of fields, auto-increment field value, or field size exceeded in the "
     "table '%s'",
     {T, N, N}},
    {QUARRY_OPENBLOBLIMIT, "QUARRY_OPENBLOBLIMIT", "Too many blobs opened in the table '%s'", {T, N, N}},
    {QUARRY_BLOBLIMIT,
     "QUARRY_BLOBLIMIT",
     "Too many blob fields or invalid blob block size specified for the table '%s'",
     {T, N, N}},
    {QUARRY_KEYVIOL, "QUARRY_KEYVIOL", "Duplicate key found in the index '%s' of the table '%s'", {I, T, N}},
    {QUARRY_MINVALERR,
     "QUARRY_MINVALERR",
     "The value for the field '%s' in the table '%s' is below the minimum allowable value",
     {D, T, N}},
    {QUARRY_MAXVALERR,
     "QUARRY_MAXVALERR",
     "The value for the field '%s' in the table '%s' is above the maximum allowable value",
     {D, T, N}},
    {QUARRY_REQDERR, "QUARRY_REQDERR", "A value must be provided for the field '%s' in the table '%s'", {D, T, N}},
    {QUARRY_OUTOFRANGE,
     "QUARRY_OUTOFRANGE",
     "Invalid field number or name '%s' specified for the table '%s'",
     {D, T, N}},
    {QUARRY_PRIMARYKEYREDEFINE,
     "QUARRY_PRIMARYKEYREDEFINE",
     "A primary index is already defined for the table '%s' and cannot be added again",
     {T, N, N}},
    {QUARRY_INVALIDBLOBOFFSET,
     "QUARRY_INVALIDBLOBOFFSET",
     "Invalid blob offset into the table '%s' specified",
     {T, N, N}},
    {QUARRY_INVALIDFLDTYPE,
     "QUARRY_INVALIDFLDTYPE",
     "Invalid field definition specified for the field '%s' in the table '%s'",
     {D, T, N}},
    {QUARRY_INVALIDVCHKSTRUCT,
     "QUARRY_INVALIDVCHKSTRUCT",
     "Invalid default, min or max validity check, or expression specified for the field '%s' in the table '%s'",
     {D, T, N}},
    {QUARRY_INDEXNAMEREQUIRED,
     "QUARRY_INDEXNAMEREQUIRED",
     "The secondary index name is missing or not specified for the table '%s'",
     {T, N, N}},
    {QUARRY_INVALIDPASSWORD, "QUARRY_INVALIDPASSWORD", "Password provided for the table '%s' is invalid", {T, N, N}},
    {QUARRY_INVALIDINDEXNAME,
     "QUARRY_INVALIDINDEXNAME",
     "Invalid secondary index name '%s' specified for the table '%s'",
     {I, T, N}},
    {QUARRY_INVALIDIDXDESC,
     "QUARRY_INVALIDIDXDESC",
     "Invalid field number '%s' specified in the index '%s' for the table '%s'",
     {D, I, T}},
    {QUARRY_INVALIDKEY,
     "QUARRY_INVALIDKEY",
     "Invalid key size specified in the index '%s' for the table '%s'",
     {I, T, N}},
    {QUARRY_INDEXEXISTS, "QUARRY_INDEXEXISTS", "The secondary index '%s' already exists for the table '%s'", {I, T, N}},
    {QUARRY_INVALIDBLOBLEN, "QUARRY_INVALIDBLOBLEN", "Invalid blob length in the table '%s'", {T, N, N}},
    {QUARRY_INVALIDBLOBHANDLE,
     "QUARRY_INVALIDBLOBHANDLE",
     "Invalid blob handle for the table '%s' specified",
     {T, N, N}},
    {QUARRY_TABLEOPEN, "QUARRY_TABLEOPEN", "The table '%s' is already in use", {T, N, N}},
    {QUARRY_INVALIDFIELDNAME,
     "QUARRY_INVALIDFIELDNAME",
     "Invalid or duplicate field name '%s' specified for the table '%s'",
     {D, T, N}},
    {QUARRY_NOSUCHFILTER, "QUARRY_NOSUCHFILTER", "Invalid filter handle specified for the table '%s'", {T, N, N}},
    {QUARRY_INVALIDFILTER, "QUARRY_INVALIDFILTER", "Filter error for the table '%s' - %s", {T, M, N}},
    {QUARRY_INVALIDINDEXDELETE,
     "QUARRY_INVALIDINDEXDELETE",
     "The primary index cannot be removed from the table '%s'",
     {T, N, N}},
    {QUARRY_LOCKED, "QUARRY_LOCKED", "The table '%s' is already locked by another user", {T, N, N}},
    {QUARRY_UNLOCKFAILED, "QUARRY_UNLOCKFAILED", "Cannot unlock table or record in the table '%s'", {T, N, N}},
    {QUARRY_LOCKTIMEOUT, "QUARRY_LOCKTIMEOUT", "General lock failure with the table '%s'", {T, N, N}},
    {QUARRY_NEEDEXCLACCESS, "QUARRY_NEEDEXCLACCESS", "The table '%s' must be opened exclusively", {T, N, N}},
    {QUARRY_RECLOCKFAILED, "QUARRY_RECLOCKFAILED", "Record in the table '%s' is in use by another user", {T, N, N}},
    {QUARRY_NOTSUFFTABLERIGHTS,
     "QUARRY_NOTSUFFTABLERIGHTS",
     "Insufficient rights to the table '%s', a password is required",
     {T, N, N}},
    {QUARRY_NOTABLOB, "QUARRY_NOTABLOB", "Invalid blob field '%s' specified for the table '%s'", {D, T, N}},
    {QUARRY_NOTINITIALIZED, "QUARRY_NOTINITIALIZED", "The database engine is not initialized", {N, N, N}},
    {QUARRY_OSENOENT, "QUARRY_OSENOENT", "Table '%s' does not exist", {T, N, N}},
    {QUARRY_OSEMFILE,
     "QUARRY_OSEMFILE",
     "Too many operating system files open while attempting to open the table '%s'",
     {T, N, N}},
    {QUARRY_OSEACCES, "QUARRY_OSEACCES", "Access denied to table '%s'", {T, N, N}},
    {QUARRY_OSEBADF, "QUARRY_OSEBADF", "Invalid operating system file handle for the table '%s'", {T, N, N}},
    {QUARRY_OSENOMEM,
     "QUARRY_OSENOMEM",
     "There is insufficient operating system memory available for the current operation",
     {N, N, N}},
    {QUARRY_OSEINVMEM, "QUARRY_OSEINVMEM", "Invalid length for the in-memory table '%s'", {T, N, N}},
    {QUARRY_OSENODEV,
     "QUARRY_OSENODEV",
     "Access denied to logical operating system device for the table '%s'",
     {T, N, N}},
    {QUARRY_OSENOTSAM, "QUARRY_OSENOTSAM", "The table '%s' has been moved", {T, N, N}},
    {QUARRY_OSUNKNOWN,
     "QUARRY_OSUNKNOWN",
     "An unknown operating system error %s occurred with the table '%s'",
     {O, T, N}},
    {QUARRY_REMOTECOMMLOST,
     "QUARRY_REMOTECOMMLOST",
     "The connection to the database server at '%s' has been lost",
     {S, N, N}},
    {QUARRY_REMOTEUNKNOWN,
     "QUARRY_REMOTEUNKNOWN",
     "An unknown error ('%s') occurred with the connection to the database server at '%s', please check the "
     "server log",
     {M, S, N}},
    {QUARRY_REMOTECONNECT,
     "QUARRY_REMOTECONNECT",
     "A connection to the database server at '%s' cannot be established",
     {S, N, N}},
    {QUARRY_REMOTENOLOGIN,
     "QUARRY_REMOTENOLOGIN",
     "A connection to the database server at '%s' cannot be established, the server is not accepting new logins",
     {S, N, N}},
    {QUARRY_REMOTEMAXCONNECT,
     "QUARRY_REMOTEMAXCONNECT",
     "A connection to the database server at '%s' cannot be established, the maximum number of connections has "
     "been reached",
     {S, N, N}},
    {QUARRY_REMOTEADDRESSBLOCK,
     "QUARRY_REMOTEADDRESSBLOCK",
     "A connection to the database server at '%s' cannot be established, the client address is blocked",
     {S, N, N}},
    {QUARRY_REMOTECALLBACK, "QUARRY_REMOTECALLBACK", kUnknownErrorText, {N, N, N}},
    {QUARRY_REMOTECALLBACKERR,
     "QUARRY_REMOTECALLBACKERR",
     "A server callback error occurred for the database server at '%s'",
     {S, N, N}},
    {QUARRY_REMOTEVERSION,
     "QUARRY_REMOTEVERSION",
     "A call to the database server at '%s' failed, the client engine version does not match the server",
     {S, N, N}},
    {QUARRY_REMOTEINVLOGIN,
     "QUARRY_REMOTEINVLOGIN",
     "A connection to the database server at '%s' cannot be established, the login information provided is "
     "invalid",
     {S, N, N}},
    {QUARRY_REMOTENOTAUTH,
     "QUARRY_REMOTENOTAUTH",
     "The user '%s' is not authorized to perform this operation with the database '%s' on the database server at "
     "'%s'",
     {U, B, S}},
    {QUARRY_REMOTENOTADMIN,
     "QUARRY_REMOTENOTADMIN",
     "The user '%s' is not authorized to perform administration functions on the database server at '%s'",
     {U, S, N}},
    {QUARRY_REMOTEINVUSER, "QUARRY_REMOTEINVUSER", "The user name is either invalid or blank", {N, N, N}},
    {QUARRY_REMOTENOUSER,
     "QUARRY_REMOTENOUSER",
     "The user '%s' does not exist on the database server at '%s'",
     {U, S, N}},
    {QUARRY_REMOTEDUPUSER,
     "QUARRY_REMOTEDUPUSER",
     "The user '%s' already exists on the database server at '%s'",
     {U, S, N}},
    {QUARRY_REMOTEINVDB, "QUARRY_REMOTEINVDB", "The database name or directory is either invalid or blank", {N, N, N}},
    {QUARRY_REMOTENODB,
     "QUARRY_REMOTENODB",
     "The database '%s' does not exist on the database server at '%s'",
     {B, S, N}},
    {QUARRY_REMOTEDUPDB,
     "QUARRY_REMOTEDUPDB",
     "The database '%s' already exists on the database server at '%s'",
     {B, S, N}},
    {QUARRY_REMOTEINVDBUSER, "QUARRY_REMOTEINVDBUSER", "The database user name is either invalid or blank", {N, N, N}},
    {QUARRY_REMOTENODBUSER,
     "QUARRY_REMOTENODBUSER",
     "The database user '%s' does not exist for the database '%s' on the database server at '%s'",
     {U, B, S}},
    {QUARRY_REMOTEDUPDBUSER,
     "QUARRY_REMOTEDUPDBUSER",
     "The database user '%s' already exists for the database '%s' on the database server at '%s'",
     {U, B, S}},
    {QUARRY_REMOTEINVREQUEST,
     "QUARRY_REMOTEINVREQUEST",
     "An invalid or unknown request was made to the database server at '%s'",
     {S, N, N}},
    {QUARRY_IMPORTERROR,
     "QUARRY_IMPORTERROR",
     "An error occurred during the import into the table '%s' - %s",
     {T, M, N}},
    {QUARRY_EXPORTERROR,
     "QUARRY_EXPORTERROR",
     "An error occurred during the export from the table '%s' - %s",
     {T, M, N}},
    {QUARRY_SQLPARSE, "QUARRY_SQLPARSE", "SQL error - %s", {M, N, N}},
    {QUARRY_OLDVERSION, "QUARRY_OLDVERSION", "The table '%s' is not the correct version", {T, N, N}},
    {QUARRY_SEARCHCOLREQD,
     "QUARRY_SEARCHCOLREQD",
     "Invalid field '%s' specified for the index '%s' in the table '%s'",
     {D, I, T}},
    {QUARRY_TABLEEXISTS, "QUARRY_TABLEEXISTS", "The table '%s' already exists", {T, N, N}},
    {QUARRY_COMPRESS, "QUARRY_COMPRESS", "Error compressing data", {N, N, N}},
    {QUARRY_UNCOMPRESS, "QUARRY_UNCOMPRESS", "Error uncompressing data", {N, N, N}},
    {QUARRY_CANNOTLOADLDDRV,
     "QUARRY_CANNOTLOADLDDRV",
     "The language driver for the table '%s' is not available or installed",
     {T, N, N}},
};

constexpr bool SortedByCode() {
  for (size_t i = 1; i < std::size(kErrors); ++i) {
    if (kErrors[i - 1].code >= kErrors[i].code) return false;
  }
  return true;
}
static_assert(SortedByCode(), "the error table must stay sorted by code");

const TErrorEntry* FindEntry(TEngineErrorCode code) {
  const auto* end = std::end(kErrors);
  const auto* found = std::lower_bound(std::begin(kErrors), end, code,
                                       [](const TErrorEntry& e, TEngineErrorCode c) { return e.code < c; });
  return found != end && found->code == code ? found : nullptr;
}

// The process-wide context of the last raise.
std::recursive_mutex g_context_mutex;  // guards g_context and g_context_code
TEngineErrorContext g_context;
TEngineErrorCode g_context_code = QUARRY_NONE;

std::string CutText(std::string_view text, size_t max_bytes) { return std::string(Utf8Prefix(text, max_bytes)); }

TEngineErrorContext CutContext(const TEngineErrorContext& context) {
  TEngineErrorContext cut;
  cut.server = CutText(context.server, kErrorContextTextMax);
  cut.user = CutText(context.user, kErrorContextTextMax);
  cut.database = CutText(context.database, kErrorContextTextMax);
  cut.table = CutText(context.table, kErrorContextTextMax);
  cut.field = CutText(context.field, kErrorContextTextMax);
  cut.index = CutText(context.index, kErrorContextTextMax);
  cut.message = CutText(context.message, kErrorContextTextMax);
  cut.os_error = context.os_error;
  cut.socket_error = context.socket_error;
  return cut;
}

std::string FillText(TFill fill, const TEngineErrorContext& context) {
  switch (fill) {
  case TFill::kServer: return context.server;
  case TFill::kUser: return context.user;
  case TFill::kDatabase: return context.database;
  case TFill::kTable: return context.table;
  case TFill::kField: return context.field;
  case TFill::kIndex: return context.index;
  case TFill::kMessage: return context.message;
  case TFill::kOsError: return std::to_string(context.os_error);
  case TFill::kNone: break;
  }
  return {};
}

TEngineErrorContext CurrentContext() {
  std::lock_guard<std::recursive_mutex> guard(g_context_mutex);
  return g_context;
}

std::string ExceptionText(TEngineErrorCode code, const TEngineErrorContext& context) {
  return "Quarry Engine Error # " + std::to_string(code) + " " + EngineErrorText(code, context);
}

}  // namespace

EQuarryEngineError::EQuarryEngineError(TEngineErrorCode code) : EQuarryEngineError(code, CurrentContext()) {}

EQuarryEngineError::EQuarryEngineError(TEngineErrorCode code, const TEngineErrorContext& context)
    : EDatabaseError(ExceptionText(code, CutContext(context))), code_(code), context_(CutContext(context)) {}

void RaiseEngineError(TEngineErrorCode code, const TEngineErrorContext& context) {
  // Held from clearing the context until the exception has copied it; released while
  // the exception propagates.
  std::lock_guard<std::recursive_mutex> guard(g_context_mutex);
  g_context = CutContext(context);
  g_context.os_error = LastOsError();
  g_context.socket_error = LastSocketError();
  g_context_code = code;
  throw EQuarryEngineError(code);
}

std::string EngineErrorText(TEngineErrorCode code) { return EngineErrorText(code, CurrentContext()); }

std::string EngineErrorText(TEngineErrorCode code, const TEngineErrorContext& context) {
  const TErrorEntry* entry = FindEntry(code);
  if (entry == nullptr) return kUnknownErrorText;
  std::string text;
  size_t next_fill = 0;
  for (const char* p = entry->message; *p != '\0'; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      if (next_fill < entry->fills.size()) text += FillText(entry->fills[next_fill++], context);
      ++p;
    } else {
      text += *p;
    }
  }
  return CutText(text, kErrorMessageMax);
}

std::string EngineErrorName(TEngineErrorCode code) {
  const TErrorEntry* entry = FindEntry(code);
  return entry == nullptr ? std::string() : std::string(entry->name);
}

TEngineErrorCode LastEngineErrorCode() {
  std::lock_guard<std::recursive_mutex> guard(g_context_mutex);
  return g_context_code;
}

TEngineErrorCode ErrorCodeOf(const std::exception& error) {
  if (const auto* engine_error = dynamic_cast<const EQuarryEngineError*>(&error)) return engine_error->Code();
  return QUARRY_OSUNKNOWN;
}

TEngineErrorCode ErrorCodeOf(std::exception_ptr error) {
  if (!error) return QUARRY_NONE;
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return ErrorCodeOf(e);
  } catch (...) {
    return QUARRY_OSUNKNOWN;
  }
}

TEngineErrorCode MapOsError() { return MapOsError(LastOsError()); }

TEngineErrorCode MapOsError(int32_t os_error) {
  switch (os_error) {
  case kOsErrorFileNotFound:
  case kOsErrorPathNotFound: return QUARRY_OSENOENT;
  case kOsErrorTooManyOpenFiles: return QUARRY_OSEMFILE;
  case kOsErrorAccessDenied:
  case kOsErrorSharingViolation:
  case kOsErrorNetworkAccessDenied: return QUARRY_OSEACCES;
  case kOsErrorInvalidHandle: return QUARRY_OSEBADF;
  case kOsErrorNotEnoughMemory: return QUARRY_OSENOMEM;
  case kOsErrorInvalidDrive: return QUARRY_OSENODEV;
  case kOsErrorNotSameDevice: return QUARRY_OSENOTSAM;
  default: return QUARRY_OSUNKNOWN;
  }
}

}  // namespace quarry
