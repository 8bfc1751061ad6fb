// globular: the planet world's core: the frame tree, the cube plate grid,
// the planetary system, the asynchronous file reads and the planet state
// the renderer keeps.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ze3d.h"
#include "zecore.h"
#include "zemath.h"

// ===================================================================
// Planet-world state shared by the library (mainwlds)
// ===================================================================

// The library's init level: 0 nothing, 2 system built, 4 and 6 planet data
// loaded (odd levels are transitional).
extern int init_level;
extern int next_init_level;

// Render-plane indices, 0-16 in this order at start.
extern int gb_renderplane_level, gb_renderplane_space, gb_renderplane_otplanet1, gb_renderplane_otplanet2,
    gb_renderplane_otplanet3, gb_renderplane_otplanet4, gb_renderplane_otplanet5, gb_renderplane_otplanet6,
    gb_renderplane_water, gb_renderplane_sea, gb_renderplane_sky, gb_renderplane_planet, gb_renderplane_fractal,
    gb_renderplane_planetlevel, gb_renderplane_atmos, gb_renderplane_spacelevel, gb_renderplane_instrumentation;

// The pending day phase (0 up to 1) and day length (minutes) from the
// "TOD" start-up option; 0 when none.
extern float gb_time;
extern float gb_time_step;

// ===================================================================
// Frames (frame)
// ===================================================================
// A tree of rigid coordinate frames; a point p in a frame is p * mtx in its
// parent's frame. All frames come from one pool of 156 carved from the
// caller's buffer; the root is the first.

struct alignas(16) FRAME {
  EePtr<FRAME> parent;  // null for the root and detached frames
  EePtr<FRAME> child;   // first child
  EePtr<FRAME> next;    // next sibling
  EePtr<FRAME> prev;    // previous sibling; null for the first child
  ZEMTX mtx;            // local to parent, rigid
};
static_assert(sizeof(FRAME) == 80 && offsetof(FRAME, mtx) == 16);

constexpr int FRAME_POOL = 156;
constexpr int FRAME_MAXDEPTH = 15;  // frames in a chain up to the root, itself included

void FrameInit(char** position, char* end);
void FrameClose();
FRAME* FrameGetRoot();
FRAME* FrameCreate(FRAME* parent);  // null parent: under the root; a full pool is fatal
void FrameDestroy(FRAME* frame);
void FrameAttach(FRAME* frame, FRAME* parent);  // as the parent's first child
void FrameDetach(FRAME* frame);
FRAME* FrameFindCommonParent(FRAME* a, FRAME* b);
void FrameXfm(FRAME* target, FRAME* source, ZEMTX* out);
void FrameRemapMtx(FRAME* target, ZEMTX* out, FRAME* source, const ZEMTX* in);
void FrameRemapPos(FRAME* target, ZEVEC* out, FRAME* source, const ZEVEC* in);
void FrameRemapDir(FRAME* target, ZEVEC* out, FRAME* source, const ZEVEC* in);

// ===================================================================
// Cube plate grid (frcube)
// ===================================================================
// "bin\cube.bin", little-endian, used in place (offsets from the file's
// start become addresses at load):
//   header (24): u32 points, u32 point offset, u32 pairs, u32 pair offset,
//     u32 levels, u32 level-table offset
//   level table: levels x FRCUBELEVEL; level L holds 6 x 4^L plates
//   points: ZEVEC on the unit sphere; pairs: float u, v
//   plates: FRCUBEPLATE per plate of a level, in plate order; child k of
//     plate p is plate 4p + k of the next level, the quarter holding corner k

struct FRCUBEPLATE {
  uint16_t point[4];      // corners counter-clockwise seen from outside
  uint16_t uv[4];         // texture-coordinate pairs of the corners
  ZEVEC centre;           // unit direction through the middle of the plate
  float cone;             // cosine of the half-angle of a cone holding the plate
  ZEVEC4 plane;           // outward plane of the corners: normal . p + d = 0
  uint16_t neighbour[4];  // plates of the same level; see docs/globular.md
};
static_assert(sizeof(FRCUBEPLATE) == 56 && offsetof(FRCUBEPLATE, centre) == 16 &&
              offsetof(FRCUBEPLATE, cone) == 28 && offsetof(FRCUBEPLATE, plane) == 32 &&
              offsetof(FRCUBEPLATE, neighbour) == 48);

