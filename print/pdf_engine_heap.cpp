// The heap as Qt's PDF engine needs it (pdf_engine_heap.h).
#include "print/pdf_engine_heap.h"

#include <malloc.h>

#include <mutex>

namespace gpr {

void KeepPdfEngineBlocksInHeap() {
  static std::once_flag once;
  std::call_once(once, [] {
    constexpr int kLargestHeapBlock = 32 << 20;
    constexpr int kFreeHeapKept = 64 << 20;
    mallopt(M_MMAP_THRESHOLD, kLargestHeapBlock);
    mallopt(M_TRIM_THRESHOLD, kFreeHeapKept);
  });
}

}  // namespace gpr
