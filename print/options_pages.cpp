// The pages of the report options window and the window's control factories
// (options_pages.h, options_window.h).
#include "print/options_pages.h"

#include "dbaccess/name_compare.h"
#include "print/columns_grid.h"
#include "print/core/cols_list.h"
#include "print/core/column_totals.h"
#include "print/options_window.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QShortcut>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <utility>

namespace gpr {

namespace {

QString Q(const char* text) { return QString::fromUtf8(text); }

QGroupBox* Group(QWidget* parent, const QString& title, const QString& name = {}) {
  auto* box = new QGroupBox(title, parent);
  if (!name.isEmpty()) box->setObjectName(name);
  return box;
}

const QStringList kJustifications{QStringLiteral("Left Justify"), QStringLiteral("Right Justify"),
                                  QStringLiteral("Center Justify")};

}  // namespace

// --- Control factories -------------------------------------------------------------------

QLineEdit* TfmGprMain::AddNumeric(QFormLayout* form, const char* key) {
  const TgprNumericField* field = FindNumericField(key);
  auto* edit = new QLineEdit(form->parentWidget());
  edit->setObjectName(QString::fromLatin1(key));
  edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,10}")), edit));
  edit->setMaximumWidth(80);
  form->addRow(QString::fromUtf8(field->Caption), edit);
  connect(edit, &QLineEdit::textEdited, this, [this, field](const QString& text) {
    bool ok = false;
    const long long value = text.toLongLong(&ok);
    if (!ok || value > 2147483647) return;
    field->Ref(settings_, memo_) = static_cast<int>(value);
    const bool inRange = CheckNumeric(*field, false);
    settings_.Modified = true;
    UpdateDestinationControls();
    if (field->AffectsLayout && inRange) RecomputeLayout();
  });
  connect(edit, &QLineEdit::editingFinished, this, [this, field] { CheckNumeric(*field, true); });
  bindings_.push_back({[this, field, edit] { edit->setText(QString::number(field->Ref(settings_, memo_))); }});
  return edit;
}

QCheckBox* TfmGprMain::AddCheck(QWidget* parent, const QString& caption, bool& setting, bool affectsLayout,
                                const QString& name) {
  auto* box = new QCheckBox(caption, parent);
  if (!name.isEmpty()) box->setObjectName(name);
  connect(box, &QCheckBox::toggled, this, [this, &setting, affectsLayout](bool on) {
    if (filling_) return;
    setting = on;
    Edited(affectsLayout);
  });
  bindings_.push_back({[box, &setting] { box->setChecked(setting); }});
  return box;
}

QComboBox* TfmGprMain::AddCombo(QWidget* parent, const QStringList& items, std::function<int()> get,
                                std::function<void(int)> set, bool affectsLayout, const QString& name) {
  auto* box = new QComboBox(parent);
  box->setObjectName(name);
  box->addItems(items);
  connect(box, &QComboBox::currentIndexChanged, this, [this, set, affectsLayout](int index) {
    if (filling_ || index < 0) return;
    set(index);
    Edited(affectsLayout);
  });
  bindings_.push_back({[box, get] { box->setCurrentIndex(get()); }});
  return box;
}

QLineEdit* TfmGprMain::AddText(QWidget* parent, std::string& setting, bool affectsLayout, const QString& name) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  connect(edit, &QLineEdit::textEdited, this, [this, &setting, affectsLayout](const QString& text) {
    setting = text.toStdString();
    Edited(affectsLayout);
  });
  bindings_.push_back({[edit, &setting] { edit->setText(QString::fromStdString(setting)); }});
  return edit;
}

QWidget* TgprOptionsPages::WithFontButton(QLineEdit* name, TgprFontTarget target, const QString& buttonName) {
  TfmGprMain& w = window_;
  auto* row = new QWidget(name->parentWidget());
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  name->setParent(row);
  layout->addWidget(name, 1);
  auto* button = new QToolButton(row);
  button->setObjectName(buttonName);
  button->setText(Q("..."));
  QObject::connect(button, &QToolButton::clicked, &w, [&w, target] { w.ChooseFont(target); });
  layout->addWidget(button);
  return row;
}

