// Time-based rendering: classification by depth and view, the cascade of
// full classes, slot assignment and image moves, the refresh budget, the
// sprites of each class, a slot's image against the model drawn at that
// size, a lying character, and the fatal paths.
#include <algorithm>

#include "coblib_local.h"
#include "modelwrite.h"
#include "tbr_local.h"
#include "zehgobj_test.h"

namespace {

ZEMTX At(float x, float y, float z) {
  ZEMTX m = zemtx_identity;
  m.m[3][0] = x, m.m[3][1] = y, m.m[3][2] = z;
  return m;
}

struct Tbr : Hgo {
  ZEHGOBJ* model = nullptr;
  // EE memory: the records hold 4-byte pointers.
  COBINFO* info = nullptr;
  COBTYPE* type = nullptr;
  COB* cobs = nullptr;
  int ncobs = 0;
  ZETEXID page = 0;
  int pageAddr = 0;
  ZEMTL* copyMtl = nullptr;
  ZEMTL* spriteMtl = nullptr;

  void SetUp() override {
    Hgo::SetUp();
    ModelDesc d;
    std::string error;
    ASSERT_TRUE(ModelReadDescription(ZE_DEMO_DIR "/demo_model.txt", &d, &error)) << error;
    PlatSetHostRoot(dir.c_str());  // the reader looked beside the description
    ASSERT_TRUE(ModelWriteHgof(d, "DEMO.HGO", &error)) << error;
    ModelDescFree(&d);
    model = ZeHGobjLoad("DEMO.HGO");
    ASSERT_NE(model, nullptr);
    objs.push_back(model);
    // A box close about the figure (the tool's holds every turn of a joint).
    model->boxmin = {-0.6f, -0.1f, -0.6f};
    model->boxmax = {0.6f, 2.4f, 0.6f};
    // A character of radius 1 whose centre stands 1 above its feet.
    info = Block<COBINFO>(sizeof(COBINFO));
    type = Block<COBTYPE>(sizeof(COBTYPE));
    cobs = Block<COB>(sizeof(COB) * 300);
    info->radius = 1.0f;
    info->centreheight = 1.0f;
    type->hgobj = model;
    type->info = info;
    type->radius = 1.0f;
    type->centre = {0.0f, 1.0f, 0.0f};
    type->usecount = 1;
    // The camera at the origin looking along +z.
    ZECAMERA* cam = ZeCameraCreate();
    ZeCameraSet(cam);
    ZeCameraDestroy(cam);
    // The page and its two materials, as the program makes them.
    ZETEX image{ZETEX_RT_CT32, TBR_PAGE_W, TBR_PAGE_H, 1, nullptr, nullptr};
    page = ZeTexCreate(&image);
    pageAddr = ZeTexReserve(ZeTexGetReqSize(page, 0));
    ASSERT_GT(pageAddr, 0);
    ZeTexAssignAddr(page, pageAddr);
    copyMtl = PageMaterial();
    spriteMtl = PageMaterial();
    TimeBasedRenderInit();
  }
  void TearDown() override {
    cobpt = 0;
    Hgo::TearDown();
  }
  // Unlit, vertex-coloured, textured by the page, no depth test.
  ZEMTL* PageMaterial() {
    ZEMTL* m = Material(2, true);
    m->texture = page;
    m->attributes = (m->attributes & ~(3u << ZEMTLATTR_DEPTH)) | 3u << ZEMTLATTR_DEPTH;
    m->attributes &= ~(7u << ZEMTLATTR_ATST);
    m->attributes &= ~(3u << ZEMTLATTR_FILTER);  // nearest
    ZeMtlUpdate(m);
    return m;
  }
  COB* Cob(float x, float z, int orientation = 0) {
    COB* c = &cobs[ncobs++];
    *c = COB{};
    c->mtx = At(x, -1.0f, z);  // the centre on the view axis's height
    c->type = type;
    c->visible = 1;
    c->layers[0] = 0, c->layers[1] = -1;
    c->anim = c->prevanim = -1;
    c->blend = 1.0f;
    c->lights = &coblights;
    type->orientation = int16_t(orientation);
    return c;
  }
  static void Move(COB* c, float x, float z) {
    c->mtx.m[3][0] = x;
    c->mtx.m[3][2] = z;
  }
  // The off-screen pass over these cobs into the page, then a main pass of
  // the sprites; the frame drawn into. With clearFirst the screen is
  // cleared in a scene before the off-screen pass, so that the sprites are
  // the main pass's first drawing.
  uint64_t Frame(const std::vector<COB*>& queue, int budget = 6, bool clearFirst = false) {
    for (size_t i = 0; i < queue.size(); i++) coblist[i] = queue[i];
    cobpt = int(queue.size());
    uint64_t frame;
    ZePs2GetCurrentBackBuffer(&frame);
    if (clearFirst) {
      ZeRndrBeginScene(-1);
      ZeRndrClear(0x700, 0x00202020, 1.0f);
      ZeRndrEndScene();
    }
    ZeRndrBeginScene(page);
    TBRDrawCobs(copyMtl, budget);
    ZeRndrEndScene();
    ZeRndrBeginScene(-1);
    if (!clearFirst) ZeRndrClear(0x700, 0x00202020, 1.0f);
    DrawTimeBasedObjects(spriteMtl, 0);
    ZeRndrEndScene();
    ZePs2ScreenSwap(1);
    ZeRndrVu1Draw();
    KernelYield();
    ZeRndrSwapStreamBuffers();
    cobpt = 0;
    return frame;
  }
  uint32_t PagePx(int x, int y) const { return GsMemReadPixel(PSMCT32, uint32_t(pageAddr), 4, x, y) & 0xffffff; }
  std::vector<uint32_t> PageRect(const TBRSLOT* s) const {
    std::vector<uint32_t> v;
    for (int y = 0; y < s->h; y++)
      for (int x = 0; x < s->w; x++) v.push_back(PagePx(s->x + x, s->y + y));
    return v;
  }
  static TBROBJ* Obj(const COB* c) { return c->tbr ? &tbrobjs[c->tbr - 1] : nullptr; }
};

int Lit(const std::vector<uint32_t>& px) {
  return int(std::count_if(px.begin(), px.end(), [](uint32_t p) { return p != 0; }));
}

// An x at which the model's box at depth z crosses the right edge of the
// view: its centre inside, its right side outside.
float EdgeX(const ZEHGOBJ* model, float z) {
  for (float x = 0; x < 40; x += 0.0625f) {
    const ZEVEC right = {x + model->boxmax.x, 0.0f, z};
    if (!ZeCameraClipTestPointVport(&right)) return x;
  }
  return -1;
}

TEST_F(Tbr, DepthAndViewChooseModelImageOrNeither) {
  const float far = EdgeX(model, 10), near = EdgeX(model, 6);
  ASSERT_GT(far, 0);
  ASSERT_GT(near, 0);
  struct Case {
    float x, z;
    uint32_t flags;
    int result, cls;  // slot class shown, -1 none
  } cases[] = {
      {0, 8, 0, TBR_NOTSHOWN, -1},                // near: a model
      {0, 9, 0, TBR_DISTANT | TBR_CLASS0, 0},
      {0, 20, 0, TBR_DISTANT | TBR_CLASS1, 1},
      {0, 40, 0, TBR_DISTANT | TBR_CLASS2, 2},
      {0, 20, COB_TBR, 0, -1},                    // always a model
      {far, 10, 0, TBR_DISTANT | TBR_NOTSHOWN, -1},  // distant on the view's edge: neither way
      {near, 6, 0, TBR_NOTSHOWN, -1},               // near on the edge: a clipped model
      {far + 12, 10, 0, TBR_DISTANT | TBR_NOTSHOWN, -1},  // out of view
      {far, 10, COB_TBR, 0, -1},                    // always a model, even on the edge
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "x " << c.x << " z " << c.z << " flags " << c.flags);
    TimeBasedRenderInit();
    COB* cob = Cob(c.x, c.z);
    cob->flags = c.flags;
    Frame({cob});
    EXPECT_EQ(cob->tbrresult, c.result);
    TBROBJ* o = Obj(cob);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->shown, c.cls >= 0 ? 1 : 0);
    if (c.cls >= 0) {
      ASSERT_NE(o->slot, nullptr);
      EXPECT_EQ(o->slot->cls, c.cls);
      EXPECT_NE(cob->flags & COB_DRAWN, 0u);  // its first image was rendered
      EXPECT_GT(Lit(PageRect(o->slot)), 20);
    } else {
      EXPECT_EQ(cob->flags & COB_DRAWN, 0u);
    }
  }
}

