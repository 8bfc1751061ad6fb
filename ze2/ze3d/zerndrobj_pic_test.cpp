// Object drawing on the GS model: meshes through each material program,
// compressed positions, a skinned strip, sprites, a Bezier patch,
// particles, effect jobs and the sorter's single triangle. Each picture is
// also written into the build directory (pictures/objdraw_*.png).
#include "zerndrobj_test.h"

namespace {

constexpr ZEVEC BOX_MIN = {-1, -1, -1}, BOX_MAX = {1, 1, 1};

ZEMTX At(float x, float y, float z) {
  ZEMTX m;
  ZeMtxSetIdentity(&m);
  m.m[3][0] = x, m.m[3][1] = y, m.m[3][2] = z;
  return m;
}

// A unit cube (sides 2) as 12 triangles, each face its own colour.
std::vector<ZEVTX> Cube() {
  static const float N[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}};
  static const uint32_t C[6] = {0x80808080, 0x8000ff00, 0x80ff0000, 0x800000ff, 0x80ffff00, 0x8000ffff};
  std::vector<ZEVTX> v;
  for (int f = 0; f < 6; f++) {
    const ZEVEC n = {N[f][0], N[f][1], N[f][2]};
    // Two axes across the face.
    ZEVEC a = {n.y != 0 ? 1.0f : 0.0f, n.y != 0 ? 0.0f : 1.0f, 0}, b;
    if (n.z == 0 && n.y == 0) a = {0, 1, 0};
    b = {n.y * a.z - n.z * a.y, n.z * a.x - n.x * a.z, n.x * a.y - n.y * a.x};
    auto corner = [&](float s, float t) {
      return ZEVTX{{n.x + s * a.x + t * b.x, n.y + s * a.y + t * b.y, n.z + s * a.z + t * b.z}, n, C[f], 0, 0};
    };
    const ZEVTX q[4] = {corner(-1, -1), corner(1, -1), corner(-1, 1), corner(1, 1)};
    for (int i : {0, 1, 2, 1, 3, 2}) v.push_back(q[i]);
  }
  return v;
}

void Lights() {
  const ZEVEC toward = {0, 0, -1}, white = {0.5f, 0.5f, 0.5f}, none = {0, 0, 0}, amb = {0.25f, 0.25f, 0.25f};
  ZeRndrSetDirectionalLights(&toward, &white, &toward, &none, &toward, &none);
  ZeRndrSetAmbientLight(&amb);
}

// The screen position (pixels) of an object-space point under local.
void Project(const ZEVEC& p, const ZEMTX& local, float* x, float* y) {
  ZEMTX m;
  ZeMtxMulH(&m, &local, ZeCameraGetVPCSMtx());
  const float h[4] = {p.x, p.y, p.z, 1};
  float s[4];
  for (int j = 0; j < 4; j++) s[j] = h[0] * m.m[0][j] + h[1] * m.m[1][j] + h[2] * m.m[2][j] + h[3] * m.m[3][j];
  *x = s[0] / s[3] / 16.0f - (2048 - 320);
  *y = s[1] / s[3] / 16.0f - (2048 - 112);
}

}  // namespace

TEST_F(ObjDraw, PictureOfLitCubesThroughEachProgramAndCutByTheNearPlane) {
  Lights();
  ZEMTL* tri = Material(0, false);
  ZEMTL* tric = Material(0, true);
  ZEMTL* trica = Material(3, false);
  const std::vector<ZEVTX> cube = Cube();
  uint32_t* chain = Block<uint32_t>(4096);
  MeshPacket(chain, cube, nullptr);
  ZEGOBJ* obj[4];
  ZEMTL* mtls[4] = {tri, tric, trica, tric};
  for (int i = 0; i < 4; i++) {
    obj[i] = OneNodeObject(Block<ZEGOBJ>(sizeof(ZEGOBJ)), Block<ZEGEOM>(sizeof(ZEGEOM)), mtls[i], chain, BOX_MIN, BOX_MAX);
    obj[i]->tricount = 12;
  }
  // Half-size cubes side by side (the local matrix scales them).
  ZEMTX left = At(-1.6f, 0.8f, 0), mid = At(0, 0.8f, 0), right = At(1.6f, 0.8f, 0);
  for (ZEMTX* m : {&left, &mid, &right}) m->m[0][0] = m->m[1][1] = m->m[2][2] = 0.5f;
  // A cube just under the camera, from behind it to in front of it: the
  // near plane cuts it.
  const ZEMTX near = At(0, -1.2f, -9.5f);
  int r[4] = {};
  const uint64_t frame = Frame([&] {
    r[0] = ZeRndrGScnObj(obj[0], &left);
    r[1] = ZeRndrGScnObj(obj[1], &mid);
    r[2] = ZeRndrGScnObj(obj[2], &right);
    r[3] = ZeRndrGScnObj(obj[3], &near);
    EXPECT_EQ(zerndr_tritot_this_frame, 48);
  });
  EXPECT_EQ(r[0], 1);
  EXPECT_EQ(r[1], 1);
  EXPECT_EQ(r[2], 1);
  EXPECT_EQ(r[3], 2) << "the near cube needs clipping";
  const Picture pic = Grab(frame, 160, 0, 320, 224, "objdraw_cubes");
  // Front faces, normal toward the light: lit 0.25 + 0.5. tri: the
  // material colour 128 x 0.75 = 96; tric: the vertex grey 0x80 / 128 x
  // that; trica: 128 x (0x80 / 128 + 0.75) clamps to 224.
  float x, y;
  Project({0, 0, -1}, left, &x, &y);
  EXPECT_EQ(pic.at(int(x), int(y)), 0x606060u) << "tri";
  Project({0, 0, -1}, mid, &x, &y);
  EXPECT_EQ(pic.at(int(x), int(y)), 0x606060u) << "tric";
  Project({0, 0, -1}, right, &x, &y);
  EXPECT_EQ(pic.at(int(x), int(y)), 0xe0e0e0u) << "trica";
  // The clipped cube covers the bottom centre; its top face seen from above
  // (normal +y, unlit by the lights along -z): ambient only, yellow vertex
  // colour: 0xff x 0.25 / 0x80 x 128 = 63 in red and green.
  EXPECT_EQ(pic.at(320, 220), 0x003f3fu);
  EXPECT_EQ(pic.at(161, 2), 0x202020u) << "the clear colour";
}

