// Grass pages: clumps read from grass page files through the editor file
// layer, their blade matrices built from each clump's seed, and the clumps
// handed to wind and fade groups when the page starts.
#include <cmath>
#include <cstring>

#include "edtools.h"
#include "gamelib.h"
#include "zecore.h"

GrassClump GrassClumps[EDGRA_CLUMPS];
GrassBlade IndGrassClumps[EDGRA_IND_BLOCKS][EDGRA_IND_BLADES];
int IndGrassClumpsUsed[EDGRA_IND_BLOCKS];
int edgra_clumps_used, edgra_ind_clumps_used, edgra_units_used;
int edgra_page_used[EDGRA_PAGES], edgra_page_on[EDGRA_PAGES], edgra_page_vectors_valid[EDGRA_PAGES];
ZEGSCENE* edgra_page_scene[EDGRA_PAGES];
uint8_t* edgra_page_matrix_stack[EDGRA_PAGES];
uint8_t* edgra_mtxbuffer;
uint8_t* edgra_vecbuffer;
int edgra_nearest = -1;
ZEVEC edgra_cam_pos;

namespace {


uint8_t* Align128(uint8_t* p) { return reinterpret_cast<uint8_t*>((uintptr_t(p) + 127) & ~uintptr_t(127)); }

void Skip(int64_t bytes) {
  uint8_t scratch[256];
  while (bytes > 0) {
    int n = bytes > 256 ? 256 : int(bytes);
    EdFileRead(scratch, n);
    bytes -= n;
  }
}

void EditBuffers() {
  if (!edgra_mtxbuffer) edgra_mtxbuffer = static_cast<uint8_t*>(EeMalloc(EDGRA_UNITS * sizeof(ZEMTX) + 128));
  if (!edgra_vecbuffer)
    edgra_vecbuffer = static_cast<uint8_t*>(EeMalloc(size_t(EDGRA_CLUMPS) * EDGRA_EDIT_VECTORS * sizeof(ZEVEC)));
}

// Reads one record's fields as the version holds them; older versions get
// the defaults of their time.
void ReadRec(int version, EdGrassFileRec* r) {
  EdFileRead(r->name, EDGRA_NAME);
  r->count = EdFileReadInt();
  r->pos.x = EdFileReadFloat(), r->pos.y = EdFileReadFloat(), r->pos.z = EdFileReadFloat();
  r->radius = EdFileReadFloat();
  r->sway = EdFileReadFloat();
  r->group = version >= 2 ? EdFileReadInt() : 1;
  r->sway2 = version >= 3 ? EdFileReadFloat() : 1.0f;
  r->dist = 1, r->sizemode = 1, r->kind = 1;
  if (version >= 5) r->dist = int8_t(EdFileReadChar()), r->sizemode = int8_t(EdFileReadChar());
  if (version >= 6) r->kind = int8_t(EdFileReadChar());
  r->seed = 0, r->minsize = 0.2f, r->maxsize = 1.7625f;
  if (version >= 4) r->seed = EdFileReadInt(), r->minsize = EdFileReadFloat(), r->maxsize = EdFileReadFloat();
  r->angz = r->angy = 0;
  if (version >= 5) r->angz = int16_t(EdFileReadShort()), r->angy = int16_t(EdFileReadShort());
  r->nearr = 15.0f, r->farr = 25.0f;
  if (version >= 6) r->nearr = EdFileReadFloat(), r->farr = EdFileReadFloat();
  if (version >= 7) {
    r->follow = int8_t(EdFileReadChar()), r->tilt = int8_t(EdFileReadChar()), r->hoff = EdFileReadFloat();
  } else if (r->kind == 2) {
    r->follow = 1, r->tilt = 1, r->hoff = 0.05f;
  } else {
    r->follow = 0, r->tilt = 0, r->hoff = 0;
    if (r->kind == 1) r->nearr = r->farr = 20.0f;
  }
}

int NextSlot(int from) {
  for (int i = from; i < EDGRA_CLUMPS; i++)
    if (GrassClumps[i].count == 0) return i;
  return -1;
}

bool Individual(const GrassClump& c) { return c.kind == 3 && c.ind >= 0; }

// One blade's horizontal offset (world position) and size; r its distance.
void Blade(const GrassClump& c, int i, ZEVEC* at, float* size, float* r) {
  float range = c.maxsize - c.minsize;
  if (Individual(c)) {
    const GrassBlade& b = IndGrassClumps[c.ind][i];
    ZeVecAdd(at, &c.pos, &b.offset);
    *size = b.size * range + c.minsize;
    *r = sqrtf(b.offset.x * b.offset.x + b.offset.z * b.offset.z);
    return;
  }
  ZEVEC o = {0, 0, 0};
  switch (c.dist) {
    case 1:
    case 2: {
      int a = ZeRandInt();
      float d = ZeRandFloat() * c.radius;
      o = {ZeTrigSin(a) * d, 0, ZeTrigCos(a) * d};
      *r = sqrtf(o.x * o.x + o.z * o.z);
      if (c.dist == 1) ZeVecScale(&o, &o, *r + 1.5f);
      break;
    }
    case 3:
      o.x = (2 * ZeRandFloat() - 1) * c.radius;
      o.z = (2 * ZeRandFloat() - 1) * c.radius;
      *r = sqrtf(o.x * o.x + o.z * o.z);
      break;
    default: {  // 4, a grid
      int n = int(sqrtf(float(c.count)));
      int rows = (n + c.count - 1) / n;
      o.x = (2 * c.radius / float(n - 1)) * float(i / rows) - c.radius;
      o.z = float(i % rows) * (2 * c.radius / float(rows - 1)) - c.radius;
      *r = sqrtf(o.x * o.x + o.z * o.z);
      break;
    }
  }
  ZeVecRotateZ(&o, &o, c.angz);
  ZeVecRotateY(&o, &o, c.angy);
  ZeVecAdd(at, &o, &c.pos);
  float fall = c.radius > 0 ? fminf(*r, c.radius) / c.radius : 0;
  switch (c.sizemode) {
    case 2: *size = ZeRandFloat() * range + c.minsize; break;
    case 3: *size = c.maxsize - fall * range; break;
    case 4: *size = ZeTrigCos(EeFtoi(fall * 16384.0f)) * range + c.minsize; break;
    case 1: {
      float q = ZeRandFloat() - 0.25f;
      *size = fmaxf((1.2f - 1.25f * *r + q * q) / 1.7625f * c.maxsize, c.minsize);
      break;
    }
    default: *size = *r; break;
  }
}

void Calculate(GrassClump& c, ZEMTX* m, int withterrain) {
  // Pass 1 keeps each blade's place, size and distance in its matrix.
  ZeRandSeed(c.seed);
  for (int i = 0; i < c.count; i++) {
    ZEVEC at;
    float s, r;
    Blade(c, i, &at, &s, &r);
    m[i].m[3][0] = at.x, m[i].m[3][1] = at.y, m[i].m[3][2] = at.z;
    m[i].m[0][0] = s, m[i].m[0][1] = r;
  }
  ZeRandSeed(c.seed);
  ZEVEC* vec = c.vectors;
  for (int i = 0; i < c.count; i++) {
    ZEVEC at = {m[i].m[3][0], m[i].m[3][1], m[i].m[3][2]};
    float s = m[i].m[0][0], r = m[i].m[0][1];
    if (withterrain && c.follow) {
      float v[3];
      ZeFadeObjGetAngleTerrainValues(v, &at);
      vec[i] = {v[0], v[1], v[2]};
    }
    ZEMTX& o = m[i];
    ZeMtxSetIdentity(&o);
    if (Individual(c)) {
      ZeMtxRotateZ(&o, IndGrassClumps[c.ind][i].angz);
      ZeMtxRotateY(&o, IndGrassClumps[c.ind][i].angy);
    } else {
      ZeMtxPreRotateY(&o, ZeRandInt());
    }
    if (c.tilt && c.kind != 1) {
      ZeMtxRotateZ(&o, EeFtoi(vec[i].z));
      ZeMtxRotateX(&o, EeFtoi(vec[i].x));
    }
    const ZEVEC sc = {s, s, s};
    ZeMtxPreScale(&o, &sc);
    if (c.follow) at.y = vec[i].y + c.hoff;
    o.m[3][0] = at.x, o.m[3][1] = at.y, o.m[3][2] = at.z;
    if (c.kind == 1) o.m[3][3] = c.sway * r;
  }
  c.mtxs = m;
}

bool PageOk(int page) { return page >= 0 && page < EDGRA_PAGES; }

}  // namespace

