// The process-wide slot of the filter expression engine (see filter_expression_engine.h).
#include "engine/storage/cursor/filter_expression_engine.h"

#include <atomic>

namespace quarry {

namespace {

// Installed once at start-up and read by every filter; an atomic keeps a late install by a
// second thread well-defined.
std::atomic<const TFilterExpressionEngine*> gFilterEngine{nullptr};

}  // namespace

void InstallFilterExpressionEngine(const TFilterExpressionEngine* engine) { gFilterEngine.store(engine); }

const TFilterExpressionEngine* InstalledFilterExpressionEngine() { return gFilterEngine.load(); }

}  // namespace quarry
