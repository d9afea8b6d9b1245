#include "simulator/simulated_call_log.h"

#include "simulator/simulated_files.h"
#include "simulator/simulated_text.h"

const char* OpName(Op op) {
  switch (op) {
    case Op::GetCurrentDirectoryA:
      return "GetCurrentDirectoryA";
    case Op::GetWindowsDirectoryA:
      return "GetWindowsDirectoryA";
    case Op::GetVersionExA:
      return "GetVersionExA";
    case Op::GetModuleFileNameA:
      return "GetModuleFileNameA";
    case Op::GetFileAttributesA:
      return "GetFileAttributesA";
    case Op::SetFileAttributesA:
      return "SetFileAttributesA";
    case Op::DeleteFileA:
      return "DeleteFileA";
    case Op::CopyFileA:
      return "CopyFileA";
    case Op::MoveFileA:
      return "MoveFileA";
    case Op::RegOpenKeyA:
      return "RegOpenKeyA";
    case Op::RegCreateKeyExA:
      return "RegCreateKeyExA";
    case Op::RegSetValueExA:
      return "RegSetValueExA";
    case Op::RegDeleteKeyA:
      return "RegDeleteKeyA";
    case Op::RegDeleteValueA:
      return "RegDeleteValueA";
    case Op::RegCloseKey:
      return "RegCloseKey";
    case Op::CreateProcessA:
      return "CreateProcessA";
    case Op::WaitForSingleObject:
      return "WaitForSingleObject";
    case Op::GetExitCodeProcess:
      return "GetExitCodeProcess";
    case Op::GetStdHandle:
      return "GetStdHandle";
    case Op::CloseHandle:
      return "CloseHandle";
    case Op::WinExec:
      return "WinExec";
    case Op::InstallHinfSection:
      return "InstallHinfSection";
    case Op::GetShortPathNameA:
      return "GetShortPathNameA";
    case Op::GetPrivateProfileSectionA:
      return "GetPrivateProfileSectionA";
    case Op::WritePrivateProfileSectionA:
      return "WritePrivateProfileSectionA";
    case Op::WritePrivateProfileStringA:
      return "WritePrivateProfileStringA";
    case Op::CharPrevA:
      return "CharPrevA";
    case Op::MessageBoxA:
      return "MessageBoxA";
    case Op::ExitWindowsEx:
      return "ExitWindowsEx";
    case Op::CreateMutexA:
      return "CreateMutexA";
    case Op::GetLastError:
      return "GetLastError";
    case Op::SetLastError:
      return "SetLastError";
    case Op::ExitProcess:
      return "ExitProcess";
  }
  return "?";
}

void SimulatedCallLog::Clear() {
  failures_.clear();
  failCallNumbers_.clear();
  fallibleCalls_ = 0;
  pendingFallible_ = 0;
  pendingInjected_ = false;
  calls_.clear();
  interruptAfter_ = 0;
}

bool SimulatedCallLog::ShouldFail(Op op, const std::string& subject) {
  pendingFallible_ = ++fallibleCalls_;
  pendingInjected_ = failCallNumbers_.count(fallibleCalls_) != 0;
  for (const auto& failure : failures_) {
    const std::string& given = failure.second;
    if (failure.first == op && (given.empty() || Lower(given) == Lower(subject) ||
                                files_.PathKey(given) == files_.PathKey(subject))) {
      pendingInjected_ = true;
    }
  }
  return pendingInjected_;
}

void SimulatedCallLog::Record(Op op, CallEntry entry) {
  const std::string& shownResult = entry.shownResult.empty() ? entry.result : entry.shownResult;
  std::string text = OpName(op);
  text.reserve(text.size() + entry.shownArguments.size() + shownResult.size() + 5);
  text.append("(").append(entry.shownArguments).append(") = ").append(shownResult);
  calls_.push_back(SimulatedCall{op, std::move(text), std::move(entry.values),
                                 std::move(entry.result), std::move(entry.paths), pendingFallible_,
                                 pendingInjected_});
  pendingFallible_ = 0;
  pendingInjected_ = false;
  if (static_cast<int>(calls_.size()) == interruptAfter_) throw PowerCut{};
}

void SimulatedCallLog::Dump(std::string* out) const {
  *out += "calls:\n";
  for (const SimulatedCall& call : calls_) *out += "  " + call.text + "\n";
}