template <typename TEnum>
QComboBox* TgprOptionsPages::EnumCombo(QWidget* parent, const QStringList& items, TEnum& setting, bool affectsLayout,
                                       const QString& name) {
  return window_.AddCombo(
      parent, items, [&setting] { return static_cast<int>(setting); },
      [&setting](int index) { setting = static_cast<TEnum>(index); }, affectsLayout, name);
}

// --- Pages --------------------------------------------------------------------------------

std::vector<QWidget*> TgprOptionsPages::Build() { return {General(), Output(), Style(), Titles(), Setup()}; }

QWidget* TgprOptionsPages::General() {
  TfmGprMain& w = window_;
  TgprReportSettings& s = w.settings_;
  auto* page = new QWidget(&w);
  page->setObjectName(QStringLiteral("pgGeneral"));
  auto* grid = new QGridLayout(page);

  // Print What?
  auto* what = Group(page, Q("Print What?"));
  auto* whatLayout = new QVBoxLayout(what);
  auto* buttons = new QButtonGroup(what);
  const struct {
    const char* Caption;
    TgprPrintWhat What;
  } choices[] = {{"&Entire Grid", pwEntireGrid}, {"Current &Page", pwCurrentPage},
                 {"&Test Page", pwTestPage},     {"&Window Snapshot:", pwWindowSnapshot},
                 {"Page &Range", pwPageRange},   {"&Selected Rows", pwSelectedRows}};
  for (const auto& choice : choices) {
    auto* radio = new QRadioButton(Q(choice.Caption), what);
    radio->setObjectName(QStringLiteral("rbPrintWhat%1").arg(choice.What));
    buttons->addButton(radio, choice.What);
    if (choice.What != pwWindowSnapshot) {
      whatLayout->addWidget(radio);
      continue;
    }
    // The snapshot's size: the window as it is or maximised, then how it is scaled.
    static const char* const kSizes[] = {"CT", "CP", "CS", "MT", "MP", "MS"};
    auto* row = new QHBoxLayout;
    row->addWidget(radio);
    row->addWidget(w.AddCombo(
        what,
        {Q("Current Size, Fit to Page"), Q("Current Size, Proportional"), Q("Current Size, Same Scale"),
         Q("Maximized, Fit to Page"), Q("Maximized, Proportional"), Q("Maximized, Same Scale")},
        [&s] {
          for (int i = 0; i < 6; ++i) {
            if (quarry::SameName(s.SnapShotSize, kSizes[i])) return i;
          }
          return 0;
        },
        [&s](int i) { s.SnapShotSize = kSizes[i]; }, false, QStringLiteral("SnapShotSize")));
    whatLayout->addLayout(row);
  }
  auto* range = new QHBoxLayout;
  auto* from = new QLineEdit(what);
  from->setObjectName(QStringLiteral("PageRangeFrom"));
  auto* to = new QLineEdit(what);
  to->setObjectName(QStringLiteral("PageRangeTo"));
  range->addWidget(new QLabel(Q("From:"), what));
  range->addWidget(from);
  range->addWidget(new QLabel(Q("To:"), what));
  range->addWidget(to);
  whatLayout->addLayout(range);
  QObject::connect(buttons, &QButtonGroup::idClicked, &w, [&w, &s](int id) {
    s.PrintWhat = static_cast<TgprPrintWhat>(id);
    w.Edited(true);  // the pages-across panel shows "Snapshot"
  });
  const auto pageText = [](TgprPagePos pos) {
    return QString::number(pos.Page) + (pos.Across > 0 ? QStringLiteral("-%1").arg(pos.Across) : QString());
  };
  const auto bindPage = [&w](QLineEdit* edit, TgprPagePos& pos) {
    QObject::connect(edit, &QLineEdit::editingFinished, &w, [&w, edit, &pos] {
      if (w.filling_) return;
      const auto parsed = ParsePageNumber(edit->text().toStdString());
      if (!parsed) {
        w.ShowMessage(QString::fromStdString(InvalidPageNumberMessage(1)), 2, 5);
        return;
      }
      if (!(*parsed == pos)) {
        pos = *parsed;
        w.Edited(false);
      }
    });
  };
  bindPage(from, s.PageRangeFrom);
  bindPage(to, s.PageRangeTo);
  w.bindings_.push_back({[buttons, from, to, &s, pageText] {
    if (QAbstractButton* b = buttons->button(s.PrintWhat)) b->setChecked(true);
    from->setText(pageText(s.PageRangeFrom));
    to->setText(pageText(s.PageRangeTo));
  }});
  grid->addWidget(what, 0, 0);

  // Dataset Record Counting
  auto* counting = Group(page, Q("Dataset Record Counting"), QStringLiteral("grpRecordCounting"));
  auto* countForm = new QFormLayout(counting);
  auto* count = new QRadioButton(Q("Physically Count Records"), counting);
  count->setObjectName(QStringLiteral("rbCountNumRcds"));
  auto* estimate = new QRadioButton(Q("Estimate # of Records"), counting);
  countForm->addRow(count);
  countForm->addRow(estimate);
  QObject::connect(count, &QRadioButton::toggled, &w, [&w, &s](bool on) {
    if (w.filling_) return;
    s.CountNumRcds = on;
    w.Edited(false);
  });
  w.bindings_.push_back({[count, estimate, &s] { (s.CountNumRcds ? count : estimate)->setChecked(true); }});
  w.AddNumeric(countForm, "RcdEstimate");
  // The printed object and its settings arrive after the window is made: shown when filled.
  w.bindings_.push_back(
      {[counting, &w] { counting->setVisible(w.objInfo_.DataSet != nullptr || w.objInfo_.EngineDataSet != nullptr); }});
  grid->addWidget(counting, 1, 0);

  // AutoSizzing(TM)
  auto* autosize = Group(page, Q("AutoSizzing(TM)"));
  auto* autoForm = new QFormLayout(autosize);
  autoForm->addRow(EnumCombo(autosize,
                             {Q("AutoSize All Rows"), Q("Limit Rows to AutoSize"), Q("Use Current Column Sizes")},
                             s.AutoSizze, true, QStringLiteral("AutoSizze")));
  w.AddNumeric(autoForm, "MaxRowsToAutoSizze");
  grid->addWidget(autosize, 2, 0);

  // Formatting Options
  auto* formatting = Group(page, Q("Formatting Options"));
  auto* form = new QFormLayout(formatting);
  for (const char* key : {"PanelsAcrossPage", "InterPanelGapTxt", "HorizLineFreq", "MaxStringColWidTxt",
                          "MaxMemoColWidTxt", "MaxStringLines", "MaxMemoLines", "StartingReportLineId"}) {
    w.AddNumeric(form, key);
  }
  auto* trunc = w.AddText(formatting, s.TextTruncSymbol, true, QStringLiteral("TextTruncSymbol"));
  trunc->setMaximumWidth(80);
  form->addRow(Q("Text Truncation Symbol:"), trunc);
  form->addRow(Q("Col&umn Titles:"),
               EnumCombo(formatting, kJustifications, s.ColTitleAlignment, false, QStringLiteral("ColTitleAlignment")));
  w.AddNumeric(form, "NumFixedCols");
  grid->addWidget(formatting, 0, 1, 2, 1);

  // Group Breaks and the printer's height adjustment
  auto* breaks = Group(page, Q("Group Breaks"), QStringLiteral("grpGroupBreaks"));
  auto* breakForm = new QFormLayout(breaks);
  w.AddNumeric(breakForm, "GrpBrkOutdentChars");
  w.AddNumeric(breakForm, "MaxGrpBrkLines");
  w.bindings_.push_back({[breaks, &s] { breaks->setVisible(!s.GroupColumns.empty()); }});
  grid->addWidget(breaks, 2, 1);
  auto* printerOnly = new QWidget(page);
  auto* printerForm = new QFormLayout(printerOnly);
  grid->addWidget(printerOnly, 3, 1);
  w.AddNumeric(printerForm, "VertHtAdjPer");
  grid->setRowStretch(4, 1);
  return page;
}

