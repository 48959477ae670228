// Tests of the index file: the header and definition bytes on disk, the definition errors,
// randomised inserts and deletes through the page cache against a sorted reference (binary
// and German tables), reopening, damaged files, encryption, and the full-text parameters.
#include "engine/storage/index/index_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <random>
#include <set>
#include <vector>

#include "engine/platform/locale_services.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/index/index_test_util.h"
#include "engine/storage/index/text_index.h"
#include "engine/values/byte_image.h"

namespace quarry {
namespace {

using testing::RaisedCode;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t German = 1031;

TFieldDefinition MakeField(std::uint16_t no, TFieldType type, std::uint8_t size = 0, std::uint8_t subtype = 0) {
  TFieldDefinition f;
  f.FieldNo = no;
  f.Name = "F" + std::to_string(no);
  f.DataType = type;
  f.Size = size;
  f.SubType = subtype;
  return f;
}

std::vector<TFieldDefinition> Fields(std::vector<TFieldDefinition> f) {
  AssignFieldOffsets(f.data(), static_cast<int>(f.size()));
  return f;
}

TIndexDefinition IndexOn(std::string name, std::initializer_list<std::uint16_t> numbers, bool unique = false) {
  TIndexDefinition d;
  d.Name = std::move(name);
  d.Unique = unique;
  for (std::uint16_t n : numbers) d.FieldNumbers[d.FieldCount++] = n;
  return d;
}

std::string UniqueName(const char* stem) {
  static int counter = 0;
  return std::string(stem) + std::to_string(++counter) + ".IDX";
}

// An index file in memory, created fresh.
struct TMemoryIndex {
  explicit TMemoryIndex(const char* stem = "T", bool encrypted = false) : file(UniqueName(stem), true) {
    file.CreateFile(encrypted);
  }
  ~TMemoryIndex() {
    file.Close();
    file.Delete();
  }
  TIndexFile file;
};

TEST(IndexFile, NewFileHeaderHasVersionAndTheTwoInternalIndexes) {
  TMemoryIndex idx;
  Bytes image(IndexHeaderSize);
  ASSERT_EQ(idx.file.ReadAt(0, image.data(), IndexHeaderSize), IndexHeaderSize);
  EXPECT_EQ(bytes::Load<std::int32_t>(image.data()), 1);  // written once
  EXPECT_EQ(image[8], 5);
  EXPECT_EQ(bytes::Load<std::int32_t>(image.data() + 9), 1);
  EXPECT_EQ(image[13], 0);
  const std::uint8_t* deleted = image.data() + 14 + 31 * 120;
  EXPECT_EQ(LoadShortString(deleted, 30), "Sys Deleted");
  EXPECT_EQ(bytes::Load<std::uint16_t>(deleted + 31), 5);
  const std::uint8_t* text = image.data() + 14 + 32 * 120;
  EXPECT_EQ(LoadShortString(text, 30), "Sys Text");
  EXPECT_EQ(bytes::Load<std::uint16_t>(text + 31), 68);
  EXPECT_EQ(text[36], 3);
  EXPECT_EQ(bytes::Load<std::int32_t>(image.data() + 3974), 0);
}

TEST(IndexFile, DefinitionsAreStoredAtTheirOffsetsAndSurviveReopening) {
  const auto fields =
      Fields({MakeField(1, TFieldType::Integer), MakeField(2, TFieldType::String, 20), MakeField(3, TFieldType::Date)});
  const std::string name = UniqueName("DEF");
  {
    TIndexFile f(name, true);
    f.CreateFile();
    TIndexDefinition primary = IndexOn("ignored", {1}, false);
    f.DefinePrimaryIndex(primary, fields);
    TIndexDefinition byTitle = IndexOn(" ByTitle ", {2, 3});
    byTitle.CaseInsensitive = true;
    byTitle.FieldDescending[1] = true;
    byTitle.Compression = TKeyCompression::Duplicates;
    EXPECT_EQ(f.AddSecondaryIndex(byTitle, fields), 1);
    f.IncrementRecordCount();
    f.FlushPages();
    f.Close();
  }
  TIndexFile f(name, true);
  f.Open();
  f.VerifyHeader(fields);
  Bytes image(IndexHeaderSize);
  f.ReadAt(0, image.data(), IndexHeaderSize);
  const std::uint8_t* primary = image.data() + 14;
  EXPECT_EQ(primary[0], 0);                                // no name
  EXPECT_EQ(bytes::Load<std::uint16_t>(primary + 31), 5);  // flag + int32
  EXPECT_EQ(primary[35], 1);                               // unique
  EXPECT_EQ(primary[37], 1);
  EXPECT_EQ(bytes::Load<std::uint16_t>(primary + 54), 1);
  const std::uint8_t* second = image.data() + 14 + 120;
  EXPECT_EQ(LoadShortString(second, 30), "ByTitle");
  EXPECT_EQ(bytes::Load<std::uint16_t>(second + 31), 22 + 5 + 4);
  EXPECT_EQ(second[34], 1);
  EXPECT_EQ(second[36], 1);
  EXPECT_EQ(second[37], 2);
  EXPECT_EQ(second[38], 0);
  EXPECT_EQ(second[39], 1);
  EXPECT_EQ(bytes::Load<std::uint16_t>(second + 56), 3);
  EXPECT_EQ(image[13], 1);
  EXPECT_EQ(bytes::Load<std::int32_t>(image.data() + 3974), 1);
  EXPECT_EQ(f.FindIndex("bytitle"), 1);
  EXPECT_EQ(f.FindIndex(""), 0);
  EXPECT_EQ(f.FindIndex("nope"), -1);
  f.Close();
  f.Delete();
}

TEST(IndexFile, DefinitionErrors) {
  const auto fields = Fields({MakeField(1, TFieldType::Integer), MakeField(2, TFieldType::Blob, 0, subtype::Memo),
                              MakeField(3, TFieldType::String, 250), MakeField(4, TFieldType::String, 250),
                              MakeField(5, TFieldType::String, 17)});
  TMemoryIndex idx;
  TIndexFile& f = idx.file;
  f.DefinePrimaryIndex(IndexOn("", {1}), fields);
  EXPECT_EQ(RaisedCode([&] { f.DefinePrimaryIndex(IndexOn("", {1}), fields); }), QUARRY_PRIMARYKEYREDEFINE);
  EXPECT_EQ(RaisedCode([&] { f.AddSecondaryIndex(IndexOn("  ", {1}), fields); }), QUARRY_INDEXNAMEREQUIRED);
  EXPECT_EQ(RaisedCode([&] { f.AddSecondaryIndex(IndexOn("9X", {1}), fields); }), QUARRY_INVALIDINDEXNAME);
  EXPECT_EQ(RaisedCode([&] { f.AddSecondaryIndex(IndexOn("B", {2}), fields); }), QUARRY_SEARCHCOLREQD);
  // 252 + 252 + 19 = 523 bytes.
  EXPECT_EQ(RaisedCode([&] { f.AddSecondaryIndex(IndexOn("Big", {3, 4, 5}, true), fields); }), QUARRY_INVALIDKEY);
  TIndexDefinition many = IndexOn("Many", {});
  many.FieldCount = 17;
  EXPECT_EQ(RaisedCode([&] { f.AddSecondaryIndex(many, fields); }), QUARRY_INDEXLIMIT);
  EXPECT_EQ(RaisedCode([&] { f.DefineTextIndex(IndexOn("", {1}), fields); }), QUARRY_SEARCHCOLREQD);
  for (int i = 1; i <= 30; ++i) f.AddSecondaryIndex(IndexOn("I" + std::to_string(i), {1}), fields);
  EXPECT_EQ(RaisedCode([&] { f.AddSecondaryIndex(IndexOn("I31", {1}), fields); }), QUARRY_INDEXLIMIT);
  f.RemoveIndex(5);
  EXPECT_EQ(RaisedCode([&] { f.AddSecondaryIndex(IndexOn("i7", {1}), fields); }), QUARRY_INDEXEXISTS);
  EXPECT_EQ(f.SecondaryCount(), 29);
  EXPECT_EQ(f.Definition(5).Name, "I6");
  EXPECT_EQ(f.AddSecondaryIndex(IndexOn("_Last", {1}), fields), 30);
}

TEST(IndexFile, EmptyPrimaryIndexTurnsSlotReuseOff) {
  const auto fields = Fields({MakeField(1, TFieldType::Integer)});
  TMemoryIndex idx;
  EXPECT_TRUE(idx.file.ReusesDeletedSlots());
  idx.file.DefinePrimaryIndex(IndexOn("", {}), fields);
  EXPECT_FALSE(idx.file.ReusesDeletedSlots());
  EXPECT_FALSE(idx.file.Definition(PrimarySlot).Defined());
  idx.file.FlushPages();
  Bytes image(IndexHeaderSize);
  idx.file.ReadAt(0, image.data(), IndexHeaderSize);
  EXPECT_EQ(image[3978], 1);
}

// ---- randomised work through the index file ----

struct TRow {
  std::int32_t Id;
  std::int32_t Number;
  std::string Title;
  std::int32_t Year;
};

struct TPropertyCase {
  const char* Name;
  std::uint16_t Language;
  TKeyCompression Compression;
  int Operations;  // each inserts or deletes a key in four indexes
};

class IndexFilePropertyTest : public ::testing::TestWithParam<TPropertyCase> {};

// Four indexes over random rows: a unique integer primary; titles (duplicates allowed);
// titles case-insensitive and descending; (year descending, title). Inserts and deletes keep
// each index equal to the rows sorted by their values, with true counts, positions and range
// sizes, in memory and after reopening the file.
TEST_P(IndexFilePropertyTest, IndexesMatchSortedRows) {
  const TPropertyCase& c = GetParam();
  const auto fields = Fields(
      {MakeField(1, TFieldType::Integer), MakeField(2, TFieldType::String, 30), MakeField(3, TFieldType::SmallInt)});
  const int recordSize = 9 + 5 + 32 + 3;
  const std::string name = UniqueName("PROP");
  auto collation = CollationFor(c.Language, 0);
  auto file = std::make_unique<TIndexFile>(name, true);
  file->CreateFile();
  file->SetSettings({.RecordBufferBytes = 64 * 8192});
  file->DefinePrimaryIndex(IndexOn("", {1}, true), fields);
  TIndexDefinition title = IndexOn("Title", {2});
  title.Compression = c.Compression;
  file->AddSecondaryIndex(title, fields);
  TIndexDefinition folded = IndexOn("Folded", {2});
  folded.CaseInsensitive = true;
  folded.FieldDescending[0] = true;
  folded.Compression = c.Compression;
  file->AddSecondaryIndex(folded, fields);
  TIndexDefinition byYear = IndexOn("ByYear", {3, 2});
  byYear.FieldDescending[0] = true;
  file->AddSecondaryIndex(byYear, fields);
  file->BindTable(fields, collation);

  const std::vector<std::string> stems = {"Müller", "Muller", "MÜLLER", "Straße", "Strasse", "Ärger", "Arger", "Zoë",
                                          "zoe",    "éclair", "Eclair", "apple",  "Apple",   "Öl",    "ol",    "Zebra"};
  std::mt19937 rng(99);
  std::map<std::int32_t, TRow> rows;  // by record number
  std::set<std::int32_t> numbers;
  const auto makeRecord = [&](const TRow& row) {
    Bytes r(static_cast<std::size_t>(recordSize), 0);
    SetRecordIdentifier(r.data(), row.Id);
    SetFieldInteger(r.data(), fields[0], row.Number);
    SetFieldString(r.data(), fields[1], row.Title);
    SetFieldSmallInt(r.data(), fields[2], static_cast<std::int16_t>(row.Year));
    return r;
  };
  const auto keyOf = [&](int slot, const TRow& row) { return file->KeyBuilder(slot).Build(makeRecord(row).data()); };

  // The order each index must have, from the values alone.
  const auto textCmp = [&](const std::string& a, const std::string& b, bool fold) {
    if (c.Language == 0) {
      const std::string x = fold ? LocaleUpperCase(a) : a;
      const std::string y = fold ? LocaleUpperCase(b) : b;
      return x.compare(y) < 0 ? -1 : (x == y ? 0 : 1);
    }
    return LocaleCompare(fold ? LocaleUpperCase(a, c.Language) : a, fold ? LocaleUpperCase(b, c.Language) : b, fold,
                         c.Language);
  };
  const auto before = [&](int slot, const TRow& a, const TRow& b) {
    int r = 0;
    switch (slot) {
    case 0: return a.Number < b.Number;
    case 1: r = textCmp(a.Title, b.Title, false); break;
    case 2: r = -textCmp(a.Title, b.Title, true); break;
    case 3: r = a.Year == b.Year ? textCmp(a.Title, b.Title, false) : (a.Year > b.Year ? -1 : 1); break;
    }
    return r != 0 ? r < 0 : a.Id < b.Id;
  };
  const auto check = [&](bool deep) {
    for (int slot = 0; slot <= 3; ++slot) {
      SCOPED_TRACE(slot);
      std::vector<TRow> expected;
      for (const auto& [no, row] : rows) expected.push_back(row);
      std::sort(expected.begin(), expected.end(), [&](const TRow& a, const TRow& b) { return before(slot, a, b); });
      TBTree tree = file->Tree(slot);
      ASSERT_EQ(tree.Verify(), static_cast<std::int64_t>(expected.size()));
      std::vector<std::int32_t> walked;
      TIndexPath path;
      for (bool more = tree.First(path); more; more = tree.Next(path)) walked.push_back(tree.EntryAt(path, nullptr));
      std::vector<std::int32_t> wanted;
      for (const TRow& row : expected) wanted.push_back(row.Id);  // record number == identifier
      ASSERT_EQ(walked, wanted);
      if (!deep) continue;
      const auto n = static_cast<std::int64_t>(expected.size());
      for (int probe = 0; probe < 100 && n > 0; ++probe) {
        const std::int64_t i = static_cast<std::int64_t>(rng() % n);
        const Bytes key = keyOf(slot, expected[i]);
        ASSERT_TRUE(tree.Find(key.data(), path));
        ASSERT_EQ(tree.Ordinal(path), i + 1);
        ASSERT_TRUE(tree.Seek(i + 1, path));
        ASSERT_EQ(tree.EntryAt(path, nullptr), expected[i].Id);
        const std::int64_t j = static_cast<std::int64_t>(rng() % n);
        const Bytes other = keyOf(slot, expected[j]);
        ASSERT_EQ(tree.RangeCount(key.data(), other.data()), i <= j ? j - i + 1 : 0);
      }
    }
  };

  const bool soak = std::getenv("PELLOMAR_SOAK") != nullptr;
  const int operations = soak ? 10 * c.Operations : c.Operations;
  std::int32_t nextId = 1;
  TIndexPath path;
  for (int op = 0; op < operations; ++op) {
    const bool insert = rows.size() < 100 || rng() % 100 < (op < operations / 2 ? 70 : 40);
    if (insert) {
      TRow row;
      row.Id = nextId++;
      do {
        row.Number = static_cast<std::int32_t>(rng() % 2000000) - 1000000;
      } while (!numbers.insert(row.Number).second);
      row.Title = stems[rng() % stems.size()] + " " + std::to_string(rng() % 50);
      row.Year = 1900 + static_cast<std::int32_t>(rng() % 120);
      for (int slot = 0; slot <= 3; ++slot) file->InsertKey(slot, path, keyOf(slot, row).data(), row.Id);
      rows[row.Id] = row;
      file->IncrementRecordCount();
    } else {
      auto it = rows.lower_bound(static_cast<std::int32_t>(rng() % static_cast<std::uint32_t>(nextId)));
      if (it == rows.end()) it = rows.begin();
      const TRow row = it->second;
      for (int slot = 0; slot <= 3; ++slot) ASSERT_TRUE(file->DeleteKey(slot, path, keyOf(slot, row).data()));
      numbers.erase(row.Number);
      rows.erase(it);
      file->DecrementRecordCount();
    }
    if (op % 5000 == 0) {
      file->FlushPages();
      file->TrimCache();
      check(false);
    }
  }
  // A duplicate primary key is refused and changes nothing.
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(RaisedCode([&] { file->InsertKey(0, path, keyOf(0, rows.begin()->second).data(), 1); }), QUARRY_KEYVIOL);
  check(true);
  file->FlushPages();
  file->Close();
  file = std::make_unique<TIndexFile>(name, true);
  file->Open();
  file->VerifyHeader(fields);
  file->BindTable(fields, collation);
  EXPECT_EQ(file->RecordCount(), static_cast<std::int32_t>(rows.size()));
  check(true);
  file->Close();
  file->Delete();
}

INSTANTIATE_TEST_SUITE_P(Tables, IndexFilePropertyTest,
                         ::testing::Values(TPropertyCase{"Binary", 0, TKeyCompression::None, 25000},
                                           TPropertyCase{"German", German, TKeyCompression::None, 12000},
                                           TPropertyCase{"GermanCompressed", German, TKeyCompression::Both, 12000}),
                         [](const auto& info) { return std::string(info.param.Name); });

// ---- damaged files ----

struct TDiskFixture {
  TDiskFixture() {
    fields = Fields({MakeField(1, TFieldType::Integer)});
    file = std::make_unique<TIndexFile>(name, true);
    file->CreateFile();
    file->DefinePrimaryIndex(IndexOn("", {1}, true), fields);
    file->BindTable(fields, nullptr);
    TIndexPath path;
    for (int i = 0; i < 2000; ++i) {
      Bytes key(5);
      key[0] = 1;
      EncodeInt32Key(i, key.data() + 1);
      file->InsertKey(0, path, key.data(), i + 1);
    }
    file->FlushPages();
    file->Close();
  }
  ~TDiskFixture() {
    file->Close();
    file->Delete();
  }
  void Poke(std::int64_t offset, std::uint8_t value) {
    TIndexFile raw(name, true);
    raw.Open();
    raw.WriteAt(offset, &value, 1);
    raw.Close();
  }
  void Reopen() {
    file = std::make_unique<TIndexFile>(name, true);
    file->Open();
    file->BindTable(fields, nullptr);
  }
  std::string name = UniqueName("BAD");
  std::vector<TFieldDefinition> fields;
  std::unique_ptr<TIndexFile> file;
};

TEST(IndexFile, DamagedHeaderIsRefusedOnOpenOrVerification) {
  struct TCase {
    const char* What;
    std::int64_t Offset;
    std::uint8_t Value;
    int Code;
  };
  const TCase cases[] = {
      {"old version", 8, 4, QUARRY_OLDVERSION},
      {"31 secondary indexes", 13, 31, QUARRY_HEADERCORRUPT},
      {"root beyond the file", 14 + 86 + 3, 0x40, QUARRY_HEADERCORRUPT},
      {"key length of the primary changed", 14 + 31, 9, QUARRY_HEADERCORRUPT},
      {"primary not unique", 14 + 35, 0, QUARRY_HEADERCORRUPT},
      {"a gap in the key fields", 14 + 54 + 2, 1, QUARRY_HEADERCORRUPT},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    TDiskFixture fx;
    fx.Poke(c.Offset, c.Value);
    const int code = RaisedCode([&] {
      fx.Reopen();
      fx.file->VerifyHeader(fx.fields);
    });
    EXPECT_EQ(code, c.Code);
  }
}

TEST(IndexFile, DamagedPagesGiveIndexCorruptNeverACrash) {
  // Fuzz: random bytes of random pages changed, then the whole index walked.
  std::mt19937 rng(7);
  const int rounds = std::getenv("PELLOMAR_SOAK") != nullptr ? 2000 : 150;
  int refused = 0;
  for (int round = 0; round < rounds; ++round) {
    TDiskFixture fx;
    fx.Reopen();
    const std::int32_t pages = fx.file->Header().NextPage - 1;
    fx.file->Close();
    for (int i = 0; i < 3; ++i) {
      const std::int64_t page = 1 + static_cast<std::int64_t>(rng() % static_cast<std::uint32_t>(pages));
      // Mostly the page header and the first entries, where damage matters most.
      const std::int64_t at = page * IndexPageSize + static_cast<std::int64_t>(rng() % (rng() % 2 ? 40 : 4096));
      fx.Poke(at, static_cast<std::uint8_t>(rng()));
    }
    const int code = RaisedCode([&] {
      fx.Reopen();
      TBTree tree = fx.file->Tree(0);
      tree.Verify();
      TIndexPath path;
      std::int64_t steps = 0;
      for (bool more = tree.First(path); more && steps < 100000; more = tree.Next(path)) ++steps;
      for (bool more = tree.Last(path); more && steps < 200000; more = tree.Prior(path)) ++steps;
      Bytes key(5);
      key[0] = 1;
      EncodeInt32Key(1000, key.data() + 1);
      fx.file->DeleteKey(0, path, key.data());
      fx.file->InsertKey(0, path, key.data(), 1);
    });
    if (code != 0) {
      ++refused;
      EXPECT_EQ(code, QUARRY_INDEXCORRUPT);
    }
  }
  EXPECT_GT(refused, rounds / 4);
}

TEST(IndexFile, EncryptedFileIsScrambledOnDiskAndReadsBack) {
  const auto fields = Fields({MakeField(1, TFieldType::Integer)});
  const std::string name = UniqueName("ENC");
  {
    TIndexFile f(name, true);
    f.CreateFile(true);
    f.DefinePrimaryIndex(IndexOn("", {1}, true), fields);
    f.BindTable(fields, nullptr);
    TIndexPath path;
    for (int i = 0; i < 500; ++i) {
      Bytes key(5);
      key[0] = 1;
      EncodeInt32Key(i, key.data() + 1);
      f.InsertKey(0, path, key.data(), i + 1);
    }
    f.FlushPages();
    Bytes image(IndexHeaderSize);
    f.ReadAt(0, image.data(), IndexHeaderSize);
    EXPECT_NE(image[8], 5);  // the version byte is scrambled
    f.Close();
  }
  TIndexFile f(name, true);
  f.SetEncrypted(true);
  f.Open();
  f.VerifyHeader(fields);
  f.BindTable(fields, nullptr);
  EXPECT_EQ(f.Tree(0).Verify(), 500);
  f.Close();
  f.Delete();
}

TEST(IndexFile, CacheStaysWithinItsLimitOnceTrimmedAndCountsReads) {
  TDiskFixture fx;
  fx.Reopen();
  TBTree tree = fx.file->Tree(0);
  TIndexPath path;
  for (bool more = tree.First(path); more; more = tree.Next(path)) {}
  EXPECT_LE(fx.file->CachedPages(0), 4);  // default 16,384 bytes: 2 pages, grown while pinned
  fx.file->TrimCache();
  EXPECT_LE(fx.file->CachedPages(0), 2);
  EXPECT_GT(fx.file->PageReads(), 0);
  EXPECT_GE(fx.file->PageRequests(), fx.file->PageReads());
}

TEST(IndexFile, EmptyLeavesEveryIndexEmpty) {
  TDiskFixture fx;
  fx.Reopen();
  fx.file->IncrementRecordCount();
  fx.file->Empty();
  fx.file->FlushPages();
  EXPECT_EQ(fx.file->Header().NextPage, 1);
  EXPECT_EQ(fx.file->Root(0), 0);
  EXPECT_EQ(fx.file->RecordCount(), 0);
  EXPECT_EQ(fx.file->Size(), IndexHeaderSize);
}

TEST(IndexFile, AnotherWritersHeaderIsNoticedAndTaken) {
  const auto fields = Fields({MakeField(1, TFieldType::Integer)});
  for (const bool encrypted : {false, true}) {
    SCOPED_TRACE(encrypted ? "encrypted" : "plain");
    const std::string name = UniqueName("SHARED");
    {
      TIndexFile f(name, true);
      f.CreateFile(encrypted);
      f.DefinePrimaryIndex(IndexOn("", {1}, true), fields);
      f.FlushPages();
      f.Close();
    }
    TIndexFile writer(name, true);
    TIndexFile reader(name, true);
    writer.SetEncrypted(encrypted);
    reader.SetEncrypted(encrypted);
    writer.Open();
    reader.Open();
    reader.BindTable(fields, nullptr);
    EXPECT_FALSE(reader.HeaderChanged());
    writer.BindTable(fields, nullptr);
    TIndexPath path;
    for (std::int32_t i = 0; i < 1000; ++i) {
      Bytes key(5);
      key[0] = 1;
      EncodeInt32Key(i, key.data() + 1);
      writer.InsertKey(0, path, key.data(), i + 1);
      writer.IncrementRecordCount();
    }
    writer.FlushPages();
    EXPECT_TRUE(reader.HeaderChanged());
    EXPECT_EQ(reader.RecordCount(), 1000);
    EXPECT_EQ(reader.Tree(0).Verify(), 1000);
    EXPECT_FALSE(reader.HeaderChanged());
    reader.Close();
    writer.Close();
    writer.Delete();
  }
}

TEST(IndexFile, RemovedIndexHandsItsPagesToSysDeleted) {
  const auto fields = Fields({MakeField(1, TFieldType::Integer)});
  TMemoryIndex idx;
  TIndexFile& f = idx.file;
  f.BindTable(fields, nullptr);
  const int slot = f.AddSecondaryIndex(IndexOn("Gone", {1}), fields);
  TIndexPath path;
  for (std::int32_t i = 0; i < 3000; ++i) {
    Bytes record(9 + 5, 0);
    SetRecordIdentifier(record.data(), i + 1);
    SetFieldInteger(record.data(), fields[0], i);
    f.InsertKey(slot, path, f.KeyBuilder(slot).Build(record.data()).data(), i + 1);
  }
  f.FlushPages();
  const std::int32_t pages = f.Header().NextPage - 1;
  ASSERT_GT(pages, 10);
  f.RemoveIndex(slot);
  EXPECT_EQ(f.SecondaryCount(), 0);
  EXPECT_NE(f.Definition(DeletedSlot).FirstFree, 0);
  // "Sys Deleted" grows into the freed pages before the file grows.
  for (std::int32_t i = 0; i < 3000; ++i) {
    std::uint8_t key[DeletedKeyLength];
    BuildDeletedKey(0, i + 1, key);
    f.InsertKey(DeletedSlot, path, key, i + 1);
  }
  f.FlushPages();
  EXPECT_EQ(f.Header().NextPage - 1, pages);
  EXPECT_EQ(f.Tree(DeletedSlot).Verify(), 3000);
}

TEST(IndexFile, DeletedSlotsAreTheSysDeletedKeysWithStatusOne) {
  TMemoryIndex idx;
  TIndexPath path;
  // Records 1..6 with identifiers 10..60; records 2 and 5 deleted (their keys replaced).
  for (std::int32_t r = 1; r <= 6; ++r) {
    std::uint8_t key[DeletedKeyLength];
    BuildDeletedKey(0, r * 10, key);
    idx.file.InsertKey(DeletedSlot, path, key, r);
  }
  for (std::int32_t r : {5, 2}) {
    std::uint8_t key[DeletedKeyLength];
    BuildDeletedKey(0, r * 10, key);
    ASSERT_TRUE(idx.file.DeleteKey(DeletedSlot, path, key));
    BuildDeletedKey(1, r * 10, key);
    idx.file.InsertKey(DeletedSlot, path, key, r);
  }
  EXPECT_EQ(idx.file.DeletedRecordNumbers(), (std::vector<std::int32_t>{2, 5}));
  EXPECT_EQ(idx.file.Tree(DeletedSlot).KeyCount(), 6);
}

TEST(IndexFile, TemporaryIndexLivesInItsOwnFileAndNeverReachesTheHeader) {
  const auto fields = Fields({MakeField(1, TFieldType::Integer)});
  const std::string name = UniqueName("TMP");
  {
    TIndexFile f(name, true);
    f.CreateFile();
    f.BindTable(fields, nullptr);
    TIndexDefinition temp = IndexOn("Scratch", {1});
    temp.Temporary = true;
    EXPECT_EQ(f.AddSecondaryIndex(temp, fields), 1);
    EXPECT_EQ(f.AddSecondaryIndex(IndexOn("Kept", {1}), fields), 1);  // before the temporary one
    EXPECT_EQ(f.FindIndex("Scratch"), 2);
    TIndexPath path;
    for (std::int32_t i = 0; i < 3000; ++i) {
      Bytes record(9 + 5, 0);
      SetRecordIdentifier(record.data(), i + 1);
      SetFieldInteger(record.data(), fields[0], i);
      f.InsertKey(2, path, f.KeyBuilder(2).Build(record.data()).data(), i + 1);
    }
    f.FlushPages();
    EXPECT_EQ(f.Header().NextPage, 1);  // no page of the table's file used
    EXPECT_EQ(f.Tree(2).Verify(), 3000);
    Bytes image(IndexHeaderSize);
    f.ReadAt(0, image.data(), IndexHeaderSize);
    EXPECT_EQ(image[13], 1);
    EXPECT_EQ(LoadShortString(image.data() + 14 + 120, 30), "Kept");
    EXPECT_EQ(image[14 + 2 * 120], 0);
    f.Close();
    EXPECT_EQ(f.SecondaryCount(), 1);
  }
  TIndexFile f(name, true);
  f.Open();
  f.VerifyHeader(fields);
  EXPECT_EQ(f.SecondaryCount(), 1);
  EXPECT_EQ(f.FindIndex("Scratch"), -1);
  f.Close();
  f.Delete();
}

// ---- full text ----

TEST(TextIndex, WordsFollowTheCharacterSetsAndStopWords) {
  const TTextParameters p = TTextParameters::Defaults();
  const auto binary = BinaryCollation();
  EXPECT_EQ(ExtractWords("The Lord of the Rings: the-return", p, *binary),
            (std::vector<std::string>{"LORD", "RINGS", "RETURN"}));
  // '!' is in neither set: left out without ending the word.
  EXPECT_EQ(ExtractWords("Wow!Wow", p, *binary), (std::vector<std::string>{"WOWWOW"}));
  const std::string longWord(70, 'x');
  EXPECT_EQ(ExtractWords(longWord, p, *binary), (std::vector<std::string>{std::string(61, 'X')}));
  const auto german = CollationFor(German, 0);
  EXPECT_EQ(ExtractWords("Müller und MÜLLER", p, *german), (std::vector<std::string>{"MÜLLER", "UND"}));
  Bytes key(TextKeyLength);
  BuildTextKey(3, "LORD", 42, key.data());
  EXPECT_EQ(key[0], 1);
  EXPECT_EQ(key[1], 0);
  EXPECT_EQ(key[2], 3);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(key.data() + 3)), "LORD");
  EXPECT_EQ(DecodeInt32Key(key.data() + 64), 42);
}

