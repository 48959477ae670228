// Tests of TDataFile: the byte layout of header, definitions and records for every type
// (plain and encrypted), slot reuse, limits, header verification of damaged files (with a
// bounded fuzz loop), failed writes and flushes, the record cache and SortRecords.
#include "engine/storage/data/data_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "engine/platform/fault_environment.h"
#include "engine/platform/memory_environment.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/files/scramble.h"
#include "engine/values/bcd.h"
#include "engine/values/byte_image.h"

namespace quarry {
namespace {

namespace fs = std::filesystem;

TFieldDefinition Field(const char* name, TFieldType type, int size = 0, std::uint8_t sub = 0) {
  TFieldDefinition f;
  f.Name = name;
  f.DataType = type;
  f.Size = static_cast<std::uint8_t>(size);
  f.SubType = sub;
  return f;
}

std::vector<TFieldDefinition> Numbered(std::vector<TFieldDefinition> fields) {
  for (std::size_t i = 0; i < fields.size(); ++i) fields[i].FieldNo = static_cast<std::uint16_t>(i + 1);
  AssignFieldOffsets(fields.data(), static_cast<int>(fields.size()));
  return fields;
}

// One field of every type a table stores.
std::vector<TFieldDefinition> EveryType() {
  std::vector<TFieldDefinition> f{Field("S", TFieldType::String, 20),
                                  Field("D", TFieldType::Date),
                                  Field("B", TFieldType::Blob, 0, subtype::Memo),
                                  Field("L", TFieldType::Boolean),
                                  Field("SI", TFieldType::SmallInt),
                                  Field("I", TFieldType::Integer),
                                  Field("A", TFieldType::Integer, 0, subtype::AutoInc),
                                  Field("F", TFieldType::Float),
                                  Field("M", TFieldType::Bcd),
                                  Field("Y", TFieldType::Bytes, 6),
                                  Field("T", TFieldType::Time),
                                  Field("TS", TFieldType::TimeStamp),
                                  Field("W", TFieldType::Word),
                                  Field("C", TFieldType::Cardinal),
                                  Field("X", TFieldType::Extended),
                                  Field("V", TFieldType::VarBytes, 5),
                                  Field("LI", TFieldType::LargeInt)};
  f[8].Scale = 2;
  f[8].ScaleCopy = 2;
  f[0].DefaultValue = "none";
  f[5].MinValue = "-100";
  f[5].MaxValue = "100000";
  return Numbered(f);
}

// Inserts a record: a new slot with the next identifier, filled by fill.
template <typename Fill>
std::int32_t Insert(TDataFile& file, Fill fill) {
  TPinnedRecord record = file.AllocateRecord();
  std::uint8_t* data = record.Data();
  std::memset(data + RecordHeaderSize, 0, static_cast<std::size_t>(file.RecordSize() - RecordHeaderSize));
  SetRecordIdentifier(data, file.NextAutoIncValue());
  fill(data);
  file.MarkDirty(record.get());
  return record->RecordNo;
}

class DataFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int serial = 0;
    dir_ =
        fs::temp_directory_path() /
        ("pellomar_datafile_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "_" + std::to_string(++serial));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  static std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
  }
  static void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

  // Creates and flushes a table.
  std::unique_ptr<TDataFile> Create(const std::string& name, std::vector<TFieldDefinition> fields,
                                    bool encrypted = false, TFileList* list = nullptr, std::uint16_t language = 0) {
    auto file = std::make_unique<TDataFile>(Path(name), false, list);
    file->CreateFile(language, 0, std::move(fields), 0, "Films of the week", "Pass#1", encrypted, 3, 4);
    file->FlushTable(false, false);
    return file;
  }

  std::unique_ptr<TDataFile> Reopen(const std::string& name, TFileList* list = nullptr) {
    auto file = std::make_unique<TDataFile>(Path(name), false, list);
    file->Open();
    file->VerifyHeader();
    file->VerifyRecords();
    return file;
  }

