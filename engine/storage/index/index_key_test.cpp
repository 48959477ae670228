// Tests of key construction and key comparison: every type's keys sort in the order of its
// values, nulls first (last when descending), descending and case-insensitive fields, and
// ordering by a locale against byte order.
#include "engine/storage/index/index_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <numeric>
#include <vector>

#include "engine/storage/data/record_buffer.h"
#include "engine/storage/index/index_test_util.h"

namespace quarry {
namespace {

using testing::RaisedCode;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t German = 1031;

TFieldDefinition MakeField(std::uint16_t no, TFieldType type, std::uint8_t size = 0, std::uint8_t scale = 0,
                           std::uint8_t subtype = 0) {
  TFieldDefinition f;
  f.FieldNo = no;
  f.Name = "F" + std::to_string(no);
  f.DataType = type;
  f.Size = size;
  f.Scale = scale;
  f.SubType = subtype;
  return f;
}

struct TTable {
  explicit TTable(std::vector<TFieldDefinition> f) : fields(std::move(f)) {
    recordSize = AssignFieldOffsets(fields.data(), static_cast<int>(fields.size()));
  }
  Bytes Record(const std::function<void(std::uint8_t*)>& fill, std::int32_t id = 1) const {
    Bytes r(static_cast<std::size_t>(recordSize), 0);
    SetRecordIdentifier(r.data(), id);
    fill(r.data());
    return r;
  }
  std::vector<TFieldDefinition> fields;
  int recordSize = 0;
};

TIndexDefinition IndexOn(std::initializer_list<std::uint16_t> numbers, bool unique = true, bool descending = false,
                         bool caseInsensitive = false) {
  TIndexDefinition d;
  d.Name = "I";
  d.Unique = unique;
  d.Descending = descending;
  d.CaseInsensitive = caseInsensitive;
  for (std::uint16_t n : numbers) d.FieldNumbers[d.FieldCount++] = n;
  return d;
}

// Keys built from records given in ascending value order must compare in that order.
void ExpectAscending(const TTable& table, const TIndexDefinition& index, const std::vector<Bytes>& records,
                     std::shared_ptr<const TCollation> collation = nullptr) {
  TKeyBuilder builder(index, table.fields, collation);
  const TKeyComparator cmp = builder.Comparator();
  std::vector<Bytes> keys;
  for (const Bytes& r : records) keys.push_back(builder.Build(r.data()));
  for (std::size_t i = 1; i < keys.size(); ++i) {
    EXPECT_LT(cmp.Compare(keys[i - 1].data(), keys[i].data()), 0) << "between values " << i - 1 << " and " << i;
    EXPECT_GT(cmp.Compare(keys[i].data(), keys[i - 1].data()), 0) << "between values " << i << " and " << i - 1;
  }
}

TEST(IndexKey, IntegerKeysOfMinusOneAndOneAreTheDocumentedBytes) {
  TTable t({MakeField(1, TFieldType::Integer)});
  TKeyBuilder builder(IndexOn({1}), t.fields, nullptr);
  EXPECT_EQ(builder.KeyLength(), 5);
  const Bytes minusOne = builder.Build(t.Record([&](std::uint8_t* r) { SetFieldInteger(r, t.fields[0], -1); }).data());
  const Bytes one = builder.Build(t.Record([&](std::uint8_t* r) { SetFieldInteger(r, t.fields[0], 1); }).data());
  EXPECT_EQ(minusOne, (Bytes{1, 0x7F, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(one, (Bytes{1, 0x80, 0x00, 0x00, 0x01}));
}

// For each type: values in ascending order, the first one null.
TEST(IndexKey, EveryTypeSortsByValueWithNullFirst) {
  struct TTypeCase {
    const char* Name;
    TFieldDefinition Field;
    std::vector<std::function<void(std::uint8_t*, const TFieldDefinition&)>> Values;
  };
  using Set = std::function<void(std::uint8_t*, const TFieldDefinition&)>;
  const auto null = [](std::uint8_t*, const TFieldDefinition&) {};
  const auto ints = [&](std::vector<std::int32_t> vs) {
    std::vector<Set> out{null};
    for (auto v : vs) out.push_back([v](std::uint8_t* r, const TFieldDefinition& f) { SetFieldInteger(r, f, v); });
    return out;
  };
  const auto doubles = [&](std::vector<double> vs) {
    std::vector<Set> out{null};
    for (auto v : vs) out.push_back([v](std::uint8_t* r, const TFieldDefinition& f) { SetFieldFloat(r, f, v); });
    return out;
  };
  std::vector<Set> smallints{null}, words{null}, bools{null}, larges{null}, bcds{null}, strings{null}, bytes{null};
  for (std::int16_t v : {-32768, -2, -1, 0, 1, 300, 32767}) {
    smallints.push_back([v](std::uint8_t* r, const TFieldDefinition& f) { SetFieldSmallInt(r, f, v); });
  }
  for (std::uint16_t v : {0, 1, 255, 256, 65535}) {
    words.push_back([v](std::uint8_t* r, const TFieldDefinition& f) { SetFieldWord(r, f, v); });
  }
  for (bool v : {false, true})
    bools.push_back([v](std::uint8_t* r, const TFieldDefinition& f) { SetFieldBoolean(r, f, v); });
  for (std::int64_t v :
       {std::numeric_limits<std::int64_t>::min(), std::int64_t{-5000000000}, std::int64_t{-1}, std::int64_t{0},
        std::int64_t{7}, std::int64_t{5000000000}, std::numeric_limits<std::int64_t>::max()}) {
    larges.push_back([v](std::uint8_t* r, const TFieldDefinition& f) { SetFieldLargeInt(r, f, v); });
  }
  // BCD with two decimals: -12.34, -0.01, 0, 0.01, 12.34, 99999.99 (ten-thousandths).
  for (std::int64_t v : {std::int64_t{-123400}, std::int64_t{-100}, std::int64_t{0}, std::int64_t{100},
                         std::int64_t{123400}, std::int64_t{999999900}}) {
    bcds.push_back([v](std::uint8_t* r, const TFieldDefinition& f) { SetFieldBcd(r, f, v); });
  }
  for (const char* s : {"A", "AB", "ABC", "B", "a", "b"}) {
    strings.push_back([s](std::uint8_t* r, const TFieldDefinition& f) { SetFieldString(r, f, s); });
  }
  for (std::string s : {std::string("\x00\x01", 2), std::string("\x01\x00", 2), std::string("\xFF\x00", 2)}) {
    bytes.push_back([s](std::uint8_t* r, const TFieldDefinition& f) { SetFieldBytes(r, f, s); });
  }
  const std::vector<TTypeCase> cases = {
      {"integer", MakeField(1, TFieldType::Integer), ints({INT32_MIN, -70000, -1, 0, 1, 70000, INT32_MAX})},
      {"date", MakeField(1, TFieldType::Date), ints({1, 693596, 738000, 3652059})},
      {"time", MakeField(1, TFieldType::Time), ints({0, 1, 43200000, 86399999})},
      {"small integer", MakeField(1, TFieldType::SmallInt), smallints},
      {"word", MakeField(1, TFieldType::Word), words},
      {"boolean", MakeField(1, TFieldType::Boolean), bools},
      {"large integer", MakeField(1, TFieldType::LargeInt), larges},
      {"BCD", MakeField(1, TFieldType::Bcd, 0, 2), bcds},
      {"float", MakeField(1, TFieldType::Float),
       doubles({-std::numeric_limits<double>::infinity(), -1e300, -2.5, -1e-300, 0.0, 1e-300, 2.5, 1e300,
                std::numeric_limits<double>::infinity()})},
      {"timestamp", MakeField(1, TFieldType::TimeStamp),
       doubles({86400000.0, 63745056000000.0, 63745056000001.0, 315537897599999.0})},
      {"string", MakeField(1, TFieldType::String, 10), strings},
      {"bytes", MakeField(1, TFieldType::Bytes, 2), bytes},
  };
  for (const TTypeCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TTable t({c.Field});
    std::vector<Bytes> records;
    for (const auto& set : c.Values) records.push_back(t.Record([&](std::uint8_t* r) { set(r, t.fields[0]); }));
    ExpectAscending(t, IndexOn({1}), records);
    // Descending field in a table without language: the order reverses, nulls last.
    TIndexDefinition desc = IndexOn({1});
    desc.FieldDescending[0] = true;
    std::vector<Bytes> reversed(records.rbegin(), records.rend());
    ExpectAscending(t, desc, reversed);
  }
}

TEST(IndexKey, NegativeZeroAndZeroGiveTheSameFloatKey) {
  std::uint8_t a[8], b[8];
  EncodeDoubleKey(0.0, a);
  EncodeDoubleKey(-0.0, b);
  EXPECT_EQ(0, std::memcmp(a, b, 8));
  EXPECT_EQ(a[0], 0x80);
}

TEST(IndexKey, DescendingStringsBinaryAndByLocaleGiveTheSameOrder) {
  TTable t({MakeField(1, TFieldType::String, 5)});
  const auto rec = [&](const char* s) {
    return t.Record([&](std::uint8_t* r) {
      if (*s != 0) SetFieldString(r, t.fields[0], s);
    });
  };
  const std::vector<Bytes> descendingOrder = {rec("b"), rec("ab"), rec("a"), rec("")};
  TIndexDefinition perField = IndexOn({1});
  perField.FieldDescending[0] = true;
  ExpectAscending(t, perField, descendingOrder);
  ExpectAscending(t, perField, descendingOrder, CollationFor(German, 0));
  // Descending as a whole index.
  const TIndexDefinition whole = IndexOn({1}, true, true);
  ExpectAscending(t, whole, descendingOrder);
  ExpectAscending(t, whole, descendingOrder, CollationFor(German, 0));
}

TEST(IndexKey, GermanOrderDiffersFromByteOrder) {
  TTable t({MakeField(1, TFieldType::String, 20)});
  const auto rec = [&](const char* s) { return t.Record([&](std::uint8_t* r) { SetFieldString(r, t.fields[0], s); }); };
  // By the German locale the umlaut sorts with its base letter; by bytes after every ASCII one.
  ExpectAscending(t, IndexOn({1}), {rec("Apfel"), rec("Ärger"), rec("Birne"), rec("Zwetschge")},
                  CollationFor(German, 0));
  ExpectAscending(t, IndexOn({1}), {rec("Apfel"), rec("Birne"), rec("Zwetschge"), rec("Ärger")});
  // Non-spacing marks are ignored: in a unique index these two are the same key.
  TKeyBuilder builder(IndexOn({1}), t.fields, CollationFor(German, 0));
  const Bytes a = builder.Build(rec("Apfel").data());
  const Bytes b = builder.Build(rec("Äpfel").data());
  EXPECT_EQ(builder.Comparator().Compare(a.data(), b.data()), 0);
}

TEST(IndexKey, CaseInsensitiveIndexUpperCasesTextByTheLocale) {
  TTable t({MakeField(1, TFieldType::String, 10)});
  TKeyBuilder builder(IndexOn({1}, true, false, true), t.fields, CollationFor(German, 0));
  const Bytes lower =
      builder.Build(t.Record([&](std::uint8_t* r) { SetFieldString(r, t.fields[0], "müller"); }).data());
  const Bytes upper =
      builder.Build(t.Record([&](std::uint8_t* r) { SetFieldString(r, t.fields[0], "MÜLLER"); }).data());
  EXPECT_EQ(lower, upper);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(lower.data() + 1)), "MÜLLER");
  // Binary table: U.S. English upper-casing, still equal.
  TKeyBuilder binary(IndexOn({1}, true, false, true), t.fields, nullptr);
  EXPECT_EQ(binary.Build(t.Record([&](std::uint8_t* r) { SetFieldString(r, t.fields[0], "abc"); }).data()),
            binary.Build(t.Record([&](std::uint8_t* r) { SetFieldString(r, t.fields[0], "ABC"); }).data()));
}

TEST(IndexKey, UpperCasingThatLengthensTextIsCutOnACharacter) {
  // "ß" upper-cases to "SS": the key value keeps at least one zero byte.
  TTable t({MakeField(1, TFieldType::String, 3)});
  TKeyBuilder builder(IndexOn({1}, true, false, true), t.fields, CollationFor(German, 0));
  const Bytes key = builder.Build(t.Record([&](std::uint8_t* r) { SetFieldString(r, t.fields[0], "aß"); }).data());
  ASSERT_EQ(key.size(), 5u);
  EXPECT_EQ(key[4], 0);
}

TEST(IndexKey, NonUniqueKeysEndWithTheIdentifierAndMultiFieldKeysOrderFieldByField) {
  TTable t({MakeField(1, TFieldType::String, 4), MakeField(2, TFieldType::Integer)});
  TKeyBuilder builder(IndexOn({1, 2}, false), t.fields, nullptr);
  EXPECT_EQ(builder.KeyLength(), 6 + 5 + 4);
  const auto rec = [&](const char* s, std::int32_t v, std::int32_t id) {
    return t.Record(
        [&](std::uint8_t* r) {
          SetFieldString(r, t.fields[0], s);
          SetFieldInteger(r, t.fields[1], v);
        },
        id);
  };
  ExpectAscending(t, IndexOn({1, 2}, false),
                  {rec("a", -5, 9), rec("a", 3, 1), rec("a", 3, 2), rec("ab", -100, 1), rec("b", 0, 0)});
  const Bytes key = builder.Build(rec("a", 3, 258).data());
  EXPECT_EQ(DecodeInt32Key(key.data() + 11), 258);
}

TEST(IndexKey, KeyLengthLimitsAndBlobFields) {
  TTable t({MakeField(1, TFieldType::String, 250), MakeField(2, TFieldType::String, 250),
            MakeField(3, TFieldType::String, 18), MakeField(4, TFieldType::Blob, 0, 0, subtype::Memo),
            MakeField(5, TFieldType::String, 17)});
  // 252 + 252 + 20 = 524 > 522; 252 + 252 + 19 = 523 (the first key of 523 bytes).
  EXPECT_EQ(RaisedCode([&] { TKeyBuilder(IndexOn({1, 2, 3}), t.fields, nullptr); }), QUARRY_INVALIDKEY);
  EXPECT_EQ(RaisedCode([&] { TKeyBuilder(IndexOn({1, 2, 5}), t.fields, nullptr); }), QUARRY_INVALIDKEY);
  EXPECT_EQ(RaisedCode([&] { TKeyBuilder(IndexOn({1, 2}, false), t.fields, nullptr); }), 0);
  EXPECT_EQ(RaisedCode([&] { TKeyBuilder(IndexOn({4}), t.fields, nullptr); }), QUARRY_SEARCHCOLREQD);
}

}  // namespace
}  // namespace quarry
