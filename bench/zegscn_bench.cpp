// Scene files: MB/s of ZeGScnRead of the demo scene (the whole read, then
// the fix-up in place) beside ZeFileLoadBuffer of the same file (the read
// alone). The scene is removed between reads, outside the timing.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "scenewrite.h"
#include "zecore.h"

namespace {

struct Fixture {
  std::string dir;
  int size = 0;
  char* buffer = nullptr;
  int room = 0;
  Fixture() {
    char tmpl[] = "/tmp/zegscn_bench.XXXXXX";
    dir = mkdtemp(tmpl);
    errmsg_disabled = 1;
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    SceneEngineInit();
    ZeTexAnimProgSysInit();
    SceneDesc desc;
    std::string error;
    if (!SceneReadDescription(ZE_DEMO_DIR "/demo_scene.txt", &desc, &error)) abort();
    PlatSetHostRoot(dir.c_str());
    zegscn_generate_colourref = 1;
    if (!SceneWriteGsc0(desc, "DEMO.GS0", &error)) abort();
    SceneDescFree(&desc);
    ZeGScnConvertScene("DEMO.GSC", "DEMO.GS0");
    size = ZeFileSize("DEMO.GSC");
    room = size * 2 + 65536;
    buffer = static_cast<char*>(EeMalloc(size_t(room)));
    if (size <= 0 || !buffer) abort();
  }
};

Fixture& F() {
  static Fixture f;
  return f;
}

void BM_GScnRead_DemoScene(benchmark::State& state) {
  Fixture& f = F();
  for (auto _ : state) {
    char* pos = f.buffer;
    ZEGSCENE* s = ZeGScnRead(&pos, f.buffer + f.room, "DEMO.GSC");
    state.PauseTiming();
    if (!s) {
      state.SkipWithError("read failed");
      break;
    }
    ZeGScnRemove(s);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * f.size);
}
BENCHMARK(BM_GScnRead_DemoScene);

void BM_FileLoadBuffer_DemoScene(benchmark::State& state) {
  Fixture& f = F();
  for (auto _ : state) {
    if (ZeFileLoadBuffer("DEMO.GSC", f.buffer + 128, f.room - 128) != f.size) {
      state.SkipWithError("load failed");
      break;
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * f.size);
}
BENCHMARK(BM_FileLoadBuffer_DemoScene);

}  // namespace
