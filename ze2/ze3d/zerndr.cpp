// Scene control: the renderer's start-up, the brackets of a scene (render
// target, z buffer, offset, scissor; at the end the render lists and the
// flush), the screen clears and the renderer's side of the swap. Its
// packets go into the system stream, or a material's stream for the
// material clears.
#include "zerndr_local.h"

int zerndr_curr_rt = -1, zerndr_curr_zt = -2, zerndr_curr_ho = 0;
int global_frame_count = 0;
int zerndr_tritot_this_frame = 0;
int zerndr_tex_transfer_total = 0, zerndr_tex_transfer_peak = 0;
int debug_flush_vram = 0;

// Opens a cnt tag with VIF codes vif0 and DIRECT and an A+D GIF tag.
uint32_t* ZeRndrOpenAd(uint32_t* p, uint32_t vif0, uint32_t marker) {
  uint32_t* tag = p;
  p = vpDmaTag_CntEx(p, vif0, 0);
  tag[0] |= marker << 16;
  vtBeginDirect(tag + 3, 0);
  return gsBeginGifPacket(p, 0, 1, 0, 0, GIF_FLG_PACKED, 1, GIF_REG_AD);
}
uint32_t* ZeRndrCloseAd(uint32_t* p) { return vpDmaTag_Close(vtCloseDirect(gsCloseGifPacket(p))); }