TEST(TextIndex, ParametersRoundTripAcrossSeveralPages) {
  TMemoryIndex idx;
  EXPECT_EQ(ReadTextParameters(idx.file), TTextParameters::Defaults());
  TTextParameters p = TTextParameters::Defaults();
  for (int i = 0; i < 900; ++i) p.StopWords.push_back("STOPWORD" + std::to_string(i));  // ~ 3 pages
  p.SpaceCharacters['!'] = true;
  WriteTextParameters(idx.file, p);
  EXPECT_EQ(ReadTextParameters(idx.file), p);
  const std::int32_t pagesWithMany = idx.file.Header().NextPage - 1;
  EXPECT_GE(pagesWithMany, 3);
  // Fewer words: surplus pages go to the free chain and are reused by the next growth.
  p.StopWords.resize(5);
  WriteTextParameters(idx.file, p);
  EXPECT_EQ(ReadTextParameters(idx.file), p);
  EXPECT_NE(idx.file.Definition(TextSlot).FirstFree, 0);
  p.StopWords.resize(800, "AGAIN");
  WriteTextParameters(idx.file, p);
  EXPECT_EQ(ReadTextParameters(idx.file), p);
  EXPECT_EQ(idx.file.Header().NextPage - 1, pagesWithMany);
}

TEST(TextIndex, TextKeysOrderByFieldThenWordByLocaleThenRecord) {
  TMemoryIndex idx;
  const auto fields = Fields({MakeField(1, TFieldType::String, 60)});
  TIndexDefinition text = IndexOn("", {1});
  idx.file.DefineTextIndex(text, fields);
  idx.file.BindTable(fields, CollationFor(German, 0));
  TIndexPath path;
  const std::vector<std::string> words = {"ZEBRA", "ÄRGER", "APFEL", "BIRNE"};
  for (std::size_t i = 0; i < words.size(); ++i) {
    Bytes key(TextKeyLength);
    BuildTextKey(1, words[i], static_cast<std::int32_t>(i + 1), key.data());
    idx.file.InsertKey(TextSlot, path, key.data(), static_cast<std::int32_t>(i + 1));
  }
  TBTree tree = idx.file.Tree(TextSlot);
  std::vector<std::int32_t> order;
  for (bool more = tree.First(path); more; more = tree.Next(path)) order.push_back(tree.EntryAt(path, nullptr));
  EXPECT_EQ(order, (std::vector<std::int32_t>{3, 2, 4, 1}));  // APFEL, ÄRGER, BIRNE, ZEBRA
  EXPECT_EQ(tree.KeyCount(), 4);
}

}  // namespace
}  // namespace quarry
