#include "simulator/simulated_start.h"

#include "simulator/simulated_files.h"
#include "simulator/simulated_profiles.h"
#include "simulator/simulated_programs.h"
#include "simulator/simulated_registry.h"
#include "simulator/simulated_text.h"

const char kRunServicesOnceKey[] =
    "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce";

namespace {

// WININIT.EXE runs before long names can be read: it takes 8.3 names only,
// and the aliases the system gave, whatever their form.
bool IsShortPath(const SimulatedFiles& files, const std::string& path) {
  for (const std::string& name : files.names().FoldedNames(path)) {
    if (files.names().AliasOf(name) != name && !files.IsGivenAlias(name)) return false;
  }
  return true;
}

// Applies one [rename] line; what it did, or "" when it did nothing.
std::string ApplyRenameLine(SimulatedFiles& files, const std::string& line) {
  size_t equals = line.find('=');
  if (equals == std::string::npos) return std::string();
  std::string destination = line.substr(0, equals);
  std::string source = line.substr(equals + 1);
  if (!IsShortPath(files, source) || files.FindFile(source) == nullptr) return std::string();
  if (Lower(destination) == "nul") {
    files.RemoveTree(source);
    return "deleted " + source;
  }
  if (!IsShortPath(files, destination)) return std::string();
  if (files.FindFile(destination) != nullptr) files.RemoveTree(destination);
  if (!files.Move(source, destination)) return std::string();
  return "renamed " + line;
}

}  // namespace

std::vector<std::string> StartTheSystem(SimulatedFiles& files, SimulatedRegistry& registry,
                                        SimulatedPrograms& programs) {
  std::vector<std::string> done;
  std::string wininit = files.windowsDirectory() + "\\WININIT.INI";
  if (const SimulatedFiles::File* file = files.FindFile(wininit)) {
    for (const std::string& line : SimulatedProfiles::SectionLines(file->content, "rename")) {
      std::string applied = ApplyRenameLine(files, line);
      if (!applied.empty()) done.push_back(applied);
    }
    std::string backup = files.windowsDirectory() + "\\WININIT.BAK";
    files.RemoveTree(backup);
    files.Move(wininit, backup);
  }
  for (const std::string& name : registry.ValueNames(kRunServicesOnceKey)) {
    const SimulatedRegistry::Value* value = registry.FindValue(kRunServicesOnceKey, name);
    std::string command = value->data.substr(0, value->data.find('\0'));
    registry.DeleteValue(kRunServicesOnceKey, name);
    std::string program = programs.StartAtSystemStart(command);
    if (!program.empty()) done.push_back("started " + program);
  }
  return done;
}