void edgraClumpsReset() {
  memset(GrassClumps, 0, sizeof GrassClumps);
  memset(IndGrassClumpsUsed, 0, sizeof IndGrassClumpsUsed);
  for (int p = 0; p < EDGRA_PAGES; p++) {
    edgra_page_used[p] = edgra_page_on[p] = edgra_page_vectors_valid[p] = 0;
    edgra_page_scene[p] = nullptr;
    edgra_page_matrix_stack[p] = nullptr;
  }
  edgra_clumps_used = edgra_ind_clumps_used = edgra_units_used = 0;
  edgra_nearest = -1;
}

void edgraDetermineNearestClump(float limit) {
  if (edgra_nearest >= 0 && edgra_nearest < EDGRA_CLUMPS && GrassClumps[edgra_nearest].count &&
      ZeVecDistSqr(&GrassClumps[edgra_nearest].pos, &edgra_cam_pos, nullptr) == 0)
    return;
  edgra_nearest = -1;
  float best = 0;
  for (int i = 0; i < EDGRA_CLUMPS; i++) {
    if (!GrassClumps[i].count) continue;
    float d = ZeVecDistSqr(&GrassClumps[i].pos, &edgra_cam_pos, nullptr);
    if (limit >= 0 && d >= limit) continue;
    if (edgra_nearest < 0 || d < best) best = d, edgra_nearest = i;
  }
}

