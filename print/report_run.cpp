// One run of the request's report (report_run.h).
#include "print/report_run.h"

#include "print/core/builder_page_source.h"
#include "print/core/export_file.h"
#include "print/core/gpr_error.h"
#include "print/core/grid_export_source.h"
#include "print/core/page_builder.h"
#include "print/core/text_file_output.h"
#include "print/memo_date_format.h"
#include "print/output_channels.h"
#include "print/progress_window.h"
#include "print/report_font.h"
#include "print/window_snapshot.h"

#include <QFontMetrics>
#include <QMessageBox>
#include <QPageLayout>
#include <QPrinter>

#include <exception>
#include <optional>

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

TgprAskFileExists AskerFor(QWidget* parent) {
  return [parent](const std::string& m) { return AskFileExists(parent, m); };
}

std::unique_ptr<TgprOutputChannel> ChannelFor(const TgprReportSettings& settings, const TgprRunContext& context) {
  if (PrinterChannelFactory()) return PrinterChannelFactory()(settings, context);
  return MakeOutputChannel(settings, AskerFor(context.Parent), context.PrinterSetup);
}

TgprActivity ActivityOf(const TgprReportSettings& settings) {
  return settings.OutputDest == odExport ? acExporting : acPrinting;
}

TgprRunOutcome OutcomeOf(TgprRunResult result, const TgprRunSummary& summary) {
  return {result, summary.PagesPrinted, summary.ErrorMessage};
}

TgprRunOutcome RunExport(TgprReportSettings& settings, TObjInfo& objInfo, const TgprRunContext& context,
                         TgprRunMonitor* monitor) {
  TgprGridExportSource source(settings, objInfo);
  TgprOutputFile file(settings.OutputFileName, settings.IfOutputFileExists, AskerFor(context.Parent));
  TgprExporter exporter(TgprExportOptions::FromSettings(settings));
  const TgprRunResult result = exporter.Run(source, file, monitor);
  return OutcomeOf(result, exporter.Summary());
}

TgprRunOutcome RunPages(TgprReportSettings& settings, TObjInfo& objInfo, TgprPageRange range,
                        const TgprRunContext& context, TgprRunMonitor* monitor) {
  TgprPrintSettings print;
  SetMemoDateTime(settings, print);
  const bool printer = DestinationOf(settings) == TgprDestination::Printer;
  std::optional<TgprPrinterPage> printerPage;
  if (printer) printerPage = PrinterPageFor(settings, context.PrinterSetup);
  TgprPageBuilder builder(settings, objInfo, print, printerPage ? &*printerPage : nullptr);
  TgprBuilderPageSource source(builder, objInfo.RowCount);
  const std::unique_ptr<TgprOutputChannel> channel = ChannelFor(settings, context);
  TgprPrintRun run(range, acPrinting, settings.PrintWhat == pwPageRange);
  const TgprRunResult result = run.Run(source, *channel, monitor);
  return OutcomeOf(result, run.Summary());
}

}  // namespace

void SetPrinterChannelFactory(TgprPrinterChannelFactory factory) { PrinterChannelFactory() = std::move(factory); }

TgprPrinterPage PrinterPageFor(const TgprReportSettings& settings, const TgprPrinterSetup& setup) {
  QPrinter printer(QPrinter::HighResolution);
  if (!settings.DefaultPrinter && !settings.PrinterName.empty()) {
    printer.setPrinterName(QString::fromStdString(settings.PrinterName));
  }
  if (setup.PaperSize.isValid()) printer.setPageSize(setup.PaperSize);
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

TgprRunOutcome RunReport(TgprReportSettings& settings, TObjInfo& objInfo, TgprPageRange range,
                         const TgprRunContext& context) {
  std::unique_ptr<TfmGprProgress> progress;
  TgprRunMonitor* monitor = context.Monitor;
  if (!monitor && context.ShowProgress && settings.DisplayProgressWin && settings.PrintWhat != pwWindowSnapshot) {
    progress = std::make_unique<TfmGprProgress>(context.Parent);
    progress->SetPauseAfter(settings.PauseAfterPrinting);
    progress->ShowProgress(QStringLiteral("Report:") + QString::fromStdString(settings.DialogTitle),
                           ActivityOf(settings), QStringLiteral("&Abort Report"), QStringLiteral("&Resume Report"));
    monitor = progress.get();
  }
  TgprRunOutcome outcome;
  try {
    if (settings.PrintWhat == pwWindowSnapshot) {
      CheckSnapshotSetup(settings, context.SnapshotForm, context.ComponentName);
      const std::unique_ptr<TgprOutputChannel> channel = ChannelFor(settings, context);
      const TgprRunResult result = PrintWindowSnapshot(*channel, *context.SnapshotForm, settings.SnapShotSize);
      outcome = {result, result == rrCompleted ? 1 : 0, {}};
    } else if (settings.OutputDest == odExport) {
      outcome = RunExport(settings, objInfo, context, monitor);
    } else {
      outcome = RunPages(settings, objInfo, range, context, monitor);
    }
  } catch (const std::exception& e) {
    // Failures before the run started (the layout, the channel); the run reports its own.
    outcome = {rrTerminated, 0, e.what()};
    if (progress) {
      TgprRunSummary summary;
      summary.Activity = ActivityOf(settings);
      summary.Status = rsTerminatedWithError;
      summary.ErrorMessage = e.what();
      progress->FinishProgress(false, summary);
    }
  }
  return outcome;
}

}  // namespace gpr