  fs::path dir_;
};

const TFieldDefinition& F(const TDataFile& file, const char* name) {
  const TFieldDefinition* f = file.FieldByName(name);
  if (!f) throw std::logic_error(name);
  return *f;
}

void FillEveryType(TDataFile& file, std::uint8_t* r) {
  SetFieldString(r, F(file, "S"), "Casablanca");
  SetFieldInteger(r, F(file, "D"), 738000);
  SetFieldBlob(r, F(file, "B"), {12, 3});
  SetFieldBoolean(r, F(file, "L"), true);
  SetFieldSmallInt(r, F(file, "SI"), -1234);
  SetFieldInteger(r, F(file, "I"), 99999);
  SetFieldFloat(r, F(file, "F"), -2.5);
  SetFieldBcd(r, F(file, "M"), 123456);  // 12.3456 -> 12.35
  SetFieldBytes(r, F(file, "Y"), std::string("\x01\x02\x03", 3));
  SetFieldInteger(r, F(file, "T"), 3723000);
  SetFieldFloat(r, F(file, "TS"), 738000.0 * 86400000.0 + 1000.0);
  SetFieldWord(r, F(file, "W"), 65535);
  SetFieldCardinal(r, F(file, "C"), 4000000000u);
  SetFieldFloat(r, F(file, "X"), 1.0 / 3.0);
  SetFieldBytes(r, F(file, "V"), "abcde");
  SetFieldLargeInt(r, F(file, "LI"), -9000000000LL);
}

void ExpectEveryType(TDataFile& file, const std::uint8_t* r) {
  EXPECT_EQ(GetFieldString(r, F(file, "S")), "Casablanca");
  EXPECT_EQ(GetFieldInteger(r, F(file, "D")), 738000);
  EXPECT_EQ(GetFieldBlob(r, F(file, "B")).FirstBlock, 12);
  EXPECT_EQ(GetFieldBlob(r, F(file, "B")).ChangeNumber, 3);
  EXPECT_TRUE(GetFieldBoolean(r, F(file, "L")));
  EXPECT_EQ(GetFieldSmallInt(r, F(file, "SI")), -1234);
  EXPECT_EQ(GetFieldInteger(r, F(file, "I")), 99999);
  EXPECT_EQ(GetFieldFloat(r, F(file, "F")), -2.5);
  EXPECT_EQ(GetFieldBcd(r, F(file, "M")), 123500);
  EXPECT_EQ(GetFieldBytes(r, F(file, "Y")), std::string("\x01\x02\x03\0\0\0", 6));
  EXPECT_EQ(GetFieldInteger(r, F(file, "T")), 3723000);
  EXPECT_EQ(GetFieldFloat(r, F(file, "TS")), 738000.0 * 86400000.0 + 1000.0);
  EXPECT_EQ(GetFieldWord(r, F(file, "W")), 65535);
  EXPECT_EQ(GetFieldCardinal(r, F(file, "C")), 4000000000u);
  EXPECT_EQ(GetFieldFloat(r, F(file, "X")), 1.0 / 3.0);
  EXPECT_EQ(GetFieldBytes(r, F(file, "V")), "abcde");
  EXPECT_EQ(GetFieldLargeInt(r, F(file, "LI")), -9000000000LL);
}

class EveryTypeTest : public DataFileTest, public ::testing::WithParamInterface<bool> {};

TEST_P(EveryTypeTest, BytesAtDocumentedOffsetsAndValuesAfterReopen) {
  const bool encrypted = GetParam();
  std::int32_t identifier1 = 0;
  {
    auto file = Create("EVERY.DAT", EveryType(), encrypted);
    Insert(*file, [&](std::uint8_t* r) {
      FillEveryType(*file, r);
      identifier1 = RecordIdentifier(r);
    });
    Insert(*file, [&](std::uint8_t* r) { SetFieldInteger(r, F(*file, "I"), 7); });  // all else null
    file->FlushTable(false, false);
    file->Close();
  }
  const auto bytes = ReadBytes(Path("EVERY.DAT"));
  const int fieldCount = 17;
  const int recordSize = 9 + (21 + 1) + (4 + 1) + (8 + 1) + (2 + 1) + (2 + 1) + (4 + 1) + (8 + 1) + (34 + 1) + (6 + 1) +
                         (4 + 1) + (8 + 1) + (2 + 1) + (4 + 1) + (10 + 1) + (5 + 1) + (8 + 1);
  const std::size_t recordsAt = 127 + 768 * fieldCount;
  ASSERT_EQ(bytes.size(), recordsAt + 2u * recordSize);
  // Header.
  EXPECT_GE(bytes::Load<std::int32_t>(&bytes[0]), 1);   // change counter
  EXPECT_EQ(bytes[8], 5);                               // version
  EXPECT_EQ(bytes::Load<std::int32_t>(&bytes[9]), 0);   // first free
  EXPECT_EQ(bytes::Load<std::int32_t>(&bytes[13]), 3);  // next record number
  EXPECT_EQ(bytes::Load<std::int32_t>(&bytes[17]), 2);  // last auto-increment
  EXPECT_EQ(bytes::Load<std::uint16_t>(&bytes[21]), recordSize);
  EXPECT_EQ(bytes::Load<std::uint16_t>(&bytes[23]), fieldCount);
  EXPECT_EQ(bytes::Load<std::uint16_t>(&bytes[25]), 1);  // BLOB fields
  EXPECT_EQ(bytes[86], encrypted ? 1 : 0);
  EXPECT_EQ(bytes::Load<std::uint16_t>(&bytes[107]), 3);
  EXPECT_EQ(bytes::Load<std::uint16_t>(&bytes[109]), 4);
  EXPECT_EQ(bytes::Load<std::int32_t>(&bytes[116]), 32400);
  EXPECT_EQ(bytes::Load<std::int32_t>(&bytes[120]), 0);
  if (!encrypted) {
    EXPECT_EQ(bytes[35], 17);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[36]), 17), "Films of the week");
    EXPECT_EQ(bytes[87], 0) << "no password in a plain table";
  } else {
    EXPECT_NE(std::string(reinterpret_cast<const char*>(&bytes[36]), 17), "Films of the week");
  }
  // Field definition 9 (M, BCD scale 2), plain or scrambled on disk.
  std::vector<std::uint8_t> def(bytes.begin() + 127 + 768 * 8, bytes.begin() + 127 + 768 * 9);
  TFieldDefinition plain = EveryType()[8];
  AssignFieldOffsets(&plain, 1);
  if (encrypted) {
    EXPECT_NE(def[84], 8) << "definitions of an encrypted table are scrambled";
    Scramble(def.data(), def.size(), RecordScrambleSeeds);
  }
  EXPECT_EQ(bytes::Load<std::uint16_t>(&def[0]), 9);
  EXPECT_EQ(def[2], 1);
  EXPECT_EQ(def[3], 'M');
  EXPECT_EQ(def[84], 8);
  EXPECT_EQ(def[86], 0);
  EXPECT_EQ(def[87], 2);
  EXPECT_EQ(def[88], 34);
  EXPECT_EQ(bytes::Load<std::uint16_t>(&def[90]), 9 + 22 + 5 + 9 + 3 + 3 + 5 + 9);
  // Record 1: header, the string field and the integer field.
  std::vector<std::uint8_t> rec(bytes.begin() + static_cast<std::ptrdiff_t>(recordsAt),
                                bytes.begin() + static_cast<std::ptrdiff_t>(recordsAt + recordSize));
  if (encrypted) Scramble(rec.data(), rec.size(), RecordScrambleSeeds);
  EXPECT_EQ(rec[0], 0);
  EXPECT_EQ(bytes::Load<std::int32_t>(&rec[1]), 1);
  EXPECT_EQ(bytes::Load<std::int32_t>(&rec[5]), identifier1);
  EXPECT_EQ(rec[9], 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&rec[10])), "Casablanca");
  const int intOffset = 9 + 22 + 5 + 9 + 3 + 3;
  EXPECT_EQ(rec[static_cast<std::size_t>(intOffset)], 1);
  EXPECT_EQ(bytes::Load<std::int32_t>(&rec[static_cast<std::size_t>(intOffset + 1)]), 99999);

  auto file = Reopen("EVERY.DAT");
  EXPECT_EQ(file->Encrypted(), encrypted);
  EXPECT_EQ(file->Description(), "Films of the week");
  EXPECT_EQ(file->Password(), encrypted ? "Pass#1" : "");
  EXPECT_EQ(F(*file, "M").Scale, 2);
  EXPECT_EQ(F(*file, "S").DefaultValue, "none");
  EXPECT_EQ(F(*file, "I").MaxValue, "100000");
  {
    TPinnedRecord r1 = file->GetRecord(nullptr, 1);
    ExpectEveryType(*file, r1.Data());
  }
  TPinnedRecord r2 = file->GetRecord(nullptr, 2);
  for (const TFieldDefinition& f : file->Fields()) {
    if (f.Name == "I" || f.IsAutoInc()) continue;
    EXPECT_TRUE(IsFieldNull(r2.Data(), f)) << f.Name;
  }
  EXPECT_EQ(GetFieldInteger(r2.Data(), F(*file, "I")), 7);
  EXPECT_EQ(GetFieldInteger(r2.Data(), F(*file, "A")), 2) << "the auto-increment field is the identifier";
}

INSTANTIATE_TEST_SUITE_P(PlainAndEncrypted, EveryTypeTest, ::testing::Bool());

TEST_F(DataFileTest, NothingButTheEmptyFileExistsBeforeTheFirstFlush) {
  TDataFile file(Path("NEW.DAT"));
  file.CreateFile(0, 0, Numbered({Field("A", TFieldType::Integer)}), 0, "", "", false);
  EXPECT_EQ(ReadBytes(Path("NEW.DAT")).size(), 0u);
  file.FlushTable(false, false);
  EXPECT_EQ(ReadBytes(Path("NEW.DAT")).size(), 127u + 768u);
}

TEST_F(DataFileTest, CreateLimits) {
  struct Case {
    std::vector<TFieldDefinition> fields;
    TEngineErrorCode code;
  };
  std::vector<TFieldDefinition> blobs;
  for (int i = 0; i < 129; ++i) blobs.push_back(Field(("B" + std::to_string(i)).c_str(), TFieldType::Blob));
  std::vector<TFieldDefinition> wide;
  for (int i = 0; i < 262; ++i) wide.push_back(Field(("S" + std::to_string(i)).c_str(), TFieldType::String, 250));
  std::vector<TFieldDefinition> many(1025, Field("X", TFieldType::Integer));
  const Case cases[] = {{blobs, QUARRY_BLOBLIMIT}, {wide, QUARRY_RECTOOBIG}, {many, QUARRY_FLDLIMIT}};
  for (const Case& c : cases) {
    TDataFile file(Path("LIMIT.DAT"));
    try {
      file.CreateFile(0, 0, Numbered(c.fields), 0, "", "", false);
      ADD_FAILURE() << "no error for code " << c.code;
    } catch (const EQuarryEngineError& e) {
      EXPECT_EQ(e.Code(), c.code);
    }
    EXPECT_FALSE(fs::exists(Path("LIMIT.DAT"))) << "a refused create leaves no file";
  }
}

