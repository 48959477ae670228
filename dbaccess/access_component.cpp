// Owner and component registration (see access_component.h).
#include "dbaccess/access_component.h"

#include <algorithm>

namespace quarry {

TQuarryOwner::~TQuarryOwner() {
  for (TQuarryComponent* component : components_) component->owner_ = nullptr;
}

TQuarryComponent::TQuarryComponent(TQuarryOwner* owner, std::string name) : owner_(owner), name_(std::move(name)) {
  if (owner_ != nullptr) owner_->components_.push_back(this);
}

TQuarryComponent::~TQuarryComponent() {
  if (owner_ == nullptr) return;
  auto& list = owner_->components_;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

}  // namespace quarry