namespace {

int g_framePause = 0;
ZEMTL* g_globalMtl = nullptr;

// The screen copy.
ZEMTL* g_copyMtl = nullptr;
ZETEXID g_copyTex = -1;
bool g_copied = false, g_copyInit = false;
float g_copyU = 0.0f, g_copyV = 0.0f;

constexpr int MAX_Z = 8388607;

// TEST_1 fields.
constexpr uint64_t TEST_ATE = 1, TEST_AFAIL_FB = 1ull << 12, TEST_AFAIL_ZB = 2ull << 12, TEST_DATE = 1ull << 14,
                   TEST_DATM = 1ull << 15, TEST_ZTE = 1ull << 16, TEST_ZTST_ALWAYS = 1ull << 17;

int Log2Up(int n) {
  int r = 0;
  while ((1 << r) < n && r < 30) r++;
  return r;
}

int ZFromDepth(float depth) { return int((1.0f - depth) * float(MAX_Z)); }

void BackgroundTiming(uint64_t colour) {
  if (idisplaybackgroundtiming) GsPrivWrite(GS_BGCOLOR, colour);
}

uint64_t TestForClear(uint32_t flags, int date, int datm) {
  const uint32_t which = flags & (ZERNDR_CLEAR_COLOUR | ZERNDR_CLEAR_DEPTH);
  uint64_t t = TEST_ZTE | TEST_ZTST_ALWAYS;
  if (which == ZERNDR_CLEAR_COLOUR) t |= TEST_ATE | TEST_AFAIL_FB;  // alpha NEVER: frame only
  else if (which == ZERNDR_CLEAR_DEPTH) t |= TEST_ATE | TEST_AFAIL_ZB;
  if (date & 1) t |= TEST_DATE;
  if (datm & 1) t |= TEST_DATM;
  return t;
}

// The state of a clear: the display's z buffer with writes on, the
// stream's z state, flat untextured drawing and the test.
uint32_t* ClearState(uint32_t* p, uint64_t test) {
  uint64_t zbuf;
  ZePs2GetCurrentZBuffer(&zbuf);
  p = ZeRndrOpenAd(p, 0, DMAMK_CLEARSCREEN);
  p = ZeRndrPutAd(p, GS_ZBUF_1, zbuf & 0xffffffffull);
  p = ZeRndrCloseAd(p);
  p = ZeRndrStreamAddZBState(p, 1);
  p = ZeRndrOpenAd(p, 0, DMAMK_CLEARSCREEN);
  p = ZeRndrPutAd(p, GS_PRMODE, 0);
  p = ZeRndrPutAd(p, GS_TEST_1, test);
  return ZeRndrCloseAd(p);
}

// Sprites covering x0..x1 (GS units, right end exclusive) by y0..y1 in
// strips: the first ends at firstEnd, the others 1024 units (64 pixels)
// further each.
uint32_t* ClearStrips(uint32_t* p, int x0, int x1, int y0, int y1, int firstEnd, ZECOLOUR32 colour, int z) {
  uint32_t* tag = p;
  p = vpDmaTag_CntEx(p, VIFCODE_FLUSHE, 0);
  tag[0] |= uint32_t(DMAMK_CLEARSCREEN) << 16;
  vtBeginDirect(tag + 3, 0);
  p = gsBeginGifPacket(p, 0, 1, 1, GS_PRIM_SPRITE, GIF_FLG_PACKED, 3, GSR_RGBAQ, GSR_XYZ2, GSR_XYZ2);
  for (int x = x0, end = firstEnd; x < x1; x = end, end += 1024) {
    p = ZeRndrPutRgba(p, colour);
    p = ZeRndrPutXyz(p, x, y0, z);
    p = ZeRndrPutXyz(p, end < x1 ? end : x1, y1, z);
  }
  return vpDmaTag_Close(vtCloseDirect(gsCloseGifPacket(p)));
}

void BuildListsAndOT(uint32_t mask) {
  if (mask & ZERNDR_ENDSCENE_PLANES) {
    ZeMtlBuildRenderList(mask & ZERNDR_ENDSCENE_PLANES);
    ZeRndrCopyScreenFree();  // the render list's end releases the copy's memory
  }
  if (mask & ZERNDR_ENDSCENE_OT) ZeRndrOTDraw();
}

// Clears the scissor rectangle in stream s (linked for writing).
void ClearScissor(ZERNDRSTREAM* s, uint32_t flags, ZECOLOUR32 colour, int z, int date, int datm, uint32_t mask) {
  const uint64_t saved = cur_rt;
  cur_rt = (cur_rt & 0xffffffffull) | uint64_t(mask) << 32;
  ZeRndrStreamSetMisc(s);
  cur_rt = saved;
  const uint64_t sc = *ZeRndrStreamGetScissor(), off = *ZeRndrStreamGetOffset();
  const int sx0 = int(sc & 0x7ff), sx1 = int((sc >> 16) & 0x7ff), sy0 = int((sc >> 32) & 0x7ff),
            sy1 = int((sc >> 48) & 0x7ff);
  const int ox = int(off & 0xffff), oy = int((off >> 32) & 0xffff);
  uint32_t* p = ClearState(s->write, TestForClear(flags, date, datm));
  const int x0 = sx0 * 16 + ox, x1 = sx1 * 16 + ox + 16;
  p = ClearStrips(p, x0, x1, sy0 * 16 + oy, sy1 * 16 + oy + 16, x0 + 1024, colour, z);
  ZeRndrEndSegment(s, p);
}


}  // namespace

// ---- start-up ----------------------------------------------------------------

void ZeRndrInitEx(int size) {
  ZeRndrStreamInit(size);
  ZeFntInit();
  ZeRndrOTInit(4096, 1024);
  ZeRndrBuildSkinResetPacket();
  ZeRndrShadowStartUp();
  ZeRndrWaterStartUp();
  zerndr_pixel_width = int(ZePs2GetRenderWidth());
  zerndr_pixel_height = int(ZePs2GetRenderHeight());
  zerndr_pixel_p2w = Log2Up(zerndr_pixel_width);
  zerndr_pixel_p2h = Log2Up(zerndr_pixel_height);
}

void ZeRndrInit() { ZeRndrInitEx(1048576); }
// Gives back what the renderer's start took, so that the heap's list at the
// program's exit names only real leaks.
void ZeRndrClose() {
  ZeRndrOTClose();
  ZeRndrStreamClose();
}
void ZeRndrInitWorld() {
  ZeRndrShadMaskCount = 0;
  ZeRndrWaterWorld();
}