TEST_F(ObjDraw, PictureOfACompressedUnlitMeshDrawnExactlyAsUncompressed) {
  ZEMTL* unlit = Material(2, true);
  // Triangles on coordinates the compression holds exactly (multiples of 1/2048).
  std::vector<ZEVTX> v;
  for (int i = 0; i < 20; i++) {
    const float x = -3.5f + 0.375f * float(i), y = float(i % 3) - 1.5f;
    const uint32_t c = 0x80000000u | uint32_t(i * 12) << 16 | uint32_t(255 - i * 12) << 8 | 0x40;
    v.push_back({{x, y, 0.25f * float(i % 4)}, {0, 0, -1}, c, 0, 0});
    v.push_back({{x + 1.0f, y + 0.5f, 0}, {0, 0, -1}, c, 1, 0});
    v.push_back({{x + 0.25f, y + 1.75f, -0.5f}, {0, 0, -1}, c, 0, 1});
  }
  ZEVEC mn = {1e9f, 1e9f, 1e9f}, mx = {-1e9f, -1e9f, -1e9f};
  for (const ZEVTX& x : v) {
    mn = {std::min(mn.x, x.pos.x), std::min(mn.y, x.pos.y), std::min(mn.z, x.pos.z)};
    mx = {std::max(mx.x, x.pos.x), std::max(mx.y, x.pos.y), std::max(mx.z, x.pos.z)};
  }
  const Compression comp = CompressionOf(mn, mx);
  uint32_t* plain = Block<uint32_t>(8192);
  uint32_t* packed = Block<uint32_t>(8192);
  MeshPacket(plain, v, nullptr);
  MeshPacket(packed, v, &comp);
  ZEGOBJ* a = OneNodeObject(Block<ZEGOBJ>(sizeof(ZEGOBJ)), Block<ZEGEOM>(sizeof(ZEGEOM)), unlit, plain, mn, mx);
  ZEGOBJ* b = OneNodeObject(Block<ZEGOBJ>(sizeof(ZEGOBJ)), Block<ZEGEOM>(sizeof(ZEGEOM)), unlit, packed, mn, mx);
  const ZEMTX here = At(0, 0, 0);
  const Picture p1 = Grab(Frame([&] { ZeRndrGScnObj(a, &here); }), 200, 40, 240, 144, "objdraw_mesh_plain");
  const Picture p2 = Grab(Frame([&] { ZeRndrGScnObj(b, &here); }), 200, 40, 240, 144, "objdraw_mesh_compressed");
  EXPECT_GT(p1.Count(0x202020u), 0);
  EXPECT_LT(p1.Count(0x202020u), int(p1.px.size()) - 2000) << "the mesh covers the middle";
  int differ = 0;
  for (size_t i = 0; i < p1.px.size(); i++) differ += p1.px[i] != p2.px[i];
  EXPECT_EQ(differ, 0);
}

TEST_F(ObjDraw, TheSortersSingleTriangleEntry) {
  // A triangle record of the sorter's layout (a ref tag of 9 quadwords to
  // +3), behind the single-triangle header: strip tag, count 9, MSCAL 0x30a.
  ZEMTL* unlit = Material(2, true);
  uint32_t* rec = Block<uint32_t>(160);
  vpDmaTag_Set(rec, 9, DMATAG_REF, rec + 4);
  rec[3] = 0x6C098003;
  const float P[3][3] = {{-2, -1, 0}, {2, -1, 0}, {0, 2, 0}};
  for (int k = 0; k < 3; k++) {
    uint32_t* q = rec + 4 + 12 * k;
    q[0] = FBits(P[k][0]), q[1] = FBits(P[k][1]), q[2] = FBits(P[k][2]);
    q[3] = k < 2 ? 0x8001u : 0u;
    q[8] = 0x80, q[9] = 0x40, q[10] = 0x20, q[11] = 0x80;
  }
  uint32_t* chain = Block<uint32_t>(8 * 16);
  uint32_t* p = vpDmaTag_CntEx(chain, 0, 0x6C0180D2);
  p[0] = 0x8003, p[1] = 0x30024000, p[2] = 0x512, p[3] = 0;
  p[4] = 0x6D018002, p[5] = 9, p[6] = 0;
  p = vpDmaTag_Close(p + 7);
  p = vpDmaTag_Copy(p, rec);
  p = vpDmaTag_Close(vpDmaTag_CntEx(p, 0, 0x1400030a));
  vpDmaTag_Ret(p);
  ZEGOBJ* obj = OneNodeObject(Block<ZEGOBJ>(sizeof(ZEGOBJ)), Block<ZEGEOM>(sizeof(ZEGEOM)), unlit, chain,
                              {-2, -1, 0}, {2, 2, 0});
  const ZEMTX here = At(0, 0, 0);
  const Picture pic = Grab(Frame([&] { ZeRndrGScnObj(obj, &here); }), 240, 56, 160, 112, "objdraw_single_triangle");
  float x, y;
  Project({0, 0, 0}, here, &x, &y);
  EXPECT_EQ(pic.at(int(x), int(y)), 0x204080u) << "the vertex colour, unlit";
  EXPECT_EQ(pic.at(241, 57), 0x202020u);
}

