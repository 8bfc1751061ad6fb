// Rain: one particle effect of 640 drops kept seeded round the camera, moved
// with it when it jumps, drawn after the glass particles with a small streak
// texture redrawn every frame in the glass pass's reserved video memory, the
// type's renderer steps turned each frame along the fall on the screen.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "debris_local.h"

int ZeRainKey = -1;
float ZeRainFall = 0.0f;
ZEMTX ZeRainOld = {{{ZERAIN_NOT_TAKEN}}};
int ZeCamAngx = 0, ZeCamAngy = 0, ZeCamAngxEx = 0;
int ZeRainTwist = 0, ZeRainWob = 0;
int ZeRainInactive = 0;
int testrain = 1;
ZETEXID ZeRainTex = 0;
ZEMTL* ZeRainMtl = nullptr;

namespace {

constexpr float DROP_RATE = 106.667f;  // envelope steps a second: a life of 0.6 s
constexpr int INACTIVE_FRAMES = 64;
// The streak's corner words are in 1/16384 of a world unit: the renderer
// reads corner offsets in world units, the rain passes its size parameter as
// 1.0 (the header's 1/16384 word).
constexpr float CORNER_UNIT = 1.0f / 16384.0f;
constexpr int STREAK_W = 64, STREAK_H = 32;
constexpr int DROP_Z = 0xffffff;  // in front of whatever the frame's depth holds there

// A 16-bit angle, signed.
int Angle16(int a) { return int(int16_t(uint16_t(a & 0xffff))); }

ZEVEC Row(const ZEMTX& m, int r) { return {m.m[r][0], m.m[r][1], m.m[r][2]}; }

// The key goes back to the free pool; a key without a type has nothing
// more to give back.
void GiveBackKey() {
  if (DebKeyType(DebKey(ZeRainKey))) DebFreeInstantly(&ZeRainKey);
  else DebReleaseKey(ZeRainKey);
  ZeRainKey = -1;
}

// Takes the key and gives it the rain's type, when the general page has one.
void TakeKey() {
  ZeRainInactive = 0;
  const int key = DebAlloc();
  if (key < 0) return;
  ZeRainKey = key;
  DebrisKey* k = &debkeydata[key];
  k->type = 0;
  ZeMtxSetIdentity(&k->effect);
  ZeMtxSetIdentity(&k->emitter);
  k->pos = {0, 0, 0};
  const int type = LookupDebrisEffectPage("FENN_RAIN", 0);
  DebrisEffectType* t = DebType(type);
  if (!t) return;
  k->type = int16_t(type);
  DebReAlloc(key, ZERAIN_DROPS);
  k->cursor = 0;
  GenericDebinfoDmaTypeUpdate(t);
}

// Every drop of the key moved by d.
void ShiftDrops(DebrisKey* k, const DebrisEffectType* t, const ZEVEC& d) {
  const int per = DebPerChunk(t);
  for (int c = 0; c < k->nchunks; c++) {
    DebrisParticle* p = DebrisChunkParticles(k->chunks[c]);
    for (int i = 0; i < per; i++) p[i].x += d.x, p[i].y += d.y, p[i].z += d.z;
  }
}

// One new drop at the key's cursor.
void SeedDrop(DebrisKey* k, const DebrisEffectType* t, const ZEVEC& P, const ZEVEC& camvel) {
  const int per = DebPerChunk(t);
  if (k->cursor >= per * k->nchunks) k->cursor = 0;
  DebrisParticle* p = DebrisChunkParticles(k->chunks[k->cursor / per]) + k->cursor % per;
  p->birth = globaltime + timeincrement;
  p->rate = DROP_RATE;
  const int A = ZeCamAngxEx, Ax = ZeCamAngx, Ay = ZeCamAngy;
  const float cosA = DebCos(A), sinA = DebSin(A), cosAx = DebCos(Ax);
  const float spread = 1.0f + 3.0f * (1.0f - cosA);
  const float r1 = float(ZeWindRand()), r2 = float(ZeWindRand());
  const int o = EeFtoi(r1 * spread / 8.0f - 4096.0f * spread);
  const float e = r2 / (32768.0f * spread);
  const float D = e * (e + 8.0f) * (0.25f * cosA + 0.75f);
  const float H = D / 4.0f + 1.0f + sinA;
  const float r3 = float(ZeWindRand()), r4 = float(ZeWindRand());
  p->vx = 3.0f * cosAx + r3 / 131070.0f - 0.25f;
  p->vy = -15.0f;
  p->vz = 3.0f * cosAx + r4 / 131070.0f - 0.25f;
  const float back = 2.0f * (0.75f * cosA + 0.25f);
  p->x = P.x + D * DebSin(Ay + o) - back * DebSin(Ay) + p->vx * H / p->vy;
  p->y = P.y + H;
  p->z = P.z + D * DebCos(Ay + o) - back * DebCos(Ay) + p->vz * H / p->vy;
  p->vx += camvel.x, p->vy += camvel.y, p->vz += camvel.z;
  k->cursor += 1;
}

// Creating, feeding, moving or ending the effect (all but the last step).
void Feed(const ZEMTX& cam, int paused) {
  if (ZeRainKey == -1) {
    if (ZeRainFall == 0.0f) return;
    TakeKey();
    if (ZeRainKey == -1) return;
  }
  DebrisKey* k = &debkeydata[ZeRainKey];
  if (ZeRainFall == 0.0f) {
    DebReAlloc(ZeRainKey, 0);
    if (k->nchunks == 0) {
      DebReleaseKey(ZeRainKey);
      ZeRainKey = -1;
    }
    return;
  }
  if (k->want_chunks < k->nchunks) DebReAlloc2(ZeRainKey);
  const DebrisEffectType* t = DebKeyType(k);
  const ZEVEC P = Row(cam, 3), O = Row(ZeRainOld, 3);
  if (std::fabs(P.x - O.x) > 1.0f || std::fabs(P.y - O.y) > 1.0f || std::fabs(P.z - O.z) > 1.0f) {
    // The point 3.5 ahead of the camera, new against old.
    const ZEVEC Z = Row(cam, 2), OZ = Row(ZeRainOld, 2);
    const ZEVEC d = {(P.x + 3.5f * Z.x) - (O.x + 3.5f * OZ.x), (P.y + 3.5f * Z.y) - (O.y + 3.5f * OZ.y),
                     (P.z + 3.5f * Z.z) - (O.z + 3.5f * OZ.z)};
    if (t) ShiftDrops(k, t, d);
    ZeRainOld.m[3][0] = P.x, ZeRainOld.m[3][1] = P.y, ZeRainOld.m[3][2] = P.z;
  }
  if (!t || k->nchunks == 0 || paused) return;
  const int drops = ZeRainFall < 0.25f ? std::max(1, EeFtoi(ZeRainFall * 64.0f)) : 16;
  ZeRainTwist = (ZeRainTwist + 887) & 0xffff;
  ZeRainWob = (ZeRainWob + 731) & 0xffff;
  const ZEVEC Y = Row(cam, 1), Z = Row(cam, 2);
  ZeCamAngx = Angle16(16384 - ZeAtan2D(Y.y, Z.y));
  ZeCamAngy = Angle16(ZeAtan2D(-Z.x, -Z.z) - 32768);
  ZeCamAngxEx = std::clamp(ZeCamAngx * 15 / 8, -16384, 16384);
  const ZEVEC O2 = Row(ZeRainOld, 3);
  const ZEVEC camvel = {(P.x - O2.x) * 60.0f, (P.y - O2.y) * 60.0f, (P.z - O2.z) * 60.0f};
  for (int i = 0; i < drops; i++) SeedDrop(k, t, P, camvel);
}

// ---- packets of the streak drawing ------------------------------------------

uint32_t* Qw(uint32_t* p, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  p[0] = a, p[1] = b, p[2] = c, p[3] = d;
  return p + 4;
}
uint32_t FloatWord(float f) {
  uint32_t w;
  memcpy(&w, &f, 4);
  return w;
}
uint32_t* Ad(uint32_t* p, int reg, uint64_t v) { return Qw(p, uint32_t(v), uint32_t(v >> 32), uint32_t(reg), 0); }
uint32_t* Rgba(uint32_t* p, int r, int g, int b, int a) {
  return Qw(p, uint32_t(r), uint32_t(g), uint32_t(b), uint32_t(a));
}
uint32_t* St(uint32_t* p, float s, float t) { return Qw(p, FloatWord(s), FloatWord(t), FloatWord(1.0f), 0); }
// A vertex; kick 0 sets the drawing kick off (ADC).
uint32_t* Xyz(uint32_t* p, int x, int y, bool kick) {
  return Qw(p, uint32_t(x) & 0xffff, uint32_t(y) & 0xffff, uint32_t(DROP_Z), kick ? 0 : 0x8000u);
}

constexpr int GIFR_RGBAQ = 1, GIFR_ST = 2, GIFR_XYZ2 = 5, PRIM_TRISTRIP = 4, PRIM_SPRITE = 6;

// The stream's data so far is kept: the free area starts after it.
void EndSegment(ZERNDRSTREAM* s) { rndrstream_free = vpDmaTag_Next(s->write, nullptr); }

// One DMA packet of GIF data through VIF DIRECT (the stream's link leaves
// room for the few the streaks take).
template <class F, class... Regs>
void Packet(ZERNDRSTREAM* s, int prim, bool pre, F body, Regs... regs) {
  uint32_t* tag = s->write;
  uint32_t* p = vpDmaTag_CntEx(tag, VIFCODE_FLUSHA, 0);
  vtBeginDirect(tag + 3, 0);
  p = gsBeginGifPacket(p, 0, 1, pre ? 1 : 0, prim, GIF_FLG_PACKED, int(sizeof...(regs)), int(regs)...);
  p = body(p);
  s->write = vpDmaTag_Close(vtCloseDirect(gsCloseGifPacket(p)));
  EndSegment(s);
}

ZERNDRSTREAM* g_stream;  // the stream the drops are written into
int g_ox, g_oy;          // the streak texture's origin in GS units

// The streak texture cleared to white, alpha 0: flat, depth untouched.
void ClearStreak(ZERNDRSTREAM* s) {
  uint64_t zbuf;
  ZePs2GetCurrentZBuffer(&zbuf);
  Packet(s, 0, false, [&](uint32_t* p) {
    p = Ad(p, GS_PRMODE, 0);
    p = Ad(p, GS_TEST_1, 1ull << 16 | 1ull << 17);  // depth test ALWAYS
    return Ad(p, GS_ZBUF_1, (zbuf & 0xffffffffull) | 1ull << 32);  // no depth writes
  }, GIF_REG_AD);
  Packet(s, PRIM_SPRITE, true, [&](uint32_t* p) {
    p = Rgba(p, 255, 255, 255, 0);
    p = Xyz(p, g_ox, g_oy, true);
    return Xyz(p, g_ox + STREAK_W * 16, g_oy + STREAK_H * 16, true);
  }, GIFR_RGBAQ, GIFR_XYZ2, GIFR_XYZ2);
}

// One quad as a strip of four vertices, the first two without a kick.
void Quad(int alpha, float x0, float y0, float x1, float y1, float u0, float v0, float u1, float v1) {
  const int X0 = g_ox + EeFtoi(x0), Y0 = g_oy + EeFtoi(y0), X1 = g_ox + EeFtoi(x1), Y1 = g_oy + EeFtoi(y1);
  Packet(g_stream, PRIM_TRISTRIP, true, [&](uint32_t* p) {
    p = St(p, u0, v0);
    p = Rgba(p, 128, 128, 128, alpha);
    p = Xyz(p, X0, Y0, false);
    p = St(p, u1, v0);
    p = Xyz(p, X1, Y0, false);
    p = St(p, u0, v1);
    p = Xyz(p, X0, Y1, true);
    p = St(p, u1, v1);
    return Xyz(p, X1, Y1, true);
  }, GIFR_ST, GIFR_RGBAQ, GIFR_XYZ2, GIFR_ST, GIFR_XYZ2, GIFR_ST, GIFR_XYZ2, GIFR_ST, GIFR_XYZ2);
}

}  // namespace

