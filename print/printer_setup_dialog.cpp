// Printer Setup (printer_setup_dialog.h).
#include "print/printer_setup_dialog.h"

#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>

#include <algorithm>

namespace gpr {

namespace {

bool RunSystemDialog(QWidget* parent, TgprPrinterChoice& choice) {
  QPrinter printer;
  if (!choice.PrinterName.empty()) printer.setPrinterName(QString::fromStdString(choice.PrinterName));
  TgprPrinterSetup& setup = choice.Setup;
  printer.setCopyCount(setup.Copies);
  printer.setCollateCopies(setup.Collate);
  printer.setDuplex(setup.Duplex);
  printer.setPageOrientation(setup.Orientation);
  if (setup.PaperSize.isValid()) printer.setPageSize(setup.PaperSize);
  QPrintDialog dialog(&printer, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  choice.PrinterName = printer.printerName().toStdString();
  setup.Copies = std::max(1, printer.copyCount());
  setup.Collate = printer.collateCopies();
  setup.Duplex = printer.duplex();
  setup.PaperSize = printer.pageLayout().pageSize();
  setup.Orientation = printer.pageLayout().orientation();
  return true;
}

TgprPrinterDialogRunner& Runner() {
  static TgprPrinterDialogRunner runner;
  return runner;
}

}  // namespace

void SetPrinterDialogRunner(TgprPrinterDialogRunner runner) { Runner() = std::move(runner); }

bool RunPrinterSetup(QWidget* parent, TgprReportSettings& settings, TgprPrinterSetup& setup, bool& defaultPrinterLeft) {
  TgprPrinterChoice choice;
  if (!settings.DefaultPrinter) choice.PrinterName = settings.PrinterName;
  choice.Setup = setup;
  if (settings.Orientation != orPrinterDefault) {
    choice.Setup.Orientation = settings.Orientation == orLandscape ? QPageLayout::Landscape : QPageLayout::Portrait;
  }
  const bool accepted = Runner() ? Runner()(parent, choice) : RunSystemDialog(parent, choice);
  if (!accepted) return false;
  setup = choice.Setup;
  settings.PrinterName = choice.PrinterName;
  settings.Orientation = choice.Setup.Orientation == QPageLayout::Landscape ? orLandscape : orPortrait;
  defaultPrinterLeft = settings.DefaultPrinter;
  settings.DefaultPrinter = false;
  settings.Modified = true;
  return true;
}

}  // namespace gpr