TEST_F(Tbr, NineNearImagesCascadeTheDeepestIntoClassOne) {
  std::vector<COB*> q;
  // Given farthest first: the lists sort them.
  for (int i = 8; i >= 0; i--) q.push_back(Cob(float(i % 3) - 1.0f, 9.0f + float(i) * 0.3f));
  Frame(q);
  for (int i = 0; i < 9; i++) {
    const TBROBJ* o = Obj(q[size_t(8 - i)]);
    ASSERT_NE(o->slot, nullptr);
    EXPECT_EQ(o->slot->cls, i < 8 ? 0 : 1) << "depth rank " << i;
    EXPECT_EQ(q[size_t(8 - i)]->tbrresult, TBR_DISTANT | TBR_CLASS0);
  }
  // The chain: class 0 nearest first, then the cascaded one.
  int n = 0;
  float last = 0;
  for (TBRNODE* at = tbr_chain; at; at = at->next, n++) {
    if (n < 8) {
      EXPECT_GT(at->z, last);
    }
    last = at->z;
  }
  EXPECT_EQ(n, 9);
  EXPECT_EQ(listdefs[0].count, 8);
  EXPECT_EQ(listdefs[1].count, 1);
}

TEST_F(Tbr, ImagesOfEveryClassTogetherKeepSlotsOfTheirClass) {
  // The lists are joined into one chain before the slots are assigned;
  // each class's assignment stays within its own list, frame after frame.
  const struct {
    float x, z;
    int cls;
  } cases[] = {{-1.5f, 9.5f, 0}, {1.5f, 10.0f, 0}, {-3.0f, 20.0f, 1}, {3.0f, 28.0f, 1}, {-6.0f, 40.0f, 2}, {6.0f, 60.0f, 2}};
  std::vector<COB*> q;
  for (const auto& c : cases) q.push_back(Cob(c.x, c.z));
  for (int frame = 0; frame < 3; frame++) {
    Frame(q);
    for (size_t i = 0; i < q.size(); i++) {
      SCOPED_TRACE(testing::Message() << "frame " << frame << " depth " << cases[i].z);
      EXPECT_EQ(q[i]->tbrresult, TBR_DISTANT | TBR_CLASS0 << cases[i].cls);
      const TBROBJ* o = Obj(q[i]);
      ASSERT_NE(o->slot, nullptr);
      EXPECT_EQ(o->slot->cls, cases[i].cls);
      EXPECT_EQ(o->slot->owner, o);
      if (cases[i].cls == 2) {
        EXPECT_EQ(o->slot, o->ownslot);
      }
    }
  }
}

