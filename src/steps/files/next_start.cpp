#include "steps/files/next_start.h"

#include "common/file_primitives.h"
#include "common/path_queries.h"

namespace {

// The profile calls of Windows 9x take a buffer of up to 32,767 bytes; a
// longer section cannot be rewritten without losing lines.
constexpr uint32_t kRenameSectionBuffer = 32767;
const char kRenameSection[] = "rename";
const char kDeletion[] = "NUL";

// Whether a [rename] line can carry the 8.3 path: with no blank, and no "=",
// which would end the line's destination.
bool FitsALine(const ByteString& shortPath) {
  return !shortPath.Contains(' ') && !shortPath.Contains('=');
}

// The 8.3 form of an existing path, as a [rename] line can carry it.
bool ShortPathForStart(System& system, const ByteString& path, ByteString* shortPath) {
  return QueryShortPath(system, path, shortPath) && FitsALine(*shortPath);
}

bool IsAsciiLetter(unsigned char byte) { return (byte | 0x20) >= 'a' && (byte | 0x20) <= 'z'; }

// Whether the text names path as the system compares 8.3 paths: letters in
// either case. A letter after a byte above 0x7F may be the second byte of a
// double-byte character, where case tells characters apart: it must match exactly.
bool NamesShortPath(const char* text, size_t length, const ByteString& path) {
  if (length != path.size()) return false;
  for (size_t i = 0; i < length; ++i) {
    unsigned char given = static_cast<unsigned char>(text[i]);
    unsigned char meant = path.at(i);
    if (given == meant) continue;
    bool afterSingleByte = i == 0 || static_cast<unsigned char>(text[i - 1]) < 0x80;
    if (!afterSingleByte || !IsAsciiLetter(given) || (given | 0x20) != (meant | 0x20)) return false;
  }
  return true;
}

ByteString WininitPath(const RunContext& run) { return run.state.windowsDir + "\\WININIT.INI"; }

// Rewrites the [rename] section with source's line (see EditedRenameLines);
// when there is nothing to forget, nothing is written. False when the section
// could not be read whole or written. The system may hold the file in its
// profile cache, which a power cut loses: it is flushed to disk at once. A
// read-only WININIT.INI is made writable first, as the start renames it anyway.
bool EditRenameSection(const RunContext& run, const ByteString& source, const char* destination) {
  ByteString lines;
  lines.Resize(kRenameSectionBuffer);
  ByteString file = WininitPath(run);
  uint32_t length = run.system.GetPrivateProfileSectionA(kRenameSection, lines.data(),
                                                         kRenameSectionBuffer, file.c_str());
  if (length >= kRenameSectionBuffer - 2) return false;
  ByteString edited = EditedRenameLines(lines.c_str(), length, source, destination);
  if (destination == nullptr && edited.size() == length) return true;
  MakeOrdinaryFile(run.system, file);
  if (!run.system.WritePrivateProfileSectionA(kRenameSection, edited.c_str(), file.c_str())) {
    return false;
  }
  run.system.WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str());
  return true;
}

}  // namespace

ByteString ReplacementPath(const ByteString& target) { return target + ".new"; }

ByteString EditedRenameLines(const char* lines, size_t length, const ByteString& source,
                             const char* destination) {
  ByteString edited;
  for (size_t start = 0, end = 0; start < length; start = end + 1) {
    for (end = start; end < length && lines[end] != '\0';) ++end;
    // An empty line would end the section where it is written.
    if (end == start) continue;
    size_t equals = start;
    while (equals < end && lines[equals] != '=') ++equals;
    bool names = equals < end && NamesShortPath(lines + equals + 1, end - equals - 1, source);
    if (!names) edited.Append(lines + start, end - start).Append("", 1);
  }
  if (destination != nullptr) {
    edited += destination;
    edited += "=";
    edited += source;
    edited.Append("", 1);
  }
  return edited;
}

bool ReplaceAtNextStart(const RunContext& run, const ByteString& source, const ByteString& target,
                        const ByteString& replacement) {
  if (!run.system.CopyFileA(source.c_str(), replacement.c_str(), false)) return false;
  ByteString shortTarget, shortReplacement;
  if (ShortPathForStart(run.system, target, &shortTarget) &&
      ShortPathForStart(run.system, replacement, &shortReplacement) &&
      EditRenameSection(run, shortReplacement, shortTarget.c_str())) {
    return true;
  }
  DeleteNow(run.system, replacement);
  return false;
}

bool KeepAtNextStart(const RunContext& run, const ByteString& path) {
  ByteString shortPath;
  if (!QueryShortPath(run.system, path, &shortPath)) return false;
  // No line can name a path whose short form no line can carry.
  return !FitsALine(shortPath) || EditRenameSection(run, shortPath, nullptr);
}

bool DeleteAtNextStart(const RunContext& run, const ByteString& path) {
  ByteString shortPath;
  return ShortPathForStart(run.system, path, &shortPath) &&
         EditRenameSection(run, shortPath, kDeletion);
}

Removed DeleteNowOrAtNextStart(const RunContext& run, const ByteString& path) {
  if (!MayHoldFile(MakeOrdinaryFile(run.system, path))) return Removed::kNotThere;
  // Its line names it by its short form, which only a file that is there has.
  ByteString shortPath;
  bool named = ShortPathForStart(run.system, path, &shortPath);
  if (run.system.DeleteFileA(path.c_str())) {
    if (named) EditRenameSection(run, shortPath, nullptr);
    return Removed::kGone;
  }
  if (NothingThere(run.system)) return Removed::kNotThere;
  // A set-aside file that a running program still holds goes at the next
  // start, even where the run that set it aside could not enter it.
  return named && EditRenameSection(run, shortPath, kDeletion) ? Removed::kAtNextStart
                                                               : Removed::kStays;
}
