// Fuzzes a setup run and its retry: the fuzzer's bytes build a simulated
// machine (command line, directories of any bytes, files, keys, answers,
// child statuses, faults, a power cut, version, code page, a package file in
// use, other programs' WININIT.INI lines, read with their comments or not),
// the run on it must keep every rule a run keeps and every other program's
// line, and, after the next start or before it, a clean silent run on the
// machine it left must keep them too and end as well as the same retry after
// a clean silent run on the machine as it was built: where that one
// completes, with status 0 and completely, so that the start after it leaves the
// package in place and nothing of the setup's own. The first run may be a
// removal, and a removal may follow at the end.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "runs/front_door.h"
#include "support/package_files.h"
#include "support/run_judge.h"

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

// A name of whole characters in the code page: in 932 a lead byte left last
// would take the backslash after it as its second byte, and no system could
// stand in such a folder.
std::string WholeCharacters(std::string name, bool codePage932) {
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    bool lead = codePage932 && ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC));
    if (!lead) continue;
    if (i + 1 == name.size()) name[i] = '_';
    ++i;
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

// What the input says besides the machine: its facts, and what the first run
// meets.
struct Input {
  RunFacts facts;
  bool windowsMe = false;
  std::vector<std::string> arguments;
  std::vector<int> answers;
  std::vector<int> faults;
  int powerCut = 0;  // the call the power is cut after; 0 for none
  bool retryBeforeTheStart = false;
  std::vector<std::string> otherLines;  // other programs' [rename] lines, in order
  bool removeAtTheEnd = false;          // a silent removal follows the retry's start
  bool profileCache = false;  // WININIT.INI waits in the system's cache, lost when the power fails
};

// Whether the arguments ask for a removal: "-u", alone or with "-s", in either
// order and either case.
bool AsksForRemoval(const std::vector<std::string>& arguments) {
  auto is = [](const std::string& argument, char letter) {
    return argument.size() == 2 && argument[0] == '-' && (argument[1] | 0x20) == letter;
  };
  if (arguments.size() == 1) return is(arguments[0], 'u');
  return arguments.size() == 2 && ((is(arguments[0], 'u') && is(arguments[1], 's')) ||
                                   (is(arguments[0], 's') && is(arguments[1], 'u')));
}

// The same run, but silent: what a clean first run does with the arguments.
std::vector<std::string> SilentLike(const std::vector<std::string>& arguments) {
  if (AsksForRemoval(arguments)) return {"-u", "-s"};
  return {"-s"};
}

// The system: its version, code page, directories and their alias, and the
// deletion command; returns the media and Windows directories.
std::pair<std::string, std::string> ChooseSystem(FuzzedDataProvider& in, SimulatedSystem& sim,
                                                 Input& input) {
  const uint32_t minors[] = {10, 90, 0};
  // The NT family ends every run at once: one input in four is enough.
  const uint32_t platforms[] = {1, 1, 1, 2};
  uint32_t platform = in.PickValueInArray(platforms);
  uint32_t minor = in.PickValueInArray(minors);
  sim.SetVersion(platform, 4, minor);
  input.windowsMe = platform == kVerPlatformWin32Windows && minor == 90;
  bool codePage932 = in.ConsumeBool();
  sim.SetCodePage(codePage932 ? 932 : 1252);

  std::string current = "D:\\" + WholeCharacters(Name(in, 300), codePage932);
  std::string windows = "C:\\" + WholeCharacters(Name(in, 300), codePage932);
  sim.SetCurrentDirectory(current);
  sim.SetWindowsDirectory(windows);
  sim.AddDirectory(current);
  for (const char* dir : {"\\System32\\Drivers", "\\inf", "\\system", "\\temp"}) {
    if (in.ConsumeIntegralInRange(0, 7) != 0) sim.AddDirectory(windows + dir);
  }
  // An alias of the system's choosing may hold a blank; one that another entry
  // of the directory has already is refused.
  if (in.ConsumeBool()) sim.SetShortName(windows, WholeCharacters(Name(in, 8), codePage932));
  SimulatedSystem::Program deltree;
  deltree.deletesTrees = true;
  sim.AddProgram(windows + "\\COMMAND\\DELTREE.EXE", deltree);

  return {current, windows};
}

