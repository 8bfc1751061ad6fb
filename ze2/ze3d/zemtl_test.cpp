// Materials: the pool, the state block as the GS receives it, programs and
// effects, the on-disc record; render planes: order, the render list with
// its callbacks, and texture-coordinate animation.
#include "ze3d_test.h"
#include "zemtl_local.h"
#include "zetex_test.h"

#include <cmath>

namespace {

using Seq = std::vector<std::string>;

struct Mtls : TexTable {
  static constexpr int POOL = 12;
  char* pool = nullptr;
  void SetUp() override {
    TexTable::SetUp();
    ZeTrigInit();
    ZeRndrStreamClearZBState();
    ZeRndrStreamInit(ZERNDRSTREAM_DEFAULT_BUFFER);
    pool = static_cast<char*>(ZeMemAlloc(ZeMtlGetSysBuffSize(POOL) + 16));
    char* p = pool;
    ZeMtlInitEx(&p, POOL);
  }
  void TearDown() override {
    ZeMtlClose();
    ZeMemFree(pool);
    zemtl_force_mtlsize = 0;
    zemtl_lighting_disabled = 0;
    ZeMtlSetCurrentRenderPlane(0);
    TexTable::TearDown();
  }
};

uint32_t Set(uint32_t v, int shift, int width, uint32_t x) {
  const uint32_t m = ((1u << width) - 1) << shift;
  return (v & ~m) | (x << shift & m);
}

// The GS register writes of a material's state block, sent through VIF1.
std::vector<std::pair<int, uint64_t>> SendState(ZEMTL* m) {
  EeQwords chain(2);
  PutTag(chain.qw(0), 0, DMA_CALL, EeAddrOf(m));
  PutTag(chain.qw(1), 0, DMA_END, 0);
  GsCapture gs;
  VU1_DmaWrite(chain.w);  // runs to its end at once
  vu1_dma_status = 0;     // no DMA-end handler is installed here
  return gs.writes;
}

uint64_t RegValue(const std::vector<std::pair<int, uint64_t>>& w, int reg) {
  for (auto& x : w)
    if (x.first == reg) return x.second;
  return ~uint64_t(0);
}

}  // namespace

TEST_F(Mtls, ThePoolFindsItsLastFreeSlotAndThenRefuses) {
  // Two slots hold the defaults; the cursor is on the last one taken.
  std::vector<ZEMTL*> taken;
  for (int i = 2; i < POOL; i++) taken.push_back(ZeMtlCreate(1));
  ZEMTL* last = taken.back();
  ZeMtlDestroy(last);
  EXPECT_EQ(ZeMtlCreate(1), last) << "the cursor's own slot is examined too";
  EXPECT_HALT(ZeMtlCreate(1), "Unable to allocate material");
  ZeMtlDestroy(last);
  {
    ConsoleCaptureScope console;
    ZeMtlDestroy(last);
    EXPECT_NE(console.text().find("already free"), std::string::npos);
  }
  EXPECT_EQ(ZeMtlValid(last), 0);
  EXPECT_EQ(ZeMtlValid(taken[0]), -1);
}

