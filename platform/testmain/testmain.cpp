// Test main: runs every test on the engine's main thread in virtual time.
#include "platform_test.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

std::string g_captured;
int g_captureDepth = 0;
void Capture(const char* text) { g_captured += text; }

struct HaltSignal {};
void ThrowHalt() { throw HaltSignal{}; }

std::string g_tempRoot;

int RunTests(int argc, char** argv) { return RUN_ALL_TESTS(); }

}  // namespace

ConsoleCaptureScope::ConsoleCaptureScope() {
  if (g_captureDepth++ == 0) g_captured.clear();
  PlatSetConsoleCapture(Capture);
}

ConsoleCaptureScope::~ConsoleCaptureScope() {
  if (--g_captureDepth == 0) PlatSetConsoleCapture(nullptr);
}

std::string ConsoleCaptureScope::text() const { return g_captured; }
void ConsoleCaptureScope::clear() { g_captured.clear(); }

bool RunExpectingHalt(const std::function<void()>& fn, std::string* console) {
  ConsoleCaptureScope capture;
  HaltHook old = KernelGetHaltHook();
  KernelSetHaltHook(ThrowHalt);
  bool halted = false;
  try {
    fn();
  } catch (const HaltSignal&) {
    halted = true;
  }
  KernelSetHaltHook(old);
  if (console) *console = capture.text();
  return halted;
}

std::string TestTempDir() {
  static int n = 0;
  if (g_tempRoot.empty()) {
    char tmpl[] = "/tmp/ze2test.XXXXXX";
    g_tempRoot = mkdtemp(tmpl);
    atexit([] { std::error_code ec; std::filesystem::remove_all(g_tempRoot, ec); });
  }
  std::string dir = g_tempRoot + "/" + std::to_string(++n);
  std::filesystem::create_directories(dir);
  return dir;
}

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  KernelSetClock(KCLOCK_VIRTUAL);
  DisplaySetBackend("null");
  return PlatformRun(RunTests, argc, argv);
}
