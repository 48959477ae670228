// Output files written so that a failed run leaves nothing claiming to be complete, and the
// text-file channel (text_file_output.h).
#include "print/core/text_file_output.h"

#include "engine/platform/os_error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>

namespace gpr {

namespace {

constexpr std::size_t kFlushSize = 64 * 1024;

// Takes a write lock on the whole file; false when another process or open file holds one.
bool LockWhole(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

bool IsLockConflict(int errnoValue) { return errnoValue == EAGAIN || errnoValue == EACCES; }

std::string DirectoryOf(const std::string& fileName) {
  const std::size_t slash = fileName.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return fileName.substr(0, slash);
}

std::string BaseNameOf(const std::string& fileName) {
  const std::size_t slash = fileName.rfind('/');
  return slash == std::string::npos ? fileName : fileName.substr(slash + 1);
}

}  // namespace

std::string FileExistsQuestion(std::string_view fileName) {
  return "File " + Quoted(fileName) + " already exists" + "\r" + "Overwrite this file?" + "\r\r" +
         "  Yes   : Overwrites" + "\r" + "  No    : Appends to file" + "\r" + "  Cancel: Terminates Report";
}

std::string CannotOpenMessage(std::string_view fileName, int32_t ioError) {
  return "Cannot open output file " + Quoted(fileName) + "\r\n" + "I/O Error=" + std::to_string(ioError);
}

std::string FileLockedMessage(std::string_view fileName, int32_t ioError) {
  return "Output file " + Quoted(fileName) + " is locked by another application" + "\r\n" +
         "I/O Error=" + std::to_string(ioError) + "\r\n\r\n" +
         "Solution: Have the other application close the file or use a different output file name";
}

std::string CannotWriteMessage(std::string_view fileName, int32_t ioError) {
  return "Cannot write output file " + Quoted(fileName) + "\r\n" + "I/O Error=" + std::to_string(ioError);
}

TgprOutputFile::TgprOutputFile(std::string fileName, TgprIfFileExists ifExists, TgprAskFileExists ask)
    : fileName_(std::move(fileName)), ifExists_(ifExists), ask_(std::move(ask)) {}

TgprOutputFile::~TgprOutputFile() { Discard(); }

TgprOpenResult TgprOutputFile::Open() {
  struct stat info {};
  const bool exists = ::stat(fileName_.c_str(), &info) == 0;
  if (exists && S_ISDIR(info.st_mode))
    throw eGprFileError(CannotOpenMessage(fileName_, quarry::kOsErrorAccessDenied), quarry::kOsErrorAccessDenied);

  appending_ = false;
  if (exists) {
    TgprIfFileExists choice = ifExists_;
    if (choice == feAsk) {
      const TgprFileAnswer answer = ask_ ? ask_(FileExistsQuestion(fileName_)) : TgprFileAnswer::Cancel;
      if (answer == TgprFileAnswer::Cancel) return TgprOpenResult::Cancelled;
      choice = answer == TgprFileAnswer::Yes ? feOverwrite : feAppend;
    }
    appending_ = choice == feAppend;
  }

  if (appending_) {
    fd_ = ::open(fileName_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd_ < 0) {
      const int32_t code = quarry::ClassifyErrno(errno);
      throw eGprFileError(CannotOpenMessage(fileName_, code), code);
    }
    if (!LockWhole(fd_) && IsLockConflict(errno)) {
      CloseHandles();
      throw eGprFileError(FileLockedMessage(fileName_, quarry::kOsErrorSharingViolation),
                          quarry::kOsErrorSharingViolation);
    }
    struct stat opened {};
    originalSize_ = ::fstat(fd_, &opened) == 0 ? opened.st_size : 0;
    return TgprOpenResult::Opened;
  }

  if (exists) {
    // The target must be writable, and not held by another program, although it is only
    // replaced at the end.
    lockFd_ = ::open(fileName_.c_str(), O_WRONLY | O_CLOEXEC);
    if (lockFd_ < 0) {
      const int32_t code = quarry::ClassifyErrno(errno);
      throw eGprFileError(CannotOpenMessage(fileName_, code), code);
    }
    if (!LockWhole(lockFd_) && IsLockConflict(errno)) {
      CloseHandles();
      throw eGprFileError(FileLockedMessage(fileName_, quarry::kOsErrorSharingViolation),
                          quarry::kOsErrorSharingViolation);
    }
  }
  std::string pattern = DirectoryOf(fileName_) + "/." + BaseNameOf(fileName_) + ".XXXXXX";
  fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd_ < 0) {
    const int32_t code = quarry::ClassifyErrno(errno);
    CloseHandles();
    throw eGprFileError(CannotOpenMessage(fileName_, code), code);
  }
  tempName_ = pattern;
  // mkostemp creates the file private; an output file gets the usual permissions.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd_, exists ? (info.st_mode & 07777) : (0666 & ~mask));
  return TgprOpenResult::Opened;
}

void TgprOutputFile::Write(std::string_view bytes) {
  buffer_.append(bytes);
  if (buffer_.size() >= kFlushSize) Flush();
}

void TgprOutputFile::Flush() {
  std::size_t done = 0;
  while (done < buffer_.size()) {
    const ssize_t written = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      FailWrite(errno);
    }
    done += static_cast<std::size_t>(written);
  }
  buffer_.clear();
}

