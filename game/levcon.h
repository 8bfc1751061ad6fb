// levcon: the universe, a fixed tree of worlds, islands and levels read
// from the universe file, with look-ups by name, visibility between nodes
// and the accessors of the current node.
#pragma once

#include "zecore.h"
#include "zemath.h"

// ===================================================================
// Universe model (levcon)
// ===================================================================
// Universe file grammar (one command per line, keywords without regard to
// case, ';' starts a remark; see docs/gameflow.md):
//   file    := { GBConfig | TexAnimFile | world }
//   world   := BeginWorld name { world keyword | island } EndWorld
//   island  := BeginIsland name { island keyword | level } EndIsland
//   level   := BeginLevel name [BUFFER kind [offset] size] { level keyword | level } EndLevel

enum { LEVCON_LEVEL = 1, LEVCON_ISLAND = 2, LEVCON_WORLD = 3, LEVCON_GLOBAL = 4 };

constexpr int LEVCON_MAX_WORLDS = 8;
constexpr int LEVCON_MAX_ISLANDS = 32;
constexpr int LEVCON_MAX_LEVELS = 64;
constexpr int LEVCON_POOL = 8192;      // the name pool
constexpr int LEVCON_STACK = 16;       // the nesting stack of nodes
constexpr int LEVCON_MAX_CANSEE = 8;
constexpr int LEVCON_MAX_PVS = 32;
constexpr int LEVCON_TEXANIM_NAME = 64;

// Level flags.
constexpr int LEVCON_SEE_GLOBAL = 0x08;  // CanSee "global"
constexpr int LEVCON_HELD = 0x10;        // preloaded and held hidden
constexpr int LEVCON_SEE_SKY = 0x20;     // CanSee "sky"
constexpr int LEVCON_SEE_SEA = 0x40;     // CanSee "sea"

struct LevConLevel;
struct LevConIsland;

// The header every node shares. Strings point into the name pool; null
// when the keyword was absent or its word empty.
struct LevConInfo {
  int kind;                  // LEVCON_*
  LevConInfo* next;          // sibling added before this one
  LevConInfo* prev;          // sibling added after this one
  LevConInfo* child;         // the child added last
  LevConInfo* parent;        // the node open when this one began
  const char* Name;
  const char* Path;
  const char* Description;
  const char* LoadScript;    // game-flow labels
  const char* OnActivate;
  const char* OnDeactivate;
  int loaded;
  int gbkind;                // worlds: 0 low, 2 high
  int gbsize;                // worlds: fractal buffer bytes, -1 when none given
  int flags;                 // worlds: bits 0 and 1 cleared when the world begins
};

struct LevConWorld {
  LevConInfo info;
  const char* planet;        // GBName: planet name and data path
  const char* planetpath;
  const char* WBScene;
  const char* ULScene;
  LevConIsland* firstisland;
  int nislands;
  void* wbscene;             // worldbits scene, filled by the world load
  void* scene2;
  float AtmosAlt;
};

struct LevConIsland {
  LevConInfo info;
  const char* LoScene;
  void* loscene;
  int PlateID;
  ZEVEC PlatePos;
  int PlateAlign;
  float ActiveRange;
  LevConLevel* firstlevel;
  int nlevels;               // levels directly or indirectly inside
  int ltset;                 // load-trigger set key, -1 when none
  const char* LoadTriggers;
  void* chartypes;
  int pvs[LEVCON_MAX_PVS];
  int npvs;
  float pvsdist;
};

struct LevConLevel {
  LevConInfo info;
  const char* lopattern;     // LoScene: low-detail pattern ...
  const char* hostname;      // ... and the host level's name
  const char* HiScene;
  const char* Creatures;
  const char* Particles;
  const char* Grass;
  const char* Bridges;
  const char* Pots;
  const char* Pickups;
  const char* Lights;
  const char* Splines;
  void* scene;
  void* cutscenes;
  void* triggers;
  void* triggerinst;
  void* script;
  void* terrain;
  void* specterr;
  int setkeys[8];            // creature, particle, grass, bridge, pot, pickup, light, spline; -1 none
  int help;
  ZEVEC StartPos;
  ZEANG startyaw;
  LevConLevel* host;         // resolved when the island ends
  void* lospecials;
  int nlospecials;
  int visible;
  int levflags;              // LEVCON_SEE_*, LEVCON_HELD
  void* chartypes;
  int loadstamp;
  int buffsize;              // 0x500000 unless BUFFER gives another
  int bufftype;              // BuffyAllocate kind, 5 unless BUFFER gives another
  void* buffer;
  int relock;
  const char* canseename[LEVCON_MAX_CANSEE];  // as read ...
  LevConLevel* cansee[LEVCON_MAX_CANSEE];     // ... and resolved when the island ends
  int ncansee;
  const char* SeaShape;
  void* seashape;
  int progress;
  int collected;
  int progress3;
  int saved[3];
};

extern LevConWorld worlds[LEVCON_MAX_WORLDS];
extern LevConIsland islands[LEVCON_MAX_ISLANDS];
extern LevConLevel levels[LEVCON_MAX_LEVELS];
extern int levcon_num_worlds, levcon_num_islands, levcon_num_levels;
extern LevConInfo GlobalInfo;
extern const char GlobalName[];
extern char levcon_uni_name[256];  // the start-up's setting
extern LevConWorld* current_world;
extern LevConIsland* current_island;
extern LevConLevel* current_level;

// Global fractal-buffer settings a top-level GBConfig gives.
extern int levcon_gb_kind;      // 2
extern int levcon_gb_size;      // 0x680000
extern int levcon_gb_noplanet;  // 0
extern int levcon_gb_nohires;   // 0

// The texture-animation list and its buffer (TexAnimFile); the name is
// below LEVCON_TEXANIM_NAME characters.
extern char texanimfilename[256];
extern int texanimbuffsize;

// The universe file being read (null otherwise): tools report its line.
extern ZEFPAR* levcon_parser;

// The global node alone on the nesting stack, the universe read from
// levcon_uni_name, nothing current.
void LevConSysInit();
// Empties the nesting stack and pushes node (the start of a read).
void LevConResetStack(LevConInfo* node);

void LevConLoadUniverse(const char* name);
LevConLevel* LevConFindLevelByName(const char* name);
LevConIsland* LevConFindIslandByName(const char* name);
LevConWorld* LevConFindWorldByName(const char* name);
LevConInfo* LevConFindByName(const char* name);  // an island before a level
int LevConIsInfoInList(LevConInfo* first, LevConInfo* node);
int LevConIsVisible(LevConInfo* from, LevConInfo* to);
LevConInfo* LevConGetCurrentInfo();
// 1 level, 2 island, 3 world; 0 and an empty text when none is current.
int LevConGetCurrentPath(char* out);
int LevConGetCurrentName(char* out);  // the Path, as modules expect
int LevConGetCurrentFullName(char* out);
