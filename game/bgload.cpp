// The background loader: worlds, islands, levels, conflicts, planet-world
// work and posted callbacks, one request a turn in a fixed priority. As a
// thread (priority 1) it runs only from the main thread's hand-over after
// the swap to the next vertical-blank end, which stops it; with NOBGLOAD
// each hand-over runs one turn inline, with the same order and results.
#include "coblib.h"
#include "game.h"
#include "globular.h"
#include "levcon.h"
#include "standins.h"
#include "zeps2.h"
#include "zesound2.h"

#include <cstdio>
#include <cstring>

int multithreaded = 1;
int bgload_inhibit = 1;
int bgload_level_abort;
int bgload_vbe_enabled;
LevConWorld* bgload_next_world;
LevConIsland* bgload_next_island;
LevConLevel* bgload_next_level;
void* bgload_next_conflict;
void (*bgload_next_gb_init)();
BGCallback bgload_ring[BGLOAD_RING];
int bgload_ring_write, bgload_ring_read, bgload_ring_count;
int bgload_load_sequence;

namespace {

int g_inited;
int g_mainThread = -1, g_loaderThread = -1, g_sema = -1;
volatile int g_running;
ZEAPISTATE g_api;
alignas(16) uint8_t g_stack[65536];

// The job taken this turn; in inline mode a level or conflict waiting for
// its sub-buffer stays here for the next turn.
struct Job {
  LevConWorld* world;
  LevConIsland* island;
  LevConLevel* level;
  void* conflict;
  void (*gbinit)();
  BGCallback callback;
  ASYNCFILEREQ* gbdata;
};
Job g_job;

bool Waiting() {
  return bgload_next_world || bgload_next_island || bgload_next_level || bgload_next_gb_init || bgload_next_conflict ||
         bgload_ring_count || bgload_next_gb_data;
}

// Reads the island's load triggers when it names a file and has none yet.
void LoadIslandTriggers(LevConIsland* island) {
  if (!island->LoadTriggers || island->ltset >= 0) return;
  char name[256];
  snprintf(name, sizeof name, "%s\\%s.ltd", island->info.Path ? island->info.Path : "", island->LoadTriggers);
  island->ltset = LoadTrigRead(name, island);
}

bool BufferLocked(LevConLevel* level) {
  auto* d = static_cast<BuffyDesc*>(level->buffer);
  return d && d->lockstate == BUFFY_LOCKED;
}

// Step 6: runs the job; 0 when a level must wait for its buffer (inline).
int RunJob() {
  Job& j = g_job;
  if (j.world) {
    BGLoadWorld(j.world);
  } else if (j.island) {
    j.island->chartypes = nullptr;  // the active character-type list
    LoadIslandTriggers(j.island);
    j.island->info.loaded = 1;
  } else if (j.level) {
    if (!multithreaded) {
      if (!BufferLocked(j.level)) return 0;
    } else {
      // The main thread is blocked: each pass gives the vertical-blank end
      // its chance to stop the loader, and the buffer its chance to lock.
      while (!BufferLocked(j.level)) KernelYield();
    }
    BGLoadLevel(j.level, 1);
  } else if (j.gbinit) {
    j.gbinit();
  } else if (j.conflict) {
    ConCoreBGLoad(j.conflict, 1);
  } else if (j.callback.status == BG_CB_TAKEN) {
    if (j.callback.function) j.callback.function(j.callback.argument, j.callback.handle);
  } else if (j.gbdata) {
    AsyncFileServe(j.gbdata);
  }
  return 1;
}

// One turn: 1 when a job ran, 0 when the loader went idle or waits.
int Turn() {
  if (!multithreaded && g_job.level) {
    if (!RunJob()) return 1;
    g_job = {};
    return 1;
  }
  ZeDisableVBlankE();
  if (levcon_frame_delay || bgload_inhibit || !Waiting()) {
    bgload_pending = 0;
    ZeEnableVBlankE();
    return 0;
  }
  g_job = {};
  if (bgload_next_world) {
    g_job.world = bgload_next_world;
    bgload_next_world = nullptr;
  } else if (bgload_next_island) {
    g_job.island = bgload_next_island;
    bgload_next_island = nullptr;
  } else if (bgload_next_level) {
    g_job.level = bgload_next_level;
    bgload_next_level = nullptr;
  } else if (bgload_next_gb_init) {
    g_job.gbinit = bgload_next_gb_init;
    bgload_next_gb_init = nullptr;
  } else if (bgload_next_conflict) {
    g_job.conflict = bgload_next_conflict;
    bgload_next_conflict = nullptr;
  } else if (bgload_ring_count) {
    BGCallback& e = bgload_ring[bgload_ring_read];
    g_job.callback = e;
    // A cancelled entry is taken all the same, and not called.
    if (e.status == BG_CB_QUEUED) g_job.callback.status = e.status = BG_CB_TAKEN;
    bgload_ring_read = (bgload_ring_read + 1) % BGLOAD_RING;
    bgload_ring_count--;
  } else {
    g_job.gbdata = bgload_next_gb_data;
    bgload_next_gb_data = nullptr;
  }
  bgload_pending = 1;
  ZeEnableVBlankE();
  if (!RunJob()) return 1;  // inline: the level waits for its buffer
  g_job = {};
  return 1;
}

void LoaderThread(void*) {
  for (;;) {
    if (!Turn()) {
      SignalSema(g_sema);
      SuspendThread(g_loaderThread);
    }
  }
}

void VBlankEnd() {
  if (!bgload_vbe_enabled) return;
  iSignalSema(g_sema);
  iSuspendThread(g_loaderThread);
  if (g_running) {
    ZeThreadPreserveAPIState(&g_api);
    g_running = 0;
  }
}
ZEVBLANKHANDLER g_vbe = {nullptr, nullptr, VBlankEnd, 0};

char* Align16(char* p) { return reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(p) + 15) & ~uintptr_t(15)); }