struct FRCUBELEVEL {
  uint32_t unused0;
  uint32_t count;  // 6 x 4^L
  uint32_t unused8;
  EePtr<FRCUBEPLATE> plates;  // an offset in the file
};
static_assert(sizeof(FRCUBELEVEL) == 16 && offsetof(FRCUBELEVEL, plates) == 12);

struct FRCUBE {
  uint32_t npoints;
  EePtr<ZEVEC> points;
  uint32_t npairs;
  EePtr<float> uvs;
  uint32_t nlevels;
  EePtr<FRCUBELEVEL> levels;
};
static_assert(sizeof(FRCUBE) == 24 && offsetof(FRCUBE, nlevels) == 16);

constexpr int FRCUBE_MAXLEVELS = 7;  // plate indices are 16 bits: 6 x 4^6 is the last level that fits
constexpr int FRCUBE_LISTNODES = 128;
constexpr float FRCUBE_HORIZON_FLOOR = 2048.0f;  // angle units
constexpr float FRCUBE_CONE_SCALE = 1.0f;
constexpr int FRCUBE_PLATES = 1536;   // plates of level 4
constexpr int FRSURF_NDXTAB = 2048;

// Plate references of the resident set (negative: outside the visibility
// set) and the texture index table (0xffff: no texture data); cleared here,
// filled by the plate and surface modules.
extern int plate_ref[FRCUBE_PLATES];
extern uint16_t ndx_tab[FRSURF_NDXTAB];

// The working values of one plate location; each call keeps its own.
struct FRCUBESEARCH {
  ZEVEC dir;
  int depth;
  int best;
  float bestdot;
};

void FrCubeInit(char** position, char* end);
void FrCubeClose();
int FrCubeGetNumLevels();  // 0 when closed
int FrCubeGetNumFaces(int level);
void FrCubeGetPoints(int plate, int level, ZEVEC* p0, ZEVEC* p1, ZEVEC* p2, ZEVEC* p3);
void FrCubeGetUVs(int plate, int level, float* uv0, float* uv1, float* uv2, float* uv3);
const ZEVEC* FrCubeGetMidpoint(int plate, int level);  // the cone cosine follows it
void FrCubeGetNeighbours(int plate, int level, int* out);
void FrCubeInitFrame(FRAME* frame, int plate, int level, float radius);
// The frame standing on a plate from its corners 0-2 (unit directions).
void FrCubeFrameMatrix(const ZEVEC* c0, const ZEVEC* c1, const ZEVEC* c2, float radius, ZEMTX* out);
int FrCubeOverPlate(const ZEVEC* point, int plate, int level);
int FrCubeLocatePlateAccurate(const ZEVEC* point, int depth);
int FrCubeLocate(const ZEVEC* point, int depth);
int FrCubeLocatePlate(const ZEVEC* point, int depth);
void FrCubeGetVisiblePlates(int* out, int depth, int* count, int capacity, const ZEVEC* position, int flag,
                            float radius);
void FrCubeAddVisiblePlate(int plate, float key);
void FrCubeLocatePlateRecurse(FRCUBESEARCH* search, int first, int level);
void FrCubeGetVisiblePlatesRecurse(int first, int level);

// ===================================================================
// Planet system (planetsys)
// ===================================================================
// "bin\system.gb3", little-endian, loaded 16-aligned and fixed up in place;
// every link is a signed offset from its own field (0 null):
//   0: u32 version 0x00010001; 4: 12 bytes unread; 16: PLANETSYS
//   PLANETSYS: mesh image, a second link, six material slots, count 1-6,
//     count links to PLANET records
//   mesh image: at +12 the first geometry node; a node: +0 next node, +4
//     material slot, +8 first primitive block; a block (16-aligned): +4 next
//   PLANET: as below; texture links lead to native texture images

