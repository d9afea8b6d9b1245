// Placing the reader's driver package in the Windows directory tree.
#pragma once

#include "files/file_primitives.h"
#include "files/next_start.h"
#include "platform/byte_string.h"
#include "setup/setup_state.h"

// What a file that cannot be placed leads to.
enum class FailurePolicy {
  Abort,   // error box, then the setup ends
  Warn,    // warning box, the run goes on
  Report,  // error box, the run goes on
};

// Makes an existing file an ordinary writable one, warning when that fails.
// A directory is left as it is; what cannot be queried counts as nothing.
Existing ClearFileAttributes(const RunContext& run, const ByteString& path);

// Removes the file WindowsDir + suffix, whatever its attributes; a failure is silent.
void RemoveWindowsFile(const RunContext& run, const char* suffix);

// Copies source over target. An earlier file in use, which can be neither
// replaced nor set aside, is replaced at the next start. True when the copy is
// in place or waits for the next start; otherwise the earlier file, when there
// was one, stays at the target. A directory at the target's name stays.
bool PlaceFile(const RunContext& run, const ByteString& source, const ByteString& target);

// Copies SourceDir + sourceSuffix over WindowsDir + targetSuffix. An earlier
// file in use, which can be neither replaced nor set aside, is replaced at the
// next start. A failed copy leaves the earlier file at the target, when there
// was one, and follows the policy; after an Abort failure it does not return.
// A directory at the target's name is the user's: it stays, and the copy
// fails on it.
void InstallFile(const RunContext& run, const char* sourceSuffix, const char* targetSuffix,
                 FailurePolicy policy);

// The driver, its setup information file and catalogs, and the two programs.
void PlaceDriverPackage(const RunContext& run);

// The hub function's setup information file, which only Windows Me takes.
void PlaceHubInf(const RunContext& run);

// Removes a placed file with its set-aside and waiting copies and the lines
// that name them, adding what became of each to outcome; a file in use goes
// at the next start.
void RemovePlacedFile(const RunContext& run, const ByteString& target, RemovalOutcome* outcome);

// Removes every file of the package, the hub's setup information file too on
// any system, as RemovePlacedFile does.
RemovalOutcome RemovePackage(const RunContext& run);

// The name an earlier file is kept under, in its own directory, while its replacement is copied.
ByteString SetAsidePath(const ByteString& target);