bool Aborted() {
  if (!bgload_level_abort) return false;
  ZeDebugMsg("@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@");
  ZeDebugMsg("BGLoadLevel - Aborted");
  ZeDebugMsg("@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@");
  return true;
}

LevConIsland* IslandOf(LevConLevel* level) {
  for (LevConInfo* n = level->info.parent; n; n = n->parent)
    if (n->kind == LEVCON_ISLAND) return reinterpret_cast<LevConIsland*>(n);
  return nullptr;
}

}  // namespace

void BGLoadThread() { Turn(); }

int BGLoadIsLoading(const LevConLevel* level) { return level && g_job.level == level; }

void BGLoadInit() {
  if (g_inited) return;
  g_inited = 1;
  g_mainThread = GetThreadId();
  if (multithreaded) ChangeThreadPriority(g_mainThread, 0);
  SemaParam sp{};
  sp.initCount = 0;
  sp.maxCount = 1;
  g_sema = CreateSema(&sp);
  BGLoadAbortAllRequests();
  bgload_next_conflict = nullptr;
  bgload_next_gb_init = nullptr;
  g_job = {};
  if (multithreaded) {
    ThreadParam tp{};
    tp.func = LoaderThread;
    tp.stack = g_stack;
    tp.stackSize = sizeof g_stack;
    tp.initPriority = 1;
    g_loaderThread = CreateThread(&tp);
    g_running = 0;
    StartThread(g_loaderThread, nullptr);
    ZeIntAddVBlankE(&g_vbe);
    bgload_vbe_enabled = 1;
  }
}

void BGLoadClose() {
  if (!g_inited) return;
  if (g_loaderThread >= 0) {
    bgload_vbe_enabled = 0;
    ZeIntRemVBlankE(&g_vbe);
    TerminateThread(g_loaderThread);
    DeleteThread(g_loaderThread);
    g_loaderThread = -1;
  }
  DeleteSema(g_sema);
  g_sema = -1;
  g_inited = 0;
  g_job = {};
  bgload_pending = 0;
}

void BGSuspendMain() {
  if (!g_inited) return;
  if (!multithreaded || g_loaderThread < 0) {
    Turn();
    return;
  }
  ZeThreadRestoreAPIState(&g_api);
  ZeSoundSetThread(g_loaderThread);
  g_running = 1;
  ResumeThread(g_loaderThread);
  while (PollSema(g_sema) >= 0) {
  }
  WaitSema(g_sema);
}

