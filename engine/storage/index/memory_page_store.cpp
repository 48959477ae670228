// In-memory page store (see memory_page_store.h).
#include "engine/storage/index/memory_page_store.h"

#include "engine/storage/index/index_error.h"

namespace quarry {

TMemoryPageStore::TMemoryPageStore(const TPageFormat& format, bool packed, std::uint8_t slot)
    : format_(format), packed_(packed), slot_(slot) {}

TPage* TMemoryPageStore::FetchPage(std::uint8_t slot, std::int32_t pageNo) {
  if (slot != slot_ || pageNo < 1 || pageNo > PageCount()) RaiseIndexError(QUARRY_INDEXCORRUPT, name_);
  auto it = live_.find(pageNo);
  if (it == live_.end()) {
    auto page = std::make_unique<TPage>(format_, pageNo, slot_);
    const auto& image = images_[pageNo - 1];
    if (!page->Unpack(image.data())) RaiseIndexError(QUARRY_INDEXCORRUPT, name_);
    // A free page is written with no entries; the tree refuses it where entries belong.
    it = live_.emplace(pageNo, std::move(page)).first;
  }
  ++it->second->Pins;
  return it->second.get();
}

TPage* TMemoryPageStore::NewPage(std::uint8_t slot) {
  if (slot != slot_) RaiseIndexError(QUARRY_INDEXCORRUPT, name_);
  TPage* page = nullptr;
  if (firstFree_ != 0) {
    page = FetchPage(slot, firstFree_);
    firstFree_ = page->Next;
    page->Reset(format_, page->PageNo, slot_);
    page->Pins = 1;
  } else {
    images_.emplace_back();
    const auto pageNo = static_cast<std::int32_t>(images_.size());
    page = live_.emplace(pageNo, std::make_unique<TPage>(format_, pageNo, slot_)).first->second.get();
    page->Pins = 1;
  }
  page->Dirty = true;
  return page;
}

void TMemoryPageStore::ReleasePage(TPage* page) {
  if (--page->Pins > 0 || !packed_) return;
  if (page->Dirty || page->Free) page->Pack(images_[page->PageNo - 1].data());
  live_.erase(page->PageNo);
}

void TMemoryPageStore::FreePage(TPage* page) {
  page->Clear();
  page->Free = true;
  page->Prev = 0;
  page->Next = firstFree_;
  page->Dirty = true;
  firstFree_ = page->PageNo;
}

int TMemoryPageStore::PinnedPages() const {
  int n = 0;
  for (const auto& [no, page] : live_) n += page->Pins > 0 ? 1 : 0;
  return n;
}

}  // namespace quarry
