// The simulated machine follows the target systems' rules, since every other
// test trusts it to.
#include "simulator/simulated_system.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

TEST(SimulatedFiles, PathsResolveAsOnTheTarget) {
  SimulatedSystem sim;
  sim.AddFile("D:\\SCard98\\scbase.exe", "package");
  const char* sameFile[] = {
      "d:\\scard98\\SCBASE.EXE",
      "D:\\\\SCard98\\\\scbase.exe",
      "D:\\WIN98\\..\\SCard98\\scbase.exe",
      "D:\\\\..\\SCard98\\scbase.exe",
      "D:\\..\\..\\SCard98\\.\\scbase.exe",
  };
  for (const char* path : sameFile) {
    EXPECT_NE(kInvalidFileAttributes, sim.GetFileAttributesA(path)) << path;
  }
  EXPECT_EQ(kInvalidFileAttributes, sim.GetFileAttributesA("C:\\SCard98\\scbase.exe"));
  EXPECT_EQ(kFileAttributeDirectory, sim.GetFileAttributesA("D:\\SCard98\\"));
}

TEST(SimulatedFiles, DoubleByteCharactersMayEndInTheBackslashByte) {
  SimulatedSystem sim;
  sim.SetCodePage(932);
  sim.AddFile("D:\\\x95\x5C\\kt418.sys", "driver");
  EXPECT_TRUE(sim.DirectoryExists("D:\\\x95\x5C"));
  EXPECT_FALSE(sim.DirectoryExists("D:\\\x95")) << "0x5C there is no separator";
  // Short forms name the same file, a double-byte character whose second byte
  // is 0x5C or a letter kept whole in its alias.
  sim.AddFile("D:\\\x82\x61\x95\x5C long name.txt");
  for (const char* path : {"D:\\\x95\x5C\\kt418.sys", "D:\\\x82\x61\x95\x5C long name.txt"}) {
    std::string shortForm = sim.ShortFormOf(path);
    EXPECT_EQ(sim.ResolvedPath(path), sim.ResolvedPath(shortForm))
        << "the short form " << shortForm << " names " << path;
  }
  // A capital letter as second byte is not folded: 0x82 0x41 differs from 0x82 0x61.
  sim.AddFile("D:\\\x82\x41.txt");
  EXPECT_FALSE(sim.FileExists("D:\\\x82\x61.txt"));
  const char text[] = "D:\\\x95\x5C";
  EXPECT_EQ(text + 3, sim.CharPrevA(text, text + 5));
}

TEST(SimulatedFiles, ReadOnlyFilesRefuseDeletionAndReplacementButMayBeRenamed) {
  SimulatedSystem sim;
  sim.AddFile("C:\\W\\old.sys", "old", kFileAttributeReadOnly);
  sim.AddFile("D:\\new.sys", "new");
  EXPECT_FALSE(sim.DeleteFileA("C:\\W\\old.sys"));
  EXPECT_FALSE(sim.CopyFileA("D:\\new.sys", "C:\\W\\old.sys", false));
  EXPECT_EQ("old", sim.FileContent("C:\\W\\old.sys"));
  EXPECT_TRUE(sim.MoveFileA("C:\\W\\old.sys", "C:\\W\\kept.sys"));
  EXPECT_TRUE(sim.SetFileAttributesA("C:\\W\\kept.sys", kFileAttributeNormal));
  EXPECT_TRUE(sim.DeleteFileA("C:\\W\\kept.sys"));
}

TEST(SimulatedFiles, CopiesCreateNoDirectoryAndKeepTheSourceAttributes) {
  SimulatedSystem sim;
  sim.AddFile("D:\\new.sys", "new", kFileAttributeReadOnly);
  sim.AddDirectory("C:\\W");
  EXPECT_FALSE(sim.CopyFileA("D:\\new.sys", "C:\\W\\missing\\new.sys", false));
  EXPECT_FALSE(sim.DirectoryExists("C:\\W\\missing"));
  EXPECT_TRUE(sim.CopyFileA("D:\\new.sys", "C:\\W\\new.sys", false));
  EXPECT_EQ(kFileAttributeReadOnly, sim.FileAttributes("C:\\W\\new.sys"));
  EXPECT_FALSE(sim.CopyFileA("D:\\new.sys", "C:\\W\\new.sys", true));
  EXPECT_FALSE(sim.MoveFileA("D:\\new.sys", "C:\\W\\new.sys")) << "the new name exists";
}