QWidget* TgprOptionsPages::Output() {
  TfmGprMain& w = window_;
  TgprReportSettings& s = w.settings_;
  auto* page = new QWidget(&w);
  page->setObjectName(QStringLiteral("pgOutput"));
  auto* grid = new QGridLayout(page);

  w.grpOutputOptions_ = Group(page, Q("Output Options"));
  auto* form = new QFormLayout(w.grpOutputOptions_);
  for (const char* key : {"SmallestFontSize", "LargestFontSize", "LinesPerpage", "TxtCharsPageWid"}) {
    w.AddNumeric(form, key);
  }
  form->addRow(
      w.AddCheck(w.grpOutputOptions_, Q("&Shrink to Page"), s.ShrinkToPage, true, QStringLiteral("ShrinkToPage")));
  form->addRow(
      w.AddCheck(w.grpOutputOptions_, Q("&Expand to Page"), s.ExpandToPage, true, QStringLiteral("ExpandToPage")));
  grid->addWidget(w.grpOutputOptions_, 0, 0);

  auto* margins = Group(page, Q("Margins"));
  margins->setToolTip(Q("Margins are in text characters and lines"));
  auto* marginGrid = new QGridLayout(margins);
  const char* const sides[] = {"Top", "Left", "Right", "Bottom"};
  for (int c = 0; c < 4; ++c) marginGrid->addWidget(new QLabel(Q(sides[c]), margins), 0, c + 1);
  const char* const rows[] = {"Page", "Cell"};
  for (int r = 0; r < 2; ++r) {
    marginGrid->addWidget(new QLabel(Q(rows[r]), margins), r + 1, 0);
    for (int c = 0; c < 4; ++c) {
      const std::string key = std::string(rows[r]) + sides[c];
      auto* form1 = new QFormLayout;
      auto* holder = new QWidget(margins);
      holder->setLayout(form1);
      w.AddNumeric(form1, FindNumericField(key)->Key);
      // The label is the column's; keep only the edit box.
      form1->itemAt(0, QFormLayout::LabelRole)->widget()->hide();
      marginGrid->addWidget(holder, r + 1, c + 1);
    }
  }
  grid->addWidget(margins, 0, 1);

  auto* position = Group(page, Q("Report Position"));
  auto* positionForm = new QFormLayout(position);
  positionForm->addRow(Q("Orientatio&n:"), EnumCombo(position, {Q("Portrait"), Q("Landscape"), Q("Printer Default")},
                                                     s.Orientation, true, QStringLiteral("Orientation")));
  positionForm->addRow(Q("&Alignment:"), EnumCombo(position, kJustifications, s.ReportAlignment, true,
                                                   QStringLiteral("ReportAlignment")));
  grid->addWidget(position, 1, 0);

  auto* printers = Group(page, Q("Printer"));
  auto* printerForm = new QFormLayout(printers);
  printerForm->addRow(
      w.AddCheck(printers, Q("Report Viewer"), s.UseReportViewer, false, QStringLiteral("UseReportViewer")));
  auto* list = new QComboBox(printers);
  list->setObjectName(QStringLiteral("PrinterName"));
  list->addItems(QPrinterInfo::availablePrinterNames());
  QObject::connect(list, &QComboBox::textActivated, &w, [&w, &s](const QString& name) {
    s.PrinterName = name.toStdString();
    w.Edited(true);
  });
  w.bindings_.push_back({[list, &s] { list->setCurrentText(QString::fromStdString(s.PrinterName)); }});
  printerForm->addRow(list);
  printerForm->addRow(
      w.AddCheck(printers, Q("&Default Printer"), s.DefaultPrinter, true, QStringLiteral("DefaultPrinter")));
  grid->addWidget(printers, 1, 1);

  auto* exporting = Group(page, Q("Export Options"), QStringLiteral("grpExport"));
  auto* exportForm = new QFormLayout(exporting);
  exportForm->addRow(
      Q("F&ield Delimiter:"),
      w.AddCombo(
          exporting, {Q("Tab"), Q("Comma")}, [&s] { return s.ExportFieldDelim == "," ? 1 : 0; },
          [&s](int i) { s.ExportFieldDelim = i == 1 ? "," : "\t"; }, false, QStringLiteral("ExportFieldDelim")));
  exportForm->addRow(
      Q("Text &Quotes:"),
      w.AddCombo(
          exporting, {Q("Double Quote"), Q("Single Quote")}, [&s] { return s.ExportQuote == "'" ? 1 : 0; },
          [&s](int i) { s.ExportQuote = i == 1 ? "'" : "\""; }, false, QStringLiteral("ExportQuote")));
  exportForm->addRow(new QLabel(Q("Max Export Length"), exporting));
  w.AddNumeric(exportForm, "ExportMaxStrLng");
  w.AddNumeric(exportForm, "ExportMaxMemoLng");
  exportForm->addRow(w.AddCheck(exporting, Q("Printable Only"), s.ExportOnlyPrintableChrs, false,
                                QStringLiteral("ExportOnlyPrintableChrs")));
  w.grpExport_ = exporting;
  grid->addWidget(exporting, 2, 0);

  auto* fast = Group(page, Q("Fast Printer Text Initialization Strings"), QStringLiteral("grpFastPrinter"));
  auto* fastForm = new QFormLayout(fast);
  fastForm->addRow(
      w.AddCheck(fast, Q("Fast Printer Text"), s.FastPrinterText, true, QStringLiteral("FastPrinterText")));
  fastForm->addRow(Q("Initialize:"), w.AddText(fast, s.InitPrinterStr, false, QStringLiteral("InitPrinterStr")));
  fastForm->addRow(Q("Finish:"), w.AddText(fast, s.FinishPrinterStr, false, QStringLiteral("FinishPrinterStr")));
  w.grpFastPrinter_ = fast;
  grid->addWidget(fast, 2, 1);
  grid->setRowStretch(3, 1);
  return page;
}

