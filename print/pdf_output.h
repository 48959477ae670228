// TgprPdfOutput: a PDF file as a destination of its own - the run's pages drawn in the
// report font with QPdfWriter, the font embedded. The file is written through TgprOutputFile,
// so it has the text file's overwrite, append-or-ask question and its safe writing (a PDF
// cannot be appended to: "append" writes a new file in its place as overwrite does).
#pragma once

#include "print/core/print_run.h"
#include "print/core/text_file_output.h"
#include "print/page_painter.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>

#include <memory>
#include <string>

namespace gpr {

class TgprPdfOutput : public TgprOutputChannel, public TgprPictureChannel {
 public:
  // pageLayout: page size, orientation and margins (`PageMarginThous`).
  TgprPdfOutput(std::string fileName, TgprIfFileExists ifExists, std::string title, TgprTextStyle style,
                QPageLayout pageLayout, TgprAskFileExists ask = {});
  ~TgprPdfOutput() override;

  TgprOpenResult Open() override;
  void WritePage(const std::vector<std::string>& lines, bool firstPage) override;
  void Close() override;
  void Abort() noexcept override;
  void WritePicture(const QImage& picture, TgprPictureScale scale) override;

 private:
  TgprOutputFile file_;
  std::string title_;
  TgprPagePainter pagePainter_;
  QPageLayout pageLayout_;
  QBuffer buffer_;
  std::unique_ptr<QPdfWriter> writer_;
  QPainter painter_;
  bool anyPage_ = false;
};

// A page layout from the report's page margins in thousandths of an inch.
QPageLayout PageLayoutOf(const QPageSize& size, QPageLayout::Orientation orientation, int leftThous, int topThous,
                         int rightThous, int bottomThous);

}  // namespace gpr
