// The level controller each frame: buffers released after their grace
// period, scheduled level events, the operation queue, then the choice of
// world, island and level from a fixed order of sources turned into
// operations; showing, hiding, activating and dumping levels; the start
// and close of the controller.
#include "game.h"
#include "gamelib.h"
#include "gameflow.h"
#include "levcon.h"
#include "player.h"
#include "standins.h"

#include <cstdio>
#include <cstring>

LevConLevel* previous_level;
LevConWorld* logic_current_world;
LevConIsland* logic_current_island;
LevConLevel* logic_current_level;
LevConLevel* logic_preload_level;
LevConWorld *levcon_force_world, *levcon_world_override, *start_world;
LevConIsland *levcon_force_island, *levcon_island_override, *start_island;
LevConLevel *levcon_force_level, *levcon_level_override, *start_level;
int levcon_override_enabled;
int start_hold_world, start_hold_island, start_hold_level;
int levcon_edit;
int levcon_sky_visible, levcon_sea_visible;
int levcon_force_gblevel;
int current_plate = -1;
ZEMTX* levcon_remap_mtx;

namespace {

struct Event {
  int type;
  LevConLevel* level;
  int number;
  int delay;
};
Event g_events[LEVCON_EVENTS];

struct Release {
  BuffyDesc* buffer;
  int frames;
};
Release g_release[LEVCON_RELEASE_SLOTS];

int g_lastLabel = -1, g_lastSem = -1;

const char* NameOf(const LevConInfo* n) { return n && n->Name ? n->Name : "(null)"; }

void CallLabel(const char* kind, const LevConInfo& node, const char* label) {
  ZeDebugMsg("(%s:%s %s->%s", kind, NameOf(&node), label == node.OnActivate ? "OnActivate" : "OnDeactivate", label);
  if (gameflow_prog) gfcGoSubLabel(gameflow_prog, label);
}

void LevConQueueBufferForRelease(BuffyDesc* d) {
  for (Release& r : g_release)
    if (!r.buffer) {
      r = {d, 3};
      return;
    }
  ZeError("LevConQueueBufferForRelease - queue overflow");
}

void ProcessReleases() {
  for (Release& r : g_release) {
    if (!r.buffer) continue;
    if (--r.frames <= 0) {
      BuffyRelease(r.buffer);
      r.buffer = nullptr;
    }
  }
}

void LevConProcessEvents() {
  for (int i = LEVCON_EVENTS - 1; i >= 0; i--) {
    Event& e = g_events[i];
    if (!e.type) continue;
    if (e.delay > 0 && --e.delay > 0) continue;
    switch (e.type) {
      case LEVCON_EV_SHOW:
        if (e.level) e.level->levflags &= ~LEVCON_HELD;
        LevConShowLevel(e.level, 1);
        break;
      case LEVCON_EV_HIDE:
        LevConShowLevel(e.level, 0);
        break;
      case LEVCON_EV_PRELOAD:
        if (e.level) lcopPostPreLoadLevel(e.level);
        break;
      case LEVCON_EV_ACTIVATE:
        if (e.level) lcopPostPreLoadLevel(e.level);
        lcopPostActivateLevel(e.level);
        break;
      case LEVCON_EV_GBLEVEL:
        // Keeps its slot: it acts again every frame.
        levcon_force_gblevel = e.number;
        continue;
    }
    e.type = 0;
  }
}

void DumpIslandLevels(LevConIsland* island) {
  for (int i = 0; i < levcon_num_levels; i++)
    if (LevConIslandOf(&levels[i].info) == island) LevConDumpLevel(&levels[i]);
}

void DumpIslandTriggers(LevConIsland* island) {
  if (island->ltset >= 0) {
    LoadTrigDump(island->ltset);
    loadtrig_sets[island->ltset].owner = nullptr;
  }
  island->ltset = -1;
  island->info.loaded = 0;
}

// Words of an event text: space, comma, tab, newline and quotes separate.
const char* NextWord(char*& p) {
  static const char SEP[] = " ,\t\n\r'\"";
  p += strspn(p, SEP);
  if (!*p) return nullptr;
  char* w = p;
  p += strcspn(p, SEP);
  if (*p) *p++ = 0;
  return w;
}

}  // namespace

// ---------------------------------------------------------------------------
// Start and close.