int BGLoadInhibit(int inhibit, int wait) {
  bgload_inhibit = inhibit;
  if (inhibit && wait)
    while (bgload_pending) {
      BGSuspendMain();
      KernelYield();
    }
  return bgload_inhibit;
}

namespace {

// A job of this kind under way makes a foreground load fatal.
void CheckNoBackgroundWork(const char* what) {
  if (g_job.world || g_job.island || g_job.level || bgload_next_world || bgload_next_island || bgload_next_level)
    ZeError("Attempted to foreground load %s with background operation pending", what);
}

}  // namespace

void BGSetWorld(LevConWorld* world, int background) {
  if (background) {
    bgload_next_world = world;
    bgload_next_island = nullptr;
    bgload_next_level = nullptr;
    return;
  }
  CheckNoBackgroundWork("a world");
  BGLoadWorld(world);
}

void BGSetIsland(LevConIsland* island, int background) {
  if (background) {
    bgload_next_island = island;
    bgload_next_level = nullptr;
    return;
  }
  CheckNoBackgroundWork("an island");
  LoadIslandTriggers(island);
  island->info.loaded = 1;
}

void BGSetLevel(LevConLevel* level, int background) {
  if (background) {
    bgload_next_level = level;
    bgload_level_abort = 0;
    return;
  }
  CheckNoBackgroundWork("a level");
  BGLoadLevel(level, 0);
}

void BGSetConflict(void* conflict, int background) {
  if (background) {
    bgload_next_conflict = conflict;
    return;
  }
  ConCoreBGLoad(conflict, 0);
}

int BGLoadPending() {
  return bgload_pending || bgload_next_world || bgload_next_island || bgload_next_level || bgload_next_conflict ||
         bgload_next_gb_init || bgload_next_gb_data ? 1 : 0;
}

void BGLoadAbortPendingLevelLoad() { bgload_level_abort = 1; }

void BGLoadAbortAllRequests() {
  bgload_next_world = nullptr;
  bgload_next_island = nullptr;
  bgload_next_level = nullptr;
  bgload_next_conflict = nullptr;
  bgload_next_gb_init = nullptr;
  bgload_next_gb_data = nullptr;
  memset(bgload_ring, 0, sizeof bgload_ring);
  bgload_ring_write = bgload_ring_read = bgload_ring_count = 0;
}

int BGLoadPostCallback(BGCallbackFn function, void* argument) {
  ZeDisableVBlankE();
  int handle = -1;
  if (bgload_ring_count < BGLOAD_RING) {
    handle = bgload_ring_write & 0x7fffffff;
    bgload_ring[handle % BGLOAD_RING] = {function, argument, handle, BG_CB_QUEUED};
    bgload_ring_write = (bgload_ring_write + 1) & 0x7fffffff;
    bgload_ring_count++;
  }
  ZeEnableVBlankE();
  return handle;
}

// A handle names its entry only while the entry still carries it; a
// negative handle names none (it would index before the ring).
int BGLoadGetCallbackStatus(int handle) {
  if (handle < 0) return BG_CB_GONE;
  const BGCallback& e = bgload_ring[handle % BGLOAD_RING];
  return e.handle == handle ? e.status : BG_CB_GONE;
}

int BGLoadCancelCallback(int handle) {
  if (handle < 0) return BG_CB_GONE;
  ZeDisableVBlankE();
  BGCallback& e = bgload_ring[handle % BGLOAD_RING];
  int status = BG_CB_GONE;
  if (e.handle == handle) {
    if (e.status == BG_CB_QUEUED) {
      e.status = BG_CB_CANCELLED;
      e.function = nullptr;
    }
    status = e.status;
  }
  ZeEnableVBlankE();
  return status;
}

