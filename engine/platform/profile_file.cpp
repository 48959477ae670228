// TProfileFile: reads the file into a list of classified lines, looks names up in it, and
// for a write edits that list and writes it back whole. Lines are kept byte for byte, with
// their own endings, except the one line a write replaces.
#include "engine/platform/profile_file.h"

#include "engine/platform/locale_services.h"

#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

namespace quarry {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

enum class TLineKind { Blank, Comment, Section, Key, Other };

// One line of the file. For a section line, name is the section name; for a key line,
// name and value are the trimmed key and the value as read (quotes removed).
struct TProfileLine {
  std::string text;    // the line as stored, without its ending
  std::string ending;  // "\n", "\r\n", or "" for a last line without one
  TLineKind kind = TLineKind::Blank;
  std::string name;
  std::string value;
};

// Only spaces and tabs are trimmed: a name or value with a line-end character is refused
// rather than cut.
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

bool WhollyQuoted(std::string_view s) { return s.size() >= 2 && IsQuote(s.front()) && s.front() == s.back(); }

void Classify(TProfileLine& line, bool firstLine) {
  std::string_view text = line.text;
  if (firstLine && text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    text.remove_prefix(kByteOrderMark.size());
  }
  text = Trim(text);
  if (text.empty()) {
    line.kind = TLineKind::Blank;
  } else if (text.front() == '[') {
    line.kind = TLineKind::Section;
    std::string_view name = text.substr(1);
    if (auto close = name.find(']'); close != std::string_view::npos) name = name.substr(0, close);
    line.name = std::string(Trim(name));
  } else if (text.front() == ';') {
    line.kind = TLineKind::Comment;
  } else if (auto eq = text.find('='); eq != std::string_view::npos) {
    line.kind = TLineKind::Key;
    line.name = std::string(Trim(text.substr(0, eq)));
    std::string_view value = Trim(text.substr(eq + 1));
    if (WhollyQuoted(value)) value = value.substr(1, value.size() - 2);
    line.value = std::string(value);
  } else {
    line.kind = TLineKind::Other;
  }
}

// The file's lines; empty when the file is missing or unreadable.
std::vector<TProfileLine> LoadLines(const std::string& fileName) {
  std::vector<TProfileLine> lines;
  std::string content;
  try {
    std::error_code ec;
    if (std::filesystem::is_directory(fileName, ec)) return lines;
    std::ifstream in(fileName, std::ios::binary);
    if (!in) return lines;
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } catch (const std::exception&) {
    return lines;  // an unreadable file reads as empty, like a missing one
  }
  std::size_t pos = 0;
  while (pos < content.size()) {
    TProfileLine line;
    const std::size_t nl = content.find('\n', pos);
    if (nl == std::string::npos) {
      line.text = content.substr(pos);
      pos = content.size();
    } else {
      line.text = content.substr(pos, nl - pos);
      line.ending = "\n";
      pos = nl + 1;
    }
    if (!line.text.empty() && line.text.back() == '\r' && !line.ending.empty()) {
      line.text.pop_back();
      line.ending = "\r\n";
    }
    Classify(line, lines.empty());
    lines.push_back(std::move(line));
  }
  return lines;
}

// [begin, end) of the lines of the first section with that name (the header excluded).
struct TSectionRange {
  std::size_t header;
  std::size_t begin;
  std::size_t end;
};

std::optional<TSectionRange> FindSection(const std::vector<TProfileLine>& lines, std::string_view section) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind != TLineKind::Section || !SameTextIgnoringCase(lines[i].name, section)) continue;
    std::size_t end = i + 1;
    while (end < lines.size() && lines[end].kind != TLineKind::Section) ++end;
    return TSectionRange{i, i + 1, end};
  }
  return std::nullopt;
}

