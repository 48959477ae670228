// The printer channel (printer_output.h).
#include "print/printer_output.h"

#include "print/core/gpr_error.h"
#include "print/pdf_engine_heap.h"

#include <QDir>
#include <QFile>
#include <QPrinterInfo>

#include <cups/cups.h>
#include <cups/pwg.h>

namespace gpr {

TgprPrinterOutput::TgprPrinterOutput(std::string printerName, std::string jobTitle, TgprTextStyle style,
                                     TgprPrinterSetup setup)
    : printerName_(std::move(printerName)),
      jobTitle_(std::move(jobTitle)),
      pagePainter_(style),
      setup_(std::move(setup)) {}

TgprPrinterOutput::~TgprPrinterOutput() { Abort(); }

namespace {

// Whether the queue takes the value for a job option (asked of the queue itself).
bool DestSupports(const std::string& printer, const char* option, const char* value) {
  cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, printer.c_str(), nullptr);
  if (!dest) return false;
  bool supported = false;
  if (cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest)) {
    supported = cupsCheckDestSupported(CUPS_HTTP_DEFAULT, dest, info, option, value) != 0;
    cupsFreeDestInfo(info);
  }
  cupsFreeDests(1, dest);
  return supported;
}

// Whether the queue says it cannot take the paper size. Asked of the spooler when Qt knows no
// sizes for the queue; a queue that names no media at all (a raw queue) passes the job on as
// it is, so there is nothing to refuse.
bool SpoolerRefusesPaper(const std::string& printer, const QPageSize& paper) {
  cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, printer.c_str(), nullptr);
  if (!dest) return false;
  bool refused = false;
  if (cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest)) {
    if (cupsFindDestSupported(CUPS_HTTP_DEFAULT, dest, info, CUPS_MEDIA) != nullptr) {
      const QSizeF size = paper.size(QPageSize::Millimeter);
      const pwg_media_t* media =
          pwgMediaForSize(static_cast<int>(size.width() * 100 + 0.5), static_cast<int>(size.height() * 100 + 0.5));
      refused = media == nullptr || cupsCheckDestSupported(CUPS_HTTP_DEFAULT, dest, info, CUPS_MEDIA, media->pwg) == 0;
    }
    cupsFreeDestInfo(info);
  }
  cupsFreeDests(1, dest);
  return refused;
}

}  // namespace

void TgprPrinterOutput::CheckSupported() const {
  if (printerName_.empty()) {
    throw eGprPrtError(
        "No printer is installed. Choose \"Text File\" as the output destination; a file name ending in \".pdf\" "
        "makes a PDF file.");
  }
  const QPrinterInfo info = QPrinterInfo::printerInfo(QString::fromStdString(printerName_));
  if (info.isNull()) {
    throw eGprPrtError("Printer " + Quoted(printerName_) + " is not installed");
  }
  if (setup_.Duplex != QPrinter::DuplexNone && !info.supportedDuplexModes().contains(setup_.Duplex)) {
    throw eGprPrtError("Printer " + Quoted(printerName_) + " cannot print on both sides of the paper (duplex)");
  }
  if (setup_.PaperSize.isValid()) {
    bool found = false;
    for (const QPageSize& size : info.supportedPageSizes()) found = found || size.isEquivalentTo(setup_.PaperSize);
    const bool listed = !info.supportedPageSizes().isEmpty();
    if (!found && (listed || SpoolerRefusesPaper(printerName_, setup_.PaperSize))) {
      throw eGprPrtError("Printer " + Quoted(printerName_) + " does not have the paper size " +
                         Quoted(setup_.PaperSize.name().toStdString()));
    }
  }
}

