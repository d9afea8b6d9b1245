#include "setup/directories.h"

namespace {

constexpr uint32_t kLargestBuffer = 261;

// A reported length of 0 is a failure and one at or above the buffer's size
// the room the path would need: either way the buffer holds no whole path.
bool TakeWhole(const char* buffer, uint32_t length, uint32_t bufferLength, ByteString* directory) {
  if (length == 0 || length >= bufferLength) return false;
  *directory = ByteString(buffer, length);
  return true;
}

}  // namespace

bool QueryCurrentDirectory(System& system, uint32_t bufferLength, ByteString* directory) {
  char buffer[kLargestBuffer] = {};
  if (bufferLength > kLargestBuffer) return false;
  uint32_t length = system.GetCurrentDirectoryA(bufferLength, buffer);
  return TakeWhole(buffer, length, bufferLength, directory);
}

bool QueryWindowsDirectory(System& system, ByteString* directory) {
  constexpr uint32_t kBufferLength = 256;
  char buffer[kBufferLength] = {};
  uint32_t length = system.GetWindowsDirectoryA(buffer, kBufferLength);
  return TakeWhole(buffer, length, kBufferLength, directory);
}

ByteString SourceDirFrom(const ByteString& currentDirectory) {
  ByteString sourceDir = currentDirectory;
  if (!sourceDir.empty() && sourceDir.at(sourceDir.size() - 1) == '\\') sourceDir.DropLast();
  return sourceDir;
}
