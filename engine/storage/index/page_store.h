// Where index pages come from: the interface between the B+-tree algorithms and the index
// file's page cache.
//
// The tree code (btree.h) only ever sees pages through a TPageStore, so the same algorithms run
// over the index file (index_file.h) and over the in-memory store that tests use to check them
// in isolation (memory_page_store.h).
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "engine/storage/index/index_page.h"

namespace quarry {

// A source of pages for the indexes of one table.
//
// Contract: FetchPage and NewPage return a pinned page; the caller unpins it with ReleasePage
// (TPageRef does this). A pinned page stays at its address until released. Changing a page's
// entries or links requires marking it Dirty. Page numbers start at 1.
class TPageStore {
 public:
  virtual ~TPageStore() = default;

  // Page `pageNo` of index `slot`, read when not cached. A page number outside the file, or a
  // page whose image is not a valid page, raises QUARRY_INDEXCORRUPT.
  virtual TPage* FetchPage(std::uint8_t slot, std::int32_t pageNo) = 0;
  // A fresh, empty, dirty page for index `slot`: the first page of the index's free chain, or
  // a new page at the end of the file (QUARRY_TABLEFULL when the file is full).
  virtual TPage* NewPage(std::uint8_t slot) = 0;
  virtual void ReleasePage(TPage* page) = 0;
  // Empties a pinned page and pushes it on the front of its index's free chain.
  virtual void FreePage(TPage* page) = 0;

  virtual std::int32_t Root(std::uint8_t slot) const = 0;
  virtual void SetRoot(std::uint8_t slot, std::int32_t pageNo) = 0;

  // Name used in error messages (the table's file name).
  virtual const std::string& TableName() const = 0;
};

// Holds one pin on a page for its lifetime.
class TPageRef {
 public:
  TPageRef() = default;
  TPageRef(TPageStore& store, TPage* page) : store_(&store), page_(page) {}
  TPageRef(const TPageRef&) = delete;
  TPageRef& operator=(const TPageRef&) = delete;
  TPageRef(TPageRef&& other) noexcept
      : store_(std::exchange(other.store_, nullptr)), page_(std::exchange(other.page_, nullptr)) {}
  TPageRef& operator=(TPageRef&& other) noexcept {
    if (this != &other) {
      Reset();
      store_ = std::exchange(other.store_, nullptr);
      page_ = std::exchange(other.page_, nullptr);
    }
    return *this;
  }
  ~TPageRef() { Reset(); }

  void Reset() {
    if (page_ != nullptr) store_->ReleasePage(page_);
    page_ = nullptr;
  }
  TPage* get() const { return page_; }
  TPage* operator->() const { return page_; }
  TPage& operator*() const { return *page_; }
  explicit operator bool() const { return page_ != nullptr; }

 private:
  TPageStore* store_ = nullptr;
  TPage* page_ = nullptr;
};

}  // namespace quarry