TgprOpenResult TgprPrinterOutput::Open() {
  CheckSupported();
  KeepPdfEngineBlocksInHeap();
  jobId_ = 0;
  jobFile_ = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/gpr-job-XXXXXX.pdf"));
  if (!jobFile_->open()) throw eGprPrtError("Printer " + Quoted(printerName_) + " cannot start the print job");
  jobFile_->close();

  printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
  const QPrinterInfo info = QPrinterInfo::printerInfo(QString::fromStdString(printerName_));
  printer_->setOutputFormat(QPrinter::PdfFormat);
  printer_->setOutputFileName(jobFile_->fileName());
  printer_->setDocName(QString::fromStdString(jobTitle_));
  printer_->setPageSize(setup_.PaperSize.isValid() ? setup_.PaperSize : info.defaultPageSize());
  if (!setup_.PrinterDefaultOrientation) printer_->setPageOrientation(setup_.Orientation);
  printer_->setFullPage(false);
  // Copies the queue cannot make are drawn here; either way, they are made only once.
  ownCopies_ = DestSupports(printerName_, CUPS_COPIES, "2") ? 1 : std::max(1, setup_.Copies);
  pages_.clear();
  anyPage_ = false;
  if (!painter_.begin(printer_.get())) {
    throw eGprPrtError("Printer " + Quoted(printerName_) + " cannot start the print job");
  }
  pagePainter_.Begin(painter_);
  return TgprOpenResult::Opened;
}

void TgprPrinterOutput::StartPage() {
  if (anyPage_ && !printer_->newPage()) throw eGprPrtError("Printer " + Quoted(printerName_) + " refused a new page");
  anyPage_ = true;
}

void TgprPrinterOutput::Draw(const TPage& page) {
  if (page.Picture.isNull()) {
    pagePainter_.DrawPage(painter_, page.Lines);
  } else {
    DrawPicture(painter_, page.Picture, page.Scale);
  }
}

void TgprPrinterOutput::WritePage(const std::vector<std::string>& lines, bool /*firstPage*/) {
  StartPage();
  TPage page{lines, {}, TgprPictureScale::FitPage};
  Draw(page);
  if (ownCopies_ > 1) pages_.push_back(std::move(page));
}

void TgprPrinterOutput::WritePicture(const QImage& picture, TgprPictureScale scale) {
  StartPage();
  TPage page{{}, picture, scale};
  Draw(page);
  if (ownCopies_ > 1) pages_.push_back(std::move(page));
}

void TgprPrinterOutput::Close() {
  for (int copy = 2; copy <= ownCopies_; ++copy) {
    for (const TPage& page : pages_) {
      printer_->newPage();
      Draw(page);
    }
  }
  if (!painter_.end()) throw eGprPrtError("Printer " + Quoted(printerName_) + " could not print the job");
  printer_.reset();

  cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, printerName_.c_str(), nullptr);
  if (!dest) throw eGprPrtError("Printer " + Quoted(printerName_) + " is no longer available");
  cupsFreeDests(1, dest);
  cups_option_t* options = nullptr;
  int optionCount = 0;
  if (ownCopies_ == 1 && setup_.Copies > 1) {
    optionCount = cupsAddOption(CUPS_COPIES, std::to_string(setup_.Copies).c_str(), optionCount, &options);
    optionCount =
        cupsAddOption("multiple-document-handling",
                      setup_.Collate ? "separate-documents-collated-copies" : "separate-documents-uncollated-copies",
                      optionCount, &options);
  }
  if (setup_.Duplex == QPrinter::DuplexLongSide || setup_.Duplex == QPrinter::DuplexAuto) {
    optionCount = cupsAddOption(CUPS_SIDES, CUPS_SIDES_TWO_SIDED_PORTRAIT, optionCount, &options);
  } else if (setup_.Duplex == QPrinter::DuplexShortSide) {
    optionCount = cupsAddOption(CUPS_SIDES, CUPS_SIDES_TWO_SIDED_LANDSCAPE, optionCount, &options);
  }
  const QByteArray file = QFile::encodeName(jobFile_->fileName());
  jobId_ = cupsPrintFile2(CUPS_HTTP_DEFAULT, printerName_.c_str(), file.constData(), jobTitle_.c_str(), optionCount,
                          options);
  cupsFreeOptions(optionCount, options);
  jobFile_.reset();
  if (jobId_ == 0) {
    throw eGprPrtError("Printer " + Quoted(printerName_) + " could not print the job\r" + cupsLastErrorString());
  }
}

void TgprPrinterOutput::Abort() noexcept {
  // Nothing has reached the spooler before Close: dropping the rendered file drops the job.
  if (painter_.isActive()) painter_.end();
  printer_.reset();
  jobFile_.reset();
}

}  // namespace gpr
