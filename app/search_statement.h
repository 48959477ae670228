// The search of the main window without the window: the criteria as the window holds them,
// the checks run when "&Search" is pressed, and the SELECT statement built from them line by
// line. The window (main_window.cpp) only reads its controls into a TSearchCriteria.
#pragma once

#include "app/pellomar_utils.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

// The six industry ratings in the fixed order of their check boxes and statement terms.
inline constexpr std::array<std::string_view, 6> kRatingValues = {"G", "PG", "PG-13", "NR", "R", "NC-17"};

// The checked state of the six rating boxes, in the order of kRatingValues.
using TRatingBoxes = std::array<bool, 6>;

bool AnyRatingChecked(const TRatingBoxes& ratings);
bool AllRatingsChecked(const TRatingBoxes& ratings);
// Whether a rating's term needs " OR " before it: some rating before it in the fixed order is
// checked. Always false for "G" and for a value that is not one of the six.
bool OrNeeded(const TRatingBoxes& ratings, std::string_view ratingValue);

// Texts of the information boxes of a failed check.
inline constexpr std::string_view kYearLengthMessage =
    "Both the \"from\" year and the \"to\" year must be\n"
    "either two or four digits, or else left blank.";
inline constexpr std::string_view kYearOrderMessage =
    "The \"to\" year must be later than or equal to the \"from\" year";
inline constexpr std::string_view kNoRatingMessage = "You must select at least one rating";

// The year a search starts from when the "from" box is left empty.
inline constexpr std::string_view kEarliestSearchYear = "1912";

// An empty from-year becomes "1912", a two-character one is expanded (ExpandTwoDigitYear).
std::string NormaliseFromYear(std::string_view text, const TShowMessage& showMessage);
// An empty to-year becomes currentYear, a two-character one is expanded.
std::string NormaliseToYear(std::string_view text, int currentYear, const TShowMessage& showMessage);

// Each check shows its message through showMessage and returns false when it fails.
bool CheckYearLengths(std::string_view fromYear, std::string_view toYear, const TShowMessage& showMessage);
bool CheckYearOrder(std::string_view fromYear, std::string_view toYear, const TShowMessage& showMessage);
bool CheckRatingSelected(const TRatingBoxes& ratings, const TShowMessage& showMessage);

// Everything the statement depends on, read from the window when "&Search" is pressed.
// The window keeps "a name chosen" and "its show-all box checked" apart (choosing a name
// unchecks the box, checking the box clears the name); the statement relies on that.
struct TSearchCriteria {
  std::string fromYear{kEarliestSearchYear};  // normalised texts
  std::string toYear;
  bool allCastMembers = true;  // the three show-all boxes
  bool allDirectors = true;
  bool allYears = true;
  bool castChosen = false;      // the cast text names a row of CASTMEMBERS
  bool directorChosen = false;  // the director text names a row of DIRECTORS
  int castMemberId = 0;         // read only when a name is chosen and its box unchecked
  int directorId = 0;
  TRatingBoxes ratings{true, true, true, true, true, true};
};

// Normalises the two year texts into criteria and runs the three checks, stopping at the
// first failure; returns whether all passed. Messages go to showMessage in the order the
// user sees them.
bool NormaliseAndCheck(std::string_view fromText, std::string_view toText, int currentYear, TSearchCriteria& criteria,
                       const TShowMessage& showMessage);

// The shape of the FROM list: which link tables the statement joins.
enum class TJoinCase {
  A,  // videos and their directors
  B,  // videos and their cast members
  C,  // videos, cast members and directors
  D,  // videos alone
};
TJoinCase ChooseJoinCase(const TSearchCriteria& criteria);

// The statement's lines, each piece a line of its own, texts exact to the blank.
std::vector<std::string> BuildSearchStatementLines(const TSearchCriteria& criteria);
// Lines joined by carriage return and line feed, as the query receives them.
std::string JoinStatementLines(const std::vector<std::string>& lines);
