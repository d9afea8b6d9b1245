#include "simulator/simulated_profiles.h"

#include <string.h>

#include "simulator/simulated_text.h"

namespace {

bool IsHeader(const std::string& line) {
  return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

// The text's lines without their ends ("\r\n" or "\n").
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

bool Heads(const std::string& line, const std::string& section) {
  return IsHeader(line) && Lower(line.substr(1, line.size() - 2)) == Lower(section);
}

}  // namespace

std::vector<std::string> SimulatedProfiles::SectionLines(const std::string& text,
                                                         const std::string& section) {
  std::vector<std::string> found;
  bool inside = false;
  for (std::string& line : Lines(text)) {
    if (IsHeader(line)) {
      inside = Heads(line, section);
    } else if (inside && !line.empty()) {
      found.push_back(std::move(line));
    }
  }
  return found;
}

std::string SimulatedProfiles::WithSection(const std::string& text, const std::string& section,
                                           const std::vector<std::string>& lines) {
  std::string out;
  bool inside = false, written = false;
  auto writeSection = [&] {
    out += "[" + section + "]\r\n";
    for (const std::string& line : lines) out += line + "\r\n";
    written = true;
  };
  for (const std::string& line : Lines(text)) {
    if (IsHeader(line)) inside = Heads(line, section) && !written;
    if (inside && IsHeader(line)) writeSection();
    if (!inside) out += line + "\r\n";
  }
  if (!written) writeSection();
  return out;
}

std::string SimulatedProfiles::PathOf(const std::string& fileName) const {
  return fileName.find('\\') == std::string::npos ? files_.windowsDirectory() + "\\" + fileName
                                                  : fileName;
}

std::string SimulatedProfiles::TextOf(const std::string& path) const {
  auto cached = cache_.find(files_.PathKey(path));
  if (cached != cache_.end()) return cached->second.second;
  const SimulatedFiles::File* file = files_.FindFile(path);
  return file == nullptr ? std::string() : file->content;
}

bool SimulatedProfiles::Flush(const std::string& pathKey) {
  auto cached = cache_.find(pathKey);
  if (cached == cache_.end()) return true;
  bool written = files_.Write(cached->second.first, cached->second.second);
  if (written) cache_.erase(cached);
  return written;
}

void SimulatedProfiles::WriteCache() {
  while (!cache_.empty()) {
    if (!Flush(cache_.begin()->first)) cache_.erase(cache_.begin());
  }
}

// The platform gives this call no failure of its own: an absent or unreadable
// file reads as an empty section, so no failure is injected into it.
uint32_t SimulatedProfiles::GetPrivateProfileSectionA(const char* section, char* buffer,
                                                      uint32_t size, const char* fileName) {
  std::vector<std::string> lines = SectionLines(TextOf(PathOf(fileName)), section);
  // Whole lines while they fit with the closing NUL; a cut list ends in two NULs.
  uint32_t length = 0;
  bool cut = false;
  for (const std::string& line : lines) {
    if (commentReading_ == CommentReading::kLeftOut && line[0] == ';') continue;
    cut = length + line.size() + 2 > size;
    if (cut) break;
    memcpy(buffer + length, line.c_str(), line.size() + 1);
    length += static_cast<uint32_t>(line.size() + 1);
  }
  if (cut && size >= 2) {
    memset(buffer + length, '\0', size - length);
    length = size - 2;
  } else if (length < size) {
    buffer[length] = '\0';
  }
  log_.Record(Op::GetPrivateProfileSectionA,
              {std::string(section) + ", " + Dec(size) + ", " + fileName,
               {section, Dec(size), fileName},
               Dec(length),
               "",
               {PathOf(fileName)}});
  return length;
}

bool SimulatedProfiles::WritePrivateProfileSectionA(const char* section, const char* lines,
                                                    const char* fileName) {
  std::vector<std::string> given;
  for (const char* line = lines; *line != '\0'; line += strlen(line) + 1) given.push_back(line);
  std::string path = PathOf(fileName);
  std::string text = WithSection(TextOf(path), section, given);
  bool ok = !log_.ShouldFail(Op::WritePrivateProfileSectionA, fileName);
  if (ok && profileWrites_ == ProfileWrites::kCached) {
    cache_[files_.PathKey(path)] = {path, text};
  } else if (ok) {
    ok = files_.Write(path, text);
  }
  std::string shown;
  for (const std::string& line : given) shown += line + "\\0";
  // The lines are not among the values compared with a recorded run: the
  // short names in them are each system's own.
  log_.Record(Op::WritePrivateProfileSectionA,
              {std::string(section) + ", \"" + Printable(shown) + "\", " + fileName,
               {section, fileName},
               Flag(ok),
               "",
               {path}});
  return ok;
}

// The flush has no failure to inject: its result tells nothing, so a failure
// could only show as lines lost, which no setup can see.
bool SimulatedProfiles::WritePrivateProfileStringA(const char* section, const char* key,
                                                   const char* value, const char* fileName) {
  if (section == nullptr && key == nullptr && value == nullptr) {
    Flush(files_.PathKey(PathOf(fileName)));
  }
  log_.Record(Op::WritePrivateProfileStringA, {ShownText(section) + ", " + ShownText(key) + ", " +
                                                   ShownText(value) + ", " + fileName,
                                               {fileName},
                                               Flag(false),
                                               "",
                                               {PathOf(fileName)}});
  return false;
}
