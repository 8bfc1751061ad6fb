// The graphics library calls the system makes: GS reset and video mode,
// double-buffered display and drawing environments, the swap, vertical
// sync and its callback, and the local-to-host store.
#include "platform.h"

#include <cstring>

namespace {

uint64_t g_smode2 = 0;  // interlace and field/frame of the video mode
int g_omode = SCE_GS_NTSC;
sceGsVCallback g_vcallback = nullptr;
bool g_vcallbackInstalled = false;

constexpr uint64_t AD_TAG(int nloop) {
  return GIF_TAG::NLOOP::make(uint64_t(nloop)) | GIF_TAG::EOP::make(1) | GIF_TAG::FLG::make(GIF_PACKED) |
         GIF_TAG::NREG::make(1);
}

int VCallbackTrampoline(int cause) { return g_vcallback ? g_vcallback(cause) : 0; }

uint64_t XyOffset(int centerx, int centery, uint64_t scissor, int halfoff) {
  int w = int(GS_SCISSOR::SCAX1::get(scissor)) + 1;
  int h = int(GS_SCISSOR::SCAY1::get(scissor)) + 1;
  uint64_t x = uint64_t((centerx - w / 2) << 4);
  uint64_t y = uint64_t(((centery - h / 2) << 4) + ((halfoff & 1) ? 8 : 0));
  return GS_XYOFFSET::OFX::make(x) | GS_XYOFFSET::OFY::make(y);
}

template <class Env>
void FillDraw(Env& e, int ctx, uint64_t frame, uint64_t zbuf, int w, int h, uint64_t test) {
  const uint64_t scissor = GS_SCISSOR::SCAX1::make(uint64_t(w - 1)) | GS_SCISSOR::SCAY1::make(uint64_t(h - 1));
  uint64_t pairs[16] = {
      frame,   uint64_t(ctx ? GS_FRAME_2 : GS_FRAME_1),
      zbuf,    uint64_t(ctx ? GS_ZBUF_2 : GS_ZBUF_1),
      XyOffset(2048, 2048, scissor, 0), uint64_t(ctx ? GS_XYOFFSET_2 : GS_XYOFFSET_1),
      scissor, uint64_t(ctx ? GS_SCISSOR_2 : GS_SCISSOR_1),
      1,       GS_PRMODECONT,
      1,       GS_COLCLAMP,
      0,       GS_DTHE,
      test,    uint64_t(ctx ? GS_TEST_2 : GS_TEST_1),
  };
  static_assert(sizeof(Env) == sizeof pairs);
  memcpy(&e, pairs, sizeof pairs);
}

void FillClear(sceGsClear& c, int w, int h) {
  uint64_t x0 = uint64_t((2048 - w / 2) << 4), y0 = uint64_t((2048 - h / 2) << 4);
  uint64_t pairs[12] = {
      0x30000, GS_TEST_1,  // depth test on, always pass
      6, GS_PRIM,          // sprite
      0x3f80000000000000ull, GS_RGBAQ,
      x0 | y0 << 16, GS_XYZ2,
      (x0 + uint64_t(w << 4)) | (y0 + uint64_t(h << 4)) << 16, GS_XYZ2,
      0x70000, GS_TEST_1,
  };
  memcpy(&c, pairs, sizeof pairs);
}

}  // namespace

int sceGsResetGraph(short mode, short inter, short omode, short ffmode) {
  if (mode == 0) {
    GsReset();
    GifReset();
  }
  g_omode = omode;
  g_smode2 = uint64_t(inter & 1) | uint64_t(ffmode & 1) << 1;
  GsPrivWrite(GS_SMODE2, g_smode2);
  GsPrivWrite(GS_PMODE, 0);  // nothing shown until a display environment is put
  return 0;
}

void sceGsResetPath() {
  VifReset(1);
  Vu1Reset();
  GifReset();
}

int sceGsSetDefDBuffDc(sceGsDBuffDc* db, short psm, short w, short h, short ztest, short zpsm, short clear) {
  memset(static_cast<void*>(db), 0, sizeof *db);
  const int fbw = (w + 63) / 64;
  const int pageH = (psm & 2) ? 64 : 32;  // 16-bit formats have 64x64 pages
  const int pages = fbw * ((h + pageH - 1) / pageH);
  const int fbp[2] = {0, pages};
  const int zbp = 2 * pages;
  int magh = 2560 / (w > 0 ? w : 640) - 1;
  if (magh < 0) magh = 0;
  if (magh > 15) magh = 15;
  const bool pal = g_omode == SCE_GS_PAL;
  for (int i = 0; i < 2; i++) {
    sceGsDispEnv& d = db->disp[i];
    d.pmode = 0xff26;  // circuit 2 on, alpha from ALP
    d.smode2 = g_smode2;
    d.dispfb = GS_DISPFB::FBP::make(uint64_t(fbp[i])) | GS_DISPFB::FBW::make(uint64_t(fbw)) |
               GS_DISPFB::PSM::make(uint64_t(psm));
    d.display = GS_DISPLAY::DX::make(pal ? 656 : 636) | GS_DISPLAY::DY::make(pal ? 72 : 50) |
                GS_DISPLAY::MAGH::make(uint64_t(magh)) | GS_DISPLAY::DW::make(uint64_t(w * (magh + 1) - 1)) |
                GS_DISPLAY::DH::make(uint64_t(h - 1));
  }
  const uint64_t zbuf = GS_ZBUF::ZBP::make(uint64_t(zbp)) | GS_ZBUF::PSM::make(uint64_t(zpsm & 15));
  const uint64_t test = uint64_t(1) << 16 | uint64_t(ztest & 3) << 17;  // ZTE, ZTST
  // Drawing set n draws into the buffer display environment n does not show.
  for (int i = 0; i < 2; i++) {
    uint64_t frame = GS_FRAME::FBP::make(uint64_t(fbp[1 - i])) | GS_FRAME::FBW::make(uint64_t(fbw)) |
                     GS_FRAME::PSM::make(uint64_t(psm));
    uint64_t* tag = i ? db->giftag1 : db->giftag0;
    tag[0] = AD_TAG(clear ? 22 : 16);
    tag[1] = GIF_DESC_AD;
    FillDraw(i ? db->draw11 : db->draw01, 0, frame, zbuf, w, h, test);
    FillDraw(i ? db->draw12 : db->draw02, 1, frame, zbuf, w, h, test);
    FillClear(i ? db->clear1 : db->clear0, w, h);
  }
  return 0;
}

