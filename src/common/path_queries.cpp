#include "common/path_queries.h"

namespace {

// A reported length at or above the buffer's size is the room the path would
// need: the buffer then holds no whole path.
bool TakeWholePath(const char* buffer, uint32_t length, uint32_t bufferLength, ByteString* path) {
  if (length == 0 || length >= bufferLength) return false;
  *path = ByteString(buffer, length);
  return true;
}

}  // namespace

bool QueryCurrentDirectory(System& system, uint32_t bufferLength, ByteString* directory) {
  char buffer[kPathBuffer] = {};
  if (bufferLength > kPathBuffer) return false;
  uint32_t length = system.GetCurrentDirectoryA(bufferLength, buffer);
  return TakeWholePath(buffer, length, bufferLength, directory);
}

bool QueryWindowsDirectory(System& system, ByteString* directory) {
  constexpr uint32_t kBufferLength = 256;
  char buffer[kBufferLength] = {};
  uint32_t length = system.GetWindowsDirectoryA(buffer, kBufferLength);
  return TakeWholePath(buffer, length, kBufferLength, directory);
}

bool QueryShortPath(System& system, const ByteString& path, ByteString* shortPath) {
  char buffer[kPathBuffer] = {};
  uint32_t length = system.GetShortPathNameA(path.c_str(), buffer, kPathBuffer);
  return TakeWholePath(buffer, length, kPathBuffer, shortPath);
}

bool QueryModulePath(System& system, ByteString* path) {
  char buffer[kPathBuffer] = {};
  uint32_t length = system.GetModuleFileNameA(buffer, kPathBuffer);
  return TakeWholePath(buffer, length, kPathBuffer - 1, path);
}

ByteString SourceDirFrom(System& system, const ByteString& currentDirectory) {
  ByteString sourceDir = currentDirectory;
  if (sourceDir.empty()) return sourceDir;
  const char* end = sourceDir.c_str() + sourceDir.size();
  const char* lastCharacter = system.CharPrevA(sourceDir.c_str(), end);
  if (lastCharacter == end - 1 && *lastCharacter == '\\') sourceDir.DropLast();
  return sourceDir;
}
