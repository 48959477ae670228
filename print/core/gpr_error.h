// The exceptions of GridPrinter. Every message is the whole user-visible text and begins with
// "GridPrinter! " and the category word of its class; the constructors take the text that
// follows the category and add the prefix, so a caller never spells a prefix itself.
//
//   class            | used for                                        | message prefix
//   -----------------+-------------------------------------------------+------------------------------
//   eGprError        | failing to save report settings                 | "GridPrinter! Error: "
//   eGprSUError      | setup: bad object, bad settings, passwords      | "GridPrinter! Setup Error: "
//   eGprPrtError     | talking to the printer or the spooler           | "GridPrinter! Printing Error: "
//   eGprIntError     | broken internal invariants                      | "GridPrinter! Internal Error: "
//   eGprUserTermRpt  | the user stopped the report                     | the whole "GridPrinter! User Terminated Report"
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace gpr {

// The version the component reports.
inline constexpr const char* kGprVersion = "1.58g CS";

inline constexpr const char* kGprErrorPrefix = "GridPrinter! Error: ";
inline constexpr const char* kGprSetupErrorPrefix = "GridPrinter! Setup Error: ";
inline constexpr const char* kGprPrintingErrorPrefix = "GridPrinter! Printing Error: ";
inline constexpr const char* kGprInternalErrorPrefix = "GridPrinter! Internal Error: ";
inline constexpr const char* kGprUserTerminatedMessage = "GridPrinter! User Terminated Report";

class eGprError : public std::runtime_error {
 public:
  // message: the text after "GridPrinter! Error: ".
  explicit eGprError(std::string_view message) : eGprError(kGprErrorPrefix, message) {}

 protected:
  eGprError(std::string_view prefix, std::string_view message);
};

class eGprSUError : public eGprError {
 public:
  explicit eGprSUError(std::string_view message) : eGprError(kGprSetupErrorPrefix, message) {}
  // A setup error whose whole text is given: the component's own messages that begin
  // "TGprGridPrinter Setup Error" instead of the prefix.
  static eGprSUError WholeText(std::string_view text) { return eGprSUError(TWhole{}, text); }

 private:
  struct TWhole {};
  eGprSUError(TWhole, std::string_view text) : eGprError("", text) {}
};

class eGprPrtError : public eGprError {
 public:
  explicit eGprPrtError(std::string_view message) : eGprError(kGprPrintingErrorPrefix, message) {}
};

class eGprIntError : public eGprError {
 public:
  explicit eGprIntError(std::string_view message) : eGprError(kGprInternalErrorPrefix, message) {}
};

class eGprUserTermRpt : public eGprError {
 public:
  eGprUserTermRpt() : eGprError(kGprUserTerminatedMessage, "") {}
};

// text between double quotes, as the messages show names and values.
std::string Quoted(std::string_view text);

}  // namespace gpr
