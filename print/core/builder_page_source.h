// TgprBuilderPageSource: the page builder seen as the page source of a print run, so that
// the preview, the options window's Print button and the start-up sequence all send the
// pages the builder lays out to any output channel.
//
// The builder is not owned and must outlive the source. Pages are built lazily, exactly as
// the run asks for them; whether the data ended after a page is answered by the builder's
// page count once it knows it.
#pragma once

#include "print/core/page_builder.h"
#include "print/core/page_source.h"

namespace gpr {

class TgprBuilderPageSource : public TgprPageSource {
 public:
  TgprBuilderPageSource(TgprPageBuilder& builder, int rowCount) : builder_(builder), rowCount_(rowCount) {}

  int PagesAcross() const override { return builder_.PagesAcross(); }
  bool BuildPage(TgprPageId page, std::vector<std::string>& lines) override;
  bool DataEnded() const override { return dataEnded_; }
  // The builder does not tell rows apart from pages; pages done stand in for rows done,
  // scaled to the row count, so the progress display still moves.
  int RowsDone() const override { return rowsDone_; }
  int RowCount() const override { return rowCount_; }

 private:
  TgprPageBuilder& builder_;
  int rowCount_;
  int rowsDone_ = 0;
  bool dataEnded_ = false;
};

}  // namespace gpr