int edgraLoadPage(const char* name, ZEGSCENE* scene, uint8_t** cursor, uint8_t* end) {
  int page = -1;
  for (int p = 0; p < EDGRA_PAGES && page < 0; p++)
    if (!edgra_page_used[p]) page = p;
  if (page < 0) return -1;
  const bool edit = edbits_editmode != 0;
  if (edit) EditBuffers();
  uint8_t* stack = Align128(edit ? edgra_mtxbuffer : *cursor);
  EdFileSetMedia(EDFILE_MEDIA_HOST);
  if (!EdFileOpen(name, 0)) return -1;
  int version = EdFileReadInt();
  if (version < 1 || version > 8) {
    EdFileClose();
    return -1;
  }
  int count = EdFileReadInt();
  int total = version == 8 ? EdFileReadInt() : EDGRA_UNITS;
  if (total < 0) {
    ZeDebugMsg("Grass page %s: blade total %d", name, total);
    EdFileClose();
    return -1;
  }
  if (edit && total > EDGRA_UNITS) total = EDGRA_UNITS;
  // The matrices and vectors must fit before anything is written.
  if (!edit && int64_t(total) * int64_t(sizeof(ZEMTX) + sizeof(ZEVEC)) > end - stack) {
    EdFileClose();
    ZeError("Insufficient buffer space to load grass data");
    return -1;
  }
  uint8_t* vecs = edit ? edgra_vecbuffer : stack + size_t(total) * sizeof(ZEMTX);
  if (count > EDGRA_CLUMPS - edgra_clumps_used) count = EDGRA_CLUMPS - edgra_clumps_used;
  int left = total, slot = 0, present = version == 8;
  for (int k = 0; k < count; k++) {
    slot = NextSlot(slot);
    if (slot < 0) break;
    EdGrassFileRec r{};
    ReadRec(version, &r);
    int n = r.count < 4 ? 4 : r.count;
    const int64_t filen = r.count > 0 ? r.count : 0;
    const int64_t extra = (r.kind == 3 && version >= 6 ? filen * int64_t(sizeof(GrassBlade)) : 0) +
                          (version == 8 ? filen * int64_t(sizeof(ZEVEC)) : 0);
    // More blades than the page's total would run the matrices into the
    // vectors: the rest of the page is not read.
    if (n > left || (edit && n > EDGRA_EDIT_VECTORS)) {
      ZeDebugMsg("Grass page %s: clump %d holds more blades than the page", name, k);
      break;
    }
    GrassClump& c = GrassClumps[slot];
    c = {};
    c.object = edbitsLookupInstance(r.name, scene);
    edgra_clumps_used++;
    c.pos = r.pos, c.radius = r.radius, c.sway = r.sway, c.group = r.group, c.sway2 = r.sway2;
    c.page = int8_t(page), c.dist = r.dist, c.sizemode = r.sizemode, c.kind = r.kind, c.seed = r.seed;
    c.minsize = r.minsize, c.maxsize = r.maxsize, c.angz = r.angz, c.angy = r.angy;
    c.nearr = r.nearr, c.farr = r.farr, c.follow = r.follow, c.tilt = r.tilt, c.hoff = r.hoff;
    c.ind = -1;
    c.vectors = reinterpret_cast<ZEVEC*>(vecs);
    int64_t consumed = 0;
    bool keep = c.object >= 0;
    if (keep && r.kind == 3 && version >= 6) {
      // A block holds 64 blades; a clump of more keeps its first 64, one
      // with no free block is dropped.
      for (int b = 0; b < EDGRA_IND_BLOCKS && c.ind < 0; b++)
        if (!IndGrassClumpsUsed[b]) c.ind = int16_t(b);
      if (c.ind < 0) {
        keep = false;
      } else {
        IndGrassClumpsUsed[c.ind] = 1;
        edgra_ind_clumps_used++;
        if (n > EDGRA_IND_BLADES) n = EDGRA_IND_BLADES;
        int nread = filen < n ? int(filen) : n;
        memset(IndGrassClumps[c.ind], 0, sizeof IndGrassClumps[c.ind]);
        EdFileRead(IndGrassClumps[c.ind], nread * int(sizeof(GrassBlade)));
        Skip((filen - nread) * int64_t(sizeof(GrassBlade)));
        consumed = filen * int64_t(sizeof(GrassBlade));
      }
    }
    // Vectors start level: a clump that tilts without following the
    // terrain reads them too.
    if (keep) memset(vecs, 0, size_t(n) * sizeof(ZEVEC));
    if (keep && version == 8) {
      int nread = filen < n ? int(filen) : n;
      EdFileRead(vecs, nread * int(sizeof(ZEVEC)));
      consumed += nread * int64_t(sizeof(ZEVEC));
    }
    Skip(extra - consumed);
    c.count = keep ? n : 0;
    if (!keep) c.ind = -1;
    vecs += edit ? EDGRA_EDIT_VECTORS * sizeof(ZEVEC) : size_t(n) * sizeof(ZEVEC);
    left -= n;
  }
  EdFileClose();
  edgra_page_matrix_stack[page] = stack;
  edgra_page_vectors_valid[page] = present;
  edgra_nearest = -1;
  edgraDetermineNearestClump(1.0f);
  edgra_page_used[page] = 1;
  edgra_page_scene[page] = scene;
  if (!edit) {
    if (present) edgraCalculatePage(page, 0);
    *cursor = vecs;
  }
  return page;
}

