// Raw text jobs through libcups, printer strings and the code page 437 narrowing
// (raw_spooler.h).
#include "print/core/raw_spooler.h"

#include "print/core/gpr_error.h"
#include "print/core/text_file_output.h"

#include <cups/cups.h>

#include <cctype>
#include <cstdint>
#include <utility>

namespace gpr {

namespace {

constexpr const char* kSpoolerError = "Print Spooler Error **\r";

std::string WithCupsError(std::string message) {
  const char* cupsError = cupsLastErrorString();
  if (cupsError && *cupsError) message += std::string("\r") + cupsError;
  return message;
}

// Unicode code point to its code page 437 byte, for the characters the line-drawing sets use
// and their relatives; 0 when the page has none.
unsigned char Cp437Byte(char32_t c) {
  struct TMap {
    char32_t Unicode;
    unsigned char Byte;
  };
  static constexpr TMap kMap[] = {
      {0x2591, 0xB0}, {0x2592, 0xB1}, {0x2593, 0xB2}, {0x2502, 0xB3}, {0x2524, 0xB4}, {0x2561, 0xB5}, {0x2562, 0xB6},
      {0x2556, 0xB7}, {0x2555, 0xB8}, {0x2563, 0xB9}, {0x2551, 0xBA}, {0x2557, 0xBB}, {0x255D, 0xBC}, {0x255C, 0xBD},
      {0x255B, 0xBE}, {0x2510, 0xBF}, {0x2514, 0xC0}, {0x2534, 0xC1}, {0x252C, 0xC2}, {0x251C, 0xC3}, {0x2500, 0xC4},
      {0x253C, 0xC5}, {0x255E, 0xC6}, {0x255F, 0xC7}, {0x255A, 0xC8}, {0x2554, 0xC9}, {0x2569, 0xCA}, {0x2566, 0xCB},
      {0x2560, 0xCC}, {0x2550, 0xCD}, {0x256C, 0xCE}, {0x2567, 0xCF}, {0x2568, 0xD0}, {0x2564, 0xD1}, {0x2565, 0xD2},
      {0x2559, 0xD3}, {0x2558, 0xD4}, {0x2552, 0xD5}, {0x2553, 0xD6}, {0x256B, 0xD7}, {0x256A, 0xD8}, {0x2518, 0xD9},
      {0x250C, 0xDA}, {0x2588, 0xDB}, {0x2584, 0xDC}, {0x258C, 0xDD}, {0x2590, 0xDE}, {0x2580, 0xDF},
  };
  for (const TMap& entry : kMap) {
    if (entry.Unicode == c) return entry.Byte;
  }
  return 0;
}

}  // namespace

std::string DecodePrinterString(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '#') {
      out += text[i];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '#') {
      out += '#';
      ++i;
      continue;
    }
    std::size_t digits = 0;
    int code = 0;
    while (digits < 3 && i + 1 + digits < text.size() &&
           std::isdigit(static_cast<unsigned char>(text[i + 1 + digits]))) {
      code = code * 10 + (text[i + 1 + digits] - '0');
      ++digits;
    }
    if (digits == 0) {
      out += '#';
      continue;
    }
    if (code > 255) {
      throw eGprPrtError("Fast Printer Text Printer String:\r" + std::string(text) + "\r" +
                         "has invalid ASCII character:" + std::to_string(code) +
                         ". ASCII numbers must be between 0 and 255.");
    }
    out += static_cast<char>(code);
    i += digits;
  }
  return out;
}

std::string ToCodePage437(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
      out += static_cast<char>(lead);
      ++i;
      continue;
    }
    // Length of the sequence from its lead byte; a stray byte counts as one character.
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    char32_t c = length == 4 ? lead & 0x07 : length == 3 ? lead & 0x0F : lead & 0x1F;
    std::size_t taken = 1;
    while (taken < length && i + taken < utf8.size() && (static_cast<unsigned char>(utf8[i + taken]) & 0xC0) == 0x80) {
      c = (c << 6) | (static_cast<unsigned char>(utf8[i + taken]) & 0x3F);
      ++taken;
    }
    const unsigned char byte = taken == length && length > 1 ? Cp437Byte(c) : 0;
    out += byte ? static_cast<char>(byte) : '?';
    i += taken;
  }
  return out;
}