// ---- scenes ------------------------------------------------------------------

void ZeRndrSetRTarget(ZERNDRSTREAM* s, int rt) {
  zerndr_curr_rt = rt;
  if (rt > 0) {
    s->write = ZeTexSetRenderTarget(s->write, rt);
    return;
  }
  uint64_t frame;
  if (rt == -3) ZePs2GetCurrentFrontBuffer(&frame);
  else ZePs2GetCurrentBackBuffer(&frame);
  if (rt == -2 || rt == -4) {
    uint64_t zbuf;
    ZePs2GetCurrentZBuffer(&zbuf);
    const uint64_t psm = rt == -2 ? (0x30 | (zbuf >> 24 & 0xf)) : 0x30;
    frame = (frame & ~0x1ffull & ~(0x3full << 24)) | (zbuf & 0x1ff) | psm << 24;
  }
  uint32_t* p = ZeRndrOpenAd(s->write, VIFCODE_FLUSHA, DMAMK_BEGINSCENE_FB);
  p = ZeRndrPutAd(p, GS_FRAME_1, frame);
  s->write = ZeRndrCloseAd(p);
  zerndr_pixel_width = int(ZePs2GetRenderWidth());
  zerndr_pixel_height = int(ZePs2GetRenderHeight());
  zerndr_pixel_p2w = Log2Up(zerndr_pixel_width);
  zerndr_pixel_p2h = Log2Up(zerndr_pixel_height);
  constexpr uint64_t fields = 0x1ffull | 0x3full << 16 | 0x3full << 24;
  cur_rt = (cur_rt & ~fields) | (frame & fields);
}

void ZeRndrSetZBuffer(ZERNDRSTREAM* s, int zt) {
  zerndr_curr_zt = zt;
  if (zt > 0) {
    s->write = ZeTexSetZBuffer(s->write, zt);
    return;
  }
  ZeRndrStreamClearZBState();
  uint32_t* p = ZeRndrOpenAd(s->write, VIFCODE_FLUSH, DMAMK_BEGINSCENE_ZB);
  if (zt == -2) {
    uint64_t zbuf;
    ZePs2GetCurrentZBuffer(&zbuf);
    p = ZeRndrPutAd(p, GS_ZBUF_1, zbuf);
    s->write = ZeRndrCloseAd(p);
    return;
  }
  uint64_t frame;
  if (zt == -3) ZePs2GetCurrentFrontBuffer(&frame);
  else ZePs2GetCurrentBackBuffer(&frame);
  ZeRndrStreamSetZBState(int(frame & 0x1ff) << 5, int(frame >> 24 & 0x3f), 0);
  s->write = ZeRndrStreamAddZBState(ZeRndrCloseAd(p), 1);
}

void ZeRndrSetHalfPixel(ZERNDRSTREAM* s, int on) {
  zerndr_curr_ho = on ? zerndr_half_offset : 0;
  const uint64_t x = uint64_t((2048 - (zerndr_pixel_width >> 1)) * 16);
  const uint64_t y = uint64_t((2048 - (zerndr_pixel_height >> 1)) * 16 + zerndr_curr_ho);
  uint32_t* p = ZeRndrOpenAd(s->write, VIFCODE_FLUSHA, 0);
  p = ZeRndrPutAd(p, GS_XYOFFSET_1, x | y << 32);
  s->write = ZeRndrCloseAd(p);
}

