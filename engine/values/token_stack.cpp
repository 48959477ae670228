// The node pool and whole-tree release and copy.
#include "engine/values/token_stack.h"

namespace quarry {

TExpTokenStack& TExpTokenStack::Instance() {
  static TExpTokenStack pool;
  return pool;
}

TExpTokenStack::~TExpTokenStack() {
  for (TExpToken* node : Free) std::unique_ptr<TExpToken> destroy(node);
}

TExpToken* TExpTokenStack::Acquire() {
  TExpToken* node = nullptr;
  {
    std::lock_guard<std::mutex> guard(Lock);
    if (!Free.empty()) {
      node = Free.back();
      Free.pop_back();
    }
  }
  if (node == nullptr) return std::make_unique<TExpToken>().release();
  node->Clear();
  return node;
}

void TExpTokenStack::Release(TExpToken*& node) {
  if (node == nullptr) return;
  std::unique_ptr<TExpToken> owned(node);
  node = nullptr;
  std::lock_guard<std::mutex> guard(Lock);
  if (Free.size() < kCapacity) {
    Free.reserve(kCapacity);
    Free.push_back(owned.release());
  }
}

std::size_t TExpTokenStack::FreeCount() {
  std::lock_guard<std::mutex> guard(Lock);
  return Free.size();
}

void ReleaseTree(TExpToken*& root) {
  if (root == nullptr) return;
  if (root->Left == nullptr && root->Right == nullptr && root->Args.empty()) {
    // A lone node (every evaluated value): no traversal needed.
    TExpTokenStack::Instance().Release(root);
    return;
  }
  // An explicit stack keeps very deep trees (long AND chains) off the call stack.
  std::vector<TExpToken*> pending{root};
  root = nullptr;
  while (!pending.empty()) {
    TExpToken* node = pending.back();
    pending.pop_back();
    if (node->Left) pending.push_back(node->Left);
    if (node->Right) pending.push_back(node->Right);
    for (TExpToken* arg : node->Args)
      if (arg) pending.push_back(arg);
    node->Left = node->Right = nullptr;
    node->Args.clear();
    TExpTokenStack::Instance().Release(node);
  }
}

TExpTree CopyTree(const TExpToken* root) {
  if (root == nullptr) return nullptr;
  TExpTree copy = NewToken();
  copy->Assign(*root);
  copy->Left = copy->Right = nullptr;
  copy->Args.assign(root->Args.size(), nullptr);
  if (root->Left) {
    copy->Left = CopyTree(root->Left).release();
    copy->Left->Parent = copy.get();
  }
  if (root->Right) {
    copy->Right = CopyTree(root->Right).release();
    copy->Right->Parent = copy.get();
  }
  for (std::size_t i = 0; i < root->Args.size(); ++i) {
    if (root->Args[i]) {
      copy->Args[i] = CopyTree(root->Args[i]).release();
      copy->Args[i]->Parent = copy.get();
    }
  }
  return copy;
}

}  // namespace quarry
