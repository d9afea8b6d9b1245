// Reading the directories a run starts from.
#pragma once

#include <stdint.h>

#include "platform/byte_string.h"
#include "platform/system.h"

// The current directory as the system gives it, read with a buffer of
// bufferLength bytes; false when the query failed or the path did not fit.
bool QueryCurrentDirectory(System& system, uint32_t bufferLength, ByteString* directory);

// The Windows directory, read with a 256-byte buffer; false as above.
bool QueryWindowsDirectory(System& system, ByteString* directory);

// Takes a path that a system query wrote into buffer and reported as length:
// false when the query failed (0) or the path did not fit (length >= bufferLength).
bool TakeWholePath(const char* buffer, uint32_t length, uint32_t bufferLength, ByteString* path);

// The media directory from the current directory: one trailing backslash
// removed, so that D:\ becomes D: and every suffix adds a single separator.
// A last byte 0x5C that ends a double-byte character is no backslash and stays.
ByteString SourceDirFrom(System& system, const ByteString& currentDirectory);
