// Query parameters: scanning ":name" marks, values, and the engine binding block
// (see quarry_params.h).
#include "dbaccess/quarry_params.h"

#include <cctype>
#include <cstring>

#include "dbaccess/access_messages.h"
#include "dbaccess/name_compare.h"

namespace quarry {

namespace {

constexpr std::size_t MaxParamNameLength = 30;
constexpr std::size_t LongestStringParam = 250;

TDataFieldType TypeOfValue(const TDataValue& value) {
  if (auto* i = std::get_if<std::int64_t>(&value)) {
    return (*i < INT32_MIN || *i > INT32_MAX) ? TDataFieldType::ftLargeint : TDataFieldType::ftInteger;
  }
  if (std::holds_alternative<double>(value)) return TDataFieldType::ftFloat;
  if (std::holds_alternative<bool>(value)) return TDataFieldType::ftBoolean;
  if (std::holds_alternative<std::string>(value)) return TDataFieldType::ftString;
  return TDataFieldType::ftUnknown;
}

// Storage size of a fixed-size engine type.
int FixedSize(TFieldType type) {
  switch (type) {
  case TFieldType::Date:
  case TFieldType::Integer:
  case TFieldType::Time:
  case TFieldType::Cardinal: return 4;
  case TFieldType::Boolean:
  case TFieldType::SmallInt:
  case TFieldType::Word: return 2;
  case TFieldType::Float:
  case TFieldType::TimeStamp:
  case TFieldType::LargeInt: return 8;
  case TFieldType::Bcd: return BcdStorageSize;
  default: return 0;
  }
}

}  // namespace

void TQuarryParam::SetValue(const TDataValue& value) {
  value_ = value;
  bound_ = true;
  if (dataType_ == TDataFieldType::ftUnknown) dataType_ = TypeOfValue(value);
}

void TQuarryParam::AssignFromField(const TQuarryField& field) {
  value_ = field.Value();
  dataType_ = field.DataType();
}

TQuarryParam& TQuarryParams::Items(int index) {
  if (index < 0 || index >= Count()) msg::Raise(msg::FieldIndexRange);
  return items_[static_cast<std::size_t>(index)];
}

TQuarryParam* TQuarryParams::FindParam(std::string_view name) {
  for (TQuarryParam& param : items_) {
    if (SameName(param.Name(), name)) return &param;
  }
  return nullptr;
}

TQuarryParam& TQuarryParams::ParamByName(std::string_view name) {
  TQuarryParam* param = FindParam(name);
  if (param == nullptr) msg::Raise(msg::ParameterNotFound, name);
  return *param;
}

void TQuarryParams::AssignValues(const TQuarryParams& old) {
  for (TQuarryParam& param : items_) {
    for (const TQuarryParam& before : old.items_) {
      if (SameName(before.Name(), param.Name())) {
        param = before;
        break;
      }
    }
  }
}

TQuarryParams::TBinding TQuarryParams::Bind() const {
  TBinding binding;
  binding.Blobs.reserve(items_.size());
  for (const TQuarryParam& param : items_) {
    if (param.DataType() == TDataFieldType::ftUnknown) {
      msg::Raise(msg::NoParameterValue, param.Name().substr(0, MaxParamNameLength));
    }
    TDataValue value = param.Value();
    TDataFieldType type = param.DataType();
    if (auto* text = std::get_if<std::string>(&value)) {
      // Trailing blanks go; a text left empty is no value.
      std::size_t end = text->find_last_not_of(' ');
      text->erase(end == std::string::npos ? 0 : end + 1);
      if (text->empty() && !IsBlobType(type)) value = std::monostate{};
    }
    TParameterDescriptor descriptor;
    descriptor.Offset = static_cast<std::uint32_t>(binding.Data.size());
    const bool hasValue = !IsNullValue(value);
    std::string text = hasValue ? ValueText(value) : std::string();
    const bool asBlob =
        IsBlobType(type) ||
        ((type == TDataFieldType::ftString || type == TDataFieldType::ftFixedChar) && text.size() > LongestStringParam);
    if (asBlob) {
      descriptor.DataType = static_cast<std::uint8_t>(TFieldType::Blob);
      descriptor.SubType =
          type == TDataFieldType::ftBlob || type == TDataFieldType::ftGraphic || type == TDataFieldType::ftTypedBinary
              ? subtype::Binary
              : subtype::Memo;
      descriptor.Size = 8;
      binding.Blobs.push_back(text);
      const std::string& bytes = binding.Blobs.back();
      std::uint8_t slot[1 + 4 + sizeof(const char*)] = {};
      slot[0] = hasValue ? 1 : 0;
      std::uint32_t length = static_cast<std::uint32_t>(bytes.size());
      std::memcpy(slot + 1, &length, 4);
      const char* pointer = bytes.data();
      std::memcpy(slot + 5, &pointer, sizeof pointer);
      binding.Data.insert(binding.Data.end(), slot, slot + sizeof slot);
    } else {
      TFieldDefinition def;
      def.Name = param.Name();
      TFieldType engine = TFieldType::String;
      std::uint8_t sub = subtype::None;
      switch (type) {
      case TDataFieldType::ftString: engine = TFieldType::String; break;
      case TDataFieldType::ftFixedChar:
        engine = TFieldType::String;
        sub = subtype::FixedLength;
        break;
      case TDataFieldType::ftDate: engine = TFieldType::Date; break;
      case TDataFieldType::ftTime: engine = TFieldType::Time; break;
      case TDataFieldType::ftDateTime: engine = TFieldType::TimeStamp; break;
      case TDataFieldType::ftBoolean: engine = TFieldType::Boolean; break;
      case TDataFieldType::ftSmallint: engine = TFieldType::SmallInt; break;
      case TDataFieldType::ftWord: engine = TFieldType::Word; break;
      case TDataFieldType::ftInteger:
      case TDataFieldType::ftAutoInc: engine = TFieldType::Integer; break;
      case TDataFieldType::ftLargeint: engine = TFieldType::LargeInt; break;
      case TDataFieldType::ftFloat: engine = TFieldType::Float; break;
      case TDataFieldType::ftCurrency:
        engine = TFieldType::Float;
        sub = subtype::Money;
        break;
      case TDataFieldType::ftBCD: engine = TFieldType::Bcd; break;
      case TDataFieldType::ftBytes: engine = TFieldType::Bytes; break;
      case TDataFieldType::ftVarBytes: engine = TFieldType::VarBytes; break;
      default: engine = TFieldType::String; break;
      }
      def.DataType = engine;
      def.SubType = sub;
      int size = FixedSize(engine);
      if (engine == TFieldType::String) {
        def.Size = static_cast<std::uint8_t>(text.size());
        size = static_cast<int>(text.size()) + 1;
      } else if (engine == TFieldType::Bytes || engine == TFieldType::VarBytes) {
        def.Size = static_cast<std::uint8_t>(std::min<std::size_t>(text.size(), MaxDeclaredSize));
        size = def.Size;
      }
      def.ValueSize = static_cast<std::uint8_t>(size);
      def.Offset = 0;
      descriptor.DataType = static_cast<std::uint8_t>(engine);
      descriptor.SubType = sub;
      descriptor.Size = size;
      std::vector<std::uint8_t> slot(static_cast<std::size_t>(size) + 1, 0);
      if (hasValue) EncodeFieldValue(slot.data(), def, value);
      binding.Data.insert(binding.Data.end(), slot.begin(), slot.end());
    }
    binding.Descriptors.push_back(descriptor);
  }
  return binding;
}

std::vector<std::string> ScanParameters(std::string_view text, std::string& marked) {
  std::vector<std::string> names;
  marked.clear();
  marked.reserve(text.size());
  char quote = 0;
  auto isNameChar = [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || static_cast<unsigned char>(c) >= 128;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (quote != 0) {
      marked += c;
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"' || c == '[') {
      quote = c == '[' ? ']' : c;
      marked += c;
      continue;
    }
    if (c == ':' && i + 1 < text.size() && text[i + 1] == ':') {
      marked += ':';
      ++i;
      continue;
    }
    if (c == ':' && i + 1 < text.size() && isNameChar(text[i + 1])) {
      std::size_t end = i + 1;
      while (end < text.size() && isNameChar(text[end])) ++end;
      names.emplace_back(text.substr(i + 1, end - i - 1));
      marked += '?';
      i = end - 1;
      continue;
    }
    marked += c;
  }
  return names;
}

}  // namespace quarry