struct PLANET {
  char name[32];          // zero-terminated
  ZEVEC position;         // system space
  uint32_t unread[3];
  float daylength;        // minutes
  float height;           // terrain range above the radius
  float radius;
  float seafraction;      // the sea lies at radius + height x this
  int32_t platedepth;     // cube grid level of the plates, 0-4
  int32_t texture[6];     // links to native images; texture ids after load
  EePtr<ZEMTL> nomtl;     // entry 0 of the forced-material table: null
  EePtr<ZEMTL> mtl[6];    // face materials, entries 1-6
  EePtr<FRAME> frame;
  float dayphase;         // 0 up to 1
  float orbit;            // fraction of a turn about the system centre
};
static_assert(sizeof(PLANET) == 140 && offsetof(PLANET, position) == 32 && offsetof(PLANET, daylength) == 56 &&
              offsetof(PLANET, platedepth) == 72 && offsetof(PLANET, texture) == 76 &&
              offsetof(PLANET, nomtl) == 100 && offsetof(PLANET, mtl) == 104 && offsetof(PLANET, frame) == 128 &&
              offsetof(PLANET, dayphase) == 132 && offsetof(PLANET, orbit) == 136);

struct PLANETSYS {
  int32_t mesh;           // link to the planet mesh geometry image
  int32_t other;          // link, relocated and not read
  EePtr<ZEMTL> mtl[6];    // the placeholder materials
  int32_t count;          // 1-6
  int32_t planet[1];      // count links to PLANET records
};
static_assert(offsetof(PLANETSYS, mtl) == 8 && offsetof(PLANETSYS, count) == 32 &&
              offsetof(PLANETSYS, planet) == 36);

// The parts of the mesh image the loader touches.
struct PLANETMESHNODE {
  int32_t next;           // link to the next node
  EePtr<ZEMTL> mtl;
  int32_t blocks;         // link to the first primitive block
};
static_assert(sizeof(PLANETMESHNODE) == 12);

constexpr uint32_t PLANETSYS_VERSION = 0x00010001;
constexpr int PLANETSYS_MAXPLANETS = 6;
constexpr int PLANETSYS_PATH = 64;
constexpr int PLANETSYS_MESHNODES = 6;

extern char g_planet_path[PLANETSYS_PATH];

int PlanetSysInit(char** position, char* end);
void PlanetSysLoadData(char** position, char* end);
void PlanetSysClose();
void PlanetSysDestroy();
void PlanetSysReset();
void PlanetSysProcess();
void PlanetSysSetNearest(FRAME* frame, const ZEVEC* position);
void PlanetSysSetByName(const char* name);
PLANET* PlanetSysGetByName(const char* name);
void PlanetSysSetData(const char* name, const char* path, void* data);
void* PlanetSysGetData();
// The loaded system: its root record, planets and count (null, 0 when none).
PLANETSYS* PlanetSysGetRoot();
int PlanetSysGetCount();
PLANET* PlanetSysGetPlanet(int index);
PLANET* PlanetSysGetNearest();

// ===================================================================
// Planet state of the renderer (frplanet)
// ===================================================================

extern PLANET* g_current_planet;
extern FRAME* gfr_frm;
extern int gfr_pltdepth;
extern float wld_fade;      // 0 to 0.99 in use; 1.0 after init
extern float wld_fadestep;  // per frame
extern int wld_wait;        // counted down each frame; set when the world mesh draws
extern void* g_planet_mesh;       // the loaded world mesh of the current planet (null: none)

void FrPlanetCreate(PLANET* planet);
void FrPlanetDestroy(PLANET* planet);
void FrPlanetSetNextPlanet(PLANET* planet);
void FrPlanetSetWldFade(float step);
void FrPlanetUpdate();
int FrPlanetGetCount();  // planets created less planets destroyed

// ===================================================================
// Asynchronous file reads (frsurf)
// ===================================================================
// Reads queued by priority (0 first, FIFO within one) and handed one at a
// time to the background loader's planet-data slot. A request's done byte
// holds its pool index while queued and 255 once read or cancelled.

struct ASYNCFILEREQ {
  EePtr<ASYNCFILEREQ> next, prev;  // list node header
  EePtr<ZELIST> list;              // its priority list; null once taken off
  ZEFILE file;
  int position;
  int size;
  EePtr<void> buffer;
  EePtr<uint8_t> done;
};
static_assert(sizeof(ASYNCFILEREQ) == 32 && offsetof(ASYNCFILEREQ, file) == 12);

constexpr int ASYNCFILE_POOL = 128;
constexpr int ASYNCFILE_PRIORITIES = 8;
constexpr uint8_t ASYNCFILE_DONE = 255;

