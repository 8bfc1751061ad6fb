// The universe: worlds, islands and levels read once per start of the level
// controller from the universe file into static arrays, their strings in one
// name pool. Nothing here allocates; nodes are never added after the read.
#include "levcon.h"

#include "game.h"

#include <cstdio>
#include <cstring>

LevConWorld worlds[LEVCON_MAX_WORLDS];
LevConIsland islands[LEVCON_MAX_ISLANDS];
LevConLevel levels[LEVCON_MAX_LEVELS];
int levcon_num_worlds, levcon_num_islands, levcon_num_levels;
LevConInfo GlobalInfo;
const char GlobalName[] = "global";
LevConWorld* current_world;
LevConIsland* current_island;
LevConLevel* current_level;
int levcon_gb_kind = 2;
int levcon_gb_size = 0x680000;
int levcon_gb_noplanet;
int levcon_gb_nohires;
ZEFPAR* levcon_parser;

namespace {

char g_pool[LEVCON_POOL];
int g_poolUsed;
LevConInfo* g_stack[LEVCON_STACK];
int g_depth;
const char* g_fileName = "";
LevConWorld* g_world;          // the world being defined
LevConIsland* g_island;        // the island being defined

LevConInfo* Top() { return g_depth > 0 ? g_stack[g_depth - 1] : nullptr; }

void Push(LevConInfo* node) {
  if (g_depth >= LEVCON_STACK) ZeError("lcinfoPush - stack overflow");
  g_stack[g_depth++] = node;
}

void Pop() {
  if (g_depth > 0) g_depth--;
}

// The parser keeps 8 keyword tables: a table that does not fit would be lost
// and the rest of the file read in the wrong tables, so it stops here.
void PushTable(ZEFPAR* p, const ZEFPCMD* table) {
  if (ZeFParPushCom(p, table) < 0)
    ZeError("game.uni - levels nested too deeply at %d, maximum of %d tables", p->lineno, ZEFPAR_STACK);
}

bool Skip(const char* word) { return word[0] == 0 || word[0] == ';'; }

// A copy of word in the pool; null for an empty word or a remark. The new
// fill offset must stay below the pool's size.
const char* Store(const char* word, bool canSee) {
  if (Skip(word)) return nullptr;
  int len = int(strlen(word)) + 1;
  if (g_poolUsed + len >= LEVCON_POOL) {
    if (canSee) ZeError("Levcon String Table Overflow at \"%s\"", word);
    ZeError("Levcon String Table Overflow at %d", levcon_parser ? levcon_parser->lineno : -1);
  }
  char* s = g_pool + g_poolUsed;
  memcpy(s, word, size_t(len));
  g_poolUsed += len;
  return s;
}

const char* StoreNext(ZEFPAR* p) {
  ZeFParGetWord(p);
  return Store(p->word, false);
}

LevConLevel* TopLevel() {
  LevConInfo* t = Top();
  return t && t->kind == LEVCON_LEVEL ? reinterpret_cast<LevConLevel*>(t) : nullptr;
}
LevConWorld* TopWorld() {
  LevConInfo* t = Top();
  return t && t->kind == LEVCON_WORLD ? reinterpret_cast<LevConWorld*>(t) : nullptr;
}

// ---- string keywords ----------------------------------------------------

void KwLoadScript(ZEFPAR* p) { Top()->LoadScript = StoreNext(p); }
void KwOnActivate(ZEFPAR* p) { Top()->OnActivate = StoreNext(p); }
void KwOnDeactivate(ZEFPAR* p) { Top()->OnDeactivate = StoreNext(p); }
void KwName(ZEFPAR* p) { Top()->Name = StoreNext(p); }
void KwDescription(ZEFPAR* p) { Top()->Description = StoreNext(p); }
void KwPath(ZEFPAR* p) { Top()->Path = StoreNext(p); }
void KwWBScene(ZEFPAR* p) { TopWorld()->WBScene = StoreNext(p); }
void KwULScene(ZEFPAR* p) { TopWorld()->ULScene = StoreNext(p); }
void KwLoadTriggers(ZEFPAR* p) { g_island->LoadTriggers = StoreNext(p); }
void KwIslandLoScene(ZEFPAR* p) { g_island->LoScene = StoreNext(p); }
void KwHiScene(ZEFPAR* p) { TopLevel()->HiScene = StoreNext(p); }
void KwCreatures(ZEFPAR* p) { TopLevel()->Creatures = StoreNext(p); }
void KwParticles(ZEFPAR* p) { TopLevel()->Particles = StoreNext(p); }
void KwGrass(ZEFPAR* p) { TopLevel()->Grass = StoreNext(p); }
void KwBridges(ZEFPAR* p) { TopLevel()->Bridges = StoreNext(p); }
void KwPots(ZEFPAR* p) { TopLevel()->Pots = StoreNext(p); }
void KwPickups(ZEFPAR* p) { TopLevel()->Pickups = StoreNext(p); }
void KwLights(ZEFPAR* p) { TopLevel()->Lights = StoreNext(p); }
void KwSplines(ZEFPAR* p) { TopLevel()->Splines = StoreNext(p); }
void KwSeaShape(ZEFPAR* p) { TopLevel()->SeaShape = StoreNext(p); }

// ---- structure ----------------------------------------------------------

extern const ZEFPCMD g_worldTable[], g_islandTable[], g_levelTable[], g_optionTable[];

void KwBeginWorld(ZEFPAR* p) {
  if (levcon_num_worlds >= LEVCON_MAX_WORLDS)
    ZeError("Too many worlds defined at %d (max %d)", p->lineno, LEVCON_MAX_WORLDS);
  LevConWorld* w = &worlds[levcon_num_worlds];
  w->info.kind = LEVCON_WORLD;
  w->info.parent = Top();
  w->info.next = w->info.prev = w->info.child = nullptr;
  w->info.Name = StoreNext(p);
  w->info.gbsize = -1;
  w->info.flags &= ~3;
  g_world = w;
  Push(&w->info);
  PushTable(p, g_worldTable);
}

void KwEndWorld(ZEFPAR* p) {
  ZeFParPopCom(p);
  levcon_num_worlds++;
  Pop();
  g_world = nullptr;
}

void KwBeginIsland(ZEFPAR* p) {
  if (levcon_num_islands >= LEVCON_MAX_ISLANDS)
    ZeError("Too many islands defined at %d (max %d)", p->lineno, LEVCON_MAX_ISLANDS);
  PushTable(p, g_islandTable);
  LevConIsland* i = &islands[levcon_num_islands];
  if (!g_world->firstisland) g_world->firstisland = i;
  g_world->nislands++;
  *i = {};
  i->info.kind = LEVCON_ISLAND;
  i->info.Name = StoreNext(p);
  i->info.parent = Top();
  i->ltset = -1;
  g_island = i;
  Push(&i->info);
}

// Host level and can-see names of every level of a child list, sub-levels
// included, become level pointers (null for an unknown name).
void Resolve(LevConInfo* first) {
  for (LevConInfo* n = first; n; n = n->next) {
    auto* l = reinterpret_cast<LevConLevel*>(n);
    l->host = l->hostname ? LevConFindLevelByName(l->hostname) : nullptr;
    for (int k = 0; k < l->ncansee; k++) l->cansee[k] = LevConFindLevelByName(l->canseename[k]);
    Resolve(n->child);
  }
}

void KwEndIsland(ZEFPAR* p) {
  ZeFParPopCom(p);
  Resolve(g_island->info.child);
  levcon_num_islands++;
  Pop();
  g_island = nullptr;
}

void KwBeginLevel(ZEFPAR* p) {
  if (levcon_num_levels >= LEVCON_MAX_LEVELS)
    ZeError("Too many levels defined at %d (max %d)", p->lineno, LEVCON_MAX_LEVELS);
  LevConLevel* l = &levels[levcon_num_levels];
  if (!g_island->firstlevel) g_island->firstlevel = l;
  g_island->nlevels++;
  l->info.kind = LEVCON_LEVEL;
  l->info.Name = StoreNext(p);
  for (int& k : l->setkeys) k = -1;
  l->help = -1;
  LevConInfo* parent = Top();
  l->info.parent = parent;
  l->info.next = l->info.prev = l->info.child = nullptr;
  l->ncansee = 0;
  // The parent's children are kept newest first.
  l->info.next = parent->child;
  if (parent->child) parent->child->prev = &l->info;
  parent->child = &l->info;
  Push(&l->info);
  l->buffsize = 0x500000;
  l->bufftype = 5;
  PushTable(p, g_optionTable);
  while (ZeFParGetWord(p) && !Skip(p->word)) ZeFParInterpretWord(p);
  ZeFParPopCom(p);
  levcon_num_levels++;
  PushTable(p, g_levelTable);
}

void KwEndLevel(ZEFPAR* p) {
  ZeFParPopCom(p);
  Pop();
}

// ---- values -------------------------------------------------------------

void KwGBConfig(ZEFPAR* p) {
  ZeFParGetWord(p);
  int kind = 0;
  if (ZeStrICmp(p->word, "low") == 0) kind = 0;
  else if (ZeStrICmp(p->word, "high") == 0) kind = 2;
  else ZeError("game.uni - Unknown buffer type '%s' at %d - must be either LOW or HIGH", p->word, p->lineno);
  int size = ZeFParGetInt(p);
  if (size == 0) ZeError("game.uni - You must supply a fractal buffer size at %d", p->lineno);
  int noplanet = 0, nohires = 0;
  while (ZeFParGetWord(p)) {
    if (ZeStrICmp(p->word, "NOPLANET") == 0) noplanet = 1;
    else if (ZeStrICmp(p->word, "NOHIRES") == 0) nohires = 1;
  }
  LevConInfo* top = Top();
  if (top && top->kind == LEVCON_GLOBAL) {
    levcon_gb_kind = kind;
    levcon_gb_size = size;
    levcon_gb_noplanet = noplanet;
    levcon_gb_nohires = nohires;
  } else if (top && top->kind == LEVCON_WORLD) {
    top->gbkind = kind;
    top->gbsize = size;
  } else {
    ZeError("can only set GBCONFIG globally or in a world, definitely not at line %d", p->lineno);
  }
}

void KwTexAnimFile(ZEFPAR* p) {
  int len = ZeFParGetWord(p);
  if (len == 0) ZeError("game.uni - TexAnimFile: missing filename at %d", p->lineno);
  if (len >= LEVCON_TEXANIM_NAME)
    ZeError("game.uni - TexAnimFile: filename exceeds %d chars at %d", LEVCON_TEXANIM_NAME, p->lineno);
  memcpy(texanimfilename, p->word, size_t(len) + 1);
  texanimbuffsize = ZeFParGetInt(p);
}

void KwGBName(ZEFPAR* p) {
  LevConWorld* w = TopWorld();
  w->planet = StoreNext(p);
  w->planetpath = StoreNext(p);
}

void KwAtmosAlt(ZEFPAR* p) { TopWorld()->AtmosAlt = ZeFParGetFloat(p); }

void KwLevelLoScene(ZEFPAR* p) {
  LevConLevel* l = TopLevel();
  l->hostname = StoreNext(p);
  l->lopattern = StoreNext(p);
}

void KwPlateID(ZEFPAR* p) { g_island->PlateID = ZeFParGetInt(p); }
void KwPlatePos(ZEFPAR* p) {
  g_island->PlatePos.x = ZeFParGetFloat(p);
  g_island->PlatePos.y = ZeFParGetFloat(p);
  g_island->PlatePos.z = ZeFParGetFloat(p);
}
void KwPlateAlign(ZEFPAR*) { g_island->PlateAlign = 1; }
void KwActiveRange(ZEFPAR* p) { g_island->ActiveRange = ZeFParGetFloat(p); }

void KwPVS(ZEFPAR* p) {
  LevConIsland* i = g_island;
  i->pvsdist = ZeFParGetFloat(p);
  while (ZeFParGetWord(p) && !Skip(p->word)) {
    if (i->npvs >= LEVCON_MAX_PVS) ZeError("Too many plates in PVS command at line %d", p->lineno);
    ZeFParUnGetWord(p);
    i->pvs[i->npvs++] = ZeFParGetInt(p);
  }
}

void KwCanSee(ZEFPAR* p) {
  LevConLevel* l = TopLevel();
  while (ZeFParGetWord(p) && !Skip(p->word)) {
    if (ZeStrICmp(p->word, "global") == 0) l->levflags |= LEVCON_SEE_GLOBAL;
    else if (ZeStrICmp(p->word, "sky") == 0) l->levflags |= LEVCON_SEE_SKY;
    else if (ZeStrICmp(p->word, "sea") == 0) l->levflags |= LEVCON_SEE_SEA;
    else if (ZeStrICmp(p->word, "fractal") == 0) continue;
    else {
      if (l->ncansee >= LEVCON_MAX_CANSEE)
        ZeError("game.uni - too many cansee levels at %d, maximum of %d", p->lineno, LEVCON_MAX_CANSEE);
      l->canseename[l->ncansee++] = Store(p->word, true);
    }
  }
}

void KwStartPos(ZEFPAR* p) {
  LevConLevel* l = TopLevel();
  l->StartPos.x = ZeFParGetFloat(p);
  l->StartPos.y = ZeFParGetFloat(p);
  l->StartPos.z = ZeFParGetFloat(p);
  l->startyaw = EeFtoi(ZeFParGetFloat(p));
}

void KwGBInitLevel(ZEFPAR*) { ZeError("No Longer supported - use FRACTAL command with either ACTIVE or INACTIVE"); }

struct BufferKind {
  const char* word;
  int kind;
};
constexpr BufferKind BUFFER_KINDS[] = {{"LOW", 0}, {"SUB", 1}, {"HIGH", 2}, {"ANY", 4},
                                       {"MAIN", 5}, {"SUBHIGH", 6}, {"SUBLOW", 7}};

void KwBUFFER(ZEFPAR* p) {
  LevConLevel* l = TopLevel();
  ZeFParGetWord(p);
  if (ZeStrICmp(p->word, "SUBAT") == 0) {
    l->bufftype = int(unsigned(ZeFParGetInt(p)) & ~0xffu) + 8;
  } else {
    bool found = false;
    for (const BufferKind& b : BUFFER_KINDS) {
      if (ZeStrICmp(p->word, b.word) == 0) {
        l->bufftype = b.kind;
        found = true;
      }
    }
    if (!found) ZeError("game.uni - Unknown level buffer type \"%s\" at %d", p->word, p->lineno);
  }
  l->buffsize = ZeFParGetInt(p);
}

// ---- tables -------------------------------------------------------------

const ZEFPCMD g_universeTable[] = {
    {"BeginWorld", KwBeginWorld}, {"GBConfig", KwGBConfig}, {"TexAnimFile", KwTexAnimFile}, {nullptr, nullptr}};

const ZEFPCMD g_worldTable[] = {
    {"EndWorld", KwEndWorld},   {"BeginIsland", KwBeginIsland}, {"LoadScript", KwLoadScript},
    {"OnActivate", KwOnActivate}, {"OnDeactivate", KwOnDeactivate}, {"Name", KwName},
    {"Path", KwPath},           {"WBScene", KwWBScene},         {"ULScene", KwULScene},
    {"GBName", KwGBName},       {"GBConfig", KwGBConfig},       {"AtmosAlt", KwAtmosAlt},
    {nullptr, nullptr}};

const ZEFPCMD g_islandTable[] = {
    {"EndIsland", KwEndIsland},   {"BeginLevel", KwBeginLevel},     {"LoadScript", KwLoadScript},
    {"OnActivate", KwOnActivate}, {"OnDeactivate", KwOnDeactivate}, {"GBConfig", KwGBConfig},
    {"Name", KwName},             {"Description", KwDescription},   {"Path", KwPath},
    {"LoScene", KwIslandLoScene}, {"PlateID", KwPlateID},           {"PlatePos", KwPlatePos},
    {"PlateAlign", KwPlateAlign}, {"ActiveRange", KwActiveRange},   {"PVS", KwPVS},
    {"LoadTriggers", KwLoadTriggers}, {nullptr, nullptr}};

const ZEFPCMD g_levelTable[] = {
    {"EndLevel", KwEndLevel},     {"BeginLevel", KwBeginLevel},     {"LoadScript", KwLoadScript},
    {"OnActivate", KwOnActivate}, {"OnDeactivate", KwOnDeactivate}, {"GBConfig", KwGBConfig},
    {"Name", KwName},             {"Description", KwDescription},   {"Path", KwPath},
    {"LoScene", KwLevelLoScene},  {"HiScene", KwHiScene},           {"Creatures", KwCreatures},
    {"Particles", KwParticles},   {"Grass", KwGrass},               {"Bridges", KwBridges},
    {"Pots", KwPots},             {"Pickups", KwPickups},           {"Lights", KwLights},
    {"Splines", KwSplines},       {"SeaShape", KwSeaShape},         {"GBInitLevel", KwGBInitLevel},
    {"CanSee", KwCanSee},         {"StartPos", KwStartPos},         {nullptr, nullptr}};

const ZEFPCMD g_optionTable[] = {{"BUFFER", KwBUFFER}, {nullptr, nullptr}};

const char BANNER[] = "*****************UNI FILE INTERPRETER ERROR********************";

void InterpreterError(ZEFPAR* p) {
  if (p->word[0] == 0) ZeError("Missing keyword in file %s at line %d", g_fileName, p->lineno);
  ZeDebugMsg("%s", BANNER);
  ZeDebugMsg("%s", BANNER);
  ZeDebugMsg("Unexpected \"%s\" in file %s at line %d", p->word, g_fileName, p->lineno);
  ZeDebugMsg("%s", BANNER);
  ZeDebugMsg("%s", BANNER);
}

bool SameName(const LevConInfo& n, const char* name) { return n.Name && name && ZeStrICmp(n.Name, name) == 0; }

}  // namespace