TEST_F(Tbr, TheBudgetRefreshesAFewImagesAndNeverHoldsBackANewcomer) {
  // The frame loop's budget from the models drawn last frame.
  const int budgets[][2] = {{0, 6}, {1, 6}, {2, 5}, {4, 3}, {5, 3}, {40, 3}};
  for (const auto& b : budgets) EXPECT_EQ(TBRBudget(b[0]), b[1]) << b[0] << " models";

  std::vector<COB*> q;
  for (int i = 0; i < 12; i++) q.push_back(Cob(float(i % 4) * 2.0f - 3.0f, 40.0f + float(i)));
  dbg_tbrset = 0;
  Frame(q, 3);
  EXPECT_EQ(dbg_tbrset, 12);  // every new object renders at once
  for (int f = 0; f < 4; f++) {
    dbg_tbrset = 0;
    Frame(q, 3);
    EXPECT_EQ(dbg_tbrset, 3) << "frame " << f;
  }
  // With the budget spent, a cob arriving from near still renders now.
  COB* comer = Cob(0, 5);
  q.push_back(comer);
  Frame(q, 0);
  EXPECT_EQ(comer->flags & COB_DRAWN, 0u);
  Move(comer, 0, 30);
  dbg_tbrset = 0;
  Frame(q, 0);
  EXPECT_EQ(dbg_tbrset, 1);
  EXPECT_NE(comer->flags & COB_DRAWN, 0u);
  EXPECT_EQ(comer->tbrresult, TBR_DISTANT | TBR_CLASS1);
}

