// Profile files on the simulated machine (WININIT.INI among them), as Windows
// 98/Me keep them: a "[section]" line heads the lines of its section, section
// names match without regard to case, and a file name without a path is in
// the Windows directory. The calls read and write the files of the file table,
// or, where the system caches profile files as Windows 9x may, a cache that a
// flush or an orderly shutdown writes to the files and a power cut loses.
#pragma once

#include <stdint.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "simulator/simulated_call_log.h"
#include "simulator/simulated_files.h"

class SimulatedProfiles {
 public:
  // Whether a section read gives the section's comment lines (";..."): the
  // emulator leaves them out; what Windows 9x does is unconfirmed.
  enum class CommentReading { kReturned, kLeftOut };
  // Whether a write reaches the file at once, or waits in the cache.
  enum class ProfileWrites { kWrittenThrough, kCached };

  SimulatedProfiles(SimulatedFiles& files, SimulatedCallLog& log) : files_(files), log_(log) {}
  void SetCommentReading(CommentReading behaviour) { commentReading_ = behaviour; }
  void SetProfileWrites(ProfileWrites behaviour) { profileWrites_ = behaviour; }
  // Writes every cached file to disk, as an orderly shutdown does; a file
  // that cannot be written is lost with the cache.
  void WriteCache();
  // Forgets the cache, as a power cut does.
  void LoseCache() { cache_.clear(); }

  // The section's lines in a profile file's text, in order, without their line ends.
  static std::vector<std::string> SectionLines(const std::string& text, const std::string& section);
  // The text with the section's lines replaced; an absent section is added at the end.
  static std::string WithSection(const std::string& text, const std::string& section,
                                 const std::vector<std::string>& lines);

  // --- The calls, as System declares them ---
  uint32_t GetPrivateProfileSectionA(const char* section, char* buffer, uint32_t size,
                                     const char* fileName);
  bool WritePrivateProfileSectionA(const char* section, const char* lines, const char* fileName);
  // Only the flush (section, key and value null) is played; like Windows 9x,
  // it returns false whatever it did.
  bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                  const char* fileName);

 private:
  std::string PathOf(const std::string& fileName) const;
  // The file's text as the calls see it: cached, or on disk.
  std::string TextOf(const std::string& path) const;
  // Writes a cached file to disk; false when it cannot be written.
  bool Flush(const std::string& pathKey);

  SimulatedFiles& files_;
  SimulatedCallLog& log_;
  CommentReading commentReading_ = CommentReading::kReturned;
  ProfileWrites profileWrites_ = ProfileWrites::kWrittenThrough;
  std::map<std::string, std::pair<std::string, std::string>> cache_;  // key -> path, text
};
