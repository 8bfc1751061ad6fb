// Shadows: the store of shadow shapes, the shadow light and its choice from
// the scene's stencil splines, the shadow pass (volumes by VU1 into the
// light unit's surface 2, then the composite over the frame), the cylinder
// templates and light fans, quad shadows, the distortion grids, helpers.
#include <algorithm>
#include <cmath>

#include "zelgt_local.h"

ZESHADSTORE shadstore[ZESHAD_STORE];
int shadstorecnt;
uint32_t shadidcounter;
ZEVEC curlight = {0.0f, -0.75f, -0.75f};
uint32_t curlightcol;
float curlightfade = 4.0f, curlightfadefar = 6.0f;
ZEVEC lightfan[9];
uint32_t *ZRCylCapData, *ZRCylData, *ZRFanData;
ZESPLINE* ZeRndrShadMasks[32];
int ZeRndrShadMaskCount;
ZEVEC ZeRndrShadBox[2];
ZESHADQUAD ZeRndrShadPolDat[ZESHAD_QUADS];
int ZeRndrShadowCnt;
uint16_t watertab[ZEGRID_ROWS * ZEGRID_COLS][4];
uint16_t Hazetab[ZEGRID_ROWS * ZEGRID_COLS][4];
int zerndr_shadowson = 1, testswitch, testdebug;
uint32_t* zerndr_lightfan;
int ZeRndrShadFanBuff;

namespace {

constexpr uint32_t VIF_UNPACK_V4_32 = 0x6C000000, VIF_UNPACK_V3_32 = 0x68000000, VIF_UNPACK_V4_16 = 0x6D000000,
                   VIF_UNPACK_V2_32 = 0x64000000, VIF_REL = 0x8000;
uint32_t Unpack(uint32_t kind, int qw, int addr, bool rel) {
  return kind | uint32_t(qw & 0xff) << 16 | (rel ? VIF_REL : 0) | uint32_t(addr & 0x3ff);
}
// GIF tags of the template header: fan (EOP, PRE, triangle fan) at absolute
// 0x56 and strip (EOP, PRE, triangle strip) at relative 0xd2; ST RGBAQ XYZ2.
uint32_t* GifTagWords(uint32_t* p, int nloop, int prim) {
  const uint64_t lo = uint64_t(nloop & 0x7fff) | 1ull << 15 | 1ull << 46 | uint64_t(prim) << 47 | 3ull << 60;
  return ZeRndrPutQ(p, uint32_t(lo), uint32_t(lo >> 32), 0x512, 0);
}
// The template header's words after its DMA tag: the two GIF tags and the
// count quadword (V4-16 to relative 2).
uint32_t* HeaderWords(uint32_t* p, int fanLoops, int stripLoops, int count) {
  *p++ = Unpack(VIF_UNPACK_V4_32, 1, 0x56, false);
  p = GifTagWords(p, fanLoops, GS_PRIM_TRIFAN);
  *p++ = Unpack(VIF_UNPACK_V4_32, 1, 0xd2, true);
  p = GifTagWords(p, stripLoops, GS_PRIM_TRISTRIP);
  *p++ = Unpack(VIF_UNPACK_V4_16, 1, 2, true);
  *p++ = uint32_t(count & 0xffff);
  *p++ = 0;
  return p;
}
inline uint32_t FBits(float f) { return ZeRndrFloatBits(f); }

// The templates and the renderer's own fan buffer (outside the frame's
// stream memory).
alignas(16) uint32_t g_cylCap[64];
alignas(16) uint32_t g_cyl[48];
constexpr int FAN_QWORDS = 32;
alignas(16) uint32_t g_fanBuffer[FAN_QWORDS * 4];

uint32_t* Template(uint32_t* at, int stripLoops, int count, const float (*pts)[3], int n) {
  uint32_t* p = vpDmaTag_Ret(at);
  p = HeaderWords(p, 0, stripLoops, count);
  *p++ = Unpack(VIF_UNPACK_V4_32, n, 3, true);
  for (int i = 0; i < n; i++) p = ZeRndrPutQ(p, FBits(pts[i][0]), FBits(pts[i][1]), FBits(pts[i][2]), 0);
  vpDmaTag_Close(p);
  return at;
}


// Stencil sway angles.
int g_swayA, g_swayB;
// The height word of the pass.
float g_height;

ZESHADSTORE* Add(const ZEMTX* m) {
  if (shadstorecnt >= ZESHAD_STORE) return nullptr;
  ZESHADSTORE* e = &shadstore[shadstorecnt++];
  memset(static_cast<void*>(e), 0, sizeof *e);
  e->matrix = *m;
  return e;
}

void ShapeUnpacks(uint32_t** pp, float height, const ZEMTX* m, const ZEVEC* light, const uint32_t* words,
                  const int* pick, int nwords, int entry) {
  uint32_t* p = *pp;
  const ZEMTX* cam = ZeCameraGetMtx();
  *p++ = Unpack(VIF_UNPACK_V4_32, 1, 0xa5, true);
  p = ZeRndrPutQ(p, FBits(cam->m[3][0]), FBits(cam->m[3][1]), FBits(cam->m[3][2]), FBits(height));
  *p++ = Unpack(VIF_UNPACK_V4_32, 4, 0xa6, true);
  memcpy(p, m, 64);
  p += 16;
  *p++ = Unpack(VIF_UNPACK_V3_32, 1 + nwords / 3, 0xaa, true);
  *p++ = FBits(light->x), *p++ = FBits(light->y), *p++ = FBits(light->z);
  for (int i = 0; i < nwords; i++) *p++ = words[pick[i]];
  *p++ = VIFCODE_MSCAL | uint32_t(0x300 + entry);
  *pp = p;
}

}  // namespace

