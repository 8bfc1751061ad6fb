// Load triggers: three sets of vertical prisms (256 bounds between them)
// read from an island's ".ltd" file, asked once a frame which level the
// player's position calls for, and written back by the editor.
#include "gameflow.h"
#include "levcon.h"
#include "zeps2.h"

#include <cstdio>
#include <cstring>

TriggerBoundSet loadtrig_sets[LOADTRIG_SETS];
TriggerBound loadtrig_bounds[LOADTRIG_BOUNDS];
int loadtrig_edit_set = -1;
int loadtrig_inhibitions;

namespace {

TriggerBound* g_free;
alignas(16) uint8_t g_scratch[LOADTRIG_SCRATCH];
ZEVEC g_point;
ZEVEC4 g_plane;

constexpr int RECORD_SIZE[4] = {0, 72, 76, 92};

void FreeBound(TriggerBound* b) {
  b->next = g_free;
  g_free = b;
}

void Associate(TriggerBound* b) {
  int index = -1;
  switch (b->type) {
    case LT_WORLD:
      for (int i = 0; i < levcon_num_worlds && index < 0; i++)
        if (worlds[i].info.Name && ZeStrICmp(worlds[i].info.Name, b->name) == 0) index = i;
      break;
    case LT_ISLAND:
      for (int i = 0; i < levcon_num_islands && index < 0; i++)
        if (islands[i].info.Name && ZeStrICmp(islands[i].info.Name, b->name) == 0) index = i;
      break;
    case LT_LEVEL:
      for (int i = 0; i < levcon_num_levels && index < 0; i++)
        if (levels[i].info.Name && ZeStrICmp(levels[i].info.Name, b->name) == 0) index = i;
      break;
    case LT_FLOWLABEL:
      if (gameflow_prog) index = gfcFindLabel(gameflow_prog, b->name);
      break;
    case LT_SEMAPHORE:
      index = gfcFindSem(b->name);
      break;
    default:
      b->name[0] = 0;
      b->index = -1;
      return;
  }
  if (index < 0 || index >= 128) {
    ZeDebugMsg("Could not associate TriggerBound (%s)", b->name);
    b->name[0] = 0;
    index = -1;
  }
  b->index = static_cast<int8_t>(index);
}

// The level a level bound names; null for a bound of another type or an
// index outside the level table (a damaged or hand-made file).
LevConLevel* BoundLevel(const TriggerBound* b) {
  if (b->type != LT_LEVEL || b->index < 0 || b->index >= levcon_num_levels) return nullptr;
  return &levels[b->index];
}

int32_t ReadInt(const uint8_t* p) {
  int32_t v;
  memcpy(&v, p, 4);
  return v;
}

}  // namespace

void LoadTrigInit() {
  g_free = nullptr;
  for (int i = LOADTRIG_BOUNDS - 1; i >= 0; i--) FreeBound(&loadtrig_bounds[i]);
  for (TriggerBoundSet& s : loadtrig_sets) {
    s.owner = nullptr;
    s.first = nullptr;
    s.npoints = 0;
  }
  loadtrig_edit_set = -1;
}

TriggerBound* LoadTrigNewBound(int key) {
  TriggerBound* b = g_free;
  if (!b) ZeError("too many triggerbounds");
  g_free = b->next;
  memset(b, 0, sizeof *b);
  b->created = 1;
  b->index = -1;
  b->priority = 128;
  TriggerBoundSet& s = loadtrig_sets[key];
  b->next = s.first;
  if (s.first) s.first->prev = b;
  s.first = b;
  return b;
}

void LoadTrigDump(int key) {
  if (key < 0 || key >= LOADTRIG_SETS) return;
  TriggerBoundSet& s = loadtrig_sets[key];
  ZeDisableVBlank();
  while (TriggerBound* b = s.first) {
    s.first = b->next;
    FreeBound(b);
  }
  s.npoints = 0;
  ZeEnableVBlank();
}

