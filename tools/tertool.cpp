// tertool: collision files (".ter") from a line-based description, written
// through the engine's collision writer, and listed through its loader.
//   tertool make <description> <out.ter> [--pickup]
//   tertool info <file.ter> [--pickup] [--instances=N]
// The description's grammar is in docs/gamelib.md.
#include <algorithm>
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
#include "zecore.h"
#include "zeps2.h"

namespace fs = std::filesystem;

namespace {

constexpr float kCell = 4.0f;        // group cell, units
constexpr float kItemCell = 16.0f;   // item cell of a split static instance
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

bool Same(const ZEVEC& a, const ZEVEC& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

// Pairs of coplanar triangles sharing an edge become quads (A = 0 1 2,
// B = 3 2 1) when the outline 0 1 3 2 is convex.
void MergeQuads(Instance* in) {
  std::vector<TerrWritePoly>& t = in->tris;
  std::vector<bool> used(t.size());
  for (size_t i = 0; i < t.size(); i++) {
    if (used[i]) continue;
    bool merged = false;
    for (int r = 0; r < 3 && !merged; r++) {
      ZEVEC v0 = t[i].v[r], v1 = t[i].v[(r + 1) % 3], v2 = t[i].v[(r + 2) % 3];
      for (size_t j = i + 1; j < t.size() && !merged; j++) {
        if (used[j] || t[j].surface != t[i].surface || t[j].group != t[i].group) continue;
        if (ZeVecDot(&t[i].na, &t[j].na) < 0.99999f) continue;
        for (int s = 0; s < 3; s++) {
          ZEVEC w3 = t[j].v[s], w2 = t[j].v[(s + 1) % 3], w1 = t[j].v[(s + 2) % 3];
          if (!Same(w2, v2) || !Same(w1, v1)) continue;
          ZEVEC q[4] = {v0, v1, v2, w3};
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

bool Parse(const char* path, Desc* d, std::string* err) {
  std::ifstream f(path);
  if (!f) {
    *err = std::string(path) + ": " + strerror(errno);
    return false;
  }
  Attr a;
  int crashinst = -1;
  std::string line;
  for (int ln = 1; std::getline(f, line); ln++) {
    if (auto c = line.find(';'); c != std::string::npos) line.resize(c);
    std::istringstream s(line);
    std::string w;
    if (!(s >> w)) continue;
    auto bad = [&](const char* what) {
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
    if (w == "flags" && need(1)) d->flags = int(n[0]);
    else if (w == "surface" && need(1) && n[0] >= 0 && n[0] < 128) a.surface = int(n[0]);
    else if (w == "group" && need(1) && n[0] >= 0 && n[0] < 240) a.group = int(n[0]);
    else if (w == "wall" && need(1) && n[0] >= 0 && n[0] <= 16) a.wall = int(n[0]);
    else if (w == "crush" && need(1)) a.crush = n[0] != 0;
    else if (w == "skip" && need(1)) a.skip = n[0] != 0;
    else if (w == "static" && words.empty()) d->inst.push_back({});
    else if (w == "platform" && !n.empty() && n[0] >= 0 && n[0] < 65536 &&
             (need(1) || (words.size() == 2 && words[1] == "turn"))) {
      Instance in;
      in.kind = 1, in.id = int(n[0]), in.platword = words.size() == 2;
      d->inst.push_back(in);
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
    } else if (w == "crash" && need(1) && n[0] >= 0) {
      crashinst = int(n[0]);
      d->crash[uint32_t(crashinst)];
    } else if ((w == "sphere" && need(5)) || (w == "cylinder" && need(6)) || (w == "cube" && need(7))) {
      if (crashinst < 0) return bad("crash shape outside a crash entry");
      std::vector<uint8_t>& out = d->crash[uint32_t(crashinst)];
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
        if (!(n[1] < n[4] && n[2] < n[5] && n[3] < n[6])) return bad("empty cube");
        Put(&out, uint32_t(2)), Put(&out, value);
        ZEMTX m;
        ZeMtxSetIdentity(&m);
        Put(&out, m);
        for (int k = 1; k <= 6; k++) Put(&out, n[size_t(k)]);
        reach = std::max(std::hypot(n[1], n[2], n[3]), std::hypot(n[4], n[5], n[6]));
        d->crashboxes[uint32_t(crashinst)] = 1;
      }
      d->crashcount[uint32_t(crashinst)]++;
      d->crashradius[uint32_t(crashinst)] = std::max(d->crashradius[uint32_t(crashinst)], reach);
    } else {
      return bad(("cannot read \"" + line + "\"").c_str());
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

// Polygons into groups of bounded extent and size, centred on their cells.
void Groups(const std::vector<TerrWritePoly>& polys, const ZEVEC& origin, Built* b, std::vector<TerrWriteGroup>* out) {
  std::map<std::pair<int, int>, std::vector<TerrWritePoly>> cells;
  for (const TerrWritePoly& p : polys) {
    float cx = 0, cz = 0;
    int nv = p.quad ? 4 : 3;
    for (int k = 0; k < nv; k++) cx += p.v[k].x / float(nv), cz += p.v[k].z / float(nv);
    TerrWritePoly q = p;
    for (auto& v : q.v) v = {v.x - origin.x, v.y - origin.y, v.z - origin.z};
    cells[{int(std::floor(cx / kCell)), int(std::floor(cz / kCell))}].push_back(q);
  }
  for (auto& [key, list] : cells)
    for (size_t k = 0; k < list.size(); k += kGroupPolys) {
      b->groupstore.emplace_back(list.begin() + long(k), list.begin() + long(std::min(list.size(), k + kGroupPolys)));
      out->push_back({nullptr, int(b->groupstore.back().size())});
    }
}

bool Build(Desc* d, bool pickup, Built* b, std::string* err) {
  for (Instance& in : d->inst) {
    MergeQuads(&in);
    if (pickup != (in.kind == 2)) {
      *err = pickup ? "a pickup file holds shapes only" : "shapes belong in pickup files (--pickup)";
      return false;
    }
    if (in.kind == 0) {
      // A static instance splits into items by cells of bounded extent.
      std::map<std::pair<int, int>, std::vector<TerrWritePoly>> items;
      for (const TerrWritePoly& p : in.polys) {
        float cx = (p.v[0].x + p.v[1].x + p.v[2].x) / 3, cz = (p.v[0].z + p.v[1].z + p.v[2].z) / 3;
        items[{int(std::floor(cx / kItemCell)), int(std::floor(cz / kItemCell))}].push_back(p);
      }
      for (auto& [key, polys] : items) {
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
  int items = int(b->sec.size());
  if (items > (pickup ? TERR_PICKUP_SHAPES : TERR_ITEMS)) {
    *err = "too many items: " + std::to_string(items);
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

int CmdMake(const char* in, const char* out, bool pickup) {
  Desc d;
  Built b;
  std::string err;
  if (!Parse(in, &d, &err) || !Build(&d, pickup, &b, &err)) {
    fprintf(stderr, "tertool: %s\n", err.c_str());
    return 1;
  }
  int cap = 64 << 20;
  auto* buf = static_cast<uint8_t*>(EeMalloc(size_t(cap)));
  int n = buf ? TerrWriteImage(buf, cap, b.sec.data(), int(b.sec.size()), d.flags) : -1;
  if (n < 0) {
    fprintf(stderr, "tertool: %s: the description does not fit a collision file\n", in);
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

int PolyCount(const TerrItem* it, int* groups) {
  int n = 0;
  *groups = 0;
  for (const uint8_t* g = it->groups;;) {
    auto* h = reinterpret_cast<const TerrGroupHeader*>(g);
    if (h->first < 0) return n;
    n += h->count, ++*groups;
    g += sizeof(TerrGroupHeader) + h->count * sizeof(TerrPolygon);
  }
}

int CmdInfo(const char* path, bool pickup, int ninst) {
  fs::path a = fs::absolute(path);
  std::string name = a.filename().string();
  if (name.size() < 5 || strcasecmp(name.c_str() + name.size() - 4, ".ter")) {
    fprintf(stderr, "tertool: %s: not a .ter file\n", path);
    return 1;
  }
  name.resize(name.size() - 4);
  PlatSetHostRoot(a.parent_path().c_str());
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
      int groups, n = PolyCount(it, &groups);
      printf("shape %d: item %d, %d polygons in %d groups, bounds %g %g %g .. %g %g %g\n", id, s->map[id], n,
             groups, double(it->bmin.x), double(it->bmin.y), double(it->bmin.z), double(it->bmax.x),
             double(it->bmax.y), double(it->bmax.z));
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
    int groups, n = PolyCount(it, &groups);
    npolys += n;
    printf("item %d: %s at %g %g %g, %d polygons in %d groups", i,
           it->kind == 0 ? "static" : it->kind == 1 ? "platform" : "platform (unbound)", double(it->pos.x),
           double(it->pos.y), double(it->pos.z), n, groups);
    if (it->kind == 1) {
      const PlatInst& pi = s->plat[it->link];
      printf(", instance %d, scene instance %d%s", it->link, pi.sceneid, pi.flags & 1 ? ", turning" : "");
      nplat++;
    }
    printf("\n");
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
          "       tertool info <file.ter> [--pickup] [--instances=N]\n");
  return 2;
}

int Main(int argc, char** argv) {
  errmsg_disabled = 1;
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  ZeTrigInit();
  bool pickup = false;
  int ninst = 256;
  std::vector<char*> args;
  for (int i = 1; i < argc; i++) {
    if (!strcmp(argv[i], "--pickup")) pickup = true;
    else if (!strncmp(argv[i], "--instances=", 12)) ninst = std::clamp(atoi(argv[i] + 12), 1, 65536);
    else args.push_back(argv[i]);
  }
  if (args.size() == 3 && !strcmp(args[0], "make")) return CmdMake(args[1], args[2], pickup);
  if (args.size() == 2 && !strcmp(args[0], "info")) return CmdInfo(args[1], pickup, ninst);
  return Usage();
}

}  // namespace

int main(int argc, char** argv) {
  PlatParseHostOptions(&argc, argv);
  return PlatformRun(Main, argc, argv);
}
