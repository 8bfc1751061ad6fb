// Hierarchical-object tests: model files built byte by byte (the blocks
// HGOF, NTBL, MS00, HGO0, COLL) in a host directory, loaded onto the heap.
#pragma once

#include "aniwrite.h"
#include "zegscn_test.h"
#include "zegscn_local.h"

struct HgoJoint {
  int flags = 0;
  ZEMTX rest, skin, orient;
  ZEVEC pivot = {0, 0, 0};
  int parent = 255;
  int name = 0;  // 0 none, else 1 + offset in the name table
};

struct HgoModel {
  std::vector<HgoJoint> joints;
  std::vector<uint8_t> jointmap, pointmap;
  // Per layer: the joint that carries a triangle in objects (-1 none).
  std::vector<int> layers;
  // Layer 0's objects2: per joint a sprite object of this many sprites (0 none).
  std::vector<int> sprites;
  bool skin = false;  // layer 0's skin: a quad from joint 0 to joint 1
  struct Point {
    int joint = 0;
    ZEMTX mtx;
    int name = 0;
  };
  std::vector<Point> points;
  int shadows = 0;  // records, one ellipsoid each, on joint 0
  float bounds[11] = {2, 1, -1, 0, -1, 1, 2, 1, 0, 2, 1};
  std::string names = std::string("root\0arm\0", 9);
};

inline ZEMTX HgoIdentity() {
  ZEMTX m;
  ZeMtxSetIdentity(&m);
  return m;
}

// A triangle object of material 0 near the origin.
inline void HgoTriangle(Bytes& b) {
  b.I32(0).I32(ZEGOBJ_MESH).F32(0).F32(0).F32(0).I32(1).I32(0).I32(3);
  for (int i = 0; i < 3; i++) {
    ZEVTX v = {};
    v.pos = {float(i == 1) * 0.5f, float(i == 2) * 0.5f, 0};
    v.normal = {0, 0, -1};
    v.colour = 0xff00ff00u;
    b.Raw(&v, 36);
  }
  b.I32(0).I32(1).I32(ZEPRIM_IDXLIST).I32(3).I16(0).I16(1).I16(2);
  b.I32(0).I32(0);
}

// A sprite object of n camera-facing sprites of material 0.
inline void HgoSprites(Bytes& b, int n) {
  b.I32(0).I32(ZEGOBJ_SPRITES).I32(1).I32(0).I32(n).I32(0).I32(0);
  for (int i = 0; i < n; i++) {
    ZEFACEON f = {{float(i % 7) * 0.1f, float(i / 7) * 0.1f, 0}, 0.2f, 0.2f, 0xff0000ffu};
    b.Raw(&f, 24);
  }
}

// A skinned quad in the model's space: its lower edge on joint 0 at
// y = 0.8..1.2, its upper edge on joint 1 (x 1.0..1.4).
inline void HgoSkinQuad(Bytes& b) {
  b.I32(0).I32(ZEGOBJ_MESH).F32(0).F32(0).F32(0).I32(1).I32(0).I32(4);
  const float p[4][2] = {{-0.2f, 0.8f}, {0.2f, 0.8f}, {1.4f, 1.2f}, {1.0f, 1.2f}};
  for (int i = 0; i < 4; i++) {
    ZEVTX v = {};
    v.pos = {p[i][0], p[i][1], 0};
    v.normal = {0, 0, -1};
    v.colour = 0xff0000ffu;
    b.Raw(&v, 36);
  }
  b.I32(0).I32(1).I32(ZEPRIM_IDXLIST).I32(6).I16(0).I16(2).I16(1).I16(0).I16(3).I16(2);
  const int8_t smooth = 0;
  b.I32(2).Raw(&smooth, 1);
  b.I32(0).I32(2).I32(1).I32(0).F32(1).F32(1);
  b.I32(2).I32(2).I32(1).I32(1).F32(1).F32(1);
  b.I32(0);
}

inline Bytes HgoBody(const HgoModel& m) {
  Bytes b;
  const uint8_t J = uint8_t(m.joints.size());
  b.Raw(&J, 1);
  if (J) {
    for (const HgoJoint& j : m.joints) {
      const uint8_t f = uint8_t(j.flags), p = uint8_t(j.parent);
      b.Raw(&f, 1).Raw(&j.rest, 64).Raw(&j.skin, 64).Raw(&j.orient, 64).Raw(&j.pivot, 12).Raw(&p, 1).I32(j.name);
    }
    for (const auto* map : {&m.jointmap, &m.pointmap}) {
      const uint8_t n = uint8_t(map->size());
      b.Raw(&n, 1).Raw(map->data(), map->size());
    }
    const uint8_t L = uint8_t(m.layers.size()), one = 1, zero = 0;
    b.Raw(&L, 1);
    for (const int& carrier : m.layers) {
      b.I32(0);
      if (carrier < 0) {
        b.Raw(&zero, 1);
      } else {
        b.Raw(&one, 1);
        for (int j = 0; j < J; j++) {
          if (j == carrier) {
            b.Raw(&one, 1);
            HgoTriangle(b);
          } else {
            b.Raw(&zero, 1);
          }
        }
      }
      if (&carrier == &m.layers[0] && m.skin) {
        b.Raw(&one, 1);
        HgoSkinQuad(b);
      } else {
        b.Raw(&zero, 1);
      }
      if (&carrier == &m.layers[0] && !m.sprites.empty()) {
        b.Raw(&one, 1);
        for (int j = 0; j < J; j++) {
          const int n = j < int(m.sprites.size()) ? m.sprites[j] : 0;
          b.Raw(n ? &one : &zero, 1);
          if (n) HgoSprites(b, n);
        }
      } else {
        b.Raw(&zero, 1);
      }
      b.Raw(&zero, 1);
    }
    const uint8_t P = uint8_t(m.points.size());
    b.Raw(&P, 1);
    for (const auto& p : m.points) {
      const uint8_t jj = uint8_t(p.joint);
      b.Raw(&jj, 1).Raw(&p.mtx, 64).I32(p.name);
    }
    const uint8_t S = uint8_t(m.shadows);
    b.Raw(&S, 1);
    for (int s = 0; s < m.shadows; s++) {
      b.Raw(&one, 1).Zeros(48).Raw(&zero, 1).Raw(&zero, 1).Raw(&zero, 1);
    }
  }
  b.Raw(m.bounds, sizeof m.bounds);
  return b;
}

