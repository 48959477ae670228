// TgprPrinterOutput: the printer channel - each page drawn in the report font with QPainter
// on a QPrinter set up for the chosen system printer (Qt PrintSupport over CUPS).
//
// QPrinter renders the job as PDF into a temporary file, which is handed to the queue through
// libcups only when the run completes: QPrinter's own CUPS engine cannot abort (its abort does
// nothing and ending the painter submits the partial job) and reports no spooler errors, so
// an aborted or failed run would still print. Here an aborted run submits nothing, and a
// queue that went away or refused the job is an error.
//
// Pages and ranges are the run's business: QPrinter is given no page range and draws every
// page it is handed. Copies are made once: by the queue when it supports copies (the job's
// "copies" option), else by drawing the document again. What the chosen queue cannot do -
// duplex, a paper size - is refused before anything is printed.
#pragma once

#include "print/core/print_run.h"
#include "print/page_painter.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryFile>

#include <memory>
#include <string>
#include <vector>

namespace gpr {

// What the printer setup chose for a run.
struct TgprPrinterSetup {
  int Copies = 1;
  bool Collate = true;
  QPrinter::DuplexMode Duplex = QPrinter::DuplexNone;
  QPageSize PaperSize;  // invalid: the printer's default
  QPageLayout::Orientation Orientation = QPageLayout::Portrait;
  bool PrinterDefaultOrientation = false;
};

class TgprPrinterOutput : public TgprOutputChannel, public TgprPictureChannel {
 public:
  // printerName: the queue; jobTitle: "Report: " + `ReportDesc`.
  TgprPrinterOutput(std::string printerName, std::string jobTitle, TgprTextStyle style, TgprPrinterSetup setup = {});
  ~TgprPrinterOutput() override;

  TgprOpenResult Open() override;
  void WritePage(const std::vector<std::string>& lines, bool firstPage) override;
  void Close() override;
  void Abort() noexcept override;
  void WritePicture(const QImage& picture, TgprPictureScale scale) override;

  // The spooler's id of the submitted job (0 until Close succeeded).
  int JobId() const { return jobId_; }

 private:
  // A page as drawn, kept to draw it again for copies the queue cannot make.
  struct TPage {
    std::vector<std::string> Lines;
    QImage Picture;  // a snapshot page when not null
    TgprPictureScale Scale = TgprPictureScale::FitPage;
  };
  // Refuses a setting the queue cannot do; throws eGprPrtError.
  void CheckSupported() const;
  void StartPage();
  void Draw(const TPage& page);

  std::string printerName_;
  std::string jobTitle_;
  TgprPagePainter pagePainter_;
  TgprPrinterSetup setup_;
  std::unique_ptr<QPrinter> printer_;
  QPainter painter_;
  std::unique_ptr<QTemporaryFile> jobFile_;
  int jobId_ = 0;
  int ownCopies_ = 1;         // copies this channel draws itself (the printer cannot make them)
  std::vector<TPage> pages_;  // kept only when drawing copies ourselves
  bool anyPage_ = false;
};

}  // namespace gpr