TEST_F(ObjDraw, PictureOfABezierPatch) {
  ZEMTL* unlit = Material(2, true);
  // One patch: corners and edge control points bulging toward the camera.
  const ZEVEC corner[3] = {{-3, -2, 0}, {3, -2, 0}, {0, 3, 0}};
  const ZEVEC edge[3] = {{0, -2, -2}, {-1.5f, 0.5f, -2}, {1.5f, 0.5f, -2}};  // 0-1, 0-2, 1-2
  const uint32_t col[3] = {0x800000ff, 0x8000ff00, 0x80ff0000};
  uint32_t* chain = Block<uint32_t>(64 * 16);
  uint32_t* tag = chain;
  Words o{vpDmaTag_Cnt(chain)};
  tag[0] |= 5u << 16;
  const int n = 3;
  o.w(0x6C0180D2), o.q(0x8000 + n, 0x3001C000, 0x512, 0);
  o.w(0x6C018001), o.q(0x8003, 0x3001C000, 0x512, 0);
  o.w(0x6D018002), o.h2(3 * n, 0), o.h2(0, 0);
  o.w(0x01000103);
  o.w(0x6C008003 + (n << 16));
  for (const ZEVEC& c : corner) o.f(c.x), o.f(c.y), o.f(c.z), o.f(0);
  o.w(0x6D008004 + (n << 16));
  for (int i = 0; i < n; i++) o.h2(0, 0), o.h2(0, Fix12(-1));
  o.w(0x6E00C005 + (n << 16));
  for (uint32_t c : col) o.w(c);
  o.w(0x01000101);
  o.w(0x6C018000 + (3 * n + 3)), o.q(0x8000 + 4 * n, 0x3001C000, 0x512, 0);
  o.w(0x68008000 + (3 * n + 4) + (n << 16));
  for (const ZEVEC& e : edge) o.f(e.x), o.f(e.y), o.f(e.z);
  o.w(0x14000308);
  vpDmaTag_Ret(vpDmaTag_Close(o.p));
  ZEGOBJ* obj = OneNodeObject(Block<ZEGOBJ>(sizeof(ZEGOBJ)), Block<ZEGEOM>(sizeof(ZEGEOM)), unlit, chain,
                              {-3, -2, -2}, {3, 3, 0});
  const ZEMTX here = At(0, 0, 0);
  GsCapture gs;
  const Picture pic = Grab(Frame([&] { ZeRndrGScnObj(obj, &here); }), 200, 30, 240, 164, "objdraw_bezier");
  // Four triangles: 12 vertices, every third closing one.
  int closing = 0;
  for (auto& w : gs.writes) closing += w.first == GS_XYZ2;
  EXPECT_GE(closing, 4);
  // The middle of edge 0-1 lies on the curve: a quarter of each corner and
  // half the control point: (0, -2, -1), nearer the camera than the corners.
  float x, y;
  Project({0, -2, -1}, here, &x, &y);
  float cx, cy;
  Project({0, -2, 0}, here, &cx, &cy);
  EXPECT_GT(y, cy) << "the bulge moves the edge's middle down the screen";
  EXPECT_NE(pic.at(int(x), int(y) - 2), 0x202020u) << "inside the patch just above the curved edge";
  EXPECT_EQ(pic.at(int(cx), int(y) + 3), 0x202020u) << "outside below it";
}

// ---- skins ---------------------------------------------------------------------

namespace {

struct SkinPt {
  float x, y;
  std::vector<std::pair<int, float>> w;  // palette slot, weight
  int flag;
};

// p x M for the affine joint matrices.
ZEVEC Xform(const ZEVEC& p, const ZEMTX& m) {
  return {p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + m.m[3][0],
          p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + m.m[3][1],
          p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + m.m[3][2]};
}

uint32_t WeightWord(float w, int slot) { return (FBits(w) & ~7u) | uint32_t(slot); }

}  // namespace