// The inner blocks of a model file; coll: COLL block bodies to add.
inline Bytes HgoInner(const HgoModel& m, const std::vector<Bytes>& coll = {}) {
  Bytes inner;
  Bytes ntbl;
  ntbl.I32(int32_t(m.names.size())).Raw(m.names.data(), m.names.size());
  inner.Block("NTBL", ntbl);
  Bytes ms;
  ms.I32(1);
  SceneMaterial mat;
  mat.vtxcol = 1;
  mat.lighting = 2;  // unlit: the vertex colours
  uint8_t rec[ZEMTL_FILE_RECORD];
  SceneMaterialRecord(mat, rec);
  ms.Raw(rec, sizeof rec);
  inner.Block("MS00", ms);
  inner.Block("HGO0", HgoBody(m));
  for (const Bytes& c : coll) inner.Block("COLL", c);
  return inner;
}

inline std::vector<uint8_t> HgoFile(const Bytes& inner) {
  Bytes out;
  out.Block("HGOF", inner);
  return out.b;
}

// Two joints: a root at (0, 1, 0) and an arm one along x from it; ids 0
// and 1 map to them; point id 0 on the arm.
inline HgoModel HgoTwoJoints() {
  HgoModel m;
  HgoJoint root, arm;
  root.rest = Translation(0, 1, 0);
  root.orient = HgoIdentity();
  root.skin = Translation(0, -1, 0);  // inverse bind poses
  root.name = 1;
  arm.rest = Translation(1, 0, 0);
  arm.orient = HgoIdentity();
  arm.skin = Translation(-1, -1, 0);
  arm.parent = 0;
  arm.name = 6;
  m.joints = {root, arm};
  m.jointmap = {0, 1, 255};
  m.pointmap = {0};
  HgoModel::Point p;
  p.joint = 1;
  p.mtx = Translation(0, 0, 1);
  m.points = {p};
  m.layers = {1};
  m.shadows = 1;
  return m;
}

// One collision entry: a sphere of radius r on joint j at c (joint space).
inline Bytes HgoCollSphere(ZEVEC c, float r, int j) {
  Bytes b;
  b.I32(1).I32(4);          // count, entries at +8 (field at 4)
  b.I32(ZEHGOBJCOLL_SPHERE).I32(4);  // shape at +16 (field at 12)
  b.Raw(&c, 12).F32(r);
  const uint8_t jj = uint8_t(j);
  b.Raw(&jj, 1).Zeros(3);
  return b;
}

struct Hgo : Scene {
  std::vector<ZEHGOBJ*> objs;
  void SetUp() override {
    Scene::SetUp();
    InitSkinning(1 << 20);
  }
  void TearDown() override {
    for (ZEHGOBJ* o : objs) ZeHGobjDestroy(o);
    CloseSkinning();
    Scene::TearDown();
  }
  ZEHGOBJ* LoadModel(const std::vector<uint8_t>& bytes, const char* name = "M.HGO") {
    Put(name, bytes);
    ZEHGOBJ* o = ZeHGobjLoad(name);
    if (o) objs.push_back(o);
    return o;
  }
};

// Animations of both formats made by the writer and loaded into a buffer of
// the test's.
struct HgoAnims : Hgo {
  char* abuf = nullptr;
  char* aend = nullptr;
  void SetUp() override {
    Hgo::SetUp();
    abuf = Buffer(1 << 18, &aend);
  }
  ZEANIMDATA2* Anim2(const AniDesc& d, const char* name) {
    std::string error;
    const std::vector<uint8_t> img = AniBuildV2(d, &error);
    EXPECT_FALSE(img.empty()) << error;
    Put(name, img);
    return ZeAnimData2LoadBuff(name, &abuf, aend);
  }
  ZEANIMDATA* Anim1(const AniDesc& d, const char* name) {
    std::string error;
    const std::vector<uint8_t> img = AniBuildV1(d, &error);
    EXPECT_FALSE(img.empty()) << error;
    Put(name, img);
    return ZeAnimDataLoadBuff(name, &abuf, aend);
  }
};
