// The file calls of the simulated machine: each checks for an injected
// failure, asks the file table, and logs the call with the paths it was given.
// A failed call leaves the last error Windows would: file or path not found
// only where nothing is there, access denied where something refused, and a
// device fault (31) for an injected failure.
// A running program's file can be neither replaced nor deleted (the emulator's
// error codes: 32, but 5 for the deletion of the running setup's own file);
// whether it can be renamed
// is a setting of the machine.
#pragma once

#include <stdint.h>

#include "platform/system.h"
#include "simulator/simulated_call_log.h"
#include "simulator/simulated_files.h"
#include "simulator/simulated_process.h"

class SimulatedFileCalls {
 public:
  // Windows 9x refuses to rename a running program's file; NT and the emulator allow it.
  enum class RunningFileRename { kRefused, kAllowed };

  SimulatedFileCalls(SimulatedFiles& files, SimulatedCallLog& log, SimulatedProcess& process)
      : files_(files), log_(log), process_(process) {}

  void SetRunningFileRename(RunningFileRename behaviour) { runningFileRename_ = behaviour; }
  void SetModulePath(const std::string& path) { modulePath_ = path; }
  const std::string& modulePath() const { return modulePath_; }

  // --- As System declares them ---
  uint32_t GetCurrentDirectoryA(uint32_t bufferLength, char* buffer);
  uint32_t GetWindowsDirectoryA(char* buffer, uint32_t size);
  uint32_t GetModuleFileNameA(char* buffer, uint32_t size);
  uint32_t GetFileAttributesA(const char* path);
  bool SetFileAttributesA(const char* path, uint32_t attributes);
  bool DeleteFileA(const char* path);
  bool CopyFileA(const char* source, const char* target, bool failIfExists);
  bool MoveFileA(const char* existingPath, const char* newPath);
  uint32_t GetShortPathNameA(const char* longPath, char* shortPath, uint32_t size);

 private:
  // Whether a running program holds the file; the call fails with error then.
  bool InUse(const char* path, uint32_t error);
  // Leaves the last error of a call on path that failed.
  void Failed(bool injected, const std::string& path);

  SimulatedFiles& files_;
  SimulatedCallLog& log_;
  SimulatedProcess& process_;
  RunningFileRename runningFileRename_ = RunningFileRename::kRefused;
  std::string modulePath_ = "D:\\SETUP.EXE";
};
