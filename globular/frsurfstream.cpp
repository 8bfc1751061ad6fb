// Surface texture streaming: per plate its patch block (patch, heights,
// trees and the plate's three coarse images) and, near the viewer, the
// images of its 64 tiles, read in blocks by class priority, shared by
// reference count and given back two frames after their last user.
#include "globular.h"

#include <cmath>
#include <cstdio>
#include <cstring>

FRSURFCLASS frsurf_class[FRSURF_CLASSES] = {
    {4, 32, 8, 2560, 1, 1, 45, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {8, 64, 8, 4480, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {16, 128, 8, 16768, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {32, 32, 8, 2560, 8, 8, 13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {64, 64, 8, 4480, 8, 4, 13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {128, 128, 8, 16768, 8, 2, 24, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {256, 256, 4, 0, 8, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {512, 512, 4, 131456, 8, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};
float frsurf_dist[8], frsurf_ideal[8], frsurf_far[8], frsurf_near[8];
int frsurf_hidetail = 0;
int frsurf_rebuild_all = 0;
int frsurf_frame = 0;
int tex_info = 0;
int frsurf_deferred = 0, frsurf_patch_allocs = 0, frsurf_patch_frees = 0, frsurf_misaligned = 0;
float tile_nearfade = 0, tile_farfade = 0, tile_nearclip = 10.0f;
float plate_nearfade = 10000.0f, plate_farfade = 15000.0f, plate_nearclip = 525.0f;
float far_nearfade = 10000.0f, far_farfade = 15000.0f, far_nearclip = 525.0f;

namespace {

constexpr int REFRESH_LIST = 3;
constexpr int REFRESH_BUDGET = 3;
constexpr float TILE_RADIUS = 1.8f;

int s_init = 0, s_initialising = 0, s_closing = 0, s_files = 0;
ZEMEMBLK* block_pool[FRSURF_CLASSES];
int block_free[FRSURF_CLASSES];
ZELIST block_inuse[FRSURF_CLASSES];
ZELIST block_released;
ZEMEMBLK* node_pool = nullptr;
int nodes_used = 0;
ZELIST node_released;
int node_released_count = 0;
ZEMEMBLK* rec_pool = nullptr;
int recs_used = 0;
ZEFILE class_file[FRSURF_CLASSES];
ZEFILE patches_file = 0, tree_file = 0;
FRPLATE* refresh_list[REFRESH_LIST];

char* Align(char* p, uintptr_t a) {
  return reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(p) + a - 1) & ~(a - 1));
}

ZEMEMBLK* Carve(char** pos, char* end, int elsize, int count, int mask, int align) {
  char* p = Align(*pos, uintptr_t(align));
  int size = ZeMemBlkSize(elsize, count, mask);
  ZEASSERT(p + size < end);
  *pos = p + size;
  return ZeMemBlkCreateEx(elsize, count, mask, p);
}

int Round2048(int n) { return (n + 2047) & ~2047; }

// The plate's record number in every texture file.
int Record(int plate) {
  int e = ndx_tab[plate];
  if (e == FRSURF_NOINDEX) e = ndx_tab[FRSURF_DEFAULT];
  return e & 0x7fff;
}

uint8_t* BlockData(FRSURFBLOCK* b) { return reinterpret_cast<uint8_t*>(b) + FRSURF_BLOCKHEADER; }

FRSURFNODE* TakeNode(int cls) {
  auto* n = static_cast<FRSURFNODE*>(ZeMemBlkAlloc(node_pool));
  if (!n) return nullptr;
  nodes_used++;
  memset(static_cast<void*>(n), 0, sizeof *n);
  n->cls = uint16_t(cls);
  return n;
}

void BlockToPool(FRSURFBLOCK* b) {
  const int cls = b->cls;  // the pool's free link overwrites the header
  ZeMemBlkFree(block_pool[cls], b);
  block_free[cls]++;
}

void RefreshTiles(FRPLATE* p) {
  for (int t = 0; t < FRPLATE_TILES; t++)
    FrSurfaceUpdateTexture(p->tiles[t], FrSurfaceKey(p->id, t / 8, t % 8), FRSURF_TILEPASS_LOW,
                           FRSURF_TILEPASS_HIGH, &p->viewer);
  p->refresh = frsurf_frame;
}

void OfferRefresh(FRPLATE* p) {
  for (int i = 0; i < REFRESH_LIST; i++) {
    if (!refresh_list[i]) {
      refresh_list[i] = p;
      return;
    }
    if (refresh_list[i]->refresh > p->refresh) {
      for (int j = REFRESH_LIST - 1; j > i; j--) refresh_list[j] = refresh_list[j - 1];
      refresh_list[i] = p;
      return;
    }
  }
}

void ReleaseChain(FRSURFTEX* r) {
  while (auto* n = static_cast<FRSURFNODE*>(ZeListGetHead(&r->chain))) {
    ZeListRemove(&r->chain, n);
    FrSurfaceReleaseTexNode(n);
  }
}

FRSURFTEX* NewRecord() {
  auto* r = static_cast<FRSURFTEX*>(ZeMemBlkAlloc(rec_pool));
  ZEASSERT(r);
  recs_used++;
  memset(static_cast<void*>(r), 0, sizeof *r);
  FrSurfaceInitColourTexture(r);
  return r;
}

void FreeRecord(FRSURFTEX* r) {
  ReleaseChain(r);
  if (r->tid) ZeTexDestroy(r->tid);
  if (r->hdtid) ZeTexDestroy(r->hdtid);
  ZeMemBlkFree(rec_pool, r);
  recs_used--;
}

}  // namespace

uint32_t FrSurfaceKey(int plate, int row, int column) {
  return uint32_t(plate & 0xffff) | uint32_t(row & 0xff) << 16 | uint32_t(column & 0xff) << 24;
}
int FrSurfaceFreeBlocks(int cls) { return block_free[cls]; }
int FrSurfaceIsInit() { return s_init; }

void FrSurfaceAbandon() {
  // After a fatal error part way (fuzzing): the module starts again from nothing.
  for (ZEMTL*& m : frsurf_mtl) m = nullptr;
  for (auto& p : block_pool) p = nullptr;
  node_pool = rec_pool = nullptr;
  s_init = s_initialising = s_closing = 0;
}
int FrSurfaceNodesUsed() { return nodes_used; }
int FrSurfaceRecordsUsed() { return recs_used; }
int FrSurfaceReleasedNodes() { return node_released_count; }
int FrSurfaceReleasedBlocks() {
  int n = 0;
  for (auto* b = static_cast<FRSURFBLOCK*>(ZeListGetHead(&block_released)); b; b = b->next) n++;
  return n;
}
ZEFILE FrSurfaceFile(int cls) { return class_file[cls]; }

void FrSurfaceInit(char** position, char* end, int hidetail) {
  ZEASSERT(!s_init && !s_closing);
  s_initialising = 1;
  ZeDebugMsg("Initialising FrSurface...");
  for (int i = 0; i < 8; i++) frsurf_dist[i] = std::exp2((float(i) + 15.625f) / 2.0f);
  for (int k = 0; k < 8; k++) {
    frsurf_ideal[k] = frsurf_dist[7 - k];
    frsurf_near[k] = k <= 6 ? frsurf_dist[6 - k] : 0.0f;
  }
  frsurf_far[0] = 10000000.0f;
  for (int k = 1; k < 8; k++) frsurf_far[k] = frsurf_ideal[k - 1];
  tile_nearfade = 1.05f * frsurf_ideal[3];
  tile_farfade = frsurf_far[3];
  frsurf_hidetail = hidetail;
  AsyncFileInit(position, end);
  for (int k = 0; k < FRSURF_CLASSES; k++) {
    FRSURFCLASS& c = frsurf_class[k];
    c.tpp = c.tpps * c.tpps;
    c.tpb = c.tpbs * c.tpbs;
    c.bpps = c.tpps / c.tpbs;
    c.bpp = c.tpp / c.tpb;
    c.block = k == 0 ? FRSURF_PATCHBLOCK : Round2048(c.tpb * c.image);
    c.stride = c.bpp * c.block;
    // GS layout: 8-bit pages 128 x 64, 4-bit 128 x 128.
    int pw = 128, ph = c.bits == 4 ? 128 : 64;
    c.bufw = (c.width + pw - 1) / pw * pw / 64;
    int bytes = c.bufw * 64 * (c.width > ph ? c.width : ph) * c.bits / 8;
    c.level = (bytes + 8191) & ~8191;
    c.levelblocks = c.level / 256;
    c.lower = c.level;
    c.lowerblocks = c.levelblocks;
    if (c.width <= 32) {  // a small level sits inside a page in use: a block number
      int w = c.width;
      c.lower = c.bits == 4 ? (w == 32 ? 8 : w == 16 ? 10 : 11) : (w == 32 ? 16 : w == 16 ? 20 : 21);
      c.lowerblocks = 0;
    }
  }
  for (int k = 0; k < FRSURF_CLASSES; k++) {
    block_inuse[k] = ZELIST{};
    block_pool[k] = nullptr;
    block_free[k] = 0;
    int count = frsurf_class[k].pool;
    if (!count || (k > 2 && !hidetail)) continue;
    int elsize = k == 0 ? FRSURF_PATCHBLOCK : FRSURF_BLOCKHEADER + frsurf_class[k].block;
    block_pool[k] = Carve(position, end, elsize, count, 2047, 2048);
    block_free[k] = count;
  }
  block_released = ZELIST{};
  node_released = ZELIST{};
  node_released_count = 0;
  node_pool = Carve(position, end, sizeof(FRSURFNODE), FRSURF_NODES, 15, 16);
  rec_pool = Carve(position, end, sizeof(FRSURFTEX), FRSURF_RECORDS, 15, 16);
  nodes_used = recs_used = 0;
  frsurf_deferred = frsurf_patch_allocs = frsurf_patch_frees = frsurf_misaligned = 0;
  for (auto& r : refresh_list) r = nullptr;
  FrSurfaceInitClassMaterials();
  ZeDebugMsg("Initialising FrSurface Done");
  s_initialising = 0;
  s_init = 1;
}

void FrSurfaceOpenFiles(const char* root) {
  ZEASSERT(s_init && !s_closing && !s_files);
  ZEDAT* previous = ZeDatSet(nullptr);
  int buffering = zefile_buffering_enabled;
  zefile_buffering_enabled = 0;
  char name[160];
  snprintf(name, sizeof name, "%s\\%s\\texndx.gb3", root, g_planet_path);
  static uint8_t raw[FRSURF_NDXTAB * 2];
  if (ZeFileLoadBuffer(name, raw, sizeof raw) == int(sizeof raw))
    for (int i = 0; i < FRSURF_NDXTAB; i++) ndx_tab[i] = uint16_t(raw[2 * i] | raw[2 * i + 1] << 8);
  for (int k = 0; k < FRSURF_CLASSES; k++) {
    snprintf(name, sizeof name, "%s\\%s\\tex%.3d.gb3", root, g_planet_path, frsurf_class[k].resolution);
    class_file[k] = ZeFileOpen(name, 0);
  }
  snprintf(name, sizeof name, "%s\\%s\\patches.gb3", root, g_planet_path);
  patches_file = ZeFileOpen(name, 0);
  snprintf(name, sizeof name, "%s\\%s\\tree.gb3", root, g_planet_path);
  tree_file = ZeFileOpen(name, 0);
  zefile_buffering_enabled = buffering;
  ZeDatSet(previous);
  s_files = 1;
}

void FrSurfaceCloseFiles() {
  for (ZEFILE& f : class_file) {
    ZeFileClose(f);
    f = 0;
  }
  ZeFileClose(patches_file);
  ZeFileClose(tree_file);
  patches_file = tree_file = 0;
  s_files = 0;
}

FRSURFBLOCK* FrSurfaceGetBlock(uint32_t key, int cls) {
  const FRSURFCLASS& c = frsurf_class[cls];
  int plate = int(key & 0xffff), row = int(key >> 16 & 0xff), col = int(key >> 24);
  if (plate >= FRCUBE_PLATES || row > 7 || col > 7) ZeError("FrSurfaceGetBlock: tile key %08x", key);
  int id = plate * c.bpp + (row / c.tpbs) * c.bpps + col / c.tpbs;
  for (auto* b = static_cast<FRSURFBLOCK*>(ZeListGetHead(&block_inuse[cls])); b; b = b->next)
    if (b->id == id) return b;
  if (!block_pool[cls]) return nullptr;
  auto* b = static_cast<FRSURFBLOCK*>(ZeMemBlkAlloc(block_pool[cls]));
  if (!b) return nullptr;
  block_free[cls]--;
  memset(static_cast<void*>(b), 0, FRSURF_BLOCKHEADER);
  b->id = uint16_t(id);
  b->cls = uint16_t(cls);
  b->req = ASYNCFILE_DONE;
  ZeListAppend(&block_inuse[cls], b);
  int position = Record(plate) * c.stride + (id % c.bpp) * c.block;
  AsyncFileRead(class_file[cls], position, BlockData(b), c.block, &b->req, cls);
  return b;
}

FRSURFNODE* FrSurfaceGetTexNode(uint32_t key, int cls) {
  ZEASSERT(cls >= 0 && cls < FRSURF_CLASSES);
  const FRSURFCLASS& c = frsurf_class[cls];
  FRSURFBLOCK* b = FrSurfaceGetBlock(key, cls);
  if (!b) return nullptr;
  FRSURFNODE* n = TakeNode(cls);
  if (!n) return nullptr;
  ZEASSERT(b->refs != 0xffff);
  b->refs++;
  n->block = b;
  int row = int(key >> 16 & 0xff), col = int(key >> 24);
  n->image = BlockData(b) + ((row % c.tpbs) * c.tpbs + col % c.tpbs) * c.image;
  return n;
}

void FrSurfaceReleaseTexNode(FRSURFNODE* n) {
  n->next = n->prev = nullptr;
  ZeListAppend(&node_released, n);
  node_released_count++;
  n->countdown = 2;
  if (FRSURFBLOCK* b = n->block) {
    ZEASSERT(b->refs);
    if (--b->refs == 0) {
      if (b->req != ASYNCFILE_DONE) AsyncFileCancel(&b->req);
      ZeListRemove(&block_inuse[b->cls], b);
      ZeListAppend(&block_released, b);
      b->refs = 2;
      b->released = 1;
    }
  }
  n->block = nullptr;
}

void FrSurfaceProcessReleased() {
  auto* n = static_cast<FRSURFNODE*>(ZeListGetHead(&node_released));
  while (n) {
    FRSURFNODE* next = n->next;
    if (n->countdown) {
      n->countdown--;
    } else {
      ZeListRemove(&node_released, n);
      ZeMemBlkFree(node_pool, n);
      nodes_used--;
      node_released_count--;
    }
    n = next;
  }
  auto* b = static_cast<FRSURFBLOCK*>(ZeListGetHead(&block_released));
  while (b) {
    FRSURFBLOCK* next = b->next;
    if (b->refs) {
      b->refs--;
    } else {
      if (b->req != ASYNCFILE_DONE) AsyncFileCancel(&b->req);
      if (b->req != ASYNCFILE_DONE) {
        frsurf_deferred++;  // being read: freed once the loader is done with it
      } else {
        ZeListRemove(&block_released, b);
        BlockToPool(b);
      }
    }
    b = next;
  }
}

void FrSurfaceUpdateTexture(FRSURFTEX* r, uint32_t key, int lo, int hi, const ZEVEC* viewer) {
  float d = ZeVecDist(&r->centre, viewer, nullptr) - TILE_RADIUS * r->radius;
  if (d < 0.0f) d = 0.0f;
  int w = 0;
  for (int k = 0; k < FRSURF_CLASSES; k++)
    if (d < frsurf_near[k]) w++;
  if (w < lo) w = lo;
  if (w > hi) w = hi;
  auto* head = static_cast<FRSURFNODE*>(ZeListGetHead(&r->chain));
  int u = head ? head->cls : -1;
  while (u < w) {
    u++;
    if (u < lo || u > hi || !block_pool[u]) continue;
    FRSURFNODE* n = FrSurfaceGetTexNode(key, u);
    if (!n) break;
    ZeListInsert(&r->chain, n);
    r->flags |= u >= 6 ? FRSURFTEX_REBUILDHD : FRSURFTEX_REBUILD;
  }
  while ((head = static_cast<FRSURFNODE*>(ZeListGetHead(&r->chain))) && head->cls > w) {
    if (head->cls < 6) {
      r->flags |= FRSURFTEX_REBUILD;
    } else {
      if (r->hdtid) ZeTexDestroy(r->hdtid);
      r->hdtid = 0;
    }
    ZeListRemove(&r->chain, head);
    FrSurfaceReleaseTexNode(head);
  }
  if ((r->flags & FRSURFTEX_REBUILD) || frsurf_rebuild_all) FrSurfaceUpdateColourTexture(r);
  // The high-detail classes have no blocks: nothing builds their texture.
  r->flags &= uint8_t(~FRSURFTEX_REBUILDHD);
  r->detail = frsurf_mtl[7];
  if (w == lo) r->flags |= FRSURFTEX_LOWEST;
  else r->flags &= uint8_t(~FRSURFTEX_LOWEST);
}

int FrSurfaceInitPlateData(FRPLATE* p) {
  if (!(p->surf & FRSURF_BOUNDS) && gplt_data) {
    const float* g = gplt_data + p->id * (FRPLATE_RECORD / 4);
    static constexpr int CORNER[4] = {0, 8, 72, 80};
    ZEVEC c[4];
    ZEVEC sum{0, 0, 0};
    for (int k = 0; k < 4; k++) {
      ZEVEC base{g[4 * k], g[4 * k + 1], g[4 * k + 2]}, disp{g[16 + 4 * k], g[17 + 4 * k], g[18 + 4 * k]};
      c[k] = base;
      ZeVecScaleAccum(&c[k], &disp, g[32 + CORNER[k]]);
      ZeVecAdd(&sum, &sum, &c[k]);
    }
    ZeVecScale(&p->bcentre, &sum, 0.25f);
    float r = 0.0f;
    for (const ZEVEC& v : c) {
      float d = ZeVecDist(&v, &p->bcentre, nullptr);
      if (d > r) r = d;
    }
    p->radius = r;
    ZEVEC e{r, r, r};
    ZeVecSub(&p->bmin, &p->bcentre, &e);
    ZeVecAdd(&p->bmax, &p->bcentre, &e);
    p->surf |= FRSURF_BOUNDS;
  }
  return p->surf & FRSURF_BOUNDS;
}

void FrSurfaceLoadPatchData(FRPLATE* p) {
  ZEASSERT(!(p->surf & FRSURF_PATCH));
  p->req[0] = p->req[1] = ASYNCFILE_DONE;
  if (!block_pool[0]) return;
  auto* b = static_cast<uint8_t*>(ZeMemBlkAlloc(block_pool[0]));
  if (!b) return;  // tried again another frame
  block_free[0]--;
  frsurf_patch_allocs++;
  p->patch = b;
  AsyncFileRead(class_file[0], Record(p->id) * FRSURF_PATCHBLOCK, b, FRSURF_PATCHBLOCK, &p->req[0], 0);
}

int FrSurfaceInitPatchData(FRPLATE* p) {
  if (!p->patch) FrSurfaceLoadPatchData(p);
  if (!p->patch) return 0;
  if (p->req[0] == ASYNCFILE_DONE && !(p->surf & FRSURF_PATCH)) {
    uint8_t* b = p->patch;
    p->heights = reinterpret_cast<float*>(b + FRSURF_HEIGHTS);
    FrSurfaceCreatePlateTexture(p);
    auto* t = reinterpret_cast<FRTREEDATA*>(b + FRSURF_TREES);
    // Tree words come from the file: each tile's positions stay inside the
    // position area, 16-aligned, or the block is refused.
    for (int i = 0; i < FRPLATE_TILES; i++) {
      uint32_t off = t[i].positions.addr;
      int32_t n = t[i].count;
      constexpr uint32_t lo = FRSURF_POSITIONS - FRSURF_TREES, hi = lo + FRSURF_POSITIONBYTES;
      if (n < 0 || n > FRSURF_POSITIONBYTES / 12 || (off & 15) || off < lo || off > hi || uint32_t(n) * 12 > hi - off)
        ZeError("tex004.gb3 record %d tile %d: damaged tree table (%u, %d)", Record(p->id), i, off, n);
      t[i].positions = reinterpret_cast<float*>(b + FRSURF_TREES + off);
    }
    p->trees = t;
    p->surf |= FRSURF_PATCH;
  }
  return p->surf & FRSURF_PATCH;
}

int FrSurfaceDestroyPatchData(FRPLATE* p) {
  if (!p->patch) return 1;
  for (uint8_t& r : p->req) {
    if (r == ASYNCFILE_DONE) continue;
    AsyncFileCancel(&r);
    if (r != ASYNCFILE_DONE) return 0;
  }
  ZeMemBlkFree(block_pool[0], p->patch);
  block_free[0]++;
  p->patch = nullptr;
  p->heights = nullptr;
  p->trees = nullptr;
  p->surf &= uint8_t(~FRSURF_PATCH);
  frsurf_patch_frees++;
  return 1;
}

void FrSurfaceCreatePlateTexture(FRPLATE* p) {
  ZEASSERT(!p->texture);
  FRSURFTEX* r = NewRecord();
  r->key = FrSurfaceKey(p->id, 0, 0);
  ZEVEC s;
  ZeVecAdd(&s, &p->bmin, &p->bmax);
  ZeVecScale(&r->centre, &s, 0.5f);
  r->radius = 0.5f * ZeVecDist(&p->bmax, &p->bmin, nullptr);
  static constexpr int AT[3] = {FRSURF_IMAGE0, FRSURF_IMAGE1, FRSURF_IMAGE2};
  for (int k = 0; k < 3; k++) {
    FRSURFNODE* n = TakeNode(k);
    ZEASSERT(n);
    n->image = p->patch.get() + AT[k];
    if (reinterpret_cast<uintptr_t>(n->image.get()) & 127)
      ZeDebugMsg("FrSurfaceUpdateColourTexture : texture palette not 128 byte aligned");
    ZeListInsert(&r->chain, n);  // class 2 ends at the head
  }
  p->texture = r;
  FrSurfaceUpdateColourTexture(r);
}

void FrSurfaceCreateTileTextures(FRPLATE* p) {
  const auto* patch = reinterpret_cast<const ZEFPATCH*>(p->patch.get());
  for (int t = 0; t < FRPLATE_TILES; t++) {
    ZEFPATCH cell;
    ZeFPatchHeightFieldIndex(patch, p->heights, t, &cell);
    static constexpr int H[4] = {1, 3, 13, 15};
    ZEVEC c[4], sum{0, 0, 0};
    for (int k = 0; k < 4; k++) {
      ZEVEC base{cell.base[k].x, cell.base[k].y, cell.base[k].z}, disp{cell.disp[k].x, cell.disp[k].y, cell.disp[k].z};
      c[k] = base;
      ZeVecScaleAccum(&c[k], &disp, cell.h[H[k] / 4][H[k] % 4]);
      ZeVecAdd(&sum, &sum, &c[k]);
    }
    FRSURFTEX* r = NewRecord();
    r->key = FrSurfaceKey(p->id, t / 8, t % 8);
    ZeVecScale(&r->centre, &sum, 0.25f);
    for (const ZEVEC& v : c) {
      float d = ZeVecDist(&v, &r->centre, nullptr);
      if (d > r->radius) r->radius = d;
    }
    r->flags |= FRSURFTEX_REBUILD;
    p->tiles[t] = r;
  }
}

int FrSurfaceDestroyPlateTextures(FRPLATE* p) {
  if (p->texture) FreeRecord(p->texture);
  p->texture = nullptr;
  return 1;
}

int FrSurfaceDestroyTileTextures(FRPLATE* p) {
  for (auto& t : p->tiles) {
    if (t) FreeRecord(t);
    t = nullptr;
  }
  return 1;
}

void FrSurfaceUpdate() {
  FrSurfaceProcessReleased();
  if (!s_init || !s_files || s_closing) return;
  for (auto& r : refresh_list) r = nullptr;
  int budget = REFRESH_BUDGET;
  for (int i = 0; i < plate_array_size; i++) {
    FRPLATE* p = plate_array[i];
    if (!FrSurfaceInitPlateData(p)) continue;
    float d = std::sqrt(p->dist2);
    float nearv = d - p->radius, farv = d + p->radius;
    if (nearv < 0.0f) nearv = 0.0f;
    if (farv < 0.0f) farv = 0.0f;
    p->surf &= uint8_t(~FRSURF_NOSLOT);
    if (nearv >= plate_nearfade) p->surf |= FRSURF_BEYOND;
    else p->surf &= uint8_t(~FRSURF_BEYOND);
    if (p->rank >= frsurf_class[0].pool || nearv >= plate_farfade) {
      if (!p->use[FRPASS_PLATE] && !p->use[FRPASS_TILE] && FrSurfaceDestroyPatchData(p)) {
        FrSurfaceDestroyPlateTextures(p);
        // Tiles go with the patch data: a far plate held by a level would
        // otherwise keep its tile blocks from the plates near the camera.
        FrSurfaceDestroyTileTextures(p);
      }
      p->surf &= uint8_t(~(FRSURF_INRANGE | FRSURF_TILES));
      if (nearv < plate_farfade) p->surf |= FRSURF_NOSLOT;
      continue;
    }
    if (!FrSurfaceInitPatchData(p)) continue;
    if (nearv < frsurf_far[0] && farv > frsurf_near[3]) p->surf |= FRSURF_INRANGE;
    else p->surf &= uint8_t(~FRSURF_INRANGE);
    if (p->rank < frsurf_class[3].pool && nearv < frsurf_far[3]) {
      bool created = false;
      if (!p->tiles[0]) {
        FrSurfaceCreateTileTextures(p);
        created = true;
      }
      if (!(ndx_tab[p->id] & FRSURF_NOTILES) && frsurf_hidetail) {
        if (created) {
          RefreshTiles(p);
          budget -= FRPLATE_TILES;
        } else {
          OfferRefresh(p);
        }
      }
      p->surf |= FRSURF_TILES;
      continue;
    }
    if (p->tiles[0]) FrSurfaceDestroyTileTextures(p);
    p->surf &= uint8_t(~FRSURF_TILES);
  }
  if (budget > 0)
    for (int i = 0; i < budget && i < REFRESH_LIST; i++)
      if (refresh_list[i]) RefreshTiles(refresh_list[i]);
  frsurf_rebuild_all = 0;
}

int FrSurfaceClose() {
  ZEASSERT(s_init && !s_initialising);
  s_closing = 1;
  int out = 0;
  for (FRPLATE* p = FrPlateFirst(); p; p = p->next) {
    if (p->use[FRPASS_PLATE] || p->use[FRPASS_TILE] || !FrSurfaceDestroyPatchData(p)) out++;
    FrSurfaceDestroyPlateTextures(p);
    FrSurfaceDestroyTileTextures(p);
    FrPlateEnablePoly(p, 1);
    p->fade = 0.0f;
    p->surf &= uint8_t(~(FRSURF_NOSLOT | FRSURF_INRANGE | FRSURF_TILES));
    p->flags = FRPLATE_SHOWN | FRPLATE_RESIDENT;
    out += p->use[0] + p->use[1] + p->use[2];
  }
  out += AsyncFilePending();
  out += ZeListGetHead(&node_released) != nullptr;
  out += ZeListGetHead(&block_released) != nullptr;
  out += recs_used != 0;
  out += nodes_used != 0;
  for (int k = 0; k < FRSURF_CLASSES; k++) out += block_pool[k] && block_free[k] != frsurf_class[k].pool;
  FrSurfaceDestroyClassMaterials();
  if (out) return 0;
  s_init = s_closing = 0;
  return 1;
}

void FrSurfaceInfo() {
  if (!tex_info) return;
  ZeDebugMsg("tid cnt %d/%d", zetex_alloc_cnt, zetex_slot_count);
  ZeDebugMsg("file cnt %d/%d  bpf %d", AsyncFilePending(), ASYNCFILE_POOL, asyncfile_lastrate);
  ZeDebugMsg("hdr cnt %d/%d  mem %.2f/%.2f", recs_used, FRSURF_RECORDS,
             recs_used * double(sizeof(FRSURFTEX)) / 1048576.0, FRSURF_RECORDS * double(sizeof(FRSURFTEX)) / 1048576.0);
  ZeDebugMsg("bit cnt %d/%d  mem %.2f/%.2f", nodes_used, FRSURF_NODES,
             nodes_used * double(sizeof(FRSURFNODE)) / 1048576.0, FRSURF_NODES * double(sizeof(FRSURFNODE)) / 1048576.0);
  for (int k = 0; k < FRSURF_CLASSES; k++) {
    const FRSURFCLASS& c = frsurf_class[k];
    if (!block_pool[k]) continue;
    int used = c.pool - block_free[k];
    ZeDebugMsg("blk %d  cnt %d/%d  mem %.2f/%.2f", c.resolution, used, c.pool, used * double(c.block) / 1048576.0,
               c.pool * double(c.block) / 1048576.0);
  }
}
