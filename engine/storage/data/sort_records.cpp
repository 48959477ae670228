// SortRecords: reorders a table's records in place by a key, in memory when the whole table
// is cached, otherwise as an external merge sort with sorted runs in temporary files. It
// also drops duplicates, folds groups through the caller's callbacks and stops at a row
// limit. Used for the result tables of SQL statements; the table's indexes are not touched.
#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>
#include <queue>

#include "engine/storage/data/data_file.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/data/sort_key.h"
#include "engine/storage/files/scramble.h"

namespace quarry {

namespace {

// Bytes of run data kept in memory per run while merging.
constexpr std::int64_t MergeBufferBytes = 65536;

// A temporary run file that is closed and removed however the sort ends.
class TRunFile {
 public:
  TRunFile(const std::string& name, bool inMemory, TFileList& list) : handler_(name, inMemory, &list) {
    handler_.SetTemporary(true);
    handler_.Create();
  }
  ~TRunFile() {
    try {
      handler_.Close();
      if (!handler_.InMemory()) handler_.Delete();
    } catch (...) {
      // A run file that cannot be removed is left to the temporary directory's cleaning.
    }
  }
  TFileHandler& File() { return handler_; }
  std::int64_t Entries = 0;

 private:
  TFileHandler handler_;
};

// Sequential reader of the entries of one run.
class TRunReader {
 public:
  TRunReader(TRunFile& run, int entrySize, TScrambleSeeds seeds, bool scrambled)
      : run_(run), entrySize_(entrySize), seeds_(seeds), scrambled_(scrambled) {
    capacity_ = std::max<std::int64_t>(1, MergeBufferBytes / entrySize);
  }
  // The next entry (key then record), or null at the end of the run.
  const std::uint8_t* Next() {
    if (index_ == loaded_) {
      if (consumed_ == run_.Entries) return nullptr;
      const std::int64_t count = std::min(capacity_, run_.Entries - consumed_);
      buffer_.resize(static_cast<std::size_t>(count * entrySize_));
      run_.File().ReadAt(consumed_ * entrySize_, buffer_.data(), count * entrySize_);
      if (scrambled_)
        for (std::int64_t i = 0; i < count; ++i)
          Scramble(buffer_.data() + i * entrySize_, static_cast<std::size_t>(entrySize_), seeds_);
      consumed_ += count;
      loaded_ = count;
      index_ = 0;
    }
    return buffer_.data() + (index_++) * entrySize_;
  }

 private:
  TRunFile& run_;
  int entrySize_;
  TScrambleSeeds seeds_;
  bool scrambled_;
  std::int64_t capacity_;
  std::vector<std::uint8_t> buffer_;
  std::int64_t consumed_ = 0;
  std::int64_t loaded_ = 0;
  std::int64_t index_ = 0;
};

}  // namespace

// Does one SortRecords call; a friend of TDataFile.
class TRecordSorter {
 public:
  TRecordSorter(TDataFile& file, const TSortOptions& options)
      : file_(file),
        options_(options),
        keys_(options.KeyFields, options.CaseInsensitive, file.header_.LanguageId, file.header_.SortId),
        recordSize_(file.header_.RecordSize),
        keyLength_(keys_.KeyLength()) {}

  void Run() {
    file_.RequireOpen();
    const std::int64_t slots = file_.PhysicalRecordCount();
    if (slots > 0 && file_.cache_.Count() == slots) SortInMemory(slots);
    else if (slots > 0) SortExternally(slots);
    Finish(slots);
  }

 private:
  bool Grouping() const { return !options_.Distinct && static_cast<bool>(options_.Accumulate); }
  bool LimitReached() const { return options_.RowLimit >= 0 && rows_ >= options_.RowLimit; }

  // ---- output ----

  void StartOutput(std::int64_t capacity) {
    outCapacity_ = std::max<std::int64_t>(1, capacity);
    out_.assign(static_cast<std::size_t>(outCapacity_ * recordSize_), 0);
    outCount_ = 0;
  }

  void Append(const std::uint8_t* record) {
    if (LimitReached()) {
      stopped_ = true;
      return;
    }
    std::uint8_t* row = out_.data() + outCount_ * recordSize_;
    std::memcpy(row, record, static_cast<std::size_t>(recordSize_));
    ++rows_;
    SetRecordLink(row, static_cast<std::int32_t>(rows_));
    SetRecordIdentifier(row, static_cast<std::int32_t>(rows_));
    if (++outCount_ == outCapacity_) WriteOutput();
    if (!Grouping() && LimitReached()) stopped_ = true;
  }

