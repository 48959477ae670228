// Reading and writing the sections of the report settings file (settings_section.h).
#include "print/core/settings_section.h"

#include "dbaccess/name_compare.h"
#include "print/core/cols_list.h"
#include "print/core/gpr_error.h"

namespace gpr {

namespace {

using quarry::SameName;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameName(text.substr(0, prefix.size()), prefix);
}

bool IsHeaderLine(const TgprTextLine& line) { return !line.Text.empty() && line.Text[0] == '['; }

// Key and value of a setting line: the text before the first "=", trimmed, and the text up to
// the next "=". False for a line without "=".
bool SplitSetting(std::string_view text, std::string& key, std::string& value) {
  const size_t eq = text.find('=');
  if (eq == std::string_view::npos) return false;
  key = std::string(quarry::TrimmedView(text.substr(0, eq)));
  std::string_view rest = text.substr(eq + 1);
  value = std::string(rest.substr(0, rest.find('=')));
  return true;
}

bool IsMemoStart(std::string_view key, std::string_view value) {
  return StartsWithNoCase(key, "Memo,") && SameName(value, "Start");
}

// One memo text inside a section: the lines [Start, End] (End the END line, or the last line
// of the text when the END line is missing).
struct TMemoBlock {
  std::string Name;
  size_t Start = 0;
  size_t TextEnd = 0;  // one past the last text line
  size_t Next = 0;     // the line after the block
  bool Complete = false;
};

TMemoBlock ScanMemo(const std::vector<TgprTextLine>& lines, size_t start, std::string_view name) {
  TMemoBlock block;
  block.Name = std::string(name);
  block.Start = start;
  const std::string endLine = "Memo," + block.Name + "=END";
  for (size_t i = start + 1; i < lines.size(); ++i) {
    if (SameName(lines[i].Text, endLine)) {
      block.TextEnd = i;
      block.Next = i + 1;
      block.Complete = true;
      return block;
    }
  }
  // No END line: the text stops at the next section header.
  size_t i = start + 1;
  while (i < lines.size() && !IsHeaderLine(lines[i])) ++i;
  block.TextEnd = i;
  block.Next = i;
  return block;
}

// The line after a section whose header is at `header`.
size_t SectionEnd(const std::vector<TgprTextLine>& lines, size_t header) {
  size_t i = header + 1;
  while (i < lines.size() && !IsHeaderLine(lines[i])) {
    std::string key, value;
    if (SplitSetting(lines[i].Text, key, value) && IsMemoStart(key, value)) {
      i = ScanMemo(lines, i, key.substr(5)).Next;
    } else {
      ++i;
    }
  }
  return i;
}

std::string MemoText(const std::vector<TgprTextLine>& lines, const TMemoBlock& block) {
  std::string text;
  for (size_t i = block.Start + 1; i < block.TextEnd; ++i) {
    text += lines[i].Text;
    if (i + 1 < block.TextEnd) text += lines[i].Ending;
  }
  return text;
}

std::string RangeText(const TgprSettingKey& key) {
  if (!key.Range) return {};
  std::string text = " (" + std::to_string(key.Range->Min) + " to " + std::to_string(key.Range->Max);
  if (key.RangeTopBottom) {
    text += "; top and bottom " + std::to_string(key.RangeTopBottom->Min) + " to " +
            std::to_string(key.RangeTopBottom->Max);
  }
  return text + ")";
}

}  // namespace