TEST_F(Mtls, StateBlockReachesTheGsInTheMaterialsContext) {
  TestImage img(ZETEX_RGBA32, 16, 16, 2);
  ZETEXID tex = ZeTexCreate(&img.tex);
  ZEMTL* m = ZeMtlCreate(1);
  uint32_t a = m->attributes;
  a = Set(a, ZEMTLATTR_BLEND, 4, 2);
  a = Set(a, ZEMTLATTR_FILTER, 2, 2);
  a = Set(a, ZEMTLATTR_UWRAP, 2, 1);
  a = Set(a, ZEMTLATTR_DEPTH, 2, 1);
  m->attributes = a;
  m->context = 1;
  m->texture = tex;
  m->diffuse[0] = 1.0f;
  m->alpha = 0.5f;
  m->effect_id = 0x8b;
  m->p[0] = 3.0f;
  ZeMtlUpdate(m);
  EXPECT_EQ(m->state[0] >> 28, uint32_t(DMATAG_RET));
  EXPECT_EQ((m->state[0] >> 16) & 0xff, uint32_t(DMAMK_MTL));
  EXPECT_LE(int(m->state[0] & 0xffff) * 16 + 16, 287);
  EXPECT_EQ(ZeMtlGetZupd(m), 0) << "depth mode 1 does not write";
  auto w = SendState(m);
  EXPECT_EQ(RegValue(w, GS_PRMODE), uint64_t(1 << 3 | 1 << 4 | 1 << 6 | 1 << 9)) << "IIP, TME, ABE, context 2";
  EXPECT_EQ(RegValue(w, GS_ALPHA_2), 0x48u);
  EXPECT_EQ(RegValue(w, GS_ALPHA_1), ~uint64_t(0)) << "nothing of context 1";
  EXPECT_EQ(RegValue(w, GS_ZBUF_2) >> 32, 1u) << "ZMSK";
  uint64_t test = RegValue(w, GS_TEST_2);
  EXPECT_EQ(test & 1, 1u) << "alpha test with blending";
  EXPECT_EQ((test >> 1) & 7, 5u);
  EXPECT_EQ((test >> 4) & 0xff, 0x7fu);
  EXPECT_EQ((test >> 17) & 3, 2u) << "GEQUAL";
  uint64_t tex1 = RegValue(w, GS_TEX1_2);
  EXPECT_EQ((tex1 >> 2) & 7, 1u) << "MXL: two levels";
  EXPECT_EQ((tex1 >> 6) & 7, 5u);
  EXPECT_EQ(int(int64_t(tex1 << 20) >> 52), -90) << "K in sixteenths";
  EXPECT_EQ(RegValue(w, GS_CLAMP_2), 1u) << "U clamps, V repeats";
  // VU1 got the colour x 128 and the effect block; the row the offsets.
  float colour[4];
  memcpy(colour, Vu1Quad(ZEVU1_MTL), 16);
  EXPECT_EQ(colour[0], 128.0f);
  EXPECT_EQ(colour[3], 64.0f);
  float fx[4];
  memcpy(fx, Vu1Quad(ZEVU1_MTL + 2), 16);
  EXPECT_EQ(fx[2], 3.0f) << "effect 0x8b: entry 6 = p1";
  EXPECT_EQ(fx[3], 0.25f);
}

TEST_F(Mtls, StateBlockKeepsTheVu1DataOnQuadwords) {
  // After the GS data come two VIF NOPs, STCYCL and the UNPACK, so that the
  // colour and the effect block start on quadwords: the effect block is
  // written in place (texture-coordinate animation, water) as two quadwords.
  TestImage img(ZETEX_RGBA32, 16, 16);
  ZETEXID tex = ZeTexCreate(&img.tex);
  for (ZETEXID t : {0, tex}) {
    ZEMTL* m = ZeMtlCreate(1);
    m->texture = t;
    ZeMtlUpdate(m);
    const int direct = int(m->state[3] & 0xffff);  // GIF tag and A+D writes
    EXPECT_EQ(direct, t ? 8 : 5);
    EXPECT_EQ(int(m->state[0] & 0xffff), t ? 14 : 11) << "tag quadwords";
    const uint32_t* vif = m->state + 4 + direct * 4;
    EXPECT_EQ(vif[0], 0u) << "VIF NOP";
    EXPECT_EQ(vif[1], 0u) << "VIF NOP";
    EXPECT_EQ(vif[2], 0x01000101u) << "STCYCL 1, 1";
    EXPECT_EQ(vif[3], 0x6c030000u | uint32_t(ZEVU1_MTL)) << "UNPACK V4-32 of 3 quadwords";
    EXPECT_EQ(m->effect_block.get(), reinterpret_cast<const float*>(vif + 8));
    EXPECT_EQ(EeAddrOf(m->effect_block.get()) & 15, 0u);
    EXPECT_EQ(vif[16], 0x30000000u) << "STROW";
    EXPECT_EQ(ZeMtlStrowData(m), vif + 17);
    EXPECT_LE(int(m->state[0] & 0xffff) * 16 + 16, ZEMTL_STATE_BLOCK - 1);
  }
}

