// The fault-injecting environment (see fault_environment.h).
#include "engine/platform/fault_environment.h"

namespace quarry {

namespace {

// A file of the wrapped environment whose calls first ask the fault plan.
class TFaultFile final : public TOsFile {
 public:
  TFaultFile(TFaultInjectingEnvironment& environment, std::unique_ptr<TOsFile> base)
      : environment_(environment), base_(std::move(base)) {}

  int64_t ReadAt(uint64_t offset, void* buffer, size_t count) override {
    if (environment_.ShouldFail(TFaultOperation::kRead)) return -1;
    return base_->ReadAt(offset, buffer, count);
  }

  int64_t WriteAt(uint64_t offset, const void* buffer, size_t count) override {
    TFaultEffect effect = TFaultEffect::kError;
    if (environment_.ShouldFail(TFaultOperation::kWrite, &effect)) {
      if (effect == TFaultEffect::kShortWrite && count > 1) {
        const int32_t error = LastOsError();
        const int64_t written = base_->WriteAt(offset, buffer, count / 2);
        SetLastOsError(error);
        return written;
      }
      return -1;
    }
    return base_->WriteAt(offset, buffer, count);
  }

  bool SetSize(uint64_t size) override {
    if (environment_.ShouldFail(TFaultOperation::kSetSize)) return false;
    return base_->SetSize(size);
  }

  bool Flush() override {
    if (environment_.ShouldFail(TFaultOperation::kFlush)) return false;
    return base_->Flush();
  }

  int64_t Size() override { return base_->Size(); }

  bool LockRange(uint64_t offset, uint64_t length) override {
    if (environment_.ShouldFail(TFaultOperation::kLock)) return false;
    return base_->LockRange(offset, length);
  }

  bool UnlockRange(uint64_t offset, uint64_t length) override { return base_->UnlockRange(offset, length); }

  bool ReadOnly() const override { return base_->ReadOnly(); }
  bool ReleaseShareMode() override { return base_->ReleaseShareMode(); }
  bool TakeShareMode(bool exclusive) override { return base_->TakeShareMode(exclusive); }
  bool Identity(TFileIdentity& identity) override { return base_->Identity(identity); }

 private:
  TFaultInjectingEnvironment& environment_;
  std::unique_ptr<TOsFile> base_;
};

}  // namespace

TFaultInjectingEnvironment::TFaultInjectingEnvironment(TEnvironment& base) : base_(base) {}

void TFaultInjectingEnvironment::FailNth(TFaultOperation operation, int n, TFaultEffect effect, bool sticky,
                                         int32_t os_error) {
  std::lock_guard<std::mutex> guard(mutex_);
  const auto i = static_cast<size_t>(operation);
  TFault& fault = faults_[i];
  fault.armed = true;
  fault.fire_at = counts_[i] + (n < 1 ? 1 : n);
  fault.effect = effect;
  fault.sticky = sticky;
  fault.os_error = os_error;
}

void TFaultInjectingEnvironment::Clear() {
  std::lock_guard<std::mutex> guard(mutex_);
  for (TFault& fault : faults_) fault.armed = false;
}

int64_t TFaultInjectingEnvironment::Count(TFaultOperation operation) const {
  std::lock_guard<std::mutex> guard(mutex_);
  return counts_[static_cast<size_t>(operation)];
}

int64_t TFaultInjectingEnvironment::FaultsFired() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return fired_;
}

bool TFaultInjectingEnvironment::ShouldFail(TFaultOperation operation, TFaultEffect* effect) {
  std::lock_guard<std::mutex> guard(mutex_);
  const auto i = static_cast<size_t>(operation);
  const int64_t count = ++counts_[i];
  TFault& fault = faults_[i];
  if (!fault.armed || count < fault.fire_at) return false;
  if (!fault.sticky) fault.armed = false;
  ++fired_;
  if (effect != nullptr) *effect = fault.effect;
  SetLastOsError(fault.os_error);
  return true;
}

std::unique_ptr<TOsFile> TFaultInjectingEnvironment::OpenFile(const std::string& path, const TOpenOptions& options) {
  if (ShouldFail(TFaultOperation::kOpen)) return nullptr;
  std::unique_ptr<TOsFile> file = base_.OpenFile(path, options);
  if (!file) return nullptr;
  return std::make_unique<TFaultFile>(*this, std::move(file));
}

bool TFaultInjectingEnvironment::DeleteFile(const std::string& path) { return base_.DeleteFile(path); }
bool TFaultInjectingEnvironment::RenameFile(const std::string& from, const std::string& to) {
  return base_.RenameFile(from, to);
}
bool TFaultInjectingEnvironment::GetFileInfo(const std::string& path, TFileInfo& info) {
  return base_.GetFileInfo(path, info);
}
bool TFaultInjectingEnvironment::ListDirectory(const std::string& directory, std::vector<std::string>& names) {
  return base_.ListDirectory(directory, names);
}
std::string TFaultInjectingEnvironment::CurrentDirectory() { return base_.CurrentDirectory(); }
std::string TFaultInjectingEnvironment::TemporaryDirectory() { return base_.TemporaryDirectory(); }
std::string TFaultInjectingEnvironment::ComputerName() { return base_.ComputerName(); }
uint32_t TFaultInjectingEnvironment::ThreadId() { return base_.ThreadId(); }
TLocalTime TFaultInjectingEnvironment::LocalTime() { return base_.LocalTime(); }
bool TFaultInjectingEnvironment::ToLocalTime(int64_t unix_seconds, TLocalTime& local) {
  return base_.ToLocalTime(unix_seconds, local);
}
uint64_t TFaultInjectingEnvironment::TickCount() { return base_.TickCount(); }
void TFaultInjectingEnvironment::Sleep(uint32_t milliseconds) { base_.Sleep(milliseconds); }

}  // namespace quarry
