// The operating-system error number of the calling thread, as the engine sees it.
//
// The engine classifies every failure of an OS call into the Win32-style error numbers
// that its error mapping understands (see MapOsError in engine/storage/errors/engine_error.h).
// The environment implementations set the value whenever a call fails; the engine reads
// it when it raises an error, so it travels with the exception as its OS error.
//
// Numbers: errno values the engine knows get the classic numbers below; any other errno
// e is kept recognisable as kOsErrorErrnoBase | e (bit 29, the "application-defined"
// bit of the classic scheme), so no errno can be mistaken for one of the known classes.
#pragma once

#include <cstdint>

namespace quarry {

inline constexpr int32_t kOsErrorNone = 0;
inline constexpr int32_t kOsErrorFileNotFound = 2;
inline constexpr int32_t kOsErrorPathNotFound = 3;
inline constexpr int32_t kOsErrorTooManyOpenFiles = 4;
inline constexpr int32_t kOsErrorAccessDenied = 5;
inline constexpr int32_t kOsErrorInvalidHandle = 6;
inline constexpr int32_t kOsErrorNotEnoughMemory = 8;
inline constexpr int32_t kOsErrorInvalidDrive = 15;
inline constexpr int32_t kOsErrorNotSameDevice = 17;
inline constexpr int32_t kOsErrorSharingViolation = 32;
inline constexpr int32_t kOsErrorLockViolation = 33;
inline constexpr int32_t kOsErrorNetworkAccessDenied = 65;
inline constexpr int32_t kOsErrorFileExists = 80;
inline constexpr int32_t kOsErrorInvalidParameter = 87;
inline constexpr int32_t kOsErrorDiskFull = 112;
inline constexpr int32_t kOsErrorNegativeSeek = 131;
inline constexpr int32_t kOsErrorDirNotEmpty = 145;
inline constexpr int32_t kOsErrorAlreadyExists = 183;
inline constexpr int32_t kOsErrorFileTooLarge = 223;
inline constexpr int32_t kOsErrorIoDevice = 1117;
inline constexpr int32_t kOsErrorErrnoBase = 0x20000000;

// The calling thread's last OS error number (0 when none has been recorded).
int32_t LastOsError();
void SetLastOsError(int32_t os_error);

// The calling thread's last socket error number. The local engine opens no sockets, so
// this stays 0 unless a client layer records one.
int32_t LastSocketError();
void SetLastSocketError(int32_t socket_error);

// The OS error number for an errno value (see the numbering above).
int32_t ClassifyErrno(int errno_value);

// Records ClassifyErrno(errno_value) as the thread's last OS error.
void SetLastOsErrorFromErrno(int errno_value);

}  // namespace quarry
