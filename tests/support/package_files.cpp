#include "support/package_files.h"

const PackageFiles kPackageFiles = {
    {"kt418.sys", "System32\\Drivers\\kt418.sys"},
    {"kt418.inf", "inf\\kt418.inf"},
    {"kt418.cat", "inf\\kt418.cat"},
    {"kt418Hub.cat", "inf\\kt418Hub.cat"},
    {"unPlug.exe", "system\\unPlug.exe"},
    {"rdWatch.exe", "system\\rdWatch.exe"},
};

const PackageFiles& AllPackageFiles() {
  static const PackageFiles all = [] {
    PackageFiles files = kPackageFiles;
    files.emplace_back("kt418Hub.inf", "inf\\kt418Hub.inf");
    return files;
  }();
  return all;
}
