// TCurrentRecordPanel: fixed layout of the current-record controls on a black panel, the
// refresh for the current video, the stars and the notes.
#include "app/current_record_panel.h"

#include "app/notes_file.h"
#include "app/video_credits.h"

#include <QFocusEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>

#include <exception>

namespace {

const QColor kCream(255, 251, 240);
const QColor kYellow(255, 255, 0);  // a lit star
const QColor kGrey(128, 128, 128);  // an unlit star

void SetTextColour(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, colour);
  widget->setPalette(palette);
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect geometry) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(geometry);
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  return label;
}

QListWidget* MakeList(QWidget* parent, const char* name, QRect geometry) {
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

TCurrentRecordPanel::TCurrentRecordPanel(TCatalogueAccess& catalogue, const TUserFiles& files, TUserNotifier notifier,
                                         std::function<std::optional<int>()> currentVideo, QWidget* parent)
    : QFrame(parent),
      catalogue_(catalogue),
      ratings_(files.SettingsFileName()),
      files_(files),
      notifier_(std::move(notifier)),
      currentVideo_(std::move(currentVideo)) {
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
    SetTextColour(star, kYellow);
    star->installEventFilter(this);
    lblStars[static_cast<std::size_t>(i)] = star;
  }

  MakeLabel(this, "lblYourNotes", QStringLiteral("Your Notes/Comments/Synopsis/Critique"), QRect(290, 30, 261, 14));
  mmoUserComments = new QPlainTextEdit(this);
  mmoUserComments->setObjectName(QStringLiteral("mmoUserComments"));
  mmoUserComments->setGeometry(290, 46, 261, 135);
  mmoUserComments->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mmoUserComments->setTabChangesFocus(true);  // Tab leaves the notes, as the tab order says
  QPalette memoPalette = mmoUserComments->palette();
  memoPalette.setColor(QPalette::WindowText, Qt::black);
  mmoUserComments->setPalette(memoPalette);
  mmoUserComments->installEventFilter(this);
}

void TCurrentRecordPanel::ShowRow(const TVideoRow* row) {
  dbtxtTitle->setText(row ? QString::fromStdString(row->title) : QString());
  dbtxtRating->setText(row ? QString::fromStdString(row->industryRating) : QString());
  dbtxtYear->setText(row ? QString::fromStdString(row->year) : QString());
  dbtxtLength->setText(row ? QString::fromStdString(row->length) : QString());
}

void TCurrentRecordPanel::RefreshCurrentRecord(int videoId) {
  const auto addTo = [](QListWidget* list) {
    return [list](const std::string& name) { list->addItem(QString::fromStdString(name)); };
  };
  lstbxDirectors->clear();
  ListDirectorsOfVideo(catalogue_, videoId, addTo(lstbxDirectors));
  lstbxCastMembers->clear();
  ListCastMembersOfVideo(catalogue_, videoId, addTo(lstbxCastMembers));
  EnableStars(ratings_.Read(videoId));
  SetStarsEnabled(true);
  // Notes typed since the edit was last left belong to the video they were typed for.
  SaveNotes();
  ShowNotesOf(videoId);
}

void TCurrentRecordPanel::ShowNoVideo() {
  SaveNotes();
  lstbxDirectors->clear();
  lstbxCastMembers->clear();
  EnableStars(0);
  SetStarsEnabled(false);
  mmoUserComments->clear();
  mmoUserComments->document()->setModified(false);
  notesVideo_.reset();
  // Last: taking the focus from the edit saves nothing now.
  mmoUserComments->setEnabled(false);
}

void TCurrentRecordPanel::SetStarsEnabled(bool enabled) {
  for (QLabel* star : lblStars) star->setEnabled(enabled);
}

void TCurrentRecordPanel::EnableStars(int n) {
  for (QLabel* star : lblStars) SetTextColour(star, kGrey);
  if (n < 0 || n > static_cast<int>(lblStars.size())) {
    if (notifier_.information) notifier_.information(window(), QStringLiteral("Error in EnableStars Procedure"));
    return;
  }
  for (QLabel* star : lblStars) {
    if (star->property("tag").toInt() <= n) SetTextColour(star, kYellow);
  }
}

void TCurrentRecordPanel::lblStar1Click(int n) {
  const std::optional<int> video = currentVideo_();
  if (!video) return;
  ratings_.Write(*video, n);
  EnableStars(n);
}

void TCurrentRecordPanel::SaveNotes() {
  if (!notesVideo_ || !mmoUserComments->document()->isModified()) return;
  ::SaveNotes(files_.NotesFileName(*notesVideo_), mmoUserComments->toPlainText());
  mmoUserComments->document()->setModified(false);
}

void TCurrentRecordPanel::mmoUserCommentsExit() { SaveNotes(); }

void TCurrentRecordPanel::ShowNotesOf(int videoId) {
  const QString fileName = files_.NotesFileName(videoId);
  if (NotesFileExists(fileName)) {
    mmoUserComments->setPlainText(LoadNotes(fileName));
  } else {
    mmoUserComments->clear();
  }
  mmoUserComments->document()->setModified(false);
  notesVideo_ = videoId;
  mmoUserComments->setEnabled(true);
}

bool TCurrentRecordPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == mmoUserComments && event->type() == QEvent::FocusOut) {
    // A context menu or another application taking the focus does not leave the edit.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) {
      Guarded([this] { mmoUserCommentsExit(); });
    }
    return QFrame::eventFilter(watched, event);
  }
  auto* star = qobject_cast<QLabel*>(watched);
  if (star && event->type() == QEvent::MouseButtonRelease) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const int tag = star->property("tag").toInt();
    const bool clicked = mouse->button() == Qt::LeftButton && star->rect().contains(mouse->position().toPoint());
    if (tag >= 1 && tag <= 5 && clicked && star->isEnabled()) {
      Guarded([this, tag] { lblStar1Click(tag); });
      return true;
    }
  }
  return QFrame::eventFilter(watched, event);
}

template <typename Action>
void TCurrentRecordPanel::Guarded(Action&& action) {
  try {
    action();
  } catch (const std::exception& e) {
    if (notifier_.errorReport) notifier_.errorReport(window(), QString::fromUtf8(e.what()));
  }
}
