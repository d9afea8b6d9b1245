#include <gtest/gtest.h>

#include "steps/registry/registry_values.h"
#include "support/typical_machine.h"

namespace {

std::string Bytes(const ByteString& data) { return std::string(data.c_str(), data.size()); }

TEST(FixedLengthStringData, PadsToTheLengthOrKeepsALongerTextWhole) {
  struct Case {
    std::string text;
    uint32_t length;
    size_t expectedSize;
  } cases[] = {
      {"C:\\WINDOWS\\inf", 260, 260},
      {std::string(255, 'x'), 256, 256},
      {std::string(256, 'x'), 256, 257},
      {std::string(300, 'x'), 256, 301},
      {"", 4, 4},
  };
  for (const Case& c : cases) {
    std::string data = Bytes(FixedLengthStringData(ByteString(c.text.c_str()), c.length));
    EXPECT_EQ(c.expectedSize, data.size()) << c.text.size() << " bytes into " << c.length;
    EXPECT_EQ(c.text + std::string(c.expectedSize - c.text.size(), '\0'), data);
  }
}

using Registry = SetupTest;

const SimulatedSystem::Value& ValueOrFail(const SimulatedSystem& sim, const std::string& key,
                                          const std::string& name) {
  static const SimulatedSystem::Value kMissing{0, "(missing)"};
  const SimulatedSystem::Value* value = sim.FindValue(key, name);
  return value == nullptr ? kMissing : *value;
}

TEST_F(Registry, SourcePathAndRDWatchAreStoredWithTheirFixedLengths) {
  EXPECT_EQ(0u, RunSilent());
  const auto& sourcePath = ValueOrFail(sim, kSetupKey, "SourcePath");
  EXPECT_EQ(kRegSz, sourcePath.type);
  EXPECT_EQ(std::string("C:\\WINDOWS\\inf") + std::string(260 - 14, '\0'), sourcePath.data);
  const auto& monitor = ValueOrFail(sim, kRunServicesOnceKey, "RDWatch");
  EXPECT_EQ(kRegSz, monitor.type);
  EXPECT_EQ(std::string("C:\\WINDOWS\\system\\rdWatch.exe") + std::string(256 - 29, '\0'),
            monitor.data);
}

TEST_F(Registry, AMonitorPathTooLongForItsFixedLengthIsWrittenWhole) {
  std::string windows = "C:\\" + std::string(250, 'w');
  sim.SetWindowsDirectory(windows);
  for (const char* dir : {"\\System32\\Drivers", "\\inf", "\\system", "\\temp"}) {
    sim.AddDirectory(windows + dir);
  }
  EXPECT_EQ(0u, RunSilent());
  std::string monitor = windows + "\\system\\rdWatch.exe";
  EXPECT_EQ(monitor + '\0', ValueOrFail(sim, kRunServicesOnceKey, "RDWatch").data);
  EXPECT_EQ(260u, ValueOrFail(sim, kSetupKey, "SourcePath").data.size());
}

TEST_F(Registry, TheHubDeviceEntriesAreDeletedOnWindowsMeOnly) {
  struct Case {
    uint32_t platform, minor;
    bool hubDeleted;
  } cases[] = {{1, 90, true}, {1, 10, false}, {1, 0, false}, {0, 90, false}};
  for (const Case& c : cases) {
    SimulatedSystem fresh;
    BuildTypicalMachine(fresh, Windows::kMe);
    fresh.SetVersion(c.platform, 4, c.minor);
    EXPECT_EQ(0u, RunSetupWith(fresh, {"-s"}));
    std::string what =
        "platform " + std::to_string(c.platform) + " minor " + std::to_string(c.minor);
    EXPECT_FALSE(fresh.KeyExists(std::string(kUsbKey) + "\\VID_1E2D&PID_4182")) << what;
    EXPECT_EQ(c.hubDeleted, !fresh.KeyExists(std::string(kUsbKey) + "\\VID_1E2D&PID_4181")) << what;
  }
}

TEST(RegistryWithoutKeys, AbsentKeysAreNeitherCreatedNorUsedAndTheRunGoesOn) {
  SimulatedSystem sim;
  sim.SetVersion(1, 4, 10);
  sim.SetCurrentDirectory("D:\\WIN98");
  for (const char* dir : {"C:\\WINDOWS\\System32\\Drivers", "C:\\WINDOWS\\inf",
                          "C:\\WINDOWS\\system", "C:\\WINDOWS\\temp"}) {
    sim.AddDirectory(dir);
  }
  for (const auto& file : kPackageFiles) sim.AddFile("D:\\WIN98\\" + file.first, "f");
  sim.AddFile("D:\\SETUP.EXE", "the setup");
  sim.AddProgram("D:\\SCard98\\scbase.exe", SimulatedSystem::ExtractionPackage("scbase", 0));
  sim.AddProgram("D:\\SCard98\\smclib.exe", SimulatedSystem::ExtractionPackage("smclib", 0));
  sim.AnswerNextBox(kIdYes);
  sim.AnswerNextBox(kIdNo);

  EXPECT_EQ(10u, RunSetupWith(sim, {})) << "the monitor is not entered for the next start";
  EXPECT_FALSE(sim.KeyExists(kSetupKey));
  EXPECT_FALSE(sim.KeyExists(kUsbKey));
  EXPECT_FALSE(sim.KeyExists(kRunServicesOnceKey));
  EXPECT_EQ(2u, sim.boxes().size()) << "the restart offer still follows";
  int closes = 0;
  for (const auto& call : sim.calls()) {
    EXPECT_NE(Op::RegDeleteKeyA, call.op) << call.text;
    if (call.op == Op::RegSetValueExA) {
      EXPECT_TRUE(call.text.find("SCardSvr") != std::string::npos ||
                  call.text.find("Uninstall") != std::string::npos)
          << "only the service key and the removal entry: " << call.text;
    }
    closes += call.op == Op::RegCloseKey;
  }
  EXPECT_EQ(2, closes)
      << "only the service key and the removal entry, which are created, are closed";
  EXPECT_EQ(0, sim.openKeyCount());
}

TEST_F(Registry, TheServiceKeyIsCreatedWithExactlyStartAndDrvLoad) {
  EXPECT_EQ(0u, RunSilent());
  EXPECT_EQ((std::vector<std::string>{"DrvLoad", "Start"}), sim.ValueNames(kServiceKey));
  EXPECT_EQ(std::string("\x02\0\0\0", 4), ValueOrFail(sim, kServiceKey, "Start").data);
  EXPECT_EQ(kRegDword, ValueOrFail(sim, kServiceKey, "Start").type);
  EXPECT_EQ(std::string(4, '\0'), ValueOrFail(sim, kServiceKey, "DrvLoad").data);
}

TEST_F(Registry, AnExistingServiceKeyGetsStartTwoAndKeepsItsOtherValues) {
  sim.SetValue(kServiceKey, "Start", kRegDword, std::string("\x03\0\0\0", 4));
  sim.SetValue(kServiceKey, "DisplayName", kRegSz, std::string("Smart Card\0", 11));
  EXPECT_EQ(0u, RunSilent());
  EXPECT_EQ(std::string("\x02\0\0\0", 4), ValueOrFail(sim, kServiceKey, "Start").data);
  EXPECT_EQ(std::string("Smart Card\0", 11), ValueOrFail(sim, kServiceKey, "DisplayName").data);
}

TEST_F(Registry, DrvLoadIsWrittenEvenWhenStartCannotBe) {
  sim.Fail(Op::RegSetValueExA, std::string(kServiceKey) + "\\Start");
  EXPECT_EQ(0u, RunSilent());
  EXPECT_EQ(nullptr, sim.FindValue(kServiceKey, "Start"));
  EXPECT_NE(nullptr, sim.FindValue(kServiceKey, "DrvLoad"));
}

TEST_F(Registry, TheRestartIsRequestedOnlyAfterYesInAnInteractiveRun) {
  struct Case {
    bool silent;
    int answer;
    size_t boxes;
    size_t restarts;
  } cases[] = {
      {false, kIdYes, 2, 1}, {false, kIdNo, 2, 0}, {false, 0, 2, 0},
      {false, 2, 2, 0},      {true, kIdYes, 0, 0},
  };
  for (const Case& c : cases) {
    SimulatedSystem fresh;
    BuildTypicalMachine(fresh, Windows::k98);
    if (!c.silent) fresh.AnswerNextBox(kIdYes);
    fresh.AnswerNextBox(c.answer);
    std::string what =
        std::string(c.silent ? "silent" : "interactive") + " answer " + std::to_string(c.answer);
    EXPECT_EQ(0u, RunSetupWith(fresh, c.silent ? std::vector<std::string>{"-S"}
                                               : std::vector<std::string>{}))
        << what;
    EXPECT_EQ(c.boxes, fresh.boxes().size()) << what;
    EXPECT_EQ(c.restarts, fresh.restartRequests().size()) << what;
    EXPECT_NE(nullptr, fresh.FindValue(kRunServicesOnceKey, "RDWatch")) << what;
  }
}

TEST_F(Registry, TheMonitorIsRegisteredEvenWhenItCouldNotBeCopied) {
  sim.Fail(Op::CopyFileA, "D:\\WIN98\\rdWatch.exe");
  EXPECT_EQ(9u, RunSilent()) << "a file of the package is not placed";
  EXPECT_FALSE(sim.FileExists("C:\\WINDOWS\\system\\rdWatch.exe"));
  EXPECT_NE(nullptr, sim.FindValue(kRunServicesOnceKey, "RDWatch"));
}

TEST_F(Registry, ADatabaseFileWhoseAttributesCannotChangeIsReportedInInteractiveRunsOnly) {
  for (bool silent : {false, true}) {
    SimulatedSystem fresh;
    BuildTypicalMachine(fresh, Windows::kMe);
    fresh.AddFile("C:\\WINDOWS\\inf\\drvidx.bin", "index", kFileAttributeReadOnly);
    fresh.Fail(Op::SetFileAttributesA, "C:\\WINDOWS\\inf\\drvidx.bin");
    fresh.AnswerNextBox(kIdYes);
    fresh.AnswerNextBox(kIdYes);
    EXPECT_EQ(0u, RunSetupWith(
                      fresh, silent ? std::vector<std::string>{"-s"} : std::vector<std::string>{}));
    size_t warnings = 0;
    for (const auto& box : fresh.boxes()) {
      warnings += box.text ==
                  "Warning!!!   Change file \"C:\\WINDOWS\\inf\\drvidx.bin\" "
                  "attribute failed!";
    }
    EXPECT_EQ(silent ? 0u : 1u, warnings);
    EXPECT_TRUE(fresh.FileExists("C:\\WINDOWS\\inf\\drvidx.bin")) << "read-only, not removed";
    EXPECT_NE(nullptr, fresh.FindValue(kSetupKey, "SourcePath")) << "the reset goes on";
  }
}

}  // namespace