std::string ResolvePrinterName(bool useDefault, const std::string& printerName) {
  if (!useDefault && !printerName.empty()) {
    if (cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, printerName.c_str(), nullptr)) {
      std::string name = dest->name;
      cupsFreeDests(1, dest);
      return name;
    }
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    std::string found;
    for (int i = 0; i < count && found.empty(); ++i) {
      if (std::string_view(dests[i].name).starts_with(printerName)) found = dests[i].name;
    }
    cupsFreeDests(count, dests);
    return found;
  }
  cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr);
  if (!dest) return {};
  std::string name = dest->name;
  cupsFreeDests(1, dest);
  return name;
}

TgprRawSpooler::TgprRawSpooler(std::string printerName, std::string documentName, std::string initString,
                               std::string finishString, bool formFeeds)
    : printerName_(std::move(printerName)),
      documentName_(std::move(documentName)),
      initString_(std::move(initString)),
      finishString_(std::move(finishString)),
      formFeeds_(formFeeds) {}

TgprRawSpooler::~TgprRawSpooler() { Abort(); }

TgprOpenResult TgprRawSpooler::Open() {
  const std::string init = DecodePrinterString(initString_);
  DecodePrinterString(finishString_);  // refuse a bad closing string before anything is sent

  cups_dest_t* dest =
      printerName_.empty() ? nullptr : cupsGetNamedDest(CUPS_HTTP_DEFAULT, printerName_.c_str(), nullptr);
  if (!dest) {
    throw eGprPrtError(WithCupsError(std::string(kSpoolerError) + "Unable to get printer for spooling (OpenPrinter)"));
  }
  cupsFreeDests(1, dest);

  const std::string startError =
      std::string(kSpoolerError) + "Using Fast Printer Text. Unable to start document printing (StartDocPrinter)";
  http_ = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 30000, nullptr);
  if (!http_) throw eGprPrtError(WithCupsError(startError));
  jobId_ = cupsCreateJob(http_, printerName_.c_str(), documentName_.c_str(), 0, nullptr);
  if (jobId_ == 0) throw eGprPrtError(WithCupsError(startError));
  if (cupsStartDocument(http_, printerName_.c_str(), jobId_, documentName_.c_str(), CUPS_FORMAT_RAW, 1) !=
      HTTP_STATUS_CONTINUE) {
    throw eGprPrtError(WithCupsError(startError));
  }
  documentOpen_ = true;
  pagesSent_ = 0;
  if (!Send(init)) {
    throw eGprPrtError(
        WithCupsError("Using Fast Printer Text. Error writing printer initialization string to print spooler."));
  }
  return TgprOpenResult::Opened;
}

bool TgprRawSpooler::Send(std::string_view bytes) {
  if (bytes.empty()) return true;
  return cupsWriteRequestData(http_, bytes.data(), bytes.size()) == HTTP_STATUS_CONTINUE;
}

void TgprRawSpooler::WritePage(const std::vector<std::string>& lines, bool firstPage) {
  page_.clear();
  AppendPageText(page_, lines, firstPage, formFeeds_);
  ++pagesSent_;
  if (!Send(ToCodePage437(page_))) {
    throw eGprPrtError(WithCupsError("\rError writing to print spooler. Page:" + std::to_string(pagesSent_)));
  }
}

void TgprRawSpooler::Close() {
  if (!Send(DecodePrinterString(finishString_))) {
    throw eGprPrtError(
        WithCupsError("Using Fast Printer Text. Error writing printer closing string to print spooler."));
  }
  documentOpen_ = false;
  if (cupsFinishDocument(http_, printerName_.c_str()) != IPP_STATUS_OK) {
    throw eGprPrtError(WithCupsError("\rError writing to print spooler. Page:" + std::to_string(pagesSent_)));
  }
  jobId_ = 0;
  httpClose(http_);
  http_ = nullptr;
}

void TgprRawSpooler::Abort() noexcept {
  // Dropping the connection ends the unfinished document; the job itself is then cancelled
  // over the default connection so that the spooler prints nothing of it.
  if (http_) httpClose(http_);
  http_ = nullptr;
  documentOpen_ = false;
  if (jobId_ != 0) cupsCancelJob2(CUPS_HTTP_DEFAULT, printerName_.c_str(), jobId_, 0);
  jobId_ = 0;
}

}  // namespace gpr