// ---- start-up --------------------------------------------------------------

uint32_t* ZeRndrCylCapMakeData() {
  static const float pts[9][3] = {{1, 0, 1},  {-1, 0, 1}, {-1, 0, 0}, {-1, 0, 0}, {-1, 0, -1},
                                  {1, 0, -1}, {1, 0, 0},  {1, 0, 0},  {1, 0, 1}};
  return Template(g_cylCap, 18, 54, pts, 9);
}
uint32_t* ZeRndrCylMakeData() {
  static const float pts[5][3] = {{1, 0, 1}, {-1, 0, 1}, {-1, 0, -1}, {1, 0, -1}, {1, 0, 1}};
  return Template(g_cyl, 10, 30, pts, 5);
}

// The renderer's start-up: templates, the default shadow light and an empty
// quad queue.
void ZeRndrShadowStartUp() {
  ZRCylCapData = ZeRndrCylCapMakeData();
  ZRCylData = ZeRndrCylMakeData();
  const ZEVEC dir = {0.0f, -0.75f, -0.75f};
  ZeRndrShadowDirCol(&dir, 0x10808080u, 4.0f, 6.0f);
  ZeRndrShadowCnt = 0;
}

void ZeRndrShadowInit(const uint8_t* bytes) {
  shadstorecnt = 0;
  const int rows = (ZePower2(PS2_REZ_H) >> 4) + 1;
  if (!bytes) return;
  const uint8_t* b = bytes + 20;
  for (uint16_t(*tab)[4] : {watertab, Hazetab}) {
    const bool water = tab == watertab;
    for (int c = 0; c < ZEGRID_COLS; c++)
      for (int r = 0; r < rows && r < ZEGRID_ROWS; r++) {
        uint16_t* e = tab[r * ZEGRID_COLS + c];
        e[0] = e[1] = 0;
        e[2] = uint16_t(water ? b[0] * 5 + 256 : b[0] * 8 + 128);
        e[3] = uint16_t(water ? b[1] * 5 + 256 : b[1] * 8 + 128);
        b += 2;
      }
  }
}

// ---- the store and the light --------------------------------------------------

ZESHADSTORE* ZeRndrAddShadowCylinder(ZESHADCYL* records, const ZEMTX* m, int count) {
  ZESHADSTORE* e = Add(m);
  if (e) e->cylinders = records, e->ncylinders = uint8_t(count);
  return e;
}
ZESHADSTORE* ZeRndrAddShadowEllips(ZESHADELLIPSE* records, const ZEMTX* m, int count) {
  ZESHADSTORE* e = Add(m);
  if (e) e->ellipsoids = records, e->nellipsoids = uint8_t(count);
  return e;
}
ZESHADSTORE* ZeRndrAddShadowMesh(ZESHADMESH* mesh, const ZEMTX* m, int flag) {
  ZESHADSTORE* e = Add(m);
  if (e) e->mesh = mesh, e->meshflag = uint8_t(flag);
  return e;
}

