// Every path the setup asks the system for, read whole or not at all.
#pragma once

#include <stdint.h>

#include "platform/byte_string.h"
#include "platform/system.h"

// The buffer for a path of any length the system allows: MAX_PATH and its NUL.
constexpr uint32_t kPathBuffer = 261;
// The buffer the installation reads the media directory with; a longer
// directory ends the run with status 4.
constexpr uint32_t kMediaPathBuffer = 256;

// The current directory as the system gives it, read with a buffer of
// bufferLength bytes (at most kPathBuffer); false when the query failed or the
// path did not fit.
bool QueryCurrentDirectory(System& system, uint32_t bufferLength, ByteString* directory);

// The Windows directory, read with a 256-byte buffer; false as above.
bool QueryWindowsDirectory(System& system, ByteString* directory);

// The 8.3 form of an existing path; false as above.
bool QueryShortPath(System& system, const ByteString& path, ByteString* shortPath);

// The running program's own path; false as above, and also when it fills
// all but the NUL's byte, since a path cut there cannot be told from a whole one.
bool QueryModulePath(System& system, ByteString* path);

// The media directory from the current directory: one trailing backslash
// removed, so that D:\ becomes D: and every suffix adds a single separator.
// A last byte 0x5C that ends a double-byte character is no backslash and stays.
ByteString SourceDirFrom(System& system, const ByteString& currentDirectory);
