// The level controller's operation queue: a ring of 128 operations run on
// the main thread strictly in order, each called every frame until it
// reports done; the planet world's fractal buffer and init level, which
// change only between operations; the "lcop.log" trace.
#include "game.h"
#include "gameflow.h"
#include "levcon.h"
#include "standins.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

int lcoplog_enabled;
int levcon_curr_gbinitlevel;
int levcon_island_logic_disabled;
int gb_pre_process;

namespace {

LcopOp g_ring[LCOP_RING];
uint16_t g_head, g_tail, g_count;
uint16_t g_sequence = 3;
int16_t g_headStarted;
int g_logStarted;

LevConLevel* g_preloading;
LevConLevel* g_preloadDumped;  // the level being preloaded was dumped
LevConIsland* g_islandLoading;
LevConWorld* g_worldLoading;

BuffyDesc* g_fractal;
int g_fractalLocked;
int g_fractalSize = 0x680000;
int g_gbKind = 2;
BuffyDesc* g_dump;
int g_dumpLocked;

// Argument 0 read as a node pointer.
LevConLevel* ArgLevel(const LcopOp* op) { return static_cast<LevConLevel*>(EeAddrToPtr(uint32_t(op->arg0))); }
LevConIsland* ArgIsland(const LcopOp* op) { return static_cast<LevConIsland*>(EeAddrToPtr(uint32_t(op->arg0))); }
LevConWorld* ArgWorld(const LcopOp* op) { return static_cast<LevConWorld*>(EeAddrToPtr(uint32_t(op->arg0))); }

const char* NameOf(const LevConInfo* n) { return n && n->Name ? n->Name : "(null)"; }

int Post(LcopFn fn, void* node = nullptr, int a0 = 0, int a1 = 0) {
  LcopOp op{};
  op.callback = fn;
  op.arg0 = node ? int32_t(EeAddrOf(node)) : a0;
  op.arg1 = a1;
  return LevConOpPost(&op);
}

}  // namespace

LevConIsland* LevConIslandOf(const LevConInfo* node) {
  for (const LevConInfo* n = node ? node->parent : nullptr; n; n = n->parent)
    if (n->kind == LEVCON_ISLAND) return reinterpret_cast<LevConIsland*>(const_cast<LevConInfo*>(n));
  return nullptr;
}

void lcopLog(const char* format, ...) {
  char line[512];
  int n = snprintf(line, sizeof line, "[%06d]", ZeRndrGlobalFrameCount());
  va_list ap;
  va_start(ap, format);
  vsnprintf(line + n, sizeof line - size_t(n), format, ap);
  va_end(ap);
  size_t len = strlen(line);
  snprintf(line + len, sizeof line - len, "\r\n");
  ZeDebugMsg("%s", line);
  if (!lcoplog_enabled) return;
  ZEFILE f = 0;
  if (g_logStarted) {
    f = ZeFileOpen("lcop.log", 2);
    if (f) ZeFileSeek(f, 0, SCE_SEEK_END);
  }
  if (!f) f = ZeFileOpen("lcop.log", 1);
  g_logStarted = 1;
  if (!f) return;
  ZeFileWrite(f, line, int(strlen(line)));
  ZeFileClose(f);
}

void LevConOpReset() {
  g_head = g_tail = g_count = 0;
  g_headStarted = 0;
  for (LcopOp& op : g_ring) op.sequence = 1;
  g_preloading = nullptr;
  g_preloadDumped = nullptr;
  g_islandLoading = nullptr;
  g_worldLoading = nullptr;
  g_dump = nullptr;
  g_dumpLocked = 0;
}

int LevConOpPost(const LcopOp* op) {
  const int slot = g_tail;
  if ((g_tail + 1) % LCOP_RING == g_head) ZeError("LevConOpPost - Op overflow");
  g_ring[slot] = *op;
  const uint16_t seq = g_sequence;
  g_ring[slot].sequence = seq;
  uint16_t next = uint16_t(seq + 3);
  if (next <= 2) next = uint16_t(seq + 6);
  g_sequence = next;
  g_count++;
  g_tail = uint16_t((g_tail + 1) % LCOP_RING);
  return int((uint32_t(seq) << 16) | uint32_t(slot));
}

void LevConOpProcess() {
  while (g_count) {
    LcopOp* op = &g_ring[g_head];
    if (!op->callback.get()(op)) {
      g_headStarted = 1;
      return;
    }
    op->sequence = 0;
    g_head = uint16_t((g_head + 1) % LCOP_RING);
    g_count--;
    g_headStarted = 0;
  }
}

