#include "common/file_primitives.h"

bool NothingThere(System& system) {
  uint32_t error = system.GetLastError();
  return error == static_cast<uint32_t>(kErrorFileNotFound) ||
         error == static_cast<uint32_t>(kErrorPathNotFound);
}

Existing WhatStandsAt(System& system, const ByteString& path) {
  uint32_t attributes = system.GetFileAttributesA(path.c_str());
  if (attributes == kInvalidFileAttributes) {
    return NothingThere(system) ? Existing::kNothing : Existing::kUnknown;
  }
  return (attributes & kFileAttributeDirectory) != 0 ? Existing::kDirectory : Existing::kFile;
}

Existing MakeOrdinaryFile(System& system, const ByteString& path, bool* attributesFailed) {
  Existing existing = WhatStandsAt(system, path);
  bool failed =
      existing == Existing::kFile && !system.SetFileAttributesA(path.c_str(), kFileAttributeNormal);
  if (attributesFailed != nullptr) *attributesFailed = failed;
  return existing;
}

bool DeleteNow(System& system, const ByteString& path) {
  if (!MayHoldFile(MakeOrdinaryFile(system, path))) return true;
  return system.DeleteFileA(path.c_str()) || NothingThere(system);
}
