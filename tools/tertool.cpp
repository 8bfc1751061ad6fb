// tertool: collision files (".ter") from a line-based description, written
// through the engine's collision writer, and listed through its loader. A
// description may take its polygons from a scene (the scene tool's
// description, glTF or Wavefront OBJ, read by the scene tool's readers).
//   tertool make <description> <out.ter> [--pickup]
//   tertool info <file.ter> [--pickup] [--instances=N] [--polygons]
// The description's grammar is in docs/gamelib.md.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "gamelib.h"
#include "scenewrite.h"
#include "zecore.h"
#include "zeps2.h"
#include "toolhalt.h"

namespace fs = std::filesystem;

namespace {

constexpr float kCell = 4.0f;        // group cell, units
constexpr float kItemCell = 16.0f;   // item cell of a split static instance
constexpr float kItemCellMax = 65536.0f;  // widest item cell tried
constexpr int kGroupPolys = 64;
constexpr float kSegment = 32.0f;    // longest wall segment

struct Attr {
  int surface = 0, group = 0, wall = 0, crush = 0, skip = 0;
};

struct Instance {
  int kind = 0;  // 0 static, 1 platform
  int id = 0;
  uint32_t platword = 0;
  std::vector<TerrWritePoly> tris, polys;
};

struct Desc {
  int flags = 0;
  fs::path dir;           // the description's directory
  bool scene = false;     // a scene was read
  SceneDesc sd;
  std::vector<Instance> inst;
  std::vector<std::vector<ZEVEC>> splines;
  std::map<uint32_t, std::vector<uint8_t>> crash;  // shapes per scene instance
  std::map<uint32_t, int> crashcount;
  std::map<uint32_t, float> crashradius;
  std::map<uint32_t, int> crashboxes;
};

ZEVEC Normal(const ZEVEC& a, const ZEVEC& b, const ZEVEC& c) {
  ZEVEC e1 = {c.x - a.x, c.y - a.y, c.z - a.z}, e2 = {b.x - a.x, b.y - a.y, b.z - a.z}, n;
  ZeVecCross(&n, &e1, &e2);
  float l = ZeVecMag(&n);
  return l > 0 ? ZEVEC{n.x / l, n.y / l, n.z / l} : ZEVEC{0, 0, 0};
}

TerrWritePoly Make(const ZEVEC* v, int quad, const Attr& a) {
  TerrWritePoly p{};
  for (int k = 0; k < 4; k++) p.v[k] = v[quad || k < 3 ? k : 2];
  p.quad = quad;
  p.na = Normal(v[0], v[1], v[2]);
  if (quad) p.nb = Normal(v[3], v[2], v[1]);
  int surface = a.surface & 0x7F, group = a.group;
  if (a.skip) surface |= 0x80;
  if (a.wall) group = 0xEF + a.wall;
  if (a.crush) group = surface & 0x7F, surface = 0xFF;
  p.surface = uint8_t(surface), p.group = uint8_t(group);
  return p;
}

// Pairs of coplanar triangles sharing an edge become quads (A = 0 1 2,
// B = 3 2 1) when the outline 0 1 3 2 is convex. Triangles are found by
// their directed edges; each pairs with the first later triangle that fits
// across its longest edge first (the diagonal of a grid's square).
void MergeQuads(Instance* in) {
  std::vector<TerrWritePoly>& t = in->tris;
  using Edge = std::array<float, 6>;
  auto edge = [](const ZEVEC& a, const ZEVEC& b) { return Edge{a.x, a.y, a.z, b.x, b.y, b.z}; };
  std::map<Edge, std::vector<std::pair<size_t, int>>> edges;  // triangle, rotation
  for (size_t j = 0; j < t.size(); j++)
    for (int s = 0; s < 3; s++) edges[edge(t[j].v[(s + 1) % 3], t[j].v[(s + 2) % 3])].push_back({j, s});
  std::vector<bool> used(t.size());
  for (size_t i = 0; i < t.size(); i++) {
    if (used[i]) continue;
    bool merged = false;
    std::array<std::pair<float, int>, 3> longest;
    for (int r = 0; r < 3; r++) {
      ZEVEC e;
      ZeVecSub(&e, &t[i].v[(r + 2) % 3], &t[i].v[(r + 1) % 3]);
      longest[size_t(r)] = {-ZeVecMag(&e), r};
    }
    std::stable_sort(longest.begin(), longest.end());
    for (auto [len, r] : longest) {
      if (merged) break;
      ZEVEC v0 = t[i].v[r], v1 = t[i].v[(r + 1) % 3], v2 = t[i].v[(r + 2) % 3];
      auto found = edges.find(edge(v2, v1));
      if (found == edges.end()) continue;
      for (auto [j, s] : found->second) {
        if (j <= i || used[j] || t[j].surface != t[i].surface || t[j].group != t[i].group) continue;
        if (ZeVecDot(&t[i].na, &t[j].na) < 0.99999f) continue;
        ZEVEC q[4] = {v0, v1, v2, t[j].v[s]};
        const int ring[4] = {0, 1, 3, 2};
        bool convex = true;
        for (int k = 0; k < 4; k++) {
          const ZEVEC &a = q[ring[k]], &b = q[ring[(k + 1) % 4]], &c = q[ring[(k + 2) % 4]];
          ZEVEC n = Normal(a, b, c);
          if (ZeVecDot(&n, &t[i].na) < 0.999f) convex = false;
        }
        if (!convex) continue;
        TerrWritePoly p = t[i];
        for (int k = 0; k < 4; k++) p.v[k] = q[k];
        p.quad = 1;
        p.na = Normal(q[0], q[1], q[2]);
        p.nb = Normal(q[3], q[2], q[1]);
        in->polys.push_back(p);
        used[i] = used[j] = true;
        merged = true;
        break;
      }
    }
    if (!merged) in->polys.push_back(t[i]);
  }
  t.clear();
}

void Box(Instance* in, ZEVEC lo, ZEVEC hi, const Attr& a) {
  ZEVEC c = {(lo.x + hi.x) / 2, (lo.y + hi.y) / 2, (lo.z + hi.z) / 2};
  ZEVEC h = {(hi.x - lo.x) / 2, (hi.y - lo.y) / 2, (hi.z - lo.z) / 2};
  // For each face: the normal axis and two axes u, w with w x u = n.
  struct F { ZEVEC n, u, w; };
  const F faces[6] = {{{0, 1, 0}, {1, 0, 0}, {0, 0, 1}},  {{0, -1, 0}, {0, 0, 1}, {1, 0, 0}},
                      {{1, 0, 0}, {0, 0, 1}, {0, 1, 0}},  {{-1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
                      {{0, 0, 1}, {0, 1, 0}, {1, 0, 0}},  {{0, 0, -1}, {1, 0, 0}, {0, 1, 0}}};
  for (const F& f : faces) {
    ZEVEC fc = {c.x + f.n.x * h.x, c.y + f.n.y * h.y, c.z + f.n.z * h.z};
    ZEVEC u = {f.u.x * h.x, f.u.y * h.y, f.u.z * h.z}, w = {f.w.x * h.x, f.w.y * h.y, f.w.z * h.z};
    ZEVEC v[4] = {{fc.x - u.x - w.x, fc.y - u.y - w.y, fc.z - u.z - w.z},
                  {fc.x + u.x - w.x, fc.y + u.y - w.y, fc.z + u.z - w.z},
                  {fc.x - u.x + w.x, fc.y - u.y + w.y, fc.z - u.z + w.z},
                  {fc.x + u.x + w.x, fc.y + u.y + w.y, fc.z + u.z + w.z}};
    in->polys.push_back(Make(v, 1, a));
  }
}

template <class T>
void Put(std::vector<uint8_t>* out, const T& v) {
  const auto* b = reinterpret_cast<const uint8_t*>(&v);
  out->insert(out->end(), b, b + sizeof v);
}

constexpr float kFar = 1e6f;  // the farthest coordinate taken

bool InRange(float v) { return std::isfinite(v) && std::fabs(v) <= kFar; }

bool g_engine = false;  // the engine's parts the scene readers need, started

// The scene a description names: the scene tool's description, glTF, or a
// Wavefront OBJ file (one object, one instance at the origin).
bool ReadScene(Desc* d, const std::string& name, std::string* why) {
  if (d->scene) return *why = "one scene a description", false;
  if (!g_engine) SceneEngineInit(), g_engine = true;
  const fs::path path = d->dir / name;
  const std::string ext = path.extension().string();
  d->scene = true;
  if (ext == ".gltf" || ext == ".glb") return SceneReadGltf(path.c_str(), &d->sd, why);
  if (ext != ".obj") return SceneReadDescription(path.c_str(), &d->sd, why);
  SceneObject o;
  if (!SceneReadObj(path.c_str(), &d->sd, &o, 0xffffffff, why)) return false;
  d->sd.objects.push_back(std::move(o));
  SceneInstance in;
  ZeMtxSetIdentity(&in.mtx);
  d->sd.instances.push_back(in);
  return true;
}

// The scene instances a word names: an index, or (with a scene) every
// instance of the specials of that name. Without a scene an index is taken
// as it stands (below `limit`).
bool Refs(const Desc& d, const std::string& w, long limit, std::vector<int>* out, std::string* why) {
  out->clear();
  char* e;
  long n = strtol(w.c_str(), &e, 10);
  if (!w.empty() && *e == 0) {
    if (n < 0 || n >= (d.scene ? long(d.sd.instances.size()) : limit))
      return *why = "no scene instance " + w, false;
    out->push_back(int(n));
    return true;
  }
  for (const SceneSpecial& sp : d.sd.specials)
    if (sp.name == w) out->push_back(sp.instance);
  if (out->empty()) return *why = "no scene instance named \"" + w + "\"", false;
  return true;
}

// The triangles of a scene instance's mesh, with the attributes given: in
// the world (how 0), as world-oriented offsets from the instance's place
// (how 1) or in the instance's own frame (how 2). The scene's front faces
// wind the other way from the description's "tri" (normal (v1 - v0) x
// (v2 - v0)), so each triangle is written as 0 2 1. Triangles without area
// (strip joins) are left out; coordinates past a million units are refused.
bool MeshTris(const SceneDesc& sd, int inst, int how, const Attr& a, std::vector<TerrWritePoly>* out,
              std::string* why) {
  const SceneInstance& in = sd.instances[size_t(inst)];
  if (in.object < 0 || size_t(in.object) >= sd.objects.size() || sd.objects[size_t(in.object)].kind != ZEGOBJ_MESH)
    return *why = "scene instance " + std::to_string(inst) + " has no mesh", false;
  bool far = false;
  for (const SceneGeom& g : sd.objects[size_t(in.object)].geoms) {
    auto tri = [&](int i0, int i1, int i2) {
      const int n = int(g.vtx.size());
      if (i0 < 0 || i1 < 0 || i2 < 0 || i0 >= n || i1 >= n || i2 >= n) return false;
      ZEVEC v[3];
      const int order[3] = {i0, i2, i1};
      for (int k = 0; k < 3; k++) {
        const ZEVEC& p = g.vtx[size_t(order[k])].pos;
        if (how == 0) ZeVecMtxTransform(&v[k], &p, &in.mtx);
        else if (how == 1) ZeVecMtxRotate(&v[k], &p, &in.mtx);
        else v[k] = p;
      }
      for (const ZEVEC& p : v)
        if (!InRange(p.x) || !InRange(p.y) || !InRange(p.z)) return far = true, false;
      TerrWritePoly t = Make(v, 0, a);
      if (ZeVecMag(&t.na) > 0) out->push_back(t);
      return true;
    };
    const std::vector<int16_t>& x = g.idx;
    bool ok = true;
    if (g.primtype == ZEPRIM_IDXLIST) {
      for (size_t k = 0; ok && k + 2 < x.size(); k += 3) ok = tri(x[k], x[k + 1], x[k + 2]);
    } else {
      // Strips: a count, then its indices; every other triangle turned.
      for (size_t k = 0; ok && k < x.size(); k += size_t(x[k]) + 1) {
        if (x[k] < 0 || k + size_t(x[k]) >= x.size()) ok = false;
        for (int j = 0; ok && j + 2 < x[k]; j++)
          ok = j % 2 ? tri(x[k + j + 2], x[k + j + 1], x[k + j + 3]) : tri(x[k + j + 1], x[k + j + 2], x[k + j + 3]);
      }
    }
    if (!ok)
      return *why = "scene instance " + std::to_string(inst) + (far ? ": coordinate out of range" : ": index out of range"),
             false;
  }
  return true;
}

// One crash shape of a scene instance: sphere VALUE x y z r, cylinder VALUE
// x y z height r, cube VALUE x0 y0 z0 x1 y1 z1 (in the instance's frame);
// the entry's radius reaches the farthest point of every shape.
void AddShape(Desc* d, uint32_t inst, const std::string& w, const std::vector<float>& n) {
  std::vector<uint8_t>& out = d->crash[inst];
  uint32_t value = uint32_t(n[0]);
  float reach;
  if (w == "sphere") {
    Put(&out, uint32_t(1)), Put(&out, value);
    for (int k = 1; k <= 4; k++) Put(&out, n[size_t(k)]);
    reach = std::hypot(n[1], n[2], n[3]) + n[4];
  } else if (w == "cylinder") {
    Put(&out, uint32_t(3)), Put(&out, value);
    for (int k = 1; k <= 5; k++) Put(&out, n[size_t(k)]);
    reach = std::hypot(n[1], n[2], n[3]) + n[4] + n[5];
  } else {
    Put(&out, uint32_t(2)), Put(&out, value);
    ZEMTX m;
    ZeMtxSetIdentity(&m);
    Put(&out, m);
    for (int k = 1; k <= 6; k++) Put(&out, n[size_t(k)]);
    // The farthest corner takes the larger magnitude on each axis.
    reach = std::hypot(std::max(std::fabs(n[1]), std::fabs(n[4])), std::max(std::fabs(n[2]), std::fabs(n[5])),
                       std::max(std::fabs(n[3]), std::fabs(n[6])));
    d->crashboxes[inst] = 1;
  }
  d->crashcount[inst]++;
  d->crashradius[inst] = std::max(d->crashradius[inst], reach);
}

bool Parse(const char* path, Desc* d, std::string* err) {
  std::ifstream f(path);
  if (!f) {
    *err = std::string(path) + ": " + strerror(errno);
    return false;
  }
  d->dir = fs::absolute(path).parent_path();
  Attr a;
  std::vector<int> crashinst;
  std::string line;
  for (int ln = 1; std::getline(f, line); ln++) {
    if (auto c = line.find(';'); c != std::string::npos) line.resize(c);
    std::istringstream s(line);
    std::string w;
    if (!(s >> w)) continue;
    auto bad = [&](const std::string& what) {
      *err = std::string(path) + "(" + std::to_string(ln) + "): " + what;
      return false;
    };
    std::vector<float> n;
    std::vector<std::string> words;
    for (std::string t; s >> t;) words.push_back(t);
    for (auto& t : words) {
      char* e;
      float v = strtof(t.c_str(), &e);
      if (*e == 0) n.push_back(v);
    }
    auto need = [&](size_t k) { return n.size() == k && words.size() == k; };
    Instance* cur = d->inst.empty() ? nullptr : &d->inst.back();
    std::vector<int> refs;
    std::string why;
    // Coordinates (after a shape's value) within a million units.
    const bool shape = w == "sphere" || w == "cylinder" || w == "cube";
    if (shape || w == "tri" || w == "quad" || w == "box" || w == "spline")
      for (size_t k = shape ? 1 : 0; k < n.size(); k++)
        if (!InRange(n[k])) {
          char num[32];
          snprintf(num, sizeof num, "%g", double(n[k]));
          return bad(std::string("coordinate out of range: ") + num);
        }
    if (w == "flags" && need(1)) d->flags = int(n[0]);
    else if (w == "surface" && need(1) && n[0] >= 0 && n[0] < 128) a.surface = int(n[0]);
    else if (w == "group" && need(1) && n[0] >= 0 && n[0] < 240) a.group = int(n[0]);
    else if (w == "wall" && need(1) && n[0] >= 0 && n[0] <= 16) a.wall = int(n[0]);
    else if (w == "crush" && need(1)) a.crush = n[0] != 0;
    else if (w == "skip" && need(1)) a.skip = n[0] != 0;
    else if (w == "scene" && words.size() == 1) {
      if (!ReadScene(d, words[0], &why)) return bad(words[0] + ": " + why);
    } else if (w == "static" && words.empty()) d->inst.push_back({});
    else if (w == "static" && words.size() == 1) {
      if (!Refs(*d, words[0], 0, &refs, &why)) return bad(why);
      for (int r : refs) {
        d->inst.push_back({});
        if (!MeshTris(d->sd, r, 0, a, &d->inst.back().tris, &why)) return bad(why);
      }
    } else if (w == "platform" && words.size() >= 1 && words.size() <= 3) {
      bool turn = false, mesh = false;
      for (size_t k = 1; k < words.size(); k++) {
        if (words[k] == "turn" && !turn) turn = true;
        else if (words[k] == "mesh" && !mesh && d->scene) mesh = true;
        else return bad("cannot read \"" + line + "\"");
      }
      if (!Refs(*d, words[0], 65536, &refs, &why)) return bad(why);
      for (int r : refs) {
        if (r > 65535) return bad("scene instance " + std::to_string(r) + " past a platform's 65535");
        Instance in;
        in.kind = 1, in.id = r, in.platword = turn;
        if (mesh && !MeshTris(d->sd, r, turn ? 2 : 1, a, &in.tris, &why)) return bad(why);
        d->inst.push_back(in);
      }
    } else if (w == "shape" && need(1) && n[0] >= 0 && n[0] < 128) {
      Instance in;
      in.kind = 2, in.id = int(n[0]);
      d->inst.push_back(in);
    } else if ((w == "tri" && need(9)) || (w == "quad" && need(12))) {
      if (!cur) return bad("polygon outside an instance");
      ZEVEC v[4];
      for (size_t k = 0; k < n.size() / 3; k++) v[k] = {n[3 * k], n[3 * k + 1], n[3 * k + 2]};
      TerrWritePoly p = Make(v, w == "quad", a);
      if (ZeVecMag(&p.na) == 0 || (p.quad && ZeVecMag(&p.nb) == 0)) return bad("degenerate polygon");
      (w == "tri" ? cur->tris : cur->polys).push_back(p);
    } else if (w == "box" && need(6)) {
      if (!cur) return bad("box outside an instance");
      if (!(n[0] < n[3] && n[1] < n[4] && n[2] < n[5])) return bad("empty box");
      Box(cur, {n[0], n[1], n[2]}, {n[3], n[4], n[5]}, a);
    } else if (w == "spline" && need(n.size()) && n.size() >= 4 && n.size() % 2 == 0) {
      std::vector<ZEVEC> pts{{n[0], 0, n[1]}};
      for (size_t k = 2; k < n.size(); k += 2) {
        ZEVEC b = {n[k], 0, n[k + 1]}, p = pts.back();
        int pieces = std::max(1, int(std::ceil(std::hypot(b.x - p.x, b.z - p.z) / kSegment)));
        for (int q = 1; q <= pieces; q++)
          pts.push_back({p.x + (b.x - p.x) * q / pieces, 0, p.z + (b.z - p.z) * q / pieces});
      }
      if (pts.size() > 65535) return bad("spline too long");
      d->splines.push_back(pts);
    } else if (w == "crash" && words.size() == 1) {
      if (!Refs(*d, words[0], INT32_MAX, &crashinst, &why)) return bad(why);
      for (int r : crashinst) d->crash[uint32_t(r)];
    } else if ((w == "sphere" && need(5)) || (w == "cylinder" && need(6)) || (w == "cube" && need(7))) {
      if (crashinst.empty()) return bad("crash shape outside a crash entry");
      if (w == "cube" && !(n[1] < n[4] && n[2] < n[5] && n[3] < n[6])) return bad("empty cube");
      for (int r : crashinst) AddShape(d, uint32_t(r), w, n);
    } else {
      return bad("cannot read \"" + line + "\"");
    }
  }
  return true;
}

struct Built {
  std::vector<std::vector<TerrWritePoly>> groupstore;
  std::vector<std::vector<TerrWriteGroup>> groups;
  std::vector<TerrWriteSection> sec;
  std::vector<uint8_t> crash;
};

using Cells = std::map<std::pair<int, int>, std::vector<TerrWritePoly>>;

// Polygons by square cells of the given side counted from (x0, z0), each
// by the centre of its vertices.
Cells Split(const std::vector<TerrWritePoly>& polys, float side, float x0, float z0) {
  Cells cells;
  for (const TerrWritePoly& p : polys) {
    float cx = 0, cz = 0;
    int nv = p.quad ? 4 : 3;
    for (int k = 0; k < nv; k++) cx += p.v[k].x / float(nv), cz += p.v[k].z / float(nv);
    cells[{int(std::floor((cx - x0) / side)), int(std::floor((cz - z0) / side))}].push_back(p);
  }
  return cells;
}

// The least x and z of the polygons' vertices.
std::pair<float, float> Least(const std::vector<TerrWritePoly>& polys) {
  float x = 1e30f, z = 1e30f;
  for (const TerrWritePoly& p : polys)
    for (int k = 0; k < (p.quad ? 4 : 3); k++) x = std::min(x, p.v[k].x), z = std::min(z, p.v[k].z);
  return {x, z};
}

// Polygons (item-relative) into groups of at most 64: a 4-unit cell, split
// into quarters while it holds more.
void Group(const std::vector<TerrWritePoly>& list, float side, Built* b, std::vector<TerrWriteGroup>* out) {
  if (int(list.size()) > kGroupPolys && side > kCell / 256) {
    auto [x0, z0] = Least(list);
    Cells quarters = Split(list, side / 2, x0, z0);
    if (quarters.size() > 1) {
      for (auto& [key, part] : quarters) Group(part, side / 2, b, out);
      return;
    }
  }
  for (size_t k = 0; k < list.size(); k += kGroupPolys) {
    b->groupstore.emplace_back(list.begin() + long(k), list.begin() + long(std::min(list.size(), k + kGroupPolys)));
    out->push_back({nullptr, int(b->groupstore.back().size())});
  }
}

// Polygons into groups of bounded extent and size, relative to the origin.
void Groups(const std::vector<TerrWritePoly>& polys, const ZEVEC& origin, Built* b, std::vector<TerrWriteGroup>* out) {
  std::vector<TerrWritePoly> rel = polys;
  for (TerrWritePoly& q : rel)
    for (auto& v : q.v) v = {v.x - origin.x, v.y - origin.y, v.z - origin.z};
  auto [x0, z0] = Least(rel);
  for (auto& [key, list] : Split(rel, kCell, x0, z0)) Group(list, kCell, b, out);
}

// The polygon items: a static instance split into items by square cells of
// the given side from its least corner, a platform or pickup shape one item
// each.
void Items(const Desc& d, bool pickup, float cell, Built* b) {
  *b = Built{};
  for (const Instance& in : d.inst) {
    if (in.kind == 0) {
      auto [x0, z0] = Least(in.polys);
      for (auto& [key, polys] : Split(in.polys, cell, x0, z0)) {
        ZEVEC lo = {1e30f, 1e30f, 1e30f}, hi = {-1e30f, -1e30f, -1e30f};
        for (auto& p : polys)
          for (int k = 0; k < (p.quad ? 4 : 3); k++) ZeVecMin(&lo, &lo, &p.v[k]), ZeVecMax(&hi, &hi, &p.v[k]);
        ZEVEC origin = {(lo.x + hi.x) / 2, lo.y, (lo.z + hi.z) / 2};
        TerrWriteSection s{};
        s.kind = 0, s.pos = origin;
        b->groups.emplace_back();
        Groups(polys, origin, b, &b->groups.back());
        b->sec.push_back(s);
      }
    } else {
      TerrWriteSection s{};
      s.kind = pickup ? 0 : 1, s.instance = in.id, s.platword = in.platword, s.shapeid = pickup ? in.id : 0;
      b->groups.emplace_back();
      Groups(in.polys, {0, 0, 0}, b, &b->groups.back());
      b->sec.push_back(s);
    }
  }
}

bool Build(Desc* d, bool pickup, Built* b, std::string* err) {
  for (Instance& in : d->inst) {
    MergeQuads(&in);
    if (pickup != (in.kind == 2)) {
      *err = pickup ? "a pickup file holds shapes only" : "shapes belong in pickup files (--pickup)";
      return false;
    }
  }
  // Static items in 16-unit cells, twice as wide each time the level would
  // hold more items than it can load.
  const int limit = pickup ? TERR_PICKUP_SHAPES : TERR_ITEMS;
  for (float cell = kItemCell;; cell *= 2) {
    Items(*d, pickup, cell, b);
    if (int(b->sec.size()) <= limit || cell >= kItemCellMax) break;
  }
  int items = int(b->sec.size());
  if (items > limit) {
    *err = "too many items: " + std::to_string(items) + " (at most " + std::to_string(limit) + ")";
    return false;
  }
  for (auto& [inst, count] : d->crashcount)
    if (count > 32767) {
      *err = "more than 32767 crash shapes for scene instance " + std::to_string(inst);
      return false;
    }
  // Point each item's groups at the stored polygons.
  size_t g = 0;
  for (size_t i = 0; i < b->sec.size(); i++) {
    for (auto& grp : b->groups[i]) grp.polys = b->groupstore[g++].data();
    b->sec[i].groups = b->groups[i].data();
    b->sec[i].ngroups = int(b->groups[i].size());
  }
  for (auto& sp : d->splines) {
    TerrWriteSection s{};
    s.kind = 2, s.points = sp.data(), s.npoints = int(sp.size());
    b->sec.push_back(s);
  }
  if (!d->crash.empty()) {
    Put(&b->crash, uint32_t(d->crash.size()));
    for (auto& [inst, shapes] : d->crash) {
      Put(&b->crash, inst);
      Put(&b->crash, int16_t(d->crashcount[inst]));
      Put(&b->crash, uint16_t(d->crashboxes[inst]));
      Put(&b->crash, d->crashradius[inst]);
      Put(&b->crash, uint32_t(16 + shapes.size()));
      b->crash.insert(b->crash.end(), shapes.begin(), shapes.end());
    }
    TerrWriteSection s{};
    s.kind = 3, s.data = b->crash.data(), s.datasize = int(b->crash.size());
    b->sec.push_back(s);
  }
  if (b->sec.empty()) {
    *err = "nothing to write";
    return false;
  }
  return true;
}

int Make(const char* in, const char* out, bool pickup, Desc* d) {
  Built b;
  std::string err;
  if (!Parse(in, d, &err) || !Build(d, pickup, &b, &err)) {
    fprintf(stderr, "tertool: %s\n", err.c_str());
    return 1;
  }
  int cap = 64 << 20;
  auto* buf = static_cast<uint8_t*>(EeMalloc(size_t(cap)));
  int n = buf ? TerrWriteImage(buf, cap, b.sec.data(), int(b.sec.size()), d->flags) : -1;
  if (n < 0) {
    fprintf(stderr, "tertool: %s: the description does not fit a collision file\n", in);
    EeFree(buf);
    return 1;
  }
  std::ofstream f(out, std::ios::binary);
  f.write(reinterpret_cast<const char*>(buf), n);
  EeFree(buf);
  if (!f) {
    fprintf(stderr, "tertool: %s: %s\n", out, strerror(errno));
    return 1;
  }
  return 0;
}

int CmdMake(const char* in, const char* out, bool pickup) {
  Desc d;
  int r = Make(in, out, pickup, &d);
  SceneDescFree(&d.sd);
  if (g_engine) SceneEngineClose(), g_engine = false;
  return r;
}

// An item's groups as the loader left them: polygon and group counts, the
// widest group in x and z; with `list`, a line for every polygon.
struct Walked {
  int polys = 0, groups = 0;
  float wx = 0, wz = 0;
};
Walked Walk(const TerrItem* it, bool list) {
  Walked w;
  for (const uint8_t* g = it->groups;;) {
    auto* h = reinterpret_cast<const TerrGroupHeader*>(g);
    if (h->first < 0) return w;
    w.wx = std::max(w.wx, h->maxx - h->minx), w.wz = std::max(w.wz, h->maxz - h->minz);
    auto* p = reinterpret_cast<const TerrPolygon*>(g + sizeof(TerrGroupHeader));
    for (int k = 0; list && k < h->count; k++)
      printf("  polygon %d: %s, normal %.4g %.4g %.4g, surface %d, group %d, flags 0x%02x, wall %d, steep %d\n",
             w.polys + k, TerrIsQuad(p + k) ? "quad" : "tri", double(p[k].na.x + 0.0f), double(p[k].na.y + 0.0f),
             double(p[k].na.z + 0.0f), p[k].surface, p[k].group, p[k].flags, p[k].steep >> 2 & 31, p[k].steep & 3);
    w.polys += h->count, w.groups++;
    g += sizeof(TerrGroupHeader) + h->count * sizeof(TerrPolygon);
  }
}

int CmdInfo(const char* path, bool pickup, int ninst, bool list) {
  fs::path a = fs::absolute(path);
  std::string name = a.filename().string();
  if (name.size() < 5 || strcasecmp(name.c_str() + name.size() - 4, ".ter")) {
    fprintf(stderr, "tertool: %s: not a .ter file\n", path);
    return 1;
  }
  name.resize(name.size() - 4);
  ToolSetHostRoot(a.parent_path().c_str());
  int cap = 64 << 20;
  auto* buf = static_cast<uint8_t*>(EeMalloc(size_t(cap)));
  uint8_t* pos = buf;
  if (pickup) {
    terrainpickupinit(name.c_str(), &pos, buf + cap);
    PickupTerrSet* s = PickupTerr;
    printf("%s: pickup set, %d shapes\n", path, s->nitems);
    for (int id = 0; id < TERR_SHAPE_IDS; id++) {
      if (s->map[id] < 0) continue;
      const TerrItem* it = s->items.get() + s->map[id];
      Walked w = Walk(it, false);
      printf("shape %d: item %d, %d polygons in %d groups, bounds %g %g %g .. %g %g %g\n", id, s->map[id], w.polys,
             w.groups, double(it->bmin.x), double(it->bmin.y), double(it->bmin.z), double(it->bmax.x),
             double(it->bmax.y), double(it->bmax.z));
      if (list) Walk(it, true);
    }
    return 0;
  }
  auto* insts = static_cast<ZEGSCNINST*>(EeMalloc(sizeof(ZEGSCNINST) * size_t(ninst)));
  memset(insts, 0, sizeof(ZEGSCNINST) * size_t(ninst));
  for (int i = 0; i < ninst; i++) ZeMtxSetIdentity(&insts[i].mtx), insts[i].flags = 5;
  ZEGSCENE* sp = static_cast<ZEGSCENE*>(EeMalloc(sizeof(ZEGSCENE)));
  memset(static_cast<void*>(sp), 0, sizeof(ZEGSCENE));
  sp->ninst = ninst;
  sp->insts = insts;
  TerrSet* s = terraininit(0, &pos, buf + cap, 0, name.c_str(), sp, 0);
  if (!s) {
    fprintf(stderr, "tertool: %s: cannot be loaded\n", path);
    return 1;
  }
  int npolys = 0, nplat = 0;
  for (int i = 0; i < s->nitems; i++) {
    const TerrItem* it = s->items.get() + i;
    Walked w = Walk(it, false);
    npolys += w.polys;
    printf("item %d: %s at %g %g %g, %d polygons in %d groups", i,
           it->kind == 0 ? "static" : it->kind == 1 ? "platform" : "platform (unbound)", double(it->pos.x),
           double(it->pos.y), double(it->pos.z), w.polys, w.groups);
    if (it->kind == 1) {
      const PlatInst& pi = s->plat[it->link];
      printf(", instance %d, scene instance %d%s", it->link, pi.sceneid, pi.flags & 1 ? ", turning" : "");
      nplat++;
    }
    printf(", bounds %g %g %g .. %g %g %g, widest group %g x %g\n", double(it->bmin.x), double(it->bmin.y),
           double(it->bmin.z), double(it->bmax.x), double(it->bmax.y), double(it->bmax.z), double(w.wx),
           double(w.wz));
    if (list) Walk(it, true);
  }
  int nspl = 0;
  for (uint8_t* p = s->splines; p; nspl++) {
    uint16_t segs;
    memcpy(&segs, p + 4, 2);
    printf("wall spline: %d segments\n", segs);
    EePtr<uint8_t> next;
    memcpy(&next, p, 4);
    p = next;
  }
  if (uint8_t* cd = CrashDataPtr()) {
    uint32_t n;
    memcpy(&n, cd, 4);
    const uint8_t* e = cd + 4;
    for (uint32_t i = 0; i < n; i++) {
      uint32_t inst, size;
      int16_t shapes;
      float rad;
      memcpy(&inst, e, 4), memcpy(&shapes, e + 4, 2), memcpy(&rad, e + 8, 4), memcpy(&size, e + 12, 4);
      printf("crash: scene instance %u, %d shapes, radius %g\n", inst, shapes, double(rad));
      e += size;
    }
  }
  printf("%s: %d items, %d polygons, %d platforms, %d grid buckets, %d wall splines, flags %d\n", path, s->nitems,
         npolys, nplat, s->nbuckets, nspl, s->flagsword);
  return 0;
}

int Usage() {
  fprintf(stderr,
          "usage: tertool make <description> <out.ter> [--pickup]\n"
          "       tertool info <file.ter> [--pickup] [--instances=N] [--polygons]\n");
  return 2;
}

int Main(int argc, char** argv) {
  errmsg_disabled = 1;
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  ZeTrigInit();
  bool pickup = false, list = false;
  int ninst = 256;
  std::vector<char*> args;
  for (int i = 1; i < argc; i++) {
    if (!strcmp(argv[i], "--pickup")) pickup = true;
    else if (!strcmp(argv[i], "--polygons")) list = true;
    else if (!strncmp(argv[i], "--instances=", 12)) ninst = std::clamp(atoi(argv[i] + 12), 1, 65536);
    else args.push_back(argv[i]);
  }
  if (args.size() == 3 && !strcmp(args[0], "make")) return CmdMake(args[1], args[2], pickup);
  if (args.size() == 2 && !strcmp(args[0], "info")) return CmdInfo(args[1], pickup, ninst, list);
  return Usage();
}

}  // namespace

int main(int argc, char** argv) { return ToolRun("tertool", Main, argc, argv); }