namespace {

int BeginScene(int rt, int zt, bool half) {
  ZERNDRSTREAM* s = rndrstream_system;
  ZeRndrStreamLink(s);
  ZeRndrSetRTarget(s, rt);
  ZeRndrSetZBuffer(s, zt);
  rndrstream_free = vpDmaTag_Next(s->write, nullptr);
  zerndr_curr_ho = half ? zerndr_half_offset : 0;
  ZeRndrSetXYOffset((2048 - (zerndr_pixel_width >> 1)) * 16, (2048 - (zerndr_pixel_height >> 1)) * 16 + zerndr_curr_ho);
  ZeRndrSetScissor(0, 0, zerndr_pixel_width - 1, zerndr_pixel_height - 1);
  if (rt > 0) ZeRndrSetFrameMask(0, 1);
  else ZeRndrSetFrameMask(0xff000000u, 0);
  return 1;
}

}  // namespace

int ZeRndrBeginScene(int rt) { return BeginScene(rt, -2, rt == -1); }
int ZeRndrBeginSceneEx(int rt, int zt, int halfpixel) { return BeginScene(rt, zt, halfpixel != 0); }

void ZeRndrEndSceneEx(uint32_t mask) {
  BackgroundTiming(0xff00);
  BuildListsAndOT(mask);
  ZeRndrStreamFlush();
  BackgroundTiming(0);
}
void ZeRndrEndScene() { ZeRndrEndSceneEx(ZERNDR_ENDSCENE_PLANES | ZERNDR_ENDSCENE_OT); }
void ZeRndrFlush(uint32_t mask) { ZeRndrEndSceneEx(mask); }

// ---- clears ------------------------------------------------------------------

void ZeRndrClear(uint32_t flags, ZECOLOUR32 colour, float depth) {
  BackgroundTiming(0xff00);
  if (!(flags & ZERNDR_CLEAR_NOLISTS)) BuildListsAndOT(ZERNDR_ENDSCENE_PLANES | ZERNDR_ENDSCENE_OT);
  ZeRndrStreamFlush();
  BackgroundTiming(0);
  ZERNDRSTREAM* s = rndrstream_system;
  ZeRndrStreamLink(s);
  ClearScissor(s, flags, colour, ZFromDepth(depth), 0, 0, 0);
}

void ZeRndrClearMtl(uint32_t flags, ZECOLOUR32 colour, ZEMTL* mtl, float depth) {
  ZeRndrClearMtlEx(flags, colour, ZFromDepth(depth), mtl, 0, 0, 0);
}

void ZeRndrClearMtlEx(uint32_t flags, ZECOLOUR32 colour, int z, ZEMTL* mtl, int date, int datm, uint32_t mask) {
  ZERNDRSTREAM* s = ZeRndrMtlStream(ZeRndrMtl2d(mtl));
  ZeRndrStreamLink(s);
  ClearScissor(s, flags, colour, z, date, datm, mask);
}

void ZeRndrClearMtlRect(int x, int y, int w, int h, uint32_t flags, ZECOLOUR32 colour, int z, ZEMTL* mtl, int date,
                        int datm, uint32_t mask) {
  ZERNDRSTREAM* s = ZeRndrMtlStream(ZeRndrMtl2d(mtl));
  ZeRndrStreamLink(s);
  const uint64_t saved = cur_rt;
  cur_rt = (cur_rt & 0xffffffffull) | uint64_t(mask) << 32;
  ZeRndrStreamSetMisc(s);
  cur_rt = saved;
  const int rw = int(ZePs2GetRenderWidth()) >> 1, rh = int(ZePs2GetRenderHeight()) >> 1;
  const int lx = (PS2_VCNTR_X - rw) * 16, hx = (PS2_VCNTR_X + rw) * 16;
  const int ly = (PS2_VCNTR_Y - rh) * 16, hy = (PS2_VCNTR_Y + rh) * 16;
  auto clamp = [](int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); };
  const int x0 = clamp(x, lx, hx), x1 = clamp(x + w, lx, hx);
  const int y0 = clamp(y, ly, hy), y1 = clamp(y + h, ly, hy);
  uint32_t* p = ClearState(s->write, TestForClear(flags, date, datm));
  // The first strip ends at the next multiple of 1024 strictly above the left end.
  p = ClearStrips(p, x0, x1, y0, y1, (x0 / 1024 + 1) * 1024, colour, z);
  ZeRndrEndSegment(s, p);
}