TEST_F(DataFileTest, DeletedSlotsAreReusedMostRecentFirst) {
  auto file = Create("FREE.DAT", Numbered({Field("I", TFieldType::Integer)}));
  for (int i = 1; i <= 8; ++i) Insert(*file, [&](std::uint8_t* r) { SetFieldInteger(r, F(*file, "I"), i); });
  for (int n : {3, 7}) {
    TPinnedRecord r = file->GetRecord(nullptr, n);
    file->FreeRecord(r.get());
  }
  EXPECT_EQ(file->FirstFree(), 7);
  {
    TPinnedRecord r7 = file->GetRecord(nullptr, 7);
    EXPECT_EQ(RecordStatus(r7.Data()), RecordDeleted);
    EXPECT_EQ(RecordLink(r7.Data()), 3);
  }
  file->FlushTable(false, false);
  file.reset();
  file = Reopen("FREE.DAT");
  EXPECT_EQ(file->FirstFree(), 7);
  EXPECT_EQ(Insert(*file, [](std::uint8_t*) {}), 7);
  EXPECT_EQ(Insert(*file, [](std::uint8_t*) {}), 3);
  EXPECT_EQ(Insert(*file, [](std::uint8_t*) {}), 9);
  EXPECT_EQ(file->FirstFree(), 0);
  // A table without slot reuse always appends.
  TPinnedRecord r = file->GetRecord(nullptr, 2);
  file->FreeRecord(r.get());
  r.Reset();
  file->SetSlotReuse(false);
  EXPECT_EQ(file->NewRecordNumber(), 10);
  file->FlushTable(false, false);
  file.reset();
  file = Reopen("FREE.DAT");
  EXPECT_EQ(file->PhysicalRecordCount(), 9);
}

TEST_F(DataFileTest, RecordWalkFindsBrokenChainsAndRecords) {
  struct Case {
    const char* what;
    std::function<void(TDataFile&)> damage;
  };
  const Case cases[] = {
      {"a loop", [](TDataFile& f) { SetRecordLink(f.GetRecord(nullptr, 2).Data(), 4); }},
      {"a deleted slot off the chain", [](TDataFile& f) { SetRecordLink(f.GetRecord(nullptr, 4).Data(), 0); }},
      {"a chain through an active record", [](TDataFile& f) { SetRecordLink(f.GetRecord(nullptr, 2).Data(), 3); }},
      {"an active record with another number", [](TDataFile& f) { SetRecordLink(f.GetRecord(nullptr, 5).Data(), 6); }},
  };
  for (const Case& c : cases) {
    auto file = Create("WALK.DAT", Numbered({Field("I", TFieldType::Integer)}));
    for (int i = 0; i < 6; ++i) Insert(*file, [](std::uint8_t*) {});
    for (int n : {2, 4}) file->FreeRecord(file->GetRecord(nullptr, n).get());  // chain 4 -> 2
    EXPECT_NO_THROW(file->VerifyRecords()) << c.what;
    c.damage(*file);
    try {
      file->VerifyRecords();
      ADD_FAILURE() << c.what;
    } catch (const EQuarryEngineError& e) {
      EXPECT_EQ(e.Code(), QUARRY_FILECORRUPT) << c.what;
    }
    file.reset();
    fs::remove(Path("WALK.DAT"));
  }
}

TEST_F(DataFileTest, ABrokenFreeChainIsReportedNotFollowed) {
  auto file = Create("CHAIN.DAT", Numbered({Field("I", TFieldType::Integer)}));
  for (int i = 1; i <= 3; ++i) Insert(*file, [](std::uint8_t*) {});
  {
    TPinnedRecord r = file->GetRecord(nullptr, 2);
    file->FreeRecord(r.get());
    SetRecordLink(r.Data(), 99);  // link beyond the file
  }
  try {
    file->AllocateRecord();
    FAIL();
  } catch (const EQuarryEngineError& e) {
    EXPECT_EQ(e.Code(), QUARRY_FILECORRUPT);
  }
}

TEST_F(DataFileTest, RecordNumbersOutOfRangeAndTableFull) {
  auto file = Create("RANGE.DAT", Numbered({Field("S", TFieldType::String, 250), Field("T", TFieldType::String, 250)}));
  Insert(*file, [](std::uint8_t*) {});
  for (std::int32_t n : {0, -1, 3}) {
    try {
      file->GetRecord(nullptr, n);
      ADD_FAILURE() << n;
    } catch (const EQuarryEngineError& e) {
      EXPECT_EQ(e.Code(), QUARRY_FILECORRUPT) << n;
    }
  }
  file->FlushTable(false, false);
  file->Close();
  // A header that claims a record count near the 4,000,000,000-byte end (record size 513:
  // record 7,797,267 ends at 3,999,999,634; the next would pass the limit).
  struct Case {
    std::int32_t next;
    bool full;
  };
  const Case cases[] = {{7797267, false}, {7797268, true}, {200000001, true}};
  for (const Case& c : cases) {
    auto bytes = ReadBytes(Path("RANGE.DAT"));
    bytes::Store<std::int32_t>(&bytes[13], c.next);
    WriteBytes(Path("RANGE.DAT"), bytes);
    TDataFile big(Path("RANGE.DAT"));
    big.Open();
    try {
      TPinnedRecord r = big.GetRecord(nullptr, c.next);
      EXPECT_FALSE(c.full) << c.next;
      EXPECT_EQ(big.NextRecordNo(), c.next + 1);
    } catch (const EQuarryEngineError& e) {
      EXPECT_TRUE(c.full) << c.next;
      EXPECT_EQ(e.Code(), QUARRY_TABLEFULL);
    }
    big.DiscardRecords();
  }
}

// Whole records appended in one write land after the cached ones, take the numbers that
// follow, and read back (plain and scrambled) before and after a reopen.
TEST_F(DataFileTest, AppendedRecordsFollowTheCachedOnes) {
  for (const bool encrypted : {false, true}) {
    SCOPED_TRACE(encrypted ? "scrambled" : "plain");
    const std::string name = encrypted ? "APPENDX.DAT" : "APPEND.DAT";
    auto fields = Numbered({Field("I", TFieldType::Integer), Field("S", TFieldType::String, 12)});
    auto file = Create(name, fields, encrypted);
    Insert(*file, [&](std::uint8_t* r) { SetFieldInteger(r, fields[0], 1); });
    Insert(*file, [&](std::uint8_t* r) { SetFieldInteger(r, fields[0], 2); });
    const std::size_t size = static_cast<std::size_t>(file->RecordSize());
    std::vector<std::uint8_t> block(3 * size, 0);
    for (int i = 0; i < 3; ++i) {
      std::uint8_t* r = block.data() + static_cast<std::size_t>(i) * size;
      SetFieldInteger(r, fields[0], 3 + i);
      SetFieldString(r, fields[1], "block " + std::to_string(i));
      SetRecordIdentifier(r, file->NextAutoIncValue());
    }
    file->AppendRecords(block.data(), 3);
    EXPECT_EQ(file->NextRecordNo(), 6);
    EXPECT_EQ(Insert(*file, [&](std::uint8_t* r) { SetFieldInteger(r, fields[0], 6); }), 6);
    const auto check = [&](TDataFile& f) {
      ASSERT_EQ(f.PhysicalRecordCount(), 6);
      for (std::int32_t n = 1; n <= 6; ++n) {
        TPinnedRecord r = f.GetRecord(nullptr, n);
        EXPECT_EQ(RecordStatus(r.Data()), RecordActive) << n;
        EXPECT_EQ(RecordLink(r.Data()), n);
        EXPECT_EQ(GetFieldInteger(r.Data(), fields[0]), n);
        if (n >= 3 && n <= 5) {
          EXPECT_EQ(GetFieldString(r.Data(), fields[1]), "block " + std::to_string(n - 3));
        }
      }
    };
    check(*file);
    file->FlushTable(false, false);
    file->Close();
    auto again = Reopen(name);
    check(*again);
  }
}

TEST_F(DataFileTest, NumbersWrapAfterTheLargestInteger) {
  auto file = Create("WRAP.DAT", Numbered({Field("I", TFieldType::Integer)}));
  file->SetLastAutoIncValue(INT32_MAX - 1);
  EXPECT_EQ(file->NextAutoIncValue(), INT32_MAX);
  EXPECT_EQ(file->NextAutoIncValue(), 1);
  file->UpdateTableInfo("", "d", 0, 0, INT32_MAX);
  EXPECT_EQ(file->NextAutoIncValue(), 1);
  for (int i = 0; i < 3; ++i) file->NextBlobChangeNumber();
  EXPECT_EQ(file->LastBlobChangeNumber(), 3);
  file->FlushTable(false, false);
  file.reset();
  file = Reopen("WRAP.DAT");
  EXPECT_EQ(file->LastAutoIncValue(), 1);
  EXPECT_EQ(file->LastBlobChangeNumber(), 3);
}

