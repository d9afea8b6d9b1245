#include "steps/files/driver_files.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/typical_machine.h"

namespace {

using DriverFiles = SetupTest;

const char kDriver[] = "C:\\WINDOWS\\System32\\Drivers\\kt418.sys";

// One row's source missing from the media, in each run mode.
struct MissingSourceCase {
  const char* source;
  bool silent;
  uint32_t status;
  const char* caption;  // nullptr: no box
  bool laterRowsPlaced;
};

TEST_F(DriverFiles, AMissingSourceFollowsItsRowsPolicy) {
  const MissingSourceCase cases[] = {
      {"kt418.sys", false, 1, "Error!!!", false},     {"kt418.sys", true, 1, nullptr, false},
      {"kt418.inf", false, 1, "Error!!!", false},     {"kt418.inf", true, 1, nullptr, false},
      {"kt418.cat", false, 9, "Warning!!!", true},    {"kt418.cat", true, 9, nullptr, true},
      {"kt418Hub.cat", false, 9, "Warning!!!", true}, {"unPlug.exe", false, 9, "Warning!!!", true},
      {"rdWatch.exe", false, 9, "Warning!!!", true},  {"rdWatch.exe", true, 9, nullptr, true},
      {"kt418Hub.inf", false, 9, "Error!!!", true},   {"kt418Hub.inf", true, 9, nullptr, true},
  };
  for (const MissingSourceCase& c : cases) {
    SimulatedSystem fresh;
    BuildTypicalMachine(fresh, Windows::kMe);
    fresh.Fail(Op::CopyFileA, std::string("D:\\WIN98\\") + c.source);
    fresh.AnswerNextBox(kIdYes);
    std::string what = std::string(c.source) + (c.silent ? " silent" : " interactive");

    EXPECT_EQ(c.status, RunSetupWith(fresh, c.silent ? std::vector<std::string>{"-s"}
                                                     : std::vector<std::string>{}))
        << what;
    std::vector<SimulatedSystem::Box> failures;
    for (const auto& box : fresh.boxes()) {
      if (box.text.compare(0, 9, "Copy file") == 0) failures.push_back(box);
    }
    if (c.caption == nullptr) {
      EXPECT_TRUE(failures.empty()) << what;
      continue;
    }
    ASSERT_EQ(1u, failures.size()) << what;
    EXPECT_EQ(c.caption, failures[0].caption) << what;
    EXPECT_EQ(kMbOk, failures[0].type) << what;
    EXPECT_EQ(c.laterRowsPlaced, fresh.FileExists("C:\\WINDOWS\\system\\unPlug.exe") ||
                                     std::string(c.source) == "unPlug.exe")
        << what;
  }
}

TEST_F(DriverFiles, TheFailureBoxNamesTheSourceAndTargetWhole) {
  sim.Fail(Op::CopyFileA, "D:\\WIN98\\kt418.inf");
  sim.AnswerNextBox(kIdYes);
  Run();
  ASSERT_EQ(2u, sim.boxes().size());
  EXPECT_EQ("Copy file \"D:\\WIN98\\kt418.inf\" to \"C:\\WINDOWS\\inf\\kt418.inf\" failed\n",
            sim.boxes()[1].text);
}

TEST_F(DriverFiles, AnAbortEndsTheRunBeforeAnyLaterStep) {
  sim.Fail(Op::CopyFileA, "D:\\WIN98\\kt418.sys");
  EXPECT_EQ(1u, RunSilent());
  EXPECT_EQ(Op::ExitProcess, sim.calls().back().op);
  EXPECT_FALSE(sim.FileExists("C:\\WINDOWS\\inf\\kt418.inf"));
}

TEST_F(DriverFiles, AFailedCopyLeavesTheEarlierDriverInPlace) {
  sim.AddFile(kDriver, "earlier driver", kFileAttributeReadOnly);
  sim.Fail(Op::CopyFileA, "D:\\WIN98\\kt418.sys");
  EXPECT_EQ(1u, RunSilent());
  EXPECT_EQ("earlier driver", sim.FileContent(kDriver));
  EXPECT_FALSE(sim.FileExists(std::string(kDriver) + ".old"));
}

TEST_F(DriverFiles, AReadOnlyEarlierDriverIsReplaced) {
  sim.AddFile(kDriver, "earlier driver", kFileAttributeReadOnly);
  EXPECT_EQ(0u, RunSilent());
  EXPECT_EQ(MediaContent("kt418.sys"), sim.FileContent(kDriver));
  EXPECT_FALSE(sim.FileExists(std::string(kDriver) + ".old"));
}

TEST_F(DriverFiles, AnAbsentTargetIsDeletedAndCopiedWithoutAnAttributeChange) {
  RunSilent();
  std::vector<std::string> calls = sim.CallTexts();
  auto first = std::find(calls.begin(), calls.end(), FirstCall(sim, Op::GetFileAttributesA));
  ASSERT_LE(6, calls.end() - first);
  std::vector<std::string> firstRow(first, first + 6);
  EXPECT_EQ((std::vector<std::string>{
                "GetFileAttributesA(C:\\WINDOWS\\System32\\Drivers\\kt418.sys) = 0xFFFFFFFF",
                "GetLastError() = 2",
                "DeleteFileA(C:\\WINDOWS\\System32\\Drivers\\kt418.sys) = 0",
                "GetFileAttributesA(C:\\WINDOWS\\System32\\Drivers\\kt418.sys.old) = 0xFFFFFFFF",
                "GetLastError() = 2",
                "CopyFileA(D:\\WIN98\\kt418.sys, C:\\WINDOWS\\System32\\Drivers\\kt418.sys, 0) = 1",
            }),
            firstRow);
}

TEST_F(DriverFiles, AnEarlierFileThatCannotBeSetAsideIsCopiedOverInPlace) {
  sim.AddFile(kDriver, "earlier driver");
  sim.Fail(Op::MoveFileA);
  EXPECT_EQ(0u, RunSilent());
  EXPECT_EQ(MediaContent("kt418.sys"), sim.FileContent(kDriver));
}

TEST_F(DriverFiles, AnEarlierFileThatCannotBeSetAsideSurvivesAFailedCopy) {
  sim.AddFile(kDriver, "earlier driver");
  sim.Fail(Op::MoveFileA);
  sim.Fail(Op::CopyFileA, "D:\\WIN98\\kt418.sys");
  EXPECT_EQ(1u, RunSilent());
  EXPECT_EQ("earlier driver", sim.FileContent(kDriver));
  for (const auto& call : sim.calls()) {
    EXPECT_NE("DeleteFileA(C:\\WINDOWS\\System32\\Drivers\\kt418.sys) = 1", call.text);
  }
}

TEST_F(DriverFiles, AnEarlierFileThatCanBeNeitherSetAsideNorDeletedStillGetsACopyTry) {
  sim.AddFile(kDriver, "earlier driver");
  sim.Fail(Op::MoveFileA);
  sim.Fail(Op::DeleteFileA, kDriver);
  sim.AnswerNextBox(kIdYes);
  EXPECT_EQ(0u, Run());
  // The copy replaces a writable file even when it could not be deleted.
  EXPECT_EQ(MediaContent("kt418.sys"), sim.FileContent(kDriver));
}

// A run cut short leaves the earlier file set aside, beside the target or in
// its place; the next run keeps whichever is the earlier file and leaves no
// set-aside file.
TEST_F(DriverFiles, ASetAsideFileLeftByAnInterruptedRunIsClearedOrTakenForTheEarlierFile) {
  struct Case {
    const char* what;
    const char* target;  // nullptr: none
    uint32_t setAsideAttributes;
    bool copyFails;
    const char* expected;  // at the target afterwards
  } cases[] = {
      {"beside the target, read-only", "earlier driver", kFileAttributeReadOnly, true,
       "earlier driver"},
      {"in the target's place", nullptr, kFileAttributeNormal, false, "new kt418.sys"},
      {"in the target's place, copy failing", nullptr, kFileAttributeNormal, true,
       "set aside driver"},
  };
  for (const Case& c : cases) {
    SimulatedSystem fresh;
    BuildTypicalMachine(fresh, Windows::kMe);
    if (c.target != nullptr) fresh.AddFile(kDriver, c.target);
    fresh.AddFile(std::string(kDriver) + ".old", "set aside driver", c.setAsideAttributes);
    if (c.copyFails) fresh.Fail(Op::CopyFileA, "D:\\WIN98\\kt418.sys");
    EXPECT_EQ(c.copyFails ? 1u : 0u, RunSetupWith(fresh, {"-s"})) << c.what;
    EXPECT_EQ(c.expected, fresh.FileContent(kDriver)) << c.what;
    EXPECT_FALSE(fresh.FileExists(std::string(kDriver) + ".old")) << c.what;
  }
}

// A folder of the user's at a target's name, or at a database file's, is not a file: it is
// neither renamed nor emptied, and the row's policy answers the failed copy.
TEST_F(DriverFiles, ADirectoryAtATargetsNameIsNeitherRenamedNorReplaced) {
  struct Case {
    const char* target;
    uint32_t status;
  } cases[] = {{"System32\\Drivers\\kt418.sys", 1}, {"inf\\kt418.cat", 9}, {"inf\\drvidx.bin", 0}};
  for (const Case& c : cases) {
    SimulatedSystem fresh;
    BuildTypicalMachine(fresh, Windows::kMe);
    std::string folder = std::string("C:\\WINDOWS\\") + c.target;
    fresh.AddFile(folder + "\\notes.txt", "the user's");
    EXPECT_EQ(c.status, RunSetupWith(fresh, {"-s"})) << c.target;
    EXPECT_EQ("the user's", fresh.FileContent(folder + "\\notes.txt")) << c.target;
    EXPECT_EQ(kInvalidFileAttributes, fresh.FileAttributes(folder + ".old")) << c.target;
    EXPECT_FALSE(fresh.DirectoryExists(folder + ".old")) << c.target;
    for (const auto& call : fresh.calls()) {
      bool touches = call.op == Op::SetFileAttributesA || call.op == Op::DeleteFileA ||
                     call.op == Op::MoveFileA;
      EXPECT_FALSE(touches && call.paths[0] == folder) << call.text;
    }
  }
}

TEST_F(DriverFiles, AFailedAttributeChangeWarnsAndTheCopyGoesOn) {
  sim.AddFile("C:\\WINDOWS\\inf\\kt418.cat", "earlier catalog");
  sim.Fail(Op::SetFileAttributesA, "C:\\WINDOWS\\inf\\kt418.cat");
  sim.AnswerNextBox(kIdYes);
  sim.AnswerNextBox(kIdNo);
  EXPECT_EQ(0u, Run());
  ASSERT_EQ(3u, sim.boxes().size()) << "welcome, the warning, the restart offer";
  EXPECT_EQ("Vantrel USB Smart Card Reader Setup Utility", sim.boxes()[1].caption);
  EXPECT_EQ("Warning!!!   Change file \"C:\\WINDOWS\\inf\\kt418.cat\" attribute failed!",
            sim.boxes()[1].text);
  EXPECT_EQ(MediaContent("kt418.cat"), sim.FileContent("C:\\WINDOWS\\inf\\kt418.cat"));
}

TEST_F(DriverFiles, AMissingDriversDirectoryFailsTheFirstRow) {
  SimulatedSystem bare;
  bare.SetCurrentDirectory("D:\\WIN98");
  bare.AddDirectory("C:\\WINDOWS\\inf");
  bare.AddFile("D:\\WIN98\\kt418.sys", "driver");
  bare.AnswerNextBox(kIdYes);
  EXPECT_EQ(1u, RunSetupWith(bare, {}));
  ASSERT_EQ(2u, bare.boxes().size());
  EXPECT_EQ("Error!!!", bare.boxes()[1].caption);
  EXPECT_FALSE(bare.DirectoryExists("C:\\WINDOWS\\System32"));
}

TEST_F(DriverFiles, TheSourceFileIsNeverTouched) {
  sim.AddFile("D:\\WIN98\\kt418.sys", "driver", kFileAttributeReadOnly);
  RunSilent();
  for (const auto& call : sim.calls()) {
    if (call.op == Op::SetFileAttributesA || call.op == Op::DeleteFileA ||
        call.op == Op::MoveFileA) {
      EXPECT_EQ(std::string::npos, call.text.find("D:\\")) << call.text;
    }
  }
  EXPECT_EQ(kFileAttributeReadOnly, sim.FileAttributes("D:\\WIN98\\kt418.sys"));
}

}  // namespace