void ZeRndrGradClear(uint32_t flags, ZECOLOUR32 top, ZECOLOUR32 bottom, float depth) {
  BackgroundTiming(0xff00);
  if (!(flags & ZERNDR_CLEAR_NOLISTS)) BuildListsAndOT(ZERNDR_ENDSCENE_PLANES | ZERNDR_ENDSCENE_OT);
  ZeRndrStreamFlush();
  BackgroundTiming(0);
  ZERNDRSTREAM* s = rndrstream_system;
  ZeRndrStreamLink(s);
  // The scene's frame, scissor and offset, as a plain clear brings them:
  // the registers may still hold an earlier scene's (a texture page's
  // slot), which would fill a corner of the viewport instead of all of it.
  const uint64_t saved = cur_rt;
  cur_rt &= 0xffffffffull;
  ZeRndrStreamSetMisc(s);
  cur_rt = saved;
  uint64_t zbuf;
  ZePs2GetCurrentZBuffer(&zbuf);
  uint32_t* p = ZeRndrOpenAd(s->write, 0, 0);
  p = ZeRndrPutAd(p, GS_ZBUF_1, zbuf & 0xffffffffull);
  p = ZeRndrStreamAddZBState(ZeRndrCloseAd(p), 1);
  p = ZeRndrOpenAd(p, 0, DMAMK_GRADCLEARSCREEN);
  p = ZeRndrPutAd(p, GS_PRMODE, 8);
  p = ZeRndrPutAd(p, GS_TEST_1, TestForClear(flags, 0, 0));
  p = gsCloseGifPacket(p);
  p = gsBeginGifPacket(p, 0, 1, 1, GS_PRIM_TRISTRIP, GIF_FLG_PACKED, 2, GSR_RGBAQ, GSR_XYZ2);
  const int z = ZFromDepth(depth);
  const int x0 = int(ZeVpPixelWidth(0.0f)), x1 = int(ZeVpPixelWidth(1.0f));
  const int y0 = int(ZeVpPixelHeight(0.0f)), y1 = int(ZeVpPixelHeight(1.0f));
  const ZECOLOUR32 t = (top & 0xffffff) | 0x80000000u, b = (bottom & 0xffffff) | 0x80000000u;
  p = ZeRndrPutXyz(ZeRndrPutRgba(p, t), x0, y0, z);
  p = ZeRndrPutXyz(ZeRndrPutRgba(p, t), x1, y0, z);
  p = ZeRndrPutXyz(ZeRndrPutRgba(p, b), x0, y1, z);
  p = ZeRndrPutXyz(ZeRndrPutRgba(p, b), x1, y1, z);
  ZeRndrEndSegment(s, vpDmaTag_Close(vtCloseDirect(gsCloseGifPacket(p))));
}

// ---- frame -------------------------------------------------------------------

int ZeRndrSwapScreen(int rt) {
  ps2video_auto_swap = 0;
  const int result = ZePs2ScreenSwap(rt != -3);
  ZeRndrVu1Draw();
  if (debug_flush_vram) {
    debug_flush_vram = 0;
    ZePs2FlushVRam(255, 0, 255);
  }
  ZeRndrSwapStreamBuffers();
  if (zerndr_tex_transfer_total > zerndr_tex_transfer_peak) zerndr_tex_transfer_peak = zerndr_tex_transfer_total;
  zerndr_tex_transfer_total = 0;
  zerndr_tritot_this_frame = 0;
  if (!g_framePause) global_frame_count++;
  return result;
}

