// Reading, storing and converting the values of expression nodes.
#include "engine/values/value_ops.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/values/bcd.h"
#include "engine/values/date_time_text.h"

namespace quarry {

bool IsIntegerType(uint8_t t) { return t == vt::SmallInt || t == vt::Integer || t == vt::Word || t == vt::LargeInt; }
bool IsShortIntType(uint8_t t) { return t == vt::SmallInt || t == vt::Integer || t == vt::Word; }
bool IsNumericType(uint8_t t) { return IsIntegerType(t) || t == vt::Float || t == vt::Bcd; }
bool IsDateLikeType(uint8_t t) { return t == vt::Date || t == vt::Time || t == vt::Timestamp; }
bool IsBytesType(uint8_t t) { return t == vt::Bytes || t == vt::VarBytes; }
bool IsStringLikeType(uint8_t t, uint8_t s) { return t == vt::String || (t == vt::Blob && s == st::Memo); }

int32_t FixedSizeOfType(uint8_t t) {
  switch (t) {
  case vt::Date:
  case vt::Integer:
  case vt::Time: return 4;
  case vt::Boolean:
  case vt::SmallInt:
  case vt::Word: return 2;
  case vt::Float:
  case vt::Timestamp:
  case vt::LargeInt:
  case vt::Blob: return 8;
  case vt::Bcd: return 34;
  default: return 0;
  }
}

namespace {

int64_t TruncToInt64(double d) {
  if (std::isnan(d)) return 0;
  if (d >= 9.2e18) return std::numeric_limits<int64_t>::max();
  if (d <= -9.2e18) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(std::trunc(d));
}

int64_t RoundToInt64(double d) {
  if (std::isnan(d)) return 0;
  if (d >= 9.2e18) return std::numeric_limits<int64_t>::max();
  if (d <= -9.2e18) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(std::llround(d));
}

int64_t SaturatingMul(int64_t a, int64_t b) {
  int64_t r;
  if (__builtin_mul_overflow(a, b, &r))
    return (a < 0) != (b < 0) ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
  return r;
}

std::string FixedToText(int64_t fixed, int scale) {
  if (scale > 4) scale = 4;
  const bool negative = fixed < 0;
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(fixed) : static_cast<uint64_t>(fixed);
  uint64_t whole = magnitude / kFixedScale;
  uint64_t frac = magnitude % kFixedScale;
  std::string out = std::to_string(whole);
  if (scale > 0) {
    static const uint64_t div[] = {10000, 1000, 100, 10, 1};
    std::string digits = std::to_string(frac / div[scale] + 100000).substr(6 - scale);
    out += "." + digits;
  }
  return negative && magnitude != 0 ? "-" + out : out;
}

void StoreBytes(TExpToken& n, const std::string& bytes) {
  n.IsNull = false;
  n.ZeroValue();
  if (n.ValueSize <= 0 || n.DataType == vt::Blob) n.SetValueSize(static_cast<int32_t>(bytes.size()));
  n.ZeroValue();
  const std::size_t count = std::min<std::size_t>(bytes.size(), static_cast<std::size_t>(n.ValueSize));
  std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count), n.Value.begin());
}

void StoreZero(TExpToken& n) {
  n.IsNull = false;
  n.ZeroValue();
  if (n.DataType == vt::Date) n.Put<int32_t>(ZeroDateDayNumber());
  else if (n.DataType == vt::Timestamp) n.Put<double>(MakeTimestamp(ZeroDateDayNumber(), 0));
  else if (n.DataType == vt::Bcd) FixedToBcd(0, n.Scale).ToBytes(n.Value.data());
}

// Cuts text to fit a string value of the given size (size - 1 bytes, whole characters).
std::string FitText(const std::string& text, int32_t size) {
  if (size <= 0 || text.size() < static_cast<std::size_t>(size)) return text;
  std::size_t cut = static_cast<std::size_t>(size - 1);
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut);
}

}  // namespace

int64_t ValueAsInt64(const TExpToken& n) {
  switch (n.DataType) {
  case vt::Boolean: return n.Get<uint16_t>() != 0 ? 1 : 0;
  case vt::SmallInt: return n.Get<int16_t>();
  case vt::Word: return n.Get<uint16_t>();
  case vt::Integer:
  case vt::Date:
  case vt::Time: return n.Get<int32_t>();
  case vt::LargeInt: return n.Get<int64_t>();
  case vt::Float:
  case vt::Timestamp: return TruncToInt64(n.Get<double>());
  case vt::Bcd: return ValueAsFixed(n) / kFixedScale;
  case vt::String: {
    const std::string text = n.GetString();
    int64_t v = 0;
    if (ParseInt64Text(text, v)) return v;
    double d = 0;
    return ParseFloatText(text, d) ? TruncToInt64(d) : 0;
  }
  default: return 0;
  }
}

double ValueAsDouble(const TExpToken& n) {
  switch (n.DataType) {
  case vt::Float:
  case vt::Timestamp: return n.Get<double>();
  case vt::Bcd: return static_cast<double>(ValueAsFixed(n)) / kFixedScale;
  case vt::String: {
    double d = 0;
    return ParseFloatText(n.GetString(), d) ? d : 0.0;
  }
  default: return static_cast<double>(ValueAsInt64(n));
  }
}

