// The reader's driver package as the setup places it: each file's name on the
// media and its target below the Windows directory.
#pragma once

#include <string>
#include <utility>
#include <vector>

using PackageFiles = std::vector<std::pair<std::string, std::string>>;

// The six files every system gets.
extern const PackageFiles kPackageFiles;

// Those six and the hub setup information file, which only Windows Me gets.
const PackageFiles& AllPackageFiles();
