// Every operation that can fail, failing in turn, and the power cut after
// every call in turn: a whole run is repeated once per point, and must still
// end soundly: in one of its three ways, with the status that says what
// happened, without losing an earlier driver, cutting a text or acting on a
// path it does not mean. Then a clean silent run on the machine that run left,
// after the next start or (for a fault) before it, must recover as a user's
// retry does, and the start after it complete the work: status 0, everything
// installed, the new monitor started, nothing of the setup's own left behind.
// A run that ended with 0 must have done the same by the start after it, and
// any other status must name a shortfall that is there. Some machines have a
// package file in use, held by a running program; on some the system caches
// WININIT.INI, and the power fails whenever a run ends.
#include <gtest/gtest.h>

#include <functional>

#include "support/run_judge.h"
#include "support/typical_machine.h"

namespace {

struct Sweep {
  const char* name;
  Windows windows;
  bool silent;
  bool fromCd;         // every media file read-only
  const char* inUse;   // the package file a running program holds, or nullptr
  bool renameRunning;  // the system renames a running program's file, as NT does
  bool profileCache;   // WININIT.INI waits in the system's cache, lost when the power fails
};

const Sweep kSweeps[] = {
    {"interactive on Windows Me", Windows::kMe, false, false, "", false, false},
    {"silent on Windows 98", Windows::k98, true, false, "", false, false},
    {"interactive on Windows 98 from a CD", Windows::k98, false, true, "", false, false},
    {"silent on Windows Me from a CD", Windows::kMe, true, true, "", false, false},
    {"silent on Windows Me, the monitor running, WININIT.INI cached", Windows::kMe, true, false,
     "rdWatch.exe", false, true},
    {"interactive on Windows 98 from a CD, the driver in use, WININIT.INI cached", Windows::k98,
     false, true, "kt418.sys", false, true},
    {"silent on Windows 98, the monitor running, renamed as NT does", Windows::k98, true, false,
     "rdWatch.exe", true, false},
    {"interactive on Windows Me, the driver in use, renamed as NT does", Windows::kMe, false, false,
     "kt418.sys", true, false},
    {"silent on Windows Me from a CD, the auxiliary program running, renamed as NT does",
     Windows::kMe, true, true, "unPlug.exe", true, false},
};

// A typical machine on which an earlier version of every package file is
// installed, the driver read-only.
RunFacts BuildSweepMachine(SimulatedSystem& sim, const Sweep& sweep) {
  BuildTypicalMachine(sim, sweep.windows);
  if (sweep.fromCd) sim.MakeTreeReadOnly("D:\\");
  for (const auto& file : kPackageFiles) {
    sim.AddFile("C:\\WINDOWS\\" + file.second, "earlier " + file.first,
                file.first == "kt418.sys" ? kFileAttributeReadOnly : kFileAttributeNormal);
    if (sweep.inUse == file.first) sim.StartProgram("C:\\WINDOWS\\" + file.second);
  }
  if (sweep.renameRunning) sim.SetRunningFileRename(SimulatedSystem::RunningFileRename::kAllowed);
  if (sweep.profileCache) sim.SetProfileWrites(SimulatedSystem::ProfileWrites::kCached);
  if (!sweep.silent) {
    sim.AnswerNextBox(kIdYes);
    sim.AnswerNextBox(kIdYes);
  }
  return FactsOfMachine(sim, "D:\\WIN98", "C:\\WINDOWS");
}

uint32_t RunSweepCase(SimulatedSystem& sim, const Sweep& sweep) {
  return RunSetupWith(sim,
                      sweep.silent ? std::vector<std::string>{"-s"} : std::vector<std::string>{});
}

// When the user retries: after the next start, or at once, before it, while
// the programs that held files still run. A power cut always brings a start.
enum class Retry { kAfterTheStart, kBeforeTheStart };

// The rules the disturbed run broke, with those the start after it broke
// (when the retry follows it), then those its clean silent retry broke, and
// those the start after the retry broke.
std::vector<std::string> JudgeRunAndRetry(SimulatedSystem& sim, const Sweep& sweep,
                                          const RunFacts& facts, uint32_t status, Retry retry) {
  std::vector<std::string> broken = BrokenRunRules(sim, facts, status);
  if (!broken.empty()) return broken;
  bool windowsMe = sweep.windows == Windows::kMe;
  if (retry == Retry::kAfterTheStart) {
    bool ended = !sim.powerWasCut();
    bool unsure = CouldNotTell(sim);
    StartAfter(sim, sweep.profileCache);
    if (ended) broken = BrokenStatusRulesAfterTheStart(sim, facts, windowsMe, status, unsure);
    if (!broken.empty()) return broken;
  } else {
    sim.StartAnotherRun();
  }
  RunFacts retryFacts = FactsOfMachine(sim, facts.currentDirectory, facts.windowsDirectory);
  uint32_t retryStatus = RunSetupWith(sim, {"-s"});
  broken = BrokenRunRules(sim, retryFacts, retryStatus);
  for (const std::string& rule : BrokenRecoveryRules(sim, retryFacts, windowsMe, retryStatus)) {
    broken.push_back(rule);
  }
  StartAfter(sim, sweep.profileCache);
  for (const std::string& rule : BrokenRulesAfterTheStart(sim, retryFacts, windowsMe)) {
    broken.push_back(rule);
  }
  return broken;
}

std::string Listed(const std::vector<std::string>& rules) {
  std::string text;
  for (const std::string& rule : rules) text += "\n  " + rule;
  return text;
}

using Build = std::function<void(SimulatedSystem&)>;
using Run = std::function<uint32_t(SimulatedSystem&)>;
// The rules the run, ended with the status, and what follows it broke.
using Judge = std::function<std::vector<std::string>(SimulatedSystem&, uint32_t)>;
// The same, with the user's retry after the start or before it.
using JudgeWithRetry = std::function<std::vector<std::string>(SimulatedSystem&, uint32_t, Retry)>;

struct SingleCounts {
  int faultPoints = 0, powerCuts = 0, recoveries = 0;
};

// Sweeps every failing call in turn, each retried after the start and before
// it, and the power cut after every call, on machines built anew; a broken
// rule ends the sweep as a fatal failure.
void SweepSingles(const std::string& name, const Build& build, const Run& run,
                  const JudgeWithRetry& judge, SingleCounts* counts) {
  SimulatedSystem clean;
  build(clean);
  ASSERT_EQ(0u, run(clean)) << name;
  int points = clean.fallibleCalls();
  int calls = static_cast<int>(clean.calls().size());
  for (int point = 1; point <= points; ++point) {
    for (Retry retry : {Retry::kAfterTheStart, Retry::kBeforeTheStart}) {
      SimulatedSystem sim;
      build(sim);
      sim.FailCallNumber(point);
      uint32_t status = run(sim);
      std::string failed;
      for (const auto& call : sim.calls()) {
        if (call.fallibleNumber == point) failed = call.text;
      }
      std::vector<std::string> broken = judge(sim, status, retry);
      ASSERT_EQ("", Listed(broken))
          << name << ", fault point " << point << " (" << failed << "), status " << status
          << (retry == Retry::kBeforeTheStart ? ", retried before the start" : "") << "\n"
          << sim.Dump();
      ++counts->recoveries;
    }
    ++counts->faultPoints;
  }
  for (int cut = 1; cut <= calls; ++cut) {
    SimulatedSystem sim;
    build(sim);
    sim.CutPowerAfterCall(cut);
    uint32_t status = run(sim);
    ASSERT_TRUE(sim.powerWasCut()) << name << ", power cut after call " << cut;
    std::string lastCall = sim.calls().back().text;
    std::vector<std::string> broken = judge(sim, status, Retry::kAfterTheStart);
    ASSERT_EQ("", Listed(broken)) << name << ", power cut after call " << cut << " (" << lastCall
                                  << ")\n"
                                  << sim.Dump();
    ++counts->powerCuts;
    ++counts->recoveries;
  }
}

TEST(FaultSweep, EveryFaultPointAndPowerCutEndsSoundlyAndARetryRecovers) {
  SingleCounts counts;
  for (const Sweep& sweep : kSweeps) {
    SimulatedSystem clean;
    RunFacts facts = BuildSweepMachine(clean, sweep);
    ASSERT_EQ(0u, RunSweepCase(clean, sweep)) << sweep.name;
    ASSERT_EQ("", Listed(BrokenRunRules(clean, facts, 0))) << sweep.name;
    SweepSingles(
        sweep.name, [&](SimulatedSystem& sim) { BuildSweepMachine(sim, sweep); },
        [&](SimulatedSystem& sim) { return RunSweepCase(sim, sweep); },
        [&](SimulatedSystem& sim, uint32_t status, Retry retry) {
          return JudgeRunAndRetry(sim, sweep, facts, status, retry);
        },
        &counts);
    if (HasFatalFailure()) return;
  }
  printf("fault points swept: %d\npower-cut points swept: %d\nrecoveries: %d\n", counts.faultPoints,
         counts.powerCuts, counts.recoveries);
  RecordProperty("fault_points", counts.faultPoints);
  RecordProperty("power_cut_points", counts.powerCuts);
}

// A removal on an installed machine, after the start that ran the monitor.
struct RemovalSweep {
  const char* name;
  Windows windows;
  bool silent;
  bool fromTheCopy;  // started by Add/Remove Programs: the copy runs, holding its file
  bool renameRunning;
  bool profileCache;
};

const RemovalSweep kRemovalSweeps[] = {
    {"interactive removal on Windows Me from Add/Remove Programs, WININIT.INI cached", Windows::kMe,
     false, true, false, true},
    {"silent removal on Windows 98 from the disc", Windows::k98, true, false, false, false},
    {"silent removal on Windows 98 from Add/Remove Programs, renamed as NT does", Windows::k98,
     true, true, true, false},
    {"silent removal on Windows Me from Add/Remove Programs", Windows::kMe, true, true, false,
     false},
    {"interactive removal on Windows 98 from the disc, WININIT.INI cached", Windows::k98, false,
     false, false, true},
};

// The machine installed, started and ready for the removal; returns the
// machine's lasting state before the installation.
std::vector<std::string> BuildRemovalMachine(SimulatedSystem& sim, const RemovalSweep& sweep) {
  BuildTypicalMachine(sim, sweep.windows);
  std::vector<std::string> before = LastingState(sim);
  RunSetupWith(sim, {"-s"});
  sim.NextStart();
  sim.StartProgram("C:\\WINDOWS\\system\\rdWatch.exe");
  if (sweep.fromTheCopy) {
    sim.SetModulePath("C:\\WINDOWS\\system\\kt418Rmv.exe");
    sim.StartProgram("C:\\WINDOWS\\system\\kt418Rmv.exe");
  }
  if (sweep.renameRunning) sim.SetRunningFileRename(SimulatedSystem::RunningFileRename::kAllowed);
  if (sweep.profileCache) sim.SetProfileWrites(SimulatedSystem::ProfileWrites::kCached);
  sim.StartAnotherRun();
  if (!sweep.silent) {
    sim.AnswerNextBox(kIdYes);
    sim.AnswerNextBox(kIdNo);
  }
  return before;
}

RunFacts RemovalFacts(const SimulatedSystem& sim) {
  RunFacts facts = FactsOfMachine(sim, "D:\\WIN98", "C:\\WINDOWS");
  facts.removal = true;
  return facts;
}

uint32_t RunRemovalCase(SimulatedSystem& sim, const RemovalSweep& sweep) {
  return RunSetupWith(
      sim, sweep.silent ? std::vector<std::string>{"-u", "-s"} : std::vector<std::string>{"-u"});
}

// The rules the disturbed removal broke, with those the start after it broke
// when it ended with 0, then those its retry broke (a silent removal from the
// disc, after the start or before it), and those the start after the retry
// broke, which must leave the machine as it was before the installation, but
// for what a removal leaves by design.
std::vector<std::string> JudgeRemovalAndRetry(SimulatedSystem& sim, const RemovalSweep& sweep,
                                              const std::vector<std::string>& before,
                                              uint32_t status, Retry retry) {
  std::vector<std::string> broken = BrokenRunRules(sim, RemovalFacts(sim), status);
  if (!broken.empty()) return broken;
  if (retry == Retry::kAfterTheStart) {
    bool completed = status == 0 && !sim.powerWasCut();
    StartAfter(sim, sweep.profileCache);
    if (completed) broken = BrokenRulesAfterRemoval(sim, "C:\\WINDOWS");
    if (!broken.empty()) return broken;
  } else {
    sim.StartAnotherRun();
  }
  sim.SetModulePath("D:\\WIN98\\SETUP.EXE");
  uint32_t retryStatus = RunSetupWith(sim, {"-u", "-s"});
  broken = BrokenRunRules(sim, RemovalFacts(sim), retryStatus);
  if (retryStatus != 0) broken.push_back("the retried removal ends with 0");
  StartAfter(sim, sweep.profileCache);
  for (const std::string& rule : BrokenRulesAfterRemoval(sim, "C:\\WINDOWS")) {
    broken.push_back(rule);
  }
  std::string changed = Differences(before, LastingState(sim));
  if (!changed.empty()) broken.push_back("the machine is as before the installation:" + changed);
  return broken;
}

TEST(FaultSweep, EveryFaultPointAndPowerCutOfARemovalEndsSoundlyAndARetryFinishesIt) {
  SingleCounts counts;
  for (const RemovalSweep& sweep : kRemovalSweeps) {
    SimulatedSystem clean;
    std::vector<std::string> before = BuildRemovalMachine(clean, sweep);
    SweepSingles(
        sweep.name, [&](SimulatedSystem& sim) { BuildRemovalMachine(sim, sweep); },
        [&](SimulatedSystem& sim) { return RunRemovalCase(sim, sweep); },
        [&](SimulatedSystem& sim, uint32_t status, Retry retry) {
          return JudgeRemovalAndRetry(sim, sweep, before, status, retry);
        },
        &counts);
    if (HasFatalFailure()) return;
  }
  printf("removal fault points swept: %d\nremoval power-cut points swept: %d\n", counts.faultPoints,
         counts.powerCuts);
}

// Two events in one run: every pair of failing calls, and every failing call
// followed by a power cut after each later call that changes the machine (a
// cut after a call that changes nothing leaves what the cut after the change
// before it left). Under the sanitizers, which run ten times slower, a fixed
// sample of every fiftieth case.
#ifndef __has_feature
#define __has_feature(feature) 0  // GCC, which says so in __SANITIZE_ADDRESS__
#endif
#if __has_feature(address_sanitizer) || defined(__SANITIZE_ADDRESS__)
constexpr int kPairStride = 50;
#else
constexpr int kPairStride = 1;
#endif

// Sweeps the pairs on machines built anew, and prints how many it judged.
void SweepPairs(const std::string& name, const Build& build, const Run& run, const Judge& judge) {
  SimulatedSystem clean;
  build(clean);
  run(clean);
  int faultPairs = 0, cuts = 0, index = 0;
  auto disturbed = [&](SimulatedSystem& sim, int first, int second, int cut) {
    build(sim);
    sim.FailCallNumber(first);
    if (second != 0) sim.FailCallNumber(second);
    if (cut != 0) sim.CutPowerAfterCall(cut);
    return run(sim);
  };
  auto sound = [&](int first, int second, int cut) {
    if (index++ % kPairStride != 0) return true;
    SimulatedSystem sim;
    uint32_t status = disturbed(sim, first, second, cut);
    std::vector<std::string> broken = judge(sim, status);
    (second != 0 ? faultPairs : cuts)++;
    if (broken.empty()) return true;
    SimulatedSystem shown;  // the machine as the run left it, before the judge went on
    disturbed(shown, first, second, cut);
    ADD_FAILURE() << name << ", fault points " << first << " and "
                  << (second != 0 ? std::to_string(second)
                                  : "a power cut after call " + std::to_string(cut))
                  << ", status " << status << ":" << Listed(broken) << "\n"
                  << shown.Dump();
    return false;
  };
  for (int first = 1; first <= clean.fallibleCalls(); ++first) {
    SimulatedSystem once;
    disturbed(once, first, 0, 0);
    bool afterTheFault = false;
    for (size_t at = 0; at < once.calls().size(); ++at) {
      const SimulatedCall& call = once.calls()[at];
      bool later = afterTheFault;
      afterTheFault = afterTheFault || call.fallibleNumber == first;
      if (later && call.fallibleNumber != 0 && !sound(first, call.fallibleNumber, 0)) return;
      if (later && ChangesTheSystem(call.op) && !sound(first, 0, static_cast<int>(at) + 1)) return;
    }
  }
  printf("pairs of faults swept: %d\nfaults followed by a power cut swept: %d\n", faultPairs, cuts);
}

void PrintTo(const Sweep& sweep, std::ostream* out) { *out << sweep.name; }
void PrintTo(const RemovalSweep& sweep, std::ostream* out) { *out << sweep.name; }

class InstallationPairs : public testing::TestWithParam<Sweep> {};

TEST_P(InstallationPairs, EveryTwoFaultsEndSoundlyAndARetryAfterTheStartRecovers) {
  const Sweep& sweep = GetParam();
  SimulatedSystem clean;
  RunFacts facts = BuildSweepMachine(clean, sweep);
  SweepPairs(
      sweep.name, [&](SimulatedSystem& sim) { BuildSweepMachine(sim, sweep); },
      [&](SimulatedSystem& sim) { return RunSweepCase(sim, sweep); },
      [&](SimulatedSystem& sim, uint32_t status) {
        return JudgeRunAndRetry(sim, sweep, facts, status, Retry::kAfterTheStart);
      });
}

// The four sweeps that meet a file in use, one for each system and manner
// (one from a CD, two with WININIT.INI cached, two renamed as NT does).
INSTANTIATE_TEST_SUITE_P(FaultPairSweep, InstallationPairs,
                         testing::Values(kSweeps[4], kSweeps[5], kSweeps[6], kSweeps[7]));

class RemovalPairs : public testing::TestWithParam<RemovalSweep> {};

TEST_P(RemovalPairs, EveryTwoFaultsEndSoundlyAndARetryAfterTheStartFinishes) {
  const RemovalSweep& sweep = GetParam();
  SimulatedSystem clean;
  std::vector<std::string> before = BuildRemovalMachine(clean, sweep);
  SweepPairs(
      sweep.name, [&](SimulatedSystem& sim) { BuildRemovalMachine(sim, sweep); },
      [&](SimulatedSystem& sim) { return RunRemovalCase(sim, sweep); },
      [&](SimulatedSystem& sim, uint32_t status) {
        return JudgeRemovalAndRetry(sim, sweep, before, status, Retry::kAfterTheStart);
      });
}

INSTANTIATE_TEST_SUITE_P(FaultPairSweep, RemovalPairs, testing::ValuesIn(kRemovalSweeps));

}  // namespace