TEST_F(Tbr, AClassChangeShowsTheOldPictureHalvedUntilItsRefresh) {
  COB* cob = Cob(0, 10);
  Frame({cob});
  TBROBJ* o = Obj(cob);
  TBRSLOT* big = o->slot;
  ASSERT_EQ(big->cls, 0);
  const std::vector<uint32_t> before = PageRect(big);
  ASSERT_GT(Lit(before), 100);
  Move(cob, 0, 20);
  dbg_tbrset = 0;
  Frame({cob}, 0);  // budget 0: no refresh this frame
  ASSERT_EQ(o->slot->cls, 1);
  EXPECT_EQ(big->owner, nullptr);
  EXPECT_EQ(dbg_tbrset, 0);
  const std::vector<uint32_t> after = PageRect(o->slot);
  // Every second texel of the old picture, darkened by 127/128.
  int same = 0;
  for (int y = 0; y < 32; y++)
    for (int x = 0; x < 32; x++) {
      const uint32_t a = before[size_t(y * 2 * 64 + x * 2)], b = after[size_t(y * 32 + x)];
      uint32_t d = 0;
      for (int k = 0; k < 24; k += 8) d |= (((a >> k & 0xff) * 127) >> 7) << k;
      same += b == d;
    }
  EXPECT_GT(same, 32 * 32 * 9 / 10);
  EXPECT_GT(Lit(after), 25);
}


TEST_F(Tbr, ASlotHoldsTheModelAsDrawnAtThatSize) {
  // On the view axis at depth 9: a class-0 image, the model 8 radii ahead.
  COB* cob = Cob(0, 9);
  cob->mtx.m[3][1] = 0.0f;
  Frame({cob});
  const TBRSLOT* s = Obj(cob)->slot;
  ASSERT_EQ(s->cls, 0);
  const std::vector<uint32_t> image = PageRect(s);
  // The model drawn on the screen at that place, the view's centre on the
  // same pixel of the crop as on the slot's.
  ZEMTX rest[COB_MAXJOINTS];
  ZeHGobjEval(model, 0, nullptr, rest);
  const ZEMTX at = At(0, -1.0f, 8.0f);
  uint64_t frame;
  ZePs2GetCurrentBackBuffer(&frame);
  ZeRndrBeginScene(-1);
  ZeRndrSetScissor(0, 0, 639, 223);
  ZeRndrClear(0x700, 0, 1.0f);
  ZeRndrSetXYOffset((PS2_VCNTR_X - 320) * 16, (PS2_VCNTR_Y - 112) * 16);
  ZeHGobjRndrMtxDwa(model, &at, 2, cob->layers, rest, nullptr);
  ZeRndrEndScene();
  ZePs2ScreenSwap(1);
  ZeRndrVu1Draw();
  KernelYield();
  ZeRndrSwapStreamBuffers();
  const Picture crop = Grab(frame, 320 - 31, 112 - 31, 64, 64, "tbr_model_at_slot_size");
  std::vector<uint32_t> screen;
  for (uint32_t p : crop.px) screen.push_back(p & 0xffffff);
  EXPECT_GT(Lit(image), 300);
  EXPECT_EQ(image, screen);
}

