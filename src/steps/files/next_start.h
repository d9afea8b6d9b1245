// Files that only the next start can replace or delete, because a running
// program holds them. The system applies WININIT.INI's [rename] section at its
// start, before anything runs: "DEST=SOURCE" puts SOURCE in DEST's place and
// "NUL=PATH" deletes PATH, each path in its 8.3 form, the only form the system
// can read then. The lines of other programs stay as they are, in their order.
#pragma once

#include <stddef.h>

#include "common/removal_outcome.h"
#include "common/run_context.h"
#include "platform/byte_string.h"

// The name a new file waits under, beside the file in use that it replaces at the next start.
ByteString ReplacementPath(const ByteString& target);

// The [rename] lines (each ended by a NUL) without those that move or delete
// source (named in any letter case, as the system reads it) and without empty
// ones, and, when destination is given, with "destination=source" at the end.
ByteString EditedRenameLines(const char* lines, size_t length, const ByteString& source,
                             const char* destination);

// Copies source beside the target in use, as replacement, and enters the
// replacement in WININIT.INI; false, with no copy left beside, when either
// cannot be done.
bool ReplaceAtNextStart(const RunContext& run, const ByteString& source, const ByteString& target,
                        const ByteString& replacement);

// Forgets the line that would delete or move the file at the next start, as a
// removal not yet followed by a start leaves for a file it could not delete;
// false when such a line may stay.
bool KeepAtNextStart(const RunContext& run, const ByteString& path);

// Enters the file for deletion at the next start; false when it cannot be.
bool DeleteAtNextStart(const RunContext& run, const ByteString& path);

// Removes a file of the setup's own (one that an earlier run left, whose
// restart has not come or that was cut short, or one the removal takes away),
// with the line that names it; one that cannot be deleted, being in use, is
// entered for deletion at the next start.
Removed DeleteNowOrAtNextStart(const RunContext& run, const ByteString& path);