std::vector<TgprTextLine> SplitTextLines(std::string_view content) {
  std::vector<TgprTextLine> lines;
  while (!content.empty()) {
    const size_t lf = content.find('\n');
    TgprTextLine line;
    if (lf == std::string_view::npos) {
      line.Text = std::string(content);
      content = {};
    } else {
      const bool crlf = lf > 0 && content[lf - 1] == '\r';
      line.Text = std::string(content.substr(0, crlf ? lf - 1 : lf));
      line.Ending = crlf ? "\r\n" : "\n";
      content.remove_prefix(lf + 1);
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string JoinTextLines(const std::vector<TgprTextLine>& lines, size_t from, size_t to) {
  std::string text;
  for (size_t i = from; i < to && i < lines.size(); ++i) text += lines[i].Text + lines[i].Ending;
  return text;
}

std::optional<TgprSectionSpan> FindSection(const std::vector<TgprTextLine>& lines, std::string_view header) {
  size_t i = 0;
  while (i < lines.size() && !IsHeaderLine(lines[i])) ++i;
  while (i < lines.size()) {
    const size_t end = SectionEnd(lines, i);
    if (SameName(lines[i].Text, header)) return TgprSectionSpan{i, end};
    i = end;
  }
  return std::nullopt;
}

std::vector<std::string> ReadSection(const std::vector<TgprTextLine>& lines, const TgprSectionSpan& span,
                                     const TrsfList& keys, TgprReportSettings& settings) {
  std::vector<std::string> notes;
  const std::string where = "Report settings " + lines[span.Header].Text + ": ";
  const bool decisionGrid = keys.Context().ObjectKind == okDecisionGrid;
  size_t i = span.Header + 1;
  while (i < span.End) {
    const std::string& text = lines[i].Text;
    std::string key, value;
    if (quarry::TrimmedView(text).empty()) {
      ++i;
      continue;
    }
    if (!SplitSetting(text, key, value)) {
      notes.push_back(where + "the line " + Quoted(text) + " is not a setting and was skipped");
      ++i;
      continue;
    }
    if (IsMemoStart(key, value)) {
      const TMemoBlock block = ScanMemo(lines, i, key.substr(5));
      i = block.Next;
      int memo = -1;
      for (int m = 0; m < kGprMemoCount; ++m) {
        if (SameName(MemoName(static_cast<TgprMemoIndex>(m)), block.Name)) memo = m;
      }
      if (memo < 0) {
        notes.push_back(where + "the text of the unknown memo " + Quoted(block.Name) + " was skipped");
        continue;
      }
      if (!block.Complete) {
        notes.push_back(where + "the text of memo " + Quoted(block.Name) +
                        " has no END line; it was read up to the next section");
      }
      settings.Memos[memo].Text = MemoText(lines, block);
      continue;
    }
    ++i;
    if (SameName(key, "ioLineNumbers")) {
      if (quarry::TrimmedView(value) == "0") {
        bool listed = false;
        for (const std::string& name : SplitCommaList(settings.HideColumns)) {
          listed = listed || SameName(name, kGprLineNumberColumn);
        }
        if (!listed)
          settings.HideColumns += (settings.HideColumns.empty() ? "" : ",") + std::string(kGprLineNumberColumn);
      }
      continue;
    }
    const TgprSettingKey* found = keys.Find(key);
    if (found == nullptr && StartsWithNoCase(key, "so")) found = keys.Find("io" + key.substr(2));
    if (found == nullptr) {
      notes.push_back(where + "the unknown key " + Quoted(key) + " was ignored");
      continue;
    }
    if (decisionGrid && (found->Key == "NumGrpBrkCols" || found->Key == "AdjGrpBrkLines")) continue;
    switch (keys.Decode(*found, value, settings)) {
    case TgprDecodeResult::Taken: break;
    case TgprDecodeResult::NotValid:
      notes.push_back(where + Quoted(found->Key + "=" + value) + " is not a valid value; the default " +
                      Quoted(found->DefaultText) + " is used");
      break;
    case TgprDecodeResult::OutOfRange:
      notes.push_back(where + Quoted(found->Key + "=" + value) + " is out of range" + RangeText(*found) +
                      "; the default " + Quoted(found->DefaultText) + " is used");
      break;
    }
  }
  return notes;
}

std::string SectionText(std::string_view header, const TrsfList& keys, const TgprReportSettings& settings) {
  std::string text = std::string(header) + "\r\n";
  for (const TgprSettingKey& key : keys.Keys()) {
    const std::string value = keys.TextOf(key, settings);
    if (value != key.DefaultText || key.Kind == TgprSettingKind::DateTime) text += key.Key + "=" + value + "\r\n";
  }
  for (const TgprRptMemo& memo : settings.Memos) {
    if (memo.Text.empty()) continue;
    const std::string name(memo.Name());
    text += "Memo," + name + "=START\r\n" + memo.Text + "\r\nMemo," + name + "=END\r\n";
  }
  return text + "\r\n";
}

std::string ReplaceSection(std::string_view content, std::string_view header, std::string_view sectionText) {
  const std::vector<TgprTextLine> lines = SplitTextLines(content);
  const std::optional<TgprSectionSpan> span = FindSection(lines, header);
  if (span) {
    return JoinTextLines(lines, 0, span->Header) + std::string(sectionText) +
           JoinTextLines(lines, span->End, lines.size());
  }
  std::string text(content);
  if (!text.empty() && text.back() != '\n') text += "\r\n";
  return text + "\r\n" + std::string(sectionText);
}

}  // namespace gpr