// ---- the interface ----------------------------------------------------------

void ZeRainSetFall(float fall) { ZeRainFall = std::clamp(fall, 0.0f, 1.0f); }

void ZeRainProcess(int paused) {
  const ZEMTX& cam = global_camera.mtx;
  if (ZeRainOld.m[0][0] == ZERAIN_NOT_TAKEN) ZeRainOld = cam;
  if (testrain) Feed(cam, paused);
  ZeRainOld = cam;
  if (ZeRainKey != -1 && ZeRainFall == 0.0f) {
    if (ZeRainInactive < INACTIVE_FRAMES) {
      ZeRainInactive += 1;
    } else {
      GiveBackKey();
      ZeRainInactive = 0;
    }
  }
}

void ZeRainDrawDrop(int x, int y, int alpha, float l, float b) {
  const float h = 128.0f * l;
  Quad(alpha, float(x), float(y), float(x) + h, float(y) + 96.0f * l, 0.7265625f, 0.171875f, 0.75f, 0.20703125f);
  for (int i = 0; i < 4; i++)
    Quad(alpha, float(x) + h, float(y) + 24.0f * l * float(i), float(x) + h + h * b, float(y) + 24.0f * l * float(i + 1),
         0.75f, (44.0f + 2.25f * float(i)) / 256.0f, 0.7734375f, (44.0f + 2.25f * float(i + 1)) / 256.0f);
}

