// Reading and writing the grid's column configuration file; the format is in
// column_config_file.h.
#include "grid/column_config_file.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>

#include <map>

namespace {

const char kColumnsSection[] = "Grid Columns";
const QString kColumnSectionPrefix = QStringLiteral("Column ");
constexpr int kMaxColumns = 4096;
constexpr int kMaxWidth = 32767;

QString Escape(const QString& value) {
  QString out;
  out.reserve(value.size());
  for (QChar c : value) {
    if (c == u'\\') out += QStringLiteral("\\\\");
    else if (c == u'\n') out += QStringLiteral("\\n");
    else if (c == u'\r') out += QStringLiteral("\\r");
    else out += c;
  }
  return out;
}

QString Unescape(const QString& value) {
  QString out;
  out.reserve(value.size());
  for (qsizetype i = 0; i < value.size(); ++i) {
    if (value[i] == u'\\' && i + 1 < value.size()) {
      QChar next = value[++i];
      out += next == u'n' ? QChar(u'\n') : next == u'r' ? QChar(u'\r') : next;
    } else {
      out += value[i];
    }
  }
  return out;
}

QString AlignmentText(Qt::Alignment alignment) {
  if (alignment & Qt::AlignRight) return QStringLiteral("Right");
  if (alignment & Qt::AlignHCenter) return QStringLiteral("Center");
  return QStringLiteral("Left");
}

[[noreturn]] void Invalid(const QString& fileName, const QString& why) {
  throw EGridColumnsError(
      QStringLiteral("%1 is not a valid column configuration file: %2").arg(fileName, why).toStdString());
}

Qt::Alignment AlignmentOf(const QString& fileName, const QString& text) {
  if (text.compare(u"Left", Qt::CaseInsensitive) == 0) return Qt::AlignLeft | Qt::AlignVCenter;
  if (text.compare(u"Right", Qt::CaseInsensitive) == 0) return Qt::AlignRight | Qt::AlignVCenter;
  if (text.compare(u"Center", Qt::CaseInsensitive) == 0) return Qt::AlignHCenter | Qt::AlignVCenter;
  Invalid(fileName, QStringLiteral("unknown alignment \"%1\"").arg(text));
}

int NumberOf(const QString& fileName, const QString& key, const QString& text, int low, int high) {
  bool ok = false;
  int value = text.trimmed().toInt(&ok);
  if (!ok || value < low || value > high)
    Invalid(fileName, QStringLiteral("%1 \"%2\" is not a number from %3 to %4").arg(key, text).arg(low).arg(high));
  return value;
}

QFont FontOf(const QString& fileName, const QString& text) {
  QFont font;
  if (!font.fromString(text)) Invalid(fileName, QStringLiteral("bad font \"%1\"").arg(text));
  return font;
}

// Sections by lower-cased name, each a map of lower-cased key to value.
using TSections = std::map<QString, std::map<QString, QString>>;

TSections ParseSections(const QString& fileName, const QString& text) {
  TSections sections;
  std::map<QString, QString>* current = nullptr;
  const QStringList lines = text.split(u'\n');
  for (qsizetype n = 0; n < lines.size(); ++n) {
    QString line = lines[n];
    if (line.endsWith(u'\r')) line.chop(1);
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(u';')) continue;
    if (trimmed.startsWith(u'[') && trimmed.endsWith(u']')) {
      current = &sections[trimmed.mid(1, trimmed.size() - 2).trimmed().toLower()];
      continue;
    }
    const qsizetype eq = line.indexOf(u'=');
    if (current == nullptr || eq <= 0)
      Invalid(fileName, QStringLiteral("line %1 is neither a section nor a key=value line").arg(n + 1));
    (*current)[line.left(eq).trimmed().toLower()] = Unescape(line.mid(eq + 1));
  }
  return sections;
}

}  // namespace

