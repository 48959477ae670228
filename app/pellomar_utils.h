// Small text routines of the catalogue application that need no window: year and count
// texts, the file name of the settings file, and the quoting of texts put into statements.
// Texts are UTF-8 throughout.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "engine/platform/text_names.h"

// Raised when a text that must be an integer is not one.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Shows one message to the user (an information box in the window; tests record it).
using TShowMessage = std::function<void(const std::string&)>;

// The decimal integer a text holds (optional sign, digits only, no blanks, in the range of
// int); raises EConvertError "'<text>' is not a valid integer value" otherwise.
int StrToInt(std::string_view text);

// The text without leading and trailing blanks and control characters.
using quarry::TrimText;

// The number of characters of a UTF-8 text (not of bytes).
std::size_t TextLength(std::string_view text);

// A two-digit year as four digits: above "10" in the 1900s, otherwise in the 2000s ("11" gives
// "1911", "10" gives "2010", "00" gives "2000"). A text that is not two digits shows
// "Bogus year: <text>" through showMessage and gives the empty text.
std::string ExpandTwoDigitYear(std::string_view text, const TShowMessage& showMessage);

// The decimal text of value with separator between every group of three digits counted from
// the right, and a leading "-" for a negative value: (1234567, ',') gives "1,234,567".
std::string FormatThousands(std::int64_t value, char separator);

// The text of the count label for a result of count rows.
std::string ResultsCountText(std::int64_t count);

// Whether a statement text holds the keyword text "WHERE" (a plain, case-sensitive search).
bool ContainsWhere(std::string_view statement);

// A text as a string literal of the statements the program sends: between double quotes, each
// double quote inside doubled, so that any name or year stands for itself.
std::string QuotedLiteral(std::string_view text);

// path with the extension of its file name replaced by ext (which includes its dot); a file
// name without an extension gets ext appended: ("/opt/bin/Pellomar", ".INI") gives
// "/opt/bin/Pellomar.INI".
std::string ChangeFileExt(std::string_view path, std::string_view ext);
