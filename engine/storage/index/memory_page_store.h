// A page store held entirely in memory, for exercising the tree algorithms without a file.
//
// In "packed" mode every page lives as its 4,096-byte image and is unpacked on each fetch and
// packed again when its last pin goes, so the page format is exercised with every change;
// otherwise pages stay unpacked (fast, for large randomised runs). Pages can be damaged on
// purpose through Image()/Poke() to test that the tree refuses them.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/index/page_store.h"

namespace quarry {

class TMemoryPageStore : public TPageStore {
 public:
  explicit TMemoryPageStore(const TPageFormat& format, bool packed = false, std::uint8_t slot = 0);

  TPage* FetchPage(std::uint8_t slot, std::int32_t pageNo) override;
  TPage* NewPage(std::uint8_t slot) override;
  void ReleasePage(TPage* page) override;
  void FreePage(TPage* page) override;
  std::int32_t Root(std::uint8_t) const override { return root_; }
  void SetRoot(std::uint8_t, std::int32_t pageNo) override { root_ = pageNo; }
  const std::string& TableName() const override { return name_; }

  std::int32_t FirstFree() const { return firstFree_; }
  std::int32_t PageCount() const { return static_cast<std::int32_t>(images_.size()); }
  // Pages currently pinned (0 between tree operations).
  int PinnedPages() const;
  // The stored image of a page (packed mode); changes take effect at the next fetch.
  std::array<std::uint8_t, IndexPageSize>& Image(std::int32_t pageNo) { return images_.at(pageNo - 1); }

 private:
  TPageFormat format_;
  bool packed_;
  std::uint8_t slot_;
  std::string name_ = "MEMORY";
  std::int32_t root_ = 0;
  std::int32_t firstFree_ = 0;
  std::vector<std::array<std::uint8_t, IndexPageSize>> images_;
  // Unpacked pages: all of them (unpacked mode) or the pinned ones (packed mode).
  std::map<std::int32_t, std::unique_ptr<TPage>> live_;
};

}  // namespace quarry
