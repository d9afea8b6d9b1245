#include "simulator/simulated_file_calls.h"

#include <string.h>

#include <algorithm>

#include "simulator/simulated_text.h"

namespace {

constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorGenFailure = 31;
constexpr uint32_t kErrorSharingViolation = 32;

// A failed query fills its buffer with 'Z' bytes, so that no test can mistake it for an answer.
void Poison(char* buffer, uint32_t size) { memset(buffer, 'Z', size); }

// As the platform fills a buffer: the text and its NUL, or the size needed when it does not fit.
uint32_t FillBuffer(const std::string& text, char* buffer, uint32_t size) {
  if (text.size() + 1 > size) return static_cast<uint32_t>(text.size() + 1);
  memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<uint32_t>(text.size());
}

}  // namespace

uint32_t SimulatedFileCalls::GetCurrentDirectoryA(uint32_t bufferLength, char* buffer) {
  uint32_t length = 0;
  if (log_.ShouldFail(Op::GetCurrentDirectoryA, "")) {
    Poison(buffer, bufferLength);
  } else {
    length = FillBuffer(files_.currentDirectory(), buffer, bufferLength);
  }
  log_.Record(Op::GetCurrentDirectoryA, {Dec(bufferLength), {Dec(bufferLength)}, Dec(length)});
  return length;
}

uint32_t SimulatedFileCalls::GetWindowsDirectoryA(char* buffer, uint32_t size) {
  uint32_t length = log_.ShouldFail(Op::GetWindowsDirectoryA, "")
                        ? 0
                        : FillBuffer(files_.windowsDirectory(), buffer, size);
  log_.Record(Op::GetWindowsDirectoryA, {Dec(size), {Dec(size)}, Dec(length)});
  return length;
}

// Whether Windows 9x ends a cut path with a NUL is unconfirmed; the machine
// gives the NUL, as Windows 2000 does not, so the setup must not rely on either.
uint32_t SimulatedFileCalls::GetModuleFileNameA(char* buffer, uint32_t size) {
  uint32_t length = 0;
  if (log_.ShouldFail(Op::GetModuleFileNameA, "")) {
    Poison(buffer, size);
  } else if (size > 0) {
    length = static_cast<uint32_t>(std::min<size_t>(modulePath_.size(), size - 1));
    memcpy(buffer, modulePath_.c_str(), length);
    buffer[length] = '\0';
  }
  log_.Record(Op::GetModuleFileNameA, {Dec(size), {Dec(size)}, Dec(length)});
  return length;
}

void SimulatedFileCalls::Failed(bool injected, const std::string& path) {
  if (injected) return process_.CallFailed(kErrorGenFailure);
  process_.CallFailed(files_.Attributes(path) == kInvalidFileAttributes ? files_.AbsenceError(path)
                                                                        : kErrorAccessDenied);
}

uint32_t SimulatedFileCalls::GetFileAttributesA(const char* path) {
  bool injected = log_.ShouldFail(Op::GetFileAttributesA, path);
  uint32_t attributes = injected ? kInvalidFileAttributes : files_.Attributes(path);
  if (attributes == kInvalidFileAttributes) Failed(injected, path);
  log_.Record(Op::GetFileAttributesA, {path, {path}, Dec(attributes), Hex(attributes), {path}});
  return attributes;
}

bool SimulatedFileCalls::SetFileAttributesA(const char* path, uint32_t attributes) {
  bool injected = log_.ShouldFail(Op::SetFileAttributesA, path);
  bool ok = !injected && files_.SetAttributes(path, attributes);
  if (!ok) Failed(injected, path);
  log_.Record(
      Op::SetFileAttributesA,
      {std::string(path) + ", " + Hex(attributes), {path, Dec(attributes)}, Flag(ok), "", {path}});
  return ok;
}

bool SimulatedFileCalls::InUse(const char* path, uint32_t error) {
  if (!process_.AnyRunning() || !process_.IsRunning(files_.PathKey(path))) return false;
  process_.CallFailed(error);
  return true;
}

bool SimulatedFileCalls::DeleteFileA(const char* path) {
  bool injected = log_.ShouldFail(Op::DeleteFileA, path);
  // The emulator refuses the running setup's own file as access denied.
  bool own = files_.PathKey(path) == files_.PathKey(modulePath_);
  bool inUse = !injected && InUse(path, own ? kErrorAccessDenied : kErrorSharingViolation);
  bool ok = !injected && !inUse && files_.Delete(path);
  if (!ok && !inUse) Failed(injected, path);
  log_.Record(Op::DeleteFileA, {path, {path}, Flag(ok), "", {path}});
  return ok;
}

bool SimulatedFileCalls::CopyFileA(const char* source, const char* target, bool failIfExists) {
  bool injected = log_.ShouldFail(Op::CopyFileA, source);
  bool inUse = !injected && InUse(target, kErrorSharingViolation);
  bool ok = !injected && !inUse && files_.Copy(source, target, failIfExists);
  bool sourceAbsent = files_.Attributes(source) == kInvalidFileAttributes;
  if (!ok && !inUse) Failed(injected, sourceAbsent ? source : target);
  log_.Record(Op::CopyFileA, {std::string(source) + ", " + target + ", " + Flag(failIfExists),
                              {source, target, Flag(failIfExists)},
                              Flag(ok),
                              "",
                              {source, target}});
  return ok;
}

bool SimulatedFileCalls::MoveFileA(const char* existingPath, const char* newPath) {
  bool refused = runningFileRename_ == RunningFileRename::kRefused &&
                 InUse(existingPath, kErrorSharingViolation);
  bool injected = log_.ShouldFail(Op::MoveFileA, existingPath);
  bool ok = !injected && !refused && files_.Move(existingPath, newPath);
  if (!ok && !refused) Failed(injected, existingPath);
  if (ok) process_.RunningFileRenamed(files_.PathKey(existingPath), files_.PathKey(newPath));
  log_.Record(Op::MoveFileA, {std::string(existingPath) + ", " + newPath,
                              {existingPath, newPath},
                              Flag(ok),
                              "",
                              {existingPath, newPath}});
  return ok;
}

uint32_t SimulatedFileCalls::GetShortPathNameA(const char* longPath, char* shortPath,
                                               uint32_t size) {
  uint32_t length = 0;
  std::string shortForm = files_.ShortFormOf(longPath);
  if (log_.ShouldFail(Op::GetShortPathNameA, longPath)) {
    Poison(shortPath, size);
  } else if (!shortForm.empty()) {
    length = FillBuffer(shortForm, shortPath, size);
  }
  log_.Record(Op::GetShortPathNameA,
              {std::string(longPath) + ", " + Dec(size), {longPath, Dec(size)}, Dec(length)});
  return length;
}
