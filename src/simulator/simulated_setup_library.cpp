#include "simulator/simulated_setup_library.h"

#include "simulator/simulated_text.h"

void SimulatedSetupLibrary::Dump(std::string* out) const {
  *out += "sections:\n";
  for (const SectionInstall& install : sectionInstalls_) {
    *out += "  " + install.commandLine + (install.sectionFound ? "" : " (not found)") + "\n";
  }
}

void SimulatedSetupLibrary::InstallHinfSection(const char* commandLine, int showCommand) {
  std::string text = commandLine;
  size_t first = text.find(' ');
  size_t second = first == std::string::npos ? first : text.find(' ', first + 1);
  SectionInstall install{text, text.substr(0, first),
                         second == std::string::npos ? "" : text.substr(second + 1), false};
  bool failed = log_.ShouldFail(Op::InstallHinfSection, text);
  const SimulatedFiles::File* file = files_.FindFile(install.infPath);
  install.sectionFound =
      !failed && file != nullptr &&
      Lower(file->content).find("[" + Lower(install.section) + "]") != std::string::npos;
  sectionInstalls_.push_back(install);
  log_.Record(Op::InstallHinfSection, {text + ", " + std::to_string(showCommand),
                                       {text, std::to_string(showCommand)},
                                       "",
                                       install.sectionFound ? "installed" : "nothing installed"});
}