void LevConStreamInit() {
  memset(g_events, 0, sizeof g_events);
  memset(g_release, 0, sizeof g_release);  // emptied by the last close
  logic_preload_level = nullptr;
  BGLoadInit();
  LevConInstallRenderHooks();
  for (int i = 0; i < levcon_num_worlds; i++)
    if (worlds[i].planet) PlanetLevRegisterWorld(worlds[i].planet, worlds[i].planetpath, &worlds[i]);
  levcon_remap_mtx = nullptr;
  levcon_sea_visible = 0;
  current_world = nullptr;
  current_island = nullptr;
  current_level = nullptr;
  logic_current_world = nullptr;
  logic_current_island = nullptr;
  logic_current_level = nullptr;
  previous_level = nullptr;
  levcon_island_logic_disabled = 0;
  LevConOpReset();
}

void LevConSysClose() {
  for (int i = 0; i < 3; i++) ZeDebugMsg("CLOSING LEVCON SYSTEM - WINDING DOWN FRACTAL");
  for (Event& e : g_events) e.delay = 0;
  GBProcessEnable(1);
  while (!LevConSetGBInitLevel(2)) {
    GBProcess(0);
    BGSuspendMain();
    KernelYield();
  }
  BGLoadAbortAllRequests();
  for (int i = 0; i < 3; i++) ZeDebugMsg("CLOSING LEVCON SYSTEM - WINDING DOWN BG THREAD");
  while (BGLoadPending()) {
    BGSuspendMain();
    KernelYield();
  }
  for (int i = 0; i < 3; i++) ZeDebugMsg("CLOSING LEVCON SYSTEM - DUMPING LEVELS");
  if (current_island) DumpIslandLevels(current_island);
  LevConDumpIsland();
  GBProcess(0);
  LevConDumpWorld();
  GBProcess(0);
  for (bool waiting = true; waiting;) {
    ProcessReleases();
    waiting = false;
    for (const Release& r : g_release) waiting |= r.buffer != nullptr;
  }
  for (int i = 0; i < 3; i++)
    if (bigbuffer && bigbuffer->desc[i].lockstate != BUFFY_FREE) ZeDebugMsg("Level buffer %d has not been released", i);
  ZeTriggerSysBackgroundFlush();
  ZeGCutSceneSysBackgroundFlush();
  for (int i = 0; i < 3; i++) ZeDebugMsg("CLOSING LEVCON SYSTEM - FINISHED");
  current_island = nullptr;
  current_world = nullptr;
  current_level = nullptr;
}

// ---------------------------------------------------------------------------
// Events.

int LevConScheduleEventEx(int type, LevConLevel* level, int number, int delay) {
  if (levcon_edit) return 0;
  for (Event& e : g_events)
    if (!e.type) {
      e = {type, level, number, delay};
      return 1;
    }
  return 0;
}

int LevConScheduleEvent(int type, LevConLevel* level, int delay) { return LevConScheduleEventEx(type, level, 0, delay); }

int LevConEvalEvent(int type, const char* text) {
  // A copy of 128 characters: a longer text is cut.
  char copy[128];
  snprintf(copy, sizeof copy, "%s", text ? text : "");
  char* p = copy;
  const char* first = NextWord(p);
  if (!first) return 5;
  const char* second = NextWord(p);
  if (type == LEVCON_EV_GBLEVEL) return LevConScheduleEventEx(type, nullptr, atoi(first), second ? atoi(second) : 0);
  LevConLevel* level = LevConFindLevelByName(first);
  if (!level) {
    ZeDebugMsg("Level not found %s!\n", first);
    return 0;
  }
  if (current_island && !LevConIsInfoInList(current_island->info.child, &level->info))
    ZeDebugMsg("forced level %s not child of current island %s!\n", first, NameOf(&current_island->info));
  return LevConScheduleEvent(type, level, second ? atoi(second) : 0);
}

