#include "simulator/simulated_process.h"

#include "simulator/simulated_files.h"
#include "simulator/simulated_profiles.h"
#include "simulator/simulated_programs.h"
#include "simulator/simulated_registry.h"
#include "simulator/simulated_text.h"

namespace {

// Thrown by ExitProcess and caught by Run: the simulated process ends without
// ending the test that runs it.
struct ProcessExit {
  uint32_t status;
};

constexpr uint32_t kErrorAccessDenied = 5;
const char kRunServicesOnce[] =
    "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce";

// WININIT.EXE runs before long names can be read: it takes 8.3 names only,
// and the aliases the system gave, whatever their form.
bool IsShortPath(const SimulatedFiles& files, const std::string& path) {
  for (const std::string& name : files.names().FoldedNames(path)) {
    if (files.names().AliasOf(name) != name && !files.IsGivenAlias(name)) return false;
  }
  return true;
}

// Applies one [rename] line; what it did, or "" when it did nothing.
std::string ApplyRenameLine(SimulatedFiles& files, const std::string& line) {
  size_t equals = line.find('=');
  if (equals == std::string::npos) return std::string();
  std::string destination = line.substr(0, equals);
  std::string source = line.substr(equals + 1);
  if (!IsShortPath(files, source) || files.FindFile(source) == nullptr) return std::string();
  if (Lower(destination) == "nul") {
    files.RemoveTree(source);
    return "deleted " + source;
  }
  if (!IsShortPath(files, destination)) return std::string();
  if (files.FindFile(destination) != nullptr) files.RemoveTree(destination);
  if (!files.Move(source, destination)) return std::string();
  return "renamed " + line;
}

}  // namespace

void SimulatedProcess::SetNewMutexLastError(NewMutexLastError behaviour, uint32_t leftByStartup) {
  newMutexLastError_ = behaviour;
  lastError_ = leftByStartup;
}

void SimulatedProcess::CutPowerAfterCall(int number) { log_.InterruptAfterCall(number); }

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

void SimulatedProcess::NextStart(SimulatedFiles& files, SimulatedRegistry& registry,
                                 SimulatedPrograms& programs) {
  running_.clear();
  mutexHeldHere_.clear();
  lastStart_.clear();
  std::string wininit = files.windowsDirectory() + "\\WININIT.INI";
  if (const SimulatedFiles::File* file = files.FindFile(wininit)) {
    for (const std::string& line : SimulatedProfiles::SectionLines(file->content, "rename")) {
      std::string done = ApplyRenameLine(files, line);
      if (!done.empty()) lastStart_.push_back(done);
    }
    std::string backup = files.windowsDirectory() + "\\WININIT.BAK";
    files.RemoveTree(backup);
    files.Move(wininit, backup);
  }
  for (const std::string& name : registry.ValueNames(kRunServicesOnce)) {
    const SimulatedRegistry::Value* value = registry.FindValue(kRunServicesOnce, name);
    std::string command = value->data.substr(0, value->data.find('\0'));
    registry.DeleteValue(kRunServicesOnce, name);
    std::string program = programs.StartAtSystemStart(command);
    if (!program.empty()) lastStart_.push_back("started " + program);
  }
}

void SimulatedProcess::Dump(std::string* out) const {
  for (const auto& mutex : mutexHeldHere_) {
    *out += "mutex \"" + mutex.first + "\" held " + (mutex.second ? "here" : "elsewhere") + "\n";
  }
  for (const std::string& program : running_) *out += "running " + program + "\n";
  for (const std::string& done : lastStart_) *out += "at the last start: " + done + "\n";
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
