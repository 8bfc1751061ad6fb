// Fuzz main: runs libFuzzer's driver on the engine's main thread, with each
// input copied into EE memory and a halt hook that turns a fatal error into
// the end of that input. `-seeds=DIR` runs the target's seed writer instead.
#include "fuzz.h"
#include "platform.h"

#include <fcntl.h>
#include <sanitizer/asan_interface.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

extern "C" int LLVMFuzzerRunDriver(int* argc, char*** argv, int (*callback)(const uint8_t* data, size_t size));

// Targets without seeds of their own take theirs from the tools alone.
__attribute__((weak)) void FuzzSeeds(const char*) {}

namespace {

struct HaltSignal {};
void ThrowHalt() { throw HaltSignal{}; }
// A fatal error while the input's memory is given back (a block header
// overwritten inside EE memory, which the host's sanitizers cannot see):
// the input is at fault, and libFuzzer keeps it on the abort.
void AbortHalt() { abort(); }

// EE copies made for the input: the block (to free) and its poisoned span.
struct Copy {
  void* block;
  size_t bytes;
};
std::vector<Copy> g_copies;

void FreeCopies() {
  for (const Copy& c : g_copies) {
    ASAN_UNPOISON_MEMORY_REGION(c.block, c.bytes);
    EeFree(c.block);
  }
  g_copies.clear();
}

// The allocator's live blocks, by a walk over its block headers (whole
// size, size of the block below, magic; see platform/ee/eemem.cpp).
constexpr uint32_t EE_BLOCK_USED = 0xEEA110C8;
std::vector<uint32_t> LiveBlocks() {
  std::vector<uint32_t> out;
  for (uint32_t a = EE_ARENA_BASE; a < EE_ARENA_BASE + EE_ARENA_SIZE;) {
    const auto* h = static_cast<const uint32_t*>(EeAddrToPtr(a));
    if (h[0] < 32 || (h[0] & 15)) abort();  // not a block: the walk is wrong
    if (h[2] == EE_BLOCK_USED) out.push_back(a + 16);
    a += h[0];
  }
  return out;
}

bool g_tracking = false;
std::vector<uint32_t> g_before;

void FreeAbandonedBlocks() {
  if (!g_tracking) return;
  g_tracking = false;
  for (uint32_t a : LiveBlocks())
    if (!std::binary_search(g_before.begin(), g_before.end(), a)) EeFree(EeAddrToPtr(a));
}

// The hang watchdog. libFuzzer's own timer signal reaches whichever host
// thread takes it, rarely the engine thread, so a host thread watches the
// input's running time instead (-timeout=N, default 10 s) and, past it,
// keeps the input as "timeout-input" and ends the run.
int g_timeout = 10;
std::atomic<int64_t> g_inputStart{0};  // steady-clock ms, 0: between inputs
const uint8_t* g_inputData;
size_t g_inputSize;

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void Watchdog() {
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    const int64_t start = g_inputStart.load();
    if (!start || NowMs() - start < int64_t(g_timeout) * 1000) continue;
    fprintf(stderr, "==fuzz== hang: an input of %zu bytes ran for more than %d s; kept as timeout-input\n",
            g_inputSize, g_timeout);
    if (FILE* f = fopen("timeout-input", "wb")) {
      fwrite(g_inputData, 1, g_inputSize, f);
      fclose(f);
    }
    _exit(70);
  }
}

int OneInput(const uint8_t* data, size_t size) {
  g_inputData = data;
  g_inputSize = size;
  g_inputStart = NowMs();
  const uint8_t* copy = FuzzEeCopy(data, size);
  KernelSetHaltHook(ThrowHalt);
  try {
    FuzzOne(copy, size);
  } catch (const HaltSignal&) {
    // A fatal error: the clear end of a bad input.
  }
  KernelSetHaltHook(AbortHalt);
  FuzzReset();
  FreeCopies();
  FreeAbandonedBlocks();
  KernelSetHaltHook(nullptr);
  g_inputStart = 0;
  return 0;
}