TEST_F(Mtls, ProgramsFollowTheLightingModeAndEffects) {
  struct Case {
    int lighting, vtxcol, uvmode, effect;
    uint32_t* program;
    uint32_t flags;
  } cases[] = {
      {0, 0, 0, 0, vu_load_tri_mpg, 0x3d},      {0, 1, 0, 0, vu_load_tric_mpg, 0x3d},
      {1, 0, 0, 0, vu_load_xformuv_mpg, 0x3e},  {2, 0, 0, 0, vu_load_tricu_mpg, 0x3c},
      {3, 0, 0, 0, vu_load_trica_mpg, 0x3d},    {2, 0, 1, 0, vu_load_xformuv_mpg, 0x7c},
      {0, 0, 0, 0x83, vu_load_xformuv_mpg, 0x7c}, {0, 0, 0, 0x8c, vu_load_patchsphere_mpg, 0x3d},
  };
  for (const Case& c : cases) {
    ZEMTL* m = ZeMtlCreate(1);
    m->attributes = Set(Set(Set(m->attributes, ZEMTLATTR_LIGHTING, 2, uint32_t(c.lighting)), ZEMTLATTR_VTXCOL, 1,
                            uint32_t(c.vtxcol)),
                        ZEMTLATTR_UVMODE, 2, uint32_t(c.uvmode));
    m->effect_id = uint8_t(c.effect);
    ZeMtlUpdate(m);
    EXPECT_EQ(m->stream.program.get(), c.program) << c.lighting << " " << c.effect;
    EXPECT_EQ(m->stream.flags, c.flags) << c.lighting << " " << c.effect;
    ZeMtlDestroy(m);
  }
  // Glass draws with the glass screen copy and its own priority, unless flag 4.
  zemtl_glass_tid = 77;
  ZEMTL* g = ZeMtlCreate(1);
  g->effect_id = 0x82;
  g->texture = 5;
  ZeMtlUpdate(g);
  EXPECT_EQ(g->texture, 77);
  EXPECT_EQ(g->sort_priority, zemtl_sortpri_glass);
  EXPECT_EQ(g->stream.program.get(), vu_load_triglass_mpg);
  g->effect_id = 0x81;
  g->sort_priority = 5;
  ZeMtlUpdateEx(g, 1 | 4);
  EXPECT_EQ(g->sort_priority, 5) << "flag 4 keeps the caller's priority";
  zemtl_glass_tid = 0;
}

TEST_F(Mtls, FileRecordsDecode) {
  struct Rec {
    uint32_t chain, packed;
    float ambient[3], diffuse[3], p[5], alpha;
    int32_t texture;
    int16_t pri;
    uint8_t effect, table;
    int16_t mipk;
    uint8_t mipl, uv;
    float uvv[4];
  };
  static_assert(sizeof(Rec) == ZEMTL_FILE_RECORD);
  alignas(16) Rec r[2] = {};
  // Blend 1, filter 2, U wrap 1, depth 1, lighting 3, vertex colours, alpha
  // test GEQUAL with reference 255, AFAIL 1, FST.
  r[0].chain = 2;
  r[0].packed = 1 | 2u << 2 | 1u << 6 | 1u << 12 | 3u << 14 | 1u << 16 | 5u << 18 | 255u << 21 | 1u << 29 | 1u << 31;
  r[0].diffuse[0] = 1.0f;
  r[0].texture = 0;
  r[0].pri = 100;
  r[0].mipk = 10;
  r[0].mipl = 1;
  r[0].uv = 0x21;
  r[0].uvv[3] = 2.0f;
  r[1].diffuse[0] = 1.0f;
  r[1].texture = -1;
  EeQwords mem(int(sizeof r / 16 + 1));
  memcpy(mem.w, r, sizeof r);
  ZEFILE f = ZeMemFileOpen(mem.w, int(sizeof r), 0);
  ZEMTL* m = ZeMtlRead(f);
  EXPECT_EQ(m->chain.addr, 2u) << "the file's material number, unchanged";
  EXPECT_EQ((m->attributes >> ZEMTLATTR_BLEND) & 15, 1u);
  EXPECT_EQ((m->attributes >> ZEMTLATTR_FILTER) & 3, 2u);
  EXPECT_EQ((m->attributes >> ZEMTLATTR_UWRAP) & 3, 1u);
  EXPECT_EQ((m->attributes >> ZEMTLATTR_DEPTH) & 3, 1u);
  EXPECT_EQ((m->attributes >> ZEMTLATTR_LIGHTING) & 3, 3u);
  EXPECT_EQ((m->attributes >> ZEMTLATTR_AREF) & 255, 0x7fu) << "a cut-out's reference";
  EXPECT_TRUE(m->render_flags & ZEMTLRF_CUTOUT);
  EXPECT_EQ(m->render_flags & ZEMTLRF_AFAIL, 3u) << "AFAIL 1 becomes 3";
  EXPECT_TRUE(m->render_flags & ZEMTLRF_FST);
  EXPECT_TRUE(m->render_flags & ZEMTLRF_IIP);
  EXPECT_EQ(m->sort_priority, 101) << "blended after opaque";
  EXPECT_EQ(m->diffuse[0], 0.5f) << "texture 0 still halves the colour";
  EXPECT_EQ(m->mip_k, -80);
  EXPECT_EQ(m->mip_l, 1);
  EXPECT_EQ(m->uv_anim, 0x21);
  EXPECT_EQ(m->v_speed, 2.0f);
  ZEMTL* n = ZeMtlRead(f);
  EXPECT_EQ(n->diffuse[0], 1.0f) << "only -1 keeps it";
  EXPECT_EQ(n->sort_priority, 0) << "the record's priority, not blended";
  EXPECT_HALT(ZeMtlRead(f), "short material record");
  ZeMemFileClose(f);
  // A blended record at the highest priority keeps it (it does not wrap
  // round to the lowest and draw first).
  r[0].pri = INT16_MAX;
  memcpy(mem.w, r, sizeof r);
  f = ZeMemFileOpen(mem.w, int(sizeof r), 0);
  EXPECT_EQ(ZeMtlRead(f)->sort_priority, INT16_MAX);
  ZeMemFileClose(f);
}