void ZeRndrShadowDirCol(const ZEVEC* dir, uint32_t colour, float fade, float fadefar) {
  curlight = *dir;
  curlightfade = fade;
  curlightfadefar = fadefar;
  curlightcol = ((colour >> 24) << 25) + ((colour >> 1) & 0x7f7f7fu);
}

void ZeRndrShadowOnOff(int on) { zerndr_shadowson = on; }

void ZeRndrSplineSearch(ZEGSCENE* scene) {
  ZeRndrShadMaskCount +=
      ZeSplineFindAllSub(scene, "stencil", ZeRndrShadMasks + ZeRndrShadMaskCount, 32 - ZeRndrShadMaskCount);
}

void ZeRndrSplineForget(const ZEGSCENE* scene) {
  const ZESPLINE* first = scene->splines.get();
  const ZESPLINE* end = first + scene->nspline;
  int kept = 0;
  for (int i = 0; i < ZeRndrShadMaskCount; i++)
    if (ZeRndrShadMasks[i] < first || ZeRndrShadMasks[i] >= end) ZeRndrShadMasks[kept++] = ZeRndrShadMasks[i];
  ZeRndrShadMaskCount = kept;
}

namespace {
const ZEVEC& SplinePoint(const ZESPLINE* s, int i) {
  return *reinterpret_cast<const ZEVEC*>(s->points.get() + i * s->ptsize);
}
}  // namespace

void ZeRndrShadowStencil(int paused, const ZEVEC* player) {
  const float w16 = float(zerndr_pixel_width * 16), h16 = float(zerndr_pixel_height * 16);
  ZeRndrShadBox[0] = {0.0f, 0.0f, 0.0f};
  ZeRndrShadBox[1] = {w16, h16, 0.0f};
  if (ZeRndrShadMaskCount <= 0 || shadstorecnt == 0) return;
  const ZESPLINE* best = nullptr;
  float bestd = 0.0f;
  for (int i = 0; i < ZeRndrShadMaskCount; i++) {
    const ZESPLINE* s = ZeRndrShadMasks[i];
    // A mask needs its light point, its sway point and an outline.
    if (!s || s->count < 3) continue;
    const ZEVEC& p0 = SplinePoint(s, 0);
    const float dx = player->x - p0.x, dz = player->z - p0.z, d = dx * dx + dz * dz;
    if (!best || d < bestd) best = s, bestd = d;
  }
  if (!best || bestd > 400.0f) {
    shadstorecnt = 0;
    return;
  }
  if (!paused) {
    g_swayA += 3700;
    g_swayB = int(float(g_swayB) + ZeTrigSin(g_swayA) * 1111.0f + 2111.0f);
  }
  const int n = best->count;
  const ZEVEC& p0 = SplinePoint(best, 0);
  const ZEVEC& p1 = SplinePoint(best, 1);
  float cx = 0.0f, cz = 0.0f;
  for (int i = 2; i < n; i++) cx += SplinePoint(best, i).x, cz += SplinePoint(best, i).z;
  cx /= float(n - 2), cz /= float(n - 2);
  float ux = p0.x - cx, uz = p0.z - cz;
  const float ul = std::sqrt(ux * ux + uz * uz);
  if (ul > 0.0f) ux /= ul, uz /= ul;
  const float w = ZeTrigCos(g_swayA) * 0.5f + ZeTrigSin(g_swayB);
  const float dx = (player->x - p0.x) - 2.0f * ux - w * (p0.x - p1.x) * 0.15f;
  const float dz = (player->z - p0.z) - 2.0f * uz - w * (p0.z - p1.z) * 0.15f;
  ZEVEC mn = {w16, h16, 0.0f}, mx = {0.0f, 0.0f, 0.0f};
  for (int i = 2; i < n; i++) {
    ZEVEC4 q;
    ZeVec4MtxTransform(&q, &SplinePoint(best, i), ZeCameraGetVPCSMtx());
    if (q.w <= 0.25f) continue;
    const float x = q.x / q.w - float(0x8000 - (zerndr_pixel_width / 2) * 16);
    const float y = q.y / q.w - float(0x8000 - (zerndr_pixel_height / 2) * 16);
    mn.x = std::min(mn.x, x), mn.y = std::min(mn.y, y);
    mx.x = std::max(mx.x, x), mx.y = std::max(mx.y, y);
  }
  if (mx.x == 0.0f || mn.x == w16 || mx.y == 0.0f || mn.y == h16) {
    shadstorecnt = 0;
    return;
  }
  ZeRndrShadBox[0] = mn;
  ZeRndrShadBox[1] = mx;
  const float dl = std::sqrt(dx * dx + dz * dz);
  curlight = dl > 0.0f ? ZEVEC{2.0f * dx / dl, -0.2f, 2.0f * dz / dl} : ZEVEC{0.0f, -0.2f, 0.0f};
  curlightcol = 0x101010;
  curlightfade = 4.0f;
  curlightfadefar = 6.0f;
}

