#include "steps/files/driver_files.h"

#include <algorithm>

#include "common/exit_status.h"
#include "common/file_primitives.h"
#include "common/messages.h"
#include "common/path_queries.h"
#include "steps/files/next_start.h"

const char kOwnCopySuffix[] = "\\system\\kt418Rmv.exe";

namespace {

// What a file that cannot be placed leads to.
enum class FailurePolicy {
  kAbort,   // error box, then the setup ends
  kWarn,    // warning box, the run goes on
  kReport,  // error box, the run goes on
};

struct PackageFile {
  const char* source;  // below sourceDir
  const char* target;  // below windowsDir
  FailurePolicy policy;
};

const PackageFile kDriverPackage[] = {
    {"\\kt418.sys", "\\System32\\Drivers\\kt418.sys", FailurePolicy::kAbort},
    {"\\kt418.inf", "\\inf\\kt418.inf", FailurePolicy::kAbort},
    {"\\kt418.cat", "\\inf\\kt418.cat", FailurePolicy::kWarn},
    {"\\kt418Hub.cat", "\\inf\\kt418Hub.cat", FailurePolicy::kWarn},
    {"\\unPlug.exe", "\\system\\unPlug.exe", FailurePolicy::kWarn},
    {"\\rdWatch.exe", "\\system\\rdWatch.exe", FailurePolicy::kWarn},
};

const PackageFile kHubInf = {"\\kt418Hub.inf", "\\inf\\kt418Hub.inf", FailurePolicy::kReport};

// Deletes the earlier file set aside now; one that a running program still
// holds, renamed with it, is entered for deletion at the next start. False
// when it stays. Unlike DeleteNowOrAtNextStart it leaves other lines as they are.
bool DeleteSetAsideFile(const RunContext& run, const ByteString& setAside) {
  return DeleteNow(run.system, setAside) || DeleteAtNextStart(run, setAside);
}

// The name an earlier file is kept under, in its own directory, while its replacement is copied.
ByteString SetAsidePath(const ByteString& target) { return target + ".old"; }

// Makes an existing file an ordinary writable one, warning when that fails.
// A directory is left as it is; what cannot be queried counts as nothing.
Existing ClearFileAttributes(const RunContext& run, const ByteString& path) {
  bool failed = false;
  Existing existing = MakeOrdinaryFile(run.system, path, &failed);
  if (failed) ShowNotice(run, MessageId::kAttributeFailed, kSetupCaption, path.c_str());
  return existing;
}

// Deletes windowsDir + suffix now, whatever its attributes; a failure is silent.
void DeleteWindowsFileNow(const RunContext& run, const char* suffix) {
  ByteString path = run.state.windowsDir + suffix;
  if (ClearFileAttributes(run, path) == Existing::kDirectory) return;
  run.system.DeleteFileA(path.c_str());
}

// Copies source over target. An earlier file in use, which can be neither
// replaced nor set aside, is replaced at the next start. Placed when the copy
// is in place or waits for the next start; otherwise the earlier file, when
// there was one, stays at the target. A directory at the target's name stays.
// Where the query cannot tell what stands there, the copy goes straight over
// it, so that a file there is kept if the copy fails.
Placed PlaceFile(const RunContext& run, const ByteString& source, const ByteString& target) {
  ByteString setAside = SetAsidePath(target);
  ByteString replacement = ReplacementPath(target);
  bool keptAside = false, leftoverStays = false;
  Existing existing = ClearFileAttributes(run, target);
  if (existing == Existing::kFile) {
    // A replacement waits beside an earlier file only: one whose start has
    // not come, or that a cut run left, makes way for this run's outcome.
    // The target is the file to keep: a set-aside file beside it is what an
    // interrupted run left, and would block the move.
    leftoverStays = DeleteNowOrAtNextStart(run, replacement) == Removed::kStays;
    leftoverStays = DeleteNowOrAtNextStart(run, setAside) == Removed::kStays || leftoverStays;
    // The earlier file is kept under its set-aside name so that a failed copy
    // can put it back. One that cannot be moved stays in place and the copy
    // goes over it: deleting it first would lose it to a copy that fails.
    keptAside = run.system.MoveFileA(target.c_str(), setAside.c_str());
  } else if (existing == Existing::kNothing) {
    run.system.DeleteFileA(target.c_str());
    // A run cut short between setting the earlier file aside and copying left
    // it there: it is the earlier file still.
    keptAside = WhatStandsAt(run.system, setAside) == Existing::kFile;
  }
  if (run.system.CopyFileA(source.c_str(), target.c_str(), false)) {
    leftoverStays = (keptAside && !DeleteSetAsideFile(run, setAside)) || leftoverStays;
    // A removal's line that deletes the earlier file would take the new one.
    if (existing != Existing::kNothing && !KeepAtNextStart(run, target)) return Placed::kNot;
    return leftoverStays ? Placed::kPlacedLeftoverStays : Placed::kPlaced;
  }
  if (keptAside) run.system.MoveFileA(setAside.c_str(), target.c_str());
  // An earlier file that could be neither replaced nor set aside is in use.
  bool waits = existing == Existing::kFile && !keptAside &&
               ReplaceAtNextStart(run, source, target, replacement);
  return waits ? Placed::kPlaced : Placed::kNot;
}

// Places sourceDir + sourceSuffix at windowsDir + targetSuffix; a file not
// placed gets its policy's box, and after a kAbort failure it does not return.
Placed InstallFile(const RunContext& run, const PackageFile& file) {
  ByteString source = run.state.sourceDir + file.source;
  ByteString target = run.state.windowsDir + file.target;
  Placed placed = PlaceFile(run, source, target);
  if (placed != Placed::kNot) return placed;
  const char* caption = file.policy == FailurePolicy::kWarn ? kWarningCaption : kErrorCaption;
  ShowNotice(run, MessageId::kCopyFailed, caption, source.c_str(), target.c_str());
  if (file.policy == FailurePolicy::kAbort) EndSetup(run, ExitStatus::kDriverFileNotPlaced);
  return placed;
}

}  // namespace

Placed PlaceDriverPackage(const RunContext& run) {
  Placed worst = Placed::kPlaced;
  for (const PackageFile& file : kDriverPackage) worst = std::max(worst, InstallFile(run, file));
  return worst;
}

Placed PlaceHubInf(const RunContext& run) { return InstallFile(run, kHubInf); }

Placed PlaceOwnCopy(const RunContext& run, const ByteString& copyPath) {
  ByteString ownPath;
  if (!QueryModulePath(run.system, &ownPath)) return Placed::kNot;
  return PlaceFile(run, ownPath, copyPath);
}

void RemoveDriverDatabase(const RunContext& run) {
  DeleteWindowsFileNow(run, "\\inf\\drvidx.bin");
  DeleteWindowsFileNow(run, "\\inf\\drvdata.bin");
}

void RemovePlacedFile(const RunContext& run, const ByteString& target, RemovalOutcome* outcome) {
  // The waiting copy first: its line would otherwise bring it back at the next start.
  outcome->Add(DeleteNowOrAtNextStart(run, ReplacementPath(target)));
  outcome->Add(DeleteNowOrAtNextStart(run, SetAsidePath(target)));
  outcome->Add(DeleteNowOrAtNextStart(run, target));
}

RemovalOutcome RemovePackage(const RunContext& run) {
  RemovalOutcome outcome;
  for (const PackageFile& row : kDriverPackage) {
    RemovePlacedFile(run, run.state.windowsDir + row.target, &outcome);
  }
  RemovePlacedFile(run, run.state.windowsDir + kHubInf.target, &outcome);
  return outcome;
}
