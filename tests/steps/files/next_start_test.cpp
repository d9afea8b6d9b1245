// A package file in use (a running program holds it) is replaced at the next
// start: its new copy waits beside it, entered in WININIT.INI, which the
// system applies before anything runs.
#include "steps/files/next_start.h"

#include <gtest/gtest.h>

#include "support/run_judge.h"
#include "support/typical_machine.h"

namespace {

const char kWininit[] = "C:\\WINDOWS\\WININIT.INI";
const char kMonitor[] = "C:\\WINDOWS\\system\\rdWatch.exe";
const char kOtherLines[] = "[rename]\r\nNUL=C:\\TEMP\\A.TMP\r\nC:\\X.DLL=C:\\TEMP\\X.NEW\r\n";

// The earlier file of the package file stands at its target, held by a running program.
std::string HoldEarlierFile(SimulatedSystem& sim, const std::string& name,
                            const std::string& target) {
  std::string path = "C:\\WINDOWS\\" + target;
  sim.AddFile(path, "earlier " + name);
  sim.StartProgram(path);
  return path;
}

// Lines as the profile calls give and take them: each ended by a NUL.
std::string Joined(const std::vector<std::string>& lines) {
  std::string joined;
  for (const std::string& line : lines) joined += line + '\0';
  return joined;
}

TEST(RenameLines, OursAreReplacedAndOtherProgramsLinesKeptInOrder) {
  const std::vector<std::string> others = {"NUL=C:\\TEMP\\A.TMP", "C:\\X.DLL=C:\\TEMP\\X.NEW"};
  const std::string ours = "C:\\W\\RDWATCH.EXE=C:\\W\\RDWATC~1.NEW";
  struct Case {
    const char* what;
    std::vector<std::string> lines;
    const char* destination;
    std::vector<std::string> expected;
    const char* source = "C:\\W\\RDWATC~1.NEW";
  } cases[] = {
      {"added after the others", others, "C:\\W\\RDWATCH.EXE", {others[0], others[1], ours}},
      {"an earlier line of ours gives way",
       {"C:\\W\\RDWATCH.EXE=C:\\W\\RDWATC~1.NEW", others[0], others[1]},
       "C:\\W\\RDWATCH.EXE",
       {others[0], others[1], ours}},
      {"forgotten", {others[0], "NUL=C:\\W\\RDWATC~1.NEW", others[1]}, nullptr, others},
      {"a line without \"=\" stays",
       {"C:\\W\\RDWATC~1.NEW", others[0]},
       "C:\\W\\RDWATCH.EXE",
       {"C:\\W\\RDWATC~1.NEW", others[0], ours}},
      {"a comment stays",
       {"; left by another setup", others[0]},
       nullptr,
       {"; left by another setup", others[0]}},
      {"an empty line, which would end the section, goes",
       {others[0], "", others[1]},
       nullptr,
       others},
      {"a source that begins as ours stays",
       {"C:\\W\\RDWATCH.EXE=C:\\W\\RDWATC~1", others[0]},
       "C:\\W\\RDWATCH.EXE",
       {"C:\\W\\RDWATCH.EXE=C:\\W\\RDWATC~1", others[0], ours}},
      {"ours in other letter case, the same file to the system, gives way",
       {"c:\\w\\rdwatch.exe=c:\\w\\Rdwatc~1.new", others[0]},
       "C:\\W\\RDWATCH.EXE",
       {others[0], ours}},
      // 0x95 0x61 and 0x95 0x41 are two characters in code page 932.
      {"a letter after a byte above 0x7F may be a double-byte character's: it stays",
       {"NUL=C:\\\x95\x41\\X.NEW", others[0]},
       nullptr,
       {"NUL=C:\\\x95\x41\\X.NEW", others[0]},
       "C:\\\x95\x61\\X.NEW"},
  };
  for (const Case& c : cases) {
    std::string lines = Joined(c.lines);
    ByteString edited = EditedRenameLines(lines.data(), lines.size(), c.source, c.destination);
    EXPECT_EQ(Joined(c.expected), std::string(edited.c_str(), edited.size())) << c.what;
  }
}

// Whatever the row's policy, a file in use counts as placed: no box beyond
// the two questions, status 0, and the next start puts the new copy in place,
// also where the system caches WININIT.INI and the power fails after the
// run, and where WININIT.INI was read-only.
TEST(NextStart, AFileInUseIsReplacedAtTheNextStartWhateverItsPolicy) {
  const struct {
    bool silent;
    const char* what;
    SimulatedSystem::ProfileWrites writes;
    uint32_t attributes;
  } runs[] = {
      {true, "", SimulatedSystem::ProfileWrites::kWrittenThrough, kFileAttributeNormal},
      {false, "", SimulatedSystem::ProfileWrites::kWrittenThrough, kFileAttributeNormal},
      {true, ", WININIT.INI cached, the power cut after the run",
       SimulatedSystem::ProfileWrites::kCached, kFileAttributeNormal},
      {false, ", WININIT.INI read-only", SimulatedSystem::ProfileWrites::kWrittenThrough,
       kFileAttributeReadOnly},
  };
  struct Case {
    const char* name;
    const char* target;
  } cases[] = {{"kt418.sys", "System32\\Drivers\\kt418.sys"},
               {"kt418.inf", "inf\\kt418.inf"},
               {"rdWatch.exe", "system\\rdWatch.exe"},
               {"kt418Hub.inf", "inf\\kt418Hub.inf"}};
  for (const Case& c : cases) {
    for (const auto& run : runs) {
      bool silent = run.silent;
      SimulatedSystem sim;
      BuildTypicalMachine(sim, Windows::kMe);
      sim.SetProfileWrites(run.writes);
      sim.AddFile(kWininit, kOtherLines, run.attributes);
      std::string target = HoldEarlierFile(sim, c.name, c.target);
      sim.AnswerNextBox(kIdYes);
      sim.AnswerNextBox(kIdNo);
      std::string what = std::string(c.name) + (silent ? ", silent" : ", interactive") + run.what;
      EXPECT_EQ(0u, RunSetupWith(
                        sim, silent ? std::vector<std::string>{"-s"} : std::vector<std::string>{}))
          << what;
      EXPECT_EQ(silent ? 0u : 2u, sim.boxes().size()) << what;
      EXPECT_EQ("earlier " + std::string(c.name), sim.FileContent(target)) << what;
      EXPECT_EQ(MediaContent(c.name), sim.FileContent(target + ".new")) << what;
      std::vector<std::string> expected = {
          "NUL=C:\\TEMP\\A.TMP", "C:\\X.DLL=C:\\TEMP\\X.NEW",
          sim.ShortFormOf(target) + "=" + sim.ShortFormOf(target + ".new")};
      EXPECT_EQ(expected, RenameLines(sim, "C:\\WINDOWS")) << what;

      if (run.writes == SimulatedSystem::ProfileWrites::kCached) {
        sim.NextStartAfterPowerCut();
      } else {
        sim.NextStart();
      }
      EXPECT_EQ(MediaContent(c.name), sim.FileContent(target)) << what;
      EXPECT_FALSE(sim.FileExists(target + ".new")) << what;
    }
  }
}

// Other programs' lines stay in order whether or not the system's section read
// gives comments; a comment it leaves out cannot be written back.
TEST(NextStart, OtherProgramsLinesStayWhateverTheSystemReadsOfComments) {
  for (auto reading :
       {SimulatedSystem::CommentReading::kReturned, SimulatedSystem::CommentReading::kLeftOut}) {
    SimulatedSystem sim;
    BuildTypicalMachine(sim, Windows::kMe);
    sim.SetCommentReading(reading);
    sim.AddFile(kWininit, "[rename]\r\n; the user's note\r\nNUL=C:\\TEMP\\A.TMP\r\n");
    HoldEarlierFile(sim, "rdWatch.exe", "system\\rdWatch.exe");
    EXPECT_EQ(0u, RunSetupWith(sim, {"-s"}));
    std::vector<std::string> expected = {
        "NUL=C:\\TEMP\\A.TMP",
        sim.ShortFormOf(kMonitor) + "=" + sim.ShortFormOf(std::string(kMonitor) + ".new")};
    if (reading == SimulatedSystem::CommentReading::kReturned) {
      expected.insert(expected.begin(), "; the user's note");
    }
    EXPECT_EQ(expected, RenameLines(sim, "C:\\WINDOWS"));
  }
}

// Where the system renames a running program's file (NT, the emulator), the
// earlier file is set aside while its program runs on, and goes at the next
// start; when it could not be entered, the run ends with 11, and a retry
// before the start enters it. The setup's own copy is placed as a package file is.
TEST(NextStart, ASetAsideFileStillRunningGoesAtTheNextStart) {
  struct Case {
    const char* name;  // on the media
    const char* target;
    Op failing;  // in the first run, on the set-aside file; ExitProcess for none
    uint32_t status;
  } cases[] = {
      {"rdWatch.exe", "system\\rdWatch.exe", Op::ExitProcess, 0},
      {"rdWatch.exe", "system\\rdWatch.exe", Op::GetShortPathNameA, 11},
      {"unPlug.exe", "system\\unPlug.exe", Op::GetFileAttributesA, 0},
      {"kt418.sys", "System32\\Drivers\\kt418.sys", Op::WritePrivateProfileSectionA, 11},
      {"SETUP.EXE", "system\\kt418Rmv.exe", Op::GetShortPathNameA, 11},
  };
  for (const Case& c : cases) {
    SimulatedSystem sim;
    BuildTypicalMachine(sim, Windows::k98);
    sim.AddFile("D:\\WIN98\\" + std::string(c.name), MediaContent(c.name));
    sim.SetRunningFileRename(SimulatedSystem::RunningFileRename::kAllowed);
    std::string target = HoldEarlierFile(sim, c.name, c.target);
    std::string setAside = target + ".old";
    std::string what = std::string(c.name) + ", failing " + OpName(c.failing);
    if (c.failing != Op::ExitProcess) {
      sim.Fail(c.failing, c.failing == Op::WritePrivateProfileSectionA ? kWininit : setAside);
    }
    EXPECT_EQ(c.status, RunSetupWith(sim, {"-s"})) << what;
    if (c.failing != Op::ExitProcess) {
      sim.StartAnotherRun();
      EXPECT_EQ(0u, RunSetupWith(sim, {"-s"})) << what << ", the retry";
    }
    EXPECT_EQ(MediaContent(c.name), sim.FileContent(target)) << what;
    EXPECT_TRUE(sim.IsRunning(setAside)) << what;
    EXPECT_EQ(std::vector<std::string>{"NUL=" + sim.ShortFormOf(setAside)},
              RenameLines(sim, "C:\\WINDOWS"))
        << what;
    sim.NextStart();
    EXPECT_FALSE(sim.FileExists(setAside)) << what;
    EXPECT_EQ(MediaContent(c.name), sim.FileContent(target)) << what;
  }
}

// Runs before the restart, and runs after one cut short, leave one line per
// target and no replacement that no line names.
TEST(NextStart, ALaterRunLeavesOneLinePerTargetAndNoStaleReplacement) {
  struct Case {
    const char* what;
    const char* leftReplacement;  // "" for none
    bool leftLine;
    bool stillInUse;
  } cases[] = {
      {"a second run before the restart", "", false, true},
      {"a replacement left without its line", "left new monitor", false, true},
      {"a replacement and its line left, the file free now", "left new monitor", true, false},
  };
  for (const Case& c : cases) {
    SimulatedSystem sim;
    BuildTypicalMachine(sim, Windows::kMe);
    sim.AddFile(kWininit, kOtherLines);
    HoldEarlierFile(sim, "rdWatch.exe", "system\\rdWatch.exe");
    std::string replacement = std::string(kMonitor) + ".new";
    if (*c.leftReplacement != '\0') {
      sim.AddFile(replacement, c.leftReplacement, kFileAttributeReadOnly);
    } else {
      ASSERT_EQ(0u, RunSetupWith(sim, {"-s"})) << c.what;
    }
    std::string line = sim.ShortFormOf(kMonitor) + "=" + sim.ShortFormOf(replacement);
    if (c.leftLine) {
      sim.AddFile(kWininit, std::string(kOtherLines) + line + "\r\n");
    }
    if (!c.stillInUse) {
      // The monitor has ended, and what a cut run left is there again.
      sim.NextStart();
      sim.AddFile(kWininit, std::string(kOtherLines) + line + "\r\n");
      sim.AddFile(replacement, c.leftReplacement);
    }
    sim.StartAnotherRun();
    EXPECT_EQ(0u, RunSetupWith(sim, {"-s"})) << c.what;
    std::vector<std::string> expected = {"NUL=C:\\TEMP\\A.TMP", "C:\\X.DLL=C:\\TEMP\\X.NEW"};
    if (c.stillInUse) expected.push_back(line);
    EXPECT_EQ(expected, RenameLines(sim, "C:\\WINDOWS")) << c.what;
    EXPECT_EQ(c.stillInUse, sim.FileExists(replacement)) << c.what;
    EXPECT_EQ(MediaContent("rdWatch.exe"), sim.FileContent(c.stillInUse ? replacement : kMonitor))
        << c.what;
  }
}

// Where the new copy cannot be laid beside the file in use, or its line not
// written, the row's policy answers as for any copy that fails, no copy stays
// beside, and WININIT.INI stays byte for byte as it was.
TEST(NextStart, AReplacementThatCannotBeEnteredFollowsTheRowsPolicy) {
  struct Case {
    const char* what;
    const char* name;
    const char* target;
    uint32_t status;
    void (*disturb)(SimulatedSystem&, const std::string& target);
  } cases[] = {
      {"WININIT.INI cannot be written", "kt418.sys", "System32\\Drivers\\kt418.sys", 1,
       [](SimulatedSystem& sim, const std::string&) { sim.Fail(Op::WritePrivateProfileSectionA); }},
      {"WININIT.INI is read-only and stays so", "rdWatch.exe", "system\\rdWatch.exe", 9,
       [](SimulatedSystem& sim, const std::string&) {
         sim.AddFile(kWininit, kOtherLines, kFileAttributeReadOnly);
         sim.Fail(Op::SetFileAttributesA, kWininit);
       }},
      {"no short form of the replacement", "kt418.inf", "inf\\kt418.inf", 1,
       [](SimulatedSystem& sim, const std::string& target) {
         sim.Fail(Op::GetShortPathNameA, target + ".new");
       }},
      {"a folder of the user's at the replacement's name", "kt418.cat", "inf\\kt418.cat", 9,
       [](SimulatedSystem& sim, const std::string& target) {
         sim.AddFile(target + ".new\\notes.txt", "the user's");
       }},
      // Rewriting a section read in part would lose the lines not read.
      {"a [rename] section too long to read whole", "kt418.sys", "System32\\Drivers\\kt418.sys", 1,
       [](SimulatedSystem& sim, const std::string&) {
         std::string text = kOtherLines;
         for (int i = 10000; i < 12000; ++i)
           text += "NUL=C:\\TEMP\\F" + std::to_string(i) + ".TMP\r\n";
         sim.AddFile(kWininit, text);
       }},
  };
  for (const Case& c : cases) {
    SimulatedSystem sim;
    BuildTypicalMachine(sim, Windows::kMe);
    sim.AddFile(kWininit, kOtherLines);
    std::string target = HoldEarlierFile(sim, c.name, c.target);
    c.disturb(sim, target);
    std::string wininit = sim.FileContent(kWininit);
    sim.AnswerNextBox(kIdYes);
    sim.AnswerNextBox(kIdNo);
    sim.AnswerNextBox(kIdNo);
    EXPECT_EQ(c.status, RunSetupWith(sim, {})) << c.what;
    ASSERT_LE(2u, sim.boxes().size()) << c.what;
    EXPECT_EQ(c.status == 1 ? "Error!!!" : "Warning!!!", sim.boxes()[1].caption) << c.what;
    EXPECT_EQ("earlier " + std::string(c.name), sim.FileContent(target)) << c.what;
    EXPECT_FALSE(sim.FileExists(target + ".new")) << c.what;
    EXPECT_TRUE(wininit == sim.FileContent(kWininit)) << c.what << ": WININIT.INI changed";
  }
}

}  // namespace
