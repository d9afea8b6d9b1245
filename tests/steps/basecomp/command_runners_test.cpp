#include "steps/basecomp/command_runners.h"

#include <gtest/gtest.h>

#include "support/typical_machine.h"

namespace {

// A machine with three programs: one that ends with 0, one that ends with 1,
// and one that cannot be started.
void BuildRunnerMachine(SimulatedSystem& sim) {
  sim.SetCurrentDirectory("D:\\WIN98");
  SimulatedSystem::Program fails;
  fails.exitStatus = 1;
  sim.AddProgram("C:\\TOOLS\\FAILS.EXE", fails);
  sim.AddProgram("C:\\TOOLS\\WORKS.EXE", SimulatedSystem::Program());
  SimulatedSystem::Program broken;
  broken.failsToStart = true;
  sim.AddProgram("C:\\TOOLS\\BROKEN.EXE", broken);
}

using Runner = void (*)(const RunContext&, const ByteString&);

// Runs one runner and then a marker call, and returns the process status.
uint32_t RunThenMark(SimulatedSystem& sim, Runner runner, const char* command) {
  return sim.Run([&] {
    RunContext run{sim, SetupState()};
    runner(run, command);
    sim.GetFileAttributesA("C:\\marker");
    return 0u;
  });
}

bool MarkerReached(const SimulatedSystem& sim) {
  return !sim.calls().empty() && sim.calls().back().op == Op::GetFileAttributesA;
}

class CommandRunners : public ::testing::Test {
 protected:
  void SetUp() override { BuildRunnerMachine(sim); }
  void TearDown() override {
    if (HasFailure()) printf("%s", sim.Dump().c_str());
  }
  SimulatedSystem sim;
};

TEST_F(CommandRunners, AChildEndingWithZeroHasBothHandlesClosedInOrder) {
  EXPECT_EQ(0u, RunThenMark(sim, RunAndWait, "C:\\TOOLS\\WORKS.EXE /x"));
  std::vector<std::string> calls = sim.CallTexts();
  ExpectCalls(
      {
          "GetStdHandle(0xFFFFFFF6) = 0x101",
          "GetStdHandle(0xFFFFFFF5) = 0x102",
          "GetStdHandle(0xFFFFFFF4) = 0x103",
          "CreateProcessA(C:\\TOOLS\\WORKS.EXE /x, inherit 0, flags 0x8000000, cb 68, startf "
          "0x100, show 0, std 0x101 0x102 0x103) = 1",
          "WaitForSingleObject(0x2000, 0xFFFFFFFF) = 0x0",
          "GetExitCodeProcess(0x2000) = 1, status 0",
          "CloseHandle(0x2000) = 1",
          "CloseHandle(0x2001) = 1",
          "GetFileAttributesA(C:\\marker) = 0xFFFFFFFF",
      },
      calls);
  EXPECT_EQ(0, sim.openHandleCount());
}

void FailEveryStart(SimulatedSystem& sim) { sim.Fail(Op::CreateProcessA); }
void FailStatusQuery(SimulatedSystem& sim) { sim.Fail(Op::GetExitCodeProcess); }
void RefuseNoWindowFlag(SimulatedSystem& sim) {
  sim.SetNoWindowFlag(SimulatedSystem::NoWindowFlag::kRefused);
}
void RefuseNoWindowFlagOnNt(SimulatedSystem& sim) {
  sim.SetVersion(2, 5, 1);
  sim.Fail(Op::CreateProcessA, "C:\\TOOLS\\WORKS.EXE");
}

TEST_F(CommandRunners, WaitedForChildrenEndTheSetupUnlessTheyRunAndEndWithZero) {
  struct Case {
    const char* what;
    const char* command;
    void (*arrange)(SimulatedSystem&);
    uint32_t status;
    bool goesOn;
  } cases[] = {
      {"ends with 0", "C:\\TOOLS\\WORKS.EXE", nullptr, 0, true},
      {"ends with 1", "C:\\TOOLS\\FAILS.EXE", nullptr, 3, false},
      {"status unreadable", "C:\\TOOLS\\WORKS.EXE", FailStatusQuery, 3, false},
      {"no such program", "C:\\TOOLS\\ABSENT.EXE", nullptr, 3, false},
      {"cannot start", "C:\\TOOLS\\BROKEN.EXE", nullptr, 3, false},
      {"every start refused", "C:\\TOOLS\\WORKS.EXE", FailEveryStart, 3, false},
      {"Windows 9x refuses the no-window flag, the plain start runs", "C:\\TOOLS\\WORKS.EXE",
       RefuseNoWindowFlag, 0, true},
      {"Windows NT refuses a start: no second try", "C:\\TOOLS\\WORKS.EXE", RefuseNoWindowFlagOnNt,
       3, false},
  };
  for (const Case& c : cases) {
    SimulatedSystem fresh;
    BuildRunnerMachine(fresh);
    if (c.arrange != nullptr) c.arrange(fresh);
    EXPECT_EQ(c.status, RunThenMark(fresh, RunAndWait, c.command)) << c.what;
    EXPECT_EQ(c.goesOn, MarkerReached(fresh)) << c.what;
  }
}

TEST_F(CommandRunners, ARefusedNoWindowStartIsTriedOnceMoreWithTheSameRecordAndNoFlags) {
  sim.SetNoWindowFlag(SimulatedSystem::NoWindowFlag::kRefused);
  EXPECT_EQ(0u, RunThenMark(sim, RunAndWait, "C:\\TOOLS\\WORKS.EXE /x"));
  std::vector<std::string> calls = sim.CallTexts();
  ASSERT_LE(6u, calls.size());
  ExpectCalls(
      {
          "CreateProcessA(C:\\TOOLS\\WORKS.EXE /x, inherit 0, flags 0x8000000, cb 68, startf "
          "0x100, show 0, std 0x101 0x102 0x103) = 0",
          "GetVersionExA(148) = 1",
          "CreateProcessA(C:\\TOOLS\\WORKS.EXE /x, inherit 0, flags 0x0, cb 68, startf 0x100, "
          "show 0, std 0x101 0x102 0x103) = 1",
      },
      std::vector<std::string>(calls.begin() + 3, calls.begin() + 6));
}

TEST_F(CommandRunners, HiddenWaitedForChildrenNeverEndTheSetup) {
  for (const char* command : {"C:\\TOOLS\\FAILS.EXE", "C:\\TOOLS\\BROKEN.EXE", "nothing"}) {
    EXPECT_EQ(0u, RunThenMark(sim, RunHiddenAndWait, command)) << command;
    EXPECT_TRUE(MarkerReached(sim)) << command;
  }
  EXPECT_EQ(0, sim.openHandleCount());
  EXPECT_NE(std::string::npos, sim.calls()[0].text.find("startf 0x1, show 0, std 0x0 0x0 0x0"))
      << sim.calls()[0].text;
}

TEST_F(CommandRunners, DetachedCommandsStartHiddenAndFailuresPassUnseen) {
  EXPECT_EQ(0u, RunThenMark(sim, RunDetached, "del C:\\WINDOWS\\temp\\scbase.exe"));
  EXPECT_EQ("WinExec(del C:\\WINDOWS\\temp\\scbase.exe, 0) = 2", sim.calls()[0].text)
      << "del is no program, so it cannot start";
  EXPECT_TRUE(MarkerReached(sim));
}

}  // namespace
