// Fuzz main: runs libFuzzer's driver on the engine's main thread, with each
// input copied into EE memory and a halt hook that turns a fatal error into
// the end of that input.
#include "fuzz.h"
#include "platform.h"

#include <cstring>

extern "C" int LLVMFuzzerRunDriver(int* argc, char*** argv, int (*callback)(const uint8_t* data, size_t size));

namespace {

struct HaltSignal {};
void ThrowHalt() { throw HaltSignal{}; }

int OneInput(const uint8_t* data, size_t size) {
  auto* copy = static_cast<uint8_t*>(EeMalloc(size ? size : 1));
  if (size) memcpy(copy, data, size);
  KernelSetHaltHook(ThrowHalt);
  try {
    FuzzOne(copy, size);
  } catch (const HaltSignal&) {
    // A fatal error: the clear end of a bad input.
  }
  KernelSetHaltHook(nullptr);
  FuzzReset();
  EeFree(copy);
  return 0;
}

int FuzzMain(int argc, char** argv) { return LLVMFuzzerRunDriver(&argc, &argv, OneInput); }

}  // namespace

int main(int argc, char** argv) {
  KernelSetClock(KCLOCK_VIRTUAL);
  return PlatformRun(FuzzMain, argc, argv);
}