TEST_F(DataFileTest, EmptyKeepsDefinitionsAndAdvancesTheChangeCounter) {
  auto file = Create("EMPTY.DAT", Numbered({Field("I", TFieldType::Integer)}));
  for (int i = 0; i < 5; ++i) Insert(*file, [](std::uint8_t*) {});
  file->FlushTable(false, false);
  const std::int32_t counter = file->ChangeCounter();
  file->Empty();
  EXPECT_GT(file->ChangeCounter(), counter);
  EXPECT_EQ(ReadBytes(Path("EMPTY.DAT")).size(), 127u + 768u);
  file.reset();
  file = Reopen("EMPTY.DAT");
  EXPECT_EQ(file->PhysicalRecordCount(), 0);
  EXPECT_EQ(file->LastAutoIncValue(), 0);
}

TEST_F(DataFileTest, FieldAndTableInfoUpdatesArePersisted) {
  auto file = Create("INFO.DAT", Numbered({Field("I", TFieldType::Integer), Field("S", TFieldType::String, 5)}), true);
  TFieldDefinition changed = F(*file, "S");
  changed.Name = "Title";
  changed.Required = true;
  changed.DefaultValue = "x";
  file->UpdateFieldInfo(2, changed);
  file->UpdateTableInfo("NewPw", "Other", 7, 8, 40);
  file->FlushTable(false, false);
  file.reset();
  file = Reopen("INFO.DAT");
  ASSERT_NE(file->FieldByName(" title "), nullptr);
  EXPECT_TRUE(file->FieldByName("TITLE")->Required);
  EXPECT_EQ(file->FieldByNumber(2)->DefaultValue, "x");
  EXPECT_EQ(file->FieldByNumber(3), nullptr);
  EXPECT_EQ(file->Password(), "NewPw");
  EXPECT_EQ(file->Description(), "Other");
  EXPECT_EQ(file->UserMajorVersion(), 7);
  EXPECT_EQ(file->LastAutoIncValue(), 40);
}

TEST_F(DataFileTest, HeaderChangesOfAnotherOpenAreSeen) {
  Create("SHARED.DAT", Numbered({Field("I", TFieldType::Integer)}));
  auto writer = std::make_unique<TDataFile>(Path("SHARED.DAT"));
  writer->Open();
  TDataFile reader(Path("SHARED.DAT"));
  reader.Open();
  EXPECT_FALSE(reader.HeaderChanged());
  Insert(*writer, [](std::uint8_t*) {});
  writer->FlushTable(false, false);
  EXPECT_TRUE(reader.HeaderChanged());
  EXPECT_EQ(reader.NextRecordNo(), 2);
  EXPECT_FALSE(reader.HeaderChanged());
}

// ---- damaged files ----

struct Damage {
  const char* what;
  std::function<void(std::vector<std::uint8_t>&)> apply;
  TEngineErrorCode code;
};

std::size_t DefAt(int field, int offset) { return 127 + 768 * std::size_t(field - 1) + std::size_t(offset); }

TEST_F(DataFileTest, DamagedFilesGiveTheirErrorCodes) {
  auto fields = Numbered({Field("ID", TFieldType::Integer), Field("Title", TFieldType::String, 10),
                          Field("N", TFieldType::Integer, 0, subtype::AutoInc), Field("Notes", TFieldType::Blob)});
  {
    auto file = Create("GOOD.DAT", fields);
    for (int i = 0; i < 3; ++i) Insert(*file, [](std::uint8_t*) {});
    file->FlushTable(false, false);
  }
  const auto good = ReadBytes(Path("GOOD.DAT"));
  const std::vector<Damage> cases = {
      {"truncated header", [](auto& b) { b.resize(100); }, QUARRY_HEADERCORRUPT},
      {"empty file", [](auto& b) { b.clear(); }, QUARRY_HEADERCORRUPT},
      {"truncated definitions", [](auto& b) { b.resize(127 + 768 + 10); }, QUARRY_HEADERCORRUPT},
      {"wrong version", [](auto& b) { b[8] = 4; }, QUARRY_OLDVERSION},
      {"record count beyond the file", [](auto& b) { bytes::Store<std::int32_t>(&b[13], 9); }, QUARRY_HEADERCORRUPT},
      {"not a whole number of records", [](auto& b) { b.erase(b.end() - 3, b.end()); }, QUARRY_HEADERCORRUPT},
      {"first free beyond the records", [](auto& b) { bytes::Store<std::int32_t>(&b[9], 4); }, QUARRY_HEADERCORRUPT},
      {"more than 1,024 fields", [](auto& b) { bytes::Store<std::uint16_t>(&b[23], 1025); }, QUARRY_HEADERCORRUPT},
      {"record size too small", [](auto& b) { bytes::Store<std::uint16_t>(&b[21], 5); }, QUARRY_HEADERCORRUPT},
      {"record size not the fields'", [](auto& b) { bytes::Store<std::uint16_t>(&b[21], 40); }, QUARRY_HEADERCORRUPT},
      {"unknown language", [](auto& b) { bytes::Store<std::uint16_t>(&b[103], 0x7F7F); }, QUARRY_CANNOTLOADLDDRV},
      {"type 0", [](auto& b) { b[DefAt(1, 84)] = 0; }, QUARRY_HEADERCORRUPT},
      {"type 16", [](auto& b) { b[DefAt(1, 84)] = 16; }, QUARRY_HEADERCORRUPT},
      {"empty name", [](auto& b) { b[DefAt(2, 2)] = 0; }, QUARRY_HEADERCORRUPT},
      {"name too long", [](auto& b) { b[DefAt(2, 2)] = 31; }, QUARRY_HEADERCORRUPT},
      {"name starts with a digit", [](auto& b) { b[DefAt(2, 3)] = '9'; }, QUARRY_HEADERCORRUPT},
      {"duplicate name",
       [](auto& b) {
         b[DefAt(2, 2)] = 2;
         b[DefAt(2, 3)] = 'i';
         b[DefAt(2, 4)] = 'D';
       },
       QUARRY_HEADERCORRUPT},
      {"duplicate number", [](auto& b) { b[DefAt(2, 0)] = 1; }, QUARRY_HEADERCORRUPT},
      {"number not the position", [](auto& b) { b[DefAt(4, 0)] = 9; }, QUARRY_HEADERCORRUPT},
      {"size on an integer", [](auto& b) { b[DefAt(1, 86)] = 4; }, QUARRY_HEADERCORRUPT},
      {"string over 250", [](auto& b) { b[DefAt(2, 86)] = 251; }, QUARRY_HEADERCORRUPT},
      {"storage size wrong", [](auto& b) { b[DefAt(1, 88)] = 2; }, QUARRY_HEADERCORRUPT},
      {"scale on an integer", [](auto& b) { b[DefAt(1, 87)] = 2; }, QUARRY_HEADERCORRUPT},
      {"offset wrong", [](auto& b) { b[DefAt(2, 90)] = 15; }, QUARRY_HEADERCORRUPT},
      {"offset outside the record", [](auto& b) { b[DefAt(2, 90)] = 200; }, QUARRY_HEADERCORRUPT},
      {"auto-increment not at 5", [](auto& b) { b[DefAt(3, 90)] = 9; }, QUARRY_HEADERCORRUPT},
      {"default not a number",
       [](auto& b) {
         b[DefAt(1, 196)] = 2;
         b[DefAt(1, 197)] = 'x';
         b[DefAt(1, 198)] = '1';
       },
       QUARRY_HEADERCORRUPT},
      {"computed flag on disk", [](auto& b) { b[DefAt(4, 247)] = 1; }, QUARRY_HEADERCORRUPT},
      {"BLOB count wrong", [](auto& b) { bytes::Store<std::uint16_t>(&b[25], 2); }, QUARRY_HEADERCORRUPT},
  };
  for (const Damage& d : cases) {
    auto bytes = good;
    d.apply(bytes);
    WriteBytes(Path("BAD.DAT"), bytes);
    try {
      TDataFile file(Path("BAD.DAT"));
      file.Open();
      file.VerifyHeader();
      ADD_FAILURE() << d.what << ": accepted";
    } catch (const EQuarryEngineError& e) {
      EXPECT_EQ(e.Code(), d.code) << d.what;
      EXPECT_NE(std::string(e.what()).find("BAD.DAT"), std::string::npos) << d.what;
    }
  }
  // The undamaged file passes, and a valid default text is accepted.
  auto bytes = good;
  bytes[DefAt(1, 196)] = 2;
  bytes[DefAt(1, 197)] = '4';
  bytes[DefAt(1, 198)] = '2';
  WriteBytes(Path("OK.DAT"), bytes);
  EXPECT_NO_THROW(Reopen("OK.DAT"));
}

