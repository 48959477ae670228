// The PDF file channel (pdf_output.h).
#include "print/pdf_output.h"

#include "print/core/gpr_error.h"
#include "print/pdf_engine_heap.h"

namespace gpr {

namespace {

// A PDF cannot take more pages at its end: the question's "append" answer writes a new file.
TgprAskFileExists OverwriteInsteadOfAppend(TgprAskFileExists ask) {
  if (!ask) return ask;
  return [ask = std::move(ask)](const std::string& question) {
    const TgprFileAnswer answer = ask(question);
    return answer == TgprFileAnswer::No ? TgprFileAnswer::Yes : answer;
  };
}

}  // namespace

QPageLayout PageLayoutOf(const QPageSize& size, QPageLayout::Orientation orientation, int leftThous, int topThous,
                         int rightThous, int bottomThous) {
  return QPageLayout(size, orientation,
                     QMarginsF(leftThous / 1000.0, topThous / 1000.0, rightThous / 1000.0, bottomThous / 1000.0),
                     QPageLayout::Inch);
}

TgprPdfOutput::TgprPdfOutput(std::string fileName, TgprIfFileExists ifExists, std::string title, TgprTextStyle style,
                             QPageLayout pageLayout, TgprAskFileExists ask)
    : file_(std::move(fileName), ifExists == feAppend ? feOverwrite : ifExists,
            OverwriteInsteadOfAppend(std::move(ask))),
      title_(std::move(title)),
      pagePainter_(style),
      pageLayout_(std::move(pageLayout)) {}

TgprPdfOutput::~TgprPdfOutput() { Abort(); }

TgprOpenResult TgprPdfOutput::Open() {
  KeepPdfEngineBlocksInHeap();
  if (file_.Open() == TgprOpenResult::Cancelled) return TgprOpenResult::Cancelled;
  buffer_.setData(QByteArray());
  buffer_.open(QIODevice::WriteOnly);
  writer_ = std::make_unique<QPdfWriter>(&buffer_);
  writer_->setTitle(QString::fromStdString(title_));
  writer_->setCreator(QStringLiteral("Pellomar GridPrinter"));
  writer_->setResolution(1200);
  writer_->setPageLayout(pageLayout_);
  anyPage_ = false;
  if (!painter_.begin(writer_.get())) throw eGprPrtError("Cannot start the PDF file " + Quoted(file_.FileName()));
  pagePainter_.Begin(painter_);
  return TgprOpenResult::Opened;
}

void TgprPdfOutput::WritePage(const std::vector<std::string>& lines, bool /*firstPage*/) {
  if (anyPage_) writer_->newPage();
  pagePainter_.DrawPage(painter_, lines);
  anyPage_ = true;
}

void TgprPdfOutput::WritePicture(const QImage& picture, TgprPictureScale scale) {
  if (anyPage_) writer_->newPage();
  DrawPicture(painter_, picture, scale);
  anyPage_ = true;
}

void TgprPdfOutput::Close() {
  painter_.end();
  writer_.reset();
  buffer_.close();
  const QByteArray& bytes = buffer_.data();
  file_.Write(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  file_.Commit();
  buffer_.setData(QByteArray());
}

void TgprPdfOutput::Abort() noexcept {
  if (painter_.isActive()) painter_.end();
  writer_.reset();
  if (buffer_.isOpen()) buffer_.close();
  buffer_.setData(QByteArray());
  file_.Discard();
}

}  // namespace gpr
