// TCurrentRecordPanel: fixed layout of the current-record controls on a black panel.
#include "app/current_record_panel.h"

#include "app/catalogue_access.h"

#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>

namespace {

const QColor kCream(255, 251, 240);
const QColor kYellow(255, 255, 0);

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect geometry)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

QListWidget* MakeList(QWidget* parent, const char* name, QRect geometry)
{
    auto* list = new QListWidget(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setGeometry(geometry);
    list->setFocusPolicy(Qt::NoFocus);
    QPalette palette = list->palette();
    palette.setColor(QPalette::Base, kCream);
    palette.setColor(QPalette::Text, Qt::black);
    list->setPalette(palette);
    return list;
}

}  // namespace

TCurrentRecordPanel::TCurrentRecordPanel(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("pnlCurrentRecord"));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::WindowText, Qt::white);
    setPalette(palette);

    dbtxtTitle = MakeLabel(this, "dbtxtTitle", {}, QRect(8, 4, 257, 52));
    dbtxtTitle->setWordWrap(true);
    dbtxtTitle->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont titleFont = dbtxtTitle->font();
    titleFont.setPixelSize(13);
    dbtxtTitle->setFont(titleFont);
    QPalette titlePalette = dbtxtTitle->palette();
    titlePalette.setColor(QPalette::WindowText, kYellow);
    dbtxtTitle->setPalette(titlePalette);

    dbtxtRating = MakeLabel(this, "dbtxtRating", {}, QRect(8, 60, 44, 14));
    dbtxtYear = MakeLabel(this, "dbtxtYear", {}, QRect(56, 60, 40, 14));
    dbtxtLength = MakeLabel(this, "dbtxtLength", {}, QRect(100, 60, 32, 14));
    dbtxtLength->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    MakeLabel(this, "lblMinutes", QStringLiteral("minutes"), QRect(136, 60, 60, 14));

    MakeLabel(this, "lblDirectors", QStringLiteral("Director(s)"), QRect(8, 82, 90, 14));
    lstbxDirectors = MakeList(this, "lstbxDirectors", QRect(100, 80, 159, 35));
    MakeLabel(this, "lblCastMembers", QStringLiteral("Cast Member(s)"), QRect(8, 120, 90, 14));
    lstbxCastMembers = MakeList(this, "lstbxCastMembers", QRect(100, 118, 159, 69));

    MakeLabel(this, "lblUserRating", QStringLiteral("Your Rating"), QRect(290, 6, 76, 14));
    for (int i = 0; i < 5; ++i) {
        QLabel* star = MakeLabel(this, "", QString(QChar(0x2605)), QRect(370 + 20 * i, 1, 19, 21));
        star->setObjectName(QStringLiteral("lblStar%1").arg(i + 1));
        star->setProperty("tag", i + 1);
        star->setAlignment(Qt::AlignCenter);
        QFont starFont(QStringLiteral("DejaVu Sans"));
        starFont.setPixelSize(17);
        star->setFont(starFont);
        QPalette starPalette = star->palette();
        starPalette.setColor(QPalette::WindowText, kYellow);
        star->setPalette(starPalette);
        lblStars[static_cast<std::size_t>(i)] = star;
    }

    MakeLabel(this, "lblYourNotes", QStringLiteral("Your Notes/Comments/Synopsis/Critique"), QRect(290, 30, 261, 14));
    mmoUserComments = new QPlainTextEdit(this);
    mmoUserComments->setObjectName(QStringLiteral("mmoUserComments"));
    mmoUserComments->setGeometry(290, 46, 261, 135);
    mmoUserComments->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette memoPalette = mmoUserComments->palette();
    memoPalette.setColor(QPalette::WindowText, Qt::black);
    mmoUserComments->setPalette(memoPalette);
}

void TCurrentRecordPanel::ShowRow(const TVideoRow* row)
{
    dbtxtTitle->setText(row ? QString::fromStdString(row->title) : QString());
    dbtxtRating->setText(row ? QString::fromStdString(row->industryRating) : QString());
    dbtxtYear->setText(row ? QString::fromStdString(row->year) : QString());
    dbtxtLength->setText(row ? QString::fromStdString(row->length) : QString());
}
