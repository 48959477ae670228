// Criteria checks and the search statement; see search_statement.h.
#include "app/search_statement.h"

#include <algorithm>

bool AnyRatingChecked(const TRatingBoxes& ratings) {
  return std::any_of(ratings.begin(), ratings.end(), [](bool checked) { return checked; });
}

bool AllRatingsChecked(const TRatingBoxes& ratings) {
  return std::all_of(ratings.begin(), ratings.end(), [](bool checked) { return checked; });
}

bool OrNeeded(const TRatingBoxes& ratings, std::string_view ratingValue) {
  const auto position = std::find(kRatingValues.begin(), kRatingValues.end(), ratingValue);
  if (position == kRatingValues.end()) return false;
  const auto before = static_cast<std::size_t>(position - kRatingValues.begin());
  return std::any_of(ratings.begin(), ratings.begin() + static_cast<std::ptrdiff_t>(before),
                     [](bool checked) { return checked; });
}

std::string NormaliseFromYear(std::string_view text, const TShowMessage& showMessage) {
  if (text.empty()) return std::string(kEarliestSearchYear);
  if (TextLength(text) == 2) return ExpandTwoDigitYear(text, showMessage);
  return std::string(text);
}

std::string NormaliseToYear(std::string_view text, int currentYear, const TShowMessage& showMessage) {
  if (text.empty()) return std::to_string(currentYear);
  if (TextLength(text) == 2) return ExpandTwoDigitYear(text, showMessage);
  return std::string(text);
}

bool CheckYearLengths(std::string_view fromYear, std::string_view toYear, const TShowMessage& showMessage) {
  auto fits = [](std::string_view year) {
    const std::size_t length = TextLength(year);
    return length == 2 || length == 4;
  };
  if (fits(fromYear) && fits(toYear)) return true;
  if (showMessage) showMessage(std::string(kYearLengthMessage));
  return false;
}

bool CheckYearOrder(std::string_view fromYear, std::string_view toYear, const TShowMessage& showMessage) {
  if (!(toYear < fromYear)) return true;
  if (showMessage) showMessage(std::string(kYearOrderMessage));
  return false;
}

bool CheckRatingSelected(const TRatingBoxes& ratings, const TShowMessage& showMessage) {
  if (AnyRatingChecked(ratings)) return true;
  if (showMessage) showMessage(std::string(kNoRatingMessage));
  return false;
}

bool NormaliseAndCheck(std::string_view fromText, std::string_view toText, int currentYear, TSearchCriteria& criteria,
                       const TShowMessage& showMessage) {
  criteria.fromYear = NormaliseFromYear(fromText, showMessage);
  criteria.toYear = NormaliseToYear(toText, currentYear, showMessage);
  return CheckYearLengths(criteria.fromYear, criteria.toYear, showMessage) &&
         CheckYearOrder(criteria.fromYear, criteria.toYear, showMessage) &&
         CheckRatingSelected(criteria.ratings, showMessage);
}

TJoinCase ChooseJoinCase(const TSearchCriteria& criteria) {
  if (!criteria.castChosen && !criteria.allDirectors) return TJoinCase::A;
  if (!criteria.directorChosen && !criteria.allCastMembers) return TJoinCase::B;
  if (!criteria.allDirectors && !criteria.allCastMembers) return TJoinCase::C;
  return TJoinCase::D;
}

std::string JoinStatementLines(const std::vector<std::string>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += lines[i];
  }
  return text;
}

std::vector<std::string> BuildSearchStatementLines(const TSearchCriteria& criteria) {
  std::vector<std::string> lines;
  lines.emplace_back("SELECT DISTINCT V.VIDEOID, V.TITLE, V.YEAR, V.INDUSTRYRATING, V.LENGTH");

  switch (ChooseJoinCase(criteria)) {
  case TJoinCase::A:
    lines.emplace_back(", D.VIDEOID");
    lines.emplace_back("FROM VIDEOS V, VIDEOS_DIRECTORS D");
    lines.emplace_back(" WHERE (V.VIDEOID = D.VIDEOID)");
    break;
  case TJoinCase::B:
    lines.emplace_back(", C.VIDEOID");
    lines.emplace_back("FROM VIDEOS V, VIDEOS_CASTMEMBERS C");
    lines.emplace_back(" WHERE (V.VIDEOID = C.VIDEOID) ");
    break;
  case TJoinCase::C:
    lines.emplace_back(", C.VIDEOID, D.VIDEOID ");
    lines.emplace_back("FROM VIDEOS V, VIDEOS_CASTMEMBERS C, VIDEOS_DIRECTORS D");
    lines.emplace_back(" WHERE (V.VIDEOID = C.VIDEOID) AND (V.VIDEOID = D.VIDEOID) ");
    break;
  case TJoinCase::D: lines.emplace_back("FROM VIDEOS V"); break;
  }

  if (!criteria.allCastMembers && criteria.castChosen) {
    lines.push_back(" AND (C.CASTMEMBERID = " + std::to_string(criteria.castMemberId) + ")");
  }
  if (!criteria.allDirectors && criteria.directorChosen) {
    lines.push_back(" AND (D.DIRECTORID = " + std::to_string(criteria.directorId) + ")");
  }

  if (!criteria.allYears) {
    lines.emplace_back(ContainsWhere(JoinStatementLines(lines)) ? " AND " : " WHERE ");
    // Years are compared as text; quoting keeps a pasted quote from ending the literal.
    lines.push_back(" (V.YEAR BETWEEN " + QuotedLiteral(criteria.fromYear) + " AND " + QuotedLiteral(criteria.toYear) +
                    ")");
  }

  if (!AllRatingsChecked(criteria.ratings)) {
    static constexpr std::array<std::string_view, 6> terms = {
        "(V.INDUSTRYRATING = \"G\")",   " (V.INDUSTRYRATING = \"PG\")", " (V.INDUSTRYRATING = \"PG-13\")",
        " (V.INDUSTRYRATING = \"NR\")", " (V.INDUSTRYRATING = \"R\")",  " (V.INDUSTRYRATING = \"NC-17\")",
    };
    lines.emplace_back(ContainsWhere(JoinStatementLines(lines)) ? " AND (" : " WHERE (");
    for (std::size_t i = 0; i < terms.size(); ++i) {
      if (!criteria.ratings[i]) continue;
      if (OrNeeded(criteria.ratings, kRatingValues[i])) lines.emplace_back(" OR ");
      lines.emplace_back(terms[i]);
    }
    lines.emplace_back(")");
  }

  lines.emplace_back(" ORDER BY V.TITLE");
  return lines;
}