void BGLoadWorld(LevConWorld* world) {
  // The world's data go between the system top and the lowest sub-buffer
  // in use (or the block end).
  char* ptr = bigbuffer->system_top;
  char* limit = bigbuffer->block_end;
  for (const BuffyDesc& d : bigbuffer->desc)
    if (d.lockstate != BUFFY_FREE && d.start.get() < limit) limit = d.start;
  if (limit <= ptr) ZeError("BGLoadWorld failed! level buffer in the way");
  const char* path = world->info.Path ? world->info.Path : "";
  Wfx3Load(path, world->info.Name);
  char name[256];
  if (world->WBScene) {
    snprintf(name, sizeof name, "%s\\%s.gsc", path, world->WBScene);
    world->wbscene = ZeGScnRead(&ptr, limit, name);
    ZeDebugMsg("Loaded worldbits scene '%s'", world->WBScene);
  }
  InitWorldFx(world->wbscene);
  for (int i = 0; i < world->nislands; i++) {
    LevConIsland& is = world->firstisland[i];
    if (!is.LoScene) continue;
    snprintf(name, sizeof name, "%s\\%s.gsc", path, is.LoScene);
    is.loscene = ZeGScnRead(&ptr, limit, name);
    ZeDebugMsg("Loaded ultra low res scene '%s'", is.LoScene);
  }
  bigbuffer->world_top = Align16(ptr);
  world->info.loaded = 1;
}