TEST(SimulatedFiles, MovingADirectoryRenamesItWithAllItHolds) {
  SimulatedSystem sim;
  sim.AddFile("C:\\W\\inf\\kt418.cat\\sub\\notes.txt", "kept");
  EXPECT_FALSE(sim.MoveFileA("C:\\W\\inf\\kt418.cat", "C:\\W\\inf\\kt418.cat\\sub\\x"))
      << "not into itself";
  EXPECT_TRUE(sim.MoveFileA("C:\\W\\inf\\kt418.cat", "C:\\W\\inf\\kt418.cat.old"));
  EXPECT_FALSE(sim.DirectoryExists("C:\\W\\inf\\kt418.cat"));
  EXPECT_FALSE(sim.DirectoryExists("C:\\W\\inf\\kt418.cat\\sub"));
  EXPECT_EQ("kept", sim.FileContent("C:\\W\\inf\\kt418.cat.old\\sub\\notes.txt"));
}

// GetShortPathNameA gives each name of an existing path by its alias, so the
// short form names the very directory asked about; an absent path has none.
TEST(SimulatedFiles, ShortFormsNameTheDirectoryAskedAbout) {
  SimulatedSystem sim;
  sim.AddDirectory("C:\\My Windows\\temp");
  sim.AddDirectory("C:\\My Work");
  struct Case {
    const char* path;
    const char* shortForm;
  } cases[] = {
      {"C:\\My Windows", "C:\\MYWIND~1"},
      {"C:\\My Windows\\temp", "C:\\MYWIND~1\\temp"},
      {"C:\\My Work\\..\\My Windows", "C:\\MYWIND~1"},
      {"C:\\My Windows\\absent", ""},
      {"C:\\My\tWindows", ""},
  };
  for (const Case& c : cases) {
    std::string shortForm = sim.ShortFormOf(c.path);
    EXPECT_EQ(c.shortForm, shortForm) << c.path;
    if (!shortForm.empty()) {
      EXPECT_EQ(sim.ResolvedPath(c.path), sim.ResolvedPath(shortForm)) << c.path;
    }
  }
  EXPECT_FALSE(sim.SetShortName("C:\\My Work", "MYWIND~1")) << "the name is taken";
  EXPECT_FALSE(sim.SetShortName("C:\\My Work", "A\\B")) << "no single name";
  EXPECT_TRUE(sim.SetShortName("C:\\My Work", "WORK"));
  EXPECT_EQ("C:\\WORK", sim.ShortFormOf("C:\\My Work"));
  EXPECT_EQ(sim.ResolvedPath("C:\\My Work\\x"), sim.ResolvedPath("C:\\WORK\\x"));
}

TEST(SimulatedFiles, NoNameHoldsAControlCharacter) {
  SimulatedSystem sim;
  sim.AddFile("D:\\new.sys", "new");
  sim.AddDirectory("C:\\a\tb");
  EXPECT_FALSE(sim.DirectoryExists("C:\\a\tb"));
  EXPECT_EQ(kInvalidFileAttributes, sim.GetFileAttributesA("C:\\a\tb"));
  EXPECT_FALSE(sim.CopyFileA("D:\\new.sys", "D:\\new\t.sys", false));
}

TEST(SimulatedFiles, InjectedFailuresHitOnlyTheirSubject) {
  SimulatedSystem sim;
  sim.AddFile("C:\\a.txt");
  sim.AddFile("C:\\b.txt");
  sim.Fail(Op::DeleteFileA, "c:\\A.TXT");
  EXPECT_FALSE(sim.DeleteFileA("C:\\a.txt"));
  EXPECT_TRUE(sim.DeleteFileA("C:\\b.txt"));
  sim.FailCallNumber(3);
  EXPECT_EQ(kInvalidFileAttributes, sim.GetFileAttributesA("C:\\a.txt"))
      << "the third fallible call";
  EXPECT_EQ(3, sim.fallibleCalls());
}

