// The simulated machine's file table and its path rules, as Windows 98/Me
// have them: names match without regard to case, repeated
// backslashes count as one, ".." never climbs above a drive root, a name holds
// no control character, read-only files refuse deletion and replacement, and
// each long name has an 8.3 alias.
#pragma once

#include <stdint.h>

#include <map>
#include <string>
#include <string_view>

#include "simulator/simulated_names.h"

constexpr uint32_t kFileAttributeArchive = 0x20;

class SimulatedFiles {
 public:
  struct File {
    std::string path;
    std::string content;
    uint32_t attributes;
  };

  // 1252 (the default) or 932, whose double-byte characters may end in 0x5C.
  void SetCodePage(uint32_t codePage) { names_.SetCodePage(codePage); }
  const SimulatedNames& names() const { return names_; }
  // Relative paths are taken from here.
  void SetCurrentDirectory(const std::string& path) { currentDirectory_ = path; }
  const std::string& currentDirectory() const { return currentDirectory_; }
  // Where the system's programs are found.
  void SetWindowsDirectory(const std::string& path) { windowsDirectory_ = path; }
  const std::string& windowsDirectory() const { return windowsDirectory_; }

  // The path as this machine resolves it: folded case, single separators,
  // ".." applied, short aliases replaced by the names they stand for.
  std::string PathKey(const std::string& path) const;
  // The 8.3 form of an existing path, each name by its alias; "" when absent.
  std::string ShortFormOf(const std::string& path) const;
  // Gives an existing file or directory this alias in place of the one the
  // system would make; false when the alias is no single name, or another
  // entry of its directory has that name.
  bool SetShortName(const std::string& path, const std::string& alias);

  // Creates the directory and its parents.
  void AddDirectory(const std::string& path);
  // Creates the file (and its directory), replacing any file of that name.
  void AddFile(const std::string& path, const std::string& content, uint32_t attributes);

  // Marks every file in the directory and below it read-only, as on a CD.
  void MakeTreeReadOnly(const std::string& directory);

  const File* FindFile(const std::string& path) const;
  bool DirectoryExists(const std::string& path) const;
  // The attributes GetFileAttributesA reports, or kInvalidFileAttributes.
  uint32_t Attributes(const std::string& path) const;
  // The error a call gets for an absent path: path not found (3) when its
  // directory is missing too, file not found (2) otherwise.
  uint32_t AbsenceError(const std::string& path) const;

  // The operations, each true when the platform's call would succeed.
  bool SetAttributes(const std::string& path, uint32_t attributes);
  bool Delete(const std::string& path);
  bool Copy(const std::string& source, const std::string& target, bool failIfExists);
  // Writes the file's whole content, creating it in an existing directory;
  // false for a read-only file or a directory at its name.
  bool Write(const std::string& path, const std::string& content);
  // Renames a file or a directory with all it holds, within its volume.
  bool Move(const std::string& from, const std::string& to);
  // Removes a file, or a directory with all it holds.
  void RemoveTree(const std::string& path);

  void Dump(std::string* out) const;
  // Whether a test gave some entry this alias (as a folded name).
  bool IsGivenAlias(std::string_view foldedName) const;

 private:
  // The key of the entry in parentKey whose short alias is shortName, or of
  // shortName itself when there is none.
  std::string LongName(const std::string& parentKey, const std::string& shortName) const;
  std::string EntryAlias(const std::string& pathKey) const;  // given, or made from its name
  std::string ParentKey(const std::string& pathKey) const;   // "" for a drive root
  bool ParentExists(const std::string& pathKey) const;
  bool Exists(const std::string& pathKey) const;

  SimulatedNames names_;
  std::string currentDirectory_ = "C:\\";
  std::string windowsDirectory_ = "C:\\WINDOWS";
  std::map<std::string, std::string> directories_;  // by path key
  std::map<std::string, File> files_;               // by path key
  std::map<std::string, std::string> aliases_;      // by path key, when not the system's own
};