int LoadTrigRead(const char* file, LevConIsland* island) {
  int key;
  if (file) {
    key = -1;
    for (int i = 0; i < LOADTRIG_SETS && key < 0; i++)
      if (!loadtrig_sets[i].owner) key = i;
    for (int i = 0; i < LOADTRIG_SETS && key < 0; i++) {
      LevConIsland* owner = loadtrig_sets[i].owner;
      if (owner == current_island) continue;
      if (owner->ltset != i) ZeError("Er, owner's ltid does not match this ltid");
      owner->ltset = -1;
      owner->info.loaded = 0;
      LoadTrigDump(i);
      key = i;
    }
    if (key < 0) ZeError("No free loadtrigger buffers - parp!");
    TriggerBoundSet& s = loadtrig_sets[key];
    LoadTrigDump(key);
    s.owner = island;
    snprintf(s.filename, sizeof s.filename, "%s", file);
  } else {
    key = loadtrig_edit_set;
    if (key < 0 || key >= LOADTRIG_SETS) ZeError("assert");
    LoadTrigDump(key);
  }
  TriggerBoundSet& s = loadtrig_sets[key];
  const char* name = s.filename;
  int size = ZeFileLoadBuffer(name, g_scratch, LOADTRIG_SCRATCH);
  if (size <= 0) {
    ZeDebugMsg("Unable to read Level Trigger file %s", name);
    return key;
  }
  if (size < 8) ZeError("Trigger Data file %s is damaged", name);
  uint32_t version = static_cast<uint32_t>(ReadInt(g_scratch));
  if (version > 3) ZeError("Trigger Data file %s needs a newer game", name);
  if (version == 0) ZeError("Unknown triggerbound filetype %d", 0);
  int recsize = RECORD_SIZE[version];
  int32_t count = ReadInt(g_scratch + 4);
  // Every count and offset is checked against the file before anything is
  // taken from it: the records and the point table must lie inside it.
  if (count < 0 || count > (size - 12) / recsize) ZeError("Trigger Data file %s is damaged", name);
  const uint8_t* table = g_scratch + 8 + count * recsize;
  int32_t npoints = ReadInt(table);
  table += 4;
  if (npoints < 0 || npoints > LOADTRIG_POINTS || npoints > (g_scratch + size - table) / 8)
    ZeError("Trigger Data file %s is damaged", name);
  for (int i = 0; i < count; i++) {
    const uint8_t* r = g_scratch + 8 + i * recsize;
    int32_t offset = ReadInt(r + 20), n = ReadInt(r + 24);
    if (offset < 0 || offset % 8 != 0 || n < 0 || n > npoints - offset / 8)
      ZeError("Trigger Data file %s is damaged", name);
  }
  ZeDebugMsg("Read %d triggerbounds", count);
  for (int i = 0; i < count; i++) {
    const uint8_t* r = g_scratch + 8 + i * recsize;
    TriggerBound* b = LoadTrigNewBound(key);
    EePtr<TriggerBound> next = b->next, prev = b->prev;
    b->created = r[16];
    b->npoints = ReadInt(r + 24);
    memcpy(&b->top, r + 28, 24);  // top, bottom, centre, radius
    if (version == 3) {
      memcpy(b->reserved, r + 8, 8);
      memcpy(b->name, r + 52, 32);
      b->name[31] = 0;
      b->type = r[84];
      b->actions = r[86];
      b->priority = r[87];
      b->inhibitions = r[88];
    } else if (version == 2) {
      memcpy(b->name, r + 52, 16);
      b->name[16] = 0;
      b->type = r[68];
      b->actions = r[70];
      b->priority = r[71];
      b->inhibitions = r[72];
    } else {
      memcpy(b->name, r + 52, 20);
      b->name[20] = 0;
    }
    b->next = next;
    b->prev = prev;
    Associate(b);
    b->points = &s.points[ReadInt(r + 20) / 4];
  }
  memcpy(s.points, table, size_t(npoints) * 8);
  s.npoints = npoints;
  ZeDebugMsg("Read %d bndpts", npoints);
  return key;
}