TEST_F(Mtls, TheForcedSizePathReadsNoMoreThanAMaterial) {
  std::vector<uint8_t> raw(sizeof(ZEMTL) + 64, 0);
  EeQwords mem(int(raw.size() / 16 + 1));
  ZEFILE f = ZeMemFileOpen(mem.w, int(raw.size()), 0);
  zemtl_force_mtlsize = int(raw.size());
  ZEMTL* a = ZeMtlRead(f);
  zemtl_force_mtlsize = 0;
  EXPECT_EQ(ZeMemFilePos(f), int(raw.size())) << "the excess is skipped";
  EXPECT_EQ(ZeMtlValid(a), -1);
  int listed = 0;
  for (ZEMTL* m = ZeMtlIterate(1); m; m = ZeMtlIterate(0)) listed += m == a;
  EXPECT_EQ(listed, 1) << "still in its plane";
  ZeMemFileClose(f);
}

TEST_F(Mtls, PlaneOrderAndRangeChecks) {
  ZeMtlSetRenderPlaneOrder(3, 0);
  uint8_t at[24], pos[24];
  ZeMtlGetRenderPlanesInDrawOrder(at, 24);
  EXPECT_EQ((std::vector<int>(at, at + 5)), (std::vector<int>{3, 0, 1, 2, 4}));
  ZeMtlSetRenderPlaneAfter(5, 1);
  ZeMtlGetRenderPlanesInDrawOrder(at, 24);
  EXPECT_EQ((std::vector<int>(at, at + 6)), (std::vector<int>{3, 0, 1, 5, 2, 4}));
  ZeMtlSetRenderPlaneAfter(5, 1);
  ZeMtlGetRenderPlanesInDrawOrder(at, 24);
  EXPECT_EQ((std::vector<int>(at, at + 6)), (std::vector<int>{3, 0, 1, 5, 2, 4})) << "already after: no change";
  ZeMtlSetRenderPlaneBefore(4, 0);
  ZeMtlGetRenderPlanesInDrawOrder(at, 24);
  EXPECT_EQ((std::vector<int>(at, at + 6)), (std::vector<int>{3, 4, 0, 1, 5, 2}));
  ZeMtlGetRenderPlaneDrawOrders(pos, 24);
  for (int i = 0; i < 24; i++) EXPECT_EQ(at[pos[i]], i);
  EXPECT_HALT(ZeMtlSetRenderPlaneOrder(2, 24), "neworder of 24 exceeds maximum renderplane position of 23");
  EXPECT_HALT(ZeMtlSetRenderPlaneOrder(24, 0), "out of range");
  EXPECT_HALT(ZeMtlSetRenderPlaneAfter(30, 1), "out of range");
  EXPECT_HALT(ZeMtlSetRenderPlaneBefore(2, 2), "Cannot set renderplane 2 before itself");
  EXPECT_HALT(ZeMtlSetCurrentRenderPlane(24), "ZeMtlSetCurrentRenderPlane out of range");
  ZEMTL* m = ZeMtlCreate(1);
  EXPECT_HALT(ZeMtlInsert(m, 24), "ZeMtlInsert - Renderplane out of range");
}