QWidget* TgprOptionsPages::Style() {
  TfmGprMain& w = window_;
  TgprReportSettings& s = w.settings_;
  auto* page = new QWidget(&w);
  page->setObjectName(QStringLiteral("pgStyle"));
  auto* grid = new QGridLayout(page);

  auto* include = new QListWidget(page);
  include->setObjectName(QStringLiteral("IncludeOptions"));
  const TRptStyles styles;
  for (const TgprIncludeOption option : styles.IncludeOptions) {
    auto* item = new QListWidgetItem(
        QString::fromUtf8(IncludeOptionCaption(option).data(), static_cast<int>(IncludeOptionCaption(option).size())),
        include);
    item->setData(Qt::UserRole, static_cast<int>(option));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
  }
  QObject::connect(include, &QListWidget::itemChanged, &w, [&w, &s](QListWidgetItem* item) {
    if (w.filling_) return;
    s.IncludeOptions.Set(static_cast<TgprIncludeOption>(item->data(Qt::UserRole).toInt()),
                         item->checkState() == Qt::Checked);
    w.Edited(true);
  });
  w.bindings_.push_back({[include, &s] {
    for (int i = 0; i < include->count(); ++i) {
      QListWidgetItem* item = include->item(i);
      item->setCheckState(s.IncludeOptions.Has(static_cast<TgprIncludeOption>(item->data(Qt::UserRole).toInt()))
                              ? Qt::Checked
                              : Qt::Unchecked);
    }
  }});
  auto* includeBox = Group(page, Q("Include"));
  (new QVBoxLayout(includeBox))->addWidget(include);
  grid->addWidget(includeBox, 0, 0, 2, 1);

  auto* fonts = new QWidget(page);
  auto* form = new QFormLayout(fonts);
  form->addRow(Q("Output Quality:"), EnumCombo(fonts, {Q("ASCII LineDraw"), Q("IBM LineDraw")}, s.OutputQuality, true,
                                               QStringLiteral("OutputQuality")));
  form->addRow(Q("Fixed Text Font"),
               WithFontButton(w.AddText(fonts, s.TextFontName, true, QStringLiteral("TextFontName")),
                              TgprFontTarget::Report, QStringLiteral("btnTextFont")));
  w.AddNumeric(form, "TextFontSize");
  form->addRow(Q("Replacement Font"),
               WithFontButton(w.AddText(fonts, s.ReplFontName, false, QStringLiteral("ReplFontName")),
                              TgprFontTarget::Replacement, QStringLiteral("btnReplFont")));
  w.AddNumeric(form, "NumGrpBrkCols");
  form->addRow(Q("&Repeating Group Break Value:"),
               w.AddText(fonts, s.GrpBrkSameValue, false, QStringLiteral("GrpBrkSameValue")));
  w.AddNumeric(form, "AdjGrpBrkLines");
  grid->addWidget(fonts, 0, 1);

  w.grdColumns_ = new TgprColumnsGrid(w.objInfo_.Columns, s, page);
  w.grdColumns_->OnVisibilityEdited = [&w] { w.Edited(true); };
  // Enter or a double click on "Column Total" or "Format String" edits it.
  w.grdColumns_->OnTotalActivated = [&w](TgprColumnsGridRow row, int column) {
    const TColInfo& info = w.objInfo_.Columns[column];
    if (row == cgrTotal) {
      QStringList kinds;
      for (int k = 0; k < kGprTotalKindCount; ++k) {
        const std::string_view name = TotalKindName(static_cast<TgprTotalKind>(k));
        kinds << QString::fromUtf8(name.data(), static_cast<int>(name.size()));
      }
      const TColTotal* total = GrandTotal(info);
      bool ok = false;
      const QString chosen = QInputDialog::getItem(&w, Q("Column Total"), Q("Select a total for the column."), kinds,
                                                   total ? total->Kind : tkNone, false, &ok);
      if (ok)
        w.SetColumnTotal(column, static_cast<TgprTotalKind>(std::max(0, static_cast<int>(kinds.indexOf(chosen)))));
    } else {
      bool ok = false;
      const QString format = QInputDialog::getText(&w, Q("Format String"), Q("Formatting string for the total:"),
                                                   QLineEdit::Normal, QString::fromStdString(info.TotalFormat), &ok);
      if (ok) w.SetColumnFormat(column, format.toStdString());
    }
  };
  w.bindings_.push_back({[&w] { w.grdColumns_->Fill(); }});
  grid->addWidget(w.grdColumns_, 2, 0, 1, 2);
  return page;
}