int LoadTrigWrite() {
  int key = loadtrig_edit_set;
  if (key < 0 || key >= LOADTRIG_SETS) return 0;
  TriggerBoundSet& s = loadtrig_sets[key];
  if (!s.first) return 0;
  ZEFILE f = ZeFileOpen(s.filename, 1);
  if (!f) return 0;
  int count = 0;
  for (TriggerBound* b = s.first; b; b = b->next) count++;
  int ok = ZeFileWriteInt(f, 3) == 4 && ZeFileWriteInt(f, count) == 4;
  for (TriggerBound* b = s.first; b && ok; b = b->next) {
    TriggerBound r = *b;
    r.next = nullptr;
    r.prev = nullptr;
    int32_t offset = int32_t((b->points.get() - s.points) * 4);
    memcpy(&r.points, &offset, 4);
    ok = ZeFileWrite(f, &r, sizeof r) == int(sizeof r);
  }
  if (ok) ok = ZeFileWriteInt(f, s.npoints) == 4;
  if (ok && s.npoints) ok = ZeFileWrite(f, s.points, s.npoints * 8) == s.npoints * 8;
  ZeFileClose(f);
  ZeDebugMsg("Wrote Level Triggers");
  return ok;
}

void ltPtInsideTriggerBoundInit(const ZEVEC* point) {
  g_point = *point;
  g_plane = {0.0f, 0.0f, 1.0f, -point->z};
}

int ltPtInsideTriggerBound(const TriggerBound* b, int ignoreHeight) {
  const ZEVEC& p = g_point;
  if (!ignoreHeight && (p.y < b->centre.y + b->bottom || p.y > b->centre.y + b->top)) return 0;
  float dx = p.x - b->centre.x, dz = p.z - b->centre.z;
  if (dx * dx + dz * dz > b->radius * b->radius) return 0;
  int n = b->npoints, crossings = 0;
  if (n <= 0) return 0;
  const float* pts = b->points;
  const ZEVEC c = b->centre;
  for (int i = 0, j = n - 1; i < n; j = i++) {
    ZEVEC a = {pts[2 * j] + c.x, c.y, pts[2 * j + 1] + c.z};
    ZEVEC e = {pts[2 * i] + c.x, c.y, pts[2 * i + 1] + c.z};
    ZEVEC hit;
    if (ZePlnLineVU0(&g_plane, &a, &e, &hit) && hit.x >= p.x) crossings++;
  }
  return crossings & 1;
}

int LoadTrigCheckBounds(int key, const ZEVEC* pos, LevConLevel** level, LevConLevel** preload,
                        LevConLevel** show, int* label, int* sem) {
  TriggerBoundSet& s = loadtrig_sets[key];
  if (s.npoints == 0) {
    if (level) *level = nullptr;
    return 0;
  }
  ltPtInsideTriggerBoundInit(pos);
  LevConLevel* incoming = level ? *level : nullptr;
  const TriggerBound *best = nullptr, *bestLabel = nullptr, *bestSem = nullptr;
  int bestPri = 0, labelPri = 0, semPri = 0;
  for (const TriggerBound* b = s.first; b; b = b->next) {
    if ((b->inhibitions & loadtrig_inhibitions) && !(b->actions & LT_HOLD)) continue;
    if (b->type == LT_FLOWLABEL) {
      if (b->priority >= labelPri && ltPtInsideTriggerBound(b, 0)) {
        bestLabel = b;
        labelPri = b->priority;
      }
      continue;
    }
    if (b->type == LT_SEMAPHORE) {
      if (b->priority >= semPri && ltPtInsideTriggerBound(b, 0)) {
        bestSem = b;
        semPri = b->priority;
      }
      continue;
    }
    // Bounds naming a world or island, or nothing, take no part in the
    // level choice: their index is not a level's.
    LevConLevel* l = BoundLevel(b);
    if (b->type != LT_LEVEL) continue;
    if ((b->actions & LT_HOLD) && (!l || l != incoming)) continue;
    if (loadtrig_inhibitions & LT_NOCRAFT) continue;
    if (b->actions & LT_PRELOAD) {
      if (l && preload && ltPtInsideTriggerBound(b, 0)) *preload = l;
    } else if (b->actions & LT_VIEW) {
      if (l && show && ltPtInsideTriggerBound(b, 0)) *show = l;
    } else if (b->priority >= bestPri && ltPtInsideTriggerBound(b, 0)) {
      best = b;
      bestPri = b->priority;
    }
  }
  if (label) *label = bestLabel ? bestLabel->index : -1;
  if (sem) *sem = bestSem ? bestSem->index : -1;
  if (best) {
    LevConLevel* l = BoundLevel(best);
    if ((best->actions & LT_LOAD) && l) {
      if (level) *level = l;
      return 1;
    }
    if (best->actions & LT_HOLD) return 1;
  }
  if (level) *level = nullptr;
  return 0;
}
