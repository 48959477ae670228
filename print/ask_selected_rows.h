// TfmgprAskSelectedRows: asks, at the start of a "Selected Rows" run, whether to print only
// the grid's selected rows or all rows; its "&Cancel Report" stops the request.
#pragma once

#include <QDialog>

class QPushButton;
class QRadioButton;

namespace gpr {

enum class TgprSelectedRowsChoice { SelectedOnly, AllRows };

class TfmgprAskSelectedRows : public QDialog {
  Q_OBJECT

 public:
  explicit TfmgprAskSelectedRows(int selectedCount, QWidget* parent = nullptr);

  // The checked choice.
  TgprSelectedRowsChoice Choice() const;
  // Shows the window modally; "&Cancel Report" raises eGprUserTermRpt.
  static TgprSelectedRowsChoice Ask(int selectedCount, QWidget* parent = nullptr);

  QRadioButton* SelectedButton() const { return rbSelected_; }
  QRadioButton* AllButton() const { return rbAll_; }
  QPushButton* OkButton() const { return btnOk_; }
  QPushButton* CancelButton() const { return btnCancel_; }

 private:
  QRadioButton* rbSelected_;
  QRadioButton* rbAll_;
  QPushButton* btnOk_;
  QPushButton* btnCancel_;
};

}  // namespace gpr
