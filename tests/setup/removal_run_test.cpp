// Removal through Add/Remove Programs (-u) or from the disc: what an
// installation placed goes, at once or at the next start, and what other
// readers use stays.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "registry/removal_entry.h"
#include "support/run_invariants.h"
#include "support/typical_machine.h"

namespace {

// The machine's files and registry, line by line, without what a removal
// leaves by design (the smart card service's settings and the setup source
// path), what the system keeps of the last start (WININIT.BAK), and the
// reader's device entries, which the system makes afresh when the reader is
// plugged in.
std::vector<std::string> LastingState(const SimulatedSystem& sim) {
  std::string dump = sim.Dump();
  size_t from = dump.find("directories:"), to = dump.find("boxes:");
  std::istringstream lines(dump.substr(from, to - from));
  std::vector<std::string> state;
  bool skippedKey = false;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("  HKLM", 0) == 0) {
      skippedKey =
          line.find("SCardSvr") != std::string::npos || line.find("VID_1E2D") != std::string::npos;
    }
    if (skippedKey || line.find("SourcePath") != std::string::npos ||
        line.find("wininit.bak") != std::string::npos) {
      continue;
    }
    state.push_back(line);
  }
  return state;
}

// The lines only one of the two states has, each marked with the state's sign.
std::string Differences(const std::vector<std::string>& before,
                        const std::vector<std::string>& after) {
  std::string shown;
  for (const std::string& line : before) {
    if (std::find(after.begin(), after.end(), line) == after.end()) shown += "\n- " + line;
  }
  for (const std::string& line : after) {
    if (std::find(before.begin(), before.end(), line) == before.end()) shown += "\n+ " + line;
  }
  return shown;
}

TEST(Removal, InstallStartRemoveStartLeavesTheMachineAsItWas) {
  for (Windows windows : {Windows::k98, Windows::kMe}) {
    for (bool silent : {true, false}) {
      SimulatedSystem sim;
      BuildTypicalMachine(sim, windows);
      std::vector<std::string> before = LastingState(sim);
      ASSERT_EQ(0u, RunSetupWith(sim, {"-s"}));
      sim.NextStart();
      sim.StartProgram("C:\\WINDOWS\\system\\rdWatch.exe");  // the monitor, as the start ran it
      const SimulatedSystem::Value* command =
          sim.FindValue(std::string("HKLM\\") + kRemovalKey, "UninstallString");
      ASSERT_NE(nullptr, command);
      EXPECT_EQ(std::string("C:\\WINDOWS\\system\\kt418Rmv.exe -u\0", 34), command->data);

      // As Add/Remove Programs starts it: the copy runs, and holds its file.
      sim.SetModulePath("C:\\WINDOWS\\system\\kt418Rmv.exe");
      sim.StartProgram("C:\\WINDOWS\\system\\kt418Rmv.exe");
      sim.AnswerNextBox(kIdYes);
      sim.AnswerNextBox(kIdNo);
      std::string what = std::string(windows == Windows::kMe ? "Me" : "98") +
                         (silent ? ", silent" : ", interactive");
      EXPECT_EQ(0u, RunSetupWith(sim, silent ? std::vector<std::string>{"-u", "-s"}
                                             : std::vector<std::string>{"-u"}))
          << what;
      EXPECT_EQ(silent ? 0u : 2u, sim.boxes().size()) << what << ": the question and the restart";
      sim.NextStart();
      EXPECT_EQ("", Differences(before, LastingState(sim))) << what;
    }
  }
}

}  // namespace
