// The bottom panel of the main window: the current video's title, rating, year and running
// time, its directors and cast, the user's 0 to 5 stars and free-text notes. The labels bound
// to the result set follow the current row (ShowRow); the lists, stars and notes are filled by
// RefreshCurrentRecord, which the main window runs after scrolling and on a grid cell click.
//
// Ratings and notes are the only data the program writes, and never into the catalogue:
// the stars go to section "Rating" of the settings file (TRatingStore), the notes to
// "<VideoID>.vid" in the notes folder TUserFiles chose (notes_file.h).
//
// Whose notes the edit holds: the notes of the video last refreshed (NotesVideoId), which is
// not always the current row: after a scroll the panel is refreshed 200 ms later, and the
// navigator moves the row without taking the focus from the edit. Unsaved notes are therefore
// saved to that video's file, never to the current row's, and they are saved before another
// refresh replaces them, so typing is never lost to a scroll.
//
// With no current video (no result open, or a search without matches) the panel shows
// nothing: ShowNoVideo clears the lists, greys the stars and empties the notes, and the stars
// and the notes take no input until the next refresh for a video.
#pragma once

#include "app/catalogue_access.h"
#include "app/rating_store.h"
#include "app/user_files.h"
#include "app/user_notifier.h"

#include <QFrame>

#include <array>
#include <functional>
#include <optional>
#include <string>

class QLabel;
class QListWidget;
class QPlainTextEdit;

class TCurrentRecordPanel : public QFrame {
  Q_OBJECT
 public:
  // catalogue: where the name lookups go; must outlive the panel. files: the settings file
  // holding the ratings and the folder of the notes files. notifier: how failures of the panel's own handlers
  // (star click, leaving the notes) and the rating message reach the user. currentVideo:
  // the VideoID of the result set's current row, none when there is no current row.
  TCurrentRecordPanel(TCatalogueAccess& catalogue, const TUserFiles& files, TUserNotifier notifier,
                      std::function<std::optional<int>()> currentVideo, QWidget* parent = nullptr);

  // Shows the fields of the current row; nullptr (no open result) blanks them.
  void ShowRow(const TVideoRow* row);

  // Fills the panel for a video: directors, cast, stars, notes, in that order. A failure
  // (a lookup, an id that is no integer, an unreadable notes file) raises and leaves what
  // was filled before it.
  void RefreshCurrentRecord(int videoId);

  // No current video: saves notes still unsaved (raising like SaveNotes, and then changing
  // nothing), then clears the lists, greys the stars, empties the notes and takes the stars'
  // and the notes' input away until the next RefreshCurrentRecord. The row's labels are
  // ShowRow's.
  void ShowNoVideo();

  // Paints the stars for a rating: stars 1 to n yellow, the others grey. A rating outside 0
  // to 5 leaves all five grey and tells the user "Error in EnableStars Procedure".
  void EnableStars(int n);

  // Writes the notes to the file of NotesVideoId when they were changed since they were
  // loaded or saved, and clears the changed mark; does nothing otherwise (and with no video
  // whose notes the edit holds). Raises
  // ENotesFileError when the file cannot be written (the notes stay marked as changed).
  void SaveNotes();

  // The video whose notes the edit holds: the one last refreshed; 0 before the first refresh
  // and while there is no current video.
  int NotesVideoId() const { return notesVideo_.value_or(0); }

  // Controls, owned by the panel through Qt's parents. The five stars are the panel's only
  // labels with a "tag" property (1 to 5, their rank).
  QLabel* dbtxtTitle;
  QLabel* dbtxtRating;
  QLabel* dbtxtYear;
  QLabel* dbtxtLength;
  QListWidget* lstbxDirectors;
  QListWidget* lstbxCastMembers;
  std::array<QLabel*, 5> lblStars;  // lblStar1 to lblStar5
  QPlainTextEdit* mmoUserComments;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // A click on star n (1 to 5): n stars for the current video; nothing without one.
  void lblStar1Click(int n);
  // The notes edit lost the focus.
  void mmoUserCommentsExit();
  // Whether the five stars take clicks.
  void SetStarsEnabled(bool enabled);
  // Replaces the edit's text by the notes of videoId (none when it has no file).
  void ShowNotesOf(int videoId);

  // Runs a handler the way the main window's handlers run: a failure ends it and goes to
  // the default error report.
  template <typename Action>
  void Guarded(Action&& action);

  TCatalogueAccess& catalogue_;
  TRatingStore ratings_;
  TUserFiles files_;
  TUserNotifier notifier_;
  std::function<std::optional<int>()> currentVideo_;
  std::optional<int> notesVideo_;  // none: the edit holds no video's notes
};
