// The particle system set up on a started renderer (the object-drawing
// tests' fixture): its pools carved from one arena block.
#pragma once

#include "debris_test.h"
#include "zerndrobj_test.h"

struct Particles : ObjDraw {
  std::string host;
  char* pool = nullptr;
  void SetUp() override {
    ObjDraw::SetUp();
    host = TestTempDir();
    PlatSetHostRoot(host.c_str());
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
