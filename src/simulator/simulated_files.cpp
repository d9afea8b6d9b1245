#include "simulator/simulated_files.h"

#include "platform/system.h"
#include "simulator/simulated_text.h"

namespace {

bool HasDrive(const std::string& path) { return path.size() >= 2 && path[1] == ':'; }
}  // namespace

std::string SimulatedFiles::PathKey(const std::string& path) const {
  std::string joined;
  if (!HasDrive(path)) {
    joined = path.compare(0, 1, "\\") == 0 ? currentDirectory_.substr(0, 2) + path
                                           : currentDirectory_ + "\\" + path;
  }
  const std::string& absolute = HasDrive(path) ? path : joined;
  // The key grows name by name, each name folded as it is appended, and
  // shrinks at "..".
  std::string key;
  key.reserve(absolute.size());
  size_t at = names_.NextName(absolute, 0, &key);
  while (at != std::string::npos) {
    size_t parentEnd = key.size();
    key += '\\';
    at = names_.NextName(absolute, at, &key);
    std::string_view name(key.data() + parentEnd + 1, key.size() - parentEnd - 1);
    if (name.empty() || name == "." || name == "..") {
      key.resize(parentEnd);
      size_t separator = name == ".." ? names_.LastSeparator(key) : std::string::npos;
      if (separator != std::string::npos) key.resize(separator);
      continue;
    }
    // The system's aliases hold "~"; other aliases are those a test gave.
    if (name.find('~') != std::string::npos || IsGivenAlias(name)) {
      std::string alias(name);
      key.resize(parentEnd);
      key = LongName(key, alias);
    }
  }
  return key;
}

bool SimulatedFiles::IsGivenAlias(std::string_view foldedName) const {
  for (const auto& alias : aliases_) {
    if (names_.Folded(alias.second) == foldedName) return true;
  }
  return false;
}

std::string SimulatedFiles::LongName(const std::string& parentKey,
                                     const std::string& shortName) const {
  std::string prefix = parentKey + "\\";
  if (Exists(prefix + shortName)) return prefix + shortName;  // a long name of its own
  // The parent's entries, and those below them, sort together after the prefix.
  auto entryAliased = [&](const auto& entries) -> std::string {
    for (auto it = entries.lower_bound(prefix);
         it != entries.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
      if (names_.LastSeparator(it->first) == prefix.size() - 1 &&
          names_.Folded(EntryAlias(it->first)) == shortName) {
        return it->first;
      }
    }
    return std::string();
  };
  std::string key = entryAliased(directories_);
  if (key.empty()) key = entryAliased(files_);
  return key.empty() ? prefix + shortName : key;
}

std::string SimulatedFiles::EntryAlias(const std::string& pathKey) const {
  auto given = aliases_.find(pathKey);
  if (given != aliases_.end()) return given->second;
  // The last name, which in code page 932 may hold 0x5C as a second byte.
  size_t separator = names_.LastSeparator(pathKey);
  return names_.AliasOf(separator == std::string::npos ? pathKey : pathKey.substr(separator + 1));
}

std::string SimulatedFiles::ParentKey(const std::string& pathKey) const {
  size_t separator = names_.LastSeparator(pathKey);
  return separator == std::string::npos ? std::string() : pathKey.substr(0, separator);
}

bool SimulatedFiles::ParentExists(const std::string& pathKey) const {
  std::string parent = ParentKey(pathKey);
  return !parent.empty() && directories_.count(parent) != 0;
}

bool SimulatedFiles::Exists(const std::string& pathKey) const {
  return files_.count(pathKey) != 0 || directories_.count(pathKey) != 0;
}

std::string SimulatedFiles::ShortFormOf(const std::string& path) const {
  if (!names_.IsValidPath(path)) return std::string();
  std::string key = PathKey(path);
  if (!Exists(key)) return std::string();
  // Each name of the resolved path by its alias, so that the short form names
  // the very directory asked about.
  std::vector<std::string> names = names_.FoldedNames(key);
  std::string shortened = Upper(names[0]);
  std::string prefix = names[0];
  for (size_t i = 1; i < names.size(); ++i) {
    prefix += "\\" + names[i];
    shortened += "\\" + EntryAlias(prefix);
  }
  return shortened;
}

bool SimulatedFiles::SetShortName(const std::string& path, const std::string& alias) {
  // An alias is one name of its directory, which holds no two entries under one name.
  if (alias.empty() || alias == "." || alias == ".." || alias.find('\\') != std::string::npos ||
      !names_.IsValidPath(alias)) {
    return false;
  }
  std::string key = PathKey(path);
  std::string parent = ParentKey(key);
  std::string taken = PathKey(parent + "\\" + alias);
  if (!Exists(key) || parent.empty() || (Exists(taken) && taken != key)) return false;
  aliases_[key] = alias;
  return true;
}

void SimulatedFiles::AddDirectory(const std::string& path) {
  if (!names_.IsValidPath(path)) return;  // no file system holds such a name
  std::string key = PathKey(path);
  for (std::string parent = ParentKey(key); !parent.empty(); parent = ParentKey(parent)) {
    directories_.emplace(parent, parent);
  }
  directories_[key] = path;
}

void SimulatedFiles::AddFile(const std::string& path, const std::string& content,
                             uint32_t attributes) {
  if (!names_.IsValidPath(path)) return;
  std::string key = PathKey(path);
  AddDirectory(ParentKey(key));
  files_[key] = File{path, content, attributes};
}

