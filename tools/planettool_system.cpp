// The planetary system's writer: the description read through the engine's
// parser, face images made native through the engine's textures, and the
// system mesh (six unit cube-sphere faces) made packets by the engine's
// converter; all laid out with self-relative links.
#include "planettool.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "display/png.h"
#include "textool.h"
#include "zetex_local.h"
#include "toolhalt.h"

namespace fs = std::filesystem;

namespace {

constexpr float K = 0.57735026f;
// Face corners in grid order, as the fractal patches and the cube grid have them.
constexpr float FACE[6][4][3] = {
    {{-K, -K, K}, {K, -K, K}, {-K, K, K}, {K, K, K}},     {{-K, -K, -K}, {K, -K, -K}, {-K, K, -K}, {K, K, -K}},
    {{K, -K, -K}, {K, K, -K}, {K, -K, K}, {K, K, K}},     {{-K, -K, -K}, {-K, K, -K}, {-K, -K, K}, {-K, K, K}},
    {{-K, K, -K}, {K, K, -K}, {-K, K, K}, {K, K, K}},     {{-K, -K, -K}, {K, -K, -K}, {-K, -K, K}, {K, -K, K}},
};
constexpr bool INWARD[6] = {false, true, false, true, true, false};

std::vector<uint8_t> NativeFromRgba(const RgbaImage& pic, std::string* error) {
  ZETEX* img = TexFromRgba(pic, ZETEX_RGBA32, 1, error);
  if (!img) return {};
  ZETEXID id = ZeTexCreate(img);
  const ZEPS2TEX& r = zetex_slots[id - 1].ps2;
  int size = 16 + r.pal_size + 32 + 16;
  for (int i = 0; i < r.levels; i++) size += int(r.level_size[i]) + 20 + 128 + 16;
  auto* buf = static_cast<uint8_t*>(ZeMemAlloc(size));
  const int n = ZeTexRecoverNativeData(id, buf, size);
  std::vector<uint8_t> out(buf, buf + n);
  ZeMemFree(buf);
  ZeTexDestroy(id);
  return out;
}

bool ReadHost(const fs::path& path, std::vector<uint8_t>* out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  out->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  return true;
}

// One face of the unit cube-sphere as converter packets (a ret-ended chain
// of cnt packets), copied out of the engine's heap.
std::vector<uint8_t> FacePackets(int face, int levels, ZEMTL* mtl, std::string* error) {
  const int n = 1 << levels, side = n + 1;
  ZeGobjInit();
  ZEGOBJ* obj = ZeGobjCreate();
  ZEGEOM* g = ZeGeomCreate();
  g->mtl = mtl;
  g->vtxcount = side * side;
  auto* v = static_cast<ZEVTX*>(ZeMemAllocTagged(side * side * int(sizeof(ZEVTX))));
  for (int y = 0; y < side; y++)
    for (int x = 0; x < side; x++) {
      const float s = float(x) / float(n), t = float(y) / float(n);
      ZEVEC p;
      float* c = &p.x;
      for (int a = 0; a < 3; a++)
        c[a] = (FACE[face][0][a] * (1 - s) + FACE[face][1][a] * s) * (1 - t) +
               (FACE[face][2][a] * (1 - s) + FACE[face][3][a] * s) * t;
      ZeVecNorm(&p, &p);
      v[y * side + x] = {p, p, 0xffffffffu, s, t};
    }
  g->vtx = v;
  // Two triangles a quad, counter-clockwise seen from outside.
  ZEPRIM* prim = ZePrimCreate(n * n * 6, ZEPRIM_IDXLIST);
  int k = 0;
  for (int y = 0; y < n; y++)
    for (int x = 0; x < n; x++) {
      const int a = y * side + x, b = a + 1, c = a + side, d = c + 1;
      const int tri[6] = {a, b, d, d, c, a};
      for (int i = 0; i < 6; i++) prim->idx[k++] = int16_t(INWARD[face] ? tri[5 - i] : tri[i]);
    }
  ZeGeomAddPrim(g, prim);
  ZeGobjAddGeom(obj, g);
  ZeGobjCalcDims(obj);
  ZePs2CreateRenderStream(obj);
  std::vector<uint8_t> out;
  if (!g->dmastream) {
    *error = "the converter made no packets";
  } else {
    const auto* p = reinterpret_cast<const uint8_t*>(g->dmastream.get());
    out.assign(p, p + g->dmalen);
  }
  ZeGobjClose();
  return out;
}

struct Writer {
  std::vector<uint8_t> b;
  size_t Align() {
    b.resize((b.size() + 15) & ~size_t(15));
    return b.size();
  }
  size_t Put(const void* data, size_t n) {
    size_t at = Align();
    b.insert(b.end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + n);
    return at;
  }
  void Link(size_t field, size_t target) {
    int32_t v = int32_t(int64_t(target) - int64_t(field));
    memcpy(&b[field], &v, 4);
  }
};

}  // namespace