int64_t ValueAsFixed(const TExpToken& n) {
  switch (n.DataType) {
  case vt::Bcd: return BcdToFixed(TBcd::FromBytes(n.Value.data()));
  case vt::Float:
  case vt::Timestamp:
  case vt::String: return RoundToInt64(ValueAsDouble(n) * kFixedScale);
  default: return SaturatingMul(ValueAsInt64(n), kFixedScale);
  }
}

bool ValueAsBoolean(const TExpToken& n) {
  if (n.IsNull) return false;
  switch (n.DataType) {
  case vt::Float:
  case vt::Timestamp: return n.Get<double>() != 0.0;
  case vt::Bcd: return ValueAsFixed(n) != 0;
  case vt::String: return !n.GetString().empty();
  default: return ValueAsInt64(n) != 0;
  }
}

std::string ValueAsText(const TExpToken& n) {
  switch (n.DataType) {
  case vt::String: return n.GetString();
  case vt::Date: return FormatDate(n.Get<int32_t>());
  case vt::Time: return FormatTime(n.Get<int32_t>());
  case vt::Timestamp: return FormatTimestamp(n.Get<double>());
  case vt::Boolean: return FormatBoolean(n.Get<uint16_t>() != 0);
  case vt::Float: return FormatFloat(n.Get<double>());
  case vt::Bcd: return FixedToText(ValueAsFixed(n), n.Scale);
  case vt::SmallInt:
  case vt::Word:
  case vt::Integer:
  case vt::LargeInt: return std::to_string(ValueAsInt64(n));
  case vt::Blob:
    if (n.SubType == st::Memo || n.SubType == st::FormattedMemo) return n.GetString();
    return ValueBytes(n);
  default: return ValueBytes(n);
  }
}

std::string ValueBytes(const TExpToken& n) {
  if (n.DataType == vt::String || (n.DataType == vt::Blob && n.SubType == st::Memo)) return n.GetString();
  const std::size_t size = std::min<std::size_t>(static_cast<std::size_t>(std::max(n.ValueSize, 0)), n.Value.size());
  return std::string(n.Value.begin(), n.Value.begin() + static_cast<std::ptrdiff_t>(size));
}

void SetNullValue(TExpToken& n) {
  n.IsNull = true;
  n.ZeroValue();
}

void StoreInt64(TExpToken& n, int64_t v) {
  n.IsNull = false;
  switch (n.DataType) {
  case vt::Boolean:
    n.ZeroValue();
    n.Put<uint16_t>(v != 0 ? 1 : 0);
    break;
  case vt::SmallInt:
    n.ZeroValue();
    n.Put<int16_t>(static_cast<int16_t>(v));
    break;
  case vt::Word:
    n.ZeroValue();
    n.Put<uint16_t>(static_cast<uint16_t>(v));
    break;
  case vt::Integer:
  case vt::Date:
  case vt::Time:
    n.ZeroValue();
    n.Put<int32_t>(static_cast<int32_t>(v));
    break;
  case vt::LargeInt:
    n.ZeroValue();
    n.Put<int64_t>(v);
    break;
  case vt::Float:
  case vt::Timestamp:
    n.ZeroValue();
    n.Put<double>(static_cast<double>(v));
    break;
  case vt::Bcd: StoreFixed(n, SaturatingMul(v, kFixedScale)); break;
  case vt::String: StoreText(n, std::to_string(v)); break;
  default:
    n.ZeroValue();
    n.Put<int64_t>(v);
    break;
  }
}

void StoreDouble(TExpToken& n, double v) {
  switch (n.DataType) {
  case vt::Float:
  case vt::Timestamp:
    n.IsNull = false;
    n.ZeroValue();
    n.Put<double>(v);
    break;
  case vt::Bcd: StoreFixed(n, RoundToInt64(v * kFixedScale)); break;
  case vt::Boolean: StoreInt64(n, v != 0.0 ? 1 : 0); break;
  case vt::String: StoreText(n, FormatFloat(v)); break;
  default: StoreInt64(n, TruncToInt64(v)); break;
  }
}

void StoreFixed(TExpToken& n, int64_t fixed) {
  switch (n.DataType) {
  case vt::Bcd:
    n.IsNull = false;
    if (n.ValueSize < 34) n.SetValueSize(34);
    n.ZeroValue();
    FixedToBcd(fixed, n.Scale).ToBytes(n.Value.data());
    break;
  case vt::Float:
  case vt::Timestamp: StoreDouble(n, static_cast<double>(fixed) / kFixedScale); break;
  case vt::String: StoreText(n, FixedToText(fixed, n.Scale)); break;
  default: StoreInt64(n, fixed / kFixedScale); break;
  }
}

void StoreBoolean(TExpToken& n, bool value) {
  n.IsNull = false;
  n.ZeroValue();
  n.Put<uint16_t>(value ? 1 : 0);
}

void StoreText(TExpToken& n, const std::string& text) {
  n.IsNull = false;
  n.PutString(text);
}

