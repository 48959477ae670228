// The index file: header, definitions, page cache and key operations (see index_file.h).
#include "engine/storage/index/index_file.h"

#include "engine/platform/text_names.h"

#include <algorithm>
#include <cstring>

#include "engine/platform/locale_services.h"
#include "engine/storage/data/data_file.h"
#include "engine/storage/files/scramble.h"
#include "engine/storage/index/index_error.h"
#include "engine/values/byte_image.h"

namespace quarry {

namespace {

bool IsTextField(const TFieldDefinition& f) {
  return f.DataType == TFieldType::String || (f.DataType == TFieldType::Blob && f.SubType == subtype::Memo);
}

}  // namespace

TIndexFile::TIndexFile(std::string fileName, bool inMemory, TFileList* list)
    : TFileHandler(std::move(fileName), inMemory, list) {
  SetSettings(settings_);
}

TIndexFile::~TIndexFile() {
  // The table layer flushes before closing; whatever is left is dropped.
  try {
    Close();
  } catch (...) {}
}

void TIndexFile::Corrupt() const { RaiseIndexError(QUARRY_INDEXCORRUPT, FileName()); }

// ---------------------------------------------------------------- file and header

void TIndexFile::CreateFile(bool encrypted) {
  encrypted_ = encrypted;
  TFileHandler::Create();
  DiscardPages();
  header_ = TIndexHeader::ForNewTable();
  RebuildBindings();
  WriteHeader(true);
}

void TIndexFile::Open() {
  if (IsOpen()) return;
  TFileHandler::Open();
  std::array<std::uint8_t, IndexHeaderSize> image{};
  try {
    if (ReadAt(0, image.data(), IndexHeaderSize, true) != IndexHeaderSize) {
      RaiseIndexError(QUARRY_HEADERCORRUPT, FileName());
    }
    if (encrypted_) Scramble(image.data(), image.size(), RecordScrambleSeeds);
    header_ = TIndexHeader::Decode(image.data());
    if (header_.SecondaryCount > MaxSecondaryIndexes) RaiseIndexError(QUARRY_HEADERCORRUPT, FileName());
  } catch (...) {
    TFileHandler::Close();
    throw;
  }
  modified_ = false;
  DiscardPages();
  RebuildBindings();
}

void TIndexFile::Close() {
  DiscardPages();
  DropTemporaryIndexes();
  TFileHandler::Close();
}

void TIndexFile::DropTemporaryIndexes() {
  int kept = 0;
  for (int slot = 1; slot <= header_.SecondaryCount; ++slot) {
    if (!header_.Slots[slot].Temporary) header_.Slots[++kept] = header_.Slots[slot];
  }
  for (int slot = kept + 1; slot <= header_.SecondaryCount; ++slot) header_.Slots[slot] = TIndexDefinition{};
  header_.SecondaryCount = static_cast<std::uint8_t>(kept);
  if (temporaryFile_ != nullptr) {
    temporaryFile_->Close();
    try {
      temporaryFile_->Delete();
    } catch (const EQuarryEngineError&) {
      // A temporary file left behind is harmless; closing must not fail because of it.
    }
    temporaryFile_.reset();
  }
  temporaryNextPage_ = 1;
}

TFileHandler& TIndexFile::PageFile(int slot) {
  if (!IsTemporary(slot)) return *this;
  if (temporaryFile_ == nullptr) {
    static int counter = 0;
    const bool inMemory = temporaryDirectory_.empty();
    // Unique within the process (memory files) and inside the session's private directory.
    std::string name = temporaryDirectory_ + "QTMPIDX" +
                       std::to_string(reinterpret_cast<std::uintptr_t>(this) % 1000000007) + "_" +
                       std::to_string(++counter) + ".IDX";
    temporaryFile_ = std::make_unique<TFileHandler>(name, inMemory);
    temporaryFile_->SetTemporary(true);
    temporaryFile_->Create();
  }
  return *temporaryFile_;
}

void TIndexFile::CheckVersion() {
  if (header_.Version != IndexFormatVersion) RaiseIndexError(QUARRY_OLDVERSION, FileName());
}

void TIndexFile::VerifyHeader(const std::vector<TFieldDefinition>& fields) {
  CheckVersion();
  const auto bad = [this] { RaiseIndexError(QUARRY_HEADERCORRUPT, FileName()); };
  if (header_.SecondaryCount > MaxSecondaryIndexes || header_.NextPage < 1) bad();
  const std::int64_t pages = header_.NextPage - 1;
  if (Size() < IndexHeaderSize + pages * IndexPageSize) bad();
  for (int slot = 0; slot < IndexSlotCount; ++slot) {
    const TIndexDefinition& d = header_.Slots[slot];
    const bool inUse = slot == PrimarySlot || slot >= DeletedSlot || slot <= header_.SecondaryCount;
    if (!d.Defined()) {
      if (slot == DeletedSlot || (inUse && slot != PrimarySlot && slot != TextSlot)) bad();
      continue;
    }
    if (!inUse) bad();
    if (d.KeyLength > MaxIndexKeyLength || static_cast<int>(d.Compression) > 3) bad();
    if (d.Root < 0 || d.Root > pages || d.FirstFree < 0 || d.FirstFree > pages) bad();
    if (d.TextParameters < 0 || d.TextParameters > pages) bad();
    if (d.FieldCount > MaxKeyFields) bad();
    for (int i = 0; i < MaxKeyFields; ++i) {
      const int number = d.FieldNumbers[i];
      if (i < d.FieldCount ? (number < 1 || number > static_cast<int>(fields.size())) : number != 0) bad();
      if (i < d.FieldCount && fields[number - 1].IsBlob() && slot != TextSlot) bad();
      if (i < d.FieldCount && slot == TextSlot && !IsTextField(fields[number - 1])) bad();
    }
    if (slot == DeletedSlot) {
      if (d.KeyLength != DeletedKeyLength) bad();
      continue;
    }
    if (slot == TextSlot) {
      if (d.KeyLength != TextKeyLength) bad();
      continue;
    }
    if (slot == PrimarySlot) {
      if (!d.Name.empty() || !d.Unique) bad();
    } else {
      const std::string name = TrimText(d.Name);
      if (name.empty() || name.size() > MaxIndexNameLength || !IsNameStartByte(static_cast<unsigned char>(name[0]))) {
        bad();
      }
      for (int other = 1; other < slot; ++other) {
        if (SameTextIgnoringCase(TrimText(header_.Slots[other].Name), name)) bad();
      }
    }
    if (d.FieldCount == 0) bad();
    // The stored key length must be the one the fields give, or every key would be misread.
    std::vector<const TFieldDefinition*> keyFields;
    for (int i = 0; i < d.FieldCount; ++i) keyFields.push_back(&fields[d.FieldNumbers[i] - 1]);
    int expected = d.Unique ? 0 : 4;
    for (const TFieldDefinition* f : keyFields) expected += KeySizeOf(f->DataType, f->ValueSize) + 1;
    if (expected != d.KeyLength) bad();
  }
}

std::int32_t TIndexFile::StoredChangeCounter() {
  // The scrambling key stream starts afresh at offset 0, so the counter of an encrypted
  // header unscrambles on its own.
  std::uint8_t counter[4];
  if (ReadAt(0, counter, sizeof counter, true) != static_cast<std::int64_t>(sizeof counter)) {
    RaiseIndexError(QUARRY_HEADERCORRUPT, FileName());
  }
  if (encrypted_) Scramble(counter, sizeof counter, RecordScrambleSeeds);
  return bytes::Load<std::int32_t>(counter);
}

bool TIndexFile::HeaderChanged() {
  // Every header write moves the counter at offset 0: when it has not moved, the header is
  // the one in memory and the rest need not be read and decoded. Cursors ask this before
  // every record they read from disk.
  if (StoredChangeCounter() == header_.ChangeCounter) return false;
  std::array<std::uint8_t, IndexHeaderSize> image{};
  if (ReadAt(0, image.data(), IndexHeaderSize, true) != IndexHeaderSize) {
    RaiseIndexError(QUARRY_HEADERCORRUPT, FileName());
  }
  if (encrypted_) Scramble(image.data(), image.size(), RecordScrambleSeeds);
  TIndexHeader fresh = TIndexHeader::Decode(image.data());
  if (fresh.ChangeCounter == header_.ChangeCounter) return false;
  // Keep this process's temporary indexes after the ones on disk.
  std::vector<TIndexDefinition> temporary;
  for (int slot = 1; slot <= header_.SecondaryCount; ++slot) {
    if (header_.Slots[slot].Temporary) temporary.push_back(header_.Slots[slot]);
  }
  for (const TIndexDefinition& d : temporary) {
    if (fresh.SecondaryCount >= MaxSecondaryIndexes) break;
    fresh.Slots[++fresh.SecondaryCount] = d;
  }
  header_ = fresh;
  DiscardPages();
  RebuildBindings();
  return true;
}

bool TIndexFile::WriteHeader(bool force) {
  if (!modified_ && !force) return false;
  ++header_.ChangeCounter;
  header_.Modified = true;
  std::array<std::uint8_t, IndexHeaderSize> image{};
  header_.Encode(image.data());
  if (encrypted_) Scramble(image.data(), image.size(), RecordScrambleSeeds);
  WriteAt(0, image.data(), IndexHeaderSize);
  modified_ = false;
  return true;
}

void TIndexFile::TouchHeader() {
  ++header_.ChangeCounter;
  modified_ = true;
}

void TIndexFile::Empty() {
  DiscardPages();
  WriteAt(IndexHeaderSize, nullptr, 0);
  if (temporaryFile_ != nullptr) {
    temporaryFile_->WriteAt(IndexPageSize, nullptr, 0);
    temporaryNextPage_ = 1;
  }
  header_.NextPage = 1;
  header_.ActiveRecords = 0;
  for (TIndexDefinition& d : header_.Slots) {
    d.Root = 0;
    d.FirstFree = 0;
    d.TextParameters = 0;
  }
  modified_ = true;
}

void TIndexFile::SetSettings(const TIndexFileSettings& settings) {
  settings_ = settings;
  for (TSlotCache& cache : caches_) cache.Limit = std::max(cache.Limit, TrimmedLimit());
}

int TIndexFile::TrimmedLimit() const { return std::max(1, settings_.RecordBufferBytes / 8192); }

// ---------------------------------------------------------------- definitions

void TIndexFile::CheckDefinitionName(const std::string& name, int skipSlot) const {
  if (name.empty()) RaiseIndexError(QUARRY_INDEXNAMEREQUIRED, FileName());
  if (!IsNameStartByte(static_cast<unsigned char>(name[0])) || name.size() > MaxIndexNameLength) {
    RaiseIndexError(QUARRY_INVALIDINDEXNAME, FileName(), name);
  }
  for (int slot = 1; slot <= header_.SecondaryCount; ++slot) {
    if (slot != skipSlot && SameTextIgnoringCase(TrimText(header_.Slots[slot].Name), name)) {
      RaiseIndexError(QUARRY_INDEXEXISTS, FileName(), name);
    }
  }
}

namespace {

std::vector<const TFieldDefinition*> KeyFields(const TIndexDefinition& index,
                                               const std::vector<TFieldDefinition>& fields, const std::string& table) {
  std::vector<const TFieldDefinition*> out;
  for (int i = 0; i < index.FieldCount; ++i) {
    const int number = index.FieldNumbers[i];
    if (number < 1 || number > static_cast<int>(fields.size())) {
      RaiseIndexError(QUARRY_INVALIDIDXDESC, table, index.Name, std::to_string(number));
    }
    out.push_back(&fields[number - 1]);
  }
  return out;
}

void ClearUnusedFields(TIndexDefinition& index) {
  for (int i = index.FieldCount; i < MaxKeyFields; ++i) {
    index.FieldNumbers[i] = 0;
    index.FieldDescending[i] = false;
  }
}

}  // namespace

void TIndexFile::DefinePrimaryIndex(TIndexDefinition index, const std::vector<TFieldDefinition>& fields) {
  if (header_.Slots[PrimarySlot].KeyLength != 0) RaiseIndexError(QUARRY_PRIMARYKEYREDEFINE, FileName());
  if (index.FieldCount > MaxKeyFields) RaiseIndexError(QUARRY_INDEXLIMIT, FileName());
  if (index.FieldCount == 0) {
    header_.NoPrimaryIndex = true;
    header_.Slots[PrimarySlot] = TIndexDefinition{};
    MarkModified();
    return;
  }
  index.Name.clear();
  index.Unique = true;
  index.Root = index.FirstFree = index.TextParameters = 0;
  ClearUnusedFields(index);
  index.KeyLength =
      static_cast<std::uint16_t>(ComputeKeyLength(KeyFields(index, fields, FileName()), true, "", FileName()));
  header_.Slots[PrimarySlot] = index;
  header_.NoPrimaryIndex = false;
  MarkModified();
  RebuildBindings();
}

int TIndexFile::AddSecondaryIndex(TIndexDefinition index, const std::vector<TFieldDefinition>& fields) {
  if (header_.SecondaryCount >= MaxSecondaryIndexes || index.FieldCount > MaxKeyFields) {
    RaiseIndexError(QUARRY_INDEXLIMIT, FileName());
  }
  index.Name = TrimText(index.Name);
  CheckDefinitionName(index.Name, -1);
  if (index.FieldCount == 0) RaiseIndexError(QUARRY_INVALIDKEY, FileName(), index.Name);
  ClearUnusedFields(index);
  index.Root = index.FirstFree = index.TextParameters = 0;
  index.KeyLength = static_cast<std::uint16_t>(
      ComputeKeyLength(KeyFields(index, fields, FileName()), index.Unique, index.Name, FileName()));
  // Permanent indexes go before any temporary ones, so that our slots match the ones other
  // processes see (their headers never hold temporary indexes).
  int slot = header_.SecondaryCount + 1;
  if (!index.Temporary) {
    while (slot > 1 && header_.Slots[slot - 1].Temporary) --slot;
  }
  if (slot <= header_.SecondaryCount) {
    // Cached pages are kept per slot: write them out before the slots move.
    FlushPages();
    DiscardPages();
    for (int s = header_.SecondaryCount; s >= slot; --s) header_.Slots[s + 1] = header_.Slots[s];
  }
  header_.Slots[slot] = index;
  ++header_.SecondaryCount;
  MarkModified();
  RebuildBindings();
  return slot;
}

void TIndexFile::DefineTextIndex(TIndexDefinition index, const std::vector<TFieldDefinition>& fields) {
  if (index.FieldCount > MaxKeyFields) RaiseIndexError(QUARRY_INDEXLIMIT, FileName());
  for (const TFieldDefinition* f : KeyFields(index, fields, FileName())) {
    if (!IsTextField(*f)) RaiseIndexError(QUARRY_SEARCHCOLREQD, FileName(), TextIndexName, f->Name);
  }
  TIndexDefinition& text = header_.Slots[TextSlot];
  if (text.Root != 0) Tree(TextSlot).Clear();
  ClearUnusedFields(index);
  index.Name = TextIndexName;
  index.KeyLength = TextKeyLength;
  index.Compression = TKeyCompression::Both;
  index.Unique = false;
  index.Root = 0;
  index.FirstFree = text.FirstFree;
  index.TextParameters = text.TextParameters;
  text = index;
  MarkModified();
  RebuildBindings();
}

void TIndexFile::RemoveIndex(int slot) {
  if (slot < 0 || slot >= IndexSlotCount || slot == DeletedSlot) RaiseIndexError(QUARRY_INVALIDINDEXNAME, FileName());
  if (!header_.Slots[slot].Defined()) RaiseIndexError(QUARRY_INVALIDINDEXNAME, FileName());
  if (slot > header_.SecondaryCount && slot <= MaxSecondaryIndexes)
    RaiseIndexError(QUARRY_INVALIDINDEXNAME, FileName());
  // Free the index's pages and hand its free chain to "Sys Deleted", which every table has.
  // A temporary index's pages are in its own file and simply go with it.
  const bool temporary = IsTemporary(slot);
  if (!temporary) Tree(slot).Clear();
  FlushPages();
  std::int32_t first = temporary ? 0 : header_.Slots[slot].FirstFree;
  if (first != 0) {
    std::int32_t last = first;
    std::array<std::uint8_t, IndexPageSize> image{};
    for (std::int64_t steps = 0;; ++steps) {
      if (steps > header_.NextPage) Corrupt();
      ReadImage(last, image.data());
      const auto next = bytes::Load<std::int32_t>(image.data() + IndexPageNextOffset);
      if (next == 0) break;
      last = next;
    }
    const std::int32_t link = header_.Slots[DeletedSlot].FirstFree;
    bytes::Store<std::int32_t>(image.data() + IndexPageNextOffset, link);
    WriteImage(last, image.data());
    header_.Slots[DeletedSlot].FirstFree = first;
  }
  DiscardPages();
  if (slot == PrimarySlot || slot == TextSlot) {
    const std::int32_t params = header_.Slots[slot].TextParameters;
    header_.Slots[slot] = TIndexDefinition{};
    if (slot == TextSlot) {
      header_.Slots[TextSlot] = TIndexHeader::ForNewTable().Slots[TextSlot];
      header_.Slots[TextSlot].TextParameters = params;
    }
  } else {
    for (int s = slot; s < header_.SecondaryCount; ++s) header_.Slots[s] = header_.Slots[s + 1];
    header_.Slots[header_.SecondaryCount] = TIndexDefinition{};
    --header_.SecondaryCount;
  }
  MarkModified();
  RebuildBindings();
}

int TIndexFile::FindIndex(std::string_view name) const {
  const std::string wanted = TrimText(name);
  for (int slot = 0; slot <= header_.SecondaryCount; ++slot) {
    if (slot == PrimarySlot && !header_.Slots[slot].Defined()) continue;
    if (SameTextIgnoringCase(TrimText(header_.Slots[slot].Name), wanted)) return slot;
  }
  return -1;
}

// ---------------------------------------------------------------- keys

void TIndexFile::BindTable(const std::vector<TFieldDefinition>& fields, std::shared_ptr<const TCollation> collation) {
  fields_ = fields;
  collation_ = collation != nullptr ? std::move(collation) : BinaryCollation();
  RebuildBindings();
}

void TIndexFile::RebuildBindings() {
  if (collation_ == nullptr) collation_ = BinaryCollation();
  for (int slot = 0; slot < IndexSlotCount; ++slot) {
    builders_[slot].reset();
    const TIndexDefinition& d = header_.Slots[slot];
    if (slot == DeletedSlot) {
      comparators_[slot] = TKeyComparator::Bytewise(DeletedKeyLength);
    } else if (slot == TextSlot) {
      comparators_[slot] = TKeyComparator::FullText(collation_);
    } else {
      comparators_[slot] = TKeyComparator::Bytewise(d.KeyLength, d.Descending);
      if (d.Defined() && !fields_.empty()) {
        // A damaged definition gets no builder (KeyBuilder then refuses the slot);
        // VerifyHeader is where such a header is reported.
        try {
          builders_[slot] = std::make_unique<TKeyBuilder>(d, fields_, collation_, FileName());
          comparators_[slot] = builders_[slot]->Comparator();
        } catch (const EQuarryEngineError&) {
          builders_[slot].reset();
        }
      }
    }
  }
}

const TKeyBuilder& TIndexFile::KeyBuilder(int slot) const {
  if (builders_.at(slot) == nullptr) RaiseIndexError(QUARRY_INVALIDINDEXNAME, FileName());
  return *builders_[slot];
}

TPageFormat TIndexFile::FormatOf(int slot) const {
  TPageFormat f = header_.Slots[slot].PageFormat();
  if (slot == TextSlot) f.Counts = false;
  return f;
}

TBTree TIndexFile::Tree(int slot) {
  if (slot < 0 || slot >= IndexSlotCount || !header_.Slots[slot].Defined()) {
    RaiseIndexError(QUARRY_INVALIDINDEXNAME, FileName());
  }
  return TBTree(*this, static_cast<std::uint8_t>(slot), FormatOf(slot), comparators_[slot], header_.Slots[slot].Name);
}

void TIndexFile::InsertKey(int slot, TIndexPath& path, const std::uint8_t* key, std::int32_t recordNo) {
  Tree(slot).Insert(key, recordNo, path);
}

bool TIndexFile::DeleteKey(int slot, TIndexPath& path, const std::uint8_t* key) { return Tree(slot).Delete(key, path); }

bool TIndexFile::FindKey(int slot, TIndexPath& path, const std::uint8_t* key) { return Tree(slot).Find(key, path); }

std::vector<std::int32_t> TIndexFile::DeletedRecordNumbers() {
  std::vector<std::int32_t> numbers;
  TBTree tree = Tree(DeletedSlot);
  std::uint8_t key[DeletedKeyLength] = {1, 0, 0, 0, 0};
  TIndexPath path;
  tree.Find(key, path);
  while (tree.OnEntry(path)) {
    const std::int32_t recordNo = tree.EntryAt(path, key);
    if (key[0] != 1) break;
    numbers.push_back(recordNo);
    if (!tree.Next(path)) break;
  }
  return numbers;
}

// ---------------------------------------------------------------- records

void TIndexFile::IncrementRecordCount() {
  ++header_.ActiveRecords;
  MarkModified();
}

void TIndexFile::DecrementRecordCount() {
  if (header_.ActiveRecords > 0) --header_.ActiveRecords;
  MarkModified();
}

void TIndexFile::SetRecordCount(std::int32_t count) {
  header_.ActiveRecords = count < 0 ? 0 : count;
  MarkModified();
}

void TIndexFile::ReportSlotReuse(TDataFile& data) const { data.SetSlotReuse(ReusesDeletedSlots()); }

// ---------------------------------------------------------------- page cache

void TIndexFile::CheckPageNumber(std::int32_t pageNo, int slot) const {
  const std::int32_t next = IsTemporary(slot) ? temporaryNextPage_ : header_.NextPage;
  if (pageNo < 1 || pageNo >= next) Corrupt();
}

void TIndexFile::ReadImage(std::int32_t pageNo, std::uint8_t* image, int slot) {
  CheckPageNumber(pageNo, slot);
  const std::int64_t offset = static_cast<std::int64_t>(pageNo) * IndexPageSize;
  if (PageFile(slot).ReadAt(offset, image, IndexPageSize, true) != IndexPageSize) Corrupt();
  if (encrypted_) Scramble(image, IndexPageSize, RecordScrambleSeeds);
  ++reads_;
}

void TIndexFile::WriteImage(std::int32_t pageNo, std::uint8_t* image, int slot) {
  if (encrypted_) Scramble(image, IndexPageSize, RecordScrambleSeeds);
  PageFile(slot).WriteAt(static_cast<std::int64_t>(pageNo) * IndexPageSize, image, IndexPageSize);
}

TPage* TIndexFile::CachedPage(TSlotCache& cache, std::int32_t pageNo) {
  if (cache.MruHead != nullptr) {
    if (cache.MruHead->PageNo == pageNo) return cache.MruHead;
    TPage* second = cache.MruHead->MruNext;
    if (second != nullptr && second->PageNo == pageNo) {
      MoveToFront(cache, second);
      return second;
    }
  }
  auto it = std::lower_bound(cache.Sorted.begin(), cache.Sorted.end(), pageNo,
                             [](const TPage* p, std::int32_t n) { return p->PageNo < n; });
  if (it == cache.Sorted.end() || (*it)->PageNo != pageNo) return nullptr;
  MoveToFront(cache, *it);
  return *it;
}

void TIndexFile::MoveToFront(TSlotCache& cache, TPage* page) {
  if (cache.MruHead == page) return;
  // Unlink.
  if (page->MruPrev != nullptr) page->MruPrev->MruNext = page->MruNext;
  if (page->MruNext != nullptr) page->MruNext->MruPrev = page->MruPrev;
  if (cache.MruTail == page) cache.MruTail = page->MruPrev;
  // Link at the head.
  page->MruPrev = nullptr;
  page->MruNext = cache.MruHead;
  if (cache.MruHead != nullptr) cache.MruHead->MruPrev = page;
  cache.MruHead = page;
  if (cache.MruTail == nullptr) cache.MruTail = page;
}

void TIndexFile::AddToCache(int slot, TPage* page) {
  TSlotCache& cache = caches_[slot];
  auto it = std::lower_bound(cache.Sorted.begin(), cache.Sorted.end(), page->PageNo,
                             [](const TPage* p, std::int32_t n) { return p->PageNo < n; });
  cache.Sorted.insert(it, page);
  page->MruPrev = page->MruNext = nullptr;
  MoveToFront(cache, page);
}

void TIndexFile::RemoveFromCache(TSlotCache& cache, TPage* page) {
  auto it = std::lower_bound(cache.Sorted.begin(), cache.Sorted.end(), page->PageNo,
                             [](const TPage* p, std::int32_t n) { return p->PageNo < n; });
  if (it == cache.Sorted.end() || *it != page) Corrupt();
  cache.Sorted.erase(it);
  if (page->MruPrev != nullptr) page->MruPrev->MruNext = page->MruNext;
  if (page->MruNext != nullptr) page->MruNext->MruPrev = page->MruPrev;
  if (cache.MruHead == page) cache.MruHead = page->MruNext;
  if (cache.MruTail == page) cache.MruTail = page->MruPrev;
  page->MruPrev = page->MruNext = nullptr;
}

TPage* TIndexFile::TakePageObject(int slot) {
  TSlotCache& cache = caches_[slot];
  const auto evictable = [&]() -> TPage* {
    for (TPage* p = cache.MruTail; p != nullptr; p = p->MruPrev) {
      if (p->Pins == 0 && !p->Dirty) return p;
    }
    return nullptr;
  };
  TPage* victim = nullptr;
  if (static_cast<int>(cache.Sorted.size()) >= cache.Limit) {
    victim = evictable();
    if (victim == nullptr && !settings_.TableLockHeld) {
      // Pinned pages may be in the middle of a change (an overflowing page being split):
      // only pages no one holds are written early.
      FlushSlot(slot, true);
      victim = evictable();
    }
    if (victim == nullptr) cache.Limit += 4;
  }
  if (victim != nullptr) {
    RemoveFromCache(cache, victim);
    return victim;
  }
  if (!spare_.empty()) {
    TPage* p = spare_.back();
    spare_.pop_back();
    return p;
  }
  pages_.push_back(std::make_unique<TPage>(FormatOf(slot), 0, static_cast<std::uint8_t>(slot)));
  return pages_.back().get();
}

TPage* TIndexFile::FetchPage(std::uint8_t slot, std::int32_t pageNo) {
  if (slot >= IndexSlotCount) Corrupt();
  ++requests_;
  CheckPageNumber(pageNo, slot);
  TSlotCache& cache = caches_[slot];
  if (TPage* hit = CachedPage(cache, pageNo)) {
    ++hit->Pins;
    return hit;
  }
  std::array<std::uint8_t, IndexPageSize> image{};
  ReadImage(pageNo, image.data(), slot);
  TPage* page = TakePageObject(slot);
  page->Reset(FormatOf(slot), pageNo, slot);
  if (!page->Unpack(image.data())) {
    spare_.push_back(page);
    Corrupt();
  }
  page->Free = page->Count() == 0;
  AddToCache(slot, page);
  ++page->Pins;
  return page;
}

std::int32_t TIndexFile::AppendPageNumber(int slot) {
  std::int32_t& next = IsTemporary(slot) ? temporaryNextPage_ : header_.NextPage;
  const std::int64_t pageNo = next;
  if (pageNo > MaxIndexPages || (pageNo + 1) * IndexPageSize > MaxIndexFileBytes) {
    RaiseIndexError(QUARRY_TABLEFULL, FileName());
  }
  ++next;
  MarkModified();
  return static_cast<std::int32_t>(pageNo);
}

TPage* TIndexFile::NewPage(std::uint8_t slot) {
  TIndexDefinition& d = header_.Slots[slot];
  TPage* page = nullptr;
  if (d.FirstFree != 0) {
    page = FetchPage(slot, d.FirstFree);
    if (page->Count() != 0) {
      ReleasePage(page);
      Corrupt();
    }
    d.FirstFree = page->Next;
    const int pins = page->Pins;
    TPage* mruPrev = page->MruPrev;
    TPage* mruNext = page->MruNext;
    page->Reset(FormatOf(slot), page->PageNo, slot);
    page->Pins = pins;
    page->MruPrev = mruPrev;
    page->MruNext = mruNext;
  } else {
    const std::int32_t pageNo = AppendPageNumber(slot);
    page = TakePageObject(slot);
    page->Reset(FormatOf(slot), pageNo, slot);
    AddToCache(slot, page);
    page->Pins = 1;
  }
  page->Dirty = true;
  MarkModified();
  return page;
}

void TIndexFile::ReleasePage(TPage* page) {
  if (page->Pins > 0) --page->Pins;
}

void TIndexFile::FreePage(TPage* page) {
  TIndexDefinition& d = header_.Slots[page->Slot];
  page->Clear();
  page->Free = true;
  page->Prev = 0;
  page->Next = d.FirstFree;
  page->Dirty = true;
  d.FirstFree = page->PageNo;
  MarkModified();
}

void TIndexFile::SetRoot(std::uint8_t slot, std::int32_t pageNo) {
  header_.Slots[slot].Root = pageNo;
  MarkModified();
}

void TIndexFile::WritePage(TPage& page) {
  if (page.Overflows()) Corrupt();
  std::array<std::uint8_t, IndexPageSize> image{};
  page.Pack(image.data());
  WriteImage(page.PageNo, image.data(), page.Slot);
  page.Dirty = false;
}

void TIndexFile::FlushSlot(int slot, bool onlyUnpinned) {
  // Sorted by page number already: writes go out in file order.
  for (TPage* page : caches_[slot].Sorted) {
    if (page->Dirty && !(onlyUnpinned && page->Pins > 0)) WritePage(*page);
  }
}

void TIndexFile::FlushPages() {
  for (int slot = 0; slot < IndexSlotCount; ++slot) FlushSlot(slot, false);
  WriteHeader(false);
}

void TIndexFile::DiscardPages() {
  for (TSlotCache& cache : caches_) {
    for (TPage* page : cache.Sorted) {
      page->MruPrev = page->MruNext = nullptr;
      spare_.push_back(page);
    }
    cache.Sorted.clear();
    cache.MruHead = cache.MruTail = nullptr;
    cache.Limit = TrimmedLimit();
  }
  // Keep a small pool of spare objects; the rest go.
  constexpr std::size_t KeepSpare = 64;
  if (spare_.size() > KeepSpare) {
    std::vector<TPage*> drop(spare_.begin() + KeepSpare, spare_.end());
    spare_.resize(KeepSpare);
    std::sort(drop.begin(), drop.end());
    std::erase_if(
        pages_, [&](const std::unique_ptr<TPage>& p) { return std::binary_search(drop.begin(), drop.end(), p.get()); });
  }
}

void TIndexFile::TrimCache(int keepPages) {
  const int limit = std::max(TrimmedLimit(), keepPages);
  for (TSlotCache& cache : caches_) {
    for (TPage* p = cache.MruTail; p != nullptr && static_cast<int>(cache.Sorted.size()) > limit;) {
      TPage* prev = p->MruPrev;
      if (p->Pins == 0 && !p->Dirty) {
        RemoveFromCache(cache, p);
        spare_.push_back(p);
      }
      p = prev;
    }
    cache.Limit = std::max(limit, static_cast<int>(cache.Sorted.size()));
  }
}

void TIndexFile::WidenCache(int pages) {
  for (TSlotCache& cache : caches_) cache.Limit = std::max(cache.Limit, pages);
}

// ---------------------------------------------------------------- text parameters

void TIndexFile::ReadParameterPage(std::int32_t pageNo, std::uint8_t* entries, std::int32_t& next) {
  std::array<std::uint8_t, IndexPageSize> image{};
  ReadImage(pageNo, image.data());
  if (image[0] != static_cast<std::uint8_t>(TPageType::TextParameters)) Corrupt();
  next = bytes::Load<std::int32_t>(image.data() + IndexPageNextOffset);
  std::memcpy(entries, image.data() + IndexPageHeaderSize, IndexPageEntryBytes);
}

void TIndexFile::WriteParameterPage(std::int32_t pageNo, const std::uint8_t* entries, std::int32_t next) {
  CheckPageNumber(pageNo);
  std::array<std::uint8_t, IndexPageSize> image{};
  image[0] = static_cast<std::uint8_t>(TPageType::TextParameters);
  bytes::Store<std::int32_t>(image.data() + IndexPageNextOffset, next);
  std::memcpy(image.data() + IndexPageHeaderSize, entries, IndexPageEntryBytes);
  WriteImage(pageNo, image.data());
}

std::int32_t TIndexFile::AllocateParameterPage() {
  TIndexDefinition& text = header_.Slots[TextSlot];
  if (text.FirstFree != 0) {
    TPage* page = NewPage(TextSlot);
    const std::int32_t pageNo = page->PageNo;
    // The page leaves the tree's cache: it is written raw from now on.
    page->Dirty = false;
    ReleasePage(page);
    RemoveFromCache(caches_[TextSlot], page);
    spare_.push_back(page);
    return pageNo;
  }
  return AppendPageNumber();
}

void TIndexFile::FreeParameterPage(std::int32_t pageNo) {
  CheckPageNumber(pageNo);
  TIndexDefinition& text = header_.Slots[TextSlot];
  std::array<std::uint8_t, IndexPageSize> image{};
  image[0] = static_cast<std::uint8_t>(TPageType::Leaf);
  bytes::Store<std::int32_t>(image.data() + IndexPageNextOffset, text.FirstFree);
  WriteImage(pageNo, image.data());
  text.FirstFree = pageNo;
  MarkModified();
}

void TIndexFile::SetTextParameterChain(std::int32_t firstPage) {
  header_.Slots[TextSlot].TextParameters = firstPage;
  MarkModified();
}

}  // namespace quarry
