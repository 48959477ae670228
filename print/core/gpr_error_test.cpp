// GridPrinter's exceptions carry their category's prefix and can be caught as eGprError.
#include "print/core/gpr_error.h"

#include <gtest/gtest.h>

namespace gpr {
namespace {

TEST(GprError, EachClassPrefixesItsCategory) {
  struct TCase {
    std::string Message;
    std::string Expected;
  };
  const auto text = [](const eGprError& e) { return std::string(e.what()); };
  const TCase cases[] = {
      {text(eGprError("Unable to save Report Settings for ReportId:(1.2)")),
       "GridPrinter! Error: Unable to save Report Settings for ReportId:(1.2)"},
      {text(eGprSUError("Report Password Violation")), "GridPrinter! Setup Error: Report Password Violation"},
      {text(eGprPrtError("spooler")), "GridPrinter! Printing Error: spooler"},
      {text(eGprIntError("Locking file")), "GridPrinter! Internal Error: Locking file"},
      {text(eGprUserTermRpt()), "GridPrinter! User Terminated Report"},
  };
  for (const TCase& c : cases) EXPECT_EQ(c.Message, c.Expected);
}

TEST(GprError, SubclassesAreCaughtAsTheBase) {
  EXPECT_THROW(throw eGprSUError("x"), eGprError);
  EXPECT_THROW(throw eGprUserTermRpt(), eGprError);
  EXPECT_THROW(throw eGprIntError("x"), std::runtime_error);
}

}  // namespace
}  // namespace gpr