// "Not found" only where nothing is there: a setup must be able to tell an
// absent file from one it could not look at.
TEST(SimulatedFiles, AFailedCallLeavesTheErrorWindowsWould) {
  const struct {
    const char* what;
    std::function<bool(SimulatedSystem&)> call;
    uint32_t error;
  } rows[] = {
      {"an absent file's attributes",
       [](SimulatedSystem& sim) {
         return sim.GetFileAttributesA("C:\\W\\x.txt") != kInvalidFileAttributes;
       },
       2},
      {"a file's in an absent directory",
       [](SimulatedSystem& sim) {
         return sim.GetFileAttributesA("C:\\V\\x.txt") != kInvalidFileAttributes;
       },
       3},
      {"a file's that is there, the query failing",
       [](SimulatedSystem& sim) {
         sim.Fail(Op::GetFileAttributesA);
         return sim.GetFileAttributesA("C:\\W\\a.txt") != kInvalidFileAttributes;
       },
       31},
      {"deleting a read-only file",
       [](SimulatedSystem& sim) { return sim.DeleteFileA("C:\\W\\ro.txt"); }, 5},
      {"deleting an absent file",
       [](SimulatedSystem& sim) { return sim.DeleteFileA("C:\\W\\x.txt"); }, 2},
      {"copying an absent source",
       [](SimulatedSystem& sim) { return sim.CopyFileA("C:\\W\\x.txt", "C:\\W\\y.txt", false); },
       2},
  };
  for (const auto& row : rows) {
    SimulatedSystem sim;
    sim.AddFile("C:\\W\\a.txt");
    sim.AddFile("C:\\W\\ro.txt", "", kFileAttributeReadOnly);
    EXPECT_FALSE(row.call(sim)) << row.what;
    EXPECT_EQ(row.error, sim.GetLastError()) << row.what;
  }
}

TEST(SimulatedRegistry, OpenNeverCreatesAndCreateMakesParents) {
  SimulatedSystem sim;
  RegKey key = 0;
  EXPECT_NE(kErrorSuccess, sim.RegOpenKeyA(kHkeyLocalMachine, "Software\\Absent", &key));
  EXPECT_FALSE(sim.KeyExists("HKLM\\Software\\Absent"));
  EXPECT_EQ(kErrorSuccess, sim.RegCreateKeyExA(kHkeyLocalMachine, "System\\A\\B", 0, kKeyAllAccess,
                                               &key, nullptr));
  EXPECT_TRUE(sim.KeyExists("hklm\\system\\a"));
  EXPECT_EQ(kErrorSuccess, sim.RegCloseKey(key));
  EXPECT_NE(kErrorSuccess, sim.RegCloseKey(key)) << "closed twice";
  EXPECT_EQ(0, sim.openKeyCount());
}