QWidget* TgprOptionsPages::Titles() {
  TfmGprMain& w = window_;
  TgprReportSettings& s = w.settings_;
  auto* page = new QWidget(&w);
  page->setObjectName(QStringLiteral("pgTitles"));
  auto* grid = new QGridLayout(page);
  w.lstbxMemos_ = new QListWidget(page);
  w.lstbxMemos_->setObjectName(QStringLiteral("lstbxMemos"));
  w.lstbxMemos_->addItems({Q("Report Title"), Q("Report Header Memo"), Q("Page Title"), Q("Page Header Memo"),
                           Q("Page Footer Memo"), Q("Page Number Memo"), Q("Report Footer Memo")});
  w.lstbxMemos_->setMaximumWidth(180);
  grid->addWidget(w.lstbxMemos_, 0, 0, 3, 1);
  w.mmoMemo_ = new QPlainTextEdit(page);
  w.mmoMemo_->setObjectName(QStringLiteral("mmoMemo"));
  auto* memoBox = new QVBoxLayout;
  auto* marginLabels = new QHBoxLayout;
  w.lblMemoLeft_ = new QLabel(page);
  w.lblMemoRight_ = new QLabel(page);
  marginLabels->addWidget(w.lblMemoLeft_);
  marginLabels->addStretch(1);
  marginLabels->addWidget(w.lblMemoRight_);
  memoBox->addLayout(marginLabels);
  memoBox->addWidget(w.mmoMemo_);
  grid->addLayout(memoBox, 0, 1, 1, 2);
  // Ctrl+Up and Ctrl+Down step through the memos from anywhere on the page.
  for (const auto& [key, step] : {std::pair{Qt::Key_Up, -1}, std::pair{Qt::Key_Down, 1}}) {
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | key), page);
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(shortcut, &QShortcut::activated, &w, [&w, step = step] { w.SelectMemo(step); });
  }
  QObject::connect(w.mmoMemo_, &QPlainTextEdit::textChanged, &w, [&w, &s] {
    if (w.filling_) return;
    std::string text = w.mmoMemo_->toPlainText().toStdString();
    for (char& c : text) {
      if (c == '\n') c = '\r';
    }
    s.Memo(w.memo_).Text = text;
    w.Edited(true);
  });
  auto* visible = new QCheckBox(Q("&Visible"), page);
  visible->setObjectName(QStringLiteral("MemoVisible"));
  QObject::connect(visible, &QCheckBox::toggled, &w, [&w, &s](bool on) {
    if (w.filling_) return;
    s.Memo(w.memo_).MemoVisible = on;
    w.Edited(true);
  });
  auto* alignment = Group(page, Q("Alignment"));
  auto* alignLayout = new QHBoxLayout(alignment);
  auto* alignButtons = new QButtonGroup(alignment);
  const struct {
    const char* Caption;
    TgprAlignment Value;
  } aligns[] = {{"&Left", gaLeft}, {"&Center", gaCenter}, {"&Right", gaRight}};
  for (const auto& a : aligns) {
    auto* radio = new QRadioButton(Q(a.Caption), alignment);
    alignButtons->addButton(radio, a.Value);
    alignLayout->addWidget(radio);
  }
  QObject::connect(alignButtons, &QButtonGroup::idClicked, &w, [&w, &s](int id) {
    s.Memo(w.memo_).MemoAlignment = static_cast<TgprAlignment>(id);
    w.Edited(true);
  });
  auto* horizontal = Group(page, Q("Horizontal Margins"));
  auto* hForm = new QFormLayout(horizontal);
  w.AddNumeric(hForm, "MemoXPosPer");
  w.AddNumeric(hForm, "MemoWidPer");
  auto* vertical = Group(page, Q("Vertical Margins"));
  auto* vForm = new QFormLayout(vertical);
  w.AddNumeric(vForm, "MemoAbove");
  w.AddNumeric(vForm, "MemoBelow");
  auto* memoFont = new QPushButton(Q("&Font"), page);
  memoFont->setObjectName(QStringLiteral("btnMemoFont"));
  QObject::connect(memoFont, &QPushButton::clicked, &w, [&w] { w.ChooseFont(TgprFontTarget::Memo); });
  auto* options = new QVBoxLayout;
  options->addWidget(memoFont);
  options->addWidget(visible);
  options->addWidget(alignment);
  grid->addLayout(options, 1, 1);
  grid->addWidget(horizontal, 1, 2);
  grid->addWidget(vertical, 2, 2);
  w.bindings_.push_back({[&w, &s, visible, alignButtons] {
    const TgprRptMemo& memo = s.Memo(w.memo_);
    QString text = QString::fromStdString(memo.Text);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace('\r', '\n');
    w.lstbxMemos_->setCurrentRow(w.memo_);
    w.mmoMemo_->setPlainText(text);
    w.lblMemoLeft_->setText(QStringLiteral("Left Margin %1%").arg(memo.MemoXPosPer));
    w.lblMemoRight_->setText(
        QStringLiteral("Right Margin %1%").arg(std::max(0, 100 - memo.MemoXPosPer - memo.MemoWidPer)));
    visible->setChecked(memo.MemoVisible);
    if (QAbstractButton* b = alignButtons->button(memo.MemoAlignment)) b->setChecked(true);
  }});
  QObject::connect(w.lstbxMemos_, &QListWidget::currentRowChanged, &w, [&w](int row) {
    if (w.filling_ || row < 0) return;
    w.memo_ = static_cast<TgprMemoIndex>(row);
    w.FillControls();
  });
  grid->setRowStretch(3, 1);
  return page;
}

