// The bottom panel of the main window: the current video's title, rating, year and running
// time, its directors and cast, the user's stars and notes. The labels bound to the result
// set follow the current row (ShowRow); the lists, stars and notes are laid out here and
// filled by the current-record refresh.
#pragma once

#include <QFrame>

#include <array>

class QLabel;
class QListWidget;
class QPlainTextEdit;
struct TVideoRow;

class TCurrentRecordPanel : public QFrame {
    Q_OBJECT
public:
    explicit TCurrentRecordPanel(QWidget* parent = nullptr);

    // Shows the fields of the current row; nullptr (no open result) blanks them.
    void ShowRow(const TVideoRow* row);

    QLabel* dbtxtTitle;
    QLabel* dbtxtRating;
    QLabel* dbtxtYear;
    QLabel* dbtxtLength;
    QListWidget* lstbxDirectors;
    QListWidget* lstbxCastMembers;
    std::array<QLabel*, 5> lblStars;
    QPlainTextEdit* mmoUserComments;
};