// Mutated headers and definitions never crash the engine: every outcome is a clean open or
// an engine error. Bounded in time; longer with PELLOMAR_SOAK.
TEST_F(DataFileTest, FuzzedHeadersGiveEngineErrorsOnly) {
  auto fields = EveryType();
  {
    auto file = Create("SEED.DAT", fields);
    for (int i = 0; i < 4; ++i) Insert(*file, [&](std::uint8_t* r) { FillEveryType(*file, r); });
    file->FlushTable(false, false);
  }
  const auto seed = ReadBytes(Path("SEED.DAT"));
  const auto budget = std::chrono::seconds(std::getenv("PELLOMAR_SOAK") ? 120 : 3);
  std::mt19937 random(12345);
  const auto start = std::chrono::steady_clock::now();
  int rounds = 0;
  std::map<int, int> outcomes;
  while (std::chrono::steady_clock::now() - start < budget) {
    ++rounds;
    auto bytes = seed;
    const int mutations = 1 + static_cast<int>(random() % 4);
    for (int m = 0; m < mutations; ++m) {
      // Mostly the header and the definitions, sometimes the file length.
      switch (random() % 6) {
      case 0: bytes.resize(random() % (bytes.size() + 1)); break;
      case 1:
        if (!bytes.empty())
          bytes[random() % std::min<std::size_t>(bytes.size(), 127)] = static_cast<std::uint8_t>(random());
        break;
      case 2: {
        const std::size_t at = 9 + 4 * (random() % 5);
        if (at + 4 <= bytes.size()) bytes::Store<std::int32_t>(&bytes[at], static_cast<std::int32_t>(random()));
        break;
      }
      default:
        if (!bytes.empty()) bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
        break;
      }
    }
    WriteBytes(Path("FUZZ.DAT"), bytes);
    try {
      TDataFile file(Path("FUZZ.DAT"));
      file.Open();
      file.VerifyHeader();
      // A file that verifies can be read throughout.
      for (std::int32_t n = 1; n < file.NextRecordNo(); ++n) {
        TPinnedRecord r = file.GetRecord(nullptr, n, TReadDirection::Forward, true);
        for (const TFieldDefinition& f : file.Fields()) (void)GetFieldBytes(r.Data(), f);
      }
      outcomes[0]++;
    } catch (const EQuarryEngineError& e) {
      outcomes[e.Code()]++;
    }
  }
  EXPECT_GT(rounds, 50);
  EXPECT_GT(outcomes[QUARRY_HEADERCORRUPT], 0);
}

// ---- failed writes and flushes ----

class FaultTest : public DataFileTest {
 protected:
  FaultTest() : faults_(DefaultEnvironment()), list_(faults_) {}
  TFaultInjectingEnvironment faults_;
  TFileList list_;
};

TEST_F(FaultTest, AFailedWriteOrFlushLeavesEveryReportedRecord) {
  auto fields = Numbered({Field("I", TFieldType::Integer), Field("S", TFieldType::String, 40)});
  struct Case {
    TFaultOperation op;
    TFaultEffect effect;
    int nth;
    bool sticky;
  };
  const Case cases[] = {
      {TFaultOperation::kWrite, TFaultEffect::kError, 1, false},
      {TFaultOperation::kWrite, TFaultEffect::kShortWrite, 1, false},
      {TFaultOperation::kWrite, TFaultEffect::kError, 2, false},
      {TFaultOperation::kWrite, TFaultEffect::kShortWrite, 3, false},
      {TFaultOperation::kWrite, TFaultEffect::kError, 1, true},
      {TFaultOperation::kFlush, TFaultEffect::kError, 1, false},
  };
  int caseNo = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(caseNo);
    const std::string name = "FAULT" + std::to_string(caseNo++) + ".DAT";
    std::map<std::int32_t, std::int32_t> reported;  // record -> value last reported written
    {
      TDataFile file(Path(name), false, &list_);
      file.CreateFile(0, 0, fields, 0, "", "", false);
      TDataFileSettings settings;
      settings.RecordBufferBytes = 20 * 64;  // a small cache: evictions write records too
      file.SetSettings(settings);
      file.FlushTable(true, false);
      std::map<std::int32_t, std::int32_t> pending;
      bool failed = false;
      for (int round = 0; round < 40 && !failed; ++round) {
        if (round == 20) faults_.FailNth(c.op, c.nth, c.effect, c.sticky);
        try {
          // Append three records and update an older one, then flush (with the OS flush).
          for (int k = 0; k < 3; ++k) {
            const std::int32_t value = round * 10 + k;
            const std::int32_t n = Insert(file, [&](std::uint8_t* r) {
              SetFieldInteger(r, file.Fields()[0], value);
              SetFieldString(r, file.Fields()[1], "row " + std::to_string(value));
            });
            pending[n] = value;
          }
          if (file.PhysicalRecordCount() > 5) {
            const std::int32_t n = 1 + round % 5;
            TPinnedRecord r = file.GetRecord(nullptr, n);
            SetFieldInteger(r.Data(), file.Fields()[0], 1000 + round);
            SetFieldString(r.Data(), file.Fields()[1], "row " + std::to_string(1000 + round));
            file.MarkDirty(r.get());
            pending[n] = 1000 + round;
          }
          file.FlushTable(true, false);
          for (auto& [n, v] : pending) reported[n] = v;
          pending.clear();
        } catch (const EQuarryEngineError& e) {
          EXPECT_EQ(e.Code(), QUARRY_WRITEERR);
          failed = true;
          // Records of the failed change were not reported: a torn update may hold either value.
          for (auto& [n, v] : pending) reported.erase(n);
        }
      }
      EXPECT_TRUE(failed) << "the fault fired";
      faults_.Clear();
      file.DiscardRecords();
    }
    // Reopened through the plain environment, the table verifies and holds what was reported.
    auto file = Reopen(name);
    for (auto& [n, v] : reported) {
      ASSERT_LT(n, file->NextRecordNo());
      TPinnedRecord r = file->GetRecord(nullptr, n);
      EXPECT_EQ(GetFieldInteger(r.Data(), file->Fields()[0]), v) << n;
      EXPECT_EQ(GetFieldString(r.Data(), file->Fields()[1]), "row " + std::to_string(v)) << n;
    }
  }
}

