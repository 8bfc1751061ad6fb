// Plates: the resident plate records of the current planet with their
// frames, fades, distances and ranks, the level records, the visibility
// list and the plate geometry table (heights.gb3, rebuilt from patches.gb3
// when missing).
#include "globular.h"

#include <cstdio>
#include <cstring>

FRPLATE* plate_array[FRPLATE_POOL];
int plate_array_size = 0;
float* gplt_data = nullptr;
int pltix_rndr = -1, pltix_dontrndr = -1, tileix_rndr = -1, plttile_rndr = 0;
float plate_clock = 0.0f;

namespace {

int plate_init = 0;
ZEMEMBLK* plate_pool = nullptr;
ZEMEMBLK* glev_mem = nullptr;
ZELIST plate_list;
int plate_count = 0;
ZELIST glev_sys;
int glev_count = 0;
int plate_seen = 0;  // resident plates seen by the last update

constexpr uint32_t REF_HIDDEN = 0x80000000u;
constexpr uint32_t REF_MASK = 0x7fffffffu;

char* Align(char* p, uintptr_t a) {
  return reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(p) + a - 1) & ~(a - 1));
}

// Plate ids index a table of 1,536 words: one past it is refused before use.
void CheckId(int id, const char* who) {
  if (id < 0 || id >= FRCUBE_PLATES) ZeError("%s: plate %d out of range", who, id);
}

uint32_t& Ref(int id) { return reinterpret_cast<uint32_t&>(plate_ref[id]); }

FRPLATE* RefPlate(int id) {
  uint32_t r = Ref(id) & REF_MASK;
  return r ? static_cast<FRPLATE*>(EeAddrToPtr(r)) : nullptr;
}

void SetShown(FRPLATE* p, int show) {
  if (show == !!(p->flags & FRPLATE_SHOWN)) return;
  if (FrPlanetEnablePlate(p->id, show)) p->flags = uint8_t(show ? p->flags | FRPLATE_SHOWN : p->flags & ~FRPLATE_SHOWN);
}

void Derive(const uint8_t* patch, float* out) {
  // Base points with each w replaced by its corner's seed, displacement
  // vectors, plane 0 of the heights, 12 zero bytes.
  memcpy(out, patch + 64, 64);
  for (int k = 0; k < 4; k++) memcpy(&out[4 * k + 3], patch + 128 + 16 * k + 12, 4);
  memcpy(out + 16, patch + 192, 64);
  memcpy(out + 32, patch + 272, 324);
  memset(out + 113, 0, 12);
}

}  // namespace

FRPLATE* FrPlateFirst() { return static_cast<FRPLATE*>(ZeListGetHead(&plate_list)); }
int FrPlateCount() { return plate_count; }
FRLEVEL* FrLevelFirst() { return static_cast<FRLEVEL*>(ZeListGetHead(&glev_sys)); }
int FrLevelCount() { return glev_count; }

void FrPlateInit(char** position, char* end) {
  ZEASSERT(!plate_init);
  char* pos = Align(*position, 4);
  int lsize = ZeMemBlkSize(sizeof(FRLEVEL), FRLEVEL_POOL, 3);
  ZEASSERT(pos + lsize < end);
  glev_mem = ZeMemBlkCreateEx(sizeof(FRLEVEL), FRLEVEL_POOL, 3, pos);
  pos = Align(pos + lsize, 16);
  int psize = ZeMemBlkSize(sizeof(FRPLATE), FRPLATE_POOL, 15);
  ZEASSERT(pos + psize < end);
  plate_pool = ZeMemBlkCreateEx(sizeof(FRPLATE), FRPLATE_POOL, 15, pos);
  *position = pos + psize;
  plate_list = ZELIST{};
  glev_sys = ZELIST{};
  plate_count = glev_count = 0;
  memset(plate_ref, 0, sizeof plate_ref);
  plate_clock = 0.0f;
  plate_array_size = 0;
  plate_seen = 0;
  plate_init = 1;
}

void FrPlateClose() {
  ZEASSERT(plate_init);
  plate_pool = nullptr;
  glev_mem = nullptr;
  plate_list = ZELIST{};
  glev_sys = ZELIST{};
  plate_count = glev_count = 0;
  plate_array_size = 0;
  plate_init = 0;
}

