// Reading report pages back from text files and PDFs, for the tests of the channels: a run's
// text split into pages, and a PDF's pages through poppler's pdftotext in fixed-pitch mode,
// so that text-file page p and PDF page p compare equal line for line.
#pragma once

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace gpr::testing {

namespace fs = std::filesystem;

inline std::string RunCommand(const std::string& command) {
  std::string out;
  if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

// Pages of a text: split at form feeds, CR dropped, trailing blanks and blank lines at a
// page's start and end dropped, empty pages at the end dropped, and the blanks all lines of a page
// begin with removed (pdftotext in fixed-pitch mode shows the page margin as blanks). A
// no-break space counts as a blank: pdftotext gives it as one.
inline std::vector<std::vector<std::string>> SplitPages(const std::string& text) {
  std::vector<std::vector<std::string>> pages(1);
  std::string line;
  std::string input = text;
  for (std::size_t at = input.find("\xC2\xA0"); at != std::string::npos; at = input.find("\xC2\xA0", at)) {
    input.replace(at, 2, " ");
  }
  auto endLine = [&] {
    while (!line.empty() && line.back() == ' ') line.pop_back();
    pages.back().push_back(line);
    line.clear();
  };
  for (char c : input) {
    if (c == '\r') continue;
    if (c == '\n') {
      endLine();
    } else if (c == '\f') {
      if (!line.empty()) endLine();
      pages.emplace_back();
    } else {
      line += c;
    }
  }
  if (!line.empty()) endLine();
  for (auto& page : pages) {
    while (!page.empty() && page.back().empty()) page.pop_back();
    // pdftotext starts a page at its first line with text: a top margin does not show.
    while (!page.empty() && page.front().empty()) page.erase(page.begin());
    std::size_t indent = std::string::npos;
    for (const std::string& text : page) {
      if (!text.empty()) indent = std::min(indent, text.find_first_not_of(' '));
    }
    for (std::string& text : page) {
      if (!text.empty() && indent != std::string::npos) text.erase(0, indent);
    }
  }
  while (!pages.empty() && pages.back().empty()) pages.pop_back();
  return pages;
}

inline std::vector<std::vector<std::string>> PdfPages(const std::string& pdf, const fs::path& scratch) {
  const fs::path file = scratch / "job.pdf";
  std::ofstream(file, std::ios::binary) << pdf;
  // The report font's advance: 0.602 em of DejaVu Sans Mono at 10 points.
  return SplitPages(RunCommand("pdftotext -fixed 6.0205 -enc UTF-8 " + file.string() + " - 2>/dev/null"));
}

inline int PdfPageCount(const std::string& pdf, const fs::path& scratch) {
  const fs::path file = scratch / "count.pdf";
  std::ofstream(file, std::ios::binary) << pdf;
  const std::string info = RunCommand("pdfinfo " + file.string() + " 2>/dev/null");
  const std::size_t at = info.find("Pages:");
  return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
}

}  // namespace gpr::testing