namespace {

std::string g_log;
void Phase(ZEMTL* m, ZERNDRSTREAM* s, int phase) {
  g_log += "p" + std::to_string(phase) + ":" + std::to_string(m->sort_priority) + " ";
  if (phase == 2) WritePacket(s, 0xc0de0000u | uint32_t(m->sort_priority));
}
void PriFn(ZERNDRSTREAM* s, ZEMTL* m, int plane) {
  g_log += "pri:" + std::to_string(m->sort_priority) + " ";
  WritePacket(s, 0xbbbb);
}
void BeginFn(ZERNDRSTREAM*, int plane) { g_log += "begin" + std::to_string(plane) + " "; }
void EndFn(ZERNDRSTREAM*, int plane) { g_log += "end" + std::to_string(plane) + " "; }

// Geometry for a material this frame: one packet marked with its priority.
void Draw(ZEMTL* m) { WritePacket(&m->stream, 0xd0000000u | uint32_t(uint16_t(m->sort_priority))); }

ZEMTL* Make(int plane, int pri, ZETEXID tex) {
  ZEMTL* m = ZeMtlCreateEx(1, plane);
  m->texture = tex;
  m->attributes = Set(m->attributes, ZEMTLATTR_LIGHTING, 2, 2);
  ZeMtlUpdateEx(m, 1 | 4);
  m->sort_priority = int16_t(pri);
  ZeMtlRemove(m);
  ZeMtlInsert(m, plane);
  return m;
}

}  // namespace

TEST_F(Mtls, TheRenderListSplicesDrawnMaterialsInPlaneAndPriorityOrder) {
  TestImage img(ZETEX_PAL8, 8, 8);
  ZETEXID t = ZeTexCreate(&img.tex);
  ZEMTL* a = Make(2, 1039, 0);
  ZEMTL* b = Make(2, 1039, 0);  // same key: the later one first
  ZEMTL* c = Make(2, 600, t);
  ZEMTL* d = Make(2, 700, t);  // same texture as c: one upload and set
  ZEMTL* e = Make(1, 5, -1);   // texture -1 sorts as 0
  ZEMTL* idle = Make(1, 4, 0);  // nothing drawn: costs nothing
  a->callback = Phase;
  ZeMtlSetRenderPlaneOrder(2, 0);  // plane 2 draws before plane 1
  ZEMTLPRICALLBACK pri{};
  pri.fn = PriFn;
  pri.priority = 1024;
  pri.mask = 0xfff0;
  pri.compare = 2;
  EXPECT_EQ(ZeMtlAddPriCallBack(&pri, 1u << 2 | 1u << 1), 2);
  ZERENDERPLANECALLBACK begin{}, end{};
  begin.fn = BeginFn;
  end.fn = EndFn;
  ZeMtlAddRenderPlaneBeginCallBack(&begin, 2);
  ZeMtlAddRenderPlaneEndCallBack(&end, 1);

  for (ZEMTL* m : {a, b, c, d, e}) Draw(m);
  g_log.clear();
  ZeMtlBuildRenderList(0xffffff);
  ZeRndrStreamFlush();
  EXPECT_EQ(g_log, "begin2 pri:1039 p1:1039 p2:1039 p3:1039 end1 ");
  std::vector<std::string> chain = ReadChain(rndrstream_start);
  Seq got;
  int uploads = 0;
  for (auto& x : chain) {
    if (x == "8002") uploads++;  // a palette or level set-up (TEXFLUSH, BITBLTBUF)
    if (x.rfind("d", 0) == 0 || x == "bbbb" || x.rfind("c0de", 0) == 0) got.push_back(x);
  }
  EXPECT_EQ(got, (Seq{"d0000258", "d00002bc", "bbbb", "d000040f", "c0de040f", "d000040f", "d0000005"}));
  EXPECT_EQ(uploads, 2) << "palette and level, once for c and d";
  EXPECT_EQ(ReadChain(rndrstream_start).back(), "end");
  EXPECT_FALSE(idle->stream.first);
  EXPECT_FALSE(a->stream.first) << "streams are emptied";
  (void)b;

  // The callback fires once per build at the first material reaching it;
  // a plane whose first such material has 1040 does not fire it.
  ZeMtlRemovePriCallBack(&pri);
  ZeMtlAddPriCallBack(&pri, 1u << 3);
  ZEMTL* f = Make(3, 1040, 0);
  ZEMTL* g = Make(3, 1039, 0);
  ZeRndrSwapStreamBuffers();
  Draw(f);
  g_log.clear();
  ZeMtlBuildRenderList(1u << 3);
  EXPECT_EQ(g_log, "");
  Draw(f);
  Draw(g);
  ZeMtlBuildRenderList(1u << 3);
  EXPECT_EQ(g_log, "pri:1039 ");
}

