// One print run of the request's report (report_run.h).
#include "print/report_run.h"

#include "print/core/builder_page_source.h"
#include "print/core/gpr_error.h"
#include "print/core/page_builder.h"
#include "print/core/raw_spooler.h"
#include "print/core/text_file_output.h"
#include "print/report_font.h"

#include <QFontMetrics>
#include <QMessageBox>
#include <QPageLayout>
#include <QPrinter>

#include <exception>

namespace gpr {

namespace {

TgprPrinterChannelFactory& PrinterChannelFactory() {
  static TgprPrinterChannelFactory factory;
  return factory;
}

TgprFileAnswer AskFileExists(QWidget* parent, const std::string& message) {
  const auto answer =
      QMessageBox::warning(parent, QStringLiteral("Warning"), QString::fromStdString(message).replace('\r', '\n'),
                           QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  if (answer == QMessageBox::Yes) return TgprFileAnswer::Yes;
  if (answer == QMessageBox::No) return TgprFileAnswer::No;
  return TgprFileAnswer::Cancel;
}

std::unique_ptr<TgprOutputChannel> ChannelFor(const TgprReportSettings& settings, QWidget* parent) {
  const bool formFeeds = settings.IncludeOptions.Has(ioFormFeeds);
  if (settings.OutputDest == odTextFile) {
    return std::make_unique<TgprTextFileOutput>(settings.OutputFileName, settings.IfOutputFileExists, formFeeds,
                                                [parent](const std::string& m) { return AskFileExists(parent, m); });
  }
  if (settings.OutputDest == odPrinter && settings.FastPrinterText && settings.AllowFastPrinterText) {
    // Fast printer text always goes to the system's default printer.
    return std::make_unique<TgprRawSpooler>(ResolvePrinterName(true, settings.PrinterName), settings.ReportDesc,
                                            settings.InitPrinterStr, settings.FinishPrinterStr, formFeeds);
  }
  if (settings.OutputDest == odPrinter && PrinterChannelFactory()) return PrinterChannelFactory()(settings, parent);
  if (settings.OutputDest == odExport) {
    throw eGprIntError("Open Output Internal Error **\rExport is not run through the page builder.");
  }
  throw eGprPrtError("Printer output is not available in this build. Choose \"Text File\" as the output destination.");
}

}  // namespace

void SetPrinterChannelFactory(TgprPrinterChannelFactory factory) { PrinterChannelFactory() = std::move(factory); }

TgprPrinterPage PrinterPageFor(const TgprReportSettings& settings) {
  QPrinter printer(QPrinter::HighResolution);
  if (!settings.DefaultPrinter && !settings.PrinterName.empty()) {
    printer.setPrinterName(QString::fromStdString(settings.PrinterName));
  }
  if (settings.Orientation != orPrinterDefault) {
    printer.setPageOrientation(settings.Orientation == orLandscape ? QPageLayout::Landscape : QPageLayout::Portrait);
  }
  const QRect area = printer.pageLayout().paintRectPixels(printer.resolution());
  TgprPrinterPage page;
  page.PrintableWidth = area.width();
  page.PrintableHeight = area.height();
  const int resolution = printer.resolution();
  const TgprReportSettings copy = settings;
  page.MeasureFont = [copy, resolution](int fontSize) {
    QFont font = ReportFont(copy, fontSize);
    // Measured at the printer's resolution: points to printer pixels.
    font.setPixelSize(std::max(1, fontSize * resolution / 72));
    const QFontMetrics metrics(font);
    return TgprCharMetrics{metrics.horizontalAdvance(QLatin1Char('X')),
                           metrics.boundingRect(QStringLiteral("X|ygW")).height()};
  };
  return page;
}

TgprRunOutcome RunReport(TgprReportSettings& settings, TObjInfo& objInfo, TgprPageRange range, QWidget* parent,
                         TgprRunMonitor* monitor) {
  TgprRunOutcome outcome;
  try {
    TgprPrintSettings print;
    const TgprPrinterPage printerPage = PrinterPageFor(settings);
    TgprPageBuilder builder(settings, objInfo, print, settings.OutputDest == odPrinter ? &printerPage : nullptr);
    TgprBuilderPageSource source(builder, objInfo.RowCount);
    const std::unique_ptr<TgprOutputChannel> channel = ChannelFor(settings, parent);
    TgprPrintRun run(range, acPrinting, settings.PrintWhat == pwPageRange);
    outcome.Result = run.Run(source, *channel, monitor);
    outcome.PagesPrinted = run.PagesPrinted();
    outcome.ErrorMessage = run.ErrorMessage();
  } catch (const std::exception& e) {
    outcome.Result = rrTerminated;
    outcome.ErrorMessage = e.what();
  }
  return outcome;
}

}  // namespace gpr
