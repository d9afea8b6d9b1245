#include "simulator/simulated_user.h"

#include "simulator/simulated_text.h"

void SimulatedUser::Clear() {
  answers_.clear();
  boxes_.clear();
  restartRequests_.clear();
}

void SimulatedUser::Dump(std::string* out) const {
  *out += "boxes:\n";
  for (const Box& box : boxes_) {
    *out += "  [" + box.caption + "] \"" + Printable(box.text) + "\" type " + Dec(box.type) + "\n";
  }
}

const char* SimulatedUser::CharPrevA(const char* start, const char* current) {
  const char* previous = start;
  for (const char* at = start; at < current;) {
    previous = at;
    at += names_.IsLeadByte(static_cast<unsigned char>(*at)) && at + 1 < current ? 2 : 1;
  }
  std::string text(start, current);
  log_.Record(Op::CharPrevA, {Printable(text) + ", " + Dec(current - start),
                              {text, Dec(current - start)},
                              Dec(previous - start)});
  return previous;
}

int SimulatedUser::MessageBoxA(const char* text, const char* caption, uint32_t type) {
  int answer = 0;
  if (!log_.ShouldFail(Op::MessageBoxA, caption)) {
    boxes_.push_back(Box{caption, text, type});
    if (!answers_.empty()) {
      answer = answers_.front();
      answers_.erase(answers_.begin());
    }
  }
  log_.Record(Op::MessageBoxA,
              {std::string(caption) + ", \"" + Printable(text) + "\", " + Dec(type),
               {caption, text, Dec(type)},
               std::to_string(answer)});
  return answer;
}

bool SimulatedUser::ExitWindowsEx(uint32_t flags, uint32_t reserved) {
  bool ok = !log_.ShouldFail(Op::ExitWindowsEx, "");
  if (ok) restartRequests_.push_back(flags);
  log_.Record(Op::ExitWindowsEx,
              {Hex(flags) + ", " + Dec(reserved), {Dec(flags), Dec(reserved)}, Flag(ok)});
  return ok;
}