const SimulatedFiles::File* SimulatedFiles::FindFile(const std::string& path) const {
  if (!names_.IsValidPath(path)) return nullptr;
  auto file = files_.find(PathKey(path));
  return file == files_.end() ? nullptr : &file->second;
}

bool SimulatedFiles::DirectoryExists(const std::string& path) const {
  return names_.IsValidPath(path) && directories_.count(PathKey(path)) != 0;
}

uint32_t SimulatedFiles::Attributes(const std::string& path) const {
  if (!names_.IsValidPath(path)) return kInvalidFileAttributes;
  std::string key = PathKey(path);
  auto file = files_.find(key);
  if (file != files_.end()) return file->second.attributes;
  return directories_.count(key) != 0 ? kFileAttributeDirectory : kInvalidFileAttributes;
}

uint32_t SimulatedFiles::AbsenceError(const std::string& path) const {
  return static_cast<uint32_t>(ParentExists(PathKey(path)) ? kErrorFileNotFound
                                                           : kErrorPathNotFound);
}

bool SimulatedFiles::SetAttributes(const std::string& path, uint32_t attributes) {
  if (DirectoryExists(path)) return true;
  if (FindFile(path) == nullptr) return false;
  files_[PathKey(path)].attributes = attributes;
  return true;
}

bool SimulatedFiles::Delete(const std::string& path) {
  const File* file = FindFile(path);
  if (file == nullptr || (file->attributes & kFileAttributeReadOnly) != 0) return false;
  files_.erase(PathKey(path));
  return true;
}

bool SimulatedFiles::Copy(const std::string& source, const std::string& target, bool failIfExists) {
  const File* original = FindFile(source);
  if (original == nullptr || !names_.IsValidPath(target)) return false;
  std::string to = PathKey(target);
  auto existing = files_.find(to);
  bool ok = PathKey(source) != to && ParentExists(to) && directories_.count(to) == 0 &&
            (existing == files_.end() ||
             (!failIfExists && (existing->second.attributes & kFileAttributeReadOnly) == 0));
  if (ok) files_[to] = File{target, original->content, original->attributes};
  return ok;
}

bool SimulatedFiles::Write(const std::string& path, const std::string& content) {
  if (!names_.IsValidPath(path)) return false;
  std::string key = PathKey(path);
  auto existing = files_.find(key);
  if (existing == files_.end()) {
    if (!ParentExists(key) || directories_.count(key) != 0) return false;
    // A file the system writes anew is marked for archiving, as on the emulator.
    files_[key] = File{path, content, kFileAttributeArchive};
    return true;
  }
  if ((existing->second.attributes & kFileAttributeReadOnly) != 0) return false;
  existing->second.content = content;
  return true;
}

bool SimulatedFiles::Move(const std::string& from, const std::string& to) {
  if (!names_.IsValidPath(from) || !names_.IsValidPath(to)) return false;
  std::string fromKey = PathKey(from);
  std::string toKey = PathKey(to);
  bool isDirectory = directories_.count(fromKey) != 0;
  // Never into itself.
  if (!Exists(fromKey) || Exists(toKey) || !ParentExists(toKey) ||
      toKey.compare(0, fromKey.size() + 1, fromKey + "\\") == 0) {
    return false;
  }
  std::string prefix = fromKey + "\\";
  auto renamed = [&](const std::string& key) {
    bool inside = key == fromKey || key.compare(0, prefix.size(), prefix) == 0;
    return inside ? toKey + key.substr(fromKey.size()) : key;
  };
  std::map<std::string, File> files;
  for (const auto& file : files_) files[renamed(file.first)] = file.second;
  files_.swap(files);
  if (!isDirectory) {
    files_[toKey].path = to;
    return true;
  }
  std::map<std::string, std::string> directories;
  for (const auto& dir : directories_) {
    std::string key = renamed(dir.first);
    directories[key] = key == dir.first ? dir.second : key;
  }
  directories_.swap(directories);
  return true;
}

void SimulatedFiles::MakeTreeReadOnly(const std::string& directory) {
  std::string prefix = PathKey(directory) + "\\";
  for (auto& file : files_) {
    if (file.first.compare(0, prefix.size(), prefix) == 0) {
      file.second.attributes |= kFileAttributeReadOnly;
      file.second.attributes &= ~kFileAttributeNormal;
    }
  }
}

void SimulatedFiles::RemoveTree(const std::string& path) {
  if (!names_.IsValidPath(path)) return;
  std::string pathKey = PathKey(path);
  files_.erase(pathKey);
  if (directories_.erase(pathKey) == 0) return;
  std::string prefix = pathKey + "\\";
  auto inside = [&](const std::string& key) { return key.compare(0, prefix.size(), prefix) == 0; };
  for (auto it = files_.begin(); it != files_.end();) {
    it = inside(it->first) ? files_.erase(it) : std::next(it);
  }
  for (auto it = directories_.begin(); it != directories_.end();) {
    it = inside(it->first) ? directories_.erase(it) : std::next(it);
  }
}

void SimulatedFiles::Dump(std::string* out) const {
  *out += "current directory " + currentDirectory_ + ", code page " +
          std::to_string(names_.codePage()) + "\ndirectories:\n";
  for (const auto& dir : directories_) *out += "  " + dir.first + "\n";
  *out += "files:\n";
  for (const auto& file : files_) {
    *out += "  " + file.first + " [" + Hex(file.second.attributes) + "] \"" +
            Printable(file.second.content) + "\"\n";
  }
  if (aliases_.empty()) return;
  *out += "short names:\n";
  for (const auto& alias : aliases_) *out += "  " + alias.first + " = " + alias.second + "\n";
}