void FrPlateLoadPatchData(char** position, char* end) {
  ZEASSERT(plate_init);
  if (gplt_data) return;
  ZEDAT* previous = ZeDatSet(nullptr);
  int n = FrCubeGetNumFaces(gfr_pltdepth);
  int size = n * FRPLATE_RECORD;
  char* pos = Align(*position, 16);
  ZEASSERT(pos + size < end);
  *position = pos + size;
  char name[128];
  snprintf(name, sizeof name, "bin\\%s\\heights.gb3", g_planet_path);
  if (ZeFileLoadBuffer(name, pos, size) == size) {
    gplt_data = reinterpret_cast<float*>(pos);
    ZeDatSet(previous);
    return;
  }
  char pname[128];
  snprintf(pname, sizeof pname, "bin\\%s\\patches.gb3", g_planet_path);
  ZEFILE f = ZeFileOpen(pname, 0);
  if (!f) {
    // Without either file there is no geometry: an unfilled table would be
    // drawn as plates.
    ZeDebugMsg("FrPlateLoadPatchData: neither %s nor %s\n", name, pname);
    ZeDatSet(previous);
    return;
  }
  ZeDebugMsg("There will now be a short pause, sorry for any inconvenience this may cause\n");
  uint8_t* record = reinterpret_cast<uint8_t*>(Align(pos + size, 16));
  ZEASSERT(reinterpret_cast<char*>(record) + FRPLATE_PATCHRECORD <= end);  // room for one patch record
  for (int i = 0; i < n; i++) {
    ZEASSERT(ZeFileRead(f, record, FRPLATE_PATCHRECORD) == FRPLATE_PATCHRECORD);
    Derive(record, reinterpret_cast<float*>(pos + i * FRPLATE_RECORD));
  }
  ZeFileClose(f);
  ZEFILE out = ZeFileOpen(name, 1);
  if (out) {
    if (ZeFileWrite(out, pos, size) != size) ZeDebugMsg("FrPlateLoadPatchData: short write of %s\n", name);
    ZeFileClose(out);
  } else {
    ZeDebugMsg("FrPlateLoadPatchData: cannot create %s\n", name);
  }
  gplt_data = reinterpret_cast<float*>(pos);
  ZeDatSet(previous);
}

void FrPlateFreePatchData() {
  ZEASSERT(plate_init);
  gplt_data = nullptr;
}

FRPLATE* FrPlateSearch(int id) {
  ZEASSERT(plate_init);
  for (FRPLATE* p = FrPlateFirst(); p; p = p->next)
    if (p->id == id) return p;
  return nullptr;
}

FRPLATE* FrPlateFind(int id, int create) {
  ZEASSERT(plate_init);
  CheckId(id, "FrPlateFind");
  if (FRPLATE* p = RefPlate(id)) return p;
  return create ? FrPlateAlloc(id) : nullptr;
}

FRPLATE* FrPlateAlloc(int id) {
  ZEASSERT(plate_init);
  CheckId(id, "FrPlateAlloc");
  ZEASSERT(!RefPlate(id));
  auto* p = static_cast<FRPLATE*>(ZeMemBlkAlloc(plate_pool));
  if (!p) return nullptr;
  memset(static_cast<void*>(p), 0, sizeof *p);
  p->req[0] = p->req[1] = ASYNCFILE_DONE;
  ZeListAppend(&plate_list, p);
  plate_count++;
  p->id = uint16_t(id);
  p->refs = 0;
  p->frame = FrameCreate(gfr_frm);
  FrCubeInitFrame(p->frame, id, gfr_pltdepth, g_current_planet ? g_current_planet->radius : 0.0f);
  ZEVEC zero{0, 0, 0};
  FrameRemapPos(p->frame, &p->centre, gfr_frm, &zero);
  p->flags = FRPLATE_SHOWN | FRPLATE_RESIDENT;
  p->fade = asyncfileload ? 0.0f : 1.0f;
  Ref(id) = (Ref(id) & REF_HIDDEN) | (EeAddrOf(p) & REF_MASK);
  return p;
}

int FrPlateFree(FRPLATE* p) {
  ZEASSERT(plate_init);
  ZEASSERT(p->refs == 0 && RefPlate(p->id) == p);
  if (!FrSurfaceDestroyPatchData(p)) return 0;
  FrSurfaceDestroyPlateTextures(p);
  FrSurfaceDestroyTileTextures(p);
  if (!(p->flags & FRPLATE_SHOWN) && FrPlanetEnablePlate(p->id, 1)) p->flags |= FRPLATE_SHOWN;
  FrameDestroy(p->frame);
  p->frame = nullptr;
  Ref(p->id) &= REF_HIDDEN;
  ZeListRemove(&plate_list, p);
  ZeMemBlkFree(plate_pool, p);
  plate_count--;
  return 1;
}

