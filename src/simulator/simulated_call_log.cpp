#include "simulator/simulated_call_log.h"

#include "simulator/simulated_files.h"
#include "simulator/simulated_text.h"

const char* OpName(Op op) {
  static const char* const kNames[] = {
#define SIMULATED_OP_NAME(name) #name,
      SIMULATED_OPS(SIMULATED_OP_NAME)
#undef SIMULATED_OP_NAME
  };
  return kNames[static_cast<int>(op)];
}

void SimulatedCallLog::Clear() {
  failures_.clear();
  failCallNumbers_.clear();
  fallibleCalls_ = 0;
  pendingFallible_ = 0;
  pendingInjected_ = false;
  calls_.clear();
  cutPowerAfter_ = 0;
}

bool SimulatedCallLog::ShouldFail(Op op, const std::string& subject) {
  pendingFallible_ = ++fallibleCalls_;
  pendingInjected_ = failCallNumbers_.count(fallibleCalls_) != 0;
  for (const auto& failure : failures_) {
    const std::string& given = failure.second;
    if (failure.first == op && (given.empty() || Lower(given) == Lower(subject) ||
                                files_.PathKey(given) == files_.PathKey(subject))) {
      pendingInjected_ = true;
    }
  }
  return pendingInjected_;
}

void SimulatedCallLog::Record(Op op, CallEntry entry) {
  const std::string& shownResult = entry.shownResult.empty() ? entry.result : entry.shownResult;
  std::string text = OpName(op);
  text.reserve(text.size() + entry.shownArguments.size() + shownResult.size() + 5);
  text.append("(").append(entry.shownArguments).append(") = ").append(shownResult);
  calls_.push_back(SimulatedCall{op, std::move(text), std::move(entry.values),
                                 std::move(entry.result), std::move(entry.paths), pendingFallible_,
                                 pendingInjected_});
  pendingFallible_ = 0;
  pendingInjected_ = false;
  if (static_cast<int>(calls_.size()) == cutPowerAfter_) throw PowerCut{};
}

void SimulatedCallLog::Dump(std::string* out) const {
  *out += "calls:\n";
  for (const SimulatedCall& call : calls_) *out += "  " + call.text + "\n";
}
