#include "files/driver_files.h"

#include "setup/exit_status.h"
#include "setup/messages.h"

namespace {

struct PackageFile {
  const char* source;  // below SourceDir
  const char* target;  // below WindowsDir
  FailurePolicy policy;
};

const PackageFile kDriverPackage[] = {
    {"\\kt418.sys", "\\System32\\Drivers\\kt418.sys", FailurePolicy::Abort},
    {"\\kt418.inf", "\\inf\\kt418.inf", FailurePolicy::Abort},
    {"\\kt418.cat", "\\inf\\kt418.cat", FailurePolicy::Warn},
    {"\\kt418Hub.cat", "\\inf\\kt418Hub.cat", FailurePolicy::Warn},
    {"\\unPlug.exe", "\\system\\unPlug.exe", FailurePolicy::Warn},
    {"\\rdWatch.exe", "\\system\\rdWatch.exe", FailurePolicy::Warn},
};

const PackageFile kHubInf = {"\\kt418Hub.inf", "\\inf\\kt418Hub.inf", FailurePolicy::Report};

// Keeps the earlier file under its set-aside name so that a failed copy can
// put it back. One that cannot be moved stays in place and the copy goes over
// it: deleting it first would lose it to a copy that fails.
bool SetEarlierFileAside(const RunContext& run, const ByteString& target,
                         const ByteString& setAside) {
  // A set-aside file left by an interrupted run would block the move.
  run.system.DeleteFileA(setAside.c_str());
  return run.system.MoveFileA(target.c_str(), setAside.c_str());
}

}  // namespace

ByteString SetAsidePath(const ByteString& target) { return target + ".old"; }

Existing ClearFileAttributes(const RunContext& run, const ByteString& path) {
  uint32_t attributes = run.system.GetFileAttributesA(path.c_str());
  if (attributes == kInvalidFileAttributes) return Existing::kNothing;
  if ((attributes & kFileAttributeDirectory) != 0) return Existing::kDirectory;
  if (!run.system.SetFileAttributesA(path.c_str(), kFileAttributeNormal)) {
    ShowNotice(run, MsgAttributeFailed, SetupCaption, path.c_str());
  }
  return Existing::kFile;
}

void RemoveWindowsFile(const RunContext& run, const char* suffix) {
  ByteString path = run.state.WindowsDir + suffix;
  if (ClearFileAttributes(run, path) == Existing::kDirectory) return;
  run.system.DeleteFileA(path.c_str());
}

void InstallFile(const RunContext& run, const char* sourceSuffix, const char* targetSuffix,
                 FailurePolicy policy) {
  ByteString source = run.state.SourceDir + sourceSuffix;
  ByteString target = run.state.WindowsDir + targetSuffix;
  ByteString setAside = SetAsidePath(target);
  bool keptAside = false;
  Existing existing = ClearFileAttributes(run, target);
  if (existing == Existing::kFile) {
    keptAside = SetEarlierFileAside(run, target, setAside);
  } else if (existing == Existing::kNothing) {
    run.system.DeleteFileA(target.c_str());
  }
  if (run.system.CopyFileA(source.c_str(), target.c_str(), false)) {
    if (keptAside) run.system.DeleteFileA(setAside.c_str());
    return;
  }
  if (keptAside) run.system.MoveFileA(setAside.c_str(), target.c_str());

  const char* caption = policy == FailurePolicy::Warn ? CaptionWarning : CaptionError;
  ShowNotice(run, MsgCopyFailed, caption, source.c_str(), target.c_str());
  if (policy == FailurePolicy::Abort) EndSetup(run, ExitStatus::kDriverFileNotPlaced);
}

void PlaceDriverPackage(const RunContext& run) {
  for (const PackageFile& file : kDriverPackage) {
    InstallFile(run, file.source, file.target, file.policy);
  }
}

void PlaceHubInf(const RunContext& run) {
  InstallFile(run, kHubInf.source, kHubInf.target, kHubInf.policy);
}
