#include "runs/front_door.h"

#include <gtest/gtest.h>

#include "common/exit_status.h"
#include "common/messages.h"
#include "runs/single_setup.h"
#include "support/run_judge.h"
#include "support/typical_machine.h"

namespace {

struct CommandLineCase {
  std::vector<std::string> arguments;
  bool silent;
  bool remove;
};

TEST(CommandLine, DashSAloneIsSilentDashUAloneRemovesAndTogetherRemoveSilently) {
  const CommandLineCase cases[] = {
      {{}, false, false},
      {{"-s"}, true, false},
      {{"-S"}, true, false},
      {{"-s", "x"}, false, false},
      {{"/s"}, false, false},
      {{"-silent"}, false, false},
      {{"-s "}, false, false},
      {{" -s"}, false, false},
      {{"-s", "-s"}, false, false},
      {{"s"}, false, false},
      {{"--s"}, false, false},
      {{""}, false, false},
      {{"-u"}, false, true},
      {{"-U"}, false, true},
      {{"-u", "-s"}, true, true},
      {{"-S", "-U"}, true, true},
      {{"-u", "-u"}, false, false},
      {{"-u", "x"}, false, false},
      {{"-u", "-s", "-s"}, false, false},
      {{"/u"}, false, false},
      {{"-uninstall"}, false, false},
  };
  for (const CommandLineCase& c : cases) {
    std::vector<const char*> argv = {"SETUP.EXE"};
    for (const std::string& argument : c.arguments) argv.push_back(argument.c_str());
    std::string shown;
    for (const std::string& argument : c.arguments) shown += "[" + argument + "]";
    CommandLine read = ReadCommandLine(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(c.silent, read.silent) << "arguments " << shown;
    EXPECT_EQ(c.remove, read.remove) << "arguments " << shown;
  }
}

using SetupRun = SetupTest;

TEST_F(SetupRun, WelcomeAnsweredNoEndsWithStatusZeroBeforeTouchingAnything) {
  sim.AnswerNextBox(kIdNo);
  EXPECT_EQ(0u, Run());
  ASSERT_EQ(1u, sim.boxes().size());
  EXPECT_EQ("This program will install the driver of Vantrel USB Smart Card Reader\n",
            sim.boxes()[0].text);
  EXPECT_EQ(kMbYesNo, sim.boxes()[0].type);
  for (const auto& call : sim.calls()) {
    EXPECT_FALSE(ChangesTheSystem(call.op)) << call.text;
    EXPECT_NE(Op::GetFileAttributesA, call.op) << call.text;
    EXPECT_NE(Op::RegOpenKeyA, call.op) << call.text;
  }
  EXPECT_EQ(Op::ExitProcess, sim.calls().back().op);
  EXPECT_EQ(MediaContent("kt418.sys"), sim.FileContent("D:\\WIN98\\kt418.sys"));
  EXPECT_FALSE(sim.FileExists("C:\\WINDOWS\\System32\\Drivers\\kt418.sys"));
}

TEST_F(SetupRun, WelcomeAnswersOtherThanNoGoOn) {
  for (int answer : {kIdYes, 0, 1, 2}) {
    SimulatedSystem fresh;
    BuildTypicalMachine(fresh, Windows::kMe);
    fresh.AnswerNextBox(answer);
    EXPECT_EQ(0u, RunSetupWith(fresh, {})) << "answer " << answer;
    EXPECT_TRUE(fresh.FileExists("C:\\WINDOWS\\System32\\Drivers\\kt418.sys"))
        << "answer " << answer;
  }
}

TEST_F(SetupRun, SilentRunAsksNothingAndPlacesTheWholePackage) {
  EXPECT_EQ(0u, RunSilent());
  EXPECT_TRUE(sim.boxes().empty());
  for (const auto& file : kPackageFiles) {
    EXPECT_EQ(MediaContent(file.first), sim.FileContent("C:\\WINDOWS\\" + file.second))
        << file.second;
  }
  EXPECT_EQ(MediaContent("kt418Hub.inf"), sim.FileContent("C:\\WINDOWS\\inf\\kt418Hub.inf"));
}

TEST_F(SetupRun, ADriveRootMediaDirectoryLosesItsBackslash) {
  sim.SetCurrentDirectory("D:\\");
  sim.AddFile("D:\\kt418.sys", "root driver");
  RunSilent();
  EXPECT_EQ("CopyFileA(D:\\kt418.sys, C:\\WINDOWS\\System32\\Drivers\\kt418.sys, 0) = 1",
            FirstCall(sim, Op::CopyFileA));
}

TEST_F(SetupRun, OnlyARealTrailingBackslashLeavesTheMediaDirectory) {
  // 0x95 0x5C is one character in code page 932, a bullet and a backslash in 1252.
  const std::string bullet = "\x95\x5C";
  struct Case {
    uint32_t codePage;
    std::string current;
    std::string firstSource;
  } cases[] = {
      {932, "D:\\" + bullet, "D:\\" + bullet + "\\kt418.sys"},
      {932, "D:\\" + bullet + "\\", "D:\\" + bullet + "\\kt418.sys"},
      {932, "D:\\", "D:\\kt418.sys"},
      {1252, "D:\\" + bullet, "D:\\\x95\\kt418.sys"},
      {1252, "D:\\WIN98", "D:\\WIN98\\kt418.sys"},
  };
  for (const Case& c : cases) {
    SimulatedSystem fresh;
    BuildTypicalMachine(fresh, Windows::kMe);
    fresh.SetCodePage(c.codePage);
    fresh.SetCurrentDirectory(c.current);
    fresh.AddFile(c.firstSource, "driver");
    RunSetupWith(fresh, {"-s"});
    EXPECT_EQ("CopyFileA(" + c.firstSource + ", C:\\WINDOWS\\System32\\Drivers\\kt418.sys, 0) = 1",
              FirstCall(fresh, Op::CopyFileA))
        << "code page " << c.codePage;
  }
}

TEST_F(SetupRun, AWindowsDirectoryAtADriveRootKeepsItsBackslash) {
  sim.SetWindowsDirectory("C:\\");
  sim.AddDirectory("C:\\System32\\Drivers");
  RunSilent();
  EXPECT_EQ("CopyFileA(D:\\WIN98\\kt418.sys, C:\\\\System32\\Drivers\\kt418.sys, 0) = 1",
            FirstCall(sim, Op::CopyFileA));
  EXPECT_EQ(MediaContent("kt418.sys"), sim.FileContent("C:\\System32\\Drivers\\kt418.sys"));
}

TEST_F(SetupRun, DirectoriesThatCannotBeReadWholeEndTheRunSilentlyWithStatus4) {
  const std::string longest(255, 'x');
  struct Case {
    const char* what;
    Op failing;
    std::string current;
    std::string windows;
  } cases[] = {
      {"current directory query fails", Op::GetCurrentDirectoryA, "D:\\WIN98", "C:\\WINDOWS"},
      {"Windows directory query fails", Op::GetWindowsDirectoryA, "D:\\WIN98", "C:\\WINDOWS"},
      {"current directory of 256 bytes", Op::ExitProcess, "D:\\" + longest.substr(3) + "y",
       "C:\\WINDOWS"},
      {"Windows directory of 256 bytes", Op::ExitProcess, "D:\\WIN98",
       "C:\\" + longest.substr(3) + "y"},
  };
  for (const Case& c : cases) {
    SimulatedSystem fresh;
    BuildTypicalMachine(fresh, Windows::kMe);
    fresh.SetCurrentDirectory(c.current);
    fresh.SetWindowsDirectory(c.windows);
    if (c.failing != Op::ExitProcess) fresh.Fail(c.failing);
    fresh.AnswerNextBox(kIdYes);
    EXPECT_EQ(4u, RunSetupWith(fresh, {})) << c.what;
    EXPECT_EQ(1u, fresh.boxes().size()) << c.what << ": only the welcome question";
    for (const auto& call : fresh.calls()) EXPECT_FALSE(ChangesTheSystem(call.op)) << c.what;
  }
}

TEST_F(SetupRun, A255ByteWindowsDirectoryFitsAndIsUsedWhole) {
  std::string windows = "C:\\" + std::string(252, 'w');
  sim.SetWindowsDirectory(windows);
  RunSilent();
  bool seen = false;
  for (const auto& call : sim.calls()) {
    seen = seen || call.text == "GetFileAttributesA(" + windows +
                                    "\\System32\\Drivers\\kt418.sys) = 0xFFFFFFFF";
  }
  EXPECT_TRUE(seen);
}

TEST_F(SetupRun, HubSetupInformationFileIsPlacedOnWindowsMeOnly) {
  struct Version {
    uint32_t platform, major, minor;
    uint32_t status;
    bool placed;
  } versions[] = {
      {1, 4, 90, 0, true},  {1, 5, 90, 0, true}, {1, 4, 10, 0, false}, {1, 4, 0, 0, false},
      {2, 4, 90, 6, false}, {2, 5, 0, 6, false}, {0, 0, 90, 0, false},
  };
  for (const Version& v : versions) {
    SimulatedSystem fresh;
    BuildTypicalMachine(fresh, Windows::kMe);
    fresh.SetVersion(v.platform, v.major, v.minor);
    EXPECT_EQ(v.status, RunSetupWith(fresh, {"-s"}))
        << "platform " << v.platform << " version " << v.major << "." << v.minor;
    EXPECT_EQ(v.placed, fresh.FileExists("C:\\WINDOWS\\inf\\kt418Hub.inf"))
        << "platform " << v.platform << " version " << v.major << "." << v.minor;
  }
}

// The hub's setup information file, placed on Windows Me only, may then be
// missing: status 9 says so.
TEST_F(SetupRun, AFailedVersionQueryReadsAsNotWindowsMe) {
  sim.Fail(Op::GetVersionExA);
  EXPECT_EQ(9u, RunSilent());
  EXPECT_FALSE(sim.FileExists("C:\\WINDOWS\\inf\\kt418Hub.inf"));
}

// Another setup running, or a system of the NT family: the run ends before
// anything is asked or changed, telling only an interactive user on NT why.
TEST_F(SetupRun, ASetupThatMustNotGoOnEndsHavingChangedNothing) {
  const char kRefusal[] =
      "This setup is for Windows 98 and Windows Me. Nothing has been changed on this computer.\n";
  struct Case {
    const char* what;
    bool nt;
    bool silent;
    uint32_t status;
    const char* box;  // nullptr for none
  } cases[] = {
      {"another setup running, interactive", false, false, 5, nullptr},
      {"another setup running, silent", false, true, 5, nullptr},
      {"Windows XP, interactive", true, false, 6, kRefusal},
      {"Windows XP, silent", true, true, 6, nullptr},
  };
  for (const Case& c : cases) {
    SimulatedSystem fresh;
    BuildTypicalMachine(fresh, Windows::kMe);
    if (c.nt) {
      fresh.SetVersion(kVerPlatformWin32Nt, 5, 1);
    } else {
      fresh.HoldMutexElsewhere(kSetupMutexName);
    }
    fresh.AnswerNextBox(kIdYes);
    EXPECT_EQ(c.status, RunSetupWith(fresh, c.silent ? std::vector<std::string>{"-s"}
                                                     : std::vector<std::string>{}))
        << c.what;
    if (c.box == nullptr) {
      EXPECT_TRUE(fresh.boxes().empty()) << c.what;
    } else {
      ASSERT_EQ(1u, fresh.boxes().size()) << c.what;
      EXPECT_EQ(c.box, fresh.boxes()[0].text) << c.what;
      EXPECT_EQ(kSetupCaption, fresh.boxes()[0].caption) << c.what;
      EXPECT_EQ(kMbOk | kMbIconStop, fresh.boxes()[0].type) << c.what;
    }
    for (const auto& call : fresh.calls()) {
      EXPECT_FALSE(ChangesTheSystem(call.op)) << c.what << ": " << call.text;
      if (c.nt) {
        EXPECT_TRUE(call.op == Op::GetVersionExA || call.op == Op::MessageBoxA)
            << c.what << ": " << call.text;
      }
    }
    EXPECT_FALSE(fresh.FileExists("C:\\WINDOWS\\System32\\Drivers\\kt418.sys")) << c.what;
  }
}

TEST_F(SetupRun, TheSetupsNameIsFreeAgainOnceItsRunHasEndedHoweverItEnded) {
  sim.CutPowerAfterCall(30);
  RunSilent();
  ASSERT_TRUE(sim.powerWasCut());
  for (const char* ending : {"after a power cut", "after status 1", "after status 0"}) {
    sim.StartAnotherRun();
    if (std::string(ending) == "after status 1") {
      sim.Fail(Op::CopyFileA, "D:\\WIN98\\kt418.sys");
      EXPECT_EQ(1u, RunSilent());
    } else {
      EXPECT_EQ(0u, RunSilent()) << ending;
    }
  }
}

TEST_F(SetupRun, WithNoOtherSetupHoldingTheNameTheSetupRuns) {
  for (const char* what : {"the name cannot be claimed", "a new name leaves the last error"}) {
    SimulatedSystem fresh;
    BuildTypicalMachine(fresh, Windows::kMe);
    if (std::string(what) == "the name cannot be claimed") {
      fresh.Fail(Op::CreateMutexA);
    } else {
      // Windows 9x may leave the code the start-up left, whatever it was.
      fresh.SetNewMutexLastError(SimulatedSystem::NewMutexLastError::kLeftAsItWas,
                                 kErrorAlreadyExists);
    }
    EXPECT_EQ(0u, RunSetupWith(fresh, {"-s"})) << what;
    EXPECT_TRUE(fresh.FileExists("C:\\WINDOWS\\System32\\Drivers\\kt418.sys")) << what;
  }
}

// A reinstall from the disc: every file on a CD is read-only, and so is each
// copy taken from it.
TEST(SecondRun, TwoRunsInARowFromACdBothCompleteAndLeaveNothingStaged) {
  for (Windows windows : {Windows::k98, Windows::kMe}) {
    for (bool silent : {true, false}) {
      SimulatedSystem sim;
      BuildTypicalMachine(sim, windows);
      sim.MakeTreeReadOnly("D:\\");
      std::string what = std::string(windows == Windows::kMe ? "Me" : "98") +
                         (silent ? ", silent" : ", interactive");
      for (int run = 1; run <= 2; ++run) {
        sim.StartAnotherRun();
        sim.AnswerNextBox(kIdYes);
        sim.AnswerNextBox(kIdNo);
        RunFacts facts = FactsOfMachine(sim, "D:\\WIN98", "C:\\WINDOWS");
        uint32_t status =
            RunSetupWith(sim, silent ? std::vector<std::string>{"-s"} : std::vector<std::string>{});
        for (const std::string& rule :
             BrokenRecoveryRules(sim, facts, windows == Windows::kMe, status)) {
          ADD_FAILURE() << what << ", run " << run << ": " << rule << "\n" << sim.Dump();
        }
        EXPECT_EQ(silent ? 0u : 2u, sim.boxes().size()) << what << ", run " << run;
        EXPECT_EQ(kFileAttributeReadOnly,
                  sim.FileAttributes("C:\\WINDOWS\\System32\\Drivers\\kt418.sys"))
            << what << ": a file placed from a CD keeps the attributes the copy gives it";
      }
    }
  }
}

}  // namespace
