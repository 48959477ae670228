// TExpTokenStack, the process-wide pool of free expression nodes, and TExpTree, the
// owning handle of a tree of nodes.
//
// Every node the parser, the type checker, the preparer and the evaluator create is
// acquired here and released back here. The pool keeps at most kCapacity free nodes;
// releasing beyond that destroys the node. The pool's lock is held only for one push
// or pop, so any thread may acquire and release.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "engine/values/exp_token.h"

namespace quarry {

class TExpTokenStack {
 public:
  static constexpr std::size_t kCapacity = 256;

  // The one pool of the process.
  static TExpTokenStack& Instance();

  // A cleared node: the last free one, or a new one when the pool is empty.
  TExpToken* Acquire();
  // Gives one node back (not its children) and sets the reference to null; null is ignored.
  void Release(TExpToken*& node);
  // Number of free nodes held (for tests).
  std::size_t FreeCount();

  ~TExpTokenStack();

 private:
  std::mutex Lock;               // guards Free
  std::vector<TExpToken*> Free;  // owned; at most kCapacity
};

// Returns a whole tree to the pool: operands and arguments first, then the node.
// The nested query of a sub-select is not touched (the statement owns it).
void ReleaseTree(TExpToken*& root);

struct TExpTreeReleaser {
  void operator()(TExpToken* node) const { ReleaseTree(node); }
};

// Owning handle of a tree; releasing it returns every node to the pool.
using TExpTree = std::unique_ptr<TExpToken, TExpTreeReleaser>;

// A fresh node from the pool, owned by the returned handle.
inline TExpTree NewToken() { return TExpTree(TExpTokenStack::Instance().Acquire()); }

// A deep copy of a tree: new nodes for Left, Right and Args; references kept.
TExpTree CopyTree(const TExpToken* root);

}  // namespace quarry
