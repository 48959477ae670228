// TDataFile: header and definitions, the record cache with read-ahead and write-back, slot
// allocation, numbering, header verification and recovery after a failed write.
#include "engine/storage/data/data_file.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "engine/platform/locale_services.h"
#include "engine/platform/text_names.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/errors/engine_error.h"
#include "engine/storage/files/file_names.h"
#include "engine/storage/files/scramble.h"
#include "engine/values/byte_image.h"

namespace quarry {

namespace {

constexpr int ReadBatchBytes = 8192;
constexpr int CacheGrowStep = 64;
constexpr int BufferStep = 4096;

// Days from 0001-01-01 to 1899-12-30, the epoch of the header's time stamp.
constexpr double DaysBefore1899 = 693594.0;

// Days since 1899-12-30 of a civil date (proleptic Gregorian).
double DaysSince1899(const TLocalTime& t) {
  auto daysFromCivil = [](int y, int m, int d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;  // days since 1970-01-01
  };
  const double days = daysFromCivil(t.year, t.month, t.day) + 25569.0;  // 1899-12-30 .. 1970-01-01
  const double fraction = (t.hour * 3600000.0 + t.minute * 60000.0 + t.second * 1000.0 + t.millisecond) / 86400000.0;
  return days + fraction;
}

void EnsureSize(std::vector<std::uint8_t>& buffer, std::size_t size) {
  if (buffer.size() < size) buffer.resize((size + BufferStep - 1) / BufferStep * BufferStep);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// TPinnedRecord

TPinnedRecord& TPinnedRecord::operator=(TPinnedRecord&& other) noexcept {
  if (this != &other) {
    Reset();
    file_ = other.file_;
    record_ = other.record_;
    other.file_ = nullptr;
    other.record_ = nullptr;
  }
  return *this;
}

void TPinnedRecord::Reset() {
  if (record_ && file_) file_->UnpinRecord(record_);
  record_ = nullptr;
  file_ = nullptr;
}

// ---------------------------------------------------------------------------------------
// Life cycle

TDataFile::TDataFile(std::string fileName, bool inMemory, TFileList* list)
    : TFileHandler(std::move(fileName), inMemory, list), valueValidator_(IsValidValueText) {}

TDataFile::~TDataFile() {
  try {
    Close();
  } catch (...) {
    // Closing never reports from a destructor.
  }
}

void TDataFile::Raise(TEngineErrorCode code) const {
  TEngineErrorContext context;
  context.table = tableName_.empty() ? FileName() : tableName_;
  RaiseEngineError(code, context);
}

void TDataFile::SetSettings(TDataFileSettings settings) {
  settings_ = std::move(settings);
  if (settings_.RecordBufferBytes < 1) settings_.RecordBufferBytes = 1;
  if (settings_.RecordBufferCount < 1) settings_.RecordBufferCount = 1;
  if (header_.RecordSize > 0) {
    cacheCapacity_ =
        std::max(1, std::min(settings_.RecordBufferBytes / header_.RecordSize, settings_.RecordBufferCount));
  }
}

void TDataFile::SetupAfterLoad() {
  cache_.Clear();
  cache_.SetRecordSize(header_.RecordSize);
  recordsPerRead_ = std::max(1, ReadBatchBytes / std::max<int>(1, header_.RecordSize));
  cacheCapacity_ = std::max(
      1, std::min(settings_.RecordBufferBytes / std::max<int>(1, header_.RecordSize), settings_.RecordBufferCount));
  batchFirst_ = 0;
  batchLast_ = -1;
}

void TDataFile::CreateFile(std::uint16_t languageId, std::uint16_t sortId, std::vector<TFieldDefinition> fields,
                           std::int32_t blobBlockSize, std::string_view description, std::string_view password,
                           bool encrypted, std::uint16_t userMajor, std::uint16_t userMinor) {
  if (fields.size() > static_cast<std::size_t>(MaxTableFields)) Raise(QUARRY_FLDLIMIT);
  int blobFields = 0;
  for (TFieldDefinition& f : fields) {
    f.ScaleCopy = f.Scale;
    if (f.IsBlob() && !f.Computed && ++blobFields > MaxBlobFields) Raise(QUARRY_BLOBLIMIT);
  }
  const int recordSize = AssignFieldOffsets(fields.data(), static_cast<int>(fields.size()));
  if (recordSize > MaxRecordSize) Raise(QUARRY_RECTOOBIG);

  TDataHeader header;
  header.LanguageId = languageId;
  header.SortId = sortId;
  header.UserMajor = userMajor;
  header.UserMinor = userMinor;
  header.Encrypted = encrypted;
  StoreShortString(header.Description.data(), description, MaxTableDescriptionLength);
  if (encrypted) {
    StoreShortString(header.Password.data(), password, MaxTablePasswordLength);
    Scramble(header.Description.data(), header.Description.size(), TextScrambleSeeds);
    Scramble(header.Password.data(), header.Password.size(), TextScrambleSeeds);
  }
  header.Version = DataFormatVersion;
  header.FirstFree = 0;
  header.NextRecordNo = 1;
  header.LastAutoInc = 0;
  header.BlobBlockSize = blobBlockSize;
  header.RecordSize = static_cast<std::uint16_t>(recordSize);
  header.FieldCount = static_cast<std::uint16_t>(fields.size());
  header.BlobFieldCount = static_cast<std::uint16_t>(blobFields);
  header.ChangeCounter = 0;

  TFileHandler::Create();
  header_ = header;
  fields_ = std::move(fields);
  diskHeaderValid_ = false;
  headerModified_ = true;
  definitionsChanged_ = true;
  SetupAfterLoad();
}

void TDataFile::Open() {
  if (IsOpen()) return;
  TFileHandler::Open();
  try {
    std::uint8_t image[DataHeaderSize];
    if (ReadAt(0, image, DataHeaderSize, true) < DataHeaderSize) Raise(QUARRY_HEADERCORRUPT);
    TDataHeader header = TDataHeader::Decode(image);
    // Checked before anything is allocated from the header's numbers.
    if (header.FieldCount > MaxTableFields || header.RecordSize < RecordHeaderSize) Raise(QUARRY_HEADERCORRUPT);
    const std::size_t definitionBytes = std::size_t{header.FieldCount} * FieldDefinitionSize;
    std::vector<std::uint8_t> definitions(definitionBytes);
    if (definitionBytes > 0 && ReadAt(DataHeaderSize, definitions.data(), static_cast<std::int64_t>(definitionBytes),
                                      true) < static_cast<std::int64_t>(definitionBytes))
      Raise(QUARRY_HEADERCORRUPT);
    std::vector<TFieldDefinition> fields;
    fields.reserve(header.FieldCount);
    for (int i = 0; i < header.FieldCount; ++i) {
      std::uint8_t* one = definitions.data() + std::size_t(i) * FieldDefinitionSize;
      if (header.Encrypted) Scramble(one, FieldDefinitionSize, RecordScrambleSeeds);
      TFieldDefinition f = TFieldDefinition::Decode(one);
      // Whatever the later verification says, no field may point outside the record.
      if (f.Computed) Raise(QUARRY_HEADERCORRUPT);
      if (!f.IsAutoInc() && f.Offset + 1 + int{f.ValueSize} > header.RecordSize) Raise(QUARRY_HEADERCORRUPT);
      fields.push_back(std::move(f));
    }
    header_ = header;
    diskHeader_ = header;
    diskHeaderValid_ = true;
    fields_ = std::move(fields);
    rawDefinitions_ = std::move(definitions);  // unscrambled, for verification
    headerModified_ = false;
    definitionsChanged_ = false;
    SetupAfterLoad();
  } catch (...) {
    TFileHandler::Close();
    throw;
  }
}

void TDataFile::Close() {
  cache_.Clear();
  fields_.clear();
  rawDefinitions_.clear();
  readBuffer_.clear();
  readBuffer_.shrink_to_fit();
  writeBuffer_.clear();
  writeBuffer_.shrink_to_fit();
  diskHeaderValid_ = false;
  TFileHandler::Close();
}

// ---------------------------------------------------------------------------------------
// Header

void TDataFile::CheckVersion() {
  if (header_.Version != DataFormatVersion) Raise(QUARRY_OLDVERSION);
}

void TDataFile::VerifyHeader() {
  CheckVersion();
  if (header_.LanguageId != 0 && !IsValidLocale(MakeLocaleId(header_.LanguageId, header_.SortId)))
    Raise(QUARRY_CANNOTLOADLDDRV);
  int offset = FirstFieldOffset;
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    const TFieldDefinition& f = fields_[i];
    const std::uint8_t* raw = rawDefinitions_.size() >= (i + 1) * FieldDefinitionSize
                                  ? rawDefinitions_.data() + i * FieldDefinitionSize
                                  : nullptr;
    // Length bytes beyond their capacity mean a damaged definition.
    if (raw &&
        (raw[2] > MaxFieldNameLength || raw[33] > MaxFieldDescriptionLength || raw[94] > MaxFieldValueTextLength ||
         raw[145] > MaxFieldValueTextLength || raw[196] > MaxFieldValueTextLength))
      Raise(QUARRY_HEADERCORRUPT);
    const std::string name = TrimText(LocaleUpperCase(f.Name));
    if (name.empty() || name.size() > MaxFieldNameLength || !IsNameStartByte(static_cast<unsigned char>(name.front())))
      Raise(QUARRY_HEADERCORRUPT);
    for (std::size_t j = 0; j < i; ++j) {
      if (fields_[j].FieldNo == f.FieldNo || SameTextIgnoringCase(TrimText(fields_[j].Name), TrimText(f.Name)))
        Raise(QUARRY_HEADERCORRUPT);
    }
    const auto type = static_cast<std::uint8_t>(f.DataType);
    if (type == 0 || !IsValidFieldType(type)) Raise(QUARRY_HEADERCORRUPT);
    if (HasDeclaredSize(f.DataType) ? f.Size > MaxDeclaredSize : f.Size != 0) Raise(QUARRY_HEADERCORRUPT);
    if (f.ValueSize != StorageSizeOf(f.DataType, f.Size)) Raise(QUARRY_HEADERCORRUPT);
    if (f.DataType != TFieldType::Bcd && f.Scale != 0) Raise(QUARRY_HEADERCORRUPT);
    for (const std::string* text : {&f.DefaultValue, &f.MinValue, &f.MaxValue}) {
      if (!text->empty() && valueValidator_ && !valueValidator_(f, *text)) Raise(QUARRY_HEADERCORRUPT);
    }
    if (f.IsAutoInc()) {
      if (f.Offset != AutoIncOffset) Raise(QUARRY_HEADERCORRUPT);
    } else {
      if (f.Offset != offset) Raise(QUARRY_HEADERCORRUPT);
      offset += f.ValueSize + 1;
    }
    if (f.FieldNo != i + 1) Raise(QUARRY_HEADERCORRUPT);
  }
  if (header_.RecordSize != offset) Raise(QUARRY_HEADERCORRUPT);
  if (static_cast<int>(fields_.size()) != header_.FieldCount) Raise(QUARRY_HEADERCORRUPT);
  int blobFields = 0;
  for (const TFieldDefinition& f : fields_) blobFields += f.IsBlob() ? 1 : 0;
  if (blobFields != header_.BlobFieldCount || blobFields > MaxBlobFields) Raise(QUARRY_HEADERCORRUPT);

  const std::int64_t size = Size();
  const std::int64_t recordsStart = header_.RecordsOffset();
  if (size < recordsStart) Raise(QUARRY_HEADERCORRUPT);
  // The header is written after the records it makes part of the table: slots past its
  // count are appends whose header write did not happen (a writer killed in between). They
  // are not part of the table, and the next appends write over them.
  if (header_.NextRecordNo < 1) Raise(QUARRY_HEADERCORRUPT);
  const std::int64_t records = std::int64_t{header_.NextRecordNo} - 1;
  if (size - recordsStart < records * header_.RecordSize) Raise(QUARRY_HEADERCORRUPT);
  if (header_.FirstFree < 0 || header_.FirstFree > records) Raise(QUARRY_HEADERCORRUPT);
}

void TDataFile::VerifyRecords() {
  const std::int32_t slots = header_.NextRecordNo - 1;
  std::vector<bool> deleted(static_cast<std::size_t>(slots) + 1, false);
  std::int64_t deletedCount = 0;
  for (std::int32_t n = 1; n <= slots; ++n) {
    TPinnedRecord record = GetRecord(nullptr, n, TReadDirection::Forward, true);
    const std::uint8_t* data = record.Data();
    if (RecordStatus(data) == RecordDeleted) {
      deleted[static_cast<std::size_t>(n)] = true;
      ++deletedCount;
    } else if (RecordStatus(data) != RecordActive || RecordLink(data) != n) {
      Raise(QUARRY_FILECORRUPT);
    }
  }
  std::int64_t chained = 0;
  for (std::int32_t n = header_.FirstFree; n != 0;) {
    // Each deleted slot is visited once; a second visit is a loop.
    if (n < 0 || n > slots || !deleted[static_cast<std::size_t>(n)] || ++chained > deletedCount)
      Raise(QUARRY_FILECORRUPT);
    deleted[static_cast<std::size_t>(n)] = false;
    n = RecordLink(GetRecord(nullptr, n).Data());
  }
  if (chained != deletedCount) Raise(QUARRY_FILECORRUPT);
}

void TDataFile::ReadHeader() {
  std::uint8_t image[DataHeaderSize];
  if (ReadAt(0, image, DataHeaderSize, true) < DataHeaderSize) Raise(QUARRY_HEADERCORRUPT);
  TDataHeader header = TDataHeader::Decode(image);
  // The record layout cannot change while the table is open (restructuring needs it closed).
  if (header.RecordSize != header_.RecordSize || header.FieldCount != header_.FieldCount) Raise(QUARRY_HEADERCORRUPT);
  header_ = header;
  diskHeader_ = header;
  diskHeaderValid_ = true;
  headerModified_ = false;
}

bool TDataFile::HeaderMatchesFile() {
  std::uint8_t image[DataHeaderSize];
  if (ReadAt(0, image, DataHeaderSize, true) < DataHeaderSize) return false;
  const TDataHeader stored = TDataHeader::Decode(image);
  return stored.ChangeCounter == header_.ChangeCounter && stored.RecordSize == header_.RecordSize &&
         stored.FieldCount == header_.FieldCount && stored.Encrypted == header_.Encrypted;
}

bool TDataFile::HeaderChanged() {
  const std::int32_t before = header_.ChangeCounter;
  ReadHeader();
  return header_.ChangeCounter != before;
}

void TDataFile::WriteHeaderImage() {
  std::uint8_t image[DataHeaderSize];
  header_.Encode(image);
  WriteAt(0, image, DataHeaderSize);
}

bool TDataFile::WriteHeader(bool force) {
  if (!headerModified_ && !force) return false;
  ++header_.ChangeCounter;
  header_.EngineVersion = DataEngineVersionStamp;
  header_.Reserved120 = 0;
  header_.LastWriteTime = DaysSince1899(List().Environment().LocalTime()) - DaysBefore1899;
  header_.Modified = headerModified_;
  try {
    WriteHeaderImage();
  } catch (...) {
    RecoverFromFailedWrite();
    throw;
  }
  diskHeader_ = header_;
  diskHeaderValid_ = true;
  tableModified_ = true;
  headerModified_ = false;
  return true;
}

void TDataFile::TouchHeader() {
  ++header_.ChangeCounter;
  headerModified_ = true;
}

void TDataFile::WriteFieldDefinitions() {
  if (!definitionsChanged_) return;
  std::vector<std::uint8_t> image(fields_.size() * FieldDefinitionSize);
  for (std::size_t i = 0; i < fields_.size(); ++i) fields_[i].Encode(image.data() + i * FieldDefinitionSize);
  std::vector<std::uint8_t> plain = image;
  if (header_.Encrypted) {
    for (std::size_t i = 0; i < fields_.size(); ++i)
      Scramble(image.data() + i * FieldDefinitionSize, FieldDefinitionSize, RecordScrambleSeeds);
  }
  try {
    if (!image.empty()) WriteAt(DataHeaderSize, image.data(), static_cast<std::int64_t>(image.size()));
  } catch (...) {
    if (diskHeaderValid_ && rawDefinitions_.size() == image.size()) {
      // Put the definitions as they were back on disk (best effort) and in memory.
      std::vector<std::uint8_t> old = rawDefinitions_;
      for (std::size_t i = 0; i < fields_.size(); ++i) {
        fields_[i] = TFieldDefinition::Decode(rawDefinitions_.data() + i * FieldDefinitionSize);
        if (header_.Encrypted) Scramble(old.data() + i * FieldDefinitionSize, FieldDefinitionSize, RecordScrambleSeeds);
      }
      try {
        WriteAt(DataHeaderSize, old.data(), static_cast<std::int64_t>(old.size()));
      } catch (...) {}
      definitionsChanged_ = false;
    }
    RecoverFromFailedWrite();
    throw;
  }
  rawDefinitions_ = std::move(plain);
  definitionsChanged_ = false;
}

void TDataFile::Empty() {
  {
    TFileSection section(*this);
    Seek(kSeekFromStart, header_.RecordsOffset());
    TFileHandler::Write(nullptr, 0);
  }
  cache_.Clear();
  header_.FirstFree = 0;
  header_.NextRecordNo = 1;
  header_.LastAutoInc = 0;
  // The change counter keeps counting (it is not reset) so that other processes, which
  // compare it, always notice that the table was emptied.
  headerModified_ = true;
  // The file now holds no records: a failed header write must not bring the old count back.
  if (diskHeaderValid_) {
    diskHeader_.FirstFree = 0;
    diskHeader_.NextRecordNo = 1;
  }
  WriteHeader(false);
  if (settings_.ForceBufferFlush) TFileHandler::Flush();
}

// ---------------------------------------------------------------------------------------
// Records

void TDataFile::ScrambleRecord(std::uint8_t* data) const { Scramble(data, header_.RecordSize, RecordScrambleSeeds); }

void TDataFile::MakeRoom() {
  if (cache_.Count() < cacheCapacity_) return;
  // A sixteenth of the cache at a time: a walk through the table then pays one pass over the
  // cache's lists per sixteenth instead of one per record.
  const int batch = std::max(1, cacheCapacity_ / 16);
  if (cache_.EvictOldest(batch) > 0) return;
  if (!holdsTableLock_) {
    FlushRecords();
    if (cache_.EvictOldest(batch) > 0) return;
  }
  // Holding the table lock (a transaction, or a result being filled) the cache keeps every
  // dirty record: grow by half its size, so that the scans for a clean record above stay
  // rare however many records are added.
  cacheCapacity_ += std::max(CacheGrowStep, holdsTableLock_ ? cacheCapacity_ / 2 : 0);
}

TRecord* TDataFile::NewCacheSlot(std::int32_t recordNo) {
  MakeRoom();
  return cache_.Insert(recordNo);
}

TPinnedRecord TDataFile::GetRecord(TRecordReader* reader, std::int32_t recordNo, TReadDirection direction,
                                   bool readAhead) {
  RequireOpen();
  if (recordNo <= 0 || recordNo > header_.NextRecordNo) Raise(QUARRY_FILECORRUPT);
  if (recordNo == header_.NextRecordNo) {
    const std::int64_t end = header_.RecordsOffset() + std::int64_t{recordNo} * header_.RecordSize;
    if (recordNo > MaxRecordCount || end > MaxDataFileSize) Raise(QUARRY_TABLEFULL);
    TRecord* record = NewCacheSlot(recordNo);
    SetRecordStatus(record->Data.data(), RecordActive);
    SetRecordLink(record->Data.data(), recordNo);
    // A new slot is always written by the next flush, so the file never falls short of
    // the record count in the header.
    record->Dirty = true;
    ++header_.NextRecordNo;
    headerModified_ = true;
    cache_.Pin(record);
    return TPinnedRecord(this, record);
  }
  TRecord* record = cache_.Find(recordNo);
  if (!record) {
    if (!settings_.StrictChangeDetection && reader && reader->CheckForChanges()) return {};
    ReadBatch(reader, recordNo, direction, readAhead);
    record = cache_.Find(recordNo);
    if (!record) Raise(QUARRY_FILECORRUPT);
  }
  cache_.Pin(record);
  return TPinnedRecord(this, record);
}

void TDataFile::ReadBatch(TRecordReader* reader, std::int32_t recordNo, TReadDirection direction, bool readAhead) {
  const bool forward = direction == TReadDirection::Forward;
  const std::int32_t lastSlot = header_.NextRecordNo - 1;
  std::int64_t count = 1;
  if (readAhead) {
    int wanted = reader ? reader->ConsecutiveRecords(recordNo, forward, recordsPerRead_) : -1;
    if (wanted < 0) {
      wanted = static_cast<int>(forward ? std::min<std::int64_t>(recordsPerRead_, std::int64_t{lastSlot} - recordNo + 1)
                                        : std::min<std::int64_t>(recordsPerRead_, recordNo));
    }
    // A batch larger than the cache would push its own first records out again.
    count = std::clamp<std::int64_t>(wanted, 1, std::min(recordsPerRead_, cacheCapacity_));
  }
  std::int32_t first = forward ? recordNo : static_cast<std::int32_t>(recordNo - count + 1);
  std::int32_t last = forward ? static_cast<std::int32_t>(recordNo + count - 1) : recordNo;
  first = std::max(first, 1);
  last = std::min(last, lastSlot);
  const std::int64_t bytes = std::int64_t{last - first + 1} * header_.RecordSize;
  EnsureSize(readBuffer_, static_cast<std::size_t>(bytes));
  const std::int64_t got = ReadAt(RecordOffset(first), readBuffer_.data(), bytes, true);
  ++diskReads_;
  const std::int32_t whole = static_cast<std::int32_t>(got / header_.RecordSize);

  batchFirst_ = first;
  batchLast_ = last;
  struct BatchGuard {
    TDataFile* file;
    ~BatchGuard() {
      file->batchFirst_ = 0;
      file->batchLast_ = -1;
    }
  } guard{this};
  // The wanted record goes in last so that it is the most recently used of the batch.
  auto place = [&](std::int32_t n) {
    const std::int32_t index = n - first;
    if (index >= whole || cache_.Contains(n)) return;  // cached images win over disk
    TRecord* record = NewCacheSlot(n);
    std::memcpy(record->Data.data(), readBuffer_.data() + std::size_t(index) * header_.RecordSize, header_.RecordSize);
    if (header_.Encrypted) ScrambleRecord(record->Data.data());
  };
  for (std::int32_t n = first; n <= last; ++n)
    if (n != recordNo) place(n);
  place(recordNo);
}

std::int32_t TDataFile::NewRecordNumber() const {
  if (slotReuse_ && header_.FirstFree != 0) return header_.FirstFree;
  return header_.NextRecordNo;
}

TPinnedRecord TDataFile::AllocateRecord(TRecordReader* reader) {
  const std::int32_t recordNo = NewRecordNumber();
  const bool reused = recordNo != header_.NextRecordNo;
  TPinnedRecord record = GetRecord(reader, recordNo, TReadDirection::Forward, false);
  if (!record || !reused) return record;
  std::uint8_t* data = record.Data();
  const std::int32_t nextFree = RecordLink(data);
  // A free-chain slot must be deleted and link inside the file; anything else is damage.
  if (RecordStatus(data) != RecordDeleted || nextFree < 0 || nextFree >= header_.NextRecordNo || nextFree == recordNo)
    Raise(QUARRY_FILECORRUPT);
  header_.FirstFree = nextFree;
  // The old identifier stays at offset 5 for the caller (its internal index key).
  SetRecordStatus(data, RecordActive);
  SetRecordLink(data, recordNo);
  record->Dirty = true;
  headerModified_ = true;
  return record;
}

void TDataFile::AppendRecords(std::uint8_t* images, std::int32_t count) {
  RequireOpen();
  if (count <= 0) return;
  const std::int32_t first = header_.NextRecordNo;
  const std::int64_t last = std::int64_t{first} + count - 1;
  const std::size_t size = static_cast<std::size_t>(header_.RecordSize);
  if (last > MaxRecordCount || header_.RecordsOffset() + last * header_.RecordSize > MaxDataFileSize)
    Raise(QUARRY_TABLEFULL);
  for (std::int32_t i = 0; i < count; ++i) {
    std::uint8_t* image = images + static_cast<std::size_t>(i) * size;
    SetRecordStatus(image, RecordActive);
    SetRecordLink(image, first + i);
    if (header_.Encrypted) ScrambleRecord(image);
  }
  try {
    WriteAt(RecordOffset(first), images, static_cast<std::int64_t>(count) * header_.RecordSize);
  } catch (...) {
    RecoverFromFailedWrite();
    throw;
  }
  header_.NextRecordNo = first + count;
  headerModified_ = true;
}

void TDataFile::FreeRecord(TRecord* record) {
  SetRecordStatus(record->Data.data(), RecordDeleted);
  SetRecordLink(record->Data.data(), header_.FirstFree);
  header_.FirstFree = record->RecordNo;
  record->Dirty = true;
  headerModified_ = true;
}

void TDataFile::WriteRecords(const std::vector<TRecord*>& records) {
  const int size = header_.RecordSize;
  std::size_t i = 0;
  std::int64_t runs = 0;
  try {
    while (i < records.size()) {
      std::size_t j = i + 1;
      while (j < records.size() && records[j]->RecordNo == records[j - 1]->RecordNo + 1) ++j;
      const std::size_t bytes = (j - i) * std::size_t(size);
      EnsureSize(writeBuffer_, bytes);
      for (std::size_t k = i; k < j; ++k) {
        std::uint8_t* out = writeBuffer_.data() + (k - i) * std::size_t(size);
        std::memcpy(out, records[k]->Data.data(), std::size_t(size));
        if (header_.Encrypted) ScrambleRecord(out);
      }
      WriteAt(RecordOffset(records[i]->RecordNo), writeBuffer_.data(), static_cast<std::int64_t>(bytes));
      ++runs;
      i = j;
    }
  } catch (...) {
    RecoverFromFailedWrite();
    throw;
  }
  for (TRecord* r : records) r->Dirty = false;
  if (!records.empty()) tableModified_ = true;
  runWrites_ += runs;
}

void TDataFile::FlushRecords() {
  std::vector<TRecord*> dirty;
  for (const auto& r : cache_.Records()) {
    if (r->Dirty && r->PinCount == 0 && !(r->RecordNo >= batchFirst_ && r->RecordNo <= batchLast_)) dirty.push_back(r);
  }
  if (!dirty.empty()) WriteRecords(dirty);
}

void TDataFile::RecoverFromFailedWrite() {
  if (!diskHeaderValid_) return;  // never written: nothing on disk to go back to
  // Best effort: the write that failed may fail again; the in-memory state goes back anyway.
  try {
    TFileSection section(*this);
    Seek(kSeekFromStart, diskHeader_.RecordsOffset() + std::int64_t{diskHeader_.NextRecordNo - 1} * header_.RecordSize);
    TFileHandler::Write(nullptr, 0);
  } catch (...) {}
  try {
    std::uint8_t image[DataHeaderSize];
    diskHeader_.Encode(image);
    WriteAt(0, image, DataHeaderSize);
  } catch (...) {}
  header_ = diskHeader_;
  headerModified_ = false;
  cache_.Clear();
}

void TDataFile::DiscardRecords() { cache_.Clear(); }

void TDataFile::TrimCache() {
  const int limit = std::max(
      1, std::min(settings_.RecordBufferBytes / std::max<int>(1, header_.RecordSize), settings_.RecordBufferCount));
  cache_.TrimTo(limit);
  cacheCapacity_ = std::max(limit, cache_.Count());
}

void TDataFile::WidenCache(int records) { cacheCapacity_ = std::max(cacheCapacity_, records); }

bool TDataFile::FlushTable(bool forceOsFlush, bool trim) {
  RequireOpen();
  bool wrote = false;
  if (definitionsChanged_) {
    WriteFieldDefinitions();
    wrote = true;
  }
  std::vector<TRecord*> dirty;
  for (const auto& r : cache_.Records())
    if (r->Dirty) dirty.push_back(r);
  if (!dirty.empty()) {
    WriteRecords(dirty);
    wrote = true;
  }
  // The header goes last: it is what makes the records written above part of the table.
  if (WriteHeader(false)) wrote = true;
  if (wrote && (forceOsFlush || settings_.ForceBufferFlush)) TFileHandler::Flush();
  if (trim) TrimCache();
  return wrote;
}

// ---------------------------------------------------------------------------------------
// Numbers and header fields

std::int32_t TDataFile::NextAutoIncValue() {
  header_.LastAutoInc = header_.LastAutoInc == INT32_MAX ? 1 : header_.LastAutoInc + 1;
  headerModified_ = true;
  return header_.LastAutoInc;
}

void TDataFile::SetLastAutoIncValue(std::int32_t value) {
  header_.LastAutoInc = value;
  headerModified_ = true;
}

std::int32_t TDataFile::NextBlobChangeNumber() {
  header_.LastBlobChange = header_.LastBlobChange == INT32_MAX ? 1 : header_.LastBlobChange + 1;
  headerModified_ = true;
  return header_.LastBlobChange;
}

void TDataFile::SetLastBlobChangeNumber(std::int32_t value) {
  header_.LastBlobChange = value;
  headerModified_ = true;
}

std::string TDataFile::Description() const {
  auto image = header_.Description;
  if (header_.Encrypted) Scramble(image.data(), image.size(), TextScrambleSeeds);
  return LoadShortString(image.data(), MaxTableDescriptionLength);
}

std::string TDataFile::Password() const {
  if (!header_.Encrypted) return {};
  auto image = header_.Password;
  Scramble(image.data(), image.size(), TextScrambleSeeds);
  return LoadShortString(image.data(), MaxTablePasswordLength);
}

const TFieldDefinition* TDataFile::FieldByNumber(int fieldNo) const {
  if (fieldNo < 1 || fieldNo > static_cast<int>(fields_.size())) return nullptr;
  return &fields_[static_cast<std::size_t>(fieldNo - 1)];
}

const TFieldDefinition* TDataFile::FieldByName(std::string_view name) const {
  const std::string wanted = TrimText(name);
  for (const TFieldDefinition& f : fields_)
    if (SameTextIgnoringCase(TrimText(f.Name), wanted)) return &f;
  return nullptr;
}

void TDataFile::UpdateFieldInfo(int fieldNo, const TFieldDefinition& definition) {
  if (fieldNo < 1 || fieldNo > static_cast<int>(fields_.size())) {
    TEngineErrorContext context;
    context.table = tableName_.empty() ? FileName() : tableName_;
    context.field = std::to_string(fieldNo);
    RaiseEngineError(QUARRY_OUTOFRANGE, context);
  }
  TFieldDefinition& f = fields_[static_cast<std::size_t>(fieldNo - 1)];
  f.FieldNo = definition.FieldNo;
  f.Name = definition.Name;
  f.SubType = definition.SubType;
  f.Description = definition.Description;
  f.Required = definition.Required;
  f.CharCase = definition.CharCase;
  f.MinValue = definition.MinValue;
  f.MaxValue = definition.MaxValue;
  f.DefaultValue = definition.DefaultValue;
  definitionsChanged_ = true;
}

void TDataFile::UpdateTableInfo(std::string_view password, std::string_view description, std::uint16_t userMajor,
                                std::uint16_t userMinor, std::int32_t lastAutoInc) {
  StoreShortString(header_.Description.data(), description, MaxTableDescriptionLength);
  if (header_.Encrypted) {
    StoreShortString(header_.Password.data(), password, MaxTablePasswordLength);
    Scramble(header_.Description.data(), header_.Description.size(), TextScrambleSeeds);
    Scramble(header_.Password.data(), header_.Password.size(), TextScrambleSeeds);
  }
  header_.UserMajor = userMajor;
  header_.UserMinor = userMinor;
  header_.LastAutoInc = lastAutoInc;
  headerModified_ = true;
}

void TDataFile::SetString(std::uint8_t* record, const TFieldDefinition& field, std::string_view text) const {
  const std::uint16_t language = header_.LanguageId;
  const std::uint16_t sort = header_.SortId;
  SetFieldString(record, field, text, [language, sort](std::string_view value, TCharCase to) {
    return to == TCharCase::Upper ? LocaleUpperCase(value, language, sort) : LocaleLowerCase(value, language, sort);
  });
}

std::string TDataFile::TemporaryFileName() {
  if (settings_.TemporaryName) return settings_.TemporaryName() + ".TMP";
  static std::atomic<std::uint32_t> counter{0};
  TEnvironment& environment = List().Environment();
  const std::string name = "QS" + std::to_string(environment.ThreadId()) + "_" + std::to_string(++counter) + ".TMP";
  if (InMemory()) return name;
  return IncludeTrailingDelimiter(TemporaryDirectory(environment)) + name;
}

}  // namespace quarry
