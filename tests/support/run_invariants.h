// What must hold after any run, whatever failed on the way: judged from the
// machine's log and state, not from the setup's own account. Shared by the
// fault-injection sweep and the fuzzer.
#pragma once

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

#include "platform/simulated_system.h"

struct RunFacts {
  std::string currentDirectory;  // as the system reports it
  std::string sourceDir;         // the media directory the run must copy from
  std::string windowsDirectory;
  // Package targets (full paths) that held an earlier file, with its content.
  std::map<std::string, std::string> earlierFiles;
};

// Whether an operation of this kind changes the system.
bool ChangesTheSystem(Op op);

// The rules a run broke, each as a sentence; empty when it broke none.
std::vector<std::string> BrokenRunRules(const SimulatedSystem& sim, const RunFacts& facts,
                                        uint32_t status);