void FrPlateReset() {
  ZEASSERT(plate_init);
  plate_array_size = 0;
  FRPLATE* p = FrPlateFirst();
  while (p) {
    FRPLATE* next = p->next;
    ZEASSERT(!p->use[0] && !p->use[1] && !p->use[2] && !p->refs);
    FrPlateFree(p);
    p = next;
  }
}

void FrPlateUpdate(int full) {
  ZEASSERT(plate_init);
  plate_clock += 1.0f / 60.0f;
  FRAME* camf = g_cam_frm ? g_cam_frm : FrameGetRoot();
  ZEVEC cam;
  ZeMtxGetTranslation(&g_cam_mtx, &cam);
  plate_seen = 0;
  FRPLATE* p = FrPlateFirst();
  while (p) {
    FRPLATE* next = p->next;
    plate_seen++;
    if (!p->refs) p->flags &= uint8_t(~FRPLATE_RESIDENT);
    bool in = p->flags & FRPLATE_RESIDENT;
    float step;
    if (full) step = in ? 1.0f : -1.0f;
    else step = in ? 0.002f : (p->flags & FRPLATE_SLOWFADE) ? -0.005f : -0.01f;
    if (!asyncfileload && in) step = 1.0f;
    p->fade += step;
    if (p->fade < 0.0f) p->fade = 0.0f;
    if (p->fade > 1.0f) p->fade = 1.0f;
    bool drawn = p->fade == 1.0f && p->use[FRPASS_PLATE] >= 2 && !(p->surf & FRSURF_BEYOND);
    SetShown(p, !(drawn || p->id == pltix_dontrndr));
    FrameRemapPos(p->frame, &p->viewer, camf, &cam);
    p->dist2 = ZeVecDistSqr(&p->viewer, &p->bcentre, nullptr);
    if (!p->use[0] && !p->use[1] && !p->use[2]) {
      if (!p->refs) FrPlateFree(p);
    } else {
      for (uint8_t& u : p->use)
        if (u) u--;
    }
    p = next;
  }
  // Insertion sort by distance, nearest first; equal distances keep their order.
  p = FrPlateFirst();
  while (p) {
    FRPLATE* next = p->next;
    FRPLATE* prev = p->prev;
    if (prev && p->dist2 < prev->dist2) {
      FRPLATE* at = prev->prev;
      while (at && at->dist2 > p->dist2) at = at->prev;
      ZeListRemove(&plate_list, p);
      if (at) ZeListInsertAfter(&plate_list, at, p);
      else ZeListInsert(&plate_list, p);
    }
    p = next;
  }
  plate_array_size = 0;
  for (p = FrPlateFirst(); p && plate_array_size < FRPLATE_POOL; p = p->next) {
    p->rank = uint8_t(plate_array_size);
    plate_array[plate_array_size++] = p;
  }
}

void FrPlateApplyPVS(const int* ids, int count) {
  ZEASSERT(plate_init);
  if (count <= 0) {
    for (int& r : plate_ref) r = int(uint32_t(r) & REF_MASK);
    return;
  }
  // Every id is checked first, so a bad list changes nothing.
  for (int i = 0; i < count; i++) CheckId(ids[i], "FrPlateApplyPVS");
  for (int& r : plate_ref) r = int(uint32_t(r) | REF_HIDDEN);
  for (int i = 0; i < count; i++) Ref(ids[i]) &= REF_MASK;
}

void FrPlateGetUpVec(FRPLATE* plate, const ZEVEC* position, ZEVEC* out) {
  ZEASSERT(plate_init);
  ZEVEC d;
  ZeVecSub(&d, position, &plate->centre);
  ZeVecNorm(out, &d);
}

void FrPlateEnablePoly(FRPLATE* plate, int flag) {
  ZEASSERT(plate_init);
  SetShown(plate, flag ? 1 : 0);
}

FRLEVEL* FrLevelAlloc() {
  if (!glev_mem) return nullptr;
  auto* l = static_cast<FRLEVEL*>(ZeMemBlkAlloc(glev_mem));
  if (!l) return nullptr;
  memset(static_cast<void*>(l), 0, sizeof *l);
  ZeListAppend(&glev_sys, l);
  glev_count++;
  return l;
}

void FrLevelFree(FRLEVEL* level) {
  ZeListRemove(&glev_sys, level);
  ZeMemBlkFree(glev_mem, level);
  glev_count--;
}

void FrPlateRenderPostFx1() {}
void FrPlateRenderPostFx2() {}

void FrPlateInfo() { ZeDebugMsg("FrPlateInfo : gplt_cnt(%d,%d)", plate_count, plate_seen); }
