// Profile files on the simulated machine (WININIT.INI among them), as Windows
// 98/Me keep them: a "[section]" line heads the lines of its section, section
// names match without regard to case, and a file name without a path is in
// the Windows directory. The calls read and write the files of the file table.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "simulator/simulated_call_log.h"
#include "simulator/simulated_files.h"

class SimulatedProfiles {
 public:
  // Whether a section read gives the section's comment lines (";..."): the
  // emulator leaves them out; what Windows 9x does is unconfirmed.
  enum class CommentReading { kReturned, kLeftOut };

  SimulatedProfiles(SimulatedFiles& files, SimulatedCallLog& log) : files_(files), log_(log) {}
  void SetCommentReading(CommentReading behaviour) { commentReading_ = behaviour; }

  // The section's lines in a profile file's text, in order, without their line ends.
  static std::vector<std::string> SectionLines(const std::string& text, const std::string& section);
  // The text with the section's lines replaced; an absent section is added at the end.
  static std::string WithSection(const std::string& text, const std::string& section,
                                 const std::vector<std::string>& lines);

  // --- The calls, as System declares them ---
  uint32_t GetPrivateProfileSectionA(const char* section, char* buffer, uint32_t size,
                                     const char* fileName);
  bool WritePrivateProfileSectionA(const char* section, const char* lines, const char* fileName);

 private:
  std::string PathOf(const std::string& fileName) const;

  SimulatedFiles& files_;
  SimulatedCallLog& log_;
  CommentReading commentReading_ = CommentReading::kReturned;
};