TEST_F(FaultTest, AFailedWriteRollsTheTableBackToItsLastFlush) {
  auto fields = Numbered({Field("I", TFieldType::Integer)});
  TDataFile file(Path("BACK.DAT"), false, &list_);
  file.CreateFile(0, 0, fields, 0, "", "", false);
  for (int i = 0; i < 4; ++i) Insert(file, [&](std::uint8_t* r) { SetFieldInteger(r, fields[0], i); });
  file.FlushTable(false, false);
  for (int i = 0; i < 4; ++i) Insert(file, [&](std::uint8_t* r) { SetFieldInteger(r, fields[0], i); });
  faults_.FailNth(TFaultOperation::kWrite, 2);  // records pass, the header write fails
  EXPECT_THROW(file.FlushTable(false, false), EQuarryEngineError);
  EXPECT_EQ(file.PhysicalRecordCount(), 4);
  EXPECT_EQ(file.Cache().Count(), 0);
  // The table goes on from there.
  Insert(file, [&](std::uint8_t* r) { SetFieldInteger(r, fields[0], 77); });
  file.FlushTable(false, false);
  file.Close();
  auto again = Reopen("BACK.DAT");
  EXPECT_EQ(again->PhysicalRecordCount(), 5);
  TPinnedRecord r = again->GetRecord(nullptr, 5);
  EXPECT_EQ(GetFieldInteger(r.Data(), fields[0]), 77);
}

TEST_F(FaultTest, AFailedAppendLeavesTheTableAsLastFlushed) {
  auto fields = Numbered({Field("I", TFieldType::Integer)});
  TDataFile file(Path("APPFAIL.DAT"), false, &list_);
  file.CreateFile(0, 0, fields, 0, "", "", false);
  Insert(file, [&](std::uint8_t* r) { SetFieldInteger(r, fields[0], 1); });
  file.FlushTable(false, false);
  std::vector<std::uint8_t> block(2 * static_cast<std::size_t>(file.RecordSize()), 0);
  faults_.FailNth(TFaultOperation::kWrite, 1);
  EXPECT_THROW(file.AppendRecords(block.data(), 2), EQuarryEngineError);
  EXPECT_EQ(file.PhysicalRecordCount(), 1);
  file.FlushTable(false, false);
  file.Close();
  auto again = Reopen("APPFAIL.DAT");
  EXPECT_EQ(again->PhysicalRecordCount(), 1);
}

TEST_F(FaultTest, AFailedDefinitionsWriteKeepsTheOldDefinitions) {
  for (TFaultEffect effect : {TFaultEffect::kError, TFaultEffect::kShortWrite}) {
    {
      TDataFile file(Path("DEFS.DAT"), false, &list_);
      file.CreateFile(0, 0, Numbered({Field("I", TFieldType::Integer), Field("S", TFieldType::String, 5)}), 0, "", "",
                      true);
      Insert(file, [&](std::uint8_t* r) { SetFieldInteger(r, F(file, "I"), 5); });
      file.FlushTable(false, false);
      TFieldDefinition renamed = F(file, "S");
      renamed.Name = "Renamed";
      file.UpdateFieldInfo(2, renamed);
      faults_.FailNth(TFaultOperation::kWrite, 1, effect);
      try {
        file.FlushTable(false, false);
        ADD_FAILURE() << "no error";
      } catch (const EQuarryEngineError& e) {
        EXPECT_EQ(e.Code(), QUARRY_WRITEERR);
      }
      faults_.Clear();
      EXPECT_NE(file.FieldByName("S"), nullptr) << "the old definitions are back in memory";
    }
    auto file = Reopen("DEFS.DAT", &list_);
    EXPECT_NE(file->FieldByName("S"), nullptr);
    EXPECT_EQ(GetFieldInteger(file->GetRecord(nullptr, 1).Data(), F(*file, "I")), 5);
    file.reset();
    fs::remove(Path("DEFS.DAT"));
  }
}

TEST_F(FaultTest, FailedReadsTruncationsAndOpensAreEngineErrorsAndChangeNothing) {
  {
    TDataFile file(Path("OPS.DAT"), false, &list_);
    file.CreateFile(0, 0, Numbered({Field("I", TFieldType::Integer)}), 0, "", "", false);
    for (int i = 0; i < 10; ++i) Insert(file, [&](std::uint8_t* r) { SetFieldInteger(r, file.Fields()[0], i); });
    file.FlushTable(false, false);
  }
  struct Case {
    const char* what;
    TFaultOperation op;
    std::function<void(TDataFile&)> action;
    TEngineErrorCode code;
  };
  const Case cases[] = {
      {"read of a record", TFaultOperation::kRead,
       [](TDataFile& f) {
         f.Open();
         f.GetRecord(nullptr, 4);
       },
       QUARRY_READERR},
      {"read of the header", TFaultOperation::kRead, [](TDataFile& f) { f.Open(); }, QUARRY_READERR},
      {"truncation by Empty", TFaultOperation::kSetSize,
       [](TDataFile& f) {
         f.Open();
         f.Empty();
       },
       QUARRY_WRITEERR},
      // A refused read-write open is retried read-only; a second refusal is the error.
      {"open", TFaultOperation::kOpen, [](TDataFile& f) { f.Open(); }, 0},
  };
  for (const Case& c : cases) {
    {
      TDataFile file(Path("OPS.DAT"), false, &list_);
      faults_.FailNth(c.op, 1, TFaultEffect::kError, c.op == TFaultOperation::kOpen);
      try {
        c.action(file);
        ADD_FAILURE() << c.what << ": no error";
      } catch (const EQuarryEngineError& e) {
        if (c.code != 0) {
          EXPECT_EQ(e.Code(), c.code) << c.what;
        }
      }
      faults_.Clear();
    }
    auto file = Reopen("OPS.DAT", &list_);
    EXPECT_EQ(file->PhysicalRecordCount(), 10) << c.what;
  }
}

TEST_F(FaultTest, ForceBufferFlushAsksTheSystemAfterEveryWrite) {
  TDataFile file(Path("SYNC.DAT"), false, &list_);
  file.CreateFile(0, 0, Numbered({Field("I", TFieldType::Integer)}), 0, "", "", false);
  const auto before = faults_.Count(TFaultOperation::kFlush);
  file.FlushTable(false, false);
  EXPECT_EQ(faults_.Count(TFaultOperation::kFlush), before) << "not asked for";
  TDataFileSettings settings;
  settings.ForceBufferFlush = true;
  file.SetSettings(settings);
  EXPECT_FALSE(file.FlushTable(false, false)) << "nothing to write, nothing flushed";
  EXPECT_EQ(faults_.Count(TFaultOperation::kFlush), before);
  Insert(file, [](std::uint8_t*) {});
  EXPECT_TRUE(file.FlushTable(false, false));
  EXPECT_EQ(faults_.Count(TFaultOperation::kFlush), before + 1);
}

// A crash drops everything written since the last flush to the device: with ForceBufferFlush
// the table then holds exactly the changes of its last completed flush.
TEST(DataFileCrash, ReopensWithTheLastFlushedChanges) {
  TMemoryEnvironment environment;
  TFileList list(environment);
  auto fields = Numbered({Field("I", TFieldType::Integer), Field("S", TFieldType::String, 30)});
  std::mt19937 random(99);
  for (int trial = 0; trial < 20; ++trial) {
    const std::string path = "/CRASH" + std::to_string(trial) + ".DAT";
    std::map<std::int32_t, std::int32_t> flushed;
    {
      TDataFile file(path, false, &list);
      file.CreateFile(0, 0, fields, 0, "", "", false);
      TDataFileSettings settings;
      settings.ForceBufferFlush = true;
      settings.RecordBufferBytes = 10 * 44;  // evictions write unflushed records
      file.SetSettings(settings);
      file.FlushTable(false, false);
      std::map<std::int32_t, std::int32_t> current;
      const int changes = 1 + static_cast<int>(random() % 12);
      for (int change = 0; change < changes; ++change) {
        for (int k = 0; k < 1 + static_cast<int>(random() % 15); ++k) {
          const std::int32_t value = static_cast<std::int32_t>(random() % 100000);
          if (!current.empty() && random() % 3 == 0) {
            auto it = std::next(current.begin(), static_cast<long>(random() % current.size()));
            TPinnedRecord r = file.GetRecord(nullptr, it->first);
            SetFieldInteger(r.Data(), fields[0], value);
            file.MarkDirty(r.get());
            it->second = value;
          } else {
            current[Insert(file, [&](std::uint8_t* r) { SetFieldInteger(r, fields[0], value); })] = value;
          }
        }
        if (change + 1 < changes) {
          file.FlushTable(false, false);
          flushed = current;
        }
      }
      environment.DropUnsyncedData();
      file.DiscardRecords();
    }
    TDataFile file(path, false, &list);
    file.Open();
    ASSERT_NO_THROW(file.VerifyHeader()) << trial;
    ASSERT_EQ(file.PhysicalRecordCount(), static_cast<std::int64_t>(flushed.size())) << trial;
    for (auto& [n, v] : flushed) EXPECT_EQ(GetFieldInteger(file.GetRecord(nullptr, n).Data(), fields[0]), v);
  }
}

