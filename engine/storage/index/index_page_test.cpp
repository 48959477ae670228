// Tests of the page image: header fields and the entry encodings of every compression, byte
// for byte, and refusal of images that cannot be pages.
#include "engine/storage/index/index_page.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace quarry {
namespace {

using Bytes = std::vector<std::uint8_t>;

TPageFormat Fmt(int k, TKeyCompression c, bool unique) {
  TPageFormat f;
  f.KeyLength = static_cast<std::uint16_t>(k);
  f.Compression = c;
  f.Unique = unique;
  return f;
}

struct TEncodingCase {
  const char* Name;
  TPageFormat Format;
  Bytes First;
  Bytes Second;
  Bytes ExpectedEntries;  // both entries as packed, record numbers 1 and 2
};

class PageEncodingTest : public ::testing::TestWithParam<TEncodingCase> {};

TEST_P(PageEncodingTest, EntriesPackAsDocumentedAndUnpackBack) {
  const TEncodingCase& c = GetParam();
  TPage page(c.Format, 7, 0);
  page.Type = TPageType::RootLeaf;
  page.Insert(0, c.Second.data(), 2);
  page.Insert(0, c.First.data(), 1);  // inserting before recomputes the second entry
  page.Prev = 0x01020304;
  page.Next = 9;
  std::array<std::uint8_t, IndexPageSize> image{};
  page.Pack(image.data());
  EXPECT_EQ(image[0], 3);
  EXPECT_EQ(image[1], 2);
  EXPECT_EQ(image[2], 0);
  EXPECT_EQ(Bytes(image.begin() + 3, image.begin() + 7), (Bytes{4, 3, 2, 1}));
  EXPECT_EQ(image[7], 9);
  EXPECT_EQ(image[11] | (image[12] << 8), static_cast<int>(c.ExpectedEntries.size()));
  EXPECT_EQ(Bytes(image.begin() + 13, image.begin() + 13 + c.ExpectedEntries.size()), c.ExpectedEntries);
  EXPECT_EQ(page.UsedBytes(), static_cast<int>(c.ExpectedEntries.size()));

  TPage back(c.Format, 7, 0);
  ASSERT_TRUE(back.Unpack(image.data()));
  ASSERT_EQ(back.Count(), 2);
  EXPECT_EQ(Bytes(back.Key(0), back.Key(0) + c.Format.KeyLength), c.First);
  EXPECT_EQ(Bytes(back.Key(1), back.Key(1) + c.Format.KeyLength), c.Second);
  EXPECT_EQ(back.Value(0), 1);
  EXPECT_EQ(back.Value(1), 2);
}

INSTANTIATE_TEST_SUITE_P(
    Compressions, PageEncodingTest,
    ::testing::Values(TEncodingCase{"None",
                                    Fmt(4, TKeyCompression::None, true),
                                    {1, 2, 3, 4},
                                    {1, 2, 3, 5},
                                    {1, 2, 3, 4, 1, 0, 0, 0, 1, 2, 3, 5, 2, 0, 0, 0}},
                      TEncodingCase{"Duplicates",
                                    Fmt(8, TKeyCompression::Duplicates, true),
                                    {1, 2, 3, 4, 5, 6, 7, 8},
                                    {1, 2, 3, 9, 0, 0, 0, 0},
                                    {0, 1, 2, 3, 4, 5, 6, 7, 8, 1, 0, 0, 0, 3, 9, 0, 0, 0, 0, 2, 0, 0, 0}},
                      TEncodingCase{"TrailingUnique",
                                    Fmt(8, TKeyCompression::Trailing, true),
                                    {1, 2, 3, 4, 5, 6, 7, 8},
                                    {1, 2, 3, 9, 0, 0, 0, 0},
                                    {0, 1, 2, 3, 4, 5, 6, 7, 8, 1, 0, 0, 0, 4, 1, 2, 3, 9, 2, 0, 0, 0}},
                      // Non-unique: zeros are counted before the 4-byte identifier, which is kept.
                      TEncodingCase{"TrailingNonUnique",
                                    Fmt(8, TKeyCompression::Trailing, false),
                                    {0x41, 0, 0, 0, 0, 0, 0, 1},
                                    {0x42, 0x43, 0, 0, 0, 0, 0, 0},
                                    {3, 0x41, 0, 0, 0, 1, 1, 0, 0, 0, 2, 0x42, 0x43, 0, 0, 0, 0, 2, 0, 0, 0}},
                      TEncodingCase{"Both",
                                    Fmt(8, TKeyCompression::Both, false),
                                    {0x41, 0x42, 0, 0, 0, 0, 0, 1},
                                    {0x41, 0x42, 0x43, 0, 0, 0, 0, 2},
                                    {0, 2, 0x41, 0x42, 0, 0, 0, 1, 1, 0, 0, 0, 2, 1, 0x43, 0, 0, 0, 2, 2, 0, 0, 0}},
                      // Second entry: fewer than 5 bytes after the shared prefix, so its zeros are counted
                      // to the key's end and no identifier is kept apart.
                      TEncodingCase{"BothShortRest",
                                    Fmt(8, TKeyCompression::Both, false),
                                    {9, 9, 9, 9, 9, 0, 0, 0},
                                    {9, 9, 9, 9, 9, 7, 0, 0},
                                    {0, 0, 9, 9, 9, 9, 9, 0, 0, 0, 1, 0, 0, 0, 5, 2, 7, 2, 0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(IndexPage, ImagesThatCannotBePagesAreRefused) {
  const TPageFormat plain = Fmt(4, TKeyCompression::None, true);
  const TPageFormat both = Fmt(8, TKeyCompression::Both, false);
  struct TCase {
    const char* What;
    TPageFormat Format;
    std::vector<std::pair<int, std::uint8_t>> Bytes;
  };
  const TCase cases[] = {
      {"unknown type", plain, {{0, 5}}},
      {"more entries than fit", plain, {{0, 2}, {1, 0xFF}, {2, 0x01}}},
      {"shared prefix on the first entry", both, {{0, 2}, {1, 1}, {11, 12}, {13, 1}, {14, 0}}},
      {"used bytes not matching the entries", both, {{0, 2}, {1, 1}, {11, 99}, {13, 0}, {14, 0}}},
      {"compressed entries running off the page", both, {{0, 2}, {1, 0xFF}, {2, 0x0F}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    std::array<std::uint8_t, IndexPageSize> image{};
    for (auto [at, v] : c.Bytes) image[at] = v;
    TPage page(c.Format, 1, 0);
    EXPECT_FALSE(page.Unpack(image.data()));
  }
}

}  // namespace
}  // namespace quarry
