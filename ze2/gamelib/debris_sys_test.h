// The particle system set up on a started renderer (the object-drawing
// tests' fixture): its pools carved from one arena block.
#pragma once

#include <cstdio>
#include <filesystem>
#include <vector>

#include "debris_host.h"
#include "debris_test.h"
#include "zerndrobj_test.h"

// The screen position (pixels) of a point under local.
inline void Project(const ZEVEC& p, const ZEMTX& local, float* x, float* y) {
  ZEMTX m;
  ZeMtxMulH(&m, &local, ZeCameraGetVPCSMtx());
  const float h[4] = {p.x, p.y, p.z, 1};
  float s[4];
  for (int j = 0; j < 4; j++) s[j] = h[0] * m.m[0][j] + h[1] * m.m[1][j] + h[2] * m.m[2][j] + h[3] * m.m[3][j];
  *x = s[0] / s[3] / 16.0f - (2048 - 320);
  *y = s[1] / s[3] / 16.0f - (2048 - 112);
}

// "gfx\particle.pnt" in the host directory (DebrisParticleTexture).
inline void WriteParticleTexture(const std::string& host) {
  const std::vector<uint8_t> native = DebrisParticleTexture();
  std::filesystem::create_directories(host + "/GFX");
  FILE* f = fopen((host + "/GFX/PARTICLE.PNT").c_str(), "wb");
  if (f) fwrite(native.data(), 1, native.size(), f), fclose(f);
}

// A frame drawn into the second buffer (a texture cannot be pointed at
// block 0, where the first lies): clear to grey, the background, then the
// glass pass (and the rain) over it; the buffer it drew into.
template <class F>
uint64_t GlassFrame(ObjDraw& d, uint32_t grey, F background) {
  d.Frame([] {});
  uint64_t frame;
  ZePs2GetCurrentBackBuffer(&frame);
  ZeRndrBeginScene(-1);
  ZeRndrClear(0x700, grey, 1.0f);
  background();
  ZeRndrEndScene();
  DebrisDrawGlass();
  ZePs2ScreenSwap(1);
  ZeRndrVu1Draw();
  KernelYield();
  ZeRndrSwapStreamBuffers();
  return frame;
}

struct Particles : ObjDraw {
  std::string host;
  char* pool = nullptr;
  void SetUp() override {
    ObjDraw::SetUp();
    host = TestTempDir();
    PlatSetHostRoot(host.c_str());
    WriteParticleTexture(host);
    ParticleReset();
    edppDestroyAllEffects();
    constexpr int BYTES = 2 << 20;
    pool = static_cast<char*>(ZeMemAlloc(BYTES));
    char* cursor = pool;
    DebrisSetup(&cursor, "gfx\\particle.pnt", 304);
    ASSERT_LE(cursor - pool, BYTES);
    globaltime = 0.0f;
    globalframes = 0;
    debris_seed = 12345;
    debris_render_group = 0;
    CutoffCameraVec = nullptr;
    std::srand(1);
  }
  void TearDown() override {
    if (debris_glass_ready) DebrisGlassClose();
    debris_initialised = 0;
    ParticleChunkRenderStack = nullptr;
    DmaDebTypes = nullptr;
    for (DebrisEffectType& t : effecttypes) t.info = nullptr;
    memset(object_switches, 0, sizeof object_switches);
    PlatSetHostRoot(nullptr);
    ObjDraw::TearDown();
    ZeMemFree(pool);
  }
  DebrisKey& K(int key) { return debkeydata[key]; }
  // Logic frames without drawing.
  void Frames(int n) {
    for (int i = 0; i < n; i++) Debris(0);
  }
  int FreeChunks() const { return debrischunks - freedebchkptr; }
  int FreeGlass() const { return debrischunksglass - freedebchkptrg; }
};
