// Frames: the tree's links, the transforms between frames in every
// relation, depth and pool limits.
#include "globular.h"
#include "platform_test.h"

#include <cmath>

namespace {

struct Frames : testing::Test {
  static constexpr int SIZE = 32 * 1024;
  char* buffer = nullptr;
  void SetUp() override {
    ZeTrigInit();
    errmsg_disabled = 1;
    buffer = static_cast<char*>(EeMalloc(SIZE));
    char* pos = buffer + 4;
    FrameInit(&pos, buffer + SIZE);
  }
  void TearDown() override {
    FrameClose();
    EeFree(buffer);
    errmsg_disabled = 0;
  }
};

// A rigid matrix: rotations about three axes and a translation.
void Rigid(ZEMTX* m, int ax, int ay, int az, float tx, float ty, float tz) {
  ZEANGVEC a = {ax, ay, az};
  ZeMtxSetRotateXYZ(m, &a);
  m->m[3][0] = tx;
  m->m[3][1] = ty;
  m->m[3][2] = tz;
}

void ExpectMtxNear(const ZEMTX& a, const ZEMTX& b, float tol) {
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++) EXPECT_NEAR(a.m[r][c], b.m[r][c], tol) << r << "," << c;
}

std::vector<FRAME*> Children(FRAME* f) {
  std::vector<FRAME*> v;
  for (FRAME* c = f->child; c; c = c->next) {
    if (c->next) {
      EXPECT_EQ(c->next->prev, c);
    }
    v.push_back(c);
  }
  return v;
}

TEST_F(Frames, TheRootIsTheFirstNodeAndNewFramesGoUnderItAtTheHead) {
  FRAME* root = FrameGetRoot();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(root) & 15, 0u);
  ExpectMtxNear(root->mtx, zemtx_identity, 0);
  FRAME* a = FrameCreate(nullptr);
  FRAME* b = FrameCreate(nullptr);
  EXPECT_EQ(a->parent, root);
  EXPECT_EQ(Children(root), (std::vector<FRAME*>{b, a}));
  EXPECT_EQ(b->prev, nullptr);
}

TEST_F(Frames, TransformsBetweenSelfParentChildSiblingsAndBranches) {
  FRAME* a = FrameCreate(nullptr);
  FRAME* b = FrameCreate(a);
  FRAME* c = FrameCreate(nullptr);
  FRAME* d = FrameCreate(c);
  Rigid(&a->mtx, 0x1000, 0x2345, -0x700, 10, -20, 30);
  Rigid(&b->mtx, -0x3000, 0x100, 0x2000, 1, 2, 3);
  Rigid(&c->mtx, 0x4000, 0, 0x1234, -100, 5, 7);
  Rigid(&d->mtx, 0x500, 0x6000, 0, 0, 0, 9);
  ZEMTX m, inv;
  FrameXfm(b, b, &m);
  ExpectMtxNear(m, zemtx_identity, 1e-6f);
  FrameXfm(a, b, &m);
  ExpectMtxNear(m, b->mtx, 0);
  FrameXfm(b, a, &m);
  ZeMtxInv(&inv, &b->mtx);
  ExpectMtxNear(m, inv, 0);
  // Across branches and back gives the point again.
  const ZEVEC p = {3.5f, -7.25f, 11};
  ZEVEC x, y;
  FrameRemapPos(d, &x, b, &p);
  FrameRemapPos(b, &y, d, &x);
  EXPECT_NEAR(y.x, p.x, 1e-4f);
  EXPECT_NEAR(y.y, p.y, 1e-4f);
  EXPECT_NEAR(y.z, p.z, 1e-4f);
  // A point of b in d's frame: through the root by hand.
  ZEVEC w, e;
  ZeVecMtxTransform(&w, &p, &b->mtx);
  ZeVecMtxTransform(&w, &w, &a->mtx);
  ZeVecInvMtxTransform(&w, &w, &c->mtx);
  ZeVecInvMtxTransform(&e, &w, &d->mtx);
  EXPECT_NEAR(x.x, e.x, 1e-3f);
  EXPECT_NEAR(x.y, e.y, 1e-3f);
  EXPECT_NEAR(x.z, e.z, 1e-3f);
  // Directions ignore the translations; in and out may be one vector.
  ZEVEC dir = {0, 0, 1}, back;
  FrameRemapDir(d, &dir, b, &dir);
  EXPECT_NEAR(ZeVecMag(&dir), 1.0f, 1e-5f);
  FrameRemapDir(b, &back, d, &dir);
  EXPECT_NEAR(back.z, 1.0f, 1e-5f);
  // Siblings: source * inverse(target); the remapped matrix is in * xfm.
  FrameXfm(a, c, &m);
  ZeMtxInv(&inv, &a->mtx);
  ZEMTX expect;
  ZeMtxMul(&expect, &c->mtx, &inv);
  ExpectMtxNear(m, expect, 1e-6f);
  ZEMTX out;
  FrameRemapMtx(a, &out, c, &d->mtx);
  ZeMtxMul(&expect, &d->mtx, &m);
  ExpectMtxNear(out, expect, 1e-6f);
}

