// Gathering, hit tests, casts, scan handles and ground queries: against the
// brute-force reference (every polygon and wall segment through the same
// tests) on seeded random queries over a generated level, the hit tests
// against a plain sweep written apart, and the edge cases as tables.
#include <cmath>
#include <random>

#include "terrain_local.h"
#include "terrain_test.h"

namespace {

using Hits = TerrainTest;

struct Rng {
  std::mt19937 g;
  explicit Rng(unsigned s) : g(s) {}
  float U(float a, float b) { return std::uniform_real_distribution<float>(a, b)(g); }
  int I(int a, int b) { return std::uniform_int_distribution<int>(a, b)(g); }
  ZEVEC V(float a, float b) { return {U(a, b), U(a, b), U(a, b)}; }
};

// A level of random triangles and quads in every orientation over a 40 x 40
// area, some grouped, some flagged, some steep, and a wall spline.
std::vector<TestItem> RandomLevel(unsigned seed, int nitems, int perItem) {
  Rng r(seed);
  std::vector<TestItem> items;
  for (int i = 0; i < nitems; i++) {
    TestItem it = StaticItem({r.U(-20, 20), r.U(-2, 2), r.U(-20, 20)}, {});
    it.groups.resize(size_t(r.I(1, 3)));
    for (int k = 0; k < perItem; k++) {
      ZEVEC c = r.V(-3, 3), a = r.V(-1.5f, 1.5f), b = r.V(-1.5f, 1.5f);
      ZEVEC v0 = c, v1 = {c.x + a.x, c.y + a.y, c.z + a.z}, v2 = {c.x + b.x, c.y + b.y, c.z + b.z};
      uint8_t surface = uint8_t(r.I(0, 9)) | (r.I(0, 5) == 0 ? 0x80 : 0);
      uint8_t group = r.I(0, 4) == 0 ? uint8_t(1 << r.I(0, 3)) : 0;
      TerrWritePoly p;
      if (r.I(0, 1)) {
        ZEVEC v3 = {v1.x + b.x, v1.y + b.y, v1.z + b.z};  // a parallelogram: coplanar and convex
        p = QPoly(v0, v1, v2, v3, surface, group);
      } else {
        p = TPoly(v0, v1, v2, surface, group);
      }
      if (ZeVecMag(&p.na) < 0.5f) continue;
      it.groups[size_t(k) % it.groups.size()].push_back(p);
    }
    items.push_back(it);
  }
  TestItem sp;
  sp.kind = 2;
  for (int k = 0; k <= 40; k++) sp.points.push_back({-20.0f + float(k), 0, 12.0f + 3.0f * std::sin(float(k))});
  items.push_back(sp);
  return items;
}

struct CastOut {
  int type;
  float time;
  ZEVEC vec, norm;
  int obj;
};

CastOut DoCast(const ZEVEC& s, const ZEVEC& v, int mask, int skip, float r) {
  CastOut o;
  o.vec = v;
  o.type = NewRayCastMask(&s, &o.vec, mask, skip, r);
  o.time = TerI->hittime;
  o.norm = ShadNorm;
  o.obj = TerrPolyObj;
  return o;
}

void ExpectNear(const ZEVEC& a, const ZEVEC& b, float tol, const char* what) {
  EXPECT_NEAR(a.x, b.x, tol) << what;
  EXPECT_NEAR(a.y, b.y, tol) << what;
  EXPECT_NEAR(a.z, b.z, tol) << what;
}

std::vector<uint8_t*> refbufs;
uint8_t* RefList(int mask, int skip) {
  auto* b = static_cast<uint8_t*>(EeMalloc(1 << 20));
  EXPECT_TRUE(TerrRefBuild(b, 1 << 20, mask, skip));
  refbufs.push_back(b);
  return b;
}
void FreeRefs() {
  for (auto* b : refbufs) EeFree(b);
  refbufs.clear();
  TerrRefList = nullptr;
}


// A plain sweep of a sphere against one polygon, written from the rules
// alone in double precision: faces in world space; edges, each the open
// cylinder between its end points, and vertices, each apart, in the move
// frame (the motion turned onto +z by the table angles); the same order and
// ties (face A at most the best time, everything else strictly below it).
struct PlainHit {
  int type = 0;
  double time = 999.9;
  ZEVEC norm{};
  std::vector<PlainHit> found;  // every contact found, the best or not
};

struct D3 {
  double x, y, z;
};
D3 Dv(const ZEVEC& v) { return {v.x, v.y, v.z}; }
D3 Sub(D3 a, D3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
D3 Add(D3 a, D3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
D3 Mul(D3 a, double k) { return {a.x * k, a.y * k, a.z * k}; }
double Dot(D3 a, D3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
ZEVEC Unit(D3 a) {
  double l = std::sqrt(Dot(a, a));
  return {float(a.x / l), float(a.y / l), float(a.z / l)};
}

bool InsideTriangle(D3 p, D3 a, D3 b, D3 c, D3 n) {
  D3 e[3] = {Sub(b, a), Sub(c, b), Sub(a, c)}, q[3] = {Sub(p, a), Sub(p, b), Sub(p, c)};
  bool neg = false, pos = false;
  for (int i = 0; i < 3; i++) {
    D3 x = {e[i].y * q[i].z - e[i].z * q[i].y, e[i].z * q[i].x - e[i].x * q[i].z, e[i].x * q[i].y - e[i].y * q[i].x};
    double s = Dot(x, n);
    neg |= s < 0, pos |= s > 0;
  }
  return !(neg && pos);
}

PlainHit PlainSweep(const TerrWritePoly& p, const ZEVEC& item, const ZEVEC& start, const ZEVEC& vec, float radius) {
  PlainHit h;
  const double r = radius, tol = 1e-5;
  const D3 S = Dv(start), V = Dv(vec);
  D3 v[4];
  for (int k = 0; k < 4; k++) v[k] = Add(Dv(p.v[k]), Dv(item));
  const D3 nA = Dv(p.na), nB = Dv(p.nb);
  const double dA0 = Dot(nA, Sub(S, v[0])) - r, dA1 = Dot(nA, Sub(Add(S, V), v[0])) - r - tol;
  const double dB0 = p.quad ? Dot(nB, Sub(S, v[3])) - r : 0, dB1 = p.quad ? Dot(nB, Sub(Add(S, V), v[3])) - r - tol : 0;
  const bool candA = dA1 < 0 && dA0 > -r, candB = p.quad && dB1 < 0 && dB0 > -r;
  if (!candA && !candB) return h;
  auto take = [&](int type, double time, ZEVEC n, bool tie) {
    h.found.push_back({type, time, n, {}});
    if (tie ? time <= h.time : time < h.time) h.type = type, h.time = time, h.norm = n;
  };
  auto face = [&](bool cand, double d0, double d1, D3 n, D3 a, D3 b, D3 c, bool tie) {
    if (!cand) return;
    double time;
    D3 pt;
    if (d0 > 0 && d1 < 0) time = d0 / (d0 - d1), pt = Add(Sub(S, Mul(n, r)), Mul(V, time));
    else if (d0 >= -r && d0 <= 0) time = 1e-9, pt = Sub(S, Mul(n, r + d0));
    else return;
    if (InsideTriangle(pt, a, b, c, n)) take(d0 <= 0 ? 17 : 1, time, Unit(n), tie);
  };
  face(candA, dA0, dA1, nA, v[0], v[1], v[2], true);
  face(candB, dB0, dB1, nB, v[3], v[2], v[1], false);
  if (r == 0) return h;
  // The move frame: the start at the origin, the motion along +z.
  const float hlen = std::sqrt(vec.x * vec.x + vec.z * vec.z);
  const int yaw = ZeAtan2DA(vec.x, vec.z), pitch = ZeAtan2DA(-vec.y, hlen);
  D3 f[4];
  for (int k = 0; k < 4; k++) {
    ZEVEC q = {float(v[k].x - S.x), float(v[k].y - S.y), float(v[k].z - S.z)};
    ZeVecRotateY(&q, &q, -yaw);
    ZeVecRotateX(&q, &q, -pitch);
    f[k] = Dv(q);
  }
  const D3 M = {0, 0, std::sqrt(Dot(V, V))};
  auto world = [&](D3 n) {
    ZEVEC w = Unit(n);
    ZeVecRotateX(&w, &w, pitch);
    ZeVecRotateY(&w, &w, yaw);
    return Unit(Dv(w));
  };
  const double VV = Dot(M, M);
  auto edge = [&](int i, int j) {
    const D3 e = Sub(f[j], f[i]), u = Mul(f[i], -1);
    const double ee = Dot(e, e);
    auto perp = [&](D3 w) { return Sub(w, Mul(e, Dot(w, e) / ee)); };
    const D3 pu = perp(u), pv = perp(M);
    const double k0 = Dot(u, e) / ee, c = Dot(pu, pu) - r * r;
    if (c < 0) {
      if (k0 > 0 && k0 < 1) take(18, 0, world(pu), false);
      return;
    }
    const double a = Dot(pv, pv), b = 2 * Dot(pv, pu), disc = b * b - 4 * a * c;
    if (a < 1e-12 || disc < 0) return;
    const double t = (-b - std::sqrt(disc)) / (2 * a), k = Dot(Add(Mul(M, t), u), e) / ee;
    if (t >= 0 && t <= 1 && k > 0 && k < 1) take(2, t, world(perp(Add(Mul(M, t), u))), false);
  };
  auto vertex = [&](int i) {
    const D3 x = f[i];
    const double xx = Dot(x, x), vx = Dot(M, x);
    if (xx < r * r) {
      take(19, 0, world(Mul(x, -1)), false);
      return;
    }
    const double disc = vx * vx - VV * (xx - r * r);
    if (VV == 0 || disc < 0) return;
    const double t = (vx - std::sqrt(disc)) / VV;
    if (t >= 0 && t <= 1) take(3, t, world(Sub(Mul(M, t), x)), false);
  };
  const bool aOk = dA0 >= -r, bOk = p.quad && dB0 >= -r;
  if (aOk) edge(0, 1);
  edge(1, 2);
  if (aOk) edge(2, 0);
  if (bOk) edge(1, 3), edge(3, 2);
  if (aOk) vertex(0), vertex(1);
  if (bOk) vertex(3);
  vertex(2);
  return h;
}
}  // namespace

TEST_F(Hits, CastsMovesAndGroundQueriesEqualTheBruteForceReference) {
  for (unsigned seed : {1u, 2u, 3u}) {
    Write("rnd", RandomLevel(seed, 120, 12));
    bufpos = buf;
    ASSERT_NE(Load("rnd"), nullptr);
    Rng r(seed * 77);
    ZEVEC sc = {0, 3, 0};
    AddCollisionSphere(&sc, 1.0f);
    int hits = 0, kinds[32] = {};
    for (int q = 0; q < 1500; q++) {
      ZEVEC s = {r.U(-22, 22), r.U(-5, 5), r.U(-22, 22)};
      ZEVEC v = r.V(-3, 3);
      if (q % 5 == 0) v = {0, r.U(-6, -1), 0};
      if (q % 25 == 0) s = {r.U(-3, 3), r.U(-3, 6), r.U(-3, 3)}, v = {-s.x, 3 - s.y, -s.z};  // toward the sphere
      float rad = std::array<float, 4>{0.0f, 0.05f, 0.3f, 0.7f}[size_t(q % 4)];
      int mask = r.I(0, 15), skip = r.I(0, 1);
      SCOPED_TRACE(testing::Message() << "seed " << seed << " query " << q);
      TerrRefList = nullptr;
      CastOut a = DoCast(s, v, mask, skip, rad);
      TerrRefList = RefList(mask, skip ? 0x40 : 0);
      CastOut b = DoCast(s, v, mask, skip, rad);
      FreeRefs();
      ASSERT_EQ(a.type, b.type);
      if (a.type) {
        EXPECT_EQ(a.time, b.time);
      }
      ExpectNear(a.vec, b.vec, 1e-5f, "vector");
      if (a.type) ExpectNear(a.norm, b.norm, 1e-5f, "normal");
      hits += a.type != 0;
      kinds[a.type]++;
    }
    EXPECT_GT(hits, 200);
    EXPECT_GT(kinds[1] + kinds[17], 50);
    EXPECT_GT(kinds[2], 10);
    EXPECT_GT(kinds[3], 3);
    EXPECT_GT(kinds[4] + kinds[20], 0);
    // Moves.
    for (int q = 0; q < 400; q++) {
      ZEVEC p0 = {r.U(-22, 22), r.U(-4, 4), r.U(-22, 22)}, v0 = r.V(-1.5f, 1.5f);
      float rad = r.U(0.1f, 0.6f);
      SCOPED_TRACE(testing::Message() << "seed " << seed << " move " << q);
      ZEVEC pa = p0, va = v0, pb = p0, vb = v0;
      uint8_t ia[2] = {0, 0}, ib[2] = {0, 0};
      TerrainTrackFlush();
      NewTerrain(&pa, &va, ia, -1, 0, 0.001f, rad);
      int fa = terrhitflags;
      TerrainTrackFlush();
      TerrRefList = RefList(0, 0);
      NewTerrain(&pb, &vb, ib, -1, 0, 0.001f, rad);
      FreeRefs();
      ExpectNear(pa, pb, 1e-4f, "position");
      ExpectNear(va, vb, 1e-4f, "velocity");
      EXPECT_EQ(fa, terrhitflags);
      EXPECT_EQ(ia[0], ib[0]);
    }
    // Ground queries.
    for (int q = 0; q < 600; q++) {
      ZEVEC p = {r.U(-22, 22), r.U(-4, 4), r.U(-22, 22)};
      int mask = r.I(0, 15);
      float reach = r.U(0, 1.5f);
      float ha = NewShadow(&p, mask, 0, reach);
      int sa = shadhit, ea = eshadhit;
      ZEVEC na = ShadNorm;
      float eya = EShadY, rya = ShadRoofY;
      TerrRefList = RefList(0xFF, 0);
      float hb = NewShadow(&p, mask, 0, reach);
      FreeRefs();
      SCOPED_TRACE(testing::Message() << "seed " << seed << " ground " << q);
      ASSERT_EQ(ha, hb);
      EXPECT_EQ(sa, shadhit);
      EXPECT_EQ(ea, eshadhit);
      EXPECT_EQ(eya, EShadY);
      EXPECT_EQ(rya, ShadRoofY);
      ExpectNear(na, ShadNorm, 0, "normal");
    }
  }
}

// Casts against single polygons agree with the plain sweep in type, time and
// normal. A case the two decide apart must be a near tie (another contact
// the plain sweep found within 1e-4 of its best time), or be decided the
// engine's way by the plain sweep from a start or vector moved by 1e-4; such
// cases stay rare.
TEST_F(Hits, CastsAgreeWithThePlainSweep) {
  Rng r(4242);
  std::vector<TestItem> items;
  std::vector<TerrWritePoly> polys;
  for (int i = 0; i < 100; i++) {
    ZEVEC c = r.V(-2, 2), a = r.V(-2, 2), b = r.V(-2, 2);
    ZEVEC v1 = {c.x + a.x, c.y + a.y, c.z + a.z}, v2 = {c.x + b.x, c.y + b.y, c.z + b.z};
    TerrWritePoly p = i % 2 ? QPoly(c, v1, v2, {v1.x + b.x, v1.y + b.y, v1.z + b.z}) : TPoly(c, v1, v2);
    if (ZeVecMag(&p.na) < 0.5f) p = TPoly({-1, 0, -1}, {1, 0, -1}, {-1, 0, 1});
    polys.push_back(p);
    items.push_back(StaticItem({float(i % 10) * 40 - 200, r.U(-2, 2), float(i / 10) * 40 - 200}, {p}));
  }
  Write("plain", items);
  ASSERT_NE(Load("plain"), nullptr);
  auto agree = [](int type, double time, const ZEVEC& n, const PlainHit& h) {
    if (type != h.type) return false;
    if (!type) return true;
    return std::fabs(time - h.time) < 1e-4 && std::fabs(n.x - h.norm.x) < 1e-3 && std::fabs(n.y - h.norm.y) < 1e-3 &&
           std::fabs(n.z - h.norm.z) < 1e-3;
  };
  int kinds[32] = {}, apart = 0;
  const int trials = 6000;
  for (int q = 0; q < trials; q++) {
    const int i = r.I(0, 99);
    const TerrWritePoly& p = polys[size_t(i)];
    const ZEVEC at = items[size_t(i)].pos;
    // Toward a point of the polygon, give or take.
    const float u = r.U(0, 1), w = r.U(0, 1 - u);
    ZEVEC aim = {at.x + p.v[0].x + u * (p.v[1].x - p.v[0].x) + w * (p.v[2].x - p.v[0].x),
                 at.y + p.v[0].y + u * (p.v[1].y - p.v[0].y) + w * (p.v[2].y - p.v[0].y),
                 at.z + p.v[0].z + u * (p.v[1].z - p.v[0].z) + w * (p.v[2].z - p.v[0].z)};
    ZEVEC off = r.V(-3, 3), miss = r.V(-0.8f, 0.8f);
    const float rad = std::array<float, 4>{0.0f, 0.1f, 0.4f, 0.8f}[size_t(q % 4)];
    if (q % 8 >= 6) {
      // Starting within the radius of the face.
      const float d = rad * r.U(0.2f, 0.95f);
      off = {p.na.x * d, p.na.y * d, p.na.z * d};
    }
    if (q % 8 == 5) {
      // Starting within the radius of a vertex.
      const ZEVEC& corner = p.v[size_t(r.I(0, p.quad ? 3 : 2))];
      ZEVEC d = r.V(-1, 1);
      const float k = rad * r.U(0.3f, 0.95f) / std::max(ZeVecMag(&d), 1e-3f);
      aim = {at.x + corner.x, at.y + corner.y, at.z + corner.z};
      off = {d.x * k, d.y * k, d.z * k};
    }
    const ZEVEC s = {aim.x + off.x, aim.y + off.y, aim.z + off.z};
    const float reach = r.U(0.3f, 1.6f);
    const ZEVEC v = {(miss.x - off.x) * reach, (miss.y - off.y) * reach, (miss.z - off.z) * reach};
    ZEVEC cv = v;
    const int type = NewRayCastMask(&s, &cv, 0, 0, rad);
    const double time = TerI->hittime;
    const ZEVEC n = ShadNorm;
    kinds[type]++;
    const PlainHit h = PlainSweep(p, at, s, v, rad);
    if (agree(type, time, n, h)) continue;
    bool near = false;
    for (const PlainHit& f : h.found) near |= std::fabs(f.time - h.time) < 1e-4 && agree(type, time, n, f);
    for (int k = 0; k < 12 && !near; k++) {
      ZEVEC d = {0, 0, 0};
      (&d.x)[k % 3] = k % 6 < 3 ? 1e-4f : -1e-4f;
      ZEVEC s2 = s, v2 = v;
      if (k < 6) s2 = {s.x + d.x, s.y + d.y, s.z + d.z};
      else v2 = {v.x + d.x, v.y + d.y, v.z + d.z};
      near = agree(type, time, n, PlainSweep(p, at, s2, v2, rad));
    }
    if (near) {
      apart++;
      continue;
    }
    ADD_FAILURE() << "query " << q << " polygon " << i << " radius " << rad << ": type " << type << " time " << time
                  << " normal " << n.x << " " << n.y << " " << n.z << "; plain: type " << h.type << " time " << h.time
                  << " normal " << h.norm.x << " " << h.norm.y << " " << h.norm.z;
  }
  EXPECT_LT(apart, trials / 100);
  EXPECT_GT(kinds[1], 200);
  EXPECT_GT(kinds[17], 10);
  EXPECT_GT(kinds[2], 100);
  EXPECT_GT(kinds[3], 30);
  EXPECT_GT(kinds[18], 10);
  EXPECT_GT(kinds[19], 10);
  std::printf("plain sweep: %d decided apart within 1e-4 of %d; types 1:%d 2:%d 3:%d 17:%d 18:%d 19:%d\n", apart,
              trials, kinds[1], kinds[2], kinds[3], kinds[17], kinds[18], kinds[19]);
}

TEST_F(Hits, HandleCastsEqualPlainCasts) {
  Write("rnd", RandomLevel(9, 120, 12));
  ASSERT_NE(Load("rnd"), nullptr);
  Rng r(99);
  for (int q = 0; q < 300; q++) {
    NewScanInit();
    ZEVEC s = {r.U(-20, 20), r.U(-4, 4), r.U(-20, 20)};
    ZEVEC big = r.V(-4, 4);
    float rad = q % 3 == 0 ? 0.0f : 0.2f;
    TerrScanHandle h = NewScanHandel(&s, &big, 1, nullptr, rad);
    ASSERT_NE(h, nullptr);
    TerrScanHandle child = NewScanHandel(&s, &big, 1, h, rad);
    ASSERT_NE(child, nullptr);
    for (int k = 0; k < 4; k++) {
      float f = r.U(0, 1);
      ZEVEC v = {big.x * f, big.y * f, big.z * f};
      ZEVEC va = v, vb = v, vc = v;
      int a = NewRayCastSet(&s, &va, 1, 0, rad, 0.01f, 1e-5f);
      ZEVEC na = ShadNorm;
      int b = NewRayCastSetHandel(&s, &vb, h, 0, rad, 0.01f, 1e-5f);
      int c = NewRayCastSetHandel(&s, &vc, child, 0, rad, 0.01f, 1e-5f);
      SCOPED_TRACE(testing::Message() << "query " << q);
      if (a != b) {
        // The handle may hold more grouped polygons than mask 0 would
        // take, never fewer: it is gathered with mask 0xFF and the cast
        // applies its own.
        ADD_FAILURE() << a << " vs " << b;
      }
      EXPECT_EQ(b, c);
      ExpectNear(va, vb, 1e-6f, "vector");
      ExpectNear(vb, vc, 1e-6f, "vector (child)");
      if (a) ExpectNear(na, ShadNorm, 1e-6f, "normal");
    }
  }
  // The stack: a handle needs 404 bytes left.
  NewScanInit();
  ZEVEC s = {0, 0, 0}, v = {1, 0, 0};
  int made = 0;
  while (NewScanHandel(&s, &v, 0, nullptr, 0.1f)) made++;
  EXPECT_GT(made, 10);
  ZEVEC vv = v;
  EXPECT_EQ(NewRayCastSetHandel(&s, &vv, nullptr, 0, 0.1f, 0.01f, 1e-5f), 0);
  NewScanInit();
  EXPECT_NE(NewScanHandel(&s, &v, 0, nullptr, 0.1f), nullptr);
}

TEST_F(Hits, FaceTiesGroupMasksAndEdges) {
  // Two items in one place: a floor triangle (surface 1) and a floor quad
  // (surface 2) in the same plane. A later A face wins a tie, a later B
  // face does not.
  TerrWritePoly tri = TPoly({-2, 0, -2}, {2, 0, -2}, {-2, 0, 2}, 1);
  tri.v[2] = {-2, 0, 2};
  TestItem a = StaticItem({}, {QPoly({-2, 0, -2}, {2, 0, -2}, {-2, 0, 2}, {2, 0, 2}, 1)});
  TestItem b = StaticItem({}, {QPoly({-2, 0, -2}, {2, 0, -2}, {-2, 0, 2}, {2, 0, 2}, 2)});
  TestItem g = StaticItem({10, 0, 0}, {Floor(0, 0, 1, 0, 5, 4)});
  Write("ties", {a, b, g});
  ASSERT_NE(Load("ties"), nullptr);
  struct Case {
    const char* what;
    ZEVEC start, vec;
    float r;
    int mask, type, surface;
  } cases[] = {
      {"A face tie: the later polygon", {-1, 1, -1}, {0, -2, 0}, 0, 0, 1, 2},
      {"B face tie: the earlier polygon", {1, 1, 1}, {0, -2, 0}, 0, 0, 1, 1},
      {"radius 0 through the shared edge hits a face", {0, 1, 0}, {0, -2, 0}, 0, 0, 1, 2},
      {"sphere on the shared edge: a face", {0.5f, 1, -0.5f}, {0, -2, 0}, 0.2f, 0, 1, 2},
      {"grouped polygon, mask shares no bit", {10, 1, 0}, {0, -2, 0}, 0, 2, 0, -1},
      {"grouped polygon, mask shares a bit", {10, 1, 0}, {0, -2, 0}, 0, 6, 1, 5},
      {"edge of the grouped polygon", {11.5f, 1, 0}, {-0.2f, -2, 0}, 0.6f, 4, 2, 5},
      {"vertex", {11.3f, 1, 1.3f}, {0, -2, 0}, 0.5f, 4, 3, 5},
      {"starts touching", {-1, 0.2f, -1}, {0, -1, 0}, 0.3f, 0, 17, 2},
      // Within the radius of corner vertex 3 but beyond the ends of both
      // its edges: the vertex, not an edge.
      {"starts touching a corner", {11.2f, 0.1f, 1.2f}, {0, -1, 0}, 0.5f, 4, 19, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ZEVEC v = c.vec;
    int type = NewRayCastMask(&c.start, &v, c.mask, 0, c.r);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(TerrainInfo(), c.surface);
    if (type == 17) ExpectNear(v, {0, 0, 0}, 0, "a touching hit zeroes the vector");
  }
  // Moves pass mask 0: the grouped polygon is never solid for them.
  ZEVEC p = {10, 0.5f, 0}, vel = {0, -1, 0};
  uint8_t info[2] = {};
  NewTerrain(&p, &vel, info, -1, 0, 0, 0.25f);
  EXPECT_NEAR(p.y, -0.5f, 1e-5f);
  EXPECT_EQ(terrhitflags, 0);
  // TerrainPolyEdge: after a face hit it returns 1 and writes nothing;
  // after an edge hit the edge's world end points.
  ZEVEC e1 = {7, 7, 7}, e2 = e1, s = {-1, 1, -1}, v = {0, -2, 0};
  NewRayCast(&s, &v, 0, 0);
  EXPECT_EQ(TerrainPolyEdge(&e1, &e2), 1);
  ExpectNear(e1, {7, 7, 7}, 0, "untouched");
  s = {11.5f, 1, 0}, v = {-0.2f, -2, 0};
  ASSERT_EQ(NewRayCastMask(&s, &v, 4, 0, 0.6f), 2);
  EXPECT_EQ(TerrainPolyEdge(&e1, &e2), 2);
  EXPECT_FLOAT_EQ(std::max(e1.x, e2.x), 11);
  EXPECT_FLOAT_EQ(std::fabs(e1.z - e2.z), 2);
}

// The end of the motion relative to an item is position + vector, then
// minus the item: made the other way round it differs by an ulp, which here
// decides whether the end reaches within the tolerance of the floor.
TEST_F(Hits, EndRelativeToTheItemIsTheMotionsEndMinusTheItem) {
  Write("ulp", {StaticItem({0, 0.3f, 0}, {Floor(0, 0, 2)})});
  ASSERT_NE(Load("ulp"), nullptr);
  const ZEVEC s = {0, 1.31f, 0};
  ZEVEC v = {0, -1.00998998f, 0};
  const float end = (s.y + v.y) - 0.3f;
  ASSERT_LT(end - 1e-5f, 0.0f) << "the end lies within the tolerance";
  ASSERT_GE((s.y - 0.3f) + v.y - 1e-5f, 0.0f) << "the other order would not";
  EXPECT_EQ(NewRayCast(&s, &v, 0, 0), 1);
}

TEST_F(Hits, CollisionSphereNormalIsUnitForARay) {
  Write("empty", {StaticItem({50, 0, 50}, {Floor(0, 0, 1)})});
  ASSERT_NE(Load("empty"), nullptr);
  ZEVEC c = {0, 0, 0};
  AddCollisionSphere(&c, 1.0f);
  for (float r : {0.0f, 0.25f}) {
    SCOPED_TRACE(r);
    ZEVEC s = {-3, r, 0.5f}, v = {4, 0, 0};  // the sphere is taken r lower
    int type = NewRayCast(&s, &v, 0, r);
    ASSERT_EQ(type, 4);
    EXPECT_FALSE(std::isnan(ShadNorm.x) || std::isnan(ShadNorm.y) || std::isnan(ShadNorm.z));
    EXPECT_NEAR(ZeVecMag(&ShadNorm), 1.0f, 1e-5f);
    EXPECT_LT(ShadNorm.x, 0);
    EXPECT_TRUE(terrhitflags & 4);
    EXPECT_EQ(TerrPolyObj, -1);
  }
  for (int i = 0; i < 20; i++) AddCollisionSphere(&c, 1.0f);
  EXPECT_EQ(curSphereter, 16);
}

TEST_F(Hits, GroundQueries) {
  TestItem ground = StaticItem({}, {Floor(0, 0, 4, 0, 3)});
  TestItem step = StaticItem({}, {Floor(0, 0, 1, 0.3f, 4)});
  TestItem water = StaticItem({20, 0, 0}, {Floor(0, 0, 4, 1.0f, 0, 6), Floor(0, 0, 4, -2.0f, 8)});
  // Coincident triangles, up and down, above the point.
  TestItem roof = StaticItem({-20, 0, 0}, {Floor(0, 0, 2, 0.2f, 5), QPoly({-2, 0.2f, -2}, {-2, 0.2f, 2}, {2, 0.2f, -2}, {2, 0.2f, 2}, 6),
                                           Floor(0, 0, 2, -1, 7)});
  Write("ground", {ground, step, water, roof});
  ASSERT_NE(Load("ground"), nullptr);
  ZEVEC p = {0.2f, 0, 0.2f};
  EXPECT_FLOAT_EQ(NewShadow(&p, 0, 0, 0.5f), 0.3f) << "a step up within reach";
  EXPECT_EQ(shadhit, 1);
  EXPECT_EQ(ShadowInfo(), 4);
  EXPECT_FLOAT_EQ(NewShadow(&p, 0, 0, 0.2f), 0.0f) << "out of reach: the floor below";
  EXPECT_EQ(shadhit, 2);
  EXPECT_EQ(castnum, 0);
  EXPECT_FLOAT_EQ(NewShadowEx(&p, 0, 0, 0, 2), 0.0f) << "floor reach 0: no step up";
  p = {3, 0.1f, 3};
  NewShadow(&p, 0, 0, 0.5f);
  EXPECT_EQ(shadhit, 2);
  EXPECT_EQ(ShadRoofPoly, nullptr);
  p = {-20, 0, 0};
  EXPECT_FLOAT_EQ(NewShadow(&p, 0, 0, 0.5f), -1.0f) << "the downward one is the roof: no step up";
  EXPECT_EQ(shadroofhit, 1);
  EXPECT_FLOAT_EQ(ShadRoofY, 0.2f);
  EXPECT_EQ(ShadowRoofInfo(), 6);
  p = {20, 0, 0};
  EXPECT_FLOAT_EQ(NewShadow(&p, 0, 0, 0.5f), -2.0f) << "the sea bed";
  EXPECT_EQ(ShadowInfo(), 8);
  EXPECT_FLOAT_EQ(EShadY, 2000000.0f) << "the water is 1 above: beyond reach 0.5";
  EXPECT_FLOAT_EQ(NewShadowEx(&p, 0, 0, 0, 2), -2.0f);
  EXPECT_FLOAT_EQ(EShadY, 1.0f) << "the second set steps up by the roof reach";
  EXPECT_EQ(eshadhit, 1);
  EXPECT_EQ(EShadowInfo(), 6);
  p.y = 3;
  NewShadow(&p, 0, 0, 0.5f);
  EXPECT_FLOAT_EQ(EShadY, 1.0f);
  EXPECT_EQ(eshadhit, 2);
  // The cached column: filled once around the point, reused within 1.
  TerrSet* set = CurTerr;
  p = {0.5f, 0, 0.5f};
  NewScan(&p, 0, 0);
  int used = 0;
  for (auto& c : set->columns) used += c.life > 0;
  EXPECT_EQ(used, 1);
  const TerrColumnCache* filled = nullptr;
  for (auto& c : set->columns)
    if (c.life) filled = &c;
  EXPECT_EQ(filled->life, 8);
  EXPECT_FLOAT_EQ(filled->x, 0.5f);
  TerrListHeader h;
  memcpy(&h, TerI->list, 4);
  EXPECT_EQ(h.count, 1) << "the ground under the point";
  p = {1.2f, 0, 0.1f};
  NewScan(&p, 0, 0);
  used = 0;
  for (auto& c : set->columns) used += c.life > 0;
  EXPECT_EQ(used, 1) << "reused";
  p = {9, 0, 9};
  NewScan(&p, 0, 0);
  used = 0;
  for (auto& c : set->columns) used += c.life > 0;
  EXPECT_EQ(used, 2);
  p = {100, 0, 100};
  EXPECT_FLOAT_EQ(NewShadow(&p, 0, 0, 0.5f), TERR_NO_HEIGHT);
  EXPECT_EQ(shadhit, 3);
  EXPECT_EQ(ShadowInfo(), -1);
  noterraininit();
  EXPECT_FLOAT_EQ(NewShadow(&p, 0, 0, 0.5f), TERR_NO_HEIGHT);
  ZEVEC v = {0, -3, 0};
  EXPECT_EQ(NewRayCast(&p, &v, 0, 0), 0);
  EXPECT_FLOAT_EQ(v.y, -3) << "no set: the vector is left";
  EXPECT_EQ(NewScanHandel(&p, &v, 1, nullptr, 0), nullptr);
}

TEST_F(Hits, NearCameraListOverflowFallsBackToTheBuckets) {
  std::vector<TestItem> items;
  for (int i = 0; i < 60; i++) items.push_back(StaticItem({float(i) * 0.05f, 0, 0}, {Floor(0, 0, 0.02f)}));
  Write("crowd", items);
  TerrSet* set = Load("crowd");
  ASSERT_NE(set, nullptr);
  ZEMTX cam;
  ZeMtxSetIdentity(&cam);
  cam.m[3][0] = 1.5f, cam.m[3][1] = 1;
  global_camera.mtx = cam;
  TerrainPlatformNewUpdate();
  EXPECT_EQ(set->nnearcam, TERR_NEARCAM + 1) << "marked as overflowed";
  ZEVEC s = {59 * 0.05f, 0.5f, 0}, v = {0, -1, 0};
  EXPECT_EQ(NewRayCast(&s, &v, 0, 0), 1) << "the 60th item is still found";
  EXPECT_EQ(TerrPolyObj, 59);
}