namespace {

// One level's load in its fixed order, left when abandoned (the abort is
// tested after each step from the collision on). Every file is named from
// the level's path and the names in its record, and every loader takes its
// room between *buffer and end.
void LoadLevelFiles(LevConLevel* level, char** buffer, char* end, int background) {
  const char* path = level->info.Path ? level->info.Path : "";
  char name[256];
  ZEGSCENE* scene = nullptr;
  auto step = [&]() {
    instZeGCutSceneServiceLoad();
    return !Aborted();
  };
  // The collision and grass loaders count in bytes.
  uint8_t** const cursor = reinterpret_cast<uint8_t**>(buffer);
  uint8_t* const bytesEnd = reinterpret_cast<uint8_t*>(end);
  if (level->HiScene) {
    if (level->scene) ZeError("level not removed");
    snprintf(name, sizeof name, "%s\\%s.gsc", path, level->HiScene);
    // In pieces, so that a streamed cut scene is fed between them.
    while (ZeGScnStaggeredLoad(buffer, end, name, BGLOAD_SCENE_PIECE)) instZeGCutSceneServiceLoad();
    level->scene = scene = ZeGScnLoadFix();
    if (scene && level->SeaShape) {
      // The handle lives in the level's own buffer.
      char* at = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(*buffer) + 3) & ~uintptr_t(3));
      if (end - at < int(sizeof(ZESPECIAL))) ZeError("BGLoadLevel - no room for the sea shape of %s", level->info.Name);
      auto* h = reinterpret_cast<ZESPECIAL*>(at);
      *h = {};
      if (ZeSpecialFind(scene, h, level->SeaShape)) {
        level->seashape = h;
        *buffer = at + sizeof(ZESPECIAL);
      }
    }
    if (scene && !GetVisiTable(scene)) BuildVisiTable(scene, buffer, end);
    ZeDebugMsg("Loaded level scene");
    instZeGCutSceneServiceLoad();
    // Collision, its special terrain and the trigger volumes.
    *buffer = Align16(*buffer);
    snprintf(name, sizeof name, "%s\\%s", path, level->HiScene);
    level->terrain = terraininit(0, cursor, bytesEnd, 0, name, scene, 0);
    if (*buffer > end) ZeError("Terrain (%s) has overflowed the level buffer", level->HiScene);
    if (!step()) return;
    level->specterr = CreateSpecialTerrainData(scene, cursor, bytesEnd);
    if (!step()) return;
    snprintf(name, sizeof name, "%s\\%s.trg", path, level->HiScene);
    level->triggers = ZeTriggerSysLoad(name, buffer, end);
    if (!step()) return;
  }
  if (level->Particles) {
    snprintf(name, sizeof name, "%s\\%s.dat", path, level->Particles);
    level->setkeys[LEVCON_KEY_PARTICLE] = edppLoadPage(name, 1, scene);
  }
  if (!step()) return;
  if (level->Creatures) {
    snprintf(name, sizeof name, "%s\\%s", path, level->Creatures);
    level->setkeys[LEVCON_KEY_CREATURE] = InsertCreatureSet(name, level->terrain, buffer, end);
  }
  if (!step()) return;
  if (level->Pots) {
    snprintf(name, sizeof name, "%s\\%s.pot", path, level->Pots);
    level->setkeys[LEVCON_KEY_POT] = InsertPotSet(name, level);
  }
  if (level->Pickups) {
    snprintf(name, sizeof name, "%s\\%s.pik", path, level->Pickups);
    level->setkeys[LEVCON_KEY_PICKUP] = InsertPickupSet(name, level);
  }
  if (level->Lights) {
    snprintf(name, sizeof name, "%s\\%s.lgt", path, level->Lights);
    level->setkeys[LEVCON_KEY_LIGHT] = InsertLightSet(name);
  }
  if (!step()) return;
  LoadVehicles(level, buffer, end);
  if (!step()) return;
  if (scene) {
    // The trigger instance is made only at the end of this step, so the
    // cut scenes are created without one.
    snprintf(name, sizeof name, "%s.csc", level->HiScene);
    level->cutscenes = LoadLevelCutScenes(path, name, scene, level->triggerinst, buffer, end, background,
                                          level->setkeys[LEVCON_KEY_PARTICLE]);
    snprintf(name, sizeof name, "%s\\%s.scp", path, level->HiScene);
    level->script = ZeScriptSetLoadBuff(name, buffer, end);
    if (level->triggers && level->script)
      level->triggerinst = instZeTriggerSysCreate(level->triggers, scene, level->script, buffer, end, background);
  }
  if (!step()) return;
  if (level->Splines) {
    snprintf(name, sizeof name, "%s\\%s.spl", path, level->Splines);
    level->setkeys[LEVCON_KEY_SPLINE] = InsertSplineSet(name);
  }
  if (level->Grass) {
    snprintf(name, sizeof name, "%s\\%s.dat", path, level->Grass);
    level->setkeys[LEVCON_KEY_GRASS] = edgraLoadPage(name, scene, cursor, bytesEnd);
  }
  if (level->Bridges) {
    snprintf(name, sizeof name, "%s\\%s.dat", path, level->Bridges);
    level->setkeys[LEVCON_KEY_BRIDGE] = edbriLoadPage(name, scene);
  }
  if (!step()) return;
  if (scene) {
    ZeGSceneSetCrossFade(scene, time_of_day_blend[0], -1);
    ZeGSceneProcessCrossFade(scene);
  }
  if (!step()) return;
  InitLevelGens(scene);
  LevelFxBGInit(level, buffer, end);
  ZeDebugMsg("BGLoadLevel - loaded %s sucessfully", level->info.Name);
  snprintf(name, sizeof name, "%s\\%s.txt", path, level->info.Name);
  level->help = LoadLevelHelp(name, buffer, end, level->setkeys[LEVCON_KEY_POT]);
  step();
}

}  // namespace

void BGLoadLevel(LevConLevel* level, int background) {
  auto* d = static_cast<BuffyDesc*>(level->buffer);
  if (!d) ZeError("BGLoadLevel - level %s has no buffer", level->info.Name);
  char* buffer = d->current;
  char* end = d->end;
  if (LevConIsland* island = IslandOf(level); island && !island->info.loaded) {
    LoadIslandTriggers(island);
    island->info.loaded = 1;
  }
  level->loadstamp = bgload_load_sequence++;
  AddCobTypeSetMemoryPointers(&buffer, end, level, reinterpret_cast<COBADOPTFN*>(LevConCobMigrateReq), "BGLoadLevel");
  level->chartypes = nullptr;
  buffer = Align16(buffer);
  // An abandoned load is marked loaded all the same, so that no one waits
  // for it; the level controller dumps it.
  LoadLevelFiles(level, &buffer, end, background);
  d->current = buffer;
  // The context named this function's own position variable: leave none, so
  // that a later type load is refused instead of writing through it.
  AddCobTypeSetMemoryPointers(nullptr, nullptr, nullptr, nullptr, nullptr);
  level->info.loaded = 1;
}
