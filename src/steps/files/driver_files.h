// The reader's files in the Windows directory tree: the driver package, the
// setup's own copy and the cached driver database, placed and removed.
#pragma once

#include "common/removal_outcome.h"
#include "common/run_context.h"
#include "platform/byte_string.h"

// Where the copy of the setup is kept, below windowsDir (an 8.3 name of its own).
extern const char kOwnCopySuffix[];

// What placing a file, or several, came to; a later value is the worse.
enum class Placed {
  kPlaced,               // in place, or waiting for the next start
  kPlacedLeftoverStays,  // in place, but an earlier file set aside or waiting beside it stays
  kNot,                  // not placed
};

// The driver, its setup information file and catalogs, and the two programs.
// A file that cannot be placed leaves the earlier one in place and follows
// its policy: the driver and its setup information file end the run with
// status 1 after an error box, the others warn and the run goes on. A file
// in use is replaced at the next start. A directory at a file's name is the
// user's: it stays, and that file counts as not placed. Says how the worst
// file fared.
Placed PlaceDriverPackage(const RunContext& run);

// The hub function's setup information file, which only Windows Me takes: an
// error box when it cannot be placed, and the run goes on.
Placed PlaceHubInf(const RunContext& run);

// Copies the running setup to copyPath as a package file is placed; not
// placed when its own path cannot be read whole or the copy cannot be placed.
Placed PlaceOwnCopy(const RunContext& run, const ByteString& copyPath);

// Deletes the cached driver database now, whatever its files' attributes;
// nothing is reported.
void RemoveDriverDatabase(const RunContext& run);

// Removes a placed file with its set-aside and waiting copies and the lines
// that name them, adding what became of each to outcome; a file in use goes
// at the next start.
void RemovePlacedFile(const RunContext& run, const ByteString& target, RemovalOutcome* outcome);

// Removes every file of the package, the hub's setup information file too on
// any system, as RemovePlacedFile does.
RemovalOutcome RemovePackage(const RunContext& run);