int LevConEvalEvents(const char* text) {
  static const char* const TYPES[] = {"SHOW", "HIDE", "PRELOAD", "ACTIVATE", "GBLEVEL"};
  // A copy of 512 characters: a longer text is cut.
  char copy[512];
  snprintf(copy, sizeof copy, "%s", text ? text : "");
  char* p = copy;
  int result = 0;
  while (const char* word = NextWord(p)) {
    int type = 0;
    for (int t = 0; t < 5; t++)
      if (ZeStrICmp(word, TYPES[t]) == 0) type = t + 1;
    if (!type) ZeError("Unknown event type %s", word);
    const char* name = NextWord(p);
    const char* delayWord = NextWord(p);
    const int delay = delayWord ? atoi(delayWord) : 0;
    if (type == LEVCON_EV_GBLEVEL) {
      result = LevConScheduleEventEx(type, nullptr, name ? atoi(name) : 0, delay);
      continue;
    }
    LevConLevel* level = name ? LevConFindLevelByName(name) : nullptr;
    if (!level) {
      ZeDebugMsg("EvalEvents Aborting - Level not found %s!\n", name ? name : "");
      continue;
    }
    if (current_island && !LevConIsInfoInList(current_island->info.child, &level->info))
      ZeDebugMsg("EvalEvents Aborting - forced level %s not child of current island %s!\n", name,
                 NameOf(&current_island->info));
    result = LevConScheduleEvent(type, level, delay);
  }
  return result;
}

// ---------------------------------------------------------------------------
// Showing, activating, dumping.

namespace {

// The host scene's low-detail specials that stand for level, found the
// first time into an array taken from the level's own buffer (8 bytes a
// special). Only as many as the buffer has room for are kept.
void FindLowDetailSpecials(LevConLevel* level, BuffyDesc* d) {
  if (level->lospecials || !level->lopattern) return;
  ZEGSCENE* scene = level->host->scene;
  char* at = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(d->current.get()) + 3) & ~uintptr_t(3));
  const int64_t room = at < d->end.get() ? (d->end.get() - at) / int64_t(sizeof(ZESPECIAL)) : 0;
  auto* handles = reinterpret_cast<ZESPECIAL*>(at);
  int n = 0, found = 0;
  for (int i = 0; i < scene->nspec; i++) {
    if (!ZeStrIStr(scene->specs[i].name, level->lopattern)) continue;
    found++;
    if (n < room) handles[n++] = {scene, scene->specs + i};
  }
  if (found > n)
    ZeDebugMsg("LevConShowLevel - %s: room for %d of its %d low-detail specials", NameOf(&level->info), n, found);
  if (!n) return;
  level->lospecials = handles;
  level->nlospecials = n;
  d->current = at + n * int(sizeof(ZESPECIAL));
}

}  // namespace

void LevConShowLevel(LevConLevel* level, int show) {
  if (!level) return;
  auto* d = static_cast<BuffyDesc*>(level->buffer);
  if (level->info.loaded && d) {
    if (show && (level->levflags & LEVCON_HELD)) return;
    // The host's low-detail stand-ins are hidden while the level shows.
    if (level->host && level->host->scene) {
      FindLowDetailSpecials(level, d);
      auto* handles = static_cast<ZESPECIAL*>(level->lospecials);
      for (int i = 0; i < level->nlospecials; i++) ZeSpecialSetAttr(&handles[i], ZESPA_VISIBLE, show ? 0 : 1, ZESPA_END);
    }
  }
  level->visible = show;
  const int* keys = level->setkeys;
  if (keys[LEVCON_KEY_CREATURE] != -1) EnableCreatureSet(keys[LEVCON_KEY_CREATURE], show ? 1 : 2, 0);
  if (keys[LEVCON_KEY_PICKUP] != -1) {
    if (show) EnablePickupSet(keys[LEVCON_KEY_PICKUP]);
    else DisablePickupSet(keys[LEVCON_KEY_PICKUP]);
  }
  if (keys[LEVCON_KEY_POT] != -1) {
    if (show) EnablePotSet(keys[LEVCON_KEY_POT]);
    else DisablePotSet(keys[LEVCON_KEY_POT]);
  }
  if (keys[LEVCON_KEY_PARTICLE] != -1) {
    if (show) edppStartPage(keys[LEVCON_KEY_PARTICLE]);
    else edppStopPage(keys[LEVCON_KEY_PARTICLE]);
  }
}

int LevConIsCurrent(const char* name) {
  return current_level && name && current_level->info.Name && ZeStrICmp(current_level->info.Name, name) == 0;
}

int LevConLevelShown(void* level) {
  const auto* l = static_cast<const LevConLevel*>(level);
  return l && l->info.loaded && l->visible ? 1 : 0;
}

void LevConShowLevelSet(LevConLevel* level) {
  if (!level) return;
  LevConShowLevel(level, 1);
  for (int i = 0; i < levcon_num_levels; i++)
    if (&levels[i] != level) LevConShowLevel(&levels[i], 0);
  for (int i = 0; i < level->ncansee; i++) LevConShowLevel(level->cansee[i], 1);
}

