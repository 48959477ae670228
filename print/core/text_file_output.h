// The output file of text-file runs and exports, and the text-file output channel.
//
// TgprOutputFile writes one output file so that a failed or aborted run never leaves a file
// that looks complete: an overwrite goes to a temporary file beside the target, renamed over
// it only when the run completes; an append remembers the file's length and cuts the file
// back to it (or removes a file it created) when the run fails. While the run writes, the
// target is held under a write lock; a file another program holds locked is refused.
//
// TgprTextFileOutput turns pages into text lines ending in CR LF, with form feeds between
// pages when `ioFormFeeds` is on; AppendPageText is shared with the raw spooler, whose bytes
// are those of a text file of the same run.
#pragma once

#include "print/core/gpr_error.h"
#include "print/core/print_run.h"
#include "print/core/report_settings.h"

#include <sys/types.h>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace gpr {

// An output file that cannot be opened or written. Its message is the whole user-visible
// text ("Cannot open output file ...", "Output file ... is locked by another application ...").
class eGprFileError : public eGprError {
 public:
  eGprFileError(std::string_view message, int32_t ioError) : eGprError("", message), ioError_(ioError) {}
  // The I/O error number in the message (Win32-style, as engine/platform classifies errno).
  int32_t IoError() const { return ioError_; }

 private:
  int32_t ioError_;
};

// Answer to the file-exists question: Yes overwrites, No appends, Cancel ends the run.
enum class TgprFileAnswer { Yes, No, Cancel };
using TgprAskFileExists = std::function<TgprFileAnswer(const std::string& message)>;

// "File "<name>" already exists\rOverwrite this file?\r\r  Yes   : Overwrites\r ..."
std::string FileExistsQuestion(std::string_view fileName);
// "Cannot open output file "<name>"\r\nI/O Error=<code>"
std::string CannotOpenMessage(std::string_view fileName, int32_t ioError);
// "Output file "<name>" is locked by another application\r\nI/O Error=<code>\r\n\r\nSolution: ..."
std::string FileLockedMessage(std::string_view fileName, int32_t ioError);
// "Cannot write output file "<name>"\r\nI/O Error=<code>"
std::string CannotWriteMessage(std::string_view fileName, int32_t ioError);

class TgprOutputFile {
 public:
  // ask is called for feAsk when the file exists; without one, the question counts as Cancel.
  TgprOutputFile(std::string fileName, TgprIfFileExists ifExists, TgprAskFileExists ask = {});
  ~TgprOutputFile();  // discards unless committed
  TgprOutputFile(const TgprOutputFile&) = delete;
  TgprOutputFile& operator=(const TgprOutputFile&) = delete;

  // Opens for writing; Cancelled when the user cancelled the question (the file untouched).
  // Throws eGprFileError when the file cannot be opened or is locked.
  TgprOpenResult Open();
  // Throws eGprFileError on a write failure (a full disk); the file is left for Discard.
  void Write(std::string_view bytes);
  // Flushes, syncs and puts the file in place; throws eGprFileError on failure.
  void Commit();
  // Undoes the run's writes; safe to call at any time, more than once.
  void Discard() noexcept;

  const std::string& FileName() const { return fileName_; }

 private:
  void Flush();
  void CloseHandles() noexcept;
  [[noreturn]] void FailWrite(int errnoValue);

  std::string fileName_;
  TgprIfFileExists ifExists_;
  TgprAskFileExists ask_;
  int fd_ = -1;           // the file written: the temporary file, or the target when appending
  int lockFd_ = -1;       // the target held under a write lock while an overwrite runs
  std::string tempName_;  // set while an overwrite's temporary file exists
  bool appending_ = false;
  off_t originalSize_ = 0;
  std::string buffer_;
};

// Appends one page as text: each line followed by CR LF; with formFeeds, a page after the
// first that has more than one line begins with a form feed.
void AppendPageText(std::string& out, const std::vector<std::string>& lines, bool firstPage, bool formFeeds);

// The text-file channel. The file ends with a line holding a form feed when formFeeds is on
// and it received a page.
class TgprTextFileOutput : public TgprOutputChannel {
 public:
  TgprTextFileOutput(std::string fileName, TgprIfFileExists ifExists, bool formFeeds, TgprAskFileExists ask = {});

  TgprOpenResult Open() override;
  void WritePage(const std::vector<std::string>& lines, bool firstPage) override;
  void Close() override;
  void Abort() noexcept override;

 private:
  TgprOutputFile file_;
  bool formFeeds_;
  bool anyPage_ = false;
  std::string page_;
};

}  // namespace gpr
