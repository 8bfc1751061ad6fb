// Screen-copy effects: the water materials' wave packets (cached by their
// settings for the frame), normal maps (slope images, and a palette the GS
// draws into a reserved CLUT block for each material) and glass.
#include <algorithm>
#include <cmath>

#include "zelgt_local.h"

ZETEXID zewater_rt;
float zewater_speed = 0.1f, zewater_time = 0.7f;
int zewater_cacheon, zewater_cachecnt;
ZEWATERCACHE zewater_cache[ZEWATER_CACHE];
ZETEXID temp_pal;
int temp_pal_addr, zenormalmap_initialised;
ZETEXID zeglass_rt;
int zeglass_initialised;

namespace {

float g_envU, g_envV;
const float g_fixedU = 0.0f, g_fixedV = 0.0f;
ZEMTLPRICALLBACK zeglass_pricallback;

constexpr uint32_t UNPACK_WAVES = 0x6C000000u | 32u << 16 | 0x1b2;


bool IsWater(const ZEMTL* m) {
  const int e = m->effect_id;
  return e == 4 || e == 0x84 || e == 0x85 || e == 0x86 || e == 0x8e;
}

// A new wave packet in the stream: cnt tag, FLUSHE and the unpack to 0x1b2,
// the 32 vectors. Returns the vectors.
uint32_t* WavePacket(ZERNDRSTREAM* s, const ZEMTL* m) {
  ZeRndrStreamCheckSpace(s->write, 34 * 16);
  uint32_t* p = vpDmaTag_Cnt(s->write);
  p = ZeRndrPutQ(p, VIFCODE_NOP, VIFCODE_NOP, VIFCODE_FLUSHE, UNPACK_WAVES);
  uint32_t* vectors = p;
  ZeWaterWaveVectors(reinterpret_cast<float*>(p), 0.1f, m, zewater_time);
  s->write = vpDmaTag_Close(p + 32 * 4);
  return vectors;
}

// The wave vectors of a material: a new packet, or a reference to this
// frame's packet of the same settings.
void WaveVectors(ZERNDRSTREAM* s, const ZEMTL* m) {
  if (!zewater_cacheon) {
    WavePacket(s, m);
    return;
  }
  for (int i = 0; i < zewater_cachecnt; i++)
    if (zewater_cache[i].ev1 == m->p[0] && zewater_cache[i].ev4 == m->p[3]) {
      ZeRndrStreamCheckSpace(s->write, 16);
      s->write = vpDmaTag_RefEx(s->write, zewater_cache[i].packet, VIFCODE_FLUSHE, UNPACK_WAVES);
      s->write[-4] = (s->write[-4] & ~0xffffu) | 32;
      return;
    }
  uint32_t* v = WavePacket(s, m);
  // A full cache takes no more: later settings write their own packets.
  if (zewater_cachecnt < ZEWATER_CACHE) zewater_cache[zewater_cachecnt++] = {v, m->p[0], m->p[3]};
}

}  // namespace

// ---- water ------------------------------------------------------------------------

void ZeWaterWaveVectors(float* out, float scale, const ZEMTL* m, float time) {
  const float a = scale * m->p[3], t = time * m->p[0];
  ZEMTX M;
  ZeMtxInvR(&M, &global_camera.mtx);
  const ZEVEC half = {0.5f, 0.5f, 0.5f};
  ZeMtxScale(&M, &half);
  ZeRandSeed(17);
  for (int i = 0; i < 32; i++) {
    const float r1 = ZeRandFloat(), r2 = ZeRandFloat(), r3 = ZeRandFloat(), r4 = ZeRandFloat();
    const float ax = ZeTrigSin(int((t * (r1 * 0.4f + 0.8f) + r2 * 6.284f) * 10430.378f)) * a;
    const float az = ZeTrigSin(int((t * (r3 * 0.4f + 0.7f) + r4 * 6.284f) * 10430.378f)) * a;
    const ZEVEC v = {ax, 0.0f, az};
    ZEVEC r;
    ZeVecMtxTransformH(&r, &v, &M);
    out[4 * i] = r.x, out[4 * i + 1] = r.y, out[4 * i + 2] = 1.0f, out[4 * i + 3] = ax;
  }
}

void ZeWaterInit() {
  zewater_rt = ZeRndrCopyScreenInit();
  zemtl_water_tid = zewater_rt;
  zemtl_water_callback = ZeWaterRndrStreamCallback;
}
void ZeWaterRender() {}
void ZeWaterSpeed(float s) { zewater_speed = s * 0.1f; }
void ZeWaterReset() {
  zewater_cacheon = 1;
  zewater_cachecnt = 0;
  zewater_time += zewater_speed;
}
void ZeWaterTerminate() {
  zewater_cachecnt = 0;
  ZeRndrCopyScreenTerminate();
}