int lcopGetStatus(int handle) {
  if (handle == -1) return LCOP_UNUSED;
  const int slot = handle & 0x7f;
  const uint16_t seq = uint16_t(uint32_t(handle) >> 16);
  if (g_ring[slot].sequence == seq) return slot == g_head ? LCOP_RUNNING : LCOP_QUEUED;
  return g_ring[slot].sequence == 1 ? LCOP_UNUSED : LCOP_DONE;
}

int lcopQueued() { return g_count; }

void lcopLevelDumped(LevConLevel* level) {
  if (level && level == g_preloading) g_preloadDumped = level;
}

// ---------------------------------------------------------------------------
// Buffer notifications.

void LevConLevelBufferNotify(BuffyDesc* d, int event, void* data) {
  auto* level = static_cast<LevConLevel*>(data);
  if (event == 0) {
    ZeDebugMsg("(%d) Release Notification for buffer %d owned by level %s", zevideo_global_vbcnt, d->index,
               NameOf(&level->info));
    LevConDumpLevel(level);
  } else {
    ZeDebugMsg("(%d) Lock Notification received for buffer %d owned by level %s", zevideo_global_vbcnt, d->index,
               NameOf(&level->info));
    // The owner name has 32 bytes: a longer level name is cut.
    snprintf(d->username, sizeof d->username, "%s", NameOf(&level->info));
  }
}

void LevConFractalBufferNotify(BuffyDesc* d, int event, void*) {
  if (event == 0) {
    ZeDebugMsg("(%d) Release Notification for buffer %d owned by Fractal", zevideo_global_vbcnt, d->index);
    return;
  }
  g_fractalLocked = 1;
  memset(d->start, 0xfe, size_t(g_fractalSize));
  ZeDebugMsg("(%d) Lock Notification received for buffer %d owned by Fractal", zevideo_global_vbcnt, d->index);
  snprintf(d->username, sizeof d->username, "Fractal");
}

void LevConDumpBufferNotify(BuffyDesc*, int event, void*) {
  if (event == 1) g_dumpLocked = 1;
}

// ---------------------------------------------------------------------------
// Beginning loads; the planet world's init level.

void LevConBeginLevelLoad(LevConLevel* level, int holdHidden) {
  ZeDebugMsg("Load Level %s\n", NameOf(&level->info));
  auto* d = static_cast<BuffyDesc*>(level->buffer);
  if (d) {
    BuffyRelock(d, level->relock);
    return;
  }
  if (holdHidden) level->levflags |= LEVCON_HELD;
  else level->levflags &= ~LEVCON_HELD;
  if (levcon_edit) {
    int room = int((bigbuffer->block_end.get() - bigbuffer->world_top.get()) & ~ptrdiff_t(255));
    d = BuffyAllocate(room, 0, LevConLevelBufferNotify, level);
  } else {
    d = BuffyAllocate(level->buffsize, level->bufftype, LevConLevelBufferNotify, level);
  }
  level->buffer = d;
  level->info.loaded = 0;
  if (d) BGSetLevel(level, 1);
}

void LevConBeginWorldLoad(LevConWorld* world) {
  PlanetLevSetCurrentWorld(world->planet);
  for (int i = 0; i < world->nislands; i++) {
    LevConIsland& is = world->firstisland[i];
    PlanetLevRegisterLevel(is.PlateID, &is.PlatePos, is.PlateAlign, &is, is.ActiveRange);
  }
  atmos_deccel_alt_max = levelling_alt_min = world->AtmosAlt;
  atmos_deccel_alt_min = levelling_alt_max = world->AtmosAlt + 1000.0f;
  BGSetWorld(world, 1);
}

int LevConSetGBInitLevel(int level) {
  if (levcon_edit) return 1;
  int ok;
  if (level < 4) {
    if (!g_fractal) {
      ok = 1;
    } else {
      if (g_fractal->lockstate == BUFFY_LOCKED) BuffyUnlock(g_fractal);
      g_fractalLocked = 0;
      ok = GBSetInitLevel(2, nullptr, nullptr, nullptr, nullptr);
      if (ok) {
        memset(g_fractal->start, 0xfe, size_t(g_fractal->end.get() - g_fractal->start.get()));
        BuffyRelease(g_fractal);
        g_fractal = nullptr;
      }
    }
  } else {
    if (!g_fractal) {
      g_fractal = BuffyAllocate(g_fractalSize, g_gbKind | 0x10, LevConFractalBufferNotify, nullptr);
      if (g_fractal) {
        GBHiResTexturesEnabled(1 - levcon_gb_nohires);
        GBSetPlanetMeshRender(1 - levcon_gb_noplanet);
      }
    }
    ok = 0;
    if (g_fractal && g_fractalLocked) {
      char* cursor = g_fractal->current;
      char* end = g_fractal->end;
      ok = GBSetInitLevel(level, nullptr, nullptr, cursor, end);
    }
  }
  if (ok) {
    levcon_curr_gbinitlevel = level;
    int sem = gfcFindSem("gb_init_level");
    if (sem >= 0) gfcSetSemById(sem, level);
  }
  return ok;
}