void LevConResetStack(LevConInfo* node) {
  g_depth = 0;
  Push(node);
}

void LevConSysInit() {
  GlobalInfo = {};
  GlobalInfo.kind = LEVCON_GLOBAL;
  GlobalInfo.Name = GlobalName;
  LevConResetStack(&GlobalInfo);
  // The planet world's buffer settings start from their defaults at every
  // replay; a top-level GBConfig changes them.
  levcon_gb_kind = 2;
  levcon_gb_size = 0x680000;
  levcon_gb_noplanet = 0;
  levcon_gb_nohires = 0;
  LevConLoadUniverse(levcon_uni_name);
  current_world = nullptr;
  current_island = nullptr;
  current_level = nullptr;
  LevConStreamInit();
}

void LevConLoadUniverse(const char* name) {
  if (levcon_parser) {
    // Left by a fatal stop in the previous read (tools and tests go on after
    // one): its block is freed; its file went with the file layer's reset.
    ZeFParClose(levcon_parser);
    levcon_parser = nullptr;
  }
  levcon_num_worlds = levcon_num_islands = levcon_num_levels = 0;
  g_poolUsed = 0;
  memset(static_cast<void*>(worlds), 0, sizeof worlds);
  memset(static_cast<void*>(islands), 0, sizeof islands);
  memset(static_cast<void*>(levels), 0, sizeof levels);
  g_world = nullptr;
  g_island = nullptr;
  g_fileName = name;
  ZEFPARFN old = ZeFParSetInterpreterErrorHandler(InterpreterError);
  ZEFPAR* p = ZeFParCreate(name);
  if (!p) ZeError("Could not open %s", name);
  levcon_parser = p;
  PushTable(p, g_universeTable);
  while (ZeFParGetLine(p)) {
    if (ZeFParGetWord(p)) ZeFParInterpretWord(p);
  }
  ZeFParDestroy(p);
  levcon_parser = nullptr;
  ZeFParSetInterpreterErrorHandler(old);
}