TEST_F(Tbr, ALyingCharacterIsRolledIntoItsSlotAndShownWide) {
  struct Box {
    int x0 = 9999, y0 = 9999, x1 = -1, y1 = -1;
    void Add(int x, int y) { x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y); }
    int w() const { return x1 - x0 + 1; }
    int h() const { return y1 - y0 + 1; }
  };
  Box image[2], quad[2];
  for (int lying = 0; lying < 2; lying++) {
    TimeBasedRenderInit();
    COB* cob = Cob(0, 20, lying);
    const uint64_t f = Frame({cob});
    const TBRSLOT* s = Obj(cob)->slot;
    ASSERT_EQ(s->orientation, lying);
    for (int y = 0; y < s->h; y++)
      for (int x = 0; x < s->w; x++)
        if (PagePx(s->x + x, s->y + y)) image[lying].Add(x, y);
    // The sprite: the slot's black background and the figure over the grey.
    const Picture pic = Grab(f, 320 - 40, 112 - 40, 80, 80, lying ? "tbr_sprite_lying" : "tbr_sprite_upright");
    for (int y = 0; y < 80; y++)
      for (int x = 0; x < 80; x++)
        if (pic.at(320 - 40 + x, 112 - 40 + y) != 0x202020) quad[lying].Add(x, y);
  }
  // Upright the figure stands in its slot; lying it is rolled onto its side.
  EXPECT_GT(image[0].h(), image[0].w());
  EXPECT_GT(image[1].w(), image[1].h());
  // The quad: 2 x 4 upright, 4 x 2 lying (rows of a field are twice as tall).
  EXPECT_NEAR(double(quad[0].w()) / quad[0].h(), 1.0, 0.1);
  EXPECT_NEAR(double(quad[1].w()) / quad[1].h(), 4.0, 0.4);
  EXPECT_NEAR(quad[1].w(), 2 * quad[0].w(), 1);
}

TEST_F(Tbr, AnImageTakenFromAnUnshownOwnerGoesHomeToItsOwnSlot) {
  std::vector<COB*> q;
  for (int i = 0; i < 8; i++) q.push_back(Cob(float(i % 4) - 1.5f, 9.0f + float(i) * 0.2f));
  Frame(q);
  COB* gone = q[3];
  TBROBJ* o = Obj(gone);
  const TBRSLOT* held = o->slot;
  ASSERT_EQ(held->cls, 0);
  // It comes near (no image shown); a newcomer wants a class-0 slot.
  Move(gone, gone->mtx.m[3][0], 5.0f);
  COB* comer = Cob(0, 9.5f);
  q.push_back(comer);
  Frame(q, 0);
  EXPECT_EQ(Obj(comer)->slot, held);
  EXPECT_EQ(o->slot, o->ownslot);
  EXPECT_EQ(o->slotclass, 2);
  EXPECT_EQ(o->ownslot->owner, o);
  EXPECT_GT(Lit(PageRect(o->ownslot)), 10);  // its picture, a quarter of the size
  for (COB* c : q) {
    if (c == gone) continue;
    EXPECT_EQ(Obj(c)->slot->cls, 0);
  }
}

// The program's page materials: the copies unblended without depth, the
// sprites blended, alpha tested against 126 and depth tested, both at sort
// priority 128.
ZEMTL* ProgramPageMaterial(ZETEXID page, uint32_t keep, uint32_t set, uint32_t flags) {
  ZEMTL* m = ZeMtlCreate(1);
  m->diffuse[0] = m->diffuse[1] = m->diffuse[2] = 1.0f;
  m->alpha = 0.999f;
  m->sort_priority = 128;
  m->attributes = (m->attributes & keep) | set;
  m->texture = page;
  m->render_flags |= flags;
  ZeMtlUpdate(m);
  return m;
}