  void WriteOutput() {
    if (outCount_ == 0) return;
    if (file_.header_.Encrypted)
      for (std::int64_t i = 0; i < outCount_; ++i) file_.ScrambleRecord(out_.data() + i * recordSize_);
    const std::int64_t firstRow = rows_ - outCount_ + 1;
    file_.WriteAt(file_.RecordOffset(static_cast<std::int32_t>(firstRow)), out_.data(), outCount_ * recordSize_);
    outCount_ = 0;
  }

  void FinishGroup() {
    if (!haveGroup_) return;
    haveGroup_ = false;
    if (options_.Finalise) options_.Finalise(group_.data());
    if (!options_.Keep || options_.Keep(group_.data())) Append(group_.data());
  }

  // Produces the output for the next record in key order.
  void Take(const std::uint8_t* record, const std::uint8_t* key) {
    if (stopped_) return;
    if (options_.Distinct) {
      if (havePrevious_ && keys_.SameFields(key, previous_.data())) return;
      previous_.assign(key, key + keyLength_);
      havePrevious_ = true;
      Append(record);
    } else if (Grouping()) {
      if (haveGroup_ && keys_.SameFields(key, previous_.data())) {
        options_.Accumulate(group_.data(), record, false);
        return;
      }
      FinishGroup();
      if (LimitReached()) {
        stopped_ = true;
        return;
      }
      group_.assign(record, record + recordSize_);
      options_.Accumulate(group_.data(), record, true);
      previous_.assign(key, key + keyLength_);
      haveGroup_ = true;
    } else {
      Append(record);
    }
  }

  // ---- the two ways of sorting ----

  void SortInMemory(std::int64_t slots) {
    // The keys go into one block and the sort moves {key, record} pairs: no allocation per
    // record, and the comparisons read keys that lie together.
    struct TEntry {
      const std::uint8_t* Key;
      TRecord* Record;
    };
    const auto& cached = file_.cache_.Records();
    const auto keyLength = static_cast<std::size_t>(keyLength_);
    std::vector<std::uint8_t> keys(cached.size() * keyLength);
    std::vector<TEntry> entries;
    entries.reserve(cached.size());
    for (TRecord* r : cached) {
      if (RecordStatus(r->Data.data()) == RecordDeleted) continue;
      std::uint8_t* key = keys.data() + entries.size() * keyLength;
      keys_.Build(r->Data.data(), key);
      entries.push_back({key, r});
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [this](const TEntry& a, const TEntry& b) { return keys_.Compare(a.Key, b.Key) < 0; });
    StartOutput(slots);
    for (const TEntry& e : entries) {
      Take(e.Record->Data.data(), e.Key);
      if (stopped_) break;
    }
    FinishGroup();
    WriteOutput();
    file_.cache_.Clear();
  }