// ---- light fans ---------------------------------------------------------------

uint32_t* ZeRndrShadowLightFanAddr(ZEVEC* light, uint32_t* addr) {
  const int yaw = ZeAtan2D(light->x, light->z);
  int pitch = ZeAtan2D(-light->y, std::sqrt(light->x * light->x + light->z * light->z));
  if (pitch < 0x2000) pitch = 0x2000;
  const float sy = ZeTrigSin(yaw), cy = ZeTrigCos(yaw), sp = ZeTrigSin(pitch), cp = ZeTrigCos(pitch);
  *light = {cp * sy, -sp, cp * cy};
  for (int k = 0; k < 8; k++) {
    const int a = k * 0x2000;
    const float sa = ZeTrigSin(a), ca = ZeTrigCos(a);
    lightfan[k] = {ca * cy - sa * sp * sy, -sa * cp, -ca * sy - sa * sp * cy};
  }
  lightfan[8] = lightfan[0];
  uint32_t* p = vpDmaTag_Ret(addr);
  p = HeaderWords(p, 0, 18, 54);
  *p++ = Unpack(VIF_UNPACK_V4_32, 10, 3, true);
  p = ZeRndrPutQ(p, 9, 0, 0, 0);
  for (const ZEVEC& d : lightfan) p = ZeRndrPutQ(p, FBits(d.x), FBits(d.y), FBits(d.z), 0);
  vpDmaTag_Close(p);
  return addr;
}

uint32_t* ZeRndrShadowLightFan() {
  ZeRndrShadFanBuff = 0;
  uint32_t* at = zerndr_lightfan ? zerndr_lightfan : g_fanBuffer + ZeRndrShadFanBuff * 4;
  return ZeRndrShadowLightFanAddr(&curlight, at);
}

// ---- shape packets ----------------------------------------------------------------

void ZeRndrShadowCylinderCap(float height, const ZEMTX* m, ZESHADCYL* records, int count, const ZEVEC* light) {
  static const int pick[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12};
  ZERNDRSTREAM* s = rndrstream_fx;
  for (int i = 0; i < count; i++) {
    const ZESHADCYL& r = records[i];
    if (r.words[1] & 2) continue;
    ZeRndrStreamCheckSpace(s->write, 48 * 16);
    uint32_t* p = vpDmaTag_Call(s->write, (r.words[0] & 1) ? ZRCylCapData : ZRCylData);
    p = vpDmaTag_Cnt(p);
    ShapeUnpacks(&p, height, m, light, r.words, pick, 12, 0x00);
    s->write = vpDmaTag_Close(p);
  }
}