// A writer killed after appending records but before writing the header leaves slots past
// the header's count: the table opens without them, and the next appends write over them.
TEST_F(DataFileTest, SlotsPastTheHeadersCountAreNotPartOfTheTable) {
  auto fields = Numbered({Field("I", TFieldType::Integer)});
  {
    auto file = Create("KILLED.DAT", fields);
    for (int i = 1; i <= 2; ++i) Insert(*file, [&](std::uint8_t* r) { SetFieldInteger(r, fields[0], i); });
    file->FlushTable(false, false);
  }
  auto bytes = ReadBytes(Path("KILLED.DAT"));
  const std::size_t recordSize = (bytes.size() - 127 - 768) / 2;
  // One whole slot and part of another beyond the header's count.
  std::vector<std::uint8_t> extra(recordSize + recordSize / 2, 0x5A);
  bytes.insert(bytes.end(), extra.begin(), extra.end());
  WriteBytes(Path("KILLED.DAT"), bytes);
  auto file = Reopen("KILLED.DAT");
  EXPECT_EQ(file->PhysicalRecordCount(), 2);
  const std::int32_t appended = Insert(*file, [&](std::uint8_t* r) { SetFieldInteger(r, fields[0], 3); });
  EXPECT_EQ(appended, 3);
  file->FlushTable(false, false);
  file.reset();
  file = Reopen("KILLED.DAT");
  EXPECT_EQ(file->PhysicalRecordCount(), 3);
  EXPECT_EQ(GetFieldInteger(file->GetRecord(nullptr, 3).Data(), fields[0]), 3);
}

TEST(DataFileInMemory, AnInMemoryTableLivesInTheFileListAndSortsThere) {
  TMemoryEnvironment environment;
  TFileList list(environment);
  auto fields = Numbered({Field("K", TFieldType::Integer)});
  {
    TDataFile file("RESULT.DAT", true, &list);
    file.CreateFile(0, 0, fields, 0, "", "", false);
    TDataFileSettings settings;
    settings.RecordBufferCount = 100;  // runs of 100 records
    file.SetSettings(settings);
    for (int i = 0; i < 1000; ++i)
      Insert(file, [&](std::uint8_t* r) { SetFieldInteger(r, fields[0], (i * 37) % 1000); });
    file.FlushTable(false, true);
    TSortOptions options;
    options.KeyFields = {fields[0]};
    options.KeyFields[0].Descending = true;
    file.SortRecords(options);
    EXPECT_EQ(file.LastSortRuns(), 10);
    file.Close();
  }
  EXPECT_EQ(list.FileCount(), 1u) << "the run files are gone, the table stays";
  TDataFile file("RESULT.DAT", true, &list);
  file.Open();
  file.VerifyHeader();
  for (std::int32_t n = 1; n <= 1000; ++n)
    ASSERT_EQ(GetFieldInteger(file.GetRecord(nullptr, n, TReadDirection::Forward, true).Data(), fields[0]), 1000 - n);
}

// ---- the record cache ----

class CountingReader : public TRecordReader {
 public:
  bool CheckForChanges() override {
    ++checks;
    return refresh;
  }
  int checks = 0;
  bool refresh = false;
};

TEST_F(DataFileTest, SequentialReadsAreBatchedAndWritesCoalesced) {
  // 100-byte records: 81 per 8 KB read.
  auto fields = Numbered({Field("S", TFieldType::String, 90)});
  auto file = Create("SEQ.DAT", fields);
  for (int i = 0; i < 1000; ++i)
    Insert(*file, [&](std::uint8_t* r) { SetFieldString(r, fields[0], std::to_string(i)); });
  file->FlushTable(false, false);
  EXPECT_LE(file->RunWrites(), 15) << "consecutive records go out in few writes";
  file->Close();
  auto reopened = Reopen("SEQ.DAT");
  TDataFileSettings settings;
  settings.RecordBufferBytes = 1 << 20;
  reopened->SetSettings(settings);
  EXPECT_EQ(reopened->RecordsPerRead(), 81);
  reopened->DiscardRecords();
  const auto before = reopened->DiskReads();
  CountingReader reader;
  for (int n = 1; n <= 1000; ++n) {
    TPinnedRecord r = reopened->GetRecord(&reader, n, TReadDirection::Forward, true);
    ASSERT_EQ(GetFieldString(r.Data(), fields[0]), std::to_string(n - 1));
  }
  EXPECT_EQ(reopened->DiskReads() - before, (1000 + 80) / 81);
  EXPECT_EQ(reader.checks, reopened->DiskReads() - before) << "the change check runs before each disk read";
  // Backward batches end at the wanted record.
  reopened->DiscardRecords();
  const auto reads = reopened->DiskReads();
  for (int n = 1000; n >= 920; --n) reopened->GetRecord(nullptr, n, TReadDirection::Backward, true);
  EXPECT_EQ(reopened->DiskReads() - reads, 1);
  // A change found by the reader's check gives no record.
  reopened->DiscardRecords();
  reader.refresh = true;
  EXPECT_FALSE(reopened->GetRecord(&reader, 5));
}

TEST_F(DataFileTest, CacheStaysWithinItsLimitsAndNeverEvictsPinnedRecords) {
  auto fields = Numbered({Field("S", TFieldType::String, 90)});
  auto file = Create("CACHE.DAT", fields);
  for (int i = 0; i < 300; ++i)
    Insert(*file, [&](std::uint8_t* r) { SetFieldString(r, fields[0], std::to_string(i)); });
  file->FlushTable(false, true);
  EXPECT_LE(file->Cache().Count(), 16384 / 100);
  // Pin more records than the cache holds: it grows instead of dropping them.
  std::vector<TPinnedRecord> pinned;
  for (int n = 1; n <= 200; ++n) pinned.push_back(file->GetRecord(nullptr, n));
  EXPECT_GE(file->CacheCapacity(), 200);
  for (int n = 1; n <= 200; ++n) EXPECT_EQ(GetFieldString(pinned[n - 1].Data(), fields[0]), std::to_string(n - 1));
  EXPECT_TRUE(file->Cache().CheckInvariants());
  // A dirty record is never overwritten by a batch read of its neighbours.
  SetFieldString(pinned[9].Data(), fields[0], "changed");
  file->MarkDirty(pinned[9].get());
  pinned.clear();
  file->TrimCache();
  for (int n = 1; n <= 300; ++n) file->GetRecord(nullptr, n, TReadDirection::Forward, true);
  EXPECT_EQ(GetFieldString(file->GetRecord(nullptr, 10).Data(), fields[0]), "changed");
  EXPECT_TRUE(file->Cache().CheckInvariants());
  // Discarding while a record is pinned keeps the pinned image alive.
  TPinnedRecord held = file->GetRecord(nullptr, 3);
  file->DiscardRecords();
  EXPECT_EQ(GetFieldString(held.Data(), fields[0]), "2");
}

// ---- sorting ----