TEST_F(ObjDraw, PictureOfASkinnedStripBentByTwoJoints) {
  Lights();
  ZEMTL* tric = Material(0, true);
  // Joint 0 stays; joints 1-4 turn 30 degrees about z around x = 1.
  ZEMTX joint[5];
  ZeMtxSetIdentity(&joint[0]);
  const float c = std::cos(0.5235988f), s = std::sin(0.5235988f);
  ZEMTX bend;
  ZeMtxSetIdentity(&bend);
  bend.m[0][0] = c, bend.m[0][1] = s, bend.m[1][0] = -s, bend.m[1][1] = c;
  bend.m[3][0] = 1 - c, bend.m[3][1] = -s;  // about (1, 0)
  for (int j = 1; j < 5; j++) joint[j] = bend;
  // Strip A: six new points; strip B reuses the last two and adds a
  // five-weight point and one moved by the blend shape.
  const SkinPt pts[10] = {
      {0, -0.5f, {{0, 1}}, 1},           {0, 0.5f, {{0, 1}}, 1},
      {1, -0.5f, {{1, 0.5f}, {0, 0.5f}}, 0}, {1, 0.5f, {{1, 0.5f}, {0, 0.5f}}, 0},
      {2, -0.5f, {{1, 1}}, 0},           {2, 0.5f, {{1, 1}}, 0},
      {0, 0, {}, 1},                     {0, 0, {}, 1},  // markers for 4 and 5
      {3, -0.5f, {{4, 0.2f}, {3, 0.2f}, {2, 0.2f}, {1, 0.2f}, {0, 0.2f}}, 0},
      {3, 0.5f, {{1, 1}}, 0},
  };
  const int w = 5, count = 10, blendSlot = 9;
  // The instance: the palette upload and a call of the packets.
  uint32_t* block = Block<uint32_t>(64 * 16 + 1024);
  uint32_t* packets = block + 8 * 4;
  {
    uint32_t* t = vpDmaTag_RetEx(packets, 0x01000101, 0);
    packets[0] |= 6u << 16;
    Words o{t};
    o.w(0x6C0180D2), o.q(0x8000 + count, 0x30024000, 0x512, 0);
    o.w(0x6D018002), o.h2(count * w, 1), o.h2(0, 0);
    o.w(0x01000305);
    auto point = [&](const SkinPt& p) {
      const int c1 = int(p.w.size() < 4 ? p.w.size() : 4), c2 = int(p.w.size()) - c1;
      o.f(p.x), o.f(p.y), o.f(0), o.w(0);
      o.w(0), o.w(uint32_t(c1)), o.w(uint32_t(c2)), o.w((FBits(-1.0f) & ~0xffu) | uint32_t(p.flag));
      o.f(128), o.f(128), o.f(128), o.f(128);
    };
    o.w(0x6C008000 + 3 + (6 * 3 << 16));
    for (int i = 0; i < 6; i++) point(pts[i]);
    o.w(0x61028000 + 3 + 6 * w), o.h2(5, 1);
    o.w(0x61028000 + 3 + 7 * w), o.h2(6, 1);
    o.w(0x6C008000 + 3 + 8 * w + (2 * 3 << 16));
    point(pts[8]);
    point(pts[9]);
    o.w(0x01000101);
    for (int i = 0; i < count; i++) {
      const int n = int(pts[i].w.size());
      if (n == 0) continue;
      const uint32_t addr = uint32_t(3 + i * w + (w - 2));
      const uint32_t fmt[4] = {0x60018000, 0x64018000, 0x68018000, 0x6C018000};
      o.w(fmt[(n < 4 ? n : 4) - 1] + addr);
      for (int k = 0; k < n && k < 4; k++) o.w(WeightWord(pts[i].w[size_t(k)].second, pts[i].w[size_t(k)].first));
      if (n > 4) {
        o.w(fmt[n - 5] + addr + 1);
        for (int k = 4; k < n; k++) o.w(WeightWord(pts[i].w[size_t(k)].second, pts[i].w[size_t(k)].first));
      }
    }
    // Blend target 0: point 9 moves up by one unit times the target's weight.
    o.w(0x01000101), o.w(0x13000000);
    o.w(0x6E010038), o.w(0u | 59u << 8);
    o.w(0x6C010039), o.f(0), o.f(1), o.f(0), o.w(uint32_t(3 + blendSlot * w));
    o.w(0x1400000C), o.w(0x17000000);
    o.w(0x14000302);
    vpDmaTag_Close(o.p);
  }
  uint32_t* p = vpDmaTag_CntEx(block, 0x01000108, 0);
  block[0] |= 7u << 16;
  p = vpDmaTag_Close(p);
  for (int m = 0; m < 5; m++) {
    uint32_t* t = p;
    p = vpDmaTag_RefEx(p, EeAddrToPtr(uint32_t(m * 64)), m == 0 ? 0x10000000u : 0u, 0x6C040018u + uint32_t(m));
    t[0] = (t[0] & 0xff00ffffu) | 4u | 8u << 16;
  }
  p = vpDmaTag_Set(p, 0, DMATAG_CALL, packets);
  vpDmaTag_Set(p, 0, DMATAG_RET, nullptr);
  ASSERT_EQ(p + 4, packets);

  ZEGOBJ* obj = OneNodeObject(Block<ZEGOBJ>(sizeof(ZEGOBJ)), Block<ZEGEOM>(sizeof(ZEGEOM)), tric, nullptr,
                              {-1, -2, -1}, {4, 2, 1});
  obj->geometries->skininst = block;
  obj->geometries->dmalen = 8 * 16;
  const ZEMTX place = At(-1.5f, 0, 0);
  GsCapture gs;
  const uint64_t frame = Frame([&] {
    zerndr_skinpalette = static_cast<ZEMTX*>(ZeRndrStreamAlloc(5 * 4));
    memcpy(zerndr_skinpalette, joint, sizeof joint);
    auto* weights = static_cast<uint32_t*>(ZeRndrCreateBlendShapeDeformerWeightsArray(1));
    weights[6] = FBits(0.5f);
    EXPECT_EQ(ZeRndrGobjSkin(obj, &place, 5, joint, weights, 1), 1);
  });
  const Picture pic = Grab(frame, 200, 40, 240, 144, "objdraw_skin");
  // The vertices the GS received, against the points skinned here.
  std::vector<uint64_t> xyz;
  for (auto& wr : gs.writes)
    if (wr.first == GS_XYZ2 || wr.first == GS_XYZ3) xyz.push_back(wr.second);
  ASSERT_GE(xyz.size(), size_t(count));
  const size_t first = xyz.size() - size_t(count);
  const int source[10] = {0, 1, 2, 3, 4, 5, 4, 5, 8, 9};
  for (int i = 0; i < count; i++) {
    const SkinPt& sp = pts[source[i]];
    const ZEVEC rest = {sp.x, sp.y + (source[i] == blendSlot ? 0.5f : 0.0f), 0};
    ZEVEC q = {0, 0, 0};
    for (auto& [slot, wt] : sp.w) {
      const ZEVEC t = Xform(rest, joint[slot]);
      q = {q.x + wt * t.x, q.y + wt * t.y, q.z + wt * t.z};
    }
    float x, y;
    Project(q, place, &x, &y);
    const uint64_t v = xyz[first + size_t(i)];
    EXPECT_NEAR(float(v & 0xffff) / 16.0f - 1728.0f, x, 0.1f) << "point " << i;
    EXPECT_NEAR(float((v >> 16) & 0xffff) / 16.0f - 1936.0f, y, 0.1f) << "point " << i;
  }
  // Lit: the vertex grey times the light toward the camera plus ambient.
  float x, y;
  Project({0.5f, 0, 0}, place, &x, &y);
  EXPECT_EQ(pic.at(int(x), int(y)), 0x606060u);
}

// ---- sprites -------------------------------------------------------------------

namespace {

// A sprite packet as the converter writes it: face-on (style 0) or face-Y.
uint32_t* SpritePacket(uint32_t* at, const std::vector<ZEFACEON>& sp, bool faceY) {
  uint32_t* tag = at;
  Words o{vpDmaTag_Cnt(at)};
  if (faceY) {
    tag[0] |= 5u << 16;
    o.w(0x6C010056), o.q(0x00008000, 0x3002C000, 0x512, 0);
  }
  const int n = int(sp.size());
  o.w(0x6C018000);
  if (faceY) o.q(0x8000 + uint32_t(n), 0xC0024000, 0x12512512, 0x00005125);
  else o.q(0x8000 + uint32_t(n), 0x50034000, 0x00052521, 0);
  o.w(0x6D018001), o.h2(3 * n, 0), o.h2(0, 0);
  o.w(0x01000103);
  o.w(0x68008004 + (uint32_t(n) << 16));
  for (const ZEFACEON& s : sp) o.f(s.pos.x), o.f(s.pos.y), o.f(s.pos.z);
  o.w(0x64008005 + (uint32_t(n) << 16));
  for (const ZEFACEON& s : sp) {
    if (faceY) o.f(s.width * 0.5f), o.f(s.height * 0.5f);
    else o.f(-s.width * 1960.0f * 640.0f * 0.00390625f), o.f(-s.height * 2300.0f);
  }
  o.w(0x6E00C006 + (uint32_t(n) << 16));
  for (const ZEFACEON& s : sp)
    o.w(((s.colour >> 16) & 0xff) | (s.colour & 0xff00) | (s.colour & 0xff) << 16 | (s.colour >> 25) << 24);
  o.w(0x01000101), o.w(faceY ? 0x14000306 : 0x14000304);
  return vpDmaTag_Ret(vpDmaTag_Close(o.p));
}

}  // namespace