std::vector<TGridColumn> ReadColumnFile(const QString& fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly))
    throw EGridColumnsError(QStringLiteral("Cannot read %1: %2").arg(fileName, file.errorString()).toStdString());
  const TSections sections = ParseSections(fileName, QString::fromUtf8(file.readAll()));

  auto head = sections.find(QString::fromLatin1(kColumnsSection).toLower());
  if (head == sections.end()) Invalid(fileName, QStringLiteral("no [%1] section").arg(kColumnsSection));
  auto count_entry = head->second.find(QStringLiteral("count"));
  if (count_entry == head->second.end()) Invalid(fileName, QStringLiteral("no column count"));
  const int count = NumberOf(fileName, QStringLiteral("Count"), count_entry->second, 0, kMaxColumns);

  std::vector<TGridColumn> columns;
  for (int n = 1; n <= count; ++n) {
    const QString name = kColumnSectionPrefix + QString::number(n);
    auto section = sections.find(name.toLower());
    if (section == sections.end()) Invalid(fileName, QStringLiteral("no [%1] section").arg(name));
    const auto& keys = section->second;
    auto value = [&](const char* key) -> const QString* {
      auto found = keys.find(QString::fromLatin1(key).toLower());
      return found == keys.end() ? nullptr : &found->second;
    };
    TGridColumn column;
    if (const QString* v = value("FieldName"); v && !v->trimmed().isEmpty()) column.fieldName = v->trimmed();
    else Invalid(fileName, QStringLiteral("[%1] names no field").arg(name));
    column.title = value("Title") ? *value("Title") : column.fieldName;
    if (const QString* v = value("Width")) column.width = NumberOf(fileName, QStringLiteral("Width"), *v, 0, kMaxWidth);
    if (const QString* v = value("Visible"))
      column.visible = NumberOf(fileName, QStringLiteral("Visible"), *v, 0, 1) == 1;
    if (const QString* v = value("Alignment")) column.alignment = AlignmentOf(fileName, v->trimmed());
    if (const QString* v = value("TitleAlignment")) column.titleAlignment = AlignmentOf(fileName, v->trimmed());
    if (const QString* v = value("Font")) column.font = FontOf(fileName, *v);
    if (const QString* v = value("TitleFont")) column.titleFont = FontOf(fileName, *v);
    if (const QString* v = value("TextColor")) {
      QColor color = QColor::fromString(v->trimmed());
      if (!color.isValid()) Invalid(fileName, QStringLiteral("bad colour \"%1\"").arg(*v));
      column.textColor = color;
    }
    columns.push_back(std::move(column));
  }
  return columns;
}

void WriteColumnFile(const QString& fileName, const std::vector<TGridColumn>& columns) {
  QString text;
  text += QStringLiteral("[%1]\nCount=%2\n").arg(kColumnsSection).arg(columns.size());
  int n = 0;
  for (const TGridColumn& column : columns) {
    text += QStringLiteral("\n[%1%2]\n").arg(kColumnSectionPrefix).arg(++n);
    text += QStringLiteral("FieldName=%1\n").arg(Escape(column.fieldName));
    text += QStringLiteral("Title=%1\n").arg(Escape(column.title));
    text += QStringLiteral("Width=%1\n").arg(column.width);
    text += QStringLiteral("Visible=%1\n").arg(column.visible ? 1 : 0);
    text += QStringLiteral("Alignment=%1\n").arg(AlignmentText(column.alignment));
    text += QStringLiteral("TitleAlignment=%1\n").arg(AlignmentText(column.titleAlignment));
    if (column.font) text += QStringLiteral("Font=%1\n").arg(Escape(column.font->toString()));
    if (column.titleFont) text += QStringLiteral("TitleFont=%1\n").arg(Escape(column.titleFont->toString()));
    if (column.textColor) text += QStringLiteral("TextColor=%1\n").arg(column.textColor->name(QColor::HexRgb));
  }
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit())
    throw EGridColumnsError(QStringLiteral("Cannot write %1: %2").arg(fileName, file.errorString()).toStdString());
}
