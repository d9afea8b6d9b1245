// What must hold after any run, whatever failed on the way: judged from the
// machine's log and state, not from the setup's own account. Shared by the
// fault-injection sweep and the fuzzer.
#pragma once

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

#include "simulator/simulated_system.h"

struct RunFacts {
  std::string currentDirectory;  // as the system reports it
  std::string sourceDir;         // the media directory the run must copy from
  std::string windowsDirectory;
  // Package targets (full paths) that held an earlier file, with its content.
  std::map<std::string, std::string> earlierFiles;
  bool removal = false;  // the run removes the package ("-u")
  // Something of the setup's own (a file, or the Add/Remove Programs entry)
  // stood before the run, so that a removal takes the monitor's start-up
  // registration and the reader's device entries too.
  bool installed = false;
};

// The facts of a run about to start on the machine as it stands: each earlier
// file is what stands at its target, or, where nothing does, what an
// interrupted run set aside.
RunFacts FactsOfMachine(const SimulatedSystem& sim, const std::string& currentDirectory,
                        const std::string& windowsDirectory);

// The [rename] lines WININIT.INI in the Windows directory holds for the next start.
std::vector<std::string> RenameLines(const SimulatedSystem& sim,
                                     const std::string& windowsDirectory);

// Whether an operation of this kind changes the system.
bool ChangesTheSystem(Op op);

// The rules a run broke, each as a sentence; empty when it broke none.
std::vector<std::string> BrokenRunRules(const SimulatedSystem& sim, const RunFacts& facts,
                                        uint32_t status);

// The rules a clean silent run broke that followed another run on the same
// machine, whatever that one met: it ends with status 0 and leaves what a
// completed first run leaves (the whole package placed, or, for a file in use,
// waiting beside it for the next start; the registry set, both sections
// installed, the monitor registered) and nothing of the setup's own (no staged
// copy or extraction, no set-aside file that does not go at the next start).
std::vector<std::string> BrokenRecoveryRules(const SimulatedSystem& sim, const RunFacts& facts,
                                             bool windowsMe, uint32_t status);

// The rules broken by the start that followed such a run: the whole package
// holds the media's files, the monitor ran from its placed path, the setup's
// copy and its entry are there, and nothing of the setup's own is left (no
// set-aside file, no replacement waiting beside its target, no WININIT.INI
// with a line of ours, nothing staged).
std::vector<std::string> BrokenRulesAfterTheStart(const SimulatedSystem& sim, const RunFacts& facts,
                                                  bool windowsMe);

// The rules broken by the start that followed an installation that ended
// with status: 0 holds what BrokenRulesAfterTheStart holds, and 7, 9, 10 and
// 11 each name a shortfall that is there (for 9 and 11, unless the run was
// unsure, as CouldNotTell says).
std::vector<std::string> BrokenStatusRulesAfterTheStart(const SimulatedSystem& sim,
                                                        const RunFacts& facts, bool windowsMe,
                                                        uint32_t status, bool unsure);

// Whether the last run may have been unable to tell what stands: a test made
// one of its calls fail, or it met a [rename] section too long to read whole.
bool CouldNotTell(const SimulatedSystem& sim);

// Whether the last run's first question (the welcome, or the removal's) was answered No.
bool AnsweredNo(const SimulatedSystem& sim);

// The start after a run; where the system caches profile files, the power
// fails first, as it may whenever a run has ended.
void StartAfter(SimulatedSystem& sim, bool profileCache);

// The paths of the setup's own that remain after a removal (package files,
// the setup's copy, their set-aside and waiting copies) and are not entered
// for deletion at the next start, with the Add/Remove Programs entry when it
// stands; after a removal of what was installed, also the monitor's start-up
// registration and the reader's device entries.
std::vector<std::string> LeftByRemoval(const SimulatedSystem& sim,
                                       const std::string& windowsDirectory, bool installed);

// The rules broken by the start that followed a completed removal: nothing of
// the setup's own is left (no file, no line, no entry, no start-up
// registration), and the monitor did not run.
std::vector<std::string> BrokenRulesAfterRemoval(const SimulatedSystem& sim,
                                                 const std::string& windowsDirectory);

// The machine's files and registry, line by line, without what a removal
// leaves by design (the smart card service's settings and the setup source
// path), what the system keeps of the last start (WININIT.BAK), and the
// reader's device entries, which the system makes afresh when the reader is
// plugged in.
std::vector<std::string> LastingState(const SimulatedSystem& sim);

// The lines only one of the two states has, each marked with the state's
// sign; empty when they are the same.
std::string Differences(const std::vector<std::string>& before,
                        const std::vector<std::string>& after);
