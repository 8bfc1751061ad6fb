// levcon: the universe, a fixed tree of worlds, islands and levels read
// from the universe file, with look-ups by name, visibility between nodes
// and the accessors of the current node.
#pragma once

#include "zecore.h"
#include "zemath.h"

struct ZEGSCENE;  // a loaded scene (ze3d)

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
  ZEGSCENE* wbscene;          // worldbits scene, filled by the world load
  ZEGSCENE* scene2;
  float AtmosAlt;
};

struct LevConIsland {
  LevConInfo info;
  const char* LoScene;
  ZEGSCENE* loscene;
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

// The per-level sets a level record keeps the keys of.
enum {
  LEVCON_KEY_CREATURE, LEVCON_KEY_PARTICLE, LEVCON_KEY_GRASS, LEVCON_KEY_BRIDGE,
  LEVCON_KEY_POT, LEVCON_KEY_PICKUP, LEVCON_KEY_LIGHT, LEVCON_KEY_SPLINE,
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
  ZEGSCENE* scene;
  void* cutscenes;
  void* triggers;
  void* triggerinst;
  void* script;
  void* terrain;
  void* specterr;
  int setkeys[8];            // LEVCON_KEY_*; -1 none
  int help;                  // level help key, -1 none
  ZEVEC StartPos;
  ZEANG startyaw;
  LevConLevel* host;         // resolved when the island ends
  void* lospecials;          // ZESPECIAL array in the level's own buffer
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
  void* seashape;            // the ZESPECIAL of the sea shape, in the level's buffer
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

// ===================================================================
// Load triggers (loadtrig)
// ===================================================================
// An island's load triggers: vertical prisms around a centre that choose
// the level to make current, preload or show, and the game-flow label or
// semaphore the place calls for. ".ltd" files, versions 1-3 (docs/streaming.md).

constexpr int LOADTRIG_SETS = 3;
constexpr int LOADTRIG_BOUNDS = 256;
constexpr int LOADTRIG_POINTS = 1024;
constexpr int LOADTRIG_SCRATCH = 8192;

enum { LT_NONE = 0, LT_WORLD = 1, LT_ISLAND = 2, LT_LEVEL = 3, LT_FLOWLABEL = 4, LT_SEMAPHORE = 5 };
// Actions.
constexpr int LT_LOAD = 0x01, LT_HOLD = 0x02, LT_PRELOAD = 0x04, LT_VIEW = 0x08;
// Inhibitions (and the bits of loadtrig_inhibitions).
constexpr int LT_NOCRAFT = 0x01, LT_NOTRIKE = 0x02, LT_NOGLIDER = 0x04;

// One bound; the version 3 file record has the same layout (links written
// as 0, the point field as a byte offset into the point table).
struct TriggerBound {
  EePtr<TriggerBound> next;
  EePtr<TriggerBound> prev;
  uint8_t reserved[8];
  uint8_t created;
  uint8_t pad[3];
  EePtr<float> points;       // pairs x, z relative to the centre
  int32_t npoints;
  float top;
  float bottom;
  ZEVEC centre;
  float radius;
  char name[32];
  uint8_t type;              // LT_NONE ...
  int8_t index;              // world, island or level index, label or semaphore id; -1 none
  uint8_t actions;
  uint8_t priority;
  uint8_t inhibitions;
  uint8_t reserved2[3];
};
static_assert(sizeof(TriggerBound) == 92);
static_assert(offsetof(TriggerBound, points) == 20 && offsetof(TriggerBound, centre) == 36);
static_assert(offsetof(TriggerBound, name) == 52 && offsetof(TriggerBound, type) == 84);
static_assert(offsetof(TriggerBound, inhibitions) == 88);

struct TriggerBoundSet {
  char filename[64];
  TriggerBound* first;       // bounds are added at the front
  float points[LOADTRIG_POINTS * 2];
  int npoints;
  LevConIsland* owner;       // null when free
};

extern TriggerBoundSet loadtrig_sets[LOADTRIG_SETS];
extern TriggerBound loadtrig_bounds[LOADTRIG_BOUNDS];
extern int loadtrig_edit_set;          // the set the editor works on (LoadTrigWrite), -1 none
extern int loadtrig_inhibitions;       // LT_NOCRAFT ... for the player's vehicles, by LevConProcess

void LoadTrigInit();
// Reads "file" into a set owned by island; returns the set key. A null
// name reads the edited set's file again.
int LoadTrigRead(const char* file, LevConIsland* island);
// Writes the edited set as version 3; 1 when written.
int LoadTrigWrite();
void LoadTrigDump(int key);
// 1 when a LOAD or HOLD bound decided *level; outputs may be null.
int LoadTrigCheckBounds(int key, const ZEVEC* pos, LevConLevel** level, LevConLevel** preload,
                        LevConLevel** show, int* label, int* sem);
void ltPtInsideTriggerBoundInit(const ZEVEC* point);
int ltPtInsideTriggerBound(const TriggerBound* bound, int ignoreHeight);
// A bound from the free list at the front of set key's list, with the
// defaults (created, index -1, priority 128); fatal when none is left.
TriggerBound* LoadTrigNewBound(int key);

// ===================================================================
// Background loader (bgload)
// ===================================================================
// One request a turn, in this order: world, island, level, planet-world
// initialisation, conflict, posted callback, planet-world data read. A
// thread from BGSuspendMain to the next vertical-blank end, or one inline
// turn a call with NOBGLOAD (multithreaded 0). The planet-data slot and the
// busy flag (bgload_pending, bgload_next_gb_data) are the planet world's
// (globular.h).

constexpr int BGLOAD_RING = 32;
constexpr int BGLOAD_SCENE_PIECE = 1048576;  // bytes of a level scene read a call
// Callback status: queued, cancelled, taken by the loader; a handle that
// names no entry; a post to a full ring.
enum : int { BG_CB_QUEUED = -4, BG_CB_CANCELLED = -3, BG_CB_TAKEN = -2, BG_CB_GONE = -5, BG_CB_FULL = -1 };

using BGCallbackFn = void (*)(void* argument, int handle);
struct BGCallback {
  BGCallbackFn function;
  void* argument;
  int handle;
  int status;
};

extern int multithreaded;          // 0 with NOBGLOAD
extern int bgload_inhibit;         // 1 at start-up: no new jobs
extern int bgload_level_abort;     // abandon the level being loaded
extern int bgload_vbe_enabled;
extern LevConWorld* bgload_next_world;
extern LevConIsland* bgload_next_island;
extern LevConLevel* bgload_next_level;
extern void* bgload_next_conflict;
extern void (*bgload_next_gb_init)();
extern BGCallback bgload_ring[BGLOAD_RING];
extern int bgload_ring_write, bgload_ring_read, bgload_ring_count;
extern int bgload_load_sequence;
extern int levcon_frame_delay;     // nonzero: the loader does no work

void BGLoadInit();
void BGLoadClose();                // ends the thread (tests and the program's end)
void BGSuspendMain();
void BGLoadThread();               // one inline turn
int BGLoadInhibit(int inhibit, int wait);
void BGSetWorld(LevConWorld* world, int background);
void BGSetIsland(LevConIsland* island, int background);
void BGSetLevel(LevConLevel* level, int background);
void BGSetConflict(void* conflict, int background);
int BGLoadPending();
void BGLoadAbortPendingLevelLoad();
void BGLoadAbortAllRequests();
int BGLoadPostCallback(BGCallbackFn function, void* argument);
int BGLoadGetCallbackStatus(int handle);
int BGLoadCancelCallback(int handle);
void BGLoadLevel(LevConLevel* level, int background);
int BGLoadIsLoading(const LevConLevel* level);  // 1 while its job is under way
void BGLoadWorld(LevConWorld* world);
// A level's offer of room to a character-type set: the address of its
// sub-buffer's cursor and its end; 1 when loaded with a buffer.
int LevConCobMigrateReq(LevConLevel* level, EePtr<char>** cursor, char** end);

// ===================================================================
// Operation queue (lcop)
// ===================================================================
// Operations run on the main thread one at a time, each called every frame
// until it reports done (non-zero). Handles: sequence << 16 | slot; -1 none.

struct LcopOp;
using LcopFn = int (*)(LcopOp* op);
struct LcopOp {
  EePtr<int(LcopOp*)> callback;
  uint16_t sequence;         // 0 once done; 1 in a slot never used
  uint16_t spare;
  int32_t arg0;              // also a node's address
  int32_t arg1;
  int32_t arg2;
};
static_assert(sizeof(LcopOp) == 20 && offsetof(LcopOp, arg0) == 8);

constexpr int LCOP_RING = 128;
// lcopGetStatus: done, unused (or -1), queued, running.
enum : int { LCOP_DONE = 0, LCOP_UNUSED = 1, LCOP_QUEUED = 2, LCOP_RUNNING = 3 };

extern int lcoplog_enabled;
extern int levcon_curr_gbinitlevel;
extern int levcon_island_logic_disabled;
extern int gb_pre_process;

void LevConOpReset();
int LevConOpPost(const LcopOp* op);
void LevConOpProcess();
int lcopGetStatus(int handle);
int lcopQueued();
void lcopLevelDumped(LevConLevel* level);  // ends a preload of a dumped level
void lcopLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
LevConIsland* LevConIslandOf(const LevConInfo* node);  // first island ancestor

struct BuffyDesc;
void LevConLevelBufferNotify(BuffyDesc* d, int event, void* level);
void LevConFractalBufferNotify(BuffyDesc* d, int event, void* data);
void LevConDumpBufferNotify(BuffyDesc* d, int event, void* data);
void LevConBeginLevelLoad(LevConLevel* level, int holdHidden);
void LevConBeginWorldLoad(LevConWorld* world);
int LevConSetGBInitLevel(int level);
BuffyDesc* LevConFractalBuffer();

int lcopPostGBDumpBuffer(int16_t kind);
int lcopPostGBInitLevel(int16_t level);
int lcopPostGBGetFracBuff();
int lcopPostGBBuffer(int kind, int size);
int lcopPostGBTextures(int value);
int lcopPostGBSetFarRender(int value);
int lcopPostGBSetPlateRender(int value);
int lcopPostGBSetTileRender(int on, int nearclip);
int lcopPostGBPlanetMesh(int value);
int lcopPostGBProcessEnable(int value);
int lcopPostGBSetPlanetRender(int value);
int lcopPostGBPreProcess();
int lcopPostStopLogic(int mask);
int lcopPostSyncLogic(int mask);
int lcopPostPreLoadLevel(LevConLevel* level);
int lcopPostLoadLevel(LevConLevel* level);
int lcopPostActivateLevel(LevConLevel* level);
int lcopPostShowLevel(LevConLevel* level);
int lcopPostHideLevel(LevConLevel* level);
int lcopPostPreLoadIsland(LevConIsland* island);
int lcopPostActivateIsland(LevConIsland* island);
int lcopPostLoadIsland(LevConIsland* island);
int lcopPostDumpWorld();
int lcopPostLoadWorld(LevConWorld* world);

// ===================================================================
// Level controller per frame (levcon)
// ===================================================================

enum { LEVCON_EV_SHOW = 1, LEVCON_EV_HIDE, LEVCON_EV_PRELOAD, LEVCON_EV_ACTIVATE, LEVCON_EV_GBLEVEL };
constexpr int LEVCON_EVENTS = 8;
constexpr int LEVCON_RELEASE_SLOTS = 3;

// The logic nodes while a stop-logic operation suspends that depth.
#define LEVCON_LOGIC_STOPPED_WORLD reinterpret_cast<LevConWorld*>(intptr_t(-1))
#define LEVCON_LOGIC_STOPPED_ISLAND reinterpret_cast<LevConIsland*>(intptr_t(-1))
#define LEVCON_LOGIC_STOPPED_LEVEL reinterpret_cast<LevConLevel*>(intptr_t(-1))

extern LevConLevel* previous_level;
extern LevConWorld* logic_current_world;
extern LevConIsland* logic_current_island;
extern LevConLevel* logic_current_level;
extern LevConLevel* logic_preload_level;
extern LevConWorld *levcon_force_world, *levcon_world_override, *start_world;
extern LevConIsland *levcon_force_island, *levcon_island_override, *start_island;
extern LevConLevel *levcon_force_level, *levcon_level_override, *start_level;
extern int levcon_override_enabled;
extern int start_hold_world, start_hold_island, start_hold_level;
extern int levcon_edit;
extern int levcon_sky_visible, levcon_sea_visible;
extern int levcon_force_gblevel;
extern int current_plate;

extern ZEMTX* levcon_remap_mtx;

void LevConStreamInit();  // the streaming half of LevConSysInit
void LevConProcess();
void LevConSysClose();
int LevConScheduleEvent(int type, LevConLevel* level, int delay);
int LevConScheduleEventEx(int type, LevConLevel* level, int number, int delay);
int LevConEvalEvent(int type, const char* text);
int LevConEvalEvents(const char* text);
void LevConDumpLevel(LevConLevel* level);
void LevConDumpIsland();
void LevConDumpWorld();
void LevConSetHoldCounts(int islandFrames, int levelFrames);
void LevConSaveStartInfo();
void LevConRestoreStartInfo();
void LevConReset();
void LevConSetCurrentLevel(LevConLevel* level);
void LevConSetTerrain(LevConLevel* level);  // the level's collision current, or none
void LevConShowLevel(LevConLevel* level, int show);
void LevConShowLevelSet(LevConLevel* level);
int LevConIsCurrent(const char* name);  // 1 when the current level has that name (any case)
int LevConLevelShown(void* level);      // 1 when the level is loaded and visible
LevConWorld* LevConChooseWorld(LevConWorld* current);
LevConIsland* LevConChooseIsland(LevConIsland* current);
void LevConChooseLevel(LevConLevel* current, LevConLevel** chosen, LevConLevel** preload, LevConLevel** show);

// ===================================================================
// Level drawing and foreground load (levcon)
// ===================================================================

extern ZEVEC* levcon_campos;
extern int levcon_level_draw_enabled, levcon_extvis, draw_preload_levels, levconrender_currentlevelonly;
extern int16_t time_of_day_blend[2];  // cross-fade target and rate
extern float rotscale_override;
extern ZEVEC playerstartpos;
extern int playerstartang;
extern volatile int levcon_loading_fade;  // -1 "loading"; 0 or more: fields of fade left

void LevConInstallRenderHooks();
void LevConSetName(const char* name, int unused, int edit);
void LevConLoadAll(LevConWorld* world, LevConIsland* island, LevConLevel* level);
void LevConUpdateScenes();
void LevConRender(const ZEVEC* camera);
void LevConRenderWater();
float LevConEnvU();  // the environment map's U
