// The resident transform program: what each entry latches and what the
// blend entry does to the input buffer.
#include "gfx_test.h"
#include "platform_test.h"

#include <cstring>

namespace {

using M4 = float[4][4];

void Load(const char* name, int size) {
  std::vector<uint32_t> w(size_t(size) * 2, 0);
  Vu1Signature sig{VU1_SIG_MAGIC, uint32_t(size), {}};
  strncpy(sig.name, name, VU1_SIG_NAME - 1);
  memcpy(w.data(), &sig, sizeof sig);
  Vu1MicroWrite(0, w.data(), size);
}

void PutMtx(int qw, const M4& m) {
  for (int i = 0; i < 4; i++) memcpy(Vu1Quad(qw + i), m[i], 16);
}
void PutQuad(int qw, float x, float y, float z, float w) {
  float q[4] = {x, y, z, w};
  memcpy(Vu1Quad(qw), q, 16);
}
void PutWords(int qw, uint32_t x, uint32_t y, uint32_t z, uint32_t w) {
  uint32_t q[4] = {x, y, z, w};
  memcpy(Vu1Quad(qw), q, 16);
}

void Mul(M4& r, const M4& a, const M4& b) {
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) {
      float s = 0;
      for (int k = 0; k < 4; k++) s += a[i][k] * b[k][j];
      r[i][j] = s;
    }
}

void ExpectLatched(int vf, const M4& m, int rows, const char* what) {
  for (int i = 0; i < rows; i++)
    for (int j = 0; j < 4; j++) EXPECT_NEAR(Vu1Vf(vf + i)[j], m[i][j], 1e-4f) << what << " row " << i << " col " << j;
}

constexpr M4 LOCAL = {{0, 0, 2, 0}, {0, 2, 0, 0}, {-2, 0, 0, 0}, {10, 20, 30, 1}};  // turned, scaled 2
constexpr M4 VIEW = {{1, 2, 0, 0}, {0, 1, 3, 0}, {4, 0, 1, 1}, {5, 6, 7, 1}};
constexpr M4 CLIP = {{2, 0, 0, 0}, {0, 3, 0, 0}, {0, 0, 1, 1}, {0, 0, -1, 0}};

struct Xform : testing::Test {
  void SetUp() override {
    Vu1Reset();
    memset(Vu1DataMem(), 0, VU1_MEM_SIZE);
    Load("xform", 0x13f0 / 8);
    PutMtx(0, LOCAL);
    PutMtx(4, VIEW);
    PutMtx(8, CLIP);
  }
};

}  // namespace

TEST_F(Xform, LocalMatrixEntriesLatchTheProductsAndTheClipFlag) {
  // Lit: three unit directions as the light block's rows (light j is column j).
  PutQuad(12, 1, 0, 0, 0);
  PutQuad(13, 0, 1, 0, 0);
  PutQuad(14, 0, 0, 1, 0);
  PutWords(23, 1, 0, 0, 0);
  Vu1Start(0, 256, 0);
  M4 screen, clip;
  Mul(screen, LOCAL, VIEW);
  Mul(clip, LOCAL, CLIP);
  ExpectLatched(1, screen, 4, "object to screen");
  ExpectLatched(5, clip, 4, "object to clip");
  EXPECT_EQ(*Vu1Vi(1), 0) << "entry 0 draws without clipping";
  EXPECT_EQ(*Vu1Vi(2), 1);
  // Unit local axes times the identity light rows: the object's normal
  // (1, 0, 0) is world +z, lit by light 2 only.
  const M4 lights = {{0, 0, 1, 0}, {0, 1, 0, 0}, {-1, 0, 0, 0}, {}};
  ExpectLatched(9, lights, 3, "object-space lights");

  // The MSCNT that follows runs the idle point and changes nothing.
  Vu1Vf(1)[0] = 123.0f;
  Vu1Continue(640, 0);
  EXPECT_EQ(Vu1Vf(1)[0], 123.0f);

  // Entry 2 with the matrix mode: the block at 12 taken into object space.
  const M4 block = {{0.5f, 0, 0, 0}, {0, 0.5f, 0, 0}, {0, 0, -0.5f, 0}, {0.5f, 0.5f, 0, 1}};
  PutMtx(12, block);
  PutWords(23, 4, 0, 0, 0);
  Vu1Start(2, 256, 0);
  EXPECT_EQ(*Vu1Vi(1), 1) << "entry 2 clips";
  EXPECT_EQ(*Vu1Vi(2), 4);
  M4 objBlock;
  Mul(objBlock, LOCAL, block);
  ExpectLatched(12, objBlock, 4, "object to block space");
}

TEST_F(Xform, FaceOnEntryTurnsTheAxesToTheCameraYaw) {
  PutWords(23, 0, 0, 0, 0);
  Vu1Start(2, 256, 0);
  // Camera yaw a quarter turn: cos 0, -sin -1.
  PutQuad(22, 0.0f, 1.0f, -1.0f, 1.0f);
  Vu1Start(0x0a, 256, 0);
  const M4 faced = {{0, 0, -2, 0}, {0, 2, 0, 0}, {2, 0, 0, 0}, {10, 20, 30, 1}};
  M4 screen;
  Mul(screen, faced, VIEW);
  ExpectLatched(1, screen, 4, "faced object to screen");
  EXPECT_EQ(*Vu1Vi(3), 1);
  EXPECT_EQ(*Vu1Vi(1), 1) << "the clip flag of the local matrix stays";
}

TEST_F(Xform, BlendEntryAddsWeightedOffsetsToTheBufferAtTop) {
  const int top = 640;
  PutQuad(top + 3, 1, 2, 3, 7);  // point 0's position (w: packed normal x)
  PutQuad(top + 7, 4, 5, 6, 8);  // point 1's
  PutWords(0x63, 2, 2, 2, 2);    // two weights
  PutQuad(0x64, 0.5f, 0.5f, 0.5f, 0.5f);
  PutQuad(0x65, 0.25f, 0.25f, 0.25f, 0.25f);
  // Target 1, one offset, to the point at buffer quadword 7.
  PutWords(0x38, 1, 1 + 58, 0, 0);
  float off[4] = {4, 8, -4, 0};
  memcpy(Vu1Quad(0x39), off, 12);
  Vu1Quad(0x39)[3] = 7;
  Vu1Start(0x0c, top, 256);
  float p[4];
  memcpy(p, Vu1Quad(top + 7), 16);
  EXPECT_EQ(p[0], 5.0f);
  EXPECT_EQ(p[1], 7.0f);
  EXPECT_EQ(p[2], 5.0f);
  EXPECT_EQ(p[3], 8.0f) << "w untouched";
  memcpy(p, Vu1Quad(top + 3), 16);
  EXPECT_EQ(p[0], 1.0f) << "other points untouched";

  // A target without a weight adds nothing; a damaged count is fatal.
  PutWords(0x38, 5, 1 + 58, 0, 0);
  Vu1Start(0x0c, top, 256);
  memcpy(p, Vu1Quad(top + 7), 16);
  EXPECT_EQ(p[0], 5.0f);
  PutWords(0x38, 0, 200, 0, 0);
  EXPECT_HALT(Vu1Start(0x0c, top, 256), "blend offsets count");
  EXPECT_HALT(Vu1Start(0x04, top, 256), "xform: no entry at +4");
}