void LevConSetCurrentLevel(LevConLevel* level) {
  if (level == current_level) return;
  LevConLevel* old = current_level;
  LevConShowLevel(old, 0);
  if (level) {
    level->levflags &= ~LEVCON_HELD;
    LevConShowLevelSet(level);
  }
  levcon_force_gblevel = 0;
  previous_level = old;
  current_level = level;
  AddVehicleLevelInit(level);
  LevConSetTerrain(level);
  if (level) {
    // The glass is made afresh for the level; the last level's texture and
    // material are given back first, so activations do not use them up.
    if (debris_initialised) {
      DebrisGlassClose();
      DebrisGlassInit();
    }
    LevelFxInit(level);
    const int* keys = level->setkeys;
    if (keys[LEVCON_KEY_PARTICLE] != -1) {
      edppStartPage(keys[LEVCON_KEY_PARTICLE]);
      InitLevelDeb(keys[LEVCON_KEY_PARTICLE]);
    }
    if (keys[LEVCON_KEY_GRASS] != -1) edgraStartPage(keys[LEVCON_KEY_GRASS]);
    if (keys[LEVCON_KEY_BRIDGE] != -1) edbriStartPage(keys[LEVCON_KEY_BRIDGE]);
    SetLevelHelp(level->help);
    if (!levcon_edit && level->info.OnActivate) CallLabel("LEVEL", level->info, level->info.OnActivate);
  }
  if (!levcon_edit && old && old->info.OnDeactivate) CallLabel("LEVEL", old->info, old->info.OnDeactivate);
}

void LevConDumpLevel(LevConLevel* level) {
  if (!level) return;
  // A level the loader has been handed or is filling: the request is
  // dropped, or the load abandoned and waited out, before anything of the
  // level is cleared or its buffer let go.
  if (bgload_next_level == level) bgload_next_level = nullptr;
  lcopLevelDumped(level);
  if (BGLoadIsLoading(level)) {
    BGLoadAbortPendingLevelLoad();
    while (BGLoadIsLoading(level)) {
      BGSuspendMain();
      KernelYield();
    }
  }
  if (auto* d = static_cast<BuffyDesc*>(level->buffer)) {
    LevConShowLevel(level, 0);
    LevelFxCloseLevel(level);
    ZeDebugMsg("Dump Level %s\n", NameOf(&level->info));
    level->seashape = nullptr;
    if (level->scene) {
      CloseLevelGens(level->scene);
      ZeGScnRemove(level->scene);
      level->scene = nullptr;
    }
    level->lospecials = nullptr;
    level->nlospecials = 0;
    DestroyLevelCutScenes(level->cutscenes);
    level->cutscenes = nullptr;
    level->triggers = nullptr;
    instZeTriggerSysDestroy(level->triggerinst);
    level->triggerinst = nullptr;
    level->script = nullptr;
    level->terrain = nullptr;
    level->specterr = nullptr;
    // Each set's remover, in the order of the keys.
    static void (*const kRemove[LEVCON_KEY_SPLINE + 1])(LevConLevel*, int) = {
        [](LevConLevel* l, int k) { RemoveCreatureSet(k, l); },
        [](LevConLevel*, int k) { edppClearPage(k); },
        [](LevConLevel*, int k) { edgraClearPage(k); },
        [](LevConLevel*, int k) { edbriClearPage(k); },
        [](LevConLevel*, int k) { RemovePotSet(k); },
        [](LevConLevel*, int k) { RemovePickupSet(k); },
        [](LevConLevel*, int k) { RemoveLightSet(k); },
        [](LevConLevel*, int k) { RemoveSplineSet(k); },
    };
    for (int k = 0; k <= LEVCON_KEY_SPLINE; k++) {
      if (level->setkeys[k] != -1) kRemove[k](level, level->setkeys[k]);
      level->setkeys[k] = -1;
    }
    if (level->help != -1) RemoveLevelHelp(level->help);
    level->help = -1;
    UnLoadVehicles(level);
    ResetDeb3();
    if (d->lockstate == BUFFY_LOCKED) BuffyUnlock(d);
    if (d->lockstate == BUFFY_UNLOCKED) LevConQueueBufferForRelease(d);
    level->buffer = nullptr;
  }
  level->info.loaded = 0;
  if (level == current_level) {
    if (level->info.OnDeactivate) CallLabel("LEVEL", level->info, level->info.OnDeactivate);
    current_level = nullptr;
    LevelFxInit(nullptr);
    LevConSetTerrain(nullptr);
  }
}

