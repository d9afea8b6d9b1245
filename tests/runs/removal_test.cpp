// Removal through Add/Remove Programs (-u) or from the disc: what an
// installation placed goes, at once or at the next start, and what other
// readers use stays.
#include <gtest/gtest.h>

#include <functional>

#include "steps/registry/removal_entry.h"
#include "support/run_judge.h"
#include "support/typical_machine.h"

namespace {

// What happened between the installation and the removal.
enum class Since {
  kAStart,            // the system started again
  kNoStart,           // nothing: the monitor is still entered for the next start
  kTheReaderPlugged,  // a start, then the reader was plugged in: its entries and the
                      // system's driver database made again
  kLeftovers,         // a start, and copies set aside or waiting stand beside package files
};

struct RemovalCase {
  const char* name;
  Windows windows;
  bool silent;
  bool monitorRunning;  // the start after the installation ran it
  bool fromTheCopy;     // Add/Remove Programs started the copy, which holds its file
  int installCutAt;     // the installation's power cut, in percent of its calls; 0 for none
  Since since = Since::kAStart;
};

const RemovalCase kRemovalCases[] = {
    {"98, silent, from Add/Remove Programs", Windows::k98, true, true, true, 0},
    {"98, interactive, from Add/Remove Programs", Windows::k98, false, true, true, 0},
    {"Me, silent, from Add/Remove Programs", Windows::kMe, true, true, true, 0},
    {"Me, interactive, from Add/Remove Programs", Windows::kMe, false, true, true, 0},
    {"98, interactive, from the disc, the monitor not running", Windows::k98, false, false, false,
     0},
    {"Me, silent, from the disc, the installation cut short while placing the package",
     Windows::kMe, true, false, false, 25},
    {"98, interactive, from the disc, the installation cut short at its end", Windows::k98, false,
     false, false, 95},
    {"Me, silent, from the disc, before any restart", Windows::kMe, true, false, false, 0,
     Since::kNoStart},
    {"Me, silent, from the disc, the reader plugged in since", Windows::kMe, true, true, false, 0,
     Since::kTheReaderPlugged},
    {"98, interactive, from Add/Remove Programs, leftovers beside the package", Windows::k98, false,
     true, true, 0, Since::kLeftovers},
};

TEST(Removal, InstallStartRemoveStartLeavesTheMachineAsItWas) {
  for (const RemovalCase& row : kRemovalCases) {
    SimulatedSystem sim;
    BuildTypicalMachine(sim, row.windows);
    std::vector<std::string> before = LastingState(sim);
    if (row.installCutAt != 0) {
      SimulatedSystem clean;
      BuildTypicalMachine(clean, row.windows);
      RunSetupWith(clean, {"-s"});
      sim.CutPowerAfterCall(static_cast<int>(clean.calls().size()) * row.installCutAt / 100);
    }
    uint32_t installed = RunSetupWith(sim, {"-s"});
    if (row.since == Since::kNoStart) {
      sim.StartAnotherRun();
    } else {
      sim.NextStart();
    }
    if (row.since == Since::kTheReaderPlugged) {
      sim.AddKey(std::string(kUsbKey) + "\\VID_1E2D&PID_4182\\5&1A2B3C&0&1");
      sim.AddKey(std::string(kUsbKey) + "\\VID_1E2D&PID_4181\\5&1A2B3C&0&2");
      sim.AddFile("C:\\WINDOWS\\inf\\drvidx.bin", "the system's driver index");
      sim.AddFile("C:\\WINDOWS\\inf\\drvdata.bin", "the system's driver data");
    }
    if (row.since == Since::kLeftovers) {
      sim.AddFile("C:\\WINDOWS\\system\\unPlug.exe.new", "waiting unPlug.exe");
      sim.AddFile("C:\\WINDOWS\\inf\\kt418.cat.old", "set aside kt418.cat", kFileAttributeReadOnly);
    }
    if (row.installCutAt == 0) {
      ASSERT_EQ(0u, installed) << row.name;
      const SimulatedSystem::Value* command =
          sim.FindValue(std::string("HKLM\\") + kRemovalKey, "UninstallString");
      ASSERT_NE(nullptr, command) << row.name;
      EXPECT_EQ(std::string("C:\\WINDOWS\\system\\kt418Rmv.exe -u\0", 34), command->data);
    }
    if (row.monitorRunning) sim.StartProgram("C:\\WINDOWS\\system\\rdWatch.exe");
    if (row.fromTheCopy) {
      sim.SetModulePath("C:\\WINDOWS\\system\\kt418Rmv.exe");
      sim.StartProgram("C:\\WINDOWS\\system\\kt418Rmv.exe");
    }
    sim.AnswerNextBox(kIdYes);
    sim.AnswerNextBox(kIdNo);
    RunFacts facts = FactsOfMachine(sim, "D:\\WIN98", "C:\\WINDOWS");
    facts.removal = true;
    uint32_t status = RunSetupWith(
        sim, row.silent ? std::vector<std::string>{"-u", "-s"} : std::vector<std::string>{"-u"});
    EXPECT_EQ(0u, status) << row.name;
    EXPECT_EQ(std::vector<std::string>{}, BrokenRunRules(sim, facts, status)) << row.name;
    // Something in use waits for the next start, and only then is a restart offered.
    bool waits = row.monitorRunning || row.fromTheCopy;
    EXPECT_EQ(row.silent ? 0u : waits ? 2u : 1u, sim.boxes().size()) << row.name;
    sim.NextStart();
    EXPECT_EQ("", Differences(before, LastingState(sim))) << row.name;
    EXPECT_EQ(std::vector<std::string>{}, BrokenRulesAfterRemoval(sim, "C:\\WINDOWS")) << row.name;
  }
}

TEST(Removal, ARemovalThatRemovesNothingChangesNothing) {
  const char kQuestion[] = "Remove the Vantrel USB Smart Card Reader driver from this computer?\n";
  const struct {
    const char* name;
    bool installed;
    bool silent;
    int answer;
    std::vector<std::string> boxes;
    uint32_t status;
  } rows[] = {
      {"nothing installed, interactive",
       false,
       false,
       kIdYes,
       {kQuestion, "The Vantrel USB Smart Card Reader driver is not installed on this computer.\n"},
       0},
      {"nothing installed, silent", false, true, kIdYes, {}, 0},
      {"installed, the question answered No", true, false, kIdNo, {kQuestion}, 0},
      {"installed, the question not shown", true, false, 0, {kQuestion}, 12},
  };
  for (const auto& row : rows) {
    SimulatedSystem sim;
    BuildTypicalMachine(sim, Windows::k98);
    if (row.installed) {
      ASSERT_EQ(0u, RunSetupWith(sim, {"-s"}));
      sim.NextStart();
    }
    std::vector<std::string> before = LastingState(sim);
    sim.AnswerNextBox(row.answer);
    sim.AnswerNextBox(1);  // OK
    EXPECT_EQ(row.status, RunSetupWith(sim, row.silent ? std::vector<std::string>{"-u", "-s"}
                                                       : std::vector<std::string>{"-u"}))
        << row.name;
    std::vector<std::string> shown;
    for (const auto& box : sim.boxes()) shown.push_back(box.text);
    EXPECT_EQ(row.boxes, shown) << row.name;
    EXPECT_EQ("", Differences(before, LastingState(sim))) << row.name;
  }
}

// A key whose deletion failed and whose open then failed otherwise than "not
// found" may still be there: the removal says so with 8, and a retry ends
// with 0, the entry gone (the device entries, which the system makes afresh
// when the reader is plugged in, a removal need not find again).
TEST(Removal, AKeyWhoseDeletionAndReopenBothFailEndsWith8AndARetryFinishes) {
  const struct {
    Windows windows;
    std::string key;
    bool goneAfterTheRetry;
  } rows[] = {
      {Windows::kMe, std::string("HKLM\\") + kRemovalKey, true},
      {Windows::k98, std::string("HKLM\\") + kRemovalKey, true},
      {Windows::kMe, "HKLM\\Enum\\USB\\VID_1E2D&PID_4182", false},
      {Windows::kMe, "HKLM\\Enum\\USB\\VID_1E2D&PID_4181", false},
  };
  for (const auto& row : rows) {
    auto installed = [&](SimulatedSystem& sim) {
      BuildTypicalMachine(sim, row.windows);
      ASSERT_EQ(0u, RunSetupWith(sim, {"-s"}));
      sim.NextStart();
      sim.AddKey(row.key);  // the reader plugged in again since
    };
    SimulatedSystem clean;
    installed(clean);
    ASSERT_EQ(0u, RunSetupWith(clean, {"-u", "-s"})) << row.key;
    int deletion = 0;
    for (const auto& call : clean.calls()) {
      bool ours = call.text.find("(" + row.key + ")") != std::string::npos;
      if (call.op == Op::RegDeleteKeyA && ours) deletion = call.fallibleNumber;
    }
    ASSERT_NE(0, deletion) << row.key;

    SimulatedSystem sim;
    installed(sim);
    sim.FailCallNumber(deletion);
    sim.FailCallNumber(deletion + 1);  // the open that asks whether it is still there
    EXPECT_EQ(8u, RunSetupWith(sim, {"-u", "-s"})) << row.key;
    EXPECT_TRUE(sim.KeyExists(row.key)) << row.key;
    sim.NextStart();
    EXPECT_EQ(0u, RunSetupWith(sim, {"-u", "-s"})) << row.key << ", retried";
    EXPECT_EQ(row.goneAfterTheRetry, !sim.KeyExists(row.key)) << row.key << ", retried";
  }
}

TEST(RemovalEntry, TheCommandQuotesAPathWithABlank) {
  EXPECT_STREQ("C:\\WINDOWS\\system\\kt418Rmv.exe -u",
               RemovalCommand("C:\\WINDOWS\\system\\kt418Rmv.exe").c_str());
  EXPECT_STREQ("\"C:\\My Windows\\system\\kt418Rmv.exe\" -u",
               RemovalCommand("C:\\My Windows\\system\\kt418Rmv.exe").c_str());
}

// The installation is complete without its entry; status 7 tells a silent
// caller so, and no half of an entry is left.
TEST(RemovalEntry, AnInstallationThatCannotBeEnteredEndsWith7AndNoEntry) {
  const std::string key = std::string("HKLM\\") + kRemovalKey;
  const std::string media = "D:\\WIN98\\SETUP.EXE";
  const struct {
    const char* name;
    std::string modulePath;
    std::function<void(SimulatedSystem&)> fault;
  } rows[] = {
      {"its own path cannot be read", media,
       [](SimulatedSystem& sim) { sim.Fail(Op::GetModuleFileNameA); }},
      {"its own path is too long to be read whole",
       "D:\\WIN98\\" + std::string(250, 'x') + "\\SETUP.EXE", [](SimulatedSystem&) {}},
      {"the copy cannot be made", media,
       [&](SimulatedSystem& sim) { sim.Fail(Op::CopyFileA, media); }},
      {"the name cannot be written", media,
       [&](SimulatedSystem& sim) { sim.Fail(Op::RegSetValueExA, key + "\\DisplayName"); }},
      {"the command cannot be written", media,
       [&](SimulatedSystem& sim) { sim.Fail(Op::RegSetValueExA, key + "\\UninstallString"); }},
  };
  for (const auto& row : rows) {
    SimulatedSystem sim;
    BuildTypicalMachine(sim, Windows::kMe);
    sim.AddFile(row.modulePath, "the setup");
    sim.SetModulePath(row.modulePath);
    row.fault(sim);
    EXPECT_EQ(7u, RunSetupWith(sim, {"-s"})) << row.name;
    EXPECT_FALSE(sim.KeyExists(key)) << row.name;
    EXPECT_TRUE(sim.FileExists("C:\\WINDOWS\\System32\\Drivers\\kt418.sys")) << row.name;
  }
}

// A reinstallation whose entry cannot be written says so with 7, and the
// earlier installation's entry, which removes the reader as well, stays whole.
TEST(RemovalEntry, AReinstallationThatCannotBeEnteredKeepsTheEarlierEntry) {
  const std::string key = std::string("HKLM\\") + kRemovalKey;
  for (const char* value : {"DisplayName", "UninstallString"}) {
    SimulatedSystem sim;
    BuildTypicalMachine(sim, Windows::k98);
    ASSERT_EQ(0u, RunSetupWith(sim, {"-s"}));
    sim.NextStart();
    std::vector<std::string> entry = sim.ValueNames(key);
    sim.Fail(Op::RegSetValueExA, key + "\\" + value);
    EXPECT_EQ(7u, RunSetupWith(sim, {"-s"})) << value;
    EXPECT_EQ(entry, sim.ValueNames(key)) << value;
    const SimulatedSystem::Value* command = sim.FindValue(key, "UninstallString");
    ASSERT_NE(nullptr, command) << value;
    EXPECT_EQ(std::string("C:\\WINDOWS\\system\\kt418Rmv.exe -u\0", 34), command->data) << value;
  }
}

// Where the system renames a running program's file, as NT and the emulator
// do, the reinstallation places the monitor at once, over the removal's line
// that deletes it at the next start. Where that line cannot be looked for,
// the monitor counts as not placed: status 9, and the start takes it.
TEST(Removal, AReinstallationBeforeTheRemovalsStartKeepsWhatItPlaced) {
  const struct {
    Windows windows;
    bool lineUnreadable;
    uint32_t status;
  } rows[] = {{Windows::k98, false, 0}, {Windows::kMe, false, 0}, {Windows::k98, true, 9}};
  for (const auto& row : rows) {
    SimulatedSystem sim;
    BuildTypicalMachine(sim, row.windows);
    sim.SetRunningFileRename(SimulatedSystem::RunningFileRename::kAllowed);
    RunFacts facts = FactsOfMachine(sim, "D:\\WIN98", "C:\\WINDOWS");
    ASSERT_EQ(0u, RunSetupWith(sim, {"-s"}));
    sim.NextStart();
    sim.StartProgram("C:\\WINDOWS\\system\\rdWatch.exe");
    ASSERT_EQ(0u, RunSetupWith(sim, {"-u", "-s"}));
    sim.StartAnotherRun();
    if (row.lineUnreadable) sim.Fail(Op::GetShortPathNameA, "C:\\WINDOWS\\system\\rdWatch.exe");
    EXPECT_EQ(row.status, RunSetupWith(sim, {"-s"}));
    sim.NextStart();
    if (row.status == 0) {
      EXPECT_EQ(std::vector<std::string>{},
                BrokenRulesAfterTheStart(sim, facts, row.windows == Windows::kMe))
          << sim.Dump();
    } else {
      EXPECT_FALSE(sim.FileExists("C:\\WINDOWS\\system\\rdWatch.exe")) << sim.Dump();
    }
  }
}

}  // namespace
