// Text routines of the catalogue application; see pellomar_utils.h.
#include "app/pellomar_utils.h"

#include <climits>

int StrToInt(std::string_view text) {
  std::string_view digits = text;
  bool negative = false;
  if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  const std::int64_t limit = negative ? -static_cast<std::int64_t>(INT_MIN) : INT_MAX;
  std::int64_t magnitude = 0;
  bool valid = !digits.empty();
  for (char c : digits) {
    if (c < '0' || c > '9') {
      valid = false;
      break;
    }
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > limit) {
      valid = false;
      break;
    }
  }
  if (!valid) throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
  return static_cast<int>(negative ? -magnitude : magnitude);
}

std::size_t TextLength(std::string_view text) {
  std::size_t count = 0;
  for (char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;  // not a continuation byte
  }
  return count;
}

std::string ExpandTwoDigitYear(std::string_view text, const TShowMessage& showMessage) {
  // Only two plain digits make a year: a sign or any other character would give a "year"
  // such as "20-5".
  const bool twoDigits = text.size() == 2 && text[0] >= '0' && text[0] <= '9' && text[1] >= '0' && text[1] <= '9';
  if (!twoDigits) {
    if (showMessage) showMessage("Bogus year: " + std::string(text));
    return {};
  }
  const int value = (text[0] - '0') * 10 + (text[1] - '0');
  return (value > 10 ? "19" : "20") + std::string(text);
}

std::string FormatThousands(std::int64_t value, char separator) {
  // The magnitude as unsigned, so that the most negative value has one too.
  std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  const std::string digits = std::to_string(magnitude);
  std::string result = value < 0 ? "-" : "";
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) result += separator;
    result += digits[i];
  }
  return result;
}

std::string ResultsCountText(std::int64_t count) {
  if (count <= 0) return "No matches found";
  if (count == 1) return "1 matching record found";
  return FormatThousands(count, ',') + " videos found";
}

bool ContainsWhere(std::string_view statement) { return statement.find("WHERE") != std::string_view::npos; }

std::string QuotedLiteral(std::string_view text) {
  std::string literal = "\"";
  for (char c : text) {
    if (c == '"') literal += '"';
    literal += c;
  }
  literal += '"';
  return literal;
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  const std::size_t nameStart = path.find_last_of('/') == std::string_view::npos ? 0 : path.find_last_of('/') + 1;
  const std::size_t dot = path.find_last_of('.');
  if (dot != std::string_view::npos && dot > nameStart) path = path.substr(0, dot);
  return std::string(path) + std::string(ext);
}
