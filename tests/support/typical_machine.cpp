#include "support/typical_machine.h"

#include "runs/front_door.h"

const char kSetupKey[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Setup";
const char kUsbKey[] = "HKLM\\Enum\\USB";
const char kServiceKey[] = "HKLM\\System\\CurrentControlSet\\Services\\SCardSvr";

std::string MediaContent(const std::string& name) { return "new " + name; }

void BuildTypicalMachine(SimulatedSystem& sim, Windows windows) {
  sim.SetVersion(1, 4, windows == Windows::kMe ? 90 : 10);
  sim.SetCurrentDirectory("D:\\WIN98");
  sim.SetModulePath("D:\\WIN98\\SETUP.EXE");
  sim.AddFile("D:\\WIN98\\SETUP.EXE", "the setup");
  sim.SetWindowsDirectory("C:\\WINDOWS");
  for (const char* dir : {"C:\\WINDOWS\\System32\\Drivers", "C:\\WINDOWS\\inf",
                          "C:\\WINDOWS\\system", "C:\\WINDOWS\\temp", "C:\\WINDOWS\\COMMAND"}) {
    sim.AddDirectory(dir);
  }
  for (const auto& file : kPackageFiles) {
    sim.AddFile("D:\\WIN98\\" + file.first, MediaContent(file.first));
  }
  sim.AddFile("D:\\WIN98\\kt418Hub.inf", MediaContent("kt418Hub.inf"));
  sim.AddProgram("D:\\SCard98\\scbase.exe", SimulatedSystem::ExtractionPackage("scbase", 0));
  sim.AddProgram("D:\\SCard98\\smclib.exe", SimulatedSystem::ExtractionPackage("smclib", 0));
  SimulatedSystem::Program deltree;
  deltree.deletesTrees = true;
  sim.AddProgram("C:\\WINDOWS\\COMMAND\\DELTREE.EXE", deltree);

  sim.AddKey(kSetupKey);
  sim.AddKey(kRunServicesOnceKey);
  sim.AddKey("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
  sim.AddKey("HKLM\\System\\CurrentControlSet\\Services");
  sim.SetValue(std::string(kUsbKey) + "\\VID_1E2D&PID_4182\\5&1A2B&0&1", "Driver", kRegSz,
               std::string("USB\\0000\0", 10));
  sim.SetValue(std::string(kUsbKey) + "\\VID_1E2D&PID_4181\\5&1A2B&0&2", "Driver", kRegSz,
               std::string("USB\\0001\0", 10));
}

uint32_t RunSetupWith(SimulatedSystem& sim, const std::vector<std::string>& arguments) {
  std::vector<const char*> argv = {"D:\\WIN98\\SETUP.EXE"};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  return sim.Run([&] { return RunSetup(static_cast<int>(argv.size()), argv.data(), sim); });
}

void ExpectCalls(const std::vector<std::string>& expected, const std::vector<std::string>& actual) {
  for (size_t i = 0; i < expected.size() && i < actual.size(); ++i) {
    if (expected[i] != actual[i]) {
      ADD_FAILURE() << "call " << i << " differs\n  expected: " << expected[i]
                    << "\n  actual:   " << actual[i];
      return;
    }
  }
  EXPECT_EQ(expected.size(), actual.size()) << "the logs agree up to the shorter one's end";
}

std::string FirstCall(const SimulatedSystem& sim, Op op) {
  for (const auto& call : sim.calls()) {
    if (call.op == op) return call.text;
  }
  return "";
}
