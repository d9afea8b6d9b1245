// A whole interactive run on a typical Windows Me machine, call by call: the
// order of the steps is what makes the reader come up with its new driver.
#include <gtest/gtest.h>

#include "support/typical_machine.h"

namespace {

using TypicalRun = SetupTest;

TEST_F(TypicalRun, InteractiveRunOnWindowsMeMakesTheseCallsInThisOrder) {
  sim.AnswerNextBox(kIdYes);
  sim.AnswerNextBox(kIdYes);
  EXPECT_EQ(0u, Run());
  const std::vector<std::string> expected = {
      "GetVersionExA(148) = 1",
      "SetLastError(0) = ",
      "CreateMutexA(Vantrel USB Smart Card Reader Setup) = 0x3000",
      "GetLastError() = 0",
      "MessageBoxA(Vantrel USB Smart Card Reader Setup Utility, \"This program will install the "
      "driver of Vantrel USB Smart Card Reader\\n\", 4) = 6",
      "GetCurrentDirectoryA(256) = 8",
      "CharPrevA(D:\\WIN98, 8) = 7",
      "GetWindowsDirectoryA(256) = 10",
      "GetFileAttributesA(C:\\WINDOWS\\System32\\Drivers\\kt418.sys) = 0xFFFFFFFF",
      "GetLastError() = 2",
      "DeleteFileA(C:\\WINDOWS\\System32\\Drivers\\kt418.sys) = 0",
      "GetFileAttributesA(C:\\WINDOWS\\System32\\Drivers\\kt418.sys.old) = 0xFFFFFFFF",
      "GetLastError() = 2",
      "CopyFileA(D:\\WIN98\\kt418.sys, C:\\WINDOWS\\System32\\Drivers\\kt418.sys, 0) = 1",
      "GetFileAttributesA(C:\\WINDOWS\\inf\\kt418.inf) = 0xFFFFFFFF",
      "GetLastError() = 2",
      "DeleteFileA(C:\\WINDOWS\\inf\\kt418.inf) = 0",
      "GetFileAttributesA(C:\\WINDOWS\\inf\\kt418.inf.old) = 0xFFFFFFFF",
      "GetLastError() = 2",
      "CopyFileA(D:\\WIN98\\kt418.inf, C:\\WINDOWS\\inf\\kt418.inf, 0) = 1",
      "GetFileAttributesA(C:\\WINDOWS\\inf\\kt418.cat) = 0xFFFFFFFF",
      "GetLastError() = 2",
      "DeleteFileA(C:\\WINDOWS\\inf\\kt418.cat) = 0",
      "GetFileAttributesA(C:\\WINDOWS\\inf\\kt418.cat.old) = 0xFFFFFFFF",
      "GetLastError() = 2",
      "CopyFileA(D:\\WIN98\\kt418.cat, C:\\WINDOWS\\inf\\kt418.cat, 0) = 1",
      "GetFileAttributesA(C:\\WINDOWS\\inf\\kt418Hub.cat) = 0xFFFFFFFF",
      "GetLastError() = 2",
      "DeleteFileA(C:\\WINDOWS\\inf\\kt418Hub.cat) = 0",
      "GetFileAttributesA(C:\\WINDOWS\\inf\\kt418Hub.cat.old) = 0xFFFFFFFF",
      "GetLastError() = 2",
      "CopyFileA(D:\\WIN98\\kt418Hub.cat, C:\\WINDOWS\\inf\\kt418Hub.cat, 0) = 1",
      "GetFileAttributesA(C:\\WINDOWS\\system\\unPlug.exe) = 0xFFFFFFFF",
      "GetLastError() = 2",
      "DeleteFileA(C:\\WINDOWS\\system\\unPlug.exe) = 0",
      "GetFileAttributesA(C:\\WINDOWS\\system\\unPlug.exe.old) = 0xFFFFFFFF",
      "GetLastError() = 2",
      "CopyFileA(D:\\WIN98\\unPlug.exe, C:\\WINDOWS\\system\\unPlug.exe, 0) = 1",
      "GetFileAttributesA(C:\\WINDOWS\\system\\rdWatch.exe) = 0xFFFFFFFF",
      "GetLastError() = 2",
      "DeleteFileA(C:\\WINDOWS\\system\\rdWatch.exe) = 0",
      "GetFileAttributesA(C:\\WINDOWS\\system\\rdWatch.exe.old) = 0xFFFFFFFF",
      "GetLastError() = 2",
      "CopyFileA(D:\\WIN98\\rdWatch.exe, C:\\WINDOWS\\system\\rdWatch.exe, 0) = 1",
      "GetFileAttributesA(C:\\WINDOWS\\inf\\drvidx.bin) = 0xFFFFFFFF",
      "GetLastError() = 2",
      "DeleteFileA(C:\\WINDOWS\\inf\\drvidx.bin) = 0",
      "GetFileAttributesA(C:\\WINDOWS\\inf\\drvdata.bin) = 0xFFFFFFFF",
      "GetLastError() = 2",
      "DeleteFileA(C:\\WINDOWS\\inf\\drvdata.bin) = 0",
      "RegOpenKeyA(HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Setup) = 0x1000",
      "RegSetValueExA(HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Setup, SourcePath, 1, "
      "\"C:\\WINDOWS\\inf\", 260) = 0",
      "RegCloseKey(HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Setup) = 0",
      "RegOpenKeyA(HKLM\\Enum\\USB) = 0x1001",
      "RegDeleteKeyA(HKLM\\Enum\\USB\\VID_1E2D&PID_4182) = 0",
      "GetVersionExA(148) = 1",
      "RegDeleteKeyA(HKLM\\Enum\\USB\\VID_1E2D&PID_4181) = 0",
      "RegCloseKey(HKLM\\Enum\\USB) = 0",
      "RegCreateKeyExA(HKLM\\System\\CurrentControlSet\\Services\\SCardSvr, 0, 0xF003F) = 0x1002",
      "RegSetValueExA(HKLM\\System\\CurrentControlSet\\Services\\SCardSvr, Start, 4, "
      "\\x02\\x00\\x00\\x00, 4) = 0",
      "RegSetValueExA(HKLM\\System\\CurrentControlSet\\Services\\SCardSvr, DrvLoad, 4, "
      "\\x00\\x00\\x00\\x00, 4) = 0",
      "RegCloseKey(HKLM\\System\\CurrentControlSet\\Services\\SCardSvr) = 0",
      "GetVersionExA(148) = 1",
      "GetFileAttributesA(C:\\WINDOWS\\inf\\kt418Hub.inf) = 0xFFFFFFFF",
      "GetLastError() = 2",
      "DeleteFileA(C:\\WINDOWS\\inf\\kt418Hub.inf) = 0",
      "GetFileAttributesA(C:\\WINDOWS\\inf\\kt418Hub.inf.old) = 0xFFFFFFFF",
      "GetLastError() = 2",
      "CopyFileA(D:\\WIN98\\kt418Hub.inf, C:\\WINDOWS\\inf\\kt418Hub.inf, 0) = 1",
      "GetFileAttributesA(C:\\WINDOWS\\temp\\scbase) = 0xFFFFFFFF",
      "GetLastError() = 2",
      "GetFileAttributesA(C:\\WINDOWS\\temp\\smclib) = 0xFFFFFFFF",
      "GetLastError() = 2",
      "GetCurrentDirectoryA(261) = 8",
      "GetFileAttributesA(C:\\WINDOWS\\temp\\scbase.exe) = 0xFFFFFFFF",
      "GetLastError() = 2",
      "CopyFileA(D:\\WIN98\\..\\SCard98\\scbase.exe, C:\\WINDOWS\\temp\\scbase.exe, 0) = 1",
      "GetCurrentDirectoryA(261) = 8",
      "GetFileAttributesA(C:\\WINDOWS\\temp\\smclib.exe) = 0xFFFFFFFF",
      "GetLastError() = 2",
      "CopyFileA(D:\\WIN98\\..\\SCard98\\smclib.exe, C:\\WINDOWS\\temp\\smclib.exe, 0) = 1",
      "GetStdHandle(0xFFFFFFF6) = 0x101",
      "GetStdHandle(0xFFFFFFF5) = 0x102",
      "GetStdHandle(0xFFFFFFF4) = 0x103",
      "CreateProcessA(C:\\WINDOWS\\temp\\scbase.exe  /q /c /t:C:\\WINDOWS\\temp\\scbase, inherit "
      "0, flags 0x8000000, cb 68, startf 0x100, show 0, std 0x101 0x102 0x103) = 1",
      "WaitForSingleObject(0x2000, 0xFFFFFFFF) = 0x0",
      "GetExitCodeProcess(0x2000) = 1, status 0",
      "CloseHandle(0x2000) = 1",
      "CloseHandle(0x2001) = 1",
      "GetStdHandle(0xFFFFFFF6) = 0x101",
      "GetStdHandle(0xFFFFFFF5) = 0x102",
      "GetStdHandle(0xFFFFFFF4) = 0x103",
      "CreateProcessA(C:\\WINDOWS\\temp\\smclib.exe  /q /c /t:C:\\WINDOWS\\temp\\smclib, inherit "
      "0, flags 0x8000000, cb 68, startf 0x100, show 0, std 0x101 0x102 0x103) = 1",
      "WaitForSingleObject(0x2002, 0xFFFFFFFF) = 0x0",
      "GetExitCodeProcess(0x2002) = 1, status 0",
      "CloseHandle(0x2002) = 1",
      "CloseHandle(0x2003) = 1",
      "InstallHinfSection(DefaultInstall 132 C:\\WINDOWS\\temp\\scbase\\scbase.inf, 0) = installed",
      "InstallHinfSection(DefaultInstall 132 C:\\WINDOWS\\temp\\smclib\\smclib.inf, 0) = installed",
      "WinExec(deltree /Y C:\\WINDOWS\\temp\\scbase, 0) = 33",
      "GetFileAttributesA(C:\\WINDOWS\\temp\\scbase.exe) = 0x80",
      "SetFileAttributesA(C:\\WINDOWS\\temp\\scbase.exe, 0x80) = 1",
      "DeleteFileA(C:\\WINDOWS\\temp\\scbase.exe) = 1",
      "WinExec(deltree /Y C:\\WINDOWS\\temp\\smclib, 0) = 33",
      "GetFileAttributesA(C:\\WINDOWS\\temp\\smclib.exe) = 0x80",
      "SetFileAttributesA(C:\\WINDOWS\\temp\\smclib.exe, 0x80) = 1",
      "DeleteFileA(C:\\WINDOWS\\temp\\smclib.exe) = 1",
      "RegOpenKeyA(HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce) = 0x1003",
      "RegSetValueExA(HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce, "
      "RDWatch, 1, \"C:\\WINDOWS\\system\\rdWatch.exe\", 256) = 0",
      "RegCloseKey(HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce) = 0",
      "GetModuleFileNameA(261) = 18",
      "GetFileAttributesA(C:\\WINDOWS\\system\\kt418Rmv.exe) = 0xFFFFFFFF",
      "GetLastError() = 2",
      "DeleteFileA(C:\\WINDOWS\\system\\kt418Rmv.exe) = 0",
      "GetFileAttributesA(C:\\WINDOWS\\system\\kt418Rmv.exe.old) = 0xFFFFFFFF",
      "GetLastError() = 2",
      "CopyFileA(D:\\WIN98\\SETUP.EXE, C:\\WINDOWS\\system\\kt418Rmv.exe, 0) = 1",
      "RegCreateKeyExA(HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vantrel USB "
      "Smart Card Reader, 0, 0xF003F) = 0x1004",
      "RegSetValueExA(HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vantrel USB "
      "Smart Card Reader, DisplayName, 1, \"Vantrel USB Smart Card Reader\", 30) = 0",
      "RegSetValueExA(HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vantrel USB "
      "Smart Card Reader, UninstallString, 1, \"C:\\WINDOWS\\system\\kt418Rmv.exe -u\", 34) = 0",
      "RegCloseKey(HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vantrel USB "
      "Smart Card Reader) = 0",
      "MessageBoxA(Vantrel USB Smart Card Reader Setup Utility, \"You must restart your computer "
      "before the new hardware will take effect. Do you want to reboot the system?\", 4) = 6",
      "ExitWindowsEx(0x2, 0) = 1",
  };
  ExpectCalls(expected, sim.CallTexts());
  EXPECT_EQ(0, sim.openKeyCount());
  EXPECT_EQ(0, sim.openHandleCount());
}

TEST_F(TypicalRun, TheRunLeavesTheMachineAsANewlyInstalledReaderNeedsIt) {
  sim.AnswerNextBox(kIdYes);
  sim.AnswerNextBox(kIdYes);
  sim.AddFile("C:\\WINDOWS\\inf\\drvidx.bin", "index", kFileAttributeReadOnly);
  sim.AddFile("C:\\WINDOWS\\inf\\drvdata.bin", "data");
  EXPECT_EQ(0u, Run());

  for (const auto& file : kPackageFiles) {
    EXPECT_EQ(MediaContent(file.first), sim.FileContent("C:\\WINDOWS\\" + file.second));
  }
  EXPECT_FALSE(sim.FileExists("C:\\WINDOWS\\inf\\drvidx.bin"));
  EXPECT_FALSE(sim.FileExists("C:\\WINDOWS\\inf\\drvdata.bin"));
  EXPECT_FALSE(sim.KeyExists(std::string(kUsbKey) + "\\VID_1E2D&PID_4182"));
  EXPECT_FALSE(sim.KeyExists(std::string(kUsbKey) + "\\VID_1E2D&PID_4181"));
  EXPECT_EQ(2u, sim.sectionInstalls().size());
  for (const auto& install : sim.sectionInstalls()) EXPECT_TRUE(install.sectionFound);
  for (const char* left : {"C:\\WINDOWS\\temp\\scbase", "C:\\WINDOWS\\temp\\smclib",
                           "C:\\WINDOWS\\temp\\scbase.exe", "C:\\WINDOWS\\temp\\smclib.exe"}) {
    EXPECT_EQ(kInvalidFileAttributes, sim.GetFileAttributesA(left)) << left;
  }
  EXPECT_EQ(std::vector<uint32_t>{kEwxReboot}, sim.restartRequests());
}

// Windows 9x may ignore CREATE_NO_WINDOW or refuse a start that asks for it;
// either way both packages are extracted and installed.
TEST(TypicalRuns, CompleteWhetherWindows9xIgnoresOrRefusesTheNoWindowFlag) {
  struct Case {
    SimulatedSystem::NoWindowFlag flag;
    bool silent;
    int extractionStarts;  // CreateProcessA calls for the two packages
  } cases[] = {
      {SimulatedSystem::NoWindowFlag::kIgnored, false, 2},
      {SimulatedSystem::NoWindowFlag::kIgnored, true, 2},
      {SimulatedSystem::NoWindowFlag::kRefused, false, 4},
      {SimulatedSystem::NoWindowFlag::kRefused, true, 4},
  };
  for (const Case& c : cases) {
    for (Windows windows : {Windows::k98, Windows::kMe}) {
      SimulatedSystem sim;
      BuildTypicalMachine(sim, windows);
      sim.SetNoWindowFlag(c.flag);
      sim.AnswerNextBox(kIdYes);
      sim.AnswerNextBox(kIdYes);
      std::string what =
          std::string(c.flag == SimulatedSystem::NoWindowFlag::kRefused ? "flag refused"
                                                                        : "flag ignored") +
          (c.silent ? ", silent" : ", interactive") + (windows == Windows::kMe ? ", Me" : ", 98");

      EXPECT_EQ(0u, RunSetupWith(sim, c.silent ? std::vector<std::string>{"-s"}
                                               : std::vector<std::string>{}))
          << what << sim.Dump();
      int extractionStarts = 0;
      for (const auto& call : sim.calls()) {
        extractionStarts +=
            call.op == Op::CreateProcessA && call.text.find("/q /c") != std::string::npos;
      }
      EXPECT_EQ(c.extractionStarts, extractionStarts) << what;
      ASSERT_EQ(2u, sim.sectionInstalls().size()) << what;
      for (const auto& install : sim.sectionInstalls()) EXPECT_TRUE(install.sectionFound) << what;
      EXPECT_NE(nullptr, sim.FindValue(kRunServicesOnceKey, "RDWatch")) << what;
      EXPECT_EQ(c.silent ? 0u : 1u, sim.restartRequests().size()) << what;
    }
  }
}

}  // namespace