TEST_F(ObjDraw, PictureOfFaceOnAndFaceYSpritesUnderATurnedCamera) {
  Camera(0x1000);  // turned 22.5 degrees about y
  ZEMTL* unlit = Material(2, true);
  uint32_t* faceon = Block<uint32_t>(1024);
  uint32_t* facey = Block<uint32_t>(1024);
  // Colours B, G, R, A: blue and green face-on sprites, a red face-Y one.
  SpritePacket(faceon, {{{-2, 1, 0}, 1, 1, 0xff0000ffu}, {{3, 1, 0}, 1, 0.5f, 0xff00ff00u}}, false);
  SpritePacket(facey, {{{0, 0, 0}, 2, 1, 0xffff0000u}}, true);
  auto* obj = Block<ZEGOBJ>(sizeof(ZEGOBJ));
  auto* f0 = Block<ZEFACEONGEOM>(sizeof(ZEFACEONGEOM));
  auto* f1 = Block<ZEFACEONGEOM>(sizeof(ZEFACEONGEOM));
  memset(obj, 0, sizeof *obj);
  obj->min = {-4, -2, -2}, obj->max = {4, 2, 2};
  obj->faceons = f0;
  f0->mtl = unlit, f0->dma = faceon, f0->next = f1;
  // The face-Y node's word kicks the facing entry after its local matrix:
  // it draws in its own material's stream.
  ZEMTL* unlit2 = Material(2, true);
  f1->mtl = unlit2, f1->dma = facey, f1->style = 1, f1->mtlindex = 1;
  const ZEMTX here = At(0, 0, 0);
  const uint64_t frame = Frame([&] { EXPECT_EQ(ZeRndrGScnObj(obj, &here), 1); });
  const Picture pic = Grab(frame, 120, 30, 400, 164, "objdraw_sprites");
  // A face-on sprite is a screen rectangle of the factors x Q / 2 about its
  // centre's projection.
  for (const auto& [pos, fx, fy, colour] : {std::tuple{ZEVEC{-2, 1, 0}, 4900.0f, 2300.0f, 0xff0000u},
                                            std::tuple{ZEVEC{3, 1, 0}, 4900.0f, 1150.0f, 0x00ff00u}}) {
    ZEMTX m;
    ZeMtxMulH(&m, &here, ZeCameraGetVPCSMtx());
    const float wq = pos.x * m.m[0][3] + pos.y * m.m[1][3] + pos.z * m.m[2][3] + m.m[3][3];
    float x, y;
    Project(pos, here, &x, &y);
    const float hx = fx / wq * 0.5f / 16.0f, hy = fy / wq * 0.5f / 16.0f;
    EXPECT_EQ(pic.at(int(x), int(y)), colour);
    EXPECT_EQ(pic.at(int(x - hx + 1.5f), int(y - hy + 1.5f)), colour);
    EXPECT_EQ(pic.at(int(x + hx - 1.5f), int(y + hy - 1.5f)), colour);
    EXPECT_EQ(pic.at(int(x + hx + 1.5f), int(y)), 0x202020u);
    EXPECT_EQ(pic.at(int(x), int(y - hy - 1.5f)), 0x202020u);
  }
  // The face-Y sprite faces the camera: as wide on both sides of its centre.
  float x, y;
  Project({0, 0, 0}, here, &x, &y);
  int left = 0, right = 0;
  while (pic.at(int(x) - left - 1, int(y)) == 0x0000ffu) left++;
  while (pic.at(int(x) + right + 1, int(y)) == 0x0000ffu) right++;
  EXPECT_GT(left, 20);
  EXPECT_NEAR(left, right, 1);
  // Its half width is a unit along the camera's right axis.
  const float a = 0x1000 * 6.28318531f / 65536.0f;
  float rx, ry;
  Project({std::cos(a), 0, -std::sin(a)}, here, &rx, &ry);
  EXPECT_NEAR(float(left + right + 1), 2.0f * (rx - x), 2.0f);
}

// ---- particles -----------------------------------------------------------------

namespace {

// A type block: squares of half size 0.4 (x widened 2.5 times for the
// field), red for the first 20 steps, green to 40, blue after.
DebrisDmaTypeInfo* TypeBlock(DebrisDmaTypeInfo* t) {
  CreateDmaPartEffectList(t, nullptr);
  t->gravity = 0;
  for (int i = 0; i < 64; i++) {
    const float p = 0.4f, q = 0.4f, h = 0.8f;
    float* f = t->steps[i].corner;
    f[0] = -p * 2.5f, f[1] = -q, f[2] = 0, f[3] = h, f[4] = p * 2.5f, f[5] = -q + h;
    const uint32_t rgba[4] = {i < 20 ? 255u : 0u, i >= 20 && i < 40 ? 255u : 0u, i >= 40 ? 255u : 0u, 0x80};
    for (int k = 0; k < 4; k++) {
      uint32_t w = FBits(f[k]);
      w = (w & ~0xffu) | rgba[k];
      f[k] = BitsF(w);
    }
  }
  return t;
}

}  // namespace