int ZeRndrGlobalFrameCount() { return global_frame_count; }
void ZeRndrGlobalFrameCountPause(int flag) { g_framePause = flag; }
uint64_t* ZeRndrGetFrame() { return &cur_rt; }
uint64_t* ZeRndrGetGsFrame() { return &cur_rt; }
void ZeRndrGlobalMtl(ZEMTL* mtl) { g_globalMtl = mtl; }
void ZeRndrFogColour(ZECOLOUR32) {}
void ZeRndrFogDistance(float, float) {}
void ZeRndrFogMode(int) {}
void ZeRndrStarfield() { ZeError("unsupported guff"); }

// ---- screen copy -------------------------------------------------------------

ZETEXID ZeRndrCopyScreenInit() {
  if (g_copyInit) return g_copyTex;
  const int w = int(ZePs2GetRenderWidth()), h = int(ZePs2GetRenderHeight());
  const int w2 = ZePower2(w), h2 = ZePower2(h);
  g_copyU = float(w - 1) / float(w2);
  g_copyV = float(h - 1) / float(h2);
  ZETEX img = {};
  img.type = ZETEX_RT_CT24;
  img.width = w;
  img.height = h;
  g_copyTex = ZeTexCreate(&img);
  g_copyMtl = ZeMtlCreate(1);
  uint32_t a = g_copyMtl->attributes & ~0x3fu;  // blend 0, filter 0
  a = (a & ~(3u << 12)) | 2u << 12;
  a = (a & ~(3u << ZEMTLATTR_DEPTH)) | 3u << ZEMTLATTR_DEPTH;
  a = (a & ~(3u << ZEMTLATTR_LIGHTING)) | 2u << ZEMTLATTR_LIGHTING;
  a |= 1u << ZEMTLATTR_VTXCOL;
  g_copyMtl->attributes = a;
  g_copyMtl->diffuse[0] = g_copyMtl->diffuse[1] = g_copyMtl->diffuse[2] = 1.0f;
  g_copyMtl->alpha = 0.999f;
  g_copyMtl->texture = -1;  // the back buffer
  ZeMtlUpdate(g_copyMtl);
  g_copyInit = true;
  return g_copyTex;
}

void ZeRndrCopyScreen(ZERNDRSTREAM* s) {
  if (!g_copyInit || g_copied || g_copyTex <= 0) return;
  const int rt = zerndr_curr_rt;
  const int w = int(ZePs2GetRenderWidth()), h = int(ZePs2GetRenderHeight());
  ZeRndrSetRTarget(s, g_copyTex);
  const int addr = ZeTexReserve(ZeTexGetReqSize(g_copyTex, 0));
  ZeTexAssignAddr(g_copyTex, addr);
  ZeRndrSetXYOffset((2048 - (zerndr_pixel_width >> 1)) * 16, (2048 - (zerndr_pixel_height >> 1)) * 16);
  ZeRndrStreamSetMisc(s);
  ZeRndrStreamAddMtl(s, g_copyMtl);
  ZeRndrRectUVStream(s, 0, 0, w * 16, h * 16, 0x80808080u, 0, 0.0f, 0.0f, g_copyU, g_copyV);
  ZeRndrSetRTarget(s, rt);
  ZeRndrSetXYOffset((2048 - (zerndr_pixel_width >> 1)) * 16, (2048 - (zerndr_pixel_height >> 1)) * 16 + zerndr_curr_ho);
  g_copied = true;
}

ZETEXID ZeRndrCopyScreenTex() { return g_copyInit ? g_copyTex : -1; }

void ZeRndrCopyScreenFree() {
  if (!g_copied) return;
  ZeTexUnReserve();
  g_copied = false;
}

void ZeRndrCopyScreenTerminate() {
  if (g_copyMtl) ZeMtlDestroy(g_copyMtl);
  if (g_copyTex > 0) ZeTexDestroy(g_copyTex);
  g_copyMtl = nullptr;
  g_copyTex = -1;
  g_copied = false;
  g_copyInit = false;
}