bool ConvertValue(const TExpToken& source, TExpToken& target) {
  if (source.IsNull || source.DataType == vt::Unknown) {
    SetNullValue(target);
    return true;
  }
  const uint8_t T = target.DataType, S = source.DataType;
  if (T == vt::Blob || S == vt::Blob) {
    const std::string bytes = S == vt::String ? source.GetString() : ValueBytes(source);
    if (T == vt::String) {
      StoreText(target, FitText(bytes.substr(0, bytes.find('\0')), target.ValueSize));
    } else if (T == vt::Blob) {
      target.IsNull = false;
      const bool memo = target.SubType == st::Memo || target.SubType == st::FormattedMemo;
      target.SetValueSize(static_cast<int32_t>(bytes.size()) + (memo ? 1 : 0));
      target.ZeroValue();
      std::copy(bytes.begin(), bytes.end(), target.Value.begin());
    } else {
      StoreBytes(target, bytes);
    }
    return true;
  }
  if (T == vt::String) {
    std::string text = IsBytesType(S) ? ValueBytes(source) : ValueAsText(source);
    text = text.substr(0, text.find('\0'));
    StoreText(target, FitText(text, target.ValueSize));
    return true;
  }
  if (S == vt::String) {
    const std::string text = source.GetString();
    bool ok = true;
    switch (T) {
    case vt::Date: {
      int32_t day = 0;
      double ts = 0;
      if (ParseDateText(text, day)) StoreInt64(target, day);
      else if (ParseTimestampText(text, ts)) {
        int64_t d;
        int32_t ms;
        SplitTimestamp(ts, d, ms);
        StoreInt64(target, d);
      } else ok = false;
      break;
    }
    case vt::Time: {
      int32_t ms = 0;
      double ts = 0;
      if (ParseTimeText(text, ms)) StoreInt64(target, ms);
      else if (ParseTimestampText(text, ts)) {
        int64_t d;
        SplitTimestamp(ts, d, ms);
        StoreInt64(target, ms);
      } else ok = false;
      break;
    }
    case vt::Timestamp: {
      double ts = 0;
      if (ParseTimestampText(text, ts)) StoreDouble(target, ts);
      else ok = false;
      break;
    }
    case vt::Boolean: {
      bool b = false;
      if (ParseBooleanText(text, b)) StoreBoolean(target, b);
      else ok = false;
      break;
    }
    case vt::SmallInt:
    case vt::Integer:
    case vt::Word:
    case vt::LargeInt: {
      int64_t v = 0;
      double d = 0;
      if (ParseInt64Text(text, v)) StoreInt64(target, v);
      else if (ParseFloatText(text, d)) StoreInt64(target, TruncToInt64(d));
      else ok = false;
      break;
    }
    case vt::Float:
    case vt::Bcd: {
      double d = 0;
      if (ParseFloatText(text, d)) StoreDouble(target, d);
      else ok = false;
      break;
    }
    case vt::Bytes:
    case vt::VarBytes: StoreBytes(target, text); break;
    default: ok = false; break;
    }
    if (!ok) StoreZero(target);
    return ok;
  }
  if (IsBytesType(S) || IsBytesType(T)) {
    StoreBytes(target, ValueBytes(source));
    return true;
  }
  switch (T) {
  case vt::Date:
    if (S == vt::Timestamp) {
      int64_t d;
      int32_t ms;
      SplitTimestamp(source.Get<double>(), d, ms);
      StoreInt64(target, d);
    } else {
      StoreInt64(target, ValueAsInt64(source));
    }
    return true;
  case vt::Time:
    if (S == vt::Timestamp) {
      int64_t d;
      int32_t ms;
      SplitTimestamp(source.Get<double>(), d, ms);
      StoreInt64(target, ms);
    } else {
      StoreInt64(target, ValueAsInt64(source));
    }
    return true;
  case vt::Timestamp:
    if (S == vt::Date) StoreDouble(target, MakeTimestamp(source.Get<int32_t>(), 0));
    else if (S == vt::Time) StoreDouble(target, MakeTimestamp(ZeroDateDayNumber(), source.Get<int32_t>()));
    else StoreDouble(target, ValueAsDouble(source));
    return true;
  case vt::Boolean: StoreBoolean(target, ValueAsBoolean(source)); return true;
  case vt::Float: StoreDouble(target, ValueAsDouble(source)); return true;
  case vt::Bcd: StoreFixed(target, ValueAsFixed(source)); return true;
  default:
    if (IsIntegerType(T)) {
      StoreInt64(target, S == vt::Bcd ? ValueAsFixed(source) / kFixedScale : ValueAsInt64(source));
      return true;
    }
    StoreZero(target);
    return false;
  }
}

std::size_t Utf8Length(const std::string& text) {
  std::size_t count = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++count;
  return count;
}

std::string Utf8Left(const std::string& text, std::size_t characters) {
  std::size_t i = 0, seen = 0;
  while (i < text.size()) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (seen == characters) break;
      ++seen;
    }
    ++i;
  }
  return text.substr(0, i);
}

}  // namespace quarry