TEST_F(ObjDraw, PictureOfParticlesAtThreeAgesAndAGlassBatch) {
  ZEMTL* mtl = Material(2, true);
  auto* type = TypeBlock(static_cast<DebrisDmaTypeInfo*>(static_cast<void*>(Block<uint32_t>(ZEPTL_TYPE_BYTES))));
  auto* glassType = TypeBlock(static_cast<DebrisDmaTypeInfo*>(static_cast<void*>(Block<uint32_t>(ZEPTL_TYPE_BYTES))));
  uint8_t* chunk = static_cast<uint8_t*>(CreateDmaParticleSet(Block<uint8_t>(ZEPTL_CHUNK_BYTES), nullptr));
  uint8_t* glass = static_cast<uint8_t*>(CreateDmaParticleSetGlass(Block<uint8_t>(ZEPTL_GLASS_BYTES), nullptr));
  auto* parts = reinterpret_cast<DebrisParticle*>(chunk + 32);
  auto* shards = reinterpret_cast<DebrisParticle*>(glass + 32);
  const float now = 100.0f;
  for (int i = 0; i < 32; i++) parts[i] = {0, 0, 0, 0, 0, 0, 0, 32768.0f};  // new dead slots
  for (int i = 0; i < 12; i++) shards[i] = {0, 0, 0, 1e10f, 0, 0, 0, 128.0f};
  // Ages 0.1, 0.4 and 0.8 of a one-second life; one expired; one dead slot.
  parts[0] = {-3, 0, 0, now - 0.1f, 0, 0, 0, 64};
  parts[1] = {-1, 0, 0, now - 0.4f, 0, 0, 0, 64};
  parts[2] = {1, -0.5f, 0, now - 0.9f, 0, 1, 0, 64};  // moved up 0.9 by its velocity
  parts[3] = {3, 0, 0, now - 1.5f, 0, 0, 0, 64};
  parts[4] = {0, 2, 0, 1e10f, 0, 0, 0, 128};
  shards[0] = {-2, -2, 0, now - 0.5f, 0, 0, 0, 64};
  shards[5] = {2, -2, 0, now - 0.1f, 0, 0, 0, 64};
  void* chain[1] = {chunk};
  LinkDmaParticalSets(chain, 1);
  void* gchain[1] = {glass};
  LinkDmaParticalSets(gchain, 1);
  const ZEMTX here = At(0, 0, 0);
  const uint64_t frame = Frame([&] {
    ZeRndrParticleGroup(chunk, type, mtl, &here, 0, now, 0.125f, 0.125f, 0);
    ZeRndrParticleGroup(glass, glassType, mtl, &here, 4, now, 0.125f, 0.125f, 0);
  });
  const Picture pic = Grab(frame, 120, 20, 400, 184, "objdraw_particles");
  float x, y;
  Project({-3, 0, 0}, here, &x, &y);
  EXPECT_EQ(pic.at(int(x), int(y)), 0x0000ffu) << "age 0.1: red";
  Project({-1, 0, 0}, here, &x, &y);
  EXPECT_EQ(pic.at(int(x), int(y)), 0x00ff00u) << "age 0.4: green";
  Project({1, 0.4f, 0}, here, &x, &y);
  EXPECT_EQ(pic.at(int(x), int(y)), 0xff0000u) << "age 0.9: blue, moved up";
  Project({3, 0, 0}, here, &x, &y);
  EXPECT_EQ(pic.at(int(x), int(y)), 0x202020u) << "expired";
  Project({0, 2, 0}, here, &x, &y);
  EXPECT_EQ(pic.at(int(x), int(y)), 0x202020u) << "dead slot";
  Project({-2, -2, 0}, here, &x, &y);
  EXPECT_EQ(pic.at(int(x), int(y)), 0x00ff00u) << "a glass shard at age 0.5";
  Project({2, -2, 0}, here, &x, &y);
  EXPECT_EQ(pic.at(int(x), int(y)), 0x0000ffu) << "a glass shard at age 0.1";
  EXPECT_EQ(pic.Count(0x0000ffu) + pic.Count(0x00ff00u) + pic.Count(0xff0000u) + pic.Count(0x202020u),
            int(pic.px.size()));
}

// ---- effect jobs ---------------------------------------------------------------

TEST_F(ObjDraw, PictureOfEachEffectJob) {
  ZEMTL* mtl = Material(2, true);
  // In absolute screen units: window pixel x 16.
  const uint32_t sprite[5] = {FBits(10 * 16), FBits(150 * 16), FBits(40 * 16), FBits(170 * 16), 100};
  auto* set = Block<ZEFXSPRITESET>(sizeof(ZEFXSPRITESET));
  set->n = 2;
  for (int i = 0; i < 2; i++) {
    set->base[i] = 50;
    set->colour[i] = i ? 0x8000ff00u : 0x800000ffu;
    set->a[0][i] = float(60 + 40 * i) * 16, set->a[1][i] = 150 * 16;  // x0, y0
    set->a[4][i] = float(90 + 40 * i) * 16, set->a[5][i] = 170 * 16;  // x1, y1
  }
  auto* set2 = Block<ZEFXSPRITE2SET>(sizeof(ZEFXSPRITE2SET));
  set2->n = 1;
  set2->colour[0] = 0x80ff0000u;
  for (int j = 0; j < 6; j++) {  // a strip of three quads' worth: x 150..250, y 150..170
    set2->a[4 * j][0] = float(150 + (j / 2) * 50) * 16;
    set2->a[4 * j + 1][0] = float(150 + (j & 1) * 20) * 16;
  }
  auto* fan = Block<ZEFXSPRITE2SET>(sizeof(ZEFXSPRITE2SET));
  *fan = *set2;
  fan->colour[0] = 0x80ffff00u;
  for (int j = 0; j < 6; j++) fan->a[4 * j + 1][0] += 40 * 16;  // 40 lines lower
  const uint32_t copy[5] = {FBits(300 * 16), FBits(150 * 16), FBits(330 * 16), FBits(170 * 16), 100};
  GsCapture gs;
  const uint64_t frame = Frame([&] {
    ZeRndrFxCode(0x300, sprite, nullptr, mtl);
    ZeRndrFxCode(0x304, nullptr, nullptr, mtl);
    ZeRndrFxCode(0x306, set, nullptr, mtl);
    ZeRndrFxCode(0x308, set2, nullptr, mtl);
    ZeRndrFxCode(0x30a, fan, nullptr, mtl);
    ZeRndrFxCode(0x302, copy, nullptr, mtl);
  });
  const Picture pic = Grab(frame, 0, 0, 400, 224, "objdraw_fx");
  // 0x300: grey, pixels 10-39 by 150-169.
  EXPECT_EQ(pic.at(10, 150), 0x808080u);
  EXPECT_EQ(pic.at(39, 169), 0x808080u);
  EXPECT_EQ(pic.at(40, 160), 0x202020u);
  EXPECT_EQ(pic.at(9, 160), 0x202020u);
  // 0x304: eight sprites of 64 x 32 pixels, blue at the even ones, green at the odd.
  EXPECT_EQ(pic.at(5, 5), 0x800000u);
  EXPECT_EQ(pic.at(325, 5), 0x008000u);
  EXPECT_EQ(pic.at(5, 100), 0x800000u);
  EXPECT_EQ(pic.at(70, 5), 0x202020u);
  // 0x306: two sprites from their first point to their second.
  EXPECT_EQ(pic.at(60, 150), 0x0000ffu);
  EXPECT_EQ(pic.at(89, 169), 0x0000ffu);
  EXPECT_EQ(pic.at(100, 160), 0x00ff00u);
  EXPECT_EQ(pic.at(95, 160), 0x202020u);
  // 0x308: six points as a strip; 0x30a: the same six as a fan from the
  // first (its triangles all start at the top-left corner).
  EXPECT_EQ(pic.at(200, 160), 0xff0000u);
  EXPECT_EQ(pic.at(260, 160), 0x202020u);
  EXPECT_EQ(pic.at(160, 205), 0xffff00u);
  EXPECT_EQ(pic.at(225, 208), 0x202020u) << "the fan leaves a notch in the last quad";
  // 0x302: the screen copy's coordinates of its corners.
  EXPECT_EQ(pic.at(310, 160), 0x808080u);
  const std::vector<uint64_t> st = gs.Values(GS_ST);
  ASSERT_GE(st.size(), 2u);
  float c[4];
  memcpy(c, &st[st.size() - 2], 8);
  memcpy(c + 2, &st[st.size() - 1], 8);
  EXPECT_FLOAT_EQ(c[0], 300.0f / 1024.0f);
  EXPECT_FLOAT_EQ(c[1], 150.0f / 256.0f);
  EXPECT_FLOAT_EQ(c[2], 330.0f / 1024.0f);
  EXPECT_FLOAT_EQ(c[3], 170.0f / 256.0f);
}

