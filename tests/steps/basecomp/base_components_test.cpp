#include "steps/basecomp/base_components.h"

#include <gtest/gtest.h>

#include "support/typical_machine.h"

namespace {

TEST(BaseComponentTexts, AreComposedExactly) {
  struct Case {
    const char* windowsDir;
    const char* package;
    const char* deletion;
    const char* extraction;
    const char* section;
  } cases[] = {
      {"C:\\WINDOWS", "scbase", "deltree /Y C:\\WINDOWS\\temp\\scbase",
       "C:\\WINDOWS\\temp\\scbase.exe  /q /c /t:C:\\WINDOWS\\temp\\scbase",
       "DefaultInstall 132 C:\\WINDOWS\\temp\\scbase\\scbase.inf"},
      {"C:\\", "smclib", "deltree /Y C:\\\\temp\\smclib",
       "C:\\\\temp\\smclib.exe  /q /c /t:C:\\\\temp\\smclib",
       "DefaultInstall 132 C:\\\\temp\\smclib\\smclib.inf"},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(c.deletion, ExtractionDeletionCommand(c.windowsDir, c.package).c_str());
    EXPECT_STREQ(c.extraction, ExtractionCommand(c.windowsDir, c.package).c_str());
    EXPECT_STREQ(c.section, SectionInstallCommand(c.windowsDir, c.package).c_str());
  }
  std::string longest(255, 'w');
  EXPECT_EQ(39 + 2 * longest.size(), ExtractionCommand(longest.c_str(), "scbase").size());
}

using BaseComponents = SetupTest;

// The base component actions of the log, without the bookkeeping calls.
std::vector<std::string> Actions(const SimulatedSystem& sim) {
  std::vector<std::string> actions;
  for (const auto& call : sim.calls()) {
    bool staging = call.op == Op::CopyFileA && call.text.find("SCard98") != std::string::npos;
    bool stagedDeletion = call.op == Op::DeleteFileA && call.text.find("temp") != std::string::npos;
    if (staging || stagedDeletion || call.op == Op::CreateProcessA || call.op == Op::WinExec ||
        call.op == Op::InstallHinfSection || call.op == Op::WaitForSingleObject) {
      actions.push_back(call.text.substr(0, call.text.find(", inherit")));
    }
  }
  return actions;
}

TEST_F(BaseComponents, ActionsRunInOrderScbaseBeforeSmclib) {
  // A run cut short left both extractions behind.
  sim.AddFile("C:\\WINDOWS\\temp\\scbase\\scbase.inf", "[DefaultInstall]");
  sim.AddDirectory("C:\\WINDOWS\\temp\\smclib");
  EXPECT_EQ(0u, RunSilent());
  ExpectCalls(
      {
          "CreateProcessA(deltree /Y C:\\WINDOWS\\temp\\scbase",
          "WaitForSingleObject(0x2000, 0xFFFFFFFF) = 0x0",
          "CreateProcessA(deltree /Y C:\\WINDOWS\\temp\\smclib",
          "WaitForSingleObject(0x2002, 0xFFFFFFFF) = 0x0",
          "CopyFileA(D:\\WIN98\\..\\SCard98\\scbase.exe, C:\\WINDOWS\\temp\\scbase.exe, 0) = 1",
          "CopyFileA(D:\\WIN98\\..\\SCard98\\smclib.exe, C:\\WINDOWS\\temp\\smclib.exe, 0) = 1",
          "CreateProcessA(C:\\WINDOWS\\temp\\scbase.exe  /q /c /t:C:\\WINDOWS\\temp\\scbase",
          "WaitForSingleObject(0x2004, 0xFFFFFFFF) = 0x0",
          "CreateProcessA(C:\\WINDOWS\\temp\\smclib.exe  /q /c /t:C:\\WINDOWS\\temp\\smclib",
          "WaitForSingleObject(0x2006, 0xFFFFFFFF) = 0x0",
          "InstallHinfSection(DefaultInstall 132 C:\\WINDOWS\\temp\\scbase\\scbase.inf, 0) = "
          "installed",
          "InstallHinfSection(DefaultInstall 132 C:\\WINDOWS\\temp\\smclib\\smclib.inf, 0) = "
          "installed",
          "WinExec(deltree /Y C:\\WINDOWS\\temp\\scbase, 0) = 33",
          "DeleteFileA(C:\\WINDOWS\\temp\\scbase.exe) = 1",
          "WinExec(deltree /Y C:\\WINDOWS\\temp\\smclib, 0) = 33",
          "DeleteFileA(C:\\WINDOWS\\temp\\smclib.exe) = 1",
      },
      Actions(sim));
  EXPECT_FALSE(sim.FileExists("C:\\WINDOWS\\temp\\scbase.exe"));
  EXPECT_FALSE(sim.DirectoryExists("C:\\WINDOWS\\temp\\smclib"));
}

TEST_F(BaseComponents, EarlierExtractionsAreClearedBeforeStaging) {
  sim.AddFile("C:\\WINDOWS\\temp\\scbase\\stale.inf", "[DefaultInstall]");
  EXPECT_EQ(0u, RunSilent());
  EXPECT_FALSE(sim.FileExists("C:\\WINDOWS\\temp\\scbase\\stale.inf"));
}

TEST_F(BaseComponents, NoClearingIsStartedWhereNothingWasExtractedBefore) {
  EXPECT_EQ(0u, RunSilent());
  for (const auto& started : sim.started()) {
    EXPECT_FALSE(started.waitable && started.commandLine.compare(0, 8, "deltree ") == 0)
        << started.commandLine;
  }
  EXPECT_EQ(4u, sim.started().size()) << "two extractions, two detached deletions";
}

TEST_F(BaseComponents, ClearingThatCannotStartOrFailsDoesNotStopTheInstallation) {
  SimulatedSystem::Program failingDeltree;
  failingDeltree.exitStatus = 1;
  sim.AddProgram("C:\\WINDOWS\\COMMAND\\DELTREE.EXE", failingDeltree);
  EXPECT_EQ(0u, RunSilent());
  EXPECT_EQ(2u, sim.sectionInstalls().size());

  SimulatedSystem fresh;
  BuildTypicalMachine(fresh, Windows::kMe);
  fresh.Fail(Op::CreateProcessA, "deltree /Y C:\\WINDOWS\\temp\\scbase");
  EXPECT_EQ(0u, RunSetupWith(fresh, {"-s"}));
  EXPECT_EQ(2u, fresh.sectionInstalls().size());
}

struct StagingFailure {
  const char* what;
  std::string failingCopySource;  // empty: the SCard98 directory is missing instead
  bool scbaseStaged;
  int unreadableDirectoryQuery = 0;  // the current directory query that fails: 2 or 3
};

// The number among the fallible calls of the nth current directory query of a clean run.
int CurrentDirectoryQueryNumber(int nth, bool silent) {
  SimulatedSystem clean;
  BuildTypicalMachine(clean, Windows::kMe);
  clean.AnswerNextBox(kIdYes);
  RunSetupWith(clean, silent ? std::vector<std::string>{"-s"} : std::vector<std::string>{});
  for (const auto& call : clean.calls()) {
    if (call.op == Op::GetCurrentDirectoryA && --nth == 0) return call.fallibleNumber;
  }
  return 0;
}

TEST_F(BaseComponents, AStagingFailureShowsTheFailureInBothModesAndEndsWithStatus2) {
  const StagingFailure failures[] = {
      {"no SCard98 on the media", "", false},
      {"scbase cannot be copied", "D:\\WIN98\\..\\SCard98\\scbase.exe", false},
      {"smclib cannot be copied", "D:\\WIN98\\..\\SCard98\\smclib.exe", true},
      {"current directory unreadable before staging scbase", "", false, 2},
      {"current directory unreadable before staging smclib", "", true, 3},
  };
  for (const StagingFailure& f : failures) {
    for (bool silent : {true, false}) {
      SimulatedSystem fresh;
      BuildTypicalMachine(fresh, Windows::kMe);
      if (f.unreadableDirectoryQuery != 0) {
        fresh.FailCallNumber(CurrentDirectoryQueryNumber(f.unreadableDirectoryQuery, silent));
      } else if (f.failingCopySource.empty()) {
        fresh.SetCurrentDirectory("E:\\WIN98");
        for (const auto& file : kPackageFiles) fresh.AddFile("E:\\WIN98\\" + file.first, "f");
        fresh.AddFile("E:\\WIN98\\kt418Hub.inf", "f");
      } else {
        fresh.Fail(Op::CopyFileA, f.failingCopySource);
      }
      fresh.AnswerNextBox(kIdYes);
      std::string what = std::string(f.what) + (silent ? ", silent" : ", interactive");

      EXPECT_EQ(2u, RunSetupWith(fresh, silent ? std::vector<std::string>{"-s"}
                                               : std::vector<std::string>{}))
          << what;
      ASSERT_FALSE(fresh.boxes().empty()) << what;
      EXPECT_EQ("SmartCard Base Component install Failed!.\n", fresh.boxes().back().text) << what;
      EXPECT_EQ("Vantrel USB Smart Card Reader Setup Utility", fresh.boxes().back().caption)
          << what;
      EXPECT_EQ(silent ? 1u : 2u, fresh.boxes().size()) << what << ": no restart offer";
      EXPECT_EQ(f.scbaseStaged, fresh.FileExists("C:\\WINDOWS\\temp\\scbase.exe")) << what;
      EXPECT_TRUE(fresh.started().empty()) << what << ": nothing to clear, nothing extracted";
      EXPECT_TRUE(fresh.sectionInstalls().empty()) << what;
      EXPECT_EQ(nullptr, fresh.FindValue(kRunServicesOnceKey, "RDWatch")) << what;
      EXPECT_TRUE(fresh.restartRequests().empty()) << what;
    }
  }
}

TEST_F(BaseComponents, AReadOnlyStagedCopyLeftByAnEarlierRunIsReplacedAndRemoved) {
  for (const char* staged : {"C:\\WINDOWS\\temp\\scbase.exe", "C:\\WINDOWS\\temp\\smclib.exe"}) {
    sim.AddFile(staged, "earlier", kFileAttributeReadOnly);
  }
  EXPECT_EQ(0u, RunSilent());
  EXPECT_EQ(2u, sim.sectionInstalls().size());
  EXPECT_FALSE(sim.FileExists("C:\\WINDOWS\\temp\\scbase.exe"));
  EXPECT_FALSE(sim.FileExists("C:\\WINDOWS\\temp\\smclib.exe"));
}

// Nothing of the setup's own stays, and a copy already gone counts as removed.
TEST_F(BaseComponents, APackageThatDeletesItsOwnStagedCopyLeavesNothingToRemove) {
  for (const char* package : {"scbase", "smclib"}) {
    SimulatedSystem::Program program = SimulatedSystem::ExtractionPackage(package, 0);
    program.deletesItself = true;
    sim.AddProgram(std::string("D:\\SCard98\\") + package + ".exe", program);
  }
  EXPECT_EQ(0u, RunSilent());
  EXPECT_EQ(2u, sim.sectionInstalls().size());
  EXPECT_FALSE(sim.FileExists("C:\\WINDOWS\\temp\\scbase.exe"));
  EXPECT_FALSE(sim.FileExists("C:\\WINDOWS\\temp\\smclib.exe"));
}

TEST_F(BaseComponents, AStagedCopyThatCannotBeReplacedFailsTheStaging) {
  const char kStaged[] = "C:\\WINDOWS\\temp\\scbase.exe";
  struct Case {
    const char* what;
    bool folder;  // false: a read-only copy whose attributes cannot be changed
  } cases[] = {{"read-only, attributes unchangeable", false}, {"a folder at its name", true}};
  for (const Case& c : cases) {
    SimulatedSystem fresh;
    BuildTypicalMachine(fresh, Windows::kMe);
    if (c.folder) {
      fresh.AddFile(std::string(kStaged) + "\\notes.txt", "the user's");
    } else {
      fresh.AddFile(kStaged, "earlier", kFileAttributeReadOnly);
      fresh.Fail(Op::SetFileAttributesA, kStaged);
    }
    EXPECT_EQ(2u, RunSetupWith(fresh, {"-s"})) << c.what;
    ASSERT_EQ(1u, fresh.boxes().size()) << c.what;
    EXPECT_EQ("SmartCard Base Component install Failed!.\n", fresh.boxes()[0].text) << c.what;
    EXPECT_EQ(c.folder ? "" : "earlier", fresh.FileContent(kStaged)) << c.what;
  }
}

TEST_F(BaseComponents, NoTempDirectoryFailsTheStaging) {
  SimulatedSystem fresh;
  fresh.SetCurrentDirectory("D:\\WIN98");
  fresh.AddDirectory("C:\\WINDOWS\\System32\\Drivers");
  fresh.AddDirectory("C:\\WINDOWS\\inf");
  for (const auto& file : kPackageFiles) fresh.AddFile("D:\\WIN98\\" + file.first, "f");
  fresh.AddProgram("D:\\SCard98\\scbase.exe", SimulatedSystem::ExtractionPackage("scbase", 0));
  EXPECT_EQ(2u, RunSetupWith(fresh, {"-s"}));
  EXPECT_FALSE(fresh.DirectoryExists("C:\\WINDOWS\\temp")) << "the setup creates no directory";
}

TEST_F(BaseComponents, StagingFromADriveRootUsesThePathAsComposed) {
  sim.SetCurrentDirectory("D:\\");
  for (const auto& file : AllPackageFiles()) sim.AddFile("D:\\" + file.first, "f");
  EXPECT_EQ(0u, RunSilent());
  EXPECT_EQ("CopyFileA(D:\\\\..\\SCard98\\scbase.exe, C:\\WINDOWS\\temp\\scbase.exe, 0) = 1",
            Actions(sim)[0]);
}

TEST_F(BaseComponents, AnExtractionThatCannotRunOrEndsNonZeroEndsTheSetupWithStatus3) {
  struct Case {
    const char* what;
    uint32_t status;   // the package's exit status
    bool startsAtAll;  // false: not a program (a damaged copy)
  } cases[] = {{"ends with 1", 1, true}, {"ends with 2", 2, true}, {"is no program", 0, false}};
  for (const char* failing : {"scbase", "smclib"}) {
    for (const Case& c : cases) {
      SimulatedSystem fresh;
      BuildTypicalMachine(fresh, Windows::kMe);
      SimulatedSystem::Program package = SimulatedSystem::ExtractionPackage(failing, c.status);
      package.failsToStart = !c.startsAtAll;
      fresh.AddProgram(std::string("D:\\SCard98\\") + failing + ".exe", package);
      std::string what = std::string(failing) + " " + c.what;
      EXPECT_EQ(3u, RunSetupWith(fresh, {"-s"})) << what;
      EXPECT_TRUE(fresh.sectionInstalls().empty()) << what;
      EXPECT_EQ(nullptr, fresh.FindValue(kRunServicesOnceKey, "RDWatch")) << what;
      EXPECT_TRUE(fresh.FileExists("C:\\WINDOWS\\temp\\smclib.exe")) << what << ": left behind";
      EXPECT_EQ(Op::ExitProcess, fresh.calls().back().op) << what;
      bool smclibStarted = false;
      for (const auto& started : fresh.started()) {
        smclibStarted =
            smclibStarted || started.commandLine.find("smclib.exe") != std::string::npos;
      }
      EXPECT_EQ(std::string(failing) == "smclib" && c.startsAtAll, smclibStarted) << what;
    }
  }
}

// Windows installed in "C:\My Windows", with a C:\My.exe that an unquoted
// command would start instead of the package.
void UseWindowsDirectoryWithABlank(SimulatedSystem& sim) {
  sim.SetWindowsDirectory("C:\\My Windows");
  for (const char* dir : {"\\System32\\Drivers", "\\inf", "\\system", "\\temp"}) {
    sim.AddDirectory(std::string("C:\\My Windows") + dir);
  }
  sim.AddProgram("C:\\My.exe", SimulatedSystem::Program());
  SimulatedSystem::Program deltree;
  deltree.deletesTrees = true;
  sim.AddProgram("C:\\My Windows\\COMMAND\\DELTREE.EXE", deltree);
}

TEST_F(BaseComponents, AWindowsDirectoryWithABlankIsCommandedByItsShortForm) {
  UseWindowsDirectoryWithABlank(sim);
  sim.AddDirectory("C:\\My Windows\\temp\\scbase");
  sim.AddDirectory("C:\\My Windows\\temp\\smclib");
  EXPECT_EQ(0u, RunSilent());
  std::vector<std::string> actions = Actions(sim);
  ASSERT_EQ(16u, actions.size());
  EXPECT_EQ("CreateProcessA(deltree /Y C:\\MYWIND~1\\temp\\scbase", actions[0]);
  EXPECT_EQ(
      "CopyFileA(D:\\WIN98\\..\\SCard98\\scbase.exe, C:\\My Windows\\temp\\scbase.exe, 0) = 1",
      actions[4]);
  EXPECT_EQ("CreateProcessA(C:\\MYWIND~1\\temp\\scbase.exe  /q /c /t:C:\\MYWIND~1\\temp\\scbase",
            actions[6]);
  EXPECT_EQ(
      "InstallHinfSection(DefaultInstall 132 C:\\MYWIND~1\\temp\\smclib\\smclib.inf, 0) = "
      "installed",
      actions[11]);
  EXPECT_EQ("DeleteFileA(C:\\My Windows\\temp\\smclib.exe) = 1", actions[15]);
  for (const auto& started : sim.started()) {
    EXPECT_EQ(std::string::npos, started.commandLine.find("My ")) << started.commandLine;
  }
  EXPECT_FALSE(sim.DirectoryExists("C:\\My Windows\\temp\\scbase"))
      << "cleaned up after installing";
  EXPECT_EQ(2u, sim.sectionInstalls().size());
}

TEST_F(BaseComponents, AWindowsDirectoryWithoutABlankFreeFormStartsNothing) {
  struct Case {
    const char* what;
    bool shortFormFails;
  } cases[] = {{"short form still has a blank", false}, {"short form unavailable", true}};
  for (const Case& c : cases) {
    SimulatedSystem fresh;
    BuildTypicalMachine(fresh, Windows::kMe);
    UseWindowsDirectoryWithABlank(fresh);
    if (c.shortFormFails) {
      fresh.Fail(Op::GetShortPathNameA);
    } else {
      ASSERT_TRUE(fresh.SetShortName("C:\\My Windows", "MY WIN~1")) << c.what;
    }
    EXPECT_EQ(2u, RunSetupWith(fresh, {"-s"})) << c.what;
    EXPECT_TRUE(fresh.started().empty()) << c.what;
    EXPECT_TRUE(fresh.sectionInstalls().empty()) << c.what;
    EXPECT_FALSE(fresh.FileExists("C:\\My Windows\\temp\\scbase.exe")) << c.what;
    ASSERT_EQ(1u, fresh.boxes().size()) << c.what;
    EXPECT_EQ("SmartCard Base Component install Failed!.\n", fresh.boxes()[0].text) << c.what;
  }
}

}  // namespace
