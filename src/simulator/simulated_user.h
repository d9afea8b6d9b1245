// What the user sees and answers on the simulated machine: message boxes,
// each answered with the next answer given (0, as when no box can be shown,
// once none is left), restart requests, and the text walk of CharPrevA in
// the machine's code page.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "simulator/simulated_call_log.h"
#include "simulator/simulated_names.h"

class SimulatedUser {
 public:
  struct Box {
    std::string caption;
    std::string text;
    uint32_t type;
  };

  SimulatedUser(const SimulatedNames& names, SimulatedCallLog& log) : names_(names), log_(log) {}

  void AnswerNextBox(int answer) { answers_.push_back(answer); }
  const std::vector<Box>& boxes() const { return boxes_; }
  const std::vector<uint32_t>& restartRequests() const { return restartRequests_; }
  // Forgets the boxes, answers and restart requests of the last process.
  void Clear();
  void Dump(std::string* out) const;

  // The calls, as System declares them.
  const char* CharPrevA(const char* start, const char* current);
  int MessageBoxA(const char* text, const char* caption, uint32_t type);
  bool ExitWindowsEx(uint32_t flags, uint32_t reserved);

 private:
  const SimulatedNames& names_;
  SimulatedCallLog& log_;
  std::vector<int> answers_;
  std::vector<Box> boxes_;
  std::vector<uint32_t> restartRequests_;
};
