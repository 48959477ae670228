// The result grid and its title row; see result_grid.h.
#include "grid/result_grid.h"

#include "grid/column_config_file.h"
#include "grid/result_grid_model.h"

#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QtDebug>

#include <algorithm>
#include <cstdlib>
#include <string>

using quarry::TClientDataSet;
using quarry::TClientIndexDef;

namespace {

std::vector<std::string> SplitFields(const std::string& list) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= list.size()) {
    size_t semi = list.find(';', start);
    if (semi == std::string::npos) semi = list.size();
    std::string item = list.substr(start, semi - start);
    item.erase(0, item.find_first_not_of(' '));
    item.erase(item.find_last_not_of(' ') + 1);
    if (!item.empty()) names.push_back(item);
    start = semi + 1;
  }
  return names;
}

std::string JoinFields(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) {
    if (!joined.empty()) joined += ';';
    joined += name;
  }
  return joined;
}

// Field names compare without regard to case.
bool SameName(const std::string& a, const std::string& b) {
  return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return SameName(n, name); });
}

void Remove(std::vector<std::string>& names, const std::string& name) {
  std::erase_if(names, [&](const std::string& n) { return SameName(n, name); });
}

// Whether the key text (one or more names joined by ";") occurs in the joined list as a run
// of whole names.
bool OccursIn(const std::string& key, const std::vector<std::string>& names) {
  const QString list = QStringLiteral(";%1;").arg(QString::fromStdString(JoinFields(names)));
  const QString wanted = QStringLiteral(";%1;").arg(QString::fromStdString(key));
  return list.contains(wanted, Qt::CaseInsensitive);
}

// How far a tone's lightness must lie from the button face's for a one-pixel line of it to
// be seen, and the share of the face's text colour mixed in when a palette tone is too close.
constexpr int kShadeContrast = 96;
constexpr int kHighlightContrast = 64;
constexpr double kShadeMix = 0.75;
constexpr double kHighlightMix = 0.5;

QColor Mix(const QColor& from, const QColor& to, double share) {
  const auto channel = [share](int a, int b) { return static_cast<int>(a + (b - a) * share + 0.5); };
  return QColor(channel(from.red(), to.red()), channel(from.green(), to.green()), channel(from.blue(), to.blue()));
}

QColor Visible(const QColor& tone, const QColor& face, const QColor& text, int contrast, double share) {
  return std::abs(tone.lightness() - face.lightness()) >= contrast ? tone : Mix(face, text, share);
}

}  // namespace

TArrowTones ArrowTones(const QPalette& palette) {
  const QColor face = palette.color(QPalette::Button);
  const QColor text = palette.color(QPalette::ButtonText);
  const bool light = face.lightness() >= 128;
  const QColor shade = palette.color(light ? QPalette::Shadow : QPalette::Light);
  const QColor highlight = palette.color(light ? QPalette::Dark : QPalette::Midlight);
  return {Visible(shade, face, text, kShadeContrast, kShadeMix),
          Visible(highlight, face, text, kHighlightContrast, kHighlightMix)};
}

// --- Title row -------------------------------------------------------------------------------

TResultGridTitle::TResultGridTitle(TResultGrid* grid) : QHeaderView(Qt::Horizontal, grid), grid_(grid) {
  setSectionsClickable(true);
  setSortIndicatorShown(false);
  setHighlightSections(false);
  setSectionsMovable(false);
}

std::optional<Qt::KeyboardModifiers> TResultGridTitle::TakeClickModifiers() {
  std::optional<Qt::KeyboardModifiers> modifiers = clickModifiers_;
  clickModifiers_.reset();
  return modifiers;
}

void TResultGridTitle::mousePressEvent(QMouseEvent* event) {
  clickModifiers_ = event->modifiers();
  QHeaderView::mousePressEvent(event);
}

// The base header raises its click on release; the keys held then are the ones that count.
void TResultGridTitle::mouseReleaseEvent(QMouseEvent* event) {
  clickModifiers_ = event->modifiers();
  QHeaderView::mouseReleaseEvent(event);
  clickModifiers_.reset();
}

