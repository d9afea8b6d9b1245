// What was asked of the simulated machine, call by call, and the failures a
// test injects into it.
#pragma once

#include <set>
#include <string>
#include <utility>
#include <vector>

// Every operation the call log knows, under its Win32 name: the enum and
// OpName are made from this one list.
#define SIMULATED_OPS(X)         \
  X(GetCurrentDirectoryA)        \
  X(GetWindowsDirectoryA)        \
  X(GetVersionExA)               \
  X(GetModuleFileNameA)          \
  X(GetFileAttributesA)          \
  X(SetFileAttributesA)          \
  X(DeleteFileA)                 \
  X(CopyFileA)                   \
  X(MoveFileA)                   \
  X(RegOpenKeyA)                 \
  X(RegCreateKeyExA)             \
  X(RegSetValueExA)              \
  X(RegDeleteKeyA)               \
  X(RegDeleteValueA)             \
  X(RegCloseKey)                 \
  X(CreateProcessA)              \
  X(WaitForSingleObject)         \
  X(GetExitCodeProcess)          \
  X(GetStdHandle)                \
  X(CloseHandle)                 \
  X(WinExec)                     \
  X(InstallHinfSection)          \
  X(GetShortPathNameA)           \
  X(GetPrivateProfileSectionA)   \
  X(WritePrivateProfileSectionA) \
  X(WritePrivateProfileStringA)  \
  X(CharPrevA)                   \
  X(MessageBoxA)                 \
  X(ExitWindowsEx)               \
  X(CreateMutexA)                \
  X(GetLastError)                \
  X(SetLastError)                \
  X(ExitProcess)

enum class Op {
#define SIMULATED_OP_ENUMERATOR(name) name,
  SIMULATED_OPS(SIMULATED_OP_ENUMERATOR)
#undef SIMULATED_OP_ENUMERATOR
};

const char* OpName(Op op);

class SimulatedFiles;

// Thrown by the log right after the call the power is cut after; whatever runs
// the process catches it.
struct PowerCut {};

struct SimulatedCall {
  Op op;
  std::string text;  // "Name(arguments) = result", as the log prints it
  std::vector<std::string>
      values;          // its arguments as the platform received them (numbers in decimal)
  std::string result;  // its result as the platform returned it (decimal; "" for none)
  std::vector<std::string> paths;  // the file paths a file operation was given
  int fallibleNumber;              // its number among the calls that can fail, or 0
  bool injected;                   // it failed because a test made it fail
};

// One call as the log keeps it; shownResult is the log line's fuller account
// of the result, when it has one.
struct CallEntry {
  std::string shownArguments;
  std::vector<std::string> values;
  std::string result;
  std::string shownResult = {};
  std::vector<std::string> paths = {};
};

class SimulatedCallLog {
 public:
  // Subjects that are paths match as the file table resolves them.
  explicit SimulatedCallLog(const SimulatedFiles& files) : files_(files) {}

  void Fail(Op op, const std::string& subject) { failures_.emplace_back(op, subject); }
  void FailCallNumber(int number) { failCallNumbers_.insert(number); }
  // Throws PowerCut once the call with this 1-based number is logged (0: never).
  void CutPowerAfterCall(int number) { cutPowerAfter_ = number; }
  // Forgets the calls, the failures to inject and the interruption, for a new process's run.
  void Clear();
  // Counts a call that can fail and says whether a test made it fail: by its
  // number, or by its operation and subject (any subject when none was given).
  bool ShouldFail(Op op, const std::string& subject);
  // Logs the call just made; a fallible one takes the number ShouldFail gave it.
  void Record(Op op, CallEntry entry);

  const std::vector<SimulatedCall>& calls() const { return calls_; }
  int fallibleCalls() const { return fallibleCalls_; }
  void Dump(std::string* out) const;

 private:
  const SimulatedFiles& files_;
  std::vector<std::pair<Op, std::string>> failures_;
  std::set<int> failCallNumbers_;
  int fallibleCalls_ = 0;
  int pendingFallible_ = 0;  // the number of the fallible call being made
  bool pendingInjected_ = false;
  std::vector<SimulatedCall> calls_;
  int cutPowerAfter_ = 0;
};