LevConLevel* LevConFindLevelByName(const char* name) {
  for (int i = 0; i < levcon_num_levels; i++)
    if (SameName(levels[i].info, name)) return &levels[i];
  return nullptr;
}

LevConIsland* LevConFindIslandByName(const char* name) {
  for (int i = 0; i < levcon_num_islands; i++)
    if (SameName(islands[i].info, name)) return &islands[i];
  return nullptr;
}

LevConWorld* LevConFindWorldByName(const char* name) {
  for (int i = 0; i < levcon_num_worlds; i++)
    if (SameName(worlds[i].info, name)) return &worlds[i];
  return nullptr;
}

LevConInfo* LevConFindByName(const char* name) {
  if (LevConIsland* i = LevConFindIslandByName(name)) return &i->info;
  if (LevConLevel* l = LevConFindLevelByName(name)) return &l->info;
  return nullptr;
}

int LevConIsInfoInList(LevConInfo* first, LevConInfo* node) {
  for (LevConInfo* n = first; n; n = n->next)
    if (n == node || LevConIsInfoInList(n->child, node)) return 1;
  return 0;
}

int LevConIsVisible(LevConInfo* from, LevConInfo* to) {
  if (!from || !to) return 0;
  if (from == to) return 1;
  if (from->kind == LEVCON_LEVEL) {
    auto* l = reinterpret_cast<LevConLevel*>(from);
    for (int k = 0; k < l->ncansee; k++)
      if (l->cansee[k] && &l->cansee[k]->info == to) return 1;
    if ((to->kind == LEVCON_WORLD || to->kind == LEVCON_GLOBAL) && (l->levflags & LEVCON_SEE_GLOBAL)) return 1;
    return 0;
  }
  if (from->kind == LEVCON_WORLD) return to->kind == LEVCON_GLOBAL;
  return 0;
}

