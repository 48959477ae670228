// TSaveOrig: a snapshot of the host's state taken before a print request changes anything,
// put back when the request ends: the application's override cursors and its tool-tip
// (hint) display. Taking it fails when no printer is installed.
#pragma once

namespace gpr {

class TSaveOrig {
 public:
  // Throws eGprSUError "GridPrinter! Setup Error: The system does not have a Default Printer
  // assigned" when hasDefaultPrinter is false.
  explicit TSaveOrig(bool hasDefaultPrinter);
  ~TSaveOrig();
  TSaveOrig(const TSaveOrig&) = delete;
  TSaveOrig& operator=(const TSaveOrig&) = delete;

 private:
  int overrideCursors_ = 0;  // override cursors set before the request
  bool toolTipsEnabled_ = true;
};

}  // namespace gpr
