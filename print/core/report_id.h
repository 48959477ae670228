// Report ids and the settings key of a report.
//
// A report id is "OptionalText (nnn.mmm)": its last blank-separated word, trimmed, is exactly
// nine characters, "(", three digits, ".", three digits, ")". The settings of a report are
// kept under the section "[" + user name + ":" + report id + "]", or "[" + report id + "]"
// for an empty user name. User names hold letters A-Z and a-z only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace gpr {

bool IsValidReportId(std::string_view reportId);
// Throws eGprSUError "GridPrinter! Setup Error: TGprGridPrinter.ReportId "<id>" is invalid.\r
// ReportId syntax must be of "OptionalText (nnn.mmm)" where n and m are 0..9" for an id that
// is not valid.
void CheckReportId(std::string_view reportId);

// A new id "(%.3d.%.3d)" from a number from 1 to 999 and a millisecond tick count (taken
// modulo 999, plus 1).
std::string NewReportId(int random, uint64_t tickCount);

// The user name without every character that is not a letter A-Z or a-z.
std::string CleanUserName(std::string_view userName);

// "[user:id]" or "[id]".
std::string SectionHeader(std::string_view userName, std::string_view reportId);

}  // namespace gpr