BuffyDesc* LevConFractalBuffer() { return g_fractal; }

// ---------------------------------------------------------------------------
// The operations.

int lcopProcPreLoadIsland(LcopOp* op) {
  LevConIsland* island = ArgIsland(op);
  if (g_islandLoading && g_islandLoading != island) return 0;
  if (!island) {
    ZeDebugMsg("lcopIslandPreLoad->NULL Complete");
    return 1;
  }
  if (island->info.loaded) {
    g_islandLoading = nullptr;
    ZeDebugMsg("lcopIslandPreLoad->%s Complete", NameOf(&island->info));
    return 1;
  }
  if (g_islandLoading == island) return 0;
  g_islandLoading = island;
  ZeDebugMsg("Set Island %s\n", NameOf(&island->info));
  island->info.loaded = 0;
  BGSetIsland(island, 1);
  lcopLog("LoadIsland Begun %s", NameOf(&island->info));
  return 0;
}

int lcopProcActivateIsland(LcopOp* op) {
  LevConIsland* island = ArgIsland(op);
  if (!island->info.loaded) {
    ZeDebugMsg("lcopProcActivateIsland - island is not currently loaded!!");
    return 1;
  }
  if (current_island == island) return 1;
  if (paused) return 0;
  current_island = island;
  PlanetLevSetCurrentLevel(island->PlateID);
  current_plate = island->PlateID;
  if (!levcon_edit && island->info.OnActivate) {
    ZeDebugMsg("(ISLAND:%s OnActivate->%s", NameOf(&island->info), island->info.OnActivate);
    if (gameflow_prog) gfcGoSubLabel(gameflow_prog, island->info.OnActivate);
  }
  ZeDebugMsg("lcopIslandActivate->%s", NameOf(&island->info));
  return 1;
}

int lcopProcPreLoadLevel(LcopOp* op) {
  LevConLevel* level = ArgLevel(op);
  if (g_preloading && g_preloading != level) return 0;
  if (levcon_edit >= 2) return 1;
  if (!g_preloading) {
    if (!level) {
      lcopLog("PreLoadLevel **none**");
      ZeDebugMsg("lcopLevelPreLoad->NULL");
      return 1;
    }
    if (!levcon_edit) {
      LcopOp island{};
      island.arg0 = int32_t(EeAddrOf(LevConIslandOf(&level->info)));
      if (!lcopProcPreLoadIsland(&island)) return 0;
    }
    lcopLog("PreLoadLevel %s", NameOf(&level->info));
    g_preloading = level;
    LevConBeginLevelLoad(level, 1);
    return 0;
  }
  // The level being preloaded is this one. Dumped on the way (its buffer
  // taken back): the preload ends and leaves the level alone.
  if (g_preloadDumped == level) {
    g_preloadDumped = nullptr;
    g_preloading = nullptr;
    ZeDebugMsg("lcopLevelPreLoad->%s dumped", NameOf(&level->info));
    return 1;
  }
  if (!level->info.loaded) {
    if (!level->buffer) LevConBeginLevelLoad(level, 1);  // the allocation failed: try again
    return 0;
  }
  if (auto* d = static_cast<BuffyDesc*>(level->buffer)) level->relock = BuffyUnlock(d);
  ZeGCutSceneSysPostBackgroundLoad();
  ZeTriggerSysPostBackgroundLoad();
  g_preloading = nullptr;
  ZeDebugMsg("lcopLevelPreLoad->%s", NameOf(&level->info));
  return 1;
}

int lcopProcActivateLevel(LcopOp* op) {
  LevConLevel* level = ArgLevel(op);
  if (!levcon_edit && level) {
    LevConIsland* island = LevConIslandOf(&level->info);
    if (island && island != current_island) {
      LcopOp sub{};
      sub.arg0 = int32_t(EeAddrOf(island));
      if (!lcopProcPreLoadIsland(&sub)) return 0;
      if (!lcopProcActivateIsland(&sub)) return 0;
    }
  }
  LevConSetCurrentLevel(level);
  if (level) ZeDebugMsg("lcopLevelActivate->%s", NameOf(&level->info));
  else ZeDebugMsg("lcopLevelActivate->NULL");
  return 1;
}