extern int asyncfileload;  // 0: every read is done at once on the caller's thread
extern int asyncfile_lastrate, asyncfile_maxrate, asyncfile_avgrate;  // bytes per frame

// Carves the request pool from the caller's buffer and empties the lists
// (the surface module's initialisation does this first).
void AsyncFileInit(char** position, char* end);
void AsyncFileRead(ZEFILE file, int position, void* buffer, int size, uint8_t* done, int priority);
void AsyncFileProcess();
void AsyncFileProcessAll();
int AsyncFilePending();
// Cancels the queued request named by a done byte; 0 when it is in flight
// (the caller waits for 255) or the byte names none.
int AsyncFileCancel(uint8_t* done);
// The loader thread's half: performs the request it took from the slot.
// A short read is fatal, naming the file, position and counts.
void AsyncFileServe(ASYNCFILEREQ* request);

// ===================================================================
// Background loader slots (program flow's loader; stand-in here)
// ===================================================================

extern int bgload_pending;                       // the loader is working on a request
extern EePtr<ASYNCFILEREQ> bgload_next_gb_data;  // the planet-data slot: null or a request
// One turn of the loader's planet-data work: takes the slot and serves it.
void BGLoadServeGbData();

// ===================================================================
// Loader-thread callbacks (the game's loader; a weak stand-in in bgload)
// ===================================================================
// A ring of 32 functions to run once on the loader thread. Post gives the
// entry's handle, or -1 when the ring is full; cancel gives -5 for a handle
// that names no queued entry.

using BGLOADFN = void (*)(void* argument, int handle);  // as the game's loader calls it
constexpr int BGLOAD_CALLBACKS = 32;
int BGLoadPostCallback(BGLOADFN function, void* argument);
int BGLoadCancelCallback(int handle);
void BGLoadServeCallbacks();  // the loader's turn: runs every queued callback

// ===================================================================
// Plates (frplate) and levels on plates (mainlev)
// ===================================================================

struct FRSURFTEX;

// A level registered on a plate (32 in the plate module's pool).
struct FRLEVEL {
  EePtr<FRLEVEL> next, prev;
  int32_t plate;     // plate id; + 4096 for an atmosphere level; -1 for a space level
  EePtr<FRAME> frame;
  float radius2;     // capture radius squared (0 for transient levels)
  EePtr<void> data;  // the caller's level data
};
static_assert(sizeof(FRLEVEL) == 24 && offsetof(FRLEVEL, radius2) == 16);

// One entry of a plate's tree table: a tile's tree positions and count.
struct FRTREEDATA {
  EePtr<float> positions;  // x, y, z per tree in the plate's frame
  int32_t count;
};
static_assert(sizeof(FRTREEDATA) == 8);

constexpr int FRPLATE_POOL = 128;
constexpr int FRLEVEL_POOL = 32;
constexpr int FRPLATE_TILES = 64;
constexpr int FRPLATE_RECORD = 464;        // heights.gb3 record
constexpr int FRPLATE_PATCHRECORD = 1244;  // patches.gb3 record: ZEFPATCH and three height planes

// Plate flags.
constexpr uint8_t FRPLATE_SHOWN = 0x01;     // the plate's piece of the world mesh is shown
constexpr uint8_t FRPLATE_RESIDENT = 0x02;  // in the resident set
constexpr uint8_t FRPLATE_SLOWFADE = 0x04;
// Surface state kept by the surface module.
constexpr uint8_t FRSURF_BOUNDS = 0x01;   // bounds computed
constexpr uint8_t FRSURF_PATCH = 0x02;    // patch data ready
constexpr uint8_t FRSURF_NOSLOT = 0x04;   // within the far fade but ranked too far back for a patch block
constexpr uint8_t FRSURF_INRANGE = 0x08;  // plate image in range
constexpr uint8_t FRSURF_TILES = 0x10;    // tiles active
constexpr uint8_t FRSURF_BEYOND = 0x20;   // beyond the near fade
// Pass use counts.
enum { FRPASS_FAR = 0, FRPASS_PLATE = 1, FRPASS_TILE = 2 };

