// The system's start on the simulated machine, after every process has
// ended: WININIT.INI's [rename] lines apply in order, each path in 8.3 form
// ("NUL=PATH" deletes PATH, "DEST=SOURCE" puts SOURCE in DEST's place, a line
// naming a long name or a missing source is skipped) and the file becomes
// WININIT.BAK; then each RunServicesOnce value is removed and its program
// started.
#pragma once

#include <string>
#include <vector>

// The system's own key whose values its start runs, each once, and removes.
extern const char kRunServicesOnceKey[];

class SimulatedFiles;
class SimulatedPrograms;
class SimulatedRegistry;

// Starts the system; returns what the start did: "renamed DEST=SOURCE",
// "deleted PATH", "started PROGRAM".
std::vector<std::string> StartTheSystem(SimulatedFiles& files, SimulatedRegistry& registry,
                                        SimulatedPrograms& programs);