int lcopProcShowLevel(LcopOp* op) {
  LevConLevel* level = ArgLevel(op);
  lcopLog("ShowLevel %s", NameOf(&level->info));
  level->levflags &= ~LEVCON_HELD;
  LevConShowLevel(level, 1);
  return 1;
}

int lcopProcHideLevel(LcopOp* op) {
  LevConLevel* level = ArgLevel(op);
  lcopLog("HideLevel %s", NameOf(&level->info));
  LevConShowLevel(level, 0);
  return 1;
}

int lcopProcLoadWorld(LcopOp* op) {
  LevConWorld* world = ArgWorld(op);
  if (g_worldLoading && g_worldLoading != world) return 0;
  if (levcon_edit >= 2) return 1;
  if (!g_worldLoading) {
    g_worldLoading = world;
    LevConBeginWorldLoad(world);
    lcopLog("LoadWorld %s", NameOf(&world->info));
    return 0;
  }
  if (!world->info.loaded) return 0;
  current_world = world;
  if (world->info.OnActivate) {
    ZeDebugMsg("(WORLD:%s OnActivate->%s", NameOf(&world->info), world->info.OnActivate);
    if (gameflow_prog) gfcGoSubLabel(gameflow_prog, world->info.OnActivate);
  }
  g_worldLoading = nullptr;
  return 1;
}

int lcopProcDumpWorld(LcopOp*) {
  LevConDumpWorld();
  return 1;
}

int lcopProcStopLogic(LcopOp* op) {
  const int mask = op->arg0;
  if (mask & 4) logic_current_world = LEVCON_LOGIC_STOPPED_WORLD;
  if (mask & 2) {
    logic_current_island = LEVCON_LOGIC_STOPPED_ISLAND;
    levcon_island_logic_disabled = 1;
  }
  if (mask & 1) logic_current_level = LEVCON_LOGIC_STOPPED_LEVEL;
  lcopLog("StopLogic %s %s %s", mask & 4 ? "W" : "-", mask & 2 ? "I" : "-", mask & 1 ? "L" : "-");
  return 1;
}

int lcopProcSyncLogic(LcopOp* op) {
  const int mask = op->arg0;
  lcopLog("SyncLogic (%s)%s - (%s)%s - (%s)%s", mask & 1 ? "S" : "-",
          current_level ? NameOf(&current_level->info) : "no level", mask & 2 ? "S" : "-",
          current_island ? NameOf(&current_island->info) : "no island", mask & 4 ? "S" : "-",
          current_world ? NameOf(&current_world->info) : "no world");
  if (mask & 4) logic_current_world = current_world;
  if (mask & 2) {
    logic_current_island = current_island;
    levcon_island_logic_disabled = 0;
  }
  if (mask & 1) logic_current_level = current_level;
  return 1;
}

int lcopProcGBInitLevel(LcopOp* op) {
  const int16_t level = int16_t(op->arg0);
  if (!LevConSetGBInitLevel(level)) return 0;
  lcopLog("GBSetInitLevel %hd", level);
  return 1;
}

int lcopProcGBGetFracBuff(LcopOp*) {
  if (!g_fractal) g_fractal = BuffyAllocate(g_fractalSize, g_gbKind | 0x10, LevConFractalBufferNotify, nullptr);
  if (!g_fractal || !g_fractalLocked) return 0;
  lcopLog("GBGetFracBuff");
  return 1;
}

int lcopProcGBBuffer(LcopOp* op) {
  int kind = op->arg0, size = op->arg1;
  if (size == 0) size = current_world && current_world->info.gbsize > 0 ? current_world->info.gbsize : g_fractalSize;
  if (g_fractal && (kind != g_gbKind || size != g_fractalSize))
    ZeError("Attempted to Change GBBuffer while fractal active");
  g_gbKind = kind;
  g_fractalSize = size;
  lcopLog("GBBuffer %i,%i", kind, size);
  return 1;
}

int lcopProcGBTextures(LcopOp* op) {
  if (g_fractal && op->arg0 != levcon_gb_nohires) ZeError("Attempted to Change GB Texture status while fractal active");
  levcon_gb_nohires = op->arg0;
  lcopLog("GBTextures %d", op->arg0);
  return 1;
}

int lcopProcGBPlanetMesh(LcopOp* op) {
  levcon_gb_noplanet = op->arg0;
  lcopLog("GBPlanetMesh %d", op->arg0);
  return 1;
}

int lcopProcGBFarRender(LcopOp* op) {
  GBSetFarRender(op->arg0);
  lcopLog("GBSetFarRender %d", op->arg0);
  return 1;
}