bool SystemParse(const char* name, SystemDesc* out, std::string* error) {
  fs::path path = fs::absolute(name);
  ToolSetHostRoot(path.parent_path().c_str());
  ZEFPAR* p = ZeFParCreate(path.filename().c_str());
  PlatSetHostRoot(nullptr);
  if (!p) {
    *error = std::string(name) + ": cannot be read";
    return false;
  }
  bool ok = true;
  auto fail = [&](const std::string& why) {
    std::ostringstream s;
    s << name << ":" << p->lineno + 1 << ": " << why;
    *error = s.str();
    ok = false;
  };
  SystemPlanetDesc* planet = nullptr;
  while (ok && ZeFParGetLine(p)) {
    ZeFParGetWord(p);
    const std::string word = p->word;
    if (word == "meshlevels") {
      out->meshlevels = ZeFParGetInt(p);
      if (out->meshlevels < 0 || out->meshlevels > 5) fail("meshlevels 0-5");
    } else if (word == "planet") {
      ZeFParGetWord(p);
      if (!p->word[0] || strlen(p->word) > 31) fail("a planet name of 1-31 characters");
      if (out->planets.size() == PLANETSYS_MAXPLANETS) fail("at most 6 planets");
      out->planets.emplace_back();
      planet = &out->planets.back();
      planet->name = p->word;
    } else if (!planet) {
      fail("\"" + word + "\" before any planet");
    } else if (word == "position") {
      for (float& c : planet->position) c = ZeFParGetFloat(p);
    } else if (word == "day") {
      planet->daylength = ZeFParGetFloat(p);
      if (!(planet->daylength > 0)) fail("a day length above 0");
    } else if (word == "height") {
      planet->height = ZeFParGetFloat(p);
    } else if (word == "radius") {
      planet->radius = ZeFParGetFloat(p);
    } else if (word == "sea") {
      planet->seafraction = ZeFParGetFloat(p);
    } else if (word == "depth") {
      planet->platedepth = ZeFParGetInt(p);
      if (planet->platedepth < 0 || planet->platedepth > 4) fail("plate depth 0-4");
    } else if (word == "face") {
      const int k = ZeFParGetInt(p);
      ZeFParGetWord(p);
      const std::string kind = p->word;
      ZeFParGetWord(p);
      const std::string arg = p->word;
      std::string why;
      if (k < 0 || k > 5) {
        fail("face 0-5");
      } else if (kind == "pattern") {
        const int size = atoi(arg.c_str());
        if (size < 8 || size > 256 || (size & (size - 1))) fail("a pattern side of 8-256, a power of two");
        else planet->face[k] = NativeFromRgba(TestPattern(size, size), &why);
      } else if (kind == "png") {
        RgbaImage pic;
        if (!PngRead((path.parent_path() / arg).c_str(), 1024, &pic.pixels, &pic.width, &pic.height, &why))
          fail(arg + ": " + why);
        else
          planet->face[k] = NativeFromRgba(pic, &why);
      } else if (kind == "pnt") {
        if (!ReadHost(path.parent_path() / arg, &planet->face[k])) fail(arg + ": cannot be read");
      } else {
        fail("face <k> pattern <side> | png <file> | pnt <file>");
      }
      if (ok && !why.empty()) fail(why);
    } else {
      fail("unknown word \"" + word + "\"");
    }
  }
  ZeFParDestroy(p);
  if (ok && out->planets.empty()) {
    *error = std::string(name) + ": no planets";
    ok = false;
  }
  return ok;
}