void ZeRainDrawShape(float f) {
  const float l = 0.25f * f + 0.75f, b = std::max(1.0f, 5.0f * f + 0.5f);
  ZERNDRSTREAM* s = rndrstream_ptl;
  // The drops go into the particle stream itself: the glass particles drawn
  // before read this memory as the screen copy, the drops after as the
  // streaks.
  ZeRndrStreamLink(s);
  ZeRndrStreamAddMtl(s, nullptr);  // the state below is the stream's own
  ZeRndrSetFrameMask(0, 1);        // the streaks' alpha is written
  ZeRndrSetRTarget(s, ZeRainTex);
  ZeRndrSetHalfPixel(s, 0);
  EndSegment(s);
  g_stream = s;
  g_ox = (2048 - zerndr_pixel_width / 2) * 16;
  g_oy = (2048 - zerndr_pixel_height / 2) * 16;
  ClearStreak(s);
  ZeRndrStreamAddMtl(s, DebMat[4]);
  const int w = ZeRainWob;
  const float fall = ZeRainFall;
  const auto drop = [&](int x, int y, float alpha) { ZeRainDrawDrop(x, y, EeFtoi(alpha), l, b); };
  if (fall > 0.25f)
    drop(EeFtoi(224 + 128 * DebSin(w)), EeFtoi(32 + 16 * DebCos(w)), std::min((fall - 0.25f) * 448.0f, 112.0f));
  if (fall > 0.5f)
    drop(EeFtoi(192 + 128 * DebSin(w + 27000)), EeFtoi(128 + 16 * DebSin(w + 33384)),
         std::min((fall - 0.25f) * 384.0f, 96.0f));
  drop(EeFtoi(128 + 128 * DebSin(w + 54300)), EeFtoi(256 + 16 * DebSin(w + 60384)), 128.0f);
  if (fall > 0.75f)
    drop(EeFtoi(256 + 128 * DebSin(w + 14300)), EeFtoi(384 + 16 * DebSin(w + 26384)), (fall - 0.75f) * 384.0f);
  ZeRndrSetRTarget(s, -1);
  ZeRndrSetFrameMask(0xff000000u, 0);
  ZeRndrSetHalfPixel(s, 1);
  EndSegment(s);
}

