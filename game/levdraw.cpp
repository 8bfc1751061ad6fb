// Level drawing from inside the planet world's render (its five hooks),
// the level scenes' animation, water and the environment map, and the
// foreground load of a replay's first level behind the loading screen.
#include "game.h"
#include "gameflow.h"
#include "levcon.h"
#include "player.h"
#include "standins.h"
#include "zeps2.h"

#include <cmath>
#include <cstring>

ZEVEC* levcon_campos;
int levcon_level_draw_enabled = 1;
int levcon_extvis = 1;
int draw_preload_levels;
int levconrender_currentlevelonly;
int16_t time_of_day_blend[2] = {0, 2303};
float rotscale_override = -1.0f;
ZEVEC playerstartpos;
int playerstartang;
volatile int levcon_loading_fade = -1;

namespace {

int g_skyDrawn;
float g_envU;
float g_envScale = 2.0f;
int g_depth;
ZEANG g_textAngle;
int g_screenStarted;
int g_savedThreaded;
ZEAPISTATE g_screenApi;
constexpr int kBoxY = 3180, kBoxW = 1850;

bool Held(const LevConLevel& l) { return (l.levflags & LEVCON_HELD) != 0; }

// A level's scene: its sea shape follows the world's sea while a level is
// current; the portals decide what is seen, or the visibility table for
// the camera when the scene has none.
void DrawLevelScene(LevConLevel* l) {
  if (current_level && l->seashape)
    ZeSpecialSetAttr(static_cast<ZESPECIAL*>(l->seashape), ZESPA_VISIBLE, WorldFXSeaVisibility() ? 1 : 0, ZESPA_END);
  if (!ZePortalVisibility(&l->scene->portals)) ApplyVisiTable(l->scene, levcon_campos);
  ZeGScnRndr3(l->scene);
}

// The levels of a sibling list, sub-levels first; the count drawn.
int DrawTree(LevConInfo* first) {
  int drawn = 0;
  for (LevConInfo* n = first; n; n = n->next) {
    if (n->kind != LEVCON_LEVEL) continue;
    drawn += DrawTree(n->child);
    auto* l = reinterpret_cast<LevConLevel*>(n);
    if (!l->visible || !l->scene) continue;
    if (Held(*l) && !draw_preload_levels) continue;
    if (levconrender_currentlevelonly && l != current_level) {
      drawn++;
      continue;
    }
    DrawLevelScene(l);
    drawn++;
    if (l == current_level) MainDrawLevel();
  }
  return drawn;
}

void PreSpace() {
  g_skyDrawn = 0;
  DrawStars();
  if (debris_enabled) DebrisDraw(paused ^ editor_active, 3);
  ZeRndrFlush(0);
}

void PrePlanet() {
  if (g_skyDrawn) return;
  DrawSky();
  g_skyDrawn = 1;
}

void Plate(int plate, void* data) {
  g_skyDrawn = 0;
  auto* island = static_cast<LevConIsland*>(data);
  if (plate == -1) island = current_island;
  ZeRndrGlobalFrameCountPause(paused);
  int drawn = 0;
  if (island) {
    if (levcon_level_draw_enabled) drawn = DrawTree(island->info.child);
    if (!drawn && island->loscene && levcon_extvis && GBGetPlanetRender() && levcon_curr_gbinitlevel >= 3)
      ZeGScnRndr3(island->loscene);
  } else if (levcon_level_draw_enabled && current_level && current_level->scene) {
    DrawLevelScene(current_level);
  }
}

void PostPlanet() {
  if (g_skyDrawn) return;
  g_skyDrawn = 1;
  if (!game_editmode) DrawAtmos();
}

void PostSpace() {}

// The loading screen, at the start of every vertical blank while a
// threaded foreground load runs: the wobbling "loading", then the fade.
void LoadingScreen() {
  ZeThreadPreserveAPIState(&g_screenApi);
  if (ZeRndrBeginScene(-1)) {
    if (game_fnt) {
      ZeFntSet(game_fnt);
      ZeFntScale(game_fnt_scale * 3 / 4, game_fnt_scale * 3 / 4);
    }
    // The font's measures are in 1/16 pixel already, as the screen's.
    ZeRndrRect2di((0x2800 - kBoxW) / 2, kBoxY, kBoxW, ZeFntHeight, 0x80000000u, nullptr);
    if (levcon_loading_fade == -1) {
      if (game_fnt) {
        ZeFntSetPen(0xffffffffu);
        const int x = (320 + int(10.0f * std::sin(float(g_textAngle) * 6.2831853f / 65536.0f))) * 16;
        ZeFntPrintEx(x, kBoxY + ZeFntBase, 2, "loading");
      }
      g_textAngle = ZEANG(g_textAngle + 0x71c);
    } else {
      if (levcon_loading_fade > 0) levcon_loading_fade = levcon_loading_fade - 1;
      ZeRndrRect2di(0, 0, 0x2800, 0xE00, 0x80050505u, general_fade_mtl);
    }
    ZeRndrEndScene();
  }
  ZePs2ScreenSwap(1);
  iZeRndrVu1Draw();
  ZeRndrSwapStreamBuffers();
  ZeThreadRestoreAPIState(&g_screenApi);
}
ZEVBLANKHANDLER g_screen = {nullptr, nullptr, LoadingScreen, 0};

// The splash fade-in before the loading screen; a missing or unreadable
// picture skips it (no texture is made from a buffer nothing was read into).
void Splash() {
  static const char* const kNames[2] = {"gfx\\splash1l.pnt", "gfx\\splash1r.pnt"};
  char* at = bigbuffer->world_top;
  char* end = bigbuffer->block_end;
  ZETEXID tex[2] = {0, 0};
  ZEMTL* mtl[2] = {nullptr, nullptr};
  bool ok = true;
  for (int i = 0; i < 2 && ok; i++) {
    at = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(at) + 15) & ~uintptr_t(15));
    const int size = ZeFileSize(kNames[i]);
    ok = size > 0 && size <= end - at && ZeFileLoadBuffer(kNames[i], at, int(end - at));
    if (ok) tex[i] = ZeTexCreateNative(at);
    ok = ok && tex[i];
    if (ok) {
      at += size;
      mtl[i] = ZeMtlCreate(1);
      mtl[i]->attributes = (mtl[i]->attributes & 0xFFFFFCFFu) | 0xC100u;
      mtl[i]->texture = tex[i];
      ZeMtlUpdate(mtl[i]);
    }
  }
  if (ok) {
    for (int f = 0; f < 64; f++) {
      if (ZeRndrBeginScene(-1)) {
        if (f < 60) {
          ZeRndrRectUV2di(0, 0, 0x2000, 0x1000, 0x80808080u, mtl[0], 0, 0, 1, 1);
          ZeRndrRectUV2di(0x2000, 0, 0x800, 0x1000, 0x80808080u, mtl[1], 0, 0, 1, 1);
          int g = 5 * (56 - f > 0 ? 56 - f : 0);
          if (g > 255) g = 255;
          ZeRndrRect2di(0, 0, 0x2800, 0xE00, 0x80000000u + uint32_t(g) * 0x010101u, general_fade_mtl);
        }
        ZeRndrEndScene();
      }
      ZeRndrSwapScreen(-1);
    }
  }
  for (int i = 0; i < 2; i++) {
    if (mtl[i]) ZeMtlDestroy(mtl[i]);
    if (tex[i]) ZeTexDestroy(tex[i]);
  }
}

}  // namespace

