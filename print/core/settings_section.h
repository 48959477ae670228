// The sections of the report settings file: finding one, reading its lines into a
// TgprReportSettings, and the text a section is written as.
//
// File layout (plain text, lines ended by CR LF; a file edited elsewhere may end its lines in
// LF alone, and each line keeps its own ending when the file is rewritten):
//
//   [User:Films (434.854)]          section header ("[" + report id + "]" without a user)
//   NewRpt=0                        key "=" value, only where the text differs from the
//   PanelsAcrossPage=2              key's default (date-times always), in key-table order
//   Memo,RptTi=START                a memo text, its own line breaks kept, between its START
//   Films by year                   and END lines; only memos with text
//   Memo,RptTi=END
//                                   an empty line ends every section written
//
// A section runs from its header to the next line that begins with "[" outside a memo text,
// or to the end of the file. Headers are whole lines compared without regard to case. A value
// is the text between the first and the second "=" of its line.
//
// Reading is forgiving: a line that is not a setting, an unknown key, a value of the wrong
// form or out of range, and a memo text without its END line are each skipped or read as the
// default and reported as a note; no such line stops the rest of the section from loading, and
// a memo text without its END line ends at the next section header, so the sections after it
// stay whole. Two older spellings are understood: an unknown key beginning with "so" is tried
// again with "io", and "ioLineNumbers=0" hides the line-number column.
#pragma once

#include "print/core/settings_keys.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gpr {

// A line of the file with its own ending ("\r\n", "\n", or "" for a last line without one).
struct TgprTextLine {
  std::string Text;
  std::string Ending;
};
std::vector<TgprTextLine> SplitTextLines(std::string_view content);
std::string JoinTextLines(const std::vector<TgprTextLine>& lines, size_t from, size_t to);

// The lines [Header, End) of a section.
struct TgprSectionSpan {
  size_t Header = 0;
  size_t End = 0;
};
std::optional<TgprSectionSpan> FindSection(const std::vector<TgprTextLine>& lines, std::string_view header);

// Reads the section's lines into settings (which hold the defaults already) and returns the
// notes about lines that could not be taken as they stand.
std::vector<std::string> ReadSection(const std::vector<TgprTextLine>& lines, const TgprSectionSpan& span,
                                     const TrsfList& keys, TgprReportSettings& settings);

// The text of a section as written: header, changed settings, memo texts, an empty line.
std::string SectionText(std::string_view header, const TrsfList& keys, const TgprReportSettings& settings);

// The whole file with the section replaced by its new text, or appended (after an empty line)
// when the file does not hold it. Every other line stays as it was.
std::string ReplaceSection(std::string_view content, std::string_view header, std::string_view sectionText);

}  // namespace gpr