void ZeWaterOverride(float ev1, float ev2, float ev3, float ev4) {
  const float keep = 4294967296.0f;
  for (ZEMTL* m = ZeMtlIterate(1); m; m = ZeMtlIterate(0)) {
    if (!IsWater(m)) continue;
    const float ev[4] = {ev1, ev2, ev3, ev4};
    for (int i = 0; i < 4; i++)
      if (ev[i] != keep) m->p[i] = ev[i];
    if (!m->effect_block) continue;
    if (m->effect_id == 0x86 || m->effect_id == 0x8e) m->effect_block.get()[2] = m->p[2] / m->p[3];
    else m->effect_block.get()[2] = m->p[1] / 48.0f / m->p[3];
  }
}

void ZeWaterRndrStreamCallback(ZEMTL* m, ZERNDRSTREAM* s, int phase) {
  if (phase == 1) {
    if (m->effect_id == 0x84) ZeRndrCopyScreen(s);
    ZeRndrEndSegment(s, s->write);
    return;
  }
  if (phase != 2) return;
  WaveVectors(s, m);
  ZeRndrEndSegment(s, s->write);
}

// ---- normal maps ---------------------------------------------------------------------

uint8_t ZeNormalMapSwizzle(int n) {
  const int k = (n % 32) / 8;
  int r = n + (k == 1 ? 8 : k == 2 ? -8 : 0);
  if (r < 0 || r > 255) ZeError("Invalid coordinate");
  return uint8_t(r == 0 ? 1 : r);
}

int ZeNormalMapCreate(ZETEX* img) {
  const int w = img->width, h = img->height;
  const uint8_t* px = img->texels.get();
  const uint32_t* pal = reinterpret_cast<const uint32_t*>(img->palette.get());
  auto H = [&](int x, int y) { return float(pal ? (pal[px[(y % h) * w + (x % w)]] & 0xff) : 0) / 255.0f; };
  float g = 0.0f;
  for (int y = 0; y < h - 1; y++)
    for (int x = 0; x < w - 1; x++)
      g = std::max({g, std::fabs(H(x + 1, y) - H(x, y)), std::fabs(H(x, y + 1) - H(x, y))});
  auto* out = static_cast<uint8_t*>(ZeMemAlloc(w * h * 5 / 4));
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      int sx = 8, sy = 8;
      if (g > 0.0f) {
        sx = std::clamp(int(std::floor(((H(x + 1, y) - H(x, y)) / g + 1.0f) * 0.5f * 16.0f)), 0, 15);
        sy = std::clamp(int(std::floor(((H(x, y + 1) - H(x, y)) / g + 1.0f) * 0.5f * 16.0f)), 0, 15);
      }
      out[y * w + x] = ZeNormalMapSwizzle(sy * 16 + sx);
    }
  memset(out + w * h, 0, size_t(w * h / 4));
  ZeMemFree(img->texels.get());
  img->texels = out;
  img->type = ZETEX_PAL8;
  img->mipcount = 2;
  return 2;
}

void ZeNormalMapInit() {
  if (zenormalmap_initialised) ZeError("ZeNormalMapInit called without closing first");
  if (!temp_pal) {
    auto* px = static_cast<uint8_t*>(ZeMemAlloc(64));
    auto* pal = static_cast<uint8_t*>(ZeMemAlloc(1024));
    memset(px, 0, 64);
    memset(pal, 0, 1024);
    ZETEX img{ZETEX_PAL8, 8, 8, 1, px, pal};
    temp_pal = ZeTexCreate(&img);
    ZeMemFree(px);
    ZeMemFree(pal);
    temp_pal_addr = ZeTexReserve(1024) & 0xffff;
    ZEPS2TEX* ps2;
    ZETEXSLOT* slot;
    if (ZeTexGetPointers(temp_pal, &slot, &ps2)) ps2->cbp = uint16_t(temp_pal_addr);
  }
  zenormalmap_initialised = 1;
  zemtl_nrmmap_callback = ZeNormalMapCallback;
  zemtl_nrmmap_fixed_callback = ZeNormalMapFixedPaletteCallback;
}

