// Every search statement the main window can build parses into the query the engine is
// meant to run: one DISTINCT SELECT over the tables of its join case, the listed columns,
// one condition whose AND terms are exactly the joins and criteria chosen, and the order
// by title. Criteria are walked over all join cases, year spans and rating choices.
#include "app/search_statement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/sql/expression_test_support.h"
#include "engine/sql/query_statement.h"

namespace {

using quarry::TDataQuery;
using quarry::TExpToken;
using quarry::TQueryStatement;
using quarry::testing_support::Render;

// The operands of a chain of one binary operator (AND or OR), left to right.
void Flatten(const TExpToken* node, uint8_t opCode, std::vector<std::string>& terms) {
  if (node != nullptr && node->NodeClass == quarry::nc::Binary && node->OpCode == opCode) {
    Flatten(node->Left, opCode, terms);
    Flatten(node->Right, opCode, terms);
    return;
  }
  terms.push_back(Render(node));
}

struct TExpectedShape {
  std::vector<std::string> tables;      // "TABLE CORRELATION"
  std::vector<std::string> columns;     // correlation.column of each result column
  std::vector<std::string> conditions;  // AND terms, in written order
};

TExpectedShape ExpectedShape(const TSearchCriteria& criteria) {
  TExpectedShape shape;
  shape.tables = {"VIDEOS V"};
  shape.columns = {"V.VIDEOID", "V.TITLE", "V.YEAR", "V.INDUSTRYRATING", "V.LENGTH"};
  const TJoinCase join = ChooseJoinCase(criteria);
  if (join == TJoinCase::B || join == TJoinCase::C) {
    shape.tables.push_back("VIDEOS_CASTMEMBERS C");
    shape.columns.push_back("C.VIDEOID");
    shape.conditions.push_back("=(col:V.VIDEOID,col:C.VIDEOID)");
  }
  if (join == TJoinCase::A || join == TJoinCase::C) {
    shape.tables.push_back("VIDEOS_DIRECTORS D");
    shape.columns.push_back("D.VIDEOID");
    shape.conditions.push_back("=(col:V.VIDEOID,col:D.VIDEOID)");
  }
  if (!criteria.allCastMembers && criteria.castChosen)
    shape.conditions.push_back("=(col:C.CASTMEMBERID,int:" + std::to_string(criteria.castMemberId) + ")");
  if (!criteria.allDirectors && criteria.directorChosen)
    shape.conditions.push_back("=(col:D.DIRECTORID,int:" + std::to_string(criteria.directorId) + ")");
  if (!criteria.allYears)
    shape.conditions.push_back("BETWEEN(col:V.YEAR,str:" + criteria.fromYear + ",str:" + criteria.toYear + ")");
  if (!AllRatingsChecked(criteria.ratings)) {
    std::vector<std::string> ratings;
    for (std::size_t i = 0; i < kRatingValues.size(); ++i)
      if (criteria.ratings[i]) ratings.push_back("=(col:V.INDUSTRYRATING,str:" + std::string(kRatingValues[i]) + ")");
    std::string chain = ratings.front();
    for (std::size_t i = 1; i < ratings.size(); ++i) chain = "OR(" + chain + "," + ratings[i] + ")";
    shape.conditions.push_back(chain);
  }
  return shape;
}

void ExpectParsesToShape(const TSearchCriteria& criteria, const std::string& label) {
  const std::string sql = JoinStatementLines(BuildSearchStatementLines(criteria));
  TQueryStatement statement(nullptr);
  try {
    statement.Parse(sql);
  } catch (const std::exception& e) {
    ADD_FAILURE() << label << "\n" << sql << "\nraised: " << e.what();
    return;
  }
  const TExpectedShape shape = ExpectedShape(criteria);
  ASSERT_EQ(statement.Queries().size(), 1u) << label;
  const TDataQuery& q = *statement.Master();
  EXPECT_EQ(q.Kind, quarry::TStatementKind::Select) << label;
  EXPECT_TRUE(q.Distinct) << label;
  EXPECT_EQ(q.HasJoin, shape.tables.size() > 1) << label;

  std::vector<std::string> tables;
  for (const auto& t : q.SourceTables) tables.push_back(t->TableName + " " + t->CorrelationName);
  EXPECT_EQ(tables, shape.tables) << label;

  std::vector<std::string> columns;
  for (const auto& f : q.ResultFields) {
    columns.push_back(f->SourceCorrelationName + "." + f->SourceColumnName);
    EXPECT_FALSE(f->Computed) << label;
    EXPECT_EQ(f->ResultName, f->SourceColumnName) << label;
  }
  EXPECT_EQ(columns, shape.columns) << label;

  std::vector<std::string> conditions;
  if (q.Condition) Flatten(q.Condition.get(), quarry::op::And, conditions);
  EXPECT_EQ(conditions, shape.conditions) << label << "\n" << sql;

  ASSERT_EQ(q.OrderByFields.size(), 1u) << label;
  EXPECT_EQ(q.OrderByFields[0]->CorrelationName, "V");
  EXPECT_EQ(q.OrderByFields[0]->ColumnName, "TITLE");
  EXPECT_FALSE(q.OrderByFields[0]->Descending);
  EXPECT_FALSE(q.OrderByNoCase);
}

TEST(SearchStatementParse, EveryCriteriaCombinationParsesToItsQuery) {
  // Cast and director: show all, or a chosen name (the window keeps the two apart).
  for (int cast = 0; cast < 2; ++cast) {
    for (int director = 0; director < 2; ++director) {
      for (int years = 0; years < 2; ++years) {
        for (unsigned ratingMask = 1; ratingMask < 64; ++ratingMask) {
          TSearchCriteria criteria;
          criteria.allCastMembers = cast == 0;
          criteria.castChosen = cast == 1;
          criteria.castMemberId = 12;
          criteria.allDirectors = director == 0;
          criteria.directorChosen = director == 1;
          criteria.directorId = 7;
          criteria.allYears = years == 0;
          criteria.fromYear = "1990";
          criteria.toYear = "1999";
          for (std::size_t i = 0; i < 6; ++i) criteria.ratings[i] = (ratingMask >> i) & 1u;
          ExpectParsesToShape(criteria, "cast " + std::to_string(cast) + " director " + std::to_string(director) +
                                            " years " + std::to_string(years) + " ratings " +
                                            std::to_string(ratingMask));
        }
      }
    }
  }
}

// A year typed with a quote still yields one string literal.
TEST(SearchStatementParse, QuotedYearStaysOneLiteral) {
  TSearchCriteria criteria;
  criteria.allYears = false;
  criteria.fromYear = "19\"9";
  criteria.toYear = "2000";
  ExpectParsesToShape(criteria, "quoted year");
}

}  // namespace
