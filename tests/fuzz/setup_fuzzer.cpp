// Fuzzes a whole setup run: the fuzzer's bytes build a simulated machine
// (command line, directories of any bytes, files, keys, answers, child
// statuses, faults, version, code page) and the run on it must keep every
// rule a run keeps.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "setup/setup_run.h"
#include "support/package_files.h"
#include "support/run_invariants.h"

namespace {

// A name of up to maxLength bytes as a file system holds it: any byte but the
// control characters and  " * / : < > ? |  which none accepts, so blanks, "%",
// "&", "^", backslashes and double-byte characters all occur.
std::string Name(FuzzedDataProvider& in, size_t maxLength) {
  std::string name = in.ConsumeRandomLengthString(maxLength);
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < 0x20) {
      c = ' ';
    } else if (strchr("\"*/:<>?|", c) != nullptr) {
      c = '_';
    }
  }
  return name;
}

SimulatedSystem::Program Package(FuzzedDataProvider& in, const std::string& name) {
  SimulatedSystem::Program package;
  const uint32_t statuses[] = {0, 0, 0, 1, 2};
  package.exitStatus = in.PickValueInArray(statuses);
  package.failsToStart = in.ConsumeIntegralInRange(0, 9) == 0;
  package.extracts[name + ".inf"] = "[DefaultInstall]\n";
  return package;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  SimulatedSystem sim;
  const uint32_t minors[] = {10, 90, 0};
  sim.SetVersion(in.ConsumeIntegralInRange<uint32_t>(1, 2), 4, in.PickValueInArray(minors));
  sim.SetCodePage(in.ConsumeBool() ? 932 : 1252);

  std::string current = "D:\\" + Name(in, 300);
  std::string windows = "C:\\" + Name(in, 300);
  sim.SetCurrentDirectory(current);
  sim.SetWindowsDirectory(windows);
  sim.AddDirectory(current);
  for (const char* dir : {"\\System32\\Drivers", "\\inf", "\\system", "\\temp"}) {
    if (in.ConsumeIntegralInRange(0, 7) != 0) sim.AddDirectory(windows + dir);
  }
  // An alias of the system's choosing may hold a blank; one that another entry
  // of the directory has already is refused.
  if (in.ConsumeBool()) sim.SetShortName(windows, Name(in, 8));
  SimulatedSystem::Program deltree;
  deltree.deletesTrees = true;
  sim.AddProgram(windows + "\\COMMAND\\DELTREE.EXE", deltree);

  RunFacts facts;
  facts.currentDirectory = current;
  facts.sourceDir =
      sim.EndsWithSeparator(current) ? current.substr(0, current.size() - 1) : current;
  facts.windowsDirectory = windows;
  for (const auto& file : AllPackageFiles()) {
    if (in.ConsumeIntegralInRange(0, 5) != 0) {
      sim.AddFile(facts.sourceDir + "\\" + file.first, "new " + file.first);
    }
    if (in.ConsumeBool()) {
      std::string target = windows + "\\" + file.second;
      facts.earlierFiles[target] = "earlier " + file.first;
      sim.AddFile(target, facts.earlierFiles[target],
                  in.ConsumeBool() ? kFileAttributeReadOnly : kFileAttributeNormal);
    }
  }
  if (in.ConsumeIntegralInRange(0, 5) != 0) {
    for (const char* package : {"scbase", "smclib"}) {
      sim.AddProgram(current + "\\..\\SCard98\\" + package + ".exe", Package(in, package));
    }
  }
  if (in.ConsumeIntegralInRange(0, 5) == 0) {
    sim.AddFile(windows + "\\temp\\scbase.exe", "stale", kFileAttributeReadOnly);
  }
  const char* const keys[] = {"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Setup",
                              "HKLM\\Enum\\USB\\VID_1E2D&PID_4182\\1",
                              "HKLM\\Enum\\USB\\VID_1E2D&PID_4181\\2",
                              "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce",
                              "HKLM\\System\\CurrentControlSet\\Services\\SCardSvr"};
  for (const char* key : keys) {
    if (in.ConsumeIntegralInRange(0, 4) != 0) sim.AddKey(key);
  }
  const int answers[] = {kIdYes, kIdYes, kIdNo, 0, 1, 2};
  for (int i = in.ConsumeIntegralInRange(0, 3); i > 0; --i) {
    sim.AnswerNextBox(in.PickValueInArray(answers));
  }
  int faults = in.ConsumeIntegralInRange(0, 3);
  for (int i = 0; i < faults; ++i) sim.FailCallNumber(in.ConsumeIntegralInRange(1, 120));

  std::vector<std::string> arguments;
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
      break;
    case 1:
      arguments = {in.ConsumeBool() ? "-s" : "-S"};
      break;
    default:
      for (int i = in.ConsumeIntegralInRange(1, 2); i > 0; --i) arguments.push_back(Name(in, 8));
  }
  // Last, so that the seed inputs kept from before it still build their machines.
  sim.SetNoWindowFlag(in.ConsumeBool() ? SimulatedSystem::NoWindowFlag::kRefused
                                       : SimulatedSystem::NoWindowFlag::kIgnored);
  std::vector<const char*> argv = {"D:\\WIN98\\SETUP.EXE"};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());

  uint32_t status =
      sim.Run([&] { return RunSetup(static_cast<int>(argv.size()), argv.data(), sim); });
  std::vector<std::string> broken = BrokenRunRules(sim, facts, status);
  if (!broken.empty()) {
    fprintf(stderr, "status %u broke:\n", status);
    for (const std::string& rule : broken) fprintf(stderr, "  %s\n", rule.c_str());
    fprintf(stderr, "%s", sim.Dump().c_str());
    abort();
  }
  return 0;
}