void TgprOutputFile::FailWrite(int errnoValue) {
  buffer_.clear();
  const int32_t code = quarry::ClassifyErrno(errnoValue);
  throw eGprFileError(CannotWriteMessage(fileName_, code), code);
}

void TgprOutputFile::Commit() {
  Flush();
  if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) FailWrite(errno);
  if (!tempName_.empty()) {
    if (::rename(tempName_.c_str(), fileName_.c_str()) != 0) FailWrite(errno);
    tempName_.clear();
  }
  appending_ = false;
  CloseHandles();
}

void TgprOutputFile::Discard() noexcept {
  buffer_.clear();
  if (!tempName_.empty()) {
    ::unlink(tempName_.c_str());
    tempName_.clear();
  }
  if (appending_ && fd_ >= 0) {
    // Nothing to do when the file cannot be cut (a device); it was never made longer then.
    if (::ftruncate(fd_, originalSize_) != 0) {}
    appending_ = false;
  }
  CloseHandles();
}

void TgprOutputFile::CloseHandles() noexcept {
  if (fd_ >= 0) ::close(fd_);
  if (lockFd_ >= 0) ::close(lockFd_);
  fd_ = -1;
  lockFd_ = -1;
}

void AppendPageText(std::string& out, const std::vector<std::string>& lines, bool firstPage, bool formFeeds) {
  if (!firstPage && formFeeds && lines.size() > 1) out += '\f';
  for (const std::string& line : lines) {
    out += line;
    out += "\r\n";
  }
}

TgprTextFileOutput::TgprTextFileOutput(std::string fileName, TgprIfFileExists ifExists, bool formFeeds,
                                       TgprAskFileExists ask)
    : file_(std::move(fileName), ifExists, std::move(ask)), formFeeds_(formFeeds) {}

TgprOpenResult TgprTextFileOutput::Open() {
  anyPage_ = false;
  return file_.Open();
}

void TgprTextFileOutput::WritePage(const std::vector<std::string>& lines, bool firstPage) {
  page_.clear();
  AppendPageText(page_, lines, firstPage, formFeeds_);
  file_.Write(page_);
  anyPage_ = true;
}

void TgprTextFileOutput::Close() {
  if (anyPage_ && formFeeds_) file_.Write("\f\r\n");
  file_.Commit();
}

void TgprTextFileOutput::Abort() noexcept { file_.Discard(); }

}  // namespace gpr
