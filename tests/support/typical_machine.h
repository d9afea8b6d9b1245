// A Windows 98 or Me machine as a reader's user has it, with the reader's
// installation media in drive D: and the setup started from D:\WIN98.
#pragma once

#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "simulator/simulated_system.h"
#include "support/package_files.h"

enum class Windows { k98, kMe };

extern const char kSetupKey[];
extern const char kUsbKey[];
extern const char kServiceKey[];

// Lays out the media, the Windows directory tree and the registry keys a
// typical machine has.
void BuildTypicalMachine(SimulatedSystem& sim, Windows windows);

// What a file on the media holds: "new " and its name, so that a placed copy
// can be told from an earlier one.
std::string MediaContent(const std::string& name);

// Runs setup.exe with these arguments (the program name is added).
uint32_t RunSetupWith(SimulatedSystem& sim, const std::vector<std::string>& arguments);

// The text of the first call of op, or "" when there is none.
std::string FirstCall(const SimulatedSystem& sim, Op op);

// Compares call logs line by line, naming the first line that differs.
void ExpectCalls(const std::vector<std::string>& expected, const std::vector<std::string>& actual);

// A test on a typical Windows Me machine; a failing test prints the machine.
class SetupTest : public ::testing::Test {
 protected:
  void SetUp() override { BuildTypicalMachine(sim, Windows::kMe); }
  void TearDown() override {
    if (HasFailure()) printf("%s", sim.Dump().c_str());
  }
  uint32_t Run(const std::vector<std::string>& arguments = {}) {
    return RunSetupWith(sim, arguments);
  }
  uint32_t RunSilent() { return RunSetupWith(sim, {"-s"}); }

  SimulatedSystem sim;
};
