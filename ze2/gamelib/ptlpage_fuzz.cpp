// Fuzz target: an effect file. The first byte chooses the load's kind (0
// types only, 1 types and placed emitters, 5 a character list); the rest is
// the file. A loaded page is started, its types burst, run for a few
// particle frames (its emitters emitting), stopped and cleared.
#include "debris_host.h"
#include "edtools.h"
#include "fuzz.h"
#include "zecore_local.h"

#include <cstdio>
#include <cstring>

namespace {

char* g_pool;

void Start() {
  errmsg_disabled = 1;
  errmsg_to_console = 0;
  FuzzDir();
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  if (g_pool) return;
  g_pool = DebrisHostStart();
  // The particle texture every set-up loads.
  const std::vector<uint8_t> texture = DebrisParticleTexture();
  FuzzWriteFile("GFX/PARTICLE.PNT", texture.data(), texture.size());
  FuzzFreeAbandoned();
}

}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  Start();
  if (size < 1) return;
  static const int kKinds[3] = {0, 1, 5};
  const int kind = kKinds[data[0] % 3];
  FuzzWriteFile("FUZZ.DAT", data + 1, size - 1);
  // Set-up takes the same materials each time: release them first.
  ZeMtlRelease();
  char* cursor = g_pool;
  DebrisSetup(&cursor, "gfx\\particle.pnt", 304);
  const ZEVEC camera = {0, 0, 0};
  DebrisRegisterCutoffCameraVec(&camera);
  const int page = edppLoadPage("FUZZ.DAT", kind, nullptr);
  if (page < 0) return;
  // Bound the work of one input: a type may ask for 32,767 particles a
  // frame from each of its emitters.
  for (int i = 1; i < DEB_TYPES; i++)
    if (debtab[i] && debtab[i]->gen_rate > 64) debtab[i]->gen_rate = 64;
  edppStartPage(page);
  for (int i = 1; i < DEB_TYPES; i++)
    if (debtab[i]) {
      const ZEVEC at = {1, 2, 3};
      AddVariableShotDebrisEffect(i, &at, 3, 100, 200);
    }
  for (int f = 0; f < 8; f++) Debris(0);
  edppDetermineNearest(-1.0f);
  edppStopPage(page);
  edppClearPage(page);
}

void FuzzReset() {
  EdFileClose();
  EdFileSetMedia(EDFILE_MEDIA_NONE);
  ParticleReset();
  edppDestroyAllEffects();
  ZeFileReset();
  errmsg_trap = 0;
}

// Seeds through the engine's writer: a type of each generator kind (one
// glass, spheres and sounds on some) and placed emitters, as versions 22,
// 18, 10 and 5, loaded as a level and as the general page.
void FuzzSeeds(const char* dir) {
  Start();
  std::vector<DebrisEffectType> types(DEB_GENERATORS);
  std::vector<PlacedEmitter> emitters(DEB_GENERATORS);
  for (int i = 0; i < DEB_GENERATORS; i++) {
    DebrisEffectType& t = types[i];
    DebrisDefaultEffectType(&t);
    snprintf(t.name, sizeof t.name, "T%d", i);
    t.gen_rate = int16_t(i % 3 == 0 ? -2 : i);
    t.gen_kind = int8_t(i), t.mom_kind = int8_t(i % DEB_MOMENTUMS), t.blend = int8_t(i == 0 ? 7 : i % 4);
    t.on_time = int16_t(5 + i), t.off_time = int16_t(i % 2 ? 10 : 0);
    t.life = 0.5f + 0.25f * float(i);
    t.base_speed = 2, t.gravity = -3;
    t.var = {0.5f, 0.5f, 0.5f}, t.start = {0.25f, 0.25f, 0.25f};
    t.spheres = int8_t(i % 3);
    t.collision[0] = {0, 0.5f}, t.collision[1] = {1, 1};
    t.ghosts = int16_t(i % 2), t.ghost_sep = 0.1f;
    PlacedEmitter& e = emitters[i];
    memset(&e, 0, sizeof e);
    memcpy(e.name, t.name, 16);
    e.pos = {float(i), 0, 0};
    e.switch_id = -1, e.bounce = 0.5f, e.plane_offset = -1;
  }
  for (int version : {22, 18, 10, 5}) {
    EdFileClose();
    if (!edppSaveFile("SEED.DAT", version, types.data(), int(types.size()), emitters.data(), int(emitters.size())))
      abort();
    FILE* f = fopen((FuzzDir() + "/SEED.DAT").c_str(), "rb");
    if (!f) abort();
    std::vector<uint8_t> level{1}, general{0};
    for (int c; (c = fgetc(f)) != EOF;) level.push_back(uint8_t(c)), general.push_back(uint8_t(c));
    fclose(f);
    const std::string v = std::to_string(version);
    FuzzWriteSeed(dir, ("level" + v).c_str(), {level});
    FuzzWriteSeed(dir, ("general" + v).c_str(), {general});
  }
}