TEST(SimulatedRegistry, ValuesKeepTheirTypeAndTheLengthPassed) {
  SimulatedSystem sim;
  sim.AddKey("HKLM\\K");
  RegKey key = 0;
  ASSERT_EQ(kErrorSuccess, sim.RegOpenKeyA(kHkeyLocalMachine, "k", &key));
  const uint8_t data[8] = {'a', 'b', 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(kErrorSuccess, sim.RegSetValueExA(key, "Name", kRegSz, data, sizeof data));
  const SimulatedSystem::Value* value = sim.FindValue("HKLM\\K", "NAME");
  ASSERT_NE(nullptr, value);
  EXPECT_EQ(kRegSz, value->type);
  EXPECT_EQ(8u, value->data.size());
  EXPECT_EQ(std::vector<std::string>{"Name"}, sim.ValueNames("HKLM\\K"));
}

TEST(SimulatedRegistry, DeletingAKeyRemovesItsWholeSubtree) {
  SimulatedSystem sim;
  sim.SetValue("HKLM\\Enum\\USB\\A\\1\\Deep", "v", kRegSz, "x");
  sim.AddKey("HKLM\\Enum\\USB\\AB");
  RegKey key = 0;
  ASSERT_EQ(kErrorSuccess, sim.RegOpenKeyA(kHkeyLocalMachine, "Enum\\USB", &key));
  EXPECT_EQ(kErrorSuccess, sim.RegDeleteKeyA(key, "a"));
  EXPECT_FALSE(sim.KeyExists("HKLM\\Enum\\USB\\A\\1\\Deep"));
  EXPECT_TRUE(sim.KeyExists("HKLM\\Enum\\USB\\AB")) << "a sibling sharing the prefix";
  EXPECT_NE(kErrorSuccess, sim.RegDeleteKeyA(key, "A")) << "already gone";
}

TEST(SimulatedMachine, VersionRecordNeedsItsSize) {
  SimulatedSystem sim;
  sim.SetVersion(1, 4, 90);
  OsVersionInfo info = {};
  EXPECT_FALSE(sim.GetVersionExA(&info));
  info.dwOSVersionInfoSize = 148;
  EXPECT_TRUE(sim.GetVersionExA(&info));
  EXPECT_EQ(90u, info.dwMinorVersion);
}

TEST(SimulatedMachine, DirectoryQueriesReportTheRoomNeededWhenTooSmall) {
  SimulatedSystem sim;
  sim.SetCurrentDirectory("D:\\WIN98");
  char buffer[8];
  EXPECT_EQ(9u, sim.GetCurrentDirectoryA(sizeof buffer, buffer));
  char fits[9];
  EXPECT_EQ(8u, sim.GetCurrentDirectoryA(sizeof fits, fits));
  EXPECT_STREQ("D:\\WIN98", fits);
}

// A running program holds its file: no copy replaces it and no deletion
// removes it, and GetLastError tells why; a rename is the machine's choice.
TEST(SimulatedProcesses, ARunningProgramsFileIsInUse) {
  for (auto rename : {SimulatedSystem::RunningFileRename::kRefused,
                      SimulatedSystem::RunningFileRename::kAllowed}) {
    SimulatedSystem sim;
    sim.SetRunningFileRename(rename);
    sim.AddFile("C:\\W\\system\\rdWatch.exe", "earlier");
    sim.AddFile("D:\\rdWatch.exe", "new");
    sim.StartProgram("c:\\w\\SYSTEM\\rdwatch.exe");
    EXPECT_FALSE(sim.CopyFileA("D:\\rdWatch.exe", "C:\\W\\system\\rdWatch.exe", false));
    EXPECT_EQ(32u, sim.GetLastError());
    EXPECT_FALSE(sim.DeleteFileA("C:\\W\\system\\rdWatch.exe"));
    EXPECT_EQ(32u, sim.GetLastError()) << "as the emulator gives it";
    EXPECT_TRUE(sim.SetFileAttributesA("C:\\W\\system\\rdWatch.exe", kFileAttributeNormal));
    bool allowed = rename == SimulatedSystem::RunningFileRename::kAllowed;
    EXPECT_EQ(allowed,
              sim.MoveFileA("C:\\W\\system\\rdWatch.exe", "C:\\W\\system\\rdWatch.exe.old"));
    // Renamed, the program runs on from its new name, which is in use in turn.
    EXPECT_EQ(allowed, sim.IsRunning("C:\\W\\system\\rdWatch.exe.old"));
    EXPECT_EQ(allowed, sim.CopyFileA("D:\\rdWatch.exe", "C:\\W\\system\\rdWatch.exe", false));
    EXPECT_FALSE(
        sim.DeleteFileA(allowed ? "C:\\W\\system\\rdWatch.exe.old" : "C:\\W\\system\\rdWatch.exe"));
  }
}

TEST(SimulatedProfiles, ASectionReadsWholeLinesOrReportsItWasCut) {
  SimulatedSystem sim;
  sim.SetWindowsDirectory("C:\\W");
  sim.AddFile("C:\\W\\WININIT.INI",
              "[Other]\r\nA=1\r\n[rename]\r\nNUL=C:\\X.TMP\r\nC:\\B=C:\\C\r\n");
  char buffer[32];
  // "NUL=C:\X.TMP\0C:\B=C:\C\0\0": 22 bytes before the last NUL.
  EXPECT_EQ(23u, sim.GetPrivateProfileSectionA("RENAME", buffer, sizeof buffer, "wininit.ini"));
  EXPECT_EQ(std::string("NUL=C:\\X.TMP\0C:\\B=C:\\C\0", 24), std::string(buffer, 24));
  EXPECT_EQ(14u, sim.GetPrivateProfileSectionA("rename", buffer, 16, "C:\\W\\wininit.ini"))
      << "cut: the size less two";
  EXPECT_EQ(0u, sim.GetPrivateProfileSectionA("absent", buffer, sizeof buffer, "wininit.ini"));
  EXPECT_TRUE(sim.WritePrivateProfileSectionA("rename", "NUL=C:\\Y\0NUL=C:\\Z\0", "wininit.ini"));
  EXPECT_EQ("[Other]\r\nA=1\r\n[rename]\r\nNUL=C:\\Y\r\nNUL=C:\\Z\r\n",
            sim.FileContent("C:\\W\\WININIT.INI"))
      << "other sections stay; repeated keys are written";
  sim.AddFile("C:\\W\\locked.ini", "", kFileAttributeReadOnly);
  EXPECT_FALSE(sim.WritePrivateProfileSectionA("rename", "\0", "locked.ini"));
}

// Where the system caches profile files, a write reaches the disk at a flush
// or an orderly shutdown, and a power failure before either loses it.
TEST(SimulatedProfiles, ACachedWriteReachesTheDiskOnlyWhenFlushedOrShutDown) {
  const char kLine[] = "NUL=C:\\X.TMP\0";
  const struct {
    const char* what;
    bool flushed;
    bool orderly;
    bool written;
  } rows[] = {{"flushed, then the power fails", true, false, true},
              {"not flushed, an orderly restart", false, true, true},
              {"not flushed, the power fails", false, false, false}};
  for (const auto& row : rows) {
    SimulatedSystem sim;
    sim.SetWindowsDirectory("C:\\W");
    sim.AddDirectory("C:\\W");
    sim.SetProfileWrites(SimulatedSystem::ProfileWrites::kCached);
    ASSERT_TRUE(sim.WritePrivateProfileSectionA("rename", kLine, "wininit.ini"));
    char buffer[32];
    EXPECT_EQ(13u, sim.GetPrivateProfileSectionA("rename", buffer, sizeof buffer, "wininit.ini"))
        << row.what << ": the calls read the cache";
    EXPECT_FALSE(sim.FileExists("C:\\W\\WININIT.INI")) << row.what;
    if (row.flushed) {
      EXPECT_FALSE(sim.WritePrivateProfileStringA(nullptr, nullptr, nullptr, "wininit.ini"))
          << row.what << ": FALSE, as Windows 9x documents";
    }
    if (row.orderly) {
      sim.NextStart();
    } else {
      sim.NextStartAfterPowerCut();
    }
    EXPECT_EQ(row.written, sim.FileExists("C:\\W\\WININIT.BAK"))
        << row.what << ": the start found WININIT.INI on disk";
  }
}

// The next start ends every process, applies WININIT.INI's [rename] lines in
// order (8.3 paths only), keeps the file as WININIT.BAK, and starts what
// RunServicesOnce names once.
TEST(SimulatedProcesses, TheNextStartAppliesWininitThenStartsTheServicesOnce) {
  SimulatedSystem sim;
  sim.SetWindowsDirectory("C:\\W");
  SimulatedSystem::Program monitor;
  monitor.resident = true;
  sim.AddProgram("C:\\W\\system\\rdWatch.exe", monitor);
  sim.AddFile("C:\\W\\system\\rdWatch.exe.new", "new monitor");
  sim.AddFile("C:\\W\\system\\stale.old", "stale");
  sim.AddFile("C:\\W\\system\\long name.txt", "kept");
  sim.AddFile("C:\\W\\My Folder\\gone.txt", "gone");
  sim.SetShortName("C:\\W\\My Folder", "MY FOLD");  // the system's alias, of any form
  sim.AddFile("C:\\W\\WININIT.BAK", "an earlier one");
  sim.StartProgram("C:\\W\\system\\rdWatch.exe");
  sim.HoldMutexElsewhere("another setup");
  std::string monitorNew = sim.ShortFormOf("C:\\W\\system\\rdWatch.exe.new");
  sim.AddFile("C:\\W\\WININIT.INI",
              "[rename]\r\nNUL=C:\\W\\system\\STALE.OLD\r\nC:\\W\\SYSTEM\\X=C:\\W\\ABSENT\r\n"
              "NUL=C:\\W\\system\\long name.txt\r\nNUL=C:\\W\\MY FOLD\\GONE.TXT\r\n"
              "C:\\W\\SYSTEM\\RDWATCH.EXE=" +
                  monitorNew + "\r\n");
  sim.SetValue(kRunServicesOnceKey, "RDWatch", kRegSz,
               std::string("C:\\W\\system\\rdWatch.exe\0\0\0", 24));
  sim.NextStart();
  EXPECT_FALSE(sim.FileExists("C:\\W\\system\\stale.old"));
  EXPECT_TRUE(sim.FileExists("C:\\W\\system\\long name.txt")) << "a long name is skipped";
  EXPECT_FALSE(sim.FileExists("C:\\W\\system\\X")) << "a missing source is skipped";
  EXPECT_EQ("new monitor", sim.FileContent("C:\\W\\system\\rdWatch.exe"));
  EXPECT_FALSE(sim.FileExists("C:\\W\\system\\rdWatch.exe.new"));
  EXPECT_FALSE(sim.FileExists("C:\\W\\WININIT.INI"));
  EXPECT_EQ(0u, sim.FileContent("C:\\W\\WININIT.BAK").find("[rename]"));
  EXPECT_TRUE(sim.ValueNames(kRunServicesOnceKey).empty());
  EXPECT_TRUE(sim.IsRunning("C:\\W\\system\\rdWatch.exe")) << "started again, and resident";
  EXPECT_NE(0u, sim.CreateMutexA("another setup"));
  EXPECT_EQ(0u, sim.GetLastError()) << "the mutex held before the start was released";
  std::vector<std::string> expected = {
      "deleted C:\\W\\system\\STALE.OLD", "deleted C:\\W\\MY FOLD\\GONE.TXT",
      "renamed C:\\W\\SYSTEM\\RDWATCH.EXE=" + monitorNew, "started c:\\w\\system\\rdwatch.exe"};
  EXPECT_EQ(expected, sim.lastStart());
}

}  // namespace