std::optional<std::size_t> FindKey(const std::vector<TProfileLine>& lines, const TSectionRange& range,
                                   std::string_view key) {
  for (std::size_t i = range.begin; i < range.end; ++i) {
    if (lines[i].kind == TLineKind::Key && SameTextIgnoringCase(lines[i].name, key)) return i;
  }
  return std::nullopt;
}

const TProfileLine* FindValue(const std::vector<TProfileLine>& lines, std::string_view section, std::string_view key) {
  const auto range = FindSection(lines, Trim(section));
  if (!range) return nullptr;
  const auto index = FindKey(lines, *range, Trim(key));
  return index ? &lines[*index] : nullptr;
}

// The line ending new lines get: the file's own when it has CR LF lines, else LF.
std::string NewLineEnding(const std::vector<TProfileLine>& lines) {
  for (const auto& line : lines) {
    if (line.ending == "\r\n") return "\r\n";
  }
  return "\n";
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

std::string CheckedSection(std::string_view section) {
  const std::string_view name = Trim(section);
  if (name.empty() || HasLineBreak(name) || name.find(']') != std::string_view::npos) {
    throw EProfileFileError("Invalid profile section name '" + std::string(section) + "'");
  }
  return std::string(name);
}

std::string CheckedKey(std::string_view key) {
  const std::string_view name = Trim(key);
  if (name.empty() || HasLineBreak(name) || name.find('=') != std::string_view::npos || name.front() == '[' ||
      name.front() == ';') {
    throw EProfileFileError("Invalid profile key name '" + std::string(key) + "'");
  }
  return std::string(name);
}

// The text stored after "=": quoted when reading would otherwise lose outer blanks or quotes.
std::string StoredValue(std::string_view value) {
  if (HasLineBreak(value)) {
    throw EProfileFileError("A profile value cannot hold a line break");
  }
  const bool outerBlank = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()));
  if (outerBlank || WhollyQuoted(value)) return "\"" + std::string(value) + "\"";
  return std::string(value);
}

void WriteAll(std::ostream& out, const std::vector<TProfileLine>& lines) {
  for (const auto& line : lines) out << line.text << line.ending;
}

// Replaces the file with the lines: through a temporary file beside it and a rename, or, when
// no file can be made beside it, in place.
void SaveLines(const std::string& fileName, const std::vector<TProfileLine>& lines) {
  namespace fs = std::filesystem;
  const std::string tempName = fileName + ".~tmp";
  {
    std::ofstream out(tempName, std::ios::binary | std::ios::trunc);
    if (out) {
      WriteAll(out, lines);
      out.close();
      std::error_code ec;
      if (out) {
        // A file that exists keeps its permissions.
        const auto perms = fs::status(fileName, ec).permissions();
        if (!ec && perms != fs::perms::unknown) fs::permissions(tempName, perms, ec);
        ec.clear();
        fs::rename(tempName, fileName, ec);
        if (!ec) return;
      }
      fs::remove(tempName, ec);
    }
  }
  std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
  if (out) {
    WriteAll(out, lines);
    out.close();
    if (out) return;
  }
  throw EProfileFileError("Unable to write to " + fileName);
}

}  // namespace

int ProfileTextToInt(std::string_view text, int defaultValue) {
  std::string_view s = Trim(text);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  } else if (!s.empty() && s.front() == '$') {
    base = 16;
    s.remove_prefix(1);
  }
  if (s.empty()) return defaultValue;
  const std::int64_t limit = negative ? -static_cast<std::int64_t>(INT_MIN) : INT_MAX;
  std::int64_t magnitude = 0;
  for (char c : s) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return defaultValue;
    }
    magnitude = magnitude * base + digit;
    if (magnitude > limit) return defaultValue;
  }
  return static_cast<int>(negative ? -magnitude : magnitude);
}

TProfileFile::TProfileFile(std::string fileName) : fileName_(std::move(fileName)) {}

