// Writing the setup's registry values, each key opened and closed around its write.
#pragma once

#include <stdint.h>

#include "common/removal_outcome.h"
#include "platform/byte_string.h"
#include "platform/system.h"

// The data of a REG_SZ value stored with a fixed length: the text, its NUL and
// zeros up to length. A text that would not fit with its NUL is kept whole,
// with its NUL, and the data is as long as that.
ByteString FixedLengthStringData(const ByteString& text, uint32_t length);

// Opens the existing HKEY_LOCAL_MACHINE key subKey, stores the value as
// FixedLengthStringData gives it, and closes the key; an absent key is left
// absent. False when the value was not stored.
bool WriteFixedLengthString(System& system, const char* subKey, const char* valueName,
                            const ByteString& text, uint32_t length);

// Stores a REG_SZ value, the text and its NUL, in an open key.
int32_t WriteString(System& system, RegKey key, const char* valueName, const ByteString& text);

// Stores a REG_DWORD value, 4 bytes, least significant first, in an open key.
int32_t WriteDword(System& system, RegKey key, const char* valueName, uint32_t value);

// What a failed open or deletion's code says of the key or value: not found
// is not there; any other code may leave it there.
Removed RemovedBy(int32_t status);

// Deletes subKey below key with all it holds: kGone, kNotThere when it is
// not found, or kStays when it still opens or an open cannot tell.
Removed DeleteKey(System& system, RegKey key, const char* subKey);
