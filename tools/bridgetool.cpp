// bridgetool: bridge page files from a line-based description, written
// through the engine's page writer and listed through its page loader.
//   bridgetool make <description> <out>
//   bridgetool info <file>
// The description's grammar is in docs/dressing.md.
#include <cstdlib>

#include "dresstool.h"

namespace {

using dresstool::Field;

int CmdMake(const char* desc, const char* out) {
  std::vector<std::vector<std::string>> lines;
  if (!dresstool::ReadLines("bridgetool", desc, &lines)) return 1;
  int version = 1;
  std::vector<EdBridgeFileRec> recs;
  for (size_t n = 0; n < lines.size(); n++) {
    const auto& w = lines[n];
    auto bad = [&](const char* what) {
      fprintf(stderr, "bridgetool: %s(%zu): %s\n", desc, n + 1, what);
      return 1;
    };
    if (w[0] == "version" && w.size() == 2) {
      version = atoi(w[1].c_str());
      continue;
    }
    if (w[0] != "bridge" || w.size() < 4) return bad("expected \"bridge x y z key value...\" or \"version n\"");
    EdBridgeFileRec r{};
    r.start = {strtof(w[1].c_str(), nullptr), strtof(w[2].c_str(), nullptr), strtof(w[3].c_str(), nullptr)};
    r.length = 10, r.postoff = 0.6f, r.nplanks = 10, r.postint = 3;
    r.tension = 0.05f, r.damp = 0.08f, r.gravity = -0.01f, r.weight = 1, r.ropeheight = 1, r.stability = 1.2f;
    r.rgba[0] = 128, r.rgba[1] = 96, r.rgba[2] = 64;
    Field(r.plank, EDBRI_NAME, "-");
    Field(r.post, EDBRI_NAME, "-");
    for (size_t i = 4; i < w.size(); i++) {
      const std::string& k = w[i];
      size_t need = k == "colour" ? 4 : 1;
      if (i + need >= w.size()) return bad(("no value after " + k).c_str());
      float v = strtof(w[i + 1].c_str(), nullptr);
      if (k == "length") r.length = v;
      else if (k == "postoffset") r.postoff = v;
      else if (k == "tilt") r.tilt = int16_t(atoi(w[i + 1].c_str()));
      else if (k == "yaw") r.yaw = int16_t(atoi(w[i + 1].c_str()));
      else if (k == "planks") r.nplanks = int8_t(atoi(w[i + 1].c_str()));
      else if (k == "posts") r.postint = int8_t(atoi(w[i + 1].c_str()));
      else if (k == "plank") Field(r.plank, EDBRI_NAME, w[i + 1]);
      else if (k == "post") Field(r.post, EDBRI_NAME, w[i + 1]);
      else if (k == "tension") r.tension = v;
      else if (k == "damp") r.damp = v;
      else if (k == "gravity") r.gravity = v;
      else if (k == "weight") r.weight = v;
      else if (k == "ropeheight") r.ropeheight = v;
      else if (k == "stability") r.stability = v;
      else if (k == "colour")
        for (int c = 0; c < 4; c++) r.rgba[c] = uint8_t(atoi(w[i + 1 + size_t(c)].c_str()));
      else return bad(("unknown key " + k).c_str());
      i += need;
    }
    recs.push_back(r);
  }
  if (!ToolWriteThroughEngine(out, "BRITOOL.TMP", [&](const char* name) {
        if (!edbriWritePage(name, version, recs.data(), int(recs.size()))) toolhalt::Fail("cannot be written");
      }))
    return 1;
  printf("%s: version %d, %zu bridges\n", out, version, recs.size());
  return 0;
}

int CmdInfo(const char* path) {
  std::string name = ToolEngineName(path);
  ZEGSCENE* scene = dresstool::Scene(64);
  ZeBridgeInit();
  edbriReset();
  ZeMtxSetIdentity(&global_camera.mtx);
  int page = edbriLoadPage(name.c_str(), scene);
  if (page < 0) {
    fprintf(stderr, "bridgetool: %s: refused by the loader\n", path);
    return 1;
  }
  int loaded = 0;
  for (const EdBridge& e : edBridges) loaded += e.page == page;
  // The loader reads past a file's end as zeros: the file must hold the
  // header and every record it gave.
  std::error_code ec;
  const uintmax_t size = std::filesystem::file_size(path, ec);
  const uintmax_t need = 8 + uintmax_t(loaded) * EDBRI_RECORD;
  if (ec || size < need)
    toolhalt::Fail("is " + std::to_string(ec ? 0 : size) + " bytes, short of the " + std::to_string(need) +
                   " its header and " + std::to_string(loaded) + " bridges take");
  edbriStartPage(page);
  int n = 0;
  for (int i = 0; i < EDBRI_PLACEMENTS; i++) {
    const EdBridge& e = edBridges[i];
    if (e.page != page) continue;
    printf("bridge %d: start %g %g %g, length %g, tilt %d, yaw %d, %d planks of %s, posts every %d of %s at %g\n", n,
           double(e.start.x), double(e.start.y), double(e.start.z), double(e.length), e.tilt, e.yaw, e.nplanks,
           dresstool::Name(e.plankobj).c_str(), e.postint, dresstool::Name(e.postobj).c_str(), double(e.postoff));
    printf("  tension %g, damp %g, gravity %g, weight %g, rope height %g, stability %g, colour %d %d %d %d\n",
           double(e.tension), double(e.damp), double(e.gravity), double(e.weight), double(e.ropeheight),
           double(e.stability), e.red, e.green, e.blue, e.fourth);
    if (e.bridge < 0) {
      printf("  not built\n");
    } else {
      const ZeBridge& b = Bridges[e.bridge];
      const ZEMTX& l = b.plank[b.nplanks - 1];
      printf("  built: %d planks, last at %g %g %g\n", b.nplanks, double(l.m[3][0]), double(l.m[3][1]),
             double(l.m[3][2]));
    }
    n++;
  }
  printf("%s: page %d, %d bridges\n", path, page, n);
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return dresstool::Run({"bridgetool", CmdMake, CmdInfo}, argc, argv); }