// ---- the converters' packets ---------------------------------------------------

TEST_F(ObjDraw, TheConvertersPacketsDrawAsTheLayoutsThisTestBuilds) {
  GenerateGammaTable(1.0f, 1.0f);  // colours pass unchanged
  Lights();
  ZEMTL* tric = Material(0, true);
  ZEMTL* unlit = Material(2, true);
  // A lit cube; an unlit mesh the converter compresses; face-on and face-Y sprites.
  const std::vector<ZEVTX> cube = Cube();
  std::vector<ZEVTX> mesh;
  for (int i = 0; i < 12; i++) {
    const float x = -3.0f + 0.5f * float(i), y = float(i % 3) - 2.5f;
    const uint32_t c = 0x80000000u | uint32_t(i * 20) << 16 | 0x8040;
    mesh.push_back({{x, y, 0}, {0, 0, -1}, c, 0, 0});
    mesh.push_back({{x + 1.0f, y, 0.5f}, {0, 0, -1}, c, 1, 0});
    mesh.push_back({{x, y + 1.5f, 0}, {0, 0, -1}, c, 0, 1});
  }
  const std::vector<ZEFACEON> sprites = {{{-2, 2, 0}, 1, 1, 0xff0000ffu}, {{2, 2, 0}, 1, 0.5f, 0xff00ff00u}};
  std::vector<int16_t> cubeIdx(cube.size()), meshIdx(mesh.size());
  for (size_t i = 0; i < cubeIdx.size(); i++) cubeIdx[i] = int16_t(i);
  for (size_t i = 0; i < meshIdx.size(); i++) meshIdx[i] = int16_t(i);
  ZEVEC mn = {-3, -2.5f, 0}, mx = {3.5f, 1, 0.5f};
  const Compression comp = CompressionOf(mn, mx);

  auto draw = [&](uint32_t* cubeChain, uint32_t* meshChain, uint32_t* spriteChain) {
    ZEGOBJ* a = OneNodeObject(Block<ZEGOBJ>(sizeof(ZEGOBJ)), Block<ZEGEOM>(sizeof(ZEGEOM)), tric, cubeChain, BOX_MIN, BOX_MAX);
    ZEGOBJ* b = OneNodeObject(Block<ZEGOBJ>(sizeof(ZEGOBJ)), Block<ZEGEOM>(sizeof(ZEGEOM)), unlit, meshChain, mn, mx);
    auto* f = Block<ZEFACEONGEOM>(sizeof(ZEFACEONGEOM));
    f->mtl = unlit, f->dma = spriteChain;
    b->faceons = f;
    ZEMTX cubeAt = At(0, 1, 0);
    cubeAt.m[0][0] = cubeAt.m[1][1] = cubeAt.m[2][2] = 0.5f;
    const ZEMTX here = At(0, 0, 0);
    return Frame([&] {
      ZeRndrGScnObj(a, &cubeAt);
      ZeRndrGScnObj(b, &here);
    });
  };
  // The layouts as this test writes them.
  uint32_t* c1 = Block<uint32_t>(4096);
  uint32_t* m1 = Block<uint32_t>(4096);
  uint32_t* s1 = Block<uint32_t>(1024);
  MeshPacket(c1, cube, nullptr);
  MeshPacket(m1, mesh, &comp);
  SpritePacket(s1, sprites, false);
  const Picture p1 = Grab(draw(c1, m1, s1), 120, 20, 400, 184, "objdraw_layouts");
  // The converters'.
  uint32_t* c2 = Block<uint32_t>(4096);
  uint32_t* m2 = Block<uint32_t>(4096);
  uint32_t* s2 = Block<uint32_t>(1024);
  uint32_t* cur = c2;
  ZeCvtCalcFastPoint(&BOX_MIN, &BOX_MAX, tric);
  ZeCvtDmaTriCFromIdx(&cur, cube.data(), int(cube.size()), nullptr, cubeIdx.data(), int(cubeIdx.size()), tric);
  vpDmaTag_Ret(cur);
  cur = m2;
  ZeCvtCalcFastPoint(&mn, &mx, unlit);
  EXPECT_EQ(ZeCvtPntOn, 1) << "the unlit mesh is compressed";
  ZeCvtDmaTriCFromIdx(&cur, mesh.data(), int(mesh.size()), nullptr, meshIdx.data(), int(meshIdx.size()), unlit);
  vpDmaTag_Ret(cur);
  ZeCvtPntOn = 0;
  cur = s2;
  ZeCvtDmaFaceOn(&cur, sprites.data(), int(sprites.size()), 2, nullptr);
  vpDmaTag_Ret(cur);
  const Picture p2 = Grab(draw(c2, m2, s2), 120, 20, 400, 184, "objdraw_converters");
  EXPECT_LT(p1.Count(0x202020u), int(p1.px.size()) - 3000) << "something drawn";
  int differ = 0;
  for (size_t i = 0; i < p1.px.size(); i++) differ += p1.px[i] != p2.px[i];
  EXPECT_EQ(differ, 0);
}