struct alignas(16) FRPLATE {
  EePtr<FRPLATE> next, prev;
  uint16_t id;
  uint16_t refs;         // one per registered level, one while in the resident set
  EePtr<FRAME> frame;    // under the planet's frame, standing on the plate
  EePtr<FRLEVEL> level;
  uint8_t rank;          // index in plate_array
  uint8_t flags;         // FRPLATE_*
  uint8_t surf;          // FRSURF_*
  uint8_t use[3];        // pass use counts (far, near plate, tile): 3 when drawn, counted down
  uint8_t req[2];        // the patch block's read; a second never issued
  int32_t refresh;       // frame of the last tile refresh
  ZEVEC viewer;          // the camera in the plate's frame
  ZEVEC centre;          // the planet centre in the plate's frame
  ZEVEC bcentre, bmin, bmax;
  float radius;          // of the bounds
  float fade;
  float dist2;
  EePtr<FRSURFTEX> texture;
  EePtr<FRSURFTEX> tiles[FRPLATE_TILES];
  EePtr<uint8_t> patch;  // patch block (ZEFPATCH first)
  EePtr<float> heights;  // its height table
  EePtr<FRTREEDATA> trees;
};

extern FRPLATE* plate_array[FRPLATE_POOL];
extern int plate_array_size;
extern float* gplt_data;  // heights.gb3 of the current planet (null: not loaded)
extern int pltix_rndr, pltix_dontrndr, tileix_rndr, plttile_rndr;
extern float plate_clock;
// The camera of the plate and level updates: its frame and matrix.
extern FRAME* g_cam_frm;
extern ZEMTX g_cam_mtx;

void FrPlateInit(char** position, char* end);
void FrPlateClose();
void FrPlateLoadPatchData(char** position, char* end);
void FrPlateFreePatchData();
FRPLATE* FrPlateFind(int id, int create);
FRPLATE* FrPlateSearch(int id);
FRPLATE* FrPlateAlloc(int id);
int FrPlateFree(FRPLATE* plate);
void FrPlateReset();
void FrPlateUpdate(int full);
void FrPlateApplyPVS(const int* ids, int count);
void FrPlateGetUpVec(FRPLATE* plate, const ZEVEC* position, ZEVEC* out);
void FrPlateEnablePoly(FRPLATE* plate, int flag);
FRLEVEL* FrLevelAlloc();
void FrLevelFree(FRLEVEL* level);
void FrPlateRenderPostFx1();
void FrPlateRenderPostFx2();
void FrPlateInfo();
// The resident list (head first) and its count; the level list and its count.
FRPLATE* FrPlateFirst();
int FrPlateCount();
FRLEVEL* FrLevelFirst();
int FrLevelCount();

// Levels on plates.
extern float gb_lev_alt, gb_lev_time;
extern int gb_lev_inatmos;
extern ZEVEC gb_lev_pos, gb_lev_up, gb_lev_sun, gb_lev_cntr;
extern ZEMTX* GBSpecialCameraMtx;
// Program flow's switches read by GBLevUpdateFrame: the editor mode and the
// level controller's island logic being off.
extern int gblev_editmode, gblev_island_logic_disabled;

void GBLevInit();
void GBLevClose();
int GBLevRegisterLevel(int plate, const ZEVEC* offset, int align, void* data, float radius);
int GBLevReleaseLevel(int plate);
void GBLevRegisterWorld(const char* name, const char* path, void* data);
void GBLevSetCurrentWorld(const char* name);
void* GBLevGetCurrentWorld();
PLANET* GBLevGetPlanetByName(const char* name);
void GBLevSetCurrentLevel(int plate);
void* GBLevGetCurrentLevel();
ZEMTX* GBLevGetLevelMatrix(int plate);
ZEMTX* GBLevGetRemapMtx();
void GBLevUpdateFrame(const ZEVEC* position);
int GBLevGetWorldOrigin(ZEVEC* out, int plate);
int GBLevGetWorldPos(ZEVEC* out, const ZEVEC* position);
int GBLevGetWorldPosEx(ZEVEC* out, int plate, const ZEVEC* position);
int GBLevGetSolarMtx(ZEMTX* out);
void GBLevGetPlanetCenter(ZEVEC* out);
void GBLevGetPlanetPos(PLANET* planet, ZEVEC* out);
void GBLevGetPlanetPosByName(const char* name, ZEVEC* out);
void GBLevGetSunPos(ZEVEC* out);
void GBLevGetSunPosEx(ZEVEC* out, float offset);
void GBLevGetSunPos2(ZEVEC* out, float phase);
void GBLevGetSunDir2(ZEVEC* out, float phase);
float GBLevGetTime(const ZEVEC* position);
float GBLevGetTimeEx(const ZEVEC* position, float offset);
void GBLevSetTime(float time, const ZEVEC* position);
int GBLevShadowCast(ZEVEC* point, float* distance, const ZEVEC* position, int* cache, ZEVEC* normal);
int GBLevVecFromPlate(ZEVEC* out, const ZEVEC* in, int plate);
int GBLevVecToPlate(ZEVEC* out, const ZEVEC* in, int plate);
int GBLevMtxFromPlate(ZEMTX* out, const ZEMTX* in, int plate);
int GBLevMtxToPlate(const ZEMTX* in, ZEMTX* out, int plate);
FRLEVEL* GBLevGetCurrent();  // the current level's record (null: none)