std::vector<uint8_t> SystemImage(const SystemDesc& desc) {
  Writer w;
  const int count = int(desc.planets.size());
  const uint32_t version = PLANETSYS_VERSION;
  w.b.resize(16);
  memcpy(w.b.data(), &version, 4);
  std::vector<uint8_t> root(offsetof(PLANETSYS, planet) + 4 * size_t(count));
  memcpy(&root[offsetof(PLANETSYS, count)], &count, 4);
  const size_t rootAt = w.Put(root.data(), root.size());
  std::vector<size_t> planetAt;
  for (const SystemPlanetDesc& d : desc.planets) {
    PLANET p;
    memset(&p, 0, sizeof p);
    strncpy(p.name, d.name.c_str(), sizeof p.name - 1);
    p.position = {d.position[0], d.position[1], d.position[2]};
    p.daylength = d.daylength;
    p.height = d.height;
    p.radius = d.radius;
    p.seafraction = d.seafraction;
    p.platedepth = d.platedepth;
    planetAt.push_back(w.Put(&p, sizeof p));
  }
  for (int i = 0; i < count; i++) w.Link(rootAt + offsetof(PLANETSYS, planet) + 4 * size_t(i), planetAt[size_t(i)]);
  // The mesh: an object image whose geometries are the six faces.
  ZEGOBJ obj;
  memset(&obj, 0, sizeof obj);
  obj.kind = ZEGOBJ_MESH;
  obj.radius = obj.radius2 = obj.centre_radius = obj.centre_radius2 = 1.0f;
  obj.min = {-1, -1, -1};
  obj.max = {1, 1, 1};
  const size_t objAt = w.Put(&obj, sizeof obj);
  w.Link(rootAt + offsetof(PLANETSYS, mesh), objAt);
  ZEMTL* mtl = ZeMtlCreateEx(1, gb_renderplane_space);
  mtl->attributes = (mtl->attributes & ~(3u << ZEMTLATTR_LIGHTING)) | 1u << ZEMTLATTR_VTXCOL;
  ZeMtlUpdate(mtl);
  size_t prevField = objAt + offsetof(ZEGOBJ, geometries);
  for (int f = 0; f < 6; f++) {
    ZEGEOM g;
    memset(&g, 0, sizeof g);
    std::string error;
    std::vector<uint8_t> packets = FacePackets(f, desc.meshlevels, mtl, &error);
    if (packets.empty()) ZeError("planettool: face %d: %s", f, error.c_str());
    g.dmalen = int32_t(packets.size());
    const size_t geomAt = w.Put(&g, sizeof g);
    w.Link(prevField, geomAt);
    prevField = geomAt + offsetof(ZEGEOM, next);
    const size_t at = w.Put(packets.data(), packets.size());
    w.Link(geomAt + offsetof(ZEGEOM, dmastream), at);
    // Every tag is a block: a cnt tag's address word (unused by the DMA)
    // links the next tag; the closing ret tag keeps 0.
    for (size_t t = at;;) {
      uint32_t tag;
      memcpy(&tag, &w.b[t], 4);
      const uint32_t id = tag >> 28 & 7;
      if (id == DMATAG_RET) break;
      if (id != DMATAG_CNT) ZeError("planettool: face %d: tag %u in the packets", f, id);
      const size_t next = t + 16 + size_t(tag & 0xffff) * 16;
      w.Link(t + 4, next);
      t = next;
    }
  }
  ZeMtlDestroy(mtl);
  for (int i = 0; i < count; i++)
    for (int k = 0; k < 6; k++) {
      const auto& face = desc.planets[size_t(i)].face[k];
      if (face.empty()) continue;
      const size_t at = w.Put(face.data(), face.size());
      w.Link(planetAt[size_t(i)] + offsetof(PLANET, texture) + 4 * size_t(k), at);
    }
  w.Align();
  return w.b;
}
