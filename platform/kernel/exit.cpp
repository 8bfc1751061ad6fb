// The kernel's program end.
#include "platform.h"

#include <cstdio>
#include <unistd.h>

void Exit(int status) {
  if (HaltHook hook = KernelGetHaltHook()) hook();
  PlatPrintGsStats();
  PlatReportEnd();
  PlatFlushLogs();
  fflush(nullptr);
  _exit(status);
}