std::string TProfileFile::ReadString(std::string_view section, std::string_view key,
                                     std::string_view defaultValue) const {
  const auto lines = LoadLines(fileName_);
  const TProfileLine* line = FindValue(lines, section, key);
  return line ? line->value : std::string(defaultValue);
}

int TProfileFile::ReadInteger(std::string_view section, std::string_view key, int defaultValue) const {
  const auto lines = LoadLines(fileName_);
  const TProfileLine* line = FindValue(lines, section, key);
  return line ? ProfileTextToInt(line->value, defaultValue) : defaultValue;
}

bool TProfileFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool TProfileFile::SectionExists(std::string_view section) const {
  return FindSection(LoadLines(fileName_), Trim(section)).has_value();
}

bool TProfileFile::ValueExists(std::string_view section, std::string_view key) const {
  const auto lines = LoadLines(fileName_);
  return FindValue(lines, section, key) != nullptr;
}

std::vector<std::string> TProfileFile::ReadSection(std::string_view section) const {
  std::vector<std::string> keys;
  const auto lines = LoadLines(fileName_);
  const auto range = FindSection(lines, Trim(section));
  if (!range) return keys;
  for (std::size_t i = range->begin; i < range->end; ++i) {
    if (lines[i].kind != TLineKind::Key || FindKey(lines, *range, lines[i].name) != i) continue;
    keys.push_back(lines[i].name);
  }
  return keys;
}

std::vector<std::string> TProfileFile::ReadSections() const {
  std::vector<std::string> sections;
  const auto lines = LoadLines(fileName_);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind == TLineKind::Section && FindSection(lines, lines[i].name)->header == i) {
      sections.push_back(lines[i].name);
    }
  }
  return sections;
}

void TProfileFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  const std::string sectionName = CheckedSection(section);
  const std::string keyName = CheckedKey(key);
  const std::string stored = StoredValue(value);

  auto lines = LoadLines(fileName_);
  const std::string ending = NewLineEnding(lines);
  auto makeLine = [&](std::string text) {
    TProfileLine line;
    line.text = std::move(text);
    line.ending = ending;
    return line;
  };

  if (const auto range = FindSection(lines, sectionName)) {
    if (const auto index = FindKey(lines, *range, keyName)) {
      // Keep the key as spelled in the file; only its value changes.
      TProfileLine& line = lines[*index];
      line.text = line.name + "=" + stored;
      if (line.ending.empty()) line.ending = ending;
    } else {
      std::size_t at = range->end;
      while (at > range->begin && lines[at - 1].kind == TLineKind::Blank) --at;
      if (at > 0 && lines[at - 1].ending.empty()) lines[at - 1].ending = ending;
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), makeLine(keyName + "=" + stored));
    }
  } else {
    if (!lines.empty()) {
      if (lines.back().ending.empty()) lines.back().ending = ending;
      if (lines.back().kind != TLineKind::Blank) lines.push_back(makeLine(""));
    }
    lines.push_back(makeLine("[" + sectionName + "]"));
    lines.push_back(makeLine(keyName + "=" + stored));
  }
  SaveLines(fileName_, lines);
}

void TProfileFile::WriteInteger(std::string_view section, std::string_view key, int value) {
  WriteString(section, key, std::to_string(value));
}

void TProfileFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void TProfileFile::DeleteKey(std::string_view section, std::string_view key) {
  auto lines = LoadLines(fileName_);
  const auto range = FindSection(lines, Trim(section));
  if (!range) return;
  const auto index = FindKey(lines, *range, Trim(key));
  if (!index) return;
  lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(*index));
  SaveLines(fileName_, lines);
}

void TProfileFile::EraseSection(std::string_view section) {
  auto lines = LoadLines(fileName_);
  const auto range = FindSection(lines, Trim(section));
  if (!range) return;
  lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(range->header),
              lines.begin() + static_cast<std::ptrdiff_t>(range->end));
  SaveLines(fileName_, lines);
}

}  // namespace quarry
