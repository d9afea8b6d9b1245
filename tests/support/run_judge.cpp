#include "support/run_judge.h"

#include <algorithm>
#include <set>
#include <sstream>

#include "support/package_files.h"

namespace {

// The judge states what must hold in its own words: the keys, paths and texts
// it judges by are its own, here, written out as a reader's system shows
// them, never taken from the setup's code, so that a change there cannot
// change what is judged. The system's own keys come from the simulator.
const char* const kPackages[] = {"scbase", "smclib"};
const char kCaption[] = "Vantrel USB Smart Card Reader Setup Utility";
const char kOwnCopy[] = "\\system\\kt418Rmv.exe";  // under the Windows directory
const char kRemovalEntryKey[] =
    "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vantrel USB Smart Card Reader";
const char kSetupKey[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Setup";
const char kServiceKey[] = "HKLM\\System\\CurrentControlSet\\Services\\SCardSvr";
const char kReaderKey[] = "HKLM\\Enum\\USB\\VID_1E2D&PID_4182";
const char kHubKey[] = "HKLM\\Enum\\USB\\VID_1E2D&PID_4181";  // on Windows Me

std::string Result(const SimulatedSystem::Call& call) {
  return call.text.substr(call.text.rfind(" = ") + 3);
}

// Whether the call read a profile section too long for its buffer.
bool SectionCut(const SimulatedSystem::Call& call) {
  return call.op == Op::GetPrivateProfileSectionA &&
         std::stoul(call.result) + 2 == std::stoul(call.values[1]);
}

// A blank, for a command line, is a space or a tab.
bool HoldsBlank(const std::string& text) { return text.find_first_of(" \t") != std::string::npos; }

// Whether the Add/Remove Programs entry runs the copy with -u, quoted when it holds a blank.
bool EntryRunsTheCopy(const SimulatedSystem& sim, const std::string& copy) {
  std::string quoted = HoldsBlank(copy) ? "\"" + copy + "\"" : copy;
  const SimulatedSystem::Value* command =
      sim.FindValue(std::string(kRemovalEntryKey), "UninstallString");
  return command != nullptr && command->data == quoted + " -u" + '\0';
}

std::string FixedLength(const std::string& text, size_t length) {
  std::string data = text + '\0';
  if (data.size() < length) data.resize(length, '\0');
  return data;
}

// The values that hold a path in a fixed length: "SourcePath" and "RDWatch".
struct FixedValue {
  const char* key;
  const char* name;
  std::string text;
  size_t length;
};

std::vector<FixedValue> FixedValues(const std::string& windowsDirectory) {
  return {{kSetupKey, "SourcePath", windowsDirectory + "\\inf", 260},
          {kRunServicesOnceKey, "RDWatch", windowsDirectory + "\\system\\rdWatch.exe", 256}};
}

bool HoldsWhole(const SimulatedSystem::Value& value, const FixedValue& fixed) {
  return value.type == kRegSz && value.data == FixedLength(fixed.text, fixed.length);
}

class Judge {
 public:
  Judge(const SimulatedSystem& sim, const RunFacts& facts, uint32_t status)
      : sim_(sim), facts_(facts), status_(status) {}

  std::vector<std::string> Verdict() {
    // A run the power cut short has no end of its own to judge.
    if (!sim_.powerWasCut()) CheckEnd();
    CheckPaths();
    CheckCommands();
    CheckTexts();
    CheckFixedLengthValues();
    // A run that changed nothing (one refused on the NT family) leaves each
    // earlier file where an interrupted run may have set it aside; a removal
    // takes them away.
    if (ChangedTheSystem() && !facts_.removal) CheckEarlierFiles();
    return broken_;
  }

 private:
  void Rule(bool kept, const std::string& rule) {
    if (!kept) broken_.push_back(rule);
  }

  bool ChangedTheSystem() const {
    for (const auto& call : sim_.calls()) {
      if (ChangesTheSystem(call.op)) return true;
    }
    return false;
  }

  bool Has(Op op) const {
    for (const auto& call : sim_.calls()) {
      if (call.op == op) return true;
    }
    return false;
  }

  // What the run's calls tell of how it ended, gathered before any rule of
  // its end is judged.
  struct EndFacts {
    bool exited = false;            // it called ExitProcess
    bool closeFailed = false;       // a key's close failed, though it was asked for
    bool ntFamily = false;          // the system said it is of the NT family when first asked
    bool anotherSetup = false;      // another setup held the one-setup name
    bool unreadable = false;        // a directory could not be read whole
    bool abortCopyFailed = false;   // the driver or its information file neither placed nor entered
    bool abortUnsure = false;       // a fault after their last copy left their place unsure
    bool extractionFailed = false;  // an extraction could not be run or ended with non-zero
    bool changed = false;           // a call changed the system
    bool baseFailedShown = false;   // the last box asked for is the base-component failure
    bool wroteEntry = false;        // it wrote the Add/Remove Programs entry's command
    bool registered = false;        // it reached the start-up registration
  };

  EndFacts GatherEnd() const {
    const auto& calls = sim_.calls();
    EndFacts end;
    end.exited = Has(Op::ExitProcess);
    end.changed = ChangedTheSystem();
    for (const auto& call : calls) {
      if (call.op != Op::GetVersionExA) continue;
      end.ntFamily = call.result == "1" && sim_.platformId() == kVerPlatformWin32Nt;
      break;
    }
    for (size_t i = 0; i + 1 < calls.size(); ++i) {
      end.anotherSetup =
          end.anotherSetup || (calls[i].op == Op::CreateMutexA && calls[i].result != "0" &&
                               calls[i + 1].op == Op::GetLastError &&
                               calls[i + 1].result == std::to_string(kErrorAlreadyExists));
    }
    // The call after which a fault leaves the run unsure that the driver or
    // its setup information file keeps its place: their last copy.
    size_t lastAbortCopy = calls.size();
    std::map<std::string, std::string> lastExtractionStart;  // command line -> result
    std::string lastBox;  // asked for, whether or not a box could be shown
    for (size_t i = 0; i < calls.size(); ++i) {
      const auto& call = calls[i];
      end.closeFailed |= call.op == Op::RegCloseKey && call.injected;
      if ((call.op == Op::GetCurrentDirectoryA && call.text.find("(256)") != std::string::npos) ||
          call.op == Op::GetWindowsDirectoryA) {
        unsigned long length = std::stoul(Result(call));
        end.unreadable = end.unreadable || length == 0 || length >= 256;
      }
      if (call.op == Op::CopyFileA && call.paths.size() == 2 &&
          (call.paths[1] == facts_.windowsDirectory + "\\" + kPackageFiles[0].second ||
           call.paths[1] == facts_.windowsDirectory + "\\" + kPackageFiles[1].second)) {
        if (Result(call) == "1") lastAbortCopy = i;
        if (Result(call) == "0") {
          end.abortCopyFailed = end.abortCopyFailed || !EnteredForTheNextStart(call.paths[1], i);
        }
      }
      if (call.op == Op::GetExitCodeProcess && Result(call) != "1, status 0") {
        end.extractionFailed = true;
      }
      if (call.op == Op::CreateProcessA &&
          call.values[0].find("  /q /c /t:") != std::string::npos) {
        lastExtractionStart[call.values[0]] = call.result;
      }
      if (call.op == Op::MessageBoxA) lastBox = call.text;
      end.wroteEntry =
          end.wroteEntry || (call.op == Op::RegSetValueExA && call.values[1] == "UninstallString" &&
                             call.result == "0");
      end.registered = end.registered || (call.op == Op::RegOpenKeyA &&
                                          call.text.find("RunServicesOnce") != std::string::npos);
    }
    for (size_t i = lastAbortCopy; i < calls.size(); ++i) {
      end.abortUnsure = end.abortUnsure || calls[i].injected || SectionCut(calls[i]);
    }
    // An extraction whose every start failed could not be run.
    for (const auto& start : lastExtractionStart) {
      end.extractionFailed = end.extractionFailed || start.second == "0";
    }
    end.baseFailedShown =
        lastBox.find("\"SmartCard Base Component install Failed!.\\n\", 0)") != std::string::npos;
    return end;
  }

  // The run's end: the status names what happened, and nothing follows an early end.
  void CheckEnd() {
    const auto& calls = sim_.calls();
    const EndFacts end = GatherEnd();
    Rule(status_ <= 12, "the status is one of the table's: " + std::to_string(status_));
    Rule(!end.exited || calls.back().op == Op::ExitProcess, "nothing runs after ExitProcess");
    // Each key is opened and closed within the step that uses it; a close
    // that failed was still asked for.
    Rule(sim_.openKeyCount() == 0 || end.closeFailed,
         "every key the run opened is closed: " + std::to_string(sim_.openKeyCount()) + " open");
    Rule((status_ == 6) == end.ntFamily, "status 6 exactly when the system is of the NT family");
    if (status_ == 6) {
      for (const auto& call : calls) {
        Rule(call.op == Op::GetVersionExA || call.op == Op::MessageBoxA,
             "on the NT family nothing but the version query and the refusal: " + call.text);
      }
    }
    Rule((status_ == 5) == end.anotherSetup, "status 5 exactly when another setup held the name");
    Rule((status_ == 4) == end.unreadable,
         "status 4 exactly when a directory could not be read whole");
    Rule(status_ != 4 || !end.changed, "status 4 changes nothing");
    Rule(status_ != 5 || (end.exited && !end.changed && !Has(Op::MessageBoxA)),
         "status 5 ends at once: nothing asked, shown or changed");
    Rule(!end.abortCopyFailed || status_ == 1,
         "status 1 when the driver or its setup information file was not placed");
    Rule(status_ != 1 || end.abortCopyFailed || end.abortUnsure,
         "status 1 only when the driver or its setup information file was not placed, or a "
         "fault or a [rename] section too long to read after its copy left its place unsure");
    Rule((status_ == 3) == end.extractionFailed,
         "status 3 exactly when an extraction could not be run or did not end with status 0");
    Rule((status_ == 2) == (end.baseFailedShown && !end.exited),
         "status 2 exactly when the base-component failure was shown and the run returned");
    if (status_ == 1 || status_ == 3 || status_ == 4) Rule(end.exited, "an early end is immediate");
    if (status_ == 2) {
      for (const auto& call : calls) {
        Rule(call.text.find("RunServicesOnce") == std::string::npos,
             "no start-up registration after the base components failed: " + call.text);
      }
      Rule(sim_.restartRequests().empty(), "no restart after the base components failed");
    }
    if (facts_.removal) {
      CheckRemovalEnd(end.changed);
      return;
    }
    Rule(status_ != 8, "status 8 only for a removal");
    const bool entered =
        sim_.FindValue(std::string(kRemovalEntryKey), "UninstallString") != nullptr;
    // An earlier installation's entry, naming its own copy, may stand.
    if (status_ == 7) Rule(!end.wroteEntry, "status 7 only when the run wrote no entry");
    if (status_ == 0 && end.changed) {
      Rule(end.registered, "a completed run reaches the start-up registration");
      Rule(end.wroteEntry && entered, "a completed run leaves its Add/Remove Programs entry");
    }
  }

  // A removal ends with 0, 8 or 12, unless it ended before it began (4, 5,
  // 6). 0 after a Yes, or silently, when it left nothing; 8 when something
  // stays, or a fault left the removal unable to tell; 12 when the question
  // could not be shown, having changed nothing.
  void CheckRemovalEnd(bool changed) {
    Rule(status_ == 0 || status_ == 4 || status_ == 5 || status_ == 6 || status_ == 8 ||
             status_ == 12,
         "a removal's status is 0, 4, 5, 6, 8 or 12: " + std::to_string(status_));
    bool unshown = false, declined = false;
    for (const auto& call : sim_.calls()) {
      if (call.op != Op::MessageBoxA || call.text.find("Remove the") == std::string::npos) continue;
      unshown = call.result == "0";
      declined = call.result != "0" && call.result != std::to_string(kIdYes);
    }
    Rule((status_ == 12) == unshown, "status 12 exactly when the question could not be shown");
    if (status_ == 12) Rule(!changed, "status 12 changes nothing");
    std::vector<std::string> left = LeftByRemoval(sim_, facts_.windowsDirectory, facts_.installed);
    if (status_ == 8)
      Rule(!left.empty() || CouldNotTell(sim_), "status 8 only when something stays");
    if (status_ != 0 || declined || !changed) return;
    std::string stays;
    for (const std::string& thing : left) stays += " " + thing;
    Rule(stays.empty(), "a removal with status 0 leaves nothing of its own:" + stays);
  }

  // Whether the run wrote WININIT.INI after its call at index from, and the
  // replacement of target waits beside it, entered there.
  bool EnteredForTheNextStart(const std::string& target, size_t from) const {
    std::string replacement = target + ".new";
    std::vector<std::string> lines = RenameLines(sim_, facts_.windowsDirectory);
    std::string line = sim_.ShortFormOf(target) + "=" + sim_.ShortFormOf(replacement);
    if (!sim_.FileExists(replacement) ||
        std::find(lines.begin(), lines.end(), line) == lines.end()) {
      return false;
    }
    const auto& calls = sim_.calls();
    for (size_t i = from + 1; i < calls.size(); ++i) {
      if (calls[i].op == Op::WritePrivateProfileSectionA && calls[i].result == "1") return true;
    }
    return false;
  }

  // Every file operation names one of the files the setup means.
  void CheckPaths() {
    std::set<std::string> meant;
    const std::string& w = facts_.windowsDirectory;
    for (const auto& file : AllPackageFiles()) {
      meant.insert(w + "\\" + file.second);
      meant.insert(w + "\\" + file.second + ".old");
      meant.insert(w + "\\" + file.second + ".new");
      meant.insert(facts_.sourceDir + "\\" + file.first);
    }
    meant.insert(w + "\\inf\\drvidx.bin");
    meant.insert(w + "\\inf\\drvdata.bin");
    meant.insert(w + "\\WININIT.INI");
    meant.insert(sim_.modulePath());
    for (const char* own : {"", ".old", ".new"}) meant.insert(w + kOwnCopy + own);
    for (const char* package : kPackages) {
      meant.insert(w + "\\temp\\" + package);
      meant.insert(w + "\\temp\\" + package + ".exe");
      meant.insert(facts_.currentDirectory + "\\..\\SCard98\\" + package + ".exe");
    }
    for (const auto& call : sim_.calls()) {
      for (const auto& path : call.paths) {
        Rule(meant.count(path) != 0, "a file operation on a path not meant: " + call.text);
      }
    }
  }

  // Every program started is the one its command means, with a blank-free Windows directory.
  void CheckCommands() {
    const std::string& w = facts_.windowsDirectory;
    std::string commandForm = HoldsBlank(w) ? sim_.ShortFormOf(w) : w;
    std::set<std::string> meant;
    for (const char* package : kPackages) {
      std::string temp = commandForm + "\\temp\\" + package;
      meant.insert("deltree /Y " + temp);
      meant.insert(temp + ".exe  /q /c /t:" + temp);
    }
    for (const auto& started : sim_.started()) {
      Rule(meant.count(started.commandLine) != 0,
           "a command not meant was started: " + started.commandLine);
      Rule(!HoldsBlank(commandForm),
           "no command carries a Windows directory with a blank: " + started.commandLine);
      bool extraction = started.commandLine.compare(0, 8, "deltree ") != 0;
      std::string program = started.program;
      Rule(extraction ? program == sim_.ResolvedPath(started.commandLine.substr(
                                       0, started.commandLine.find("  /q")))
                      : program.size() >= 11 &&
                            program.compare(program.size() - 11, 11, "deltree.exe") == 0,
           "the command started its own program: " + started.commandLine + " ran " + program);
    }
  }

  // Every box shows one of the setup's texts, with its paths whole.
  void CheckTexts() {
    const std::string& w = facts_.windowsDirectory;
    std::set<std::string> meant = {
        "This program will install the driver of Vantrel USB Smart Card Reader\n",
        "SmartCard Base Component install Failed!.\n",
        "You must restart your computer before the new hardware will take effect. Do you want to "
        "reboot the system?",
        "This setup is for Windows 98 and Windows Me. Nothing has been changed on this "
        "computer.\n",
        "Remove the Vantrel USB Smart Card Reader driver from this computer?\n",
        "The Vantrel USB Smart Card Reader driver is not installed on this computer.\n"};
    auto attributeFailed = [](const std::string& path) {
      return "Warning!!!   Change file \"" + path + "\" attribute failed!";
    };
    for (const auto& file : AllPackageFiles()) {
      std::string target = w + "\\" + file.second;
      meant.insert("Copy file \"" + facts_.sourceDir + "\\" + file.first + "\" to \"" + target +
                   "\" failed\n");
      meant.insert(attributeFailed(target));
    }
    meant.insert(attributeFailed(w + "\\inf\\drvidx.bin"));
    meant.insert(attributeFailed(w + "\\inf\\drvdata.bin"));
    for (const auto& box : sim_.boxes()) {
      Rule(meant.count(box.text) != 0, "a box text that is not the setup's, whole: " + box.text);
      bool copyFailure = box.text.compare(0, 9, "Copy file") == 0;
      Rule(copyFailure ? box.caption == "Error!!!" || box.caption == "Warning!!!"
                       : box.caption == kCaption,
           "the box's caption fits its text: " + box.caption);
    }
  }

  void CheckFixedLengthValues() {
    for (const FixedValue& fixed : FixedValues(facts_.windowsDirectory)) {
      const SimulatedSystem::Value* value = sim_.FindValue(fixed.key, fixed.name);
      if (value == nullptr) continue;
      Rule(HoldsWhole(*value, fixed),
           std::string(fixed.name) + " holds its path whole in its fixed length");
    }
  }

  // An earlier file is replaced, or kept: at its place, or under its set-aside
  // name when putting it back failed too, the power was cut, or the run ended
  // before it came to that file (an earlier run cut short set it aside).
  void CheckEarlierFiles() {
    for (const auto& earlier : facts_.earlierFiles) {
      const std::string& target = earlier.first;
      std::string source = facts_.sourceDir + target.substr(target.rfind('\\'));
      bool replaced = sim_.FileExists(target) && sim_.FileExists(source) &&
                      sim_.FileContent(target) == sim_.FileContent(source);
      bool restoreFailed = false, touched = false;
      for (const auto& call : sim_.calls()) {
        for (const auto& path : call.paths) touched = touched || path == target;
        if (!call.injected || call.paths.empty()) continue;
        restoreFailed = restoreFailed || (call.op == Op::MoveFileA && call.paths[1] == target);
      }
      bool kept = (sim_.FileExists(target) && sim_.FileContent(target) == earlier.second) ||
                  ((restoreFailed || sim_.powerWasCut() || !touched) &&
                   sim_.FileContent(target + ".old") == earlier.second);
      Rule(replaced || kept, "the earlier file at " + target + " is replaced or kept whole");
    }
  }

  const SimulatedSystem& sim_;
  const RunFacts& facts_;
  uint32_t status_;
  std::vector<std::string> broken_;
};

}  // namespace

std::vector<std::string> RenameLines(const SimulatedSystem& sim, const std::string& windows) {
  return SimulatedProfiles::SectionLines(sim.FileContent(windows + "\\WININIT.INI"), "rename");
}

bool ChangesTheSystem(Op op) {
  switch (op) {
    case Op::SetFileAttributesA:
    case Op::DeleteFileA:
    case Op::CopyFileA:
    case Op::MoveFileA:
    case Op::RegCreateKeyExA:
    case Op::RegSetValueExA:
    case Op::RegDeleteKeyA:
    case Op::RegDeleteValueA:
    case Op::CreateProcessA:
    case Op::WinExec:
    case Op::InstallHinfSection:
    case Op::ExitWindowsEx:
    case Op::WritePrivateProfileSectionA:
    case Op::WritePrivateProfileStringA:  // the flush, which puts a cached file on the disk
      return true;
    default:
      return false;
  }
}

std::vector<std::string> BrokenRunRules(const SimulatedSystem& sim, const RunFacts& facts,
                                        uint32_t status) {
  return Judge(sim, facts, status).Verdict();
}

RunFacts FactsOfMachine(const SimulatedSystem& sim, const std::string& currentDirectory,
                        const std::string& windowsDirectory) {
  RunFacts facts;
  facts.currentDirectory = currentDirectory;
  facts.sourceDir = sim.EndsWithSeparator(currentDirectory)
                        ? currentDirectory.substr(0, currentDirectory.size() - 1)
                        : currentDirectory;
  facts.windowsDirectory = windowsDirectory;
  facts.installed = sim.KeyExists(std::string(kRemovalEntryKey)) ||
                    !LeftByRemoval(sim, windowsDirectory, false).empty();
  for (const auto& file : AllPackageFiles()) {
    std::string target = windowsDirectory + "\\" + file.second;
    if (sim.FileExists(target)) {
      facts.earlierFiles[target] = sim.FileContent(target);
    } else if (sim.FileExists(target + ".old")) {
      facts.earlierFiles[target] = sim.FileContent(target + ".old");
    }
  }
  return facts;
}

std::vector<std::string> BrokenRecoveryRules(const SimulatedSystem& sim, const RunFacts& facts,
                                             bool windowsMe, uint32_t status) {
  std::vector<std::string> broken;
  auto rule = [&](bool kept, const std::string& text) {
    if (!kept) broken.push_back("after recovery: " + text);
  };
  const std::string& w = facts.windowsDirectory;
  rule(status == 0, "status 0, not " + std::to_string(status));
  // A file in use gets its new copy at the next start, which WININIT.INI tells.
  std::vector<std::string> pending = RenameLines(sim, w);
  auto entered = [&](const std::string& line) {
    return std::find(pending.begin(), pending.end(), line) != pending.end();
  };
  for (const auto& file : windowsMe ? AllPackageFiles() : kPackageFiles) {
    std::string target = w + "\\" + file.second;
    std::string source = facts.sourceDir + "\\" + file.first;
    std::string replacement = target + ".new", setAside = target + ".old";
    bool waiting = sim.FileContent(replacement) == sim.FileContent(source) &&
                   entered(sim.ShortFormOf(target) + "=" + sim.ShortFormOf(replacement));
    rule((sim.FileExists(target) && sim.FileContent(target) == sim.FileContent(source)) || waiting,
         target + " holds the media's file, or its replacement waits for the next start");
    rule(!sim.FileExists(setAside) || entered("NUL=" + sim.ShortFormOf(setAside)),
         "no set-aside file beside " + target + ", unless it goes at the next start");
  }
  for (const char* package : kPackages) {
    std::string staged = w + "\\temp\\" + package;
    rule(!sim.FileExists(staged + ".exe") && !sim.DirectoryExists(staged),
         std::string("nothing staged or extracted of ") + package + " is left");
  }
  int installed = 0;
  for (const auto& install : sim.sectionInstalls()) installed += install.sectionFound ? 1 : 0;
  rule(installed == 2, "both sections installed");
  for (const FixedValue& fixed : FixedValues(w)) {
    const SimulatedSystem::Value* value = sim.FindValue(fixed.key, fixed.name);
    rule(value != nullptr && HoldsWhole(*value, fixed), std::string(fixed.name) + " set");
  }
  const SimulatedSystem::Value* start = sim.FindValue(kServiceKey, "Start");
  const SimulatedSystem::Value* load = sim.FindValue(kServiceKey, "DrvLoad");
  rule(start != nullptr && start->data == std::string("\x02\0\0\0", 4) && load != nullptr &&
           load->data == std::string(4, '\0'),
       "SCardSvr starts automatically");
  // The setup's copy, for Add/Remove Programs to run, in place or waiting.
  std::string copy = w + kOwnCopy;
  std::string setup = sim.FileContent(sim.modulePath());
  rule((sim.FileExists(copy) && sim.FileContent(copy) == setup) ||
           (sim.FileContent(copy + ".new") == setup &&
            entered(sim.ShortFormOf(copy) + "=" + sim.ShortFormOf(copy + ".new"))),
       "the setup's copy is in place, or waits for the next start");
  rule(EntryRunsTheCopy(sim, copy), "Add/Remove Programs runs the setup's copy with -u");
  rule(!sim.KeyExists(kReaderKey), "the reader's entries deleted");
  rule(!windowsMe || !sim.KeyExists(kHubKey), "the hub's entries deleted");
  return broken;
}

namespace {

// How often the last start ran the monitor from its placed path.
long MonitorStarts(const SimulatedSystem& sim, const std::string& windowsDirectory) {
  std::string monitor = sim.ResolvedPath(windowsDirectory + "\\system\\rdWatch.exe");
  const auto& started = sim.lastStart();
  return std::count(started.begin(), started.end(), "started " + monitor);
}

// Whether the setup's copy and the entry that runs it are there.
bool Removable(const SimulatedSystem& sim, const std::string& windowsDirectory) {
  std::string copy = windowsDirectory + kOwnCopy;
  return sim.FileContent(copy) == sim.FileContent(sim.modulePath()) && EntryRunsTheCopy(sim, copy);
}

// The files of the setup's own left: staged packages in temp, and earlier
// files set aside or waiting beside the package's files and the setup's copy.
std::vector<std::string> Leftovers(const SimulatedSystem& sim,
                                   const std::string& windowsDirectory) {
  std::vector<std::string> paths;
  for (const char* package : kPackages) {
    paths.push_back(windowsDirectory + "\\temp\\" + package + ".exe");
  }
  std::vector<std::string> targets = {windowsDirectory + kOwnCopy};
  for (const auto& file : AllPackageFiles())
    targets.push_back(windowsDirectory + "\\" + file.second);
  for (const std::string& target : targets) {
    paths.push_back(target + ".old");
    paths.push_back(target + ".new");
  }
  std::vector<std::string> left;
  for (const std::string& path : paths) {
    if (sim.FileExists(path)) left.push_back(path);
  }
  return left;
}

}  // namespace

std::vector<std::string> BrokenRulesAfterTheStart(const SimulatedSystem& sim, const RunFacts& facts,
                                                  bool windowsMe) {
  std::vector<std::string> broken;
  auto rule = [&](bool kept, const std::string& text) {
    if (!kept) broken.push_back("after the next start: " + text);
  };
  const std::string& w = facts.windowsDirectory;
  std::string wininit = sim.FileContent(w + "\\WININIT.INI");
  for (const auto& file : windowsMe ? AllPackageFiles() : kPackageFiles) {
    std::string target = w + "\\" + file.second;
    std::string source = facts.sourceDir + "\\" + file.first;
    rule(sim.FileExists(target) && sim.FileContent(target) == sim.FileContent(source),
         target + " holds the media's file");
    for (const char* own : {".old", ".new"}) {
      rule(!sim.FileExists(target + own), "no " + std::string(own) + " file beside " + target);
    }
  }
  rule(!sim.FileExists(w + "\\WININIT.INI"), "WININIT.INI was applied, holding no line of ours");
  rule(MonitorStarts(sim, w) == 1, "the start ran the monitor from its placed path, once");
  rule(Removable(sim, w), "the setup's copy and its Add/Remove Programs entry are there");
  rule(Leftovers(sim, w).empty(), "nothing staged or set aside is left");
  return broken;
}

bool CouldNotTell(const SimulatedSystem& sim) {
  for (const auto& call : sim.calls()) {
    if (call.injected || SectionCut(call)) return true;
  }
  return false;
}

bool AnsweredNo(const SimulatedSystem& sim) {
  for (const auto& call : sim.calls()) {
    if (call.op == Op::MessageBoxA) return call.result == std::to_string(kIdNo);
  }
  return false;
}

void StartAfter(SimulatedSystem& sim, bool profileCache) {
  if (profileCache) {
    sim.NextStartAfterPowerCut();
  } else {
    sim.NextStart();
  }
}

std::vector<std::string> BrokenStatusRulesAfterTheStart(const SimulatedSystem& sim,
                                                        const RunFacts& facts, bool windowsMe,
                                                        uint32_t status, bool unsure) {
  if (status == 0) return BrokenRulesAfterTheStart(sim, facts, windowsMe);
  const std::string& w = facts.windowsDirectory;
  bool filesPlaced = true;
  for (const auto& file : windowsMe ? AllPackageFiles() : kPackageFiles) {
    std::string target = w + "\\" + file.second;
    filesPlaced = filesPlaced && sim.FileExists(target) &&
                  sim.FileContent(target) == sim.FileContent(facts.sourceDir + "\\" + file.first);
  }
  std::vector<std::string> broken;
  auto names = [&](uint32_t named, bool shortfall, const char* what) {
    if (status == named && !shortfall) {
      broken.push_back("after the next start: status " + std::to_string(named) + " names " + what +
                       ", which is not so");
    }
  };
  // A run unsure that no line deletes a file it copied counts it as not placed,
  // and one unsure that a file of its own is gone counts it as staying.
  names(9, !filesPlaced || unsure, "a file of the package not placed");
  names(10, MonitorStarts(sim, w) == 0, "the monitor not started");
  names(11, !Leftovers(sim, w).empty() || unsure, "a file of the setup's own left");
  names(7, !Removable(sim, w), "no copy or entry for Add/Remove Programs");
  return broken;
}

namespace {

// The reader's USB device entries that the setup deletes: the hub
// function's on Windows Me only.
std::vector<std::string> ReaderEntries(const SimulatedSystem& sim) {
  std::vector<std::string> entries = {kReaderKey};
  if (sim.IsWindowsMe()) entries.push_back(kHubKey);
  return entries;
}

// Every path of the setup's own a removal takes away.
std::vector<std::string> OwnPaths(const std::string& windowsDirectory) {
  std::vector<std::string> targets;
  for (const auto& file : AllPackageFiles())
    targets.push_back(windowsDirectory + "\\" + file.second);
  targets.push_back(windowsDirectory + kOwnCopy);
  std::vector<std::string> paths;
  for (const std::string& target : targets) {
    for (const char* own : {"", ".old", ".new"}) paths.push_back(target + own);
  }
  return paths;
}

}  // namespace

std::vector<std::string> LeftByRemoval(const SimulatedSystem& sim,
                                       const std::string& windowsDirectory, bool installed) {
  std::vector<std::string> pending, left;
  bool read = false;  // WININIT.INI is read only where a file stands
  for (const std::string& path : OwnPaths(windowsDirectory)) {
    if (!sim.FileExists(path)) continue;
    if (!read) pending = RenameLines(sim, windowsDirectory);
    read = true;
    std::string deletion = "NUL=" + sim.ShortFormOf(path);
    if (std::find(pending.begin(), pending.end(), deletion) == pending.end()) left.push_back(path);
  }
  if (sim.KeyExists(std::string(kRemovalEntryKey))) left.push_back("the Add/Remove Programs entry");
  if (!installed) return left;
  if (sim.FindValue(kRunServicesOnceKey, "RDWatch") != nullptr) left.push_back("RDWatch");
  for (const std::string& entry : ReaderEntries(sim)) {
    if (sim.KeyExists(entry)) left.push_back(entry);
  }
  return left;
}

std::vector<std::string> BrokenRulesAfterRemoval(const SimulatedSystem& sim,
                                                 const std::string& windowsDirectory) {
  std::vector<std::string> broken;
  auto rule = [&](bool kept, const std::string& text) {
    if (!kept) broken.push_back("after the removal's start: " + text);
  };
  for (const std::string& path : OwnPaths(windowsDirectory)) {
    rule(!sim.FileExists(path), path + " is gone");
  }
  rule(!sim.KeyExists(std::string(kRemovalEntryKey)), "the Add/Remove Programs entry is gone");
  rule(sim.FindValue(kRunServicesOnceKey, "RDWatch") == nullptr,
       "the monitor is not registered for a start");
  std::string monitor = sim.ResolvedPath(windowsDirectory + "\\system\\rdWatch.exe");
  const auto& started = sim.lastStart();
  rule(std::count(started.begin(), started.end(), "started " + monitor) == 0,
       "the start did not run the monitor");
  return broken;
}

std::vector<std::string> LastingState(const SimulatedSystem& sim) {
  std::string dump = sim.Dump();
  size_t from = dump.find("directories:"), to = dump.find("boxes:");
  std::istringstream lines(dump.substr(from, to - from));
  std::vector<std::string> state;
  bool skippedKey = false;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("  HKLM", 0) == 0) {
      skippedKey =
          line.find("SCardSvr") != std::string::npos || line.find("VID_1E2D") != std::string::npos;
    }
    if (skippedKey || line.find("SourcePath") != std::string::npos ||
        line.find("wininit.bak") != std::string::npos) {
      continue;
    }
    state.push_back(line);
  }
  return state;
}

std::string Differences(const std::vector<std::string>& before,
                        const std::vector<std::string>& after) {
  std::string shown;
  for (const std::string& line : before) {
    if (std::find(after.begin(), after.end(), line) == after.end()) shown += "\n- " + line;
  }
  for (const std::string& line : after) {
    if (std::find(before.begin(), before.end(), line) == before.end()) shown += "\n+ " + line;
  }
  return shown;
}
