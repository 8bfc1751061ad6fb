// grasstool: grass page files (versions 1-8) from a line-based description,
// written through the engine's page writer and listed through its loader.
//   grasstool make <description> <out>
//   grasstool info <file>
// The description's grammar is in docs/dressing.md.
#include <cstdlib>
#include <map>

#include "dresstool.h"
#include "edtools.h"

namespace {

struct Clump {
  EdGrassFileRec rec{};
  std::vector<GrassBlade> blades;
  std::vector<ZEVEC> vectors;
};

int CmdMake(const char* desc, const char* out) {
  std::vector<std::vector<std::string>> lines;
  if (!dresstool::ReadLines("grasstool", desc, &lines)) return 1;
  int version = 8, total = -1;
  std::vector<Clump> clumps;
  for (size_t n = 0; n < lines.size(); n++) {
    const auto& w = lines[n];
    auto bad = [&](const char* what) {
      fprintf(stderr, "grasstool: %s(%zu): %s\n", desc, n + 1, what);
      return 1;
    };
    auto f = [&](size_t i) { return strtof(w[i].c_str(), nullptr); };
    auto k = [&](size_t i) { return atoi(w[i].c_str()); };
    if (w[0] == "version" && w.size() == 2) {
      version = k(1);
      continue;
    }
    if (w[0] == "total" && w.size() == 2) {
      total = k(1);
      continue;
    }
    if (w[0] == "blade" && w.size() == 7) {
      if (clumps.empty()) return bad("a blade before its clump");
      clumps.back().blades.push_back({{f(1), f(2), f(3)}, f(4), int16_t(k(5)), int16_t(k(6))});
      continue;
    }
    if (w[0] != "clump" || w.size() < 6) return bad("expected \"clump object count x y z key value...\"");
    Clump c;
    EdGrassFileRec& r = c.rec;
    dresstool::Field(r.name, EDGRA_NAME, w[1]);
    r.count = k(2);
    r.pos = {f(3), f(4), f(5)};
    r.radius = 1, r.sway = 0.3f, r.group = 1, r.sway2 = 1, r.dist = 1, r.sizemode = 1, r.kind = 1;
    r.minsize = 0.2f, r.maxsize = 1.7625f, r.nearr = 15, r.farr = 25;
    static const std::map<std::string, int> keys = {
        {"radius", 0}, {"sway", 1}, {"group", 2}, {"sway2", 3}, {"dist", 4}, {"size", 5}, {"kind", 6},
        {"seed", 7}, {"min", 8}, {"max", 9}, {"angz", 10}, {"angy", 11}, {"near", 12}, {"far", 13},
        {"follow", 14}, {"tilt", 15}, {"hoff", 16}};
    for (size_t i = 6; i < w.size(); i += 2) {
      auto it = keys.find(w[i]);
      if (it == keys.end()) return bad(("unknown key " + w[i]).c_str());
      if (i + 1 >= w.size()) return bad(("no value after " + w[i]).c_str());
      float v = f(i + 1);
      int iv = k(i + 1);
      switch (it->second) {
        case 0: r.radius = v; break;
        case 1: r.sway = v; break;
        case 2: r.group = iv; break;
        case 3: r.sway2 = v; break;
        case 4: r.dist = int8_t(iv); break;
        case 5: r.sizemode = int8_t(iv); break;
        case 6: r.kind = int8_t(iv); break;
        case 7: r.seed = iv; break;
        case 8: r.minsize = v; break;
        case 9: r.maxsize = v; break;
        case 10: r.angz = int16_t(iv); break;
        case 11: r.angy = int16_t(iv); break;
        case 12: r.nearr = v; break;
        case 13: r.farr = v; break;
        case 14: r.follow = int8_t(iv); break;
        case 15: r.tilt = int8_t(iv); break;
        default: r.hoff = v; break;
      }
    }
    clumps.push_back(c);
  }
  std::vector<EdGrassFileRec> recs;
  int sum = 0;
  for (Clump& c : clumps) {
    size_t n = size_t(c.rec.count > 0 ? c.rec.count : 0);
    c.blades.resize(n);
    c.vectors.assign(n, ZEVEC{0, 0, 0});
    c.rec.blades = c.blades.data();
    c.rec.vectors = c.vectors.data();
    recs.push_back(c.rec);
    sum += c.rec.count < 4 ? 4 : c.rec.count;
  }
  if (!ToolWriteThroughEngine(out, "GRATOOL.TMP", [&](const char* name) {
        if (!edgraWritePage(name, version, recs.data(), int(recs.size()), total < 0 ? sum : total))
          toolhalt::Fail("cannot be written");
      }))
    return 1;
  printf("%s: version %d, %zu clumps\n", out, version, recs.size());
  return 0;
}

int CmdInfo(const char* path) {
  std::string name = ToolEngineName(path);
  ZEGSCENE* scene = dresstool::Scene(64);
  edgraClumpsReset();
  ZeWindInit();
  ZeFadeObjInit();
  ZeMtxSetIdentity(&global_camera.mtx);
  constexpr int kBuf = 4 << 20;
  auto* buf = static_cast<uint8_t*>(EeMalloc(kBuf));
  uint8_t* cursor = buf;
  int page = edgraLoadPage(name.c_str(), scene, &cursor, buf + kBuf);
  if (page < 0) {
    fprintf(stderr, "grasstool: %s: refused by the loader\n", path);
    return 1;
  }
  // The loader reads past a file's end as zeros.
  if (edfile_past_end) toolhalt::Fail("ends before the page the loader reads");
  edgraStartPage(page);
  int n = 0;
  for (int i = 0; i < EDGRA_CLUMPS; i++) {
    const GrassClump& c = GrassClumps[i];
    if (!c.count || c.page != page) continue;
    printf("clump %d: %s, %d blades at %g %g %g, radius %g, kind %d, distribution %d, size mode %d\n", n,
           dresstool::Name(c.object).c_str(), c.count, double(c.pos.x), double(c.pos.y), double(c.pos.z),
           double(c.radius), c.kind, c.dist, c.sizemode);
    printf("  sway %g %g, group %d, seed %d, sizes %g..%g, angles %d %d, ranges %g %g, terrain %d %d %g\n",
           double(c.sway), double(c.sway2), c.group, c.seed, double(c.minsize), double(c.maxsize), c.angz, c.angy,
           double(c.nearr), double(c.farr), c.follow, c.tilt, double(c.hoff));
    const ZEMTX& m = c.mtxs.get()[0];
    printf("  first blade at %.4f %.4f %.4f\n", double(m.m[3][0]), double(m.m[3][1]), double(m.m[3][2]));
    n++;
  }
  int wind = 0, fade = 0;
  for (const ZeWindGrp& g : ZeWindGroup) wind += g.inuse;
  for (const ZeFadeObjGrp& g : ZeFadeObjGroup) fade += g.inuse;
  printf("%s: page %d, %d clumps, %d blades handed on, %d wind and %d fade groups\n", path, page, n,
         edgra_units_used, wind, fade);
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return dresstool::Run({"grasstool", CmdMake, CmdInfo}, argc, argv); }