TEST_F(ObjDraw, PictureOfASkinTheConverterMadeBentByTwoJoints) {
  ZeGobjInit();
  InitSkinning(64 * 1024);
  Lights();
  ZEMTL* tric = Material(0, true);
  // Columns of two vertices at x = 0..3; weights: joint 0, half and half,
  // joint 1, then five joints at 0.2 on top and joint 1 below.
  const std::vector<std::vector<std::pair<int, float>>> weights = {
      {{0, 1}}, {{0, 1}}, {{0, 0.5f}, {1, 0.5f}}, {{0, 0.5f}, {1, 0.5f}}, {{1, 1}}, {{1, 1}},
      {{1, 1}}, {{0, 0.2f}, {1, 0.2f}, {2, 0.2f}, {3, 0.2f}, {4, 0.2f}}};
  const int n = int(weights.size());
  ZEGOBJ* obj = ZeGobjCreate();
  ZEGEOM* geom = ZeGeomCreate();
  geom->mtl = tric;
  ZeGobjAddGeom(obj, geom);
  auto* v = static_cast<ZEVTX*>(ZeMemAlloc(n * int(sizeof(ZEVTX))));
  for (int i = 0; i < n; i++) v[i] = {{float(i / 2), i % 2 ? 0.5f : -0.5f, 0}, {0, 0, -1}, 0x80808080u, 0, 0};
  geom->vtx = v;
  geom->vtxcount = n;
  for (int i = 0; i < n; i++) {
    auto* s = static_cast<ZESKIN*>(ZeMemAlloc(sizeof(ZESKIN)));
    const int w = int(weights[size_t(i)].size());
    auto* ids = static_cast<int32_t*>(ZeMemAlloc(4 * w));
    auto* ws = static_cast<float*>(ZeMemAlloc(4 * w));
    for (int k = 0; k < w; k++) ids[k] = weights[size_t(i)][size_t(k)].first, ws[k] = weights[size_t(i)][size_t(k)].second;
    *s = {};
    s->first = i, s->count = 1, s->nmtx = w, s->mtxids = ids, s->weights = ws;
    ZeGeomAddSkin(geom, s);
  }
  const int tris[] = {0, 2, 1, 1, 2, 3, 2, 4, 3, 3, 4, 5, 4, 6, 5, 5, 6, 7};
  ZEPRIM* p = ZePrimCreate(18, ZEPRIM_IDXLIST);
  for (int i = 0; i < 18; i++) p->idx[i] = int16_t(tris[i]);
  ZeGeomAddPrim(geom, p);
  obj->min = {-1, -2, -1}, obj->max = {4, 3, 1};
  ZePs2CreateSkin(obj);
  ASSERT_TRUE(geom->skininst);
  ZeRndrSwapStreamBuffers();  // the conversion worked in the stream buffers

  ZEMTX joint[5];
  ZeMtxSetIdentity(&joint[0]);
  const float c = std::cos(0.5235988f), s = std::sin(0.5235988f);
  ZeMtxSetIdentity(&joint[1]);
  joint[1].m[0][0] = c, joint[1].m[0][1] = s, joint[1].m[1][0] = -s, joint[1].m[1][1] = c;
  joint[1].m[3][0] = 1 - c, joint[1].m[3][1] = -s;
  for (int j = 2; j < 5; j++) joint[j] = joint[1];
  const ZEMTX place = At(-1.5f, 0, 0);
  GsCapture gs;
  const uint64_t frame = Frame([&] {
    zerndr_skinpalette = static_cast<ZEMTX*>(ZeRndrStreamAlloc(5 * 4));
    memcpy(zerndr_skinpalette, joint, sizeof joint);
    EXPECT_EQ(ZeRndrGobjSkin(obj, &place, 5, joint, nullptr, 1), 1);
  });
  const Picture pic = Grab(frame, 200, 40, 240, 144, "objdraw_skin_converted");
  // Every vertex the GS received is one of the vertices skinned here.
  std::vector<std::pair<float, float>> expect;
  for (int i = 0; i < n; i++) {
    ZEVEC q = {0, 0, 0};
    for (auto& [id, wt] : weights[size_t(i)]) {
      const ZEVEC& r = v[i].pos;
      const ZEMTX& m = joint[id];
      q.x += wt * (r.x * m.m[0][0] + r.y * m.m[1][0] + m.m[3][0]);
      q.y += wt * (r.x * m.m[0][1] + r.y * m.m[1][1] + m.m[3][1]);
    }
    float x, y;
    Project(q, place, &x, &y);
    expect.emplace_back(x, y);
  }
  int seen = 0, prim = 0;
  for (auto& [reg, val] : gs.writes) {
    if (reg == GS_PRIM) prim = int(val & 7);
    if ((reg != GS_XYZ2 && reg != GS_XYZ3) || prim != 4) continue;  // strips only: not the clear's sprites
    const float x = float(val & 0xffff) / 16.0f - 1728.0f, y = float((val >> 16) & 0xffff) / 16.0f - 1936.0f;
    bool found = false;
    for (auto& e : expect) found |= std::fabs(e.first - x) < 0.1f && std::fabs(e.second - y) < 0.1f;
    EXPECT_TRUE(found) << "a vertex at " << x << ", " << y;
    seen++;
  }
  EXPECT_GE(seen, 8);
  float x, y;
  Project({0.25f, 0, 0}, place, &x, &y);
  EXPECT_EQ(pic.at(int(x), int(y)), 0x606060u);
  ZeGobjClose();
  CloseSkinning();
}
