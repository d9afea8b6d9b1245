#include "simulator/simulated_process.h"

#include "simulator/simulated_text.h"

namespace {

// Thrown by ExitProcess and caught by Run: the simulated process ends without
// ending the test that runs it.
struct ProcessExit {
  uint32_t status;
};

constexpr uint32_t kErrorAccessDenied = 5;
}  // namespace

void SimulatedProcess::SetNewMutexLastError(NewMutexLastError behaviour, uint32_t leftByStartup) {
  newMutexLastError_ = behaviour;
  lastError_ = leftByStartup;
}

void SimulatedProcess::CutPowerAfterCall(int number) { log_.CutPowerAfterCall(number); }

uint32_t SimulatedProcess::Run(const std::function<uint32_t()>& entry) {
  uint32_t status = kPowerCutStatus;
  try {
    status = entry();
  } catch (const ProcessExit& exit) {
    status = exit.status;
  } catch (const PowerCut&) {
    powerWasCut_ = true;
  }
  for (auto it = mutexHeldHere_.begin(); it != mutexHeldHere_.end();) {
    it = it->second ? mutexHeldHere_.erase(it) : std::next(it);
  }
  return status;
}

void SimulatedProcess::StartAnother() {
  lastError_ = 0;
  powerWasCut_ = false;
}

void SimulatedProcess::RunningFileRenamed(const std::string& fromKey, const std::string& toKey) {
  if (running_.erase(fromKey) != 0) running_.insert(toKey);
}

void SimulatedProcess::EndAll() {
  running_.clear();
  mutexHeldHere_.clear();
}

void SimulatedProcess::Dump(std::string* out) const {
  for (const auto& mutex : mutexHeldHere_) {
    *out += "mutex \"" + mutex.first + "\" held " + (mutex.second ? "here" : "elsewhere") + "\n";
  }
  for (const std::string& program : running_) *out += "running " + program + "\n";
  // The log ends with the call the power was cut after.
  if (powerWasCut_) *out += "the power was cut after call " + Dec(log_.calls().size()) + "\n";
}

Handle SimulatedProcess::CreateMutexA(const char* name) {
  Handle handle = 0;
  if (log_.ShouldFail(Op::CreateMutexA, name)) {
    lastError_ = kErrorAccessDenied;
  } else {
    if (mutexHeldHere_.count(name) != 0) {
      lastError_ = kErrorAlreadyExists;
    } else if (newMutexLastError_ == NewMutexLastError::kCleared) {
      lastError_ = 0;
    }
    mutexHeldHere_.emplace(name, true);
    handle = nextMutex_++;
  }
  log_.Record(Op::CreateMutexA, {name, {name}, Dec(handle), Hex(static_cast<uint32_t>(handle))});
  return handle;
}

uint32_t SimulatedProcess::GetLastError() {
  log_.Record(Op::GetLastError, {"", {}, Dec(lastError_)});
  return lastError_;
}

void SimulatedProcess::SetLastError(uint32_t error) {
  lastError_ = error;
  log_.Record(Op::SetLastError, {Dec(error), {Dec(error)}, ""});
}

void SimulatedProcess::ExitProcess(uint32_t status) {
  log_.Record(Op::ExitProcess, {Dec(status), {Dec(status)}, "", "-"});
  throw ProcessExit{status};
}
