// Runs the setup on a simulated Windows 98/Me machine built from a
// description, and prints the calls it made, one a line, for comparison with
// the calls recorded on an emulated system (tools/call_comparison.py).
//
//   simulated_run DESCRIPTION
//
// The description has one item a line, its fields separated by tabs, each
// field escaped as the output is (\t, \n, \\, \xNN):
//   version PLATFORM MAJOR MINOR      current DIR      windows DIR
//   directory PATH                    file PATH ATTRIBUTES [CONTENT]
//   running PATH (a program that runs and holds its file, as Windows 9x holds it)
//   module PATH (the setup's own file, which it runs from and so holds)
//   program PATH ATTRIBUTES plain|broken|deltree|extract NAME STATUS
//   key KEYPATH                       answer ID         argument TEXT
// Output: "Op<TAB>value<TAB>...<TAB>=<TAB>result" per call, ending with the
// process's exit as setup.exe's entry makes it, then "status N".
#include <stdio.h>

#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "runs/front_door.h"
#include "simulator/simulated_system.h"

namespace {

std::string Escaped(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c < 0x20 || c >= 0x7F) {
      char escaped[8];
      snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string Unescaped(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
    } else if (text[i + 1] == 'x' && i + 3 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      char next = text[++i];
      out += next == 't' ? '\t' : next == 'n' ? '\n' : next;
    }
  }
  return out;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields(1);
  for (char c : line) {
    if (c == '\t') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  for (std::string& field : fields) field = Unescaped(field);
  return fields;
}

// Builds the machine; false with a message for a line it cannot read.
bool Build(std::istream& description, SimulatedSystem& sim, std::vector<std::string>& arguments) {
  std::string line;
  while (std::getline(description, line)) {
    std::vector<std::string> f = Fields(line);
    const std::string& item = f[0];
    bool ok = true;
    if (item == "version" && f.size() == 4) {
      sim.SetVersion(std::stoul(f[1]), std::stoul(f[2]), std::stoul(f[3]));
    } else if (item == "current" && f.size() == 2) {
      sim.SetCurrentDirectory(f[1]);
    } else if (item == "windows" && f.size() == 2) {
      sim.SetWindowsDirectory(f[1]);
    } else if (item == "directory" && f.size() == 2) {
      sim.AddDirectory(f[1]);
    } else if (item == "file" && (f.size() == 3 || f.size() == 4)) {
      sim.AddFile(f[1], f.size() == 4 ? f[3] : "", std::stoul(f[2]));
    } else if (item == "running" && f.size() == 2) {
      sim.StartProgram(f[1]);
    } else if (item == "module" && f.size() == 2) {
      sim.SetModulePath(f[1]);
      sim.StartProgram(f[1]);
    } else if (item == "program" && f.size() >= 4) {
      SimulatedSystem::Program program;
      if (f[3] == "extract" && f.size() == 6) {
        program = SimulatedSystem::ExtractionPackage(f[4], std::stoul(f[5]));
      } else if (f[3] == "deltree") {
        program.deletesTrees = true;
      } else if (f[3] == "broken") {
        program.failsToStart = true;
      } else {
        ok = f[3] == "plain";
      }
      sim.AddProgram(f[1], program, std::stoul(f[2]));
    } else if (item == "key" && f.size() == 2) {
      sim.AddKey(f[1]);
    } else if (item == "answer" && f.size() == 2) {
      sim.AnswerNextBox(std::stoi(f[1]));
    } else if (item == "argument" && f.size() == 2) {
      arguments.push_back(f[1]);
    } else {
      ok = item.empty();
    }
    if (!ok) {
      std::cerr << "simulated_run: cannot read the line: " << line << "\n";
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: simulated_run DESCRIPTION\n";
    return 2;
  }
  std::ifstream description(argv[1]);
  if (!description) {
    std::cerr << "simulated_run: cannot open " << argv[1] << "\n";
    return 2;
  }
  SimulatedSystem sim;
  std::vector<std::string> arguments;
  if (!Build(description, sim, arguments)) return 2;

  std::vector<const char*> args = {"setup.exe"};
  for (const std::string& argument : arguments) args.push_back(argument.c_str());
  uint32_t status =
      sim.Run([&] { return RunSetup(static_cast<int>(args.size()), args.data(), sim); });
  for (const SimulatedSystem::Call& call : sim.calls()) {
    std::string line = OpName(call.op);
    for (const std::string& value : call.values) line += "\t" + Escaped(value);
    std::cout << line << "\t=\t" << Escaped(call.result) << "\n";
  }
  // setup.exe's entry ends a run that returns through the C runtime's exit too.
  if (sim.calls().empty() || sim.calls().back().op != Op::ExitProcess) {
    std::cout << "ExitProcess\t" << status << "\t=\t\n";
  }
  std::cout << "status " << status << "\n";
  return 0;
}