void ZeNormalMapClose() {
  if (!zenormalmap_initialised) {
    ZeDebugMsg("ZeNormalMapClose called without Initialisation");
    return;
  }
  if (temp_pal) ZeTexDestroy(temp_pal);
  temp_pal = 0;
  zenormalmap_initialised = 0;
}

void ZeNormalMapSetEnvUV(float u, float v) { g_envU = u, g_envV = v; }

namespace {

// FRAME_2 on the palette block (write mask 0), TEST_2 0x21001.
void PaletteTarget(ZERNDRSTREAM* s) {
  uint32_t* p = ZeRndrOpenAd(s->write, VIFCODE_FLUSHA, 0);
  const uint64_t frame = *ZeRndrGetFrame() & 0xffffffffull;
  p = ZeRndrPutAd(p, GS_FRAME_2, (frame & ~0x1ffull) | uint64_t((temp_pal_addr >> 5) & 0x1ff));
  p = ZeRndrPutAd(p, GS_TEST_2, 0x21001);
  s->write = ZeRndrCloseAd(p);
}
void PhaseThree(ZERNDRSTREAM* s) {
  uint32_t* p = ZeRndrOpenAd(s->write, VIFCODE_FLUSHA, 0);
  p = ZeRndrPutAd(p, GS_FRAME_2, *ZeRndrGetFrame() & 0xffffffffull);
  p = ZeRndrPutAd(p, GS_PRMODE, 0x18);
  s->write = ZeRndrCloseAd(p);
}
ZEMTL* LightMtl(const ZEMTL* m) {
  uint32_t bits;
  memcpy(&bits, &m->p[1], 4);
  return static_cast<ZEMTL*>(EeAddrToPtr(bits));
}

}  // namespace

// Each phase that writes ends with the stream's open tag (the render list
// links the stream again after its callback).
void ZeNormalMapCallback(ZEMTL* m, ZERNDRSTREAM* s, int phase) {
  if (phase == 3) {
    PhaseThree(s);
    ZeRndrEndSegment(s, s->write);
    return;
  }
  if (phase != 2) return;
  ZeRndrStreamAddMtl(s, LightMtl(m));
  PaletteTarget(s);
  // The palette block to VU 0x1c0 (18 quadwords, 0x1c0-0x1d1: it ends
  // below input buffer 0's strip tag at 0x1d2): the sprite copying a 1/16
  // window of the light texture into the 16 x 16 palette image, the state
  // to draw the geometry through it, the strip tag and the view matrix. The
  // tag's twelfth register (PRIM) reads the strip tag's quadword: PRIM 3,
  // which the geometry's own tag replaces.
  ZeRndrStreamCheckSpace(s->write, 24 * 16);
  uint32_t* p = vpDmaTag_Cnt(s->write);
  p = ZeRndrPutQ(p, VIFCODE_NOP, VIFCODE_NOP, VIFCODE_FLUSHE, 0x6C000000u | uint32_t(ZENRMMAP_BLOCK) << 16 | 0x1c0);
  uint32_t* const block = p;
  // NLOOP 1, EOP, PRE sprite; A+D, A+D, ST, RGBAQ, XYZ2, ST, RGBAQ, XYZ2, A+D, A+D, A+D, PRIM.
  const uint64_t tag = 1 | 1ull << 15 | 1ull << 46 | uint64_t(GS_PRIM_SPRITE) << 47 | 12ull << 60;
  const uint64_t regs = 0xEull | 0xEull << 4 | 2ull << 8 | 1ull << 12 | 5ull << 16 | 2ull << 20 | 1ull << 24 |
                        5ull << 28 | 0xEull << 32 | 0xEull << 36 | 0xEull << 40 | 0ull << 44;
  p = ZeRndrPutQ(p, uint32_t(tag), uint32_t(tag >> 32), uint32_t(regs), uint32_t(regs >> 32));
  const float x0 = ZeVpPixelWidth(0), y0 = ZeVpPixelHeight(0);
  p = ZeRndrPutAd(p, GS_TEXFLUSH, 0);
  p = ZeRndrPutAd(p, GS_PRMODE, 0x218);
  p = ZeRndrPutSt(p, g_envU, g_envV, 1.0f);
  p = ZeRndrPutRgba(p, 0x7f7f7f7fu);
  p = ZeRndrPutXyz(p, int(x0), int(y0), 0);
  p = ZeRndrPutSt(p, g_envU + 0.0625f, g_envV + 0.0625f, 1.0f);
  p = ZeRndrPutRgba(p, 0x7f7f7f7fu);
  p = ZeRndrPutXyz(p, int(x0) + 255, int(y0) + 255, 0);
  p = ZeRndrPutAd(p, GS_TEXFLUSH, 0);
  p = ZeRndrPutAd(p, GS_PRMODE, 0x58);
  p = ZeRndrPutAd(p, GS_TEX0_1, ZeTexGetTex0(m->texture, temp_pal));
  const uint64_t strip = 3 | 1ull << 15 | 1ull << 46 | uint64_t(GS_PRIM_TRISTRIP) << 47 | 3ull << 60;
  p = ZeRndrPutQ(p, uint32_t(strip), uint32_t(strip >> 32), 0x512, 0);
  p = ZeRndrPutSt(p, g_envU, g_envV, 1.0f);
  memcpy(p, ZeCameraGetViewMtx(), 64);
  p += 16;
  if (p - block != ZENRMMAP_BLOCK * 4) ZeError("ZeNormalMapCallback: palette block of %d words", int(p - block));
  ZeRndrEndSegment(s, vpDmaTag_Close(p));
}

