// Every operation that can fail, failing in turn: a whole run is repeated once
// per fault point, with exactly that call failing, and must still end in one
// of its three ways, with the status that says what happened, without losing
// an earlier driver, cutting a text or acting on a path it does not mean.
#include <gtest/gtest.h>

#include "support/run_invariants.h"
#include "support/typical_machine.h"

namespace {

struct Sweep {
  const char* name;
  Windows windows;
  bool silent;
};

// A typical machine on which an earlier version of every package file is
// installed, the driver read-only.
RunFacts BuildSweepMachine(SimulatedSystem& sim, const Sweep& sweep) {
  BuildTypicalMachine(sim, sweep.windows);
  RunFacts facts{"D:\\WIN98", "D:\\WIN98", "C:\\WINDOWS", {}};
  for (const auto& file : kPackageFiles) {
    std::string target = "C:\\WINDOWS\\" + file.second;
    facts.earlierFiles[target] = "earlier " + file.first;
    sim.AddFile(target, facts.earlierFiles[target],
                file.first == "kt418.sys" ? kFileAttributeReadOnly : kFileAttributeNormal);
  }
  if (!sweep.silent) {
    sim.AnswerNextBox(kIdYes);
    sim.AnswerNextBox(kIdYes);
  }
  return facts;
}

std::string FailedCall(const SimulatedSystem& sim, int point) {
  for (const auto& call : sim.calls()) {
    if (call.fallibleNumber == point) return call.text;
  }
  return "?";
}

uint32_t RunSweepCase(SimulatedSystem& sim, const Sweep& sweep) {
  return RunSetupWith(sim,
                      sweep.silent ? std::vector<std::string>{"-s"} : std::vector<std::string>{});
}

TEST(FaultSweep, EveryFaultPointEndsTheRunSoundly) {
  const Sweep sweeps[] = {
      {"interactive on Windows Me", Windows::kMe, false},
      {"silent on Windows 98", Windows::k98, true},
  };
  int swept = 0;
  for (const Sweep& sweep : sweeps) {
    SimulatedSystem clean;
    RunFacts facts = BuildSweepMachine(clean, sweep);
    ASSERT_EQ(0u, RunSweepCase(clean, sweep)) << sweep.name;
    for (const std::string& rule : BrokenRunRules(clean, facts, 0)) ADD_FAILURE() << rule;
    int points = clean.fallibleCalls();

    for (int point = 1; point <= points; ++point) {
      SimulatedSystem sim;
      BuildSweepMachine(sim, sweep);
      sim.FailCallNumber(point);
      uint32_t status = RunSweepCase(sim, sweep);
      std::vector<std::string> broken = BrokenRunRules(sim, facts, status);
      if (!broken.empty()) {
        std::string rules;
        for (const std::string& rule : broken) rules += "\n  " + rule;
        ADD_FAILURE() << sweep.name << ", fault point " << point << " (" << FailedCall(sim, point)
                      << "), status " << status << ":" << rules << "\n"
                      << sim.Dump();
        return;
      }
      ++swept;
    }
  }
  printf("fault points swept: %d\n", swept);
  RecordProperty("fault_points", swept);
}

}  // namespace