void TResultGridTitle::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
  const TArrowType arrow = grid_->Arrow(grid_->GridColumnOf(logicalIndex));
  if (arrow == atNone || !rect.isValid()) {
    QHeaderView::paintSection(painter, rect, logicalIndex);
    return;
  }

  // Caption width plus room for the triangle; a narrower column is widened once drawn.
  QFont titleFont = font();
  const QVariant fontValue = model() ? model()->headerData(logicalIndex, Qt::Horizontal, Qt::FontRole) : QVariant();
  if (fontValue.canConvert<QFont>()) titleFont = fontValue.value<QFont>();
  const QString caption = model() ? model()->headerData(logicalIndex, Qt::Horizontal).toString() : QString();
  const int wanted = QFontMetrics(titleFont).horizontalAdvance(caption) + kArrowRoom;
  if (rect.width() < wanted) {
    // Not while painting: the resize repaints the header.
    TResultGrid* grid = grid_;
    QMetaObject::invokeMethod(
        grid, [grid, logicalIndex, wanted] { grid->setColumnWidth(logicalIndex, wanted); }, Qt::QueuedConnection);
  }

  // The section as the style draws it, with the caption kept clear of the triangle: a
  // centred caption is centred in the room left of it rather than across the cell.
  const int right = rect.x() + rect.width();  // the cell's right edge
  QStyleOptionHeader option;
  initStyleOptionForIndex(&option, logicalIndex);
  option.rect = rect;
  painter->save();
  painter->setFont(titleFont);
  style()->drawControl(QStyle::CE_HeaderSection, &option, painter, this);
  QStyleOptionHeader label = option;
  label.rect = style()->subElementRect(QStyle::SE_HeaderLabel, &option, this);
  label.rect.setRight(std::min(label.rect.right(), right - kCaptionGap - 1));
  if (label.rect.isValid()) style()->drawControl(QStyle::CE_HeaderLabel, &label, painter, this);
  painter->restore();

  // The tones stand out on the face just drawn, whose colours are the style option's.
  const TArrowTones tones = grid_->ArrowTonesOn(option.palette);
  const int m = rect.height() / 2 - 7;
  const int base = rect.top() + (arrow == atDown ? m + 4 : m + 10);
  const int apex = rect.top() + (arrow == atDown ? m + 10 : m + 4);
  painter->save();
  painter->setClipRect(rect);  // the base drawing leaves a clip of its own behind
  painter->setPen(tones.shade);
  painter->drawLine(right - 10, base, right - 7, apex);
  painter->setPen(tones.highlight);
  painter->drawLine(right - 7, apex, right - 4, base);
  painter->drawLine(right - 4, base, right - 10, base);
  painter->restore();
}

QPalette TResultGridTitle::FacePalette() const {
  QStyleOptionHeader option;
  initStyleOption(&option);
  return option.palette;
}

// --- Grid ------------------------------------------------------------------------------------------

TResultGrid::TResultGrid(QWidget* parent)
    : QTableView(parent), model_(new TResultGridModel(this)), title_(new TResultGridTitle(this)) {
  setHorizontalHeader(title_);
  setModel(model_);
  setSortingEnabled(false);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setTabKeyNavigation(true);
  setShowGrid(true);
  setWordWrap(false);
  connect(title_, &QHeaderView::sectionClicked, this, &TResultGrid::TitleClicked);
  connect(title_, &QHeaderView::sectionResized, this, &TResultGrid::ColumnResized);
  connect(model_, &QAbstractItemModel::modelReset, this, &TResultGrid::ModelReset);
  connect(model_, &TResultGridModel::CurrentRecordChanged, this, &TResultGrid::FollowDataSet);
}

TResultGrid::~TResultGrid() {
  if (configFile_.isEmpty()) return;
  try {
    SaveColumns();
  } catch (const std::exception& e) {
    qWarning("%s", e.what());
  }
}

void TResultGrid::SetDataSet(TClientDataSet* dataSet) { model_->SetDataSet(dataSet); }

TClientDataSet* TResultGrid::DataSet() const { return model_->DataSet(); }

QColor TResultGrid::ArrowShade() const { return ArrowTonesOn(title_->FacePalette()).shade; }

QColor TResultGrid::ArrowHighlight() const { return ArrowTonesOn(title_->FacePalette()).highlight; }

TArrowTones TResultGrid::ArrowTonesOn(const QPalette& palette) const {
  TArrowTones tones = ArrowTones(palette);
  if (arrowShade_) tones.shade = *arrowShade_;
  if (arrowHighlight_) tones.highlight = *arrowHighlight_;
  return tones;
}