// The media's files and packages, earlier package files and a stale staged
// copy, and the keys the machine has.
void AddFilesAndKeys(FuzzedDataProvider& in, SimulatedSystem& sim, const std::string& current,
                     const std::string& windows) {
  const std::string sourceDir = FactsOfMachine(sim, current, windows).sourceDir;
  for (const auto& file : AllPackageFiles()) {
    if (in.ConsumeIntegralInRange(0, 5) != 0) {
      sim.AddFile(sourceDir + "\\" + file.first, "new " + file.first);
    }
    if (in.ConsumeBool()) {
      sim.AddFile(windows + "\\" + file.second, "earlier " + file.first,
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
                              "HKLM\\Enum\\USB\\VID_1E2D&PID_4181\\2", kRunServicesOnceKey,
                              "HKLM\\System\\CurrentControlSet\\Services\\SCardSvr"};
  for (const char* key : keys) {
    if (in.ConsumeIntegralInRange(0, 4) != 0) sim.AddKey(key);
  }
}

// What the first run meets of the user and the system: answers, faults and arguments.
void ChooseTheRun(FuzzedDataProvider& in, Input& input) {
  const int answers[] = {kIdYes, kIdYes, kIdNo, 0, 1, 2};
  for (int i = in.ConsumeIntegralInRange(0, 3); i > 0; --i) {
    input.answers.push_back(in.PickValueInArray(answers));
  }
  for (int i = in.ConsumeIntegralInRange(0, 3); i > 0; --i) {
    input.faults.push_back(in.ConsumeIntegralInRange(1, 120));
  }
  switch (in.ConsumeIntegralInRange(0, 4)) {
    case 0:
      break;
    case 1:
      input.arguments = {in.ConsumeBool() ? "-s" : "-S"};
      break;
    case 2:
      input.arguments = {in.ConsumeBool() ? "-u" : "-U"};
      if (in.ConsumeBool())
        input.arguments.insert(input.arguments.begin() + in.ConsumeBool(), "-s");
      break;
    default:
      for (int i = in.ConsumeIntegralInRange(1, 2); i > 0; --i) {
        input.arguments.push_back(Name(in, 8));
      }
  }
}

// How the system behaves where Windows 9x is unconfirmed, the media read-only,
// the power cut, a package file in use, and when the user retries.
void ChooseConditions(FuzzedDataProvider& in, SimulatedSystem& sim, Input& input,
                      const std::string& windows) {
  // Last, so that the seed inputs kept from before each still build their machines.
  sim.SetNoWindowFlag(in.ConsumeBool() ? SimulatedSystem::NoWindowFlag::kRefused
                                       : SimulatedSystem::NoWindowFlag::kIgnored);
  if (in.ConsumeBool()) sim.MakeTreeReadOnly("D:\\");
  input.powerCut = in.ConsumeIntegralInRange(0, 150);
  // An earlier package file that runs and keeps running, holding its file, as
  // the monitor does once a start has run it (0 for none); and whether the
  // system renames such a file, as NT and the emulator do.
  size_t inUse = in.ConsumeIntegralInRange<size_t>(0, AllPackageFiles().size());
  std::string running = inUse == 0 ? "" : windows + "\\" + AllPackageFiles()[inUse - 1].second;
  if (!running.empty() && sim.FileExists(running)) {
    SimulatedSystem::Program resident;
    resident.resident = true;
    std::string content = sim.FileContent(running);
    uint32_t attributes = sim.FileAttributes(running);
    sim.AddProgram(running, resident, attributes);
    sim.AddFile(running, content, attributes);
    sim.StartProgram(running);
  }
  if (in.ConsumeBool()) sim.SetRunningFileRename(SimulatedSystem::RunningFileRename::kAllowed);
  input.retryBeforeTheStart = in.ConsumeBool();
}

// WININIT.INI with other programs' lines, and how the system reads its comments.
void AddOtherLines(FuzzedDataProvider& in, SimulatedSystem& sim, Input& input,
                   const std::string& windows) {
  // Other programs' lines of any form: deletions, lines without "=", comments;
  // now and then more than a section read can hold.
  std::string wininit = "[rename]\r\n";
  const char* const forms[] = {"NUL=C:\\TEMP\\", "", ";", "C:\\A.DLL=C:\\"};
  for (int i = in.ConsumeIntegralInRange(0, 4); i > 0; --i) {
    wininit += std::string(in.PickValueInArray(forms)) + "x" + Name(in, 20) + "\r\n";
  }
  // Long lines, so that few of them pass the 32,767 bytes a read holds.
  if (in.ConsumeIntegralInRange(0, 15) == 1) {
    const std::string folder = "NUL=C:\\TEMP\\" + std::string(160, 'F') + "\\F";
    for (int i = 0; i < 200; ++i) wininit += folder + std::to_string(i) + ".TMP\r\n";
  }
  if (wininit.size() > 10) sim.AddFile(windows + "\\WININIT.INI", wininit);
  // A comment that the system's section read leaves out cannot be kept.
  bool commentsRead = in.ConsumeBool();
  sim.SetCommentReading(commentsRead ? SimulatedSystem::CommentReading::kReturned
                                     : SimulatedSystem::CommentReading::kLeftOut);
  for (const std::string& line : RenameLines(sim, windows)) {
    if (commentsRead || line[0] != ';') input.otherLines.push_back(line);
  }
}

// Builds the machine from the input; the same input builds the same machine.
// Its parts read the input in this order, which the seed inputs rely on.
Input BuildMachine(const uint8_t* data, size_t size, SimulatedSystem& sim) {
  FuzzedDataProvider in(data, size);
  Input input;
  auto [current, windows] = ChooseSystem(in, sim, input);
  AddFilesAndKeys(in, sim, current, windows);
  ChooseTheRun(in, input);
  ChooseConditions(in, sim, input, windows);
  AddOtherLines(in, sim, input, windows);
  // The setup's own file, which a completed installation copies for its
  // removal; now and then missing, so that the copy cannot be made.
  if (in.ConsumeIntegralInRange(0, 7) != 0) {
    sim.AddFile(current + "\\SETUP.EXE", "the setup");
    sim.SetModulePath(current + "\\SETUP.EXE");
  }
  input.removeAtTheEnd = in.ConsumeBool();
  input.profileCache = in.ConsumeBool();
  if (input.profileCache) sim.SetProfileWrites(SimulatedSystem::ProfileWrites::kCached);
  input.facts = FactsOfMachine(sim, current, windows);
  input.facts.removal = AsksForRemoval(input.arguments);
  return input;
}

uint32_t RunWith(SimulatedSystem& sim, const std::vector<std::string>& arguments) {
  std::vector<const char*> argv = {"D:\\WIN98\\SETUP.EXE"};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  return sim.Run([&] { return RunSetup(static_cast<int>(argv.size()), argv.data(), sim); });
}

// Other programs' lines that the run lost or put out of order.
std::vector<std::string> LostLines(const SimulatedSystem& sim, const Input& input) {
  std::vector<std::string> now = RenameLines(sim, input.facts.windowsDirectory);
  std::vector<std::string> lost;
  size_t at = 0;
  for (const std::string& line : input.otherLines) {
    while (at < now.size() && now[at] != line) ++at;
    if (at == now.size()) lost.push_back("another program's line kept, in its order: " + line);
  }
  return lost;
}

void Report(const char* which, uint32_t status, const std::vector<std::string>& broken,
            const SimulatedSystem& sim) {
  if (broken.empty()) return;
  fprintf(stderr, "%s, status %u, broke:\n", which, status);
  for (const std::string& rule : broken) fprintf(stderr, "  %s\n", rule.c_str());
  fprintf(stderr, "%s", sim.Dump().c_str());
  abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SimulatedSystem sim;
  Input first = BuildMachine(data, size, sim);
  const RunFacts& facts = first.facts;
  for (int answer : first.answers) sim.AnswerNextBox(answer);
  for (int fault : first.faults) sim.FailCallNumber(fault);
  if (first.powerCut != 0) sim.CutPowerAfterCall(first.powerCut);
  uint32_t status = RunWith(sim, first.arguments);
  std::vector<std::string> brokenFirst = BrokenRunRules(sim, facts, status);
  for (const std::string& lost : LostLines(sim, first)) brokenFirst.push_back(lost);
  Report("the first run", status, brokenFirst, sim);

  // A power cut always brings a start; where WININIT.INI is cached, the power
  // fails before every start. What the first run's status says must hold
  // after it: 0 for a complete installation or removal, unless the question
  // was answered No.
  bool startFirst = !first.retryBeforeTheStart || sim.powerWasCut();
  bool ended = !sim.powerWasCut(), unsure = CouldNotTell(sim), declined = AnsweredNo(sim);
  bool changed = false;
  for (const auto& call : sim.calls()) changed = changed || ChangesTheSystem(call.op);
  if (startFirst) {
    StartAfter(sim, first.profileCache);
    std::vector<std::string> brokenStart;
    if (facts.removal && status == 0 && changed)
      brokenStart = BrokenRulesAfterRemoval(sim, facts.windowsDirectory);
    if (!facts.removal) {
      brokenStart = BrokenStatusRulesAfterTheStart(sim, facts, first.windowsMe, status, unsure);
    }
    if (ended && !declined) Report("the start after the first run", status, brokenStart, sim);
  } else {
    sim.StartAnotherRun();
  }
  RunFacts retryFacts = FactsOfMachine(sim, facts.currentDirectory, facts.windowsDirectory);
  uint32_t retryStatus = RunWith(sim, {"-s"});
  std::vector<std::string> broken = BrokenRunRules(sim, retryFacts, retryStatus);
  if (!startFirst) {
    for (const std::string& lost : LostLines(sim, first)) broken.push_back(lost);
  }

  // What a retry must match: the same retry after a clean silent first run on
  // the machine as built, and, where the retry came after it, the start (which
  // starts the monitor that run registered, so that the retry meets it running).
  SimulatedSystem fresh;
  BuildMachine(data, size, fresh);
  RunWith(fresh, SilentLike(first.arguments));
  if (startFirst) {
    fresh.NextStart();
  } else {
    fresh.StartAnotherRun();
  }
  const RunFacts freshFacts = FactsOfMachine(fresh, facts.currentDirectory, facts.windowsDirectory);
  uint32_t freshStatus = RunWith(fresh, {"-s"});
  // Shortfalls may differ, where a cut run and a start freed what a clean
  // run found in use; what a clean run's retry completes, this one completes,
  // unless a [rename] section too long to read left it unable to tell, when
  // its file's policy answers.
  bool retryUnsure = CouldNotTell(sim);
  if (freshStatus == 0 && retryStatus != 0 && !retryUnsure) {
    broken.push_back(
        "the retry completes as the retry after a clean run does, with status 0, "
        "not " +
        std::to_string(retryStatus));
  }
  bool freshCompletes =
      !retryUnsure && BrokenRecoveryRules(fresh, freshFacts, first.windowsMe, freshStatus).empty();
  if (freshCompletes) {
    for (const std::string& rule :
         BrokenRecoveryRules(sim, retryFacts, first.windowsMe, retryStatus)) {
      broken.push_back(rule);
    }
  }
  Report("the retry", retryStatus, broken, sim);

  // The start after a retry that recovers completes its work, as the start
  // after a clean run does.
  StartAfter(sim, first.profileCache);
  fresh.NextStart();
  if (freshCompletes && BrokenRulesAfterTheStart(fresh, freshFacts, first.windowsMe).empty()) {
    Report("the start after the retry", retryStatus,
           BrokenRulesAfterTheStart(sim, retryFacts, first.windowsMe), sim);
  }

  // Removing what the retry installed: whatever it left, a silent removal
  // that completes leaves nothing of the setup's own after the next start.
  if (!first.removeAtTheEnd) return 0;
  RunFacts removalFacts = FactsOfMachine(sim, facts.currentDirectory, facts.windowsDirectory);
  removalFacts.removal = true;
  uint32_t removalStatus = RunWith(sim, {"-u", "-s"});
  std::vector<std::string> brokenRemoval = BrokenRunRules(sim, removalFacts, removalStatus);
  if (removalStatus == 0) {
    StartAfter(sim, first.profileCache);
    for (const std::string& rule : BrokenRulesAfterRemoval(sim, facts.windowsDirectory)) {
      brokenRemoval.push_back(rule);
    }
  }
  Report("the removal", removalStatus, brokenRemoval, sim);
  return 0;
}
