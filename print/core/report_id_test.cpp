// Report id syntax, new ids, user names and section headers.
#include "print/core/report_id.h"

#include "print/core/gpr_error.h"

#include <gtest/gtest.h>

namespace gpr {
namespace {

TEST(ReportId, Syntax) {
  struct TCase {
    const char* Id;
    bool Valid;
  };
  for (const TCase& c :
       {TCase{"(434.854)", true}, TCase{"Films (434.854)", true}, TCase{"Films by year (000.999) ", true},
        TCase{"(43.854)", false}, TCase{"434.854", false}, TCase{"Films(434.854)", false}, TCase{"(434.8540)", false},
        TCase{"(434,854)", false}, TCase{"(4a4.854)", false}, TCase{"", false}, TCase{"   ", false}}) {
    EXPECT_EQ(IsValidReportId(c.Id), c.Valid) << c.Id;
  }
}

TEST(ReportId, AnInvalidIdGivesTheSyntaxMessage) {
  try {
    CheckReportId("Films (43.854)");
    FAIL() << "no error";
  } catch (const eGprSUError& e) {
    EXPECT_STREQ(e.what(),
                 "GridPrinter! Setup Error: TGprGridPrinter.ReportId \"Films (43.854)\" is invalid.\rReportId syntax "
                 "must be of \"OptionalText (nnn.mmm)\" where n and m are 0..9");
  }
  EXPECT_NO_THROW(CheckReportId("Films (434.854)"));
}

TEST(ReportId, NewIdsUseTheNumberAndTheTickCount) {
  EXPECT_EQ(NewReportId(7, 0), "(007.001)");
  EXPECT_EQ(NewReportId(999, 998), "(999.999)");
  EXPECT_EQ(NewReportId(1, 999), "(001.001)");
  EXPECT_TRUE(IsValidReportId(NewReportId(123, 123456789)));
}

TEST(ReportId, UserNamesKeepLettersOnlyAndHeadersNameThem) {
  EXPECT_EQ(CleanUserName("Anna-Lena 2"), "AnnaLena");
  EXPECT_EQ(CleanUserName("änne"), "nne");
  EXPECT_EQ(SectionHeader("", "Films (434.854)"), "[Films (434.854)]");
  EXPECT_EQ(SectionHeader("Anna", "Films (434.854)"), "[Anna:Films (434.854)]");
}

}  // namespace
}  // namespace gpr