void LevConInstallRenderHooks() {
  GBSetPreSpaceRenderFunc(PreSpace);
  GBSetPrePlanetRenderFunc(PrePlanet);
  GBSetPlateRenderFunc(Plate);
  GBSetPostPlanetRenderFunc(PostPlanet);
  GBSetPostSpaceRenderFunc(PostSpace);
}

void LevConUpdateScenes() {
  auto update = [](ZEGSCENE* scene) {
    if (!scene) return;
    ZeGSceneSetCrossFade(scene, time_of_day_blend[0], time_of_day_blend[1]);
    ZeGScnUpdate(scene, 1.0f);
  };
  if (current_island) {
    if (levcon_extvis) update(current_island->loscene);
    for (int i = 0; i < levcon_num_levels; i++)
      if (LevConIslandOf(&levels[i].info) == current_island) update(levels[i].scene);
  } else if (current_level) {
    update(current_level->scene);
  }
}

void LevConRender(const ZEVEC* camera) {
  levcon_campos = const_cast<ZEVEC*>(camera);
  if (game_editmode) {
    GBRender();
  } else if (planet_lev) {
    ProcWorldFx();
    GBRender();
  }
  levconrender_currentlevelonly = 0;
}

void LevConRenderWater() {
  ZeWaterSpeed(paused && !editor_active ? 0.0f : 1.0f);
  ZeWaterReset();
  if (current_level) DebrisDrawGlass();
  g_envU += 0.0003f;
  if (g_envU > 1.0f) g_envU = 0.0f;
  float x = global_camera.mtx.m[2][0], z = global_camera.mtx.m[2][2];
  const float len = std::sqrt(x * x + z * z);
  if (len > 0.0f) {
    x /= len;
    z /= len;
  }
  int h;
  if (x > 0 && z > 0) h = ZeACos(x);
  else if (x > 0) h = ZeACos(-z) + 0xc000;
  else if (z > 0) h = ZeACos(z) + 0x4000;
  else h = ZeACos(-x) + 0x8000;
  const float scale = rotscale_override >= 0.0f ? rotscale_override : g_envScale;
  rotscale_override = -1.0f;
  ZeNormalMapSetEnvUV(g_envU, float(h & 0xffff) / 65536.0f * scale);
}

