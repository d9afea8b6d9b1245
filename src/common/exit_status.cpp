#include "common/exit_status.h"

#include <stdlib.h>

void EndSetup(const RunContext& run, ExitStatus status) {
  run.system.ExitProcess(static_cast<uint32_t>(status));
  abort();  // ExitProcess never returns; the compiler cannot see that through the interface
}
