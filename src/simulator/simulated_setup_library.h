// The setup library of the simulated machine: InstallHinfSection installs a
// section only where the setup information file exists and holds it, and,
// as on Windows 98, reports nothing; the installations are kept for the tests.
#pragma once

#include <string>
#include <vector>

#include "simulator/simulated_call_log.h"
#include "simulator/simulated_files.h"

class SimulatedSetupLibrary {
 public:
  struct SectionInstall {
    std::string commandLine;
    std::string section;
    std::string infPath;
    bool sectionFound;  // the file exists and holds "[section]"
  };

  SimulatedSetupLibrary(const SimulatedFiles& files, SimulatedCallLog& log)
      : files_(files), log_(log) {}

  const std::vector<SectionInstall>& sectionInstalls() const { return sectionInstalls_; }
  // Forgets the last process's installations.
  void Clear() { sectionInstalls_.clear(); }
  void Dump(std::string* out) const;

  // The call, as System declares it.
  void InstallHinfSection(const char* commandLine, int showCommand);

 private:
  const SimulatedFiles& files_;
  SimulatedCallLog& log_;
  std::vector<SectionInstall> sectionInstalls_;
};