float LevConEnvU() { return g_envU; }

void LevConLoadAll(LevConWorld* world, LevConIsland* island, LevConLevel* level) {
  bool started = false;
  if (g_depth == 0 && multithreaded) {
    Splash();
    levcon_loading_fade = -1;
    ZeIntAddVBlankS(&g_screen);
    g_savedThreaded = multithreaded;
    multithreaded = 0;  // the loader works inside this thread's calls
    g_screenStarted = started = true;
  }
  g_depth++;
  if (!levcon_edit && level && level->info.parent && level->info.parent->kind == LEVCON_LEVEL)
    LevConLoadAll(world, island, reinterpret_cast<LevConLevel*>(level->info.parent));
  levcon_force_world = world;
  levcon_force_island = island;
  levcon_force_level = level;
  while (current_island != island || current_level != level) {
    LevConProcess();
    GBProcess(0);
    ConCoreProcess(0);
    if (gameflow_prog) gfcRunProgram(gameflow_prog);
    BGSuspendMain();
    ZeErrorCheck("Main Thread");
    KernelYield();  // a wait loop: time moves on while the load is held
  }
  levcon_force_world = nullptr;
  levcon_force_island = nullptr;
  levcon_force_level = nullptr;
  ZeDebugMsg("LevConLoadAll - Exited o.k.");
  g_depth--;
  if (g_depth == 0 && started) {
    levcon_loading_fade = 100;
    while (levcon_loading_fade > 0) KernelWaitVSync();
    multithreaded = g_savedThreaded;
    ZeIntRemVBlankS(&g_screen);
    g_screenStarted = 0;
  }
  if (levcon_edit) {
    levcon_force_island = island;
    levcon_force_level = level;
  }
}

void LevConSetName(const char* name, int, int edit) {
  BGLoadInhibit(0, 0);
  levcon_edit = edit;
  if (!name) return;
  if (edit) {
    if (LevConLevel* l = LevConFindLevelByName(name)) {
      LevConLoadAll(nullptr, nullptr, l);
      levcon_edit++;
      return;
    }
  }
  for (int w = 0; w < levcon_num_worlds; w++) {
    LevConWorld* world = &worlds[w];
    if (world->info.Name && ZeStrICmp(world->info.Name, name) == 0) {
      LevConLoadAll(world, nullptr, nullptr);
      return;
    }
  }
  for (int w = 0; w < levcon_num_worlds; w++) {
    LevConWorld* world = &worlds[w];
    for (int i = 0; i < world->nislands; i++) {
      LevConIsland* island = &world->firstisland[i];
      if (island->info.Name && ZeStrICmp(island->info.Name, name) == 0) {
        LevConLoadAll(world, island, nullptr);
        return;
      }
      for (int l = 0; l < levcon_num_levels; l++) {
        LevConLevel* level = &levels[l];
        if (LevConIslandOf(&level->info) != island || !level->info.Name || ZeStrICmp(level->info.Name, name)) continue;
        playerstartpos = level->StartPos;
        playerstartang = level->startyaw;
        SetPlayer(&playerstartpos, playerstartang);
        LevConLoadAll(world, island, level);
        return;
      }
    }
  }
}
