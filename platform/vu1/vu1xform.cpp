// xform: the resident transform program (micro memory 0x0000-0x13f0). It
// turns the per-stream state the renderer unpacks into VU1 data memory into
// the matrices the overlay programs transform, light and clip with, and
// latches them in registers, where they stay until the next local matrix
// (docs/vu1.md, "xform"). It also applies blend-shape offsets to the input
// buffer. Every entry stops at the idle point, so the MSCNT that the
// packets put after each MSCAL runs nothing and only flips the VIF's double
// buffer back.
#include "platform.h"

#include <cmath>
#include <cstring>

namespace {

// Data memory (quadwords).
constexpr int LOCAL = 0, VIEW = 4, CLIP = 8, STATE = 12, YAW = 22, MODE = 23;
constexpr int BLEND_HEADER = 0x38, BLEND_OFFSETS = 0x39, BLEND_WEIGHTS = 0x63;
constexpr int BLEND_MAX = 42;  // one offset per point of a packet

// Entries (instructions from the load address).
constexpr int ENTRY_NOCLIP = 0x00, ENTRY_CLIP = 0x02, ENTRY_FACEON = 0x0a, ENTRY_BLEND = 0x0c;
constexpr int IDLE = 0x20;

// Latches (registers).
constexpr int VF_SCREEN = 1, VF_CLIP = 5, VF_LIGHT = 9, VF_BLOCK = 12;
constexpr int VI_CLIPPING = 1, VI_MODE = 2, VI_FACEON = 3;

struct Mtx {
  float m[4][4];
};

Mtx ReadMtx(int qw) {
  Mtx r;
  for (int i = 0; i < 4; i++) memcpy(r.m[i], Vu1Quad(qw + i), 16);
  return r;
}

float Field(int qw, int i) {
  float f;
  memcpy(&f, Vu1Quad(qw) + i, 4);
  return f;
}

// Row-vector convention: a point transformed by the result is transformed
// by a, then by b.
Mtx Mul(const Mtx& a, const Mtx& b) {
  Mtx r;
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) {
      float s = a.m[i][0] * b.m[0][j];
      s += a.m[i][1] * b.m[1][j];
      s += a.m[i][2] * b.m[2][j];
      s += a.m[i][3] * b.m[3][j];
      r.m[i][j] = s;
    }
  return r;
}

void Latch(int vf, const Mtx& m, int rows) {
  for (int i = 0; i < rows; i++) memcpy(Vu1Vf(vf + i), m.m[i], 16);
}

float Length3(const float* r) { return std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2]); }

// The matrices of one local matrix: object to screen, object to clip space,
// and what the stream's state block needs in object space.
void LatchAll(const Mtx& local) {
  Latch(VF_SCREEN, Mul(local, ReadMtx(VIEW)), 4);
  Latch(VF_CLIP, Mul(local, ReadMtx(CLIP)), 4);
  const int mode = int(int32_t(Vu1Quad(MODE)[0]));
  *Vu1Vi(VI_MODE) = uint16_t(mode);
  if (mode == 1) {
    // Light rows: an object-space normal n gives the three lights' dot
    // products as n x (R x L), R the local axes made unit length (the
    // local matrix may scale), L the block's direction rows.
    Mtx axes{};
    for (int i = 0; i < 3; i++) {
      float len = Length3(local.m[i]);
      float inv = len > 0.0f ? 1.0f / len : 0.0f;
      for (int j = 0; j < 3; j++) axes.m[i][j] = local.m[i][j] * inv;
    }
    Mtx dirs{};
    for (int i = 0; i < 3; i++)
      for (int j = 0; j < 3; j++) dirs.m[i][j] = Field(STATE + i, j);
    Latch(VF_LIGHT, Mul(axes, dirs), 3);
  } else if (mode == 4) {
    Latch(VF_BLOCK, Mul(local, ReadMtx(STATE)), 4);
  }
}

// A camera-facing local matrix: the axes turned about y to face the camera
// (from the camera-yaw record: cos yaw, -sin yaw), each keeping its length;
// the position kept.
Mtx FaceOn(const Mtx& local) {
  const float c = Field(YAW, 0), ns = Field(YAW, 2);
  const float axis[3][3] = {{c, 0, ns}, {0, 1, 0}, {-ns, 0, c}};
  Mtx r = local;
  for (int i = 0; i < 3; i++) {
    float len = Length3(local.m[i]);
    for (int j = 0; j < 3; j++) r.m[i][j] = axis[i][j] * len;
    r.m[i][3] = 0.0f;
  }
  return r;
}

// Adds one morph target's offsets, times its weight, to the positions of
// the points in the input buffer at TOP.
void Blend(int top) {
  const uint32_t* header = Vu1Quad(BLEND_HEADER);
  const int target = int(header[0]);
  int n = int(header[1]) - (BLEND_OFFSETS + 1);
  if (n < 0 || n > BLEND_MAX) PlatFatal("xform: blend offsets count %d out of range", n);
  const int weights = int(Vu1Quad(BLEND_WEIGHTS)[0]);
  // A target without a weight word takes no part.
  const float w = target < weights ? Field(BLEND_WEIGHTS + 1 + target, 0) : 0.0f;
  for (int k = 0; k < n; k++) {
    const uint32_t* off = Vu1Quad(BLEND_OFFSETS + k);
    float d[3];
    memcpy(d, off, 12);
    const int slot = int(int32_t(off[3]));
    if (slot < 0 || slot >= 384) PlatFatal("xform: blend offset for input quadword %d", slot);
    float* p = reinterpret_cast<float*>(Vu1Quad(top + slot));
    for (int i = 0; i < 3; i++) p[i] += d[i] * w;
  }
}

}  // namespace

int Vu1XformProgram(Vu1Run& run) {
  switch (run.pc - run.base) {
    case ENTRY_NOCLIP:
    case ENTRY_CLIP:
      *Vu1Vi(VI_CLIPPING) = run.pc - run.base == ENTRY_CLIP ? 1 : 0;
      *Vu1Vi(VI_FACEON) = 0;
      LatchAll(ReadMtx(LOCAL));
      break;
    case ENTRY_FACEON:
      *Vu1Vi(VI_FACEON) = 1;
      LatchAll(FaceOn(ReadMtx(LOCAL)));
      break;
    case ENTRY_BLEND:
      Blend(run.top);
      break;
    case IDLE:
      break;
    default:
      PlatFatal("xform: no entry at +%d", run.pc - run.base);
  }
  return run.base + IDLE;
}
