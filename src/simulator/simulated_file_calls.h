// The file calls of the simulated machine: each checks for an injected
// failure, asks the file table, and logs the call with the paths it was given.
#pragma once

#include <stdint.h>

#include "platform/system.h"
#include "simulator/simulated_call_log.h"
#include "simulator/simulated_files.h"

class SimulatedFileCalls {
 public:
  SimulatedFileCalls(SimulatedFiles& files, SimulatedCallLog& log) : files_(files), log_(log) {}

  // --- As System declares them ---
  uint32_t GetCurrentDirectoryA(uint32_t bufferLength, char* buffer);
  uint32_t GetWindowsDirectoryA(char* buffer, uint32_t size);
  uint32_t GetFileAttributesA(const char* path);
  bool SetFileAttributesA(const char* path, uint32_t attributes);
  bool DeleteFileA(const char* path);
  bool CopyFileA(const char* source, const char* target, bool failIfExists);
  bool MoveFileA(const char* existingPath, const char* newPath);
  uint32_t GetShortPathNameA(const char* longPath, char* shortPath, uint32_t size);

 private:
  SimulatedFiles& files_;
  SimulatedCallLog& log_;
};