  void SortExternally(std::int64_t slots) {
    // Everything the cache holds must be on disk before the records are read in runs.
    std::vector<TRecord*> dirty;
    for (const auto& r : file_.cache_.Records())
      if (r->Dirty) dirty.push_back(r);
    if (!dirty.empty()) file_.WriteRecords(dirty);
    file_.cache_.Clear();

    // A run holds no more than the records there are: the buffers are sized by it.
    const std::int64_t runCapacity = std::max<std::int64_t>(
        1, std::min<std::int64_t>({file_.settings_.RecordBufferCount, 1048576 / recordSize_, slots}));
    const int entrySize = keyLength_ + recordSize_;
    const bool scrambled = file_.header_.Encrypted;
    std::vector<std::unique_ptr<TRunFile>> runs;
    {
      std::vector<std::uint8_t> chunk(static_cast<std::size_t>(runCapacity * recordSize_));
      std::vector<std::uint8_t> keys(static_cast<std::size_t>(runCapacity * keyLength_));
      std::vector<std::uint8_t> entries(static_cast<std::size_t>(runCapacity * entrySize));
      std::vector<std::int64_t> order;
      for (std::int64_t first = 1; first <= slots; first += runCapacity) {
        const std::int64_t count = std::min(runCapacity, slots - first + 1);
        file_.ReadAt(file_.RecordOffset(static_cast<std::int32_t>(first)), chunk.data(), count * recordSize_);
        ++file_.diskReads_;
        order.clear();
        for (std::int64_t i = 0; i < count; ++i) {
          std::uint8_t* record = chunk.data() + i * recordSize_;
          if (scrambled) file_.ScrambleRecord(record);
          if (RecordStatus(record) == RecordDeleted) continue;
          keys_.Build(record, keys.data() + i * keyLength_);
          order.push_back(i);
        }
        if (order.empty()) continue;
        std::stable_sort(order.begin(), order.end(), [&](std::int64_t a, std::int64_t b) {
          return keys_.Compare(keys.data() + a * keyLength_, keys.data() + b * keyLength_) < 0;
        });
        for (std::size_t k = 0; k < order.size(); ++k) {
          std::uint8_t* entry = entries.data() + static_cast<std::int64_t>(k) * entrySize;
          std::memcpy(entry, keys.data() + order[k] * keyLength_, static_cast<std::size_t>(keyLength_));
          std::memcpy(entry + keyLength_, chunk.data() + order[k] * recordSize_, static_cast<std::size_t>(recordSize_));
          // Run files of an encrypted table never hold its records in plain.
          if (scrambled) Scramble(entry, static_cast<std::size_t>(entrySize), RecordScrambleSeeds);
        }
        auto run = std::make_unique<TRunFile>(file_.TemporaryFileName(), file_.InMemory(), file_.List());
        run->File().WriteAt(0, entries.data(), static_cast<std::int64_t>(order.size()) * entrySize);
        run->Entries = static_cast<std::int64_t>(order.size());
        runs.push_back(std::move(run));
      }
    }
    runCount_ = static_cast<int>(runs.size());

    // Merge: the smallest head of all runs goes out next; equal keys keep run order.
    std::vector<std::unique_ptr<TRunReader>> readers;
    struct Head {
      const std::uint8_t* entry;
      int run;
    };
    auto greater = [this](const Head& a, const Head& b) {
      const int c = keys_.Compare(a.entry, b.entry);
      return c != 0 ? c > 0 : a.run > b.run;
    };
    std::priority_queue<Head, std::vector<Head>, decltype(greater)> heads(greater);
    for (std::size_t i = 0; i < runs.size(); ++i) {
      readers.push_back(std::make_unique<TRunReader>(*runs[i], entrySize, RecordScrambleSeeds, scrambled));
      if (const std::uint8_t* entry = readers.back()->Next()) heads.push({entry, static_cast<int>(i)});
    }
    StartOutput(runCapacity);
    // An entry stays valid until its reader's next refill, which happens only after the
    // entry was taken.
    while (!heads.empty() && !stopped_) {
      const Head head = heads.top();
      heads.pop();
      Take(head.entry + keyLength_, head.entry);
      if (const std::uint8_t* entry = readers[static_cast<std::size_t>(head.run)]->Next())
        heads.push({entry, head.run});
    }
    FinishGroup();
    WriteOutput();
  }

  void Finish(std::int64_t slots) {
    // Rows were dropped (duplicates, groups, limit, deleted slots): cut the file after the
    // last output row. Every remaining slot is active, so the free chain is empty.
    if (rows_ != slots || file_.header_.FirstFree != 0) {
      {
        TFileSection section(file_);
        file_.Seek(kSeekFromStart, file_.RecordOffset(static_cast<std::int32_t>(rows_ + 1)));
        file_.TFileHandler::Write(nullptr, 0);
      }
      file_.header_.NextRecordNo = static_cast<std::int32_t>(rows_ + 1);
      file_.header_.FirstFree = 0;
      file_.headerModified_ = true;
      // The file on disk no longer holds the old slots; a failed header write must not
      // bring their count back.
      if (file_.diskHeaderValid_) {
        file_.diskHeader_.NextRecordNo = file_.header_.NextRecordNo;
        file_.diskHeader_.FirstFree = 0;
      }
    }
    if (options_.Distinct || options_.Accumulate || options_.RowLimit >= 0 || rows_ != slots) {
      if (options_.SetActiveRecordCount) options_.SetActiveRecordCount(rows_);
    }
    file_.headerModified_ = true;
    file_.WriteHeader(false);
  }

  TDataFile& file_;
  const TSortOptions& options_;
  TSortKeyBuilder keys_;
  int recordSize_;
  int keyLength_;
  std::vector<std::uint8_t> out_;
  std::int64_t outCapacity_ = 0;
  std::int64_t outCount_ = 0;
  std::int64_t rows_ = 0;
  bool stopped_ = false;
  std::vector<std::uint8_t> previous_;
  bool havePrevious_ = false;
  std::vector<std::uint8_t> group_;
  bool haveGroup_ = false;

 public:
  int runCount_ = 0;
};

void TDataFile::SortRecords(const TSortOptions& options) {
  TRecordSorter sorter(*this, options);
  sorter.Run();
  lastSortRuns_ = sorter.runCount_;
}

}  // namespace quarry