void edgraCalculatePage(int page, int withterrain) {
  if (!PageOk(page) || !edgra_page_used[page] || !edgra_page_scene[page] || !edgra_page_matrix_stack[page] ||
      edgra_page_on[page])
    return;
  ZEMTX* m = reinterpret_cast<ZEMTX*>(edgra_page_matrix_stack[page]);
  for (GrassClump& c : GrassClumps) {
    if (!c.count || c.page != page) continue;
    Calculate(c, m, withterrain);
    m += c.count;
  }
}

void edgraStartPage(int page) {
  if (!PageOk(page) || !edgra_page_used[page] || !edgra_page_scene[page] || edgra_page_on[page]) return;
  if (!edgra_page_vectors_valid[page]) {
    edgraCalculatePage(page, 1);
    edgra_page_vectors_valid[page] = 1;
  }
  ZEGSCENE* scene = edgra_page_scene[page];
  for (GrassClump& c : GrassClumps) {
    if (!c.count || c.page != page) continue;
    int n = c.count;
    if (edgra_units_used + n > EDGRA_UNITS) n = EDGRA_UNITS - edgra_units_used;
    if (n <= 0) continue;
    if (c.kind == 2 || c.kind == 3)
      ZeFadeObjCreateMtx(c.nearr, c.farr, scene, c.object, c.mtxs, n, c.group);
    else
      ZeWindCreateMtx(c.sway, c.sway2, c.nearr, c.farr, scene, c.object, c.mtxs, n, c.group);
    edgra_units_used += n;
  }
  edgra_page_on[page] = 1;
}