TEST_F(Tbr, AFarCopyIsCutOutOfItsSlotOverTheBackground) {
  // The slot is cleared to colour and alpha 0; the model drawn into it
  // writes its own alpha (a texture target's frame mask keeps nothing), so
  // the program's blended, alpha-tested sprite shows the figure and, where
  // the slot stayed clear, the background.
  copyMtl = ProgramPageMaterial(page, 0xFFFCCFC0u, 0x0006E000u, 4);
  spriteMtl = ProgramPageMaterial(page, 0x807C0FC0u, 0x3F062011u, 0);
  COB* cob = Cob(0, 9);
  const uint64_t f = Frame({cob});
  const TBRSLOT* s = Obj(cob)->slot;
  ASSERT_EQ(s->cls, 0);
  int figure = 0;
  for (int y = 0; y < s->h; y++)
    for (int x = 0; x < s->w; x++) {
      const uint32_t p = GsMemReadPixel(PSMCT32, uint32_t(pageAddr), 4, s->x + x, s->y + y);
      if (p & 0xffffff) {
        // Opaque on this machine: the sprite's alpha test passes and its
        // blend does not overshoot (0x80 is 1.0).
        EXPECT_GE(p >> 24, 126u) << "page pixel " << x << ", " << y;
        EXPECT_LE(p >> 24, 128u) << "page pixel " << x << ", " << y;
        figure++;
      }
    }
  ASSERT_GT(figure, 300);
  // The slot's lower corners are clear: beside the legs the sprite's
  // rectangle shows the background, between them the figure.
  EXPECT_EQ(PagePx(s->x, s->y + s->h - 1), 0u);
  EXPECT_EQ(PagePx(s->x + s->w - 1, s->y + s->h - 1), 0u);
  const Picture pic = Grab(f, 320 - 40, 112 - 40, 80, 80, "tbr_cutout");
  int x0 = 80, x1 = -1, y1 = -1;
  for (int y = 0; y < 80; y++)
    for (int x = 0; x < 80; x++)
      if (pic.at(pic.x0 + x, pic.y0 + y) != 0x202020) x0 = std::min(x0, x), x1 = std::max(x1, x), y1 = y;
  ASSERT_GT(x1 - x0, 20) << "the sprite reached the screen";
  const int bottom = pic.y0 + y1, mid = pic.x0 + (x0 + x1) / 2;
  EXPECT_EQ(pic.at(pic.x0 + x0, bottom), 0x202020u);
  EXPECT_EQ(pic.at(pic.x0 + x1, bottom), 0x202020u);
  EXPECT_NE(pic.at(mid, bottom), 0x202020u);
}

TEST_F(Tbr, SpritesDrawnFirstInTheMainPassBringTheirOwnSceneState) {
  // The off-screen pass leaves its last slot's scissor and offset in the
  // GS; sprites that are the main pass's first drawing (a low sort
  // priority) set the screen's own and show as they do after a clear.
  copyMtl = ProgramPageMaterial(page, 0xFFFCCFC0u, 0x0006E000u, 4);
  spriteMtl = ProgramPageMaterial(page, 0x807C0FC0u, 0x3F062011u, 0);
  COB* cob = Cob(0.5f, 20);
  const Picture first = Grab(Frame({cob}, 6, true), 320 - 40, 112 - 40, 80, 80, "tbr_sprites_first");
  ASSERT_NE(Obj(cob)->slot, nullptr);
  EXPECT_GT(80 * 80 - first.Count(0x202020), 100) << "the sprite reached the screen";
  const Picture after = Grab(Frame({cob}), 320 - 40, 112 - 40, 80, 80, "tbr_sprites_after_clear");
  EXPECT_EQ(first.px, after.px);
}

int g_served, g_servedFlags;
ZEMTX g_servedMtx2;
void Served(LOCATORINFO* info) {
  g_served++;
  g_servedFlags = info->flags;
  g_servedMtx2 = info->mtx2;
}

TEST_F(Tbr, AnImageCobsLocatorsAreServedByItsRendering) {
  COB* cob = Cob(0, 20);
  cob->mtx.m[3][1] = 0.0f;  // on the view axis: no shear
  CobLocReset();
  CobLocTake(cob);
  ASSERT_NE(cob->loc, 0);
  g_served = 0;
  RequestLocator(0, cob, Served, nullptr);  // the left hand
  for (int i = 0; i < 1; i++) coblist[i] = cob;
  cobpt = 1;
  ZeRndrBeginScene(page);
  TBRDrawCobs(copyMtl, 6);
  ZeRndrEndScene();
  EXPECT_EQ(g_served, 1);
  EXPECT_NE(g_servedFlags & LOCINFO_MTX2, 0);
  // Under the image matrix: the hand (0.35, 2.35, 0) of a figure whose
  // centre (0, 1, 0) stands 16 radii ahead.
  EXPECT_NEAR(g_servedMtx2.m[3][0], 0.35f, 1e-4f);
  EXPECT_NEAR(g_servedMtx2.m[3][1], 1.35f, 1e-4f);
  EXPECT_NEAR(g_servedMtx2.m[3][2], 16.0f, 1e-4f);
  // The main pass leaves the image cob out and serves nothing twice.
  ZeRndrBeginScene(-1);
  EXPECT_EQ(DrawCobs(ZeCameraGetMtx()), 0);
  ZeRndrEndScene();
  ZeRndrSwapStreamBuffers();
  EXPECT_EQ(g_served, 1);
  EXPECT_EQ(locpt, 0);
  FreeCobLocs(cob);
}

