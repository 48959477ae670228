// The thread's last OS error and the classification of errno values (see os_error.h).
#include "engine/platform/os_error.h"

#include <cerrno>

namespace quarry {

namespace {
thread_local int32_t t_last_os_error = 0;
thread_local int32_t t_last_socket_error = 0;
}  // namespace

int32_t LastOsError() { return t_last_os_error; }
void SetLastOsError(int32_t os_error) { t_last_os_error = os_error; }
int32_t LastSocketError() { return t_last_socket_error; }
void SetLastSocketError(int32_t socket_error) { t_last_socket_error = socket_error; }

int32_t ClassifyErrno(int errno_value) {
  switch (errno_value) {
  case 0: return kOsErrorNone;
  case ENOENT: return kOsErrorFileNotFound;
  case ENOTDIR:
  case ENAMETOOLONG:
  case ELOOP: return kOsErrorPathNotFound;
  case EMFILE:
  case ENFILE: return kOsErrorTooManyOpenFiles;
  case EACCES:
  case EPERM:
  case EROFS:
  case EISDIR:
  case ETXTBSY:
  case EAGAIN:  // a lock conflict (EWOULDBLOCK is the same number on Linux)
    return kOsErrorAccessDenied;
  case EBADF: return kOsErrorInvalidHandle;
  case ENOMEM: return kOsErrorNotEnoughMemory;
  case ENODEV:
  case ENXIO: return kOsErrorInvalidDrive;
  case EXDEV: return kOsErrorNotSameDevice;
  case EEXIST: return kOsErrorAlreadyExists;
  case EINVAL: return kOsErrorInvalidParameter;
  case ENOSPC:
  case EDQUOT: return kOsErrorDiskFull;
  case ENOTEMPTY: return kOsErrorDirNotEmpty;
  case EFBIG: return kOsErrorFileTooLarge;
  case EIO: return kOsErrorIoDevice;
  default: return kOsErrorErrnoBase | errno_value;
  }
}

void SetLastOsErrorFromErrno(int errno_value) { t_last_os_error = ClassifyErrno(errno_value); }

}  // namespace quarry
