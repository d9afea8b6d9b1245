// The life of processes on the simulated machine: the setup's run and how it
// ends (a return, ExitProcess, or a power cut right after a chosen call), the
// named mutexes it holds, which the system releases however it ends, and the
// thread's last error; and the programs that keep running, whose files are in use.
#pragma once

#include <stdint.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/system.h"
#include "simulator/simulated_call_log.h"

class SimulatedProcess {
 public:
  // What Run returns when the power was cut: the process left no status.
  static constexpr uint32_t kPowerCutStatus = 0xFFFFFFFF;
  // What CreateMutexA does to the last error when it creates a new name, which
  // Windows 9x does not document.
  enum class NewMutexLastError { kCleared, kLeftAsItWas };

  explicit SimulatedProcess(SimulatedCallLog& log) : log_(log) {}

  // Another process holds the named mutex, as another setup that is running would.
  void HoldMutexElsewhere(const std::string& name) { mutexHeldHere_[name] = false; }
  // The behaviour of CreateMutexA, and the code the start-up left as the last error.
  void SetNewMutexLastError(NewMutexLastError behaviour, uint32_t leftByStartup);
  // The run ends right after its call with this 1-based number (every call counts).
  void CutPowerAfterCall(int number);

  // Runs the entry as the process and returns its status, whether it returned
  // or ended through ExitProcess; releases the mutexes it held.
  uint32_t Run(const std::function<uint32_t()>& entry);
  // Forgets the last process's last error and power cut, for another.
  void StartAnother();
  bool powerWasCut() const { return powerWasCut_; }
  void Dump(std::string* out) const;

  // The program file (a path key) runs and keeps running: its file is in use.
  void ProgramRuns(const std::string& programKey) { running_.insert(programKey); }
  bool IsRunning(const std::string& pathKey) const { return running_.count(pathKey) != 0; }
  bool AnyRunning() const { return !running_.empty(); }
  // A running program's file was renamed: the program runs on from its new name.
  void RunningFileRenamed(const std::string& fromKey, const std::string& toKey);
  // The error a call failed with, as GetLastError then gives it.
  void CallFailed(uint32_t error) { lastError_ = error; }

  // Every process ends, as when the system starts again: their files are
  // free and their mutexes released.
  void EndAll();

  // The calls, as System declares them.
  Handle CreateMutexA(const char* name);
  uint32_t GetLastError();
  void SetLastError(uint32_t error);
  [[noreturn]] void ExitProcess(uint32_t status);

 private:
  SimulatedCallLog& log_;
  // Named mutexes by name (names are case-sensitive): held by the setup's
  // process, or by another.
  std::map<std::string, bool> mutexHeldHere_;
  Handle nextMutex_ = 0x3000;
  uint32_t lastError_ = 0;
  NewMutexLastError newMutexLastError_ = NewMutexLastError::kCleared;
  std::set<std::string> running_;  // program files by path key
  bool powerWasCut_ = false;
};