const char* g_seedDir = nullptr;

int FuzzMain(int argc, char** argv) {
  if (g_seedDir) {
    mkdir(g_seedDir, 0755);
    FuzzSeeds(g_seedDir);
    return 0;
  }
  for (int i = 1; i < argc; i++)
    if (!strncmp(argv[i], "-timeout=", 9)) g_timeout = atoi(argv[i] + 9);
  if (g_timeout > 0) std::thread(Watchdog).detach();
  PlatHostMemWrites(true);
  return LLVMFuzzerRunDriver(&argc, &argv, OneInput);
}

}  // namespace

std::vector<FuzzPart> FuzzSplit(const uint8_t* data, size_t size, size_t max) {
  std::vector<FuzzPart> parts;
  const size_t sep = sizeof FUZZ_SEPARATOR - 1;
  size_t start = 0;
  while (parts.size() + 1 < max) {
    const void* at = size - start >= sep ? memmem(data + start, size - start, FUZZ_SEPARATOR, sep) : nullptr;
    if (!at) break;
    const size_t end = size_t(static_cast<const uint8_t*>(at) - data);
    parts.push_back({data + start, end - start});
    start = end + sep;
  }
  parts.push_back({data + start, size - start});
  return parts;
}

uint8_t* FuzzEeCopy(const void* data, size_t size, size_t room, size_t align) {
  // Past the copy and its room: at least 64 poisoned bytes.
  const size_t bytes = size + room + align + 64;
  void* block = EeMalloc(bytes);
  if (!block) abort();  // the targets' buffers are small: EE memory leaks
  auto* p = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(block) + align - 1) & ~uintptr_t(align - 1));
  if (size) memcpy(p, data, size);
  memset(p + size, 0, room);
  uint8_t* end = static_cast<uint8_t*>(block) + bytes;
  ASAN_POISON_MEMORY_REGION(p + size + room, size_t(end - (p + size + room)));
  g_copies.push_back({block, bytes});
  return p;
}

void FuzzFreeAbandoned() {
  g_before = LiveBlocks();  // in address order
  g_tracking = true;
}

const std::string& FuzzDir() {
  static std::string dir;
  if (dir.empty()) {
    char tmpl[] = "/tmp/ze2_fuzz.XXXXXX";
    if (!mkdtemp(tmpl)) abort();
    dir = tmpl;
    atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(dir, ec);
    });
    PlatSetHostRoot(dir.c_str());
    PlatSetDiscRoot(dir.c_str());
    PlatSetMemCardRoot((dir + "/memcard").c_str());
  }
  return dir;
}

void FuzzWriteFile(const std::string& name, const void* data, size_t size) {
  PlatHostMemFile(name.c_str(), data ? data : "", size);
}

void FuzzWriteHostFile(const std::string& name, const void* data, size_t size) {
  const std::string path = FuzzDir() + "/" + name;
  for (size_t s = path.find('/', FuzzDir().size() + 1); s != std::string::npos; s = path.find('/', s + 1))
    mkdir(path.substr(0, s).c_str(), 0755);
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || write(fd, data, size) != ssize_t(size)) abort();
  close(fd);
}

void FuzzWriteSeed(const char* dir, const char* name, const std::vector<std::vector<uint8_t>>& parts) {
  std::string path = std::string(dir) + "/" + name;
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) abort();
  for (size_t i = 0; i < parts.size(); i++) {
    if (i) fwrite(FUZZ_SEPARATOR, 1, sizeof FUZZ_SEPARATOR - 1, f);
    fwrite(parts[i].data(), 1, parts[i].size(), f);
  }
  fclose(f);
}

int main(int argc, char** argv) {
  KernelSetClock(KCLOCK_VIRTUAL);
  if (argc > 1 && !strncmp(argv[1], "-seeds=", 7)) g_seedDir = argv[1] + 7;
  return PlatformRun(FuzzMain, argc, argv);
}
