// TQuarryOwner and TQuarryComponent: the owner-and-name relation the access layer's objects
// keep, standing in for a window or data module that holds sessions, databases and datasets.
//
// An owner does not own memory: components are created and destroyed by their holder
// (usually as members or unique_ptrs of a window). A component registers with its owner when
// created and leaves it when destroyed; an owner that goes first detaches its components.
// The relation matters for the automatic session name (a session copies its generated name
// into every database and dataset of the same owner) and for finding a database that shares
// its handle with the datasets of one owner.
#pragma once

#include <string>
#include <vector>

namespace quarry {

class TQuarryComponent;

class TQuarryOwner {
 public:
  TQuarryOwner() = default;
  ~TQuarryOwner();
  TQuarryOwner(const TQuarryOwner&) = delete;
  TQuarryOwner& operator=(const TQuarryOwner&) = delete;

  // In creation order.
  const std::vector<TQuarryComponent*>& Components() const { return components_; }

 private:
  friend class TQuarryComponent;
  std::vector<TQuarryComponent*> components_;
};

class TQuarryComponent {
 public:
  TQuarryComponent(TQuarryOwner* owner, std::string name);
  virtual ~TQuarryComponent();
  TQuarryComponent(const TQuarryComponent&) = delete;
  TQuarryComponent& operator=(const TQuarryComponent&) = delete;

  TQuarryOwner* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }

  // A session of the same owner took an automatic name; databases and datasets follow it.
  virtual void OwnerSessionNamed(const std::string& /*sessionName*/) {}

 private:
  friend class TQuarryOwner;
  TQuarryOwner* owner_;
  std::string name_;
};

}  // namespace quarry