TEST_F(Mtls, AnimationScrollsWavesAndStaysWrapped) {
  ZEMTL* s = ZeMtlCreate(1);
  s->uv_anim = 0x32;  // U scrolls, V waves
  s->u_value = 0.9f;
  s->u_speed = 0.5f;
  s->v_value = 0.25f;
  s->v_speed = 0.25f;
  ZeMtlUpdate(s);
  ZeMtlAnimate(0.5f, 1);
  EXPECT_NEAR(s->effect_block.get()[0], 0.15f, 1e-6);
  EXPECT_EQ(ZeMtlStrowData(s)[0], uint32_t(EeFtoi(s->effect_block.get()[0] * 4096.0f)));
  // t = 0.5 s at a quarter turn a second: an eighth of a turn.
  EXPECT_NEAR(s->effect_block.get()[1], 0.25f * std::sin(3.14159265 / 4), 1e-3);
  // After many hours the wave still takes its angle within one turn.
  ZeMtlAnimate(4.0f * 3600.0f * 10.0f, 1);
  float v = s->effect_block.get()[1];
  EXPECT_TRUE(std::isfinite(v));
  EXPECT_LE(std::fabs(v), 0.25f);
  EXPECT_NEAR(v, 0.25f * std::sin(2 * 3.14159265 * std::fmod(double(0.5f + 144000.0f) * 0.25, 1.0)), 2e-3);

  // The list holds 256; a 257th animated material is flagged, not animated.
  ZeMtlClose();
  ZeMtlInit();
  std::vector<ZEMTL*> all;
  for (int i = 0; i < ZEMTL_ANIM_MAX + 1; i++) {
    ZEMTL* m = ZeMtlCreate(1);
    m->uv_anim = 1;
    m->u_value = 0.5f;
    ZeMtlUpdate(m);
    all.push_back(m);
  }
  ZeMtlAnimate(0.1f, 1);
  EXPECT_EQ(all[255]->effect_block.get()[0], 0.5f);
  EXPECT_EQ(all[256]->in_anim_list, 1);
  EXPECT_EQ(all[256]->effect_block.get()[0], 0.0f);
  ZeMtlDestroy(all[256]);  // leaving a list it never entered
  ZeMtlDestroy(all[0]);
  ZeMtlAnimate(0.1f, 1);
  EXPECT_EQ(all[255]->effect_block.get()[0], 0.5f);
}

TEST_F(Mtls, ChainsCountUsesAndTheSystemReinitialisesOnItsBuffer) {
  ZEMTL* a = ZeMtlCreate(1);
  ZEMTL* b = ZeMtlCreate(1);
  ZEMTL* c = ZeMtlCreate(1);
  EXPECT_EQ(ZeMtlAppendMtl(nullptr, b), 1) << "only a use of b";
  EXPECT_FALSE(a->chain);
  EXPECT_EQ(ZeMtlAppendMtl(a, b), 2);
  EXPECT_EQ(ZeMtlAppendMtl(a, c), 1);
  EXPECT_EQ(a->chain.get(), b);
  EXPECT_EQ(b->chain.get(), c);
  ZeMtlDetachMtl(b);  // c's last use: released
  EXPECT_EQ(ZeMtlValid(c), 0);
  EXPECT_FALSE(b->chain);
  ZeMtlDetachMtl(a);  // b keeps one use
  EXPECT_EQ(ZeMtlValid(b), -1);

  // Each pass of the replay loop starts the system again on the same buffer.
  char* p = pool;
  ZeMtlInitEx(&p, POOL);
  ASSERT_TRUE(zemtl_defaultmtl2d);
  EXPECT_TRUE(zemtl_defaultmtl2d->flags & ZEMTL_POOL);
  EXPECT_EQ((zemtl_defaultmtl2d->attributes >> ZEMTLATTR_DEPTH) & 3, 3u);
  int n = 0;
  for (ZEMTL* m = ZeMtlIterate(1); m; m = ZeMtlIterate(0)) n++;
  EXPECT_EQ(n, 2) << "the two defaults alone";
  ZeMtlRelease();
  n = 0;
  for (ZEMTL* m = ZeMtlIterate(1); m; m = ZeMtlIterate(0)) n++;
  EXPECT_EQ(n, 2);
}