LevConInfo* LevConGetCurrentInfo() {
  if (current_level) return &current_level->info;
  if (current_island) return &current_island->info;
  if (current_world) return &current_world->info;
  return nullptr;
}

namespace {

// The current node and its code: 1 level, 2 island, 3 world, 0 none.
int Current(LevConInfo** node) {
  *node = LevConGetCurrentInfo();
  if (!*node) return 0;
  return current_level ? 1 : current_island ? 2 : 3;
}

}  // namespace

int LevConGetCurrentPath(char* out) {
  LevConInfo* n;
  int code = Current(&n);
  out[0] = 0;
  if (code && n->Path) strcpy(out, n->Path);
  return code;
}

int LevConGetCurrentName(char* out) { return LevConGetCurrentPath(out); }

int LevConGetCurrentFullName(char* out) {
  LevConInfo* n;
  int code = Current(&n);
  out[0] = 0;
  if (code) sprintf(out, "%s\\%s", n->Path ? n->Path : "", n->Name ? n->Name : "");
  return code;
}

// ---------------------------------------------------------------------------
// Level controller services the loader calls.

int levcon_frame_delay;

int LevConCobMigrateReq(LevConLevel* level, EePtr<char>** cursor, char** end) {
  auto* d = static_cast<BuffyDesc*>(level->buffer);
  if (!level->info.loaded || !d) return 0;
  ZeDebugMsg("Level - %s is willing to adopt cob", level->info.Name);
  *cursor = &d->current;
  *end = d->end;
  return 1;
}
