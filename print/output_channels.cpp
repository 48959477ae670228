// Choosing and making the output channel of a run (output_channels.h).
#include "print/output_channels.h"

#include "print/core/gpr_error.h"
#include "print/core/raw_spooler.h"
#include "print/pdf_output.h"

namespace gpr {

TgprTextStyle TextStyleOf(const TgprReportSettings& settings) {
  return {settings.TextFontName, settings.TextFontSize, settings.TextFontStyle, settings.TextFontColor,
          settings.VertHtAdjPer};
}

std::unique_ptr<TgprOutputChannel> MakeOutputChannel(const TgprReportSettings& settings, TgprAskFileExists ask,
                                                     const TgprPrinterSetup& setup) {
  const bool formFeeds = settings.IncludeOptions.Has(ioFormFeeds);
  switch (DestinationOf(settings)) {
  case TgprDestination::Printer: {
    const std::string printer = ResolvePrinterName(settings.DefaultPrinter, settings.PrinterName);
    TgprPrinterSetup printerSetup = setup;
    if (settings.Orientation == orPrinterDefault) {
      printerSetup.PrinterDefaultOrientation = true;
    } else {
      printerSetup.Orientation = settings.Orientation == orLandscape ? QPageLayout::Landscape : QPageLayout::Portrait;
    }
    return std::make_unique<TgprPrinterOutput>(printer, "Report: " + settings.ReportDesc, TextStyleOf(settings),
                                               printerSetup);
  }
  case TgprDestination::FastPrinterText:
    // Fast printer text always goes to the system's default printer.
    return std::make_unique<TgprRawSpooler>(ResolvePrinterName(true, settings.PrinterName), settings.ReportDesc,
                                            settings.InitPrinterStr, settings.FinishPrinterStr, formFeeds);
  case TgprDestination::TextFile:
    return std::make_unique<TgprTextFileOutput>(settings.OutputFileName, settings.IfOutputFileExists, formFeeds,
                                                std::move(ask));
  case TgprDestination::PdfFile: {
    const TgprRect& margins = settings.PageMarginThous;
    const QPageLayout::Orientation orientation =
        settings.Orientation == orLandscape ? QPageLayout::Landscape : QPageLayout::Portrait;
    return std::make_unique<TgprPdfOutput>(
        settings.OutputFileName, settings.IfOutputFileExists, "Report: " + settings.ReportDesc, TextStyleOf(settings),
        PageLayoutOf(setup.PaperSize.isValid() ? setup.PaperSize : QPageSize(QPageSize::A4), orientation, margins.Left,
                     margins.Top, margins.Right, margins.Bottom),
        std::move(ask));
  }
  case TgprDestination::Export: break;
  }
  throw eGprIntError("Open Output Internal Error **\rOutput destination not specified.");
}

}  // namespace gpr
