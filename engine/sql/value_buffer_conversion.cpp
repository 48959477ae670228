// The conversion of INSERT and UPDATE values; see value_buffer_conversion.h.
#include "engine/sql/value_buffer_conversion.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/values/date_time_text.h"
#include "engine/values/value_ops.h"

namespace quarry {

namespace {

constexpr uint32_t Bit(uint8_t type) { return uint32_t{1} << type; }

constexpr uint32_t kIntegers = Bit(vt::SmallInt) | Bit(vt::Integer) | Bit(vt::Word) | Bit(vt::LargeInt);
constexpr uint32_t kBytes = Bit(vt::Bytes) | Bit(vt::VarBytes);
constexpr uint32_t kAllButBlob = Bit(vt::String) | Bit(vt::Date) | Bit(vt::Boolean) | kIntegers | Bit(vt::Float) |
                                 Bit(vt::Bcd) | kBytes | Bit(vt::Time) | Bit(vt::Timestamp);

// The column types a value of each type converts to.
uint32_t Targets(uint8_t from) {
  switch (from) {
  case vt::String: return kAllButBlob;
  case vt::Date:
  case vt::Time: return Bit(vt::String) | kBytes | Bit(vt::Timestamp);
  case vt::Timestamp: return Bit(vt::String) | Bit(vt::Date) | Bit(vt::Time) | kBytes;
  case vt::Boolean: return Bit(vt::String) | kIntegers | Bit(vt::Bcd) | kBytes;
  case vt::SmallInt:
  case vt::Word: return Bit(vt::String) | Bit(vt::Boolean) | kIntegers | Bit(vt::Float) | Bit(vt::Bcd) | kBytes;
  case vt::Integer:
  case vt::LargeInt:
  case vt::Float:
  case vt::Bcd: return Bit(vt::String) | kIntegers | Bit(vt::Float) | Bit(vt::Bcd) | kBytes;
  case vt::Bytes:
  case vt::VarBytes: return kAllButBlob;
  default: return 0;
  }
}

// The largest magnitude a BCD column takes: its values go through fixed point with four
// decimals in a 64-bit integer.
constexpr double kLargestFixed = static_cast<double>(std::numeric_limits<int64_t>::max() / kFixedScale);

bool FitsFixedPoint(const TExpToken& value) {
  switch (value.DataType) {
  case vt::Float: {
    const double d = value.Get<double>();
    return std::isfinite(d) && std::fabs(d) <= kLargestFixed;
  }
  case vt::String: {
    double d = 0;
    return ParseFloatText(value.GetString(), d) && std::isfinite(d) && std::fabs(d) <= kLargestFixed;
  }
  case vt::SmallInt:
  case vt::Integer:
  case vt::Word:
  case vt::LargeInt:
  case vt::Boolean: {
    const int64_t v = ValueAsInt64(value);
    return v <= std::numeric_limits<int64_t>::max() / kFixedScale &&
           v >= std::numeric_limits<int64_t>::min() / kFixedScale;
  }
  default: return true;
  }
}

}  // namespace

bool ConversionAllowed(uint8_t from, uint8_t to) {
  if (from == to) return true;
  if (to >= 32) return false;
  return (Targets(from) & Bit(to)) != 0;
}

bool ConvertValueBuffer(const TExpToken& value, TExpToken& target) {
  if (value.IsNull || value.DataType == vt::Unknown) {
    SetNullValue(target);
    return true;
  }
  if (value.DataType == vt::Blob && target.DataType != vt::Blob) {
    // Nothing to convert: the column takes the value's bytes (a memo's text) as they are.
    if (target.DataType == vt::String) {
      StoreText(target, ValueAsText(value));
      return true;
    }
    TExpToken bytes;
    bytes.SetType(vt::Bytes, st::None, value.ValueSize);
    std::copy(value.Value.begin(), value.Value.begin() + value.ValueSize, bytes.Value.begin());
    bytes.IsNull = false;
    return ConvertValue(bytes, target);
  }
  if (value.DataType != vt::Blob &&
      (!ConversionAllowed(value.DataType, target.DataType) || (target.DataType == vt::Bcd && !FitsFixedPoint(value)))) {
    target.IsNull = false;
    target.ZeroValue();
    return false;
  }
  return ConvertValue(value, target);
}

}  // namespace quarry