void ZeRndrShadowEllipse(float height, const ZEMTX* m, ZESHADELLIPSE* records, int count, const ZEVEC* light) {
  static const int pick[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  ZERNDRSTREAM* s = rndrstream_fx;
  for (int i = 0; i < count; i++) {
    uint32_t words[12];
    memcpy(words, &records[i], 48);
    if (words[1] & 2) continue;
    ZeRndrStreamCheckSpace(s->write, 48 * 16);
    uint32_t* p = vpDmaTag_Call(s->write, ZRFanData);
    p = vpDmaTag_Cnt(p);
    ShapeUnpacks(&p, height, m, light, words, pick, 12, 0x02);
    s->write = vpDmaTag_Close(p);
  }
}

void ZeRndrShadowPols(float height, const ZEMTX* m, ZESHADPOLY* polys, ZESHADVTX* verts, const ZEVEC* light) {
  ZERNDRSTREAM* s = rndrstream_fx;
  const int npolys = verts[0].w;
  // Counts come from the model's data: refuse a damaged record rather than
  // send VU1 batches past its buffer.
  if (npolys < 0 || npolys > 4096) ZeError("Shadow mesh: %d polygons", npolys);
  const ZEMTX* cam = ZeCameraGetMtx();
  auto header = [&](uint32_t* p) {
    p = vpDmaTag_Cnt(p);
    p = HeaderWords(p, 0, 0, 0);
    *p++ = Unpack(VIF_UNPACK_V2_32, 1, 2, true);
    *p++ = 0, *p++ = FBits(height);
    *p++ = Unpack(VIF_UNPACK_V4_32, 1, 0xbe, true);
    p = ZeRndrPutQ(p, FBits(cam->m[3][0]), FBits(cam->m[3][1]), FBits(cam->m[3][2]), 0);
    *p++ = Unpack(VIF_UNPACK_V4_32, 4, 0xbf, true);
    memcpy(p, m, 64);
    p += 16;
    *p++ = Unpack(VIF_UNPACK_V4_32, 1, 0xc3, true);
    p = ZeRndrPutQ(p, FBits(light->x), FBits(light->y), FBits(light->z), 0);
    return vpDmaTag_Close(p);
  };
  const uint32_t entry = testdebug ? 0x30e : 0x304;
  ZeRndrStreamCheckSpace(s->write, 64 * 16);
  uint32_t* p = header(s->write);
  int closes = 0, used = 0, v = 0;
  p = vpDmaTag_Cnt(p);
  auto close = [&] {
    *p++ = Unpack(VIF_UNPACK_V4_32, 1, 0xa5 + used, true);
    p = ZeRndrPutQ(p, 0, 0, 0, 0);
    *p++ = VIFCODE_MSCAL | entry;
    s->write = vpDmaTag_Close(p);
    ZeRndrStreamCheckSpace(s->write, 64 * 16);
    p = s->write;
    // The second buffer gets the header block once.
    if (++closes == 1) p = header(p);
    p = vpDmaTag_Cnt(p);
    used = 0;
  };
  for (int i = 0; i < npolys; i++) {
    const int n = polys[i].count;
    if (n < 3 || n > 14) ZeError("Shadow mesh: polygon %d has %d vertices", i, n);
    if (used + 1 + n > 15) close();
    *p++ = Unpack(VIF_UNPACK_V4_32, 1, 0xa5 + used, true);
    memcpy(p, &polys[i], 16);
    p += 4;
    *p++ = Unpack(VIF_UNPACK_V3_32, n, 0xa6 + used, true);
    for (int k = 0; k < n; k++, v++) *p++ = FBits(verts[v].x), *p++ = FBits(verts[v].y), *p++ = FBits(verts[v].z);
    used += 1 + n;
  }
  *p++ = Unpack(VIF_UNPACK_V4_32, 1, 0xa5 + used, true);
  p = ZeRndrPutQ(p, 0, 0, 0, 0);
  *p++ = VIFCODE_MSCAL | entry;
  s->write = vpDmaTag_Close(p);
}

// ---- the pass ---------------------------------------------------------------------

int ZeRndrShadowBend(ZEVEC* light, int* alpha, float dist2, const ZEVEC* camz) {
  if (dist2 >= 22.5625f) return 1;
  const ZEVEC down = {0.0f, -1.0f, 0.0f};
  const float dist = std::sqrt(dist2);
  const float c = light->x * camz->x + light->y * camz->y + light->z * camz->z;
  if (dist2 <= 7.5625f) {
    *light = down;
  } else if (c < 0.0f) {
    const float f = c <= -0.5f ? (dist - 2.75f) * 0.5f : 2.0f * ((dist - 2.75f) * 0.5f - 1.0f) * (-c) + 1.0f;
    *light = {f * light->x, f * light->y + (1.0f - f) * -1.0f, f * light->z};
  }
  const float c2 = light->x * camz->x + light->y * camz->y + light->z * camz->z;
  const float s = std::min((c2 - 0.25f) * (4.75f - dist) + 1.0f, 1.0f);
  if (s <= 0.0f) return 0;
  *light = {light->x * s, light->y * s, light->z * s};
  if (s < 0.5f) *alpha = int(float(*alpha) * s * 2.0f);
  return 1;
}

void ZeRndrShadowStack() {
  ZeVpSetSize(4096.0f, float(PS2_REZ_H * 16));
  ZeCameraSet(&global_camera);
  int groups = 0;
  for (int i = 0; i < shadstorecnt; i++) groups += i == 0 || shadstore[i].group != shadstore[i - 1].group;
  uint32_t* fans = groups ? static_cast<uint32_t*>(ZeRndrStreamAlloc(groups * FAN_QWORDS)) : nullptr;
  ZERNDRSTREAM* s = rndrstream_fx;
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  ZeLgtUseMtl(s, ZeLightAddMat2, ~0ull);
  {
    uint32_t* p = ZeRndrOpenAd(s->write, VIFCODE_FLUSH, 0);
    p = ZeRndrPutAd(p, GS_COLCLAMP, 0);
    s->write = ZeRndrCloseAd(p);
  }
  ZEMTX id;
  ZeMtxSetIdentity(&id);
  ZeRndrSetLocalMtx(&id, 1);
  s->view_mtx_id = -1;
  ZeRndrStreamSetViewMtx(s);
  ZeRndrStreamSetLocalMtx(s);
  ZeRndrStreamFxMPGEx(1, s);
  int program = 1;
  const ZEMTX* cam = ZeCameraGetMtx();
  const ZEVEC campos = {cam->m[3][0], cam->m[3][1], cam->m[3][2]};
  const ZEVEC camz = {cam->m[2][0], cam->m[2][1], cam->m[2][2]};
  g_height = 0.0f;
  bool on = false;
  ZEVEC light = {0, -1, 0};
  int g = -1;
  for (int i = 0; i < shadstorecnt; i++) {
    ZESHADSTORE& e = shadstore[i];
    if (i == 0 || e.group != shadstore[i - 1].group) {
      g++;
      const float dx = e.matrix.m[3][0] - campos.x, dy = e.matrix.m[3][1] - campos.y, dz = e.matrix.m[3][2] - campos.z;
      const float dist2 = dx * dx + dy * dy + dz * dz;
      on = e.fadefar * e.fadefar > dist2;
      int alpha = e.alpha;
      uint32_t* fan = fans + g * FAN_QWORDS * 4;
      if (on && e.light.x >= 65536.0f) {
        light = {0.0f, -1.0f, 0.0f};
        ZRFanData = ZeRndrShadowLightFanAddr(&light, fan);
        if (program != 5) ZeRndrStreamFxMPGEx(5, s), program = 5;
        g_height = e.light.y;
      } else if (on) {
        light = testswitch ? ZEVEC{0.0f, -1.0f, 0.0f} : e.light;
        on = ZeRndrShadowBend(&light, &alpha, dist2, &camz) != 0;
        if (on) {
          if (program != 1) ZeRndrStreamFxMPGEx(1, s), program = 1;
          ZRFanData = ZeRndrShadowLightFanAddr(&light, fan);
          light = {light.x * 4.0f, light.y * 4.0f, light.z * 4.0f};
        }
      }
      if (on) {
        const float dist = std::sqrt(dist2);
        if (e.fade * e.fade < dist2) alpha = int(float(alpha) * (e.fadefar - dist) / (e.fadefar - e.fade));
        uint32_t* p = ZeRndrOpenAd(s->write, VIFCODE_FLUSH, 0);
        const uint32_t mask = uint32_t((uint64_t(uint32_t(0x7f - alpha)) << 24) + 0x80000000ull);
        p = ZeRndrPutAd(p, GS_FRAME_1, (cur_rt & 0xffffffffull) | uint64_t(mask) << 32);
        s->write = ZeRndrCloseAd(p);
      }
    }
    if (!on) continue;
    if (e.ncylinders) ZeRndrShadowCylinderCap(g_height, &e.matrix, e.cylinders.get(), e.ncylinders, &light);
    if (e.nellipsoids) ZeRndrShadowEllipse(g_height, &e.matrix, e.ellipsoids.get(), e.nellipsoids, &light);
    if (e.mesh) ZeRndrShadowPols(g_height, &e.matrix, e.mesh->polygons.get(), e.mesh->vertices.get(), &light);
  }
  ZeRndrStreamFxMPGEx(0, s);
  ZeRndrEndSegment(s, s->write);
  ZeVpSetSize(float(PS2_REZ_W * 16), float(PS2_REZ_H * 16));
  ZeCameraSet(&global_camera);
  shadstorecnt = 0;
}

void ZeRndrShadow(int paused) {
  const int saved = txupload_on;
  txupload_on = 0;
  ZeRndrBeginSceneEx(ZeLgtHSurf[2], ZeLgtHSurf[1], 0);
  // The volumes' surface: colour 0x7f each channel, alpha 0.
  ZERNDRSTREAM* s = rndrstream_fx;
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  ZeLgtUseMtl(s, ZeLgtGreyNZMat, ~0ull);
  for (int i = 0; i < 4; i++)
    ZeRndrRectUVStream(s, i * 1024, 0, 1016, PS2_REZ_H * 16 - 8, 0x007f7f7f, 1, 0, 0, 0, 0);
  ZeRndrEndSegment(s, s->write);
  ZeRndrShadowStack();
  // Keep only the top bit of each colour channel: the volume count's sign.
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  ZeLgtUseMtl(s, ZeLightAddMat, ~0ull);
  {
    uint32_t* p = ZeRndrOpenAd(s->write, VIFCODE_FLUSH, 0);
    p = ZeRndrPutAd(p, GS_FRAME_1, (cur_rt & 0xffffffffull) | uint64_t(0xff808080u) << 32);
    p = ZeRndrPutAd(p, GS_PRMODE, 0);
    p = ZeRndrPutAd(p, GS_COLCLAMP, 1);
    s->write = ZeRndrCloseAd(p);
  }
  for (int i = 0; i < 4; i++)
    ZeRndrRectUVStream(s, -8 + i * 1024, -8, 1024, PS2_REZ_H * 16, 0, 0xffffff, 0, 0, 0, 0);
  ZeRndrEndSegment(s, s->write);
  ZeRndrStreamFlush();
  // The composite over the frame inside the shadow box.
  ZeRndrBeginSceneEx(-1, -2, 0);
  ZERNDRSTREAM* t = rndrstream_3d;
  ZeRndrStreamLink(t);
  ZeRndrStreamSetMisc(t);
  ZeLgtUseMtl(t, ZeLgtSurf[2], ~0ull);
  uint32_t* p = ZeLgtOpenSprites(t);
  const float pw = float(ZePower2(PS2_REZ_W)), ph16 = float(ZePower2(PS2_REZ_H) * 16);
  const float mnx = ZeRndrShadBox[0].x, mny = ZeRndrShadBox[0].y, mxx = ZeRndrShadBox[1].x, mxy = ZeRndrShadBox[1].y;
  const int ox = ZeLgtX0(), oy = ZeLgtY0();
  for (int k = int(std::floor(mnx)) >> 10; k < (int(std::floor(mxx)) + 0x3ff) >> 10; k++) {
    const float x0 = std::max(float(k * 1024), mnx), x1 = std::min(float((k + 1) * 1024), mxx);
    p = ZeLgtSpriteRegs(p, x0 * 0.025f / pw, mny / ph16, ox + int(x0) - 8, oy + int(mny) - 8, ox + int(x1) - 8,
                        oy + int(mxy) - 8, 0x80404040u, 0, x1 * 0.025f / pw, mxy / ph16);
  }
  ZeLgtCloseSprites(t, p);
  ZeRndrStreamFlush();
  (void)paused;
  txupload_on = saved;
}

// ---- quad shadows -------------------------------------------------------------------

void ZeRndrAddShadow(ZEVEC* pos, int alpha, int xang, int yang, int zang, float size) {
  const ZEVEC mn = {pos->x - size, pos->y, pos->z - size}, mx = {pos->x + size, pos->y, pos->z + size};
  if (ZeCameraClipTestExtents(&mn, &mx, nullptr) == 0 || ZeRndrShadowCnt >= ZESHAD_QUADS) return;
  pos->y += 0.01f;
  ZESHADQUAD& q = ZeRndrShadPolDat[ZeRndrShadowCnt++];
  q.pos = *pos;
  q.size = size;
  q.alpha = uint16_t(alpha), q.xang = uint16_t(xang), q.yang = uint16_t(yang), q.zang = uint16_t(zang);
}

void ZeRndrStreamQuadShad(ZERNDRSTREAM* s) {
  static ZERNDRQUADVTX v[4 * ZESHAD_QUADS];
  int n = 0;
  for (int i = 0; i < ZeRndrShadowCnt; i++) {
    const ZESHADQUAD& q = ZeRndrShadPolDat[i];
    const float c[4][2] = {{-q.size, -q.size}, {q.size, -q.size}, {-q.size, q.size}, {q.size, q.size}};
    auto rot = [](float& a, float& b, int ang) {
      const float sn = ZeTrigSin(ang), cs = ZeTrigCos(ang), x = a * cs + b * sn, y = b * cs - a * sn;
      a = x, b = y;
    };
    for (int k = 0; k < 4; k++) {
      ZEVEC p = {c[k][0], 0.0f, c[k][1]};
      rot(p.z, p.x, q.yang);  // about Y
      if (q.zang) rot(p.x, p.y, q.zang);
      if (q.xang) rot(p.y, p.z, q.xang);
      v[n++] = {{p.x + q.pos.x, p.y + q.pos.y, p.z + q.pos.z}, k < 2 ? 0x8000u : 0u, 0, 0, uint32_t(q.alpha & 0xff) << 24};
    }
  }
  ZeRndrStreamQuads(s, v, n, VIFCODE_NOP);
}

// ---- random shape points and helpers --------------------------------------------

void ZeRndrCalcRandEllipsePos(ZEVEC4* out, const ZEMTX* m, const ZESHADELLIPSE* e) {
  ZEVEC d = {float(ZeWindRand() - 0x8000), float(ZeWindRand() - 0x8000), float(ZeWindRand() - 0x8000)};
  const float l = ZeVecMag(&d);
  if (l > 0.0f) d = {d.x / l, d.y / l, d.z / l};
  ZEVEC p;
  for (int i = 0; i < 3; i++)
    (&p.x)[i] = e->centre[i] + d.x * e->axis1[i] + d.y * e->axis2[i] + d.z * e->axis3[i];
  ZeVec4MtxTransform(out, &p, m);
}

void ZeRndrCalcRandCylinderPos(ZEVEC4* out, const ZEMTX* m, const ZESHADCYL* c) {
  float w[12];
  memcpy(w, c->words, 48);
  const float dx = float(ZeWindRand() - 0x8000) / 32768.0f;
  float dy = float(ZeWindRand() - 0x8000), dz = float(ZeWindRand() - 0x8000);
  const float l = std::sqrt(dy * dy + dz * dz);
  if (l > 0.0f) dy /= l, dz /= l;
  ZEVEC p;
  for (int i = 0; i < 3; i++) (&p.x)[i] = w[i] + dx * w[3 + i] + dy * w[6 + i] + dz * w[9 + i];
  ZeVec4MtxTransform(out, &p, m);
}

void DeRotateVectorAngles(const ZEVEC* v, float* xangle, float* yangle) {
  *yangle = float(ZeAtan2D(v->x, v->z));
  *xangle = float(ZeAtan2D(-v->y, std::sqrt(v->x * v->x + v->z * v->z)));
}

void RotateCyl(float xangle, float yangle, ZEVEC* v) {
  const int xa = int(xangle), ya = int(yangle);
  const float sx = ZeTrigSin(xa), cx = ZeTrigCos(xa), sy = ZeTrigSin(ya), cy = ZeTrigCos(ya);
  const float y = v->y * cx - v->z * sx, z = v->y * sx + v->z * cx;
  v->y = y, v->z = z;
  const float x = v->x * cy + v->z * sy, z2 = -v->x * sy + v->z * cy;
  v->x = x, v->z = z2;
}

void ZeRndrAnglesZX(ZEVEC* v, ZEVEC* angles) {
  angles->x = float(ZeAtan2D(v->z, v->y));
  const int a = -int(angles->x);
  const float s = ZeTrigSin(a), c = ZeTrigCos(a);
  const ZEVEC r = {v->x, v->y * c - v->z * s, v->y * s + v->z * c};
  angles->z = -float(ZeAtan2D(r.x, r.y));
}

float GlobalCam3DNClip(const ZEVEC* a, const ZEVEC* b, const ZEVEC* c) {
  ZEVEC n;
  ZeVecCrossRel(&n, a, b, c);
  const ZEMTX* cam = ZeCameraGetMtx();
  return (a->x - cam->m[3][0]) * n.x + (a->y - cam->m[3][1]) * n.y + (a->z - cam->m[3][2]) * n.z;
}
