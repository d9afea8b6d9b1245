// What the setup does to a single file it is about to replace or remove,
// whatever the file is for.
#pragma once

#include "platform/byte_string.h"
#include "platform/system.h"

// What stands at a path the setup is about to replace or remove; kUnknown
// when the query failed for another reason than the path's absence.
enum class Existing { kNothing, kFile, kDirectory, kUnknown };

// What stands at the path.
Existing WhatStandsAt(System& system, const ByteString& path);

// Whether a file of the setup's may stand there: one does, or nobody can tell.
inline bool MayHoldFile(Existing existing) {
  return existing == Existing::kFile || existing == Existing::kUnknown;
}

// Whether the error of the last failed file call says that nothing is there.
bool NothingThere(System& system);

// Makes an existing file an ordinary writable one, so that it can be replaced
// or deleted, and says whether that failed when asked. A directory is left as it is.
Existing MakeOrdinaryFile(System& system, const ByteString& path, bool* attributesFailed = nullptr);

// Deletes a file of the setup's own (a set-aside or staged copy) now, read-only
// as a copy from a CD is; false when a file stays there, or may. A directory stays.
bool DeleteNow(System& system, const ByteString& path);