TEST_F(Frames, CommonParents) {
  FRAME* root = FrameGetRoot();
  FRAME* a = FrameCreate(nullptr);
  FRAME* b = FrameCreate(a);
  FRAME* c = FrameCreate(b);
  FRAME* d = FrameCreate(nullptr);
  EXPECT_EQ(FrameFindCommonParent(b, b), a);  // a frame with itself: its parent
  EXPECT_EQ(FrameFindCommonParent(c, a), a);
  EXPECT_EQ(FrameFindCommonParent(c, d), root);
  FrameDetach(d);
  EXPECT_EQ(FrameFindCommonParent(c, d), nullptr);
  FRAME* e = FrameCreate(nullptr);
  FrameDetach(e);
  EXPECT_EQ(FrameFindCommonParent(d, e), nullptr);
  ZEMTX m;
  EXPECT_HALT(FrameXfm(c, d, &m), "assert");
}

TEST_F(Frames, DestroyTakesTheSubtreeAndAttachMovesIt) {
  FRAME* root = FrameGetRoot();
  FRAME* a = FrameCreate(nullptr);
  FRAME* b = FrameCreate(nullptr);
  FRAME* c = FrameCreate(nullptr);
  FRAME* b1 = FrameCreate(b);
  FrameCreate(b1);
  FrameCreate(b1);
  FRAME* a1 = FrameCreate(a);
  FrameAttach(b1, a);  // moves with its two children to the head of a's list
  EXPECT_EQ(Children(a), (std::vector<FRAME*>{b1, a1}));
  EXPECT_EQ(Children(b1).size(), 2u);
  EXPECT_EQ(b->child, nullptr);
  FrameDestroy(a);
  EXPECT_EQ(Children(root), (std::vector<FRAME*>{c, b}));
  // All nodes came back: 155 below the root fit again.
  std::vector<FRAME*> all;
  for (FRAME* f : Children(root)) FrameDestroy(f);
  for (int i = 0; i < FRAME_POOL - 1; i++) all.push_back(FrameCreate(nullptr));
  EXPECT_HALT(FrameCreate(nullptr), "Frame pool full");
}

TEST_F(Frames, ChainsOfFifteenWorkAndSixteenAreFatal) {
  FRAME* f = FrameGetRoot();
  std::vector<FRAME*> chain = {f};
  for (int i = 1; i < FRAME_MAXDEPTH; i++) chain.push_back(f = FrameCreate(f));
  FRAME* other = FrameCreate(nullptr);
  ZEMTX m;
  chain.back()->mtx.m[3][0] = 1;
  FrameXfm(other, chain.back(), &m);
  EXPECT_EQ(m.m[3][0], 1);
  FrameXfm(chain.back(), other, &m);  // the target's chain is listed: 15 entries
  EXPECT_EQ(m.m[3][0], -1);
  FRAME* deeper = FrameCreate(chain.back());
  EXPECT_HALT(FrameXfm(deeper, other, &m), "assert");
  EXPECT_HALT(FrameFindCommonParent(deeper, other), "assert");
}

TEST_F(Frames, InitTwiceAndAnExactFitAreFatalAndMisalignedMatricesToo) {
  char* pos = buffer + 16384;
  EXPECT_HALT(FrameInit(&pos, buffer + SIZE), "assert");
  FrameClose();
  pos = buffer;
  const int size = ZeMemBlkSize(sizeof(FRAME), FRAME_POOL, 15);
  EXPECT_HALT(FrameInit(&pos, buffer + size), "assert");
  FrameClose();
  pos = buffer;
  FrameInit(&pos, buffer + size + 1);
  EXPECT_EQ(pos, buffer + size);
  FRAME* a = FrameCreate(nullptr);
  alignas(16) char raw[80];
  auto* odd = reinterpret_cast<ZEMTX*>(raw + 4);
  EXPECT_HALT(FrameXfm(a, a, odd), "assert");
}

}  // namespace