// Resident plates of the planet renderer (frplanet).
extern int gpltid[FRPLATE_POOL];
extern FRPLATE* gpltptr[FRPLATE_POOL];
extern int gpltcnt;
constexpr int FRPLANET_VISIBLE = 48;  // plates asked of the visible-plate search
void FrPlanetUpdatePlates(FRAME* frame, const ZEVEC* position);
void FrPlanetUpdatePlatesBG(void* unused, int handle);
void FrPlanetClose();
int FrPlanetGetPlate(FRAME* frame, const ZEVEC* position);
int FrPlanetEnablePlate(int plate, int enable);

// ===================================================================
// Surface texture streaming (frsurf) and its images (frsurftex)
// ===================================================================
// Eight texture classes: 0-2 the plate's own image in three sizes (in the
// plate's patch block), 3-5 the images of its 8 x 8 tiles, 6-7 never
// loaded. Files "bin\<planet path>\tex%.3d.gb3" and texndx.gb3; grammar in
// docs/globular.md.

constexpr int FRSURF_CLASSES = 8;
constexpr int FRSURF_NODES = 2048;
constexpr int FRSURF_RECORDS = 2048;
constexpr int FRSURF_PATCHBLOCK = 43008;  // the patch block's read (41,472 bytes used)
constexpr int FRSURF_BLOCKHEADER = 128;
constexpr int FRSURF_NOINDEX = 0xffff;
constexpr int FRSURF_DEFAULT = 2047;      // ndx_tab entry used for plates without their own
constexpr uint16_t FRSURF_NOTILES = 0x8000;
// Patch block layout.
constexpr int FRSURF_HEIGHTS = 272;
constexpr int FRSURF_TREES = 1248;
constexpr int FRSURF_POSITIONS = 1760;
constexpr int FRSURF_POSITIONBYTES = 15904;
constexpr int FRSURF_IMAGE0 = 17664, FRSURF_IMAGE1 = 20224, FRSURF_IMAGE2 = 24704;
constexpr int FRSURF_TILEPASS_LOW = 3, FRSURF_TILEPASS_HIGH = 5;

struct FRSURFCLASS {
  int resolution;   // the file's number
  int width;        // texels a side
  int bits;         // per texel
  int image;        // image bytes
  int tpps, tpbs;   // tiles per plate side, per block side
  int pool;         // blocks in the pool
  // Derived by FrSurfaceInit.
  int tpp, tpb, bpps, bpp, block, stride;
  int bufw, level, levelblocks, lower, lowerblocks;  // GS layout of one level
};
extern FRSURFCLASS frsurf_class[FRSURF_CLASSES];
extern float frsurf_dist[8];  // d(i) = 2^((i + 15.625) / 2)
extern float frsurf_ideal[8], frsurf_far[8], frsurf_near[8];  // A, B, C

// A streamed block: this header in the first 128 bytes of its pool element.
struct FRSURFBLOCK {
  EePtr<FRSURFBLOCK> next, prev;
  uint16_t id;     // plate id x blocks per plate + block row x blocks per plate side + block column
  uint16_t refs;   // users; the two-frame countdown once released
  uint16_t cls;
  uint8_t req;     // the read's request index, 255 when the data is present
  uint8_t released;
};

