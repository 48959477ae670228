// Checks and conversion of the minimum, maximum and default texts kept in field definitions.
//
// A table's header verification asks whether each such text is a valid value of its
// field's type. The SQL layer may supply its own conversion rules through
// TValueTextValidator; IsValidValueText is the data file's built-in rule set, independent of
// the user's locale: numbers with "." as decimal separator within the type's range, booleans
// TRUE/FALSE, dates yyyy-mm-dd, times hh:mm[:ss[.zzz]] with optional AM/PM, timestamps
// "date time", CURRENT_DATE / CURRENT_TIME / CURRENT_TIMESTAMP for their types, strings no
// longer than the declared size. BLOB and byte fields accept any text.
#pragma once

#include <functional>
#include <string_view>

#include "engine/platform/environment.h"
#include "engine/storage/data/field_definition.h"
#include "engine/values/exp_token.h"

namespace quarry {

using TValueTextValidator = std::function<bool(const TFieldDefinition& field, std::string_view text)>;

bool IsValidValueText(const TFieldDefinition& field, std::string_view text);

// Converts a value text into `target`, whose type, size and scale the caller has set.
// CURRENT_DATE, CURRENT_TIME and CURRENT_TIMESTAMP take their value from `now`; one that
// does not fit the type (CURRENT_TIME for a date, CURRENT_DATE for a time) fails. False when
// the text is not a value of the type.
bool ConvertValueText(std::string_view text, const TLocalTime& now, TExpToken& target);

}  // namespace quarry