QWidget* TgprOptionsPages::Setup() {
  TfmGprMain& w = window_;
  TgprReportSettings& s = w.settings_;
  auto* page = new QWidget(&w);
  page->setObjectName(QStringLiteral("pgSetup"));
  auto* grid = new QGridLayout(page);
  auto* window = Group(page, Q("Report Options Window"));
  auto* wLayout = new QVBoxLayout(window);
  const struct {
    const char* Caption;
    bool TgprReportSettings::*Setting;
    const char* Name;
  } checks[] = {{"Pause &after printing", &TgprReportSettings::PauseAfterPrinting, "PauseAfterPrinting"},
                {"Show &Bubble Hint", &TgprReportSettings::ShowHint, "ShowHint"},
                {"D&isplay Report Options Window at runtime", &TgprReportSettings::DisplayReportOptionsWin,
                 "DisplayReportOptionsWin"},
                {"&Close Window After Printing", &TgprReportSettings::CloseWinAfterPrinting, "CloseWinAfterPrinting"},
                {"Allow &Fast Printer Text", &TgprReportSettings::AllowFastPrinterText, "AllowFastPrinterText"},
                {"&Display Progress Window", &TgprReportSettings::DisplayProgressWin, "DisplayProgressWin"},
                {"&ReadOnly", &TgprReportSettings::SettingsReadOnly, "SettingsReadOnly"},
                {"Previe&w First", &TgprReportSettings::PreviewFirst, "PreviewFirst"}};
  for (const auto& check : checks) {
    QCheckBox* box = w.AddCheck(window, Q(check.Caption), s.*check.Setting, false, Q(check.Name));
    wLayout->addWidget(box);
    if (check.Setting == &TgprReportSettings::SettingsReadOnly) {
      QObject::connect(box, &QCheckBox::toggled, &w, [&w](bool on) {
        if (!w.filling_ && on) {
          w.ShowMessage(Q("Report Options will be set to ReadOnly the next time report is run"), 0, 5);
        }
      });
    }
  }
  grid->addWidget(window, 0, 0, 2, 1);

  auto* display = Group(page, Q("Display Pages"));
  auto* dLayout = new QVBoxLayout(display);
  const char* const captions[] = {"&General", "&Output", "St&yle", "&Titles", "S&etup"};
  for (int p = 0; p < kGprOptionsPageCount; ++p) {
    auto* box = new QCheckBox(Q(captions[p]), display);
    box->setObjectName(QStringLiteral("ckbxPage%1").arg(Q(OptionsPageName(static_cast<TgprOptionsPage>(p)))));
    dLayout->addWidget(box);
    const auto page = static_cast<TgprOptionsPage>(p);
    QObject::connect(box, &QCheckBox::toggled, &w, [&w, &s, page](bool on) {
      if (w.filling_) return;
      s.HidePages = WithPageHidden(s.HidePages, page, !on);
      w.Edited(false);
    });
    w.bindings_.push_back({[box, &s, page] { box->setChecked(!PageHidden(s.HidePages, page)); }});
  }
  grid->addWidget(display, 0, 1);

  auto* formats = Group(page, Q("Memo Format Strings"));
  auto* fForm = new QFormLayout(formats);
  fForm->addRow(Q("&Date (^D):"), w.AddText(formats, s.MemoDateFormatStr, false, QStringLiteral("MemoDateFormatStr")));
  fForm->addRow(Q("Ti&me (^T):"), w.AddText(formats, s.MemoTimeFormatStr, false, QStringLiteral("MemoTimeFormatStr")));
  fForm->addRow(Q("&Page (^P):"), w.AddText(formats, s.MemoPageFormatStr, false, QStringLiteral("MemoPageFormatStr")));
  w.lblSampleDate_ = new QLabel(formats);
  w.lblSampleDate_->setObjectName(QStringLiteral("lblSampleDate"));
  w.lblSampleTime_ = new QLabel(formats);
  w.lblSampleTime_->setObjectName(QStringLiteral("lblSampleTime"));
  fForm->addRow(w.lblSampleDate_);
  fForm->addRow(w.lblSampleTime_);
  grid->addWidget(formats, 1, 1);

  // Security: a box is checked while its password is set; clicking it changes the password.
  auto* security = Group(page, Q("Security"));
  auto* sLayout = new QVBoxLayout(security);
  const struct {
    const char* Caption;
    TgprPasswordKind Kind;
    std::string TgprReportSettings::*Setting;
    const char* Name;
  } passwords[] = {
      {"Report P&assword", TgprPasswordKind::Report, &TgprReportSettings::RptPW, "ckbxRptPW"},
      {"Report Optio&ns Password", TgprPasswordKind::Options, &TgprReportSettings::RptOptPW, "ckbxRptOptPW"},
      {"Report Set&up Password", TgprPasswordKind::Setup, &TgprReportSettings::RptSetUpPW, "ckbxRptSetUpPW"}};
  for (const auto& password : passwords) {
    auto* box = new QCheckBox(Q(password.Caption), security);
    box->setObjectName(Q(password.Name));
    sLayout->addWidget(box);
    QObject::connect(box, &QCheckBox::clicked, &w, [&w, kind = password.Kind] { w.ChangePasswordClick(kind); });
    w.bindings_.push_back({[box, &s, setting = password.Setting] { box->setChecked(!(s.*setting).empty()); }});
  }
  grid->addWidget(security, 2, 0);
  grid->setRowStretch(3, 1);
  return page;
}

}  // namespace gpr