int sceGsPutDispEnv(const sceGsDispEnv* d) {
  GsPrivWrite(GS_PMODE, d->pmode);
  GsPrivWrite(GS_SMODE2, d->smode2);
  GsPrivWrite(GS_DISPFB2, d->dispfb);
  GsPrivWrite(GS_DISPLAY2, d->display);
  GsPrivWrite(GS_BGCOLOR, d->bgcolor);
  return 0;
}

int sceGsPutDrawEnv(const uint64_t* giftag) {
  int n = int(GIF_TAG::NLOOP::get(giftag[0]));
  int nreg = int(GIF_TAG::NREG::get(giftag[0]));
  GifWrite(GIF_PATH3, giftag, 1 + n * (nreg ? nreg : 16));
  return 0;
}

int sceGsSwapDBuffDc(sceGsDBuffDc* db, int id) {
  id &= 1;
  sceGsPutDispEnv(&db->disp[id]);
  sceGsPutDrawEnv(id ? db->giftag1 : db->giftag0);
  DisplayPresent();
  return 0;
}

void sceGsSetHalfOffset(sceGsDrawEnv1* draw, int centerx, int centery, int halfoff) {
  draw->xyoffset1 = XyOffset(centerx, centery, draw->scissor1, halfoff);
}

void sceGsSetHalfOffset2(sceGsDrawEnv2* draw, int centerx, int centery, int halfoff) {
  draw->xyoffset2 = XyOffset(centerx, centery, draw->scissor2, halfoff);
}

int sceGsSyncV(int) {
  KernelWaitVSync();
  // Virtual time shows only even fields, so that pictures are stable.
  return KernelGetClock() == KCLOCK_VIRTUAL ? 0 : int(KernelFields() & 1);
}

sceGsVCallback sceGsSyncVCallback(sceGsVCallback func) {
  sceGsVCallback old = g_vcallback;
  g_vcallback = func;
  if (!g_vcallbackInstalled) {
    AddIntcHandler(INTC_VBLANK_S, VCallbackTrampoline, 0);
    g_vcallbackInstalled = true;
  }
  return old;
}

int sceGsSyncPath(int, uint16_t) { return 0; }

void sceGsSetDefStoreImage(sceGsStoreImage* sp, short sbp, short sbw, short spsm, short x, short y, short w,
                           short h) {
  memset(static_cast<void*>(sp), 0, sizeof *sp);
  sp->giftag[0] = AD_TAG(5);
  sp->giftag[1] = GIF_DESC_AD;
  sp->bitbltbuf = uint64_t(sbp & 0x3fff) | uint64_t(sbw & 0x3f) << 16 | uint64_t(spsm & 0x3f) << 24;
  sp->bitbltbufaddr = GS_BITBLTBUF;
  sp->trxpos = uint64_t(x & 0x7ff) | uint64_t(y & 0x7ff) << 16;
  sp->trxposaddr = GS_TRXPOS;
  sp->trxreg = uint64_t(w & 0xfff) | uint64_t(h & 0xfff) << 32;
  sp->trxregaddr = GS_TRXREG;
  sp->finish = 0;
  sp->finishaddr = GS_FINISH;
  sp->trxdir = 1;  // local to host
  sp->trxdiraddr = GS_TRXDIR;
  // Bits per pixel of the format: 32, 24, 16, 8 or 4.
  int bits = 32;
  switch (spsm) {
    case PSMCT24: case PSMZ24: bits = 24; break;
    case PSMCT16: case PSMCT16S: case PSMZ16: case PSMZ16S: bits = 16; break;
    case PSMT8: case PSMT8H: bits = 8; break;
    case PSMT4: case PSMT4HL: case PSMT4HH: bits = 4; break;
    default: break;
  }
  sp->bytes = uint32_t(w) * uint32_t(h) * uint32_t(bits) / 8;
}

int sceGsExecStoreImage(sceGsStoreImage* sp, void* dst) {
  GifWrite(GIF_PATH3, sp->giftag, 6);
  GsReadImage(dst, int(sp->bytes));
  return 0;
}