TEST_F(Tbr, ObjectsOwnersBeginAndEnd) {
  // A caller drawing its own image: the first begin renders, the next not.
  const int h = TimeBasedRenderAlloc(0);
  ASSERT_GT(h, 0);
  TBROBJ* o = &tbrobjs[h - 1];
  EXPECT_EQ(o->request, 1);
  o->slot = o->ownslot;  // as the slot assignment would give it
  o->ownslot->owner = o;
  const ZEMTX place = At(3, 4, 5);
  const ZEVEC centre = {0, 1, 0};
  ZeRndrBeginScene(page);
  EXPECT_EQ(TimeBasedRenderBegin(h, ZeCameraGetMtx(), &place, 0, &centre, 0, 2.0f), 1);
  EXPECT_EQ(o->rendered, 1);
  EXPECT_NEAR(o->mtx.m[0][0], 8 * tbr_drawscale * 2.0f, 1e-6f);
  EXPECT_EQ(o->mtx.m[3][1], 5.0f);
  TimeBasedRenderEnd(h);
  EXPECT_EQ(o->rendered, 0);
  EXPECT_EQ(TimeBasedRenderBegin(h, ZeCameraGetMtx(), &place, 0, &centre, 0, 2.0f), 0);
  ZeRndrEndScene();
  ZeRndrSwapStreamBuffers();
  // Released: free again, its slot empty.
  TimeBasedRenderRelease(h);
  EXPECT_EQ(o->inuse, 0);
  EXPECT_EQ(o->ownslot->owner, nullptr);
}

TEST_F(Tbr, RunningOutOfObjectsOrSlotsIsFatal) {
  for (int i = 0; i < TBR_OBJECTS; i++) ASSERT_GT(TimeBasedRenderAlloc(0), 0);
  EXPECT_EQ(TimeBasedRenderAlloc(0), 0);
  COB* cob = Cob(0, 20);
  TBRDrawBegin(nullptr);
  EXPECT_HALT(TBRDrawCob(cob), "unable to allocate TimeBasedRenderObject - total exceeds 256");
  // A begin with no slot assigned, handles outside the table.
  const ZEMTX place = zemtx_identity;
  const ZEVEC centre = {0, 0, 0};
  EXPECT_HALT(TimeBasedRenderBegin(1, ZeCameraGetMtx(), &place, 0, &centre, 0, 1.0f), "No Slot assigned!");
  EXPECT_HALT(TimeBasedRenderRelease(0), "tbr object 0 out of range");
  EXPECT_HALT(TimeBasedRenderEnd(257), "tbr object 257 out of range");
}

TEST_F(Tbr, ACobRemovedGivesItsObjectBack) {
  COB* cob = Cob(0, 20);
  Frame({cob});
  const int h = cob->tbr;
  ASSERT_GT(h, 0);
  TBRSLOT* s = tbrobjs[h - 1].slot;
  RemoveCob(cob);
  EXPECT_EQ(cob->tbr, 0);
  EXPECT_EQ(tbrobjs[h - 1].inuse, 0);
  EXPECT_EQ(s->owner, nullptr);
  // Removed between the off-screen pass and the sprites: no sprite, no halt.
  dbg_tbrrndr = 0;
  ZeRndrBeginScene(-1);
  DrawTimeBasedObjects(spriteMtl, 0);
  ZeRndrEndScene();
  ZeRndrSwapStreamBuffers();
  EXPECT_EQ(dbg_tbrrndr, 0);
  // A shown object that lost its slot is the fatal error.
  COB* other = Cob(0, 20);
  Frame({other});
  TBROBJ* o = Obj(other);
  o->slot->owner = nullptr;
  o->slot = nullptr;
  ZeRndrBeginScene(-1);
  EXPECT_HALT(DrawTimeBasedObjects(spriteMtl, 0), "no dma - aaaargh");
  ZeRndrEndScene();
  ZeRndrSwapStreamBuffers();
}
}  // namespace