void TResultGrid::SetArrowShade(const QColor& color) {
  arrowShade_ = color;
  title_->viewport()->update();
}

void TResultGrid::SetArrowHighlight(const QColor& color) {
  arrowHighlight_ = color;
  title_->viewport()->update();
}

// --- Columns --------------------------------------------------------------------------------

const std::vector<TGridColumn>& TResultGrid::Columns() const { return model_->Columns(); }

std::vector<TGridColumn> TResultGrid::DefaultColumns() const {
  std::vector<TGridColumn> columns;
  const TClientDataSet* dataSet = DataSet();
  if (dataSet == nullptr) return columns;
  const QFontMetrics metrics(font());
  for (const quarry::TResultFieldDef& field : dataSet->FieldDefs()) {
    TGridColumn column;
    column.fieldName = QString::fromStdString(field.name);
    column.title = column.fieldName;
    const int chars = field.kind == quarry::TResultFieldKind::Integer ? 10 : std::clamp(field.size, 1, 40);
    column.width = std::max(metrics.averageCharWidth() * chars, metrics.horizontalAdvance(column.title)) + 4;
    if (field.kind == quarry::TResultFieldKind::Integer) column.alignment = Qt::AlignRight | Qt::AlignVCenter;
    columns.push_back(std::move(column));
  }
  return columns;
}

void TResultGrid::SetColumns(std::vector<TGridColumn> columns) {
  customized_ = true;
  model_->SetColumns(std::move(columns));
}

void TResultGrid::ResetColumns() {
  customized_ = false;
  model_->SetColumns(DefaultColumns());
}

void TResultGrid::ApplyColumnLayout() {
  layingOut_ = true;
  const std::vector<TGridColumn>& columns = Columns();
  for (size_t i = 0; i < columns.size(); ++i) {
    const int column = static_cast<int>(i);
    setColumnHidden(column, !columns[i].visible);
    if (columns[i].visible) setColumnWidth(column, columns[i].width);
  }
  layingOut_ = false;
}

void TResultGrid::ColumnResized(int column, int, int newSize) {
  if (layingOut_ || title_->isSectionHidden(column)) return;
  model_->SetColumnWidth(column, newSize);
}

void TResultGrid::SetConfigFile(const QString& fileName) {
  configFile_ = fileName;
  if (!fileName.isEmpty() && QFile::exists(fileName)) LoadColumns(fileName);
}

void TResultGrid::LoadColumns(const QString& fileName) {
  const QString name = fileName.isEmpty() ? configFile_ : fileName;
  if (!name.isEmpty() && QFile::exists(name)) {
    SetColumns(ReadColumnFile(name));
  } else {
    ResetColumns();
  }
}

void TResultGrid::SaveColumns(const QString& fileName) {
  const QString name = fileName.isEmpty() ? configFile_ : fileName;
  if (name.isEmpty()) return;
  if (customized_ && !Columns().empty()) {
    WriteColumnFile(name, Columns());
  } else if (QFile::exists(name) && !QFile::remove(name)) {
    throw EGridColumnsError(QStringLiteral("Cannot delete %1").arg(name).toStdString());
  }
}

// --- Current row ----------------------------------------------------------------------------

void TResultGrid::ModelReset() {
  // Default columns follow the fields of whatever the result set now holds.
  if (!customized_) {
    std::vector<TGridColumn> defaults = DefaultColumns();
    if (defaults.size() != Columns().size() ||
        !std::equal(defaults.begin(), defaults.end(), Columns().begin(),
                    [](const TGridColumn& a, const TGridColumn& b) { return a.fieldName == b.fieldName; })) {
      model_->SetColumns(std::move(defaults));  // resets again and comes back here
      return;
    }
  }
  ApplyColumnLayout();
  FollowDataSet();
}

void TResultGrid::FollowDataSet() {
  const TClientDataSet* dataSet = DataSet();
  if (dataSet == nullptr || dataSet->RecNo() == 0 || model_->columnCount() == 0) return;
  const int row = dataSet->RecNo() - 1;
  QModelIndex current = currentIndex();
  if (current.isValid() && current.row() == row) return;
  int column = current.isValid() ? current.column() : 0;
  while (column < model_->columnCount() - 1 && isColumnHidden(column)) ++column;
  following_ = true;
  selectionModel()->setCurrentIndex(model_->index(row, column), QItemSelectionModel::ClearAndSelect);
  following_ = false;
  scrollTo(model_->index(row, column));
}

void TResultGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  TClientDataSet* dataSet = DataSet();
  if (following_ || dataSet == nullptr || !current.isValid()) return;
  if (current.row() != dataSet->RecNo() - 1) dataSet->SetRecNo(current.row() + 1);
}

std::vector<int> TResultGrid::SelectedRows() const {
  std::vector<int> rows;
  for (const QModelIndex& index : selectionModel()->selectedRows()) rows.push_back(index.row() + 1);
  std::sort(rows.begin(), rows.end());
  return rows;
}

// --- Sorting --------------------------------------------------------------------------------

bool TResultGrid::IndicatorShown() const { return verticalHeader()->isVisibleTo(this); }

int TResultGrid::GridColumnOf(int column) const { return column + (IndicatorShown() ? 1 : 0); }

TArrowType TResultGrid::Arrow(int gridColumn) const {
  return gridColumn >= 0 && gridColumn < kArrowColumns ? arrows_[static_cast<size_t>(gridColumn)] : atNone;
}

void TResultGrid::TitleClicked(int column) {
  const std::optional<Qt::KeyboardModifiers> clicked = title_->TakeClickModifiers();
  const Qt::KeyboardModifiers modifiers = clicked ? *clicked : QGuiApplication::queryKeyboardModifiers();
  emit TitleClick(column);
  if (!titleSort_) return;
  try {
    SortByColumn(column, modifiers.testFlag(Qt::ShiftModifier));
  } catch (const std::exception& e) {
    // No exception may cross the event loop: report it as the application reports errors.
    QMessageBox::critical(this, QApplication::applicationName(), QString::fromUtf8(e.what()));
  }
}

void TResultGrid::SortByColumn(int column, bool extend) {
  TClientDataSet* dataSet = DataSet();
  if (dataSet == nullptr || column < 0 || column >= model_->columnCount()) return;
  const int field = dataSet->FindField(Columns()[static_cast<size_t>(column)].fieldName.toStdString());
  if (field < 0) return;  // the column shows no field of the result set

  const std::string key = dataSet->Fields(field).FieldName();
  const std::vector<std::string> clicked = SplitFields(key);

  // The old sort's fields and descending fields. Its options need no carrying over: the
  // grid's sort is always case-insensitive and descending is recomputed below.
  std::vector<std::string> sortFields;
  std::vector<std::string> descFields;
  if (const TClientIndexDef* old = dataSet->FindIndex(kSortIndexName)) {
    sortFields = SplitFields(old->fields);
    // An index descending as a whole has no list of its own; otherwise the list names them.
    descFields = !old->desc_fields.empty() ? SplitFields(old->desc_fields)
                 : old->descending         ? sortFields
                                           : std::vector<std::string>{};
    if (!extend) {
      arrows_.fill(atNone);
      std::erase_if(sortFields, [&](const std::string& name) { return !Contains(clicked, name); });
      std::erase_if(descFields, [&](const std::string& name) { return !Contains(clicked, name); });
    }
    dataSet->DeleteIndex(kSortIndexName);
  }

  // The clicked fields are taken from the last to the first.
  for (auto it = clicked.rbegin(); it != clicked.rend(); ++it) {
    if (!Contains(sortFields, *it)) {
      sortFields.push_back(*it);
    } else if (!Contains(descFields, *it)) {
      descFields.push_back(*it);
    } else {
      Remove(descFields, *it);
      if (extend) Remove(sortFields, *it);
    }
  }

  if (!sortFields.empty()) {
    TClientIndexDef def;
    def.name = kSortIndexName;
    def.fields = JoinFields(sortFields);
    def.desc_fields = JoinFields(descFields);
    def.case_insensitive = true;
    def.descending = !descFields.empty();
    dataSet->AddIndex(def);
    dataSet->SetIndexName(kSortIndexName);
  }
  // With no sort field left the result set keeps its arrival order.

  const int gridColumn = GridColumnOf(column);
  if (gridColumn < kArrowColumns) {
    arrows_[static_cast<size_t>(gridColumn)] = OccursIn(key, descFields)    ? atDown
                                               : !OccursIn(key, sortFields) ? atNone
                                                                            : atUp;
  }
  title_->viewport()->update();
  viewport()->update();
}
