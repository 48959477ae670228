// Report id syntax, new ids and section headers (report_id.h).
#include "print/core/report_id.h"

#include "print/core/gpr_error.h"

#include <cstdio>

namespace gpr {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

bool IsValidReportId(std::string_view id) {
  while (!id.empty() && IsBlank(id.back())) id.remove_suffix(1);
  size_t start = id.size();
  while (start > 0 && !IsBlank(id[start - 1])) --start;
  const std::string_view word = id.substr(start);
  return word.size() == 9 && word[0] == '(' && IsDigit(word[1]) && IsDigit(word[2]) && IsDigit(word[3]) &&
         word[4] == '.' && IsDigit(word[5]) && IsDigit(word[6]) && IsDigit(word[7]) && word[8] == ')';
}

void CheckReportId(std::string_view reportId) {
  if (IsValidReportId(reportId)) return;
  throw eGprSUError("TGprGridPrinter.ReportId " + Quoted(reportId) + " is invalid.\rReportId syntax must be of " +
                    Quoted("OptionalText (nnn.mmm)") + " where n and m are 0..9");
}

std::string NewReportId(int random, uint64_t tickCount) {
  char text[16];
  std::snprintf(text, sizeof text, "(%.3d.%.3d)", random, static_cast<int>(tickCount % 999 + 1));
  return text;
}

std::string CleanUserName(std::string_view userName) {
  std::string clean;
  for (char c : userName) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) clean += c;
  }
  return clean;
}

std::string SectionHeader(std::string_view userName, std::string_view reportId) {
  if (userName.empty()) return "[" + std::string(reportId) + "]";
  return "[" + std::string(userName) + ":" + std::string(reportId) + "]";
}

}  // namespace gpr