void edgraClearPage(int page) {
  if (!PageOk(page)) return;
  if (edgra_page_on[page]) {
    edgra_page_on[page] = 0;
    edgra_units_used = 0;
    ZeWindInit();
    ZeFadeObjInit();
    for (int p = 0; p < EDGRA_PAGES; p++)
      if (edgra_page_on[p]) edgra_page_on[p] = 0, edgraStartPage(p);
  }
  for (GrassClump& c : GrassClumps) {
    if (!c.count || c.page != page) continue;
    if (Individual(c)) IndGrassClumpsUsed[c.ind] = 0, edgra_ind_clumps_used--;
    c.count = 0;
    edgra_clumps_used--;
  }
  edgra_page_used[page] = 0;
  edgra_page_scene[page] = nullptr;
  edgra_page_matrix_stack[page] = nullptr;
}

int edgraWritePage(const char* name, int version, const EdGrassFileRec* recs, int count, int total) {
  EdFileSetMedia(EDFILE_MEDIA_HOST);
  if (!EdFileOpen(name, 1)) return 0;
  EdFileWriteInt(version);
  EdFileWriteInt(count);
  if (version == 8) EdFileWriteInt(total);
  for (int k = 0; k < count; k++) {
    const EdGrassFileRec& r = recs[k];
    EdFileWrite(r.name, EDGRA_NAME);
    EdFileWriteInt(r.count);
    EdFileWriteFloat(r.pos.x), EdFileWriteFloat(r.pos.y), EdFileWriteFloat(r.pos.z);
    EdFileWriteFloat(r.radius);
    EdFileWriteFloat(r.sway);
    if (version >= 2) EdFileWriteInt(r.group);
    if (version >= 3) EdFileWriteFloat(r.sway2);
    if (version >= 5) EdFileWriteChar(r.dist), EdFileWriteChar(r.sizemode);
    if (version >= 6) EdFileWriteChar(r.kind);
    if (version >= 4) EdFileWriteInt(r.seed), EdFileWriteFloat(r.minsize), EdFileWriteFloat(r.maxsize);
    if (version >= 5) EdFileWriteShort(r.angz), EdFileWriteShort(r.angy);
    if (version >= 6) EdFileWriteFloat(r.nearr), EdFileWriteFloat(r.farr);
    if (version >= 7) EdFileWriteChar(r.follow), EdFileWriteChar(r.tilt), EdFileWriteFloat(r.hoff);
    int n = r.count > 0 ? r.count : 0;
    if (r.kind == 3 && version >= 6)
      for (int i = 0; i < n; i++) {
        GrassBlade b = r.blades ? r.blades[i] : GrassBlade{};
        EdFileWrite(&b, sizeof b);
      }
    if (version == 8)
      for (int i = 0; i < n; i++) {
        ZEVEC v = r.vectors ? r.vectors[i] : ZEVEC{};
        EdFileWrite(&v, sizeof v);
      }
  }
  return EdFileClose();
}