class SortTest : public DataFileTest {
 protected:
  std::unique_ptr<TDataFile> Table(const std::vector<std::string>& keys, int stringSize = 10,
                                   std::uint16_t language = 0) {
    fields_ = Numbered({Field("K", TFieldType::String, stringSize), Field("N", TFieldType::Integer)});
    auto file = Create("SORT.DAT", fields_, false, nullptr, language);
    int i = 0;
    for (const std::string& k : keys)
      Insert(*file, [&](std::uint8_t* r) {
        SetFieldString(r, F(*file, "K"), k);
        SetFieldInteger(r, F(*file, "N"), ++i);
      });
    return file;
  }
  static std::vector<std::string> Keys(TDataFile& file) {
    std::vector<std::string> out;
    for (std::int32_t n = 1; n < file.NextRecordNo(); ++n) {
      TPinnedRecord r = file.GetRecord(nullptr, n);
      out.push_back(GetFieldString(r.Data(), F(file, "K")));
      EXPECT_EQ(RecordLink(r.Data()), n);
      EXPECT_EQ(RecordIdentifier(r.Data()), n);
    }
    return out;
  }
  TSortOptions By(bool descending = false) {
    TSortOptions options;
    TFieldDefinition key = fields_[0];
    key.Descending = descending;
    options.KeyFields = {key};
    return options;
  }
  std::vector<TFieldDefinition> fields_;
};

TEST_F(SortTest, DistinctInMemory) {
  auto file = Table({"b", "a", "b"});
  auto options = By();
  options.Distinct = true;
  std::int64_t active = -1;
  options.SetActiveRecordCount = [&](std::int64_t n) { active = n; };
  file->SortRecords(options);
  EXPECT_EQ(file->LastSortRuns(), 0);
  EXPECT_EQ(file->NextRecordNo(), 3);
  EXPECT_EQ(active, 2);
  EXPECT_EQ(Keys(*file), (std::vector<std::string>{"a", "b"}));
  file->Close();
  EXPECT_EQ(Reopen("SORT.DAT")->PhysicalRecordCount(), 2);
}

TEST_F(SortTest, OrdersNullsDescendingAndLimits) {
  struct Case {
    bool descending;
    bool caseInsensitive;
    std::uint16_t language;
    std::int64_t limit;
    std::vector<std::string> want;
  };
  const std::vector<std::string> input{"b", "", "C", "a", "B"};
  const Case cases[] = {
      {false, false, 0, -1, {"", "B", "C", "a", "b"}},
      {true, false, 0, -1, {"b", "a", "C", "B", ""}},
      {false, true, 0, -1, {"", "a", "b", "B", "C"}},  // b and B equal: identifier order
      {false, false, 0, 2, {"", "B"}},
      {false, true, 1033, -1, {"", "a", "b", "B", "C"}},
      {true, true, 1033, 3, {"C", "b", "B"}},
  };
  for (const Case& c : cases) {
    auto file = Table(input, 10, c.language);
    auto options = By(c.descending);
    options.CaseInsensitive = c.caseInsensitive;
    options.RowLimit = c.limit;
    file->SortRecords(options);
    EXPECT_EQ(Keys(*file), c.want) << c.descending << c.caseInsensitive << c.language << c.limit;
    file->Close();
    fs::remove(Path("SORT.DAT"));
  }
}

TEST_F(SortTest, GroupsWithARowLimitKeepWholeGroups) {
  auto file = Table({"c", "a", "b", "a", "b"});
  auto options = By();
  options.RowLimit = 2;
  const TFieldDefinition n = fields_[1];
  int finalised = 0;
  options.Accumulate = [&](std::uint8_t* group, const std::uint8_t* record, bool start) {
    (void)record;
    SetFieldInteger(group, n, start ? 1 : GetFieldInteger(group, n) + 1);
  };
  options.Finalise = [&](std::uint8_t*) { ++finalised; };
  file->SortRecords(options);
  EXPECT_EQ(Keys(*file), (std::vector<std::string>{"a", "b"}));
  for (std::int32_t r = 1; r <= 2; ++r) EXPECT_EQ(GetFieldInteger(file->GetRecord(nullptr, r).Data(), n), 2);
  EXPECT_EQ(finalised, 2);
}

TEST_F(SortTest, GroupsDroppedByKeep) {
  auto file = Table({"c", "a", "b", "a", "b", "c", "c"});
  auto options = By();
  const TFieldDefinition n = fields_[1];
  options.Accumulate = [&](std::uint8_t* group, const std::uint8_t*, bool start) {
    SetFieldInteger(group, n, start ? 1 : GetFieldInteger(group, n) + 1);
  };
  options.Keep = [&](const std::uint8_t* group) { return GetFieldInteger(group, n) != 2; };  // HAVING COUNT <> 2
  file->SortRecords(options);
  EXPECT_EQ(Keys(*file), (std::vector<std::string>{"c"}));
}

TEST_F(SortTest, ExternalMergeSortWithThreeRuns) {
  // 100-byte records, 2 * 8,192 + 500 of them, not cached: runs of 8,192, 8,192 and 500.
  fields_ = Numbered({Field("K", TFieldType::String, 84), Field("N", TFieldType::Integer)});
  const int total = 2 * 8192 + 500;
  std::vector<int> values(total);
  for (int i = 0; i < total; ++i) values[i] = (i * 7919) % 5003;  // duplicates across runs
  for (bool encrypted : {false, true}) {
    SCOPED_TRACE(encrypted);
    {
      auto file = Create("BIG.DAT", fields_, encrypted);
      ASSERT_EQ(file->RecordSize(), 100);
      for (int i = 0; i < total; ++i)
        Insert(*file, [&](std::uint8_t* r) {
          char text[16];
          std::snprintf(text, sizeof text, "%06d", values[i]);
          SetFieldString(r, F(*file, "K"), text);
          SetFieldInteger(r, F(*file, "N"), i);
        });
      file->FlushTable(false, true);
    }
    auto file = Reopen("BIG.DAT");
    auto options = By();
    file->SortRecords(options);
    EXPECT_EQ(file->LastSortRuns(), 3);
    EXPECT_EQ(file->PhysicalRecordCount(), total);
    auto sorted = values;
    std::stable_sort(sorted.begin(), sorted.end());
    std::string previous;
    std::int32_t previousN = -1;
    for (std::int32_t n = 1; n <= total; ++n) {
      TPinnedRecord r = file->GetRecord(nullptr, n, TReadDirection::Forward, true);
      const std::string key = GetFieldString(r.Data(), F(*file, "K"));
      ASSERT_EQ(std::stoi(key), sorted[static_cast<std::size_t>(n - 1)]) << n;
      const std::int32_t original = GetFieldInteger(r.Data(), F(*file, "N"));
      if (key == previous) {
        ASSERT_GT(original, previousN) << "equal keys keep their identifier order";
      }
      previous = key;
      previousN = original;
      ASSERT_EQ(RecordIdentifier(r.Data()), n);
    }
    file->DiscardRecords();
    // Distinct over the same table: 5,003 different keys at most.
    file->SortRecords([&] {
      auto o = By();
      o.Distinct = true;
      return o;
    }());
    EXPECT_LT(file->PhysicalRecordCount(), 5004);
    file->Close();
    auto verified = Reopen("BIG.DAT");
    EXPECT_EQ(verified->PhysicalRecordCount(), std::set<int>(values.begin(), values.end()).size());
    verified->Close();
    fs::remove(Path("BIG.DAT"));
  }
  // Run files are gone.
  for (const auto& entry : fs::directory_iterator(fs::temp_directory_path()))
    EXPECT_EQ(entry.path().extension() == ".TMP" && entry.path().filename().string().rfind("QS", 0) == 0 &&
                  fs::last_write_time(entry) > fs::file_time_type::clock::now() - std::chrono::seconds(60),
              false)
        << entry.path();
}

}  // namespace
}  // namespace quarry