void ZeRainDraw(int addr) {
  if (!testrain || !ZeRainMtl || ZeRainTex <= 0) return;
  auto* scratch = static_cast<float*>(ZeScratchAlloc128(208));
  const ZEMTX* vp = ZeCameraGetVPCSMtx();
  const ZEVEC P = Row(global_camera.mtx, 3);
  const int A = ZeCamAngxEx, Ax = ZeCamAngx, Ay = ZeCamAngy;
  // Where the fall points on the screen: a drop's velocity x 0.01, two units
  // ahead of the camera.
  float* p1 = scratch;
  float* p2 = scratch + 4;
  float* q = scratch + 8;
  p1[0] = P.x + 2.0f * DebSin(Ay), p1[1] = P.y, p1[2] = P.z + 2.0f * DebCos(Ay), p1[3] = 1.0f;
  p2[0] = p1[0] + 0.03f * DebCos(Ax), p2[1] = p1[1] - 0.15f, p2[2] = p1[2] + 0.03f * DebCos(Ax), p2[3] = 1.0f;
  for (int v = 0; v < 2; v++) {
    const float* in = v ? p2 : p1;
    float* out = q + 4 * v;
    for (int j = 0; j < 4; j++)
      out[j] = in[0] * vp->m[0][j] + in[1] * vp->m[1][j] + in[2] * vp->m[2][j] + in[3] * vp->m[3][j];
    for (int j = 0; j < 3; j++) out[j] /= out[3];
  }
  const int s = ZeAtan2D((q[4] - q[0]) * 256.0f / 640.0f, q[1] - q[5]);
  ZeTexAssignAddr(ZeRainTex, addr);

  DebrisKey* k = DebKey(ZeRainKey);
  DebrisEffectType* t = DebKeyType(k);
  if (t && k->nchunks > 0) {
    if (!t->info) GenericDebinfoDmaTypeUpdate(t);
    if (t->info) {
      ZeRainDrawShape(DebCos(A));
      ZeRndrParticleGroup(k->chunks[0], t->info, ZeRainMtl, &zemtx_identity, 0, globaltime, 1.0f, 1.0f, 15.0f);
    }
  }
  // The drops are drawn at the kick from the block as it is rewritten here:
  // the streak texture's corners and each step turned along the fall.
  if (t && t->info) {
    DebrisDmaTypeInfo* d = t->info;
    const int32_t corners[8] = {0, 0, 1008, 0, 0, 496, 1008, 496};
    memcpy(d->corners, corners, sizeof corners);
    const float L = 500.0f - 250.0f * DebCos(Ax), W = 1000.0f + 1000.0f * DebCos(A), wide = 640.0f / 224.0f;
    for (int i = 0; i < 64; i++) {
      const int r = EeFtoi(float(s) + 512.0f * DebSin(ZeRainTwist + 3777 * i));
      const float c = DebCos(r), n = DebSin(r);
      const float f[6] = {(-L * c + W * n) * wide, -L * n - W * c, -2.0f * W * n * wide,
                          2.0f * W * c,           (L * c - W * n) * wide, L * n + W * c};
      float* out = d->steps[i].corner;
      for (int j = 0; j < 6; j++) {
        const float v = f[j] * CORNER_UNIT;
        if (j < 4) out[j] = DebKeepLowByte(v, out[j]);
        else out[j] = v;
      }
    }
  }
  ZeScratchRelease();
}

// ---- the streak surface -----------------------------------------------------

void ZeRainSurfaceInit() {
  if (ZeRainTex > 0) return;
  ZETEX img = {ZETEX_RT_CT32, STREAK_W, STREAK_H, 1, nullptr, nullptr};
  ZeRainTex = ZeTexCreate(&img);
  if (ZeRainTex <= 0) {
    ZeRainTex = 0;
    return;
  }
  ZeRainMtl = DebMaterial(ZeRainTex, DebMat[0] ? DebMat[0]->sort_priority : 256, 1, 1, 1, 1, -1);
}

void ZeRainSurfaceClose() {
  if (ZeRainMtl) ZeMtlDestroy(ZeRainMtl);
  if (ZeRainTex > 0) ZeTexDestroy(ZeRainTex);
  ZeRainMtl = nullptr;
  ZeRainTex = 0;
}

void ZeRainReset() {
  ZeRainKey = -1;
  ZeRainFall = 0.0f;
  ZeRainOld.m[0][0] = ZERAIN_NOT_TAKEN;
  ZeRainInactive = 0;
  ZeCamAngx = ZeCamAngy = ZeCamAngxEx = 0;
  ZeRainTwist = ZeRainWob = 0;
}