void ZeNormalMapFixedPaletteCallback(ZEMTL* m, ZERNDRSTREAM* s, int phase) {
  if (phase == 3) {
    PhaseThree(s);
    ZeRndrEndSegment(s, s->write);
    return;
  }
  if (phase != 2) return;
  ZeRndrStreamAddMtl(s, LightMtl(m));
  PaletteTarget(s);
  const float x0 = ZeVpPixelWidth(0), y0 = ZeVpPixelHeight(0);
  uint32_t colour;
  memcpy(&colour, &m->p[2], 4);
  uint32_t* p = ZeRndrOpenAd(s->write, VIFCODE_FLUSHA, 0);
  p = ZeRndrPutAd(p, GS_TEXFLUSH, 0);
  p = ZeRndrPutAd(p, GS_PRMODE, 0x218);
  p = ZeRndrPutAd(p, GS_PRIM, GS_PRIM_SPRITE | 0x10);
  p = ZeRndrPutAd(p, GS_ST, ZeLgtSt(g_envU + g_fixedU, g_envV + g_fixedV));
  p = ZeRndrPutAd(p, GS_RGBAQ, ZeLgtRgbaq(0x7f7f7f7fu));
  p = ZeRndrPutAd(p, GS_XYZ2, ZeLgtXyz(int(x0), int(y0), 0));
  p = ZeRndrPutAd(p, GS_ST, ZeLgtSt(g_envU + g_fixedU + 0.25f, g_envV + g_fixedV + 0.25f));
  p = ZeRndrPutAd(p, GS_XYZ2, ZeLgtXyz(int(x0) + 255, int(y0) + 255, 0));
  p = ZeRndrPutAd(p, GS_PRMODE, 0x208);
  p = ZeRndrPutAd(p, GS_PRIM, GS_PRIM_SPRITE);
  p = ZeRndrPutAd(p, GS_RGBAQ, ZeLgtRgbaq(colour));
  p = ZeRndrPutAd(p, GS_XYZ2, ZeLgtXyz(int(x0), int(y0), 0));
  p = ZeRndrPutAd(p, GS_XYZ2, ZeLgtXyz(int(x0) + 15 * 16, int(y0) + 15 * 16, 0));
  p = ZeRndrPutAd(p, GS_PRMODE, (m->render_flags & 15) ? 0x58 : 0x18);
  ZeRndrEndSegment(s, ZeRndrCloseAd(p));
}

// ---- glass ---------------------------------------------------------------------------------

void ZeGlassCopyScreen(ZERNDRSTREAM* s, ZEMTL*, int) {
  ZeRndrCopyScreen(s);
  ZeRndrEndSegment(s, s->write);
}

void ZeGlassInit(int planes) {
  if (zeglass_initialised) return;
  zeglass_rt = ZeRndrCopyScreenInit();
  zemtl_glass_tid = zeglass_rt;
  memset(&zeglass_pricallback, 0, sizeof zeglass_pricallback);
  zeglass_pricallback.fn = ZeGlassCopyScreen;
  zeglass_pricallback.priority = zemtl_sortpri_pre_glass;
  zeglass_pricallback.mask = 0xfff0;
  zeglass_pricallback.compare = 2;
  ZeMtlAddPriCallBack(&zeglass_pricallback, uint32_t(planes));
  zeglass_initialised = 1;
}

void ZeGlassClose() {
  if (!zeglass_initialised) return;
  ZeMtlRemovePriCallBack(&zeglass_pricallback);
  ZeRndrCopyScreenTerminate();
  zeglass_initialised = 0;
}
