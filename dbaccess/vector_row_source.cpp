// Row source over rows held in memory; see vector_row_source.h.
#include "dbaccess/vector_row_source.h"

#include "dbaccess/access_messages.h"
#include "dbaccess/dataset_error.h"

#include <charconv>

namespace quarry {

int32_t ParseIntegerText(const std::string& text) {
  size_t begin = text.find_first_not_of(' ');
  size_t end = text.find_last_not_of(' ');
  int32_t value = 0;
  if (begin != std::string::npos) {
    const char* first = text.data() + begin;
    const char* last = text.data() + end + 1;
    if (*first == '+' && last - first > 1) ++first;  // from_chars takes no plus sign
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec == std::errc() && ptr == last) return value;
  }
  msg::Raise(msg::InvalidInteger, text);
}

TVectorRowSource::TVectorRowSource(std::vector<TResultFieldDef> fields) : fields_(std::move(fields)) {}

void TVectorRowSource::AddRow(TSourceRow row) {
  if (row.size() != fields_.size())
    msg::Raise(msg::RowValueCount, std::to_string(row.size()), std::to_string(fields_.size()));
  rows_.push_back(std::move(row));
}

void TVectorRowSource::First() {
  pos_ = 0;
  CheckFailure();
}

void TVectorRowSource::Next() {
  if (pos_ < rows_.size()) ++pos_;
  CheckFailure();
}

void TVectorRowSource::CheckFailure() const {
  if (fail_at_ >= 0 && pos_ == static_cast<size_t>(fail_at_)) msg::Raise(msg::RowReadFailed, std::to_string(fail_at_));
}

const TSourceValue& TVectorRowSource::Value(int field) const {
  if (Eof()) msg::Raise(msg::NoCurrentRecord);
  if (field < 0 || static_cast<size_t>(field) >= fields_.size()) msg::Raise(msg::FieldIndexRange);
  return rows_[pos_][static_cast<size_t>(field)];
}

bool TVectorRowSource::IsNull(int field) const { return !Value(field).has_value(); }

std::string TVectorRowSource::AsString(int field) const { return Value(field).value_or(std::string()); }

int32_t TVectorRowSource::AsInteger(int field) const {
  const TSourceValue& value = Value(field);
  return value ? ParseIntegerText(*value) : 0;
}

}  // namespace quarry
