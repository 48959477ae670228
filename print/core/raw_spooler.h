// Fast printer text: a run's pages sent as raw text straight to a printer queue through the
// CUPS spooler (libcups), with the report's printer initialisation and closing strings.
//
// The bytes sent are those a text file of the same run holds (CR LF line ends, form feeds
// between pages), narrowed to the printer's 8-bit character set, with the initialisation
// string in front and the closing string (by default a form feed) instead of the text file's
// last form-feed line. The job is created, its document streamed and only then finished, so
// an aborted or failed run cancels the job and nothing reaches the printer.
#pragma once

#include "print/core/print_run.h"

#include <string>
#include <string_view>
#include <vector>

typedef struct _http_s http_t;

namespace gpr {

// Decodes a printer string: "#" and up to three digits is the character of that code (0 to
// 255), "##" is "#", a "#" without digits stays. A code above 255 raises eGprPrtError
// "Fast Printer Text Printer String:\r<string>\rhas invalid ASCII character:<n>. ASCII
// numbers must be between 0 and 255.".
std::string DecodePrinterString(std::string_view text);

// Narrows UTF-8 text to code page 437 for a text printer. ASCII stays as it is; the
// box-drawing characters of the line-drawing sets - light and double lines, their corners,
// tees and crosses - and the shade and block characters become their code page 437 bytes;
// every other character becomes "?" (the stand-in), one per character.
std::string ToCodePage437(std::string_view utf8);

// The printer a run uses: the default queue when useDefault is set, else printerName,
// matched exactly, else as the leading part of a queue's name. Empty when there is none.
std::string ResolvePrinterName(bool useDefault, const std::string& printerName);

class TgprRawSpooler : public TgprOutputChannel {
 public:
  // printerName: the queue (ResolvePrinterName); documentName: `ReportDesc`; initString and
  // finishString: `InitPrinterStr` and `FinishPrinterStr` as typed (decoded at Open).
  TgprRawSpooler(std::string printerName, std::string documentName, std::string initString, std::string finishString,
                 bool formFeeds);
  ~TgprRawSpooler() override;
  TgprRawSpooler(const TgprRawSpooler&) = delete;
  TgprRawSpooler& operator=(const TgprRawSpooler&) = delete;

  TgprOpenResult Open() override;
  void WritePage(const std::vector<std::string>& lines, bool firstPage) override;
  void Close() override;
  void Abort() noexcept override;

  // The spooler's job id once Open succeeded (0 before).
  int JobId() const { return jobId_; }

 private:
  // Streams bytes into the open document; false when the spooler refused them.
  bool Send(std::string_view bytes);

  std::string printerName_;
  std::string documentName_;
  std::string initString_;
  std::string finishString_;
  bool formFeeds_;
  http_t* http_ = nullptr;  // the job's own connection, which carries the document stream
  int jobId_ = 0;
  bool documentOpen_ = false;
  int pagesSent_ = 0;
  std::string page_;
};

}  // namespace gpr