// One image used by one texture record.
struct FRSURFNODE {
  EePtr<FRSURFNODE> next, prev;
  EePtr<FRSURFBLOCK> block;  // null for images inside the plate's patch block
  uint16_t cls;
  uint16_t countdown;
  EePtr<uint8_t> image;
  uint16_t paloff, texoff;   // cached by the texture builder (0 until computed)
};
static_assert(sizeof(FRSURFNODE) == 24);

constexpr uint8_t FRSURFTEX_REBUILD = 0x01;    // colour texture needs rebuilding
constexpr uint8_t FRSURFTEX_REBUILDHD = 0x02;  // high-detail texture needs rebuilding
constexpr uint8_t FRSURFTEX_LOWEST = 0x04;     // at the lowest class

struct FRSURFTEX {
  EePtr<ZEMTL> mtl;     // colour material (null until the colour texture is built)
  EePtr<ZEMTL> detail;  // detail material
  int16_t tid;          // colour texture
  int16_t hdtid;        // high-detail texture
  uint8_t flags;        // FRSURFTEX_*
  uint8_t pad[3];
  uint32_t key;         // plate id, tile row << 16, column << 24
  ZELIST chain;         // FRSURFNODE, finest class first
  ZEVEC centre;
  float radius;
};

extern int frsurf_hidetail;       // tile images on (fixed at FrSurfaceInit)
extern int frsurf_rebuild_all;
extern int frsurf_frame;          // frame count stamped on tile refreshes
extern int tex_info;
extern int frsurf_deferred, frsurf_patch_allocs, frsurf_patch_frees, frsurf_misaligned;
extern float tile_nearfade, tile_farfade, tile_nearclip;
extern float plate_nearfade, plate_farfade, plate_nearclip;
extern float far_nearfade, far_farfade, far_nearclip;
extern ZETEXID noise_tid;
extern ZEMTL* frsurf_mtl[FRSURF_CLASSES];  // class materials; slot 7 becomes the noise material

uint32_t FrSurfaceKey(int plate, int row, int column);
void FrSurfaceInit(char** position, char* end, int hidetail);
void FrSurfaceOpenFiles(const char* root);
void FrSurfaceUpdate();
int FrSurfaceClose();
void FrSurfaceCloseFiles();
void FrSurfaceInfo();
int FrSurfaceInitPlateData(FRPLATE* plate);
int FrSurfaceInitPatchData(FRPLATE* plate);
void FrSurfaceLoadPatchData(FRPLATE* plate);
int FrSurfaceDestroyPatchData(FRPLATE* plate);
int FrSurfaceDestroyPlateTextures(FRPLATE* plate);
int FrSurfaceDestroyTileTextures(FRPLATE* plate);
FRSURFBLOCK* FrSurfaceGetBlock(uint32_t key, int cls);
FRSURFNODE* FrSurfaceGetTexNode(uint32_t key, int cls);
void FrSurfaceReleaseTexNode(FRSURFNODE* node);
void FrSurfaceProcessReleased();
void FrSurfaceUpdateTexture(FRSURFTEX* record, uint32_t key, int lowest, int highest, const ZEVEC* viewer);
void FrSurfaceCreatePlateTexture(FRPLATE* plate);
void FrSurfaceCreateTileTextures(FRPLATE* plate);
// Counts for tests and the overlay: blocks free in a class pool, nodes and
// records in use, released nodes and blocks waiting.
int FrSurfaceFreeBlocks(int cls);
int FrSurfaceIsInit();
void FrSurfaceAbandon();  // forgets everything (after a fatal error part way)
int FrSurfaceNodesUsed();
int FrSurfaceRecordsUsed();
int FrSurfaceReleasedNodes();
int FrSurfaceReleasedBlocks();
ZEFILE FrSurfaceFile(int cls);

// Images (frsurftex).
void FrSurfaceInitClassMaterials();
void FrSurfaceDestroyClassMaterials();
void FrSurfaceInitColourTexture(FRSURFTEX* record);
void FrSurfaceUpdateColourTexture(FRSURFTEX* record);
int FrSurfaceLoadNoise(char** position, char* end);
void FrSurfaceFreeNoise();
int FrSurfacePreRender(const FRSURFTEX* record);