void LevConSetTerrain(LevConLevel* level) {
  if (level && level->terrain) {
    TerrainSetCur(static_cast<TerrSet*>(level->terrain));
    SpecialTerrainSetCur(static_cast<SpecialTerrainData*>(level->specterr));
  } else {
    noterraininit();
    SpecialTerrainSetCur(nullptr);
  }
}

void LevConDumpIsland() {
  if (!current_island) return;
  ZeDebugMsg("Dump Island %s\n", NameOf(&current_island->info));
  DumpIslandTriggers(current_island);
  current_island = nullptr;
}

void LevConDumpWorld() {
  LevConWorld* w = current_world;
  if (!w) return;
  // The renderer's remove takes a scene, never null.
  if (w->wbscene) ZeGScnRemove(w->wbscene);
  if (w->scene2) ZeGScnRemove(w->scene2);
  w->wbscene = w->scene2 = nullptr;
  for (int i = 0; i < w->nislands; i++) {
    LevConIsland& is = w->firstisland[i];
    if (is.loscene) ZeGScnRemove(is.loscene);
    is.loscene = nullptr;
    PlanetLevReleaseLevel(is.PlateID);
  }
  CloseWorldFx();
  w->info.loaded = 0;
  current_world = nullptr;
}

// ---------------------------------------------------------------------------
// Hold counts, restart information.

void LevConSetHoldCounts(int islandFrames, int levelFrames) {
  start_hold_island = islandFrames;
  start_hold_level = levelFrames;
}

void LevConSaveStartInfo() {
  start_world = current_world;
  start_island = current_island;
  start_level = current_level;
  for (int i = 0; i < levcon_num_levels; i++) {
    LevConLevel& l = levels[i];
    l.saved[0] = l.progress;
    l.saved[1] = l.collected;
    l.saved[2] = l.progress3;
  }
}

void LevConRestoreStartInfo() {
  start_hold_island = start_hold_level = 120;
  for (int i = 0; i < levcon_num_levels; i++) {
    LevConLevel& l = levels[i];
    l.progress = l.saved[0];
    l.collected = l.saved[1];
    l.progress3 = l.saved[2];
  }
}

void LevConReset() {
  GBReset();
  g_lastLabel = g_lastSem = -1;
}

// ---------------------------------------------------------------------------
// The choice.

namespace {

bool NoHitPoints() { return exitgame && Player.hitpoints <= 0; }

template <class T>
T* Choose(T* current, T* forced, T* override, int& hold, T* start, T* teleport, T* planet) {
  if (forced) return forced;
  T* c = nullptr;
  if (NoHitPoints()) c = current;
  if (!c && levcon_override_enabled) c = override;
  if (!c && hold > 0) {
    hold--;
    c = start;
  }
  if (!c) c = teleport;
  if (!c) c = planet;
  if (current && c != current) return nullptr;
  return c;
}

}  // namespace

LevConWorld* LevConChooseWorld(LevConWorld* current) {
  return Choose(current, levcon_force_world, levcon_world_override, start_hold_world, start_world,
                static_cast<LevConWorld*>(GetTeleportWorld()), static_cast<LevConWorld*>(PlanetLevGetCurrentWorld()));
}

LevConIsland* LevConChooseIsland(LevConIsland* current) {
  return Choose(current, levcon_force_island, levcon_island_override, start_hold_island, start_island,
                static_cast<LevConIsland*>(GetTeleportIsland()), static_cast<LevConIsland*>(PlanetLevGetCurrentLevel()));
}

