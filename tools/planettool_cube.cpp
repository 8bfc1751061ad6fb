// The cube plate grid's writer: six faces split into four per level on the
// unit sphere, shared edge midpoints, centres where the plate's two middle
// great circles cross, bounding cones, planes and neighbours.
#include "planettool.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

namespace {

struct D3 {
  double x, y, z;
};
D3 Of(const ZEVEC& v) { return {v.x, v.y, v.z}; }
D3 Add(D3 a, D3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
D3 Sub(D3 a, D3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
D3 Cross(D3 a, D3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Dot(D3 a, D3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
D3 Unit(D3 a) {
  double l = std::sqrt(Dot(a, a));
  return {a.x / l, a.y / l, a.z / l};
}
ZEVEC Float(D3 a) { return {float(a.x), float(a.y), float(a.z)}; }

constexpr float K = 0.57735026f;
// The faces in the fractal patches' order, corners in grid order (u
// along corner 0-1, v along corner 0-2).
constexpr float FACE[6][4][3] = {
    {{-K, -K, K}, {K, -K, K}, {-K, K, K}, {K, K, K}},
    {{-K, -K, -K}, {K, -K, -K}, {-K, K, -K}, {K, K, -K}},
    {{K, -K, -K}, {K, K, -K}, {K, -K, K}, {K, K, K}},
    {{-K, -K, -K}, {-K, K, -K}, {-K, -K, K}, {-K, K, K}},
    {{-K, K, -K}, {K, K, -K}, {-K, K, K}, {K, K, K}},
    {{-K, -K, -K}, {K, -K, -K}, {-K, -K, K}, {K, -K, K}},
};

struct Builder {
  CubeModel m;
  std::map<std::pair<int, int>, int> mids;     // edge (lower, higher point) -> midpoint
  std::map<std::pair<float, float>, int> uvs;  // (u, v) -> pair
  std::vector<std::vector<std::pair<float, float>>> params;  // per level, per plate: 4 corner (u, v)

  int Point(const ZEVEC& p) {
    for (size_t i = 0; i < m.points.size(); i++)
      if (!memcmp(&m.points[i], &p, sizeof p)) return int(i);
    m.points.push_back(p);
    return int(m.points.size() - 1);
  }
  // normalise(a + b), as stored.
  ZEVEC MidPoint(int a, int b) const { return Float(Unit(Add(P(a), P(b)))); }
  int Mid(int a, int b) {
    auto key = std::make_pair(std::min(a, b), std::max(a, b));
    auto it = mids.find(key);
    if (it != mids.end()) return it->second;
    m.points.push_back(MidPoint(a, b));
    return mids[key] = int(m.points.size() - 1);
  }
  int Pair(float u, float v) {
    auto key = std::make_pair(u, v);
    auto it = uvs.find(key);
    if (it != uvs.end()) return it->second;
    m.pairs.push_back(u);
    m.pairs.push_back(v);
    return uvs[key] = int(m.pairs.size() / 2 - 1);
  }
  D3 P(int i) const { return Of(m.points[size_t(i)]); }
  // Where the great circles M30-M12 and M01-M23 cross, on the plate's side.
  D3 Centre(const int* c) const {
    D3 e[4];
    for (int k = 0; k < 4; k++) e[k] = Of(MidPoint(c[k], c[(k + 1) & 3]));
    D3 n1 = Cross(e[3], e[1]), n2 = Cross(e[0], e[2]);
    D3 d = Unit(Cross(n1, n2));
    D3 s = Add(Add(P(c[0]), P(c[1])), Add(P(c[2]), P(c[3])));
    return Dot(d, s) < 0 ? D3{-d.x, -d.y, -d.z} : d;
  }
  // Edge midpoints 01, 12, 23, 30.
  void Edges(const int* c, int* e) {
    for (int k = 0; k < 4; k++) e[k] = Mid(c[k], c[(k + 1) & 3]);
  }
};

}  // namespace

CubeModel CubeBuild(int levels) {
  Builder b;
  b.m.levels.resize(size_t(levels));
  b.params.resize(size_t(levels));
  // Level 0: corner order counter-clockwise from outside; faces 1, 3 and 4
  // run inward in grid order, so their order turns the other way.
  for (int f = 0; f < 6; f++) {
    static constexpr int OUT[4] = {0, 1, 3, 2}, IN[4] = {0, 2, 3, 1};
    const int* order = (f == 1 || f == 3 || f == 4) ? IN : OUT;
    CubeModelPlate p{};
    std::vector<std::pair<float, float>> uv;
    for (int k = 0; k < 4; k++) {
      const float* c = FACE[f][order[k]];
      p.point[k] = b.Point({c[0], c[1], c[2]});
      float u = float(order[k] & 1), v = float(order[k] >> 1);
      p.uv[k] = b.Pair(u, v);
      b.params[0].push_back({u, v});
    }
    b.m.levels[0].push_back(p);
  }
  // Children: child k is the quarter holding corner k.
  for (int l = 1; l < levels; l++) {
    auto& parent = b.m.levels[size_t(l - 1)];
    for (size_t pi = 0; pi < parent.size(); pi++) {
      int c[4], e[4];
      memcpy(c, parent[pi].point, sizeof c);
      b.Edges(c, e);
      b.m.points.push_back(Float(b.Centre(c)));
      int mc = int(b.m.points.size() - 1);
      const auto* q = &b.params[size_t(l - 1)][pi * 4];
      auto mid = [](std::pair<float, float> a, std::pair<float, float> z) {
        return std::make_pair((a.first + z.first) * 0.5f, (a.second + z.second) * 0.5f);
      };
      auto centre = mid(mid(q[0], q[1]), mid(q[2], q[3]));
      const int kids[4][4] = {{c[0], e[0], mc, e[3]}, {e[0], c[1], e[1], mc}, {mc, e[1], c[2], e[2]}, {e[3], mc, e[2], c[3]}};
      const std::pair<float, float> kuv[4][4] = {{q[0], mid(q[0], q[1]), centre, mid(q[3], q[0])},
                                                 {mid(q[0], q[1]), q[1], mid(q[1], q[2]), centre},
                                                 {centre, mid(q[1], q[2]), q[2], mid(q[2], q[3])},
                                                 {mid(q[3], q[0]), centre, mid(q[2], q[3]), q[3]}};
      for (int k = 0; k < 4; k++) {
        CubeModelPlate p{};
        for (int j = 0; j < 4; j++) {
          p.point[j] = kids[k][j];
          p.uv[j] = b.Pair(kuv[k][j].first, kuv[k][j].second);
          b.params[size_t(l)].push_back(kuv[k][j]);
        }
        b.m.levels[size_t(l)].push_back(p);
      }
    }
  }
  // Centres, cones, planes and neighbours on every level.
  for (auto& level : b.m.levels) {
    std::map<std::pair<int, int>, std::vector<int>> edges;
    for (size_t i = 0; i < level.size(); i++)
      for (int k = 0; k < 4; k++) {
        int a = level[i].point[k], z = level[i].point[(k + 1) & 3];
        edges[{std::min(a, z), std::max(a, z)}].push_back(int(i));
      }
    for (size_t i = 0; i < level.size(); i++) {
      CubeModelPlate& p = level[i];
      D3 c = b.Centre(p.point);
      p.centre = Float(c);
      double least = 1.0;
      for (int k = 0; k < 4; k++) least = std::min(least, Dot(Of(p.centre), b.P(p.point[k])));
      p.cone = float(least) - CUBE_CONE_MARGIN;
      D3 n = Unit(Cross(Sub(b.P(p.point[2]), b.P(p.point[0])), Sub(b.P(p.point[3]), b.P(p.point[1]))));
      double d = 0;
      for (int k = 0; k < 4; k++) d -= Dot(n, b.P(p.point[k])) / 4;
      p.plane = {float(n.x), float(n.y), float(n.z), float(d)};
      for (int k = 0; k < 4; k++) {
        int a = p.point[k], z = p.point[(k + 1) & 3];
        for (int other : edges[{std::min(a, z), std::max(a, z)}])
          if (other != int(i)) p.neighbour[k] = other;
      }
    }
  }
  return b.m;
}

std::vector<uint8_t> CubeImage(const CubeModel& m) {
  auto align = [](size_t n) { return (n + 15) & ~size_t(15); };
  const size_t nlevels = m.levels.size();
  size_t levelOff = 32;
  size_t pointOff = align(levelOff + nlevels * sizeof(FRCUBELEVEL));
  size_t pairOff = align(pointOff + m.points.size() * sizeof(ZEVEC));
  size_t plateOff = align(pairOff + m.pairs.size() * sizeof(float));
  std::vector<size_t> plates;
  size_t end = plateOff;
  for (auto& l : m.levels) {
    plates.push_back(end);
    end = align(end + l.size() * sizeof(FRCUBEPLATE));
  }
  std::vector<uint8_t> out(end);
  auto put32 = [&](size_t at, uint32_t v) { memcpy(&out[at], &v, 4); };
  put32(0, uint32_t(m.points.size()));
  put32(4, uint32_t(pointOff));
  put32(8, uint32_t(m.pairs.size() / 2));
  put32(12, uint32_t(pairOff));
  put32(16, uint32_t(nlevels));
  put32(20, uint32_t(levelOff));
  for (size_t l = 0; l < nlevels; l++) {
    put32(levelOff + l * 16 + 0, uint32_t(l));
    put32(levelOff + l * 16 + 4, uint32_t(m.levels[l].size()));
    put32(levelOff + l * 16 + 12, uint32_t(plates[l]));
    for (size_t i = 0; i < m.levels[l].size(); i++) {
      const CubeModelPlate& p = m.levels[l][i];
      FRCUBEPLATE r{};
      for (int k = 0; k < 4; k++) {
        r.point[k] = uint16_t(p.point[k]);
        r.uv[k] = uint16_t(p.uv[k]);
        r.neighbour[k] = uint16_t(p.neighbour[k]);
      }
      r.centre = p.centre;
      r.cone = p.cone;
      r.plane = p.plane;
      memcpy(&out[plates[l] + i * sizeof r], &r, sizeof r);
    }
  }
  memcpy(&out[pointOff], m.points.data(), m.points.size() * sizeof(ZEVEC));
  memcpy(&out[pairOff], m.pairs.data(), m.pairs.size() * sizeof(float));
  return out;
}

bool PlanetToolWrite(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  f.close();
  if (f) return true;
  std::error_code ec;
  std::filesystem::remove(path, ec);
  return false;
}