int lcopProcGBPlateRender(LcopOp* op) {
  GBSetPlateRender(op->arg0);
  lcopLog("GBSetPlateRender %d", op->arg0);
  return 1;
}

int lcopProcGBProcessEnable(LcopOp* op) {
  GBProcessEnable(op->arg0);
  lcopLog("GBProcessEnable %d", op->arg0);
  return 1;
}

int lcopProcGBPlanetRender(LcopOp* op) {
  GBSetPlanetRender(op->arg0);
  lcopLog("GBSetPlanetRender %d", op->arg0);
  return 1;
}

int lcopProcGBTileRender(LcopOp* op) {
  GBSetTileRender(op->arg0, op->arg1);
  lcopLog("GBSetTileRender %d", op->arg0);
  return 1;
}

int lcopProcGBPreProcess(LcopOp*) {
  gb_pre_process = 1;
  return 1;
}

int lcopProcGBDumpBuffer(LcopOp* op) {
  const int16_t kind = int16_t(op->arg0);
  if (!g_dump) {
    g_dumpLocked = 0;
    g_dump = BuffyAllocate(1, kind, LevConDumpBufferNotify, nullptr);
    if (!g_dump) ZeError("DumpBuffer - unable to allocate buffer");
  }
  if (!g_dumpLocked) return 0;
  lcopLog("GBDumpBuffer %hd", kind);
  BuffyUnlock(g_dump);
  BuffyRelease(g_dump);
  g_dump = nullptr;
  return 1;
}

// ---------------------------------------------------------------------------
// Posters.

int lcopPostGBDumpBuffer(int16_t kind) { return Post(lcopProcGBDumpBuffer, nullptr, kind); }
int lcopPostGBInitLevel(int16_t level) { return Post(lcopProcGBInitLevel, nullptr, level); }
int lcopPostGBGetFracBuff() { return Post(lcopProcGBGetFracBuff); }
int lcopPostGBBuffer(int kind, int size) { return Post(lcopProcGBBuffer, nullptr, kind, size); }
int lcopPostGBTextures(int value) { return Post(lcopProcGBTextures, nullptr, value); }
int lcopPostGBSetFarRender(int value) { return Post(lcopProcGBFarRender, nullptr, value); }
int lcopPostGBSetPlateRender(int value) { return Post(lcopProcGBPlateRender, nullptr, value); }
int lcopPostGBSetTileRender(int on, int nearclip) { return Post(lcopProcGBTileRender, nullptr, on, nearclip); }
int lcopPostGBPlanetMesh(int value) { return Post(lcopProcGBPlanetMesh, nullptr, value); }
int lcopPostGBProcessEnable(int value) { return Post(lcopProcGBProcessEnable, nullptr, value); }
int lcopPostGBSetPlanetRender(int value) { return Post(lcopProcGBPlanetRender, nullptr, value); }
int lcopPostGBPreProcess() { return Post(lcopProcGBPreProcess); }
int lcopPostStopLogic(int mask) { return Post(lcopProcStopLogic, nullptr, mask); }
int lcopPostSyncLogic(int mask) { return Post(lcopProcSyncLogic, nullptr, mask); }

int lcopPostPreLoadLevel(LevConLevel* level) { return level ? Post(lcopProcPreLoadLevel, level) : -1; }

int lcopPostLoadLevel(LevConLevel* level) {
  if (level) Post(lcopProcPreLoadLevel, level);
  return Post(lcopProcActivateLevel, level);
}

int lcopPostActivateLevel(LevConLevel* level) { return Post(lcopProcActivateLevel, level); }

int lcopPostShowLevel(LevConLevel* level) {
  if (!level) ZeError("Invalid level in post");
  return Post(lcopProcShowLevel, level);
}

int lcopPostHideLevel(LevConLevel* level) {
  if (!level) ZeError("Invalid level in post");
  return Post(lcopProcHideLevel, level);
}

int lcopPostPreLoadIsland(LevConIsland* island) {
  if (!island) ZeError("Invalid island in post");
  return Post(lcopProcPreLoadIsland, island);
}

int lcopPostActivateIsland(LevConIsland* island) {
  if (!island) ZeError("Invalid island in post");
  return Post(lcopProcActivateIsland, island);
}

int lcopPostLoadIsland(LevConIsland* island) {
  lcopPostPreLoadIsland(island);
  return lcopPostActivateIsland(island);
}

int lcopPostDumpWorld() { return Post(lcopProcDumpWorld); }

int lcopPostLoadWorld(LevConWorld* world) {
  if (!world) ZeError("Invalid world in post");
  return Post(lcopProcLoadWorld, world);
}