void LevConChooseLevel(LevConLevel* current, LevConLevel** chosen, LevConLevel** preload, LevConLevel** show) {
  *preload = nullptr;
  *show = nullptr;
  if (levcon_force_level) {
    *chosen = levcon_force_level;
    return;
  }
  LevConLevel* c = levcon_override_enabled ? levcon_level_override : nullptr;
  if (NoHitPoints()) c = current;
  if (!c && start_hold_level > 0) {
    start_hold_level--;
    c = start_level;
  }
  if (!c) c = static_cast<LevConLevel*>(GetTeleportLevel());
  if (!c) c = static_cast<LevConLevel*>(GetScriptLevel());
  if (!c && current_island && current_island->LoadTriggers) {
    c = current;
    if (current_island->ltset >= 0) {
      int label = -1, sem = -1;
      LoadTrigCheckBounds(current_island->ltset, &Player.cob.pos, &c, preload, show, &label, &sem);
      if (gameflow_prog && label != g_lastLabel) {
        g_lastLabel = label;
        if (label != -1) gfcGoSubLabelById(gameflow_prog, label);
      }
      if (sem != g_lastSem) {
        g_lastSem = sem;
        if (sem != -1) gfcSignalSemById(sem);
      }
    }
  }
  *chosen = c;
}

void LevConProcess() {
  ProcessReleases();
  LevConProcessEvents();
  loadtrig_inhibitions = (PlayerCraft ? LT_NOCRAFT : 0) | (PlayerTrike || PlayerQuad || PlayerBoat ? LT_NOTRIKE : 0) |
                         (PlayerGlider ? LT_NOGLIDER : 0);
  LevConOpProcess();
  levcon_remap_mtx = PlanetLevGetRemapMtx();
  if (levcon_remap_mtx) {
    PlayerCraftRemap(levcon_remap_mtx);
    DebrisShift(levcon_remap_mtx);
  }
  if (levcon_edit >= 2) return;
  // A change of world or island ends the choice for this frame; a depth
  // whose current node has not caught up with its logic node is not asked.
  bool levelStep = false, changed = false;
  LevConWorld* world = nullptr;
  if (current_world == logic_current_world) {
    world = LevConChooseWorld(current_world);
    if (world != logic_current_world) {
      changed = true;
      if (current_world) {
        if (current_island) ZeError("This should never happen");
        LevConDumpWorld();
      }
      logic_current_world = world;
      logic_current_island = nullptr;
      logic_current_level = nullptr;
      if (world) {
        const int g = levcon_curr_gbinitlevel;
        if (g >= 3) lcopPostGBInitLevel(2);
        lcopPostLoadWorld(world);
        if (g >= 3 && world->info.gbsize > 0) lcopPostGBBuffer(world->info.gbkind, world->info.gbsize);
        if (g >= 3) lcopPostGBInitLevel(int16_t(g));
      }
    }
  }
  if (!changed && current_world == logic_current_world && world == logic_current_world &&
      current_island == logic_current_island) {
    LevConIsland* island = LevConChooseIsland(current_island);
    if (island != logic_current_island) {
      changed = true;
      if (current_island) {
        DumpIslandLevels(current_island);
        ZeDebugMsg("Dump Island %s\n", NameOf(&current_island->info));
        DumpIslandTriggers(current_island);
        current_island = nullptr;
      }
      logic_current_island = island;
      logic_current_level = nullptr;
      if (island) {
        lcopPostPreLoadIsland(island);
        lcopPostActivateIsland(island);
      }
    }
  }
  if (!changed) {
    levelStep = true;
    LevConLevel *chosen, *preload, *show;
    LevConChooseLevel(current_level, &chosen, &preload, &show);
    if (current_level == logic_current_level && chosen != current_level) {
      if (chosen && chosen->info.LoadScript && !levcon_edit) {
        if (gameflow_prog) gfcGoSubLabel(gameflow_prog, chosen->info.LoadScript);
      } else {
        if (chosen) lcopPostPreLoadLevel(chosen);
        lcopPostActivateLevel(chosen);
      }
      logic_current_level = chosen;
    }
    if (preload && preload != logic_preload_level) {
      lcopPostPreLoadLevel(preload);
      logic_preload_level = preload;
    } else if (!preload) {
      logic_preload_level = nullptr;
    }
    if (show && show->info.loaded) {
      show->levflags &= ~LEVCON_HELD;
      if (!show->visible) LevConShowLevel(show, 1);
    }
  }
  if (current_level) {
    WorldFXSetSkyVisibility((current_level->levflags & LEVCON_SEE_SKY) || levcon_sky_visible);
    WorldFXSetSeaVisibility((current_level->levflags & LEVCON_SEE_SEA) || levcon_sea_visible);
  } else {
    WorldFXSetSkyVisibility(1);
    WorldFXSetSeaVisibility(1);
  }
  if (!levelStep) {
    LevConLevel *chosen, *preload, *show;
    LevConChooseLevel(current_level, &chosen, &preload, &show);
  }
}
